#pragma once
// The permission dialog: nine boxes (read, write and execute for owner, group and other) and the
// numeric value they add up to, written as the usual octal permission in decimal digits (755).
// A box click adds its weight to whatever the value says or takes it away; the boxes never follow
// the value, so a typed value is changed only by the clicks after it. OK and Cancel hide the dialog
// and keep it as it is for the next time; its close box ends it.
//
// The window and its controls keep the names the window contract gives them.

#include <QDialog>

#include <array>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace tidewick::commands {

class frmRemoteChangeMode : public QDialog {
  Q_OBJECT

public:
  explicit frmRemoteChangeMode(QWidget* parent = nullptr);
  ~frmRemoteChangeMode() override; // saves the placement, as unloading does

  // 1 when the dialog was left with OK, 0 with Cancel or the close box.
  int chmodResult = 0;
  // True once the close box has ended the dialog; its owner then lets it go.
  bool IsUnloaded() const { return m_unloaded; }

  // The value as the command sends it: the number the text starts with (0 for none), as decimal
  // text, so "0755" gives "755" and an empty text "0".
  QString NumericValue() const;
  // Whether a value is a permission: at most four digits, each from 0 to 7.
  static bool IsPermission(const QString& value);
  // Whether every box ticked or cleared since the value was last typed changed only its own digit:
  // ticking Owner Read on a typed 777 carries into a fourth digit (1177), and that value is not the
  // permission the boxes show.
  bool ClicksStayInTheirDigits() const;

  void reject() override; // Escape: as Cancel

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  struct Box {
    QCheckBox* box;
    int weight;
  };
  std::array<Box, 9> Boxes() const;
  void BoxClicked(QCheckBox* box, int weight);

  bool m_unloaded = false;
  bool m_boxClickWriting = false;
  // The value as last typed, and which boxes were ticked then.
  double m_typedValue = 0;
  std::array<bool, 9> m_tickedWhenTyped{};

public:
  QGroupBox* Frame1 = nullptr;
  QCheckBox* chkOwnerRead = nullptr;
  QCheckBox* chkOwnerWrite = nullptr;
  QCheckBox* chkOwnerExecute = nullptr;
  QCheckBox* chkGroupRead = nullptr;
  QCheckBox* chkGroupWrite = nullptr;
  QCheckBox* chkGroupExecute = nullptr;
  QCheckBox* chkOtherRead = nullptr;
  QCheckBox* chkOtherWrite = nullptr;
  QCheckBox* chkOtherExecute = nullptr;
  QLineEdit* txtNumericValue = nullptr;
  QPushButton* CmdOK = nullptr;
  QPushButton* cmdCancel = nullptr;
};

} // namespace tidewick::commands
