#include "ftp/session/LocalTarget.h"

#include "ftp/session/FtpError.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace tidewick::ftp {

bool openDownloadTarget(QFile& file, const QString& local) {
  const QByteArray path = QFile::encodeName(local);
  const int flags = O_RDWR | O_NOFOLLOW | O_CLOEXEC;
  bool created = true;
  int fd = ::open(path.constData(), flags | O_CREAT | O_EXCL, 0666);
  if (fd < 0 && errno == EEXIST) {
    created = false;
    fd = ::open(path.constData(), flags);
  }
  if (fd < 0) {
    const int error = errno;
    if (error == ELOOP)
      throw FtpError(FailureKind::LocalFileFailed, QStringLiteral("%1 is a symbolic link; not overwritten").arg(local));
    throw FtpError(
        FailureKind::LocalFileFailed,
        QStringLiteral("Cannot write the local file %1: %2").arg(local, QString::fromLocal8Bit(std::strerror(error))));
  }
  if (!file.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    throw FtpError(FailureKind::LocalFileFailed,
                   QStringLiteral("Cannot write the local file %1: %2").arg(local, file.errorString()));
  }
  return created;
}

} // namespace tidewick::ftp
