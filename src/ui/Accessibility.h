#pragma once
// Names for screen readers, and for any tool that drives the windows through accessibility.

class QWidget;

namespace tidewick::ui {

// Gives every control of `window` that has no accessible name one: its caption (a button's text,
// a frame's title, the label standing for it), else its tooltip, else the tooltip of the control
// it is part of (the views of a file list, the edit field of a path box). Run once the window's
// controls exist; names set explicitly stay.
void nameControls(QWidget* window);

// The controls nameControls looks at: buttons, path boxes, edit fields, lists, toolbars and frames
// of `window` itself (not of its popups), without Qt's own helpers inside them.
bool isNamedControl(const QWidget* widget, const QWidget* window);

} // namespace tidewick::ui
