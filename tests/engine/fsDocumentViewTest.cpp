#include "FakeDocumentHost.h"

#include "engine/fsDocument.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A box that asks for a cache, so that cache resets show.
class TCachedBox : public TfsShape {
public:
  bool NeedsCache() const override { return true; }
  void Paint(TBitmap32 &bitmap, const TDeviceContext &) override {
    bitmap.FillRect(DeviceX(0), DeviceY(0), DeviceX(DocWidth()), DeviceY(DocHeight()), 0xFFFF0000);
  }
};

class TFakeRuler : public TfsRuler {
public:
  TRulerUnit Units = ruPixel;
  float Offset = -1, Scale = -1;
  void SetUnits(TRulerUnit units) override { Units = units; }
  void SetView(float offset, float scale) override {
    Offset = offset;
    Scale = scale;
  }
};

// A document in a window of 800 x 600 client pixels.
class ViewTest : public testing::Test {
protected:
  ViewTest() : Doc(&Host) {
    Doc.SetClientSize(800, 600);
    Doc.WindowAttached();
  }
  TFakeDocumentHost Host;
  TfsDocument Doc;
};

TEST(ViewScroll, BarsAreScaledWithin30000AndPositionsClamped) {
  TVirtScrollBox box;
  box.SetHandleAllocated(true);
  box.SetClientSize(100, 200);
  box.SetVirtualArea(0, 0, 60000, 1000);
  EXPECT_FLOAT_EQ(box.ScrollScale(), 0.5f);
  EXPECT_EQ(box.HorzScrollBar(), (TScrollBarInfo{30000, 50, 0}));
  EXPECT_EQ(box.VertScrollBar(), (TScrollBarInfo{500, 100, 0}));

  float dx = 70000.4f, dy = -5;
  box.ScrollBy(dx, dy);
  EXPECT_FLOAT_EQ(box.ScrollX(), 59900);
  EXPECT_EQ(dx, 59900);
  EXPECT_EQ(dy, 0);
  EXPECT_EQ(box.HorzScrollBar().Pos, 29950);

  struct TCase {
    TScrollCode Code;
    int32_t Pos;
    float Expected;
  };
  const TCase cases[] = {{scTop, 0, 0},      {scLineDown, 0, 9},     {scPageDown, 0, 209},
                         {scLineUp, 0, 200}, {scPosition, 300, 600}, {scTrack, 100, 200},
                         {scBottom, 0, 800}, {scPageDown, 0, 800},   {scEndScroll, 0, 800},
                         {scPageUp, 0, 600}};
  for (const TCase &c : cases) {
    box.ScrollMessage(false, c.Code, c.Pos);
    EXPECT_FLOAT_EQ(box.ScrollY(), c.Expected) << int(c.Code);
  }
  // The vertical bar is scaled too (by the larger side): 300 -> 600.
  box.SetTrackThumb(false);
  box.ScrollMessage(false, scTrack, 10);
  EXPECT_FLOAT_EQ(box.ScrollY(), 600) << "tracking off";
  box.SetAutoScroll(false);
  EXPECT_EQ(box.ScrollX(), 0);
  EXPECT_EQ(box.HorzScrollBar(), TScrollBarInfo{});
  box.ScrollMessage(false, scBottom);
  EXPECT_EQ(box.ScrollY(), 0) << "messages are ignored without AutoScroll";
}

TEST_F(ViewTest, PrintLayoutPlacesThePageTenPixelsIn) {
  const TfsPage &page = *Doc.CurrentPage();
  const float s = Doc.ViewScale();
  // Fitted to the width: 800 - 22 pixels for the page and its shadow.
  EXPECT_NEAR(s * (page.ExtentLeft() + page.DocWidth() + page.ExtentRight()), 778, 1e-3);
  EXPECT_FLOAT_EQ(page.DocLeft(), 10 / s);
  EXPECT_FLOAT_EQ(page.DocTop(), 10 / s);
  const TFloatRect b = page.GetParentBounds(true);
  EXPECT_NEAR(Doc.VirtualWidth(), (b.Right - b.Left) * s + 20, 1e-2);
  Doc.SetViewStyle(vsNormal);
  EXPECT_EQ(page.DocLeft(), 0);
  EXPECT_NEAR(Doc.VirtualHeight(), page.DocHeight() * s, 1e-2);
}

