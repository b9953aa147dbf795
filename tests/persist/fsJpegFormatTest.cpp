#include "persist/fsJpegFormat.h"
#include "raster/fsGR32.h"

#include "fsImageTestUtil.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string Save(const TBitmap32 &bmp) {
  TMemoryStream s;
  TfsJpgFormat().SaveToStream(s, bmp);
  return s.Bytes();
}

void Load(const std::string &bytes, TBitmap32 &bmp, TfsMaxSize max = {}) {
  TReadOnlyMemoryStream s(bytes);
  TfsJpgFormat().LoadFromStream(s, bmp, 0, max);
}

double MeanColorDiff(const TBitmap32 &a, const TBitmap32 &b) {
  double total = 0;
  for (size_t i = 0; i < a.PixelCount(); ++i)
    for (int s = 0; s < 24; s += 8)
      total += std::abs(int((a.Bits()[i] >> s) & 255) - int((b.Bits()[i] >> s) & 255));
  return total / (double(a.PixelCount()) * 3);
}

} // namespace

TEST(JpegScale, DivisorDoublesWhileBothSidesAllowIt) {
  struct Case {
    int64_t w, h;
    TfsMaxSize max;
    int expected;
  } cases[] = {
      {9000, 9000, {4000, 4000}, 2},   // 4500 x 4500
      {9000, 6000, {4000, 4000}, 1},   // the height does not allow it
      {16000, 16000, {4000, 4000}, 4}, // 4000 x 4000
      {7999, 20000, {4000, 4000}, 1},  {8000, 8000, {4000, 4000}, 2},
      {64000, 64000, {4000, 4000}, 8},                        // never beyond an eighth
      {64000, 64000, {1, 1}, 8},       {100, 100, {0, 0}, 1}, // no limit
      {100, 100, {-1, 50}, 1},
  };
  for (const auto &c : cases)
    EXPECT_EQ(JpegScaleDivisor(c.w, c.h, c.max), c.expected) << c.w << "x" << c.h;
}

TEST(JpegRead, DecoderReducesLargePictures) {
  TBitmap32 src;
  imagetest::MakePattern(src, 90, 60, false);
  const std::string jpg = Save(src);
  struct Case {
    TfsMaxSize max;
    int w, h;
  } cases[] = {
      {{4000, 4000}, 90, 60}, {{45, 30}, 45, 30}, {{20, 15}, 23, 15},
      {{10, 5}, 12, 8},       {{45, 31}, 90, 60}, // the height stops the halving
  };
  for (const auto &c : cases) {
    TBitmap32 bmp;
    TfsJpgFormat jpeg;
    TReadOnlyMemoryStream s(jpg);
    jpeg.LoadFromStream(s, bmp, 0, c.max);
    EXPECT_EQ(bmp.Width(), c.w) << c.max.Width << "x" << c.max.Height;
    EXPECT_EQ(bmp.Height(), c.h) << c.max.Width << "x" << c.max.Height;
    EXPECT_EQ(jpeg.Width(), c.w);
  }
}

TEST(JpegWrite, RoundTripIsCloseAndOpaque) {
  TBitmap32 src, back;
  src.SetSize(48, 32);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 48; ++x)
      src.SetPixel(x, y, Color32(x * 5, y * 7, 128, x % 2 ? 0 : 255));
  const std::string jpg = Save(src);
  ASSERT_EQ(jpg.substr(0, 3), "\xFF\xD8\xFF");
  Load(jpg, back);
  ASSERT_EQ(back.Width(), 48);
  ASSERT_EQ(back.Height(), 32);
  EXPECT_LT(MeanColorDiff(src, back), 3.0);
  for (size_t i = 0; i < back.PixelCount(); ++i)
    ASSERT_EQ(back.Bits()[i] >> 24, 255u) << i;
  // Quality 90 keeps more than quality 20 does.
  TfsJpgFormat low;
  low.Quality = 20;
  TMemoryStream lowBytes;
  low.SaveToStream(lowBytes, src);
  EXPECT_LT(lowBytes.Size(), static_cast<int64_t>(jpg.size()));
  TBitmap32 blank;
  EXPECT_THROW(Save(blank), ERasterError);
}

