#include "queue/frmQue.h"

#include "ftp/FtpClient.h"
#include "ftp/FtpFailure.h"
#include "ftp/QuickFtp.h"
#include "queue/QueueModel.h"
#include "settings/Globals.h"
#include "settings/SettingsKeys.h"
#include "settings/SiteSecurity.h"
#include "transfer/QueueRun.h"
#include "ui/BusyCursor.h"
#include "ui/CertificateTrust.h"
#include "ui/ControlResizer.h"
#include "ui/Placement.h"
#include "ui/SshQuestions.h"
#include "ui/UserPrompts.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <unordered_set>

namespace tidewick::queue {

using transfer::QueueRow;
using ui::UserPrompts;

namespace {

const QString kWrongFileTitle = QStringLiteral("Tidewick - Wrong Queue File");
const QString kNoticeTitle = QStringLiteral("Tidewick [Notice]");

// How often the window catches up with a running queue.
constexpr int kShowRunMs = 100;

// Sizes and totals stay within 0..4e18 bytes, far beyond any real queue, so that no sum overflows
// and no total goes below zero, whatever sizes a queue file holds.
constexpr qint64 kByteLimit = 4'000'000'000'000'000'000;

// A size or total as a whole number of bytes: a whole-number text exactly, anything else as the
// nearest whole number to the number it starts with.
qint64 byteCount(const QString& text) {
  bool whole = false;
  const qint64 exact = text.trimmed().toLongLong(&whole);
  if (whole) return std::clamp(exact, qint64{0}, kByteLimit);
  const double value = std::nearbyint(settings::LeadingNumber(text));
  constexpr double limit = static_cast<double>(kByteLimit);
  return static_cast<qint64>(std::clamp(value, 0.0, limit));
}

qint64 withBytes(qint64 total, qint64 bytes) { return std::clamp(total + bytes, qint64{0}, kByteLimit); }

QString rowList(const std::vector<int>& rows) {
  QStringList shown;
  for (size_t i = 0; i < rows.size() && i < 10; ++i) shown << QString::number(rows[i]);
  QString text = shown.join(QStringLiteral(", "));
  if (rows.size() > 10) text += QStringLiteral(" and %1 more").arg(rows.size() - 10);
  return text;
}

QAction* addEntry(QMenu* menu, const char* name, const char* caption) {
  QAction* action = menu->addAction(QString::fromLatin1(caption));
  action->setObjectName(QString::fromLatin1(name));
  return action;
}

} // namespace

frmQue::frmQue(QueueServices services, QWidget* parent)
    : QDialog(parent), m_services(std::move(services)), m_progress(nullptr, nullptr, nullptr, nullptr) {
  setObjectName(QStringLiteral("frmQue"));
  setWindowTitle(QStringLiteral("Tidewick - Queue"));
  setSizeGripEnabled(true);
  BuildControls();
  m_progress = transfer::ProgressPanels(prgQue, lblBytes, lblTotal, lblSpeed);
  m_showTimer = new QTimer(this);
  m_showTimer->setInterval(kShowRunMs);
  connect(m_showTimer, &QTimer::timeout, this, &frmQue::ShowRun);

  m_resizer = std::make_unique<ui::ControlResizer>();
  m_resizer->prepare(this);
  if (!isMinimized()) ui::applyPlacement(this, settings::keys::placement::Queue);
  UpdateCommandStates();
}

frmQue::~frmQue() = default;

void frmQue::BuildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  menuBar = new QMenuBar(this);
  menuBar->setObjectName(QStringLiteral("menuBar"));
  layout->setMenuBar(menuBar);
  mnuFile = menuBar->addMenu(QStringLiteral("&File"));
  mnuFile->setObjectName(QStringLiteral("mnuFile"));
  mnuFileRefresh = addEntry(mnuFile, "mnuFileRefresh", "Re&fresh");
  mnuFileClearQue = addEntry(mnuFile, "mnuFileClearQue", "&Clear Que");
  mnuFile->addSeparator();
  mnuFileSaveQue = addEntry(mnuFile, "mnuFileSaveQue", "&Save Que");
  mnuFileLoadQue = addEntry(mnuFile, "mnuFileLoadQue", "&Load Que");
  mnuFileAppendQueFile = addEntry(mnuFile, "mnuFileAppendQueFile", "Append &Que File");
  mnuFile->addSeparator();
  mnuFileRemoveFromQue = addEntry(mnuFile, "mnuFileRemoveFromQue", "&Remove Selection From Que");
  mnuFileRemoveFromQue->setShortcut(QKeySequence::Delete);
  mnuFileSelectAll = addEntry(mnuFile, "mnuFileSelectAll", "Selec&t All");
  mnuFileDeselectAll = addEntry(mnuFile, "mnuFileDeselectAll", "&De-Select All");
  mnuFile->addSeparator();
  mnuFileRunQue = addEntry(mnuFile, "mnuFileRunQue", "&Process Que");
  mnuFileAbort = addEntry(mnuFile, "mnuFileAbort", "&Abort");
  mnuFile->addSeparator();
  mnuFileCloseWindow = addEntry(mnuFile, "mnuFileCloseWindow", "Close &Window");
  // The shortcut works while the list has the focus, not only while the menu is open.
  addAction(mnuFileRemoveFromQue);

