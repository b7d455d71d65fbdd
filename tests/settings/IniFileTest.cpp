// The INI codec against files written by hand the way Windows tools write them.
#include "settings/Globals.h"
#include "settings/IniFile.h"
#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using tidewick::settings::ini::Document;
using tidewick::settings::ini::find;
using tidewick::settings::ini::LoadStatus;
using tidewick::settings::ini::withValue;
using namespace tidewick::settings;

namespace {

const QByteArray kWindowsFile =
    "; Site written by an older release\r\n"
    "[PROFILE]\r\n"
    "sname=My Site\r\n"
    "Remote Folder = /pub/incoming \r\n"
    "adresa=ftp.example.com\r\n"
    "path=C:\\Program Files\\Tidewick\\\r\n"
    "note=a;b,c=d\r\n"
    "quoted=\"  padded  \"\r\n"
    "dup=first\r\n"
    "dup=second\r\n"
    "\r\n"
    "[other]\r\n"
    "x=1\r\n"
    "[Profile]\r\n"
    "late=from the second header\r\n"
    "dup=third"; // no final line break

QString at(const QByteArray& text, const QString& section, const QString& key) {
  return find(text, section, key).value_or("<missing>");
}

} // namespace

// Names compare without case, keys may hold spaces, values are trimmed unless quoted, only the first
// "=" splits, the first of a repeated key wins, and a section may be continued under a second header.
TEST(IniFile, ReadsHandWrittenWindowsFilesWhateverEndsTheirLines) {
  // Each lookup as "section/key=value".
  const char* windows =
      "PROFILE/sname=My Site|profile/SNAME=My Site|PROFILE/remote folder=/pub/incoming|PROFILE/note=a;b,c=d|"
      "PROFILE/path=C:\\Program Files\\Tidewick\\|PROFILE/quoted=  padded  |PROFILE/dup=first|"
      "PROFILE/late=from the second header|other/x=1|other/sname=<missing>|nosuch/x=<missing>|"
      "PROFILE/; Site written by an older release=<missing>";
  const char* mixed = "a/k=1|a/j=2|a/l=3|b/m=4";
  for (const auto& [text, lookups] : {std::pair{kWindowsFile, windows}, {"[a]\rk=1\r\nj=2\nl=3\r[b]\rm=4", mixed}})
    for (const QString& lookup : QString::fromUtf8(lookups).split('|'))
      EXPECT_EQ(at(text, lookup.section('/', 0, 0), lookup.section('/', 1).section('=', 0, 0)), lookup.section('=', 1))
          << lookup.toStdString();

  // A file ending in a lone CR: the new key gets a line of its own and the old value stays whole.
  TempHome temp;
  const QString path = temp.writeFile("tidewick.conf", "[Settings]\r\nVER=3.1.0\r");
  ASSERT_EQ(WriteIniString("Settings", "FTP PASV", "0", path), 1);
  EXPECT_EQ(TempHome::readFile(path), "[Settings]\r\nVER=3.1.0\r\nFTP PASV=0\r\n");
  EXPECT_EQ(ReadIniString(path, "Settings", "VER"), "3.1.0");
  auto crFile = withValue("[a]\rk=1\r", "b", "j", "2");
  ASSERT_TRUE(crFile);
  EXPECT_EQ(at(*crFile, "a", "k"), "1");
  EXPECT_EQ(at(*crFile, "b", "j"), "2");
}

TEST(IniFile, ValuesRoundTripExactlyAndNothingCanForgeAnotherLine) {
  // Whole however long, and blanks at either end alone survive as well as at both.
  for (const QString& value : QStringList{"  lead and trail  ", "trailing ", " leading", "\"quoted\"", "'single'",
                                          "x=y;z", "Grüße €", QString(), QString(5000, 'x')}) {
    auto text = withValue("[s]\n", "s", "k", value);
    ASSERT_TRUE(text);
    EXPECT_EQ(find(*text, "s", "k"), value) << value.toStdString();
  }
  // A value with a line break would plant a key of its own.
  EXPECT_FALSE(withValue({}, "s", "k", "a\r\n[s]\r\npass=x"));
  EXPECT_FALSE(withValue({}, "s", "k=v", "1"));
  EXPECT_FALSE(withValue({}, "s]", "k", "1"));
  EXPECT_FALSE(withValue({}, "s", "  ", "1"));
}

