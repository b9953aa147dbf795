#include "persist/fsGifFormat.h"
#include "raster/fsGR32.h"

#include "fsImageTestUtil.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <gif_lib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Save(const TBitmap32 &bmp) {
  TMemoryStream s;
  TfsGifFormat().SaveToStream(s, bmp);
  return s.Bytes();
}

void Load(const std::string &bytes, TBitmap32 &bmp) {
  TReadOnlyMemoryStream s(bytes);
  TfsGifFormat().LoadFromStream(s, bmp, 0, {});
}

// A hand-made GIF: 4x2 screen, 2-colour global palette (red, blue), one
// 2x2 frame at (1, 0) whose index 1 is transparent.
std::string SmallGif(bool interlaced, bool transparent) {
  std::string g = "GIF89a";
  g += std::string("\x04\x00\x02\x00\x80\x00\x00", 7); // screen, global map of 2
  g += std::string("\xFF\x00\x00\x00\x00\xFF", 6);     // red, blue
  if (transparent)
    g += std::string("\x21\xF9\x04\x01\x00\x00\x01\x00", 8);
  g += std::string("\x2C\x01\x00\x00\x00\x02\x00\x02\x00", 9);
  g += char(interlaced ? 0x40 : 0x00);
  // LZW, code size 2: clear, 0, 1, 1, 0, end (pixels 0 1 / 1 0).
  g += std::string("\x02\x03\x44\x02\x05\x00", 6);
  g += ';';
  return g;
}

extern "C" int AppendBytes(GifFileType *gif, const GifByteType *buf, int len) {
  static_cast<std::string *>(gif->UserData)
      ->append(reinterpret_cast<const char *>(buf), size_t(len));
  return len;
}

// An interlaced 2 x 10 picture whose row y has palette index y, its rows
// stored in the interlaced order.
std::string InterlacedGif() {
  std::string out;
  int err = 0;
  GifFileType *gif = EGifOpen(&out, AppendBytes, &err);
  GifColorType colors[16];
  for (int i = 0; i < 16; ++i)
    colors[i] = GifColorType{uint8_t(i * 16), uint8_t(255 - i * 16), uint8_t(i)};
  ColorMapObject *map = GifMakeMapObject(16, colors);
  EGifPutScreenDesc(gif, 2, 10, 4, 0, map);
  GifFreeMapObject(map);
  EGifPutImageDesc(gif, 0, 0, 2, 10, true, nullptr);
  static const int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass)
    for (int y = kStart[pass]; y < 10; y += kStep[pass]) {
      GifPixelType line[2] = {GifPixelType(y), GifPixelType(y)};
      EGifPutLine(gif, line, 2);
    }
  EGifCloseFile(gif, &err);
  return out;
}

constexpr TColor32 R = 0xFFFF0000, G = 0xFF00FF00, B = 0xFF0000FF, W = 0xFFFFFFFF, Y = 0xFFFFFF00,
                   C = 0xFF00FFFF, M = 0xFFFF00FF, K = 0xFF000000, O = 0;

// One image of a test GIF: its rectangle, palette indexes row by row (one
// index fills the whole rectangle), an optional local palette and an
// optional graphic control block.
struct TTestImage {
  int Left, Top, Width, Height;
  std::vector<GifPixelType> Pixels;
  std::vector<TColor32> Palette = {}; // empty: the global one
  int Disposal = -1;                  // -1: no control block
  int Delay = 0;
  int Transparent = -1;
};

ColorMapObject *MapOf(const std::vector<TColor32> &palette) {
  int size = 2;
  while (size < int(palette.size()))
    size *= 2;
  std::vector<GifColorType> colors(size_t(size), GifColorType{0, 0, 0});
  for (size_t i = 0; i < palette.size(); ++i)
    colors[i] =
        GifColorType{uint8_t(palette[i] >> 16), uint8_t(palette[i] >> 8), uint8_t(palette[i])};
  return GifMakeMapObject(size, colors.data());
}

