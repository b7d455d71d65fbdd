// The SSH side of an SFTP connection. The TCP connection comes from the engine's connector, as
// FTP's do (abortable, through the SOCKS proxy when one is set); libssh gets the connected socket
// and does the key exchange, the login and the channel.
//
// Host keys follow OpenSSH's rules and its file: ~/.ssh/known_hosts, hashed entries included, is
// read by libssh. An unknown key is put to the user with its type and SHA-256 fingerprint; a key
// that differs from the one on file is refused, and only an edit of the file lets it through,
// because a changed key is exactly what an interception looks like.
//
// The login tries what OpenSSH tries, in its order: the agent, the key files ~/.ssh/id_* (a key is
// only opened, and its passphrase only asked for, when the server says it would take it), the
// server's keyboard-interactive prompts (a lone hidden one answered with the site's password), and
// the password method.

#include "ftp/sftp/SshConnection.h"

#include "ftp/net/Connector.h"
#include "ftp/session/FtpError.h"
#include "ftp/session/Session.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <libssh/libssh.h>

#include <algorithm>
#include <chrono>

#include <sys/socket.h>
#include <unistd.h>

namespace tidewick::ftp::sftp {

namespace {

constexpr std::size_t readBufferSize = 256 * 1024;
constexpr net::Millis slice{100};

// AES-GCM first: with the processor's AES instructions it costs least per byte. The rest is what
// OpenSSH offers.
constexpr const char* cipherOrder =
    "aes128-gcm@openssh.com,aes256-gcm@openssh.com,chacha20-poly1305@openssh.com,aes128-ctr,aes256-ctr";

QString fromUtf8(const char* text) { return text ? QString::fromUtf8(text) : QString(); }

QString sshFolder() { return QDir::homePath() + QStringLiteral("/.ssh"); }

// "SHA256:..." of a public key, as OpenSSH prints it.
QString fingerprintOf(ssh_key key) {
  unsigned char* hash = nullptr;
  size_t length = 0;
  if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != SSH_OK) return QStringLiteral("?");
  char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
  const QString fingerprint = fromUtf8(text);
  ssh_string_free_char(text);
  ssh_clean_pubkey_hash(&hash);
  return fingerprint;
}

QString keyTypeOf(ssh_key key) { return fromUtf8(ssh_key_type_to_char(ssh_key_type(key))); }

QString methodNames(int methods) {
  QStringList names;
  if (methods & SSH_AUTH_METHOD_PUBLICKEY) names << QStringLiteral("public key");
  if (methods & SSH_AUTH_METHOD_PASSWORD) names << QStringLiteral("password");
  if (methods & SSH_AUTH_METHOD_INTERACTIVE) names << QStringLiteral("keyboard-interactive");
  if (methods & SSH_AUTH_METHOD_GSSAPI_MIC) names << QStringLiteral("GSSAPI");
  if (methods & SSH_AUTH_METHOD_HOSTBASED) names << QStringLiteral("host-based");
  return names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "));
}

struct KeyDeleter {
  void operator()(ssh_key key) const { ssh_key_free(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<ssh_key>, KeyDeleter>;

} // namespace

SshConnection::SshConnection(Log log, SshPrompts& prompts, const std::atomic<bool>& abort)
    : m_log(std::move(log)), m_prompts(prompts), m_abort(abort), m_buffer(std::make_unique<char[]>(readBufferSize)) {}

SshConnection::~SshConnection() { close(); }

QString SshConnection::libsshError(const QString& what) const {
  const QString detail = m_session ? fromUtf8(ssh_get_error(m_session)) : QString();
  return detail.isEmpty() ? what : what + QStringLiteral(": ") + detail;
}

void SshConnection::checkAbort() const {
  if (m_abort.load()) throw FtpError(FailureKind::Aborted, QStringLiteral("The operation was aborted"));
}

void SshConnection::interrupt() {
  std::lock_guard lock(m_socketMutex);
  if (!m_socket) return;
  m_socket->interrupt();
  // Only the connect and the login block inside libssh; an abort there ends the connection.
  if (!m_channel && m_fd >= 0) ::shutdown(m_socket->nativeHandle(), SHUT_RDWR);
}

void SshConnection::open(const SessionSettings& settings) {
  close();
  const std::string host = settings.host.toStdString();
  const auto port = static_cast<std::uint16_t>(settings.port);
  m_hostLabel = settings.port == 22 ? settings.host : QStringLiteral("[%1]:%2").arg(settings.host).arg(settings.port);

  net::Connector connector;
  connector.configure(settings.proxy, settings.connectTimeout);
  auto tcp = net::Connector::newStream();
  net::TcpStream* stream = tcp.get();
  {
    std::lock_guard lock(m_socketMutex);
    m_socket = std::move(tcp);
  }
  if (m_abort.load()) stream->interrupt();
  try {
    connector.connect(*stream, host, port);
  } catch (const net::NetError& e) {
    close();
    checkAbort();
    const QString why = QString::fromStdString(e.what());
    switch (e.kind()) {
      case net::NetError::Kind::Timeout: throw FtpError(FailureKind::Timeout, why);
      case net::NetError::Kind::Proxy: throw FtpError(FailureKind::ProxyFailed, why);
      case net::NetError::Kind::Interrupted:
        throw FtpError(FailureKind::Aborted, QStringLiteral("The connection was aborted"));
      default: throw FtpError(FailureKind::ConnectFailed, why);
    }
  }
  stream->setNoDelay(true);

  try {
    m_session = ssh_new();
    if (!m_session) throw FtpError(FailureKind::ConnectFailed, QStringLiteral("Cannot start an SSH session"));
    {
      std::lock_guard lock(m_socketMutex);
      m_fd = ::dup(stream->nativeHandle()); // libssh closes what it is given
    }
    const QByteArray user = settings.user.toUtf8();
    const QByteArray folder = QFile::encodeName(sshFolder());
    const QByteArray knownHosts = QFile::encodeName(sshFolder() + QStringLiteral("/known_hosts"));
    const long timeout = std::max<long>(1, static_cast<long>(settings.idleTimeout.count() / 1000));
    const int no = 0;
    const int yes = 1;
    const int portNumber = settings.port;
    ssh_options_set(m_session, SSH_OPTIONS_HOST, host.c_str());
    ssh_options_set(m_session, SSH_OPTIONS_PORT, &portNumber);
    if (!user.isEmpty()) ssh_options_set(m_session, SSH_OPTIONS_USER, user.constData());
    ssh_options_set(m_session, SSH_OPTIONS_FD, &m_fd);
    // The user's ~/.ssh/config is not read: what a site says is what happens.
    ssh_options_set(m_session, SSH_OPTIONS_PROCESS_CONFIG, &no);
    ssh_options_set(m_session, SSH_OPTIONS_SSH_DIR, folder.constData());
    ssh_options_set(m_session, SSH_OPTIONS_KNOWNHOSTS, knownHosts.constData());
    ssh_options_set(m_session, SSH_OPTIONS_TIMEOUT, &timeout);
    ssh_options_set(m_session, SSH_OPTIONS_NODELAY, &yes);
    ssh_options_set(m_session, SSH_OPTIONS_CIPHERS_C_S, cipherOrder);
    ssh_options_set(m_session, SSH_OPTIONS_CIPHERS_S_C, cipherOrder);
    m_log(QStringLiteral("Starting SSH with %1").arg(m_hostLabel));
    if (ssh_connect(m_session) != SSH_OK) {
      checkAbort();
      throw FtpError(FailureKind::ConnectFailed, libsshError(QStringLiteral("The SSH handshake failed")));
    }
    verifyHostKey(settings);
    authenticate(settings);
    startSubsystem();
  } catch (const FtpError&) {
    close();
    if (m_abort.load()) throw FtpError(FailureKind::Aborted, QStringLiteral("The connection was aborted"));
    throw;
  }
}

void SshConnection::verifyHostKey(const SessionSettings& settings) {
  ssh_key raw = nullptr;
  if (ssh_get_server_publickey(m_session, &raw) != SSH_OK)
    throw FtpError(FailureKind::ConnectFailed, libsshError(QStringLiteral("The server showed no host key")));
  const Key key(raw);
  const QString type = keyTypeOf(key.get());
  const QString fingerprint = fingerprintOf(key.get());
  const QString knownHosts = sshFolder() + QStringLiteral("/known_hosts");
  const ssh_known_hosts_e state = ssh_session_is_known_server(m_session);
  switch (state) {
    case SSH_KNOWN_HOSTS_OK:
      m_log(QStringLiteral("The host key of %1 is known: %2 %3").arg(m_hostLabel, type, fingerprint));
      return;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER: {
      // libssh names no old key, so the file is read for the first entry of this host.
      QString old = QStringLiteral("(not readable)");
      QFile file(knownHosts);
      if (file.open(QIODevice::ReadOnly)) {
        const QByteArray label = m_hostLabel.toUtf8();
        while (!file.atEnd()) {
          const QByteArray line = file.readLine().trimmed();
          ssh_knownhosts_entry* entry = nullptr;
          if (line.isEmpty() || line.startsWith('#')) continue;
          if (ssh_known_hosts_parse_line(label.constData(), line.constData(), &entry) == SSH_OK && entry) {
            if (entry->publickey)
              old = keyTypeOf(entry->publickey) + QLatin1Char(' ') + fingerprintOf(entry->publickey);
            ssh_knownhosts_entry_free(entry);
            break;
          }
          ssh_knownhosts_entry_free(entry);
        }
      }
      const QString text =
          QStringLiteral(
              "WARNING: THE HOST KEY OF %1 HAS CHANGED. %2 holds %3; the server now shows %4 %5. Someone "
              "may be listening in on the connection, or the server was set up anew. Nothing was sent. If "
              "the change is expected, remove the old entry for %1 from %2 and connect again.")
              .arg(m_hostLabel, knownHosts, old, type, fingerprint);
      m_log(text);
      throw FtpError(FailureKind::HostKeyChanged, text);
    }
    case SSH_KNOWN_HOSTS_NOT_FOUND:
    case SSH_KNOWN_HOSTS_UNKNOWN: break;
    case SSH_KNOWN_HOSTS_ERROR:
    default:
      throw FtpError(
          FailureKind::HostKeyRejected,
          libsshError(
              QStringLiteral("The host key of %1 could not be checked against %2").arg(m_hostLabel, knownHosts)));
  }

  HostKeyInfo info;
  info.host = settings.host;
  info.port = settings.port;
  info.keyType = type;
  info.fingerprint = fingerprint;
  info.knownHostsFile = knownHosts;
  m_log(QStringLiteral("The host key of %1 is not known: %2 %3").arg(m_hostLabel, type, fingerprint));
  const std::optional<HostKeyAnswer> answer = m_prompts.askHostKey(info);
  checkAbort();
  switch (answer.value_or(HostKeyAnswer::Unanswered)) {
    case HostKeyAnswer::TrustOnce: m_log(QStringLiteral("Host key trusted for this connection")); return;
    case HostKeyAnswer::AlwaysTrust:
      QDir().mkpath(sshFolder());
      QFile::setPermissions(sshFolder(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
      if (ssh_session_update_known_hosts(m_session) != SSH_OK)
        throw FtpError(FailureKind::LocalFileFailed,
                       libsshError(QStringLiteral("Cannot add the host key to %1").arg(knownHosts)));
      m_log(QStringLiteral("Host key added to %1").arg(knownHosts));
      return;
    case HostKeyAnswer::Cancel:
      throw FtpError(FailureKind::HostKeyRejected,
                     QStringLiteral("The host key of %1 was not trusted; nothing was sent").arg(m_hostLabel));
    case HostKeyAnswer::Unanswered:
      throw FtpError(FailureKind::HostKeyRejected,
                     QStringLiteral("The host key of %1 (%2 %3) is not in %4 and nobody is there to trust it. Connect "
                                    "once from the window and choose \"Always trust\", or add the key to that file.")
                         .arg(m_hostLabel, type, fingerprint, knownHosts));
  }
}

void SshConnection::authenticate(const SessionSettings& settings) {
  int rc = ssh_userauth_none(m_session, nullptr);
  checkAbort();
  if (rc == SSH_AUTH_SUCCESS) return;
  if (rc == SSH_AUTH_ERROR)
    throw FtpError(FailureKind::ConnectionLost, libsshError(QStringLiteral("The login broke off")));
  const int methods = ssh_userauth_list(m_session, nullptr);
  if (methods & SSH_AUTH_METHOD_PUBLICKEY) {
    if (tryAgent() || tryKeyFiles(settings)) return;
  }
  // The server's own prompts come before the password method. Besides being OpenSSH's order, this
  // keeps the login whole on sshd with PAM: a refused password method stays on record for the
  // connection, and a keyboard-interactive login that succeeds after it is cut off as soon as the
  // channel opens.
  const bool havePassword = !settings.password.isEmpty();
  bool passwordRefused = false;
  bool cancelled = false;
  if (methods & SSH_AUTH_METHOD_INTERACTIVE) {
    Interactive result = tryKeyboardInteractive(settings, havePassword);
    if (result == Interactive::PasswordRefused) {
      // The site's password answered the server's prompt and was refused: the user answers now.
      passwordRefused = true;
      result = tryKeyboardInteractive(settings, false);
    }
    if (result == Interactive::LoggedIn) return;
    cancelled = result == Interactive::Cancelled;
  }
  if ((methods & SSH_AUTH_METHOD_PASSWORD) && havePassword && !passwordRefused) {
    m_log(QStringLiteral("Logging in as %1 with a password").arg(settings.user));
    rc = ssh_userauth_password(m_session, nullptr, settings.password.toUtf8().constData());
    checkAbort();
    if (rc == SSH_AUTH_SUCCESS) return;
    if (rc == SSH_AUTH_ERROR)
      throw FtpError(FailureKind::ConnectionLost, libsshError(QStringLiteral("The login broke off")));
    m_log(QStringLiteral("The password was refused"));
  }
  if (cancelled) throw FtpError(FailureKind::LoginFailed, QStringLiteral("The login was cancelled"));
  throw FtpError(
      FailureKind::LoginFailed,
      QStringLiteral("The server refused the login of %1 (it accepts: %2)").arg(settings.user, methodNames(methods)));
}

bool SshConnection::tryAgent() {
  if (qEnvironmentVariableIsEmpty("SSH_AUTH_SOCK")) return false;
  const int rc = ssh_userauth_agent(m_session, nullptr);
  checkAbort();
  if (rc == SSH_AUTH_SUCCESS) {
    m_log(QStringLiteral("Logged in with a key from the SSH agent"));
    return true;
  }
  if (rc == SSH_AUTH_ERROR) m_log(libsshError(QStringLiteral("The SSH agent could not be used")));
  return false;
}

bool SshConnection::tryKeyFiles(const SessionSettings& settings) {
  QDir folder(sshFolder());
  QStringList names = folder.entryList({QStringLiteral("id_*")}, QDir::Files | QDir::Hidden, QDir::Name);
  names.erase(std::remove_if(names.begin(), names.end(),
                             [](const QString& n) {
                               return n.endsWith(QLatin1String(".pub")) || n.endsWith(QLatin1String("-cert"));
                             }),
              names.end());
  for (const QString& name : names) {
    const QString path = folder.filePath(name);
    const QByteArray file = QFile::encodeName(path);
    ssh_key raw = nullptr;
    if (ssh_pki_import_pubkey_file(QFile::encodeName(path + QStringLiteral(".pub")).constData(), &raw) == SSH_OK) {
      const Key publicKey(raw);
      const int offered = ssh_userauth_try_publickey(m_session, nullptr, publicKey.get());
      checkAbort();
      if (offered == SSH_AUTH_ERROR)
        throw FtpError(FailureKind::ConnectionLost, libsshError(QStringLiteral("The login broke off")));
      if (offered != SSH_AUTH_SUCCESS) continue;
    }
    // An empty passphrase, never none: without one, a PEM key would be asked for on the terminal.
    raw = nullptr;
    int rc = ssh_pki_import_privkey_file(file.constData(), "", nullptr, nullptr, &raw);
    for (int attempt = 0; rc != SSH_OK && attempt < 3; ++attempt) {
      SecretRequest request;
      request.kind = SecretRequest::Kind::Passphrase;
      request.host = settings.host;
      request.title = path;
      request.prompt = attempt == 0 ? QStringLiteral("Passphrase for the key %1:").arg(path)
                                    : QStringLiteral("Wrong passphrase. Passphrase for the key %1:").arg(path);
      const std::optional<QString> passphrase = m_prompts.askSecret(request);
      checkAbort();
      if (!passphrase) break;
      rc = ssh_pki_import_privkey_file(file.constData(), passphrase->toUtf8().constData(), nullptr, nullptr, &raw);
    }
    if (rc != SSH_OK) {
      m_log(QStringLiteral("The key %1 was not used: it could not be opened").arg(path));
      continue;
    }
    const Key privateKey(raw);
    const int used = ssh_userauth_publickey(m_session, nullptr, privateKey.get());
    checkAbort();
    if (used == SSH_AUTH_SUCCESS) {
      m_log(QStringLiteral("Logged in with the key %1").arg(path));
      return true;
    }
    if (used == SSH_AUTH_ERROR)
      throw FtpError(FailureKind::ConnectionLost, libsshError(QStringLiteral("The login broke off")));
  }
  return false;
}

SshConnection::Interactive SshConnection::tryKeyboardInteractive(const SessionSettings& settings, bool offerPassword) {
  int rc = ssh_userauth_kbdint(m_session, nullptr, nullptr);
  bool passwordSent = false;
  for (int round = 0; rc == SSH_AUTH_INFO && round < 10; ++round) {
    const int count = ssh_userauth_kbdint_getnprompts(m_session);
    const QString name = fromUtf8(ssh_userauth_kbdint_getname(m_session));
    const QString instruction = fromUtf8(ssh_userauth_kbdint_getinstruction(m_session));
    for (int i = 0; i < count; ++i) {
      char echo = 0;
      const QString prompt = fromUtf8(ssh_userauth_kbdint_getprompt(m_session, static_cast<unsigned>(i), &echo));
      QString answer;
      // A lone hidden prompt is the server asking for the password the site holds.
      if (offerPassword && !passwordSent && count == 1 && !echo) {
        m_log(QStringLiteral("Logging in as %1 with a password, as the server asks for one").arg(settings.user));
        answer = settings.password;
        passwordSent = true;
      } else {
        SecretRequest request;
        request.kind = SecretRequest::Kind::Interactive;
        request.host = settings.host;
        request.title = name;
        request.instruction = instruction;
        request.prompt = prompt;
        request.echo = echo != 0;
        const std::optional<QString> given = m_prompts.askSecret(request);
        checkAbort();
        if (!given) return Interactive::Cancelled;
        answer = *given;
      }
      ssh_userauth_kbdint_setanswer(m_session, static_cast<unsigned>(i), answer.toUtf8().constData());
    }
    rc = ssh_userauth_kbdint(m_session, nullptr, nullptr);
    checkAbort();
  }
  if (rc == SSH_AUTH_ERROR)
    throw FtpError(FailureKind::ConnectionLost, libsshError(QStringLiteral("The login broke off")));
  if (rc == SSH_AUTH_SUCCESS) {
    m_log(QStringLiteral("Logged in as %1").arg(settings.user));
    return Interactive::LoggedIn;
  }
  if (passwordSent) {
    m_log(QStringLiteral("The password was refused"));
    return Interactive::PasswordRefused;
  }
  return Interactive::Refused;
}

void SshConnection::startSubsystem() {
  ssh_channel channel = ssh_channel_new(m_session);
  if (!channel || ssh_channel_open_session(channel) != SSH_OK) {
    if (channel) ssh_channel_free(channel);
    throw FtpError(FailureKind::ConnectFailed, libsshError(QStringLiteral("The server opened no channel")));
  }
  if (ssh_channel_request_subsystem(channel, "sftp") != SSH_OK) {
    ssh_channel_free(channel);
    throw FtpError(FailureKind::ConnectFailed, libsshError(QStringLiteral("The server offers no SFTP")));
  }
  std::lock_guard lock(m_socketMutex);
  m_channel = channel;
}

void SshConnection::close() {
  ssh_channel channel = nullptr;
  ssh_session session = nullptr;
  {
    std::lock_guard lock(m_socketMutex);
    channel = m_channel;
    session = m_session;
    m_channel = nullptr;
    m_session = nullptr;
  }
  if (channel) ssh_channel_free(channel);
  if (session) {
    if (ssh_is_connected(session)) ssh_disconnect(session);
    ssh_free(session); // closes m_fd
  } else if (m_fd >= 0) {
    ::close(m_fd);
  }
  std::lock_guard lock(m_socketMutex);
  m_fd = -1;
  m_socket.reset();
  m_reader.clear();
}

void SshConnection::write(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto chunk = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    const int n = ssh_channel_write(m_channel, bytes.data() + done, chunk);
    if (n < 0) throw FtpError(FailureKind::ConnectionLost, libsshError(QStringLiteral("The connection broke off")));
    done += static_cast<std::size_t>(n);
  }
}

std::size_t SshConnection::writeRoom() const { return m_channel ? ssh_channel_window_size(m_channel) : 0; }

bool SshConnection::fill(net::Millis wait) {
  const int available = ssh_channel_poll_timeout(m_channel, static_cast<int>(wait.count()), 0);
  if (available == SSH_ERROR)
    throw FtpError(FailureKind::ConnectionLost, libsshError(QStringLiteral("The connection broke off")));
  if (available == SSH_EOF)
    throw FtpError(FailureKind::ConnectionLost, QStringLiteral("The server closed the connection"));
  if (available <= 0) return false;
  const int n = ssh_channel_read_nonblocking(
      m_channel, m_buffer.get(), static_cast<std::uint32_t>(std::min<std::size_t>(available, readBufferSize)), 0);
  if (n < 0) throw FtpError(FailureKind::ConnectionLost, libsshError(QStringLiteral("The connection broke off")));
  m_reader.feed(m_buffer.get(), static_cast<std::size_t>(n));
  return n > 0;
}

Reply SshConnection::read(net::Millis idle) {
  using Clock = std::chrono::steady_clock;
  auto quietSince = Clock::now();
  for (;;) {
    try {
      if (std::optional<Reply> reply = m_reader.next()) return std::move(*reply);
    } catch (const WireError& e) {
      throw FtpError(FailureKind::BadReply, QString::fromStdString(e.what()));
    }
    checkAbort();
    const auto quiet = std::chrono::duration_cast<net::Millis>(Clock::now() - quietSince);
    if (quiet >= idle)
      throw FtpError(
          FailureKind::Timeout,
          QStringLiteral("The server did not answer within %1").arg(QString::fromStdString(net::secondsText(idle))));
    if (fill(std::min(slice, idle - quiet))) quietSince = Clock::now();
  }
}

std::optional<Reply> SshConnection::tryRead(net::Millis wait) {
  try {
    if (std::optional<Reply> reply = m_reader.next()) return reply;
    if (!fill(wait)) return std::nullopt;
    return m_reader.next();
  } catch (const WireError& e) {
    throw FtpError(FailureKind::BadReply, QString::fromStdString(e.what()));
  }
}

bool SshConnection::stillOpen() {
  if (!m_channel || !ssh_is_connected(m_session)) return false;
  try {
    while (fill(net::Millis(0))) {}
  } catch (const FtpError&) {
    return false;
  }
  return !ssh_channel_is_eof(m_channel) && ssh_is_connected(m_session);
}

QString SshConnection::encryption() const {
  if (!m_session || !m_channel) return {};
  const char* cipher = ssh_get_cipher_out(m_session);
  return QStringLiteral("SSH-%1, %2").arg(ssh_get_version(m_session)).arg(QString::fromLatin1(cipher ? cipher : "?"));
}

int SshConnection::handle() const { return m_channel ? m_fd : -1; }

} // namespace tidewick::ftp::sftp
