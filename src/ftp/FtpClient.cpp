#include "ftp/FtpClient.h"

#include "ftp/client/Worker.h"
#include "ftp/proto/Command.h"
#include "ftp/session/Session.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace tidewick::ftp {
namespace {

using SecurityKind = tidewick::ftp::Security;

constexpr std::size_t drainBatch = 2000;
constexpr qint64 progressIntervalMs = 50;

} // namespace

struct FtpClient::Wait {
  quint64 job = 0;
  bool done = false;
  JobResult result;
  std::vector<QEventLoop*> loops;
};

struct FtpClient::EventQueue {
  std::deque<WorkerEvent> events;
};

FtpClient::FtpClient(QObject* parent) : QObject(parent), m_pending(std::make_unique<EventQueue>()) {
  m_progressTimer = new QTimer(this);
  m_progressTimer->setInterval(static_cast<int>(progressIntervalMs));
  connect(m_progressTimer, &QTimer::timeout, this, [this] {
    pollProgress();
    drain();
  });
  m_worker = std::make_unique<Worker>([this] { scheduleDrain(); });
}

FtpClient::~FtpClient() {
  m_worker.reset(); // aborts what runs, quits the server politely and joins the thread
}

SessionSettings FtpClient::settings() const {
  SessionSettings s;
  s.host = m_host;
  s.port = m_port;
  s.user = m_user;
  s.password = m_password;
  s.passive = m_passive;
  s.ascii = m_transferMode == static_cast<int>(TransferType::Ascii);
  s.connectTimeout = net::Millis(std::max(1, m_connectTimeoutMs));
  s.idleTimeout = net::Millis(std::max(1, m_idleTimeoutMs));
  s.logFile = m_logFile;
  s.listingLimit = m_listingLimit;
  s.keepDates = m_keepDates;
  s.protocol = m_protocol == static_cast<int>(Protocol::Sftp) ? Protocol::Sftp : Protocol::Ftp;
  switch (static_cast<SecurityKind>(m_security)) {
    case SecurityKind::Plain:
    case SecurityKind::TlsIfAvailable:
    case SecurityKind::TlsRequired:
    case SecurityKind::TlsImplicit: s.security = static_cast<SecurityKind>(m_security); break;
    default: s.security = SecurityKind::TlsRequired; // never less protection than asked for
  }
  const auto proxy = static_cast<ProxyKind>(m_proxyType);
  s.proxy.kind = (proxy == ProxyKind::Socks4 || proxy == ProxyKind::Socks5) ? proxy : ProxyKind::None;
  s.proxy.host = m_proxyHost.trimmed().toStdString();
  s.proxy.port = static_cast<std::uint16_t>(m_proxyPort); // checked by Connect()
  s.proxy.user = m_proxyUser.toStdString();
  s.proxy.password = m_proxyPassword.toStdString();
  return s;
}

void FtpClient::setAbort(bool abort) {
  if (!abort || m_currentJob == 0) return;
  m_abortRequested = true;
  m_worker->abort(m_currentJob);
}

void FtpClient::run(ClientState busy, std::function<void(RemoteSession&)> job) {
  if (m_currentJob != 0) throw FtpFailure(QStringLiteral("Another FTP operation is still running"), FailureKind::Busy);
  m_state = busy;
  m_abortRequested = false;
  m_currentJob = m_worker->post(settings(), std::move(job));
  if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread())
    m_progressTimer->start();
  const JobResult result = waitFor(m_currentJob);
  if (result.kind != FailureKind::None) throw FtpFailure(result.description, result.kind);
}

JobResult FtpClient::waitFor(quint64 job) {
  std::shared_ptr<Wait> wait;
  for (const auto& w : m_waits)
    if (w->job == job) wait = w;
  if (!wait) {
    wait = std::make_shared<Wait>();
    wait->job = job;
    m_waits.push_back(wait);
  }
  QCoreApplication* app = QCoreApplication::instance();
  if (app && QThread::currentThread() == app->thread()) {
    QEventLoop loop;
    wait->loops.push_back(&loop);
    if (!wait->done) loop.exec();
    wait->loops.erase(std::find(wait->loops.begin(), wait->loops.end(), &loop));
    if (!wait->done) {
      // Every event loop was told to quit (the program is ending): stop the operation and
      // wait for its end here, so it never looks finished when it is not.
      m_worker->abort(job);
      while (!wait->done) {
        if (m_pending->events.empty()) m_worker->waitForEvents(std::chrono::milliseconds(progressIntervalMs));
        drain();
      }
    }
  } else {
    // No event loop to lean on (a plain program or another thread): deliver events here.
    while (!wait->done) {
      if (m_pending->events.empty()) m_worker->waitForEvents(std::chrono::milliseconds(progressIntervalMs));
      pollProgress();
      drain();
    }
  }
  if (wait->loops.empty()) m_waits.erase(std::remove(m_waits.begin(), m_waits.end(), wait), m_waits.end());
  return wait->result;
}

