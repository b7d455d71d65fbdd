#pragma once
// The headless queue runner: `tidewick --run-queue FILE [--verbose]`, plus `--help` and
// `--version`. It runs a saved queue without a window, row by row as the queue window's
// "Process Que" does (transfer/QueueRun.h), and never changes the file. Meant for cron jobs,
// benchmarks and tests.
//
// Exit status: 0 every row ran; 1 a row failed (its "Error: " line on stderr, later rows not
// run); 2 the file could not be read (the system's reason), is over the size limit or is not a
// queue file ("Error: Wrong Queue File", also for a LISTCOUNT that is not a whole number), or a
// usage error.

#include <QtGlobal>

#include <optional>

namespace tidewick::transfer {

// Nothing when the arguments are not the runner's (the window starts then); otherwise runs and
// gives the exit status. Needs no display: it creates a QCoreApplication when none exists.
std::optional<int> runCommandLine(int argc, char** argv);

} // namespace tidewick::transfer
