#include "persist/fsHckImage.h"

#include "raster/fsGR32.h"

#include <algorithm>
#include <cmath>

bool THckImage::CanLoad(TStream *stream) { return stream && HckCanLoad(*stream); }

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
  // Nearest sampling, as a fresh bitmap's stretch filter draws.
  for (int32_t y = 0; y < h; ++y) {
    const int32_t sy = static_cast<int32_t>((int64_t(y) * 2 + 1) * FHeight / (int64_t(h) * 2));
    const TColor32 *src = full.ScanLine(sy);
    TColor32 *dst = bitmap.ScanLine(y);
    for (int32_t x = 0; x < w; ++x)
      dst[x] = src[(int64_t(x) * 2 + 1) * FWidth / (int64_t(w) * 2)];
  }
  bitmap.Changed();
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
