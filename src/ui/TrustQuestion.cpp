#include "ui/TrustQuestion.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QVBoxLayout>

namespace tidewick::ui {

namespace {

constexpr int kPairsPerLine = 16;

// "Name: value" with a short name and no leading blank (indented lines are list items).
const QRegularExpression& fieldLine() {
  static const QRegularExpression re(QStringLiteral("^([^\\s:][^:]{0,40}): (\\S.*)$"));
  return re;
}

QLabel* textLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  return label;
}

// The question's blocks: runs of lines between blank lines.
QList<QStringList> blocksOf(const QString& text) {
  QList<QStringList> blocks(1);
  for (const QString& line : text.split(QLatin1Char('\n'))) {
    if (line.trimmed().isEmpty()) {
      if (!blocks.last().isEmpty()) blocks.append(QStringList());
    } else {
      blocks.last() << line;
    }
  }
  if (blocks.last().isEmpty()) blocks.removeLast();
  return blocks;
}

bool isFieldBlock(const QStringList& block) {
  if (block.size() < 2) return false;
  for (const QString& line : block)
    if (!fieldLine().match(line).hasMatch()) return false;
  return true;
}

} // namespace

bool TrustQuestion::isFingerprint(const QString& value) {
  static const QRegularExpression hexPairs(QStringLiteral("^([0-9A-Fa-f]{2}:){15,}[0-9A-Fa-f]{2}$"));
  static const QRegularExpression base64(QStringLiteral("^[A-Za-z0-9-]+:[A-Za-z0-9+/=]{16,}$"));
  return hexPairs.match(value).hasMatch() || base64.match(value).hasMatch();
}

QString TrustQuestion::fingerprintLines(const QString& fingerprint) {
  const QStringList pairs = fingerprint.split(QLatin1Char(':'));
  if (pairs.size() <= kPairsPerLine || !isFingerprint(fingerprint)) return fingerprint;
  QStringList lines;
  for (qsizetype at = 0; at < pairs.size(); at += kPairsPerLine)
    lines << pairs.mid(at, kPairsPerLine).join(QLatin1Char(':'));
  return lines.join(QStringLiteral(":\n"));
}

TrustQuestion::TrustQuestion(QWidget* parent, const QString& title, const QString& text, bool critical)
    : QDialog(parent) {
  setObjectName(QStringLiteral("frmCertificate"));
  setWindowTitle(title);
  setModal(true);

  auto* icon = new QLabel(this);
  const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  icon->setPixmap(
      style()
          ->standardIcon(critical ? QStyle::SP_MessageBoxCritical : QStyle::SP_MessageBoxWarning, nullptr, this)
          .pixmap(iconSize, iconSize));
  icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

  // Paragraphs wrap at a comfortable reading width; the table and the fingerprint set the least.
  const int readingWidth = fontMetrics().averageCharWidth() * 64;
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  auto* content = new QVBoxLayout;
  content->setSpacing(12);
  bool first = true;
  int fingerprints = 0;
  for (const QStringList& block : blocksOf(text)) {
    if (!isFieldBlock(block)) {
      QStringList lines = block;
      // A warning that leads the question stands out on a line of its own.
      if (first && lines.first().startsWith(QStringLiteral("WARNING"))) {
        QLabel* warning = textLabel(lines.takeFirst(), this);
        warning->setWordWrap(true);
        QFont bold = warning->font();
        bold.setBold(true);
        warning->setFont(bold);
        content->addWidget(warning);
      }
      first = false;
      if (lines.isEmpty()) continue;
      QLabel* paragraph = textLabel(lines.join(QLatin1Char('\n')), this);
      paragraph->setWordWrap(true);
      paragraph->setMinimumWidth(readingWidth);
      content->addWidget(paragraph);
      continue;
    }
    first = false;
    auto* table = new QGridLayout;
    table->setHorizontalSpacing(12);
    table->setVerticalSpacing(4);
    table->setColumnStretch(1, 1);
    int row = 0;
    for (const QString& line : block) {
      const QRegularExpressionMatch field = fieldLine().match(line);
      const QString value = field.captured(2);
      QLabel* name = textLabel(field.captured(1) + QLatin1Char(':'), this);
      name->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      QLabel* shown = nullptr;
      if (isFingerprint(value)) {
        shown = textLabel(fingerprintLines(value), this);
        shown->setFont(fixed);
        ++fingerprints;
        shown->setObjectName(fingerprints == 1 ? QStringLiteral("lblFingerprint")
                                               : QStringLiteral("lblFingerprint%1").arg(fingerprints));
        shown->setAccessibleName(field.captured(1));
      } else {
        shown = textLabel(value, this);
        shown->setWordWrap(true);
      }
      name->setBuddy(shown);
      table->addWidget(name, row, 0);
      table->addWidget(shown, row, 1);
      ++row;
    }
    content->addLayout(table);
  }

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* once = buttons->addButton(QStringLiteral("Trust &once"), QDialogButtonBox::AcceptRole);
  once->setObjectName(QStringLiteral("cmdTrustOnce"));
  QPushButton* always = buttons->addButton(QStringLiteral("&Always trust"), QDialogButtonBox::AcceptRole);
  always->setObjectName(QStringLiteral("cmdAlwaysTrust"));
  QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
  cancel->setObjectName(QStringLiteral("cmdCancel"));
  for (QPushButton* button : {once, always, cancel}) button->setAutoDefault(false);
  cancel->setDefault(true);
  cancel->setFocus();
  connect(once, &QPushButton::clicked, this, [this] {
    m_answer = Answer::TrustOnce;
    accept();
  });
  connect(always, &QPushButton::clicked, this, [this] {
    m_answer = Answer::AlwaysTrust;
    accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* body = new QHBoxLayout;
  body->setSpacing(16);
  body->addWidget(icon, 0, Qt::AlignTop);
  body->addLayout(content, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body);
  layout->addSpacing(8);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace tidewick::ui
