#pragma once
// Owns the options dialog for the main window: the dialog is created on first use and lives until
// Save, Close or its close box unloads it. Reading one of its controls through the switch rule of
// the settings store creates it hidden, so a switch whose key is missing counts as the dialog
// would show it; a dialog created that way and never shown goes with its owner without a word.

#include <QPointer>

#include <memory>

class QWidget;

namespace tidewick::ui {
class UserPrompts;
}

namespace tidewick::options {

class OptionsForm;

class OptionsHost {
public:
  // Becomes the switch rule's reader of the dialog's controls for as long as it lives.
  OptionsHost(ui::UserPrompts& prompts, QWidget* parent);
  ~OptionsHost();
  OptionsHost(const OptionsHost&) = delete;
  OptionsHost& operator=(const OptionsHost&) = delete;

  // The dialog, loaded and hidden when it did not exist yet.
  OptionsForm& Form();
  bool Exists() const;

  // Shows the dialog modally; once it has unloaded, the next use loads it afresh. A dialog that
  // was created hidden and never shown holds no change of the user's: it is loaded again first, so
  // it shows what the store holds now (start-up writes the log file's name and size after the
  // switch rule has created the dialog).
  void Show();

private:
  void ForgetUnloaded();

  ui::UserPrompts& m_prompts;
  QPointer<QWidget> m_parent;
  std::unique_ptr<OptionsForm> m_form;
  bool m_loading = false;
  bool m_shown = false; // the current dialog has been shown
};

} // namespace tidewick::options
