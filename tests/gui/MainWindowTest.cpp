// The main window's shell: every control reaching its command, enabling by connection state, the
// View toggles, the transfer mode, proportional resizing and the pictures.
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

// ---- every command and the places that run it
//
// One row per command the user can give: the handlers the recording window logs, in order ("end"
// when the program ends; nothing for a control that has no action), then every control that gives
// it. A control is written as the rows write it: a menu entry or button by its name, a toolbar
// button as "bar:key" or, where the toolbar has no keys, "bar#position", a key the toolbar's
// dispatch takes although no button carries it as "bar!key", and a shortcut as its keys. The test
// drives each place in a state where it is enabled and checks that it ran that command and nothing
// else. It then looks for controls the rows do not name, so a new control cannot go unchecked.
const char kCommands[] =
    // Connection
    "ConnectWithDialog = miConnect F8 Toolbar1:Connect Toolbar4:Connect cmdConnect;"
    "Reconnect = miReconnect F5 Toolbar1:Reconnect;"
    "DisconnectFromServer = miDisconnect F9 Toolbar1:Disconnect Toolbar4:Disconnect cmdDisconnect;"
    "Abort = miAbort Toolbar1:Abort Toolbar4:Abort cmdAbort;"
    "DisconnectFromServer,end = mnuConnectionExit mnuPopupExit F4 Toolbar1:Exit;"
    // Transfer
    "SendSelection = miSend mnuLocalUpload Ctrl+U Toolbar1:Upload Toolbar4:Upload Toolbar5#4 Toolbar2!Upload cmdSend;"
    "ReceiveSelection = miReceive mnuRemoteDownload Ctrl+D Toolbar1:Download Toolbar4:Download Toolbar6#4 "
    "Toolbar3!DownLoad cmdReceive;"
    "SyncLocalToRemote = Toolbar1:RemoteDirSync Toolbar4:DirSyncUp cmdSyncDir;"
    "SyncRemoteToLocal = Toolbar1:LocalDirSync Toolbar4:DirSyncDown cmdDirSyncDown;"
    // Local
    "RefreshLocalList,UpdateLocalCommandStates = mnuLocalRefresh Toolbar2:Reload;"
    "DeleteLocalFiles = miDeleteLocalFile Toolbar2:DelFile Toolbar1:DelFile Toolbar5#3 cmdDeleteLocalFile;"
    "RenameLocalFile = miRenameLocalFile Toolbar2:Rename Toolbar1:Rename cmdRenameLocalFile;"
    "CreateLocalFolder = miCreateLocalFolder Toolbar2:NewFolder Toolbar1:NewFolder Toolbar5#11 cmdCreateLocalFolder;"
    "RemoveLocalFolder = miRemoveLocalFolder Toolbar2:DelFolder Toolbar1:DelFolder cmdRemoveLocalFolder;"
    "FindLocalFiles = mnuLocalFindFiles Ctrl+F;  LocalGoUp = mnuLocalGoUp Toolbar5#1 cmdUpLocal;"
    "OpenLocalFile = mnuLocalOpenFile;  LocalTransferToQueue = mnuLocalTransferToQue;"
    "ShowLocalProperties = mnuLocalProperties;  DeleteLocalFileToRecycleBin = mnuLocalDeleteFileToRecycleBin;"
    "DeleteLocalFolderToRecycleBin = mnuDelteFolderToRecycleBin;  LocalFilterAll = mnuLocalFilterAll;"
    "LocalFilterDefineTypes = mnuLocalFilterDefineTypes;"
    "SetLocalView 0 = mnuLocalShowBigIcons Toolbar5#6;  SetLocalView 1 = mnuLocalShowSmallIcons Toolbar5#7;"
    "SetLocalView 2 = mnuLocalShowList Toolbar5#8;  SetLocalView 3 = mnuLocalShowReport Toolbar5#9;"
    // Remote
    "RefreshRemoteList,UpdateRemoteCommandStates = mnuRemoteRefresh Toolbar3:Reload2 Toolbar1:Reload2;"
    "ManualFileReceive = mnuRemoteManualFileReceive mnuRemoteFtpCommandsRetr;"
    "ManualFileSend = mnuRemoteManualPut mnuRemoteFtpCommandsStor;"
    "DeleteRemoteFile = miDeleteRemoteFile Toolbar3:DelFile2 Toolbar1:DelFile2 Toolbar6#3 cmdDeleteRemoteFile;"
    "RenameRemoteFile = miRenameRemoteFile Toolbar3:Rename2 Toolbar1:Rename2 cmdRenameRemoteFile;"
    "CreateRemoteFolder = miCreateRemoteFolder Toolbar3:NewFolder2 Toolbar1:NewFolder2 Toolbar6#11 "
    "cmdCreateRemoteFolder;"
    "RemoveRemoteFolder = miRemoveRemoteFolder Toolbar3:DelFolder2 Toolbar1:DelFolder2 cmdDeleteRemoteFolder;"
    "RemoteGoUp = mnuRemoteGoUpDirectory Toolbar6#1 cmdUpFtp;  RemoteTransferToQueue = mnuRemoteTransferToQue;"
    "MoveRemoteItems = mnuRemoteMoveFileOrFolder;  GoToRemoteDirectory = mnuRemoteGoToRemoteDirectory;"
    "ChangeRemoteMode = mnuRemoteChangeMode;  RemoteFilterAll = mnuRemoteFilterAll;"
    "RemoteFilterDefineTypes = mnuRemoteFilterDefineTypes;  SendCustomCommand = mnuRemoteSendCommand;"
    "SendFtpCommand HELP = mnuRemoteFtpCommandsHelp;  SendFtpCommand CWD = mnuRemoteFtpCommandsCwd;"
    "SendFtpCommand PWD = mnuRemoteFtpCommandsPwd;  SendFtpCommand SYST = mnuRemoteFtpCommandsSyst;"
    "SendFtpCommand QUOTE = mnuRemoteFtpCommandsQuote;  SendFtpCommand LIST = mnuRemoteFtpCommandsList;"
    "SendFtpCommand NLST = mnuRemoteFtpCommandsNlst;"
    "SetRemoteView 0 = mnuRemoteShowBigIcons Toolbar6#6;  SetRemoteView 1 = mnuRemoteShowSmallIcons Toolbar6#7;"
    "SetRemoteView 2 = mnuRemoteShowList Toolbar6#8;  SetRemoteView 3 = mnuRemoteShowReport Toolbar6#9;"
    // Tools and Help
    "ShowOptions = mnuToolsOptions Ctrl+O;  ShowQueue = mnuToolsShowQue;"
    "EmptyLocalRecycleBin = mnuToolsEmptyLocalRecycleBin;  ShowTipOfTheDay = mnuHelpTipOfTheDay;"
    "LookForHelpOn = mnuHelpLookForHelpOn;  OpenOnlineHelp = mnuOnlineHelp;"
    "ShowLicenseAgreement = mnuHelpLicenseAgreement;  ShowAbout = mnuAboutUs;  VisitWebsite = mnuVisitOurSite;"
    "CheckForUpgrade = mnuHelpCheckForNewerVersion;  HelpContents = mnuHelpContents F1;"
    "ShowSplashScreen = mnuHelpSplashScreen;  ShowOrHide = mnuPopupShow;"
    // A key no button carries does nothing (the remote toolbar's download key is spelled "DownLoad").
    " = Toolbar3!Download";

