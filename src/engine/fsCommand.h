#pragma once

#include "base/fsStream.h"

#include <cstdint>
#include <memory>
#include <string>

// One undoable change, described by the shape that made it and executed
// again by the shape whose ID it names. The document's stacks decide
// grouping and merging.
enum TfsCommandKind : uint8_t {
  ckProperty = 0,     // PropName = key, Value = old value as text
  ckChildInserted = 1, // Value = decimal index of the new child
  ckChildRemoved = 2,  // Value = class name, Stream = index, ID and snapshot
  // 3 to 5 are the effect chain's (shapes/fsEffectShape.h).
};

class TfsCommand {
public:
  TfsCommand() = default;
  TfsCommand(uint8_t kind, int32_t shapeID, std::string propName, std::string value,
             std::unique_ptr<TMemoryStream> stream = nullptr)
      : Kind(kind), ShapeID(shapeID), PropName(std::move(propName)), Value(std::move(value)) {
    SetStream(std::move(stream));
  }

  uint8_t Kind = ckProperty;
  int32_t ShapeID = 0;
  bool Continued = false;
  std::string PropName;
  std::string Value;

  TMemoryStream *Stream() const { return FStream.get(); }
  // The stream is rewound when attached.
  void SetStream(std::unique_ptr<TMemoryStream> stream) {
    FStream = std::move(stream);
    if (FStream)
      FStream->SetPosition(0);
  }
  // What the command costs the undo budget.
  int64_t Size() const {
    return static_cast<int64_t>(PropName.size() + Value.size()) + 4 +
           (FStream ? FStream->Size() : 0);
  }

private:
  std::unique_ptr<TMemoryStream> FStream;
};
