#include "ui/FormResize.h"

#include "ui/ControlResizer.h"
#include "ui/Placement.h"

#include <QLayout>
#include <QMenuBar>
#include <QVariant>
#include <QWidget>

#include <cmath>
#include <vector>

namespace tidewick::ui {
namespace {

struct WindowRecord {
  QString name;
  int innerWidth = 0;  // twips
  int innerHeight = 0; // twips
};

struct ControlRecord {
  QString window;
  QString name;
  int index = -1;                               // position in a control array, -1 for none
  int left = 0, top = 0, width = 0, height = 0; // twips; a hidden left is stored + kHiddenOffsetTwips
};

std::vector<WindowRecord> gWindows;
std::vector<ControlRecord> gControls;
bool gResizing = false;

int twips(int pixels) { return pixels * kTwipsPerPixel; }
int pixels(long long twipValue) {
  return static_cast<int>(std::lround(static_cast<double>(twipValue) / kTwipsPerPixel));
}

// Controls that belong to an array carry their index as the property "index".
int arrayIndex(const QWidget* control) {
  const QVariant v = control->property("index");
  return v.isValid() ? v.toInt() : -1;
}

// The window's inner size: what its controls stand in, below a menu bar its layout carries.
QSize innerSize(const QWidget* window) {
  QSize size = window->size();
  if (const QLayout* layout = window->layout())
    if (const auto* menu = qobject_cast<const QMenuBar*>(layout->menuBar()); menu && !menu->isHidden())
      size.rheight() -= menu->heightForWidth(size.width());
  return size;
}

const WindowRecord* findWindow(const QString& name) {
  for (const WindowRecord& w : gWindows)
    if (w.name == name) return &w;
  return nullptr;
}

const ControlRecord* findControl(const QString& window, const QString& name, int index) {
  for (const ControlRecord& c : gControls)
    if (c.window == window && c.name == name && c.index == index) return &c;
  return nullptr;
}

QList<QWidget*> controlsOf(QWidget* window) {
  QList<QWidget*> out;
  for (QWidget* control : window->findChildren<QWidget*>())
    if (ControlResizer::takesPart(window, control)) out.append(control);
  return out;
}

void registerWindow(QWidget* window) {
  const QString name = window->objectName();
  const QSize inner = innerSize(window);
  gWindows.push_back({name, twips(inner.width()), twips(inner.height())});
  for (QWidget* control : controlsOf(window)) {
    const QRect g = control->geometry();
    ControlRecord r{name,         control->objectName(), arrayIndex(control), twips(g.x()),
                    twips(g.y()), twips(g.width()),      twips(g.height())};
    if (r.left < 0) r.left += kHiddenOffsetTwips;
    gControls.push_back(r);
  }
}

bool fits(int value, int minimum, int maximum) { return value >= minimum && value <= maximum; }

// One move with all four measures, then without the height, then the position alone; a control
// that refuses one form still gets the next.
void place(QWidget* control, int left, int top, int width, int height) {
  const QSize lo = control->minimumSize(), hi = control->maximumSize();
  const bool widthOk = fits(width, lo.width(), hi.width());
  const bool heightOk = fits(height, lo.height(), hi.height());
  if (widthOk && heightOk) control->setGeometry(left, top, width, height);
  else if (widthOk) control->setGeometry(left, top, width, control->height());
  else control->move(left, top);
}

void rescale(QWidget* window, const WindowRecord& record) {
  if (record.innerWidth <= 0 || record.innerHeight <= 0) return;
  const QSize inner = innerSize(window);
  const long long across = std::llround(twips(inner.width()) * 100.0) / record.innerWidth;
  const long long down = std::llround(twips(inner.height()) * 100.0) / record.innerHeight;
  for (QWidget* control : controlsOf(window)) {
    const ControlRecord* c = findControl(record.name, control->objectName(), arrayIndex(control));
    if (!c) continue;
    long long left = c->left * across / 100;
    if (control->x() < 0) left -= kHiddenOffsetTwips; // hidden on an inactive tab: stays hidden
    const long long top = c->top * down / 100;
    const long long width = c->width * across / 100;
    const long long height = c->height * down / 100;
    place(control, pixels(left), pixels(top), pixels(width), pixels(height));
  }
}

} // namespace

bool resizeForm(QWidget* window) {
  if (!window || gResizing) return false;
  gResizing = true;
  struct Clear {
    ~Clear() { gResizing = false; }
  } clear;

  if (twips(window->y()) >= kOutOfSightTopTwips) return false;
  const bool wasVisible = window->isVisible();

  const WindowRecord* record = findWindow(window->objectName());
  if (!record) {
    registerWindow(window);
    record = &gWindows.back();
  }
  rescale(window, *record);

  if (window->isVisible() != wasVisible) window->setVisible(wasVisible);
  return true;
}

void hideOnInactiveTab(QWidget* control) {
  if (control->x() >= 0) control->move(control->x() - pixels(kHiddenOffsetTwips), control->y());
}

void showOnActiveTab(QWidget* control) {
  if (control->x() < 0) control->move(control->x() + pixels(kHiddenOffsetTwips), control->y());
}

void forgetResizedForms() {
  gWindows.clear();
  gControls.clear();
}

} // namespace tidewick::ui
