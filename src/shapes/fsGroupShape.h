#pragma once

#include "shapes/fsEffectShape.h"

// Shapes grouped into one: the children are drawn by the base rendering (into
// the group's cache when the group needs one, so the group's effects see
// them) and follow the group's size by their anchors.
class TfsGroupShape : public TfsEffectShape {
public:
  TfsGroupShape();

  std::string ClassName() const override { return "TfsGroupShape"; }
  bool IsGroupShape() const override { return true; }
};
