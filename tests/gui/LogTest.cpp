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

using tidewick::ui::UserPrompts;

using tidewick::log::frmLogWindow;

namespace {

using tidewick::log::LogList;

QString logFolder(const LoadedMain& m) { return m.home.home() + QStringLiteral("Log/"); }

QStringList linesOf(const LogList& list) { return QStringList(list.lines().begin(), list.lines().end()); }

TEST(MessageLog, NewLinesAreSelectedAndScrolledTo) {
  LoadedMain m;
  m->show();
  LogList* log = m->logList();
  for (int i = 0; i < 300; ++i) m->DisplayMessage(QStringLiteral("line %1").arg(i));
  QCoreApplication::processEvents(); // the list scrolls when the window next turns
  EXPECT_EQ(log->count(), 300);
  EXPECT_EQ(log->currentRow(), 299);
  EXPECT_EQ(log->currentText(), "line 299");
  EXPECT_GE(log->firstVisibleRow() + log->rowsPerPage(), 300) << "the newest line is on screen";
  EXPECT_GT(log->firstVisibleRow(), 0);

  // A line the user picked gives way to the next message.
  log->setCurrentRow(3);
  QCoreApplication::processEvents();
  EXPECT_EQ(log->firstVisibleRow(), 3);
  m->DisplayMessage(QStringLiteral("newest"));
  QCoreApplication::processEvents();
  EXPECT_EQ(log->currentText(), "newest");
  EXPECT_GE(log->firstVisibleRow() + log->rowsPerPage(), log->count());
}

TEST(MessageLog, TheUserPicksALineWithMouseAndKeys) {
  LoadedMain m;
  m->show();
  LogList* log = m->logList();
  for (int i = 0; i < 50; ++i) m->DisplayMessage(QStringLiteral("reply %1").arg(i));
  QCoreApplication::processEvents();
  const int first = log->firstVisibleRow();
  const int rowHeight = log->viewport()->height() / log->rowsPerPage();
  QTest::mouseClick(log->viewport(), Qt::LeftButton, {}, QPoint(10, rowHeight / 2));
  EXPECT_EQ(log->currentRow(), first);
  QTest::keyClick(log, Qt::Key_Up);
  EXPECT_EQ(log->currentRow(), first - 1);
  QTest::keyClick(log, Qt::Key_Home);
  EXPECT_EQ(log->currentRow(), 0);
  QTest::keyClick(log, Qt::Key_Down);
  QTest::keySequence(log, QKeySequence::Copy);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "reply 1");
  QTest::keyClick(log, Qt::Key_End);
  EXPECT_EQ(log->currentText(), "reply 49");

  // A line wider than the list can be scrolled to once it has been on screen.
  EXPECT_EQ(log->horizontalScrollBar()->maximum(), 0);
  m->DisplayMessage(QString(400, QLatin1Char('w')));
  QCoreApplication::processEvents(); // scroll to it
  log->viewport()->repaint();
  QCoreApplication::processEvents(); // take its width
  EXPECT_GT(log->horizontalScrollBar()->maximum(), 0);
}

TEST(MessageLog, TheComponentsLinesAndTheActionPanel) {
  LoadedMain m;
  Q_EMIT m->ftp().LogMessage(QStringLiteral("220 Welcome"));
  EXPECT_EQ(m->logList()->currentText(), "220 Welcome");
  EXPECT_EQ(m->ftp().LogFile(), m->logFilePath()) << "the component writes the log file the start chose";

  m->UpdateAction(QStringLiteral("Connecting to example.org. Please wait..."));
  EXPECT_EQ(m->statusPanel(1)->text(), "Connecting to example.org. Please wait...");
  m->UpdateAction(QString());
  EXPECT_TRUE(m->statusPanel(1)->text().isEmpty());
  EXPECT_TRUE(m->statusPanel(2) && m->statusPanel(3));

  // A failure takes the action panel and stays there when its command clears the panel; the next
  // action replaces it. The server's own words are never taken for one.
  m->UpdateAction(QStringLiteral("Obtaining directory listing..."));
  m->DisplayMessage(QStringLiteral("Error: RMD pub failed: 550 Directory not empty."));
  m->UpdateAction(QString());
  EXPECT_EQ(m->statusPanel(1)->text(), "Error: RMD pub failed: 550 Directory not empty.");
  Q_EMIT m->ftp().LogMessage(QStringLiteral("Error: said the server"));
  EXPECT_EQ(m->statusPanel(1)->text(), "Error: RMD pub failed: 550 Directory not empty.");
  m->UpdateAction(QStringLiteral("Connecting to example.org. Please wait..."));
  m->UpdateAction(QString());
  EXPECT_TRUE(m->statusPanel(1)->text().isEmpty());
}

