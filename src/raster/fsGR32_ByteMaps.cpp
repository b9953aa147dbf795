#include "raster/fsGR32_ByteMaps.h"

#include <algorithm>
#include <new>

void TByteMap::ChangeSize(int32_t &Width, int32_t &Height, int32_t NewWidth, int32_t NewHeight) {
  TArrayOfByte().swap(FBytes);
  Width = 0;
  Height = 0;
  if (NewWidth > 0 && NewHeight > 0) {
    const int64_t count = static_cast<int64_t>(NewWidth) * NewHeight;
    if (count > MaxBitmap32Pixels)
      throw EfsError("Can't allocate the byte map");
    try {
      FBytes.assign(static_cast<size_t>(count), 0);
    } catch (const std::bad_alloc &) {
      throw EfsError("Can't allocate the byte map");
    }
  }
  Width = NewWidth;
  Height = NewHeight;
}

void TByteMap::Clear(uint8_t v) {
  if (IsBlank())
    return;
  std::fill(FBytes.begin(), FBytes.end(), v);
  Changed();
}

void TByteMap::Assign(const TByteMap &Source) {
  if (&Source == this)
    return;
  TUpdateScope scope(*this, true);
  Resize(Source.Width(), Source.Height());
  FBytes = Source.FBytes;
}

void TByteMap::Assign(const TBitmap32 &Source) {
  ByteMapFromBitmap(Source, ckWeighted);
}

void TByteMap::AssignTo(TBitmap32 &Dst) const {
  ByteMapToBitmap(Dst, ckAverage);
}

void TByteMap::ByteMapFromBitmap(const TBitmap32 &Source, TConversionKind Kind) {
  TUpdateScope scope(*this, true);
  Resize(Source.Width(), Source.Height());
  if (IsBlank() || Source.IsBlank())
    return;
  const TColor32 *p = Source.Bits();
  uint8_t *b = FBytes.data();
  const size_t n = FBytes.size();
  switch (Kind) {
  case ckRed:
  case ckGreen:
  case ckBlue:
  case ckAlpha: {
    const int shift = Kind == ckRed ? 16 : Kind == ckGreen ? 8 : Kind == ckBlue ? 0 : 24;
    for (size_t i = 0; i < n; ++i)
      b[i] = static_cast<uint8_t>(p[i] >> shift);
    break;
  }
  case ckAverage:
    for (size_t i = 0; i < n; ++i)
      b[i] = static_cast<uint8_t>(
          (RedComponent(p[i]) + GreenComponent(p[i]) + BlueComponent(p[i])) / 3);
    break;
  case ckWeighted:
  default:
    for (size_t i = 0; i < n; ++i)
      b[i] = static_cast<uint8_t>(Luma(p[i]));
    break;
  }
}

void TByteMap::ByteMapToBitmap(TBitmap32 &Dst, TConversionKind Kind) const {
  TUpdateScope scope(Dst, true);
  Dst.Resize(FWidth, FHeight);
  if (IsBlank() || Dst.IsBlank())
    return;
  TColor32 *p = Dst.Bits();
  const uint8_t *b = FBytes.data();
  const size_t n = FBytes.size();
  if (Kind <= ckAlpha) {
    const int shift = Kind == ckRed ? 16 : Kind == ckGreen ? 8 : Kind == ckBlue ? 0 : 24;
    const TColor32 keep = ~(TColor32(255) << shift);
    for (size_t i = 0; i < n; ++i)
      p[i] = (p[i] & keep) | (static_cast<TColor32>(b[i]) << shift);
  } else {
    for (size_t i = 0; i < n; ++i)
      p[i] = GreyColor(b[i], 255);
  }
}
