#include "cli/CliRun.h"
#include "engine/fsDocument.h"
#include "persist/fsImageFormats.h"
#include "shapes/fsPolygonShape.h"
#include "shapes/fsStandardShapes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr TColor Fill = 0x2040C0;
constexpr TColor Paper = 0xFFFFFF;

// Two pages: 100 x 50 mm with a rectangle at (10, 10) 30 x 20 mm, and
// 60 x 80 mm with an ellipse filling its top half.
std::string DocumentBytes() {
  RegisterStandardShapes();
  TfsDocument doc;
  doc.CurrentPage()->SetIsDefaultPage(false);
  doc.CurrentPage()->SetBounds(0, 0, 100, 50);
  auto box = std::make_unique<TfsRectangleShape>();
  box->SetBounds(10, 10, 30, 20);
  box->SetFillColor(Fill);
  box->SetUseOutline(false);
  doc.AddShape(std::move(box));
  doc.AddPage();
  doc.SetCurrentPageIndex(1);
  doc.CurrentPage()->SetIsDefaultPage(false);
  doc.CurrentPage()->SetBounds(0, 0, 60, 80);
  auto ellipse = std::make_unique<TfsEllipseShape>();
  ellipse->SetBounds(0, 0, 60, 40);
  ellipse->SetFillColor(Fill);
  doc.AddShape(std::move(ellipse));
  TMemoryStream out;
  doc.SaveToStream(out);
  return out.Bytes();
}

void LoadPng(const std::filesystem::path &file, TBitmap32 &bitmap) {
  TfsImageFiler reader;
  reader.SetFileName(file.string());
  reader.MaxWidth = 0;
  reader.MaxHeight = 0;
  reader.LoadBitmap(&bitmap);
}

int Channel(TColor32 c, int shift) {
  return static_cast<int>((c >> shift) & 0xFF);
}

int Difference(TColor32 a, TColor32 b) {
  int d = 0;
  for (int shift : {0, 8, 16})
    d = std::max(d, std::abs(Channel(a, shift) - Channel(b, shift)));
  return d;
}

class CliRender : public ::testing::Test {
protected:
  CliRender() { testsupport::WriteFileBytes(Dir / "doc.stor", DocumentBytes()); }
  std::string File(const char *name) const { return (Dir / name).string(); }
  testsupport::TempDir Dir;
};

TEST_F(CliRender, PngShowsThePageAtTheResolution) {
  const TRun run = Cli({"render", File("doc.stor"), "--dpi", "100", "-o", File("p1.png")});
  ASSERT_EQ(run.Code, 0) << run.Err;
  TBitmap32 png;
  LoadPng(Dir / "p1.png", png);
  // 100 mm at 100 dpi.
  ASSERT_EQ(png.Width(), 394);
  ASSERT_EQ(png.Height(), 197);
  const double px = 100 / 25.4;
  auto at = [&](double xMm, double yMm) {
    return png.GetPixel(static_cast<int32_t>(xMm * px), static_cast<int32_t>(yMm * px));
  };
  EXPECT_LE(Difference(at(25, 20), ToColor32(Fill)), 1);
  EXPECT_LE(Difference(at(11, 11), ToColor32(Fill)), 1) << "near the box's corner";
  EXPECT_LE(Difference(at(9, 9), ToColor32(Paper)), 1);
  EXPECT_LE(Difference(at(70, 40), ToColor32(Paper)), 1);

  const TRun second =
      Cli({"render", File("doc.stor"), "--page", "2", "--dpi", "50", "-o", File("p2.png")});
  ASSERT_EQ(second.Code, 0) << second.Err;
  TBitmap32 back;
  LoadPng(Dir / "p2.png", back);
  EXPECT_EQ(back.Width(), 118);
  EXPECT_EQ(back.Height(), 157);
  EXPECT_LE(Difference(back.GetPixel(59, 39), ToColor32(Fill)), 1) << "the ellipse's centre";
  EXPECT_LE(Difference(back.GetPixel(59, 120), ToColor32(Paper)), 1);
}

