#include "ui/PaneLayout.h"

#include "ui/Placement.h"

#include <QWidget>

#include <cmath>

namespace tidewick::ui {

PaneLayout::PaneLayout(QWidget* pane) : QLayout(pane) { setContentsMargins(6, 4, 6, 6); }

PaneLayout::~PaneLayout() {
  for (QLayoutItem*& item : m_items) delete std::exchange(item, nullptr);
  qDeleteAll(m_extra);
}

int PaneLayout::listGap() { return std::max(1, static_cast<int>(std::lround(10.0 / kTwipsPerPixel))); }

void PaneLayout::setWidget(Role role, QWidget* widget) {
  addChildWidget(widget);
  delete m_items[role];
  m_items[role] = new QWidgetItem(widget);
  invalidate();
}

void PaneLayout::addItem(QLayoutItem* item) { m_extra.append(item); }

QLayoutItem* PaneLayout::itemAt(int index) const {
  int at = 0;
  for (QLayoutItem* item : m_items)
    if (item && at++ == index) return item;
  index -= at;
  return index >= 0 && index < m_extra.size() ? m_extra.at(index) : nullptr;
}

QLayoutItem* PaneLayout::takeAt(int index) {
  int at = 0;
  for (QLayoutItem*& item : m_items)
    if (item && at++ == index) return std::exchange(item, nullptr);
  index -= at;
  return index >= 0 && index < m_extra.size() ? m_extra.takeAt(index) : nullptr;
}

int PaneLayout::count() const {
  int n = static_cast<int>(m_extra.size());
  for (QLayoutItem* item : m_items) n += item ? 1 : 0;
  return n;
}

namespace {
QSize hintOf(const QLayoutItem* item) { return item && !item->isEmpty() ? item->sizeHint() : QSize(0, 0); }
} // namespace

QSize PaneLayout::sizeHint() const {
  const QMargins m = contentsMargins();
  const QSize strip = hintOf(m_items[Strip]), box = hintOf(m_items[PathBox]), up = hintOf(m_items[UpButton]),
              list = hintOf(m_items[List]);
  const int width = std::max({strip.width(), box.width() + up.width(), list.width()});
  const int height = strip.height() + std::max(box.height(), up.height()) + listGap() + list.height();
  return QSize(width + m.left() + m.right(), height + m.top() + m.bottom());
}

QSize PaneLayout::minimumSize() const {
  const QMargins m = contentsMargins();
  return QSize(m.left() + m.right(), m.top() + m.bottom());
}

void PaneLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  const QRect area = contentsRect();
  int top = area.top();

  // The strip across the pane, as high as its two toolbars together.
  if (QLayoutItem* strip = m_items[Strip]; strip && !strip->isEmpty()) {
    const int height = strip->sizeHint().height();
    strip->setGeometry(QRect(area.left(), top, area.width(), height));
    top += height;
  }

  // The path box under it; the up button at its right, on the same top and as high as the box.
  int rowHeight = 0;
  QLayoutItem* box = m_items[PathBox];
  QLayoutItem* up = m_items[UpButton];
  if (box) rowHeight = box->sizeHint().height();
  int upWidth = 0;
  if (up) {
    rowHeight = std::max(rowHeight, up->minimumSize().height());
    upWidth = rowHeight;
    up->setGeometry(QRect(area.right() + 1 - upWidth, top, upWidth, rowHeight));
  }
  if (box) box->setGeometry(QRect(area.left(), top, std::max(0, area.width() - upWidth - (up ? 3 : 0)), rowHeight));

  // The list from just below the up button to the bottom of the pane.
  if (QLayoutItem* list = m_items[List]) {
    const int listTop = top + rowHeight + listGap();
    list->setGeometry(QRect(area.left(), listTop, area.width(), std::max(0, area.bottom() + 1 - listTop)));
  }
}

} // namespace tidewick::ui
