#pragma once

#include <QFile>
#include <QString>

namespace tidewick::ftp {

// Opens a download target for reading and writing, creating it when missing, and tells whether it
// did. A symbolic link at the name, dangling or not, is never followed: the download would land
// wherever it points. Throws FtpError (LocalFileFailed) when the file cannot be opened.
bool openDownloadTarget(QFile& file, const QString& local);

} // namespace tidewick::ftp
