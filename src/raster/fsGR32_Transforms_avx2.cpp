#include "raster/fsGR32_Transforms_avx2.h"

#include "raster/fsCpuClones.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cstring>

// Each clone stays private to this file behind a plain entry point: clang
// dispatches a clone declared in another file wrongly.

namespace fsStretchKernels {

namespace {

FS_AVX2_CLONES void ColumnSums16Loop(uint16_t *S, const uint8_t *Row, size_t Lanes, bool First) {
  if (First) {
    for (size_t l = 0; l < Lanes; ++l)
      S[l] = Row[l];
  } else {
    for (size_t l = 0; l < Lanes; ++l)
      S[l] = static_cast<uint16_t>(S[l] + Row[l]);
  }
}

using TLanes = int32_t __attribute__((vector_size(16)));

// Two taps at a time, so that the products pair up.
FS_AVX2_CLONES void VerticalPassLoop(int32_t *V, size_t Lanes, const uint8_t *const *Rows,
                                     const int32_t *W, int32_t Taps) {
  std::fill(V, V + Lanes, 0);
  int32_t k = 0;
  for (; k + 1 < Taps; k += 2) {
    const uint8_t *a = Rows[k];
    const uint8_t *b = Rows[k + 1];
    const int32_t wa = W[k], wb = W[k + 1];
    for (size_t l = 0; l < Lanes; ++l)
      V[l] += wa * a[l] + wb * b[l];
  }
  if (k < Taps) {
    const uint8_t *a = Rows[k];
    const int32_t wa = W[k];
    for (size_t l = 0; l < Lanes; ++l)
      V[l] += wa * a[l];
  }
}

// Every filter is limited, not just those with negative lobes: a weight
// corrected below zero must not wrap a channel round.
FS_AVX2_CLONES void HorizontalPassLoop(TColor32 *Out, int32_t Count, const int32_t *V,
                                       const int32_t *Start, const int32_t *Offset,
                                       const int32_t *W) {
  constexpr int32_t top = 255 * 65536;
  for (int32_t x = 0; x < Count; ++x) {
    TLanes acc = {0, 0, 0, 0};
    for (int32_t k = Start[x]; k < Start[x + 1]; ++k) {
      TLanes v;
      std::memcpy(&v, V + Offset[k], sizeof v);
      acc += W[k] * v;
    }
    TColor32 c = 0;
    for (int l = 0; l < 4; ++l)
      c |= static_cast<TColor32>(std::clamp(acc[l], 0, top) >> 16) << (8 * l);
    Out[x] = c;
  }
}

using TWords = uint16_t __attribute__((vector_size(32)));
using TBytes16 = uint8_t __attribute__((vector_size(16)));

// Lanes are loaded through memcpy (an unaligned load): clang drops a reduced
// alignment given to a vector alias and then loads as if aligned, which
// faults on these row caches.

FS_AVX2_CLONES void VerticalWindowsLoop(uint8_t *Out, size_t Lanes, const uint16_t *const *Rows,
                                        const uint16_t *W, int32_t Taps, int Shift) {
  constexpr size_t step = sizeof(TWords) / sizeof(uint16_t);
  size_t l0 = 0;
  if (Shift >= 0) {
    for (; l0 + step <= Lanes; l0 += step) {
      TWords r;
      std::memcpy(&r, Rows[0] + l0, sizeof r);
      TWords a = W[0] * r;
      for (int32_t t = 1; t < Taps; ++t) {
        std::memcpy(&r, Rows[t] + l0, sizeof r);
        a += W[t] * r;
      }
      const TBytes16 b = __builtin_convertvector(a >> Shift, TBytes16);
      std::memcpy(Out + l0, &b, sizeof b);
    }
    for (; l0 < Lanes; ++l0) {
      uint16_t a = 0;
      for (int32_t t = 0; t < Taps; ++t)
        a = static_cast<uint16_t>(a + W[t] * Rows[t][l0]);
      Out[l0] = static_cast<uint8_t>(a >> Shift);
    }
  } else {
    for (; l0 + step <= Lanes; l0 += step) {
      TWords a = {}, b = {};
      for (int32_t t = 0; t < Taps; ++t) {
        TWords r;
        std::memcpy(&r, Rows[t] + l0, sizeof r);
        a += W[t] * (r >> 8);
        b += W[t] * (r & 255);
      }
      const TBytes16 c = __builtin_convertvector((a + (b >> 8)) >> 8, TBytes16);
      std::memcpy(Out + l0, &c, sizeof c);
    }
    for (; l0 < Lanes; ++l0) {
      uint16_t a = 0, b = 0;
      for (int32_t t = 0; t < Taps; ++t) {
        a = static_cast<uint16_t>(a + W[t] * (Rows[t][l0] >> 8));
        b = static_cast<uint16_t>(b + W[t] * (Rows[t][l0] & 255));
      }
      Out[l0] = static_cast<uint8_t>((a + (b >> 8)) >> 8);
    }
  }
}

#if defined(__x86_64__)

void HorizontalWindows(uint16_t *Out, const uint8_t *Row, const int32_t *Start, int32_t Count,
                       const TTapPair *Wx, int32_t Pairs) {
  const __m128i zero = _mm_setzero_si128();
  for (int32_t x = 0; x < Count; ++x) {
    const uint8_t *p = Row + static_cast<size_t>(Start[x]) * 4;
    const TTapPair *w = Wx + static_cast<size_t>(x) * Pairs;
    __m128i acc = _mm_mullo_epi16(
        _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)), zero),
        _mm_load_si128(reinterpret_cast<const __m128i *>(w[0].W)));
    for (int32_t t = 1; t < Pairs; ++t)
      acc = _mm_add_epi16(
          acc,
          _mm_mullo_epi16(_mm_unpacklo_epi8(
                              _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p + 8 * t)), zero),
                          _mm_load_si128(reinterpret_cast<const __m128i *>(w[t].W))));
    acc = _mm_add_epi16(acc, _mm_srli_si128(acc, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(Out + static_cast<size_t>(x) * 4), acc);
  }
}

