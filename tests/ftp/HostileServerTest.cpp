// The engine against a scripted server that misbehaves: garbage, over-long and confused replies,
// silence, drops in the middle of a transfer, lying passive replies and hostile names. Each case
// checks the failure, the commands that went out, and that CurrentState tells the truth after.

#include "ClientHarness.h"
#include "FakeFtpServer.h"

#include <QTimer>

#include <algorithm>
#include <map>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tidewick::test;
using Control = FakeFtpServer::Control;
using Verbs = std::vector<std::string>;

namespace {

class HostileServer : public ClientTest {
protected:
  void SetUp() override {
    client.setServerAddress("127.0.0.1");
    client.setServerPort(server.port());
    client.setUserName("demo");
    client.setPassword("secret");
    client.setPassiveMode(true);
    ASSERT_TRUE(dir.isValid());
  }

  int sentTimes(const std::string& line) const {
    const auto lines = server.transcript();
    return int(std::count(lines.begin(), lines.end(), line));
  }
  bool sent(const std::string& line) const { return sentTimes(line) > 0; }
  int count(const std::string& verb) const {
    const auto verbs = server.verbs();
    return int(std::count(verbs.begin(), verbs.end(), verb));
  }
  Verbs lastVerbs(std::size_t n) const {
    const auto verbs = server.verbs();
    return verbs.size() < n ? verbs : Verbs(verbs.end() - n, verbs.end());
  }
  // The session is usable and where it was.
  void expectInStep() {
    EXPECT_EQ(client.CurrentState(), Idle);
    EXPECT_EQ(client.GetCurrentFolder(), "/");
  }
  // The connection is gone, and the one disconnect announced.
  void expectDropped() {
    EXPECT_EQ(client.CurrentState(), NotConnected);
    EXPECT_EQ(harness.disconnects, 1);
  }

  FakeFtpServer server;
};

} // namespace

TEST_F(HostileServer, LogsInWithLfOnlyRepliesArrivingByteByByte) {
  server.setGreeting("220-Welcome\n220-to the\n220 fake server\n");
  server.setGreetingSlowly(true);
  server.on("PASS", [](Control& c, const std::string&) { c.sendSlowly("230 Logged in\n"); });
  connectOk();
  EXPECT_EQ(client.GetCurrentFolder(), "/");
  EXPECT_EQ(server.transcript(), (Verbs{"USER demo", "PASS secret", "SYST", "FEAT", "PWD"}));
  EXPECT_TRUE(harness.logContains("PASS ****"));
  EXPECT_FALSE(harness.logContains("secret"));
}

TEST_F(HostileServer, GarbageGreetingOrOverLongReplyFails) {
  server.setGreeting("HELLO, I am not an FTP server\r\n");
  EXPECT_TRUE(harness.fails([&] { client.Connect(); }, FailureKind::BadReply, {"not an FTP reply"}));
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_TRUE(server.transcript().empty());
  EXPECT_EQ(harness.disconnects, 0); // never logged in, so nothing to announce

  server.setGreeting("220 Fake server ready\r\n");
  server.on("PWD", [](Control& c, const std::string&) { c.send("257 \"/" + std::string(70 * 1024, 'a') + "\"\r\n"); });
  connectOk();
  EXPECT_TRUE(harness.fails([&] { client.GetCurrentFolder(); }, FailureKind::BadReply, {"64 KiB"}));
  expectDropped();
}

// AUTH TLS agreed with something in clear riding along (an injection), or a handshake the server
// breaks off: neither may end in a login sent in clear.
TEST_F(HostileServer, TlsThatCannotBeTrustedSendsNoLogin) {
  for (const auto& [reply, why] : std::map<std::string, QString>{
           {"234 Go ahead\r\n230 Logged in, trust me\r\n", "sent more after agreeing to TLS"},
           {"234 Go ahead\r\n", "closed the connection during the TLS handshake"}}) {
    FakeFtpServer tlsServer;
    tlsServer.on("AUTH", [reply = reply](Control& c, const std::string&) {
      c.send(reply);
      c.close();
    });
    client.setServerPort(tlsServer.port());
    client.setSecurity(tidewick::ftp::Security::TlsIfAvailable);
    EXPECT_TRUE(harness.fails([&] { client.Connect(); }, FailureKind::TlsFailed, {why}));
    EXPECT_EQ(tlsServer.verbs(), Verbs{"AUTH"});
    EXPECT_EQ(client.CurrentState(), NotConnected);
  }
}

