// One transfer through the real main window, offscreen, the way a user starts it: the window
// connects, shows the two folders, the row is selected and Download (or Upload) is given.
//
//   window_transfer_bench HOST PORT USER PASSWORD download|upload REMOTE_FOLDER LOCAL_FOLDER NAME
//
// Prints "seconds=S stall_ms=M": the wall time of the transfer command, from the command to the
// end of the run (the receiving pane listed again), and the longest time the UI thread went without
// serving a 10 ms timer meanwhile. A folder is taken whole, subfolders included. Exits non-zero
// when the run did not complete.
#include "app/frmMain.h"
#include "browse/FileListModel.h"
#include "browse/FilePaneView.h"
#include "ftp/FtpClient.h"
#include "log/LogList.h"
#include "settings/Registry.h"
#include "settings/SettingsKeys.h"
#include "ui/UserPrompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// Every question is answered Yes (subfolders included); no dialog is ever shown.
class YesPrompts final : public tidewick::ui::UserPrompts {
public:
  Button message(QWidget*, const QString&, const QString&, int, Icon) override { return Yes; }
  QString input(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString passwordInput(QWidget*, const QString&, const QString&) override { return {}; }
  QString openFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString existingFolder(QWidget*, const QString&, const QString&) override { return {}; }
  int showModal(QDialog*) override { return 0; }
  // The benchmarks' servers speak plain FTP; a certificate question is refused.
  CertificateAnswer certificate(QWidget*, const QString&, const QString&, Icon) override {
    return CertificateAnswer::Cancel;
  }
};

int rowOf(const tidewick::browse::FilePaneView* list, const QString& name) {
  for (int r = 0; r < list->model()->rowCount(); ++r)
    if (list->model()->row(r).name == name) return r;
  return -1;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 9) {
    std::fprintf(stderr, "usage: %s HOST PORT USER PASSWORD download|upload REMOTE_FOLDER LOCAL_FOLDER NAME\n",
                 argv[0]);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // A home of its own, so no setting of the user's is read or written.
  QTemporaryDir home;
  qputenv("TIDEWICK_HOME", home.path().toLocal8Bit());
  namespace keys = tidewick::settings::keys;
  tidewick::settings::setValue(keys::ShowConnectionOnStartup, QStringLiteral("0"));
  tidewick::settings::setValue(keys::AddToStartup, QStringLiteral("0"));

  QApplication app(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  const bool download = args[5] == QLatin1String("download");

  YesPrompts prompts;
  tidewick::app::frmMain window(prompts, {QStringLiteral("tidewick")});
  window.setEndProgram([] {});
  window.Load();
  window.show();
  window.CurrentLocalFolder = args[7].endsWith(QLatin1Char('/')) ? args[7] : args[7] + QLatin1Char('/');
  window.RefreshLocalList();
  window.ftp().setServerAddress(args[1]);
  window.ftp().setServerPort(args[2].toInt());
  window.ftp().setUserName(args[3]);
  window.ftp().setPassword(args[4]);
  window.Reconnect();
  if (window.ftp().CurrentState() != 2) {
    std::fprintf(stderr, "cannot connect to %s:%s\n", argv[1], argv[2]);
    return 1;
  }
  window.ftp().ChangeCurrentFolder(args[6]);
  window.CurrentRemoteFolder = args[6];
  window.RefreshRemoteList();

  tidewick::browse::FilePaneView* list = download ? window.lstRemoteFileList : window.lstLocalFileList;
  const int row = rowOf(list, args[8]);
  if (row < 0) {
    std::fprintf(stderr, "%s is not listed\n", argv[8]);
    return 1;
  }
  list->selectRow(row);

  QElapsedTimer ticks;
  qint64 lastTick = 0, longest = 0;
  QTimer timer;
  timer.setTimerType(Qt::PreciseTimer);
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    const qint64 now = ticks.elapsed();
    longest = std::max(longest, now - lastTick);
    lastTick = now;
  });

  QElapsedTimer clock;
  ticks.start();
  timer.start();
  clock.start();
  if (download) window.ReceiveSelection();
  else window.SendSelection();
  const qint64 ms = clock.elapsed();
  timer.stop();

  const QString done = download ? QStringLiteral("Download complete") : QStringLiteral("Upload complete");
  if (window.statusPanel(1)->text() != done) {
    const QStringList& lines = window.logList()->lines();
    std::fprintf(stderr, "the transfer did not complete: %s\n",
                 lines.isEmpty() ? "" : lines.last().toLocal8Bit().constData());
    return 1;
  }
  std::printf("seconds=%.3f stall_ms=%lld\n", static_cast<double>(ms) / 1000.0, static_cast<long long>(longest));
  window.QuickExit();
  return 0;
}
