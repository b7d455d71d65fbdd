#include "app/frmMain.h"

#include "app/Placement.h"
#include "app/UserPrompts.h"
#include "settings/Globals.h"
#include "settings/Register.h"
#include "settings/Switches.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>

bool gStartupFlag = false;

frmMain::frmMain(UserPrompts& prompts, QStringList commandLine, QWidget* parent)
    : QMainWindow(parent), m_prompts(prompts), m_commandLine(std::move(commandLine)) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Tidewick"));
  resize(960, 680);
  m_endProgram = [] { QCoreApplication::exit(0); };
}

frmMain::~frmMain() = default;

void frmMain::Load() {
  CRegister reg; // one store object for the whole sequence; it keeps nothing between calls

  // Settings of an older version that no longer fit are dropped once.
  const QString version = ProgramVersion();
  if (!IsStoredVersion(version)) {
    ResetStoredSettings();
    StoreVersion(version);
  }

  // Arrange frames, toolbars, lists and the progress bar.

  gStartupFlag = true;

  // Menu pictures.

  if (tidewick::SwitchIsOn(QStringLiteral("ADD TO STARTUP"))) SetStartupEntry(StartupCommandLine());

  ApplyLogFileRules();

  // Local folder object and control resizer.
  // Binary transfer mode.

  Connection = ConnectionData{};
  Connection.host = QString::fromLatin1(kDefaultHost);

  // Command states: nothing selected, not connected, nothing to abort.
  // Logical drives of the local folder object.

  CurrentLocalFolder = AddTrailingBackslash(QDir::homePath());

  // Prepare the resizer with this window.

  if (!isMinimized()) ApplyPlacement(this, QStringLiteral("MAIN"));

  // Local folder contents.

  CreateWorkingFolders();

  if (tidewick::SwitchIsOn(QStringLiteral("SHOW CONNECTION ON STARTUP")) && !isMinimized()) {
    // The Connect command: the connection dialog, then the connection.
  }

  // Tray icon.

  const QString arguments = m_commandLine.mid(1).join(QLatin1Char(' '));
  m_startHidden = !arguments.isEmpty() && arguments.toUpper().contains(QStringLiteral("/STARTUP"));
  if (m_startHidden) hide();
  (void)reg;
}

void frmMain::ApplyLogFileRules() {
  QString name = GetSetting(QStringLiteral("LOG FILE NAME"), QString());
  if (name.isEmpty()) {
    name = QStringLiteral("TIDEWICK.LOG");
    SaveSetting(QStringLiteral("LOG FILE NAME"), name);
  }
  m_logFilePath = AppFilePath(QStringLiteral("Log/") + name);

  if (tidewick::SwitchIsOn(QStringLiteral("DELETE LOG ON STARTUP")) && FileExists(m_logFilePath))
    DeleteFileQuietly(m_logFilePath);

  if (tidewick::SwitchIsOn(QStringLiteral("DELETE LOG IF SIZE EXCEEDS"))) {
    QString limit = GetSetting(QStringLiteral("LOG FILE SIZE"), QString());
    if (limit.isEmpty()) {
      limit = QStringLiteral("1000");
      SaveSetting(QStringLiteral("LOG FILE SIZE"), limit);
    }
    // Kilobytes of 1000 bytes; strictly greater deletes.
    if (FileExists(m_logFilePath) && static_cast<double>(QFileInfo(m_logFilePath).size()) > LeadingNumber(limit) * 1000.0)
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
  // The local folder object and the control resizer go with the window.
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
  // Disconnect first: aborts a running operation and waits for the connection to settle.
  ReleaseHelpers();
  if (!isMinimized()) SavePlacement(this, QStringLiteral("MAIN"));
  // Remove the tray icon.
  event->accept();
  EndProgram();
}

void frmMain::QuickExit() {
  // Disconnect.
  ReleaseHelpers();
  // Remove the tray icon.
  EndProgram();
}
