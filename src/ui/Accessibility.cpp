#include "ui/Accessibility.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QToolBar>

namespace tidewick::ui {

namespace {

QString withoutAccessKey(QString text) {
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(QLatin1Char('&'));
  text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  return text;
}

QString captionOf(const QWidget* widget, const QList<QLabel*>& labels) {
  if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return withoutAccessKey(button->text());
  if (auto* frame = qobject_cast<const QGroupBox*>(widget)) return withoutAccessKey(frame->title());
  for (const QLabel* label : labels)
    if (label->buddy() == widget) return withoutAccessKey(label->text());
  return {};
}

} // namespace

bool isNamedControl(const QWidget* widget, const QWidget* window) {
  if (widget->window() != window || widget->objectName().startsWith(QLatin1String("qt_"))) return false;
  if (qobject_cast<const QHeaderView*>(widget)) return false; // the columns' captions name it
  return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QComboBox*>(widget) ||
         qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractItemView*>(widget) ||
         qobject_cast<const QAbstractScrollArea*>(widget) || qobject_cast<const QToolBar*>(widget) ||
         qobject_cast<const QGroupBox*>(widget) || qobject_cast<const QProgressBar*>(widget);
}

void nameControls(QWidget* window) {
  const QList<QLabel*> labels = window->findChildren<QLabel*>();
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (!isNamedControl(widget, window) || !widget->accessibleName().isEmpty()) continue;
    if (!captionOf(widget, labels).isEmpty()) continue; // the caption is its name already
    QString name = widget->toolTip();
    if (name.isEmpty() && widget->parentWidget()) name = widget->parentWidget()->toolTip();
    if (!name.isEmpty()) widget->setAccessibleName(name);
  }
}

} // namespace tidewick::ui
