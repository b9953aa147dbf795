#include "persist/fsBmpFormat.h"

#include "raster/fsGR32.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

namespace {

const char *const kInvalid = "Bitmap image is not valid";

enum : uint32_t { biRGB = 0, biRLE8 = 1, biRLE4 = 2, biBitFields = 3, biAlphaBitFields = 6 };

[[noreturn]] void Invalid() {
  throw ERasterError(kInvalid);
}

uint16_t U16(const uint8_t *p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t U32(const uint8_t *p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void PutU16(uint8_t *p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void PutU32(uint8_t *p, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    p[i] = uint8_t(v >> (8 * i));
}

void ReadExact(TStream &s, void *buf, int64_t count) {
  if (s.Read(buf, count) != count)
    Invalid();
}

// One channel of a bit-field pixel, widened or narrowed to 8 bits.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  uint32_t Max = 0;

  explicit TChannel(uint32_t mask = 0) : Mask(mask) {
    if (mask) {
      Shift = std::countr_zero(mask);
      Max = mask >> Shift;
    }
  }
  uint32_t Get(uint32_t px) const {
    if (!Mask)
      return 0;
    uint32_t v = (px & Mask) >> Shift;
    if (Max == 255)
      return v;
    // Scaled to the full range so that the largest value is white.
    return static_cast<uint32_t>((uint64_t(v) * 255 + Max / 2) / Max);
  }
};

struct TBmpInfo {
  uint32_t OffBits = 0;    // pixel data from the start of the file
  uint32_t HeaderSize = 0; // of the info header; 12 = core
  int64_t Width = 0;
  int64_t Height = 0; // negative: top row first
  uint32_t Bpp = 0;
  uint32_t Compression = biRGB;
  uint32_t SizeImage = 0;
  uint32_t ClrUsed = 0;
  uint32_t Masks[4] = {0, 0, 0, 0}; // red, green, blue, alpha of 16 and 32 bits
};

// RLE data into the bitmap; pixels the data skip keep what they hold.
void DecodeRle(const std::vector<uint8_t> &d, const TBmpInfo &info,
               const std::vector<TColor32> &palette, TBitmap32 &bmp) {
  const int32_t w = bmp.Width(), h = bmp.Height();
  const bool topDown = info.Height < 0;
  const bool four = info.Compression == biRLE4;
  int64_t x = 0, y = 0;
  auto put = [&](uint32_t index) {
    if (x < w && y < h) {
      int32_t row = topDown ? int32_t(y) : h - 1 - int32_t(y);
      bmp.ScanLine(row)[x] = index < palette.size() ? palette[index] : 0xFF000000;
    }
    ++x;
  };
  size_t p = 0, n = d.size();
  while (p + 1 < n && y < h) {
    uint8_t count = d[p], value = d[p + 1];
    p += 2;
    if (count > 0) {
      for (int i = 0; i < count && x < w; ++i)
        put(four ? ((i & 1) ? (value & 15) : (value >> 4)) : value);
      continue;
    }
    if (value == 0) { // end of line
      x = 0;
      ++y;
    } else if (value == 1) { // end of bitmap
      break;
    } else if (value == 2) { // move
      if (p + 1 >= n)
        break;
      x = std::min<int64_t>(x + d[p], w);
      y += d[p + 1];
      p += 2;
    } else { // literal pixels, padded to a word
      size_t bytes = four ? (value + 1u) / 2u : value;
      for (int i = 0; i < value; ++i) {
        size_t at = p + (four ? size_t(i) / 2 : size_t(i));
        if (at >= n)
          break;
        uint8_t b = d[at];
        put(four ? ((i & 1) ? (b & 15) : (b >> 4)) : b);
      }
      p += bytes + (bytes & 1);
    }
  }
}

void DecodeRows(const std::vector<uint8_t> &d, int64_t stride, const TBmpInfo &info,
                const std::vector<TColor32> &palette, TBitmap32 &bmp) {
  const int32_t w = bmp.Width(), h = bmp.Height();
  const bool topDown = info.Height < 0;
  const TChannel r(info.Masks[0]), g(info.Masks[1]), b(info.Masks[2]), a(info.Masks[3]);
  auto pal = [&](uint32_t i) { return i < palette.size() ? palette[i] : 0xFF000000u; };
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t *src = d.data() + (topDown ? y : h - 1 - y) * stride;
    TColor32 *dst = bmp.ScanLine(y);
    switch (info.Bpp) {
    case 1:
      for (int32_t x = 0; x < w; ++x)
        dst[x] = pal((src[x >> 3] >> (7 - (x & 7))) & 1);
      break;
    case 4:
      for (int32_t x = 0; x < w; ++x)
        dst[x] = pal((x & 1) ? (src[x >> 1] & 15) : (src[x >> 1] >> 4));
      break;
    case 8:
      for (int32_t x = 0; x < w; ++x)
        dst[x] = pal(src[x]);
      break;
    case 24:
      for (int32_t x = 0; x < w; ++x, src += 3)
        dst[x] = 0xFF000000u | (uint32_t(src[2]) << 16) | (uint32_t(src[1]) << 8) | src[0];
      break;
    default: { // 16 or 32 through masks
      const int bytes = int(info.Bpp / 8);
      for (int32_t x = 0; x < w; ++x, src += bytes) {
        uint32_t px = bytes == 2 ? U16(src) : U32(src);
        uint32_t alpha = a.Mask ? a.Get(px) : 255;
        dst[x] = (alpha << 24) | (r.Get(px) << 16) | (g.Get(px) << 8) | b.Get(px);
      }
    }
    }
  }
}

// The bit-field masks: from the header or just after it for BI_BITFIELDS
// and BI_ALPHABITFIELDS, else the fixed layouts of 16 and 32 bits.
void ReadMasks(TStream &s, const uint8_t *ih, TBmpInfo &info) {
  const uint32_t c = info.Compression, hs = info.HeaderSize;
  if (c == biBitFields || c == biAlphaBitFields) {
    if (hs >= 52) {
      for (int i = 0; i < 3; ++i)
        info.Masks[i] = U32(ih + 40 + 4 * i);
      if (hs >= 56)
        info.Masks[3] = U32(ih + 52);
    } else {
      uint8_t m[16];
      const int count = c == biAlphaBitFields ? 4 : 3;
      ReadExact(s, m, 4 * count);
      for (int i = 0; i < count; ++i)
        info.Masks[i] = U32(m + 4 * i);
    }
  } else if (info.Bpp == 16) {
    info.Masks[0] = 0x7C00;
    info.Masks[1] = 0x03E0;
    info.Masks[2] = 0x001F;
  } else if (info.Bpp == 32) {
    info.Masks[0] = 0x00FF0000;
    info.Masks[1] = 0x0000FF00;
    info.Masks[2] = 0x000000FF;
    // The fourth byte of a plain 32-bit pixel is reserved, and writers fill
    // it with anything; only a header that names it alpha makes it so.
    if (hs >= 56 && U32(ih + 52) == 0xFF000000)
      info.Masks[3] = 0xFF000000;
  }
}

// File header, info header and masks; the stream is left at the palette.
TBmpInfo ReadHeaders(TStream &s) {
  uint8_t fh[14];
  ReadExact(s, fh, 14);
  if (fh[0] != 'B' || fh[1] != 'M')
    Invalid();
  TBmpInfo info;
  info.OffBits = U32(fh + 10);

  uint8_t ih[124] = {};
  ReadExact(s, ih, 4);
  const uint32_t hs = U32(ih);
  if (hs != 12 && (hs < 16 || hs > 0x10000))
    Invalid();
  info.HeaderSize = hs;
  const uint32_t kept = std::min<uint32_t>(hs, sizeof ih);
  ReadExact(s, ih + 4, kept - 4);
  if (hs > kept) {
    // Seeking is no read: a header longer than the file must not move the
    // position past its end (some streams grow when sought beyond it).
    if (hs - kept > s.Size() - s.Position())
      Invalid();
    s.Seek(hs - kept, soCurrent);
  }

  if (hs == 12) {
    info.Width = U16(ih + 4);
    info.Height = U16(ih + 6);
    info.Bpp = U16(ih + 10);
  } else {
    info.Width = int32_t(U32(ih + 4));
    info.Height = int32_t(U32(ih + 8));
    info.Bpp = U16(ih + 14);
    if (hs >= 20)
      info.Compression = U32(ih + 16);
    if (hs >= 24)
      info.SizeImage = U32(ih + 20);
    if (hs >= 36)
      info.ClrUsed = U32(ih + 32);
  }
  const uint32_t c = info.Compression;
  const uint32_t bpp = info.Bpp;
  bool ok =
      (c == biRGB && (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32)) ||
      (c == biRLE8 && bpp == 8) || (c == biRLE4 && bpp == 4) ||
      ((c == biBitFields || c == biAlphaBitFields) && (bpp == 16 || bpp == 32));
  if (!ok || info.Width < 0 || info.Height == INT32_MIN)
    Invalid();
  ReadMasks(s, ih, info);
  return info;
}

// The colour table of up to 8 bits per pixel; start is where the file began.
std::vector<TColor32> ReadPalette(TStream &s, int64_t start, const TBmpInfo &info) {
  std::vector<TColor32> palette;
  if (info.Bpp > 8)
    return palette;
  const int entry = info.HeaderSize == 12 ? 3 : 4;
  int64_t count = info.ClrUsed ? info.ClrUsed : (1u << info.Bpp);
  // A palette cannot reach into the pixels.
  const int64_t here = s.Position() - start;
  if (info.OffBits >= here)
    count = std::min<int64_t>(count, (info.OffBits - here) / entry);
  count = std::min<int64_t>(count, 256);
  std::vector<uint8_t> raw(static_cast<size_t>(count * entry));
  ReadExact(s, raw.data(), int64_t(raw.size()));
  palette.resize(size_t(count));
  for (int64_t i = 0; i < count; ++i) {
    const uint8_t *e = raw.data() + i * entry;
    palette[size_t(i)] = 0xFF000000u | (uint32_t(e[2]) << 16) | (uint32_t(e[1]) << 8) | e[0];
  }
  return palette;
}

// The pixel data from the stream's position into the bitmap.
void ReadPixels(TStream &s, const TBmpInfo &info, const std::vector<TColor32> &palette,
                TBitmap32 &bmp) {
  const int64_t width = info.Width, height = info.Height < 0 ? -info.Height : info.Height;
  if (width == 0 || height == 0) {
    bmp.SetSize(0, 0);
    return;
  }
  CheckRasterSize(width, height);
  const int64_t avail = std::max<int64_t>(0, s.Size() - s.Position());

  if (info.Compression == biRLE8 || info.Compression == biRLE4) {
    int64_t want = info.SizeImage ? std::min<int64_t>(info.SizeImage, avail) : avail;
    std::vector<uint8_t> data(static_cast<size_t>(want));
    ReadExact(s, data.data(), want);
    bmp.SetSize(int32_t(width), int32_t(height));
    // Pixels the data skip show the first palette colour, as they always did
    // when the platform expanded such files into an indexed bitmap.
    bmp.FillAll(palette.empty() ? 0xFF000000u : palette[0]);
    DecodeRle(data, info, palette, bmp);
    return;
  }

  const int64_t stride = ((width * info.Bpp + 31) / 32) * 4;
  // The last row may lack its padding; anything shorter is damaged.
  const int64_t need = stride * (height - 1) + (width * info.Bpp + 7) / 8;
  if (avail < need)
    Invalid();
  std::vector<uint8_t> data(size_t(stride * height), 0);
  ReadExact(s, data.data(), std::min<int64_t>(stride * height, avail));
  bmp.SetSize(int32_t(width), int32_t(height));
  DecodeRows(data, stride, info, palette, bmp);
}

} // namespace

void ReadBmpFromStream(TStream &s, TBitmap32 &bmp) {
  const int64_t start = s.Position();
  const TBmpInfo info = ReadHeaders(s);
  const std::vector<TColor32> palette = ReadPalette(s, start, info);
  if (info.OffBits > s.Size() - start)
    Invalid();
  if (info.OffBits >= s.Position() - start)
    s.SetPosition(start + info.OffBits);
  ReadPixels(s, info, palette, bmp);
}

void WriteBmpToStream(const TBitmap32 &bmp, TStream &s) {
  const int32_t w = bmp.Width(), h = bmp.Height();
  const TColor32 *px = bmp.Bits();
  const size_t count = bmp.IsBlank() ? 0 : bmp.PixelCount();
  bool opaque = true;
  for (size_t i = 0; i < count && opaque; ++i)
    opaque = (px[i] >> 24) == 255;

  const uint32_t hs = opaque ? 40 : 108;
  const uint32_t bpp = opaque ? 24 : 32;
  const int64_t stride = count ? ((int64_t(w) * bpp + 31) / 32) * 4 : 0;
  const int64_t rows = count ? h : 0;
  const int64_t imageSize = stride * rows;
  const int64_t fileSize = 14 + hs + imageSize;
  if (fileSize > UINT32_MAX)
    throw ERasterError("Image is too large for a bitmap file");

  std::vector<uint8_t> head(14 + hs, 0);
  head[0] = 'B';
  head[1] = 'M';
  PutU32(&head[2], uint32_t(fileSize));
  PutU32(&head[10], 14 + hs);
  uint8_t *ih = &head[14];
  PutU32(ih, hs);
  PutU32(ih + 4, uint32_t(count ? w : 0));
  PutU32(ih + 8, uint32_t(count ? h : 0));
  PutU16(ih + 12, 1);
  PutU16(ih + 14, bpp);
  PutU32(ih + 16, opaque ? biRGB : biBitFields);
  PutU32(ih + 20, uint32_t(imageSize));
  PutU32(ih + 24, 2835); // 72 dpi
  PutU32(ih + 28, 2835);
  if (!opaque) {
    PutU32(ih + 40, 0x00FF0000);
    PutU32(ih + 44, 0x0000FF00);
    PutU32(ih + 48, 0x000000FF);
    PutU32(ih + 52, 0xFF000000);
    PutU32(ih + 56, 0x73524742); // "sRGB"
  }
  s.WriteBuffer(head.data(), int64_t(head.size()));

  std::vector<uint8_t> row(size_t(stride), 0);
  for (int64_t y = rows - 1; y >= 0; --y) {
    const TColor32 *src = bmp.ScanLine(int32_t(y));
    uint8_t *dst = row.data();
    for (int32_t x = 0; x < w; ++x) {
      TColor32 c = src[x];
      *dst++ = uint8_t(c);
      *dst++ = uint8_t(c >> 8);
      *dst++ = uint8_t(c >> 16);
      if (!opaque)
        *dst++ = uint8_t(c >> 24);
    }
    s.WriteBuffer(row.data(), stride);
  }
}

void TfsBmpFormat::LoadFromStream(TStream &stream, TBitmap32 &bitmap, int page, TfsMaxSize) {
  CheckSinglePage(page);
  int64_t before = stream.Position();
  ReadBmpFromStream(stream, bitmap);
  FWidth = bitmap.Width();
  FHeight = bitmap.Height();
  FByteCount = stream.Position() - before;
}

void TfsBmpFormat::SaveToStream(TStream &stream, const TBitmap32 &bitmap) {
  int64_t before = stream.Position();
  WriteBmpToStream(bitmap, stream);
  FByteCount = stream.Position() - before;
}

void InstallBmpStreamHandlers() {
  SetBitmap32StreamHandlers([](TBitmap32 &b, TStream &s) { ReadBmpFromStream(s, b); },
                            [](const TBitmap32 &b, TStream &s) { WriteBmpToStream(b, s); });
}
