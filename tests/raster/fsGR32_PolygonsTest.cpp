#include "raster/fsGR32_Polygons.h"

#include "support/SeededRandom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <utility>
#include <vector>

namespace {

using testsupport::SeededRandom;

using Pts = std::vector<std::pair<double, double>>;

void AddContour(TPolygon32 &P, const Pts &pts, bool newContour) {
  if (newContour)
    P.StartContour();
  for (const auto &[x, y] : pts)
    P.AppendPoint({Fixed(x), Fixed(y)});
}

std::unique_ptr<TPolygon32> MakePolygon(std::initializer_list<Pts> contours, bool smoothed = true,
                                        TPolyFillMode rule = pfAlternate) {
  auto p = std::make_unique<TPolygon32>();
  p->SetSmoothed(smoothed);
  p->SetFillRule(rule);
  bool first = true;
  for (const Pts &c : contours) {
    AddContour(*p, c, !first);
    first = false;
  }
  return p;
}

Pts Square(double l, double t, double r, double b) {
  return {{l, t}, {r, t}, {r, b}, {l, b}};
}

// A pentagram drawn in one stroke: its centre pentagon is wound twice.
Pts Pentagram(double cx, double cy, double radius) {
  Pts pts;
  for (int i = 0; i < 5; ++i) {
    const double a = -M_PI / 2 + i * 4 * M_PI / 5;
    pts.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
  }
  return pts;
}

struct TFixture {
  TBitmap32 B;
  explicit TFixture(int w = 30, int h = 30, TCombineMode mode = cmMerge) {
    B.SetSize(w, h);
    B.SetCombineMode(mode);
  }
  int Touched() const {
    int n = 0;
    for (int y = 0; y < B.Height(); ++y)
      for (int x = 0; x < B.Width(); ++x)
        n += B.GetPixel(x, y) != 0;
    return n;
  }
};

struct TSquareCase {
  const char *Name;
  bool Smoothed;
  TPolyFillMode Rule;
  TCombineMode Mode;
  TSubsampleMode Subsample;
  TColor32 Interior;
};

class SquareFill : public ::testing::TestWithParam<TSquareCase> {};

// A whole-pixel square covers exactly its own pixels, fully, whatever the
// fill rule, in every subsampling mode.
TEST_P(SquareFill, CoversExactlyItsPixels) {
  const TSquareCase &tc = GetParam();
  TFixture f(30, 30, tc.Mode);
  auto p = MakePolygon({Square(10, 10, 20, 20)}, tc.Smoothed, tc.Rule);
  p->SetSubsampleMode(tc.Subsample);
  p->FillContours(f.B, clRed32);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x) {
      const bool inside = x >= 10 && x < 20 && y >= 10 && y < 20;
      ASSERT_EQ(f.B.GetPixel(x, y), inside ? tc.Interior : 0u) << "at " << x << "," << y;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Polygons, SquareFill,
    ::testing::Values(
        // Merging opaque red onto nothing gives it unchanged.
        TSquareCase{"MergeAlternate", true, pfAlternate, cmMerge, sm8x, clRed32},
        TSquareCase{"MergeWinding", true, pfWinding, cmMerge, sm8x, clRed32},
        TSquareCase{"Subsample16", true, pfAlternate, cmMerge, sm16x, clRed32},
        TSquareCase{"Subsample4", true, pfAlternate, cmMerge, sm4x, clRed32},
        // The scaled blend at full weight 255 is not an exact copy.
        TSquareCase{"BlendAlternate", true, pfAlternate, cmBlend, sm8x, 0xFEFE0000},
        TSquareCase{"AliasedAlternate", false, pfAlternate, cmBlend, sm8x, clRed32},
        TSquareCase{"AliasedWinding", false, pfWinding, cmMerge, sm8x, clRed32}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST(Polygons, PartlyCoveredPixelsFollowTheSubsampleCounts) {
  struct Case {
    const char *Name;
    Pts Shape;
    int X, Y;
    TColor32 Expected;
  };
  // Mode 8: a half-covered column counts 4 of 7 per sub-scanline (32 of 56
  // -> 145); a half-covered row counts 4 of 8 sub-scanlines (28 -> 127).
  const std::vector<Case> cases = {
      {"right half column", Square(10, 10, 20.5, 20), 20, 15, 0x91FF0000},
      {"bottom half row", Square(10, 10, 20, 20.5), 15, 20, 0x7FFF0000},
      {"interior", Square(10, 10, 20.5, 20.5), 15, 15, clRed32},
      {"beyond the half column", Square(10, 10, 20.5, 20), 21, 15, 0},
  };
  for (const Case &c : cases) {
    TFixture f;
    auto p = MakePolygon({c.Shape});
    p->FillContours(f.B, clRed32);
    EXPECT_EQ(f.B.GetPixel(c.X, c.Y), c.Expected) << c.Name;
  }
}

TEST(Polygons, FillRulesOnSelfIntersectionAndNestedContours) {
  struct Case {
    const char *Name;
    std::vector<Pts> Contours;
    TPolyFillMode Rule;
    bool CentreFilled;
  };
  Pts inner = Square(12, 12, 18, 18);
  Pts innerReversed(inner.rbegin(), inner.rend());
  const std::vector<Case> cases = {
      {"star alternate", {Pentagram(15, 15, 12)}, pfAlternate, false},
      {"star winding", {Pentagram(15, 15, 12)}, pfWinding, true},
      {"opposite alternate", {Square(5, 5, 25, 25), innerReversed}, pfAlternate, false},
      {"opposite winding", {Square(5, 5, 25, 25), innerReversed}, pfWinding, false},
      {"same alternate", {Square(5, 5, 25, 25), inner}, pfAlternate, false},
      {"same winding", {Square(5, 5, 25, 25), inner}, pfWinding, true},
  };
  for (const Case &c : cases) {
    for (bool smoothed : {true, false}) {
      TFixture f;
      auto p = std::make_unique<TPolygon32>();
      p->SetSmoothed(smoothed);
      p->SetFillRule(c.Rule);
      for (size_t i = 0; i < c.Contours.size(); ++i)
        AddContour(*p, c.Contours[i], i > 0);
      p->FillContours(f.B, clRed32);
      EXPECT_EQ(f.B.GetPixel(15, 15), c.CentreFilled ? clRed32 : 0u)
          << c.Name << (smoothed ? " smoothed" : " aliased");
      // The outer ring is painted in every case.
      EXPECT_EQ(f.B.GetPixel(15, c.Contours.size() > 1 ? 7 : 6), clRed32)
          << c.Name << (smoothed ? " smoothed" : " aliased");
    }
  }
}

TEST(Polygons, TranslucentColourScalesTheCoverage) {
  struct Case {
    TCombineMode Mode;
    TColor32 Expected;
  };
  for (const Case &c : {Case{cmBlend, 0x80800000}, Case{cmMerge, 0x80FF0000}}) {
    TFixture f(30, 30, c.Mode);
    MakePolygon({Square(10, 10, 20, 20)})->FillContours(f.B, 0x80FF0000);
    EXPECT_EQ(f.B.GetPixel(15, 15), c.Expected) << int(c.Mode);
  }
  // Over an opaque page the blend lands half way.
  TFixture f(30, 30, cmBlend);
  f.B.FillAll(clWhite32);
  MakePolygon({Square(10, 10, 20, 20)})->FillContours(f.B, 0x80000000);
  EXPECT_EQ(f.B.GetPixel(15, 15), 0xFF808080u);
  EXPECT_EQ(f.B.GetPixel(5, 5), clWhite32);
}

TEST(Polygons, NothingIsWrittenOutsideTheBitmapOrClipBox) {
  const double big = 30000;
  struct Case {
    const char *Name;
    Pts Shape;
    int Touched;
  };
  const std::vector<Case> cases = {
      {"left of it", Square(-50, 5, -10, 20), 0},
      {"above it", Square(5, -50, 20, -10), 0},
      {"right of it", Square(31, 5, 60, 20), 0},
      {"below it", Square(5, 30, 20, 60), 0},
      {"far away", Square(big, big, big + 10, big + 10), 0},
      {"covering all", Square(-big, -big, big, big), 30 * 30},
      {"fewer than three points", {{1, 1}, {20, 20}}, 0},
      {"degenerate flat", {{1, 5}, {20, 5}, {25, 5}}, 0},
  };
  for (const Case &c : cases)
    for (bool smoothed : {true, false}) {
      TFixture f;
      MakePolygon({c.Shape}, smoothed)->FillContours(f.B, clRed32);
      EXPECT_EQ(f.Touched(), c.Touched) << c.Name << (smoothed ? " smoothed" : " aliased");
    }
  // A clip box keeps the fill inside it.
  for (bool smoothed : {true, false}) {
    TFixture f;
    f.B.SetClipBox(Rect(5, 6, 12, 14));
    MakePolygon({Square(-big, -big, big, big)}, smoothed)->FillContours(f.B, clRed32);
    EXPECT_EQ(f.Touched(), 7 * 8);
    EXPECT_EQ(f.B.GetPixel(5, 6), clRed32);
    EXPECT_EQ(f.B.GetPixel(11, 13), clRed32);
  }
}

// Edges that start far above the bitmap reach its rows where they would
// have reached them inside a taller one.
TEST(Polygons, EdgesFromFarAboveLandWhereTheyWould) {
  const Pts shape = {{3.3, -310.7}, {38.9, -200},  {31.2, 35.6},  {20.1, 12.4},
                     {-5.5, 30.1},  {1.7, -250.2}, {29.4, -300.3}};
  for (bool smoothed : {true, false}) {
    TFixture small(40, 40), tall(40, 400);
    auto p = MakePolygon({shape}, smoothed, pfWinding);
    p->FillContours(small.B, clRed32);
    p->Translate(0, 360 * FixedOne);
    p->FillContours(tall.B, clRed32);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x)
        ASSERT_EQ(small.B.GetPixel(x, y), tall.B.GetPixel(x, y + 360))
            << x << "," << y << (smoothed ? " smoothed" : " aliased");
    EXPECT_GT(small.Touched(), 100);
  }
}

TEST(Polygons, AliasedSpansCoverThePixelCentresInside) {
  TFixture f;
  // Left edge at 10.4 (centre 10.5 inside), right edge at 19.6 (centre 19.5
  // inside): columns 10..19.
  MakePolygon({Square(10.4, 10, 19.6, 12)}, false)->FillContours(f.B, clRed32);
  EXPECT_EQ(f.B.GetPixel(9, 10), 0u);
  EXPECT_EQ(f.B.GetPixel(10, 10), clRed32);
  EXPECT_EQ(f.B.GetPixel(19, 11), clRed32);
  EXPECT_EQ(f.B.GetPixel(20, 11), 0u);
  EXPECT_EQ(f.B.GetPixel(15, 12), 0u);
  EXPECT_EQ(f.Touched(), 20);
}

TEST(Polygons, SpanCallbackSeesTheColourFillsCoverage) {
  for (bool smoothed : {true, false})
    for (TPolyFillMode rule : {pfAlternate, pfWinding}) {
      auto p = MakePolygon({Pentagram(15, 14, 13), Square(2, 2, 9.3, 7.7)}, smoothed, rule);
      TFixture byColour;
      p->FillContours(byColour.B, clRed32);
      TFixture byCallback;
      int spans = 0;
      p->FillContours(
          byCallback.B,
          [&](void *user, TColor32 *dst, int32_t x, const uint8_t *alpha, int32_t n, int32_t y) {
            EXPECT_EQ(user, &spans);
            EXPECT_EQ(dst, byCallback.B.PixelPtr(x, y));
            EXPECT_EQ(alpha == nullptr, !smoothed);
            ASSERT_GE(x, 0);
            ASSERT_LE(x + n, 30);
            ++spans;
            for (int32_t i = 0; i < n; ++i) {
              const uint32_t a = alpha ? alpha[i] : 255;
              if (a)
                dst[i] = (a << 24) | 0xFF0000;
            }
          },
          &spans);
      EXPECT_GT(spans, 0);
      for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x)
          ASSERT_EQ(byCallback.B.GetPixel(x, y), byColour.B.GetPixel(x, y))
              << x << "," << y << " smoothed " << smoothed << " rule " << int(rule);
    }
}

// The colour fill is the bitmap's scaled span blend of the coverage span,
// with the colour's alpha as master alpha, over any background.
TEST(Polygons, ColourFillBlendsTheCoverageSpans) {
  for (TCombineMode mode : {cmBlend, cmMerge})
    for (TColor32 colour : {0x80205FC0u, 0xFF102030u, 0x01FFFFFFu, 0x00FF0000u}) {
      auto p = MakePolygon({Pentagram(15, 14, 13), Square(1.3, 2.6, 9.3, 7.7)}, true, pfWinding);
      TFixture filled(30, 30, mode), expected(30, 30, mode);
      SeededRandom random(3);
      for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x)
          filled.B.SetPixel(x, y, random.Word());
      expected.B.Assign(filled.B);
      p->FillContours(filled.B, colour);
      p->FillContours(
          expected.B,
          [&](void *, TColor32 *dst, int32_t, const uint8_t *alpha, int32_t n, int32_t) {
            std::vector<TColor32> span(n);
            for (int32_t i = 0; i < n; ++i)
              span[i] = TColor32(alpha[i]) << 24 | (colour & 0xFFFFFF);
            BlendScaledSpanProcs[mode](span.data(), dst, n, colour >> 24);
          },
          nullptr);
      for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x)
          ASSERT_EQ(filled.B.GetPixel(x, y), expected.B.GetPixel(x, y))
              << x << "," << y << " mode " << int(mode) << " colour " << colour;
    }
}

