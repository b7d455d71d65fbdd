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

QString at(const QByteArray& text, const char* section, const char* key) {
  return find(text, QString::fromLatin1(section), QString::fromLatin1(key)).value_or(QStringLiteral("<missing>"));
}

} // namespace

TEST(IniFile, ReadsHandWrittenWindowsFiles) {
  EXPECT_EQ(at(kWindowsFile, "PROFILE", "sname"), "My Site");
  EXPECT_EQ(at(kWindowsFile, "profile", "SNAME"), "My Site") << "names compare without case";
  EXPECT_EQ(at(kWindowsFile, "PROFILE", "remote folder"), "/pub/incoming") << "spaces in keys, value trimmed";
  EXPECT_EQ(at(kWindowsFile, "PROFILE", "path"), "C:\\Program Files\\Tidewick\\");
  EXPECT_EQ(at(kWindowsFile, "PROFILE", "note"), "a;b,c=d") << "only the first = splits";
  EXPECT_EQ(at(kWindowsFile, "PROFILE", "quoted"), "  padded  ");
  EXPECT_EQ(at(kWindowsFile, "PROFILE", "dup"), "first") << "first occurrence wins";
  EXPECT_EQ(at(kWindowsFile, "PROFILE", "late"), "from the second header");
  EXPECT_EQ(at(kWindowsFile, "other", "x"), "1");
  EXPECT_EQ(at(kWindowsFile, "other", "sname"), "<missing>");
  EXPECT_EQ(at(kWindowsFile, "PROFILE", "; Site written by an older release"), "<missing>") << "comments are not keys";
  EXPECT_EQ(at(kWindowsFile, "nosuch", "x"), "<missing>");
}

TEST(IniFile, ValuesRoundTripExactly) {
  // Whole however long, and blanks at either end alone survive as well as at both.
  for (const QString& value :
       {QStringLiteral("  lead and trail  "), QStringLiteral("trailing "), QStringLiteral(" leading"),
        QStringLiteral("\"quoted\""), QStringLiteral("'single'"), QStringLiteral("x=y;z"), QStringLiteral("Grüße €"),
        QString(), QString(5000, QLatin1Char('x'))}) {
    auto text = withValue("[s]\n", QStringLiteral("s"), QStringLiteral("k"), value);
    ASSERT_TRUE(text);
    EXPECT_EQ(find(*text, QStringLiteral("s"), QStringLiteral("k")), value) << value.toStdString();
  }
}

TEST(IniFile, RefusesWhatWouldForgeOtherLines) {
  // A value with a line break would plant a key of its own.
  EXPECT_FALSE(withValue({}, QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("a\r\n[s]\r\npass=x")));
  EXPECT_FALSE(withValue({}, QStringLiteral("s"), QStringLiteral("k=v"), QStringLiteral("1")));
  EXPECT_FALSE(withValue({}, QStringLiteral("s]"), QStringLiteral("k"), QStringLiteral("1")));
  EXPECT_FALSE(withValue({}, QStringLiteral("s"), QStringLiteral("  "), QStringLiteral("1")));
}

TEST(IniFile, EveryLineEndEndsALine) {
  const QByteArray mixed = "[a]\rk=1\r\nj=2\nl=3\r[b]\rm=4";
  EXPECT_EQ(at(mixed, "a", "k"), "1");
  EXPECT_EQ(at(mixed, "a", "j"), "2");
  EXPECT_EQ(at(mixed, "a", "l"), "3");
  EXPECT_EQ(at(mixed, "b", "m"), "4");

  // A file ending in a lone CR: the new key gets a line of its own and the old value stays whole.
  TempHome temp;
  const QString path = temp.writeFile(QStringLiteral("tidewick.conf"), "[Settings]\r\nVER=3.1.0\r");
  ASSERT_EQ(WriteIniString(QStringLiteral("Settings"), QStringLiteral("FTP PASV"), QStringLiteral("0"), path), 1);
  EXPECT_EQ(TempHome::readFile(path), QByteArray("[Settings]\r\nVER=3.1.0\r\nFTP PASV=0\r\n"));
  EXPECT_EQ(ReadIniString(path, QStringLiteral("Settings"), QStringLiteral("VER")), "3.1.0");

  auto lfFile = withValue("[a]\rk=1\r", QStringLiteral("b"), QStringLiteral("j"), QStringLiteral("2"));
  ASSERT_TRUE(lfFile);
  EXPECT_EQ(at(*lfFile, "a", "k"), "1");
  EXPECT_EQ(at(*lfFile, "b", "j"), "2");
}

