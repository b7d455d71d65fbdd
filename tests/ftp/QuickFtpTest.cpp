// One-call transfers: connect, transfer, disconnect, with the paths the queue builds.

#include "ClientHarness.h"

#include "FakeFtpServer.h"
#include "ftp/QuickFtp.h"
#include "support/FtpServerFixture.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <functional>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

using namespace tidewick::test;
using tidewick::ftp::FailureKind;
using tidewick::ftp::QuickFtp;

// Folder rows as older queue files hold them, with backslashes between the parts.
TEST(QuickFtp, RemotePathsWithBackslashes) {
  FtpServerFixture server;
  ASSERT_TRUE(server.start());
  QTemporaryDir dir;
  server.writeFile(QStringLiteral("pub/tree/a.txt"), "a");
  server.writeFile(QStringLiteral("pub/tree/sub/b.txt"), "b");

  QuickFtp quick;
  const QString into = dir.filePath(QStringLiteral("tree"));
  quick.QuickReceiveFiles(QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("demo"), QStringLiteral("demo"),
                          QStringLiteral("/pub\\tree\\*"), true, into, false);
  EXPECT_EQ(readLocal(into + QStringLiteral("/a.txt")), QByteArray("a"));
  EXPECT_EQ(readLocal(into + QStringLiteral("/sub/b.txt")), QByteArray("b"));
  EXPECT_EQ(quick.BytesTransferred(), 2);
}

TEST(QuickFtp, WorksFromAThreadWithoutAnEventLoop) {
  FtpServerFixture server;
  ASSERT_TRUE(server.start());
  QTemporaryDir dir;
  server.writeFile(QStringLiteral("f.txt"), "from a plain thread");
  int lines = 0;
  QString failure;
  std::thread worker([&] {
    QuickFtp quick;
    QObject::connect(&quick, &QuickFtp::LogMessage, [&](const QString&) { ++lines; });
    try {
      quick.QuickReceiveFile(QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("demo"), QStringLiteral("demo"),
                             QStringLiteral("f.txt"), dir.filePath(QStringLiteral("f.txt")), false);
    } catch (const FtpFailure& f) {
      failure = f.description();
    }
  });
  worker.join();
  EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
  EXPECT_EQ(readLocal(dir.filePath(QStringLiteral("f.txt"))), QByteArray("from a plain thread"));
  EXPECT_GT(lines, 5); // events were delivered in that thread while the call waited
}

TEST(QuickFtp, AKeptConnectionServesOnlyTheNextCallsOfTheSameLogin) {
  FtpServerOptions options;
  options.users.push_back({QStringLiteral("other"), QStringLiteral("other")});
  FtpServerFixture server(options);
  ASSERT_TRUE(server.start());
  QTemporaryDir dir;
  server.writeFile(QStringLiteral("pub/a.txt"), "a");
  server.writeFile(QStringLiteral("pub/b.txt"), "bb");
  const QString host = QStringLiteral("127.0.0.1");
  const auto logins = [&] {
    return server.receivedCommands().filter(QRegularExpression(QStringLiteral("^USER "))).size();
  };
  const auto quits = [&] { return server.receivedCommands().filter(QStringLiteral("QUIT")).size(); };
  auto get = [&](QuickFtp& quick, const QString& user, const QString& name) {
    return quick.QuickReceiveFile(host, server.port(), user, user, QStringLiteral("/pub/") + name, dir.filePath(name),
                                  false);
  };

  QuickFtp quick;
  quick.setKeepConnection(true);
  EXPECT_EQ(get(quick, QStringLiteral("demo"), QStringLiteral("a.txt")), 1);
  EXPECT_EQ(quick.QuickSendFile(host, server.port(), QStringLiteral("demo"), QStringLiteral("demo"),
                                dir.filePath(QStringLiteral("a.txt")), QStringLiteral("/pub/up.txt"), true),
            1);
  EXPECT_EQ(get(quick, QStringLiteral("demo"), QStringLiteral("b.txt")), 2);
  EXPECT_EQ(logins(), 1);
  EXPECT_EQ(server.readFile(QStringLiteral("pub/up.txt")), "a");

  // Another user gets a connection of its own; the kept one is quit.
  EXPECT_EQ(get(quick, QStringLiteral("other"), QStringLiteral("a.txt")), 1);
  EXPECT_EQ(logins(), 2);
  EXPECT_EQ(quits(), 1);

  // A failure keeps its kind and reason, leaves no file behind, and closes the connection; the
  // next call logs in again.
  try {
    get(quick, QStringLiteral("other"), QStringLiteral("missing.txt"));
    ADD_FAILURE() << "no failure raised";
  } catch (const FtpFailure& failure) {
    EXPECT_EQ(failure.number(), failureNumber(FailureKind::CommandRefused));
    EXPECT_TRUE(failure.description().contains(QStringLiteral("550"))) << failure.description().toStdString();
  }
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("missing.txt"))));
  EXPECT_EQ(quits(), 2);
  EXPECT_EQ(get(quick, QStringLiteral("other"), QStringLiteral("b.txt")), 2);
  EXPECT_EQ(logins(), 3);
  quick.CloseConnection();
  EXPECT_EQ(quits(), 3);

  // Without keeping, every call logs in and out.
  QuickFtp once;
  get(once, QStringLiteral("demo"), QStringLiteral("a.txt"));
  EXPECT_EQ(logins(), 4);
  EXPECT_EQ(quits(), 4);
}

