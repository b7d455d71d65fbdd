// The settings store: its three operations, the switch rule, the version reset, the start-up entry
// and the shared file procedures.
#include "settings/Globals.h"
#include "settings/Registry.h"
#include "settings/Switches.h"
#include "support/TempHome.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tidewick::settings;

namespace {

const QString kSettings = Registry::settingsSection();

TEST(Registry, StoresReadsAndDeletesWithoutCaching) {
  TempHome temp;
  Registry reg;
  EXPECT_EQ(reg.value(kSettings, "FTP PASV", "0"), "0");
  EXPECT_TRUE(reg.setValue(kSettings, "FTP PASV", "1"));
  EXPECT_EQ(temp.setting("FTP PASV"), "1") << "kept in the [Settings] section of the settings file";

  // Another process changes the file: the next read sees it.
  temp.setSetting("FTP PASV", "0");
  EXPECT_EQ(reg.value(kSettings, "ftp pasv", "x"), "0");

  // An empty value reads as missing; one leading and one trailing backslash name the same section.
  temp.setSetting("Firewall Host Name", QString());
  EXPECT_EQ(value("Firewall Host Name", "dflt"), "dflt");
  EXPECT_EQ(reg.value("Software\\Tidewick\\Settings\\", "FTP PASV"), "0");

  EXPECT_TRUE(reg.removeValue(kSettings, "FTP PASV"));
  EXPECT_FALSE(reg.removeValue(kSettings, "FTP PASV"));
  EXPECT_FALSE(temp.setting("FTP PASV"));
}

TEST(Registry, BrokenSettingsFilesYieldDefaultsAndKeepTheirKeys) {
  TempHome temp;
  QByteArray garbage("\x01\xff junk\x00\n[Settings]\nVER=\x80\x81\nMAIN TOP=abc\n\xfe\xfe", 42);
  temp.writeFile("home/config/tidewick.conf", garbage);
  EXPECT_EQ(value("LOG FILE NAME", "TIDEWICK.LOG"), "TIDEWICK.LOG");
  EXPECT_TRUE(setValue("LOG FILE SIZE", "1000"));
  EXPECT_EQ(temp.setting("MAIN TOP"), "abc");
  EXPECT_TRUE(TempHome::readFile(temp.settingsFile()).startsWith(garbage.left(34))) << "no byte of it lost";
  EXPECT_EQ(value("LOG FILE SIZE"), "1000");
}

TEST(Switches, MissingCountsAsOnStoredZeroAsOff) {
  TempHome temp;
  // Missing, the options dialog loads a switch checked; a non-number loads unchecked.
  for (const QString key : {"ADD TO STARTUP", "SAVE WINDOW POSITION", "SAVE WINDOW SIZE", "SHOW CONNECTION ON STARTUP",
                            "DIR SYNC BY FILE SIZE"}) {
    SCOPED_TRACE(key.toStdString());
    EXPECT_TRUE(switchIsOn(key));
    for (const auto& [text, on] : {std::pair{"0", false}, {"1", true}, {"abc", false}}) {
      temp.setSetting(key, text);
      EXPECT_EQ(switchIsOn(key), on) << text;
    }
  }
  // Of the two log options only the size rule is on when both are missing.
  EXPECT_FALSE(switchIsOn("DELETE LOG ON STARTUP"));
  EXPECT_TRUE(switchIsOn("DELETE LOG IF SIZE EXCEEDS"));
  temp.setSettings({{"DELETE LOG ON STARTUP", "True"}, {"DELETE LOG IF SIZE EXCEEDS", "False"}});
  EXPECT_TRUE(switchIsOn("DELETE LOG ON STARTUP"));
  EXPECT_FALSE(switchIsOn("DELETE LOG IF SIZE EXCEEDS"));

  // Once the options dialog exists, its controls answer.
  setOptionControlReader(
      [](const QString& key) { return key == "SAVE WINDOW SIZE" ? std::optional(true) : std::nullopt; });
  temp.setSetting("SAVE WINDOW SIZE", "0");
  EXPECT_TRUE(switchIsOn("SAVE WINDOW SIZE"));
  setOptionControlReader({});
}

TEST(VersionReset, DropsTheListedKeysInOrderAndKeepsTheRest) {
  TempHome temp;
  // The three start-up switches and the placement of the windows the reset names; other windows'
  // placement and every other setting stay.
  const QStringList dropped = QString(
                                  "ADD TO STARTUP|SAVE WINDOW POSITION|SAVE WINDOW SIZE|CONNECTION INFO TOP|"
                                  "EXIST LEFT|LICENSE HEIGHT|MAIN TOP|REMOTE CHANGE MODE LEFT|OPTIONS WIDTH")
                                  .split('|');
  const QStringList kept = QString(
                               "LOG WINDOW TOP|QUE LEFT|TIPS WIDTH|LOG FILE NAME|Firewall Host Name|FTP PASV|"
                               "SHOW CONNECTION ON STARTUP")
                               .split('|');
  for (const QString& key : dropped + kept) temp.setSetting(key, "7");
  SetStartupEntry("/opt/tidewick /STARTUP");
  temp.setSetting("VER", "3.0.9");

  ASSERT_FALSE(IsStoredVersion(ProgramVersion()));
  ResetStoredSettings();
  StoreVersion(ProgramVersion());

  for (const QString& key : dropped) EXPECT_FALSE(temp.setting(key)) << key.toStdString();
  for (const QString& key : kept) EXPECT_EQ(temp.setting(key), "7") << key.toStdString();
  EXPECT_FALSE(QFile::exists(temp.autostartFile()));
  EXPECT_TRUE(IsStoredVersion("3.1.0"));
}

TEST(StartupEntry, IsAnAutostartFileCarryingTheCommandLine) {
  TempHome temp;
  SetStartupEntry("\"/opt/my apps/tidewick\" /STARTUP 100%");
  const QByteArray desktop = TempHome::readFile(temp.autostartFile());
  EXPECT_TRUE(desktop.contains("Exec=\"/opt/my apps/tidewick\" /STARTUP 100%%\n")) << desktop.constData();
  EXPECT_EQ(Registry(Root::User).value(Registry::startupSection(), "TIDEWICK"),
            "\"/opt/my apps/tidewick\" /STARTUP 100%");
  EXPECT_FALSE(temp.setting("TIDEWICK")) << "the entry stays apart from the settings section";
  RemoveStartupEntry();
  EXPECT_FALSE(QFile::exists(temp.autostartFile()));

  // A program run from a build tree names the installed one where PATH finds it, itself otherwise.
  const QByteArray path = qgetenv("PATH");
  const QString installed = temp.writeFile("bin/tidewick", "#!/bin/sh\n");
  QFile(installed).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("PATH", QFile::encodeName(temp.root() + "/bin"));
  EXPECT_EQ(StartupCommandLine(), installed + " /STARTUP");
  qputenv("PATH", QFile::encodeName(temp.root() + "/nothing"));
  EXPECT_FALSE(StartupCommandLine().startsWith(installed));
  EXPECT_TRUE(StartupCommandLine().endsWith(" /STARTUP"));
  qputenv("PATH", path);
}

TEST(Globals, FilePathsAndFiles) {
  TempHome temp;
  EXPECT_EQ(AppFilePath("Log/TIDEWICK.LOG"), temp.home() + "Log/TIDEWICK.LOG");
  qputenv("TIDEWICK_HOME", "/");
  EXPECT_EQ(AppFilePath("Profiles"), "/Profiles") << "a root gets exactly one separator";
  qputenv("TIDEWICK_HOME", " /srv/tw ");
  EXPECT_EQ(AppFilePath("x"), "/srv/tw/x") << "blanks trimmed";

  EXPECT_EQ(withTrailingSlash("/tmp"), "/tmp/");
  EXPECT_EQ(withTrailingSlash("/tmp/ "), "/tmp/ ");
  EXPECT_EQ(StripNulls(QString("abc") + QChar(0) + "def"), "abc");

  const QString file = temp.writeFile("f.txt", "x");
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(temp.root())) << "folders are not files";
  EXPECT_TRUE(FolderExists(temp.root()));
  EXPECT_FALSE(FolderExists(temp.root() + "/nope"));
  DeleteFileQuietly(file);
  DeleteFileQuietly(file);
  EXPECT_FALSE(FileExists(file));

  const QString gone = temp.writeFile("gone/a.txt", "a");
  EXPECT_TRUE(RecycleFile(temp.root() + "/gone", Removal::ForGood));
  EXPECT_FALSE(QFile::exists(gone));
  EXPECT_FALSE(RecycleFile(temp.root() + "/gone", Removal::ForGood));
}

TEST(Globals, LeadingNumberReadsTheNumberATextStartsWith) {
  for (const auto& [text, number] :
       {std::pair{"1000", 1000.0}, {" 12.5kb", 12.5}, {"abc", 0.0}, {"-3", -3.0}, {"", 0.0}, {".", 0.0}})
    EXPECT_EQ(LeadingNumber(text), number) << '"' << text << '"';
}

} // namespace
