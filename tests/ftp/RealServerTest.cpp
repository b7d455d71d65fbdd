// The engine against a real server (pyftpdlib on loopback): logins, folders, listings, transfers
// compared byte for byte, resume, folder trees both ways, active and passive data
// connections over IPv4 and IPv6, raw commands, abort, the log, and sizes beyond 4 GiB.

#include "ClientHarness.h"

#include "support/FtpServerFixture.h"

#include <algorithm>

using namespace tidewick::test;

namespace {

class RealServer : public ClientTest {
protected:
  static void SetUpTestSuite() {
    server = new FtpServerFixture();
    startResult = server->start();
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(startResult);
    ASSERT_TRUE(dir.isValid());
    configure(client);
  }

  static void configure(FtpClient& c, const FtpServerFixture& at = *server, const QString& password = "demo") {
    c.setServerAddress(at.host());
    c.setServerPort(at.port());
    c.setUserName("demo");
    c.setPassword(password);
    c.setPassiveMode(true);
  }

  // Connects, and enters a folder of the test's own on the server; returns its name.
  QString enterOwnFolder() {
    connectOk();
    const QString name = QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
    QDir(server->root()).mkpath(name);
    client.ChangeCurrentFolder('/' + name);
    return name;
  }

  static inline FtpServerFixture* server = nullptr;
  static inline ::testing::AssertionResult startResult = ::testing::AssertionFailure();
};

} // namespace

// The file gets the lines the log shows (passwords masked there already), after what it held.
TEST_F(RealServer, AnonymousAndNamedLoginsAWrongPasswordAndTheLogFile) {
  FtpClient anonymous;
  configure(anonymous);
  anonymous.setUserName("anonymous");
  ASSERT_NO_THROW(anonymous.Connect());
  EXPECT_EQ(anonymous.GetCurrentFolder(), "/");
  anonymous.Disconnect();
  EXPECT_EQ(anonymous.CurrentState(), NotConnected);

  // Refused, and the question answered with nothing: a clear failure, nothing connected.
  const QString logPath = local("ftp.log");
  ASSERT_TRUE(writeLocal(logPath, "earlier line\n"));
  client.setLogFile(logPath);
  client.setPassword("wrong");
  EXPECT_TRUE(harness.fails([&] { client.Connect(); }, FailureKind::LoginFailed, {"refused the password"}));
  EXPECT_EQ(harness.passwordQuestions, 1);
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_EQ(harness.disconnects, 0);

  // Refused, then the right password given in answer to the question.
  harness.passwordAnswer = "demo";
  connectOk();
  EXPECT_EQ(harness.passwordQuestions, 2);
  EXPECT_FALSE(harness.logContains("PASS demo"));
  EXPECT_FALSE(harness.logContains("PASS wrong"));
  EXPECT_TRUE(harness.logContains("PASS ****"));
  client.GetCurrentFolder();
  client.Disconnect();
  EXPECT_EQ(harness.disconnects, 1);
  EXPECT_EQ(client.CurrentState(), NotConnected);
  const QByteArray text = readLocal(logPath);
  EXPECT_TRUE(text.startsWith("earlier line\n"));
  EXPECT_TRUE(text.contains("USER demo"));
  EXPECT_TRUE(text.contains("257 \"/\""));
  EXPECT_FALSE(text.contains("PASS demo"));
}

