#include "raster/fsGR32_Transforms.h"

#include "support/SeededRandom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using testsupport::SeededRandom;

const TStretchFilter AllFilters[] = {sfNearest, sfDraft,   sfLinear,  sfCosine,
                                     sfSpline,  sfLanczos, sfMitchell};

const char *Name(TStretchFilter f) {
  static const char *names[] = {"nearest", "draft",   "linear",  "cosine",
                                "spline",  "lanczos", "mitchell"};
  return names[f];
}

// A deterministic picture with every lane busy.
void Noise(TBitmap32 &b, int w, int h, uint32_t seed = 1) {
  b.SetSize(w, h);
  SeededRandom random(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixel(x, y, random.Word());
}

void Stretch(TBitmap32 &dst, const TRect &dr, const TBitmap32 &src, TStretchFilter f,
             TDrawMode mode = dmOpaque) {
  TransferStretched(dst, dr, dst.BoundsRect(), src, src.BoundsRect(), f, mode, nullptr);
}

TEST(Stretch, NearestDuplicatesAndPicks) {
  TBitmap32 src, dst;
  src.SetSize(2, 2);
  const TColor32 px[4] = {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004};
  for (int i = 0; i < 4; ++i)
    src.SetPixel(i % 2, i / 2, px[i]);
  dst.SetSize(4, 4);
  Stretch(dst, Rect(0, 0, 4, 4), src, sfNearest);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(dst.GetPixel(x, y), px[(y / 2) * 2 + x / 2]) << x << "," << y;

  // Shrinking takes column trunc(i * s); a single destination pixel takes
  // the middle one.
  TBitmap32 row, small;
  row.SetSize(5, 1);
  for (int x = 0; x < 5; ++x)
    row.SetPixel(x, 0, 0xFF000000 | x);
  small.SetSize(3, 1);
  Stretch(small, Rect(0, 0, 2, 1), row, sfNearest);
  EXPECT_EQ(small.GetPixel(0, 0), 0xFF000000u);
  EXPECT_EQ(small.GetPixel(1, 0), 0xFF000002u);
  EXPECT_EQ(small.GetPixel(2, 0), 0u);
  Stretch(small, Rect(2, 0, 3, 1), row, sfNearest);
  EXPECT_EQ(small.GetPixel(2, 0), 0xFF000002u);
}

TEST(Stretch, LinearEnlargementWeights) {
  TBitmap32 src, dst;
  src.SetSize(2, 2);
  src.FillAll(0xFF000000);
  src.SetPixel(1, 0, 0xFF0000FF);
  src.SetPixel(1, 1, 0xFF0000FF);
  dst.SetSize(4, 4);
  for (TStretchFilter f : {sfLinear, sfDraft}) {
    Stretch(dst, Rect(0, 0, 4, 4), src, f);
    // Columns sit at -0.25 (clamped), 0.25, 0.75 and 1.25 (clamped).
    const int expected[4] = {0, 63, 191, 255};
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x)
        EXPECT_EQ(dst.GetPixel(x, y), 0xFF000000u | expected[x]) << Name(f) << x << "," << y;
  }
}

TEST(Stretch, BilinearEnlargementMatchesItsDefinition) {
  TBitmap32 src, dst;
  Noise(src, 9, 7, 13);
  dst.SetSize(31, 26);
  Stretch(dst, dst.BoundsRect(), src, sfLinear);
  auto tap = [](int i, int dstLen, int srcLen, int &p, int &w) {
    const double s = double(srcLen) / dstLen;
    const double x = std::clamp((i + 0.5) * s - 0.5, 0.0, srcLen - 1.0);
    p = int(std::floor(x));
    w = 256 - int(std::lrint((x - p) * 256));
    if (p + 1 == srcLen)
      p -= 1, w = 0;
  };
  for (int y = 0; y < 26; ++y)
    for (int x = 0; x < 31; ++x) {
      int px, wx, py, wy;
      tap(x, 31, 9, px, wx);
      tap(y, 26, 7, py, wy);
      for (int l = 0; l < 4; ++l) {
        auto ch = [&](int cx, int cy) { return int((src.GetPixel(cx, cy) >> (8 * l)) & 255); };
        const int top = (ch(px + 1, py) * 256 + (ch(px, py) - ch(px + 1, py)) * wx) >> 8;
        const int bot =
            (ch(px + 1, py + 1) * 256 + (ch(px, py + 1) - ch(px + 1, py + 1)) * wx) >> 8;
        ASSERT_EQ(int((dst.GetPixel(x, y) >> (8 * l)) & 255), (bot * 256 + (top - bot) * wy) >> 8)
            << x << "," << y << " lane " << l;
      }
    }
}

