#pragma once

#include "raster/fsGR32.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace imagetest {

// A picture with a different colour in every pixel and, when asked, a
// column of each alpha kind (clear, half, opaque) so that alpha handling
// shows.
inline void MakePattern(TBitmap32 &bmp, int32_t w, int32_t h, bool withAlpha) {
  bmp.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      uint32_t a = 255;
      if (withAlpha)
        a = (x % 3 == 0) ? 0 : (x % 3 == 1 ? 128 : 255);
      bmp.SetPixel(x, y,
                   Color32((x * 37 + y * 11) & 255, (x * 5 + y * 29) & 255, (x * 13 ^ y * 7) & 255,
                           static_cast<int32_t>(a)));
    }
}

// Largest difference of any colour channel (alpha left out).
inline int MaxColorDiff(const TBitmap32 &a, const TBitmap32 &b) {
  int worst = 0;
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x) {
      TColor32 p = a.GetPixel(x, y), q = b.GetPixel(x, y);
      for (int s = 0; s < 24; s += 8)
        worst = std::max(worst, std::abs(int((p >> s) & 255) - int((q >> s) & 255)));
    }
  return worst;
}

// The first differing pixel as text, or "" when both are equal.
inline std::string FirstDifference(const TBitmap32 &a, const TBitmap32 &b) {
  if (a.Width() != b.Width() || a.Height() != b.Height())
    return "size " + std::to_string(a.Width()) + "x" + std::to_string(a.Height()) + " vs " +
           std::to_string(b.Width()) + "x" + std::to_string(b.Height());
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x)
      if (a.GetPixel(x, y) != b.GetPixel(x, y)) {
        char buf[96];
        std::snprintf(buf, sizeof buf, "(%d,%d): %08X vs %08X", x, y, a.GetPixel(x, y),
                      b.GetPixel(x, y));
        return buf;
      }
  return "";
}

} // namespace imagetest
