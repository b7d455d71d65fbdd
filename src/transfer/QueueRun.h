#pragma once
// Running queue rows: the one way a queued transfer is performed, shared by the queue window's
// "Process Que" and the headless runner (`tidewick --run-queue`). Each caller walks its rows in
// its own order and stops at the first failure; what a row does, when it counts as failed and what
// the failure says are decided here.
//
// Rows run through one quick component that keeps its connection from one row to the next while
// the server, port, user and password stay the same, so a queue of many small files logs in once
// instead of once a file. A row that fails closes that connection; the next row starts afresh.

#include "transfer/QueueFile.h"

#include "ftp/FtpTypes.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

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
