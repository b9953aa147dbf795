#pragma once

// The body of the metafile fuzz targets. The input is a metafile's record
// stream after a fixed, valid header (so that mutations reach the records),
// or, when its first byte is 0xFF, a whole file from its first byte on.
// Whatever the bytes, reading either loads or raises EMetafileError, and
// playing writes nothing outside the clip box (checked on a sentinel border)
// or the store (AddressSanitizer).
#include "engine/fsMetafile.h"
#include "engine/fsMetafilePlayer.h"
#include "raster/fsGR32.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace metafilefuzz {

inline void Put(std::string &s, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

inline std::string EmfHeader(size_t bodySize) {
  std::string h;
  Put(h, 1, 4);
  Put(h, 88, 4);
  for (uint32_t v : {0u, 0u, 47u, 47u, 0u, 0u, 480u, 480u})
    Put(h, v, 4);
  Put(h, 0x464D4520, 4);
  Put(h, 0x10000, 4);
  Put(h, static_cast<uint32_t>(88 + bodySize), 4);
  Put(h, 0, 4);
  Put(h, 32, 2); // handles
  Put(h, 0, 2);
  for (uint32_t v : {0u, 0u, 0u, 1000u, 1000u, 100u, 100u})
    Put(h, v, 4);
  return h;
}

inline std::string WmfHeader(size_t bodySize) {
  std::string h;
  Put(h, 0x9AC6CDD7, 4);
  Put(h, 0, 2);
  for (uint32_t v : {0u, 0u, 480u, 480u})
    Put(h, v, 2);
  Put(h, 1000, 2);
  Put(h, 0, 4);
  Put(h, 0, 2);
  Put(h, 1, 2);
  Put(h, 9, 2);
  Put(h, 0x300, 2);
  Put(h, static_cast<uint32_t>((18 + bodySize) / 2), 4);
  Put(h, 16, 2); // objects
  Put(h, 0, 4);
  Put(h, 0, 2);
  return h;
}

inline int Run(const uint8_t *data, size_t size, bool enhanced) {
  std::string bytes;
  const std::string_view in(reinterpret_cast<const char *>(data), size);
  if (size > 0 && data[0] == 0xFF)
    bytes = in.substr(1);
  else
    bytes = (enhanced ? EmfHeader(size) : WmfHeader(size)) + std::string(in);
  TfsMetafile mf;
  try {
    mf.LoadFromBytes(bytes);
  } catch (const EMetafileError &) {
    return 0;
  }
  constexpr TColor32 Sentinel = 0x5A5A5A5A;
  TBitmap32 bmp;
  bmp.SetSize(48, 48);
  bmp.FillAll(Sentinel);
  const TRect clip = Rect(3, 3, 45, 45);
  {
    TfsMetafilePlayer player(mf, bmp, Rect(0, 0, 48, 48), clip);
    player.Play();
  }
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 48; ++x) {
      const bool inside = x >= clip.Left && x < clip.Right && y >= clip.Top && y < clip.Bottom;
      if (!inside && bmp.GetPixel(x, y) != Sentinel)
        std::abort();
    }
  if (!(bmp.ClipBox() == bmp.BoundsRect()))
    std::abort(); // the player gives the bitmap its clip box back
  return 0;
}

} // namespace metafilefuzz
