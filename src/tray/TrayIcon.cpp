#include "tray/TrayIcon.h"

#include <QCursor>
#include <QMenu>
#include <QWidget>

namespace tidewick::tray {

TrayIcon::TrayIcon(QWidget* window, QMenu* popup, std::unique_ptr<NotificationArea> area)
    : QObject(window), m_window(window), m_popup(popup), m_area(std::move(area)) {
  if (!m_area) m_area = std::make_unique<SystemNotificationArea>();
  connect(m_area.get(), &NotificationArea::clicked, this, &TrayIcon::OnClick);
}

TrayIcon::~TrayIcon() { Remove(); }

void TrayIcon::Add() { m_area->add(m_window->windowIcon(), QStringLiteral("Tidewick")); }

void TrayIcon::Remove() {
  if (m_area->isAdded()) m_area->remove();
}

bool TrayIcon::isShown() const { return m_area->isAdded() && m_area->isAvailable(); }

void TrayIcon::RestoreWindow() {
  m_window->showNormal();
  m_window->raise();
  m_window->activateWindow();
}

void TrayIcon::ShowOrHide() {
  if (m_window->isHidden()) RestoreWindow();
  else m_window->hide();
}

void TrayIcon::OnClick(NotificationArea::Click click, QPoint where) {
  switch (click) {
    case NotificationArea::Click::Left: RestoreWindow(); break;
    case NotificationArea::Click::Right:
      // A shown window comes to the front first, so the menu opens over it and closes when the
      // user clicks elsewhere.
      if (m_window->isVisible()) m_window->activateWindow();
      if (m_popup) m_popup->popup(where.isNull() ? QCursor::pos() : where);
      break;
    case NotificationArea::Click::Other: break;
  }
}

} // namespace tidewick::tray