// The same with small weights: w(2k) + w(2k+1) <= 128 and each below 128,
// so that byte pairs multiply and add in one step without saturating. W
// holds, for every two destination pixels and every four taps, each pixel's
// weights as byte pairs (w0, w1) four times, then (w2, w3) four times.
template <int32_t FixedGroups>
__attribute__((target("avx2"))) void
HorizontalBytePairsOf(uint16_t *Out, const uint8_t *Row, const uint8_t *Next, const int32_t *Start,
                      int32_t Count, const int8_t *W, int32_t AnyGroups) {
  const int32_t Groups = FixedGroups ? FixedGroups : AnyGroups;
  // Pixels a, b, c, d to (a0 b0 a1 b1 a2 b2 a3 b3 c0 d0 ...): one lane's
  // pair of channels next to each other.
  const __m256i order = _mm256_setr_epi8(0, 4, 1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15, 0, 4,
                                         1, 5, 2, 6, 3, 7, 8, 12, 9, 13, 10, 14, 11, 15);
  int32_t x = 0;
  for (; x + 1 < Count; x += 2) {
    const uint8_t *p = Row + static_cast<size_t>(Start[x]) * 4;
    const uint8_t *q = Row + static_cast<size_t>(Start[x + 1]) * 4;
    // The row after this one is read next: the prefetcher alone leaves
    // every row start waiting on memory.
    _mm_prefetch(reinterpret_cast<const char *>(Next + (q - Row)), _MM_HINT_T0);
    const int8_t *w = W + static_cast<size_t>(x / 2) * Groups * 32;
    __m256i acc = _mm256_setzero_si256();
    for (int32_t g = 0; g < Groups; ++g) {
      __m256i v = _mm256_inserti128_si256(
          _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * g))),
          _mm_loadu_si128(reinterpret_cast<const __m128i *>(q + 16 * g)), 1);
      v = _mm256_shuffle_epi8(v, order);
      acc = _mm256_add_epi16(
          acc, _mm256_maddubs_epi16(
                   v, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(w + 32 * g))));
    }
    acc = _mm256_add_epi16(acc, _mm256_srli_si256(acc, 8));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(Out + static_cast<size_t>(x) * 4),
                     _mm256_castsi256_si128(_mm256_permute4x64_epi64(acc, 0x08)));
  }
  if (x < Count) {
    const uint8_t *p = Row + static_cast<size_t>(Start[x]) * 4;
    const int8_t *w = W + static_cast<size_t>(x / 2) * Groups * 32;
    __m128i acc = _mm_setzero_si128();
    for (int32_t g = 0; g < Groups; ++g) {
      const __m128i v =
          _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * g)),
                           _mm256_castsi256_si128(order));
      acc = _mm_add_epi16(
          acc,
          _mm_maddubs_epi16(v, _mm_loadu_si128(reinterpret_cast<const __m128i *>(w + 32 * g))));
    }
    acc = _mm_add_epi16(acc, _mm_srli_si128(acc, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(Out + static_cast<size_t>(x) * 4), acc);
  }
}

