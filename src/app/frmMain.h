#pragma once
// The main window: owner of everything for the whole run. Load() runs the start sequence;
// closing the window (close box) runs the shutdown, and QuickExit() is the Exit command.
//
// The window's commands are virtual handlers, one per entry, reached from the menus, the toolbars,
// the command buttons and the shortcuts. Handlers whose subsystem is not here yet do nothing.

#include "settings/SiteSecurity.h"
#include "update/InternetConnection.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTimer;
class QToolBar;
namespace tidewick::browse {
class FileOperations;
class FilePaneView;
class LocalFileSystem;
class LocalPane;
class RemotePane;
struct PaneCommandStates;
} // namespace tidewick::browse
namespace tidewick::commands {
class RemoteCommands;
}
namespace tidewick::ftp {
class FtpClient;
}
namespace tidewick::help {
class HelpWindow;
}
namespace tidewick::log {
class LogList;
}
namespace tidewick::options {
class OptionsHost;
}
namespace tidewick::queue {
class frmQue;
}
namespace tidewick::transfer {
class TransferController;
}
namespace tidewick::tray {
class NotificationArea;
class TrayIcon;
} // namespace tidewick::tray
namespace tidewick::ui {
class ControlResizer;
class UserPrompts;
} // namespace tidewick::ui

namespace tidewick::app {

// Set by the main window's load and cleared when the user opens the splash window from the Help
// menu; the tip of the day reads it.
extern bool gStartupFlag;

// The public anonymous FTP server offered before the first connection.
inline constexpr const char* kDefaultHost = "ftp.gnu.org";

// The main window. Its name, its controls' names and its command handlers are the ones the window's
// contract gives them (tests and the other windows find them so); everything behind them has plain
// names.
class frmMain : public QMainWindow {
  Q_OBJECT

public:
  // The connection data the connection dialog edits in place.
  struct ConnectionData {
    QString host;
    QString port = QLatin1String(settings::kFtpPort);
    QString userName;
    QString password;
    bool anonymous = true;
    settings::SiteSecurity security = settings::SiteSecurity::Plain;
  };

  frmMain(ui::UserPrompts& prompts, QStringList commandLine, QWidget* parent = nullptr);
  ~frmMain() override;

  // The start sequence. Runs once, before the window is first shown.
  void Load();
  // True when "/STARTUP" asked for the window to stay hidden.
  bool StartsHidden() const { return m_startHidden; }
  // Whether the program shows an icon in the notification area. Without one a hidden window could
  // not be reached again, so "/STARTUP" then starts minimized instead and minimizing does not hide.
  bool HasTrayIcon() const;
  // The notification area the tray icon goes to (the desktop's own unless a test gives another);
  // before Load().
  void setNotificationArea(std::unique_ptr<tray::NotificationArea> area);
  tray::TrayIcon* trayIcon() const { return m_tray.get(); }
  // Who answers whether the machine is connected (the about box's links, the upgrade check).
  void setConnectionProbe(update::ConnectionProbe probe) { m_connectionProbe = std::move(probe); }
  // The folder of the bundled manual; the one installed beside the program unless set.
  void setHelpFolder(const QString& folder) { m_helpFolder = folder; }
  help::HelpWindow* helpWindow() const;
  // Another copy of the program was running when this one started; the splash then leaves the tip
  // of the day to it.
  void setOtherInstanceRunning(bool running) { m_otherInstanceRunning = running; }
  // Shows the window as the start asks: normally, not at all (only the tray icon), or minimized.
  void ShowAfterLoad();

  // How the program ends; tests replace it.
  void setEndProgram(std::function<void()> end) { m_endProgram = std::move(end); }

  ui::UserPrompts& prompts() const { return m_prompts; }
  const QString& logFilePath() const { return m_logFilePath; }
  ftp::FtpClient& ftp() const { return *xFtp; }
  ui::ControlResizer* resizer() const { return m_resizer.get(); }
  // The options dialog's owner: the dialog exists from the first read of one of its controls.
  options::OptionsHost& options() const { return *m_options; }
  commands::RemoteCommands& remoteCommands() const { return *m_remoteCommands; }

