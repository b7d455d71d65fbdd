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

#include <map>
#include <memory>

#include <unistd.h>

using namespace tidewick::test;
using tidewick::ftp::FailureKind;
using tidewick::ftp::SkipReason;

namespace {

enum class Server { PyftpdlibMlsd, PyftpdlibList, Vsftpd };

std::string serverName(const ::testing::TestParamInfo<Server>& info) {
  switch (info.param) {
    case Server::PyftpdlibMlsd: return "pyftpdlib_mlsd";
    case Server::PyftpdlibList: return "pyftpdlib_list";
    case Server::Vsftpd: return "vsftpd";
  }
  return "unknown";
}

const QDateTime kKeptDate(QDate(2019, 3, 1), QTime(12, 34, 56), Qt::UTC);

bool makeLink(const QString& target, const QString& link) {
  return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

// A tree as found on hosting accounts: dot-files, a link to a folder and one to a file, and two
// links that lead back up (to the folder itself and, from a subfolder, to its parent).
void makeTree(const QString& base) {
  ASSERT_TRUE(writeLocal(base + QStringLiteral("/file.txt"), "file"));
  QFile dated(base + QStringLiteral("/file.txt"));
  ASSERT_TRUE(dated.open(QIODevice::ReadWrite));
  ASSERT_TRUE(dated.setFileTime(kKeptDate, QFileDevice::FileModificationTime));
  dated.close();
  ASSERT_TRUE(writeLocal(base + QStringLiteral("/.hidden"), "hidden"));
  ASSERT_TRUE(writeLocal(base + QStringLiteral("/.dotdir/inner.txt"), "inner"));
  ASSERT_TRUE(writeLocal(base + QStringLiteral("/real/a.txt"), "a"));
  ASSERT_TRUE(makeLink(QStringLiteral(".."), base + QStringLiteral("/real/up")));
  ASSERT_TRUE(makeLink(QStringLiteral("."), base + QStringLiteral("/self")));
  ASSERT_TRUE(makeLink(QStringLiteral("real"), base + QStringLiteral("/to-folder")));
  ASSERT_TRUE(makeLink(QStringLiteral("file.txt"), base + QStringLiteral("/to-file")));
}

// What a copy of that tree holds: the linked folder and file as real ones, no loop.
const std::map<QString, QByteArray> kCopied = {
    {".dotdir/inner.txt", "inner"},
    {".hidden", "hidden"},
    {"file.txt", "file"},
    {"real/a.txt", "a"},
    {"to-file", "file"},
    {"to-folder/a.txt", "a"},
};

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
      pyftpdlib = std::make_unique<FtpServerFixture>(FtpServerOptions{
          .users = {{"demo", "demo"}}, .anonymous = false, .mlsd = GetParam() == Server::PyftpdlibMlsd});
      ASSERT_TRUE(pyftpdlib->start());
      serverRoot = pyftpdlib->root();
      ASSERT_TRUE(QDir(serverRoot).mkpath(QStringLiteral("incoming")));
      client.setServerPort(pyftpdlib->port());
      client.setUserName(QStringLiteral("demo"));
      client.setPassword(QStringLiteral("demo"));
    }
    client.setServerAddress(QStringLiteral("127.0.0.1"));
    ASSERT_NO_THROW(client.Connect());
  }

  bool canSetDates() const { return GetParam() != Server::Vsftpd; }

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
  makeTree(serverRoot + QStringLiteral("/tree"));
  if (HasFatalFailure()) return;

  // The remote pane lists through the same call: dot-files included.
  client.ChangeCurrentFolder(QStringLiteral("/tree"));
  QStringList listed;
  for (const auto& item : client.GetFolderContents()) listed << item.name;
  EXPECT_TRUE(listed.contains(QStringLiteral(".hidden")) && listed.contains(QStringLiteral(".dotdir")))
      << listed.join(' ').toStdString();

  const QString got = dir.filePath(QStringLiteral("got"));
  ASSERT_NO_THROW(client.ReceiveMatchingFiles(QStringLiteral("/tree/*"), got, true));
  EXPECT_EQ(TempHome::filesBelow(got), kCopied);
  EXPECT_EQ(loopsReported(), (QStringList{"self", "up", "up"}));
  EXPECT_EQ(harness.log.filter(QStringLiteral(" is a link back into /tree; skipped")).size(), 3)
      << harness.log.join('\n').toStdString();
  EXPECT_EQ(client.GetCurrentFolder(), QStringLiteral("/tree"));

  // The server's date, also for the file behind a link (the link's own date is not the file's).
  EXPECT_EQ(modified(got + QStringLiteral("/file.txt")), kKeptDate);
  EXPECT_EQ(modified(got + QStringLiteral("/to-file")), kKeptDate);
}

