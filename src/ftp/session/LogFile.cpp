#include "ftp/session/LogFile.h"

#include <QDateTime>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace tidewick::ftp {

LogFile::~LogFile() {
  if (m_file) std::fclose(m_file);
}

void LogFile::setPath(const QString& path) {
  if (path == m_path) return;
  if (m_file) std::fclose(m_file);
  m_file = nullptr;
  m_failed = false;
  m_path = path;
}

void LogFile::write(const QString& line) {
  if (m_path.isEmpty() || m_failed) return;
  if (!m_file) {
    // Owner-only: the log holds user names and server paths.
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    m_file = fd >= 0 ? ::fdopen(fd, "a") : nullptr;
    if (!m_file) {
      if (fd >= 0) ::close(fd);
      m_failed = true; // a log that cannot be written must not stop the transfer
      return;
    }
  }
  const QByteArray text =
      QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ")).toUtf8() + line.toUtf8() + '\n';
  std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), m_file);
  std::fflush(m_file);
}

} // namespace tidewick::ftp