void FtpClient::scheduleDrain() {
  // Called on the worker thread; the drain itself runs on ours.
  QMetaObject::invokeMethod(
      this, [this] { drain(); }, Qt::QueuedConnection);
}

void FtpClient::drain() {
  // Events wait in m_pending, not in a local batch: a handler may open a nested event loop (a
  // message box, Disconnect waiting for the running job) and the drains run there must go on
  // with the very next event, or the job's end would never be seen.
  std::size_t delivered = 0;
  for (;;) {
    auto& pending = m_pending->events;
    if (pending.empty()) {
      pending = m_worker->take(drainBatch);
      if (pending.empty()) break;
    }
    WorkerEvent event = std::move(pending.front());
    pending.pop_front();
    deliver(event);
    if (++delivered >= drainBatch) {
      // Let the window paint between large batches of listed items.
      scheduleDrain();
      break;
    }
  }
}

void FtpClient::deliver(WorkerEvent& event) {
  switch (event.type) {
    case WorkerEvent::Type::Log: Q_EMIT LogMessage(event.text); break;
    case WorkerEvent::Type::Item:
      Q_EMIT ListingFolderItem(event.item.name, event.item.date, event.item.size, event.item.kind);
      break;
    case WorkerEvent::Type::Receiving: Q_EMIT ReceivingFile(event.text); break;
    case WorkerEvent::Type::Sending: Q_EMIT SendingFile(event.text); break;
    case WorkerEvent::Type::Skipped: Q_EMIT FileSkipped(event.text, event.text2, event.code); break;
    case WorkerEvent::Type::Disconnected:
      if (m_currentJob == 0) m_state = ClientState::NotConnected;
      m_encryption.clear();
      Q_EMIT Disconnected();
      break;
    case WorkerEvent::Type::Question: {
      if (event.question->kind() == Question::Kind::HostKey) {
        int answer = static_cast<int>(HostKeyAnswer::Unanswered);
        Q_EMIT HostKeyUnknown(event.question->hostKey(), answer);
        event.question->answer(QString::number(answer));
        break;
      }
      if (event.question->kind() == Question::Kind::Secret) {
        QString answer;
        bool given = false;
        Q_EMIT SecretRequired(event.question->secret(), answer, given);
        event.question->answer(given ? QLatin1Char('+') + answer : QStringLiteral("-"));
        break;
      }
      if (event.question->kind() == Question::Kind::Certificate) {
        bool trust = false;
        Q_EMIT CertificateNotTrusted(event.question->certificate(), trust);
        event.question->trust(trust);
        break;
      }
      QString answer;
      if (event.question->kind() == Question::Kind::Account) Q_EMIT AccountRequired(answer);
      else Q_EMIT PasswordRequired(answer);
      event.question->answer(answer);
      break;
    }
    case WorkerEvent::Type::Done:
      pollProgress(true); // the final figures, while the state still says busy
      if (event.job == m_currentJob) {
        m_progressTimer->stop();
        m_currentJob = 0;
        m_abortRequested = false;
        m_state = event.result.connected ? ClientState::Idle : ClientState::NotConnected;
        m_encryption = event.result.encryption;
      }
      for (const auto& wait : m_waits) {
        if (wait->job != event.job) continue;
        wait->done = true;
        wait->result = event.result;
        for (QEventLoop* loop : wait->loops) loop->quit();
      }
      break;
  }
}

void FtpClient::pollProgress(bool final) {
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (!final && now - m_lastProgressMs < progressIntervalMs - 5) return;
  quint64 sequence = 0;
  const auto latest = m_worker->latestProgress(&sequence);
  if (sequence == m_progressSequence) return;
  m_progressSequence = sequence;
  m_lastProgressMs = now;
  Q_EMIT TransferProgress(latest[0], static_cast<int>(latest[1]), latest[2]);
}

// ---- methods -------------------------------------------------------------------------------

void FtpClient::Connect() {
  if (m_state != ClientState::NotConnected)
    throw FtpFailure(QStringLiteral("Already connected to %1").arg(m_host), FailureKind::Busy);
  // A proxy port outside the 16-bit range would otherwise be cut to another port and connect there.
  const auto proxy = static_cast<ProxyKind>(m_proxyType);
  if ((proxy == ProxyKind::Socks4 || proxy == ProxyKind::Socks5) && (m_proxyPort < 1 || m_proxyPort > 65535))
    throw FtpFailure(QStringLiteral("The proxy port %1 is not a port number (1 to 65535)").arg(m_proxyPort),
                     FailureKind::InvalidArgument);
  run(ClientState::Connecting, [](RemoteSession& s) { s.connect(); });
}

