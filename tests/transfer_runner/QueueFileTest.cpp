// Queue files: the keys as written, a full round trip, and how Load reads odd counts. Files that
// are no queue are refused by the window's Load and the runner, and tested there.

#include "transfer/QueueFile.h"

#include "settings/Globals.h"
#include "settings/IniFile.h"
#include "support/TempHome.h"

#include "support/QtPrint.h"

#include <gtest/gtest.h>

using tidewick::transfer::QueueRow;
using tidewick::transfer::QueueRowCount;
using tidewick::transfer::ReadQueueFile;
using tidewick::transfer::WriteQueueFile;

namespace {

QueueRow row(const QString& name, const QString& user, const QString& password) {
  return {name, "/home/me/data/", "/pub", "ftp.example.org", "2048", "Upload", "Binary", "File", user, password, "21"};
}

QString raw(const QString& file, const QString& key) {
  return tidewick::settings::ini::read(file, "LISTQUE", key).value_or("<missing>");
}

TEST(QueueFile, WritesTheDocumentedKeys) {
  TempHome home;
  const QString file = home.root() + "/one.que";
  QueueRow sftp = row("report.txt", "abc", "");
  sftp.security = "SFTP (SSH)";
  ASSERT_TRUE(WriteQueueFile(file, {sftp}));

  EXPECT_EQ(raw(file, "LISTCOUNT"), "1");
  // The user name is encoded: every byte shifted by 10.
  const QStringList expected = {
      "report.txt", "/home/me/data/", "/pub",     "ftp.example.org", "2048", "Upload", "Binary", "File", "klm", "",
      "21",         "SFTP (SSH)",     "<missing>"};
  for (int j = 0; j < expected.size(); ++j) EXPECT_EQ(raw(file, QStringLiteral("ROW1.%1").arg(j)), expected[j]) << j;

  // An empty queue holds the count alone.
  const QString empty = home.root() + "/empty.que";
  ASSERT_TRUE(WriteQueueFile(empty, {}));
  EXPECT_EQ(tidewick::settings::ini::keys(TempHome::readFile(empty), "LISTQUE"), QStringList{"LISTCOUNT"});
  const auto rows = ReadQueueFile(empty);
  ASSERT_TRUE(rows);
  EXPECT_TRUE(rows->empty());
}

TEST(QueueFile, RoundTripKeepsEveryColumnWhole) {
  TempHome home;
  const QString file = home.root() + "/three.que";
  std::vector<QueueRow> rows = {
      row("report.txt", "abc", "s3cret"),
      row("  spaced name  ", QString::fromUtf8("jürgen"), QString::fromUtf8("pässwörd €")),
      row("\"quoted\"", "user", ""),
  };
  rows[1].command = "Download";
  rows[1].type = "Dir";
  rows[1].transferMode = "Ascii";
  rows[2].remotePath = "/" + QString(300, 'x') + "/a=b;c"; // longer than the old 253-character cut
  rows[2].size = "5368709120";
  // Enough rows that ROW1.x and ROW1x.x keys must be told apart.
  for (int i = 3; i < 12; ++i) rows.push_back(row(QStringLiteral("f%1").arg(i), "u", QStringLiteral("p%1").arg(i)));

  ASSERT_TRUE(WriteQueueFile(file, rows));
  const auto back = ReadQueueFile(file);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i)
    for (int j = 0; j < QueueRow::ColumnCount; ++j)
      EXPECT_EQ((*back)[i].column(j), rows[i].column(j)) << "row " << i + 1 << " column " << j;
}

TEST(QueueFile, SavingOverALongerFileKeepsOldRowsUnread) {
  TempHome home;
  const QString file = home.root() + "/reuse.que";
  std::vector<QueueRow> five;
  for (int i = 1; i <= 5; ++i) five.push_back(row(QStringLiteral("file%1").arg(i), "u", "p"));
  ASSERT_TRUE(WriteQueueFile(file, five));
  ASSERT_TRUE(WriteQueueFile(file, {row("a", "u", "p"), row("b", "u", "p")}));

  EXPECT_EQ(raw(file, "LISTCOUNT"), "2");
  EXPECT_EQ(raw(file, "ROW5.0"), "file5");
  const auto rows = ReadQueueFile(file);
  ASSERT_TRUE(rows);
  ASSERT_EQ(rows->size(), 2u);
  EXPECT_EQ((*rows)[1].name, "b");
}

TEST(QueueFile, AValueThatWouldBreakItsLineIsRefusedAndNothingWritten) {
  TempHome home;
  const QString file = home.root() + "/q.que";
  ASSERT_TRUE(WriteQueueFile(file, {row("a", "u", "p")}));
  const QByteArray before = TempHome::readFile(file);
  // U+0003 is CR once encoded.
  QString problem;
  EXPECT_FALSE(WriteQueueFile(file, {row("a", "u", "p"), row("b", "u", QString(QChar(3)))}, &problem));
  EXPECT_TRUE(problem.contains("Password")) << problem.toStdString();
  EXPECT_EQ(TempHome::readFile(file), before);
}

TEST(QueueFile, CountIsTheNearestWholeNumber) {
  EXPECT_EQ(QueueRowCount(" 1.6"), 2);
  EXPECT_EQ(QueueRowCount("2.5"), 2); // halves go to the even neighbour
  EXPECT_EQ(QueueRowCount("-0.4"), 0);
  EXPECT_EQ(QueueRowCount("7 rows"), 7);
  EXPECT_EQ(QueueRowCount("rows"), 0); // no leading number counts as 0 rows, not as a wrong file
  EXPECT_EQ(QueueRowCount("32767"), 32767);
  EXPECT_FALSE(QueueRowCount("32767.5")); // rounds to 32768
  EXPECT_FALSE(QueueRowCount("32768"));
  EXPECT_FALSE(QueueRowCount("-0.6"));
  EXPECT_EQ(QueueRowCount("1e400"), 1); // the leading number is "1"
  EXPECT_FALSE(QueueRowCount(QString(400, '9')));
  EXPECT_FALSE(QueueRowCount(""));
}

TEST(QueueFile, WritesAsManyRowsAsLoadAcceptsAndNoMore) {
  TempHome home;
  const QString file = home.root() + "/too-many.que";
  EXPECT_FALSE(WriteQueueFile(file, std::vector<QueueRow>(32768)));
  EXPECT_FALSE(QFile::exists(file));
  ASSERT_TRUE(WriteQueueFile(file, std::vector<QueueRow>(32767)));
  EXPECT_EQ(ReadQueueFile(file).value_or(std::vector<QueueRow>()).size(), 32767u);
}

} // namespace
