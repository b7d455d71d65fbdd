#include "browse/LocalFileSystem.h"

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

namespace tidewick::browse {

using ui::UserPrompts;

namespace {

const QString kNotice = QStringLiteral("Tidewick [Notice]");

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool matchesAll(const QByteArray& pattern) { return pattern.isEmpty() || pattern == "*" || pattern == "*.*"; }

} // namespace

LocalFileSystem::LocalFileSystem(UserPrompts& prompts, QWidget* dialogParent, QObject* parent)
    : QObject(parent), m_prompts(prompts), m_dialogParent(dialogParent) {}

bool LocalFileSystem::list(const QString& folder, const QString& pattern) {
  const QByteArray encoded = QFile::encodeName(folder);
  std::unique_ptr<DIR, DirCloser> dir(opendir(encoded.isEmpty() ? "." : encoded.constData()));
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

    const QString decoded = QFile::decodeName(name);
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
    emit entryListed(decoded, date, size, attributes);
  }
  emit folderListed(folder);
  return true;
}

void LocalFileSystem::listRoots() {
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
  for (const QString& root : roots) emit rootFound(root);
}

void LocalFileSystem::fail(const QString& text) {
  m_prompts.message(m_dialogParent, kNotice, text, UserPrompts::OkCancel, UserPrompts::Icon::Critical);
}

bool LocalFileSystem::deleteFile(const QString& path) {
  const QFileInfo info(path);
  // Only files: a folder (or a link to one, which unlink would remove) fails like any failure.
  if ((info.isDir() && !info.isSymLink()) || !QFile::remove(path)) {
    fail(QStringLiteral("Cannot delete ") + path);
    return false;
  }
  return true;
}

bool LocalFileSystem::rename(const QString& from, const QString& to) {
  const QByteArray source = QFile::encodeName(from);
  const QByteArray target = QFile::encodeName(to);
  if (source == target) return true;
  // A plain rename would silently replace an existing target; refuse instead, so nothing is lost.
  int result = ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE);
  if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
    const QFileInfo existing(to);
    result = (existing.exists() || existing.isSymLink()) ? -1 : ::rename(source.constData(), target.constData());
  }
  if (result != 0) {
    fail(QStringLiteral("Cannot rename ") + from);
    return false;
  }
  return true;
}

bool LocalFileSystem::removeFolder(const QString& path) {
  if (::rmdir(QFile::encodeName(path).constData()) != 0) {
    fail(QStringLiteral("Cannot remove ") + path +
         QStringLiteral(" ... Folder may contain files or is write protected or is in use! "));
    return false;
  }
  return true;
}

bool LocalFileSystem::createFolder(const QString& path) {
  if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0) {
    fail(QStringLiteral("Cannot create ") + path);
    return false;
  }
  return true;
}

} // namespace tidewick::browse
