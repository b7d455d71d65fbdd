#pragma once
// The main window's icon in the notification area. It is added once at the end of start-up and
// removed on every way out; a left click on it brings the window back in its normal state, a right
// click opens the window's popup menu ("&Show/Hide", "&Exit").
//
// While the icon stands in a notification area, minimizing the main window hides it (the program
// then lives in the tray). Where the desktop has none, nothing may hide the window for good: the
// owner asks isShown() before hiding.

#include "tray/NotificationArea.h"

#include <QObject>

#include <memory>

class QMenu;
class QWidget;

namespace tidewick::tray {

class TrayIcon : public QObject {
  Q_OBJECT

public:
  // `area` is the notification area to use; the desktop's own when none is given.
  TrayIcon(QWidget* window, QMenu* popup, std::unique_ptr<NotificationArea> area = nullptr);
  ~TrayIcon() override;

  // The icon is the window's own picture, the tip the application title.
  void Add();
  void Remove();
  // Whether an icon stands in a notification area now, through which a hidden window comes back.
  bool isShown() const;

  // "&Show/Hide": a hidden window comes back in its normal state; a shown one hides.
  void ShowOrHide();
  // What a left click on the icon does: the window shown, in its normal state, and active.
  void RestoreWindow();

  NotificationArea& area() const { return *m_area; }

private:
  void OnClick(NotificationArea::Click click, QPoint where);

  QWidget* m_window;
  QMenu* m_popup;
  std::unique_ptr<NotificationArea> m_area;
};

} // namespace tidewick::tray
