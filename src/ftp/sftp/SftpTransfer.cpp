// File transfers over SFTP. Both directions keep many requests on their way: a download asks for
// the next blocks while earlier ones arrive, an upload sends blocks while earlier ones are
// confirmed, both within what the SSH channel's window takes, so no call blocks waiting for room
// and an abort is seen within one wait slice. Memory stays at the blocks in flight.
//
// Download blocks are written where they belong as they come (pwrite). Should the transfer end
// early, the local file is cut back to the part that arrived without a gap, so a later resume from
// its size finds every byte before it.

#include "ftp/sftp/SftpSession.h"

#include "ftp/session/LocalTarget.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <unordered_map>

#include <sys/stat.h>
#include <unistd.h>

namespace tidewick::ftp::sftp {

namespace {

// Block size and blocks in flight. OpenSSH's server reads at most 255 KiB at a time and other
// servers less; 64 KiB is taken by all.
constexpr std::uint32_t blockSize = 64 * 1024;
constexpr std::size_t blocksInFlight = 48;
constexpr net::Millis slice{100};

QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

void checkArgument(const QString& text, const char* what) {
  if (text.isEmpty())
    throw FtpError(FailureKind::InvalidArgument, QStringLiteral("No %1 was given").arg(QLatin1String(what)));
}

// The byte ranges of a download that arrived: how far the file is whole from its start.
class Arrived {
public:
  explicit Arrived(std::uint64_t start) : m_whole(start) {}
  void add(std::uint64_t from, std::uint64_t to) {
    if (from > m_whole) {
      m_later[from] = std::max(m_later[from], to);
      return;
    }
    m_whole = std::max(m_whole, to);
    for (auto it = m_later.begin(); it != m_later.end() && it->first <= m_whole; it = m_later.erase(it))
      m_whole = std::max(m_whole, it->second);
  }
  std::uint64_t whole() const { return m_whole; }

private:
  std::uint64_t m_whole;
  std::map<std::uint64_t, std::uint64_t> m_later;
};

} // namespace

void SftpSession::reportProgress(qint64 fileBytes, qint64 fileSize) {
  int percent = 0;
  if (fileSize > 0) percent = static_cast<int>(std::min<qint64>(100, fileBytes * 100 / fileSize));
  else if (fileSize == 0) percent = 100;
  m_events.progress(fileBytes, percent, m_operationTotal);
}

void SftpSession::receiveFile(const QString& remote, qint64 startOffset, const QString& local) {
  requireConnected();
  guarded([&] { receiveImpl(remote, startOffset, local, nullptr); });
}

void SftpSession::sendFile(const QString& local, qint64 startOffset, const QString& remote, bool resume) {
  requireConnected();
  guarded([&] { sendImpl(local, startOffset, remote, resume); });
}

void SftpSession::receiveImpl(const QString& remote, qint64 startOffset, const QString& local,
                              const Attributes* known) {
  checkArgument(remote, "remote file name");
  checkArgument(local, "local file name");
  if (startOffset < 0)
    throw FtpError(FailureKind::InvalidArgument, QStringLiteral("The start offset %1 is negative").arg(startOffset));
  const QString path = resolve(remote);
  const std::string pathWire = wire(path);

  // Opened before the server is asked, kept and cut to the offset only once it agrees to send.
  DownloadTarget target(local, startOffset);
  QFile& file = target.file();

  const std::string handle = openHandle(path, open_flags::read, QStringLiteral("Opening %1").arg(path));
  Attributes attributes;
  if (known) {
    attributes = *known;
  } else {
    try {
      const Reply stat = call(std::move(request(Packet::Fstat).string(handle)));
      if (stat.type == Packet::Attrs) attributes = parseAttributes(stat);
    } catch (...) {
      closeQuietly(handle);
      throw;
    }
  }
  const bool sizeKnown = attributes.flags & Attributes::hasSize;
  const auto size = static_cast<qint64>(attributes.size);
  m_events.receivingFile(remote);
  try {
    target.start();
  } catch (...) {
    closeQuietly(handle);
    throw;
  }

  const int fd = file.handle();
  struct Block {
    std::uint64_t offset;
    std::uint32_t length;
  };
  std::unordered_map<std::uint32_t, Block> inFlight;
  std::deque<Block> gaps; // parts of short answers, asked for again
  auto next = static_cast<std::uint64_t>(startOffset);
  std::uint64_t limit = sizeKnown ? static_cast<std::uint64_t>(size) : UINT64_MAX;
  std::uint64_t end = UINT64_MAX; // where the server said the file ends
  Arrived arrived(next);
  qint64 position = startOffset;

  const auto partialNote = [&] {
    const auto whole = static_cast<qint64>(arrived.whole());
    return whole > 0 ? QStringLiteral("; the first %1 bytes are kept in %2 for a later resume").arg(whole).arg(local)
                     : QString();
  };
  const auto keepWholePart = [&] {
    if (::ftruncate(fd, static_cast<off_t>(arrived.whole())) != 0)
      log(QStringLiteral("Could not cut %1 back to the part that arrived: %2").arg(local, errnoText()));
  };
  const auto ask = [&](Block block) {
    const std::uint32_t id = m_nextId;
    send(std::move(request(Packet::Read).string(handle).u64(block.offset).u32(block.length)));
    inFlight.emplace(id, block);
  };

  reportProgress(position, sizeKnown ? size : -1);
  try {
    for (;;) {
      while (inFlight.size() < blocksInFlight) {
        if (!gaps.empty()) {
          const Block gap = gaps.front();
          gaps.pop_front();
          if (gap.offset < end) ask(gap);
          continue;
        }
        // Below the known size a block asks for no more than is there, so a small file costs a
        // single round trip; one block at the size finds the end (or that the file grew).
        if (next >= end || next > limit) break;
        const std::uint32_t length =
            next < limit ? static_cast<std::uint32_t>(std::min<std::uint64_t>(blockSize, limit - next)) : blockSize;
        ask({next, length});
        next += length;
      }
      if (inFlight.empty()) break;

      const Reply reply = m_ssh.read(m_settings.idleTimeout);
      const auto found = inFlight.find(reply.id);
      if (found == inFlight.end()) continue; // an answer to an earlier, abandoned request
      const Block block = found->second;
      inFlight.erase(found);
      if (reply.type == Packet::Status) {
        const Status status = parseStatus(reply);
        if (status.code != StatusCode::Eof) refused(QStringLiteral("Reading %1").arg(path), reply);
        end = std::min(end, block.offset);
        continue;
      }
      const std::string_view data = parseData(reply);
      if (data.size() > block.length)
        throw FtpError(FailureKind::BadReply, QStringLiteral("The server sent more than was asked for"));
      if (data.empty()) {
        end = std::min(end, block.offset);
        continue;
      }
      const char* bytes = data.data();
      std::size_t left = data.size();
      auto at = static_cast<off_t>(block.offset);
      while (left > 0) {
        const ssize_t n = ::pwrite(fd, bytes, left, at);
        if (n < 0) {
          if (errno == EINTR) continue;
          throw FtpError(FailureKind::LocalFileFailed,
                         QStringLiteral("Cannot write the local file %1: %2").arg(local, errnoText()));
        }
        bytes += n;
        left -= static_cast<std::size_t>(n);
        at += n;
      }
      const std::uint64_t got = block.offset + data.size();
      arrived.add(block.offset, got);
      if (data.size() < block.length) gaps.push_back({got, static_cast<std::uint32_t>(block.length - data.size())});
      if (got > limit) limit = got; // the file grew since it was looked at
      position += static_cast<qint64>(data.size());
      m_operationTotal += static_cast<qint64>(data.size());
      reportProgress(position, sizeKnown ? std::max(size, position) : -1);
    }
  } catch (const FtpError& e) {
    keepWholePart();
    closeQuietly(handle);
    if (e.kind() == FailureKind::Aborted || m_abort.load()) throw;
    throw FtpError(e.kind(), e.description() + partialNote());
  }
  // Every byte is here: the server's answer to closing a file it only read changes nothing, so it
  // is passed over when it comes instead of waited for. A folder of small files saves a round trip
  // per file.
  send(std::move(request(Packet::Close).string(handle)));
  if (sizeKnown && static_cast<qint64>(arrived.whole()) < size) {
    keepWholePart();
    throw FtpError(FailureKind::TransferFailed,
                   QStringLiteral("The download of %1 ended early: %2 of %3 bytes arrived%4")
                       .arg(remote)
                       .arg(arrived.whole())
                       .arg(size)
                       .arg(partialNote()));
  }
  if (m_settings.keepDates && (attributes.flags & Attributes::hasTimes)) {
    if (!file.setFileTime(QDateTime::fromSecsSinceEpoch(attributes.mtime, Qt::UTC), QFileDevice::FileModificationTime))
      log(QStringLiteral("Could not give %1 the server's date: %2").arg(local, file.errorString()));
  }
  file.close();
  reportProgress(position, position);
}

void SftpSession::sendImpl(const QString& local, qint64 startOffset, const QString& remote, bool resume) {
  checkArgument(local, "local file name");
  checkArgument(remote, "remote file name");
  const QString path = resolve(remote);
  const std::string pathWire = wire(path);
  QFile file(local);
  const qint64 start = resume ? startOffset : 0;
  openUploadSource(file, local, start);
  const qint64 size = file.size();

  const std::uint32_t flags =
      open_flags::write | open_flags::create | (start == 0 ? open_flags::truncate : std::uint32_t{0});
  const std::string handle = openHandle(path, flags, QStringLiteral("Opening %1 for writing").arg(path));
  m_events.sendingFile(local);
  const int fd = file.handle();
  std::unordered_map<std::uint32_t, std::uint64_t> inFlight; // id -> offset
  std::unique_ptr<char[]> buffer = std::make_unique<char[]>(blockSize);
  qint64 position = start;
  qint64 confirmed = start;
  bool ended = false;
  using Clock = std::chrono::steady_clock;
  auto lastNews = Clock::now();

  const auto takeReply = [&](const Reply& reply) {
    const auto found = inFlight.find(reply.id);
    if (found == inFlight.end()) return;
    inFlight.erase(found);
    expectOk(reply, QStringLiteral("Writing %1").arg(path));
    lastNews = Clock::now();
  };

  try {
    if (start > 0) {
      // Resuming where the server's copy ends: a copy shorter than the offset would leave a hole.
      const Reply stat = call(std::move(request(Packet::Fstat).string(handle)));
      if (stat.type == Packet::Attrs) {
        const Attributes there = parseAttributes(stat);
        if ((there.flags & Attributes::hasSize) && static_cast<qint64>(there.size) < start)
          throw FtpError(FailureKind::CommandRefused,
                         QStringLiteral("%1 holds %2 bytes on the server, fewer than the resume offset %3")
                             .arg(path)
                             .arg(there.size)
                             .arg(start));
      }
    }
    reportProgress(position, size);
    while (!ended || !inFlight.empty()) {
      if (m_abort.load()) throw FtpError(FailureKind::Aborted, QStringLiteral("The operation was aborted"));
      const std::size_t packet = blockSize + 64;
      if (!ended && inFlight.size() < blocksInFlight && m_ssh.writeRoom() >= packet) {
        const ssize_t n = ::pread(fd, buffer.get(), blockSize, static_cast<off_t>(position));
        if (n < 0) {
          if (errno == EINTR) continue;
          throw FtpError(FailureKind::LocalFileFailed,
                         QStringLiteral("Cannot read the local file %1: %2").arg(local, errnoText()));
        }
        if (n == 0) {
          ended = true;
          continue;
        }
        const std::uint32_t id = m_nextId;
        send(std::move(request(Packet::Write)
                           .string(handle)
                           .u64(static_cast<std::uint64_t>(position))
                           .string(std::string_view(buffer.get(), static_cast<std::size_t>(n)))));
        inFlight.emplace(id, static_cast<std::uint64_t>(position));
        position += n;
        confirmed = position;
        m_operationTotal += n;
        reportProgress(position, size);
        // Answers that are there already are taken on the way, keeping the window open.
        while (std::optional<Reply> reply = m_ssh.tryRead(net::Millis(0))) takeReply(*reply);
        continue;
      }
      if (std::optional<Reply> reply = m_ssh.tryRead(slice)) {
        takeReply(*reply);
      } else if (Clock::now() - lastNews > m_settings.idleTimeout) {
        throw FtpError(FailureKind::Timeout,
                       QStringLiteral("The server did not answer within %1")
                           .arg(QString::fromStdString(net::secondsText(m_settings.idleTimeout))));
      }
    }
    // A resumed upload onto a longer copy: what lies beyond the local file's end is not its own.
    if (start > 0) {
      Attributes end;
      end.flags = Attributes::hasSize;
      end.size = static_cast<std::uint64_t>(confirmed);
      expectOk(call(std::move(request(Packet::Fsetstat).string(handle).attributes(end))),
               QStringLiteral("Ending %1 at %2 bytes").arg(path).arg(confirmed));
    }
    if (m_settings.keepDates) {
      Attributes times;
      times.flags = Attributes::hasTimes;
      times.mtime = static_cast<std::uint32_t>(std::max<qint64>(0, QFileInfo(file).lastModified().toSecsSinceEpoch()));
      times.atime = times.mtime;
      const Reply set = call(std::move(request(Packet::Fsetstat).string(handle).attributes(times)));
      if (set.type != Packet::Status || parseStatus(set).code != StatusCode::Ok)
        log(QStringLiteral("The server kept its own date for %1").arg(path));
    }
  } catch (...) {
    closeQuietly(handle);
    throw;
  }
  closeHandle(handle, QStringLiteral("Closing %1").arg(path));
  reportProgress(position, size);
}

} // namespace tidewick::ftp::sftp
