// Folder listings: MLSD when the server offers it (exact sizes, UTC dates, no guessing at the
// format), LIST otherwise. Lines are parsed as they arrive, so a huge folder never sits in memory
// as raw text, and a listing that grows past its limit stops with a failure rather than taking
// the machine's memory. Patterns are matched here rather than handed to the server, whose glob
// rules differ.
//
// A bare LIST hides dot-files on many servers (vsftpd by default), so LIST goes out as "LIST -a".
// A server that refuses the option, or takes it for a file name, gets a plain LIST from then on.

#include "ftp/session/Session.h"

#include "ftp/listing/ListingParser.h"
#include "ftp/proto/Command.h"
#include "ftp/proto/Paths.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

namespace tidewick::ftp {

// Counts what a listing brings against its limit and stops it, with a failure that says so,
// past either bound.
class ListingBudget {
public:
  explicit ListingBudget(const ListingLimit& limit) : m_limit(limit) {}

  void text(std::size_t bytes) {
    m_bytes += static_cast<qint64>(bytes);
    check();
  }
  // One entry; `held` is what it keeps in memory when it is kept (0 when it is not).
  void entry(std::size_t held) {
    ++m_entries;
    m_bytes += static_cast<qint64>(held);
    check();
  }

private:
  void check() const {
    if (m_entries > m_limit.entries)
      throw FtpError(
          FailureKind::TransferFailed,
          QStringLiteral("The listing is larger than %1 entries; it was stopped there").arg(m_limit.entries));
    if (m_bytes > m_limit.bytes) {
      constexpr qint64 mib = 1024 * 1024;
      const QString size = m_limit.bytes % mib == 0 ? QStringLiteral("%1 MiB").arg(m_limit.bytes / mib)
                                                    : QStringLiteral("%1 bytes").arg(m_limit.bytes);
      throw FtpError(FailureKind::TransferFailed,
                     QStringLiteral("The listing is larger than %1; it was stopped there").arg(size));
    }
  }

  ListingLimit m_limit;
  qint64 m_entries = 0;
  qint64 m_bytes = 0;
};

namespace {

constexpr std::size_t chunkSize = 256 * 1024;
static_assert(chunkSize <= Session::bufferCapacity);
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

// What a kept item holds in memory: the item and its names as UTF-16 (details are shared, except
// those naming a link's target or a folder's identity).
std::size_t heldBytes(const FolderItem& item) {
  std::size_t bytes = sizeof(FolderItem) + 2 * static_cast<std::size_t>(item.name.size()) + 32;
  if (item.details && (!item.details->linkTarget.isEmpty() || !item.details->unique.isEmpty()))
    bytes += sizeof(FolderItemDetails) +
             2 * static_cast<std::size_t>(item.details->linkTarget.size() + item.details->unique.size()) + 64;
  return bytes;
}

// Most items of a folder share one of a few permission texts; they get one details object each.
class DetailsCache {
public:
  QExplicitlySharedDataPointer<FolderItemDetails> get(QString&& permissions, QString&& linkTarget, QString&& unique) {
    const bool own = !linkTarget.isEmpty() || !unique.isEmpty();
    if (permissions.isEmpty() && !own) return {};
    // The parser hands out one shared text for each permission string, so the same text is
    // mostly the same string.
    if (!own)
      for (const auto& details : m_recent)
        if (details &&
            (details->permissions.constData() == permissions.constData() || details->permissions == permissions))
          return details;
    QExplicitlySharedDataPointer<FolderItemDetails> details(new FolderItemDetails);
    details->permissions = std::move(permissions);
    details->linkTarget = std::move(linkTarget);
    details->unique = std::move(unique);
    if (!own) m_recent[m_next++ % m_recent.size()] = details;
    return details;
  }

private:
  std::array<QExplicitlySharedDataPointer<FolderItemDetails>, 8> m_recent;
  std::size_t m_next = 0;
};

// Collects a listing's items so that a large folder is never copied from one ever larger array
// to the next while it arrives. The first items go straight into the result, whose room is
// reserved up front: room that is never used costs address space only, no memory. Items beyond
// it wait in blocks and join the result once, at the end.
class ItemCollector {
public:
  void add(FolderItem&& item) {
    if (m_items.capacity() == 0) m_items.reserve(reserved);
    if (m_items.size() < m_items.capacity()) {
      m_items.push_back(std::move(item));
      return;
    }
    if (m_blocks.empty() || m_blocks.back().size() == blockSize) {
      m_blocks.emplace_back();
      m_blocks.back().reserve(blockSize);
    }
    m_blocks.back().push_back(std::move(item));
    m_overflow += 1;
  }

