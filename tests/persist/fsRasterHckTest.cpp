#include "persist/fsRasterHck.h"

#include "persist/fsBlockCodec.h"
#include "persist/fsRasterError.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Le32(int32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i)
    s[i] = static_cast<char>(static_cast<uint32_t>(v) >> (8 * i));
  return s;
}

std::string Bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v)
    s.push_back(static_cast<char>(b));
  return s;
}

struct Bits {
  int Alpha = 8, Red = 8, Green = 8, Blue = 8, Grey = 0;
};

std::string Header(int32_t w, int32_t h, Bits bits = {}, int compression = 1, int32_t pages = 1) {
  return "HCK" + std::string(1, '\0') + Le32(w) + Le32(h) + Le32(pages) +
         Bytes({bits.Alpha, bits.Red, bits.Green, bits.Blue, bits.Grey, compression, 0, 0});
}

// Page data of the block codec: U, K, the block.
std::string Packed(const std::string &planes) {
  std::string block = BlockCompress(planes);
  return Le32(static_cast<int32_t>(planes.size())) + Le32(static_cast<int32_t>(block.size())) +
         block;
}

std::vector<TColor32> Pixels(const TBitmap32 &bmp) {
  if (bmp.IsBlank())
    return {};
  return std::vector<TColor32>(bmp.Bits(), bmp.Bits() + bmp.PixelCount());
}

std::vector<TColor32> Load(const std::string &file, int32_t page = 0, TBitmap32 *out = nullptr) {
  TReadOnlyMemoryStream s(file);
  TBitmap32 local;
  TBitmap32 &bmp = out ? *out : local;
  LoadHckFromStream(s, bmp, page, nullptr);
  return Pixels(bmp);
}

std::string Save(const TBitmap32 &bmp) {
  TMemoryStream s;
  SaveHckToStream(bmp, s);
  return s.Bytes();
}

void Fill(TBitmap32 &bmp, int w, int h, const std::function<TColor32(int, int)> &f) {
  bmp.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      bmp.SetPixel(x, y, f(x, y));
}

// ---- Files the engine writes ----

TEST(HckSave, EmptyPictureIsTheHeaderAlone) {
  TBitmap32 empty;
  EXPECT_EQ(Save(empty), Header(0, 0));
  EXPECT_EQ(Save(empty).size(), 24u);

  // Reading it replaces whatever the target held.
  TBitmap32 target;
  Fill(target, 3, 2, [](int, int) { return 0xFF00FF00u; });
  EXPECT_TRUE(Load(Header(0, 0), 0, &target).empty());
  EXPECT_TRUE(target.IsBlank());
}

TEST(HckSave, OneWhitePixel) {
  TBitmap32 bmp;
  bmp.SetSize(1, 1);
  bmp.SetPixel(0, 0, 0xFFFFFFFF);
  const std::string file = Save(bmp);

  // Planes FF FF FF FF, delta FF 00 00 00. Its frequency block: N = 4, bit
  // stream at 36, nibble stream at 35, T = 19, table 00 FF 02..13, classes
  // 01 00, an empty nibble byte and a bit byte holding the 0 of FF's rank 1.
  // Run length then gives these groups:
  std::string runs = Bytes({0x01, 0x04, 0xFF, 0x00, 0x02, 0x00, 0x24, 0xFF, 0x00, 0x02, 0x00, 0x23,
                            0xFF, 0x00, 0x17, 0x00, 0x13, 0x00, 0xFF});
  for (int v = 2; v <= 0x13; ++v)
    runs.push_back(static_cast<char>(v));
  runs += Bytes({0x01, 0xFE, 0x00});
  const std::string block = FreqEncode(runs);

  EXPECT_EQ(file, Header(1, 1) + Le32(4) + Le32(static_cast<int32_t>(block.size())) + block);
  EXPECT_EQ(Load(file), std::vector<TColor32>{0xFFFFFFFF});
}

