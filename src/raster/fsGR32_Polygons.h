#pragma once

#include "raster/fsGR32.h"

#include <cstdint>
#include <functional>
#include <memory>

// The vector rasteriser: multi-contour polygons in 16.16 fixed coordinates,
// filled antialiased (by subsampling) or aliased with the even-odd or the
// non-zero winding rule, outlined, grown outward and traced both ways.

enum TPolyFillMode : uint8_t { pfAlternate = 0, pfWinding = 1 };

// Subsamples per axis: 16, 8 (the one the engine uses) or 4.
enum TSubsampleMode : uint8_t { sm16x = 0, sm8x = 1, sm4x = 2 };

// Maps each vertex as it is read by a drawing operation; the polygon itself
// is left alone.
class TPolygonTransformation {
public:
  virtual ~TPolygonTransformation() = default;
  virtual TFixedPoint Transform(const TFixedPoint &P) const = 0;
};

// Receives each filled span instead of a colour: the user object, the first
// destination pixel, its column, one alpha per pixel (nullptr when the fill
// is aliased), the span length and the row.
using TFillSpanEvent = std::function<void(void *UserObject, TColor32 *Dst, int32_t X,
                                          const uint8_t *Alpha, int32_t Count, int32_t Y)>;

class TPolygon32 : public TThreadPersistent {
public:
  TPolygon32();

  bool Smoothed() const { return FSmoothed; }
  void SetSmoothed(bool Value) { FSmoothed = Value; }
  bool ClosedPath() const { return FClosedPath; }
  void SetClosedPath(bool Value) { FClosedPath = Value; }
  TPolyFillMode FillRule() const { return FFillRule; }
  void SetFillRule(TPolyFillMode Value) { FFillRule = Value; }
  TSubsampleMode SubsampleMode() const { return FSubsampleMode; }
  void SetSubsampleMode(TSubsampleMode Value) { FSubsampleMode = Value; }

  const TArrayOfArrayOfFixedPoint &Contours() const { return FContours; }
  const TArrayOfArrayOfFixedPoint &VertexNormals() const { return FNormals; }

  // Copies Smoothed, SubsampleMode, ClosedPath and FillRule.
  virtual void CopyPropertiesTo(TPolygon32 &Dst) const;
  // Properties, normals and contours.
  void AssignTo(TPolygon32 &Dst) const;

  // New points go to the last contour.
  void AppendPoint(const TFixedPoint &P);
  void AppendPoints(const TFixedPoint *Points, int32_t Count);
  void StartContour();
  // Leaves one empty contour.
  void ClearContours();
  void Translate(TFixed Dx, TFixed Dy);

  // Every contour as connected lines in colour c.
  void StrokeEdges(TBitmap32 &Bitmap, TColor32 c,
                   const TPolygonTransformation *Transformation = nullptr);
  // All contours together with FillRule; the colour's alpha scales the
  // coverage.
  void FillContours(TBitmap32 &Bitmap, TColor32 c,
                    const TPolygonTransformation *Transformation = nullptr);
  // The same coverage, handed span by span to Callback.
  void FillContours(TBitmap32 &Bitmap, const TFillSpanEvent &Callback, void *UserObject,
                    const TPolygonTransformation *Transformation = nullptr);

  // Unit normals per vertex, kept until the points change.
  void ComputeNormals();
  // A new polygon grown outward by Delta (16.16); corners are mitred unless
  // the mitre would reach further than EdgeSharpness (0..0.99) allows, then
  // bevelled.
  std::unique_ptr<TPolygon32> Inflate(TFixed Delta, float EdgeSharpness = 0);
  // A new polygon tracing every contour forwards and then backwards.
  std::unique_ptr<TPolygon32> TraceBothWays() const;

private:
  bool FSmoothed = false;
  bool FClosedPath = true;
  TPolyFillMode FFillRule = pfAlternate;
  TArrayOfArrayOfFixedPoint FNormals;
  TArrayOfArrayOfFixedPoint FContours;
  TSubsampleMode FSubsampleMode = sm8x;
};

// Turns coverage differences into coverage in place: the running sum of
// Cells[0 .. N - 1], each limited to 0 .. Full.
void CoverageRunningSum(int32_t *Cells, size_t N, int32_t Full);
