#include "cli/CliRun.h"
#include "persist/fsImageFormats.h"
#include "raster/fsGR32.h"
#include "support/InstalledFace.h"
#include "support/TempDir.h"
#include "text/fsFreeType.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using testsupport::HaveFace;

TEST(CliFonts, ListsInstalledFamiliesOnePerLine) {
  if (!HaveFace("DejaVu Sans"))
    GTEST_SKIP() << "DejaVu Sans is not installed (fonts-dejavu-core)";
  auto r = Cli({"fonts"});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Out.find("\nDejaVu Sans\n"), std::string::npos) << r.Out;
  EXPECT_EQ(Cli({"fonts", "extra"}).Code, 2);
}

// Bounds of the dark pixels of a picture.
struct TInk {
  int Left = 1 << 30, Right = -1, Count = 0;
};
TInk DarkInk(const TBitmap32 &bmp) {
  TInk ink;
  for (int y = 0; y < bmp.Height(); ++y)
    for (int x = 0; x < bmp.Width(); ++x)
      if ((bmp.GetPixel(x, y) & 0xFF) < 128) {
        ink.Left = std::min(ink.Left, x);
        ink.Right = std::max(ink.Right, x);
        ++ink.Count;
      }
  return ink;
}

TEST(CliText, DrawsALineIntoAPng) {
  if (!HaveFace("DejaVu Sans") || !HaveFace("Liberation Sans"))
    GTEST_SKIP() << "DejaVu Sans or Liberation Sans is not installed";
  testsupport::TempDir dir;
  struct Case {
    std::vector<std::string> Options;
    const char *Face;
  } cases[] = {
      {{"--font", "DejaVu Sans", "--size", "30"}, "(DejaVu Sans)"},
      {{"--font", "DejaVu Sans", "--size", "30", "--bold"}, "(DejaVu Sans)"},
      {{"--size", "24", "--italic", "--font", "Arial"}, "(Liberation Sans)"},
  };
  int regularWidth = 0;
  for (const auto &c : cases) {
    std::vector<std::string> args = {"text", "Tally & key"};
    args.insert(args.end(), c.Options.begin(), c.Options.end());
    const std::string out = (dir / "line.png").string();
    args.insert(args.end(), {"-o", out});
    auto r = Cli(args);
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_NE(r.Out.find(c.Face), std::string::npos) << r.Out;

    TBitmap32 bmp;
    TFileStream file(out, fmOpenRead);
    LoadBitmapFromStream(file, ".png", bmp);
    EXPECT_NE(r.Out.find(std::to_string(bmp.Width()) + "x" + std::to_string(bmp.Height())),
              std::string::npos);
    TInk ink = DarkInk(bmp);
    EXPECT_GT(ink.Count, 100);
    EXPECT_GE(ink.Left, 3);
    EXPECT_LE(ink.Left, 6);
    EXPECT_GE(ink.Right, bmp.Width() - 7);
    EXPECT_LE(ink.Right, bmp.Width() - 4);
    if (c.Options.size() == 4) {
      regularWidth = bmp.Width();
    } else if (c.Options.back() == "--bold") {
      EXPECT_GT(bmp.Width(), regularWidth) << "bold is wider";
    }
  }
}

TEST(CliText, BadArgumentsAreUsageErrorsOrFailures) {
  testsupport::TempDir dir;
  const std::string out = (dir / "x.png").string();
  struct Case {
    std::vector<std::string> Args;
    int Code;
    const char *Message;
  } cases[] = {
      {{"text"}, 2, "usage"},
      {{"text", "A", "--font", "DejaVu Sans", "--size", "20"}, 2, "usage"},
      {{"text", "A", "--font", "DejaVu Sans", "-o", out}, 2, "usage"},
      {{"text", "A", "B", "--font", "F", "--size", "20", "-o", out}, 2, "usage"},
      {{"text", "A", "--font", "F", "--size", "20", "--wide", "-o", out}, 2, "usage"},
      {{"text", "A", "--font", "F", "--size", "20", "-o"}, 2, "usage"},
      {{"text", "A", "--font", "F", "--size", "twenty", "-o", out},
       1,
       "'twenty' is not a valid integer value"},
      {{"text", "A", "--font", "F", "--size", "0", "-o", out},
       1,
       "Text size must be between 1 and 1000 pixels"},
      {{"text", "A", "--font", "F", "--size", "5000", "-o", out},
       1,
       "Text size must be between 1 and 1000 pixels"},
  };
  for (const auto &c : cases) {
    auto r = Cli(c.Args);
    EXPECT_EQ(r.Code, c.Code) << c.Args.size() << " " << r.Err;
    EXPECT_NE(r.Err.find(c.Message), std::string::npos) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

} // namespace
