// The main window's controls: menus, toolbars, the two panes, the log, the transfer mode frame, the
// progress bar, the command buttons and the status bar, and their arrangement at load.
#include "app/frmMain.h"
#include "browse/FileListModel.h"
#include "browse/FilePaneView.h"
#include "log/LogList.h"
#include "ui/Accessibility.h"
#include "ui/Icons.h"
#include "ui/PaneLayout.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace tidewick::app {

using browse::FileListModel;
using browse::FilePaneView;
using ui::Glyph;
using ui::glyphIcon;
using ui::PaneLayout;

namespace {

struct Entry {
  const char* name;
  const char* caption;
  QKeySequence shortcut = {};
};

// A menu entry named as the rest of the program knows it.
QAction* addEntry(QMenu* menu, const Entry& e) {
  QAction* action = menu->addAction(QString::fromUtf8(e.caption));
  action->setObjectName(QString::fromLatin1(e.name));
  if (!e.shortcut.isEmpty()) action->setShortcut(e.shortcut);
  return action;
}

QMenu* addSubmenu(QMenu* parent, const char* name, const char* caption) {
  QMenu* menu = parent->addMenu(QString::fromUtf8(caption));
  menu->setObjectName(QString::fromLatin1(name));
  menu->menuAction()->setObjectName(QString::fromLatin1(name));
  return menu;
}

QMenu* addTopMenu(QMenuBar* bar, const char* name, const char* caption) {
  QMenu* menu = bar->addMenu(QString::fromUtf8(caption));
  menu->setObjectName(QString::fromLatin1(name));
  menu->menuAction()->setObjectName(QString::fromLatin1(name));
  return menu;
}

struct Button {
  const char* key; // nullptr: a separator
  const char* caption;
  const char* tooltip;
  Glyph glyph;
};

QToolBar* makeToolbar(const char* name, QWidget* parent, const std::initializer_list<Button>& buttons, int iconSize,
                      Qt::ToolButtonStyle style) {
  auto* bar = new QToolBar(parent);
  bar->setObjectName(QString::fromLatin1(name));
  bar->setWindowTitle(QString::fromLatin1(name));
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setIconSize(QSize(iconSize, iconSize));
  bar->setToolButtonStyle(style);
  for (const Button& b : buttons) {
    if (!b.key && !b.caption) {
      bar->addSeparator();
      continue;
    }
    QAction* action = bar->addAction(glyphIcon(b.glyph), QString::fromUtf8(b.caption ? b.caption : ""));
    const QString key = QString::fromLatin1(b.key ? b.key : "");
    action->setProperty("key", key);
    action->setObjectName(QString::fromLatin1(name) + QLatin1Char('_') +
                          (key.isEmpty() ? QString::number(bar->actions().size()) : key));
    action->setToolTip(QString::fromUtf8(b.tooltip));
  }
  return bar;
}

constexpr Button kSep{nullptr, nullptr, nullptr, Glyph::App};

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, const char* tooltip) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  if (tooltip) button->setToolTip(QString::fromUtf8(tooltip));
  button->setAutoDefault(false);
  return button;
}

QPushButton* makePictureButton(QWidget* parent, const char* name, Glyph glyph) {
  auto* button = new QPushButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setIcon(glyphIcon(glyph));
  button->setIconSize(QSize(20, 20));
  button->setAutoDefault(false);
  return button;
}

} // namespace

