// Folder synchronisation in both directions against the real server: which files move by date
// and by size, what never moves, and that a synchronisation that stops says so.
#include "TransferHarness.h"

#include <QRegularExpression>

namespace {

const QDateTime kThen = QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0), Qt::UTC);

class Sync : public TransferHarness {
protected:
  // A file on both sides with the given contents and dates.
  void pair(const QString& name, const QByteArray& local, const QDateTime& localTime, const QByteArray& remote,
            const QDateTime& remoteTime) {
    writeLocal(name, local);
    setLocalTime(name, localTime);
    server->writeFile(name, remote);
    setRemoteTime(name, remoteTime);
  }
  QStringList sent() const { return wire.filter(QRegularExpression("^STOR ")); }
  QStringList received() const { return wire.filter(QRegularExpression("^RETR ")); }
};

TEST_F(Sync, ByDateOnlyNewerFilesMoveAndNothingElseIsTouched) {
  for (bool up : {true, false}) {
    SCOPED_TRACE(up ? "local to remote" : "remote to local");
    // Each direction in a fresh pair of folders; "newer" means newer on the sending side.
    const QString dir = up ? "up/" : "down/";
    const QString base = localDir.path() + QLatin1Char('/');
    localFolder = base;
    const QDateTime sender = kThen, receiver = kThen;
    const auto both = [&](const QString& name, const QDateTime& sendTime) {
      pair(dir + name, "L", up ? sendTime : receiver, "R", up ? receiver : sendTime);
    };
    both("newer", sender.addSecs(1));
    both("equal", sender);
    both("older", sender.addSecs(-1));
    writeLocal(dir + "localonly", "L");
    writeLocal(dir + "localdir/inner", "L");
    server->writeFile(dir + "remoteonly", "R");
    server->writeFile(dir + "remotedir/inner", "R");
    const auto here = [&](const QString& name) { return TempHome::readFile(base + dir + name); };
    localFolder = base + dir;
    remoteFolder = QLatin1Char('/') + dir;
    wire.clear();
    if (up) controller->SyncLocalToRemote();
    else controller->SyncRemoteToLocal();

    QStringList moved = up ? sent() : received();
    moved.sort();
    const QString verb = up ? "STOR " : "RETR ";
    QStringList expected{verb + (up ? "localonly" : "remoteonly"), verb + "newer"};
    expected.sort();
    EXPECT_EQ(moved, expected);
    EXPECT_EQ((up ? server->readFile(dir + "newer") : here("newer")), (up ? "L" : "R"));
    EXPECT_EQ((up ? server->readFile(dir + "older") : here("older")), (up ? "R" : "L"));
    EXPECT_FALSE(QFileInfo::exists(up ? base + dir + "remoteonly" : server->path(dir + "localonly")));
    EXPECT_FALSE(QFileInfo::exists(up ? server->path(dir + "localdir") : base + dir + "remotedir"));
    EXPECT_EQ(actions.last(), up ? "Remote Directory Sync Complete" : "Local Directory Sync Complete");
  }
  EXPECT_EQ(remoteRefreshes, 2);
  EXPECT_EQ(localRefreshes, 2);
}

TEST_F(Sync, FilesWithKeptDatesDoNotTravelBack) {
  server->writeFile("one.txt", "1");
  server->writeFile("two.bin", randomBytes(70000));
  setRemoteTime("one.txt", kThen);
  controller->SyncRemoteToLocal();
  EXPECT_EQ(received().size(), 2);
  controller->SyncLocalToRemote();
  controller->SyncRemoteToLocal();
  EXPECT_EQ(sent(), QStringList());
  EXPECT_EQ(received().size(), 2);
  EXPECT_EQ(actions.last(), "Local Directory Sync Complete");
}

