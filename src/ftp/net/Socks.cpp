#include "ftp/net/Socks.h"

#include <asio/io_context.hpp>
#include <asio/ip/address.hpp>
#include <asio/ip/tcp.hpp>

namespace tidewick::ftp::net {

namespace {

void readExact(Stream& stream, unsigned char* buffer, std::size_t size) {
  while (size > 0) {
    const std::size_t n = stream.readSome(reinterpret_cast<char*>(buffer), size);
    if (n == 0) throw NetError(NetError::Kind::Proxy, "The proxy closed the connection");
    buffer += n;
    size -= n;
  }
}

void send(Stream& stream, const std::string& bytes) { stream.writeAll(bytes.data(), bytes.size()); }

std::string portBytes(std::uint16_t port) { return {static_cast<char>(port >> 8), static_cast<char>(port & 0xff)}; }

std::string v4Target(const std::string& host) {
  std::error_code ec;
  asio::ip::address address = asio::ip::make_address(host, ec);
  if (ec) {
    asio::io_context io;
    asio::ip::tcp::resolver resolver(io);
    const auto results = resolver.resolve(asio::ip::tcp::v4(), host, "", ec);
    if (ec || results.empty())
      throw NetError(NetError::Kind::Resolve, "Cannot find the host " + host + " for the SOCKS 4 proxy");
    address = results.begin()->endpoint().address();
  }
  if (!address.is_v4()) throw NetError(NetError::Kind::Proxy, "A SOCKS 4 proxy cannot reach the IPv6 address " + host);
  const auto bytes = address.to_v4().to_bytes();
  return std::string(bytes.begin(), bytes.end());
}

void socks4(Stream& stream, const ProxySettings& proxy, const std::string& host, std::uint16_t port) {
  if (proxy.user.find('\0') != std::string::npos)
    throw NetError(NetError::Kind::Proxy, "The proxy user name holds a NUL character");
  std::string request = {4, 1};
  request += portBytes(port);
  request += v4Target(host);
  request += proxy.user;
  request += '\0';
  send(stream, request);

  unsigned char reply[8];
  readExact(stream, reply, sizeof reply);
  if (reply[0] != 0) throw NetError(NetError::Kind::Proxy, "The proxy does not speak SOCKS 4");
  switch (reply[1]) {
    case 90: return;
    case 92:
    case 93: throw NetError(NetError::Kind::Proxy, "The SOCKS 4 proxy could not confirm the user id");
    default: throw NetError(NetError::Kind::Proxy, "The SOCKS 4 proxy refused the connection to " + host);
  }
}

const char* socks5ReplyText(unsigned code) {
  switch (code) {
    case 1: return "general SOCKS server failure";
    case 2: return "connection not allowed by ruleset";
    case 3: return "network unreachable";
    case 4: return "host unreachable";
    case 5: return "connection refused";
    case 6: return "TTL expired";
    case 7: return "command not supported";
    case 8: return "address type not supported";
    default: return "unknown failure";
  }
}

void socks5(Stream& stream, const ProxySettings& proxy, const std::string& host, std::uint16_t port) {
  const bool withPassword = !proxy.user.empty();
  if (withPassword && (proxy.user.size() > 255 || proxy.password.size() > 255))
    throw NetError(NetError::Kind::Proxy, "The proxy user name or password is longer than 255 bytes");
  if (host.size() > 255) throw NetError(NetError::Kind::Proxy, "The host name is too long for the SOCKS 5 proxy");

  send(stream, withPassword ? std::string{5, 2, 0, 2} : std::string{5, 1, 0});
  unsigned char choice[2];
  readExact(stream, choice, sizeof choice);
  if (choice[0] != 5) throw NetError(NetError::Kind::Proxy, "The proxy does not speak SOCKS 5");
  if (choice[1] == 0xff)
    throw NetError(NetError::Kind::Proxy, withPassword ? "The SOCKS 5 proxy accepts none of our login methods"
                                                       : "The SOCKS 5 proxy wants a user name and password");
  if (choice[1] == 2) {
    if (!withPassword) throw NetError(NetError::Kind::Proxy, "The SOCKS 5 proxy wants a user name and password");
    std::string auth = {1, static_cast<char>(proxy.user.size())};
    auth += proxy.user;
    auth += static_cast<char>(proxy.password.size());
    auth += proxy.password;
    send(stream, auth);
    unsigned char status[2];
    readExact(stream, status, sizeof status);
    if (status[1] != 0) throw NetError(NetError::Kind::Proxy, "The SOCKS 5 proxy refused the user name or password");
  } else if (choice[1] != 0) {
    throw NetError(NetError::Kind::Proxy, "The SOCKS 5 proxy chose a login method we do not know");
  }

  std::string request = {5, 1, 0};
  std::error_code ec;
  const asio::ip::address address = asio::ip::make_address(host, ec);
  if (!ec && address.is_v4()) {
    const auto bytes = address.to_v4().to_bytes();
    request += '\1';
    request.append(bytes.begin(), bytes.end());
  } else if (!ec) {
    const auto bytes = address.to_v6().to_bytes();
    request += '\4';
    request.append(bytes.begin(), bytes.end());
  } else {
    request += '\3';
    request += static_cast<char>(host.size());
    request += host;
  }
  request += portBytes(port);
  send(stream, request);

  unsigned char head[4];
  readExact(stream, head, sizeof head);
  if (head[0] != 5) throw NetError(NetError::Kind::Proxy, "The proxy answered with a broken SOCKS 5 reply");
  if (head[1] != 0)
    throw NetError(NetError::Kind::Proxy,
                   std::string("The SOCKS 5 proxy could not connect: ") + socks5ReplyText(head[1]));
  std::size_t rest = 0;
  switch (head[3]) {
    case 1: rest = 4; break;
    case 4: rest = 16; break;
    case 3: {
      unsigned char length = 0;
      readExact(stream, &length, 1);
      rest = length;
      break;
    }
    default: throw NetError(NetError::Kind::Proxy, "The proxy answered with a broken SOCKS 5 reply");
  }
  unsigned char bound[260];
  readExact(stream, bound, rest + 2);
}

} // namespace

void socksConnect(Stream& stream, const ProxySettings& proxy, const std::string& targetHost, std::uint16_t targetPort) {
  if (proxy.kind == ProxyKind::Socks4) socks4(stream, proxy, targetHost, targetPort);
  else if (proxy.kind == ProxyKind::Socks5) socks5(stream, proxy, targetHost, targetPort);
}

} // namespace tidewick::ftp::net
