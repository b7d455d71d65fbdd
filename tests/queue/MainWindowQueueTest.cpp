// The queue window reached through the main window: "Transfer To Queue" fills it without showing
// it, Tools › "Show Queue" shows it modally, Close keeps its rows and the close box unloads it.
#include "app/frmMain.h"
#include "browse/FileListModel.h"
#include "browse/FilePaneView.h"
#include "ftp/FtpClient.h"
#include "queue/QueueModel.h"
#include "queue/frmQue.h"
#include "support/FtpServerFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/TempHome.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

using tidewick::app::frmMain;
using tidewick::queue::frmQue;
using tidewick::test::FtpServerFixture;

int rowOf(const tidewick::browse::FilePaneView* list, const QString& name) {
  for (int r = 0; r < list->model()->rowCount(); ++r)
    if (list->model()->row(r).name == name) return r;
  return -1;
}

TEST(MainWindowQueue, TransferToQueueFillsTheWindowWhichCloseHidesAndTheCloseBoxUnloads) {
  TempHome home;
  home.setSetting("SHOW CONNECTION ON STARTUP", "0");
  home.setSetting("ADD TO STARTUP", "0");
  FtpServerFixture server;
  server.writeFile("a.txt", "aaa");
  server.writeFile("b.txt", "bbbbb");
  ASSERT_TRUE(server.start());

  ScriptedPrompts prompts;
  frmMain window(prompts, {"tidewick"});
  window.setEndProgram([] {});
  window.Load();
  QAction* localEntry = window.menuEntry("mnuLocalTransferToQue");
  EXPECT_FALSE(localEntry->isEnabled()) << "nothing to queue without a connection";
  server.loginFor(window.ftp());
  window.Reconnect();
  EXPECT_TRUE(localEntry->isEnabled());

  window.lstRemoteFileList->selectRow(rowOf(window.lstRemoteFileList, "a.txt"));
  window.lstRemoteFileList->selectRow(rowOf(window.lstRemoteFileList, "b.txt"), true);
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
