// The control connection: connecting, logging in, commands and their replies, abort and the
// simple folder commands. Data connections are in DataChannel.cpp, transfers in Transfer.cpp,
// listings in Listing.cpp and the folder walks in MatchingFiles.cpp.
//
// Replies are read straight after each command and the next step runs as soon as its reply is
// complete; nothing waits on a poll interval. A failure that leaves the control connection in an
// unknown state (a silent server, garbage, a confused reply) closes it, so CurrentState never
// claims a connection that cannot be used.

#include "ftp/session/Session.h"

#include "ftp/proto/Command.h"

#include <QRegularExpression>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>

namespace tidewick::ftp {

namespace {

std::string toWire(const QString& text) { return text.toUtf8().toStdString(); }

QString fromWire(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// After an abort the user waits: a server that cannot confirm it within this long is dropped.
constexpr net::Millis abortWait{1000};

QString secondsText(net::Millis duration) { return QString::fromStdString(net::secondsText(duration)); }

// "[::1]" and "[fe80::1%eth0]", the way addresses are written beside a port, name the address
// inside the brackets.
QString bareHost(const QString& host) {
  const QString trimmed = host.trimmed();
  if (trimmed.size() > 2 && trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']')))
    return trimmed.mid(1, trimmed.size() - 2);
  return trimmed;
}

} // namespace

Session::Session(SessionEvents& events) : m_events(events) {}

Session::~Session() {
  std::lock_guard lock(m_streamMutex);
  m_data.reset();
  m_control.reset();
}

void Session::applySettings(const SessionSettings& settings) {
  m_settings = settings;
  m_settings.host = bareHost(settings.host);
  m_settings.proxy.host = toWire(bareHost(QString::fromStdString(settings.proxy.host)));
  m_logFile.setPath(settings.logFile);
  m_connector.configure(m_settings.proxy, m_settings.connectTimeout);
  if (m_control) m_control->setTimeout(settings.idleTimeout);
}

void Session::beginOperation() {
  m_abort.store(false);
  std::lock_guard lock(m_streamMutex);
  if (m_control) m_control->clearInterrupt();
  m_operationTotal = 0;
}

void Session::log(const QString& line) {
  m_logFile.write(line);
  m_events.logLine(line);
}

void Session::requireConnected() const {
  if (!m_loggedIn) throw FtpError(FailureKind::NotConnected, QStringLiteral("Not connected to a server"));
}

void Session::requestAbort() {
  if (m_abort.exchange(true)) return;
  std::lock_guard lock(m_streamMutex);
  if (m_data) m_data->interrupt();
  if (m_listener) m_listener->interrupt();
  if (m_control) m_control->interrupt();
}

// ---- control connection --------------------------------------------------------------------

void Session::sendCommand(const std::string& wire) {
  log(fromWire(proto::loggedCommand(wire)));
  writeControl(wire);
}

std::vector<proto::Reply> Session::commandBatch(const std::vector<std::string>& wires) {
  // Servers read commands as a stream and answer them in order, so commands whose answers do
  // not decide what comes next may go out together: one round trip for the lot.
  if (!m_control) throw FtpError(FailureKind::NotConnected, QStringLiteral("Not connected to a server"));
  drainStaleReplies();
  std::string batch;
  for (const std::string& wire : wires) {
    log(fromWire(proto::loggedCommand(wire)));
    batch += wire;
  }
  writeControl(batch);
  std::vector<proto::Reply> replies;
  replies.reserve(wires.size());
  for (std::size_t i = 0; i < wires.size(); ++i) {
    proto::Reply reply = readReply();
    while (reply.isPreliminary()) reply = readReply();
    replies.push_back(std::move(reply));
  }
  return replies;
}

void Session::writeControl(const std::string& bytes) {
  try {
    m_control->writeAll(bytes.data(), bytes.size());
  } catch (const net::NetError& e) {
    if (e.kind() == net::NetError::Kind::Interrupted) throw;
    dropConnection();
    throw FtpError(FailureKind::ConnectionLost,
                   QStringLiteral("The connection to the server was lost: %1").arg(QString::fromStdString(e.what())));
  }
}

