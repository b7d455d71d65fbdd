#include "browse/PathBox.h"

#include <QComboBox>
#include <QCompleter>
#include <QFocusEvent>
#include <QLineEdit>

namespace tidewick::browse {

namespace {

// Watches the box's edit field for the user leaving it. Losing focus to another window or to the
// box's own list is not leaving: the text typed so far stays.
class LeaveWatcher : public QObject {
public:
  LeaveWatcher(QLineEdit* edit, std::function<void()> abandoned)
      : QObject(edit), m_edit(edit), m_abandoned(std::move(abandoned)) {
    edit->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == m_edit && event->type() == QEvent::FocusOut) {
      const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && m_edit->isModified()) {
        m_edit->setModified(false);
        m_abandoned();
      }
    }
    return QObject::eventFilter(watched, event);
  }

private:
  QLineEdit* m_edit;
  std::function<void()> m_abandoned;
};

} // namespace

void setUpPathBox(QComboBox* box, std::function<void(const QString& typed)> entered, std::function<void()> abandoned) {
  box->setEditable(true);
  // A typed path joins the history only once the pane has gone there.
  box->setInsertPolicy(QComboBox::NoInsert);
  QLineEdit* edit = box->lineEdit();
  // The history is offered below the box as the user types, never filled into the text: a folder
  // completed in place would be the one Enter goes to, typed or not ("/pub" becoming "/pub/docs").
  if (QCompleter* completer = box->completer()) completer->setCompletionMode(QCompleter::PopupCompletion);
  QObject::connect(edit, &QLineEdit::returnPressed, box, [edit, entered] {
    edit->setModified(false);
    entered(edit->text());
  });
  new LeaveWatcher(edit, std::move(abandoned));
}

} // namespace tidewick::browse