TEST_F(ViewTest, ZoomFromTheTopLeftStaysThereElsewhereKeepsTheCentre) {
  const float s = Doc.ViewScale();
  Doc.ZoomBy(2);
  EXPECT_FLOAT_EQ(Doc.ViewScale(), 2 * s);
  EXPECT_EQ(Doc.ScrollX(), 0);
  EXPECT_EQ(Doc.ScrollY(), 0);

  float dx = 100, dy = 300;
  Doc.ScrollBy(dx, dy);
  // The page point at the centre of the client area.
  const float cx = (400 + Doc.ScrollX()) / Doc.ViewScale(),
              cy = (300 + Doc.ScrollY()) / Doc.ViewScale();
  Doc.ZoomIn();
  EXPECT_NEAR((400 + Doc.ScrollX()) / Doc.ViewScale(), cx, 1e-3);
  EXPECT_NEAR((300 + Doc.ScrollY()) / Doc.ViewScale(), cy, 1e-3);
  EXPECT_FLOAT_EQ(Doc.WindowLeft(), Doc.ScrollX() / Doc.ViewScale());
  EXPECT_NEAR(Doc.ZoomPercent(), 110, 1e-3);
  Doc.ZoomOut();
  EXPECT_NEAR(Doc.ZoomPercent(), 100, 1e-3);
}

TEST_F(ViewTest, ZoomPercentIsRelativeToTheWidthAndIgnoredWithoutAutoWidth) {
  const float fit = Doc.ViewScale();
  Doc.SetZoomPercent(200);
  EXPECT_NEAR(Doc.ViewScale(), 2 * fit, 1e-4);
  EXPECT_EQ(Doc.ZoomPercent(), 200);
  Doc.SetAutoWidth(false);
  Doc.SetZoomPercent(50);
  EXPECT_EQ(Doc.ZoomPercent(), 200);
  EXPECT_NEAR(Doc.ViewScale(), 2 * fit, 1e-4);
}

TEST_F(ViewTest, AWidthChangeKeepsAFullWidthPageFilling) {
  Doc.SetZoomPercent(100);
  Doc.SetClientSize(400, 600);
  const TfsPage &page = *Doc.CurrentPage();
  EXPECT_NEAR(Doc.ViewScale() * (page.ExtentLeft() + page.DocWidth() + page.ExtentRight()), 378,
              1e-3);
}

TEST_F(ViewTest, FitPageShowsTheWholePage) {
  Doc.FitPage();
  const TfsPage &page = *Doc.CurrentPage();
  EXPECT_NEAR(Doc.ViewScale(), std::min(777 / page.DocWidth(), 577 / page.DocHeight()), 1e-4);
  EXPECT_NEAR(Doc.ZoomPercent(), page.DocWidth() * Doc.ViewScale() / 777 * 100, 1e-3);
}

TEST_F(ViewTest, RenderAtScreenResTakesTheViewScaleAndRendersCachesAgain) {
  auto box = std::make_unique<TCachedBox>();
  box->SetBounds(20, 20, 30, 30);
  TfsShape *shape = box.get();
  Doc.AddShape(std::move(box));
  TBitmap32 canvas;
  canvas.SetSize(800, 600);
  Doc.PaintView(canvas, canvas.BoundsRect());
  ASSERT_NE(shape->Cache(), nullptr);
  EXPECT_FLOAT_EQ(shape->CacheDpm(), Dpm150);
  Doc.SetRenderAtScreenRes(true);
  EXPECT_FLOAT_EQ(Doc.RenderDpm(), Doc.ViewScale());
  EXPECT_EQ(shape->Cache(), nullptr);
  Doc.PaintView(canvas, canvas.BoundsRect());
  EXPECT_FLOAT_EQ(shape->CacheDpm(), Doc.ViewScale());
  Doc.ZoomBy(2);
  EXPECT_FLOAT_EQ(Doc.RenderDpm(), Doc.ViewScale()) << "follows the zoom";
}

