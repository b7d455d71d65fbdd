// The engine against a scripted server that misbehaves: garbage, over-long and confused replies,
// silence, drops in the middle of a transfer, lying passive replies and hostile names. Each case
// checks the failure, the commands that went out, and that CurrentState tells the truth after.

#include "ClientHarness.h"
#include "FakeFtpServer.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <map>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tidewick::test;
using tidewick::ftp::FailureKind;

namespace {

constexpr int NotConnected = 0;
constexpr int Idle = 2;

class HostileServer : public ::testing::Test {
protected:
  void SetUp() override {
    client.setServerAddress(QStringLiteral("127.0.0.1"));
    client.setServerPort(server.port());
    client.setUserName(QStringLiteral("demo"));
    client.setPassword(QStringLiteral("secret"));
    client.setPassiveMode(true);
    ASSERT_TRUE(dir.isValid());
  }

  void connectOk() {
    ASSERT_NO_THROW(client.Connect());
    ASSERT_EQ(client.CurrentState(), Idle);
  }

  bool sent(const std::string& line) const {
    const auto lines = server.transcript();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  int count(const std::string& verb) const {
    const auto verbs = server.verbs();
    return static_cast<int>(std::count(verbs.begin(), verbs.end(), verb));
  }

  QString local(const QString& name) const { return dir.filePath(name); }

  FakeFtpServer server;
  FtpClient client;
  ClientHarness harness{client};
  QTemporaryDir dir;
};

} // namespace

TEST_F(HostileServer, LogsInWithLfOnlyRepliesArrivingByteByByte) {
  server.setGreeting("220-Welcome\n220-to the\n220 fake server\n");
  server.setGreetingSlowly(true);
  server.on("PASS", [](FakeFtpServer::Control& c, const std::string&) { c.sendSlowly("230 Logged in\n"); });
  connectOk();
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/"));
  EXPECT_EQ(server.transcript(), (std::vector<std::string>{"USER demo", "PASS secret", "SYST", "FEAT", "PWD"}));
  EXPECT_TRUE(harness.logContains(QStringLiteral("PASS ****")));
  EXPECT_FALSE(harness.logContains(QStringLiteral("secret")));
}

TEST_F(HostileServer, GarbageGreetingFailsTheConnect) {
  server.setGreeting("HELLO, I am not an FTP server\r\n");
  const FtpFailure failure = harness.failureOf([&] { client.Connect(); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::BadReply));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("not an FTP reply")));
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_TRUE(server.transcript().empty());
  EXPECT_EQ(harness.disconnects, 0); // never logged in, so nothing to announce
}

TEST_F(HostileServer, OverLongReplyLineClosesTheConnection) {
  server.on("PWD", [](FakeFtpServer::Control& c, const std::string&) {
    c.send("257 \"/" + std::string(70 * 1024, 'a') + "\"\r\n");
  });
  connectOk();
  const FtpFailure failure = harness.failureOf([&] { client.GetCurrentFolder(); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::BadReply));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("64 KiB")));
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_EQ(harness.disconnects, 1);
}

// AUTH TLS agreed with something in clear riding along (an injection), or a handshake the server
// breaks off: neither may end in a login sent in clear.
TEST_F(HostileServer, TlsThatCannotBeTrustedSendsNoLogin) {
  const std::vector<std::pair<std::string, QString>> cases = {
      {"234 Go ahead\r\n230 Logged in, trust me\r\n", QStringLiteral("sent more after agreeing to TLS")},
      {"234 Go ahead\r\n", QStringLiteral("closed the connection during the TLS handshake")},
  };
  for (const auto& [reply, why] : cases) {
    FakeFtpServer tlsServer;
    tlsServer.on("AUTH", [reply = reply](FakeFtpServer::Control& c, const std::string&) {
      c.send(reply);
      c.close();
    });
    client.setServerPort(tlsServer.port());
    client.setSecurity(tidewick::ftp::Security::TlsIfAvailable);
    const FtpFailure failure = harness.failureOf([&] { client.Connect(); });
    EXPECT_EQ(failure.number(), failureNumber(FailureKind::TlsFailed)) << failure.description().toStdString();
    EXPECT_TRUE(failure.description().contains(why)) << failure.description().toStdString();
    EXPECT_EQ(tlsServer.verbs(), std::vector<std::string>{"AUTH"});
    EXPECT_EQ(client.CurrentState(), NotConnected);
  }
}

