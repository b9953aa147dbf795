#include "FakePrinter.h"

#include "base/fsError.h"
#include "engine/fsDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr TColor32 Red = 0xFFFF0000;
constexpr TColor32 Blue = 0xFF0000FF;
constexpr TColor32 White = 0xFFFFFFFF;

// A filled box, drawn through the device matrix.
class TMarkShape : public TfsShape {
public:
  explicit TMarkShape(TColor32 colour) : Colour(colour) {}
  TColor32 Colour;
  void Paint(TBitmap32 &bitmap, const TDeviceContext &) override {
    bitmap.FillRect(DeviceX(0), DeviceY(0), DeviceX(DocWidth()), DeviceY(DocHeight()), Colour);
  }
};

TfsPage &SizedPage(TfsDocument &doc, float w, float h) {
  TfsPage &page = *doc.CurrentPage();
  page.SetIsDefaultPage(false);
  page.SetBounds(0, 0, w, h);
  return page;
}

void AddMark(TfsDocument &doc, TColor32 colour, float l, float t, float w, float h) {
  auto mark = std::make_unique<TMarkShape>(colour);
  mark->SetBounds(l, t, w, h);
  doc.AddShape(std::move(mark));
}

// Every device pixel of the rectangle covered by exactly one band.
void ExpectTiles(const std::vector<TRect> &bands, const TRect &area) {
  std::vector<uint8_t> cover(static_cast<size_t>(area.Width()) * area.Height());
  for (const TRect &b : bands) {
    ASSERT_GE(b.Left, area.Left);
    ASSERT_GE(b.Top, area.Top);
    ASSERT_LE(b.Right, area.Right);
    ASSERT_LE(b.Bottom, area.Bottom);
    for (int32_t y = b.Top; y < b.Bottom; ++y)
      for (int32_t x = b.Left; x < b.Right; ++x)
        ++cover[static_cast<size_t>(y - area.Top) * area.Width() + (x - area.Left)];
  }
  EXPECT_TRUE(std::all_of(cover.begin(), cover.end(), [](uint8_t c) { return c == 1; }));
}

TEST(PrintQuality, PrinterDpmFollowsQuality) {
  TfsDocument doc;
  const std::pair<TPrintQualityType, float> cases[] = {
      {pqLow, 5.905512f}, {pqMedium, 11.811024f}, {pqHigh, 23.622047f}, {pqDevice, 0}};
  for (auto [quality, dpm] : cases) {
    doc.SetPrintQuality(quality);
    EXPECT_FLOAT_EQ(doc.PrinterDpm(), dpm) << int(quality);
  }
}

TEST(PrintBands, A4At600DpiPrintsIn32BandsThatTileThePage) {
  TfsDocument doc;
  SizedPage(doc, 210, 297);
  TFakePrinter printer;
  std::vector<int> percents;
  doc.OnProgress = [&](TfsDocument &, TfsProgressType, int64_t, int64_t, int percent) {
    percents.push_back(percent);
  };
  const TRect sheet = Rect(0, 0, 4961, 7016);
  PrintPage(*doc.CurrentPage(), printer, sheet, false, false, 0, 23.622047f);
  ASSERT_EQ(printer.Bands.size(), 32u);
  for (const TSize &s : printer.BandSizes)
    EXPECT_LE(int64_t(s.cx) * s.cy, MaxBandPixels);
  ExpectTiles(printer.Bands, sheet);
  EXPECT_TRUE(percents.empty()) << "no progress outside PrintPages";
  EXPECT_FALSE(doc.IsPrinting());
}

TEST(PrintPages, A4OnALandscapeSheetTurnsAQuarterLeftAndFillsIt) {
  TfsDocument doc;
  SizedPage(doc, 210, 297);
  AddMark(doc, Red, 0, 0, 20, 20);
  TFakePrinter printer;
  // 150 dpi, landscape, printable area 50 and 40 pixels in.
  printer.Size = {1754, 1240};
  printer.Offset = {50, 40};
  printer.Compose = true;
  printer.Origin = {50, 40};
  printer.Sheet.SetSize(1754, 1240);
  printer.Sheet.Clear(0);
  std::vector<std::pair<int64_t, int>> progress;
  doc.OnProgress = [&](TfsDocument &, TfsProgressType type, int64_t count, int64_t, int percent) {
    EXPECT_EQ(type, ptPrint);
    progress.emplace_back(count, percent);
  };
  doc.PrintPages({0, 5, 0}, printer);
  // 1240 x 1754 source pixels are more than one band holds: two each.
  EXPECT_EQ(printer.Calls, (std::vector<std::string>{"begin", "band", "band", "page", "page",
                                                     "band", "band", "end"}));
  ASSERT_EQ(printer.Bands.size(), 4u);
  // The turned page is 1754 x 1240 device pixels: the whole sheet.
  ExpectTiles({printer.Bands[0], printer.Bands[1]}, Rect(-50, -40, 1704, 1200));
  EXPECT_EQ(printer.BandSizes[0], (TSize{877, 1240})) << "the top half, turned";
  // The page's top-left corner is now at the sheet's bottom-left.
  EXPECT_EQ(printer.Sheet.GetPixel(30, 1240 - 30), Red);
  EXPECT_EQ(printer.Sheet.GetPixel(1754 - 30, 30), White);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front(), (std::pair<int64_t, int>{0, 0}));
  EXPECT_EQ(progress.back(), (std::pair<int64_t, int>{3, 100}));
  for (size_t i = 1; i < progress.size(); ++i)
    EXPECT_GE(progress[i].second, progress[i - 1].second);
}

