#include "ftp/session/LocalTarget.h"

#include "ftp/session/FtpError.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace tidewick::ftp {

namespace {

// Opens `local` for reading and writing without following a link; true when it was made now.
bool openNoFollow(QFile& file, const QString& local) {
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

} // namespace

DownloadTarget::DownloadTarget(const QString& local, qint64 startOffset) : m_local(local), m_startOffset(startOffset) {
  m_created = openNoFollow(m_file, local);
  if (startOffset > 0 && m_file.size() < startOffset) {
    const qint64 held = m_file.size();
    m_file.close();
    if (m_created) QFile::remove(local);
    throw FtpError(FailureKind::LocalFileFailed,
                   QStringLiteral("The local file %1 holds %2 bytes, fewer than the resume offset %3")
                       .arg(local)
                       .arg(held)
                       .arg(startOffset));
  }
}

DownloadTarget::~DownloadTarget() {
  if (m_created && !m_started) {
    m_file.close();
    QFile::remove(m_local);
  }
}

void DownloadTarget::start() {
  m_started = true;
  // A file made just now is empty and open at its start already.
  if (!m_created && (!m_file.resize(m_startOffset) || !m_file.seek(m_startOffset)))
    throw FtpError(FailureKind::LocalFileFailed,
                   QStringLiteral("Cannot prepare the local file %1: %2").arg(m_local, m_file.errorString()));
}

void openUploadSource(QFile& file, const QString& local, qint64 start) {
  const QFileInfo info(local);
  if (!info.exists())
    throw FtpError(FailureKind::LocalFileFailed, QStringLiteral("The local file %1 does not exist").arg(local));
  if (!info.isFile()) throw FtpError(FailureKind::LocalFileFailed, QStringLiteral("%1 is not a file").arg(local));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
    throw FtpError(FailureKind::LocalFileFailed,
                   QStringLiteral("Cannot read the local file %1: %2").arg(local, file.errorString()));
  const qint64 size = file.size();
  if (start < 0 || start > size)
    throw FtpError(FailureKind::InvalidArgument,
                   QStringLiteral("The resume offset %1 lies outside %2 (%3 bytes)").arg(start).arg(local).arg(size));
}

} // namespace tidewick::ftp
