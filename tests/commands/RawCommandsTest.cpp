// Raw commands against a real server: what reaches it, exactly; what an empty answer does; and the
// one-file receive and send by a typed name, from the menu and as typed RETR and STOR lines.
#include "ConnectedMain.h"

#include "commands/RemoteCommands.h"

#include <QComboBox>
#include <QFile>
#include <QRegularExpression>

namespace {

using tidewick::commands::RemoteCommands;

class RawCommands : public ConnectedMain {};

TEST_F(RawCommands, TypedPartsAndWholeLinesReachTheServerExactlyAsTypedAndAnEmptyAnswerSendsNothing) {
  for (const char* entry :
       {"mnuRemoteFtpCommandsCwd", "mnuRemoteFtpCommandsQuote", "mnuRemoteSendCommand", "mnuRemoteManualFileReceive",
        "mnuRemoteManualPut", "mnuRemoteFtpCommandsRetr", "mnuRemoteFtpCommandsStor"}) {
    prompts.clear();
    window->menuEntry(entry)->trigger();
    EXPECT_EQ(prompts.messages(), std::vector<QString>{RemoteCommands::PromptTitle() + "|No command entered, quiting"})
        << entry;
  }
  EXPECT_TRUE(sent().isEmpty()) << sent().join('|').toStdString();

  prompts.clear();
  prompts.textAnswers = {"NOOP", "syst  x"};
  window->SendFtpCommand("QUOTE");
  window->SendCustomCommand();
  window->SendFtpCommand("PWD");
  EXPECT_EQ(sent(), (QStringList{"QUOTE NOOP", "syst  x", "PWD"}));
  for (const auto& a : prompts.asked) EXPECT_EQ(a.title, RemoteCommands::PromptTitle());
  EXPECT_TRUE(logLines().contains("257 \"/\" is the current directory.")) << "the reply is logged";

  // A folder changed by hand is the folder shown: a delete of a row now acts where the list says.
  prompts.textAnswers = {"b", "cdup"};
  window->SendFtpCommand("CWD");
  EXPECT_EQ(names(window->lstRemoteFileList), QStringList{"inside.txt"});
  EXPECT_EQ(window->CurrentRemoteFolder, "/b");
  EXPECT_EQ(window->cboRemotePath->currentText(), "/b");
  window->SendCustomCommand();
  EXPECT_EQ(names(window->lstRemoteFileList), (QStringList{"a.txt", "b", "readme.txt"}));
  EXPECT_EQ(window->CurrentRemoteFolder, "/");
  EXPECT_EQ(window->cboRemotePath->currentText(), "/");
  const qsizetype before = sent().size();

  // A line break would smuggle in a second command: nothing is sent.
  prompts.textAnswers = {"NOOP\r\nDELE a.txt"};
  window->SendCustomCommand();
  EXPECT_EQ(sent().size(), before);
  EXPECT_TRUE(logLines().last().startsWith("Error: The command was not sent"));
  EXPECT_TRUE(server.readFile("a.txt") == "a");
}

TEST_F(RawCommands, ManualReceiveAndSendUseTheCurrentFoldersAndNeverWriteOutsideOrThroughALink) {
  prompts.textAnswers = {"readme.txt"};
  window->ManualFileReceive();
  EXPECT_EQ(TempHome::readFile(local.filePath("readme.txt")), "read me\n");
  EXPECT_TRUE(names(window->lstLocalFileList).contains("readme.txt")) << "the local list is new";
  EXPECT_EQ(sent().filter("RETR"), QStringList{"RETR readme.txt"});

  // Typed as lines, RETR and STOR go the same way, sent exactly as typed.
  QFile::remove(local.filePath("readme.txt"));
  writeLocal("up load.txt", "up");
  prompts.textAnswers = {"retr readme.txt", "STOR up load.txt"};
  window->SendCustomCommand();
  window->SendCustomCommand();
  EXPECT_TRUE(QFile::exists(local.filePath("readme.txt")));
  EXPECT_EQ(server.readFile("up load.txt"), "up");
  EXPECT_TRUE(names(window->lstRemoteFileList).contains("up load.txt")) << "the remote list is new";
  EXPECT_TRUE(sent().contains("retr readme.txt"));
  EXPECT_TRUE(sent().contains("STOR up load.txt"));

  // The menu's send replaces an existing remote file from its beginning.
  prompts.textAnswers = {"up load.txt"};
  writeLocal("up load.txt", "u");
  window->ManualFileSend();
  EXPECT_EQ(server.readFile("up load.txt"), "u");

  // A receive never writes outside the local folder or through a link.
  const QString outside = local.filePath("../tidewick-outside.txt");
  QFile::remove(outside);
  QFile::remove(local.filePath("readme.txt"));
  ASSERT_TRUE(QFile::link(local.filePath("elsewhere.txt"), local.filePath("readme.txt")));
  prompts.textAnswers = {"../tidewick-outside.txt", "readme.txt", "RETR ../tidewick-outside.txt"};
  window->ManualFileReceive();
  window->ManualFileReceive();
  window->SendCustomCommand();
  EXPECT_FALSE(QFile::exists(outside));
  EXPECT_FALSE(QFile::exists(local.filePath("elsewhere.txt")));
  EXPECT_EQ(sent().filter(QRegularExpression("^RETR", QRegularExpression::CaseInsensitiveOption)).size(), 2);
  EXPECT_EQ(logLines().filter("Error: ").size(), 3);

  // A file the server does not have: its error, and no file left behind.
  prompts.textAnswers = {"missing.txt"};
  window->ManualFileReceive();
  EXPECT_TRUE(logLines().last().startsWith("Error: RETR missing.txt failed: 550")) << logLines().last().toStdString();
  EXPECT_FALSE(QFile::exists(local.filePath("missing.txt")));
}

} // namespace
