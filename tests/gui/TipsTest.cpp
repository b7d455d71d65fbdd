// The tip of the day: the draw, the start-up timer and its guards, the dialog's load cases, the
// choice file, and the splash screen's part in it.
#include "RecordingMain.h"

#include "settings/IniFile.h"
#include "tips/FrmTips.h"
#include "tips/TipMod.h"
#include "tips/frmSplash.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using tidewick::app::gStartupFlag;
namespace tips = tidewick::tips;

namespace {

TEST(TipDraw, ScaledByFourteenAndRoundedHalfToEven) {
  using Case = std::pair<double, int>;
  for (const auto& [r, index] :
       {Case{0.0, 0}, Case{0.5 / 14, 0}, Case{0.51 / 14, 1}, Case{1.5 / 14, 2}, Case{2.5 / 14, 2}, Case{7.0 / 14, 7},
        Case{12.5 / 14, 12}, Case{13.49 / 14, 13}, Case{13.5 / 14, 14}, Case{0.999999, 14}})
    EXPECT_EQ(tips::TipIndexForDraw(r), index) << "r = " << r;

  EXPECT_EQ(tips::TipTable().size(), 15) << "every index the draw gives has its tip";
  for (int i = 0; i < 50; ++i) {
    const double r = tips::DrawFromTimeOfDay();
    EXPECT_GE(r, 0.0);
    EXPECT_LT(r, 1.0);
  }
}

// A shown main window whose start-up timer runs only for the tests of its tick.
struct TipsMain : QuietMain {
  void start(bool timer = false) {
    window->Load();
    window->show();
    if (!timer) window->TipsTimer->stop();
  }
  QString tipsFile() const { return home.home() + "Ini/Settings.ini"; }
  void setReport(const char* value) const {
    home.writeFile("home/Ini/Settings.ini", QByteArray("[TipSettings]\nReport=") + value + "\n");
  }
  std::optional<QString> report() const {
    return tidewick::settings::ini::Document::load(tipsFile()).value("TipSettings", "Report");
  }
  int tipsShown() const {
    return std::ranges::count_if(
        prompts.asked, [](const auto& a) { return a.kind == ScriptedPrompts::Kind::Modal && a.text == "FrmTips"; });
  }
  // Lets the start-up timer tick now rather than in two seconds.
  void tick() {
    if (!window->TipsTimer->isActive()) return;
    window->TipsTimer->start(1);
    QTRY_VERIFY(!window->TipsTimer->isActive());
  }
};

TEST(TipsAtStartup, TheTimerShowsATipOnlyWithTheFileOnAndTheWindowOnScreen) {
  // The tips file's choice (none: no file), and whether the window is minimized at the tick.
  using Case = std::tuple<const char*, const char*, bool, bool>;
  for (const auto& [name, report, minimized, tip] :
       {Case{"no tips file", nullptr, false, false}, Case{"tips on", "1", false, true},
        Case{"empty choice", "", false, true}, Case{"tips off", "0", false, false},
        Case{"minimized", "1", true, false}}) {
    TipsMain m;
    if (report) m.setReport(report);
    m.start(true);
    if (minimized) m.window->showMinimized();
    m.tick();
    EXPECT_EQ(m.tipsShown(), tip ? 1 : 0) << name;
    if (minimized) {
      // The tick is spent: no tip follows when the window comes back.
      m.window->showNormal();
      QTest::qWait(20);
      EXPECT_EQ(m.tipsShown(), 0) << name;
    }
  }
}

TEST(TipsDialog, ClosingWritesTheBoxToTheTipsFileWhereItsFolderIs) {
  TipsMain m;
  m.start();
  ASSERT_FALSE(QFile::exists(m.tipsFile()));
  // Without a tips file the menu still shows a tip, and closing it creates the file.
  m.prompts.modalAnswers.push_back([](QDialog* dialog) {
    auto* tips = static_cast<tips::FrmTips*>(dialog);
    EXPECT_TRUE(tips::TipTable().contains(tips->lblTip->text()));
    EXPECT_TRUE(tips->TipChk->isChecked());
    tips->NextTip->click();
    EXPECT_TRUE(tips::TipTable().contains(tips->lblTip->text()));
    tips->CloseCmd->click();
    return dialog->result();
  });
  m.window->menuEntry("mnuHelpTipOfTheDay")->trigger();
  EXPECT_EQ(m.tipsShown(), 1);
  EXPECT_EQ(m.report(), "1");

  // Unchecking writes "0", and the next start shows no tip.
  m.prompts.modalAnswers.push_back([](QDialog* dialog) {
    static_cast<tips::FrmTips*>(dialog)->TipChk->setChecked(false);
    dialog->reject(); // the window's close box
    return dialog->result();
  });
  m.window->menuEntry("mnuHelpTipOfTheDay")->trigger();
  EXPECT_EQ(m.report(), "0");
  EXPECT_TRUE(m.home.setting("TIPS WIDTH"));

  // No Ini folder: the choice is lost, and nothing is created.
  ASSERT_TRUE(QDir(m.home.home() + "Ini").removeRecursively());
  m.window->ShowTipOfTheDay();
  EXPECT_FALSE(QDir(m.home.home() + "Ini").exists());
}

// The splash ends the start-up before it shows; at its end it asks for a tip, which shows only with
// tips on and no other copy running. Tips turned off still show, unchecked, when asked for during the
// start-up, and not at all after it.
TEST(TipsDialog, TheSplashScreenEndsTheStartupAndMayBeFollowedByATip) {
  for (const auto& [report, otherCopy, tip] : {std::tuple{"1", false, 1}, {"1", true, 0}, {"0", false, 0}}) {
    SCOPED_TRACE(std::string("tips ") + report + (otherCopy ? ", other copy" : ""));
    TipsMain m;
    m.setReport(report);
    m.start();
    m.window->setOtherInstanceRunning(otherCopy);
    const bool off = report[0] == '0';
    if (off) {
      ASSERT_TRUE(gStartupFlag);
      m.prompts.modalAnswers.push_back([](QDialog* dialog) {
        EXPECT_FALSE(static_cast<tips::FrmTips*>(dialog)->TipChk->isChecked());
        return int(QDialog::Accepted);
      });
      m.window->ShowTipOfTheDay();
      EXPECT_EQ(m.tipsShown(), 1);
      EXPECT_EQ(m.report(), "0");
    }
    bool flagWhileShown = true, splashOpenAtTip = false;
    m.prompts.modalAnswers.push_back([&](QDialog* dialog) {
      flagWhileShown = gStartupFlag;
      static_cast<tips::frmSplash*>(dialog)->tmrSplash->start(1);
      QSignalSpy closed(dialog, &QDialog::finished);
      EXPECT_TRUE(closed.wait(2000)) << "the splash closes itself";
      return dialog->result();
    });
    m.prompts.modalAnswers.push_back([&](QDialog* dialog) {
      splashOpenAtTip = m.window->findChild<tips::frmSplash*>() != nullptr;
      return dialog->result();
    });
    m.window->ShowSplashScreen();
    EXPECT_FALSE(flagWhileShown);
    EXPECT_EQ(m.tipsShown(), tip + off);
    EXPECT_EQ(splashOpenAtTip, tip == 1) << "the tip comes before the splash closes";
    EXPECT_TRUE(m.home.setting("SPLASH TOP"));
    if (off) {
      m.window->ShowTipOfTheDay();
      EXPECT_EQ(m.tipsShown(), 1);
    }
  }
}

} // namespace
