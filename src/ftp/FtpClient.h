#pragma once

#include "ftp/FtpFailure.h"
#include "ftp/FtpTypes.h"
#include "ftp/SshTypes.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace tidewick::ftp {

class Worker;
struct WorkerEvent;
struct JobResult;
struct SessionSettings;
class RemoteSession;

// The FTP component of the main window (its `xFtp`). Its properties, methods and events keep the
// names the component contract gives them (ServerAddress, CurrentState, ListFolderContents, ...).
//
// Every method runs its work on a worker thread and waits for it in a nested event loop, so the
// window keeps painting, Abort can be pressed, and the events below arrive on this (the UI)
// thread while the call runs, all of them before it returns. A failure comes back as FtpFailure
// thrown from the method. Only one operation runs at a time; a call made while another runs
// fails with FailureKind::Busy (Disconnect instead aborts the running one and waits for it).
class FtpClient : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString ServerAddress READ ServerAddress WRITE setServerAddress)
  Q_PROPERTY(int ServerPort READ ServerPort WRITE setServerPort)
  Q_PROPERTY(QString UserName READ UserName WRITE setUserName)
  Q_PROPERTY(QString Password READ Password WRITE setPassword)
  Q_PROPERTY(bool PassiveMode READ PassiveMode WRITE setPassiveMode)
  Q_PROPERTY(int ProxyType READ ProxyType WRITE setProxyType)
  Q_PROPERTY(QString ProxyAddress READ ProxyAddress WRITE setProxyAddress)
  Q_PROPERTY(int ProxyPort READ ProxyPort WRITE setProxyPort)
  Q_PROPERTY(QString ProxyUserName READ ProxyUserName WRITE setProxyUserName)
  Q_PROPERTY(QString ProxyPassword READ ProxyPassword WRITE setProxyPassword)
  Q_PROPERTY(int CurrentState READ CurrentState)
  Q_PROPERTY(bool Abort READ Abort WRITE setAbort)
  Q_PROPERTY(int TransferMode READ TransferMode WRITE setTransferMode)
  Q_PROPERTY(QString LogFile READ LogFile WRITE setLogFile)
  Q_PROPERTY(int ListingOption READ ListingOption WRITE setListingOption)
  Q_PROPERTY(int ConnectTimeout READ ConnectTimeout WRITE setConnectTimeout)
  Q_PROPERTY(int IdleTimeout READ IdleTimeout WRITE setIdleTimeout)
  Q_PROPERTY(bool KeepFileDates READ KeepFileDates WRITE setKeepFileDates)
  Q_PROPERTY(int Protocol READ Protocol WRITE setProtocol)
  Q_PROPERTY(int Security READ Security WRITE setSecurity)
  Q_PROPERTY(QString Encryption READ Encryption)

