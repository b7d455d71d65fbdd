#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <utility>
#include <vector>

namespace tidewick::test {

struct FtpServerOptions {
  QString host = "127.0.0.1"; // "::1" for IPv6
  std::vector<std::pair<QString, QString>> users = {{"demo", "demo"}};
  bool anonymous = true;       // read-only
  bool anonymousWrite = false; // anonymous may also write
  bool mlsd = true;            // false: the server offers LIST only
  bool epsv = true;            // false: PASV/PORT only
  QString masquerade;          // PASV replies name this address instead of the real one
  int throttle = 0;            // bytes per second on data connections, 0 = unlimited
  QStringList refuse;          // file names whose download and upload the server refuses (550)
  // TLS (AUTH TLS, or from the first byte when implicit) with this PEM certificate and key.
  QString tlsCertificate;
  QString tlsKey;
  bool tlsImplicit = false;
  bool tlsRequired = false; // no login and no data connection without TLS
};

// A real FTP server (pyftpdlib, run by /usr/bin/python3 tests/support/ftpserver.py) on a free
// port with a temporary root, stopped at destruction. start() fails, never skips, when pyftpdlib
// or Python is missing: a test that vanishes silently would hide exactly what it is for.
class FtpServerFixture {
public:
  explicit FtpServerFixture(FtpServerOptions options = {});
  ~FtpServerFixture();
  FtpServerFixture(const FtpServerFixture&) = delete;
  FtpServerFixture& operator=(const FtpServerFixture&) = delete;

  ::testing::AssertionResult start();
  void stop();

  QString host() const { return m_options.host; }
  quint16 port() const { return m_port; }
  // The server's root folder on disk, and a path below it.
  QString root() const { return m_root.path(); }
  QString path(const QString& relative) const { return m_root.filePath(relative); }

  // Writes a file below the root (folders created), returns its full path.
  QString writeFile(const QString& relative, const QByteArray& content) const;
  QByteArray readFile(const QString& relative) const;

  // Points an FTP component at this server, to log in as demo (the default user).
  template <class Client>
  void loginFor(Client& client) const {
    client.setServerAddress(host());
    client.setServerPort(port());
    client.setUserName("demo");
    client.setPassword("demo");
  }

  // Every command line the server received so far, exactly as received (PASS shows "PASS ****").
  QStringList receivedCommands() const;

  // The script's location, for other tests that start it themselves.
  static QString scriptPath();

private:
  FtpServerOptions m_options;
  QTemporaryDir m_root;
  QTemporaryDir m_scratch; // the command log, kept out of the server's root
  std::unique_ptr<QProcess> m_process;
  quint16 m_port = 0;
};

} // namespace tidewick::test
