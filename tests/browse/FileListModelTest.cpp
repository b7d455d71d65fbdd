// The pane's rows: batched arrival, texts as shown, and sorting by those texts.
#include "browse/FileListModel.h"

#include <QApplication>
#include <QPersistentModelIndex>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tidewick::browse;

namespace {

FileRow file(const char* name, qint64 size, QDateTime date = {}) {
  return FileRow{QString::fromUtf8(name), size, true, date, QLatin1Char('F'), 3};
}

QStringList column(const FileListModel& m, int c) {
  QStringList out;
  for (int r = 0; r < m.rowCount(); ++r) out << m.text(r, c);
  return out;
}

TEST(FileListModel, RowsArriveInOneBatchPerTurnOfTheEventLoop) {
  FileListModel model(nullptr);
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  for (int i = 0; i < 100000; ++i) model.append(file("f", i));
  EXPECT_EQ(model.rowCount(), 0) << "nothing reaches the views row by row";
  EXPECT_EQ(model.rowCountIncludingPending(), 100000);
  QApplication::processEvents();
  EXPECT_EQ(model.rowCount(), 100000);
  EXPECT_EQ(inserted.count(), 1);
  model.append(file("g", 1));
  model.flush();
  EXPECT_EQ(model.rowCount(), 100001);
  model.clear();
  QApplication::processEvents();
  EXPECT_EQ(model.rowCount(), 0);
}

// Sizes sort as numbers and dates as times (the biggest or newest at one end), names as text
// without regard to case; equal values keep their order; the list stays sorted for later listings.
TEST(FileListModel, SortsSizesByNumberDatesByTimeAndNamesAsText) {
  FileListModel model(nullptr);
  const QDateTime dec2026(QDate(2026, 12, 6), QTime(9, 0));
  const QDateTime dec2024(QDate(2024, 12, 25), QTime(9, 0));
  model.append(file("b", 20, dec2024));
  model.append(file("A", 100000, dec2026));
  model.append(file("c", 10, dec2024));
  model.append(file("a", 20, {}));
  model.append(FileRow{"dir", 0, false, dec2024, QLatin1Char('D'), 11});
  model.flush();
  QPersistentModelIndex kept = model.index(2, 0); // "c"

  model.sort(FileListModel::SizeColumn, Qt::DescendingOrder);
  EXPECT_EQ(column(model, 0), (QStringList{"A", "b", "a", "c", "dir"})) << "ties keep their order; no size is least";
  EXPECT_EQ(kept.row(), 3) << "selections follow their rows";
  model.sort(FileListModel::SizeColumn, Qt::AscendingOrder);
  EXPECT_EQ(column(model, 0), (QStringList{"dir", "c", "b", "a", "A"}));

  model.sort(FileListModel::DateColumn, Qt::DescendingOrder);
  EXPECT_EQ(column(model, 0), (QStringList{"A", "dir", "c", "b", "a"})) << "6 Dec 2026 is newer than 25 Dec 2024";

  model.sort(FileListModel::NameColumn, Qt::AscendingOrder);
  EXPECT_EQ(column(model, 0).mid(0, 2).join(QString()).toLower(), "aa") << "case does not decide";
  EXPECT_EQ(column(model, 0).last(), "dir");

  model.clear();
  model.append(file("z", 1));
  model.append(file("y", 2));
  model.finishListing();
  EXPECT_EQ(column(model, 0), (QStringList{"y", "z"})) << "the next listing comes sorted";
  EXPECT_EQ(model.sortColumn(), FileListModel::NameColumn);
}

TEST(FileListModel, DatesShowWithoutMidnight) {
  const QDateTime midnight(QDate(2024, 3, 5), QTime(0, 0));
  const QDateTime afternoon(QDate(2024, 3, 5), QTime(15, 42));
  EXPECT_FALSE(FileListModel::DateText(midnight).contains("00:00"));
  EXPECT_GT(FileListModel::DateText(afternoon).size(), FileListModel::DateText(midnight).size());
  EXPECT_EQ(FileListModel::DateText(QDateTime()), "");
  FileListModel model(nullptr);
  model.append(FileRow{"dir", 0, false, afternoon, QLatin1Char('D'), 11});
  model.flush();
  EXPECT_EQ(model.text(0, FileListModel::KindColumn), "D");
  EXPECT_EQ(model.data(model.index(0, 0), FileListModel::IconIndexRole).toInt(), 11);
}

} // namespace