TEST_F(HostileServer, SilentOrDrippingServerTimesOut) {
  client.setIdleTimeout(1500); // short, yet long enough for a loaded test machine
  server.on("CWD", [](FakeFtpServer::Control&, const std::string&) {}); // never answers
  connectOk();
  FtpFailure failure = harness.failureOf([&] { client.ChangeCurrentFolder(QStringLiteral("pub")); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::Timeout));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("did not answer within 1.5 seconds")))
      << failure.description().toStdString();
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_EQ(harness.disconnects, 1);
  EXPECT_TRUE(sent("CWD pub"));

  // A reply dripping in a byte every 0.1 s (3.4 s in all) has the timeout from its first byte,
  // not the timeout again after every byte.
  server.on("PWD", [](FakeFtpServer::Control& c, const std::string&) {
    c.sendSlowly("257 \"/\" is the current folder\r\n", 100 * 1000);
  });
  connectOk();
  failure = harness.failureOf([&] { client.GetCurrentFolder(); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::Timeout));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("still incomplete 1.5 seconds after it began")))
      << failure.description().toStdString();
  EXPECT_EQ(client.CurrentState(), NotConnected);
}

TEST_F(HostileServer, StrayReplyIsNotTakenForTheNextAnswer) {
  server.on("PWD", [](FakeFtpServer::Control& c, const std::string&) {
    c.send("257 \"/\" is current\r\n200 Nobody asked for this\r\n");
  });
  server.on("CWD", [](FakeFtpServer::Control& c, const std::string&) { c.reply("550 No such folder"); });
  connectOk();
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/"));
  const FtpFailure failure = harness.failureOf([&] { client.ChangeCurrentFolder(QStringLiteral("missing")); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::CommandRefused));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("550 No such folder")));
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(HostileServer, PartialDownloadsFailAndKeepWhatArrived) {
  server.files["big.bin"] = std::string(2000, 'x');
  server.on("FEAT", [](FakeFtpServer::Control& c, const std::string&) {
    c.send("211-Features:\r\n SIZE\r\n EPSV\r\n211 End\r\n");
  });
  // 426 after part of the file.
  server.on("RETR", [](FakeFtpServer::Control& c, const std::string&) {
    c.reply("150 Sending");
    c.sendData(std::string(1000, 'x'));
    c.reply("426 Connection closed; transfer aborted.");
  });
  connectOk();
  const QString target = local(QStringLiteral("big.bin"));
  FtpFailure failure = harness.failureOf([&] { client.ReceiveFile(QStringLiteral("big.bin"), 0, target); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::TransferFailed));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("426")));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("kept")));
  EXPECT_EQ(readLocal(target), QByteArray(1000, 'x'));
  EXPECT_EQ(client.CurrentState(), Idle);
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/"));
  EXPECT_EQ(server.verbs(),
            (std::vector<std::string>{"USER", "PASS", "SYST", "FEAT", "TYPE", "SIZE", "EPSV", "RETR", "PWD"}));

  // "226 complete" after less than SIZE announced is a failure all the same.
  server.on("RETR", [](FakeFtpServer::Control& c, const std::string&) {
    c.reply("150 Sending");
    c.sendData(std::string(1500, 'x'));
    c.reply("226 Transfer complete");
  });
  failure = harness.failureOf([&] { client.ReceiveFile(QStringLiteral("big.bin"), 0, target); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::TransferFailed));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("1500 of 2000 bytes")));
  EXPECT_EQ(readLocal(target).size(), 1500);
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(HostileServer, LocalWriteFailureMidTransferKeepsTheSessionInStep) {
  server.files["big.bin"] = std::string(300000, 'x');
  connectOk();
  const FtpFailure failure =
      harness.failureOf([&] { client.ReceiveFile(QStringLiteral("big.bin"), 0, QStringLiteral("/dev/full")); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::LocalFileFailed));
  EXPECT_EQ(client.CurrentState(), Idle);
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/"));
  const auto verbs = server.verbs();
  EXPECT_EQ(std::vector<std::string>(verbs.end() - 4, verbs.end()),
            (std::vector<std::string>{"RETR", "ABOR", "NOOP", "PWD"}));
}

TEST_F(HostileServer, ServerVanishingMidTransferEndsTheConnection) {
  server.on("RETR", [](FakeFtpServer::Control& c, const std::string&) {
    c.reply("150 Sending");
    c.sendDataAndHold(std::string(1000, 'y'));
    c.close();
  });
  connectOk();
  const QString target = local(QStringLiteral("gone.bin"));
  const FtpFailure failure = harness.failureOf([&] { client.ReceiveFile(QStringLiteral("gone.bin"), 0, target); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::ConnectionLost));
  EXPECT_EQ(readLocal(target), QByteArray(1000, 'y'));
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_EQ(harness.disconnects, 1);
}

