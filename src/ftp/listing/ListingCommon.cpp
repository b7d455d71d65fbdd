#include "ftp/listing/ListingCommon.h"

#include <cstring>

#include <limits>

namespace tidewick::ftp::listing {

Tokens::Tokens(std::string_view line) {
  const char* p = line.data();
  const char* const end = p + line.size();
  while (p < end && count < MaxTokens) {
    // ls pads its columns with long runs of spaces: skip them eight at a time.
    for (std::uint64_t word = 0; end - p >= 8 && (std::memcpy(&word, p, 8), word == 0x2020202020202020ULL);) p += 8;
    while (p < end && isBlank(*p)) ++p;
    if (p == end) break;
    const char* const start = p;
    while (p < end && !isBlank(*p)) ++p;
    m_start[count] = start;
    m_length[count] = static_cast<std::size_t>(p - start);
    ++count;
  }
}

bool parseUnsigned(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (!isDigit(c)) return false;
    const unsigned digit = unsigned(c - '0');
    if (v > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return false;
    v = v * 10 + digit;
  }
  value = v;
  return true;
}

bool parseSize(std::string_view text, qint64& value) {
  std::uint64_t v = 0;
  if (!parseUnsigned(text, v) || v > std::uint64_t(std::numeric_limits<qint64>::max())) return false;
  value = qint64(v);
  return true;
}

bool parseNumber(std::string_view text, int& value, int maxDigits) {
  if (text.empty() || text.size() > size_t(maxDigits)) return false;
  int v = 0;
  for (char c : text) {
    if (!isDigit(c)) return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

int monthFromName(std::string_view text) {
  if (text.size() < 3) return 0;
  auto lower = [](char c) { return char((c >= 'A' && c <= 'Z') ? c + 32 : c); };
  const char a = lower(text[0]), b = lower(text[1]), c = lower(text[2]);
  static constexpr const char* names[12] = {"january", "february", "march",     "april",   "may",      "june",
                                            "july",    "august",   "september", "october", "november", "december"};
  for (int m = 0; m < 12; ++m) {
    const char* name = names[m];
    if (name[0] != a || name[1] != b || name[2] != c) continue;
    // "Mar", "March", "Sept" are fine; "Marble" is not a month.
    const std::string_view full(name);
    if (text.size() == 3) return m + 1;
    if (text.size() == 4 && m == 8 && lower(text[3]) == 't') return 9;
    if (text.size() == 4 && text[3] == '.') return m + 1;
    if (text.size() == full.size()) {
      for (size_t i = 3; i < full.size(); ++i)
        if (lower(text[i]) != full[i]) return 0;
      return m + 1;
    }
    return 0;
  }
  return 0;
}

bool parseClock(std::string_view text, int& hour, int& minute, int& second, bool& hasSeconds) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2) return false;
  if (!parseNumber(text.substr(0, colon), hour, 2) || hour > 23) return false;
  std::string_view rest = text.substr(colon + 1);
  if (rest.size() < 2 || !parseNumber(rest.substr(0, 2), minute, 2) || minute > 59) return false;
  rest.remove_prefix(2);
  second = 0;
  hasSeconds = false;
  if (rest.empty()) return true;
  if (rest[0] != ':' || rest.size() < 3 || !parseNumber(rest.substr(1, 2), second, 2) || second > 60) return false;
  rest.remove_prefix(3);
  // Fractions of a second ("14:22:33.000000000") are dropped.
  if (!rest.empty() && rest[0] != '.') return false;
  for (size_t i = 1; i < rest.size(); ++i)
    if (!isDigit(rest[i])) return false;
  hasSeconds = true;
  if (second == 60) second = 59;
  return true;
}

QDateTime utcDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
  const QDate date(year, month, day);
  if (!date.isValid() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return {};
  return QDateTime(date, QTime(hour, minute, second, msec), Qt::UTC);
}

namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const auto* end = p + s.size();
  while (p < end) {
    const unsigned c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int extra = 0;
    unsigned minimum = 0;
    unsigned cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
      minimum = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
      minimum = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
      minimum = 0x10000;
    } else {
      return false;
    }
    if (end - p <= extra) return false;
    for (int i = 1; i <= extra; ++i) {
      const unsigned cc = p[i];
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    p += extra + 1;
  }
  return true;
}

} // namespace

QString decodeName(std::string_view bytes) {
  const qsizetype size = qsizetype(bytes.size());
  bool ascii = true;
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii || !isValidUtf8(bytes)) return QString::fromLatin1(bytes.data(), size);
  return QString::fromUtf8(bytes.data(), size);
}

const QDateTime& DateCache::utc(int year, int month, int day, int hour, int minute, int second) {
  const std::array<int, 6> key{year, month, day, hour, minute, second};
  if (!m_hasWhen || key != m_key) {
    m_key = key;
    m_when = utcDateTime(year, month, day, hour, minute, second);
    m_hasWhen = true;
  }
  return m_when;
}

int DateCache::year(int month, int day, QDate today, int (*guess)(int, int, QDate)) {
  if (month != m_month || day != m_day || today != m_today) {
    m_month = month;
    m_day = day;
    m_today = today;
    m_year = guess(month, day, today);
  }
  return m_year;
}

QString PermissionCache::get(std::string_view text) {
  for (size_t i = 0; i < m_used; ++i)
    if (m_keys[i] == text) return m_values[i];
  const size_t slot = m_used < Slots ? m_used++ : (m_next++ % Slots);
  m_keys[slot].assign(text.data(), text.size());
  m_values[slot] = QString::fromLatin1(text.data(), qsizetype(text.size()));
  return m_values[slot];
}

} // namespace tidewick::ftp::listing