// A GIF of the images on a screen of sw x sh, global palette R, G, B, W.
// The screen size is written after the images so that images may lie
// beyond it, which the encoder would refuse.
std::string BuildGif(int sw, int sh, const std::vector<TTestImage> &images) {
  std::string out;
  int err = 0;
  GifFileType *gif = EGifOpen(&out, AppendBytes, &err);
  EXPECT_NE(gif, nullptr);
  EGifSetGifVersion(gif, true);
  ColorMapObject *global = MapOf({R, G, B, W});
  EXPECT_NE(EGifPutScreenDesc(gif, 65535, 65535, 2, 0, global), GIF_ERROR);
  GifFreeMapObject(global);
  for (const TTestImage &im : images) {
    if (im.Disposal >= 0) {
      GraphicsControlBlock gcb{im.Disposal, false, im.Delay, im.Transparent};
      GifByteType ext[4];
      EGifGCBToExtension(&gcb, ext);
      EXPECT_NE(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, ext), GIF_ERROR);
    }
    ColorMapObject *local = im.Palette.empty() ? nullptr : MapOf(im.Palette);
    EXPECT_NE(EGifPutImageDesc(gif, im.Left, im.Top, im.Width, im.Height, false, local), GIF_ERROR);
    GifFreeMapObject(local);
    std::vector<GifPixelType> row(size_t(im.Width));
    for (int y = 0; y < im.Height; ++y) {
      for (int x = 0; x < im.Width; ++x)
        row[size_t(x)] = im.Pixels.size() == 1 ? im.Pixels[0] : im.Pixels[size_t(y * im.Width + x)];
      EXPECT_NE(EGifPutLine(gif, row.data(), im.Width), GIF_ERROR);
    }
  }
  EGifCloseFile(gif, &err);
  out[6] = char(sw);
  out[7] = char(sw >> 8);
  out[8] = char(sh);
  out[9] = char(sh >> 8);
  return out;
}

std::vector<TColor32> PixelsOf(const TBitmap32 &bmp) {
  return std::vector<TColor32>(bmp.Bits(), bmp.Bits() + bmp.PixelCount());
}

} // namespace

TEST(GifTransparentIndex, FirstUnusedElseLeastUsed) {
  struct Case {
    const char *name;
    std::vector<std::pair<int, uint32_t>> counts; // index, count; others 0
    int paletteSize;
    int expected;
  } cases[] = {
      {"nothing used", {}, 256, 0},
      {"first gap", {{0, 5}, {1, 3}, {3, 1}}, 256, 2},
      {"gap only past the used ones", {{0, 1}, {1, 1}}, 4, 2},
      {"all used: least used", {}, 4, -1},
      {"all used: first of equal counts", {}, 4, -2},
  };
  for (auto &c : cases) {
    std::array<uint32_t, 256> counts{};
    if (c.expected == -1) {
      counts = {9, 4, 2, 7};
      c.expected = 2;
    } else if (c.expected == -2) {
      counts = {9, 3, 5, 3};
      c.expected = 1;
    }
    for (auto [i, n] : c.counts)
      counts[size_t(i)] = n;
    EXPECT_EQ(GifTransparentIndex(counts, c.paletteSize), c.expected) << c.name;
  }
  // A full palette of 256 entries, each used, the least at 200.
  std::array<uint32_t, 256> full;
  full.fill(10);
  full[200] = 1;
  full[201] = 1;
  EXPECT_EQ(GifTransparentIndex(full, 256), 200);
}

TEST(GifRead, FirstFrameTransparencyAndInterlace) {
  struct Case {
    bool interlaced, transparent;
    std::vector<TColor32> expected;
  } cases[] = {
      {false, false, {0, R, B, 0, 0, B, R, 0}},
      {true, false, {0, R, B, 0, 0, B, R, 0}}, // two rows: same order either way
      {false, true, {0, R, 0, 0, 0, 0, R, 0}},
  };
  for (const auto &c : cases) {
    TBitmap32 bmp;
    Load(SmallGif(c.interlaced, c.transparent), bmp);
    ASSERT_EQ(bmp.Width(), 4);
    ASSERT_EQ(bmp.Height(), 2);
    EXPECT_EQ(std::vector<TColor32>(bmp.Bits(), bmp.Bits() + 8), c.expected)
        << c.interlaced << c.transparent;
  }
}

