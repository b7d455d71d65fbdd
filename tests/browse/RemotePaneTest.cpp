// The remote pane against a real FTP server: rows, navigation, history, filters, sorting and
// the enabling of the remote commands.
#include "browse/FileListModel.h"
#include "browse/FilePaneView.h"
#include "browse/IconTable.h"
#include "browse/RemotePane.h"
#include "ftp/FtpClient.h"
#include "support/FtpServerFixture.h"
#include "support/MainWindowRig.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using tidewick::ftp::FtpClient;
using tidewick::test::FtpServerFixture;
using namespace tidewick::browse;

namespace {

class RemotePaneTest : public ::testing::Test {
protected:
  void SetUp() override {
    server.writeFile("README", "read me");
    server.writeFile("pic.JPG", QByteArray(1234, 'j'));
    server.writeFile("notes.txt", QByteArray(99, 'n'));
    server.writeFile("docs/a.txt", "a");
    server.writeFile("docs/b.gif", "b");
    server.writeFile("pub/x", "x");
    QFile::link(server.path("docs"), server.path("docslink"));
    ASSERT_TRUE(server.start());

    list = std::make_unique<FilePaneView>(&model);
    list->setListName("lstRemoteFileList");
    box.setEditable(true);
    PaneServices services;
    services.prompts = &prompts;
    services.DisplayMessage = [this](const QString& line) { log << line; };
    services.UpdateAction = [this](const QString& text) { action = text; };
    services.SetAbortEnabled = [this](bool on) { abortToggles << on; };
    services.ReceiveSelection = [this] { ++downloads; };
    services.ApplyCommandStates = [this](const PaneCommandStates& s) { states = s; };
    pane = std::make_unique<RemotePane>(ftp, list.get(), &box, current, services);

    server.loginFor(ftp);
    ftp.Connect();
    pane->SetNavigationLock(true);
    current = pane->GetRemoteFolder();
    pane->SetNavigationLock(false);
    pane->ListFilesOnServer();
  }

  int rowOf(const QString& name) const { return tidewick::test::rowOf(model, name); }
  QStringList names() const { return tidewick::test::sortedNames(model); }
  QStringList history() const {
    QStringList out;
    for (int i = 0; i < box.count(); ++i) out << box.itemText(i);
    return out;
  }

