#include "engine/fsShape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>

namespace {

// Paints pixels that differ from their neighbours (so that any filtering
// shows), leaving a transparent margin around them.
class TDotsShape : public TfsShape {
public:
  void Paint(TBitmap32 &bitmap, const TDeviceContext &) override {
    const int32_t x0 = DeviceX(0.3f), y0 = DeviceY(0.3f);
    const int32_t x1 = DeviceX(DocWidth() - 0.3f), y1 = DeviceY(DocHeight() - 0.3f);
    for (int32_t y = y0; y < y1; ++y)
      for (int32_t x = x0; x < x1; ++x) {
        const uint32_t h =
            static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u;
        const TColor32 a = 64 + (h >> 5) % 192;
        bitmap.SetPixel(x, y, a << 24 | (h * 2654435761u & 0xFFFFFF));
      }
  }
};

// The bilinear read at (X, Y) in 24.8, written out from its definition.
TColor32 Read(const TBitmap32 &b, int64_t X, int64_t Y) {
  if (X <= 0 || Y <= 0 || X >= (b.Width() - 1) * 256 || Y >= (b.Height() - 1) * 256)
    return b.OuterColor();
  const int x = int(X >> 8), y = int(Y >> 8);
  const int wx = GammaWeights[255 - (X & 255)], wy = GammaWeights[255 - (Y & 255)];
  TColor32 r = 0;
  for (int sh = 0; sh < 32; sh += 8) {
    auto ch = [&](int px, int py) { return int((b.GetPixel(px, py) >> sh) & 255); };
    const int top = (ch(x + 1, y) * 256 + (ch(x, y) - ch(x + 1, y)) * wx) >> 8;
    const int bot = (ch(x + 1, y + 1) * 256 + (ch(x, y + 1) - ch(x + 1, y + 1)) * wx) >> 8;
    r |= TColor32((bot * 256 + (top - bot) * wy) >> 8) << sh;
  }
  return r;
}

// A cache drawn at its own resolution without a turn lands on whole target
// pixels: target pixel (x, y) must be the mean of the four reads at its
// centre +- 1/4 pixel (cache pixel (i, j) has its top-left corner at target
// (Dx + i, Dy + j)), merged onto the page with the master alpha. Every
// reason for a cache: translucent, mirrored, flipped, forced.
TEST(ShapeCacheDraw, UnturnedCacheAtItsOwnResolutionLandsOnWholePixels) {
  struct Case {
    const char *Name;
    int Alpha;
    bool Mirrored, Flipped, Force;
  };
  const Case cases[] = {{"translucent", 128, false, false, false},
                        {"mirrored", 255, true, false, false},
                        {"flipped and faint", 40, false, true, false},
                        {"forced", 255, false, false, true}};
  constexpr float Dpm = 10;
  constexpr int Dx = 25, Dy = 40; // 2.5 and 4 mm at Dpm
  for (const Case &c : cases) {
    SCOPED_TRACE(c.Name);
    TDotsShape s;
    s.SetMirrored(c.Mirrored);
    s.SetFlipped(c.Flipped);
    s.SetForceCache(c.Force);
    s.SetGeometry(Dx / Dpm, Dy / Dpm, 4, 3, 0);
    s.SetMasterAlpha(c.Alpha);
    ASSERT_TRUE(s.NeedsCache());
    TBitmap32 page;
    page.SetSize(90, 80);
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 90; ++x)
        page.SetPixel(x, y, 0xFF000000u | TColor32(x * 2) << 16 | TColor32(y * 3) << 8 | 0x40);
    TBitmap32 before;
    before.Assign(page);
    TDeviceContext context;
    context.DestDpm = context.CacheDpm = Dpm;
    TfsShape::RenderShape(s, page, FloatRect(0, 0, 9, 8), context, false);
    ASSERT_NE(s.Cache(), nullptr);
    const TBitmap32 &cache = *s.Cache();
    ASSERT_EQ(cache.Width(), 40);
    ASSERT_EQ(cache.Height(), 30);
    int changed = 0;
    for (int y = 0; y < 80; ++y)
      for (int x = 0; x < 90; ++x) {
        unsigned sums[4] = {0, 0, 0, 0};
        for (int64_t oy : {64, 192})
          for (int64_t ox : {64, 192}) {
            const TColor32 r = Read(cache, (x - Dx) * 256 + ox, (y - Dy) * 256 + oy);
            for (int l = 0; l < 4; ++l)
              sums[l] += (r >> (8 * l)) & 255;
          }
        const TColor32 sample =
            (sums[0] / 4) | (sums[1] / 4) << 8 | (sums[2] / 4) << 16 | TColor32(sums[3] / 4) << 24;
        TColor32 expected = before.GetPixel(x, y);
        ColorMergeScaledSpan(&sample, &expected, 1, TColor32(c.Alpha));
        ASSERT_EQ(page.GetPixel(x, y), expected) << x << "," << y;
        changed += expected != before.GetPixel(x, y);
      }
    EXPECT_GT(changed, 30 * 20) << "the dots reach the page";
  }
}

} // namespace
