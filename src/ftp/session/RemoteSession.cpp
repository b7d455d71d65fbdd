#include "ftp/session/RemoteSession.h"

#include "ftp/session/FtpError.h"

namespace tidewick::ftp {

void RemoteSession::setPermissions(const QString&, int) {
  throw FtpError(FailureKind::CommandRefused,
                 QStringLiteral("This connection changes permissions with the server's SITE CHMOD command"));
}

} // namespace tidewick::ftp