  FtpServerFixture server;
  FtpClient ftp;
  FileListModel model{nullptr};
  std::unique_ptr<FilePaneView> list;
  QComboBox box;
  QString current;
  ScriptedPrompts prompts;
  QStringList log;
  QString action;
  QList<bool> abortToggles;
  int downloads = 0;
  PaneCommandStates states;
  std::unique_ptr<RemotePane> pane;
};

TEST_F(RemotePaneTest, RowsCarryIconSizeDateAndKind) {
  ASSERT_EQ(names(), (QStringList{"README", "docs", "docslink", "notes.txt", "pic.JPG", "pub"}));
  const FileRow& readme = model.row(rowOf("README"));
  EXPECT_EQ(readme.icon, kIconText) << "no extension in the table: shown as text, counted as a file";
  EXPECT_EQ(readme.kind, QLatin1Char('F'));
  EXPECT_EQ(model.text(rowOf("pic.JPG"), FileListModel::SizeColumn), "1234");
  EXPECT_EQ(model.row(rowOf("pic.JPG")).icon, kIconPicture);
  EXPECT_EQ(model.row(rowOf("docs")).icon, kIconFolder);
  EXPECT_EQ(model.row(rowOf("docs")).kind, QLatin1Char('D'));
  EXPECT_FALSE(model.text(rowOf("notes.txt"), FileListModel::DateColumn).isEmpty());
  EXPECT_EQ(current, "/");
  EXPECT_EQ(history(), QStringList{"/"});
}

TEST_F(RemotePaneTest, NavigatesByDoubleClickPathBoxUpAndTypedFolder) {
  pane->RowDoubleClicked(rowOf("docs"));
  EXPECT_EQ(current, "/docs");
  EXPECT_EQ(names(), (QStringList{"a.txt", "b.gif"}));
  EXPECT_EQ(history(), (QStringList{"/", "/docs"}));
  EXPECT_FALSE(pane->NavigationLocked());
  EXPECT_EQ(action, "");

  // A file downloads on double-click.
  pane->RowDoubleClicked(rowOf("a.txt"));
  EXPECT_EQ(downloads, 1);

  pane->GoUpOneLevel();
  EXPECT_EQ(log.last(), "Remote path now up one folder.");
  EXPECT_EQ(ftp.GetCurrentFolder(), "/");
  EXPECT_EQ(names().size(), 6);
  EXPECT_EQ(action, "") << "the listing's text does not outlive it";
  pane->GoUpOneLevel();
  EXPECT_EQ(log.last(), "Remote path already at a root folder.");

  // Choosing a history entry navigates; a typed folder too.
  pane->PathBoxSelected(1);
  EXPECT_EQ(current, "/docs");
  EXPECT_EQ(names(), (QStringList{"a.txt", "b.gif"}));
  prompts.textAnswers.push_back("/pub");
  pane->GoToTypedFolder();
  EXPECT_EQ(current, "/pub");
  EXPECT_EQ(names(), QStringList{"x"});
}

TEST_F(RemotePaneTest, ALinkToAFolderIsEnteredAndTheHistoryIgnoresCase) {
  const FileRow& link = model.row(rowOf("docslink"));
  if (link.kind == QLatin1Char('E')) {
    EXPECT_EQ(link.icon, kIconOther);
  }
  pane->RowDoubleClicked(rowOf("docslink"));
  EXPECT_EQ(downloads, 0);
  EXPECT_EQ(names(), (QStringList{"a.txt", "b.gif"}));

  box.clear();
  box.addItem("/pub");
  pane->SetNavigationLock(true);
  pane->AddToRemotePaths("/Pub");
  EXPECT_EQ(history(), QStringList{"/pub"});
  EXPECT_EQ(box.currentText(), "/Pub");
}

TEST_F(RemotePaneTest, FiltersListOnlyMatchingItemsAndNothingOpensWhenDisconnected) {
  prompts.textAnswers.push_back("*.txt");
  pane->FilterDefineTypes();
  EXPECT_EQ(names(), QStringList{"notes.txt"});
  EXPECT_EQ(abortToggles, (QList<bool>{true, false}));
  pane->FilterDefineTypes();
  EXPECT_EQ(prompts.messages().back(), "Define Type For Remote Server Directory Listing|No command entered, quiting");
  pane->FilterAll();
  EXPECT_EQ(names().size(), 6);

  // Not connected, a double-click does nothing.
  ftp.Disconnect();
  pane->RowDoubleClicked(rowOf("docs"));
  EXPECT_EQ(current, "/");
  EXPECT_FALSE(pane->NavigationLocked());
}

TEST_F(RemotePaneTest, HeaderClicksToggleOneOrderAndLaterListingsStaySorted) {
  const auto files = [this] {
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r)
      if (model.row(r).kind == QLatin1Char('F')) out << model.row(r).name;
    return out;
  };
  pane->HeaderClicked(FileListModel::SizeColumn);
  EXPECT_EQ(files(), (QStringList{"pic.JPG", "notes.txt", "README"})) << "first descending, by number: 1234, 99, 7";
  pane->HeaderClicked(FileListModel::SizeColumn);
  EXPECT_EQ(files(), (QStringList{"README", "notes.txt", "pic.JPG"}));
  pane->HeaderClicked(FileListModel::NameColumn);
  EXPECT_EQ(model.row(0).name, "README") << "descending again: one toggle for all columns";

