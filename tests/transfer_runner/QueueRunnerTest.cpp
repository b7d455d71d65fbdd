// The headless runner end to end: the real tidewick executable, run as a child process, with its
// exit status, standard output and standard error, against the real FTP server fixture.

#include "transfer/QueueFile.h"

#include "settings/Globals.h"
#include "support/FtpServerFixture.h"
#include "support/ServerProcess.h"
#include "support/SocksProxyFixture.h"
#include "support/SshdFixture.h"
#include "support/TempHome.h"

#include "support/QtPrint.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <map>

#include <sys/stat.h>
#include <unistd.h>

using tidewick::test::ClientHome;
using tidewick::test::FtpServerFixture;
using tidewick::test::SocksProxyFixture;
using tidewick::test::SshdFixture;
using tidewick::transfer::QueueRow;
using tidewick::transfer::WriteQueueFile;

namespace {

struct RunResult {
  int exitCode = -1;
  QString out;
  QString err;
};

RunResult runTidewick(const QStringList& arguments) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  // The runner must not need a display.
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.remove("QT_QPA_PLATFORM");
  process.setProcessEnvironment(env);
  process.start(QStringLiteral(TIDEWICK_EXECUTABLE), arguments);
  EXPECT_TRUE(process.waitForStarted(10000));
  EXPECT_TRUE(process.waitForFinished(120000)) << "tidewick did not finish";
  RunResult result;
  result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  result.out = QString::fromUtf8(process.readAllStandardOutput());
  result.err = QString::fromUtf8(process.readAllStandardError());
  return result;
}

QueueRow makeRow(const QString& command, const QString& type, const QString& name, const QString& localPath,
                 const QString& remotePath, quint16 port) {
  return {name, localPath, remotePath, "127.0.0.1",          "0", command, "Binary",
          type, "demo",    "demo",     QString::number(port)};
}

TEST(QueueRunnerCommandLine, HelpVersionAndUsageErrors) {
  const RunResult version = runTidewick({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "Tidewick 3.1.0\n");
  const RunResult help = runTidewick({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.contains("--run-queue FILE")) << help.out.toStdString();

  for (const QStringList& arguments :
       {QStringList{"--run-queue"}, QStringList{"--verbose"}, QStringList{"--run-queue", "a.que", "--bogus"},
        QStringList{"--run-queue", "a.que", "--run-queue", "b.que"}}) {
    SCOPED_TRACE(arguments.join(' ').toStdString());
    const RunResult result = runTidewick(arguments);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_TRUE(result.out.isEmpty());
    EXPECT_FALSE(result.err.isEmpty());
  }
}

TEST(QueueRunnerCommandLine, AFileThatIsNoQueueExitsWithTwoAndSaysWhy) {
  TempHome home;
  const QString rows = "ROW1.0=a.txt\nROW1.5=Download\n";
  struct Case {
    QString file;
    QString error;
  };
  std::vector<Case> cases = {
      {home.writeFile("profile.Tidewick", "[PROFILE]\nHOST=example.org\n"), "Wrong Queue File"},
      {home.writeFile("many.que", "[LISTQUE]\nLISTCOUNT=99999\n"), "Wrong Queue File"},
      {home.writeFile("words.que", ("[LISTQUE]\nLISTCOUNT=two\n" + rows).toUtf8()),
       "Wrong Queue File: its LISTCOUNT \"two\" is not a whole number"},
      {home.writeFile("fraction.que", ("[LISTQUE]\nLISTCOUNT=1.5\n" + rows).toUtf8()),
       "Wrong Queue File: its LISTCOUNT \"1.5\" is not a whole number"},
      {home.root() + "/missing.que", "Cannot read \"" + home.root() + "/missing.que\": No such file or directory"},
      {home.root() + "/local", "Cannot read \"" + home.root() + "/local\": Is a directory"},
  };
  QDir().mkpath(home.root() + "/local");
  if (::geteuid() != 0) { // root reads whatever the permissions say
    const QString locked = home.writeFile("locked.que", "[LISTQUE]\nLISTCOUNT=0\n");
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    cases.push_back({locked, "Cannot read \"" + locked + "\": Permission denied"});
  }

  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.toStdString());
    const RunResult result = runTidewick({"--run-queue", c.file});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "Error: " + c.error + "\n");
    EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
  }
  EXPECT_FALSE(QFile::exists(home.root() + "/missing.que"));

  const RunResult empty = runTidewick({"--run-queue", home.writeFile("empty.que", "[LISTQUE]\nLISTCOUNT=0\n")});
  EXPECT_EQ(empty.exitCode, 0);
  EXPECT_EQ(empty.out, "The are no files queued.\n");
}

