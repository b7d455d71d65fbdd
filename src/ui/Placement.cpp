#include "ui/Placement.h"

#include "settings/Registry.h"
#include "settings/SettingsKeys.h"
#include "settings/Switches.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <cmath>
#include <optional>

namespace tidewick::ui {
namespace {

namespace keys = settings::keys;

std::optional<int> storedPixels(const QString& key) {
  const QString text = settings::value(key).trimmed();
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
  const bool positionOn = settings::switchIsOn(keys::SaveWindowPosition);
  const bool sizeOn = settings::switchIsOn(keys::SaveWindowSize);
  applyPlacement(window, prefix, positionOn, sizeOn);
}

void applyPlacement(QWidget* window, const QString& prefix, bool positionOn, bool sizeOn) {
  if (window->isMinimized()) return;
  QSize size = window->size();
  if (sizeOn) {
    auto height = storedPixels(prefix + keys::placement::Height);
    auto width = storedPixels(prefix + keys::placement::Width);
    if (height && width && *height > 0 && *width > 0) size = QSize(*width, *height);
  }
  if (positionOn) {
    auto top = storedPixels(prefix + keys::placement::Top);
    auto left = storedPixels(prefix + keys::placement::Left);
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
  settings::setValue(prefix + keys::placement::Top, twips(pos.y()));
  settings::setValue(prefix + keys::placement::Left, twips(pos.x()));
  settings::setValue(prefix + keys::placement::Height, twips(size.height()));
  settings::setValue(prefix + keys::placement::Width, twips(size.width()));
}

} // namespace tidewick::ui
