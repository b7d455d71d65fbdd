// The transfer queue window, offscreen, in the real main window.
//
//   queue_window_bench run QUEUE_FILE
//     loads the queue file through the window's Load Que and gives Process Que. Prints
//     "seconds=S stall_ms=M rows=N": the wall time of Process Que, the longest time the UI thread
//     went without serving a 10 ms timer meanwhile, and the rows left (0 when all ran). Exits
//     non-zero when a row failed.
//
//   queue_window_bench rows
//     no server: the longest steps a user waits for with the largest queues. Adds 10,000 rows
//     (one Transfer To Queue), sorts them by name and by size, removes every other one; then loads,
//     shows and saves a queue file of 32,767 rows. Prints one "step ms" line each.
#include "app/frmMain.h"
#include "queue/QueueModel.h"
#include "queue/frmQue.h"
#include "settings/Registry.h"
#include "settings/SettingsKeys.h"
#include "transfer/QueueFile.h"
#include "ui/UserPrompts.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <vector>

namespace {

// File dialogs answer from a list; every other question is answered OK and no dialog is shown.
class ListPrompts final : public tidewick::ui::UserPrompts {
public:
  std::deque<QString> files;
  Button message(QWidget*, const QString&, const QString& text, int, Icon) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    return Ok;
  }
  QString input(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
  QString passwordInput(QWidget*, const QString&, const QString&) override { return {}; }
  QString openFileName(QWidget*, const QString&, const QString&, const QString&) override { return next(); }
  QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override { return next(); }
  QString existingFolder(QWidget*, const QString&, const QString&) override { return {}; }
  int showModal(QDialog*) override { return 0; }
  // The benchmarks' servers speak plain FTP; a certificate question is refused.
  CertificateAnswer certificate(QWidget*, const QString&, const QString&, Icon) override {
    return CertificateAnswer::Cancel;
  }

private:
  QString next() {
    if (files.empty()) return {};
    QString file = files.front();
    files.pop_front();
    return file;
  }
};

// Runs `step` and prints how long it took, with the window painted before the clock stops.
void timed(const char* name, const std::function<void()>& step) {
  QElapsedTimer clock;
  clock.start();
  step();
  QCoreApplication::processEvents();
  std::printf("%-44s %6lld ms\n", name, static_cast<long long>(clock.elapsed()));
}

int runQueue(tidewick::queue::frmQue& queue, ListPrompts& prompts, const QString& file) {
  prompts.files.push_back(file);
  queue.mnuFileLoadQue->trigger();
  const int rows = queue.model()->rowCount();
  if (rows == 0) {
    std::fprintf(stderr, "%s holds no rows\n", qPrintable(file));
    return 1;
  }
  queue.show();
  QCoreApplication::processEvents();

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
  queue.ProcessQue();
  const qint64 ms = clock.elapsed();
  timer.stop();

  const int left = queue.model()->rowCount();
  std::printf("seconds=%.3f stall_ms=%lld rows=%d\n", static_cast<double>(ms) / 1000.0, static_cast<long long>(longest),
              left);
  return left == 0 ? 0 : 1;
}

int largeQueues(tidewick::app::frmMain& window, ListPrompts& prompts) {
  using tidewick::transfer::QueueRow;
  tidewick::queue::frmQue& queue = window.QueueWindow();
  queue.show();
  tidewick::queue::QueueModel& model = *queue.model();

  std::vector<QueueRow> rows;
  for (int i = 0; i < 32767; ++i) {
    QueueRow r;
    r.name = QStringLiteral("file %1.dat").arg((i * 7919) % 32767, 5, 10, QLatin1Char('0'));
    r.localPath = QStringLiteral("/home/someone/Downloads/");
    r.remotePath = QStringLiteral("/pub/mirror/some/folder");
    r.hostAddress = QStringLiteral("ftp.example.org");
    r.size = QString::number((i * 104729LL) % 10000000);
    r.command = i % 2 ? QStringLiteral("Upload") : QStringLiteral("Download");
    r.transferMode = QStringLiteral("Binary");
    r.type = QStringLiteral("File");
    r.userName = QStringLiteral("someone");
    r.password = QStringLiteral("secret");
    r.port = QStringLiteral("21");
    rows.push_back(r);
  }

  timed("add 10,000 rows", [&] { model.append({rows.begin(), rows.begin() + 10000}); });
  QHeaderView* header = queue.lstQue->header();
  timed("sort 10,000 rows by name", [&] { Q_EMIT header->sectionClicked(0); });
  timed("sort 10,000 rows by size", [&] { Q_EMIT header->sectionClicked(4); });
  for (int r = 0; r < model.rowCount(); r += 2)
    queue.lstQue->selectionModel()->select(model.index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  timed("remove every other one of 10,000 rows", [&] { queue.RemoveSelection(); });
  queue.ClearQue();

  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("large.que"));
  if (!tidewick::transfer::WriteQueueFile(file, rows)) return 1;
  prompts.files.push_back(file);
  timed("load and show a file of 32,767 rows", [&] { queue.mnuFileLoadQue->trigger(); });
  timed("sort 32,767 rows by size", [&] { Q_EMIT header->sectionClicked(4); });
  prompts.files.push_back(dir.filePath(QStringLiteral("saved.que")));
  timed("save 32,767 rows", [&] { queue.mnuFileSaveQue->trigger(); });
  queue.SelectAll();
  timed("remove all 32,767 rows", [&] { queue.RemoveSelection(); });
  return model.rowCount() == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
  const bool run = argc == 3 && qstrcmp(argv[1], "run") == 0;
  if (!run && !(argc == 2 && qstrcmp(argv[1], "rows") == 0)) {
    std::fprintf(stderr, "usage: %s run QUEUE_FILE | rows\n", argv[0]);
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
  ListPrompts prompts;
  tidewick::app::frmMain window(prompts, {QStringLiteral("tidewick")});
  window.setEndProgram([] {});
  window.Load();
  window.show();
  const int status =
      run ? runQueue(window.QueueWindow(), prompts, QString::fromLocal8Bit(argv[2])) : largeQueues(window, prompts);
  window.QuickExit();
  return status;
}
