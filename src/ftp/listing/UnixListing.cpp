// `ls -l` style lines, the most common LIST output:
//   drwxr-xr-x   2 owner group     4096 Mar  5 14:22 name
//   -rw-r--r--   1 owner           1234 Mar  5  2021 name        (no group column)
//   lrwxrwxrwx   1 owner group        7 Mar  5 14:22 link -> target
//   crw-rw-rw-   1 root  root      1,   3 Jan  1 12:00 null       (device: major, minor)
//   -rw-r--r--   1 owner group     1234 2021-03-05 14:22 name    (long-iso)
//   -rw-r--r--   1 owner group     1234 5 Mar 14:22 name         (day before month)
//   d [R----F--] supervisor         512 Jan 16 18:53    login    (NetWare)
//   -rw-r--r--   1 owner group     1234 Mar  5 14:22:33 2021 name (BSD ls -lT)
// Owner and group are free text, so the line is read by finding the date: a size followed by
// month, day and time-or-year (or an ISO date and a time). The name is everything after the
// single space that follows the date, so leading spaces and spaces inside names survive.

#include "ftp/listing/ListingCommon.h"

#include <array>

namespace tidewick::ftp::listing {
namespace {

bool isTypeChar(char c) {
  switch (c) {
    case '-':
    case 'd':
    case 'l':
    case 'b':
    case 'c':
    case 'p':
    case 's':
    case 'D':
    case 'n':
    case '?':
    case 'w': return true;
    default: return false;
  }
}

// Looked up nine times for every line of a listing.
constexpr std::array<bool, 256> permissionChars = [] {
  std::array<bool, 256> table{};
  for (const char c : std::string_view("rwxsStTlL-?AX")) table[static_cast<unsigned char>(c)] = true;
  return table;
}();

bool isPermissionChar(char c) { return permissionChars[static_cast<unsigned char>(c)]; }

bool isUnixPermissions(std::string_view t) {
  if (t.size() < 10 || t.size() > 11 || !isTypeChar(t[0])) return false;
  for (size_t i = 1; i < 10; ++i)
    if (!isPermissionChar(t[i])) return false;
  // ACL, extended attribute and SELinux markers.
  return t.size() == 10 || t[10] == '+' || t[10] == '@' || t[10] == '.' || t[10] == '*';
}

bool isNetWareRights(std::string_view type, std::string_view rights) {
  return type.size() == 1 && (type[0] == '-' || type[0] == 'd') && rights.size() >= 3 && rights.front() == '[' &&
         rights.back() == ']';
}

bool parseDay(std::string_view t, int& day) { return parseNumber(t, day, 2) && day >= 1 && day <= 31; }

bool parseYear(std::string_view t, int& year) { return t.size() == 4 && parseNumber(t, year, 4) && year >= 1900; }

// "2021-03-05"
bool parseIsoDate(std::string_view t, int& year, int& month, int& day) {
  return t.size() == 10 && t[4] == '-' && t[7] == '-' && parseNumber(t.substr(0, 4), year, 4) &&
         parseNumber(t.substr(5, 2), month, 2) && parseNumber(t.substr(8, 2), day, 2) && month >= 1 && month <= 12 &&
         day >= 1 && day <= 31;
}

// "+0100", "-0530": minutes east of UTC.
bool parseZone(std::string_view t, int& minutes) {
  int hhmm = 0;
  if (t.size() != 5 || (t[0] != '+' && t[0] != '-') || !parseNumber(t.substr(1), hhmm, 4)) return false;
  minutes = (hhmm / 100) * 60 + hhmm % 100;
  if (t[0] == '-') minutes = -minutes;
  return true;
}

// Puts a year-less date ("Mar  5 14:22") in the year that makes it no later than a day after
// today: ls prints a time instead of a year only for recent files.
int guessYear(int month, int day, QDate today) {
  const QDate limit = today.addDays(1);
  for (int year = today.year(); year > today.year() - 8; --year) {
    const QDate candidate(year, month, day);
    if (candidate.isValid() && candidate <= limit) return year;
  }
  return today.year();
}

struct DateMatch {
  int lastToken = -1;              // index of the date's last token
  const QDateTime* when = nullptr; // the date cache's, or `own` (this runs for every line)
  std::optional<QDateTime> own;
  ListEntry::Precision precision = ListEntry::Precision::Unknown;
};

// Month/day/clock-or-year at i, day/month/clock-or-year at i, or ISO date and clock at i.
bool matchDate(const Tokens& t, int i, Context& context, DateMatch& out) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool hasSeconds = false;

  auto finish = [&](int last, bool withClock) {
    if (!withClock) hour = minute = second = 0;
    if (context.dates) {
      out.when = &context.dates->utc(year, month, day, hour, minute, second);
    } else {
      out.own = utcDateTime(year, month, day, hour, minute, second);
      out.when = &*out.own;
    }
    if (withClock) out.precision = hasSeconds ? ListEntry::Precision::Second : ListEntry::Precision::Minute;
    else out.precision = ListEntry::Precision::Day;
    if (!out.when->isValid()) return false;
    out.lastToken = last;
    return true;
  };

