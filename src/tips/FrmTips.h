#pragma once
// The tip of the day: one random tip, another on "&Next Tip", and the check box that decides
// whether a tip shows shortly after start-up. The choice is kept in the tips file (TipMod.h), the
// placement in the settings store.

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace tidewick::ui {
class UserPrompts;
}

namespace tidewick::tips {

// The window keeps the name the window contract gives it, as do its controls.
class FrmTips : public QDialog {
  Q_OBJECT

public:
  explicit FrmTips(QWidget* parent = nullptr);

  // The load. With tips turned off the box comes unchecked, and outside the start-up (once the
  // splash screen was asked for) the dialog closes at once: false then, and it is not shown.
  // `startupFlag` is the program's start-up flag.
  bool Load(bool startupFlag);

  QLabel* Label1 = nullptr;
  QLabel* lblTip = nullptr;
  QPushButton* NextTip = nullptr;
  QCheckBox* TipChk = nullptr;
  QPushButton* CloseCmd = nullptr;
  QLabel* TipBack = nullptr;

public Q_SLOTS:
  // The unload: the box's choice goes to the tips file, then the placement to the store.
  void done(int result) override;

private:
  bool m_unloaded = false;
  bool m_showing = false;
};

// Shows the tips dialog modally over `owner`, unless its load closes it at once.
void ShowTipsDialog(ui::UserPrompts& prompts, QWidget* owner, bool startupFlag);

} // namespace tidewick::tips
