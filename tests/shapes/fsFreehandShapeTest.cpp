#include "shapes/fsFreehandShape.h"

#include "engine/FakeDocumentHost.h"
#include "engine/FakeShapeDocument.h"
#include "engine/fsDocument.h"
#include "engine/fsPage.h"
#include "persist/fsPlainXml.h"
#include "shapes/fsStandardShapes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using enginetest::FakeShapeDocument;

struct Registered {
  Registered() { RegisterStandardShapes(); }
};
const Registered registered;

// Ends in-place editing the way a document does: it reports the end and
// calls the shape's EndEdit; deletions asked for are only noted.
class EditingDocument : public FakeShapeDocument {
public:
  EditingDocument() { Mapping.Scale = 10; } // screen pixels per mm
  std::vector<std::pair<TfsShape *, bool>> Finished;
  std::vector<TfsShape *> DeleteRequests;
  void FinishEdit(TfsShape &shape, bool accepted) override {
    Finished.push_back({&shape, accepted});
    shape.EndEdit(accepted);
  }
  void RequestDelete(TfsShape &shape) override { DeleteRequests.push_back(&shape); }
};

// A freehand shape at the page's origin, being edited in place.
struct TDrawing {
  EditingDocument Doc;
  TfsFreehandShape Shape;
  TDrawing() {
    Shape.SetDocument(&Doc);
    Shape.SetBounds(0, 0, 40, 30);
    Shape.Edit();
  }
  void Down(int x, int y, TMouseButton button = mbLeft) {
    Shape.EditMouseDown(button, ssLeft, Point(x, y));
  }
  void Move(int x, int y) { Shape.EditMouseMove(ssLeft, Point(x, y)); }
  void Up(int x, int y) { Shape.EditMouseUp(mbLeft, 0, Point(x, y)); }
  // The points of contour i on the page (mm).
  std::vector<TFloatPoint> PagePoints(size_t i) const {
    std::vector<TFloatPoint> out;
    for (const TFloatPoint &p : Shape.Points().at(i))
      out.push_back(Shape.LocalToPage(p));
    return out;
  }
};

void ExpectPoints(const std::vector<TFloatPoint> &actual,
                  const std::vector<TFloatPoint> &expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) {
    EXPECT_NEAR(actual[i].X, expected[i].X, 1e-4) << i;
    EXPECT_NEAR(actual[i].Y, expected[i].Y, 1e-4) << i;
  }
}

// ---- drawing --------------------------------------------------------------------------

TEST(FreehandDrawing, ANewShapeDrawsOpenUnfilledStrokes) {
  TfsFreehandShape s;
  EXPECT_EQ(s.ClassName(), "TfsFreehandShape");
  EXPECT_TRUE(s.StorePoints());
  EXPECT_FALSE(s.IsClosed());
  EXPECT_FALSE(s.UseFill());
  EXPECT_TRUE(s.UseOutline());
  EXPECT_TRUE(s.AutoRestart());
  EXPECT_FALSE(s.Drawing());
}

