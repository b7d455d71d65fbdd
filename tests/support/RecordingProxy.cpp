#include "support/RecordingProxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace tidewick::test {

struct RecordingProxy::Relay {
  int client = -1;
  int server = -1;
  std::thread thread;
  std::mutex mutex;
  QByteArray sent;

  ~Relay() {
    if (thread.joinable()) thread.join();
    if (client >= 0) ::close(client);
    if (server >= 0) ::close(server);
  }
};

namespace {

bool readExact(int fd, unsigned char* buffer, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::recv(fd, buffer, size, 0);
    if (n <= 0) return false;
    buffer += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// The SOCKS 5 greeting and CONNECT request; returns the connected server socket or -1.
int negotiate(int client) {
  unsigned char head[2];
  if (!readExact(client, head, 2) || head[0] != 5) return -1;
  unsigned char methods[255];
  if (!readExact(client, methods, head[1])) return -1;
  if (!writeAll(client, "\x05\x00", 2)) return -1;
  unsigned char request[4];
  if (!readExact(client, request, 4) || request[1] != 1) return -1;
  sockaddr_storage target{};
  socklen_t length = 0;
  if (request[3] == 1) {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&target);
    v4->sin_family = AF_INET;
    if (!readExact(client, reinterpret_cast<unsigned char*>(&v4->sin_addr), 4) ||
        !readExact(client, reinterpret_cast<unsigned char*>(&v4->sin_port), 2))
      return -1;
    length = sizeof *v4;
  } else if (request[3] == 4) {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&target);
    v6->sin6_family = AF_INET6;
    if (!readExact(client, reinterpret_cast<unsigned char*>(&v6->sin6_addr), 16) ||
        !readExact(client, reinterpret_cast<unsigned char*>(&v6->sin6_port), 2))
      return -1;
    length = sizeof *v6;
  } else if (request[3] == 3) {
    // Test servers live on loopback: a name is taken to mean 127.0.0.1.
    unsigned char size = 0;
    unsigned char name[256];
    auto* v4 = reinterpret_cast<sockaddr_in*>(&target);
    v4->sin_family = AF_INET;
    v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (!readExact(client, &size, 1) || !readExact(client, name, size) ||
        !readExact(client, reinterpret_cast<unsigned char*>(&v4->sin_port), 2))
      return -1;
    length = sizeof *v4;
  } else {
    return -1;
  }
  const int server = ::socket(target.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const bool connected = server >= 0 && ::connect(server, reinterpret_cast<sockaddr*>(&target), length) == 0;
  const char reply[] = {5, char(connected ? 0 : 5), 0, 1, 0, 0, 0, 0, 0, 0};
  writeAll(client, reply, sizeof reply);
  if (connected) return server;
  if (server >= 0) ::close(server);
  return -1;
}

void relay(RecordingProxy::Relay* relay_, int client, int server);

} // namespace

RecordingProxy::~RecordingProxy() {
  if (m_stopPipe[1] >= 0) {
    [[maybe_unused]] const auto n = ::write(m_stopPipe[1], "x", 1);
  }
  if (m_acceptor.joinable()) m_acceptor.join();
  {
    std::lock_guard lock(m_mutex);
    for (const auto& r : m_relays) {
      if (r->client >= 0) ::shutdown(r->client, SHUT_RDWR);
      if (r->server >= 0) ::shutdown(r->server, SHUT_RDWR);
    }
  }
  m_relays.clear();
  for (int fd : {m_listener, m_stopPipe[0], m_stopPipe[1]})
    if (fd >= 0) ::close(fd);
}

bool RecordingProxy::start() {
  if (::pipe2(m_stopPipe, O_CLOEXEC) != 0) return false;
  m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(m_listener, 16) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return false;
  m_port = ntohs(address.sin_port);
  m_acceptor = std::thread([this] { acceptLoop(); });
  return true;
}

void RecordingProxy::acceptLoop() {
  for (;;) {
    pollfd fds[2] = {{m_listener, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents != 0) return;
    const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    auto r = std::make_shared<Relay>();
    r->client = client;
    {
      std::lock_guard lock(m_mutex);
      m_relays.push_back(r);
    }
    r->thread = std::thread([r = r.get(), client] {
      const int server = negotiate(client);
      if (server < 0) {
        ::shutdown(client, SHUT_RDWR);
        return;
      }
      r->server = server;
      relay(r, client, server);
    });
  }
}

namespace {

void relay(RecordingProxy::Relay* r, int client, int server) {
  char buffer[65536];
  bool clientOpen = true;
  bool serverOpen = true;
  while (clientOpen || serverOpen) {
    pollfd fds[2] = {{client, short(clientOpen ? POLLIN : 0), 0}, {server, short(serverOpen ? POLLIN : 0), 0}};
    if (::poll(fds, 2, -1) < 0) return;
    if (fds[0].revents != 0) {
      const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) {
        clientOpen = false;
        ::shutdown(server, SHUT_WR);
      } else {
        {
          std::lock_guard lock(r->mutex);
          r->sent.append(buffer, n);
        }
        if (!writeAll(server, buffer, static_cast<std::size_t>(n))) return;
      }
    }
    if (fds[1].revents != 0) {
      const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
      if (n <= 0) {
        serverOpen = false;
        ::shutdown(client, SHUT_WR);
      } else if (!writeAll(client, buffer, static_cast<std::size_t>(n))) {
        return;
      }
    }
  }
}

} // namespace

QByteArray RecordingProxy::sent() const {
  QByteArray all;
  std::lock_guard lock(m_mutex);
  for (const auto& r : m_relays) {
    std::lock_guard relayLock(r->mutex);
    all += r->sent;
  }
  return all;
}

int RecordingProxy::connections() const {
  std::lock_guard lock(m_mutex);
  return static_cast<int>(m_relays.size());
}

} // namespace tidewick::test
