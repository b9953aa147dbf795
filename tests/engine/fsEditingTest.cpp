#include "FakeDocumentHost.h"
#include "engine/fsDocument.h"
#include "engine/fsHandles.h"
#include "engine/fsLineEdit.h"
#include "engine/fsPage.h"
#include "engine/fsShape.h"
#include "support/SeededRandom.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr float Scale = 4; // pixels per mm

// A shape that keeps what in-place editing sent it.
class TEditableShape : public TfsShape {
public:
  void Edit() override { ++Edits; }
  void EditKeyDown(uint16_t &key, TShiftState) override { Keys.push_back(key); }
  void EditMouseDown(TMouseButton, TShiftState, const TPoint &p) override { Presses.push_back(p); }
  void EndEdit(bool accepted) override { Ended.push_back(accepted); }
  int Edits = 0;
  std::vector<uint16_t> Keys;
  std::vector<TPoint> Presses;
  std::vector<bool> Ended;
};

class EditingTest : public ::testing::Test {
protected:
  EditingTest() : Doc(&Host) {
    Doc.SetViewMapping({0, 0, Scale});
    Doc.SetViewStyle(vsNormal);
  }

  template <class T = TfsShape> T &Add(float left, float top, float width, float height) {
    auto s = std::make_unique<T>();
    T &shape = *s;
    Doc.AddShape(std::move(s));
    shape.SetBounds(left, top, width, height);
    return shape;
  }
  // Client pixel of a shape-local point.
  static TPoint At(const TfsShape &s, float x, float y) {
    const TFloatPoint p = s.LocalToScreen({x, y});
    return {static_cast<int32_t>(std::lrint(p.X)), static_cast<int32_t>(std::lrint(p.Y))};
  }
  void Drag(const TPoint &from, const TPoint &to, TShiftState shift = 0, int steps = 4) {
    Doc.MouseDown(mbLeft, TShiftState(ssLeft | shift), from);
    for (int i = 1; i <= steps; ++i)
      Doc.MouseMove(TShiftState(ssLeft | shift),
                    {from.X + (to.X - from.X) * i / steps, from.Y + (to.Y - from.Y) * i / steps});
    Doc.MouseUp(mbLeft, TShiftState(ssLeft | shift), to);
  }
  void Select(TfsShape &s) {
    Doc.ClearSelection();
    s.SetSelected(true);
  }

  TFakeDocumentHost Host;
  TfsDocument Doc;
};

TEST(EditingSetup, HitOffsetsFollowTheSensitivity) {
  TfsDocument doc;
  ASSERT_EQ(doc.HitOffsets().size(), 21u);
  EXPECT_EQ(doc.HitOffsets().front(), (TPoint{0, 0}));
  EXPECT_EQ(doc.HitOffsets()[1], (TPoint{4, 0}));
  const std::vector<TPoint> last(doc.HitOffsets().end() - 4, doc.HitOffsets().end());
  EXPECT_EQ(last, (std::vector<TPoint>{{3, 3}, {-3, 3}, {3, -3}, {-3, -3}}));
  doc.SetHitSensitivity(0.2f); // never fewer than two rings
  EXPECT_EQ(doc.HitOffsets().size(), 13u);
  doc.SetHitSensitivity(2);
  EXPECT_EQ(doc.HitOffsets().size(), 4u * 8 + 5);
}

TEST(EditingSetup, ResizeCursorsTurnWithTheShape) {
  struct Case {
    uint8_t Kind;
    float Angle;
    int16_t Cursor;
  } cases[] = {
      {hkLeft, 0, crSizeWE},
      {hkLeft, 45, crSizeNESW},
      {hkTopLeft, 0, crSizeNWSE},
      {hkTop, 0, crSizeNS},
      {hkBottom, 90, crSizeWE},
      {hkTopLeft, 350, crSizeNWSE},
      {hkTop, 45, crSizeNWSE},
      // The turn takes effect once round(angle + 22.5) reaches 45.
      {hkBottomRight, 22.0f, crSizeNWSE},
      {hkBottomRight, 22.1f, crSizeWE},
      {hkTopRight, 180, crSizeNESW},
  };
  for (const Case &c : cases)
    EXPECT_EQ(ResizeCursor(c.Kind, c.Angle), c.Cursor) << int(c.Kind) << " at " << c.Angle;
}

