// Multi-file transfers: every file of a folder whose name matches a mask, and with `recursive`
// the subfolders too, creating missing folders on the receiving side. Folders are walked by
// absolute path on the server (PWD once per folder), so links and odd CDUP behaviour cannot lose
// our place, and the current folder is put back afterwards.
//
// Names come from the server and are not trusted: one with "/" or NUL, or "." or "..", would
// leave the target folder, and one with CR or LF cannot travel in a command. Such items are
// skipped with a log line and FileSkipped. So is a single file the server or the disk refuses;
// a broken connection ends the whole run. A local folder or file in the target that is a
// symbolic link is never written through.
//
// Links are followed on both sides: a link to a folder is copied as a folder, a link to a file as
// a file. A link that leads back into a folder on the way down (`self -> .`, `up -> ..`) would
// copy the tree into itself until some limit stopped it, so it is skipped with one log line; its
// content is copied already. Servers tell us where a link leads in different ways, so a remote
// folder counts as met before when any of these says so:
//   - the link's target as listed ("self -> .") names a folder on the way down;
//   - PWD after entering names one (vsftpd and pure-ftpd answer with the real path);
//   - MLSD/MLST's "unique" fact matches one (pyftpdlib lists links as the folders they lead to
//     and answers PWD with the path as typed, so only this catches its loops).

#include "ftp/session/Session.h"

#include "ftp/listing/ListingParser.h"
#include "ftp/proto/Command.h"
#include "ftp/proto/Paths.h"
#include "ftp/session/FolderWalk.h"

#include <QDir>
#include <QFileInfo>

#include <iterator>

namespace tidewick::ftp {

namespace {

constexpr int fileKind = static_cast<int>(ItemKind::File);
constexpr int folderKind = static_cast<int>(ItemKind::Folder);
constexpr int linkKind = static_cast<int>(ItemKind::Link);

// A remote folder path in one spelling ("/a/b/" and "/a/./b" are "/a/b"); other servers' paths as
// they are.
QString pathKey(const QString& path) {
  const QString resolved = proto::resolveRemote(path, QString());
  return resolved.isEmpty() ? path : resolved;
}

// The walk's trail entry whose folder `visit` is again, if any.
template <typename Visit>
const Visit* metBefore(const std::vector<Visit>& trail, const Visit& visit) {
  const QString path = pathKey(visit.path);
  for (const Visit& earlier : trail) {
    if (!path.isEmpty() && pathKey(earlier.path) == path) return &earlier;
    if (!visit.unique.isEmpty() && earlier.unique == visit.unique) return &earlier;
  }
  return nullptr;
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
      std::vector<FolderVisit> trail{{workingFolder(), recursive ? currentUnique() : QString()}};
      receiveTree(mask.pattern, localFolder, recursive, trail);
    } catch (const FtpError& e) {
      if (e.kind() != FailureKind::Aborted && !m_abort.load() && m_control) restoreFolder(startFolder);
      throw;
    }
    restoreFolder(startFolder);
  });
}

QString Session::currentUnique() {
  const std::string facts = m_features.parameters("MLST");
  if (facts.empty() || !QString::fromStdString(facts).contains(QLatin1String("unique"), Qt::CaseInsensitive))
    return QString();
  const proto::Reply reply = command("MLST");
  if (reply.code != 250) return QString();
  for (const std::string& line : reply.lines) {
    if (line.empty() || line[0] != ' ') continue;
    if (const std::optional<ListEntry> entry = parseMlsdLine(line)) return entry->unique;
  }
  return QString();
}

void Session::reportLinkLoop(const QString& link, const QString& into, const QString& remote, const QString& local) {
  log(QStringLiteral("%1 is a link back into %2; skipped").arg(link, into));
  m_events.fileSkipped(remote, local, SkipReason::LinkLoop);
}

