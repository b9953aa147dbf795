// TBitmap32: store and notification, pixels, spans, boxes, lines, transfer,
// seams and the raw data form.

#include "raster/fsGR32.h"
#include "base/fsStream.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

namespace {

// Pixels as a vector, for comparing whole bitmaps.
std::vector<TColor32> Pixels(const TBitmap32 &b) {
  return b.IsBlank() ? std::vector<TColor32>{}
                     : std::vector<TColor32>(b.Bits(), b.Bits() + b.PixelCount());
}

// The set pixels of a bitmap cleared to 0, as "x,y" strings.
std::vector<std::string> Marked(const TBitmap32 &b) {
  std::vector<std::string> out;
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x)
      if (b.GetPixel(x, y) != 0)
        out.push_back(std::to_string(x) + "," + std::to_string(y));
  return out;
}

TEST(Bitmap, CreationDefaults) {
  TBitmap32 b;
  EXPECT_TRUE(b.IsBlank());
  EXPECT_EQ(b.Bits(), nullptr);
  EXPECT_EQ(b.DrawMode(), dmOpaque);
  EXPECT_EQ(b.CombineMode(), cmBlend);
  EXPECT_EQ(b.MasterAlpha(), 255u);
  EXPECT_EQ(b.OuterColor(), 0u);
  EXPECT_EQ(b.LineColor(), 0xFFFFFFFFu);
  EXPECT_EQ(b.StretchFilter(), sfNearest);
  EXPECT_EQ(b.StippleStep(), 1.0f);
}

TEST(Bitmap, ResizeClearsAndNotifies) {
  TBitmap32 b;
  int changes = 0, resizes = 0, handles = 0;
  b.OnChange = [&](TThreadPersistent &) { ++changes; };
  b.OnResize = [&](TCustomMap &) { ++resizes; };
  b.OnHandleChanged = [&](TBitmap32 &) { ++handles; };
  EXPECT_TRUE(b.SetSize(3, 2));
  EXPECT_EQ(Pixels(b), std::vector<TColor32>(6, 0)) << "a new store is transparent black";
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(resizes, 1);
  EXPECT_EQ(handles, 1);
  EXPECT_FALSE(b.Resize(3, 2)) << "same size: nothing happens";
  EXPECT_EQ(changes, 1);
  b.SetClipBox(Rect(1, 0, 2, 1));
  EXPECT_TRUE(b.Clipping());
  b.SetWidth(4);
  EXPECT_EQ(b.ClipBox(), Rect(0, 0, 4, 2)) << "a resize resets the clip box";
  EXPECT_FALSE(b.Clipping());
  EXPECT_EQ(b.Height(), 2);
}

TEST(Bitmap, NegativeAndHugeSizes) {
  TBitmap32 b;
  b.Resize(-5, 10);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 10);
  EXPECT_TRUE(b.IsBlank());
  EXPECT_EQ(b.Bits(), nullptr);
  b.FillAll(clWhite32); // nothing on a blank bitmap
  b.FillBox(0, 0, 5, 5, clWhite32);
  b.Resize(4, 4);
  try {
    b.Resize(INT32_MAX, INT32_MAX);
    FAIL() << "no error";
  } catch (const EfsError &e) {
    EXPECT_STREQ(e.what(), "Can't allocate the DIB handle");
  }
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  EXPECT_TRUE(b.IsBlank());
}

TEST(Bitmap, PropertiesCallChangedOnlyWhenTheyChange) {
  TBitmap32 b;
  int changes = 0;
  b.OnChange = [&](TThreadPersistent &) { ++changes; };
  b.SetDrawMode(dmOpaque);
  b.SetMasterAlpha(255);
  b.SetStretchFilter(sfNearest);
  EXPECT_EQ(changes, 0);
  b.SetDrawMode(dmBlend);
  b.SetMasterAlpha(300);
  EXPECT_EQ(b.MasterAlpha(), 255u) << "clamped, so unchanged";
  b.SetStretchFilter(sfLinear);
  EXPECT_EQ(changes, 2);
  b.SetCombineMode(cmBlend); // always
  EXPECT_EQ(changes, 3);
}

