#include "app/frmMain.h"

#include "browse/FileListModel.h"
#include "browse/FileOperations.h"
#include "browse/FilePaneView.h"
#include "browse/LocalFileSystem.h"
#include "browse/LocalPane.h"
#include "browse/RemotePane.h"
#include "commands/RemoteCommands.h"
#include "ftp/FtpClient.h"
#include "help/HelpWindow.h"
#include "log/LogList.h"
#include "log/SaveLog.h"
#include "log/frmLogWindow.h"
#include "options/OptionsHost.h"
#include "queue/frmQue.h"
#include "settings/Globals.h"
#include "settings/Registry.h"
#include "settings/SettingsKeys.h"
#include "settings/Switches.h"
#include "transfer/TransferController.h"
#include "tray/TrayIcon.h"
#include "ui/CertificateTrust.h"
#include "ui/ControlResizer.h"
#include "ui/Placement.h"
#include "ui/SshQuestions.h"
#include "ui/UserPrompts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>
#include <QTimer>

namespace tidewick::app {

namespace keys = settings::keys;
using ftp::FtpClient;
using settings::AppFilePath;
using settings::DeleteFileQuietly;
using settings::FileExists;
using settings::FolderExists;
using settings::IsStoredVersion;
using settings::LeadingNumber;
using settings::ProgramVersion;
using settings::ResetStoredSettings;
using settings::SetStartupEntry;
using settings::StartupCommandLine;
using settings::StoreVersion;
using settings::switchIsOn;
using settings::withTrailingSlash;

bool gStartupFlag = false;

frmMain::frmMain(ui::UserPrompts& prompts, QStringList commandLine, QWidget* parent)
    : QMainWindow(parent), m_prompts(prompts), m_commandLine(std::move(commandLine)) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Tidewick"));
  m_endProgram = [] { QCoreApplication::exit(0); };

  xFtp = new FtpClient(this);
  xFtp->setObjectName(QStringLiteral("xFtp"));
  // The server's words go to the log as they are; only the window's own lines can be failures.
  connect(xFtp, &FtpClient::LogMessage, this, &frmMain::AddLogLine);
  connect(xFtp, &FtpClient::Disconnected, this, &frmMain::xFtp_Disconnected);
  connect(xFtp, &FtpClient::AccountRequired, this, &frmMain::xFtp_AccountRequired);
  connect(xFtp, &FtpClient::PasswordRequired, this, &frmMain::xFtp_PasswordRequired);
  ui::AnswerCertificates(*xFtp, &m_prompts, this);
  ui::AnswerSshQuestions(*xFtp, m_prompts, this);

  BuildControls();
  CreateTransfers();
  ConnectCommands();
  resize(DefaultSize());

  // From here on the switch rule reads the options dialog's controls.
  m_options = std::make_unique<options::OptionsHost>(m_prompts, this);

  commands::CommandServices services;
  services.prompts = &m_prompts;
  services.window = this;
  services.DisplayMessage = [this](const QString& line) { DisplayMessage(line); };
  services.UpdateAction = [this](const QString& text) { UpdateAction(text); };
  services.RefreshLocalList = [this] {
    RefreshLocalList();
    UpdateLocalCommandStates();
  };
  services.RefreshRemoteList = [this] {
    RefreshRemoteList();
    UpdateRemoteCommandStates();
  };
  services.FollowServerFolder = [this] {
    if (m_remotePane) m_remotePane->FollowServerFolder();
  };
  services.SelectedRemoteNames = [this] {
    QStringList names;
    for (int row : lstRemoteFileList->selectedRows()) names << lstRemoteFileList->model()->row(row).name;
    return names;
  };
  m_remoteCommands = std::make_unique<commands::RemoteCommands>(*xFtp, CurrentLocalFolder, std::move(services));

  m_tray = std::make_unique<tray::TrayIcon>(this, mnuPopup);
  m_connectionProbe = update::currentConnectionState;
  m_helpFolder = help::BundledHelpFolder();

