#include "browse/FilePaneView.h"

#include "browse/FileListModel.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QListView>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QTreeView>

#include <algorithm>
#include <utility>

namespace tidewick::browse {

namespace {

const QString kPaneMime = QStringLiteral("application/x-tidewick-pane");

// The views start their own drags; the pane hears about the start and the end.
template <typename Base>
class DragAwareView : public Base {
public:
  explicit DragAwareView(FilePaneView* pane) : Base(pane), m_pane(pane) {}

protected:
  void startDrag(Qt::DropActions actions) override {
    QMetaObject::invokeMethod(m_pane, "dragStarted");
    Base::startDrag(actions);
    QMetaObject::invokeMethod(m_pane, "dragFinished");
  }

private:
  FilePaneView* m_pane;
};

// Tells the pane when editing a name in place begins.
class NameDelegate : public QStyledItemDelegate {
public:
  explicit NameDelegate(FilePaneView* pane) : QStyledItemDelegate(pane), m_pane(pane) {}
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QMetaObject::invokeMethod(m_pane, "editStarted", Q_ARG(int, index.row()));
    return QStyledItemDelegate::createEditor(parent, option, index);
  }

private:
  FilePaneView* m_pane;
};

// What screen readers see of the list: only the view it shows. The other view is hidden, but its
// items would still say they are on screen.
class PaneAccessible : public QAccessibleWidget {
public:
  explicit PaneAccessible(FilePaneView* pane) : QAccessibleWidget(pane, QAccessible::LayeredPane) {}
  QAbstractItemView* shown() const { return static_cast<FilePaneView*>(widget())->currentView(); }
  int childCount() const override { return 1; }
  QAccessibleInterface* child(int index) const override {
    return index == 0 ? QAccessible::queryAccessibleInterface(shown()) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child && child->object() == shown() ? 0 : -1;
  }
};

QAccessibleInterface* paneAccessible(const QString& className, QObject* object) {
  if (className == QLatin1String(FilePaneView::staticMetaObject.className()) && object)
    return new PaneAccessible(static_cast<FilePaneView*>(object));
  return nullptr;
}

} // namespace

FilePaneView::FilePaneView(FileListModel* model, QWidget* parent) : QStackedWidget(parent), m_model(model) {
  static const bool accessibilityInstalled = [] {
    QAccessible::installFactory(paneAccessible);
    return true;
  }();
  Q_UNUSED(accessibilityInstalled);
  m_details = new DragAwareView<QTreeView>(this);
  m_icons = new DragAwareView<QListView>(this);
  m_details->setModel(model);
  m_icons->setModel(model);
  m_selection = m_details->selectionModel();
  m_icons->setSelectionModel(m_selection);

  m_details->setRootIsDecorated(false);
  m_details->setUniformRowHeights(true); // keeps 100,000 rows cheap to lay out
  m_details->setItemsExpandable(false);
  m_details->setAllColumnsShowFocus(true);
  m_details->setSortingEnabled(false); // the pane sorts on header clicks itself
  QHeaderView* header = m_details->header();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setStretchLastSection(false);
  header->setSectionResizeMode(FileListModel::NameColumn, QHeaderView::Interactive);
  header->resizeSection(FileListModel::NameColumn, 220);
  header->resizeSection(FileListModel::SizeColumn, 90);
  // Wide enough for the longest date the user's format makes.
  const QString longDate = FileListModel::DateText(QDateTime(QDate(2028, 12, 28), QTime(23, 58, 58)));
  header->resizeSection(FileListModel::DateColumn,
                        std::max(140, m_details->fontMetrics().horizontalAdvance(longDate) + 24));
  header->setSortIndicator(-1, Qt::AscendingOrder); // nothing is sorted until a header is clicked
  m_details->setColumnHidden(FileListModel::KindColumn, true);
  connect(header, &QHeaderView::sectionClicked, this, &FilePaneView::headerClicked);

  m_icons->setUniformItemSizes(true);
  m_icons->setResizeMode(QListView::Adjust);
  m_icons->setLayoutMode(QListView::Batched);
  m_icons->setBatchSize(2000);

  for (QAbstractItemView* view :
       {static_cast<QAbstractItemView*>(m_details), static_cast<QAbstractItemView*>(m_icons)}) {
    configure(view);
    addWidget(view);
  }
  connect(m_selection, &QItemSelectionModel::selectionChanged, this, [this] { emit selectionChanged(); });
  setViewMode(ViewMode::Details);

  m_slowClick.setSingleShot(true);
  connect(this, &FilePaneView::dragStarted, this, [this] {
    m_slowClick.stop();
    m_slowClickRow = -1;
  });
  connect(&m_slowClick, &QTimer::timeout, this, [this] {
    const int row = std::exchange(m_slowClickRow, -1);
    // Only if nothing else happened meanwhile: the row still the one selected, no dialog open.
    if (row < 0 || row >= m_model->rowCount() || selectedRows() != std::vector<int>{row} || !isVisible() ||
        QApplication::activeModalWidget() || QApplication::activePopupWidget())
      return;
    editName(row);
  });
}