TEST_F(HostileServer, SilentOrDrippingServerTimesOut) {
  client.setIdleTimeout(1500); // short, yet long enough for a loaded test machine
  server.answer("CWD", "");
  connectOk();
  EXPECT_TRUE(harness.fails([&] { client.ChangeCurrentFolder("pub"); }, FailureKind::Timeout,
                            {"did not answer within 1.5 seconds"}));
  expectDropped();
  EXPECT_TRUE(sent("CWD pub"));

  // A reply dripping in a byte every 0.1 s (3.4 s in all) has the timeout from its first byte,
  // not the timeout again after every byte.
  server.on("PWD", [](Control& c, const std::string&) { c.sendSlowly("257 \"/\" is the current folder\r\n", 100000); });
  connectOk();
  EXPECT_TRUE(harness.fails([&] { client.GetCurrentFolder(); }, FailureKind::Timeout,
                            {"still incomplete 1.5 seconds after it began"}));
  EXPECT_EQ(client.CurrentState(), NotConnected);
}

TEST_F(HostileServer, StrayReplyIsNotTakenForTheNextAnswer) {
  server.on("PWD",
            [](Control& c, const std::string&) { c.send("257 \"/\" is current\r\n200 Nobody asked for this\r\n"); });
  server.answer("CWD", "550 No such folder");
  connectOk();
  EXPECT_EQ(client.GetCurrentFolder(), "/");
  EXPECT_TRUE(harness.fails([&] { client.ChangeCurrentFolder("missing"); }, FailureKind::CommandRefused,
                            {"550 No such folder"}));
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(HostileServer, PartialDownloadsFailAndKeepWhatArrived) {
  server.files["big.bin"] = std::string(2000, 'x');
  server.on("FEAT", [](Control& c, const std::string&) { c.send("211-Features:\r\n SIZE\r\n EPSV\r\n211 End\r\n"); });
  server.on("RETR", [](Control& c, const std::string&) {
    c.transfer(std::string(1000, 'x'), "426 Connection closed; transfer aborted.");
  });
  connectOk();
  const QString target = local("big.bin");
  EXPECT_TRUE(
      harness.fails([&] { client.ReceiveFile("big.bin", 0, target); }, FailureKind::TransferFailed, {"426", "kept"}));
  EXPECT_EQ(readLocal(target), QByteArray(1000, 'x'));
  expectInStep();
  EXPECT_EQ(server.verbs(), (Verbs{"USER", "PASS", "SYST", "FEAT", "TYPE", "SIZE", "EPSV", "RETR", "PWD"}));

  // "226 complete" after less than SIZE announced is a failure all the same.
  server.on("RETR",
            [](Control& c, const std::string&) { c.transfer(std::string(1500, 'x'), "226 Transfer complete"); });
  EXPECT_TRUE(harness.fails([&] { client.ReceiveFile("big.bin", 0, target); }, FailureKind::TransferFailed,
                            {"1500 of 2000 bytes"}));
  EXPECT_EQ(readLocal(target).size(), 1500);
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(HostileServer, LocalWriteFailureMidTransferKeepsTheSessionInStep) {
  server.files["big.bin"] = std::string(300000, 'x');
  connectOk();
  EXPECT_TRUE(harness.fails([&] { client.ReceiveFile("big.bin", 0, "/dev/full"); }, FailureKind::LocalFileFailed));
  expectInStep();
  EXPECT_EQ(lastVerbs(4), (Verbs{"RETR", "ABOR", "NOOP", "PWD"}));
}

TEST_F(HostileServer, ServerVanishingMidTransferEndsTheConnection) {
  server.on("RETR", [](Control& c, const std::string&) {
    c.reply("150 Sending");
    c.sendDataAndHold(std::string(1000, 'y'));
    c.close();
  });
  connectOk();
  EXPECT_TRUE(
      harness.fails([&] { client.ReceiveFile("gone.bin", 0, local("gone.bin")); }, FailureKind::ConnectionLost));
  EXPECT_EQ(readLocal(local("gone.bin")), QByteArray(1000, 'y'));
  expectDropped();
}

TEST_F(HostileServer, ServerGivingUpMidUploadExplainsWhy) {
  server.on("STOR", [](Control& c, const std::string&) {
    c.reply("150 Send it");
    c.receiveData(64 * 1024);
    c.reply("552 Storage allocation full");
  });
  connectOk();
  ASSERT_TRUE(writeLocal(local("big.bin"), randomBytes(16 * 1024 * 1024, 4)));
  EXPECT_TRUE(harness.fails([&] { client.SendFile(local("big.bin"), 0, "big.bin", false); },
                            FailureKind::TransferFailed, {"552 Storage allocation full"}));
  expectInStep();
}

TEST_F(HostileServer, StalledDownloadTimesOutOrIsAbortedAndTheSessionRecovers) {
  client.setIdleTimeout(1500); // short, yet long enough for a loaded test machine
  server.on("RETR", [](Control& c, const std::string&) {
    c.reply("150 Sending");
    c.sendDataAndHold(std::string(10, 'z'));
  });
  server.on("ABOR", [](Control& c, const std::string&) {
    c.closeData();
    c.reply("426 Transfer aborted");
    c.reply("226 ABOR ok");
  });
  connectOk();
  const QString target = local("slow.bin");
  EXPECT_TRUE(harness.fails([&] { client.ReceiveFile("slow.bin", 0, target); }, FailureKind::TransferFailed,
                            {"Nothing arrived for 1.5 seconds"}));
  expectInStep();
  EXPECT_EQ(readLocal(target), QByteArray(10, 'z'));

  harness.onProgress = [&] { client.setAbort(true); };
  EXPECT_TRUE(harness.fails([&] { client.ReceiveFile("slow.bin", 0, target); }, FailureKind::Aborted));
  harness.onProgress = nullptr;
  EXPECT_FALSE(client.Abort());
  expectInStep();
  EXPECT_EQ(lastVerbs(4), (Verbs{"RETR", "ABOR", "NOOP", "PWD"}));
}

TEST_F(HostileServer, AbortWhileTheServerSitsOnACommand) {
  server.answer("CWD", "");
  connectOk();
  QTimer::singleShot(50, &client, [&] { client.setAbort(true); });
  EXPECT_TRUE(harness.fails([&] { client.ChangeCurrentFolder("slow"); }, FailureKind::Aborted));
  expectInStep();

  // A server that answers nothing any more, not even ABOR, is given a second, then dropped: no
  // way to know where the conversation stands.
  server.answer("ABOR", "");
  server.answer("NOOP", "");
  QElapsedTimer sinceAbort;
  QTimer::singleShot(50, &client, [&] {
    sinceAbort.start();
    client.setAbort(true);
  });
  EXPECT_TRUE(harness.fails([&] { client.ChangeCurrentFolder("slow"); }, FailureKind::Aborted));
  EXPECT_LE(sinceAbort.elapsed(), 1400) << "the second for the server, and little more";
  expectDropped();
  EXPECT_TRUE(harness.logContains("did not come back in step"));
}

TEST_F(HostileServer, PassiveRepliesThatCannotBeTakenAsSaid) {
  // An EPSV reply without a usable port: PASV instead, and EPSV is not asked again.
  server.answer("EPSV", "229 Entering Extended Passive Mode (|||99999|)");
  // A PASV reply naming another host: the data connection goes to the server's own address.
  server.on("PASV", [](Control& c, const std::string&) {
    const quint16 port = c.openDataPort();
    c.reply("227 Entering Passive Mode (10,11,12,13," + std::to_string(port >> 8) + "," + std::to_string(port & 0xff) +
            ")");
  });
  server.listing = "-rw-r--r-- 1 ftp ftp 5 Jan 01 2020 a.txt\r\n";
  connectOk();
  client.ListFolderContents();
  client.ListFolderContents();
  ASSERT_EQ(harness.items.size(), 2u);
  EXPECT_EQ(harness.items[0].name, "a.txt");
  EXPECT_TRUE(harness.logContains("no usable port"));
  EXPECT_TRUE(harness.logContains("10.11.12.13"));
  EXPECT_EQ(count("EPSV"), 1);
  EXPECT_EQ(count("PASV"), 2);
}

TEST_F(HostileServer, OversizedListingStopsAtItsLimit) {
  std::string listing, longNames;
  for (int i = 0; i < 3000; ++i) listing += "-rw-r--r-- 1 ftp ftp 5 Jan 01 2020 file" + std::to_string(i) + ".txt\r\n";
  // Names are held as UTF-16, twice their text: 240 KB of long names and what they hold come to
  // more than 400 KiB.
  for (int i = 0; i < 1000; ++i)
    longNames += "-rw-r--r-- 1 ftp ftp 5 Jan 01 2020 " + std::string(200, 'n') + std::to_string(i) + "\r\n";
  const qint64 size = qint64(listing.size());
  // One entry over the limit stops the listing; exactly at it passes. A server streaming without
  // end, here without a single line end. Lines a pattern leaves out count by their text alone:
  // exactly the byte bound passes, a byte more does not.
  const struct {
    std::string listing;
    tidewick::ftp::ListingLimit limit;
    QString pattern;
    QString stopped; // empty: the listing passes
    bool itemByItem = false;
  } cases[] = {
      {listing, {2999, 64 * 1024 * 1024}, {}, "2999 entries"},
      {std::string(4 * 1024 * 1024, 'x'), {1000, 1024 * 1024}, {}, "1 MiB", true},
      {longNames, {1000, 400 * 1024}, {}, "409600 bytes"},
      {listing, {3000, 64 * 1024 * 1024}, {}, {}},
      {listing, {3000, size}, "*.none", {}},
      {listing, {3000, size - 1}, "*.none", QString("%1 bytes").arg(size - 1)},
  };
  connectOk();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stopped.toStdString() + " " + std::to_string(c.limit.entries));
    server.listing = c.listing;
    client.setListingLimit(c.limit);
    if (c.stopped.isEmpty()) {
      EXPECT_EQ(client.GetFolderContents(c.pattern).size(), c.pattern.isEmpty() ? 3000u : 0u);
    } else {
      const FtpFailure failure = harness.failureOf([&] {
        if (c.itemByItem) client.ListFolderContents(c.pattern);
        else client.GetFolderContents(c.pattern);
      });
      EXPECT_EQ(failure.kind(), FailureKind::TransferFailed);
      EXPECT_EQ(failure.description(), "The listing is larger than " + c.stopped + "; it was stopped there");
    }
    expectInStep();
  }
}

