#pragma once

#include "engine/fsShape.h"

namespace enginetest {

// The engine groups shapes through the registry by the class name
// "TfsGroupShape", whose class lives in the shapes layer above the engine.
// Engine programs register this stand-in under that name instead: a grouped
// shape that says it is a group.
class TTestGroupShape : public TfsShape {
public:
  TTestGroupShape() { SetGrouped(true); }
  std::string ClassName() const override { return "TfsGroupShape"; }
  bool IsGroupShape() const override { return true; }
};

// Internal linkage: every program that includes this registers it at start-up.
[[maybe_unused]] static const bool TestGroupShapeRegistered =
    (RegisterShapeClass<TTestGroupShape>(), true);

} // namespace enginetest
