#pragma once
// How rows sort when the user clicks a column heading, in every list that shows sizes and dates
// (the file panes, the transfer queue): names and other texts without regard to case, sizes as
// numbers and dates as points in time, so the biggest or newest item is found at one end. Rows
// whose values are equal keep the order they had.

#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace tidewick::ui {

// One row's value in the column being sorted. All keys of one sort are made the same way.
class SortKey {
public:
  static SortKey text(const QString& text);
  // A row without a size (a local folder) comes before every size.
  static SortKey number(std::optional<qint64> number);
  // A row without a date comes before every date.
  static SortKey time(const QDateTime& time);

  // Negative, zero or positive as this key comes before, with or after `other`.
  int compare(const SortKey& other) const;

private:
  bool m_present = false;
  qint64 m_number = 0; // sizes; times as milliseconds since the epoch
  QString m_text;      // case-folded
};

// The row indexes 0 .. keys.size()-1 in sorted order; equal keys keep their order either way.
std::vector<int> sortedRows(const std::vector<SortKey>& keys, Qt::SortOrder order);

} // namespace tidewick::ui