void frmMain::BuildControls() {
  setWindowIcon(glyphIcon(Glyph::App));
  BuildMenus();
  BuildToolbars();

  // The client area. Controls inside it are placed by the arrangement at load and kept in
  // proportion by the resizer; everything inside the frames follows the frames' own layouts.
  picForm = new QWidget(this);
  picForm->setObjectName(QStringLiteral("picForm"));
  setCentralWidget(picForm);
  picForm->installEventFilter(this);

  BuildPane(true);
  BuildPane(false);

  Picture1 = new QWidget(picForm);
  Picture1->setObjectName(QStringLiteral("Picture1"));
  Toolbar4->setParent(Picture1);

  lstConnectionInfo = new log::LogList(picForm);
  lstConnectionInfo->setObjectName(QStringLiteral("lstConnectionInfo"));

  fraTransfer = new QGroupBox(QStringLiteral("Transfer Mode"), picForm);
  fraTransfer->setObjectName(QStringLiteral("fraTransfer"));
  optAscii = new QRadioButton(QStringLiteral("ASCII"), fraTransfer);
  optAscii->setObjectName(QStringLiteral("optAscii"));
  optAscii->setToolTip(QStringLiteral("ASCII transfer mode"));
  optBinary = new QRadioButton(QStringLiteral("Binary"), fraTransfer);
  optBinary->setObjectName(QStringLiteral("optBinary"));
  optBinary->setToolTip(QStringLiteral("Binary transfer mode"));
  auto* modes = new QVBoxLayout(fraTransfer);
  modes->addWidget(optAscii);
  modes->addWidget(optBinary);
  modes->addStretch(1);

  prgStatus = new QProgressBar(picForm);
  prgStatus->setObjectName(QStringLiteral("prgStatus"));
  prgStatus->setRange(0, 100);
  prgStatus->setValue(0);
  prgStatus->setTextVisible(false);
  prgStatus->setFixedHeight(std::max(12, prgStatus->sizeHint().height() * 2 / 3));

  BuildCommandButtons();
  BuildStatusBar();

  // "&Connect" and the menu "&Connection" share Alt+C; the menu keeps the key, so the keyboard can
  // always open every menu. The button still shows its caption as it is.
  QList<QKeySequence> menuKeys;
  for (QAction* title : menuBar()->actions()) menuKeys << QKeySequence::mnemonic(title->text());
  for (QPushButton* button : picForm->findChildren<QPushButton*>())
    if (!button->shortcut().isEmpty() && menuKeys.contains(button->shortcut())) button->setShortcut(QKeySequence());

  // Names for screen readers where a control has neither caption nor tooltip; the rest take theirs.
  // A toolbar is known by its title (never shown: the toolbars do not float).
  const std::pair<QToolBar*, const char*> toolbars[] = {
      {Toolbar1, "Connection toolbar"},    {Toolbar4, "Transfer toolbar"},
      {Toolbar2, "Local System toolbar"},  {Toolbar5, "Local System view toolbar"},
      {Toolbar3, "Remote Server toolbar"}, {Toolbar6, "Remote Server view toolbar"},
  };
  for (const auto& [bar, title] : toolbars) {
    bar->setWindowTitle(QString::fromLatin1(title));
    bar->setAccessibleName(bar->windowTitle());
  }
  const std::pair<QWidget*, const char*> names[] = {
      {cmdSend, "Send File(s)"},
      {cmdReceive, "Receive File(s)"},
      {lstConnectionInfo, "Connection Info Log"},
      {prgStatus, "Transfer progress"},
  };
  for (const auto& [widget, name] : names) widget->setAccessibleName(QString::fromLatin1(name));
  ui::nameControls(this);
}

