#include "tray/NotificationArea.h"

#include <QCursor>
#include <QSystemTrayIcon>

namespace tidewick::tray {

SystemNotificationArea::~SystemNotificationArea() { remove(); }

bool SystemNotificationArea::isAvailable() const { return QSystemTrayIcon::isSystemTrayAvailable(); }

void SystemNotificationArea::add(const QIcon& icon, const QString& tip) {
  if (!m_icon) {
    m_icon = new QSystemTrayIcon(this);
    // No context menu of Qt's own: a right click is reported like a left one, and the owner
    // decides what it opens.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
      switch (reason) {
        case QSystemTrayIcon::Trigger: Q_EMIT clicked(Click::Left, QCursor::pos()); break;
        case QSystemTrayIcon::Context: Q_EMIT clicked(Click::Right, QCursor::pos()); break;
        default: Q_EMIT clicked(Click::Other, QCursor::pos()); break;
      }
    });
  }
  m_icon->setIcon(icon);
  m_icon->setToolTip(tip);
  m_icon->show();
}

void SystemNotificationArea::remove() {
  if (!m_icon) return;
  m_icon->hide();
  delete m_icon;
  m_icon = nullptr;
}

bool SystemNotificationArea::isAdded() const { return m_icon && m_icon->isVisible(); }

} // namespace tidewick::tray
