#include "ftp/net/TcpStream.h"

#include <asio.hpp>

#include <atomic>

#include <poll.h>

namespace tidewick::ftp::net {

namespace {

using Clock = std::chrono::steady_clock;

Endpoint toEndpoint(const asio::ip::tcp::endpoint& ep) {
  Endpoint out;
  asio::ip::address address = ep.address();
  if (address.is_v6() && address.to_v6().is_v4_mapped())
    address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
  out.address = address.to_string();
  out.port = ep.port();
  out.v6 = address.is_v6();
  return out;
}

bool wouldBlock(const std::error_code& ec) { return ec == asio::error::would_block || ec == asio::error::try_again; }

// Runs `io` until `done` turns true, the deadline passes or the stream is interrupted. On a
// deadline the pending operation is cancelled through `cancel` and its handler is still run, so
// nothing refers to this stack frame afterwards.
enum class Outcome { Done, Timeout };

template <typename Cancel>
Outcome runUntil(asio::io_context& io, const bool& done, Clock::time_point deadline, Cancel cancel) {
  while (!done) {
    if (io.run_one_until(deadline) == 0 && !done) {
      if (Clock::now() >= deadline) {
        cancel();
        io.restart();
        while (!done && io.run_one() != 0) {}
        return Outcome::Timeout;
      }
      io.restart();
    }
  }
  return Outcome::Done;
}

std::string describe(const std::string& host, std::uint16_t port) {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

} // namespace

struct TcpStream::Impl {
  asio::io_context io;
  asio::ip::tcp::socket socket{io};
  std::atomic<bool> interrupted{false};
  Millis timeout{30000};

  void throwIfInterrupted() {
    if (interrupted.load()) throw NetError(NetError::Kind::Interrupted, "The operation was aborted");
  }

  // Waits until the socket is ready; false when `limit` passed first.
  bool wait(asio::socket_base::wait_type type, Millis limit) {
    throwIfInterrupted();
    bool done = false;
    std::error_code result;
    io.restart();
    socket.async_wait(type, [&](const std::error_code& ec) {
      result = ec;
      done = true;
    });
    const Outcome outcome = runUntil(io, done, Clock::now() + limit, [this] {
      std::error_code ignored;
      socket.cancel(ignored);
    });
    throwIfInterrupted();
    if (outcome == Outcome::Timeout) return false;
    if (result && result != asio::error::operation_aborted) throw NetError(NetError::Kind::Reset, result.message());
    return true;
  }

