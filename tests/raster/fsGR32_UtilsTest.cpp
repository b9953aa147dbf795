// The bitmap utilities of the effects.

#include "raster/fsGR32.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A bitmap whose pixel at (x, y) is 100 * y + x, so moves can be read off.
struct Numbered : TBitmap32 {
  Numbered(int32_t w, int32_t h) {
    Resize(w, h);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        SetPixel(x, y, static_cast<TColor32>(100 * y + x));
  }
};

std::vector<TColor32> Rows(const TBitmap32 &b) {
  return std::vector<TColor32>(b.Bits(), b.Bits() + b.PixelCount());
}

struct FromValues : TBitmap32 {
  FromValues(int32_t w, int32_t h, const std::vector<TColor32> &v) {
    Resize(w, h);
    std::copy(v.begin(), v.end(), Bits());
  }
};

TEST(BitmapUtils, RotationsAndMirrors) {
  struct Case {
    const char *name;
    void (*op)(TBitmap32 &);
    int32_t w, h;
    std::vector<TColor32> expected;
  } cases[] = {
      // 3 x 2 source:   0   1   2
      //               100 101 102
      {"Rotate90Left", Rotate90Left, 2, 3, {2, 102, 1, 101, 0, 100}},
      {"Rotate90Right", Rotate90Right, 2, 3, {100, 0, 101, 1, 102, 2}},
      {"Rotate180", Rotate180, 3, 2, {102, 101, 100, 2, 1, 0}},
      {"MirrorHorizontal", MirrorHorizontal, 3, 2, {2, 1, 0, 102, 101, 100}},
      {"MirrorVertical", MirrorVertical, 3, 2, {100, 101, 102, 0, 1, 2}},
  };
  for (const Case &c : cases) {
    Numbered b(3, 2);
    int changes = 0;
    b.OnChange = [&](TThreadPersistent &) { ++changes; };
    c.op(b);
    EXPECT_EQ(b.Width(), c.w) << c.name;
    EXPECT_EQ(b.Height(), c.h) << c.name;
    EXPECT_EQ(Rows(b), c.expected) << c.name;
    EXPECT_EQ(changes, 1) << c.name;
    TBitmap32 blank;
    c.op(blank);
    EXPECT_TRUE(blank.IsBlank());
  }
  // Odd heights keep their middle row; square rotations stay in place.
  Numbered odd(2, 3);
  MirrorVertical(odd);
  EXPECT_EQ(Rows(odd), (std::vector<TColor32>{200, 201, 100, 101, 0, 1}));
  Numbered sq(2, 2);
  Rotate90Right(sq);
  EXPECT_EQ(Rows(sq), (std::vector<TColor32>{100, 0, 101, 1}));
  Rotate90Left(sq);
  EXPECT_EQ(Rows(sq), Rows(Numbered(2, 2)));
}

TEST(BitmapUtils, InvertAlphaKeepsColour) {
  FromValues b(2, 1, {0x00123456, 0xC0ABCDEF});
  InvertAlpha(b);
  EXPECT_EQ(Rows(b), (std::vector<TColor32>{0xFF123456, 0x3FABCDEF}));
}

TEST(BitmapUtils, IsUniform) {
  TBitmap32 b;
  b.Resize(0, 4);
  EXPECT_TRUE(IsUniform(b, 5)) << "zero width";
  b.Resize(3, 5);
  b.FillAll(0x00FFFFFF);
  EXPECT_TRUE(IsUniform(b, 0x00FFFFFF));
  EXPECT_FALSE(IsUniform(b, 0x00000000)) << "transparent pixels compare their colour bits too";
  b.SetPixel(1, 2, 0x01FFFFFF);
  EXPECT_FALSE(IsUniform(b, 0x00FFFFFF)) << "a difference in the middle row";
}

