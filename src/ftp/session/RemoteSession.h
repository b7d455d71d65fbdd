#pragma once

#include "ftp/FtpTypes.h"
#include "ftp/net/Stream.h"

#include <QString>

#include <vector>

namespace tidewick::ftp {

struct SessionSettings;

// The operations the worker runs, whichever protocol speaks them: FTP (Session) and SFTP
// (sftp::SftpSession). The facade, the transfer controller, sync and the queue only ever see these,
// so they cannot tell which protocol runs. Everything except requestAbort() belongs to the worker
// thread; every operation returns having done its work or throws FtpError.
class RemoteSession {
public:
  virtual ~RemoteSession() = default;

  virtual void applySettings(const SessionSettings& settings) = 0;
  virtual void beginOperation() = 0;

  virtual void connect() = 0;
  virtual void disconnect() = 0;
  virtual bool isConnected() const = 0;

  virtual QString currentFolder() = 0;
  virtual void changeFolder(const QString& path) = 0;
  virtual void changeToParent() = 0;
  virtual void makeFolder(const QString& name) = 0;
  virtual void removeFolder(const QString& name) = 0;
  virtual void deleteFile(const QString& name) = 0;
  virtual void rename(const QString& from, const QString& to) = 0;
  virtual QString sendRaw(const QString& line, const QString& localPath = {}) = 0;
  virtual void list(const QString& pattern, bool report, std::vector<FolderItem>* out) = 0;
  virtual void receiveFile(const QString& remote, qint64 startOffset, const QString& local) = 0;
  virtual void sendFile(const QString& local, qint64 startOffset, const QString& remote, bool resume) = 0;
  virtual void receiveMatching(const QString& remoteMask, const QString& localFolder, bool recursive) = 0;
  virtual void sendMatching(const QString& localMask, const QString& remoteFolder, bool createFolder,
                            bool recursive) = 0;
  // Sets a remote item's permission bits (0755). Only protocols with an attribute call of their
  // own offer it; FTP servers are asked with a raw SITE command instead.
  virtual void setPermissions(const QString& name, int mode);

  virtual void requestAbort() = 0;
  virtual int controlHandle() const = 0;
  // Whether the control connection holds something already that its socket no longer shows (TLS
  // keeps what it decrypted), so waiting on controlHandle() would not see it.
  virtual bool controlHasBuffered() const { return false; }
  // How the connection is encrypted, as the status bar and the log say it ("TLSv1.3,
  // TLS_AES_256_GCM_SHA384"); empty when it is not, or when not connected.
  virtual QString encryption() const { return {}; }
  virtual void checkIdle() = 0;
  virtual void shutdown(net::Millis wait) = 0;
};

} // namespace tidewick::ftp
