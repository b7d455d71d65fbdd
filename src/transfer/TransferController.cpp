#include "transfer/TransferController.h"

#include "browse/IconTable.h"
#include "ftp/FtpClient.h"
#include "ftp/proto/Paths.h"
#include "transfer/FileDates.h"
#include "transfer/frmExist.h"
#include "ui/BusyCursor.h"
#include "ui/UserPrompts.h"

#include <QFileInfo>
#include <QLabel>

#include <optional>

namespace tidewick::transfer {

using browse::kIconFolder;
using browse::kIconOther;
using ftp::FailureKind;
using ftp::FolderItem;
using ftp::FtpFailure;
using ui::UserPrompts;

namespace {

const QString kConfirm = QStringLiteral("Tidewick [Confirm]");

// A file whose name starts with "." is an ordinary file here, not a hidden one the user gave up:
// replacing it without a question would lose it, so it is compared like any other target.
bool localTargetExists(const QString& folder, const QString& name) {
  const QFileInfo info(folder + name);
  return info.exists() && info.isFile();
}

} // namespace

TransferController::TransferController(ftp::FtpClient& ftp, ProgressPanels progress, TransferServices services,
                                       QObject* parent)
    : QObject(parent), m_ftp(ftp), m_progress(progress), m_services(std::move(services)) {
  connect(&m_ftp, &ftp::FtpClient::TransferProgress, this, &TransferController::OnTransferProgress);
  connect(&m_ftp, &ftp::FtpClient::ReceivingFile, this,
          [this](const QString& name) { Action(QStringLiteral("Receiving ") + name); });
  connect(&m_ftp, &ftp::FtpClient::SendingFile, this,
          [this](const QString& name) { Action(QStringLiteral("Sending ") + name); });
  connect(&m_ftp, &ftp::FtpClient::FileSkipped, this, &TransferController::OnFileSkipped);
}

TransferController::~TransferController() = default;

void TransferController::Log(const QString& line) const {
  if (m_services.DisplayMessage) m_services.DisplayMessage(line);
}

void TransferController::Action(const QString& text) const {
  if (m_services.UpdateAction) m_services.UpdateAction(text);
}

bool TransferController::SkipUnsafeName(const QString& name) const {
  // A name that would reach outside the target folder ("..", "a/../b") or cannot travel in a
  // command (a line break) is passed over, as folder transfers do.
  if (ftp::proto::unsafeNameReason(name).isEmpty()) return false;
  Log(name + QStringLiteral(" was skipped. Reason:") + m_ftp.GetSkipReason(int(ftp::SkipReason::UnsafeName)));
  return true;
}

// ---- progress and the component's events

void TransferController::ResetProgress() { m_progress.reset(); }

void TransferController::UpdateStatus(qint64 bytes, qint64 totalBytes, int percent) {
  m_progress.update(bytes, totalBytes, percent);
}

void TransferController::OnTransferProgress(qint64 fileBytes, int percent, qint64 totalBytes) {
  UpdateStatus(fileBytes, totalBytes, percent);
}

void TransferController::OnFileSkipped(const QString& remoteName, const QString& localName, int reason) {
  // One line for the name that is given; two when neither is, none when both are.
  const QString because = QStringLiteral(" was skipped. Reason:") + m_ftp.GetSkipReason(reason);
  if (remoteName.isEmpty()) Log(localName + because);
  if (localName.isEmpty()) Log(remoteName + because);
}

// ---- the run

bool TransferController::BeginRun() {
  // The window stays usable while a transfer runs, so its commands can ask for a second one.
  // Runs do not nest: the first one goes on, and Abort stops it.
  if (m_running) {
    Log(QStringLiteral("A transfer is running; wait for it to end or press Abort."));
    return false;
  }
  m_running = true;
  m_applyToAll = false;
  // The local pane may move to another folder while the run goes on; the run stays where the
  // selection was made.
  m_localFolder = m_services.CurrentLocalFolder ? m_services.CurrentLocalFolder() : QString();
  if (m_services.SetAbortEnabled) m_services.SetAbortEnabled(true);
  return true;
}

void TransferController::EndRun(Direction direction, const QString& completeText) {
  if (m_services.SetAbortEnabled) m_services.SetAbortEnabled(false);
  if (direction == Direction::Upload) RefreshRemote();
  else if (m_services.RefreshLocalList) m_services.RefreshLocalList();
  ResetProgress();
  // Listing a pane clears the action panel, so the end of the run is told after it.
  if (!completeText.isEmpty()) Action(completeText);
  m_running = false;
}

void TransferController::RefreshRemote() {
  // After a lost connection there is no remote folder to show; the pane was emptied already.
  if (m_ftp.state() != ftp::ClientState::NotConnected && m_services.RefreshRemoteList) m_services.RefreshRemoteList();
}

void TransferController::Fail(Direction direction, const QString& description) {
  if (!description.isEmpty()) Log(QStringLiteral("Error: ") + description);
  // The action panel would otherwise still say which file was moving.
  EndRun(direction, StoppedText(direction == Direction::Upload ? QStringLiteral("Upload") : QStringLiteral("Download"),
                                description));
}

QString TransferController::StoppedText(const QString& what, const QString& reason) {
  return what + QStringLiteral(" stopped: ") + (reason.isEmpty() ? QStringLiteral("see the log") : reason);
}

std::optional<TransferController::LocalFile> TransferController::StatLocal(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) return std::nullopt;
  return LocalFile{info.size(), info.lastModified()};
}

