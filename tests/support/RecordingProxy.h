#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tidewick::test {

// A SOCKS 5 proxy on 127.0.0.1 (no authentication, CONNECT only) that keeps every byte its
// clients send on, over every connection: what anyone on the wire would have seen. Tests route
// the control and the data connections through it to show that nothing secret went out in clear.
class RecordingProxy {
public:
  RecordingProxy() = default;
  ~RecordingProxy();
  RecordingProxy(const RecordingProxy&) = delete;
  RecordingProxy& operator=(const RecordingProxy&) = delete;

  bool start();
  quint16 port() const { return m_port; }

  // Everything the clients sent after the SOCKS request, connection after connection, in the
  // order the connections were made.
  QByteArray sent() const;
  int connections() const;

  struct Relay; // one client connection and its thread

private:
  void acceptLoop();

  int m_listener = -1;
  int m_stopPipe[2] = {-1, -1};
  quint16 m_port = 0;
  std::thread m_acceptor;
  mutable std::mutex m_mutex;
  std::vector<std::shared_ptr<Relay>> m_relays;
};

} // namespace tidewick::test
