// File commands on both sides: confirmations, prompts, failures, and what ends up on disk.
#include "browse/FileListModel.h"
#include "browse/FileOperations.h"
#include "browse/FilePaneView.h"
#include "browse/LocalFileSystem.h"
#include "browse/LocalPane.h"
#include "browse/RemotePane.h"
#include "ftp/FtpClient.h"
#include "support/FtpServerFixture.h"
#include "support/MainWindowRig.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>

using namespace tidewick::test;
using tidewick::ftp::FtpClient;
using tidewick::ui::UserPrompts;
using namespace tidewick::browse;

namespace {

class FileOperationsTest : public ::testing::Test {
protected:
  explicit FileOperationsTest(FtpServerOptions options = {}) : server(std::move(options)) {}

  void SetUp() override {
    temp.writeFile("t/a.txt", "a");
    temp.writeFile("t/b.txt", "b");
    temp.writeFile("t/README", "r");
    temp.writeFile("t/full/x", "x");
    localFolder = temp.root() + "/t/";
    server.writeFile("f.txt", "f");
    server.writeFile("g.txt", "g");
    server.writeFile("pub/keep", "k");
    ASSERT_TRUE(server.start());

    PaneServices services;
    services.prompts = &prompts;
    services.DisplayMessage = [this](const QString& line) { log << line; };
    services.UpdateAction = [](const QString&) {};
    services.SetAbortEnabled = [](bool) {};
    localList = std::make_unique<FilePaneView>(&localModel);
    remoteList = std::make_unique<FilePaneView>(&remoteModel);
    localPane = std::make_unique<LocalPane>(local, ftp, localList.get(), &localBox, localFolder, services);
    remotePane = std::make_unique<RemotePane>(ftp, remoteList.get(), &remoteBox, remoteFolder, services);
    ops = std::make_unique<FileOperations>(local, ftp, *localPane, *remotePane, localFolder, services);

    QObject::connect(&ftp, &FtpClient::LogMessage, [this](const QString& line) { wire << line; });
    server.loginFor(ftp);
    ftp.Connect();
    remotePane->SetNavigationLock(true);
    remoteFolder = remotePane->GetRemoteFolder();
    remotePane->SetNavigationLock(false);
    remotePane->RefreshRemoteList();
    localPane->RefreshLocalList();
  }

  bool sent(const QString& verb) const { return !wire.filter(verb).isEmpty(); }