  // ---- the log (the list below the panes) and the status bar's action panel
  // A line of the window's own; a failure ("Error: ...") also takes the action panel, and keeps it
  // until the next action sets a text there.
  void DisplayMessage(const QString& text);
  // Sets the action panel; the empty text clears it unless a failure is showing there.
  void UpdateAction(const QString& text);
  // A line as it is, never taken for a failure (the component's log lines).
  void AddLogLine(const QString& text);
  static bool IsFailureLine(const QString& text);
  log::LogList* logList() const { return lstConnectionInfo; }
  // Panel 1 action, 2 bytes of the file, 3 transfer total, 4 speed and time left.
  QLabel* statusPanel(int number) const;

  // ---- the connection
  // Connects with the properties already set on the component.
  void ConnectToServer();
  // The component's events.
  void xFtp_Disconnected();
  void xFtp_AccountRequired(QString& account);
  void xFtp_PasswordRequired(QString& password);

  // ---- the panes
  void ListFilesOnServer();
  void ClearRemoteList();
  // The progress bar and the byte panels of a running transfer.
  void ResetProgress();
  void UpdateStatus(qint64 bytes, qint64 totalBytes, int percent);
  transfer::TransferController* transfers() const { return m_transfers.get(); }
  browse::LocalPane* localPane() const { return m_localPane.get(); }
  browse::RemotePane* remotePane() const { return m_remotePane.get(); }
  browse::FileOperations* fileOperations() const { return m_fileOps.get(); }
  // The transfer queue window: made when first needed, kept while hidden.
  queue::frmQue& QueueWindow();
  queue::frmQue* queueWindowIfLoaded() const { return m_queue.get(); }

  // ---- command states
  void SetConnectedState(bool connected);
  void SetAbortEnabled(bool busy);

  // A toolbar's button by its key, or by its position (from 1, separators counted).
  static QAction* ToolbarButton(const QToolBar* toolbar, const QString& key);
  static QAction* ToolbarButtonAt(const QToolBar* toolbar, int position);

  // ---- commands (menus, toolbars, buttons, shortcuts)
  // Connection
  virtual void ConnectWithDialog();
  virtual void Reconnect();
  virtual void DisconnectFromServer();
  virtual void Abort();
  // The Exit command: disconnect, release, remove the tray icon, end at once. The placement is
  // not saved on this way out.
  virtual void QuickExit();
  // Transfer
  virtual void SendSelection();
  virtual void ReceiveSelection();
  virtual void SyncLocalToRemote();
  virtual void SyncRemoteToLocal();
  // Local
  virtual void RefreshLocalList();
  virtual void UpdateLocalCommandStates();
  virtual void OpenLocalFile();
  virtual void LocalTransferToQueue();
  virtual void DeleteLocalFiles();
  virtual void RenameLocalFile();
  virtual void CreateLocalFolder();
  virtual void RemoveLocalFolder();
  virtual void FindLocalFiles();
  virtual void ShowLocalProperties();
  virtual void LocalGoUp();
  virtual void DeleteLocalFileToRecycleBin();
  virtual void DeleteLocalFolderToRecycleBin();
  virtual void LocalFilterAll();
  virtual void LocalFilterDefineTypes();
  // 0 large icons, 1 small icons, 2 list, 3 details
  virtual void SetLocalView(int view);
  // Remote
  virtual void RefreshRemoteList();
  virtual void UpdateRemoteCommandStates();
  virtual void RemoteTransferToQueue();
  virtual void ManualFileReceive();
  virtual void ManualFileSend();
  virtual void DeleteRemoteFile();
  virtual void RenameRemoteFile();
  virtual void CreateRemoteFolder();
  virtual void RemoveRemoteFolder();
  virtual void MoveRemoteItems();
  virtual void RemoteGoUp();
  virtual void GoToRemoteDirectory();
  virtual void ChangeRemoteMode();
  virtual void RemoteFilterAll();
  virtual void RemoteFilterDefineTypes();
  virtual void SendCustomCommand();
  // HELP, CWD, PWD, SYST, QUOTE, LIST and NLST of the FTP Commands menu.
  virtual void SendFtpCommand(const QString& verb);
  virtual void SetRemoteView(int view);
  // Tools
  virtual void ShowOptions();
  virtual void ShowLog();
  virtual void SaveLog();
  virtual void ClearLog();
  virtual void ShowQueue();
  virtual void EmptyLocalRecycleBin();
  // View
  void ToggleLocalRemoteToolbars();
  void ToggleConnectionToolbar();
  void ToggleWindowButtons();
  void ToggleConnectionLog();
  // Help
  virtual void ShowTipOfTheDay();
  virtual void LookForHelpOn();
  virtual void OpenOnlineHelp();
  virtual void ShowLicenseAgreement();
  virtual void ShowAbout();
  virtual void VisitWebsite();
  virtual void CheckForUpgrade();
  virtual void ShowSplashScreen();
  virtual void HelpContents();
  // The tray icon's menu
  virtual void ShowOrHide();
  // The tips timer's tick, 2000 ms after the load: the tip of the day, unless tips are off, there is
  // no tips file or the window is not on screen.
  void TipsTimer_Timer();
  // Transfer mode options: ASCII sets the component's mode to 1, binary to 0.
  void optAscii_Click();
  void optBinary_Click();

