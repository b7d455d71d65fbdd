#include "ui/Placement.h"

#include "settings/Register.h"
#include "settings/Switches.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <cmath>
#include <optional>

namespace tidewick::ui {
namespace {

std::optional<int> storedPixels(const QString& key) {
  const QString text = GetSetting(key, QString()).trimmed();
  if (text.isEmpty()) return std::nullopt;
  bool ok = false;
  const double twips = text.toDouble(&ok);
  if (!ok || !std::isfinite(twips) || std::abs(twips) > 1e8) return std::nullopt;
  return static_cast<int>(std::lround(twips / kTwipsPerPixel));
}

// At least this much of the window must stay on some screen for a stored position to be used.
constexpr int kMinVisible = 48;

bool reachable(const QRect& frame) {
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect overlap = screen->availableGeometry().intersected(frame);
    if (overlap.width() >= std::min(kMinVisible, frame.width()) &&
        overlap.height() >= std::min(kMinVisible, frame.height()))
      return true;
  }
  return false;
}

} // namespace

void applyPlacement(QWidget* window, const QString& prefix) {
  if (window->isMinimized()) return;
  QSize size = window->size();
  if (tidewick::SwitchIsOn(QStringLiteral("SAVE WINDOW SIZE"))) {
    auto height = storedPixels(prefix + QStringLiteral(" HEIGHT"));
    auto width = storedPixels(prefix + QStringLiteral(" WIDTH"));
    if (height && width && *height > 0 && *width > 0) size = QSize(*width, *height);
  }
  if (tidewick::SwitchIsOn(QStringLiteral("SAVE WINDOW POSITION"))) {
    auto top = storedPixels(prefix + QStringLiteral(" TOP"));
    auto left = storedPixels(prefix + QStringLiteral(" LEFT"));
    if (top && left && reachable(QRect(QPoint(*left, *top), size))) window->move(*left, *top);
  }
  if (size != window->size()) window->resize(size.expandedTo(window->minimumSize()));
}

void savePlacement(const QWidget* window, const QString& prefix) {
  if (window->isMinimized()) return;
  // Maximized or full-screen windows keep the placement they will return to.
  const QRect normal = (window->isMaximized() || window->isFullScreen()) ? window->normalGeometry() : QRect();
  const QPoint pos = normal.isValid() ? normal.topLeft() : window->pos();
  const QSize size = normal.isValid() ? normal.size() : window->size();
  auto twips = [](int pixels) { return QString::number(static_cast<qint64>(pixels) * kTwipsPerPixel); };
  SaveSetting(prefix + QStringLiteral(" TOP"), twips(pos.y()));
  SaveSetting(prefix + QStringLiteral(" LEFT"), twips(pos.x()));
  SaveSetting(prefix + QStringLiteral(" HEIGHT"), twips(size.height()));
  SaveSetting(prefix + QStringLiteral(" WIDTH"), twips(size.width()));
}

} // namespace tidewick::ui