  connect(mnuFileRefresh, &QAction::triggered, this, &frmQue::Refresh);
  connect(mnuFileClearQue, &QAction::triggered, this, &frmQue::ClearQue);
  connect(mnuFileSaveQue, &QAction::triggered, this, &frmQue::SaveQue);
  connect(mnuFileLoadQue, &QAction::triggered, this, &frmQue::LoadQue);
  connect(mnuFileAppendQueFile, &QAction::triggered, this, &frmQue::AppendQueFile);
  connect(mnuFileRemoveFromQue, &QAction::triggered, this, &frmQue::RemoveSelection);
  connect(mnuFileSelectAll, &QAction::triggered, this, &frmQue::SelectAll);
  connect(mnuFileDeselectAll, &QAction::triggered, this, &frmQue::DeselectAll);
  connect(mnuFileRunQue, &QAction::triggered, this, &frmQue::ProcessQue);
  connect(mnuFileAbort, &QAction::triggered, this, &frmQue::AbortQue);
  connect(mnuFileCloseWindow, &QAction::triggered, this, &frmQue::CloseWindow);

  // The controls stand in a client area below the menu bar; the resizer keeps them in proportion.
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("picClient"));
  layout->addWidget(client);

  m_model = new QueueModel(this);
  // A running queue takes its next row from the list as it is now: sorted, or with rows added.
  // Rows removed are those done, which never run again anyway.
  connect(m_model, &QueueModel::rowsInserted, this, [this] { PublishRows(); });
  connect(m_model, &QueueModel::modelReset, this, [this] { PublishRows(); });
  connect(m_model, &QueueModel::layoutChanged, this, [this] { PublishRows(); });
  lstQue = new QTreeView(client);
  lstQue->setObjectName(QStringLiteral("lstQue"));
  lstQue->setAccessibleName(QStringLiteral("Queued transfers"));
  lstQue->setModel(m_model);
  lstQue->setRootIsDecorated(false);
  lstQue->setItemsExpandable(false);
  lstQue->setUniformRowHeights(true);
  lstQue->setAllColumnsShowFocus(true);
  lstQue->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lstQue->setSelectionBehavior(QAbstractItemView::SelectRows);
  lstQue->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lstQue->setSortingEnabled(false); // the header click decides the order itself
  QHeaderView* header = lstQue->header();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setSortIndicator(-1, Qt::AscendingOrder);
  header->setStretchLastSection(false);
  const int widths[QueueRow::ColumnCount] = {150, 170, 150, 110, 90, 75, 90, 95, 90, 80, 85, 120};
  for (int column = 0; column < QueueRow::ColumnCount; ++column) header->resizeSection(column, widths[column]);
  connect(header, &QHeaderView::sectionClicked, this, &frmQue::HeaderClicked);
  lstQue->viewport()->installEventFilter(this);
  lstQue->installEventFilter(this);
  connect(m_model, &QAbstractItemModel::rowsInserted, this, &frmQue::UpdateCommandStates);
  connect(m_model, &QAbstractItemModel::rowsRemoved, this, &frmQue::UpdateCommandStates);
  connect(m_model, &QAbstractItemModel::modelReset, this, &frmQue::UpdateCommandStates);

  lblStatus = new QLabel(client);
  lblStatus->setObjectName(QStringLiteral("lblStatus"));
  lblStatus->setAccessibleName(QStringLiteral("Queue status"));
  prgQue = new QProgressBar(client);
  prgQue->setObjectName(QStringLiteral("prgQue"));
  prgQue->setAccessibleName(QStringLiteral("Progress of the running transfer"));
  prgQue->setRange(0, 100);
  prgQue->setValue(0);
  prgQue->setTextVisible(false); // no percentage while nothing runs
  lblBytes = new QLabel(client);
  lblBytes->setObjectName(QStringLiteral("lblBytes"));
  lblBytes->setAccessibleName(QStringLiteral("Bytes of the running file"));
  lblTotal = new QLabel(client);
  lblTotal->setObjectName(QStringLiteral("lblTotal"));
  lblTotal->setAccessibleName(QStringLiteral("Bytes moved in this run"));
  lblSpeed = new QLabel(client);
  lblSpeed->setObjectName(QStringLiteral("lblSpeed"));
  lblSpeed->setAccessibleName(QStringLiteral("Speed and time left"));

  Label1 = new QLabel(QStringLiteral("Total Bytes Queued"), client);
  Label1->setObjectName(QStringLiteral("Label1"));
  TxtTotalBytesQueued = new QLineEdit(QStringLiteral("0"), client);
  TxtTotalBytesQueued->setObjectName(QStringLiteral("TxtTotalBytesQueued"));
  TxtTotalBytesQueued->setAccessibleName(QStringLiteral("Total Bytes Queued"));
  TxtTotalBytesQueued->setReadOnly(true);
  TxtTotalBytesQueued->setAlignment(Qt::AlignRight);
  lblFilesQueued = new QLabel(QStringLiteral("Items Queued"), client);
  lblFilesQueued->setObjectName(QStringLiteral("lblFilesQueued"));
  lblItemCount = new QLabel(QStringLiteral("0"), client);
  lblItemCount->setObjectName(QStringLiteral("lblItemCount"));
  lblItemCount->setAccessibleName(QStringLiteral("Items Queued"));
  cmsCancel = new QPushButton(QStringLiteral("Close"), client);
  cmsCancel->setObjectName(QStringLiteral("cmsCancel"));
  cmsCancel->setToolTip(QStringLiteral("Close window"));
  cmsCancel->setAutoDefault(false);
  connect(cmsCancel, &QPushButton::clicked, this, [this] {
    unsetCursor();
    CloseWindow();
  });

  // The list across the top; below it the running row's figures, then the total and Close.
  const QFontMetrics metrics(font());
  const int margin = 8, gap = 8;
  const int line = std::max(metrics.height() + 8, 24);
  const int width = 1000;
  const int listHeight = 300;
  const int inner = width - 2 * margin;
  lstQue->setGeometry(margin, margin, inner, listHeight);
  int y = margin + listHeight + gap;
  lblStatus->setGeometry(margin, y, inner, line);
  y += line + 2;
  const int figure = metrics.horizontalAdvance(QStringLiteral("Total : 0000000000000")) + 12;
  const int speed = metrics.horizontalAdvance(QStringLiteral("999.9 MB/s, 00:00:00 left")) + 12;
  const int bar = inner - 2 * figure - speed - 3 * gap;
  prgQue->setGeometry(margin, y, bar, line);
  lblBytes->setGeometry(margin + bar + gap, y, figure, line);
  lblTotal->setGeometry(margin + bar + gap + figure + gap, y, figure, line);
  lblSpeed->setGeometry(margin + bar + 2 * (gap + figure) + gap, y, speed, line);
  y += line + 2 * gap;
  const int buttonHeight = std::max(cmsCancel->sizeHint().height(), 28);
  int x = margin;
  const int label1Width = metrics.horizontalAdvance(Label1->text()) + 8;
  Label1->setGeometry(x, y, label1Width, buttonHeight);
  x += label1Width + gap;
  const int totalWidth = metrics.horizontalAdvance(QStringLiteral("0000000000000000")) + 16;
  TxtTotalBytesQueued->setGeometry(x, y, totalWidth, buttonHeight);
  x += totalWidth + 3 * gap;
  const int itemsWidth = metrics.horizontalAdvance(lblFilesQueued->text()) + 8;
  lblFilesQueued->setGeometry(x, y, itemsWidth, buttonHeight);
  x += itemsWidth + gap;
  lblItemCount->setGeometry(x, y, metrics.horizontalAdvance(QStringLiteral("000000")) + 8, buttonHeight);
  const int closeWidth = std::max(cmsCancel->sizeHint().width(), 90);
  cmsCancel->setGeometry(width - margin - closeWidth, y, closeWidth, buttonHeight);
  const int clientHeight = y + buttonHeight + margin;
  resize(width, clientHeight + menuBar->sizeHint().height());
  layout->activate();
  client->resize(width, clientHeight);
}

