#include "browse/LocalPane.h"

#include "browse/FileListModel.h"
#include "browse/IconTable.h"
#include "browse/LocalFileSystem.h"
#include "browse/PathBox.h"
#include "ftp/FtpClient.h"
#include "settings/Globals.h"
#include "ui/BusyCursor.h"
#include "ui/Shell.h"
#include "ui/UserPrompts.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QTreeView>

namespace tidewick::browse {

using ftp::ClientState;
using ftp::FtpClient;
using settings::withTrailingSlash;
using ui::BusyCursor;
using ui::UserPrompts;

namespace {
const QString kFilterTitle = QStringLiteral("Define Type For Local Server Directory Listing");
} // namespace

LocalPane::LocalPane(LocalFileSystem& local, FtpClient& ftp, FilePaneView* list, QComboBox* pathBox,
                     QString& currentLocalFolder, PaneServices services, QObject* parent)
    : QObject(parent), m_local(local), m_ftp(ftp), m_list(list), m_pathBox(pathBox),
      m_currentLocalFolder(currentLocalFolder), m_services(std::move(services)) {
  connect(&m_local, &LocalFileSystem::entryListed, this, &LocalPane::OnEntryListed);
  connect(&m_local, &LocalFileSystem::folderListed, this, &LocalPane::OnFolderListed);
  connect(&m_local, &LocalFileSystem::rootFound, this, &LocalPane::OnRootFound);
  connect(m_list, &FilePaneView::rowDoubleClicked, this, &LocalPane::RowDoubleClicked);
  connect(m_list, &FilePaneView::headerClicked, this, &LocalPane::HeaderClicked);
  connect(m_list, &FilePaneView::clicked, this, &LocalPane::UpdateLocalCommandStates);
  connect(m_list, &FilePaneView::selectionChanged, this, &LocalPane::UpdateLocalCommandStates);
  connect(m_list, &FilePaneView::rightButtonReleased, this, [this](const QPoint& pos) {
    if (m_services.PopupMenu) m_services.PopupMenu(pos);
  });
  // A drop of the remote rows, or of any text, asks for a download of the remote selection.
  connect(m_list, &FilePaneView::dropped, this, [this](const QString&, bool) {
    if (m_services.ReceiveSelection) m_services.ReceiveSelection();
  });
  connect(m_list, &FilePaneView::dragStarted, this, [this] { m_list->setAcceptDrops(false); });
  connect(m_list, &FilePaneView::dragFinished, this, [this] { m_list->setAcceptDrops(true); });
  setUpPathBox(
      m_pathBox, [this](const QString& typed) { PathTyped(typed); }, [this] { ShowCurrentFolderInPathBox(); });
  connect(m_pathBox, qOverload<int>(&QComboBox::activated), this, &LocalPane::PathBoxSelected);
}

FileListModel* LocalPane::model() const { return m_list->model(); }

void LocalPane::Log(const QString& line) {
  if (m_services.DisplayMessage) m_services.DisplayMessage(line);
}

void LocalPane::OnEntryListed(const QString& name, const QDateTime& date, qint64 size, int attributes) {
  FileRow row{name, size, true, date, QLatin1Char('F'), 0};
  if (attributes != -1 && (attributes & kAttrFolder)) {
    row.icon = kIconFolder;
    row.sizeShown = false;
    row.kind = QLatin1Char('D');
  } else {
    row.icon = IconIndexForName(name);
    // Unreadable entries keep "other" (10), which the pane treats like a folder.
    if (attributes != -1 && row.icon >= kIconOther) row.icon = kIconText;
  }
  model()->append(std::move(row));
}

int LocalPane::FindInPathBox(const QString& path) const {
  // Linux names are case-sensitive: /Data and /data are different folders.
  for (int i = 0; i < m_pathBox->count(); ++i)
    if (m_pathBox->itemText(i) == path) return i;
  return -1;
}

void LocalPane::AddPathToComboBox(const QString& path) {
  if (const int entry = FindInPathBox(path); entry >= 0) {
    // Chosen quietly too, so the box does not take its text for a new choice when editing ends.
    m_pathBox->setCurrentIndex(entry);
    m_pathBox->setEditText(path);
    return;
  }
  m_pathBox->addItem(path);
  m_pathBox->setCurrentIndex(m_pathBox->count() - 1);
}

void LocalPane::OnFolderListed(const QString& folder) {
  // A folder seen for the first time joins the box; the box's selection is the listing just made,
  // so no second listing is started for it.
  AddPathToComboBox(folder);
}

void LocalPane::OnRootFound(const QString& root) { m_pathBox->addItem(root); }

bool LocalPane::RetrieveLocalFolderContents(const QString& path, const QString& pattern) {
  BusyCursor busy;
  const bool ok = m_local.list(path, pattern);
  model()->finishListing();
  if (!ok) Log(QStringLiteral("Cannot read the contents of ") + path);
  return ok;
}

bool LocalPane::ChangeCurrentLocalFolder(const QString& folder) {
  if (folder.isEmpty()) {
    Log(QStringLiteral("Error while attempting to change current local folder to '") + folder +
        QStringLiteral("'. Description: the path is empty"));
    return false;
  }
  m_currentLocalFolder = folder;
  AddPathToComboBox(folder);
  Log(QStringLiteral("Local folder changed to ") + folder);
  return true;
}

void LocalPane::ClearLocalList() { model()->clear(); }

void LocalPane::RefreshLocalList() {
  ClearLocalList();
  RetrieveLocalFolderContents(m_currentLocalFolder);
}

void LocalPane::Refresh() {
  RefreshLocalList();
  UpdateLocalCommandStates();
}

void LocalPane::UpdateLocalCommandStates() {
  const int count = m_list->CountSelected();
  const bool selected = count > 0;
  const bool multi = count >= 2;
  int icon = 0;
  if (selected && !multi) icon = model()->row(m_list->selectedRow()).icon;
  PaneCommandStates states;
  states.deleteFile = selected && (icon < kIconFolder || multi);
  states.rename = selected && icon < kIconFolder;
  states.createFolder = true;
  states.removeFolder = selected && icon >= kIconOther;
  states.transfer = selected && m_ftp.state() == ClientState::Idle && count > 0;
  if (m_services.ApplyCommandStates) m_services.ApplyCommandStates(states);
}

void LocalPane::RowDoubleClicked(int row) {
  if (row < 0 || row >= model()->rowCount()) return;
  const FileRow item = model()->row(row);
  if (item.icon < kIconOther) {
    if (m_ftp.state() != ClientState::NotConnected &&
        m_services.prompts->message(m_services.window, QStringLiteral("Tidewick [Confirm]"),
                                    QStringLiteral("Upload file '") + item.name + QStringLiteral("'?"),
                                    UserPrompts::YesNo, UserPrompts::Icon::Question) == UserPrompts::Yes &&
        m_services.SendSelection)
      m_services.SendSelection();
    return;
  }
  EnterFolder(m_currentLocalFolder + item.name + QLatin1Char('/'));
}

bool LocalPane::EnterFolder(const QString& path) {
  ClearLocalList();
  // The folder becomes current only when it could be read, so the pane never shows one folder
  // while naming another.
  const bool entered = RetrieveLocalFolderContents(path);
  if (entered) {
    m_currentLocalFolder = path;
  } else {
    ClearLocalList();
    RetrieveLocalFolderContents(m_currentLocalFolder);
    ShowCurrentFolderInPathBox();
  }
  UpdateLocalCommandStates();
  return entered;
}

void LocalPane::PathBoxSelected(int index) {
  if (index < 0 || index >= m_pathBox->count()) return;
  EnterFolder(withTrailingSlash(m_pathBox->itemText(index)));
}

void LocalPane::PathTyped(const QString& typed) {
  QString path = typed.trimmed();
  if (path.isEmpty()) {
    ShowCurrentFolderInPathBox();
    return;
  }
  if (path == QStringLiteral("~") || path.startsWith(QStringLiteral("~/"))) path = QDir::homePath() + path.mid(1);
  else if (!QDir::isAbsolutePath(path)) path = m_currentLocalFolder + path;
  path = withTrailingSlash(QDir::cleanPath(path));
  if (!QFileInfo(path).isDir()) {
    Log(QStringLiteral("Error while attempting to change current local folder to '") + path +
        QStringLiteral("'. Description: there is no such folder"));
    ShowCurrentFolderInPathBox();
    return;
  }
  EnterFolder(path);
}

void LocalPane::ShowCurrentFolderInPathBox() {
  if (const int entry = FindInPathBox(m_currentLocalFolder); entry >= 0) m_pathBox->setCurrentIndex(entry);
  m_pathBox->setEditText(m_currentLocalFolder);
}

void LocalPane::GoUpOneLevel() {
  if (m_currentLocalFolder.size() < 2) {
    Log(QStringLiteral("Local path already at root folder."));
    return;
  }
  const qsizetype slash = m_currentLocalFolder.lastIndexOf(QLatin1Char('/'), m_currentLocalFolder.size() - 2);
  if (slash < 0) {
    Log(QStringLiteral("Local path already at root folder."));
    return;
  }
  const QString newPath = m_currentLocalFolder.left(slash + 1);
  if (ChangeCurrentLocalFolder(newPath)) {
    ClearLocalList();
    RetrieveLocalFolderContents(newPath);
    UpdateLocalCommandStates();
  }
}

void LocalPane::FilterAll() {
  ClearLocalList();
  RetrieveLocalFolderContents(m_currentLocalFolder);
}

void LocalPane::FilterDefineTypes() {
  const QString pattern =
      m_services.prompts->input(m_services.window, kFilterTitle, QStringLiteral("Please enter the type ex: *.gif "));
  if (pattern.isEmpty()) {
    m_services.prompts->notice(m_services.window, kFilterTitle, QStringLiteral("No command entered, quiting"));
    return;
  }
  ClearLocalList();
  RetrieveLocalFolderContents(m_currentLocalFolder, pattern);
}

void LocalPane::OpenFile() {
  const int row = m_list->selectedRow();
  if (row < 0) {
    m_services.prompts->message(m_services.window, QStringLiteral("Tidewick"), QStringLiteral("Nothing to open!"),
                                UserPrompts::OkOnly, UserPrompts::Icon::Warning);
    return;
  }
  tidewick::ui::openWithShell(m_currentLocalFolder + model()->row(row).name);
}

QStringList LocalPane::SelectedPaths() const {
  QStringList paths;
  for (int row : m_list->selectedRows()) paths << m_currentLocalFolder + model()->row(row).name;
  return paths;
}

void LocalPane::HeaderClicked(int column) {
  m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
  model()->sort(column, m_sortOrder);
  m_list->detailsView()->header()->setSortIndicator(column, m_sortOrder);
}

} // namespace tidewick::browse