TEST(EditingSetup, APainterWithoutAShapeSaysSo) {
  TfsHandlePainter painter(nullptr);
  try {
    painter.LayoutHandles();
    ADD_FAILURE() << "no error";
  } catch (const EfsHandleError &e) {
    EXPECT_STREQ(e.what(), "Shape object must be assigned");
  }
  TBitmap32 canvas;
  canvas.SetSize(4, 4);
  EXPECT_THROW(painter.Draw(canvas), EfsHandleError);
}

TEST(EditingSetup, XorFiguresDrawnTwiceLeaveTheCanvas) {
  testsupport::SeededRandom random(7);
  TBitmap32 canvas;
  canvas.SetSize(64, 48);
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x)
      canvas.SetPixel(x, y, 0xFF000000 | uint32_t(random.Next() & 0xFFFFFF));
  TBitmap32 before;
  before.Assign(canvas);
  for (int i = 0; i < 200; ++i) {
    // Far outside too: the walk is clipped, not run across a huge span.
    const float span = i % 4 == 0 ? 1e9f : 100.f;
    auto any = [&] { return span * (float(random.Between(-10000, 10000)) / 10000.f); };
    const float x0 = any(), y0 = any(), x1 = any(), y1 = any();
    const TColor color = i % 3 == 0 ? 0 : TColor(random.Next() & 0xFFFFFF);
    XorDottedLine(canvas, x0, y0, x1, y1, color);
    XorDottedRect(canvas,
                  {int32_t(x0) % 200, int32_t(y0) % 200, int32_t(x1) % 200, int32_t(y1) % 200},
                  color);
    XorDottedRect(canvas,
                  {int32_t(x0) % 200, int32_t(y0) % 200, int32_t(x1) % 200, int32_t(y1) % 200},
                  color);
    XorDottedLine(canvas, x0, y0, x1, y1, color);
  }
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x)
      ASSERT_EQ(canvas.GetPixel(x, y), before.GetPixel(x, y)) << x << "," << y;
  // And a black pen is seen: it inverts.
  XorDottedLine(canvas, 0, 0, 10, 0, 0);
  EXPECT_EQ(canvas.GetPixel(0, 0) & 0xFFFFFF, ~before.GetPixel(0, 0) & 0xFFFFFF);
}

TEST_F(EditingTest, PreserveAspectRightEdgeGrowsAboutTheCentreLine) {
  TfsShape &s = Add(20, 20, 100, 50);
  s.SetPreserveAspect(true);
  Select(s);
  // The right edge is grabbed on its line, halfway down.
  const TPoint from = At(s, 100, 25);
  uint8_t kind = 0;
  EXPECT_EQ(Doc.HitAtPoint(from, kind), &s);
  EXPECT_EQ(kind, hkRight);
  const int undoBefore = Doc.UndoCount();
  Drag(from, {from.X + int32_t(40 * Scale), from.Y});
  EXPECT_FLOAT_EQ(s.DocWidth(), 140);
  EXPECT_FLOAT_EQ(s.DocHeight(), 70);
  EXPECT_FLOAT_EQ(s.DocLeft(), 20);
  EXPECT_FLOAT_EQ(s.DocTop(), 10);
  EXPECT_EQ(Doc.DragState(), TfsDocument::dsIdle);
  // One drag, one undo step.
  ASSERT_GT(Doc.UndoCount(), undoBefore);
  Doc.Undo();
  EXPECT_FLOAT_EQ(s.DocWidth(), 100);
  EXPECT_FLOAT_EQ(s.DocHeight(), 50);
  EXPECT_FLOAT_EQ(s.DocTop(), 20);
  EXPECT_EQ(Doc.UndoCount(), undoBefore);
}