TEST_P(FolderTrees, UploadFollowsLinksSkipsLoopsAndKeepsDates) {
  const QString tree = dir.filePath(QStringLiteral("tree"));
  makeTree(tree);
  if (HasFatalFailure()) return;

  ASSERT_NO_THROW(client.SendMatchingFiles(tree + QStringLiteral("/*"), QStringLiteral("/incoming/sent"), true, true));
  EXPECT_EQ(TempHome::filesBelow(serverRoot + QStringLiteral("/incoming/sent")), kCopied);
  EXPECT_EQ(loopsReported(), (QStringList{"self", "up", "up"}));
  EXPECT_EQ(harness.log.filter(QStringLiteral(" is a link back into ")).size(), 3);

  // Where the server can set a date (MFMT), the copy is as old as the original; where it cannot,
  // the upload says nothing about it.
  const QString mdtm = client.SendCommand(QStringLiteral("MDTM /incoming/sent/file.txt"));
  if (canSetDates()) {
    EXPECT_EQ(modified(serverRoot + QStringLiteral("/incoming/sent/file.txt")), kKeptDate);
    EXPECT_EQ(mdtm, QStringLiteral("213 20190301123456"));
  } else {
    EXPECT_FALSE(harness.logContains(QStringLiteral("MFMT")));
    EXPECT_FALSE(harness.logContains(QStringLiteral("date")));
  }
}

INSTANTIATE_TEST_SUITE_P(Servers, FolderTrees,
                         ::testing::Values(Server::PyftpdlibMlsd, Server::PyftpdlibList, Server::Vsftpd), serverName);

// A symbolic link in the download target, to a file or to a folder, or dangling, must never carry
// the download outside the target.
TEST(LocalTargets, DownloadsNeverWriteThroughSymbolicLinks) {
  FtpServerFixture server;
  ASSERT_TRUE(server.start());
  server.writeFile(QStringLiteral("pub/plain.txt"), "plain");
  server.writeFile(QStringLiteral("pub/link.txt"), "server copy");
  server.writeFile(QStringLiteral("pub/dangling.txt"), "server copy");
  server.writeFile(QStringLiteral("pub/sub/inner.txt"), "server copy");
  QTemporaryDir dir;
  const QString outside = dir.filePath(QStringLiteral("outside"));
  const QString target = dir.filePath(QStringLiteral("target"));
  ASSERT_TRUE(writeLocal(outside + QStringLiteral("/secret.txt"), "secret"));
  ASSERT_TRUE(QDir().mkpath(target));
  ASSERT_TRUE(makeLink(outside + QStringLiteral("/secret.txt"), target + QStringLiteral("/link.txt")));
  ASSERT_TRUE(makeLink(outside + QStringLiteral("/created.txt"), target + QStringLiteral("/dangling.txt")));
  ASSERT_TRUE(makeLink(outside, target + QStringLiteral("/sub")));

  FtpClient client;
  ClientHarness harness(client);
  server.loginFor(client);
  ASSERT_NO_THROW(client.Connect());

  for (const QString& name : {QStringLiteral("link.txt"), QStringLiteral("dangling.txt")}) {
    const FtpFailure failure =
        harness.failureOf([&] { client.ReceiveFile(QStringLiteral("/pub/") + name, 0, target + '/' + name); });
    EXPECT_EQ(failure.number(), failureNumber(FailureKind::LocalFileFailed)) << name.toStdString();
    EXPECT_EQ(failure.description(), target + '/' + name + QStringLiteral(" is a symbolic link; not overwritten"));
  }
  EXPECT_FALSE(harness.logContains(QStringLiteral("RETR"))) << "refused before asking the server";

  ASSERT_NO_THROW(client.ReceiveMatchingFiles(QStringLiteral("/pub/*"), target, true));
  EXPECT_EQ(readLocal(target + QStringLiteral("/plain.txt")), QByteArray("plain"));
  EXPECT_EQ(TempHome::filesBelow(outside), (std::map<QString, QByteArray>{{"secret.txt", "secret"}}));
  std::map<QString, int> reasons;
  for (const Skipped& skip : harness.skipped) reasons[skip.remote] = skip.reason;
  EXPECT_EQ(reasons, (std::map<QString, int>{{"/pub/dangling.txt", int(SkipReason::LocalFileUnusable)},
                                             {"/pub/link.txt", int(SkipReason::LocalFileUnusable)},
                                             {"/pub/sub", int(SkipReason::FolderNotCreated)}}));
  EXPECT_TRUE(QFileInfo(target + QStringLiteral("/sub")).isSymLink());
  EXPECT_EQ(client.CurrentState(), 2);
}

} // namespace