// Each row as the handlers it runs and the places that run it.
std::vector<std::pair<QString, QStringList>> commands() {
  std::vector<std::pair<QString, QStringList>> out;
  for (const QString& row : QString::fromLatin1(kCommands).split(';'))
    out.emplace_back(row.section('=', 0, 0).trimmed(), row.section('=', 1).split(' ', Qt::SkipEmptyParts));
  return out;
}

// Entries that act in the window itself; their effects are checked by the log and View tests.
const QStringList kOwnAction = QString(
                                   "mnuToolsShowLog mnuToolsSaveLog mnuToolsClearLog mnuViewShowLocalRemoteToolbars "
                                   "mnuViewShowConnectDisconnectToolbar mnuViewShowWindowButtons "
                                   "mnuViewShowConnectionInfoLog")
                                   .split(' ');

QToolBar* toolbar(const frmMain& w, const QString& place, QChar mark) {
  return w.findChild<QToolBar*>(place.section(mark, 0, 0));
}

bool isDispatchKey(const QString& place) { return place.contains('!'); }
bool isToolbarButton(const QString& place) { return place.contains(':') || place.contains('#'); }

// The action or widget a place names, as the rows and the state table write them; for a shortcut,
// the entry that carries it; nullptr for a dispatch key.
QObject* controlOf(const frmMain& w, const QString& place) {
  if (place.contains(':')) return frmMain::ToolbarButton(toolbar(w, place, ':'), place.section(':', 1));
  if (place.contains('#')) return frmMain::ToolbarButtonAt(toolbar(w, place, '#'), place.section('#', 1).toInt());
  if (isDispatchKey(place)) return nullptr;
  if (QAction* entry = w.menuEntry(place)) return entry;
  if (auto* widget = w.findChild<QWidget*>(place)) return widget;
  for (QAction* action : w.findChildren<QAction*>())
    if (action->shortcut() == QKeySequence(place)) return action;
  return nullptr;
}

