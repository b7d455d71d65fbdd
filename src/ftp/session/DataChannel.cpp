// Data connections. Passive mode asks EPSV first (it works over IPv6 and through NAT) and falls
// back to PASV; active mode offers EPRT first and falls back to PORT. Through a SOCKS proxy only
// passive mode works, so active requests are served passively.
//
// The address in a PASV reply is not trusted: a server could name any host and so use us to
// reach it (the FTP bounce problem), and servers behind NAT often name a private address that is
// useless anyway. We always connect to the address the control connection reached.

#include "ftp/session/Session.h"

#include "ftp/proto/Command.h"

#include <asio/ip/address.hpp>

namespace tidewick::ftp {

namespace {

QString fromWire(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool isNumericAddress(const std::string& host) {
  std::error_code ec;
  asio::ip::make_address(host, ec);
  return !ec;
}

} // namespace

Session::Transfer::~Transfer() {
  std::lock_guard lock(session.m_streamMutex);
  if (session.m_listener == listener.get()) session.m_listener = nullptr;
}

std::string Session::dataHost() const {
  // Through a proxy the proxy connects on our behalf, to the host the control connection named.
  return m_settings.proxy.kind != ProxyKind::None ? m_settings.host.trimmed().toStdString() : m_peerAddress;
}

std::unique_ptr<net::Stream> Session::connectStream(const std::string& host, std::uint16_t port) {
  auto tcp = net::Connector::newStream();
  net::TcpStream* raw = tcp.get();
  {
    std::lock_guard lock(m_streamMutex);
    m_data = std::move(tcp);
  }
  if (m_abort.load()) raw->interrupt();
  try {
    m_connector.connect(*raw, host, port);
  } catch (const net::NetError& e) {
    if (e.kind() == net::NetError::Kind::Interrupted) throw;
    closeData();
    throw FtpError(
        e.kind() == net::NetError::Kind::Proxy ? FailureKind::ProxyFailed : FailureKind::DataConnectionFailed,
        QStringLiteral("Cannot open the data connection: %1").arg(QString::fromStdString(e.what())));
  }
  raw->setTimeout(m_settings.idleTimeout);
  raw->setNoDelay(true); // the last part of each block goes out at once, not after an ACK
  std::unique_ptr<net::Stream> out;
  {
    std::lock_guard lock(m_streamMutex);
    out = std::move(m_data);
  }
  return out;
}

void Session::openPassive() {
  const std::string host = dataHost();
  std::optional<std::uint16_t> port;
  if (!m_epsvRefused) {
    const proto::Reply reply = commandRaw("EPSV", {});
    if (reply.code == 229) {
      for (const auto& line : reply.lines)
        if (!port) port = proto::parseEpsv(line);
      if (!port) log(QStringLiteral("The server's EPSV reply holds no usable port; trying PASV"));
    }
    if (!port) m_epsvRefused = true;
  }
  if (!port) {
    if (m_peerV6 && m_settings.proxy.kind == ProxyKind::None)
      throw FtpError(FailureKind::DataConnectionFailed,
                     QStringLiteral("The server refused EPSV, and PASV cannot work over IPv6"));
    const proto::Reply reply = commandRaw("PASV", {});
    if (reply.code != 227) refused("PASV", reply, FailureKind::DataConnectionFailed);
    std::optional<proto::PassiveAddress> address;
    for (const auto& line : reply.lines)
      if (!address) address = proto::parsePasv(line);
    if (!address)
      throw FtpError(FailureKind::BadReply,
                     QStringLiteral("The server's PASV reply holds no address: %1").arg(fromWire(reply.text())));
    if (address->host != host && isNumericAddress(host))
      log(QStringLiteral("The server named %1 for the data connection; connecting to %2, the server's own address")
              .arg(QString::fromStdString(address->host), QString::fromStdString(host)));
    port = address->port;
  }
  auto stream = connectStream(host, *port);
  std::lock_guard lock(m_streamMutex);
  m_data = std::move(stream);
}

void Session::openActive(std::unique_ptr<net::TcpListener>& listener) {
  const net::Endpoint local = m_control->localEndpoint();
  listener = std::make_unique<net::TcpListener>();
  try {
    listener->listen(local.address);
  } catch (const net::NetError& e) {
    throw FtpError(
        FailureKind::DataConnectionFailed,
        QStringLiteral("Cannot open a port for the data connection: %1").arg(QString::fromStdString(e.what())));
  }
  {
    std::lock_guard lock(m_streamMutex);
    m_listener = listener.get();
  }
  if (m_abort.load()) listener->interrupt();
  const net::Endpoint ep = listener->localEndpoint();
  if (!m_eprtRefused) {
    const proto::Reply reply = commandRaw("EPRT", proto::eprtArgument(ep.address, ep.v6, ep.port));
    if (reply.isPositive()) return;
    m_eprtRefused = true;
  }
  if (ep.v6)
    throw FtpError(FailureKind::DataConnectionFailed,
                   QStringLiteral("The server refused EPRT, and PORT cannot name an IPv6 address"));
  const proto::Reply reply = commandRaw("PORT", proto::portArgument(ep.address, ep.port));
  if (!reply.isPositive()) refused("PORT", reply, FailureKind::DataConnectionFailed);
}

proto::Reply Session::startTransfer(const std::string& verb, const std::string& argument, Transfer& transfer) {
  const std::string wire = proto::formatCommand(verb, argument); // refuse before anything opens
  const bool viaProxy = m_settings.proxy.kind != ProxyKind::None;
  if (!m_settings.passive && viaProxy && !m_proxyActiveNoted) {
    log(QStringLiteral("Active mode cannot work through the proxy; using passive mode"));
    m_proxyActiveNoted = true;
  }
  if (m_settings.passive || viaProxy) openPassive();
  else openActive(transfer.listener);

  drainStaleReplies();
  sendCommand(wire);
  proto::Reply reply = readReply();
  if (reply.isPreliminary()) {
    if (transfer.listener) {
      std::unique_ptr<net::TcpStream> accepted;
      try {
        accepted = transfer.listener->accept(m_settings.idleTimeout);
      } catch (const net::NetError& e) {
        if (e.kind() == net::NetError::Kind::Interrupted) throw;
        throw FtpError(FailureKind::DataConnectionFailed, QString::fromStdString(e.what()));
      }
      const std::string from = accepted->remoteEndpoint().address;
      if (from != m_peerAddress)
        throw FtpError(
            FailureKind::DataConnectionFailed,
            QStringLiteral("The data connection came from %1, not from the server").arg(QString::fromStdString(from)));
      accepted->setTimeout(m_settings.idleTimeout);
      accepted->setNoDelay(true);
      {
        std::lock_guard lock(m_streamMutex);
        m_data = std::move(accepted);
        m_listener = nullptr;
      }
      transfer.listener.reset();
      if (m_abort.load()) m_data->interrupt();
    }
    // The server says it is ready; it shakes hands on the data connection only now.
    if (m_protectData) secureData();
    return reply;
  }
  closeData();
  if (reply.isPositive()) transfer.finished = true;
  return reply;
}

void Session::finishTransfer(Transfer& transfer, const std::string& what) {
  closeData();
  if (transfer.finished) return;
  proto::Reply reply = readReply();
  while (reply.isPreliminary()) reply = readReply();
  transfer.finished = true;
  if (!reply.isPositive()) refused(what, reply, FailureKind::TransferFailed);
}

void Session::closeData() {
  std::unique_ptr<net::Stream> data;
  {
    std::lock_guard lock(m_streamMutex);
    data = std::move(m_data);
  }
  // Destroyed outside the lock; closing a socket never blocks here.
}

} // namespace tidewick::ftp
