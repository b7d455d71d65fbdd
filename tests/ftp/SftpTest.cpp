// The engine over SFTP against a real OpenSSH server on loopback: host keys (unknown, trusted once
// or always, hashed, changed, nobody to ask), logins with keys, passphrases, the agent, passwords
// and keyboard-interactive prompts, folder commands and listings from attributes, transfers
// compared byte for byte, resume both ways, abort, folder trees both ways, and permissions.

#include "ClientHarness.h"

#include "support/SocksProxyFixture.h"
#include "support/SshdFixture.h"

#include <QProcess>
#include <memory>

using namespace tidewick::test;
using tidewick::ftp::HostKeyAnswer;
using tidewick::ftp::HostKeyInfo;
using tidewick::ftp::Protocol;
using tidewick::ftp::SecretRequest;

namespace {

// Records each secret asked for and answers it from `answers` while they last.
void answerSecrets(FtpClient& client, std::vector<SecretRequest>& asked, QStringList& answers) {
  QObject::connect(&client, &FtpClient::SecretRequired,
                   [&](const SecretRequest& request, QString& answer, bool& given) {
                     asked.push_back(request);
                     given = !answers.isEmpty();
                     if (given) answer = answers.takeFirst();
                   });
}

void configure(FtpClient& c, const SshdFixture& server) {
  c.setProtocol(Protocol::Sftp);
  c.setServerAddress(server.host());
  c.setServerPort(server.port());
  c.setUserName(SshdFixture::userName());
  c.setPassword(QString());
}

class Sftp : public SshdTest {
protected:
  void SetUp() override {
    SshdTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(server->trustHostKey());
    configure(client, *server);
    QObject::connect(&client, &FtpClient::HostKeyUnknown, [this](const HostKeyInfo& key, int& answer) {
      asked.push_back(key);
      answer = static_cast<int>(hostKeyAnswer);
    });
    answerSecrets(client, secrets, secretAnswers);
  }
  void TearDown() override {
    client.Disconnect();
    SshdTest::TearDown();
  }

  static void setKnownHosts(const QByteArray& text) { ASSERT_TRUE(writeLocal(server->knownHosts(), text)); }

  void connectOk() {
    ASSERT_NO_THROW(client.Connect());
    ASSERT_EQ(client.CurrentState(), Idle);
  }
  // Connects, and enters a folder of the test's own below the fixture's file folder.
  QString enterOwnFolder() {
    connectOk();
    const QString name = QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
    const QString path = server->root() + '/' + name;
    QDir(path).removeRecursively();
    QDir().mkpath(path);
    client.ChangeCurrentFolder(path);
    return path;
  }
  QString local(const QString& name) const { return dir.filePath(name); }

  QTemporaryDir dir;
  FtpClient client;
  ClientHarness harness{client};
  HostKeyAnswer hostKeyAnswer = HostKeyAnswer::Cancel;
  std::vector<HostKeyInfo> asked;
  QStringList secretAnswers;
  std::vector<SecretRequest> secrets;
};

TEST_F(Sftp, AnUnknownHostKeyIsShownAndTrustedOnlyAsAnswered) {
  setKnownHosts({});
  // Cancel: nothing connects, nothing is written.
  EXPECT_TRUE(harness.fails([&] { client.Connect(); }, FailureKind::HostKeyRejected));
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].keyType, "ssh-ed25519");
  EXPECT_EQ(asked[0].fingerprint, server->hostKeyFingerprint());
  EXPECT_EQ(asked[0].port, server->port());
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_TRUE(readLocal(server->knownHosts()).isEmpty());

  // Trust once: connected, still not on file.
  hostKeyAnswer = HostKeyAnswer::TrustOnce;
  connectOk();
  client.Disconnect();
  EXPECT_TRUE(readLocal(server->knownHosts()).isEmpty());

  // Always: on file, and the next connection asks nothing.
  hostKeyAnswer = HostKeyAnswer::AlwaysTrust;
  connectOk();
  client.Disconnect();
  EXPECT_TRUE(readLocal(server->knownHosts()).contains(server->hostKeyLine().split(' ')[1]));
  hostKeyAnswer = HostKeyAnswer::Cancel;
  connectOk();
  EXPECT_EQ(asked.size(), 3u);

  // Nobody to ask (the headless runner): a clear failure that says where the key must go.
  client.Disconnect();
  setKnownHosts({});
  FtpClient headless;
  configure(headless, *server);
  ClientHarness quiet(headless);
  EXPECT_TRUE(quiet.fails([&] { headless.Connect(); }, FailureKind::HostKeyRejected,
                          {server->hostKeyFingerprint(), server->knownHosts()}));
}

