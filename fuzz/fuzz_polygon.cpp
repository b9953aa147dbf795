// Polygon filling with arbitrary points: whatever the coordinates, nothing
// may be written outside the bitmap's clip box (the border is checked here)
// or its store (AddressSanitizer).
#include "raster/fsGR32.h"
#include "raster/fsGR32_Polygons.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr TColor32 Sentinel = 0x5A5A5A5A;

int32_t ReadInt32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return static_cast<int32_t>(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 8)
    return 0;
  const int32_t w = 1 + data[0] % 48;
  const int32_t h = 1 + data[1] % 48;
  const uint8_t flags = data[2];
  const int32_t inset = data[3] % 4;
  TColor32 colour;
  std::memcpy(&colour, data + 4, 4);

  TPolygon32 poly;
  poly.SetSmoothed(flags & 1);
  poly.SetFillRule((flags & 2) ? pfWinding : pfAlternate);
  poly.SetSubsampleMode(static_cast<TSubsampleMode>((flags >> 2) % 3));
  poly.SetClosedPath((flags & 32) == 0);
  // Records of 9 bytes: an op byte, then X and Y. Op bit 0 starts a
  // contour; bit 1 takes small pixel coordinates from the low bytes, so
  // that the interesting range near the bitmap is reached often.
  for (size_t i = 8; i + 9 <= size; i += 9) {
    const uint8_t op = data[i];
    if (op & 1)
      poly.StartContour();
    int32_t x = ReadInt32(data + i + 1);
    int32_t y = ReadInt32(data + i + 5);
    if (op & 2) {
      x = static_cast<int8_t>(x & 0xFF) * 8192 + ((x >> 8) & 0x1FFF);
      y = static_cast<int8_t>(y & 0xFF) * 8192 + ((y >> 8) & 0x1FFF);
    }
    poly.AppendPoint({x, y});
  }

  TBitmap32 bmp;
  bmp.SetSize(w, h);
  bmp.FillAll(Sentinel);
  bmp.SetCombineMode((flags & 16) ? cmMerge : cmBlend);
  const TRect clip = Rect(inset, inset, w - inset, h - inset);
  bmp.SetClipBox(clip);

  std::unique_ptr<TPolygon32> grown;
  TPolygon32 *target = &poly;
  if (flags & 128) {
    grown = poly.TraceBothWays()->Inflate(static_cast<TFixed>(colour >> 8) - 0x7FFFFF, 0.5f);
    target = grown.get();
  }
  target->FillContours(bmp, colour);
  int spans = 0;
  target->FillContours(
      bmp,
      [&](void *, TColor32 *dst, int32_t x, const uint8_t *, int32_t n, int32_t y) {
        if (x < clip.Left || x + n > clip.Right || y < clip.Top || y >= clip.Bottom ||
            dst != bmp.PixelPtr(x, y))
          std::abort();
        ++spans;
      },
      nullptr);
  if (flags & 64)
    target->StrokeEdges(bmp, colour);

  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const bool inside = x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom;
      if (!inside && bmp.GetPixel(x, y) != Sentinel)
        std::abort();
    }
  return 0;
}
