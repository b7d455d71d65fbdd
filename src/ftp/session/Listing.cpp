// Folder listings: MLSD when the server offers it (exact sizes, UTC dates, no guessing at the
// format), LIST otherwise. Lines are parsed as they arrive, so a huge folder never sits in memory
// as raw text. Patterns are matched here rather than handed to the server, whose glob rules differ.

#include "ftp/session/Session.h"

#include "ftp/listing/ListingParser.h"
#include "ftp/proto/Command.h"
#include "ftp/proto/Paths.h"

#include <cstring>

namespace tidewick::ftp {

namespace {

constexpr std::size_t chunkSize = 256 * 1024;
constexpr std::size_t listingLineCap = 64 * 1024;

QString fromWire(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

DatePrecision precisionOf(ListEntry::Precision precision) {
  switch (precision) {
    case ListEntry::Precision::Day: return DatePrecision::Day;
    case ListEntry::Precision::Minute: return DatePrecision::Minute;
    case ListEntry::Precision::Second: return DatePrecision::Second;
    default: return DatePrecision::Unknown;
  }
}

// Some servers answer LIST in an empty folder with "550 No files found" instead of an empty list.
bool meansEmptyFolder(const proto::Reply& reply) {
  if (reply.code != 450 && reply.code != 550) return false;
  const QString text = fromWire(reply.text()).toLower();
  return text.contains(QLatin1String("no files")) || text.contains(QLatin1String("empty"));
}

// Feeds a data connection's bytes to `line` one line at a time (CR LF or LF; lines longer than the
// cap are dropped with one log note).
template <typename LineFn, typename NoteFn>
void readLines(net::Stream& stream, char* buffer, LineFn&& line, NoteFn&& note) {
  std::string pending;
  bool skipping = false;
  for (;;) {
    const std::size_t n = stream.readSome(buffer, chunkSize);
    if (n == 0) break;
    std::size_t start = 0;
    for (;;) {
      const char* found = static_cast<const char*>(std::memchr(buffer + start, '\n', n - start));
      if (!found) {
        if (!skipping) pending.append(buffer + start, n - start);
        if (pending.size() > listingLineCap) {
          note();
          pending.clear();
          skipping = true;
        }
        break;
      }
      const std::size_t end = static_cast<std::size_t>(found - buffer);
      if (skipping) {
        skipping = false;
      } else if (pending.empty()) {
        std::string_view view(buffer + start, end - start);
        if (!view.empty() && view.back() == '\r') view.remove_suffix(1);
        if (view.size() > listingLineCap) note();
        else line(view);
      } else {
        pending.append(buffer + start, end - start);
        std::string_view view(pending);
        if (!view.empty() && view.back() == '\r') view.remove_suffix(1);
        if (pending.size() > listingLineCap) note();
        else line(view);
        pending.clear();
      }
      start = end + 1;
    }
  }
  if (!pending.empty() && !skipping) {
    std::string_view view(pending);
    if (view.back() == '\r') view.remove_suffix(1);
    line(view);
  }
}

} // namespace

void Session::list(const QString& pattern, bool report, std::vector<FolderItem>* out) {
  requireConnected();
  guarded([&] {
    listImpl(pattern, [&](FolderItem&& item) {
      if (report) m_events.listingItem(item);
      if (out) out->push_back(std::move(item));
    });
  });
}

std::vector<FolderItem> Session::listAll() {
  std::vector<FolderItem> items;
  listImpl(QString(), [&](FolderItem&& item) { items.push_back(std::move(item)); });
  return items;
}

void Session::listImpl(const QString& pattern, const std::function<void(FolderItem&&)>& sink) {
  Transfer transfer(*this);
  bool mlsd = m_features.has("MLST") && !m_mlsdRefused;
  proto::Reply start = startTransfer(mlsd ? "MLSD" : "LIST", {}, transfer);
  if (mlsd && (start.code == 500 || start.code == 502)) {
    m_mlsdRefused = true;
    mlsd = false;
    start = startTransfer("LIST", {}, transfer);
  }
  const char* verb = mlsd ? "MLSD" : "LIST";
  if (start.isNegative()) {
    if (meansEmptyFolder(start)) return;
    refused(verb, start);
  }

  ListingParser parser;
  parser.setLogCallback([this](std::string_view line) {
    log(QStringLiteral("Could not read the listing line: %1").arg(fromWire(line)));
  });
  const auto handle = [&](std::string_view line) {
    if (line.empty()) return;
    std::optional<ListEntry> entry = mlsd ? parseMlsdLine(line) : parser.parseLine(line);
    if (!entry) {
      if (mlsd) log(QStringLiteral("Could not read the listing line: %1").arg(fromWire(line)));
      return;
    }
    if (entry->name == QLatin1String(".") || entry->name == QLatin1String("..")) return;
    if (!proto::wildcardMatch(pattern, entry->name)) return;
    FolderItem item;
    item.name = std::move(entry->name);
    item.date = std::move(entry->modified);
    item.size = entry->size;
    item.kind = entry->kind;
    item.datePrecision = precisionOf(entry->precision);
    item.linkTarget = std::move(entry->linkTarget);
    item.permissions = std::move(entry->permissions);
    sink(std::move(item));
  };

  if (!transfer.finished) readListingLines(handle);
  finishTransfer(transfer, verb);
}

void Session::readListingLines(const std::function<void(std::string_view)>& line) {
  if (!m_buffer) m_buffer = std::make_unique<char[]>(1 << 20);
  try {
    readLines(*m_data, m_buffer.get(), line,
              [this] { log(QStringLiteral("A listing line longer than 64 KiB was left out")); });
  } catch (const net::NetError& e) {
    if (e.kind() == net::NetError::Kind::Interrupted) throw;
    closeData();
    resync();
    throw FtpError(FailureKind::TransferFailed,
                   QStringLiteral("The listing broke off: %1").arg(QString::fromStdString(e.what())));
  }
}

QString Session::rawListing(const std::string& verb, const std::string& argument) {
  Transfer transfer(*this);
  const proto::Reply start = startTransfer(verb, argument, transfer);
  if (start.isNegative()) return fromWire(start.text());
  if (!transfer.finished) readListingLines([this](std::string_view line) { log(fromWire(line)); });
  closeData();
  if (transfer.finished) return fromWire(start.text());
  proto::Reply reply = readReply();
  while (reply.isPreliminary()) reply = readReply();
  return fromWire(reply.text());
}

} // namespace tidewick::ftp
