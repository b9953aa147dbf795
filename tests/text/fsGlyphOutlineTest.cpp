#include "text/fsGlyphOutline.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr int32_t U = 65536; // one em unit in 16.16

TfsOutlinePoint P(double x, double y) {
  return {int32_t(std::lrint(x * U)), int32_t(std::lrint(y * U))};
}

TEST(OutlineMid, TruncatesTowardsZero) {
  struct Case {
    TfsOutlinePoint A, B, Mid;
  } cases[] = {
      {{0, 0}, {3, 5}, {1, 2}},
      {{-3, -5}, {0, 0}, {-1, -2}},
      {{INT32_MAX, INT32_MAX}, {INT32_MAX, 1}, {INT32_MAX, INT32_MAX / 2 + 1}},
      {{INT32_MIN, -1}, {INT32_MIN, -2}, {INT32_MIN, -1}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(OutlineMid(c.A, c.B), c.Mid) << c.A.X << "," << c.A.Y << " " << c.B.X << "," << c.B.Y;
}

TEST(FlattenNativeOutline, SmallPiecesAndLinesAsTheRulesGive) {
  struct Case {
    const char *Name;
    TfsNativeContour In;
    TfsContour Out; // before y is negated
  } cases[] = {
      {"lines skip repeats and close on the start",
       {P(0, 0), {{orLine, {P(10, 0), P(10, 0), P(10, 10)}}}},
       {P(0, 0), P(10, 0), P(10, 10), P(0, 0)}},
      {"a contour ending on its start is not closed twice",
       {P(0, 0), {{orLine, {P(10, 0), P(0, 10), P(0, 0)}}}},
       {P(0, 0), P(10, 0), P(0, 10), P(0, 0)}},
      {"a flat quadratic piece gives its control points and midpoint",
       {P(0, 0), {{orQSpline, {P(8, 8), P(16, 0)}}}},
       {P(0, 0), P(4, 4), P(8, 4), P(12, 4), P(16, 0), P(0, 0)}},
      {"a degenerate piece gives its control and end points",
       {P(0, 0), {{orQSpline, {P(0, 0), P(30, 0)}}}},
       {P(0, 0), P(0, 0), P(30, 0), P(0, 0)}},
      {"two controls imply an on-curve midpoint",
       {P(0, 0), {{orQSpline, {P(0, 8), P(8, 8), P(8, 0)}}}},
       {P(0, 0), P(0, 4), P(1, 6), P(2, 8), P(4, 8), P(6, 8), P(7, 6), P(8, 4), P(8, 0), P(0, 0)}},
      {"a record of one point draws nothing", {P(5, 5), {{orQSpline, {P(9, 9)}}}}, {P(5, 5)}},
  };
  for (const auto &c : cases) {
    TfsContour expected = c.Out;
    for (auto &p : expected)
      p.Y = -p.Y;
    auto out = FlattenNativeOutline({c.In});
    ASSERT_EQ(out.size(), 1u) << c.Name;
    EXPECT_EQ(out[0], expected) << c.Name;
  }
}

// Distance of q from the polyline, in em units.
double DistanceToPolyline(const TfsContour &poly, double qx, double qy) {
  double best = 1e300;
  for (size_t i = 0; i + 1 < poly.size(); ++i) {
    double ax = poly[i].X / double(U), ay = poly[i].Y / double(U);
    double bx = poly[i + 1].X / double(U), by = poly[i + 1].Y / double(U);
    double dx = bx - ax, dy = by - ay, len = dx * dx + dy * dy;
    double t = len > 0 ? std::clamp(((qx - ax) * dx + (qy - ay) * dy) / len, 0.0, 1.0) : 0;
    best = std::min(best, std::hypot(ax + t * dx - qx, ay + t * dy - qy));
  }
  return best;
}

TEST(FlattenNativeOutline, LargeCurvesStayWithinTheTolerance) {
  struct Case {
    const char *Name;
    TfsOutlineRecordKind Kind;
    std::vector<TfsOutlinePoint> Ctrl; // after the start (0, 0)
  } cases[] = {
      {"quadratic", orQSpline, {P(500, 900), P(1000, 0)}},
      {"cubic", orCSpline, {P(0, 800), P(1000, -800), P(1000, 0)}},
  };
  for (const auto &c : cases) {
    auto out = FlattenNativeOutline({{P(0, 0), {{c.Kind, c.Ctrl}}}});
    ASSERT_EQ(out.size(), 1u);
    const auto &poly = out[0];
    EXPECT_GT(poly.size(), 10u) << c.Name << ": a big curve must be subdivided";
    EXPECT_EQ(poly[poly.size() - 2], (TfsOutlinePoint{1000 * U, 0})) << c.Name;
    for (int i = 0; i <= 200; ++i) {
      double t = i / 200.0, u = 1 - t, x, y;
      if (c.Kind == orQSpline) {
        x = 2 * u * t * 500 + t * t * 1000;
        y = 2 * u * t * 900;
      } else {
        x = 3 * u * t * t * 1000 + t * t * t * 1000;
        y = 3 * u * u * t * 800 - 3 * u * t * t * 800;
      }
      EXPECT_LT(DistanceToPolyline(poly, x, -y), 20.0) << c.Name << " at t=" << t;
    }
  }
}

// An FT_Outline over caller-owned arrays.
struct TFtOutline {
  std::vector<FT_Vector> Points;
  std::vector<char> Tags;
  std::vector<short> Ends;
  FT_Outline Get() {
    FT_Outline o{};
    o.n_points = short(Points.size());
    o.n_contours = short(Ends.size());
    o.points = Points.data();
    o.tags = Tags.data();
    o.contours = Ends.data();
    return o;
  }
};

TEST(NativeOutlineFromFreeType, StartsOnTheCurveAndGroupsRecords) {
  constexpr char On = FT_CURVE_TAG_ON, Off = FT_CURVE_TAG_CONIC, Cub = FT_CURVE_TAG_CUBIC;
  // 26.6 units: 64 = one pixel = 65536 in 16.16.
  auto V = [](int x, int y) { return FT_Vector{x * 64, y * 64}; };
  auto Q = [](int x, int y) { return TfsOutlinePoint{x * U, y * U}; };
  struct Case {
    const char *Name;
    TFtOutline In;
    TfsOutlinePoint Start;
    std::vector<TfsOutlineRecord> Records;
  } cases[] = {
      {"on-curve start, lines then a closing curve",
       {{V(0, 0), V(10, 0), V(10, 10), V(0, 10)}, {On, On, On, Off}, {3}},
       Q(0, 0),
       {{orLine, {Q(10, 0), Q(10, 10)}}, {orQSpline, {Q(0, 10), Q(0, 0)}}}},
      {"off-curve first point starts at the last point",
       {{V(5, 10), V(10, 0), V(0, 0)}, {Off, On, On}, {2}},
       Q(0, 0),
       {{orQSpline, {Q(5, 10), Q(10, 0)}}}},
      {"both ends off start at their midpoint",
       {{V(0, 10), V(10, 0), V(10, 10)}, {Off, On, Off}, {2}},
       Q(5, 10),
       {{orQSpline, {Q(0, 10), Q(10, 0)}}, {orQSpline, {Q(10, 10), Q(5, 10)}}}},
      {"cubic controls make a cubic record",
       {{V(0, 0), V(0, 10), V(10, 10), V(10, 0)}, {On, Cub, Cub, On}, {3}},
       Q(0, 0),
       {{orCSpline, {Q(0, 10), Q(10, 10), Q(10, 0)}}}},
  };
  for (auto &c : cases) {
    FT_Outline o = c.In.Get();
    auto native = NativeOutlineFromFreeType(o);
    ASSERT_EQ(native.size(), 1u) << c.Name;
    EXPECT_EQ(native[0].Start, c.Start) << c.Name;
    ASSERT_EQ(native[0].Records.size(), c.Records.size()) << c.Name;
    for (size_t i = 0; i < c.Records.size(); ++i) {
      EXPECT_EQ(native[0].Records[i].Kind, c.Records[i].Kind) << c.Name << " record " << i;
      EXPECT_EQ(native[0].Records[i].Points, c.Records[i].Points) << c.Name << " record " << i;
    }
  }
}

TEST(NativeOutlineFromFreeType, DamagedContourEndsStopTheWalk) {
  TFtOutline in{{FT_Vector{0, 0}, FT_Vector{64, 0}}, {1, 1}, {1, 7}};
  FT_Outline o = in.Get();
  EXPECT_EQ(NativeOutlineFromFreeType(o).size(), 1u);
}

} // namespace
