#pragma once

#include "raster/fsGR32.h"

#include <cstdint>

// Where a render pass draws.
enum TDeviceType : uint8_t {
  dtScreen = 0,      // the document view
  dtPrinter = 1,     // printing, thumbnails and exports
  dtTransparent = 2, // the page background is not filled
};

// 150 dots per inch, the resolution pictures are sized at and caches are
// rendered at by default.
constexpr float Dpm150 = 5.905512f;

// The render context handed down through one render pass.
struct TDeviceContext {
  TDeviceType DeviceType = dtScreen;
  // Every cache is cleared to it, and it is the caches' outer colour: the
  // page colour with alpha 0.
  TColor32 BackColor = 0x00FFFFFF;
  float DestDpm = Dpm150;  // pixels per mm of the target bitmap
  float CacheDpm = Dpm150; // resolution shape caches are rendered at
  TStretchFilter StretchFilter = sfLinear;
  bool DropCache = false; // free each cache right after it was drawn
  bool ExactDpm = false;  // re-render a cache finer than CacheDpm
};
