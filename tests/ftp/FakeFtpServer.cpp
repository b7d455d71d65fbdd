#include "FakeFtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>

namespace tidewick::test {

int listenLoopback(quint16* port, int backlog) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, backlog) != 0) {
    ::close(fd);
    return -1;
  }
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  *port = ntohs(address.sin_port);
  return fd;
}

namespace {

bool sendAll(int fd, const char* data, std::size_t size) {
  while (size > 0 && fd >= 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return fd >= 0;
}

// Waits for a readable fd for up to ms; false on timeout.
bool readable(int fd, int ms) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, ms) > 0;
}

} // namespace

void FakeFtpServer::Control::send(const std::string& bytes) { sendAll(m_fd, bytes.data(), bytes.size()); }

void FakeFtpServer::Control::sendSlowly(const std::string& bytes, int pauseUs) {
  for (char c : bytes) {
    if (!sendAll(m_fd, &c, 1)) return;
    ::usleep(static_cast<useconds_t>(pauseUs));
  }
}

void FakeFtpServer::Control::close() {
  closeData();
  if (m_fd >= 0) ::shutdown(m_fd, SHUT_RDWR);
  m_closed = true;
}

quint16 FakeFtpServer::Control::openDataPort() {
  closeData();
  quint16 port = 0;
  m_dataListen = listenLoopback(&port);
  return port;
}

int FakeFtpServer::Control::acceptData() {
  if (m_data >= 0) return m_data;
  if (m_dataListen < 0 || !readable(m_dataListen, 10000)) return -1;
  m_data = ::accept4(m_dataListen, nullptr, nullptr, SOCK_CLOEXEC);
  ::close(m_dataListen);
  m_dataListen = -1;
  return m_data;
}

void FakeFtpServer::Control::sendData(const std::string& bytes) {
  sendDataAndHold(bytes);
  closeData();
}

void FakeFtpServer::Control::transfer(const std::string& bytes, const std::string& last) {
  reply("150 Here it comes");
  sendData(bytes);
  reply(last);
}

void FakeFtpServer::Control::sendDataAndHold(const std::string& bytes) {
  const int fd = acceptData();
  sendAll(fd, bytes.data(), bytes.size());
}

std::string FakeFtpServer::Control::receiveData(std::size_t limit) {
  const int fd = acceptData();
  std::string out;
  char buffer[65536];
  while (fd >= 0 && out.size() < limit && readable(fd, 10000)) {
    const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, limit - out.size()), 0);
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  closeData();
  return out;
}

void FakeFtpServer::Control::closeData() {
  if (m_data >= 0) ::close(m_data);
  if (m_dataListen >= 0) ::close(m_dataListen);
  m_data = m_dataListen = -1;
}

FakeFtpServer::FakeFtpServer() {
  m_listen = listenLoopback(&m_port);
  // Verb, answer: enough for a plain session.
  const char* defaults[] = {"USER", "331 Password required", "PASS", "230 Logged in",
                            "SYST", "215 UNIX Type: L8",     "FEAT", "500 FEAT not understood",
                            "TYPE", "200 Type set",          "PWD",  "257 \"/\" is the current folder",
                            "CWD",  "250 Folder changed",    "CDUP", "250 Folder changed",
                            "NOOP", "200 NOOP ok",           "ABOR", "226 ABOR ok",
                            "REST", "350 Restarting"};
  for (std::size_t i = 0; i < std::size(defaults); i += 2) answer(defaults[i], defaults[i + 1]);
  on("QUIT", [](Control& c, const std::string&) {
    c.reply("221 Bye");
    c.close();
  });
  const auto passive = [](Control& c, bool extended) {
    const quint16 port = c.openDataPort();
    if (extended) c.reply("229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)");
    else
      c.reply("227 Entering Passive Mode (127,0,0,1," + std::to_string(port >> 8) + "," + std::to_string(port & 0xff) +
              ")");
  };
  on("EPSV", [passive](Control& c, const std::string&) { passive(c, true); });
  on("PASV", [passive](Control& c, const std::string&) { passive(c, false); });
  on("LIST", [this](Control& c, const std::string&) { c.transfer(listing); });
  on("SIZE", [this](Control& c, const std::string& name) {
    const auto it = files.find(name);
    if (it == files.end()) c.reply("550 No such file");
    else c.reply("213 " + std::to_string(it->second.size()));
  });
  on("RETR", [this](Control& c, const std::string& name) {
    const auto it = files.find(name);
    if (it == files.end()) {
      c.closeData();
      c.reply("550 No such file");
      return;
    }
    c.transfer(it->second);
  });
  on("STOR", [this](Control& c, const std::string& name) {
    c.reply("150 Send it");
    files[name] = c.receiveData();
    c.reply("226 Stored");
  });
  on("APPE", [this](Control& c, const std::string& name) {
    c.reply("150 Send the rest");
    files[name] += c.receiveData();
    c.reply("226 Appended");
  });
  m_thread = std::thread([this] { serve(); });
}

FakeFtpServer::~FakeFtpServer() {
  m_stop.store(true);
  ::shutdown(m_listen, SHUT_RDWR);
  const int active = m_activeFd.load();
  if (active >= 0) ::shutdown(active, SHUT_RDWR);
  m_thread.join();
  ::close(m_listen);
}

void FakeFtpServer::on(const std::string& verb, Handler handler) { m_handlers[verb] = std::move(handler); }

void FakeFtpServer::answer(const std::string& verb, const std::string& line) {
  on(verb, [line](Control& c, const std::string&) {
    if (!line.empty()) c.reply(line);
  });
}

std::vector<std::string> FakeFtpServer::transcript() const {
  std::lock_guard lock(m_mutex);
  return m_transcript;
}

std::vector<std::string> FakeFtpServer::verbs() const {
  std::vector<std::string> out;
  for (const auto& line : transcript()) out.push_back(line.substr(0, line.find(' ')));
  return out;
}

void FakeFtpServer::record(const std::string& line) {
  std::lock_guard lock(m_mutex);
  m_transcript.push_back(line);
}

void FakeFtpServer::serve() {
  while (!m_stop.load()) {
    const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    ++m_connections;
    m_activeFd.store(fd);
    session(fd);
    m_activeFd.store(-1);
    ::close(fd);
  }
}

void FakeFtpServer::session(int fd) {
  Control control;
  control.m_server = this;
  control.m_fd = fd;
  if (m_greetingSlowly) control.sendSlowly(m_greeting);
  else control.send(m_greeting);

  std::string pending;
  char buffer[4096];
  while (!m_stop.load() && !control.m_closed) {
    const std::size_t end = pending.find("\r\n");
    if (end == std::string::npos) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      pending.append(buffer, static_cast<std::size_t>(n));
      continue;
    }
    const std::string line = pending.substr(0, end);
    pending.erase(0, end + 2);
    record(line);
    const std::size_t space = line.find(' ');
    std::string verb = line.substr(0, space);
    for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string argument = space == std::string::npos ? std::string() : line.substr(space + 1);
    const auto it = m_handlers.find(verb);
    if (it == m_handlers.end()) control.reply("500 Unknown command");
    else it->second(control, argument);
  }
  control.closeData();
}

} // namespace tidewick::test
