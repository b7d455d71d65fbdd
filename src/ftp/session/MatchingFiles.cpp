// Multi-file transfers: every file of a folder whose name matches a mask, and with `recursive`
// the subfolders too, creating missing folders on the receiving side. Folders are walked by
// absolute path on the server (PWD once per folder), so links and odd CDUP behaviour cannot lose
// our place, and the current folder is put back afterwards.
//
// Names come from the server and are not trusted: one with "/" or NUL, or "." or "..", would
// leave the target folder, and one with CR or LF cannot travel in a command. Such items are
// skipped with a log line and FileSkipped. So is a single file the server or the disk refuses;
// a broken connection ends the whole run.

#include "ftp/session/Session.h"

#include "ftp/proto/Command.h"
#include "ftp/proto/Paths.h"

#include <QDir>
#include <QFileInfo>

namespace tidewick::ftp {

namespace {

constexpr int maxDepth = 64;

QString localJoin(const QString& folder, const QString& name) {
  return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

bool isSkippable(const FtpError& e) {
  return e.kind() == FailureKind::CommandRefused || e.kind() == FailureKind::LocalFileFailed ||
         e.kind() == FailureKind::UnsafeInput;
}

} // namespace

bool Session::changeFolderQuietly(const QString& path) { return command("CWD", path).isPositive(); }

void Session::restoreFolder(const QString& path) {
  if (!m_loggedIn || path.isEmpty()) return;
  if (!changeFolderQuietly(path)) log(QStringLiteral("Could not return to the folder %1").arg(path));
}

void Session::makeRemotePath(const QString& path) {
  const proto::Reply made = command("MKD", path);
  if (made.isPositive()) return;
  // Missing parents: create the path one level at a time, by absolute paths (a CWD into each
  // level that exists would otherwise shift what a relative path means).
  const QString start = currentFolder();
  QString prefix = path.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : start;
  for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    prefix = proto::joinRemote(prefix, part);
    if (changeFolderQuietly(prefix)) continue;
    const proto::Reply step = command("MKD", prefix);
    if (!step.isPositive()) refused("MKD " + prefix.toStdString(), step);
  }
  restoreFolder(start);
}

void Session::receiveMatching(const QString& remoteMask, const QString& localFolder, bool recursive) {
  requireConnected();
  if (localFolder.isEmpty()) throw FtpError(FailureKind::InvalidArgument, QStringLiteral("No local folder was given"));
  const proto::SplitMask mask = proto::splitMask(remoteMask);
  const QString startFolder = currentFolder();
  guarded([&] {
    try {
      if (!mask.folder.isEmpty()) {
        const proto::Reply reply = command("CWD", mask.folder);
        if (!reply.isPositive()) refused("CWD " + mask.folder.toStdString(), reply);
      }
      if (!QDir().mkpath(localFolder))
        throw FtpError(FailureKind::LocalFileFailed,
                       QStringLiteral("Cannot create the local folder %1").arg(localFolder));
      receiveTree(mask.pattern, localFolder, recursive, 0);
    } catch (const FtpError& e) {
      if (e.kind() != FailureKind::Aborted && !m_abort.load() && m_control) restoreFolder(startFolder);
      throw;
    }
    restoreFolder(startFolder);
  });
}

void Session::receiveTree(const QString& pattern, const QString& localFolder, bool recursive, int depth) {
  const QString here = currentFolder();
  const std::vector<FolderItem> items = listAll();
  for (const FolderItem& item : items) {
    if (item.kind == 1 || !proto::wildcardMatch(pattern, item.name)) continue;
    const QString remotePath = proto::joinRemote(here, item.name);
    const QString unsafe = proto::unsafeNameReason(item.name);
    if (!unsafe.isEmpty()) {
      log(QStringLiteral("Skipped \"%1\" in %2: %3").arg(item.name, here, unsafe));
      m_events.fileSkipped(remotePath, QString(), SkipReason::UnsafeName);
      continue;
    }
    try {
      // A link may point at a folder; RETR then fails and the link is skipped.
      receiveFileImpl(item.name, 0, localJoin(localFolder, item.name), item.kind == 0 ? item.size : -1);
    } catch (const FtpError& e) {
      if (!isSkippable(e) || !m_loggedIn || m_abort.load()) throw;
      log(QStringLiteral("Skipped %1: %2").arg(remotePath, e.description()));
      m_events.fileSkipped(
          remotePath, QString(),
          e.kind() == FailureKind::LocalFileFailed ? SkipReason::LocalFileUnusable : SkipReason::ServerRefusedSend);
    }
  }
  if (!recursive) return;
  for (const FolderItem& item : items) {
    if (item.kind != 1) continue;
    const QString remotePath = proto::joinRemote(here, item.name);
    const QString unsafe = proto::unsafeNameReason(item.name);
    if (!unsafe.isEmpty()) {
      log(QStringLiteral("Skipped the folder \"%1\" in %2: %3").arg(item.name, here, unsafe));
      m_events.fileSkipped(remotePath, QString(), SkipReason::UnsafeName);
      continue;
    }
    if (depth + 1 > maxDepth) {
      log(QStringLiteral("Skipped the folder %1: folders nest deeper than %2 levels").arg(remotePath).arg(maxDepth));
      m_events.fileSkipped(remotePath, QString(), SkipReason::FolderNotEntered);
      continue;
    }
    const QString target = localJoin(localFolder, item.name);
    if (!QDir().mkpath(target)) {
      log(QStringLiteral("Skipped the folder %1: cannot create %2").arg(remotePath, target));
      m_events.fileSkipped(remotePath, QString(), SkipReason::FolderNotCreated);
      continue;
    }
    if (!changeFolderQuietly(remotePath)) {
      log(QStringLiteral("Skipped the folder %1: the server would not open it").arg(remotePath));
      m_events.fileSkipped(remotePath, QString(), SkipReason::FolderNotEntered);
      continue;
    }
    receiveTree(pattern, target, true, depth + 1);
    const proto::Reply back = command("CWD", here);
    if (!back.isPositive()) refused("CWD " + here.toStdString(), back);
  }
}

void Session::sendMatching(const QString& localMask, const QString& remoteFolder, bool createFolder, bool recursive) {
  requireConnected();
  const proto::SplitMask mask = proto::splitMask(localMask);
  const QString localFolder = mask.folder.isEmpty() ? QDir::currentPath() : mask.folder;
  if (!QFileInfo(localFolder).isDir())
    throw FtpError(FailureKind::LocalFileFailed, QStringLiteral("The local folder %1 does not exist").arg(localFolder));
  const QString startFolder = currentFolder();
  guarded([&] {
    try {
      if (!remoteFolder.isEmpty() && !changeFolderQuietly(remoteFolder)) {
        if (!createFolder)
          throw FtpError(FailureKind::CommandRefused,
                         QStringLiteral("The remote folder %1 does not exist").arg(remoteFolder));
        makeRemotePath(remoteFolder);
        const proto::Reply entered = command("CWD", remoteFolder);
        if (!entered.isPositive()) refused("CWD " + remoteFolder.toStdString(), entered);
      }
      sendTree(localFolder, mask.pattern, recursive, 0);
    } catch (const FtpError& e) {
      if (e.kind() != FailureKind::Aborted && !m_abort.load() && m_control) restoreFolder(startFolder);
      throw;
    }
    restoreFolder(startFolder);
  });
}

void Session::sendTree(const QString& localFolder, const QString& pattern, bool recursive, int depth) {
  const QString here = currentFolder();
  QDir dir(localFolder);
  if (!dir.isReadable())
    throw FtpError(FailureKind::LocalFileFailed, QStringLiteral("Cannot read the local folder %1").arg(localFolder));
  const QFileInfoList files =
      dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  for (const QFileInfo& info : files) {
    const QString name = info.fileName();
    if (!proto::wildcardMatch(pattern, name)) continue;
    const QString localPath = info.filePath();
    if (!info.isFile()) {
      log(QStringLiteral("Skipped %1: not a regular file").arg(localPath));
      m_events.fileSkipped(QString(), localPath, SkipReason::NotRegularFile);
      continue;
    }
    if (proto::hasLineBreakOrNul(name.toStdString())) {
      log(QStringLiteral("Skipped %1: the name holds a line break").arg(localPath));
      m_events.fileSkipped(QString(), localPath, SkipReason::UnsafeName);
      continue;
    }
    try {
      sendFileImpl(localPath, 0, name, false);
    } catch (const FtpError& e) {
      if (!isSkippable(e) || !m_loggedIn || m_abort.load()) throw;
      log(QStringLiteral("Skipped %1: %2").arg(localPath, e.description()));
      m_events.fileSkipped(
          QString(), localPath,
          e.kind() == FailureKind::LocalFileFailed ? SkipReason::LocalFileUnusable : SkipReason::ServerRefusedStore);
    }
  }
  if (!recursive) return;
  // Linked folders are not followed: a link to a parent would never end.
  const QFileInfoList folders =
      dir.entryInfoList(QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
  for (const QFileInfo& info : folders) {
    const QString name = info.fileName();
    const QString localPath = info.filePath();
    if (proto::hasLineBreakOrNul(name.toStdString())) {
      log(QStringLiteral("Skipped the folder %1: the name holds a line break").arg(localPath));
      m_events.fileSkipped(QString(), localPath, SkipReason::UnsafeName);
      continue;
    }
    if (depth + 1 > maxDepth) {
      log(QStringLiteral("Skipped the folder %1: folders nest deeper than %2 levels").arg(localPath).arg(maxDepth));
      m_events.fileSkipped(QString(), localPath, SkipReason::FolderNotEntered);
      continue;
    }
    if (!QDir(localPath).isReadable()) {
      log(QStringLiteral("Skipped the folder %1: it cannot be read").arg(localPath));
      m_events.fileSkipped(QString(), localPath, SkipReason::LocalFolderUnreadable);
      continue;
    }
    const QString remotePath = proto::joinRemote(here, name);
    if (!changeFolderQuietly(remotePath)) {
      const proto::Reply made = command("MKD", remotePath);
      if (!made.isPositive() || !changeFolderQuietly(remotePath)) {
        log(QStringLiteral("Skipped the folder %1: cannot create %2 on the server").arg(localPath, remotePath));
        m_events.fileSkipped(QString(), localPath, SkipReason::FolderNotCreated);
        continue;
      }
    }
    sendTree(localPath, pattern, true, depth + 1);
    const proto::Reply back = command("CWD", here);
    if (!back.isPositive()) refused("CWD " + here.toStdString(), back);
  }
}

} // namespace tidewick::ftp
