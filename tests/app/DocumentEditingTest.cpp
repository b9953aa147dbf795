#include "app/TfsDocumentView.h"
#include "engine/fsPage.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A box that takes typed characters while edited in place.
class TTypingBox : public TfsShape {
public:
  void EditKeyPress(char16_t &key) override { Typed += key; }
  void EditKeyDown(uint16_t &key, TShiftState) override {
    if (key == vkEscape && Document())
      Document()->FinishEdit(*this, false);
  }
  void Edit() override {}
  void EndEdit(bool accepted) override { Ended.push_back(accepted); }
  std::u16string Typed;
  std::vector<bool> Ended;
};

// The real view, shown, with two boxes; everything through QTest events.
class DocumentEditingTest : public testing::Test {
protected:
  DocumentEditingTest() {
    View.resize(800, 600);
    auto a = std::make_unique<TfsShape>();
    a->SetBounds(20, 20, 40, 20);
    A = a.get();
    Doc().AddShape(std::move(a));
    auto b = std::make_unique<TTypingBox>();
    b->SetBounds(20, 80, 30, 30);
    B = b.get();
    Doc().AddShape(std::move(b));
    View.show();
    QApplication::processEvents();
    Scale = Doc().ViewScale();
  }
  TfsDocument &Doc() { return View.Document(); }
  QWidget *Port() { return View.viewport(); }
  QPoint At(const TfsShape &s, float x, float y) {
    const TFloatPoint p = s.LocalToScreen({x, y});
    const double dpr = View.PixelRatio();
    return QPoint(int(std::lrint(p.X / dpr)), int(std::lrint(p.Y / dpr)));
  }
  void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {}) {
    QTest::mousePress(Port(), Qt::LeftButton, modifiers, from);
    for (int i = 1; i <= 5; ++i) {
      const QPoint p = from + (to - from) * i / 5;
      QMouseEvent move(QEvent::MouseMove, p, Port()->mapToGlobal(p), Qt::NoButton, Qt::LeftButton,
                       modifiers);
      QApplication::sendEvent(Port(), &move);
    }
    QTest::mouseRelease(Port(), Qt::LeftButton, modifiers, to);
  }
  int Px(float mm) const { return int(std::lrint(mm * Scale / View.PixelRatio())); }

  TfsDocumentView View;
  TfsShape *A = nullptr;
  TTypingBox *B = nullptr;
  float Scale = 1;
};

