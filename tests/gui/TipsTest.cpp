// The tip of the day: the draw, the start-up timer and its guards, the dialog's load cases, the
// choice file, and the splash screen's part in it.
#include "app/frmMain.h"
#include "settings/IniFile.h"
#include "support/ScriptedPrompts.h"
#include "support/TempHome.h"
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

#include <memory>

using tidewick::app::frmMain;
using tidewick::app::gStartupFlag;
namespace tips = tidewick::tips;

namespace {

TEST(TipDraw, ScaledByFourteenAndRoundedHalfToEven) {
  struct Case {
    double r;
    int index;
  };
  for (const Case& c :
       {Case{0.0, 0}, Case{0.5 / 14, 0}, Case{0.51 / 14, 1}, Case{1.5 / 14, 2}, Case{2.5 / 14, 2}, Case{7.0 / 14, 7},
        Case{12.5 / 14, 12}, Case{13.49 / 14, 13}, Case{13.5 / 14, 14}, Case{0.999999, 14}})
    EXPECT_EQ(tips::TipIndexForDraw(c.r), c.index) << "r = " << c.r;

  EXPECT_EQ(tips::TipTable().size(), 15) << "every index the draw gives has its tip";
  for (int i = 0; i < 50; ++i) {
    const double r = tips::DrawFromTimeOfDay();
    EXPECT_GE(r, 0.0);
    EXPECT_LT(r, 1.0);
  }
}

// A shown main window on a temporary home, without the connection dialog of the start.
struct TipsMain {
  TempHome home;
  ScriptedPrompts prompts;
  std::unique_ptr<frmMain> window;

  TipsMain() {
    home.setSetting(QStringLiteral("SHOW CONNECTION ON STARTUP"), QStringLiteral("0"));
    window = std::make_unique<frmMain>(prompts, QStringList{QStringLiteral("tidewick")});
    window->setEndProgram([] {});
  }
  // The start-up timer keeps running only for the tests of its tick.
  void start(bool timer = false) {
    window->Load();
    window->show();
    if (!timer) window->TipsTimer->stop();
  }
  QString tipsFile() const { return home.home() + QStringLiteral("Ini/Settings.ini"); }
  void setReport(const char* value) const {
    home.writeFile(QStringLiteral("home/Ini/Settings.ini"), QByteArray("[TipSettings]\nReport=") + value + "\n");
  }
  std::optional<QString> report() const {
    return tidewick::settings::ini::Document::load(tipsFile())
        .value(QStringLiteral("TipSettings"), QStringLiteral("Report"));
  }
  int tipsShown() const {
    int n = 0;
    for (const auto& a : prompts.asked) n += a.kind == ScriptedPrompts::Kind::Modal && a.text == "FrmTips";
    return n;
  }
  // Lets the start-up timer tick now rather than in two seconds.
  void tick() {
    if (!window->TipsTimer->isActive()) return;
    window->TipsTimer->start(1);
    QTRY_VERIFY(!window->TipsTimer->isActive());
  }
};

TEST(TipsAtStartup, TheTimerShowsATipOnlyWithTheFileOnAndTheWindowOnScreen) {
  struct Case {
    const char* name;
    const char* report; // nullptr: no tips file
    bool minimized;
    bool tip;
  };
  for (const Case& c : {Case{"no tips file", nullptr, false, false}, Case{"tips on", "1", false, true},
                        Case{"empty choice", "", false, true}, Case{"tips off", "0", false, false},
                        Case{"minimized", "1", true, false}}) {
    TipsMain m;
    if (c.report) m.setReport(c.report);
    m.start(true);
    if (c.minimized) m.window->showMinimized();
    m.tick();
    EXPECT_EQ(m.tipsShown(), c.tip ? 1 : 0) << c.name;
    if (c.minimized) {
      // The tick is spent: no tip follows when the window comes back.
      m.window->showNormal();
      QTest::qWait(20);
      EXPECT_EQ(m.tipsShown(), 0) << c.name;
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
  m.window->menuEntry(QStringLiteral("mnuHelpTipOfTheDay"))->trigger();
  EXPECT_EQ(m.tipsShown(), 1);
  EXPECT_EQ(m.report(), "1");

  // Unchecking writes "0", and the next start shows no tip.
  m.prompts.modalAnswers.push_back([](QDialog* dialog) {
    static_cast<tips::FrmTips*>(dialog)->TipChk->setChecked(false);
    dialog->reject(); // the window's close box
    return dialog->result();
  });
  m.window->menuEntry(QStringLiteral("mnuHelpTipOfTheDay"))->trigger();
  EXPECT_EQ(m.report(), "0");
  EXPECT_TRUE(m.home.setting(QStringLiteral("TIPS WIDTH")));

  // No Ini folder: the choice is lost, and nothing is created.
  ASSERT_TRUE(QDir(m.home.home() + QStringLiteral("Ini")).removeRecursively());
  m.window->ShowTipOfTheDay();
  EXPECT_FALSE(QDir(m.home.home() + QStringLiteral("Ini")).exists());
}

TEST(TipsDialog, TipsTurnedOffShowUncheckedDuringTheStartup) {
  TipsMain m;
  m.setReport("0");
  m.start();
  ASSERT_TRUE(gStartupFlag);
  bool checked = true;
  m.prompts.modalAnswers.push_back([&](QDialog* dialog) {
    checked = static_cast<tips::FrmTips*>(dialog)->TipChk->isChecked();
    return int(QDialog::Accepted);
  });
  m.window->ShowTipOfTheDay();
  EXPECT_EQ(m.tipsShown(), 1);
  EXPECT_FALSE(checked);
  EXPECT_EQ(m.report(), "0");
}

// The splash ends the start-up before it shows; at its end it asks for a tip, which shows only with
// tips on and no other copy running.
TEST(TipsDialog, TheSplashScreenEndsTheStartupAndMayBeFollowedByATip) {
  struct Case {
    const char* report;
    bool otherCopy;
    int tips;
  };
  for (const Case& c : {Case{"1", false, 1}, Case{"1", true, 0}, Case{"0", false, 0}}) {
    SCOPED_TRACE(std::string("tips ") + c.report + (c.otherCopy ? ", other copy" : ""));
    TipsMain m;
    m.setReport(c.report);
    m.start();
    m.window->setOtherInstanceRunning(c.otherCopy);
    bool flagWhileShown = true;
    int tipsWhileSplashOpen = -1;
    m.prompts.modalAnswers.push_back([&](QDialog* dialog) {
      flagWhileShown = gStartupFlag;
      static_cast<tips::frmSplash*>(dialog)->tmrSplash->start(1);
      QSignalSpy closed(dialog, &QDialog::finished);
      EXPECT_TRUE(closed.wait(2000)) << "the splash closes itself";
      return dialog->result();
    });
    m.prompts.modalAnswers.push_back([&](QDialog* dialog) {
      tipsWhileSplashOpen = m.window->findChild<tips::frmSplash*>() != nullptr;
      return dialog->result();
    });
    m.window->ShowSplashScreen();
    EXPECT_FALSE(flagWhileShown);
    EXPECT_EQ(m.tipsShown(), c.tips);
    if (c.tips) {
      EXPECT_EQ(tipsWhileSplashOpen, 1) << "the tip comes before the splash closes";
    }
    EXPECT_TRUE(m.home.setting(QStringLiteral("SPLASH TOP")));
    if (c.report[0] == '0') { // once the start-up is over, tips turned off stay away even from the menu
      m.window->ShowTipOfTheDay();
      EXPECT_EQ(m.tipsShown(), 0);
    }
  }
}

} // namespace
