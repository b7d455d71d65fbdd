#pragma once
// A plain list of log lines with one selected line, for the connection log and the log window.
//
// The log has no upper limit and a busy server can add thousands of lines, so this is not an item
// view: lines are kept in one array, adding a line is an append plus a scroll-bar update, and
// painting touches only the rows on screen, once per burst of lines. Nothing is
// ever laid out again as a whole, and a line's width is measured only once it is painted: the
// horizontal scroll range covers the lines the user has had on screen.

#include <QAbstractScrollArea>
#include <QList>
#include <QString>

namespace tidewick::log {

class LogList : public QAbstractScrollArea {
  Q_OBJECT

public:
  explicit LogList(QWidget* parent = nullptr);

  void addLine(const QString& text);
  void addLines(const QList<QString>& texts);
  void clear();

  int count() const { return static_cast<int>(m_lines.size()); }
  QString line(int row) const { return row >= 0 && row < count() ? m_lines.at(row) : QString(); }
  const QList<QString>& lines() const { return m_lines; }

  // The selected line; -1 when none is. It is brought on screen when the event loop next turns.
  int currentRow() const { return m_current; }
  void setCurrentRow(int row);
  QString currentText() const { return line(m_current); }

  // Scrolls as little as needed to show the row.
  void scrollToRow(int row);
  int firstVisibleRow() const;
  int rowsPerPage() const;
  int rowHeight() const;

  QSize sizeHint() const override;

Q_SIGNALS:
  void currentRowChanged(int row);

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

private:
  int rowAt(int y) const;
  void updateRow(int row);
  void updateScrollBars();
  void noteWidth(int width);
  // Scroll range, scroll position and painting catch up once per turn of the event loop, however
  // many lines arrived in between.
  void scheduleSync();
  void sync();

  QList<QString> m_lines;
  int m_current = -1;
  int m_widest = 0;    // of the lines painted so far: only lines on screen need their width
  int m_scrollTo = -1; // the row to bring on screen at the next sync
  bool m_syncQueued = false;
};

} // namespace tidewick::log