TEST_F(ViewTest, PaintViewRendersOnlyTheClipRectangle) {
  Doc.SetColor(0x808080);
  auto box = std::make_unique<TCachedBox>();
  box->SetBounds(0, 0, 10, 10);
  Doc.AddShape(std::move(box));
  TBitmap32 canvas;
  canvas.SetSize(800, 600);
  canvas.Clear(0xFF00FF00);
  const float s = Doc.ViewScale();
  // The box's top-left is 10 pixels in; its centre 10 + 5 mm in.
  const int32_t in = static_cast<int32_t>(10 + 5 * s);
  Doc.PaintView(canvas, Rect(0, 0, 400, 300));
  EXPECT_EQ(canvas.GetPixel(3, 3), 0xFF808080) << "the control colour around the page";
  EXPECT_EQ(canvas.GetPixel(in, in), 0xFFFF0000);
  EXPECT_EQ(canvas.GetPixel(200, 200), 0xFFFFFFFF) << "the paper";
  EXPECT_EQ(canvas.GetPixel(500, 200), 0xFF00FF00) << "outside the clip";
  // Scrolled: the same page point moves with the view. The page fills the
  // width, so there is nothing to scroll across.
  float dx = 7, dy = 11;
  Doc.ScrollBy(dx, dy);
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, 11);
  canvas.Clear(0xFF00FF00);
  Doc.PaintView(canvas, Rect(0, 0, 400, 300));
  EXPECT_EQ(canvas.GetPixel(in, in - 11), 0xFFFF0000);
  EXPECT_EQ(canvas.GetPixel(in, in + static_cast<int32_t>(5 * s) - 11 + 3), 0xFFFFFFFF);
  EXPECT_EQ(canvas.GetPixel(10 + static_cast<int32_t>(10 * s) + 3, in - 11), 0xFFFFFFFF);

  Doc.BeginPrinting();
  canvas.Clear(0xFF00FF00);
  Doc.Paint(canvas, Rect(0, 0, 400, 300));
  EXPECT_EQ(canvas.GetPixel(200, 200), 0xFF00FF00) << "no painting while printing";
  Doc.EndPrinting();
}

TEST_F(ViewTest, BusyCursorOnlyOutsideWorkOrOverTheDefaultCursor) {
  Doc.SetCursor(crCross);
  Doc.ShowBusy();
  EXPECT_EQ(Host.LastCursor(), crAppStart);
  TBitmap32 canvas;
  canvas.SetSize(10, 10);
  Doc.PaintView(canvas, canvas.BoundsRect());
  EXPECT_EQ(Host.LastCursor(), crCross) << "painting restores the control's cursor";
  Doc.BeginWork(crHourGlass);
  Doc.ShowBusy();
  EXPECT_EQ(Host.LastCursor(), crHourGlass) << "working keeps its cursor";
  Doc.EndWork();
  Doc.SetCursor(crAppStart);
  Doc.BeginWork(crDefault);
  Doc.ShowCursor(crHourGlass);
  EXPECT_EQ(Host.LastCursor(), crHourGlass);
  Doc.EndWork();
}

TEST_F(ViewTest, RulersFollowTheView) {
  TFakeRuler top, left, corner;
  Doc.SetRulerUnits(ruInch);
  Doc.SetRulerTop(&top);
  Doc.SetRulerLeft(&left);
  Doc.SetRulerCorner(&corner);
  const float s = Doc.ViewScale();
  EXPECT_EQ(top.Units, ruInch);
  EXPECT_EQ(corner.Units, ruInch);
  EXPECT_NEAR(top.Offset, -10 / s, 1e-4) << "the page starts 10 pixels in";
  EXPECT_FLOAT_EQ(top.Scale, s);
  float dx = 0, dy = 50;
  Doc.ScrollBy(dx, dy);
  EXPECT_NEAR(left.Offset, (50 - 10) / s, 1e-4);
  EXPECT_NEAR(top.Offset, -10 / s, 1e-4);
}

} // namespace
