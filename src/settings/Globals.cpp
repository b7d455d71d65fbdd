#include "settings/Globals.h"

#include "settings/IniFile.h"
#include "settings/Registry.h"
#include "settings/SettingsKeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace tidewick::settings {

QString ProgramVersion() {
  return QStringLiteral("%1.%2.%3").arg(TIDEWICK_VERSION_MAJOR).arg(TIDEWICK_VERSION_MINOR).arg(TIDEWICK_VERSION_PATCH);
}

QString ReleaseVersion() { return QStringLiteral("%1.%2").arg(TIDEWICK_VERSION_MAJOR).arg(TIDEWICK_VERSION_MINOR); }

QString valueOrDefault(const QString& key, const char* fallback) {
  const QString text = value(key).trimmed();
  return text.isEmpty() ? QString::fromUtf8(fallback) : text;
}

QString AppFilePath(const QString& relativePath) {
  QString home = qEnvironmentVariable("TIDEWICK_HOME").trimmed();
  if (home.isEmpty()) {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data)) data = QDir::homePath() + QStringLiteral("/.local/share");
    home = data + QStringLiteral("/Tidewick");
  }
  if (!home.endsWith(QLatin1Char('/'))) home += QLatin1Char('/');
  return home + relativePath;
}

bool FileExists(const QString& path) {
  if (path.isEmpty()) return false;
  QFileInfo info(path);
  return info.exists() && info.isFile();
}

bool FolderExists(const QString& path) { return !path.isEmpty() && QFileInfo::exists(path); }

void DeleteFileQuietly(const QString& path) { QFile::remove(path); }

QString IniStringOf(const std::optional<QString>& stored) {
  if (!stored || stored->startsWith(QStringLiteral("(Unassigned)"))) return {};
  return StripNulls(*stored);
}

QString ReadIniString(const ini::Document& file, const QString& section, const QString& key) {
  return IniStringOf(file.value(section, key));
}

QString ReadIniString(const QString& file, const QString& section, const QString& key) {
  return ReadIniString(ini::Document::load(file), section, key);
}

int WriteIniString(const QString& section, const QString& key, const QString& value, ini::Document& file) {
  return file.setValue(section, key, value) ? 1 : 0;
}

int WriteIniString(const QString& section, const QString& key, const QString& value, const QString& file) {
  return ini::write(file, section, key, value) ? 1 : 0;
}

QString withTrailingSlash(const QString& path) {
  if (path.trimmed().endsWith(QLatin1Char('/'))) return path;
  return path + QLatin1Char('/');
}

QString StripNulls(const QString& text) {
  qsizetype nul = text.indexOf(QChar(0));
  return nul < 0 ? text : text.left(nul);
}

bool RecycleFile(const QString& path, Removal removal) {
  QFileInfo info(path);
  if (!info.exists() && !info.isSymLink()) return false;
  if (removal == Removal::ToTrash) return QFile::moveToTrash(path);
  if (info.isDir() && !info.isSymLink()) return QDir(path).removeRecursively();
  return QFile::remove(path);
}

QString EncodeString(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  QString out;
  out.reserve(bytes.size());
  for (char c : bytes) out.append(QChar(static_cast<unsigned char>(c) + 10));
  return out;
}

QString DecodeString(const QString& text) {
  QByteArray bytes;
  bytes.reserve(text.size());
  for (QChar c : text) {
    if (c.unicode() <= 0xFF) {
      bytes.append(static_cast<char>(static_cast<unsigned char>(c.unicode() - 10)));
    } else {
      // Not produced by EncodeString (a hand-edited file): shift its UTF-8 bytes instead.
      for (char b : QString(c).toUtf8()) bytes.append(static_cast<char>(static_cast<unsigned char>(b) - 10));
    }
  }
  return QString::fromUtf8(bytes);
}

double LeadingNumber(const QString& text) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t'))) ++i;
  qsizetype start = i;
  if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
  qsizetype digitsStart = i;
  while (i < n && text[i].isDigit() && text[i].unicode() < 128) ++i;
  if (i < n && text[i] == QLatin1Char('.')) {
    ++i;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) ++i;
  }
  if (i == digitsStart || (i == digitsStart + 1 && text[digitsStart] == QLatin1Char('.'))) return 0;
  bool ok = false;
  double value = text.mid(start, i - start).toDouble(&ok);
  return ok ? value : 0;
}

void SetStartupEntry(const QString& commandLine) {
  Registry(Root::User).setValue(Registry::startupSection(), keys::StartupEntry, commandLine);
}

void RemoveStartupEntry() { Registry(Root::User).removeValue(Registry::startupSection(), keys::StartupEntry); }

bool IsStoredVersion(const QString& version) { return value(keys::Version) == version; }

void StoreVersion(const QString& version) { setValue(keys::Version, version); }

void ResetStoredSettings() {
  RemoveStartupEntry();
  for (QLatin1String key : {keys::AddToStartup, keys::SaveWindowPosition, keys::SaveWindowSize}) removeValue(key);
  namespace placement = keys::placement;
  for (QLatin1String window : {placement::ConnectionInfo, placement::Exist, placement::License, placement::Main,
                               placement::RemoteChangeMode, placement::Options})
    for (QLatin1String edge : {placement::Top, placement::Left, placement::Height, placement::Width})
      removeValue(QString(window) + edge);
}

QString StartupProgram() {
  const QString running = QCoreApplication::applicationFilePath();
  // An installed program stands in a bin folder beside share/tidewick; one run from a build tree
  // does not, and an entry naming it would start nothing once the tree moves or goes.
  const QFileInfo info(running);
  if (!running.isEmpty() && info.absoluteDir().dirName() == QLatin1String("bin") &&
      QFileInfo(info.absolutePath() + QStringLiteral("/../share/tidewick")).isDir())
    return running;
  const QString installed = QStandardPaths::findExecutable(QStringLiteral("tidewick"));
  if (!installed.isEmpty()) return installed;
  return running.isEmpty() ? AppFilePath(QStringLiteral("tidewick")) : running;
}

QString StartupCommandLine() {
  QString exe = StartupProgram();
  // Autostart files split the command line at blanks; a path holding one is quoted.
  if (exe.contains(QLatin1Char(' '))) exe = QLatin1Char('"') + exe + QLatin1Char('"');
  return exe + QStringLiteral(" /STARTUP");
}

} // namespace tidewick::settings
