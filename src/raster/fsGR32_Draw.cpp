// Lines of TBitmap32: Bresenham, antialiased and stippled, and the subpixel
// splats and bilinear reads they are made of.

#include "raster/fsGR32.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

__extension__ typedef __int128 Int128;

inline bool Inside(const TRect &r, int64_t x, int64_t y) {
  return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
}

} // namespace

// ---------------------------------------------------------------------------
// Subpixel splats and bilinear reads

namespace {

// Four gamma-weighted mixes around (X, Y) in 24.8; pixels outside Clip are
// skipped.
void Splat(TBitmap32 &B, const TRect &Clip, int64_t X, int64_t Y, TColor32 c) {
  const int64_t x = X >> 8;
  const int64_t y = Y >> 8;
  const uint32_t fx = static_cast<uint32_t>(X & 255);
  const uint32_t fy = static_cast<uint32_t>(Y & 255);
  const uint32_t a = c >> 24;
  const uint32_t wx0 = GammaWeights[255 - fx], wx1 = GammaWeights[fx];
  const uint32_t wy0 = GammaWeights[255 - fy], wy1 = GammaWeights[fy];
  const auto mix = MixInPlaceProcs[B.CombineMode()];
  auto put = [&](int64_t px, int64_t py, uint32_t w) {
    if (Inside(Clip, px, py))
      mix(c, *B.PixelPtr(static_cast<int32_t>(px), static_cast<int32_t>(py)), w);
  };
  put(x, y, (wx0 * a * wy0) >> 16);
  put(x + 1, y, (wx1 * a * wy0) >> 16);
  put(x + 1, y + 1, (wx1 * a * wy1) >> 16);
  put(x, y + 1, (wx0 * a * wy1) >> 16);
}

} // namespace

void TBitmap32::PutPixelSubpixel(int32_t X, int32_t Y, TColor32 c) {
  Splat(*this, BoundsRect(), X, Y, c);
}

void TBitmap32::PutPixelSubpixelClipped(TFixed X, TFixed Y, TColor32 c) {
  const int64_t x = (static_cast<int64_t>(X) + 127) >> 8;
  const int64_t y = (static_cast<int64_t>(Y) + 127) >> 8;
  const TRect &r = FClipRect;
  if (x < static_cast<int64_t>(r.Left) * 256 - 256 || x >= static_cast<int64_t>(r.Right) * 256 ||
      y < static_cast<int64_t>(r.Top) * 256 - 256 || y >= static_cast<int64_t>(r.Bottom) * 256)
    return;
  Splat(*this, r, x, y, c);
}

TColor32 TBitmap32::ReadPixelBilinear(int32_t X, int32_t Y) const {
  if (!(X > 0 && static_cast<int64_t>(X) < (static_cast<int64_t>(FWidth) - 1) * 256 && Y > 0 &&
        static_cast<int64_t>(Y) < (static_cast<int64_t>(FHeight) - 1) * 256))
    return FOuterColor;
  const int32_t x = X >> 8, y = Y >> 8;
  const int32_t wx = GammaWeights[255 - (X & 255)];
  const int32_t wy = GammaWeights[255 - (Y & 255)];
  const TColor32 *p0 = PixelPtr(x, y);
  const TColor32 *p1 = p0 + FWidth;
  TColor32 result = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    auto lane = [shift](TColor32 c) { return static_cast<int32_t>((c >> shift) & 255); };
    const int32_t top = (lane(p0[1]) * 256 + (lane(p0[0]) - lane(p0[1])) * wx) >> 8;
    const int32_t bottom = (lane(p1[1]) * 256 + (lane(p1[0]) - lane(p1[1])) * wx) >> 8;
    const int32_t v = (bottom * 256 + (top - bottom) * wy) >> 8;
    result |= static_cast<TColor32>(v & 255) << shift;
  }
  return result;
}

// ---------------------------------------------------------------------------
// Bresenham lines

