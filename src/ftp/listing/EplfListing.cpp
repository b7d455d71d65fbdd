// EPLF (Easily Parsed LIST Format, D. J. Bernstein):
//   +i8388621.48594,m825718503,r,s280,\tdjb.html
//   +i8388621.50690,m824255907,/,\t514
// Comma-separated facts after a '+', a tab, then the name. "/" marks a folder, "r" a file,
// "s" the size, "m" the modification time in seconds since 1970 UTC, "up" the octal mode.

#include "ftp/listing/ListingCommon.h"

namespace tidewick::ftp::listing {

std::optional<ListEntry> parseEplfLine(std::string_view line, Context&) {
  line = trimLineEnd(line);
  if (line.size() < 3 || line[0] != '+') return std::nullopt;
  const size_t tab = line.find('\t');
  if (tab == std::string_view::npos || tab + 1 >= line.size()) return std::nullopt;

  ListEntry entry;
  bool typed = false;
  std::string_view facts = line.substr(1, tab - 1);
  while (!facts.empty()) {
    const size_t comma = facts.find(',');
    const std::string_view fact = facts.substr(0, comma);
    facts = comma == std::string_view::npos ? std::string_view() : facts.substr(comma + 1);
    if (fact.empty()) continue;
    switch (fact[0]) {
      case '/':
        entry.kind = ListEntry::Folder;
        typed = true;
        break;
      case 'r': typed = true; break;
      case 's':
        if (!parseSize(fact.substr(1), entry.size)) return std::nullopt;
        break;
      case 'm': {
        std::uint64_t seconds = 0;
        // Beyond year 9999 is garbage, not a date.
        if (!parseUnsigned(fact.substr(1), seconds) || seconds > 253402300799ULL) return std::nullopt;
        entry.modified = QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC);
        entry.precision = ListEntry::Precision::Second;
        break;
      }
      case 'u':
        if (fact.size() > 2 && fact[1] == 'p')
          entry.permissions = QString::fromLatin1(fact.data() + 2, qsizetype(fact.size() - 2));
        break;
      default: // "i" identifiers and facts we do not know
        break;
    }
  }
  if (!typed) return std::nullopt;
  entry.name = decodeName(line.substr(tab + 1));
  return entry;
}

} // namespace tidewick::ftp::listing
