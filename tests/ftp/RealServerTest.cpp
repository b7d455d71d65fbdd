// The engine against a real server (pyftpdlib on loopback): logins, folders, listings, transfers
// compared byte for byte, resume, folder trees both ways, active and passive data
// connections over IPv4 and IPv6, raw commands, abort, the log, and sizes beyond 4 GiB.

#include "ClientHarness.h"

#include "support/FtpServerFixture.h"

#include <QTemporaryDir>

#include <algorithm>

using namespace tidewick::test;
using tidewick::ftp::FailureKind;

namespace {

constexpr int NotConnected = 0;
constexpr int Idle = 2;

class RealServer : public ::testing::Test {
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

  static void configure(FtpClient& c, const QString& user = QStringLiteral("demo"),
                        const QString& password = QStringLiteral("demo")) {
    c.setServerAddress(server->host());
    c.setServerPort(server->port());
    c.setUserName(user);
    c.setPassword(password);
    c.setPassiveMode(true);
  }

  void connectOk() {
    ASSERT_NO_THROW(client.Connect());
    ASSERT_EQ(client.CurrentState(), Idle);
  }

  // A folder of its own on the server for each test, entered.
  QString enterOwnFolder() {
    const QString name = QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
    QDir(server->root()).mkpath(name);
    client.ChangeCurrentFolder(QStringLiteral("/") + name);
    return name;
  }

  QString local(const QString& name) const { return dir.filePath(name); }

  static inline FtpServerFixture* server = nullptr;
  static inline ::testing::AssertionResult startResult = ::testing::AssertionFailure();

  FtpClient client;
  ClientHarness harness{client};
  QTemporaryDir dir;
};

} // namespace

TEST_F(RealServer, AnonymousAndNamedLoginsAndAWrongPassword) {
  FtpClient anonymous;
  configure(anonymous, QStringLiteral("anonymous"), QStringLiteral("tansy"));
  ASSERT_NO_THROW(anonymous.Connect());
  EXPECT_EQ(anonymous.CurrentState(), Idle);
  EXPECT_EQ(anonymous.GetCurrentFolder(), QStringLiteral("/"));
  anonymous.Disconnect();
  EXPECT_EQ(anonymous.CurrentState(), NotConnected);

  // Refused, and the question answered with nothing: a clear failure, nothing connected.
  configure(client, QStringLiteral("demo"), QStringLiteral("wrong"));
  FtpFailure failure = harness.failureOf([&] { client.Connect(); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::LoginFailed));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("refused the password")));
  EXPECT_EQ(harness.passwordQuestions, 1);
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_EQ(harness.disconnects, 0);

  // Refused, then the right password given in answer to the question.
  harness.passwordAnswer = QStringLiteral("demo");
  ASSERT_NO_THROW(client.Connect());
  EXPECT_EQ(harness.passwordQuestions, 2);
  EXPECT_EQ(client.CurrentState(), Idle);
  EXPECT_FALSE(harness.logContains(QStringLiteral("PASS demo")));
  EXPECT_FALSE(harness.logContains(QStringLiteral("PASS wrong")));
  EXPECT_TRUE(harness.logContains(QStringLiteral("PASS ****")));
  client.Disconnect();
  EXPECT_EQ(harness.disconnects, 1);
  EXPECT_EQ(client.CurrentState(), NotConnected);
}