// pyftpdlib, like rename(2), renames over an existing name without a word; the engine must look
// first. With MLST it sees files and folders; with SIZE only files (the panes' listing covers the
// rest).
TEST(RealServerRename, NeverReplacesAnExistingName) {
  for (const bool mlst : {true, false}) {
    SCOPED_TRACE(mlst ? "MLST" : "SIZE only");
    FtpServerFixture server({.mlsd = mlst});
    server.writeFile("a.txt", "aaa");
    server.writeFile("b.txt", "bbb");
    QDir(server.root()).mkpath("full/inner");
    QDir(server.root()).mkpath("empty");
    ASSERT_TRUE(server.start());
    FtpClient client;
    ClientHarness harness(client);
    server.loginFor(client);
    ASSERT_NO_THROW(client.Connect());

    const FtpFailure failure = harness.failureOf([&] { client.RenameFile("a.txt", "b.txt"); });
    EXPECT_EQ(failure.kind(), FailureKind::TargetExists);
    EXPECT_EQ(failure.description(), "The name b.txt exists in the folder already; nothing was renamed");
    EXPECT_EQ(server.readFile("b.txt"), "bbb");
    EXPECT_EQ(server.readFile("a.txt"), "aaa");
    // A path to the name is the name.
    EXPECT_TRUE(
        harness.fails([&] { client.RenameFile("a.txt", "full/inner/../../b.txt"); }, FailureKind::TargetExists));
    if (mlst) {
      // An empty folder is replaced by rename(2) just as silently.
      EXPECT_TRUE(harness.fails([&] { client.RenameFile("full", "empty"); }, FailureKind::TargetExists));
      EXPECT_TRUE(QFileInfo(server.path("full/inner")).isDir());
    }
    EXPECT_FALSE(harness.logContains("RNFR")) << "nothing of a refused rename went out";

    // A free name, and a change of case alone, still rename.
    client.RenameFile("a.txt", "A.txt");
    client.RenameFile("A.txt", "c.txt");
    EXPECT_EQ(server.readFile("c.txt"), "aaa");
    EXPECT_EQ(client.CurrentState(), Idle);
  }
}