class TShift : public TPolygonTransformation {
public:
  TFixedPoint Transform(const TFixedPoint &P) const override {
    return {P.X + 5 * FixedOne, P.Y + 3 * FixedOne};
  }
};

TEST(Polygons, TransformationMovesTheDrawingNotThePolygon) {
  TFixture f;
  TShift shift;
  auto p = MakePolygon({Square(0, 0, 4, 4)});
  p->FillContours(f.B, clRed32, &shift);
  EXPECT_EQ(f.B.GetPixel(5, 3), clRed32);
  EXPECT_EQ(f.B.GetPixel(8, 6), clRed32);
  EXPECT_EQ(f.B.GetPixel(4, 3), 0u);
  EXPECT_EQ(f.Touched(), 16);
  EXPECT_EQ(p->Contours()[0][0], FixedPoint(0, 0));
}

TEST(Polygons, EachDrawingNotifiesOnce) {
  TFixture f;
  int changes = 0;
  f.B.OnChange = [&](TThreadPersistent &) { ++changes; };
  auto p = MakePolygon({Square(3, 3, 9, 9)});
  p->FillContours(f.B, clRed32);
  EXPECT_EQ(changes, 1);
  p->StrokeEdges(f.B, clBlue32);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(f.B.UpdateCount(), 0);
}

