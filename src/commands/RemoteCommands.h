#pragma once
// The commands of the Remote menu that talk to the server directly: the fixed and typed raw
// commands, the one-file receive and send by a typed name, and the permission change. Each catches
// its own failures and logs them as "Error: " + the description; what the server answers reaches
// the log through the FTP component's own messages.

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;

namespace tidewick::ftp {
class FtpClient;
}
namespace tidewick::ui {
class UserPrompts;
}

namespace tidewick::commands {

class frmRemoteChangeMode;

// What the commands need from the main window; tests fill in recorders.
struct CommandServices {
  ui::UserPrompts* prompts = nullptr;
  QWidget* window = nullptr;
  std::function<void(const QString&)> DisplayMessage;
  std::function<void(const QString&)> UpdateAction;
  // List the pane again and update its commands.
  std::function<void()> RefreshLocalList;
  std::function<void()> RefreshRemoteList;
  // The remote pane goes to the server's current folder if a command changed it.
  std::function<void()> FollowServerFolder;
  // The names of the remote list's selected rows, in list order.
  std::function<QStringList()> SelectedRemoteNames;
};

class RemoteCommands {
public:
  RemoteCommands(ftp::FtpClient& ftp, const QString& currentLocalFolder, CommandServices services);
  ~RemoteCommands();
  RemoteCommands(const RemoteCommands&) = delete;
  RemoteCommands& operator=(const RemoteCommands&) = delete;

  // HELP, PWD, SYST, LIST and NLST send themselves; CWD and QUOTE ask for the rest of the line.
  void SendFtpCommand(const QString& verb);
  // A whole line typed by the user, sent as typed. RETR and STOR move the named file as the
  // manual receive and send do.
  void SendCustomCommand();
  // One file by a typed name, between the component's current remote folder and the current
  // local folder.
  void ManualFileReceive();
  void ManualFileSend();
  // "SITE chmod <value> <name>" for every selected remote row, with the value from the dialog; over
  // SFTP the same through its attribute call.
  void ChangeRemoteMode();

  // The permission dialog while it is loaded (hidden between uses), else nullptr.
  frmRemoteChangeMode* changeModeDialog() const { return m_changeMode.get(); }

  static QString PromptTitle();

private:
  // The typed part of a command; the empty text, after saying so, when nothing was typed.
  QString Ask(const QString& prompt);
  void SendLine(const QString& line);
  // `commandLine`, when given, is the typed RETR or STOR line to send in place of the usual one.
  void ReceiveNamedFile(const QString& name, const QString& commandLine = {});
  void SendNamedFile(const QString& name, const QString& commandLine = {});
  void LogFailure(const QString& description);
  void SetPermissions(int mode);

  ftp::FtpClient& m_ftp;
  const QString& m_currentLocalFolder;
  CommandServices m_services;
  std::unique_ptr<frmRemoteChangeMode> m_changeMode;
};

} // namespace tidewick::commands
