// Connecting, the folder commands and listings of an SFTP session. Transfers are in
// SftpTransfer.cpp, folder walks in SftpTree.cpp.

#include "ftp/sftp/SftpSession.h"

#include "ftp/proto/Paths.h"

#include <QMap>

#include <algorithm>

namespace tidewick::ftp::sftp {

namespace {

constexpr std::uint32_t protocolVersion = 3;

QString fromWire(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// "[::1]" names the address inside the brackets.
QString bareHost(const QString& host) {
  const QString trimmed = host.trimmed();
  if (trimmed.size() > 2 && trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']')))
    return trimmed.mid(1, trimmed.size() - 2);
  return trimmed;
}

} // namespace

SftpSession::SftpSession(SessionEvents& events, SshPrompts& prompts)
    : m_events(events), m_ssh([this](const QString& line) { log(line); }, prompts, m_abort) {}

SftpSession::~SftpSession() = default;

void SftpSession::applySettings(const SessionSettings& settings) {
  m_settings = settings;
  m_settings.host = bareHost(settings.host);
  m_logFile.setPath(settings.logFile);
}

void SftpSession::beginOperation() {
  m_abort.store(false);
  m_operationTotal = 0;
}

void SftpSession::log(const QString& line) {
  m_logFile.write(line);
  m_events.logLine(line);
}

void SftpSession::requireConnected() const {
  if (!m_connected) throw FtpError(FailureKind::NotConnected, QStringLiteral("Not connected to a server"));
}

void SftpSession::requestAbort() {
  m_abort.store(true);
  m_ssh.interrupt();
}

void SftpSession::guarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const FtpError& e) {
    if (e.kind() == FailureKind::Aborted || m_abort.load()) {
      log(QStringLiteral("Aborted"));
      throw FtpError(FailureKind::Aborted, QStringLiteral("The operation was aborted"));
    }
    if (e.kind() == FailureKind::ConnectionLost || e.kind() == FailureKind::Timeout ||
        e.kind() == FailureKind::BadReply)
      dropConnection(e.description());
    throw;
  }
}

void SftpSession::dropConnection(const QString& why) {
  m_ssh.close();
  const bool was = m_connected;
  m_connected = false;
  m_folder.clear();
  if (!why.isEmpty()) log(why);
  if (was) {
    log(QStringLiteral("Disconnected from %1").arg(m_settings.host));
    m_events.disconnected();
  }
}

void SftpSession::connect() {
  if (m_connected) throw FtpError(FailureKind::Busy, QStringLiteral("Already connected to %1").arg(m_settings.host));
  if (m_settings.host.isEmpty()) throw FtpError(FailureKind::InvalidArgument, QStringLiteral("No server was given"));
  if (m_settings.port < 1 || m_settings.port > 65535)
    throw FtpError(FailureKind::InvalidArgument, QStringLiteral("The port %1 is not valid").arg(m_settings.port));
  if (m_settings.proxy.kind != ProxyKind::None && m_settings.proxy.host.empty())
    throw FtpError(FailureKind::InvalidArgument, QStringLiteral("No proxy address is set"));
  log(QStringLiteral("Connecting to %1 port %2 (SFTP)").arg(m_settings.host).arg(m_settings.port));
  m_ssh.open(m_settings);
  try {
    m_ssh.write(Request::init(protocolVersion).finish());
    const Reply version = m_ssh.read(m_settings.idleTimeout);
    if (version.type != Packet::Version)
      throw FtpError(FailureKind::BadReply, QStringLiteral("The server did not start SFTP"));
    FieldReader fields(version.body);
    const std::uint32_t spoken = fields.u32();
    if (spoken < protocolVersion)
      throw FtpError(FailureKind::BadReply, QStringLiteral("The server speaks SFTP version %1 only").arg(spoken));
    m_connected = true;
    m_folder = realPath(QStringLiteral("."));
  } catch (const WireError& e) {
    dropConnection();
    throw FtpError(FailureKind::BadReply, QString::fromStdString(e.what()));
  } catch (const FtpError&) {
    m_ssh.close();
    m_connected = false;
    throw;
  }
  log(QStringLiteral("Connected to %1; the folder is %2").arg(m_settings.host, m_folder));
}

void SftpSession::disconnect() { shutdown(net::Millis(1000)); }

void SftpSession::shutdown(net::Millis) {
  if (m_connected) dropConnection();
  else m_ssh.close();
}

int SftpSession::controlHandle() const { return m_connected ? m_ssh.handle() : -1; }

void SftpSession::checkIdle() {
  if (!m_connected) return;
  if (!m_ssh.stillOpen()) {
    dropConnection(QStringLiteral("The server closed the connection"));
    return;
  }
  // Whatever is there answers requests given up on (an aborted transfer's reads and writes).
  try {
    while (m_ssh.tryRead(net::Millis(0))) {}
  } catch (const FtpError& e) {
    dropConnection(e.description());
  }
}

// ---- requests --------------------------------------------------------------------------------

