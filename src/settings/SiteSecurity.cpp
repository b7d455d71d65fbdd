#include "settings/SiteSecurity.h"

namespace tidewick::settings {

QStringList SiteSecurityCaptions() {
  return {QStringLiteral("Plain FTP"), QStringLiteral("FTP over TLS if available"),
          QStringLiteral("Require FTP over TLS"), QStringLiteral("Implicit FTP over TLS"),
          QStringLiteral("SFTP (SSH)")};
}

QString UsualPort(SiteSecurity security) {
  switch (security) {
    case SiteSecurity::TlsImplicit: return QLatin1String(kImplicitTlsPort);
    case SiteSecurity::Sftp: return QLatin1String(kSftpPort);
    default: return QLatin1String(kFtpPort);
  }
}

QString SiteSecurityCaption(SiteSecurity security) {
  const QStringList captions = SiteSecurityCaptions();
  const int index = static_cast<int>(security);
  return index >= 0 && index < captions.size() ? captions[index] : captions[int(SiteSecurity::TlsRequired)];
}

SiteSecurity SiteSecurityFromText(const QString& text) {
  const QString value = text.trimmed();
  if (value.isEmpty()) return SiteSecurity::Plain;
  const QStringList captions = SiteSecurityCaptions();
  for (int i = 0; i < captions.size(); ++i)
    if (captions[i].compare(value, Qt::CaseInsensitive) == 0) return static_cast<SiteSecurity>(i);
  return SiteSecurity::TlsRequired;
}

} // namespace tidewick::settings
