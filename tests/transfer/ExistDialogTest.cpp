// The File Exists dialog on its own, the progress figures, and how listed dates meet local ones.
#include "support/TempHome.h"
#include "transfer/FileDates.h"
#include "transfer/ProgressPanels.h"
#include "transfer/frmExist.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using tidewick::ftp::DatePrecision;
using tidewick::transfer::compareListedDate;
using tidewick::transfer::frmExist;
using tidewick::transfer::ProgressPanels;

TEST(ExistDialog, CarriesItsCaptionsAndTooltips) {
  TempHome home;
  frmExist dialog;
  EXPECT_EQ(dialog.windowTitle(), "Tidewick - File Exists!");
  EXPECT_EQ(dialog.Label1->text(), "File Already Exists What Would You Like To Do?");
  EXPECT_EQ(dialog.lblSource->text(), "Source");
  EXPECT_EQ(dialog.lblDestination->text(), "Destination");
  const std::pair<QPushButton*, std::pair<const char*, const char*>> buttons[] = {
      {dialog.cmdOverwrite, {"&Overwrite", "Overwrite this file"}},
      {dialog.cmdResume, {"&Resume", "Resume transfer of this file"}},
      {dialog.cmdSkip, {"Skip", "Skip this file"}},
      {dialog.cmdCancel, {"&Cancel", "Cancel operation"}}};
  int lastTop = -1;
  for (const auto& [button, texts] : buttons) {
    EXPECT_EQ(button->text(), texts.first);
    EXPECT_EQ(button->toolTip(), texts.second);
    EXPECT_GT(button->y(), lastTop) << "a column, Overwrite at the top";
    lastTop = button->y();
  }
  EXPECT_EQ(dialog.chkAll->text(), "Apply To All");
  EXPECT_EQ(dialog.chkAll->toolTip(), "Apply to all selected files and folders");
  EXPECT_LT(dialog.lblSource->y(), dialog.lblDestination->y());
}

TEST(ExistDialog, ButtonsHideItKeepingTheBoxAndEscapeIsCancel) {
  TempHome home;
  home.setSetting(QStringLiteral("SAVE WINDOW POSITION"), QStringLiteral("1"));
  home.setSetting(QStringLiteral("EXIST TOP"), QStringLiteral("1500"));
  home.setSetting(QStringLiteral("EXIST LEFT"), QStringLiteral("3000"));
  frmExist dialog;
  EXPECT_EQ(dialog.pos(), QPoint(200, 100)) << "placed under EXIST";

  dialog.show();
  dialog.chkAll->setChecked(true);
  dialog.cmdResume->click();
  EXPECT_TRUE(dialog.isHidden());
  EXPECT_FALSE(dialog.unloaded());
  EXPECT_EQ(dialog.answer(), frmExist::Resume);
  EXPECT_TRUE(dialog.applyToAll());

  dialog.show();
  EXPECT_TRUE(dialog.chkAll->isChecked()) << "the box keeps its mark between showings";
  dialog.chkAll->setChecked(false);
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_EQ(dialog.answer(), frmExist::Cancel);
  EXPECT_FALSE(dialog.applyToAll());
  EXPECT_FALSE(dialog.unloaded());

  dialog.show();
  dialog.cmdSkip->click();
  EXPECT_EQ(dialog.answer(), frmExist::Skip);
  dialog.show();
  dialog.close();
  EXPECT_EQ(dialog.answer(), frmExist::Cancel);
  EXPECT_TRUE(dialog.unloaded());
}

TEST(ProgressFigures, PanelsShowBytesTotalPercentAndSpeed) {
  QProgressBar bar;
  QLabel bytes, total, speed;
  ProgressPanels panels(&bar, &bytes, &total, &speed);
  panels.beginFile(5LL * 1024 * 1024 * 1024);
  panels.update(3000000000LL, 4000000000LL, 55);
  EXPECT_EQ(bytes.text(), "3000000000");
  EXPECT_EQ(total.text(), "Total : 4000000000");
  EXPECT_EQ(bar.value(), 55);
  panels.reset();
  EXPECT_EQ(bar.value(), 0);
  EXPECT_TRUE(bytes.text().isEmpty() && total.text().isEmpty() && speed.text().isEmpty());

  EXPECT_EQ(ProgressPanels::speedText(2 * 1024 * 1024, 20 * 1024 * 1024), "2.0 MiB/s, 0:10 left");
  EXPECT_EQ(ProgressPanels::speedText(1024, 3 * 3600 * 1024 + 1024), "1.0 KiB/s, 3:00:01 left");
  EXPECT_EQ(ProgressPanels::speedText(0, 100), "0 bytes/s");
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
