#include "sites/SiteProfiles.h"

#include "settings/Globals.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace sites {
namespace {

const QString kSection = QStringLiteral("PROFILE");

// A listed name is a file name of the folder, never a path.
bool isPlainFileName(const QString& fileName) {
  return !fileName.isEmpty() && !fileName.contains(QLatin1Char('/')) && !fileName.contains(QChar(0)) &&
         fileName != QStringLiteral(".") && fileName != QStringLiteral("..");
}

QString pathOf(const QString& fileName) { return AppFilePath(QStringLiteral("Profiles/") + fileName); }

} // namespace

QString ProfilesFolder() { return AppFilePath(QStringLiteral("Profiles")); }

QString SiteNameProblem(const QString& siteName) {
  if (siteName.trimmed().isEmpty()) return QStringLiteral("The site name is empty.");
  if (siteName.contains(QLatin1Char('/')))
    return QStringLiteral("A site name cannot contain \"/\", because it names the site's profile file.");
  if (siteName.contains(QChar(0)) || siteName.contains(QLatin1Char('\n')) || siteName.contains(QLatin1Char('\r')))
    return QStringLiteral("A site name cannot contain line breaks or NUL characters.");
  if ((siteName + kProfileExtension).toUtf8().size() > 255)
    return QStringLiteral("The site name is too long for a file name.");
  return {};
}

SaveResult SaveProfile(const SiteProfile& profile, bool savePassword) {
  if (!SiteNameProblem(profile.siteName).isEmpty()) return SaveResult::BadSiteName;
  if (!FolderExists(ProfilesFolder())) QDir().mkpath(ProfilesFolder());
  const QString path = pathOf(profile.siteName + kProfileExtension);
  const QString pass = (savePassword && !profile.password.isEmpty()) ? EncodeString(profile.password) : QString();
  const bool ok = WriteIniString(kSection, QStringLiteral("sname"), profile.siteName, path) &&
                  WriteIniString(kSection, QStringLiteral("adresa"), profile.host, path) &&
                  WriteIniString(kSection, QStringLiteral("ID"), EncodeString(profile.userName), path) &&
                  WriteIniString(kSection, QStringLiteral("pass"), pass, path) &&
                  WriteIniString(kSection, QStringLiteral("port"), profile.port, path);
  return ok ? SaveResult::Saved : SaveResult::WriteFailed;
}

SiteProfile ReadProfile(const QString& fileName) {
  SiteProfile profile;
  if (!isPlainFileName(fileName)) return profile;
  const QString path = pathOf(fileName);
  profile.siteName = ReadIniString(path, kSection, QStringLiteral("sname"));
  profile.host = ReadIniString(path, kSection, QStringLiteral("adresa"));
  profile.userName = DecodeString(StripNulls(ReadIniString(path, kSection, QStringLiteral("ID"))));
  profile.password = DecodeString(StripNulls(ReadIniString(path, kSection, QStringLiteral("pass"))));
  profile.port = ReadIniString(path, kSection, QStringLiteral("port"));
  return profile;
}

bool DeleteProfile(const QString& fileName) {
  if (!isPlainFileName(fileName)) return false;
  const QString path = pathOf(fileName);
  return QFileInfo(path).isFile() && QFile::remove(path);
}

QStringList ListProfiles() {
  QDir folder(ProfilesFolder());
  return folder.entryList({QStringLiteral("*") + kProfileExtension}, QDir::Files | QDir::Hidden,
                          QDir::Name | QDir::IgnoreCase);
}

} // namespace sites
