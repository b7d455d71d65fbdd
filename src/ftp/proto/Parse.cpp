#include "ftp/proto/Parse.h"

#include <cctype>
#include <vector>

namespace tidewick::ftp::proto {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a decimal number of at most maxDigits at pos; advances pos.
std::optional<std::int64_t> number(const std::string& text, std::size_t& pos, int maxDigits = 18) {
  const std::size_t start = pos;
  std::int64_t value = 0;
  while (pos < text.size() && isDigit(text[pos])) {
    if (static_cast<int>(pos - start) >= maxDigits) return std::nullopt;
    value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  if (pos == start) return std::nullopt;
  return value;
}

// The text after the three-digit code and its separator.
std::string afterCode(const std::string& text) { return text.size() > 4 ? text.substr(4) : std::string(); }

} // namespace

std::optional<PassiveAddress> parsePasv(const std::string& text) {
  const std::string body = afterCode(text);
  for (std::size_t start = 0; start < body.size(); ++start) {
    if (!isDigit(body[start]) || (start > 0 && isDigit(body[start - 1]))) continue;
    std::size_t pos = start;
    std::vector<std::int64_t> parts;
    while (parts.size() < 6) {
      const auto value = number(body, pos, 3);
      if (!value || *value > 255) break;
      parts.push_back(*value);
      if (parts.size() < 6) {
        if (pos >= body.size() || body[pos] != ',') break;
        ++pos;
      }
    }
    if (parts.size() == 6 && (pos >= body.size() || !isDigit(body[pos]))) {
      PassiveAddress out;
      out.host = std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]) + "." +
                 std::to_string(parts[3]);
      out.port = static_cast<std::uint16_t>(parts[4] * 256 + parts[5]);
      if (out.port == 0) return std::nullopt;
      return out;
    }
  }
  return std::nullopt;
}

std::optional<std::uint16_t> parseEpsv(const std::string& text) {
  const std::size_t open = text.find('(');
  if (open == std::string::npos || open + 4 >= text.size()) return std::nullopt;
  const char d = text[open + 1];
  if (d < 33 || d > 126 || isDigit(d) || text[open + 2] != d || text[open + 3] != d) return std::nullopt;
  std::size_t pos = open + 4;
  const auto port = number(text, pos, 5);
  if (!port || *port < 1 || *port > 65535 || pos + 1 >= text.size() || text[pos] != d || text[pos + 1] != ')')
    return std::nullopt;
  return static_cast<std::uint16_t>(*port);
}

std::optional<std::string> parsePwd(const std::string& text) {
  const std::string body = afterCode(text);
  const std::size_t open = body.find('"');
  if (open == std::string::npos) {
    std::size_t start = body.find_first_not_of(' ');
    if (start == std::string::npos) return std::nullopt;
    const std::size_t end = body.find(' ', start);
    return body.substr(start, end == std::string::npos ? std::string::npos : end - start);
  }
  std::string path;
  for (std::size_t i = open + 1; i < body.size(); ++i) {
    if (body[i] == '"') {
      if (i + 1 < body.size() && body[i + 1] == '"') {
        path += '"';
        ++i;
        continue;
      }
      return path;
    }
    path += body[i];
  }
  return std::nullopt; // no closing quote
}

std::optional<std::int64_t> parseSize(const std::string& text) {
  std::string body = afterCode(text);
  std::size_t pos = body.find_first_not_of(' ');
  if (pos == std::string::npos) return std::nullopt;
  const auto value = number(body, pos);
  if (!value || (pos < body.size() && body[pos] != ' ' && body[pos] != '\r')) return std::nullopt;
  return value;
}

std::optional<std::int64_t> parseAnnouncedSize(const std::string& text) {
  const std::size_t open = text.rfind('(');
  if (open == std::string::npos) return std::nullopt;
  std::size_t pos = open + 1;
  const auto value = number(text, pos);
  if (!value || text.compare(pos, 7, " bytes)") != 0) return std::nullopt;
  return value;
}

Features Features::parse(const Reply& reply) {
  Features out;
  if (reply.code != 211) return out;
  for (std::size_t i = 1; i + 1 < reply.lines.size(); ++i) {
    const std::string& line = reply.lines[i];
    std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    std::size_t end = line.find(' ', start);
    std::string name = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    std::string parameters;
    if (end != std::string::npos) {
      const std::size_t p = line.find_first_not_of(' ', end);
      if (p != std::string::npos) parameters = line.substr(p);
    }
    out.m_features[name] = parameters;
  }
  return out;
}

std::string Features::parameters(const std::string& name) const {
  const auto it = m_features.find(name);
  return it == m_features.end() ? std::string() : it->second;
}

std::string eprtArgument(const std::string& address, bool v6, std::uint16_t port) {
  return std::string("|") + (v6 ? "2" : "1") + "|" + address + "|" + std::to_string(port) + "|";
}

std::string portArgument(const std::string& ipv4, std::uint16_t port) {
  std::string out;
  for (char c : ipv4) out += c == '.' ? ',' : c;
  return out + "," + std::to_string(port >> 8) + "," + std::to_string(port & 0xff);
}

} // namespace tidewick::ftp::proto