TEST(Polygons, AliasedEdgesDrawTheOutline) {
  TFixture f;
  auto p = MakePolygon({Square(10, 10, 20, 20)}, false);
  p->StrokeEdges(f.B, clRed32);
  EXPECT_EQ(f.Touched(), 40);
  for (auto [x, y] :
       {std::pair{10, 10}, {19, 10}, {20, 10}, {20, 19}, {20, 20}, {11, 20}, {10, 20}, {10, 11}})
    EXPECT_EQ(f.B.GetPixel(x, y), clRed32) << x << "," << y;
  EXPECT_EQ(f.B.GetPixel(15, 15), 0u);
  // An open path does not close.
  TFixture g;
  p->SetClosedPath(false);
  p->StrokeEdges(g.B, clRed32);
  EXPECT_EQ(g.Touched(), 30);
  EXPECT_EQ(g.B.GetPixel(10, 15), 0u);
}

TEST(Polygons, SmoothEdgesStayNearTheOutline) {
  TFixture f;
  auto p = MakePolygon({Square(10.5, 10.5, 20.5, 20.5)});
  p->StrokeEdges(f.B, clRed32);
  EXPECT_NE(f.B.GetPixel(15, 10), 0u);
  EXPECT_NE(f.B.GetPixel(20, 15), 0u);
  EXPECT_EQ(f.B.GetPixel(15, 15), 0u);
  EXPECT_EQ(f.B.GetPixel(5, 5), 0u);
}