proto::Reply Session::readReply() {
  using Clock = std::chrono::steady_clock;
  char buffer[4096];
  // A reply has the whole timeout from its first byte to its end, not the timeout again after
  // every byte: a server dripping a byte at a time would otherwise hold us for ever.
  std::optional<Clock::time_point> started;
  for (;;) {
    if (auto reply = m_reader.next()) {
      for (const auto& line : reply->lines) log(fromWire(line));
      return *reply;
    }
    const net::Millis timeout = m_control->timeout();
    if (!started && m_reader.hasPartial()) started = Clock::now();
    net::Millis wait = timeout;
    if (started) wait = std::max(net::Millis(0), std::chrono::ceil<net::Millis>(*started + timeout - Clock::now()));
    std::size_t n = 0;
    try {
      // Waiting first costs one poll; a reply is hardly ever there the moment after its command.
      if (!m_control->waitReadable(wait)) {
        dropConnection();
        if (started)
          throw FtpError(FailureKind::Timeout,
                         QStringLiteral("The server's reply was still incomplete %1 after it began; the connection "
                                        "was closed")
                             .arg(secondsText(timeout)));
        throw FtpError(
            FailureKind::Timeout,
            QStringLiteral("The server did not answer within %1; the connection was closed").arg(secondsText(timeout)));
      }
      n = m_control->readSome(buffer, sizeof buffer);
    } catch (const net::NetError& e) {
      if (e.kind() == net::NetError::Kind::Interrupted) throw;
      dropConnection();
      if (e.kind() == net::NetError::Kind::Timeout)
        throw FtpError(
            FailureKind::Timeout,
            QStringLiteral("The server did not answer within %1; the connection was closed").arg(secondsText(timeout)));
      throw FtpError(FailureKind::ConnectionLost,
                     QStringLiteral("The connection to the server was lost: %1").arg(QString::fromStdString(e.what())));
    }
    if (n == 0) {
      dropConnection();
      throw FtpError(FailureKind::ConnectionLost, QStringLiteral("The server closed the connection"));
    }
    m_reader.feed(buffer, n);
  }
}

void Session::drainStaleReplies() {
  // A reply nobody asked for (a late answer, a "421 going away") would otherwise be taken as
  // the answer to the next command.
  char buffer[4096];
  while (m_control && m_control->available() > 0) {
    std::size_t n = 0;
    try {
      n = m_control->readSome(buffer, sizeof buffer);
    } catch (const net::NetError& e) {
      if (e.kind() == net::NetError::Kind::Interrupted) throw;
      dropConnection();
      throw FtpError(FailureKind::ConnectionLost,
                     QStringLiteral("The connection to the server was lost: %1").arg(QString::fromStdString(e.what())));
    }
    if (n == 0) break;
    m_reader.feed(buffer, n);
  }
  while (auto reply = m_reader.next()) {
    for (const auto& line : reply->lines) log(fromWire(line));
    if (reply->code == 421) {
      dropConnection();
      throw FtpError(FailureKind::ConnectionLost,
                     QStringLiteral("The server closed the connection: %1").arg(fromWire(reply->lastLine())));
    }
  }
}

proto::Reply Session::commandRaw(const std::string& verb, const std::string& argument) {
  if (!m_control) throw FtpError(FailureKind::NotConnected, QStringLiteral("Not connected to a server"));
  const std::string wire = proto::formatCommand(verb, argument);
  drainStaleReplies();
  sendCommand(wire);
  proto::Reply reply = readReply();
  while (reply.isPreliminary()) reply = readReply();
  return reply;
}

proto::Reply Session::command(const std::string& verb, const QString& argument) {
  return commandRaw(verb, toWire(argument));
}

void Session::refused(const std::string& what, const proto::Reply& reply, FailureKind kind) {
  throw FtpError(kind, QStringLiteral("%1 failed: %2").arg(fromWire(what), fromWire(reply.text())));
}

void Session::closeControl() {
  {
    std::lock_guard lock(m_streamMutex);
    m_data.reset();
    m_controlTls = nullptr;
    m_control.reset();
  }
  m_protectData = false;
  m_tlsSessions.reset();
  m_trustedCertificate.clear();
  m_encryption.clear();
}

