// The main window's commands: what each menu entry, toolbar button, command button and shortcut
// runs, the enabling of commands by connection state, and the View toggles.
#include "app/frmMain.h"
#include "browse/FilePaneView.h"
#include "ftp/FtpClient.h"
#include "log/LogList.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolBar>

#include <functional>

namespace tidewick::app {

using browse::FilePaneView;

QAction* frmMain::ToolbarButton(const QToolBar* toolbar, const QString& key) {
  for (QAction* action : toolbar->actions())
    if (!action->isSeparator() && action->property("key").toString() == key) return action;
  return nullptr;
}

QAction* frmMain::ToolbarButtonAt(const QToolBar* toolbar, int position) {
  const QList<QAction*> actions = toolbar->actions();
  return position >= 1 && position <= actions.size() ? actions.at(position - 1) : nullptr;
}

QAction* frmMain::menuEntry(const QString& name) const {
  for (QMenu* menu : {miConnection, miTransfer, miLocal, miRemote, mnuTools, mnuView, mnuHelp, mnuPopup}) {
    if (!menu) continue;
    if (menu->objectName() == name) return menu->menuAction();
    if (auto* entry = menu->findChild<QAction*>(name)) return entry;
  }
  return nullptr;
}

void frmMain::ConnectCommands() {
  const std::pair<const char*, std::function<void()>> entries[] = {
      {"miConnect", [this] { ConnectWithDialog(); }},
      {"miReconnect", [this] { Reconnect(); }},
      {"miDisconnect", [this] { DisconnectFromServer(); }},
      {"miAbort", [this] { Abort(); }},
      {"mnuConnectionExit", [this] { QuickExit(); }},
      {"miSend", [this] { SendSelection(); }},
      {"miReceive", [this] { ReceiveSelection(); }},
      {"mnuLocalRefresh",
       [this] {
         RefreshLocalList();
         UpdateLocalCommandStates();
       }},
      {"mnuLocalOpenFile", [this] { OpenLocalFile(); }},
      {"mnuLocalUpload", [this] { SendSelection(); }},
      {"mnuLocalTransferToQue", [this] { LocalTransferToQueue(); }},
      {"miDeleteLocalFile", [this] { DeleteLocalFiles(); }},
      {"miRenameLocalFile", [this] { RenameLocalFile(); }},
      {"miCreateLocalFolder", [this] { CreateLocalFolder(); }},
      {"miRemoveLocalFolder", [this] { RemoveLocalFolder(); }},
      {"mnuLocalFindFiles", [this] { FindLocalFiles(); }},
      {"mnuLocalProperties", [this] { ShowLocalProperties(); }},
      {"mnuLocalGoUp", [this] { LocalGoUp(); }},
      {"mnuLocalDeleteFileToRecycleBin", [this] { DeleteLocalFileToRecycleBin(); }},
      {"mnuDelteFolderToRecycleBin", [this] { DeleteLocalFolderToRecycleBin(); }},
      {"mnuLocalFilterAll", [this] { LocalFilterAll(); }},
      {"mnuLocalFilterDefineTypes", [this] { LocalFilterDefineTypes(); }},
      {"mnuRemoteRefresh",
       [this] {
         RefreshRemoteList();
         UpdateRemoteCommandStates();
       }},
      {"mnuRemoteDownload", [this] { ReceiveSelection(); }},
      {"mnuRemoteTransferToQue", [this] { RemoteTransferToQueue(); }},
      {"mnuRemoteManualFileReceive", [this] { ManualFileReceive(); }},
      {"mnuRemoteManualPut", [this] { ManualFileSend(); }},
      {"miDeleteRemoteFile", [this] { DeleteRemoteFile(); }},
      {"miRenameRemoteFile", [this] { RenameRemoteFile(); }},
      {"miCreateRemoteFolder", [this] { CreateRemoteFolder(); }},
      {"miRemoveRemoteFolder", [this] { RemoveRemoteFolder(); }},
      {"mnuRemoteMoveFileOrFolder", [this] { MoveRemoteItems(); }},
      {"mnuRemoteGoUpDirectory", [this] { RemoteGoUp(); }},
      {"mnuRemoteGoToRemoteDirectory", [this] { GoToRemoteDirectory(); }},
      {"mnuRemoteChangeMode", [this] { ChangeRemoteMode(); }},
      {"mnuRemoteFilterAll", [this] { RemoteFilterAll(); }},
      {"mnuRemoteFilterDefineTypes", [this] { RemoteFilterDefineTypes(); }},
      {"mnuRemoteSendCommand", [this] { SendCustomCommand(); }},
      {"mnuRemoteFtpCommandsHelp", [this] { SendFtpCommand(QStringLiteral("HELP")); }},
      {"mnuRemoteFtpCommandsCwd", [this] { SendFtpCommand(QStringLiteral("CWD")); }},
      {"mnuRemoteFtpCommandsPwd", [this] { SendFtpCommand(QStringLiteral("PWD")); }},
      {"mnuRemoteFtpCommandsSyst", [this] { SendFtpCommand(QStringLiteral("SYST")); }},
      {"mnuRemoteFtpCommandsQuote", [this] { SendFtpCommand(QStringLiteral("QUOTE")); }},
      {"mnuRemoteFtpCommandsList", [this] { SendFtpCommand(QStringLiteral("LIST")); }},
      {"mnuRemoteFtpCommandsNlst", [this] { SendFtpCommand(QStringLiteral("NLST")); }},
      {"mnuRemoteFtpCommandsRetr", [this] { ManualFileReceive(); }},
      {"mnuRemoteFtpCommandsStor", [this] { ManualFileSend(); }},
      {"mnuLocalShowBigIcons", [this] { SetLocalView(0); }},
      {"mnuLocalShowSmallIcons", [this] { SetLocalView(1); }},
      {"mnuLocalShowList", [this] { SetLocalView(2); }},
      {"mnuLocalShowReport", [this] { SetLocalView(3); }},
      {"mnuRemoteShowBigIcons", [this] { SetRemoteView(0); }},
      {"mnuRemoteShowSmallIcons", [this] { SetRemoteView(1); }},
      {"mnuRemoteShowList", [this] { SetRemoteView(2); }},
      {"mnuRemoteShowReport", [this] { SetRemoteView(3); }},
      {"mnuToolsOptions", [this] { ShowOptions(); }},
      {"mnuToolsShowLog", [this] { ShowLog(); }},
      {"mnuToolsSaveLog", [this] { SaveLog(); }},
      {"mnuToolsClearLog", [this] { ClearLog(); }},
      {"mnuToolsShowQue", [this] { ShowQueue(); }},
      {"mnuToolsEmptyLocalRecycleBin", [this] { EmptyLocalRecycleBin(); }},
      {"mnuViewShowLocalRemoteToolbars", [this] { ToggleLocalRemoteToolbars(); }},
      {"mnuViewShowConnectDisconnectToolbar", [this] { ToggleConnectionToolbar(); }},
      {"mnuViewShowWindowButtons", [this] { ToggleWindowButtons(); }},
      {"mnuViewShowConnectionInfoLog", [this] { ToggleConnectionLog(); }},
      {"mnuHelpTipOfTheDay", [this] { ShowTipOfTheDay(); }},
      {"mnuHelpLookForHelpOn", [this] { LookForHelpOn(); }},
      {"mnuOnlineHelp", [this] { OpenOnlineHelp(); }},
      {"mnuHelpLicenseAgreement", [this] { ShowLicenseAgreement(); }},
      {"mnuAboutUs", [this] { ShowAbout(); }},
      {"mnuVisitOurSite", [this] { VisitWebsite(); }},
      {"mnuHelpCheckForNewerVersion", [this] { CheckForUpgrade(); }},
      {"mnuHelpSplashScreen", [this] { ShowSplashScreen(); }},
      {"mnuHelpContents", [this] { HelpContents(); }},
      {"mnuPopupShow", [this] { ShowOrHide(); }},
      {"mnuPopupExit", [this] { QuickExit(); }},
  };
  for (const auto& [name, run] : entries) {
    QAction* entry = menuEntry(QString::fromLatin1(name));
    Q_ASSERT_X(entry, "frmMain::ConnectCommands", name);
    if (entry) connect(entry, &QAction::triggered, this, run);
  }

  const std::pair<QPushButton*, std::function<void()>> buttons[] = {
      {cmdConnect, [this] { ConnectWithDialog(); }},
      {cmdDisconnect, [this] { DisconnectFromServer(); }},
      {cmdAbort, [this] { Abort(); }},
      {cmdSend, [this] { SendSelection(); }},
      {cmdReceive, [this] { ReceiveSelection(); }},
      {cmdSyncDir, [this] { SyncLocalToRemote(); }},
      {cmdDirSyncDown, [this] { SyncRemoteToLocal(); }},
      {cmdDeleteLocalFile, [this] { DeleteLocalFiles(); }},
      {cmdRenameLocalFile, [this] { RenameLocalFile(); }},
      {cmdCreateLocalFolder, [this] { CreateLocalFolder(); }},
      {cmdRemoveLocalFolder, [this] { RemoveLocalFolder(); }},
      {cmdDeleteRemoteFile, [this] { DeleteRemoteFile(); }},
      {cmdRenameRemoteFile, [this] { RenameRemoteFile(); }},
      {cmdCreateRemoteFolder, [this] { CreateRemoteFolder(); }},
      {cmdDeleteRemoteFolder, [this] { RemoveRemoteFolder(); }},
      {cmdUpLocal, [this] { LocalGoUp(); }},
      {cmdUpFtp, [this] { RemoteGoUp(); }},
  };
  for (const auto& [button, run] : buttons) connect(button, &QPushButton::clicked, this, run);

  auto byKey = [](QAction* action) { return action->property("key").toString(); };
  connect(Toolbar1, &QToolBar::actionTriggered, this, [this, byKey](QAction* a) { Toolbar1_ButtonClick(byKey(a)); });
  connect(Toolbar2, &QToolBar::actionTriggered, this, [this, byKey](QAction* a) { Toolbar2_ButtonClick(byKey(a)); });
  connect(Toolbar3, &QToolBar::actionTriggered, this, [this, byKey](QAction* a) { Toolbar3_ButtonClick(byKey(a)); });
  connect(Toolbar4, &QToolBar::actionTriggered, this, [this, byKey](QAction* a) { Toolbar4_ButtonClick(byKey(a)); });
  connect(Toolbar5, &QToolBar::actionTriggered, this,
          [this](QAction* a) { Toolbar5_ButtonClick(static_cast<int>(Toolbar5->actions().indexOf(a)) + 1); });
  connect(Toolbar6, &QToolBar::actionTriggered, this,
          [this](QAction* a) { Toolbar6_ButtonClick(static_cast<int>(Toolbar6->actions().indexOf(a)) + 1); });

  connect(optAscii, &QRadioButton::toggled, this, [this](bool on) {
    if (on) optAscii_Click();
  });
  connect(optBinary, &QRadioButton::toggled, this, [this](bool on) {
    if (on) optBinary_Click();
  });
}

// ---- toolbars

void frmMain::Toolbar1_ButtonClick(const QString& key) {
  // The local and remote file buttons do what the same buttons of the panes' toolbars do.
  if (key == QLatin1String("NewFolder") || key == QLatin1String("DelFolder") || key == QLatin1String("DelFile") ||
      key == QLatin1String("Rename"))
    Toolbar2_ButtonClick(key);
  else if (key == QLatin1String("Reload2") || key == QLatin1String("NewFolder2") ||
           key == QLatin1String("DelFolder2") || key == QLatin1String("DelFile2") || key == QLatin1String("Rename2"))
    Toolbar3_ButtonClick(key);
  else if (key == QLatin1String("Connect")) ConnectWithDialog();
  else if (key == QLatin1String("Disconnect")) DisconnectFromServer();
  else if (key == QLatin1String("Reconnect")) Reconnect();
  else if (key == QLatin1String("Abort")) Abort();
  else if (key == QLatin1String("Upload")) SendSelection();
  else if (key == QLatin1String("Download")) ReceiveSelection();
  else if (key == QLatin1String("LocalDirSync")) SyncRemoteToLocal();
  else if (key == QLatin1String("RemoteDirSync")) SyncLocalToRemote();
  else if (key == QLatin1String("Exit")) QuickExit();
}

void frmMain::Toolbar2_ButtonClick(const QString& key) {
  if (key == QLatin1String("Reload")) {
    RefreshLocalList();
    UpdateLocalCommandStates();
  } else if (key == QLatin1String("NewFolder")) CreateLocalFolder();
  else if (key == QLatin1String("DelFolder")) RemoveLocalFolder();
  else if (key == QLatin1String("DelFile")) DeleteLocalFiles();
  else if (key == QLatin1String("Rename")) RenameLocalFile();
  else if (key == QLatin1String("Upload")) SendSelection();
}

void frmMain::Toolbar3_ButtonClick(const QString& key) {
  if (key == QLatin1String("Reload2")) {
    RefreshRemoteList();
    UpdateRemoteCommandStates();
  } else if (key == QLatin1String("NewFolder2")) CreateRemoteFolder();
  else if (key == QLatin1String("DelFolder2")) RemoveRemoteFolder();
  else if (key == QLatin1String("DelFile2")) DeleteRemoteFile();
  else if (key == QLatin1String("Rename2")) RenameRemoteFile();
  else if (key == QLatin1String("DownLoad")) ReceiveSelection();
}

void frmMain::Toolbar4_ButtonClick(const QString& key) {
  if (key == QLatin1String("Connect")) ConnectWithDialog();
  else if (key == QLatin1String("Disconnect")) DisconnectFromServer();
  else if (key == QLatin1String("Abort")) Abort();
  else if (key == QLatin1String("Upload")) SendSelection();
  else if (key == QLatin1String("Download")) ReceiveSelection();
  else if (key == QLatin1String("DirSyncUp")) SyncLocalToRemote();
  else if (key == QLatin1String("DirSyncDown")) SyncRemoteToLocal();
}

void frmMain::Toolbar5_ButtonClick(int position) {
  switch (position) {
    case 1: LocalGoUp(); break;
    case 4: SendSelection(); break;
    case 6: SetLocalView(0); break;
    case 7: SetLocalView(1); break;
    case 8: SetLocalView(2); break;
    case 9: SetLocalView(3); break;
    case 3: DeleteLocalFiles(); break; // "Delete selection"
    case 11: CreateLocalFolder(); break;
    default: break;
  }
}

void frmMain::Toolbar6_ButtonClick(int position) {
  switch (position) {
    case 1: RemoteGoUp(); break;
    case 4: ReceiveSelection(); break;
    case 6: SetRemoteView(0); break;
    case 7: SetRemoteView(1); break;
    case 8: SetRemoteView(2); break;
    case 9: SetRemoteView(3); break;
    case 3: DeleteRemoteFile(); break;    // "Delete"
    case 11: CreateRemoteFolder(); break; // "New Folder"
    default: break;
  }
}

// ---- command states

void frmMain::SetConnectedState(bool connected) {
  for (QWidget* control :
       std::initializer_list<QWidget*>{cmdDisconnect, cmdSend, cmdUpFtp, cmdSyncDir, cmdDirSyncDown,
                                       cmdCreateRemoteFolder, optAscii, optBinary, cboRemotePath, Toolbar3, Toolbar6})
    control->setEnabled(connected);
  cmdConnect->setEnabled(!connected);

  for (const char* name : {"miDisconnect", "miSend", "mnuLocalUpload", "mnuLocalTransferToQue", "miCreateRemoteFolder"})
    menuEntry(QString::fromLatin1(name))->setEnabled(connected);
  miTransfer->menuAction()->setEnabled(connected);
  miRemote->menuAction()->setEnabled(connected);
  menuEntry(QStringLiteral("miConnect"))->setEnabled(!connected);
  menuEntry(QStringLiteral("miReconnect"))->setEnabled(!connected);

  for (const char* key : {"Disconnect", "Upload", "LocalDirSync", "RemoteDirSync", "Reload2", "NewFolder2",
                          "DelFolder2", "DelFile2", "Rename2"})
    ToolbarButton(Toolbar1, QString::fromLatin1(key))->setEnabled(connected);
  for (const char* key : {"Connect", "Reconnect"})
    ToolbarButton(Toolbar1, QString::fromLatin1(key))->setEnabled(!connected);
  for (const char* key : {"Disconnect", "Upload", "DirSyncUp", "DirSyncDown"})
    ToolbarButton(Toolbar4, QString::fromLatin1(key))->setEnabled(connected);
  ToolbarButton(Toolbar4, QStringLiteral("Connect"))->setEnabled(!connected);
  ToolbarButtonAt(Toolbar5, 4)->setEnabled(connected); // "Upload selection"

  // SFTP carries no FTP commands; its permission change has an attribute call of its own.
  const bool ftpCommands = connected && !xFtp->isSftp();
  for (const char* name : {"mnuRemoteSendCommand", "mnuRemoteFtpCommands"})
    menuEntry(QString::fromLatin1(name))->setEnabled(ftpCommands);
}

void frmMain::SetAbortEnabled(bool busy) {
  cmdAbort->setEnabled(busy);
  menuEntry(QStringLiteral("miAbort"))->setEnabled(busy);
  ToolbarButton(Toolbar1, QStringLiteral("Abort"))->setEnabled(busy);
  ToolbarButton(Toolbar4, QStringLiteral("Abort"))->setEnabled(busy);
}

void frmMain::optAscii_Click() { xFtp->setTransferMode(ftp::TransferType::Ascii); }
void frmMain::optBinary_Click() { xFtp->setTransferMode(ftp::TransferType::Binary); }

// ---- View

void frmMain::ToggleLocalRemoteToolbars() {
  Picture3->setVisible(Picture3->isHidden());
  Picture4->setVisible(Picture4->isHidden());
  menuEntry(QStringLiteral("mnuViewShowLocalRemoteToolbars"))->setChecked(!Picture3->isHidden());
}

void frmMain::ToggleConnectionToolbar() {
  Toolbar1->setVisible(Toolbar1->isHidden());
  menuEntry(QStringLiteral("mnuViewShowConnectDisconnectToolbar"))->setChecked(!Toolbar1->isHidden());
}

void frmMain::ToggleWindowButtons() {
  // No action: the entry keeps the mark it had before it was chosen.
  QAction* entry = menuEntry(QStringLiteral("mnuViewShowWindowButtons"));
  entry->setChecked(!entry->isChecked());
}

void frmMain::ToggleConnectionLog() {
  lstConnectionInfo->setVisible(lstConnectionInfo->isHidden());
  menuEntry(QStringLiteral("mnuViewShowConnectionInfoLog"))->setChecked(!lstConnectionInfo->isHidden());
}

} // namespace tidewick::app
