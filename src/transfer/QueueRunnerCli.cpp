#include "transfer/QueueRunnerCli.h"

#include "ftp/FtpFailure.h"
#include "ftp/FtpTypes.h"
#include "ftp/QuickFtp.h"
#include "settings/ConnectionSettings.h"
#include "settings/Globals.h"
#include "transfer/QueueFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace tidewick::transfer {

using ftp::FailureKind;
using ftp::FtpFailure;
using ftp::QuickFtp;
using settings::LeadingNumber;
using settings::withTrailingSlash;

namespace {

// The port text as the whole number nearest to its leading number, when that is a usable port.
std::optional<int> rowPort(const QString& text) {
  const double port = std::nearbyint(LeadingNumber(text));
  if (!(port >= 1 && port <= 65535)) return std::nullopt;
  return int(port);
}

QString portFailure(const QString& what, const QString& text) {
  return QStringLiteral("The %1 \"%2\" is not a whole number from 1 to 65535").arg(what, text);
}

// A row names one item inside its two folders. A name that is a path, or that points at a folder
// itself, would make the transfer read or write outside them (a queue file is plain text anyone
// can hand over), so such a row is refused before anything connects.
bool isSingleName(const QString& name) {
  return !name.isEmpty() && name != QStringLiteral(".") && name != QStringLiteral("..") &&
         !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

} // namespace

void ApplyConnectionSettings(QuickFtp& ftp) {
  const settings::ConnectionSettings connection = settings::ConnectionSettings::read();
  if (!connection.usable())
    throw FtpFailure(portFailure(QStringLiteral("firewall proxy port"), connection.firewallPortText),
                     FailureKind::InvalidArgument);
  settings::applyConnectionSettings(connection, ftp);
}

qint64 RunQueueRow(QuickFtp& ftp, const QueueRow& row) {
  if (!isSingleName(row.name))
    throw FtpFailure(
        QStringLiteral("The queued name \"%1\" is not a single file or folder name; the row was not run").arg(row.name),
        FailureKind::InvalidArgument);
  const std::optional<int> port = rowPort(row.port);
  if (!port) throw FtpFailure(portFailure(QStringLiteral("port number"), row.port), FailureKind::InvalidArgument);
  const bool ascii = row.transferMode != QStringLiteral("Binary");
  const bool folder = row.type == QStringLiteral("Link") || row.type == QStringLiteral("Dir");
  const bool withSubfolders = true; // a queued folder always goes whole

  const QString remoteFolder = withTrailingSlash(row.remotePath);
  const QString localFolder = withTrailingSlash(row.localPath);
  const QString remoteFile = remoteFolder + row.name;
  const QString localFile = localFolder + row.name;

  if (row.command == QStringLiteral("Download")) {
    if (folder)
      return ftp.QuickReceiveFiles(row.hostAddress, *port, row.userName, row.password,
                                   remoteFolder + withTrailingSlash(row.name) + QStringLiteral("*"), withSubfolders,
                                   localFile, ascii);
    return ftp.QuickReceiveFile(row.hostAddress, *port, row.userName, row.password, remoteFile, localFile, ascii);
  }
  if (folder)
    return ftp.QuickSendFiles(row.hostAddress, *port, row.userName, row.password,
                              localFolder + withTrailingSlash(row.name) + QStringLiteral("*"), withSubfolders,
                              remoteFile, ascii);
  return ftp.QuickSendFile(row.hostAddress, *port, row.userName, row.password, localFile, remoteFile, ascii);
}

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
    QObject::connect(&m_ftp, &QuickFtp::TransferProgress,
                     [this](qint64, int percent, qint64 total) { m_progress.update(m_currentFile, percent, total); });
    QObject::connect(&m_ftp, &QuickFtp::ReceivingFile, [this](const QString& name) { m_currentFile = name; });
    QObject::connect(&m_ftp, &QuickFtp::SendingFile, [this](const QString& name) { m_currentFile = name; });
    QObject::connect(
        &m_ftp, &QuickFtp::FileSkipped, [this](const QString& remoteName, const QString& localName, int reason) {
          // A link back into a folder being copied leaves nothing behind: its content is in
          // the copy already. It is reported but does not fail the row.
          if (reason != int(ftp::SkipReason::LinkLoop)) ++m_skipped;
          m_progress.clear();
          writeLine(stderr, QStringLiteral("Skipped: %1: %2")
                                .arg(remoteName.isEmpty() ? localName : remoteName, ftp::skipReasonText(reason)));
        });
    if (verbose)
      QObject::connect(&m_ftp, &QuickFtp::LogMessage, [this](const QString& line) {
        m_progress.clear();
        writeLine(stderr, line);
      });
  }

  // Runs the rows in order and stops at the first that fails.
  int run(const std::vector<QueueRow>& rows) {
    try {
      transfer::ApplyConnectionSettings(m_ftp);
    } catch (const FtpFailure& failure) {
      return fail(failure.description());
    }
    for (const QueueRow& row : rows) {
      m_currentFile = row.name;
      m_skipped = 0;
      qint64 bytes = 0;
      try {
        bytes = transfer::RunQueueRow(m_ftp, row);
      } catch (const FtpFailure& failure) {
        return fail(failure.description().isEmpty()
                        ? QStringLiteral("%1 %2 failed (%3)").arg(row.command, row.name).arg(failure.number())
                        : failure.description());
      } catch (const std::exception& failure) {
        return fail(QString::fromLocal8Bit(failure.what()));
      }
      m_progress.clear();
      // A folder row that left files behind did not do its job; cron must hear of it.
      if (m_skipped > 0)
        return fail(QStringLiteral("%1 %2: %3 item(s) skipped").arg(row.command, row.name).arg(m_skipped));
      writeLine(stdout, QStringLiteral("%1\t%2\t%3").arg(row.command, row.name).arg(bytes));
    }
    return 0;
  }

private:
  int fail(const QString& description) {
    m_progress.clear();
    writeLine(stderr, QStringLiteral("Error: ") + description);
    return 1;
  }

  QuickFtp m_ftp;
  ProgressLine m_progress;
  QString m_currentFile;
  int m_skipped = 0;
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
