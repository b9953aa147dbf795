#include "persist/fsHckImage.h"

#include "raster/fsGR32.h"

#include <algorithm>
#include <cmath>

bool THckImage::CanLoad(TStream *stream) {
  return stream && HckCanLoad(*stream);
}

void THckImage::LoadFromStream(TStream &stream, TBitmap32 &bitmap, int page, TfsMaxSize maxSize) {
  const int64_t before = stream.Position();
  TBitmap32 full;
  LoadHckFromStream(stream, full, page, &FHeader);
  FWidth = FHeader.Width;
  FHeight = FHeader.Height;
  FPageCount = FHeader.PageCount;
  FByteCount = stream.Position() - before;

  double s = 0;
  if (FWidth > 0 && FHeight > 0)
    s = std::min(double(maxSize.Height) / FHeight, double(maxSize.Width) / FWidth);
  if (!(s > 0 && s < 1)) {
    bitmap.Assign(full);
    return;
  }
  const auto w = static_cast<int32_t>(std::nearbyint(FWidth * s));
  const auto h = static_cast<int32_t>(std::nearbyint(FHeight * s));
  bitmap.SetSize(w, h);
  full.DrawOnto(bitmap, Rect(0, 0, w, h));
}

void THckImage::SaveToStream(TStream &stream, const TBitmap32 &bitmap) {
  const int64_t before = stream.Position();
  SaveHckToStream(bitmap, stream);
  FByteCount = stream.Position() - before;
}

void THckImage::DecodeOther(int, TStream &, TBitmap32 &) {
  throw ERasterError("No suitable codec found");
}

void THckImage::PlanesToBitmap(std::string_view planes, TBitmap32 &bitmap) {
  HckPlanesToBitmap(planes, FHeader, bitmap);
}
