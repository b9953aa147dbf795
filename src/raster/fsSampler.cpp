#include "raster/fsSampler.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

__extension__ using TInt128 = __int128;

// ReadPixelBilinear's rule. Every product a * w + b * (256 - w) stays below
// 65536, so 16-bit lanes hold the exact sums.
inline TColor32 Bilinear(const TColor32 *bits, int32_t width, int64_t limX, int64_t limY,
                         TColor32 outer, int64_t X, int64_t Y) {
  if (X <= 0 || Y <= 0 || X >= limX || Y >= limY)
    return outer;
  const int32_t x = static_cast<int32_t>(X >> 8);
  const int32_t y = static_cast<int32_t>(Y >> 8);
  const int16_t wx = static_cast<int16_t>(GammaWeights[255 - (X & 255)]);
  const int16_t wy = static_cast<int16_t>(GammaWeights[255 - (Y & 255)]);
  const TColor32 *p = bits + x + static_cast<ptrdiff_t>(y) * width;
  const __m128i zero = _mm_setzero_si128();
  const __m128i wX =
      _mm_set_epi16(static_cast<int16_t>(256 - wx), static_cast<int16_t>(256 - wx),
                    static_cast<int16_t>(256 - wx), static_cast<int16_t>(256 - wx), wx, wx, wx, wx);
  const __m128i wY =
      _mm_set_epi16(static_cast<int16_t>(256 - wy), static_cast<int16_t>(256 - wy),
                    static_cast<int16_t>(256 - wy), static_cast<int16_t>(256 - wy), wy, wy, wy, wy);
  const __m128i top = _mm_mullo_epi16(
      _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)), zero), wX);
  const __m128i bottom = _mm_mullo_epi16(
      _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p + width)), zero), wX);
  const __m128i t = _mm_srli_epi16(_mm_add_epi16(top, _mm_srli_si128(top, 8)), 8);
  const __m128i b = _mm_srli_epi16(_mm_add_epi16(bottom, _mm_srli_si128(bottom, 8)), 8);
  const __m128i v = _mm_mullo_epi16(_mm_unpacklo_epi64(t, b), wY);
  const __m128i r = _mm_srli_epi16(_mm_add_epi16(v, _mm_srli_si128(v, 8)), 8);
  return static_cast<TColor32>(_mm_cvtsi128_si32(_mm_packus_epi16(r, r)));
}

// u * 256 rounded, kept far inside the 64-bit range; NaN lands outside.
inline int64_t To248(double u) {
  if (!(u == u))
    return std::numeric_limits<int32_t>::min();
  return std::llrint(std::clamp(u * 256.0, -1e15, 1e15));
}

