#include "base/fsPlatformColor.h"

#include <iterator>

namespace {

// The platform's default values of its system colour indexes, as $RRGGBB
// (the current desktop theme's).
constexpr uint32_t SystemColors[] = {
    0xC8C8C8, // 0 scroll bar
    0x000000, // 1 desktop
    0x99B4D1, // 2 active caption
    0xBFCDDB, // 3 inactive caption
    0xF0F0F0, // 4 menu
    0xFFFFFF, // 5 window
    0x646464, // 6 window frame
    0x000000, // 7 menu text
    0x000000, // 8 window text
    0x000000, // 9 caption text
    0xB4B4B4, // 10 active border
    0xF4F7FC, // 11 inactive border
    0xABABAB, // 12 application workspace
    0x0078D7, // 13 highlight
    0xFFFFFF, // 14 highlight text
    0xF0F0F0, // 15 button face
    0xA0A0A0, // 16 button shadow
    0x6D6D6D, // 17 grey text
    0x000000, // 18 button text
    0x000000, // 19 inactive caption text
    0xFFFFFF, // 20 button highlight
    0x696969, // 21 3D dark shadow
    0xE3E3E3, // 22 3D light
    0x000000, // 23 tooltip text
    0xFFFFE1, // 24 tooltip background
    0x000000, // 25 no colour of its own
    0x0066CC, // 26 hot light
    0xB9D1EA, // 27 gradient active caption
    0xD7E4F2, // 28 gradient inactive caption
    0x0078D7, // 29 menu highlight
    0xF0F0F0, // 30 menu bar
};

} // namespace

TColor SystemColorRGB(int32_t index) {
  if (index < 0 || index >= static_cast<int32_t>(std::size(SystemColors)))
    return 0;
  uint32_t v = SystemColors[index];
  return static_cast<TColor>((v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16));
}

TColor ColorToRGB(TColor color) {
  return IsSystemColor(color) ? SystemColorRGB(color & 0xFF) : color;
}
