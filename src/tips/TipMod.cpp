#include "tips/TipMod.h"

#include "settings/Globals.h"
#include "settings/SettingsKeys.h"

#include <QLabel>
#include <QTime>

#include <algorithm>
#include <cmath>
#include <random>

namespace tidewick::tips {

QStringList TipTable() {
  return {
      QStringLiteral("Double clicking on any file on the remote side will transfer the file to the local directory "
                     "and vice versa."),
      QStringLiteral("You can select files or folders by using the Shift + down arrow key or by using your mouse on "
                     "the local file list, you can drag and drop the file to the Remote files list to start "
                     "uploading."),
      QStringLiteral("You can select files or folders by using the Shift + down arrow key or by using your mouse on "
                     "the remote file list, you can drag and drop the file to the Local files list to start "
                     "downloading."),
      QStringLiteral("You can find out if there is a newer version of the software by going to the 'Help menu', and "
                     "choosing the 'check for upgrade!' in the main window."),
      QStringLiteral("To find out about this program click on the 'Help Menu' and choose the 'About Tidewick' in the "
                     "main window menu."),
      QStringLiteral("To view the license agreement you can click on the 'Help menu' from the main screen and choose "
                     "the 'License Agreement' submenu."),
      QStringLiteral("If you don't want this tip screen to appear at startup then uncheck the checkbox displayed on "
                     "this dialog."),
      QStringLiteral("You can resize the main window to fit your specifications."),
      QStringLiteral("By using the shortcut F8 Key, you can popup the connection window."),
      QStringLiteral("By using the shortcut F9 Key, you can reconnect to the last connected to site in the current "
                     "session."),
      QStringLiteral("By using the shortcut F4 Key, you can exit Tidewick at any time."),
      QStringLiteral("By using the shortcut Ctrl+U, you can upload the selected files / folders to the remote server "
                     "if connected!."),
      QStringLiteral("By using the shortcut Ctrl+F, you can popup the find files on the local server."),
      QStringLiteral("By using the shortcut Ctrl+D, you can download the selected files / folders to the local side "
                     "if connected!."),
      QStringLiteral("By using the shortcut Ctrl+O, you can popup the Tidewick options window."),
  };
}

int TipIndexForDraw(double r) {
  const double scaled = r * 14.0;
  const double below = std::floor(scaled);
  const double fraction = scaled - below;
  int index = static_cast<int>(below);
  if (fraction > 0.5 || (fraction == 0.5 && index % 2 != 0)) ++index;
  return std::clamp(index, 0, 14);
}

double DrawFromTimeOfDay() {
  std::mt19937 generator(static_cast<std::mt19937::result_type>(QTime::currentTime().msecsSinceStartOfDay()));
  return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

void ShowRandomTip(QLabel* target) { target->setText(TipTable().at(TipIndexForDraw(DrawFromTimeOfDay()))); }

QString TipsFilePath() { return settings::AppFilePath(settings::keys::tips::File); }

bool TipsFileExists() { return settings::FileExists(TipsFilePath()); }

QString ReadTipsReport() {
  return settings::ReadIniString(TipsFilePath(), settings::keys::tips::Section, settings::keys::tips::Report);
}

void WriteTipsReport(bool show) {
  // The folder belongs to the installation: no folder, no choice kept.
  if (!settings::FolderExists(settings::AppFilePath(QStringLiteral("Ini")))) return;
  settings::WriteIniString(settings::keys::tips::Section, settings::keys::tips::Report,
                           show ? QStringLiteral("1") : QStringLiteral("0"), TipsFilePath());
}

} // namespace tidewick::tips
