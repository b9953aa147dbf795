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

// Skips the LZW data of the image whose descriptor was just read.
bool SkipImageData(GifFileType *gif) {
  int codeSize = 0;
  GifByteType *block = nullptr;
  if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR)
    return false;
  while (block)
    if (DGifGetCodeNext(gif, &block) == GIF_ERROR)
      return false;
  return true;
}

// Reads past the images and extensions not drawn, so that a stream is left
// just behind the picture. Damage there does not spoil the picture already
// read.
void SkipToTrailer(GifFileType *gif) {
  GifRecordType type = UNDEFINED_RECORD_TYPE;
  while (DGifGetRecordType(gif, &type) != GIF_ERROR && type != TERMINATE_RECORD_TYPE) {
    if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif) == GIF_ERROR || !SkipImageData(gif))
        return;
    } else if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType *block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
        return;
      while (block)
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
          return;
    }
  }
}

// What the graphic control extension before an image says of it.
struct TGifControl {
  int Disposal = DISPOSAL_UNSPECIFIED;
  int Delay = 0; // hundredths of a second
  int Transparent = -1;
};

enum class TGifNext { gnImage, gnEnd, gnError };

// Reads the records up to the next image descriptor (read as well), taking
// the control block that belongs to that image.
TGifNext NextImage(GifFileType *gif, TGifControl &control) {
  control = TGifControl();
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR)
      return TGifNext::gnError;
    if (type == TERMINATE_RECORD_TYPE)
      return TGifNext::gnEnd;
    if (type == IMAGE_DESC_RECORD_TYPE)
      return DGifGetImageDesc(gif) == GIF_ERROR ? TGifNext::gnError : TGifNext::gnImage;
    if (type != EXTENSION_RECORD_TYPE)
      continue;
    int code = 0;
    GifByteType *ext = nullptr;
    if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR)
      return TGifNext::gnError;
    if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) {
      control.Disposal = (ext[1] >> 2) & 7;
      control.Delay = ext[2] | (ext[3] << 8);
      control.Transparent = (ext[1] & 1) ? ext[4] : -1;
    }
    while (ext)
      if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR)
        return TGifNext::gnError;
  }
}

// The part of the current image that lies on the bitmap; empty when none.
struct TGifClip {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Empty() const { return Left >= Right || Top >= Bottom; }
};

TGifClip ClipImage(const GifImageDesc &image, const TBitmap32 &bmp) {
  TGifClip c;
  c.Left = static_cast<int32_t>(std::min<int64_t>(image.Left, bmp.Width()));
  c.Top = static_cast<int32_t>(std::min<int64_t>(image.Top, bmp.Height()));
  c.Right = static_cast<int32_t>(std::min<int64_t>(int64_t(image.Left) + image.Width, bmp.Width()));
  c.Bottom =
      static_cast<int32_t>(std::min<int64_t>(int64_t(image.Top) + image.Height, bmp.Height()));
  return c;
}

// Decodes the image whose descriptor was just read and draws its pixels
// that fall on the bitmap, leaving those of the transparent index; false
// when the data are damaged (the rows before stay drawn).
bool DrawImage(GifFileType *gif, int transparent, TBitmap32 &bmp) {
  const GifImageDesc &image = gif->Image;
  if (image.Width <= 0 || image.Height <= 0)
    return SkipImageData(gif);
  // Rows and columns off the screen are decoded all the same, so that
  // damaged data show whether or not they would be seen.
  const TGifClip clip = ClipImage(image, bmp);

  const ColorMapObject *map = image.ColorMap ? image.ColorMap : gif->SColorMap;
  TColor32 colors[256];
  for (int i = 0; i < 256; ++i) {
    colors[i] = 0xFF000000;
    if (map && i < map->ColorCount && map->Colors) {
      const GifColorType &c = map->Colors[i];
      colors[i] = Color32(c.Red, c.Green, c.Blue);
    }
  }
  const int width = image.Width, height = image.Height;
  std::vector<GifPixelType> line(static_cast<size_t>(width));
  auto putRow = [&](int row) {
    if (DGifGetLine(gif, line.data(), width) == GIF_ERROR)
      return false;
    const int64_t y = int64_t(image.Top) + row;
    if (y >= clip.Bottom)
      return true;
    TColor32 *dst = bmp.ScanLine(static_cast<int32_t>(y));
    for (int32_t x = clip.Left; x < clip.Right; ++x) {
      const GifPixelType index = line[size_t(x - image.Left)];
      if (index != transparent)
        dst[x] = colors[index];
    }
    return true;
  };
  if (image.Interlace) {
    static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int row = kStart[pass]; row < height; row += kStep[pass])
        if (!putRow(row))
          return false;
  } else {
    for (int row = 0; row < height; ++row)
      if (!putRow(row))
        return false;
  }
  return true;
}