TEST_F(CliRender, BadArgumentsAndMissingPages) {
  EXPECT_EQ(Cli({"render", File("doc.stor"), "-o", File("x.bmp")}).Code, 2);
  EXPECT_EQ(Cli({"render", File("doc.stor"), "--dpi", "0", "-o", File("x.png")}).Code, 2);
  EXPECT_EQ(Cli({"render", File("doc.stor")}).Code, 2);
  const TRun missing = Cli({"render", File("doc.stor"), "--page", "3", "-o", File("x.png")});
  EXPECT_EQ(missing.Code, 1);
  EXPECT_NE(missing.Err.find("no page 3"), std::string::npos) << missing.Err;
  EXPECT_FALSE(std::filesystem::exists(Dir / "x.png"));
  EXPECT_EQ(Cli({"render", File("none.stor"), "-o", File("x.pdf")}).Code, 1);
}

TEST_F(CliRender, PdfHasEveryPageAtItsOwnSizeAndMatchesThePng) {
  const TRun run = Cli({"render", File("doc.stor"), "--dpi", "100", "-o", File("doc.pdf")});
  ASSERT_EQ(run.Code, 0) << run.Err;
  const std::string pdf = testsupport::ReadFileBytes(Dir / "doc.pdf");
  ASSERT_EQ(pdf.rfind("%PDF-", 0), 0u);
  // Each page's "/MediaBox [0 0 W H]", in mm.
  std::vector<std::pair<double, double>> boxes;
  const std::string key = "/MediaBox [";
  for (size_t at = pdf.find(key); at != std::string::npos; at = pdf.find(key, at + 1)) {
    double x = -1, y = -1, w = 0, h = 0;
    ASSERT_EQ(std::sscanf(pdf.c_str() + at + key.size(), "%lf %lf %lf %lf", &x, &y, &w, &h), 4);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    boxes.emplace_back(w * 25.4 / 72, h * 25.4 / 72);
  }
  ASSERT_EQ(boxes.size(), 2u);
  const std::pair<double, double> sizes[] = {{100, 50}, {60, 80}};
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_NEAR(boxes[i].first, sizes[i].first, 0.01) << "page " << i + 1;
    EXPECT_NEAR(boxes[i].second, sizes[i].second, 0.01) << "page " << i + 1;
  }
  EXPECT_EQ(pdf.find("/DCTDecode"), std::string::npos) << "pictures are stored losslessly";

  if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "pdftoppm is not installed";
  ASSERT_EQ(Cli({"render", File("doc.stor"), "--dpi", "100", "-o", File("p1.png")}).Code, 0);
  const std::string command = "pdftoppm -r 100 -f 1 -l 1 -png '" + File("doc.pdf") + "' '" +
                              File("raster") + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::filesystem::path raster;
  for (const auto &e : std::filesystem::directory_iterator(Dir.path()))
    if (e.path().filename().string().rfind("raster", 0) == 0)
      raster = e.path();
  ASSERT_FALSE(raster.empty());
  TBitmap32 ours, theirs;
  LoadPng(Dir / "p1.png", ours);
  LoadPng(raster, theirs);
  ASSERT_NEAR(theirs.Width(), ours.Width(), 1);
  ASSERT_NEAR(theirs.Height(), ours.Height(), 1);
  // Away from the box's edges, where resampling may differ by a pixel.
  int64_t total = 0, count = 0;
  int worst = 0;
  for (int32_t y = 0; y < std::min(ours.Height(), theirs.Height()); ++y)
    for (int32_t x = 0; x < std::min(ours.Width(), theirs.Width()); ++x) {
      const int d = Difference(ours.GetPixel(x, y), theirs.GetPixel(x, y));
      total += d;
      ++count;
      const double xm = x * 25.4 / 100, ym = y * 25.4 / 100;
      const bool nearEdge = (std::abs(xm - 10) < 1 || std::abs(xm - 40) < 1) ||
                            (std::abs(ym - 10) < 1 || std::abs(ym - 30) < 1);
      if (!nearEdge)
        worst = std::max(worst, d);
    }
  EXPECT_LE(worst, 3);
  EXPECT_LT(static_cast<double>(total) / static_cast<double>(count), 1.0);
}

} // namespace
