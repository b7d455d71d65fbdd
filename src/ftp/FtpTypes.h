#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

namespace tidewick::ftp {

// Why an operation failed. The numbers are what FtpFailure::number() carries; keep them stable,
// callers compare against them (58 matches the number the file operations treat as "exists").
enum class FailureKind : int {
  None = 0,
  Aborted = 1,
  Timeout = 2,
  ConnectFailed = 3,
  ConnectionLost = 4,
  ProxyFailed = 5,
  LoginFailed = 6,
  BadReply = 7,
  CommandRefused = 8,
  DataConnectionFailed = 9,
  TransferFailed = 10,
  LocalFileFailed = 11,
  UnsafeInput = 12,
  NotConnected = 13,
  Busy = 14,
  InvalidArgument = 15,
  TargetExists = 58,
};

const char* failureKindName(FailureKind kind);

// How exact a listed date is: LIST gives minutes (or only days for old files), MLSD seconds in UTC.
enum class DatePrecision : int { Unknown = 0, Day = 1, Minute = 2, Second = 3 };

// One entry of a remote folder, as GetFolderContents returns it and ListingFolderItem reports it.
struct FolderItem {
  QString name;
  QDateTime date;
  qint64 size = 0;
  int kind = 0; // 0 file, 1 folder, 2 link
  DatePrecision datePrecision = DatePrecision::Unknown;
  QString linkTarget;
  QString permissions;
};

// Reason codes of FileSkipped; GetSkipReason gives their texts.
enum class SkipReason : int {
  Unknown = 0,
  UnsafeName = 1,
  ServerRefusedSend = 2,
  ServerRefusedStore = 3,
  LocalFileUnusable = 4,
  FolderNotCreated = 5,
  FolderNotEntered = 6,
  NotRegularFile = 7,
  LocalFolderUnreadable = 8,
};

QString skipReasonText(int code);

// CurrentState values. 0 and 2 are fixed by the callers; the busy values only need to differ.
enum class ClientState : int {
  NotConnected = 0,
  Connecting = 1,
  Idle = 2,
  Busy = 3,
  Transferring = 4,
  Disconnecting = 5,
};

enum class ProxyKind : int { None = 0, Socks4 = 4, Socks5 = 5 };

} // namespace tidewick::ftp
