#include "ftp/net/Connector.h"

namespace tidewick::ftp::net {

void Connector::connect(TcpStream& tcp, const std::string& host, std::uint16_t port) const {
  if (!viaProxy()) {
    tcp.connect(host, port, m_connectTimeout);
    return;
  }
  tcp.connect(m_proxy.host, m_proxy.port, m_connectTimeout);
  tcp.setTimeout(m_connectTimeout);
  socksConnect(tcp, m_proxy, host, port);
}

std::unique_ptr<TlsStream> Connector::secure(std::unique_ptr<Stream> plain, TlsOptions options) {
  if (!m_tls) m_tls = std::make_shared<TlsContext>();
  return std::make_unique<TlsStream>(std::move(plain), *m_tls, std::move(options));
}

} // namespace tidewick::ftp::net