TEST(Stretch, LanczosRepeatsASingleColumn) {
  TBitmap32 src, dst;
  Noise(src, 1, 6);
  for (TRect r : {Rect(0, 0, 10, 6), Rect(0, 0, 10, 15)}) {
    dst.SetSize(r.Right, r.Bottom);
    Stretch(dst, r, src, sfLanczos);
    for (int y = 0; y < r.Bottom; ++y)
      for (int x = 1; x < r.Right; ++x)
        ASSERT_EQ(dst.GetPixel(x, y), dst.GetPixel(0, y)) << x << "," << y;
    if (r.Bottom == 6) {
      for (int y = 0; y < 6; ++y)
        EXPECT_EQ(dst.GetPixel(0, y), src.GetPixel(0, y));
    }
  }
}

TEST(Stretch, DraftShrinkGivesBlockMeans) {
  TBitmap32 src, dst;
  Noise(src, 100, 100, 7);
  dst.SetSize(10, 10);
  Stretch(dst, Rect(0, 0, 10, 10), src, sfDraft);
  for (int by = 0; by < 10; ++by)
    for (int bx = 0; bx < 10; ++bx)
      for (int l = 0; l < 4; ++l) {
        uint32_t sum = 0;
        for (int y = 0; y < 10; ++y)
          for (int x = 0; x < 10; ++x)
            sum += (src.GetPixel(bx * 10 + x, by * 10 + y) >> (8 * l)) & 255;
        ASSERT_EQ((dst.GetPixel(bx, by) >> (8 * l)) & 255, sum / 100) << bx << "," << by;
      }
}

// Weights that do not sum to one show up as a drift of a flat colour.
TEST(Stretch, FlatColourStaysFlatUnderEveryFilter) {
  for (TColor32 colour : {clWhite32, 0x80C04020u, 0u})
    for (TStretchFilter f : AllFilters)
      for (TRect r : {Rect(0, 0, 7, 5), Rect(0, 0, 61, 47), Rect(0, 0, 23, 4)}) {
        TBitmap32 src, dst;
        src.SetSize(23, 17);
        src.FillAll(colour);
        dst.SetSize(r.Right, r.Bottom);
        Stretch(dst, r, src, f);
        for (int y = 0; y < r.Bottom; ++y)
          for (int x = 0; x < r.Right; ++x)
            ASSERT_EQ(dst.GetPixel(x, y), colour)
                << Name(f) << " " << r.Right << " at " << x << "," << y;
      }
}

// The kernel filters written out directly for destination pixels 0 ..
// dstLen - 1 over source positions srcLo .. srcHi - 1: per destination pixel
// the weights round(k * 256) (widened and scaled when shrinking), made to
// sum to 256 at the middle entry, applied to the 2-D neighbourhood.
std::vector<std::vector<std::pair<int, int>>> RefWeights(TStretchFilter f, int dstLen, int srcLo,
                                                         int srcHi) {
  std::vector<std::vector<std::pair<int, int>>> all(dstLen);
  const int srcLen = srcHi - srcLo;
  const double sc = double(dstLen) / srcLen;
  const int r = StretchKernelRadius(f);
  for (int i = 0; i < dstLen; ++i) {
    auto &e = all[i];
    if (srcLen == 1) {
      e.push_back({srcLo, 256});
      continue;
    }
    const double c = (i + 0.5) / sc + srcLo - 0.5;
    const double reach = sc >= 1 ? r : r / sc;
    for (int j = int(std::floor(c - reach)); j <= int(std::ceil(c + reach)); ++j) {
      const int w =
          sc >= 1 ? int(std::lrint(StretchKernel(f, float(c - j)) * 256.0f))
                  : int(std::lrint(float(sc) * StretchKernel(f, float((c - j) * sc)) * 256.0f));
      if (w)
        e.push_back({std::clamp(j, srcLo, srcHi - 1), w});
    }
    if (e.empty())
      e.push_back({std::clamp(int(std::floor(sc >= 1 ? c + 0.5 : c)), srcLo, srcHi - 1), 256});
    int sum = 0;
    for (auto &p : e)
      sum += p.second;
    e[(e.size() - 1) / 2].second -= sum - 256;
  }
  return all;
}

