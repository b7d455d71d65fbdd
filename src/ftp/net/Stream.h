#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace tidewick::ftp::net {

using Millis = std::chrono::milliseconds;

struct Endpoint {
  std::string address; // numeric, without brackets
  std::uint16_t port = 0;
  bool v6 = false;
};

class NetError : public std::runtime_error {
public:
  enum class Kind {
    Timeout,     // nothing happened within the stream's timeout
    Interrupted, // interrupt() was called (an abort)
    Resolve,     // the host name could not be resolved
    Connect,     // the connection was refused or could not be made
    Proxy,       // the proxy refused or spoke nonsense
    Reset,       // the peer reset the connection or a socket error occurred
    Tls,         // the TLS handshake failed, or the peer broke the TLS protocol
  };

  NetError(Kind kind, const std::string& what) : std::runtime_error(what), m_kind(kind) {}
  Kind kind() const { return m_kind; }

private:
  Kind m_kind;
};

// Writing to a local file failed while a stream moved data into it (receiveToFile()).
class FileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A connected byte stream. Every layer (plain TCP, the SOCKS negotiation, TLS) offers this one
// interface, so the FTP code never asks what is underneath. A layer may hold bytes of its own that
// the socket no longer has (TLS keeps what it decrypted): buffered() says so, and available() and
// waitReadable() count them, so nothing waits on the socket for bytes that are here already.
//
// All calls except interrupt() belong to the one thread that drives the stream. Each blocking call
// ends within timeout(), or as soon as interrupt() is called from any other thread; both end it with
// a NetError. An interrupted stream stays open: the caller may clearInterrupt() and go on using it.
class Stream {
public:
  virtual ~Stream() = default;

  // Reads what is there (at least one byte, at most size); 0 means the peer closed its side.
  virtual std::size_t readSome(char* buffer, std::size_t size) = 0;
  virtual void writeAll(const char* data, std::size_t size) = 0;
  // Whether receiveToFile() works on this stream (on a plain socket, not through an encrypting
  // layer).
  virtual bool canReceiveToFile() const { return false; }
  // Moves what arrives, up to `count` bytes, into the open regular file `fd` at `offset` without
  // copying it through this process. Returns the bytes written, 0 when the peer closed its side.
  // A failure to write the file is a FileError.
  virtual std::size_t receiveToFile(int fd, std::int64_t offset, std::size_t count);
  // Bytes that can be read right now without waiting, buffered ones included.
  virtual std::size_t available() = 0;
  // Waits up to `wait` for something to read (or the peer closing); true when there is, at once
  // when buffered() is not 0.
  virtual bool waitReadable(Millis wait) = 0;
  // What this stream holds already, so that a read returns it without the socket: decrypted bytes,
  // or the end of the stream seen already (counted as one). 0 for a plain socket.
  virtual std::size_t buffered() const { return 0; }
  // Tells the peer that nothing more will be written (the end of an upload).
  virtual void shutdownSend() = 0;
  virtual void close() = 0;
  virtual bool isOpen() const = 0;

  virtual void interrupt() = 0;
  virtual void clearInterrupt() = 0;

  virtual void setTimeout(Millis timeout) = 0;
  virtual Millis timeout() const = 0;

  virtual Endpoint localEndpoint() const = 0;
  virtual Endpoint remoteEndpoint() const = 0;
  // The socket underneath, for waiting on it while idle. Look at buffered() first: a poll() on the
  // socket does not see what a layer holds.
  virtual int nativeHandle() const = 0;
};

// "30 seconds", "0.5 seconds": for failure texts.
inline std::string secondsText(Millis duration) {
  const auto ms = duration.count();
  std::string text = std::to_string(ms / 1000);
  if (ms % 1000 != 0) {
    std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    text += "." + fraction;
  }
  return text + (ms == 1000 ? " second" : " seconds");
}

inline void writeAll(Stream& stream, const std::string& bytes) { stream.writeAll(bytes.data(), bytes.size()); }

inline std::size_t Stream::receiveToFile(int, std::int64_t, std::size_t) {
  throw NetError(NetError::Kind::Reset, "This connection cannot write straight into a file");
}

} // namespace tidewick::ftp::net
