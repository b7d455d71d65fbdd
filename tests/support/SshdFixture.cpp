#include "support/SshdFixture.h"

#include "support/ServerProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QThread>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tidewick::test {

namespace {

const QString kProgram = "/usr/sbin/sshd";

} // namespace

QString SshdFixture::userName() {
  const passwd* user = ::getpwuid(::geteuid());
  return user ? QString::fromLocal8Bit(user->pw_name) : QString();
}

bool SshdFixture::makeKey(const QString& path, const QString& passphrase) {
  QFile::remove(path);
  QFile::remove(path + ".pub");
  return runProgram("ssh-keygen", {"-q", "-t", "ed25519", "-N", passphrase, "-C", "tidewick-test", "-f", path});
}

QString SshdFixture::fingerprintOf(const QString& publicKeyFile) {
  QByteArray output;
  if (!runProgram("ssh-keygen", {"-l", "-E", "sha256", "-f", publicKeyFile}, &output)) return {};
  const QList<QByteArray> parts = output.split(' ');
  return parts.size() > 1 ? QString::fromLatin1(parts[1]) : QString();
}

bool SshdFixture::authorize(const QString& privateKey) const {
  QFile key(privateKey + ".pub");
  QFile keys(m_dir.filePath("authorized_keys"));
  return key.open(QIODevice::ReadOnly) && keys.open(QIODevice::Append) && keys.write(key.readAll()) > 0;
}

SshdFixture::~SshdFixture() { stop(); }

bool SshdFixture::installed() { return QFileInfo(kProgram).isExecutable(); }

QByteArray SshdFixture::hostLabel() const { return QStringLiteral("[%1]:%2").arg(host()).arg(m_port).toUtf8(); }

