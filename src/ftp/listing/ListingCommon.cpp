#include "ftp/listing/ListingCommon.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tidewick::ftp::listing {

namespace {

constexpr std::uint64_t everyByte(unsigned char c) { return 0x0101010101010101ULL * c; }

// One bit for each of the (at most 64) bytes at p that is a space or a tab; the bits past `length`
// are set too, so that a word running to the end of the line ends there. `behind` is how many
// bytes of the line come before p.
std::uint64_t blankBits(const char* p, std::size_t length, std::size_t behind) {
  std::uint64_t bits = length < 64 ? ~std::uint64_t(0) << length : 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i tab = _mm_set1_epi8('\t');
  const auto blanks = [&](const char* at) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return std::uint64_t(
        std::uint32_t(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, tab)))) & 0xffffu);
  };
  for (; i + 16 <= length; i += 16) bits |= blanks(p + i) << i;
  if (const std::size_t left = length - i; left > 0) {
    // The last few bytes: the 16 that end the line where the line is that long (nothing past its
    // end is read), a zeroed copy of them otherwise.
    if (behind + length >= 16) {
      bits |= (blanks(p + length - 16) >> (16 - left)) << i;
    } else {
      alignas(16) char rest[16] = {};
      std::memcpy(rest, p + i, left);
      bits |= blanks(rest) << i;
    }
  }
  return bits;
#else
  (void)behind;
  for (; i < length; ++i) bits |= std::uint64_t(isBlank(p[i])) << i;
  return bits;
#endif
}

} // namespace

// Works on 64 bytes at a time: their blanks as bits, and the words' starts and ends as the
// changes between blank and not.
Tokens::Tokens(std::string_view line) {
  const char* const base = line.data();
  const std::size_t size = line.size();
  int starts = 0;
  int ends = 0;
  bool inWord = false;
  for (std::size_t offset = 0; offset < size && ends < MaxTokens; offset += 64) {
    const std::uint64_t word = ~blankBits(base + offset, std::min<std::size_t>(64, size - offset), offset);
    const std::uint64_t before = (word << 1) | std::uint64_t(inWord);
    // A word's end is the blank after it, so within a block every end follows its start.
    for (std::uint64_t bits = word & ~before; bits != 0 && starts < MaxTokens; bits &= bits - 1)
      m_start[starts++] = base + offset + std::countr_zero(bits);
    for (std::uint64_t bits = ~word & before; bits != 0 && ends < MaxTokens; bits &= bits - 1, ++ends)
      m_length[ends] = static_cast<std::size_t>(base + offset + std::countr_zero(bits) - m_start[ends]);
    inWord = (word >> 63) & 1;
  }
  if (ends < starts) {
    m_length[ends] = static_cast<std::size_t>(base + size - m_start[ends]);
    ++ends;
  }
  count = ends;
}

int monthFromName(std::string_view text) {
  if (text.size() < 3) return 0;
  auto lower = [](char c) { return char((c >= 'A' && c <= 'Z') ? c + 32 : c); };
  static constexpr const char* names[12] = {"january", "february", "march",     "april",   "may",      "june",
                                            "july",    "august",   "september", "october", "november", "december"};
  // Most tokens tried here are numbers and owner names: the three first letters decide at once.
  constexpr auto key = [](char a, char b, char c) {
    return std::uint32_t(std::uint8_t(a)) << 16 | std::uint32_t(std::uint8_t(b)) << 8 | std::uint8_t(c);
  };
  int m = 0;
  switch (key(lower(text[0]), lower(text[1]), lower(text[2]))) {
    case key('j', 'a', 'n'): m = 0; break;
    case key('f', 'e', 'b'): m = 1; break;
    case key('m', 'a', 'r'): m = 2; break;
    case key('a', 'p', 'r'): m = 3; break;
    case key('m', 'a', 'y'): m = 4; break;
    case key('j', 'u', 'n'): m = 5; break;
    case key('j', 'u', 'l'): m = 6; break;
    case key('a', 'u', 'g'): m = 7; break;
    case key('s', 'e', 'p'): m = 8; break;
    case key('o', 'c', 't'): m = 9; break;
    case key('n', 'o', 'v'): m = 10; break;
    case key('d', 'e', 'c'): m = 11; break;
    default: return 0;
  }
  // "Mar", "March", "Sept" are fine; "Marble" is not a month.
  const std::string_view full(names[m]);
  if (text.size() == 3) return m + 1;
  if (text.size() == 4 && m == 8 && lower(text[3]) == 't') return 9;
  if (text.size() == 4 && text[3] == '.') return m + 1;
  if (text.size() != full.size()) return 0;
  for (size_t i = 3; i < full.size(); ++i)
    if (lower(text[i]) != full[i]) return 0;
  return m + 1;
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
  // Names are mostly ASCII: look at eight bytes at a time for a byte with its top bit set.
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  std::uint64_t high = 0;
  for (std::uint64_t word = 0; end - p >= 8 && high == 0; p += 8) {
    std::memcpy(&word, p, 8);
    high = word & everyByte(0x80);
  }
  for (; p < end && high == 0; ++p) high = static_cast<unsigned char>(*p) & 0x80;
  if (high == 0 || !isValidUtf8(bytes)) return QString::fromLatin1(bytes.data(), size);
  return QString::fromUtf8(bytes.data(), size);
}

const QDateTime& DateCache::utc(int year, int month, int day, int hour, int minute, int second) {
  const std::array<int, 6> key{year, month, day, hour, minute, second};
  // Field by field: this runs for every line, and a call to compare 24 bytes costs more.
  const bool same = m_hasWhen && key[0] == m_key[0] && key[1] == m_key[1] && key[2] == m_key[2] && key[3] == m_key[3] &&
                    key[4] == m_key[4] && key[5] == m_key[5];
  if (!same) {
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
