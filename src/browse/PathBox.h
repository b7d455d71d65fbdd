#pragma once
// A pane's path box: an editable list of the folders visited whose text always names the folder
// the pane lists. Enter goes to the typed folder; text typed and then left (for another control of
// the window) is replaced by the listed folder again, so the box never names a folder not shown.

#include <functional>

class QComboBox;
class QString;

namespace tidewick::browse {

// Makes `box` editable without letting typed text become an entry by itself, sends the text
// typed before Enter to `entered`, and calls `abandoned` when the user leaves the box with text
// typed but not entered.
void setUpPathBox(QComboBox* box, std::function<void(const QString& typed)> entered, std::function<void()> abandoned);

} // namespace tidewick::browse
