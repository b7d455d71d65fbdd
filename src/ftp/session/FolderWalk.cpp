#include "ftp/session/FolderWalk.h"

#include "ftp/proto/Command.h"
#include "ftp/proto/Paths.h"
#include "ftp/session/Session.h"

#include <QDir>
#include <QFileInfo>

namespace tidewick::ftp {

QString localJoin(const QString& folder, const QString& name) {
  return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

bool isSkippable(const FtpError& e) {
  return e.kind() == FailureKind::CommandRefused || e.kind() == FailureKind::LocalFileFailed ||
         e.kind() == FailureKind::UnsafeInput;
}

void reportSkippedFile(const WalkReport& report, const FtpError& e, const QString& remote, const QString& local) {
  const bool upload = remote.isEmpty();
  report.log(QStringLiteral("Skipped %1: %2").arg(upload ? local : remote, e.description()));
  SkipReason reason = upload ? SkipReason::ServerRefusedStore : SkipReason::ServerRefusedSend;
  if (e.kind() == FailureKind::LocalFileFailed) reason = SkipReason::LocalFileUnusable;
  report.events.fileSkipped(remote, local, reason);
}

bool prepareLocalFolder(const WalkReport& report, const QString& remotePath, const QString& target) {
  if (QFileInfo(target).isSymLink()) {
    report.log(QStringLiteral("Skipped the folder %1: %2 is a symbolic link; not followed").arg(remotePath, target));
    report.events.fileSkipped(remotePath, QString(), SkipReason::FolderNotCreated);
    return false;
  }
  if (!QDir().mkpath(target)) {
    report.log(QStringLiteral("Skipped the folder %1: cannot create %2").arg(remotePath, target));
    report.events.fileSkipped(remotePath, QString(), SkipReason::FolderNotCreated);
    return false;
  }
  return true;
}

void sendLocalTree(const UploadSteps& steps, const WalkReport& report, const QString& localFolder, const QString& here,
                   const QString& pattern, bool recursive, QStringList& trail) {
  const auto skip = [&](const QString& localPath, const QString& why, SkipReason reason) {
    report.log(QStringLiteral("Skipped %1: %2").arg(localPath, why));
    report.events.fileSkipped(QString(), localPath, reason);
  };
  const auto unsendable = [&](const QString& name) {
    return steps.lineBreaksUnsendable && proto::hasLineBreakOrNul(name.toStdString());
  };
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
      skip(localPath, QStringLiteral("not a regular file"), SkipReason::NotRegularFile);
      continue;
    }
    if (unsendable(name)) {
      skip(localPath, QStringLiteral("the name holds a line break"), SkipReason::UnsafeName);
      continue;
    }
    try {
      steps.sendFile(localPath, here, name);
    } catch (const FtpError& e) {
      if (!isSkippable(e) || !steps.canGoOn()) throw;
      reportSkippedFile(report, e, QString(), localPath);
    }
  }
  if (!recursive) return;
  // Linked folders included: they are walked like the remote ones.
  const QFileInfoList folders =
      dir.entryInfoList(QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
  for (const QFileInfo& info : folders) {
    const QString name = info.fileName();
    const QString localPath = info.filePath();
    const auto skipFolder = [&](const QString& why, SkipReason reason) {
      report.log(QStringLiteral("Skipped the folder %1: %2").arg(localPath, why));
      report.events.fileSkipped(QString(), localPath, reason);
    };
    if (unsendable(name)) {
      skipFolder(QStringLiteral("the name holds a line break"), SkipReason::UnsafeName);
      continue;
    }
    const QString real = info.canonicalFilePath();
    if (const qsizetype earlier = trail.indexOf(real); earlier >= 0) {
      report.log(QStringLiteral("%1 is a link back into %2; skipped").arg(localPath, trail.at(earlier)));
      report.events.fileSkipped(QString(), localPath, SkipReason::LinkLoop);
      continue;
    }
    if (trail.size() > maxFolderDepth) {
      skipFolder(QStringLiteral("folders nest deeper than %1 levels").arg(maxFolderDepth),
                 SkipReason::FolderNotEntered);
      continue;
    }
    if (!QDir(localPath).isReadable()) {
      skipFolder(QStringLiteral("it cannot be read"), SkipReason::LocalFolderUnreadable);
      continue;
    }
    const QString remotePath = proto::joinRemote(here, name);
    const std::optional<QString> inside = steps.enterFolder(remotePath);
    if (!inside) {
      skipFolder(QStringLiteral("cannot create %1 on the server").arg(remotePath), SkipReason::FolderNotCreated);
      continue;
    }
    trail.push_back(real);
    sendLocalTree(steps, report, localPath, *inside, pattern, true, trail);
    trail.pop_back();
    if (steps.leaveFolder) steps.leaveFolder(here);
  }
}

} // namespace tidewick::ftp
