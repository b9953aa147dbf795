// Playing metafiles into bitmaps: each record family drawn from a small
// hand-built file, the pixels checked against where the records put them.
#include "engine/fsMetafilePlayer.h"

#include "engine/MetafileBuilder.h"
#include "persist/fsBmpFormat.h"
#include "support/InstalledFace.h"
#include "text/fsTextLayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <string>

using namespace mftest;

namespace {

constexpr TColor32 Paper = clWhite32;
constexpr uint32_t NullPen = 0x80000008;
constexpr uint32_t NullBrush = 0x80000005;

struct TInk {
  int32_t Left = INT32_MAX, Top = INT32_MAX, Right = INT32_MIN, Bottom = INT32_MIN; // exclusive
  int64_t Pixels = 0;
  bool Empty() const { return Pixels == 0; }
};

// The pixels that are no longer paper, or only those of colour c.
TInk InkOf(const TBitmap32 &b, std::function<bool(TColor32)> is = nullptr) {
  TInk ink;
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) {
      const TColor32 c = b.GetPixel(x, y);
      if (is ? is(c) : c != Paper) {
        ++ink.Pixels;
        ink.Left = std::min(ink.Left, x);
        ink.Top = std::min(ink.Top, y);
        ink.Right = std::max(ink.Right, x + 1);
        ink.Bottom = std::max(ink.Bottom, y + 1);
      }
    }
  return ink;
}

TInk InkOfColour(const TBitmap32 &b, TColor32 c) {
  return InkOf(b, [c](TColor32 p) { return p == c; });
}

struct TPlay {
  TRect Target = Rect(0, 0, 100, 100);
  TSize Size = {100, 100};
  TRect Clip = Rect(0, 0, 100000, 100000);
  std::function<bool(TfsMetafilePlayer &, size_t)> Hook;
};

// A played picture.
struct TShot {
  std::unique_ptr<TBitmap32> B;
  TColor32 GetPixel(int32_t x, int32_t y) const { return B->GetPixel(x, y); }
  operator const TBitmap32 &() const { return *B; }
};

TShot Play(const std::string &bytes, const TPlay &how = TPlay()) {
  TfsMetafile mf;
  mf.LoadFromBytes(bytes);
  auto b = std::make_unique<TBitmap32>();
  b->SetSize(how.Size.cx, how.Size.cy);
  b->FillAll(Paper);
  TfsMetafilePlayer player(mf, *b, how.Target, how.Clip);
  player.OnRecord = how.Hook;
  player.Play();
  return {std::move(b)};
}

// Common EMF records.
TParams Brush(uint32_t ih, uint32_t rgb, uint32_t style = 0, uint32_t hatch = 0) {
  return TParams().U32(ih).U32(style).U32(Ref(rgb)).U32(hatch);
}
TParams Pen(uint32_t ih, uint32_t style, int32_t width, uint32_t rgb) {
  return TParams().U32(ih).U32(style).I32(width).I32(0).U32(Ref(rgb));
}
TParams U32(uint32_t v) {
  return TParams().U32(v);
}
TParams Box(int32_t l, int32_t t, int32_t r, int32_t b) {
  return TParams().RectL(l, t, r, b);
}
TParams Xform(float m11, float m12, float m21, float m22, float dx, float dy) {
  return TParams().F32(m11).F32(m12).F32(m21).F32(m22).F32(dx).F32(dy);
}

// An EMF that fills with red and draws no outline.
TEmfBuilder RedFill() {
  TEmfBuilder b;
  b.Add(emr::CreateBrushIndirect, Brush(1, 0xFF0000));
  b.Add(emr::SelectObject, U32(1));
  b.Add(emr::SelectObject, U32(NullPen));
  return b;
}

void ExpectBox(const TInk &ink, TRect r) {
  EXPECT_EQ(ink.Left, r.Left);
  EXPECT_EQ(ink.Top, r.Top);
  EXPECT_EQ(ink.Right, r.Right);
  EXPECT_EQ(ink.Bottom, r.Bottom);
}

TEST(MetafilePlayer, FilledRectangleCoversExactlyItsPixels) {
  TEmfBuilder b = RedFill();
  b.Add(emr::Rectangle, Box(10, 10, 50, 30));
  TShot bmp = Play(b.Bytes());
  const TInk red = InkOfColour(bmp, clRed32);
  ExpectBox(red, Rect(10, 10, 50, 30));
  EXPECT_EQ(red.Pixels, 40 * 20);
  EXPECT_EQ(InkOf(bmp).Pixels, red.Pixels);
}

TEST(MetafilePlayer, OnePixelPenOutlinesTheBorderPixels) {
  TEmfBuilder b;
  b.Add(emr::CreateBrushIndirect, Brush(1, 0xFF0000));
  b.Add(emr::SelectObject, U32(1));
  b.Add(emr::CreatePen, Pen(2, 0, 1, 0x0000FF));
  b.Add(emr::SelectObject, U32(2));
  b.Add(emr::Rectangle, Box(10, 10, 50, 30));
  TShot bmp = Play(b.Bytes());
  const TInk blue = InkOfColour(bmp, clBlue32);
  ExpectBox(blue, Rect(10, 10, 50, 30));
  EXPECT_EQ(blue.Pixels, 2 * 40 + 2 * 18);
  ExpectBox(InkOfColour(bmp, clRed32), Rect(11, 11, 49, 29));
}

TEST(MetafilePlayer, MappingModesAndWorldTransformsPlaceTheRectangle) {
  struct TCase {
    const char *Name;
    std::function<void(TEmfBuilder &)> Setup;
    TRect Logical;
    TRect Device;
  };
  const TCase cases[] = {
      {"text", [](TEmfBuilder &) {}, Rect(10, 20, 30, 40), Rect(10, 20, 30, 40)},
      {"window and viewport origins",
       [](TEmfBuilder &b) {
         b.Add(emr::SetWindowOrgEx, TParams().I32(100).I32(100));
         b.Add(emr::SetViewportOrgEx, TParams().I32(5).I32(5));
       },
       Rect(110, 120, 130, 140), Rect(15, 25, 35, 45)},
      {"anisotropic",
       [](TEmfBuilder &b) {
         b.Add(emr::SetMapMode, U32(8));
         b.Add(emr::SetWindowExtEx, TParams().I32(1000).I32(500));
         b.Add(emr::SetViewportExtEx, TParams().I32(50).I32(100));
       },
       Rect(200, 50, 600, 150), Rect(10, 10, 30, 30)},
      {"isotropic keeps the aspect",
       [](TEmfBuilder &b) {
         b.Add(emr::SetMapMode, U32(7));
         b.Add(emr::SetWindowExtEx, TParams().I32(100).I32(100));
         b.Add(emr::SetViewportExtEx, TParams().I32(50).I32(100));
       },
       Rect(20, 20, 60, 60), Rect(10, 10, 30, 30)},
      {"window extent ignored in text mode",
       [](TEmfBuilder &b) { b.Add(emr::SetWindowExtEx, TParams().I32(7).I32(3)); },
       Rect(10, 20, 30, 40), Rect(10, 20, 30, 40)},
      // Ten reference pixels per millimetre: a tenth of a millimetre is a
      // pixel, and y points up.
      {"low metric", [](TEmfBuilder &b) { b.Add(emr::SetMapMode, U32(2)); }, Rect(10, -10, 50, -30),
       Rect(10, 10, 50, 30)},
      {"high metric", [](TEmfBuilder &b) { b.Add(emr::SetMapMode, U32(3)); },
       Rect(100, -100, 500, -300), Rect(10, 10, 50, 30)},
      {"world scale and offset",
       [](TEmfBuilder &b) { b.Add(emr::SetWorldTransform, Xform(2, 0, 0, 3, 5, 6)); },
       Rect(5, 5, 15, 10), Rect(15, 21, 35, 36)},
      {"world transform before the page transform",
       [](TEmfBuilder &b) {
         b.Add(emr::SetMapMode, U32(8));
         b.Add(emr::SetWindowExtEx, TParams().I32(2).I32(2));
         b.Add(emr::SetViewportExtEx, TParams().I32(1).I32(1));
         b.Add(emr::SetWorldTransform, Xform(1, 0, 0, 1, 20, 0));
       },
       Rect(0, 20, 40, 60), Rect(10, 10, 30, 30)},
      {"modify: left multiply applies the new transform first",
       [](TEmfBuilder &b) {
         b.Add(emr::SetWorldTransform, Xform(2, 0, 0, 2, 0, 0));
         b.Add(emr::ModifyWorldTransform, Xform(1, 0, 0, 1, 5, 5).U32(2));
       },
       Rect(0, 0, 10, 10), Rect(10, 10, 30, 30)},
      {"modify: right multiply applies it last",
       [](TEmfBuilder &b) {
         b.Add(emr::SetWorldTransform, Xform(2, 0, 0, 2, 0, 0));
         b.Add(emr::ModifyWorldTransform, Xform(1, 0, 0, 1, 5, 5).U32(3));
       },
       Rect(0, 0, 10, 10), Rect(5, 5, 25, 25)},
      {"modify: identity",
       [](TEmfBuilder &b) {
         b.Add(emr::SetWorldTransform, Xform(2, 0, 0, 2, 9, 9));
         b.Add(emr::ModifyWorldTransform, Xform(0, 0, 0, 0, 0, 0).U32(1));
       },
       Rect(10, 20, 30, 40), Rect(10, 20, 30, 40)},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TEmfBuilder b = RedFill();
    c.Setup(b);
    b.Add(emr::Rectangle, Box(c.Logical.Left, c.Logical.Top, c.Logical.Right, c.Logical.Bottom));
    const TInk red = InkOfColour(Play(b.Bytes()), clRed32);
    ExpectBox(red, c.Device);
    EXPECT_EQ(red.Pixels, int64_t(c.Device.Width()) * c.Device.Height());
  }
}