TEST_F(HostileServer, ServerGivingUpMidUploadExplainsWhy) {
  server.on("STOR", [](FakeFtpServer::Control& c, const std::string&) {
    c.reply("150 Send it");
    c.receiveData(64 * 1024);
    c.reply("552 Storage allocation full");
  });
  connectOk();
  const QString source = local(QStringLiteral("big.bin"));
  ASSERT_TRUE(writeLocal(source, randomBytes(16 * 1024 * 1024, 4)));
  const FtpFailure failure = harness.failureOf([&] { client.SendFile(source, 0, QStringLiteral("big.bin"), false); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::TransferFailed));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("552 Storage allocation full")))
      << failure.description().toStdString();
  EXPECT_EQ(client.CurrentState(), Idle);
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/"));
}

TEST_F(HostileServer, StalledDownloadTimesOutOrIsAbortedAndTheSessionRecovers) {
  client.setIdleTimeout(1500); // short, yet long enough for a loaded test machine
  server.on("RETR", [](FakeFtpServer::Control& c, const std::string&) {
    c.reply("150 Sending");
    c.sendDataAndHold(std::string(10, 'z'));
  });
  server.on("ABOR", [](FakeFtpServer::Control& c, const std::string&) {
    c.closeData();
    c.reply("426 Transfer aborted");
    c.reply("226 ABOR ok");
  });
  connectOk();
  const QString target = local(QStringLiteral("slow.bin"));
  FtpFailure failure = harness.failureOf([&] { client.ReceiveFile(QStringLiteral("slow.bin"), 0, target); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::TransferFailed));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("Nothing arrived for 1.5 seconds")));
  EXPECT_EQ(client.CurrentState(), Idle);
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/"));
  EXPECT_EQ(readLocal(target), QByteArray(10, 'z'));

  harness.onProgress = [&] { client.setAbort(true); };
  failure = harness.failureOf([&] { client.ReceiveFile(QStringLiteral("slow.bin"), 0, target); });
  harness.onProgress = nullptr;
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::Aborted));
  EXPECT_EQ(client.CurrentState(), Idle);
  EXPECT_FALSE(client.Abort());
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/"));
  const auto verbs = server.verbs();
  EXPECT_EQ(std::vector<std::string>(verbs.end() - 4, verbs.end()),
            (std::vector<std::string>{"RETR", "ABOR", "NOOP", "PWD"}));
}

TEST_F(HostileServer, AbortWhileTheServerSitsOnACommand) {
  server.on("CWD", [](FakeFtpServer::Control&, const std::string&) {});
  connectOk();
  QTimer::singleShot(50, &client, [&] { client.setAbort(true); });
  FtpFailure failure = harness.failureOf([&] { client.ChangeCurrentFolder(QStringLiteral("slow")); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::Aborted));
  EXPECT_EQ(client.CurrentState(), Idle);
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/"));

  // A server that answers nothing any more, not even ABOR, is given a second, then dropped: no
  // way to know where the conversation stands.
  for (const char* verb : {"ABOR", "NOOP"}) server.on(verb, [](FakeFtpServer::Control&, const std::string&) {});
  QElapsedTimer sinceAbort;
  QTimer::singleShot(50, &client, [&] {
    sinceAbort.start();
    client.setAbort(true);
  });
  failure = harness.failureOf([&] { client.ChangeCurrentFolder(QStringLiteral("slow")); });
  const qint64 elapsed = sinceAbort.elapsed();
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::Aborted));
  EXPECT_LE(elapsed, 1400) << "the second for the server, and little more";
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_EQ(harness.disconnects, 1);
  EXPECT_TRUE(harness.logContains(QStringLiteral("did not come back in step")));
}