  std::vector<FolderItem> take() {
    std::vector<FolderItem> items;
    if (m_blocks.empty() && m_items.size() * 4 >= m_items.capacity()) {
      items.swap(m_items);
      return items;
    }
    items.reserve(m_items.size() + m_overflow); // a small folder gives back the unused room
    std::move(m_items.begin(), m_items.end(), std::back_inserter(items));
    std::vector<FolderItem>().swap(m_items);
    for (auto& block : m_blocks) {
      std::move(block.begin(), block.end(), std::back_inserter(items));
      std::vector<FolderItem>().swap(block); // each block goes as soon as it is moved
    }
    m_blocks.clear();
    m_overflow = 0;
    return items;
  }

private:
  static constexpr std::size_t reserved = 1 << 17;
  static constexpr std::size_t blockSize = 4096;
  std::vector<FolderItem> m_items;
  std::vector<std::vector<FolderItem>> m_blocks;
  std::size_t m_overflow = 0;
};

// Feeds a data connection's bytes to `line` one line at a time (CR LF or LF; lines longer than the
// cap are dropped with one log note). Every byte counts against the budget.
template <typename LineFn, typename NoteFn>
void readLines(net::Stream& stream, char* buffer, ListingBudget& budget, LineFn&& line, NoteFn&& note) {
  std::string pending;
  bool skipping = false;
  for (;;) {
    const std::size_t n = stream.readSome(buffer, chunkSize);
    if (n == 0) break;
    budget.text(n);
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
    ItemCollector collected;
    listImpl(pattern, [&](FolderItem&& item) {
      if (report) m_events.listingItem(item);
      if (out) collected.add(std::move(item));
    });
    if (out) *out = collected.take();
  });
}

std::vector<FolderItem> Session::listAll(bool* byMlsd) {
  ItemCollector collected;
  const bool mlsd = listImpl(QString(), [&](FolderItem&& item) { collected.add(std::move(item)); });
  if (byMlsd) *byMlsd = mlsd;
  return collected.take();
}

bool Session::listImpl(const QString& pattern, const std::function<void(FolderItem&&)>& sink) {
  Transfer transfer(*this);
  bool mlsd = m_features.has("MLST") && !m_mlsdRefused;
  proto::Reply start;
  if (mlsd) {
    start = startTransfer("MLSD", {}, transfer);
    if (start.code == 500 || start.code == 502) {
      m_mlsdRefused = true;
      mlsd = false;
    }
  }
  if (!mlsd && !m_listAllRefused) {
    start = startTransfer("LIST", "-a", transfer);
    // 4xx is about this attempt (no data connection, a busy server); 5xx may be about the option,
    // even "550 No files found" from a server that looked for a file named "-a".
    if (start.code >= 500) {
      const proto::Reply plain = startTransfer("LIST", {}, transfer);
      if (!plain.isNegative()) m_listAllRefused = true;
      start = plain;
    }
  } else if (!mlsd) {
    start = startTransfer("LIST", {}, transfer);
  }
  const char* verb = mlsd ? "MLSD" : "LIST";
  if (start.isNegative()) {
    if (meansEmptyFolder(start)) return mlsd;
    refused(verb, start);
  }

  ListingParser parser;
  parser.setLogCallback([this](std::string_view line) {
    log(QStringLiteral("Could not read the listing line: %1").arg(fromWire(line)));
  });
  ListingBudget budget(m_settings.listingLimit);
  DetailsCache details;
  const bool matchAll = pattern.isEmpty();
  const auto handle = [&](std::string_view line) {
    if (line.empty()) return;
    std::optional<ListEntry> entry = mlsd ? parseMlsdLine(line) : parser.parseLine(line);
    if (!entry) {
      if (mlsd) log(QStringLiteral("Could not read the listing line: %1").arg(fromWire(line)));
      return;
    }
    if (entry->name.size() <= 2 && (entry->name == QLatin1String(".") || entry->name == QLatin1String(".."))) return;
    if (!matchAll && !proto::wildcardMatch(pattern, entry->name)) {
      budget.entry(0);
      return;
    }
    FolderItem item;
    item.name = std::move(entry->name);
    item.date = std::move(entry->modified);
    item.size = std::min(entry->size, FolderItem::maxSize);
    item.kind = entry->kind;
    item.datePrecision = precisionOf(entry->precision);
    item.details = details.get(std::move(entry->permissions), std::move(entry->linkTarget),
                               entry->kind == ListEntry::Folder ? std::move(entry->unique) : QString());
    // An item is held by the caller, or by the window it is reported to, as long as it would
    // be here.
    budget.entry(heldBytes(item));
    sink(std::move(item));
  };

  if (!transfer.finished) readListingLines(budget, handle);
  finishTransfer(transfer, verb);
  return mlsd;
}

void Session::readListingLines(ListingBudget& budget, const std::function<void(std::string_view)>& line) {
  try {
    readLines(*m_data, buffer(), budget, line,
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
  ListingBudget budget(m_settings.listingLimit);
  if (!transfer.finished)
    readListingLines(budget, [&](std::string_view line) {
      log(fromWire(line));
      budget.entry(0);
    });
  closeData();
  if (transfer.finished) return fromWire(start.text());
  proto::Reply reply = readReply();
  while (reply.isPreliminary()) reply = readReply();
  return fromWire(reply.text());
}

} // namespace tidewick::ftp