void Session::dropConnection(const QString& why) {
  closeControl();
  m_reader.clear();
  m_features = {};
  m_type = 0;
  m_restPending = false;
  m_epsvRefused = m_eprtRefused = m_mlsdRefused = m_listAllRefused = false;
  const bool wasLoggedIn = m_loggedIn;
  m_loggedIn = false;
  if (!why.isEmpty()) log(why);
  if (wasLoggedIn) {
    log(QStringLiteral("Disconnected from %1").arg(m_settings.host));
    m_events.disconnected();
  }
}

void Session::ensureType(bool ascii) {
  const char wanted = ascii ? 'A' : 'I';
  if (m_type == wanted) return;
  const proto::Reply reply = commandRaw("TYPE", std::string(1, wanted));
  if (!reply.isPositive()) refused(std::string("TYPE ") + wanted, reply);
  m_type = wanted;
}

void Session::runGuarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const net::NetError& e) {
    if (e.kind() == net::NetError::Kind::Interrupted || m_abort.load()) {
      resync(abortWait);
      log(QStringLiteral("Aborted"));
      throw FtpError(FailureKind::Aborted, QStringLiteral("The operation was aborted"));
    }
    closeData();
    throw FtpError(FailureKind::TransferFailed, QString::fromStdString(e.what()));
  } catch (const proto::ReplyError& e) {
    dropConnection(QStringLiteral("Closing the connection: %1").arg(QString::fromStdString(e.what())));
    throw FtpError(FailureKind::BadReply, QString::fromStdString(e.what()));
  } catch (const proto::UnsafeCommand& e) {
    closeData();
    throw FtpError(FailureKind::UnsafeInput, QString::fromStdString(e.what()));
  } catch (const FtpError& e) {
    if (m_abort.load() && e.kind() != FailureKind::Aborted && m_loggedIn) {
      resync(abortWait);
      log(QStringLiteral("Aborted"));
      throw FtpError(FailureKind::Aborted, QStringLiteral("The operation was aborted"));
    }
    // A failure on our side in the middle of a transfer (a full disk, an unreadable file)
    // leaves the server with a transfer to finish and a reply still to come.
    const bool midTransfer = m_data != nullptr;
    closeData();
    if (midTransfer && m_loggedIn) resync();
    throw;
  }
}

void Session::resync(net::Millis wait) {
  closeData();
  if (!m_control) return;
  if (!m_loggedIn) {
    dropConnection();
    return;
  }
  // ABOR ends whatever the server still does for us; NOOP's "200" then marks the point where
  // every late reply (426, 226, 225, the answer to an interrupted command) has been read.
  const net::Millis saved = m_control->timeout();
  try {
    m_control->clearInterrupt();
    m_control->setTimeout(std::min(saved, wait));
    sendCommand("ABOR\r\n");
    sendCommand("NOOP\r\n");
    for (;;) {
      const proto::Reply reply = readReply();
      if (reply.code == 200) break;
    }
    if (m_control) m_control->setTimeout(saved);
  } catch (const std::exception&) {
    const QString why =
        QStringLiteral("The server did not come back in step after the interruption; the connection was closed");
    if (m_control) dropConnection(why);
    else log(why);
  }
}

// ---- connecting and logging in -------------------------------------------------------------

