// Raw commands against a real server: what reaches it, exactly; what an empty answer does; and the
// one-file receive and send by a typed name, from the menu and as typed RETR and STOR lines.
#include "ConnectedMain.h"

#include "commands/RemoteCommands.h"

#include <QComboBox>
#include <QFile>

namespace {

using tidewick::commands::RemoteCommands;

class RawCommands : public ConnectedMain {};

TEST_F(RawCommands, TypedPartsAndWholeLinesReachTheServerExactlyAsTyped) {
  prompts.textAnswers = {QStringLiteral("NOOP"), QStringLiteral("syst  x")};
  window->SendFtpCommand(QStringLiteral("QUOTE"));
  window->SendCustomCommand();
  window->SendFtpCommand(QStringLiteral("PWD"));
  EXPECT_EQ(sent(), (QStringList{"QUOTE NOOP", "syst  x", "PWD"}));
  for (const auto& a : prompts.asked) EXPECT_EQ(a.title, RemoteCommands::PromptTitle());
  EXPECT_TRUE(logLines().contains(QStringLiteral("257 \"/\" is the current directory."))) << "the reply is logged";

  // A folder changed by hand is the folder shown: a delete of a row now acts where the list says.
  for (const char* typed : {"b", "cdup"}) {
    prompts.textAnswers = {QString::fromLatin1(typed)};
    if (QByteArray(typed) == "cdup") window->SendCustomCommand();
    else window->SendFtpCommand(QStringLiteral("CWD"));
    const bool inB = QByteArray(typed) == "b";
    EXPECT_EQ(names(window->lstRemoteFileList),
              inB ? QStringList{"inside.txt"} : (QStringList{"a.txt", "b", "readme.txt"}))
        << typed;
    EXPECT_EQ(window->CurrentRemoteFolder, inB ? QStringLiteral("/b") : QStringLiteral("/")) << typed;
    EXPECT_EQ(window->cboRemotePath->currentText(), window->CurrentRemoteFolder) << typed;
  }
  const qsizetype before = sent().size();

  // A line break would smuggle in a second command: nothing is sent.
  prompts.textAnswers = {QStringLiteral("NOOP\r\nDELE a.txt")};
  window->SendCustomCommand();
  EXPECT_EQ(sent().size(), before);
  EXPECT_TRUE(logLines().last().startsWith(QStringLiteral("Error: The command was not sent")));
  EXPECT_TRUE(server.readFile(QStringLiteral("a.txt")) == "a");
}

TEST_F(RawCommands, AnEmptyAnswerSendsNothingAndSaysSo) {
  for (const char* entry :
       {"mnuRemoteFtpCommandsCwd", "mnuRemoteFtpCommandsQuote", "mnuRemoteSendCommand", "mnuRemoteManualFileReceive",
        "mnuRemoteManualPut", "mnuRemoteFtpCommandsRetr", "mnuRemoteFtpCommandsStor"}) {
    prompts.clear();
    window->menuEntry(QString::fromLatin1(entry))->trigger();
    EXPECT_EQ(prompts.messages(),
              std::vector<QString>{RemoteCommands::PromptTitle() + QStringLiteral("|No command entered, quiting")})
        << entry;
  }
  EXPECT_TRUE(sent().isEmpty()) << sent().join(QLatin1Char('|')).toStdString();
}

TEST_F(RawCommands, ManualReceiveAndSendUseTheCurrentFolders) {
  prompts.textAnswers = {QStringLiteral("readme.txt")};
  window->ManualFileReceive();
  QFile received(local.filePath(QStringLiteral("readme.txt")));
  ASSERT_TRUE(received.open(QIODevice::ReadOnly));
  EXPECT_EQ(received.readAll(), "read me\n");
  EXPECT_TRUE(names(window->lstLocalFileList).contains(QStringLiteral("readme.txt"))) << "the local list is new";
  EXPECT_EQ(sent().filter(QStringLiteral("RETR")), QStringList{"RETR readme.txt"});

  // Typed as lines, RETR and STOR go the same way, sent exactly as typed.
  QFile::remove(local.filePath(QStringLiteral("readme.txt")));
  QFile upload(local.filePath(QStringLiteral("up load.txt")));
  ASSERT_TRUE(upload.open(QIODevice::WriteOnly));
  upload.write("up");
  upload.close();
  prompts.textAnswers = {QStringLiteral("retr readme.txt"), QStringLiteral("STOR up load.txt")};
  window->SendCustomCommand();
  window->SendCustomCommand();
  EXPECT_TRUE(QFile::exists(local.filePath(QStringLiteral("readme.txt"))));
  EXPECT_EQ(server.readFile(QStringLiteral("up load.txt")), "up");
  EXPECT_TRUE(names(window->lstRemoteFileList).contains(QStringLiteral("up load.txt"))) << "the remote list is new";
  EXPECT_TRUE(sent().contains(QStringLiteral("retr readme.txt")));
  EXPECT_TRUE(sent().contains(QStringLiteral("STOR up load.txt")));

  // The menu's send replaces an existing remote file from its beginning.
  prompts.textAnswers = {QStringLiteral("up load.txt")};
  upload.open(QIODevice::WriteOnly | QIODevice::Truncate);
  upload.write("u");
  upload.close();
  window->ManualFileSend();
  EXPECT_EQ(server.readFile(QStringLiteral("up load.txt")), "u");
}

TEST_F(RawCommands, AReceiveNeverWritesOutsideTheLocalFolderOrThroughALink) {
  const QString outside = local.filePath(QStringLiteral("../tidewick-outside.txt"));
  QFile::remove(outside);
  QFile::link(local.filePath(QStringLiteral("elsewhere.txt")), local.filePath(QStringLiteral("readme.txt")));
  prompts.textAnswers = {QStringLiteral("../tidewick-outside.txt"), QStringLiteral("readme.txt"),
                         QStringLiteral("RETR ../tidewick-outside.txt")};
  window->ManualFileReceive();
  window->ManualFileReceive();
  window->SendCustomCommand();
  EXPECT_FALSE(QFile::exists(outside));
  EXPECT_FALSE(QFile::exists(local.filePath(QStringLiteral("elsewhere.txt"))));
  EXPECT_TRUE(sent().filter(QStringLiteral("RETR")).isEmpty());
  EXPECT_EQ(logLines().filter(QStringLiteral("Error: ")).size(), 3);

  // A file the server does not have: its error, and no file left behind.
  prompts.textAnswers = {QStringLiteral("missing.txt")};
  window->ManualFileReceive();
  EXPECT_TRUE(logLines().last().startsWith(QStringLiteral("Error: RETR missing.txt failed: 550")))
      << logLines().last().toStdString();
  EXPECT_FALSE(QFile::exists(local.filePath(QStringLiteral("missing.txt"))));
}

} // namespace
