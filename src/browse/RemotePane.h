#pragma once
// The remote pane: lists the server's current folder into rows, moves between folders (double-
// click, path box, up one level, typed folder), keeps the path history of the connection,
// filters, views, sorting, and the enabling of the remote commands.

#include "browse/FilePaneView.h"
#include "browse/PaneServices.h"

#include <QDateTime>
#include <QObject>

namespace tidewick::ftp {
class FtpClient;
}
class QComboBox;

namespace tidewick::browse {

class FileListModel;

class RemotePane : public QObject {
  Q_OBJECT

public:
  RemotePane(ftp::FtpClient& ftp, FilePaneView* list, QComboBox* pathBox, QString& currentRemoteFolder,
             PaneServices services, QObject* parent = nullptr);

  // The path box's navigation lock: while set, choosing an entry of the box does not navigate.
  void SetNavigationLock(bool locked);
  bool NavigationLocked() const;

  void ListFilesOnServer();
  void ListDefinedFilesOnServer(const QString& defineString);
  QString GetRemoteFolder();
  bool ChangeCurrentRemoteFolder(const QString& folder, bool showErrors);
  void AddToRemotePaths(const QString& path);
  static bool FindInPathBox(const QString& path, const QComboBox* box);
  // The entry equal to `path` without regard to case; -1 when there is none.
  static int PathBoxEntry(const QString& path, const QComboBox* box);
  void ClearRemoteList();
  void RefreshRemoteList();
  int CountSelected() const { return m_list->CountSelected(); }
  void UpdateRemoteCommandStates();

  // Commands and gestures.
  void RowDoubleClicked(int row);
  void PathBoxSelected(int index);
  void GoUpOneLevel();
  void GoToTypedFolder();
  // Goes to `folder` as the typed-folder command does; on failure the log says why and the path
  // box names the folder shown again.
  bool GoToFolder(const QString& folder);
  // Shows the folder the server is in now, when a raw command moved it away from the one listed;
  // otherwise names and commands of the list would act on another folder than the one shown.
  void FollowServerFolder();
  // Enter in the path box.
  void PathTyped(const QString& typed);
  // Puts the folder the list shows back into the path box.
  void ShowCurrentFolderInPathBox();
  void Refresh();
  void FilterAll();
  void FilterDefineTypes();
  void SetView(FilePaneView::ViewMode mode) { m_list->setViewMode(mode); }
  void HeaderClicked(int column);

  // The end of a connection empties the history.
  void ClearPathBox();

  FilePaneView* list() const { return m_list; }
  FileListModel* model() const;

  // The component's listing event.
  void OnListingFolderItem(const QString& name, const QDateTime& date, qint64 size, int kind);

private:
  void ListAfterNavigation(); // clear, list with the abort commands on, clear the action panel
  void LogError(const QString& description);

  ftp::FtpClient& m_ftp;
  FilePaneView* m_list;
  QComboBox* m_pathBox;
  QString& m_currentRemoteFolder;
  PaneServices m_services;
  Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace tidewick::browse
