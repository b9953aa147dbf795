#pragma once

#include <cstdint>

// Modifier keys and mouse buttons held during an input event.
enum TShiftFlag : uint16_t {
  ssShift = 0x01,
  ssAlt = 0x02,
  ssCtrl = 0x04,
  ssLeft = 0x08,
  ssRight = 0x10,
  ssMiddle = 0x20,
  ssDouble = 0x40,
};
using TShiftState = uint16_t;

enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };

// Key codes as the platform's virtual keys number them; windows translate
// their own keys to these.
enum TKeyCode : uint16_t {
  vkBack = 8,
  vkTab = 9,
  vkReturn = 13,
  vkEscape = 27,
  vkSpace = 32,
  vkPrior = 33,
  vkNext = 34,
  vkEnd = 35,
  vkHome = 36,
  vkLeft = 37,
  vkUp = 38,
  vkRight = 39,
  vkDown = 40,
  vkDelete = 46,
  vkAdd = 107,
  vkF2 = 113,
  vkF5 = 116,
};

// Control characters that editing commands arrive as.
inline constexpr char16_t CtrlC = 3;
inline constexpr char16_t CtrlV = 22;
inline constexpr char16_t CtrlX = 24;