TEST_F(RealServer, FoldersAndTheirCommands) {
  const QString own = enterOwnFolder();
  EXPECT_EQ(client.GetCurrentFolder(), '/' + own);
  client.CreateFolder("made");
  EXPECT_TRUE(QFileInfo(server->path(own + "/made")).isDir());
  client.ChangeCurrentFolder("made");
  EXPECT_EQ(client.GetCurrentFolder(), '/' + own + "/made");
  client.ChangeToParentFolder();
  EXPECT_EQ(client.GetCurrentFolder(), '/' + own);

  server->writeFile(own + "/old.txt", "content");
  server->writeFile(own + "/other.txt", "other");
  client.RenameFile("old.txt", "new.txt");
  EXPECT_EQ(server->readFile(own + "/new.txt"), "content");
  client.DeleteFile("other.txt");
  EXPECT_FALSE(QFile::exists(server->path(own + "/other.txt")));
  client.RemoveFolder("made");
  EXPECT_FALSE(QFileInfo::exists(server->path(own + "/made")));

  EXPECT_TRUE(harness.fails([&] { client.ChangeCurrentFolder("missing"); }, FailureKind::CommandRefused,
                            {"CWD missing failed: 550"}));
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(RealServer, ListingsThroughMlsdAndList) {
  // The same folder from a server without MLSD goes through LIST and the ls -l parser.
  FtpServerFixture plain({.host = "127.0.0.1", .anonymous = false, .mlsd = false});
  ASSERT_TRUE(plain.start());
  const QString own = enterOwnFolder();
  for (const auto& [at, folder, command] : {std::tuple{server, own + '/', "MLSD"}, {&plain, QString(), "LIST -a"}}) {
    SCOPED_TRACE(command);
    at->writeFile(folder + "a.gif", QByteArray(1234, 'g'));
    at->writeFile(folder + "b.txt", "bb");
    QDir(at->root()).mkpath(folder + "folder");
    FtpClient other;
    ClientHarness otherHarness(other);
    configure(other, *at);
    other.Connect();
    if (!folder.isEmpty()) other.ChangeCurrentFolder('/' + own);
    const auto items = other.GetFolderContents();
    ASSERT_EQ(items.size(), 3u);
    std::map<QString, FtpClient::FolderItem> byName;
    for (const auto& item : items) byName[item.name] = item;
    EXPECT_EQ(byName["a.gif"].size, 1234);
    EXPECT_EQ(byName["a.gif"].kind, 0);
    EXPECT_EQ(byName["folder"].kind, 1);
    const qint64 age = byName["b.txt"].date.secsTo(QDateTime::currentDateTimeUtc());
    EXPECT_TRUE(byName["b.txt"].date.isValid() && age > -120 && age < 3600) << age;
    EXPECT_TRUE(otherHarness.log.contains(command));
  }

  client.ListFolderContents("*.gif");
  ASSERT_EQ(harness.items.size(), 1u);
  EXPECT_EQ(harness.items[0].name, "a.gif");
  EXPECT_EQ(harness.items[0].size, 1234);
}

TEST_F(RealServer, UploadAndDownloadByteForByteWithResume) {
  const QString own = enterOwnFolder();
  const QByteArray content = randomBytes(3 * 1024 * 1024 + 17, 7);
  const QString source = local("source.bin");
  ASSERT_TRUE(writeLocal(source, content));

  client.SendFile(source, 0, "up.bin", false);
  EXPECT_EQ(server->readFile(own + "/up.bin"), content);
  ASSERT_FALSE(harness.progress.empty());
  EXPECT_EQ(harness.progress.back().bytes, content.size());
  EXPECT_EQ(harness.progress.back().percent, 100);
  EXPECT_EQ(harness.progress.back().total, content.size());
  EXPECT_EQ(harness.sending, QStringList{source});

  const QString target = local("down.bin");
  client.ReceiveFile("up.bin", 0, target);
  EXPECT_EQ(readLocal(target), content);
  EXPECT_EQ(harness.receiving, QStringList{"up.bin"});

  // Download resume: a local file holding the first part (and a stale tail) continues at the offset.
  const qint64 offset = 1000003;
  ASSERT_TRUE(writeLocal(target, content.left(offset) + QByteArray(5000000, 'S')));
  client.ReceiveFile("up.bin", offset, target);
  EXPECT_EQ(readLocal(target), content);
  EXPECT_EQ(harness.progress.back().bytes, content.size());
  EXPECT_EQ(harness.progress.back().total, content.size() - offset);

  // Upload resume: the remote file holds the first part; the flag true sends the rest.
  server->writeFile(own + "/part.bin", content.left(offset));
  client.SendFile(source, offset, "part.bin", true);
  EXPECT_EQ(server->readFile(own + "/part.bin"), content);

  // The flag false replaces a longer remote file from its beginning, whatever the offset says.
  server->writeFile(own + "/long.bin", QByteArray(content.size() + 5000, 'L'));
  const QString small = local("small.bin");
  ASSERT_TRUE(writeLocal(small, "tiny"));
  client.SendFile(small, 2, "long.bin", false);
  EXPECT_EQ(server->readFile(own + "/long.bin"), "tiny");

  // Names travel as UTF-8.
  const QString unicode = QStringLiteral("Gr\u00FC\u00DFe \u20AC.bin");
  client.SendFile(small, 0, unicode, false);
  EXPECT_EQ(server->readFile(own + '/' + unicode), "tiny");
  const auto listed = client.GetFolderContents("Gr*");
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].name, unicode);

  // A resume offset one past the end of the local file would leave a hole: refused before anything
  // is sent, either way. An offset at the end resumes with nothing left to send.
  EXPECT_TRUE(harness.fails([&] { client.ReceiveFile("up.bin", 5, small); }, FailureKind::LocalFileFailed));
  EXPECT_EQ(readLocal(small), "tiny");
  EXPECT_TRUE(harness.fails([&] { client.SendFile(small, 5, "long.bin", true); }, FailureKind::InvalidArgument));
  client.SendFile(small, 4, "long.bin", true);
  EXPECT_EQ(server->readFile(own + "/long.bin"), "tiny");

  // A refused download leaves an existing local file alone.
  ASSERT_TRUE(writeLocal(small, "keep me"));
  EXPECT_TRUE(harness.fails([&] { client.ReceiveFile("missing.bin", 0, small); }, FailureKind::CommandRefused));
  EXPECT_EQ(readLocal(small), "keep me");
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(RealServer, FolderTreesBothWays) {
  const QString own = enterOwnFolder();
  const QString tree = local("tree");
  const QByteArray bin = randomBytes(70000, 3);
  ASSERT_TRUE(writeLocal(tree + "/top.txt", "top"));
  ASSERT_TRUE(writeLocal(tree + "/top.bin", bin));
  ASSERT_TRUE(writeLocal(tree + "/sub/inner.txt", "inner"));
  ASSERT_TRUE(writeLocal(tree + "/sub/deeper/deep.txt", "deep"));
  ASSERT_TRUE(QDir().mkpath(tree + "/empty"));

  // Top level only.
  client.SendMatchingFiles(tree + "/*.txt", "flat", true, false);
  EXPECT_EQ(entriesOf(server->path(own + "/flat")), QStringList{"top.txt"});
  EXPECT_EQ(client.GetCurrentFolder(), '/' + own);
  client.SendMatchingFiles(tree + "/*.txt", "nested/two/levels", true, false);
  EXPECT_EQ(server->readFile(own + "/nested/two/levels/top.txt"), "top");
  EXPECT_EQ(client.GetCurrentFolder(), '/' + own);

  // The whole tree, into a folder that does not exist yet.
  client.SendMatchingFiles(tree + "/*", "copy", true, true);
  EXPECT_EQ(server->readFile(own + "/copy/sub/deeper/deep.txt"), "deep");
  EXPECT_EQ(server->readFile(own + "/copy/top.bin"), bin);
  EXPECT_TRUE(QFileInfo(server->path(own + "/copy/empty")).isDir());
  EXPECT_EQ(client.GetCurrentFolder(), '/' + own);

  // And back down, into a new local folder.
  const QString back = local("back");
  client.ReceiveMatchingFiles("copy/*", back, true);
  EXPECT_EQ(readLocal(back + "/top.txt"), "top");
  EXPECT_EQ(readLocal(back + "/top.bin"), bin);
  EXPECT_EQ(readLocal(back + "/sub/inner.txt"), "inner");
  EXPECT_EQ(readLocal(back + "/sub/deeper/deep.txt"), "deep");
  EXPECT_TRUE(QFileInfo(back + "/empty").isDir());
  EXPECT_EQ(client.GetCurrentFolder(), '/' + own);
  EXPECT_EQ(harness.progress.back().total, 3 + 70000 + 5 + 4);

  // A mask with an absolute folder and a pattern, without subfolders.
  client.ReceiveMatchingFiles('/' + own + "/copy/*.txt", local("textonly"), false);
  EXPECT_EQ(entriesOf(local("textonly")), QStringList{"top.txt"});
  EXPECT_TRUE(harness.skipped.empty());
}