void Session::openControl() {
  const std::string host = toWire(m_settings.host.trimmed());
  auto tcp = net::Connector::newStream();
  net::TcpStream* raw = tcp.get();
  {
    std::lock_guard lock(m_streamMutex);
    m_control = std::move(tcp);
  }
  if (m_abort.load()) raw->interrupt();
  const bool viaProxy = m_connector.viaProxy();
  try {
    if (viaProxy)
      log(QStringLiteral("Connecting to %1:%2 through the SOCKS %3 proxy %4:%5")
              .arg(m_settings.host)
              .arg(m_settings.port)
              .arg(int(m_settings.proxy.kind))
              .arg(QString::fromStdString(m_settings.proxy.host))
              .arg(m_settings.proxy.port));
    else log(QStringLiteral("Connecting to %1:%2").arg(m_settings.host).arg(m_settings.port));
    m_connector.connect(*raw, host, static_cast<std::uint16_t>(m_settings.port));
    m_peerAddress = viaProxy ? host : raw->remoteEndpoint().address;
  } catch (const net::NetError& e) {
    closeControl();
    const QString what = QString::fromStdString(e.what());
    switch (e.kind()) {
      case net::NetError::Kind::Interrupted:
        throw FtpError(FailureKind::Aborted, QStringLiteral("The connection was aborted"));
      case net::NetError::Kind::Timeout:
        throw FtpError(FailureKind::Timeout, viaProxy
                                                 ? QStringLiteral("Timed out connecting through the proxy to %1:%2")
                                                       .arg(m_settings.host)
                                                       .arg(m_settings.port)
                                                 : what);
      case net::NetError::Kind::Proxy: throw FtpError(FailureKind::ProxyFailed, what);
      default: throw FtpError(FailureKind::ConnectFailed, what);
    }
  }
  m_peerV6 = m_peerAddress.find(':') != std::string::npos;
  raw->setTimeout(m_settings.idleTimeout);
  raw->setNoDelay(true);
  m_reader.clear();
  if (m_settings.security == Security::TlsImplicit) secureControl();
}

void Session::connect() {
  if (m_control) throw FtpError(FailureKind::Busy, QStringLiteral("Already connected to %1").arg(m_settings.host));
  if (m_settings.host.trimmed().isEmpty())
    throw FtpError(FailureKind::InvalidArgument, QStringLiteral("No server address is set"));
  if (m_settings.port < 1 || m_settings.port > 65535)
    throw FtpError(FailureKind::InvalidArgument,
                   QStringLiteral("The port %1 is not a port number (1 to 65535)").arg(m_settings.port));
  if (m_settings.proxy.kind != ProxyKind::None && m_settings.proxy.host.empty())
    throw FtpError(FailureKind::InvalidArgument, QStringLiteral("No proxy address is set"));

  try {
    guarded([&] {
      openControl();
      proto::Reply greeting = readReply();
      while (greeting.code == 120) greeting = readReply();
      if (greeting.code != 220) refused("Connecting", greeting, FailureKind::ConnectFailed);
      negotiateTls();
      login();
      m_loggedIn = true;
      protectDataConnections();

      command("SYST");
      const proto::Reply feat = command("FEAT");
      m_features = proto::Features::parse(feat);
      if (m_features.has("UTF8")) command("OPTS", QStringLiteral("UTF8 ON"));
    });
  } catch (const FtpError&) {
    if (m_control && !m_loggedIn) closeControl();
    throw;
  }
}

void Session::login() {
  const QString user = m_settings.user.isEmpty() ? QStringLiteral("anonymous") : m_settings.user;
  QString password = m_settings.password;
  const auto askAccount = [&]() -> proto::Reply {
    const std::optional<QString> account = m_events.askAccount();
    if (!account) throw FtpError(FailureKind::Aborted, QStringLiteral("The login was aborted"));
    if (account->isEmpty())
      throw FtpError(FailureKind::LoginFailed,
                     QStringLiteral("Login failed: the server asked for an account and none was given"));
    return command("ACCT", *account);
  };

  for (int attempt = 1;; ++attempt) {
    proto::Reply reply = command("USER", user);
    bool passwordSent = false;
    if (reply.code == 331) {
      reply = command("PASS", password);
      passwordSent = true;
    }
    if (reply.code == 332) reply = askAccount();
    if (reply.code == 230 || reply.code == 202) return;
    if (reply.code == 530 && passwordSent && attempt <= 3 && m_control) {
      // A refused password: ask the user for another and start over with USER, as servers
      // expect after a 530.
      const std::optional<QString> answer = m_events.askPassword();
      if (!answer) throw FtpError(FailureKind::Aborted, QStringLiteral("The login was aborted"));
      if (answer->isEmpty())
        throw FtpError(FailureKind::LoginFailed,
                       QStringLiteral("Login failed: the server refused the password and no other was given (%1)")
                           .arg(fromWire(reply.lastLine())));
      password = *answer;
      continue;
    }
    throw FtpError(FailureKind::LoginFailed, QStringLiteral("Login failed: %1").arg(fromWire(reply.text())));
  }
}