QString TransferController::FileLine(const char* which, qint64 size, const QDateTime& date) {
  return QString::fromLatin1(which) + QStringLiteral(" File Size: ") + QString::number(size) +
         QStringLiteral(" Last Modified: ") + generalDateText(date);
}

bool TransferController::AskSubfolders(const QString& question) {
  ui::NormalCursor normal;
  return m_services.prompts->message(m_services.window, kConfirm, question, UserPrompts::YesNo,
                                     UserPrompts::Icon::Question) == UserPrompts::Yes;
}

int TransferController::Resolve(const QString& action, const QString& sourceLine, const QString& destinationLine) {
  if (m_applyToAll) return m_lastAnswer;
  // Otherwise the status bar still names the file before, or the last run's outcome.
  Action(action);
  if (!m_exist) m_exist = std::make_unique<frmExist>(m_services.window);
  m_exist->lblSource->setText(sourceLine);
  m_exist->lblDestination->setText(destinationLine);

  {
    ui::NormalCursor normal;
    m_exist->BeginShowing();
    m_services.prompts->showModal(m_exist.get());
    // A showing that ended without an answer (no button, no close box) counts as Cancel.
    if (!m_exist->answeredThisShowing()) m_exist->reject();
  }
  m_lastAnswer = m_exist->answer();
  m_applyToAll = m_exist->applyToAll();
  if (m_exist->unloaded()) m_exist.reset();
  return m_lastAnswer;
}

void TransferController::ApplyAnswer(int answer, RunState& run, qint64 resumeOffset, Direction direction) {
  switch (answer) {
    case frmExist::Overwrite:
      run.offset = 0;
      run.skip = false;
      if (direction == Direction::Upload) run.sendFlag = false;
      break;
    case frmExist::Resume:
      run.offset = resumeOffset;
      run.skip = false;
      if (direction == Direction::Upload) run.sendFlag = true;
      break;
    case frmExist::Cancel:
      if (m_services.Abort) m_services.Abort();
      run.skip = true;
      if (direction == Direction::Upload) run.sendFlag = true;
      break;
    case frmExist::Skip:
    default:
      run.skip = true;
      if (direction == Direction::Upload) run.sendFlag = true;
      break;
  }
}

void TransferController::SendSelection() { RunSelection(Direction::Upload); }
void TransferController::ReceiveSelection() { RunSelection(Direction::Download); }

void TransferController::RunSelection(Direction direction) {
  if (!BeginRun()) return;
  const bool upload = direction == Direction::Upload;
  const auto& selection = upload ? m_services.LocalSelection : m_services.RemoteSelection;
  const std::vector<SelectedRow> rows = selection ? selection() : std::vector<SelectedRow>{};
  RunState run;
  std::optional<ui::BusyCursor> busy(std::in_place);
  try {
    for (const SelectedRow& row : rows) {
      ResetProgress();
      if (upload) SendOne(row, run);
      else ReceiveOne(row, run);
    }
  } catch (const FtpFailure& failure) {
    busy.reset();
    Fail(direction, failure.description());
    return;
  }
  busy.reset();
  EndRun(direction, upload ? QStringLiteral("Upload complete") : QStringLiteral("Download complete"));
}

