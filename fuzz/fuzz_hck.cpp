#include "base/fsError.h"
#include "persist/fsRasterHck.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

// The HCK reader on arbitrary bytes: it must either fail with an engine error
// or give a picture that survives being written and read again unchanged.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char *>(data), size);
  TBitmap32 bmp;
  try {
    TReadOnlyMemoryStream in(bytes);
    // The reserved header byte 22 picks the page, so that page skipping is
    // reached too.
    LoadHckFromStream(in, bmp, size > 22 ? data[22] % 3 : 0, nullptr);
  } catch (const EfsError &) {
    return 0;
  }
  TMemoryStream out;
  SaveHckToStream(bmp, out);
  TBitmap32 again;
  out.SetPosition(0);
  LoadHckFromStream(out, again);
  if (again.Width() != bmp.Width() || again.Height() != bmp.Height())
    std::abort();
  for (size_t i = 0; !bmp.IsBlank() && i < bmp.PixelCount(); ++i)
    if (bmp.Bits()[i] != again.Bits()[i])
      std::abort();
  return 0;
}
