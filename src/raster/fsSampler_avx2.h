#pragma once

#include "raster/fsGR32.h"
#include "raster/fsGR32_Merge_avx2.h"

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

// What the map sampler's logic (fsSampler.cpp) and its AVX2 kernels
// (fsSampler_avx2.cpp, with TfsMapSampler::QuadSpan) share. Internal to the
// sampler: callers include "raster/fsSampler.h".
namespace fsSamplerKernels {

__extension__ using TInt128 = __int128;

// u * 256 rounded, kept far inside the 64-bit range; NaN lands outside.
inline int64_t To248(double u) {
  if (!(u == u))
    return std::numeric_limits<int32_t>::min();
  return std::llrint(std::clamp(u * 256.0, -1e15, 1e15));
}

#if defined(__x86_64__)

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

#else

// ReadPixelBilinear's rule, lane by lane.
inline TColor32 Bilinear(const TColor32 *bits, int32_t width, int64_t limX, int64_t limY,
                         TColor32 outer, int64_t X, int64_t Y) {
  if (X <= 0 || Y <= 0 || X >= limX || Y >= limY)
    return outer;
  const int32_t x = static_cast<int32_t>(X >> 8);
  const int32_t y = static_cast<int32_t>(Y >> 8);
  const uint32_t wx = GammaWeights[255 - (X & 255)];
  const uint32_t wy = GammaWeights[255 - (Y & 255)];
  const TColor32 *p = bits + x + static_cast<ptrdiff_t>(y) * width;
  TColor32 c = 0;
  for (int l = 0; l < 4; ++l) {
    auto lane = [l](TColor32 v) { return (v >> (8 * l)) & 255; };
    const uint32_t t = (lane(p[0]) * wx + lane(p[1]) * (256 - wx)) >> 8;
    const uint32_t b = (lane(p[width]) * wx + lane(p[width + 1]) * (256 - wx)) >> 8;
    c |= ((t * wy + b * (256 - wy)) >> 8) << (8 * l);
  }
  return c;
}

#endif

// The raster layer's one switch for its AVX2 kernels (the merge spans' too).
using fsMergeKernels::Avx2Allowed;

// Adds the bilinear reads of Count consecutive pixels with one fraction
// (Fx, Fy) to 16-bit lane sums: pixel i reads the 2 x 2 block whose top-left
// is P[i]; every block lies inside the source.
void AddFixedBilinear(uint16_t *Sums, const TColor32 *P, int32_t Width, int32_t Count, uint32_t Fx,
                      uint32_t Fy);

// The same, lane by lane.
inline void AddFixedBilinearPlain(uint16_t *Sums, const TColor32 *P, int32_t Width, int32_t Count,
                                  uint32_t Fx, uint32_t Fy) {
  const uint32_t wx = GammaWeights[255 - Fx], wy = GammaWeights[255 - Fy];
  const uint8_t *top = reinterpret_cast<const uint8_t *>(P);
  const uint8_t *bottom = reinterpret_cast<const uint8_t *>(P + Width);
  for (int32_t l = 0; l < Count * 4; ++l) {
    const uint32_t t = (top[l] * wx + top[l + 4] * (256 - wx)) >> 8;
    const uint32_t b = (bottom[l] * wx + bottom[l + 4] * (256 - wx)) >> 8;
    Sums[l] = static_cast<uint16_t>(Sums[l] + ((t * wy + b * (256 - wy)) >> 8));
  }
}

} // namespace fsSamplerKernels
