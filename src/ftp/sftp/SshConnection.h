#pragma once

#include "ftp/SshTypes.h"
#include "ftp/net/Stream.h"
#include "ftp/sftp/SftpWire.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

struct ssh_session_struct;
struct ssh_channel_struct;

namespace tidewick::ftp {
struct SessionSettings;
} // namespace tidewick::ftp

namespace tidewick::ftp::sftp {

// What the SSH login asks the user. Called on the worker thread; nothing comes back when the
// operation was aborted while asking.
class SshPrompts {
public:
  virtual ~SshPrompts() = default;
  virtual std::optional<HostKeyAnswer> askHostKey(const HostKeyInfo& key) = 0;
  virtual std::optional<QString> askSecret(const SecretRequest& request) = 0;
};

// One SSH connection carrying the "sftp" subsystem: the TCP connection (through a SOCKS proxy when
// set), the host key check against ~/.ssh/known_hosts, the login, and the channel that SFTP
// packets travel on. libssh does the SSH protocol; it is not thread-safe, so everything here runs
// on the worker thread except interrupt().
//
// Waiting is done in slices of at most 100 ms so an abort is seen at once; a login or handshake
// that blocks inside libssh is ended by interrupt() shutting the socket.
class SshConnection {
public:
  using Log = std::function<void(const QString&)>;

  SshConnection(Log log, SshPrompts& prompts, const std::atomic<bool>& abort);
  ~SshConnection();
  SshConnection(const SshConnection&) = delete;
  SshConnection& operator=(const SshConnection&) = delete;

  // Connects, checks the host key, logs in and starts the subsystem. Throws FtpError.
  void open(const SessionSettings& settings);
  void close();
  bool isOpen() const { return m_channel != nullptr; }

  void write(const std::string& bytes);
  // Room in the server's receive window: writing more than this would block until it reads.
  std::size_t writeRoom() const;
  // The next packet from the server; waits up to `idle` for bytes to come. Throws FtpError
  // (Aborted, Timeout, ConnectionLost, BadReply).
  Reply read(net::Millis idle);
  // A packet that is there already (or arrives within `wait`), without failing on a quiet server.
  std::optional<Reply> tryRead(net::Millis wait);
  // While idle: takes in what the server sent; false when it closed the connection.
  bool stillOpen();
  int handle() const;
  // "SSH-2, aes256-gcm@openssh.com": the protocol and the cipher of what goes out.
  QString encryption() const;

  // Any thread: ends whatever blocks inside libssh by shutting the socket.
  void interrupt();

private:
  void verifyHostKey(const SessionSettings& settings);
  void authenticate(const SessionSettings& settings);
  bool tryAgent();
  bool tryKeyFiles(const SessionSettings& settings);
  enum class Interactive { LoggedIn, Refused, PasswordRefused, Cancelled };
  // `offerPassword`: a lone hidden prompt gets the site's password instead of going to the user.
  Interactive tryKeyboardInteractive(const SessionSettings& settings, bool offerPassword);
  void startSubsystem();
  // Reads what the channel holds into the packet reader; waits up to `wait` for something.
  // Returns false when nothing came.
  bool fill(net::Millis wait);
  // The failure text libssh left, after `what`.
  QString libsshError(const QString& what) const;
  void checkAbort() const;

  Log m_log;
  SshPrompts& m_prompts;
  const std::atomic<bool>& m_abort;
  ssh_session_struct* m_session = nullptr;
  ssh_channel_struct* m_channel = nullptr;
  std::unique_ptr<net::Stream> m_socket;
  std::mutex m_socketMutex;
  int m_fd = -1; // the socket handed to libssh (a duplicate of m_socket's)
  PacketReader m_reader;
  std::unique_ptr<char[]> m_buffer;
  QString m_hostLabel; // "host" or "[host]:port", as known_hosts names it
};

} // namespace tidewick::ftp::sftp
