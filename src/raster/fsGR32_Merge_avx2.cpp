#include "raster/fsGR32_Merge_avx2.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#if defined(__x86_64__)

namespace {

// x / 255 for 0 <= x < 65536 in 32-bit lanes.
__attribute__((target("avx2"))) inline __m256i Div255(__m256i x) {
  return _mm256_srli_epi32(_mm256_mullo_epi32(x, _mm256_set1_epi32(0x8081)), 23);
}

// The colour lanes of four pixels in 16-bit lanes, with each pixel's alphas
// and reciprocal in its four words.
__attribute__((target("avx2"))) inline __m256i MergeLanes(__m256i f, __m256i b, __m256i fa,
                                                          __m256i ba, __m256i kk) {
  const __m256i bp = _mm256_srli_epi16(_mm256_mullo_epi16(b, ba), 8);
  const __m256i fp = _mm256_srli_epi16(_mm256_mullo_epi16(f, fa), 8);
  const __m256i x =
      _mm256_sub_epi16(_mm256_add_epi16(bp, fp), _mm256_srli_epi16(_mm256_mullo_epi16(fa, bp), 8));
  return _mm256_srli_epi16(_mm256_mullo_epi16(x, kk), 8);
}

// The merge of eight pixels. The per-pixel values (alphas, the resulting
// alpha and its reciprocal 65535 / Ra) are worked out in 32-bit lanes, the
// colour lanes in 16-bit lanes with those values spread over each pixel's
// four words. 65535 / Ra in single precision truncates to the integer
// quotient: for Ra <= 255 a non-integer quotient lies at least 1 / 255 from
// the next integer, more than half a unit of the float below 65536. Over an
// opaque background Ra is 255 (a * 255 / 255 is a) and k 257, so the
// common case of a page needs neither the quotient nor the spreading.
__attribute__((target("avx2"))) void Merge8(const TColor32 *Src, TColor32 *Dst, __m256i M) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i rgb = _mm256_set1_epi32(0xFFFFFF);
  const __m256i c255 = _mm256_set1_epi32(255);
  __m256i F;
  std::memcpy(&F, Src, sizeof F);
  const __m256i a = Div255(_mm256_mullo_epi32(_mm256_srli_epi32(F, 24), M));
  const __m256i none = _mm256_cmpeq_epi32(a, zero);
  if (_mm256_movemask_epi8(none) == -1)
    return;
  __m256i B;
  std::memcpy(&B, Dst, sizeof B);
  const __m256i Ba = _mm256_srli_epi32(B, 24);
  const __m256i Fs = _mm256_or_si256(_mm256_and_si256(F, rgb), _mm256_slli_epi32(a, 24));
  const __m256i takeF = _mm256_or_si256(_mm256_cmpeq_epi32(Ba, zero), _mm256_cmpeq_epi32(a, c255));
  __m256i r;
  if (_mm256_movemask_epi8(_mm256_or_si256(takeF, none)) == -1) {
    r = _mm256_blendv_epi8(Fs, B, none);
  } else {
    // unpacklo holds pixels 0, 1 | 4, 5 and unpackhi 2, 3 | 6, 7; the low
    // word of a pixel's 32-bit value goes to its four words.
    const __m256i spreadLo = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 4, 5, 4, 5, 4, 5, 4, 5, 0, 1,
                                              0, 1, 0, 1, 0, 1, 4, 5, 4, 5, 4, 5, 4, 5);
    const __m256i spreadHi =
        _mm256_setr_epi8(8, 9, 8, 9, 8, 9, 8, 9, 12, 13, 12, 13, 12, 13, 12, 13, 8, 9, 8, 9, 8, 9,
                         8, 9, 12, 13, 12, 13, 12, 13, 12, 13);
    const __m256i fLo = _mm256_unpacklo_epi8(F, zero), fHi = _mm256_unpackhi_epi8(F, zero);
    const __m256i bLo = _mm256_unpacklo_epi8(B, zero), bHi = _mm256_unpackhi_epi8(B, zero);
    const __m256i aLo = _mm256_shuffle_epi8(a, spreadLo), aHi = _mm256_shuffle_epi8(a, spreadHi);
    __m256i lo, hi, Ra;
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(Ba, c255)) == -1) {
      const __m256i b255 = _mm256_set1_epi16(255), k257 = _mm256_set1_epi16(257);
      lo = MergeLanes(fLo, bLo, aLo, b255, k257);
      hi = MergeLanes(fHi, bHi, aHi, b255, k257);
      Ra = c255;
    } else {
      Ra = _mm256_sub_epi32(_mm256_add_epi32(a, Ba), Div255(_mm256_mullo_epi32(a, Ba)));
      const __m256i k =
          _mm256_cvttps_epi32(_mm256_div_ps(_mm256_set1_ps(65535.0f), _mm256_cvtepi32_ps(Ra)));
      lo = MergeLanes(fLo, bLo, aLo, _mm256_shuffle_epi8(Ba, spreadLo),
                      _mm256_shuffle_epi8(k, spreadLo));
      hi = MergeLanes(fHi, bHi, aHi, _mm256_shuffle_epi8(Ba, spreadHi),
                      _mm256_shuffle_epi8(k, spreadHi));
    }
    const __m256i merged = _mm256_or_si256(_mm256_and_si256(_mm256_packus_epi16(lo, hi), rgb),
                                           _mm256_slli_epi32(Ra, 24));
    r = _mm256_blendv_epi8(_mm256_blendv_epi8(merged, Fs, takeF), B, none);
  }
  std::memcpy(Dst, &r, sizeof r);
}

__attribute__((target("avx2"))) void MergeScaledLoop(const TColor32 *Src, TColor32 *Dst,
                                                     int32_t Count, TColor32 M) {
  const __m256i m = _mm256_set1_epi32(static_cast<int32_t>(M));
  int32_t i = 0;
  for (; i + 8 <= Count; i += 8)
    Merge8(Src + i, Dst + i, m);
  if (i < Count)
    fsMergeKernels::MergeScaledSpanPlain(Src + i, Dst + i, Count - i, M);
}

} // namespace

bool fsMergeKernels::MergeScaledSpanAvx2(const TColor32 *Src, TColor32 *Dst, int32_t Count,
                                         TColor32 M) {
  if (!Avx2Allowed || !__builtin_cpu_supports("avx2"))
    return false;
  MergeScaledLoop(Src, Dst, Count, M);
  return true;
}

#else

bool fsMergeKernels::MergeScaledSpanAvx2(const TColor32 *, TColor32 *, int32_t, TColor32) {
  return false;
}

#endif
