#pragma once
// The options dialog: the settings of window placement, start-up, folder synchronisation, file
// dates, passive mode, the log file and the firewall, on three tabs. It loads every control from the settings
// store when it is created, writes them back on Save, and when it goes with unsaved differences it
// asks whether to apply them. Its controls are the only place where unsaved settings live, and the
// switch rule of the settings store reads them (see OptionsHost).
//
// The window and its controls keep the names the window contract gives them (tests find them so).

#include <QDialog>
#include <QString>

#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QRadioButton;
class QTabWidget;
class QWidget;

namespace tidewick::ui {
class UserPrompts;
}

namespace tidewick::options {

class OptionsForm : public QDialog {
  Q_OBJECT

public:
  // Creates the dialog hidden and loads it: sized to its tabs, every control from the store (which
  // runs each control's change rule), then its placement.
  explicit OptionsForm(ui::UserPrompts& prompts, QWidget* parent = nullptr);
  ~OptionsForm() override;

  // The control behind a switch of the settings store: checked, or selected for the two log
  // options. Nothing for a key that has no such control.
  std::optional<bool> ControlChecked(const QString& key) const;

  // Loads every control from the store again (the change rules run where a value changes).
  void LoadSettings();

  // The menu's commands. Save writes every control and unloads; Close unloads.
  void Save();
  void CloseCommand();
  // True once the dialog has been unloaded (Save, Close, the close box or Escape): its owner then
  // lets it go.
  bool IsUnloaded() const { return m_unloaded; }
  // The change check's comparison: whether any control differs from what the store holds now.
  bool DiffersFromStore() const;

  void reject() override; // Escape: as the close box

protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void BuildGeneralTab(QWidget* page);
  void BuildFtpTab(QWidget* page);
  void BuildFirewallTab(QWidget* page);
  void SizeToTabs();
  void LoadFirewallSettings();
  void LoadGeneralSettings();
  void RestorePlacement();
  void SaveGeneralSettings();
  void SaveFirewallSettings();
  void Unload();

  // The change rules, run whenever a control's value changes (loading counts).
  void SetFirewallFieldsEnabled();
  void ApplyStartupEntry(bool checked);
  // A log option takes its value; the two stay exclusive.
  void SetLogOption(QRadioButton* option, bool selected);

  ui::UserPrompts& m_prompts;
  bool m_unloading = false;
  bool m_unloaded = false;

public:
  QMenuBar* menuBar = nullptr;
  QWidget* picClient = nullptr; // the area below the menu bar
  QTabWidget* SSTab1 = nullptr;
  // General Options
  QCheckBox* chkSaveWindowSize = nullptr;
  QCheckBox* chkSaveWindowPosition = nullptr;
  QCheckBox* chkByFileSize = nullptr;
  QCheckBox* chkShowConnectionDialogBoxOnStartup = nullptr;
  QCheckBox* chkAddToStartup = nullptr;
  QCheckBox* chkKeepFileDates = nullptr;
  // FTP Options
  QGroupBox* fraLogFile = nullptr;
  QLineEdit* txtLogFilename = nullptr;
  QRadioButton* optDeleteLogOnStartup = nullptr;
  QRadioButton* optDeleteLogIfTooLarge = nullptr;
  QLineEdit* txtLogFileSize = nullptr;
  QCheckBox* chkPasv = nullptr;
  // Firewall Settings
  QGroupBox* fraFirewall = nullptr;
  QCheckBox* chkFirewall = nullptr;
  QComboBox* comboFirewallType = nullptr;
  QLineEdit* txtFirewallHostName = nullptr;
  QLineEdit* txtFirewallPort = nullptr;
  QLineEdit* txtFirewallUserName = nullptr;
  QLineEdit* txtFirewallPassword = nullptr;
};

} // namespace tidewick::options