TEST(MetafilePlayer, RotatedWorldTransformTurnsTheShape) {
  // A quarter turn about the origin, then moved right: the wide bar stands.
  TEmfBuilder b = RedFill();
  b.Add(emr::SetWorldTransform, Xform(0, 1, -1, 0, 60, 0));
  b.Add(emr::Rectangle, Box(10, 10, 50, 20));
  ExpectBox(InkOfColour(Play(b.Bytes()), clRed32), Rect(40, 10, 50, 50));
}

TEST(MetafilePlayer, FrameIsStretchedOntoTheTargetRectangle) {
  TEmfBuilder b = RedFill();
  b.Add(emr::Rectangle, Box(10, 10, 50, 30));
  TPlay how;
  how.Size = {300, 200};
  how.Target = Rect(100, 50, 300, 100); // twice as wide, half as high, moved
  ExpectBox(InkOfColour(Play(b.Bytes(), how), clRed32), Rect(120, 55, 200, 65));

  // A frame that does not start at 0 starts at the target's corner.
  TEmfBuilder off(Rect(500, 500, 1500, 1500));
  off.Add(emr::CreateBrushIndirect, Brush(1, 0xFF0000));
  off.Add(emr::SelectObject, U32(1));
  off.Add(emr::SelectObject, U32(NullPen));
  off.Add(emr::Rectangle, Box(50, 50, 60, 60));
  ExpectBox(InkOfColour(Play(off.Bytes()), clRed32), Rect(0, 0, 10, 10));
}

TEST(MetafilePlayer, WmfWindowMapsOntoTheTarget) {
  struct TCase {
    const char *Name;
    TRect Box;
    bool Window;
    TRect Expected;
  };
  const TCase cases[] = {
      {"bounding box as window", Rect(0, 0, 1000, 1000), false, Rect(10, 10, 50, 30)},
      {"bounding box with an origin", Rect(100, 100, 1100, 1100), false, Rect(0, 0, 40, 20)},
      {"window records", Rect(0, 0, 5, 5), true, Rect(20, 20, 100, 60)},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TWmfBuilder w(c.Box);
    if (c.Window) {
      w.Add(meta::SetWindowOrg, TParams().I16(0).I16(0));
      w.Add(meta::SetWindowExt, TParams().I16(500).I16(500));
    }
    w.Add(meta::CreateBrushIndirect, TParams().U16(0).U32(Ref(0xFF0000)).U16(0));
    w.Add(meta::SelectObject, TParams().U16(0));
    w.Add(meta::CreatePenIndirect, TParams().U16(5).I16(0).I16(0).U32(0));
    w.Add(meta::SelectObject, TParams().U16(1));
    w.Add(meta::Rectangle, TParams().I16(300).I16(500).I16(100).I16(100)); // b, r, t, l
    ExpectBox(InkOfColour(Play(w.Bytes()), clRed32), c.Expected);
  }
}

TEST(MetafilePlayer, SaveAndRestoreBringBackObjectsTransformsAndClip) {
  TEmfBuilder b = RedFill();
  b.Add(emr::SaveDc);
  b.Add(emr::CreateBrushIndirect, Brush(2, 0x0000FF));
  b.Add(emr::SelectObject, U32(2));
  b.Add(emr::SetWorldTransform, Xform(2, 0, 0, 2, 0, 0));
  b.Add(emr::IntersectClipRect, Box(0, 0, 5, 5));
  b.Add(emr::SaveDc);
  b.Add(emr::SetWorldTransform, Xform(3, 0, 0, 3, 0, 0));
  b.Add(emr::RestoreDc, TParams().I32(-2)); // back past both saves
  b.Add(emr::Rectangle, Box(40, 40, 60, 60));
  TShot bmp = Play(b.Bytes());
  ExpectBox(InkOfColour(bmp, clRed32), Rect(40, 40, 60, 60));
  EXPECT_TRUE(InkOfColour(bmp, clBlue32).Empty());

  // Restoring to a save that does not exist changes nothing.
  TEmfBuilder n = RedFill();
  n.Add(emr::SaveDc);
  n.Add(emr::CreateBrushIndirect, Brush(2, 0x0000FF));
  n.Add(emr::SelectObject, U32(2));
  n.Add(emr::RestoreDc, TParams().I32(-5));
  n.Add(emr::Rectangle, Box(40, 40, 60, 60));
  ExpectBox(InkOfColour(Play(n.Bytes()), clBlue32), Rect(40, 40, 60, 60));
}

TEST(MetafilePlayer, WmfObjectsTakeTheLowestFreeSlot) {
  TWmfBuilder w(Rect(0, 0, 100, 100), 1000, 4);
  w.Add(meta::CreatePalette, TParams().U16(0x300).U16(0)); // slot 0, never drawn
  w.Add(meta::CreateBrushIndirect, TParams().U16(0).U32(Ref(0xFF0000)).U16(0)); // slot 1
  w.Add(meta::DeleteObject, TParams().U16(0));
  w.Add(meta::CreateBrushIndirect, TParams().U16(0).U32(Ref(0x00FF00)).U16(0)); // slot 0 again
  w.Add(meta::CreatePenIndirect, TParams().U16(5).I16(0).I16(0).U32(0));        // slot 2
  w.Add(meta::SelectObject, TParams().U16(2));
  w.Add(meta::SelectObject, TParams().U16(1));
  w.Add(meta::Rectangle, TParams().I16(20).I16(20).I16(10).I16(10));
  w.Add(meta::SelectObject, TParams().U16(0));
  w.Add(meta::Rectangle, TParams().I16(40).I16(40).I16(30).I16(30));
  TShot bmp = Play(w.Bytes());
  ExpectBox(InkOfColour(bmp, clRed32), Rect(10, 10, 20, 20));
  ExpectBox(InkOfColour(bmp, clLime32), Rect(30, 30, 40, 40));
}

TEST(MetafilePlayer, StockObjectsAndDeletedObjects) {
  TEmfBuilder b;
  b.Add(emr::SelectObject, U32(0x80000004)); // black brush
  b.Add(emr::SelectObject, U32(NullPen));
  b.Add(emr::Rectangle, Box(0, 0, 10, 10));
  b.Add(emr::SelectObject, U32(0x80000002)); // grey brush
  b.Add(emr::Rectangle, Box(20, 0, 30, 10));
  b.Add(emr::CreateBrushIndirect, Brush(3, 0x0000FF));
  b.Add(emr::DeleteObject, U32(3));
  b.Add(emr::SelectObject, U32(3)); // gone: the grey brush stays
  b.Add(emr::Rectangle, Box(40, 0, 50, 10));
  b.Add(emr::SelectObject, U32(NullBrush));
  b.Add(emr::SelectObject, U32(0x80000007)); // black pen
  b.Add(emr::Rectangle, Box(60, 0, 70, 10));
  TShot bmp = Play(b.Bytes());
  ExpectBox(InkOfColour(bmp, clBlack32), Rect(0, 0, 70, 10));
  EXPECT_EQ(InkOfColour(bmp, 0xFF808080).Pixels, 200);
  EXPECT_EQ(bmp.GetPixel(65, 5), Paper); // the null brush leaves the inside
  EXPECT_EQ(bmp.GetPixel(60, 5), clBlack32);
}

