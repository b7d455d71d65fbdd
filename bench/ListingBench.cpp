// Listing parser throughput: lines per second for the common families.
// Goal: at least 1 M `ls -l` lines per second on one core (a 100,000-entry folder in 0.1 s).

#include "ftp/listing/ListingParser.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

using tidewick::ftp::ListEntry;
using tidewick::ftp::ListingParser;

namespace {

constexpr int kLines = 100000;
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// What vsftpd sends for a big folder: mostly files, some folders and links, mixed dates.
std::vector<std::string> unixLines() {
  std::vector<std::string> lines;
  lines.reserve(kLines);
  char buffer[256];
  for (int i = 0; i < kLines; ++i) {
    const char* perms = i % 50 == 0 ? "drwxr-xr-x" : i % 97 == 0 ? "lrwxrwxrwx" : "-rw-r--r--";
    const char* month = kMonths[i % 12];
    if (i % 3 == 0)
      std::snprintf(buffer, sizeof buffer, "%s    1 1000     1000     %10d %s %2d  20%02d file_%06d.dat", perms, i * 37,
                    month, 1 + i % 28, 10 + i % 14, i);
    else
      std::snprintf(buffer, sizeof buffer, "%s    1 ftp      ftp      %10d %s %2d %02d:%02d some file %06d.txt", perms,
                    i * 13, month, 1 + i % 28, i % 24, i % 60, i);
    lines.emplace_back(buffer);
    if (perms[0] == 'l') lines.back() += " -> target";
  }
  return lines;
}

std::vector<std::string> dosLines() {
  std::vector<std::string> lines;
  char buffer[256];
  for (int i = 0; i < kLines; ++i) {
    if (i % 50 == 0)
      std::snprintf(buffer, sizeof buffer, "%02d-%02d-%02d  %02d:%02dPM       <DIR>          folder %06d", 1 + i % 12,
                    1 + i % 28, i % 30, 1 + i % 12, i % 60, i);
    else
      std::snprintf(buffer, sizeof buffer, "%02d-%02d-%02d  %02d:%02dAM           %10d file %06d.txt", 1 + i % 12,
                    1 + i % 28, i % 30, 1 + i % 12, i % 60, i * 13, i);
    lines.emplace_back(buffer);
  }
  return lines;
}

std::vector<std::string> mlsdLines() {
  std::vector<std::string> lines;
  char buffer[256];
  for (int i = 0; i < kLines; ++i) {
    std::snprintf(buffer, sizeof buffer,
                  "type=%s;size=%d;modify=2021%02d%02d%02d%02d%02d;UNIX.mode=0644; file %06d.txt",
                  i % 50 == 0 ? "dir" : "file", i * 13, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 60, i);
    lines.emplace_back(buffer);
  }
  return lines;
}

void runLines(benchmark::State& state, const std::vector<std::string>& lines) {
  qint64 total = 0;
  for (auto _ : state) {
    ListingParser parser;
    for (const std::string& line : lines) {
      std::optional<ListEntry> entry = parser.parseLine(line);
      total += entry ? entry->size : -1;
    }
  }
  benchmark::DoNotOptimize(total);
  state.SetItemsProcessed(state.iterations() * qint64(lines.size()));
}

void BM_UnixLines(benchmark::State& state) {
  static const std::vector<std::string> lines = unixLines();
  runLines(state, lines);
}

void BM_DosLines(benchmark::State& state) {
  static const std::vector<std::string> lines = dosLines();
  runLines(state, lines);
}

void BM_MlsdLines(benchmark::State& state) {
  static const std::vector<std::string> lines = mlsdLines();
  runLines(state, lines);
}

// The way the engine uses it: one reply buffer, split and parsed into a vector.
void BM_UnixWholeListing(benchmark::State& state) {
  static const std::string listing = [] {
    std::string text;
    for (const std::string& line : unixLines()) text += line + "\r\n";
    return text;
  }();
  for (auto _ : state) {
    ListingParser parser;
    std::vector<ListEntry> entries = parser.parseAll(listing);
    benchmark::DoNotOptimize(entries.data());
  }
  state.SetItemsProcessed(state.iterations() * kLines);
}

} // namespace

BENCHMARK(BM_UnixLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnixWholeListing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DosLines)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MlsdLines)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
