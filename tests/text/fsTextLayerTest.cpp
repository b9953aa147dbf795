#include "text/fsTextLayer.h"

#include "base/fsConvert.h"
#include "raster/fsGR32.h"
#include "support/InstalledFace.h"
#include "text/fsFreeType.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TBitmap32Font Font(const char *name, int32_t height, bool bold = false, bool italic = false) {
  TBitmap32Font f;
  f.Name = name;
  f.Height = height;
  f.Bold = bold;
  f.Italic = italic;
  return f;
}

constexpr TColor32 Paper = 0x80FFFFFF; // white, half transparent

// The box of pixels whose colour changed from the paper's.
struct TInk {
  int Left = INT32_MAX, Top = INT32_MAX, Right = INT32_MIN, Bottom = INT32_MIN; // inclusive
  bool Empty() const { return Left > Right; }
};

TInk InkOf(const TBitmap32 &bmp) {
  TInk ink;
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x)
      if ((bmp.GetPixel(x, y) & 0xFFFFFF) != (Paper & 0xFFFFFF)) {
        ink.Left = std::min(ink.Left, x);
        ink.Right = std::max(ink.Right, x);
        ink.Top = std::min(ink.Top, y);
        ink.Bottom = std::max(ink.Bottom, y);
      }
  return ink;
}

class TextLayerTest : public ::testing::Test {
protected:
  void SetUp() override { InstallTextLayer(); }
  static void Paper300x80(TBitmap32 &bmp) {
    bmp.SetSize(300, 80);
    bmp.FillAll(Paper);
  }
};

TEST_F(TextLayerTest, DrawnInkLiesInTheMeasuredAdvanceBox) {
  REQUIRE_FACE("DejaVu Sans");
  for (int32_t height : {-12, -20, -31, 28}) {
    TBitmap32 bmp;
    Paper300x80(bmp);
    TBitmap32Font f = Font("DejaVu Sans", height);
    f.Color = 0xFF102030;
    bmp.SetFont(f);
    const std::string text = "Tallisyn key";
    TSize extent = bmp.TextExtent(text);
    TRect r = Rect(10, 5, 290, 75);
    int32_t drawn = bmp.DrawText(text, r, tfSingleLine | tfNoPrefix);
    EXPECT_EQ(drawn, extent.cy) << height;
    TInk ink = InkOf(bmp);
    ASSERT_FALSE(ink.Empty()) << height;
    EXPECT_GE(ink.Left, 10) << height;
    EXPECT_LE(ink.Left, 11) << height;
    EXPECT_LT(ink.Right, 10 + extent.cx) << height;
    EXPECT_GE(ink.Right, 10 + extent.cx - 2) << height;
    EXPECT_GE(ink.Top, 5) << height;
    EXPECT_LT(ink.Bottom, 5 + extent.cy) << height;
    if (height > 0)
      EXPECT_EQ(extent.cy, height) << "a positive height is the cell height";
    else
      EXPECT_GT(extent.cy, -height) << "a negative height is the em height";

    bool solid = false;
    for (int y = 0; y < bmp.Height(); ++y)
      for (int x = 0; x < bmp.Width(); ++x) {
        TColor32 p = bmp.GetPixel(x, y);
        EXPECT_EQ(p >> 24, Paper >> 24) << "alpha stays as it was at " << x << "," << y;
        solid |= (p & 0xFFFFFF) == (f.Color & 0xFFFFFF);
      }
    EXPECT_TRUE(solid) << "fully covered pixels take the text colour";
  }
}