TEST(GifRead, FirstFrameComposesTheImagesUpToTheFirstDelay) {
  // Four tiles, each a quarter of a 4 x 4 screen with a palette of its own,
  // a checkerboard of its two colours.
  auto tiles = [](int disposal) {
    const std::vector<GifPixelType> checker = {0, 1, 1, 0};
    return std::vector<TTestImage>{{0, 0, 2, 2, checker, {R, G}, disposal},
                                   {2, 0, 2, 2, checker, {B, W}, disposal},
                                   {0, 2, 2, 2, checker, {Y, C}, disposal},
                                   {2, 2, 2, 2, checker, {M, K}, disposal}};
  };
  const std::vector<TColor32> tiled = {R, G, B, W, G, R, W, B, Y, C, M, K, C, Y, K, M};
  // Global palette: 0 red, 1 green, 2 blue, 3 white.
  struct Case {
    const char *name;
    int width, height;
    std::vector<TTestImage> images;
    std::vector<TColor32> expected; // top row first
  } cases[] = {
      {"four zero-delay tiles", 4, 4, tiles(1), tiled},
      {"four tiles without control blocks", 4, 4, tiles(-1), tiled},
      {"four tiles, each cleared before the next: the last stays",
       4,
       4,
       tiles(2),
       {O, O, O, O, O, O, O, O, O, O, M, K, O, O, K, M}},
      {"the second image carries the delay, the third is not drawn",
       4,
       1,
       {{0, 0, 1, 1, {0}, {}, 1, 0}, {1, 0, 1, 1, {1}, {}, 1, 10}, {2, 0, 1, 1, {2}}},
       {R, G, O, O}},
      {"a delay on the first image keeps it alone",
       4,
       1,
       {{0, 0, 1, 1, {0}, {}, 1, 5}, {1, 0, 1, 1, {1}}},
       {R, O, O, O}},
      {"transparent pixels of a later image leave the earlier ones",
       4,
       1,
       {{0, 0, 4, 1, {0}}, {0, 0, 4, 1, {1, 3, 3, 2}, {}, 1, 0, 3}},
       {G, R, R, B}},
      {"disposal 2 clears the rectangle to transparent",
       4,
       1,
       {{0, 0, 4, 1, {0}, {}, 1}, {1, 0, 2, 1, {1}, {}, 2}, {3, 0, 1, 1, {2}}},
       {R, O, O, B}},
      {"disposal 3 restores what lay under the image",
       4,
       1,
       {{0, 0, 4, 1, {0}, {}, 1}, {0, 0, 2, 1, {1}, {}, 3}, {3, 0, 1, 1, {2}}},
       {R, R, R, B}},
      {"disposal 3 of the first image restores the clear screen",
       4,
       1,
       {{0, 0, 2, 1, {0}, {}, 3}, {2, 0, 1, 1, {1}}},
       {O, O, G, O}},
      {"disposal 0 keeps the image",
       4,
       1,
       {{0, 0, 2, 1, {0}, {}, 0}, {2, 0, 1, 1, {1}}},
       {R, R, G, O}},
      {"the disposal of the last image drawn is not applied",
       4,
       1,
       {{0, 0, 1, 1, {1}, {}, 1}, {0, 0, 4, 1, {0}, {}, 2, 10}, {0, 0, 1, 1, {2}}},
       {R, R, R, R}},
      {"an image reaching past the screen is clipped",
       4,
       1,
       {{0, 0, 4, 1, {0}}, {2, 0, 4, 2, {1, 2, 1, 2, 3, 3, 3, 3}}},
       {R, R, G, B}},
      {"an image wholly outside the screen draws nothing",
       4,
       1,
       {{0, 0, 4, 1, {0}}, {10, 5, 2, 2, {1}}, {4, 0, 3, 1, {1}}, {3, 0, 1, 1, {2}}},
       {R, R, R, B}},
      {"disposal 2 and 3 of clipped images stay on the screen",
       4,
       2,
       {{0, 0, 4, 2, {0}, {}, 1},
        {3, 1, 9, 9, {1}, {}, 2},
        {2, 0, 9, 1, {2}, {}, 3},
        {0, 0, 1, 1, {3}}},
       {W, R, R, R, R, R, R, O}},
  };
  for (const auto &c : cases) {
    TBitmap32 bmp;
    TfsGifFormat gif;
    const std::string bytes = BuildGif(c.width, c.height, c.images);
    const std::string withMore = bytes + "more";
    TReadOnlyMemoryStream s(withMore);
    gif.LoadFromStream(s, bmp, 0, {});
    ASSERT_EQ(bmp.Width(), c.width) << c.name;
    ASSERT_EQ(bmp.Height(), c.height) << c.name;
    EXPECT_EQ(PixelsOf(bmp), c.expected) << c.name;
    // Whatever was drawn, the stream is left just behind the file.
    EXPECT_EQ(s.Position(), int64_t(bytes.size())) << c.name;
  }
}