void frmMain::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("menuBar"));

  miConnection = addTopMenu(bar, "miConnection", "&Connection");
  addEntry(miConnection, {"miConnect", "&Connect...", QKeySequence(Qt::Key_F8)});
  addEntry(miConnection, {"miReconnect", "&Re-Connect", QKeySequence(Qt::Key_F5)});
  addEntry(miConnection, {"miDisconnect", "&Disconnect", QKeySequence(Qt::Key_F9)});
  addEntry(miConnection, {"miAbort", "&Abort"});
  miConnection->addSeparator();
  addEntry(miConnection, {"mnuConnectionExit", "&Exit", QKeySequence(Qt::Key_F4)});

  miTransfer = addTopMenu(bar, "miTransfer", "&Transfer");
  addEntry(miTransfer, {"miSend", "&Send File(s)"});
  addEntry(miTransfer, {"miReceive", "&Receive File(s)"});

  miLocal = addTopMenu(bar, "miLocal", "&Local");
  addEntry(miLocal, {"mnuLocalRefresh", "Refre&sh"});
  addEntry(miLocal, {"mnuLocalOpenFile", "&Open File"});
  addEntry(miLocal, {"mnuLocalUpload", "&Upload File(s)", QKeySequence(Qt::CTRL | Qt::Key_U)});
  addEntry(miLocal, {"mnuLocalTransferToQue", "Transfer To Queue"});
  miLocal->addSeparator();
  addEntry(miLocal, {"miDeleteLocalFile", "&Delete File(s)"});
  addEntry(miLocal, {"miRenameLocalFile", "R&ename File"});
  addEntry(miLocal, {"miCreateLocalFolder", "&Create Folder"});
  addEntry(miLocal, {"miRemoveLocalFolder", "Re&move Folder"});
  miLocal->addSeparator();
  addEntry(miLocal, {"mnuLocalFindFiles", "&Find File(s)", QKeySequence(Qt::CTRL | Qt::Key_F)});
  addEntry(miLocal, {"mnuLocalProperties", "&Properties"});
  addEntry(miLocal, {"mnuLocalGoUp", "&Go up a Directory Level"});
  miLocal->addSeparator();
  addEntry(miLocal, {"mnuLocalDeleteFileToRecycleBin", "Delete File To Recycle Bin"});
  addEntry(miLocal, {"mnuDelteFolderToRecycleBin", "Delete Folder To Recycle Bin"});
  miLocal->addSeparator();
  QMenu* localFilter = addSubmenu(miLocal, "mnuLocalDirectoryFilter", "Directory Filters");
  addEntry(localFilter, {"mnuLocalFilterAll", "&All Files (*.*)"});
  addEntry(localFilter, {"mnuLocalFilterDefineTypes", "&DefineTypes (*.?)"});

  miRemote = addTopMenu(bar, "miRemote", "&Remote");
  addEntry(miRemote, {"mnuRemoteRefresh", "&Refresh"});
  addEntry(miRemote, {"mnuRemoteDownload", "&Download File(s)", QKeySequence(Qt::CTRL | Qt::Key_D)});
  addEntry(miRemote, {"mnuRemoteTransferToQue", "Transfer To Queue"});
  addEntry(miRemote, {"mnuRemoteManualFileReceive", "Manual &File Receive"});
  addEntry(miRemote, {"mnuRemoteManualPut", "&Manual File Send"});
  miRemote->addSeparator();
  addEntry(miRemote, {"miDeleteRemoteFile", "D&elete File"});
  addEntry(miRemote, {"miRenameRemoteFile", "Re&name File"});
  addEntry(miRemote, {"miCreateRemoteFolder", "&Create Folder"});
  addEntry(miRemote, {"miRemoveRemoteFolder", "Rem&ove Folder"});
  addEntry(miRemote, {"mnuRemoteMoveFileOrFolder", "Move File(s) / Folder(s)"});
  miRemote->addSeparator();
  addEntry(miRemote, {"mnuRemoteGoUpDirectory", "&Go Up a Directory Level"});
  addEntry(miRemote, {"mnuRemoteGoToRemoteDirectory", "Go &To Remote Directory"});
  addEntry(miRemote, {"mnuRemoteChangeMode", "Chmod File(s) or Folders(s)"});
  QMenu* remoteFilter = addSubmenu(miRemote, "mnuRemoteDirectoryFilter", "Directory Filters");
  addEntry(remoteFilter, {"mnuRemoteFilterAll", "&All Files (*.*)"});
  addEntry(remoteFilter, {"mnuRemoteFilterDefineTypes", "&Define Types (*.?)"});
  miRemote->addSeparator();
  addEntry(miRemote, {"mnuRemoteSendCommand", "&Send Custom Command"});
  QMenu* ftpCommands = addSubmenu(miRemote, "mnuRemoteFtpCommands", "FTP Commands");
  addEntry(ftpCommands, {"mnuRemoteFtpCommandsHelp", "&HELP"});
  addEntry(ftpCommands, {"mnuRemoteFtpCommandsCwd", "&CWD"});
  addEntry(ftpCommands, {"mnuRemoteFtpCommandsPwd", "&PWD"});
  addEntry(ftpCommands, {"mnuRemoteFtpCommandsSyst", "&SYST"});
  addEntry(ftpCommands, {"mnuRemoteFtpCommandsQuote", "&QUOTE"});
  addEntry(ftpCommands, {"mnuRemoteFtpCommandsList", "&LIST"});
  addEntry(ftpCommands, {"mnuRemoteFtpCommandsNlst", "&NLST"});
  addEntry(ftpCommands, {"mnuRemoteFtpCommandsRetr", "&RETR"});
  addEntry(ftpCommands, {"mnuRemoteFtpCommandsStor", "S&TOR"});

  mnuTools = addTopMenu(bar, "mnuTools", "T&ools");
  QMenu* toolsLocal = addSubmenu(mnuTools, "mnuToolsLocal", "&Local");
  addEntry(toolsLocal, {"mnuLocalShowBigIcons", "Show &Big Icons"});
  addEntry(toolsLocal, {"mnuLocalShowSmallIcons", "Show &Small Icons"});
  addEntry(toolsLocal, {"mnuLocalShowList", "Show &List"});
  addEntry(toolsLocal, {"mnuLocalShowReport", "Show &Report"});
  QMenu* toolsRemote = addSubmenu(mnuTools, "mnuToolsRemote", "&Remote");
  addEntry(toolsRemote, {"mnuRemoteShowBigIcons", "Show &Big Icons"});
  addEntry(toolsRemote, {"mnuRemoteShowSmallIcons", "Show &Small Icons"});
  addEntry(toolsRemote, {"mnuRemoteShowList", "Show &List"});
  addEntry(toolsRemote, {"mnuRemoteShowReport", "Show &Report"});
  mnuTools->addSeparator();
  addEntry(mnuTools, {"mnuToolsOptions", "&Options", QKeySequence(Qt::CTRL | Qt::Key_O)});
  mnuTools->addSeparator();
  addEntry(mnuTools, {"mnuToolsShowLog", "&Show Log"});
  addEntry(mnuTools, {"mnuToolsSaveLog", "Save &Log"});
  addEntry(mnuTools, {"mnuToolsClearLog", "&Clear Log"});
  mnuTools->addSeparator();
  addEntry(mnuTools, {"mnuToolsShowQue", "Show &Queue"});
  addEntry(mnuTools, {"mnuToolsEmptyLocalRecycleBin", "&Empty Local Recycle Bin"});

  mnuView = addTopMenu(bar, "mnuView", "&View");
  for (const Entry& e : {Entry{"mnuViewShowLocalRemoteToolbars", "&Show Local / Remote Toolbars"},
                         Entry{"mnuViewShowConnectDisconnectToolbar", "Show &Connect / Disconnect Toolbar"},
                         Entry{"mnuViewShowWindowButtons", "Show &Window Buttons"},
                         Entry{"mnuViewShowConnectionInfoLog", "Show Connection Info &Log"}}) {
    QAction* toggle = addEntry(mnuView, e);
    toggle->setCheckable(true);
    toggle->setChecked(true);
  }

  mnuHelp = addTopMenu(bar, "mnuHelp", "&Help");
  addEntry(mnuHelp, {"mnuHelpTipOfTheDay", "Tip of the Day..."});
  addEntry(mnuHelp, {"mnuHelpLookForHelpOn", "Look for help on"});
  addEntry(mnuHelp, {"mnuOnlineHelp", "Get online help"});
  mnuHelp->addSeparator();
  addEntry(mnuHelp, {"mnuHelpLicenseAgreement", "License Agreement"});
  addEntry(mnuHelp, {"mnuAboutUs", "&About Tidewick..."});
  addEntry(mnuHelp, {"mnuVisitOurSite", "&Visit Tidewick website"});
  addEntry(mnuHelp, {"mnuHelpCheckForNewerVersion", "&Check for upgrade..."});
  addEntry(mnuHelp, {"mnuHelpSplashScreen", "Splash screen"});
  mnuHelp->addSeparator();
  addEntry(mnuHelp, {"mnuHelpContents", "Contents", QKeySequence(Qt::Key_F1)});

  // The tray icon's menu; never in the menu bar.
  mnuPopup = new QMenu(QStringLiteral("Popup Menu"), this);
  mnuPopup->setObjectName(QStringLiteral("mnuPopup"));
  addEntry(mnuPopup, {"mnuPopupShow", "&Show/Hide"});
  addEntry(mnuPopup, {"mnuPopupExit", "&Exit"});
}

