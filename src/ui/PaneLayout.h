#pragma once
// The inside of a file pane frame ("Local System", "Remote Server"), kept by the pane's relations
// at every size: the toolbar strip at the top across the whole width, the path box below it with
// the up button at its right (same top, same height), and the file list from 10 twips below the
// up button down to the bottom of the frame. A hidden toolbar strip gives its room to the rest.

#include <QLayout>
#include <QList>

namespace tidewick::ui {

class PaneLayout : public QLayout {
public:
  enum Role { Strip, PathBox, UpButton, List };

  explicit PaneLayout(QWidget* pane);
  ~PaneLayout() override;

  void setWidget(Role role, QWidget* widget);

  void addItem(QLayoutItem* item) override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  int count() const override;
  QSize sizeHint() const override;
  QSize minimumSize() const override;
  void setGeometry(const QRect& rect) override;

  // The gap between the up button and the file list.
  static int listGap();

private:
  QLayoutItem* m_items[4] = {nullptr, nullptr, nullptr, nullptr};
  QList<QLayoutItem*> m_extra; // anything added without a role; not placed
};

} // namespace tidewick::ui