TEST(IniFile, ByteOrderMarkIsSkippedAndKept) {
  TempHome temp;
  const QString path = temp.writeFile("tidewick.conf", "\xEF\xBB\xBF[Settings]\nVER=3.1.0\n");
  EXPECT_EQ(ReadIniString(path, "Settings", "VER"), "3.1.0");
  ASSERT_EQ(WriteIniString("Settings", "FTP PASV", "1", path), 1);
  EXPECT_EQ(TempHome::readFile(path), "\xEF\xBB\xBF[Settings]\nVER=3.1.0\nFTP PASV=1\n");

  EXPECT_EQ(withValue("\xEF\xBB\xBF", "s", "k", "v"), "\xEF\xBB\xBF[s]\nk=v\n");
}

TEST(IniFile, FilesOverTheLimitAreRefusedWhole) {
  TempHome temp;
  const QByteArray text = "[s]\nk=v\n";
  const QString small = temp.writeFile("small.ini", text);
  EXPECT_EQ(Document::load(small, text.size()).value("s", "k"), "v");
  const Document over = Document::load(small, text.size() - 1);
  EXPECT_EQ(over.status(), LoadStatus::TooLarge);
  EXPECT_FALSE(over.value("s", "k"));
  EXPECT_FALSE(over.save(small));

  // The default limit, on a sparse file: refused before a byte is read, and never replaced.
  const QString huge = temp.root() + "/huge.ini";
  {
    QFile file(huge);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    ASSERT_TRUE(file.resize(tidewick::settings::ini::DefaultSizeLimit + 1));
  }
  const Document refused = Document::load(huge);
  EXPECT_EQ(refused.status(), LoadStatus::TooLarge);
  EXPECT_TRUE(refused.problem().contains(huge) && refused.problem().contains("64 MiB"))
      << refused.problem().toStdString();
  EXPECT_EQ(ReadIniString(huge, "s", "k"), "");
  EXPECT_EQ(WriteIniString("s", "k", "x", huge), 0);
  EXPECT_EQ(QFileInfo(huge).size(), tidewick::settings::ini::DefaultSizeLimit + 1);
}

TEST(IniFile, ADocumentTakesManyChangesAndKeepsWhatItWasNotGiven) {
  Document doc(kWindowsFile);
  EXPECT_TRUE(doc.setValue("PROFILE", "sname", "Renamed"));
  EXPECT_TRUE(doc.setValue("other", "new", "1"));
  EXPECT_TRUE(doc.setValue("Fresh", "a", "1"));
  EXPECT_TRUE(doc.setValue("fresh", "A", "2"));
  EXPECT_TRUE(doc.remove("profile", "dup"));
  EXPECT_FALSE(doc.setValue("PROFILE", "port", "1\n[x]"));

  // Reads see the changes before anything is written; the second "dup" shows once the first is gone.
  EXPECT_EQ(doc.value("profile", "SNAME"), "Renamed");
  EXPECT_EQ(doc.value("FRESH", "a"), "2");
  EXPECT_EQ(doc.value("PROFILE", "dup"), "second");
  EXPECT_FALSE(doc.value("PROFILE", "port"));

  const QByteArray text = doc.text();
  QByteArray expected = kWindowsFile;
  expected.replace("sname=My Site\r\n", "sname=Renamed\r\n");
  expected.replace("dup=first\r\n", "");
  expected.replace("x=1\r\n", "x=1\r\nnew=1\r\n");
  expected += "\r\n[Fresh]\r\na=2\r\n";
  EXPECT_EQ(text.toStdString(), expected.toStdString());
  EXPECT_EQ(Document(text).keys("profile"),
            (QStringList{"sname", "Remote Folder", "adresa", "path", "note", "quoted", "dup", "late"}));

  // A key added to a section whose last line has no line break gets a line of its own.
  EXPECT_EQ(withValue("[a]\nk=1", "a", "j", "2"), "[a]\nk=1\nj=2\n");
}

TEST(IniFile, WholeSectionsReadAndWriteAsKeyByKey) {
  // Read in one pass: every key line in file order, repeated sections included; the first of a
  // name is what a lookup gives.
  const auto entries = Document(kWindowsFile).entries("profile");
  ASSERT_EQ(entries.size(), 10u);
  EXPECT_EQ(entries[1], (std::pair<QString, QString>{"Remote Folder", "/pub/incoming"}));
  EXPECT_EQ(entries[5].second, "  padded  ");
  EXPECT_EQ(entries[6].second, "first");
  EXPECT_EQ(entries[9], (std::pair<QString, QString>{"dup", "third"}));

  // Written in one block, a new section gives the text key-by-key changes give, and later changes
  // find its keys; in a section the file has, keys are changed in place.
  const std::vector<std::pair<QString, QString>> values = {
      {"a", " padded "}, {"B", "2"}, {"c", "\"quoted\""}, {"x", "changed"}};
  for (const QString section : {"Fresh", "other"}) {
    SCOPED_TRACE(section.toStdString());
    Document bulk(kWindowsFile), oneByOne(kWindowsFile);
    ASSERT_TRUE(bulk.setValues(section, values));
    for (const auto& [key, value] : values) oneByOne.setValue(section, key, value);
    EXPECT_EQ(bulk.text().toStdString(), oneByOne.text().toStdString());
    EXPECT_TRUE(bulk.setValue(section, "b", "3"));
    EXPECT_EQ(bulk.value(section, "B"), "3");
    EXPECT_EQ(bulk.keys(section).count("B"), 1);
  }
  // One value that would break its line refuses the lot.
  Document refused(kWindowsFile);
  EXPECT_FALSE(refused.setValues("Fresh", {{"a", "1"}, {"b", "2\r\n[x]"}}));
  EXPECT_FALSE(refused.isChanged());
}