void frmMain::BuildToolbars() {
  const auto captioned = Qt::ToolButtonTextUnderIcon;
  Toolbar1 = makeToolbar(
      "Toolbar1", this,
      {{"Connect", "Connect", "Connect to server", Glyph::Connect},
       {"Disconnect", "Disconect.", "Disconnect from server", Glyph::Disconnect},
       {"Reconnect", "Reconnect", "Reconnect to server", Glyph::Reconnect},
       {"Abort", "Abort", "Abort operation", Glyph::Abort},
       {"Upload", "Upload", "Upload file(s) to server", Glyph::Upload},
       {"NewFolder", "Add Folder", "Create a local folder", Glyph::NewFolder},
       {"DelFolder", "Delete Folder", "Remove local folder", Glyph::DeleteFolder},
       {"DelFile", "Delete File", "Delete local file", Glyph::DeleteFile},
       {"Rename", "Rename", "Rename local file", Glyph::Rename},
       kSep,
       {"Reload2", "Refresh", "Refresh server file list", Glyph::Refresh},
       {"Download", "Download", "Download selected files from server", Glyph::Download},
       {"NewFolder2", "Add Folder", "Add folder to server", Glyph::NewFolder},
       {"DelFolder2", "Delete Folder", "Remocve folder from server", Glyph::DeleteFolder},
       {"DelFile2", "Delete File", "Delete file from server", Glyph::DeleteFile},
       {"Rename2", "Rename", "Rename file on server", Glyph::Rename},
       {"LocalDirSync", "Dir Sync", "Remote site to Local site directory Synchronize", Glyph::SyncToLocal},
       {"RemoteDirSync", "Dir Sync", "Local site to Remote site directory Synchronize", Glyph::SyncToRemote},
       {"Exit", "Exit", "Exit program", Glyph::Exit}},
      24, captioned);
  addToolBar(Qt::TopToolBarArea, Toolbar1);

  Toolbar4 = makeToolbar("Toolbar4", this,
                         {{"Connect", "Connect", "Connect to server", Glyph::Connect},
                          {"Disconnect", "Disconnect", "Disconnect from server", Glyph::Disconnect},
                          {"Abort", "Abort", "Abort operation", Glyph::Abort},
                          {"Upload", "Upload", "Upload", Glyph::Send},
                          {"Download", "Download", "Download", Glyph::Receive},
                          {"DirSyncUp", "Dir Sync", "Remote directory synchronize", Glyph::SyncToRemote},
                          {"DirSyncDown", "Dir Sync", "Local directory synchronize", Glyph::SyncToLocal}},
                         24, captioned);
  Toolbar4->setOrientation(Qt::Vertical);

  const auto iconOnly = Qt::ToolButtonIconOnly;
  Toolbar2 = makeToolbar("Toolbar2", this,
                         {{"Reload", nullptr, "Refresh Contents", Glyph::Refresh},
                          {"NewFolder", nullptr, "Create a local folder", Glyph::NewFolder},
                          {"DelFolder", nullptr, "Remove local folder", Glyph::DeleteFolder},
                          {"DelFile", nullptr, "Delete local file", Glyph::DeleteFile},
                          {"Rename", nullptr, "Rename local file", Glyph::Rename}},
                         20, iconOnly);
  Toolbar3 = makeToolbar("Toolbar3", this,
                         {{"Reload2", nullptr, "Refresh server file list", Glyph::Refresh},
                          {"NewFolder2", nullptr, "Add folder to server", Glyph::NewFolder},
                          {"DelFolder2", nullptr, "Remove folder from server", Glyph::DeleteFolder},
                          {"DelFile2", nullptr, "Delete file from server", Glyph::DeleteFile},
                          {"Rename2", nullptr, "Rename file on server", Glyph::Rename}},
                         20, iconOnly);
  Toolbar5 = makeToolbar("Toolbar5", this,
                         {{"", nullptr, "Go Up 1 directory level", Glyph::GoUp},
                          kSep,
                          {"", nullptr, "Delete selection", Glyph::Delete},
                          {"", nullptr, "Upload selection", Glyph::Upload},
                          kSep,
                          {"", nullptr, "View Large Icons", Glyph::ViewLargeIcons},
                          {"", nullptr, "View Small Icons", Glyph::ViewSmallIcons},
                          {"", nullptr, "View List", Glyph::ViewList},
                          {"", nullptr, "View Details", Glyph::ViewDetails},
                          kSep,
                          {"", nullptr, "New Folder", Glyph::NewFolder}},
                         16, iconOnly);
  Toolbar6 = makeToolbar("Toolbar6", this,
                         {{"", nullptr, "Go Up", Glyph::GoUp},
                          kSep,
                          {"", nullptr, "Delete", Glyph::Delete},
                          {"", nullptr, "Download selection", Glyph::Download},
                          kSep,
                          {"", nullptr, "View Large Icons", Glyph::ViewLargeIcons},
                          {"", nullptr, "View Small Icons", Glyph::ViewSmallIcons},
                          {"", nullptr, "View List", Glyph::ViewList},
                          {"", nullptr, "View Details", Glyph::ViewDetails},
                          kSep,
                          {"", nullptr, "New Folder", Glyph::NewFolder}},
                         16, iconOnly);
}

