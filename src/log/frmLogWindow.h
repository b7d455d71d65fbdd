#pragma once
// The log window: a copy of the main window's log as it was when the window opened, with a
// "&Save" for one of its lines. Lines that arrive while it is open are not added to it.

#include <QDialog>

#include <memory>

class QAction;

namespace tidewick::ui {
class ControlResizer;
class UserPrompts;
} // namespace tidewick::ui

namespace tidewick::log {

class LogList;

// The window keeps the name the window contract gives it, as do its controls.
class frmLogWindow : public QDialog {
  Q_OBJECT

public:
  frmLogWindow(ui::UserPrompts& prompts, LogList& mainLog, QWidget* parent = nullptr);
  ~frmLogWindow() override;

  // Prepares the resizer, writes the two heading lines, copies the main log and restores the
  // window's placement.
  void Load();

  LogList* lstLog = nullptr;
  QAction* mnuClose = nullptr;
  QAction* mnuSave = nullptr;

  // The second heading line: the product and its version.
  static QString BannerLine();

public Q_SLOTS:
  void done(int result) override;

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  void Save();

  ui::UserPrompts& m_prompts;
  LogList& m_mainLog;
  QWidget* m_client = nullptr;
  std::unique_ptr<ui::ControlResizer> m_resizer;
  bool m_unloaded = false;
};

} // namespace tidewick::log