TEST(Polygons, NormalsPerVertex) {
  auto p = MakePolygon({Square(0, 0, 10, 10), {{3, 3}}, {}});
  p->ComputeNormals();
  const auto &n = p->VertexNormals();
  ASSERT_EQ(n.size(), 3u);
  const TArrayOfFixedPoint expected = {
      {0, -FixedOne}, {FixedOne, 0}, {0, FixedOne}, {-FixedOne, 0}};
  EXPECT_EQ(n[0], expected);
  EXPECT_EQ(n[1], TArrayOfFixedPoint({{0, 0}}));
  EXPECT_TRUE(n[2].empty());
  // An open contour's last vertex keeps the direction before it.
  auto open = MakePolygon({{{0, 0}, {10, 0}, {10, 10}}});
  open->SetClosedPath(false);
  open->ComputeNormals();
  EXPECT_EQ(open->VertexNormals()[0],
            TArrayOfFixedPoint({{0, -FixedOne}, {FixedOne, 0}, {FixedOne, 0}}));
  // A change of the points drops them.
  open->AppendPoint({0, 0});
  EXPECT_TRUE(open->VertexNormals().empty());
}

TArrayOfFixedPoint FixedPts(const Pts &pts) {
  TArrayOfFixedPoint r;
  for (auto [x, y] : pts)
    r.push_back({Fixed(x), Fixed(y)});
  return r;
}