TEST(GifRead, ComposingStopsAfterSixteenScreensOfPixels) {
  // On a 2 x 1 screen the images after the first may decode 32 pixels in
  // all: sixteen more of 2 x 1 are drawn, the rest is read past.
  std::vector<TTestImage> images(1, TTestImage{0, 0, 2, 1, {0}});
  for (int i = 1; i <= 16; ++i)
    images.push_back({0, 0, 2, 1, {GifPixelType(i == 16 ? 1 : 0)}});
  images.push_back({0, 0, 2, 1, {2}});
  const std::string bytes = BuildGif(2, 1, images);
  const std::string withMore = bytes + "more";
  TReadOnlyMemoryStream s(withMore);
  TBitmap32 bmp;
  TfsGifFormat().LoadFromStream(s, bmp, 0, {});
  EXPECT_EQ(PixelsOf(bmp), (std::vector<TColor32>{G, G}));
  EXPECT_EQ(s.Position(), int64_t(bytes.size()));
}

TEST(GifRead, DamageInALaterImageKeepsWhatWasDrawn) {
  const std::string bytes =
      BuildGif(4, 1, {{0, 0, 4, 1, {0}}, {1, 0, 1, 1, {1}}, {2, 0, 2, 1, {2}}});
  // Cut inside the data of the last image.
  const std::string cut = bytes.substr(0, bytes.size() - 3);
  TBitmap32 bmp;
  Load(cut, bmp);
  ASSERT_EQ(bmp.PixelCount(), 4u);
  EXPECT_EQ(bmp.GetPixel(0, 0), R);
  EXPECT_EQ(bmp.GetPixel(1, 0), G);
}

TEST(GifRead, InterlacedRowsLandInTheirPlaces) {
  TBitmap32 bmp;
  Load(InterlacedGif(), bmp);
  ASSERT_EQ(bmp.Height(), 10);
  for (int32_t y = 0; y < 10; ++y)
    EXPECT_EQ(bmp.GetPixel(1, y), Color32(y * 16, 255 - y * 16, y)) << y;
}

TEST(GifRead, DamagedFilesGiveACleanError) {
  const std::string good = SmallGif(false, true);
  struct Case {
    const char *name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"not a GIF", "PNG..........."},
      {"header only", good.substr(0, 13)},
      {"cut in the frame", good.substr(0, good.size() - 5)},
      {"no frame", good.substr(0, 19) + ";"},
      {"huge screen", "GIF89a" + std::string("\xFF\xFF\xFF\xFF", 4) + good.substr(10)},
  };
  for (const auto &c : cases) {
    TBitmap32 bmp;
    EXPECT_THROW(Load(c.bytes, bmp), ERasterError) << c.name;
  }
}

TEST(GifWrite, FewColoursRoundTripExactly) {
  TBitmap32 src, back;
  src.SetSize(6, 4);
  const TColor32 colors[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 6; ++x)
      src.SetPixel(x, y, colors[(x + y) % 4]);
  Load(Save(src), back);
  EXPECT_EQ(imagetest::FirstDifference(back, src), "");
}

