#include "transfer/frmExist.h"

#include "settings/SettingsKeys.h"
#include "ui/ControlResizer.h"
#include "ui/Icons.h"
#include "ui/Placement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace tidewick::transfer {

namespace {

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, const char* tooltip) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setToolTip(QString::fromLatin1(tooltip));
  button->setAutoDefault(false);
  return button;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

} // namespace

frmExist::frmExist(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmExist"));
  setWindowTitle(QStringLiteral("Tidewick - File Exists!"));
  setModal(true);
  setSizeGripEnabled(true);

  Label1 = makeLabel(this, "Label1", QStringLiteral("File Already Exists What Would You Like To Do?"));
  QFont heading = Label1->font();
  heading.setBold(true);
  Label1->setFont(heading);
  lblSource = makeLabel(this, "lblSource", QStringLiteral("Source"));
  lblDestination = makeLabel(this, "lblDestination", QStringLiteral("Destination"));
  lblSource->setAccessibleName(QStringLiteral("Source file"));
  lblDestination->setAccessibleName(QStringLiteral("Destination file"));
  imgSource = makeLabel(this, "imgSource", QString());
  imgDestination = makeLabel(this, "imgDestination", QString());
  imgSource->setPixmap(ui::glyphIcon(ui::Glyph::Document).pixmap(32, 32));
  imgDestination->setPixmap(ui::glyphIcon(ui::Glyph::Document).pixmap(32, 32));

  cmdOverwrite = makeButton(this, "cmdOverwrite", "&Overwrite", "Overwrite this file");
  cmdResume = makeButton(this, "cmdResume", "&Resume", "Resume transfer of this file");
  cmdSkip = makeButton(this, "cmdSkip", "Skip", "Skip this file");
  cmdCancel = makeButton(this, "cmdCancel", "&Cancel", "Cancel operation");
  chkAll = new QCheckBox(QStringLiteral("Apply To All"), this);
  chkAll->setObjectName(QStringLiteral("chkAll"));
  chkAll->setToolTip(QStringLiteral("Apply to all selected files and folders"));

  connect(cmdOverwrite, &QPushButton::clicked, this, [this] { Answered(Overwrite); });
  connect(cmdResume, &QPushButton::clicked, this, [this] { Answered(Resume); });
  connect(cmdCancel, &QPushButton::clicked, this, [this] { Answered(Cancel); });
  connect(cmdSkip, &QPushButton::clicked, this, [this] { Answered(Skip); });

  // The buttons stand in a column at the right with the box below them; the heading at the top
  // left, the source line above the destination line across the lower part, each with its picture.
  const QFontMetrics metrics(font());
  const int margin = 10;
  const int buttonWidth =
      std::max({metrics.horizontalAdvance(QStringLiteral("Overwrite")), chkAll->sizeHint().width(), 90}) + 24;
  const int buttonHeight = std::max(cmdOverwrite->sizeHint().height(), 26);
  const int lineWidth = std::max(metrics.horizontalAdvance(QStringLiteral(
                                     "Destination File Size: 4294967296000 Last Modified: 00/00/0000 00:00 PM")),
                                 Label1->sizeHint().width());
  const int textHeight = std::max(metrics.height() + 6, 20);
  const int width = margin + 40 + lineWidth + margin + buttonWidth + margin;
  const int column = width - margin - buttonWidth;
  int y = margin;
  for (QPushButton* b : {cmdOverwrite, cmdResume, cmdSkip, cmdCancel}) {
    b->setGeometry(column, y, buttonWidth, buttonHeight);
    y += buttonHeight + 6;
  }
  chkAll->setGeometry(column, y, buttonWidth, chkAll->sizeHint().height());
  const int height = y + chkAll->sizeHint().height() + margin;

  Label1->setGeometry(margin, margin, column - 2 * margin, textHeight);
  const int lineTop = height - margin - 2 * 36;
  imgSource->setGeometry(margin, lineTop, 32, 32);
  lblSource->setGeometry(margin + 40, lineTop, column - margin - 40 - margin, 32);
  imgDestination->setGeometry(margin, lineTop + 36, 32, 32);
  lblDestination->setGeometry(margin + 40, lineTop + 36, column - margin - 40 - margin, 32);
  resize(width, height);

  m_resizer = std::make_unique<ui::ControlResizer>();
  m_resizer->prepare(this);
  ui::applyPlacement(this, settings::keys::placement::Exist);
}

frmExist::~frmExist() { Unload(); }

void frmExist::Answered(int answer) {
  m_answer = answer;
  m_applyToAll = chkAll->isChecked();
  m_answered = true;
  hide(); // ends the modal showing; the dialog and its box stay for the next conflict
}

void frmExist::reject() { cmdCancel->click(); }

void frmExist::closeEvent(QCloseEvent* event) {
  m_answer = Cancel;
  m_applyToAll = chkAll->isChecked();
  m_answered = true;
  Unload();
  event->accept();
}

void frmExist::Unload() {
  if (m_unloaded) return;
  m_unloaded = true;
  m_resizer.reset();
  if (!isMinimized()) ui::savePlacement(this, settings::keys::placement::Exist);
}

void frmExist::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (m_resizer) m_resizer->resizeControls();
}

} // namespace tidewick::transfer