TEST(QueueRunnerFailures, ABadPortOrAnUnreachableServerStopsTheRun) {
  TempHome home;
  const QString local = home.root() + "/";
  const quint16 port = tidewick::test::freeLoopbackPort();
  // A port outside 1 to 65535 is refused before anything connects; the ports at the edges are
  // tried (and find nobody).
  struct Case {
    const char* what;
    QString portText;
    bool refused;
  } cases[] = {{"port zero", "0", true},
               {"port too large", "65536", true},
               {"lowest port", "1", false},
               {"highest port", "65535", false},
               {"nobody listening", QString::number(port), false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QueueRow first = makeRow("Download", "File", "a.txt", local, "/", port);
    first.port = c.portText;
    const QueueRow second = makeRow("Download", "File", "b.txt", local, "/", port);
    const QString file = home.root() + "/fail.que";
    ASSERT_TRUE(WriteQueueFile(file, {first, second}));
    const QByteArray before = TempHome::readFile(file);

    const RunResult result = runTidewick({"--run-queue", file});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.startsWith("Error: ")) << result.err.toStdString();
    EXPECT_EQ(result.err.contains("is not a whole number from 1 to 65535"), c.refused) << result.err.toStdString();
    EXPECT_EQ(result.err.count('\n'), 1) << result.err.toStdString();
    EXPECT_TRUE(result.out.isEmpty()) << "no row ran: " << result.out.toStdString();
    EXPECT_EQ(TempHome::readFile(file), before);
    EXPECT_FALSE(QFile::exists(local + "a.txt"));
  }
}

// Bytes that catch line-end conversion and truncation: every byte value, CR LF pairs, lone CRs.
QByteArray awkwardBytes(int size, quint32 seed) {
  QByteArray bytes(size, Qt::Uninitialized);
  QRandomGenerator random(seed);
  for (int i = 0; i < size; ++i) bytes[i] = char(random.bounded(256));
  for (int i = 0; i + 1 < size; i += 997) {
    bytes[i] = '\r';
    bytes[i + 1] = '\n';
  }
  return bytes;
}

class QueueRunnerOnServer : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(QDir().mkpath(local()));
  }

  QString local(const QString& relative = QString()) const { return home.root() + "/local/" + relative; }
  QString writeLocal(const QString& relative, const QByteArray& bytes) const {
    return home.writeFile("local/" + relative, bytes);
  }
  QueueRow row(const QString& command, const QString& type, const QString& name, const QString& localFolder,
               const QString& remoteFolder) const {
    return makeRow(command, type, name, localFolder, remoteFolder, server.port());
  }
  // Writes the queue, runs it and checks that the file came through untouched.
  RunResult runQueue(const std::vector<QueueRow>& rows, const QStringList& extra = {}) {
    const QString file = home.root() + "/run.que";
    EXPECT_TRUE(WriteQueueFile(file, rows));
    const QByteArray before = TempHome::readFile(file);
    const RunResult result = runTidewick(QStringList{"--run-queue", file} + extra);
    EXPECT_EQ(TempHome::readFile(file), before) << "the queue file changed";
    return result;
  }

  TempHome home;
  FtpServerFixture server;
};