public:
  using FolderItem = tidewick::ftp::FolderItem;

  explicit FtpClient(QObject* parent = nullptr);
  ~FtpClient() override;

  // ---- properties
  QString ServerAddress() const { return m_host; }
  void setServerAddress(const QString& host) { m_host = host; }
  int ServerPort() const { return m_port; }
  // A port above 32767 that went through a signed 16-bit number arrives negative; it is read
  // back as the unsigned port it was.
  void setServerPort(int port) { m_port = unsigned16(port); }
  QString UserName() const { return m_user; }
  void setUserName(const QString& user) { m_user = user; }
  QString Password() const { return m_password; }
  void setPassword(const QString& password) { m_password = password; }
  bool PassiveMode() const { return m_passive; }
  void setPassiveMode(bool passive) { m_passive = passive; }
  int ProxyType() const { return m_proxyType; } // a ProxyKind
  void setProxyType(int type) { m_proxyType = type; }
  QString ProxyAddress() const { return m_proxyHost; }
  void setProxyAddress(const QString& host) { m_proxyHost = host; }
  int ProxyPort() const { return m_proxyPort; }
  void setProxyPort(int port) { m_proxyPort = unsigned16(port); }
  QString ProxyUserName() const { return m_proxyUser; }
  void setProxyUserName(const QString& user) { m_proxyUser = user; }
  QString ProxyPassword() const { return m_proxyPassword; }
  void setProxyPassword(const QString& password) { m_proxyPassword = password; }
  // 0 not connected, 2 connected and idle, anything else busy: a ClientState as a number.
  int CurrentState() const { return static_cast<int>(m_state); }
  ClientState state() const { return m_state; }
  // True while an abort of the running operation is on its way.
  bool Abort() const { return m_abortRequested; }
  // true: stop the running operation (it fails with FailureKind::Aborted); nothing when idle.
  void setAbort(bool abort);
  int TransferMode() const { return m_transferMode; } // a TransferType
  void setTransferMode(int mode) { m_transferMode = mode; }
  void setTransferMode(TransferType type) { m_transferMode = static_cast<int>(type); }
  QString LogFile() const { return m_logFile; }
  void setLogFile(const QString& path) { m_logFile = path; }
  // Kept for the callers that set it before each listing; every value lists in the normal form.
  static constexpr int kNormalListing = 1;
  int ListingOption() const { return m_listingOption; }
  void setListingOption(int option) { m_listingOption = option; }
  // Milliseconds allowed for connecting, and for a server (or a data connection) to say anything.
  int ConnectTimeout() const { return m_connectTimeoutMs; }
  void setConnectTimeout(int ms) { m_connectTimeoutMs = ms; }
  int IdleTimeout() const { return m_idleTimeoutMs; }
  void setIdleTimeout(int ms) { m_idleTimeoutMs = ms; }
  // The most one listing may bring (tidewick::ftp::defaultListingLimit unless set).
  void setListingLimit(const tidewick::ftp::ListingLimit& limit) { m_listingLimit = limit; }
  // true (the default): a downloaded file gets the server's modification time, and an uploaded
  // one keeps its local time where the server can set it (MFMT).
  bool KeepFileDates() const { return m_keepDates; }
  void setKeepFileDates(bool keep) { m_keepDates = keep; }
  // What the next Connect speaks: a tidewick::ftp::Protocol as a number (FTP unless set). Any
  // other number counts as FTP.
  int Protocol() const { return m_protocol; }
  void setProtocol(int protocol) { m_protocol = protocol; }
  void setProtocol(tidewick::ftp::Protocol protocol) { m_protocol = static_cast<int>(protocol); }
  bool isSftp() const { return m_protocol == static_cast<int>(tidewick::ftp::Protocol::Sftp); }
  // How the next Connect protects the connection: a tidewick::ftp::Security as a number (Plain,
  // unless set). An unknown number counts as TLS required.
  int Security() const { return m_security; }
  void setSecurity(int security) { m_security = security; }
  void setSecurity(tidewick::ftp::Security security) { m_security = static_cast<int>(security); }
  // While connected over TLS, its version and cipher ("TLSv1.3, TLS_AES_256_GCM_SHA384"); empty
  // otherwise.
  QString Encryption() const { return m_encryption; }

  // ---- methods
  void Connect();
  // Quits and closes; when an operation runs, it is aborted first. Never fails.
  void Disconnect();
  QString GetCurrentFolder();
  void ChangeCurrentFolder(const QString& folder);
  void ChangeToParentFolder();
  // Raises ListingFolderItem for every item whose name matches the pattern (all when empty).
  void ListFolderContents(const QString& pattern = QString());
  std::vector<FolderItem> GetFolderContents(const QString& pattern = QString(), int option = 0);
  void CreateFolder(const QString& name);
  void RemoveFolder(const QString& name);
  void DeleteFile(const QString& name);
  // Fails with FailureKind::TargetExists when the new name exists already.
  void RenameFile(const QString& from, const QString& to);
  // sendFlag false replaces the remote file from its beginning; true resumes at startOffset.
  void SendFile(const QString& localPath, qint64 startOffset, const QString& remoteName, bool sendFlag);
  // startOffset 0 replaces the local file; more keeps that many bytes of it and resumes there.
  void ReceiveFile(const QString& remoteName, qint64 startOffset, const QString& localPath);
  // Sends the local files matching the mask ("folder/*.txt") into remoteFolder (relative to the
  // current folder; created when missing and createFolder is true), with subfolders when asked.
  void SendMatchingFiles(const QString& localMask, const QString& remoteFolder, bool createFolder = true,
                         bool includeSubfolders = false);
  // Receives the remote files matching the mask ("folder/*") into localFolder (created when
  // missing), with subfolders when asked.
  void ReceiveMatchingFiles(const QString& remoteMask, const QString& localFolder, bool includeSubfolders = false);
  // Moves files one after the other as one operation: the worker asks `next` for each file and
  // goes straight on to it, without waiting for this thread in between, until `next` has none
  // left. Many small files then cost what their transfers cost, not a round of thread hand-offs
  // each. `next` and `finished` (the file just moved and its bytes) are called on the worker
  // thread. The first failure ends the operation and is thrown here, as from ReceiveFile or
  // SendFile; the files before it were each reported to `finished`.
  void TransferFiles(const std::function<std::optional<FileTransfer>()>& next,
                     const std::function<void(const FileTransfer& file, qint64 bytes)>& finished);
  QString GetSkipReason(int reasonCode) const;
  // Sends one raw command line; a refusal by the server is logged, not raised. LIST, NLST and
  // MLSD get a data connection and their lines go to the log. Returns the server's reply.
  // RETR and STOR get a data connection too and move one file from offset 0, received into or
  // sent from localPath as ReceiveFile and SendFile do (and failing as they do, with nothing
  // returned); without a localPath they are refused.
  QString SendCommand(const QString& line, const QString& localPath = QString());
  // Sets the permission bits (0755) of a remote item with the protocol's own attribute call. SFTP
  // only: FTP servers are asked with "SITE CHMOD" through SendCommand, and refuse here.
  void SetPermissions(const QString& name, int mode);

