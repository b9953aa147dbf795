#pragma once

#include "persist/fsImageFormats.h"

#include <array>
#include <cstdint>

// GIF through giflib: the first frame is read, that is every image up to
// the first that carries a delay, composed on the screen; writing quantises
// to a palette with Floyd-Steinberg dithering (libimagequant).
class TfsGifFormat : public TfsRaster {
public:
  static constexpr const char *ClassName = "TfsGifFormat";

  // Pixels with less alpha than this are written transparent.
  uint32_t AlphaThreshold = 32;
  // Palette colour of the transparent index.
  uint32_t TransparentColor = 0xFF000000;

  void LoadFromStream(TStream &stream, TBitmap32 &bitmap, int page, TfsMaxSize maxSize) override;
  void SaveToStream(TStream &stream, const TBitmap32 &bitmap) override;
};

// The transparent index of a palette of paletteSize entries whose use
// counts are given: the first unused index, else the least used one (the
// first of equal counts).
int GifTransparentIndex(const std::array<uint32_t, 256> &counts, int paletteSize);