bool SshdFixture::trustHostKey() const {
  return writeTextFile(knownHosts(), hostLabel() + ' ' + m_hostKey + '\n',
                       QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

::testing::AssertionResult SshdFixture::start() {
  if (!installed()) return ::testing::AssertionFailure() << notInstalled;
  if (!m_dir.isValid()) return ::testing::AssertionFailure() << "cannot create a temporary folder";
  if (::geteuid() == 0 && !QFileInfo::exists("/run/sshd") && ::mkdir("/run/sshd", 0755) != 0)
    return ::testing::AssertionFailure() << "cannot create /run/sshd, which sshd needs when run by root";
  const QString ssh = clientHome() + "/.ssh";
  const QString hostKey = m_dir.filePath("host_ed25519");
  if (!QDir().mkpath(root()) || !QDir().mkpath(ssh) || !makeKey(hostKey) || !makeKey(ssh + "/id_ed25519") ||
      !QFile::copy(ssh + "/id_ed25519.pub", m_dir.filePath("authorized_keys")) ||
      !writeTextFile(knownHosts(), {}, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
    return ::testing::AssertionFailure() << "cannot make the keys (ssh-keygen from openssh-client)";
  QFile::setPermissions(ssh, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  QFile hostPublic(hostKey + ".pub");
  if (!hostPublic.open(QIODevice::ReadOnly)) return ::testing::AssertionFailure() << "no host key";
  const QList<QByteArray> parts = hostPublic.readAll().trimmed().split(' ');
  m_hostKey = parts.size() >= 2 ? parts[0] + ' ' + parts[1] : QByteArray();
  m_fingerprint = fingerprintOf(hostKey + ".pub");

  ::testing::AssertionResult result = ::testing::AssertionFailure() << "no free port";
  for (int attempt = 0; attempt < 5 && !result; ++attempt) result = startOn(freeLoopbackPort());
  return result;
}

::testing::AssertionResult SshdFixture::startOn(quint16 port) {
  if (port == 0) return ::testing::AssertionFailure() << "no free port";
  const QString config =
      QStringLiteral(
          "Port %1\n"
          "ListenAddress 127.0.0.1\n"
          "HostKey %2\n"
          "PidFile none\n"
          "AuthorizedKeysFile %3\n"
          "StrictModes no\n"
          "UsePAM %4\n"
          "PermitRootLogin yes\n"
          "PasswordAuthentication yes\n"
          "KbdInteractiveAuthentication %4\n"
          "MaxAuthTries 20\n"
          "Subsystem sftp internal-sftp\n"
          "LogLevel ERROR\n")
          .arg(port)
          .arg(m_dir.filePath("host_ed25519"), m_dir.filePath("authorized_keys"), m_withPassword ? "yes" : "no");
  const QString configPath = m_dir.filePath("sshd_config");
  if (!writeTextFile(configPath, config.toUtf8(), QFileDevice::ReadOwner | QFileDevice::WriteOwner))
    return ::testing::AssertionFailure() << "cannot write " << configPath.toStdString();

  // With a password, sshd's PAM services are replaced by ours for sshd's eyes only. The whole folder
  // is mounted, not single files: a file mounted over is let go as soon as a tool elsewhere replaces
  // it (as useradd and chpasswd replace /etc/shadow), and sshd would then see the system's file again.
  ::testing::AssertionResult listening =
      m_withPassword
          ? startListening(m_process, "unshare",
                           {"-m", "--propagation", "private", "/bin/sh", "-c",
                            QStringLiteral("mount --bind \"$1\" /etc/pam.d && exec %1 -D -e -f \"$2\"").arg(kProgram),
                            "sh", m_dir.filePath("pam.d"), configPath},
                           port, "sshd")
          : startListening(m_process, kProgram, {"-D", "-e", "-f", configPath}, port, "sshd");
  if (listening) m_port = port;
  return listening;
}

::testing::AssertionResult SshdFixture::startWithPassword(const QString& password) {
  if (::geteuid() != 0) return ::testing::AssertionFailure() << "only root can give sshd PAM services of its own";
  if (!m_dir.isValid()) return ::testing::AssertionFailure() << "cannot create a temporary folder";
  // PAM hands the answer to a check against the fixture's own file, so no system account changes.
  // pam_exec sends the password with a closing NUL. It takes no part in setting credentials, which
  // fails when no module does; pam_permit does.
  const QString check = m_dir.filePath("check-password");
  const QString expected = m_dir.filePath("password");
  if (check.contains(QLatin1Char(' ')))
    return ::testing::AssertionFailure() << "the temporary folder's path holds a space, which PAM's files cannot take";
  const QByteArray pam =
      "auth required pam_exec.so quiet expose_authtok /bin/sh " + QFile::encodeName(check) + ' ' +
      QFile::encodeName(expected) +
      "\nauth optional pam_permit.so\naccount required pam_permit.so\nsession required pam_permit.so\n"
      "password required pam_deny.so\n";
  const auto owner = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  if (!QDir().mkpath(m_dir.filePath("pam.d")) ||
      !writeTextFile(m_dir.filePath("pam.d/sshd"), pam, owner | QFileDevice::ReadGroup | QFileDevice::ReadOther) ||
      !writeTextFile(check, "tr -d '\\000' | cmp -s - \"$1\"\n", owner) ||
      !writeTextFile(expected, password.toUtf8(), owner))
    return ::testing::AssertionFailure() << "cannot write the PAM files";
  if (!runProgram("unshare", {"-m", "true"}))
    return ::testing::AssertionFailure() << "unshare cannot make a mount namespace here";
  m_withPassword = true;
  return start();
}

QString SshdFixture::startAgent(const QString& privateKey) {
  const QString socket = m_dir.filePath("agent.sock");
  m_agent = std::make_unique<QProcess>();
  m_agent->start("ssh-agent", {"-D", "-a", socket});
  if (!m_agent->waitForStarted(5000)) return {};
  for (int i = 0; i < 100 && !QFileInfo::exists(socket); ++i) QThread::msleep(50);
  QProcess add;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("SSH_AUTH_SOCK", socket);
  add.setProcessEnvironment(environment);
  add.start("ssh-add", {privateKey});
  if (!add.waitForFinished(20000) || add.exitCode() != 0) return {};
  return socket;
}

void SshdFixture::stop() {
  stopServer(m_process);
  stopServer(m_agent);
}

ClientHome::ClientHome(const QString& home)
    : m_saved(qgetenv("HOME")), m_had(qEnvironmentVariableIsSet("HOME")), m_agent(qgetenv("SSH_AUTH_SOCK")),
      m_hadAgent(qEnvironmentVariableIsSet("SSH_AUTH_SOCK")) {
  qputenv("HOME", QFile::encodeName(home));
  qunsetenv("SSH_AUTH_SOCK");
}

ClientHome::~ClientHome() {
  if (m_had) qputenv("HOME", m_saved);
  else qunsetenv("HOME");
  if (m_hadAgent) qputenv("SSH_AUTH_SOCK", m_agent);
  else qunsetenv("SSH_AUTH_SOCK");
}

SshdFixture* SshdTest::server = nullptr;
::testing::AssertionResult SshdTest::started = ::testing::AssertionFailure();

void SshdTest::SetUpTestSuite() {
  server = new SshdFixture();
  started = server->start();
}

void SshdTest::TearDownTestSuite() {
  delete server;
  server = nullptr;
}

void SshdTest::SetUp() {
  if (!SshdFixture::installed()) GTEST_SKIP() << SshdFixture::notInstalled;
  ASSERT_TRUE(started);
  home = std::make_unique<ClientHome>(server->clientHome());
}

} // namespace tidewick::test
