#include "ftp/QuickFtp.h"

#include "ftp/FtpClient.h"

#include <memory>

namespace tidewick::ftp {
namespace {

QString remotePath(QString path) {
  path.replace(QLatin1Char('\\'), QLatin1Char('/'));
  return path;
}

} // namespace

QuickFtp::QuickFtp(QObject* parent) : QObject(parent) {}

QuickFtp::~QuickFtp() = default;

void QuickFtp::setAbort(bool abort) {
  if (m_client) m_client->setAbort(abort);
}

void QuickFtp::setKeepConnection(bool keep) {
  m_keepConnection = keep;
  if (!keep) CloseConnection();
}

void QuickFtp::CloseConnection() {
  if (!m_kept) return;
  std::unique_ptr<FtpClient> client = std::move(m_kept);
  client->Disconnect();
}

std::unique_ptr<FtpClient> QuickFtp::newClient(const Login& login) {
  auto client = std::make_unique<FtpClient>();
  client->setServerAddress(login.host);
  client->setServerPort(login.port);
  client->setUserName(login.user);
  client->setPassword(login.password);
  client->setPassiveMode(login.passive);
  client->setProxyType(login.proxyType);
  client->setProxyAddress(login.proxyHost);
  client->setProxyPort(login.proxyPort);
  client->setProxyUserName(login.proxyUser);
  client->setProxyPassword(login.proxyPassword);
  client->setProtocol(login.protocol);
  client->setSecurity(login.security);
  connect(client.get(), &FtpClient::LogMessage, this, &QuickFtp::LogMessage);
  connect(client.get(), &FtpClient::ReceivingFile, this, &QuickFtp::ReceivingFile);
  connect(client.get(), &FtpClient::SendingFile, this, &QuickFtp::SendingFile);
  connect(client.get(), &FtpClient::FileSkipped, this, &QuickFtp::FileSkipped);
  connect(client.get(), &FtpClient::HostKeyUnknown, this, &QuickFtp::HostKeyUnknown, Qt::DirectConnection);
  connect(client.get(), &FtpClient::SecretRequired, this, &QuickFtp::SecretRequired, Qt::DirectConnection);
  connect(client.get(), &FtpClient::CertificateNotTrusted, this, &QuickFtp::CertificateNotTrusted,
          Qt::DirectConnection);
  connect(client.get(), &FtpClient::TransferProgress, this, [this](qint64 fileBytes, int percent, qint64 total) {
    m_bytes = total;
    Q_EMIT TransferProgress(fileBytes, percent, total);
  });
  return client;
}

template <typename Fn>
qint64 QuickFtp::session(const QString& host, int port, const QString& user, const QString& password, bool ascii,
                         Fn&& transfer) {
  const Login login{host, user,        password,    m_proxyHost, m_proxyUser, m_proxyPassword,
                    port, m_proxyType, m_proxyPort, m_passive,   m_protocol,  m_security};
  struct Running {
    QuickFtp* self;
    ~Running() { self->m_client = nullptr; }
  } running{this};

  // A kept connection that the server has closed meanwhile (an idle timeout) shows as not
  // connected and is replaced. One the server closes just as the call begins fails before anything
  // moved; the call then runs once more on a new connection, as it would have from the start.
  std::unique_ptr<FtpClient> client;
  if (m_kept && m_keptLogin == login && m_kept->CurrentState() == static_cast<int>(ClientState::Idle))
    client = std::move(m_kept);
  CloseConnection();
  for (;;) {
    m_bytes = 0;
    const bool reused = client != nullptr;
    if (!client) client = newClient(login);
    client->setLogFile(m_logFile);
    client->setConnectTimeout(m_connectTimeoutMs);
    client->setIdleTimeout(m_idleTimeoutMs);
    client->setKeepFileDates(m_keepDates);
    client->setTransferMode(ascii ? TransferType::Ascii : TransferType::Binary);
    m_client = client.get();
    if (!reused) client->Connect();
    try {
      transfer(*client);
    } catch (const FtpFailure& failure) {
      client->Disconnect();
      const bool stale = failure.kind() == FailureKind::ConnectionLost || failure.kind() == FailureKind::NotConnected;
      if (reused && stale && m_bytes == 0) {
        client.reset();
        continue;
      }
      throw;
    }
    break;
  }
  if (m_keepConnection) {
    m_kept = std::move(client);
    m_keptLogin = login;
  } else {
    client->Disconnect();
  }
  return m_bytes;
}

qint64 QuickFtp::QuickReceiveFile(const QString& host, int port, const QString& user, const QString& password,
                                  const QString& remoteFile, const QString& localFile, bool ascii) {
  return session(host, port, user, password, ascii,
                 [&](FtpClient& c) { c.ReceiveFile(remotePath(remoteFile), 0, localFile); });
}

qint64 QuickFtp::QuickReceiveFiles(const QString& host, int port, const QString& user, const QString& password,
                                   const QString& remoteMask, bool includeSubfolders, const QString& localFolder,
                                   bool ascii) {
  return session(host, port, user, password, ascii,
                 [&](FtpClient& c) { c.ReceiveMatchingFiles(remotePath(remoteMask), localFolder, includeSubfolders); });
}

qint64 QuickFtp::QuickSendFile(const QString& host, int port, const QString& user, const QString& password,
                               const QString& localFile, const QString& remoteFile, bool ascii) {
  return session(host, port, user, password, ascii,
                 [&](FtpClient& c) { c.SendFile(localFile, 0, remotePath(remoteFile), false); });
}

qint64 QuickFtp::QuickSendFiles(const QString& host, int port, const QString& user, const QString& password,
                                const QString& localMask, bool includeSubfolders, const QString& remoteFolder,
                                bool ascii) {
  return session(host, port, user, password, ascii, [&](FtpClient& c) {
    c.SendMatchingFiles(localMask, remotePath(remoteFolder), true, includeSubfolders);
  });
}

qint64 QuickFtp::QuickTransferFiles(const QString& host, int port, const QString& user, const QString& password,
                                    bool ascii, const std::function<std::optional<FileTransfer>()>& next,
                                    const std::function<void(const FileTransfer&, qint64)>& finished) {
  // The file handed out but not yet moved, kept across a retry on a new connection.
  std::optional<FileTransfer> pending;
  qint64 moved = 0;
  session(host, port, user, password, ascii, [&](FtpClient& c) {
    c.TransferFiles(
        [&]() -> std::optional<FileTransfer> {
          if (!pending) {
            pending = next();
            if (pending) pending->remote = remotePath(pending->remote);
          }
          return pending;
        },
        [&](const FileTransfer& file, qint64 bytes) {
          pending.reset();
          moved += bytes;
          finished(file, bytes);
        });
  });
  m_bytes = moved;
  return moved;
}

} // namespace tidewick::ftp