TEST_F(TextLayerTest, MissingFacesAreSubstitutedAndReportedByName) {
  REQUIRE_FACE("Liberation Sans");
  struct Case {
    const char *Asked, *Used;
  } cases[] = {{"Arial", "Liberation Sans"},
               {"Times New Roman", "Liberation Serif"},
               {"Courier New", "Liberation Mono"},
               {"DejaVu Sans", "DejaVu Sans"},
               {"dejavu sans", "DejaVu Sans"}};
  for (const auto &c : cases)
    EXPECT_EQ(TextLayerFaceName(Font(c.Asked, -20)), c.Used) << c.Asked;
  // The metric-compatible substitute measures like the face it stands in for.
  EXPECT_EQ(TextLayer().TextExtent(Font("Arial", -40), "Keyring"),
            TextLayer().TextExtent(Font("Liberation Sans", -40), "Keyring"));
}

TEST_F(TextLayerTest, StylesChangeTheMeasure) {
  REQUIRE_FACE("DejaVu Sans");
  auto width = [](bool bold, bool italic) {
    return TextLayer().TextExtent(Font("DejaVu Sans", -30, bold, italic), "Keyring inserts").cx;
  };
  EXPECT_GT(width(true, false), width(false, false));
  EXPECT_GT(width(true, true), width(false, true));
  EXPECT_EQ(TextLayer().TextExtent(Font("DejaVu Sans", -30), ""), (TSize{0, 0}));
}

TEST_F(TextLayerTest, AlignmentPlacesTheLineInItsRectangle) {
  REQUIRE_FACE("DejaVu Sans");
  TBitmap32Font f = Font("DejaVu Sans", -20);
  TSize e = TextLayer().TextExtent(f, "Tally");
  const TRect box = Rect(20, 10, 280, 70);
  struct Case {
    uint32_t Flags;
    int32_t Left, Top; // where the advance box starts
  } cases[] = {
      {tfSingleLine, 20, 10},
      {tfSingleLine | tfRight, 280 - e.cx, 10},
      {tfSingleLine | tfCenter, 20 + (260 - e.cx) / 2, 10},
      {tfSingleLine | tfBottom, 20, 70 - e.cy},
      {tfSingleLine | tfVCenter | tfCenter, 20 + (260 - e.cx) / 2, 10 + (60 - e.cy) / 2},
  };
  for (const auto &c : cases) {
    TBitmap32 bmp;
    Paper300x80(bmp);
    bmp.SetFont(f);
    TRect r = box;
    bmp.DrawText("Tally", r, c.Flags);
    TInk ink = InkOf(bmp);
    EXPECT_GE(ink.Left, c.Left - 1) << c.Flags; // the T may reach a pixel left of the pen
    EXPECT_LE(ink.Left, c.Left + 1) << c.Flags;
    EXPECT_GE(ink.Top, c.Top) << c.Flags;
    EXPECT_LT(ink.Bottom, c.Top + e.cy) << c.Flags;
  }
}

TEST_F(TextLayerTest, CalcRectWordBreakAndLines) {
  REQUIRE_FACE("DejaVu Sans");
  TBitmap32Font f = Font("DejaVu Sans", -16);
  TSize word = TextLayer().TextExtent(f, "keyring");
  TBitmap32 bmp;
  bmp.SetFont(f);
  struct Case {
    const char *Text;
    uint32_t Flags;
    int32_t Width; // of the rectangle given
    int32_t Lines;
  } cases[] = {
      {"keyring keyring keyring", tfWordBreak, word.cx + 4, 3},
      {"keyring keyring keyring", 0, word.cx + 4, 1},
      {"keyring\nkeyring\r\nkeyring", 0, 1000, 3},
      {"keyring\nkeyring", tfSingleLine, 1000, 1},
      {"keyringkeyringkeyring", tfWordBreak, word.cx, 1},
  };
  for (const auto &c : cases) {
    TRect r = Rect(5, 7, 5 + c.Width, 8);
    int32_t h = bmp.DrawText(c.Text, r, c.Flags | tfCalcRect);
    EXPECT_EQ(h, c.Lines * word.cy) << c.Text << " " << c.Flags;
    EXPECT_EQ(r.Bottom, 7 + h) << c.Text;
    EXPECT_EQ(r.Left, 5);
    EXPECT_GT(r.Right, 5);
  }
  TRect r = Rect(0, 0, 0, 0);
  bmp.DrawText("keyring", r, tfCalcRect | tfSingleLine);
  EXPECT_EQ(r.Right, word.cx);
}

