#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tidewick::ftp::proto {

class UnsafeCommand : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// True when text holds CR, LF or NUL: any of them would let a name or a typed line smuggle a
// second command onto the control connection.
bool hasLineBreakOrNul(std::string_view text);

// "VERB argument\r\n" (no blank when the argument is empty). Throws UnsafeCommand when the verb or
// the argument holds CR, LF or NUL; nothing is cut or replaced.
std::string formatCommand(std::string_view verb, std::string_view argument = {});
// A raw line typed by the user, sent as it is plus CR LF; the same refusal.
std::string formatRawLine(std::string_view line);

// The line as the log shows it: the argument of PASS and ACCT becomes "****".
std::string loggedCommand(std::string_view line);

// The verb of a command line, upper-cased ("retr" in "retr a.txt" gives "RETR").
std::string commandVerb(std::string_view line);
// What follows the verb and the one blank after it, as typed ("a.txt" in "retr a.txt"); the empty
// text when nothing follows.
std::string commandArgument(std::string_view line);

} // namespace tidewick::ftp::proto