// ---- adding

void frmQue::AddTransfers(QueueDirection direction, const std::vector<PaneItem>& items, ftp::FtpClient& ftp,
                          const QString& localFolder) {
  ui::BusyCursor busy;
  const QString local = settings::withTrailingSlash(localFolder);
  std::vector<QueueRow> rows;
  qint64 total = m_total;
  bool complete = true;
  std::optional<QString> remoteFolder;
  try {
    for (const PaneItem& item : items) {
      if (ftp.CurrentState() != static_cast<int>(ftp::ClientState::Idle)) continue;
      if (item.name == QStringLiteral(".") || item.name == QStringLiteral("..")) continue;
      // The server's folder cannot change during the walk; ask for it once.
      if (!remoteFolder) remoteFolder = ftp.GetCurrentFolder();
      m_services.mainProgress.reset();

      QueueRow row;
      row.name = item.name;
      row.localPath = local;
      row.remotePath = *remoteFolder;
      row.hostAddress = ftp.ServerAddress();
      row.type = item.icon == 11   ? QStringLiteral("Dir")
                 : item.icon == 10 ? QStringLiteral("Link")
                                   : QStringLiteral("File");
      if (direction == QueueDirection::Upload) {
        row.command = QStringLiteral("Upload");
        if (item.icon == 11) {
          row.size = QStringLiteral("0");
        } else {
          const QFileInfo file(local + item.name);
          if (!file.exists())
            throw ftp::FtpFailure(QStringLiteral("Cannot read the size of %1: it does not exist").arg(file.filePath()),
                                  ftp::FailureKind::LocalFileFailed);
          row.size = QString::number(file.size());
        }
      } else {
        row.command = QStringLiteral("Download");
        row.size = item.sizeText;
      }
      row.transferMode = ftp.TransferMode() == static_cast<int>(ftp::TransferType::Binary) ? QStringLiteral("Binary")
                                                                                           : QStringLiteral("Ascii");
      row.userName = ftp.UserName();
      row.password = ftp.Password();
      row.port = QString::number(ftp.ServerPort());
      row.security = settings::SiteSecurityCaption(ftp.isSftp() ? settings::SiteSecurity::Sftp
                                                                : static_cast<settings::SiteSecurity>(ftp.Security()));
      total = withBytes(total, byteCount(row.size));
      rows.push_back(std::move(row));
    }
  } catch (const ftp::FtpFailure& failure) {
    complete = false;
    if (!failure.description().isEmpty() && m_services.DisplayMessage)
      m_services.DisplayMessage(QStringLiteral("Error: ") + failure.description());
  }
  // What was taken before a failure stays queued.
  m_model->append(std::move(rows));
  SetTotal(total);
  if (complete && m_services.UpdateAction) m_services.UpdateAction(QStringLiteral("Queue Transfer complete"));
}

