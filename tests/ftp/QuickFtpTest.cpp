// One-call transfers: connect, transfer, disconnect, with the paths the queue builds.

#include "ClientHarness.h"

#include "FakeFtpServer.h"
#include "ftp/QuickFtp.h"
#include "support/FtpServerFixture.h"

#include <QRegularExpression>

#include <functional>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

using namespace tidewick::test;
using tidewick::ftp::FileTransfer;
using tidewick::ftp::QuickFtp;

namespace {

// The files a series asks for, one at a time, and what it reported done.
struct Series {
  std::vector<FileTransfer> files;
  std::size_t asked = 0;
  std::vector<std::pair<QString, qint64>> done;
  qint64 run(QuickFtp& quick, quint16 port, const QString& user = "demo") {
    return quick.QuickTransferFiles(
        "127.0.0.1", port, user, user, false,
        [this]() -> std::optional<FileTransfer> {
          if (asked == files.size()) return std::nullopt;
          return files[asked++];
        },
        [this](const FileTransfer& file, qint64 bytes) {
          done.emplace_back(file.upload ? file.local : file.remote, bytes);
        });
  }
};

class QuickFtpTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(server.start());
    server.writeFile("pub/a.txt", "a");
    server.writeFile("pub/b.txt", "bb");
  }
  qint64 get(QuickFtp& quick, const QString& user, const QString& name) {
    return quick.QuickReceiveFile("127.0.0.1", server.port(), user, user, "/pub/" + name, dir.filePath(name), false);
  }
  qsizetype sent(const QString& pattern) const {
    return server.receivedCommands().filter(QRegularExpression(pattern)).size();
  }

  FtpServerFixture server{{.users = {{"demo", "demo"}, {"other", "other"}}}};
  QTemporaryDir dir;
};

} // namespace

// Folder rows as older queue files hold them, with backslashes between the parts.
TEST_F(QuickFtpTest, RemotePathsWithBackslashes) {
  server.writeFile("pub/tree/a.txt", "a");
  server.writeFile("pub/tree/sub/b.txt", "b");
  QuickFtp quick;
  const QString into = dir.filePath("tree");
  quick.QuickReceiveFiles("127.0.0.1", server.port(), "demo", "demo", "/pub\\tree\\*", true, into, false);
  EXPECT_EQ(readLocal(into + "/a.txt"), "a");
  EXPECT_EQ(readLocal(into + "/sub/b.txt"), "b");
  EXPECT_EQ(quick.BytesTransferred(), 2);
}

TEST_F(QuickFtpTest, WorksFromAThreadWithoutAnEventLoop) {
  int lines = 0;
  QString failure;
  std::thread worker([&] {
    QuickFtp quick;
    QObject::connect(&quick, &QuickFtp::LogMessage, [&](const QString&) { ++lines; });
    try {
      get(quick, "demo", "b.txt");
    } catch (const FtpFailure& f) {
      failure = f.description();
    }
  });
  worker.join();
  EXPECT_EQ(failure, QString());
  EXPECT_EQ(readLocal(dir.filePath("b.txt")), "bb");
  EXPECT_GT(lines, 5); // events were delivered in that thread while the call waited
}