void FilePaneView::setListName(const QString& name) {
  setObjectName(name);
  m_model->setObjectName(name);
}

void FilePaneView::configure(QAbstractItemView* view) {
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  // F2 edits a name; the slow second click is handled here (the view's own version of it also
  // fired within a double-click, opening the editor under the double-click's dialog).
  view->setEditTriggers(QAbstractItemView::EditKeyPressed);
  view->setDragEnabled(true);
  view->setDragDropMode(QAbstractItemView::DragDrop);
  view->setDefaultDropAction(Qt::CopyAction);
  view->setAcceptDrops(true);
  view->viewport()->setAcceptDrops(true);
  view->viewport()->installEventFilter(this);
  view->installEventFilter(this);
  view->setContextMenuPolicy(Qt::NoContextMenu);
  view->setItemDelegate(new NameDelegate(this));
  connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) emit rowDoubleClicked(index.row());
  });
  connect(view, &QAbstractItemView::clicked, this, [this] { emit clicked(); });
}

void FilePaneView::setViewMode(ViewMode mode) {
  m_mode = mode;
  if (mode == ViewMode::Details) {
    setCurrentWidget(m_details);
    AnnounceView();
    return;
  }
  switch (mode) {
    case ViewMode::LargeIcons:
      m_icons->setViewMode(QListView::IconMode);
      m_icons->setIconSize(QSize(32, 32));
      m_icons->setGridSize(QSize(96, 72));
      m_icons->setFlow(QListView::LeftToRight);
      m_icons->setWrapping(true);
      m_icons->setWordWrap(true);
      m_icons->setMovement(QListView::Static);
      break;
    case ViewMode::SmallIcons:
      m_icons->setViewMode(QListView::ListMode);
      m_icons->setIconSize(QSize(16, 16));
      m_icons->setGridSize(QSize(160, 22));
      m_icons->setFlow(QListView::LeftToRight);
      m_icons->setWrapping(true);
      m_icons->setWordWrap(false);
      break;
    case ViewMode::List:
      m_icons->setViewMode(QListView::ListMode);
      m_icons->setIconSize(QSize(16, 16));
      m_icons->setGridSize(QSize());
      m_icons->setFlow(QListView::TopToBottom);
      m_icons->setWrapping(true);
      m_icons->setWordWrap(false);
      break;
    case ViewMode::Details: break;
  }
  m_icons->setModelColumn(FileListModel::NameColumn);
  setCurrentWidget(m_icons);
  AnnounceView();
}

void FilePaneView::AnnounceView() {
  // Screen readers see only the view shown (see PaneAccessible): tell them it changed.
  if (!QAccessible::isActive()) return;
  QAccessibleEvent changed(this, QAccessible::ObjectReorder);
  QAccessible::updateAccessibility(&changed);
}

QAbstractItemView* FilePaneView::currentView() const {
  return m_mode == ViewMode::Details ? static_cast<QAbstractItemView*>(m_details) : m_icons;
}

std::vector<int> FilePaneView::selectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : m_selection->selectedRows(FileListModel::NameColumn)) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

int FilePaneView::selectedRow() const {
  const QModelIndex current = m_selection->currentIndex();
  if (current.isValid() && m_selection->isRowSelected(current.row(), {})) return current.row();
  const auto rows = selectedRows();
  return rows.empty() ? -1 : rows.front();
}

