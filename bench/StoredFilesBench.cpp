// Stored files: queue files of 1,000 and 32,767 rows read and written (a new file, and a save over
// a file of the same rows), and the peak memory of reading a 60 MiB queue file.
//
//   stored_files_bench                  the timings (Google Benchmark; --benchmark_repetitions=N)
//   stored_files_bench --peak-memory    the memory figures: each file is read by a fresh process,
//                                       which reports how far its peak RSS rose while reading
#include "transfer/QueueFile.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

using tidewick::transfer::QueueRow;
using tidewick::transfer::ReadQueueFile;
using tidewick::transfer::WriteQueueFile;

namespace {

// A row as "Transfer To Queue" makes it; `pathLength` pads the two folders.
QueueRow makeRow(int i, int pathLength = 0) {
  QueueRow row;
  row.name = QStringLiteral("report_%1.dat").arg(i, 6, 10, QLatin1Char('0'));
  row.localPath = QStringLiteral("/home/user/projects/archive/") + QString(pathLength, QLatin1Char('l')) + '/';
  row.remotePath = QStringLiteral("/srv/ftp/pub/archive") + QString(pathLength, QLatin1Char('r'));
  row.hostAddress = QStringLiteral("ftp.example.org");
  row.size = QString::number(qint64(i) * 7919 % 100000000);
  row.command = i % 2 ? QStringLiteral("Download") : QStringLiteral("Upload");
  row.transferMode = QStringLiteral("Binary");
  row.type = QStringLiteral("File");
  row.userName = QStringLiteral("archivist");
  row.password = QStringLiteral("s3cret-%1").arg(i % 97);
  row.port = QStringLiteral("21");
  return row;
}

std::vector<QueueRow> makeRows(int count, int pathLength = 0) {
  std::vector<QueueRow> rows;
  rows.reserve(size_t(count));
  for (int i = 1; i <= count; ++i) rows.push_back(makeRow(i, pathLength));
  return rows;
}

QTemporaryDir& scratch() {
  static QTemporaryDir dir;
  return dir;
}

void BM_ReadQueue(benchmark::State& state) {
  const QString file = scratch().filePath(QStringLiteral("read.que"));
  QFile::remove(file);
  if (!WriteQueueFile(file, makeRows(int(state.range(0))))) state.SkipWithError("cannot write the queue file");
  for (auto _ : state) {
    auto rows = ReadQueueFile(file);
    if (!rows || rows->size() != size_t(state.range(0))) state.SkipWithError("the queue did not read back");
    benchmark::DoNotOptimize(rows);
  }
  state.counters["rows"] = double(state.range(0));
}
BENCHMARK(BM_ReadQueue)->Arg(1000)->Arg(32767)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteNewQueue(benchmark::State& state) {
  const QString file = scratch().filePath(QStringLiteral("new.que"));
  const std::vector<QueueRow> rows = makeRows(int(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    QFile::remove(file);
    state.ResumeTiming();
    if (!WriteQueueFile(file, rows)) state.SkipWithError("cannot write the queue file");
  }
  state.counters["rows"] = double(state.range(0));
}
BENCHMARK(BM_WriteNewQueue)->Arg(1000)->Arg(32767)->Unit(benchmark::kMillisecond)->UseRealTime();

// Saving over a file of as many rows: every key is found and changed in place.
void BM_WriteOverQueue(benchmark::State& state) {
  const QString file = scratch().filePath(QStringLiteral("over.que"));
  QFile::remove(file);
  std::vector<QueueRow> rows = makeRows(int(state.range(0)));
  if (!WriteQueueFile(file, rows)) state.SkipWithError("cannot write the queue file");
  int round = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (QueueRow& row : rows) row.size = QString::number(++round);
    state.ResumeTiming();
    if (!WriteQueueFile(file, rows)) state.SkipWithError("cannot write the queue file");
  }
  state.counters["rows"] = double(state.range(0));
}
BENCHMARK(BM_WriteOverQueue)->Arg(1000)->Arg(32767)->Unit(benchmark::kMillisecond)->UseRealTime();

constexpr qint64 SixtyMiB = qint64(60) * 1024 * 1024;

// 32,767 rows followed by the keys of older rows beyond LISTCOUNT, as a save over a longer queue
// leaves them: about 4.5 million short key lines.
bool writeShortLines(const QString& file) {
  if (!WriteQueueFile(file, makeRows(tidewick::transfer::MaxQueueRows))) return false;
  QFile out(file);
  if (!out.open(QIODevice::Append)) return false;
  QByteArray block;
  for (int i = tidewick::transfer::MaxQueueRows + 1; out.size() + block.size() < SixtyMiB; ++i) {
    for (int j = 0; j < QueueRow::ColumnCount && out.size() + block.size() < SixtyMiB; ++j)
      block += "ROW" + QByteArray::number(i) + '.' + QByteArray::number(j) + "=x\n";
    if (block.size() > (1 << 20)) {
      out.write(block);
      block.clear();
    }
  }
  return out.write(block) == block.size();
}

// 32,767 rows whose folders are long enough to make 60 MiB.
bool writeLongValues(const QString& file) {
  const int pathLength = int(SixtyMiB / tidewick::transfer::MaxQueueRows / 2) - 125;
  return WriteQueueFile(file, makeRows(tidewick::transfer::MaxQueueRows, pathLength));
}

// A field of /proc/self/status in KiB: VmRSS now, VmHWM the peak so far.
long statusKiB(const char* field) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith(field)) return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').value(0).toLong();
  return -1;
}