// ---- the File menu

void frmQue::Refresh() { lstQue->viewport()->update(); }

void frmQue::ClearQue() {
  if (m_running) return;
  m_model->clear();
  SetTotal(0);
  ShowStatus(QString());
}

void frmQue::RemoveSelection() {
  if (m_running) return;
  lstQue->setFocus();
  std::vector<int> positions;
  qint64 total = m_total;
  // The selection's ranges, not its rows one by one: asking a range per row costs a pass over all
  // ranges each time, which thousands of scattered rows turn into seconds.
  for (const QItemSelectionRange& range : lstQue->selectionModel()->selection()) {
    for (int row = range.top(); row <= range.bottom(); ++row) positions.push_back(row);
  }
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  for (int row : positions) total = withBytes(total, -byteCount(m_model->row(row).size));
  m_model->remove(std::move(positions));
  SetTotal(total);
  lstQue->viewport()->update();
}

void frmQue::SelectAll() {
  lstQue->setFocus();
  lstQue->selectAll();
}

void frmQue::DeselectAll() {
  lstQue->setFocus();
  lstQue->clearSelection();
}

void frmQue::SaveQue() {
  if (m_running) ShowRun(); // rows done are no longer queued
  const QString file = m_services.prompts->saveFileName(this, QStringLiteral("Save Que"), QDir::homePath());
  if (file.isEmpty()) return;
  QString problem;
  if (!transfer::WriteQueueFile(file, m_model->rows(), &problem)) {
    m_services.prompts->message(this, kNoticeTitle, QStringLiteral("The queue was not saved: ") + problem,
                                UserPrompts::OkOnly, UserPrompts::Icon::Critical);
    return;
  }
  ShowStatus(QStringLiteral("%1 row(s) saved to %2").arg(m_model->rowCount()).arg(file));
}