TEST(BitmapUtils, ShiftPixelsMovesTheLinearSequence) {
  struct Case {
    int32_t dx, dy;
    std::vector<TColor32> expected;
  } cases[] = {
      {1, 0, {0, 1, 2, 3, 4, 5}}, // the row end wraps into the next row
      {-1, 0, {2, 3, 4, 5, 6, 0}}, {0, 1, {0, 0, 0, 1, 2, 3}}, // one row of 3
      {-1, 1, {0, 0, 1, 2, 3, 4}},                             // dx + dy * Width = 2
      {0, 2, {0, 0, 0, 0, 0, 0}},                              // exactly the pixel count
      {7, 0, {1, 2, 3, 4, 5, 6}},                              // beyond the pixel count: nothing
      {0, 0, {1, 2, 3, 4, 5, 6}},
  };
  for (const Case &c : cases) {
    FromValues b(3, 2, {1, 2, 3, 4, 5, 6});
    ShiftPixels(b, c.dx, c.dy);
    EXPECT_EQ(Rows(b), c.expected) << c.dx << "," << c.dy;
  }
}

TEST(BitmapUtils, WeightMaps) {
  FromValues b(5, 1, {0xFF000000, 0x80FFFFFF, 0x01000000, 0x03000000, 0x00FFFFFF});
  AlphaToWeights(b, 1.0f);
  EXPECT_EQ(Rows(b), (std::vector<TColor32>{65280, 32768, 256, 768, 0}));
  // Halves round to even: 1/512 * 1 * 256 = 0.5 -> 0, * 3 = 1.5 -> 2.
  FromValues h(2, 1, {0x01000000, 0x03000000});
  AlphaToWeights(h, 1.0f / 512.0f);
  EXPECT_EQ(Rows(h), (std::vector<TColor32>{0, 2}));
  FromValues n(1, 1, {0xFF000000});
  AlphaToWeights(n, -1.0f);
  EXPECT_EQ(Rows(n), (std::vector<TColor32>{0})) << "negative factors give no weight";

  FromValues w(5, 1, {200, 256, 32768, 65280, 100000});
  WeightsToColor(w, 0x12ABCDEF);
  EXPECT_EQ(Rows(w), (std::vector<TColor32>{200, 0x01ABCDEF, 0x80ABCDEF, 0xFFABCDEF, 0xFFABCDEF}));
}

TEST(BitmapUtils, BoxBlurPassAveragesAcrossRowEnds) {
  struct Case {
    int32_t offset, window;
    std::vector<TColor32> expected;
  } cases[] = {
      {1, 3, {10, 20, 30, 40, 30}},
      {0, 2, {5, 15, 25, 35, 45}},
      {2, 3, {20, 30, 40, 30, 16}},
      {0, 1, {10, 20, 30, 40, 50}},
  };
  for (const Case &c : cases) {
    // 5 values over two rows of a 5 x 1... and of a 1 x 5 bitmap: only the
    // sequence matters.
    for (bool tall : {false, true}) {
      const FromValues src(tall ? 1 : 5, tall ? 5 : 1, {10, 20, 30, 40, 50});
      TBitmap32 dst;
      dst.Resize(5, 1);
      BoxBlurPass(src, dst, c.offset, c.window);
      EXPECT_EQ(Rows(dst), c.expected) << c.offset << "/" << c.window;
    }
  }
  // A window longer than the sequence, or pixel counts that differ: nothing.
  const FromValues src(5, 1, {10, 20, 30, 40, 50});
  TBitmap32 dst;
  dst.Resize(5, 1);
  BoxBlurPass(src, dst, 1, 6);
  EXPECT_EQ(Rows(dst), std::vector<TColor32>(5, 0));
  TBitmap32 other;
  other.Resize(2, 2);
  BoxBlurPass(src, other, 1, 3);
  EXPECT_EQ(Rows(other), std::vector<TColor32>(4, 0));
}

// The blur written out from its definition: naive window sums and explicit
// transposes, to check the running sums against.
std::vector<TColor32> NaivePass(const std::vector<TColor32> &s, int a, int n) {
  const int N = static_cast<int>(s.size());
  std::vector<TColor32> out(N);
  for (int k = 0; k < N; ++k) {
    uint64_t sum = 0;
    for (int i = k + a - n + 1; i <= k + a; ++i)
      if (i >= 0 && i < N)
        sum += s[i];
    out[k] = static_cast<TColor32>(sum / n);
  }
  return out;
}