// An item keeps its size, kind and date precision in one word: sizes past what it holds (32 PiB)
// are capped there, and no figure spills into the others.
TEST_F(HostileServer, AbsurdSizesAreCappedAndLeaveTheOtherFactsAlone) {
  server.listing =
      "-rw-r--r-- 1 ftp ftp 36028797018963967 Jan 01 12:34 at-the-cap\r\n"
      "lrwxrwxrwx 1 ftp ftp 36028797018963968 Jan 01 2020 past-the-cap -> target\r\n"
      "drwxr-xr-x 1 ftp ftp 9223372036854775807 Jan 01 2020 far-past\r\n"
      "-rw-r--r-- 1 ftp ftp 5 Jan 01 2020 small\r\n";
  connectOk();
  const auto items = client.GetFolderContents();
  client.ListFolderContents(); // the same items reported one by one
  ASSERT_EQ(items.size(), 4u);
  ASSERT_EQ(harness.items.size(), 4u);
  constexpr qint64 cap = (qint64(1) << 55) - 1;
  using tidewick::ftp::DatePrecision;
  using tidewick::ftp::ItemKind;
  const struct {
    qint64 size;
    ItemKind kind;
    DatePrecision precision;
  } expected[] = {{cap, ItemKind::File, DatePrecision::Minute},
                  {cap, ItemKind::Link, DatePrecision::Day},
                  {cap, ItemKind::Folder, DatePrecision::Day},
                  {5, ItemKind::File, DatePrecision::Day}};
  for (std::size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(items[i].name.toStdString());
    EXPECT_EQ(items[i].size, expected[i].size);
    EXPECT_EQ(items[i].kind, int(expected[i].kind));
    EXPECT_EQ(items[i].datePrecision, expected[i].precision);
    EXPECT_EQ(items[i].date.date().dayOfYear(), 1);
    EXPECT_EQ(harness.items[i].size, expected[i].size);
    EXPECT_EQ(harness.items[i].kind, int(expected[i].kind));
  }
  EXPECT_EQ(items[0].date.time(), QTime(12, 34));
  EXPECT_EQ(items[1].linkTarget(), "target");
  EXPECT_EQ(items[2].permissions(), "drwxr-xr-x");
}

