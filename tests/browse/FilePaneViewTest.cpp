// A file list's own gestures: double-click, the two ways into renaming in place, the Delete key.
#include "browse/FileListModel.h"
#include "browse/FilePaneView.h"

#include <QApplication>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

using namespace tidewick::browse;

namespace {

// Long enough for a click to have become a slow click.
void waitPastDoubleClick() { QTest::qWait(QApplication::doubleClickInterval() + 150); }

TEST(FilePaneView, RenamingStartsWithF2OrASlowSecondClickNeverWithADoubleClick) {
  FileListModel model(nullptr);
  for (const char* name : {"a.txt", "b.txt"})
    model.append(FileRow{QString::fromLatin1(name), 1, true, {}, QLatin1Char('F'), 3});
  model.flush();
  model.setRenameHandler([](int, const QString&) {});
  FilePaneView list(&model);
  list.resize(400, 300);
  list.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
  QWidget* viewport = list.detailsView()->viewport();
  const auto centre = [&](int row) { return list.detailsView()->visualRect(model.index(row, 0)).center(); };
  QSignalSpy edits(&list, &FilePaneView::editStarted);
  QSignalSpy doubleClicks(&list, &FilePaneView::rowDoubleClicked);
  // What a double-click starts (the upload question, say) keeps the user a while.
  QObject::connect(&list, &FilePaneView::rowDoubleClicked, [] { waitPastDoubleClick(); });

  // A double-click on the selected row, as the window system delivers it: press, release, press,
  // double-click, release.
  list.selectRow(0);
  QTest::mouseClick(viewport, Qt::LeftButton, {}, centre(0));
  QTest::mousePress(viewport, Qt::LeftButton, {}, centre(0));
  QMouseEvent twice(QEvent::MouseButtonDblClick, centre(0), viewport->mapToGlobal(centre(0)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(viewport, &twice);
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, centre(0));
  waitPastDoubleClick();
  EXPECT_EQ(doubleClicks.count(), 1);
  EXPECT_EQ(edits.count(), 0);

  QTest::mouseClick(viewport, Qt::LeftButton, {}, centre(1)); // selects
  waitPastDoubleClick();
  EXPECT_EQ(edits.count(), 0) << "the click that selects a row does not edit it";
  QTest::mouseClick(viewport, Qt::LeftButton, {}, centre(1)); // the slow second click
  waitPastDoubleClick();
  ASSERT_EQ(edits.count(), 1);
  EXPECT_EQ(edits.at(0).at(0).toInt(), 1);
  list.detailsView()->closePersistentEditor(model.index(1, 0));
  QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : viewport, Qt::Key_Escape);

  // Back from the other pane: the click that brings the list into focus is its first one, even on
  // the row that stayed selected.
  QFocusEvent focusedByClick(QEvent::FocusIn, Qt::MouseFocusReason);
  QApplication::sendEvent(list.detailsView(), &focusedByClick);
  QTest::mouseClick(viewport, Qt::LeftButton, {}, centre(1));
  waitPastDoubleClick();
  EXPECT_EQ(edits.count(), 1) << "the click that focuses the list does not edit";
  QTest::mouseClick(viewport, Qt::LeftButton, {}, centre(1));
  waitPastDoubleClick();
  EXPECT_EQ(edits.count(), 2);
  list.detailsView()->closePersistentEditor(model.index(1, 0));

  FilePaneView other(&model);
  QSignalSpy keyEdits(&other, &FilePaneView::editStarted);
  QSignalSpy deletes(&other, &FilePaneView::deleteKeyPressed);
  other.selectRow(0);
  QTest::keyClick(other.detailsView(), Qt::Key_F2);
  EXPECT_EQ(keyEdits.count(), 1);
  other.setViewMode(FilePaneView::ViewMode::List);
  QTest::keyClick(other.currentView(), Qt::Key_Delete);
  EXPECT_EQ(deletes.count(), 1) << "the Delete key asks for the list's delete, in every view";

  // Enter opens the current row as a double-click would, except while a name is edited, where it
  // only ends the edit; Backspace asks to go up.
  QSignalSpy opened(&other, &FilePaneView::rowDoubleClicked);
  QSignalSpy ups(&other, &FilePaneView::upKeyPressed);
  other.setViewMode(FilePaneView::ViewMode::Details);
  other.selectRow(1);
  QTest::keyClick(other.detailsView(), Qt::Key_F2);
  QWidget* editor = other.detailsView()->indexWidget(model.index(1, 0));
  ASSERT_NE(editor, nullptr);
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents(); // the editor closes once the event loop comes round
  EXPECT_EQ(opened.count(), 0);
  ASSERT_EQ(other.detailsView()->indexWidget(model.index(1, 0)), nullptr);
  QTest::keyClick(other.currentView(), Qt::Key_Return);
  QTest::keyClick(other.currentView(), Qt::Key_Enter, Qt::KeypadModifier);
  QTest::keyClick(other.currentView(), Qt::Key_Backspace);
  ASSERT_EQ(opened.count(), 2);
  EXPECT_EQ(opened[0][0].toInt(), 1);
  EXPECT_EQ(ups.count(), 1);
}

} // namespace