// Both ways over each kind of data connection besides IPv4's EPSV (every other test's): EPRT,
// EPSV and EPRT over IPv6 (the address written both ways), and PASV and PORT on a server without
// the extended commands, whose PASV replies name another address.
TEST_F(RealServer, DataConnectionsOfEveryKind) {
  FtpServerFixture old({.anonymous = false, .epsv = false, .masquerade = "10.9.8.7"});
  FtpServerFixture six({.host = "::1", .anonymous = false});
  ASSERT_TRUE(old.start());
  ASSERT_TRUE(six.start());
  const struct {
    FtpServerFixture* server;
    QString address;
    bool passive;
    QStringList logged;
  } cases[] = {
      {server, "127.0.0.1", false, {"EPRT |1|127.0.0.1|"}},
      {&old, "127.0.0.1", true, {"PASV", "10.9.8.7"}},
      {&old, "127.0.0.1", false, {"PORT 127,0,0,1,"}},
      {&six, "[::1]", true, {"EPSV"}},
      {&six, "::1", false, {"EPRT |2|::1|"}},
  };
  const QByteArray content = randomBytes(200000, 11);
  ASSERT_TRUE(writeLocal(local("source.bin"), content));
  int n = 0;
  for (const auto& c : cases) {
    const QString name = QString("data%1.bin").arg(++n);
    SCOPED_TRACE(c.logged.join(' ').toStdString());
    FtpClient other;
    ClientHarness otherHarness(other);
    configure(other, *c.server);
    other.setServerAddress(c.address);
    other.setPassiveMode(c.passive);
    ASSERT_NO_THROW(other.Connect());
    other.SendFile(local("source.bin"), 0, name, false);
    EXPECT_EQ(c.server->readFile(name), content);
    other.ReceiveFile(name, 0, local(name));
    EXPECT_EQ(readLocal(local(name)), content);
    for (const QString& text : c.logged) EXPECT_TRUE(otherHarness.logContains(text)) << text.toStdString();
  }
}