// Step i of the line goes i pixels along the major axis and
// floor((2 i minor + major) / (2 major)) along the minor one. Only the steps
// whose pixel lies in ClipBox are visited, so the clipped line is exactly the
// visible part of the whole one, whatever the coordinates.
void TBitmap32::LineClipped(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c,
                            bool IncludeLast, bool Blend) {
  if (IsBlank() || IsRectEmpty(FClipRect))
    return;
  const int64_t dx = static_cast<int64_t>(X2) - X1;
  const int64_t dy = static_cast<int64_t>(Y2) - Y1;
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const int64_t major = xMajor ? std::llabs(dx) : std::llabs(dy);
  const int64_t minor = xMajor ? std::llabs(dy) : std::llabs(dx);
  const int64_t sMajor = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const int64_t sMinor = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const int64_t m0 = xMajor ? X1 : Y1;
  const int64_t n0 = xMajor ? Y1 : X1;
  const int64_t lastStep = IncludeLast ? major : major - 1;
  if (lastStep < 0)
    return;

  const int64_t lo = xMajor ? FClipRect.Left : FClipRect.Top;
  const int64_t hi = (xMajor ? FClipRect.Right : FClipRect.Bottom) - 1;
  const int64_t minorLo = xMajor ? FClipRect.Top : FClipRect.Left;
  const int64_t minorHi = (xMajor ? FClipRect.Bottom : FClipRect.Right) - 1;
  int64_t i0 = sMajor > 0 ? lo - m0 : m0 - hi;
  int64_t i1 = sMajor > 0 ? hi - m0 : m0 - lo;
  i0 = std::max<int64_t>(i0, 0);
  i1 = std::min(i1, lastStep);
  if (i0 > i1)
    return;

  const TCombineMode mode = FCombineMode;
  if (minor == 0) {
    if (n0 < minorLo || n0 > minorHi)
      return;
    const int64_t a = m0 + sMajor * i0, b = m0 + sMajor * i1;
    const int32_t from = static_cast<int32_t>(std::min(a, b));
    const int32_t to = static_cast<int32_t>(std::max(a, b));
    const int32_t fixed = static_cast<int32_t>(n0);
    if (xMajor)
      Blend ? HorzLineBlend(from, fixed, to, c) : HorzLine(from, fixed, to, c);
    else
      Blend ? VertLineBlend(fixed, from, to, c) : VertLine(fixed, from, to, c);
    Changed();
    return;
  }

  const int64_t twoMajor = 2 * major;
  const int64_t twoMinor = 2 * minor;
  const Int128 num = static_cast<Int128>(i0) * twoMinor + major;
  int64_t off = static_cast<int64_t>(num / twoMajor);
  int64_t rem = static_cast<int64_t>(num % twoMajor);
  const auto blend = BlendInPlaceProcs[mode];
  for (int64_t i = i0; i <= i1; ++i) {
    const int64_t mc = m0 + sMajor * i;
    const int64_t nc = n0 + sMinor * off;
    if (nc >= minorLo && nc <= minorHi) {
      TColor32 &p = xMajor ? *PixelPtr(static_cast<int32_t>(mc), static_cast<int32_t>(nc))
                           : *PixelPtr(static_cast<int32_t>(nc), static_cast<int32_t>(mc));
      if (Blend)
        blend(c, p);
      else
        p = c;
    }
    rem += twoMinor;
    if (rem >= twoMajor) {
      rem -= twoMajor;
      ++off;
    }
  }
  Changed();
}

void TBitmap32::DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c,
                         bool IncludeLast) {
  LineClipped(X1, Y1, X2, Y2, c, IncludeLast, false);
}

void TBitmap32::DrawLineBlend(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c,
                              bool IncludeLast) {
  LineClipped(X1, Y1, X2, Y2, c, IncludeLast, true);
}

void TBitmap32::MoveTo(int32_t X, int32_t Y) {
  FPenPosX = X;
  FPenPosY = Y;
}

void TBitmap32::LineTo(int32_t X, int32_t Y) {
  DrawLine(FPenPosX, FPenPosY, X, Y, FLineColor, false);
  MoveTo(X, Y);
}