  // ---- toolbar dispatch: by key for Toolbar1 to Toolbar4, by position for Toolbar5 and Toolbar6
  void Toolbar1_ButtonClick(const QString& key);
  void Toolbar2_ButtonClick(const QString& key);
  void Toolbar3_ButtonClick(const QString& key);
  void Toolbar4_ButtonClick(const QString& key);
  void Toolbar5_ButtonClick(int position);
  void Toolbar6_ButtonClick(int position);

  QString CurrentLocalFolder;
  QString CurrentRemoteFolder;
  ConnectionData Connection;

protected:
  void closeEvent(QCloseEvent* event) override;
  // Minimizing hides the window while the tray icon can bring it back.
  void changeEvent(QEvent* event) override;
  // No toolbar menu of its own: the View menu shows and hides the toolbars and keeps its marks.
  QMenu* createPopupMenu() override { return nullptr; }
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // Building the window (frmMainUi.cpp).
  void BuildControls();
  void BuildMenus();
  void BuildToolbars();
  void BuildPane(bool local);
  void BuildCommandButtons();
  void BuildStatusBar();
  // The status bar's encryption panel: the TLS version and cipher, "Not encrypted", or nothing
  // while not connected.
  void ShowEncryption();
  void ConnectCommands();
  // The arrangement of the frames, toolbars, lists and progress bar at load.
  void ArrangeControls();
  QSize DefaultSize() const;
  void SetMenuPictures();
  void Form_Resize();

  void ApplyLogFileRules();
  // The panes and the file commands (frmMainPanes.cpp).
  void CreatePanes();
  void CreateTransfers();
  void ApplyLocalCommandStates(const browse::PaneCommandStates& states);
  void ApplyRemoteCommandStates(const browse::PaneCommandStates& states);
  // After a connection: list the server's folder and switch the window to connected.
  void ListAfterConnecting();
  // A port typed or stored as text: a whole number from 1 to 65535, or a message and nothing.
  std::optional<quint16> PortFromText(const QString& text, const QString& what);
  void RefusePort(const QString& text, const QString& what);
  void CreateWorkingFolders();
  // Contents (F1) and "Look for help on": the help window, or a message when there is no manual.
  void OpenHelp(bool search);
  void ReleaseHelpers();
  void EndProgram();