TEST(Bitmap, UpdateBracketsHoldNotifications) {
  TBitmap32 b;
  b.Resize(2, 2);
  int changes = 0;
  b.OnChange = [&](TThreadPersistent &) { ++changes; };
  b.BeginUpdate();
  b.BeginUpdate();
  b.FillAll(clRed32);
  b.EndUpdate();
  b.FillAll(clRed32);
  b.EndUpdate();
  EXPECT_EQ(changes, 0);
  b.Changed();
  EXPECT_EQ(changes, 1);
  try {
    b.EndUpdate();
    FAIL() << "no error";
  } catch (const EfsAssertionFailed &e) {
    EXPECT_STREQ(e.what(), "Unpaired TThreadPersistent.EndUpdate");
  }
  EXPECT_EQ(b.UpdateCount(), 0) << "the counter does not go below 0";
  b.FillAll(clBlue32);
  EXPECT_EQ(changes, 2);
}

TEST(Bitmap, LocksAreCountedAndNest) {
  TBitmap32 b;
  b.Lock();
  b.Lock();
  EXPECT_EQ(b.LockCount(), 2);
  b.Unlock();
  b.Unlock();
  EXPECT_EQ(b.LockCount(), 0);
  EXPECT_THROW(b.Unlock(), EfsAssertionFailed);
}

TEST(Bitmap, FillAllAndSetAlphaAll) {
  TBitmap32 b;
  b.Resize(3, 3);
  b.FillAll(0x80123456);
  EXPECT_EQ(Pixels(b), std::vector<TColor32>(9, 0x80123456));
  b.SetAlphaAll();
  EXPECT_EQ(Pixels(b), std::vector<TColor32>(9, 0xFF123456));
  b.SetAlphaAll(0);
  EXPECT_EQ(Pixels(b), std::vector<TColor32>(9, 0x00123456));
}

TEST(Bitmap, ClippedPixelAccess) {
  TBitmap32 b;
  b.Resize(4, 4);
  b.SetClipBox(Rect(1, 1, 3, 3));
  b.SetOuterColor(0xDEADBEEF);
  b.SetPixel(0, 0, 0x11111111);
  EXPECT_EQ(b.GetPixelClipped(0, 0), 0xDEADBEEFu) << "outside the clip box: OuterColor";
  EXPECT_EQ(b.GetPixelClipped(1, 1), 0u);
  const TPoint outside[] = {{0, 1}, {3, 1}, {1, 0}, {1, 3}, {-1, -1}, {INT_MAX, 2}, {2, INT_MIN}};
  for (const TPoint &p : outside) {
    b.PutPixelClipped(p.X, p.Y, 0xFFFFFFFF);
    b.BlendPixelClipped(p.X, p.Y, 0xFFFFFFFF);
  }
  EXPECT_EQ(Marked(b), std::vector<std::string>{"0,0"});
  b.PutPixelClipped(2, 2, 0xFF00FF00);
  b.BlendPixelClipped(1, 2, 0x80FF0000);
  EXPECT_EQ(b.GetPixel(2, 2), 0xFF00FF00u);
  EXPECT_EQ(b.GetPixel(1, 2), ColorBlend(0x80FF0000, 0));
  b.SetCombineMode(cmMerge);
  b.BlendPixelClipped(1, 1, 0x80FF0000);
  EXPECT_EQ(b.GetPixel(1, 1), 0x80FF0000u) << "merge over transparent gives F";
}

TEST(Bitmap, SpansClipToTheClipBox) {
  struct Case {
    const char *name;
    int32_t a, pos, b;
    bool horizontal;
    std::vector<std::string> expected;
  } cases[] = {
      {"inside", 1, 2, 3, true, {"1,2", "2,2", "3,2"}},
      {"reversed ends", 3, 2, 1, true, {"1,2", "2,2", "3,2"}},
      {"clamped both sides", INT_MIN, 1, INT_MAX, true, {"1,1", "2,1", "3,1", "4,1"}},
      {"row outside", 0, 5, 4, true, {}},
      {"left of the box", -10, 2, 0, true, {}},
      {"vertical clamped", -100, 4, 100, false, {"4,1", "4,2", "4,3", "4,4"}},
      {"column outside", 0, 0, 5, false, {}},
  };
  for (const Case &c : cases) {
    for (bool blend : {false, true}) {
      TBitmap32 b;
      b.Resize(6, 6);
      b.SetClipBox(Rect(1, 1, 5, 5));
      if (c.horizontal)
        blend ? b.HorzLineBlendClipped(c.a, c.pos, c.b, 0xFFFFFFFF)
              : b.HorzLineClipped(c.a, c.pos, c.b, 0xFFFFFFFF);
      else
        blend ? b.VertLineBlendClipped(c.pos, c.a, c.b, 0xFFFFFFFF)
              : b.VertLineClipped(c.pos, c.a, c.b, 0xFFFFFFFF);
      EXPECT_EQ(Marked(b), c.expected) << c.name << (blend ? " blended" : "");
    }
  }
}

