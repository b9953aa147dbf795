#pragma once

#include <cstdint>

// The platform's colour: $00BBGGRR. A negative value is a system colour
// whose index is in the low byte; it is resolved through one table of the
// platform's default system colours wherever a colour is drawn or written.
using TColor = int32_t;

constexpr bool IsSystemColor(TColor color) {
  return color < 0;
}

// The $00BBGGRR value of a system colour index; unknown indexes give black.
TColor SystemColorRGB(int32_t index);

// System colours resolved to their RGB value; other colours unchanged.
TColor ColorToRGB(TColor color);
