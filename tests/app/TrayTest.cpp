// The tray icon: added at the end of start-up, removed on every way out, and what its clicks, its
// menu and minimizing do to the main window. The offscreen platform has no notification area, so a
// fake one stands in and records what was asked of it.
#include "app/frmMain.h"
#include "support/ScriptedPrompts.h"
#include "support/TempHome.h"
#include "tray/NotificationArea.h"
#include "tray/TrayIcon.h"

#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using tidewick::app::frmMain;
using tidewick::tray::NotificationArea;

namespace {

class FakeArea final : public NotificationArea {
public:
  FakeArea(std::shared_ptr<QStringList> calls, bool available) : m_calls(std::move(calls)), m_available(available) {}
  bool isAvailable() const override { return m_available; }
  void add(const QIcon& icon, const QString& tip) override {
    *m_calls << "add " + tip + (icon.isNull() ? " without picture" : QString());
    m_added = true;
  }
  void remove() override {
    *m_calls << "remove";
    m_added = false;
  }
  bool isAdded() const override { return m_added; }
  void press(Click click) { Q_EMIT clicked(click, QPoint(20, 20)); }

private:
  std::shared_ptr<QStringList> m_calls;
  bool m_available;
  bool m_added = false;
};

struct TrayMain {
  TempHome home;
  ScriptedPrompts prompts;
  std::shared_ptr<QStringList> calls = std::make_shared<QStringList>();
  std::unique_ptr<frmMain> window;
  FakeArea* area = nullptr;
  int ended = 0;

  explicit TrayMain(bool trayAvailable = true, QStringList args = {"tidewick"}) {
    home.setSetting("SHOW CONNECTION ON STARTUP", "0");
    window = std::make_unique<frmMain>(prompts, args);
    auto fake = std::make_unique<FakeArea>(calls, trayAvailable);
    area = fake.get();
    window->setNotificationArea(std::move(fake));
    window->setEndProgram([this] { ++ended; });
  }
  void start() {
    window->Load();
    window->ShowAfterLoad();
    QCoreApplication::processEvents();
  }
};

TEST(TrayIcon, AddedAfterTheStartsConnectionDialogShowsOrHidesTheWindowAndGoesOnEveryWayOut) {
  {
    TrayMain m;
    m.home.setSetting("SHOW CONNECTION ON STARTUP", "1");
    QStringList whileDialogOpen = {"not asked"};
    m.prompts.modalAnswers.push_back([&](QDialog*) {
      whileDialogOpen = *m.calls;
      return int(QDialog::Rejected);
    });
    m.start();
    EXPECT_TRUE(whileDialogOpen.isEmpty()) << "the icon comes after the start's connection dialog";
    EXPECT_EQ(*m.calls, QStringList{"add Tidewick"});
    EXPECT_TRUE(m.window->HasTrayIcon());

    // Show / Hide in the icon's menu flips the window; the right button opens that menu.
    QAction* showHide = m.window->menuEntry("mnuPopupShow");
    for (bool shown : {false, true, false, true}) {
      showHide->trigger();
      EXPECT_EQ(m.window->isVisible(), shown);
      EXPECT_FALSE(m.window->isMinimized());
    }

    m.area->press(NotificationArea::Click::Right);
    EXPECT_TRUE(m.window->mnuPopup->isVisible());
    m.window->mnuPopup->hide();
    EXPECT_EQ(m.ended, 0);
  }

  const std::pair<const char*, std::function<void(frmMain&)>> ways[] = {
      {"close box", [](frmMain& w) { w.close(); }},
      {"Exit in the menu bar", [](frmMain& w) { w.menuEntry("mnuConnectionExit")->trigger(); }},
      {"Exit in the icon's menu", [](frmMain& w) { w.menuEntry("mnuPopupExit")->trigger(); }},
      {"F4", [](frmMain& w) { QTest::keyClick(&w, Qt::Key_F4); }},
      {"the window going without its unload", [](frmMain&) {}},
  };
  for (const auto& [name, leave] : ways) {
    TrayMain m;
    m.start();
    leave(*m.window);
    m.window.reset();
    EXPECT_EQ(*m.calls, (QStringList{"add Tidewick", "remove"})) << name;
  }
}

// Minimizing, or starting with the start-up switch, leaves only the icon where there is one to bring
// the window back, and a minimized window where there is none.
TEST(TrayIcon, MinimizingOrTheStartupSwitchHidesOnlyWhileAnIconCanBringTheWindowBack) {
  for (bool trayAvailable : {true, false})
    for (bool startupSwitch : {false, true}) {
      SCOPED_TRACE(std::string("tray ") + (trayAvailable ? "yes" : "no") + (startupSwitch ? ", /STARTUP" : ""));
      QStringList args = {"tidewick"};
      if (startupSwitch) args << "/STARTUP";
      TrayMain m(trayAvailable, args);
      m.start();
      if (!startupSwitch) {
        ASSERT_TRUE(m.window->isVisible());
        m.window->showMinimized();
        QCoreApplication::processEvents();
      }
      EXPECT_EQ(m.window->isVisible(), !trayAvailable);
      if (!trayAvailable) {
        EXPECT_TRUE(m.window->isMinimized());
        continue;
      }

      // Buttons other than the left one leave it hidden; the left one restores it, not minimized.
      m.area->press(NotificationArea::Click::Other);
      EXPECT_FALSE(m.window->isVisible());
      m.area->press(NotificationArea::Click::Left);
      EXPECT_TRUE(m.window->isVisible());
      EXPECT_FALSE(m.window->isMinimized());
    }
}

} // namespace