void Session::disconnect() {
  if (!m_control) {
    if (m_loggedIn) dropConnection();
    return;
  }
  shutdown(std::min<net::Millis>(m_settings.idleTimeout, net::Millis(5000)));
}

void Session::shutdown(net::Millis wait) {
  if (!m_control) return;
  try {
    m_control->clearInterrupt();
    m_control->setTimeout(wait);
    closeData();
    sendCommand("QUIT\r\n");
    readReply();
  } catch (const std::exception&) {
    // Closing anyway.
  }
  if (m_control || m_loggedIn) dropConnection();
}

int Session::controlHandle() const {
  std::lock_guard lock(m_streamMutex);
  return m_control ? m_control->nativeHandle() : -1;
}

bool Session::controlHasBuffered() const {
  std::lock_guard lock(m_streamMutex);
  return m_control && m_control->buffered() > 0;
}

QString Session::encryption() const { return m_loggedIn ? m_encryption : QString(); }

void Session::checkIdle() {
  if (!m_control) return;
  try {
    m_control->clearInterrupt();
    bool closed = false;
    if (m_control->waitReadable(net::Millis(0))) {
      char buffer[4096];
      const std::size_t n = m_control->readSome(buffer, sizeof buffer);
      if (n == 0) closed = true;
      else m_reader.feed(buffer, n);
    }
    // Replies that came with the last answer are still in the reader; a "421" among them
    // is the server saying goodbye.
    while (auto reply = m_reader.next()) {
      for (const auto& line : reply->lines) log(fromWire(line));
      if (reply->code == 421) closed = true;
    }
    if (closed) dropConnection(QStringLiteral("The server closed the connection"));
  } catch (const std::exception& e) {
    dropConnection(QStringLiteral("The connection to the server was lost: %1").arg(QString::fromUtf8(e.what())));
  }
}

// ---- folder commands -----------------------------------------------------------------------

QString Session::currentFolder() {
  requireConnected();
  return guarded([&] { return workingFolder(); });
}

QString Session::workingFolder() {
  const proto::Reply reply = command("PWD");
  if (reply.code != 257) refused("PWD", reply);
  const auto folder = proto::parsePwd(reply.lines.front());
  if (!folder)
    throw FtpError(FailureKind::BadReply,
                   QStringLiteral("The server's answer to PWD names no folder: %1").arg(fromWire(reply.text())));
  return fromWire(*folder);
}

void Session::changeFolder(const QString& path) {
  requireConnected();
  guarded([&] {
    const proto::Reply reply = command("CWD", path);
    if (!reply.isPositive()) refused("CWD " + toWire(path), reply);
  });
}

void Session::folderCommand(const char* verb, const QString* name) {
  requireConnected();
  guarded([&] {
    const proto::Reply reply = name ? command(verb, *name) : command(verb);
    if (!reply.isPositive()) refused(name ? std::string(verb) + " " + toWire(*name) : std::string(verb), reply);
  });
}

void Session::changeToParent() { folderCommand("CDUP", nullptr); }

void Session::makeFolder(const QString& name) { folderCommand("MKD", &name); }

void Session::removeFolder(const QString& name) { folderCommand("RMD", &name); }

void Session::deleteFile(const QString& name) { folderCommand("DELE", &name); }

namespace {

// The value of one fact ("unique", "type", ...) of an MLST reply's entry line, when it has one.
std::optional<std::string> mlstFact(const proto::Reply& reply, std::string_view fact) {
  for (const std::string& line : reply.lines) {
    if (line.empty() || line.front() != ' ') continue; // the entry line starts with a blank
    const std::size_t end = line.find(' ', 1);
    const std::string facts = line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    std::size_t at = 0;
    while (at < facts.size()) {
      const std::size_t semicolon = facts.find(';', at);
      const std::string item = facts.substr(at, semicolon == std::string::npos ? std::string::npos : semicolon - at);
      const std::size_t equals = item.find('=');
      if (equals == fact.size() && std::equal(fact.begin(), fact.end(), item.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
          }))
        return item.substr(equals + 1);
      if (semicolon == std::string::npos) break;
      at = semicolon + 1;
    }
  }
  return std::nullopt;
}

} // namespace