TEST(IniFile, GarbageAndBrokenFilesReadAsMissing) {
  QByteArray garbage;
  for (int i = 0; i < 4096; ++i) garbage.append(static_cast<char>((i * 7919) % 256));
  EXPECT_FALSE(find(garbage, "Settings", "VER"));
  EXPECT_FALSE(find("[Settings", "Settings", "VER"));
  EXPECT_EQ(at("[Settings\nVER=3", "Settings", "VER"), "3") << "an unclosed header still names its section";
  // Writing into garbage keeps every byte of it.
  auto written = withValue(garbage, "Settings", "VER", "3.1.0");
  ASSERT_TRUE(written);
  EXPECT_TRUE(written->startsWith(garbage));
  EXPECT_EQ(at(*written, "Settings", "VER"), "3.1.0");
}

TEST(IniFile, FilesAreReplacedAtomicallyAndOwnerOnly) {
  TempHome temp;
  const QString path = temp.writeFile("p.ini", kWindowsFile);
  QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
  ASSERT_EQ(WriteIniString("PROFILE", "port", "2121", path), 1);
  const auto perms = QFileInfo(path).permissions();
  EXPECT_TRUE(perms.testFlag(QFileDevice::ReadOwner) && perms.testFlag(QFileDevice::WriteOwner));
  EXPECT_FALSE(perms &
               (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther));
  EXPECT_EQ(ReadIniString(path, "profile", "PORT"), "2121");
  EXPECT_EQ(ReadIniString(path, "profile", "sname"), "My Site");

  // A path we cannot read as a file is never replaced.
  const QString folder = temp.root() + "/home";
  EXPECT_EQ(WriteIniString("s", "k", "v", folder), 0);
  EXPECT_TRUE(QFileInfo(folder).isDir());
  EXPECT_EQ(ReadIniString(temp.root() + "/none.ini", "s", "k"), "");

  // A linked file stays linked: the file the link names gets the value; no temporary file is left.
  const QString link = temp.root() + "/link.ini";
  ASSERT_TRUE(QFile::link(path, link));
  ASSERT_EQ(WriteIniString("PROFILE", "port", "990", link), 1);
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_EQ(ReadIniString(path, "PROFILE", "port"), "990");
  EXPECT_EQ(QDir(temp.root()).entryList(QDir::Files | QDir::Hidden | QDir::System), (QStringList{"link.ini", "p.ini"}));
}

TEST(ReadIniString, DecodesSecretsOfProfileFilesAndTreatsUnassignedAsEmpty) {
  TempHome temp;
  const QString path = temp.root() + "/site.ini";
  for (const QString& secret : QStringList{"abc", "vwxyz~", "pässwörd €", "日本語", "3=; [x]", QString()}) {
    ASSERT_EQ(WriteIniString("PROFILE", "pass", EncodeString(secret), path), 1);
    EXPECT_EQ(DecodeString(ReadIniString(path, "PROFILE", "pass")), secret) << secret.toStdString();
  }
  EXPECT_EQ(EncodeString("abc"), "klm") << "the shift itself: +10 per byte";
  // A file written with single bytes (not UTF-8) still decodes: "v" + 10 is byte 0x80.
  const QString raw = temp.writeFile("old.ini", QByteArray("[PROFILE]\npass=") + char(0x80) + "\n");
  EXPECT_EQ(DecodeString(ReadIniString(raw, "PROFILE", "pass")), "v");

  const QString queue = temp.writeFile("q.ini", "[LISTQUE]\nA=(Unassigned)\nB=(Unassigned) tail\nC=ok\n");
  EXPECT_EQ(ReadIniString(queue, "LISTQUE", "A"), "");
  EXPECT_EQ(ReadIniString(queue, "LISTQUE", "B"), "");
  EXPECT_EQ(ReadIniString(queue, "LISTQUE", "C"), "ok");
}
