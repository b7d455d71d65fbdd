#pragma once
// On/off settings read at start-up, by folder synchronisation and by each window's placement restore.
//
// Such a switch is on when the stored value says so, or when the matching control of the options
// dialog is checked (selected, for the two log options). The dialog fills in the reader below; where
// it is not there (a program without windows), the control is taken as the dialog would load it:
// from the stored value when there is one, otherwise from the dialog's own default, which is "on"
// for every switch here. So a missing switch counts as on, while the same key read directly with
// "0" for missing is off; a stored text that is not a number loads unchecked, so it counts as off.

#include <QString>

#include <functional>
#include <optional>

namespace tidewick::settings {

// Reads the options dialog's control for a key, creating the dialog (hidden) when it does not exist
// yet; nothing means "no such control".
using OptionControlReader = std::function<std::optional<bool>(const QString& key)>;
void setOptionControlReader(OptionControlReader reader);

// A number or boolean text as the switch rule reads it; nothing when the text is absent or is not a
// number ("True"/"False", in any case, count as booleans; other numbers than 0 are true).
std::optional<double> numberFromText(const QString& text);
std::optional<bool> booleanFromText(const QString& text);
// The text a boolean is stored as ("True" or "False"), as booleanFromText reads it back.
QString booleanText(bool on);
// The same for the stored value of a key.
std::optional<double> storedNumber(const QString& key);
std::optional<bool> storedBoolean(const QString& key);

// Whether the control of the options dialog for `key` is checked (selected), as the dialog loads it.
bool optionControlChecked(const QString& key);

bool switchIsOn(const QString& key);

} // namespace tidewick::settings
