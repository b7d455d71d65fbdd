#pragma once
// The splash window: the product's picture, name and version. Shown modally from the Help menu, it
// closes itself after 2000 ms; what should follow it (the tip of the day) runs at that moment,
// before it closes.

#include <QDialog>

#include <functional>

class QTimer;

namespace tidewick::tips {

class frmSplash : public QDialog {
  Q_OBJECT

public:
  explicit frmSplash(std::function<void()> atTheEnd = {}, QWidget* parent = nullptr);

  // The placement, then the wait.
  void Load();

  QTimer* tmrSplash = nullptr;

public Q_SLOTS:
  void done(int result) override;

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  void TimerElapsed();

  std::function<void()> m_atTheEnd;
  bool m_unloaded = false;
};

} // namespace tidewick::tips