TEST_F(RealServer, RawCommands) {
  const QString own = enterOwnFolder();
  server->writeFile(own + "/perm.txt", "x");
  EXPECT_TRUE(client.SendCommand("SYST").startsWith("215"));
  // A refusal is an answer, not a failure.
  EXPECT_TRUE(client.SendCommand("QUOTE NOOP").startsWith("500"));
  client.SendCommand("SITE CHMOD 600 perm.txt");
  EXPECT_EQ(QFile::permissions(server->path(own + "/perm.txt")),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
  // LIST gets its data connection; the lines land in the log.
  client.SendCommand("LIST");
  EXPECT_TRUE(std::any_of(harness.log.begin(), harness.log.end(),
                          [](const QString& line) { return line.endsWith(" perm.txt") && line.startsWith('-'); }));
  // A raw TYPE or REST must not leak into the next transfer.
  const QByteArray content = randomBytes(5000, 9);
  server->writeFile(own + "/raw.bin", content);
  client.SendCommand("TYPE A");
  client.SendCommand("REST 100");
  client.ReceiveFile("raw.bin", 0, local("raw.bin"));
  EXPECT_EQ(readLocal(local("raw.bin")), content);
  EXPECT_EQ(client.CurrentState(), Idle);
  // RETR and STOR typed as a line get their data connection and a local file.
  client.SendCommand("retr raw.bin", local("typed.bin"));
  EXPECT_EQ(readLocal(local("typed.bin")), content);
  client.SendCommand("STOR typed up.bin", local("typed.bin"));
  EXPECT_EQ(server->readFile(own + "/typed up.bin"), content);
  EXPECT_THROW(client.SendCommand("RETR raw.bin"), FtpFailure) << "no local file to write";
  EXPECT_THROW(client.SendCommand("RETR missing.bin", local("missing.bin")), FtpFailure);
  EXPECT_FALSE(QFile::exists(local("missing.bin"))) << "a refused download leaves nothing behind";
  EXPECT_EQ(client.CurrentState(), Idle);
  // QUIT typed by hand ends the connection like a disconnect.
  client.SendCommand("QUIT");
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_EQ(harness.disconnects, 1);
}

TEST_F(RealServer, FilesBeyondFourGibibytes) {
  const QString own = enterOwnFolder();
  const qint64 size = 5LL * 1024 * 1024 * 1024 + 7;
  const auto sparse = [](const QString& path, qint64 length, const QByteArray& tail) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.resize(length) && file.seek(length - tail.size()) &&
           file.write(tail) == tail.size();
  };
  ASSERT_TRUE(sparse(server->path(own + "/huge.bin"), size, "tail!!!"));
  const auto items = client.GetFolderContents();
  client.ListFolderContents();
  ASSERT_EQ(items.size(), 1u);
  ASSERT_EQ(harness.items.size(), 1u);
  EXPECT_EQ(items[0].size, size);
  EXPECT_EQ(harness.items[0].size, size);

  // Resume the download 100 bytes before the end: the offset travels as a 64-bit number.
  const QString target = local("huge.bin");
  ASSERT_TRUE(sparse(target, size - 100, {}));
  client.ReceiveFile("huge.bin", size - 100, target);
  QFile result(target);
  ASSERT_TRUE(result.open(QIODevice::ReadOnly) && result.seek(size - 7));
  EXPECT_EQ(result.size(), size);
  EXPECT_EQ(result.read(7), "tail!!!");
  EXPECT_TRUE(harness.logContains("REST 5368709027"));
  EXPECT_EQ(harness.progress.back().bytes, size);
  EXPECT_EQ(harness.progress.back().percent, 100);
}

