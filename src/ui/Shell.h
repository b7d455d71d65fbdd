#pragma once

#include <QString>

namespace tidewick::ui {

// Opens a web address, a document or a folder with the desktop's default application. Nothing is
// reported when there is none.
void openWithShell(const QString& target);

} // namespace tidewick::ui