void frmMain::BuildPane(bool local) {
  auto* frame = new QGroupBox(local ? QStringLiteral("Local System") : QStringLiteral("Remote Server"), picForm);
  frame->setObjectName(local ? QStringLiteral("fraLocal") : QStringLiteral("fraRemote"));

  auto* strip = new QWidget(frame);
  strip->setObjectName(local ? QStringLiteral("Picture3") : QStringLiteral("Picture4"));
  auto* stripLayout = new QVBoxLayout(strip);
  stripLayout->setContentsMargins(0, 0, 0, 0);
  stripLayout->setSpacing(0);
  QToolBar* first = local ? Toolbar2 : Toolbar3;
  QToolBar* second = local ? Toolbar5 : Toolbar6;
  first->setParent(strip);
  second->setParent(strip);
  stripLayout->addWidget(first);
  stripLayout->addWidget(second);

  auto* path = new QComboBox(frame);
  path->setObjectName(local ? QStringLiteral("cboLocalPath") : QStringLiteral("cboRemotePath"));
  path->setToolTip(local ? QStringLiteral("Local Directory") : QStringLiteral("Remote Directory"));
  path->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  path->setMinimumContentsLength(8);
  path->setEditable(true); // the pane decides what typing in it does

  QPushButton* up = makePictureButton(frame, local ? "cmdUpLocal" : "cmdUpFtp", Glyph::GoUp);
  up->setIconSize(QSize(16, 16));
  up->setToolTip(QStringLiteral("Go Up one directory level"));

  // One model per pane, shown four ways (large icons, small icons, list, details).
  auto* model = new FileListModel([](int index) { return ui::fileTypeIcon(index); }, this);
  auto* list = new FilePaneView(model, frame);
  list->setListName(local ? QStringLiteral("lstLocalFileList") : QStringLiteral("lstRemoteFileList"));
  list->setToolTip(local ? QStringLiteral("Local Site Directory Listing")
                         : QStringLiteral("Remote Site Directory Listing"));

  auto* layout = new PaneLayout(frame);
  layout->setWidget(PaneLayout::Strip, strip);
  layout->setWidget(PaneLayout::PathBox, path);
  layout->setWidget(PaneLayout::UpButton, up);
  layout->setWidget(PaneLayout::List, list);

  if (local) {
    fraLocal = frame;
    Picture3 = strip;
    cboLocalPath = path;
    cmdUpLocal = up;
    lstLocalFileList = list;
  } else {
    fraRemote = frame;
    Picture4 = strip;
    cboRemotePath = path;
    cmdUpFtp = up;
    lstRemoteFileList = list;
  }
}

