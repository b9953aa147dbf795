// Whole-bitmap utilities of the effects: rotations, mirrors, weight maps and
// the running-sum box blur.

#include "raster/fsGR32.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

template <class Map> void Rotate90(TBitmap32 &B, Map map) {
  if (B.IsBlank())
    return;
  const int32_t w = B.Width(), h = B.Height();
  std::vector<TColor32> old(B.Bits(), B.Bits() + B.PixelCount());
  TUpdateScope scope(B, true);
  B.Resize(h, w);
  TColor32 *dst = B.Bits();
  for (int32_t y = 0; y < h; ++y) {
    const TColor32 *row = old.data() + static_cast<size_t>(y) * w;
    for (int32_t x = 0; x < w; ++x) {
      const TPoint p = map(x, y, w, h);
      dst[p.X + static_cast<size_t>(p.Y) * h] = row[x];
    }
  }
}

int32_t RoundRadius(float r) {
  if (!(r < 1e9f))
    return std::isnan(r) ? 0 : 1000000000;
  return static_cast<int32_t>(std::lrint(std::max(r, -1.0f)));
}

// temp pixel x * Height + y := B pixel (x, y), and back.
void TransposeInto(const TBitmap32 &Src, TColor32 *dst) {
  const int32_t w = Src.Width(), h = Src.Height();
  for (int32_t y = 0; y < h; ++y) {
    const TColor32 *row = Src.ScanLine(y);
    for (int32_t x = 0; x < w; ++x)
      dst[static_cast<size_t>(x) * h + y] = row[x];
  }
}

void TransposeBack(const TColor32 *src, TBitmap32 &Dst) {
  const int32_t w = Dst.Width(), h = Dst.Height();
  for (int32_t y = 0; y < h; ++y) {
    TColor32 *row = Dst.ScanLine(y);
    for (int32_t x = 0; x < w; ++x)
      row[x] = src[static_cast<size_t>(x) * h + y];
  }
}

} // namespace

void Rotate90Left(TBitmap32 &B) {
  Rotate90(B, [](int32_t x, int32_t y, int32_t w, int32_t) { return Point(y, w - 1 - x); });
}

void Rotate90Right(TBitmap32 &B) {
  Rotate90(B, [](int32_t x, int32_t y, int32_t, int32_t h) { return Point(h - 1 - y, x); });
}

void MirrorHorizontal(TBitmap32 &B) {
  if (B.IsBlank())
    return;
  TUpdateScope scope(B, true);
  for (int32_t y = 0; y < B.Height(); ++y)
    std::reverse(B.ScanLine(y), B.ScanLine(y) + B.Width());
}

void MirrorVertical(TBitmap32 &B) {
  if (B.IsBlank())
    return;
  TUpdateScope scope(B, true);
  for (int32_t top = 0, bottom = B.Height() - 1; top < bottom; ++top, --bottom)
    std::swap_ranges(B.ScanLine(top), B.ScanLine(top) + B.Width(), B.ScanLine(bottom));
}

void Rotate180(TBitmap32 &B) {
  if (B.IsBlank())
    return;
  TUpdateScope scope(B, true);
  MirrorHorizontal(B);
  MirrorVertical(B);
}

void InvertAlpha(TBitmap32 &B) {
  if (B.IsBlank())
    return;
  TColor32 *p = B.Bits();
  const size_t n = B.PixelCount();
  for (size_t i = 0; i < n; ++i)
    p[i] ^= 0xFF000000;
  B.Changed();
}

bool IsUniform(const TBitmap32 &B, TColor32 c) {
  if (B.IsBlank())
    return true;
  const int32_t w = B.Width();
  auto rowUniform = [&](int32_t y) {
    const TColor32 *row = B.ScanLine(y);
    return std::all_of(row, row + w, [c](TColor32 p) { return p == c; });
  };
  // From the outside in: borders differ first in the pictures this checks.
  for (int32_t top = 0, bottom = B.Height() - 1; top <= bottom; ++top, --bottom) {
    if (!rowUniform(top))
      return false;
    if (bottom != top && !rowUniform(bottom))
      return false;
  }
  return true;
}

void ShiftPixels(TBitmap32 &B, int32_t dx, int32_t dy) {
  if (B.IsBlank())
    return;
  const int64_t n = static_cast<int64_t>(B.PixelCount());
  const int64_t offset = static_cast<int64_t>(dx) + static_cast<int64_t>(dy) * B.Width();
  if (offset == 0 || offset > n || offset < -n)
    return;
  TColor32 *p = B.Bits();
  const int64_t kept = n - (offset < 0 ? -offset : offset);
  if (offset > 0) {
    std::memmove(p + offset, p, static_cast<size_t>(kept) * sizeof(TColor32));
    std::fill_n(p, offset, 0);
  } else {
    std::memmove(p, p - offset, static_cast<size_t>(kept) * sizeof(TColor32));
    std::fill_n(p + kept, -offset, 0);
  }
  B.Changed();
}

