#pragma once
// The local pane: lists a folder of this machine through LocalFileSystem, moves between folders,
// keeps the path box (roots first, then the folders visited), filters, views, sorting, opening
// files, and the enabling of the local commands.

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
class LocalFileSystem;

class LocalPane : public QObject {
  Q_OBJECT

public:
  LocalPane(LocalFileSystem& local, ftp::FtpClient& ftp, FilePaneView* list, QComboBox* pathBox,
            QString& currentLocalFolder, PaneServices services, QObject* parent = nullptr);

  bool ChangeCurrentLocalFolder(const QString& folder);
  void AddPathToComboBox(const QString& path);
  void ClearLocalList();
  void RefreshLocalList();
  void UpdateLocalCommandStates();
  // Lists `path` (all entries, or those matching `pattern`); logs when the folder cannot be read.
  bool RetrieveLocalFolderContents(const QString& path, const QString& pattern = QString());

  void RowDoubleClicked(int row);
  void PathBoxSelected(int index);
  // Enter in the path box: the typed folder (absolute, below the current folder, or below the
  // home folder with "~/") is listed; when it cannot be, the log says why and the box names the
  // folder shown again.
  void PathTyped(const QString& typed);
  void ShowCurrentFolderInPathBox();
  void GoUpOneLevel();
  void Refresh();
  void FilterAll();
  void FilterDefineTypes();
  void OpenFile();
  void SetView(FilePaneView::ViewMode mode) { m_list->setViewMode(mode); }
  void HeaderClicked(int column);

  FilePaneView* list() const { return m_list; }
  FileListModel* model() const;
  // The full paths of the selected rows, in list order.
  QStringList SelectedPaths() const;

private:
  void OnEntryListed(const QString& name, const QDateTime& date, qint64 size, int attributes);
  void OnFolderListed(const QString& folder);
  void OnRootFound(const QString& root);
  int FindInPathBox(const QString& path) const;
  // Lists `path` and makes it current; when it cannot be read, lists the current folder again.
  bool EnterFolder(const QString& path);
  void Log(const QString& line);

  LocalFileSystem& m_local;
  ftp::FtpClient& m_ftp;
  FilePaneView* m_list;
  QComboBox* m_pathBox;
  QString& m_currentLocalFolder;
  PaneServices m_services;
  Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
  bool m_selectingFromCode = false;
};

} // namespace tidewick::browse
