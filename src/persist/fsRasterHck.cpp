#include "persist/fsRasterHck.h"

#include "persist/fsBlockCodec.h"
#include "persist/fsRasterError.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>

namespace {

constexpr const char *kCorrupted = "Image file is corrupted";
constexpr const char *kDecompressFailed = "Unable to decompress";
constexpr const char *kCompressFailed = "Unable to compress";

int32_t Get32(const uint8_t *at) {
  return static_cast<int32_t>(static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                              static_cast<uint32_t>(at[2]) << 16 |
                              static_cast<uint32_t>(at[3]) << 24);
}

void Put32(uint8_t *at, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
  at[2] = static_cast<uint8_t>(v >> 16);
  at[3] = static_cast<uint8_t>(v >> 24);
}

bool SignatureMatches(const uint8_t *b) {
  // "HCK" is the text before the first NUL of the first four bytes.
  return b[0] == 'H' && b[1] == 'C' && b[2] == 'K' && b[3] == 0;
}

THckHeader ParseHeader(const uint8_t *b) {
  THckHeader h;
  std::memcpy(h.Signature, b, 4);
  h.Width = Get32(b + 4);
  h.Height = Get32(b + 8);
  h.PageCount = Get32(b + 12);
  h.AlphaBits = b[16];
  h.RedBits = b[17];
  h.GreenBits = b[18];
  h.BlueBits = b[19];
  h.GreyBits = b[20];
  h.Compression = b[21];
  return h;
}

// Reads a 32-bit field, or raises message when the stream ends first.
int32_t Read32(TStream &s, const char *message) {
  uint8_t b[4];
  if (s.Read(b, 4) != 4)
    throw ERasterError(message);
  return Get32(b);
}

int64_t Remaining(TStream &s) {
  return s.Size() - s.Position();
}

// Reads exactly count bytes, checking first that the stream holds them so
// that a bogus count never allocates.
std::string ReadExactly(TStream &s, int64_t count, const char *message) {
  if (count < 0 || count > Remaining(s))
    throw ERasterError(message);
  std::string bytes(static_cast<size_t>(count), '\0');
  if (count > 0 && s.Read(bytes.data(), count) != count)
    throw ERasterError(message);
  return bytes;
}

// Leaves the stream at the data of page pageIndex.
void SkipToPage(TStream &s, const THckHeader &h, int32_t pageIndex) {
  int32_t pages = h.PageCount < 1 ? 1 : h.PageCount;
  if (pageIndex < 0 || pageIndex > pages - 1)
    throw ERasterError("Requested non-existing page");
  if (pages == 1)
    return;
  for (int32_t i = 0; i < pageIndex; ++i) {
    int32_t length = Read32(s, kCorrupted);
    if (length < 0 || length > Remaining(s))
      throw ERasterError(kCorrupted);
    s.Seek(length, soCurrent);
  }
  Read32(s, kCorrupted); // the chosen page's own length
}

std::string DecompressPlanes(TStream &s, int64_t planeSize) {
  const int32_t u = Read32(s, kDecompressFailed);
  if (u != planeSize)
    throw ERasterError(kCorrupted);
  try {
    const int32_t k = Read32(s, kDecompressFailed);
    std::string block = ReadExactly(s, k, kDecompressFailed);
    return BlockDecompress(block, static_cast<size_t>(u));
  } catch (const std::bad_alloc &) {
    throw ERasterError(kDecompressFailed);
  } catch (const EfsError &) {
    throw ERasterError(kDecompressFailed);
  }
}

// A plane of bits bits for pixels pixels: its byte length, or -1 for a bit
// count the plane cannot have.
int64_t PlaneLength(int bits, int64_t pixels, bool oneBitAllowed) {
  if (bits == 0)
    return 0;
  if (bits == 8)
    return pixels;
  if (bits == 1 && oneBitAllowed)
    return (pixels + 7) / 8;
  return -1;
}

bool BitAt(const uint8_t *plane, int64_t i) {
  return (plane[i >> 3] >> (7 - (i & 7))) & 1;
}

} // namespace

int64_t THckHeader::PlaneByteSize() const {
  const int64_t bits = int64_t(AlphaBits) + RedBits + GreenBits + BlueBits + GreyBits;
  return int64_t(Width) * Height * ((bits + 7) / 8);
}

bool HckCanLoad(TStream &s) {
  const int64_t start = s.Position();
  uint8_t b[HckHeaderSize];
  const int64_t got = s.Read(b, HckHeaderSize);
  s.SetPosition(start);
  return got == HckHeaderSize && SignatureMatches(b);
}