// The sample positions of the four sample rows of pixels First..Last of
// the span (X .. X + Count - 1, Y): per sample row the first and last
// centres transformed, the difference spread over the steps exactly. Pixel
// i's eight values sit at L[8 i]: the four U, then the four V. All eight
// steppers advance together in vector lanes, with no branches.
__attribute__((target("avx2"))) void LatticeQuad(const TfsAffineTransform &Inv, int32_t X,
                                                 int32_t Y, const TFloatPoint *Offsets,
                                                 int32_t Count, int32_t First, int32_t Last,
                                                 int64_t *L) {
  alignas(32) int64_t p[8], e[8], q[8], a[8], sg[8];
  const int64_t n = Count - 1;
  for (int k = 0; k < 4; ++k) {
    const double ox = Offsets[k].X, cy = Y + 0.5 + Offsets[k].Y;
    double u0, v0, u1, v1;
    Inv.Transform(X + 0.5 + ox, cy, u0, v0);
    p[k] = To248(u0);
    p[4 + k] = To248(v0);
    if (Count == 1)
      continue;
    Inv.Transform(X + Count - 1 + 0.5 + ox, cy, u1, v1);
    const int64_t d[2] = {To248(u1) - p[k], To248(v1) - p[4 + k]};
    for (int axis = 0; axis < 2; ++axis) {
      const int j = 4 * axis + k;
      const int64_t r = d[axis] % n;
      q[j] = d[axis] / n;
      sg[j] = r < 0 ? -1 : 1;
      a[j] = r * sg[j];
      e[j] = 0;
      if (First > 0) {
        const TInt128 f = First;
        p[j] += q[j] * First + sg[j] * static_cast<int64_t>(f * a[j] / n);
        e[j] = static_cast<int64_t>(f * a[j] % n);
      }
    }
  }
  if (Count == 1) {
    std::memcpy(L, p, sizeof p);
    return;
  }
  const __m256i *vp = reinterpret_cast<const __m256i *>(p);
  const __m256i *ve = reinterpret_cast<const __m256i *>(e);
  const __m256i *vq = reinterpret_cast<const __m256i *>(q);
  const __m256i *va = reinterpret_cast<const __m256i *>(a);
  const __m256i *vs = reinterpret_cast<const __m256i *>(sg);
  __m256i p0 = _mm256_load_si256(vp), p1 = _mm256_load_si256(vp + 1);
  __m256i e0 = _mm256_load_si256(ve), e1 = _mm256_load_si256(ve + 1);
  const __m256i q0 = _mm256_load_si256(vq), q1 = _mm256_load_si256(vq + 1);
  const __m256i a0 = _mm256_load_si256(va), a1 = _mm256_load_si256(va + 1);
  const __m256i s0 = _mm256_load_si256(vs), s1 = _mm256_load_si256(vs + 1);
  const __m256i nn = _mm256_set1_epi64x(n), below = _mm256_set1_epi64x(n - 1);
  for (int32_t i = First; i <= Last; ++i) {
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(L + static_cast<size_t>(i) * 8), p0);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(L + static_cast<size_t>(i) * 8 + 4), p1);
    e0 = _mm256_add_epi64(e0, a0);
    e1 = _mm256_add_epi64(e1, a1);
    const __m256i m0 = _mm256_cmpgt_epi64(e0, below);
    const __m256i m1 = _mm256_cmpgt_epi64(e1, below);
    p0 = _mm256_add_epi64(p0, _mm256_add_epi64(q0, _mm256_and_si256(s0, m0)));
    p1 = _mm256_add_epi64(p1, _mm256_add_epi64(q1, _mm256_and_si256(s1, m1)));
    e0 = _mm256_sub_epi64(e0, _mm256_and_si256(nn, m0));
    e1 = _mm256_sub_epi64(e1, _mm256_and_si256(nn, m1));
  }
}

// Entry f: the weight of the left (upper) pixel for the fraction f in four
// lanes, then that of the right (lower) one in four.
struct TWeightPairs {
  __m128i W[256];
  TWeightPairs() {
    for (int f = 0; f < 256; ++f) {
      const int16_t g = GammaWeights[255 - f];
      const int16_t h = static_cast<int16_t>(256 - g);
      W[f] = _mm_set_epi16(h, h, h, h, g, g, g, g);
    }
  }
};

const TWeightPairs &WeightPairs() {
  static const TWeightPairs table;
  return table;
}

