#pragma once

#include "raster/fsGR32.h"
#include "raster/fsTransform.h"

#include <memory>
#include <vector>

class ESamplerError : public EfsError {
public:
  using EfsError::EfsError;
};

// Draws a source through a transform onto a destination bitmap.
class TfsSampler {
public:
  TfsSampler() = default;
  virtual ~TfsSampler() = default;
  TfsSampler(const TfsSampler &) = delete;
  TfsSampler &operator=(const TfsSampler &) = delete;

  // Maps source pixels to destination pixels; not owned. The sampler keeps
  // its own inverted copy, so later changes need another SetTransform.
  void SetTransform(const TfsTransform *Transform);
  const TfsTransform *Transform() const { return FTransform; }
  void SetDestination(TBitmap32 *Bitmap) { FDestination = Bitmap; }
  TBitmap32 *Destination() const { return FDestination; }

  // Source colours for the destination pixels (X .. X + Count - 1, Y).
  virtual void GetSpan(int32_t X, int32_t Y, int32_t Count) = 0;
  virtual void Draw(const TFloatRect &SrcRect) = 0;

protected:
  const TfsTransform *FTransform = nullptr;
  std::unique_ptr<TfsTransform> FInverse;
  bool FSingular = true;
  TBitmap32 *FDestination = nullptr;
  TFloatRect FRect;
};

// Bilinear sampling (on the gamma-weighted lattice of ReadPixelBilinear),
// supersampled n x n per destination pixel (2 x 2 by default), composited
// with the merge rule and the source's master alpha.
class TfsMapSampler : public TfsSampler {
public:
  TfsMapSampler();

  void SetSource(const TBitmap32 *Bitmap) { FSource = Bitmap; }
  const TBitmap32 *Source() const { return FSource; }
  // n x n samples per pixel, n in 1..6 ("Illegal oversampling value"
  // otherwise); 1 turns supersampling off.
  void SetOversampling(int32_t N);
  int32_t SampleCount() const { return FSamples; }
  const std::vector<TFloatPoint> &SampleOffsets() const { return FOffsets; }

  void GetSpan(int32_t X, int32_t Y, int32_t Count) override;
  // Composites the source onto the destination over the bounding box of
  // SrcRect's image, then the destination's Changed.
  void Draw(const TFloatRect &SrcRect) override;
  // The colours of the last GetSpan.
  const TColor32 *Span() const { return FSpan.data(); }

private:
  // Samples pixels First..Last of the span (X .. X + Count - 1, Y).
  void SampleRow(int32_t X, int32_t Y, int32_t Count, int32_t First, int32_t Last, double Ox,
                 double Oy, TColor32 *Out);
  void SpanRange(int32_t X, int32_t Y, int32_t Count, int32_t First, int32_t Last);
  bool InsideRange(int32_t X, int32_t Y, int32_t Count, int32_t &First, int32_t &Last) const;
  // 2 x 2 samples through an affine inverse, the four of a pixel at once,
  // with AVX2 (in fsSampler_avx2.cpp); false, and nothing done, without it.
  bool QuadSpan(int32_t X, int32_t Y, int32_t Count, int32_t First, int32_t Last);
  // When every sample row of the span steps by exactly one source pixel
  // across and none down (an unscaled, unturned map: a shape's cache drawn
  // at its own resolution), all its samples share one fraction, and whole
  // rows are read with fixed weights; false, and nothing done, otherwise.
  bool ShiftSpan(int32_t X, int32_t Y, int32_t Count, int32_t First, int32_t Last);

  const TBitmap32 *FSource = nullptr;
  std::vector<TColor32> FSpan;
  std::vector<uint16_t> FSums;
  std::vector<TColor32> FSampleRow;
  std::vector<int64_t> FLattice;
  // During Draw, for turned maps near their own scale: bit x of row y (of
  // FSquareStride words) marks the 4 x 4 square of the source from (x, y)
  // that holds one colour, built when QuadSpan first needs it. Only Draw
  // knows the source stays unchanged meanwhile.
  bool FSquaresWanted = false;
  std::vector<uint64_t> FSquares;
  size_t FSquareStride = 0;
  int32_t FFactor = 2;
  int32_t FSamples = 4;
  std::vector<TFloatPoint> FOffsets;
};