void frmMain::BuildCommandButtons() {
  picWindowButtons = new QWidget(picForm);
  picWindowButtons->setObjectName(QStringLiteral("picWindowButtons"));
  auto* row = new QHBoxLayout(picWindowButtons);
  row->setContentsMargins(4, 2, 4, 2);
  row->setSpacing(4);
  QWidget* p = picWindowButtons;

  cmdConnect = makeButton(p, "cmdConnect", "&Connect", "Connect");
  cmdDisconnect = makeButton(p, "cmdDisconnect", "&Disconnect", "Disconnect");
  cmdAbort = makeButton(p, "cmdAbort", "&Abort", "Abort");
  cmdSend = makePictureButton(p, "cmdSend", Glyph::Send);
  cmdReceive = makePictureButton(p, "cmdReceive", Glyph::Receive);
  cmdSyncDir = makeButton(p, "cmdSyncDir", "Dir Sync", "Directory Sync From Local to Remote");
  cmdDirSyncDown = makeButton(p, "cmdDirSyncDown", "Dir Sync", "Directory Sync From Remote to Local");
  cmdDeleteLocalFile = makeButton(p, "cmdDeleteLocalFile", "Delete File(s)", "Delete Local File(s)");
  cmdRenameLocalFile = makeButton(p, "cmdRenameLocalFile", "Rename File", "Rename Local File");
  cmdCreateLocalFolder = makeButton(p, "cmdCreateLocalFolder", "Add Folder", "Create Local Folder");
  cmdRemoveLocalFolder = makeButton(p, "cmdRemoveLocalFolder", "Delete Folder", "Delete Local Folder");
  cmdDeleteRemoteFile = makeButton(p, "cmdDeleteRemoteFile", "Delete File", "Delete Remote File");
  cmdRenameRemoteFile = makeButton(p, "cmdRenameRemoteFile", "Rename File", "Rename  RemoteFile");
  cmdCreateRemoteFolder = makeButton(p, "cmdCreateRemoteFolder", "Add Folder", "Create Remote Folder");
  cmdDeleteRemoteFolder = makeButton(p, "cmdDeleteRemoteFolder", "Delete Folder", "Delete Remote Folder");

  // Connection, the two transfer directions and the two syncs; then local and remote file commands.
  auto group = [row](std::initializer_list<QWidget*> buttons) {
    for (QWidget* b : buttons) row->addWidget(b);
  };
  group({cmdConnect, cmdDisconnect, cmdAbort});
  row->addSpacing(8);
  group({cmdSend, cmdReceive, cmdSyncDir, cmdDirSyncDown});
  row->addStretch(1);
  group({cmdDeleteLocalFile, cmdRenameLocalFile, cmdCreateLocalFolder, cmdRemoveLocalFolder});
  row->addSpacing(8);
  group({cmdDeleteRemoteFile, cmdRenameRemoteFile, cmdCreateRemoteFolder, cmdDeleteRemoteFolder});
  picWindowButtons->setFixedHeight(picWindowButtons->sizeHint().height());
}

