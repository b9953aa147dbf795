#pragma once

#include "persist/fsImageFormats.h"
#include "persist/fsRasterHck.h"

#include <string_view>

// The registry's face of the HCK format: the only class that looks at the
// data before accepting it. Pictures above the maximum size are decoded in
// full and drawn reduced.
class THckImage : public TfsRaster {
public:
  static constexpr const char *ClassName = "THckImage";

  // Accepts a stream whose first 24 bytes are an HCK header; never without
  // looking.
  static bool CanLoad(TStream *stream);

  void LoadFromStream(TStream &stream, TBitmap32 &bitmap, int page, TfsMaxSize maxSize) override;
  void SaveToStream(TStream &stream, const TBitmap32 &bitmap) override;

  // Compression codes other than "none" and "block codec".
  virtual void DecodeOther(int compression, TStream &stream, TBitmap32 &target);
  virtual void PlanesToBitmap(std::string_view planes, TBitmap32 &bitmap);

  // The header of the last file read.
  const THckHeader &Header() const { return FHeader; }

private:
  THckHeader FHeader;
};
