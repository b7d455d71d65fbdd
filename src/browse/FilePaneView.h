#pragma once
// One file list shown four ways: large icons, small icons, list and details. One model and one
// selection feed all four, so switching views keeps rows and selection; only the details view has
// column headers (clicking one asks for a sort, which the pane decides).

#include <QStackedWidget>
#include <QTimer>

#include <vector>

class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QTreeView;

namespace tidewick::browse {

class FileListModel;

class FilePaneView : public QStackedWidget {
  Q_OBJECT

public:
  enum class ViewMode { LargeIcons, SmallIcons, List, Details };

  explicit FilePaneView(FileListModel* model, QWidget* parent = nullptr);

  FileListModel* model() const { return m_model; }
  // The list's name (lstLocalFileList, lstRemoteFileList); drags carry it so the other pane can
  // tell where a drop came from.
  void setListName(const QString& name);
  void setViewMode(ViewMode mode);
  ViewMode viewMode() const { return m_mode; }
  QAbstractItemView* currentView() const;
  QTreeView* detailsView() const { return m_details; }
  QListView* iconView() const { return m_icons; }

  // Selected rows in list order.
  std::vector<int> selectedRows() const;
  int CountSelected() const { return static_cast<int>(selectedRows().size()); }
  // The focused row when it is selected, else the first selected row; -1 when none.
  int selectedRow() const;
  void selectRow(int row, bool add = false);
  void clearSelection();

  // Starts editing the name of `row` in place. The user's gestures for it are F2 and a slow second
  // click on a selected row; a double-click never starts it.
  void editName(int row);

  // Whether drops are taken; the pane turns this off while its own drag runs.
  void setAcceptDrops(bool accept);

signals:
  void rowDoubleClicked(int row);
  void rightButtonReleased(const QPoint& globalPos);
  void headerClicked(int column);
  void selectionChanged();
  void clicked();
  // A drop of text, or of a row drag from another pane (`fromPane` holds that pane's objectName).
  void dropped(const QString& fromPane, bool hasText);
  void dragStarted();
  // The user began editing a row's name in place.
  void editStarted(int row);
  void dragFinished();
  // The Delete key in the list (not while a name is being edited).
  void deleteKeyPressed();
  // Backspace in the list: up one folder.
  void upKeyPressed();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void configure(QAbstractItemView* view);
  void AnnounceView();

  FileListModel* m_model;
  QItemSelectionModel* m_selection;
  QTreeView* m_details;
  QListView* m_icons;
  ViewMode m_mode = ViewMode::Details;
  // A click on the row that was already the one selected waits out the double-click time; a
  // second click within it makes a double-click, anything else lets the edit begin.
  QTimer m_slowClick;
  int m_slowClickRow = -1;
  // The list has just been given the focus by a click (or by its window coming to the front): the
  // press that follows is a first click, not a second one.
  bool m_focusingClick = false;
};

} // namespace tidewick::browse
