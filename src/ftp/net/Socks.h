#pragma once

#include "ftp/FtpTypes.h"
#include "ftp/net/Stream.h"

namespace tidewick::ftp::net {

struct ProxySettings {
  ProxyKind kind = ProxyKind::None;
  std::string host;
  std::uint16_t port = 1080;
  std::string user;
  std::string password; // never logged
};

// Asks a SOCKS proxy, already reached through `stream`, to connect on to target. SOCKS 4 sends the
// user name as its user id and needs an IPv4 target, so a host name is resolved here; SOCKS 5
// passes names on to the proxy and offers user/password authentication (RFC 1928, RFC 1929) when a
// user name is set. Throws NetError::Kind::Proxy with the proxy's reason when it refuses.
void socksConnect(Stream& stream, const ProxySettings& proxy, const std::string& targetHost, std::uint16_t targetPort);

} // namespace tidewick::ftp::net
