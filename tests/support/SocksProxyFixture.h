#pragma once

#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace tidewick::test {

// A Dante SOCKS server (danted, called sockd upstream) on 127.0.0.1, for SOCKS 4 and SOCKS 5
// clients, run in the foreground from a temporary configuration and stopped at destruction.
//
// With a password, Dante's "username" method checks the name and password against the system's
// user database (there is no built-in user list). The fixture therefore creates one dedicated
// system account, tidewick-socks, with no home and no login shell, the first time it is needed;
// that needs root, as the test machines run. Without root it fails with a clear message, unless
// the account exists already.
class SocksProxyFixture {
public:
  SocksProxyFixture() = default;
  ~SocksProxyFixture();
  SocksProxyFixture(const SocksProxyFixture&) = delete;
  SocksProxyFixture& operator=(const SocksProxyFixture&) = delete;

  ::testing::AssertionResult start(bool requirePassword);
  void stop();

  quint16 port() const { return m_port; }
  static QString userName() { return "tidewick-socks"; }
  static QString password() { return "Socks-Pass-7"; }

private:
  static ::testing::AssertionResult ensureUser();

  QTemporaryDir m_dir;
  std::unique_ptr<QProcess> m_process;
  quint16 m_port = 0;
};

} // namespace tidewick::test