TEST_F(Sftp, KnownKeysAreFoundHashedAndAChangedKeyIsRefusedNamingBoth) {
  QProcess hash;
  hash.start("ssh-keygen", {"-H", "-f", server->knownHosts()});
  ASSERT_TRUE(hash.waitForFinished() && hash.exitCode() == 0);
  ASSERT_TRUE(readLocal(server->knownHosts()).startsWith("|1|"));
  connectOk();
  client.Disconnect();
  EXPECT_TRUE(asked.empty());

  const QString other = local("other_key");
  ASSERT_TRUE(SshdFixture::makeKey(other));
  const QList<QByteArray> otherKey = readLocal(other + ".pub").split(' ');
  setKnownHosts(server->hostLabel() + ' ' + otherKey[0] + ' ' + otherKey[1] + '\n');
  EXPECT_TRUE(harness.fails([&] { client.Connect(); }, FailureKind::HostKeyChanged,
                            {"CHANGED", SshdFixture::fingerprintOf(other + ".pub"), server->hostKeyFingerprint()}));
  EXPECT_TRUE(asked.empty()); // refused, never offered for trust
  EXPECT_EQ(client.CurrentState(), NotConnected);
}

TEST_F(Sftp, KeyLoginsAskForAPassphraseAndWrongPasswordsAreRefused) {
  // The usual key logs in without a question (every other test relies on it too). A protected
  // key is opened with the passphrase asked for, after a wrong one.
  const QString ssh = server->clientHome() + "/.ssh/";
  const QString plain = ssh + "id_ed25519";
  ASSERT_TRUE(QFile::rename(plain, local("plain")));
  QFile::rename(plain + ".pub", local("plain.pub"));
  const struct Restore {
    QString from, to;
    ~Restore() {
      QFile::remove(to);
      QFile::remove(to + ".pub");
      QFile::rename(from, to);
      QFile::rename(from + ".pub", to + ".pub");
    }
  } restore{local("plain"), plain};
  ASSERT_TRUE(SshdFixture::makeKey(plain, "open sesame"));
  ASSERT_TRUE(server->authorize(plain));

  secretAnswers = {"wrong", "open sesame"};
  connectOk();
  ASSERT_EQ(secrets.size(), 2u);
  EXPECT_EQ(secrets[0].kind, SecretRequest::Kind::Passphrase);
  EXPECT_EQ(secrets[0].title, plain);
  client.Disconnect();

  // The passphrase not given and a wrong password: refused, saying so.
  secretAnswers.clear();
  client.setPassword("certainly not the password");
  EXPECT_TRUE(harness.fails([&] { client.Connect(); }, FailureKind::LoginFailed));
  EXPECT_TRUE(harness.logContains("The password was refused"));
  EXPECT_EQ(client.CurrentState(), NotConnected);
}

TEST_F(Sftp, AKeyFromTheAgentLogsInBeforeTheKeyFiles) {
  const QString key = local("agent_key");
  ASSERT_TRUE(SshdFixture::makeKey(key));
  ASSERT_TRUE(server->authorize(key));
  const QString socket = server->startAgent(key);
  ASSERT_FALSE(socket.isEmpty()) << "ssh-agent or ssh-add (openssh-client) did not start";
  qputenv("SSH_AUTH_SOCK", QFile::encodeName(socket)); // ClientHome puts the runner's back
  connectOk();
  EXPECT_TRUE(harness.logContains("Logged in with a key from the SSH agent"));
}

