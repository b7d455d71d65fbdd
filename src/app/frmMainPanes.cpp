// The main window's two panes and the file commands: creating them at load, dispatching the
// commands to them, and enabling the commands they decide on.
#include "app/frmMain.h"

#include "browse/FileListModel.h"
#include "browse/FileOperations.h"
#include "browse/FilePaneView.h"
#include "browse/LocalDialogs.h"
#include "browse/LocalFileSystem.h"
#include "browse/LocalPane.h"
#include "browse/RemotePane.h"
#include "ftp/FtpClient.h"
#include "ui/UserPrompts.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QToolBar>

namespace tidewick::app {

using browse::FileListModel;
using browse::FileOperations;
using browse::FilePaneView;
using browse::FindFilesDialog;
using browse::LocalFileSystem;
using browse::LocalPane;
using browse::PaneCommandStates;
using browse::PaneServices;
using browse::PropertiesDialog;
using browse::RemotePane;
using ui::UserPrompts;

void frmMain::CreatePanes() {
  m_localFiles = std::make_unique<LocalFileSystem>(m_prompts, this);

  PaneServices services;
  services.prompts = &m_prompts;
  services.window = this;
  services.DisplayMessage = [this](const QString& line) { DisplayMessage(line); };
  services.UpdateAction = [this](const QString& text) { UpdateAction(text); };
  services.SetAbortEnabled = [this](bool busy) { SetAbortEnabled(busy); };
  services.SendSelection = [this] { SendSelection(); };
  services.ReceiveSelection = [this] { ReceiveSelection(); };

  PaneServices local = services;
  local.PopupMenu = [this](const QPoint& pos) { miLocal->popup(pos); };
  local.ApplyCommandStates = [this](const PaneCommandStates& s) { ApplyLocalCommandStates(s); };
  PaneServices remote = services;
  remote.PopupMenu = [this](const QPoint& pos) { miRemote->popup(pos); };
  remote.ApplyCommandStates = [this](const PaneCommandStates& s) { ApplyRemoteCommandStates(s); };

  m_localPane =
      std::make_unique<LocalPane>(*m_localFiles, *xFtp, lstLocalFileList, cboLocalPath, CurrentLocalFolder, local);
  m_remotePane = std::make_unique<RemotePane>(*xFtp, lstRemoteFileList, cboRemotePath, CurrentRemoteFolder, remote);
  m_fileOps =
      std::make_unique<FileOperations>(*m_localFiles, *xFtp, *m_localPane, *m_remotePane, CurrentLocalFolder, services);

  // Renaming in place on both lists.
  lstLocalFileList->model()->setRenameHandler(
      [this](int row, const QString& name) { m_fileOps->LocalEditFinished(row, name); });
  lstRemoteFileList->model()->setRenameHandler(
      [this](int row, const QString& name) { m_fileOps->RemoteEditFinished(row, name); });
  connect(lstLocalFileList, &FilePaneView::editStarted, this, [this](int row) { m_fileOps->LocalEditStarted(row); });
  connect(lstRemoteFileList, &FilePaneView::editStarted, this, [this](int row) { m_fileOps->RemoteEditStarted(row); });

  // The Delete key gives the list's delete command, where its button would.
  connect(lstLocalFileList, &FilePaneView::deleteKeyPressed, this, [this] {
    if (cmdDeleteLocalFile->isEnabled()) DeleteLocalFiles();
  });
  connect(lstRemoteFileList, &FilePaneView::deleteKeyPressed, this, [this] {
    if (cmdDeleteRemoteFile->isEnabled() && xFtp->state() != ftp::ClientState::NotConnected) DeleteRemoteFile();
  });
  // Backspace goes up one folder, where the up button would.
  connect(lstLocalFileList, &FilePaneView::upKeyPressed, this, [this] {
    if (cmdUpLocal->isEnabled()) LocalGoUp();
  });
  connect(lstRemoteFileList, &FilePaneView::upKeyPressed, this, [this] {
    if (cmdUpFtp->isEnabled() && xFtp->state() != ftp::ClientState::NotConnected) RemoteGoUp();
  });
}

void frmMain::ApplyLocalCommandStates(const PaneCommandStates& s) {
  const auto set = [this](std::initializer_list<const char*> names, bool on) {
    for (const char* name : names)
      if (QAction* entry = menuEntry(QString::fromLatin1(name))) entry->setEnabled(on);
  };
  cmdDeleteLocalFile->setEnabled(s.deleteFile);
  set({"miDeleteLocalFile", "mnuLocalDeleteFileToRecycleBin"}, s.deleteFile);
  cmdRenameLocalFile->setEnabled(s.rename);
  set({"miRenameLocalFile"}, s.rename);
  cmdCreateLocalFolder->setEnabled(s.createFolder);
  set({"miCreateLocalFolder"}, s.createFolder);
  cmdRemoveLocalFolder->setEnabled(s.removeFolder);
  set({"miRemoveLocalFolder", "mnuDelteFolderToRecycleBin"}, s.removeFolder);
  cmdSend->setEnabled(s.transfer);
  set({"miSend", "mnuLocalUpload"}, s.transfer);
  if (QAction* button = ToolbarButtonAt(Toolbar5, 4)) button->setEnabled(s.transfer);
  for (QToolBar* bar : {Toolbar1, Toolbar4})
    if (QAction* button = ToolbarButton(bar, QStringLiteral("Upload"))) button->setEnabled(s.transfer);
}

void frmMain::ApplyRemoteCommandStates(const PaneCommandStates& s) {
  const auto set = [this](std::initializer_list<const char*> names, bool on) {
    for (const char* name : names)
      if (QAction* entry = menuEntry(QString::fromLatin1(name))) entry->setEnabled(on);
  };
  cmdDeleteRemoteFile->setEnabled(s.deleteFile);
  set({"miDeleteRemoteFile"}, s.deleteFile);
  cmdRenameRemoteFile->setEnabled(s.rename);
  set({"miRenameRemoteFile"}, s.rename);
  cmdDeleteRemoteFolder->setEnabled(s.removeFolder);
  set({"miRemoveRemoteFolder"}, s.removeFolder);
  cmdReceive->setEnabled(s.transfer);
  set({"miReceive", "mnuRemoteDownload"}, s.transfer);
  if (QAction* button = ToolbarButtonAt(Toolbar6, 4)) button->setEnabled(s.transfer);
  for (QToolBar* bar : {Toolbar1, Toolbar4})
    if (QAction* button = ToolbarButton(bar, QStringLiteral("Download"))) button->setEnabled(s.transfer);
}

// ---- local commands

void frmMain::RefreshLocalList() {
  if (m_localPane) m_localPane->RefreshLocalList();
}
void frmMain::UpdateLocalCommandStates() {
  if (m_localPane) m_localPane->UpdateLocalCommandStates();
}
void frmMain::OpenLocalFile() {
  if (m_localPane) m_localPane->OpenFile();
}
void frmMain::LocalGoUp() {
  if (m_localPane) m_localPane->GoUpOneLevel();
}
void frmMain::LocalFilterAll() {
  if (m_localPane) m_localPane->FilterAll();
}
void frmMain::LocalFilterDefineTypes() {
  if (m_localPane) m_localPane->FilterDefineTypes();
}
void frmMain::SetLocalView(int view) {
  if (view >= 0 && view <= 3) lstLocalFileList->setViewMode(static_cast<FilePaneView::ViewMode>(view));
}
void frmMain::DeleteLocalFiles() {
  if (m_fileOps) m_fileOps->DeleteLocalFiles();
}
void frmMain::RenameLocalFile() {
  if (m_fileOps) m_fileOps->RenameLocalFile();
}
void frmMain::CreateLocalFolder() {
  if (m_fileOps) m_fileOps->CreateLocalFolder();
}
void frmMain::RemoveLocalFolder() {
  if (m_fileOps) m_fileOps->RemoveLocalFolder();
}
void frmMain::DeleteLocalFileToRecycleBin() {
  if (m_fileOps) m_fileOps->RecycleLocalFiles();
}
void frmMain::DeleteLocalFolderToRecycleBin() {
  if (m_fileOps) m_fileOps->RecycleLocalFolder();
}
void frmMain::EmptyLocalRecycleBin() {
  if (m_fileOps) m_fileOps->EmptyTrash();
}

void frmMain::FindLocalFiles() {
  FindFilesDialog dialog(CurrentLocalFolder, this);
  m_prompts.showModal(&dialog);
}

void frmMain::ShowLocalProperties() {
  const int row = lstLocalFileList->selectedRow();
  if (row < 0) {
    m_prompts.message(this, QStringLiteral("Tidewick"), QStringLiteral("Properties of what, Please select an item?"),
                      UserPrompts::OkOnly, UserPrompts::Icon::None);
    return;
  }
  PropertiesDialog dialog(CurrentLocalFolder + lstLocalFileList->model()->row(row).name, this);
  m_prompts.showModal(&dialog);
}

// ---- remote commands

void frmMain::ListFilesOnServer() {
  if (m_remotePane) m_remotePane->ListFilesOnServer();
}
void frmMain::ClearRemoteList() {
  if (m_remotePane) m_remotePane->ClearRemoteList();
}
void frmMain::RefreshRemoteList() {
  if (m_remotePane) m_remotePane->RefreshRemoteList();
}
void frmMain::UpdateRemoteCommandStates() {
  if (m_remotePane) m_remotePane->UpdateRemoteCommandStates();
}
void frmMain::RemoteGoUp() {
  if (m_remotePane) m_remotePane->GoUpOneLevel();
}
void frmMain::GoToRemoteDirectory() {
  if (m_remotePane) m_remotePane->GoToTypedFolder();
}
void frmMain::RemoteFilterAll() {
  if (m_remotePane) m_remotePane->FilterAll();
}
void frmMain::RemoteFilterDefineTypes() {
  if (m_remotePane) m_remotePane->FilterDefineTypes();
}
void frmMain::SetRemoteView(int view) {
  if (view >= 0 && view <= 3) lstRemoteFileList->setViewMode(static_cast<FilePaneView::ViewMode>(view));
}
void frmMain::DeleteRemoteFile() {
  if (m_fileOps) m_fileOps->DeleteRemoteFiles();
}
void frmMain::RenameRemoteFile() {
  if (m_fileOps) m_fileOps->RenameRemoteFile();
}
void frmMain::CreateRemoteFolder() {
  if (m_fileOps) m_fileOps->CreateRemoteFolder();
}
void frmMain::RemoveRemoteFolder() {
  if (m_fileOps) m_fileOps->RemoveRemoteFolder();
}
void frmMain::MoveRemoteItems() {
  if (m_fileOps) m_fileOps->MoveRemoteItems();
}

} // namespace tidewick::app