TEST_F(HostileServer, HostileNamesNeverLeaveTheTargetFolder) {
  server.listing =
      "-rw-r--r-- 1 ftp ftp 4 Jan 01 2020 good.txt\r\n"
      "-rw-r--r-- 1 ftp ftp 4 Jan 01 2020 ../evil.txt\r\n"
      "-rw-r--r-- 1 ftp ftp 4 Jan 01 2020 sub/evil.txt\r\n"
      "-rw-r--r-- 1 ftp ftp 4 Jan 01 2020 /etc/evil.txt\r\n"
      "drwxr-xr-x 2 ftp ftp 0 Jan 01 2020 ..\r\n"
      "-rw-r--r-- 1 ftp ftp 4 Jan 01 2020 cr\r\nlf.txt\r\n";
  server.files = {{"good.txt", "good"}, {"../evil.txt", "evil"}, {"sub/evil.txt", "evil"}, {"/etc/evil.txt", "evil"}};
  connectOk();
  const QString target = local("target");
  ASSERT_NO_THROW(client.ReceiveMatchingFiles("*", target, true));
  EXPECT_EQ(readLocal(target + "/good.txt"), "good");
  EXPECT_EQ(entriesOf(dir.path()), QStringList{"target"});
  EXPECT_EQ(entriesOf(target), QStringList{"good.txt"});

  QStringList retrieved, unsafe;
  for (const auto& line : server.transcript())
    if (line.rfind("RETR ", 0) == 0) retrieved << QString::fromStdString(line.substr(5));
  EXPECT_EQ(retrieved, (QStringList{"good.txt", "cr"})); // "cr" is the broken line's name: refused by the server
  for (const auto& skip : harness.skipped)
    if (skip.reason == int(tidewick::ftp::SkipReason::UnsafeName)) unsafe << skip.remote;
  EXPECT_EQ(unsafe, (QStringList{"/../evil.txt", "/sub/evil.txt", "//etc/evil.txt"}));
  EXPECT_TRUE(harness.logContains("lf.txt"));
  EXPECT_EQ(client.CurrentState(), Idle);
}

