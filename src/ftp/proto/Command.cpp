#include "ftp/proto/Command.h"

#include <cctype>

namespace tidewick::ftp::proto {

bool hasLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string formatCommand(std::string_view verb, std::string_view argument) {
  if (hasLineBreakOrNul(verb) || hasLineBreakOrNul(argument))
    throw UnsafeCommand("The command was not sent: the name or text holds a line break or NUL character");
  std::string line(verb);
  if (!argument.empty()) {
    line += ' ';
    line += argument;
  }
  line += "\r\n";
  return line;
}

std::string formatRawLine(std::string_view line) {
  if (hasLineBreakOrNul(line)) throw UnsafeCommand("The command was not sent: it holds a line break or NUL character");
  return std::string(line) + "\r\n";
}

std::string commandVerb(std::string_view line) {
  std::size_t start = 0;
  while (start < line.size() && line[start] == ' ') ++start;
  std::string verb;
  for (std::size_t i = start; i < line.size() && line[i] != ' '; ++i)
    verb += static_cast<char>(std::toupper(static_cast<unsigned char>(line[i])));
  return verb;
}

std::string commandArgument(std::string_view line) {
  std::size_t at = 0;
  while (at < line.size() && line[at] == ' ') ++at;
  while (at < line.size() && line[at] != ' ') ++at;
  return at + 1 < line.size() ? std::string(line.substr(at + 1)) : std::string();
}

std::string loggedCommand(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  const std::string verb = commandVerb(line);
  if (verb == "PASS" || verb == "ACCT") {
    const std::size_t at = line.find_first_not_of(' ');
    return std::string(line.substr(at, verb.size())) + " ****";
  }
  return std::string(line);
}

} // namespace tidewick::ftp::proto
