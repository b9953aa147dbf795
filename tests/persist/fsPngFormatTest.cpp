#include "persist/fsPngFormat.h"
#include "raster/fsGR32.h"

#include "fsImageTestUtil.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <png.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// libpng's own reading through its simplified API, as the reference: BGRA,
// 16-bit files without colour information taken as sRGB like 8-bit ones.
bool ReferenceRead(const std::string &bytes, std::vector<uint32_t> &pixels, int &w, int &h) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()))
    return false;
  image.format = PNG_FORMAT_BGRA;
  image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
  w = int(image.width);
  h = int(image.height);
  pixels.assign(size_t(w) * size_t(h), 0);
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  return true;
}

std::vector<fs::path> PngFiles() {
  std::vector<fs::path> out;
  const fs::path root = testsupport::TestDataDir() / "pngsuite";
  for (const char *sub : {"png/pngsuite", "png", "image"}) {
    std::error_code ec;
    for (const auto &e : fs::directory_iterator(root / sub, ec))
      if (e.path().extension() == ".png")
        out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

} // namespace

TEST(PngRead, EveryTestPictureMatchesLibpngsOwnReading) {
  const auto files = PngFiles();
  if (files.empty())
    GTEST_SKIP() << "PNG test pictures not downloaded (scripts/testdata.d/pngsuite.sh)";
  for (const auto &file : files) {
    const std::string name = file.filename().string();
    if (name.rfind("invalid-", 0) == 0)
      continue;
    const std::string bytes = testsupport::ReadFileBytes(file);
    std::vector<uint32_t> ref;
    int w = 0, h = 0;
    const bool refOk = ReferenceRead(bytes, ref, w, h);
    TReadOnlyMemoryStream s(bytes);
    TBitmap32 bmp;
    TfsPngFormat png;
    if (!refOk) {
      // What libpng cannot read (a truncated file) must fail here as well.
      EXPECT_THROW(png.LoadFromStream(s, bmp, 0, {}), ERasterError) << name;
      continue;
    }
    ASSERT_NO_THROW(png.LoadFromStream(s, bmp, 0, {})) << name;
    ASSERT_EQ(bmp.Width(), w) << name;
    ASSERT_EQ(bmp.Height(), h) << name;
    size_t bad = 0, first = 0;
    for (size_t i = 0; i < ref.size(); ++i)
      if (bmp.Bits()[i] != ref[i] && bad++ == 0)
        first = i;
    EXPECT_EQ(bad, 0u) << name << ": first at " << first << " got " << std::hex << bmp.Bits()[first]
                       << " want " << ref[first];
  }
}

TEST(PngRead, CorruptFilesGiveAnError) {
  const fs::path dir = testsupport::TestDataDir() / "pngsuite" / "png";
  if (!fs::exists(dir / "invalid-crc32.png"))
    GTEST_SKIP() << "PNG test pictures not downloaded (scripts/testdata.d/pngsuite.sh)";
  for (const char *name : {"invalid-crc32.png", "invalid-noend.png", "invalid-trunc.png",
                           "invalid-zlib.png", "invalid-palette.png"}) {
    TMemoryStream s;
    s.LoadFromFile(dir / name);
    TBitmap32 bmp;
    TfsPngFormat png;
    EXPECT_THROW(png.LoadFromStream(s, bmp, 0, {}), ERasterError) << name;
  }
}

TEST(PngRead, DamagedHeadersGiveAnError) {
  TBitmap32 src;
  imagetest::MakePattern(src, 4, 4, true);
  TMemoryStream good;
  TfsPngFormat().SaveToStream(good, src);
  struct Case {
    const char *name;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"signature only", good.Bytes().substr(0, 8)},
      {"no signature", "GIF89a" + good.Bytes().substr(6)},
      {"cut in the pixels", good.Bytes().substr(0, good.Bytes().size() - 20)},
      // Width 0x7FFFFFFF in IHDR (its CRC no longer fits either).
      {"huge width",
       good.Bytes().substr(0, 16) + std::string("\x7F\xFF\xFF\xFF", 4) + good.Bytes().substr(20)},
  };
  for (const auto &c : cases) {
    TReadOnlyMemoryStream s(c.bytes);
    TBitmap32 bmp;
    TfsPngFormat png;
    EXPECT_THROW(png.LoadFromStream(s, bmp, 0, {}), ERasterError) << c.name;
  }
}