TEST(MessageLog, AHundredThousandLinesAreKeptInOrder) {
  LoadedMain m;
  m->show();
  for (int i = 0; i < 100000; ++i) m->DisplayMessage(QString::number(i));
  QCoreApplication::processEvents();
  LogList* log = m->logList();
  EXPECT_EQ(log->count(), 100000);
  EXPECT_EQ(log->line(0), "0");
  EXPECT_EQ(log->line(54321), "54321");
  EXPECT_EQ(log->currentText(), "99999");
  EXPECT_GE(log->firstVisibleRow() + log->rowsPerPage(), 100000);
}

TEST(SaveLog, WritesExactlyTheSelectedLineWithoutALineBreak) {
  LoadedMain m;
  m->DisplayMessage(QStringLiteral("first"));
  m->DisplayMessage(QStringLiteral("second"));
  m->DisplayMessage(QStringLiteral("230 Login successful, café"));
  m.prompts.textAnswers = {QStringLiteral("session")};
  m->menuEntry(QStringLiteral("mnuToolsSaveLog"))->trigger();

  const QString path = logFolder(m) + QStringLiteral("session.log");
  EXPECT_EQ(TempHome::readFile(path), QStringLiteral("230 Login successful, café").toUtf8());
  ASSERT_EQ(m.prompts.asked.size(), 2u);
  EXPECT_EQ(m.prompts.asked[0].kind, ScriptedPrompts::Kind::Input);
  EXPECT_EQ(m.prompts.asked[0].title, "Log File");
  EXPECT_EQ(m.prompts.asked[0].text, "Type name for the log file:");
  EXPECT_EQ(m.prompts.messages().back(), "Tidewick|File saved as: \n" + path);
  EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteOther), 0)
      << "saved logs are the owner's only";

  // The user's own choice of line is what is saved, replacing the longer file of the same name whole.
  m->logList()->setCurrentRow(0);
  m.prompts.textAnswers = {QStringLiteral("session")};
  m->SaveLog();
  EXPECT_EQ(TempHome::readFile(path), "first");
}

TEST(SaveLog, NothingSelectedOrNoNameSavesNothing) {
  LoadedMain m;
  m->DisplayMessage(QStringLiteral("one"));
  m->menuEntry(QStringLiteral("mnuToolsClearLog"))->trigger();
  EXPECT_EQ(m->logList()->count(), 0);
  m->SaveLog();
  ASSERT_EQ(m.prompts.asked.size(), 1u) << "no name is asked for";
  EXPECT_EQ(m.prompts.messages().back(), "Tidewick|Nothing to be saved!");
  EXPECT_EQ(m.prompts.asked.back().icon, UserPrompts::Icon::Warning);

  m->DisplayMessage(QStringLiteral("two"));
  m.prompts.clear();
  m.prompts.textAnswers = {QString()}; // cancelled
  m->SaveLog();
  EXPECT_EQ(m.prompts.messages().back(), "Tidewick|No name entered, quiting");
  EXPECT_EQ(QDir(logFolder(m)).entryList(QDir::Files), QStringList());
}