TEST(PrintPages, RefusesWhileWorking) {
  TfsDocument doc;
  TFakePrinter printer;
  doc.BeginWork(crHourGlass);
  EXPECT_THROW(doc.PrintPages({0}, printer), EfsError);
  doc.EndWork();
  EXPECT_TRUE(printer.Calls.empty());
}

// Where a page point (u, v) in [0, 1] lands on the sheet, turned and
// mirrored.
TFloatPoint Landing(float u, float v, int rotation, bool mirrorX, bool mirrorY) {
  float x = u, y = v;
  switch (rotation) {
  case 1: // a quarter to the left
    x = v, y = 1 - u;
    break;
  case 2:
    x = 1 - u, y = 1 - v;
    break;
  case 3: // a quarter to the right
    x = 1 - v, y = u;
    break;
  default:
    break;
  }
  if (mirrorX)
    x = 1 - x;
  if (mirrorY)
    y = 1 - y;
  return {x, y};
}

struct TTurnCase {
  int Rotation;
  bool MirrorX, MirrorY;
};

class PrintTurn : public testing::TestWithParam<TTurnCase> {};

TEST_P(PrintTurn, MarkersLandInTheirCorners) {
  const TTurnCase c = GetParam();
  TfsDocument doc;
  // 2000 x 3000 source pixels at 2 per mm: four bands.
  SizedPage(doc, 1000, 1500);
  AddMark(doc, Red, 0, 0, 100, 100);
  AddMark(doc, Blue, 900, 0, 100, 100);
  const bool turned = c.Rotation % 2 == 1;
  const int32_t w = turned ? 3000 : 2000, h = turned ? 2000 : 3000;
  TFakePrinter printer;
  printer.Compose = true;
  printer.Sheet.SetSize(w, h);
  printer.Sheet.Clear(0);
  PrintPage(*doc.CurrentPage(), printer, Rect(0, 0, w, h), c.MirrorX, c.MirrorY, c.Rotation, 2);
  EXPECT_EQ(printer.Bands.size(), 4u);
  ExpectTiles(printer.Bands, Rect(0, 0, w, h));
  for (auto [u, colour] : {std::pair{0.05f, Red}, std::pair{0.95f, Blue}}) {
    const TFloatPoint p = Landing(u, 50.0f / 1500, c.Rotation, c.MirrorX, c.MirrorY);
    EXPECT_EQ(printer.Sheet.GetPixel(int32_t(p.X * w), int32_t(p.Y * h)), colour)
        << "marker at u " << u;
  }
  const TFloatPoint blank = Landing(0.5f, 0.05f, c.Rotation, c.MirrorX, c.MirrorY);
  EXPECT_EQ(printer.Sheet.GetPixel(int32_t(blank.X * w), int32_t(blank.Y * h)), White);
}

std::vector<TTurnCase> TurnCases() {
  std::vector<TTurnCase> cases;
  for (int r = 0; r < 4; ++r)
    for (bool mx : {false, true})
      for (bool my : {false, true})
        cases.push_back({r, mx, my});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(All, PrintTurn, testing::ValuesIn(TurnCases()),
                         [](const testing::TestParamInfo<TTurnCase> &info) {
                           return "R" + std::to_string(info.param.Rotation) +
                                  (info.param.MirrorX ? "X" : "") + (info.param.MirrorY ? "Y" : "");
                         });

TEST(PrintBands, OptimizedPrintingSkipsBlankBands) {
  TfsDocument doc;
  SizedPage(doc, 1000, 1500);
  AddMark(doc, Red, 0, 0, 100, 100);
  TFakePrinter printer;
  doc.SetOptimizedPrinting(true);
  PrintPage(*doc.CurrentPage(), printer, Rect(0, 0, 2000, 3000), false, false, 0, 2);
  EXPECT_EQ(printer.Bands, (std::vector<TRect>{Rect(0, 0, 1000, 1500)}));
}

TEST(PrintBands, DeviceDensityWhenDpmIsZero) {
  TfsDocument doc;
  SizedPage(doc, 100, 200);
  TFakePrinter printer;
  // 3 device pixels per mm; the page is centred across.
  PrintPage(*doc.CurrentPage(), printer, Rect(10, 20, 411, 620), false, false, 0, 0);
  ASSERT_EQ(printer.Bands.size(), 1u);
  EXPECT_EQ(printer.Bands[0], Rect(60, 20, 360, 620));
  EXPECT_EQ(printer.BandSizes[0], (TSize{300, 600}));
}

} // namespace