TEST_F(QueueRunnerOnServer, DownloadsAndUploadsFilesByteForByte) {
  const QByteArray remoteBytes = awkwardBytes(3 * 1024 * 1024 + 17, 1);
  const QByteArray localBytes = awkwardBytes(2 * 1024 * 1024 + 5, 2);
  server.writeFile("pub/data one.bin", remoteBytes);
  server.writeFile("incoming/.keep", "");
  writeLocal(QString::fromUtf8("up/grüße.bin"), localBytes);
  QDir().mkpath(local("down"));

  const RunResult result = runQueue({
      row("Download", "File", "data one.bin", local("down/"), "/pub"),
      row("Upload", "File", QString::fromUtf8("grüße.bin"), local("up/"), "/incoming/"),
      row("Download", "File", "data one.bin", local("down"), "/pub"), // a local folder without the "/"
  });
  EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
  EXPECT_EQ(TempHome::readFile(local("down/data one.bin")), remoteBytes);
  EXPECT_EQ(server.readFile(QString::fromUtf8("incoming/grüße.bin")), localBytes);
  EXPECT_EQ(result.out, QStringLiteral("Download\tdata one.bin\t%1\nUpload\t%2\t%3\nDownload\tdata one.bin\t%1\n")
                            .arg(remoteBytes.size())
                            .arg(QString::fromUtf8("grüße.bin"))
                            .arg(localBytes.size()));
  EXPECT_TRUE(result.err.isEmpty()) << result.err.toStdString();
}

// Each row is reached the way its Security column says, so FTP and SFTP rows share a queue.
TEST_F(QueueRunnerOnServer, FtpAndSftpRowsRunInOneQueue) {
  if (!SshdFixture::installed()) GTEST_SKIP() << SshdFixture::notInstalled;
  SshdFixture sshd;
  ASSERT_TRUE(sshd.start());
  ClientHome client(sshd.clientHome()); // the runner's ~/.ssh
  ASSERT_TRUE(sshd.trustHostKey());
  const QByteArray ftpBytes = awkwardBytes(300000, 4);
  const QByteArray sshBytes = awkwardBytes(700000, 5);
  server.writeFile("pub/by ftp.bin", ftpBytes);
  ASSERT_TRUE(QDir().rename(writeLocal("by ssh.bin", sshBytes), sshd.root() + "/by ssh.bin"));
  writeLocal("up/up.bin", ftpBytes + sshBytes);
  QDir().mkpath(local("down"));
  const auto overSsh = [&](QueueRow r) {
    r.port = QString::number(sshd.port());
    r.userName = SshdFixture::userName();
    r.password.clear();
    r.security = "SFTP (SSH)";
    return r;
  };

  const RunResult result = runQueue({
      row("Download", "File", "by ftp.bin", local("down/"), "/pub"),
      overSsh(row("Download", "File", "by ssh.bin", local("down/"), sshd.root())),
      overSsh(row("Upload", "File", "up.bin", local("up/"), sshd.root())),
      row("Upload", "File", "up.bin", local("up/"), "/pub"),
  });
  EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
  EXPECT_EQ(TempHome::readFile(local("down/by ftp.bin")), ftpBytes);
  EXPECT_EQ(TempHome::readFile(local("down/by ssh.bin")), sshBytes);
  EXPECT_EQ(TempHome::readFile(sshd.root() + "/up.bin"), ftpBytes + sshBytes);
  EXPECT_EQ(server.readFile("pub/up.bin"), ftpBytes + sshBytes);
}

TEST_F(QueueRunnerOnServer, ARowNamedLikeAPathIsRefusedBeforeAnythingIsSent) {
  server.writeFile("escape-row.txt", "outside");
  server.writeFile("pub/a/b.txt", "inside a folder");
  server.writeFile("pub/ok.txt", "ok");
  writeLocal("up/x.txt", "x");
  QDir().mkpath(local("down"));
  for (const char* name : {"../escape-row.txt", "a/b.txt", "..", ".", "", "/escape-row.txt"}) {
    for (const char* command : {"Download", "Upload"}) {
      for (const char* type : {"File", "Dir"}) {
        SCOPED_TRACE(QStringLiteral("%1 %2 \"%3\"").arg(command, type, name).toStdString());
        const RunResult result = runQueue({row(command, type, name, local("down/"), "/pub"),
                                           row("Download", "File", "ok.txt", local("down/"), "/pub")},
                                          {"--verbose"});
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err,
                  QStringLiteral("Error: The queued name \"%1\" is not a single file or folder name; the row was not "
                                 "run\n")
                      .arg(name));
        EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
      }
    }
  }
  EXPECT_EQ(TempHome::filesBelow(local()), (std::map<QString, QByteArray>{{"up/x.txt", "x"}}));
  EXPECT_FALSE(QFile::exists(home.root() + "/escape-row.txt"));
  EXPECT_EQ(TempHome::filesBelow(server.path("")).size(), 3u) << "nothing was uploaded";
}

