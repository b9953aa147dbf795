// 8-bit maps and their conversions to and from bitmaps.

#include "raster/fsGR32_ByteMaps.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const TColor32 Sample[] = {0x80402010, 0xFFFFFFFF, 0x00000000, 0x7F0A1B2C};

struct SampleBitmap : TBitmap32 {
  SampleBitmap() {
    Resize(2, 2);
    std::copy(std::begin(Sample), std::end(Sample), Bits());
  }
};

TEST(ByteMap, FromBitmapByKind) {
  struct Case {
    TConversionKind kind;
    std::vector<uint8_t> expected;
  } cases[] = {
      {ckRed, {0x40, 0xFF, 0, 0x0A}},
      {ckGreen, {0x20, 0xFF, 0, 0x1B}},
      {ckBlue, {0x10, 0xFF, 0, 0x2C}},
      {ckAlpha, {0x80, 0xFF, 0, 0x7F}},
      {ckAverage, {(0x40 + 0x20 + 0x10) / 3, 0xFF, 0, (0x0A + 0x1B + 0x2C) / 3}},
      {ckWeighted,
       {static_cast<uint8_t>(Luma(Sample[0])), 0xFF, 0, static_cast<uint8_t>(Luma(Sample[3]))}},
  };
  const SampleBitmap bmp;
  for (const Case &c : cases) {
    TByteMap m;
    m.ByteMapFromBitmap(bmp, c.kind);
    EXPECT_EQ(m.Width(), 2);
    EXPECT_EQ(m.Height(), 2);
    EXPECT_EQ(m.Bytes(), c.expected) << int(c.kind);
  }
  TByteMap m;
  m.Assign(bmp);
  EXPECT_EQ(m.Value(0, 0), Luma(Sample[0])) << "assigning a bitmap takes the luma";
  EXPECT_EQ(m.Value(1, 1), Luma(Sample[3]));
}

TEST(ByteMap, ToBitmapWritesOneChannelOrGrey) {
  TByteMap m;
  m.Resize(2, 2);
  m.SetValue(0, 0, 0x11);
  m.SetValue(1, 0, 0x22);
  m.SetValue(0, 1, 0x33);
  m.SetValue(1, 1, 0x44);
  struct Case {
    TConversionKind kind;
    TColor32 first, last;
  } cases[] = {
      {ckRed, 0x80112010, 0x7F441B2C},     {ckGreen, 0x80401110, 0x7F0A442C},
      {ckBlue, 0x80402011, 0x7F0A1B44},    {ckAlpha, 0x11402010, 0x440A1B2C},
      {ckAverage, 0xFF111111, 0xFF444444}, {ckWeighted, 0xFF111111, 0xFF444444},
  };
  for (const Case &c : cases) {
    SampleBitmap bmp;
    m.ByteMapToBitmap(bmp, c.kind);
    EXPECT_EQ(bmp.GetPixel(0, 0), c.first) << int(c.kind);
    EXPECT_EQ(bmp.GetPixel(1, 1), c.last) << int(c.kind);
  }
  // A different size: the bitmap is resized (and so cleared) first.
  TBitmap32 b;
  b.Resize(5, 5);
  b.FillAll(0xFFFFFFFF);
  int resizes = 0, changes = 0;
  b.OnResize = [&](TCustomMap &) { ++resizes; };
  b.OnChange = [&](TThreadPersistent &) { ++changes; };
  m.ByteMapToBitmap(b, ckRed);
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.GetPixel(1, 0), 0x00220000u);
  EXPECT_EQ(resizes, 1);
  EXPECT_EQ(changes, 1) << "one notification after the bracket";
  m.AssignTo(b);
  EXPECT_EQ(b.GetPixel(0, 1), 0xFF333333u);
}

TEST(ByteMap, ResizeClearAndAssign) {
  TByteMap m;
  m.Resize(-3, 4);
  EXPECT_TRUE(m.IsBlank());
  EXPECT_EQ(m.Height(), 4);
  m.Clear(9); // nothing on a blank map
  m.Resize(3, 2);
  EXPECT_EQ(m.Bytes(), std::vector<uint8_t>(6, 0));
  m.Clear(7);
  EXPECT_EQ(m.Bytes(), std::vector<uint8_t>(6, 7));
  m.SetValue(2, 1, 1);
  TByteMap copy;
  copy.Assign(m);
  EXPECT_EQ(copy.Width(), 3);
  EXPECT_EQ(copy.Bytes(), m.Bytes());
  EXPECT_EQ(copy.ScanLine(1)[2], 1);
  EXPECT_THROW(m.Resize(INT32_MAX, INT32_MAX), EfsError);
  EXPECT_TRUE(m.IsBlank());
}

} // namespace
