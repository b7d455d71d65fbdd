#pragma once
// The figures of a running transfer: the progress bar, the byte count of the running file, the
// running total ("Total : " and the bytes), and the speed with the time the running file still
// needs. The main window's status bar holds them; the queue window shows the same figures.

#include <QElapsedTimer>
#include <QString>

#include <deque>

class QLabel;
class QProgressBar;

namespace tidewick::transfer {

class ProgressPanels {
public:
  // Any of the controls may be missing; what is there is kept up to date.
  ProgressPanels(QProgressBar* bar, QLabel* bytes, QLabel* total, QLabel* speed);

  // Bar at 0, the byte, total and speed panels empty.
  void reset();
  // The size of the file about to move, when known (-1 when not), for the time it still needs.
  void beginFile(qint64 size);
  // A progress report: the bytes of the running file (from its start, a resume offset included),
  // the bytes moved by the running operation, the file's percentage.
  void update(qint64 fileBytes, qint64 totalBytes, int percent);

  // Whole seconds the running file still needs at `bytesPerSecond`, or -1 when that cannot be
  // told: no speed yet, no size known, the file done, or a size the file has already outgrown.
  // `fileSize` is what the listing said (-1 when unknown); `percent` is the engine's own figure.
  static qint64 secondsLeft(double bytesPerSecond, qint64 fileBytes, qint64 fileSize, int percent);
  // The speed panel's text: the speed, and the time left when it is known (secondsLeft > 0).
  static QString speedText(double bytesPerSecond, qint64 secondsLeft);

private:
  struct Sample {
    qint64 ms;
    qint64 total;
  };

  QProgressBar* m_bar;
  QLabel* m_bytes;
  QLabel* m_total;
  QLabel* m_speed;
  qint64 m_fileSize = -1;
  QElapsedTimer m_clock;
  std::deque<Sample> m_samples; // the last few seconds of totals, for the speed
  qint64 m_lastSpeedUpdateMs = -1;
};

} // namespace tidewick::transfer