TEST_F(QueueRunnerOnServer, AFailingRowStopsTheRun) {
  server.writeFile("pub/first.txt", "first");
  server.writeFile("pub/third.txt", "third");
  const RunResult result = runQueue({
      row("Download", "File", "first.txt", local(), "/pub"),
      row("Download", "File", "missing.txt", local(), "/pub"),
      row("Download", "File", "third.txt", local(), "/pub"),
  });
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "Download\tfirst.txt\t5\n");
  EXPECT_TRUE(result.err.startsWith("Error: ")) << result.err.toStdString();
  EXPECT_EQ(result.err.count('\n'), 1) << result.err.toStdString();
  EXPECT_EQ(TempHome::readFile(local("first.txt")), "first");
  EXPECT_FALSE(QFile::exists(local("third.txt"))) << "a row after the failure ran";
}

TEST_F(QueueRunnerOnServer, VerboseLogsTheConversationWithoutThePassword) {
  server.writeFile("pub/a.txt", "a");
  QueueRow secret = row("Download", "File", "a.txt", local(), "/pub");
  const RunResult quiet = runQueue({secret});
  EXPECT_EQ(quiet.exitCode, 0);
  EXPECT_TRUE(quiet.err.isEmpty()) << quiet.err.toStdString();

  const RunResult verbose = runQueue({secret}, {"--verbose"});
  EXPECT_EQ(verbose.exitCode, 0) << verbose.err.toStdString();
  EXPECT_EQ(verbose.out, "Download\ta.txt\t1\n") << "the log stays off stdout";
  EXPECT_TRUE(verbose.err.contains("RETR")) << verbose.err.toStdString();
  EXPECT_TRUE(verbose.err.contains("PASS ****")) << verbose.err.toStdString();
  EXPECT_FALSE(verbose.err.contains("PASS demo")) << verbose.err.toStdString();
}

TEST_F(QueueRunnerOnServer, SkippedFilesFailTheRow) {
  // A fifo is no regular file: the folder upload skips it, and the row must not pass for done.
  writeLocal("mine/docs/ok.txt", "ok");
  ASSERT_EQ(::mkfifo(QFile::encodeName(local("mine/docs/pipe")).constData(), 0600), 0);
  const RunResult result = runQueue(
      {row("Upload", "Dir", "docs", local("mine/"), "/"), row("Download", "File", "ok.txt", local(), "/docs")});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(result.err.contains("Skipped: ")) << result.err.toStdString();
  EXPECT_TRUE(result.err.contains("Error: ")) << result.err.toStdString();
  EXPECT_TRUE(result.out.isEmpty()) << result.out.toStdString();
  EXPECT_EQ(server.readFile("docs/ok.txt"), "ok");
  EXPECT_FALSE(QFile::exists(local("ok.txt"))) << "the row after the failure ran";
}

