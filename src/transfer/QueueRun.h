#pragma once
// Running queue rows: the one way a queued transfer is performed, shared by the queue window's
// "Process Que" and the headless runner (`tidewick --run-queue`). Each caller walks its rows in
// its own order and stops at the first failure; what a row does, when it counts as failed and what
// the failure says are decided here.
//
// Rows run through one quick component that keeps its connection from one row to the next while
// the server, port, user and password stay the same, so a queue of many small files logs in once
// instead of once a file. A row that fails closes that connection; the next row starts afresh.
// The window goes further (RunSeries): consecutive file rows of one login are handed to the
// engine's thread together, which goes from one to the next without waiting for the window.

#include "transfer/QueueFile.h"

#include "ftp/FtpTypes.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <vector>

namespace tidewick::ftp {
class QuickFtp;
}

namespace tidewick::transfer {

// Performs one queue row through the quick component and returns the bytes it moved; throws
// FtpFailure when it fails. A name that is empty, ".", ".." or holds "/", and a port that is not a
// whole number from 1 to 65535, fail before anything connects.
//   Download, File:      the remote file into the local folder
//   Download, Dir/Link:  remote folder/name/* with subfolders into local folder/name
//   Upload, File:        the local file into the remote folder
//   Upload, Dir/Link:    local folder/name/* with subfolders into remote folder/name
// Paths are joined with "/". A folder upload lands in a folder of its own name, as a folder
// download does, rather than spilling its files into the remote folder.
qint64 RunQueueRow(ftp::QuickFtp& ftp, const QueueRow& row);

// Sets passive mode, the firewall (SOCKS proxy) and the time limits from the settings store, by the
// rules every connection follows (settings/ConnectionSettings.h). Throws FtpFailure when the
// firewall is on and its port is not a whole number from 1 to 65535.
void ApplyConnectionSettings(ftp::QuickFtp& ftp);

// The outcome of one row.
struct RowResult {
  bool ok = false;
  qint64 bytes = 0;
  // Why the row failed: never empty for a failed row.
  QString error;
  ftp::FailureKind kind = ftp::FailureKind::None;
};

// The rows of a run as the queue window lists them, shared by the window and the engine's thread
// that runs them; every member may be called from either. The next row is always the first one
// listed that has not run, so a list sorted during the run changes what comes next, and a row
// done but still listed (the window catches up a few times a second) never runs again.
class RunRows {
public:
  struct Entry {
    quint64 id = 0;
    QueueRow row;
  };

  // The rows as listed now, in order: at the start, and whenever the list changes.
  void setRows(std::vector<Entry> rows);
  // The first listed row that has not run yet, when `fits` takes it; it becomes the running row.
  std::optional<Entry> next(const std::function<bool(const QueueRow&)>& fits = {});
  // The running row is done.
  void finished();
  // No more rows are handed out (an abort).
  void stop();
  // The rows done since the last call, and the running row (0 when none).
  std::vector<quint64> takeFinished(quint64* running);

private:
  std::mutex m_mutex;
  std::vector<Entry> m_rows;
  std::size_t m_first = 0; // every row before it has run
  std::unordered_set<quint64> m_done;
  std::vector<quint64> m_doneUnseen;
  quint64 m_running = 0;
  bool m_stopped = false;
};

class QueueRowRunner : public QObject {
  Q_OBJECT

public:
  explicit QueueRowRunner(QObject* parent = nullptr);
  ~QueueRowRunner() override;

  // The quick component, for its progress and log signals.
  ftp::QuickFtp& ftp() const { return *m_ftp; }

  // Reads the connection settings for the rows to come; the failure's text when they do not allow
  // a connection (a firewall port that is no port).
  std::optional<QString> Begin();
  // Runs one row. A folder row that left files behind has failed, except for links that lead back
  // into the folder being copied (their content is in the copy already).
  RowResult Run(const QueueRow& row);
  // Runs the first row `rows` offers and, while the rows after it are files to or from the same
  // server with the same login and mode, those as well, each as Run() would, without coming back
  // between them. Stops at the first failure, whose result it returns, the failing row still
  // running in `rows`; otherwise ok, with the bytes of all the rows run. `ran` counts the rows that
  // were done (0 when `rows` had none left).
  RowResult RunSeries(RunRows& rows, int* ran);
  // Stops the running row (it fails with FailureKind::Aborted).
  void Abort();
  // Quits the connection kept for the next row.
  void End();

Q_SIGNALS:
  // A file a folder row could not copy: its name and the reason.
  void Skipped(const QString& name, const QString& reason);

private:
  std::unique_ptr<ftp::QuickFtp> m_ftp;
  int m_skipped = 0;
};

} // namespace tidewick::transfer
