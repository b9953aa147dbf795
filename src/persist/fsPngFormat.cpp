#include "persist/fsPngFormat.h"

#include "raster/fsGR32.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

// libpng reports errors through a callback that must not return; it leaves
// by png_longjmp into small functions without C++ objects to unwind.

namespace {

struct TPngIo {
  const uint8_t *Data = nullptr;
  size_t Size = 0;
  size_t Pos = 0;
  std::string *Out = nullptr;
  char Message[256] = "PNG error";
};

extern "C" void PngOnError(png_structp png, png_const_charp msg) {
  auto *io = static_cast<TPngIo *>(png_get_error_ptr(png));
  std::snprintf(io->Message, sizeof io->Message, "%s", msg ? msg : "PNG error");
  png_longjmp(png, 1);
}

extern "C" void PngOnWarning(png_structp, png_const_charp) {}

extern "C" void PngRead(png_structp png, png_bytep out, size_t len) {
  auto *io = static_cast<TPngIo *>(png_get_io_ptr(png));
  if (len > io->Size - io->Pos)
    png_error(png, "Read Error");
  std::memcpy(out, io->Data + io->Pos, len);
  io->Pos += len;
}

extern "C" void PngWrite(png_structp png, png_bytep data, size_t len) {
  auto *io = static_cast<TPngIo *>(png_get_io_ptr(png));
  io->Out->append(reinterpret_cast<const char *>(data), len);
}

extern "C" void PngFlush(png_structp) {}

struct TPngReader {
  TPngIo Io;
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  int ColorType = 0; // as in the file, before the transformations
  ~TPngReader() {
    if (Png)
      png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr);
  }
};

// Deflate gives at most 1032 bytes for each byte it reads.
constexpr uint64_t MaxInflateRatio = 1032;

// Header and the transformations that give 8-bit BGRA rows.
bool ReadHeader(TPngReader &r, png_uint_32 &width, png_uint_32 &height) {
  if (setjmp(png_jmpbuf(r.Png)))
    return false;
  png_set_read_fn(r.Png, &r.Io, PngRead);
  png_set_user_limits(r.Png, 1000000, 1000000);
  png_read_info(r.Png, r.Info);
  width = png_get_image_width(r.Png, r.Info);
  height = png_get_image_height(r.Png, r.Info);
  const int depth = png_get_bit_depth(r.Png, r.Info);
  r.ColorType = png_get_color_type(r.Png, r.Info);
  // The pixels' bits alone (filter bytes left out) must be able to come out
  // of the bytes left, which hold the compressed rows; otherwise the reading
  // would run out of data after the picture had been allocated.
  const uint64_t pixelBytes =
      (uint64_t(width) * height * uint64_t(depth) * png_get_channels(r.Png, r.Info) + 7) / 8;
  if (pixelBytes / MaxInflateRatio > r.Io.Size - r.Io.Pos)
    png_error(r.Png, "Read Error");
  png_set_expand(r.Png);
  if (depth == 16)
    png_set_scale_16(r.Png);
  png_set_gray_to_rgb(r.Png);
  png_set_bgr(r.Png);
  png_set_filler(r.Png, 0xFF, PNG_FILLER_AFTER);
  png_set_alpha_mode(r.Png, PNG_ALPHA_PNG, PNG_DEFAULT_sRGB);
  png_set_interlace_handling(r.Png);
  png_read_update_info(r.Png, r.Info);
  if (png_get_rowbytes(r.Png, r.Info) != size_t(width) * 4)
    png_error(r.Png, "Unsupported PNG layout");
  return true;
}

bool ReadRows(TPngReader &r, png_bytepp rows) {
  if (setjmp(png_jmpbuf(r.Png)))
    return false;
  png_read_image(r.Png, rows);
  png_read_end(r.Png, nullptr);
  return true;
}

// libpng lets pixels that point past the palette through; a second pass
// over the plain indexes finds them. Such a file is
// damaged and refused like any other.
bool PaletteIndexesValid(TPngReader &r, png_bytep row) {
  if (setjmp(png_jmpbuf(r.Png)))
    return false;
  png_set_read_fn(r.Png, &r.Io, PngRead);
  png_read_info(r.Png, r.Info);
  png_set_packing(r.Png); // one index per byte
  const int passes = png_set_interlace_handling(r.Png);
  png_read_update_info(r.Png, r.Info);
  const png_uint_32 w = png_get_image_width(r.Png, r.Info);
  const png_uint_32 h = png_get_image_height(r.Png, r.Info);
  png_colorp palette = nullptr;
  int count = 0;
  png_get_PLTE(r.Png, r.Info, &palette, &count);
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < h; ++y) {
      png_read_row(r.Png, row, nullptr);
      for (png_uint_32 x = 0; x < w; ++x)
        if (row[x] >= count)
          png_error(r.Png, "Invalid palette index");
    }
  return true;
}

