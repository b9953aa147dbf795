#pragma once

#include "raster/fsGR32.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// The hot loops of the stretch transfer, kept apart from its logic in
// fsGR32_Transforms_avx2.cpp: AVX2 clones chosen when the program loads,
// x86-64 vector code, plain loops elsewhere. Internal to the stretch
// transfer: callers include "raster/fsGR32_Transforms.h".
namespace fsStretchKernels {

constexpr bool PowerOfTwo(uint64_t n) {
  return n != 0 && (n & (n - 1)) == 0;
}

// floor(x / N) for 0 <= x <= 255 * N with one multiply: with 2^K > 255 N^2
// the rounded-up reciprocal is exact over that range.
class TBlockDivider {
public:
  TBlockDivider() = default;
  explicit TBlockDivider(uint64_t N) : FN(N) {
    if (N < (uint64_t(1) << 22)) {
      FK = static_cast<int>(std::bit_width(255 * N * N));
      FM = ((uint64_t(1) << FK) + N - 1) / N;
    }
  }
  uint64_t N() const { return FN; }
  uint32_t operator()(uint64_t x) const {
    return static_cast<uint32_t>(FK ? (x * FM) >> FK : x / FN);
  }

private:
  uint64_t FN = 1;
  uint64_t FM = 0;
  int FK = 0;
};

// The exact truncated mean of each block's four channel sums, from column
// sums of 16 or 32 bits: the plain form every faster one must equal.
template <class TSum>
void PlainBlockMeans(TColor32 *Out, const int32_t *Cols, int32_t Count, int32_t C0,
                     const TSum *Sums, uint64_t BlockHeight) {
  TBlockDivider d0, d1;
  for (int32_t x = 0; x < Count; ++x) {
    uint64_t acc[4] = {0, 0, 0, 0};
    for (int32_t sx = Cols[x]; sx < Cols[x + 1]; ++sx)
      for (int l = 0; l < 4; ++l)
        acc[l] += Sums[static_cast<size_t>(sx - C0) * 4 + l];
    const uint64_t n = BlockHeight * static_cast<uint64_t>(Cols[x + 1] - Cols[x]);
    if (d0.N() != n) {
      std::swap(d0, d1);
      if (d0.N() != n)
        d0 = TBlockDivider(n);
    }
    Out[x] = d0(acc[0]) | d0(acc[1]) << 8 | d0(acc[2]) << 16 | d0(acc[3]) << 24;
  }
}

// S := Row (First) or S + Row, lane by lane in 16 bits.
void ColumnSums16(uint16_t *S, const uint8_t *Row, size_t Lanes, bool First);

// Block means from 16-bit column sums, for blocks of up to 257 rows whose
// area keeps the lane totals within 32 bits: vectorised adds and, for the
// usual power-of-two areas, a shift instead of the divider (both exact).
// UniformWidth: the width every block shares, 0 when they differ.
void BlockMeans16(TColor32 *Out, const int32_t *Cols, int32_t Count, int32_t C0,
                  const uint16_t *Sums, uint64_t BlockHeight, int32_t UniformWidth);

// Sums of weight x channel over the taps' source rows, for every lane of
// the row part in use.
void VerticalPass(int32_t *V, size_t Lanes, const uint8_t *const *Rows, const int32_t *W,
                  int32_t Taps);

// The horizontal taps over those sums, limited to the channel range.
void HorizontalPass(TColor32 *Out, int32_t Count, const int32_t *V, const int32_t *Start,
                    const int32_t *Offset, const int32_t *W);

// The taps of each destination pixel as a window of Taps consecutive source
// positions (zero weights fill the gaps and the padding), and the common
// divisor of all the weights.
struct TWindows {
  std::vector<int32_t> Start;
  std::vector<uint16_t> W; // Taps per destination pixel
  int32_t Taps = 0;
  uint32_t Divisor = 1;
};

// A pair of taps' weights spread over the four lanes of each of its two
// pixels: the first tap's weight four times, then the second's.
struct alignas(16) TTapPair {
  int16_t W[8];
};

// One source row through the column windows: four 16-bit sums per
// destination pixel.
class THorizontalWindows {
public:
  // Divided: the weights are divided by their common divisor, so that small
  // ones may take the AVX2 byte pairs. Cols must outlive this.
  THorizontalWindows(const TWindows &Cols, bool Divided);

  // Next: the source row read after this one.
  void Row(uint16_t *Out, const uint8_t *Src, const uint8_t *Next) const;

private:
  const TWindows &FCols;
  std::vector<TTapPair> FPairs;
  std::vector<int8_t> FBytePairs; // empty: the pairs above
};

// The rows' sums through the row window. Shift >= 0: the weights' divisors
// multiply to 2^(16 - Shift), so the whole sum fits 16 bits and the channel
// is that sum >> Shift. Shift < 0: the sums are split into high and low
// bytes, each weighted apart, and the channel is (high + (low >> 8)) >> 8,
// the same as the 32-bit total >> 16.
void VerticalWindows(uint8_t *Out, size_t Lanes, const uint16_t *const *Rows, const uint16_t *W,
                     int32_t Taps, int Shift);

} // namespace fsStretchKernels
