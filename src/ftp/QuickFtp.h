#pragma once

#include "ftp/FtpFailure.h"
#include "ftp/FtpTypes.h"
#include "ftp/SshTypes.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tidewick::ftp {

class FtpClient;

// One-call transfers for the queue, the update check and the headless runner: each call connects,
// transfers and disconnects, and throws FtpFailure when anything fails (the connection is closed
// first). Each returns the bytes it moved (also kept in BytesTransferred()).
//
// Remote paths are joined with "/"; a backslash in a remote path or mask (as queue files written by
// older versions hold) is read as "/". The boolean after a mask includes subfolders.
//
// With KeepConnection on, a call that succeeded leaves its connection open, and the next call to
// the same server, port, user and password with the same connection settings goes on with it
// instead of logging in again; CloseConnection() (or turning it off, or the destructor) ends it.
// A call that fails still closes its connection. The results are those of separate connections:
// every call names absolute paths or paths from the login folder, and folder transfers return to
// the folder they started in.
class QuickFtp : public QObject {
  Q_OBJECT

public:
  explicit QuickFtp(QObject* parent = nullptr);
  ~QuickFtp() override;

  qint64 QuickReceiveFile(const QString& host, int port, const QString& user, const QString& password,
                          const QString& remoteFile, const QString& localFile, bool ascii);
  qint64 QuickReceiveFiles(const QString& host, int port, const QString& user, const QString& password,
                           const QString& remoteMask, bool includeSubfolders, const QString& localFolder, bool ascii);
  qint64 QuickSendFile(const QString& host, int port, const QString& user, const QString& password,
                       const QString& localFile, const QString& remoteFile, bool ascii);
  qint64 QuickSendFiles(const QString& host, int port, const QString& user, const QString& password,
                        const QString& localMask, bool includeSubfolders, const QString& remoteFolder, bool ascii);

  // Many single files to or from one server: each as QuickReceiveFile or QuickSendFile would move
  // it, one after the other on one connection and without coming back here between them (see
  // FtpClient::TransferFiles; `next` and `finished` are called on the engine's thread). Stops at
  // the first failure and throws it, the files before it having been reported to `finished`. A
  // kept connection found closed before anything moved is replaced and the file tried again, so a
  // file `next` gave is never lost. Paths are joined and read as in the other calls.
  qint64 QuickTransferFiles(const QString& host, int port, const QString& user, const QString& password, bool ascii,
                            const std::function<std::optional<FileTransfer>()>& next,
                            const std::function<void(const FileTransfer& file, qint64 bytes)>& finished);

  qint64 BytesTransferred() const { return m_bytes; }

  // Connection settings used by every call (defaults: passive, no proxy, 30 s timeouts).
  bool PassiveMode() const { return m_passive; }
  void setPassiveMode(bool passive) { m_passive = passive; }
  int ProxyType() const { return m_proxyType; }
  void setProxyType(int type) { m_proxyType = type; }
  QString ProxyAddress() const { return m_proxyHost; }
  void setProxyAddress(const QString& host) { m_proxyHost = host; }
  int ProxyPort() const { return m_proxyPort; }
  void setProxyPort(int port) { m_proxyPort = port; }
  QString ProxyUserName() const { return m_proxyUser; }
  void setProxyUserName(const QString& user) { m_proxyUser = user; }
  QString ProxyPassword() const { return m_proxyPassword; }
  void setProxyPassword(const QString& password) { m_proxyPassword = password; }
  QString LogFile() const { return m_logFile; }
  void setLogFile(const QString& path) { m_logFile = path; }
  int ConnectTimeout() const { return m_connectTimeoutMs; }
  void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
  int IdleTimeout() const { return m_idleTimeoutMs; }
  void setIdleTimeout(int ms) { m_idleTimeoutMs = ms; }
  // As FtpClient::KeepFileDates (on by default).
  bool KeepFileDates() const { return m_keepDates; }
  void setKeepFileDates(bool keep) { m_keepDates = keep; }
  // What each call speaks, as FtpClient::Protocol (FTP unless set).
  int Protocol() const { return m_protocol; }
  void setProtocol(int protocol) { m_protocol = protocol; }
  // How each call protects its connection, as FtpClient::Security (Plain unless set).
  int Security() const { return m_security; }
  void setSecurity(int security) { m_security = security; }
  // Stops the running call (it then fails with FailureKind::Aborted).
  void setAbort(bool abort);

  bool KeepConnection() const { return m_keepConnection; }
  void setKeepConnection(bool keep);
  // Quits and closes the connection kept from the last call, if any.
  void CloseConnection();

Q_SIGNALS:
  void LogMessage(const QString& line);
  void TransferProgress(qint64 fileBytes, int percent, qint64 totalBytes);
  void ReceivingFile(const QString& name);
  void SendingFile(const QString& name);
  void FileSkipped(const QString& remoteName, const QString& localName, int reason);
  // As FtpClient's; nobody answering fails the call with a message saying why.
  void HostKeyUnknown(const tidewick::ftp::HostKeyInfo& key, int& answer);
  void SecretRequired(const tidewick::ftp::SecretRequest& request, QString& answer, bool& given);
  // As FtpClient::CertificateNotTrusted; nobody answering means the call fails.
  void CertificateNotTrusted(const tidewick::ftp::CertificateInfo& certificate, bool& trust);

private:
  // What a connection was made with; a kept connection serves only a call with the same.
  struct Login {
    QString host, user, password, proxyHost, proxyUser, proxyPassword;
    int port = 0, proxyType = 0, proxyPort = 0;
    bool passive = true;
    int protocol = 0; // a kept connection serves only calls of the protocol it speaks
    int security = 0; // and of the protection it has
    bool operator==(const Login&) const = default;
  };

  template <typename Fn>
  qint64 session(const QString& host, int port, const QString& user, const QString& password, bool ascii,
                 Fn&& transfer);
  std::unique_ptr<FtpClient> newClient(const Login& login);

  bool m_passive = true;
  int m_proxyType = static_cast<int>(ProxyKind::None);
  QString m_proxyHost;
  int m_proxyPort = 1080;
  QString m_proxyUser;
  QString m_proxyPassword;
  QString m_logFile;
  int m_connectTimeoutMs = 30000;
  int m_idleTimeoutMs = 30000;
  bool m_keepDates = true;
  int m_protocol = 0; // tidewick::ftp::Protocol::Ftp
  int m_security = 0; // tidewick::ftp::Security::Plain
  qint64 m_bytes = 0;
  FtpClient* m_client = nullptr; // the connection of the running call
  bool m_keepConnection = false;
  std::unique_ptr<FtpClient> m_kept; // idle, logged in as m_keptLogin
  Login m_keptLogin;
};

} // namespace tidewick::ftp
