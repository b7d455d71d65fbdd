// The local pane in a temporary tree: rows, navigation, the path box, filters and command states.
#include "browse/FileListModel.h"
#include "browse/FilePaneView.h"
#include "browse/IconTable.h"
#include "browse/LocalFileSystem.h"
#include "browse/LocalPane.h"
#include "ftp/FtpClient.h"
#include "support/MainWindowRig.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using tidewick::ftp::FtpClient;
using namespace tidewick::browse;

namespace {

class LocalPaneTest : public ::testing::Test {
protected:
  void SetUp() override {
    temp.writeFile("t/Data/inner.txt", "x");
    temp.writeFile("t/Data/Sub/deep.bin", "y");
    temp.writeFile("t/data/lower.txt", "z");
    temp.writeFile("t/README", "r");
    temp.writeFile("t/song.wav", "w");
    top = temp.root() + "/t/";
    list = std::make_unique<FilePaneView>(&model);
    PaneServices services;
    services.prompts = &prompts;
    services.DisplayMessage = [this](const QString& line) { log << line; };
    services.SendSelection = [this] { ++uploads; };
    services.ApplyCommandStates = [this](const PaneCommandStates& s) { states = s; };
    pane = std::make_unique<LocalPane>(local, ftp, list.get(), &box, current, services);
    box.setEditable(true);
    current = top;
    pane->RetrieveLocalFolderContents(top);
  }

  int rowOf(const QString& name) const { return tidewick::test::rowOf(model, name); }
  QStringList names() const { return tidewick::test::sortedNames(model); }

  TempHome temp;
  ScriptedPrompts prompts;
  LocalFileSystem local{prompts, nullptr};
  FtpClient ftp;
  FileListModel model{nullptr};
  std::unique_ptr<FilePaneView> list;
  QComboBox box;
  QString current;
  QString top;
  QStringList log;
  int uploads = 0;
  PaneCommandStates states;
  std::unique_ptr<LocalPane> pane;
};

TEST_F(LocalPaneTest, RowsAndTheirIcons) {
  EXPECT_EQ(names(), (QStringList{"Data", "README", "data", "song.wav"}));
  EXPECT_EQ(model.row(rowOf("README")).icon, kIconText);
  EXPECT_EQ(model.row(rowOf("song.wav")).icon, kIconText);
  EXPECT_EQ(model.row(rowOf("Data")).icon, kIconFolder);
  EXPECT_EQ(model.text(rowOf("Data"), FileListModel::SizeColumn), "");
  EXPECT_EQ(model.text(rowOf("README"), FileListModel::SizeColumn), "1");
  EXPECT_EQ(box.currentText(), top) << "a listed folder joins the path box";
}

TEST_F(LocalPaneTest, NavigationKeepsCaseAndComesBackUp) {
  pane->RowDoubleClicked(rowOf("README"));
  EXPECT_TRUE(prompts.asked.empty()) << "a file asks to be uploaded only while connected";
  EXPECT_EQ(uploads, 0);
  EXPECT_EQ(current, top);

  pane->RowDoubleClicked(rowOf("Data"));
  EXPECT_EQ(current, top + "Data/");
  EXPECT_EQ(names(), (QStringList{"Sub", "inner.txt"}));
  EXPECT_GE(box.findText(top + "Data/"), 0) << "kept as named, not upper-cased";

  pane->GoUpOneLevel();
  EXPECT_EQ(current, top);
  EXPECT_EQ(log.last(), "Local folder changed to " + top);
  EXPECT_EQ(names().size(), 4);

  pane->RowDoubleClicked(rowOf("data"));
  EXPECT_EQ(names(), QStringList{"lower.txt"}) << "Data and data are two folders";

  pane->PathBoxSelected(box.findText(top + "Data/"));
  EXPECT_EQ(current, top + "Data/");
  EXPECT_EQ(names(), (QStringList{"Sub", "inner.txt"}));

  current = "/";
  pane->GoUpOneLevel();
  EXPECT_EQ(log.last(), "Local path already at root folder.");
}

TEST_F(LocalPaneTest, APatternHidesFoldersThatDoNotMatch) {
  prompts.textAnswers.push_back("*.wav");
  pane->FilterDefineTypes();
  EXPECT_EQ(names(), QStringList{"song.wav"});
  pane->FilterDefineTypes();
  EXPECT_EQ(prompts.messages().back(), "Define Type For Local Server Directory Listing|No command entered, quiting");
  pane->FilterAll();
  EXPECT_EQ(names().size(), 4);
}

TEST_F(LocalPaneTest, AFolderThatCannotBeReadIsLoggedAndNotEntered) {
  pane->RowDoubleClicked(rowOf("Data"));
  const QString gone = current + "Sub/";
  QDir(gone).removeRecursively();
  pane->RowDoubleClicked(rowOf("Sub"));
  EXPECT_EQ(log.last(), "Cannot read the contents of " + gone);
  EXPECT_EQ(current, top + "Data/") << "the pane keeps naming the folder it shows";
  EXPECT_EQ(box.currentText(), top + "Data/");
  EXPECT_EQ(names(), QStringList{"inner.txt"}) << "listed once";
}

// Enter in the path box lists the typed folder (relative ones below the folder shown), or says why
// not and names the listed folder again.
TEST_F(LocalPaneTest, ThePathBoxAlwaysNamesTheFolderListed) {
  const auto enter = [this](const QString& text) {
    box.lineEdit()->clear();
    QTest::keyClicks(box.lineEdit(), text);
    QTest::keyClick(box.lineEdit(), Qt::Key_Return);
  };
  enter("Data");
  EXPECT_EQ(current, top + "Data/");
  EXPECT_EQ(names(), (QStringList{"Sub", "inner.txt"}));
  EXPECT_EQ(box.currentText(), top + "Data/");
  EXPECT_GE(box.findText(top + "Data/"), 0) << "joins the history";

  enter(top + "missing");
  EXPECT_EQ(log.last(), "Error while attempting to change current local folder to '" + top +
                            "missing/'. Description: there is no such folder");
  EXPECT_EQ(box.currentText(), top + "Data/");
  EXPECT_EQ(current, top + "Data/");

  enter("Sub/../..");
  EXPECT_EQ(current, top);
  EXPECT_EQ(names().size(), 4);

  QTest::keyClicks(box.lineEdit(), "elsewhere");
  QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(box.lineEdit(), &leave);
  EXPECT_EQ(box.currentText(), top);
}

TEST_F(LocalPaneTest, CommandStatesFollowTheSelection) {
  pane->UpdateLocalCommandStates();
  EXPECT_TRUE(states.createFolder);
  EXPECT_FALSE(states.deleteFile || states.rename || states.removeFolder || states.transfer);
  list->selectRow(rowOf("README"));
  pane->UpdateLocalCommandStates();
  EXPECT_TRUE(states.deleteFile && states.rename);
  EXPECT_FALSE(states.removeFolder);
  EXPECT_FALSE(states.transfer) << "upload needs a connection";
  list->selectRow(rowOf("Data"), true);
  pane->UpdateLocalCommandStates();
  EXPECT_TRUE(states.deleteFile);
  EXPECT_TRUE(states.rename) << "two rows: the icon counts as 0";
  EXPECT_FALSE(states.removeFolder);
}

} // namespace

