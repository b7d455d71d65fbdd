#pragma once

#include <QFile>
#include <QString>

namespace tidewick::ftp {

// The local file a download writes, whichever protocol brings it. It is opened (and created if
// need be) before the server is asked, so a target that cannot be written costs no transfer. It
// is only cut to the start offset once the server has agreed to send (start()), so a refused
// download leaves an existing file as it was, and a file made here for a download that never
// started is removed again.
//
// A symbolic link at the name, dangling or not, is never followed: the download would land
// wherever it points. Failures throw FtpError (LocalFileFailed).
class DownloadTarget {
public:
  // Also refuses to resume from an offset past the end of the file as it stands.
  DownloadTarget(const QString& local, qint64 startOffset);
  ~DownloadTarget();
  DownloadTarget(const DownloadTarget&) = delete;
  DownloadTarget& operator=(const DownloadTarget&) = delete;

  // The server sends: the file is kept, cut to the start offset and positioned there.
  void start();
  QFile& file() { return m_file; }

private:
  QFile m_file;
  QString m_local;
  qint64 m_startOffset;
  bool m_created = false;
  bool m_started = false;
};

// Opens the local file an upload reads. Throws FtpError when it is missing, not a regular file or
// unreadable (LocalFileFailed), or when `start` lies outside it (InvalidArgument).
void openUploadSource(QFile& file, const QString& local, qint64 start);

} // namespace tidewick::ftp
