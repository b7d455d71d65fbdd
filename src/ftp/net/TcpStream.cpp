#include "ftp/net/TcpStream.h"

#include <asio.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tidewick::ftp::net {

namespace {

using Clock = std::chrono::steady_clock;

std::string errorText(int error) { return std::strerror(error); }

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

// The local or peer address of a socket; empty when it has none.
template <typename Query>
Endpoint socketEndpoint(int fd, Query query) {
  if (fd < 0) return {};
  asio::ip::tcp::endpoint ep;
  socklen_t length = static_cast<socklen_t>(ep.capacity());
  if (query(fd, ep.data(), &length) != 0) return {};
  ep.resize(length);
  return toEndpoint(ep);
}

std::string describe(const std::string& host, std::uint16_t port) {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

} // namespace

// Wakes the thread that waits in poll() when another thread interrupts one of its streams. One per
// thread, shared by every stream and listener that thread makes; a wake-up meant for another
// stream of the same thread costs one extra poll() and is otherwise ignored, since an interrupted
// stream also keeps its own flag.
class Waker {
public:
  Waker() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~Waker() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Waker(const Waker&) = delete;
  Waker& operator=(const Waker&) = delete;

  static std::shared_ptr<Waker> forThisThread() {
    thread_local std::shared_ptr<Waker> waker = std::make_shared<Waker>();
    return waker;
  }

  int handle() const { return m_fd; }
  void wake() {
    if (m_fd < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(m_fd, &one, sizeof one);
  }
  void drain() {
    std::uint64_t value = 0;
    [[maybe_unused]] const auto n = ::read(m_fd, &value, sizeof value);
  }

private:
  int m_fd;
};

namespace {

// What a socket and the flag that interrupt() sets need for waiting.
struct Waitable {
  int fd = -1;
  std::atomic<bool> interrupted{false};
  std::shared_ptr<Waker> waker = Waker::forThisThread();

  void throwIfInterrupted() const {
    if (interrupted.load()) throw NetError(NetError::Kind::Interrupted, "The operation was aborted");
  }

  void interrupt() {
    interrupted.store(true);
    waker->wake();
  }

  // Waits until the socket is ready for `events` (or has an error to report); false when the
  // deadline passed first.
  bool wait(short events, Clock::time_point deadline) {
    for (;;) {
      throwIfInterrupted();
      const auto left = std::chrono::ceil<Millis>(deadline - Clock::now()).count();
      int ms = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
      // Without a waker (no descriptor was left for it) an interrupt is seen within 100 ms.
      if (waker->handle() < 0) ms = std::min(ms, 100);
      pollfd fds[2] = {{fd, events, 0}, {waker->handle(), POLLIN, 0}};
      const int ready = ::poll(fds, waker->handle() >= 0 ? 2 : 1, ms);
      if (ready < 0) {
        if (errno == EINTR) continue;
        throw NetError(NetError::Kind::Reset, errorText(errno));
      }
      if (fds[1].revents != 0) waker->drain();
      if (fds[0].revents != 0) {
        throwIfInterrupted();
        return true;
      }
      if (Clock::now() >= deadline) return false;
    }
  }

  void closeSocket() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

bool wouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// The pipe that splice() needs between a socket and a file. One per thread, reused by every
// download, and empty whenever no call is using it.
class SplicePipe {
public:
  SplicePipe() { open(); }
  ~SplicePipe() { close(); }
  SplicePipe(const SplicePipe&) = delete;
  SplicePipe& operator=(const SplicePipe&) = delete;

  static SplicePipe& forThisThread() {
    thread_local SplicePipe pipe;
    return pipe;
  }

  bool isOpen() const { return m_read >= 0; }
  int readEnd() const { return m_read; }
  int writeEnd() const { return m_write; }
  // After a failure left bytes in the pipe: a fresh one.
  void renew() {
    close();
    open();
  }

private:
  void open() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_read = fds[0];
    m_write = fds[1];
    ::fcntl(m_write, F_SETPIPE_SZ, 1 << 20); // fewer, larger moves; the default size works too
  }
  void close() {
    if (m_read >= 0) ::close(m_read);
    if (m_write >= 0) ::close(m_write);
    m_read = m_write = -1;
  }

  int m_read = -1;
  int m_write = -1;
};

} // namespace

struct TcpStream::Impl : Waitable {
  Millis timeout{30000};

