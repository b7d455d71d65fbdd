#pragma once
// The tip table and the random choice of a tip, and the small INI file that says whether tips
// show at start-up.

#include <QString>
#include <QStringList>

class QLabel;

namespace tidewick::tips {

// The fifteen tips, by index.
QStringList TipTable();

// The tip index for a draw r in [0, 1): r × 14 rounded to the nearest whole number, halves to the
// even one, so the first and the last tip come half as often as the others.
int TipIndexForDraw(double r);

// A draw in [0, 1) from a generator seeded afresh with the time of day (to the millisecond): two
// draws within the same millisecond give the same tip.
double DrawFromTimeOfDay();

// Puts a randomly chosen tip into the label.
void ShowRandomTip(QLabel* target);

// The choice file "Ini/Settings.ini" of the Tidewick home, section "TipSettings", key "Report":
// "0" means no tip at start-up; anything else (a missing file or key too) means show.
QString TipsFilePath();
bool TipsFileExists();
QString ReadTipsReport();
// Fails quietly when the folder Ini is missing.
void WriteTipsReport(bool show);

} // namespace tidewick::tips
