#pragma once
// The transfer queue window: the queued transfers, each carrying everything it needs to run on its
// own (server, port, user, password, both folders, direction, mode and type), the queued total,
// and the File menu that runs, saves, loads, appends, removes and clears them.
//
// The rows live in this window only: hiding it (Close, Close Window) keeps them, its close box
// unloads it and they are gone. The main window adds rows while the window is hidden and shows
// it modally.
//
// "Process Que" runs the rows in the order shown, through a connection of its own (the main
// window's stays as it is), removing each row when it is done. The first failure stops the run
// with an "Error: " line in the main window's log; that row and the ones after it stay. The
// running row shows its progress here and in the main window's status bar, and Abort stops it.
// The list and the figures follow the run ten times a second rather than row by row: small files
// finish by the hundred each second, and repainting for every one of them would cost more than
// the transfers themselves.

#include "transfer/ProgressPanels.h"
#include "transfer/QueueFile.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeView;

namespace tidewick::ftp {
class FtpClient;
}
namespace tidewick::transfer {
class QueueRowRunner;
class RunRows;
} // namespace tidewick::transfer
namespace tidewick::ui {
class ControlResizer;
class UserPrompts;
} // namespace tidewick::ui

namespace tidewick::queue {

class QueueModel;

// What the window needs from the main window.
struct QueueServices {
  ui::UserPrompts* prompts = nullptr;
  std::function<void(const QString&)> DisplayMessage; // the main log
  std::function<void(const QString&)> UpdateAction;   // the main status bar's action panel
  // The main window's progress bar and byte, total and speed panels.
  transfer::ProgressPanels mainProgress{nullptr, nullptr, nullptr, nullptr};
};

// A selected row of a pane offered to the queue: its name, its icon index (11 a folder, 10 a link,
// anything else a file) and, for the remote pane, its size as shown.
struct PaneItem {
  QString name;
  int icon = 0;
  QString sizeText;
};

enum class QueueDirection { Upload, Download };

// The window and its controls keep the names the window contract gives them.
class frmQue : public QDialog {
  Q_OBJECT

public:
  explicit frmQue(QueueServices services, QWidget* parent = nullptr);
  ~frmQue() override;

  // "Transfer To Queue": every item becomes a row while the main connection is connected and
  // idle; "." and ".." never do. The rows carry the connection's server, port, user, password,
  // mode and current folder, and `localFolder`. Ends with "Queue Transfer complete".
  void AddTransfers(QueueDirection direction, const std::vector<PaneItem>& items, ftp::FtpClient& ftp,
                    const QString& localFolder);

  // The File menu.
  void Refresh();
  void ClearQue();
  void SaveQue();
  void LoadQue();
  void AppendQueFile();
  void RemoveSelection();
  void SelectAll();
  void DeselectAll();
  void ProcessQue();
  void AbortQue();
  void CloseWindow();

  QueueModel* model() const { return m_model; }
  // The queued total in bytes, as TxtTotalBytesQueued shows it.
  qint64 totalBytes() const { return m_total; }
  bool running() const { return m_running; }
  // True once the close box has unloaded the window: its rows are gone and it is not shown again.
  bool unloaded() const { return m_unloaded; }

  QMenuBar* menuBar = nullptr;
  QMenu* mnuFile = nullptr;
  QAction* mnuFileRefresh = nullptr;
  QAction* mnuFileClearQue = nullptr;
  QAction* mnuFileSaveQue = nullptr;
  QAction* mnuFileLoadQue = nullptr;
  QAction* mnuFileAppendQueFile = nullptr;
  QAction* mnuFileRemoveFromQue = nullptr;
  QAction* mnuFileSelectAll = nullptr;
  QAction* mnuFileDeselectAll = nullptr;
  QAction* mnuFileRunQue = nullptr;
  QAction* mnuFileAbort = nullptr;
  QAction* mnuFileCloseWindow = nullptr;
  QTreeView* lstQue = nullptr;
  QLabel* Label1 = nullptr;
  QLineEdit* TxtTotalBytesQueued = nullptr;
  QLabel* lblFilesQueued = nullptr;
  QLabel* lblItemCount = nullptr;
  QPushButton* cmsCancel = nullptr;
  // The running row: what it does, its progress, its bytes, the run's total and the speed.
  QLabel* lblStatus = nullptr;
  QProgressBar* prgQue = nullptr;
  QLabel* lblBytes = nullptr;
  QLabel* lblTotal = nullptr;
  QLabel* lblSpeed = nullptr;

public Q_SLOTS:
  // Escape is the Close button.
  void reject() override;

protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void BuildControls();
  void HeaderClicked(int column);
  void SetTotal(qint64 total);
  void UpdateCommandStates();
  void ShowStatus(const QString& text);
  // Brings the list and the figures up to what the running queue has done.
  void ShowRun();
  // Hands the rows as listed now to the running queue.
  void PublishRows();
  // Reads a queue file chosen in the open dialog; nothing when none was chosen or it was refused
  // (the user has been told why).
  std::optional<transfer::LoadedQueue> ReadChosenFile(const QString& title);
  // Load Que (`replace`) and Append Que File.
  void AddFromFile(const QString& title, bool replace);
  void Unload();

  QueueServices m_services;
  QueueModel* m_model = nullptr;
  std::unique_ptr<ui::ControlResizer> m_resizer;
  std::unique_ptr<transfer::QueueRowRunner> m_runner;
  // The rows as listed, for the engine's thread to take the next from while a run goes on.
  std::unique_ptr<transfer::RunRows> m_runRows;
  transfer::ProgressPanels m_progress;
  qint64 m_total = 0;
  bool m_running = false;
  bool m_abortRequested = false;
  bool m_unloadRequested = false; // the close box was used during a run
  bool m_unloaded = false;

  // What the running row has reported that the window has yet to show (see ShowRun).
  struct RunShown {
    QString action;
    bool actionChanged = false;
    bool progressChanged = false;
    qint64 runningSize = -1; // the running file's size when known
    qint64 fileSize = -1;    // that of the file the progress figures belong to
    qint64 fileBytes = 0, runBytes = 0;
    int percent = 0;
  };
  RunShown m_shown;
  QTimer* m_showTimer = nullptr;
};

} // namespace tidewick::queue