  TempHome temp;
  FtpServerFixture server;
  ScriptedPrompts prompts;
  LocalFileSystem local{prompts, nullptr};
  FtpClient ftp;
  FileListModel localModel{nullptr};
  FileListModel remoteModel{nullptr};
  std::unique_ptr<FilePaneView> localList, remoteList;
  QComboBox localBox, remoteBox;
  QString localFolder, remoteFolder;
  QStringList log;  // the window's own lines
  QStringList wire; // what the engine logs: every command sent
  std::unique_ptr<LocalPane> localPane;
  std::unique_ptr<RemotePane> remotePane;
  std::unique_ptr<FileOperations> ops;
};

TEST_F(FileOperationsTest, LocalDeleteGoesOnAfterAFailure) {
  selectRows(localList.get(), {"a.txt", "full", "b.txt"});
  prompts.messageAnswers.push_back(UserPrompts::Yes);
  ops->DeleteLocalFiles();
  EXPECT_EQ(prompts.messages(),
            (std::vector<QString>{"Tidewick [Confirm]|Are you sure you want to delete the selected local file(s)?",
                                  "Tidewick [Notice]|Cannot delete " + localFolder + "full"}));
  EXPECT_FALSE(QFile::exists(localFolder + "a.txt"));
  EXPECT_FALSE(QFile::exists(localFolder + "b.txt"));
  EXPECT_EQ(localModel.rowCount(), 2) << "listed again once at the end";
}

TEST_F(FileOperationsTest, LocalFoldersAndPrompts) {
  ops->CreateLocalFolder(); // cancelled
  EXPECT_EQ(QDir(localFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
  prompts.textAnswers.push_back("made");
  ops->CreateLocalFolder();
  EXPECT_TRUE(QFileInfo(localFolder + "made").isDir());
  EXPECT_GE(rowOf(localModel, "made"), 0);

  selectRows(localList.get(), {"full"});
  prompts.messageAnswers.push_back(UserPrompts::Yes);
  ops->RemoveLocalFolder();
  EXPECT_EQ(prompts.messages().back(), "Tidewick [Notice]|Cannot remove " + localFolder +
                                           "full ... Folder may contain files or is write protected or is in use! ");
  EXPECT_TRUE(QFile::exists(localFolder + "full/x"));

  selectRows(localList.get(), {"a.txt"});
  prompts.messageAnswers.push_back(UserPrompts::Yes);
  prompts.textAnswers.push_back("renamed.txt");
  ops->RenameLocalFile();
  EXPECT_TRUE(QFile::exists(localFolder + "renamed.txt"));
}

TEST_F(FileOperationsTest, RenamingInPlaceAsksAboutChangedExtensionsAndRefusesExistingNames) {
  const int a = rowOf(localModel, "a.txt");
  EXPECT_TRUE(ops->LocalEditFinished(a, "c.txt"));
  EXPECT_TRUE(prompts.asked.empty()) << "same extension: no question";

  prompts.messageAnswers.push_back(UserPrompts::No);
  EXPECT_FALSE(ops->LocalEditFinished(rowOf(localModel, "c.txt"), "c.TXT"));
  EXPECT_EQ(prompts.messages().back(),
            "Tidewick|Are you sure to exchange the file extension from: \"txt\" to: \"TXT\"");
  EXPECT_TRUE(QFile::exists(localFolder + "c.txt"));

  prompts.messageAnswers.push_back(UserPrompts::Yes);
  EXPECT_TRUE(ops->LocalEditFinished(rowOf(localModel, "README"), "README2"));
  EXPECT_EQ(prompts.messages().back(),
            "Tidewick|Are you sure to exchange the file extension from: \"README\" to: \"README2\"");
  EXPECT_TRUE(QFile::exists(localFolder + "README2"));

  EXPECT_FALSE(ops->LocalEditFinished(rowOf(localModel, "c.txt"), "b.txt"));
  EXPECT_EQ(prompts.messages().back(), "Tidewick|File name exists in folder? no way!");
  EXPECT_EQ(TempHome::readFile(localFolder + "b.txt"), "b") << "nothing overwritten";

  EXPECT_FALSE(ops->LocalEditFinished(rowOf(localModel, "c.txt"), "../out.txt"));
  EXPECT_FALSE(QFile::exists(temp.root() + "/out.txt"));
}

TEST_F(FileOperationsTest, RemoteCommandsChangeTheServerAndLogRefusals) {
  selectRows(remoteList.get(), {"f.txt"});
  prompts.messageAnswers.push_back(UserPrompts::Yes);
  prompts.textAnswers.push_back("h.txt");
  ops->RenameRemoteFile();
  EXPECT_TRUE(QFile::exists(server.path("h.txt")));
  EXPECT_GE(rowOf(remoteModel, "h.txt"), 0);

  prompts.textAnswers.push_back("newdir");
  ops->CreateRemoteFolder();
  EXPECT_TRUE(QFileInfo(server.path("newdir")).isDir());

  selectRows(remoteList.get(), {"h.txt", "g.txt"});
  prompts.messageAnswers.push_back(UserPrompts::Yes);
  prompts.textAnswers.push_back("pub");
  prompts.textAnswers.push_back("/newdir/");
  ops->MoveRemoteItems();
  EXPECT_TRUE(QFile::exists(server.path("pub/h.txt")));
  EXPECT_TRUE(QFile::exists(server.path("newdir/g.txt")));

  selectRows(remoteList.get(), {"pub"});
  prompts.messageAnswers.push_back(UserPrompts::Yes);
  ops->RemoveRemoteFolder();
  EXPECT_TRUE(log.last().startsWith("Error: ")) << "not empty: refused";
  EXPECT_TRUE(QFileInfo(server.path("pub")).isDir());

  selectRows(remoteList.get(), {"newdir"});
  remotePane->RowDoubleClicked(rowOf(remoteModel, "newdir"));
  selectRows(remoteList.get(), {"g.txt"});
  prompts.messageAnswers.push_back(UserPrompts::Yes);
  ops->DeleteRemoteFiles();
  EXPECT_FALSE(QFile::exists(server.path("newdir/g.txt")));
  EXPECT_EQ(remoteModel.rowCount(), 0);
}

// Emptying the trash reaches the user's trash on every volume: $topdir/.Trash/$uid inside a shared
// .Trash that is a real folder with the sticky bit, and $topdir/.Trash-$uid. What a link in a
// trash points to is never touched.
TEST_F(FileOperationsTest, EmptyingTheTrashReachesEveryVolumeAndFollowsNoLink) {
  const QString uid = QString::number(getuid());
  const QString volume = temp.root() + "/volume";
  const QString shared = volume + "/.Trash";
  temp.writeFile("volume/.Trash/" + uid + "/files/old.txt", "old");
  temp.writeFile("volume/.Trash-" + uid + "/files/older.txt", "older");
  ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
  temp.writeFile("open/.Trash/" + uid + "/files/x", "x"); // no sticky bit
  QDir(temp.root()).mkpath("linked");
  QFile::link(shared, temp.root() + "/linked/.Trash");

  const QStringList trashes =
      FileOperations::TrashFolders({volume, temp.root() + "/open", temp.root() + "/linked", "/"});
  EXPECT_EQ(trashes.mid(1), (QStringList{shared + QLatin1Char('/') + uid, volume + "/.Trash-" + uid}));

  const QString precious = temp.writeFile("precious/keep.txt", "keep");
  QFile::link(QFileInfo(precious).absolutePath(), shared + QLatin1Char('/') + uid + "/info");
  ops->EmptyTrashFolders(trashes.mid(1));
  EXPECT_FALSE(QFile::exists(shared + QLatin1Char('/') + uid + "/files/old.txt"));
  EXPECT_FALSE(QFile::exists(volume + "/.Trash-" + uid + "/files/older.txt"));
  EXPECT_EQ(TempHome::readFile(precious), "keep");
}

// A rename or move onto a name that exists replaces nothing, by dialog, by Move or in place, and
// nothing of it goes to the server.
TEST_F(FileOperationsTest, RemoteRenamesAndMovesNeverReplaceAName) {
  server.writeFile("pub/f.txt", "pub's own");
  selectRows(remoteList.get(), {"f.txt"});
  prompts.messageAnswers.push_back(UserPrompts::Yes);
  prompts.textAnswers.push_back("g.txt");
  ops->RenameRemoteFile();
  EXPECT_EQ(log.last(), "Error: The name g.txt exists in the folder already; nothing was renamed");

  selectRows(remoteList.get(), {"f.txt"});
  prompts.messageAnswers.push_back(UserPrompts::Yes);
  prompts.textAnswers.push_back("pub");
  ops->MoveRemoteItems();
  EXPECT_EQ(log.last(), "Error: The name pub/f.txt exists in the folder already; nothing was renamed");

  EXPECT_FALSE(ops->RemoteEditFinished(rowOf(remoteModel, "f.txt"), "g.txt"));
  EXPECT_EQ(prompts.messages().back(), "Tidewick|File name exists in folder? no way!");

  EXPECT_FALSE(sent("RNFR"));
  EXPECT_EQ(server.readFile("g.txt"), "g");
  EXPECT_EQ(server.readFile("pub/f.txt"), "pub's own");
  EXPECT_EQ(server.readFile("f.txt"), "f");
}

// A prompt cancelled or answered with blanks leads to nothing: no command, no log line.
TEST_F(FileOperationsTest, CancelledOrBlankPromptsSendAndLogNothing) {
  const int wireBefore = wire.size();
  for (const QString& answer : QStringList{QString(), "   "}) {
    selectRows(remoteList.get(), {"f.txt"});
    prompts.messageAnswers.push_back(UserPrompts::Yes);
    prompts.textAnswers.push_back(answer);
    ops->RenameRemoteFile();
    prompts.textAnswers.push_back(answer);
    ops->CreateRemoteFolder();
    prompts.messageAnswers.push_back(UserPrompts::Yes);
    prompts.textAnswers.push_back(answer);
    ops->MoveRemoteItems();
    prompts.textAnswers.push_back(answer);
    remotePane->GoToTypedFolder();
    EXPECT_EQ(prompts.messages().back(), "Remote Server Custom Command|No command entered, quiting");
    prompts.textAnswers.push_back(answer);
    ops->CreateLocalFolder();
  }
  EXPECT_EQ(wire.mid(wireBefore), QStringList());
  EXPECT_TRUE(log.isEmpty()) << log.join('\n').toStdString();
  EXPECT_EQ(QDir(localFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}

// Without MLST the engine cannot see folders; the listing just read still tells the pane.
class FileOperationsWithoutMlst : public FileOperationsTest {
protected:
  static FtpServerOptions withoutMlst() { return {.mlsd = false}; }
  FileOperationsWithoutMlst() : FileOperationsTest(withoutMlst()) {}
};

TEST_F(FileOperationsWithoutMlst, ListedFoldersAreNotReplacedEither) {
  prompts.textAnswers.push_back("empty");
  ops->CreateRemoteFolder();
  selectRows(remoteList.get(), {"pub"});
  prompts.messageAnswers.push_back(UserPrompts::Yes);
  prompts.textAnswers.push_back("empty");
  ops->RenameRemoteFile();
  EXPECT_EQ(log.last(), "Error: The name empty exists in the folder already; nothing was renamed");
  EXPECT_FALSE(sent("RNFR"));
  EXPECT_TRUE(QFile::exists(server.path("pub/keep")));
}

} // namespace
