#include "ui/Shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace tidewick::ui {

void openWithShell(const QString& target) {
  QUrl url = QFileInfo::exists(target) ? QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath())
                                       : QUrl::fromUserInput(target);
  if (url.isValid()) QDesktopServices::openUrl(url);
}

} // namespace tidewick::ui
