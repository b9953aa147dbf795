#pragma once

#include "persist/fsImageFormats.h"

// JPEG through libjpeg-turbo. Large pictures are reduced by the decoder
// itself (1/2, 1/4, 1/8); written at quality 90 without alpha.
class TfsJpgFormat : public TfsRaster {
public:
  static constexpr const char *ClassName = "TfsJpgFormat";

  int Quality = 90;

  void LoadFromStream(TStream &stream, TBitmap32 &bitmap, int page, TfsMaxSize maxSize) override;
  void SaveToStream(TStream &stream, const TBitmap32 &bitmap) override;
};

// The decoder's reduction for a picture of width x height aimed at maxSize:
// 1, 2, 4 or 8, doubled while both sides are at least twice the maximum.
// A maximum of zero or less means no reduction.
int JpegScaleDivisor(int64_t width, int64_t height, TfsMaxSize maxSize);
