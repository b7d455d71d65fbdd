#pragma once
// Window placement kept in the settings store: four keys per window, the window's prefix followed
// by " TOP", " LEFT", " HEIGHT" and " WIDTH", in twips (15 per logical pixel).

#include <QString>

class QWidget;

namespace tidewick::ui {

constexpr int kTwipsPerPixel = 15;

// At load: position when the save-position switch is on and both TOP and LEFT are stored, size when
// the save-size switch is on and both HEIGHT and WIDTH are stored. A value that is not a number
// counts as missing, and a position that would leave the window off every screen is not applied.
void applyPlacement(QWidget* window, const QString& prefix);
// The same with the two switches given: for the options dialog, whose own boxes take part in them.
void applyPlacement(QWidget* window, const QString& prefix, bool positionOn, bool sizeOn);

// At unload: writes the four keys whatever the switches say (not when the window is minimized).
void savePlacement(const QWidget* window, const QString& prefix);

} // namespace tidewick::ui
