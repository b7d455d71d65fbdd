#pragma once
// The site manager: pick a saved site, edit the connection data, save, create and delete site
// profiles, then connect or cancel. ShowForm is its one public operation.

#include "settings/SiteSecurity.h"

#include <QDialog>

class QComboBox;
class QFrame;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace tidewick::ui {
class UserPrompts;
}

namespace tidewick::sites {

// The site manager keeps the window and control names the window contract gives it.
class frmConnectionInfo : public QDialog {
  Q_OBJECT

public:
  // The password offered for anonymous logins in the dialog (an e-mail address, by custom).
  static QString DefaultAnonymousPassword();
  static QString HelpAddress();

  frmConnectionInfo(ui::UserPrompts& prompts, QWidget* parent = nullptr);
  ~frmConnectionInfo() override; // saves the placement, as unloading does

  // Shows the dialog modally with the given values. True when the user chose Connect: the five
  // values are then written back, trimmed. False leaves them untouched.
  bool ShowForm(QString& address, QString& port, QString& userName, QString& password, bool& anonymous);
  // The same with how the connection is protected, written back likewise.
  bool ShowForm(QString& address, QString& port, QString& userName, QString& password, bool& anonymous,
                settings::SiteSecurity& security);

  void RefreshProfileTree();

  // The commands, as the buttons, the toolbar and the keyboard reach them.
  void ConnectCommand();
  void CancelCommand();
  void NewSite();
  void SaveSite();
  void DeleteSite();
  void Help();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void ArrangeButtons();
  void ChooseAnonymous(bool anonymous);
  void ClearLoginChoice(QRadioButton* option);
  void SetLoginFieldsEnabled(bool enabled);
  void OnNodeSelected(QTreeWidgetItem* node);
  void SetDeleteEnabled(bool enabled);
  void SetSecurity(settings::SiteSecurity security);
  settings::SiteSecurity Security() const;
  void SecurityChosen();

  ui::UserPrompts& m_prompts;
  bool m_cancelled = true;
  QString m_currentProfilePath;
  QTreeWidgetItem* m_lastNode = nullptr;

  QTreeWidget* TView1;
  QLineEdit* txtSiteName;
  QLineEdit* txtHost;
  QLineEdit* txtPort;
  QComboBox* cboSecurity;
  QLineEdit* txtUserName;
  QLineEdit* txtPassword;
  QRadioButton* optAnonymous;
  QRadioButton* optNormal;
  QFrame* Frame1;
  QPushButton* cmdSaveSite;
  QPushButton* cmdNewSite;
  QPushButton* cmdDeleteSite;
  QPushButton* cmdConnect;
  QPushButton* cmdCancel;
  QToolBar* Toolbar1;
};

} // namespace tidewick::sites
