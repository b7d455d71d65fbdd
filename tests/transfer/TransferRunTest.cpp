// Uploads and downloads of a selection against the real server, with the File Exists dialog
// answered by script: what is asked, what moves, what the log and the window are told, and how a
// failure ends a run without touching what was not reached.
#include "TransferHarness.h"

#include <QApplication>
#include <QRegularExpression>
#include <QTimer>

#include <sys/resource.h>

#include <csignal>

namespace {

const QDateTime kThen = QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0), Qt::UTC);

using Runs = TransferHarness;

TEST_F(Runs, AbsentOrUnchangedTargetsMoveWithoutAQuestion) {
  writeLocal("new.txt", "new");
  writeLocal("same.txt", "same");
  server->writeFile("same.txt", "same");
  setLocalTime("same.txt", kThen);
  setRemoteTime("same.txt", kThen);
  localRows = {{"new.txt", 3}, {"same.txt", 3}};
  controller->SendSelection();
  EXPECT_EQ(server->readFile("new.txt"), "new");
  EXPECT_EQ(wireCount("STOR same.txt"), 1) << "the same size and date is sent again";
  EXPECT_EQ(dialogsShown(), 0);
  EXPECT_EQ(actions.last(), "Upload complete");
  EXPECT_EQ(abortEnabled, (QList<bool>{true, false}));
  EXPECT_EQ(remoteRefreshes, 1);
  EXPECT_EQ(bar.value(), 0);

  server->writeFile("down.txt", "down");
  // A dot-file is an ordinary file: it is asked about like any other, never replaced unasked.
  server->writeFile(".profile", "remote profile");
  writeLocal(".profile", "local");
  answer("cmdSkip");
  remoteRows = {{"down.txt", 3}, {"same.txt", 3}, {".profile", 3}};
  setLocalTime("same.txt", kThen);
  setRemoteTime("same.txt", kThen);
  controller->ReceiveSelection();
  EXPECT_EQ(readLocal("down.txt"), "down");
  EXPECT_EQ(readLocal(".profile"), "local");
  EXPECT_EQ(wireCount("RETR same.txt"), 1);
  EXPECT_EQ(dialogsShown(), 1);
  EXPECT_EQ(actions.last(), "Download complete");
  EXPECT_EQ(localRefreshes, 1);

  // Nothing selected still ends like a run.
  remoteRows.clear();
  controller->ReceiveSelection();
  EXPECT_EQ(actions.last(), "Download complete");
  EXPECT_EQ(localRefreshes, 2);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Runs, EachAnswerDoesWhatItSaysInBothDirections) {
  const QByteArray whole = randomBytes(300 * 1024);
  const QByteArray part = whole.left(100 * 1024);
  struct Case {
    const char* button;
    QByteArray expected; // the target afterwards
    bool skipped;
  };
  const Case cases[] = {
      {"cmdOverwrite", whole, false}, {"cmdResume", whole, false}, {"cmdSkip", part, true}, {"cmdCancel", part, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    for (bool upload : {true, false}) {
      SCOPED_TRACE(upload ? "upload" : "download");
      log.clear();
      shownLines.clear();
      actionWhenShown.clear();
      aborts = 0;
      writeLocal("f.bin", upload ? whole : part);
      server->writeFile("f.bin", upload ? part : whole);
      answer(c.button);
      if (upload) {
        localRows = {{"f.bin", 3}};
        controller->SendSelection();
      } else {
        remoteRows = {{"f.bin", 3}};
        controller->ReceiveSelection();
      }
      const QByteArray target = upload ? server->readFile("f.bin") : readLocal("f.bin");
      EXPECT_TRUE(target == c.expected) << "target holds " << target.size() << " bytes";
      ASSERT_EQ(shownLines.size(), 1);
      // The dialog names no file: the status bar does, not the outcome of the run before.
      EXPECT_EQ(actionWhenShown[0], upload ? "Sending " + localPath("f.bin") : "Receiving f.bin");
      EXPECT_TRUE(shownLines[0].startsWith(
          QStringLiteral("Source File Size: %1 Last Modified: ").arg(upload ? whole.size() : whole.size())));
      EXPECT_TRUE(
          shownLines[0].contains(QStringLiteral("|Destination File Size: %1 Last Modified: ").arg(part.size())));
      const QString skipLine = upload ? "Skiped sending file: f.bin" : "Skiped Receiving file: f.bin";
      EXPECT_EQ(log.contains(skipLine), c.skipped);
      EXPECT_EQ(aborts, QLatin1String(c.button) == QLatin1String("cmdCancel") ? 1 : 0);
    }
  }
  EXPECT_EQ(wireCount("REST 102400"), 2) << "both resumes start where the target ends";
}

TEST_F(Runs, ApplyToAllHoldsForTheRunAndCancelGoesOnToTheNextRow) {
  const QByteArray whole = randomBytes(64 * 1024);
  const QStringList names = {"a", "b", "c"};
  const auto prepare = [&] {
    for (const QString& n : names) {
      writeLocal(n, whole);
      server->writeFile(n, whole.left(1000));
    }
    writeLocal("fresh", "fresh");
    QFile::remove(server->path("fresh"));
    localRows = {{names[0], 3}, {"fresh", 3}, {names[1], 3}, {names[2], 3}};
  };

  // Resume for all: one question, every conflict resumed, the fresh file sent.
  prepare();
  answer("cmdResume", true);
  controller->SendSelection();
  EXPECT_EQ(dialogsShown(), 1);
  for (const QString& n : names) EXPECT_TRUE(server->readFile(n) == whole) << n.toStdString();
  EXPECT_EQ(server->readFile("fresh"), "fresh");

  // The next run asks again although the box is still checked; Cancel for all skips every later
  // conflict, each with its line and its abort, and still sends the fresh file.
  prepare();
  prompts.clear();
  answer("cmdCancel", true);
  controller->SendSelection();
  EXPECT_EQ(dialogsShown(), 1);
  EXPECT_EQ(boxWhenShown.last(), true);
  EXPECT_EQ(aborts, 3);
  EXPECT_EQ(log.filter("Skiped sending file: ").size(), 3);
  EXPECT_EQ(server->readFile("fresh"), "fresh");

  // Cancel alone skips that file only; the next conflict asks again.
  prepare();
  prompts.clear();
  answer("cmdCancel");
  answer("cmdOverwrite");
  answer("cmdSkip");
  controller->SendSelection();
  EXPECT_EQ(dialogsShown(), 3);
  EXPECT_EQ(server->readFile(names[0]).size(), 1000);
  EXPECT_TRUE(server->readFile(names[1]) == whole);
  EXPECT_EQ(server->readFile(names[2]).size(), 1000);
  EXPECT_EQ(actions.last(), "Upload complete");
}

TEST_F(Runs, TheCloseBoxAnswersCancelAndUnloadsTheDialog) {
  for (const char* n : {"x", "y"}) {
    writeLocal(QString::fromLatin1(n), "local, longer");
    server->writeFile(QString::fromLatin1(n), "remote");
  }
  localRows = {{"x", 3}, {"y", 3}};
  prompts.modalAnswers.push_back([](QDialog* dialog) {
    dialog->findChild<QCheckBox*>("chkAll")->setChecked(true);
    dialog->close();
    return 0;
  });
  controller->SendSelection();
  EXPECT_EQ(dialogsShown(), 1) << "the box was checked when it closed: Cancel holds for the run";
  EXPECT_EQ(aborts, 2);
  EXPECT_EQ(server->readFile("x"), "remote");
  EXPECT_EQ(controller->existDialog(), nullptr);
  EXPECT_TRUE(home.setting("EXIST WIDTH").has_value());

  // Loaded afresh, with the box clear.
  answer("cmdSkip");
  answer("cmdSkip");
  controller->SendSelection();
  EXPECT_EQ(boxWhenShown, (QList<bool>{false, false}));
}

TEST_F(Runs, FoldersGoWholeWithOrWithoutSubfolders) {
  writeLocal("tree/top.txt", "t");
  writeLocal("tree/sub/deep.txt", "d");
  server->writeFile("rtree/top.txt", "T");
  server->writeFile("rtree/sub/deep.txt", "D");
  localRows = {{"tree", 11}};
  remoteRows = {{"rtree", 11}};

  prompts.messageAnswers = {ScriptedPrompts::No, ScriptedPrompts::No};
  controller->SendSelection();
  controller->ReceiveSelection();
  EXPECT_EQ(prompts.messages(),
            (std::vector<QString>{
                "Tidewick [Confirm]|Do you want to send any subfolders that are contained in the '" +
                    localPath("tree") + "' folder?",
                QStringLiteral("Tidewick [Confirm]|Do you want to receive any subfolders that are contained in the "
                               "'rtree' folder?")}));
  EXPECT_EQ(server->readFile("tree/top.txt"), "t");
  EXPECT_FALSE(QFileInfo::exists(server->path("tree/sub/deep.txt")));
  EXPECT_EQ(readLocal("rtree/top.txt"), "T");
  EXPECT_FALSE(QFileInfo::exists(localPath("rtree/sub")));

  prompts.messageAnswers = {ScriptedPrompts::Yes, ScriptedPrompts::Yes};
  controller->SendSelection();
  controller->ReceiveSelection();
  EXPECT_EQ(server->readFile("tree/sub/deep.txt"), "d");
  EXPECT_EQ(readLocal("rtree/sub/deep.txt"), "D");
  EXPECT_EQ(dialogsShown(), 0) << "folders get no target check";
}

TEST_F(Runs, LinksAreProbedAndNamesThatWouldLeaveTheFolderAreSkipped) {
  server->writeFile("real/inside.txt", "in");
  server->writeFile("sub/plain", "plain");
  QFile::link(server->path("real"), server->path("sub/dirlink"));
  ftp.ChangeCurrentFolder("sub");
  remoteRows = {{"dirlink", 10}, {"plain", 10}, {"../escape", 3}, {"..", 11}};
  prompts.messageAnswers = {ScriptedPrompts::No};
  controller->ReceiveSelection();
  EXPECT_EQ(readLocal("dirlink/inside.txt"), "in");
  EXPECT_EQ(readLocal("plain"), "plain") << "a link that cannot be entered is a file";
  EXPECT_EQ(log.filter(" Error number is: ").size(), 1);
  EXPECT_EQ(log.filter(" was skipped. Reason:").size(), 2);
  EXPECT_FALSE(QFileInfo::exists(localDir.path() + "/../escape"));
  EXPECT_EQ(ftp.GetCurrentFolder(), "/sub") << "the probe comes back to where it began";
  EXPECT_EQ(actions.last(), "Download complete");
}

// ---- failures end the run

class FailingRuns : public TransferHarness {
protected:
  FtpServerOptions serverOptions() const override { return {.refuse = {"c.txt"}}; }
  void expectEnded(const QString& completeText) {
    EXPECT_EQ(errors(), 1) << log.join(QLatin1Char('\n')).toStdString();
    EXPECT_FALSE(actions.contains(completeText));
    EXPECT_EQ(actions.last(),
              completeText.section(QLatin1Char(' '), 0, 0) + " stopped: " + log.filter("Error: ").value(0).mid(7));
    EXPECT_EQ(abortEnabled.last(), false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
};

TEST_F(FailingRuns, TheThirdOfFiveFailingEndsTheRunAndLeavesTheRestAlone) {
  const QStringList names = {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"};
  for (const QString& n : names) {
    writeLocal(n, n.toLatin1());
    localRows.push_back({n, 3});
    remoteRows.push_back({n, 3});
  }
  controller->SendSelection();
  expectEnded("Upload complete");
  EXPECT_EQ(remoteRefreshes, 1);
  EXPECT_EQ(server->readFile("b.txt"), "b.txt");
  EXPECT_FALSE(QFileInfo::exists(server->path("d.txt")));

  log.clear();
  for (const QString& n : names) server->writeFile(n, "remote " + n.toLatin1());
  for (const QString& n : names.mid(0, 3)) QFile::remove(localPath(n));
  controller->ReceiveSelection();
  expectEnded("Download complete");
  EXPECT_EQ(readLocal("b.txt"), "remote b.txt");
  EXPECT_EQ(readLocal("d.txt"), "d.txt") << "a file not reached is untouched";
}

TEST_F(FailingRuns, AVanishedLocalFileAndAFullDiskEndTheRun) {
  localRows = {{"gone.txt", 3}, {"never.txt", 3}};
  writeLocal("never.txt", "n");
  controller->SendSelection();
  expectEnded("Upload complete");
  EXPECT_TRUE(log.last().endsWith("gone.txt does not exist"));
  EXPECT_EQ(wireCount("STOR"), 0);

  // A file-size limit stands in for a full disk.
  log.clear();
  server->writeFile("big.bin", randomBytes(1024 * 1024));
  server->writeFile("kept.txt", "remote");
  writeLocal("kept.txt", "local");
  remoteRows = {{"big.bin", 3}, {"kept.txt", 3}};
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  rlimit small = before;
  small.rlim_cur = 256 * 1024;
  setrlimit(RLIMIT_FSIZE, &small);
  controller->ReceiveSelection();
  setrlimit(RLIMIT_FSIZE, &before);
  expectEnded("Download complete");
  EXPECT_TRUE(log.last().startsWith("Error: Cannot write the local file")) << log.last().toStdString();
  EXPECT_EQ(readLocal("kept.txt"), "local");
}

class SlowRuns : public FailingRuns {
protected:
  FtpServerOptions serverOptions() const override {
    return {.throttle = 64 * 1024}; // the server sends a burst a second
  }
};

TEST_F(SlowRuns, ALostConnectionMidFileEndsTheRunKeepingWhatArrivedAndNoRunStartsMeanwhile) {
  const QByteArray content = randomBytes(2 * 1024 * 1024);
  server->writeFile("slow.bin", content);
  remoteRows = {{"slow.bin", 3}};
  // A second run asked for meanwhile is refused; the first goes on.
  QStringList speeds;
  QObject::connect(&ftp, &FtpClient::TransferProgress, [&] {
    speeds << speed.text();
    if (speeds.size() == 1) controller->SendSelection();
  });
  QTimer::singleShot(2300, [this] { server->stop(); });
  controller->ReceiveSelection();
  expectEnded("Download complete");
  const QByteArray arrived = readLocal("slow.bin");
  EXPECT_GT(arrived.size(), 0);
  EXPECT_LT(arrived.size(), content.size());
  EXPECT_TRUE(content.startsWith(arrived)) << "what arrived is the file's start, ready to resume";
  EXPECT_TRUE(log.contains("A transfer is running; wait for it to end or press Abort."));
  // The fourth panel told the speed and the time left while the file came in.
  EXPECT_FALSE(speeds.filter(QRegularExpression("^[0-9.,]+ [KM]i?B/s, \\d+:\\d\\d left$")).isEmpty())
      << speeds.join(QLatin1Char('|')).toStdString();
}

} // namespace
