// What screen readers (and tools that drive the windows through accessibility) see: a name on
// every control, the lines of the log, and only the view each file list shows.
#include "RecordingMain.h"

#include "browse/FilePaneView.h"
#include "log/LogList.h"
#include "sites/frmConnectionInfo.h"
#include "ui/Accessibility.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>

#include <gtest/gtest.h>

namespace {

QAccessibleInterface* accessible(QObject* object) { return QAccessible::queryAccessibleInterface(object); }

QStringList unnamedControls(QWidget* window) {
  QStringList unnamed;
  for (QWidget* widget : window->findChildren<QWidget*>())
    if (tidewick::ui::isNamedControl(widget, window) && accessible(widget)->text(QAccessible::Name).isEmpty())
      unnamed << QString::fromLatin1(widget->metaObject()->className()) + ' ' + widget->objectName() + ' ' +
                     widget->parentWidget()->objectName();
  return unnamed;
}

TEST(Accessibility, EveryControlHasANameTheLogItsLinesAndAListOnlyTheViewItShows) {
  LoadedMain m;
  EXPECT_EQ(unnamedControls(m.window.get()), QStringList());
  tidewick::sites::frmConnectionInfo dialog(m.prompts);
  EXPECT_EQ(unnamedControls(&dialog), QStringList());

  // Toolbars are named by what they hold. A path box reads as the path it shows (Qt's way on Linux); its edit field
  // carries the name.
  EXPECT_EQ(accessible(m->cboRemotePath->lineEdit())->text(QAccessible::Name), "Remote Directory");
  for (QToolBar* bar : m->findChildren<QToolBar*>())
    EXPECT_FALSE(accessible(bar)->text(QAccessible::Name).startsWith("Toolbar"))
        << accessible(bar)->text(QAccessible::Name).toStdString();

  // The log exposes its lines; a file list only the view it shows.
  m->show();
  for (const char* line : {"220 Welcome", "Error: refused", "Remote path now up one folder."}) m->DisplayMessage(line);
  QCoreApplication::processEvents();
  QAccessibleInterface* log = accessible(m->logList());
  EXPECT_EQ(log->role(), QAccessible::List);
  ASSERT_EQ(log->childCount(), 3);
  EXPECT_EQ(log->child(1)->text(QAccessible::Name), "Error: refused");
  EXPECT_EQ(log->child(1)->role(), QAccessible::ListItem);
  EXPECT_EQ(log->indexOfChild(log->child(2)), 2);
  EXPECT_TRUE(log->child(2)->state().selected) << "the newest line is the selected one";
  EXPECT_FALSE(log->child(0)->state().selected);
  m->ClearLog();
  EXPECT_EQ(log->childCount(), 0);
  EXPECT_EQ(log->child(0), nullptr);

  // The view a list does not show is hidden, yet its items would say they are on screen: readers see
  // only the view shown.
  for (tidewick::browse::FilePaneView* list : {m->lstLocalFileList, m->lstRemoteFileList}) {
    for (int mode = 0; mode < 4; ++mode) {
      list->setViewMode(static_cast<tidewick::browse::FilePaneView::ViewMode>(mode));
      QAccessibleInterface* pane = accessible(list);
      ASSERT_EQ(pane->childCount(), 1);
      EXPECT_EQ(pane->child(0)->object(), list->currentView());
      EXPECT_EQ(pane->child(0)->text(QAccessible::Name), list->toolTip());
    }
  }
}

} // namespace
