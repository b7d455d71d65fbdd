#pragma once

// Helpers shared by the listing formats: a one-pass tokeniser, number, month and date readers,
// and name decoding. Internal to the listing folder.

#include "ftp/listing/ListingParser.h"

#include <array>
#include <cstdint>
#include <limits>
#include <string>

namespace tidewick::ftp::listing {

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Splits at runs of spaces and tabs, keeping at most MaxTokens words. The views point into the
// line, so a token's offset in the line is `token.data() - line.data()`.
struct Tokens {
  static constexpr int MaxTokens = 24;
  int count = 0;

  explicit Tokens(std::string_view line);
  std::string_view operator[](int i) const {
    return i >= 0 && i < count ? std::string_view(m_start[i], m_length[i]) : std::string_view();
  }

private:
  // Only the first `count` are set: this runs for every line of a listing.
  const char* m_start[MaxTokens];
  std::size_t m_length[MaxTokens];
};

// Offset just past `token` inside `line`.
inline size_t endOf(std::string_view line, std::string_view token) {
  return size_t(token.data() - line.data()) + token.size();
}

inline std::string_view trimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

// Digits only; false on anything else or on overflow. These run several times for every line of a
// listing, so they are inline.
inline bool parseUnsigned(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (!isDigit(c)) return false;
    const unsigned digit = unsigned(c - '0');
    // Nineteen digits always fit; only longer numbers need the check.
    if (text.size() > 19 && v > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
    v = v * 10 + digit;
  }
  value = v;
  return true;
}

// Size in bytes: digits, at most what a qint64 holds.
inline bool parseSize(std::string_view text, qint64& value) {
  std::uint64_t v = 0;
  if (!parseUnsigned(text, v) || v > std::uint64_t(std::numeric_limits<qint64>::max())) return false;
  value = qint64(v);
  return true;
}

// Digits only, at most maxDigits of them.
inline bool parseNumber(std::string_view text, int& value, int maxDigits = 9) {
  if (text.empty() || text.size() > size_t(maxDigits)) return false;
  int v = 0;
  for (char c : text) {
    if (!isDigit(c)) return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

// 1..12 for an English month name or abbreviation (any case), 0 otherwise.
int monthFromName(std::string_view text);

// "14:22" or "14:22:33" (seconds optional, hours 0-23).
bool parseClock(std::string_view text, int& hour, int& minute, int& second, bool& hasSeconds);

// A UTC date-time, invalid when the fields are out of range.
QDateTime utcDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int msec = 0);

// UTF-8 when the bytes are valid UTF-8; otherwise the bytes one for one as Latin-1, so that an
// undecodable name stays visible and distinct instead of turning into replacement marks.
QString decodeName(std::string_view bytes);

// Permission strings repeat across a listing; hand out shared copies instead of a fresh
// QString per line.
class PermissionCache {
public:
  QString get(std::string_view text);

private:
  static constexpr size_t Slots = 16;
  std::array<std::string, Slots> m_keys;
  std::array<QString, Slots> m_values;
  size_t m_used = 0;
  size_t m_next = 0;
};

// Lines of a listing mostly carry one of a few dates; the calendar work for the last one is kept,
// so a listing of many files from the same minute works it out once.
class DateCache {
public:
  // utcDateTime(), remembering the last answer (valid until the next call).
  const QDateTime& utc(int year, int month, int day, int hour, int minute, int second);
  // The year guessed for a year-less date by `guess`, remembering the last answer.
  int year(int month, int day, QDate today, int (*guess)(int month, int day, QDate today));

private:
  std::array<int, 6> m_key{};
  QDateTime m_when;
  bool m_hasWhen = false;
  int m_month = 0;
  int m_day = 0;
  QDate m_today;
  int m_year = 0;
};

struct Context {
  QDate today;
  PermissionCache* permissions = nullptr;
  DateCache* dates = nullptr;
};

std::optional<ListEntry> parseUnixLine(std::string_view line, Context& context);
std::optional<ListEntry> parseDosLine(std::string_view line, Context& context);
std::optional<ListEntry> parseEplfLine(std::string_view line, Context& context);
// MLSD facts; with requireType, only lines that say what they are (for MLSD lines inside a LIST
// reply, where "a=b; c" is more likely a message than an entry).
std::optional<ListEntry> parseMlsdFacts(std::string_view line, bool requireType);

} // namespace tidewick::ftp::listing
