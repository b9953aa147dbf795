#include "shapes/fsPolygonShape.h"

#include "engine/FakeShapeDocument.h"
#include "persist/fsPlainXml.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace {

using enginetest::FakeShapeDocument;

constexpr float Dpm = 10; // pixels per mm of the test pages
constexpr TColor32 White = 0xFFFFFFFF;

// A white page of w x h mm at Dpm with the shape rendered onto it.
struct TPage {
  TBitmap32 Bitmap;
  TPage(TfsShape &shape, float w, float h, TColor32 paper = White) {
    Bitmap.SetSize(int32_t(w * Dpm), int32_t(h * Dpm));
    Bitmap.FillAll(paper);
    TDeviceContext context;
    context.DestDpm = context.CacheDpm = Dpm;
    TfsShape::RenderShape(shape, Bitmap, FloatRect(0, 0, w, h), context, false);
  }
  // How much of a black shape covers pixel (x, y) of a white page, 0..1.
  double Coverage(int x, int y) const { return 1 - (Bitmap.GetPixel(x, y) & 0xFF) / 255.0; }
  double TotalCoverage() const {
    double sum = 0;
    for (int y = 0; y < Bitmap.Height(); ++y)
      for (int x = 0; x < Bitmap.Width(); ++x)
        sum += Coverage(x, y);
    return sum;
  }
};

// A black filled shape without outline.
template <class T> std::unique_ptr<T> BlackShape(float l, float t, float w, float h) {
  auto s = std::make_unique<T>();
  s->SetFillColor(0);
  s->SetUseOutline(false);
  s->SetBounds(l, t, w, h);
  return s;
}

// Overlap of [a0, a1] with [b0, b1].
double Overlap(double a0, double a1, double b0, double b1) {
  return std::max(0.0, std::min(a1, b1) - std::max(a0, b0));
}

std::vector<std::string> ChildNames(const TXmlNode &node) {
  std::vector<std::string> out;
  for (int i = 0; i < node.ChildCount(); ++i)
    out.push_back(node.Child(i)->Name());
  return out;
}

// ---- keys -------------------------------------------------------------------------

TEST(PolygonKeys, NewShapesSaveTheirCreationDefaults) {
  TfsEllipseShape e;
  TPlainXml xml("shape");
  e.SaveToXml(*xml.Root());
  const TXmlNode &n = *xml.Root();
  EXPECT_EQ(n.LoadString("FillAlpha", ""), "255");
  EXPECT_EQ(n.LoadColor("FillColor", 0), 0xFF0000);
  EXPECT_EQ(n.LoadFloat("OutlineWidth", 0.0f), 0.5f);
  EXPECT_EQ(n.LoadString("UseFill", ""), "True");
  EXPECT_EQ(n.LoadString("UseOutline", ""), "True");
  for (const char *absent :
       {"OutlineColor", "UseStipple", "StippleSize", "IsClosed", "StorePoints", "Polygon"})
    EXPECT_EQ(n.FindChild(absent), nullptr) << absent;
  EXPECT_EQ(n.LoadString("ClassName", ""), "TfsEllipseShape");
  EXPECT_EQ(n.LoadString("DocWidth", ""), "40");
  EXPECT_EQ(n.LoadString("DocHeight", ""), "30");
  EXPECT_FLOAT_EQ(e.CurbLeft(), 0.25f);

  TfsRoundRectShape r;
  EXPECT_FLOAT_EQ(r.CornerWidth(), 10);
  EXPECT_FLOAT_EQ(r.CornerHeight(), 7.5f);
  TPlainXml rx("shape");
  r.SaveToXml(*rx.Root());
  EXPECT_EQ(rx.Root()->LoadString("CornerWidth", ""), "10");
  EXPECT_EQ(rx.Root()->LoadString("CornerHeight", ""), "7.5");
  EXPECT_EQ(rx.Root()->FindChild("CornerPropertiesArePercentage"), nullptr);
}

