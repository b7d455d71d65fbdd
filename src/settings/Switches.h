#pragma once
// On/off settings read at start-up, by folder synchronisation and by each window's placement restore.
//
// Such a switch is on when the stored value says so, or when the matching control of the options
// dialog is checked (selected, for the two log options). Until the dialog has been created, the
// control is taken as the dialog would load it: from the stored value when there is one, otherwise
// from the dialog's own default, which is "on" for every switch here. So a missing switch counts as
// on, while the same key read directly with "0" for missing is off.

#include <QString>

#include <functional>
#include <optional>

namespace tidewick::settings {

// Reads the named option control once the options dialog exists; nothing means "no such control".
using OptionControlReader = std::function<std::optional<bool>(const QString& key)>;
void setOptionControlReader(OptionControlReader reader);

// A stored number or boolean text as the switch rule reads it; nothing when the text is absent or
// is not a number ("True"/"False" count as booleans for the log options only).
std::optional<double> storedNumber(const QString& key);
std::optional<bool> storedBoolean(const QString& key);

// Whether the control of the options dialog for `key` is checked (selected), as the dialog loads it.
bool optionControlChecked(const QString& key);

bool switchIsOn(const QString& key);

} // namespace tidewick::settings
