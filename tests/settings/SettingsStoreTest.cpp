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
  EXPECT_EQ(reg.value(kSettings, QStringLiteral("FTP PASV"), QStringLiteral("0")), "0");
  EXPECT_TRUE(reg.setValue(kSettings, QStringLiteral("FTP PASV"), QStringLiteral("1")));
  EXPECT_EQ(temp.setting(QStringLiteral("FTP PASV")), "1") << "kept in the [Settings] section of the settings file";

  // Another process changes the file: the next read sees it.
  temp.setSetting(QStringLiteral("FTP PASV"), QStringLiteral("0"));
  EXPECT_EQ(reg.value(kSettings, QStringLiteral("ftp pasv"), QStringLiteral("x")), "0");

  // An empty value reads as missing; one leading and one trailing backslash name the same section.
  temp.setSetting(QStringLiteral("Firewall Host Name"), QString());
  EXPECT_EQ(value(QStringLiteral("Firewall Host Name"), QStringLiteral("dflt")), "dflt");
  EXPECT_EQ(reg.value(QStringLiteral("Software\\Tidewick\\Settings\\"), QStringLiteral("FTP PASV")), "0");

  EXPECT_TRUE(reg.removeValue(kSettings, QStringLiteral("FTP PASV")));
  EXPECT_FALSE(reg.removeValue(kSettings, QStringLiteral("FTP PASV")));
  EXPECT_FALSE(temp.setting(QStringLiteral("FTP PASV")));
}

TEST(Registry, BrokenSettingsFilesYieldDefaultsAndKeepTheirKeys) {
  TempHome temp;
  QByteArray garbage("\x01\xff junk\x00\n[Settings]\nVER=\x80\x81\nMAIN TOP=abc\n\xfe\xfe", 42);
  temp.writeFile(QStringLiteral("home/config/tidewick.conf"), garbage);
  EXPECT_EQ(value(QStringLiteral("LOG FILE NAME"), QStringLiteral("TIDEWICK.LOG")), "TIDEWICK.LOG");
  EXPECT_TRUE(setValue(QStringLiteral("LOG FILE SIZE"), QStringLiteral("1000")));
  EXPECT_EQ(temp.setting(QStringLiteral("MAIN TOP")), "abc");
  EXPECT_TRUE(TempHome::readFile(temp.settingsFile()).startsWith(garbage.left(34))) << "no byte of it lost";
  EXPECT_EQ(value(QStringLiteral("LOG FILE SIZE")), "1000");
}

TEST(Switches, MissingCountsAsOnStoredZeroAsOff) {
  TempHome temp;
  for (const char* key : {"ADD TO STARTUP", "SAVE WINDOW POSITION", "SAVE WINDOW SIZE", "SHOW CONNECTION ON STARTUP",
                          "DIR SYNC BY FILE SIZE"}) {
    const QString k = QString::fromLatin1(key);
    EXPECT_TRUE(switchIsOn(k)) << key << " missing: the options dialog loads it checked";
    temp.setSetting(k, QStringLiteral("0"));
    EXPECT_FALSE(switchIsOn(k)) << key;
    temp.setSetting(k, QStringLiteral("1"));
    EXPECT_TRUE(switchIsOn(k)) << key;
    temp.setSetting(k, QStringLiteral("abc"));
    EXPECT_FALSE(switchIsOn(k)) << key << " a non-number loads unchecked in the options dialog";
  }
  // Of the two log options only the size rule is on when both are missing.
  EXPECT_FALSE(switchIsOn(QStringLiteral("DELETE LOG ON STARTUP")));
  EXPECT_TRUE(switchIsOn(QStringLiteral("DELETE LOG IF SIZE EXCEEDS")));
  temp.setSetting(QStringLiteral("DELETE LOG ON STARTUP"), QStringLiteral("True"));
  temp.setSetting(QStringLiteral("DELETE LOG IF SIZE EXCEEDS"), QStringLiteral("False"));
  EXPECT_TRUE(switchIsOn(QStringLiteral("DELETE LOG ON STARTUP")));
  EXPECT_FALSE(switchIsOn(QStringLiteral("DELETE LOG IF SIZE EXCEEDS")));

  // Once the options dialog exists, its controls answer.
  setOptionControlReader([](const QString& key) -> std::optional<bool> {
    if (key == QStringLiteral("SAVE WINDOW SIZE")) return true;
    return std::nullopt;
  });
  temp.setSetting(QStringLiteral("SAVE WINDOW SIZE"), QStringLiteral("0"));
  EXPECT_TRUE(switchIsOn(QStringLiteral("SAVE WINDOW SIZE")));
  setOptionControlReader({});
}