TEST(Polygons, InflateMitresAndBevels) {
  struct Case {
    const char *Name;
    Pts Shape;
    double Delta;
    Pts Expected;
  };
  const std::vector<Case> cases = {
      {"square mitred", Square(0, 0, 10, 10), 1, Square(-1, -1, 11, 11)},
      {"square shrunk", Square(0, 0, 10, 10), -1, Square(1, 1, 9, 9)},
      // The corner at (40, 0) is so sharp that its mitre would reach far
      // out: two bevel points instead.
      {"sharp corner bevelled",
       {{0, 0}, {40, 0}, {0, 10}},
       1,
       {{-1, -1}, {40, -1}, {40.242536, 0.970143}, {-1, 11.280776}}},
      {"shrunk sharp corner bevelled",
       {{0, 0}, {40, 0}, {0, 10}},
       -1,
       {{1, 1}, {40, 1}, {39.757464, -0.970143}, {1, 8.719224}}},
      {"zero copies", Square(0, 0, 10, 10), 0, Square(0, 0, 10, 10)},
  };
  for (const Case &c : cases) {
    auto p = MakePolygon({{}, c.Shape}); // a leading empty contour is skipped
    auto q = p->Inflate(Fixed(c.Delta), 0.5f);
    const TArrayOfFixedPoint expected = FixedPts(c.Expected);
    const auto &got = q->Contours();
    ASSERT_EQ(got.back().size(), expected.size()) << c.Name;
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_NEAR(got.back()[i].X, expected[i].X, 8) << c.Name << " point " << i;
      EXPECT_NEAR(got.back()[i].Y, expected[i].Y, 8) << c.Name << " point " << i;
    }
    EXPECT_EQ(q->FillRule(), p->FillRule());
  }
}