void frmMain::BuildStatusBar() {
  stbProgress = new QStatusBar(this);
  stbProgress->setObjectName(QStringLiteral("stbProgress"));
  stbProgress->setSizeGripEnabled(true);
  // Action, bytes of the running file, total of the transfer, then its speed and time left.
  for (int i = 0; i < 4; ++i) {
    auto* panel = new QLabel(stbProgress);
    panel->setObjectName(QStringLiteral("stbProgressPanel%1").arg(i + 1));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setContentsMargins(4, 0, 4, 0);
    panel->setMinimumWidth(i == 0 ? 120 : (i == 3 ? 130 : 160));
    panel->setTextInteractionFlags(Qt::NoTextInteraction);
    stbProgress->addPermanentWidget(panel, i == 0 ? 1 : 0);
    m_panels[i] = panel;
  }
  stbEncryption = new QLabel(stbProgress);
  stbEncryption->setObjectName(QStringLiteral("stbEncryption"));
  stbEncryption->setFrameShape(QFrame::StyledPanel);
  stbEncryption->setFrameShadow(QFrame::Sunken);
  stbEncryption->setContentsMargins(4, 0, 4, 0);
  stbEncryption->setToolTip(QStringLiteral("How the connection to the server is protected"));
  stbProgress->addPermanentWidget(stbEncryption);
  setStatusBar(stbProgress);
}

QSize frmMain::DefaultSize() const {
  // Wide enough for the whole connection toolbar and the row of command buttons, within the screen.
  const int wanted = std::max({1100, Toolbar1->sizeHint().width() + 8, picWindowButtons->sizeHint().width()});
  QSize size(wanted, 800);
  if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
    const QRect room = screen->availableGeometry();
    size = size.boundedTo(QSize(room.width() * 96 / 100, room.height() * 92 / 100));
  }
  return size;
}