TEST(PolygonKeys, AFileWithoutKeysLoadsUnfilledAndUnoutlined) {
  TPlainXml xml("shape");
  xml.Root()->StoreString("ClassName", "TfsEllipseShape", "");
  xml.Root()->StoreFloat("DocWidth", 20.0f, 0.0f);
  xml.Root()->StoreFloat("DocHeight", 10.0f, 0.0f);
  TfsEllipseShape e;
  e.LoadFromXml(xml.Root());
  EXPECT_FALSE(e.UseFill());
  EXPECT_FALSE(e.UseOutline());
  EXPECT_FALSE(e.UseStipple());
  EXPECT_TRUE(e.IsClosed());
  EXPECT_EQ(e.FillAlpha(), 0);
  EXPECT_EQ(e.FillColor(), 0);
  EXPECT_FLOAT_EQ(e.OutlineWidth(), 0);
  EXPECT_FLOAT_EQ(e.StippleSize(), 2);
  // The curb follows the width loaded through its setter.
  EXPECT_FLOAT_EQ(e.CurbLeft(), 0.1f);
  EXPECT_FLOAT_EQ(e.CurbBottom(), 0.1f);
  // Points are generated at the loaded size.
  const TFloatRect b = e.PointsBounds();
  EXPECT_FLOAT_EQ(b.Right, 20);
  EXPECT_FLOAT_EQ(b.Bottom, 10);
  // Nothing shows.
  TPage page(e, 25, 15);
  EXPECT_EQ(page.TotalCoverage(), 0);
}

TEST(PolygonKeys, StoredPointsRoundTripWithTheirContours) {
  TfsPolygonShape p;
  p.SetStorePoints(true);
  p.ClearPoints();
  p.AddPointXY(0, 0);
  p.AddPointXY(40, 0);
  p.AddPointXY(20, 30);
  p.NewContour();
  p.AddPointXY(10.5f, 5);
  p.SetIsClosed(false);
  TPlainXml xml("shape");
  p.SaveToXml(*xml.Root());
  const TXmlNode *polygon = xml.Root()->FindChild("Polygon");
  ASSERT_NE(polygon, nullptr);
  EXPECT_EQ(ChildNames(*polygon), (std::vector<std::string>{"Line", "Line"}));
  EXPECT_EQ(ChildNames(*polygon->Child(0)), (std::vector<std::string>{"Point", "Point", "Point"}));
  // X 0 is the default and is not written.
  EXPECT_EQ(polygon->Child(0)->Child(0)->FindChild("X"), nullptr);
  EXPECT_EQ(xml.Root()->LoadString("IsClosed", ""), "False");
  TfsPolygonShape q;
  q.LoadFromXml(xml.Root());
  ASSERT_EQ(q.Points().size(), 2u);
  EXPECT_EQ(q.Points()[0].size(), 3u);
  ASSERT_EQ(q.Points()[1].size(), 1u);
  EXPECT_FLOAT_EQ(q.Points()[1][0].X, 10.5f);
  EXPECT_FLOAT_EQ(q.Points()[0][2].Y, 30);
  EXPECT_FALSE(q.IsClosed());
  EXPECT_FALSE(q.FillPolygon().ClosedPath());
  // Saving again into the same node leaves one Polygon element.
  q.SaveToXml(*xml.Root());
  TXmlNodeList polygons;
  xml.Root()->FindChildren("Polygon", polygons);
  EXPECT_EQ(polygons.size(), 1u);
}

