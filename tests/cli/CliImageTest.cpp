#include "cli/CliRun.h"
#include "persist/fsImageFormats.h"
#include "raster/fsGR32.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace {

void Pattern(TBitmap32 &bmp, int32_t w, int32_t h) {
  bmp.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      bmp.SetPixel(x, y, Color32(x * 3, y * 5, 90, x < w / 2 ? 255 : 100));
}

void Load(const std::filesystem::path &file, TBitmap32 &bmp) {
  TfsImageFiler filer;
  filer.SetFileName(file.string());
  filer.MaxWidth = filer.MaxHeight = 0;
  filer.LoadBitmap(&bmp);
}

size_t FileCount(const std::filesystem::path &dir) {
  size_t n = 0;
  for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(dir))
    ++n;
  return n;
}

} // namespace

TEST(CliImage, ConvertsBetweenEveryFormat) {
  testsupport::TempDir dir;
  TBitmap32 src;
  Pattern(src, 40, 30);
  SaveBitmapToFile((dir / "src.png").string(), src);
  const char *outs[] = {"a.bmp", "a.jpg", "a.hck", "a.gif", "a.png", "a.dib", "a.jpeg"};
  const char *magic[] = {"BM", "\xFF\xD8", "HCK", "GIF8", "\x89PNG", "BM", "\xFF\xD8"};
  for (size_t i = 0; i < std::size(outs); ++i) {
    auto r = Cli({"image", "convert", (dir / "src.png").string(), (dir / outs[i]).string()});
    ASSERT_EQ(r.Code, 0) << outs[i] << r.Err;
    EXPECT_NE(r.Out.find("40x30"), std::string::npos) << r.Out;
    EXPECT_EQ(testsupport::ReadFileBytes(dir / outs[i]).rfind(magic[i], 0), 0u) << outs[i];
    // And back again to PNG, by content where the name says nothing.
    std::filesystem::copy_file(dir / outs[i], dir / "noext",
                               std::filesystem::copy_options::overwrite_existing);
    std::string from = std::string(outs[i]).find("hck") != std::string::npos ||
                               std::string(outs[i]).find("bmp") != std::string::npos
                           ? (dir / "noext").string()
                           : (dir / outs[i]).string();
    r = Cli({"image", "convert", from, (dir / "back.png").string()});
    ASSERT_EQ(r.Code, 0) << outs[i] << r.Err;
    TBitmap32 back;
    Load(dir / "back.png", back);
    EXPECT_EQ(back.Width(), 40) << outs[i];
  }
  // Lossless ones keep every pixel, alpha included.
  for (const char *name : {"a.bmp", "a.hck", "a.png"}) {
    TBitmap32 back;
    Load(dir / name, back);
    ASSERT_EQ(back.PixelCount(), src.PixelCount());
    EXPECT_TRUE(std::equal(back.Bits(), back.Bits() + back.PixelCount(), src.Bits())) << name;
  }
}

TEST(CliImage, MaxReducesJpegByTheDecoder) {
  testsupport::TempDir dir;
  TBitmap32 src;
  Pattern(src, 64, 48);
  SaveBitmapToFile((dir / "big.jpg").string(), src);
  auto r = Cli({"image", "convert", (dir / "big.jpg").string(), (dir / "small.png").string(),
                "--max", "16", "12"});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Out.find("16x12"), std::string::npos) << r.Out;
}

TEST(CliImage, FailuresLeaveTheOutputAsItWas) {
  testsupport::TempDir dir;
  TBitmap32 src;
  Pattern(src, 8, 8);
  SaveBitmapToFile((dir / "in.bmp").string(), src);
  testsupport::WriteFileBytes(dir / "broken.png", "\x89PNG\r\n\x1a\n and nothing more");
  testsupport::WriteFileBytes(dir / "out.png", "precious");
  struct Case {
    std::string in, out, message;
  } cases[] = {
      {"in.bmp", "out.tif", "Cannot save format \".tif\""},
      {"broken.png", "out.png", "tallisyn-cli: "},
      {"missing.bmp", "out.png", "Cannot open file"},
  };
  for (const auto &c : cases) {
    auto r = Cli({"image", "convert", (dir / c.in).string(), (dir / c.out).string()});
    EXPECT_EQ(r.Code, 1) << c.in;
    EXPECT_NE(r.Err.find(c.message), std::string::npos) << r.Err;
    EXPECT_EQ(testsupport::ReadFileBytes(dir / "out.png"), "precious");
  }
  EXPECT_EQ(FileCount(dir.path()), 3u);
}

TEST(CliImage, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"image"},
      {"image", "convert", "a.png"},
      {"image", "resize", "a.png", "b.png"},
      {"image", "convert", "a.png", "b.png", "--max", "10"},
      {"image", "convert", "a.png", "b.png", "--max", "0", "10"},
      {"image", "convert", "a.png", "b.png", "--size", "10", "10"},
      {"image", "convert", "a.png", "b.png", "--max", "x", "10"},
  };
  for (const auto &args : cases) {
    auto r = Cli(args);
    EXPECT_EQ(r.Code, 2) << args.size();
    EXPECT_NE(r.Err.find("image convert"), std::string::npos);
  }
}
