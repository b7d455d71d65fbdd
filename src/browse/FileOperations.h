#pragma once
// The commands that change single items on either side: delete, rename (by prompt and in place),
// create and remove folders, move remote items, the trash. Each asks first where it should, logs
// or shows its failures, and lists the changed pane again.

#include "browse/PaneServices.h"

#include <QObject>

#include <functional>

namespace tidewick::ftp {
class FtpClient;
}

namespace tidewick::browse {

class LocalFileSystem;
class LocalPane;
class RemotePane;

class FileOperations : public QObject {
  Q_OBJECT

public:
  FileOperations(LocalFileSystem& local, ftp::FtpClient& ftp, LocalPane& localPane, RemotePane& remotePane,
                 QString& currentLocalFolder, PaneServices services, QObject* parent = nullptr);

  // Local side.
  void DeleteLocalFiles();
  void RenameLocalFile();
  void CreateLocalFolder();
  void RemoveLocalFolder();
  void RecycleLocalFiles();
  void RecycleLocalFolder();
  void EmptyTrash();

  // Remote side.
  void DeleteRemoteFiles();
  void RenameRemoteFile();
  void CreateRemoteFolder();
  void RemoveRemoteFolder();
  void MoveRemoteItems();

  // Renaming in place: the pane's edit began, or ended with `newName`; false cancels the edit.
  void LocalEditStarted(int row);
  void RemoteEditStarted(int row);
  bool LocalEditFinished(int row, const QString& newName);
  bool RemoteEditFinished(int row, const QString& newName);

  // The trash folders emptied by EmptyTrash: the home trash, and the user's trash on each mounted
  // volume (or on each of `volumeRoots`).
  static QStringList TrashFolders();
  static QStringList TrashFolders(const QStringList& volumeRoots);
  // Deletes what the trash folders hold (their files, info and expunged parts), logging what
  // cannot be deleted.
  void EmptyTrashFolders(const QStringList& trashFolders);

private:
  bool ConfirmExtensionChange(const QString& oldName, const QString& newName);
  void Log(const QString& line);
  void ClearAction();
  bool Confirm(const QString& question);
  // Runs remote changes; the first failure ends them and is logged as "Error: " + its description.
  bool RunRemote(const std::function<void()>& change);
  // Throws the failure of a rename onto an existing name when the remote listing holds `name`.
  void RefuseListedRemoteName(const QString& name) const;

  LocalFileSystem& m_local;
  ftp::FtpClient& m_ftp;
  LocalPane& m_localPane;
  RemotePane& m_remotePane;
  QString& m_currentLocalFolder;
  PaneServices m_services;
};

} // namespace tidewick::browse