// Four taps, the common case, unrolled.
__attribute__((target("avx2"))) void HorizontalBytePairs(uint16_t *Out, const uint8_t *Row,
                                                         const uint8_t *Next, const int32_t *Start,
                                                         int32_t Count, const int8_t *W,
                                                         int32_t Groups) {
  if (Groups == 1)
    HorizontalBytePairsOf<1>(Out, Row, Next, Start, Count, W, 1);
  else
    HorizontalBytePairsOf<0>(Out, Row, Next, Start, Count, W, Groups);
}

// The weights for HorizontalBytePairs, or nothing when they are too large.
std::vector<int8_t> BytePairWeights(const TWindows &T) {
  if (T.Taps % 4 != 0)
    return {};
  for (size_t k = 0; k < T.W.size(); k += 2)
    if (T.W[k] > 127 || T.W[k + 1] > 127 || T.W[k] + T.W[k + 1] > 128)
      return {};
  const size_t count = T.Start.size();
  const int32_t groups = T.Taps / 4;
  std::vector<int8_t> out((count + 1) / 2 * static_cast<size_t>(groups) * 32, 0);
  for (size_t x = 0; x < count; ++x)
    for (int32_t g = 0; g < groups; ++g) {
      int8_t *o = out.data() + ((x / 2) * groups + g) * 32 + (x % 2) * 16;
      const uint16_t *w = T.W.data() + x * T.Taps + 4 * g;
      for (int i = 0; i < 4; ++i) {
        o[2 * i] = static_cast<int8_t>(w[0]);
        o[2 * i + 1] = static_cast<int8_t>(w[1]);
        o[8 + 2 * i] = static_cast<int8_t>(w[2]);
        o[8 + 2 * i + 1] = static_cast<int8_t>(w[3]);
      }
    }
  return out;
}
#else

void HorizontalWindows(uint16_t *Out, const uint8_t *Row, const int32_t *Start, int32_t Count,
                       const TTapPair *Wx, int32_t Pairs) {
  for (int32_t x = 0; x < Count; ++x) {
    const uint8_t *p = Row + static_cast<size_t>(Start[x]) * 4;
    const TTapPair *w = Wx + static_cast<size_t>(x) * Pairs;
    for (int l = 0; l < 4; ++l) {
      uint16_t acc = 0;
      for (int32_t t = 0; t < Pairs; ++t)
        acc = static_cast<uint16_t>(acc + p[8 * t + l] * w[t].W[l] +
                                    p[8 * t + 4 + l] * w[t].W[4 + l]);
      Out[static_cast<size_t>(x) * 4 + l] = acc;
    }
  }
}

#endif

} // namespace

void ColumnSums16(uint16_t *S, const uint8_t *Row, size_t Lanes, bool First) {
  ColumnSums16Loop(S, Row, Lanes, First);
}

#if defined(__x86_64__)

