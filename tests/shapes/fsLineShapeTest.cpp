#include "shapes/fsLineShape.h"

#include "engine/FakeDocumentHost.h"
#include "engine/FakeShapeDocument.h"
#include "engine/fsDocument.h"
#include "engine/fsPage.h"
#include "persist/fsPlainXml.h"
#include "shapes/fsStandardShapes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace {

using enginetest::FakeShapeDocument;

constexpr float Dpm = 8; // pixels per mm of the test pages
constexpr TColor32 White = 0xFFFFFFFF;

struct Registered {
  Registered() { RegisterStandardShapes(); }
};
const Registered registered;

TFloatPoint Sub(const TFloatPoint &a, const TFloatPoint &b) {
  return {a.X - b.X, a.Y - b.Y};
}
double Dot(const TFloatPoint &a, const TFloatPoint &b) {
  return double(a.X) * b.X + double(a.Y) * b.Y;
}

// A line from a to b at 0 degrees, black.
std::unique_ptr<TfsLineShape> MakeLine(TFloatPoint a, TFloatPoint b, float lineWidth = 1) {
  auto line = std::make_unique<TfsLineShape>();
  line->SetLineWidth(lineWidth);
  line->SetEndPoint(0, a);
  line->SetEndPoint(1, b);
  return line;
}

void ExpectPoint(const TFloatPoint &actual, float x, float y, float tolerance = 1e-4f) {
  EXPECT_NEAR(actual.X, x, tolerance);
  EXPECT_NEAR(actual.Y, y, tolerance);
}

// ---- geometry of the ends ------------------------------------------------------------

TEST(LineEnds, ANewLineRunsAcrossItsBox) {
  TfsLineShape line;
  EXPECT_EQ(line.ClassName(), "TfsLineShape");
  EXPECT_EQ(line.InsertCursor(), -33);
  EXPECT_EQ(line.PointCount(), 2);
  ExpectPoint(line.GetEndPoint(0), 0, 0);
  ExpectPoint(line.GetEndPoint(1), 40, 30);
  ExpectPoint(line.GetEndPoint(2), 0, 0);
  ExpectPoint(line.GetEndPoint(-1), 0, 0);
  EXPECT_FLOAT_EQ(line.LineWidth(), 1);
  EXPECT_FALSE(line.UseOutline());
  EXPECT_TRUE(line.UseFill());
  EXPECT_FALSE(line.StorePoints());
  EXPECT_EQ(line.FillColor(), 0);
  for (int end : {0, 1}) {
    EXPECT_EQ(line.Arrow(end).Style(), asNoArrow);
    EXPECT_FLOAT_EQ(line.Arrow(end).Width(), 5);
    EXPECT_FLOAT_EQ(line.Arrow(end).Length(), 7);
    EXPECT_EQ(line.Arrow(end).Line(), &line);
  }
  // Square ends: one closed contour of the two ends' corners.
  ASSERT_EQ(line.Points().size(), 1u);
  EXPECT_EQ(line.Points()[0].size(), 4u);
}