std::optional<transfer::LoadedQueue> frmQue::ReadChosenFile(const QString& title) {
  const QString file = m_services.prompts->openFileName(this, title, QDir::homePath());
  if (file.isEmpty()) return std::nullopt;
  QString problem;
  std::optional<transfer::LoadedQueue> loaded = transfer::LoadQueueFile(file, &problem);
  if (!loaded) {
    const bool wrongFile = problem.startsWith(QStringLiteral("Wrong Queue File"));
    m_services.prompts->message(this, wrongFile ? kWrongFileTitle : kNoticeTitle, QStringLiteral("Error: ") + problem,
                                UserPrompts::OkOnly, UserPrompts::Icon::Information);
    return std::nullopt;
  }
  return loaded;
}

void frmQue::LoadQue() { AddFromFile(QStringLiteral("Load Que"), true); }

void frmQue::AppendQueFile() { AddFromFile(QStringLiteral("Append Que File"), false); }

void frmQue::AddFromFile(const QString& title, bool replace) {
  if (m_running) return;
  std::optional<transfer::LoadedQueue> loaded = ReadChosenFile(title);
  if (!loaded) return;
  // A loaded queue replaces this one only now that a file was chosen and read. The total counts the
  // loaded rows, since running or removing them takes their sizes off again.
  qint64 total = replace ? 0 : m_total;
  for (const QueueRow& row : loaded->rows) total = withBytes(total, byteCount(row.size));
  if (replace) m_model->clear();
  const std::vector<int> incomplete = loaded->incompleteRows;
  const auto count = loaded->rows.size();
  m_model->append(std::move(loaded->rows));
  SetTotal(total);
  ShowStatus((replace ? QStringLiteral("%1 row(s) loaded") : QStringLiteral("%1 row(s) appended")).arg(count));
  if (!incomplete.empty())
    m_services.prompts->message(
        this, kNoticeTitle,
        QStringLiteral("Row(s) %1 of the queue file lack some of their keys; those columns were left empty.")
            .arg(rowList(incomplete)),
        UserPrompts::OkOnly, UserPrompts::Icon::Information);
}