  TipsTimer = new QTimer(this);
  TipsTimer->setObjectName(QStringLiteral("TipsTimer"));
  TipsTimer->setSingleShot(true);
  TipsTimer->setInterval(2000);
  connect(TipsTimer, &QTimer::timeout, this, &frmMain::TipsTimer_Timer);
}

// The program's end without its unload (the windowing layer ending it) still takes the icon away.
frmMain::~frmMain() {
  if (m_tray) m_tray->Remove();
}

void frmMain::setNotificationArea(std::unique_ptr<tray::NotificationArea> area) {
  m_tray = std::make_unique<tray::TrayIcon>(this, mnuPopup, std::move(area));
}

bool frmMain::HasTrayIcon() const { return m_tray && m_tray->isShown(); }

void frmMain::Load() {
  // Settings of an older version that no longer fit are dropped once.
  const QString version = ProgramVersion();
  if (!IsStoredVersion(version)) {
    ResetStoredSettings();
    StoreVersion(version);
  }

  ArrangeControls();

  gStartupFlag = true;

  SetMenuPictures();

  if (switchIsOn(keys::AddToStartup)) SetStartupEntry(StartupCommandLine());

  ApplyLogFileRules();

  // Local folder object and control resizer.
  CreatePanes();
  m_resizer = std::make_unique<ui::ControlResizer>();

  optBinary->setChecked(true);
  optBinary_Click();

  Connection = ConnectionData{};
  Connection.host = QString::fromLatin1(kDefaultHost);

  UpdateLocalCommandStates();
  UpdateRemoteCommandStates();
  SetConnectedState(false);
  SetAbortEnabled(false);

  m_localFiles->listRoots();

  CurrentLocalFolder = withTrailingSlash(QDir::homePath());
  m_localPane->AddPathToComboBox(CurrentLocalFolder);

  m_resizer->prepare(this);

  if (!isMinimized()) ui::applyPlacement(this, keys::placement::Main);

  m_localPane->RetrieveLocalFolderContents(CurrentLocalFolder);

  CreateWorkingFolders();

  if (switchIsOn(keys::ShowConnectionOnStartup) && !isMinimized()) ConnectWithDialog();

  m_tray->Add();

  // Without a notification area a start that asks to stay hidden is shown minimized instead
  // (ShowAfterLoad()), so the window can always be reached.
  const QString arguments = m_commandLine.mid(1).join(QLatin1Char(' '));
  m_startHidden = !arguments.isEmpty() && arguments.toUpper().contains(QStringLiteral("/STARTUP"));
  if (m_startHidden) hide();

  TipsTimer->start();
}

void frmMain::ShowAfterLoad() {
  if (!m_startHidden) show();
  else if (!HasTrayIcon()) showMinimized();
}

void frmMain::ApplyLogFileRules() {
  QString name = settings::value(keys::LogFileName);
  if (name.isEmpty()) {
    name = QStringLiteral("TIDEWICK.LOG");
    settings::setValue(keys::LogFileName, name);
  }
  m_logFilePath = AppFilePath(QStringLiteral("Log/") + name);
  xFtp->setLogFile(m_logFilePath);

  if (switchIsOn(keys::DeleteLogOnStartup) && FileExists(m_logFilePath)) DeleteFileQuietly(m_logFilePath);

  if (switchIsOn(keys::DeleteLogIfTooLarge)) {
    QString limit = settings::value(keys::LogFileSize);
    if (limit.isEmpty()) {
      limit = QStringLiteral("1000");
      settings::setValue(keys::LogFileSize, limit);
    }
    // Kilobytes of 1000 bytes; strictly greater deletes.
    if (FileExists(m_logFilePath) &&
        static_cast<double>(QFileInfo(m_logFilePath).size()) > LeadingNumber(limit) * 1000.0)
      DeleteFileQuietly(m_logFilePath);
  }
}