  void waitOrThrow(short events) {
    if (!wait(events, Clock::now() + timeout))
      throw NetError(NetError::Kind::Timeout, "Nothing arrived for " + secondsText(timeout));
  }
};

TcpStream::TcpStream() : d(std::make_unique<Impl>()) {}

TcpStream::~TcpStream() { close(); }

void TcpStream::connect(const std::string& host, std::uint16_t port, Millis connectTimeout) {
  d->throwIfInterrupted();
  const auto deadline = Clock::now() + connectTimeout;

  std::vector<asio::ip::tcp::endpoint> endpoints;
  std::error_code ec;
  const asio::ip::address numeric = asio::ip::make_address(host, ec);
  if (!ec) {
    endpoints.emplace_back(numeric, port);
  } else {
    // Names are looked up on Asio's resolver thread, so the wait for them keeps the deadline and
    // notices an interrupt.
    asio::io_context io;
    asio::ip::tcp::resolver resolver(io);
    bool done = false;
    std::error_code result;
    resolver.async_resolve(host, std::to_string(port),
                           [&](const std::error_code& e, asio::ip::tcp::resolver::results_type r) {
                             result = e;
                             for (const auto& entry : r) endpoints.push_back(entry.endpoint());
                             done = true;
                           });
    bool timedOut = false;
    while (!done) {
      const auto now = Clock::now();
      if (d->interrupted.load() || now >= deadline) {
        timedOut = !d->interrupted.load();
        resolver.cancel();
        io.restart();
        while (!done && io.run_one() != 0) {}
        break;
      }
      io.run_one_for(std::min<Clock::duration>(deadline - now, Millis(50)));
      if (io.stopped()) io.restart();
    }
    d->throwIfInterrupted();
    if (timedOut) throw NetError(NetError::Kind::Timeout, "Timed out looking up " + host);
    if (result || endpoints.empty())
      throw NetError(NetError::Kind::Resolve,
                     "Cannot find the host " + host + (result ? " (" + result.message() + ")" : ""));
  }

  int lastError = ECONNREFUSED;
  for (const auto& endpoint : endpoints) {
    close();
    d->fd = ::socket(endpoint.protocol().family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (d->fd < 0) {
      lastError = errno;
      continue;
    }
    if (::connect(d->fd, endpoint.data(), static_cast<socklen_t>(endpoint.size())) == 0) return;
    if (errno != EINPROGRESS) {
      lastError = errno;
      continue;
    }
    bool ready = false;
    try {
      ready = d->wait(POLLOUT, deadline);
    } catch (const NetError&) {
      close();
      throw;
    }
    if (!ready) {
      close();
      throw NetError(NetError::Kind::Timeout, "Timed out connecting to " + describe(host, port));
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(d->fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error == 0) return;
    lastError = error;
  }
  close();
  throw NetError(NetError::Kind::Connect, "Cannot connect to " + describe(host, port) + ": " + errorText(lastError));
}

bool TcpStream::canReceiveToFile() const { return SplicePipe::forThisThread().isOpen(); }

void TcpStream::setNoDelay(bool on) {
  const int value = on ? 1 : 0;
  if (d->fd >= 0) ::setsockopt(d->fd, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value);
}

std::size_t TcpStream::readSome(char* buffer, std::size_t size) {
  for (;;) {
    d->throwIfInterrupted();
    const ssize_t n = ::recv(d->fd, buffer, size, 0);
    if (n >= 0) return static_cast<std::size_t>(n);
    const int error = errno;
    if (error == EINTR) continue;
    if (!wouldBlock(error)) throw NetError(NetError::Kind::Reset, errorText(error));
    d->waitOrThrow(POLLIN);
  }
}

void TcpStream::writeAll(const char* data, std::size_t size) {
  // A large write waits until the socket is writable before each send. Sent into whatever little
  // room a full buffer has, a stream is cut into small segments, and the receiver pays for each:
  // vsftpd took up to a third longer to take in an upload sent that way.
  const bool large = size >= 64 * 1024;
  while (size > 0) {
    d->throwIfInterrupted();
    if (large) d->waitOrThrow(POLLOUT);
    const ssize_t n = ::send(d->fd, data, size, MSG_NOSIGNAL);
    if (n >= 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    const int error = errno;
    if (error == EINTR) continue;
    if (!wouldBlock(error)) throw NetError(NetError::Kind::Reset, errorText(error));
    d->waitOrThrow(POLLOUT);
  }
}

std::size_t TcpStream::receiveToFile(int fd, std::int64_t offset, std::size_t count) {
  SplicePipe& pipe = SplicePipe::forThisThread();
  if (!pipe.isOpen()) throw FileError("No pipe could be made to write the file");
  for (;;) {
    d->throwIfInterrupted();
    // The pipe is empty, so a call that would block waits for the socket.
    const ssize_t n = ::splice(d->fd, nullptr, pipe.writeEnd(), nullptr, count, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
    if (n == 0) return 0;
    if (n < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      if (!wouldBlock(error)) throw NetError(NetError::Kind::Reset, errorText(error));
      d->waitOrThrow(POLLIN);
      continue;
    }
    loff_t position = offset;
    std::size_t left = static_cast<std::size_t>(n);
    while (left > 0) {
      const ssize_t written = ::splice(pipe.readEnd(), nullptr, fd, &position, left, SPLICE_F_MOVE);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        const int error = written < 0 ? errno : EIO;
        pipe.renew();
        throw FileError(errorText(error));
      }
      left -= static_cast<std::size_t>(written);
    }
    return static_cast<std::size_t>(n);
  }
}

std::size_t TcpStream::available() {
  int n = 0;
  if (d->fd < 0 || ::ioctl(d->fd, FIONREAD, &n) != 0 || n < 0) return 0;
  return static_cast<std::size_t>(n);
}

bool TcpStream::waitReadable(Millis wait) { return d->fd >= 0 && d->wait(POLLIN, Clock::now() + wait); }

void TcpStream::shutdownSend() {
  if (d->fd >= 0) ::shutdown(d->fd, SHUT_WR);
}

void TcpStream::close() { d->closeSocket(); }

bool TcpStream::isOpen() const { return d->fd >= 0; }

void TcpStream::interrupt() { d->interrupt(); }

void TcpStream::clearInterrupt() { d->interrupted.store(false); }

void TcpStream::setTimeout(Millis timeout) { d->timeout = timeout; }

Millis TcpStream::timeout() const { return d->timeout; }

Endpoint TcpStream::localEndpoint() const { return socketEndpoint(d->fd, ::getsockname); }

Endpoint TcpStream::remoteEndpoint() const { return socketEndpoint(d->fd, ::getpeername); }

int TcpStream::nativeHandle() const { return d->fd; }

struct TcpListener::Impl : Waitable {};

TcpListener::TcpListener() : d(std::make_unique<Impl>()) {}

TcpListener::~TcpListener() { close(); }

void TcpListener::listen(const std::string& localAddress) {
  std::error_code ec;
  const asio::ip::address address = asio::ip::make_address(localAddress, ec);
  if (ec) throw NetError(NetError::Kind::Connect, "Cannot listen on " + localAddress + ": " + ec.message());
  const asio::ip::tcp::endpoint endpoint(address, 0);
  close();
  d->fd = ::socket(endpoint.protocol().family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (d->fd < 0 || ::bind(d->fd, endpoint.data(), static_cast<socklen_t>(endpoint.size())) != 0 ||
      ::listen(d->fd, 1) != 0) {
    const int error = errno;
    close();
    throw NetError(NetError::Kind::Connect, "Cannot listen on " + localAddress + ": " + errorText(error));
  }
}

Endpoint TcpListener::localEndpoint() const { return socketEndpoint(d->fd, ::getsockname); }

std::unique_ptr<TcpStream> TcpListener::accept(Millis timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    d->throwIfInterrupted();
    const int fd = ::accept4(d->fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      auto stream = std::make_unique<TcpStream>();
      stream->d->fd = fd;
      return stream;
    }
    const int error = errno;
    if (error == EINTR || error == ECONNABORTED) continue;
    if (!wouldBlock(error))
      throw NetError(NetError::Kind::Connect, "The server did not open the data connection: " + errorText(error));
    if (!d->wait(POLLIN, deadline))
      throw NetError(NetError::Kind::Timeout, "Timed out waiting for the server to open the data connection");
  }
}

void TcpListener::interrupt() { d->interrupt(); }

void TcpListener::close() { d->closeSocket(); }

} // namespace tidewick::ftp::net