// Run in a fresh process, so nothing the parent allocated counts: prints how far the peak RSS rose
// above the RSS before reading, in KiB.
int readQueueReportingPeak(const QString& file) {
  const long before = statusKiB("VmRSS:");
  QString problem;
  const auto rows = ReadQueueFile(file, &problem);
  const long peak = statusKiB("VmHWM:");
  if (!rows || rows->empty() || before < 0 || peak < 0) {
    std::fprintf(stderr, "%s\n", rows ? "no rows or no memory figures" : qPrintable(problem));
    return 1;
  }
  std::printf("%ld\n", peak - before);
  return 0;
}

long childPeakKiB(const QString& file) {
  QProcess child;
  child.start(QStringLiteral("/proc/self/exe"), {QStringLiteral("--read-queue"), file});
  if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(file), child.readAllStandardError().constData());
    return -1;
  }
  bool ok = false;
  const long grown = child.readAllStandardOutput().trimmed().toLong(&ok);
  return ok ? grown : -1;
}

int peakMemory() {
  const QString shortLines = scratch().filePath(QStringLiteral("short-lines.que"));
  const QString longValues = scratch().filePath(QStringLiteral("long-values.que"));
  if (!writeShortLines(shortLines) || !writeLongValues(longValues)) {
    std::fprintf(stderr, "cannot write the test files\n");
    return 1;
  }
  std::printf("%-40s %10s %12s %8s\n", "file", "size MiB", "peak +MiB", "ratio");
  for (const auto& [what, file] : {std::pair{"32,767 rows + 4.5 M short old keys", shortLines},
                                   std::pair{"32,767 rows with long folders", longValues}}) {
    const long peak = childPeakKiB(file);
    if (peak < 0) {
      std::fprintf(stderr, "the reading process failed\n");
      return 1;
    }
    const double size = double(QFile(file).size()) / (1024 * 1024);
    const double grown = double(peak) / 1024;
    std::printf("%-40s %10.1f %12.1f %8.2f\n", what, size, grown, grown / size);
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--read-queue") == 0) return readQueueReportingPeak(QFile::decodeName(argv[2]));
  QCoreApplication app(argc, argv);
  if (argc == 2 && std::strcmp(argv[1], "--peak-memory") == 0) return peakMemory();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