void TBitmap32::LineToBlend(int32_t X, int32_t Y) {
  DrawLineBlend(FPenPosX, FPenPosY, X, Y, FLineColor, false);
  MoveTo(X, Y);
}

void TBitmap32::MoveToSmooth(TFixed X, TFixed Y) {
  MoveTo(X, Y);
}

void TBitmap32::LineToSmooth(TFixed X, TFixed Y) {
  DrawLineSmooth(FPenPosX, FPenPosY, X, Y, FLineColor, false);
  MoveTo(X, Y);
}

void TBitmap32::LineToStippled(TFixed X, TFixed Y) {
  DrawLineStippled(FPenPosX, FPenPosY, X, Y, false);
  MoveTo(X, Y);
}

// ---------------------------------------------------------------------------
// Stipple

void TBitmap32::SetStipple(const TArrayOfColor32 &Pattern) {
  FStipplePattern = Pattern;
  FStippleCounter = 0;
}

TColor32 TBitmap32::GetStippleColor() {
  const int32_t n = static_cast<int32_t>(FStipplePattern.size());
  if (n == 0)
    return 0xFF000000;
  const float N = static_cast<float>(n);
  float s = FStippleCounter;
  if (!std::isfinite(s))
    s = 0;
  s = std::fmod(s, N);
  if (s < 0)
    s += N;
  if (s >= N) // fmod of a tiny negative value can round up to N
    s = 0;
  // Float rounding can land exactly on a half at the top of the range; the
  // index stays inside the pattern.
  int32_t i = static_cast<int32_t>(std::lrint(s - 0.5f));
  if (i < 0) {
    s = N - 1;
    i = 0;
  }
  i = std::min(i, n - 1);
  const int32_t f =
      std::clamp(static_cast<int32_t>(std::lrint((s - static_cast<float>(i)) * 255.0f)), 0, 255);
  TColor32 result;
  if (f == 0)
    result = FStipplePattern[i];
  else
    result = MixValueProcs[FCombineMode](FStipplePattern[i], FStipplePattern[(i + 1) % n],
                                         static_cast<TColor32>(255 - f));
  FStippleCounter = s + FStippleStep;
  return result;
}

void TBitmap32::AdvanceStippleCounter(float LengthPixels) {
  const float n = static_cast<float>(FStipplePattern.size());
  const float d = LengthPixels * FStippleStep;
  if (n == 0 || d == 0 || !std::isfinite(d))
    return;
  float s = FStippleCounter + d;
  s = s - n * std::floor(s / n);
  FStippleCounter = std::isfinite(s) ? s : 0;
}

// ---------------------------------------------------------------------------
// Antialiased lines

void TBitmap32::DrawLineSmooth(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, TColor32 c,
                               bool IncludeLast) {
  SmoothLine(X1, Y1, X2, Y2, c, IncludeLast, false);
}

void TBitmap32::DrawLineStippled(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, bool IncludeLast) {
  SmoothLine(X1, Y1, X2, Y2, 0, IncludeLast, true);
}