TEST(PolygonKeys, PropertiesSetByNameAndTheirUndoRecords) {
  FakeShapeDocument doc;
  TfsRoundRectShape r;
  r.SetDocument(&doc);
  doc.Forget();
  r.SetFillAlpha(100);
  r.SetFillAlpha(100);
  r.SetOutlineWidth(2);
  r.SetUseStipple(true); // no record
  r.SetCornerWidth(3);
  ASSERT_EQ(doc.CommandNames(),
            (std::vector<std::string>{"FillAlpha", "OutlineWidth", "CornerWidth"}));
  EXPECT_EQ(doc.Commands[0]->Value, "255");
  EXPECT_EQ(doc.Commands[1]->Value, "0.5");
  EXPECT_EQ(doc.Commands[2]->Value, "10");
  EXPECT_FLOAT_EQ(r.CurbTop(), 1);
  doc.Recording = false;
  for (auto it = doc.Commands.rbegin(); it != doc.Commands.rend(); ++it)
    EXPECT_TRUE(r.ExecuteCommand(**it));
  EXPECT_EQ(r.FillAlpha(), 255);
  EXPECT_FLOAT_EQ(r.OutlineWidth(), 0.5f);
  EXPECT_FLOAT_EQ(r.CurbTop(), 0.25f);
  EXPECT_FLOAT_EQ(r.CornerWidth(), 10);
  struct Case {
    const char *name, *value;
    bool (*check)(const TfsRoundRectShape &);
  };
  const Case cases[] = {
      {"isclosed", "False", [](const TfsRoundRectShape &s) { return !s.IsClosed(); }},
      {"FILLCOLOR", "255", [](const TfsRoundRectShape &s) { return s.FillColor() == 255; }},
      {"OutlineColor", "65280",
       [](const TfsRoundRectShape &s) { return s.OutlineColor() == 65280; }},
      {"UseFill", "False", [](const TfsRoundRectShape &s) { return !s.UseFill(); }},
      {"UseOutline", "False", [](const TfsRoundRectShape &s) { return !s.UseOutline(); }},
      {"UseStipple", "False", [](const TfsRoundRectShape &s) { return !s.UseStipple(); }},
      {"OutlineWidth", "1.25",
       [](const TfsRoundRectShape &s) { return s.OutlineWidth() == 1.25f; }},
      {"CornerHeight", "2.5", [](const TfsRoundRectShape &s) { return s.CornerHeight() == 2.5f; }},
      {"DocWidth", "12", [](const TfsRoundRectShape &s) { return s.DocWidth() == 12; }},
  };
  for (const Case &c : cases) {
    r.SetPropertyByName(c.name, c.value);
    EXPECT_TRUE(c.check(r)) << c.name;
  }
}

// ---- points -------------------------------------------------------------------------

TEST(PolygonPoints, QuarterArcStepsFollowTheArcLength) {
  const float twoOverPi = 2 / std::numbers::pi_v<float>;
  struct Case {
    float arc; // a = x pi / 2
    int steps;
  };
  // Just off each threshold, so that the float round trip cannot cross it.
  const Case cases[] = {{0, 1},     {0.49f, 1}, {0.51f, 2},  {2.99f, 2},   {3.01f, 3},
                        {6.99f, 3}, {7.01f, 2}, {99.9f, 20}, {100.1f, 11}, {2331.6f, 234}};
  for (const Case &c : cases)
    EXPECT_EQ(QuarterArcSteps(c.arc * twoOverPi), c.steps) << c.arc;
  EXPECT_EQ(QuarterArcSteps(std::nanf("")), 1);
  EXPECT_GT(QuarterArcSteps(1e30f), 0);
}

TEST(PolygonPoints, EllipseAt150DpiGetsItsPointsPerQuarter) {
  TfsEllipseShape e;
  TfsAffineTransform m;
  m.Scale(Dpm150, Dpm150);
  e.SetDeviceMatrix(m);
  e.BuildPoints();
  const double s = 150 / 25.4;
  const int n = int(std::ceil(std::numbers::pi * std::numbers::pi * s * 40 / 10));
  ASSERT_EQ(e.Points().size(), 1u);
  const TFloatContour &c = e.Points()[0];
  ASSERT_EQ(c.size(), size_t(4 * n));
  // Clockwise on screen from the right end of the horizontal axis.
  EXPECT_FLOAT_EQ(c[0].X, 40);
  EXPECT_FLOAT_EQ(c[0].Y, 15);
  EXPECT_FLOAT_EQ(c[size_t(n)].X, 20);
  EXPECT_FLOAT_EQ(c[size_t(n)].Y, 30);
  EXPECT_FLOAT_EQ(c[size_t(2 * n)].X, 0);
  EXPECT_FLOAT_EQ(c[size_t(3 * n)].Y, 0);
  for (const TFloatPoint &p : c) {
    const double u = (p.X - 20) / 20.0, v = (p.Y - 15) / 15.0;
    EXPECT_NEAR(u * u + v * v, 1, 1e-5);
  }
}