TEST(VersionReset, DropsTheListedKeysInOrderAndKeepsTheRest) {
  TempHome temp;
  // The three start-up switches and the placement of the windows the reset names; other windows'
  // placement and every other setting stay.
  QStringList dropped, kept;
  for (const char* key : {"ADD TO STARTUP", "SAVE WINDOW POSITION", "SAVE WINDOW SIZE", "CONNECTION INFO TOP",
                          "EXIST LEFT", "LICENSE HEIGHT", "MAIN TOP", "REMOTE CHANGE MODE LEFT", "OPTIONS WIDTH"})
    dropped << QString::fromLatin1(key);
  for (const char* key : {"LOG WINDOW TOP", "QUE LEFT", "TIPS WIDTH", "LOG FILE NAME", "Firewall Host Name", "FTP PASV",
                          "SHOW CONNECTION ON STARTUP"})
    kept << QString::fromLatin1(key);
  for (const QString& key : dropped + kept) temp.setSetting(key, QStringLiteral("7"));
  SetStartupEntry(QStringLiteral("/opt/tidewick /STARTUP"));
  temp.setSetting(QStringLiteral("VER"), QStringLiteral("3.0.9"));

  ASSERT_FALSE(IsStoredVersion(ProgramVersion()));
  ResetStoredSettings();
  StoreVersion(ProgramVersion());

  for (const QString& key : dropped) EXPECT_FALSE(temp.setting(key)) << key.toStdString();
  for (const QString& key : kept) EXPECT_EQ(temp.setting(key), "7") << key.toStdString();
  EXPECT_FALSE(QFile::exists(temp.autostartFile()));
  EXPECT_TRUE(IsStoredVersion(QStringLiteral("3.1.0")));
}

TEST(StartupEntry, IsAnAutostartFileCarryingTheCommandLine) {
  TempHome temp;
  SetStartupEntry(QStringLiteral("\"/opt/my apps/tidewick\" /STARTUP 100%"));
  const QByteArray desktop = TempHome::readFile(temp.autostartFile());
  EXPECT_TRUE(desktop.contains("Exec=\"/opt/my apps/tidewick\" /STARTUP 100%%\n")) << desktop.constData();
  EXPECT_EQ(Registry(Root::User).value(Registry::startupSection(), QStringLiteral("TIDEWICK")),
            "\"/opt/my apps/tidewick\" /STARTUP 100%");
  EXPECT_FALSE(temp.setting(QStringLiteral("TIDEWICK"))) << "the entry stays apart from the settings section";
  RemoveStartupEntry();
  EXPECT_FALSE(QFile::exists(temp.autostartFile()));

  // A program run from a build tree names the installed one where PATH finds it, itself otherwise.
  const QByteArray path = qgetenv("PATH");
  const QString installed = temp.writeFile(QStringLiteral("bin/tidewick"), "#!/bin/sh\n");
  QFile(installed).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("PATH", QFile::encodeName(temp.root() + QStringLiteral("/bin")));
  EXPECT_EQ(StartupCommandLine(), installed + QStringLiteral(" /STARTUP"));
  qputenv("PATH", QFile::encodeName(temp.root() + QStringLiteral("/nothing")));
  EXPECT_FALSE(StartupCommandLine().startsWith(installed));
  EXPECT_TRUE(StartupCommandLine().endsWith(QStringLiteral(" /STARTUP")));
  qputenv("PATH", path);
}

TEST(Globals, FilePaths) {
  TempHome temp;
  EXPECT_EQ(AppFilePath(QStringLiteral("Log/TIDEWICK.LOG")), temp.home() + QStringLiteral("Log/TIDEWICK.LOG"));
  qputenv("TIDEWICK_HOME", "/");
  EXPECT_EQ(AppFilePath(QStringLiteral("Profiles")), "/Profiles") << "a root gets exactly one separator";
  qputenv("TIDEWICK_HOME", " /srv/tw ");
  EXPECT_EQ(AppFilePath(QStringLiteral("x")), "/srv/tw/x") << "blanks trimmed";

  EXPECT_EQ(withTrailingSlash(QStringLiteral("/tmp")), "/tmp/");
  EXPECT_EQ(withTrailingSlash(QStringLiteral("/tmp/ ")), "/tmp/ ");
  EXPECT_EQ(StripNulls(QStringLiteral("abc") + QChar(0) + QStringLiteral("def")), "abc");

  const QString file = temp.writeFile(QStringLiteral("f.txt"), "x");
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(FileExists(temp.root())) << "folders are not files";
  EXPECT_TRUE(FolderExists(temp.root()));
  EXPECT_FALSE(FolderExists(temp.root() + QStringLiteral("/nope")));
  DeleteFileQuietly(file);
  DeleteFileQuietly(file);
  EXPECT_FALSE(FileExists(file));
}

TEST(Globals, LeadingNumberReadsTheNumberATextStartsWith) {
  EXPECT_EQ(LeadingNumber(QStringLiteral("1000")), 1000);
  EXPECT_EQ(LeadingNumber(QStringLiteral(" 12.5kb")), 12.5);
  EXPECT_EQ(LeadingNumber(QStringLiteral("abc")), 0);
  EXPECT_EQ(LeadingNumber(QStringLiteral("-3")), -3);
  EXPECT_EQ(LeadingNumber(QStringLiteral("")), 0);
  EXPECT_EQ(LeadingNumber(QStringLiteral(".")), 0);
}

TEST(Globals, RecycleFileUsesTheTrashOnlyWhenAsked) {
  TempHome temp;
  const QString gone = temp.writeFile(QStringLiteral("gone/a.txt"), "a");
  EXPECT_TRUE(RecycleFile(temp.root() + QStringLiteral("/gone"), Removal::ForGood));
  EXPECT_FALSE(QFile::exists(gone));
  EXPECT_FALSE(RecycleFile(temp.root() + QStringLiteral("/gone"), Removal::ForGood));
}

} // namespace
