#include "settings/Register.h"

#include "settings/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString appTitle() { return QStringLiteral("Tidewick"); }

QString keyPath(QString section) {
  if (section.startsWith(QLatin1Char('\\'))) section.remove(0, 1);
  if (section.endsWith(QLatin1Char('\\'))) section.chop(1);
  return section;
}

bool isStartupPath(const QString& path) {
  return path.compare(keyPath(CRegister::StartupSection()), Qt::CaseInsensitive) == 0;
}

// "Software\Tidewick\Settings" is the [Settings] section of our file; any other path keeps its
// whole text as the section name.
QString iniSection(const QString& path) {
  const QString prefix = QStringLiteral("Software\\") + appTitle() + QLatin1Char('\\');
  if (path.startsWith(prefix, Qt::CaseInsensitive) && path.size() > prefix.size()) return path.mid(prefix.size());
  return path;
}

QString desktopFile(const QString& valueName) {
  return CRegister::AutostartFolder() + QLatin1Char('/') + valueName.toLower() + QStringLiteral(".desktop");
}

QString desktopSection() { return QStringLiteral("Desktop Entry"); }

// The start-up entry: the value is the command line, kept as the Exec line of an autostart file.
QString readStartup(const QString& valueName) {
  auto exec = tidewick::ini::read(desktopFile(valueName), desktopSection(), QStringLiteral("Exec"));
  if (!exec) return {};
  return exec->replace(QStringLiteral("%%"), QStringLiteral("%"));
}

bool saveStartup(const QString& valueName, QString commandLine) {
  if (!QDir().mkpath(CRegister::AutostartFolder())) return false;
  commandLine.replace(QLatin1Char('%'), QStringLiteral("%%"));
  QByteArray text = "[Desktop Entry]\nType=Application\nName=" + appTitle().toUtf8() +
                    "\nComment=FTP client\nExec=" + commandLine.toUtf8() +
                    "\nIcon=network-server\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
  if (commandLine.contains(QLatin1Char('\n')) || commandLine.contains(QLatin1Char('\r'))) return false;
  return tidewick::ini::writeFileAtomically(desktopFile(valueName), text);
}

QString configHome() {
  QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (xdg.isEmpty() || !QDir::isAbsolutePath(xdg)) xdg = QDir::homePath() + QStringLiteral("/.config");
  return xdg;
}

} // namespace

QString CRegister::SettingsSection() {
  return QStringLiteral("\\Software\\") + appTitle() + QStringLiteral("\\Settings");
}
QString CRegister::StartupSection() { return QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"); }

QString CRegister::SettingsFilePath() {
  const QString home = qEnvironmentVariable("TIDEWICK_HOME");
  if (!home.isEmpty()) return home + QStringLiteral("/config/tidewick.conf");
  return configHome() + QStringLiteral("/Tidewick/tidewick.conf");
}

QString CRegister::AutostartFolder() { return configHome() + QStringLiteral("/autostart"); }

QString CRegister::REGGetSetting(RegRoot regHKEY, const QString& sSection, const QString& sKey,
                                 const QString& sDefault) const {
  const QString path = keyPath(sSection);
  QString value;
  if (regHKEY == RegRoot::CurrentUser && isStartupPath(path)) {
    value = readStartup(sKey);
  } else {
    value = tidewick::ini::read(SettingsFilePath(), iniSection(path), sKey).value_or(QString());
  }
  return value.isEmpty() ? sDefault : value;
}

bool CRegister::REGSaveSetting(RegRoot regHKEY, const QString& sSection, const QString& sKey,
                               const QString& sValue) const {
  const QString path = keyPath(sSection);
  if (regHKEY == RegRoot::CurrentUser && isStartupPath(path)) return saveStartup(sKey, sValue);
  const QString file = SettingsFilePath();
  if (!QDir().mkpath(QFileInfo(file).absolutePath())) return false;
  return tidewick::ini::write(file, iniSection(path), sKey, sValue);
}

bool CRegister::REGDeleteSetting(RegRoot regHKEY, const QString& sSection, const QString& sKey) const {
  const QString path = keyPath(sSection);
  if (regHKEY == RegRoot::CurrentUser && isStartupPath(path)) {
    const QString file = desktopFile(sKey);
    return QFileInfo::exists(file) && QFile::remove(file);
  }
  const QString file = SettingsFilePath();
  QByteArray before;
  {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return false;
    before = f.readAll();
  }
  if (!tidewick::ini::find(before, iniSection(path), sKey)) return false;
  return tidewick::ini::remove(file, iniSection(path), sKey);
}

QString GetSetting(const QString& key, const QString& missing) {
  return CRegister().REGGetSetting(RegRoot::LocalMachine, CRegister::SettingsSection(), key, missing);
}

bool SaveSetting(const QString& key, const QString& value) {
  return CRegister().REGSaveSetting(RegRoot::LocalMachine, CRegister::SettingsSection(), key, value);
}

bool DeleteSetting(const QString& key) {
  return CRegister().REGDeleteSetting(RegRoot::LocalMachine, CRegister::SettingsSection(), key);
}
