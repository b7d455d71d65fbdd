#include "tips/FrmTips.h"

#include "settings/SettingsKeys.h"
#include "tips/TipMod.h"
#include "ui/Icons.h"
#include "ui/Placement.h"
#include "ui/UserPrompts.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tidewick::tips {

namespace placement = settings::keys::placement;

FrmTips::FrmTips(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FrmTips"));
  setWindowTitle(QStringLiteral("Tidewick - Tip of the Day"));

  TipBack = new QLabel(this);
  TipBack->setObjectName(QStringLiteral("TipBack"));
  TipBack->setPixmap(ui::glyphIcon(ui::Glyph::App).pixmap(48, 48));
  TipBack->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
  TipBack->setAccessibleName(QStringLiteral("Tidewick"));

  Label1 = new QLabel(QStringLiteral("Did you know..."), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  QFont heading = Label1->font();
  heading.setBold(true);
  heading.setPointSizeF(heading.pointSizeF() * 1.3);
  Label1->setFont(heading);

  lblTip = new QLabel(this);
  lblTip->setObjectName(QStringLiteral("lblTip"));
  lblTip->setWordWrap(true);
  lblTip->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  lblTip->setMinimumHeight(90);
  lblTip->setAccessibleName(QStringLiteral("Tip"));

  NextTip = new QPushButton(QStringLiteral("&Next Tip"), this);
  NextTip->setObjectName(QStringLiteral("NextTip"));
  NextTip->setToolTip(QStringLiteral("Get the next tip"));
  NextTip->setAutoDefault(false);
  TipChk = new QCheckBox(QStringLiteral("Show tips at startup"), this);
  TipChk->setObjectName(QStringLiteral("TipChk"));
  TipChk->setToolTip(QStringLiteral("Show or hide this window on startup"));
  TipChk->setChecked(true);
  CloseCmd = new QPushButton(QStringLiteral("&Close"), this);
  CloseCmd->setObjectName(QStringLiteral("CloseCmd"));
  CloseCmd->setToolTip(QStringLiteral("Close window"));
  CloseCmd->setDefault(true);

  auto* text = new QVBoxLayout;
  text->addWidget(Label1);
  text->addWidget(lblTip, 1);
  auto* top = new QHBoxLayout;
  top->addWidget(TipBack);
  top->addSpacing(10);
  top->addLayout(text, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(TipChk);
  buttons->addStretch(1);
  buttons->addWidget(NextTip);
  buttons->addWidget(CloseCmd);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addLayout(buttons);
  resize(480, 240);

  connect(NextTip, &QPushButton::clicked, this, [this] { ShowRandomTip(lblTip); });
  connect(CloseCmd, &QPushButton::clicked, this, &QDialog::accept);
}

bool FrmTips::Load(bool startupFlag) {
  if (!TipsFileExists()) {
    ShowRandomTip(lblTip);
    m_showing = true;
    return true;
  }
  if (ReadTipsReport() != QLatin1String("0")) {
    ShowRandomTip(lblTip);
    ui::applyPlacement(this, placement::Tips);
    m_showing = true;
    return true;
  }
  TipChk->setChecked(false);
  if (startupFlag) {
    ShowRandomTip(lblTip);
    m_showing = true;
    return true;
  }
  done(QDialog::Rejected);
  return false;
}

void FrmTips::done(int result) {
  if (!m_unloaded) {
    m_unloaded = true;
    WriteTipsReport(TipChk->isChecked());
    // A dialog closed by its own load was never on screen: its placement is not worth keeping.
    if (m_showing && !isMinimized()) ui::savePlacement(this, placement::Tips);
  }
  QDialog::done(result);
}

void ShowTipsDialog(ui::UserPrompts& prompts, QWidget* owner, bool startupFlag) {
  FrmTips tips(owner);
  if (tips.Load(startupFlag)) prompts.showModal(&tips);
}

} // namespace tidewick::tips
