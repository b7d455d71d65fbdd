#pragma once
// The rows of the transfer queue as the queue window's list shows them: one QueueRow per queued
// transfer, in display order, every column as text. The queue lives here and nowhere else.
//
// Built for the largest queue a file holds (32,767 rows): rows come and go in batches, one change
// for the views per batch, and sorting works out each row's key once. Once a header has been
// clicked the list stays sorted by that column, rows added later included; the order shown is the
// order a run and a save follow.
//
// The password column shows "********" for a password that is set; the row keeps the real one for
// the run and for saving.

#include "transfer/QueueFile.h"

#include <QAbstractTableModel>

#include <vector>

namespace tidewick::queue {

class QueueModel : public QAbstractTableModel {
  Q_OBJECT

public:
  enum Column { NameColumn = 0, SizeColumn = 4, PasswordColumn = 9 };
  static constexpr const char* MaskedPassword = "********";

  explicit QueueModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  const transfer::QueueRow& row(int position) const { return m_rows[static_cast<size_t>(position)]; }
  const std::vector<transfer::QueueRow>& rows() const { return m_rows; }
  // A row keeps its id while it stays in the queue, wherever sorting moves it.
  quint64 id(int position) const { return m_ids[static_cast<size_t>(position)]; }
  // The row's position now; -1 when it is gone.
  int positionOf(quint64 id) const;

  // Adds rows after the last one (at their sorted places once sorting is on).
  void append(std::vector<transfer::QueueRow> rows);
  void clear();
  // Removes the rows at these positions (any order, duplicates allowed).
  void remove(std::vector<int> positions);

  // Sorts by a column: the size column by number, every other column by the text it shows
  // without regard to case; equal rows keep their order. Sorting stays on for later additions.
  void sort(int column, Qt::SortOrder order) override;
  bool isSorted() const { return m_sortColumn >= 0; }
  int sortColumn() const { return m_sortColumn; }
  Qt::SortOrder sortOrder() const { return m_sortOrder; }

  // The row being transferred is shown in bold; 0 for none.
  void setRunningRow(quint64 id);
  quint64 runningRow() const { return m_runningId; }

  // The text a column shows for a row (the password masked).
  QString shownText(int position, int column) const;

private:
  void reorder(const std::vector<int>& order);

  std::vector<transfer::QueueRow> m_rows;
  std::vector<quint64> m_ids;
  quint64 m_nextId = 1;
  quint64 m_runningId = 0;
  int m_sortColumn = -1;
  Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

} // namespace tidewick::queue
