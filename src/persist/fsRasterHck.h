#pragma once

#include "raster/fsGR32.h"
#include "base/fsStream.h"

#include <cstdint>
#include <string_view>

// HCK, the engine's own picture file: a 24-byte header and planes of alpha,
// red, green, blue and grey, normally packed with the block codec
// (persist/fsBlockCodec.h). Failures raise ERasterError
// (persist/fsRasterError.h).

constexpr int HckHeaderSize = 24;
constexpr uint8_t HckCompressionNone = 0;
constexpr uint8_t HckCompressionBlock = 1;

// Pictures of more pixels are refused ("Picture too large"): a few hundred
// bytes of block code can claim gigabytes of planes.
constexpr int64_t HckMaxPixels = int64_t(1) << 27;

struct THckHeader {
  char Signature[4] = {'H', 'C', 'K', '\0'};
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t PageCount = 1;
  uint8_t AlphaBits = 8;
  uint8_t RedBits = 8;
  uint8_t GreenBits = 8;
  uint8_t BlueBits = 8;
  uint8_t GreyBits = 0;
  uint8_t Compression = HckCompressionBlock;

  // width x height x ((sum of the bit counts + 7) div 8).
  int64_t PlaneByteSize() const;
};

// True when the stream, from its position, starts with an HCK header: 24
// bytes whose first four read "HCK" up to the first NUL. The position is
// restored.
bool HckCanLoad(TStream &s);

// Reads the first page of the picture at the stream's position into bmp.
void LoadHckFromStream(TStream &s, TBitmap32 &bmp);
// Reads page pageIndex ("Requested non-existing page" beyond the last one);
// header, when given, receives the file's header.
void LoadHckFromStream(TStream &s, TBitmap32 &bmp, int32_t pageIndex, THckHeader *header);

// Writes bmp as one page of 8-bit alpha, red, green and blue planes packed
// with the block codec.
void SaveHckToStream(const TBitmap32 &bmp, TStream &s);

// Places raw plane bytes, laid out as the header says, into bmp (resized to
// the header's size). "Unsupported bitdepth" for bit counts the format does
// not know, "Image file is corrupted" when the planes do not fit the bytes.
void HckPlanesToBitmap(std::string_view planes, const THckHeader &header, TBitmap32 &bmp);