// The SSH connection goes through the SOCKS proxy as FTP's do; a proxy without an address is
// refused rather than passed by.
TEST_F(Sftp, ConnectsThroughASocksProxy) {
  SocksProxyFixture proxy;
  ASSERT_TRUE(proxy.start(true));
  client.setProxyType(5);
  client.setProxyPort(proxy.port());
  client.setProxyUserName(SocksProxyFixture::userName());
  client.setProxyPassword(SocksProxyFixture::password());
  EXPECT_TRUE(harness.fails([&] { client.Connect(); }, FailureKind::InvalidArgument));
  client.setProxyAddress("127.0.0.1");
  connectOk();
  EXPECT_NO_THROW(client.GetFolderContents());
  EXPECT_FALSE(harness.logContains(SocksProxyFixture::password()));
}

// A server whose PAM takes one password, through the password method and through its own prompts.
TEST(SftpPasswords, PasswordAndKeyboardInteractiveLogins) {
  SshdFixture server;
  const ::testing::AssertionResult started = server.startWithPassword("open sesame");
  if (!started) GTEST_SKIP() << "password logins cannot be tried here: " << started.message();
  ClientHome home(server.clientHome());
  ASSERT_TRUE(QFile::remove(server.clientHome() + "/.ssh/id_ed25519")); // only passwords log in
  ASSERT_TRUE(server.trustHostKey());
  FtpClient client;
  ClientHarness harness{client};
  configure(client, server);
  QStringList answers;
  std::vector<SecretRequest> asked;
  answerSecrets(client, asked, answers);

  client.setPassword("open sesame");
  ASSERT_NO_THROW(client.Connect());
  EXPECT_TRUE(harness.logContains("with a password"));
  EXPECT_TRUE(asked.empty());
  client.Disconnect();

  // Without a password the server's own prompts are the way in, and the user answers them.
  client.setPassword(QString());
  answers = {"open sesame"};
  ASSERT_NO_THROW(client.Connect());
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].kind, SecretRequest::Kind::Interactive);
  EXPECT_FALSE(asked[0].echo);
  EXPECT_TRUE(asked[0].prompt.contains("assword")) << asked[0].prompt.toStdString();
  client.Disconnect();

  EXPECT_TRUE(harness.fails([&] { client.Connect(); }, FailureKind::LoginFailed)) << "nobody answered the prompt";
  EXPECT_EQ(client.CurrentState(), NotConnected);

  // A wrong site password is refused at the server's prompt, the user's answer logs in, and the
  // connection then carries SFTP. Had the site's password gone through the password method, sshd's
  // PAM would keep that failure and cut the connection once the channel opened.
  client.setPassword("not the password");
  answers = {"open sesame"};
  asked.clear();
  ASSERT_NO_THROW(client.Connect());
  EXPECT_EQ(asked.size(), 1u);
  EXPECT_NO_THROW(client.GetFolderContents());
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(Sftp, FolderCommandsAndListingsFromAttributes) {
  const QString here = enterOwnFolder();
  ASSERT_TRUE(writeLocal(here + "/a.txt", "alpha"));
  ASSERT_TRUE(QFile::link("a.txt", here + "/link"));
  // A sparse file beyond 4 GiB lists with its exact size.
  QFile big(here + "/big.iso");
  ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(5'000'000'123LL));
  big.close();
  client.CreateFolder("sub");
  EXPECT_EQ(client.GetCurrentFolder(), here);

  std::map<QString, FtpClient::FolderItem> byName;
  for (const auto& item : client.GetFolderContents()) byName[item.name] = item;
  ASSERT_EQ(byName.size(), 4u);
  EXPECT_EQ(byName["a.txt"].kind, 0);
  EXPECT_EQ(byName["a.txt"].size, 5);
  EXPECT_EQ(byName["a.txt"].date.toSecsSinceEpoch(), QFileInfo(here + "/a.txt").lastModified().toSecsSinceEpoch());
  EXPECT_EQ(byName["sub"].kind, 1);
  EXPECT_EQ(byName["link"].kind, 2);
  EXPECT_EQ(byName["big.iso"].size, 5'000'000'123LL);
  client.ListFolderContents("*.txt");
  ASSERT_EQ(harness.items.size(), 1u);
  EXPECT_EQ(harness.items[0].name, "a.txt");

  client.ChangeCurrentFolder("sub");
  EXPECT_EQ(client.GetCurrentFolder(), here + "/sub");
  client.ChangeToParentFolder();
  EXPECT_EQ(client.GetCurrentFolder(), here);
  // Into a file or nowhere: refused, the folder stays.
  EXPECT_TRUE(harness.fails([&] { client.ChangeCurrentFolder("a.txt"); }, FailureKind::CommandRefused));
  EXPECT_TRUE(harness.fails([&] { client.ChangeCurrentFolder("none"); }, FailureKind::CommandRefused));
  EXPECT_EQ(client.GetCurrentFolder(), here);

  // A rename never replaces a name that exists.
  ASSERT_TRUE(writeLocal(here + "/b.txt", "beta"));
  EXPECT_TRUE(harness.fails([&] { client.RenameFile("a.txt", "b.txt"); }, FailureKind::TargetExists));
  EXPECT_EQ(readLocal(here + "/b.txt"), "beta");
  client.RenameFile("a.txt", "c.txt");
  EXPECT_EQ(readLocal(here + "/c.txt"), "alpha");
  client.DeleteFile("c.txt");
  client.RemoveFolder("sub");
  EXPECT_FALSE(QFileInfo::exists(here + "/c.txt"));
  EXPECT_FALSE(QFileInfo::exists(here + "/sub"));

  EXPECT_TRUE(harness.fails([&] { client.SendCommand("NOOP"); }, FailureKind::CommandRefused));
  client.SetPermissions("b.txt", 0640);
  EXPECT_EQ(QFileInfo(here + "/b.txt").permissions() & 0x7777, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                                   QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                                   QFileDevice::ReadGroup);
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(Sftp, TransfersAreByteExactAndResumeBothWays) {
  const QString here = enterOwnFolder();
  for (const qsizetype size : {qsizetype(0), qsizetype(1), qsizetype(65536 * 3 + 17), qsizetype(5 << 20)}) {
    SCOPED_TRACE(size);
    const QByteArray content = randomBytes(size, static_cast<quint32>(size));
    const QString name = QString("f%1").arg(size);
    ASSERT_TRUE(writeLocal(local(name), content));
    client.SendFile(local(name), 0, name, false);
    EXPECT_EQ(readLocal(here + QLatin1Char('/') + name), content);
    client.ReceiveFile(name, 0, local(name + ".back"));
    EXPECT_EQ(readLocal(local(name + ".back")), content);
  }

  // Resume a download from half of the file, and an upload onto a server copy of half; an upload
  // resumed onto a longer copy ends where the local file ends.
  const QByteArray content = randomBytes(3'000'001, 7);
  ASSERT_TRUE(writeLocal(here + "/r.bin", content));
  ASSERT_TRUE(writeLocal(local("r.bin"), content.left(1'500'000)));
  client.ReceiveFile("r.bin", 1'500'000, local("r.bin"));
  EXPECT_EQ(readLocal(local("r.bin")), content);

  ASSERT_TRUE(writeLocal(here + "/up.bin", content.left(1'000'000)));
  client.SendFile(local("r.bin"), 1'000'000, "up.bin", true);
  EXPECT_EQ(readLocal(here + "/up.bin"), content);
  ASSERT_TRUE(writeLocal(here + "/up.bin", content + "tail that must go"));
  client.SendFile(local("r.bin"), 2'000'000, "up.bin", true);
  EXPECT_EQ(readLocal(here + "/up.bin"), content);
  // A resume offset beyond the server's copy would leave a hole: refused, the copy untouched.
  ASSERT_TRUE(writeLocal(here + "/up.bin", content.left(10)));
  EXPECT_TRUE(
      harness.fails([&] { client.SendFile(local("r.bin"), 100, "up.bin", true); }, FailureKind::CommandRefused));
  EXPECT_EQ(readLocal(here + "/up.bin"), content.left(10));
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(Sftp, AnAbortStopsWithinASecondKeepingOnlyWholeBytesForTheResume) {
  const QString here = enterOwnFolder();
  const QByteArray content = randomBytes(96 << 20, 11);
  ASSERT_TRUE(writeLocal(here + "/big.bin", content));
  QElapsedTimer abortedAt;
  harness.onProgress = [&] {
    if (!abortedAt.isValid() && harness.progress.back().bytes > 0) {
      abortedAt.start();
      client.setAbort(true);
    }
  };
  EXPECT_TRUE(harness.fails([&] { client.ReceiveFile("big.bin", 0, local("big.bin")); }, FailureKind::Aborted));
  EXPECT_LT(abortedAt.elapsed(), 1000);
  EXPECT_EQ(client.CurrentState(), Idle);
  const QByteArray part = readLocal(local("big.bin"));
  ASSERT_LT(part.size(), content.size());
  EXPECT_EQ(part, content.left(part.size())); // no gap, no stray block past the whole part
  client.ReceiveFile("big.bin", part.size(), local("big.bin"));
  EXPECT_EQ(readLocal(local("big.bin")), content);

  // The same the other way: the upload stops at once and the connection is kept.
  abortedAt.invalidate();
  EXPECT_TRUE(harness.fails([&] { client.SendFile(local("big.bin"), 0, "up.bin", false); }, FailureKind::Aborted));
  EXPECT_LT(abortedAt.elapsed(), 1000);
  harness.onProgress = nullptr;
  EXPECT_EQ(client.GetCurrentFolder(), here);
}

TEST_F(Sftp, FolderTreesGoBothWaysAndServerNamesStayInTheTarget) {
  const QString here = enterOwnFolder();
  ASSERT_TRUE(writeLocal(here + "/tree/a.txt", "a"));
  ASSERT_TRUE(writeLocal(here + "/tree/deep/er/b.txt", "b"));
  ASSERT_TRUE(writeLocal(here + "/tree/line\nbreak", "x"));
  ASSERT_TRUE(QFile::link(".", here + "/tree/deep/loop"));

  const QString down = local("down");
  client.ReceiveMatchingFiles("tree/*", down, true);
  EXPECT_EQ(readLocal(down + "/a.txt"), "a");
  EXPECT_EQ(readLocal(down + "/deep/er/b.txt"), "b");
  EXPECT_FALSE(QFileInfo::exists(down + "/deep/loop"));
  EXPECT_FALSE(QFileInfo::exists(down + "/line\nbreak"));
  ASSERT_EQ(harness.skipped.size(), 2u);
  EXPECT_EQ(harness.skipped[0].reason, int(tidewick::ftp::SkipReason::UnsafeName));
  EXPECT_EQ(harness.skipped[1].reason, int(tidewick::ftp::SkipReason::LinkLoop));

  client.SendMatchingFiles(down + "/*", "up/new", true, true);
  EXPECT_EQ(readLocal(here + "/up/new/a.txt"), "a");
  EXPECT_EQ(readLocal(here + "/up/new/deep/er/b.txt"), "b");
  EXPECT_EQ(client.GetCurrentFolder(), here);
}

} // namespace