TEST(GifWrite, PixelsBelowTheThresholdBecomeTheTransparentIndex) {
  TBitmap32 src, back;
  src.SetSize(4, 1);
  src.SetPixel(0, 0, 0xFFFF0000);
  src.SetPixel(1, 0, 0x1F00FF00); // alpha 31: transparent
  src.SetPixel(2, 0, 0x200000FF); // alpha 32: stays, made opaque
  src.SetPixel(3, 0, 0x00FFFFFF);
  const std::string bytes = Save(src);
  // A graphic control block marks a transparent index whose colour is black.
  const size_t gce = bytes.find(std::string("\x21\xF9\x04", 3));
  ASSERT_NE(gce, std::string::npos);
  EXPECT_EQ(bytes[gce + 3] & 1, 1);
  const int index = uint8_t(bytes[gce + 6]);
  const int mapBits = (uint8_t(bytes[10]) & 7) + 1;
  ASSERT_LT(index, 1 << mapBits);
  EXPECT_EQ(bytes.substr(13 + 3 * size_t(index), 3), std::string(3, '\0'));
  Load(bytes, back);
  EXPECT_EQ(std::vector<TColor32>(back.Bits(), back.Bits() + 4),
            (std::vector<TColor32>{0xFFFF0000, 0, 0xFF0000FF, 0}));
}

TEST(GifWrite, OpaquePicturesHaveNoTransparentIndex) {
  TBitmap32 src;
  imagetest::MakePattern(src, 8, 8, false);
  EXPECT_EQ(Save(src).find(std::string("\x21\xF9\x04", 3)), std::string::npos);
}

TEST(GifWrite, ManyColoursAreDitheredCloseToTheOriginal) {
  TBitmap32 src, back;
  src.SetSize(64, 64);
  for (int32_t y = 0; y < 64; ++y)
    for (int32_t x = 0; x < 64; ++x)
      src.SetPixel(x, y, Color32(x * 4, y * 4, (x + y) * 2));
  Load(Save(src), back);
  ASSERT_EQ(back.Width(), 64);
  double total = 0;
  for (int32_t i = 0; i < 64 * 64; ++i)
    for (int s = 0; s < 24; s += 8)
      total += std::abs(int((src.Bits()[i] >> s) & 255) - int((back.Bits()[i] >> s) & 255));
  EXPECT_LT(total / (64 * 64 * 3), 6.0);
}

TEST(GifRead, GifwrapPicturesDecodeOrFailCleanly) {
  const fs::path dir = testsupport::TestDataDir() / "gifwrap";
  if (!fs::exists(dir / "singleFrameMonoTrans.gif"))
    GTEST_SKIP() << "gifwrap test pictures not downloaded (scripts/testdata.d/gifwrap.sh)";
  std::vector<fs::path> files;
  for (const auto &e : fs::recursive_directory_iterator(dir))
    if (e.path().extension() == ".gif")
      files.push_back(e.path());
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  for (const auto &f : files) {
    TMemoryStream s;
    s.LoadFromFile(f);
    TBitmap32 bmp;
    try {
      TfsGifFormat gif;
      gif.LoadFromStream(s, bmp, 0, {});
      EXPECT_GT(bmp.Width(), 0) << f.filename();
      EXPECT_EQ(gif.Width(), bmp.Width()) << f.filename();
    } catch (const ERasterError &e) {
      EXPECT_STRNE(e.what(), "") << f.filename();
    }
  }
  // Transparent pixels of a single-frame picture come out clear.
  TMemoryStream s;
  s.LoadFromFile(dir / "singleFrameMonoTrans.gif");
  TBitmap32 bmp;
  TfsGifFormat().LoadFromStream(s, bmp, 0, {});
  const TColor32 *px = bmp.Bits();
  EXPECT_TRUE(std::any_of(px, px + bmp.PixelCount(), [](TColor32 c) { return c == 0; }));
  EXPECT_TRUE(std::any_of(px, px + bmp.PixelCount(), [](TColor32 c) { return c >> 24 == 255; }));
}