// Two bilinear reads, all four pixels of each inside the source: the
// colours in the low four words of each half, as Bilinear computes them.
__attribute__((target("avx2"))) inline __m256i BilinearPair(const TColor32 *Bits, int32_t Width,
                                                            const __m128i *W, int64_t Ua,
                                                            int64_t Va, int64_t Ub, int64_t Vb) {
  const TColor32 *pa = Bits + (Ua >> 8) + static_cast<ptrdiff_t>(Va >> 8) * Width;
  const TColor32 *pb = Bits + (Ub >> 8) + static_cast<ptrdiff_t>(Vb >> 8) * Width;
  int64_t ta, tb, ba, bb;
  std::memcpy(&ta, pa, 8);
  std::memcpy(&tb, pb, 8);
  std::memcpy(&ba, pa + Width, 8);
  std::memcpy(&bb, pb + Width, 8);
  const __m256i wx =
      _mm256_inserti128_si256(_mm256_castsi128_si256(W[Ua & 255]), W[Ub & 255], 1);
  const __m256i wy =
      _mm256_inserti128_si256(_mm256_castsi128_si256(W[Va & 255]), W[Vb & 255], 1);
  const __m256i top = _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_set_epi64x(tb, ta)), wx);
  const __m256i bottom = _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_set_epi64x(bb, ba)), wx);
  const __m256i t = _mm256_srli_epi16(_mm256_add_epi16(top, _mm256_srli_si256(top, 8)), 8);
  const __m256i b = _mm256_srli_epi16(_mm256_add_epi16(bottom, _mm256_srli_si256(bottom, 8)), 8);
  const __m256i v = _mm256_mullo_epi16(_mm256_unpacklo_epi64(t, b), wy);
  return _mm256_srli_epi16(_mm256_add_epi16(v, _mm256_srli_si256(v, 8)), 8);
}

// The mean of four samples per pixel at the positions LatticeQuad made.
__attribute__((target("avx2"))) void QuadMeans(TColor32 *Out, const int64_t *L, int32_t First,
                                               int32_t Last, const TBitmap32 &Src) {
  const int32_t width = Src.Width();
  const int64_t limX = static_cast<int64_t>(width - 1) * 256;
  const int64_t limY = static_cast<int64_t>(Src.Height() - 1) * 256;
  const TColor32 *bits = Src.Bits();
  const TColor32 outer = Src.OuterColor();
  const __m128i *w = WeightPairs().W;
  const auto u = [L](int k, int32_t i) { return L[static_cast<size_t>(i) * 8 + k]; };
  const auto v = [L](int k, int32_t i) { return L[static_cast<size_t>(i) * 8 + 4 + k]; };
  auto inside = [&](int k, int32_t i) {
    const int64_t x = u(k, i), y = v(k, i);
    return x > 0 && y > 0 && x < limX && y < limY;
  };
  // Each sample row moves monotonically in both axes, so its samples inside
  // the source form one run; where the four runs overlap no pixel needs a
  // check.
  int32_t a = First, b = Last;
  for (int k = 0; k < 4 && a <= b; ++k) {
    while (a <= b && !inside(k, a))
      ++a;
    while (a <= b && !inside(k, b))
      --b;
  }
  for (int32_t i = First; i <= Last; ++i) {
    bool all = i >= a && i <= b;
    if (!all) {
      all = true;
      for (int k = 0; k < 4; ++k)
        all &= inside(k, i);
    }
    if (all) {
      const __m256i s = _mm256_add_epi16(
          BilinearPair(bits, width, w, u(0, i), v(0, i), u(1, i), v(1, i)),
          BilinearPair(bits, width, w, u(2, i), v(2, i), u(3, i), v(3, i)));
      const __m128i m = _mm_srli_epi16(
          _mm_add_epi16(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1)), 2);
      Out[i] = static_cast<TColor32>(_mm_cvtsi128_si32(_mm_packus_epi16(m, m)));
    } else {
      uint32_t sums[4] = {0, 0, 0, 0};
      for (int k = 0; k < 4; ++k) {
        const TColor32 c = Bilinear(bits, width, limX, limY, outer, u(k, i), v(k, i));
        for (int l = 0; l < 4; ++l)
          sums[l] += (c >> (8 * l)) & 255;
      }
      Out[i] = (sums[0] >> 2) | (sums[1] >> 2) << 8 | (sums[2] >> 2) << 16 | (sums[3] >> 2) << 24;
    }
  }
}

} // namespace