// pyftpdlib, like rename(2), renames over an existing name without a word; the engine must look
// first. With MLST it sees files and folders; with SIZE only files (the panes' listing covers the
// rest).
TEST(RealServerRename, NeverReplacesAnExistingName) {
  for (const bool mlst : {true, false}) {
    SCOPED_TRACE(mlst ? "MLST" : "SIZE only");
    FtpServerOptions options;
    options.mlsd = mlst;
    FtpServerFixture server(options);
    server.writeFile(QStringLiteral("a.txt"), "aaa");
    server.writeFile(QStringLiteral("b.txt"), "bbb");
    QDir(server.root()).mkpath(QStringLiteral("full/inner"));
    QDir(server.root()).mkpath(QStringLiteral("empty"));
    ASSERT_TRUE(server.start());
    FtpClient client;
    ClientHarness harness(client);
    server.loginFor(client);
    ASSERT_NO_THROW(client.Connect());

    FtpFailure failure =
        harness.failureOf([&] { client.RenameFile(QStringLiteral("a.txt"), QStringLiteral("b.txt")); });
    EXPECT_EQ(failure.number(), failureNumber(FailureKind::TargetExists));
    EXPECT_EQ(failure.description(), "The name b.txt exists in the folder already; nothing was renamed");
    EXPECT_EQ(server.readFile(QStringLiteral("b.txt")), "bbb");
    EXPECT_EQ(server.readFile(QStringLiteral("a.txt")), "aaa");
    failure = harness.failureOf(
        [&] { client.RenameFile(QStringLiteral("a.txt"), QStringLiteral("full/inner/../../b.txt")); });
    EXPECT_EQ(failure.number(), failureNumber(FailureKind::TargetExists)) << "a path to the name is the name";
    if (mlst) {
      // An empty folder is replaced by rename(2) just as silently.
      failure = harness.failureOf([&] { client.RenameFile(QStringLiteral("full"), QStringLiteral("empty")); });
      EXPECT_EQ(failure.number(), failureNumber(FailureKind::TargetExists));
      EXPECT_TRUE(QFileInfo(server.path(QStringLiteral("full/inner"))).isDir());
    }
    EXPECT_FALSE(harness.logContains(QStringLiteral("RNFR"))) << "nothing of a refused rename went out";

    // A free name, and a change of case alone, still rename.
    client.RenameFile(QStringLiteral("a.txt"), QStringLiteral("A.txt"));
    client.RenameFile(QStringLiteral("A.txt"), QStringLiteral("c.txt"));
    EXPECT_EQ(server.readFile(QStringLiteral("c.txt")), "aaa");
    EXPECT_EQ(client.CurrentState(), Idle);
  }
}