void frmMain::ArrangeControls() {
  // The bars around the client area are laid out first, so its size is known before the window
  // shows.
  auto layOutBars = [this] {
    if (QLayout* bars = layout()) {
      bars->invalidate();
      bars->activate();
    }
  };
  layOutBars();
  int innerWidth = picForm->width();
  const int innerHeight = picForm->height();

  // Heights as designed: the log a fifth of the client area, the progress bar and the button row
  // their own; the frames take the rest.
  const int progressHeight = prgStatus->height();
  const int buttonsHeight = picWindowButtons->height();
  const int logHeight = std::max(90, innerHeight * 21 / 100);
  const int frameHeight = std::max(120, innerHeight - logHeight - 2 * progressHeight - buttonsHeight - 2);
  const int transferWidth = std::max(150, fraTransfer->sizeHint().width());

  // 1. The frames and the middle strip start below the connection toolbar, which stands above the
  //    client area.
  const int framesTop = 0;
  fraLocal->setGeometry(fraLocal->x(), framesTop, fraLocal->width(), frameHeight);
  fraRemote->setGeometry(fraRemote->x(), framesTop, fraRemote->width(), frameHeight);
  Picture1->setGeometry(Picture1->x(), framesTop, Picture1->width(), frameHeight);
  // 2. The log and the transfer frame below the frames.
  const int logTop = fraLocal->y() + fraLocal->height();
  lstConnectionInfo->setGeometry(lstConnectionInfo->x(), logTop, lstConnectionInfo->width(), logHeight);
  fraTransfer->setGeometry(fraTransfer->x(), logTop, transferWidth, logHeight);
  // 3. The progress bar below the log, one of its own heights further down.
  int progressTop = lstConnectionInfo->y() + lstConnectionInfo->height();
  progressTop += progressHeight;
  prgStatus->move(prgStatus->x(), progressTop);
  // 4. The middle strip as wide as its toolbar, which stands at its top.
  const int stripWidth = Toolbar4->sizeHint().width();
  Picture1->resize(stripWidth, Picture1->height());
  Toolbar4->setGeometry(0, 0, stripWidth, Picture1->height());
  // 5. The two frames share what the strip leaves.
  fraLocal->setGeometry(0, fraLocal->y(), (innerWidth - Picture1->width()) / 2, fraLocal->height());
  fraRemote->resize(fraLocal->width(), fraRemote->height());
  // 6. Strip, then remote frame, to the right of the local frame.
  Picture1->move(fraLocal->x() + fraLocal->width(), Picture1->y());
  fraRemote->move(Picture1->x() + Picture1->width(), fraRemote->y());
  // 7. The window just wide enough for the frames.
  const int outer = frameGeometry().width();
  const int newOuter =
      static_cast<int>(static_cast<qint64>(outer) * fraRemote->x() / std::max(1, innerWidth)) + fraRemote->width();
  if (newOuter > 0 && newOuter != outer) {
    resize(width() + newOuter - outer, height());
    layOutBars();
    innerWidth = picForm->width();
  }
  // 8. The log across the rest of the width, the transfer frame at its right.
  lstConnectionInfo->setGeometry(0, lstConnectionInfo->y(), innerWidth - fraTransfer->width(),
                                 lstConnectionInfo->height());
  fraTransfer->move(lstConnectionInfo->x() + lstConnectionInfo->width(), fraTransfer->y());
  // 9. The progress bar across the whole width.
  prgStatus->setGeometry(0, prgStatus->y(), innerWidth, prgStatus->height());
  // 10. Inside each frame, its own layout keeps the pane's relations.
  // The command buttons under the progress bar, across the whole width.
  picWindowButtons->setGeometry(0, prgStatus->y() + prgStatus->height() + 2, innerWidth, buttonsHeight);
}

void frmMain::SetMenuPictures() {
  // The pictures of the main window's picture boxes, by the entries that show them.
  const QIcon picMenu[4] = {glyphIcon(Glyph::Document), glyphIcon(Glyph::Save), glyphIcon(Glyph::Connect),
                            glyphIcon(Glyph::Reconnect)};
  const QIcon picMenu2 = glyphIcon(Glyph::Exit), picMenu3 = glyphIcon(Glyph::Refresh),
              picMenu4 = glyphIcon(Glyph::Transfer), picMenu5 = glyphIcon(Glyph::Properties),
              picMenu6 = glyphIcon(Glyph::FindFiles), picMenu7 = glyphIcon(Glyph::Abort),
              picMenu8 = glyphIcon(Glyph::WindowButtons);
  const std::pair<const char*, QIcon> pictures[] = {
      {"miConnect", picMenu[2]},
      {"miDisconnect", picMenu[2]},
      {"miReconnect", picMenu[3]},
      {"miAbort", picMenu7},
      {"mnuConnectionExit", picMenu2},
      {"miSend", picMenu4},
      {"miReceive", picMenu4},
      {"mnuLocalRefresh", picMenu3},
      {"mnuLocalOpenFile", picMenu[0]},
      {"mnuLocalUpload", picMenu4},
      {"mnuLocalFindFiles", picMenu6},
      {"mnuLocalProperties", picMenu5},
      {"mnuRemoteRefresh", picMenu3},
      {"mnuRemoteDownload", picMenu4},
      {"mnuToolsLocal", picMenu7},
      {"mnuToolsRemote", picMenu[2]},
      {"mnuToolsShowLog", picMenu[0]},
      {"mnuToolsSaveLog", picMenu[1]},
      {"mnuViewShowWindowButtons", picMenu8},
  };
  for (const auto& [name, icon] : pictures)
    if (QAction* entry = menuEntry(QString::fromLatin1(name))) entry->setIcon(icon);
}

} // namespace tidewick::app
