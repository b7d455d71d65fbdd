#include "app/frmMain.h"
#include "ui/UserPrompts.h"

#if __has_include("transfer/QueueRunnerCli.h")
#include "transfer/QueueRunnerCli.h"
#define TIDEWICK_HAS_RUNNER 1
#endif

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

bool haveDesktopSession() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland")) return true;
  return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty();
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

  tidewick::ui::QtUserPrompts prompts;
  tidewick::app::frmMain window(prompts, QApplication::arguments());
  window.Load();
  window.ShowAfterLoad();
  return app.exec();
}
