#include "engine/fsGroupShape.h"

TfsGroupShape::TfsGroupShape() {
  SetGrouped(true);
}