TEST(FreehandDrawing, ThePointerAddsAPointOnlyWhenMovedMoreThanHalfAMillimetre) {
  struct Case {
    const char *name;
    std::vector<TPoint> moves; // screen pixels, 10 a millimetre
    TPoint release;
    std::vector<TFloatPoint> points; // page mm
  };
  const Case cases[] = {
      {"never beyond 0.5 mm: press and release only",
       {{102, 100}, {104, 100}, {101, 100}},
       {103, 100},
       {{10, 10}, {10.3f, 10}}},
      {"exactly 0.5 mm is not more", {{105, 100}}, {105, 100}, {{10, 10}, {10.5f, 10}}},
      {"measured from the last point also after the box moved onto the stroke",
       {{110, 110}, {113, 110}, {114, 110}},
       {114, 110},
       {{10, 10}, {11, 11}, {11.4f, 11}}},
      {"0.6 mm away, then counted from there",
       {{106, 100}, {110, 100}, {112, 100}},
       {112, 100},
       {{10, 10}, {10.6f, 10}, {11.2f, 10}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TDrawing d;
    d.Down(100, 100);
    EXPECT_TRUE(d.Shape.Drawing());
    for (const TPoint &m : c.moves)
      d.Move(m.X, m.Y);
    d.Up(c.release.X, c.release.Y);
    EXPECT_FALSE(d.Shape.Drawing());
    ASSERT_GE(d.Shape.Points().size(), 1u);
    ExpectPoints(d.PagePoints(0), c.points);
  }
}

TEST(FreehandDrawing, TheBoxFollowsTheStrokesAndThePointsStayOnThePage) {
  TDrawing d;
  d.Down(150, 120);
  d.Move(200, 140);
  d.Move(250, 100);
  d.Up(260, 90);
  ExpectPoints(d.PagePoints(0), {{15, 12}, {20, 14}, {25, 10}, {26, 9}});
  EXPECT_NEAR(d.Shape.DocLeft(), 15, 1e-4);
  EXPECT_NEAR(d.Shape.DocTop(), 9, 1e-4);
  EXPECT_NEAR(d.Shape.DocWidth(), 11, 1e-4);
  EXPECT_NEAR(d.Shape.DocHeight(), 5, 1e-4);
  const TFloatRect b = d.Shape.PointsBounds();
  EXPECT_NEAR(b.Left, 0, 1e-4);
  EXPECT_NEAR(b.Top, 0, 1e-4);
  EXPECT_NEAR(b.Right, 11, 1e-4);
  // The moved box was repainted, and the margins hold the outline.
  EXPECT_FALSE(d.Doc.Repaints.empty());
  EXPECT_NEAR(d.Shape.ExtentLeft(), 0.5, 1e-4);
  // The press after that is measured on the page too, not in the old box.
  d.Down(150, 120);
  d.Move(153, 120);
  d.Up(153, 120);
  ExpectPoints(d.PagePoints(1), {{15, 12}, {15.3f, 12}});
}

TEST(FreehandDrawing, StrokesFollowOneAnotherWhileRestarting) {
  TDrawing d;
  d.Down(100, 100);
  d.Move(200, 150);
  d.Up(200, 150);
  EXPECT_TRUE(d.Doc.Finished.empty()) << "still editing, ready for the next stroke";
  ASSERT_EQ(d.Shape.Points().size(), 2u);
  EXPECT_TRUE(d.Shape.Points()[1].empty());
  // A click without moving leaves a one-point contour that the next stroke
  // takes over.
  d.Down(300, 50);
  d.Up(300, 50);
  ASSERT_EQ(d.Shape.Points().size(), 2u);
  d.Down(120, 200);
  d.Move(180, 210);
  d.Up(180, 210);
  ASSERT_EQ(d.Shape.Points().size(), 3u);
  ExpectPoints(d.PagePoints(1), {{12, 20}, {18, 21}});
  ExpectPoints(d.PagePoints(0), {{10, 10}, {20, 15}});
}

TEST(FreehandDrawing, WithoutRestartTheReleaseEndsTheEditing) {
  TDrawing d;
  d.Shape.SetAutoRestart(false);
  d.Down(100, 100);
  d.Move(150, 130);
  d.Up(150, 130);
  ASSERT_EQ(d.Doc.Finished.size(), 1u);
  EXPECT_TRUE(d.Doc.Finished[0].second);
  EXPECT_TRUE(d.Doc.DeleteRequests.empty());
  ASSERT_EQ(d.Shape.Points().size(), 1u);
  EXPECT_EQ(d.Shape.Points()[0].size(), 2u);
}

TEST(FreehandDrawing, KeysAndTheRightButtonEndTheEditing) {
  struct Case {
    const char *name;
    uint16_t key; // 0: the right button
    bool ends, accepted, closes;
  };
  const Case cases[] = {
      {"Escape", vkEscape, true, false, false}, {"Ctrl+Break", 3, true, false, false},
      {"Space", vkSpace, true, true, true},     {"Tab", vkTab, true, true, false},
      {"Enter", vkReturn, true, true, false},   {"+", vkAdd, true, true, false},
      {"F2", vkF2, true, true, false},          {"right button", 0, true, true, false},
      {"a letter", 'A', false, false, false},   {"Delete", vkDelete, false, false, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TDrawing d;
    d.Down(100, 100);
    d.Move(150, 130);
    d.Up(150, 130);
    if (c.key == 0) {
      d.Down(10, 10, mbRight);
    } else {
      uint16_t key = c.key;
      d.Shape.EditKeyDown(key, 0);
      EXPECT_EQ(key == 0, c.ends) << "a key that ends the editing is used up";
    }
    ASSERT_EQ(d.Doc.Finished.size(), c.ends ? 1u : 0u);
    if (!c.ends)
      continue;
    EXPECT_EQ(d.Doc.Finished[0].second, c.accepted);
    EXPECT_EQ(d.Shape.IsClosed(), c.closes);
    if (c.accepted) {
      EXPECT_TRUE(d.Doc.DeleteRequests.empty());
      // The empty contour waiting for another stroke is gone.
      ASSERT_EQ(d.Shape.Points().size(), 1u);
      EXPECT_EQ(d.Shape.Points()[0].size(), 2u);
    } else {
      EXPECT_EQ(d.Doc.DeleteRequests, std::vector<TfsShape *>{&d.Shape});
    }
  }
}

TEST(FreehandDrawing, ANewShapeWithoutStrokesIsDeleted) {
  struct Case {
    const char *name;
    uint16_t key;
  };
  const Case cases[] = {{"Escape", vkEscape}, {"Enter", vkReturn}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TDrawing d;
    uint16_t key = c.key;
    d.Shape.EditKeyDown(key, 0);
    ASSERT_EQ(d.Doc.Finished.size(), 1u);
    EXPECT_EQ(d.Doc.DeleteRequests, std::vector<TfsShape *>{&d.Shape});
  }
  // Without a document there is nobody to delete it: it only tidies up.
  TfsFreehandShape alone;
  alone.Edit();
  alone.EditMouseDown(mbLeft, ssLeft, Point(3, 3));
  alone.EditMouseUp(mbLeft, 0, Point(3, 3));
  uint16_t key = vkEscape;
  alone.EditKeyDown(key, 0);
  EXPECT_TRUE(alone.Points().empty());
}

// Through a document: a click places the shape and drawing starts at once.
TEST(FreehandDrawing, InADocumentStrokesAreDrawnRightAfterPlacing) {
  struct Case {
    const char *name;
    bool stroke;
    uint16_t key;
    bool kept;
  };
  const Case cases[] = {
      {"a stroke, then Enter", true, vkReturn, true},
      {"a stroke, then Escape", true, vkEscape, false},
      {"Escape before any stroke", false, vkEscape, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TFakeDocumentHost host;
    TfsDocument doc(&host);
    doc.SetViewMapping({0, 0, 4});
    doc.SetViewStyle(vsNormal);
    auto screen = [&](float x, float y) {
      const TFloatPoint p = doc.CurrentPage()->LocalToScreen({x, y});
      return TPoint{int32_t(std::lrint(p.X)), int32_t(std::lrint(p.Y))};
    };
    auto owned = std::make_unique<TfsFreehandShape>();
    TfsFreehandShape *shape = owned.get();
    doc.StartInsert(std::move(owned));
    doc.MouseDown(mbLeft, ssLeft, screen(10, 10));
    doc.MouseUp(mbLeft, ssLeft, screen(10, 10));
    ASSERT_EQ(doc.ShapeCount(), 1);
    ASSERT_EQ(doc.EditingShape(), shape);
    if (c.stroke) {
      doc.MouseDown(mbLeft, ssLeft, screen(12, 12));
      doc.MouseMove(ssLeft, screen(16, 20));
      doc.MouseMove(ssLeft, screen(25, 15));
      doc.MouseUp(mbLeft, ssLeft, screen(25, 15));
    }
    uint16_t key = c.key;
    doc.KeyDown(key, 0);
    EXPECT_EQ(doc.EditingShape(), nullptr);
    ASSERT_EQ(doc.ShapeCount(), c.kept ? 1 : 0);
    if (!c.kept)
      continue;
    ASSERT_EQ(shape->Points().size(), 1u);
    std::vector<TFloatPoint> page;
    for (const TFloatPoint &p : shape->Points()[0])
      page.push_back(shape->LocalToParent(p));
    ExpectPoints(page, {{12, 12}, {16, 20}, {25, 15}});
    EXPECT_FLOAT_EQ(shape->DocWidth(), 13);
  }
}

// ---- files -----------------------------------------------------------------------------

TEST(FreehandFiles, StrokesRoundTripAsStoredPoints) {
  TDrawing d;
  d.Down(100, 100);
  d.Move(200, 150);
  d.Move(300, 100);
  d.Up(300, 100);
  d.Down(150, 200);
  d.Move(250, 220);
  d.Up(250, 220);
  uint16_t key = vkReturn;
  d.Shape.EditKeyDown(key, 0);
  TPlainXml xml("shape");
  d.Shape.SaveToXml(*xml.Root());
  const TXmlNode &n = *xml.Root();
  EXPECT_EQ(n.LoadString("StorePoints", ""), "True");
  EXPECT_EQ(n.LoadString("IsClosed", ""), "False");
  EXPECT_EQ(n.LoadString("AutoRestart", ""), "True");
  EXPECT_EQ(n.FindChild("UseFill"), nullptr);
  ASSERT_NE(n.FindChild("Polygon"), nullptr);
  EXPECT_EQ(n.FindChild("Polygon")->ChildCount(), 2);
  EXPECT_GT(n.IndexOfChild("AutoRestart"), n.IndexOfChild("StorePoints"));

  std::unique_ptr<TfsShape> loaded = TfsShape::CreateFromXml(xml.Root());
  auto *copy = dynamic_cast<TfsFreehandShape *>(loaded.get());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->Points(), d.Shape.Points());
  EXPECT_TRUE(copy->AutoRestart());
  EXPECT_FALSE(copy->IsClosed());
  EXPECT_FALSE(copy->UseFill());
  EXPECT_FLOAT_EQ(copy->DocLeft(), d.Shape.DocLeft());
  EXPECT_FLOAT_EQ(copy->DocWidth(), d.Shape.DocWidth());
}

TEST(FreehandFiles, AHandWrittenFileLoadsAndDrawsItsStrokes) {
  TPlainXml xml;
  xml.ReadFromString(R"(<?xml version="1.0" encoding="UTF-8"?>
<Shape>
  <ClassName>TfsFreehandShape</ClassName>
  <DocLeft>5</DocLeft>
  <DocTop>5</DocTop>
  <DocWidth>20</DocWidth>
  <DocHeight>10</DocHeight>
  <OutlineWidth>1</OutlineWidth>
  <UseOutline>True</UseOutline>
  <StorePoints>True</StorePoints>
  <IsClosed>False</IsClosed>
  <Polygon>
    <Line>
      <Point></Point>
      <Point><X>20</X></Point>
      <Point><X>20</X><Y>10</Y></Point>
    </Line>
    <Line>
      <Point><Y>10</Y></Point>
    </Line>
  </Polygon>
</Shape>
)");
  std::unique_ptr<TfsShape> loaded = TfsShape::CreateFromXml(xml.Root());
  auto *s = dynamic_cast<TfsFreehandShape *>(loaded.get());
  ASSERT_NE(s, nullptr);
  EXPECT_FALSE(s->AutoRestart()) << "absent: the file default";
  ASSERT_EQ(s->Points().size(), 2u) << "a file's short contour is kept";
  EXPECT_EQ(s->Points()[0].size(), 3u);
  EXPECT_EQ(s->Points()[1].size(), 1u);

  // Drawn at 10 pixels a millimetre: a 1 mm stroke along (5, 5) - (25, 5)
  // - (25, 15), open and unfilled.
  TBitmap32 page;
  page.SetSize(300, 200);
  page.FillAll(0xFFFFFFFF);
  TDeviceContext context;
  context.DestDpm = context.CacheDpm = 10;
  TfsShape::RenderShape(*s, page, FloatRect(0, 0, 30, 20), context, false);
  auto ink = [&](int x, int y) { return 1 - (page.GetPixel(x, y) & 0xFF) / 255.0; };
  auto distance = [](double px, double py) {
    // From the stroke's two segments, in mm.
    const double d1 = px < 5    ? std::hypot(px - 5, py - 5)
                      : px > 25 ? std::hypot(px - 25, py - 5)
                                : std::fabs(py - 5);
    const double d2 = py < 5    ? std::hypot(px - 25, py - 5)
                      : py > 15 ? std::hypot(px - 25, py - 15)
                                : std::fabs(px - 25);
    return std::min(d1, d2);
  };
  int inside = 0, wrong = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) {
      const double px = (x + 0.5) / 10, py = (y + 0.5) / 10;
      const double dist = distance(px, py);
      const bool nearEnd = std::hypot(px - 5, py - 5) < 1.5 || std::hypot(px - 25, py - 15) < 1.5;
      // The one-point contour's dot, if the outline makes one.
      if (std::hypot(px - 5, py - 15) < 1.5)
        continue;
      if (dist < 0.5 - 0.1 && !nearEnd) {
        ++inside;
        wrong += ink(x, y) < 0.98;
      } else if (dist > 0.5 * std::sqrt(2.0) + 0.1) {
        wrong += ink(x, y) > 0.02;
      }
    }
  EXPECT_GT(inside, 200);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(ink(150, 100), 0) << "no closing edge from the last point back to the first";
}

} // namespace
