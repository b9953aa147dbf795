// Metafiles that another program wrote (scripts/testdata.d/metafiles.sh):
// each plays without error, puts its ink inside its frame and its header
// bounds, and agrees on where the ink lies with an independent renderer's
// picture of the same file.
#include "engine/fsMetafilePlayer.h"

#include "base/fsStream.h"
#include "persist/fsPngFormat.h"
#include "support/TempDir.h"
#include "text/fsTextLayer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int32_t Width = 256; // the reference pictures' width
constexpr int32_t Margin = 16;
constexpr int32_t Cell = 16;

bool IsInk(TColor32 c) {
  // Over white paper: anything visibly darker or coloured.
  const int32_t a = AlphaComponent(c);
  auto over = [a](int32_t v) { return (v * a + 255 * (255 - a)) / 255; };
  return std::min({over(RedComponent(c)), over(GreenComponent(c)), over(BlueComponent(c))}) < 230;
}

struct TRendering {
  std::unique_ptr<TBitmap32> Bitmap;
  TRect Bounds; // the header bounds in the bitmap's pixels
  TRect Frame;  // the frame (the target rectangle)
};

TRendering Render(const TfsMetafile &mf) {
  const TRect &b = mf.Bounds();
  const double s = double(Width) / std::max(1, b.Right - b.Left);
  const int32_t height = static_cast<int32_t>(std::lrint((b.Bottom - b.Top) * s));
  const double pxX = double(mf.DevicePixels().cx) / mf.DeviceMillimetres().cx / 100;
  const double pxY = double(mf.DevicePixels().cy) / mf.DeviceMillimetres().cy / 100;
  const TRect &f = mf.FrameHiMetric();
  auto x = [&](double v) { return static_cast<int32_t>(std::lrint(Margin + (v - b.Left) * s)); };
  auto y = [&](double v) { return static_cast<int32_t>(std::lrint(Margin + (v - b.Top) * s)); };
  TRendering r;
  r.Bitmap = std::make_unique<TBitmap32>();
  r.Bitmap->SetSize(Width + 2 * Margin, height + 2 * Margin);
  r.Bitmap->FillAll(clWhite32);
  r.Bounds = Rect(Margin, Margin, Margin + Width, Margin + height);
  r.Frame = Rect(x(f.Left * pxX), y(f.Top * pxY), x(f.Right * pxX), y(f.Bottom * pxY));
  TfsMetafilePlayer player(mf, *r.Bitmap, r.Frame, r.Bitmap->BoundsRect());
  player.Play();
  return r;
}

std::vector<fs::path> Files() {
  std::vector<fs::path> files;
  const fs::path dir = testsupport::TestDataDir() / "metafiles" / "emf";
  std::error_code ec;
  for (const auto &e : fs::directory_iterator(dir, ec))
    if (e.path().extension() == ".emf")
      files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

int64_t InkOutside(const TBitmap32 &b, const TRect &r, int32_t slack) {
  int64_t n = 0;
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x)
      if (IsInk(b.GetPixel(x, y)) && (x < r.Left - slack || x >= r.Right + slack ||
                                      y < r.Top - slack || y >= r.Bottom + slack))
        ++n;
  return n;
}

class MetafileRealFiles : public ::testing::Test {
protected:
  void SetUp() override {
    InstallTextLayer();
    FFiles = Files();
    if (FFiles.empty())
      GTEST_SKIP() << "metafiles not downloaded (scripts/testdata.d/metafiles.sh)";
  }
  std::vector<fs::path> FFiles;
};

TEST_F(MetafileRealFiles, EveryFilePlaysItsInkInsideItsFrameAndBounds) {
  for (const fs::path &file : FFiles) {
    SCOPED_TRACE(file.filename().string());
    TfsMetafile mf;
    ASSERT_NO_THROW(mf.LoadFromBytes(testsupport::ReadFileBytes(file)));
    EXPECT_EQ(mf.Kind(), mkEmf);
    EXPECT_FALSE(mf.Truncated());
    EXPECT_GT(mf.PixelWidth(), 0);
    EXPECT_GT(mf.PixelHeight(), 0);
    const TRendering r = Render(mf);
    int64_t ink = 0;
    for (size_t i = 0; i < r.Bitmap->PixelCount(); ++i)
      ink += IsInk(r.Bitmap->Bits()[i]);
    ASSERT_GT(ink, 0);
    // Two pixels of slack for the half pixel of antialiasing and the
    // rounding of the bounds to whole reference pixels.
    EXPECT_EQ(InkOutside(*r.Bitmap, r.Frame, 2), 0);
    EXPECT_LE(InkOutside(*r.Bitmap, r.Bounds, 2), ink / 200);
  }
}

TEST_F(MetafileRealFiles, InkLiesWhereTheReferenceRendererPutsIt) {
  TfsPngFormat png;
  int compared = 0;
  for (const fs::path &file : FFiles) {
    fs::path refFile = file;
    refFile.replace_extension(".png");
    if (!fs::exists(refFile))
      continue;
    SCOPED_TRACE(file.filename().string());
    TfsMetafile mf;
    mf.LoadFromBytes(testsupport::ReadFileBytes(file));
    const TRendering r = Render(mf);
    TBitmap32 ref;
    const std::string refBytes = testsupport::ReadFileBytes(refFile);
    TReadOnlyMemoryStream in(refBytes);
    png.LoadFromStream(in, ref, 0, {});
    ASSERT_EQ(ref.Width(), Width);
    ASSERT_NEAR(ref.Height(), r.Bounds.Height(), 1);
    // Cells of 16 x 16 pixels over the bounds: a cell is inked when a
    // twentieth of it is ink. Line widths, antialiasing and fonts differ
    // between the renderers, so cells are compared, not pixels. Only the
    // reference's cells are held against ours: that renderer leaves out
    // rectangles given right to left and fills hatched areas solid, so
    // ink of ours where it has none is no fault.
    const int32_t cols = (Width + Cell - 1) / Cell;
    // Whole rows of cells only: the two pictures' heights are rounded apart.
    const int32_t rows = std::min(ref.Height(), r.Bounds.Height()) / Cell;
    int theirsInked = 0, bothInked = 0;
    for (int32_t cy = 0; cy < rows; ++cy)
      for (int32_t cx = 0; cx < cols; ++cx) {
        int ours = 0, theirs = 0, pixels = 0;
        for (int32_t y = cy * Cell; y < (cy + 1) * Cell; ++y)
          for (int32_t x = cx * Cell; x < std::min((cx + 1) * Cell, Width); ++x) {
            ++pixels;
            ours += IsInk(r.Bitmap->GetPixel(Margin + x, Margin + y));
            theirs += IsInk(ref.GetPixel(x, y));
          }
        // Ours counts with half the share, for thinner lines than theirs.
        const bool a = ours * 40 >= pixels, b = theirs * 20 >= pixels;
        theirsInked += b;
        bothInked += a && b;
      }
    if (theirsInked == 0)
      continue; // nothing the reference drew to compare with
    EXPECT_GE(double(bothInked) / theirsInked, 0.9)
        << bothInked << " of " << theirsInked << " inked cells of the reference are inked";
    ++compared;
  }
  if (compared == 0)
    GTEST_SKIP() << "no reference pictures (emf2svg and librsvg2-bin not downloadable)";
}

} // namespace
