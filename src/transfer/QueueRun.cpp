#include "transfer/QueueRun.h"

#include "ftp/FtpFailure.h"
#include "ftp/QuickFtp.h"
#include "settings/ConnectionSettings.h"
#include "settings/Globals.h"

#include <cmath>
#include <exception>

namespace tidewick::transfer {

using ftp::FailureKind;
using ftp::FtpFailure;
using ftp::QuickFtp;
using settings::LeadingNumber;
using settings::withTrailingSlash;

namespace {

// The port text as the whole number nearest to its leading number, when that is a usable port.
std::optional<int> rowPort(const QString& text) {
  const double port = std::nearbyint(LeadingNumber(text));
  if (!(port >= 1 && port <= 65535)) return std::nullopt;
  return int(port);
}

QString portFailure(const QString& what, const QString& text) {
  return QStringLiteral("The %1 \"%2\" is not a whole number from 1 to 65535").arg(what, text);
}

// A row names one item inside its two folders. A name that is a path, or that points at a folder
// itself, would make the transfer read or write outside them (a queue file is plain text anyone
// can hand over), so such a row is refused before anything connects.
bool isSingleName(const QString& name) {
  return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..") &&
         !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

} // namespace

void ApplyConnectionSettings(QuickFtp& ftp) {
  const settings::ConnectionSettings connection = settings::ConnectionSettings::read();
  if (!connection.usable())
    throw FtpFailure(portFailure(QStringLiteral("firewall proxy port"), connection.firewallPortText),
                     FailureKind::InvalidArgument);
  settings::applyConnectionSettings(connection, ftp);
}

qint64 RunQueueRow(QuickFtp& ftp, const QueueRow& row) {
  if (!isSingleName(row.name))
    throw FtpFailure(
        QStringLiteral("The queued name \"%1\" is not a single file or folder name; the row was not run").arg(row.name),
        FailureKind::InvalidArgument);
  const std::optional<int> port = rowPort(row.port);
  if (!port) throw FtpFailure(portFailure(QStringLiteral("port number"), row.port), FailureKind::InvalidArgument);
  const bool ascii = row.transferMode != QStringLiteral("Binary");
  const bool folder = row.type == QStringLiteral("Link") || row.type == QStringLiteral("Dir");
  const bool withSubfolders = true; // a queued folder always goes whole

  const QString remoteFolder = withTrailingSlash(row.remotePath);
  const QString localFolder = withTrailingSlash(row.localPath);
  const QString remoteFile = remoteFolder + row.name;
  const QString localFile = localFolder + row.name;

  if (row.command == QStringLiteral("Download")) {
    if (folder)
      return ftp.QuickReceiveFiles(row.hostAddress, *port, row.userName, row.password,
                                   remoteFolder + withTrailingSlash(row.name) + QStringLiteral("*"), withSubfolders,
                                   localFile, ascii);
    return ftp.QuickReceiveFile(row.hostAddress, *port, row.userName, row.password, remoteFile, localFile, ascii);
  }
  if (folder)
    return ftp.QuickSendFiles(row.hostAddress, *port, row.userName, row.password,
                              localFolder + withTrailingSlash(row.name) + QStringLiteral("*"), withSubfolders,
                              remoteFile, ascii);
  return ftp.QuickSendFile(row.hostAddress, *port, row.userName, row.password, localFile, remoteFile, ascii);
}

QueueRowRunner::QueueRowRunner(QObject* parent) : QObject(parent), m_ftp(std::make_unique<QuickFtp>()) {
  m_ftp->setKeepConnection(true);
  connect(m_ftp.get(), &QuickFtp::FileSkipped, this,
          [this](const QString& remoteName, const QString& localName, int reason) {
            // A link back into a folder being copied leaves nothing behind: its content is in the
            // copy already. It is reported but does not fail the row.
            if (reason != int(ftp::SkipReason::LinkLoop)) ++m_skipped;
            Q_EMIT Skipped(remoteName.isEmpty() ? localName : remoteName, ftp::skipReasonText(reason));
          });
}

QueueRowRunner::~QueueRowRunner() = default;

std::optional<QString> QueueRowRunner::Begin() {
  try {
    ApplyConnectionSettings(*m_ftp);
  } catch (const FtpFailure& failure) {
    return failure.description();
  }
  return std::nullopt;
}

RowResult QueueRowRunner::Run(const QueueRow& row) {
  RowResult result;
  m_skipped = 0;
  try {
    result.bytes = RunQueueRow(*m_ftp, row);
  } catch (const FtpFailure& failure) {
    result.kind = failure.kind();
    result.error = failure.description().isEmpty()
                       ? QStringLiteral("%1 %2 failed (%3)").arg(row.command, row.name).arg(failure.number())
                       : failure.description();
    return result;
  } catch (const std::exception& failure) {
    m_ftp->CloseConnection();
    result.kind = FailureKind::TransferFailed;
    result.error = QString::fromLocal8Bit(failure.what());
    return result;
  }
  // A folder row that left files behind did not do its job.
  if (m_skipped > 0) {
    result.kind = FailureKind::TransferFailed;
    result.error = QStringLiteral("%1 %2: %3 item(s) skipped").arg(row.command, row.name).arg(m_skipped);
    return result;
  }
  result.ok = true;
  return result;
}

void QueueRowRunner::Abort() { m_ftp->setAbort(true); }

void QueueRowRunner::End() { m_ftp->CloseConnection(); }

} // namespace tidewick::transfer
