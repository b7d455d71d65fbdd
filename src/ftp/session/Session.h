#pragma once

#include "ftp/FtpTypes.h"
#include "ftp/net/Connector.h"
#include "ftp/net/Stream.h"
#include "ftp/proto/Parse.h"
#include "ftp/proto/Reply.h"
#include "ftp/session/FtpError.h"
#include "ftp/session/LogFile.h"
#include "ftp/session/RemoteSession.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <vector>

class QFile;

namespace tidewick::ftp {

class ListingBudget;

struct SessionSettings {
  QString host;
  int port = 21;
  QString user;
  QString password;
  bool passive = true;
  Security security = Security::Plain;
  net::ProxySettings proxy;
  bool ascii = false;
  net::Millis connectTimeout{30000};
  net::Millis idleTimeout{30000};
  QString logFile;
  ListingLimit listingLimit = defaultListingLimit;
  // Downloaded files get the server's modification time, uploaded ones the local one (where the
  // server can set it).
  bool keepDates = true;
  // Which protocol the worker speaks for these settings (FTP unless set).
  Protocol protocol = Protocol::Ftp;
};

// What a session reports while it works. Called on the worker thread, in order.
class SessionEvents {
public:
  virtual ~SessionEvents() = default;
  virtual void logLine(const QString& line) = 0;
  virtual void listingItem(const FolderItem& item) = 0;
  virtual void progress(qint64 fileBytes, int percent, qint64 total) = 0;
  virtual void receivingFile(const QString& name) = 0;
  virtual void sendingFile(const QString& name) = 0;
  virtual void fileSkipped(const QString& remoteName, const QString& localName, SkipReason reason) = 0;
  // The user's answer; nothing when the operation was aborted while asking.
  virtual std::optional<QString> askAccount() = 0;
  virtual std::optional<QString> askPassword() = 0;
  // Whether to go on with a server whose certificate is not trusted; nothing when aborted.
  virtual std::optional<bool> trustCertificate(const CertificateInfo& certificate) = 0;
  virtual void disconnected() = 0;
};

// One FTP conversation: a control connection and the data connections it opens, spoken in plain
// blocking, top-down code on the worker thread. Every public operation either returns having done
// its work or throws FtpError; after a failure isConnected() tells whether the control connection
// survived. requestAbort() is the one call meant for other threads.
class Session final : public RemoteSession {
public:
  // The size of the buffer transfers and listings share; no user takes more.
  static constexpr std::size_t bufferCapacity = 1024 * 1024;

  explicit Session(SessionEvents& events);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Takes the caller's current settings at the start of each operation. Host, user and proxy
  // only matter to connect(); mode, timeouts and the log file apply at once.
  void applySettings(const SessionSettings& settings);
  // Starts a new operation: forgets an abort meant for an earlier one.
  void beginOperation();

  void connect();
  void disconnect();
  bool isConnected() const { return m_loggedIn; }
  // How the control connection is encrypted ("TLSv1.3, TLS_AES_256_GCM_SHA384"); empty when it is
  // not, or when not connected.
  QString encryption() const;

  QString currentFolder();
  void changeFolder(const QString& path);
  void changeToParent();
  void makeFolder(const QString& name);
  void removeFolder(const QString& name);
  void deleteFile(const QString& name);
  void rename(const QString& from, const QString& to);
  // Sends a raw line; the server's refusal is an answer, not a failure. Returns the reply text.
  // RETR and STOR get a data connection and move one file, received into or sent from
  // `localPath`, exactly as receiveFile() and sendFile() from offset 0 do (they fail as those do);
  // without a local path they are refused.
  QString sendRaw(const QString& line, const QString& localPath = {});

  // Lists the current folder. `report` raises listingItem per item; `out` collects them.
  void list(const QString& pattern, bool report, std::vector<FolderItem>* out);

  void receiveFile(const QString& remote, qint64 startOffset, const QString& local);
  void sendFile(const QString& local, qint64 startOffset, const QString& remote, bool resume);
  void receiveMatching(const QString& remoteMask, const QString& localFolder, bool recursive);
  void sendMatching(const QString& localMask, const QString& remoteFolder, bool createFolder, bool recursive);