TEST(Stretch, KernelFiltersMatchTheirDefinition) {
  TBitmap32 src;
  Noise(src, 13, 11, 21);
  for (TStretchFilter f : {sfLinear, sfCosine, sfSpline, sfLanczos, sfMitchell})
    for (TRect r : {Rect(0, 0, 7, 5), Rect(0, 0, 29, 23), Rect(0, 0, 29, 5), Rect(0, 0, 3, 40)}) {
      if (f == sfLinear && r.Right > 13 && r.Bottom > 11)
        continue; // the bilinear enlargement, tested on its own
      TBitmap32 dst;
      dst.SetSize(r.Right, r.Bottom);
      Stretch(dst, r, src, f);
      const auto wx = RefWeights(f, r.Right, 0, 13), wy = RefWeights(f, r.Bottom, 0, 11);
      for (int y = 0; y < r.Bottom; ++y)
        for (int x = 0; x < r.Right; ++x)
          for (int l = 0; l < 4; ++l) {
            int64_t sum = 0;
            for (auto [sy, w1] : wy[y])
              for (auto [sx, w2] : wx[x])
                sum += int64_t(w1) * w2 * ((src.GetPixel(sx, sy) >> (8 * l)) & 255);
            const int64_t expected = std::clamp<int64_t>(sum, 0, 255 * 65536) >> 16;
            ASSERT_EQ((dst.GetPixel(x, y) >> (8 * l)) & 255, uint32_t(expected))
                << Name(f) << " " << r.Right << "x" << r.Bottom << " at " << x << "," << y;
          }
    }
}

