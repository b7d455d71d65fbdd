#include "ui/ControlResizer.h"

#include <QAbstractScrollArea>
#include <QLayout>
#include <QMainWindow>

#include <cmath>

namespace tidewick::ui {
namespace {

bool inLayout(const QLayout* layout, const QWidget* widget) {
  for (int i = 0; i < layout->count(); ++i) {
    QLayoutItem* item = layout->itemAt(i);
    if (!item) continue;
    if (item->widget() == widget) return true;
    if (const QLayout* inner = item->layout(); inner && inLayout(inner, widget)) return true;
  }
  return false;
}

// A measure the control cannot take (outside its minimum or maximum) is refused: the control
// keeps that measure and still gets the others.
int accepted(int wanted, int current, int minimum, int maximum) {
  return (wanted < minimum || wanted > maximum) ? current : wanted;
}

int scaled(float proportion, int extent) {
  return static_cast<int>(std::lround(static_cast<double>(proportion) * extent));
}

} // namespace

bool ControlResizer::takesPart(const QWidget* window, const QWidget* control) {
  if (!control || control == window || control->isWindow() || control->window() != window) return false;
  const QString name = control->objectName();
  if (name.isEmpty() || name.startsWith(QLatin1String("qt_"))) return false;
  const QWidget* parent = control->parentWidget();
  if (!parent) return false;
  // The main window places its own bars and its client area itself.
  if (qobject_cast<const QMainWindow*>(parent)) return false;
  // Parts of an item view or a scroll area are placed by their owner.
  for (const QWidget* up = parent; up && up != window; up = up->parentWidget())
    if (qobject_cast<const QAbstractScrollArea*>(up)) return false;
  if (const QLayout* layout = parent->layout(); layout && inLayout(layout, control)) return false;
  return true;
}

void ControlResizer::prepare(QWidget* window) {
  m_window = window;
  m_rows.clear();
  if (!window) return;
  const QList<QWidget*> all = window->findChildren<QWidget*>();
  if (all.isEmpty()) return;
  m_rows.reserve(static_cast<size_t>(all.size()));
  for (QWidget* control : all) {
    if (!takesPart(window, control)) continue;
    const QWidget* parent = control->parentWidget();
    const int pw = parent->width(), ph = parent->height();
    Row row;
    row.control = control;
    const QRect g = control->geometry();
    // A container without an extent gives no proportions for that direction; the control keeps
    // its measure there.
    row.proportions[0] = pw > 0 ? static_cast<float>(double(g.x()) / pw) : NAN;
    row.proportions[1] = ph > 0 ? static_cast<float>(double(g.y()) / ph) : NAN;
    row.proportions[2] = pw > 0 ? static_cast<float>(double(g.width()) / pw) : NAN;
    row.proportions[3] = ph > 0 ? static_cast<float>(double(g.height()) / ph) : NAN;
    m_rows.push_back(row);
  }
}

void ControlResizer::resizeControls() {
  if (!m_window) return;
  for (const Row& row : m_rows) {
    QWidget* control = row.control;
    if (!control || m_ignore.contains(control)) continue;
    const QWidget* parent = control->parentWidget();
    if (!parent) continue;
    const int pw = parent->width(), ph = parent->height();
    const QRect now = control->geometry();
    const QSize lo = control->minimumSize(), hi = control->maximumSize();
    const auto& p = row.proportions;
    const int left = std::isnan(p[0]) ? now.x() : scaled(p[0], pw);
    const int top = std::isnan(p[1]) ? now.y() : scaled(p[1], ph);
    const int width = std::isnan(p[2]) ? now.width() : accepted(scaled(p[2], pw), now.width(), lo.width(), hi.width());
    const int height =
        std::isnan(p[3]) ? now.height() : accepted(scaled(p[3], ph), now.height(), lo.height(), hi.height());
    const QRect wanted(left, top, width, height);
    if (wanted != now) control->setGeometry(wanted);
  }
}

void ControlResizer::ignore(QWidget* control) { m_ignore.append(control); }

QList<QWidget*> ControlResizer::controls() const {
  QList<QWidget*> out;
  for (const Row& row : m_rows)
    if (row.control) out.append(row.control);
  return out;
}

} // namespace tidewick::ui
