#include "persist/fsGifFormat.h"

#include "raster/fsGR32.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <libimagequant.h>

namespace {

struct TGifIo {
  const uint8_t *Data = nullptr;
  size_t Size = 0;
  size_t Pos = 0;
  std::string *Out = nullptr;
};

extern "C" int GifReadBytes(GifFileType *gif, GifByteType *buf, int len) {
  auto *io = static_cast<TGifIo *>(gif->UserData);
  size_t n = std::min(static_cast<size_t>(len < 0 ? 0 : len), io->Size - io->Pos);
  std::memcpy(buf, io->Data + io->Pos, n);
  io->Pos += n;
  return static_cast<int>(n);
}

extern "C" int GifWriteBytes(GifFileType *gif, const GifByteType *buf, int len) {
  auto *io = static_cast<TGifIo *>(gif->UserData);
  io->Out->append(reinterpret_cast<const char *>(buf), static_cast<size_t>(len));
  return len;
}

[[noreturn]] void GifFailed(int code) {
  const char *text = GifErrorString(code);
  throw ERasterError(text ? text : "GIF error");
}

struct TGifReadCloser {
  void operator()(GifFileType *g) const {
    int err = 0;
    DGifCloseFile(g, &err);
  }
};

struct TGifWriteCloser {
  void operator()(GifFileType *g) const {
    int err = 0;
    EGifCloseFile(g, &err);
  }
};

template <class T, void (*Free)(T *)> struct TLiqDeleter {
  void operator()(T *p) const { Free(p); }
};
using TLiqAttr = std::unique_ptr<liq_attr, TLiqDeleter<liq_attr, liq_attr_destroy>>;
using TLiqImage = std::unique_ptr<liq_image, TLiqDeleter<liq_image, liq_image_destroy>>;
using TLiqResult = std::unique_ptr<liq_result, TLiqDeleter<liq_result, liq_result_destroy>>;

// Reads past the frames and extensions after the first, so that a stream
// is left just behind the picture. Damage there does not spoil the picture
// already read.
void SkipToTrailer(GifFileType *gif) {
  GifRecordType type = UNDEFINED_RECORD_TYPE;
  while (DGifGetRecordType(gif, &type) != GIF_ERROR && type != TERMINATE_RECORD_TYPE) {
    GifByteType *block = nullptr;
    if (type == IMAGE_DESC_RECORD_TYPE) {
      int codeSize = 0;
      if (DGifGetImageDesc(gif) == GIF_ERROR || DGifGetCode(gif, &codeSize, &block) == GIF_ERROR)
        return;
      while (block)
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR)
          return;
    } else if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
        return;
      while (block)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
          return;
    }
  }
}

} // namespace

int GifTransparentIndex(const std::array<uint32_t, 256> &counts, int paletteSize) {
  paletteSize = std::clamp(paletteSize, 1, 256);
  int least = 0;
  for (int i = 0; i < paletteSize; ++i) {
    if (counts[size_t(i)] == 0)
      return i;
    if (counts[size_t(i)] < counts[size_t(least)])
      least = i;
  }
  return least;
}

void TfsGifFormat::LoadFromStream(TStream &stream, TBitmap32 &bitmap, int page, TfsMaxSize) {
  CheckSinglePage(page);
  const int64_t before = stream.Position();
  const std::string data = stream.ReadRemaining();
  TGifIo io;
  io.Data = reinterpret_cast<const uint8_t *>(data.data());
  io.Size = data.size();

  int err = 0;
  std::unique_ptr<GifFileType, TGifReadCloser> gif(DGifOpen(&io, GifReadBytes, &err));
  if (!gif)
    GifFailed(err);

  int transparent = -1;
  GifRecordType type = UNDEFINED_RECORD_TYPE;
  for (;;) {
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
      GifFailed(gif->Error);
    if (type == TERMINATE_RECORD_TYPE)
      throw ERasterError("GIF file holds no picture");
    if (type == IMAGE_DESC_RECORD_TYPE)
      break;
    if (type != EXTENSION_RECORD_TYPE)
      continue;
    int code = 0;
    GifByteType *ext = nullptr;
    if (DGifGetExtension(gif.get(), &code, &ext) == GIF_ERROR)
      GifFailed(gif->Error);
    // Only the control block just before the first frame matters.
    if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4)
      transparent = (ext[1] & 1) ? ext[4] : -1;
    while (ext)
      if (DGifGetExtensionNext(gif.get(), &ext) == GIF_ERROR)
        GifFailed(gif->Error);
  }
  if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
    GifFailed(gif->Error);

  const GifImageDesc &frame = gif->Image;
  const int64_t fl = frame.Left, ft = frame.Top, fw = frame.Width, fh = frame.Height;
  int64_t w = gif->SWidth, h = gif->SHeight;
  // A screen of no size is taken from the frame.
  if (w <= 0 || h <= 0) {
    w = fl + fw;
    h = ft + fh;
  }
  CheckRasterSize(w, h);
  if (fw <= 0 || fh <= 0)
    throw ERasterError("GIF file holds no picture");

  const ColorMapObject *map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
  TColor32 colors[256];
  for (int i = 0; i < 256; ++i) {
    colors[i] = 0xFF000000;
    if (map && i < map->ColorCount && map->Colors) {
      const GifColorType &c = map->Colors[i];
      colors[i] = Color32(c.Red, c.Green, c.Blue);
    }
  }

  bitmap.SetSize(static_cast<int32_t>(w), static_cast<int32_t>(h));
  bitmap.FillAll(0);
  std::vector<GifPixelType> line(static_cast<size_t>(fw));
  auto putRow = [&](int64_t row) {
    if (DGifGetLine(gif.get(), line.data(), static_cast<int>(fw)) == GIF_ERROR)
      GifFailed(gif->Error);
    int64_t y = ft + row;
    if (y >= h)
      return;
    TColor32 *dst = bitmap.ScanLine(static_cast<int32_t>(y));
    for (int64_t x = 0; x < fw && fl + x < w; ++x)
      if (line[size_t(x)] != transparent)
        dst[fl + x] = colors[line[size_t(x)]];
  };
  if (frame.Interlace) {
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int64_t row = kStart[pass]; row < fh; row += kStep[pass])
        putRow(row);
  } else {
    for (int64_t row = 0; row < fh; ++row)
      putRow(row);
  }
  bitmap.Changed();
  SkipToTrailer(gif.get());

  FWidth = static_cast<int32_t>(w);
  FHeight = static_cast<int32_t>(h);
  stream.SetPosition(before + static_cast<int64_t>(io.Pos));
  FByteCount = static_cast<int64_t>(io.Pos);
}

