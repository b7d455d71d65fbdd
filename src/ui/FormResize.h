#pragma once
// Proportional resizing with process-wide tables, for windows whose tab pages hide the controls of
// the inactive pages by moving them kHiddenOffsetTwips to the left (the options dialog).
//
// The first resizeForm() for a window registers the window's size and every control's measures, a
// hidden control at its visible position; every later call rescales the controls by whole-number
// percentages of that registered size, and a control that is hidden at that moment stays hidden at
// its scaled position. Registrations live for the whole run: a window that is closed and opened
// again keeps its first one.
//
// Measures are kept in twips (kTwipsPerPixel per pixel), as the placement keys are.

#include <QString>

class QWidget;

namespace tidewick::ui {

constexpr int kHiddenOffsetTwips = 75000;
// A window at this top or lower is out of sight and is not rescaled.
constexpr int kOutOfSightTopTwips = 30000;

// Returns true when it registered or rescaled the window; false when it did nothing (a resize
// already running, or the window out of sight).
bool resizeForm(QWidget* window);

// Moves a control off to the left, or back, the way a tab page hides its controls.
void hideOnInactiveTab(QWidget* control);
void showOnActiveTab(QWidget* control);

// Forgets every registration (for tests; the program never does).
void forgetResizedForms();

} // namespace tidewick::ui
