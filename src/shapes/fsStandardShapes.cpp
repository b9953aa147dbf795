#include "shapes/fsStandardShapes.h"

#include "shapes/fsBitmapShape.h"
#include "shapes/fsCropBitmap.h"
#include "shapes/fsExposedMetafile.h"
#include "shapes/fsFreehandShape.h"
#include "shapes/fsGroupShape.h"
#include "shapes/fsLineShape.h"
#include "shapes/fsPolygonShape.h"

void RegisterStandardShapes() {
  RegisterShapeClass<TfsPolygonShape>();
  RegisterShapeClass<TfsEllipseShape>();
  RegisterShapeClass<TfsRectangleShape>();
  RegisterShapeClass<TfsRoundRectShape>();
  RegisterShapeClass<TfsLineShape>();
  RegisterShapeClass<TfsFreehandShape>();
  RegisterShapeClass<TfsBitmapShape>();
  RegisterShapeClass<TfsSnapBitmap>();
  RegisterShapeClass<TfsCropBitmap>();
  RegisterShapeClass<TfsExposedMetafile>();
  RegisterShapeClass<TfsEffectShape>();
  RegisterShapeClass<TfsGroupShape>();
}