TEST(IniFile, ByteOrderMarkIsSkippedAndKept) {
  TempHome temp;
  const QString path = temp.writeFile(QStringLiteral("tidewick.conf"), "\xEF\xBB\xBF[Settings]\nVER=3.1.0\n");
  EXPECT_EQ(ReadIniString(path, QStringLiteral("Settings"), QStringLiteral("VER")), "3.1.0");
  ASSERT_EQ(WriteIniString(QStringLiteral("Settings"), QStringLiteral("FTP PASV"), QStringLiteral("1"), path), 1);
  EXPECT_EQ(TempHome::readFile(path), QByteArray("\xEF\xBB\xBF[Settings]\nVER=3.1.0\nFTP PASV=1\n"));

  auto fresh = withValue("\xEF\xBB\xBF", QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("v"));
  ASSERT_TRUE(fresh);
  EXPECT_EQ(*fresh, QByteArray("\xEF\xBB\xBF[s]\nk=v\n"));
}

TEST(IniFile, FilesOverTheLimitAreRefusedWhole) {
  TempHome temp;
  const QByteArray text = "[s]\nk=v\n";
  const QString small = temp.writeFile(QStringLiteral("small.ini"), text);
  EXPECT_EQ(Document::load(small, text.size()).value(QStringLiteral("s"), QStringLiteral("k")), "v");
  const Document over = Document::load(small, text.size() - 1);
  EXPECT_EQ(over.status(), LoadStatus::TooLarge);
  EXPECT_FALSE(over.value(QStringLiteral("s"), QStringLiteral("k")));
  EXPECT_FALSE(over.save(small));

  // The default limit, on a sparse file: refused before a byte is read, and never replaced.
  const QString huge = temp.root() + QStringLiteral("/huge.ini");
  {
    QFile file(huge);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    ASSERT_TRUE(file.resize(tidewick::settings::ini::DefaultSizeLimit + 1));
  }
  const Document refused = Document::load(huge);
  EXPECT_EQ(refused.status(), LoadStatus::TooLarge);
  EXPECT_TRUE(refused.problem().contains(huge) && refused.problem().contains(QStringLiteral("64 MiB")))
      << refused.problem().toStdString();
  EXPECT_EQ(ReadIniString(huge, QStringLiteral("s"), QStringLiteral("k")), "");
  EXPECT_EQ(WriteIniString(QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("x"), huge), 0);
  EXPECT_EQ(QFileInfo(huge).size(), tidewick::settings::ini::DefaultSizeLimit + 1);
}