TEST_F(HostileServer, PassiveRepliesThatCannotBeTakenAsSaid) {
  // An EPSV reply without a usable port: PASV instead, and EPSV is not asked again.
  server.on("EPSV", [](FakeFtpServer::Control& c, const std::string&) {
    c.reply("229 Entering Extended Passive Mode (|||99999|)");
  });
  // A PASV reply naming another host: the data connection goes to the server's own address.
  server.on("PASV", [](FakeFtpServer::Control& c, const std::string&) {
    const quint16 port = c.openDataPort();
    c.reply("227 Entering Passive Mode (10,11,12,13," + std::to_string(port >> 8) + "," + std::to_string(port & 0xff) +
            ")");
  });
  server.listing = "-rw-r--r-- 1 ftp ftp 5 Jan 01 2020 a.txt\r\n";
  connectOk();
  client.ListFolderContents();
  client.ListFolderContents();
  ASSERT_EQ(harness.items.size(), 2u);
  EXPECT_EQ(harness.items[0].name, QStringLiteral("a.txt"));
  EXPECT_TRUE(harness.logContains(QStringLiteral("no usable port")));
  EXPECT_TRUE(harness.logContains(QStringLiteral("10.11.12.13")));
  EXPECT_EQ(count("EPSV"), 1);
  EXPECT_EQ(count("PASV"), 2);
}

TEST_F(HostileServer, OversizedListingStopsAtItsLimit) {
  std::string listing;
  for (int i = 0; i < 3000; ++i) listing += "-rw-r--r-- 1 ftp ftp 5 Jan 01 2020 file" + std::to_string(i) + ".txt\r\n";
  server.listing = listing;
  connectOk();
  // One entry over the limit stops the listing; exactly at it (the last case) passes.
  client.setListingLimit({2999, 64 * 1024 * 1024});
  FtpFailure failure = harness.failureOf([&] { client.GetFolderContents(); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::TransferFailed));
  EXPECT_EQ(failure.description(), QStringLiteral("The listing is larger than 2999 entries; it was stopped there"));
  EXPECT_EQ(client.CurrentState(), Idle);
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/"));

  // A server streaming without end, here without a single line end.
  server.listing = std::string(4 * 1024 * 1024, 'x');
  client.setListingLimit({1000, 1024 * 1024});
  failure = harness.failureOf([&] { client.ListFolderContents(); });
  EXPECT_EQ(failure.description(), QStringLiteral("The listing is larger than 1 MiB; it was stopped there"));
  EXPECT_EQ(client.CurrentState(), Idle);

  // Names are held as UTF-16, twice their text: 240 KB of long names and what they hold come to
  // more than 400 KiB.
  std::string longNames;
  for (int i = 0; i < 1000; ++i)
    longNames += "-rw-r--r-- 1 ftp ftp 5 Jan 01 2020 " + std::string(200, 'n') + std::to_string(i) + "\r\n";
  server.listing = longNames;
  client.setListingLimit({1000, 400 * 1024});
  failure = harness.failureOf([&] { client.GetFolderContents(); });
  EXPECT_EQ(failure.description(), QStringLiteral("The listing is larger than 409600 bytes; it was stopped there"));

  server.listing = listing;
  client.setListingLimit({3000, 64 * 1024 * 1024});
  EXPECT_EQ(client.GetFolderContents().size(), 3000u);

  // Lines a pattern leaves out count by their text alone: exactly the byte bound passes, a byte more
  // does not.
  const qint64 size = qint64(listing.size());
  client.setListingLimit({3000, size});
  EXPECT_TRUE(client.GetFolderContents(QStringLiteral("*.none")).empty());
  client.setListingLimit({3000, size - 1});
  failure = harness.failureOf([&] { client.GetFolderContents(QStringLiteral("*.none")); });
  EXPECT_EQ(failure.description(),
            QStringLiteral("The listing is larger than %1 bytes; it was stopped there").arg(size - 1));
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
  ASSERT_EQ(items.size(), 4u);
  constexpr qint64 cap = (qint64(1) << 55) - 1;
  using tidewick::ftp::DatePrecision;
  using tidewick::ftp::ItemKind;
  struct Expected {
    qint64 size;
    ItemKind kind;
    DatePrecision precision;
  };
  const Expected expected[] = {{cap, ItemKind::File, DatePrecision::Minute},
                               {cap, ItemKind::Link, DatePrecision::Day},
                               {cap, ItemKind::Folder, DatePrecision::Day},
                               {5, ItemKind::File, DatePrecision::Day}};
  for (std::size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(items[i].name.toStdString());
    EXPECT_EQ(items[i].size, expected[i].size);
    EXPECT_EQ(items[i].kind, int(expected[i].kind));
    EXPECT_EQ(items[i].datePrecision, expected[i].precision);
    EXPECT_EQ(items[i].date.date().dayOfYear(), 1);
  }
  EXPECT_EQ(items[0].date.time(), QTime(12, 34));
  EXPECT_EQ(items[1].linkTarget(), QStringLiteral("target"));
  EXPECT_EQ(items[2].permissions(), QStringLiteral("drwxr-xr-x"));

  // The same items reported one by one.
  client.ListFolderContents();
  ASSERT_EQ(harness.items.size(), 4u);
  for (std::size_t i = 0; i < items.size(); ++i) {
    EXPECT_EQ(harness.items[i].size, expected[i].size);
    EXPECT_EQ(harness.items[i].kind, int(expected[i].kind));
  }
}