TEST_F(Sync, BySizeAnyDifferenceMovesAndTheSwitchIsReadEachTime) {
  pair("bigger", "LLL", kThen, "RR", kThen.addSecs(60));
  pair("smaller", "L", kThen, "RR", kThen.addSecs(60));
  pair("samesize", "LL", kThen.addSecs(60), "RR", kThen);
  home.setSetting("DIR SYNC BY FILE SIZE", "1");
  controller->SyncLocalToRemote();
  QStringList up = sent();
  up.sort();
  EXPECT_EQ(up, (QStringList{"STOR bigger", "STOR smaller"}));

  // A missing switch counts as on: the options dialog shows it checked.
  wire.clear();
  pair("bigger", "LLL", kThen, "R", kThen);
  home.setSetting("DIR SYNC BY FILE SIZE", QString());
  controller->SyncRemoteToLocal();
  EXPECT_EQ(received(), (QStringList{"RETR bigger"}));

  // Switched off between two synchronisations: dates decide again.
  wire.clear();
  pair("bigger", "R", kThen, "R", kThen);
  home.setSetting("DIR SYNC BY FILE SIZE", "0");
  controller->SyncLocalToRemote();
  EXPECT_EQ(sent(), (QStringList{"STOR samesize"}));
}

TEST_F(Sync, NamesAreComparedExactly) {
  writeLocal("Readme.TXT", "local");
  server->writeFile("readme.txt", "remote");
  // A local file named like a remote folder is not missing there, and is older than it.
  writeLocal("docs", "a file");
  setLocalTime("docs", kThen);
  server->writeFile("docs/inside", "x");
  controller->SyncLocalToRemote();
  EXPECT_EQ(sent(), (QStringList{"STOR Readme.TXT"}));
  controller->SyncRemoteToLocal();
  EXPECT_EQ(received(), (QStringList{"RETR readme.txt"}));
  EXPECT_EQ(readLocal("readme.txt"), "remote");
  EXPECT_EQ(readLocal("Readme.TXT"), "local");
}

TEST_F(Sync, ASynchronisationThatStopsSaysSo) {
  // Newer than the remote folder of its name: the upload is refused and the sync stops there.
  writeLocal("docs", "a file");
  server->writeFile("docs/inside", "x");
  setRemoteTime("docs", kThen);
  controller->SyncLocalToRemote();
  EXPECT_EQ(errors(), 1) << log.join('\n').toStdString();
  EXPECT_TRUE(actions.last().startsWith("Remote Directory Sync stopped: ")) << actions.last().toStdString();
  EXPECT_FALSE(actions.contains("Remote Directory Sync Complete"));
  EXPECT_EQ(abortEnabled.last(), false);
  EXPECT_EQ(localRefreshes, 1);

  // An unreadable local folder is named as such.
  log.clear();
  localFolder = localDir.path() + "/missing/";
  controller->SyncRemoteToLocal();
  EXPECT_EQ(log, QStringList{"Cannot read the contents of " + localFolder});
  EXPECT_EQ(actions.last(), "Local Directory Sync stopped: Cannot read the contents of " + localFolder);

  // Not connected: the real reason, in both directions.
  log.clear();
  ftp.Disconnect();
  controller->SyncLocalToRemote();
  controller->SyncRemoteToLocal();
  ASSERT_EQ(log.size(), 2);
  EXPECT_TRUE(log[0].startsWith("Error: ")) << log[0].toStdString();
  EXPECT_EQ(log[0], log[1]);
  EXPECT_EQ(actions.filter("Complete").size(), 0);
}

// A server that lists with LIST only: dates to the minute, links shown as links.
class ListSync : public Sync {
protected:
  FtpServerOptions serverOptions() const override { return {.mlsd = false}; }
};

TEST_F(ListSync, MinutesDecideAndLinksStay) {
  // Recent enough that LIST shows the time of day.
  const QDateTime minute = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() / 60 * 60 - 3600, Qt::UTC);
  pair("sameminute", "L", minute.addSecs(40), "R", minute.addSecs(10));
  pair("nextminute", "L", minute.addSecs(70), "R", minute.addSecs(10));
  server->writeFile("target", "t");
  writeLocal("target", "t");
  QFile::link(server->path("target"), server->path("link"));
  controller->SyncLocalToRemote();
  EXPECT_EQ(sent(), (QStringList{"STOR nextminute"}));
  home.setSetting("DIR SYNC BY FILE SIZE", "1");
  controller->SyncRemoteToLocal();
  EXPECT_EQ(received(), QStringList()) << "a link is never downloaded";
}

} // namespace
