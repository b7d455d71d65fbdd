#pragma once
// Saving one log line to a file of the user's choosing, from the main window's log list and from
// the log window's copy of it.

#include <QString>

class QWidget;

namespace tidewick::ui {
class UserPrompts;
}

namespace tidewick::log {

class LogList;

// Saves the selected line of `list` as "Log/<name>.log" below the Tidewick home, asking for the
// name. The file is replaced whole, so nothing of an earlier, longer save is left behind. A name
// that cannot be a file name, or a file that cannot be written, is reported and nothing is written.
// Returns the path written, or the empty text.
QString SaveLogLine(QWidget* parent, ui::UserPrompts& prompts, const LogList& list);

} // namespace tidewick::log