  server.writeFile("zzz.txt", "z");
  pane->Refresh();
  EXPECT_EQ(model.row(0).name, "zzz.txt") << "a new listing is sorted the same way";
  pane->RowDoubleClicked(rowOf("docs"));
  EXPECT_EQ(model.row(0).name, "b.gif");
}

// Enter in the path box goes where the text says, or says why not and names the listed folder
// again: whatever the box names is where the server is, so a new folder lands there.
TEST_F(RemotePaneTest, ThePathBoxAlwaysNamesTheFolderListed) {
  QStringList sent;
  QObject::connect(&ftp, &FtpClient::LogMessage, [&sent](const QString& line) {
    for (const char* verb : {"CWD ", "LIST", "MLSD", "NLST"})
      if (line.startsWith(QLatin1String(verb))) sent << line.left(4);
  });
  const auto enter = [this, &sent](const QString& text) {
    sent.clear();
    box.lineEdit()->clear();
    QTest::keyClicks(box.lineEdit(), text);
    QTest::keyClick(box.lineEdit(), Qt::Key_Return);
  };
  enter("/docs");
  EXPECT_EQ(current, "/docs");
  EXPECT_EQ(names(), (QStringList{"a.txt", "b.gif"}));
  EXPECT_EQ(box.currentText(), "/docs");
  EXPECT_EQ(history(), (QStringList{"/", "/docs"}));
  ASSERT_EQ(sent.size(), 2) << "one change of folder and one listing: " << sent.join(' ').toStdString();
  EXPECT_EQ(sent.first(), "CWD ");
  enter("/");
  EXPECT_EQ(sent.size(), 2) << "a folder already in the history likewise: " << sent.join(' ').toStdString();
  enter("/doc");
  EXPECT_TRUE(log.last().startsWith("Error: ")) << "the folder typed, not one of the history";
  EXPECT_EQ(current, "/");
  enter("docs");
  EXPECT_EQ(current, "/docs");
  EXPECT_FALSE(pane->NavigationLocked());
  ftp.CreateFolder("made");
  EXPECT_TRUE(QFileInfo(server.path("docs/made")).isDir());

  enter("/nowhere");
  EXPECT_TRUE(log.last().startsWith("Error: ")) << log.last().toStdString();
  EXPECT_EQ(box.currentText(), "/docs");
  EXPECT_EQ(current, "/docs");
  EXPECT_EQ(ftp.GetCurrentFolder(), "/docs");

  // A history entry the server refuses now is not named either.
  QDir(server.path("pub")).removeRecursively();
  box.addItem("/pub");
  box.setCurrentIndex(box.count() - 1); // as the user's choice of it
  pane->PathBoxSelected(box.count() - 1);
  EXPECT_EQ(box.currentText(), "/docs");
  EXPECT_EQ(current, "/docs");

  // Text typed and left without Enter goes back to the folder shown.
  QTest::keyClicks(box.lineEdit(), "/elsewhere");
  QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(box.lineEdit(), &leave);
  EXPECT_EQ(box.currentText(), "/docs");
}

TEST_F(RemotePaneTest, CommandStatesFollowTheSelection) {
  list->clearSelection();
  pane->UpdateRemoteCommandStates();
  EXPECT_FALSE(states.deleteFile || states.rename || states.removeFolder || states.transfer);

  list->selectRow(rowOf("docs"));
  pane->UpdateRemoteCommandStates();
  EXPECT_FALSE(states.deleteFile);
  EXPECT_FALSE(states.rename);
  EXPECT_TRUE(states.removeFolder);
  EXPECT_TRUE(states.transfer);

  list->selectRow(rowOf("README"), true);
  pane->UpdateRemoteCommandStates();
  EXPECT_TRUE(states.deleteFile);
  EXPECT_TRUE(states.rename) << "two rows: the icon counts as 0";
  EXPECT_FALSE(states.removeFolder);
  EXPECT_TRUE(states.transfer);
}

} // namespace