void TfsSampler::SetTransform(const TfsTransform *Transform) {
  FTransform = Transform;
  FInverse.reset();
  FSingular = true;
  if (!Transform)
    return;
  FInverse = Transform->Clone();
  if (Transform->IsAffine()) {
    const auto &a = static_cast<const TfsAffineTransform &>(*Transform);
    FSingular = a.IsSingular();
  } else {
    FSingular = false;
  }
  FInverse->Invert();
}

TfsMapSampler::TfsMapSampler() {
  FFactor = 0;
  FSamples = 0;
  SetOversampling(2);
}

void TfsMapSampler::SetOversampling(int32_t N) {
  if (static_cast<int64_t>(N) * N == FSamples)
    return;
  if (N < 1 || N > 6)
    throw ESamplerError("Illegal oversampling value");
  FFactor = N;
  FSamples = N * N;
  FOffsets.clear();
  if (N > 1)
    for (int32_t j = 0; j < N; ++j)
      for (int32_t i = 0; i < N; ++i)
        FOffsets.push_back({(i + 0.5f) / N - 0.5f, (j + 0.5f) / N - 0.5f});
}

void TfsMapSampler::SampleRow(int32_t X, int32_t Y, int32_t Count, int32_t First, int32_t Last,
                              double Ox, double Oy, TColor32 *Out) {
  const TBitmap32 &src = *FSource;
  const int32_t width = src.Width();
  const int64_t limX = static_cast<int64_t>(width - 1) * 256;
  const int64_t limY = static_cast<int64_t>(src.Height() - 1) * 256;
  const TColor32 *bits = src.Bits();
  const TColor32 outer = src.OuterColor();
  const double cy = Y + 0.5 + Oy;
  if (FInverse->IsAffine()) {
    const auto &inv = static_cast<const TfsAffineTransform &>(*FInverse);
    double u0, v0, u1, v1;
    inv.Transform(X + 0.5 + Ox, cy, u0, v0);
    int64_t U = To248(u0);
    int64_t V = To248(v0);
    if (Count == 1) {
      Out[0] = Bilinear(bits, width, limX, limY, outer, U, V);
      return;
    }
    inv.Transform(X + Count - 1 + 0.5 + Ox, cy, u1, v1);
    // The differences are spread over the steps exactly, so every sample
    // lands on the lattice the per-pixel computation would give. After i
    // steps the spread has added q * i + sign * floor(i * |r| / n).
    const int64_t n = Count - 1;
    const int64_t du = To248(u1) - U;
    const int64_t dv = To248(v1) - V;
    const int64_t qu = du / n, ru = du % n, qv = dv / n, rv = dv % n;
    const int64_t su = ru < 0 ? -1 : 1, sv = rv < 0 ? -1 : 1;
    const int64_t au = ru * su, av = rv * sv;
    int64_t eu = 0, ev = 0;
    if (First > 0) {
      const TInt128 f = First;
      U += qu * First + su * static_cast<int64_t>(f * au / n);
      V += qv * First + sv * static_cast<int64_t>(f * av / n);
      eu = static_cast<int64_t>(f * au % n);
      ev = static_cast<int64_t>(f * av % n);
    }
    for (int32_t i = First; i <= Last; ++i) {
      Out[i] = Bilinear(bits, width, limX, limY, outer, U, V);
      U += qu;
      eu += au;
      if (eu >= n) {
        U += su;
        eu -= n;
      }
      V += qv;
      ev += av;
      if (ev >= n) {
        V += sv;
        ev -= n;
      }
    }
  } else {
    for (int32_t i = First; i <= Last; ++i) {
      TFloatPoint p;
      FInverse->TransformPoint({static_cast<float>(X + i + 0.5 + Ox), static_cast<float>(cy)}, p);
      Out[i] = Bilinear(bits, width, limX, limY, outer, To248(p.X), To248(p.Y));
    }
  }
}