TEST_F(RealServer, FoldersAndTheirCommands) {
  connectOk();
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/"));
  const QString own = enterOwnFolder();
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/") + own);

  client.CreateFolder(QStringLiteral("made"));
  EXPECT_TRUE(QFileInfo(server->path(own + QStringLiteral("/made"))).isDir());
  client.ChangeCurrentFolder(QStringLiteral("made"));
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/") + own + QStringLiteral("/made"));
  client.ChangeToParentFolder();
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/") + own);

  server->writeFile(own + QStringLiteral("/old.txt"), "content");
  server->writeFile(own + QStringLiteral("/other.txt"), "other");
  client.RenameFile(QStringLiteral("old.txt"), QStringLiteral("new.txt"));
  EXPECT_EQ(server->readFile(own + QStringLiteral("/new.txt")), QByteArray("content"));

  client.DeleteFile(QStringLiteral("other.txt"));
  EXPECT_FALSE(QFile::exists(server->path(own + QStringLiteral("/other.txt"))));
  client.RemoveFolder(QStringLiteral("made"));
  EXPECT_FALSE(QFileInfo::exists(server->path(own + QStringLiteral("/made"))));

  FtpFailure failure = harness.failureOf([&] { client.ChangeCurrentFolder(QStringLiteral("missing")); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::CommandRefused));
  EXPECT_TRUE(failure.description().startsWith(QStringLiteral("CWD missing failed: 550")));
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(RealServer, ListingsThroughMlsdAndList) {
  connectOk();
  const QString own = enterOwnFolder();
  server->writeFile(own + QStringLiteral("/a.gif"), QByteArray(1234, 'g'));
  server->writeFile(own + QStringLiteral("/b.txt"), "bb");
  QDir(server->root()).mkpath(own + QStringLiteral("/folder"));

  const auto check = [&](const std::vector<FtpClient::FolderItem>& items) {
    ASSERT_EQ(items.size(), 3u);
    std::map<QString, FtpClient::FolderItem> byName;
    for (const auto& item : items) byName[item.name] = item;
    EXPECT_EQ(byName[QStringLiteral("a.gif")].size, 1234);
    EXPECT_EQ(byName[QStringLiteral("a.gif")].kind, 0);
    EXPECT_EQ(byName[QStringLiteral("folder")].kind, 1);
    EXPECT_TRUE(byName[QStringLiteral("b.txt")].date.isValid());
    const qint64 age = byName[QStringLiteral("b.txt")].date.secsTo(QDateTime::currentDateTimeUtc());
    EXPECT_TRUE(age > -120 && age < 3600) << age;
  };
  check(client.GetFolderContents());
  EXPECT_TRUE(std::find(harness.log.begin(), harness.log.end(), QStringLiteral("MLSD")) != harness.log.end());

  client.ListFolderContents(QStringLiteral("*.gif"));
  ASSERT_EQ(harness.items.size(), 1u);
  EXPECT_EQ(harness.items[0].name, QStringLiteral("a.gif"));
  EXPECT_EQ(harness.items[0].size, 1234);

  // The same folder from a server without MLSD goes through LIST and the ls -l parser.
  FtpServerFixture plain(
      {.host = QStringLiteral("127.0.0.1"), .users = {{"demo", "demo"}}, .anonymous = false, .mlsd = false});
  ASSERT_TRUE(plain.start());
  plain.writeFile(QStringLiteral("a.gif"), QByteArray(1234, 'g'));
  plain.writeFile(QStringLiteral("b.txt"), "bb");
  QDir(plain.root()).mkpath(QStringLiteral("folder"));
  FtpClient other;
  ClientHarness otherHarness(other);
  configure(other);
  other.setServerPort(plain.port());
  other.Connect();
  check(other.GetFolderContents());
  EXPECT_TRUE(std::find(otherHarness.log.begin(), otherHarness.log.end(), QStringLiteral("LIST -a")) !=
              otherHarness.log.end());
}

TEST_F(RealServer, UploadAndDownloadByteForByteWithResume) {
  connectOk();
  const QString own = enterOwnFolder();
  const QByteArray content = randomBytes(3 * 1024 * 1024 + 17, 7);
  const QString source = local(QStringLiteral("source.bin"));
  ASSERT_TRUE(writeLocal(source, content));

  client.SendFile(source, 0, QStringLiteral("up.bin"), false);
  EXPECT_EQ(server->readFile(own + QStringLiteral("/up.bin")), content);
  ASSERT_FALSE(harness.progress.empty());
  EXPECT_EQ(harness.progress.back().bytes, content.size());
  EXPECT_EQ(harness.progress.back().percent, 100);
  EXPECT_EQ(harness.progress.back().total, content.size());
  EXPECT_EQ(harness.sending, QStringList{source});

  const QString target = local(QStringLiteral("down.bin"));
  client.ReceiveFile(QStringLiteral("up.bin"), 0, target);
  EXPECT_EQ(readLocal(target), content);
  EXPECT_EQ(harness.receiving, QStringList{"up.bin"});

  // Download resume: a local file holding the first part (and a stale tail) continues at the offset.
  const qint64 offset = 1000003;
  ASSERT_TRUE(writeLocal(target, content.left(offset) + QByteArray(5000000, 'S')));
  client.ReceiveFile(QStringLiteral("up.bin"), offset, target);
  EXPECT_EQ(readLocal(target), content);
  EXPECT_EQ(harness.progress.back().bytes, content.size());
  EXPECT_EQ(harness.progress.back().total, content.size() - offset);

  // Upload resume: the remote file holds the first part; the flag true sends the rest.
  server->writeFile(own + QStringLiteral("/part.bin"), content.left(offset));
  client.SendFile(source, offset, QStringLiteral("part.bin"), true);
  EXPECT_EQ(server->readFile(own + QStringLiteral("/part.bin")), content);

  // The flag false replaces a longer remote file from its beginning, whatever the offset says.
  server->writeFile(own + QStringLiteral("/long.bin"), QByteArray(content.size() + 5000, 'L'));
  const QString small = local(QStringLiteral("small.bin"));
  ASSERT_TRUE(writeLocal(small, "tiny"));
  client.SendFile(small, 2, QStringLiteral("long.bin"), false);
  EXPECT_EQ(server->readFile(own + QStringLiteral("/long.bin")), QByteArray("tiny"));

  // Names travel as UTF-8.
  const QString unicode = QStringLiteral("Gr\u00FC\u00DFe \u20AC.bin");
  client.SendFile(small, 0, unicode, false);
  EXPECT_EQ(server->readFile(own + QLatin1Char('/') + unicode), QByteArray("tiny"));
  const auto listed = client.GetFolderContents(QStringLiteral("Gr*"));
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].name, unicode);

  // A resume offset one past the end of the local file would leave a hole: refused before anything
  // is sent, either way. An offset at the end resumes with nothing left to send.
  ASSERT_TRUE(writeLocal(small, "tiny"));
  EXPECT_EQ(harness.failureOf([&] { client.ReceiveFile(QStringLiteral("up.bin"), 5, small); }).number(),
            failureNumber(FailureKind::LocalFileFailed));
  EXPECT_EQ(readLocal(small), QByteArray("tiny"));
  EXPECT_EQ(harness.failureOf([&] { client.SendFile(small, 5, QStringLiteral("long.bin"), true); }).number(),
            failureNumber(FailureKind::InvalidArgument));
  client.SendFile(small, 4, QStringLiteral("long.bin"), true);
  EXPECT_EQ(server->readFile(own + QStringLiteral("/long.bin")), QByteArray("tiny"));

  // A refused download leaves an existing local file alone.
  ASSERT_TRUE(writeLocal(small, "keep me"));
  const FtpFailure failure = harness.failureOf([&] { client.ReceiveFile(QStringLiteral("missing.bin"), 0, small); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::CommandRefused));
  EXPECT_EQ(readLocal(small), QByteArray("keep me"));
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(RealServer, FolderTreesBothWays) {
  connectOk();
  const QString own = enterOwnFolder();
  const QString tree = local(QStringLiteral("tree"));
  ASSERT_TRUE(writeLocal(tree + QStringLiteral("/top.txt"), "top"));
  ASSERT_TRUE(writeLocal(tree + QStringLiteral("/top.bin"), randomBytes(70000, 3)));
  ASSERT_TRUE(writeLocal(tree + QStringLiteral("/sub/inner.txt"), "inner"));
  ASSERT_TRUE(writeLocal(tree + QStringLiteral("/sub/deeper/deep.txt"), "deep"));
  ASSERT_TRUE(QDir().mkpath(tree + QStringLiteral("/empty")));

  // Top level only.
  client.SendMatchingFiles(tree + QStringLiteral("/*.txt"), QStringLiteral("flat"), true, false);
  EXPECT_EQ(QDir(server->path(own + QStringLiteral("/flat"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList{"top.txt"});
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/") + own);
  client.SendMatchingFiles(tree + QStringLiteral("/*.txt"), QStringLiteral("nested/two/levels"), true, false);
  EXPECT_EQ(server->readFile(own + QStringLiteral("/nested/two/levels/top.txt")), QByteArray("top"));
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/") + own);

  // The whole tree, into a folder that does not exist yet.
  client.SendMatchingFiles(tree + QStringLiteral("/*"), QStringLiteral("copy"), true, true);
  EXPECT_EQ(server->readFile(own + QStringLiteral("/copy/sub/deeper/deep.txt")), QByteArray("deep"));
  EXPECT_EQ(server->readFile(own + QStringLiteral("/copy/top.bin")), randomBytes(70000, 3));
  EXPECT_TRUE(QFileInfo(server->path(own + QStringLiteral("/copy/empty"))).isDir());
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/") + own);

  // And back down, into a new local folder.
  const QString back = local(QStringLiteral("back"));
  client.ReceiveMatchingFiles(QStringLiteral("copy/*"), back, true);
  EXPECT_EQ(readLocal(back + QStringLiteral("/top.txt")), QByteArray("top"));
  EXPECT_EQ(readLocal(back + QStringLiteral("/top.bin")), randomBytes(70000, 3));
  EXPECT_EQ(readLocal(back + QStringLiteral("/sub/inner.txt")), QByteArray("inner"));
  EXPECT_EQ(readLocal(back + QStringLiteral("/sub/deeper/deep.txt")), QByteArray("deep"));
  EXPECT_TRUE(QFileInfo(back + QStringLiteral("/empty")).isDir());
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/") + own);
  EXPECT_EQ(harness.progress.back().total, 3 + 70000 + 5 + 4);

  // A mask with an absolute folder and a pattern, without subfolders.
  const QString textOnly = local(QStringLiteral("textonly"));
  client.ReceiveMatchingFiles(QStringLiteral("/") + own + QStringLiteral("/copy/*.txt"), textOnly, false);
  EXPECT_EQ(QDir(textOnly).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"top.txt"});
  EXPECT_TRUE(harness.skipped.empty());
}

// Both ways over each kind of data connection besides IPv4's EPSV (every other test's): EPRT,
// EPSV and EPRT over IPv6 (the address written both ways), and PASV and PORT on a server without the extended commands,
// whose PASV replies name another address.
TEST_F(RealServer, DataConnectionsOfEveryKind) {
  FtpServerFixture old(
      {.users = {{"demo", "demo"}}, .anonymous = false, .epsv = false, .masquerade = QStringLiteral("10.9.8.7")});
  FtpServerFixture six({.host = QStringLiteral("::1"), .users = {{"demo", "demo"}}, .anonymous = false});
  ASSERT_TRUE(old.start());
  ASSERT_TRUE(six.start());
  const struct {
    FtpServerFixture* server;
    QString address;
    bool passive;
    QStringList logged;
  } cases[] = {
      {server, QStringLiteral("127.0.0.1"), false, {QStringLiteral("EPRT |1|127.0.0.1|")}},
      {&old, QStringLiteral("127.0.0.1"), true, {QStringLiteral("PASV"), QStringLiteral("10.9.8.7")}},
      {&old, QStringLiteral("127.0.0.1"), false, {QStringLiteral("PORT 127,0,0,1,")}},
      {&six, QStringLiteral("[::1]"), true, {QStringLiteral("EPSV")}},
      {&six, QStringLiteral("::1"), false, {QStringLiteral("EPRT |2|::1|")}},
  };
  const QByteArray content = randomBytes(200000, 11);
  const QString source = local(QStringLiteral("source.bin"));
  ASSERT_TRUE(writeLocal(source, content));
  int n = 0;
  for (const auto& c : cases) {
    const QString name = QStringLiteral("data%1.bin").arg(++n);
    SCOPED_TRACE(c.logged.join(' ').toStdString());
    FtpClient other;
    ClientHarness otherHarness(other);
    configure(other);
    other.setServerAddress(c.address);
    other.setServerPort(c.server->port());
    other.setPassiveMode(c.passive);
    ASSERT_NO_THROW(other.Connect());
    other.SendFile(source, 0, name, false);
    EXPECT_EQ(c.server->readFile(name), content);
    other.ReceiveFile(name, 0, local(name));
    EXPECT_EQ(readLocal(local(name)), content);
    for (const QString& text : c.logged) EXPECT_TRUE(otherHarness.logContains(text)) << text.toStdString();
  }
}

TEST_F(RealServer, RawCommands) {
  connectOk();
  const QString own = enterOwnFolder();
  server->writeFile(own + QStringLiteral("/perm.txt"), "x");
  EXPECT_TRUE(client.SendCommand(QStringLiteral("SYST")).startsWith(QStringLiteral("215")));
  // A refusal is an answer, not a failure.
  EXPECT_TRUE(client.SendCommand(QStringLiteral("QUOTE NOOP")).startsWith(QStringLiteral("500")));
  client.SendCommand(QStringLiteral("SITE CHMOD 600 perm.txt"));
  EXPECT_EQ(QFile::permissions(server->path(own + QStringLiteral("/perm.txt"))),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
  // LIST gets its data connection; the lines land in the log.
  client.SendCommand(QStringLiteral("LIST"));
  EXPECT_TRUE(std::any_of(harness.log.begin(), harness.log.end(), [](const QString& line) {
    return line.endsWith(QStringLiteral(" perm.txt")) && line.startsWith(QLatin1Char('-'));
  }));
  // A raw TYPE or REST must not leak into the next transfer.
  const QByteArray content = randomBytes(5000, 9);
  server->writeFile(own + QStringLiteral("/raw.bin"), content);
  client.SendCommand(QStringLiteral("TYPE A"));
  client.SendCommand(QStringLiteral("REST 100"));
  client.ReceiveFile(QStringLiteral("raw.bin"), 0, local(QStringLiteral("raw.bin")));
  EXPECT_EQ(readLocal(local(QStringLiteral("raw.bin"))), content);
  EXPECT_EQ(client.CurrentState(), Idle);
  // RETR and STOR typed as a line get their data connection and a local file.
  client.SendCommand(QStringLiteral("retr raw.bin"), local(QStringLiteral("typed.bin")));
  EXPECT_EQ(readLocal(local(QStringLiteral("typed.bin"))), content);
  client.SendCommand(QStringLiteral("STOR typed up.bin"), local(QStringLiteral("typed.bin")));
  EXPECT_EQ(server->readFile(own + QStringLiteral("/typed up.bin")), content);
  EXPECT_THROW(client.SendCommand(QStringLiteral("RETR raw.bin")), FtpFailure) << "no local file to write";
  EXPECT_THROW(client.SendCommand(QStringLiteral("RETR missing.bin"), local(QStringLiteral("missing.bin"))),
               FtpFailure);
  EXPECT_FALSE(QFile::exists(local(QStringLiteral("missing.bin")))) << "a refused download leaves nothing behind";
  EXPECT_EQ(client.CurrentState(), Idle);
  // QUIT typed by hand ends the connection like a disconnect.
  client.SendCommand(QStringLiteral("QUIT"));
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_EQ(harness.disconnects, 1);
}

TEST_F(RealServer, FilesBeyondFourGibibytes) {
  connectOk();
  const QString own = enterOwnFolder();
  const qint64 size = 5LL * 1024 * 1024 * 1024 + 7;
  {
    QFile sparse(server->path(own + QStringLiteral("/huge.bin")));
    ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
    ASSERT_TRUE(sparse.resize(size));
    ASSERT_TRUE(sparse.seek(size - 7));
    sparse.write("tail!!!", 7);
  }
  const auto items = client.GetFolderContents();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].size, size);
  client.ListFolderContents();
  ASSERT_EQ(harness.items.size(), 1u);
  EXPECT_EQ(harness.items[0].size, size);

  // Resume the download 100 bytes before the end: the offset travels as a 64-bit number.
  const QString target = local(QStringLiteral("huge.bin"));
  {
    QFile partial(target);
    ASSERT_TRUE(partial.open(QIODevice::WriteOnly));
    ASSERT_TRUE(partial.resize(size - 100));
  }
  client.ReceiveFile(QStringLiteral("huge.bin"), size - 100, target);
  QFile result(target);
  ASSERT_TRUE(result.open(QIODevice::ReadOnly));
  EXPECT_EQ(result.size(), size);
  ASSERT_TRUE(result.seek(size - 7));
  EXPECT_EQ(result.read(7), QByteArray("tail!!!"));
  EXPECT_TRUE(harness.logContains(QStringLiteral("REST 5368709027")));
  EXPECT_EQ(harness.progress.back().bytes, size);
  EXPECT_EQ(harness.progress.back().percent, 100);
}

TEST_F(RealServer, AbortDuringASlowTransferKeepsTheConnection) {
  FtpServerFixture slow({.users = {{"demo", "demo"}}, .anonymous = false, .throttle = 64 * 1024});
  ASSERT_TRUE(slow.start());
  slow.writeFile(QStringLiteral("slow.bin"), randomBytes(4 * 1024 * 1024, 1));
  slow.writeFile(QStringLiteral("small.txt"), "small");
  configure(client);
  client.setServerPort(slow.port());
  connectOk();
  harness.onProgress = [&] {
    if (harness.progress.back().bytes > 0) client.setAbort(true);
  };
  const QString target = local(QStringLiteral("slow.bin"));
  const FtpFailure failure = harness.failureOf([&] { client.ReceiveFile(QStringLiteral("slow.bin"), 0, target); });
  harness.onProgress = nullptr;
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::Aborted));
  EXPECT_EQ(client.CurrentState(), Idle);
  const qint64 kept = QFileInfo(target).size();
  EXPECT_GT(kept, 0);
  EXPECT_LT(kept, 4 * 1024 * 1024);
  EXPECT_EQ(readLocal(target), slow.readFile(QStringLiteral("slow.bin")).left(kept));
  // Usable afterwards.
  client.ReceiveFile(QStringLiteral("small.txt"), 0, local(QStringLiteral("small.txt")));
  EXPECT_EQ(readLocal(local(QStringLiteral("small.txt"))), QByteArray("small"));

  // Disconnect during a transfer aborts it first and ends in the disconnected state.
  harness.onProgress = [&] {
    if (harness.progress.back().bytes > 0 && client.CurrentState() != NotConnected) client.Disconnect();
  };
  const FtpFailure second = harness.failureOf([&] { client.ReceiveFile(QStringLiteral("slow.bin"), 0, target); });
  harness.onProgress = nullptr;
  EXPECT_EQ(second.number(), failureNumber(FailureKind::Aborted));
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_EQ(harness.disconnects, 1);
}