// A loop no listing, PWD or identity gives away: every folder holds "d" again, and a "locked"
// folder that cannot be entered. The walk still ends, 64 levels down.
TEST_F(HostileServer, EndlessFoldersStopAtTheDepthLimit) {
  server.listing = "drwxr-xr-x 1 ftp ftp 0 Jan 01  2020 d\r\ndrwxr-xr-x 1 ftp ftp 0 Jan 01  2020 locked\r\n";
  auto cwd = std::make_shared<std::string>("/");
  server.on("CWD", [cwd](Control& c, const std::string& path) {
    if (path.ends_with("/locked")) return c.reply("550 Permission denied");
    *cwd = path;
    c.reply("250 Folder changed");
  });
  server.on("PWD", [cwd](Control& c, const std::string&) { c.reply("257 \"" + *cwd + "\""); });
  connectOk();
  const QString target = local("target");
  ASSERT_NO_THROW(client.ReceiveMatchingFiles("/*", target, true));

  EXPECT_TRUE(QFileInfo(target + QString("/d").repeated(64)).isDir());
  EXPECT_FALSE(QFileInfo::exists(target + QString("/d").repeated(65)));
  EXPECT_EQ(harness.log.filter("folders nest deeper than 64 levels").size(), 2);
  EXPECT_EQ(harness.log.filter("the server would not open it").size(), 64);
  EXPECT_EQ(client.CurrentState(), Idle);
}