void TfsMapSampler::GetSpan(int32_t X, int32_t Y, int32_t Count) {
  if (Count > 0)
    SpanRange(X, Y, Count, 0, Count - 1);
}

void TfsMapSampler::SpanRange(int32_t X, int32_t Y, int32_t Count, int32_t First, int32_t Last) {
  if (FSpan.size() < static_cast<size_t>(Count))
    FSpan.resize(Count);
  if (!FSource || FSource->IsBlank() || !FInverse || FSingular) {
    std::fill(FSpan.begin() + First, FSpan.begin() + Last + 1, FSource ? FSource->OuterColor() : 0);
    return;
  }
  if (FSamples <= 1) {
    SampleRow(X, Y, Count, First, Last, 0, 0, FSpan.data());
    return;
  }
  if (FSamples == 4 && FInverse->IsAffine() && __builtin_cpu_supports("avx2")) {
    QuadSpan(X, Y, Count, First, Last);
    return;
  }
  const size_t lanes = static_cast<size_t>(Count) * 4;
  if (FSums.size() < lanes)
    FSums.resize(lanes);
  if (FSampleRow.size() < static_cast<size_t>(Count))
    FSampleRow.resize(Count);
  const size_t l0 = static_cast<size_t>(First) * 4, l1 = static_cast<size_t>(Last + 1) * 4;
  std::fill(FSums.begin() + l0, FSums.begin() + l1, 0);
  // 36 samples of 255 stay below 65536: 16-bit lane sums, a loop that
  // vectorises.
  uint16_t *sums = FSums.data();
  for (const TFloatPoint &o : FOffsets) {
    SampleRow(X, Y, Count, First, Last, o.X, o.Y, FSampleRow.data());
    const uint8_t *b = reinterpret_cast<const uint8_t *>(FSampleRow.data());
    for (size_t l = l0; l < l1; ++l)
      sums[l] = static_cast<uint16_t>(sums[l] + b[l]);
  }
  uint8_t *out = reinterpret_cast<uint8_t *>(FSpan.data());
  if (FSamples == 4) {
    for (size_t l = l0; l < l1; ++l)
      out[l] = static_cast<uint8_t>(sums[l] >> 2);
  } else {
    const uint16_t n = static_cast<uint16_t>(FSamples);
    for (size_t l = l0; l < l1; ++l)
      out[l] = static_cast<uint8_t>(sums[l] / n);
  }
}

void TfsMapSampler::QuadSpan(int32_t X, int32_t Y, int32_t Count, int32_t First, int32_t Last) {
  if (FLattice.size() < static_cast<size_t>(Count) * 8)
    FLattice.resize(static_cast<size_t>(Count) * 8);
  LatticeQuad(static_cast<const TfsAffineTransform &>(*FInverse), X, Y, FOffsets.data(), Count,
              First, Last, FLattice.data());
  QuadMeans(FSpan.data(), FLattice.data(), First, Last, *FSource);
}

