#pragma once
// Transfers started from the main window: the upload of the local selection, the download of the
// remote selection, and the one-level synchronisation of the two shown folders in either direction.
//
// A run walks the selection in list order. A folder goes whole to the engine's folder transfer
// after asking whether to include subfolders. A file is checked against the target folder as it
// is at that moment (the remote folder is listed again for every file); when the target exists
// with another size or date, the File Exists dialog decides: overwrite, resume, skip or cancel,
// for this file or, with "Apply To All", for the rest of the run. The first failure ends the run
// with its reason in the log; what was transferred before it stays.
//
// The controller reaches the window only through TransferServices and shows every question
// through UserPrompts, so tests drive it with recorders and scripted answers.

#include "transfer/ProgressPanels.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace tidewick::ftp {
class FtpClient;
class FtpFailure;
struct FolderItem;
} // namespace tidewick::ftp
namespace tidewick::ui {
class UserPrompts;
}

namespace tidewick::transfer {

class frmExist;

// A selected row of a pane: the item's name and the icon index that says what it is (11 a folder;
// on the remote side 10 a link; anything else a file).
struct SelectedRow {
  QString name;
  int icon = 0;
};

// What a run needs from the window around it.
struct TransferServices {
  ui::UserPrompts* prompts = nullptr;
  QWidget* window = nullptr; // owner of the questions and of the File Exists dialog
  std::function<std::vector<SelectedRow>()> LocalSelection;
  std::function<std::vector<SelectedRow>()> RemoteSelection;
  std::function<QString()> CurrentLocalFolder; // ends with "/"
  std::function<QString()> CurrentRemoteFolder;
  std::function<void(const QString&)> DisplayMessage;
  std::function<void(const QString&)> UpdateAction;
  std::function<void(bool)> SetAbortEnabled;
  std::function<void()> Abort;
  std::function<void()> RefreshLocalList;
  std::function<void()> RefreshRemoteList;
};

class TransferController : public QObject {
  Q_OBJECT

public:
  TransferController(ftp::FtpClient& ftp, ProgressPanels progress, TransferServices services,
                     QObject* parent = nullptr);
  ~TransferController() override;

  // Upload of the local selection into the current remote folder, download of the remote
  // selection into the current local folder.
  void SendSelection();
  void ReceiveSelection();

  // The synchronisations of the shown folders, one level, no question: every file missing on the
  // other side, or newer there (or of another size, when "DIR SYNC BY FILE SIZE" is on), is sent.
  void SyncLocalToRemote();
  void SyncRemoteToLocal();

  // The progress bar and the status panels of a running transfer.
  void ResetProgress();
  void UpdateStatus(qint64 bytes, qint64 totalBytes, int percent);

  // True while a run or a synchronisation is going on (the window stays usable meanwhile).
  bool running() const { return m_running; }

  // The File Exists dialog while it is loaded (nullptr before the first conflict and after its
  // close box).
  frmExist* existDialog() const { return m_exist.get(); }

  // The remote folder's items as the last synchronisation found them.
  const std::vector<ftp::FolderItem>& RemoteSnapshot() const { return m_remoteSnapshot; }

private:
  struct LocalFile {
    qint64 size = 0;
    QDateTime modified;
  };
  // What carries from one file of a run to the next.
  struct RunState {
    bool skip = false;
    bool sendFlag = true;
    qint64 offset = 0;
  };
  enum class Direction { Upload, Download };

  bool BeginRun();
  void RunSelection(Direction direction);
  void EndRun(Direction direction, const QString& completeText);
  void Fail(Direction direction, const QString& description);
  void RefreshRemote();
  void SendOne(const SelectedRow& row, RunState& run);
  void ReceiveOne(const SelectedRow& row, RunState& run);
  // Asks the File Exists dialog (unless "Apply To All" holds an answer) and returns the answer.
  // The dialog names no file, so the status bar says which one is asked about (`action`).
  int Resolve(const QString& action, const QString& sourceLine, const QString& destinationLine);
  bool AskSubfolders(const QString& question);
  // A link row names a folder when the server lets us change into it and back.
  bool ProbeLink(const QString& name);
  void ApplyAnswer(int answer, RunState& run, qint64 resumeOffset, Direction direction);
  void Log(const QString& line) const;
  void Action(const QString& text) const;
  // Logs and returns true for a name no file of the target folder may carry.
  bool SkipUnsafeName(const QString& name) const;

  // Synchronisation (DirectorySync.cpp).
  bool SyncStart(bool toRemote);
  void SyncUp(const QString& localFolder, const QString& remoteFolder);
  void SyncDown(const QString& localFolder, const QString& remoteFolder);
  bool LocalFileNeedsSending(const QString& name, const QDateTime& localDate, qint64 localSize, bool bySize) const;
  bool IsMissingRemotely(const QString& name) const;

  // The component's events.
  void OnTransferProgress(qint64 fileBytes, int percent, qint64 totalBytes);
  void OnFileSkipped(const QString& remoteName, const QString& localName, int reason);

  static std::optional<LocalFile> StatLocal(const QString& path);
  static QString FileLine(const char* which, qint64 size, const QDateTime& date);
  // The action panel's text for a run that ended on a failure.
  static QString StoppedText(const QString& what, const QString& reason);

  ftp::FtpClient& m_ftp;
  ProgressPanels m_progress;
  TransferServices m_services;
  std::unique_ptr<frmExist> m_exist;
  int m_lastAnswer = 0;
  bool m_applyToAll = false;
  bool m_running = false;
  QString m_localFolder; // of the running run
  std::vector<ftp::FolderItem> m_remoteSnapshot;
};

} // namespace tidewick::transfer
