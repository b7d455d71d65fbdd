#include "app/frmMain.h"
#include "settings/Globals.h"
#include "ui/UserPrompts.h"

#if __has_include("transfer/QueueRunnerCli.h")
#include "transfer/QueueRunnerCli.h"
#define TIDEWICK_HAS_RUNNER 1
#endif

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

bool haveDesktopSession() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland")) return true;
  return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

// Held for the whole run by the first copy of the program started on a Tidewick home; a later copy
// finds it taken. A copy that ended without letting go (a crash) leaves a stale lock, which the next
// start takes over.
std::unique_ptr<QLockFile> takeInstanceLock(bool& otherRunning) {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  const QByteArray home =
      QCryptographicHash::hash(tidewick::settings::AppFilePath(QString()).toUtf8(), QCryptographicHash::Sha1)
          .toHex()
          .left(16);
  auto lock = std::make_unique<QLockFile>(folder + QStringLiteral("/tidewick-") + QString::fromLatin1(home) +
                                          QStringLiteral(".lock"));
  otherRunning = !lock->tryLock(0) && lock->error() == QLockFile::LockFailedError;
  return lock;
}

} // namespace

int main(int argc, char** argv) {
#ifdef TIDEWICK_HAS_RUNNER
  if (auto status = tidewick::transfer::runCommandLine(argc, argv)) return *status;
#endif
  if (!haveDesktopSession()) {
    std::fprintf(stderr, "Tidewick needs a desktop session: neither DISPLAY nor WAYLAND_DISPLAY is set.\n");
    return 1;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tidewick"));
  QApplication::setApplicationVersion(QStringLiteral("3.1.0"));
  // The window may be hidden with only the tray icon left; the program ends through the close box
  // or the Exit command, never because no window is visible.
  QApplication::setQuitOnLastWindowClosed(false);

  bool otherRunning = false;
  const auto instanceLock = takeInstanceLock(otherRunning);

  tidewick::ui::QtUserPrompts prompts;
  tidewick::app::frmMain window(prompts, QApplication::arguments());
  window.setOtherInstanceRunning(otherRunning);
  window.Load();
  window.ShowAfterLoad();
  return app.exec();
}