TEST(Bitmap, BlendedSpanUsesTheCombineMode) {
  for (TCombineMode mode : {cmBlend, cmMerge}) {
    TBitmap32 b;
    b.Resize(4, 1);
    b.FillAll(0x800000FF);
    b.SetCombineMode(mode);
    b.HorzLineBlend(1, 0, 2, 0x80FF0000);
    const TColor32 mixed =
        mode == cmBlend ? ColorBlend(0x80FF0000, 0x800000FF) : ColorMerge(0x80FF0000, 0x800000FF);
    EXPECT_EQ(Pixels(b), (std::vector<TColor32>{0x800000FF, mixed, mixed, 0x800000FF})) << mode;
  }
}

TEST(Bitmap, FillAndBlendBoxes) {
  struct Case {
    const char *name;
    int32_t x1, y1, x2, y2;
    std::vector<std::string> expected;
  } cases[] = {
      {"inside", 1, 1, 3, 2, {"1,1", "2,1"}},
      {"empty width", 2, 0, 2, 4, {}},
      {"reversed", 3, 3, 1, 1, {}},
      {"clamped", INT_MIN, INT_MIN, INT_MAX, 1, {"0,0", "1,0", "2,0", "3,0"}},
      {"misses", 4, 0, 9, 9, {}},
  };
  for (const Case &c : cases) {
    TBitmap32 b;
    b.Resize(4, 3);
    b.FillBox(c.x1, c.y1, c.x2, c.y2, 0xFF102030);
    EXPECT_EQ(Marked(b), c.expected) << c.name;
    TBitmap32 d;
    d.Resize(4, 3);
    d.BlendBox(c.x1, c.y1, c.x2, c.y2, 0xFF102030);
    EXPECT_EQ(Marked(d), c.expected) << c.name << " blended";
  }
  // Translucent: the mix-table entry with the colour's alpha as weight.
  for (TCombineMode mode : {cmBlend, cmMerge}) {
    TBitmap32 b;
    b.Resize(2, 2);
    b.FillAll(0xFF0000FF);
    b.SetCombineMode(mode);
    b.BlendBox(0, 0, 1, 2, 0x40FF0000);
    EXPECT_EQ(b.GetPixel(0, 1), MixValueProcs[mode](0x40FF0000, 0xFF0000FF, 0x40)) << mode;
    if (mode == cmBlend) {
      EXPECT_EQ(b.GetPixel(0, 1), ColorMix(0x40FF0000, 0xFF0000FF, 0x40));
    }
    EXPECT_EQ(b.GetPixel(1, 1), 0xFF0000FFu);
  }
}

TEST(Bitmap, FrameBoxPieces) {
  struct Case {
    const char *name;
    int32_t x1, y1, x2, y2;
    std::vector<std::string> expected;
  } cases[] = {
      {"one pixel", 1, 1, 2, 2, {"1,1"}},
      {"one row", 0, 1, 3, 2, {"0,1", "1,1", "2,1"}},
      {"one column", 2, 0, 3, 3, {"2,0", "2,1", "2,2"}},
      {"ring", 0, 0, 3, 3, {"0,0", "1,0", "2,0", "0,1", "2,1", "0,2", "1,2", "2,2"}},
      {"clipped ring", -1, -1, 2, 2, {"1,0", "0,1", "1,1"}},
      {"empty", 2, 2, 2, 5, {}},
  };
  for (const Case &c : cases) {
    TBitmap32 b;
    b.Resize(4, 4);
    b.FrameBox(c.x1, c.y1, c.x2, c.y2, 0xFFFFFFFF);
    EXPECT_EQ(Marked(b), c.expected) << c.name;
    TBitmap32 d;
    d.Resize(4, 4);
    d.FrameBoxBlend(c.x1, c.y1, c.x2, c.y2, 0xFFFFFFFF);
    EXPECT_EQ(Marked(d), c.expected) << c.name << " blended";
  }
}