void AlphaToWeights(TBitmap32 &B, float f) {
  if (B.IsBlank())
    return;
  // One weight per alpha value; out-of-range factors saturate.
  std::array<TColor32, 256> weights{};
  for (uint32_t a = 0; a < 256; ++a) {
    const float v = f * static_cast<float>(a) * 256.0f;
    if (!(v > 0.0f))
      weights[a] = 0;
    else if (v >= 4294967295.0f)
      weights[a] = std::numeric_limits<TColor32>::max();
    else
      weights[a] = static_cast<TColor32>(std::llrint(v));
  }
  TColor32 *p = B.Bits();
  const size_t n = B.PixelCount();
  for (size_t i = 0; i < n; ++i)
    p[i] = weights[p[i] >> 24];
  B.Changed();
}

void WeightsToColor(TBitmap32 &B, TColor32 c) {
  if (B.IsBlank())
    return;
  const TColor32 rgb = c & 0xFFFFFF;
  TColor32 *p = B.Bits();
  const size_t n = B.PixelCount();
  for (size_t i = 0; i < n; ++i) {
    const TColor32 v = p[i];
    if (v > 255)
      p[i] = ((std::min<TColor32>(v, 65280) >> 8) << 24) | rgb;
  }
  B.Changed();
}

void BoxBlurPass(const TBitmap32 &Src, TBitmap32 &Dst, int32_t Offset, int32_t Window) {
  if (Src.IsBlank() || Dst.IsBlank() || Window <= 0)
    return;
  const int64_t n = static_cast<int64_t>(Src.PixelCount());
  if (static_cast<int64_t>(Dst.PixelCount()) != n || n < Window)
    return;
  std::vector<TColor32> copy;
  const TColor32 *src = Src.Bits();
  if (&Src == &Dst) {
    copy.assign(src, src + n);
    src = copy.data();
  }
  TColor32 *dst = Dst.Bits();
  const int64_t a = Offset, w = Window;
  // Output k averages src[k + a - w + 1 .. k + a]; values outside the
  // sequence count as 0. The sum is wide so that weight maps cannot overflow.
  uint64_t sum = 0;
  for (int64_t i = std::max<int64_t>(a - w + 1, 0); i < std::min<int64_t>(a, n); ++i)
    sum += src[i];
  for (int64_t k = 0; k < n; ++k) {
    const int64_t enter = k + a;
    if (enter >= 0 && enter < n)
      sum += src[enter];
    dst[k] = static_cast<TColor32>(sum / static_cast<uint64_t>(w));
    const int64_t leave = enter - w + 1;
    if (leave >= 0 && leave < n)
      sum -= src[leave];
  }
  Dst.Changed();
}

void Transpose(const TBitmap32 &Src, TBitmap32 &Dst) {
  if (Src.IsBlank() || Dst.IsBlank() || &Src == &Dst || Src.PixelCount() != Dst.PixelCount())
    return;
  TransposeInto(Src, Dst.Bits());
  Dst.Changed();
}

void BlurSmooth(TBitmap32 &B, float Radius) {
  if (B.IsBlank())
    return;
  int32_t n = RoundRadius(Radius);
  if (n < 2)
    return;
  if (n == 2)
    n = 3;
  const int32_t b = n / 2;
  const int32_t c = (n % 2 == 1) ? b : std::max(1, b - 1);
  TBitmap32 temp;
  temp.Resize(B.Width(), B.Height());
  TUpdateScope scope(B, true);
  for (int i = 0; i < 2; ++i) {
    BoxBlurPass(B, temp, b, n);
    BoxBlurPass(temp, B, c, n);
  }
  TransposeInto(B, temp.Bits());
  for (int i = 0; i < 2; ++i) {
    BoxBlurPass(temp, B, c, n);
    BoxBlurPass(B, temp, b, n);
  }
  TransposeBack(temp.Bits(), B);
}

void BlurFast(TBitmap32 &B, float Radius) {
  if (B.IsBlank())
    return;
  int32_t n = RoundRadius(Radius);
  if (n < 2)
    return;
  if (n % 2 == 0)
    ++n;
  const int32_t b = n / 2;
  TBitmap32 temp;
  temp.Resize(B.Width(), B.Height());
  TUpdateScope scope(B, true);
  BoxBlurPass(B, temp, b, n);
  // B then holds the columns as contiguous runs for the second pass.
  TransposeInto(temp, B.Bits());
  BoxBlurPass(B, temp, b, n);
  TransposeBack(temp.Bits(), B);
}

void MergeUnder(TBitmap32 &B, const TBitmap32 &Other, TColor32 Alpha) {
  if (B.IsBlank() || Other.IsBlank() || B.PixelCount() != Other.PixelCount())
    return;
  TColor32 *p = B.Bits();
  const TColor32 *q = Other.Bits();
  const size_t n = B.PixelCount();
  for (size_t i = 0; i < n; ++i)
    p[i] = ColorMergeScaledExact(p[i], q[i], Alpha);
  B.Changed();
}
