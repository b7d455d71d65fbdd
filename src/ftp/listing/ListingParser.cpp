#include "ftp/listing/ListingParser.h"

#include "ftp/listing/ListingCommon.h"

namespace tidewick::ftp {

using namespace listing;

namespace {

// Tried in this order until one accepts a line; after that the winner goes first.
constexpr ListingFormat formatTable[] = {ListingFormat::Unix, ListingFormat::Dos, ListingFormat::Eplf,
                                         ListingFormat::Mlsd};

// Lines that carry no entry and are no sign of trouble: blank lines and ls's "total 123".
bool isNoise(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && (isBlank(line[i]) || line[i] == '\r' || line[i] == '\n')) ++i;
  if (i == line.size()) return true;
  const std::string_view rest = line.substr(i);
  if (rest.size() < 6) return false;
  auto lower = [](char c) { return char((c >= 'A' && c <= 'Z') ? c + 32 : c); };
  if (lower(rest[0]) != 't' || lower(rest[1]) != 'o' || lower(rest[2]) != 't' || lower(rest[3]) != 'a' ||
      lower(rest[4]) != 'l' || !isBlank(rest[5]))
    return false;
  const Tokens t(rest);
  std::uint64_t blocks = 0;
  // "total 123" or "total 1.5M" (ls -h)
  return t.count == 2 && (parseUnsigned(t[1], blocks) || (!t[1].empty() && isDigit(t[1][0])));
}

} // namespace

const char* listingFormatName(ListingFormat format) {
  switch (format) {
    case ListingFormat::Unix: return "Unix";
    case ListingFormat::Dos: return "DOS";
    case ListingFormat::Eplf: return "EPLF";
    case ListingFormat::Mlsd: return "MLSD";
    case ListingFormat::Unknown: break;
  }
  return "unknown";
}

ListingParser::ListingParser()
    : m_permissions(std::make_shared<PermissionCache>()), m_dates(std::make_shared<DateCache>()),
      m_today(QDateTime::currentDateTimeUtc().date()) {}

std::optional<ListEntry> ListingParser::tryFormat(ListingFormat format, std::string_view line) {
  Context context{m_today, m_permissions.get(), m_dates.get()};
  switch (format) {
    case ListingFormat::Unix: return parseUnixLine(line, context);
    case ListingFormat::Dos: return parseDosLine(line, context);
    case ListingFormat::Eplf: return parseEplfLine(line, context);
    case ListingFormat::Mlsd: return parseMlsdFacts(line, true);
    case ListingFormat::Unknown: break;
  }
  return std::nullopt;
}

std::optional<ListEntry> ListingParser::parseLine(std::string_view line) {
  line = trimLineEnd(line);
  if (m_format != ListingFormat::Unknown) {
    if (auto entry = tryFormat(m_format, line)) return entry;
  }
  if (isNoise(line)) return std::nullopt;
  for (ListingFormat format : formatTable) {
    if (format == m_format) continue;
    if (auto entry = tryFormat(format, line)) {
      if (m_format == ListingFormat::Unknown) m_format = format;
      return entry;
    }
  }
  ++m_unparsed;
  if (m_log) m_log(line);
  return std::nullopt;
}

std::vector<ListEntry> ListingParser::parseAll(std::string_view listing) {
  std::vector<ListEntry> entries;
  while (!listing.empty()) {
    const size_t lf = listing.find('\n');
    const std::string_view line = listing.substr(0, lf);
    listing = lf == std::string_view::npos ? std::string_view() : listing.substr(lf + 1);
    if (auto entry = parseLine(line)) entries.push_back(std::move(*entry));
  }
  return entries;
}

} // namespace tidewick::ftp
