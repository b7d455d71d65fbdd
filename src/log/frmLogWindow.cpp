#include "log/frmLogWindow.h"

#include "log/LogList.h"
#include "log/SaveLog.h"
#include "settings/Globals.h"
#include "settings/SettingsKeys.h"
#include "ui/ControlResizer.h"
#include "ui/Placement.h"

#include <QAction>
#include <QMenuBar>
#include <QVBoxLayout>

namespace tidewick::log {

frmLogWindow::frmLogWindow(ui::UserPrompts& prompts, LogList& mainLog, QWidget* parent)
    : QDialog(parent), m_prompts(prompts), m_mainLog(mainLog) {
  setObjectName(QStringLiteral("frmLogWindow"));
  setWindowTitle(QStringLiteral("Tidewick -  Log Window"));
  setSizeGripEnabled(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* bar = new QMenuBar(this);
  mnuClose = bar->addAction(QStringLiteral("&Close"));
  mnuClose->setObjectName(QStringLiteral("mnuClose"));
  mnuSave = bar->addAction(QStringLiteral("&Save"));
  mnuSave->setObjectName(QStringLiteral("mnuSave"));
  layout->setMenuBar(bar);
  connect(mnuClose, &QAction::triggered, this, &QDialog::reject);
  connect(mnuSave, &QAction::triggered, this, &frmLogWindow::Save);

  // The list fills the window at load; the resizer keeps it in proportion afterwards.
  m_client = new QWidget(this);
  layout->addWidget(m_client);
  lstLog = new LogList(m_client);
  lstLog->setObjectName(QStringLiteral("lstLog"));
  lstLog->setAccessibleName(QStringLiteral("Log"));

  resize(620, 380);
  layout->activate();
  lstLog->setGeometry(m_client->rect());
}

frmLogWindow::~frmLogWindow() = default;

QString frmLogWindow::BannerLine() {
  return QStringLiteral("Tidewick %1 - FTP client log").arg(settings::ProgramVersion());
}

void frmLogWindow::Load() {
  m_resizer = std::make_unique<ui::ControlResizer>();
  m_resizer->prepare(this);

  lstLog->addLine(QStringLiteral("WinSock 2.0"));
  lstLog->addLine(BannerLine());

  // Each line of the main log in turn, leaving the main log's last line selected.
  lstLog->addLines(m_mainLog.lines());
  if (m_mainLog.count() > 0) m_mainLog.setCurrentRow(m_mainLog.count() - 1);

  ui::applyPlacement(this, settings::keys::placement::LogWindow);
}

void frmLogWindow::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (m_resizer) m_resizer->resizeControls();
}

void frmLogWindow::done(int result) {
  if (!m_unloaded) {
    m_unloaded = true;
    if (!isMinimized()) ui::savePlacement(this, settings::keys::placement::LogWindow);
    m_resizer.reset();
  }
  QDialog::done(result);
}

void frmLogWindow::Save() { SaveLogLine(this, m_prompts, *lstLog); }

} // namespace tidewick::log