// A server of the old kind: no FEAT, options after LIST refused, links listed without their
// targets, PWD with the real path behind a link. Links are told apart by entering them; a loop
// shows in PWD; dates come from LIST where it has the time of day.
TEST_F(HostileServer, LinksOnAPlainListServerAreProbedAndLoopsSeenInPwd) {
  const std::string list =
      "-rw-r--r-- 1 ftp ftp 4 Mar 01 12:34 timed.txt\r\n"
      "-rw-r--r-- 1 ftp ftp 4 Mar 01  2019 dated.txt\r\n"
      "lrwxrwxrwx 1 ftp ftp 1 Jan 01  2020 loop\r\n"
      "lrwxrwxrwx 1 ftp ftp 1 Jan 01  2020 to-file\r\n";
  server.files = {{"timed.txt", "time"}, {"dated.txt", "date"}, {"to-file", "file"}};
  auto cwd = std::make_shared<std::string>("/");
  server.on("CWD", [cwd](Control& c, const std::string& path) {
    if (path != "/" && path != "/top" && path != "/top/loop") return c.reply("550 Not a folder");
    *cwd = path == "/top/loop" ? "/top" : path;
    c.reply("250 Folder changed");
  });
  server.on("PWD", [cwd](Control& c, const std::string&) { c.reply("257 \"" + *cwd + "\""); });
  server.on("LIST", [list](Control& c, const std::string& argument) {
    if (!argument.empty()) {
      c.closeData();
      return c.reply("501 No options here");
    }
    c.transfer(list);
  });
  connectOk();
  const QString target = local("target");
  ASSERT_NO_THROW(client.ReceiveMatchingFiles("/top/*", target, true));

  EXPECT_EQ(entriesOf(target), (QStringList{"dated.txt", "timed.txt", "to-file"}));
  EXPECT_TRUE(harness.logContains("/top/loop is a link back into /top; skipped"));
  ASSERT_EQ(harness.skipped.size(), 1u);
  EXPECT_EQ(harness.skipped[0].reason, int(tidewick::ftp::SkipReason::LinkLoop));
  EXPECT_EQ(client.GetCurrentFolder(), "/");

  // The refusal of "LIST -a" is remembered for the connection.
  client.ChangeCurrentFolder("/top");
  std::map<QString, QDateTime> listed;
  for (const auto& item : client.GetFolderContents()) listed[item.name] = item.date;
  EXPECT_EQ(count("LIST"), 3);
  EXPECT_EQ(sentTimes("LIST -a"), 1);

  // Without MDTM the listing's date is kept when it has the time of day; a date alone is not.
  EXPECT_EQ(QFileInfo(target + "/timed.txt").lastModified().toUTC(), listed["timed.txt"]);
  EXPECT_GT(QFileInfo(target + "/dated.txt").lastModified().toUTC(), QDateTime::currentDateTimeUtc().addSecs(-600));
}

TEST_F(HostileServer, FolderDownloadAsksTheTimesOfAllItsFilesAtOnce) {
  server.on("FEAT", [](Control& c, const std::string&) { c.send("211-Features:\r\n MDTM\r\n211 End\r\n"); });
  server.on("MDTM", [](Control& c, const std::string& name) {
    if (name == "b.txt") c.reply("550 No time for this one");
    else c.reply(name == "a.txt" ? "213 20190301123456" : "213 20200102030405");
  });
  server.listing =
      "-rw-r--r-- 1 ftp ftp 1 Mar 01 12:34 a.txt\r\n"
      "-rw-r--r-- 1 ftp ftp 1 Mar 01 12:34 b.txt\r\n"
      "-rw-r--r-- 1 ftp ftp 1 Mar 01 12:34 c.txt\r\n";
  server.files = {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}};
  connectOk();
  const QString target = local("target");
  client.ReceiveMatchingFiles("*", target, false);

  // Each file has its own time from the server, to the second; one the server will not tell
  // keeps the listing's minute.
  const auto modified = [&](const QString& name) { return QFileInfo(target + '/' + name).lastModified().toUTC(); };
  EXPECT_EQ(modified("a.txt"), QDateTime(QDate(2019, 3, 1), QTime(12, 34, 56), Qt::UTC));
  EXPECT_EQ(modified("c.txt"), QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC));
  EXPECT_EQ(modified("b.txt").time(), QTime(12, 34));
  // All of them were asked before the first file came: one round trip, not one a file.
  const auto verbs = server.verbs();
  const auto list = std::find(verbs.begin(), verbs.end(), "LIST");
  ASSERT_GT(verbs.end() - list, 4);
  EXPECT_EQ(Verbs(list + 1, list + 4), (Verbs{"MDTM", "MDTM", "MDTM"}));
}