TEST(IniFile, ADocumentTakesManyChangesAndKeepsWhatItWasNotGiven) {
  Document doc(kWindowsFile);
  EXPECT_TRUE(doc.setValue(QStringLiteral("PROFILE"), QStringLiteral("sname"), QStringLiteral("Renamed")));
  EXPECT_TRUE(doc.setValue(QStringLiteral("other"), QStringLiteral("new"), QStringLiteral("1")));
  EXPECT_TRUE(doc.setValue(QStringLiteral("Fresh"), QStringLiteral("a"), QStringLiteral("1")));
  EXPECT_TRUE(doc.setValue(QStringLiteral("fresh"), QStringLiteral("A"), QStringLiteral("2")));
  EXPECT_TRUE(doc.remove(QStringLiteral("profile"), QStringLiteral("dup")));
  EXPECT_FALSE(doc.setValue(QStringLiteral("PROFILE"), QStringLiteral("port"), QStringLiteral("1\n[x]")));

  // Reads see the changes before anything is written; the second "dup" shows once the first is gone.
  EXPECT_EQ(doc.value(QStringLiteral("profile"), QStringLiteral("SNAME")), "Renamed");
  EXPECT_EQ(doc.value(QStringLiteral("FRESH"), QStringLiteral("a")), "2");
  EXPECT_EQ(doc.value(QStringLiteral("PROFILE"), QStringLiteral("dup")), "second");
  EXPECT_FALSE(doc.value(QStringLiteral("PROFILE"), QStringLiteral("port")));

  const QByteArray text = doc.text();
  QByteArray expected = kWindowsFile;
  expected.replace("sname=My Site\r\n", "sname=Renamed\r\n");
  expected.replace("dup=first\r\n", "");
  expected.replace("x=1\r\n", "x=1\r\nnew=1\r\n");
  expected += "\r\n[Fresh]\r\na=2\r\n";
  EXPECT_EQ(text.toStdString(), expected.toStdString());
  EXPECT_EQ(Document(text).keys(QStringLiteral("profile")),
            (QStringList{"sname", "Remote Folder", "adresa", "path", "note", "quoted", "dup", "late"}));

  // A key added to a section whose last line has no line break gets a line of its own.
  auto lastLine = withValue("[a]\nk=1", QStringLiteral("a"), QStringLiteral("j"), QStringLiteral("2"));
  ASSERT_TRUE(lastLine);
  EXPECT_EQ(*lastLine, QByteArray("[a]\nk=1\nj=2\n"));
}

TEST(IniFile, WholeSectionsReadAndWriteAsKeyByKey) {
  // Read in one pass: every key line in file order, repeated sections included; the first of a
  // name is what a lookup gives.
  const auto entries = Document(kWindowsFile).entries(QStringLiteral("profile"));
  ASSERT_EQ(entries.size(), 10u);
  EXPECT_EQ(entries[1], (std::pair<QString, QString>{"Remote Folder", "/pub/incoming"}));
  EXPECT_EQ(entries[5].second, "  padded  ");
  EXPECT_EQ(entries[6].second, "first");
  EXPECT_EQ(entries[9], (std::pair<QString, QString>{"dup", "third"}));

  // Written in one block, a new section gives the text key-by-key changes give, and later changes
  // find its keys; in a section the file has, keys are changed in place.
  const std::vector<std::pair<QString, QString>> values = {
      {"a", " padded "}, {"B", "2"}, {"c", "\"quoted\""}, {"x", "changed"}};
  for (const char* section : {"Fresh", "other"}) {
    SCOPED_TRACE(section);
    Document bulk(kWindowsFile), oneByOne(kWindowsFile);
    ASSERT_TRUE(bulk.setValues(QString::fromLatin1(section), values));
    for (const auto& [key, value] : values) oneByOne.setValue(QString::fromLatin1(section), key, value);
    EXPECT_EQ(bulk.text().toStdString(), oneByOne.text().toStdString());
    EXPECT_TRUE(bulk.setValue(QString::fromLatin1(section), QStringLiteral("b"), QStringLiteral("3")));
    EXPECT_EQ(bulk.value(QString::fromLatin1(section), QStringLiteral("B")), "3");
    EXPECT_EQ(bulk.keys(QString::fromLatin1(section)).count(QStringLiteral("B")), 1);
  }
  // One value that would break its line refuses the lot.
  Document refused(kWindowsFile);
  EXPECT_FALSE(refused.setValues(QStringLiteral("Fresh"), {{"a", "1"}, {"b", "2\r\n[x]"}}));
  EXPECT_FALSE(refused.isChanged());
}

TEST(IniFile, GarbageAndBrokenFilesReadAsMissing) {
  QByteArray garbage;
  for (int i = 0; i < 4096; ++i) garbage.append(static_cast<char>((i * 7919) % 256));
  EXPECT_FALSE(find(garbage, QStringLiteral("Settings"), QStringLiteral("VER")));
  EXPECT_FALSE(find("[Settings", QStringLiteral("Settings"), QStringLiteral("VER")));
  EXPECT_EQ(at("[Settings\nVER=3", "Settings", "VER"), "3") << "an unclosed header still names its section";
  // Writing into garbage keeps every byte of it.
  auto written = withValue(garbage, QStringLiteral("Settings"), QStringLiteral("VER"), QStringLiteral("3.1.0"));
  ASSERT_TRUE(written);
  EXPECT_TRUE(written->startsWith(garbage));
  EXPECT_EQ(at(*written, "Settings", "VER"), "3.1.0");
}

