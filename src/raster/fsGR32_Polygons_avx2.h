#pragma once

#include <cstddef>
#include <cstdint>

// The hot loops of the polygon fill, kept apart from its logic in
// fsGR32_Polygons_avx2.cpp (with CoverageRunningSum): AVX2 clones chosen
// when the program loads, x86-64 vector code, plain loops elsewhere.
// Internal to the polygon unit: callers include "raster/fsGR32_Polygons.h".
namespace fsPolygonKernels {

// (F * W + B * (256 - W) + 128) >> 8 per lane into D (B); every sum fits
// 16 bits.
void BlendLanes(uint8_t *D, const uint16_t *F, const uint16_t *W, size_t Lanes);

} // namespace fsPolygonKernels