// The kernel resampler written out plainly for any source rectangle,
// destination rectangle and clip: per destination pixel the 2-D sum of
// weight products, limited and shifted. Random pictures and sizes (odd ones,
// exact halvings, enlarging one way and shrinking the other), clipping and
// blending with master alpha must all give exactly these pixels.
TEST(Stretch, KernelResamplerMatchesAPlainSumOnRandomCases) {
  SeededRandom random(12345);
  auto next = [&](int lo, int hi) { return random.Between(lo, hi); };
  struct Case {
    int SrcW, SrcH;
    TRect SrcRect, DstRect, Clip;
  };
  // Fixed halvings and quarterings first, then random ones.
  std::vector<Case> cases = {
      {64, 48, Rect(0, 0, 64, 48), Rect(0, 0, 32, 24), Rect(0, 0, 32, 24)},
      {67, 45, Rect(0, 0, 67, 45), Rect(0, 0, 33, 22), Rect(0, 0, 33, 22)},
      {80, 60, Rect(0, 0, 80, 60), Rect(0, 0, 20, 15), Rect(0, 0, 20, 15)},
      {90, 70, Rect(3, 5, 83, 65), Rect(-3, 2, 37, 32), Rect(1, 3, 30, 25)},
      {40, 2, Rect(0, 0, 40, 2), Rect(0, 0, 20, 7), Rect(0, 0, 20, 7)},
      {1, 30, Rect(0, 0, 1, 30), Rect(0, 0, 5, 15), Rect(0, 0, 5, 15)},
  };
  for (int n = 0; n < 40; ++n) {
    Case c;
    c.SrcW = next(1, 57);
    c.SrcH = next(1, 45);
    const int l = next(0, c.SrcW - 1), t = next(0, c.SrcH - 1);
    c.SrcRect = Rect(l, t, next(l + 1, c.SrcW), next(t + 1, c.SrcH));
    const int dl = next(-6, 6), dt = next(-6, 6);
    c.DstRect = Rect(dl, dt, dl + next(1, 70), dt + next(1, 70));
    const int cl = next(-2, 20), ct = next(-2, 20);
    c.Clip = Rect(cl, ct, cl + next(1, 60), ct + next(1, 60));
    cases.push_back(c);
  }
  const int dw = 40, dh = 36;
  for (size_t n = 0; n < cases.size(); ++n) {
    const Case &c = cases[n];
    TBitmap32 src;
    Noise(src, c.SrcW, c.SrcH, uint32_t(n) + 100);
    const int sw = c.SrcRect.Width(), sh = c.SrcRect.Height();
    const int rw = c.DstRect.Width(), rh = c.DstRect.Height();
    if (rw == sw && rh == sh)
      continue; // a plain copy
    for (TStretchFilter f : {sfLinear, sfCosine, sfSpline, sfLanczos, sfMitchell}) {
      if (f == sfLinear && rw > sw && rh > sh && sw > 1 && sh > 1)
        continue; // the bilinear enlargement, tested on its own
      const auto wx = RefWeights(f, rw, c.SrcRect.Left, c.SrcRect.Right);
      const auto wy = RefWeights(f, rh, c.SrcRect.Top, c.SrcRect.Bottom);
      struct Mode {
        TDrawMode Draw;
        uint32_t Master;
        TCombineMode Combine;
      };
      for (const Mode m : {Mode{dmOpaque, 255, cmBlend}, Mode{dmBlend, 255, cmBlend},
                           Mode{dmBlend, 97, cmMerge}}) {
        const bool opaque = m.Draw == dmOpaque;
        const uint32_t master = m.Master;
        TBitmap32 before, dst;
        Noise(before, dw, dh, uint32_t(n) + 7);
        dst.Assign(before);
        src.SetMasterAlpha(master);
        src.SetCombineMode(m.Combine);
        TransferStretched(dst, c.DstRect, c.Clip, src, c.SrcRect, f, m.Draw, nullptr);
        for (int y = 0; y < dh; ++y)
          for (int x = 0; x < dw; ++x) {
            const bool in = x >= std::max(0, std::max(c.Clip.Left, c.DstRect.Left)) &&
                            x < std::min(c.Clip.Right, c.DstRect.Right) &&
                            y >= std::max(0, std::max(c.Clip.Top, c.DstRect.Top)) &&
                            y < std::min(c.Clip.Bottom, c.DstRect.Bottom);
            TColor32 expected = before.GetPixel(x, y);
            if (in) {
              TColor32 colour = 0;
              for (int lane = 0; lane < 4; ++lane) {
                int64_t sum = 0;
                for (auto [sy, w1] : wy[y - c.DstRect.Top])
                  for (auto [sx, w2] : wx[x - c.DstRect.Left])
                    sum += int64_t(w1) * w2 * ((src.GetPixel(sx, sy) >> (8 * lane)) & 255);
                colour |= TColor32(std::clamp<int64_t>(sum, 0, 255 * 65536) >> 16) << (8 * lane);
              }
              if (opaque)
                expected = colour;
              else if (master == 255)
                BlendSpanProcs[src.CombineMode()](&colour, &expected, 1);
              else
                BlendScaledSpanProcs[src.CombineMode()](&colour, &expected, 1, master);
            }
            ASSERT_EQ(dst.GetPixel(x, y), expected) << "case " << n << " " << Name(f) << " master "
                                                    << master << " at " << x << "," << y;
          }
      }
    }
  }
}

TEST(Stretch, OvershootIsLimitedNotWrapped) {
  TBitmap32 src, dst;
  src.SetSize(8, 2);
  src.FillAll(0xFF000000);
  src.FillBox(4, 0, 8, 2, clWhite32);
  dst.SetSize(40, 2);
  for (TStretchFilter f : {sfLanczos, sfMitchell, sfSpline, sfCosine}) {
    Stretch(dst, Rect(0, 0, 40, 2), src, f);
    for (int x = 0; x < 40; ++x) {
      const int blue = dst.GetPixel(x, 0) & 255;
      if (x < 15) {
        EXPECT_LE(blue, 20) << Name(f) << " " << x;
      } else if (x >= 25) {
        EXPECT_GE(blue, 235) << Name(f) << " " << x;
      }
    }
  }
}

// A clipped transfer writes exactly what the whole one wrote there.
TEST(Stretch, ClippingKeepsTheSamePixels) {
  TBitmap32 src;
  Noise(src, 13, 11, 3);
  for (TStretchFilter f : AllFilters)
    for (TRect dr : {Rect(-5, -3, 30, 25), Rect(2, 1, 9, 8), Rect(-20, 4, 8, 40)}) {
      TBitmap32 whole, part;
      whole.SetSize(24, 20);
      part.SetSize(24, 20);
      TransferStretched(whole, dr, whole.BoundsRect(), src, src.BoundsRect(), f, dmOpaque, nullptr);
      const TRect clip = Rect(3, 2, 17, 15);
      TransferStretched(part, dr, clip, src, src.BoundsRect(), f, dmOpaque, nullptr);
      for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 24; ++x) {
          const bool in = x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom;
          ASSERT_EQ(part.GetPixel(x, y), in ? whole.GetPixel(x, y) : 0u)
              << Name(f) << " " << dr.Left << " at " << x << "," << y;
        }
    }
}

