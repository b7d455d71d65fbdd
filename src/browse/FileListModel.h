#pragma once
// The rows of a file pane: name, size, date and the hidden kind letter, plus the icon index the
// rest of the pane reads to tell files (1-9), links and unreadable entries (10) and folders (11)
// apart. Built for folders of 100,000 entries: rows arrive in batches and texts are made only when
// shown. Sorting follows the rule of every list with sizes and dates (ui/SortOrder.h); once the
// user has sorted, each listing that follows is sorted the same way.

#include <QAbstractTableModel>
#include <QDateTime>
#include <QIcon>
#include <QString>

#include <functional>
#include <vector>

namespace tidewick::browse {

struct FileRow {
  QString name;
  qint64 size = 0;
  bool sizeShown = true; // local folders show no size
  QDateTime date;        // invalid: shown empty
  QChar kind;            // 'F' file, 'D' folder, 'E' link
  short icon = 0;
};

class FileListModel : public QAbstractTableModel {
  Q_OBJECT

public:
  enum Column { NameColumn = 0, SizeColumn = 1, DateColumn = 2, KindColumn = 3, ColumnCount = 4 };
  static constexpr int IconIndexRole = Qt::UserRole + 1;

  using IconProvider = std::function<QIcon(int iconIndex)>;
  explicit FileListModel(IconProvider icons, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

  // Rows are appended to a batch that reaches the views on the next turn of the event loop (or
  // at flush()), so a long listing neither stalls the window nor rebuilds the list per row.
  void append(FileRow row);
  void flush();
  void clear();

  const FileRow& row(int index) const { return m_rows[static_cast<size_t>(index)]; }
  int rowCountIncludingPending() const { return static_cast<int>(m_rows.size() + m_pending.size()); }

  // The text a column shows for a row.
  QString text(int row, int column) const;

  // Sorts by `column` (names as text without regard to case, sizes as numbers, dates as times);
  // equal values keep their order. From then on the list stays sorted so.
  void sort(int column, Qt::SortOrder order) override;
  // The end of a listing: every row reaches the views, in the sorted order when there is one.
  void finishListing();
  // The sorted column, or -1 while rows keep the order they arrived in.
  int sortColumn() const { return m_sortColumn; }
  Qt::SortOrder sortOrder() const { return m_sortOrder; }

  // The date text: the user's short date, with the time unless it is midnight.
  static QString DateText(const QDateTime& date);

  void setIcons(IconProvider icons) { m_icons = std::move(icons); }

  // Renaming in place: an edited name goes to this handler on the next turn of the event loop
  // (it may list the folder again, which must not happen inside the view's commit). The row keeps
  // its old name until the pane is listed again.
  using RenameHandler = std::function<void(int row, const QString& newName)>;
  void setRenameHandler(RenameHandler handler) { m_renameHandler = std::move(handler); }
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

private:
  std::vector<FileRow> m_rows;
  std::vector<FileRow> m_pending;
  mutable std::vector<QString> m_dateTexts; // filled when first shown or sorted
  bool m_flushQueued = false;
  int m_sortColumn = -1;
  Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
  IconProvider m_icons;
  RenameHandler m_renameHandler;
};

} // namespace tidewick::browse
