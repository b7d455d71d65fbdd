#include "ftp/FtpTypes.h"

namespace tidewick::ftp {

const char* failureKindName(FailureKind kind) {
  switch (kind) {
    case FailureKind::None: return "None";
    case FailureKind::Aborted: return "Aborted";
    case FailureKind::Timeout: return "Timeout";
    case FailureKind::ConnectFailed: return "ConnectFailed";
    case FailureKind::ConnectionLost: return "ConnectionLost";
    case FailureKind::ProxyFailed: return "ProxyFailed";
    case FailureKind::LoginFailed: return "LoginFailed";
    case FailureKind::BadReply: return "BadReply";
    case FailureKind::CommandRefused: return "CommandRefused";
    case FailureKind::DataConnectionFailed: return "DataConnectionFailed";
    case FailureKind::TransferFailed: return "TransferFailed";
    case FailureKind::LocalFileFailed: return "LocalFileFailed";
    case FailureKind::UnsafeInput: return "UnsafeInput";
    case FailureKind::NotConnected: return "NotConnected";
    case FailureKind::Busy: return "Busy";
    case FailureKind::InvalidArgument: return "InvalidArgument";
    case FailureKind::HostKeyRejected: return "HostKeyRejected";
    case FailureKind::HostKeyChanged: return "HostKeyChanged";
    case FailureKind::TlsFailed: return "TlsFailed";
    case FailureKind::CertificateRejected: return "CertificateRejected";
    case FailureKind::TargetExists: return "TargetExists";
  }
  return "Unknown";
}

QString targetExistsText(const QString& name) {
  return QStringLiteral("The name %1 exists in the folder already; nothing was renamed").arg(name);
}

QString skipReasonText(int code) {
  switch (static_cast<SkipReason>(code)) {
    case SkipReason::UnsafeName:
      return QStringLiteral(
          "The name cannot be used safely (it holds \"/\", NUL or a line break, or it is \".\" or \"..\")");
    case SkipReason::ServerRefusedSend: return QStringLiteral("The server refused to send the file");
    case SkipReason::ServerRefusedStore: return QStringLiteral("The server refused to store the file");
    case SkipReason::LocalFileUnusable: return QStringLiteral("The local file could not be opened or written");
    case SkipReason::FolderNotCreated: return QStringLiteral("The folder could not be created");
    case SkipReason::FolderNotEntered: return QStringLiteral("The folder could not be entered");
    case SkipReason::NotRegularFile: return QStringLiteral("The item is not a regular file");
    case SkipReason::LocalFolderUnreadable: return QStringLiteral("The local folder could not be read");
    case SkipReason::LinkLoop:
      return QStringLiteral("The link leads back into a folder being copied, so its content is copied already");
    case SkipReason::Unknown: break;
  }
  return QStringLiteral("Unknown reason");
}

} // namespace tidewick::ftp