TEST_F(QuickFtpTest, AKeptConnectionServesOnlyTheNextCallsOfTheSameLogin) {
  QuickFtp quick;
  quick.setKeepConnection(true);
  EXPECT_EQ(get(quick, "demo", "a.txt"), 1);
  EXPECT_EQ(quick.QuickSendFile("127.0.0.1", server.port(), "demo", "demo", dir.filePath("a.txt"), "/pub/up.txt", true),
            1);
  EXPECT_EQ(get(quick, "demo", "b.txt"), 2);
  EXPECT_EQ(sent("^USER "), 1);
  EXPECT_EQ(server.readFile("pub/up.txt"), "a");

  // Another user gets a connection of its own; the kept one is quit.
  EXPECT_EQ(get(quick, "other", "a.txt"), 1);
  EXPECT_EQ(sent("^USER "), 2);
  EXPECT_EQ(sent("QUIT"), 1);

  // A failure keeps its kind and reason, leaves no file behind, and closes the connection; the
  // next call logs in again.
  EXPECT_TRUE(ClientHarness::fails([&] { get(quick, "other", "missing.txt"); }, FailureKind::CommandRefused, {"550"}));
  EXPECT_FALSE(QFile::exists(dir.filePath("missing.txt")));
  EXPECT_EQ(sent("QUIT"), 2);
  EXPECT_EQ(get(quick, "other", "b.txt"), 2);
  EXPECT_EQ(sent("^USER "), 3);
  quick.CloseConnection();
  EXPECT_EQ(sent("QUIT"), 3);

  // Without keeping, every call logs in and out.
  QuickFtp once;
  get(once, "demo", "a.txt");
  EXPECT_EQ(sent("^USER "), 4);
  EXPECT_EQ(sent("QUIT"), 4);
}

TEST_F(QuickFtpTest, ASeriesOfFilesGoesOnOneLoginAndStopsAtTheFirstFailure) {
  const QString up = dir.filePath("up.txt");
  ASSERT_TRUE(writeLocal(up, "upload"));
  QuickFtp quick;
  quick.setKeepConnection(true);
  Series series;
  series.files = {{false, dir.filePath("a.txt"), "/pub\\a.txt"},
                  {true, up, "/pub/up.txt"},
                  {false, dir.filePath("missing.txt"), "/pub/missing.txt"},
                  {false, dir.filePath("b.txt"), "/pub/b.txt"}};
  EXPECT_TRUE(ClientHarness::fails([&] { series.run(quick, server.port()); }, FailureKind::CommandRefused, {"550"}));
  // The files before the failure were done and reported, each with its own bytes; none after it
  // was asked for.
  EXPECT_EQ(series.done, (std::vector<std::pair<QString, qint64>>{{"/pub/a.txt", 1}, {up, 6}}));
  EXPECT_EQ(series.asked, 3u);
  EXPECT_EQ(readLocal(dir.filePath("a.txt")), "a");
  EXPECT_EQ(server.readFile("pub/up.txt"), "upload");
  EXPECT_FALSE(QFile::exists(dir.filePath("b.txt")));
  EXPECT_EQ(sent("^USER "), 1);
}

TEST(QuickFtp, AKeptConnectionTheServerDropsIsReplacedWithoutFailingTheCall) {
  FakeFtpServer server;
  server.files = {{"/a.txt", "first"}, {"/b.txt", "second"}, {"/c.txt", "third"}};
  int passives = 0;
  // The first connection goes away when its second transfer begins, as after a server's idle timeout.
  server.on("EPSV", [&](FakeFtpServer::Control& c, const std::string&) {
    if (++passives == 2) return c.close();
    c.reply("229 Entering Extended Passive Mode (|||" + std::to_string(c.openDataPort()) + "|)");
  });
  QTemporaryDir dir;
  QuickFtp quick;
  quick.setKeepConnection(true);
  quick.QuickReceiveFile("127.0.0.1", server.port(), "u", "u", "/a.txt", dir.filePath("a.txt"), false);
  // A series begun on it loses none of its files: the one it was given is tried again.
  Series series;
  series.files = {{false, dir.filePath("b.txt"), "/b.txt"}, {false, dir.filePath("c.txt"), "/c.txt"}};
  EXPECT_EQ(series.run(quick, server.port(), "u"), 11);
  EXPECT_EQ(series.done, (std::vector<std::pair<QString, qint64>>{{"/b.txt", 6}, {"/c.txt", 5}}));
  EXPECT_EQ(readLocal(dir.filePath("b.txt")), "second");
  EXPECT_EQ(readLocal(dir.filePath("c.txt")), "third");
  EXPECT_EQ(server.connections(), 2);
}
