// Transfers reached through the main window itself: keys, buttons, double-clicks and the sync
// buttons run real transfers against the test server, and the window shows their end.
#include "browse/RemotePane.h"
#include "ftp/FtpClient.h"
#include "support/FtpServerFixture.h"
#include "support/MainWindowRig.h"
#include "support/ServerProcess.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

using tidewick::app::frmMain;
using namespace tidewick::test;

// The real window, connected to `server`, showing `local` on the left.
struct WindowRig : MainWindowRig {
  explicit WindowRig(FtpServerFixture& server) {
    home.setSetting("DIR SYNC BY FILE SIZE", "0");
    open();
    window->CurrentLocalFolder = local.path() + QLatin1Char('/');
    window->RefreshLocalList();
    server.loginFor(window->ftp());
    window->Reconnect();
  }
  ~WindowRig() { window->QuickExit(); }
  QByteArray localFile(const QString& name) const { return TempHome::readFile(local.filePath(name)); }

  QTemporaryDir local;
};

TEST(WindowTransfers, KeysButtonsAndDoubleClicksMoveFiles) {
  FtpServerFixture server;
  server.writeFile("byKey.txt", "key");
  server.writeFile("byClick.txt", "click");
  server.writeFile("bySync.txt", "sync");
  ASSERT_TRUE(server.start());
  WindowRig rig(server);
  frmMain& window = *rig.window;
  ASSERT_TRUE(writeTextFile(rig.local.filePath("up.txt"), "up"));
  window.RefreshLocalList();
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

  window.lstRemoteFileList->selectRow(rowOf(window.lstRemoteFileList, "byKey.txt"));
  QTest::keySequence(&window, QKeySequence(Qt::CTRL | Qt::Key_D));
  EXPECT_EQ(rig.localFile("byKey.txt"), "key");
  EXPECT_EQ(window.statusPanel(1)->text(), "Download complete");
  EXPECT_NE(rowOf(window.lstLocalFileList, "byKey.txt"), -1) << "the local pane was listed again";

  const int clicked = rowOf(window.lstRemoteFileList, "byClick.txt");
  window.lstRemoteFileList->selectRow(clicked);
  emit window.lstRemoteFileList->rowDoubleClicked(clicked);
  EXPECT_EQ(rig.localFile("byClick.txt"), "click");

  window.lstLocalFileList->selectRow(rowOf(window.lstLocalFileList, "up.txt"));
  window.cmdSend->click();
  EXPECT_EQ(server.readFile("up.txt"), "up");
  EXPECT_EQ(window.statusPanel(1)->text(), "Upload complete");
  EXPECT_NE(rowOf(window.lstRemoteFileList, "up.txt"), -1);

  window.cmdDirSyncDown->click();
  EXPECT_EQ(rig.localFile("bySync.txt"), "sync");
  EXPECT_EQ(window.statusPanel(1)->text(), "Local Directory Sync Complete");
  EXPECT_FALSE(window.cmdAbort->isEnabled());
  EXPECT_TRUE(window.statusPanel(4)->text().isEmpty());
  EXPECT_TRUE(rig.prompts.messages().empty());
}

TEST(WindowTransfers, AbortIsReachableWhileAFileMovesAndEndsTheRun) {
  FtpServerFixture server({.throttle = 64 * 1024});
  server.writeFile("slow.bin", QByteArray(1024 * 1024, 's'));
  ASSERT_TRUE(server.start());
  WindowRig rig(server);
  frmMain& window = *rig.window;
  window.lstRemoteFileList->selectRow(rowOf(window.lstRemoteFileList, "slow.bin"));

  bool abortWasEnabled = false;
  QTimer::singleShot(600, [&] {
    abortWasEnabled = window.cmdAbort->isEnabled();
    window.cmdAbort->click();
  });
  window.ReceiveSelection();
  EXPECT_TRUE(abortWasEnabled);
  EXPECT_LT(rig.localFile("slow.bin").size(), 1024 * 1024);
  EXPECT_TRUE(window.logList()->lines().last().startsWith("Error: "));
  EXPECT_NE(window.statusPanel(1)->text(), "Download complete");
  EXPECT_FALSE(window.cmdAbort->isEnabled());
  EXPECT_EQ(window.ftp().CurrentState(), 2) << "the connection stays";
}

} // namespace