TEST_F(EditingTest, RotationSnapsByStepAngleAndAlt) {
  struct Case {
    float StepAngle;
    bool Alt;
    float Angle;
  } cases[] = {
      {0, false, 37.0376f}, // free: atan(40 / 53)
      {15, false, 30},
      {0, true, 35},
      {15, true, 37.0376f},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.StepAngle << (c.Alt ? " alt" : ""));
    Doc.SetStepAngle(c.StepAngle);
    TfsShape &s = Add(20, 20, 100, 50);
    Select(s);
    // The rotation handle of the corner painter sits beside the right edge.
    const TPoint from = At(s, 103, 25);
    uint8_t kind = 0;
    EXPECT_EQ(Doc.HitAtPoint(from, kind), &s);
    ASSERT_EQ(kind, hkRotate);
    Drag(from, {from.X, from.Y - int32_t(40 * Scale)}, c.Alt ? ssAlt : 0);
    EXPECT_NEAR(s.DocAngle(), c.Angle, 0.01);
    // Turned about its centre.
    const TFloatPoint centre = s.LocalToParent({50, 25});
    EXPECT_NEAR(centre.X, 70, 1e-3);
    EXPECT_NEAR(centre.Y, 45, 1e-3);
    Doc.DeleteShape(Doc.ShapeCount() - 1);
  }
}

TEST_F(EditingTest, SmallPressSelectsWithoutMoving) {
  TfsShape &s = Add(10, 10, 40, 30);
  const TPoint p = At(s, 20, 15);
  // 2 and 3 pixels stay below the threshold; 4 pixels move.
  for (int distance : {2, 3}) {
    Drag(p, {p.X + distance, p.Y});
    EXPECT_TRUE(s.Selected());
    EXPECT_FLOAT_EQ(s.DocLeft(), 10) << distance;
  }
  Drag(p, {p.X + 4, p.Y});
  EXPECT_FLOAT_EQ(s.DocLeft(), 11);
}

TEST_F(EditingTest, ShiftMovesAlongTheLargerAxisOnly) {
  TfsShape &s = Add(10, 10, 40, 30);
  Select(s);
  const TPoint p = At(s, 20, 15);
  Doc.MouseDown(mbLeft, ssLeft, p);
  Doc.MouseMove(TShiftState(ssLeft | ssShift), {p.X + 40, p.Y + 12});
  Doc.MouseUp(mbLeft, TShiftState(ssLeft | ssShift), {p.X + 40, p.Y + 12});
  EXPECT_FLOAT_EQ(s.DocLeft(), 20);
  EXPECT_FLOAT_EQ(s.DocTop(), 10);
}

TEST_F(EditingTest, CtrlDragCopiesTheSelection) {
  TfsShape &a = Add(10, 10, 20, 20);
  TfsShape &b = Add(50, 10, 20, 20);
  a.SetName("a");
  b.SetName("b");
  Select(a);
  b.SetSelected(true);
  const TPoint p = At(a, 10, 10);
  Drag(p, {p.X + int32_t(30 * Scale), p.Y + int32_t(40 * Scale)}, ssCtrl);
  ASSERT_EQ(Doc.ShapeCount(), 4);
  EXPECT_FLOAT_EQ(a.DocLeft(), 10);
  EXPECT_FLOAT_EQ(b.DocLeft(), 50);
  EXPECT_FALSE(a.Selected());
  EXPECT_EQ(Doc.SelectedCount(), 2);
  for (int n = 0; n < 2; ++n) {
    const TfsShape &copy = *Doc.GetSelected(n);
    EXPECT_FLOAT_EQ(copy.DocTop(), 50);
    EXPECT_FLOAT_EQ(copy.DocLeft(), copy.Name() == "a" ? 40 : 80);
  }
}

TEST_F(EditingTest, ImmovableShapesStayButCanBeResized) {
  TfsShape &s = Add(10, 10, 40, 30);
  s.SetAllowMove(false);
  Select(s);
  const TPoint p = At(s, 20, 15);
  Drag(p, {p.X + 40, p.Y + 40});
  EXPECT_FLOAT_EQ(s.DocLeft(), 10);
  EXPECT_FLOAT_EQ(s.DocTop(), 10);
  // The left edge moves the left side.
  const TPoint edge = At(s, 0, 15);
  Drag(edge, {edge.X - int32_t(5 * Scale), edge.Y});
  EXPECT_FLOAT_EQ(s.DocLeft(), 5);
  EXPECT_FLOAT_EQ(s.DocWidth(), 45);
}