void HckPlanesToBitmap(std::string_view planes, const THckHeader &h, TBitmap32 &bmp) {
  const int64_t pixels = int64_t(h.Width) * h.Height;
  const int64_t lengths[5] = {
      PlaneLength(h.AlphaBits, pixels, true), PlaneLength(h.RedBits, pixels, false),
      PlaneLength(h.GreenBits, pixels, false), PlaneLength(h.BlueBits, pixels, false),
      PlaneLength(h.GreyBits, pixels, true)};
  int64_t total = 0;
  for (int64_t length : lengths) {
    if (length < 0)
      throw ERasterError("Unsupported bitdepth");
    total += length;
  }
  // With 1-bit planes the stored size (whole bytes per pixel) and the packed
  // planes disagree; the planes must still lie inside the bytes.
  if (total > static_cast<int64_t>(planes.size()) || h.Width < 0 || h.Height < 0 ||
      pixels > HckMaxPixels)
    throw ERasterError(kCorrupted);

  try {
    bmp.SetSize(h.Width, h.Height);
  } catch (const EfsError &) {
    throw ERasterError(kCorrupted);
  }
  if (pixels == 0) {
    bmp.Changed();
    return;
  }
  TColor32 *px = bmp.Bits();
  const size_t n = static_cast<size_t>(pixels);
  const auto *p = reinterpret_cast<const uint8_t *>(planes.data());

  switch (h.AlphaBits) {
  case 0:
    std::fill_n(px, n, TColor32(0xFF000000));
    break;
  case 1:
    for (size_t i = 0; i < n; ++i)
      px[i] = BitAt(p, static_cast<int64_t>(i)) ? 0xFF000000 : 0;
    break;
  default:
    for (size_t i = 0; i < n; ++i)
      px[i] = TColor32(p[i]) << 24;
    break;
  }
  p += lengths[0];

  const int shifts[3] = {16, 8, 0};
  for (int c = 0; c < 3; ++c) {
    if (lengths[1 + c] == 0)
      continue;
    const TColor32 keep = ~(TColor32(0xFF) << shifts[c]);
    for (size_t i = 0; i < n; ++i)
      px[i] = (px[i] & keep) | TColor32(p[i]) << shifts[c];
    p += lengths[1 + c];
  }

  if (h.GreyBits != 0) {
    for (size_t i = 0; i < n; ++i) {
      const TColor32 v = h.GreyBits == 1 ? (BitAt(p, static_cast<int64_t>(i)) ? 255 : 0) : p[i];
      px[i] = (px[i] & 0xFF000000) | v * 0x010101;
    }
  }
  bmp.Changed();
}

void LoadHckFromStream(TStream &s, TBitmap32 &bmp) {
  LoadHckFromStream(s, bmp, 0, nullptr);
}

void LoadHckFromStream(TStream &s, TBitmap32 &bmp, int32_t pageIndex, THckHeader *header) {
  uint8_t raw[HckHeaderSize];
  if (s.Read(raw, HckHeaderSize) != HckHeaderSize || !SignatureMatches(raw))
    throw ERasterError(kCorrupted);
  const THckHeader h = ParseHeader(raw);
  if (header)
    *header = h;
  if (h.Width < 0 || h.Height < 0)
    throw ERasterError(kCorrupted);

  const int64_t pixels = int64_t(h.Width) * h.Height;
  if (pixels == 0) {
    // An empty picture: the target takes its size rather than keeping
    // whatever it showed before.
    bmp.SetSize(h.Width, h.Height);
    bmp.Changed();
    return;
  }
  if (pixels > HckMaxPixels)
    throw ERasterError("Picture too large (" + std::to_string(h.Width) + " x " +
                       std::to_string(h.Height) + " pixels)");
  const int64_t planeSize = h.PlaneByteSize();
  if (planeSize == 0) {
    // No plane has any bits, so there is no picture to read; a header alone
    // must not conjure up a large black one.
    bmp.SetSize(0, 0);
    bmp.Changed();
    return;
  }

  SkipToPage(s, h, pageIndex);
  std::string planes;
  switch (h.Compression) {
  case HckCompressionNone:
    planes = ReadExactly(s, planeSize, kCorrupted);
    break;
  case HckCompressionBlock:
    planes = DecompressPlanes(s, planeSize);
    break;
  default:
    throw ERasterError("No suitable codec found");
  }
  HckPlanesToBitmap(planes, h, bmp);
}

void SaveHckToStream(const TBitmap32 &bmp, TStream &s) {
  THckHeader h;
  h.Width = bmp.Width();
  h.Height = bmp.Height();
  uint8_t raw[HckHeaderSize] = {};
  std::memcpy(raw, h.Signature, 4);
  Put32(raw + 4, h.Width);
  Put32(raw + 8, h.Height);
  Put32(raw + 12, h.PageCount);
  raw[16] = h.AlphaBits;
  raw[17] = h.RedBits;
  raw[18] = h.GreenBits;
  raw[19] = h.BlueBits;
  raw[20] = h.GreyBits;
  raw[21] = h.Compression;

  const size_t pixels = bmp.IsBlank() ? 0 : bmp.PixelCount();
  std::string block;
  if (pixels > 0) {
    try {
      if (pixels > static_cast<size_t>(std::numeric_limits<int32_t>::max()) / 4)
        throw ERasterError(kCompressFailed);
      std::string planes(4 * pixels, '\0');
      const TColor32 *px = bmp.Bits();
      char *a = planes.data();
      char *r = a + pixels;
      char *g = r + pixels;
      char *b = g + pixels;
      for (size_t i = 0; i < pixels; ++i) {
        const TColor32 c = px[i];
        a[i] = static_cast<char>(c >> 24);
        r[i] = static_cast<char>(c >> 16);
        g[i] = static_cast<char>(c >> 8);
        b[i] = static_cast<char>(c);
      }
      block = BlockCompress(planes);
      if (block.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw ERasterError(kCompressFailed);
    } catch (const std::bad_alloc &) {
      throw ERasterError(kCompressFailed);
    } catch (const EfsError &) {
      throw ERasterError(kCompressFailed);
    }
  }

  s.WriteBuffer(raw, HckHeaderSize);
  if (pixels > 0) {
    uint8_t sizes[8];
    Put32(sizes, static_cast<int32_t>(4 * pixels));
    Put32(sizes + 4, static_cast<int32_t>(block.size()));
    s.WriteBuffer(sizes, 8);
    s.WriteBuffer(block.data(), static_cast<int64_t>(block.size()));
  }
}