  // Any thread: stops the running operation as soon as possible. Data connections are closed;
  // the control connection is kept and brought back in step with ABOR.
  void requestAbort();

  // Idle handling on the worker thread: the socket to watch while nothing runs (-1 when not
  // connected), whether something has come already that the socket no longer shows (TLS holds it
  // decrypted), and what to do when it turns readable (a server closing or talking out of turn).
  int controlHandle() const;
  bool controlHasBuffered() const;
  void checkIdle();
  // Quits politely within `wait`, then closes.
  void shutdown(net::Millis wait);

private:
  // What a folder listing told about a file, so its transfer need not ask again.
  struct ListedFile {
    qint64 size = -1; // -1: unknown
    QDateTime modified;
    DatePrecision precision = DatePrecision::Unknown;
    bool exactDate = false; // UTC to the second: from MLSD, or asked already with MDTM
  };

  // A folder on the way down a remote walk: where the server says it is, and its identity when
  // the server gives one. A folder met again on its own way down is a link loop.
  struct FolderVisit {
    QString path;
    QString unique;
  };

  // One data transfer: owns the active-mode listener (registered for requestAbort while alive).
  struct Transfer {
    explicit Transfer(Session& session) : session(session) {}
    ~Transfer();
    Session& session;
    std::unique_ptr<net::TcpListener> listener;
    bool finished = false; // the server answered with a final reply and sent no data
  };

  // control connection
  void log(const QString& line);
  void openControl();
  // AUTH TLS where the settings ask for it (before the login), and PBSZ and PROT (after it).
  void negotiateTls();
  void protectDataConnections();
  // Puts TLS over `connection` (m_control or m_data) and shakes hands. `what` begins the message
  // of a failure ("TLS with ftp.example.org"). Returns the TLS layer, which `connection` now holds.
  net::TlsStream* startTls(std::unique_ptr<net::Stream>& connection, net::TlsOptions options, const QString& what);
  // Puts TLS over the control connection and decides whether its certificate is trusted.
  void secureControl();
  // Puts TLS over the data connection just opened, resuming the control connection's session.
  void secureData();
  void closeControl();
  void login();
  void sendCommand(const std::string& wire);
  void writeControl(const std::string& bytes);
  // Sends the commands in one write and reads their replies in order.
  std::vector<proto::Reply> commandBatch(const std::vector<std::string>& wires);
  proto::Reply readReply();
  proto::Reply command(const std::string& verb, const QString& argument = {});
  proto::Reply commandRaw(const std::string& verb, const std::string& argument);
  void drainStaleReplies();
  void dropConnection(const QString& why = {});
  void requireConnected() const;
  // A command on one name (or none) that either succeeds or fails with the server's reply.
  void folderCommand(const char* verb, const QString* name);
  [[noreturn]] void refused(const std::string& what, const proto::Reply& reply,
                            FailureKind kind = FailureKind::CommandRefused);
  void ensureType(bool ascii);
  QString workingFolder(); // PWD
  // Whether the new name of a rename is taken already, as far as MLST or SIZE can tell.
  bool renameTargetExists(const QString& from, const QString& to);

  // Runs one step of an operation and turns whatever it throws into FtpError: an abort first
  // brings the control connection back in step, garbage from the server closes it.
  void runGuarded(const std::function<void()>& fn);
  template <typename Fn>
  auto guarded(Fn&& fn) -> decltype(fn()) {
    using Result = decltype(fn());
    if constexpr (std::is_void_v<Result>) {
      runGuarded(fn);
    } else {
      std::optional<Result> out;
      runGuarded([&] { out.emplace(fn()); });
      return std::move(*out);
    }
  }
  // Brings the control connection back in step after an interruption (ABOR, then NOOP as a
  // marker); closes it when the server does not answer within `wait`.
  void resync(net::Millis wait = net::Millis(3000));