// The pixels of a rectangle, kept for disposal 3 (restore to previous).
std::vector<TColor32> SaveRect(const TBitmap32 &bmp, const TGifClip &r) {
  std::vector<TColor32> saved;
  if (r.Empty())
    return saved;
  saved.reserve(size_t(r.Right - r.Left) * size_t(r.Bottom - r.Top));
  for (int32_t y = r.Top; y < r.Bottom; ++y)
    saved.insert(saved.end(), bmp.ScanLine(y) + r.Left, bmp.ScanLine(y) + r.Right);
  return saved;
}

// What an image's disposal method leaves before the next image is drawn.
// The background of the screen is transparent here, as is every pixel no
// image reaches.
void Dispose(TBitmap32 &bmp, const TGifClip &r, int disposal, const std::vector<TColor32> &saved) {
  if (r.Empty() || (disposal != DISPOSE_BACKGROUND && disposal != DISPOSE_PREVIOUS))
    return;
  const size_t width = size_t(r.Right - r.Left);
  for (int32_t y = r.Top; y < r.Bottom; ++y) {
    TColor32 *dst = bmp.ScanLine(y) + r.Left;
    if (disposal == DISPOSE_BACKGROUND)
      std::fill(dst, dst + width, TColor32(0));
    else
      std::copy_n(saved.begin() + ptrdiff_t(size_t(y - r.Top) * width), width, dst);
  }
}

// The first frame is what a viewer shows before any delay has run: tiled
// pictures and first frames built from several images go on drawing images
// up to the first that carries a delay. The work stays bounded by a number
// of images and by the pixels they decode in all.
constexpr int kMaxFirstFrameImages = 65536;
constexpr int64_t kFirstFrameAreaFactor = 16; // decoded pixels per screen pixel

// Draws the images after the first one drawn (with its control and, for
// disposal 3, the pixels under it before). Damage ends the frame, keeping
// what was drawn. False when the rest of the file is still to be read past
// (true after the trailer or damage, where reading stops).
bool ComposeFirstFrame(GifFileType *gif, TGifControl control, std::vector<TColor32> saved,
                       TBitmap32 &bmp) {
  const int64_t areaBudget = kFirstFrameAreaFactor * int64_t(bmp.Width()) * bmp.Height();
  int64_t area = 0;
  TGifClip drawn = ClipImage(gif->Image, bmp);
  for (int images = 1; control.Delay == 0 && images < kMaxFirstFrameImages; ++images) {
    TGifControl next;
    if (NextImage(gif, next) != TGifNext::gnImage)
      return true;
    area += int64_t(gif->Image.Width) * gif->Image.Height;
    if (area > areaBudget)
      return !SkipImageData(gif);
    Dispose(bmp, drawn, control.Disposal, saved);
    control = next;
    drawn = ClipImage(gif->Image, bmp);
    saved = control.Disposal == DISPOSE_PREVIOUS ? SaveRect(bmp, drawn) : std::vector<TColor32>();
    if (!DrawImage(gif, control.Transparent, bmp))
      return true;
  }
  return false;
}

// A picture quantised to palette indexes, ready to encode.
struct TGifIndexed {
  std::vector<GifPixelType> Indexes;
  GifColorType Colors[256] = {};
  int Bits = 1; // of the colour map
  int Transparent = -1;
};

