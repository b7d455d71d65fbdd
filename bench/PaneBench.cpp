// The file panes with 100,000 entries: rows reaching the view after a remote listing arrives, a
// local folder listed into its pane, and sorting by each column. The local listing is also timed
// against `ls -la` of the same folder in the same run, as the ratio to report.
#include "browse/FileListModel.h"
#include "browse/FilePaneView.h"
#include "browse/IconTable.h"
#include "browse/LocalFileSystem.h"
#include "ui/UserPrompts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

using namespace tidewick::browse;

namespace {

constexpr int kEntries = 100000;

class SilentPrompts final : public tidewick::ui::UserPrompts {
public:
  Button message(QWidget*, const QString&, const QString&, int, Icon) override { return Ok; }
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

FileRow row(int i) {
  const QString name = QStringLiteral("file_%1.%2").arg(i, 6, 10, QLatin1Char('0')).arg(i % 3 ? "txt" : "jpg");
  return FileRow{name,
                 (i * 7919LL) % 10000000,
                 true,
                 QDateTime::fromSecsSinceEpoch(1600000000 + i * 37LL),
                 QLatin1Char('F'),
                 IconIndexForName(name)};
}

// Rows arriving one by one (as listing events do) until the view has painted them.
void BM_RemoteRowsShown(benchmark::State& state) {
  FileListModel model(nullptr);
  FilePaneView view(&model);
  view.resize(800, 600);
  view.show();
  for (auto _ : state) {
    model.clear();
    for (int i = 0; i < kEntries; ++i) model.append(row(i));
    model.flush();
    view.detailsView()->viewport()->repaint();
    QApplication::processEvents();
  }
  state.counters["rows"] = kEntries;
}
BENCHMARK(BM_RemoteRowsShown)->Unit(benchmark::kMillisecond)->Iterations(5);

QTemporaryDir& bigFolder() {
  static QTemporaryDir dir;
  static bool made = false;
  if (!made) {
    for (int i = 0; i < kEntries; ++i) QFile(dir.filePath(row(i).name)).open(QIODevice::WriteOnly);
    made = true;
  }
  return dir;
}

void BM_LocalFolderListed(benchmark::State& state) {
  const QString path = bigFolder().path() + QLatin1Char('/');
  SilentPrompts prompts;
  LocalFileSystem local(prompts, nullptr);
  FileListModel model(nullptr);
  FilePaneView view(&model);
  QObject::connect(&local, &LocalFileSystem::entryListed,
                   [&](const QString& name, const QDateTime& date, qint64 size, int attrib) {
                     model.append(FileRow{name, size, !(attrib & kAttrFolder), date, QLatin1Char('F'), 3});
                   });
  double ours = 0;
  double ls = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    model.clear();
    local.list(path);
    model.flush();
    QApplication::processEvents();
    ours += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    start = std::chrono::steady_clock::now();
    const QByteArray command = "ls -la " + QFile::encodeName(path) + " > /dev/null";
    if (std::system(command.constData()) != 0) state.SkipWithError("ls failed");
    ls += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.counters["ratio_to_ls"] = ours / ls;
}
BENCHMARK(BM_LocalFolderListed)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_Sort(benchmark::State& state) {
  FileListModel model(nullptr);
  for (int i = 0; i < kEntries; ++i) model.append(row(i));
  model.flush();
  bool descending = false;
  for (auto _ : state) {
    model.sort(static_cast<int>(state.range(0)), descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    descending = !descending;
  }
}
BENCHMARK(BM_Sort)
    ->Arg(FileListModel::NameColumn)
    ->Arg(FileListModel::SizeColumn)
    ->Arg(FileListModel::DateColumn)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(6);

} // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
