#include "browse/clsLocalPaths.h"

#include "ui/UserPrompts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

using tidewick::ui::UserPrompts;

namespace {

const QString kNotice = QStringLiteral("Tidewick [Notice]");

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool matchesAll(const QByteArray& pattern) { return pattern.isEmpty() || pattern == "*" || pattern == "*.*"; }

} // namespace

clsLocalPaths::clsLocalPaths(UserPrompts& prompts, QWidget* dialogParent, QObject* parent)
    : QObject(parent), m_prompts(prompts), m_dialogParent(dialogParent) {}

bool clsLocalPaths::RetrieveLocalFolderContents(const QString& sPath) { return list(sPath, QString()); }

bool clsLocalPaths::RetrieveDefinedLocalFolderContents(const QString& sPath, const QString& definedType) {
  return list(sPath, definedType);
}

bool clsLocalPaths::list(const QString& path, const QString& pattern) {
  const QByteArray folder = QFile::encodeName(path);
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.isEmpty() ? "." : folder.constData()));
  if (!dir) return false;
  const int dirFd = dirfd(dir.get());
  const QByteArray glob = QFile::encodeName(pattern);
  const bool all = matchesAll(glob);

  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir.get());
    if (!entry) {
      if (errno != 0) return false;
      break;
    }
    const char* name = entry->d_name;
    if ((name[0] == '.' && name[1] == 0) || (name[0] == '.' && name[1] == '.' && name[2] == 0)) continue;
    if (!all && fnmatch(glob.constData(), name, FNM_CASEFOLD) != 0) continue;

    const QString sname = QFile::decodeName(name);
    struct stat st {};
    int attributes = -1;
    QDateTime date;
    qint64 size = 0;
    // Links are shown as what they point to; a dangling link keeps the link's own date and size
    // and has no attributes.
    if (fstatat(dirFd, name, &st, 0) == 0 || fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      date = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec);
      size = S_ISDIR(st.st_mode) ? 0 : static_cast<qint64>(st.st_size);
      if (!S_ISLNK(st.st_mode)) {
        attributes = S_ISDIR(st.st_mode) ? kAttrFolder : kAttrArchive;
        if (name[0] == '.') attributes |= kAttrHidden;
        if (faccessat(dirFd, name, W_OK, AT_EACCESS) != 0 && errno == EACCES) attributes |= kAttrReadOnly;
        if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) attributes |= kAttrSystem;
      }
    }
    emit UpdateLocalEntry(sname, date, size, attributes);
  }
  emit AddToLocalPaths(path);
  return true;
}

void clsLocalPaths::RetreiveLogicalDrives() {
  QStringList roots{QStringLiteral("/")};
  auto add = [&roots](QString path) {
    if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
    if (!roots.contains(path)) roots.append(path);
  };
  add(QDir::homePath());
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady()) continue;
    // Only volumes backed by a device: not /proc, /sys, tmpfs and the like.
    if (!volume.device().startsWith("/dev/")) continue;
    add(volume.rootPath());
  }
  for (const QString& root : roots) emit LogicalDriveFound(root);
}

void clsLocalPaths::fail(const QString& text) {
  m_prompts.message(m_dialogParent, kNotice, text, UserPrompts::OkCancel, UserPrompts::Icon::Critical);
}

bool clsLocalPaths::DeleteLocalFile(const QString& sFileToDelete) {
  const QFileInfo info(sFileToDelete);
  // Only files: a folder (or a link to one, which unlink would remove) fails like any failure.
  if ((info.isDir() && !info.isSymLink()) || !QFile::remove(sFileToDelete)) {
    fail(QStringLiteral("Cannot delete ") + sFileToDelete);
    return false;
  }
  return true;
}

bool clsLocalPaths::RenameLocalFile(const QString& sCurrentName, const QString& sNewName) {
  const QByteArray from = QFile::encodeName(sCurrentName);
  const QByteArray to = QFile::encodeName(sNewName);
  if (from == to) return true;
  // A plain rename would silently replace an existing target; refuse instead, so nothing is lost.
  int result = ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
  if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
    const QFileInfo target(sNewName);
    result = (target.exists() || target.isSymLink()) ? -1 : ::rename(from.constData(), to.constData());
  }
  if (result != 0) {
    fail(QStringLiteral("Cannot rename ") + sCurrentName);
    return false;
  }
  return true;
}

bool clsLocalPaths::RemoveLocalFolder(const QString& sFolderToDelete) {
  if (::rmdir(QFile::encodeName(sFolderToDelete).constData()) != 0) {
    fail(QStringLiteral("Cannot remove ") + sFolderToDelete +
         QStringLiteral(" ... Folder may contain files or is write protected or is in use! "));
    return false;
  }
  return true;
}

bool clsLocalPaths::CreateLocalFolder(const QString& sFolderToCreate) {
  if (::mkdir(QFile::encodeName(sFolderToCreate).constData(), 0777) != 0) {
    fail(QStringLiteral("Cannot create ") + sFolderToCreate);
    return false;
  }
  return true;
}