TEST(LineEnds, TheBoxFollowsTheEnds) {
  struct Case {
    const char *name;
    TFloatPoint a, b;
    TFloatRect box; // left, top, right, bottom
  };
  const Case cases[] = {
      {"down to the right", {10, 20}, {50, 50}, {10, 20, 50, 50}},
      {"up to the left", {50, 50}, {10, 20}, {10, 20, 50, 50}},
      {"level: 1 mm high", {10, 20}, {30, 20}, {10, 20, 30, 21}},
      {"upright: 1 mm wide", {5, 40}, {5, 10}, {5, 10, 6, 40}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    auto line = MakeLine(c.a, c.b);
    EXPECT_NEAR(line->DocLeft(), c.box.Left, 1e-4);
    EXPECT_NEAR(line->DocTop(), c.box.Top, 1e-4);
    EXPECT_NEAR(line->DocWidth(), c.box.Right - c.box.Left, 1e-4);
    EXPECT_NEAR(line->DocHeight(), c.box.Bottom - c.box.Top, 1e-4);
    ExpectPoint(line->GetEndPoint(0), c.a.X, c.a.Y);
    ExpectPoint(line->GetEndPoint(1), c.b.X, c.b.Y);
  }
}

TEST(LineEnds, OnlyTheTwoEndsCanBeSet) {
  auto line = MakeLine({10, 10}, {30, 20});
  line->SetEndPoint(2, {100, 100});
  line->SetEndPoint(-1, {100, 100});
  EXPECT_EQ(line->PointCount(), 2);
  line->AddEndPoint({100, 100});
  ASSERT_EQ(line->PointCount(), 3);
  // The third entry is not set: it sits at the box's top-left corner, and
  // the box is still that of the two ends.
  ExpectPoint(line->GetEndPoint(2), 10, 10);
  EXPECT_FLOAT_EQ(line->DocWidth(), 20);
  line->SetEndPoint(0, {0, 5});
  ExpectPoint(line->GetEndPoint(2), 0, 5);
  EXPECT_EQ(line->HandleScreenRects().size(), 3u);
}

TEST(LineEnds, ResizingTheBoxMovesTheEndsWithIt) {
  auto line = MakeLine({10, 40}, {30, 20});
  line->SetBounds(0, 0, 40, 10);
  ExpectPoint(line->GetEndPoint(0), 0, 10);
  ExpectPoint(line->GetEndPoint(1), 40, 0);
  // The outline is regenerated for the new ends (local frame).
  const TFloatRect b = line->PointsBounds();
  EXPECT_LT(b.Left, 0);
  EXPECT_GT(b.Right, 40);
}

TEST(LineEnds, TurningTurnsTheEndsAndKeepsTheAngle) {
  struct Case {
    const char *name;
    std::function<void(TfsLineShape &)> turn;
    TFloatPoint a, b;
  };
  // From (10, 10) to (50, 40); a turn of 90 degrees counter-clockwise on
  // screen takes (x, y) relative to the centre of rotation to (y, -x).
  const Case cases[] = {
      {"SetDocAngle, about the box's top-left corner",
       [](TfsLineShape &l) { l.SetDocAngle(90); },
       {10, 10},
       {40, -30}},
      {"RotateAboutCentre, about the middle",
       [](TfsLineShape &l) { l.RotateAboutCentre(90); },
       {15, 45},
       {45, 5}},
      {"SetGeometry with a new angle",
       [](TfsLineShape &l) { l.SetGeometry(10, 10, 40, 30, 180); },
       {10, 10},
       {-30, -20}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    auto line = MakeLine({10, 10}, {50, 40});
    c.turn(*line);
    EXPECT_EQ(line->DocAngle(), 0);
    EXPECT_FALSE(line->NeedsCache()) << "drawn straight onto the page";
    ExpectPoint(line->GetEndPoint(0), c.a.X, c.a.Y);
    ExpectPoint(line->GetEndPoint(1), c.b.X, c.b.Y);
    EXPECT_NEAR(line->DocLeft(), std::min(c.a.X, c.b.X), 1e-4);
    EXPECT_NEAR(line->DocHeight(), std::fabs(c.a.Y - c.b.Y), 1e-4);
  }
}

TEST(LineEnds, APlacingDragThatCrossesOverKeepsItsDirection) {
  struct Case {
    const char *name;
    TFloatRect rect; // from the press to the release
    TFloatPoint a, b;
  };
  const Case cases[] = {
      {"down to the right", {10, 10, 30, 20}, {10, 10}, {30, 20}},
      {"up to the left", {30, 20, 10, 10}, {30, 20}, {10, 10}},
      {"down to the left", {30, 10, 10, 20}, {30, 10}, {10, 20}},
      {"up to the right", {10, 20, 30, 10}, {10, 20}, {30, 10}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TfsLineShape line;
    line.SetBoundsFromRect(c.rect);
    ExpectPoint(line.GetEndPoint(0), c.a.X, c.a.Y);
    ExpectPoint(line.GetEndPoint(1), c.b.X, c.b.Y);
    EXPECT_FLOAT_EQ(line.DocWidth(), 20);
  }
}

// ---- handles ----------------------------------------------------------------------------

TEST(LineHandles, OneHandlePerEndJoinedByALine) {
  struct Case {
    const char *name;
    bool mirrored, flipped;
    TFloatPoint h0, h1; // local mm
  };
  const Case cases[] = {
      {"plain", false, false, {0, 30}, {40, 0}},
      {"mirrored", true, false, {40, 30}, {0, 0}},
      {"flipped", false, true, {0, 0}, {40, 30}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    auto line = MakeLine({10, 40}, {50, 10});
    line->SetMirrored(c.mirrored);
    line->SetFlipped(c.flipped);
    line->PrepareHandles();
    const TfsHandlePainter &p = line->HandlePainter();
    ASSERT_EQ(p.Handles().size(), 2u);
    for (const TfsHandle &h : p.Handles())
      EXPECT_EQ(h.Kind, hkPoint);
    EXPECT_NEAR(p.Handles()[0].X, c.h0.X, 1e-4);
    EXPECT_NEAR(p.Handles()[0].Y, c.h0.Y, 1e-4);
    EXPECT_NEAR(p.Handles()[1].X, c.h1.X, 1e-4);
    EXPECT_NEAR(p.Handles()[1].Y, c.h1.Y, 1e-4);
    ASSERT_EQ(p.Lines().size(), 1u);
    EXPECT_EQ(p.Lines()[0].FromHandle, 0);
    EXPECT_EQ(p.Lines()[0].ToHandle, 1);
    EXPECT_EQ(p.Lines()[0].HitKind, hkNone);
  }
}

TEST(LineHandles, DraggingAnEndHandleMovesThatEnd) {
  FakeShapeDocument doc;
  doc.Mapping.Scale = 4; // screen pixels per mm
  auto line = MakeLine({10, 40}, {50, 10});
  line->SetDocument(&doc);
  line->SetSelected(true);
  // The press on end 1's handle, at (50, 10) mm = (200, 40) px.
  ASSERT_EQ(line->HandleAtPoint(Point(201, 39)), hkPoint);
  EXPECT_EQ(line->DragHandle(), 1);
  // The editor moves the grabbed handle's drag position and keeps the box.
  TfsHandle &h = line->HandlePainter().Handles()[1];
  h.DragX += 5;
  h.DragY += 20;
  line->SetEditGeometry(line->DocLeft(), line->DocTop(), line->DocWidth(), line->DocHeight(),
                        line->DocAngle());
  line->ApplyEditGeometry();
  ExpectPoint(line->GetEndPoint(0), 10, 40);
  ExpectPoint(line->GetEndPoint(1), 55, 30);
  EXPECT_NEAR(line->DocWidth(), 45, 1e-4);
  EXPECT_NEAR(line->DocHeight(), 10, 1e-4);

  // A move of the whole line, with the handle index of an earlier press
  // still set: the box moves and both ends with it.
  line->PrepareHandles();
  for (TfsHandle &m : line->HandlePainter().Handles())
    m.DragX += 3;
  line->SetEditGeometry(line->DocLeft() + 3, line->DocTop(), line->DocWidth(), line->DocHeight(),
                        0);
  line->ApplyEditGeometry();
  ExpectPoint(line->GetEndPoint(0), 13, 40);
  ExpectPoint(line->GetEndPoint(1), 58, 30);
}

TEST(LineHandles, DraggingAMirroredLinesHandleMovesTheEndShownThere) {
  auto line = MakeLine({10, 40}, {50, 10});
  line->SetMirrored(true);
  line->PrepareHandles();
  line->SetDragHandle(0);
  // Handle 0 is drawn at local (40, 30): the left end mirrored.
  TfsHandle &h = line->HandlePainter().Handles()[0];
  h.DragX -= 10;
  line->SetEditGeometry(line->DocLeft(), line->DocTop(), line->DocWidth(), line->DocHeight(), 0);
  line->ApplyEditGeometry();
  ExpectPoint(line->GetEndPoint(0), 20, 40);
  ExpectPoint(line->GetEndPoint(1), 50, 10);
}

TEST(LineHandles, TheInsertFrameIsADottedXorLineBetweenTheCorners) {
  TBitmap32 canvas;
  canvas.SetSize(40, 30);
  canvas.FillAll(0xFF000000);
  TfsLineShape line;
  // From the start corner (30, 5) back down to (6, 25).
  const TRect rect{30, 5, 6, 25};
  line.DrawInsertFrame(canvas, rect, 0xFFFFFF);
  int changed = 0, offLine = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      if (canvas.GetPixel(x, y) == 0xFF000000)
        continue;
      ++changed;
      // Distance from the segment's line, in pixels.
      const double d = std::fabs((x - 30) * 20.0 - (y - 5) * -24.0) / std::hypot(24.0, 20.0);
      offLine += d > 1;
    }
  EXPECT_GE(changed, 10) << "dots along the line";
  EXPECT_LE(changed, 20) << "every other pixel only";
  EXPECT_EQ(offLine, 0);
  EXPECT_EQ(canvas.GetPixel(6, 5), 0xFF000000u) << "no rectangle";
  line.DrawInsertFrame(canvas, rect, 0xFFFFFF);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      ASSERT_EQ(canvas.GetPixel(x, y), 0xFF000000u) << "the second draw erases";
}

// Through a document: placed by a drag that crosses over, then its end
// dragged by its handle and the whole line moved by its body.
TEST(LineHandles, InADocumentTheMouseDrawsAndReshapesTheLine) {
  TFakeDocumentHost host;
  TfsDocument doc(&host);
  doc.SetViewMapping({0, 0, 4});
  doc.SetViewStyle(vsNormal);
  auto screen = [&](float x, float y) {
    const TFloatPoint p = doc.CurrentPage()->LocalToScreen({x, y});
    return TPoint{int32_t(std::lrint(p.X)), int32_t(std::lrint(p.Y))};
  };
  auto drag = [&](TPoint from, TPoint to) {
    doc.MouseDown(mbLeft, ssLeft, from);
    for (int i = 1; i <= 4; ++i)
      doc.MouseMove(ssLeft, {from.X + (to.X - from.X) * i / 4, from.Y + (to.Y - from.Y) * i / 4});
    doc.MouseUp(mbLeft, ssLeft, to);
  };
  auto owned = std::make_unique<TfsLineShape>();
  TfsLineShape *line = owned.get();
  doc.StartInsertDrag(std::move(owned));
  drag(screen(50, 25), screen(10, 5));
  ASSERT_EQ(doc.ShapeCount(), 1);
  ExpectPoint(line->GetEndPoint(0), 50, 25);
  ExpectPoint(line->GetEndPoint(1), 10, 5);
  ASSERT_TRUE(line->Selected());

  drag(screen(10, 5), screen(20, 45));
  ExpectPoint(line->GetEndPoint(0), 50, 25);
  ExpectPoint(line->GetEndPoint(1), 20, 45);
  EXPECT_EQ(line->DocAngle(), 0);

  drag(screen(35, 35), screen(40, 30));
  ExpectPoint(line->GetEndPoint(0), 55, 20);
  ExpectPoint(line->GetEndPoint(1), 25, 40);
}

// ---- head outlines ------------------------------------------------------------------------

TEST(LineHeads, NoWiderThanTheLineMeansSquareEnds) {
  for (int style = 0; style < ArrowStyleCount; ++style)
    for (float width : {2.0f, 1.5f}) {
      SCOPED_TRACE(std::string(ArrowStyleName(uint8_t(style))) + " " + std::to_string(width));
      auto line = MakeLine({10, 10}, {40, 50}, 2);
      for (int end : {0, 1}) {
        line->Arrow(end).SetStyle(uint8_t(style));
        line->Arrow(end).SetWidth(width);
      }
      ASSERT_EQ(line->Points().size(), 1u);
      const TFloatContour &c = line->Points()[0];
      ASSERT_EQ(c.size(), 4u);
      // Each corner lies on the line through its end, 1 mm to the side.
      const TFloatPoint d{0.6f, 0.8f}; // from end 0 to end 1
      const TFloatPoint ends[4] = {{10, 10}, {10, 10}, {40, 50}, {40, 50}};
      for (size_t i = 0; i < 4; ++i) {
        const TFloatPoint p = line->LocalToParent(c[i]);
        const TFloatPoint r = Sub(p, ends[i]);
        EXPECT_NEAR(Dot(r, d), 0, 1e-4) << i;
        EXPECT_NEAR(std::hypot(r.X, r.Y), 1, 1e-4) << i;
      }
    }
}

TEST(LineHeads, AShortLineGetsHeadsOfSevenTenthsItsLength) {
  struct Case {
    float length, arrowLength, head;
  };
  const Case cases[] = {{5, 7, 3.5f}, {20, 7, 7}, {10, 7, 7}, {9, 7, 6.3f}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.length);
    auto line = MakeLine({0, 0}, {c.length, 0});
    for (int end : {0, 1}) {
      line->Arrow(end).SetStyle(asArrow);
      line->Arrow(end).SetLength(c.arrowLength);
    }
    const TFloatContour &p = line->Points()[0];
    // End 0: Q, B - m, T, B + m, P; then end 1 the same.
    ASSERT_EQ(p.size(), 10u);
    EXPECT_NEAR(p[1].X, c.head, 1e-4) << "end 0's barbs";
    EXPECT_NEAR(p[3].X, c.head, 1e-4);
    EXPECT_NEAR(p[2].X, 0, 1e-4) << "end 0's tip";
    EXPECT_NEAR(p[6].X, c.length - c.head, 1e-4) << "end 1's barbs";
    EXPECT_NEAR(p[7].X, c.length, 1e-4) << "end 1's tip";
    EXPECT_NEAR(std::fabs(p[1].Y - p[3].Y), 5, 1e-4) << "as wide as the arrow";
  }
}

TEST(LineHeads, CoincidingEndsKeepTheLastOutline) {
  auto line = MakeLine({10, 10}, {20, 10});
  const TFloatContours before = line->Points();
  line->SetEndPoint(1, {10, 10});
  line->BuildPoints();
  EXPECT_EQ(line->Points(), before);
}

// ---- pixels -------------------------------------------------------------------------------

// Whether a point (mm, page) belongs to the thick line with its heads, as
// the drawing should look; worked out from the shapes of the heads, not from
// the outline's points.
struct TExpectedLine {
  TFloatPoint A, B; // end 0, end 1
  float LineWidth;
  uint8_t Style[2];
  float Width[2], Length[2];

  float Len() const { return std::hypot(B.X - A.X, B.Y - A.Y); }
  float HeadLength(int end) const {
    if (Width[end] <= LineWidth || Style[end] == asNoArrow)
      return 0;
    return std::min(0.7f * Len(), Length[end]);
  }
  uint8_t StyleOf(int end) const {
    return Width[end] <= LineWidth ? uint8_t(asNoArrow) : Style[end];
  }

  // Inside the head of one end, in the head's frame: x from the base
  // towards the tip (0 .. h), y across.
  bool InHead(int end, double x, double y) const {
    const double h = HeadLength(end), w = Width[end] / 2.0, lw = LineWidth;
    if (h <= 0 || x < 0 || x > h)
      return false;
    const double ay = std::fabs(y);
    const bool inTriangle = ay <= w * (1 - x / h);
    // Distance inwards from the barb's outer edge (from the tip to (0, w)).
    const double edge = (1 - x / h - ay / w) / std::sqrt(1 / (h * h) + 1 / (w * w));
    switch (StyleOf(end)) {
    case asArrow:
      return inTriangle;
    case asOpenArrow:
      // Barbs as thick as the line, and the line itself up to the tip.
      return inTriangle && (ay <= lw / 2 || edge <= lw);
    case asStealthArrow: {
      if (!inTriangle)
        return false;
      // Beside the line, the notch between the shaft and the barb: under
      // the barb's inner edge (as thick as the line inside its outer edge)
      // from where it meets the shaft back to the base, bulged out by a
      // quarter ellipse so that it reaches the base a quarter line width
      // inside the barb's tip.
      const double cross = ay - lw / 2; // beyond the shaft's edge
      if (cross < 0)
        return true;
      const double thick = lw * std::sqrt(1 / (h * h) + 1 / (w * w));
      const double k0 = w * (1 - thick);                // inner edge at the base
      const double xu = h * (1 - thick - lw / (2 * w)); // inner edge at the shaft
      if (xu <= 0 || x > xu)
        return true;
      const double t = x / xu;
      const double lineAt = (k0 - lw / 2) * (1 - t);
      const double bulge = (w - lw / 4 - lw / 2 - (k0 - lw / 2)) * std::sqrt(1 - t * t);
      return cross > lineAt + bulge;
    }
    case asDiamond: {
      // The rhombus, widened at its back to the line's width.
      const double half = h / 2;
      if (x <= half)
        return ay <= lw / 2 + (w - lw / 2) * (x / half);
      return ay <= w * (1 - (x - half) / half);
    }
    case asOval: {
      const double a = h / 2, u = (x - a) / a, v = y / w;
      return u * u + v * v <= 1;
    }
    case asRectangle:
      return ay <= w;
    default:
      return false;
    }
  }

  bool Contains(double px, double py) const {
    const double len = Len();
    const double dx = (B.X - A.X) / len, dy = (B.Y - A.Y) / len;
    const double along = (px - A.X) * dx + (py - A.Y) * dy; // from end 0
    const double across = -(px - A.X) * dy + (py - A.Y) * dx;
    const double h0 = HeadLength(0), h1 = HeadLength(1);
    if (along >= h0 && along <= len - h1 && std::fabs(across) <= LineWidth / 2)
      return true;
    return InHead(0, h0 - along, -across) || InHead(1, along - (len - h1), across);
  }
};

struct TLinePage {
  TBitmap32 Bitmap;
  TLinePage(TfsShape &shape, float w, float h) {
    Bitmap.SetSize(int32_t(w * Dpm), int32_t(h * Dpm));
    Bitmap.FillAll(White);
    TDeviceContext context;
    context.DestDpm = context.CacheDpm = Dpm;
    TfsShape::RenderShape(shape, Bitmap, FloatRect(0, 0, w, h), context, false);
  }
  double Coverage(int x, int y) const { return 1 - (Bitmap.GetPixel(x, y) & 0xFF) / 255.0; }
};

// Pixels well inside the expected outline are black, pixels well outside
// are white, and the ink adds up to the expected area.
void CheckAgainst(const TLinePage &page, const TExpectedLine &e) {
  int wrongInside = 0, wrongOutside = 0, inside = 0;
  double ink = 0, area = 0;
  for (int y = 0; y < page.Bitmap.Height(); ++y)
    for (int x = 0; x < page.Bitmap.Width(); ++x) {
      // Samples over the pixel and half a pixel around it.
      int hits = 0, samples = 0;
      for (int j = 0; j <= 6; ++j)
        for (int i = 0; i <= 6; ++i, ++samples)
          hits += e.Contains((x - 0.5 + i / 3.0) / Dpm, (y - 0.5 + j / 3.0) / Dpm);
      int areaHits = 0;
      for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
          areaHits += e.Contains((x + (i + 0.5) / 4) / Dpm, (y + (j + 0.5) / 4) / Dpm);
      area += areaHits / 16.0;
      const double c = page.Coverage(x, y);
      ink += c;
      if (hits == samples) {
        ++inside;
        wrongInside += c < 0.98;
      } else if (hits == 0) {
        wrongOutside += c > 0.02;
      }
    }
  EXPECT_GT(inside, 100);
  EXPECT_EQ(wrongInside, 0);
  EXPECT_EQ(wrongOutside, 0);
  EXPECT_NEAR(ink, area, 0.02 * area);
}

TEST(LinePixels, ThickLinesAndEveryHeadStyleCoverTheirOutline) {
  struct Case {
    const char *name;
    uint8_t style0, style1;
    float lineWidth;
  };
  const Case cases[] = {
      {"thick line, square ends", asNoArrow, asNoArrow, 2.5f},
      {"Arrow", asNoArrow, asArrow, 1},
      {"OpenArrow", asNoArrow, asOpenArrow, 1},
      {"StealthArrow", asNoArrow, asStealthArrow, 1},
      {"Diamond", asNoArrow, asDiamond, 1},
      {"Oval", asNoArrow, asOval, 1},
      {"Rectangle", asNoArrow, asRectangle, 1},
      {"heads at both ends", asOpenArrow, asArrow, 0.8f},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const TFloatPoint a{6, 26}, b{34, 6};
    auto line = MakeLine(a, b, c.lineWidth);
    line->Arrow(0).SetStyle(c.style0);
    line->Arrow(1).SetStyle(c.style1);
    const TExpectedLine e{a, b, c.lineWidth, {c.style0, c.style1}, {5, 5}, {7, 7}};
    TLinePage page(*line, 40, 32);
    CheckAgainst(page, e);
  }
}

TEST(LinePixels, TheFillColourAndOpacityApply) {
  auto line = MakeLine({4, 10}, {36, 10}, 3);
  line->SetFillColor(0x0000FF); // red
  line->SetFillAlpha(128);
  TLinePage page(*line, 40, 20);
  const TColor32 mid = page.Bitmap.GetPixel(160, 80);
  EXPECT_NEAR(int((mid >> 16) & 0xFF), 255, 1);
  EXPECT_NEAR(int((mid >> 8) & 0xFF), 127, 2) << "half way from white to red";
  EXPECT_EQ(page.Bitmap.GetPixel(160, 40), White);
}

// Absurd numbers in a file load, draw and save again without a fault (the
// sanitizers of the test build stop on overflowing conversions and stray
// writes).
TEST(LinePixels, FilesWithAbsurdNumbersLoadDrawAndSave) {
  struct Case {
    const char *name;
    const char *lineWidth, *x1, *width, *length;
  };
  const Case cases[] = {
      {"huge line width", "1e30", "30", "5", "7"}, {"not a number", "nan", "nan", "nan", "nan"},
      {"infinite head", "1", "30", "inf", "inf"},  {"negative sizes", "-2", "30", "-5", "-7"},
      {"far away end", "1", "3e38", "5", "7"},     {"huge oval head", "0.1", "1e7", "1e7", "1e7"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    for (const char *style : {"Arrow", "StealthArrow", "Oval", "OpenArrow"}) {
      TPlainXml xml;
      xml.ReadFromString(
          std::string("<Shape><ClassName>TfsLineShape</ClassName><UseFill>True</UseFill>"
                      "<FillAlpha>255</FillAlpha><LineWidth>") +
          c.lineWidth + "</LineWidth><Arrow1><Style>" + style + "</Style><Width>" + c.width +
          "</Width><Length>" + c.length +
          "</Length></Arrow1><Points><Point><X>2</X><Y>2</Y></Point><Point><X>" + c.x1 +
          "</X><Y>9</Y></Point></Points></Shape>");
      std::unique_ptr<TfsShape> shape = TfsShape::CreateFromXml(xml.Root());
      TBitmap32 page;
      page.SetSize(80, 80);
      page.FillAll(White);
      TDeviceContext context;
      context.DestDpm = context.CacheDpm = 4;
      ASSERT_EQ(shape->ClassName(), "TfsLineShape");
      TfsShape::RenderShape(*shape, page, FloatRect(0, 0, 20, 20), context, false);
      TPlainXml out("Shape");
      shape->SaveToXml(*out.Root());
      EXPECT_EQ(out.Root()->FindChild("Points")->ChildCount(), 2);
    }
  }
}

// ---- files --------------------------------------------------------------------------------

std::vector<std::string> ChildNames(const TXmlNode &node) {
  std::vector<std::string> out;
  for (int i = 0; i < node.ChildCount(); ++i)
    out.push_back(node.Child(i)->Name());
  return out;
}

int IndexOf(const std::vector<std::string> &names, const std::string &name) {
  auto it = std::find(names.begin(), names.end(), name);
  return it == names.end() ? -1 : int(it - names.begin());
}

TEST(LineFiles, ANewLineSavesItsKeysBeforeThePolygonsKeys) {
  TfsLineShape line;
  TPlainXml xml("shape");
  line.SaveToXml(*xml.Root());
  const TXmlNode &n = *xml.Root();
  for (const char *name : {"Arrow0", "Arrow1"}) {
    const TXmlNode *a = n.FindChild(name);
    ASSERT_NE(a, nullptr) << name;
    EXPECT_EQ(a->LoadString("Style", ""), "NoArrow");
    EXPECT_EQ(a->LoadString("Width", ""), "5");
    EXPECT_EQ(a->LoadString("Length", ""), "7");
  }
  const TXmlNode *points = n.FindChild("Points");
  ASSERT_NE(points, nullptr);
  ASSERT_EQ(ChildNames(*points), (std::vector<std::string>{"Point", "Point"}));
  EXPECT_EQ(points->Child(0)->ChildCount(), 0) << "(0, 0): both values at their default";
  EXPECT_EQ(points->Child(1)->LoadString("X", ""), "40");
  EXPECT_EQ(points->Child(1)->LoadString("Y", ""), "30");
  EXPECT_EQ(n.LoadString("LineWidth", ""), "1");
  EXPECT_EQ(n.LoadString("ClassName", ""), "TfsLineShape");
  EXPECT_EQ(n.LoadString("UseFill", ""), "True");
  for (const char *absent : {"UseOutline", "FillColor", "StorePoints", "Polygon"})
    EXPECT_EQ(n.FindChild(absent), nullptr) << absent;
  const std::vector<std::string> names = ChildNames(n);
  for (const char *key : {"Arrow0", "Arrow1", "Points", "LineWidth"})
    EXPECT_LT(IndexOf(names, key), IndexOf(names, "FillAlpha")) << key;
  // Saving again into the same node leaves every element once.
  line.SaveToXml(*xml.Root());
  EXPECT_EQ(ChildNames(*xml.Root()), names);
  EXPECT_EQ(xml.Root()->FindChild("Points")->ChildCount(), 2);
}

TEST(LineFiles, ALineRoundTripsThroughItsFile) {
  auto line = MakeLine({12.5f, 30}, {47, 8.25f}, 1.5f);
  line->Arrow(0).SetStyle(asStealthArrow);
  line->Arrow(0).SetWidth(6);
  line->Arrow(0).SetLength(9.5f);
  line->Arrow(1).SetStyle(asOval);
  line->Arrow(1).SetWidth(0); // a file default
  line->Arrow(1).SetLength(3);
  line->SetFillColor(0x00FF00);
  TPlainXml xml("shape");
  line->SaveToXml(*xml.Root());
  EXPECT_EQ(xml.Root()->FindChild("Arrow1")->FindChild("Width"), nullptr);
  std::unique_ptr<TfsShape> loaded = TfsShape::CreateFromXml(xml.Root());
  auto *copy = dynamic_cast<TfsLineShape *>(loaded.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Arrow(0).Style(), asStealthArrow);
  EXPECT_FLOAT_EQ(copy->Arrow(0).Width(), 6);
  EXPECT_FLOAT_EQ(copy->Arrow(0).Length(), 9.5f);
  EXPECT_EQ(copy->Arrow(1).Style(), asOval);
  EXPECT_FLOAT_EQ(copy->Arrow(1).Width(), 0);
  EXPECT_FLOAT_EQ(copy->Arrow(1).Length(), 3);
  EXPECT_FLOAT_EQ(copy->LineWidth(), 1.5f);
  EXPECT_EQ(copy->FillColor(), 0x00FF00);
  ExpectPoint(copy->GetEndPoint(0), 12.5f, 30);
  ExpectPoint(copy->GetEndPoint(1), 47, 8.25f);
  EXPECT_FLOAT_EQ(copy->DocLeft(), line->DocLeft());
  EXPECT_FLOAT_EQ(copy->DocHeight(), line->DocHeight());
  EXPECT_EQ(copy->Points(), line->Points());
}

TEST(LineFiles, AHandWrittenFileWithThreePoints) {
  TPlainXml xml;
  xml.ReadFromString(R"(<?xml version="1.0" encoding="UTF-8"?>
<Shape>
  <ClassName>TfsLineShape</ClassName>
  <DocLeft>0</DocLeft>
  <DocTop>0</DocTop>
  <DocWidth>100</DocWidth>
  <DocHeight>100</DocHeight>
  <Arrow0><Style>diamond</Style><Width>4</Width><Length>3</Length></Arrow0>
  <Arrow1><Style>Spear</Style><Length>2</Length></Arrow1>
  <Points>
    <Point><X>20</X><Y>60</Y></Point>
    <Point><X>50</X><Y>10</Y></Point>
    <Point><X>90</X><Y>90</Y></Point>
  </Points>
  <LineWidth>0.5</LineWidth>
  <FillAlpha>255</FillAlpha>
  <UseFill>True</UseFill>
</Shape>
)");
  std::unique_ptr<TfsShape> loaded = TfsShape::CreateFromXml(xml.Root());
  auto *line = dynamic_cast<TfsLineShape *>(loaded.get());
  ASSERT_NE(line, nullptr);
  ASSERT_EQ(line->PointCount(), 3);
  ExpectPoint(line->GetEndPoint(0), 20, 60);
  ExpectPoint(line->GetEndPoint(1), 50, 10);
  ExpectPoint(line->GetEndPoint(2), 20, 10); // the box's top-left corner
  EXPECT_FLOAT_EQ(line->DocLeft(), 20);
  EXPECT_FLOAT_EQ(line->DocTop(), 10);
  EXPECT_FLOAT_EQ(line->DocWidth(), 30);
  EXPECT_FLOAT_EQ(line->DocHeight(), 50);
  EXPECT_EQ(line->Arrow(0).Style(), asDiamond);
  EXPECT_FLOAT_EQ(line->Arrow(0).Width(), 4);
  EXPECT_FLOAT_EQ(line->Arrow(0).Length(), 3);
  EXPECT_EQ(line->Arrow(1).Style(), asNoArrow) << "an unknown name keeps the style";
  EXPECT_FLOAT_EQ(line->Arrow(1).Width(), 0) << "absent: the file default";
  EXPECT_FLOAT_EQ(line->LineWidth(), 0.5f);
  EXPECT_FALSE(line->UseOutline());
  EXPECT_EQ(line->FillColor(), 0);
  // Drawn: a diamond at end 0, a square end 1 (its head is no wider than
  // the line).
  TLinePage page(*line, 60, 70);
  const TExpectedLine e{{20, 60}, {50, 10}, 0.5f, {asDiamond, asNoArrow}, {4, 0}, {3, 2}};
  CheckAgainst(page, e);
}

TEST(LineFiles, AFileWithoutLineKeysKeepsTheEndsInTheLoadedBox) {
  TPlainXml xml("shape");
  xml.Root()->StoreString("ClassName", "TfsLineShape", "");
  xml.Root()->StoreFloat("DocLeft", 5.0f, 0.0f);
  xml.Root()->StoreFloat("DocWidth", 20.0f, 0.0f);
  xml.Root()->StoreFloat("DocHeight", 10.0f, 0.0f);
  TfsLineShape line;
  line.LoadFromXml(xml.Root());
  EXPECT_FLOAT_EQ(line.LineWidth(), 0);
  EXPECT_EQ(line.Arrow(0).Style(), asNoArrow);
  EXPECT_FLOAT_EQ(line.Arrow(0).Width(), 5) << "no element: the arrow as it was";
  ExpectPoint(line.GetEndPoint(0), 5, 0);
  ExpectPoint(line.GetEndPoint(1), 25, 10);
  EXPECT_FALSE(line.UseFill());
}

TEST(LineFiles, LineAndFreehandAreRegisteredAfterThePolygonFamily) {
  std::vector<std::string> names;
  for (const auto &r : ShapeClasses().Records())
    names.push_back(r.ClassName);
  const int round = IndexOf(names, "TfsRoundRectShape");
  ASSERT_GE(round, 0);
  EXPECT_EQ(IndexOf(names, "TfsLineShape"), round + 1);
  EXPECT_EQ(IndexOf(names, "TfsFreehandShape"), round + 2);
  for (const char *name : {"TfsLineShape", "TfsFreehandShape"})
    EXPECT_EQ(CreateShape(name)->ClassName(), name);
}

TEST(LineFiles, StyleNamesInTheirOrder) {
  const char *names[] = {"NoArrow", "Arrow", "OpenArrow", "StealthArrow",
                         "Diamond", "Oval",  "Rectangle"};
  for (int i = 0; i < ArrowStyleCount; ++i) {
    EXPECT_EQ(ArrowStyleName(uint8_t(i)), names[i]);
    uint8_t style = 99;
    EXPECT_TRUE(ArrowStyleFromName(names[i], style));
    EXPECT_EQ(style, i);
  }
  EXPECT_EQ(ArrowStyleName(7), "");
  uint8_t style = 3;
  EXPECT_FALSE(ArrowStyleFromName("", style));
  EXPECT_EQ(style, 3);
}

TEST(LineFiles, SettersRepaintAndSignalWithoutUndo) {
  FakeShapeDocument doc;
  auto line = MakeLine({10, 10}, {30, 30});
  line->SetDocument(&doc);
  doc.Forget();
  line->SetLineWidth(2);
  line->Arrow(0).SetStyle(asArrow);
  line->Arrow(0).SetWidth(6);
  line->Arrow(1).SetLength(4);
  EXPECT_TRUE(doc.Commands.empty());
  EXPECT_EQ(doc.ChangedShapes.size(), 4u);
  EXPECT_FALSE(doc.Repaints.empty());
  doc.Forget();
  line->SetLineWidth(2);
  line->Arrow(0).SetStyle(asArrow);
  EXPECT_TRUE(doc.ChangedShapes.empty()) << "unchanged values change nothing";
  // The outline follows: end 0 now has a head 6 mm wide.
  float widest = 0;
  for (const TFloatPoint &p : line->Points()[0]) {
    const TFloatPoint q = Sub(line->LocalToParent(p), {10, 10});
    widest = std::max(widest, float(std::fabs(q.X - q.Y) / std::sqrt(2.0)));
  }
  EXPECT_NEAR(widest, 3, 1e-4);
}

} // namespace
