#pragma once

#include "ftp/net/Stream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tidewick::ftp::net {

// What the server's certificate says, and why it is not trusted when it is not.
struct PeerCertificate {
  std::string subject; // "CN=ftp.example.org,O=Example", UTF-8
  std::string issuer;
  std::int64_t notBefore = 0; // seconds since the epoch, UTC
  std::int64_t notAfter = 0;
  std::string sha256; // of the DER form, upper-case hex pairs joined by ":"
  // Why the system's certificate authorities and the host-name check do not vouch for it, one
  // sentence each; empty when they do.
  std::vector<std::string> problems;
};

// The settings every TLS connection of a session shares: TLS 1.2 and 1.3 only, the system's
// certificate authorities (SSL_CERT_FILE and SSL_CERT_DIR name others), no renegotiation, no
// compression. Made once per session; OpenSSL's shared state is set up on first use.
class TlsContext {
public:
  TlsContext();
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

private:
  friend class TlsStream;
  struct Impl;
  std::unique_ptr<Impl> d;
};

// A TLS session a later connection may resume (what vsftpd's require_ssl_reuse asks of data
// connections: proof that they come from the client of the control connection).
class TlsSession;

// The sessions one server offered on the connections of one FTP session, for its data connections
// to resume. A TLS 1.3 server may take each ticket only once (vsftpd does: a second data connection
// with the same ticket is refused), so the newest unused one goes first; once all are used, the
// last one is offered again, which is what a TLS 1.2 server or one with reusable tickets wants.
class TlsSessionPool {
public:
  void add(std::shared_ptr<const TlsSession> session);
  std::shared_ptr<const TlsSession> take();

private:
  std::vector<std::shared_ptr<const TlsSession>> m_unused; // oldest first
  std::shared_ptr<const TlsSession> m_last;
};

struct TlsOptions {
  // The host name (or address) the user gave: sent as SNI when it is a name, and the certificate
  // must name it.
  std::string serverName;
  // Where every session the server offers on this connection goes; null keeps none.
  std::shared_ptr<TlsSessionPool> sessions;
  // Resume a session taken from `sessions`.
  bool resume = false;
  // Each read hands over every record that has arrived, not one at a time: for data connections.
  bool bulk = false;
};

// TLS over another stream (plain TCP or a SOCKS tunnel), as the client. Every wait happens in the
// stream below, so timeouts and interrupt() behave as there; an interrupted or timed-out read can
// be tried again. What goes out is gathered and written in large blocks.
//
// A certificate the system does not vouch for does not stop the handshake: the caller looks at
// peerCertificate() and decides before it sends anything that matters.
class TlsStream final : public Stream {
public:
  TlsStream(std::unique_ptr<Stream> lower, const TlsContext& context, TlsOptions options);
  ~TlsStream() override;

  // Throws NetError: Kind::Tls when the handshake itself fails, or what the stream below threw.
  void handshake();

  PeerCertificate peerCertificate() const;
  std::string protocolVersion() const; // "TLSv1.3"
  std::string cipher() const;          // "TLS_AES_256_GCM_SHA384"
  bool resumed() const;

  std::size_t readSome(char* buffer, std::size_t size) override;
  void writeAll(const char* data, std::size_t size) override;
  std::size_t available() override;
  bool waitReadable(Millis wait) override;
  std::size_t buffered() const override;
  // Sends TLS's close_notify, then ends the sending side below: the end of an upload, which a
  // strict server tells apart from a connection cut short. Then waits (up to the timeout) for the
  // server to close its side: some servers (pyftpdlib) lose the upload's reply when the
  // connection is torn down under their own close_notify, and a TLS 1.3 server's new session
  // ticket arrives only there.
  void shutdownSend() override;
  void close() override;
  bool isOpen() const override;
  void interrupt() override;
  void clearInterrupt() override;
  void setTimeout(Millis timeout) override;
  Millis timeout() const override;
  Endpoint localEndpoint() const override;
  Endpoint remoteEndpoint() const override;
  int nativeHandle() const override;

  struct Impl;

private:
  std::unique_ptr<Impl> d;
};

} // namespace tidewick::ftp::net
