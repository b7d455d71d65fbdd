#pragma once
// A main window logged in to a real FTP server (pyftpdlib) as "demo", with its current local folder
// in a temporary folder. The server's root holds readme.txt, a.txt and the folder b.

#include "app/frmMain.h"
#include "browse/FileListModel.h"
#include "browse/FilePaneView.h"
#include "browse/LocalPane.h"
#include "ftp/FtpClient.h"
#include "log/LogList.h"
#include "support/FtpServerFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/TempHome.h"

#include <QDialog>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

class ConnectedMain : public ::testing::Test {
protected:
  void SetUp() override {
    server.writeFile("readme.txt", "read me\n");
    server.writeFile("a.txt", "a");
    server.writeFile("b/inside.txt", "b");
    ASSERT_TRUE(server.start());
    temp.setSettings({{"SHOW CONNECTION ON STARTUP", "0"}, {"ADD TO STARTUP", "0"}});
    window = std::make_unique<tidewick::app::frmMain>(prompts, QStringList{"tidewick"});
    window->setEndProgram([] {});
    window->Load();
    window->Connection = {server.host(), QString::number(server.port()), "demo", "demo", false};
    prompts.modalAnswers.push_back([](QDialog* d) {
      d->findChild<QPushButton*>("cmdConnect")->click();
      return d->result();
    });
    window->ConnectWithDialog();
    ASSERT_EQ(window->ftp().CurrentState(), 2);
    ASSERT_TRUE(window->localPane()->ChangeCurrentLocalFolder(local.path() + '/'));
    prompts.clear();
    sentBefore = server.receivedCommands().size();
  }

  // The command lines the server received since the window logged in.
  QStringList sent() const { return server.receivedCommands().mid(sentBefore); }
  void writeLocal(const QString& name, const QByteArray& bytes) const {
    QFile file(local.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
  }
  QStringList logLines() const {
    QStringList lines;
    for (int i = 0; i < window->logList()->count(); ++i) lines << window->logList()->line(i);
    return lines;
  }
  QStringList names(const tidewick::browse::FilePaneView* list) const {
    QStringList out;
    for (int r = 0; r < list->model()->rowCount(); ++r) out << list->model()->row(r).name;
    out.sort();
    return out;
  }

  TempHome temp;
  tidewick::test::FtpServerFixture server;
  QTemporaryDir local;
  ScriptedPrompts prompts;
  std::unique_ptr<tidewick::app::frmMain> window;
  qsizetype sentBefore = 0;
};