TEST(SaveLog, ANameThatCannotBeAFileNameIsRefusedClearly) {
  LoadedMain m;
  m->DisplayMessage(QStringLiteral("secret"));
  for (const QString& name : {QStringLiteral("../escape"), QStringLiteral("sub/name"), QString::fromUtf8("nul\0x", 5),
                              QString(300, QLatin1Char('n'))}) {
    m.prompts.clear();
    m.prompts.textAnswers = {name};
    EXPECT_TRUE(m->logList()->currentRow() >= 0);
    m->SaveLog();
    ASSERT_EQ(m.prompts.messages().size(), 1u);
    EXPECT_TRUE(m.prompts.messages()[0].contains(QLatin1String("cannot be a file name")))
        << name.left(20).toStdString();
    EXPECT_EQ(m.prompts.asked.back().icon, UserPrompts::Icon::Warning);
  }
  EXPECT_EQ(QDir(logFolder(m)).entryList(QDir::Files), QStringList());
  EXPECT_FALSE(QFile::exists(m.home.home() + QStringLiteral("escape.log")));
}

TEST(SaveLog, AFolderThatCannotBeWrittenIsReportedAndNothingChanges) {
  LoadedMain m;
  // "Log" is a file here, so nothing can be created in it (whoever runs the test).
  QDir(logFolder(m)).removeRecursively();
  m.home.writeFile(QStringLiteral("home/Log"), "in the way");
  m->DisplayMessage(QStringLiteral("line"));
  m.prompts.textAnswers = {QStringLiteral("session")};
  m->SaveLog();
  ASSERT_FALSE(m.prompts.messages().empty());
  EXPECT_TRUE(m.prompts.messages().back().startsWith(QLatin1String("Tidewick|The log could not be saved as:\n")));
  EXPECT_EQ(TempHome::readFile(m.home.home() + QStringLiteral("Log")), "in the way");
}

TEST(LogWindow, ShowsTheHeadingsAndASnapshotEachTimeItOpens) {
  LoadedMain m;
  const QStringList expected = {QStringLiteral("WinSock 2.0"), frmLogWindow::BannerLine(), QStringLiteral("220 ready"),
                                QStringLiteral("USER anonymous")};
  EXPECT_TRUE(frmLogWindow::BannerLine().contains(QLatin1String("Tidewick 3.1.0")));

  for (int opening = 0; opening < 2; ++opening) {
    m->ClearLog();
    m->DisplayMessage(QStringLiteral("220 ready"));
    m->DisplayMessage(QStringLiteral("USER anonymous"));
    m->logList()->setCurrentRow(0);
    QStringList shown;
    int mainRowAtOpen = -1, linesAfterMore = -1;
    m.prompts.modalAnswers.push_back([&](QDialog* dialog) {
      auto* window = qobject_cast<frmLogWindow*>(dialog);
      shown = linesOf(*window->lstLog);
      mainRowAtOpen = m->logList()->currentRow();
      m->DisplayMessage(QStringLiteral("arrives while open"));
      linesAfterMore = window->lstLog->count();
      window->mnuClose->trigger();
      return window->result();
    });
    m->menuEntry(QStringLiteral("mnuToolsShowLog"))->trigger();
    EXPECT_EQ(shown, expected) << "opening " << opening;
    EXPECT_EQ(mainRowAtOpen, 1) << "the main log's last line is selected again";
    EXPECT_EQ(linesAfterMore, expected.size()) << "a snapshot";
  }
  EXPECT_TRUE(m.home.setting(QStringLiteral("LOG WINDOW WIDTH"))) << "closing keeps the window's placement";
}

TEST(LogWindow, SavesALineOfItsOwnCopy) {
  LoadedMain m;
  m->DisplayMessage(QStringLiteral("257 \"/pub\" is the current directory"));
  m.prompts.textAnswers = {QStringLiteral("fromwindow")};
  m.prompts.modalAnswers.push_back([&](QDialog* dialog) {
    auto* window = qobject_cast<frmLogWindow*>(dialog);
    window->mnuSave->trigger(); // nothing selected in the copy yet
    window->lstLog->setCurrentRow(2);
    window->mnuSave->trigger();
    return int(QDialog::Rejected);
  });
  m->ShowLog();
  const auto messages = m.prompts.messages();
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ(messages.front(), "Tidewick|Nothing to be saved!");
  EXPECT_EQ(TempHome::readFile(logFolder(m) + QStringLiteral("fromwindow.log")),
            "257 \"/pub\" is the current directory");
}

} // namespace
