#include "browse/FileListModel.h"

#include "ui/SortOrder.h"

#include <QLocale>
#include <QMimeData>
#include <QTimer>

#include <algorithm>

namespace tidewick::browse {

FileListModel::FileListModel(IconProvider icons, QObject* parent)
    : QAbstractTableModel(parent), m_icons(std::move(icons)) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QString FileListModel::DateText(const QDateTime& date) {
  if (!date.isValid()) return {};
  const QLocale locale = QLocale::system();
  if (date.time() == QTime(0, 0)) return locale.toString(date.date(), QLocale::ShortFormat);
  return locale.toString(date, QLocale::ShortFormat);
}

QString FileListModel::text(int rowIndex, int column) const {
  const FileRow& r = row(rowIndex);
  switch (column) {
    case NameColumn: return r.name;
    case SizeColumn: return r.sizeShown ? QString::number(r.size) : QString();
    case DateColumn: {
      QString& cached = m_dateTexts[static_cast<size_t>(rowIndex)];
      if (cached.isNull()) {
        cached = DateText(r.date);
        if (cached.isNull()) cached = QLatin1String("");
      }
      return cached;
    }
    case KindColumn: return QString(r.kind);
  }
  return {};
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      if (role == Qt::ToolTipRole && index.column() != NameColumn) return {};
      return text(index.row(), index.column());
    case Qt::EditRole: return index.column() == NameColumn ? QVariant(row(index.row()).name) : QVariant();
    case Qt::DecorationRole:
      if (index.column() == NameColumn && m_icons) return m_icons(row(index.row()).icon);
      return {};
    case Qt::TextAlignmentRole:
      if (index.column() == SizeColumn) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    case IconIndexRole: return row(index.row()).icon;
  }
  return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case NameColumn: return QStringLiteral("Name");
    case SizeColumn: return QStringLiteral("Size");
    case DateColumn: return QStringLiteral("Date");
  }
  return QString();
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled;
  if (index.column() == NameColumn && m_renameHandler) f |= Qt::ItemIsEditable;
  return f;
}

QStringList FileListModel::mimeTypes() const { return {QStringLiteral("text/plain")}; }

QMimeData* FileListModel::mimeData(const QModelIndexList& indexes) const {
  // Drags between the panes carry the selected names as text; the receiving pane only takes the
  // drop as a request and reads the selection itself.
  QStringList names;
  for (const QModelIndex& index : indexes)
    if (index.column() == NameColumn) names << row(index.row()).name;
  auto* mime = new QMimeData;
  mime->setText(names.join(QLatin1Char('\n')));
  mime->setData(QStringLiteral("application/x-tidewick-pane"), objectName().toUtf8());
  return mime;
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || index.column() != NameColumn || !m_renameHandler || index.row() >= rowCount())
    return false;
  const QString newName = value.toString();
  const int row = index.row();
  QTimer::singleShot(0, this, [this, row, newName] {
    if (row < rowCount()) m_renameHandler(row, newName);
  });
  return false;
}

void FileListModel::append(FileRow row) {
  m_pending.push_back(std::move(row));
  if (!m_flushQueued) {
    m_flushQueued = true;
    QTimer::singleShot(0, this, [this] { flush(); });
  }
}

void FileListModel::flush() {
  m_flushQueued = false;
  if (m_pending.empty()) return;
  const int first = static_cast<int>(m_rows.size());
  const int last = first + static_cast<int>(m_pending.size()) - 1;
  beginInsertRows({}, first, last);
  if (m_rows.empty()) {
    m_rows.swap(m_pending);
  } else {
    m_rows.insert(m_rows.end(), std::make_move_iterator(m_pending.begin()), std::make_move_iterator(m_pending.end()));
  }
  m_pending.clear();
  m_dateTexts.resize(m_rows.size());
  endInsertRows();
}

void FileListModel::clear() {
  beginResetModel();
  m_rows.clear();
  m_pending.clear();
  m_dateTexts.clear();
  endResetModel();
}

void FileListModel::finishListing() {
  flush();
  if (m_sortColumn >= 0) sort(m_sortColumn, m_sortOrder);
}

void FileListModel::sort(int column, Qt::SortOrder order) {
  flush();
  if (column < 0 || column >= ColumnCount) return;
  m_sortColumn = column;
  m_sortOrder = order;
  if (m_rows.size() < 2) return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();

  std::vector<ui::SortKey> keys;
  keys.reserve(m_rows.size());
  for (size_t i = 0; i < m_rows.size(); ++i) {
    const FileRow& r = m_rows[i];
    switch (column) {
      case SizeColumn: keys.push_back(ui::SortKey::number(r.sizeShown ? std::optional(r.size) : std::nullopt)); break;
      case DateColumn: keys.push_back(ui::SortKey::time(r.date)); break;
      default: keys.push_back(ui::SortKey::text(text(static_cast<int>(i), column))); break;
    }
  }
  const std::vector<int> order_ = ui::sortedRows(keys, order);

  std::vector<FileRow> rows;
  std::vector<QString> dates;
  rows.reserve(m_rows.size());
  dates.reserve(m_rows.size());
  std::vector<int> newPosition(m_rows.size());
  for (size_t i = 0; i < order_.size(); ++i) {
    const auto from = static_cast<size_t>(order_[i]);
    newPosition[from] = static_cast<int>(i);
    rows.push_back(std::move(m_rows[from]));
    dates.push_back(std::move(m_dateTexts[from]));
  }
  m_rows.swap(rows);
  m_dateTexts.swap(dates);

  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& index : before)
    after.append(this->index(newPosition[static_cast<size_t>(index.row())], index.column()));
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace tidewick::browse
