#include "transfer/QueueRun.h"

#include "ftp/FtpFailure.h"
#include "ftp/QuickFtp.h"
#include "settings/ConnectionSettings.h"
#include "settings/Globals.h"
#include "settings/SiteSecurity.h"

#include <cmath>
#include <exception>
#include <utility>

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

namespace {

// What a row asks for, once its name and port were found usable.
struct RowPlan {
  int port = 0;
  settings::SiteSecurity security = settings::SiteSecurity::Plain; // FTP, FTP over TLS or SFTP
  bool ascii = false;
  bool folder = false;
  bool download = false;
  QString remoteFile, localFile; // the item in its two folders
};

// Throws FtpFailure for a name that is not a single name and a port that is no port.
RowPlan planRow(const QueueRow& row) {
  if (!isSingleName(row.name))
    throw FtpFailure(
        QStringLiteral("The queued name \"%1\" is not a single file or folder name; the row was not run").arg(row.name),
        FailureKind::InvalidArgument);
  const std::optional<int> port = rowPort(row.port);
  if (!port) throw FtpFailure(portFailure(QStringLiteral("port number"), row.port), FailureKind::InvalidArgument);
  RowPlan plan;
  plan.port = *port;
  plan.security = settings::SiteSecurityFromText(row.security);
  plan.ascii = row.transferMode != QStringLiteral("Binary");
  plan.folder = row.type == QStringLiteral("Link") || row.type == QStringLiteral("Dir");
  plan.download = row.command == QStringLiteral("Download");
  plan.remoteFile = withTrailingSlash(row.remotePath) + row.name;
  plan.localFile = withTrailingSlash(row.localPath) + row.name;
  return plan;
}

// The protocol and the protection the row's site is reached with, for the next connection.
void reachAs(QuickFtp& ftp, const RowPlan& plan) {
  ftp.setProtocol(static_cast<int>(settings::IsSftp(plan.security) ? ftp::Protocol::Sftp : ftp::Protocol::Ftp));
  ftp.setSecurity(settings::FtpSecurityOf(plan.security));
}

ftp::FileTransfer fileTransfer(const RowPlan& plan) { return {!plan.download, plan.localFile, plan.remoteFile}; }

RowResult failed(const QueueRow& row, const FtpFailure& failure) {
  RowResult result;
  result.kind = failure.kind();
  result.error = failure.description().isEmpty()
                     ? QStringLiteral("%1 %2 failed (%3)").arg(row.command, row.name).arg(failure.number())
                     : failure.description();
  return result;
}

// Anything else thrown (out of memory, say) fails the row too, with what it says.
RowResult failed(const std::exception& failure) {
  RowResult result;
  result.kind = FailureKind::TransferFailed;
  result.error = QString::fromLocal8Bit(failure.what());
  return result;
}

} // namespace

qint64 RunQueueRow(QuickFtp& ftp, const QueueRow& row) {
  const RowPlan plan = planRow(row);
  reachAs(ftp, plan);
  const bool withSubfolders = true; // a queued folder always goes whole
  if (plan.download) {
    if (plan.folder)
      return ftp.QuickReceiveFiles(row.hostAddress, plan.port, row.userName, row.password,
                                   withTrailingSlash(plan.remoteFile) + QStringLiteral("*"), withSubfolders,
                                   plan.localFile, plan.ascii);
    return ftp.QuickReceiveFile(row.hostAddress, plan.port, row.userName, row.password, plan.remoteFile, plan.localFile,
                                plan.ascii);
  }
  if (plan.folder)
    return ftp.QuickSendFiles(row.hostAddress, plan.port, row.userName, row.password,
                              withTrailingSlash(plan.localFile) + QStringLiteral("*"), withSubfolders, plan.remoteFile,
                              plan.ascii);
  return ftp.QuickSendFile(row.hostAddress, plan.port, row.userName, row.password, plan.localFile, plan.remoteFile,
                           plan.ascii);
}

void RunRows::setRows(std::vector<Entry> rows) {
  std::lock_guard lock(m_mutex);
  m_rows = std::move(rows);
  m_first = 0;
}

std::optional<RunRows::Entry> RunRows::next(const std::function<bool(const QueueRow&)>& fits) {
  std::lock_guard lock(m_mutex);
  if (m_stopped) return std::nullopt;
  while (m_first < m_rows.size() && m_done.count(m_rows[m_first].id) > 0) ++m_first;
  if (m_first == m_rows.size()) return std::nullopt;
  const Entry& entry = m_rows[m_first];
  if (fits && !fits(entry.row)) return std::nullopt;
  m_running = entry.id;
  return entry;
}

void RunRows::finished() {
  std::lock_guard lock(m_mutex);
  if (m_running == 0) return;
  m_done.insert(m_running);
  m_doneUnseen.push_back(m_running);
  m_running = 0;
}

void RunRows::stop() {
  std::lock_guard lock(m_mutex);
  m_stopped = true;
}

std::vector<quint64> RunRows::takeFinished(quint64* running) {
  std::lock_guard lock(m_mutex);
  *running = m_running;
  return std::exchange(m_doneUnseen, {});
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
    return failed(row, failure);
  } catch (const std::exception& failure) {
    m_ftp->CloseConnection();
    return failed(failure);
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

RowResult QueueRowRunner::RunSeries(RunRows& rows, int* ran) {
  *ran = 0;
  const std::optional<RunRows::Entry> first = rows.next();
  if (!first) return {true};
  std::optional<RowPlan> plan;
  try {
    plan = planRow(first->row);
  } catch (const FtpFailure&) {
    // Run() says why.
  }
  if (!plan || plan->folder) {
    RowResult result = Run(first->row);
    if (result.ok) {
      rows.finished();
      *ran = 1;
    }
    return result;
  }

  // The rows that may follow on the same connection: single files of the same login and mode.
  const QueueRow& lead = first->row;
  const auto fits = [&lead, ascii = plan->ascii, port = plan->port, security = plan->security](const QueueRow& row) {
    if (row.hostAddress != lead.hostAddress || row.userName != lead.userName || row.password != lead.password)
      return false;
    try {
      const RowPlan next = planRow(row);
      return !next.folder && next.ascii == ascii && next.port == port && next.security == security;
    } catch (const FtpFailure&) {
      return false; // it fails on its own, with its reason
    }
  };
  QueueRow current = lead;
  bool firstGiven = false;
  RowResult result;
  reachAs(*m_ftp, *plan);
  try {
    result.bytes = m_ftp->QuickTransferFiles(
        lead.hostAddress, plan->port, lead.userName, lead.password, plan->ascii,
        [&]() -> std::optional<ftp::FileTransfer> {
          if (!firstGiven) {
            firstGiven = true;
            return fileTransfer(*plan);
          }
          const std::optional<RunRows::Entry> entry = rows.next(fits);
          if (!entry) return std::nullopt;
          current = entry->row;
          return fileTransfer(planRow(current));
        },
        [&](const ftp::FileTransfer&, qint64) {
          rows.finished();
          ++*ran;
        });
  } catch (const FtpFailure& failure) {
    return failed(current, failure);
  } catch (const std::exception& failure) {
    m_ftp->CloseConnection();
    return failed(failure);
  }
  result.ok = true;
  return result;
}

void QueueRowRunner::Abort() { m_ftp->setAbort(true); }

void QueueRowRunner::End() { m_ftp->CloseConnection(); }

} // namespace tidewick::transfer
