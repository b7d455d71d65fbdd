#include "ftp/proto/Reply.h"

namespace tidewick::ftp::proto {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The code a line starts with, when it starts with three digits followed by `sep` (or ends there).
int leadingCode(const std::string& line) {
  if (line.size() < 3 || !isDigit(line[0]) || !isDigit(line[1]) || !isDigit(line[2])) return -1;
  return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

std::string shown(const std::string& line) {
  std::string out;
  for (char c : line.substr(0, 80)) out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
  return line.size() > 80 ? out + "..." : out;
}

} // namespace

std::string Reply::text() const {
  std::string out;
  for (const auto& line : lines) {
    if (!out.empty()) out += '\n';
    out += line;
  }
  return out;
}

void ReplyReader::feed(const char* data, std::size_t size) {
  if (m_start > 0 && m_start >= m_buffer.size() / 2) {
    m_buffer.erase(0, m_start);
    m_start = 0;
  }
  m_buffer.append(data, size);
}

std::optional<std::string> ReplyReader::takeLine() {
  const std::size_t end = m_buffer.find('\n', m_start);
  if (end == std::string::npos) {
    if (m_buffer.size() - m_start > lineCap) throw ReplyError("The server sent a reply line longer than 64 KiB");
    return std::nullopt;
  }
  if (end - m_start > lineCap) throw ReplyError("The server sent a reply line longer than 64 KiB");
  std::size_t length = end - m_start;
  if (length > 0 && m_buffer[m_start + length - 1] == '\r') --length;
  std::string line = m_buffer.substr(m_start, length);
  m_start = end + 1;
  if (m_start == m_buffer.size()) {
    m_buffer.clear();
    m_start = 0;
  }
  return line;
}

std::optional<Reply> ReplyReader::next() {
  while (auto line = takeLine()) {
    const int code = leadingCode(*line);
    const char sep = line->size() > 3 ? (*line)[3] : ' ';
    if (!m_inMultiLine) {
      if (code < 100 || code >= 600 || (sep != ' ' && sep != '-'))
        throw ReplyError("The server sent something that is not an FTP reply: " + shown(*line));
      m_partial = Reply{code, {std::move(*line)}};
      if (sep == ' ') {
        Reply done = std::move(m_partial);
        m_partial = Reply{};
        return done;
      }
      m_inMultiLine = true;
      m_partialSize = m_partial.lines.back().size();
      continue;
    }
    m_partialSize += line->size() + 1;
    if (m_partialSize > replyCap) throw ReplyError("The server sent a reply larger than 4 MiB");
    if (code >= 0 && sep == ' ' && line->size() >= 3) {
      if (code != m_partial.code)
        throw ReplyError("The server sent a confused multi-line reply: it began with " +
                         std::to_string(m_partial.code) + " and ended with " + shown(*line));
      m_partial.lines.push_back(std::move(*line));
      m_inMultiLine = false;
      Reply done = std::move(m_partial);
      m_partial = Reply{};
      return done;
    }
    m_partial.lines.push_back(std::move(*line));
  }
  return std::nullopt;
}

bool ReplyReader::hasPartial() const { return m_inMultiLine || m_start < m_buffer.size(); }

void ReplyReader::clear() {
  m_buffer.clear();
  m_start = 0;
  m_partial = Reply{};
  m_inMultiLine = false;
  m_partialSize = 0;
}

} // namespace tidewick::ftp::proto