// The own properties and find-files windows.
#include "browse/LocalDialogs.h"

#include <QSignalSpy>

namespace {

TEST(LocalDialogs, PropertiesDescribeTheItem) {
  TempHome temp;
  const QString file = temp.writeFile("p/report.txt", QByteArray(2048, 'r'));
  const auto rows = PropertiesDialog::Describe(file);
  ASSERT_EQ(rows.size(), 7);
  EXPECT_EQ(rows[0].second, "report.txt");
  EXPECT_TRUE(rows[3].second.contains("2,048") || rows[3].second.contains("2048"));
  EXPECT_EQ(rows[5].second.size(), 9);
  EXPECT_EQ(PropertiesDialog::Describe(temp.root() + "/p")[2].second, "Folder");
}

TEST(LocalDialogs, FindFilesSearchesBelowTheFolderAndCanStop) {
  TempHome temp;
  temp.writeFile("f/a.txt", "");
  temp.writeFile("f/sub/deeper/B.TXT", "");
  temp.writeFile("f/sub/c.bin", "");
  FindFilesDialog dialog(temp.root() + "/f");
  dialog.setPattern("*.txt");
  QSignalSpy done(&dialog, &FindFilesDialog::finished);
  dialog.start();
  ASSERT_TRUE(done.wait(5000));
  QStringList names;
  for (const QString& path : dialog.results()) names << QFileInfo(path).fileName();
  names.sort();
  EXPECT_EQ(names, (QStringList{"B.TXT", "a.txt"}));
  dialog.start();
  dialog.stop();
  EXPECT_FALSE(dialog.searching());
}

} // namespace
