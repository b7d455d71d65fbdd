#include "support/TempHome.h"

#include "settings/IniFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {
const char* const kVars[] = {"TIDEWICK_HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"};
}

TempHome::TempHome() {
  if (!m_dir.isValid()) throw std::runtime_error("cannot create a temporary folder");
  for (const char* var : kVars)
    m_saved[var] = qEnvironmentVariableIsSet(var) ? std::optional<QByteArray>(qgetenv(var)) : std::nullopt;
  QDir(m_dir.path()).mkpath("home");
  QDir(m_dir.path()).mkpath("config");
  QDir(m_dir.path()).mkpath("data");
  qputenv("TIDEWICK_HOME", (m_dir.path() + "/home").toUtf8());
  qputenv("XDG_CONFIG_HOME", (m_dir.path() + "/config").toUtf8());
  qputenv("XDG_DATA_HOME", (m_dir.path() + "/data").toUtf8());
}

TempHome::~TempHome() {
  for (const auto& [var, value] : m_saved) {
    if (value) qputenv(var.constData(), *value);
    else qunsetenv(var.constData());
  }
}

QString TempHome::home() const { return m_dir.path() + "/home/"; }
QString TempHome::settingsFile() const { return m_dir.path() + "/home/config/tidewick.conf"; }
QString TempHome::autostartFile() const { return m_dir.path() + "/config/autostart/tidewick.desktop"; }

void TempHome::setSetting(const QString& key, const QString& value) const {
  QDir().mkpath(QFileInfo(settingsFile()).absolutePath());
  if (!tidewick::settings::ini::write(settingsFile(), "Settings", key, value))
    throw std::runtime_error("cannot write the test settings file");
}

std::optional<QString> TempHome::setting(const QString& key) const {
  return tidewick::settings::ini::read(settingsFile(), "Settings", key);
}

QString TempHome::writeFile(const QString& relative, const QByteArray& bytes) const {
  const QString path = m_dir.path() + QLatin1Char('/') + relative;
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
    throw std::runtime_error("cannot write a test file");
  return path;
}

QByteArray TempHome::readFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::map<QString, QByteArray> TempHome::filesBelow(const QString& root) {
  std::map<QString, QByteArray> files;
  QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    files[QDir(root).relativeFilePath(path)] = readFile(path);
  }
  return files;
}