TEST(HckSave, PlanesInOrderAlphaRedGreenBlue) {
  TBitmap32 bmp;
  Fill(bmp, 2, 1, [](int x, int) { return x == 0 ? 0x11223344u : 0x55667788u; });
  std::string file = Save(bmp);
  ASSERT_GT(file.size(), 32u);
  EXPECT_EQ(file.substr(0, 24), Header(2, 1));
  EXPECT_EQ(file.substr(24, 4), Le32(8));
  const int32_t k = static_cast<int32_t>(file.size()) - 32;
  EXPECT_EQ(file.substr(28, 4), Le32(k));
  EXPECT_EQ(BlockDecompress(file.substr(32), 8),
            Bytes({0x11, 0x55, 0x22, 0x66, 0x33, 0x77, 0x44, 0x88}));
}

// ---- Round trips ----

struct Picture {
  const char *name;
  int w, h;
  std::function<TColor32(int, int)> f;
};

void PrintTo(const Picture &p, std::ostream *os) {
  *os << p.name;
}

class HckRoundTrip : public ::testing::TestWithParam<Picture> {};

TEST_P(HckRoundTrip, ReadsBackEveryPixel) {
  const Picture &p = GetParam();
  TBitmap32 bmp;
  Fill(bmp, p.w, p.h, p.f);
  const std::string file = Save(bmp);

  TReadOnlyMemoryStream s(file);
  TBitmap32 back;
  THckHeader header;
  LoadHckFromStream(s, back, 0, &header);
  EXPECT_EQ(back.Width(), p.w);
  EXPECT_EQ(back.Height(), p.h);
  EXPECT_EQ(Pixels(back), Pixels(bmp));
  // The reader stops at the end of the page.
  EXPECT_EQ(s.Position(), static_cast<int64_t>(file.size()));
  EXPECT_EQ(header.Width, p.w);
  EXPECT_EQ(header.Compression, HckCompressionBlock);
}

