#pragma once

#include "raster/fsGR32.h"

#include <cstdint>

// The merge spans' kernels: a plain loop of the pixel rule and an AVX2 form
// of it (fsGR32_Merge_avx2.cpp) chosen at run time. Internal to the raster
// layer: callers use ColorMergeSpan and ColorMergeScaledSpan.
namespace fsMergeKernels {

// Whether the raster layer's AVX2 kernels may run (when the processor has
// them); tests turn it off to compare the plain paths with the same
// references.
inline bool Avx2Allowed = true;

// Dst[i] = ColorMerge(Src[i] with its alpha scaled by M, Dst[i]), M in 0..255
// (255 leaves the alpha as it is), pixel by pixel.
void MergeScaledSpanPlain(const TColor32 *Src, TColor32 *Dst, int32_t Count, TColor32 M);

// The same, eight pixels at a time with AVX2, bit for bit; false, and nothing
// done, without it.
bool MergeScaledSpanAvx2(const TColor32 *Src, TColor32 *Dst, int32_t Count, TColor32 M);

} // namespace fsMergeKernels