// The files a series asks for, one at a time, and what it reported done.
struct Series {
  std::vector<tidewick::ftp::FileTransfer> files;
  std::size_t asked = 0;
  std::vector<std::pair<QString, qint64>> done;
  std::function<std::optional<tidewick::ftp::FileTransfer>()> next() {
    return [this]() -> std::optional<tidewick::ftp::FileTransfer> {
      if (asked == files.size()) return std::nullopt;
      return files[asked++];
    };
  }
  std::function<void(const tidewick::ftp::FileTransfer&, qint64)> finished() {
    return [this](const tidewick::ftp::FileTransfer& file, qint64 bytes) {
      done.emplace_back(file.upload ? file.local : file.remote, bytes);
    };
  }
};

TEST(QuickFtp, ASeriesOfFilesGoesOnOneLoginAndStopsAtTheFirstFailure) {
  FtpServerFixture server;
  ASSERT_TRUE(server.start());
  QTemporaryDir dir;
  server.writeFile(QStringLiteral("pub/a.txt"), "a");
  server.writeFile(QStringLiteral("pub/c.txt"), "ccc");
  const QString up = dir.filePath(QStringLiteral("up.txt"));
  QFile upFile(up);
  ASSERT_TRUE(upFile.open(QIODevice::WriteOnly));
  upFile.write("upload");
  upFile.close();

  QuickFtp quick;
  quick.setKeepConnection(true);
  Series series;
  series.files = {{false, dir.filePath(QStringLiteral("a.txt")), QStringLiteral("/pub\\a.txt")},
                  {true, up, QStringLiteral("/pub/up.txt")},
                  {false, dir.filePath(QStringLiteral("missing.txt")), QStringLiteral("/pub/missing.txt")},
                  {false, dir.filePath(QStringLiteral("c.txt")), QStringLiteral("/pub/c.txt")}};
  try {
    quick.QuickTransferFiles(QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("demo"), QStringLiteral("demo"),
                             false, series.next(), series.finished());
    ADD_FAILURE() << "no failure raised";
  } catch (const FtpFailure& failure) {
    EXPECT_TRUE(failure.description().contains(QStringLiteral("550"))) << failure.description().toStdString();
  }
  // The files before the failure were done and reported, each with its own bytes; none after it
  // was asked for.
  EXPECT_EQ(series.done, (std::vector<std::pair<QString, qint64>>{{"/pub/a.txt", 1}, {up, 6}}));
  EXPECT_EQ(series.asked, 3u);
  EXPECT_EQ(readLocal(dir.filePath(QStringLiteral("a.txt"))), QByteArray("a"));
  EXPECT_EQ(server.readFile(QStringLiteral("pub/up.txt")), "upload");
  EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("c.txt"))));
  EXPECT_EQ(server.receivedCommands().filter(QRegularExpression(QStringLiteral("^USER "))).size(), 1);
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
  const QString host = QStringLiteral("127.0.0.1");
  quick.QuickReceiveFile(host, server.port(), QStringLiteral("u"), QStringLiteral("p"), QStringLiteral("/a.txt"),
                         dir.filePath(QStringLiteral("a.txt")), false);
  // A series begun on it loses none of its files: the one it was given is tried again.
  Series series;
  series.files = {{false, dir.filePath(QStringLiteral("b.txt")), QStringLiteral("/b.txt")},
                  {false, dir.filePath(QStringLiteral("c.txt")), QStringLiteral("/c.txt")}};
  EXPECT_EQ(quick.QuickTransferFiles(host, server.port(), QStringLiteral("u"), QStringLiteral("p"), false,
                                     series.next(), series.finished()),
            11);
  EXPECT_EQ(series.done, (std::vector<std::pair<QString, qint64>>{{"/b.txt", 6}, {"/c.txt", 5}}));
  EXPECT_EQ(readLocal(dir.filePath(QStringLiteral("b.txt"))), QByteArray("second"));
  EXPECT_EQ(readLocal(dir.filePath(QStringLiteral("c.txt"))), QByteArray("third"));
  EXPECT_EQ(server.connections(), 2);
}
