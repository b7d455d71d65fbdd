#pragma once

#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tidewick::test {

// A TCP socket listening on 127.0.0.1 at a port the system picks (written to `port`); -1 on failure.
int listenLoopback(quint16* port, int backlog = 4);

// A scripted FTP server in the test process, on 127.0.0.1 and a port the system picks, for what a
// real server will not do: garbage, confused replies, drops, silence, lying PASV replies, hostile
// names. It serves one control connection at a time on its own thread and records every command
// line it receives, so a test can assert the exact transcript.
//
// Each verb has a default answer good enough for a plain session (login, SYST, FEAT "500",
// TYPE, PWD "/", CWD, EPSV/PASV with a real data port, LIST/RETR/STOR from the fields below,
// NOOP, ABOR, QUIT, APPE); a test replaces any of them with on().
class FakeFtpServer {
public:
  class Control {
  public:
    // Sends raw bytes on the control connection (no line end added).
    void send(const std::string& bytes);
    // Sends one byte at a time, `pauseUs` apart; stops when the client has gone.
    void sendSlowly(const std::string& bytes, int pauseUs = 200);
    void reply(const std::string& line) { send(line + "\r\n"); }
    // Drops the control connection.
    void close();

    // Data connections (passive: after EPSV/PASV the client connects to the port they named).
    quint16 openDataPort();                  // what the default EPSV/PASV do
    void sendData(const std::string& bytes); // waits for the client, sends, closes
    void transfer(const std::string& bytes, const std::string& last = "226 Sent"); // 150, the bytes, `last`
    void sendDataAndHold(const std::string& bytes);                                // sends, keeps the connection open
    std::string receiveData(std::size_t limit = std::string::npos); // reads to the end (or limit), closes
    void closeData();

  private:
    friend class FakeFtpServer;
    FakeFtpServer* m_server = nullptr;
    int m_fd = -1;
    int m_dataListen = -1;
    int m_data = -1;
    bool m_closed = false;
    int acceptData();
  };

  using Handler = std::function<void(Control& control, const std::string& argument)>;

  FakeFtpServer();
  ~FakeFtpServer();

  quint16 port() const { return m_port; }

  // What goes out when a client connects (raw bytes).
  void setGreeting(const std::string& bytes) { m_greeting = bytes; }
  void setGreetingSlowly(bool slowly) { m_greetingSlowly = slowly; }
  void on(const std::string& verb, Handler handler);
  // Answers `verb` with one fixed line ("" for no answer at all).
  void answer(const std::string& verb, const std::string& line);

  // Served by the default LIST, RETR, STOR and APPE.
  std::string listing;
  std::map<std::string, std::string> files;

  // The command lines received so far, without CR LF ("USER demo", "PASS secret", ...).
  std::vector<std::string> transcript() const;
  // The verbs only.
  std::vector<std::string> verbs() const;
  int connections() const { return m_connections.load(); }

private:
  void serve();
  void session(int fd);
  void record(const std::string& line);

  int m_listen = -1;
  quint16 m_port = 0;
  std::string m_greeting = "220 Fake server ready\r\n";
  bool m_greetingSlowly = false;
  std::map<std::string, Handler> m_handlers;
  mutable std::mutex m_mutex;
  std::vector<std::string> m_transcript;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_connections{0};
  std::atomic<int> m_activeFd{-1};
  std::thread m_thread;
};

} // namespace tidewick::test