TEST(MetafilePlayer, ClipRectanglesAndClipPaths) {
  struct TCase {
    const char *Name;
    std::function<void(TEmfBuilder &)> Clip;
    int64_t Pixels;
    TRect Ink;
  };
  const TCase cases[] = {
      {"intersect", [](TEmfBuilder &b) { b.Add(emr::IntersectClipRect, Box(20, 20, 40, 50)); },
       20 * 30, Rect(20, 20, 40, 50)},
      {"intersect twice",
       [](TEmfBuilder &b) {
         b.Add(emr::IntersectClipRect, Box(20, 20, 40, 50));
         b.Add(emr::IntersectClipRect, Box(30, 0, 100, 30));
       },
       10 * 10, Rect(30, 20, 40, 30)},
      {"exclude", [](TEmfBuilder &b) { b.Add(emr::ExcludeClipRect, Box(20, 20, 40, 40)); },
       80 * 80 - 20 * 20, Rect(10, 10, 90, 90)},
      {"region reset",
       [](TEmfBuilder &b) {
         b.Add(emr::IntersectClipRect, Box(20, 20, 40, 50));
         b.Add(emr::ExtSelectClipRgn, TParams().U32(0).U32(5));
       },
       80 * 80, Rect(10, 10, 90, 90)},
      {"region rectangles",
       [](TEmfBuilder &b) {
         TParams r;
         r.U32(32).U32(1).U32(2).U32(32).RectL(0, 0, 100, 100);
         r.RectL(0, 0, 20, 20).RectL(60, 60, 100, 100);
         b.Add(emr::ExtSelectClipRgn,
               TParams().U32(static_cast<uint32_t>(r.Size())).U32(5).Bytes(r.Str()));
       },
       10 * 10 + 30 * 30, Rect(10, 10, 90, 90)},
      {"path",
       [](TEmfBuilder &b) {
         b.Add(emr::BeginPath);
         b.Add(emr::MoveToEx, TParams().I32(50).I32(10));
         b.Add(emr::LineTo, TParams().I32(90).I32(90));
         b.Add(emr::LineTo, TParams().I32(10).I32(90));
         b.Add(emr::CloseFigure);
         b.Add(emr::EndPath);
         b.Add(emr::SelectClipPath, U32(1));
       },
       80 * 80 / 2, Rect(10, 10, 90, 90)},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TEmfBuilder b = RedFill();
    c.Clip(b);
    b.Add(emr::Rectangle, Box(10, 10, 90, 90));
    TShot bmp = Play(b.Bytes());
    const TInk ink = InkOf(bmp);
    ExpectBox(ink, c.Ink);
    // Antialiased edges of a clip path count as ink too: a pixel's worth
    // of slack per unit of edge.
    EXPECT_NEAR(double(ink.Pixels), double(c.Pixels), 200.0);
    if (std::string(c.Name) != "path") {
      EXPECT_EQ(ink.Pixels, c.Pixels);
    }
  }
}

TEST(MetafilePlayer, CallersClipAndBitmapEdgesBoundEveryRecord) {
  TEmfBuilder b = RedFill();
  b.Add(emr::Rectangle, Box(-1000, -1000, 1000, 1000));
  b.Add(emr::ExtSelectClipRgn, TParams().U32(0).U32(5)); // a reset stays inside the caller's clip
  b.Add(emr::Ellipse, Box(-500, -500, 500, 500));
  TPlay how;
  how.Clip = Rect(10, 20, 60, 70);
  const TInk ink = InkOf(Play(b.Bytes(), how));
  ExpectBox(ink, Rect(10, 20, 60, 70));
  EXPECT_EQ(ink.Pixels, 50 * 50);
}

TEST(MetafilePlayer, HatchedBrushesDrawLinesOnTheBackground) {
  struct TCase {
    uint32_t Hatch;
    bool Opaque;
    std::function<bool(int32_t, int32_t)> Line; // in target pixels
  };
  const TCase cases[] = {
      {0, false, [](int32_t, int32_t y) { return y % 8 == 0; }},
      {1, false, [](int32_t x, int32_t) { return x % 8 == 0; }},
      {4, false, [](int32_t x, int32_t y) { return x % 8 == 0 || y % 8 == 0; }},
      {2, false, [](int32_t x, int32_t y) { return (x - y) % 8 == 0; }},
      {0, true, [](int32_t, int32_t y) { return y % 8 == 0; }},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(testing::Message() << "hatch " << c.Hatch << (c.Opaque ? " opaque" : ""));
    TEmfBuilder b;
    b.Add(emr::SetBkMode, U32(c.Opaque ? 2 : 1));
    b.Add(emr::SetBkColor, U32(Ref(0xFFFF00)));
    b.Add(emr::CreateBrushIndirect, Brush(1, 0x0000FF, 2, c.Hatch));
    b.Add(emr::SelectObject, U32(1));
    b.Add(emr::SelectObject, U32(NullPen));
    b.Add(emr::Rectangle, Box(16, 16, 48, 48));
    TShot bmp = Play(b.Bytes());
    for (int32_t y = 16; y < 48; ++y)
      for (int32_t x = 16; x < 48; ++x) {
        const TColor32 want = c.Line(x, y) ? clBlue32 : c.Opaque ? clYellow32 : Paper;
        ASSERT_EQ(bmp.GetPixel(x, y), want) << x << "," << y;
      }
    EXPECT_EQ(bmp.GetPixel(15, 16), Paper);
  }
}

TEST(MetafilePlayer, DibPatternBrushTilesItsPixels) {
  const TDib dib = Dib24(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0x000000});
  TEmfBuilder b;
  TParams p;
  const size_t head = 24;
  p.U32(1).U32(0).U32(TEmfBuilder::Offset(head)).U32(static_cast<uint32_t>(dib.Header.size()));
  p.U32(TEmfBuilder::Offset(head + dib.Header.size())).U32(static_cast<uint32_t>(dib.Bits.size()));
  p.Bytes(dib.Header).Bytes(dib.Bits);
  b.Add(emr::CreateDibPatternBrushPt, p);
  b.Add(emr::SelectObject, U32(1));
  b.Add(emr::SelectObject, U32(NullPen));
  b.Add(emr::Rectangle, Box(10, 10, 20, 20));
  TShot bmp = Play(b.Bytes());
  EXPECT_EQ(bmp.GetPixel(10, 10), clRed32);
  EXPECT_EQ(bmp.GetPixel(11, 10), clLime32);
  EXPECT_EQ(bmp.GetPixel(10, 11), clBlue32);
  EXPECT_EQ(bmp.GetPixel(11, 11), clBlack32);
  EXPECT_EQ(bmp.GetPixel(13, 15), clBlack32);
  EXPECT_EQ(InkOf(bmp).Pixels, 100);
}

TEST(MetafilePlayer, PathsFillStrokeAndFollowTheFillMode) {
  auto square = [](TEmfBuilder &b, int32_t l, int32_t t, int32_t r, int32_t bo) {
    b.Add(emr::MoveToEx, TParams().I32(l).I32(t));
    b.Add(emr::LineTo, TParams().I32(r).I32(t));
    b.Add(emr::LineTo, TParams().I32(r).I32(bo));
    b.Add(emr::LineTo, TParams().I32(l).I32(bo));
    b.Add(emr::CloseFigure);
  };
  struct TCase {
    const char *Name;
    uint32_t Fill; // 1 alternate, 2 winding
    uint32_t Op;
    bool Hole, Outline;
  };
  const TCase cases[] = {
      {"fill, alternate", 1, emr::FillPath, true, false},
      {"fill, winding", 2, emr::FillPath, false, false},
      {"stroke", 1, emr::StrokePath, true, true},
      {"stroke and fill", 2, emr::StrokeAndFillPath, false, true},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TEmfBuilder b = RedFill();
    b.Add(emr::CreatePen, Pen(2, 0, 1, 0x0000FF));
    b.Add(emr::SelectObject, U32(2));
    b.Add(emr::SetPolyFillMode, U32(c.Fill));
    b.Add(emr::BeginPath);
    square(b, 10, 10, 90, 90);
    square(b, 30, 30, 70, 70); // the same way round
    b.Add(emr::EndPath);
    b.Add(c.Op);
    // Drawing outside the path afterwards is not part of it.
    b.Add(emr::SelectObject, U32(NullPen));
    TShot bmp = Play(b.Bytes());
    const bool filled = c.Op != emr::StrokePath;
    EXPECT_EQ(bmp.GetPixel(20, 20) == clRed32, filled);
    EXPECT_EQ(bmp.GetPixel(50, 50) == clRed32, filled && !c.Hole);
    EXPECT_EQ(bmp.GetPixel(10, 50) == clBlue32, c.Outline);
    EXPECT_EQ(bmp.GetPixel(30, 50) == clBlue32, c.Outline);
    EXPECT_EQ(bmp.GetPixel(5, 5), Paper);
  }
}