TEST_F(HostileServer, LineBreaksInNamesNeverReachTheServer) {
  connectOk();
  const auto before = server.transcript().size();
  const QString target = local("never.txt");
  const std::function<void()> calls[] = {
      [&] { client.ChangeCurrentFolder("x\r\nDELE y"); }, [&] { client.SendCommand("NOOP\nDELE y"); },
      [&] { client.RenameFile("a", QString("b") + QChar(0)); }, [&] { client.ReceiveFile("a\nb", 0, target); }};
  for (const auto& call : calls) EXPECT_TRUE(harness.fails(call, FailureKind::UnsafeInput));
  EXPECT_FALSE(QFile::exists(target));
  EXPECT_EQ(server.transcript().size(), before); // not even the harmless RNFR of the rename
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(HostileServer, AsciiModeConvertsLineEndsOnTheWire) {
  server.files["t.txt"] = "p\r\nq\r\n";
  connectOk();
  client.setTransferMode(1);
  const QString down = local("t.txt"), up = local("up.txt");
  client.ReceiveFile("t.txt", 0, down);
  EXPECT_EQ(readLocal(down), "p\nq\n");
  ASSERT_TRUE(writeLocal(up, "a\nb\r\nc\n"));
  client.SendFile(up, 0, "up.txt", false);
  EXPECT_EQ(server.files["up.txt"], "a\r\nb\r\nc\r\n");
  EXPECT_TRUE(sent("TYPE A"));
  client.setTransferMode(0);
  client.ReceiveFile("t.txt", 0, down);
  EXPECT_EQ(readLocal(down), "p\r\nq\r\n");
  EXPECT_TRUE(sent("TYPE I"));
}

TEST_F(HostileServer, LoginsWithoutAPasswordOrWithAnAccount) {
  // 202 to USER: logged in already, and the password never goes out.
  server.answer("USER", "202 No password needed");
  connectOk();
  EXPECT_EQ(server.verbs(), (Verbs{"USER", "SYST", "FEAT"}));
  client.Disconnect();

  // 332 to PASS: the account question is answered from the UI thread, and the answer is not logged.
  server.answer("USER", "331 Password required");
  server.answer("PASS", "332 Need account for login");
  server.answer("ACCT", "230 Logged in");
  harness.accountAnswer = "acct-42";
  connectOk();
  EXPECT_EQ(harness.accountQuestions, 1);
  EXPECT_TRUE(sent("ACCT acct-42"));
  EXPECT_FALSE(harness.logContains("acct-42"));
  client.Disconnect();

  // No answer gives the login up with a clear reason.
  harness.accountAnswer.clear();
  EXPECT_TRUE(harness.fails([&] { client.Connect(); }, FailureKind::LoginFailed, {"account"}));
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_EQ(count("ACCT"), 1);
}

TEST_F(HostileServer, ResumeWhereTheServerRefusesRest) {
  server.on("FEAT", [](Control& c, const std::string&) { c.send("211-Features:\r\n SIZE\r\n211 End\r\n"); });
  server.answer("REST", "502 REST not implemented");
  server.files = {{"part.bin", "12345"}, {"short.bin", "123"}, {"long.bin", "1234567"}, {"whole.bin", "1234567890"}};
  const QString source = local("whole.bin");
  ASSERT_TRUE(writeLocal(source, "1234567890"));
  connectOk();

  // The remote file holds exactly the bytes to skip: appending the rest comes to the same.
  client.SendFile(source, 5, "part.bin", true);
  EXPECT_EQ(server.files["part.bin"], "1234567890");
  EXPECT_TRUE(harness.logContains("appending instead"));

  // Shorter or longer, it cannot be continued: refused before anything is sent.
  for (const std::string name : {"short.bin", "long.bin"}) {
    const std::string before = server.files[name];
    EXPECT_TRUE(harness.fails([&] { client.SendFile(source, 5, QString::fromStdString(name), true); },
                              FailureKind::CommandRefused, {"Resuming (REST 5) failed: 502"}));
    EXPECT_EQ(server.files[name], before);
  }

  // A download has no way round: refused, and the part already here stays as it was.
  const QString part = local("part.bin");
  ASSERT_TRUE(writeLocal(part, "12345"));
  EXPECT_TRUE(harness.fails([&] { client.ReceiveFile("whole.bin", 5, part); }, FailureKind::CommandRefused));
  EXPECT_EQ(readLocal(part), "12345");

  EXPECT_EQ(count("APPE"), 1);
  EXPECT_EQ(count("STOR") + count("RETR"), 0);
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(HostileServer, ServerHangingUpWhileIdleIsNoticed) {
  connectOk();
  // The server closes the connection on its own; the idle watch has to notice without a command.
  server.on("PWD", [](Control& c, const std::string&) {
    c.reply("257 \"/\"");
    c.reply("421 Idle too long, closing");
    c.close();
  });
  EXPECT_EQ(client.GetCurrentFolder(), "/");
  EXPECT_TRUE(ClientHarness::waitUntil([&] { return client.CurrentState() == NotConnected; }));
  EXPECT_EQ(harness.disconnects, 1);
  EXPECT_TRUE(harness.logContains("421 Idle too long"));
}

TEST_F(HostileServer, PortsOutsideOneTo65535ConnectNowhere) {
  // The server's port and the proxy's follow one rule: 1 to 65535 are tried (nobody listens on the
  // edges here), anything else is refused before a connection is made.
  const auto outcome = [&](int serverPort, int proxyPort) {
    client.setServerPort(serverPort);
    client.setProxyPort(proxyPort);
    const FtpFailure failure = harness.failureOf([&] { client.Connect(); });
    EXPECT_EQ(client.CurrentState(), NotConnected);
    EXPECT_EQ(server.connections(), 0);
    return failure.kind() == FailureKind::InvalidArgument ? "refused" : "tried";
  };
  for (const auto& [port, expected] :
       std::map<int, std::string>{{0, "refused"}, {1, "tried"}, {65535, "tried"}, {65536, "refused"}}) {
    EXPECT_EQ(outcome(port, 1080), expected) << "server port " << port;
    client.setProxyType(5);
    client.setProxyAddress("127.0.0.1");
    EXPECT_EQ(outcome(server.port(), port), expected) << "proxy port " << port;
    client.setProxyType(0);
  }
}

// A port whose accept queue is full: new connections get no answer at all, like a host behind a
// firewall that drops packets. The connect times out, or is aborted.
TEST(ConnectTimeouts, SilentHostTimesOutAndCanBeAborted) {
  quint16 port = 0;
  const int listener = listenLoopback(&port, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int fillers[3];
  for (int& fd : fillers) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  ::usleep(50000);

  FtpClient client;
  ClientHarness harness(client);
  client.setServerAddress("127.0.0.1");
  client.setServerPort(port);
  client.setConnectTimeout(300);
  EXPECT_TRUE(harness.fails([&] { client.Connect(); }, FailureKind::Timeout,
                            {QString("Timed out connecting to 127.0.0.1:%1").arg(port)}));
  EXPECT_EQ(client.CurrentState(), NotConnected);

  client.setConnectTimeout(30000);
  QTimer::singleShot(100, &client, [&] { client.setAbort(true); });
  EXPECT_TRUE(harness.fails([&] { client.Connect(); }, FailureKind::Aborted));
  EXPECT_EQ(client.CurrentState(), NotConnected);
  for (int fd : fillers) ::close(fd);
  ::close(listener);
}