TEST_F(HostileServer, HostileNamesNeverLeaveTheTargetFolder) {
  server.listing =
      "-rw-r--r-- 1 ftp ftp 4 Jan 01 2020 good.txt\r\n"
      "-rw-r--r-- 1 ftp ftp 4 Jan 01 2020 ../evil.txt\r\n"
      "-rw-r--r-- 1 ftp ftp 4 Jan 01 2020 sub/evil.txt\r\n"
      "-rw-r--r-- 1 ftp ftp 4 Jan 01 2020 /etc/evil.txt\r\n"
      "drwxr-xr-x 2 ftp ftp 0 Jan 01 2020 ..\r\n"
      "-rw-r--r-- 1 ftp ftp 4 Jan 01 2020 cr\r\nlf.txt\r\n";
  server.files["good.txt"] = "good";
  server.files["../evil.txt"] = "evil";
  server.files["sub/evil.txt"] = "evil";
  server.files["/etc/evil.txt"] = "evil";
  connectOk();
  const QString target = local(QStringLiteral("target"));
  ASSERT_NO_THROW(client.ReceiveMatchingFiles(QStringLiteral("*"), target, true));
  EXPECT_EQ(readLocal(target + QStringLiteral("/good.txt")), QByteArray("good"));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"target"});
  EXPECT_EQ(QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"good.txt"});

  const auto lines = server.transcript();
  QStringList retrieved;
  for (const auto& line : lines)
    if (line.rfind("RETR ", 0) == 0) retrieved << QString::fromStdString(line.substr(5));
  EXPECT_EQ(retrieved, (QStringList{"good.txt", "cr"})); // "cr" is the broken line's name: refused by the server

  QStringList unsafe;
  for (const auto& skip : harness.skipped)
    if (skip.reason == static_cast<int>(tidewick::ftp::SkipReason::UnsafeName)) unsafe << skip.remote;
  EXPECT_EQ(unsafe, (QStringList{"/../evil.txt", "/sub/evil.txt", "//etc/evil.txt"}));
  EXPECT_TRUE(harness.logContains(QStringLiteral("lf.txt")));
  EXPECT_EQ(client.CurrentState(), Idle);
}

// A loop no listing, PWD or identity gives away: every folder holds "d" again, and a "locked"
// folder that cannot be entered. The walk still ends, 64 levels down.
TEST_F(HostileServer, EndlessFoldersStopAtTheDepthLimit) {
  server.listing = "drwxr-xr-x 1 ftp ftp 0 Jan 01  2020 d\r\ndrwxr-xr-x 1 ftp ftp 0 Jan 01  2020 locked\r\n";
  auto cwd = std::make_shared<std::string>("/");
  server.on("CWD", [cwd](FakeFtpServer::Control& c, const std::string& path) {
    if (path.size() >= 7 && path.compare(path.size() - 7, 7, "/locked") == 0) {
      c.reply("550 Permission denied");
      return;
    }
    *cwd = path;
    c.reply("250 Folder changed");
  });
  server.on("PWD", [cwd](FakeFtpServer::Control& c, const std::string&) { c.reply("257 \"" + *cwd + "\""); });
  connectOk();
  const QString target = local(QStringLiteral("target"));
  ASSERT_NO_THROW(client.ReceiveMatchingFiles(QStringLiteral("/*"), target, true));

  EXPECT_TRUE(QFileInfo(target + QStringLiteral("/d").repeated(64)).isDir());
  EXPECT_FALSE(QFileInfo::exists(target + QStringLiteral("/d").repeated(65)));
  EXPECT_EQ(harness.log.filter(QStringLiteral("folders nest deeper than 64 levels")).size(), 2);
  EXPECT_EQ(harness.log.filter(QStringLiteral("the server would not open it")).size(), 64);
  EXPECT_EQ(client.CurrentState(), Idle);
}