TEST(MetafilePlayer, PolyPolygonFormsShareTheFillMode) {
  auto build = [](uint32_t type, uint32_t fill) {
    TEmfBuilder b = RedFill();
    b.Add(emr::SetPolyFillMode, U32(fill));
    TParams p;
    p.RectL(0, 0, 0, 0).U32(2).U32(8).U32(4).U32(4);
    const int32_t pts[] = {10, 10, 90, 10, 90, 90, 10, 90, 30, 30, 70, 30, 70, 70, 30, 70};
    for (int32_t v : pts)
      type == emr::PolyPolygon ? p.I32(v) : p.I16(v);
    b.Add(type, p);
    return Play(b.Bytes());
  };
  for (uint32_t type : {uint32_t(emr::PolyPolygon), uint32_t(emr::PolyPolygon16)}) {
    SCOPED_TRACE(type);
    EXPECT_EQ(build(type, 1).GetPixel(50, 50), Paper);
    EXPECT_EQ(build(type, 2).GetPixel(50, 50), clRed32);
    EXPECT_EQ(InkOfColour(build(type, 1), clRed32).Pixels, 80 * 80 - 40 * 40);
  }
}

TEST(MetafilePlayer, PolygonsAndPolylinesInBothPointSizes) {
  for (bool wide : {true, false}) {
    SCOPED_TRACE(wide ? "32-bit points" : "16-bit points");
    TEmfBuilder b = RedFill();
    auto pts = [&](std::initializer_list<int32_t> v) {
      TParams p;
      p.RectL(0, 0, 0, 0).U32(static_cast<uint32_t>(v.size() / 2));
      for (int32_t x : v)
        wide ? p.I32(x) : p.I16(x);
      return p;
    };
    b.Add(wide ? emr::Polygon : emr::Polygon16, pts({10, 10, 50, 10, 50, 50, 10, 50}));
    b.Add(emr::CreatePen, Pen(2, 0, 1, 0x0000FF));
    b.Add(emr::SelectObject, U32(2));
    b.Add(wide ? emr::Polyline : emr::Polyline16, pts({60, 70, 90, 70}));
    TShot bmp = Play(b.Bytes());
    EXPECT_EQ(InkOfColour(bmp, clRed32).Pixels, 40 * 40);
    const TInk line = InkOfColour(bmp, clBlue32);
    ExpectBox(line, Rect(60, 70, 91, 71));
  }
}

TEST(MetafilePlayer, PenWidthsStylesAndLines) {
  struct TCase {
    const char *Name;
    uint32_t Style;
    int32_t Width;
    bool Scaled; // drawn at twice the size
    int32_t Thickness;
    bool Gaps;
  };
  const TCase cases[] = {
      {"cosmetic", 0, 0, false, 1, false},
      {"cosmetic stays thin when scaled", 0, 0, true, 1, false},
      {"one unit grows with the scale", 0, 1, true, 2, false},
      {"wide", 0, 5, false, 5, false},
      {"wide scaled", 0, 5, true, 10, false},
      {"dashed", 1, 0, false, 1, true},
      {"dotted", 2, 0, false, 1, true},
      {"null", 5, 3, false, 0, false},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TEmfBuilder b;
    b.Add(emr::SetBkMode, U32(1));
    if (c.Scaled)
      b.Add(emr::SetWorldTransform, Xform(2, 0, 0, 2, 0, 0));
    b.Add(emr::CreatePen, Pen(1, c.Style | 0x200 /* flat ends */, c.Width, 0x0000FF));
    b.Add(emr::SelectObject, U32(1));
    const int32_t k = c.Scaled ? 2 : 1;
    b.Add(emr::MoveToEx, TParams().I32(10 / k).I32(50 / k));
    b.Add(emr::LineTo, TParams().I32(90 / k).I32(50 / k));
    TShot bmp = Play(b.Bytes());
    int32_t thick = 0;
    for (int32_t y = 0; y < 100; ++y)
      thick += bmp.GetPixel(40, y) != Paper || bmp.GetPixel(41, y) != Paper ? 1 : 0;
    EXPECT_NEAR(thick, c.Thickness, c.Thickness > 1 ? 1 : 0);
    int32_t gaps = 0;
    const int32_t row = 50 + (c.Thickness > 1 ? 0 : 0);
    for (int32_t x = 12; x < 88; ++x)
      gaps += bmp.GetPixel(x, row) == Paper ? 1 : 0;
    EXPECT_EQ(gaps > 0, c.Gaps || c.Thickness == 0);
  }
}

TEST(MetafilePlayer, CurvesStayInsideTheirBoxes) {
  struct TCase {
    const char *Name;
    uint32_t Type;
    double Area; // of the filled part, in pixels
  };
  const double r = 40;
  const TCase cases[] = {
      {"ellipse", emr::Ellipse, std::numbers::pi * r * r},
      // From the right end to the top: a quarter round counter-clockwise.
      {"pie", emr::Pie, std::numbers::pi * r * r / 4},
      {"chord", emr::Chord, (std::numbers::pi / 4 - 0.5) * r * r},
      {"arc", emr::Arc, 0},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TEmfBuilder b = RedFill();
    b.Add(emr::CreatePen, Pen(2, 0, 0, 0x0000FF));
    if (c.Type == emr::Arc)
      b.Add(emr::SelectObject, U32(2));
    TParams p = Box(10, 10, 90, 90);
    if (c.Type != emr::Ellipse)
      p.I32(100).I32(50).I32(50).I32(0);
    b.Add(c.Type, p);
    TShot bmp = Play(b.Bytes());
    const TInk red =
        InkOf(bmp, [](TColor32 v) { return RedComponent(v) == 255 && GreenComponent(v) < 255; });
    EXPECT_NEAR(double(red.Pixels), c.Area, 2 * std::numbers::pi * r * 0.6 + 1);
    const TInk ink = InkOf(bmp);
    EXPECT_GE(ink.Left, 10);
    EXPECT_GE(ink.Top, 10);
    EXPECT_LE(ink.Right, 91);
    EXPECT_LE(ink.Bottom, 91);
    if (c.Type == emr::Pie || c.Type == emr::Arc || c.Type == emr::Chord) {
      // Only the upper right quarter is drawn.
      EXPECT_GE(ink.Left, 49);
      EXPECT_LE(ink.Bottom, 52);
    }
    if (c.Type == emr::Arc) {
      EXPECT_EQ(bmp.GetPixel(70, 30), Paper);
    }
  }
}

TEST(MetafilePlayer, RoundRectangleCutsItsCorners) {
  TEmfBuilder b = RedFill();
  b.Add(emr::RoundRect, Box(10, 10, 90, 90).I32(40).I32(40));
  TShot bmp = Play(b.Bytes());
  EXPECT_EQ(bmp.GetPixel(11, 11), Paper);
  EXPECT_EQ(bmp.GetPixel(50, 11), clRed32);
  EXPECT_EQ(bmp.GetPixel(11, 50), clRed32);
  EXPECT_EQ(bmp.GetPixel(50, 50), clRed32);
  const double area = 80.0 * 80 - (4 - std::numbers::pi) * 20 * 20;
  EXPECT_NEAR(double(InkOf(bmp).Pixels), area, 60);
}

TEST(MetafilePlayer, BezierWithStraightControlsIsItsChord) {
  TEmfBuilder b;
  b.Add(emr::CreatePen, Pen(1, 0, 0, 0x0000FF));
  b.Add(emr::SelectObject, U32(1));
  b.Add(emr::PolyBezier, TParams()
                             .RectL(0, 0, 0, 0)
                             .U32(4)
                             .I32(10)
                             .I32(40)
                             .I32(30)
                             .I32(40)
                             .I32(60)
                             .I32(40)
                             .I32(80)
                             .I32(40));
  TShot bmp = Play(b.Bytes());
  ExpectBox(InkOfColour(bmp, clBlue32), Rect(10, 40, 81, 41));
  // A bent one leaves the line.
  TEmfBuilder c;
  c.Add(emr::PolyBezier, TParams()
                             .RectL(0, 0, 0, 0)
                             .U32(4)
                             .I32(10)
                             .I32(40)
                             .I32(10)
                             .I32(10)
                             .I32(80)
                             .I32(10)
                             .I32(80)
                             .I32(40));
  const TInk bent = InkOf(Play(c.Bytes()));
  EXPECT_LE(bent.Top, 20);
  EXPECT_GE(bent.Top, 10);
}

