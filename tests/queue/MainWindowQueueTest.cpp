// The queue window reached through the main window: "Transfer To Queue" fills it without showing
// it, Tools › "Show Queue" shows it modally, Close keeps its rows and the close box unloads it.
#include "ftp/FtpClient.h"
#include "queue/QueueModel.h"
#include "queue/frmQue.h"
#include "support/FtpServerFixture.h"
#include "support/MainWindowRig.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

using tidewick::app::frmMain;
using tidewick::queue::frmQue;
using namespace tidewick::test;

TEST(MainWindowQueue, TransferToQueueFillsTheWindowWhichCloseHidesAndTheCloseBoxUnloads) {
  FtpServerFixture server;
  server.writeFile("a.txt", "aaa");
  server.writeFile("b.txt", "bbbbb");
  ASSERT_TRUE(server.start());

  MainWindowRig rig;
  frmMain& window = rig.open();
  ScriptedPrompts& prompts = rig.prompts;
  TempHome& home = rig.home;
  QAction* localEntry = window.menuEntry("mnuLocalTransferToQue");
  EXPECT_FALSE(localEntry->isEnabled()) << "nothing to queue without a connection";
  server.loginFor(window.ftp());
  window.Reconnect();
  EXPECT_TRUE(localEntry->isEnabled());

  selectRows(window.lstRemoteFileList, {"a.txt", "b.txt"});
  window.menuEntry("mnuRemoteTransferToQue")->trigger();
  ASSERT_NE(window.queueWindowIfLoaded(), nullptr);
  EXPECT_TRUE(prompts.asked.empty()) << "adding does not show the window";
  EXPECT_EQ(window.statusPanel(1)->text(), "Queue Transfer complete");

  // Shown, it holds the rows; Close hides it and keeps them.
  int shownRows = -1;
  prompts.modalAnswers.push_back([&](QDialog* dialog) {
    auto* queue = qobject_cast<frmQue*>(dialog);
    EXPECT_NE(queue, nullptr);
    if (!queue) return 0;
    shownRows = queue->model()->rowCount();
    EXPECT_EQ(queue->TxtTotalBytesQueued->text(), "8");
    queue->cmsCancel->click();
    return 0;
  });
  window.menuEntry("mnuToolsShowQue")->trigger();
  EXPECT_EQ(shownRows, 2);
  ASSERT_NE(window.queueWindowIfLoaded(), nullptr);
  EXPECT_EQ(window.queueWindowIfLoaded()->model()->rowCount(), 2);
  EXPECT_FALSE(home.setting("QUE TOP")) << "hiding saves no placement";

  // Its close box unloads it: placement saved, rows gone; the next showing starts empty.
  prompts.modalAnswers.push_back([](QDialog* dialog) {
    dialog->close();
    return 0;
  });
  window.ShowQueue();
  EXPECT_EQ(window.queueWindowIfLoaded(), nullptr);
  for (const char* key : {"QUE TOP", "QUE LEFT", "QUE HEIGHT", "QUE WIDTH"})
    EXPECT_TRUE(home.setting(QString::fromLatin1(key))) << key;
  window.ShowQueue();
  ASSERT_NE(window.queueWindowIfLoaded(), nullptr);
  EXPECT_EQ(window.queueWindowIfLoaded()->model()->rowCount(), 0);
  window.QuickExit();
}

} // namespace
