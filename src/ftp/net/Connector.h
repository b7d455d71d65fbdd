#pragma once

#include "ftp/net/Socks.h"
#include "ftp/net/Stream.h"
#include "ftp/net/TcpStream.h"
#include "ftp/net/TlsStream.h"

#include <memory>
#include <string>

namespace tidewick::ftp::net {

// Where every connection of a session comes from: plain TCP, through the SOCKS proxy when one is
// set, and TLS over either. Connecting is split in steps so that each new stream can be made
// reachable for interrupt() (an abort from another thread) before anything waits on it:
//
//   auto tcp = Connector::newStream();          // keep it where requestAbort() finds it
//   connector.connect(*tcp, host, port);        // straight, or through the proxy
//   auto tls = connector.secure(std::move(tcp), options);   // keep that one there instead
//   tls->handshake();
class Connector {
public:
  // Takes effect for the next connection; the TLS settings made already are kept.
  void configure(ProxySettings proxy, Millis connectTimeout) {
    m_proxy = std::move(proxy);
    m_connectTimeout = connectTimeout;
  }

  bool viaProxy() const { return m_proxy.kind != ProxyKind::None; }
  const ProxySettings& proxy() const { return m_proxy; }

  static std::unique_ptr<TcpStream> newStream() { return std::make_unique<TcpStream>(); }

  // Connects to host:port within the connect timeout; through a proxy, the proxy connects on to
  // host:port. Throws NetError.
  void connect(TcpStream& tcp, const std::string& host, std::uint16_t port) const;

  // TLS over a connected stream, with the settings every TLS connection of this connector shares
  // (made on first use). The handshake is the caller's next step.
  std::unique_ptr<TlsStream> secure(std::unique_ptr<Stream> plain, TlsOptions options);

private:
  ProxySettings m_proxy;
  Millis m_connectTimeout{30000};
  std::shared_ptr<TlsContext> m_tls;
};

} // namespace tidewick::ftp::net
