#pragma once
// Comparing a date a server listed with a local file's date.
//
// A listing says how exact its dates are: MLSD gives seconds in UTC, LIST gives minutes (or only
// the day for older files), and the engine reads every listed date as UTC. A local file's time is
// exact to the nanosecond. Two dates are compared at the precision both sides have, so a file
// copied with its date kept compares equal to its source instead of a few seconds apart.

#include "ftp/FtpTypes.h"

#include <QDateTime>

#include <optional>

namespace tidewick::transfer {

// Below zero when the listed date is earlier than the local one, zero when they are the same at
// the listing's precision, above zero when it is later; nothing when either date is unknown.
std::optional<int> compareListedDate(const QDateTime& listed, ftp::DatePrecision precision, const QDateTime& local);

// The date as the dialogs and the log show it: the user's short date in local time, with the
// time unless it is midnight.
QString generalDateText(const QDateTime& date);

} // namespace tidewick::transfer