Q_SIGNALS:
  void LogMessage(const QString& line);
  void Disconnected();
  // Emitted on the UI thread while the call waits: connect directly and fill in the answer.
  // An empty answer gives up the login.
  void AccountRequired(QString& account);
  void PasswordRequired(QString& password);
  // SFTP: the server's host key is not in ~/.ssh/known_hosts. Set `answer` to a HostKeyAnswer;
  // it starts as Unanswered, which fails the connection as nobody being there to ask does.
  void HostKeyUnknown(const tidewick::ftp::HostKeyInfo& key, int& answer);
  // SFTP: a key's passphrase or a keyboard-interactive prompt. Set `given` with the answer;
  // leaving it false cancels (the key is not used, the prompt's login fails).
  void SecretRequired(const tidewick::ftp::SecretRequest& request, QString& answer, bool& given);
  // The server's certificate is not vouched for by the system's certificate authorities or does
  // not name the host: set `trust` to go on (it starts false, and nothing is sent until it is
  // answered). Emitted on the UI thread while Connect waits; connect directly.
  void CertificateNotTrusted(const tidewick::ftp::CertificateInfo& certificate, bool& trust);
  void ListingFolderItem(const QString& name, const QDateTime& date, qint64 size, int kind);
  // Bytes of the current file so far (from its start, resume offset included), its percentage,
  // and the bytes moved in the whole call.
  void TransferProgress(qint64 fileBytes, int percent, qint64 totalBytes);
  void ReceivingFile(const QString& name);
  void SendingFile(const QString& name);
  // The remote name for downloads, the local name for uploads; the other one is empty.
  void FileSkipped(const QString& remoteName, const QString& localName, int reason);

private:
  struct Wait;

  static int unsigned16(int port) { return port < 0 && port >= -32768 ? port + 65536 : port; }

  SessionSettings settings() const;
  void run(ClientState busy, std::function<void(RemoteSession&)> job);
  JobResult waitFor(quint64 job);
  void scheduleDrain();
  void drain();
  void deliver(WorkerEvent& event);
  void pollProgress(bool final = false);

  QString m_host;
  int m_port = 21;
  QString m_user;
  QString m_password;
  bool m_passive = true;
  int m_proxyType = static_cast<int>(ProxyKind::None);
  QString m_proxyHost;
  int m_proxyPort = 1080;
  QString m_proxyUser;
  QString m_proxyPassword;
  int m_transferMode = static_cast<int>(TransferType::Binary);
  QString m_logFile;
  int m_listingOption = kNormalListing;
  int m_connectTimeoutMs = 30000;
  int m_idleTimeoutMs = 30000;
  tidewick::ftp::ListingLimit m_listingLimit = tidewick::ftp::defaultListingLimit;
  bool m_keepDates = true;
  int m_protocol = static_cast<int>(tidewick::ftp::Protocol::Ftp);
  int m_security = static_cast<int>(tidewick::ftp::Security::Plain);
  QString m_encryption;

  ClientState m_state = ClientState::NotConnected;
  bool m_abortRequested = false;
  quint64 m_currentJob = 0;
  std::vector<std::shared_ptr<Wait>> m_waits;
  struct EventQueue;
  std::unique_ptr<EventQueue> m_pending; // taken from the worker, not yet delivered

  // While an operation runs, progress is looked at every 50 ms and sent on when it changed.
  QTimer* m_progressTimer = nullptr;
  quint64 m_progressSequence = 0;
  qint64 m_lastProgressMs = -1000;

  std::unique_ptr<Worker> m_worker; // last: its thread goes first
};

} // namespace tidewick::ftp