  auto yearOrClock = [&](std::string_view third, int last) {
    if (parseYear(third, year)) return finish(last, false);
    if (parseClock(third, hour, minute, second, hasSeconds)) {
      // BSD "ls -lT" prints seconds and then the year: "Mar  5 14:22:33 2021".
      if (hasSeconds && last + 1 < t.count && parseYear(t[last + 1], year)) return finish(last + 1, true);
      year = context.dates ? context.dates->year(month, day, context.today, guessYear)
                           : guessYear(month, day, context.today);
      return finish(last, true);
    }
    return false;
  };

  if (i + 2 < t.count) {
    if ((month = monthFromName(t[i])) != 0 && parseDay(t[i + 1], day) && yearOrClock(t[i + 2], i + 2)) return true;
    if (parseDay(t[i], day) && (month = monthFromName(t[i + 1])) != 0 && yearOrClock(t[i + 2], i + 2)) return true;
  }
  if (i + 1 < t.count && parseIsoDate(t[i], year, month, day) &&
      parseClock(t[i + 1], hour, minute, second, hasSeconds)) {
    if (!finish(i + 1, true)) return false;
    int zone = 0;
    if (i + 2 < t.count && parseZone(t[i + 2], zone)) {
      out.own = out.when->addSecs(-qint64(zone) * 60);
      out.when = &*out.own;
      out.lastToken = i + 2;
    }
    return true;
  }
  return false;
}

// The size column, or "major, minor" / "major,minor" for device entries.
bool matchSize(const Tokens& t, int i, int first, bool device, qint64& size) {
  const std::string_view s = t[i];
  if (device) {
    const size_t comma = s.find(',');
    if (comma != std::string_view::npos) {
      std::uint64_t a = 0, b = 0;
      if (parseUnsigned(s.substr(0, comma), a) && parseUnsigned(s.substr(comma + 1), b)) {
        size = 0;
        return true;
      }
    }
    std::uint64_t minor = 0, major = 0;
    if (i - 1 >= first && parseUnsigned(s, minor) && t[i - 1].size() > 1 && t[i - 1].back() == ',' &&
        parseUnsigned(t[i - 1].substr(0, t[i - 1].size() - 1), major)) {
      size = 0;
      return true;
    }
  }
  return parseSize(s, size);
}

} // namespace

std::optional<ListEntry> parseUnixLine(std::string_view line, Context& context) {
  line = trimLineEnd(line);
  const Tokens t(line);
  if (t.count < 5) return std::nullopt;

  std::string_view permissions;
  int firstSize = 0; // lowest index the size column may have
  char type = 0;
  if (isUnixPermissions(t[0])) {
    permissions = t[0];
    type = t[0][0];
    firstSize = 2; // after the link count (or the owner, for servers that omit the count)
  } else if (isNetWareRights(t[0], t[1])) {
    permissions = line.substr(0, endOf(line, t[1]));
    type = t[0][0];
    firstSize = 3;
  } else {
    return std::nullopt;
  }
  const bool device = type == 'b' || type == 'c';

  DateMatch date;
  qint64 size = 0;
  bool found = false;
  for (int i = firstSize + 1; i < t.count - 1 && !found; ++i)
    found = matchDate(t, i, context, date) && matchSize(t, i - 1, firstSize, device, size);
  if (!found || date.lastToken + 1 >= t.count) return std::nullopt;

  // Exactly one separator after the date; the rest of the line is the name.
  const size_t nameStart = endOf(line, t[date.lastToken]) + 1;
  if (nameStart >= line.size()) return std::nullopt;
  std::string_view name = line.substr(nameStart);
  // NetWare pads the name column, so its names cannot start with a space.
  if (firstSize == 3) {
    while (!name.empty() && isBlank(name.front())) name.remove_prefix(1);
    if (name.empty()) return std::nullopt;
  }

  ListEntry entry;
  entry.kind = type == 'd' ? ListEntry::Folder : type == 'l' ? ListEntry::Link : ListEntry::File;
  if (entry.kind == ListEntry::Link) {
    const size_t arrow = name.find(" -> ");
    if (arrow != std::string_view::npos && arrow > 0) {
      entry.linkTarget = decodeName(name.substr(arrow + 4));
      name = name.substr(0, arrow);
    }
  }
  entry.name = decodeName(name);
  entry.size = size;
  entry.modified = *date.when;
  entry.precision = date.precision;
  entry.permissions = context.permissions ? context.permissions->get(permissions)
                                          : QString::fromLatin1(permissions.data(), qsizetype(permissions.size()));
  return entry;
}

} // namespace tidewick::ftp::listing