TEST_F(EditingTest, RubberBandSelectsWhatItTouches) {
  TfsShape &a = Add(10, 10, 10, 10);
  TfsShape &b = Add(30, 10, 10, 10);
  TfsShape &c = Add(60, 60, 10, 10);
  Drag({int32_t(5 * Scale), int32_t(5 * Scale)}, {int32_t(45 * Scale), int32_t(25 * Scale)});
  EXPECT_TRUE(a.Selected());
  EXPECT_TRUE(b.Selected());
  EXPECT_FALSE(c.Selected());
  EXPECT_EQ(Doc.DragState(), TfsDocument::dsIdle);
}

TEST_F(EditingTest, InsertModes) {
  // Click mode: placed at the click with its own size.
  auto shape = std::make_unique<TfsShape>();
  shape->SetBounds(0, 0, 20, 10);
  TfsShape *placed = shape.get();
  TfsShape *closed = nullptr;
  Doc.OnShapeInsertClosed = [&](TfsDocument &, TfsShape *s) { closed = s; };
  Doc.StartInsert(std::move(shape));
  EXPECT_EQ(Doc.DragState(), TfsDocument::dsInsertArmed);
  Doc.MouseDown(mbLeft, ssLeft, {int32_t(30 * Scale), int32_t(40 * Scale)});
  Doc.MouseUp(mbLeft, ssLeft, {int32_t(30 * Scale), int32_t(40 * Scale)});
  ASSERT_EQ(Doc.ShapeCount(), 1);
  EXPECT_EQ(closed, placed);
  const TfsPage &page = *Doc.CurrentPage();
  EXPECT_FLOAT_EQ(placed->DocLeft(), 30 - page.DocLeft());
  EXPECT_FLOAT_EQ(placed->DocWidth(), 20);
  EXPECT_TRUE(placed->Selected());

  // Drag mode: a release without moving keeps it pending.
  Doc.StartInsertDrag(std::make_unique<TfsShape>());
  const TPoint p{int32_t(50 * Scale), int32_t(50 * Scale)};
  Doc.MouseDown(mbLeft, ssLeft, p);
  Doc.MouseUp(mbLeft, ssLeft, p);
  EXPECT_EQ(Doc.DragState(), TfsDocument::dsInsertDragging);
  EXPECT_EQ(Doc.ShapeCount(), 1);
  Doc.MouseDown(mbLeft, ssLeft, p);
  Doc.MouseMove(ssLeft, {p.X + int32_t(12 * Scale), p.Y + int32_t(8 * Scale)});
  Doc.MouseUp(mbLeft, ssLeft, {p.X + int32_t(12 * Scale), p.Y + int32_t(8 * Scale)});
  ASSERT_EQ(Doc.ShapeCount(), 2);
  EXPECT_FLOAT_EQ(Doc.GetShape(1)->DocWidth(), 12);
  EXPECT_FLOAT_EQ(Doc.GetShape(1)->DocHeight(), 8);

  // Escape cancels a pending insertion, and the shape is reported gone.
  TfsShape *gone = nullptr;
  Doc.OnShapeDestroy = [&](TfsDocument &, TfsShape *s) { gone = s; };
  auto third = std::make_unique<TfsShape>();
  TfsShape *pending = third.get();
  Doc.StartInsert(std::move(third));
  uint16_t key = vkEscape;
  EXPECT_TRUE(Doc.KeyDown(key, 0));
  EXPECT_EQ(gone, pending);
  EXPECT_EQ(closed, nullptr);
  EXPECT_EQ(Doc.DragState(), TfsDocument::dsIdle);
  EXPECT_EQ(Doc.ShapeCount(), 2);
}

