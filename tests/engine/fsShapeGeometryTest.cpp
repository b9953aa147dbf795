#include "engine/fsShape.h"

#include "engine/FakeGroupShape.h"
#include "engine/FakeShapeDocument.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

using enginetest::FakeShapeDocument;

namespace {

// The box centre in the parent frame, straight from the placement rule
// (x, y) -> (L + x cos a + y sin a, T - x sin a + y cos a).
TFloatPoint Centre(double l, double t, double w, double h, double degrees) {
  const double a = degrees * std::numbers::pi / 180;
  return {float(l + w / 2 * std::cos(a) + h / 2 * std::sin(a)),
          float(t - w / 2 * std::sin(a) + h / 2 * std::cos(a))};
}

TFloatPoint Centre(const TfsShape &s) {
  return Centre(s.DocLeft(), s.DocTop(), s.DocWidth(), s.DocHeight(), s.DocAngle());
}

// A shape attached to a fake document, with OnChange counted.
struct TAttached {
  FakeShapeDocument Doc;
  TfsShape Shape;
  int Changes = 0;
  TAttached() {
    Shape.SetDocument(&Doc);
    Shape.OnChange = [this](TfsShape &) { ++Changes; };
  }
  void Forget() {
    Doc.Forget();
    Changes = 0;
  }
};

// ---- angles -------------------------------------------------------------------

struct TAngleCase {
  float From, Set, Stored;
  bool IsChange;
};

class ShapeAngle : public testing::TestWithParam<TAngleCase> {};

TEST_P(ShapeAngle, IsKeptInOneTurnAndComparedBeforeNormalising) {
  const TAngleCase &c = GetParam();
  TAttached a;
  a.Shape.SetDocAngle(c.From);
  a.Forget();
  a.Shape.SetDocAngle(c.Set);
  EXPECT_FLOAT_EQ(a.Shape.DocAngle(), c.Stored);
  EXPECT_GE(a.Shape.DocAngle(), 0.0f);
  EXPECT_LT(a.Shape.DocAngle(), 360.0f);
  if (c.IsChange) {
    ASSERT_EQ(a.Doc.CommandNames(), std::vector<std::string>{"DocAngle"});
    EXPECT_EQ(TfsShape::TextToFloat(a.Doc.Commands[0]->Value), c.From) << "the old value";
    EXPECT_EQ(a.Changes, 1);
  } else {
    EXPECT_TRUE(a.Doc.Commands.empty());
    EXPECT_EQ(a.Changes, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ShapeAngle,
                         testing::Values(TAngleCase{0, -90, 270, true}, //
                                         TAngleCase{0, 360, 0, true},   // recorded all the same
                                         TAngleCase{0, 720.5f, 0.5f, true},
                                         TAngleCase{10, -370, 350, true},
                                         TAngleCase{0, -1e-6f, 0, true}, // would round to 360
                                         TAngleCase{45, 45, 45, false}));

TEST(ShapeTurn, QuarterTurnsPlaceCornersExactly) {
  TfsShape s;
  s.SetGeometry(50, 40, 20, 10, 90);
  // Local x runs up the screen: (L + y, T - x) at 90 degrees.
  EXPECT_EQ(s.LocalToParent({20, 0}), (TFloatPoint{50, 20}));
  EXPECT_EQ(s.LocalToParent({0, 10}), (TFloatPoint{60, 40}));
  EXPECT_EQ(s.GetParentBounds(false), (TFloatRect{50, 20, 60, 40}));
}

// ---- frames -------------------------------------------------------------------------

TEST(ShapeFrames, NestedTurnsFollowThePlacementRule) {
  TfsShape page;
  page.SetGeometry(3, 4, 200, 200, 0);
  auto groupOwned = std::make_unique<TfsShape>();
  TfsShape &group = *groupOwned;
  group.SetGeometry(50, 60, 40, 40, 30);
  page.AddShape(std::move(groupOwned));
  auto childOwned = std::make_unique<TfsShape>();
  TfsShape &child = *childOwned;
  child.SetGeometry(5, 7, 10, 10, 90);
  group.AddShape(std::move(childOwned));

  const double a = 30 * std::numbers::pi / 180;
  // Child point (2, 1) -> group (5 + 1, 7 - 2) at 90 degrees.
  const double gx = 6, gy = 5;
  const double px = 50 + gx * std::cos(a) + gy * std::sin(a);
  const double py = 60 - gx * std::sin(a) + gy * std::cos(a);
  const TFloatPoint onPage = child.LocalToPage({2, 1});
  EXPECT_NEAR(onPage.X, px + 3, 1e-4);
  EXPECT_NEAR(onPage.Y, py + 4, 1e-4);
  const TFloatPoint back = child.PageToLocal(onPage);
  EXPECT_NEAR(back.X, 2, 1e-4);
  EXPECT_NEAR(back.Y, 1, 1e-4);
}

TEST(ShapeFrames, ScreenGoesThroughTheDocumentsViewMapping) {
  TfsShape s;
  s.SetGeometry(10, 20, 30, 40, 0);
  // Without a document: scale 1, window at 0.
  EXPECT_EQ(s.LocalToScreen({1, 2}), (TFloatPoint{11, 22}));

  FakeShapeDocument doc;
  doc.Mapping = {5, 8, 2.5f};
  s.SetDocument(&doc);
  EXPECT_EQ(s.LocalToScreen({1, 2}), (TFloatPoint{(11 - 5) * 2.5f, (22 - 8) * 2.5f}));
  const TFloatPoint back = s.ScreenToLocal({15, 35});
  EXPECT_FLOAT_EQ(back.X, 1);
  EXPECT_FLOAT_EQ(back.Y, 2);
  // Minimum rounded after - 0.5, maximum after + 0.5: 12.5 -> 12, 87.5 -> 88
  // (halves to even), 30 -> 30 (29.5 to even), 130 -> 130 (130.5 to even).
  EXPECT_EQ(s.GetScreenRect(), (TRect{12, 30, 88, 130}));
  const TfsShape::TScreenRegion region = s.GetScreenRegion();
  EXPECT_EQ(region[0], (TFloatPoint{12.5f, 30}));  // top-left
  EXPECT_EQ(region[1], (TFloatPoint{12.5f, 130})); // bottom-left
  EXPECT_EQ(region[2], (TFloatPoint{87.5f, 130})); // bottom-right
  EXPECT_EQ(region[3], (TFloatPoint{87.5f, 30}));  // top-right
}

// ---- SetGeometry and its undo values ------------------------------------------------------

TEST(ShapeGeometry, EqualValuesChangeNothing) {
  TAttached a;
  a.Shape.SetGeometry(1, 2, 3, 4, 5);
  a.Forget();
  int geometry = 0;
  a.Shape.OnGeometryChange = [&](TfsShape &) { ++geometry; };
  a.Shape.SetGeometry(1, 2, 3, 4, 5);
  a.Shape.SetDocLeft(1);
  EXPECT_TRUE(a.Doc.Commands.empty());
  EXPECT_TRUE(a.Doc.Repaints.empty());
  EXPECT_EQ(a.Changes, 0);
  EXPECT_EQ(geometry, 0);
}

TEST(ShapeGeometry, RecordsOldValuesInsideOneUndoGroup) {
  TAttached a;
  a.Shape.SetGeometry(1, 2, 3, 4, 5);
  a.Forget();
  int geometry = 0;
  a.Shape.OnGeometryChange = [&](TfsShape &) { ++geometry; };
  a.Shape.SetGeometry(11, 12, 13, 14, 15);
  ASSERT_EQ(a.Doc.CommandNames(),
            (std::vector<std::string>{"DocLeft", "DocTop", "DocWidth", "DocHeight", "DocAngle"}));
  const float old[] = {1, 2, 3, 4, 5};
  for (size_t i = 0; i < a.Doc.Commands.size(); ++i) {
    EXPECT_EQ(a.Doc.Commands[i]->Kind, ckProperty);
    EXPECT_EQ(a.Doc.Commands[i]->ShapeID, a.Shape.ID());
    EXPECT_EQ(TfsShape::TextToFloat(a.Doc.Commands[i]->Value), old[i]);
    EXPECT_GE(a.Doc.CommandDepths[i], 1) << "inside the undo group";
  }
  EXPECT_EQ(a.Doc.GroupDepth, 0);
  EXPECT_EQ(geometry, 1);
  EXPECT_GE(a.Changes, 1);
  EXPECT_EQ(a.Shape.DocLeft(), 11);
  EXPECT_EQ(a.Shape.DocHeight(), 14);
  EXPECT_EQ(a.Shape.DocAngle(), 15);
}

TEST(ShapeGeometry, OnlyWhatChangesIsRecorded) {
  TAttached a;
  a.Shape.SetGeometry(1, 2, 3, 4, 0);
  a.Forget();
  a.Shape.SetDocTop(7);
  EXPECT_EQ(a.Doc.CommandNames(), std::vector<std::string>{"DocTop"});
  a.Forget();
  a.Shape.SetDocSize(3, 9);
  EXPECT_EQ(a.Doc.CommandNames(), std::vector<std::string>{"DocHeight"});
  EXPECT_EQ(a.Doc.GroupDepth, 0);
  EXPECT_EQ(a.Doc.GroupsOpened, 1) << "SetDocSize has its own group";
}

TEST(ShapeGeometry, NothingIsRecordedWhileTheDocumentDoesNotRecord) {
  TAttached a;
  a.Doc.Recording = false;
  a.Shape.SetGeometry(1, 2, 3, 4, 5);
  a.Shape.SetMasterAlpha(10);
  EXPECT_TRUE(a.Doc.Commands.empty());
}

class TFailingSize : public TfsShape {
public:
  void SetDocSize(float, float) override { throw std::runtime_error("no size"); }
};

TEST(ShapeGeometry, TheUndoGroupClosesWhenAStepFails) {
  FakeShapeDocument doc;
  TFailingSize s;
  s.SetDocument(&doc);
  EXPECT_THROW(s.SetGeometry(1, 1, 5, 5, 0), std::runtime_error);
  EXPECT_EQ(doc.GroupDepth, 0);
  EXPECT_EQ(doc.CommandNames(), (std::vector<std::string>{"DocLeft", "DocTop"}));
}

TEST(ShapeGeometry, ConvenienceSettersGoThroughSetBounds) {
  TfsShape s;
  s.SetGeometry(10, 10, 20, 10, 30);
  s.Inflate(2, 1);
  EXPECT_EQ(s.DocLeft(), 8);
  EXPECT_EQ(s.DocTop(), 9);
  EXPECT_EQ(s.DocWidth(), 24);
  EXPECT_EQ(s.DocHeight(), 12);
  EXPECT_EQ(s.DocAngle(), 30) << "the angle stays";
  s.SetBoundsFromRect({40, 30, 10, 5});
  EXPECT_EQ(s.DocLeft(), 10);
  EXPECT_EQ(s.DocTop(), 5);
  EXPECT_EQ(s.DocWidth(), 30);
  EXPECT_EQ(s.DocHeight(), 25);
  s.Constraints().MaxWidth = 12;
  s.ApplyConstraints();
  EXPECT_EQ(s.DocWidth(), 12);
  EXPECT_EQ(s.DocLeft(), 10);
}

// ---- constraints ------------------------------------------------------------------------

struct TSizeCase {
  const char *Name;
  bool AllowResize;
  TFloatSizeConstraint Limits;
  bool Preserve;
  float Ratio;
  float InW, InH, OutW, OutH;
};

class ShapeConstrainSize : public testing::TestWithParam<TSizeCase> {};

TEST_P(ShapeConstrainSize, AppliesLimitsMinimumAndAspect) {
  const TSizeCase &c = GetParam();
  TfsShape s;
  s.SetGeometry(0, 0, 30, 20, 0);
  s.SetAllowResize(c.AllowResize);
  s.Constraints() = c.Limits;
  if (c.Preserve) {
    s.SetPreserveAspect(true);
    s.SetAspectRatio(c.Ratio);
  }
  float w = c.InW, h = c.InH;
  EXPECT_EQ(s.ConstrainSize(w, h), c.AllowResize);
  EXPECT_FLOAT_EQ(w, c.OutW);
  EXPECT_FLOAT_EQ(h, c.OutH);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShapeConstrainSize,
    testing::Values(TSizeCase{"ZeroBecomesTheMinimum", true, {}, false, 0, 0, 0, 0.1f, 0.1f},
                    TSizeCase{"NoResizeKeepsTheSize", false, {}, false, 0, 5, 5, 30, 20},
                    TSizeCase{"MinAndMax", true, {2, 5, 0, 50}, false, 0, 80, 1, 50, 2},
                    TSizeCase{"TooWideForTheRatio", true, {}, true, 2, 30, 10, 20, 10},
                    TSizeCase{"TooHighForTheRatio", true, {}, true, 2, 10, 10, 10, 5},
                    TSizeCase{"RatioThenMinWidth", true, {0, 10, 0, 0}, true, 2, 4, 1, 10, 5},
                    TSizeCase{"RatioThenMinHeight", true, {4, 0, 0, 0}, true, 2, 4, 1, 8, 4},
                    TSizeCase{"RatioZeroKeepsNothing", true, {}, true, 0, 7, 3, 7, 3}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST(ShapeConstrainPosition, AnImmovableShapeMovesOnlyWithAResize) {
  struct TCase {
    float L, T, W, H, OutL, OutT, OutW;
  } cases[] = {
      {15, 12, 20, 20, 10, 10, 20}, // dragged: stays
      {5, 10, 25, 20, 5, 10, 25},   // left handle: the left edge moves
  };
  for (const TCase &c : cases) {
    TfsShape s;
    s.SetGeometry(10, 10, 20, 20, 0);
    s.SetAllowMove(false);
    float l = c.L, t = c.T;
    EXPECT_FALSE(s.ConstrainPosition(l, t, c.W, c.H));
    s.SetBoundsConstrained(c.L, c.T, c.W, c.H);
    EXPECT_EQ(s.DocLeft(), c.OutL);
    EXPECT_EQ(s.DocTop(), c.OutT);
    EXPECT_EQ(s.DocWidth(), c.OutW);
  }
}

TEST(ShapeAspect, LockTakesTheCurrentRatioAndUnlockKeepsIt) {
  TfsShape s;
  s.SetGeometry(0, 0, 30, 20, 0);
  s.SetPreserveAspect(true);
  EXPECT_TRUE(s.PreserveAspect());
  EXPECT_FLOAT_EQ(s.AspectRatio(), 1.5f);
  s.SetPreserveAspect(false);
  EXPECT_FALSE(s.PreserveAspect());
  EXPECT_FLOAT_EQ(s.AspectRatio(), 1.5f);
}

// ---- turning, flipping, mirroring -------------------------------------------------------

TEST(ShapeRotate, AboutTheCentreKeepsTheCentre) {
  const float turns[][2] = {{0, 45}, {30, 120}, {200, 10}, {90, 270}};
  for (const auto &t : turns) {
    TfsShape s;
    s.SetGeometry(20, 30, 40, 10, t[0]);
    const TFloatPoint before = Centre(s);
    s.RotateAboutCentre(t[1]);
    EXPECT_FLOAT_EQ(s.DocAngle(), t[1]);
    const TFloatPoint after = Centre(s);
    EXPECT_NEAR(after.X, before.X, 1e-4) << t[0] << " -> " << t[1];
    EXPECT_NEAR(after.Y, before.Y, 1e-4) << t[0] << " -> " << t[1];
  }
}

TEST(ShapeFlip, MirrorsTheTurnAboutTheCentreAndEvensTheMargins) {
  struct TCase {
    bool Flip;
  } cases[] = {{true}, {false}};
  for (const TCase &c : cases) {
    TAttached a;
    a.Shape.SetGeometry(20, 20, 40, 20, 30);
    a.Shape.SetCurb(1, 2, 4, 5);
    const TFloatPoint before = Centre(a.Shape);
    a.Forget();
    if (c.Flip)
      a.Shape.SetFlipped(true);
    else
      a.Shape.SetMirrored(true);
    EXPECT_NEAR(a.Shape.DocAngle(), 330, 1e-4);
    const TFloatPoint after = Centre(a.Shape);
    EXPECT_NEAR(after.X, before.X, 1e-4);
    EXPECT_NEAR(after.Y, before.Y, 1e-4);
    if (c.Flip) {
      EXPECT_EQ(a.Shape.ExtentTop(), 5);
      EXPECT_EQ(a.Shape.ExtentBottom(), 5);
      EXPECT_EQ(a.Shape.ExtentLeft(), 1);
    } else {
      EXPECT_EQ(a.Shape.ExtentLeft(), 4);
      EXPECT_EQ(a.Shape.ExtentRight(), 4);
      EXPECT_EQ(a.Shape.ExtentTop(), 2);
    }
    EXPECT_GE(a.Changes, 1);
    // Setting it again changes nothing.
    a.Forget();
    if (c.Flip)
      a.Shape.SetFlipped(true);
    else
      a.Shape.SetMirrored(true);
    EXPECT_EQ(a.Changes, 0);
  }
}

// ---- placing by the box ---------------------------------------------------------------------

TEST(ShapeAlign, EdgesAndCentreOfTheParentBoxAreMoved) {
  // 20 x 10 at (50, 40) turned by 90 degrees covers x 50..60, y 20..40.
  struct TCase {
    const char *Name;
    void (*Move)(TfsShape &);
    float Left, Top;
  } cases[] = {
      {"CenterAt", [](TfsShape &s) { s.CenterAt(0, 0); }, -5, 10},
      {"Left", [](TfsShape &s) { s.MoveBoundsLeftTo(0); }, 0, 40},
      {"Top", [](TfsShape &s) { s.MoveBoundsTopTo(0); }, 50, 20},
      {"Right", [](TfsShape &s) { s.MoveBoundsRightTo(100); }, 90, 40},
      {"Bottom", [](TfsShape &s) { s.MoveBoundsBottomTo(100); }, 50, 100},
  };
  for (const TCase &c : cases) {
    TfsShape s;
    s.SetGeometry(50, 40, 20, 10, 90);
    c.Move(s);
    EXPECT_EQ(s.DocLeft(), c.Left) << c.Name;
    EXPECT_EQ(s.DocTop(), c.Top) << c.Name;
    EXPECT_EQ(s.DocWidth(), 20) << c.Name;
    EXPECT_EQ(s.DocAngle(), 90) << c.Name;
  }
}

// ---- extents -----------------------------------------------------------------------------------

class TMarginShape : public TfsShape {
public:
  void ExtendMargins(float &left, float &top, float &right, float &bottom) override {
    TfsShape::ExtendMargins(left, top, right, bottom);
    right = std::max(right, 3.0f);
  }
};

TEST(ShapeExtents, CurbsEnlargedByMarginsAndForGroupsByTheChildren) {
  TfsShape s;
  s.SetCurb(1, 2, 0.5f, 0);
  EXPECT_EQ(s.ExtentLeft(), 1);
  EXPECT_EQ(s.ExtentTop(), 2);
  EXPECT_EQ(s.ExtentRight(), 0.5f);
  EXPECT_EQ(s.ExtentBottom(), 0);
  EXPECT_EQ(s.GetParentBounds(true), (TFloatRect{-1, -2, 0.5f, 0}));

  enginetest::TTestGroupShape g;
  g.SetCurbAll(1);
  g.AddShape(std::make_unique<TMarginShape>());
  g.UpdateExtents();
  // The children's largest margin raises all four.
  EXPECT_EQ(g.ExtentLeft(), 3);
  EXPECT_EQ(g.ExtentTop(), 3);
  EXPECT_EQ(g.ExtentRight(), 3);
  EXPECT_EQ(g.ExtentBottom(), 3);
}

// ---- groups
// ----------------------------------------------------------------------------------------

struct TAnchorCase {
  const char *Name;
  TfsAnchors Anchors;
  bool GroupResizes;
  float OldWidth, NewWidth;
  float X, W, OutX, OutW;
};

class GroupLayout : public testing::TestWithParam<TAnchorCase> {};

TEST_P(GroupLayout, ChildrenFollowTheirAnchors) {
  const TAnchorCase &c = GetParam();
  enginetest::TTestGroupShape g;
  g.SetGeometry(0, 0, c.OldWidth, 80, 0);
  g.SetAllowResize(c.GroupResizes);
  auto owned = std::make_unique<TfsShape>();
  TfsShape &child = *owned;
  child.SetGeometry(c.X, 30, c.W, 20, 0);
  child.SetAnchors(c.Anchors);
  g.AddShape(std::move(owned));
  g.SetDocWidth(c.NewWidth);
  EXPECT_FLOAT_EQ(g.DocWidth(), c.NewWidth);
  EXPECT_FLOAT_EQ(child.DocLeft(), c.OutX);
  EXPECT_FLOAT_EQ(child.DocWidth(), c.OutW);
  // The height did not change: the vertical axis keeps its values.
  EXPECT_FLOAT_EQ(child.DocTop(), 30);
  EXPECT_FLOAT_EQ(child.DocHeight(), 20);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GroupLayout,
    testing::Values(
        TAnchorCase{"DefaultScales", DefaultAnchors, true, 100, 50, 20, 20, 10, 10},
        TAnchorCase{"DefaultWithoutResizeMovesTheCentre", DefaultAnchors, false, 100, 50, 20, 20, 5,
                    20},
        TAnchorCase{"LeftLockStays", akLeftLock, true, 100, 50, 20, 20, 20, 20},
        TAnchorCase{"NoFlagsKeepTheFarEdge", 0, true, 100, 50, 60, 20, 60, 20},
        TAnchorCase{"SizeOnlyKeepsTheFarEdge", akSizeXProp, true, 100, 50, 60, 20, 70, 10},
        TAnchorCase{"ProportionalPosition", akPosXProp, true, 100, 50, 60, 20, 25, 20},
        TAnchorCase{"LeftLockAndSize", akLeftLock | akSizeXProp, true, 100, 50, 20, 20, 20, 10},
        TAnchorCase{"FromZeroDefaultTakesAll", DefaultAnchors, true, 0, 50, 20, 20, 0, 50},
        TAnchorCase{"FromZeroRightLockTakesTheWidth", akRightLock, true, 0, 50, 20, 20, 20, 50},
        TAnchorCase{"FromZeroNoFlags", 0, true, 0, 50, 20, 20, 20, 20}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST(GroupLayoutAxes, BottomLockFollowsTheHeightFromZero) {
  enginetest::TTestGroupShape g;
  g.SetGeometry(0, 0, 50, 0, 0);
  auto owned = std::make_unique<TfsShape>();
  TfsShape &child = *owned;
  child.SetGeometry(5, 5, 10, 10, 0);
  child.SetAnchors(akTopLock | akBottomLock);
  g.AddShape(std::move(owned));
  g.SetDocHeight(40);
  EXPECT_EQ(child.DocTop(), 0);
  EXPECT_EQ(child.DocHeight(), 40);
  EXPECT_EQ(child.DocLeft(), 5) << "the width did not change";
}

TEST(GroupLayoutAxes, APlainShapeDoesNotLayOutItsChildren) {
  TfsShape s;
  s.SetGeometry(0, 0, 100, 80, 0);
  auto owned = std::make_unique<TfsShape>();
  TfsShape &child = *owned;
  child.SetGeometry(20, 30, 20, 20, 0);
  s.AddShape(std::move(owned));
  s.SetDocWidth(50);
  EXPECT_EQ(child.DocLeft(), 20);
  EXPECT_EQ(child.DocWidth(), 20);
}

class TStubbornShape : public TfsShape {
public:
  void SetGeometry(float, float, float, float, float) override {
    throw std::runtime_error("cannot move");
  }
};

TEST(GroupLayoutAxes, AChildThatFailsIsPassedOverAndTheGroupResizes) {
  FakeShapeDocument doc;
  enginetest::TTestGroupShape g;
  g.SetDocument(&doc);
  g.SetGeometry(0, 0, 100, 80, 0);
  g.AddShape(std::make_unique<TStubbornShape>());
  auto owned = std::make_unique<TfsShape>();
  TfsShape &other = *owned;
  other.SetGeometry(20, 30, 20, 20, 0);
  g.AddShape(std::move(owned));
  EXPECT_NO_THROW(g.SetDocWidth(50));
  EXPECT_EQ(g.DocWidth(), 50);
  EXPECT_EQ(other.DocWidth(), 10) << "the later child still follows";
  EXPECT_EQ(doc.GroupDepth, 0);
}

TEST(GroupShape, IsGroupedFromTheStart) {
  enginetest::TTestGroupShape g;
  EXPECT_TRUE(g.Grouped());
  EXPECT_TRUE(g.IsGroupShape());
  EXPECT_EQ(g.ClassName(), "TfsGroupShape");
  TfsShape s;
  EXPECT_FALSE(s.Grouped());
  EXPECT_FALSE(s.IsGroupShape());
}

TEST(GroupFit, TheBoxWrapsTheChildrenWhichKeepTheirPagePlaces) {
  TfsShape page;
  auto groupOwned = std::make_unique<enginetest::TTestGroupShape>();
  enginetest::TTestGroupShape &g = *groupOwned;
  page.AddShape(std::move(groupOwned));
  g.SetGeometry(10, 10, 5, 5, 0);
  struct TPlace {
    float L, T, W, H;
  } places[] = {{5, 5, 10, 10}, {20, 30, 10, 10}};
  std::vector<TfsShape *> kids;
  for (const TPlace &p : places) {
    auto k = std::make_unique<TfsShape>();
    k->SetGeometry(p.L, p.T, p.W, p.H, 0);
    k->SetSelected(true);
    kids.push_back(k.get());
    g.AddShape(std::move(k));
  }
  kids[1]->SetPreserveAspect(true);
  g.FitToChildren();

  // Children bounds (5, 5)-(30, 40) in the group's frame.
  EXPECT_EQ(g.DocLeft(), 5);
  EXPECT_EQ(g.DocTop(), 5);
  EXPECT_EQ(g.DocWidth(), 25);
  EXPECT_EQ(g.DocHeight(), 35);
  EXPECT_TRUE(g.Grouped());
  for (size_t i = 0; i < kids.size(); ++i) {
    // Page place before: group (10, 10) + child place.
    EXPECT_EQ(g.DocLeft() + kids[i]->DocLeft(), 10 + places[i].L);
    EXPECT_EQ(g.DocTop() + kids[i]->DocTop(), 10 + places[i].T);
    EXPECT_EQ(kids[i]->DocWidth(), places[i].W) << "not re-laid out by the anchors";
    EXPECT_FALSE(kids[i]->Selected());
    EXPECT_FALSE(kids[i]->AllowSelect());
  }
  EXPECT_TRUE(g.PreserveAspect()) << "a child keeping its aspect makes the group keep its own";
  EXPECT_FLOAT_EQ(g.AspectRatio(), 25.0f / 35.0f);
}

TEST(GroupFit, WithoutChildrenNothingHappens) {
  enginetest::TTestGroupShape g;
  g.SetGeometry(1, 2, 3, 4, 0);
  g.FitToChildren();
  EXPECT_EQ(g.DocLeft(), 1);
  EXPECT_EQ(g.DocWidth(), 3);
  TFloatRect r{9, 9, 9, 9};
  g.GetChildrenBounds(r);
  EXPECT_EQ(r, (TFloatRect{}));
}

} // namespace
