#include "app/TfsDocumentView.h"
#include "app/TfsRulerWidget.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// A red box in page millimetres.
class TRedBox : public TfsShape {
public:
  void Paint(TBitmap32 &bitmap, const TDeviceContext &) override {
    bitmap.FillRect(DeviceX(0), DeviceY(0), DeviceX(DocWidth()), DeviceY(DocHeight()), 0xFFFF0000);
  }
};

// A shown view of 640 x 480 with a box at 0..10 mm of the page.
class DocumentViewTest : public testing::Test {
protected:
  DocumentViewTest() {
    View.resize(640, 480);
    View.Document().SetColor(0x808080);
    auto box = std::make_unique<TRedBox>();
    box->SetBounds(0, 0, 10, 10);
    View.Document().AddShape(std::move(box));
    View.show();
    QApplication::processEvents();
  }
  QImage Grab() { return View.viewport()->grab().toImage(); }
  void Wheel(QPoint at, int angle, Qt::KeyboardModifiers modifiers) {
    QWheelEvent e(at, View.viewport()->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton,
                  modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(View.viewport(), &e);
  }
  void Key(int key) {
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&View, &e);
  }
  TfsDocumentView View;
};

TEST_F(DocumentViewTest, PaintsThePageAndItsShapes) {
  TfsDocument &d = View.Document();
  ASSERT_EQ(d.ClientWidth(), View.viewport()->width());
  const float s = d.ViewScale();
  const int in = static_cast<int>(10 + 5 * s);
  const QImage image = Grab();
  EXPECT_EQ(image.pixel(3, 3), qRgb(128, 128, 128)) << "the control colour around the page";
  EXPECT_EQ(image.pixel(in, in), qRgb(255, 0, 0)) << "the box";
  EXPECT_EQ(image.pixel(in + static_cast<int>(10 * s), in), qRgb(255, 255, 255)) << "paper";
}

TEST_F(DocumentViewTest, ScrollsByKeysWheelAndBars) {
  TfsDocument &d = View.Document();
  QScrollBar *bar = View.verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0) << "an A4 page is higher than the view";
  Key(Qt::Key_Down);
  EXPECT_EQ(d.ScrollY(), static_cast<float>(d.LineStep()));
  EXPECT_EQ(bar->value(), d.VertScrollBar().Pos);
  Wheel(QPoint(100, 100), -120, Qt::NoModifier);
  const float afterWheel = d.ScrollY();
  EXPECT_GT(afterWheel, static_cast<float>(d.LineStep()));
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  // A page further, or as far as the page goes.
  EXPECT_EQ(d.ScrollY(), std::min(afterWheel + static_cast<float>(d.ClientHeight()),
                                  d.VirtualHeight() - static_cast<float>(d.ClientHeight())));
  EXPECT_EQ(bar->value(), d.VertScrollBar().Pos);
  Key(Qt::Key_End);
  EXPECT_EQ(d.ScrollY(), d.VirtualHeight() - static_cast<float>(d.ClientHeight()));
  Key(Qt::Key_Home);
  EXPECT_EQ(d.ScrollY(), 0);
  // The box moved with the page: scrolled by a line it is a line higher.
  Key(Qt::Key_Down);
  const float s = d.ViewScale();
  const int in = static_cast<int>(10 + 5 * s);
  const QImage image = Grab();
  EXPECT_EQ(image.pixel(in, in - d.LineStep()), qRgb(255, 0, 0));
  EXPECT_EQ(image.pixel(in, static_cast<int>(10 + 10 * s) - d.LineStep() + 2), qRgb(255, 255, 255));
}

