#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tidewick::ftp::proto {

struct Reply {
  int code = 0;
  std::vector<std::string> lines; // as received, without line ends

  int kind() const { return code / 100; } // 1 preliminary, 2 done, 3 more needed, 4/5 refused
  bool isPreliminary() const { return kind() == 1; }
  bool isPositive() const { return kind() == 2; }
  bool isIntermediate() const { return kind() == 3; }
  bool isNegative() const { return kind() == 4 || kind() == 5; }
  // All lines joined with "\n"; the first starts with the code.
  std::string text() const;
  // The last line, where servers put the text that matters.
  std::string lastLine() const { return lines.empty() ? std::string() : lines.back(); }
};

class ReplyError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Splits the control connection's bytes into replies (RFC 959 section 4.2): "DDD text" on one
// line, or "DDD-" ... "DDD text" over several, where lines between may say anything except start
// with another code and a blank (RFC 959 asks servers to pad those). Lines end with CR LF; a bare
// LF is accepted too. Bytes may arrive in any split, down to one at a time.
//
// Garbage where a reply must start, a line longer than lineCap, a multi-line reply closed by a
// different code, or a reply larger than replyCap throws ReplyError; the connection cannot be
// trusted after that.
class ReplyReader {
public:
  static constexpr std::size_t lineCap = 64 * 1024;
  static constexpr std::size_t replyCap = 4 * 1024 * 1024;

  void feed(const char* data, std::size_t size);
  // The next complete reply, if the bytes fed so far hold one.
  std::optional<Reply> next();
  // True while part of a reply (or of a line) is held.
  bool hasPartial() const;
  void clear();

private:
  std::optional<std::string> takeLine();

  std::string m_buffer;
  std::size_t m_start = 0;
  Reply m_partial;
  bool m_inMultiLine = false;
  std::size_t m_partialSize = 0;
};

} // namespace tidewick::ftp::proto
