// The message log: lines arriving and being selected, the action panel, saving a line, clearing,
// and the log window's snapshot.
#include "RecordingMain.h"

#include "ftp/FtpClient.h"
#include "log/LogList.h"
#include "log/frmLogWindow.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using tidewick::log::frmLogWindow;
using tidewick::log::LogList;
using tidewick::ui::UserPrompts;

namespace {

QString logFolder(const LoadedMain& m) { return m.home.home() + "Log/"; }

TEST(MessageLog, EveryLineIsKeptTheNewestIsSelectedOnScreenAndTheUserPicksOthers) {
  LoadedMain m;
  m->show();
  LogList* log = m->logList();
  for (int i = 0; i < 100000; ++i) m->DisplayMessage(QString::number(i));
  QCoreApplication::processEvents(); // the list scrolls when the window next turns
  EXPECT_EQ(log->count(), 100000);
  EXPECT_EQ(log->line(0), "0");
  EXPECT_EQ(log->line(54321), "54321");
  EXPECT_EQ(log->currentRow(), 99999);
  EXPECT_EQ(log->currentText(), "99999");
  EXPECT_GE(log->firstVisibleRow() + log->rowsPerPage(), 100000) << "the newest line is on screen";

  const int first = log->firstVisibleRow();
  QTest::mouseClick(log->viewport(), Qt::LeftButton, {},
                    QPoint(10, log->viewport()->height() / log->rowsPerPage() / 2));
  EXPECT_EQ(log->currentRow(), first);
  QTest::keyClick(log, Qt::Key_Up);
  EXPECT_EQ(log->currentRow(), first - 1);
  log->setCurrentRow(3);
  QCoreApplication::processEvents();
  EXPECT_EQ(log->firstVisibleRow(), 3);
  QTest::keyClick(log, Qt::Key_Home);
  EXPECT_EQ(log->currentRow(), 0);
  QTest::keyClick(log, Qt::Key_Down);
  QTest::keySequence(log, QKeySequence::Copy);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "1");

  // A line the user picked gives way to the next message.
  m->DisplayMessage("newest");
  QCoreApplication::processEvents();
  EXPECT_EQ(log->currentText(), "newest");
  EXPECT_GE(log->firstVisibleRow() + log->rowsPerPage(), log->count());
  QTest::keyClick(log, Qt::Key_Home);
  QTest::keyClick(log, Qt::Key_End);
  EXPECT_EQ(log->currentText(), "newest");

  // A line wider than the list can be scrolled to once it has been on screen.
  EXPECT_EQ(log->horizontalScrollBar()->maximum(), 0);
  m->DisplayMessage(QString(400, 'w'));
  QCoreApplication::processEvents(); // scroll to it
  log->viewport()->repaint();
  QCoreApplication::processEvents(); // take its width
  EXPECT_GT(log->horizontalScrollBar()->maximum(), 0);
}

TEST(MessageLog, TheComponentsLinesAndTheActionPanel) {
  LoadedMain m;
  Q_EMIT m->ftp().LogMessage("220 Welcome");
  EXPECT_EQ(m->logList()->currentText(), "220 Welcome");
  EXPECT_EQ(m->ftp().LogFile(), m->logFilePath()) << "the component writes the log file the start chose";

  m->UpdateAction("Connecting to example.org. Please wait...");
  EXPECT_EQ(m->statusPanel(1)->text(), "Connecting to example.org. Please wait...");
  m->UpdateAction(QString());
  EXPECT_TRUE(m->statusPanel(1)->text().isEmpty());
  EXPECT_TRUE(m->statusPanel(2) && m->statusPanel(3));

  // A failure takes the action panel and stays there when its command clears the panel; the next
  // action replaces it. The server's own words are never taken for one.
  const QString failure = "Error: RMD pub failed: 550 Directory not empty.";
  m->UpdateAction("Obtaining directory listing...");
  m->DisplayMessage(failure);
  m->UpdateAction(QString());
  EXPECT_EQ(m->statusPanel(1)->text(), failure);
  Q_EMIT m->ftp().LogMessage("Error: said the server");
  EXPECT_EQ(m->statusPanel(1)->text(), failure);
  m->UpdateAction("Connecting to example.org. Please wait...");
  m->UpdateAction(QString());
  EXPECT_TRUE(m->statusPanel(1)->text().isEmpty());
}

