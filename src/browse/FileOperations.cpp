#include "browse/FileOperations.h"

#include "browse/FileListModel.h"
#include "browse/LocalFileSystem.h"
#include "browse/LocalPane.h"
#include "browse/RemotePane.h"
#include "ftp/FtpClient.h"
#include "settings/Globals.h"
#include "ui/BusyCursor.h"
#include "ui/UserPrompts.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace tidewick::browse {

using ftp::FailureKind;
using ftp::FtpClient;
using ftp::FtpFailure;
using settings::RecycleFile;
using settings::Removal;
using ui::BusyCursor;
using ui::UserPrompts;

namespace {

const QString kConfirm = QStringLiteral("Tidewick [Confirm]");
const QString kTitle = QStringLiteral("Tidewick");

QString extensionOf(const QString& name) {
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  return dot < 0 ? name : name.mid(dot + 1);
}

// A name typed for an item of the current folder: one path component, nothing a server or the
// file system would read as another folder.
bool isPlainName(const QString& name) {
  return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QStringLiteral(".") &&
         name != QStringLiteral("..") && !name.contains(QChar(0));
}

// A prompt cancelled, or answered with nothing but blanks: the command it leads to does nothing.
bool isBlank(const QString& answer) { return answer.trimmed().isEmpty(); }

} // namespace

FileOperations::FileOperations(LocalFileSystem& local, FtpClient& ftp, LocalPane& localPane, RemotePane& remotePane,
                               QString& currentLocalFolder, PaneServices services, QObject* parent)
    : QObject(parent), m_local(local), m_ftp(ftp), m_localPane(localPane), m_remotePane(remotePane),
      m_currentLocalFolder(currentLocalFolder), m_services(std::move(services)) {}

void FileOperations::Log(const QString& line) {
  if (m_services.DisplayMessage) m_services.DisplayMessage(line);
}

void FileOperations::ClearAction() {
  if (m_services.UpdateAction) m_services.UpdateAction(QString());
}

bool FileOperations::RunRemote(const std::function<void()>& change) {
  try {
    change();
    return true;
  } catch (const FtpFailure& failure) {
    if (!failure.description().isEmpty()) Log(QStringLiteral("Error: ") + failure.description());
    return false;
  }
}

void FileOperations::RefuseListedRemoteName(const QString& name) const {
  // Servers without MLST cannot tell the engine about folders, but the listing just read can.
  const FileListModel* rows = m_remotePane.model();
  for (int row = 0; row < rows->rowCount(); ++row)
    if (rows->row(row).name == name) throw FtpFailure(ftp::targetExistsText(name), FailureKind::TargetExists);
}

bool FileOperations::Confirm(const QString& question) {
  return m_services.prompts->message(m_services.window, kConfirm, question, UserPrompts::YesNo,
                                     UserPrompts::Icon::Question) == UserPrompts::Yes;
}

// ---- local side

void FileOperations::DeleteLocalFiles() {
  if (!Confirm(QStringLiteral("Are you sure you want to delete the selected local file(s)?"))) return;
  BusyCursor busy;
  const QStringList paths = m_localPane.SelectedPaths();
  for (const QString& path : paths) m_local.deleteFile(path);
  m_localPane.RefreshLocalList();
}

void FileOperations::RenameLocalFile() {
  const int row = m_localPane.list()->selectedRow();
  if (row < 0) return;
  const QString old = m_currentLocalFolder + m_localPane.model()->row(row).name;
  if (!Confirm(QStringLiteral("Rename local file ") + old + QStringLiteral("?"))) return;
  const QString answer = m_services.prompts->input(m_services.window, QStringLiteral("Tidewick - Rename Local File"),
                                                   QStringLiteral("Enter the new name for ") + old);
  if (isBlank(answer)) return;
  m_local.rename(old, m_currentLocalFolder + answer);
  m_localPane.RefreshLocalList();
}

void FileOperations::CreateLocalFolder() {
  const QString answer =
      m_services.prompts->input(m_services.window, QStringLiteral("Tidewick - Create Local Folder"),
                                QStringLiteral("Enter the name of the local folder you wish to create."));
  if (isBlank(answer)) return;
  m_local.createFolder(m_currentLocalFolder + answer);
  m_localPane.RefreshLocalList();
}

void FileOperations::RemoveLocalFolder() {
  const int row = m_localPane.list()->selectedRow();
  if (row < 0) return;
  const QString name = m_localPane.model()->row(row).name;
  if (!Confirm(QStringLiteral("Delete ") + name + QStringLiteral("?"))) return;
  BusyCursor busy;
  m_local.removeFolder(m_currentLocalFolder + name);
  m_localPane.RefreshLocalList();
  m_localPane.UpdateLocalCommandStates();
}

