#include "raster/fsSampler_avx2.h"

#include "raster/fsSampler.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <cstring>

// The 2 x 2 supersampling of affine maps with AVX2, used when the processor
// has it; elsewhere the sampler takes its plain path.

#if defined(__x86_64__)

namespace {

using fsSamplerKernels::Bilinear;
using fsSamplerKernels::TInt128;
using fsSamplerKernels::To248;

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
  const __m256i wx = _mm256_inserti128_si256(_mm256_castsi128_si256(W[Ua & 255]), W[Ub & 255], 1);
  const __m256i wy = _mm256_inserti128_si256(_mm256_castsi128_si256(W[Va & 255]), W[Vb & 255], 1);
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
      const __m256i s =
          _mm256_add_epi16(BilinearPair(bits, width, w, u(0, i), v(0, i), u(1, i), v(1, i)),
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

namespace {

// Four pixels widened to 16-bit lanes.
__attribute__((target("avx2"))) inline __m256i LoadWide(const TColor32 *Q) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(Q)));
}

// AddFixedBilinear four pixels at a time: 16 lanes of 16 bits hold the
// same exact sums as the plain form.
__attribute__((target("avx2"))) void AddFixedBilinearAvx2(uint16_t *Sums, const TColor32 *P,
                                                          int32_t Width, int32_t Count, uint32_t Fx,
                                                          uint32_t Fy) {
  const int16_t gx = static_cast<int16_t>(GammaWeights[255 - Fx]);
  const int16_t gy = static_cast<int16_t>(GammaWeights[255 - Fy]);
  const __m256i wx = _mm256_set1_epi16(gx), wx1 = _mm256_set1_epi16(static_cast<int16_t>(256 - gx));
  const __m256i wy = _mm256_set1_epi16(gy), wy1 = _mm256_set1_epi16(static_cast<int16_t>(256 - gy));

  int32_t i = 0;
  for (; i + 4 <= Count; i += 4) {
    const TColor32 *q = P + i;
    const __m256i t = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(LoadWide(q), wx),
                                                         _mm256_mullo_epi16(LoadWide(q + 1), wx1)),
                                        8);
    const __m256i b =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(LoadWide(q + Width), wx),
                                           _mm256_mullo_epi16(LoadWide(q + Width + 1), wx1)),
                          8);
    const __m256i c = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(t, wy), _mm256_mullo_epi16(b, wy1)), 8);
    __m256i *s = reinterpret_cast<__m256i *>(Sums + static_cast<size_t>(i) * 4);
    _mm256_storeu_si256(s, _mm256_add_epi16(_mm256_loadu_si256(s), c));
  }
  if (i < Count)
    fsSamplerKernels::AddFixedBilinearPlain(Sums + static_cast<size_t>(i) * 4, P + i, Width,
                                            Count - i, Fx, Fy);
}

} // namespace

void fsSamplerKernels::AddFixedBilinear(uint16_t *Sums, const TColor32 *P, int32_t Width,
                                        int32_t Count, uint32_t Fx, uint32_t Fy) {
  if (Avx2Allowed && __builtin_cpu_supports("avx2"))
    AddFixedBilinearAvx2(Sums, P, Width, Count, Fx, Fy);
  else
    AddFixedBilinearPlain(Sums, P, Width, Count, Fx, Fy);
}

bool TfsMapSampler::QuadSpan(int32_t X, int32_t Y, int32_t Count, int32_t First, int32_t Last) {
  if (!fsSamplerKernels::Avx2Allowed || !__builtin_cpu_supports("avx2"))
    return false;
  if (FLattice.size() < static_cast<size_t>(Count) * 8)
    FLattice.resize(static_cast<size_t>(Count) * 8);
  LatticeQuad(static_cast<const TfsAffineTransform &>(*FInverse), X, Y, FOffsets.data(), Count,
              First, Last, FLattice.data());
  QuadMeans(FSpan.data(), FLattice.data(), First, Last, *FSource);
  return true;
}

#else

void fsSamplerKernels::AddFixedBilinear(uint16_t *Sums, const TColor32 *P, int32_t Width,
                                        int32_t Count, uint32_t Fx, uint32_t Fy) {
  AddFixedBilinearPlain(Sums, P, Width, Count, Fx, Fy);
}

// No AVX2 off x86-64.
bool TfsMapSampler::QuadSpan(int32_t, int32_t, int32_t, int32_t, int32_t) {
  return false;
}

#endif