TEST(MetafilePlayer, StretchDibitsPutsTheRowsTheRightWayUp) {
  for (bool topDown : {false, true}) {
    SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
    const TDib dib = Dib24(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00}, topDown);
    TParams p;
    const size_t head = 72;
    p.RectL(0, 0, 0, 0).I32(10).I32(20).I32(0).I32(0).I32(2).I32(2);
    p.U32(TEmfBuilder::Offset(head)).U32(static_cast<uint32_t>(dib.Header.size()));
    p.U32(TEmfBuilder::Offset(head + dib.Header.size()))
        .U32(static_cast<uint32_t>(dib.Bits.size()));
    p.U32(0).U32(0x00CC0020).I32(40).I32(20);
    p.Bytes(dib.Header).Bytes(dib.Bits);
    TEmfBuilder b;
    b.Add(emr::StretchDiBits, p);
    TShot bmp = Play(b.Bytes());
    EXPECT_EQ(bmp.GetPixel(10, 20), clRed32);
    EXPECT_EQ(bmp.GetPixel(49, 20), clLime32);
    EXPECT_EQ(bmp.GetPixel(10, 39), clBlue32);
    EXPECT_EQ(bmp.GetPixel(49, 39), clYellow32);
    ExpectBox(InkOf(bmp), Rect(10, 20, 50, 40));
  }
}

TEST(MetafilePlayer, BitBltWithoutSourceFillsWithTheBrushAndWmfStretchDib) {
  TEmfBuilder b = RedFill();
  TParams p;
  p.RectL(0, 0, 0, 0).I32(5).I32(5).I32(10).I32(10).U32(0x00F00021).I32(0).I32(0);
  p.Bytes(Xform(1, 0, 0, 1, 0, 0).Str()).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);
  b.Add(emr::BitBlt, p);
  ExpectBox(InkOfColour(Play(b.Bytes()), clRed32), Rect(5, 5, 15, 15));

  const TDib dib = Dib24(1, 2, {0x00FF00, 0x0000FF});
  TWmfBuilder w(Rect(0, 0, 100, 100), 1000);
  TParams s;
  s.U32(0x00CC0020).U16(0).I16(2).I16(1).I16(0).I16(0); // rop, usage, src h, w, y, x
  s.I16(20).I16(10).I16(30).I16(40);                    // dest h, w, y, x
  s.Bytes(dib.Header).Bytes(dib.Bits);
  w.Add(meta::StretchDib, s);
  TShot bmp = Play(w.Bytes());
  ExpectBox(InkOfColour(bmp, clLime32), Rect(40, 30, 50, 40));
  ExpectBox(InkOfColour(bmp, clBlue32), Rect(40, 40, 50, 50));
}

TEST(MetafilePlayer, MaskAndImageBlitsLeaveTransparentPixels) {
  // The classic pair: AND a mask (white outside), then OR the image (black
  // outside). On a transparent page the outside stays transparent.
  const TDib mask = Dib24(2, 1, {0x000000, 0xFFFFFF});
  const TDib image = Dib24(2, 1, {0xFF0000, 0x000000});
  TEmfBuilder b;
  for (const auto &[dib, rop] : {std::pair{mask, 0x008800C6u}, std::pair{image, 0x00EE0086u}}) {
    TParams p;
    const size_t head = 72;
    p.RectL(0, 0, 0, 0).I32(0).I32(0).I32(0).I32(0).I32(2).I32(1);
    p.U32(TEmfBuilder::Offset(head)).U32(static_cast<uint32_t>(dib.Header.size()));
    p.U32(TEmfBuilder::Offset(head + dib.Header.size()))
        .U32(static_cast<uint32_t>(dib.Bits.size()));
    p.U32(0).U32(rop).I32(20).I32(10);
    p.Bytes(dib.Header).Bytes(dib.Bits);
    b.Add(emr::StretchDiBits, p);
  }
  TfsMetafile mf;
  mf.LoadFromBytes(b.Bytes());
  TBitmap32 bmp;
  bmp.SetSize(100, 100);
  bmp.FillAll(clTransparent32);
  bmp.SetCombineMode(cmMerge);
  TfsMetafilePlayer(mf, bmp, Rect(0, 0, 100, 100), bmp.BoundsRect()).Play();
  EXPECT_EQ(bmp.GetPixel(5, 5), clRed32);
  EXPECT_EQ(AlphaComponent(bmp.GetPixel(15, 5)), 0);
}

TEST(MetafilePlayer, ReplacementPenAndBrushHoldForTheRecordsTheyWrap) {
  TEmfBuilder b;
  b.Add(emr::CreateBrushIndirect, Brush(1, 0xFF0000));
  b.Add(emr::SelectObject, U32(1));
  b.Add(emr::CreatePen, Pen(2, 0, 1, 0x000000));
  b.Add(emr::SelectObject, U32(2));
  b.Add(emr::Rectangle, Box(10, 10, 40, 40));
  b.Add(emr::Rectangle, Box(50, 50, 80, 80));
  const std::string bytes = b.Bytes();
  TfsMetafilePen pen;
  pen.Color = clBlue32;
  pen.Width = 3;
  TfsMetafileBrush brush;
  brush.Color = clLime32;
  TPlay how;
  size_t rectangles = 0;
  how.Hook = [&](TfsMetafilePlayer &p, size_t i) {
    const bool first = i == 5; // the first rectangle only
    if (!first) {
      p.PlayRecord(i);
      return true;
    }
    const TfsMetafilePen keptPen = p.SelectPen(pen);
    const TfsMetafileBrush keptBrush = p.SelectBrush(brush);
    p.PlayRecord(i);
    EXPECT_EQ(p.SelectPen(keptPen).Color, clBlue32);
    EXPECT_EQ(p.SelectBrush(keptBrush).Color, clLime32);
    ++rectangles;
    return true;
  };
  TShot bmp = Play(bytes, how);
  EXPECT_EQ(rectangles, 1u);
  EXPECT_EQ(bmp.GetPixel(25, 25), clLime32);
  EXPECT_EQ(bmp.GetPixel(11, 25), clBlue32); // three pixels of pen
  EXPECT_EQ(bmp.GetPixel(65, 65), clRed32);  // the picture's own brush again
  EXPECT_EQ(bmp.GetPixel(50, 65), clBlack32);
  EXPECT_EQ(bmp.GetPixel(51, 65), clRed32);

  // A hook that answers false stops the playback.
  TPlay stop;
  stop.Hook = [](TfsMetafilePlayer &p, size_t i) {
    p.PlayRecord(i);
    return i < 5;
  };
  TShot half = Play(bytes, stop);
  EXPECT_EQ(half.GetPixel(25, 25), clRed32);
  EXPECT_EQ(half.GetPixel(65, 65), Paper);
}

TEST(MetafilePlayer, UnknownRecordsAndCommentsAreSkipped) {
  TEmfBuilder b = RedFill();
  b.Add(9999, TParams().U32(1).U32(2));
  b.Add(emr::GdiComment, TParams().U32(8).Bytes("EMF+").U32(0x4001));
  b.Add(emr::Rectangle, Box(10, 10, 20, 20));
  EXPECT_EQ(InkOfColour(Play(b.Bytes()), clRed32).Pixels, 100);
}

TEST(MetafilePlayer, TextIsDrawnAtItsAlignedReference) {
  InstallTextLayer();
  REQUIRE_FACE("DejaVu Sans");
  struct TCase {
    const char *Name;
    uint32_t Align;
    std::function<void(const TInk &)> Check;
  };
  const TCase cases[] = {
      {"top left", 0,
       [](const TInk &i) {
         EXPECT_GE(i.Left, 20);
         EXPECT_LE(i.Left, 24);
         EXPECT_GE(i.Top, 40);
         EXPECT_LE(i.Bottom, 64);
       }},
      {"baseline", 24,
       [](const TInk &i) {
         EXPECT_LE(i.Bottom, 42);
         EXPECT_GE(i.Top, 20);
       }},
      {"right", 2, [](const TInk &i) { EXPECT_LE(i.Right, 21); }},
      {"centre", 6,
       [](const TInk &i) {
         EXPECT_LT(i.Left, 20);
         EXPECT_GT(i.Right, 20);
         EXPECT_NEAR((i.Left + i.Right) / 2.0, 20, 3);
       }},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TEmfBuilder b(Rect(0, 0, 2000, 1000));
    TParams font;
    font.U32(1).I32(-20).I32(0).I32(0).I32(0).I32(400).U8(0).U8(0).U8(0).U8(0).U32(0);
    std::u16string face = u"DejaVu Sans";
    face.resize(32, u'\0');
    font.Utf16(face);
    b.Add(emr::ExtCreateFontIndirectW, font);
    b.Add(emr::SelectObject, U32(1));
    b.Add(emr::SetTextColor, U32(Ref(0x0000FF)));
    b.Add(emr::SetBkMode, U32(1));
    b.Add(emr::SetTextAlign, U32(c.Align));
    TParams t;
    t.RectL(0, 0, 0, 0).U32(1).F32(1).F32(1);
    t.I32(20).I32(40).U32(3).U32(TEmfBuilder::Offset(68)).U32(0).RectL(0, 0, 0, 0).U32(0);
    t.Utf16(u"HiH");
    b.Add(emr::ExtTextOutW, t);
    TPlay how;
    how.Size = {200, 100};
    how.Target = Rect(0, 0, 200, 100);
    TShot bmp = Play(b.Bytes(), how);
    const TInk ink = InkOf(bmp);
    ASSERT_FALSE(ink.Empty());
    c.Check(ink);
    EXPECT_GT(InkOf(bmp, [](TColor32 v) { return v == clBlue32; }).Pixels, 20);
  }
}

