// The transfer queue window against the real test server: rows taken from the panes, the total,
// sorting and removing, queue files through its menu and shared with the headless runner, runs
// that fail, folder rows, and Abort.
#include "ftp/FtpClient.h"
#include "queue/QueueModel.h"
#include "queue/frmQue.h"
#include "support/FtpServerFixture.h"
#include "support/MainWindowRig.h"
#include "support/ServerProcess.h"
#include "support/SshdFixture.h"
#include "support/TempHome.h"
#include "support/TestCertificates.h"
#include "transfer/QueueFile.h"

#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

namespace {

using tidewick::ftp::FtpClient;
using tidewick::queue::frmQue;
using tidewick::queue::PaneItem;
using tidewick::queue::QueueDirection;
using tidewick::queue::QueueModel;
using tidewick::test::FtpServerFixture;
using tidewick::test::FtpServerOptions;
using tidewick::test::SshdFixture;
using tidewick::test::TestCertificate;
using tidewick::transfer::QueueRow;
using Icon = tidewick::ui::UserPrompts::Icon;
using Answer = tidewick::ui::UserPrompts::CertificateAnswer;

constexpr int kFile = 1, kLink = 10, kFolder = 11;

class QueueWindow : public ::testing::Test {
protected:
  virtual FtpServerOptions serverOptions() const { return {}; }

  void SetUp() override {
    server = std::make_unique<FtpServerFixture>(serverOptions());
    ASSERT_TRUE(server->start());
    server->loginFor(ftp);
    ftp.Connect();
    tidewick::queue::QueueServices services;
    services.prompts = &prompts;
    services.DisplayMessage = [this](const QString& line) { log << line; };
    services.UpdateAction = [this](const QString& text) { actions << text; };
    window = std::make_unique<frmQue>(std::move(services));
  }

