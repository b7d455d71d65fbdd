// Folder transfers against real servers that each treat links, hidden files and dates their own
// way: pyftpdlib with MLSD (lists links as the folders and files they lead to, PWD as typed),
// pyftpdlib with LIST only (links as "l" lines with their targets), and vsftpd (LIST only, dot-files
// hidden from a bare LIST, PWD with the real path, no MFMT). Then what a download may write
// locally when the target holds symbolic links.

#include "ClientHarness.h"

#include "support/FtpServerFixture.h"
#include "support/TempHome.h"
#include "support/VsftpdFixture.h"

#include <QTemporaryDir>

#include <array>
#include <map>
#include <memory>

#include <unistd.h>

using namespace tidewick::test;
using tidewick::ftp::SkipReason;

namespace {

enum class Server { PyftpdlibMlsd, PyftpdlibList, Vsftpd };

std::string serverName(const ::testing::TestParamInfo<Server>& info) {
  return std::array{"pyftpdlib_mlsd", "pyftpdlib_list", "vsftpd"}[int(info.param)];
}

const QDateTime kKeptDate(QDate(2019, 3, 1), QTime(12, 34, 56), Qt::UTC);

bool makeLink(const QString& target, const QString& link) {
  return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

// A tree as found on hosting accounts: dot-files, a link to a folder and one to a file, and two
// links that lead back up (to the folder itself and, from a subfolder, to its parent).
void makeTree(const QString& base) {
  ASSERT_TRUE(writeLocal(base + "/file.txt", "file"));
  QFile dated(base + "/file.txt");
  ASSERT_TRUE(dated.open(QIODevice::ReadWrite) && dated.setFileTime(kKeptDate, QFileDevice::FileModificationTime));
  ASSERT_TRUE(writeLocal(base + "/.hidden", "hidden"));
  ASSERT_TRUE(writeLocal(base + "/.dotdir/inner.txt", "inner"));
  ASSERT_TRUE(writeLocal(base + "/real/a.txt", "a"));
  ASSERT_TRUE(makeLink("..", base + "/real/up"));
  ASSERT_TRUE(makeLink(".", base + "/self"));
  ASSERT_TRUE(makeLink("real", base + "/to-folder"));
  ASSERT_TRUE(makeLink("file.txt", base + "/to-file"));
}

// What a copy of that tree holds: the linked folder and file as real ones, no loop.
const std::map<QString, QByteArray> kCopied = {{".dotdir/inner.txt", "inner"},
                                               {".hidden", "hidden"},
                                               {"file.txt", "file"},
                                               {"real/a.txt", "a"},
                                               {"to-file", "file"},
                                               {"to-folder/a.txt", "a"}};

QDateTime modified(const QString& path) { return QFileInfo(path).lastModified().toUTC(); }

class FolderTrees : public ::testing::TestWithParam<Server> {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    if (GetParam() == Server::Vsftpd) {
      ASSERT_TRUE(vsftpd.start());
      serverRoot = vsftpd.root();
      client.setServerPort(vsftpd.port());
      client.setUserName(VsftpdFixture::userName());
      client.setPassword(VsftpdFixture::password());
    } else {
      pyftpdlib = std::make_unique<FtpServerFixture>(
          FtpServerOptions{.anonymous = false, .mlsd = GetParam() == Server::PyftpdlibMlsd});
      ASSERT_TRUE(pyftpdlib->start());
      serverRoot = pyftpdlib->root();
      ASSERT_TRUE(QDir(serverRoot).mkpath("incoming"));
      client.setServerPort(pyftpdlib->port());
      client.setUserName("demo");
      client.setPassword("demo");
    }
    client.setServerAddress("127.0.0.1");
    ASSERT_NO_THROW(client.Connect());
  }

  // The links reported as leading back, by the last part of their names; nothing else skipped.
  QStringList loopsReported() const {
    QStringList names;
    for (const Skipped& skip : harness.skipped) {
      EXPECT_EQ(skip.reason, int(SkipReason::LinkLoop)) << skip.remote.toStdString() << skip.local.toStdString();
      names << (skip.remote.isEmpty() ? skip.local : skip.remote).section(QLatin1Char('/'), -1);
    }
    names.sort();
    return names;
  }

  QTemporaryDir dir;
  std::unique_ptr<FtpServerFixture> pyftpdlib;
  VsftpdFixture vsftpd;
  QString serverRoot;
  FtpClient client;
  ClientHarness harness{client};
};

TEST_P(FolderTrees, DownloadFollowsLinksSkipsLoopsAndKeepsDates) {
  makeTree(serverRoot + "/tree");
  if (HasFatalFailure()) return;

  // The remote pane lists through the same call: dot-files included.
  client.ChangeCurrentFolder("/tree");
  QStringList listed;
  for (const auto& item : client.GetFolderContents()) listed << item.name;
  EXPECT_TRUE(listed.contains(".hidden") && listed.contains(".dotdir")) << listed.join(' ').toStdString();

  const QString got = dir.filePath("got");
  ASSERT_NO_THROW(client.ReceiveMatchingFiles("/tree/*", got, true));
  EXPECT_EQ(TempHome::filesBelow(got), kCopied);
  EXPECT_EQ(loopsReported(), (QStringList{"self", "up", "up"}));
  EXPECT_EQ(harness.log.filter(" is a link back into /tree; skipped").size(), 3)
      << harness.log.join('\n').toStdString();
  EXPECT_EQ(client.GetCurrentFolder(), "/tree");

  // The server's date, also for the file behind a link (the link's own date is not the file's).
  EXPECT_EQ(modified(got + "/file.txt"), kKeptDate);
  EXPECT_EQ(modified(got + "/to-file"), kKeptDate);
}

TEST_P(FolderTrees, UploadFollowsLinksSkipsLoopsAndKeepsDates) {
  const QString tree = dir.filePath("tree");
  makeTree(tree);
  if (HasFatalFailure()) return;

  ASSERT_NO_THROW(client.SendMatchingFiles(tree + "/*", "/incoming/sent", true, true));
  EXPECT_EQ(TempHome::filesBelow(serverRoot + "/incoming/sent"), kCopied);
  EXPECT_EQ(loopsReported(), (QStringList{"self", "up", "up"}));
  EXPECT_EQ(harness.log.filter(" is a link back into ").size(), 3);

  // Where the server can set a date (MFMT), the copy is as old as the original; where it cannot,
  // the upload says nothing about it.
  const QString mdtm = client.SendCommand("MDTM /incoming/sent/file.txt");
  if (GetParam() != Server::Vsftpd) {
    EXPECT_EQ(modified(serverRoot + "/incoming/sent/file.txt"), kKeptDate);
    EXPECT_EQ(mdtm, "213 20190301123456");
  } else {
    EXPECT_FALSE(harness.logContains("MFMT"));
    EXPECT_FALSE(harness.logContains("date"));
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, FolderTrees,
                         ::testing::Values(Server::PyftpdlibMlsd, Server::PyftpdlibList, Server::Vsftpd), serverName);

// A symbolic link in the download target, to a file or to a folder, or dangling, must never carry
// the download outside the target.
TEST(LocalTargets, DownloadsNeverWriteThroughSymbolicLinks) {
  FtpServerFixture server;
  ASSERT_TRUE(server.start());
  server.writeFile("pub/plain.txt", "plain");
  server.writeFile("pub/link.txt", "server copy");
  server.writeFile("pub/dangling.txt", "server copy");
  server.writeFile("pub/sub/inner.txt", "server copy");
  QTemporaryDir dir;
  const QString outside = dir.filePath("outside");
  const QString target = dir.filePath("target");
  ASSERT_TRUE(writeLocal(outside + "/secret.txt", "secret"));
  ASSERT_TRUE(QDir().mkpath(target));
  ASSERT_TRUE(makeLink(outside + "/secret.txt", target + "/link.txt"));
  ASSERT_TRUE(makeLink(outside + "/created.txt", target + "/dangling.txt"));
  ASSERT_TRUE(makeLink(outside, target + "/sub"));

  FtpClient client;
  ClientHarness harness(client);
  server.loginFor(client);
  ASSERT_NO_THROW(client.Connect());

  for (const QString name : {"link.txt", "dangling.txt"}) {
    const FtpFailure failure = harness.failureOf([&] { client.ReceiveFile("/pub/" + name, 0, target + '/' + name); });
    EXPECT_EQ(failure.kind(), FailureKind::LocalFileFailed);
    EXPECT_EQ(failure.description(), target + '/' + name + " is a symbolic link; not overwritten");
  }
  EXPECT_FALSE(harness.logContains("RETR")) << "refused before asking the server";

  ASSERT_NO_THROW(client.ReceiveMatchingFiles("/pub/*", target, true));
  EXPECT_EQ(readLocal(target + "/plain.txt"), QByteArray("plain"));
  EXPECT_EQ(TempHome::filesBelow(outside), (std::map<QString, QByteArray>{{"secret.txt", "secret"}}));
  std::map<QString, int> reasons;
  for (const Skipped& skip : harness.skipped) reasons[skip.remote] = skip.reason;
  EXPECT_EQ(reasons, (std::map<QString, int>{{"/pub/dangling.txt", int(SkipReason::LocalFileUnusable)},
                                             {"/pub/link.txt", int(SkipReason::LocalFileUnusable)},
                                             {"/pub/sub", int(SkipReason::FolderNotCreated)}}));
  EXPECT_TRUE(QFileInfo(target + "/sub").isSymLink());
  EXPECT_EQ(client.CurrentState(), Idle);
}

} // namespace
