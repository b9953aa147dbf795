#pragma once

#include "persist/fsImageFormats.h"

// PNG through libpng: every colour type and depth, palettes with
// transparency, interlacing, 16-bit samples; written with alpha at
// compression level 9.
class TfsPngFormat : public TfsRaster {
public:
  static constexpr const char *ClassName = "TfsPngFormat";

  void LoadFromStream(TStream &stream, TBitmap32 &bitmap, int page, TfsMaxSize maxSize) override;
  void SaveToStream(TStream &stream, const TBitmap32 &bitmap) override;
};
