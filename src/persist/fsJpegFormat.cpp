#include "persist/fsJpegFormat.h"

#include "raster/fsGR32.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

// libjpeg reports fatal errors through a callback that must not return. We
// leave it by longjmp back into small functions that hold no C++ objects
// with destructors, then raise the message as an exception from there.

namespace {

struct TJpegError {
  jpeg_error_mgr Mgr;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

extern "C" void JpegErrorExit(j_common_ptr cinfo) {
  auto *err = reinterpret_cast<TJpegError *>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->Message);
  std::longjmp(err->Jump, 1);
}

// Warnings (a truncated file, extra bytes) are not failures: the decoder
// fills in what is missing, as every viewer shows such files.
extern "C" void JpegSilentMessage(j_common_ptr, int) {}
extern "C" void JpegSilentOutput(j_common_ptr) {}

void InitError(TJpegError &err) {
  jpeg_std_error(&err.Mgr);
  err.Mgr.error_exit = JpegErrorExit;
  err.Mgr.emit_message = JpegSilentMessage;
  err.Mgr.output_message = JpegSilentOutput;
  err.Message[0] = '\0';
}

struct TDecoder {
  jpeg_decompress_struct Info;
  TJpegError Err;
  bool Created = false;
  ~TDecoder() {
    if (Created)
      jpeg_destroy_decompress(&Info);
  }
};

// Phase one: header, reduction and output size. False on a libjpeg error.
bool StartDecode(TDecoder &d, const unsigned char *data, unsigned long size, long memLimit) {
  InitError(d.Err);
  if (setjmp(d.Err.Jump))
    return false;
  d.Info.err = &d.Err.Mgr;
  jpeg_create_decompress(&d.Info);
  d.Created = true;
  d.Info.mem->max_memory_to_use = memLimit;
  jpeg_mem_src(&d.Info, data, size);
  jpeg_read_header(&d.Info, TRUE);
  return true;
}

// Huffman codes take at least one bit, and every 8x8 block of a component
// has a DC code of its own, so the component with the fewest blocks cannot
// have more of them than the file has bits. A file cut short still shows
// what it holds, but a header cannot claim a picture its bytes could never
// describe. Arithmetic coding packs blank blocks far tighter; the pixel
// limit alone bounds those.
bool BlocksFitTheData(const jpeg_decompress_struct &info, size_t bytes) {
  if (info.arith_code || info.num_components <= 0)
    return true;
  uint64_t fewest = UINT64_MAX;
  for (int c = 0; c < info.num_components; ++c)
    fewest = std::min<uint64_t>(fewest, uint64_t(info.comp_info[c].width_in_blocks) *
                                            info.comp_info[c].height_in_blocks);
  return fewest / 8 <= bytes;
}

bool SetOutput(TDecoder &d, int divisor) {
  if (setjmp(d.Err.Jump))
    return false;
  d.Info.scale_num = 1;
  d.Info.scale_denom = static_cast<unsigned>(divisor);
  d.Info.dct_method = JDCT_ISLOW;
  d.Info.do_fancy_upsampling = TRUE;
  d.Info.do_block_smoothing = TRUE;
  if (d.Info.jpeg_color_space == JCS_CMYK || d.Info.jpeg_color_space == JCS_YCCK)
    d.Info.out_color_space = JCS_CMYK;
  else
    d.Info.out_color_space = JCS_EXT_BGRA;
  jpeg_calc_output_dimensions(&d.Info);
  return true;
}

// Phase two: the rows, straight into the bitmap's rows (CMYK through a
// side row of the same size).
bool DecodeRows(TDecoder &d, TColor32 *bits, int32_t width) {
  if (setjmp(d.Err.Jump))
    return false;
  jpeg_start_decompress(&d.Info);
  const bool cmyk = d.Info.out_color_space == JCS_CMYK;
  while (d.Info.output_scanline < d.Info.output_height) {
    TColor32 *row = bits + static_cast<ptrdiff_t>(d.Info.output_scanline) * width;
    JSAMPROW rows[1] = {reinterpret_cast<JSAMPROW>(row)};
    jpeg_read_scanlines(&d.Info, rows, 1);
    if (cmyk) {
      // Adobe writes CMYK inverted; each channel is the ink's complement.
      auto *p = reinterpret_cast<const uint8_t *>(row);
      for (int32_t x = 0; x < width; ++x, p += 4) {
        uint32_t c = p[0], m = p[1], y = p[2], k = p[3];
        uint32_t r = (c * k + 127) / 255, g = (m * k + 127) / 255, b = (y * k + 127) / 255;
        row[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
      }
    }
  }
  jpeg_finish_decompress(&d.Info);
  return true;
}

struct TEncoder {
  jpeg_compress_struct Info;
  TJpegError Err;
  bool Created = false;
  unsigned char *Out = nullptr;
  unsigned long OutSize = 0;
  ~TEncoder() {
    if (Created)
      jpeg_destroy_compress(&Info);
    std::free(Out);
  }
};

bool Encode(TEncoder &e, const TColor32 *bits, int32_t width, int32_t height, int quality) {
  InitError(e.Err);
  if (setjmp(e.Err.Jump))
    return false;
  e.Info.err = &e.Err.Mgr;
  jpeg_create_compress(&e.Info);
  e.Created = true;
  jpeg_mem_dest(&e.Info, &e.Out, &e.OutSize);
  e.Info.image_width = static_cast<JDIMENSION>(width);
  e.Info.image_height = static_cast<JDIMENSION>(height);
  e.Info.input_components = 4;
  e.Info.in_color_space = JCS_EXT_BGRX; // the alpha byte is skipped
  jpeg_set_defaults(&e.Info);
  jpeg_set_quality(&e.Info, quality, TRUE);
  jpeg_start_compress(&e.Info, TRUE);
  while (e.Info.next_scanline < e.Info.image_height) {
    const TColor32 *row = bits + static_cast<ptrdiff_t>(e.Info.next_scanline) * width;
    JSAMPROW rows[1] = {reinterpret_cast<JSAMPROW>(const_cast<TColor32 *>(row))};
    jpeg_write_scanlines(&e.Info, rows, 1);
  }
  jpeg_finish_compress(&e.Info);
  return true;
}

} // namespace

int JpegScaleDivisor(int64_t width, int64_t height, TfsMaxSize maxSize) {
  if (maxSize.Width <= 0 || maxSize.Height <= 0)
    return 1;
  int d = 1;
  while (width >= int64_t(maxSize.Width) * d * 2 && height >= int64_t(maxSize.Height) * d * 2 &&
         d < 5)
    d *= 2;
  return d;
}

void TfsJpgFormat::LoadFromStream(TStream &stream, TBitmap32 &bitmap, int page,
                                  TfsMaxSize maxSize) {
  CheckSinglePage(page);
  const int64_t before = stream.Position();
  const std::string data = stream.ReadRemaining();
  if (data.empty())
    throw ERasterError("Empty input file");
  // Coefficient buffers of progressive files grow with the picture: keep
  // them within what the pixel limit allows.
  const long memLimit =
      static_cast<long>(std::max<int64_t>(int64_t(64) << 20, RasterPixelLimit() * 8));

  TDecoder d;
  const auto *bytes = reinterpret_cast<const unsigned char *>(data.data());
  if (!StartDecode(d, bytes, static_cast<unsigned long>(data.size()), memLimit))
    throw ERasterError(d.Err.Message);
  if (!BlocksFitTheData(d.Info, data.size()))
    throw ERasterError("Premature end of JPEG file");
  const int divisor = JpegScaleDivisor(d.Info.image_width, d.Info.image_height, maxSize);
  if (!SetOutput(d, divisor))
    throw ERasterError(d.Err.Message);
  const int64_t w = d.Info.output_width, h = d.Info.output_height;
  CheckRasterSize(w, h);
  bitmap.SetSize(static_cast<int32_t>(w), static_cast<int32_t>(h));
  if (!DecodeRows(d, bitmap.Bits(), bitmap.Width()))
    throw ERasterError(d.Err.Message);
  bitmap.Changed();

  FWidth = static_cast<int32_t>(w);
  FHeight = static_cast<int32_t>(h);
  // The stream stays just behind the picture.
  const int64_t used = static_cast<int64_t>(data.size()) - d.Info.src->bytes_in_buffer;
  stream.SetPosition(before + used);
  FByteCount = used;
}

void TfsJpgFormat::SaveToStream(TStream &stream, const TBitmap32 &bitmap) {
  if (bitmap.IsBlank())
    throw ERasterError("Cannot save an empty picture as JPEG");
  TEncoder e;
  if (!Encode(e, bitmap.Bits(), bitmap.Width(), bitmap.Height(), Quality))
    throw ERasterError(e.Err.Message);
  stream.WriteBuffer(e.Out, static_cast<int64_t>(e.OutSize));
  FByteCount = static_cast<int64_t>(e.OutSize);
}
