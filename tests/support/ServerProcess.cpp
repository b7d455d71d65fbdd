#include "support/ServerProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tidewick::test {

namespace {

sockaddr_in loopback(quint16 port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool accepting(quint16 port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in address = loopback(port);
  const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (fd >= 0) ::close(fd);
  return ok;
}

} // namespace

quint16 freeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  quint16 port = 0;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port = ntohs(address.sin_port);
  if (fd >= 0) ::close(fd);
  return port;
}

::testing::AssertionResult waitUntilListening(QProcess& process, quint16 port, const char* name) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 10000) {
    if (process.state() != QProcess::Running) {
      const QString output = QString::fromLocal8Bit(process.readAll());
      return ::testing::AssertionFailure() << name << " stopped: " << output.toStdString();
    }
    if (accepting(port)) return ::testing::AssertionSuccess();
    QThread::msleep(20);
  }
  return ::testing::AssertionFailure() << name << " did not start listening on port " << port;
}

::testing::AssertionResult startListening(std::unique_ptr<QProcess>& process, const QString& program,
                                          const QStringList& arguments, quint16 port, const char* name) {
  process = std::make_unique<QProcess>();
  process->setProcessChannelMode(QProcess::MergedChannels);
  process->start(program, arguments);
  if (!process->waitForStarted(5000)) return ::testing::AssertionFailure() << "cannot start " << name;
  ::testing::AssertionResult listening = waitUntilListening(*process, port, name);
  if (!listening) stopServer(process);
  return listening;
}

bool runProgram(const QString& program, const QStringList& arguments, QByteArray* output, const QByteArray& input) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  if (!input.isEmpty() && process.waitForStarted(20000)) process.write(input);
  process.closeWriteChannel();
  if (!process.waitForFinished(20000)) return false;
  if (output) *output = process.readAll();
  return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool writeTextFile(const QString& path, const QByteArray& text, QFileDevice::Permissions permissions) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) return false;
  file.close();
  return file.setPermissions(permissions);
}

void stopServer(std::unique_ptr<QProcess>& process) {
  if (!process) return;
  process->terminate();
  if (!process->waitForFinished(5000)) {
    process->kill();
    process->waitForFinished(3000);
  }
  process.reset();
}

} // namespace tidewick::test