TEST(Stretch, SourceRectangleSelectsPixels) {
  TBitmap32 src, dst;
  Noise(src, 10, 10, 9);
  dst.SetSize(4, 4);
  TransferStretched(dst, Rect(0, 0, 4, 4), dst.BoundsRect(), src, Rect(3, 5, 5, 7), sfNearest,
                    dmOpaque, nullptr);
  EXPECT_EQ(dst.GetPixel(0, 0), src.GetPixel(3, 5));
  EXPECT_EQ(dst.GetPixel(3, 3), src.GetPixel(4, 6));
}

TEST(Stretch, Failures) {
  TBitmap32 src, dst, blank;
  src.SetSize(4, 4);
  dst.SetSize(4, 4);
  struct Case {
    const char *Name;
    TBitmap32 *Dst;
    TRect SrcRect;
    const char *Message;
  };
  const std::vector<Case> cases = {
      {"blank destination", &blank, Rect(0, 0, 4, 4), "Destination bitmap is nil or empty"},
      {"rectangle outside", &dst, Rect(1, 1, 5, 4), "Source rectangle is invalid"},
      {"negative rectangle", &dst, Rect(-1, 0, 2, 2), "Source rectangle is invalid"},
  };
  for (const Case &c : cases) {
    try {
      TransferStretched(*c.Dst, Rect(0, 0, 8, 8), Rect(0, 0, 8, 8), src, c.SrcRect, sfLinear,
                        dmOpaque, nullptr);
      ADD_FAILURE() << c.Name;
    } catch (const EBitmapTransferError &e) {
      EXPECT_EQ(std::string(e.what()), c.Message) << c.Name;
    }
  }
  // Quietly nothing: a blank source, an empty source rectangle.
  src.FillAll(clRed32);
  TransferStretched(dst, Rect(0, 0, 4, 4), dst.BoundsRect(), blank, Rect(0, 0, 1, 1), sfLinear,
                    dmOpaque, nullptr);
  TransferStretched(dst, Rect(0, 0, 4, 4), dst.BoundsRect(), src, Rect(2, 2, 2, 4), sfLinear,
                    dmOpaque, nullptr);
  EXPECT_EQ(dst.GetPixel(1, 1), 0u);
}

TEST(Stretch, DrawModes) {
  TBitmap32 src, dst;
  src.SetSize(2, 2);
  src.FillAll(0x80FF0000);
  dst.SetSize(4, 4);
  auto reset = [&] { dst.FillAll(clBlue32); };
  struct Case {
    const char *Name;
    TDrawMode Mode;
    uint32_t Master;
    TCombineMode Combine;
    TColor32 Expected;
  };
  const std::vector<Case> cases = {
      {"opaque", dmOpaque, 255, cmBlend, 0x80FF0000},
      {"blend", dmBlend, 255, cmBlend, ColorBlend(0x80FF0000, clBlue32)},
      {"merge", dmBlend, 255, cmMerge, ColorMerge(0x80FF0000, clBlue32)},
      {"blend half", dmBlend, 128, cmBlend, 0},
      {"master alpha 0", dmBlend, 0, cmBlend, clBlue32},
      {"custom without callback", dmCustom, 255, cmBlend, 0x80FF0000},
  };
  for (const Case &c : cases)
    for (TStretchFilter f : {sfNearest, sfLinear, sfLanczos}) {
      reset();
      src.SetMasterAlpha(c.Master);
      src.SetCombineMode(c.Combine);
      Stretch(dst, Rect(0, 0, 4, 4), src, f, c.Mode);
      TColor32 expected = c.Expected;
      if (expected == 0) {
        expected = clBlue32;
        ColorBlendScaledSpan(&src.Bits()[0], &expected, 1, c.Master);
      }
      EXPECT_EQ(dst.GetPixel(2, 2), expected) << c.Name << " " << Name(f);
    }
  src.SetMasterAlpha(200);
  int calls = 0;
  reset();
  TransferStretched(dst, Rect(0, 0, 4, 4), dst.BoundsRect(), src, src.BoundsRect(), sfNearest,
                    dmCustom, [&](TColor32 F, TColor32 &B, TColor32 M) {
                      ++calls;
                      EXPECT_EQ(F, 0x80FF0000u);
                      EXPECT_EQ(M, 200u);
                      B = 0xFF00FF00;
                    });
  EXPECT_EQ(calls, 16);
  EXPECT_EQ(dst.GetPixel(3, 3), 0xFF00FF00u);
}

