#include "transfer/ProgressPanels.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>

#include <algorithm>
#include <cmath>

namespace tidewick::transfer {

namespace {

// The speed is the rate over the last three seconds: steady enough to read, quick to follow a
// change. It is shown once half a second of figures has come in, and rewritten twice a second.
constexpr qint64 kWindowMs = 3000;
constexpr qint64 kFirstShownMs = 500;
constexpr qint64 kRewriteMs = 500;

QString durationText(qint64 seconds) {
  const qint64 h = seconds / 3600, m = (seconds / 60) % 60, s = seconds % 60;
  if (h > 0) return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
  return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

} // namespace

ProgressPanels::ProgressPanels(QProgressBar* bar, QLabel* bytes, QLabel* total, QLabel* speed)
    : m_bar(bar), m_bytes(bytes), m_total(total), m_speed(speed) {
  m_clock.start();
}

void ProgressPanels::reset() {
  if (m_bar) m_bar->setValue(0);
  if (m_bytes) m_bytes->clear();
  if (m_total) m_total->clear();
  if (m_speed) m_speed->clear();
  m_samples.clear();
  m_fileSize = -1;
  m_lastSpeedUpdateMs = -1;
}

void ProgressPanels::beginFile(qint64 size) { m_fileSize = size; }

qint64 ProgressPanels::secondsLeft(double bytesPerSecond, qint64 fileBytes, qint64 fileSize, int percent) {
  if (!(bytesPerSecond > 0) || percent >= 100) return -1;
  double remaining = 0;
  // A listed size can be stale (a file that grew, a queue row without a size, a link's own size):
  // once the file has passed it, only the engine's percentage still tells how far it has come.
  if (fileSize > fileBytes) remaining = static_cast<double>(fileSize - fileBytes);
  else if (percent > 0) remaining = static_cast<double>(fileBytes) * (100 - percent) / percent;
  if (!(remaining > 0)) return -1;
  const double seconds = std::ceil(remaining / bytesPerSecond);
  return seconds < 1e12 ? static_cast<qint64>(seconds) : -1;
}

QString ProgressPanels::speedText(double bytesPerSecond, qint64 secondsLeft) {
  const QLocale locale;
  QString text = locale.formattedDataSize(static_cast<qint64>(std::llround(bytesPerSecond)), 1) + QStringLiteral("/s");
  if (secondsLeft > 0) text += QStringLiteral(", ") + durationText(secondsLeft) + QStringLiteral(" left");
  return text;
}

void ProgressPanels::update(qint64 fileBytes, qint64 totalBytes, int percent) {
  if (m_bytes) m_bytes->setText(QString::number(fileBytes));
  if (m_total) m_total->setText(QStringLiteral("Total : ") + QString::number(totalBytes));
  if (m_bar) m_bar->setValue(std::clamp(percent, 0, 100));
  if (!m_speed) return;

  const qint64 now = m_clock.elapsed();
  // Each operation counts its total from zero: a smaller total starts the measure again.
  if (!m_samples.empty() && totalBytes < m_samples.back().total) m_samples.clear();
  m_samples.push_back({now, totalBytes});
  while (m_samples.size() > 2 && now - m_samples[1].ms >= kWindowMs) m_samples.pop_front();

  const Sample& first = m_samples.front();
  const qint64 span = now - first.ms;
  if (span < kFirstShownMs) return;
  if (m_lastSpeedUpdateMs >= 0 && now - m_lastSpeedUpdateMs < kRewriteMs) return;
  m_lastSpeedUpdateMs = now;

  const double rate = static_cast<double>(totalBytes - first.total) * 1000.0 / static_cast<double>(span);
  m_speed->setText(speedText(rate, secondsLeft(rate, fileBytes, m_fileSize, percent)));
}

} // namespace tidewick::transfer
