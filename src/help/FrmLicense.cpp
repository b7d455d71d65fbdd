#include "help/FrmLicense.h"

#include "settings/SettingsKeys.h"
#include "ui/Placement.h"

#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

// The agreement is compiled into this static library; its resources are registered by hand, or
// the linker leaves them out of the program.
static bool registerHelpResources() {
  Q_INIT_RESOURCE(help);
  return true;
}

namespace tidewick::help {

QString LicenseAgreementText() {
  [[maybe_unused]] static const bool registered = registerHelpResources();
  QFile file(QStringLiteral(":/help/LICENSE"));
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

FrmLicense::FrmLicense(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FrmLicense"));
  setWindowTitle(QStringLiteral("Tidewick - License Agreement"));
  setSizeGripEnabled(true);

  LicenseText = new QPlainTextEdit(this);
  LicenseText->setObjectName(QStringLiteral("LicenseText"));
  LicenseText->setReadOnly(true);
  LicenseText->setAccessibleName(QStringLiteral("License Agreement"));
  LicenseText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

  OKCmd = new QPushButton(QStringLiteral("OK"), this);
  OKCmd->setObjectName(QStringLiteral("OKCmd"));
  OKCmd->setToolTip(QStringLiteral("Close window"));
  OKCmd->setDefault(true);
  connect(OKCmd, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKCmd);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(LicenseText, 1);
  layout->addLayout(buttons);
  resize(620, 460);
}

void FrmLicense::Load() {
  LicenseText->setPlainText(LicenseAgreementText());
  ui::applyPlacement(this, settings::keys::placement::License);
}

void FrmLicense::done(int result) {
  if (!m_unloaded) {
    m_unloaded = true;
    if (!isMinimized()) ui::savePlacement(this, settings::keys::placement::License);
  }
  QDialog::done(result);
}

} // namespace tidewick::help
