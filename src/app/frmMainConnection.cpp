// The main window's side of a connection: the connection dialog, connecting with the login,
// passive-mode and proxy settings, reconnecting, disconnecting, aborting, and the component's
// notices and questions.
#include "app/frmMain.h"

#include "browse/RemotePane.h"
#include "ftp/FtpClient.h"
#include "settings/Register.h"
#include "sites/frmConnectionInfo.h"
#include "ui/BusyCursor.h"
#include "ui/UserPrompts.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>

using tidewick::ui::BusyCursor;
using tidewick::ui::UserPrompts;

namespace {
const QString kNotice = QStringLiteral("Tidewick [Notice]");
const QString kQuery = QStringLiteral("Tidewick [Query]");

// The password every anonymous login sends.
const QString kAnonymousPassword = QStringLiteral("tansy");
} // namespace

std::optional<quint16> frmMain::PortFromText(const QString& text, const QString& what) {
  bool ok = false;
  const uint port = text.trimmed().toUInt(&ok);
  if (ok && port >= 1 && port <= 65535) return static_cast<quint16>(port);
  m_prompts.message(
      this, kNotice,
      QStringLiteral("The %1 \"%2\" is not a whole number from 1 to 65535.\nNothing was connected.").arg(what, text),
      UserPrompts::OkOnly, UserPrompts::Icon::Warning);
  return std::nullopt;
}

void frmMain::ConnectWithDialog() {
  m_remotePane->SetNavigationLock(true);
  bool chosen = false;
  {
    frmConnectionInfo dialog(m_prompts, this);
    chosen = dialog.ShowForm(Connection.host, Connection.port, Connection.userName, Connection.password,
                             Connection.anonymous);
  }
  if (chosen) {
    BusyCursor busy;
    const auto port = PortFromText(Connection.port, QStringLiteral("port"));
    std::optional<quint16> proxyPort = quint16(1080);
    const bool firewall =
        GetSetting(QStringLiteral("Firewall Use"), QStringLiteral("0")).trimmed() == QStringLiteral("1");
    if (port && firewall)
      proxyPort = PortFromText(GetSetting(QStringLiteral("Firewall Proxy Port"), QString()),
                               QStringLiteral("firewall proxy port"));
    if (port && proxyPort) {
      xFtp->setServerAddress(Connection.host);
      xFtp->setServerPort(*port);
      xFtp->setUserName(Connection.anonymous ? QStringLiteral("anonymous") : Connection.userName);
      xFtp->setPassword(Connection.anonymous ? kAnonymousPassword : Connection.password);
      xFtp->setPassiveMode(GetSetting(QStringLiteral("FTP PASV"), QStringLiteral("0")).trimmed() ==
                           QStringLiteral("1"));
      if (firewall) {
        xFtp->setProxyAddress(GetSetting(QStringLiteral("Firewall Host Name"), QString()));
        xFtp->setProxyUserName(GetSetting(QStringLiteral("Firewall User Name"), QString()));
        xFtp->setProxyPassword(GetSetting(QStringLiteral("Firewall Password"), QString()));
        xFtp->setProxyType(GetSetting(QStringLiteral("Firewall Type"), QString()) == QStringLiteral("SOCKS 4") ? 4 : 5);
        xFtp->setProxyPort(*proxyPort);
      } else {
        xFtp->setProxyType(0);
        xFtp->setProxyAddress(QString());
        xFtp->setProxyPassword(QString());
        xFtp->setProxyPort(1080);
        xFtp->setProxyUserName(QString());
      }
      ConnectToServer();
      ListAfterConnecting();
    }
  }
  m_remotePane->SetNavigationLock(false);
}

void frmMain::ListAfterConnecting() {
  if (xFtp->CurrentState() != 2) return;
  ListFilesOnServer();
  // The listing's "Obtaining directory listing..." would otherwise outlive it.
  UpdateAction(QStringLiteral("Connected to ") + xFtp->ServerAddress());
  SetConnectedState(true);
  UpdateRemoteCommandStates();
  UpdateLocalCommandStates();
}

void frmMain::ConnectToServer() {
  if (xFtp->CurrentState() != 0) {
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
  } catch (const FtpFailure& failure) {
    if (!failure.description().isEmpty()) DisplayMessage(QStringLiteral("Error: ") + failure.description());
    UpdateAction(QString());
  }
}

void frmMain::DisconnectFromServer() {
  if (xFtp->CurrentState() == 0) SetConnectedState(false);
  if (xFtp->CurrentState() != 2 && xFtp->CurrentState() != 0) {
    // An operation runs below us: ask it to stop and let the window go on until it has.
    xFtp->setAbort(true);
    while (xFtp->CurrentState() != 2 && xFtp->CurrentState() != 0)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents, 100);
  }
  if (xFtp->CurrentState() != 0) xFtp->Disconnect();
  SetAbortEnabled(false);
}

void frmMain::Reconnect() {
  m_remotePane->SetNavigationLock(true);
  if (!xFtp->ServerAddress().isEmpty() && !xFtp->UserName().isEmpty() && xFtp->CurrentState() == 0) {
    BusyCursor busy;
    ClearRemoteList();
    ConnectToServer();
    ListAfterConnecting();
  } else if (xFtp->CurrentState() == 0) {
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
  statusPanel(1)->clear();
  statusPanel(3)->clear();
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
  password = m_prompts.input(this, kQuery, QStringLiteral("Please enter the correct password"));
}
