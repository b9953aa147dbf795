#pragma once

#include "persist/fsImageFormats.h"

// Windows bitmaps: read in every common form (1 to 32 bits, RLE, bit-field
// masks, top-down or bottom-up, core to V5 headers); alpha only where a
// header gives an alpha mask, so plain 32-bit pixels are opaque. Written as
// 24 bits when the picture is opaque, else as 32 bits with an alpha mask.
class TfsBmpFormat : public TfsRaster {
public:
  static constexpr const char *ClassName = "TfsBmpFormat";

  void LoadFromStream(TStream &stream, TBitmap32 &bitmap, int page, TfsMaxSize maxSize) override;
  void SaveToStream(TStream &stream, const TBitmap32 &bitmap) override;
};

// The BMP file form itself, from the stream's position.
void ReadBmpFromStream(TStream &stream, TBitmap32 &bitmap);
void WriteBmpToStream(const TBitmap32 &bitmap, TStream &stream);

// Makes TBitmap32::LoadFromStream / SaveToStream use the BMP form. Done by
// the registry on first use; callers that use those methods without ever
// touching the registry call it at start-up.
void InstallBmpStreamHandlers();