bool isShortcut(const frmMain& w, const QString& place) {
  return !isToolbarButton(place) && !isDispatchKey(place) && !w.menuEntry(place) && !w.findChild<QWidget*>(place);
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
void run(LoadedMain& m, const QString& place) {
  frmMain& w = *m.window;
  if (isDispatchKey(place)) {
    const QString key = place.section('!', 1);
    if (place.startsWith("Toolbar2")) w.Toolbar2_ButtonClick(key);
    else w.Toolbar3_ButtonClick(key);
  } else if (isToolbarButton(place)) {
    QToolBar* bar = toolbar(w, place, place.contains(':') ? ':' : '#');
    QTest::mouseClick(bar->widgetForAction(static_cast<QAction*>(controlOf(w, place))), Qt::LeftButton);
  } else if (QAction* entry = w.menuEntry(place)) {
    entry->trigger();
  } else if (auto* button = w.findChild<QPushButton*>(place)) {
    QTest::mouseClick(button, Qt::LeftButton);
  } else {
    QTest::keySequence(&w, QKeySequence(place));
  }
}

TEST(MainWindowCommands, EveryPlaceRunsItsCommandAndNothingElse) {
  LoadedMain m;
  activate(m.window.get());
  m->SetAbortEnabled(true);
  for (const auto& [handlers, places] : commands()) {
    for (const QString& place : places) {
      SCOPED_TRACE(place.toStdString());
      // Run where the control is enabled: connected, or else disconnected.
      QObject* control = controlOf(*m.window, place);
      ASSERT_TRUE(control || isDispatchKey(place)) << "no such control";
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
      if (m.ended != ended) effect << "end";
      EXPECT_EQ(effect.join(','), handlers);
      EXPECT_EQ(m.prompts.asked.size(), asked) << "nothing asked";
      EXPECT_EQ(m->logList()->count(), lines) << "nothing logged";
    }
  }
}

TEST(MainWindowCommands, KeysReachOnlyEnabledCommandsAndAltKeysOpenMenusBeforeButtons) {
  LoadedMain m;
  QWidget* w = m.window.get();
  activate(w);
  QTest::keyClick(w, Qt::Key_C, Qt::AltModifier); // the Connection menu and "&Connect" share the letter
  EXPECT_TRUE(m->miConnection->isVisible());
  m->miConnection->hide();
  QTest::keyClick(w, Qt::Key_D, Qt::AltModifier); // "&Disconnect" is disabled while disconnected
  m->SetConnectedState(true);
  QTest::keyClick(w, Qt::Key_F8);
  m->SetConnectedState(false);
  QTest::keyClick(w, Qt::Key_F9);
  QTest::keySequence(w, QKeySequence(Qt::CTRL | Qt::Key_U));
  QTest::keySequence(w, QKeySequence(Qt::CTRL | Qt::Key_D)); // in the Remote menu, disabled as a whole
  EXPECT_TRUE(m->ran.isEmpty()) << m->ran.join(',').toStdString();

  // Delete and Backspace in a list give its delete and up commands where the buttons would.
  m->cmdDeleteLocalFile->setEnabled(false);
  QTest::keyClick(m->lstLocalFileList->currentView(), Qt::Key_Delete);
  m->cmdDeleteLocalFile->setEnabled(true);
  QTest::keyClick(m->lstLocalFileList->currentView(), Qt::Key_Delete);
  m->cmdDeleteRemoteFile->setEnabled(true);
  QTest::keyClick(m->lstRemoteFileList->currentView(), Qt::Key_Delete); // not connected
  QTest::keyClick(m->lstLocalFileList->currentView(), Qt::Key_Backspace);
  m->cmdUpFtp->setEnabled(true);
  QTest::keyClick(m->lstRemoteFileList->currentView(), Qt::Key_Backspace); // not connected
  EXPECT_EQ(m->ran, (QStringList{"DeleteLocalFiles", "LocalGoUp"}));

  m->ran.clear();
  m->SetAbortEnabled(true);
  QSignalSpy clicked(m->cmdAbort, &QPushButton::clicked);
  QTest::keyClick(w, Qt::Key_A, Qt::AltModifier);
  ASSERT_TRUE(clicked.count() || clicked.wait()) << "a button's own letter still presses it";
  EXPECT_EQ(m->ran, QStringList{"Abort"});
}

TEST(MainWindowCommands, EveryControlIsInTheCommandTableAndEachViewShowsInItsOwnList) {
  LoadedMain m;
  std::set<QObject*> tabled;
  for (const auto& [handlers, places] : commands()) {
    for (const QString& place : places) {
      QObject* control = controlOf(*m.window, place);
      if (control && !isShortcut(*m.window, place)) {
        EXPECT_TRUE(tabled.insert(control).second) << place.toStdString() << " is in the table twice";
      }
    }
  }

  std::vector<QObject*> controls;
  for (QMenu* menu : menusOf(*m.window))
    for (QAction* entry : entriesOf(menu))
      if (!entry->menu() && !kOwnAction.contains(entry->objectName())) controls.push_back(entry);
  for (QToolBar* bar : m->findChildren<QToolBar*>())
    for (QAction* button : bar->actions())
      if (!button->isSeparator()) controls.push_back(button);
  for (QPushButton* button : m->findChildren<QPushButton*>())
    if (button->objectName().startsWith("cmd")) controls.push_back(button);
  for (QObject* control : controls) EXPECT_TRUE(tabled.count(control)) << control->objectName().toStdString();

  // The rows show which view each entry and button asks for; here each view shows in its own list.
  using Mode = FilePaneView::ViewMode;
  const std::pair<int, Mode> views[] = {
      {0, Mode::LargeIcons}, {1, Mode::SmallIcons}, {2, Mode::List}, {3, Mode::Details}};
  for (const auto& [view, mode] : views) {
    m->frmMain::SetLocalView(view);
    m->frmMain::SetRemoteView(3 - view);
    EXPECT_EQ(m->lstLocalFileList->viewMode(), mode) << view;
    EXPECT_EQ(m->lstRemoteFileList->viewMode(), views[3 - view].second) << view;
  }
}

// The controls each state switches, as the connection lifecycle tables them: 'c' while connected,
// 'd' while disconnected, 'a' while a transfer can be aborted. "mnuRemoteSendCommand" is FTP's own:
// greyed out over SFTP too.
const std::pair<char, const char*> kStateTable[] = {
    {'c',
     "cmdDisconnect cmdSend cmdUpFtp cmdSyncDir cmdDirSyncDown cmdCreateRemoteFolder optAscii optBinary "
     "cboRemotePath Toolbar3 Toolbar6 miDisconnect miSend mnuLocalUpload mnuLocalTransferToQue miCreateRemoteFolder "
     "mnuRemoteSendCommand mnuRemoteFtpCommands Toolbar1:Disconnect Toolbar1:Upload Toolbar1:LocalDirSync "
     "Toolbar1:RemoteDirSync Toolbar1:Reload2 Toolbar1:NewFolder2 Toolbar1:DelFolder2 Toolbar1:DelFile2 "
     "Toolbar1:Rename2 Toolbar4:Disconnect Toolbar4:Upload Toolbar4:DirSyncUp Toolbar4:DirSyncDown miTransfer "
     "miRemote Toolbar5#4"},
    {'d', "cmdConnect miConnect miReconnect Toolbar1:Connect Toolbar1:Reconnect Toolbar4:Connect"},
    {'a', "cmdAbort miAbort Toolbar1:Abort Toolbar4:Abort"}};

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
  for (QMenu* menu : menusOf(w)) {
    out.push_back(menu->menuAction());
    for (QAction* a : menu->findChildren<QAction*>())
      if (!a->isSeparator()) out.push_back(a);
  }
  return out;
}