void BlockMeans16(TColor32 *Out, const int32_t *Cols, int32_t Count, int32_t C0,
                  const uint16_t *Sums, uint64_t BlockHeight, int32_t UniformWidth) {
  const __m128i zero = _mm_setzero_si128();
  const uint64_t area = BlockHeight * static_cast<uint64_t>(UniformWidth);
  if (UniformWidth > 0 && area * 255 < 65536 && PowerOfTwo(area)) {
    // Equal blocks whose totals fit 16 bits: adds and a shift.
    const __m128i shift = _mm_cvtsi32_si128(std::countr_zero(area));
    for (int32_t x = 0; x < Count; ++x) {
      const uint16_t *p = Sums + static_cast<size_t>(Cols[x] - C0) * 4;
      __m128i acc = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
      for (int32_t t = 1; t < UniformWidth; ++t)
        acc = _mm_add_epi16(acc, _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p + 4 * t)));
      acc = _mm_srl_epi16(acc, shift);
      Out[x] = static_cast<TColor32>(_mm_cvtsi128_si32(_mm_packus_epi16(acc, acc)));
    }
    return;
  }
  TBlockDivider d0, d1;
  for (int32_t x = 0; x < Count; ++x) {
    __m128i acc = zero;
    for (int32_t sx = Cols[x]; sx < Cols[x + 1]; ++sx)
      acc = _mm_add_epi32(acc, _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(
                                                      Sums + static_cast<size_t>(sx - C0) * 4)),
                                                  zero));
    const uint64_t n = BlockHeight * static_cast<uint64_t>(Cols[x + 1] - Cols[x]);
    if (PowerOfTwo(n)) {
      const __m128i m = _mm_srl_epi32(acc, _mm_cvtsi32_si128(std::countr_zero(n)));
      const __m128i w = _mm_packs_epi32(m, m);
      Out[x] = static_cast<TColor32>(_mm_cvtsi128_si32(_mm_packus_epi16(w, w)));
      continue;
    }
    if (d0.N() != n) {
      std::swap(d0, d1);
      if (d0.N() != n)
        d0 = TBlockDivider(n);
    }
    alignas(16) uint32_t lane[4];
    _mm_store_si128(reinterpret_cast<__m128i *>(lane), acc);
    Out[x] = d0(lane[0]) | d0(lane[1]) << 8 | d0(lane[2]) << 16 | d0(lane[3]) << 24;
  }
}

#else

void BlockMeans16(TColor32 *Out, const int32_t *Cols, int32_t Count, int32_t C0,
                  const uint16_t *Sums, uint64_t BlockHeight, int32_t) {
  // The exact truncated means, which is what the shortcuts above give.
  PlainBlockMeans(Out, Cols, Count, C0, Sums, BlockHeight);
}

#endif

void VerticalPass(int32_t *V, size_t Lanes, const uint8_t *const *Rows, const int32_t *W,
                  int32_t Taps) {
  VerticalPassLoop(V, Lanes, Rows, W, Taps);
}

void HorizontalPass(TColor32 *Out, int32_t Count, const int32_t *V, const int32_t *Start,
                    const int32_t *Offset, const int32_t *W) {
  HorizontalPassLoop(Out, Count, V, Start, Offset, W);
}

THorizontalWindows::THorizontalWindows(const TWindows &Cols, [[maybe_unused]] bool Divided)
    : FCols(Cols) {
#if defined(__x86_64__)
  if (Divided && __builtin_cpu_supports("avx2"))
    FBytePairs = BytePairWeights(Cols);
#endif
  if (!FBytePairs.empty())
    return;
  const size_t count = Cols.Start.size();
  const int32_t pairs = Cols.Taps / 2;
  FPairs.resize(count * pairs);
  for (size_t x = 0; x < count; ++x)
    for (int32_t t = 0; t < pairs; ++t) {
      const int16_t a = static_cast<int16_t>(Cols.W[x * Cols.Taps + 2 * t]);
      const int16_t b = static_cast<int16_t>(Cols.W[x * Cols.Taps + 2 * t + 1]);
      FPairs[x * pairs + t] = {{a, a, a, a, b, b, b, b}};
    }
}

void THorizontalWindows::Row(uint16_t *Out, const uint8_t *Src,
                             [[maybe_unused]] const uint8_t *Next) const {
  const int32_t count = static_cast<int32_t>(FCols.Start.size());
#if defined(__x86_64__)
  if (!FBytePairs.empty()) {
    HorizontalBytePairs(Out, Src, Next, FCols.Start.data(), count, FBytePairs.data(),
                        FCols.Taps / 4);
    return;
  }
#endif
  HorizontalWindows(Out, Src, FCols.Start.data(), count, FPairs.data(), FCols.Taps / 2);
}

void VerticalWindows(uint8_t *Out, size_t Lanes, const uint16_t *const *Rows, const uint16_t *W,
                     int32_t Taps, int Shift) {
  VerticalWindowsLoop(Out, Lanes, Rows, W, Taps, Shift);
}

} // namespace fsStretchKernels
