// DOS and IIS style lines:
//   03-05-21  02:22PM       <DIR>          folder name
//   03-05-21  02:22PM                 1234 file.txt
//   03-05-2021  14:22                 1234 file.txt
//   2021-03-05  14:22       <DIR>          folder
// The date is month first unless the first number cannot be a month; two-digit years below 70
// are 20xx. A size is right-aligned and followed by one space, so a name after a size keeps its
// leading spaces; after "<DIR>" the padding cannot be told from the name and is skipped.

#include "ftp/listing/ListingCommon.h"

namespace tidewick::ftp::listing {
namespace {

bool parseDosDate(std::string_view t, int& year, int& month, int& day) {
  // Three numbers separated by one of - / .
  int parts[3] = {0, 0, 0};
  size_t lengths[3] = {0, 0, 0};
  int index = 0;
  size_t start = 0;
  char separator = 0;
  for (size_t i = 0; i <= t.size(); ++i) {
    if (i == t.size() || t[i] == '-' || t[i] == '/' || t[i] == '.') {
      if (i < t.size()) {
        if (separator == 0) separator = t[i];
        else if (t[i] != separator) return false;
      }
      if (index > 2 || !parseNumber(t.substr(start, i - start), parts[index], 4)) return false;
      lengths[index++] = i - start;
      start = i + 1;
    }
  }
  if (index != 3) return false;
  if (lengths[0] == 4) { // year first
    year = parts[0];
    month = parts[1];
    day = parts[2];
  } else {
    if (lengths[2] != 2 && lengths[2] != 4) return false;
    year = parts[2];
    if (lengths[2] == 2) year += year < 70 ? 2000 : 1900;
    month = parts[0];
    day = parts[1];
    if (month > 12 && day <= 12) std::swap(month, day);
  }
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

// "02:22PM", "02:22 PM" (two tokens), "14:22". Returns the number of tokens used.
int parseDosTime(const Tokens& t, int i, int& hour, int& minute) {
  std::string_view text = t[i];
  std::string_view suffix;
  int used = 1;
  if (text.size() >= 2) {
    const char a = char(text[text.size() - 2] & ~0x20);
    const char m = char(text[text.size() - 1] & ~0x20);
    if ((a == 'A' || a == 'P') && m == 'M') {
      suffix = text.substr(text.size() - 2);
      text.remove_suffix(2);
    }
  }
  if (suffix.empty()) {
    const std::string_view next = t[i + 1];
    if (next.size() == 2 && ((next[0] & ~0x20) == 'A' || (next[0] & ~0x20) == 'P') && (next[1] & ~0x20) == 'M') {
      suffix = next;
      used = 2;
    }
  }
  int second = 0;
  bool hasSeconds = false;
  if (!parseClock(text, hour, minute, second, hasSeconds)) return 0;
  if (!suffix.empty()) {
    if (hour < 1 || hour > 12) return 0;
    const bool pm = (suffix[0] & ~0x20) == 'P';
    if (hour == 12) hour = pm ? 12 : 0;
    else if (pm) hour += 12;
  }
  return used;
}

bool isDirMarker(std::string_view t) {
  return t == "<DIR>" || t == "<dir>" || t == "<JUNCTION>" || t == "<SYMLINKD>" || t == "<SYMLINK>";
}

// Sizes are sometimes printed with thousands separators: "1,234,567".
bool parseDosSize(std::string_view t, qint64& size) {
  if (t.find(',') == std::string_view::npos) return parseSize(t, size);
  char digits[32];
  size_t n = 0;
  for (char c : t) {
    if (c == ',') continue;
    if (n == sizeof digits) return false;
    digits[n++] = c;
  }
  return parseSize(std::string_view(digits, n), size);
}

} // namespace

std::optional<ListEntry> parseDosLine(std::string_view line, Context&) {
  line = trimLineEnd(line);
  const Tokens t(line);
  if (t.count < 4) return std::nullopt;

  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  if (!parseDosDate(t[0], year, month, day)) return std::nullopt;
  const int timeTokens = parseDosTime(t, 1, hour, minute);
  if (timeTokens == 0) return std::nullopt;
  const int sizeIndex = 1 + timeTokens;
  if (sizeIndex + 1 >= t.count) return std::nullopt;

  ListEntry entry;
  const std::string_view sizeToken = t[sizeIndex];
  size_t nameStart = endOf(line, sizeToken);
  if (isDirMarker(sizeToken)) {
    entry.kind = (sizeToken == "<SYMLINKD>" || sizeToken == "<SYMLINK>") ? ListEntry::Link : ListEntry::Folder;
    nameStart = size_t(t[sizeIndex + 1].data() - line.data());
  } else if (parseDosSize(sizeToken, entry.size)) {
    nameStart += 1;
  } else {
    return std::nullopt;
  }
  if (nameStart >= line.size()) return std::nullopt;
  std::string_view name = line.substr(nameStart);
  if (entry.kind == ListEntry::Link) {
    // Windows prints link targets in brackets: "name [target]".
    const size_t open = name.rfind(" [");
    if (open != std::string_view::npos && name.back() == ']' && open > 0) {
      entry.linkTarget = decodeName(name.substr(open + 2, name.size() - open - 3));
      name = name.substr(0, open);
    }
  }
  entry.name = decodeName(name);
  entry.modified = utcDateTime(year, month, day, hour, minute);
  if (!entry.modified.isValid()) return std::nullopt;
  entry.precision = ListEntry::Precision::Minute;
  return entry;
}

} // namespace tidewick::ftp::listing
