#include "shapes/fsStandardShapes.h"

#include "shapes/fsGroupShape.h"
#include "shapes/fsPolygonShape.h"

void RegisterStandardShapes() {
  RegisterShapeClass<TfsPolygonShape>();
  RegisterShapeClass<TfsEllipseShape>();
  RegisterShapeClass<TfsRectangleShape>();
  RegisterShapeClass<TfsRoundRectShape>();
  RegisterShapeClass<TfsEffectShape>();
  RegisterShapeClass<TfsGroupShape>();
}