TEST_F(DocumentViewTest, CtrlWheelZoomsAboutThePointer) {
  TfsDocument &d = View.Document();
  const QPoint at(200, 150);
  const struct {
    int Angle;
    float Factor;
  } cases[] = {{120, 1.1f}, {120, 1.1f}, {-120, 1 / 1.1f}};
  for (const auto &c : cases) {
    const float zoom = d.ZoomPercent(), scale = d.ViewScale();
    // The virtual-area point under the pointer, in view-scale-free units.
    const float vx = (d.ScrollX() + at.x()) / scale, vy = (d.ScrollY() + at.y()) / scale;
    Wheel(at, c.Angle, Qt::ControlModifier);
    EXPECT_NEAR(d.ZoomPercent(), zoom * c.Factor, 0.01f);
    EXPECT_NEAR(d.ViewScale(), scale * c.Factor, 1e-4f);
    EXPECT_NEAR((d.ScrollX() + at.x()) / d.ViewScale(), vx, 1 / d.ViewScale());
    EXPECT_NEAR((d.ScrollY() + at.y()) / d.ViewScale(), vy, 1 / d.ViewScale());
    EXPECT_EQ(View.horizontalScrollBar()->value(), d.HorzScrollBar().Pos);
  }
  // The box grew with the zoom and is drawn where the document says.
  const QImage image = Grab();
  const float s = d.ViewScale();
  const int x = static_cast<int>(std::lrint(9 * s - d.ScrollX())) + 10;
  const int y = static_cast<int>(std::lrint(9 * s - d.ScrollY())) + 10;
  ASSERT_GT(x, 0);
  ASSERT_GT(y, 0);
  EXPECT_EQ(image.pixel(x, y), qRgb(255, 0, 0));
}

TEST_F(DocumentViewTest, RulersFollowScrollZoomAndPointer) {
  View.SetRulersVisible(true);
  QApplication::processEvents();
  TfsDocument &d = View.Document();
  TfsRulerWidget *top = View.RulerTop(), *left = View.RulerLeft(), *corner = View.RulerCorner();
  ASSERT_TRUE(top && left && corner);
  EXPECT_EQ(top->width(), View.viewport()->width());
  EXPECT_EQ(left->height(), View.viewport()->height());
  EXPECT_EQ(d.ClientWidth(), View.viewport()->width()) << "the rulers take their room";
  const float y0 = left->Offset();
  EXPECT_EQ(top->Scale(), d.ViewScale());
  Key(Qt::Key_Down);
  EXPECT_NEAR(left->Offset() - y0, d.LineStep() / d.ViewScale(), 1e-4f);
  Wheel(QPoint(50, 50), 120, Qt::ControlModifier);
  EXPECT_EQ(top->Scale(), d.ViewScale());
  EXPECT_EQ(left->Scale(), d.ViewScale());

  QMouseEvent move(QEvent::MouseMove, QPointF(37, 41),
                   View.viewport()->mapToGlobal(QPointF(37, 41)), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(View.viewport(), &move);
  EXPECT_EQ(top->HairLine(), 37);
  EXPECT_EQ(left->HairLine(), 41);

  const TRulerUnit expected[] = {ruCenti, ruInch, ruPixel, ruMilli};
  for (const TRulerUnit u : expected) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), corner->mapToGlobal(QPointF(5, 5)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(corner, &press);
    EXPECT_EQ(d.RulerUnits(), u);
    EXPECT_EQ(top->Units(), u);
    EXPECT_EQ(left->Units(), u);
    EXPECT_EQ(corner->Units(), u);
  }
  View.SetRulersVisible(false);
  EXPECT_EQ(d.RulerTop(), nullptr);
}

TEST(DocumentViewCursor, EngineCursorsMapToQtShapes) {
  EXPECT_EQ(TfsDocumentView::CursorShape(crDefault), Qt::ArrowCursor);
  EXPECT_EQ(TfsDocumentView::CursorShape(crHourGlass), Qt::WaitCursor);
  EXPECT_EQ(TfsDocumentView::CursorShape(crAppStart), Qt::BusyCursor);
  EXPECT_EQ(TfsDocumentView::CursorShape(crSizeNS), Qt::SizeVerCursor);
  EXPECT_EQ(TfsDocumentView::CursorShape(crHandPoint), Qt::PointingHandCursor);
}

} // namespace
