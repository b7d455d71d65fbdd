#include "log/LogListAccessible.h"

#include "log/LogList.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

namespace tidewick::log {

namespace {

// One line. It belongs to the accessibility cache, which the list empties when its lines go.
class LineItem : public QAccessibleInterface {
public:
  LineItem(LogList* list, int row) : m_list(list), m_row(row) {}

  int row() const { return m_row; }
  bool isValid() const override { return m_list && m_row < m_list->count(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return m_list ? m_list->window()->windowHandle() : nullptr; }
  QAccessibleInterface* parent() const override {
    return m_list ? QAccessible::queryAccessibleInterface(m_list.data()) : nullptr;
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  QAccessible::Role role() const override { return QAccessible::ListItem; }
  QString text(QAccessible::Text t) const override {
    return t == QAccessible::Name && m_list ? m_list->line(m_row) : QString();
  }
  void setText(QAccessible::Text, const QString&) override {}

  QRect rect() const override {
    if (!m_list || !onScreen()) return {};
    const int height = m_list->rowHeight();
    const QPoint topLeft = m_list->viewport()->mapToGlobal(QPoint(0, (m_row - m_list->firstVisibleRow()) * height));
    return QRect(topLeft, QSize(m_list->viewport()->width(), height));
  }

  QAccessible::State state() const override {
    QAccessible::State s;
    s.selectable = true;
    if (!m_list) {
      s.invalid = true;
      return s;
    }
    s.selected = m_list->currentRow() == m_row;
    s.invisible = !m_list->isVisible();
    s.offscreen = !onScreen();
    return s;
  }

private:
  bool onScreen() const {
    const int first = m_list->firstVisibleRow();
    return m_row >= first && m_row < first + m_list->rowsPerPage();
  }

  QPointer<LogList> m_list;
  int m_row;
};

class ListInterface : public QAccessibleWidget {
public:
  explicit ListInterface(LogList* list) : QAccessibleWidget(list, QAccessible::List) {}
  ~ListInterface() override { forgetLines(); }

  LogList* list() const { return static_cast<LogList*>(widget()); }

  int childCount() const override { return list()->count(); }

  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= list()->count()) return nullptr;
    if (const auto id = m_lines.value(index)) return QAccessible::accessibleInterface(id);
    auto* item = new LineItem(list(), index);
    m_lines.insert(index, QAccessible::registerAccessibleInterface(item));
    return item;
  }

  int indexOfChild(const QAccessibleInterface* child) const override {
    const auto* item = dynamic_cast<const LineItem*>(child);
    return item && item->parent() == this ? item->row() : -1;
  }

  QAccessibleInterface* childAt(int x, int y) const override {
    const QPoint at = list()->viewport()->mapFromGlobal(QPoint(x, y));
    if (!list()->viewport()->rect().contains(at)) return nullptr;
    const int height = std::max(1, list()->rowHeight());
    return child(list()->firstVisibleRow() + at.y() / height);
  }

  void forgetLines() {
    for (const QAccessible::Id id : std::as_const(m_lines)) QAccessible::deleteAccessibleInterface(id);
    m_lines.clear();
  }

private:
  mutable QHash<int, QAccessible::Id> m_lines;
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
  if (className == QLatin1String(LogList::staticMetaObject.className()) && object && object->isWidgetType())
    return new ListInterface(static_cast<LogList*>(object));
  return nullptr;
}

} // namespace

void installLogListAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(factory);
    return true;
  }();
  Q_UNUSED(installed);
}

void forgetAccessibleLines(LogList* list) {
  if (auto* iface = dynamic_cast<ListInterface*>(QAccessible::queryAccessibleInterface(list))) iface->forgetLines();
}

} // namespace tidewick::log