TEST_F(QueueRunnerOnServer, FolderRowsFollowLinksAndKeepDates) {
  const QDateTime date(QDate(2019, 3, 1), QTime(12, 34, 56), Qt::UTC);
  QFile dated(server.writeFile("site/tree/file.txt", "file"));
  ASSERT_TRUE(dated.open(QIODevice::ReadWrite) && dated.setFileTime(date, QFileDevice::FileModificationTime));
  dated.close();
  server.writeFile("site/tree/.hidden", "hidden");
  server.writeFile("site/tree/real/a.txt", "a");
  ASSERT_EQ(::symlink("real", QFile::encodeName(server.path("site/tree/to-folder")).constData()), 0);
  ASSERT_EQ(::symlink(".", QFile::encodeName(server.path("site/tree/self")).constData()), 0);
  const std::map<QString, QByteArray> copied = {
      {".hidden", "hidden"}, {"file.txt", "file"}, {"real/a.txt", "a"}, {"to-folder/a.txt", "a"}};

  // The loop is reported, but leaves nothing out, so the row passes.
  const RunResult result = runQueue({row("Download", "Dir", "tree", local("got/"), "/site")});
  EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
  EXPECT_EQ(TempHome::filesBelow(local("got/tree")), copied);
  EXPECT_TRUE(result.err.startsWith("Skipped: /site/tree/self: ")) << result.err.toStdString();
  EXPECT_EQ(result.out, "Download\ttree\t12\n");
  EXPECT_EQ(QFileInfo(local("got/tree/file.txt")).lastModified().toUTC(), date);

  home.setSetting("Keep File Dates", "0");
  ASSERT_EQ(runQueue({row("Download", "Dir", "tree", local("now/"), "/site")}).exitCode, 0);
  EXPECT_GT(QFileInfo(local("now/tree/file.txt")).lastModified().toUTC(),
            QDateTime::currentDateTimeUtc().addSecs(-600));
}

TEST_F(QueueRunnerOnServer, TakesPassiveModeAndTheFirewallFromTheOptions) {
  const QByteArray remoteBytes = awkwardBytes(300000, 7);
  const QByteArray localBytes = awkwardBytes(200000, 8);
  server.writeFile("pub/a.bin", remoteBytes);
  writeLocal("up/b.bin", localBytes);
  const std::vector<QueueRow> rows = {row("Download", "File", "a.bin", local(), "/pub"),
                                      row("Upload", "File", "b.bin", local("up/"), "/pub")};

  SocksProxyFixture socks5;
  ASSERT_TRUE(socks5.start(true));
  home.setSetting("Firewall Use", "1");
  home.setSetting("Firewall Type", "SOCKS 5");
  home.setSetting("Firewall Host Name", "127.0.0.1");
  home.setSetting("Firewall Proxy Port", QString::number(socks5.port()));
  home.setSetting("Firewall User Name", SocksProxyFixture::userName());
  home.setSetting("Firewall Password", SocksProxyFixture::password());
  {
    SCOPED_TRACE("SOCKS 5 with a password");
    const RunResult result = runQueue(rows);
    ASSERT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_EQ(TempHome::readFile(local("a.bin")), remoteBytes);
    EXPECT_EQ(server.readFile("pub/b.bin"), localBytes);
  }
  {
    SCOPED_TRACE("a firewall port that is no port stops the run before it connects");
    home.setSetting("Firewall Proxy Port", "99999");
    const RunResult result = runQueue(rows);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(result.err.contains("99999")) << result.err.toStdString();
  }

  {
    SCOPED_TRACE("a proxy that is not there is used when on");
    home.setSetting("Firewall Proxy Port", QString::number(tidewick::test::freeLoopbackPort()));
    EXPECT_EQ(runQueue(rows).exitCode, 1);
  }
  {
    SCOPED_TRACE("passive mode off; the firewall off too, so the missing proxy is ignored");
    home.setSetting("Firewall Use", "0");
    home.setSetting("FTP PASV", "0");
    const RunResult active = runQueue({rows[0]}, {"--verbose"});
    EXPECT_EQ(active.exitCode, 0) << active.err.toStdString();
    // Commands start a line; FEAT's reply lists its features indented.
    EXPECT_TRUE(active.err.contains("\nEPRT ") || active.err.contains("\nPORT ")) << active.err.toStdString();
    EXPECT_FALSE(active.err.contains("\nEPSV")) << active.err.toStdString();
    home.setSetting("FTP PASV", "1");
    const RunResult passive = runQueue({rows[0]}, {"--verbose"});
    EXPECT_TRUE(passive.err.contains("\nEPSV")) << passive.err.toStdString();
  }
}

} // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