TEST(CommandStates, TheWindowStartsDisconnectedAndEachStateEnablesExactlyTheTabledControls) {
  LoadedMain m;
  // What each control follows: the table's states, or nothing, keeping how it started ('+' or '-').
  std::map<QObject*, char> follows;
  for (QObject* o : allCommands(*m.window)) follows[o] = enabled(o) ? '+' : '-';
  for (QToolBar* bar : {m->Toolbar3, m->Toolbar6}) // their buttons follow the toolbar
    for (QAction* a : bar->actions()) follows.erase(a);
  for (const auto& [what, places] : kStateTable)
    for (const QString& place : QString::fromLatin1(places).split(' ')) {
      QObject* o = controlOf(*m.window, place);
      ASSERT_TRUE(o) << place.toStdString();
      follows[o] = what;
    }

  // The window starts disconnected, in binary mode, with nothing to abort; then each state switches alone.
  EXPECT_TRUE(m->optBinary->isChecked());
  EXPECT_EQ(m->ftp().TransferMode(), 0);
  bool connected = false, busy = false;
  const std::pair<bool, bool> steps[] = {{false, false}, {true, false},  {true, true},
                                         {false, true},  {false, false}, {true, false}};
  for (const auto& [nowConnected, nowBusy] : steps) {
    if (nowConnected != connected) m->SetConnectedState(connected = nowConnected);
    if (nowBusy != busy) m->SetAbortEnabled(busy = nowBusy);
    for (const auto& [o, what] : follows)
      EXPECT_EQ(enabled(o), what == 'c'   ? connected
                            : what == 'd' ? !connected
                            : what == 'a' ? busy
                                          : what == '+')
          << o->objectName().toStdString() << " connected " << connected << " busy " << busy;
  }
}