void FileOperations::RecycleLocalFiles() {
  BusyCursor busy;
  for (const QString& path : m_localPane.SelectedPaths())
    if (!RecycleFile(path, Removal::ToTrash))
      Log(QStringLiteral("Error: Cannot move ") + path + QStringLiteral(" to the trash"));
  m_localPane.RefreshLocalList();
}

void FileOperations::RecycleLocalFolder() {
  const int row = m_localPane.list()->selectedRow();
  if (row < 0) return;
  BusyCursor busy;
  const QString path = m_currentLocalFolder + m_localPane.model()->row(row).name;
  if (!RecycleFile(path, Removal::ToTrash))
    Log(QStringLiteral("Error: Cannot move ") + path + QStringLiteral(" to the trash"));
  m_localPane.RefreshLocalList();
  m_localPane.UpdateLocalCommandStates();
}

QStringList FileOperations::TrashFolders() {
  QStringList volumes;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) volumes << volume.rootPath();
  return TrashFolders(volumes);
}

QStringList FileOperations::TrashFolders(const QStringList& volumeRoots) {
  QString data = qEnvironmentVariable("XDG_DATA_HOME");
  if (data.isEmpty() || !QDir::isAbsolutePath(data)) data = QDir::homePath() + QStringLiteral("/.local/share");
  QStringList folders{data + QStringLiteral("/Trash")};
  // On other volumes a user's trash is either $topdir/.Trash/$uid, inside a shared .Trash that
  // is a real folder with the sticky bit (anything else may be a trap laid by another user), or
  // $topdir/.Trash-$uid.
  const QString uid = QString::number(getuid());
  const auto isOwnFolder = [](const QString& path) {
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink() && info.ownerId() == getuid();
  };
  for (QString top : volumeRoots) {
    if (top == QStringLiteral("/")) continue;
    if (!top.endsWith(QLatin1Char('/'))) top += QLatin1Char('/');
    const QString shared = top + QStringLiteral(".Trash");
    struct stat status {};
    if (::lstat(QFile::encodeName(shared).constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
        (status.st_mode & S_ISVTX) && isOwnFolder(shared + QLatin1Char('/') + uid))
      folders << shared + QLatin1Char('/') + uid;
    if (isOwnFolder(top + QStringLiteral(".Trash-") + uid)) folders << top + QStringLiteral(".Trash-") + uid;
  }
  return folders;
}

void FileOperations::EmptyTrash() {
  if (m_services.prompts->message(m_services.window, kConfirm,
                                  QStringLiteral("Empty the trash? Everything in it is deleted for good."),
                                  UserPrompts::YesNo, UserPrompts::Icon::Warning) != UserPrompts::Yes)
    return;
  BusyCursor busy;
  EmptyTrashFolders(TrashFolders());
}

void FileOperations::EmptyTrashFolders(const QStringList& trashFolders) {
  for (const QString& trash : trashFolders) {
    for (const char* part : {"files", "info", "expunged"}) {
      const QString path = trash + QLatin1Char('/') + QLatin1String(part);
      // Only what lies in the trash itself is emptied, never what a link there points to.
      if (!QFileInfo(path).isDir() || QFileInfo(path).isSymLink()) continue;
      QDir folder(path);
      const auto entries = folder.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
      for (const QFileInfo& entry : entries) {
        const bool removed = (entry.isDir() && !entry.isSymLink()) ? QDir(entry.filePath()).removeRecursively()
                                                                   : QFile::remove(entry.filePath());
        if (!removed)
          Log(QStringLiteral("Error: Cannot remove ") + entry.filePath() + QStringLiteral(" from the trash"));
      }
    }
  }
}

// ---- remote side

void FileOperations::DeleteRemoteFiles() {
  if (!Confirm(QStringLiteral("Are you sure you want to delete the selected remote file(s)?"))) return;
  BusyCursor busy;
  RunRemote([this] {
    for (int row : m_remotePane.list()->selectedRows()) {
      m_ftp.DeleteFile(m_remotePane.model()->row(row).name);
      ClearAction();
    }
    m_remotePane.RefreshRemoteList();
  });
}

void FileOperations::RenameRemoteFile() {
  const int row = m_remotePane.list()->selectedRow();
  if (row < 0) return;
  const QString name = m_remotePane.model()->row(row).name;
  if (!Confirm(QStringLiteral("Rename remote file ") + name + QStringLiteral("?"))) return;
  const QString answer = m_services.prompts->input(m_services.window, QStringLiteral("Tidewick - Rename Remote File"),
                                                   QStringLiteral("Rename remote file to : "));
  if (isBlank(answer) || answer == name) return;
  RunRemote([&] {
    RefuseListedRemoteName(answer);
    m_ftp.RenameFile(name, answer);
    ClearAction();
    m_remotePane.RefreshRemoteList();
  });
}

void FileOperations::CreateRemoteFolder() {
  const QString answer = m_services.prompts->input(m_services.window, QStringLiteral("Tidewick - Create RemoteFolder"),
                                                   QStringLiteral("Enter the name of the folder you want to create."));
  if (isBlank(answer)) return;
  BusyCursor busy;
  RunRemote([&] {
    m_ftp.CreateFolder(answer);
    ClearAction();
    m_remotePane.RefreshRemoteList();
  });
}

void FileOperations::RemoveRemoteFolder() {
  const int row = m_remotePane.list()->selectedRow();
  if (row < 0) return;
  const QString name = m_remotePane.model()->row(row).name;
  if (!Confirm(QStringLiteral("Delete ") + name + QStringLiteral("?"))) return;
  BusyCursor busy;
  RunRemote([&] {
    m_ftp.RemoveFolder(name);
    ClearAction();
    m_remotePane.RefreshRemoteList();
  });
}

void FileOperations::MoveRemoteItems() {
  const int current = m_remotePane.list()->selectedRow();
  if (current < 0) return;
  if (!Confirm(QStringLiteral("Move remote file(s) / folder(s) ") + m_remotePane.model()->row(current).name +
               QStringLiteral("?")))
    return;
  QStringList names;
  for (int row : m_remotePane.list()->selectedRows()) names << m_remotePane.model()->row(row).name;
  bool anyMoved = false;
  const bool moved = RunRemote([&] {
    for (const QString& name : names) {
      QString folder = m_services.prompts->input(m_services.window, kTitle,
                                                 QStringLiteral("Move ") + name + QStringLiteral(" to : "));
      // Cancelling the prompt skips this item rather than moving it to the server's root.
      if (isBlank(folder)) continue;
      while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
      const QString target = folder == QStringLiteral("/") ? folder + name : folder + QLatin1Char('/') + name;
      m_ftp.RenameFile(name, target);
      anyMoved = true;
    }
  });
  // Nothing moved (every question cancelled, or the first move refused): nothing to list again.
  if (!moved || !anyMoved) return;
  ClearAction();
  m_remotePane.RefreshRemoteList();
}

// ---- renaming in place

void FileOperations::LocalEditStarted(int row) {
  Log(QStringLiteral("Local: Renaming file: \"") + m_localPane.model()->row(row).name + QLatin1Char('"'));
}

void FileOperations::RemoteEditStarted(int row) {
  Log(QStringLiteral("Server: Renaming file: \"") + m_remotePane.model()->row(row).name + QLatin1Char('"'));
}

bool FileOperations::ConfirmExtensionChange(const QString& oldName, const QString& newName) {
  const QString from = extensionOf(oldName);
  const QString to = extensionOf(newName);
  if (from == to) return true;
  return m_services.prompts->message(m_services.window, kTitle,
                                     QStringLiteral("Are you sure to exchange the file extension from: \"") + from +
                                         QStringLiteral("\" to: \"") + to + QLatin1Char('"'),
                                     UserPrompts::YesNo, UserPrompts::Icon::Question) == UserPrompts::Yes;
}

bool FileOperations::LocalEditFinished(int row, const QString& newName) {
  const QString old = m_localPane.model()->row(row).name;
  if (newName == old || newName.isEmpty()) return false;
  if (!isPlainName(newName)) {
    m_services.prompts->message(m_services.window, kTitle,
                                QStringLiteral("A name cannot contain \"/\" or be \".\" or \"..\"."),
                                UserPrompts::OkOnly, UserPrompts::Icon::Warning);
    return false;
  }
  if (!ConfirmExtensionChange(old, newName)) return false;
  const QString target = m_currentLocalFolder + newName;
  if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
    m_services.prompts->message(m_services.window, kTitle, QStringLiteral("File name exists in folder? no way!"),
                                UserPrompts::OkOnly, UserPrompts::Icon::Warning);
    return false;
  }
  if (!m_local.rename(m_currentLocalFolder + old, target)) return false;
  m_localPane.RefreshLocalList();
  m_localPane.UpdateLocalCommandStates();
  return true;
}

bool FileOperations::RemoteEditFinished(int row, const QString& newName) {
  const QString old = m_remotePane.model()->row(row).name;
  if (newName == old || isBlank(newName)) return false;
  if (!ConfirmExtensionChange(old, newName)) return false;
  try {
    RefuseListedRemoteName(newName);
    m_ftp.RenameFile(old, newName);
  } catch (const FtpFailure& failure) {
    if (failure.kind() == FailureKind::TargetExists) {
      m_services.prompts->message(m_services.window, kTitle, QStringLiteral("File name exists in folder? no way!"),
                                  UserPrompts::OkOnly, UserPrompts::Icon::Warning);
    } else if (!failure.description().isEmpty()) {
      Log(QStringLiteral("Error: ") + failure.description());
    }
    return false;
  }
  ClearAction();
  m_remotePane.RefreshRemoteList();
  return true;
}

} // namespace tidewick::browse
