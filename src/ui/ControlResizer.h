#pragma once
// Keeps a window's controls in proportion when the window is resized. prepare() records, once,
// each control's left, top, width and height as fractions of its container; resizeControls() applies
// those fractions to the containers' current sizes. Because the fractions are never recorded
// again, any number of resizes ends exactly where the load left things when the size comes back.
//
// A control takes part when it is one of the window's named controls that nothing else places:
// controls inside a Qt layout, the main window's own bars and the parts item views are made of
// belong to their layouts and are left alone. Its row in the table is its position among the
// window's controls at prepare() time; controls made later have no row and are skipped.

#include <QList>
#include <QPointer>
#include <QWidget>

#include <array>
#include <vector>

namespace tidewick::ui {

class ControlResizer {
public:
  ControlResizer() = default;
  ControlResizer(const ControlResizer&) = delete;
  ControlResizer& operator=(const ControlResizer&) = delete;

  void prepare(QWidget* window);
  void resizeControls();

  // A control the window places itself: resizeControls() leaves it where it is.
  void ignore(QWidget* control);

  // The controls that take part, in row order (for tests and for the windows' own checks).
  QList<QWidget*> controls() const;

  // Whether a widget of `window` takes part in proportional resizing.
  static bool takesPart(const QWidget* window, const QWidget* control);

private:
  struct Row {
    QPointer<QWidget> control;
    std::array<float, 8> proportions{}; // left, top, width, height ÷ the parent's size; 4..7 unused
  };

  QPointer<QWidget> m_window;
  std::vector<Row> m_rows;
  QList<QPointer<QWidget>> m_ignore;
};

} // namespace tidewick::ui
