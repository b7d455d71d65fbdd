// Proportional resizing: ControlResizer (which controls take part; the main
// window's arrangement test doubles and restores them) and resizeForm
// (process-wide registrations, hidden tab controls, the out-of-sight guard, no
// re-entry).
#include "ui/ControlResizer.h"
#include "ui/FormResize.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace tidewick::ui;

namespace {

template <class Widget = QFrame>
Widget* child(QWidget* parent, const char* name, QRect geometry) {
  auto* w = new Widget(parent);
  w->setObjectName(name);
  w->setGeometry(geometry);
  return w;
}

// A window as designed: free controls, one inside a frame, one of fixed height,
// one in a layout and one without a name.
struct TestWindow {
  std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
  QWidget *list, *frame, *inFrame, *fixedHeight, *laidOut, *unnamed;

  explicit TestWindow(const char* name = "frmTest") {
    window->setObjectName(name);
    window->resize(400, 300);
    list = child(window.get(), "lstItems", QRect(10, 20, 180, 150));
    frame = child(window.get(), "fraOptions", QRect(200, 20, 190, 150));
    inFrame = child(frame, "chkOption", QRect(10, 30, 100, 20));
    fixedHeight = child<QComboBox>(window.get(), "cboPath", QRect(10, 180, 380, 24));
    fixedHeight->setFixedHeight(24);
    auto* row = child(window.get(), "picButtons", QRect(0, 250, 400, 40));
    laidOut = child<QPushButton>(row, "cmdOK", QRect());
    (new QHBoxLayout(row))->addWidget(laidOut);
    unnamed = child(window.get(), "", QRect(5, 5, 20, 10));
  }
};

TEST(ControlResizer, TakesPartOnlyNamedFreelyPlacedControlsAndIsHarmlessWithoutThem) {
  TestWindow t;
  ControlResizer resizer;
  resizer.prepare(t.window.get());
  const QList<QWidget*> controls = resizer.controls();
  for (QWidget* taking : {t.list, t.frame, t.inFrame, t.fixedHeight}) EXPECT_TRUE(controls.contains(taking));
  EXPECT_FALSE(controls.contains(t.laidOut)) << "its layout places it";
  EXPECT_FALSE(controls.contains(t.unnamed));
  for (QWidget* c : controls) EXPECT_FALSE(c->objectName().startsWith("qt_")) << "parts of the combo box are its own";

  resizer.ignore(t.list);
  QWidget* later = child(t.window.get(), "lblLater", QRect(50, 50, 10, 10));
  t.window->resize(800, 600);
  resizer.resizeControls();
  EXPECT_EQ(t.list->geometry(), QRect(10, 20, 180, 150));
  EXPECT_EQ(later->geometry(), QRect(50, 50, 10, 10));
  EXPECT_EQ(t.frame->geometry(), QRect(400, 40, 380, 300));

  delete t.frame; // a control that goes away is skipped, not touched
  t.window->resize(400, 300);
  resizer.resizeControls();
  EXPECT_EQ(t.fixedHeight->x(), 10);

  // A window without controls or without extent is harmless.
  QWidget empty;
  ControlResizer other;
  other.prepare(&empty);
  other.resizeControls();
  EXPECT_TRUE(other.controls().isEmpty());

  QWidget flat;
  flat.setObjectName("frmFlat");
  QWidget* line = child(&flat, "linTop", QRect(3, 0, 50, 0));
  flat.resize(0, 0);
  other.prepare(&flat);
  flat.resize(100, 100);
  other.resizeControls();
  EXPECT_EQ(line->geometry(), QRect(3, 0, 50, 0)) << "no extent at load gives no proportions";
}

// ---- resizeForm

struct ResizeModule : ::testing::Test {
  void SetUp() override { forgetResizedForms(); }
  void TearDown() override { forgetResizedForms(); }
};

TEST_F(ResizeModule, RescalesByWholePercentagesOfTheFirstRegistrationWhileInSight) {
  TestWindow t("frmOptions");
  EXPECT_TRUE(resizeForm(t.window.get())) << "the first call registers";
  EXPECT_EQ(t.list->geometry(), QRect(10, 20, 180, 150));

  t.window->resize(600, 450); // 150 %
  EXPECT_TRUE(resizeForm(t.window.get()));
  EXPECT_EQ(t.list->geometry(), QRect(15, 30, 270, 225));
  EXPECT_EQ(t.fixedHeight->geometry(), QRect(15, 270, 570, 24)) << "a refused height still moves and widens";

  t.window->resize(401, 300); // 100.25 % rounds down to 100 %
  resizeForm(t.window.get());
  EXPECT_EQ(t.list->geometry(), QRect(10, 20, 180, 150));

  // A window out of sight is not rescaled.
  t.window->resize(800, 600);
  t.window->move(0, kOutOfSightTopTwips / 15);
  EXPECT_FALSE(resizeForm(t.window.get()));
  EXPECT_EQ(t.list->geometry(), QRect(10, 20, 180, 150));
  t.window->move(0, kOutOfSightTopTwips / 15 - 1);
  EXPECT_TRUE(resizeForm(t.window.get()));
  EXPECT_EQ(t.list->geometry(), QRect(20, 40, 360, 300));

  // A window loaded again keeps its first registration.
  TestWindow again("frmOptions");
  again.list->setGeometry(0, 0, 50, 50);
  again.window->resize(800, 600);
  resizeForm(again.window.get());
  EXPECT_EQ(again.list->geometry(), QRect(20, 40, 360, 300));
}

TEST_F(ResizeModule, ControlsOnAnInactiveTabStayHiddenAtTheirScaledPlace) {
  TestWindow t("frmOptions");
  hideOnInactiveTab(t.inFrame);
  const int hiddenLeft = t.inFrame->x();
  EXPECT_LT(hiddenLeft, -4000);
  resizeForm(t.window.get()); // registered at its visible place

  t.window->resize(800, 600);
  resizeForm(t.window.get());
  EXPECT_EQ(t.inFrame->x(), 20 - kHiddenOffsetTwips / 15);
  EXPECT_EQ(t.inFrame->width(), 200);
  showOnActiveTab(t.inFrame);
  EXPECT_EQ(t.inFrame->geometry(), QRect(20, 60, 200, 40));

  // Shown, it follows the next resize like any other control.
  t.window->resize(400, 300);
  resizeForm(t.window.get());
  EXPECT_EQ(t.inFrame->geometry(), QRect(10, 30, 100, 20));
}

// A control that asks for another rescale while one is running, as a resize
// event arriving in the middle would.
class Reentrant : public QFrame {
public:
  using QFrame::QFrame;
  std::function<void()> onResize;

protected:
  void resizeEvent(QResizeEvent*) override {
    if (onResize) onResize();
  }
};

TEST_F(ResizeModule, AResizeArrivingDuringAResizeIsIgnored) {
  TestWindow t("frmOptions");
  auto* nested = new Reentrant(t.window.get());
  nested->setObjectName("picNested");
  nested->setGeometry(0, 200, 50, 40);
  t.window->show(); // resize events reach visible controls at once
  resizeForm(t.window.get());
  std::vector<bool> inner;
  nested->onResize = [&] { inner.push_back(resizeForm(t.window.get())); };
  t.window->resize(800, 600);
  EXPECT_TRUE(resizeForm(t.window.get()));
  ASSERT_FALSE(inner.empty());
  for (bool ran : inner) EXPECT_FALSE(ran);
  EXPECT_EQ(nested->geometry(), QRect(0, 400, 100, 80));
  EXPECT_TRUE(t.window->isVisible());
}

} // namespace