void TfsGifFormat::SaveToStream(TStream &stream, const TBitmap32 &bitmap) {
  if (bitmap.IsBlank())
    throw ERasterError("Cannot save an empty picture as GIF");
  const int32_t w = bitmap.Width(), h = bitmap.Height();
  if (w > 65535 || h > 65535)
    throw ERasterError("Image is too large for a GIF file");
  const size_t count = bitmap.PixelCount();
  const TColor32 *px = bitmap.Bits();

  // Quantised as opaque colours; the pixels below the threshold go in as
  // transparent so that they take no colour of the palette.
  std::vector<liq_color> rgba(count);
  bool anyClear = false;
  for (size_t i = 0; i < count; ++i) {
    TColor32 c = px[i];
    if ((c >> 24) < AlphaThreshold) {
      rgba[i] = liq_color{0, 0, 0, 0};
      anyClear = true;
    } else {
      rgba[i] = liq_color{uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255};
    }
  }
  TLiqAttr attr(liq_attr_create());
  if (!attr)
    throw ERasterError("Out of memory");
  liq_set_max_colors(attr.get(), 256);
  TLiqImage image(liq_image_create_rgba(attr.get(), rgba.data(), w, h, 0));
  if (!image)
    throw ERasterError("Unable to quantise the picture");
  liq_result *rawResult = nullptr;
  if (liq_image_quantize(image.get(), attr.get(), &rawResult) != LIQ_OK)
    throw ERasterError("Unable to quantise the picture");
  TLiqResult result(rawResult);
  liq_set_dithering_level(result.get(), 1.0f);
  std::vector<GifPixelType> indexes(count);
  if (liq_write_remapped_image(result.get(), image.get(), indexes.data(), indexes.size()) != LIQ_OK)
    throw ERasterError("Unable to quantise the picture");
  const liq_palette *pal = liq_get_palette(result.get());

  int used = std::max(1, static_cast<int>(pal->count));
  int bits = 1;
  while ((1 << bits) < used)
    ++bits;
  const int mapSize = 1 << bits;
  GifColorType colors[256] = {};
  for (unsigned i = 0; i < pal->count && i < 256; ++i)
    colors[i] = GifColorType{pal->entries[i].r, pal->entries[i].g, pal->entries[i].b};

  int transparent = -1;
  if (anyClear) {
    std::array<uint32_t, 256> counts{};
    for (size_t i = 0; i < count; ++i)
      if ((px[i] >> 24) >= AlphaThreshold)
        ++counts[indexes[i]];
    transparent = GifTransparentIndex(counts, mapSize);
    for (size_t i = 0; i < count; ++i)
      if ((px[i] >> 24) < AlphaThreshold)
        indexes[i] = static_cast<GifPixelType>(transparent);
    colors[transparent] = GifColorType{uint8_t(TransparentColor >> 16),
                                       uint8_t(TransparentColor >> 8), uint8_t(TransparentColor)};
  }

  std::string out;
  TGifIo io;
  io.Out = &out;
  int err = 0;
  {
    std::unique_ptr<GifFileType, TGifWriteCloser> gif(EGifOpen(&io, GifWriteBytes, &err));
    if (!gif)
      GifFailed(err);
    ColorMapObject *map = GifMakeMapObject(mapSize, colors);
    if (!map)
      throw ERasterError("Out of memory");
    EGifSetGifVersion(gif.get(), transparent >= 0);
    int rc = EGifPutScreenDesc(gif.get(), w, h, bits, 0, map);
    GifFreeMapObject(map);
    if (rc == GIF_ERROR)
      GifFailed(gif->Error);
    if (transparent >= 0) {
      GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, transparent};
      GifByteType ext[4];
      EGifGCBToExtension(&gcb, ext);
      if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_ERROR)
        GifFailed(gif->Error);
    }
    if (EGifPutImageDesc(gif.get(), 0, 0, w, h, false, nullptr) == GIF_ERROR)
      GifFailed(gif->Error);
    for (int32_t y = 0; y < h; ++y)
      if (EGifPutLine(gif.get(), indexes.data() + static_cast<size_t>(y) * w, w) == GIF_ERROR)
        GifFailed(gif->Error);
    GifFileType *raw = gif.release();
    if (EGifCloseFile(raw, &err) == GIF_ERROR)
      GifFailed(err);
  }
  stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
  FByteCount = static_cast<int64_t>(out.size());
}
