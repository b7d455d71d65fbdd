#pragma once
// The about box: the product, its version and where to find its makers. Its links open the
// maker's pages when the machine is connected; otherwise they say how the machine is connected.

#include "update/InternetConnection.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace tidewick::ui {
class UserPrompts;
}

namespace tidewick::tips {

class frmAbout : public QDialog {
  Q_OBJECT

public:
  frmAbout(ui::UserPrompts& prompts, update::ConnectionProbe probe, QWidget* parent = nullptr);

  // The placement.
  void Load();
  // What a click on one of the links does.
  void OpenLink(const QString& address);

  QLabel* imgLogo = nullptr;
  QLabel* lblProduct = nullptr;
  QLabel* lblVersion = nullptr;
  QLabel* lblContact = nullptr;
  QPushButton* cmdOK = nullptr;

public Q_SLOTS:
  void done(int result) override;

private:
  ui::UserPrompts& m_prompts;
  update::ConnectionProbe m_probe;
  bool m_unloaded = false;
};

} // namespace tidewick::tips