// The pixels of the span from X that may have a sample inside the source's
// interior lattice: a range a little wider than the exact one, in which
// every sample is still taken on the lattice of the whole span.
bool TfsMapSampler::InsideRange(int32_t X, int32_t Y, int32_t Count, int32_t &First,
                                int32_t &Last) const {
  First = 0;
  Last = Count - 1;
  if (!FInverse->IsAffine())
    return true;
  const auto &inv = static_cast<const TfsAffineTransform &>(*FInverse);
  const double limX = FSource->Width() - 1.0;
  const double limY = FSource->Height() - 1.0;
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  const std::vector<TFloatPoint> centre = {{0, 0}};
  for (const TFloatPoint &o : FOffsets.empty() ? centre : FOffsets) {
    // u(i) = u0 + i * du on the sample row, likewise v.
    double u0, v0, u1, v1;
    inv.Transform(X + 0.5 + o.X, Y + 0.5 + o.Y, u0, v0);
    inv.Transform(X + 1.5 + o.X, Y + 0.5 + o.Y, u1, v1);
    double a = -std::numeric_limits<double>::infinity(), b = -a;
    auto clip = [&](double c0, double d, double lim) {
      // 0 < c0 + i * d < lim, widened by two 1/256 units of stepping error.
      const double e = 2.0 / 256;
      if (d == 0) {
        if (!(c0 > -e && c0 < lim + e))
          a = 1, b = 0;
        return;
      }
      double t0 = (-e - c0) / d, t1 = (lim + e - c0) / d;
      if (t0 > t1)
        std::swap(t0, t1);
      a = std::max(a, t0);
      b = std::min(b, t1);
    };
    clip(u0, u1 - u0, limX);
    clip(v0, v1 - v0, limY);
    if (a <= b) {
      lo = std::min(lo, a);
      hi = std::max(hi, b);
    }
  }
  if (!(lo <= hi))
    return false;
  First = static_cast<int32_t>(std::clamp(std::floor(lo) - 1, 0.0, Count - 1.0));
  Last = static_cast<int32_t>(std::clamp(std::ceil(hi) + 1, 0.0, Count - 1.0));
  return First <= Last;
}

void TfsMapSampler::Draw(const TFloatRect &SrcRect) {
  FRect = SrcRect;
  if (!FDestination || FDestination->IsBlank() || !FSource || FSource->IsBlank() || !FTransform ||
      !FInverse || FSingular)
    return;
  const TFloatPoint corners[4] = {{SrcRect.Left, SrcRect.Top},
                                  {SrcRect.Right, SrcRect.Top},
                                  {SrcRect.Right, SrcRect.Bottom},
                                  {SrcRect.Left, SrcRect.Bottom}};
  float minX = std::numeric_limits<float>::infinity(), minY = minX;
  float maxX = -minX, maxY = -minX;
  for (const TFloatPoint &c : corners) {
    TFloatPoint p;
    FTransform->TransformPoint(c, p);
    if (!std::isfinite(p.X) || !std::isfinite(p.Y))
      return;
    minX = std::min(minX, p.X);
    minY = std::min(minY, p.Y);
    maxX = std::max(maxX, p.X);
    maxY = std::max(maxY, p.Y);
  }
  TRect clip;
  if (!IntersectRect(clip, FDestination->ClipBox(), FDestination->BoundsRect()))
    return;
  auto limit = [](double v, int32_t lo, int32_t hi) {
    return static_cast<int32_t>(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi)));
  };
  // One past each side so that the clamping cannot turn an empty box into
  // a border row.
  const int32_t x0 = limit(std::floor(minX), clip.Left, clip.Right);
  const int32_t x1 = limit(std::ceil(maxX), clip.Left - 1, clip.Right - 1);
  const int32_t y0 = limit(std::floor(minY), clip.Top, clip.Bottom);
  const int32_t y1 = limit(std::ceil(maxY), clip.Top - 1, clip.Bottom - 1);
  if (x0 > x1 || y0 > y1)
    return;
  const int32_t count = x1 - x0 + 1;
  const TColor32 master = FSource->MasterAlpha();
  TUpdateScope bracket(*FDestination, true);
  // A transparent outer colour merges to no change, so the pixels whose
  // samples all fall outside the source need not be sampled at all.
  const bool skipOutside = (FSource->OuterColor() >> 24) == 0;
  for (int32_t y = y0; y <= y1; ++y) {
    int32_t first = 0, last = count - 1;
    if (skipOutside && !InsideRange(x0, y, count, first, last))
      continue;
    SpanRange(x0, y, count, first, last);
    TColor32 *dst = FDestination->PixelPtr(x0 + first, y);
    if (master >= 255)
      ColorMergeSpan(FSpan.data() + first, dst, last - first + 1);
    else
      ColorMergeScaledSpan(FSpan.data() + first, dst, last - first + 1, master);
  }
}