std::uint32_t SftpSession::send(Request&& request) {
  const std::string& bytes = request.finish();
  const std::uint32_t id = (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[5])) << 24) |
                           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[6])) << 16) |
                           (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[7])) << 8) |
                           static_cast<unsigned char>(bytes[8]);
  m_ssh.write(bytes);
  return id;
}

Reply SftpSession::await(std::uint32_t id) {
  for (;;) {
    Reply reply = m_ssh.read(m_settings.idleTimeout);
    if (reply.id == id && reply.type != Packet::Version) return reply;
    // An answer to a request given up on earlier.
  }
}

void SftpSession::refused(const QString& what, const Reply& reply) {
  QString reason;
  try {
    const Status status = parseStatus(reply);
    reason = status.message.empty() ? QString::fromStdString(statusText(status.code)) : fromWire(status.message);
  } catch (const WireError&) {
    reason = QStringLiteral("the server's answer made no sense");
  }
  throw FtpError(FailureKind::CommandRefused, QStringLiteral("%1 failed: %2").arg(what, reason));
}

void SftpSession::expectOk(const Reply& reply, const QString& what) {
  if (reply.type == Packet::Status && parseStatus(reply).code == StatusCode::Ok) return;
  refused(what, reply);
}

QString SftpSession::resolve(const QString& name) const {
  if (name.startsWith(QLatin1Char('/'))) return name;
  return proto::joinRemote(m_folder, name);
}

std::string SftpSession::wire(const QString& path) const {
  // Paths travel with their length, so line breaks are harmless; a NUL would cut the name short
  // on the server and name another file.
  if (path.contains(QChar(0)))
    throw FtpError(FailureKind::UnsafeInput, QStringLiteral("The name holds a NUL character; nothing was sent"));
  return path.toUtf8().toStdString();
}

QString SftpSession::realPath(const QString& path) {
  const Reply reply = call(std::move(request(Packet::Realpath).string(wire(path))));
  if (reply.type != Packet::Name) refused(QStringLiteral("Finding %1").arg(path), reply);
  const std::vector<NameEntry> names = parseNames(reply);
  if (names.size() != 1 || names.front().name.empty() || names.front().name[0] != '/')
    throw FtpError(FailureKind::BadReply, QStringLiteral("The server named no absolute folder for %1").arg(path));
  return fromWire(names.front().name);
}

std::optional<Attributes> SftpSession::attributesOf(const QString& path, bool lstat) {
  const Reply reply = call(std::move(request(lstat ? Packet::Lstat : Packet::Stat).string(wire(path))));
  if (reply.type == Packet::Attrs) return parseAttributes(reply);
  if (reply.type == Packet::Status) {
    const StatusCode code = parseStatus(reply).code;
    if (code == StatusCode::NoSuchFile) return std::nullopt;
  }
  refused(QStringLiteral("Looking at %1").arg(path), reply);
}

bool SftpSession::isFolder(const QString& path) {
  const std::optional<Attributes> attributes = attributesOf(path);
  return attributes && attributes->isFolder();
}

std::string SftpSession::openHandle(const QString& path, std::uint32_t flags, const QString& what) {
  Request open = request(Packet::Open);
  open.string(wire(path)).u32(flags).attributes({});
  const Reply reply = call(std::move(open));
  if (reply.type != Packet::Handle) refused(what, reply);
  return parseHandle(reply);
}

void SftpSession::closeHandle(const std::string& handle, const QString& what) {
  expectOk(call(std::move(request(Packet::Close).string(handle))), what);
}

void SftpSession::closeQuietly(const std::string& handle) {
  if (!m_connected) return;
  try {
    send(std::move(request(Packet::Close).string(handle)));
  } catch (const FtpError&) {
    // The connection is going anyway.
  }
}

void SftpSession::readFolder(const QString& path, const std::function<void(NameEntry&&)>& entry) {
  const Reply opened = call(std::move(request(Packet::Opendir).string(wire(path))));
  if (opened.type != Packet::Handle) refused(QStringLiteral("Listing %1").arg(path), opened);
  const std::string handle = parseHandle(opened);
  try {
    for (;;) {
      const Reply reply = call(std::move(request(Packet::Readdir).string(handle)));
      if (reply.type == Packet::Status && parseStatus(reply).code == StatusCode::Eof) break;
      if (reply.type != Packet::Name) refused(QStringLiteral("Listing %1").arg(path), reply);
      for (NameEntry& name : parseNames(reply)) entry(std::move(name));
    }
  } catch (...) {
    closeQuietly(handle);
    throw;
  }
  closeHandle(handle, QStringLiteral("Closing the folder %1").arg(path));
}

FolderItem SftpSession::itemOf(const NameEntry& entry) {
  FolderItem item;
  item.name = fromWire(entry.name);
  const Attributes& a = entry.attributes;
  if (a.flags & Attributes::hasSize)
    item.size = static_cast<qint64>(std::min<std::uint64_t>(a.size, FolderItem::maxSize));
  if (a.flags & Attributes::hasTimes) {
    item.date = QDateTime::fromSecsSinceEpoch(a.mtime, Qt::UTC);
    item.datePrecision = DatePrecision::Second;
  }
  item.kind = static_cast<int>(a.isFolder() ? ItemKind::Folder : a.isLink() ? ItemKind::Link : ItemKind::File);
  if (a.flags & Attributes::hasPermissions) {
    item.details = new FolderItemDetails;
    item.details->permissions = QString::fromStdString(permissionText(a.permissions));
  }
  return item;
}