// A server of the old kind: no FEAT, options after LIST refused, links listed without their
// targets, PWD with the real path behind a link. Links are told apart by entering them; a loop
// shows in PWD; dates come from LIST where it has the time of day.
TEST_F(HostileServer, LinksOnAPlainListServerAreProbedAndLoopsSeenInPwd) {
  server.listing =
      "-rw-r--r-- 1 ftp ftp 4 Mar 01 12:34 timed.txt\r\n"
      "-rw-r--r-- 1 ftp ftp 4 Mar 01  2019 dated.txt\r\n"
      "lrwxrwxrwx 1 ftp ftp 1 Jan 01  2020 loop\r\n"
      "lrwxrwxrwx 1 ftp ftp 1 Jan 01  2020 to-file\r\n";
  server.files = {{"timed.txt", "time"}, {"dated.txt", "date"}, {"to-file", "file"}};
  auto cwd = std::make_shared<std::string>("/");
  server.on("CWD", [cwd](FakeFtpServer::Control& c, const std::string& path) {
    if (path == "/" || path == "/top" || path == "/top/loop") {
      *cwd = path == "/top/loop" ? "/top" : path;
      c.reply("250 Folder changed");
    } else {
      c.reply("550 Not a folder");
    }
  });
  server.on("PWD", [cwd](FakeFtpServer::Control& c, const std::string&) { c.reply("257 \"" + *cwd + "\""); });
  const auto list = server.listing;
  server.on("LIST", [list](FakeFtpServer::Control& c, const std::string& argument) {
    if (!argument.empty()) {
      c.closeData();
      c.reply("501 No options here");
      return;
    }
    c.reply("150 Here comes the listing");
    c.sendData(list);
    c.reply("226 Listing sent");
  });
  connectOk();
  const QString target = local(QStringLiteral("target"));
  ASSERT_NO_THROW(client.ReceiveMatchingFiles(QStringLiteral("/top/*"), target, true));

  EXPECT_EQ(QDir(target).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            (QStringList{"dated.txt", "timed.txt", "to-file"}));
  EXPECT_TRUE(harness.logContains(QStringLiteral("/top/loop is a link back into /top; skipped")));
  ASSERT_EQ(harness.skipped.size(), 1u);
  EXPECT_EQ(harness.skipped[0].reason, static_cast<int>(tidewick::ftp::SkipReason::LinkLoop));
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/"));

  // The refusal of "LIST -a" is remembered for the connection.
  client.ChangeCurrentFolder(QStringLiteral("/top"));
  std::map<QString, QDateTime> listed;
  for (const auto& item : client.GetFolderContents()) listed[item.name] = item.date;
  EXPECT_EQ(count("LIST"), 3);
  const auto lines = server.transcript();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string("LIST -a")), 1);

  // Without MDTM the listing's date is kept when it has the time of day; a date alone is not.
  EXPECT_EQ(QFileInfo(target + QStringLiteral("/timed.txt")).lastModified().toUTC(),
            listed[QStringLiteral("timed.txt")]);
  EXPECT_GT(QFileInfo(target + QStringLiteral("/dated.txt")).lastModified().toUTC(),
            QDateTime::currentDateTimeUtc().addSecs(-600));
}

TEST_F(HostileServer, FolderDownloadAsksTheTimesOfAllItsFilesAtOnce) {
  server.on("FEAT",
            [](FakeFtpServer::Control& c, const std::string&) { c.send("211-Features:\r\n MDTM\r\n211 End\r\n"); });
  server.on("MDTM", [](FakeFtpServer::Control& c, const std::string& name) {
    if (name == "b.txt") c.reply("550 No time for this one");
    else c.reply(name == "a.txt" ? "213 20190301123456" : "213 20200102030405");
  });
  server.listing =
      "-rw-r--r-- 1 ftp ftp 1 Mar 01 12:34 a.txt\r\n"
      "-rw-r--r-- 1 ftp ftp 1 Mar 01 12:34 b.txt\r\n"
      "-rw-r--r-- 1 ftp ftp 1 Mar 01 12:34 c.txt\r\n";
  server.files = {{"a.txt", "a"}, {"b.txt", "b"}, {"c.txt", "c"}};
  connectOk();
  const QString target = local(QStringLiteral("target"));
  client.ReceiveMatchingFiles(QStringLiteral("*"), target, false);

  // Each file has its own time from the server, to the second; one the server will not tell
  // keeps the listing's minute.
  const auto modified = [&](const char* name) {
    return QFileInfo(target + QLatin1Char('/') + QLatin1String(name)).lastModified().toUTC();
  };
  EXPECT_EQ(modified("a.txt"), QDateTime(QDate(2019, 3, 1), QTime(12, 34, 56), Qt::UTC));
  EXPECT_EQ(modified("c.txt"), QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC));
  EXPECT_EQ(modified("b.txt").time(), QTime(12, 34));
  // All of them were asked before the first file came: one round trip, not one a file.
  const auto verbs = server.verbs();
  const auto list = std::find(verbs.begin(), verbs.end(), "LIST");
  ASSERT_GT(verbs.end() - list, 4);
  EXPECT_EQ(std::vector<std::string>(list + 1, list + 4), (std::vector<std::string>{"MDTM", "MDTM", "MDTM"}));
}