TEST_F(RealServer, OneOperationAtATime) {
  connectOk();
  const QString own = enterOwnFolder();
  server->writeFile(own + QStringLiteral("/a.bin"), randomBytes(300000, 2));
  int busy = 0;
  harness.onProgress = [&] {
    const FtpFailure failure = harness.failureOf([&] { client.GetCurrentFolder(); });
    if (failure.number() == failureNumber(FailureKind::Busy)) ++busy;
    EXPECT_NE(client.CurrentState(), Idle);
    EXPECT_NE(client.CurrentState(), NotConnected);
  };
  client.ReceiveFile(QStringLiteral("a.bin"), 0, local(QStringLiteral("a.bin")));
  harness.onProgress = nullptr;
  EXPECT_GT(busy, 0);
  EXPECT_EQ(client.CurrentState(), Idle);
}

// The file gets the lines the log shows (passwords masked there already), after what it held.
TEST_F(RealServer, LogFileIsAppendedTo) {
  const QString logPath = local(QStringLiteral("ftp.log"));
  ASSERT_TRUE(writeLocal(logPath, "earlier line\n"));
  client.setLogFile(logPath);
  connectOk();
  client.GetCurrentFolder();
  client.Disconnect();
  const QByteArray text = readLocal(logPath);
  EXPECT_TRUE(text.startsWith("earlier line\n"));
  EXPECT_TRUE(text.contains("USER demo"));
  EXPECT_TRUE(text.contains("257 \"/\""));
}

TEST_F(RealServer, NoServerListening) {
  FtpServerFixture gone;
  ASSERT_TRUE(gone.start());
  const quint16 port = gone.port();
  gone.stop();
  client.setServerPort(port);
  const FtpFailure failure = harness.failureOf([&] { client.Connect(); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::ConnectFailed));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("Cannot connect to 127.0.0.1:%1").arg(port)));
  EXPECT_EQ(client.CurrentState(), NotConnected);

  // A port that went through a signed 16-bit number comes back as the port it was.
  client.setServerPort(-25536);
  EXPECT_EQ(client.ServerPort(), 40000);
  client.setServerPort(port);
  EXPECT_EQ(harness.failureOf([&] { client.GetCurrentFolder(); }).number(), failureNumber(FailureKind::NotConnected));
}
