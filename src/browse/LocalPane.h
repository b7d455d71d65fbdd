#pragma once
// The local pane: lists a folder of this machine through clsLocalPaths, moves between folders,
// keeps the path box (roots first, then the folders visited), filters, views, sorting, opening
// files, and the enabling of the local commands.

#include "browse/FilePaneView.h"
#include "browse/PaneServices.h"

#include <QDateTime>
#include <QObject>

namespace tidewick::ftp {
class FtpClient;
}
class clsLocalPaths;
class FileListModel;
class QComboBox;

class LocalPane : public QObject {
  Q_OBJECT

public:
  LocalPane(clsLocalPaths& local, tidewick::ftp::FtpClient& ftp, FilePaneView* list, QComboBox* pathBox,
            QString& currentLocalFolder, PaneServices services, QObject* parent = nullptr);

  bool ChangeCurrentLocalFolder(const QString& sNewLocalPath);
  void AddPathToComboBox(const QString& sPathToAdd);
  void ClearLocalList();
  void RefreshLocalList();
  void UpdateLocalCommandStates();
  // Lists `path` (all entries, or those matching `pattern`); logs when the folder cannot be read.
  bool RetrieveLocalFolderContents(const QString& path, const QString& pattern = QString());

  void RowDoubleClicked(int row);
  void PathBoxSelected(int index);
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
  void OnUpdateLocalEntry(const QString& sname, const QDateTime& dtDate, qint64 lSize, int nAttrib);
  void OnAddToLocalPaths(const QString& sPathToAdd);
  void OnLogicalDriveFound(const QString& sDriveToAdd);
  int FindInPathBox(const QString& path) const;
  void Log(const QString& line);

  clsLocalPaths& m_local;
  tidewick::ftp::FtpClient& m_ftp;
  FilePaneView* m_list;
  QComboBox* m_pathBox;
  QString& m_currentLocalFolder;
  PaneServices m_services;
  Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
  bool m_selectingFromCode = false;
};
