#include "ui/BusyCursor.h"

#include <QApplication>

namespace tidewick::ui {

BusyCursor::BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
BusyCursor::~BusyCursor() { QApplication::restoreOverrideCursor(); }

NormalCursor::NormalCursor() {
  if (!QApplication::overrideCursor()) return;
  QApplication::setOverrideCursor(Qt::ArrowCursor);
  m_pushed = true;
}

NormalCursor::~NormalCursor() {
  if (m_pushed) QApplication::restoreOverrideCursor();
}

} // namespace tidewick::ui
