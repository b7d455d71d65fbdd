// TLS with OpenSSL over our own streams. OpenSSL reads and writes through a small BIO of ours:
// reads go to the stream below, which does every wait, so timeouts and abort work as they do on a
// plain socket; writes are gathered and leave in large blocks, not one send() per 16 KiB record.
//
// What makes it hard: a C++ exception must never pass through OpenSSL's C frames. The BIO catches
// what the stream below throws, tells OpenSSL "try again" for a timeout or an interrupt (so the
// connection stays usable, as a plain one does) and "failed" for anything else, and the call that
// went into OpenSSL rethrows it once it is back.
//
// Waiting while idle is the other trap: after the handshake a TLS 1.3 server sends session tickets,
// which make the socket readable without giving a single byte to read. available() and
// waitReadable() therefore decrypt what has come, without waiting, before they answer.

#include "ftp/net/TlsStream.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <exception>
#include <utility>

#include <arpa/inet.h>

namespace tidewick::ftp::net {

class TlsSession {
public:
  explicit TlsSession(SSL_SESSION* session) : m_session(session) {}
  ~TlsSession() { SSL_SESSION_free(m_session); }
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;
  SSL_SESSION* native() const { return m_session; }

private:
  SSL_SESSION* m_session;
};

struct TlsContext::Impl {
  SSL_CTX* ctx = nullptr;
  ~Impl() { SSL_CTX_free(ctx); }
};

namespace {

using Clock = std::chrono::steady_clock;

// What one write hands to OpenSSL at a time, and so about what leaves in one send().
constexpr std::size_t writeBlock = 256 * 1024;

// The reason of the earliest queued OpenSSL error ("wrong version number"); the queue is emptied.
std::string openSslError() {
  std::string text;
  while (const unsigned long code = ERR_get_error()) {
    if (!text.empty()) continue;
    const char* reason = ERR_reason_error_string(code);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "error %lx", code);
    text = reason ? reason : buffer;
  }
  return text.empty() ? std::string("an unknown TLS error") : text;
}

bool isAddress(const std::string& host) {
  unsigned char bytes[sizeof(in6_addr)];
  return ::inet_pton(AF_INET, host.c_str(), bytes) == 1 || ::inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

std::string nameText(const X509_NAME* name) {
  BIO* memory = BIO_new(BIO_s_mem());
  if (!memory) return {};
  X509_NAME_print_ex(memory, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
  char* data = nullptr;
  const long length = BIO_get_mem_data(memory, &data);
  std::string text(data, data ? static_cast<std::size_t>(length) : 0);
  BIO_free(memory);
  return text;
}

std::int64_t epochSeconds(const ASN1_TIME* time) {
  std::tm tm{};
  if (!time || ASN1_TIME_to_tm(time, &tm) != 1) return 0;
  return static_cast<std::int64_t>(::timegm(&tm));
}

std::string dateText(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  ::gmtime_r(&t, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d", &tm);
  return buffer;
}

std::string problemText(int error, int depth, const PeerCertificate& certificate, const std::string& host) {
  switch (error) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
      return "The certificate is self-signed: no certificate authority vouches for it";
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
      return "The certificate was issued by an authority this system does not trust";
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return "The certificate was issued by an authority this system does not know";
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return depth == 0 ? "The certificate expired on " + dateText(certificate.notAfter)
                        : std::string("A certificate of the issuing chain has expired");
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return depth == 0 ? "The certificate is not valid before " + dateText(certificate.notBefore)
                        : std::string("A certificate of the issuing chain is not valid yet");
    case X509_V_ERR_HOSTNAME_MISMATCH: return "The certificate is not for the host " + host;
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return "The certificate is not for the address " + host;
    default: return std::string("The certificate cannot be verified: ") + X509_verify_cert_error_string(error);
  }
}

} // namespace

struct TlsStream::Impl {
  std::unique_ptr<Stream> lower;
  TlsOptions options;
  SSL* ssl = nullptr;
  std::string out;                               // gathered for sending
  std::exception_ptr thrown;                     // what the stream below threw while OpenSSL was calling it
  std::exception_ptr failure;                    // found while looking ahead; the next read reports it
  bool nonBlocking = false;                      // reads from below report "try again" instead of waiting
  bool lowerEnded = false;                       // the stream below reported its end
  bool ended = false;                            // close_notify came, or the stream ended without one
  bool broken = false;                           // failed, or part of a record went out: it cannot go on
  std::vector<std::pair<int, int>> verifyErrors; // {X509_V_ERR_..., depth}

  ~Impl() {
    // OpenSSL takes a connection freed without a shutdown for a failed one and makes its session
    // unusable, and with it the ticket this connection brought (a TLS 1.3 server hands out new
    // ones on every data connection). A data connection closed after its transfer, or cut short
    // by an abort, did not fail; one that broke the TLS protocol did.
    if (!broken) SSL_set_shutdown(ssl, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    SSL_free(ssl);
  }

  void flush() {
    if (out.empty()) return;
    try {
      lower->writeAll(out.data(), out.size());
    } catch (...) {
      broken = true;
      out.clear();
      throw;
    }
    out.clear();
  }

  void rethrowThrown() {
    if (!thrown) return;
    ERR_clear_error();
    std::exception_ptr e = std::exchange(thrown, nullptr);
    std::rethrow_exception(e);
  }

  void throwIfUnusable() {
    if (broken) throw NetError(NetError::Kind::Reset, "The encrypted connection broke off");
  }

  enum class ReadEnd { Retry, Ended };
  // After a read or peek that gave nothing: whether to try again (possible only while not waiting)
  // or the stream ended. Throws for anything else.
  ReadEnd settleRead(int result) {
    const int error = SSL_get_error(ssl, result);
    rethrowThrown();
    switch (error) {
      case SSL_ERROR_WANT_READ:
      case SSL_ERROR_WANT_WRITE: ERR_clear_error(); return ReadEnd::Retry;
      case SSL_ERROR_ZERO_RETURN: ended = true; return ReadEnd::Ended;
      default: break;
    }
    if (ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
      // The peer closed without close_notify. FTP knows the end of a file from the reply on the
      // (protected) control connection and from the size, as over plain FTP; most servers end
      // data connections this way.
      ERR_clear_error();
      ended = true;
      return ReadEnd::Ended;
    }
    broken = true;
    throw NetError(NetError::Kind::Tls, "The encrypted connection failed: " + openSslError());
  }

  // Decrypts what has arrived without waiting for more. Failures wait for the next read.
  void lookAhead() {
    if (ended || failure || broken) return;
    nonBlocking = true;
    try {
      ERR_clear_error();
      char byte = 0;
      std::size_t n = 0;
      if (SSL_peek_ex(ssl, &byte, 1, &n) != 1) settleRead(0);
    } catch (...) {
      failure = std::current_exception();
    }
    nonBlocking = false;
    flush();
  }

  // Reads what is decrypted already, or decryptable from what has arrived, into buffer.
  std::size_t readWithoutWaiting(char* buffer, std::size_t size) {
    std::size_t total = 0;
    nonBlocking = true;
    try {
      while (total < size && (SSL_pending(ssl) > 0 || SSL_has_pending(ssl) == 1)) {
        ERR_clear_error();
        std::size_t n = 0;
        if (SSL_read_ex(ssl, buffer + total, size - total, &n) == 1) {
          total += n;
          continue;
        }
        if (settleRead(0) == ReadEnd::Retry) break;
      }
    } catch (...) {
      failure = std::current_exception();
    }
    nonBlocking = false;
    flush();
    return total;
  }
};

namespace {

TlsStream::Impl* implOf(BIO* bio) { return static_cast<TlsStream::Impl*>(BIO_get_data(bio)); }

int bioWrite(BIO* bio, const char* data, std::size_t size, std::size_t* written) {
  BIO_clear_retry_flags(bio);
  implOf(bio)->out.append(data, size);
  *written = size;
  return 1;
}

int bioRead(BIO* bio, char* buffer, std::size_t size, std::size_t* read) {
  TlsStream::Impl* d = implOf(bio);
  BIO_clear_retry_flags(bio);
  *read = 0;
  try {
    d->flush(); // whatever answers this read waits for must be out first
    if (d->lowerEnded) return 0;
    if (d->nonBlocking && d->lower->buffered() == 0 && !d->lower->waitReadable(Millis(0))) {
      BIO_set_retry_read(bio);
      return 0;
    }
    const std::size_t n = d->lower->readSome(buffer, size);
    if (n == 0) {
      d->lowerEnded = true;
      return 0;
    }
    *read = n;
    return 1;
  } catch (const NetError& e) {
    d->thrown = std::current_exception();
    if (e.kind() == NetError::Kind::Interrupted || e.kind() == NetError::Kind::Timeout) BIO_set_retry_read(bio);
  } catch (...) {
    d->thrown = std::current_exception();
  }
  return 0;
}

long bioControl(BIO* bio, int command, long, void*) {
  TlsStream::Impl* d = implOf(bio);
  switch (command) {
    case BIO_CTRL_FLUSH:
      try {
        d->flush();
        return 1;
      } catch (...) {
        d->thrown = std::current_exception();
        return 0;
      }
    case BIO_CTRL_EOF: return d->lowerEnded ? 1 : 0;
    case BIO_CTRL_WPENDING: return static_cast<long>(d->out.size());
    default: return 0;
  }
}

int bioCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

int bioDestroy(BIO*) { return 1; }

BIO_METHOD* streamBioMethod() {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tidewick stream");
    if (m) {
      BIO_meth_set_write_ex(m, bioWrite);
      BIO_meth_set_read_ex(m, bioRead);
      BIO_meth_set_ctrl(m, bioControl);
      BIO_meth_set_create(m, bioCreate);
      BIO_meth_set_destroy(m, bioDestroy);
    }
    return m;
  }();
  return method;
}

// Every certificate problem is noted and the handshake goes on; the session decides afterwards,
// asking the user when it has to, before anything that matters is sent.
int verifyCallback(int ok, X509_STORE_CTX* store) {
  if (ok) return 1;
  SSL* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* d = ssl ? static_cast<TlsStream::Impl*>(SSL_get_app_data(ssl)) : nullptr;
  if (d) d->verifyErrors.emplace_back(X509_STORE_CTX_get_error(store), X509_STORE_CTX_get_error_depth(store));
  return 1;
}

int newSessionCallback(SSL* ssl, SSL_SESSION* session) {
  auto* d = static_cast<TlsStream::Impl*>(SSL_get_app_data(ssl));
  if (!d || !d->options.sessions) return 0;
  d->options.sessions->add(std::make_shared<TlsSession>(session)); // keeps the reference OpenSSL hands over
  return 1;
}

} // namespace

TlsContext::TlsContext() : d(std::make_unique<Impl>()) {
  d->ctx = SSL_CTX_new(TLS_client_method());
  if (!d->ctx) throw NetError(NetError::Kind::Tls, "TLS cannot be set up: " + openSslError());
  SSL_CTX_set_min_proto_version(d->ctx, TLS1_2_VERSION);
  SSL_CTX_set_max_proto_version(d->ctx, TLS1_3_VERSION);
  SSL_CTX_set_options(d->ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION);
  SSL_CTX_set_default_verify_paths(d->ctx);
  SSL_CTX_set_verify(d->ctx, SSL_VERIFY_PEER, verifyCallback);
  // Sessions are handed from the control connection to its data connections by hand, never
  // looked up in a cache.
  SSL_CTX_set_session_cache_mode(d->ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
  SSL_CTX_sess_set_new_cb(d->ctx, newSessionCallback);
}

TlsContext::~TlsContext() = default;

void TlsSessionPool::add(std::shared_ptr<const TlsSession> session) {
  constexpr std::size_t kept = 8; // a server that offers more than it takes must not fill memory
  if (m_unused.size() == kept) m_unused.erase(m_unused.begin());
  m_unused.push_back(std::move(session));
}

std::shared_ptr<const TlsSession> TlsSessionPool::take() {
  if (!m_unused.empty()) {
    m_last = std::move(m_unused.back());
    m_unused.pop_back();
  }
  return m_last;
}

TlsStream::TlsStream(std::unique_ptr<Stream> lower, const TlsContext& context, TlsOptions options)
    : d(std::make_unique<Impl>()) {
  d->lower = std::move(lower);
  d->options = std::move(options);
  BIO_METHOD* method = streamBioMethod();
  d->ssl = SSL_new(context.d->ctx);
  BIO* bio = method ? BIO_new(method) : nullptr;
  if (!d->ssl || !bio) {
    BIO_free(bio);
    throw NetError(NetError::Kind::Tls, "TLS cannot be set up: " + openSslError());
  }
  SSL_set_app_data(d->ssl, d.get());
  BIO_set_data(bio, d.get());
  SSL_set_bio(d->ssl, bio, bio);

  const std::string& name = d->options.serverName;
  if (isAddress(name)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(d->ssl), name.c_str());
  } else if (!name.empty()) {
    SSL_set_tlsext_host_name(d->ssl, const_cast<char*>(name.c_str()));
    SSL_set_hostflags(d->ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    SSL_set1_host(d->ssl, name.c_str());
  }
  if (d->options.resume && d->options.sessions)
    if (const auto session = d->options.sessions->take()) SSL_set_session(d->ssl, session->native());
  // No read-ahead on data connections: with a 256 KiB read-ahead buffer, 1 GiB downloads took half
  // again as long as curl's (bench/tls.sh); record by record they keep pace.
  SSL_set_connect_state(d->ssl);
}

TlsStream::~TlsStream() = default;

void TlsStream::handshake() {
  const auto closed = [] {
    return NetError(NetError::Kind::Tls, "The server closed the connection during the TLS handshake");
  };
  for (;;) {
    ERR_clear_error();
    const int result = SSL_do_handshake(d->ssl);
    try {
      d->flush();
      if (result == 1) return;
      d->rethrowThrown();
    } catch (const NetError& e) {
      if (e.kind() == NetError::Kind::Reset) throw closed();
      throw;
    }
    const int error = SSL_get_error(d->ssl, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) continue;
    if (d->lowerEnded) {
      ERR_clear_error();
      throw closed();
    }
    throw NetError(NetError::Kind::Tls, "The TLS handshake failed: " + openSslError());
  }
}

PeerCertificate TlsStream::peerCertificate() const {
  PeerCertificate out;
  X509* certificate = SSL_get0_peer_certificate(d->ssl);
  if (!certificate) {
    out.problems.push_back("The server sent no certificate");
    return out;
  }
  out.subject = nameText(X509_get_subject_name(certificate));
  out.issuer = nameText(X509_get_issuer_name(certificate));
  out.notBefore = epochSeconds(X509_get0_notBefore(certificate));
  out.notAfter = epochSeconds(X509_get0_notAfter(certificate));
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (X509_digest(certificate, EVP_sha256(), digest, &length) == 1) {
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned int i = 0; i < length; ++i) {
      if (i > 0) out.sha256 += ':';
      out.sha256 += hex[digest[i] >> 4];
      out.sha256 += hex[digest[i] & 0xf];
    }
  }
  std::vector<std::pair<int, int>> errors = d->verifyErrors;
  // A resumed session verifies nothing afresh; it carries the result of its first handshake.
  const long result = SSL_get_verify_result(d->ssl);
  if (errors.empty() && result != X509_V_OK) errors.emplace_back(static_cast<int>(result), 0);
  for (const auto& [error, depth] : errors) {
    std::string text = problemText(error, depth, out, d->options.serverName);
    if (std::find(out.problems.begin(), out.problems.end(), text) == out.problems.end())
      out.problems.push_back(std::move(text));
  }
  return out;
}

std::string TlsStream::protocolVersion() const { return SSL_get_version(d->ssl); }

std::string TlsStream::cipher() const {
  const char* name = SSL_get_cipher_name(d->ssl);
  return name ? name : "";
}

bool TlsStream::resumed() const { return SSL_session_reused(d->ssl) == 1; }

std::size_t TlsStream::readSome(char* buffer, std::size_t size) {
  if (d->failure) std::rethrow_exception(std::exchange(d->failure, nullptr));
  if (d->ended) return 0;
  d->throwIfUnusable();
  std::size_t got = 0;
  for (;;) {
    ERR_clear_error();
    if (SSL_read_ex(d->ssl, buffer, size, &got) == 1) break;
    const Impl::ReadEnd end = d->settleRead(0);
    d->flush();
    if (end == Impl::ReadEnd::Ended) return 0;
  }
  d->flush();
  // A data connection takes every record that is here already: one call, one large block.
  if (d->options.bulk && got < size) got += d->readWithoutWaiting(buffer + got, size - got);
  return got;
}

void TlsStream::writeAll(const char* data, std::size_t size) {
  d->throwIfUnusable();
  while (size > 0) {
    const std::size_t block = std::min(size, writeBlock);
    ERR_clear_error();
    std::size_t written = 0;
    if (SSL_write_ex(d->ssl, data, block, &written) != 1) {
      d->broken = true;
      d->out.clear();
      d->rethrowThrown();
      throw NetError(NetError::Kind::Tls, "The encrypted connection failed: " + openSslError());
    }
    d->flush();
    data += written;
    size -= written;
  }
}

std::size_t TlsStream::available() {
  if (buffered() > 0) return buffered();
  if (d->lower->available() == 0 && d->lower->buffered() == 0) return 0;
  d->lookAhead();
  return buffered();
}

bool TlsStream::waitReadable(Millis wait) {
  const auto deadline = Clock::now() + wait;
  for (;;) {
    if (buffered() > 0) return true;
    const auto left = std::max(Millis(0), std::chrono::ceil<Millis>(deadline - Clock::now()));
    if (!d->lower->waitReadable(left)) return false;
    d->lookAhead();
    if (buffered() > 0) return true;
    if (Clock::now() >= deadline) return false;
  }
}

std::size_t TlsStream::buffered() const {
  return static_cast<std::size_t>(std::max(0, SSL_pending(d->ssl))) + (d->ended || d->failure ? 1 : 0);
}

void TlsStream::shutdownSend() {
  if (!d->broken && !d->ended) {
    ERR_clear_error();
    const int result = SSL_shutdown(d->ssl);
    d->flush();
    if (result < 0) {
      d->rethrowThrown();
      ERR_clear_error();
    }
  }
  d->lower->shutdownSend();
  if (d->broken) return;
  try {
    char sink[4096];
    while (readSome(sink, sizeof sink) > 0) {}
  } catch (const NetError& e) {
    if (e.kind() == NetError::Kind::Interrupted) throw;
    // The upload is out either way; the reply on the control connection tells how it went.
  }
}

void TlsStream::close() { d->lower->close(); }

bool TlsStream::isOpen() const { return d->lower->isOpen(); }

void TlsStream::interrupt() { d->lower->interrupt(); }

void TlsStream::clearInterrupt() { d->lower->clearInterrupt(); }

void TlsStream::setTimeout(Millis timeout) { d->lower->setTimeout(timeout); }

Millis TlsStream::timeout() const { return d->lower->timeout(); }

Endpoint TlsStream::localEndpoint() const { return d->lower->localEndpoint(); }

Endpoint TlsStream::remoteEndpoint() const { return d->lower->remoteEndpoint(); }

int TlsStream::nativeHandle() const { return d->lower->nativeHandle(); }

} // namespace tidewick::ftp::net
