// The picture readers through the filer: the first byte picks the extension
// (PNG, GIF, JPEG, HCK, BMP, or none so the content decides), the rest is the
// file. An error or a picture, never a crash.
#include "persist/fsImageFormats.h"
#include "raster/fsGR32.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool limited = (SetRasterPixelLimit(int64_t(1) << 22), true);
  (void)limited;
  if (size == 0)
    return 0;
  static const char *const kExt[] = {".png", ".gif", ".jpg", ".hck", ".bmp", ""};
  const char *ext = kExt[data[0] % 6];
  std::string_view bytes(reinterpret_cast<const char *>(data + 1), size - 1);
  TReadOnlyMemoryStream s(bytes);
  TBitmap32 bmp;
  try {
    // A small maximum so that the reducing readers take their reducing path.
    LoadBitmapFromStream(s, ext, bmp, 0, {64, 64});
  } catch (const EfsError &) {
  }
  return 0;
}