TEST(MetafilePlayer, TextSpacingFollowsTheAdvances) {
  InstallTextLayer();
  REQUIRE_FACE("DejaVu Sans");
  auto width = [](bool spaced) {
    TEmfBuilder b(Rect(0, 0, 3000, 1000));
    TParams font;
    font.U32(1).I32(-20).I32(0).I32(0).I32(0).I32(400).U8(0).U8(0).U8(0).U8(0).U32(0);
    std::u16string face = u"DejaVu Sans";
    face.resize(32, u'\0');
    font.Utf16(face);
    b.Add(emr::ExtCreateFontIndirectW, font);
    b.Add(emr::SelectObject, U32(1));
    b.Add(emr::SetBkMode, U32(1));
    TParams t;
    t.RectL(0, 0, 0, 0).U32(1).F32(1).F32(1);
    t.I32(10).I32(40).U32(3).U32(TEmfBuilder::Offset(68)).U32(0).RectL(0, 0, 0, 0);
    t.U32(spaced ? TEmfBuilder::Offset(76) : 0);
    t.Utf16(u"iii").U16(0);
    t.I32(60).I32(60).I32(60);
    b.Add(emr::ExtTextOutW, t);
    TPlay how;
    how.Size = {300, 100};
    how.Target = Rect(0, 0, 300, 100);
    const TInk ink = InkOf(Play(b.Bytes(), how));
    return ink.Right - ink.Left;
  };
  const int32_t plain = width(false), spaced = width(true);
  EXPECT_LT(plain, 40);
  EXPECT_GE(spaced, 120); // two gaps of 60 and a letter
  EXPECT_LE(spaced, 135);
}

TEST(MetafilePlayer, WmfTextOutDrawsItsBytes) {
  InstallTextLayer();
  REQUIRE_FACE("DejaVu Sans");
  TWmfBuilder w(Rect(0, 0, 200, 100), 1000);
  TParams font;
  font.I16(-30).I16(0).I16(0).I16(0).I16(700).U8(0).U8(0).U8(0).U8(0).U32(0);
  std::string face = "DejaVu Sans";
  face.resize(32, '\0');
  font.Bytes(face);
  w.Add(meta::CreateFontIndirect, font);
  w.Add(meta::SelectObject, TParams().U16(0));
  w.Add(meta::SetTextColor, TParams().U32(Ref(0xFF0000)));
  w.Add(meta::SetBkMode, TParams().U16(1));
  w.Add(meta::TextOut, TParams().I16(3).Bytes("WMF").U8(0).I16(30).I16(50)); // y 30, x 50
  TPlay how;
  how.Size = {200, 100};
  how.Target = Rect(0, 0, 200, 100);
  TShot bmp = Play(w.Bytes(), how);
  const TInk ink = InkOf(bmp);
  ASSERT_FALSE(ink.Empty());
  EXPECT_GE(ink.Left, 50);
  EXPECT_GE(ink.Top, 30);
  EXPECT_LE(ink.Bottom, 64);
  EXPECT_GT(ink.Right - ink.Left, 40);
  EXPECT_GT(InkOfColour(bmp, clRed32).Pixels, 30);
}

// A geometric pen of ExtCreatePen: style, width, solid black.
TParams ExtPen(uint32_t ih, uint32_t style, uint32_t width, std::vector<uint32_t> dashes = {}) {
  TParams p;
  p.U32(ih).U32(0).U32(0).U32(0).U32(0);
  p.U32(style).U32(width).U32(0).U32(0).U32(0).U32(static_cast<uint32_t>(dashes.size()));
  for (uint32_t d : dashes)
    p.U32(d);
  return p;
}

bool Dark(TColor32 c) {
  return Luma(c) < 100;
}
bool Light(TColor32 c) {
  return Luma(c) > 230;
}

TEST(MetafilePlayer, GeometricPenCapsAndJoins) {
  struct TCap {
    const char *Name;
    uint32_t Cap;
    bool End, Corner; // ink past the end on the axis, and at the square corner
  };
  const TCap caps[] = {
      {"flat", 0x200, false, false}, {"square", 0x100, true, true}, {"round", 0x000, true, false}};
  for (const TCap &c : caps) {
    SCOPED_TRACE(c.Name);
    TEmfBuilder b;
    b.Add(emr::ExtCreatePen, ExtPen(1, 0x10000 | c.Cap, 10));
    b.Add(emr::SelectObject, U32(1));
    b.Add(emr::MoveToEx, TParams().I32(20).I32(50));
    b.Add(emr::LineTo, TParams().I32(80).I32(50));
    TShot bmp = Play(b.Bytes());
    EXPECT_TRUE(Dark(bmp.GetPixel(50, 46)) && Dark(bmp.GetPixel(50, 54)));
    EXPECT_TRUE(Light(bmp.GetPixel(50, 44)));
    EXPECT_EQ(Dark(bmp.GetPixel(17, 50)), c.End);
    EXPECT_EQ(Dark(bmp.GetPixel(16, 46)), c.Corner);
    EXPECT_EQ(Light(bmp.GetPixel(16, 46)), !c.Corner);
  }
  struct TJoin {
    const char *Name;
    uint32_t Join;
    int32_t TopMin, TopMax; // the highest inked row above the vertex at y 20
  };
  const TJoin joins[] = {
      {"mitre", 0x2000, 8, 10}, {"round", 0x0000, 14, 16}, {"bevel", 0x1000, 17, 19}};
  for (const TJoin &j : joins) {
    SCOPED_TRACE(j.Name);
    TEmfBuilder b;
    b.Add(emr::ExtCreatePen, ExtPen(1, 0x10000 | 0x200 | j.Join, 10));
    b.Add(emr::SelectObject, U32(1));
    b.Add(emr::Polyline,
          TParams().RectL(0, 0, 0, 0).U32(3).I32(20).I32(80).I32(50).I32(20).I32(80).I32(80));
    const TInk ink = InkOf(Play(b.Bytes()));
    EXPECT_GE(ink.Top, j.TopMin);
    EXPECT_LE(ink.Top, j.TopMax);
  }
}

TEST(MetafilePlayer, UserDashesAndOpaqueGaps) {
  for (bool opaque : {false, true}) {
    SCOPED_TRACE(opaque ? "opaque" : "transparent");
    TEmfBuilder b;
    b.Add(emr::SetBkMode, U32(opaque ? 2 : 1));
    b.Add(emr::SetBkColor, U32(Ref(0xFFFF00)));
    b.Add(emr::ExtCreatePen, ExtPen(1, 7, 1, {4, 4})); // cosmetic, user style
    b.Add(emr::SelectObject, U32(1));
    b.Add(emr::MoveToEx, TParams().I32(10).I32(50));
    b.Add(emr::LineTo, TParams().I32(90).I32(50));
    TShot bmp = Play(b.Bytes());
    // Dashes start every eight pixels; between them paper or background.
    std::vector<int32_t> starts;
    for (int32_t x = 10; x < 90; ++x)
      if (bmp.GetPixel(x, 50) == clBlack32 && bmp.GetPixel(x - 1, 50) != clBlack32)
        starts.push_back(x);
    ASSERT_GE(starts.size(), 8u);
    for (size_t i = 1; i < starts.size(); ++i)
      EXPECT_EQ(starts[i] - starts[i - 1], 8);
    const TColor32 gap = bmp.GetPixel(starts[1] - 1, 50);
    EXPECT_EQ(gap, opaque ? clYellow32 : Paper);
  }
}

