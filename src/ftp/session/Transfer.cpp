// Single-file transfers. Downloads go through a 256 KiB block (32 KiB over TLS) that is written
// to disk only when full (small writes cost several times more per byte here), except that a large
// binary download goes from the socket into the file with splice(), copied once inside the kernel
// instead of twice through this process. Uploads are read in 1 MiB blocks (sendfile() measured
// slower: vsftpd took longer to read what it sent). Either way memory stays flat whatever the file
// size. A download that ends short of the size the server announced is a failure, and the part
// that arrived stays on disk for a later resume.
//
// A download never writes through a symbolic link at the target's name, and a complete file gets
// the server's modification time (an upload the local one, where the server can set it), so a
// later comparison by date sees the two copies as the same age.

#include "ftp/session/Session.h"

#include "ftp/listing/ListingParser.h"
#include "ftp/net/Stream.h"
#include "ftp/proto/Ascii.h"
#include "ftp/proto/Command.h"
#include "ftp/session/LocalTarget.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tidewick::ftp {

namespace {

// Downloads: 256 KiB, large enough that disk writes come in big blocks, small enough that a block
// read from the socket is still in the CPU cache when it is written out (1 MiB measured clearly
// slower). Uploads: 1 MiB, which vsftpd took in faster than 256 KiB.
constexpr std::size_t bufferSize = 256 * 1024;
// Downloads over TLS: every byte has passed through OpenSSL's record buffer on its way in, so far
// less of a 256 KiB block is still cached when it is written; write() took three times as long
// per byte as with 32 KiB blocks, which made up most of the gap to lftp on 1 GiB files.
constexpr std::size_t tlsBufferSize = 32 * 1024;
constexpr std::size_t uploadBlock = 1024 * 1024;
static_assert(bufferSize <= Session::bufferCapacity && uploadBlock <= Session::bufferCapacity);
constexpr qint64 directDownloadFrom = 1024 * 1024;

std::string toWire(const QString& text) { return text.toUtf8().toStdString(); }

QString fromWireText(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void checkArgument(const QString& text, const char* what) {
  if (text.isEmpty())
    throw FtpError(FailureKind::InvalidArgument, QStringLiteral("No %1 was given").arg(QLatin1String(what)));
}

void checkSendable(const std::string& name) {
  if (proto::hasLineBreakOrNul(name))
    throw FtpError(FailureKind::UnsafeInput,
                   QStringLiteral("The command was not sent: the name holds a line break or NUL character"));
}

// Writes the whole block or throws.
void writeBlock(QFile& file, const QString& name, const char* data, qint64 size) {
  while (size > 0) {
    const qint64 n = file.write(data, size);
    if (n <= 0)
      throw FtpError(FailureKind::LocalFileFailed,
                     QStringLiteral("Cannot write the local file %1: %2").arg(name, file.errorString()));
    data += n;
    size -= n;
  }
}

// The time in a reply to MDTM ("213 20210305142233"); invalid when it holds none.
QDateTime mdtmTime(const proto::Reply& reply) {
  if (reply.code != 213) return {};
  std::string text = reply.lastLine().size() > 4 ? reply.lastLine().substr(4) : std::string();
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return parseFactTime(text);
}

} // namespace

char* Session::buffer() {
  if (!m_buffer) m_buffer = std::make_unique<char[]>(bufferCapacity);
  return m_buffer.get();
}

void Session::reportProgress(qint64 fileBytes, qint64 fileSize) {
  // Cheap: the worker keeps only the newest figures and the UI fetches them at its own pace.
  int percent = 0;
  if (fileSize > 0) percent = static_cast<int>(std::min<qint64>(100, fileBytes * 100 / fileSize));
  else if (fileSize == 0) percent = 100;
  m_events.progress(fileBytes, percent, m_operationTotal);
}

void Session::receiveFile(const QString& remote, qint64 startOffset, const QString& local) {
  requireConnected();
  guarded([&] { receiveFileImpl(remote, startOffset, local, ListedFile()); });
}

void Session::sendFile(const QString& local, qint64 startOffset, const QString& remote, bool resume) {
  requireConnected();
  guarded([&] { sendFileImpl(local, startOffset, remote, resume); });
}

void Session::receiveFileImpl(const QString& remote, qint64 startOffset, const QString& local, const ListedFile& listed,
                              const std::string& commandLine) {
  checkArgument(remote, "remote file name");
  checkArgument(local, "local file name");
  if (startOffset < 0)
    throw FtpError(FailureKind::InvalidArgument, QStringLiteral("The start offset %1 is negative").arg(startOffset));
  const std::string remoteWire = toWire(remote);
  checkSendable(remoteWire); // a name that cannot be sent must not cost the local file

  const bool ascii = m_settings.ascii;
  ensureType(ascii);
  qint64 size = listed.size;
  if (size < 0 && !ascii && m_features.has("SIZE")) {
    const proto::Reply reply = commandRaw("SIZE", remoteWire);
    if (reply.code == 213) size = proto::parseSize(reply.lastLine()).value_or(-1);
  }

  // Opened before the server is asked, kept and cut to the offset only once it agrees to send.
  DownloadTarget target(local, startOffset);
  QFile& file = target.file();

  m_events.receivingFile(remote);
  if (startOffset > 0 || m_restPending) {
    const proto::Reply reply = commandRaw("REST", std::to_string(startOffset));
    if (reply.code != 350) refused("Resuming (REST " + std::to_string(startOffset) + ")", reply);
  }
  Transfer transfer(*this);
  const proto::Reply start =
      commandLine.empty() ? startTransfer("RETR", remoteWire, transfer) : startTransfer(commandLine, {}, transfer);
  m_restPending = false;
  if (start.isNegative()) refused("RETR " + remoteWire, start);
  target.start();
  if (size < 0 && startOffset == 0 && !ascii) size = proto::parseAnnouncedSize(start.lastLine()).value_or(-1);

  char* const buffer = this->buffer();
  const std::size_t block = m_protectData ? tlsBufferSize : bufferSize;
  std::size_t filled = 0;
  proto::AsciiDecoder decoder;
  std::string converted;
  qint64 position = startOffset;
  const auto flush = [&] {
    if (filled == 0) return;
    if (ascii) {
      decoder.convert(buffer, filled, converted);
      writeBlock(file, local, converted.data(), static_cast<qint64>(converted.size()));
    } else {
      writeBlock(file, local, buffer, static_cast<qint64>(filled));
    }
    filled = 0;
  };
  const auto partialNote = [&] {
    return position > 0
               ? QStringLiteral("; the first %1 bytes are kept in %2 for a later resume").arg(position).arg(local)
               : QString();
  };

  // Small files are not worth the look at what the target is; splice() needs a regular file.
  bool direct = false;
  if (!ascii && size - startOffset >= directDownloadFrom && m_data && m_data->canReceiveToFile()) {
    struct stat target {};
    direct = ::fstat(file.handle(), &target) == 0 && S_ISREG(target.st_mode);
  }

  reportProgress(position, size);
  if (!transfer.finished) {
    for (;;) {
      std::size_t n = 0;
      try {
        n = direct ? m_data->receiveToFile(file.handle(), position, bufferSize)
                   : m_data->readSome(buffer + filled, block - filled);
      } catch (const net::FileError& e) {
        throw FtpError(
            FailureKind::LocalFileFailed,
            QStringLiteral("Cannot write the local file %1: %2").arg(local, QString::fromStdString(e.what())));
      } catch (const net::NetError& e) {
        flush(); // keep every byte that arrived
        if (e.kind() == net::NetError::Kind::Interrupted) throw;
        closeData();
        resync();
        throw FtpError(FailureKind::TransferFailed, QStringLiteral("The download of %1 broke off: %2%3")
                                                        .arg(remote, QString::fromStdString(e.what()), partialNote()));
      }
      if (n == 0) break;
      if (!direct) filled += n;
      position += static_cast<qint64>(n);
      m_operationTotal += static_cast<qint64>(n);
      if (filled == block) flush();
      reportProgress(position, size);
    }
    flush();
    const std::string tail = decoder.finish();
    writeBlock(file, local, tail.data(), static_cast<qint64>(tail.size()));
  }
  try {
    finishTransfer(transfer, "RETR " + remoteWire);
  } catch (const FtpError& e) {
    if (e.kind() == FailureKind::Aborted || m_abort.load()) throw;
    throw FtpError(e.kind(), e.description() + partialNote());
  }
  if (!file.flush() || file.error() != QFileDevice::NoError)
    throw FtpError(FailureKind::LocalFileFailed,
                   QStringLiteral("Cannot write the local file %1: %2").arg(local, file.errorString()));
  if (!ascii && size >= 0 && position < size)
    throw FtpError(FailureKind::TransferFailed,
                   QStringLiteral("The download of %1 ended early: %2 of %3 bytes arrived%4")
                       .arg(remote)
                       .arg(position)
                       .arg(size)
                       .arg(partialNote()));
  // Only a complete file gets the server's date: a part dated like the whole would pass for it.
  if (m_settings.keepDates) keepLocalDate(file, local, remoteWire, listed);
  file.close();
  reportProgress(position, size);
}

QDateTime Session::remoteModified(const std::string& remoteWire, const ListedFile& listed) {
  if (listed.exactDate && listed.modified.isValid()) return listed.modified;
  if (m_features.has("MDTM")) {
    const QDateTime when = mdtmTime(commandRaw("MDTM", remoteWire));
    if (when.isValid()) return when;
  }
  // A LIST date is only worth keeping when it has the time of day; "Mar  1  2019" is midnight
  // of a day the file may not even have been written on, in the server's zone.
  if (listed.precision == DatePrecision::Minute || listed.precision == DatePrecision::Second) return listed.modified;
  return {};
}

std::map<QString, QDateTime> Session::modifiedTimes(const std::vector<QString>& names) {
  // Asked in batches: a folder of many small files would otherwise pay a round trip per file
  // for its date alone. Small batches keep the answers well inside what the connection buffers.
  constexpr std::size_t batchSize = 32;
  std::map<QString, QDateTime> times;
  if (!m_features.has("MDTM")) return times;
  for (std::size_t first = 0; first < names.size(); first += batchSize) {
    std::vector<std::string> wires;
    const std::size_t end = std::min(names.size(), first + batchSize);
    for (std::size_t i = first; i < end; ++i) wires.push_back(proto::formatCommand("MDTM", toWire(names[i])));
    const std::vector<proto::Reply> replies = commandBatch(wires);
    for (std::size_t i = first; i < end; ++i) {
      const QDateTime when = mdtmTime(replies[i - first]);
      if (when.isValid()) times.emplace(names[i], when);
    }
  }
  return times;
}

void Session::keepLocalDate(QFile& file, const QString& local, const std::string& remoteWire,
                            const ListedFile& listed) {
  const QDateTime when = remoteModified(remoteWire, listed);
  if (!when.isValid()) return;
  if (!file.setFileTime(when, QFileDevice::FileModificationTime))
    log(QStringLiteral("Could not give %1 the server's date: %2").arg(local, file.errorString()));
}

void Session::keepRemoteDate(const QString& local, const std::string& remoteWire) {
  // MFMT (where FEAT offers it) sets a file's modification time; without it the server keeps
  // the time of the upload.
  if (!m_features.has("MFMT")) return;
  const QDateTime when = QFileInfo(local).lastModified().toUTC();
  if (!when.isValid()) return;
  const proto::Reply reply =
      commandRaw("MFMT", when.toString(QStringLiteral("yyyyMMddHHmmss")).toStdString() + " " + remoteWire);
  if (!reply.isPositive())
    log(QStringLiteral("The server kept its own date for %1: %2")
            .arg(fromWireText(remoteWire), fromWireText(reply.text())));
}

void Session::sendFileImpl(const QString& local, qint64 startOffset, const QString& remote, bool resume,
                           const std::string& commandLine) {
  checkArgument(local, "local file name");
  checkArgument(remote, "remote file name");
  const std::string remoteWire = toWire(remote);
  checkSendable(remoteWire);

  QFile file(local);
  const qint64 start = resume ? startOffset : 0;
  openUploadSource(file, local, start);
  const qint64 size = file.size();

  const bool ascii = m_settings.ascii;
  ensureType(ascii);
  m_events.sendingFile(local);
  std::string verb = "STOR";
  if (start > 0) {
    const proto::Reply reply = commandRaw("REST", std::to_string(start));
    if (reply.code != 350) {
      // Without REST, appending is the same thing exactly when the remote file holds the
      // bytes we skip and no more.
      bool sameLength = false;
      if (m_features.has("SIZE")) {
        const proto::Reply sizeReply = commandRaw("SIZE", remoteWire);
        sameLength = sizeReply.code == 213 && proto::parseSize(sizeReply.lastLine()) == start;
      }
      if (!sameLength) refused("Resuming (REST " + std::to_string(start) + ")", reply);
      log(QStringLiteral("The server cannot resume with REST; appending instead"));
      verb = "APPE";
    }
  } else if (m_restPending) {
    commandRaw("REST", "0");
  }
  if (start > 0 && !file.seek(start))
    throw FtpError(FailureKind::LocalFileFailed,
                   QStringLiteral("Cannot read the local file %1: %2").arg(local, file.errorString()));

  Transfer transfer(*this);
  const proto::Reply startReply =
      commandLine.empty() ? startTransfer(verb, remoteWire, transfer) : startTransfer(commandLine, {}, transfer);
  m_restPending = false;
  if (startReply.isNegative()) refused(verb + " " + remoteWire, startReply);

  char* const buffer = this->buffer();
  proto::AsciiEncoder encoder;
  std::string converted;
  qint64 position = start;
  reportProgress(position, size);

  // A server that gives up (disk full, quota) answers on the control connection and may stop
  // reading; its reply explains more than the broken data connection does.
  const auto serverReason = [&](const QString& fallback) {
    closeData();
    try {
      finishTransfer(transfer, verb + " " + remoteWire);
    } catch (const FtpError& e) {
      if (e.kind() == FailureKind::Aborted || m_abort.load()) throw;
      throw FtpError(FailureKind::TransferFailed, e.description());
    }
    throw FtpError(FailureKind::TransferFailed, fallback);
  };

  while (!transfer.finished) {
    const qint64 n = file.read(buffer, static_cast<qint64>(uploadBlock));
    if (n < 0)
      throw FtpError(FailureKind::LocalFileFailed,
                     QStringLiteral("Cannot read the local file %1: %2").arg(local, file.errorString()));
    if (n == 0) break;
    const char* data = buffer;
    std::size_t length = static_cast<std::size_t>(n);
    if (ascii) {
      encoder.convert(buffer, length, converted);
      data = converted.data();
      length = converted.size();
    }
    try {
      m_data->writeAll(data, length);
    } catch (const net::NetError& e) {
      if (e.kind() == net::NetError::Kind::Interrupted) throw;
      const QString broken =
          QStringLiteral("The upload of %1 broke off: %2").arg(local, QString::fromStdString(e.what()));
      // The server usually says why right after closing the data connection.
      if (m_control && m_control->waitReadable(std::min(m_settings.idleTimeout, net::Millis(1000))))
        serverReason(broken);
      closeData();
      resync();
      throw FtpError(FailureKind::TransferFailed, broken);
    }
    position += n;
    m_operationTotal += n;
    reportProgress(position, size);
    if (m_control->available() > 0) serverReason(QStringLiteral("The server ended the upload of %1 early").arg(local));
  }
  if (m_data) m_data->shutdownSend();
  finishTransfer(transfer, verb + " " + remoteWire);
  if (m_settings.keepDates) keepRemoteDate(local, remoteWire);
  reportProgress(position, size);
}

} // namespace tidewick::ftp