  QueueModel& model() const { return *window->model(); }
  QStringList names() const {
    QStringList out;
    for (const QueueRow& r : model().rows()) out << r.name;
    return out;
  }
  void select(std::initializer_list<int> rows) const {
    for (int r : rows)
      window->lstQue->selectionModel()->select(model().index(r, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  // Remote items of the server's current folder taken into the queue, downloading into `local`.
  void queueDownloads(std::vector<PaneItem> items, const QString& local = "/tmp/") {
    window->AddTransfers(QueueDirection::Download, items, ftp, local);
  }
  QString localFolder() const { return localDir.path() + QLatin1Char('/'); }
  int errors() const { return int(log.filter(QRegularExpression("^Error: ")).size()); }

  TempHome home;
  std::unique_ptr<FtpServerFixture> server;
  FtpClient ftp;
  QTemporaryDir localDir;
  ScriptedPrompts prompts;
  QStringList log, actions;
  std::unique_ptr<frmQue> window;
};

TEST_F(QueueWindow, TransferToQueueTakesTheSelectionWithTheConnection) {
  ASSERT_TRUE(tidewick::test::writeTextFile(localFolder() + "up.bin", QByteArray(5000, 'u')));
  ftp.CreateFolder("pub");
  ftp.ChangeCurrentFolder("pub");

  window->AddTransfers(QueueDirection::Upload,
                       {{".", kFolder, ""}, {"..", kFolder, ""}, {"up.bin", kFile, ""}, {"dir", kFolder, ""}}, ftp,
                       localDir.path());
  ftp.setTransferMode(tidewick::ftp::TransferType::Ascii);
  queueDownloads({{"r.txt", kFile, "10"}, {"sub", kFolder, "4096"}, {"lnk", kLink, "7"}});

  ASSERT_EQ(names(), QStringList({"up.bin", "dir", "r.txt", "sub", "lnk"}));
  const QString port = QString::number(server->port());
  const std::vector<QStringList> expected = {
      {"up.bin", localFolder(), "/pub", "127.0.0.1", "5000", "Upload", "Binary", "File", "demo", "demo", port,
       "Plain FTP"},
      {"dir", localFolder(), "/pub", "127.0.0.1", "0", "Upload", "Binary", "Dir", "demo", "demo", port, "Plain FTP"},
      {"r.txt", "/tmp/", "/pub", "127.0.0.1", "10", "Download", "Ascii", "File", "demo", "demo", port, "Plain FTP"},
      {"sub", "/tmp/", "/pub", "127.0.0.1", "4096", "Download", "Ascii", "Dir", "demo", "demo", port, "Plain FTP"},
      {"lnk", "/tmp/", "/pub", "127.0.0.1", "7", "Download", "Ascii", "Link", "demo", "demo", port, "Plain FTP"},
  };
  for (int r = 0; r < 5; ++r)
    for (int j = 0; j < QueueRow::ColumnCount; ++j)
      EXPECT_EQ(model().row(r).column(j), expected[size_t(r)][j]) << "row " << r << " column " << j;
  EXPECT_EQ(window->TxtTotalBytesQueued->text(), "9113");
  EXPECT_EQ(window->lblItemCount->text(), "5");
  EXPECT_EQ(actions, QStringList({"Queue Transfer complete", "Queue Transfer complete"}));

  // Not connected: nothing is taken, and the walk still ends as usual.
  ftp.Disconnect();
  queueDownloads({{"late.txt", kFile, "1"}});
  EXPECT_EQ(model().rowCount(), 5);
  EXPECT_EQ(actions.last(), "Queue Transfer complete");
  EXPECT_TRUE(log.isEmpty()) << log.join('\n').toStdString();
}

TEST_F(QueueWindow, SortingShowsPasswordsMaskedAndSizesByNumber) {
  queueDownloads({{"b.txt", kFile, "100"}, {"A.txt", kFile, "20"}, {"c.txt", kFile, "3"}});
  EXPECT_EQ(model().index(0, QueueModel::PasswordColumn).data(), "********");
  EXPECT_EQ(model().row(0).password, "demo") << "the row keeps the real password";

  // One order for every column, turned round by each click; the list starts ascending, so the
  // first click sorts descending.
  QHeaderView* header = window->lstQue->header();
  emit header->sectionClicked(QueueModel::SizeColumn);
  EXPECT_EQ(names(), QStringList({"b.txt", "A.txt", "c.txt"})); // 100, 20, 3
  emit header->sectionClicked(QueueModel::SizeColumn);
  EXPECT_EQ(names(), QStringList({"c.txt", "A.txt", "b.txt"}));
  emit header->sectionClicked(QueueModel::NameColumn);
  EXPECT_EQ(names(), QStringList({"c.txt", "b.txt", "A.txt"})) << "text without regard to case";
  // Sorting stays on: rows added later take their sorted places, and runs follow the order shown.
  queueDownloads({{"B2.txt", kFile, "1"}});
  EXPECT_EQ(names(), QStringList({"c.txt", "B2.txt", "b.txt", "A.txt"}));
}

TEST_F(QueueWindow, RemovingTheSelectionAndClearingKeepTheTotal) {
  queueDownloads({{"a", kFile, "10"}, {"b", kFile, "20"}, {"c", kFile, "70"}});
  ASSERT_EQ(window->totalBytes(), 100);
  select({0, 1});
  window->mnuFileRemoveFromQue->trigger();
  EXPECT_EQ(names(), QStringList({"c"}));
  EXPECT_EQ(window->TxtTotalBytesQueued->text(), "70");

  // Totals are 64-bit.
  queueDownloads({{"huge.iso", kFile, "5368709120"}});
  EXPECT_EQ(window->totalBytes(), 5368709190);
  window->mnuFileSelectAll->trigger();
  EXPECT_EQ(window->lstQue->selectionModel()->selectedRows().size(), 2);
  window->mnuFileDeselectAll->trigger();
  EXPECT_TRUE(window->lstQue->selectionModel()->selectedRows().isEmpty());
  window->mnuFileClearQue->trigger();
  EXPECT_EQ(model().rowCount(), 0);
  EXPECT_EQ(window->TxtTotalBytesQueued->text(), "0");

  // Sizes in a queue file can be anything: the total neither overflows nor goes below zero.
  QByteArray absurd = "[LISTQUE]\nLISTCOUNT=3\n";
  const char* sizes[] = {"9223372036854775807", "9223372036854775807", "-5"};
  for (int r = 1; r <= 3; ++r) absurd += QStringLiteral("ROW%1.0=r%1\nROW%1.4=%2\n").arg(r).arg(sizes[r - 1]).toUtf8();
  prompts.textAnswers = {home.writeFile("absurd.que", absurd)};
  window->mnuFileLoadQue->trigger();
  ASSERT_EQ(model().rowCount(), 3);
  EXPECT_GT(window->totalBytes(), 0);
  window->mnuFileSelectAll->trigger();
  window->mnuFileRemoveFromQue->trigger();
  EXPECT_EQ(window->totalBytes(), 0);
}

TEST_F(QueueWindow, SaveLoadAndAppendThroughTheMenu) {
  queueDownloads({{"one.txt", kFile, "1"}, {"two words.txt", kFile, "2"}, {"three", kFolder, "3"}});
  const QString file = home.root() + "/saved.que";
  std::vector<QueueRow> rows = model().rows();
  // Passwords of every kind come back whole, the empty one included.
  ftp.setPassword(QString::fromUtf8("pässwörd €"));
  ftp.setUserName(QString());
  queueDownloads({{"four", kFile, "4"}});
  rows.push_back(model().rows().back());

  prompts.textAnswers = {file};
  window->mnuFileSaveQue->trigger();
  EXPECT_EQ(QFileInfo(file).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup), 0)
      << "the file is the owner's only";
  window->mnuFileClearQue->trigger();
  EXPECT_EQ(window->lblStatus->text(), "") << "the save's line is no longer true";
  prompts.textAnswers = {file};
  window->mnuFileLoadQue->trigger();
  EXPECT_TRUE(model().rows() == rows);
  EXPECT_EQ(window->totalBytes(), 10) << "the loaded rows are counted, so running them ends at 0";
  EXPECT_EQ(window->lblStatus->text(), "4 row(s) loaded") << "not the save's line any more";

  prompts.textAnswers = {file};
  window->mnuFileAppendQueFile->trigger();
  ASSERT_EQ(model().rowCount(), 8);
  EXPECT_EQ(window->totalBytes(), 20);
  EXPECT_EQ(model().row(4), rows[0]) << "the file's rows follow the queue's";

  // A cancelled dialog reads and writes nothing, and Load keeps the queue.
  const QByteArray before = TempHome::readFile(file);
  window->mnuFileLoadQue->trigger();
  window->mnuFileSaveQue->trigger();
  EXPECT_EQ(model().rowCount(), 8);
  EXPECT_EQ(TempHome::readFile(file), before);
  EXPECT_TRUE(prompts.messages().empty());
}

TEST_F(QueueWindow, AFileThatIsNotAWholeQueueIsRefusedAndTheQueueStays) {
  queueDownloads({{"kept1", kFile, "1"}, {"kept2", kFile, "2"}});
  const QByteArray row1 =
      "ROW1.0=a.txt\nROW1.1=/tmp/\nROW1.2=/pub\nROW1.3=h\nROW1.4=1\nROW1.5=Download\n"
      "ROW1.6=Binary\nROW1.7=File\nROW1.8=nowy\nROW1.9=nowy\nROW1.10=21\n";
  QByteArray large(50 * 1000 * 1000, 'x');
  for (int i = 0; i < large.size(); i += 97) large[i] = '\n';
  // Each file, and what the user is told of it.
  const std::pair<QString, QString> cases[] = {
      {home.writeFile("profile.que", "[PROFILE]\nHOST=x\n"), "Wrong Queue File"},
      {home.writeFile("words.que", "[LISTQUE]\nLISTCOUNT=two\n" + row1),
       "Wrong Queue File: its LISTCOUNT \"two\" is not a number"},
      {home.writeFile("negative.que", "[LISTQUE]\nLISTCOUNT=-1\n"),
       "Wrong Queue File: its LISTCOUNT -1 is not a row count from 0 to 32767"},
      {home.writeFile("many.que", "[LISTQUE]\nLISTCOUNT=32768\n"),
       "Wrong Queue File: its LISTCOUNT 32768 is not a row count from 0 to 32767"},
      {home.writeFile("secret.que",
                      "[LISTQUE]\nLISTCOUNT=1\n" + QByteArray(row1).replace("ROW1.9=nowy", "ROW1.9=\x05")),
       "Wrong Queue File: the password of row 1 cannot be decoded"},
      {home.writeFile("binary.que", QByteArray("\x00\x01\xff\xfe\x7f", 5)), "Wrong Queue File"},
      {home.writeFile("large.que", large), "Wrong Queue File"},
      {home.root() + "/missing.que", "Cannot read \"" + home.root() + "/missing.que\": No such file or directory"},
  };
  for (const auto& [file, text] : cases) {
    SCOPED_TRACE(file.toStdString());
    const QString title = text.startsWith("Wrong") ? "Tidewick - Wrong Queue File" : "Tidewick [Notice]";
    for (QAction* entry : {window->mnuFileLoadQue, window->mnuFileAppendQueFile}) {
      prompts.clear();
      prompts.textAnswers = {file};
      entry->trigger();
      ASSERT_EQ(prompts.messages(), std::vector<QString>{title + "|Error: " + text});
      EXPECT_EQ(prompts.asked.back().icon, Icon::Information);
      EXPECT_EQ(names(), QStringList({"kept1", "kept2"}));
    }
  }
}

TEST_F(QueueWindow, HandWrittenFilesLoadAndMissingKeysAreNamed) {
  // The documented example, as an editor or another program writes it.
  const QString example =
      home.writeFile("example.que",
                     "[LISTQUE]\r\nLISTCOUNT=1\r\nROW1.0=report.txt\r\nROW1.1=/data/\r\nROW1.2=/pub\r\n"
                     "ROW1.3=ftp.example.org\r\nROW1.4=2048\r\nROW1.5=Upload\r\nROW1.6=Binary\r\nROW1.7=File\r\n"
                     "ROW1.8=klm\r\nROW1.9=\r\nROW1.10=21\r\n");
  prompts.textAnswers = {example};
  window->mnuFileLoadQue->trigger();
  ASSERT_EQ(model().rowCount(), 1);
  const QStringList expected = {"report.txt", "/data/", "/pub",   "ftp.example.org",
                                "2048",       "Upload", "Binary", "File",
                                "abc",        "",       "21",     "" /* written before the column */};
  for (int j = 0; j < QueueRow::ColumnCount; ++j) EXPECT_EQ(model().row(0).column(j), expected[j]) << j;
  EXPECT_TRUE(prompts.messages().empty());

  // A count beyond the stored rows gives empty rows, and the user is told which.
  const QString shortFile = home.writeFile("short.que", "[LISTQUE]\nLISTCOUNT=2\nROW1.0=only.txt\nROW1.1=/tmp/\n");
  prompts.textAnswers = {shortFile};
  window->mnuFileLoadQue->trigger();
  ASSERT_EQ(names(), QStringList({"only.txt", ""}));
  EXPECT_EQ(model().row(1), QueueRow());
  EXPECT_EQ(prompts.messages(),
            std::vector<QString>{"Tidewick [Notice]|Row(s) 1, 2 of the queue file lack some of their keys; those "
                                 "columns were left empty."});
}

TEST_F(QueueWindow, ARunStopsAtTheFirstFailureAndKeepsTheRest) {
  server->writeFile("pub/first.txt", "first");
  server->writeFile("pub/third.txt", "third");
  ftp.ChangeCurrentFolder("pub");
  queueDownloads({{"first.txt", kFile, "5"}, {"missing.txt", kFile, "7"}, {"third.txt", kFile, "5"}}, localFolder());

  window->mnuFileRunQue->trigger();
  EXPECT_EQ(names(), QStringList({"missing.txt", "third.txt"}));
  EXPECT_EQ(window->totalBytes(), 12);
  EXPECT_EQ(errors(), 1) << log.join('\n').toStdString();
  EXPECT_EQ(TempHome::readFile(localFolder() + "first.txt"), "first");
  EXPECT_FALSE(QFile::exists(localFolder() + "third.txt"));
  EXPECT_FALSE(window->running());
  EXPECT_TRUE(window->mnuFileRunQue->isEnabled());
  EXPECT_FALSE(window->mnuFileAbort->isEnabled());

  // The failing row goes; the rest runs.
  select({0});
  window->RemoveSelection();
  window->ProcessQue();
  EXPECT_EQ(model().rowCount(), 0);
  EXPECT_EQ(TempHome::readFile(localFolder() + "third.txt"), "third");
  EXPECT_EQ(window->totalBytes(), 0);
  EXPECT_EQ(errors(), 1);

  window->ProcessQue();
  EXPECT_EQ(prompts.messages(), std::vector<QString>{"Tidewick|The are no files queued."});
  EXPECT_EQ(prompts.asked.back().icon, Icon::None);
}

TEST_F(QueueWindow, QueueFilesPassBetweenTheWindowAndTheRunner) {
  // Folder rows and a file row, queued here from the server's folder and the local one.
  server->writeFile("site/photos/a.jpg", "aaaa");
  server->writeFile("site/photos/2023/b.jpg", "bb");
  server->writeFile("site/photos/2023/empty file", "");
  server->writeFile("site/down.txt", "from the server");
  home.writeFile("local/docs/x.txt", "x");
  home.writeFile("local/docs/sub/y.txt", "yy");
  const QString local = home.root() + "/local";
  ftp.ChangeCurrentFolder("site");
  queueDownloads({{"photos", kFolder, "4096"}, {"down.txt", kFile, "15"}}, localFolder());
  window->AddTransfers(QueueDirection::Upload, {{"docs", kFolder, ""}}, ftp, local);

  // Saved here, the queue runs unchanged without the window.
  const QString saved = home.root() + "/saved.que";
  prompts.textAnswers = {saved};
  window->mnuFileSaveQue->trigger();
  const QByteArray savedText = TempHome::readFile(saved);
  QProcess runner;
  runner.start(QStringLiteral(TIDEWICK_EXECUTABLE), {"--run-queue", saved});
  ASSERT_TRUE(runner.waitForFinished(60000));
  EXPECT_EQ(runner.exitCode(), 0) << runner.readAllStandardError().toStdString();
  EXPECT_EQ(QString::fromUtf8(runner.readAllStandardOutput()),
            "Download\tphotos\t6\nDownload\tdown.txt\t15\nUpload\tdocs\t3\n");
  EXPECT_EQ(TempHome::filesBelow(localFolder() + "photos"), TempHome::filesBelow(server->path("site/photos")));
  EXPECT_EQ(TempHome::filesBelow(server->path("site/docs")), TempHome::filesBelow(local + "/docs"));
  EXPECT_EQ(TempHome::filesBelow(server->path("site/docs")).size(), 2u);
  EXPECT_EQ(TempHome::readFile(localFolder() + "down.txt"), "from the server");
  EXPECT_EQ(TempHome::readFile(saved), savedText);

  // A file written for the runner by hand (folders with and without their last "/", the login
  // encoded as the format wants) loads and runs here just the same.
  QFile::remove(localFolder() + "down.txt");
  QFile::remove(server->path("site/docs/x.txt"));
  const QByteArray port = QByteArray::number(server->port());
  const QString handWritten =
      home.writeFile("runner.que",
                     "[LISTQUE]\nLISTCOUNT=2\n"
                     "ROW1.0=down.txt\nROW1.1=" +
                         localFolder().chopped(1).toUtf8() +
                         "\nROW1.2=/site/\nROW1.3=127.0.0.1\nROW1.4=0\nROW1.5=Download\nROW1.6=Binary\n"
                         "ROW1.7=File\nROW1.8=nowy\nROW1.9=nowy\nROW1.10=" +
                         port + "\nROW2.0=x.txt\nROW2.1=" + local.toUtf8() +
                         "/docs/\nROW2.2=/site/docs\nROW2.3=127.0.0.1\nROW2.4=0\nROW2.5=Upload\nROW2.6=Binary\n"
                         "ROW2.7=File\nROW2.8=nowy\nROW2.9=nowy\nROW2.10=" +
                         port + "\n");
  window->mnuFileClearQue->trigger();
  prompts.textAnswers = {handWritten};
  window->mnuFileLoadQue->trigger();
  ASSERT_EQ(names(), QStringList({"down.txt", "x.txt"}));
  window->mnuFileRunQue->trigger();
  EXPECT_EQ(model().rowCount(), 0) << log.join('\n').toStdString();
  EXPECT_EQ(window->lblStatus->text(), "Queue complete: 2 row(s) processed");
  EXPECT_EQ(server->readFile("site/docs/x.txt"), "x");
  EXPECT_EQ(TempHome::readFile(localFolder() + "down.txt"), "from the server");
  EXPECT_EQ(errors(), 0);
}

class QueueWindowTwoUsers : public QueueWindow {
protected:
  FtpServerOptions serverOptions() const override { return {.users = {{"demo", "demo"}, {"other", "other"}}}; }
};

TEST_F(QueueWindowTwoUsers, EachRowRunsWithItsOwnLoginAndMode) {
  // Rows of one login go on one connection; a row in another mode, or of another login, must not
  // be carried along as if it were one of them.
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) server->writeFile(name, "text\n");
  queueDownloads({{"a.txt", kFile, "5"}, {"b.txt", kFile, "5"}, {"c.txt", kFile, "5"}}, localFolder());
  std::vector<QueueRow> rows = model().rows();
  rows[1].transferMode = "Ascii";
  rows[2].userName = rows[2].password = "other";
  window->mnuFileClearQue->trigger();
  const QString file = home.root() + "/logins.que";
  ASSERT_TRUE(tidewick::transfer::WriteQueueFile(file, rows));
  prompts.textAnswers = {file};
  window->mnuFileLoadQue->trigger();

  window->mnuFileRunQue->trigger();
  EXPECT_EQ(model().rowCount(), 0) << log.join('\n').toStdString();
  // What was in force when each file was asked for.
  std::map<QString, QString> user, type;
  QString lastUser, lastType;
  for (const QString& line : server->receivedCommands()) {
    if (line.startsWith("USER ")) lastUser = line.mid(5);
    if (line.startsWith("TYPE ")) lastType = line.mid(5);
    if (line.startsWith("RETR ")) {
      const QString name = QFileInfo(line.mid(5)).fileName();
      user[name] = lastUser;
      type[name] = lastType;
    }
  }
  EXPECT_EQ(user, (std::map<QString, QString>{{"a.txt", "demo"}, {"b.txt", "demo"}, {"c.txt", "other"}}));
  EXPECT_EQ(type["a.txt"], "I");
  EXPECT_EQ(type["b.txt"], "A");
  EXPECT_EQ(type["c.txt"], "I");
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) EXPECT_EQ(TempHome::readFile(localFolder() + name), "text\n");
}

// A row over TLS or SFTP puts the certificate or host-key question to the user at the queue
// window, as the main window does. The headless runner asks nobody and takes only what was always
// trusted, saying what to do about the rest.
TEST_F(QueueWindow, SecureRowsAskHereAndTheRunnerTakesOnlyWhatIsTrusted) {
  QTemporaryDir certificates;
  const TestCertificate certificate = tidewick::test::makeCertificate(certificates.path(), "self", {});
  ASSERT_FALSE(certificate.certificateFile.isEmpty());
  FtpServerFixture tls{FtpServerOptions{.tlsCertificate = certificate.certificateFile, .tlsKey = certificate.keyFile}};
  ASSERT_TRUE(tls.start());
  tls.writeFile("pub/by tls.txt", "over TLS");
  if (!SshdFixture::installed()) GTEST_SKIP() << SshdFixture::notInstalled;
  SshdFixture sshd;
  ASSERT_TRUE(sshd.start());
  tidewick::test::ClientHome client(sshd.clientHome()); // known_hosts starts empty
  ASSERT_TRUE(tidewick::test::writeTextFile(sshd.root() + "/by ssh.txt", "over SSH"));

  const QueueRow overTls("by tls.txt", localFolder(), "/pub", tls.host(), "8", "Download", "Binary", "File", "demo",
                         "demo", QString::number(tls.port()), "Require FTP over TLS");
  const QueueRow overSsh("by ssh.txt", localFolder(), sshd.root(), sshd.host(), "8", "Download", "Binary", "File",
                         SshdFixture::userName(), "", QString::number(sshd.port()), "SFTP (SSH)");
  const QString file = home.root() + "/secure.que";
  ASSERT_TRUE(tidewick::transfer::WriteQueueFile(file, {overTls, overSsh}));
  const auto runHeadless = [&] {
    QProcess runner;
    runner.start(QStringLiteral(TIDEWICK_EXECUTABLE), {"--run-queue", file});
    EXPECT_TRUE(runner.waitForFinished(60000));
    EXPECT_EQ(runner.exitCode(), 1);
    return std::pair{QString::fromUtf8(runner.readAllStandardOutput()),
                     QString::fromUtf8(runner.readAllStandardError())};
  };

  auto [out, err] = runHeadless();
  EXPECT_EQ(out, "");
  EXPECT_TRUE(err.contains("not trusted") && err.contains("Always trust")) << err.toStdString();
  EXPECT_FALSE(QFile::exists(localFolder() + "by tls.txt"));

  prompts.textAnswers = {file};
  window->mnuFileLoadQue->trigger();
  prompts.certificateAnswers = {Answer::Cancel};
  window->mnuFileRunQue->trigger();
  QStringList asked = tidewick::test::certificateQuestions(prompts);
  ASSERT_EQ(asked.size(), 1);
  EXPECT_TRUE(asked[0].contains(certificate.sha256)) << asked[0].toStdString();
  EXPECT_EQ(model().rowCount(), 2);
  EXPECT_EQ(errors(), 1);
  EXPECT_FALSE(QFile::exists(localFolder() + "by tls.txt"));

  prompts.certificateAnswers = {Answer::AlwaysTrust, Answer::TrustOnce};
  window->mnuFileRunQue->trigger();
  asked = tidewick::test::certificateQuestions(prompts);
  ASSERT_EQ(asked.size(), 2);
  EXPECT_TRUE(asked[1].contains(sshd.hostKeyFingerprint())) << asked[1].toStdString();
  EXPECT_EQ(model().rowCount(), 0) << log.join('\n').toStdString();
  EXPECT_EQ(TempHome::readFile(localFolder() + "by tls.txt"), "over TLS");
  EXPECT_EQ(TempHome::readFile(localFolder() + "by ssh.txt"), "over SSH");

  // The certificate is trusted for good now; the host key was trusted once only.
  std::tie(out, err) = runHeadless();
  EXPECT_EQ(out, "Download\tby tls.txt\t8\n");
  EXPECT_TRUE(err.contains(sshd.hostKeyFingerprint()) && err.contains("Always trust")) << err.toStdString();
}

class QueueWindowSlowServer : public QueueWindow {
protected:
  FtpServerOptions serverOptions() const override { return {.throttle = 40 * 1024 * 1024}; }
};

TEST_F(QueueWindowSlowServer, AbortStopsTheRunningRowWhichStaysForALaterRun) {
  constexpr qint64 size = 200LL * 1024 * 1024;
  ASSERT_TRUE(QFile(server->writeFile("big.bin", "")).resize(size));
  queueDownloads({{"big.bin", kFile, QString::number(size)}, {"after.txt", kFile, "1"}}, localFolder());

  QElapsedTimer sinceAbort;
  bool abortEnabled = false;
  QTimer::singleShot(700, [&] {
    abortEnabled = window->mnuFileAbort->isEnabled();
    sinceAbort.start();
    window->mnuFileAbort->trigger();
  });
  window->ProcessQue();
  EXPECT_TRUE(abortEnabled);
  EXPECT_LT(sinceAbort.elapsed(), 1000);
  EXPECT_EQ(names(), QStringList({"big.bin", "after.txt"}));
  EXPECT_EQ(errors(), 1);
  EXPECT_LT(QFileInfo(localFolder() + "big.bin").size(), size);

  server->writeFile("after.txt", "a");
  window->ProcessQue();
  EXPECT_EQ(model().rowCount(), 0) << log.join('\n').toStdString();
  EXPECT_EQ(QFileInfo(localFolder() + "big.bin").size(), size);
}

TEST_F(QueueWindowSlowServer, RowsDoneButStillListedNeitherRunAgainNorAreSortedOrSaved) {
  // The list catches up with a run a few times a second; rows finished since then must not run
  // again, nor be sorted or saved with those still to come.
  const QByteArray content(2 * 1024 * 1024, 'q');
  std::vector<PaneItem> items;
  QStringList all;
  for (int i = 0; i < 8; ++i) {
    all << QStringLiteral("f%1.dat").arg(i);
    server->writeFile("q/" + all.back(), content);
    items.push_back({all.back(), kFile, QString::number(content.size())});
  }
  ftp.ChangeCurrentFolder("q");
  queueDownloads(items, localFolder());
  const auto started = [&] {
    QStringList names;
    for (const QString& line : server->receivedCommands())
      if (line.startsWith("RETR ")) names << QFileInfo(line.mid(5)).fileName();
    return names;
  };

  // Once the third row has started: sort by name (descending on the first click), and save. The
  // rows go on running meanwhile.
  const QString saved = home.root() + "/during.que";
  qsizetype running = -1;
  QString runningAtSave;
  QTimer poll;
  poll.setInterval(10);
  const auto runningRow = [&] {
    const int shown = model().positionOf(model().runningRow());
    return shown >= 0 ? model().row(shown).name : QString();
  };
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (started().size() < 3) return;
    poll.stop();
    emit window->lstQue->header()->sectionClicked(QueueModel::NameColumn);
    running = all.indexOf(runningRow());
    prompts.textAnswers = {saved};
    window->mnuFileSaveQue->trigger();
    runningAtSave = runningRow();
  });
  poll.start();
  window->ProcessQue();

  EXPECT_EQ(model().rowCount(), 0) << log.join('\n').toStdString();
  EXPECT_EQ(window->totalBytes(), 0);
  for (const QString& name : all) EXPECT_EQ(TempHome::readFile(localFolder() + name), content) << name.toStdString();
  // Each row ran once: in the order loaded until the sort, then the rest from the last name down.
  // The row after the one running at the sort may have started just before the new order arrived.
  ASSERT_GE(running, 2);
  const QStringList order = started();
  qsizetype sorted = running + 1;
  while (sorted < all.size() && order.value(sorted) == all[sorted]) ++sorted;
  EXPECT_LE(sorted, running + 2) << "the sort did not change what ran next";
  QStringList expected = all.mid(0, sorted);
  for (qsizetype i = all.size() - 1; i >= sorted; --i) expected << all[i];
  EXPECT_EQ(order, expected);
  // The saved queue holds the row running at the save and those that ran after it, as listed:
  // sorted.
  const std::optional<tidewick::transfer::LoadedQueue> loaded = tidewick::transfer::LoadQueueFile(saved);
  ASSERT_TRUE(loaded);
  QStringList savedNames;
  for (const QueueRow& r : loaded->rows) savedNames << r.name;
  ASSERT_FALSE(savedNames.isEmpty());
  QStringList notDone = order.mid(order.size() - savedNames.size());
  if (!runningAtSave.isEmpty()) {
    EXPECT_EQ(notDone.front(), runningAtSave);
  }
  std::sort(notDone.begin(), notDone.end(), std::greater<>());
  EXPECT_EQ(savedNames, notDone);
}

} // namespace