TEST_F(EditingTest, OtherButtonsReportTheirFlag) {
  std::vector<TShiftState> states;
  Doc.OnMouseDown = [&](TfsDocument &, TMouseButton, TShiftState s, const TPoint &) {
    states.push_back(s);
  };
  Doc.MouseDown(mbMiddle, TShiftState(ssMiddle | ssShift | ssAlt), {5, 5});
  Doc.MouseDown(mbRight, ssRight, {5, 5});
  Doc.MouseDown(mbLeft, TShiftState(ssLeft | ssCtrl), {5, 5});
  EXPECT_EQ(states, (std::vector<TShiftState>{TShiftState(ssMiddle | ssShift), ssRight,
                                              TShiftState(ssLeft | ssCtrl)}));
}

TEST_F(EditingTest, InPlaceEditingGetsTheKeysAndMouse) {
  TEditableShape &s = Add<TEditableShape>(10, 10, 40, 30);
  const TPoint p = At(s, 20, 15);
  Doc.DblClick(ssLeft, p);
  EXPECT_EQ(Doc.DragState(), TfsDocument::dsEditing);
  EXPECT_EQ(Doc.EditingShape(), &s);
  EXPECT_EQ(s.Edits, 1);
  // Keys and presses go to the shape and nothing else: Delete deletes
  // nothing.
  uint16_t key = vkDelete;
  s.SetSelected(true);
  EXPECT_TRUE(Doc.KeyDown(key, 0));
  EXPECT_EQ(Doc.ShapeCount(), 1);
  EXPECT_EQ(s.Keys, std::vector<uint16_t>{vkDelete});
  Doc.MouseDown(mbLeft, ssLeft, p);
  EXPECT_EQ(s.Presses.size(), 1u);
  Doc.EndEdit(false);
  EXPECT_EQ(s.Ended, std::vector<bool>{false});
  EXPECT_EQ(Doc.DragState(), TfsDocument::dsIdle);
  // F2 edits the first selected shape; a shape that may not be edited only
  // reports it.
  key = vkF2;
  Doc.KeyDown(key, 0);
  EXPECT_EQ(s.Edits, 2);
  Doc.EndEdit(true);
  s.SetAllowEdit(false);
  int reported = 0;
  s.OnEdit = [&](TfsShape &) { ++reported; };
  Doc.DblClick(ssLeft, p);
  EXPECT_EQ(Doc.DragState(), TfsDocument::dsIdle);
  EXPECT_EQ(s.Edits, 2);
  EXPECT_EQ(reported, 1);
}

TEST_F(EditingTest, AShapeWithoutInPlaceEditingLeavesTheEditingStateAtOnce) {
  // The base shape's Edit closes its editing straight away.
  TfsShape &s = Add(10, 10, 40, 30);
  int closed = 0;
  Doc.OnShapeEditClosed = [&](TfsDocument &, TfsShape *) { ++closed; };
  const TPoint p = At(s, 20, 15);
  Doc.DblClick(ssLeft, p);
  Doc.MouseUp(mbLeft, ssLeft, p);
  EXPECT_EQ(closed, 1);
  EXPECT_EQ(Doc.DragState(), TfsDocument::dsIdle);
  EXPECT_EQ(Doc.EditingShape(), nullptr);
  // Dragging works again.
  Drag(p, {p.X + int32_t(10 * Scale), p.Y});
  EXPECT_FLOAT_EQ(s.DocLeft(), 20);

  // A shape deleted while it is edited ends the editing state too.
  TEditableShape &e = Add<TEditableShape>(60, 10, 20, 20);
  Doc.EditShape(e);
  ASSERT_EQ(Doc.DragState(), TfsDocument::dsEditing);
  Doc.DeleteShape(Doc.ShapeCount() - 1);
  EXPECT_EQ(Doc.DragState(), TfsDocument::dsIdle);
  EXPECT_EQ(Doc.EditingShape(), nullptr);
}