bool Session::renameTargetExists(const QString& from, const QString& to) {
  // A server that ignores case finds the item itself under its new spelling; there only another
  // item (told apart by MLST's "unique" fact) counts.
  const bool sameButCase = from.compare(to, Qt::CaseInsensitive) == 0;
  if (m_features.has("MLST")) {
    const proto::Reply target = command("MLST", to);
    if (!target.isPositive()) return false;
    if (!sameButCase) return true;
    const proto::Reply source = command("MLST", from);
    const auto targetId = mlstFact(target, "unique");
    const auto sourceId = source.isPositive() ? mlstFact(source, "unique") : std::nullopt;
    return targetId && sourceId && *targetId != *sourceId;
  }
  // SIZE sees files only; folders are left to the caller's listing. Servers may refuse SIZE in
  // ASCII mode (the mode a session starts in), which would read as "no such file".
  if (m_features.has("SIZE") && !sameButCase) {
    ensureType(false);
    return command("SIZE", to).code == 213;
  }
  return false;
}

void Session::rename(const QString& from, const QString& to) {
  requireConnected();
  guarded([&] {
    // Both names are checked before anything goes out, so a refused RNTO cannot leave half a
    // rename.
    proto::formatCommand("RNFR", toWire(from));
    proto::formatCommand("RNTO", toWire(to));
    // Many servers rename over an existing name without a word (rename(2) does), so a name that
    // is taken is refused here, before RNFR: a rename never replaces another item.
    if (renameTargetExists(from, to)) throw FtpError(FailureKind::TargetExists, targetExistsText(to));
    proto::Reply reply = command("RNFR", from);
    if (reply.code != 350) refused("RNFR " + toWire(from), reply);
    reply = command("RNTO", to);
    if (reply.isPositive()) return;
    // Callers treat "the new name exists" apart from other refusals, and servers word it
    // every way, so ask whether the target is there.
    bool exists = QString::fromStdString(reply.text()).contains(QLatin1String("exist"), Qt::CaseInsensitive);
    if (!exists && m_control) exists = renameTargetExists(from, to);
    if (exists)
      throw FtpError(FailureKind::TargetExists, targetExistsText(to) + QStringLiteral(": ") + fromWire(reply.text()));
    refused("RNTO " + toWire(to), reply);
  });
}

QString Session::sendRaw(const QString& line, const QString& localPath) {
  requireConnected();
  const std::string wire = toWire(line);
  const std::string verb = proto::commandVerb(wire);
  if (verb == "RETR" || verb == "STOR") {
    // A file needs a data connection and a local end; the typed line goes out as it is.
    if (localPath.isEmpty())
      throw FtpError(FailureKind::InvalidArgument,
                     QStringLiteral("%1 was not sent: it needs a local file").arg(QString::fromStdString(verb)));
    const QString name = fromWire(proto::commandArgument(wire));
    guarded([&] {
      if (verb == "RETR") receiveFileImpl(name, 0, localPath, ListedFile(), wire);
      else sendFileImpl(localPath, 0, name, false, wire);
    });
    return {};
  }
  if (verb == "LIST" || verb == "NLST" || verb == "MLSD") {
    // A listing needs a data connection; its lines go to the log.
    std::size_t at = wire.find_first_not_of(' ') + verb.size();
    while (at < wire.size() && wire[at] == ' ') ++at;
    const std::string argument = at < wire.size() ? wire.substr(at) : std::string();
    return guarded([&] { return rawListing(verb, argument); });
  }
  return guarded([&] {
    const std::string formatted = proto::formatRawLine(wire);
    drainStaleReplies();
    sendCommand(formatted);
    proto::Reply reply = readReply();
    while (reply.isPreliminary()) reply = readReply();
    if (verb == "TYPE") m_type = 0;
    else if (verb == "REST" && reply.code == 350) m_restPending = true;
    else if (verb == "QUIT") dropConnection();
    return fromWire(reply.text());
  });
}

} // namespace tidewick::ftp
