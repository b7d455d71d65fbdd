#pragma once
// The main window with every command handler recording that it ran, so a test sees which command a
// key, entry or button reached without any subsystem behind it.

#include "app/frmMain.h"
#include "support/ScriptedPrompts.h"
#include "support/TempHome.h"

#include <QMenu>
#include <QStringList>

#include <memory>

using tidewick::app::frmMain;

class RecordingMain : public frmMain {
public:
  using frmMain::frmMain;

  QStringList ran;
  void SendFtpCommand(const QString& verb) override { ran << "SendFtpCommand " + verb; }
  void SetLocalView(int view) override { ran << QStringLiteral("SetLocalView %1").arg(view); }
  void SetRemoteView(int view) override { ran << QStringLiteral("SetRemoteView %1").arg(view); }

#define TW_RECORD(name) \
  void name() override { ran << QStringLiteral(#name); }
  // clang-format off
  TW_RECORD(ConnectWithDialog) TW_RECORD(Reconnect) TW_RECORD(DisconnectFromServer) TW_RECORD(Abort)
  TW_RECORD(SendSelection) TW_RECORD(ReceiveSelection) TW_RECORD(SyncLocalToRemote) TW_RECORD(SyncRemoteToLocal)
  TW_RECORD(RefreshLocalList) TW_RECORD(UpdateLocalCommandStates) TW_RECORD(OpenLocalFile)
  TW_RECORD(LocalTransferToQueue) TW_RECORD(DeleteLocalFiles) TW_RECORD(RenameLocalFile) TW_RECORD(CreateLocalFolder)
  TW_RECORD(RemoveLocalFolder) TW_RECORD(FindLocalFiles) TW_RECORD(ShowLocalProperties) TW_RECORD(LocalGoUp)
  TW_RECORD(DeleteLocalFileToRecycleBin) TW_RECORD(DeleteLocalFolderToRecycleBin) TW_RECORD(LocalFilterAll)
  TW_RECORD(LocalFilterDefineTypes) TW_RECORD(RefreshRemoteList) TW_RECORD(UpdateRemoteCommandStates)
  TW_RECORD(RemoteTransferToQueue) TW_RECORD(ManualFileReceive) TW_RECORD(ManualFileSend) TW_RECORD(DeleteRemoteFile)
  TW_RECORD(RenameRemoteFile) TW_RECORD(CreateRemoteFolder) TW_RECORD(RemoveRemoteFolder) TW_RECORD(MoveRemoteItems)
  TW_RECORD(RemoteGoUp) TW_RECORD(GoToRemoteDirectory) TW_RECORD(ChangeRemoteMode) TW_RECORD(RemoteFilterAll)
  TW_RECORD(RemoteFilterDefineTypes) TW_RECORD(SendCustomCommand) TW_RECORD(ShowOptions) TW_RECORD(ShowQueue)
  TW_RECORD(EmptyLocalRecycleBin) TW_RECORD(ShowTipOfTheDay) TW_RECORD(LookForHelpOn) TW_RECORD(OpenOnlineHelp)
  TW_RECORD(ShowLicenseAgreement) TW_RECORD(ShowAbout) TW_RECORD(VisitWebsite) TW_RECORD(CheckForUpgrade)
  TW_RECORD(HelpContents) TW_RECORD(ShowSplashScreen) TW_RECORD(ShowOrHide)
#undef TW_RECORD
};
// clang-format on

// Every menu of the window, the tray icon's included.
inline QList<QMenu*> menusOf(const frmMain& w) {
  return {w.miConnection, w.miTransfer, w.miLocal, w.miRemote, w.mnuTools, w.mnuView, w.mnuHelp, w.mnuPopup};
}

// Every entry below a menu, a submenu's own entry included.
inline QList<QAction*> entriesOf(const QMenu* menu) {
  QList<QAction*> out;
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    out.append(action);
    if (action->menu()) out += entriesOf(action->menu());
  }
  return out;
}

// A main window on a temporary home that shows no connection dialog at its start and ends nothing.
struct QuietMain {
  TempHome home;
  ScriptedPrompts prompts;
  std::unique_ptr<frmMain> window;

  QuietMain() {
    home.setSetting("SHOW CONNECTION ON STARTUP", "0");
    window = std::make_unique<frmMain>(prompts, QStringList{"tidewick"});
    window->setEndProgram([] {});
  }
};

// A loaded main window on a temporary home, ending through a counter instead of the program.
struct LoadedMain {
  TempHome home;
  ScriptedPrompts prompts;
  std::unique_ptr<RecordingMain> window;
  int ended = 0;

  LoadedMain() {
    window = std::make_unique<RecordingMain>(prompts, QStringList{"tidewick"});
    window->setEndProgram([this] { ++ended; });
    window->Load();
    window->ran.clear();
  }
  RecordingMain* operator->() const { return window.get(); }
};