TEST(PolygonPoints, RoundedCornersAreClampedToHalfTheSide) {
  struct Case {
    float cw, ch;
    bool percent;
    float rx, ry;
  };
  const Case cases[] = {
      {30, 5, false, 20, 5},  // wider than half the width
      {4, 100, false, 4, 15}, // higher than half the height
      {25, 10, true, 10, 3},  // percentages of the sides
      {80, 80, true, 20, 15}, // clamped percentages
      {0, 0, false, 0, 0},    // square corners: repeated points
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.cw);
    TfsRoundRectShape r;
    r.SetCornerPropertiesArePercentage(c.percent);
    r.SetCornerWidth(c.cw);
    r.SetCornerHeight(c.ch);
    r.BuildPoints();
    const TFloatContour &p = r.Points()[0];
    const size_t n1 = p.size() / 4; // n + 1 points per corner
    ASSERT_EQ(p.size() % 4, 0u);
    EXPECT_FLOAT_EQ(p[0].X, 0);
    EXPECT_FLOAT_EQ(p[0].Y, c.ry);
    EXPECT_FLOAT_EQ(p[n1 - 1].X, c.rx);
    EXPECT_FLOAT_EQ(p[n1 - 1].Y, 0);
    EXPECT_FLOAT_EQ(p[n1].X, 40 - c.rx);
    EXPECT_FLOAT_EQ(p[2 * n1].X, 40);
    EXPECT_FLOAT_EQ(p[2 * n1].Y, 30 - c.ry);
    const TFloatRect b = r.PointsBounds();
    EXPECT_FLOAT_EQ(b.Right, 40);
    EXPECT_FLOAT_EQ(b.Bottom, 30);
  }
}

TEST(PolygonPoints, ResizingRegeneratesOrScalesThePoints) {
  TfsRectangleShape rect;
  rect.SetBounds(0, 0, 80, 30);
  const TFloatContour expected = {FloatPoint(0, 0), FloatPoint(0, 30), FloatPoint(80, 30),
                                  FloatPoint(80, 0)};
  ASSERT_EQ(rect.Points().size(), 1u);
  EXPECT_EQ(rect.Points()[0], expected);

  TfsPolygonShape poly;
  poly.SetStorePoints(true);
  poly.ClearPoints();
  for (TFloatPoint p : {FloatPoint(0, 0), FloatPoint(40, 10), FloatPoint(20, 30)})
    poly.AddPoint(p);
  poly.SetBounds(5, 5, 80, 30);
  EXPECT_EQ(poly.Points()[0],
            (TFloatContour{FloatPoint(0, 0), FloatPoint(80, 10), FloatPoint(40, 30)}));
  // Locked points stay, and so do points of a shape that had no size.
  poly.SetPointsLocked(true);
  poly.SetBounds(5, 5, 40, 30);
  EXPECT_FLOAT_EQ(poly.Points()[0][1].X, 80);
  poly.SetPointsLocked(false);
  poly.SetBounds(5, 5, 0, 30);
  poly.SetBounds(5, 5, 10, 30);
  EXPECT_FLOAT_EQ(poly.Points()[0][1].X, 80);
  // Fitting moves and scales the bounds onto the rectangle.
  poly.FitPoints(FloatRect(1, 2, 5, 5));
  const TFloatRect b = poly.PointsBounds();
  EXPECT_FLOAT_EQ(b.Left, 1);
  EXPECT_FLOAT_EQ(b.Top, 2);
  EXPECT_FLOAT_EQ(b.Right, 5);
  EXPECT_FLOAT_EQ(b.Bottom, 5);
  EXPECT_EQ(TfsPolygonShape().PointsBounds().Right, 0);
}

TEST(PolygonPoints, MarginsCoverTheOutlineAndPointsOutsideTheBox) {
  TfsPolygonShape poly;
  poly.SetStorePoints(true);
  poly.ClearPoints();
  for (TFloatPoint p : {FloatPoint(-2, 0), FloatPoint(40, -1), FloatPoint(43, 34)})
    poly.AddPoint(p);
  poly.UpdateExtents();
  // Outline 0.5 mm: the points' bounds widened by 0.5 on every side.
  EXPECT_FLOAT_EQ(poly.ExtentLeft(), 2.5f);
  EXPECT_FLOAT_EQ(poly.ExtentTop(), 1.5f);
  EXPECT_FLOAT_EQ(poly.ExtentRight(), 3.5f);
  EXPECT_FLOAT_EQ(poly.ExtentBottom(), 4.5f);
  poly.SetUseOutline(false);
  EXPECT_FLOAT_EQ(poly.ExtentLeft(), 2);
  EXPECT_FLOAT_EQ(poly.ExtentTop(), 1);
}

