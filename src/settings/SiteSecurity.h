#pragma once
// How a site's connection is protected: the user's choice in the connection dialog, kept in the
// site profile and in every queue row as the words the dialog shows. The last choice is another
// protocol altogether, SFTP, which runs over SSH and has no use for TLS. Files written before the
// choice existed have no such value and connect as they always did, in plain FTP. A value this
// version does not know asks for the most protection there is short of changing the port: TLS is
// required.

#include <QString>
#include <QStringList>

namespace tidewick::settings {

// Numbered as the FTP components' Security property takes it, up to SFTP, which is their Protocol.
enum class SiteSecurity : int {
  Plain = 0,          // no encryption
  TlsIfAvailable = 1, // AUTH TLS; in clear, and saying so, when the server has no TLS
  TlsRequired = 2,    // AUTH TLS; a server without it gets neither user name nor password
  TlsImplicit = 3,    // TLS from the first byte, usually on port 990
  Sftp = 4,           // SFTP over SSH, usually on port 22
};

inline constexpr const char* kImplicitTlsPort = "990";
inline constexpr const char* kFtpPort = "21";
inline constexpr const char* kSftpPort = "22";

// The port a choice usually has ("21", "990" or "22").
QString UsualPort(SiteSecurity security);
// What the FTP components are told: SFTP for Sftp, else FTP with the choice as its Security.
inline bool IsSftp(SiteSecurity security) { return security == SiteSecurity::Sftp; }
inline int FtpSecurityOf(SiteSecurity security) { return IsSftp(security) ? 0 : static_cast<int>(security); }

// The five choices in the dialog's order, and the words stored for each.
QStringList SiteSecurityCaptions();
QString SiteSecurityCaption(SiteSecurity security);
// A stored value: the empty text is Plain, an unknown text TlsRequired. Case and blanks around it
// do not count.
SiteSecurity SiteSecurityFromText(const QString& text);

} // namespace tidewick::settings