  void waitOrThrow(asio::socket_base::wait_type type) {
    if (!wait(type, timeout)) throw NetError(NetError::Kind::Timeout, "Nothing arrived for " + secondsText(timeout));
  }
};

TcpStream::TcpStream() : d(std::make_unique<Impl>()) {}

TcpStream::~TcpStream() { close(); }

void TcpStream::connect(const std::string& host, std::uint16_t port, Millis connectTimeout) {
  d->throwIfInterrupted();
  const auto deadline = Clock::now() + connectTimeout;
  auto cancelSocket = [this] {
    std::error_code ignored;
    d->socket.close(ignored);
  };

  asio::ip::tcp::resolver::results_type endpoints;
  std::error_code ec;
  const asio::ip::address numeric = asio::ip::make_address(host, ec);
  if (!ec) {
    endpoints = asio::ip::tcp::resolver::results_type::create(asio::ip::tcp::endpoint(numeric, port), host,
                                                              std::to_string(port));
  } else {
    asio::ip::tcp::resolver resolver(d->io);
    bool done = false;
    std::error_code result;
    d->io.restart();
    resolver.async_resolve(host, std::to_string(port),
                           [&](const std::error_code& e, asio::ip::tcp::resolver::results_type r) {
                             result = e;
                             endpoints = std::move(r);
                             done = true;
                           });
    const Outcome outcome = runUntil(d->io, done, deadline, [&] { resolver.cancel(); });
    d->throwIfInterrupted();
    if (outcome == Outcome::Timeout) throw NetError(NetError::Kind::Timeout, "Timed out looking up " + host);
    if (result || endpoints.empty())
      throw NetError(NetError::Kind::Resolve,
                     "Cannot find the host " + host + (result ? " (" + result.message() + ")" : ""));
  }

  bool done = false;
  std::error_code result;
  d->io.restart();
  asio::async_connect(d->socket, endpoints, [&](const std::error_code& e, const asio::ip::tcp::endpoint&) {
    result = e;
    done = true;
  });
  const Outcome outcome = runUntil(d->io, done, deadline, cancelSocket);
  if (d->interrupted.load()) {
    close();
    d->throwIfInterrupted();
  }
  if (outcome == Outcome::Timeout) {
    close();
    throw NetError(NetError::Kind::Timeout, "Timed out connecting to " + describe(host, port));
  }
  if (result) {
    close();
    throw NetError(NetError::Kind::Connect, "Cannot connect to " + describe(host, port) + ": " + result.message());
  }
  d->socket.non_blocking(true);
}

void TcpStream::setNoDelay(bool on) {
  std::error_code ignored;
  d->socket.set_option(asio::ip::tcp::no_delay(on), ignored);
}

std::size_t TcpStream::readSome(char* buffer, std::size_t size) {
  for (;;) {
    d->throwIfInterrupted();
    std::error_code ec;
    const std::size_t n = d->socket.read_some(asio::buffer(buffer, size), ec);
    if (!ec) return n;
    if (ec == asio::error::eof) return 0;
    if (!wouldBlock(ec)) throw NetError(NetError::Kind::Reset, ec.message());
    d->waitOrThrow(asio::socket_base::wait_read);
  }
}

void TcpStream::writeAll(const char* data, std::size_t size) {
  while (size > 0) {
    d->throwIfInterrupted();
    std::error_code ec;
    const std::size_t n = d->socket.write_some(asio::buffer(data, size), ec);
    if (!ec) {
      data += n;
      size -= n;
      continue;
    }
    if (!wouldBlock(ec)) throw NetError(NetError::Kind::Reset, ec.message());
    d->waitOrThrow(asio::socket_base::wait_write);
  }
}

std::size_t TcpStream::available() {
  std::error_code ec;
  const std::size_t n = d->socket.available(ec);
  return ec ? 0 : n;
}

bool TcpStream::waitReadable(Millis wait) {
  if (wait.count() > 0) return d->wait(asio::socket_base::wait_read, wait);
  // A plain look without waiting: an io_context run with a deadline already passed would not
  // even poll.
  pollfd entry{};
  entry.fd = nativeHandle();
  entry.events = POLLIN;
  return entry.fd >= 0 && ::poll(&entry, 1, 0) > 0;
}

void TcpStream::shutdownSend() {
  std::error_code ignored;
  d->socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
}

void TcpStream::close() {
  std::error_code ignored;
  d->socket.close(ignored);
}

bool TcpStream::isOpen() const { return d->socket.is_open(); }

void TcpStream::interrupt() {
  d->interrupted.store(true);
  Impl* impl = d.get();
  asio::post(d->io, [impl] {
    std::error_code ignored;
    impl->socket.cancel(ignored);
  });
}

void TcpStream::clearInterrupt() {
  d->interrupted.store(false);
  // Run any cancel that interrupt() posted, now that nothing is pending for it to hit.
  d->io.restart();
  d->io.poll();
}

void TcpStream::setTimeout(Millis timeout) { d->timeout = timeout; }

Millis TcpStream::timeout() const { return d->timeout; }

Endpoint TcpStream::localEndpoint() const {
  std::error_code ec;
  const auto ep = d->socket.local_endpoint(ec);
  return ec ? Endpoint{} : toEndpoint(ep);
}

Endpoint TcpStream::remoteEndpoint() const {
  std::error_code ec;
  const auto ep = d->socket.remote_endpoint(ec);
  return ec ? Endpoint{} : toEndpoint(ep);
}

int TcpStream::nativeHandle() const {
  return d->socket.is_open() ? static_cast<int>(const_cast<asio::ip::tcp::socket&>(d->socket).native_handle()) : -1;
}

struct TcpListener::Impl {
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor{io};
  std::atomic<bool> interrupted{false};
};

TcpListener::TcpListener() : d(std::make_unique<Impl>()) {}

TcpListener::~TcpListener() { close(); }

void TcpListener::listen(const std::string& localAddress) {
  std::error_code ec;
  const asio::ip::address address = asio::ip::make_address(localAddress, ec);
  if (ec) throw NetError(NetError::Kind::Connect, "Cannot listen on " + localAddress + ": " + ec.message());
  const asio::ip::tcp::endpoint endpoint(address, 0);
  d->acceptor.open(endpoint.protocol(), ec);
  if (!ec) d->acceptor.bind(endpoint, ec);
  if (!ec) d->acceptor.listen(1, ec);
  if (!ec) d->acceptor.non_blocking(true, ec);
  if (ec) throw NetError(NetError::Kind::Connect, "Cannot listen on " + localAddress + ": " + ec.message());
}

Endpoint TcpListener::localEndpoint() const {
  std::error_code ec;
  const auto ep = d->acceptor.local_endpoint(ec);
  return ec ? Endpoint{} : toEndpoint(ep);
}

std::unique_ptr<TcpStream> TcpListener::accept(Millis timeout) {
  auto stream = std::make_unique<TcpStream>();
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (d->interrupted.load()) throw NetError(NetError::Kind::Interrupted, "The operation was aborted");
    std::error_code ec;
    d->acceptor.accept(stream->d->socket, ec);
    if (!ec) {
      stream->d->socket.non_blocking(true);
      return stream;
    }
    if (!wouldBlock(ec))
      throw NetError(NetError::Kind::Connect, "The server did not open the data connection: " + ec.message());
    bool done = false;
    d->io.restart();
    d->acceptor.async_wait(asio::socket_base::wait_read, [&](const std::error_code&) { done = true; });
    const Outcome outcome = runUntil(d->io, done, deadline, [this] {
      std::error_code ignored;
      d->acceptor.cancel(ignored);
    });
    if (outcome == Outcome::Timeout)
      throw NetError(NetError::Kind::Timeout, "Timed out waiting for the server to open the data connection");
  }
}

void TcpListener::interrupt() {
  d->interrupted.store(true);
  Impl* impl = d.get();
  asio::post(d->io, [impl] {
    std::error_code ignored;
    impl->acceptor.cancel(ignored);
  });
}

void TcpListener::close() {
  std::error_code ignored;
  d->acceptor.close(ignored);
}

} // namespace tidewick::ftp::net