void FtpClient::Disconnect() {
  if (m_currentJob != 0) {
    const quint64 running = m_currentJob;
    setAbort(true);
    waitFor(running);
  }
  try {
    run(ClientState::Disconnecting, [](RemoteSession& s) { s.disconnect(); });
  } catch (const FtpFailure&) {
    // Disconnecting ends in the disconnected state whatever the server says.
  }
}

QString FtpClient::GetCurrentFolder() {
  QString folder;
  run(ClientState::Busy, [&folder](RemoteSession& s) { folder = s.currentFolder(); });
  return folder;
}

void FtpClient::ChangeCurrentFolder(const QString& folder) {
  run(ClientState::Busy, [folder](RemoteSession& s) { s.changeFolder(folder); });
}

void FtpClient::ChangeToParentFolder() {
  run(ClientState::Busy, [](RemoteSession& s) { s.changeToParent(); });
}

void FtpClient::ListFolderContents(const QString& pattern) {
  run(ClientState::Busy, [pattern](RemoteSession& s) { s.list(pattern, true, nullptr); });
}

std::vector<FolderItem> FtpClient::GetFolderContents(const QString& pattern, int) {
  std::vector<FolderItem> items;
  run(ClientState::Busy, [pattern, &items](RemoteSession& s) { s.list(pattern, false, &items); });
  return items;
}

void FtpClient::CreateFolder(const QString& name) {
  run(ClientState::Busy, [name](RemoteSession& s) { s.makeFolder(name); });
}

void FtpClient::RemoveFolder(const QString& name) {
  run(ClientState::Busy, [name](RemoteSession& s) { s.removeFolder(name); });
}

void FtpClient::DeleteFile(const QString& name) {
  run(ClientState::Busy, [name](RemoteSession& s) { s.deleteFile(name); });
}

void FtpClient::RenameFile(const QString& from, const QString& to) {
  run(ClientState::Busy, [from, to](RemoteSession& s) { s.rename(from, to); });
}

void FtpClient::SendFile(const QString& localPath, qint64 startOffset, const QString& remoteName, bool sendFlag) {
  run(ClientState::Transferring, [=](RemoteSession& s) { s.sendFile(localPath, startOffset, remoteName, sendFlag); });
}

void FtpClient::ReceiveFile(const QString& remoteName, qint64 startOffset, const QString& localPath) {
  run(ClientState::Transferring, [=](RemoteSession& s) { s.receiveFile(remoteName, startOffset, localPath); });
}

void FtpClient::SendMatchingFiles(const QString& localMask, const QString& remoteFolder, bool createFolder,
                                  bool includeSubfolders) {
  run(ClientState::Transferring,
      [=](RemoteSession& s) { s.sendMatching(localMask, remoteFolder, createFolder, includeSubfolders); });
}

void FtpClient::ReceiveMatchingFiles(const QString& remoteMask, const QString& localFolder, bool includeSubfolders) {
  run(ClientState::Transferring,
      [=](RemoteSession& s) { s.receiveMatching(remoteMask, localFolder, includeSubfolders); });
}

void FtpClient::TransferFiles(const std::function<std::optional<FileTransfer>()>& next,
                              const std::function<void(const FileTransfer&, qint64)>& finished) {
  Worker& worker = *m_worker;
  run(ClientState::Transferring, [&next, &finished, &worker](RemoteSession& s) {
    // The operation's running total (from 0 at its start) tells each file's bytes; a file that
    // reported no progress moved none.
    quint64 seen = 0;
    worker.latestProgress(&seen);
    qint64 before = 0;
    while (const std::optional<FileTransfer> file = next()) {
      if (file->upload) s.sendFile(file->local, 0, file->remote, false);
      else s.receiveFile(file->remote, 0, file->local);
      quint64 sequence = 0;
      const qint64 total = worker.latestProgress(&sequence)[2];
      qint64 bytes = 0;
      if (sequence != seen) {
        bytes = total - before;
        before = total;
        seen = sequence;
      }
      finished(*file, bytes);
    }
  });
}

void FtpClient::SetPermissions(const QString& name, int mode) {
  run(ClientState::Busy, [name, mode](RemoteSession& s) { s.setPermissions(name, mode); });
}

QString FtpClient::GetSkipReason(int reasonCode) const { return skipReasonText(reasonCode); }

QString FtpClient::SendCommand(const QString& line, const QString& localPath) {
  QString reply;
  const std::string verb = proto::commandVerb(line.toStdString());
  const bool transfer = verb == "RETR" || verb == "STOR";
  run(transfer ? ClientState::Transferring : ClientState::Busy,
      [line, localPath, &reply](RemoteSession& s) { reply = s.sendRaw(line, localPath); });
  return reply;
}

} // namespace tidewick::ftp