void frmQue::ProcessQue() {
  if (m_running) return;
  if (m_model->rowCount() == 0) {
    m_services.prompts->message(this, QStringLiteral("Tidewick"), QStringLiteral("The are no files queued."),
                                UserPrompts::OkOnly, UserPrompts::Icon::None);
    return;
  }
  m_running = true;
  m_abortRequested = false;
  setCursor(Qt::BusyCursor);
  UpdateCommandStates();
  m_runner = std::make_unique<transfer::QueueRowRunner>();
  ftp::QuickFtp& quick = m_runner->ftp();
  m_shown = RunShown();
  // A certificate nobody vouches for, an unknown host key or a key's passphrase is put to the user
  // sitting here, as the main window does.
  ui::AnswerCertificates(quick, m_services.prompts, this);
  if (m_services.prompts) ui::AnswerSshQuestions(quick, *m_services.prompts, this);

  // The figures count the whole run, so the speed holds steady from one small file to the next.
  qint64 doneBytes = 0;
  connect(&quick, &ftp::QuickFtp::TransferProgress, this,
          [this, &doneBytes](qint64 fileBytes, int percent, qint64 total) {
            m_shown.fileSize = m_shown.runningSize;
            m_shown.fileBytes = fileBytes;
            m_shown.runBytes = doneBytes + total;
            m_shown.percent = percent;
            m_shown.progressChanged = true;
          });
  auto moving = [this](const QString& text) {
    m_shown.action = text;
    m_shown.actionChanged = true;
  };
  connect(&quick, &ftp::QuickFtp::ReceivingFile, this,
          [moving](const QString& name) { moving(QStringLiteral("Receiving ") + name); });
  connect(&quick, &ftp::QuickFtp::SendingFile, this,
          [moving](const QString& name) { moving(QStringLiteral("Sending ") + name); });
  connect(m_runner.get(), &transfer::QueueRowRunner::Skipped, this, [this](const QString& name, const QString& reason) {
    if (m_services.DisplayMessage) m_services.DisplayMessage(name + QStringLiteral(" was skipped. Reason:") + reason);
  });
  m_progress.reset();
  m_services.mainProgress.reset();
  prgQue->setTextVisible(true);
  m_showTimer->start();

  // The engine's thread goes from row to row on its own; the window catches up with it on its
  // timer.
  m_runRows = std::make_unique<transfer::RunRows>();
  PublishRows();
  QString failure;
  int done = 0;
  if (const std::optional<QString> refused = m_runner->Begin()) failure = *refused;
  while (failure.isEmpty()) {
    if (m_abortRequested) {
      failure = QStringLiteral("The queue was aborted");
      break;
    }
    int ran = 0;
    const transfer::RowResult result = m_runner->RunSeries(*m_runRows, &ran);
    done += ran;
    if (!result.ok) {
      failure = result.error;
      break;
    }
    doneBytes += result.bytes;
    if (ran == 0 && !m_abortRequested) break;
  }
  m_runner->End();
  m_runner.reset();
  m_showTimer->stop();
  m_runRows->stop();
  ShowRun();
  m_runRows.reset();
  m_model->setRunningRow(0);
  m_progress.reset();
  m_services.mainProgress.reset();
  prgQue->setTextVisible(false);
  m_running = false;
  unsetCursor();
  UpdateCommandStates();

  if (!failure.isEmpty()) {
    const QString line = QStringLiteral("Error: ") + failure;
    if (m_services.DisplayMessage) m_services.DisplayMessage(line);
    ShowStatus(line);
    if (m_services.UpdateAction) m_services.UpdateAction(QString());
  } else {
    const QString line = QStringLiteral("Queue complete: %1 row(s) processed").arg(done);
    ShowStatus(line);
    if (m_services.UpdateAction) m_services.UpdateAction(line);
  }
  if (m_unloadRequested) close();
}

void frmQue::ShowRun() {
  if (!m_runRows) return;
  RunShown& shown = m_shown;
  quint64 running = 0;
  const std::vector<quint64> finished = m_runRows->takeFinished(&running);
  if (!finished.empty()) {
    const std::unordered_set<quint64> gone(finished.begin(), finished.end());
    std::vector<int> positions;
    qint64 total = m_total;
    for (int p = 0; p < m_model->rowCount(); ++p) {
      if (gone.count(m_model->id(p)) == 0) continue;
      positions.push_back(p);
      total = withBytes(total, -byteCount(m_model->row(p).size));
    }
    m_model->remove(std::move(positions));
    SetTotal(total);
  }
  if (running != m_model->runningRow()) {
    m_model->setRunningRow(running);
    const int position = running ? m_model->positionOf(running) : -1;
    shown.runningSize = -1;
    if (position >= 0) {
      lstQue->scrollTo(m_model->index(position, 0));
      const QueueRow& row = m_model->row(position);
      if (row.type != QStringLiteral("Dir") && row.type != QStringLiteral("Link"))
        shown.runningSize = byteCount(row.size);
    }
  }
  if (shown.actionChanged) {
    shown.actionChanged = false;
    ShowStatus(shown.action);
    if (m_services.UpdateAction) m_services.UpdateAction(shown.action);
  }
  if (shown.progressChanged) {
    shown.progressChanged = false;
    m_progress.beginFile(shown.fileSize);
    m_services.mainProgress.beginFile(shown.fileSize);
    m_progress.update(shown.fileBytes, shown.runBytes, shown.percent);
    m_services.mainProgress.update(shown.fileBytes, shown.runBytes, shown.percent);
  }
}