TEST(Bitmap, LinesExcludeOrIncludeTheLastPixel) {
  struct Case {
    const char *name;
    int32_t x1, y1, x2, y2;
    bool last;
    std::vector<std::string> expected;
  } cases[] = {
      {"horizontal", 0, 1, 3, 1, false, {"0,1", "1,1", "2,1"}},
      {"horizontal with last", 3, 1, 0, 1, true, {"0,1", "1,1", "2,1", "3,1"}},
      {"vertical", 2, 3, 2, 0, false, {"2,1", "2,2", "2,3"}},
      {"diagonal", 0, 0, 3, 3, true, {"0,0", "1,1", "2,2", "3,3"}},
      {"shallow", 0, 0, 4, 1, false, {"0,0", "1,0", "2,1", "3,1"}},
      {"point without last", 1, 1, 1, 1, false, {}},
      {"point with last", 1, 1, 1, 1, true, {"1,1"}},
  };
  for (const Case &c : cases) {
    for (bool blend : {false, true}) {
      TBitmap32 b;
      b.Resize(5, 5);
      blend ? b.DrawLineBlend(c.x1, c.y1, c.x2, c.y2, 0xFFFFFFFF, c.last)
            : b.DrawLine(c.x1, c.y1, c.x2, c.y2, 0xFFFFFFFF, c.last);
      EXPECT_EQ(Marked(b), c.expected) << c.name << (blend ? " blended" : "");
    }
  }
}

TEST(Bitmap, ClippedLinesKeepTheirUnclippedPixels) {
  // A line drawn under a clip box covers exactly the pixels of the same line
  // drawn without one, inside the box.
  struct Line {
    int32_t x1, y1, x2, y2;
  } lines[] = {{-30, -7, 70, 45}, {5, 60, 40, -20}, {-100, 25, 150, 26}, {25, -50, 26, 90},
               {0, 0, 63, 63},    {63, 0, 0, 63},   {-5, 33, 80, 12},    {20, 30, 21, 31},
               {31, 10, -9, 50},  {38, 39, 22, 21}};
  const TRect clip = Rect(20, 21, 39, 40);
  for (const Line &l : lines)
    for (bool last : {false, true}) {
      TBitmap32 full, clipped;
      full.Resize(64, 64);
      clipped.Resize(64, 64);
      full.DrawLine(l.x1, l.y1, l.x2, l.y2, 0xFFFFFFFF, last);
      clipped.SetClipBox(clip);
      clipped.DrawLine(l.x1, l.y1, l.x2, l.y2, 0xFFFFFFFF, last);
      for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x) {
          const bool in = x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom;
          ASSERT_EQ(clipped.GetPixel(x, y), in ? full.GetPixel(x, y) : 0u)
              << l.x1 << "," << l.y1 << " " << l.x2 << "," << l.y2 << " at " << x << "," << y;
        }
    }
}

