// The main window's side of a connection: the connection dialog, connecting with the login,
// passive-mode and proxy settings, reconnecting, disconnecting, aborting, and the component's
// notices and questions.
#include "app/frmMain.h"

#include "browse/RemotePane.h"
#include "ftp/FtpClient.h"
#include "settings/ConnectionSettings.h"
#include "sites/frmConnectionInfo.h"
#include "ui/BusyCursor.h"
#include "ui/UserPrompts.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>

namespace tidewick::app {

using ftp::ClientState;
using ftp::FailureKind;
using ftp::FtpFailure;
using settings::ConnectionSettings;
using ui::BusyCursor;
using ui::UserPrompts;

namespace {
const QString kNotice = QStringLiteral("Tidewick [Notice]");
const QString kQuery = QStringLiteral("Tidewick [Query]");

// The password every anonymous login sends.
const QString kAnonymousPassword = QStringLiteral("tansy");
} // namespace

std::optional<quint16> frmMain::PortFromText(const QString& text, const QString& what) {
  const std::optional<quint16> port = settings::portFromText(text);
  if (!port) RefusePort(text, what);
  return port;
}

void frmMain::RefusePort(const QString& text, const QString& what) {
  m_prompts.message(
      this, kNotice,
      QStringLiteral("The %1 \"%2\" is not a whole number from 1 to 65535.\nNothing was connected.").arg(what, text),
      UserPrompts::OkOnly, UserPrompts::Icon::Warning);
}

void frmMain::ConnectWithDialog() {
  m_remotePane->SetNavigationLock(true);
  bool chosen = false;
  {
    sites::frmConnectionInfo dialog(m_prompts, this);
    chosen = dialog.ShowForm(Connection.host, Connection.port, Connection.userName, Connection.password,
                             Connection.anonymous, Connection.security);
  }
  if (chosen) {
    BusyCursor busy;
    const auto port = PortFromText(Connection.port, QStringLiteral("port"));
    const ConnectionSettings connection = ConnectionSettings::read();
    if (port && !connection.usable()) RefusePort(connection.firewallPortText, QStringLiteral("firewall proxy port"));
    if (port && connection.usable()) {
      xFtp->setServerAddress(Connection.host);
      xFtp->setServerPort(*port);
      xFtp->setUserName(Connection.anonymous ? QStringLiteral("anonymous") : Connection.userName);
      xFtp->setPassword(Connection.anonymous ? kAnonymousPassword : Connection.password);
      applyConnectionSettings(connection, *xFtp);
      xFtp->setProtocol(settings::IsSftp(Connection.security) ? ftp::Protocol::Sftp : ftp::Protocol::Ftp);
      xFtp->setSecurity(settings::FtpSecurityOf(Connection.security));
      ConnectToServer();
      ListAfterConnecting();
    }
  }
  m_remotePane->SetNavigationLock(false);
}

void frmMain::ListAfterConnecting() {
  if (xFtp->state() != ClientState::Idle) return;
  ListFilesOnServer();
  // The listing's "Obtaining directory listing..." would otherwise outlive it.
  UpdateAction(QStringLiteral("Connected to ") + xFtp->ServerAddress());
  SetConnectedState(true);
  UpdateRemoteCommandStates();
  UpdateLocalCommandStates();
}

void frmMain::ConnectToServer() {
  if (xFtp->state() != ClientState::NotConnected) {
    UpdateAction(QString());
    return;
  }
  BusyCursor busy;
  try {
    UpdateAction(QStringLiteral("Connecting to ") + xFtp->ServerAddress() + QStringLiteral(". Please wait..."));
    xFtp->Connect();
    CurrentRemoteFolder = m_remotePane->GetRemoteFolder();
    cboRemotePath->setEditText(CurrentRemoteFolder);
    UpdateAction(QStringLiteral("Connected to ") + xFtp->ServerAddress());
    ShowEncryption();
  } catch (const FtpFailure& failure) {
    if (!failure.description().isEmpty()) DisplayMessage(QStringLiteral("Error: ") + failure.description());
    UpdateAction(QString());
    // A changed host key may mean someone is listening in: a log line alone is too easily missed.
    if (failure.kind() == FailureKind::HostKeyChanged)
      m_prompts.message(this, QStringLiteral("Tidewick"), failure.description(), UserPrompts::OkOnly,
                        UserPrompts::Icon::Warning);
  }
}

void frmMain::DisconnectFromServer() {
  const auto busy = [this] { return xFtp->state() != ClientState::Idle && xFtp->state() != ClientState::NotConnected; };
  if (xFtp->state() == ClientState::NotConnected) SetConnectedState(false);
  if (busy()) {
    // An operation runs below us: ask it to stop and let the window go on until it has.
    xFtp->setAbort(true);
    while (busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 100);
  }
  if (xFtp->state() != ClientState::NotConnected) xFtp->Disconnect();
  SetAbortEnabled(false);
}

void frmMain::ShowEncryption() {
  const bool connected = xFtp->state() != ClientState::NotConnected;
  const QString encryption = xFtp->Encryption();
  if (!connected) stbEncryption->clear();
  else if (encryption.isEmpty()) stbEncryption->setText(QStringLiteral("Not encrypted"));
  else stbEncryption->setText(QStringLiteral("Encrypted: ") + encryption);
}

void frmMain::Reconnect() {
  m_remotePane->SetNavigationLock(true);
  const bool disconnected = xFtp->state() == ClientState::NotConnected;
  if (!xFtp->ServerAddress().isEmpty() && !xFtp->UserName().isEmpty() && disconnected) {
    BusyCursor busy;
    ClearRemoteList();
    ConnectToServer();
    ListAfterConnecting();
  } else if (disconnected) {
    ConnectWithDialog();
  }
  m_remotePane->SetNavigationLock(false);
}

void frmMain::Abort() {
  try {
    xFtp->setAbort(true);
  } catch (const FtpFailure& failure) {
    m_prompts.message(this, kNotice + QLatin1Char('"'),
                      QStringLiteral("Cannot abort the current operation! Error: \n") + failure.description() +
                          QString::number(failure.number()),
                      UserPrompts::OkCancel, UserPrompts::Icon::Warning);
  }
}

void frmMain::xFtp_Disconnected() {
  // Leaving the program ends the connection too; that needs no box the user must dismiss first.
  if (!m_shuttingDown)
    m_prompts.message(this, kNotice, QStringLiteral("Disconnected from FTP server ") + xFtp->ServerAddress(),
                      UserPrompts::OkOnly, UserPrompts::Icon::Information);
  m_remotePane->ClearPathBox();
  UpdateAction(QString());
  statusPanel(3)->clear();
  stbEncryption->clear();
  ClearRemoteList();
  ResetProgress();
  SetConnectedState(false);
  UpdateRemoteCommandStates();
  UpdateLocalCommandStates();
}

void frmMain::xFtp_AccountRequired(QString& account) {
  account = m_prompts.input(this, kQuery, QStringLiteral("An account is required for this server."));
}

void frmMain::xFtp_PasswordRequired(QString& password) {
  password = m_prompts.passwordInput(this, kQuery, QStringLiteral("Please enter the correct password"));
}

} // namespace tidewick::app
