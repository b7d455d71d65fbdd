#pragma once
// The desktop's notification area ("tray"), as the tray icon needs it: whether there is one, an icon
// with its tip put there or taken away, and the mouse buttons pressed on the icon. The real one is
// QSystemTrayIcon (a status-notifier item where the desktop runs a watcher, otherwise an XEmbed
// icon); tests put a fake one in its place.

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>

class QSystemTrayIcon;

namespace tidewick::tray {

class NotificationArea : public QObject {
  Q_OBJECT

public:
  enum class Click { Left, Right, Other };

  using QObject::QObject;

  // Whether the desktop has a notification area at this moment (one may come and go).
  virtual bool isAvailable() const = 0;
  virtual void add(const QIcon& icon, const QString& tip) = 0;
  virtual void remove() = 0;
  // Whether our icon was added and not removed since.
  virtual bool isAdded() const = 0;

Q_SIGNALS:
  // A mouse button went down on the icon; `where` is the pointer in screen coordinates, or a null
  // point when the desktop did not say.
  void clicked(tidewick::tray::NotificationArea::Click click, QPoint where);
};

class SystemNotificationArea final : public NotificationArea {
  Q_OBJECT

public:
  using NotificationArea::NotificationArea;
  ~SystemNotificationArea() override;

  bool isAvailable() const override;
  void add(const QIcon& icon, const QString& tip) override;
  void remove() override;
  bool isAdded() const override;

private:
  QSystemTrayIcon* m_icon = nullptr;
};

} // namespace tidewick::tray
