#include "queue/QueueModel.h"

#include "ui/SortOrder.h"

#include <QFont>

#include <algorithm>
#include <limits>
#include <optional>

namespace tidewick::queue {

using transfer::QueueRow;

namespace {

// Above this many separate stretches of removed rows the views are rebuilt once instead of being
// told of each stretch, which would cost them a pass over the list every time.
constexpr size_t kMostRemovalsOneByOne = 16;

// The size a row's "Size (Bytes)" text gives, from its leading digits; none without any (such a row
// sorts before every size).
std::optional<qint64> sizeValue(const QString& text) {
  const QString trimmed = text.trimmed();
  qint64 value = 0;
  qsizetype digits = 0;
  for (; digits < trimmed.size() && trimmed[digits].isDigit(); ++digits) {
    const int d = trimmed[digits].digitValue();
    if (value > (std::numeric_limits<qint64>::max() - d) / 10) return std::numeric_limits<qint64>::max();
    value = value * 10 + d;
  }
  if (digits == 0) return std::nullopt;
  return value;
}

} // namespace

QueueModel::QueueModel(QObject* parent) : QAbstractTableModel(parent) {}

int QueueModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int QueueModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : QueueRow::ColumnCount; }

QString QueueModel::shownText(int position, int column) const {
  const QueueRow& r = row(position);
  if (column == PasswordColumn && !r.password.isEmpty()) return QString::fromLatin1(MaskedPassword);
  return r.column(column);
}

QVariant QueueModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  switch (role) {
    case Qt::DisplayRole: return shownText(index.row(), index.column());
    case Qt::ToolTipRole:
      return index.column() == PasswordColumn ? QVariant() : QVariant(row(index.row()).column(index.column()));
    case Qt::TextAlignmentRole:
      if (index.column() == SizeColumn) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    case Qt::FontRole:
      if (m_runningId != 0 && id(index.row()) == m_runningId) {
        QFont bold;
        bold.setBold(true);
        return bold;
      }
      return {};
  }
  return {};
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return transfer::QueueColumnCaption(section);
}

int QueueModel::positionOf(quint64 id) const {
  const auto it = std::find(m_ids.begin(), m_ids.end(), id);
  return it == m_ids.end() ? -1 : static_cast<int>(it - m_ids.begin());
}

void QueueModel::append(std::vector<QueueRow> rows) {
  if (rows.empty()) return;
  const int first = rowCount();
  beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
  m_rows.reserve(m_rows.size() + rows.size());
  for (QueueRow& r : rows) {
    m_rows.push_back(std::move(r));
    m_ids.push_back(m_nextId++);
  }
  endInsertRows();
  if (isSorted()) sort(m_sortColumn, m_sortOrder);
}

void QueueModel::clear() {
  beginResetModel();
  m_rows.clear();
  m_ids.clear();
  endResetModel();
}

void QueueModel::remove(std::vector<int> positions) {
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  positions.erase(
      std::remove_if(positions.begin(), positions.end(), [this](int p) { return p < 0 || p >= rowCount(); }),
      positions.end());
  if (positions.empty()) return;

  // Stretches of neighbouring rows, last first, so earlier positions stay valid.
  std::vector<std::pair<int, int>> stretches;
  for (int p : positions) {
    if (!stretches.empty() && stretches.back().second == p - 1) stretches.back().second = p;
    else stretches.push_back({p, p});
  }
  if (stretches.size() <= kMostRemovalsOneByOne) {
    for (auto it = stretches.rbegin(); it != stretches.rend(); ++it) {
      beginRemoveRows({}, it->first, it->second);
      m_rows.erase(m_rows.begin() + it->first, m_rows.begin() + it->second + 1);
      m_ids.erase(m_ids.begin() + it->first, m_ids.begin() + it->second + 1);
      endRemoveRows();
    }
    return;
  }
  beginResetModel();
  std::vector<QueueRow> rows;
  std::vector<quint64> ids;
  rows.reserve(m_rows.size() - positions.size());
  ids.reserve(rows.capacity());
  size_t next = 0;
  for (size_t i = 0; i < m_rows.size(); ++i) {
    if (next < positions.size() && static_cast<size_t>(positions[next]) == i) {
      ++next;
      continue;
    }
    rows.push_back(std::move(m_rows[i]));
    ids.push_back(m_ids[i]);
  }
  m_rows.swap(rows);
  m_ids.swap(ids);
  endResetModel();
}

void QueueModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= QueueRow::ColumnCount) return;
  m_sortColumn = column;
  m_sortOrder = order;
  if (m_rows.size() < 2) return;
  std::vector<ui::SortKey> keys;
  keys.reserve(m_rows.size());
  for (int i = 0; i < rowCount(); ++i) {
    if (column == SizeColumn) keys.push_back(ui::SortKey::number(sizeValue(m_rows[static_cast<size_t>(i)].size)));
    else keys.push_back(ui::SortKey::text(shownText(i, column)));
  }
  reorder(ui::sortedRows(keys, order));
}

void QueueModel::reorder(const std::vector<int>& order) {
  Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  std::vector<QueueRow> rows;
  std::vector<quint64> ids;
  rows.reserve(m_rows.size());
  ids.reserve(m_rows.size());
  std::vector<int> newPosition(m_rows.size());
  for (size_t i = 0; i < order.size(); ++i) {
    const auto from = static_cast<size_t>(order[i]);
    newPosition[from] = static_cast<int>(i);
    rows.push_back(std::move(m_rows[from]));
    ids.push_back(m_ids[from]);
  }
  m_rows.swap(rows);
  m_ids.swap(ids);
  QModelIndexList after;
  after.reserve(before.size());
  for (const QModelIndex& index : before)
    after.append(this->index(newPosition[static_cast<size_t>(index.row())], index.column()));
  changePersistentIndexList(before, after);
  Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void QueueModel::setRunningRow(quint64 id) {
  if (id == m_runningId) return;
  const int old = m_runningId ? positionOf(m_runningId) : -1;
  m_runningId = id;
  const int now = id ? positionOf(id) : -1;
  for (int p : {old, now})
    if (p >= 0) Q_EMIT dataChanged(index(p, 0), index(p, QueueRow::ColumnCount - 1), {Qt::FontRole});
}

} // namespace tidewick::queue