TEST_F(TextLayerTest, DrawingStaysInsideTheClipAndTheBitmap) {
  REQUIRE_FACE("DejaVu Sans");
  TBitmap32 bmp;
  Paper300x80(bmp);
  bmp.SetFont(Font("DejaVu Sans", -60));
  bmp.SetClipBox(Rect(50, 20, 120, 60));
  for (TRect r : {Rect(-40, -30, 400, 200), Rect(30, 10, 100, 50), Rect(250, 60, 900, 900)}) {
    bmp.DrawText("WWWWWWWW gyp", r, tfNoClip);
    bmp.DrawText("WWWWWWWW gyp", r, 0);
  }
  TInk ink = InkOf(bmp);
  ASSERT_FALSE(ink.Empty());
  EXPECT_GE(ink.Left, 50);
  EXPECT_LT(ink.Right, 120);
  EXPECT_GE(ink.Top, 20);
  EXPECT_LT(ink.Bottom, 60);

  TBitmap32 blank; // measuring and drawing on a blank bitmap
  blank.SetFont(Font("DejaVu Sans", -10));
  TRect r = Rect(0, 0, 10, 10);
  EXPECT_GT(blank.TextExtent("x").cx, 0);
  EXPECT_GT(blank.DrawText("x", r, 0), 0);
}

TEST_F(TextLayerTest, PrefixesAndDamagedUtf8) {
  REQUIRE_FACE("DejaVu Sans");
  TBitmap32Font f = Font("DejaVu Sans", -20);
  TBitmap32 bmp;
  bmp.SetFont(f);
  auto calcWidth = [&](const std::string &text, uint32_t flags) {
    TRect r = Rect(0, 0, 0, 0);
    bmp.DrawText(text, r, flags | tfCalcRect | tfSingleLine);
    return r.Right;
  };
  EXPECT_EQ(calcWidth("&Save", 0), calcWidth("Save", 0));
  EXPECT_EQ(calcWidth("A&&B", 0), calcWidth("A&B", tfNoPrefix));
  EXPECT_GT(calcWidth("&Save", tfNoPrefix), calcWidth("Save", tfNoPrefix));
  // Broken sequences measure as the replacement characters they decode to,
  // one for each broken piece, never as the character an overlong or
  // surrogate form imitates.
  const std::string R = "\xEF\xBF\xBD"; // U+FFFD
  struct Case {
    std::string Bad, Same;
  } cases[] = {{"\xC3", R},
               {"a\xE2\x82", "a" + R},
               {"\xF8\x80", R + R},
               {"\xED\xA0\x80", R + R + R},
               {"\xC0\xAF", R + R}};
  const int32_t oneR = TextLayer().TextExtent(f, R).cx;
  ASSERT_GT(oneR, 0);
  ASSERT_NE(oneR, TextLayer().TextExtent(f, "/").cx) << "the test needs the two to differ";
  for (const Case &c : cases)
    EXPECT_EQ(TextLayer().TextExtent(f, c.Bad), TextLayer().TextExtent(f, c.Same))
        << PrintableText(c.Bad);
  EXPECT_NE(TextLayer().TextExtent(f, "\xC3\xA9"), TextLayer().TextExtent(f, R + R))
      << "a well-formed character is not replaced";
}

TEST_F(TextLayerTest, FontFamiliesAreListedSorted) {
  REQUIRE_FACE("DejaVu Sans");
  std::vector<std::string> list = {"stale"};
  TBitmap32::ListFontFamilies(list);
  EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
  EXPECT_EQ(std::adjacent_find(list.begin(), list.end()), list.end());
  EXPECT_NE(std::find(list.begin(), list.end(), "DejaVu Sans"), list.end());
  EXPECT_EQ(std::find(list.begin(), list.end(), "stale"), list.end());
}

} // namespace
