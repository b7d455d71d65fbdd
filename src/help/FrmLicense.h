#pragma once
// The licence agreement window: the agreement's text, read-only, and a button that closes it.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace tidewick::help {

// The agreement's text, as the program carries it.
QString LicenseAgreementText();

// The window keeps the name the window contract gives it, as do its controls.
class FrmLicense : public QDialog {
  Q_OBJECT

public:
  explicit FrmLicense(QWidget* parent = nullptr);

  // The text and the placement.
  void Load();

  QPlainTextEdit* LicenseText = nullptr;
  QPushButton* OKCmd = nullptr;

public Q_SLOTS:
  void done(int result) override;

private:
  bool m_unloaded = false;
};

} // namespace tidewick::help
