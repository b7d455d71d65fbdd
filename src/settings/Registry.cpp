#include "settings/Registry.h"

#include "settings/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>

namespace tidewick::settings {
namespace {

QString appTitle() { return QStringLiteral("Tidewick"); }

QString keyPath(QString section) {
  if (section.startsWith(QLatin1Char('\\'))) section.remove(0, 1);
  if (section.endsWith(QLatin1Char('\\'))) section.chop(1);
  return section;
}

bool isStartupPath(const QString& path) {
  return path.compare(keyPath(Registry::startupSection()), Qt::CaseInsensitive) == 0;
}

// "Software\Tidewick\Settings" is the [Settings] section of our file; any other path keeps its
// whole text as the section name.
QString iniSection(const QString& path) {
  const QString prefix = QStringLiteral("Software\\") + appTitle() + QLatin1Char('\\');
  if (path.startsWith(prefix, Qt::CaseInsensitive) && path.size() > prefix.size()) return path.mid(prefix.size());
  return path;
}

QString desktopFile(const QString& valueName) {
  return Registry::autostartFolder() + QLatin1Char('/') + valueName.toLower() + QStringLiteral(".desktop");
}

QString desktopSection() { return QStringLiteral("Desktop Entry"); }

// The start-up entry: the value is the command line, kept as the Exec line of an autostart file.
QString readStartup(const QString& valueName) {
  auto exec = ini::read(desktopFile(valueName), desktopSection(), QStringLiteral("Exec"));
  if (!exec) return {};
  return exec->replace(QStringLiteral("%%"), QStringLiteral("%"));
}

bool saveStartup(const QString& valueName, QString commandLine) {
  if (!QDir().mkpath(Registry::autostartFolder())) return false;
  commandLine.replace(QLatin1Char('%'), QStringLiteral("%%"));
  QByteArray text = "[Desktop Entry]\nType=Application\nName=" + appTitle().toUtf8() +
                    "\nComment=FTP client\nExec=" + commandLine.toUtf8() +
                    "\nIcon=network-server\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
  if (commandLine.contains(QLatin1Char('\n')) || commandLine.contains(QLatin1Char('\r'))) return false;
  return ini::writeFileAtomically(desktopFile(valueName), text);
}

// The settings file, read whole. Settings failures reach no dialog: a file that cannot be read (or is
// over the size limit) gives the callers their defaults, is never replaced, and is named once on
// standard error.
ini::Document loadSettings() {
  ini::Document doc = ini::Document::load(Registry::settingsFilePath());
  if (doc.status() == ini::LoadStatus::Unreadable || doc.status() == ini::LoadStatus::TooLarge) {
    static QMutex mutex;
    static QString reported;
    QMutexLocker lock(&mutex);
    if (reported != doc.problem()) {
      reported = doc.problem();
      qWarning("%s", qPrintable(reported));
    }
  }
  return doc;
}

QString configHome() {
  QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (xdg.isEmpty() || !QDir::isAbsolutePath(xdg)) xdg = QDir::homePath() + QStringLiteral("/.config");
  return xdg;
}

} // namespace

QString Registry::settingsSection() {
  return QStringLiteral("\\Software\\") + appTitle() + QStringLiteral("\\Settings");
}
QString Registry::startupSection() { return QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"); }

QString Registry::settingsFilePath() {
  const QString home = qEnvironmentVariable("TIDEWICK_HOME");
  if (!home.isEmpty()) return home + QStringLiteral("/config/tidewick.conf");
  return configHome() + QStringLiteral("/Tidewick/tidewick.conf");
}

QString Registry::autostartFolder() { return configHome() + QStringLiteral("/autostart"); }

QString Registry::value(const QString& section, const QString& key, const QString& missing) const {
  const QString path = keyPath(section);
  QString text;
  if (m_root == Root::User && isStartupPath(path)) {
    text = readStartup(key);
  } else {
    text = loadSettings().value(iniSection(path), key).value_or(QString());
  }
  return text.isEmpty() ? missing : text;
}

bool Registry::setValue(const QString& section, const QString& key, const QString& value) const {
  const QString path = keyPath(section);
  if (m_root == Root::User && isStartupPath(path)) return saveStartup(key, value);
  const QString file = settingsFilePath();
  if (!QDir().mkpath(QFileInfo(file).absolutePath())) return false;
  ini::Document doc = loadSettings();
  if (!doc.setValue(iniSection(path), key, value)) return false;
  return (doc.status() == ini::LoadStatus::Read && !doc.isChanged()) || doc.save(file);
}

bool Registry::removeValue(const QString& section, const QString& key) const {
  const QString path = keyPath(section);
  if (m_root == Root::User && isStartupPath(path)) {
    const QString file = desktopFile(key);
    return QFileInfo::exists(file) && QFile::remove(file);
  }
  ini::Document doc = loadSettings();
  if (doc.status() != ini::LoadStatus::Read || !doc.remove(iniSection(path), key)) return false;
  return doc.save(settingsFilePath());
}

QString value(const QString& key, const QString& missing) {
  return Registry().value(Registry::settingsSection(), key, missing);
}

bool setValue(const QString& key, const QString& value) {
  return Registry().setValue(Registry::settingsSection(), key, value);
}

bool removeValue(const QString& key) { return Registry().removeValue(Registry::settingsSection(), key); }

} // namespace tidewick::settings
