// The main window's side of the transfer queue: "Transfer To Queue" from either pane and Tools ›
// "Show Queue". The queue window is made the first time either is used and kept, hidden, between
// showings; its close box unloads it and the next use makes a new, empty one.
#include "app/frmMain.h"

#include "browse/FileListModel.h"
#include "browse/FilePaneView.h"
#include "queue/frmQue.h"
#include "ui/UserPrompts.h"

#include <QLabel>

namespace tidewick::app {

using queue::frmQue;
using queue::PaneItem;
using queue::QueueDirection;

namespace {

std::vector<PaneItem> selectedItems(const browse::FilePaneView* list) {
  std::vector<PaneItem> items;
  const browse::FileListModel* model = list->model();
  for (int row : list->selectedRows())
    items.push_back({model->row(row).name, model->row(row).icon, model->text(row, browse::FileListModel::SizeColumn)});
  return items;
}

} // namespace

frmQue& frmMain::QueueWindow() {
  if (!m_queue || m_queue->unloaded()) {
    queue::QueueServices services;
    services.prompts = &m_prompts;
    services.DisplayMessage = [this](const QString& line) { DisplayMessage(line); };
    services.UpdateAction = [this](const QString& text) { UpdateAction(text); };
    services.mainProgress = transfer::ProgressPanels(prgStatus, statusPanel(2), statusPanel(3), statusPanel(4));
    m_queue = std::make_unique<frmQue>(std::move(services), this);
  }
  return *m_queue;
}

void frmMain::LocalTransferToQueue() {
  QueueWindow().AddTransfers(QueueDirection::Upload, selectedItems(lstLocalFileList), *xFtp, CurrentLocalFolder);
}

void frmMain::RemoteTransferToQueue() {
  QueueWindow().AddTransfers(QueueDirection::Download, selectedItems(lstRemoteFileList), *xFtp, CurrentLocalFolder);
}

void frmMain::ShowQueue() {
  frmQue& window = QueueWindow();
  m_prompts.showModal(&window);
  if (window.unloaded()) m_queue.reset();
}

} // namespace tidewick::app
