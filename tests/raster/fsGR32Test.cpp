// Colour functions and blend arithmetic.

#include "raster/fsGR32.h"
#include "raster/fsGR32_Merge_avx2.h"

#include "support/SeededRandom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

namespace {

// The lane formula written out one channel at a time, to check the packed
// four-lane arithmetic against.
TColor32 LaneLerp(TColor32 X, TColor32 Y, uint32_t W) {
  TColor32 r = 0;
  for (int s = 0; s < 32; s += 8) {
    const int32_t x = (X >> s) & 255, y = (Y >> s) & 255;
    const int32_t v = (y * 256 + (x - y) * static_cast<int32_t>(W) + 128) >> 8;
    r |= static_cast<TColor32>(v) << s;
  }
  return r;
}

const TColor32 SampleColors[] = {0x00000000, 0xFFFFFFFF, 0x80FF0000, 0xFF0000FF, 0x7F123456,
                                 0x01FEDCBA, 0xFE010203, 0x40808080, 0x00ABCDEF, 0xC0FF00FF};

TEST(Colour, ComponentsAndComposition) {
  EXPECT_EQ(RedComponent(0x80123456), 0x12);
  EXPECT_EQ(GreenComponent(0x80123456), 0x34);
  EXPECT_EQ(BlueComponent(0x80123456), 0x56);
  EXPECT_EQ(AlphaComponent(0x80123456), 0x80);
  EXPECT_EQ(Color32(0x12, 0x34, 0x56, 0x80), 0x80123456u);
  EXPECT_EQ(Color32(0x12, 0x34, 0x56), 0xFF123456u);
  // Out-of-range channels are masked into their own byte only.
  EXPECT_EQ(Color32(0x112, 0x134, 0x156, 0x80), 0x80123456u);
  EXPECT_EQ(GreyColor(0x40, 0x80), 0x80404040u);
  EXPECT_EQ(Luma(0xFFFFFFFF), 255);
  EXPECT_EQ(Luma(0xFF00FF00), (174 * 255) >> 8);
}

TEST(Colour, PlatformColourExchangesRedAndBlue) {
  EXPECT_EQ(ToColor32(0x00332211), 0xFF112233u);
  EXPECT_EQ(ToColor32(0x7F332211), 0xFF112233u) << "the high byte is not alpha";
  EXPECT_EQ(ToPlatformColor(0x80112233), 0x00332211);
  // System colour index 5 (window background) and 8 (window text).
  EXPECT_EQ(ToColor32(static_cast<int32_t>(0x80000005)), 0xFFFFFFFFu);
  EXPECT_EQ(ToColor32(static_cast<int32_t>(0x80000008)), 0xFF000000u);
  EXPECT_EQ(ToColor32(static_cast<int32_t>(0x800000FE)), 0xFF000000u) << "unknown index";
}

TEST(Colour, WithAlphaClampsTheAlpha) {
  struct Case {
    int32_t a;
    TColor32 expected;
  } cases[] = {{0x40, 0x40123456}, {300, 0xFF123456}, {-5, 0x00123456}, {255, 0xFF123456}};
  for (const Case &c : cases)
    EXPECT_EQ(WithAlpha(0x99123456, c.a), c.expected) << c.a;
}

TEST(Colour, HslRoundTripAndRounding) {
  struct Case {
    float h, s, l;
    TColor32 rgb;
  } cases[] = {
      {0.0f, 1.0f, 0.5f, 0xFFFF0000},
      {1.0f / 3.0f, 1.0f, 0.5f, 0xFF00FF00},
      {2.0f / 3.0f, 1.0f, 0.5f, 0xFF0000FF},
      {0.0f, 0.0f, 1.0f, 0xFFFFFFFF},
      {0.0f, 0.0f, 0.0f, 0xFF000000},
      // 0.5 * 255 = 127.5 goes to the even neighbour.
      {0.3f, 0.0f, 0.5f, 0xFF808080},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(HSLToColor32(c.h, c.s, c.l), c.rgb) << c.h << " " << c.s << " " << c.l;
    float h, s, l;
    Color32ToHSL(c.rgb, h, s, l);
    if (c.s != 0.0f) {
      EXPECT_NEAR(h, c.h, 1e-6f);
      EXPECT_NEAR(s, c.s, 1e-6f);
    } else {
      EXPECT_EQ(h, 0.0f);
      EXPECT_EQ(s, 0.0f);
    }
    // Lightness is that of the bytes made.
    EXPECT_NEAR(l, c.s != 0.0f ? c.l : std::nearbyint(c.l * 255.0f) / 255.0f, 1e-6f);
  }
  float h, s, l;
  Color32ToHSL(0xFFFF00FF, h, s, l); // magenta: a negative hue wraps
  EXPECT_NEAR(h, 5.0f / 6.0f, 1e-6f);
  Color32ToHSL(0xFF804020, h, s, l); // darker than half: S = d / (mx + mn)
  EXPECT_NEAR(s, (0x80 - 0x20) / float(0x80 + 0x20), 1e-6f);
  EXPECT_NEAR(l, (0x80 + 0x20) / 510.0f, 1e-6f);
}

TEST(Blend, TablesHoldTheirWeights) {
  EXPECT_EQ(MixTable[0], 0u);
  EXPECT_EQ(MixTable[128], 0x0080008000800080ull);
  EXPECT_EQ(MixTable[255], 0x00FF00FF00FF00FFull);
  EXPECT_EQ(GammaWeights[0], 0);
  EXPECT_EQ(GammaWeights[1], 5);
  EXPECT_EQ(GammaWeights[64], 97);
  EXPECT_EQ(GammaWeights[128], 157);
  EXPECT_EQ(GammaWeights[255], 255);
}

TEST(Blend, MixValueAndInPlaceForms) {
  // W = 255 is not exactly X in the value form...
  EXPECT_EQ(ColorMix(0xFFFFFFFF, 0x00000000, 255), 0xFEFEFEFEu);
  // ...but the in-place form takes X as it is.
  TColor32 b = 0;
  ColorMixInPlace(0xFFFFFFFF, b, 255);
  EXPECT_EQ(b, 0xFFFFFFFFu);
  b = 0x12345678;
  ColorMixInPlace(0xFFFFFFFF, b, 0);
  EXPECT_EQ(b, 0x12345678u);
  for (TColor32 x : SampleColors)
    for (TColor32 y : SampleColors)
      for (uint32_t w : {0u, 1u, 64u, 127u, 128u, 200u, 254u, 255u})
        ASSERT_EQ(ColorMix(x, y, w), LaneLerp(x, y, w)) << std::hex << x << " " << y << " " << w;
}

TEST(Blend, BlendFormsAgreeWithTheLaneFormula) {
  TColor32 b = 0xFF0000FF;
  ColorBlendInPlace(0x80FF0000, b);
  EXPECT_EQ(b, 0xC0800080u) << "alpha is blended like the colours";
  for (TColor32 f : SampleColors)
    for (TColor32 bg : SampleColors) {
      ASSERT_EQ(ColorBlend(f, bg), LaneLerp(f, bg, f >> 24));
      TColor32 inPlace = bg;
      ColorBlendInPlace(f, inPlace);
      const TColor32 expected = (f >> 24) == 0     ? bg
                                : (f >> 24) == 255 ? f
                                                   : LaneLerp(f, bg, f >> 24);
      ASSERT_EQ(inPlace, expected) << std::hex << f << " " << bg;
    }
  // The value form has no shortcut: alpha 0 still rounds towards F.
  EXPECT_EQ(ColorBlend(0x00FFFFFF, 0x00000000), LaneLerp(0x00FFFFFF, 0, 0));
  EXPECT_EQ(ColorBlend(0xFFFFFFFF, 0xFF000000), 0xFFFEFEFEu);
}

TEST(Blend, SpanFormsMatchTheirPixelForms) {
  TColor32 dst[std::size(SampleColors)];
  for (TColor32 bg : SampleColors) {
    std::fill(std::begin(dst), std::end(dst), bg);
    ColorBlendSpan(SampleColors, dst, static_cast<int32_t>(std::size(SampleColors)));
    for (size_t i = 0; i < std::size(SampleColors); ++i) {
      TColor32 e = bg;
      ColorBlendInPlace(SampleColors[i], e);
      ASSERT_EQ(dst[i], e);
    }
    std::fill(std::begin(dst), std::end(dst), bg);
    ColorMergeSpan(SampleColors, dst, static_cast<int32_t>(std::size(SampleColors)));
    for (size_t i = 0; i < std::size(SampleColors); ++i)
      ASSERT_EQ(dst[i], ColorMerge(SampleColors[i], bg));
  }
  // Counts of 0 or less touch nothing.
  TColor32 one = 0x12345678;
  ColorBlendSpan(SampleColors, &one, 0);
  ColorMergeSpan(SampleColors, &one, -3);
  ColorBlendScaledSpan(SampleColors, &one, -1, 128);
  EXPECT_EQ(one, 0x12345678u);
}

TEST(Blend, MasterAlphaWeightsRoundDifferentlyInSpans) {
  // Pixel form: W = alpha * (M + 1) >> 8; span form: W = (alpha + 1) * M >> 8.
  EXPECT_EQ(ColorBlendScaled(0xFFFF0000, 0xFF0000FF, 128), 0xFF800080u);
  // alpha 1, M 128: the pixel form's weight is 0, the span form's is 1.
  EXPECT_EQ(ColorBlendScaled(0x01FFFFFF, 0xFF000000, 128), 0xFF000000u);
  TColor32 span = 0xFF000000;
  const TColor32 f = 0x01FFFFFF;
  ColorBlendScaledSpan(&f, &span, 1, 128);
  EXPECT_EQ(span, LaneLerp(f, 0xFF000000, 1));
  // No shortcut at full weight in the pixel form.
  EXPECT_EQ(ColorBlendScaled(0xFFFFFFFF, 0xFF000000, 255), LaneLerp(0xFFFFFFFF, 0xFF000000, 255));
  // M = 0 leaves the background in both forms.
  EXPECT_EQ(ColorBlendScaled(0xFFFFFFFF, 0x12345678, 0), 0x12345678u);
  span = 0x12345678;
  const TColor32 opaque = 0xFFFFFFFF;
  ColorBlendScaledSpan(&opaque, &span, 1, 0);
  EXPECT_EQ(span, 0x12345678u);
  // In-place equals value form.
  for (TColor32 fg : SampleColors)
    for (TColor32 bg : SampleColors)
      for (TColor32 m : {0u, 1u, 100u, 255u}) {
        TColor32 b = bg;
        ColorBlendScaledInPlace(fg, b, m);
        ASSERT_EQ(b, ColorBlendScaled(fg, bg, m));
      }
}

TEST(Blend, MergeComposites) {
  struct Case {
    TColor32 f, b, expected;
  } cases[] = {
      {0x80FF0000, 0x00ABCDEF, 0x80FF0000}, // transparent background: F with its alpha
      {0x00FF0000, 0x80ABCDEF, 0x80ABCDEF}, // transparent foreground: B
      {0xFFFF0000, 0x80ABCDEF, 0xFFFF0000}, // opaque foreground: F
      {0x80FF0000, 0xFF0000FF, 0xFF7F007F}, // half red over opaque blue
      {0x80FFFFFF, 0x80FFFFFF, 0xC0FEFEFE}, // two half whites: alpha 192
  };
  for (const Case &c : cases) {
    EXPECT_EQ(ColorMerge(c.f, c.b), c.expected) << std::hex << c.f << " " << c.b;
    TColor32 b = c.b;
    ColorMergeInPlace(c.f, b);
    EXPECT_EQ(b, c.expected);
  }
  // The master alpha scales F's alpha with integer division first.
  EXPECT_EQ(ColorMergeScaled(0xFFFF0000, 0xFF0000FF, 128), 0xFF7F007F);
  EXPECT_EQ(ColorMergeScaled(0xFFFF0000, 0xFF0000FF, 0), 0xFF0000FFu);
  TColor32 b = 0xFF0000FF;
  ColorMergeScaledInPlace(0xFFFF0000, b, 128);
  EXPECT_EQ(b, 0xFF7F007Fu);
  TColor32 span = 0xFF0000FF;
  const TColor32 red = 0xFFFF0000;
  ColorMergeScaledSpan(&red, &span, 1, 128);
  EXPECT_EQ(span, 0xFF7F007Fu);
}

// Turns the vector kernels off for its lifetime.
struct TPlainKernels {
  bool Saved = fsMergeKernels::Avx2Allowed;
  TPlainKernels() { fsMergeKernels::Avx2Allowed = false; }
  ~TPlainKernels() { fsMergeKernels::Avx2Allowed = Saved; }
};

// The merge spans, with the vector kernel and without, against the pixel
// rule: every pair of alphas (with random colours) under master alphas at
// and around the edges, then random spans at every offset and length, with
// stretches of transparent sources the kernel passes over whole.
TEST(Blend, MergeSpansMatchThePixelRuleBitForBit) {
  for (bool plain : {false, true}) {
    SCOPED_TRACE(plain ? "plain" : "vector");
    std::optional<TPlainKernels> kernels;
    if (plain)
      kernels.emplace();
    testsupport::SeededRandom random(2026);
    std::vector<TColor32> src(65536), bg(65536), dst;
    for (uint32_t i = 0; i < 65536; ++i) {
      src[i] = (i >> 8) << 24 | (random.Word() & 0xFFFFFF);
      bg[i] = (i & 255) << 24 | (random.Word() & 0xFFFFFF);
    }
    for (TColor32 m : {0u, 1u, 2u, 127u, 160u, 254u, 255u, 256u, 100000u}) {
      dst = bg;
      ColorMergeScaledSpan(src.data(), dst.data(), 65536, m);
      for (uint32_t i = 0; i < 65536; ++i)
        ASSERT_EQ(dst[i], ColorMergeScaled(src[i], bg[i], m))
            << std::hex << src[i] << " over " << bg[i] << " master " << std::dec << m;
    }
    dst = bg;
    ColorMergeSpan(src.data(), dst.data(), 65536);
    for (uint32_t i = 0; i < 65536; ++i)
      ASSERT_EQ(dst[i], ColorMerge(src[i], bg[i])) << std::hex << src[i] << " over " << bg[i];

    for (int n = 0; n < 200; ++n) {
      const int32_t first = random.Between(0, 40), count = random.Between(0, 90);
      const TColor32 m = n % 3 == 0 ? 255 : random.Below(256);
      std::vector<TColor32> f(first + count), b(first + count);
      for (int32_t i = 0; i < first + count; ++i) {
        // Alphas of 0 and 255 often, and in runs, as shapes' caches have.
        const uint32_t kind = (i / 8 + n) % 4;
        const TColor32 alpha = kind == 0 ? 0 : kind == 1 ? 255 : random.Below(256);
        f[i] = alpha << 24 | (random.Word() & 0xFFFFFF);
        b[i] = n % 2 ? 0xFF000000 | random.Word() : random.Word();
      }
      std::vector<TColor32> expected = b, got = b, merged = b;
      for (int32_t i = first; i < first + count; ++i)
        expected[i] = ColorMergeScaled(f[i], b[i], m);
      ColorMergeScaledSpan(f.data() + first, got.data() + first, count, m);
      ASSERT_EQ(got, expected) << "span " << n << " master " << m;
      if (m == 255) {
        ColorMergeSpan(f.data() + first, merged.data() + first, count);
        ASSERT_EQ(merged, expected) << "span " << n;
      }
    }
  }
}

TEST(Blend, MergeScaledExact) {
  struct Case {
    TColor32 f, b, m, expected;
  } cases[] = {
      {0xFF123456, 0x80ABCDEF, 255, 0xFF123456}, // opaque F, full M: F
      {0xFF123456, 0x80ABCDEF, 0, 0x80ABCDEF},   // opaque F, no M: B
      {0x00123456, 0x80ABCDEF, 200, 0x80ABCDEF}, // transparent F: B
      {0xFF123456, 0x00ABCDEF, 128, 0x80123456}, // transparent B: F's colour, alpha Fw
      {0x80FF0000, 0xFF0000FF, 255, 0xFF7F007F}, {0x80FFFFFF, 0x80FFFFFF, 255, 0xC0FEFEFE},
      {0xFFFF0000, 0xFF0000FF, 128, 0xFF7F007F}, // opaque F at half M
  };
  for (const Case &c : cases)
    EXPECT_EQ(ColorMergeScaledExact(c.f, c.b, c.m), c.expected)
        << std::hex << c.f << " " << c.b << " " << c.m;
}

TEST(Blend, TablesSelectByCombineMode) {
  const TColor32 f = 0x80FF0000, b = 0xFF0000FF;
  EXPECT_EQ(BlendValueProcs[cmBlend](f, b), ColorBlend(f, b));
  EXPECT_EQ(BlendValueProcs[cmMerge](f, b), ColorMerge(f, b));
  EXPECT_EQ(BlendScaledValueProcs[cmMerge](f, b, 100), ColorMergeScaled(f, b, 100));
  EXPECT_EQ(MixValueProcs[cmBlend](f, b, 77), ColorMix(f, b, 77));
  // The merge mix replaces F's alpha by the weight.
  EXPECT_EQ(MixValueProcs[cmMerge](f, b, 77), ColorMerge(0x4DFF0000, b));
  TColor32 x = b;
  MixInPlaceProcs[cmMerge](f, x, 77);
  EXPECT_EQ(x, ColorMerge(0x4DFF0000, b));
  x = b;
  BlendInPlaceProcs[cmMerge](f, x);
  EXPECT_EQ(x, ColorMerge(f, b));
}

TEST(Fixed, Conversions) {
  EXPECT_EQ(Fixed(1.5), 98304);
  EXPECT_EQ(Fixed(0.5 / 65536), 0) << "halves go to even";
  EXPECT_EQ(Fixed(1.5 / 65536), 2);
  EXPECT_EQ(Fixed(-2.25), -147456);
  EXPECT_EQ(Fixed(1e12), INT32_MAX);
  EXPECT_EQ(Fixed(-1e12), INT32_MIN);
  EXPECT_EQ(Fixed(std::nan("")), 0);
  EXPECT_EQ(FixedRound(0x18000), 1) << "(v + $7FFF) >> 16 rounds a half down";
  EXPECT_EQ(FixedRound(0x18001), 2);
  EXPECT_EQ(FixedRound(-0x8000), -1);
  EXPECT_EQ(FixedRound(-0x7FFF), 0);
  // The far ends of the range round without overflowing.
  static_assert(FixedRound(INT32_MAX) == 32768);
  volatile TFixed top = INT32_MAX, bottom = INT32_MIN, nearTop = INT32_MAX - 0x8000;
  EXPECT_EQ(FixedRound(top), 32768);
  EXPECT_EQ(FixedRound(nearTop), 32767);
  EXPECT_EQ(FixedRound(bottom), -32768);
  EXPECT_EQ(FixedMul(Fixed(2.0), Fixed(3.5)), Fixed(7.0));
  EXPECT_EQ(FixedMul(Fixed(-1.5), Fixed(2.0)), Fixed(-3.0));
  EXPECT_EQ(FixedDiv(Fixed(7.0), Fixed(2.0)), Fixed(3.5));
  EXPECT_EQ(FixedDiv(Fixed(1.0), 0), INT32_MAX);
  EXPECT_EQ(FixedDiv(Fixed(-1.0), 0), INT32_MIN);
  EXPECT_EQ(FixedDiv(INT32_MAX, 1), INT32_MAX);
}

TEST(Fixed, RectIntersection) {
  TRect r;
  EXPECT_TRUE(IntersectRect(r, Rect(0, 0, 10, 10), Rect(5, -5, 20, 7)));
  EXPECT_EQ(r, Rect(5, 0, 10, 7));
  EXPECT_FALSE(IntersectRect(r, Rect(0, 0, 10, 10), Rect(10, 0, 20, 10)));
  EXPECT_EQ(r, TRect{});
  EXPECT_TRUE(IsRectEmpty(Rect(3, 3, 3, 9)));
}

} // namespace