TEST(PolygonPoints, HitsFollowTheOutlineRegion) {
  FakeShapeDocument doc;
  doc.Mapping.Scale = 4; // screen pixels per mm
  TfsEllipseShape e;
  e.SetDocument(&doc);
  e.SetBounds(10, 10, 40, 30);
  EXPECT_TRUE(e.HitTest(Point(120, 100))) << "centre";
  EXPECT_FALSE(e.HitTest(Point(44, 44))) << "inside the box, outside the ellipse";
  EXPECT_FALSE(e.HitTest(Point(300, 100))) << "outside the box";
  TfsPolygonShape p;
  p.SetDocument(&doc);
  p.SetStorePoints(true);
  p.ClearPoints();
  for (TFloatPoint q : {FloatPoint(0, 0), FloatPoint(40, 0), FloatPoint(0, 30)})
    p.AddPoint(q);
  EXPECT_TRUE(p.HitTest(Point(20, 20)));
  EXPECT_FALSE(p.HitTest(Point(140, 100))) << "beyond the diagonal";
  EXPECT_EQ(p.OutlineScreenContours().size(), 1u);
}

// ---- pixels ---------------------------------------------------------------------------

TEST(PolygonPixels, RectangleEdgesHaveTheirPartialCoverage) {
  // 1.25 .. 5.55 mm across, 2.025 .. 5.025 mm down: edges through pixels.
  auto rect = BlackShape<TfsRectangleShape>(1.25f, 2.025f, 4.3f, 3);
  TPage page(*rect, 8, 8);
  const double x0 = 12.5, x1 = 55.5, y0 = 20.25, y1 = 50.25;
  double worst = 0;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 80; ++x) {
      const double expected = Overlap(x, x + 1, x0, x1) * Overlap(y, y + 1, y0, y1);
      worst = std::max(worst, std::abs(page.Coverage(x, y) - expected));
    }
  // Eight subsamples a side resolve an edge to an eighth of a pixel.
  EXPECT_LE(worst, 1 / 8.0 + 1 / 255.0);
  EXPECT_NEAR(page.TotalCoverage(), (x1 - x0) * (y1 - y0), 0.005 * (x1 - x0) * (y1 - y0));
  EXPECT_EQ(page.Bitmap.GetPixel(30, 30), 0xFF000000u);
  EXPECT_EQ(page.Bitmap.GetPixel(11, 30), White);
}

TEST(PolygonPixels, EllipseCoversItsArea) {
  auto e = BlackShape<TfsEllipseShape>(1, 1, 6, 4);
  TPage page(*e, 8, 6);
  const double area = std::numbers::pi * 30 * 20;
  EXPECT_NEAR(page.TotalCoverage(), area, 0.01 * area);
  EXPECT_EQ(page.Coverage(40, 30), 1);
  EXPECT_EQ(page.Coverage(12, 12), 0) << "outside, in the corner of the box";
  // Every pixel agrees with the distance from the true ellipse.
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) {
      const double u = (x + 0.5 - 40) / 30, v = (y + 0.5 - 30) / 20;
      const double r = std::sqrt(u * u + v * v);
      if (r < 0.93) {
        EXPECT_GT(page.Coverage(x, y), 0.99) << x << "," << y;
      } else if (r > 1.07) {
        EXPECT_LT(page.Coverage(x, y), 0.01) << x << "," << y;
      }
    }
}

