#pragma once

#include "ftp/net/Stream.h"

#include <memory>

namespace tidewick::ftp::net {

class TcpListener;

// Plain TCP on a non-blocking socket. Each wait is one poll() on the socket and on the waker of
// the thread that made the stream, so a blocked call ends at its deadline or as soon as
// interrupt() is called from another thread. A stream is driven by the thread that made it.
//
// A session opens a data connection for every file, so a connection costs no more than its socket:
// no event loop, timer or wake-up descriptor of its own (Asio only parses addresses and resolves
// host names here).
class TcpStream final : public Stream {
public:
  TcpStream();
  ~TcpStream() override;

  // Resolves host (name or numeric address) and connects within connectTimeout.
  void connect(const std::string& host, std::uint16_t port, Millis connectTimeout);
  void setNoDelay(bool on);

  std::size_t readSome(char* buffer, std::size_t size) override;
  void writeAll(const char* data, std::size_t size) override;
  bool canReceiveToFile() const override;
  std::size_t receiveToFile(int fd, std::int64_t offset, std::size_t count) override;
  std::size_t available() override;
  bool waitReadable(Millis wait) override;
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

private:
  friend class TcpListener;
  struct Impl;
  std::unique_ptr<Impl> d;
};

// A listening socket for active-mode data connections.
class TcpListener {
public:
  TcpListener();
  ~TcpListener();

  // Listens on the given numeric local address with a port the system chooses.
  void listen(const std::string& localAddress);
  Endpoint localEndpoint() const;
  // Waits for one connection within timeout (or until interrupt()).
  std::unique_ptr<TcpStream> accept(Millis timeout);
  void interrupt();
  void close();

private:
  struct Impl;
  std::unique_ptr<Impl> d;
};

} // namespace tidewick::ftp::net
