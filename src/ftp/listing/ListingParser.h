#pragma once

// Parsing of FTP folder listings.
//
// A LIST reply has no standard shape: every server prints what its author liked. We recognise
// the families that matter in practice, one file each:
//   UnixListing.cpp  `ls -l` with or without a group column, links ("name -> target"),
//                    year or time, device entries ("major, minor" instead of a size),
//                    numeric or month-first/day-first dates, long-iso dates
//   DosListing.cpp   DOS/IIS ("03-05-21  02:22PM  <DIR>  name"), 12 and 24 hour clocks
//   EplfListing.cpp  EPLF ("+i8388621.48594,m825718503,r,s280,\tname")
//   MlsdListing.cpp  MLSD/MLST facts ("type=file;size=12;modify=20210305142233; name")
// The sample tables in tests/ftp/listing/ are the truth for what each family accepts.
//
// Parsers take bytes, never a socket. They tokenise a line once and never use a regex: a
// 100,000-entry folder has to go through in well under a second.
//
// Dates: MLSD times are UTC by definition. A LIST line carries no zone; the servers we meet
// (vsftpd, pyftpdlib, ProFTPD by default) print UTC, so LIST times are taken as UTC too.
// Every `modified` is therefore a UTC QDateTime (invalid when the line has no usable date),
// and `precision` says how much of it the server actually told us.

#include <QDate>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace tidewick::ftp {

namespace listing {
class PermissionCache;
class DateCache;
} // namespace listing

struct ListEntry {
  enum Kind : int { File = 0, Folder = 1, Link = 2 };

  QString name;       // exactly as listed; "." and ".." (and MLSD's cdir/pdir) are kept, callers skip them
  QString linkTarget; // for links, when the listing names the target
  qint64 size = 0;    // bytes; 0 for device entries and when unknown
  QDateTime modified; // UTC; invalid when unknown
  enum class Precision { Unknown, Day, Minute, Second } precision = Precision::Unknown;
  int kind = File;     // 0 file, 1 folder, 2 link
  QString permissions; // as listed ("drwxr-xr-x"), or built from MLSD's UNIX.mode; may be empty
  QString unique;      // MLSD's "unique" fact: entries with the same value are the same file or folder
};

enum class ListingFormat { Unknown, Unix, Dos, Eplf, Mlsd };
const char* listingFormatName(ListingFormat format);

// Parses the lines of one LIST reply. Stateful: the first line that one of the formats accepts
// decides the format, and later lines try that format first (falling back to the others, since
// some servers mix in odd lines). Lines that are only noise ("total 12", blank lines) yield
// nothing quietly; lines no format accepts yield nothing and go to the log callback.
// Trailing CR/LF are ignored. Nothing a server sends can make it crash or throw.
class ListingParser {
public:
  using LogCallback = std::function<void(std::string_view line)>;

  ListingParser();

  std::optional<ListEntry> parseLine(std::string_view line);

  // Splits a whole reply at LF (CR LF or LF) and parses every line.
  std::vector<ListEntry> parseAll(std::string_view listing);

  // Called with every line that no format accepts.
  void setLogCallback(LogCallback callback) { m_log = std::move(callback); }

  // Year-less Unix dates ("Mar  5 14:22") are placed in the year that puts them no later than
  // one day after this date. Defaults to today's UTC date.
  void setCurrentDate(QDate today) { m_today = today; }

  ListingFormat format() const { return m_format; }
  int unparsedLines() const { return m_unparsed; }

private:
  std::optional<ListEntry> tryFormat(ListingFormat format, std::string_view line);

  LogCallback m_log;
  std::shared_ptr<listing::PermissionCache> m_permissions;
  std::shared_ptr<listing::DateCache> m_dates;
  QDate m_today;
  ListingFormat m_format = ListingFormat::Unknown;
  int m_unparsed = 0;
};

// One line of an MLSD reply (or the fact line of an MLST reply, leading space allowed).
// "type=cdir" and "type=pdir" entries come back named "." and "..".
std::optional<ListEntry> parseMlsdLine(std::string_view line);

// A time as MLSD's "modify" fact and MDTM replies give it: "YYYYMMDDHHMMSS" with optional
// fractions of a second, UTC. Invalid when the text is not such a time.
QDateTime parseFactTime(std::string_view text);

} // namespace tidewick::ftp
