// The main window's start sequence, its shutdown through the close box, and the quick exit.
#include "app/frmMain.h"
#include "settings/Globals.h"
#include "support/ScriptedPrompts.h"
#include "support/TempHome.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>

using tidewick::app::frmMain;
using tidewick::app::gStartupFlag;

namespace {

struct Started {
  ScriptedPrompts prompts;
  std::unique_ptr<frmMain> window;
  int ended = 0;

  explicit Started(QStringList args = {QStringLiteral("tidewick")}) {
    window = std::make_unique<frmMain>(prompts, args);
    window->setEndProgram([this] { ++ended; });
    window->Load();
  }
};

QString logFile(const TempHome& temp) { return temp.home() + QStringLiteral("Log/TIDEWICK.LOG"); }

TEST(StartSequence, FirstRunOnAnEmptyStore) {
  TempHome temp;
  Started run;
  EXPECT_EQ(temp.setting(QStringLiteral("LOG FILE NAME")), "TIDEWICK.LOG");
  EXPECT_EQ(temp.setting(QStringLiteral("LOG FILE SIZE")), "1000") << "the size rule counts as on";
  EXPECT_TRUE(QFile::exists(temp.autostartFile())) << "ADD TO STARTUP counts as on";
  for (const char* folder : {"Download", "Profiles", "Log", "Ini"})
    EXPECT_TRUE(QFileInfo(temp.home() + QString::fromLatin1(folder)).isDir()) << folder;
  EXPECT_FALSE(temp.setting(QStringLiteral("MAIN TOP"))) << "loading writes no placement";
  EXPECT_EQ(run.window->logFilePath(), logFile(temp));
  EXPECT_TRUE(run.window->CurrentLocalFolder.endsWith(QLatin1Char('/')));
  EXPECT_FALSE(run.window->StartsHidden());
  EXPECT_TRUE(gStartupFlag);
}

TEST(StartSequence, SizeRuleDeletesOnlyStrictlyLargerLogs) {
  struct Case {
    qint64 bytes;
    const char* limit;
    bool deleted;
  };
  for (const Case& c : {Case{1000000, "1000", false}, Case{1000001, "1000", true}, Case{1, "abc", true},
                        Case{0, "abc", false}, Case{2500, "2.5", false}, Case{2501, "2.5", true}}) {
    TempHome temp;
    temp.setSetting(QStringLiteral("VER"), QStringLiteral("3.1.0"));
    temp.setSetting(QStringLiteral("LOG FILE SIZE"), QString::fromLatin1(c.limit));
    temp.writeFile(QStringLiteral("home/Log/TIDEWICK.LOG"), QByteArray(c.bytes, 'x'));
    Started run;
    EXPECT_EQ(!QFile::exists(logFile(temp)), c.deleted) << c.bytes << " bytes, limit " << c.limit;
  }
}

TEST(StartSequence, DeleteOnStartAndTheOwnLogName) {
  TempHome temp;
  temp.setSetting(QStringLiteral("DELETE LOG ON STARTUP"), QStringLiteral("True"));
  temp.setSetting(QStringLiteral("DELETE LOG IF SIZE EXCEEDS"), QStringLiteral("False"));
  temp.setSetting(QStringLiteral("LOG FILE NAME"), QStringLiteral("mine.log"));
  const QString log = temp.writeFile(QStringLiteral("home/Log/mine.log"), "small");
  Started run;
  EXPECT_FALSE(QFile::exists(log));
  EXPECT_EQ(run.window->logFilePath(), log);
  EXPECT_FALSE(temp.setting(QStringLiteral("LOG FILE SIZE"))) << "size rule off: nothing written";
}

// What the hidden start shows, with and without a notification area, is the tray test's.
TEST(StartSequence, StartupSwitchInAnyCaseHidesTheWindow) {
  TempHome temp;
  for (const auto& [args, hidden] :
       {std::pair{"/startup", true}, {"-x /StartUp", true}, {"/start", false}, {"", false}})
    EXPECT_EQ(Started(QStringLiteral("tidewick %1").arg(args).split(' ', Qt::SkipEmptyParts)).window->StartsHidden(),
              hidden)
        << args;
}

// Which keys an upgrade drops is the settings store's test; here, that starting a newer version drops them.
TEST(StartSequence, StartingANewerVersionResetsTheStoredSettingsOnce) {
  TempHome temp;
  temp.setSetting(QStringLiteral("VER"), QStringLiteral("2.0.0"));
  temp.setSetting(QStringLiteral("MAIN TOP"), QStringLiteral("1500"));
  Started run;
  EXPECT_FALSE(temp.setting(QStringLiteral("MAIN TOP")));
  EXPECT_EQ(temp.setting(QStringLiteral("VER")), "3.1.0");
}

TEST(Shutdown, CloseBoxSavesPlacementExitDoesNotAndTheNextStartAppliesIt) {
  TempHome temp;
  temp.setSetting(QStringLiteral("SAVE WINDOW POSITION"), QStringLiteral("0"));
  temp.setSetting(QStringLiteral("SAVE WINDOW SIZE"), QStringLiteral("0"));
  {
    Started run;
    run.window->resize(640, 480);
    run.window->QuickExit();
    EXPECT_EQ(run.ended, 1);
    EXPECT_FALSE(temp.setting(QStringLiteral("MAIN WIDTH"))) << "Exit does not save the placement";
  }
  QPoint saved;
  {
    Started run;
    run.window->show();
    run.window->move(40, 30);
    run.window->resize(640, 480);
    saved = run.window->pos();
    run.window->close();
    EXPECT_EQ(run.ended, 1);
    EXPECT_EQ(temp.setting(QStringLiteral("MAIN WIDTH")), "9600") << "twips, whatever the switches say";
    EXPECT_EQ(temp.setting(QStringLiteral("MAIN HEIGHT")), "7200");
  }
  temp.setSetting(QStringLiteral("SAVE WINDOW POSITION"), QStringLiteral("1"));
  temp.setSetting(QStringLiteral("SAVE WINDOW SIZE"), QStringLiteral("1"));
  Started second;
  EXPECT_EQ(second.window->size(), QSize(640, 480));
  EXPECT_EQ(second.window->pos(), saved);
}

TEST(Placement, IncompleteForeignOrOffScreenValuesAreNotApplied) {
  TempHome temp;
  temp.setSetting(QStringLiteral("VER"), QStringLiteral("3.1.0"));
  temp.setSetting(QStringLiteral("MAIN TOP"), QStringLiteral("1500")); // LEFT missing: no position at all
  temp.setSetting(QStringLiteral("MAIN HEIGHT"), QStringLiteral("abc"));
  temp.setSetting(QStringLiteral("MAIN WIDTH"), QStringLiteral("9000"));
  const QSize defaultSize = Started().window->size();
  {
    Started run;
    EXPECT_EQ(run.window->size(), defaultSize);
    EXPECT_NE(run.window->pos().y(), 100);
  }
  temp.setSetting(QStringLiteral("MAIN LEFT"), QStringLiteral("-3000000"));
  Started offScreen;
  EXPECT_GT(offScreen.window->pos().x(), -1000) << "a position off every screen is ignored";
}

} // namespace
