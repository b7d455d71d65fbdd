// The Help menu: the tip of the day and its start-up timer, the manual, the maker's web pages, the
// licence agreement, the about box, the upgrade check and the splash screen.
#include "app/frmMain.h"
#include "help/FrmLicense.h"
#include "help/HelpWindow.h"
#include "settings/Globals.h"
#include "settings/SettingsKeys.h"
#include "tips/FrmTips.h"
#include "tips/TipMod.h"
#include "tips/frmAbout.h"
#include "tips/frmSplash.h"
#include "ui/Shell.h"
#include "ui/UserPrompts.h"
#include "update/frmLiveUpdate.h"

#include <QTimer>

namespace tidewick::app {

namespace keys = settings::keys;

void frmMain::ShowTipOfTheDay() { tips::ShowTipsDialog(m_prompts, this, gStartupFlag); }

void frmMain::TipsTimer_Timer() {
  TipsTimer->stop();
  if (!tips::TipsFileExists()) return;
  // A window the user cannot see (minimized, or hidden in the tray) gets no tip.
  if (isMinimized() || isHidden()) return;
  if (tips::ReadTipsReport() == QLatin1String("0")) return;
  ShowTipOfTheDay();
}

void frmMain::OpenHelp(bool search) {
  if (!help::HelpAvailable(m_helpFolder)) {
    m_prompts.message(this, QStringLiteral("Tidewick - File not found error"),
                      search ? QStringLiteral("Error: Help topics could not be found.")
                             : QStringLiteral("Error, Help topics could not be found."),
                      ui::UserPrompts::OkOnly, ui::UserPrompts::Icon::Critical);
    return;
  }
  if (!m_helpWindow) m_helpWindow = new help::HelpWindow(m_helpFolder, this);
  if (search) m_helpWindow->ShowSearch();
  else m_helpWindow->ShowContents();
  m_helpWindow->show();
  m_helpWindow->raise();
  m_helpWindow->activateWindow();
}

help::HelpWindow* frmMain::helpWindow() const { return m_helpWindow; }

void frmMain::HelpContents() { OpenHelp(false); }

void frmMain::LookForHelpOn() { OpenHelp(true); }

void frmMain::OpenOnlineHelp() {
  ui::openWithShell(settings::valueOrDefault(keys::OnlineHelpAddress, keys::DefaultOnlineHelpAddress));
}

void frmMain::VisitWebsite() { ui::openWithShell(settings::valueOrDefault(keys::WebAddress, keys::DefaultWebAddress)); }

void frmMain::ShowLicenseAgreement() {
  help::FrmLicense license(this);
  license.Load();
  m_prompts.showModal(&license);
}

void frmMain::ShowAbout() {
  tips::frmAbout about(m_prompts, m_connectionProbe, this);
  about.Load();
  m_prompts.showModal(&about);
}

void frmMain::CheckForUpgrade() {
  update::frmLiveUpdate wizard(m_prompts, m_connectionProbe, this);
  wizard.Load();
  m_prompts.showModal(&wizard);
}

void frmMain::ShowSplashScreen() {
  // The tip of the day reads the flag: a splash shown on request is not the start-up.
  gStartupFlag = false;
  tips::frmSplash splash(
      [this] {
        if (!m_otherInstanceRunning) ShowTipOfTheDay();
      },
      this);
  splash.Load();
  m_prompts.showModal(&splash);
}

} // namespace tidewick::app
