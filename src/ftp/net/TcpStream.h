#pragma once

#include "ftp/net/Stream.h"

#include <memory>

namespace tidewick::ftp::net {

class TcpListener;

// Plain TCP. Built on standalone Asio with a private io_context per socket; the socket is used in
// non-blocking mode and each wait is one run of that io_context with a deadline, so a blocked call
// can be ended by a deadline or by interrupt() from another thread.
class TcpStream final : public Stream {
public:
  TcpStream();
  ~TcpStream() override;

  // Resolves host (name or numeric address) and connects within connectTimeout.
  void connect(const std::string& host, std::uint16_t port, Millis connectTimeout);
  void setNoDelay(bool on);

  std::size_t readSome(char* buffer, std::size_t size) override;
  void writeAll(const char* data, std::size_t size) override;
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