TEST(ShownWindow, ViewTogglesFlipVisibilityAndCheckMarkAndTheTransferModeOptionsSetTheMode) {
  LoadedMain m;
  m->show();
  const std::pair<const char*, QList<QWidget*>> toggles[] = {
      {"mnuViewShowLocalRemoteToolbars", {m->Picture3, m->Picture4}},
      {"mnuViewShowConnectDisconnectToolbar", {m->Toolbar1}},
      {"mnuViewShowConnectionInfoLog", {m->logList()}}};
  for (const auto& [name, targets] : toggles) {
    SCOPED_TRACE(name);
    QAction* entry = m->menuEntry(name);
    EXPECT_TRUE(entry->isChecked()) << "starts checked";
    for (bool shown : {false, true, false, true}) {
      entry->trigger();
      EXPECT_EQ(entry->isChecked(), shown);
      for (QWidget* target : targets) EXPECT_EQ(target->isVisible(), shown);
    }
  }
  // "Show Window Buttons" keeps its mark and changes nothing.
  QAction* buttons = m->menuEntry("mnuViewShowWindowButtons");
  buttons->trigger();
  EXPECT_TRUE(buttons->isChecked());
  EXPECT_TRUE(m->picWindowButtons->isVisible());

  // A hidden log keeps collecting lines.
  m->menuEntry("mnuViewShowConnectionInfoLog")->trigger();
  m->DisplayMessage("while hidden");
  m->menuEntry("mnuViewShowConnectionInfoLog")->trigger();
  EXPECT_TRUE(m->logList()->isVisible());
  EXPECT_EQ(m->logList()->currentText(), "while hidden");

  // The transfer mode options set the component's mode, clicked on their mark, where a click counts.
  m->SetConnectedState(true);
  QTest::mouseClick(m->optAscii, Qt::LeftButton, {}, QPoint(6, m->optAscii->height() / 2));
  EXPECT_TRUE(m->optAscii->isChecked());
  EXPECT_EQ(m->ftp().TransferMode(), 1);
  QTest::mouseClick(m->optBinary, Qt::LeftButton, {}, QPoint(6, m->optBinary->height() / 2));
  EXPECT_EQ(m->ftp().TransferMode(), 0);
}

// ---- arrangement and proportions

std::vector<QWidget*> namedVisibleChildren(const QWidget* parent) {
  std::vector<QWidget*> out;
  for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (!child->isWindow() && child->isVisible() && !child->objectName().isEmpty() &&
        !child->objectName().startsWith("qt_"))
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
  EXPECT_NE(m->lstLocalFileList->model(), m->lstRemoteFileList->model());
  EXPECT_FALSE(m->menuBar()->actions().contains(m->mnuPopup->menuAction()));
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
    for (QAction* a : bar->actions()) {
      if (!a->isSeparator()) {
        EXPECT_GT(opaquePixels(render(a->icon(), 24)), 40) << a->objectName().toStdString();
      }
    }
  for (QPushButton* b : {m->cmdSend, m->cmdReceive, m->cmdUpLocal, m->cmdUpFtp})
    EXPECT_GT(opaquePixels(render(b->icon(), 24)), 40) << b->objectName().toStdString();
}

} // namespace
