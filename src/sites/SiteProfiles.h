#pragma once
// Site profiles: one INI file per site, "<site name>.Tidewick" in the Profiles folder of the
// Tidewick home, section "PROFILE", keys "sname", "adresa", "ID", "pass", "port" in that order,
// then "security" (how the connection is protected, settings/SiteSecurity.h; a file without it
// connects in plain FTP, as it always did). User name and password are stored with EncodeString.

#include "settings/SiteSecurity.h"

#include <QString>
#include <QStringList>

namespace tidewick::sites {

struct SiteProfile {
  QString siteName;
  QString host;
  QString userName;
  QString password;
  QString port;
  settings::SiteSecurity security = settings::SiteSecurity::Plain;
};

QString ProfilesFolder();
inline const QString kProfileExtension = QStringLiteral(".Tidewick");

// Why a site name cannot name a profile file, or the empty text when it can. The name is used as
// typed (blanks kept), so only what no file name may hold is refused, and the name with its
// extension must fit the file system's 255 bytes.
QString SiteNameProblem(const QString& siteName);

// Why the profile cannot be saved as it is, or the empty text when it can: the site name's
// problem, or a field whose stored form would hold a line break or NUL (a user name or password
// holding U+0000 or U+0003 becomes one when encoded).
QString ProfileProblem(const SiteProfile& profile, bool savePassword);

enum class SaveResult { Saved, BadSiteName, BadField, WriteFailed };

// Writes the six keys of the site's file, creating it when missing, and replaces the file once,
// so a failed save leaves the file as it was. The password is stored only when `savePassword` is
// set and it is not empty.
SaveResult SaveProfile(const SiteProfile& profile, bool savePassword);

// Reads the profile file listed under `fileName` (with its extension). A missing file or key
// gives empty fields; so does a file that cannot be read or is over the size limit, and then
// `problem`, when given, says why.
SiteProfile ReadProfile(const QString& fileName, QString* problem = nullptr);

// Removes the listed profile file; false when there was none to remove.
bool DeleteProfile(const QString& fileName);

// The names (with extension) of the profile files, in case-insensitive alphabetical order.
QStringList ListProfiles();

} // namespace tidewick::sites
