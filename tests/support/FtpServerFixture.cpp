#include "support/FtpServerFixture.h"

#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tidewick::test {

FtpServerFixture::FtpServerFixture(FtpServerOptions options) : m_options(std::move(options)) {}

FtpServerFixture::~FtpServerFixture() { stop(); }

QString FtpServerFixture::scriptPath() { return QStringLiteral(TIDEWICK_SOURCE_DIR "/tests/support/ftpserver.py"); }

::testing::AssertionResult FtpServerFixture::start() {
  if (!m_root.isValid()) return ::testing::AssertionFailure() << "cannot create a temporary root folder";
  const QString python = "/usr/bin/python3";
  if (!QFileInfo(python).isExecutable())
    return ::testing::AssertionFailure() << "/usr/bin/python3 is missing (scripts/deps installs it)";

  QStringList arguments = {scriptPath(), "--root", m_root.path()};
  arguments << "--host" << m_options.host << "--port"
            << "0";
  arguments << "--watch-stdin"
            << "--command-log" << m_scratch.filePath("commands.log");
  for (const auto& [name, password] : m_options.users) arguments << "--user" << name + QLatin1Char(':') + password;
  if (m_options.anonymous) arguments << "--anonymous";
  if (m_options.anonymousWrite) arguments << "--anonymous-write";
  if (!m_options.mlsd) arguments << "--no-mlsd";
  if (!m_options.epsv) arguments << "--no-epsv";
  if (!m_options.masquerade.isEmpty()) arguments << "--masquerade" << m_options.masquerade;
  if (m_options.throttle > 0) arguments << "--throttle" << QString::number(m_options.throttle);
  for (const QString& name : m_options.refuse) arguments << "--refuse" << name;
  if (!m_options.tlsCertificate.isEmpty())
    arguments << "--tls-cert" << m_options.tlsCertificate << "--tls-key" << m_options.tlsKey;
  if (m_options.tlsImplicit) arguments << "--tls-implicit";
  if (m_options.tlsRequired) arguments << "--tls-required";

  m_process = std::make_unique<QProcess>();
  m_process->setProcessChannelMode(QProcess::SeparateChannels);
  m_process->start(python, arguments);
  if (!m_process->waitForStarted(10000))
    return ::testing::AssertionFailure() << "cannot start " << python.toStdString();
  QByteArray line;
  while (!line.contains('\n')) {
    if (!m_process->waitForReadyRead(15000)) {
      const QString err = QString::fromLocal8Bit(m_process->readAllStandardError());
      stop();
      return ::testing::AssertionFailure()
             << "the FTP server did not report its port (is python3-pyftpdlib installed?): " << err.toStdString();
    }
    line += m_process->readAllStandardOutput();
  }
  bool ok = false;
  m_port = static_cast<quint16>(line.trimmed().toUInt(&ok));
  if (!ok || m_port == 0) {
    stop();
    return ::testing::AssertionFailure() << "the FTP server printed no port: " << line.toStdString();
  }
  return ::testing::AssertionSuccess();
}

void FtpServerFixture::stop() {
  if (!m_process) return;
  m_process->closeWriteChannel(); // --watch-stdin: the server leaves by itself
  if (!m_process->waitForFinished(3000)) {
    m_process->kill();
    m_process->waitForFinished(3000);
  }
  m_process.reset();
}

QString FtpServerFixture::writeFile(const QString& relative, const QByteArray& content) const {
  const QString full = path(relative);
  QDir().mkpath(QFileInfo(full).absolutePath());
  QFile file(full);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(content);
  return full;
}

QByteArray FtpServerFixture::readFile(const QString& relative) const { return TempHome::readFile(path(relative)); }

QStringList FtpServerFixture::receivedCommands() const {
  QFile file(m_scratch.filePath("commands.log"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

} // namespace tidewick::test