struct TPngWriter {
  TPngIo Io;
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  ~TPngWriter() {
    if (Png)
      png_destroy_write_struct(&Png, Info ? &Info : nullptr);
  }
};

bool WritePng(TPngWriter &w, png_uint_32 width, png_uint_32 height, png_bytepp rows) {
  if (setjmp(png_jmpbuf(w.Png)))
    return false;
  png_set_write_fn(w.Png, &w.Io, PngWrite, PngFlush);
  png_set_compression_level(w.Png, 9);
  png_set_IHDR(w.Png, w.Info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(w.Png, w.Info);
  png_set_bgr(w.Png);
  png_write_image(w.Png, rows);
  png_write_end(w.Png, nullptr);
  return true;
}

} // namespace

void TfsPngFormat::LoadFromStream(TStream &stream, TBitmap32 &bitmap, int page, TfsMaxSize) {
  CheckSinglePage(page);
  const int64_t before = stream.Position();
  const std::string data = stream.ReadRemaining();

  TPngReader r;
  r.Io.Data = reinterpret_cast<const uint8_t *>(data.data());
  r.Io.Size = data.size();
  r.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r.Io, PngOnError, PngOnWarning);
  if (!r.Png || !(r.Info = png_create_info_struct(r.Png)))
    throw ERasterError("Out of memory");
  png_uint_32 w = 0, h = 0;
  if (!ReadHeader(r, w, h))
    throw ERasterError(r.Io.Message);
  CheckRasterSize(w, h);
  bitmap.SetSize(static_cast<int32_t>(w), static_cast<int32_t>(h));
  std::vector<png_bytep> rows(h);
  for (png_uint_32 y = 0; y < h; ++y)
    rows[y] = reinterpret_cast<png_bytep>(bitmap.ScanLine(static_cast<int32_t>(y)));
  if (!ReadRows(r, rows.data()))
    throw ERasterError(r.Io.Message);
  if (r.ColorType == PNG_COLOR_TYPE_PALETTE) {
    TPngReader check;
    check.Io.Data = r.Io.Data;
    check.Io.Size = r.Io.Size;
    check.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &check.Io, PngOnError, PngOnWarning);
    if (!check.Png || !(check.Info = png_create_info_struct(check.Png)))
      throw ERasterError("Out of memory");
    std::vector<png_byte> row(size_t(w) + 8);
    if (!PaletteIndexesValid(check, row.data()))
      throw ERasterError(check.Io.Message);
  }
  bitmap.Changed();

  FWidth = static_cast<int32_t>(w);
  FHeight = static_cast<int32_t>(h);
  stream.SetPosition(before + static_cast<int64_t>(r.Io.Pos));
  FByteCount = static_cast<int64_t>(r.Io.Pos);
}

void TfsPngFormat::SaveToStream(TStream &stream, const TBitmap32 &bitmap) {
  if (bitmap.IsBlank())
    throw ERasterError("Cannot save an empty picture as PNG");
  std::string out;
  TPngWriter w;
  w.Io.Out = &out;
  w.Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w.Io, PngOnError, PngOnWarning);
  if (!w.Png || !(w.Info = png_create_info_struct(w.Png)))
    throw ERasterError("Out of memory");
  std::vector<png_bytep> rows(static_cast<size_t>(bitmap.Height()));
  for (int32_t y = 0; y < bitmap.Height(); ++y)
    rows[static_cast<size_t>(y)] =
        reinterpret_cast<png_bytep>(const_cast<TColor32 *>(bitmap.ScanLine(y)));
  if (!WritePng(w, static_cast<png_uint_32>(bitmap.Width()),
                static_cast<png_uint_32>(bitmap.Height()), rows.data()))
    throw ERasterError(w.Io.Message);
  stream.WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
  FByteCount = static_cast<int64_t>(out.size());
}