void Session::receiveTree(const QString& pattern, const QString& localFolder, bool recursive,
                          std::vector<FolderVisit>& trail) {
  const QString here = trail.back().path;
  const WalkReport report{[this](const QString& line) { log(line); }, m_events};
  bool byMlsd = false;
  const std::vector<FolderItem> items = listAll(&byMlsd);
  std::vector<const FolderItem*> folders; // folders, and links that lead to one
  // LIST dates are exact to the minute at best; the server's own times for the files to come are
  // asked for all of them at once.
  std::map<QString, QDateTime> serverTimes;
  if (m_settings.keepDates && !byMlsd) {
    std::vector<QString> names;
    for (const FolderItem& item : items)
      if (item.kind == fileKind && proto::wildcardMatch(pattern, item.name) &&
          proto::unsafeNameReason(item.name).isEmpty())
        names.push_back(item.name);
    serverTimes = modifiedTimes(names);
  }
  for (const FolderItem& item : items) {
    const bool matches = proto::wildcardMatch(pattern, item.name);
    if (item.kind == folderKind) {
      if (recursive) folders.push_back(&item);
      continue;
    }
    const bool link = item.kind == linkKind;
    if (!matches && !(link && recursive)) continue;
    const QString remotePath = proto::joinRemote(here, item.name);
    const QString unsafe = proto::unsafeNameReason(item.name);
    if (!unsafe.isEmpty()) {
      log(QStringLiteral("Skipped \"%1\" in %2: %3").arg(item.name, here, unsafe));
      m_events.fileSkipped(remotePath, QString(), SkipReason::UnsafeName);
      continue;
    }
    if (link) {
      // A link names no kind: it is a folder when the server lets us in.
      if (recursive && !item.linkTarget().isEmpty()) {
        if (const FolderVisit* earlier = metBefore(trail, {proto::resolveRemote(here, item.linkTarget()), QString()})) {
          reportLinkLoop(remotePath, earlier->path, remotePath, QString());
          continue;
        }
      }
      if (changeFolderQuietly(remotePath)) {
        const proto::Reply back = command("CWD", here);
        if (!back.isPositive()) refused("CWD " + here.toStdString(), back);
        if (recursive) folders.push_back(&item);
        continue;
      }
      if (!matches) continue;
    }
    ListedFile listed;
    if (!link) {
      // A link's own size and date are not its file's.
      listed.size = item.size;
      listed.modified = item.date;
      listed.precision = item.datePrecision;
      listed.exactDate = byMlsd;
      if (const auto time = serverTimes.find(item.name); time != serverTimes.end()) {
        listed.modified = time->second;
        listed.exactDate = true;
      }
    }
    try {
      receiveFileImpl(item.name, 0, localJoin(localFolder, item.name), listed);
    } catch (const FtpError& e) {
      if (!isSkippable(e) || !m_loggedIn || m_abort.load()) throw;
      reportSkippedFile(report, e, remotePath, QString());
    }
  }
  for (const FolderItem* item : folders) {
    const QString remotePath = proto::joinRemote(here, item->name);
    const QString unsafe = proto::unsafeNameReason(item->name);
    if (!unsafe.isEmpty()) {
      log(QStringLiteral("Skipped the folder \"%1\" in %2: %3").arg(item->name, here, unsafe));
      m_events.fileSkipped(remotePath, QString(), SkipReason::UnsafeName);
      continue;
    }
    if (std::ssize(trail) > maxFolderDepth) {
      log(QStringLiteral("Skipped the folder %1: folders nest deeper than %2 levels")
              .arg(remotePath)
              .arg(maxFolderDepth));
      m_events.fileSkipped(remotePath, QString(), SkipReason::FolderNotEntered);
      continue;
    }
    if (!changeFolderQuietly(remotePath)) {
      log(QStringLiteral("Skipped the folder %1: the server would not open it").arg(remotePath));
      m_events.fileSkipped(remotePath, QString(), SkipReason::FolderNotEntered);
      continue;
    }
    const auto goBack = [&] {
      const proto::Reply back = command("CWD", here);
      if (!back.isPositive()) refused("CWD " + here.toStdString(), back);
    };
    // A listed folder's "unique" is that of the folder it leads to; a listed link's is its own,
    // so a link's folder is asked for its own when PWD did not give it away.
    FolderVisit visit{workingFolder(), item->kind == folderKind ? item->unique() : QString()};
    const FolderVisit* earlier = metBefore(trail, visit);
    if (!earlier && item->kind == linkKind) {
      visit.unique = currentUnique();
      earlier = metBefore(trail, visit);
    }
    if (earlier) {
      reportLinkLoop(remotePath, earlier->path, remotePath, QString());
      goBack();
      continue;
    }
    const QString target = localJoin(localFolder, item->name);
    if (!prepareLocalFolder(report, remotePath, target)) {
      goBack();
      continue;
    }
    trail.push_back(std::move(visit));
    receiveTree(pattern, target, true, trail);
    trail.pop_back();
    goBack();
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
      QStringList trail{QFileInfo(localFolder).canonicalFilePath()};
      sendTree(localFolder, mask.pattern, recursive, trail);
    } catch (const FtpError& e) {
      if (e.kind() != FailureKind::Aborted && !m_abort.load() && m_control) restoreFolder(startFolder);
      throw;
    }
    restoreFolder(startFolder);
  });
}

void Session::sendTree(const QString& localFolder, const QString& pattern, bool recursive, QStringList& trail) {
  // Files go by name into the current folder; a subfolder is entered (made when missing) and
  // left again by CWD, so its files' names stay plain too.
  UploadSteps steps;
  steps.sendFile = [&](const QString& localPath, const QString&, const QString& name) {
    sendFileImpl(localPath, 0, name, false);
  };
  steps.enterFolder = [&](const QString& remotePath) -> std::optional<QString> {
    if (!changeFolderQuietly(remotePath)) {
      const proto::Reply made = command("MKD", remotePath);
      if (!made.isPositive() || !changeFolderQuietly(remotePath)) return std::nullopt;
    }
    return workingFolder();
  };
  steps.leaveFolder = [&](const QString& here) {
    const proto::Reply back = command("CWD", here);
    if (!back.isPositive()) refused("CWD " + here.toStdString(), back);
  };
  steps.canGoOn = [&] { return m_loggedIn && !m_abort.load(); };
  steps.lineBreaksUnsendable = true;
  sendLocalTree(steps, {[this](const QString& line) { log(line); }, m_events}, localFolder, workingFolder(), pattern,
                recursive, trail);
}

} // namespace tidewick::ftp
