#include "commands/RemoteCommands.h"

#include "commands/frmRemoteChangeMode.h"
#include "ftp/FtpClient.h"
#include "ftp/proto/Command.h"
#include "ui/BusyCursor.h"
#include "ui/UserPrompts.h"

namespace tidewick::commands {

using ftp::FtpFailure;
using ui::BusyCursor;
using ui::UserPrompts;

namespace {

const QString kNotice = QStringLiteral("Tidewick [Notice]");

// Whether a typed name, put after the local folder, still names something inside that folder.
bool staysInFolder(const QString& name) {
  for (const QString& part : name.split(QLatin1Char('/')))
    if (part == QLatin1String("..")) return false;
  return true;
}

// The reply's three-digit code says the server did it (2xx).
bool isDone(const QString& reply) {
  return reply.size() >= 3 && reply[0] == QLatin1Char('2') && reply[1].isDigit() && reply[2].isDigit();
}

// Whether a line moves the server to another folder.
bool changesFolder(const QString& line) {
  const std::string verb = ftp::proto::commandVerb(line.toStdString());
  return verb == "CWD" || verb == "XCWD" || verb == "CDUP" || verb == "XCUP";
}

} // namespace

QString RemoteCommands::PromptTitle() { return QStringLiteral("Remote Server Custom Command"); }

RemoteCommands::RemoteCommands(ftp::FtpClient& ftp, const QString& currentLocalFolder, CommandServices services)
    : m_ftp(ftp), m_currentLocalFolder(currentLocalFolder), m_services(std::move(services)) {}

RemoteCommands::~RemoteCommands() = default;

void RemoteCommands::LogFailure(const QString& description) {
  if (!description.isEmpty()) m_services.DisplayMessage(QStringLiteral("Error: ") + description);
}

QString RemoteCommands::Ask(const QString& prompt) {
  const QString answer = m_services.prompts->input(m_services.window, PromptTitle(), prompt);
  if (answer.isEmpty())
    m_services.prompts->message(m_services.window, PromptTitle(), QStringLiteral("No command entered, quiting"),
                                UserPrompts::OkOnly, UserPrompts::Icon::Information);
  return answer;
}

void RemoteCommands::SendLine(const QString& line) {
  BusyCursor busy;
  try {
    m_ftp.SendCommand(line);
  } catch (const FtpFailure& failure) {
    LogFailure(failure.description());
    return;
  }
  // A list that kept the old folder's rows would send the next delete or rename to the new one.
  if (changesFolder(line) && m_services.FollowServerFolder) m_services.FollowServerFolder();
}

void RemoteCommands::SendFtpCommand(const QString& verb) {
  if (verb == QLatin1String("CWD")) {
    const QString folder = Ask(QStringLiteral("Please enter the remote folder name"));
    if (!folder.isEmpty()) SendLine(QStringLiteral("CWD ") + folder);
  } else if (verb == QLatin1String("QUOTE")) {
    const QString command = Ask(QStringLiteral("Please enter command for remote site"));
    if (!command.isEmpty()) SendLine(QStringLiteral("QUOTE ") + command);
  } else {
    SendLine(verb);
  }
}

void RemoteCommands::SendCustomCommand() {
  const QString line = Ask(QStringLiteral("Type command to send to remote server"));
  if (line.isEmpty()) return;
  const std::string wire = line.toStdString();
  const std::string verb = ftp::proto::commandVerb(wire);
  const QString name = QString::fromStdString(ftp::proto::commandArgument(wire));
  if (verb == "RETR") ReceiveNamedFile(name, line);
  else if (verb == "STOR") SendNamedFile(name, line);
  else SendLine(line);
}

void RemoteCommands::ManualFileReceive() {
  const QString name = Ask(QStringLiteral(
      "Enter File Name to Receive (Make sure you are in the Remote directory where the file resides, but hidden!) "));
  if (!name.isEmpty()) ReceiveNamedFile(name);
}

void RemoteCommands::ManualFileSend() {
  const QString name = Ask(QStringLiteral(
      "Enter File Name to Send (Make sure you are in the local directory where the file resides, but hidden!) "));
  if (!name.isEmpty()) SendNamedFile(name);
}

void RemoteCommands::ReceiveNamedFile(const QString& name, const QString& commandLine) {
  const QString target = m_currentLocalFolder + name;
  // The file lands in the current local folder, never outside it (nor through a link there: the
  // engine refuses to write through one).
  if (!staysInFolder(name)) {
    LogFailure(QStringLiteral("%1 would be written outside %2; nothing was received").arg(name, m_currentLocalFolder));
    return;
  }
  BusyCursor busy;
  try {
    if (commandLine.isEmpty()) m_ftp.ReceiveFile(name, 0, target);
    else m_ftp.SendCommand(commandLine, target);
  } catch (const FtpFailure& failure) {
    LogFailure(failure.description());
    return;
  }
  m_services.RefreshLocalList();
}

void RemoteCommands::SendNamedFile(const QString& name, const QString& commandLine) {
  const QString source = m_currentLocalFolder + name;
  BusyCursor busy;
  try {
    // From its beginning: an existing remote file is replaced.
    if (commandLine.isEmpty()) m_ftp.SendFile(source, 0, name, false);
    else m_ftp.SendCommand(commandLine, source);
  } catch (const FtpFailure& failure) {
    LogFailure(failure.description());
    return;
  }
  m_services.RefreshRemoteList();
}

void RemoteCommands::ChangeRemoteMode() {
  if (!m_changeMode) m_changeMode = std::make_unique<frmRemoteChangeMode>(m_services.window);
  m_services.prompts->showModal(m_changeMode.get());
  const int result = m_changeMode->chmodResult;
  const QString value = m_changeMode->NumericValue();
  const bool clicksFit = m_changeMode->ClicksStayInTheirDigits();
  // The close box ends the dialog; the next use starts with every box clear.
  if (m_changeMode->IsUnloaded()) m_changeMode.reset();
  if (result != 1) return;

  // Box clicks add to whatever was typed, so the value may not be a permission at all.
  QString problem;
  if (!frmRemoteChangeMode::IsPermission(value))
    problem = QStringLiteral("%1 is not a permission: it must have at most four digits, each from 0 to 7.");
  else if (!clicksFit)
    problem = QStringLiteral(
        "%1 is not the permission the boxes show: a box was ticked on a value that already had "
        "it, or cleared on one that did not.");
  if (!problem.isEmpty()) {
    m_services.prompts->message(m_services.window, kNotice,
                                problem.arg(value) + QStringLiteral("\nNo permission was changed."),
                                UserPrompts::OkOnly, UserPrompts::Icon::Warning);
    return;
  }
  if (m_ftp.isSftp()) {
    SetPermissions(value.toInt(nullptr, 8));
    return;
  }
  for (const QString& name : m_services.SelectedRemoteNames()) {
    const QString command = QStringLiteral("SITE chmod ") + value + QLatin1Char(' ') + name;
    QString reply;
    try {
      BusyCursor busy;
      reply = m_ftp.SendCommand(command);
    } catch (const FtpFailure& failure) {
      LogFailure(failure.description());
      // A name that cannot be sent spoils only its own item; anything else ends the command.
      if (failure.kind() == ftp::FailureKind::UnsafeInput) continue;
      return;
    }
    m_services.DisplayMessage(command);
    // Only a reply that says it was done counts; a refusal is named and the next item follows.
    if (isDone(reply)) m_services.DisplayMessage(QStringLiteral("Change Permission Complete"));
    else LogFailure(reply.isEmpty() ? QStringLiteral("the server gave no reply") : reply.simplified());
  }
  m_services.UpdateAction(QString());
  m_services.RefreshRemoteList();
}

void RemoteCommands::SetPermissions(int mode) {
  for (const QString& name : m_services.SelectedRemoteNames()) {
    try {
      BusyCursor busy;
      m_ftp.SetPermissions(name, mode);
    } catch (const FtpFailure& failure) {
      LogFailure(failure.description());
      // A refused item spoils only itself; a lost connection ends the command.
      if (failure.kind() == ftp::FailureKind::CommandRefused) continue;
      return;
    }
    m_services.DisplayMessage(QStringLiteral("Change Permission Complete"));
  }
  m_services.UpdateAction(QString());
  m_services.RefreshRemoteList();
}

} // namespace tidewick::commands