void frmMain::CreateWorkingFolders() {
  for (const char* folder : {"Download", "Profiles", "Log", "Ini"}) {
    const QString path = AppFilePath(QString::fromLatin1(folder));
    if (!FolderExists(path)) QDir().mkpath(path);
  }
}

void frmMain::ReleaseHelpers() {
  // The local folder object and the control resizer go with the window. The panes stay: the
  // window's last events may still reach them.
  m_resizer.reset();
}

void frmMain::EndProgram() {
  m_ending = true;
  if (m_endProgram) m_endProgram();
}

void frmMain::closeEvent(QCloseEvent* event) {
  if (m_ending) {
    event->accept();
    return;
  }
  m_shuttingDown = true;
  DisconnectFromServer();
  ReleaseHelpers();
  if (!isMinimized()) ui::savePlacement(this, keys::placement::Main);
  m_tray->Remove();
  event->accept();
  EndProgram();
}

void frmMain::QuickExit() {
  m_shuttingDown = true;
  DisconnectFromServer();
  ReleaseHelpers();
  m_tray->Remove();
  EndProgram();
}

void frmMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !isMinimized() || !HasTrayIcon()) return;
  // Hidden once the windowing layer has finished minimizing; the icon brings it back.
  QTimer::singleShot(0, this, [this] {
    if (isMinimized() && HasTrayIcon()) hide();
  });
}

void frmMain::ShowOrHide() { m_tray->ShowOrHide(); }

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == picForm && event->type() == QEvent::Resize) Form_Resize();
  return QMainWindow::eventFilter(watched, event);
}

void frmMain::Form_Resize() {
  // A minimized window has nothing to show; otherwise its controls keep their proportions.
  if (isMinimized()) return;
  if (m_resizer) m_resizer->resizeControls();
}

// ---- the log

void frmMain::AddLogLine(const QString& text) {
  lstConnectionInfo->addLine(text);
  lstConnectionInfo->setCurrentRow(lstConnectionInfo->count() - 1);
}

bool frmMain::IsFailureLine(const QString& text) {
  for (const char* start : {"Error: ", "Error while ", "Cannot read the contents of "})
    if (text.startsWith(QLatin1String(start))) return true;
  return false;
}

void frmMain::DisplayMessage(const QString& text) {
  AddLogLine(text);
  // A failure is shown where the user looks for what is going on, not only in the log, and stays
  // there until the next action begins.
  if (IsFailureLine(text)) {
    m_panels[0]->setText(text);
    m_failureShown = true;
  }
}

void frmMain::UpdateAction(const QString& text) {
  // Clearing the panel at the end of a command must not wipe the failure that ended it.
  if (text.isEmpty() && m_failureShown) return;
  m_failureShown = false;
  m_panels[0]->setText(text);
}

QLabel* frmMain::statusPanel(int number) const { return number >= 1 && number <= 4 ? m_panels[number - 1] : nullptr; }

void frmMain::ShowLog() {
  log::frmLogWindow window(m_prompts, *lstConnectionInfo, this);
  window.Load();
  m_prompts.showModal(&window);
}

void frmMain::SaveLog() { log::SaveLogLine(this, m_prompts, *lstConnectionInfo); }

void frmMain::ClearLog() { lstConnectionInfo->clear(); }

// ---- options and the commands that talk to the server directly

void frmMain::ShowOptions() { m_options->Show(); }

void frmMain::SendFtpCommand(const QString& verb) { m_remoteCommands->SendFtpCommand(verb); }
void frmMain::SendCustomCommand() { m_remoteCommands->SendCustomCommand(); }
void frmMain::ManualFileReceive() { m_remoteCommands->ManualFileReceive(); }
void frmMain::ManualFileSend() { m_remoteCommands->ManualFileSend(); }
void frmMain::ChangeRemoteMode() { m_remoteCommands->ChangeRemoteMode(); }

} // namespace tidewick::app