TEST(Polygons, InflatedOutlineFillsAsAStroke) {
  // A horizontal open path traced both ways and grown by 2 is a 4-pixel
  // band along it.
  auto path = MakePolygon({{{5, 15}, {25, 15}}});
  path->SetClosedPath(false);
  auto outline = path->TraceBothWays();
  outline->SetClosedPath(true);
  auto stroke = outline->Inflate(Fixed(2), 0.5f);
  stroke->SetFillRule(pfWinding);
  TFixture f;
  stroke->FillContours(f.B, clRed32);
  EXPECT_EQ(f.B.GetPixel(15, 13), clRed32);
  EXPECT_EQ(f.B.GetPixel(15, 16), clRed32);
  EXPECT_EQ(f.B.GetPixel(15, 12), 0u);
  EXPECT_EQ(f.B.GetPixel(15, 17), 0u);
  EXPECT_EQ(f.Touched(), 20 * 4);
}

TEST(Polygons, TraceBothWays) {
  auto open = MakePolygon({{{1, 2}, {3, 4}}, {{9, 9}}});
  open->SetClosedPath(false);
  auto t = open->TraceBothWays();
  ASSERT_EQ(t->Contours().size(), 1u);
  EXPECT_EQ(t->Contours()[0], FixedPts({{1, 2}, {3, 4}, {3, 4}, {1, 2}}));
  EXPECT_FALSE(t->ClosedPath());

  auto closed = MakePolygon({Square(0, 0, 1, 1)});
  auto c = closed->TraceBothWays();
  ASSERT_EQ(c->Contours().size(), 2u);
  EXPECT_EQ(c->Contours()[0], FixedPts(Square(0, 0, 1, 1)));
  EXPECT_EQ(c->Contours()[1], FixedPts({{0, 1}, {1, 1}, {1, 0}, {0, 0}}));
}

// The running coverage sum against its plain loop: runs of unchanged cells
// of every length and position, sums below 0 and above the full count.
TEST(Polygons, CoverageRunningSumMatchesThePlainLoop) {
  SeededRandom random(41);
  for (int n = 0; n < 200; ++n) {
    const size_t count = random.Below(70);
    std::vector<int32_t> cells(count, 0);
    for (size_t i = 0; i < count; ++i)
      if (random.Below(4) == 0)
        cells[i] = int32_t(random.Below(121)) - 60;
    std::vector<int32_t> expected(cells);
    int32_t sum = 0;
    for (int32_t &c : expected) {
      sum += c;
      c = std::clamp(sum, 0, 56);
    }
    CoverageRunningSum(cells.data(), count, 56);
    ASSERT_EQ(cells, expected) << "case " << n;
  }
}

TEST(Polygons, ContourEditing) {
  TPolygon32 p;
  ASSERT_EQ(p.Contours().size(), 1u);
  const TFixedPoint pts[] = {{1, 2}, {3, 4}};
  p.AppendPoints(pts, 2);
  p.StartContour();
  p.AppendPoint({5, 6});
  p.Translate(10, 20);
  EXPECT_EQ(p.Contours()[0], TArrayOfFixedPoint({{11, 22}, {13, 24}}));
  EXPECT_EQ(p.Contours()[1], TArrayOfFixedPoint({{15, 26}}));
  TPolygon32 q;
  p.SetSmoothed(true);
  p.SetFillRule(pfWinding);
  p.AssignTo(q);
  EXPECT_EQ(q.Contours(), p.Contours());
  EXPECT_TRUE(q.Smoothed());
  EXPECT_EQ(q.FillRule(), pfWinding);
  p.ClearContours();
  EXPECT_EQ(p.Contours(), TArrayOfArrayOfFixedPoint(1));
}

} // namespace