namespace {

enum : int { ocLeft = 1, ocRight = 2, ocTop = 4, ocBottom = 8 };

struct TClipBounds {
  int64_t L, T, R, B;
};

int OutCode(const TClipBounds &c, int64_t x, int64_t y) {
  int code = 0;
  if (x < c.L)
    code |= ocLeft;
  else if (x > c.R)
    code |= ocRight;
  if (y < c.T)
    code |= ocTop;
  else if (y > c.B)
    code |= ocBottom;
  return code;
}

// The point where the segment crosses one boundary, exact in 128 bits.
int64_t CrossAt(int64_t a1, int64_t b1, int64_t a2, int64_t b2, int64_t bEdge) {
  const Int128 t = static_cast<Int128>(a2 - a1) * (bEdge - b1);
  return a1 + static_cast<int64_t>(t / (b2 - b1));
}

// Cohen-Sutherland; false when nothing of the segment is inside.
bool ClipSegment(const TClipBounds &c, int64_t &x1, int64_t &y1, int64_t &x2, int64_t &y2) {
  int c1 = OutCode(c, x1, y1);
  int c2 = OutCode(c, x2, y2);
  for (int guard = 0; guard < 8; ++guard) {
    if ((c1 | c2) == 0)
      return true;
    if (c1 & c2)
      return false;
    const bool first = c1 != 0;
    const int code = first ? c1 : c2;
    int64_t x, y;
    if (code & ocTop) {
      y = c.T;
      x = CrossAt(x1, y1, x2, y2, y);
    } else if (code & ocBottom) {
      y = c.B;
      x = CrossAt(x1, y1, x2, y2, y);
    } else if (code & ocLeft) {
      x = c.L;
      y = CrossAt(y1, x1, y2, x2, x);
    } else {
      x = c.R;
      y = CrossAt(y1, x1, y2, x2, x);
    }
    if (first) {
      x1 = x;
      y1 = y;
      c1 = OutCode(c, x1, y1);
    } else {
      x2 = x;
      y2 = y;
      c2 = OutCode(c, x2, y2);
    }
  }
  return (c1 | c2) == 0;
}

float PixelDistance(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  return static_cast<float>(std::hypot(static_cast<double>(x2 - x1), static_cast<double>(y2 - y1)) /
                            65536.0);
}

} // namespace

void TBitmap32::SmoothLine(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, TColor32 c, bool IncludeLast,
                           bool Stippled) {
  const float correction = IncludeLast ? 1.0f : 0.0f;
  int64_t x1 = X1, y1 = Y1, x2 = X2, y2 = Y2;
  const TClipBounds bounds{static_cast<int64_t>(FClipRect.Left) * 65536,
                           static_cast<int64_t>(FClipRect.Top) * 65536,
                           (static_cast<int64_t>(FClipRect.Right) - 1) * 65536,
                           (static_cast<int64_t>(FClipRect.Bottom) - 1) * 65536};
  if (IsBlank() || IsRectEmpty(FClipRect) || !ClipSegment(bounds, x1, y1, x2, y2)) {
    if (Stippled)
      AdvanceStippleCounter(PixelDistance(X1, Y1, X2, Y2) - correction);
    return;
  }
  const bool startClipped = x1 != X1 || y1 != Y1;
  const bool endClipped = x2 != X2 || y2 != Y2;
  if (Stippled && startClipped)
    AdvanceStippleCounter(PixelDistance(X1, Y1, x1, y1));
  bool includeLast = IncludeLast || endClipped;

  x1 += 127;
  y1 += 127;
  x2 += 127;
  y2 += 127;
  const int64_t dx = x2 - x1, dy = y2 - y1;
  int64_t L = static_cast<int64_t>(
      std::nearbyint(std::hypot(static_cast<double>(dx), static_cast<double>(dy))));
  if (includeLast)
    L += 65536;
  if (L >= 256) {
    const int64_t sx = static_cast<int64_t>(
        std::nearbyint(static_cast<double>(dx) * 65536.0 / static_cast<double>(L)));
    const int64_t sy = static_cast<int64_t>(
        std::nearbyint(static_cast<double>(dy) * 65536.0 / static_cast<double>(L)));
    const TRect clip = FClipRect;
    int64_t x = x1, y = y1;
    for (int64_t k = L >> 16; k > 0; --k) {
      Splat(*this, clip, x >> 8, y >> 8, Stippled ? GetStippleColor() : c);
      x += sx;
      y += sy;
    }
    const uint32_t frac = static_cast<uint32_t>(L & 0xFFFF);
    if (frac != 0) {
      const TColor32 last = Stippled ? GetStippleColor() : c;
      const TColor32 alpha = (((last >> 24) * frac) << 8) & 0xFF000000;
      Splat(*this, clip, (x2 - sx) >> 8, (y2 - sy) >> 8, (last & 0xFFFFFF) | alpha);
    }
    Changed();
  }
  if (Stippled && endClipped)
    AdvanceStippleCounter(PixelDistance(x2 - 127, y2 - 127, X2, Y2) - correction);
}
