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

TEST(FileListModel, SortsByTheTextShownWithOneStableOrder) {
  FileListModel model(nullptr);
  model.append(file("b", 20));
  model.append(file("A", 100));
  model.append(file("c", 3));
  model.append(file("a", 20));
  model.flush();
  QPersistentModelIndex kept = model.index(2, 0); // "c"

  model.sort(FileListModel::SizeColumn, Qt::DescendingOrder);
  EXPECT_EQ(column(model, 1), (QStringList{"3", "20", "20", "100"})) << "sizes compare as text";
  EXPECT_EQ(column(model, 0), (QStringList{"c", "b", "a", "A"})) << "ties keep their order";
  EXPECT_EQ(kept.row(), 0) << "selections follow their rows";

  model.sort(FileListModel::NameColumn, Qt::AscendingOrder);
  EXPECT_EQ(column(model, 0).mid(0, 2).join(QString()).toLower(), "aa") << "case does not decide";
  EXPECT_EQ(column(model, 0).last(), "c");
}

TEST(FileListModel, DatesShowWithoutMidnight) {
  const QDateTime midnight(QDate(2024, 3, 5), QTime(0, 0));
  const QDateTime afternoon(QDate(2024, 3, 5), QTime(15, 42));
  EXPECT_FALSE(FileListModel::DateText(midnight).contains(QStringLiteral("00:00")));
  EXPECT_GT(FileListModel::DateText(afternoon).size(), FileListModel::DateText(midnight).size());
  EXPECT_EQ(FileListModel::DateText(QDateTime()), "");
  FileListModel model(nullptr);
  model.append(FileRow{QStringLiteral("dir"), 0, false, afternoon, QLatin1Char('D'), 11});
  model.flush();
  EXPECT_EQ(model.text(0, FileListModel::SizeColumn), "") << "folders of the local pane show no size";
  EXPECT_EQ(model.text(0, FileListModel::KindColumn), "D");
  EXPECT_EQ(model.data(model.index(0, 0), FileListModel::IconIndexRole).toInt(), 11);
}

} // namespace
