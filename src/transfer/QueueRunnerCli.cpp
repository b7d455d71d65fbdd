#include "transfer/QueueRunnerCli.h"

#include "ftp/QuickFtp.h"
#include "transfer/QueueFile.h"
#include "transfer/QueueRun.h"
#include "ui/CertificateTrust.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace tidewick::transfer {

using ftp::QuickFtp;

namespace {

constexpr const char* Usage =
    "Usage: tidewick [/STARTUP]\n"
    "       tidewick --run-queue FILE [--verbose]\n"
    "       tidewick --help | --version\n"
    "\n"
    "Without options, Tidewick opens its window (/STARTUP: hidden, in the tray).\n"
    "\n"
    "  --run-queue FILE  run the transfers of a saved queue file, one row after the\n"
    "                    other, without a window; the file is not changed\n"
    "  --verbose         with --run-queue: write the conversation with the servers\n"
    "                    to standard error\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "\n"
    "The runner takes passive mode and the firewall (SOCKS proxy) from Tidewick's\n"
    "options, as the window does.\n"
    "\n"
    "Each row that ran prints one line: its command, its name and the bytes it\n"
    "moved, separated by tabs.\n"
    "\n"
    "Exit status: 0 every row ran; 1 a row failed or skipped files (later rows\n"
    "are not run); 2 the file cannot be read or is not a queue file, or the\n"
    "command line is wrong.\n";

void writeLine(std::FILE* stream, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

int usageError(const QString& message) {
  writeLine(stderr, QStringLiteral("tidewick: ") + message);
  std::fputs("Try 'tidewick --help' for more information.\n", stderr);
  return 2;
}

QString humanBytes(qint64 bytes) {
  if (bytes < 1024) return QStringLiteral("%1 B").arg(bytes);
  const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = double(bytes);
  int unit = -1;
  while (value >= 1024 && unit < 3) {
    value /= 1024;
    ++unit;
  }
  return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

// A one-line progress bar on a terminal, redrawn at most ten times a second.
class ProgressLine {
public:
  explicit ProgressLine(bool enabled) : m_enabled(enabled) { m_clock.start(); }

  void update(const QString& name, int percent, qint64 rowBytes) {
    if (!m_enabled || (m_drawn && m_clock.elapsed() < 100)) return;
    m_clock.restart();
    percent = std::clamp(percent, 0, 100);
    constexpr int width = 30;
    const int filled = percent * width / 100;
    const QString line = QStringLiteral("\r\033[K%1% [%2%3] %4  %5")
                             .arg(percent, 3)
                             .arg(QString(filled, QLatin1Char('#')), QString(width - filled, QLatin1Char(' ')),
                                  humanBytes(rowBytes), name);
    const QByteArray bytes = line.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
    m_drawn = true;
  }

  void clear() {
    if (m_enabled && m_drawn) {
      std::fputs("\r\033[K", stdout);
      std::fflush(stdout);
    }
    m_drawn = false;
  }

private:
  bool m_enabled;
  bool m_drawn = false;
  QElapsedTimer m_clock;
};

class QueueRunner {
public:
  QueueRunner(bool verbose, bool terminal) : m_progress(terminal) {
    QuickFtp& ftp = m_rows.ftp();
    QObject::connect(&ftp, &QuickFtp::TransferProgress,
                     [this](qint64, int percent, qint64 total) { m_progress.update(m_currentFile, percent, total); });
    QObject::connect(&ftp, &QuickFtp::ReceivingFile, [this](const QString& name) { m_currentFile = name; });
    QObject::connect(&ftp, &QuickFtp::SendingFile, [this](const QString& name) { m_currentFile = name; });
    QObject::connect(&m_rows, &QueueRowRunner::Skipped, [this](const QString& name, const QString& reason) {
      m_progress.clear();
      writeLine(stderr, QStringLiteral("Skipped: %1: %2").arg(name, reason));
    });
    // Nobody is here to ask: only a certificate always trusted in the window goes.
    ui::AnswerCertificates(ftp, nullptr, nullptr, [this](const QString& refusal) {
      m_progress.clear();
      writeLine(stderr, refusal);
    });
    if (verbose)
      QObject::connect(&ftp, &QuickFtp::LogMessage, [this](const QString& line) {
        m_progress.clear();
        writeLine(stderr, line);
      });
  }

  // Runs the rows in order and stops at the first that fails.
  int run(const std::vector<QueueRow>& rows) {
    if (const std::optional<QString> refused = m_rows.Begin()) return fail(*refused);
    for (const QueueRow& row : rows) {
      m_currentFile = row.name;
      const RowResult result = m_rows.Run(row);
      if (!result.ok) return fail(result.error);
      m_progress.clear();
      writeLine(stdout, QStringLiteral("%1\t%2\t%3").arg(row.command, row.name).arg(result.bytes));
    }
    m_rows.End();
    return 0;
  }

private:
  int fail(const QString& description) {
    m_rows.End();
    m_progress.clear();
    writeLine(stderr, QStringLiteral("Error: ") + description);
    return 1;
  }

  QueueRowRunner m_rows;
  ProgressLine m_progress;
  QString m_currentFile;
};

int runQueueFile(const QString& file, bool verbose) {
  QString problem;
  const std::optional<std::vector<QueueRow>> rows =
      transfer::ReadQueueFile(file, &problem, transfer::QueueCount::WholeOnly);
  if (!rows) {
    writeLine(stderr, QStringLiteral("Error: ") + problem);
    return 2;
  }
  if (rows->empty()) {
    writeLine(stdout, QStringLiteral("The are no files queued."));
    return 0;
  }
  QueueRunner runner(verbose, ::isatty(STDOUT_FILENO) == 1);
  return runner.run(*rows);
}

} // namespace

std::optional<int> runCommandLine(int argc, char** argv) {
  std::optional<QString> queueFile;
  bool runQueue = false, verbose = false, help = false, version = false, twice = false;
  QStringList unknown;
  for (int i = 1; i < argc; ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    if (arg == QStringLiteral("--run-queue") || arg.startsWith(QStringLiteral("--run-queue="))) {
      twice = twice || runQueue;
      runQueue = true;
      if (arg.size() > 11) queueFile = arg.mid(12);
      else if (i + 1 < argc) queueFile = QString::fromLocal8Bit(argv[++i]);
    } else if (arg == QStringLiteral("--verbose")) {
      verbose = true;
    } else if (arg == QStringLiteral("--help") || arg == QStringLiteral("-h")) {
      help = true;
    } else if (arg == QStringLiteral("--version")) {
      version = true;
    } else {
      unknown << arg;
    }
  }
  // Anything else belongs to the window (/STARTUP, Qt's own options).
  if (!runQueue && !verbose && !help && !version) return std::nullopt;

  if (help) {
    std::fputs(Usage, stdout);
    return 0;
  }
  if (version) {
    std::printf("Tidewick %d.%d.%d\n", TIDEWICK_VERSION_MAJOR, TIDEWICK_VERSION_MINOR, TIDEWICK_VERSION_PATCH);
    return 0;
  }
  if (!runQueue) return usageError(QStringLiteral("--verbose needs --run-queue FILE"));
  if (twice) return usageError(QStringLiteral("--run-queue given twice"));
  if (!queueFile || queueFile->isEmpty()) return usageError(QStringLiteral("--run-queue needs a queue file"));
  if (!unknown.isEmpty()) return usageError(QStringLiteral("unknown argument \"%1\"").arg(unknown.first()));

  // The transfers wait in nested event loops, which need an application object; a console one
  // needs no display.
  std::unique_ptr<QCoreApplication> app;
  if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);
  return runQueueFile(*queueFile, verbose);
}

} // namespace tidewick::transfer