// Quantises the pixels at or above the alpha threshold as opaque colours;
// the others go in as transparent so that they take no colour of the
// palette. anyClear tells whether there were such pixels.
TGifIndexed Quantise(const TBitmap32 &bitmap, uint32_t threshold, bool &anyClear) {
  const int32_t w = bitmap.Width(), h = bitmap.Height();
  const size_t count = bitmap.PixelCount();
  const TColor32 *px = bitmap.Bits();
  std::vector<liq_color> rgba(count);
  anyClear = false;
  for (size_t i = 0; i < count; ++i) {
    TColor32 c = px[i];
    if ((c >> 24) < threshold) {
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
  TGifIndexed out;
  out.Indexes.resize(count);
  if (liq_write_remapped_image(result.get(), image.get(), out.Indexes.data(), out.Indexes.size()) !=
      LIQ_OK)
    throw ERasterError("Unable to quantise the picture");
  const liq_palette *pal = liq_get_palette(result.get());

  const int used = std::max(1, static_cast<int>(pal->count));
  while ((1 << out.Bits) < used)
    ++out.Bits;
  for (unsigned i = 0; i < pal->count && i < 256; ++i)
    out.Colors[i] = GifColorType{pal->entries[i].r, pal->entries[i].g, pal->entries[i].b};
  return out;
}

// Gives the pixels below the threshold the transparent index, chosen among
// the indexes the opaque pixels use least, and paints its entry.
void MarkTransparent(TGifIndexed &gif, const TBitmap32 &bitmap, uint32_t threshold,
                     TColor32 color) {
  const size_t count = bitmap.PixelCount();
  const TColor32 *px = bitmap.Bits();
  std::array<uint32_t, 256> counts{};
  for (size_t i = 0; i < count; ++i)
    if ((px[i] >> 24) >= threshold)
      ++counts[gif.Indexes[i]];
  gif.Transparent = GifTransparentIndex(counts, 1 << gif.Bits);
  for (size_t i = 0; i < count; ++i)
    if ((px[i] >> 24) < threshold)
      gif.Indexes[i] = static_cast<GifPixelType>(gif.Transparent);
  gif.Colors[gif.Transparent] =
      GifColorType{uint8_t(color >> 16), uint8_t(color >> 8), uint8_t(color)};
}

// The GIF file of one image covering the screen. Not const: giflib masks
// the rows it is given in place.
std::string EncodeGif(TGifIndexed &indexed, int32_t w, int32_t h) {
  std::string out;
  TGifIo io;
  io.Out = &out;
  int err = 0;
  std::unique_ptr<GifFileType, TGifWriteCloser> gif(EGifOpen(&io, GifWriteBytes, &err));
  if (!gif)
    GifFailed(err);
  ColorMapObject *map = GifMakeMapObject(1 << indexed.Bits, indexed.Colors);
  if (!map)
    throw ERasterError("Out of memory");
  EGifSetGifVersion(gif.get(), indexed.Transparent >= 0);
  int rc = EGifPutScreenDesc(gif.get(), w, h, indexed.Bits, 0, map);
  GifFreeMapObject(map);
  if (rc == GIF_ERROR)
    GifFailed(gif->Error);
  if (indexed.Transparent >= 0) {
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, indexed.Transparent};
    GifByteType ext[4];
    EGifGCBToExtension(&gcb, ext);
    if (EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_ERROR)
      GifFailed(gif->Error);
  }
  if (EGifPutImageDesc(gif.get(), 0, 0, w, h, false, nullptr) == GIF_ERROR)
    GifFailed(gif->Error);
  for (int32_t y = 0; y < h; ++y)
    if (EGifPutLine(gif.get(), indexed.Indexes.data() + static_cast<size_t>(y) * w, w) == GIF_ERROR)
      GifFailed(gif->Error);
  GifFileType *raw = gif.release();
  if (EGifCloseFile(raw, &err) == GIF_ERROR)
    GifFailed(err);
  return out;
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

  TGifControl control;
  switch (NextImage(gif.get(), control)) {
  case TGifNext::gnError:
    GifFailed(gif->Error);
  case TGifNext::gnEnd:
    throw ERasterError("GIF file holds no picture");
  case TGifNext::gnImage:
    break;
  }

  const GifImageDesc &first = gif->Image;
  int64_t w = gif->SWidth, h = gif->SHeight;
  // A screen of no size is taken from the first image.
  if (w <= 0 || h <= 0) {
    w = int64_t(first.Left) + first.Width;
    h = int64_t(first.Top) + first.Height;
  }
  CheckRasterSize(w, h);
  if (first.Width <= 0 || first.Height <= 0)
    throw ERasterError("GIF file holds no picture");

  bitmap.SetSize(static_cast<int32_t>(w), static_cast<int32_t>(h));
  bitmap.FillAll(0);
  std::vector<TColor32> saved;
  if (control.Disposal == DISPOSE_PREVIOUS)
    saved = SaveRect(bitmap, ClipImage(first, bitmap));
  if (!DrawImage(gif.get(), control.Transparent, bitmap))
    GifFailed(gif->Error);
  const bool done = ComposeFirstFrame(gif.get(), control, std::move(saved), bitmap);
  bitmap.Changed();
  if (!done)
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
  bool anyClear = false;
  TGifIndexed indexed = Quantise(bitmap, AlphaThreshold, anyClear);
  if (anyClear)
    MarkTransparent(indexed, bitmap, AlphaThreshold, TransparentColor);
  const std::string out = EncodeGif(indexed, w, h);
  stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
  FByteCount = static_cast<int64_t>(out.size());
}