TEST_F(HostileServer, LineBreaksInNamesNeverReachTheServer) {
  connectOk();
  const auto before = server.transcript().size();
  FtpFailure failure = harness.failureOf([&] { client.ChangeCurrentFolder(QStringLiteral("x\r\nDELE y")); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::UnsafeInput));
  failure = harness.failureOf([&] { client.SendCommand(QStringLiteral("NOOP\nDELE y")); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::UnsafeInput));
  failure = harness.failureOf([&] { client.RenameFile(QStringLiteral("a"), QString(QStringLiteral("b")) + QChar(0)); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::UnsafeInput));
  const QString target = local(QStringLiteral("never.txt"));
  failure = harness.failureOf([&] { client.ReceiveFile(QStringLiteral("a\nb"), 0, target); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::UnsafeInput));
  EXPECT_FALSE(QFile::exists(target));
  EXPECT_EQ(server.transcript().size(), before); // not even the harmless RNFR of the rename

  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(HostileServer, AsciiModeConvertsLineEndsOnTheWire) {
  server.files["t.txt"] = "p\r\nq\r\n";
  connectOk();
  client.setTransferMode(1);
  const QString down = local(QStringLiteral("t.txt"));
  client.ReceiveFile(QStringLiteral("t.txt"), 0, down);
  EXPECT_EQ(readLocal(down), QByteArray("p\nq\n"));
  const QString up = local(QStringLiteral("up.txt"));
  ASSERT_TRUE(writeLocal(up, "a\nb\r\nc\n"));
  client.SendFile(up, 0, QStringLiteral("up.txt"), false);
  EXPECT_EQ(server.files["up.txt"], "a\r\nb\r\nc\r\n");
  EXPECT_TRUE(sent("TYPE A"));
  client.setTransferMode(0);
  client.ReceiveFile(QStringLiteral("t.txt"), 0, down);
  EXPECT_EQ(readLocal(down), QByteArray("p\r\nq\r\n"));
  EXPECT_TRUE(sent("TYPE I"));
}

TEST_F(HostileServer, LoginsWithoutAPasswordOrWithAnAccount) {
  // 202 to USER: logged in already, and the password never goes out.
  server.on("USER", [](FakeFtpServer::Control& c, const std::string&) { c.reply("202 No password needed"); });
  connectOk();
  EXPECT_EQ(server.verbs(), (std::vector<std::string>{"USER", "SYST", "FEAT"}));
  client.Disconnect();

  // 332 to PASS: the account question is answered from the UI thread, and the answer is not logged.
  server.on("USER", [](FakeFtpServer::Control& c, const std::string&) { c.reply("331 Password required"); });
  server.on("PASS", [](FakeFtpServer::Control& c, const std::string&) { c.reply("332 Need account for login"); });
  server.on("ACCT", [](FakeFtpServer::Control& c, const std::string&) { c.reply("230 Logged in"); });
  harness.accountAnswer = QStringLiteral("acct-42");
  connectOk();
  EXPECT_EQ(harness.accountQuestions, 1);
  EXPECT_TRUE(sent("ACCT acct-42"));
  EXPECT_FALSE(harness.logContains(QStringLiteral("acct-42")));
  client.Disconnect();

  // No answer gives the login up with a clear reason.
  harness.accountAnswer.clear();
  const FtpFailure failure = harness.failureOf([&] { client.Connect(); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::LoginFailed));
  EXPECT_TRUE(failure.description().contains(QStringLiteral("account")));
  EXPECT_EQ(client.CurrentState(), NotConnected);
  EXPECT_EQ(count("ACCT"), 1);
}

TEST_F(HostileServer, ResumeWhereTheServerRefusesRest) {
  server.on("FEAT",
            [](FakeFtpServer::Control& c, const std::string&) { c.send("211-Features:\r\n SIZE\r\n211 End\r\n"); });
  server.on("REST", [](FakeFtpServer::Control& c, const std::string&) { c.reply("502 REST not implemented"); });
  server.files["part.bin"] = "12345";
  server.files["short.bin"] = "123";
  server.files["long.bin"] = "1234567";
  server.files["whole.bin"] = "1234567890";
  const QString source = local(QStringLiteral("whole.bin"));
  ASSERT_TRUE(writeLocal(source, "1234567890"));
  connectOk();

  // The remote file holds exactly the bytes to skip: appending the rest comes to the same.
  client.SendFile(source, 5, QStringLiteral("part.bin"), true);
  EXPECT_EQ(server.files["part.bin"], "1234567890");
  EXPECT_TRUE(harness.logContains(QStringLiteral("appending instead")));

  // Shorter or longer, it cannot be continued: refused before anything is sent.
  for (const std::string name : {"short.bin", "long.bin"}) {
    const std::string before = server.files[name];
    const FtpFailure failure =
        harness.failureOf([&] { client.SendFile(source, 5, QString::fromStdString(name), true); });
    EXPECT_EQ(failure.number(), failureNumber(FailureKind::CommandRefused)) << name;
    EXPECT_TRUE(failure.description().contains(QStringLiteral("Resuming (REST 5) failed: 502")))
        << failure.description().toStdString();
    EXPECT_EQ(server.files[name], before);
  }

  // A download has no way round: refused, and the part already here stays as it was.
  const QString part = local(QStringLiteral("part.bin"));
  ASSERT_TRUE(writeLocal(part, "12345"));
  const FtpFailure failure = harness.failureOf([&] { client.ReceiveFile(QStringLiteral("whole.bin"), 5, part); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::CommandRefused));
  EXPECT_EQ(readLocal(part), QByteArray("12345"));

  EXPECT_EQ(count("APPE"), 1);
  EXPECT_EQ(count("STOR") + count("RETR"), 0);
  EXPECT_EQ(client.CurrentState(), Idle);
}

TEST_F(HostileServer, ServerHangingUpWhileIdleIsNoticed) {
  connectOk();
  // The server closes the connection on its own; the idle watch has to notice without a command.
  server.on("PWD", [](FakeFtpServer::Control& c, const std::string&) {
    c.reply("257 \"/\"");
    c.reply("421 Idle too long, closing");
    c.close();
  });
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/"));
  EXPECT_TRUE(ClientHarness::waitUntil([&] { return client.CurrentState() == NotConnected; }));
  EXPECT_EQ(harness.disconnects, 1);
  EXPECT_TRUE(harness.logContains(QStringLiteral("421 Idle too long")));
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
    return failure.number() == failureNumber(FailureKind::InvalidArgument) ? "refused" : "tried";
  };
  for (const auto& [port, expected] :
       std::map<int, std::string>{{0, "refused"}, {1, "tried"}, {65535, "tried"}, {65536, "refused"}}) {
    EXPECT_EQ(outcome(port, 1080), expected) << "server port " << port;
    client.setProxyType(5);
    client.setProxyAddress(QStringLiteral("127.0.0.1"));
    EXPECT_EQ(outcome(server.port(), port), expected) << "proxy port " << port;
    client.setProxyType(0);
  }
}

