#include "sites/SiteProfiles.h"

#include "settings/Globals.h"
#include "settings/IniFile.h"
#include "settings/SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tidewick::sites {

namespace ini = settings::ini;
using settings::AppFilePath;
using settings::DecodeString;
using settings::EncodeString;
using settings::FolderExists;
using settings::ReadIniString;
using settings::StripNulls;
using settings::WriteIniString;
namespace {

const QString kSection = settings::keys::profile::Section;

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

QString ProfileProblem(const SiteProfile& profile, bool savePassword) {
  if (QString problem = SiteNameProblem(profile.siteName); !problem.isEmpty()) return problem;
  auto breaksLine = [](const QString& stored) {
    return stored.contains(QLatin1Char('\n')) || stored.contains(QLatin1Char('\r')) || stored.contains(QChar(0));
  };
  if (breaksLine(profile.host))
    return QStringLiteral("The server address cannot contain line breaks or NUL characters.");
  if (breaksLine(profile.port)) return QStringLiteral("The port cannot contain line breaks or NUL characters.");
  if (breaksLine(EncodeString(profile.userName)))
    return QStringLiteral("The user name holds a control character that cannot be stored in a profile.");
  if (savePassword && breaksLine(EncodeString(profile.password)))
    return QStringLiteral("The password holds a control character that cannot be stored in a profile.");
  return {};
}

SaveResult SaveProfile(const SiteProfile& profile, bool savePassword) {
  if (!SiteNameProblem(profile.siteName).isEmpty()) return SaveResult::BadSiteName;
  if (!ProfileProblem(profile, savePassword).isEmpty()) return SaveResult::BadField;
  if (!FolderExists(ProfilesFolder())) QDir().mkpath(ProfilesFolder());
  const QString path = pathOf(profile.siteName + kProfileExtension);
  ini::Document file = ini::Document::load(path);
  const QString pass = (savePassword && !profile.password.isEmpty()) ? EncodeString(profile.password) : QString();
  const bool ok = WriteIniString(kSection, settings::keys::profile::SiteName, profile.siteName, file) &&
                  WriteIniString(kSection, settings::keys::profile::Host, profile.host, file) &&
                  WriteIniString(kSection, settings::keys::profile::User, EncodeString(profile.userName), file) &&
                  WriteIniString(kSection, settings::keys::profile::Password, pass, file) &&
                  WriteIniString(kSection, settings::keys::profile::Port, profile.port, file) &&
                  WriteIniString(kSection, settings::keys::profile::Security,
                                 settings::SiteSecurityCaption(profile.security), file) &&
                  file.save(path);
  return ok ? SaveResult::Saved : SaveResult::WriteFailed;
}

SiteProfile ReadProfile(const QString& fileName, QString* problem) {
  SiteProfile profile;
  if (!isPlainFileName(fileName)) return profile;
  const ini::Document file = ini::Document::load(pathOf(fileName));
  if (problem && file.status() != ini::LoadStatus::Missing) *problem = file.problem();
  profile.siteName = ReadIniString(file, kSection, settings::keys::profile::SiteName);
  profile.host = ReadIniString(file, kSection, settings::keys::profile::Host);
  profile.userName = DecodeString(StripNulls(ReadIniString(file, kSection, settings::keys::profile::User)));
  profile.password = DecodeString(StripNulls(ReadIniString(file, kSection, settings::keys::profile::Password)));
  profile.port = ReadIniString(file, kSection, settings::keys::profile::Port);
  profile.security = settings::SiteSecurityFromText(ReadIniString(file, kSection, settings::keys::profile::Security));
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

} // namespace tidewick::sites
