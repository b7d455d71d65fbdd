#include "support/SocksProxyFixture.h"

#include "support/ServerProcess.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace tidewick::test {

namespace {

QString danted() {
  for (const char* candidate : {"/usr/sbin/danted", "/usr/sbin/sockd", "/usr/local/sbin/sockd"})
    if (QFileInfo(QString::fromLatin1(candidate)).isExecutable()) return QString::fromLatin1(candidate);
  return {};
}

} // namespace

SocksProxyFixture::~SocksProxyFixture() { stop(); }

::testing::AssertionResult SocksProxyFixture::ensureUser() {
  const QByteArray credentials = (userName() + ':' + password() + '\n').toUtf8();
  if (runProgram("/usr/bin/id", {userName()})) {
    // Set the password every time: an account left from an older run may hold another one.
    if (::geteuid() == 0) runProgram("/usr/sbin/chpasswd", {}, nullptr, credentials);
    return ::testing::AssertionSuccess();
  }
  if (::geteuid() != 0)
    return ::testing::AssertionFailure() << "SOCKS tests with a password need the system account "
                                         << userName().toStdString() << "; run them as root once to create it";
  if (!runProgram("/usr/sbin/useradd", {"--system", "--no-create-home", "--shell", "/usr/sbin/nologin", userName()}))
    return ::testing::AssertionFailure() << "cannot create the system account " << userName().toStdString();
  if (!runProgram("/usr/sbin/chpasswd", {}, nullptr, credentials))
    return ::testing::AssertionFailure() << "cannot set the password of " << userName().toStdString();
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult SocksProxyFixture::start(bool requirePassword) {
  const QString program = danted();
  if (program.isEmpty())
    return ::testing::AssertionFailure() << "Dante (danted/sockd) is missing; scripts/deps installs dante-server";
  if (!m_dir.isValid()) return ::testing::AssertionFailure() << "cannot create a temporary folder";
  if (requirePassword) {
    auto user = ensureUser();
    if (!user) return user;
  }

  // Dante cannot report a port it chose, so take a free one and hand it over.
  m_port = freeLoopbackPort();
  if (m_port == 0) return ::testing::AssertionFailure() << "no free port";
  const QString method = requirePassword ? "username" : "none";
  const QString config = QStringLiteral(
                             "logoutput: stderr\n"
                             "internal: 127.0.0.1 port = %1\n"
                             "external: 127.0.0.1\n"
                             "clientmethod: none\n"
                             "socksmethod: %2\n"
                             "user.privileged: root\n"
                             "user.unprivileged: nobody\n"
                             "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                             "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 socksmethod: %2 }\n")
                             .arg(m_port)
                             .arg(method);
  const QString configPath = m_dir.filePath("sockd.conf");
  if (!writeTextFile(configPath, config.toUtf8()))
    return ::testing::AssertionFailure() << "cannot write " << configPath.toStdString();
  return startListening(m_process, program, {"-f", configPath, "-N", "1", "-p", m_dir.filePath("sockd.pid")}, m_port,
                        "Dante");
}

void SocksProxyFixture::stop() { stopServer(m_process); }

} // namespace tidewick::test
