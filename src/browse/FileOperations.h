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

  // The trash folders emptied by EmptyTrash (the home trash, and each mounted volume's own).
  static QStringList TrashFolders();

private:
  bool ConfirmExtensionChange(const QString& oldName, const QString& newName);
  void Log(const QString& line);
  void ClearAction();
  bool Confirm(const QString& question);
  // Runs remote changes; the first failure ends them and is logged as "Error: " + its description.
  bool RunRemote(const std::function<void()>& change);

  LocalFileSystem& m_local;
  ftp::FtpClient& m_ftp;
  LocalPane& m_localPane;
  RemotePane& m_remotePane;
  QString& m_currentLocalFolder;
  PaneServices m_services;
};

} // namespace tidewick::browse