TEST(Bitmap, ExtremeCoordinatesStayInside) {
  // ASan watches the store; the results must still be the visible pixels.
  TBitmap32 b;
  b.Resize(8, 8);
  b.DrawLine(INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0xFFFFFFFF, true);
  b.DrawLine(INT_MAX, INT_MIN, INT_MIN, INT_MAX, 0xFFFFFFFF, true);
  b.DrawLine(INT_MIN, 3, INT_MAX, 3, 0xFFFFFFFF, true);
  EXPECT_EQ(b.GetPixel(0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(b.GetPixel(7, 7), 0xFFFFFFFFu);
  EXPECT_EQ(b.GetPixel(5, 3), 0xFFFFFFFFu);
  b.DrawLineSmooth(INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0xFFFFFFFF, true);
  b.DrawLineSmooth(INT_MAX, 0, INT_MIN, 0, 0xFFFFFFFF, false);
  b.DrawLineSmooth(Fixed(7.9), Fixed(7.9), Fixed(-3), Fixed(7.99), 0xFFFFFFFF, true);
  b.PutPixelSubpixelClipped(INT_MAX, INT_MAX, 0xFFFFFFFF);
  b.PutPixelSubpixelClipped(INT_MIN, INT_MIN, 0xFFFFFFFF);
  b.PutPixelSubpixel(7 * 256 + 128, 7 * 256 + 128, 0xFFFFFFFF);
  b.PutPixelSubpixel(-256, -256, 0xFFFFFFFF);
  EXPECT_EQ(b.ReadPixelBilinear(INT_MAX, INT_MAX), b.OuterColor());
  b.HorzLine(-5, 2, 100, 0xFF00FF00);
  b.VertLine(6, INT_MIN, INT_MAX, 0xFF00FF00);
  b.HorzLine(0, 99, 3, 0xFFFF0000);
  EXPECT_EQ(b.GetPixel(0, 2), 0xFF00FF00u);
  EXPECT_EQ(b.GetPixel(6, 0), 0xFF00FF00u);
}

TEST(Bitmap, SubpixelSplatsAndBilinearReads) {
  TBitmap32 b;
  b.Resize(4, 4);
  b.FillAll(0xFF000000);
  // On a whole pixel all weight goes to it: 255 * 255 * 255 >> 16 = 253.
  b.PutPixelSubpixel(1 * 256, 2 * 256, 0xFFFFFFFF);
  EXPECT_EQ(b.GetPixel(1, 2), ColorMix(0xFFFFFFFF, 0xFF000000, 253));
  EXPECT_EQ(b.GetPixel(2, 2), 0xFF000000u);
  // Half way: the gamma weight of 128 on each side.
  TBitmap32 h;
  h.Resize(4, 4);
  h.FillAll(0xFF000000);
  h.PutPixelSubpixel(1 * 256 + 128, 1 * 256, 0xFFFFFFFF);
  const uint32_t side = (GammaWeights[128] * 255u * 255u) >> 16;
  const uint32_t other = (GammaWeights[127] * 255u * 255u) >> 16;
  EXPECT_EQ(h.GetPixel(2, 1), ColorMix(0xFFFFFFFF, 0xFF000000, side));
  EXPECT_EQ(h.GetPixel(1, 1), ColorMix(0xFFFFFFFF, 0xFF000000, other));
  // The clipped form takes 16.16 and skips pixels outside the clip box.
  TBitmap32 c;
  c.Resize(4, 4);
  c.SetClipBox(Rect(0, 0, 2, 4));
  c.PutPixelSubpixelClipped(Fixed(1.5), Fixed(1), 0xFFFFFFFF);
  EXPECT_NE(c.GetPixel(1, 1), 0u);
  EXPECT_EQ(c.GetPixel(2, 1), 0u);

  // Bilinear: only strictly inside; the mix truncates.
  TBitmap32 r;
  r.Resize(3, 3);
  r.SetOuterColor(0x12345678);
  r.SetPixel(1, 1, 0xFFFFFFFF);
  EXPECT_EQ(r.ReadPixelBilinear(0, 256), 0x12345678u);
  EXPECT_EQ(r.ReadPixelBilinear(512, 256), 0x12345678u);
  EXPECT_EQ(r.ReadPixelBilinear(256, 256), (TColor32(255 * 255 * 255 / 65536) * 0x01010101u));
  const TColor32 q = r.ReadPixelBilinear(256 + 128, 256 + 128);
  const int32_t w = GammaWeights[127];
  const int32_t top = (0 * 256 + (255 - 0) * w) >> 8;
  EXPECT_EQ(q, TColor32((top * w) >> 8) * 0x01010101u);
}

TEST(Bitmap, SmoothLineOnWholePixels) {
  TBitmap32 b;
  b.Resize(10, 8);
  b.FillAll(0xFF000000);
  b.DrawLineSmooth(Fixed(2), Fixed(5), Fixed(8), Fixed(5), 0xFFFFFFFF, false);
  const TColor32 lit = ColorMix(0xFFFFFFFF, 0xFF000000, 253);
  for (int32_t x = 0; x < 10; ++x)
    EXPECT_EQ(b.GetPixel(x, 5), x >= 2 && x < 8 ? lit : 0xFF000000u) << x;
  EXPECT_EQ(b.GetPixel(4, 4), 0xFF000000u);
  EXPECT_EQ(b.GetPixel(4, 6), 0xFF000000u);
  // A line shorter than 1/256 pixel draws nothing.
  TBitmap32 s;
  s.Resize(4, 4);
  s.DrawLineSmooth(Fixed(1), Fixed(1), Fixed(1) + 100, Fixed(1), 0xFFFFFFFF, false);
  EXPECT_TRUE(Marked(s).empty());
}

TEST(Bitmap, StippleColours) {
  TBitmap32 b;
  EXPECT_EQ(b.GetStippleColor(), 0xFF000000u) << "no pattern";
  b.SetStipple({0xFFFFFFFF, 0xFF000000});
  b.SetStippleStep(0.5f);
  // Counter 0, 0.5, 1, 1.5, 2 (wraps to 0).
  const TColor32 expected[] = {0xFFFFFFFF, ColorMix(0xFFFFFFFF, 0xFF000000, 127),
                               ColorMix(0xFFFFFFFF, 0xFF000000, 0),
                               ColorMix(0xFF000000, 0xFFFFFFFF, 127), 0xFFFFFFFF};
  for (TColor32 e : expected)
    EXPECT_EQ(b.GetStippleColor(), e);
  b.SetStipple({1, 2, 3, 4});
  EXPECT_EQ(b.StippleCounter(), 0.0f) << "a new pattern restarts";
  b.SetStippleStep(1.0f);
  b.AdvanceStippleCounter(5.5f);
  EXPECT_FLOAT_EQ(b.StippleCounter(), 1.5f);
  b.AdvanceStippleCounter(-2.0f);
  EXPECT_FLOAT_EQ(b.StippleCounter(), 3.5f);
  // The top of the range never indexes past the pattern.
  b.SetStippleCounter(std::nextafter(4.0f, 0.0f));
  b.GetStippleColor();
  b.SetStippleCounter(1e30f);
  b.GetStippleColor();
  b.SetStippleCounter(NAN);
  EXPECT_EQ(b.GetStippleColor(), 1u);
}

TEST(Bitmap, StippledLineTakesThePatternAndAdvancesOverClippedParts) {
  TBitmap32 b;
  b.Resize(10, 3);
  b.SetStipple({0xFFFF0000, 0xFF0000FF});
  b.DrawLineStippled(Fixed(0), Fixed(1), Fixed(4), Fixed(1), false);
  EXPECT_EQ(b.GetPixel(0, 1), ColorMix(0xFFFF0000, 0, 253));
  EXPECT_EQ(b.GetPixel(1, 1), ColorMix(0xFF0000FF, 0, 253));
  EXPECT_EQ(b.GetPixel(2, 1), ColorMix(0xFFFF0000, 0, 253));
  EXPECT_FLOAT_EQ(b.StippleCounter(), 2.0f) << "kept inside the pattern";
  // Entirely outside: the counter advances by the length.
  b.SetStipple({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  b.DrawLineStippled(Fixed(0), Fixed(-5), Fixed(3), Fixed(-5), false);
  EXPECT_FLOAT_EQ(b.StippleCounter(), 3.0f);
  // The start clipped off by two pixels: the first drawn point takes the
  // third colour.
  TBitmap32 c;
  c.Resize(10, 3);
  c.SetStipple({0xFF010000, 0xFF020000, 0xFF030000, 0xFF040000, 0xFF050000});
  c.DrawLineStippled(Fixed(-2), Fixed(1), Fixed(3), Fixed(1), false);
  EXPECT_EQ(c.GetPixel(0, 1), ColorMix(0xFF030000, 0, 253));
}

TEST(Bitmap, PenOperations) {
  TBitmap32 b;
  b.Resize(5, 5);
  b.SetLineColor(0xFF00FF00);
  b.MoveTo(0, 0);
  b.LineTo(3, 0);
  b.LineTo(3, 3);
  EXPECT_EQ(b.PenPos(), Point(3, 3));
  EXPECT_EQ(Marked(b), (std::vector<std::string>{"0,0", "1,0", "2,0", "3,0", "3,1", "3,2"}));
  EXPECT_EQ(b.GetPixel(3, 0), 0xFF00FF00u);
  b.MoveToSmooth(Fixed(0), Fixed(4));
  b.LineToSmooth(Fixed(2), Fixed(4));
  EXPECT_EQ(b.PenPos(), Point(Fixed(2), Fixed(4)));
  EXPECT_NE(b.GetPixel(1, 4), 0u);
}

TEST(Bitmap, TransferSameSizeByDrawMode) {
  auto source = [](TDrawMode mode) {
    auto s = std::make_unique<TBitmap32>();
    s->Resize(2, 1);
    s->SetPixel(0, 0, 0x80FF0000);
    s->SetPixel(1, 0, 0x00123456);
    s->SetDrawMode(mode);
    return s;
  };
  auto dest = [] {
    auto d = std::make_unique<TBitmap32>();
    d->Resize(3, 2);
    d->FillAll(0xFF0000FF);
    return d;
  };
  {
    auto s = source(dmOpaque);
    auto d = dest();
    TransferSameSize(*d, 1, 1, *s, s->BoundsRect());
    EXPECT_EQ(d->GetPixel(1, 1), 0x80FF0000u);
    EXPECT_EQ(d->GetPixel(2, 1), 0x00123456u);
    EXPECT_EQ(d->GetPixel(0, 1), 0xFF0000FFu);
  }
  {
    auto s = source(dmBlend);
    auto d = dest();
    TransferSameSize(*d, 0, 0, *s, s->BoundsRect());
    EXPECT_EQ(d->GetPixel(0, 0), ColorBlend(0x80FF0000, 0xFF0000FF));
    EXPECT_EQ(d->GetPixel(1, 0), 0xFF0000FFu) << "alpha 0 leaves the destination";
    s->SetCombineMode(cmMerge);
    s->SetMasterAlpha(100);
    d = dest();
    TransferSameSize(*d, 0, 0, *s, s->BoundsRect());
    EXPECT_EQ(d->GetPixel(0, 0), ColorMergeScaled(0x80FF0000, 0xFF0000FF, 100));
    s->SetMasterAlpha(0);
    d = dest();
    TransferSameSize(*d, 0, 0, *s, s->BoundsRect());
    EXPECT_EQ(d->GetPixel(0, 0), 0xFF0000FFu) << "master alpha 0 draws nothing";
  }
  {
    auto s = source(dmCustom);
    auto d = dest();
    TransferSameSize(*d, 0, 0, *s, s->BoundsRect());
    EXPECT_EQ(d->GetPixel(0, 0), 0x80FF0000u) << "no callback: opaque";
    s->OnPixelCombine = [](TColor32 F, TColor32 &B, TColor32 M) { B = (F & 0xFF0000) | M; };
    s->SetMasterAlpha(7);
    d = dest();
    TransferSameSize(*d, 0, 0, *s, s->BoundsRect());
    EXPECT_EQ(d->GetPixel(0, 0), 0x00FF0007u);
  }
  {
    // Clipped to the destination's clip box and to the source.
    auto s = source(dmOpaque);
    auto d = dest();
    d->SetClipBox(Rect(0, 0, 2, 2));
    TransferSameSize(*d, -4, 0, *s, Rect(-5, 0, 2, 1));
    EXPECT_EQ(d->GetPixel(1, 0), 0x80FF0000u);
    EXPECT_EQ(d->GetPixel(2, 0), 0xFF0000FFu);
    TransferSameSize(*d, INT_MAX, INT_MIN, *s, s->BoundsRect());
  }
}

TEST(Bitmap, AssignCopiesPixelsAndPropertiesButNotCombineMode) {
  TBitmap32 a;
  a.Resize(2, 2);
  a.FillAll(0x80402010);
  a.SetDrawMode(dmBlend);
  a.SetMasterAlpha(99);
  a.SetOuterColor(0x11223344);
  a.SetStretchFilter(sfLanczos);
  a.SetCombineMode(cmMerge);
  TBitmap32 b;
  int changes = 0;
  b.OnChange = [&](TThreadPersistent &) { ++changes; };
  b.Assign(a);
  EXPECT_EQ(Pixels(b), Pixels(a));
  EXPECT_EQ(b.DrawMode(), dmBlend);
  EXPECT_EQ(b.MasterAlpha(), 99u);
  EXPECT_EQ(b.OuterColor(), 0x11223344u);
  EXPECT_EQ(b.StretchFilter(), sfLanczos);
  EXPECT_EQ(b.CombineMode(), cmBlend);
  EXPECT_EQ(changes, 1) << "one notification after the bracket";
  TBitmap32 blank;
  b.Assign(blank);
  EXPECT_TRUE(b.IsBlank());
}

TEST(Bitmap, RawDataRoundTripAndDamage) {
  TBitmap32 a;
  a.Resize(3, 2);
  for (int32_t i = 0; i < 6; ++i)
    a.Bits()[i] = 0x01020304u * static_cast<TColor32>(i + 1);
  TMemoryStream m;
  a.WriteData(m);
  ASSERT_EQ(m.Size(), 8 + 6 * 4);
  EXPECT_EQ(m.Bytes().substr(0, 12), std::string("\3\0\0\0\2\0\0\0\4\3\2\1", 12));
  m.SetPosition(0);
  TBitmap32 b;
  b.ReadData(m);
  EXPECT_EQ(Pixels(b), Pixels(a));

  struct Case {
    const char *name;
    std::string bytes;
  } damaged[] = {
      {"short header", std::string("\3\0\0\0", 4)},
      {"negative width", std::string("\xFF\xFF\xFF\xFF\1\0\0\0", 8)},
      {"pixels missing", std::string("\2\0\0\0\2\0\0\0\1\2\3\4", 12)},
      {"huge size", std::string("\xFF\xFF\xFF\x7F\xFF\xFF\xFF\x7F", 8)},
  };
  for (const Case &c : damaged) {
    TReadOnlyMemoryStream s(c.bytes);
    EXPECT_THROW(b.ReadData(s), EReadError) << c.name;
    EXPECT_EQ(Pixels(b), Pixels(a)) << c.name << ": the bitmap stays as it was";
  }
  const std::string zeroWide("\0\0\0\0\5\0\0\0", 8);
  TReadOnlyMemoryStream zero(zeroWide);
  b.ReadData(zero);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 5);
}

class FakeText : public TBitmap32TextBackend {
public:
  TSize TextExtent(const TBitmap32Font &Font, std::string_view Text) override {
    LastText = std::string(Text);
    LastFont = Font;
    return {static_cast<int32_t>(Text.size()) * 7, Font.Height};
  }
  int32_t DrawText(TBitmap32 &Bitmap, const TBitmap32Font &, std::string_view Text, TRect &Rect,
                   uint32_t Flags) override {
    LastText = std::string(Text);
    LastFlags = Flags;
    if (!(Flags & tfCalcRect))
      Bitmap.FillBox(Rect.Left, Rect.Top, Rect.Right, Rect.Bottom, 0x00FFFFFF);
    Rect.Right = Rect.Left + 5;
    return 11;
  }
  std::vector<std::string> FontFamilies() override { return {"Zeta", "Alpha", "Mid"}; }

  std::string LastText;
  TBitmap32Font LastFont;
  uint32_t LastFlags = 0;
};

TEST(Bitmap, TextGoesThroughTheInstalledBackend) {
  SetBitmap32TextBackend(nullptr);
  TBitmap32 b;
  try {
    b.TextExtent("x");
    FAIL() << "no error";
  } catch (const EfsError &e) {
    EXPECT_STREQ(e.what(), "No text renderer is available");
  }
  FakeText fake;
  SetBitmap32TextBackend(&fake);
  TBitmap32Font font;
  font.Name = "Liberation Sans";
  font.Height = 20;
  font.Bold = true;
  b.SetFont(font);
  EXPECT_EQ(b.TextExtent(""), TSize{}) << "empty text measures 0 x 0";
  EXPECT_EQ(b.TextExtentW(u"\u00e9t\U0001F600"), (TSize{7 * 7, 20}));
  EXPECT_EQ(fake.LastText, "\xC3\xA9t\xF0\x9F\x98\x80");
  EXPECT_EQ(fake.LastFont, font);
  b.TextExtentW(std::u16string(1, char16_t(0xD800)));
  EXPECT_EQ(fake.LastText, "\xEF\xBF\xBD") << "a lone surrogate is replaced";

  b.Resize(8, 8);
  int changes = 0;
  b.OnChange = [&](TThreadPersistent &) { ++changes; };
  TRect r = Rect(1, 1, 4, 4);
  EXPECT_EQ(b.DrawText("hi", r, tfCalcRect), 11);
  EXPECT_EQ(r, Rect(1, 1, 6, 4));
  EXPECT_EQ(changes, 0) << "measuring changes nothing";
  r = Rect(1, 1, 4, 4);
  b.DrawText("hi", r, tfCenter | tfSingleLine);
  EXPECT_EQ(fake.LastFlags, uint32_t(tfCenter | tfSingleLine));
  EXPECT_GE(changes, 1);

  std::vector<std::string> families{"stale"};
  TBitmap32::ListFontFamilies(families);
  EXPECT_EQ(families, (std::vector<std::string>{"Alpha", "Mid", "Zeta"}));
  SetBitmap32TextBackend(nullptr);
}

TEST(Bitmap, BitmapStreamsGoThroughTheInstalledHandlers) {
  SetBitmap32StreamHandlers(nullptr, nullptr);
  TBitmap32 b;
  TMemoryStream m;
  try {
    b.SaveToStream(m);
    FAIL() << "no error";
  } catch (const EfsError &e) {
    EXPECT_STREQ(e.what(), "No bitmap file format is available");
  }
  EXPECT_THROW(b.LoadFromStream(m), EfsError);
  SetBitmap32StreamHandlers([](TBitmap32 &bmp, TStream &s) { bmp.ReadData(s); },
                            [](const TBitmap32 &bmp, TStream &s) { bmp.WriteData(s); });
  b.Resize(2, 1);
  b.FillAll(0xFFABCDEF);
  b.SaveToStream(m);
  m.SetPosition(0);
  TBitmap32 c;
  c.LoadFromStream(m);
  EXPECT_EQ(Pixels(c), Pixels(b));
  SetBitmap32StreamHandlers(nullptr, nullptr);
}

} // namespace
