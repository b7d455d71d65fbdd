#pragma once

#include <QString>

#include <cstdio>

namespace tidewick::ftp {

// The protocol log on disk. Opened in append mode when first written and kept open while the
// path stays the same; every line is flushed so a crash loses nothing and other readers see it.
class LogFile {
public:
  LogFile() = default;
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  void setPath(const QString& path);
  void write(const QString& line);

private:
  QString m_path;
  std::FILE* m_file = nullptr;
  bool m_failed = false;
};

} // namespace tidewick::ftp