TEST_F(RealServer, AbortDuringASlowTransferKeepsTheConnection) {
  FtpServerFixture slow({.anonymous = false, .throttle = 64 * 1024});
  ASSERT_TRUE(slow.start());
  slow.writeFile("slow.bin", randomBytes(4 * 1024 * 1024, 1));
  slow.writeFile("small.txt", "small");
  configure(client, slow);
  connectOk();
  harness.abortOnFirstBytes();
  const QString target = local("slow.bin");
  EXPECT_TRUE(harness.fails([&] { client.ReceiveFile("slow.bin", 0, target); }, FailureKind::Aborted));
  harness.onProgress = nullptr;
  EXPECT_EQ(client.CurrentState(), Idle);
  const qint64 kept = QFileInfo(target).size();
  EXPECT_GT(kept, 0);
  EXPECT_LT(kept, 4 * 1024 * 1024);
  EXPECT_EQ(readLocal(target), slow.readFile("slow.bin").left(kept));
  // Usable afterwards.
  client.ReceiveFile("small.txt", 0, local("small.txt"));
  EXPECT_EQ(readLocal(local("small.txt")), "small");

  // Disconnect during a transfer aborts it first and ends in the disconnected state.
  harness.onProgress = [&] {
    if (harness.progress.back().bytes > 0 && client.CurrentState() != NotConnected) client.Disconnect();
  };
  EXPECT_TRUE(harness.fails([&] { client.ReceiveFile("slow.bin", 0, target); }, FailureKind::Aborted));
  harness.onProgress = nullptr;
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_EQ(harness.disconnects, 1);
}

TEST_F(RealServer, OneOperationAtATime) {
  const QString own = enterOwnFolder();
  server->writeFile(own + "/a.bin", randomBytes(300000, 2));
  int busy = 0;
  harness.onProgress = [&] {
    if (harness.failureOf([&] { client.GetCurrentFolder(); }).kind() == FailureKind::Busy) ++busy;
    EXPECT_NE(client.CurrentState(), Idle);
    EXPECT_NE(client.CurrentState(), NotConnected);
  };
  client.ReceiveFile("a.bin", 0, local("a.bin"));
  harness.onProgress = nullptr;
  EXPECT_GT(busy, 0);
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(RealServer, NoServerListening) {
  FtpServerFixture gone;
  ASSERT_TRUE(gone.start());
  const quint16 port = gone.port();
  gone.stop();
  client.setServerPort(port);
  EXPECT_TRUE(harness.fails([&] { client.Connect(); }, FailureKind::ConnectFailed,
                            {QString("Cannot connect to 127.0.0.1:%1").arg(port)}));
  EXPECT_EQ(client.CurrentState(), NotConnected);

  // A port that went through a signed 16-bit number comes back as the port it was.
  client.setServerPort(-25536);
  EXPECT_EQ(client.ServerPort(), 40000);
  client.setServerPort(port);
  EXPECT_TRUE(harness.fails([&] { client.GetCurrentFolder(); }, FailureKind::NotConnected));
}
