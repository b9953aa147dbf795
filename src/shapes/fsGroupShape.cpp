#include "shapes/fsGroupShape.h"

TfsGroupShape::TfsGroupShape() {
  SetGrouped(true);
}
