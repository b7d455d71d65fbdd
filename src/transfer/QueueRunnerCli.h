#pragma once
// The headless queue runner: `tidewick --run-queue FILE [--verbose]`, plus `--help` and
// `--version`. It runs a saved queue without a window, row by row as the queue window's
// "Process Que" does, and never changes the file. Meant for cron jobs, benchmarks and tests.
//
// Exit status: 0 every row ran; 1 a row failed (its "Error: " line on stderr, later rows not
// run); 2 the file could not be read (the system's reason), is over the size limit or is not a
// queue file ("Error: Wrong Queue File", also for a LISTCOUNT that is not a whole number), or a
// usage error.

#include <QtGlobal>

#include <optional>

namespace tidewick::ftp {
class QuickFtp;
}

namespace tidewick::transfer {

struct QueueRow;

// Performs one queue row through the quick component and returns the bytes it moved; throws
// FtpFailure when it fails. A name that is empty, ".", ".." or holds "/", and a port that is not a
// whole number from 1 to 65535, fail before anything connects. Shared with the queue window.
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

// Nothing when the arguments are not the runner's (the window starts then); otherwise runs and
// gives the exit status. Needs no display: it creates a QCoreApplication when none exists.
std::optional<int> runCommandLine(int argc, char** argv);

} // namespace tidewick::transfer