TEST(JpegRead, DamagedDataGiveTheLibrarysMessage) {
  TBitmap32 src;
  imagetest::MakePattern(src, 16, 16, false);
  const std::string good = Save(src);
  struct Case {
    const char *name;
    std::string bytes;
    const char *message;
  } cases[] = {
      {"empty", "", "Empty input file"},
      {"not a JPEG", "GIF89a........", "Not a JPEG file: starts with 0x47 0x49"},
      {"header cut", good.substr(0, 30), nullptr},
  };
  for (const auto &c : cases) {
    TBitmap32 bmp;
    try {
      Load(c.bytes, bmp);
      ADD_FAILURE() << c.name << ": no error";
    } catch (const ERasterError &e) {
      if (c.message)
        EXPECT_STREQ(e.what(), c.message) << c.name;
      else
        EXPECT_STRNE(e.what(), "") << c.name;
    }
  }
  // A file cut in its pixels still gives a picture, as viewers show it.
  TBitmap32 bmp;
  Load(good.substr(0, good.size() - 40), bmp);
  EXPECT_EQ(bmp.Width(), 16);
}

namespace {

// The frame header (SOF0) of a baseline file set to another size.
std::string WithFrameSize(std::string jpg, uint16_t w, uint16_t h) {
  const size_t sof = jpg.find("\xFF\xC0");
  if (sof == std::string::npos || sof + 9 > jpg.size())
    return "";
  jpg[sof + 5] = static_cast<char>(h >> 8);
  jpg[sof + 6] = static_cast<char>(h);
  jpg[sof + 7] = static_cast<char>(w >> 8);
  jpg[sof + 8] = static_cast<char>(w);
  return jpg;
}

} // namespace

// Every block of a component costs a bit at least: a header claiming more
// blocks than the file has bits fails before the picture is allocated,
// while flat pictures, the tightest there are, still load.
TEST(JpegRead, SizeMustFitTheData) {
  TBitmap32 flat;
  flat.SetSize(2048, 2048);
  flat.FillAll(0xFF808080);
  TBitmap32 src;
  imagetest::MakePattern(src, 16, 16, false);
  const std::string small = Save(src);
  struct Case {
    const char *name;
    std::string bytes;
    int32_t width; // 0: refused
  } cases[] = {
      {"flat picture", Save(flat), 2048},
      {"same size", WithFrameSize(small, 16, 16), 16},
      {"4000 x 4000 of a few bytes", WithFrameSize(small, 4000, 4000), 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.bytes.empty());
    TBitmap32 bmp;
    if (c.width > 0) {
      Load(c.bytes, bmp);
      EXPECT_EQ(bmp.Width(), c.width);
    } else {
      try {
        Load(c.bytes, bmp);
        ADD_FAILURE() << "no error";
      } catch (const ERasterError &e) {
        EXPECT_STREQ(e.what(), "Premature end of JPEG file");
      }
      EXPECT_EQ(bmp.Width(), 0) << "allocated before the check";
    }
  }
}

TEST(JpegRead, GoTestPicturesDecodeCloseToTheirPngTwin) {
  const fs::path dir = testsupport::TestDataDir() / "pngsuite" / "image";
  if (!fs::exists(dir / "video-001.jpeg"))
    GTEST_SKIP() << "JPEG test pictures not downloaded (scripts/testdata.d/pngsuite.sh)";
  // The PNG twins, read through the registry; CMYK has a twin of its own.
  auto readPng = [&](const char *name, TBitmap32 &bmp) {
    TMemoryStream s;
    s.LoadFromFile(dir / name);
    LoadBitmapFromStream(s, ".png", bmp);
  };
  TBitmap32 rgbTwin, cmykTwin;
  readPng("video-001.png", rgbTwin);
  readPng("video-001.cmyk.png", cmykTwin);
  for (const auto &e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (e.path().extension() != ".jpeg")
      continue;
    TMemoryStream s;
    s.LoadFromFile(e.path());
    TBitmap32 bmp;
    ASSERT_NO_THROW(TfsJpgFormat().LoadFromStream(s, bmp, 0, {})) << name;
    EXPECT_GT(bmp.Width(), 0) << name;
    if (name.rfind("video-001.", 0) != 0 || name.find("truncated") != std::string::npos)
      continue;
    const TBitmap32 &twin = name.find("cmyk") != std::string::npos ? cmykTwin : rgbTwin;
    ASSERT_EQ(bmp.Width(), twin.Width()) << name;
    ASSERT_EQ(bmp.Height(), twin.Height()) << name;
    EXPECT_LT(MeanColorDiff(bmp, twin), 8.0) << name;
  }
}