TEST(DrawOnto, UsesTheSourcesSettingsAndNotifiesOnce) {
  TBitmap32 src, dst;
  Noise(src, 3, 3, 5);
  dst.SetSize(9, 9);
  int changes = 0;
  dst.OnChange = [&](TThreadPersistent &) { ++changes; };
  src.SetStretchFilter(sfNearest);
  src.DrawOnto(dst, Rect(0, 0, 9, 9));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(dst.GetPixel(8, 8), src.GetPixel(2, 2));
  EXPECT_EQ(dst.GetPixel(4, 1), src.GetPixel(1, 0));
  // Same size copies; a source rectangle picks a part; a clip box limits.
  dst.SetClipBox(Rect(0, 0, 2, 9));
  src.DrawOnto(dst, Rect(0, 0, 2, 2), Rect(1, 1, 3, 3));
  EXPECT_EQ(dst.GetPixel(0, 0), src.GetPixel(1, 1));
  EXPECT_EQ(dst.GetPixel(1, 1), src.GetPixel(2, 2));
  EXPECT_EQ(changes, 2);
  TBitmap32 blank;
  blank.DrawOnto(dst, Rect(0, 0, 4, 4));
  EXPECT_EQ(changes, 2);
}

TEST(DrawOntoAveraged, AveragesBlocksWhenShrinking) {
  TBitmap32 src, dst;
  src.SetSize(5, 1);
  const uint32_t v[5] = {10, 20, 31, 40, 50};
  for (int x = 0; x < 5; ++x)
    src.SetPixel(x, 0, v[x] | 0xFF000000);
  dst.SetSize(2, 1);
  // 5 over 2: a block of 2, then one of 3.
  DrawOntoAveraged(dst, Rect(0, 0, 2, 1), src, src.BoundsRect(), sfLinear, dmOpaque);
  EXPECT_EQ(dst.GetPixel(0, 0), 0xFF00000Fu);
  EXPECT_EQ(dst.GetPixel(1, 0), 0xFF000000u | ((31 + 40 + 50) / 3));

  TBitmap32 big, small;
  Noise(big, 40, 30, 11);
  small.SetSize(10, 10);
  DrawOntoAveraged(small, Rect(0, 0, 10, 10), big, big.BoundsRect(), sfLinear, dmOpaque);
  for (int l = 0; l < 4; ++l) {
    uint32_t sum = 0;
    for (int y = 3; y < 6; ++y)
      for (int x = 8; x < 12; ++x)
        sum += (big.GetPixel(x, y) >> (8 * l)) & 255;
    EXPECT_EQ((small.GetPixel(2, 1) >> (8 * l)) & 255, sum / 12);
  }
  // Another filter, or enlarging, stretches normally.
  TBitmap32 a, b;
  a.SetSize(10, 10);
  b.SetSize(10, 10);
  DrawOntoAveraged(a, Rect(0, 0, 10, 10), big, big.BoundsRect(), sfNearest, dmOpaque);
  Stretch(b, Rect(0, 0, 10, 10), big, sfNearest);
  EXPECT_EQ(0, memcmp(a.Bits(), b.Bits(), 400));
  // Partly outside the destination: only the part inside is written.
  TBitmap32 c;
  c.SetSize(10, 10);
  DrawOntoAveraged(c, Rect(5, 5, 15, 15), big, big.BoundsRect(), sfLinear, dmOpaque);
  EXPECT_EQ(c.GetPixel(7, 6), small.GetPixel(2, 1));
  EXPECT_EQ(c.GetPixel(4, 4), 0u);
}

// Area averaging written out plainly: blocks of srcLen div dstLen source
// pixels, one more wherever the running remainder reaches the destination
// length, and the truncated mean of each block.
std::vector<int> RefBlocks(int srcLen, int dstLen, int srcLo) {
  std::vector<int> b{srcLo};
  int64_t acc = 0;
  for (int i = 0; i < dstLen; ++i) {
    int n = srcLen / dstLen;
    acc += srcLen - int64_t(dstLen) * (srcLen / dstLen);
    if (acc >= dstLen)
      ++n, acc -= dstLen;
    b.push_back(b.back() + n);
  }
  return b;
}