TEST(MetafilePlayer, PixelsOpaqueTextBoxesAndUnscaledDibs) {
  TEmfBuilder b;
  b.Add(15, TParams().I32(7).I32(9).U32(Ref(0x00FF00))); // SetPixelV
  b.Add(emr::SetBkColor, U32(Ref(0x0000FF)));
  TParams t; // no characters, an opaque rectangle
  t.RectL(0, 0, 0, 0).U32(1).F32(1).F32(1);
  t.I32(0).I32(0).U32(0).U32(TEmfBuilder::Offset(68)).U32(2).RectL(20, 20, 30, 25).U32(0);
  b.Add(emr::ExtTextOutW, t);
  const TDib dib = Dib24(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00});
  TParams d; // SetDIBitsToDevice: all scan lines of a 2 x 2 picture at (40, 40)
  const size_t head = 68;
  d.RectL(0, 0, 0, 0).I32(40).I32(40).I32(0).I32(0).I32(2).I32(2);
  d.U32(TEmfBuilder::Offset(head)).U32(static_cast<uint32_t>(dib.Header.size()));
  d.U32(TEmfBuilder::Offset(head + dib.Header.size())).U32(static_cast<uint32_t>(dib.Bits.size()));
  d.U32(0).U32(0).U32(2).Bytes(dib.Header).Bytes(dib.Bits);
  b.Add(80, d);
  TShot bmp = Play(b.Bytes());
  EXPECT_EQ(bmp.GetPixel(7, 9), clLime32);
  EXPECT_EQ(InkOfColour(bmp, clBlue32).Pixels, 50 + 1); // the box and the picture's blue
  EXPECT_EQ(bmp.GetPixel(20, 20), clBlue32);
  EXPECT_EQ(bmp.GetPixel(29, 24), clBlue32);
  EXPECT_EQ(bmp.GetPixel(30, 24), Paper);
  EXPECT_EQ(bmp.GetPixel(29, 25), Paper);
  EXPECT_EQ(bmp.GetPixel(40, 40), clRed32);
  EXPECT_EQ(bmp.GetPixel(41, 40), clLime32);
  EXPECT_EQ(bmp.GetPixel(40, 41), clBlue32);
  EXPECT_EQ(bmp.GetPixel(41, 41), clYellow32);
  EXPECT_EQ(InkOf(bmp).Pixels, 1 + 50 + 4);
}

TEST(MetafilePlayer, AlphaBlendUsesTheSourceAlpha) {
  // One pixel of half-transparent red, premultiplied, over white.
  TParams h;
  h.U32(40).I32(1).I32(1).U16(1).U16(32).U32(0).U32(4).U32(0).U32(0).U32(0).U32(0);
  const std::string bits("\x00\x00\x80\x80", 4);
  TParams p;
  const size_t head = 100;
  p.RectL(0, 0, 0, 0).I32(10).I32(10).I32(10).I32(10);
  p.U32(0x01FF0000); // AC_SRC_ALPHA, constant alpha 255
  p.I32(0).I32(0).Bytes(Xform(1, 0, 0, 1, 0, 0).Str()).U32(0).U32(0);
  p.U32(TEmfBuilder::Offset(head)).U32(40).U32(TEmfBuilder::Offset(head + 40)).U32(4);
  p.I32(1).I32(1).Bytes(h.Str()).Bytes(bits);
  TEmfBuilder b;
  b.Add(114, p);
  TShot bmp = Play(b.Bytes());
  const TColor32 c = bmp.GetPixel(15, 15);
  EXPECT_EQ(RedComponent(c), 255);
  EXPECT_NEAR(GreenComponent(c), 127, 2);
  EXPECT_NEAR(BlueComponent(c), 127, 2);
  EXPECT_EQ(bmp.GetPixel(9, 15), Paper);
}

TEST(MetafilePlayer, ArcDirectionChoosesTheWayRound) {
  const double r = 40;
  for (bool clockwise : {false, true}) {
    SCOPED_TRACE(clockwise ? "clockwise" : "counter-clockwise");
    TEmfBuilder b = RedFill();
    if (clockwise)
      b.Add(57, U32(2));
    b.Add(emr::Pie, Box(10, 10, 90, 90).I32(100).I32(50).I32(50).I32(0));
    TShot bmp = Play(b.Bytes());
    const double quarter = std::numbers::pi * r * r / 4;
    EXPECT_NEAR(double(InkOf(bmp).Pixels), clockwise ? 3 * quarter : quarter, 150);
    EXPECT_EQ(bmp.GetPixel(30, 70) == Paper, !clockwise); // the lower left quarter
  }
}

TEST(MetafilePlayer, WmfRecordFamilies) {
  struct TCase {
    const char *Name;
    std::function<void(TWmfBuilder &)> Records;
    std::function<void(const TShot &)> Check;
  };
  auto red = [](TWmfBuilder &w) {
    w.Add(meta::CreateBrushIndirect, TParams().U16(0).U32(Ref(0xFF0000)).U16(0)); // slot 0
    w.Add(meta::SelectObject, TParams().U16(0));
    w.Add(meta::CreatePenIndirect, TParams().U16(5).I16(0).I16(0).U32(0)); // slot 1
    w.Add(meta::SelectObject, TParams().U16(1));
  };
  const TCase cases[] = {
      {"clip rectangles",
       [&](TWmfBuilder &w) {
         red(w);
         w.Add(meta::IntersectClipRect, TParams().I16(80).I16(80).I16(20).I16(20));
         w.Add(meta::ExcludeClipRect, TParams().I16(60).I16(60).I16(40).I16(40));
         w.Add(meta::Rectangle, TParams().I16(100).I16(100).I16(0).I16(0));
       },
       [](const TShot &s) {
         ExpectBox(InkOfColour(s, clRed32), Rect(20, 20, 80, 80));
         EXPECT_EQ(InkOfColour(s, clRed32).Pixels, 60 * 60 - 20 * 20);
       }},
      {"saved clip",
       [&](TWmfBuilder &w) {
         red(w);
         w.Add(meta::SaveDc);
         w.Add(meta::IntersectClipRect, TParams().I16(30).I16(30).I16(20).I16(20));
         w.Add(meta::RestoreDc, TParams().I16(-1));
         w.Add(meta::Rectangle, TParams().I16(50).I16(50).I16(10).I16(10));
       },
       [](const TShot &s) { ExpectBox(InkOfColour(s, clRed32), Rect(10, 10, 50, 50)); }},
      {"poly-polygon",
       [&](TWmfBuilder &w) {
         red(w);
         TParams p;
         p.U16(2).U16(4).U16(3);
         for (int16_t v : {10, 10, 40, 10, 40, 40, 10, 40, 60, 60, 90, 60, 60, 90})
           p.I16(v);
         w.Add(meta::PolyPolygon, p);
       },
       [](const TShot &s) {
         EXPECT_EQ(s.GetPixel(25, 25), clRed32);
         EXPECT_EQ(s.GetPixel(62, 62), clRed32);
         EXPECT_EQ(s.GetPixel(88, 88), Paper);
         EXPECT_EQ(s.GetPixel(50, 50), Paper);
       }},
      {"lines",
       [&](TWmfBuilder &w) {
         w.Add(meta::CreatePenIndirect, TParams().U16(0).I16(0).I16(0).U32(Ref(0x0000FF)));
         w.Add(meta::SelectObject, TParams().U16(0));
         w.Add(meta::MoveTo, TParams().I16(20).I16(10)); // y, x
         w.Add(meta::LineTo, TParams().I16(20).I16(50));
         w.Add(meta::Polyline, TParams().I16(2).I16(60).I16(30).I16(60).I16(70));
       },
       [](const TShot &s) {
         ExpectBox(InkOfColour(s, clBlue32), Rect(10, 20, 61, 71));
         EXPECT_EQ(s.GetPixel(30, 20), clBlue32);
         EXPECT_EQ(s.GetPixel(60, 50), clBlue32);
       }},
      {"pattern fill",
       [&](TWmfBuilder &w) {
         red(w);
         w.Add(meta::PatBlt,
               TParams().U32(0x00F00021).I16(10).I16(20).I16(30).I16(40)); // h, w, y, x
       },
       [](const TShot &s) { ExpectBox(InkOfColour(s, clRed32), Rect(40, 30, 60, 40)); }},
      {"ellipse and window",
       [&](TWmfBuilder &w) {
         w.Add(meta::SetWindowOrg, TParams().I16(-50).I16(-50));
         w.Add(meta::SetWindowExt, TParams().I16(100).I16(100));
         red(w);
         w.Add(meta::Ellipse, TParams().I16(40).I16(40).I16(-40).I16(-40));
       },
       [](const TShot &s) {
         const TInk ink = InkOf(s); // with the antialiased rim
         EXPECT_NEAR(double(ink.Pixels), std::numbers::pi * 40 * 40,
                     2 * std::numbers::pi * 40 * 0.6);
         ExpectBox(ink, Rect(10, 10, 90, 90));
         EXPECT_EQ(s.GetPixel(50, 50), clRed32);
         EXPECT_EQ(s.GetPixel(12, 12), Paper);
       }},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TWmfBuilder w(Rect(0, 0, 100, 100), 1000);
    c.Records(w);
    c.Check(Play(w.Bytes()));
  }
}