void frmQue::PublishRows() {
  if (!m_runRows) return;
  std::vector<transfer::RunRows::Entry> rows;
  rows.reserve(static_cast<size_t>(m_model->rowCount()));
  for (int p = 0; p < m_model->rowCount(); ++p) rows.push_back({m_model->id(p), m_model->row(p)});
  m_runRows->setRows(std::move(rows));
}

void frmQue::AbortQue() {
  if (!m_running) return;
  m_abortRequested = true;
  if (m_runRows) m_runRows->stop();
  if (m_runner) m_runner->Abort();
}

void frmQue::CloseWindow() {
  if (m_running) return;
  QDialog::done(QDialog::Rejected);
}

void frmQue::reject() { CloseWindow(); }

void frmQue::closeEvent(QCloseEvent* event) {
  if (m_running) {
    // The run stops first; the window unloads once it has.
    m_unloadRequested = true;
    AbortQue();
    event->ignore();
    return;
  }
  Unload();
  event->accept();
  QDialog::done(QDialog::Rejected);
}

void frmQue::Unload() {
  if (m_unloaded) return;
  m_unloaded = true;
  unsetCursor();
  if (!isMinimized()) ui::savePlacement(this, settings::keys::placement::Queue);
  m_resizer.reset();
  m_model->clear();
  SetTotal(0);
}

// ---- the list

void frmQue::HeaderClicked(int column) {
  if (m_running) ShowRun(); // rows done go before the rest is put in order
  // One order for all columns, turned round by every click: the list starts ascending, so the
  // first click sorts descending.
  const Qt::SortOrder order = m_model->sortOrder() == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
  m_model->sort(column, order);
  lstQue->header()->setSortIndicator(column, order);
}

bool frmQue::eventFilter(QObject* watched, QEvent* event) {
  // Releasing the right button over the list, or the menu key, pops up the File menu.
  if (watched == lstQue->viewport() && event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton) {
      mnuFile->popup(mouse->globalPosition().toPoint());
      return true;
    }
  }
  if (watched == lstQue && event->type() == QEvent::ContextMenu) {
    auto* menu = static_cast<QContextMenuEvent*>(event);
    if (menu->reason() == QContextMenuEvent::Keyboard) mnuFile->popup(menu->globalPos());
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void frmQue::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (m_resizer) m_resizer->resizeControls();
}

// ---- state

void frmQue::SetTotal(qint64 total) {
  m_total = total;
  TxtTotalBytesQueued->setText(QString::number(total));
}

void frmQue::ShowStatus(const QString& text) { lblStatus->setText(text); }

void frmQue::UpdateCommandStates() {
  const bool rows = m_model->rowCount() > 0;
  lblItemCount->setText(QString::number(m_model->rowCount()));
  // While a run goes on the queue changes only by the run itself.
  for (QAction* entry : {mnuFileClearQue, mnuFileLoadQue, mnuFileAppendQueFile, mnuFileRemoveFromQue})
    entry->setEnabled(!m_running);
  mnuFileRunQue->setEnabled(!m_running);
  mnuFileAbort->setEnabled(m_running);
  mnuFileCloseWindow->setEnabled(!m_running);
  cmsCancel->setEnabled(!m_running);
  mnuFileSelectAll->setEnabled(rows);
  mnuFileDeselectAll->setEnabled(rows);
}

} // namespace tidewick::queue
