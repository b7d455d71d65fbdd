#include "browse/RemotePane.h"

#include "browse/FileListModel.h"
#include "browse/IconTable.h"
#include "browse/PathBox.h"
#include "ftp/FtpClient.h"
#include "ui/BusyCursor.h"
#include "ui/UserPrompts.h"

#include <QComboBox>
#include <QHeaderView>
#include <QTreeView>

namespace tidewick::browse {

using ftp::ClientState;
using ftp::FtpClient;
using ftp::FtpFailure;
using ftp::ItemKind;
using ui::BusyCursor;

namespace {
const QString kGoToTitle = QStringLiteral("Remote Server Custom Command");
const QString kFilterTitle = QStringLiteral("Define Type For Remote Server Directory Listing");
const QString kNoCommand = QStringLiteral("No command entered, quiting");
} // namespace

RemotePane::RemotePane(FtpClient& ftp, FilePaneView* list, QComboBox* pathBox, QString& currentRemoteFolder,
                       PaneServices services, QObject* parent)
    : QObject(parent), m_ftp(ftp), m_list(list), m_pathBox(pathBox), m_currentRemoteFolder(currentRemoteFolder),
      m_services(std::move(services)) {
  SetNavigationLock(false);
  connect(&m_ftp, &FtpClient::ListingFolderItem, this, &RemotePane::OnListingFolderItem);
  connect(m_list, &FilePaneView::rowDoubleClicked, this, &RemotePane::RowDoubleClicked);
  connect(m_list, &FilePaneView::headerClicked, this, &RemotePane::HeaderClicked);
  connect(m_list, &FilePaneView::clicked, this, &RemotePane::UpdateRemoteCommandStates);
  connect(m_list, &FilePaneView::selectionChanged, this, &RemotePane::UpdateRemoteCommandStates);
  connect(m_list, &FilePaneView::rightButtonReleased, this, [this](const QPoint& pos) {
    if (m_services.PopupMenu) m_services.PopupMenu(pos);
  });
  // A drop of the other pane's rows, or of any text, asks for an upload of the local selection.
  connect(m_list, &FilePaneView::dropped, this, [this](const QString&, bool) {
    if (m_services.SendSelection) m_services.SendSelection();
  });
  connect(m_list, &FilePaneView::dragStarted, this, [this] { m_list->setAcceptDrops(false); });
  connect(m_list, &FilePaneView::dragFinished, this, [this] { m_list->setAcceptDrops(true); });
  setUpPathBox(
      m_pathBox, [this](const QString& typed) { PathTyped(typed); }, [this] { ShowCurrentFolderInPathBox(); });
  connect(m_pathBox, qOverload<int>(&QComboBox::activated), this, &RemotePane::PathBoxSelected);
}

FileListModel* RemotePane::model() const { return m_list->model(); }

void RemotePane::SetNavigationLock(bool locked) {
  m_pathBox->setProperty("tag", locked ? QStringLiteral("1") : QStringLiteral("0"));
}

bool RemotePane::NavigationLocked() const { return m_pathBox->property("tag").toString() == QStringLiteral("1"); }

void RemotePane::LogError(const QString& description) {
  if (!description.isEmpty() && m_services.DisplayMessage)
    m_services.DisplayMessage(QStringLiteral("Error: ") + description);
}

void RemotePane::OnListingFolderItem(const QString& name, const QDateTime& date, qint64 size, int kind) {
  FileRow row{name, size, true, date, QChar(), 0};
  switch (static_cast<ItemKind>(kind)) {
    case ItemKind::File:
      row.icon = IconIndexForName(name);
      if (row.icon >= kIconOther) row.icon = kIconText;
      row.kind = QLatin1Char('F');
      break;
    case ItemKind::Folder:
      row.icon = kIconFolder;
      row.kind = QLatin1Char('D');
      break;
    case ItemKind::Link:
      row.icon = IconIndexForName(name);
      row.kind = QLatin1Char('E');
      break;
    default: return;
  }
  model()->append(std::move(row));
}

void RemotePane::ListFilesOnServer() { ListDefinedFilesOnServer(QString()); }

void RemotePane::ListDefinedFilesOnServer(const QString& defineString) {
  BusyCursor busy;
  try {
    m_ftp.setListingOption(FtpClient::kNormalListing);
    if (m_services.UpdateAction) m_services.UpdateAction(QStringLiteral("Obtaining directory listing..."));
    m_ftp.ListFolderContents(defineString);
  } catch (const FtpFailure& failure) {
    LogError(failure.description());
  }
  model()->finishListing();
}

QString RemotePane::GetRemoteFolder() {
  // A failure goes to the caller, which logs it in its own words.
  const QString folder = m_ftp.GetCurrentFolder();
  AddToRemotePaths(folder);
  return folder;
}

bool RemotePane::ChangeCurrentRemoteFolder(const QString& folder, bool showErrors) {
  try {
    m_ftp.ChangeCurrentFolder(folder);
  } catch (const FtpFailure& failure) {
    if (showErrors) LogError(failure.description());
    return false;
  }
  try {
    GetRemoteFolder();
  } catch (const FtpFailure& failure) {
    if (showErrors) LogError(failure.description());
  }
  return true;
}

int RemotePane::PathBoxEntry(const QString& path, const QComboBox* box) {
  const QString wanted = path.toUpper();
  for (int i = 0; i < box->count(); ++i)
    if (box->itemText(i).toUpper() == wanted) return i;
  return -1;
}

bool RemotePane::FindInPathBox(const QString& path, const QComboBox* box) { return PathBoxEntry(path, box) >= 0; }

void RemotePane::AddToRemotePaths(const QString& path) {
  if (const int entry = PathBoxEntry(path, m_pathBox); entry >= 0) {
    // The entry becomes the box's choice too (quietly), so the box does not take the text for a
    // new choice of that entry when editing ends.
    m_pathBox->setCurrentIndex(entry);
    m_pathBox->setEditText(path);
    return;
  }
  m_pathBox->addItem(path);
  m_pathBox->setCurrentIndex(m_pathBox->count() - 1);
  // Selecting the new entry is a choice of the box like the user's.
  PathBoxSelected(m_pathBox->count() - 1);
}

void RemotePane::ClearRemoteList() { model()->clear(); }

void RemotePane::ListAfterNavigation() {
  ClearRemoteList();
  if (m_services.SetAbortEnabled) m_services.SetAbortEnabled(true);
  ListFilesOnServer();
  if (m_services.SetAbortEnabled) m_services.SetAbortEnabled(false);
  if (m_services.UpdateAction) m_services.UpdateAction(QString());
}

void RemotePane::RefreshRemoteList() {
  BusyCursor busy;
  ListAfterNavigation();
}

void RemotePane::Refresh() {
  RefreshRemoteList();
  UpdateRemoteCommandStates();
}

void RemotePane::UpdateRemoteCommandStates() {
  const int count = m_list->CountSelected();
  const bool selected = count > 0;
  const bool multi = count > 1;
  int icon = 0;
  if (selected && !multi) icon = model()->row(m_list->selectedRow()).icon;
  PaneCommandStates states;
  states.deleteFile = selected && (icon < kIconFolder || multi);
  states.rename = selected && icon < kIconFolder;
  states.removeFolder = selected && icon >= kIconOther;
  states.transfer = selected && count > 0;
  if (m_services.ApplyCommandStates) m_services.ApplyCommandStates(states);
}

void RemotePane::RowDoubleClicked(int row) {
  SetNavigationLock(true);
  if (m_ftp.state() == ClientState::Idle && row >= 0 && row < model()->rowCount()) {
    const FileRow item = model()->row(row);
    bool folder = false;
    if (item.icon >= kIconPicture && item.icon < kIconOther) {
      if (m_services.ReceiveSelection) m_services.ReceiveSelection();
    } else if (item.icon == kIconOther) {
      // A link: a folder when the server lets us change into it, else a file to download.
      if (ChangeCurrentRemoteFolder(item.name, false)) folder = true;
      else if (m_services.ReceiveSelection) m_services.ReceiveSelection();
    } else if (item.icon == kIconFolder) {
      ChangeCurrentRemoteFolder(item.name, true);
      folder = true;
    }
    if (folder) {
      try {
        m_currentRemoteFolder = GetRemoteFolder();
      } catch (const FtpFailure& failure) {
        LogError(failure.description());
      }
      ListAfterNavigation();
      UpdateRemoteCommandStates();
    }
  }
  SetNavigationLock(false);
}

void RemotePane::PathBoxSelected(int index) {
  if (index < 0 || index >= m_pathBox->count()) return;
  const QString path = m_pathBox->itemText(index);
  if (!NavigationLocked()) {
    // A folder the server refuses is not shown, so the box must not name it either.
    if (!ChangeCurrentRemoteFolder(path, true)) {
      ShowCurrentFolderInPathBox();
      return;
    }
    ListAfterNavigation();
  }
  m_currentRemoteFolder = path;
}

void RemotePane::PathTyped(const QString& typed) {
  const QString folder = typed.trimmed();
  if (folder.isEmpty() || folder == m_currentRemoteFolder) {
    ShowCurrentFolderInPathBox();
    return;
  }
  // GoToFolder lists the folder itself; the history entry it adds on the way must not change
  // into the folder and list it a second time.
  const bool locked = NavigationLocked();
  SetNavigationLock(true);
  GoToFolder(folder);
  SetNavigationLock(locked);
}

void RemotePane::ShowCurrentFolderInPathBox() {
  if (const int entry = PathBoxEntry(m_currentRemoteFolder, m_pathBox); entry >= 0) m_pathBox->setCurrentIndex(entry);
  m_pathBox->setEditText(m_currentRemoteFolder);
}

void RemotePane::GoUpOneLevel() {
  BusyCursor busy;
  try {
    const QString before = m_ftp.GetCurrentFolder();
    m_ftp.ChangeToParentFolder();
    const QString after = GetRemoteFolder();
    if (after != before) {
      if (ChangeCurrentRemoteFolder(after, true)) {
        m_currentRemoteFolder = after;
        ClearRemoteList();
        ListFilesOnServer();
        UpdateRemoteCommandStates();
        // The listing is done; its "Obtaining directory listing..." must not stay behind.
        if (m_services.UpdateAction) m_services.UpdateAction(QString());
        if (m_services.DisplayMessage) m_services.DisplayMessage(QStringLiteral("Remote path now up one folder."));
      }
    } else if (m_services.DisplayMessage) {
      m_services.DisplayMessage(QStringLiteral("Remote path already at a root folder."));
    }
  } catch (const FtpFailure& failure) {
    if (m_services.DisplayMessage) {
      m_services.DisplayMessage(
          QStringLiteral("Error while attempting to change current remote folder to its parent folder. Description: ") +
          failure.description());
      m_services.DisplayMessage(QStringLiteral("Could not change to remote folder's parent."));
    }
  }
}

void RemotePane::GoToTypedFolder() {
  const QString answer = m_services.prompts->input(
      m_services.window, kGoToTitle,
      QStringLiteral("Type Directory Name To Go TO (WITHOUT THE WORD CD OR DIR IN THE BEGINNING!)"));
  if (answer.trimmed().isEmpty()) {
    m_services.prompts->notice(m_services.window, kGoToTitle, kNoCommand);
    return;
  }
  GoToFolder(answer);
}

bool RemotePane::GoToFolder(const QString& folder) {
  BusyCursor busy;
  if (!ChangeCurrentRemoteFolder(folder, true)) {
    ShowCurrentFolderInPathBox();
    return false;
  }
  try {
    m_currentRemoteFolder = m_ftp.GetCurrentFolder();
  } catch (const FtpFailure& failure) {
    LogError(failure.description());
  }
  ListAfterNavigation();
  UpdateRemoteCommandStates();
  return true;
}

void RemotePane::FollowServerFolder() {
  QString folder;
  try {
    folder = m_ftp.GetCurrentFolder();
  } catch (const FtpFailure& failure) {
    LogError(failure.description());
    return;
  }
  if (folder != m_currentRemoteFolder) GoToFolder(folder);
}

void RemotePane::FilterAll() {
  BusyCursor busy;
  ListAfterNavigation();
}

void RemotePane::FilterDefineTypes() {
  const QString pattern =
      m_services.prompts->input(m_services.window, kFilterTitle, QStringLiteral("Please enter the type ex: *.gif "));
  if (pattern.isEmpty()) {
    m_services.prompts->notice(m_services.window, kFilterTitle, kNoCommand);
    return;
  }
  BusyCursor busy;
  ClearRemoteList();
  if (m_services.SetAbortEnabled) m_services.SetAbortEnabled(true);
  ListDefinedFilesOnServer(pattern);
  if (m_services.SetAbortEnabled) m_services.SetAbortEnabled(false);
  if (m_services.UpdateAction) m_services.UpdateAction(QString());
}

void RemotePane::HeaderClicked(int column) {
  // One order for the whole list, toggled by every click, whichever column.
  m_sortOrder = m_sortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
  model()->sort(column, m_sortOrder);
  m_list->detailsView()->header()->setSortIndicator(column, m_sortOrder);
}

void RemotePane::ClearPathBox() {
  m_pathBox->clear();
  m_pathBox->setEditText(QString());
}

} // namespace tidewick::browse
