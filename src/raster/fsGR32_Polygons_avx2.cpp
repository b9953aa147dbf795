#include "raster/fsGR32_Polygons_avx2.h"

#include "raster/fsCpuClones.h"
#include "raster/fsGR32_Polygons.h"

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include <algorithm>

namespace {

// The clone stays private to this file behind a plain entry point: clang
// dispatches a clone declared in another file wrongly.
FS_AVX2_CLONES void BlendLanesLoop(uint8_t *D, const uint16_t *F, const uint16_t *W, size_t Lanes) {
  for (size_t l = 0; l < Lanes; ++l)
    D[l] = static_cast<uint8_t>(
        static_cast<uint16_t>(static_cast<uint16_t>(F[l] * W[l]) +
                              static_cast<uint16_t>(D[l] * static_cast<uint16_t>(256 - W[l])) +
                              128) >>
        8);
}

} // namespace

void fsPolygonKernels::BlendLanes(uint8_t *D, const uint16_t *F, const uint16_t *W, size_t Lanes) {
  BlendLanesLoop(D, F, W, Lanes);
}

#if defined(__x86_64__)

void CoverageRunningSum(int32_t *Cells, size_t N, int32_t Full) {
  // Inside a large shape most cells change nothing: eight at a time.
  const __m128i zero = _mm_setzero_si128();
  int32_t sum = 0;
  size_t i = 0;
  while (i < N) {
    if (i + 8 <= N) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(Cells + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(Cells + i + 4));
      if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_or_si128(a, b), zero)) == 0xFFFF) {
        const __m128i v = _mm_set1_epi32(std::clamp(sum, 0, Full));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(Cells + i), v);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(Cells + i + 4), v);
        i += 8;
        continue;
      }
    }
    sum += Cells[i];
    Cells[i] = std::clamp(sum, 0, Full);
    ++i;
  }
}

#else

void CoverageRunningSum(int32_t *Cells, size_t N, int32_t Full) {
  int32_t sum = 0;
  for (size_t i = 0; i < N; ++i) {
    sum += Cells[i];
    Cells[i] = std::clamp(sum, 0, Full);
  }
}

#endif