// ---- operations ------------------------------------------------------------------------------

QString SftpSession::currentFolder() {
  requireConnected();
  return m_folder;
}

void SftpSession::changeFolder(const QString& path) {
  requireConnected();
  if (path.isEmpty()) throw FtpError(FailureKind::InvalidArgument, QStringLiteral("No folder was given"));
  guarded([&] {
    const QString real = realPath(resolve(path));
    if (!isFolder(real))
      throw FtpError(FailureKind::CommandRefused, QStringLiteral("Changing to %1 failed: not a folder").arg(path));
    m_folder = real;
    log(QStringLiteral("Folder: %1").arg(m_folder));
  });
}

void SftpSession::changeToParent() { changeFolder(QStringLiteral("..")); }

void SftpSession::makeFolder(const QString& name) {
  requireConnected();
  guarded([&] {
    const QString path = resolve(name);
    expectOk(call(std::move(request(Packet::Mkdir).string(wire(path)).attributes({}))),
             QStringLiteral("Creating the folder %1").arg(path));
    log(QStringLiteral("Folder %1 created").arg(path));
  });
}

void SftpSession::removeFolder(const QString& name) {
  requireConnected();
  guarded([&] {
    const QString path = resolve(name);
    expectOk(call(std::move(request(Packet::Rmdir).string(wire(path)))),
             QStringLiteral("Removing the folder %1").arg(path));
    log(QStringLiteral("Folder %1 removed").arg(path));
  });
}

void SftpSession::deleteFile(const QString& name) {
  requireConnected();
  guarded([&] {
    const QString path = resolve(name);
    expectOk(call(std::move(request(Packet::Remove).string(wire(path)))), QStringLiteral("Deleting %1").arg(path));
    log(QStringLiteral("%1 deleted").arg(path));
  });
}

void SftpSession::rename(const QString& from, const QString& to) {
  requireConnected();
  if (from.isEmpty() || to.isEmpty()) throw FtpError(FailureKind::InvalidArgument, QStringLiteral("No name was given"));
  guarded([&] {
    const QString source = resolve(from);
    const QString target = resolve(to);
    // Version 3 servers refuse to rename onto an existing name, but not every server keeps to it.
    if (attributesOf(target, true)) throw FtpError(FailureKind::TargetExists, targetExistsText(to));
    expectOk(call(std::move(request(Packet::Rename).string(wire(source)).string(wire(target)))),
             QStringLiteral("Renaming %1 to %2").arg(source, target));
    log(QStringLiteral("%1 renamed to %2").arg(source, target));
  });
}

QString SftpSession::sendRaw(const QString&, const QString&) {
  throw FtpError(FailureKind::CommandRefused,
                 QStringLiteral("Raw FTP commands have no meaning on an SFTP connection; nothing was sent"));
}

void SftpSession::setPermissions(const QString& name, int mode) {
  requireConnected();
  guarded([&] {
    const QString path = resolve(name);
    Attributes attributes;
    attributes.flags = Attributes::hasPermissions;
    attributes.permissions = static_cast<std::uint32_t>(mode) & 07777;
    expectOk(call(std::move(request(Packet::Setstat).string(wire(path)).attributes(attributes))),
             QStringLiteral("Changing the permissions of %1").arg(path));
    log(QStringLiteral("Permissions of %1 set to %2").arg(path, QString::number(mode & 07777, 8)));
  });
}

void SftpSession::list(const QString& pattern, bool report, std::vector<FolderItem>* out) {
  requireConnected();
  guarded([&] {
    std::vector<FolderItem> items;
    qint64 entries = 0;
    qint64 bytes = 0;
    // Items of a folder share the few permission texts they have.
    QMap<QString, QExplicitlySharedDataPointer<FolderItemDetails>> shared;
    readFolder(m_folder, [&](NameEntry&& entry) {
      if (entry.name == "." || entry.name == "..") return;
      bytes += static_cast<qint64>(entry.name.size() + entry.longName.size()) + 64;
      if (++entries > m_settings.listingLimit.entries)
        throw FtpError(FailureKind::TransferFailed, QStringLiteral("The listing is larger than %1 entries; it was "
                                                                   "stopped there")
                                                        .arg(m_settings.listingLimit.entries));
      if (bytes > m_settings.listingLimit.bytes)
        throw FtpError(FailureKind::TransferFailed,
                       QStringLiteral("The listing is larger than %1 bytes; it was stopped there")
                           .arg(m_settings.listingLimit.bytes));
      FolderItem item = itemOf(entry);
      if (!proto::wildcardMatch(pattern, item.name)) return;
      if (item.details) {
        auto& known = shared[item.details->permissions];
        if (known) item.details = known;
        else known = item.details;
      }
      if (report) m_events.listingItem(item);
      if (out) items.push_back(std::move(item));
    });
    if (out) *out = std::move(items);
  });
}

} // namespace tidewick::ftp::sftp
