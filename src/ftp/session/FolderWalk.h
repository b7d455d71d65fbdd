#pragma once

#include "ftp/FtpTypes.h"
#include "ftp/session/FtpError.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tidewick::ftp {

class SessionEvents;

// The parts of a folder transfer that are the same whichever protocol carries the files: the
// local side of the walk, and what is skipped and how it is told. A walk goes no deeper than this.
inline constexpr int maxFolderDepth = 64;

QString localJoin(const QString& folder, const QString& name);

// Where a walk tells what it skipped: the session's log and its FileSkipped events.
struct WalkReport {
  std::function<void(const QString&)> log;
  SessionEvents& events;
};

// A failure that costs one file or folder rather than the whole run: the server refused it, the
// local side could not be used, or the name cannot travel. Only while the connection stands and
// nobody asked to abort, which the caller checks.
bool isSkippable(const FtpError& e);

// Tells that one file of a download (`remote` set) or an upload (`local` set) failed with `e`
// and the run goes on without it.
void reportSkippedFile(const WalkReport& report, const FtpError& e, const QString& remote, const QString& local);

// The local folder `target` a remote folder is downloaded into, made when missing. One that is a
// symbolic link is never written through. False, told as a skip, when it cannot be used.
bool prepareLocalFolder(const WalkReport& report, const QString& remotePath, const QString& target);

// What an upload walk asks of the protocol.
struct UploadSteps {
  // Sends one local file as `name` into the remote folder `here`; throws FtpError.
  std::function<void(const QString& localPath, const QString& here, const QString& name)> sendFile;
  // Makes the remote folder `remotePath` ready (creating it when missing) and gives the path the
  // files inside go to; nothing when it cannot be made.
  std::function<std::optional<QString>(const QString& remotePath)> enterFolder;
  // Back in `here` after a subfolder.
  std::function<void(const QString& here)> leaveFolder;
  // A skippable failure is passed over only while this holds: connected, no abort asked.
  std::function<bool()> canGoOn;
  // FTP sends names in command lines, which cannot hold a line break.
  bool lineBreaksUnsendable = false;
};

// Sends the files of `localFolder` whose names match `pattern` into the remote folder `here`, and
// with `recursive` its subfolders. Links are followed; `trail` holds the real paths of the folders
// on the way down, so a link back into one of them is skipped instead of copied into itself.
void sendLocalTree(const UploadSteps& steps, const WalkReport& report, const QString& localFolder, const QString& here,
                   const QString& pattern, bool recursive, QStringList& trail);

} // namespace tidewick::ftp
