#pragma once

#include "engine/fsShape.h"
#include "raster/fsGR32.h"
#include "raster/fsGR32_Polygons.h"

// Fills its box with one colour through the polygon filler, as the vector
// shapes do: a page's worth of them without the shapes layer.
class TBoxShape : public TfsShape {
public:
  explicit TBoxShape(TColor32 color) : FColor(color) {}

  void Paint(TBitmap32 &bitmap, const TDeviceContext &) override {
    TPolygon32 polygon;
    for (TFloatPoint corner : {FloatPoint(0, 0), FloatPoint(DocWidth(), 0),
                               FloatPoint(DocWidth(), DocHeight()), FloatPoint(0, DocHeight())}) {
      const TFloatPoint p = LocalToDevice(corner);
      polygon.AppendPoint(FixedPoint(Fixed(p.X), Fixed(p.Y)));
    }
    polygon.FillContours(bitmap, FColor);
  }

private:
  TColor32 FColor;
};