TEST(SaveLog, WritesExactlyTheSelectedLineWithoutALineBreak) {
  LoadedMain m;
  for (const char* line : {"first", "second", "230 Login successful, café"}) m->DisplayMessage(line);
  m.prompts.textAnswers = {"session"};
  m->menuEntry("mnuToolsSaveLog")->trigger();

  const QString path = logFolder(m) + "session.log";
  EXPECT_EQ(TempHome::readFile(path), "230 Login successful, café");
  EXPECT_EQ(m.prompts.messages(), std::vector<QString>{"Tidewick|File saved as: \n" + path});
  EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther), 0)
      << "saved logs are the owner's only";

  // The user's own choice of line is what is saved, replacing the longer file of the same name whole.
  m->logList()->setCurrentRow(0);
  m.prompts.textAnswers = {"session"};
  m->SaveLog();
  EXPECT_EQ(TempHome::readFile(path), "first");
}

TEST(SaveLog, NothingSelectedNoNameABadNameOrAnUnwritableFolderSaveNothingAndSaySo) {
  LoadedMain m;
  m->DisplayMessage("one");
  m->menuEntry("mnuToolsClearLog")->trigger();
  EXPECT_EQ(m->logList()->count(), 0);
  m->SaveLog();
  ASSERT_EQ(m.prompts.asked.size(), 1u) << "no name is asked for";
  EXPECT_EQ(m.prompts.messages().back(), "Tidewick|Nothing to be saved!");
  EXPECT_EQ(m.prompts.asked.back().icon, UserPrompts::Icon::Warning);

  m->DisplayMessage("two");
  m.prompts.clear();
  m.prompts.textAnswers = {QString()}; // cancelled
  m->SaveLog();
  EXPECT_EQ(m.prompts.messages().back(), "Tidewick|No name entered, quiting");

  for (const QString& name : QStringList{"../escape", "sub/name", QString::fromUtf8("nul\0x", 5), QString(300, 'n')}) {
    m.prompts.clear();
    m.prompts.textAnswers = {name};
    m->SaveLog();
    ASSERT_EQ(m.prompts.messages().size(), 1u);
    EXPECT_TRUE(m.prompts.messages()[0].contains("cannot be a file name")) << name.left(20).toStdString();
    EXPECT_EQ(m.prompts.asked.back().icon, UserPrompts::Icon::Warning);
  }
  EXPECT_EQ(QDir(logFolder(m)).entryList(QDir::Files), QStringList());
  EXPECT_FALSE(QFile::exists(m.home.home() + "escape.log"));

  // "Log" is a file here, so nothing can be created in it (whoever runs the test).
  QDir(logFolder(m)).removeRecursively();
  m.home.writeFile("home/Log", "in the way");
  m.prompts.textAnswers = {"session"};
  m->SaveLog();
  EXPECT_TRUE(m.prompts.messages().back().startsWith("Tidewick|The log could not be saved as:\n"));
  EXPECT_EQ(TempHome::readFile(m.home.home() + "Log"), "in the way");
}

TEST(LogWindow, ShowsTheHeadingsAndASnapshotEachTimeItOpensAndSavesALineOfItsCopy) {
  LoadedMain m;
  const QStringList expected = {"WinSock 2.0", frmLogWindow::BannerLine(), "220 ready", "USER anonymous"};
  EXPECT_TRUE(frmLogWindow::BannerLine().contains("Tidewick 3.1.0"));

  for (int opening = 0; opening < 2; ++opening) {
    m->ClearLog();
    m->DisplayMessage("220 ready");
    m->DisplayMessage("USER anonymous");
    m->logList()->setCurrentRow(0);
    QStringList shown;
    int mainRowAtOpen = -1, linesAfterMore = -1;
    m.prompts.modalAnswers.push_back([&](QDialog* dialog) {
      auto* window = qobject_cast<frmLogWindow*>(dialog);
      shown = QStringList(window->lstLog->lines().begin(), window->lstLog->lines().end());
      mainRowAtOpen = m->logList()->currentRow();
      m->DisplayMessage("arrives while open");
      linesAfterMore = window->lstLog->count();
      if (opening == 1) {
        window->mnuSave->trigger(); // nothing selected in the copy yet
        window->lstLog->setCurrentRow(2);
        m.prompts.textAnswers = {"fromwindow"};
        window->mnuSave->trigger();
      }
      window->mnuClose->trigger();
      return window->result();
    });
    m->menuEntry("mnuToolsShowLog")->trigger();
    EXPECT_EQ(shown, expected) << "opening " << opening;
    EXPECT_EQ(mainRowAtOpen, 1) << "the main log's last line is selected again";
    EXPECT_EQ(linesAfterMore, expected.size()) << "a snapshot";
  }
  EXPECT_TRUE(m.home.setting("LOG WINDOW WIDTH")) << "closing keeps the window's placement";
  ASSERT_GE(m.prompts.messages().size(), 2u);
  EXPECT_EQ(m.prompts.messages().front(), "Tidewick|Nothing to be saved!");
  EXPECT_EQ(TempHome::readFile(logFolder(m) + "fromwindow.log"), "220 ready");
}

} // namespace