TEST(IniFile, FilesAreReplacedAtomicallyAndOwnerOnly) {
  TempHome temp;
  const QString path = temp.writeFile(QStringLiteral("p.ini"), kWindowsFile);
  QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
  ASSERT_EQ(WriteIniString(QStringLiteral("PROFILE"), QStringLiteral("port"), QStringLiteral("2121"), path), 1);
  const auto perms = QFileInfo(path).permissions();
  EXPECT_TRUE(perms.testFlag(QFileDevice::ReadOwner) && perms.testFlag(QFileDevice::WriteOwner));
  EXPECT_FALSE(perms &
               (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther));
  EXPECT_EQ(ReadIniString(path, QStringLiteral("profile"), QStringLiteral("PORT")), "2121");
  EXPECT_EQ(ReadIniString(path, QStringLiteral("profile"), QStringLiteral("sname")), "My Site");

  // A path we cannot read as a file is never replaced.
  const QString folder = temp.root() + QStringLiteral("/home");
  EXPECT_EQ(WriteIniString(QStringLiteral("s"), QStringLiteral("k"), QStringLiteral("v"), folder), 0);
  EXPECT_TRUE(QFileInfo(folder).isDir());
  EXPECT_EQ(ReadIniString(temp.root() + QStringLiteral("/none.ini"), QStringLiteral("s"), QStringLiteral("k")), "");

  // A linked file stays linked: the file the link names gets the value; no temporary file is left.
  const QString link = temp.root() + QStringLiteral("/link.ini");
  ASSERT_TRUE(QFile::link(path, link));
  ASSERT_EQ(WriteIniString(QStringLiteral("PROFILE"), QStringLiteral("port"), QStringLiteral("990"), link), 1);
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_EQ(ReadIniString(path, QStringLiteral("PROFILE"), QStringLiteral("port")), "990");
  EXPECT_EQ(QDir(temp.root()).entryList(QDir::Files | QDir::Hidden | QDir::System),
            (QStringList{QStringLiteral("link.ini"), QStringLiteral("p.ini")}));
}

TEST(IniFile, ReadIniStringTreatsUnassignedAsEmpty) {
  TempHome temp;
  const QString path =
      temp.writeFile(QStringLiteral("q.ini"), "[LISTQUE]\nA=(Unassigned)\nB=(Unassigned) tail\nC=ok\n");
  EXPECT_EQ(ReadIniString(path, QStringLiteral("LISTQUE"), QStringLiteral("A")), "");
  EXPECT_EQ(ReadIniString(path, QStringLiteral("LISTQUE"), QStringLiteral("B")), "");
  EXPECT_EQ(ReadIniString(path, QStringLiteral("LISTQUE"), QStringLiteral("C")), "ok");
}

TEST(Encoding, RoundTripsThroughProfileFiles) {
  TempHome temp;
  const QString path = temp.root() + QStringLiteral("/site.ini");
  for (const QString& secret : {QStringLiteral("abc"), QStringLiteral("vwxyz~"), QStringLiteral("pässwörd €"),
                                QStringLiteral("日本語"), QStringLiteral("3=; [x]"), QString()}) {
    ASSERT_EQ(WriteIniString(QStringLiteral("PROFILE"), QStringLiteral("pass"), EncodeString(secret), path), 1);
    EXPECT_EQ(DecodeString(ReadIniString(path, QStringLiteral("PROFILE"), QStringLiteral("pass"))), secret)
        << secret.toStdString();
  }
  EXPECT_EQ(EncodeString(QStringLiteral("abc")), "klm") << "the shift itself: +10 per byte";
  // A file written with single bytes (not UTF-8) still decodes: "v" + 10 is byte 0x80.
  const QString raw = temp.writeFile(QStringLiteral("old.ini"), QByteArray("[PROFILE]\npass=") + char(0x80) + "\n");
  EXPECT_EQ(DecodeString(ReadIniString(raw, QStringLiteral("PROFILE"), QStringLiteral("pass"))), "v");
}