TEST_F(EditingTest, HandlesAndOutlinesArePainted) {
  TfsShape &s = Add(10, 10, 40, 30);
  Select(s);
  TBitmap32 canvas;
  canvas.SetSize(400, 300);
  canvas.Clear(0xFF808080);
  Doc.PaintEditing(canvas);
  // A handle square at the top-left corner, white with a black edge.
  const TPoint corner = At(s, 0, 0);
  EXPECT_EQ(canvas.GetPixel(corner.X, corner.Y) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(canvas.GetPixel(corner.X - 3, corner.Y) & 0xFFFFFF, 0u);
  // While dragging, the outline shows where the shape will go.
  const TPoint p = At(s, 20, 15);
  Doc.MouseDown(mbLeft, ssLeft, p);
  Doc.MouseMove(ssLeft, {p.X + 40, p.Y});
  ASSERT_TRUE(Doc.OutlineShown());
  EXPECT_FALSE(Host.Repaints.empty());
  canvas.Clear(0xFF808080);
  Doc.PaintEditing(canvas);
  int inverted = 0;
  const TPoint moved = At(s, 0, 15);
  for (int32_t dy = -3; dy <= 3; ++dy)
    inverted += (canvas.GetPixel(moved.X + 40, moved.Y + dy) & 0xFFFFFF) == 0x7F7F7F;
  EXPECT_GT(inverted, 0);
  uint16_t key = vkEscape;
  Doc.KeyDown(key, 0);
  EXPECT_FALSE(Doc.OutlineShown());
  Doc.MouseUp(mbLeft, ssLeft, {p.X + 40, p.Y});
  EXPECT_FLOAT_EQ(s.DocLeft(), 10);
}

TEST_F(EditingTest, GridSnappingMovesByWholeSteps) {
  TfsShape &s = Add(10, 10, 40, 30);
  Select(s);
  Doc.SetSnapToGrid(true);
  const float grid = Doc.CurrentPage()->GridSize();
  ASSERT_GT(grid, 0);
  const TPoint p = At(s, 11, 12);
  Drag(p, {p.X + int32_t(7 * Scale), p.Y + int32_t(2 * Scale)});
  const float moved = s.DocLeft() - 10;
  EXPECT_NEAR(std::fmod(moved, grid), 0, 1e-3) << moved;
  EXPECT_GT(moved, 0);
  // Alt turns snapping off for the drag.
  const float before = s.DocLeft();
  const TPoint q = At(s, 11, 12);
  Drag(q, {q.X + int32_t(7 * Scale), q.Y}, ssAlt);
  EXPECT_NEAR(s.DocLeft() - before, 7, 0.3);
}

TEST_F(EditingTest, LeavingTheViewWhileMovingStartsDragAndDrop) {
  TfsShape &s = Add(10, 10, 40, 30);
  Select(s);
  int started = 0;
  Doc.OnStartDrag = [&](TfsDocument &) { ++started; };
  const TPoint p = At(s, 20, 15);
  Doc.MouseDown(mbLeft, ssLeft, p);
  Doc.MouseMove(ssLeft, {p.X + 20, p.Y});
  ASSERT_EQ(Doc.DragState(), TfsDocument::dsDragging);
  Doc.MouseMove(ssLeft, {-5, p.Y});
  EXPECT_EQ(Host.DragDrops, 1);
  EXPECT_EQ(started, 1);
  EXPECT_EQ(Doc.DragState(), TfsDocument::dsIdle);
  Doc.MouseUp(mbLeft, ssLeft, {-5, p.Y});
  EXPECT_FLOAT_EQ(s.DocLeft(), 10);
}

TEST_F(EditingTest, HintsShowAfterThePauseAndHideAgain) {
  TfsShape &s = Add(10, 10, 40, 30);
  s.SetHint("a box");
  s.SetShowHint(true);
  Doc.MouseMove(0, At(s, 20, 15));
  ASSERT_TRUE(Host.Timers.count(tmHint));
  EXPECT_EQ(Host.Timers[tmHint], Doc.HintPause());
  Doc.TimerTick(tmHint);
  EXPECT_EQ(Host.Hints, std::vector<std::string>{"a box"});
  EXPECT_EQ(Host.Timers[tmHint], Doc.HintHidePause());
  Doc.TimerTick(tmHint);
  EXPECT_FALSE(Host.Timers.count(tmHint));
  // Off the shape, no hint is pending.
  Doc.MouseMove(0, {int32_t(300 * Scale), int32_t(300 * Scale)});
  EXPECT_FALSE(Host.Timers.count(tmHint));
}

TEST_F(EditingTest, TheOtherPainterHasEightHandlesAndAnUpperRotationHandle) {
  Doc.SetHandlePainterType(hpW2K3Handle);
  TfsShape &s = Add(10, 10, 40, 20);
  Select(s);
  s.PrepareHandles();
  const auto &handles = s.HandlePainter().Handles();
  ASSERT_EQ(handles.size(), 9u);
  EXPECT_EQ(handles[8].Kind, hkRotate);
  EXPECT_FLOAT_EQ(handles[8].Y, -5);
  uint8_t kind = 0;
  EXPECT_EQ(Doc.HitAtPoint(At(s, 40, 10), kind), &s);
  EXPECT_EQ(kind, hkRight);
  // Its edges are not grabbed between the handles.
  Doc.HitAtPoint(At(s, 40, 3), kind);
  EXPECT_EQ(kind, hkMove);
  // A shape that may not turn has no rotation handle to grab.
  s.SetAllowRotate(false);
  Doc.HitAtPoint(At(s, 20, -5), kind);
  EXPECT_EQ(kind, hkNone);
}

TEST(LineEdit, EditingCases) {
  TfsLineEdit e;
  e.SetText(u"abc");
  EXPECT_EQ(e.CaretPos, 3);
  e.KeyDown(vkLeft, ssShift);
  e.KeyDown(vkLeft, ssShift);
  EXPECT_EQ(e.SelStart, 1);
  EXPECT_EQ(e.SelLength, 2);
  e.KeyPress(u'x');
  EXPECT_EQ(e.Text(), u"ax");
  EXPECT_EQ(e.CaretPos, 2);
  EXPECT_EQ(e.SelLength, 0);

  e.KeyDown(vkHome, 0);
  e.KeyDown(vkRight, ssShift);
  e.KeyDown(vkRight, ssShift);
  e.KeyDown(vkLeft, ssShift);
  EXPECT_EQ(e.SelStart, 0);
  EXPECT_EQ(e.SelLength, 1);
  e.KeyPress(CtrlX);
  EXPECT_EQ(e.Text(), u"x");
  EXPECT_EQ(e.CaretPos, 0);
  e.KeyDown(vkEnd, 0);
  e.KeyPress(CtrlV);
  EXPECT_EQ(e.Text(), u"xa");
  e.KeyDown(vkReturn, 0);
  EXPECT_EQ(e.Text(), u"xa\r\n");
  e.KeyDown(vkBack, 0);
  e.KeyDown(vkBack, 0);
  e.KeyDown(vkHome, 0);
  e.KeyDown(vkDelete, 0);
  EXPECT_EQ(e.Text(), u"a");
  e.KeyDown(vkLeft, 0);
  e.KeyDown(vkLeft, 0);
  EXPECT_EQ(e.CaretPos, 0);
  e.KeyPress(u'\t'); // below 32: nothing
  EXPECT_EQ(e.Text(), u"a");

  TfsLineEdit upper;
  upper.CaseMode = TfsLineEdit::cmUpper;
  upper.MaxLength = 4;
  upper.Insert(u"ab\u00e9cd");
  EXPECT_EQ(upper.Text(), u"AB\u00c9C");
  EXPECT_EQ(upper.CaretPos, 4);
  int changes = 0;
  upper.OnChange = [&](TfsLineEdit &) { ++changes; };
  upper.SelectAll();
  EXPECT_EQ(upper.SelLength, 4);
  upper.SetText(u"AB\u00c9C");
  EXPECT_EQ(changes, 2);
}

TEST(LineEdit, ClipboardGoesThroughTheHost) {
  TFakeDocumentHost host;
  TfsLineEdit e(&host);
  e.SetText(u"h\u00e9llo");
  e.SelStart = 1;
  e.SelLength = 2;
  e.KeyPress(CtrlC);
  EXPECT_EQ(host.Clipboard, "\xc3\xa9l");
  host.Clipboard = "\xe2\x82\xac";
  e.KeyPress(CtrlV);
  EXPECT_EQ(e.Text(), u"h\u20aclo");
}

} // namespace
