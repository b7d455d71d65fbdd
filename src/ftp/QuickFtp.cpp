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

template <typename Fn>
qint64 QuickFtp::session(const QString& host, int port, const QString& user, const QString& password, bool ascii,
                         Fn&& transfer) {
  m_bytes = 0;
  auto client = std::make_unique<FtpClient>();
  client->setServerAddress(host);
  client->setServerPort(port);
  client->setUserName(user);
  client->setPassword(password);
  client->setPassiveMode(m_passive);
  client->setProxyType(m_proxyType);
  client->setProxyAddress(m_proxyHost);
  client->setProxyPort(m_proxyPort);
  client->setProxyUserName(m_proxyUser);
  client->setProxyPassword(m_proxyPassword);
  client->setLogFile(m_logFile);
  client->setConnectTimeout(m_connectTimeoutMs);
  client->setIdleTimeout(m_idleTimeoutMs);
  client->setKeepFileDates(m_keepDates);
  client->setProtocol(m_protocol);
  client->setTransferMode(ascii ? TransferType::Ascii : TransferType::Binary);
  connect(client.get(), &FtpClient::LogMessage, this, &QuickFtp::LogMessage);
  connect(client.get(), &FtpClient::ReceivingFile, this, &QuickFtp::ReceivingFile);
  connect(client.get(), &FtpClient::SendingFile, this, &QuickFtp::SendingFile);
  connect(client.get(), &FtpClient::FileSkipped, this, &QuickFtp::FileSkipped);
  connect(client.get(), &FtpClient::HostKeyUnknown, this, &QuickFtp::HostKeyUnknown, Qt::DirectConnection);
  connect(client.get(), &FtpClient::SecretRequired, this, &QuickFtp::SecretRequired, Qt::DirectConnection);
  connect(client.get(), &FtpClient::TransferProgress, this, [this](qint64 fileBytes, int percent, qint64 total) {
    m_bytes = total;
    Q_EMIT TransferProgress(fileBytes, percent, total);
  });

  struct Running {
    QuickFtp* self;
    ~Running() { self->m_client = nullptr; }
  } running{this};
  m_client = client.get();
  client->Connect();
  try {
    transfer(*client);
  } catch (const FtpFailure&) {
    client->Disconnect();
    throw;
  }
  client->Disconnect();
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

} // namespace tidewick::ftp
