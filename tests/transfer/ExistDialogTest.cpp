// The File Exists dialog on its own (showing it in a run is TransferRunTest's), the progress
// figures, and how listed dates meet local ones.
#include "support/TempHome.h"
#include "transfer/FileDates.h"
#include "transfer/ProgressPanels.h"
#include "transfer/frmExist.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using tidewick::ftp::DatePrecision;
using tidewick::transfer::compareListedDate;
using tidewick::transfer::frmExist;
using tidewick::transfer::ProgressPanels;

TEST(ExistDialog, ComesUpWhereItWasAndEscapeIsCancel) {
  TempHome home;
  home.setSetting("SAVE WINDOW POSITION", "1");
  home.setSetting("EXIST TOP", "1500");
  home.setSetting("EXIST LEFT", "3000");
  frmExist dialog;
  EXPECT_EQ(dialog.pos(), QPoint(200, 100)) << "placed under EXIST, in twips";
  dialog.show();
  dialog.chkAll->setChecked(true);
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_TRUE(dialog.isHidden());
  EXPECT_FALSE(dialog.unloaded()) << "hidden like by a button, not unloaded like by the close box";
  EXPECT_EQ(dialog.answer(), frmExist::Cancel);
  EXPECT_TRUE(dialog.applyToAll());
}

TEST(ProgressFigures, SizesBeyond32BitsShowWholeAndTheTimeLeftOnlyWhenItCanBeTold) {
  QProgressBar bar;
  QLabel bytes, total, speed;
  ProgressPanels panels(&bar, &bytes, &total, &speed);
  panels.update(3000000000LL, 4000000000LL, 55);
  EXPECT_EQ(bytes.text(), "3000000000");
  EXPECT_EQ(total.text(), "Total : 4000000000");
  EXPECT_EQ(bar.value(), 55);
  EXPECT_EQ(ProgressPanels::speedText(1024, ProgressPanels::secondsLeft(1024, 0, 3 * 3600 * 1024 + 1024, 0)),
            "1.0 KiB/s, 3:00:01 left");
  panels.reset();
  EXPECT_TRUE(bytes.text().isEmpty() && total.text().isEmpty() && bar.value() == 0);

  // The time left is said only when it can be told; a file still moving never reads "0:00 left".
  using P = ProgressPanels;
  EXPECT_EQ(P::secondsLeft(100, 0, 1000, 0), 10);
  EXPECT_EQ(P::secondsLeft(100, 999, 1000, 99), 1) << "the last byte still takes a second, rounded up";
  EXPECT_EQ(P::secondsLeft(0, 100, 1000, 10), -1) << "no speed yet (a stall, or the first figures)";
  EXPECT_EQ(P::secondsLeft(-5, 100, 1000, 10), -1);
  EXPECT_EQ(P::secondsLeft(100, 1000, 1000, 100), -1) << "done: nothing left to tell";
  EXPECT_EQ(P::secondsLeft(100, 500, -1, 0), -1) << "neither a size nor a percentage";
  EXPECT_EQ(P::secondsLeft(100, 500, -1, 50), 5);
  // A listed size the file has outgrown (a link's own size, a queue row without one, a file that
  // grew since it was listed) gives way to the engine's percentage, or to nothing.
  EXPECT_EQ(P::secondsLeft(1000, 6000000000LL, 20, 60), 4000000);
  EXPECT_EQ(P::secondsLeft(1000, 5000, 0, 0), -1);
  EXPECT_EQ(P::secondsLeft(1000, 5000, 5000, 100), -1);
  EXPECT_EQ(P::secondsLeft(1e-9, 0, 1LL << 50, 0), -1) << "beyond any sensible time";
  EXPECT_EQ(P::speedText(2048, -1), "2.0 KiB/s");
  EXPECT_EQ(P::speedText(2048, 0), "2.0 KiB/s");

  // Through the panels: a download announced with its link's 20 bytes, half done.
  panels.beginFile(20);
  panels.update(0, 0, 0);
  QTest::qWait(600);
  panels.update(100000, 100000, 50);
  EXPECT_TRUE(speed.text().endsWith(" left")) << speed.text().toStdString();
  EXPECT_FALSE(speed.text().contains("0:00 left")) << speed.text().toStdString();
}

TEST(ListedDates, CompareAtThePrecisionBothSidesHave) {
  const QDateTime utc(QDate(2024, 3, 1), QTime(12, 30, 15), Qt::UTC);
  const QDateTime sameInstantLocal = utc.toLocalTime();
  EXPECT_EQ(compareListedDate(utc, DatePrecision::Second, sameInstantLocal), 0);
  EXPECT_EQ(compareListedDate(utc, DatePrecision::Second, utc.addMSecs(999)), 0) << "local milliseconds do not count";
  EXPECT_EQ(compareListedDate(utc, DatePrecision::Second, utc.addSecs(1)), -1);
  EXPECT_EQ(compareListedDate(utc.addSecs(1), DatePrecision::Second, utc), 1);

  const QDateTime listedMinute(QDate(2024, 3, 1), QTime(12, 30), Qt::UTC);
  EXPECT_EQ(compareListedDate(listedMinute, DatePrecision::Minute, utc.addSecs(44)), 0);
  EXPECT_EQ(compareListedDate(listedMinute, DatePrecision::Minute, utc.addSecs(45)), -1);
  EXPECT_EQ(compareListedDate(QDateTime(QDate(2024, 3, 1), QTime(0, 0), Qt::UTC), DatePrecision::Day, utc), 0);
  EXPECT_EQ(compareListedDate(QDateTime(QDate(2024, 2, 29), QTime(0, 0), Qt::UTC), DatePrecision::Day, utc), -1);
  EXPECT_EQ(compareListedDate(QDateTime(), DatePrecision::Unknown, utc), std::nullopt);
}

} // namespace