std::vector<TColor32> NaiveTranspose(const std::vector<TColor32> &s, int w, int h) {
  std::vector<TColor32> out(s.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      out[x * h + y] = s[y * w + x];
  return out;
}

std::vector<TColor32> NaiveBack(const std::vector<TColor32> &t, int w, int h) {
  std::vector<TColor32> out(t.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      out[y * w + x] = t[x * h + y];
  return out;
}

TEST(BitmapUtils, BlursFollowTheirPasses) {
  const int w = 7, h = 5;
  std::vector<TColor32> weights(w * h, 0);
  weights[2 * w + 3] = 65280;
  weights[0] = 30000;
  weights[w * h - 1] = 12345;

  // Smooth, radius 2: window 3, offsets 1 and 1.
  {
    FromValues b(w, h, weights);
    BlurSmooth(b, 2.0f);
    auto v = weights;
    for (int i = 0; i < 2; ++i)
      v = NaivePass(NaivePass(v, 1, 3), 1, 3);
    v = NaiveTranspose(v, w, h);
    for (int i = 0; i < 2; ++i)
      v = NaivePass(NaivePass(v, 1, 3), 1, 3);
    EXPECT_EQ(Rows(b), NaiveBack(v, w, h));
    EXPECT_NE(Rows(b), weights);
  }
  // Smooth, radius 4: window 4, offsets 2 and 1.
  {
    FromValues b(w, h, weights);
    BlurSmooth(b, 4.0f);
    auto v = weights;
    for (int i = 0; i < 2; ++i)
      v = NaivePass(NaivePass(v, 2, 4), 1, 4);
    v = NaiveTranspose(v, w, h);
    for (int i = 0; i < 2; ++i)
      v = NaivePass(NaivePass(v, 1, 4), 2, 4);
    EXPECT_EQ(Rows(b), NaiveBack(v, w, h));
  }
  // Fast, radius 4: window 5, offset 2.
  {
    FromValues b(w, h, weights);
    BlurFast(b, 4.0f);
    auto v = NaivePass(weights, 2, 5);
    v = NaiveTranspose(v, w, h);
    v = NaivePass(v, 2, 5);
    EXPECT_EQ(Rows(b), NaiveBack(v, w, h));
  }
  // Radii that round below 2 do nothing.
  for (float r : {1.4f, 0.5f, 0.0f, -3.0f}) {
    FromValues b(w, h, weights);
    BlurSmooth(b, r);
    BlurFast(b, r);
    EXPECT_EQ(Rows(b), weights) << r;
  }
}

// Source and destination may be one bitmap: a pass then still reads the
// sequence as it was, a transpose leaves it alone.
TEST(BitmapUtils, TransposeAndPassOntoTheSameBitmap) {
  const Numbered src(3, 2);
  TBitmap32 dst;
  dst.Resize(2, 3);
  Transpose(src, dst);
  EXPECT_EQ(Rows(dst), (std::vector<TColor32>{0, 100, 1, 101, 2, 102}));
  Numbered same(3, 2);
  Transpose(same, same);
  EXPECT_EQ(Rows(same), Rows(src));

  const std::vector<TColor32> values = {10, 50, 0, 90, 20};
  FromValues inPlace(5, 1, values);
  BoxBlurPass(inPlace, inPlace, 1, 3);
  EXPECT_EQ(Rows(inPlace), NaivePass(values, 1, 3));
}

TEST(BitmapUtils, MergeUnderNeedsEqualPixelCounts) {
  FromValues b(2, 1, {0x80FF0000, 0x00123456});
  const FromValues under(1, 2, {0xFF0000FF, 0x80ABCDEF});
  MergeUnder(b, under, 255);
  EXPECT_EQ(Rows(b), (std::vector<TColor32>{0xFF7F007F, 0x80ABCDEF}));
  const FromValues small(1, 1, {0xFFFFFFFF});
  MergeUnder(b, small, 255);
  EXPECT_EQ(Rows(b), (std::vector<TColor32>{0xFF7F007F, 0x80ABCDEF}));
}

} // namespace
