#pragma once

#include "engine/fsShape.h"

// Shapes grouped into one: the children are drawn by the base rendering and
// follow the group's size by their anchors; FitToChildren wraps the box
// around them.
class TfsGroupShape : public TfsShape {
public:
  TfsGroupShape();

  std::string ClassName() const override { return "TfsGroupShape"; }
  bool IsGroupShape() const override { return true; }
};