  ui::UserPrompts& m_prompts;
  QStringList m_commandLine;
  QString m_logFilePath;
  bool m_startHidden = false;
  bool m_ending = false;
  bool m_shuttingDown = false; // closing or Exit: the connection's end needs no notice
  std::function<void()> m_endProgram;
  std::unique_ptr<ui::ControlResizer> m_resizer;
  std::unique_ptr<options::OptionsHost> m_options;
  std::unique_ptr<commands::RemoteCommands> m_remoteCommands;
  std::unique_ptr<browse::LocalFileSystem> m_localFiles;
  std::unique_ptr<browse::LocalPane> m_localPane;
  std::unique_ptr<browse::RemotePane> m_remotePane;
  std::unique_ptr<browse::FileOperations> m_fileOps;
  ftp::FtpClient* xFtp = nullptr;
  std::unique_ptr<transfer::TransferController> m_transfers;
  std::unique_ptr<tray::TrayIcon> m_tray;
  update::ConnectionProbe m_connectionProbe;
  QString m_helpFolder;
  QPointer<help::HelpWindow> m_helpWindow;
  bool m_otherInstanceRunning = false;
  std::unique_ptr<queue::frmQue> m_queue;

public:
  // The controls, under the names the rest of the program knows them by (also their objectName).
  QToolBar* Toolbar1 = nullptr;
  QToolBar* Toolbar2 = nullptr;
  QToolBar* Toolbar3 = nullptr;
  QToolBar* Toolbar4 = nullptr;
  QToolBar* Toolbar5 = nullptr;
  QToolBar* Toolbar6 = nullptr;
  QWidget* picForm = nullptr; // the client area all controls below stand in
  QGroupBox* fraLocal = nullptr;
  QGroupBox* fraRemote = nullptr;
  QWidget* Picture1 = nullptr;
  QWidget* Picture3 = nullptr;
  QWidget* Picture4 = nullptr;
  QComboBox* cboLocalPath = nullptr;
  QComboBox* cboRemotePath = nullptr;
  browse::FilePaneView* lstLocalFileList = nullptr;
  browse::FilePaneView* lstRemoteFileList = nullptr;
  log::LogList* lstConnectionInfo = nullptr;
  QGroupBox* fraTransfer = nullptr;
  QRadioButton* optAscii = nullptr;
  QRadioButton* optBinary = nullptr;
  QProgressBar* prgStatus = nullptr;
  QStatusBar* stbProgress = nullptr;
  QLabel* stbEncryption = nullptr;
  QWidget* picWindowButtons = nullptr;
  QPushButton* cmdConnect = nullptr;
  QPushButton* cmdDisconnect = nullptr;
  QPushButton* cmdAbort = nullptr;
  QPushButton* cmdSend = nullptr;
  QPushButton* cmdReceive = nullptr;
  QPushButton* cmdSyncDir = nullptr;
  QPushButton* cmdDirSyncDown = nullptr;
  QPushButton* cmdDeleteLocalFile = nullptr;
  QPushButton* cmdRenameLocalFile = nullptr;
  QPushButton* cmdCreateLocalFolder = nullptr;
  QPushButton* cmdRemoveLocalFolder = nullptr;
  QPushButton* cmdDeleteRemoteFile = nullptr;
  QPushButton* cmdRenameRemoteFile = nullptr;
  QPushButton* cmdCreateRemoteFolder = nullptr;
  QPushButton* cmdDeleteRemoteFolder = nullptr;
  QPushButton* cmdUpLocal = nullptr;
  QPushButton* cmdUpFtp = nullptr;
  QMenu* miConnection = nullptr;
  QMenu* miTransfer = nullptr;
  QMenu* miLocal = nullptr;
  QMenu* miRemote = nullptr;
  QMenu* mnuTools = nullptr;
  QMenu* mnuView = nullptr;
  QMenu* mnuHelp = nullptr;
  QMenu* mnuPopup = nullptr;
  QTimer* TipsTimer = nullptr;
  // A menu entry by its name (miConnect, mnuToolsSaveLog, ...); nullptr for an unknown name.
  QAction* menuEntry(const QString& name) const;

private:
  QLabel* m_panels[4] = {nullptr, nullptr, nullptr, nullptr};
  bool m_failureShown = false; // the action panel shows a failure line
};

} // namespace tidewick::app