TEST(PolygonPixels, OutlinesAreCentredOnThePathAndHaveTheirWidth) {
  struct Case {
    const char *name;
    float width;
    double pixels; // stroke width across an edge
    double tolerance;
  };
  const Case cases[] = {
      {"1 mm", 1, 10, 0.3}, {"0.35 mm", 0.35f, 3.5, 0.3}, {"hairline", 0, 1, 0.3}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    auto rect = BlackShape<TfsRectangleShape>(2, 2, 4, 3);
    rect->SetUseFill(false);
    rect->SetUseOutline(true);
    rect->SetOutlineWidth(c.width);
    TPage page(*rect, 8, 8);
    // Across the left edge (x = 20 px) in the middle row, and the top edge.
    double across = 0, down = 0, weighted = 0;
    for (int x = 0; x < 40; ++x) {
      across += page.Coverage(x, 35);
      weighted += page.Coverage(x, 35) * (x + 0.5);
    }
    for (int y = 0; y < 35; ++y)
      down += page.Coverage(40, y);
    EXPECT_NEAR(across, c.pixels, c.tolerance);
    EXPECT_NEAR(down, c.pixels, c.tolerance);
    EXPECT_NEAR(weighted / across, 20, 0.5) << "centred on the edge";
    EXPECT_EQ(page.Coverage(40, 35), 0) << "unfilled";
  }
}

TEST(PolygonPixels, StippleAloneDrawsTheDashes) {
  auto rect = BlackShape<TfsRectangleShape>(1, 1, 6, 4);
  rect->SetUseFill(false);
  rect->SetUseOutline(true);
  rect->SetOutlineWidth(0);
  rect->SetOutlineColor(0x0000FF); // red
  rect->SetUseStipple(true);
  rect->SetStippleSize(1); // ten pixels a period here
  TPage page(*rect, 8, 6, 0xFF808080);
  int light = 0, dark = 0, red = 0;
  for (int x = 12; x < 68; ++x)
    for (int y = 9; y <= 11; ++y) {
      const TColor32 c = page.Bitmap.GetPixel(x, y);
      const int r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF;
      light += g > 200;
      dark += r < 60 && g < 60;
      red += r - g > 100;
    }
  EXPECT_GT(light, 15);
  EXPECT_GT(dark, 15);
  EXPECT_EQ(red, 0) << "the hairline is not drawn under the dashes";
}

TEST(PolygonPixels, TranslucentFillMergesOntoTheTransparentCache) {
  auto rect = BlackShape<TfsRectangleShape>(1, 1, 4, 3);
  rect->SetFillColor(0x0000FF); // red
  rect->SetFillAlpha(128);
  rect->SetDocAngle(30); // through the cache
  TPage page(*rect, 8, 8);
  ASSERT_NE(rect->Cache(), nullptr);
  const TBitmap32 &cache = *rect->Cache();
  const TColor32 inside = cache.GetPixel(cache.Width() / 2, cache.Height() / 2);
  EXPECT_NEAR(int(inside >> 24), 128, 1);
  EXPECT_EQ(inside & 0x00FFFFFF, 0xFF0000u) << "the colour itself, not mixed with the back colour";
  EXPECT_EQ(cache.GetPixel(0, 0) >> 24, 0u);
}

TEST(PolygonPixels, RotatedAndTranslucentShapesThroughTheCache) {
  struct Case {
    const char *name;
    float angle;
    int32_t masterAlpha;
  };
  const Case cases[] = {{"90 degrees", 90, 255}, {"30 degrees", 30, 255}, {"half opaque", 0, 128}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    auto rect = BlackShape<TfsRectangleShape>(2, 6, 4, 3);
    rect->SetDocAngle(c.angle);
    rect->SetMasterAlpha(c.masterAlpha);
    ASSERT_TRUE(rect->NeedsCache());
    TPage page(*rect, 10, 10);
    const double area = 40 * 30 * (c.masterAlpha / 255.0);
    // The sampler filters the cache's edge pixels in straight (not
    // premultiplied) colour, which lightens the edges by a few percent.
    EXPECT_NEAR(page.TotalCoverage(), area, 0.04 * area);
    // The centre of the box, where LocalToParent puts it.
    const TFloatPoint centre = rect->LocalToParent(FloatPoint(2, 1.5f));
    EXPECT_NEAR(page.Coverage(int(centre.X * Dpm), int(centre.Y * Dpm)), c.masterAlpha / 255.0,
                0.02);
    if (c.angle == 90) {
      // (x, y) goes to (2 + y, 6 - x): 2..5 mm across, 2..6 mm down.
      EXPECT_GT(page.Coverage(35, 40), 0.98);
      EXPECT_LT(page.Coverage(55, 40), 0.02);
      EXPECT_LT(page.Coverage(35, 65), 0.02);
    }
  }
}

} // namespace
