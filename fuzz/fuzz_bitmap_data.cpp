// The raw "Data" form of a bitmap from arbitrary bytes: either a clean read
// error or a bitmap that writes back to the same bytes.

#include "base/fsError.h"
#include "base/fsStream.h"
#include "raster/fsGR32.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char *>(data), size);
  TReadOnlyMemoryStream in(bytes);
  TBitmap32 b;
  try {
    b.ReadData(in);
  } catch (const EfsError &) {
    return 0;
  }
  TMemoryStream out;
  b.WriteData(out);
  if (out.Bytes() != bytes.substr(0, out.Bytes().size()) ||
      static_cast<int64_t>(out.Bytes().size()) != in.Position())
    std::abort();
  // Whatever was read must survive the drawing primitives at any coordinates.
  if (!b.IsBlank() && size >= 24) {
    int32_t c[4];
    std::memcpy(c, data + size - 16, 16);
    b.DrawLine(c[0], c[1], c[2], c[3], 0xFFFFFFFF, true);
    b.DrawLineSmooth(c[0], c[1], c[2], c[3], 0x80FF0000, true);
    b.FillBox(c[0], c[1], c[2], c[3], 0x40123456);
    b.BlendBox(c[0], c[1], c[2], c[3], 0x40123456);
    b.PutPixelSubpixelClipped(c[0], c[1], 0xFF00FF00);
    BlurSmooth(b, static_cast<float>(c[2] & 15));
    Rotate90Left(b);
  }
  return 0;
}