void TransferController::SendOne(const SelectedRow& row, RunState& run) {
  const QString path = m_localFolder + row.name;
  if (row.icon == kIconFolder) {
    const bool subfolders =
        AskSubfolders(QStringLiteral("Do you want to send any subfolders that are contained in the '") + path +
                      QStringLiteral("' folder?"));
    m_ftp.SendMatchingFiles(path + QStringLiteral("/*"), row.name, true, subfolders);
    return;
  }

  run.offset = 0;
  // A file that went away since the pane was listed is a failure, not a file of no size.
  const std::optional<LocalFile> local = StatLocal(path);
  if (!local)
    throw FtpFailure(QStringLiteral("The local file %1 does not exist").arg(path), FailureKind::LocalFileFailed);

  bool named = false;
  for (const FolderItem& item : m_ftp.GetFolderContents(QString(), 0)) {
    if (item.name != row.name) continue;
    named = true;
    const bool sameDate = compareListedDate(item.date, item.datePrecision, local->modified) == 0;
    if (item.size == local->size && sameDate) continue;
    const int answer = Resolve(QStringLiteral("Sending ") + path, FileLine("Source", local->size, local->modified),
                               FileLine("Destination", item.size, item.date));
    ApplyAnswer(answer, run, item.size, Direction::Upload);
    break;
  }
  if (!named) run.skip = false;

  if (run.skip) {
    Log(QStringLiteral("Skiped sending file: ") + row.name);
    return;
  }
  m_progress.beginFile(local->size);
  m_ftp.SendFile(path, run.offset, row.name, run.sendFlag);
}

bool TransferController::ProbeLink(const QString& name) {
  // Into the link and back to where we were; a failure of either says it is no folder. Going
  // back by name rather than by ".." keeps a link into another part of the tree from leaving
  // us in that other part.
  try {
    const QString here = m_ftp.GetCurrentFolder();
    m_ftp.ChangeCurrentFolder(name);
    m_ftp.ChangeCurrentFolder(here);
    return true;
  } catch (const FtpFailure& failure) {
    Log(failure.description() + QStringLiteral(" Error number is: ") + QString::number(failure.number()));
    return false;
  }
}

void TransferController::ReceiveOne(const SelectedRow& row, RunState& run) {
  if (SkipUnsafeName(row.name)) return;
  const QString& localFolder = m_localFolder;
  const bool folder = row.icon == kIconFolder || (row.icon == kIconOther && ProbeLink(row.name));
  if (folder) {
    const bool subfolders =
        AskSubfolders(QStringLiteral("Do you want to receive any subfolders that are contained in the '") + row.name +
                      QStringLiteral("' folder?"));
    m_ftp.ReceiveMatchingFiles(row.name + QStringLiteral("/*"), localFolder + row.name, subfolders);
    return;
  }

  run.offset = 0;
  const QString path = localFolder + row.name;
  qint64 size = -1;
  for (const FolderItem& item : m_ftp.GetFolderContents(QString(), 0)) {
    if (item.name != row.name) continue;
    size = item.size;
    if (!localTargetExists(localFolder, row.name)) {
      run.skip = false;
      run.offset = 0;
      break;
    }
    const std::optional<LocalFile> local = StatLocal(path);
    if (!local) { // gone this very moment: nothing to decide about
      run.skip = false;
      break;
    }
    const bool sameDate = compareListedDate(item.date, item.datePrecision, local->modified) == 0;
    if (item.size == local->size && sameDate) continue;
    const int answer = Resolve(QStringLiteral("Receiving ") + row.name, FileLine("Source", item.size, item.date),
                               FileLine("Destination", local->size, local->modified));
    ApplyAnswer(answer, run, local->size, Direction::Download);
    break;
  }

  if (run.skip) {
    Log(QStringLiteral("Skiped Receiving file: ") + row.name);
    return;
  }
  m_progress.beginFile(size);
  m_ftp.ReceiveFile(row.name, run.offset, path);
}

} // namespace tidewick::transfer
