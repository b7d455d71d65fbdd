#pragma once

#include "ftp/session/LogFile.h"
#include "ftp/session/RemoteSession.h"
#include "ftp/session/Session.h"
#include "ftp/sftp/SftpWire.h"
#include "ftp/sftp/SshConnection.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

namespace tidewick::ftp::sftp {

// One SFTP conversation over SSH, offering what the FTP session offers. SFTP has no current
// folder of its own, so the session keeps one and sends absolute paths; folder changes are
// checked with the server (REALPATH, STAT) before they count.
//
// Reads and writes of file contents are pipelined: many requests travel before the first answer
// comes back, which is what makes SFTP fast on any link with a round trip. Everything else is one
// request and its reply. Replies carry ids, so an answer to a request given up on (after an abort)
// is recognised and dropped whenever it arrives.
class SftpSession final : public RemoteSession {
public:
  SftpSession(SessionEvents& events, SshPrompts& prompts);
  ~SftpSession() override;

  void applySettings(const SessionSettings& settings) override;
  void beginOperation() override;
  void connect() override;
  void disconnect() override;
  bool isConnected() const override { return m_connected; }
  QString encryption() const override { return m_connected ? m_ssh.encryption() : QString(); }
  QString currentFolder() override;
  void changeFolder(const QString& path) override;
  void changeToParent() override;
  void makeFolder(const QString& name) override;
  void removeFolder(const QString& name) override;
  void deleteFile(const QString& name) override;
  void rename(const QString& from, const QString& to) override;
  // SFTP carries no FTP commands: refused, nothing is sent.
  QString sendRaw(const QString& line, const QString& localPath = {}) override;
  void list(const QString& pattern, bool report, std::vector<FolderItem>* out) override;
  void receiveFile(const QString& remote, qint64 startOffset, const QString& local) override;
  void sendFile(const QString& local, qint64 startOffset, const QString& remote, bool resume) override;
  void receiveMatching(const QString& remoteMask, const QString& localFolder, bool recursive) override;
  void sendMatching(const QString& localMask, const QString& remoteFolder, bool createFolder, bool recursive) override;
  void setPermissions(const QString& name, int mode) override;
  void requestAbort() override;
  int controlHandle() const override;
  void checkIdle() override;
  void shutdown(net::Millis wait) override;

private:
  void log(const QString& line);
  void requireConnected() const;
  // Runs an operation; an abort ends it as "aborted", a broken or confused connection is closed.
  void guarded(const std::function<void()>& fn);
  void dropConnection(const QString& why = {});

  // requests
  std::uint32_t send(Request&& request);
  Reply await(std::uint32_t id);
  Reply call(Request&& request) { return await(send(std::move(request))); }
  Request request(Packet type) { return Request(type, m_nextId++); }
  // Throws CommandRefused with the server's reason when `reply` is not an OK status.
  void expectOk(const Reply& reply, const QString& what);
  [[noreturn]] void refused(const QString& what, const Reply& reply);
  QString resolve(const QString& name) const;
  std::string wire(const QString& path) const;
  QString realPath(const QString& path);
  // The attributes of `path` (of the link itself with `lstat`); nothing when it does not exist.
  std::optional<Attributes> attributesOf(const QString& path, bool lstat = false);
  bool isFolder(const QString& path);
  std::string openHandle(const QString& path, std::uint32_t flags, const QString& what);
  void closeHandle(const std::string& handle, const QString& what);
  // Sends CLOSE without waiting: for a transfer that is being given up.
  void closeQuietly(const std::string& handle);
  void readFolder(const QString& path, const std::function<void(NameEntry&&)>& entry);
  FolderItem itemOf(const NameEntry& entry);

  // transfers (SftpTransfer.cpp)
  void receiveImpl(const QString& remote, qint64 startOffset, const QString& local, const Attributes* known);
  void sendImpl(const QString& local, qint64 startOffset, const QString& remote, bool resume);
  void reportProgress(qint64 fileBytes, qint64 fileSize);

  // folder walks (SftpTree.cpp)
  void receiveTree(const QString& here, const QString& pattern, const QString& localFolder, bool recursive,
                   QStringList& trail);
  void sendTree(const QString& localFolder, const QString& here, const QString& pattern, bool recursive,
                QStringList& trail);
  void makeRemotePath(const QString& path);

  SessionEvents& m_events;
  SessionSettings m_settings;
  LogFile m_logFile;
  std::atomic<bool> m_abort{false};
  SshConnection m_ssh;
  bool m_connected = false;
  std::uint32_t m_nextId = 1;
  QString m_folder; // the current folder, absolute
  qint64 m_operationTotal = 0;
};

} // namespace tidewick::ftp::sftp
