#include "commands/frmRemoteChangeMode.h"

#include "settings/Globals.h"
#include "settings/SettingsKeys.h"
#include "ui/Placement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace tidewick::commands {
namespace {

// A number as the value box shows it: whole numbers without a point.
QString decimalText(double value) {
  if (std::isfinite(value) && value == std::trunc(value) && std::abs(value) < 1e15)
    return QString::number(static_cast<qint64>(value));
  return QString::number(value, 'g', 15);
}

} // namespace

frmRemoteChangeMode::frmRemoteChangeMode(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmRemoteChangeMode"));
  setWindowTitle(QStringLiteral("Tidewick - Remote File(s) / Folder(s) Permission Change"));
  setModal(true);

  Frame1 = new QGroupBox(QStringLiteral("Remote Permissions  "), this);
  Frame1->setObjectName(QStringLiteral("Frame1"));
  auto* grid = new QGridLayout(Frame1);
  struct Row {
    const char* name;
    const char* caption;
    QCheckBox** boxes[3];
    int weight; // of Read; Write is half of it, Execute a quarter
  };
  const Row rows[] = {
      {"lblOwner", "Owner", {&chkOwnerRead, &chkOwnerWrite, &chkOwnerExecute}, 400},
      {"lblGroup", "Group", {&chkGroupRead, &chkGroupWrite, &chkGroupExecute}, 40},
      {"lblOther", "Other", {&chkOtherRead, &chkOtherWrite, &chkOtherExecute}, 4},
  };
  const char* kinds[] = {"Read", "Write", "Execute"};
  int r = 0;
  for (const Row& row : rows) {
    auto* label = new QLabel(QString::fromLatin1(row.caption), Frame1);
    label->setObjectName(QString::fromLatin1(row.name));
    grid->addWidget(label, r, 0);
    for (int k = 0; k < 3; ++k) {
      auto* box = new QCheckBox(QString::fromLatin1(kinds[k]), Frame1);
      box->setObjectName(
          QStringLiteral("chk%1%2").arg(QString::fromLatin1(row.caption), QString::fromLatin1(kinds[k])));
      // Three rows of the same three captions: the row's name tells them apart when read aloud.
      box->setAccessibleName(
          QStringLiteral("%1 %2").arg(QString::fromLatin1(row.caption), QString::fromLatin1(kinds[k])));
      *row.boxes[k] = box;
      const int weight = row.weight >> k; // 4, 2, 1 times the row's unit
      connect(box, &QCheckBox::clicked, this, [this, box, weight] { BoxClicked(box, weight); });
      grid->addWidget(box, r, k + 1);
    }
    ++r;
  }

  txtNumericValue = new QLineEdit(QStringLiteral("0"), this);
  txtNumericValue->setObjectName(QStringLiteral("txtNumericValue"));
  txtNumericValue->setAccessibleName(QStringLiteral("Numeric Value"));
  auto* lblNeumericValue = new QLabel(QStringLiteral("Numeric Value"), this);
  lblNeumericValue->setObjectName(QStringLiteral("lblNeumericValue"));
  lblNeumericValue->setBuddy(txtNumericValue);

  CmdOK = new QPushButton(QStringLiteral("OK"), this);
  CmdOK->setObjectName(QStringLiteral("CmdOK"));
  CmdOK->setToolTip(QStringLiteral("Change Mode"));
  CmdOK->setDefault(true);
  cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
  cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
  cmdCancel->setToolTip(QStringLiteral("Close window"));
  connect(CmdOK, &QPushButton::clicked, this, [this] {
    chmodResult = 1;
    hide();
  });
  connect(cmdCancel, &QPushButton::clicked, this, [this] {
    chmodResult = 0;
    hide();
  });

  auto* value = new QHBoxLayout;
  value->addWidget(lblNeumericValue);
  value->addWidget(txtNumericValue);
  value->addStretch();
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(CmdOK);
  buttons->addWidget(cmdCancel);
  buttons->addStretch();
  auto* left = new QVBoxLayout;
  left->addWidget(Frame1);
  left->addLayout(value);
  auto* outer = new QHBoxLayout(this);
  outer->addLayout(left, 1);
  outer->addLayout(buttons);

  // Any change but a box click's counts as typing.
  connect(txtNumericValue, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (m_boxClickWriting) return;
    m_typedValue = settings::LeadingNumber(text);
    const auto boxes = Boxes();
    for (std::size_t i = 0; i < boxes.size(); ++i) m_tickedWhenTyped[i] = boxes[i].box->isChecked();
  });

  ui::applyPlacement(this, settings::keys::placement::RemoteChangeMode);
}

std::array<frmRemoteChangeMode::Box, 9> frmRemoteChangeMode::Boxes() const {
  return {{{chkOwnerRead, 400},
           {chkOwnerWrite, 200},
           {chkOwnerExecute, 100},
           {chkGroupRead, 40},
           {chkGroupWrite, 20},
           {chkGroupExecute, 10},
           {chkOtherRead, 4},
           {chkOtherWrite, 2},
           {chkOtherExecute, 1}}};
}

bool frmRemoteChangeMode::ClicksStayInTheirDigits() const {
  // A value that is no whole number is refused for its digits already.
  if (m_typedValue < 0 || m_typedValue != std::trunc(m_typedValue) || m_typedValue > 1e15) return true;
  const auto typed = static_cast<qint64>(m_typedValue);
  const auto boxes = Boxes();
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    const bool ticked = boxes[i].box->isChecked();
    if (ticked == m_tickedWhenTyped[i]) continue; // clicked back to where it was, or not at all
    const int unit = boxes[i].weight >= 100 ? 100 : boxes[i].weight >= 10 ? 10 : 1;
    const int bit = boxes[i].weight / unit;
    const qint64 digit = typed / unit % 10;
    // Ticking adds a bit the digit must not have had; clearing takes one it must have had.
    if (digit > 7 || ((digit & bit) != 0) == ticked) return false;
  }
  return true;
}

frmRemoteChangeMode::~frmRemoteChangeMode() {
  if (!isMinimized()) ui::savePlacement(this, settings::keys::placement::RemoteChangeMode);
}

void frmRemoteChangeMode::BoxClicked(QCheckBox* box, int weight) {
  const double now = settings::LeadingNumber(txtNumericValue->text());
  m_boxClickWriting = true;
  txtNumericValue->setText(decimalText(box->isChecked() ? now + weight : now - weight));
  m_boxClickWriting = false;
}

QString frmRemoteChangeMode::NumericValue() const {
  return decimalText(settings::LeadingNumber(txtNumericValue->text()));
}

bool frmRemoteChangeMode::IsPermission(const QString& value) {
  if (value.isEmpty() || value.size() > 4) return false;
  for (QChar c : value)
    if (c < QLatin1Char('0') || c > QLatin1Char('7')) return false;
  return true;
}

void frmRemoteChangeMode::reject() {
  chmodResult = 0;
  hide();
}

void frmRemoteChangeMode::closeEvent(QCloseEvent* event) {
  chmodResult = 0;
  m_unloaded = true;
  event->accept();
}

} // namespace tidewick::commands
