#include "log/LogList.h"

#include "log/LogListAccessible.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <utility>

namespace tidewick::log {
namespace {
constexpr int kPadX = 4;
constexpr int kPadY = 1;
// A line longer than this is measured from the average character width: exact widths of huge
// lines cost more than the scroll range is worth.
constexpr int kMeasureLimit = 512;

int textWidth(const QFontMetrics& fm, const QString& text) {
  return text.size() > kMeasureLimit ? fm.averageCharWidth() * static_cast<int>(text.size())
                                     : fm.horizontalAdvance(text);
}
} // namespace

LogList::LogList(QWidget* parent) : QAbstractScrollArea(parent) {
  installLogListAccessibility();
  setFocusPolicy(Qt::StrongFocus);
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  verticalScrollBar()->setSingleStep(1);
  updateScrollBars();
}

QSize LogList::sizeHint() const { return QSize(320, rowHeight() * 6 + 2 * frameWidth()); }

int LogList::rowHeight() const { return fontMetrics().height() + 2 * kPadY; }

int LogList::rowsPerPage() const { return std::max(1, viewport()->height() / std::max(1, rowHeight())); }

int LogList::firstVisibleRow() const { return verticalScrollBar()->value(); }

int LogList::rowAt(int y) const {
  const int row = firstVisibleRow() + y / std::max(1, rowHeight());
  return row < count() ? row : -1;
}

void LogList::noteWidth(int width) {
  if (width + 2 * kPadX <= m_widest) return;
  m_widest = width + 2 * kPadX;
  scheduleSync(); // called while painting: the range changes once the paint is done
}

void LogList::scheduleSync() {
  if (m_syncQueued) return;
  m_syncQueued = true;
  QMetaObject::invokeMethod(this, &LogList::sync, Qt::QueuedConnection);
}

void LogList::sync() {
  m_syncQueued = false;
  updateScrollBars();
  if (m_scrollTo >= 0) scrollToRow(std::exchange(m_scrollTo, -1));
  viewport()->update();
}

void LogList::addLine(const QString& text) {
  m_lines.append(text);
  scheduleSync();
}

void LogList::addLines(const QList<QString>& texts) {
  m_lines.append(texts);
  scheduleSync();
}

void LogList::updateRow(int row) {
  const int offset = row - firstVisibleRow();
  if (row < 0 || offset < 0 || offset > rowsPerPage()) return;
  viewport()->update(QRect(0, offset * rowHeight(), viewport()->width(), rowHeight()));
}

void LogList::clear() {
  m_lines.clear();
  forgetAccessibleLines(this);
  m_widest = 0;
  m_scrollTo = -1;
  const bool had = m_current != -1;
  m_current = -1;
  updateScrollBars();
  viewport()->update();
  if (had) Q_EMIT currentRowChanged(-1);
}

void LogList::setCurrentRow(int row) {
  if (row < -1 || row >= count()) row = -1;
  if (row == m_current) return;
  const int previous = m_current;
  m_current = row;
  updateRow(previous);
  updateRow(row);
  if (row >= 0) {
    m_scrollTo = row;
    scheduleSync();
  }
  Q_EMIT currentRowChanged(row);
}

void LogList::scrollToRow(int row) {
  if (row < 0 || row >= count()) return;
  QScrollBar* bar = verticalScrollBar();
  if (bar->maximum() < count() - rowsPerPage()) updateScrollBars();
  const int first = bar->value();
  const int page = rowsPerPage();
  if (row < first) bar->setValue(row);
  else if (row >= first + page) bar->setValue(row - page + 1);
}

void LogList::updateScrollBars() {
  QScrollBar* v = verticalScrollBar();
  const int page = rowsPerPage();
  v->setPageStep(page);
  v->setRange(0, std::max(0, count() - page));
  QScrollBar* h = horizontalScrollBar();
  const int visibleWidth = viewport()->width();
  h->setPageStep(std::max(1, visibleWidth));
  h->setSingleStep(std::max(1, fontMetrics().averageCharWidth() * 2));
  h->setRange(0, std::max(0, m_widest - visibleWidth));
}

void LogList::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  updateScrollBars();
  if (m_current >= 0) scrollToRow(m_current);
}

void LogList::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    m_widest = 0;
    updateScrollBars();
    viewport()->update();
  }
}

void LogList::scrollContentsBy(int, int) {
  // Repaint once when the window next paints, however many lines a burst scrolled by: moving the
  // pixels at every line would cost more than painting the few rows on screen.
  viewport()->update();
}

void LogList::paintEvent(QPaintEvent* event) {
  QPainter p(viewport());
  const QFontMetrics fm = fontMetrics();
  const int h = rowHeight();
  const int first = firstVisibleRow();
  const int dx = horizontalScrollBar()->value();
  const QRect dirty = event->rect();
  const QPalette& pal = palette();
  const bool active = hasFocus() || isActiveWindow();
  const QPalette::ColorGroup group =
      isEnabled() ? (active ? QPalette::Active : QPalette::Inactive) : QPalette::Disabled;
  for (int y = 0, row = first; row < count() && y < viewport()->height(); ++row, y += h) {
    const QRect rowRect(0, y, viewport()->width(), h);
    if (!rowRect.intersects(dirty)) continue;
    noteWidth(textWidth(fm, m_lines.at(row)));
    if (row == m_current) {
      p.fillRect(rowRect, pal.brush(group, QPalette::Highlight));
      p.setPen(pal.color(group, QPalette::HighlightedText));
    } else {
      p.setPen(pal.color(group, QPalette::Text));
    }
    p.drawText(QRect(kPadX - dx, y, std::max(m_widest, viewport()->width()) + dx, h), Qt::AlignLeft | Qt::AlignVCenter,
               m_lines.at(row));
  }
}

void LogList::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const int row = rowAt(event->position().toPoint().y());
    if (row >= 0) setCurrentRow(row);
  }
  QAbstractScrollArea::mousePressEvent(event);
}

void LogList::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) {
    const int y = event->position().toPoint().y();
    if (y < 0) setCurrentRow(std::max(0, firstVisibleRow() - 1));
    else if (y >= viewport()->height()) setCurrentRow(std::min(count() - 1, firstVisibleRow() + rowsPerPage()));
    else if (const int row = rowAt(y); row >= 0) setCurrentRow(row);
  }
  QAbstractScrollArea::mouseMoveEvent(event);
}

void LogList::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    if (m_current >= 0) QApplication::clipboard()->setText(currentText());
    return;
  }
  if (count() == 0) {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  const int page = rowsPerPage();
  const int from = m_current < 0 ? firstVisibleRow() : m_current;
  int to = -2;
  switch (event->key()) {
    case Qt::Key_Up: to = std::max(0, from - 1); break;
    case Qt::Key_Down: to = std::min(count() - 1, m_current < 0 ? from : from + 1); break;
    case Qt::Key_PageUp: to = std::max(0, from - page); break;
    case Qt::Key_PageDown: to = std::min(count() - 1, from + page); break;
    case Qt::Key_Home: to = 0; break;
    case Qt::Key_End: to = count() - 1; break;
    default: break;
  }
  if (to == -2) {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  setCurrentRow(to);
  event->accept();
}

} // namespace tidewick::log