TEST_F(DocumentEditingTest, SelectMoveResizeRotateUndoRedo) {
  // Select by a click.
  QTest::mouseClick(Port(), Qt::LeftButton, {}, At(*A, 10, 10));
  EXPECT_TRUE(A->Selected());
  EXPECT_FALSE(B->Selected());

  // Move by 10 x 5 mm.
  Drag(At(*A, 10, 10), At(*A, 10, 10) + QPoint(Px(10), Px(5)));
  EXPECT_NEAR(A->DocLeft(), 30, 0.3);
  EXPECT_NEAR(A->DocTop(), 25, 0.3);

  // Resize by the bottom edge (grabbed on its line) by 10 mm.
  Drag(At(*A, 20, 20), At(*A, 20, 20) + QPoint(0, Px(10)));
  EXPECT_NEAR(A->DocHeight(), 30, 0.3);
  EXPECT_NEAR(A->DocWidth(), 40, 1e-4);

  // Rotate by the handle beside the right edge, a quarter turn upwards.
  const QPoint handle = At(*A, 41.2f, 15);
  const TFloatPoint centre = A->LocalToParent({20, 15});
  const QPoint centreScreen = At(*A, 20, 15);
  Drag(handle, centreScreen + QPoint(0, -(handle.x() - centreScreen.x())));
  EXPECT_NEAR(A->DocAngle(), 90, 1.5);
  const TFloatPoint after = A->LocalToParent({A->DocWidth() / 2, A->DocHeight() / 2});
  EXPECT_NEAR(after.X, centre.X, 0.05);
  EXPECT_NEAR(after.Y, centre.Y, 0.05);

  // Undo takes back one drag at a time; redo brings it again.
  View.setFocus();
  QTest::keyClick(&View, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_NEAR(A->DocAngle(), 0, 1e-4);
  EXPECT_NEAR(A->DocHeight(), 30, 0.3);
  QTest::keyClick(&View, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_NEAR(A->DocHeight(), 20, 1e-4);
  EXPECT_NEAR(A->DocLeft(), 30, 0.3);
  QTest::keyClick(&View, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_NEAR(A->DocHeight(), 30, 0.3);
}

TEST_F(DocumentEditingTest, ArrowKeysNudgeTheSelection) {
  QTest::mouseClick(Port(), Qt::LeftButton, {}, At(*A, 10, 10));
  ASSERT_TRUE(A->Selected());
  const float grid = Doc().CurrentPage()->GridSize();
  QTest::keyClick(&View, Qt::Key_Right);
  EXPECT_FLOAT_EQ(A->DocLeft(), 20 + grid);
  QTest::keyClick(&View, Qt::Key_Up, Qt::AltModifier);
  EXPECT_NEAR(A->DocTop(), 19.9, 1e-4);
  QTest::keyClick(&View, Qt::Key_Delete);
  EXPECT_EQ(Doc().ShapeCount(), 1);
  QTest::keyClick(&View, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Doc().ShapeCount(), 2);
}

TEST_F(DocumentEditingTest, InPlaceEditingTakesTypedKeys) {
  QTest::mouseDClick(Port(), Qt::LeftButton, {}, At(*B, 10, 10));
  ASSERT_EQ(Doc().DragState(), TfsDocument::dsEditing);
  EXPECT_EQ(Doc().EditingShape(), B);
  QTest::keyClicks(&View, "hi!");
  // Delete goes to the shape, not to the selection.
  QTest::keyClick(&View, Qt::Key_Delete);
  EXPECT_EQ(Doc().ShapeCount(), 2);
  EXPECT_EQ(B->Typed, u"hi!");
  QTest::keyClick(&View, Qt::Key_Escape);
  EXPECT_EQ(Doc().DragState(), TfsDocument::dsIdle);
  EXPECT_EQ(B->Ended, std::vector<bool>{false});
  // F2 starts editing the selected shape again.
  QTest::mouseClick(Port(), Qt::LeftButton, {}, At(*B, 10, 10));
  QTest::keyClick(&View, Qt::Key_F2);
  EXPECT_EQ(Doc().EditingShape(), B);
}

TEST_F(DocumentEditingTest, MiddleButtonAndCursors) {
  std::vector<TShiftState> states;
  Doc().OnMouseDown = [&](TfsDocument &, TMouseButton, TShiftState s, const TPoint &) {
    states.push_back(s);
  };
  QTest::mousePress(Port(), Qt::MiddleButton, Qt::ShiftModifier, QPoint(5, 5));
  QTest::mouseRelease(Port(), Qt::MiddleButton, Qt::ShiftModifier, QPoint(5, 5));
  ASSERT_EQ(states.size(), 1u);
  EXPECT_EQ(states[0], TShiftState(ssMiddle | ssShift));
  // Hovering a shape's body shows the hand.
  const QPoint over = At(*A, 10, 10);
  QMouseEvent move(QEvent::MouseMove, over, Port()->mapToGlobal(over), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(Port(), &move);
  EXPECT_EQ(Port()->cursor().shape(), Qt::PointingHandCursor);
}

} // namespace

namespace {

TEST(DocumentViewFilters, PictureFiltersBecomeQtNameFilters) {
  struct Case {
    const char *Filter;
    const char *Qt;
  } cases[] = {
      {"Graphic formats|*.bmp;*.png|All Formats (*.*)|*.*",
       "Graphic formats (*.bmp *.png);;All Formats (*.*)"},
      {"Bitmaps (*.bmp)|*.bmp", "Bitmaps (*.bmp)"},
      {"", ""},
      {"dangling|", "dangling ()"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(TfsDocumentView::QtNameFilters(c.Filter).toStdString(), c.Qt) << c.Filter;
}

} // namespace
