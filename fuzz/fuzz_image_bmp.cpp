// The BMP reader on any bytes: an error or a picture, never a crash, a read
// out of bounds or a huge allocation.
#include "persist/fsBmpFormat.h"
#include "raster/fsGR32.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const bool limited = (SetRasterPixelLimit(int64_t(1) << 22), true);
  (void)limited;
  std::string_view bytes(reinterpret_cast<const char *>(data), size);
  TReadOnlyMemoryStream s(bytes);
  TBitmap32 bmp;
  try {
    ReadBmpFromStream(s, bmp);
    // What was read writes and reads back unchanged.
    TMemoryStream out;
    WriteBmpToStream(bmp, out);
    out.SetPosition(0);
    TBitmap32 again;
    ReadBmpFromStream(out, again);
    if (again.Width() != bmp.Width() || again.Height() != bmp.Height())
      std::abort();
    for (size_t i = 0; i < bmp.PixelCount(); ++i)
      if (again.Bits()[i] != bmp.Bits()[i] && (bmp.Bits()[i] >> 24) != 0)
        std::abort();
  } catch (const EfsError &) {
  }
  return 0;
}
