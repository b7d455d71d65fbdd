#include "tips/frmSplash.h"

#include "settings/Globals.h"
#include "settings/SettingsKeys.h"
#include "ui/Icons.h"
#include "ui/Placement.h"

#include <QLinearGradient>
#include <QPainter>
#include <QTimer>

namespace tidewick::tips {

frmSplash::frmSplash(std::function<void()> atTheEnd, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_atTheEnd(std::move(atTheEnd)) {
  setObjectName(QStringLiteral("frmSplash"));
  setWindowTitle(QStringLiteral("Tidewick"));
  setAccessibleName(QStringLiteral("Tidewick %1").arg(settings::ReleaseVersion()));
  setFixedSize(420, 240);

  tmrSplash = new QTimer(this);
  tmrSplash->setObjectName(QStringLiteral("tmrSplash"));
  tmrSplash->setSingleShot(true);
  tmrSplash->setInterval(2000);
  connect(tmrSplash, &QTimer::timeout, this, &frmSplash::TimerElapsed);
}

void frmSplash::Load() {
  ui::applyPlacement(this, settings::keys::placement::Splash);
  tmrSplash->start();
}

void frmSplash::TimerElapsed() {
  tmrSplash->stop();
  if (m_atTheEnd) m_atTheEnd();
  accept();
}

// A click does not wait for the time to run out; what follows the splash still follows it.
void frmSplash::mousePressEvent(QMouseEvent*) {
  if (tmrSplash->isActive()) TimerElapsed();
}

void frmSplash::done(int result) {
  if (!m_unloaded) {
    m_unloaded = true;
    tmrSplash->stop();
    if (!isMinimized()) ui::savePlacement(this, settings::keys::placement::Splash);
  }
  QDialog::done(result);
}

void frmSplash::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sea(0, 0, 0, height());
  sea.setColorAt(0, QColor(0x4f, 0xa3, 0xe8));
  sea.setColorAt(1, QColor(0x17, 0x47, 0x7a));
  p.fillRect(rect(), sea);
  p.setPen(QPen(QColor(0x17, 0x47, 0x7a), 2));
  p.drawRect(rect().adjusted(1, 1, -1, -1));

  const int side = 96;
  p.drawPixmap(28, (height() - side) / 2, ui::glyphIcon(ui::Glyph::App).pixmap(side, side));

  QFont title = font();
  title.setPointSizeF(title.pointSizeF() * 2.6);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  const QRect text(28 + side + 24, 0, width() - side - 80, height());
  p.drawText(text.adjusted(0, 60, 0, 0), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Tidewick"));
  QFont line = font();
  line.setPointSizeF(line.pointSizeF() * 1.15);
  p.setFont(line);
  p.drawText(text.adjusted(0, 122, 0, 0), Qt::AlignLeft | Qt::AlignTop,
             QStringLiteral("Version %1\nFTP client for the desktop").arg(settings::ReleaseVersion()));
}

} // namespace tidewick::tips
