// Folder transfers over SFTP: the files of a folder whose names match a mask, and with `recursive`
// its subfolders, creating missing folders on the receiving side. Paths are absolute throughout,
// so nothing depends on a current folder.
//
// The rules are the FTP walk's: names from the server that would leave the target folder ("/",
// NUL, "." and "..") or cannot be used are skipped with a log line and FileSkipped, as is a single
// file the server or the disk refuses; a broken connection ends the run. Links are followed, and a
// link that leads back into a folder on the way down is skipped: the server's REALPATH names the
// folder a path really is, which is what the trail compares.

#include "ftp/sftp/SftpSession.h"

#include "ftp/proto/Paths.h"
#include "ftp/session/FolderWalk.h"

#include <QDir>
#include <QFileInfo>

namespace tidewick::ftp::sftp {

void SftpSession::receiveMatching(const QString& remoteMask, const QString& localFolder, bool recursive) {
  requireConnected();
  if (localFolder.isEmpty()) throw FtpError(FailureKind::InvalidArgument, QStringLiteral("No local folder was given"));
  const proto::SplitMask mask = proto::splitMask(remoteMask);
  guarded([&] {
    const QString folder = realPath(mask.folder.isEmpty() ? m_folder : resolve(mask.folder));
    if (!isFolder(folder))
      throw FtpError(FailureKind::CommandRefused, QStringLiteral("%1 is not a folder on the server").arg(folder));
    if (!QDir().mkpath(localFolder))
      throw FtpError(FailureKind::LocalFileFailed,
                     QStringLiteral("Cannot create the local folder %1").arg(localFolder));
    QStringList trail{folder};
    receiveTree(folder, mask.pattern, localFolder, recursive, trail);
  });
}

void SftpSession::receiveTree(const QString& here, const QString& pattern, const QString& localFolder, bool recursive,
                              QStringList& trail) {
  const WalkReport report{[this](const QString& line) { log(line); }, m_events};
  std::vector<NameEntry> entries;
  readFolder(here, [&](NameEntry&& entry) {
    if (entry.name != "." && entry.name != "..") entries.push_back(std::move(entry));
  });
  std::vector<QString> folders;
  for (const NameEntry& entry : entries) {
    const QString name = QString::fromUtf8(entry.name.data(), static_cast<qsizetype>(entry.name.size()));
    const QString remotePath = proto::joinRemote(here, name);
    const bool matches = proto::wildcardMatch(pattern, name);
    Attributes attributes = entry.attributes;
    if (attributes.isFolder() && !recursive) continue;
    if (!attributes.isFolder() && !attributes.isLink() && !matches) continue;
    const QString unsafe = proto::unsafeNameReason(name);
    if (!unsafe.isEmpty()) {
      if (!attributes.isLink() || matches || recursive) {
        log(QStringLiteral("Skipped \"%1\" in %2: %3").arg(name, here, unsafe));
        m_events.fileSkipped(remotePath, QString(), SkipReason::UnsafeName);
      }
      continue;
    }
    if (attributes.isLink()) {
      // A link is what it leads to; one that leads nowhere is left alone.
      const std::optional<Attributes> target = attributesOf(remotePath);
      if (!target) continue;
      attributes = *target;
    }
    if (attributes.isFolder()) {
      if (recursive) folders.push_back(name);
      continue;
    }
    if (!matches) continue;
    try {
      receiveImpl(remotePath, 0, localJoin(localFolder, name), entry.attributes.isLink() ? nullptr : &attributes);
    } catch (const FtpError& e) {
      if (!isSkippable(e) || !m_connected || m_abort.load()) throw;
      reportSkippedFile(report, e, remotePath, QString());
    }
  }
  for (const QString& name : folders) {
    const QString remotePath = proto::joinRemote(here, name);
    if (trail.size() > maxFolderDepth) {
      log(QStringLiteral("Skipped the folder %1: folders nest deeper than %2 levels")
              .arg(remotePath)
              .arg(maxFolderDepth));
      m_events.fileSkipped(remotePath, QString(), SkipReason::FolderNotEntered);
      continue;
    }
    const QString real = realPath(remotePath);
    if (const qsizetype earlier = trail.indexOf(real); earlier >= 0) {
      log(QStringLiteral("%1 is a link back into %2; skipped").arg(remotePath, trail.at(earlier)));
      m_events.fileSkipped(remotePath, QString(), SkipReason::LinkLoop);
      continue;
    }
    const QString target = localJoin(localFolder, name);
    if (!prepareLocalFolder(report, remotePath, target)) continue;
    trail.push_back(real);
    try {
      receiveTree(real, pattern, target, true, trail);
    } catch (const FtpError& e) {
      if (!isSkippable(e) || !m_connected || m_abort.load()) throw;
      log(QStringLiteral("Skipped the folder %1: %2").arg(remotePath, e.description()));
      m_events.fileSkipped(remotePath, QString(), SkipReason::FolderNotEntered);
    }
    trail.pop_back();
  }
}

void SftpSession::makeRemotePath(const QString& path) {
  QString prefix = QStringLiteral("/");
  for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    prefix = proto::joinRemote(prefix, part);
    if (isFolder(prefix)) continue;
    expectOk(call(std::move(request(Packet::Mkdir).string(wire(prefix)).attributes({}))),
             QStringLiteral("Creating the folder %1").arg(prefix));
  }
}

void SftpSession::sendMatching(const QString& localMask, const QString& remoteFolder, bool createFolder,
                               bool recursive) {
  requireConnected();
  const proto::SplitMask mask = proto::splitMask(localMask);
  const QString localFolder = mask.folder.isEmpty() ? QDir::currentPath() : mask.folder;
  if (!QFileInfo(localFolder).isDir())
    throw FtpError(FailureKind::LocalFileFailed, QStringLiteral("The local folder %1 does not exist").arg(localFolder));
  guarded([&] {
    const QString target = remoteFolder.isEmpty() ? m_folder : resolve(remoteFolder);
    if (!isFolder(target)) {
      if (!createFolder)
        throw FtpError(FailureKind::CommandRefused,
                       QStringLiteral("The remote folder %1 does not exist").arg(remoteFolder));
      makeRemotePath(target);
    }
    QStringList trail{QFileInfo(localFolder).canonicalFilePath()};
    sendTree(localFolder, realPath(target), mask.pattern, recursive, trail);
  });
}

void SftpSession::sendTree(const QString& localFolder, const QString& here, const QString& pattern, bool recursive,
                           QStringList& trail) {
  UploadSteps steps;
  steps.sendFile = [&](const QString& localPath, const QString& folder, const QString& name) {
    sendImpl(localPath, 0, proto::joinRemote(folder, name), false);
  };
  steps.enterFolder = [&](const QString& remotePath) -> std::optional<QString> {
    if (isFolder(remotePath)) return remotePath;
    const Reply made = call(std::move(request(Packet::Mkdir).string(wire(remotePath)).attributes({})));
    if (made.type != Packet::Status || parseStatus(made).code != StatusCode::Ok) return std::nullopt;
    return remotePath;
  };
  steps.canGoOn = [&] { return m_connected && !m_abort.load(); };
  sendLocalTree(steps, {[this](const QString& line) { log(line); }, m_events}, localFolder, here, pattern, recursive,
                trail);
}

} // namespace tidewick::ftp::sftp
