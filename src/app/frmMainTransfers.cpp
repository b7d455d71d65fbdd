// The main window's transfers: uploads and downloads of the panes' selections, the two folder
// synchronisations, and the progress figures in the status bar. The work is the transfer
// controller's; the window hands it its panes, its log and its commands.
#include "app/frmMain.h"

#include "browse/FileListModel.h"
#include "browse/FilePaneView.h"
#include "transfer/TransferController.h"

#include <QLabel>

namespace tidewick::app {

using transfer::SelectedRow;
using transfer::TransferController;
using transfer::TransferServices;

namespace {

std::vector<SelectedRow> selectionOf(const browse::FilePaneView* list) {
  std::vector<SelectedRow> rows;
  for (int row : list->selectedRows()) {
    const browse::FileRow& item = list->model()->row(row);
    rows.push_back({item.name, item.icon});
  }
  return rows;
}

} // namespace

void frmMain::CreateTransfers() {
  TransferServices services;
  services.prompts = &m_prompts;
  services.window = this;
  services.LocalSelection = [this] { return selectionOf(lstLocalFileList); };
  services.RemoteSelection = [this] { return selectionOf(lstRemoteFileList); };
  services.CurrentLocalFolder = [this] { return CurrentLocalFolder; };
  services.CurrentRemoteFolder = [this] { return CurrentRemoteFolder; };
  services.DisplayMessage = [this](const QString& line) { DisplayMessage(line); };
  services.UpdateAction = [this](const QString& text) { UpdateAction(text); };
  services.SetAbortEnabled = [this](bool busy) { SetAbortEnabled(busy); };
  services.Abort = [this] { Abort(); };
  services.RefreshLocalList = [this] { RefreshLocalList(); };
  services.RefreshRemoteList = [this] { RefreshRemoteList(); };
  m_transfers = std::make_unique<TransferController>(
      *xFtp, transfer::ProgressPanels(prgStatus, statusPanel(2), statusPanel(3), statusPanel(4)), services);
}

void frmMain::SendSelection() { m_transfers->SendSelection(); }
void frmMain::ReceiveSelection() { m_transfers->ReceiveSelection(); }
void frmMain::SyncLocalToRemote() { m_transfers->SyncLocalToRemote(); }
void frmMain::SyncRemoteToLocal() { m_transfers->SyncRemoteToLocal(); }
void frmMain::ResetProgress() { m_transfers->ResetProgress(); }
void frmMain::UpdateStatus(qint64 bytes, qint64 totalBytes, int percent) {
  m_transfers->UpdateStatus(bytes, totalBytes, percent);
}

} // namespace tidewick::app
