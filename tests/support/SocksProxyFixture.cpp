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

bool run(const QString& program, const QStringList& arguments, const QByteArray& input = {}) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForStarted(5000)) return false;
  if (!input.isEmpty()) process.write(input);
  process.closeWriteChannel();
  return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

SocksProxyFixture::~SocksProxyFixture() { stop(); }

::testing::AssertionResult SocksProxyFixture::ensureUser() {
  if (run("/usr/bin/id", {userName()})) {
    // Set the password every time: an account left from an older run may hold another one.
    if (::geteuid() == 0)
      run("/usr/sbin/chpasswd", {}, (userName() + QLatin1Char(':') + password() + QLatin1Char('\n')).toUtf8());
    return ::testing::AssertionSuccess();
  }
  if (::geteuid() != 0)
    return ::testing::AssertionFailure() << "SOCKS tests with a password need the system account "
                                         << userName().toStdString() << "; run them as root once to create it";
  if (!run("/usr/sbin/useradd", {"--system", "--no-create-home", "--shell", "/usr/sbin/nologin", userName()}))
    return ::testing::AssertionFailure() << "cannot create the system account " << userName().toStdString();
  if (!run("/usr/sbin/chpasswd", {}, (userName() + QLatin1Char(':') + password() + QLatin1Char('\n')).toUtf8()))
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
  QFile file(configPath);
  if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
    return ::testing::AssertionFailure() << "cannot write " << configPath.toStdString();
  file.close();

  m_process = std::make_unique<QProcess>();
  m_process->setProcessChannelMode(QProcess::MergedChannels);
  m_process->start(program, {"-f", configPath, "-N", "1", "-p", m_dir.filePath("sockd.pid")});
  if (!m_process->waitForStarted(5000))
    return ::testing::AssertionFailure() << "cannot start " << program.toStdString();

  return waitUntilListening(*m_process, m_port, "Dante");
}

void SocksProxyFixture::stop() { stopServer(m_process); }

} // namespace tidewick::test