namespace {

uint32_t Crc32(const std::string &bytes) {
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : bytes) {
    c ^= b;
    for (int k = 0; k < 8; ++k)
      c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

// The file's own picture with IHDR claiming another size (CRC fixed).
std::string WithSize(const std::string &png, uint32_t w, uint32_t h) {
  std::string out = png;
  for (int i = 0; i < 4; ++i) {
    out[16 + size_t(i)] = static_cast<char>(w >> (24 - 8 * i));
    out[20 + size_t(i)] = static_cast<char>(h >> (24 - 8 * i));
  }
  const uint32_t crc = Crc32(out.substr(12, 17)); // type and data of IHDR
  for (int i = 0; i < 4; ++i)
    out[29 + size_t(i)] = static_cast<char>(crc >> (24 - 8 * i));
  return out;
}

} // namespace

// Deflate gives at most 1032 bytes per byte: a header whose pixels could
// not come out of the bytes left fails before the picture is allocated.
TEST(PngRead, SizeMustFitTheCompressedData) {
  TBitmap32 flat;
  flat.SetSize(1024, 1024);
  flat.FillAll(0xFF336699);
  TMemoryStream flatPng;
  TfsPngFormat().SaveToStream(flatPng, flat);
  TBitmap32 src;
  imagetest::MakePattern(src, 4, 4, true);
  TMemoryStream small;
  TfsPngFormat().SaveToStream(small, src);
  struct Case {
    const char *name;
    std::string bytes;
    int32_t width; // 0: "Read Error"
  } cases[] = {
      {"flat picture", flatPng.Bytes(), 1024},
      {"same size", WithSize(small.Bytes(), 4, 4), 4},
      {"16000 x 16000 of a few bytes", WithSize(small.Bytes(), 16000, 16000), 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    TReadOnlyMemoryStream s(c.bytes);
    TBitmap32 bmp;
    TfsPngFormat png;
    if (c.width > 0) {
      png.LoadFromStream(s, bmp, 0, {});
      EXPECT_EQ(bmp.Width(), c.width);
    } else {
      try {
        png.LoadFromStream(s, bmp, 0, {});
        ADD_FAILURE() << "no error";
      } catch (const ERasterError &e) {
        EXPECT_STREQ(e.what(), "Read Error");
      }
      EXPECT_EQ(bmp.Width(), 0) << "allocated before the check";
    }
  }
}

TEST(PngWrite, RoundTripKeepsEveryPixelAndAlpha) {
  TBitmap32 src, back;
  imagetest::MakePattern(src, 13, 9, true);
  TMemoryStream s;
  TfsPngFormat().SaveToStream(s, src);
  const std::string &bytes = s.Bytes();
  ASSERT_GT(bytes.size(), 26u);
  EXPECT_EQ(bytes[24], 8); // bit depth
  EXPECT_EQ(bytes[25], 6); // RGBA
  std::vector<uint32_t> ref;
  int w = 0, h = 0;
  ASSERT_TRUE(ReferenceRead(bytes, ref, w, h));
  EXPECT_EQ(std::vector<uint32_t>(src.Bits(), src.Bits() + src.PixelCount()), ref);
  s.SetPosition(0);
  TfsPngFormat().LoadFromStream(s, back, 0, {});
  EXPECT_EQ(imagetest::FirstDifference(back, src), "");
  TBitmap32 blank;
  TMemoryStream out;
  EXPECT_THROW(TfsPngFormat().SaveToStream(out, blank), ERasterError);
}
