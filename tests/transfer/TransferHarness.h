#pragma once
// A transfer controller against the real test server: a connected FtpClient, a temporary local
// folder, recorders for everything the controller tells the window, and helpers to script the
// File Exists dialog.

#include "ftp/FtpClient.h"
#include "support/FtpServerFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/TempHome.h"
#include "transfer/TransferController.h"
#include "transfer/frmExist.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>

namespace transfer = tidewick::transfer;
using tidewick::ftp::FtpClient;
using tidewick::test::FtpServerFixture;
using tidewick::test::FtpServerOptions;
using transfer::frmExist;
using transfer::SelectedRow;

class TransferHarness : public ::testing::Test {
protected:
  virtual FtpServerOptions serverOptions() const { return {}; }

  void SetUp() override {
    home.setSetting("DIR SYNC BY FILE SIZE", "0");
    server = std::make_unique<FtpServerFixture>(serverOptions());
    ASSERT_TRUE(server->start());
    QObject::connect(&ftp, &FtpClient::LogMessage, [this](const QString& line) { wire << line; });
    server->loginFor(ftp);
    ftp.Connect();

    transfer::TransferServices s;
    s.prompts = &prompts;
    s.LocalSelection = [this] { return localRows; };
    s.RemoteSelection = [this] { return remoteRows; };
    s.CurrentLocalFolder = [this] { return localFolder; };
    s.CurrentRemoteFolder = [this] { return remoteFolder; };
    s.DisplayMessage = [this](const QString& line) { log << line; };
    s.UpdateAction = [this](const QString& text) { actions << text; };
    s.SetAbortEnabled = [this](bool on) { abortEnabled << on; };
    s.Abort = [this] { ++aborts; };
    s.RefreshLocalList = [this] { ++localRefreshes; };
    s.RefreshRemoteList = [this] { ++remoteRefreshes; };
    controller =
        std::make_unique<transfer::TransferController>(ftp, transfer::ProgressPanels(&bar, &bytes, &total, &speed), s);
  }

  static QByteArray randomBytes(int size) {
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(static_cast<quint32>(size));
    for (char& c : data) c = static_cast<char>(generator.generate());
    return data;
  }

  QString localPath(const QString& name) const { return localFolder + name; }
  void writeLocal(const QString& name, const QByteArray& content) const {
    QDir().mkpath(QFileInfo(localPath(name)).absolutePath());
    QFile file(localPath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
  }
  QByteArray readLocal(const QString& name) const { return TempHome::readFile(localPath(name)); }
  // Files and folders alike.
  static void setTime(const QString& path, const QDateTime& when) {
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(when.toSecsSinceEpoch()), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0) << path.toStdString();
  }
  void setLocalTime(const QString& name, const QDateTime& when) const { setTime(localPath(name), when); }
  void setRemoteTime(const QString& name, const QDateTime& when) const { setTime(server->path(name), when); }

  // The next File Exists dialog is answered with `button` (cmdOverwrite, ...), "Apply To All"
  // set as `all`; the two lines it showed, and the status bar's text meanwhile, are kept.
  void answer(const char* button, bool all = false) {
    prompts.modalAnswers.push_back([this, button, all](QDialog* dialog) {
      auto* exist = qobject_cast<frmExist*>(dialog);
      EXPECT_NE(exist, nullptr);
      if (!exist) return 0;
      shownLines << exist->lblSource->text() + QLatin1Char('|') + exist->lblDestination->text();
      actionWhenShown << actions.value(actions.size() - 1);
      boxWhenShown << exist->chkAll->isChecked();
      exist->chkAll->setChecked(all);
      exist->findChild<QPushButton*>(QString::fromLatin1(button))->click();
      return 0;
    });
  }
  int dialogsShown() const {
    return int(std::count_if(prompts.asked.begin(), prompts.asked.end(),
                             [](const auto& a) { return a.kind == ScriptedPrompts::Kind::Modal; }));
  }
  int wireCount(const QString& prefix) const {
    return int(wire.filter(QRegularExpression("^" + QRegularExpression::escape(prefix))).size());
  }
  int errors() const { return int(log.filter(QRegularExpression("^Error: ")).size()); }

  TempHome home;
  std::unique_ptr<FtpServerFixture> server;
  QTemporaryDir localDir;
  QString localFolder = localDir.path() + QLatin1Char('/');
  QString remoteFolder = "/";
  FtpClient ftp;
  ScriptedPrompts prompts;
  QProgressBar bar;
  QLabel bytes, total, speed;
  std::vector<SelectedRow> localRows, remoteRows;
  QStringList log, actions, wire, shownLines, actionWhenShown;
  QList<bool> abortEnabled, boxWhenShown;
  int aborts = 0, localRefreshes = 0, remoteRefreshes = 0;
  std::unique_ptr<transfer::TransferController> controller;
};