TEST(DrawOntoAveraged, MatchesPlainBlockMeansOnRandomCases) {
  SeededRandom random(777);
  auto next = [&](int lo, int hi) { return random.Between(lo, hi); };
  struct Case {
    int SrcW, SrcH;
    TRect SrcRect, DstRect;
  };
  std::vector<Case> cases = {
      {64, 48, Rect(0, 0, 64, 48), Rect(0, 0, 16, 12)},
      {61, 47, Rect(0, 0, 61, 47), Rect(0, 0, 15, 11)},
      {30, 600, Rect(0, 0, 30, 600), Rect(0, 0, 7, 2)}, // blocks of 300 rows
      {50, 40, Rect(4, 3, 50, 40), Rect(-5, 6, 12, 20)},
  };
  for (int n = 0; n < 30; ++n) {
    Case c;
    c.SrcW = next(1, 90);
    c.SrcH = next(1, 70);
    const int l = next(0, c.SrcW - 1), t = next(0, c.SrcH - 1);
    c.SrcRect = Rect(l, t, next(l + 1, c.SrcW), next(t + 1, c.SrcH));
    const int dl = next(-5, 10), dt = next(-5, 10);
    c.DstRect = Rect(dl, dt, dl + next(1, c.SrcRect.Width()), dt + next(1, c.SrcRect.Height()));
    cases.push_back(c);
  }
  for (size_t n = 0; n < cases.size(); ++n) {
    const Case &c = cases[n];
    TBitmap32 src, dst, before;
    Noise(src, c.SrcW, c.SrcH, uint32_t(n) + 40);
    Noise(before, 24, 22, uint32_t(n) + 3);
    dst.Assign(before);
    DrawOntoAveraged(dst, c.DstRect, src, c.SrcRect, sfLinear, dmOpaque);
    const auto cols = RefBlocks(c.SrcRect.Width(), c.DstRect.Width(), c.SrcRect.Left);
    const auto rows = RefBlocks(c.SrcRect.Height(), c.DstRect.Height(), c.SrcRect.Top);
    for (int y = 0; y < 22; ++y)
      for (int x = 0; x < 24; ++x) {
        const int i = x - c.DstRect.Left, j = y - c.DstRect.Top;
        TColor32 expected = before.GetPixel(x, y);
        if (i >= 0 && j >= 0 && i < c.DstRect.Width() && j < c.DstRect.Height()) {
          expected = 0;
          const uint64_t area = uint64_t(cols[i + 1] - cols[i]) * (rows[j + 1] - rows[j]);
          for (int lane = 0; lane < 4; ++lane) {
            uint64_t sum = 0;
            for (int sy = rows[j]; sy < rows[j + 1]; ++sy)
              for (int sx = cols[i]; sx < cols[i + 1]; ++sx)
                sum += (src.GetPixel(sx, sy) >> (8 * lane)) & 255;
            expected |= TColor32(sum / area) << (8 * lane);
          }
        }
        ASSERT_EQ(dst.GetPixel(x, y), expected) << "case " << n << " at " << x << "," << y;
      }
  }
}

TEST(StretchKernel, ValuesAndRadii) {
  struct Case {
    TStretchFilter F;
    float X, K;
    int Radius;
  };
  const std::vector<Case> cases = {
      {sfNearest, 0.5f, 1, 1},        {sfNearest, -0.5f, 0, 1},       {sfLinear, 0.25f, 0.75f, 1},
      {sfDraft, 1.0f, 0, 1},          {sfCosine, 0.5f, 0.5f, 1},      {sfSpline, 0, 2.0f / 3, 2},
      {sfSpline, 1.5f, 1.0f / 48, 2}, {sfLanczos, 0, 1, 3},           {sfLanczos, 1, 0, 3},
      {sfLanczos, 3, 0, 3},           {sfMitchell, 0, 16.0f / 18, 2}, {sfMitchell, 1, 1.0f / 18, 2},
      {sfMitchell, 2, 0, 2},
  };
  for (const Case &c : cases) {
    EXPECT_NEAR(StretchKernel(c.F, c.X), c.K, 1e-5) << Name(c.F) << " " << c.X;
    EXPECT_EQ(StretchKernelRadius(c.F), c.Radius) << Name(c.F);
  }
}

} // namespace
