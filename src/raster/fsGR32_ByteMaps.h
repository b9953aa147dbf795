#pragma once

#include "raster/fsGR32.h"

#include <cstdint>

// 8-bit maps: masks and single channels taken out of a bitmap.

enum TConversionKind : uint8_t {
  ckRed = 0,
  ckGreen = 1,
  ckBlue = 2,
  ckAlpha = 3,
  ckAverage = 4,  // (R + G + B) div 3
  ckWeighted = 5, // Luma
};

class TByteMap : public TCustomMap {
public:
  TByteMap() = default;

  // Width x Height bytes, row-major, no padding; empty on a blank map.
  uint8_t *Bits() { return FBytes.data(); }
  const uint8_t *Bits() const { return FBytes.data(); }
  uint8_t *ScanLine(int32_t Y) { return FBytes.data() + static_cast<size_t>(Y) * FWidth; }
  const uint8_t *ScanLine(int32_t Y) const {
    return FBytes.data() + static_cast<size_t>(Y) * FWidth;
  }
  // No checks on coordinates.
  uint8_t Value(int32_t X, int32_t Y) const { return ScanLine(Y)[X]; }
  void SetValue(int32_t X, int32_t Y, uint8_t v) { ScanLine(Y)[X] = v; }
  const TArrayOfByte &Bytes() const { return FBytes; }

  // Every byte := v, then Changed.
  void Clear(uint8_t v = 0);

  void Assign(const TByteMap &Source);
  // From a bitmap: its luma (ckWeighted).
  void Assign(const TBitmap32 &Source);
  // Into a bitmap as opaque grey (ckAverage).
  void AssignTo(TBitmap32 &Dst) const;

  // Resizes to the bitmap and takes the byte of the given kind per pixel.
  void ByteMapFromBitmap(const TBitmap32 &Source, TConversionKind Kind);
  // Resizes the bitmap; kinds Red..Alpha write that channel only, the others
  // write GreyColor(value, 255).
  void ByteMapToBitmap(TBitmap32 &Dst, TConversionKind Kind) const;

protected:
  void ChangeSize(int32_t &Width, int32_t &Height, int32_t NewWidth, int32_t NewHeight) override;

private:
  TArrayOfByte FBytes;
};
