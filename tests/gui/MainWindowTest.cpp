// The main window's shell: shortcuts, menus, toolbars and buttons reaching their commands, the
// enabling of commands by connection state, the View toggles, the transfer mode, the arrangement
// of the controls and their proportions when the window is resized, and the pictures.
#include "RecordingMain.h"

#include "browse/FilePaneView.h"
#include "ftp/FtpClient.h"
#include "log/LogList.h"
#include "ui/ControlResizer.h"
#include "ui/Icons.h"
#include "ui/PaneLayout.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <map>
#include <set>

using tidewick::browse::FilePaneView;

namespace {

void activate(QWidget* window) {
  window->show();
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

QList<QAction*> allEntries(const QMenu* menu) {
  QList<QAction*> out;
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    if (action->menu()) out += allEntries(action->menu());
    else out.append(action);
  }
  return out;
}

TEST(MainWindowCommands, AltKeysOpenTheMenusEvenWhereAButtonSharesTheLetter) {
  LoadedMain m;
  activate(m.window.get());
  EXPECT_EQ(m->cmdConnect->text(), "&Connect");
  QTest::keyClick(m.window.get(), Qt::Key_C, Qt::AltModifier);
  EXPECT_TRUE(m->miConnection->isVisible());
  m->miConnection->hide();
  EXPECT_TRUE(m->ran.isEmpty());
  QTest::keyClick(m.window.get(), Qt::Key_D, Qt::AltModifier); // "&Disconnect" is disabled while disconnected
  m->SetAbortEnabled(true);
  QSignalSpy clicked(m->cmdAbort, &QPushButton::clicked);
  QTest::keyClick(m.window.get(), Qt::Key_A, Qt::AltModifier);
  ASSERT_TRUE(clicked.count() || clicked.wait()) << "a button's own letter still presses it";
  EXPECT_EQ(m->ran, QStringList{QStringLiteral("Abort")});
}

TEST(MainWindowCommands, ShortcutsOfDisabledEntriesDoNothing) {
  LoadedMain m;
  activate(m.window.get());
  m->SetConnectedState(true);
  QTest::keyClick(m.window.get(), Qt::Key_F8);
  m->SetConnectedState(false);
  QTest::keyClick(m.window.get(), Qt::Key_F9);
  QTest::keySequence(m.window.get(), QKeySequence(Qt::CTRL | Qt::Key_U));
  // Download stands in the Remote menu, which is disabled as a whole.
  QTest::keySequence(m.window.get(), QKeySequence(Qt::CTRL | Qt::Key_D));
  EXPECT_TRUE(m->ran.isEmpty()) << m->ran.join(QLatin1Char(',')).toStdString();
}

// ---- every command and the places that run it
//
// One row per command the user can give, listing every control that gives it: its menu entries,
// shortcut, toolbar buttons (by key, or by position where the toolbar has no keys) and command
// button. The test drives each place in a state where it is enabled and checks that it ran that
// command and nothing else. It then looks for controls the rows do not name, so a new control
// cannot go unchecked.

struct Place {
  enum Kind { Menu, Shortcut, ToolKey, ToolPosition, DispatchKey, Button };
  Kind kind;
  const char* name = nullptr; // menu entry, toolbar or button
  const char* key = nullptr;  // toolbar key
  int position = 0;
  QKeySequence shortcut = {};
  std::string label = name ? name : "";
};

Place menu(const char* name) { return {Place::Menu, name}; }
Place shortcut(QKeySequence key) { return {Place::Shortcut, nullptr, nullptr, 0, key, key.toString().toStdString()}; }
Place tool(const char* bar, const char* key) { return {Place::ToolKey, bar, key, 0, {}, std::string(bar) + " " + key}; }
Place toolAt(const char* bar, int position) {
  return {Place::ToolPosition, bar, nullptr, position, {}, std::string(bar) + " #" + std::to_string(position)};
}
// A key the toolbar's dispatch takes although no button of it carries the key.
Place dispatch(const char* bar, const char* key) {
  return {Place::DispatchKey, bar, key, 0, {}, std::string(bar) + " dispatch " + key};
}
Place button(const char* name) { return {Place::Button, name}; }

struct Command {
  // The handlers the recording window logs, in order; "end" when the program ends; empty for a
  // control that has no action.
  const char* effect;
  std::vector<Place> places;
};

const std::vector<Command>& commands() {
  static const std::vector<Command> table = {
      // Connection
      {"ConnectWithDialog",
       {menu("miConnect"), shortcut(Qt::Key_F8), tool("Toolbar1", "Connect"), tool("Toolbar4", "Connect"),
        button("cmdConnect")}},
      {"Reconnect", {menu("miReconnect"), shortcut(Qt::Key_F5), tool("Toolbar1", "Reconnect")}},
      {"DisconnectFromServer",
       {menu("miDisconnect"), shortcut(Qt::Key_F9), tool("Toolbar1", "Disconnect"), tool("Toolbar4", "Disconnect"),
        button("cmdDisconnect")}},
      {"Abort", {menu("miAbort"), tool("Toolbar1", "Abort"), tool("Toolbar4", "Abort"), button("cmdAbort")}},
      {"DisconnectFromServer,end",
       {menu("mnuConnectionExit"), menu("mnuPopupExit"), shortcut(Qt::Key_F4), tool("Toolbar1", "Exit")}},
      // Transfer
      {"SendSelection",
       {menu("miSend"), menu("mnuLocalUpload"), shortcut(Qt::CTRL | Qt::Key_U), tool("Toolbar1", "Upload"),
        tool("Toolbar4", "Upload"), toolAt("Toolbar5", 4), dispatch("Toolbar2", "Upload"), button("cmdSend")}},
      {"ReceiveSelection",
       {menu("miReceive"), menu("mnuRemoteDownload"), shortcut(Qt::CTRL | Qt::Key_D), tool("Toolbar1", "Download"),
        tool("Toolbar4", "Download"), toolAt("Toolbar6", 4), dispatch("Toolbar3", "DownLoad"), button("cmdReceive")}},
      {"SyncLocalToRemote", {tool("Toolbar1", "RemoteDirSync"), tool("Toolbar4", "DirSyncUp"), button("cmdSyncDir")}},
      {"SyncRemoteToLocal",
       {tool("Toolbar1", "LocalDirSync"), tool("Toolbar4", "DirSyncDown"), button("cmdDirSyncDown")}},
      // Local
      {"RefreshLocalList,UpdateLocalCommandStates", {menu("mnuLocalRefresh"), tool("Toolbar2", "Reload")}},
      {"OpenLocalFile", {menu("mnuLocalOpenFile")}},
      {"LocalTransferToQueue", {menu("mnuLocalTransferToQue")}},
      {"DeleteLocalFiles",
       {menu("miDeleteLocalFile"), tool("Toolbar2", "DelFile"), tool("Toolbar1", "DelFile"), toolAt("Toolbar5", 3),
        button("cmdDeleteLocalFile")}},
      {"RenameLocalFile",
       {menu("miRenameLocalFile"), tool("Toolbar2", "Rename"), tool("Toolbar1", "Rename"),
        button("cmdRenameLocalFile")}},
      {"CreateLocalFolder",
       {menu("miCreateLocalFolder"), tool("Toolbar2", "NewFolder"), tool("Toolbar1", "NewFolder"),
        toolAt("Toolbar5", 11), button("cmdCreateLocalFolder")}},
      {"RemoveLocalFolder",
       {menu("miRemoveLocalFolder"), tool("Toolbar2", "DelFolder"), tool("Toolbar1", "DelFolder"),
        button("cmdRemoveLocalFolder")}},
      {"FindLocalFiles", {menu("mnuLocalFindFiles"), shortcut(Qt::CTRL | Qt::Key_F)}},
      {"ShowLocalProperties", {menu("mnuLocalProperties")}},
      {"LocalGoUp", {menu("mnuLocalGoUp"), toolAt("Toolbar5", 1), button("cmdUpLocal")}},
      {"DeleteLocalFileToRecycleBin", {menu("mnuLocalDeleteFileToRecycleBin")}},
      {"DeleteLocalFolderToRecycleBin", {menu("mnuDelteFolderToRecycleBin")}},
      {"LocalFilterAll", {menu("mnuLocalFilterAll")}},
      {"LocalFilterDefineTypes", {menu("mnuLocalFilterDefineTypes")}},
      {"SetLocalView 0", {menu("mnuLocalShowBigIcons"), toolAt("Toolbar5", 6)}},
      {"SetLocalView 1", {menu("mnuLocalShowSmallIcons"), toolAt("Toolbar5", 7)}},
      {"SetLocalView 2", {menu("mnuLocalShowList"), toolAt("Toolbar5", 8)}},
      {"SetLocalView 3", {menu("mnuLocalShowReport"), toolAt("Toolbar5", 9)}},
      // Remote
      {"RefreshRemoteList,UpdateRemoteCommandStates",
       {menu("mnuRemoteRefresh"), tool("Toolbar3", "Reload2"), tool("Toolbar1", "Reload2")}},
      {"RemoteTransferToQueue", {menu("mnuRemoteTransferToQue")}},
      {"ManualFileReceive", {menu("mnuRemoteManualFileReceive"), menu("mnuRemoteFtpCommandsRetr")}},
      {"ManualFileSend", {menu("mnuRemoteManualPut"), menu("mnuRemoteFtpCommandsStor")}},
      {"DeleteRemoteFile",
       {menu("miDeleteRemoteFile"), tool("Toolbar3", "DelFile2"), tool("Toolbar1", "DelFile2"), toolAt("Toolbar6", 3),
        button("cmdDeleteRemoteFile")}},
      {"RenameRemoteFile",
       {menu("miRenameRemoteFile"), tool("Toolbar3", "Rename2"), tool("Toolbar1", "Rename2"),
        button("cmdRenameRemoteFile")}},
      {"CreateRemoteFolder",
       {menu("miCreateRemoteFolder"), tool("Toolbar3", "NewFolder2"), tool("Toolbar1", "NewFolder2"),
        toolAt("Toolbar6", 11), button("cmdCreateRemoteFolder")}},
      {"RemoveRemoteFolder",
       {menu("miRemoveRemoteFolder"), tool("Toolbar3", "DelFolder2"), tool("Toolbar1", "DelFolder2"),
        button("cmdDeleteRemoteFolder")}},
      {"MoveRemoteItems", {menu("mnuRemoteMoveFileOrFolder")}},
      {"RemoteGoUp", {menu("mnuRemoteGoUpDirectory"), toolAt("Toolbar6", 1), button("cmdUpFtp")}},
      {"GoToRemoteDirectory", {menu("mnuRemoteGoToRemoteDirectory")}},
      {"ChangeRemoteMode", {menu("mnuRemoteChangeMode")}},
      {"RemoteFilterAll", {menu("mnuRemoteFilterAll")}},
      {"RemoteFilterDefineTypes", {menu("mnuRemoteFilterDefineTypes")}},
      {"SendCustomCommand", {menu("mnuRemoteSendCommand")}},
      {"SendFtpCommand HELP", {menu("mnuRemoteFtpCommandsHelp")}},
      {"SendFtpCommand CWD", {menu("mnuRemoteFtpCommandsCwd")}},
      {"SendFtpCommand PWD", {menu("mnuRemoteFtpCommandsPwd")}},
      {"SendFtpCommand SYST", {menu("mnuRemoteFtpCommandsSyst")}},
      {"SendFtpCommand QUOTE", {menu("mnuRemoteFtpCommandsQuote")}},
      {"SendFtpCommand LIST", {menu("mnuRemoteFtpCommandsList")}},
      {"SendFtpCommand NLST", {menu("mnuRemoteFtpCommandsNlst")}},
      {"SetRemoteView 0", {menu("mnuRemoteShowBigIcons"), toolAt("Toolbar6", 6)}},
      {"SetRemoteView 1", {menu("mnuRemoteShowSmallIcons"), toolAt("Toolbar6", 7)}},
      {"SetRemoteView 2", {menu("mnuRemoteShowList"), toolAt("Toolbar6", 8)}},
      {"SetRemoteView 3", {menu("mnuRemoteShowReport"), toolAt("Toolbar6", 9)}},
      // Tools and Help
      {"ShowOptions", {menu("mnuToolsOptions"), shortcut(Qt::CTRL | Qt::Key_O)}},
      {"ShowQueue", {menu("mnuToolsShowQue")}},
      {"EmptyLocalRecycleBin", {menu("mnuToolsEmptyLocalRecycleBin")}},
      {"ShowTipOfTheDay", {menu("mnuHelpTipOfTheDay")}},
      {"LookForHelpOn", {menu("mnuHelpLookForHelpOn")}},
      {"OpenOnlineHelp", {menu("mnuOnlineHelp")}},
      {"ShowLicenseAgreement", {menu("mnuHelpLicenseAgreement")}},
      {"ShowAbout", {menu("mnuAboutUs")}},
      {"VisitWebsite", {menu("mnuVisitOurSite")}},
      {"CheckForUpgrade", {menu("mnuHelpCheckForNewerVersion")}},
      {"HelpContents", {menu("mnuHelpContents"), shortcut(Qt::Key_F1)}},
      {"ShowSplashScreen", {menu("mnuHelpSplashScreen")}},
      {"ShowOrHide", {menu("mnuPopupShow")}},
      // A key no button carries does nothing (the remote toolbar's download key is spelled "DownLoad").
      {"", {dispatch("Toolbar3", "Download")}},
  };
  return table;
}

// Entries that act in the window itself; their effects are checked by the log and View tests.
const std::set<QString> kOwnAction = {"mnuToolsShowLog",
                                      "mnuToolsSaveLog",
                                      "mnuToolsClearLog",
                                      "mnuViewShowLocalRemoteToolbars",
                                      "mnuViewShowConnectDisconnectToolbar",
                                      "mnuViewShowWindowButtons",
                                      "mnuViewShowConnectionInfoLog"};

QToolBar* toolbar(const frmMain& w, const char* name) { return w.findChild<QToolBar*>(QString::fromLatin1(name)); }

// The action or button a place stands for (for a shortcut, the entry that carries it); nullptr for a
// dispatch key.
QObject* controlOf(const frmMain& w, const Place& p) {
  switch (p.kind) {
    case Place::Menu: return w.menuEntry(QString::fromLatin1(p.name));
    case Place::Shortcut:
      for (QAction* action : w.findChildren<QAction*>())
        if (action->shortcut() == p.shortcut) return action;
      return nullptr;
    case Place::ToolKey: return frmMain::ToolbarButton(toolbar(w, p.name), QString::fromLatin1(p.key));
    case Place::ToolPosition: return frmMain::ToolbarButtonAt(toolbar(w, p.name), p.position);
    case Place::Button: return w.findChild<QPushButton*>(QString::fromLatin1(p.name));
    case Place::DispatchKey: return nullptr;
  }
  return nullptr;
}

bool isEnabled(const QObject* control) {
  if (auto* action = qobject_cast<const QAction*>(control)) {
    // An entry of a disabled menu, or a button of a disabled toolbar, cannot be chosen.
    for (const QObject* up = action->parent(); up; up = up->parent()) {
      if (auto* menu = qobject_cast<const QMenu*>(up); menu && !menu->menuAction()->isEnabled()) return false;
      if (auto* bar = qobject_cast<const QToolBar*>(up); bar && !bar->isEnabled()) return false;
    }
    return action->isEnabled();
  }
  return static_cast<const QWidget*>(control)->isEnabled();
}

// Runs the place the way the user would: the entry chosen, the key pressed, the button clicked.
void run(LoadedMain& m, const Place& p) {
  frmMain& w = *m.window;
  switch (p.kind) {
    case Place::Menu: w.menuEntry(QString::fromLatin1(p.name))->trigger(); break;
    case Place::Shortcut: QTest::keySequence(&w, p.shortcut); break;
    case Place::ToolKey:
    case Place::ToolPosition: {
      QToolBar* bar = toolbar(w, p.name);
      QTest::mouseClick(bar->widgetForAction(static_cast<QAction*>(controlOf(w, p))), Qt::LeftButton);
      break;
    }
    case Place::DispatchKey:
      if (QByteArray(p.name) == "Toolbar2") w.Toolbar2_ButtonClick(QString::fromLatin1(p.key));
      else w.Toolbar3_ButtonClick(QString::fromLatin1(p.key));
      break;
    case Place::Button: QTest::mouseClick(static_cast<QPushButton*>(controlOf(w, p)), Qt::LeftButton); break;
  }
}

TEST(MainWindowCommands, EveryPlaceRunsItsCommandAndNothingElse) {
  LoadedMain m;
  activate(m.window.get());
  m->SetAbortEnabled(true);
  for (const Command& command : commands()) {
    for (const Place& place : command.places) {
      SCOPED_TRACE(place.label);
      // Run where the control is enabled: connected, or else disconnected.
      QObject* control = controlOf(*m.window, place);
      ASSERT_TRUE(control || place.kind == Place::DispatchKey) << "no such control";
      m->SetConnectedState(true);
      if (control && !isEnabled(control)) m->SetConnectedState(false);
      if (control && !isEnabled(control)) {
        // Enabled by the panes' selection, which the pane tests cover; here it is simply switched on.
        m->SetConnectedState(true);
        if (auto* action = qobject_cast<QAction*>(control)) action->setEnabled(true);
        else static_cast<QWidget*>(control)->setEnabled(true);
      }
      ASSERT_TRUE(!control || isEnabled(control)) << "never enabled";

      m->ran.clear();
      const int ended = m.ended;
      const size_t asked = m.prompts.asked.size();
      const int lines = m->logList()->count();
      run(m, place);
      QStringList effect = m->ran;
      if (m.ended != ended) effect << QStringLiteral("end");
      EXPECT_EQ(effect.join(QLatin1Char(',')), QString::fromLatin1(command.effect));
      EXPECT_EQ(m.prompts.asked.size(), asked) << "nothing asked";
      EXPECT_EQ(m->logList()->count(), lines) << "nothing logged";
    }
  }
}

TEST(MainWindowCommands, TheDeleteKeyInAListGivesItsDeleteCommandWhereTheButtonWould) {
  LoadedMain m;
  activate(m.window.get());
  m->cmdDeleteLocalFile->setEnabled(false);
  QTest::keyClick(m->lstLocalFileList->currentView(), Qt::Key_Delete);
  EXPECT_TRUE(m->ran.isEmpty()) << "nothing while the delete button is disabled";
  m->cmdDeleteLocalFile->setEnabled(true);
  QTest::keyClick(m->lstLocalFileList->currentView(), Qt::Key_Delete);
  m->cmdDeleteRemoteFile->setEnabled(true);
  QTest::keyClick(m->lstRemoteFileList->currentView(), Qt::Key_Delete); // not connected
  EXPECT_EQ(m->ran, QStringList{QStringLiteral("DeleteLocalFiles")});
}

TEST(MainWindowCommands, EveryControlIsInTheCommandTable) {
  LoadedMain m;
  std::set<QObject*> tabled;
  for (const Command& command : commands()) {
    for (const Place& place : command.places) {
      QObject* control = controlOf(*m.window, place);
      if (control && place.kind != Place::Shortcut) {
        EXPECT_TRUE(tabled.insert(control).second) << place.label << " is in the table twice";
      }
    }
  }

  std::vector<QObject*> controls;
  for (QMenu* menu :
       {m->miConnection, m->miTransfer, m->miLocal, m->miRemote, m->mnuTools, m->mnuView, m->mnuHelp, m->mnuPopup})
    for (QAction* entry : allEntries(menu))
      if (!kOwnAction.count(entry->objectName())) controls.push_back(entry);
  for (QToolBar* bar : m->findChildren<QToolBar*>())
    for (QAction* button : bar->actions())
      if (!button->isSeparator()) controls.push_back(button);
  for (QPushButton* button : m->findChildren<QPushButton*>())
    if (button->objectName().startsWith(QLatin1String("cmd"))) controls.push_back(button);
  for (QObject* control : controls) EXPECT_TRUE(tabled.count(control)) << control->objectName().toStdString();
}

TEST(MainWindowCommands, ViewButtonsAndEntriesSwitchTheListsView) {
  TempHome home;
  ScriptedPrompts prompts;
  frmMain w(prompts, {QStringLiteral("tidewick")});
  w.setEndProgram([] {});
  w.Load();
  w.show();
  using Mode = FilePaneView::ViewMode;
  EXPECT_EQ(w.lstLocalFileList->viewMode(), Mode::Details);
  QTest::mouseClick(w.Toolbar5->widgetForAction(frmMain::ToolbarButtonAt(w.Toolbar5, 6)), Qt::LeftButton);
  EXPECT_EQ(w.lstLocalFileList->viewMode(), Mode::LargeIcons);
  w.menuEntry(QStringLiteral("mnuLocalShowSmallIcons"))->trigger();
  EXPECT_EQ(w.lstLocalFileList->viewMode(), Mode::SmallIcons);
  w.menuEntry(QStringLiteral("mnuRemoteShowList"))->trigger();
  EXPECT_EQ(w.lstRemoteFileList->viewMode(), Mode::List);
  w.SetConnectedState(true); // the remote toolbars work only while connected
  QTest::mouseClick(w.Toolbar6->widgetForAction(frmMain::ToolbarButtonAt(w.Toolbar6, 9)), Qt::LeftButton);
  EXPECT_EQ(w.lstRemoteFileList->viewMode(), Mode::Details);
  EXPECT_EQ(w.lstLocalFileList->viewMode(), Mode::SmallIcons) << "each pane has its own view";
}

// The controls each state switches, as the connection lifecycle tables them.
struct StateTable {
  std::vector<QObject*> whenConnected;
  std::vector<QObject*> whenDisconnected;
  std::vector<QObject*> abort;
};

StateTable tabled(const frmMain& w) {
  auto entry = [&](const char* name) -> QObject* { return w.menuEntry(QString::fromLatin1(name)); };
  auto key = [](QToolBar* bar, const char* k) -> QObject* {
    return frmMain::ToolbarButton(bar, QString::fromLatin1(k));
  };
  StateTable t;
  t.whenConnected = {
      w.cmdDisconnect, w.cmdSend,   w.cmdUpFtp,      w.cmdSyncDir, w.cmdDirSyncDown, w.cmdCreateRemoteFolder,
      w.optAscii,      w.optBinary, w.cboRemotePath, w.Toolbar3,   w.Toolbar6};
  // "mnuRemoteSendCommand" is FTP's own: greyed out over SFTP too.
  for (const char* name : {"miDisconnect", "miSend", "mnuLocalUpload", "mnuLocalTransferToQue", "miCreateRemoteFolder",
                           "mnuRemoteSendCommand", "mnuRemoteFtpCommands"})
    t.whenConnected.push_back(entry(name));
  for (const char* k : {"Disconnect", "Upload", "LocalDirSync", "RemoteDirSync", "Reload2", "NewFolder2", "DelFolder2",
                        "DelFile2", "Rename2"})
    t.whenConnected.push_back(key(w.Toolbar1, k));
  for (const char* k : {"Disconnect", "Upload", "DirSyncUp", "DirSyncDown"})
    t.whenConnected.push_back(key(w.Toolbar4, k));
  t.whenConnected.push_back(w.miTransfer->menuAction());
  t.whenConnected.push_back(w.miRemote->menuAction());
  t.whenConnected.push_back(frmMain::ToolbarButtonAt(w.Toolbar5, 4));
  t.whenDisconnected = {w.cmdConnect,
                        entry("miConnect"),
                        entry("miReconnect"),
                        key(w.Toolbar1, "Connect"),
                        key(w.Toolbar1, "Reconnect"),
                        key(w.Toolbar4, "Connect")};
  t.abort = {w.cmdAbort, entry("miAbort"), key(w.Toolbar1, "Abort"), key(w.Toolbar4, "Abort")};
  return t;
}

bool enabled(const QObject* o) {
  if (auto* a = qobject_cast<const QAction*>(o)) return a->isEnabled();
  return static_cast<const QWidget*>(o)->isEnabled();
}

// Every command control of the window: buttons, options, path boxes, toolbars and their buttons,
// menus and their entries.
std::vector<QObject*> allCommands(const frmMain& w) {
  std::vector<QObject*> out;
  for (QWidget* widget : w.findChildren<QWidget*>())
    if (qobject_cast<QPushButton*>(widget) || qobject_cast<QRadioButton*>(widget) || qobject_cast<QComboBox*>(widget) ||
        qobject_cast<QToolBar*>(widget))
      out.push_back(widget);
  for (QToolBar* bar : w.findChildren<QToolBar*>())
    for (QAction* a : bar->actions())
      if (!a->isSeparator()) out.push_back(a);
  for (QMenu* menu :
       {w.miConnection, w.miTransfer, w.miLocal, w.miRemote, w.mnuTools, w.mnuView, w.mnuHelp, w.mnuPopup}) {
    out.push_back(menu->menuAction());
    for (QAction* a : menu->findChildren<QAction*>())
      if (!a->isSeparator()) out.push_back(a);
  }
  return out;
}

TEST(CommandStates, TheWindowStartsDisconnectedAndEachStateEnablesExactlyTheTabledControls) {
  LoadedMain m;
  const StateTable t = tabled(*m.window);
  for (QObject* o : t.whenConnected) ASSERT_TRUE(o);
  for (QObject* o : t.whenDisconnected) ASSERT_TRUE(o);
  for (QObject* o : t.abort) ASSERT_TRUE(o);

  std::set<QObject*> switched(t.whenConnected.begin(), t.whenConnected.end());
  switched.insert(t.whenDisconnected.begin(), t.whenDisconnected.end());
  // Buttons inside the remote toolbars follow their toolbar.
  for (QToolBar* bar : {m->Toolbar3, m->Toolbar6})
    for (QAction* a : bar->actions()) switched.insert(a);
  std::map<QObject*, bool> others;
  for (QObject* o : allCommands(*m.window))
    if (!switched.count(o)) others[o] = enabled(o);

  // The window starts disconnected, in binary mode, with nothing to abort.
  for (QObject* o : t.whenConnected) EXPECT_FALSE(enabled(o)) << o->objectName().toStdString();
  for (QObject* o : t.whenDisconnected) EXPECT_TRUE(enabled(o)) << o->objectName().toStdString();
  for (QObject* o : t.abort) EXPECT_FALSE(enabled(o)) << o->objectName().toStdString();
  EXPECT_TRUE(m->optBinary->isChecked());
  EXPECT_EQ(m->ftp().TransferMode(), 0);
  for (bool connected : {false, true, false, true}) {
    m->SetConnectedState(connected);
    for (QObject* o : t.whenConnected) EXPECT_EQ(enabled(o), connected) << o->objectName().toStdString();
    for (QObject* o : t.whenDisconnected) EXPECT_EQ(enabled(o), !connected) << o->objectName().toStdString();
    for (const auto& [o, before] : others)
      EXPECT_EQ(enabled(o), before) << o->objectName().toStdString() << " is not switched by the connection state";
  }
}

TEST(CommandStates, AbortEnablingTouchesOnlyTheAbortCommands) {
  LoadedMain m;
  const StateTable t = tabled(*m.window);
  std::map<QObject*, bool> others;
  for (QObject* o : allCommands(*m.window))
    if (std::find(t.abort.begin(), t.abort.end(), o) == t.abort.end()) others[o] = enabled(o);
  for (bool busy : {true, false, true}) {
    m->SetAbortEnabled(busy);
    for (QObject* o : t.abort) EXPECT_EQ(enabled(o), busy) << o->objectName().toStdString();
    for (const auto& [o, before] : others) EXPECT_EQ(enabled(o), before) << o->objectName().toStdString();
  }
}

TEST(CommandStates, TransferModeOptionsSetTheComponentsMode) {
  LoadedMain m;
  m->SetConnectedState(true);
  m->show();
  // On the option's mark, where a click counts.
  QTest::mouseClick(m->optAscii, Qt::LeftButton, {}, QPoint(6, m->optAscii->height() / 2));
  EXPECT_TRUE(m->optAscii->isChecked());
  EXPECT_EQ(m->ftp().TransferMode(), 1);
  QTest::mouseClick(m->optBinary, Qt::LeftButton, {}, QPoint(6, m->optBinary->height() / 2));
  EXPECT_EQ(m->ftp().TransferMode(), 0);
}

TEST(ViewMenu, TogglesFlipVisibilityAndCheckMark) {
  LoadedMain m;
  m->show();
  struct Toggle {
    const char* entry;
    std::vector<QWidget*> targets;
  };
  const Toggle toggles[] = {
      {"mnuViewShowLocalRemoteToolbars", {m->Picture3, m->Picture4}},
      {"mnuViewShowConnectDisconnectToolbar", {m->Toolbar1}},
      {"mnuViewShowConnectionInfoLog", {m->logList()}},
  };
  for (const Toggle& t : toggles) {
    QAction* entry = m->menuEntry(QString::fromLatin1(t.entry));
    EXPECT_TRUE(entry->isChecked()) << t.entry << " starts checked";
    for (bool shown : {false, true, false, true}) {
      entry->trigger();
      EXPECT_EQ(entry->isChecked(), shown) << t.entry;
      for (QWidget* target : t.targets) EXPECT_EQ(target->isVisible(), shown) << t.entry;
    }
  }
  // "Show Window Buttons" keeps its mark and changes nothing.
  QAction* buttons = m->menuEntry(QStringLiteral("mnuViewShowWindowButtons"));
  buttons->trigger();
  EXPECT_TRUE(buttons->isChecked());
  EXPECT_TRUE(m->picWindowButtons->isVisible());

  // A hidden log keeps collecting lines.
  m->menuEntry(QStringLiteral("mnuViewShowConnectionInfoLog"))->trigger();
  m->DisplayMessage(QStringLiteral("while hidden"));
  m->menuEntry(QStringLiteral("mnuViewShowConnectionInfoLog"))->trigger();
  EXPECT_TRUE(m->logList()->isVisible());
  EXPECT_EQ(m->logList()->currentText(), "while hidden");
}

// ---- arrangement and proportions

std::vector<QWidget*> namedVisibleChildren(const QWidget* parent) {
  std::vector<QWidget*> out;
  for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (!child->isWindow() && child->isVisible() && !child->objectName().isEmpty() &&
        !child->objectName().startsWith(QLatin1String("qt_")))
      out.push_back(child);
  return out;
}

// Sibling controls never overlap, at any depth below `root`.
void expectNoOverlap(const QWidget* root, const char* when) {
  std::vector<const QWidget*> parents = {root};
  for (QWidget* w : root->findChildren<QWidget*>()) parents.push_back(w);
  for (const QWidget* parent : parents) {
    const auto children = namedVisibleChildren(parent);
    for (size_t i = 0; i < children.size(); ++i)
      for (size_t j = i + 1; j < children.size(); ++j)
        EXPECT_FALSE(children[i]->geometry().intersects(children[j]->geometry()))
            << when << ": " << children[i]->objectName().toStdString() << " overlaps "
            << children[j]->objectName().toStdString();
  }
}

TEST(Arrangement, DoublingTheWindowDoublesTheControlsAndHalvingRestoresThem) {
  LoadedMain m;
  m->show();
  QCoreApplication::processEvents();
  expectNoOverlap(m->picForm, "default size");
  const QList<QWidget*> controls = m->resizer()->controls();
  ASSERT_GE(controls.size(), 7);
  std::map<QWidget*, QRect> atLoad;
  for (QWidget* c : controls) atLoad[c] = c->geometry();
  const QFont font = m->logList()->font();

  const QSize inner = m->picForm->size();
  const QSize normal = m->size();
  m->resize(normal + inner);
  QCoreApplication::processEvents();
  ASSERT_EQ(m->picForm->size(), inner * 2);
  for (QWidget* c : controls) {
    const QRect was = atLoad[c], now = c->geometry();
    const std::string name = c->objectName().toStdString();
    EXPECT_NEAR(now.x(), 2 * was.x(), 1) << name;
    EXPECT_NEAR(now.width(), 2 * was.width(), 1) << name;
    EXPECT_NEAR(now.y(), 2 * was.y(), 1) << name;
    // Controls of a fixed height keep it; the others double.
    if (c->minimumHeight() == c->maximumHeight()) EXPECT_EQ(now.height(), was.height()) << name;
    else EXPECT_NEAR(now.height(), 2 * was.height(), 1) << name;
  }
  expectNoOverlap(m->picForm, "double size");
  EXPECT_EQ(m->logList()->font(), font) << "fonts keep their size";

  // Odd sizes on the way back must not leave their rounding behind.
  for (QSize odd : {QSize(977, 611), QSize(1333, 907)}) {
    m->resize(odd);
    QCoreApplication::processEvents();
  }
  m->resize(normal);
  QCoreApplication::processEvents();
  for (QWidget* c : controls) EXPECT_EQ(c->geometry(), atLoad[c]) << c->objectName().toStdString();
}

TEST(Arrangement, EachListHasItsOwnRowsAndThePopupMenuStaysOffTheMenuBar) {
  LoadedMain m;
  EXPECT_NE(m->lstLocalFileList->model(), m->lstRemoteFileList->model());
  EXPECT_FALSE(m->menuBar()->actions().contains(m->mnuPopup->menuAction()));
}

// ---- pictures

QImage render(const QIcon& icon, int side, QIcon::Mode mode = QIcon::Normal) {
  return icon.pixmap(QSize(side, side), mode).toImage().convertToFormat(QImage::Format_ARGB32);
}

int opaquePixels(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += qAlpha(image.pixel(x, y)) > 128;
  return n;
}

TEST(Pictures, FileTypePicturesAreDrawnAndTellTheTypesApart) {
  std::vector<QImage> seen;
  for (int index = 1; index <= tidewick::ui::kFileTypeIconCount; ++index) {
    const QIcon icon = tidewick::ui::fileTypeIcon(index);
    for (int side : {16, 32, 48}) {
      const QImage image = render(icon, side);
      EXPECT_EQ(image.size(), QSize(side, side));
      EXPECT_GT(opaquePixels(image), side * side / 5) << "index " << index << " at " << side;
    }
    const QImage large = render(icon, 32);
    for (size_t other = 0; other < seen.size(); ++other)
      EXPECT_NE(large, seen[other]) << "index " << index << " looks like index " << other + 1;
    seen.push_back(large);
  }
  EXPECT_EQ(render(tidewick::ui::fileTypeIcon(0), 32), seen[9]) << "unknown indexes show the other-file picture";
  EXPECT_EQ(render(tidewick::ui::fileTypeIcon(12), 32), seen[9]);
  // Disabled pictures are paler, not gone.
  const QImage disabled = render(tidewick::ui::fileTypeIcon(11), 32, QIcon::Disabled);
  EXPECT_GT(opaquePixels(render(tidewick::ui::fileTypeIcon(11), 32)), opaquePixels(disabled));
}

// Buttons that show only a picture are blank without one; menu entries carry their text anyway.
TEST(Pictures, EveryToolbarButtonAndPictureButtonHasOne) {
  LoadedMain m;
  for (QToolBar* bar : {m->Toolbar1, m->Toolbar2, m->Toolbar3, m->Toolbar4, m->Toolbar5, m->Toolbar6})
    for (QAction* a : bar->actions())
      if (!a->isSeparator()) {
        EXPECT_GT(opaquePixels(render(a->icon(), 24)), 40) << a->objectName().toStdString();
      }
  for (QPushButton* b : {m->cmdSend, m->cmdReceive, m->cmdUpLocal, m->cmdUpFtp}) {
    EXPECT_TRUE(b->text().isEmpty());
    EXPECT_FALSE(b->icon().isNull());
  }
}

} // namespace
