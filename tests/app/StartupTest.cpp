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

  explicit Started(QStringList args = {"tidewick"}) {
    window = std::make_unique<frmMain>(prompts, args);
    window->setEndProgram([this] { ++ended; });
    window->Load();
  }
};

QString logFile(const TempHome& temp) { return temp.home() + "Log/TIDEWICK.LOG"; }

TEST(StartSequence, FirstRunOnAnEmptyStore) {
  TempHome temp;
  Started run;
  EXPECT_EQ(temp.setting("LOG FILE NAME"), "TIDEWICK.LOG");
  EXPECT_EQ(temp.setting("LOG FILE SIZE"), "1000") << "the size rule counts as on";
  EXPECT_TRUE(QFile::exists(temp.autostartFile())) << "ADD TO STARTUP counts as on";
  for (const char* folder : {"Download", "Profiles", "Log", "Ini"})
    EXPECT_TRUE(QFileInfo(temp.home() + folder).isDir()) << folder;
  EXPECT_FALSE(temp.setting("MAIN TOP")) << "loading writes no placement";
  EXPECT_EQ(run.window->logFilePath(), logFile(temp));
  EXPECT_TRUE(run.window->CurrentLocalFolder.endsWith('/'));
  EXPECT_FALSE(run.window->StartsHidden());
  EXPECT_TRUE(gStartupFlag);
}

TEST(StartSequence, SizeRuleDeletesOnlyStrictlyLargerLogs) {
  using Case = std::tuple<qint64, const char*, bool>; // the log's size, the limit, whether it goes
  for (const auto& [bytes, limit, deleted] :
       {Case{1000000, "1000", false}, Case{1000001, "1000", true}, Case{1, "abc", true}, Case{0, "abc", false},
        Case{2500, "2.5", false}, Case{2501, "2.5", true}}) {
    TempHome temp;
    temp.setSettings({{"VER", "3.1.0"}, {"LOG FILE SIZE", limit}});
    temp.writeFile("home/Log/TIDEWICK.LOG", QByteArray(bytes, 'x'));
    Started run;
    EXPECT_EQ(!QFile::exists(logFile(temp)), deleted) << bytes << " bytes, limit " << limit;
  }
}

// Which keys an upgrade drops is the settings store's test; here, that starting a newer version drops them.
TEST(StartSequence, DeleteOnStartTheOwnLogNameAndTheResetOfANewerVersion) {
  TempHome temp;
  temp.setSettings({{"DELETE LOG ON STARTUP", "True"}, {"DELETE LOG IF SIZE EXCEEDS", "False"}});
  temp.setSettings({{"LOG FILE NAME", "mine.log"}, {"VER", "2.0.0"}, {"MAIN TOP", "1500"}});
  const QString log = temp.writeFile("home/Log/mine.log", "small");
  Started run;
  EXPECT_FALSE(QFile::exists(log));
  EXPECT_EQ(run.window->logFilePath(), log);
  EXPECT_FALSE(temp.setting("LOG FILE SIZE")) << "size rule off: nothing written";
  EXPECT_FALSE(temp.setting("MAIN TOP"));
  EXPECT_EQ(temp.setting("VER"), "3.1.0");
}

// What the hidden start shows, with and without a notification area, is the tray test's.
TEST(StartSequence, StartupSwitchInAnyCaseHidesTheWindow) {
  TempHome temp;
  for (const auto& [args, hidden] :
       {std::pair{"/startup", true}, {"-x /StartUp", true}, {"/start", false}, {"", false}})
    EXPECT_EQ(Started(("tidewick " + QString(args)).split(' ', Qt::SkipEmptyParts)).window->StartsHidden(), hidden)
        << args;
}

TEST(Shutdown, CloseBoxSavesPlacementExitDoesNotAndTheNextStartAppliesIt) {
  TempHome temp;
  temp.setSettings({{"SAVE WINDOW POSITION", "0"}, {"SAVE WINDOW SIZE", "0"}});
  {
    Started run;
    run.window->resize(640, 480);
    run.window->QuickExit();
    EXPECT_EQ(run.ended, 1);
    EXPECT_FALSE(temp.setting("MAIN WIDTH")) << "Exit does not save the placement";
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
    EXPECT_EQ(temp.setting("MAIN WIDTH"), "9600") << "twips, whatever the switches say";
    EXPECT_EQ(temp.setting("MAIN HEIGHT"), "7200");
  }
  temp.setSettings({{"SAVE WINDOW POSITION", "1"}, {"SAVE WINDOW SIZE", "1"}});
  Started second;
  EXPECT_EQ(second.window->size(), QSize(640, 480));
  EXPECT_EQ(second.window->pos(), saved);
}

TEST(Placement, IncompleteForeignOrOffScreenValuesAreNotApplied) {
  TempHome temp;
  // LEFT missing: no position at all.
  temp.setSettings({{"VER", "3.1.0"}, {"MAIN TOP", "1500"}, {"MAIN HEIGHT", "abc"}, {"MAIN WIDTH", "9000"}});
  const QSize defaultSize = Started().window->size();
  {
    Started run;
    EXPECT_EQ(run.window->size(), defaultSize);
    EXPECT_NE(run.window->pos().y(), 100);
  }
  temp.setSetting("MAIN LEFT", "-3000000");
  EXPECT_GT(Started().window->pos().x(), -1000) << "a position off every screen is ignored";
}

} // namespace