TEST(MetafilePlayer, RotatedAndUnderlinedText) {
  InstallTextLayer();
  REQUIRE_FACE("DejaVu Sans");
  auto play = [](int32_t escapement, bool underline) {
    TEmfBuilder b(Rect(0, 0, 2000, 2000));
    TParams font;
    font.U32(1).I32(-20).I32(0).I32(escapement).I32(escapement).I32(400);
    font.U8(0).U8(underline ? 1 : 0).U8(0).U8(0).U32(0);
    std::u16string face = u"DejaVu Sans";
    face.resize(32, u'\0');
    font.Utf16(face);
    b.Add(emr::ExtCreateFontIndirectW, font);
    b.Add(emr::SelectObject, U32(1));
    b.Add(emr::SetBkMode, U32(1));
    b.Add(emr::SetTextAlign, U32(24));
    TParams t;
    t.RectL(0, 0, 0, 0).U32(1).F32(1).F32(1);
    t.I32(100).I32(100).U32(5).U32(TEmfBuilder::Offset(68)).U32(0).RectL(0, 0, 0, 0).U32(0);
    t.Utf16(u"LLLLL");
    b.Add(emr::ExtTextOutW, t);
    TPlay how;
    how.Size = {200, 200};
    how.Target = Rect(0, 0, 200, 200);
    return InkOf(Play(b.Bytes(), how));
  };
  const TInk flat = play(0, false), up = play(900, false), under = play(0, true);
  EXPECT_GT(flat.Right - flat.Left, flat.Bottom - flat.Top);
  // A quarter turn counter-clockwise: the line rises from the reference.
  EXPECT_GT(up.Bottom - up.Top, up.Right - up.Left);
  EXPECT_LE(up.Bottom, 101);
  EXPECT_LT(up.Top, 60);
  EXPECT_LE(up.Right, 101);
  // The underline lies below the baseline.
  EXPECT_LE(flat.Bottom, 101);
  EXPECT_GT(under.Bottom, 101);
  EXPECT_GT(under.Pixels, flat.Pixels);
}

TEST(MetafilePlayer, LinesAndCurvesGoOnFromTheCurrentPosition) {
  TEmfBuilder b;
  b.Add(emr::CreatePen, Pen(1, 0, 0, 0x0000FF));
  b.Add(emr::SelectObject, U32(1));
  b.Add(emr::MoveToEx, TParams().I32(10).I32(10));
  b.Add(emr::PolylineTo, TParams().RectL(0, 0, 0, 0).U32(2).I32(50).I32(10).I32(50).I32(50));
  b.Add(emr::LineTo, TParams().I32(10).I32(50));
  b.Add(emr::MoveToEx, TParams().I32(10).I32(80));
  b.Add(5, TParams().RectL(0, 0, 0, 0).U32(3).I32(30).I32(80).I32(60).I32(80).I32(80).I32(80));
  b.Add(emr::LineTo, TParams().I32(80).I32(90));
  TShot bmp = Play(b.Bytes());
  for (TPoint p : {Point(30, 10), Point(50, 30), Point(30, 50), Point(45, 80), Point(80, 85)})
    EXPECT_EQ(bmp.GetPixel(p.X, p.Y), clBlue32) << p.X << "," << p.Y;
  EXPECT_EQ(bmp.GetPixel(10, 30), Paper); // the figure was not closed
  ExpectBox(InkOf(bmp), Rect(10, 10, 81, 91));
}

TEST(MetafilePlayer, BlitsFromASourceBitmapCountRowsFromTheTop) {
  const TDib dib = Dib24(2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00});
  auto blit = [&](uint32_t type, int32_t x, int32_t y, int32_t w, int32_t h, int32_t sx, int32_t sy,
                  int32_t sw, int32_t sh) {
    TParams p;
    const size_t head = type == emr::BitBlt ? 92 : 100;
    p.RectL(0, 0, 0, 0).I32(x).I32(y).I32(w).I32(h).U32(0x00CC0020).I32(sx).I32(sy);
    p.Bytes(Xform(1, 0, 0, 1, 0, 0).Str()).U32(0).U32(0);
    p.U32(TEmfBuilder::Offset(head)).U32(static_cast<uint32_t>(dib.Header.size()));
    p.U32(TEmfBuilder::Offset(head + dib.Header.size()));
    p.U32(static_cast<uint32_t>(dib.Bits.size()));
    if (type != emr::BitBlt)
      p.I32(sw).I32(sh);
    p.Bytes(dib.Header).Bytes(dib.Bits);
    return p;
  };
  TEmfBuilder b;
  b.Add(emr::BitBlt, blit(emr::BitBlt, 10, 10, 1, 1, 1, 0, 0, 0)); // the top right pixel
  b.Add(77, blit(77, 20, 20, 20, 20, 0, 0, 2, 2));
  TShot bmp = Play(b.Bytes());
  EXPECT_EQ(bmp.GetPixel(10, 10), clLime32);
  EXPECT_EQ(InkOf(bmp).Pixels, 1 + 400);
  EXPECT_EQ(bmp.GetPixel(20, 20), clRed32);
  EXPECT_EQ(bmp.GetPixel(39, 20), clLime32);
  EXPECT_EQ(bmp.GetPixel(20, 39), clBlue32);
  EXPECT_EQ(bmp.GetPixel(39, 39), clYellow32);
}

TEST(MetafilePlayer, WmfDibPatternBrush) {
  const TDib dib = Dib24(2, 1, {0xFF0000, 0x0000FF});
  TWmfBuilder w(Rect(0, 0, 100, 100), 1000);
  w.Add(0x0142, TParams().U16(5).U16(0).Bytes(dib.Header).Bytes(dib.Bits));
  w.Add(meta::SelectObject, TParams().U16(0));
  w.Add(meta::CreatePenIndirect, TParams().U16(5).I16(0).I16(0).U32(0));
  w.Add(meta::SelectObject, TParams().U16(1));
  w.Add(meta::Rectangle, TParams().I16(20).I16(20).I16(10).I16(10));
  TShot bmp = Play(w.Bytes());
  EXPECT_EQ(bmp.GetPixel(10, 10), clRed32);
  EXPECT_EQ(bmp.GetPixel(11, 10), clBlue32);
  EXPECT_EQ(bmp.GetPixel(12, 15), clRed32);
  EXPECT_EQ(InkOfColour(bmp, clBlue32).Pixels, 50);
}

TEST(MetafilePlayer, TextStaysUprightWhenTheMappingTurnsYUp) {
  InstallTextLayer();
  REQUIRE_FACE("DejaVu Sans");
  for (bool yUp : {false, true}) {
    SCOPED_TRACE(yUp ? "low metric" : "text mode");
    TEmfBuilder b;
    if (yUp)
      b.Add(emr::SetMapMode, U32(2)); // a pixel per unit, y up
    TParams font;
    font.U32(1).I32(-40).I32(0).I32(0).I32(0).I32(400).U8(0).U8(0).U8(0).U8(0).U32(0);
    std::u16string face = u"DejaVu Sans";
    face.resize(32, u'\0');
    font.Utf16(face);
    b.Add(emr::ExtCreateFontIndirectW, font);
    b.Add(emr::SelectObject, U32(1));
    b.Add(emr::SetBkMode, U32(1));
    TParams t;
    t.RectL(0, 0, 0, 0).U32(1).F32(1).F32(1);
    t.I32(30).I32(yUp ? -20 : 20).U32(1).U32(TEmfBuilder::Offset(68)).U32(0);
    t.RectL(0, 0, 0, 0).U32(0).Utf16(u"T");
    b.Add(emr::ExtTextOutW, t);
    TShot bmp = Play(b.Bytes());
    const TInk ink = InkOf(bmp);
    ASSERT_FALSE(ink.Empty());
    EXPECT_GE(ink.Top, 20); // below the reference: the cell hangs from it
    EXPECT_LE(ink.Bottom, 20 + 48);
    auto rowInk = [&](int32_t y) {
      int n = 0;
      for (int32_t x = 0; x < 100; ++x)
        n += bmp.GetPixel(x, y) != Paper;
      return n;
    };
    // The bar of the T is at its top.
    EXPECT_GT(rowInk(ink.Top + 1), 3 * rowInk(ink.Bottom - 2));
  }
}

} // namespace