  // data connections
  std::string dataHost() const;
  void openPassive();
  void openActive(std::unique_ptr<net::TcpListener>& listener);
  std::unique_ptr<net::Stream> connectStream(const std::string& host, std::uint16_t port);
  // Opens the data connection and sends the command. Returns the server's first reply: a 1xx
  // with the data connection open, a 2xx with transfer.finished set, or a refusal (data closed).
  proto::Reply startTransfer(const std::string& verb, const std::string& argument, Transfer& transfer);
  void finishTransfer(Transfer& transfer, const std::string& what);
  void closeData();

  // transfers
  // `commandLine`, when given, is sent as it is in place of "RETR <remote>" / "STOR <remote>".
  void receiveFileImpl(const QString& remote, qint64 startOffset, const QString& local, const ListedFile& listed,
                       const std::string& commandLine = {});
  void sendFileImpl(const QString& local, qint64 startOffset, const QString& remote, bool resume,
                    const std::string& commandLine = {});
  // The server's modification time of a downloaded file, by what the listing said or by MDTM.
  QDateTime remoteModified(const std::string& remoteWire, const ListedFile& listed);
  // The servers' times (MDTM) of the named files in the current folder, asked many at a time;
  // names whose time the server does not tell are left out.
  std::map<QString, QDateTime> modifiedTimes(const std::vector<QString>& names);
  void keepLocalDate(QFile& file, const QString& local, const std::string& remoteWire, const ListedFile& listed);
  void keepRemoteDate(const QString& local, const std::string& remoteWire);
  // Returns true when the listing came by MLSD.
  bool listImpl(const QString& pattern, const std::function<void(FolderItem&&)>& sink);
  std::vector<FolderItem> listAll(bool* byMlsd = nullptr);
  QString rawListing(const std::string& verb, const std::string& argument);
  // Reads the open data connection line by line into `line`; a broken connection fails the
  // listing, and so does one that brings more than the budget allows.
  void readListingLines(ListingBudget& budget, const std::function<void(std::string_view)>& line);
  void receiveTree(const QString& pattern, const QString& localFolder, bool recursive, std::vector<FolderVisit>& trail);
  void sendTree(const QString& localFolder, const QString& pattern, bool recursive, QStringList& trail);
  // The identity (MLST "unique") of the current folder; empty when the server gives none.
  QString currentUnique();
  void reportLinkLoop(const QString& link, const QString& into, const QString& remote, const QString& local);
  void reportProgress(qint64 fileBytes, qint64 fileSize);
  bool changeFolderQuietly(const QString& path);
  void makeRemotePath(const QString& path);
  void restoreFolder(const QString& path);

  SessionEvents& m_events;
  SessionSettings m_settings;
  LogFile m_logFile;

  mutable std::mutex m_streamMutex; // guards the pointers below against requestAbort()
  std::unique_ptr<net::Stream> m_control;
  std::unique_ptr<net::Stream> m_data;
  net::TlsStream* m_controlTls = nullptr; // m_control's TLS layer, when it has one
  net::TcpListener* m_listener = nullptr;
  std::atomic<bool> m_abort{false};

  net::Connector m_connector;
  bool m_protectData = false;                         // PROT P is in force: data connections use TLS
  std::shared_ptr<net::TlsSessionPool> m_tlsSessions; // for the data connections to resume
  std::string m_trustedCertificate;                   // SHA-256 of the certificate the control connection accepted
  QString m_encryption;                               // see encryption()

  proto::ReplyReader m_reader;
  proto::Features m_features;
  bool m_loggedIn = false;
  bool m_epsvRefused = false;
  bool m_eprtRefused = false;
  bool m_mlsdRefused = false;
  bool m_listAllRefused = false; // the server takes no options after LIST ("LIST -a")
  bool m_proxyActiveNoted = false;
  // The one buffer of transfers and listings, allocated on first use.
  char* buffer();
  std::unique_ptr<char[]> m_buffer;
  char m_type = 0;            // 'A', 'I' or 0 when unknown
  bool m_restPending = false; // a raw REST may still be in force
  std::string m_peerAddress;  // numeric address of the server on the control connection
  bool m_peerV6 = false;

  // progress of the current operation
  qint64 m_operationTotal = 0;
};

} // namespace tidewick::ftp