namespace {

// A port whose accept queue is full: new connections get no answer at all, like a host behind a
// firewall that drops packets.
class BlackholePort {
public:
  BlackholePort() {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(m_listen, 0);
    ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    for (int& fd : m_fillers) {
      fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ::usleep(50000);
  }
  ~BlackholePort() {
    for (int fd : m_fillers) ::close(fd);
    ::close(m_listen);
  }
  quint16 port = 0;

private:
  int m_listen = -1;
  int m_fillers[3] = {-1, -1, -1};
};

} // namespace

TEST(ConnectTimeouts, SilentHostTimesOutAndCanBeAborted) {
  BlackholePort blackhole;
  FtpClient client;
  ClientHarness harness(client);
  client.setServerAddress(QStringLiteral("127.0.0.1"));
  client.setServerPort(blackhole.port);
  client.setConnectTimeout(300);
  FtpFailure failure = harness.failureOf([&] { client.Connect(); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::Timeout));
  EXPECT_EQ(failure.description(), QStringLiteral("Timed out connecting to 127.0.0.1:%1").arg(blackhole.port));
  EXPECT_EQ(client.CurrentState(), NotConnected);

  client.setConnectTimeout(30000);
  QTimer::singleShot(100, &client, [&] { client.setAbort(true); });
  failure = harness.failureOf([&] { client.Connect(); });
  EXPECT_EQ(failure.number(), failureNumber(FailureKind::Aborted));
  EXPECT_EQ(client.CurrentState(), NotConnected);
}