void FilePaneView::selectRow(int row, bool add) {
  const QModelIndex index = m_model->index(row, FileListModel::NameColumn);
  auto flags = QItemSelectionModel::Rows | (add ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect);
  m_selection->setCurrentIndex(index, flags);
}

void FilePaneView::clearSelection() { m_selection->clearSelection(); }

void FilePaneView::editName(int row) {
  const QModelIndex index = m_model->index(row, FileListModel::NameColumn);
  currentView()->setCurrentIndex(index);
  currentView()->edit(index);
}

void FilePaneView::setAcceptDrops(bool accept) {
  m_details->viewport()->setAcceptDrops(accept);
  m_icons->viewport()->setAcceptDrops(accept);
}

bool FilePaneView::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn && (watched == m_details || watched == m_icons)) {
    // A click that brings the list into focus (from the other pane, or into the window) is the
    // first click the list sees, whatever was selected before it.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    m_focusingClick = reason == Qt::MouseFocusReason || reason == Qt::ActiveWindowFocusReason;
  }
  if ((watched == m_details || watched == m_icons) && event->type() == QEvent::KeyPress) {
    // A name being edited has the keys to itself; these are the list's own keys. Enter does what a
    // double-click on the current row does, Backspace goes up one folder.
    auto* key = static_cast<QKeyEvent*>(event);
    auto* view = static_cast<QAbstractItemView*>(watched);
    const QModelIndex current = m_selection->currentIndex();
    const bool editing = current.isValid() && view->indexWidget(view->model()->index(current.row(), 0));
    if ((key->modifiers() & ~Qt::KeypadModifier) || editing) return QStackedWidget::eventFilter(watched, event);
    switch (key->key()) {
      case Qt::Key_Delete: emit deleteKeyPressed(); return true;
      case Qt::Key_Backspace: emit upKeyPressed(); return true;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        if (current.isValid()) emit rowDoubleClicked(current.row());
        return true;
      default: return QStackedWidget::eventFilter(watched, event);
    }
  }
  const bool ours = watched == m_details->viewport() || watched == m_icons->viewport();
  if (!ours) return QStackedWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      m_slowClick.stop();
      m_slowClickRow = -1;
      const bool focusing = std::exchange(m_focusingClick, false);
      const QModelIndex index = currentView()->indexAt(mouse->position().toPoint());
      if (!focusing && mouse->button() == Qt::LeftButton && mouse->modifiers() == Qt::NoModifier && index.isValid() &&
          selectedRows() == std::vector<int>{index.row()} && m_selection->currentIndex().row() == index.row())
        m_slowClickRow = index.row();
      break;
    }
    case QEvent::MouseButtonDblClick:
      m_slowClick.stop();
      m_slowClickRow = -1;
      break;
    case QEvent::MouseButtonRelease: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::RightButton) emit rightButtonReleased(mouse->globalPosition().toPoint());
      if (mouse->button() == Qt::LeftButton && m_slowClickRow >= 0) {
        const QModelIndex index = currentView()->indexAt(mouse->position().toPoint());
        // (A drag from the row has ended the gesture already: see dragStarted.)
        if (index.isValid() && index.row() == m_slowClickRow) m_slowClick.start(QApplication::doubleClickInterval());
        else m_slowClickRow = -1;
      }
      break;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      const QMimeData* mime = drag->mimeData();
      const bool fromOtherPane = mime->hasFormat(kPaneMime) && QString::fromUtf8(mime->data(kPaneMime)) != objectName();
      // Only text is taken (the other pane's rows carry their names as text); a drop without
      // text shows "none".
      if (mime->hasText() && (fromOtherPane || !mime->hasFormat(kPaneMime))) {
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
      } else {
        drag->setDropAction(Qt::IgnoreAction);
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const QMimeData* mime = drop->mimeData();
      const QString from = mime->hasFormat(kPaneMime) ? QString::fromUtf8(mime->data(kPaneMime)) : QString();
      if (from == objectName() || !mime->hasText()) {
        drop->ignore();
        return true;
      }
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      emit dropped(from, mime->hasText());
      return true;
    }
    default: break;
  }
  return QStackedWidget::eventFilter(watched, event);
}

} // namespace tidewick::browse
