#pragma once

#include <QDateTime>
#include <QSharedData>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace tidewick::ftp {

// Why an operation failed. The numbers are what FtpFailure::number() shows; keep them stable
// (58, "the target name exists", is the number a rename onto an existing name has always carried).
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
  // The SSH server's host key is not the one known for it, or nobody trusted an unknown one.
  HostKeyRejected = 18,
  // The SSH server shows another host key than the one on file for it: refused, never asked.
  HostKeyChanged = 19,
  // TLS could not be had: the server refused it where it was required, or the handshake failed.
  TlsFailed = 16,
  // The server's certificate was not trusted, or the data connection showed another one.
  CertificateRejected = 17,
  TargetExists = 58,
};

const char* failureKindName(FailureKind kind);

// The description of a rename refused because `name` exists already (FailureKind::TargetExists).
QString targetExistsText(const QString& name);

// How exact a listed date is: LIST gives minutes (or only days for old files), MLSD seconds in UTC.
enum class DatePrecision : int { Unknown = 0, Day = 1, Minute = 2, Second = 3 };

// What a listed entry is: FolderItem::kind and the kind ListingFolderItem reports.
enum class ItemKind : int { File = 0, Folder = 1, Link = 2 };

// Facts of a listed item that few callers need. They are kept out of the item and shared between
// items with the same facts (most items of a folder have one of a few permission texts), which
// keeps an item of a million-entry folder small. Never changed once an item refers to it.
struct FolderItemDetails : QSharedData {
  QString permissions; // as listed ("drwxr-xr-x"), or built from MLSD's UNIX.mode; may be empty
  QString linkTarget;  // for links, when the listing names the target
  QString unique;      // for folders: the server's identity of the folder (MLSD "unique"), if given
};

// One entry of a remote folder, as GetFolderContents returns it and ListingFolderItem reports it.
// A folder may hold a million of these, so the size shares its word with the kind and the date's
// precision: 48 bytes an item, plus the name's text.
struct FolderItem {
  // The largest size an item holds (32 PiB); whoever fills `size` from a server's figure clamps
  // it here, since anything larger would not fit the field.
  static constexpr qint64 maxSize = (qint64(1) << 55) - 1;

  QString name;
  QDateTime date;
  qint64 size : 56 = 0;
  int kind : 4 = 0; // an ItemKind
  DatePrecision datePrecision : 4 = DatePrecision::Unknown;
  QExplicitlySharedDataPointer<FolderItemDetails> details; // null when the listing told none

  QString permissions() const { return details ? details->permissions : QString(); }
  QString linkTarget() const { return details ? details->linkTarget : QString(); }
  QString unique() const { return details ? details->unique : QString(); }
};
static_assert(sizeof(void*) != 8 || sizeof(FolderItem) == 48, "FolderItem grew");

// How much one listing may bring before it stops with a failure, whichever bound comes first.
// `bytes` counts the text as received and, on top, what the entries kept from it hold in memory
// (names are held as UTF-16, twice their text), so text and entries together stay within it.
struct ListingLimit {
  qint64 entries;
  qint64 bytes;
};

// A million entries is far beyond any folder a person browses; with usual names it comes well
// before the byte bound (about 70 bytes of text and 110 held an entry), which stops a server that
// streams without end or lists very long names.
inline constexpr ListingLimit defaultListingLimit{1'000'000, 256LL * 1024 * 1024};

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
  // A linked folder that leads back into a folder being copied: its content is copied already.
  LinkLoop = 9,
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

// How a connection is protected (the Security property). Explicit TLS asks with AUTH TLS on the
// usual port and then protects the data connections too (PBSZ 0, PROT P); implicit TLS starts with
// the handshake, on port 990 by custom.
enum class Security : int {
  Plain = 0,          // no TLS
  TlsIfAvailable = 1, // AUTH TLS; without encryption when the server refuses it
  TlsRequired = 2,    // AUTH TLS; a refusal ends the connection before the login is sent
  TlsImplicit = 3,    // TLS from the first byte
};

// A server certificate that the system's certificate authorities and the host-name check do not
// vouch for, as it is put to the user.
struct CertificateInfo {
  QString host; // as the user gave it
  int port = 0;
  QString subject; // "CN=ftp.example.org,O=Example"
  QString issuer;
  QDateTime validFrom; // UTC
  QDateTime validUntil;
  QString sha256;       // "AB:CD:...", of the whole certificate
  QStringList problems; // why it is not trusted, one sentence each
};

// ProxyType values.
enum class ProxyKind : int { None = 0, Socks4 = 4, Socks5 = 5 };

// Protocol values: what the connection speaks. SFTP runs over SSH and offers the same operations,
// except raw FTP commands.
enum class Protocol : int { Ftp = 0, Sftp = 1 };

// TransferMode values: how file contents travel.
enum class TransferType : int { Binary = 0, Ascii = 1 };

// One file of FtpClient::TransferFiles: downloaded from `remote` into `local`, or uploaded from
// `local` to `remote`, whole, as ReceiveFile and SendFile do from offset 0.
struct FileTransfer {
  bool upload = false;
  QString local;
  QString remote;
};

} // namespace tidewick::ftp
