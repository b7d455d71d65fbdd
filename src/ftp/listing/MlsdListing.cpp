// MLSD / MLST fact lines (RFC 3659):
//   type=file;size=1234;modify=20210305142233.123;UNIX.mode=0644; name
//   type=OS.unix=slink:/target;modify=20210305142233; link
// Facts are "name=value;" up to a single space, then the name. Fact names are case-insensitive;
// times are UTC. A fact value ends at ';', so a value with spaces in it does not cut the line
// short. Unknown facts are ignored.

#include "ftp/listing/ListingCommon.h"

namespace tidewick::ftp {

using namespace listing;

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x + 32);
    if (y >= 'A' && y <= 'Z') y = char(y + 32);
    if (x != y) return false;
  }
  return true;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

} // namespace

// "20210305142233" or "20210305142233.123"
QDateTime parseFactTime(std::string_view t) {
  if (t.size() < 14) return {};
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
  if (!parseNumber(t.substr(0, 4), year, 4) || !parseNumber(t.substr(4, 2), month, 2) ||
      !parseNumber(t.substr(6, 2), day, 2) || !parseNumber(t.substr(8, 2), hour, 2) ||
      !parseNumber(t.substr(10, 2), minute, 2) || !parseNumber(t.substr(12, 2), second, 2))
    return {};
  std::string_view fraction = t.substr(14);
  if (!fraction.empty()) {
    if (fraction[0] != '.' || fraction.size() < 2) return {};
    fraction.remove_prefix(1);
    for (char c : fraction)
      if (!isDigit(c)) return {};
    const std::string_view ms = fraction.substr(0, 3);
    parseNumber(ms, msec, 3);
    for (size_t i = ms.size(); i < 3; ++i) msec *= 10;
  }
  if (second == 60) second = 59;
  return utcDateTime(year, month, day, hour, minute, second, msec);
}

namespace {

QString modeToPermissions(unsigned mode, int kind) {
  char text[10];
  text[0] = kind == ListEntry::Folder ? 'd' : kind == ListEntry::Link ? 'l' : '-';
  static constexpr char letters[] = "rwxrwxrwx";
  for (int i = 0; i < 9; ++i) text[1 + i] = (mode & (0400u >> i)) ? letters[i] : '-';
  if (mode & 04000) text[3] = (mode & 0100) ? 's' : 'S';
  if (mode & 02000) text[6] = (mode & 010) ? 's' : 'S';
  if (mode & 01000) text[9] = (mode & 01) ? 't' : 'T';
  return QString::fromLatin1(text, 10);
}

} // namespace

std::optional<ListEntry> listing::parseMlsdFacts(std::string_view line, bool requireType) {
  line = trimLineEnd(line);
  // MLST puts one space in front of the fact line.
  if (!line.empty() && line[0] == ' ') line.remove_prefix(1);

  ListEntry entry;
  bool sawFact = false;
  bool sawType = false;
  qint64 dirSize = -1;
  bool haveMode = false;
  unsigned mode = 0;
  enum { Plain, Current, Parent } dotEntry = Plain;

  size_t pos = 0;
  while (pos < line.size() && line[pos] != ' ') {
    const size_t semi = line.find(';', pos);
    if (semi == std::string_view::npos) return std::nullopt;
    const std::string_view fact = line.substr(pos, semi - pos);
    pos = semi + 1;
    const size_t eq = fact.find('=');
    if (eq == std::string_view::npos || eq == 0) return std::nullopt;
    sawFact = true;
    const std::string_view key = fact.substr(0, eq);
    const std::string_view value = fact.substr(eq + 1);
    if (equalsNoCase(key, "type")) {
      sawType = true;
      if (equalsNoCase(value, "file")) {
        entry.kind = ListEntry::File;
      } else if (equalsNoCase(value, "dir")) {
        entry.kind = ListEntry::Folder;
      } else if (equalsNoCase(value, "cdir")) {
        entry.kind = ListEntry::Folder;
        dotEntry = Current;
      } else if (equalsNoCase(value, "pdir")) {
        entry.kind = ListEntry::Folder;
        dotEntry = Parent;
      } else if (startsWithNoCase(value, "OS.unix=slink") || startsWithNoCase(value, "OS.unix=symlink")) {
        entry.kind = ListEntry::Link;
        const size_t colon = value.find(':');
        if (colon != std::string_view::npos) entry.linkTarget = decodeName(value.substr(colon + 1));
      } else {
        entry.kind = ListEntry::File; // devices, fifos and other system types
      }
    } else if (equalsNoCase(key, "size")) {
      if (!parseSize(value, entry.size)) return std::nullopt;
    } else if (equalsNoCase(key, "sizd")) {
      if (!parseSize(value, dirSize)) dirSize = -1;
    } else if (equalsNoCase(key, "modify")) {
      entry.modified = parseFactTime(value);
      if (entry.modified.isValid()) entry.precision = ListEntry::Precision::Second;
    } else if (equalsNoCase(key, "UNIX.mode")) {
      std::uint64_t octal = 0;
      haveMode = !value.empty() && value.size() <= 6;
      for (char c : value) {
        if (c < '0' || c > '7') {
          haveMode = false;
          break;
        }
        octal = octal * 8 + unsigned(c - '0');
      }
      mode = unsigned(octal);
    } else if (equalsNoCase(key, "unique")) {
      entry.unique = QString::fromLatin1(value.data(), qsizetype(value.size()));
    }
  }
  // Facts end with a single space, then the name.
  if (!sawFact || (requireType && !sawType) || pos >= line.size() || line[pos] != ' ' || pos + 1 >= line.size())
    return std::nullopt;
  // "sizd" is the size of a folder's own entry; it never replaces a file's "size".
  if (dirSize >= 0 && entry.kind == ListEntry::Folder && entry.size == 0) entry.size = dirSize;

  if (dotEntry == Current) entry.name = QStringLiteral(".");
  else if (dotEntry == Parent) entry.name = QStringLiteral("..");
  else entry.name = decodeName(line.substr(pos + 1));
  if (haveMode) entry.permissions = modeToPermissions(mode, entry.kind);
  return entry;
}

std::optional<ListEntry> parseMlsdLine(std::string_view line) { return listing::parseMlsdFacts(line, false); }

} // namespace tidewick::ftp
