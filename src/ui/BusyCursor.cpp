#include "ui/BusyCursor.h"

#include <QApplication>

namespace tidewick::ui {

BusyCursor::BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
BusyCursor::~BusyCursor() { QApplication::restoreOverrideCursor(); }

} // namespace tidewick::ui