TColor32 Noise(int x, int y) {
  uint32_t v = static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u;
  v ^= v >> 13;
  v *= 0x5bd1e995u;
  return v ^ (v >> 15);
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, HckRoundTrip,
    ::testing::Values(
        Picture{"Flat", 64, 48, [](int, int) { return 0xFF3366CCu; }},
        Picture{"Noise", 37, 23, Noise},
        Picture{"Gradient", 256, 40,
                [](int x, int y) {
                  return 0xFF000000u | static_cast<TColor32>(x) << 16 |
                         static_cast<TColor32>(y * 6) << 8 | static_cast<TColor32>(255 - x);
                }},
        // Transparent pixels keep their colour bits.
        Picture{"Transparent", 30, 30,
                [](int x, int y) {
                  return ((x + y) % 3 == 0 ? 0u : 0x80000000u) | (Noise(x, y) & 0xFFFFFF);
                }},
        Picture{"OneRow", 1000, 1, [](int x, int) { return static_cast<TColor32>(x * 77777); }},
        Picture{"OneColumn", 1, 999, [](int, int y) { return 0xFF000000u | (y / 10); }},
        Picture{"Edges", 90, 70,
                [](int x, int y) {
                  TColor32 base = (x / 15 + y / 10) % 2 ? 0xFFF0E0D0u : 0xFF102030u;
                  return base ^ (Noise(x, y) & 0x030303);
                }}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- Other plane layouts ----

TEST(HckLoad, PlaneLayouts) {
  struct Case {
    const char *name;
    int w, h;
    Bits bits;
    std::string planes; // before padding to the stored size
    std::vector<TColor32> pixels;
  } cases[] = {
      {"NoAlphaPlaneIsOpaque",
       2,
       1,
       {0, 8, 8, 8, 0},
       Bytes({1, 2, 3, 4, 5, 6}),
       {0xFF010305, 0xFF020406}},
      {"OneBitAlphaMostSignificantFirst",
       3,
       3,
       {1, 8, 8, 8, 0},
       Bytes({0xA5, 0x80}) + std::string(9, 'r') + std::string(9, 'g') + std::string(9, 'b'),
       {0xFF726762, 0x00726762, 0xFF726762, 0x00726762, 0x00726762, 0xFF726762, 0x00726762,
        0xFF726762, 0xFF726762}},
      {"GreyEightBits", 2, 1, {0, 0, 0, 0, 8}, Bytes({0x10, 0xEE}), {0xFF101010, 0xFFEEEEEE}},
      {"GreyOneBit",
       2,
       2,
       {0, 0, 0, 0, 1},
       Bytes({0x60}),
       {0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000}},
      {"AlphaAndGrey",
       2,
       1,
       {8, 0, 0, 0, 8},
       Bytes({0x00, 0x80, 0x44, 0x99}),
       {0x00444444, 0x80999999}},
      {"AlphaOnlyClearsColour",
       2,
       1,
       {8, 0, 0, 0, 0},
       Bytes({0x7F, 0xFF}),
       {0x7F000000, 0xFF000000}},
      {"GreyOverColour", 1, 1, {8, 8, 8, 8, 8}, Bytes({0xFF, 1, 2, 3, 0x55}), {0xFF555555}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const int sum = c.bits.Alpha + c.bits.Red + c.bits.Green + c.bits.Blue + c.bits.Grey;
    std::string planes = c.planes;
    planes.resize(static_cast<size_t>(c.w * c.h * ((sum + 7) / 8)), '\0');
    EXPECT_EQ(Load(Header(c.w, c.h, c.bits, 0) + planes), c.pixels) << "raw";
    EXPECT_EQ(Load(Header(c.w, c.h, c.bits, 1) + Packed(planes)), c.pixels) << "packed";
  }
}

TEST(HckLoad, PagesAreSkippedByTheirLengths) {
  auto page = [](TColor32 c) {
    std::string planes = Bytes({static_cast<int>(c >> 24), static_cast<int>(c >> 16 & 255),
                                static_cast<int>(c >> 8 & 255), static_cast<int>(c & 255)});
    return Packed(planes);
  };
  const std::string p0 = page(0xFF102030), p1 = page(0x80405060), p2 = page(0x01020304);
  const std::string file = Header(1, 1, {}, 1, 3) + Le32(static_cast<int32_t>(p0.size())) + p0 +
                           Le32(static_cast<int32_t>(p1.size())) + p1 +
                           Le32(static_cast<int32_t>(p2.size())) + p2;
  EXPECT_EQ(Load(file, 0), std::vector<TColor32>{0xFF102030});
  EXPECT_EQ(Load(file, 1), std::vector<TColor32>{0x80405060});
  EXPECT_EQ(Load(file, 2), std::vector<TColor32>{0x01020304});
  EXPECT_THROW(Load(file, 3), ERasterError);
  // A page length that runs past the end.
  std::string cut = Header(1, 1, {}, 1, 3) + Le32(1000) + p0;
  try {
    Load(cut, 1);
    ADD_FAILURE() << "no error";
  } catch (const ERasterError &e) {
    EXPECT_STREQ(e.what(), "Image file is corrupted");
  }
}

// ---- Damaged files ----

TEST(HckLoad, Errors) {
  const std::string good = [] {
    TBitmap32 bmp;
    Fill(bmp, 9, 7, Noise);
    return Save(bmp);
  }();
  auto patched = [&](size_t at, const std::string &bytes) {
    std::string s = good;
    s.replace(at, bytes.size(), bytes);
    return s;
  };
  const std::string rgbPlanes = std::string(4 * 9 * 7, 'x');
  struct Case {
    const char *name;
    std::string file;
    int32_t page;
    const char *message;
  } cases[] = {
      {"Empty", "", 0, "Image file is corrupted"},
      {"ShortHeader", good.substr(0, 23), 0, "Image file is corrupted"},
      {"OtherSignature", patched(0, "HCKX"), 0, "Image file is corrupted"},
      {"LowerCaseSignature", patched(0, "hck"), 0, "Image file is corrupted"},
      {"NegativeWidth", patched(4, Le32(-9)), 0, "Image file is corrupted"},
      {"NegativeHeight", patched(8, Le32(-1)), 0, "Image file is corrupted"},
      {"SecondPageOfOne", good, 1, "Requested non-existing page"},
      {"NegativePage", good, -1, "Requested non-existing page"},
      {"FourBitAlpha", patched(16, Bytes({4})), 0, "Unsupported bitdepth"},
      {"FourBitAlphaRaw", Header(9, 7, {4, 8, 8, 8, 0}, 0) + rgbPlanes, 0, "Unsupported bitdepth"},
      {"OneBitRedRaw", Header(9, 7, {8, 1, 8, 8, 0}, 0) + rgbPlanes, 0, "Unsupported bitdepth"},
      {"TwoBitGreyRaw", Header(9, 7, {8, 8, 8, 8, 2}, 0) + rgbPlanes + std::string(63, 'x'), 0,
       "Unsupported bitdepth"},
      {"UnknownCompression", patched(21, Bytes({2})), 0, "No suitable codec found"},
      {"WrongUncompressedSize", patched(24, Le32(4 * 63 + 1)), 0, "Image file is corrupted"},
      {"NoSizes", good.substr(0, 26), 0, "Unable to decompress"},
      {"CompressedSizePastEnd", patched(28, Le32(1 << 30)), 0, "Unable to decompress"},
      {"NegativeCompressedSize", patched(28, Le32(-5)), 0, "Unable to decompress"},
      {"CutBlock", good.substr(0, good.size() - 3), 0, "Unable to decompress"},
      {"DamagedBlock", patched(32, Le32(0x7FFFFFFF)), 0, "Unable to decompress"},
      {"RawPlanesCut", Header(9, 7, {}, 0) + rgbPlanes.substr(1), 0, "Image file is corrupted"},
      // Two 1-bit planes of one pixel need two bytes, the stored size is one.
      {"OneBitPlanesOutgrowStoredSize", Header(1, 1, {1, 0, 0, 0, 1}, 0) + Bytes({0x80}), 0,
       "Image file is corrupted"},
      {"HugePicture", Header(100000, 100000, {}, 0), 0,
       "Picture too large (100000 x 100000 pixels)"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    try {
      Load(c.file, c.page);
      ADD_FAILURE() << "no error";
    } catch (const ERasterError &e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(HckLoad, EmptyPicturesNeedNoPlanes) {
  // Nothing is read after the header of a picture without pixels (whatever
  // the bit counts say) or without plane bits; the target is emptied.
  struct Case {
    const char *name;
    std::string file;
    int w, h;
  } cases[] = {
      {"ZeroWidth", Header(0, 5), 0, 5},
      {"ZeroHeightOddBits", Header(7, 0, {3, 3, 3, 3, 3}, 9), 7, 0},
      {"NoPlaneBits", Header(3000, 2000, {0, 0, 0, 0, 0}, 0), 0, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    TBitmap32 bmp;
    Fill(bmp, 2, 2, [](int, int) { return 0xFFFFFFFFu; });
    EXPECT_TRUE(Load(c.file, 0, &bmp).empty());
    EXPECT_TRUE(bmp.IsBlank());
    EXPECT_EQ(bmp.Width(), c.w);
    EXPECT_EQ(bmp.Height(), c.h);
  }
}

TEST(HckCanLoad, LooksAtTheSignatureAndRestoresThePosition) {
  struct Case {
    const char *name;
    std::string bytes;
    bool accepted;
  } cases[] = {
      {"Header", Header(1, 1), true},
      {"NoNul", "HCKX" + Header(1, 1).substr(4), false},
      {"Bitmap", "BM" + std::string(40, '\0'), false},
      {"ShorterThanHeader", Header(1, 1).substr(0, 23), false},
      {"Empty", "", false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::string data = "pre" + c.bytes;
    TReadOnlyMemoryStream s(data);
    s.SetPosition(3);
    EXPECT_EQ(HckCanLoad(s), c.accepted);
    EXPECT_EQ(s.Position(), 3);
  }
}

} // namespace
