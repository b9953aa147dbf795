#include "engine/fsShape.h"

#include "engine/FakeGroupShape.h"
#include "engine/FakeShapeDocument.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using enginetest::FakeShapeDocument;

namespace {

// A parent in a fake document with named children "0", "1", ... and its
// OnChange counted.
struct TFamily {
  FakeShapeDocument Doc;
  TfsShape Parent;
  int Changes = 0;
  explicit TFamily(int children = 0) {
    Parent.SetDocument(&Doc);
    for (int i = 0; i < children; ++i)
      Add(std::to_string(i));
    Parent.OnChange = [this](TfsShape &) { ++Changes; };
    Doc.Forget();
  }
  TfsShape &Add(const std::string &name, bool internal = false) {
    auto s = std::make_unique<TfsShape>();
    s->SetName(name);
    s->SetIsInternal(internal);
    TfsShape &ref = *s;
    Parent.AddShape(std::move(s));
    return ref;
  }
  std::string Names() const {
    std::string out;
    for (int i = 0; i < Parent.ShapeCount(); ++i)
      out += (i ? "," : "") + Parent.GetShape(i)->Name();
    return out;
  }
};

// ---- children -----------------------------------------------------------------

TEST(ShapeChildren, AddAndInsertAttachAndRecordTheIndex) {
  TFamily f(2);
  auto s = std::make_unique<TfsShape>();
  TfsShape *raw = s.get();
  s->SetName("new");
  f.Parent.InsertShape(1, std::move(s));
  EXPECT_EQ(f.Names(), "0,new,1");
  EXPECT_EQ(raw->Parent(), &f.Parent);
  EXPECT_EQ(raw->Document(), &f.Doc);
  ASSERT_EQ(f.Doc.Commands.size(), 1u);
  EXPECT_EQ(f.Doc.Commands[0]->Kind, ckChildInserted);
  EXPECT_EQ(f.Doc.Commands[0]->Value, "1");
  EXPECT_EQ(f.Doc.Commands[0]->ShapeID, f.Parent.ID());
  EXPECT_EQ(f.Changes, 1);
  EXPECT_FALSE(f.Doc.Repaints.empty());

  EXPECT_EQ(f.Parent.AddShape(nullptr), -1);
  EXPECT_EQ(f.Parent.AddShape(std::make_unique<TfsShape>()), 3);
  EXPECT_EQ(f.Doc.Commands.back()->Value, "3");
  EXPECT_EQ(f.Parent.GetShape(4), nullptr);
  EXPECT_EQ(f.Parent.GetShape(-1), nullptr);
  EXPECT_EQ(f.Parent.IndexOfShape(raw), 1);
  TfsShape stranger;
  EXPECT_EQ(f.Parent.IndexOfShape(&stranger), -1);
}

TEST(ShapeChildren, DeleteTellsTheDocumentAndRecordsTheRemoval) {
  TFamily f(3);
  TfsShape *victim = f.Parent.GetShape(1);
  victim->SetSelected(true);
  f.Doc.Forget();
  f.Parent.DeleteShape(1);
  EXPECT_EQ(f.Names(), "0,2");
  ASSERT_EQ(f.Doc.Destroying.size(), 1u);
  EXPECT_EQ(f.Doc.Destroying[0], victim);
  EXPECT_EQ(f.Doc.SelectionChanges, std::vector<TfsShape *>{victim}) << "deselected first";
  ASSERT_EQ(f.Doc.Commands.size(), 1u);
  EXPECT_EQ(f.Doc.Commands[0]->Kind, ckChildRemoved);
  EXPECT_EQ(f.Doc.Commands[0]->Value, "TfsShape");
  EXPECT_EQ(f.Changes, 1);

  f.Doc.Forget();
  f.Parent.DeleteShape(7);
  f.Parent.DeleteShape(-1);
  EXPECT_TRUE(f.Doc.Commands.empty());
  EXPECT_EQ(f.Names(), "0,2");
}

TEST(ShapeChildren, ExtractDetachesWithoutDestroying) {
  TFamily f(3);
  TfsShape *middle = f.Parent.GetShape(1);
  std::unique_ptr<TfsShape> out = f.Parent.ExtractShape(middle);
  ASSERT_EQ(out.get(), middle);
  EXPECT_EQ(out->Parent(), nullptr);
  EXPECT_EQ(out->Document(), nullptr);
  EXPECT_EQ(f.Names(), "0,2");
  EXPECT_TRUE(f.Doc.Destroying.empty());
  EXPECT_EQ(f.Parent.ExtractShape(middle), nullptr);
  EXPECT_EQ(f.Parent.RemoveShape(f.Parent.GetShape(1)), 1);
  EXPECT_EQ(f.Names(), "0");
  f.Parent.ClearShapes();
  EXPECT_EQ(f.Parent.ShapeCount(), 0);
}

TEST(ShapeChildren, ClearKeepsTheInternalChildrenAtTheBottom) {
  TFamily f;
  f.Add("part", true);
  f.Add("a");
  f.Add("b");
  f.Changes = 0;
  f.Parent.Clear();
  EXPECT_EQ(f.Names(), "part");
  EXPECT_EQ(f.Changes, 1) << "one notification for the whole clear";

  // Deleting stops at the first internal child met from the top.
  TFamily g;
  g.Add("part", true);
  g.Add("a");
  g.Add("inner", true);
  g.Add("b");
  g.Parent.Clear();
  EXPECT_EQ(g.Names(), "part,a,inner");
}

TEST(ShapeChildren, ExchangeSwapsTwoExistingDifferentChildren) {
  struct TCase {
    int I, J;
    const char *Names;
    int Changes;
  } cases[] = {{0, 2, "2,1,0", 1}, {2, 2, "0,1,2", 0}, {0, 3, "0,1,2", 0}, {-1, 1, "0,1,2", 0}};
  for (const TCase &c : cases) {
    TFamily f(3);
    f.Parent.ExchangeShapes(c.I, c.J);
    EXPECT_EQ(f.Names(), c.Names) << c.I << "," << c.J;
    EXPECT_EQ(f.Changes, c.Changes) << c.I << "," << c.J;
    EXPECT_TRUE(f.Doc.Commands.empty()) << "no undo record";
  }
}

// ---- documents and IDs -------------------------------------------------------------

TEST(ShapeDocument, EveryAttachmentTakesFreshIDsDownTheSubtree) {
  TfsShape top;
  auto kid = std::make_unique<TfsShape>();
  TfsShape *k = kid.get();
  kid->AddShape(std::make_unique<TfsShape>());
  TfsShape *grandchild = kid->GetShape(0);
  top.AddShape(std::move(kid));
  EXPECT_EQ(k->ID(), 0) << "no document, no ID";

  FakeShapeDocument doc;
  top.SetDocument(&doc);
  EXPECT_EQ(top.ID(), 1);
  EXPECT_EQ(k->ID(), 2);
  EXPECT_EQ(grandchild->ID(), 3);
  EXPECT_EQ(grandchild->Document(), &doc);

  // Out and in again: new numbers.
  std::unique_ptr<TfsShape> out = top.ExtractShape(k);
  EXPECT_EQ(grandchild->Document(), nullptr);
  top.AddShape(std::move(out));
  EXPECT_EQ(k->ID(), 4);
  EXPECT_EQ(grandchild->ID(), 5);
}

// ---- flags, names, selection ------------------------------------------------------------

TEST(ShapeSelection, GoesToTheDocumentAndRespectsAllowSelect) {
  TFamily f(1);
  TfsShape &s = *f.Parent.GetShape(0);
  s.SetSelected(true);
  EXPECT_TRUE(s.Selected());
  s.SetSelected(true);
  EXPECT_EQ(f.Doc.SelectionChanges.size(), 1u) << "no change, no message";
  s.SetSelected(false);
  s.SetAllowSelect(false);
  f.Doc.Forget();
  s.SetSelected(true);
  EXPECT_FALSE(s.Selected());
  EXPECT_TRUE(f.Doc.SelectionChanges.empty());
}

TEST(ShapeVisibility, HidingDeselectsAndNotifies) {
  TFamily f(1);
  TfsShape &s = *f.Parent.GetShape(0);
  int changes = 0;
  s.OnChange = [&](TfsShape &) { ++changes; };
  s.SetSelected(true);
  s.SetVisible(false);
  EXPECT_FALSE(s.Visible());
  EXPECT_FALSE(s.Selected());
  EXPECT_EQ(changes, 1);
  s.SetVisible(false);
  EXPECT_EQ(changes, 1);
}

TEST(ShapeFlags, NamesAnchorsAndHints) {
  FakeShapeDocument doc;
  TfsShape s;
  s.SetDocument(&doc);
  int changes = 0;
  s.OnChange = [&](TfsShape &) { ++changes; };
  s.SetName("Picture");
  s.SetName("Picture");
  s.SetAnchors(akLeftLock);
  s.SetAnchors(akLeftLock);
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(doc.Commands.empty()) << "names and anchors are not undone";
  EXPECT_EQ(s.Anchors(), akLeftLock);

  EXPECT_EQ(s.EffectiveHint(), "Picture") << "the display name stands in";
  s.SetHint("Drag me");
  EXPECT_EQ(s.EffectiveHint(), "Drag me");
  s.SetParentShowHint(true);
  doc.Hints = true;
  EXPECT_TRUE(s.EffectiveShowHint());
  s.SetShowHint(true);
  EXPECT_FALSE(s.ParentShowHint());
  doc.Hints = false;
  EXPECT_TRUE(s.EffectiveShowHint());
}

TEST(ShapeFlags, MasterAlphaIsRecordedAndClamped) {
  FakeShapeDocument doc;
  TfsShape s;
  s.SetDocument(&doc);
  s.SetMasterAlpha(128);
  ASSERT_EQ(doc.CommandNames(), std::vector<std::string>{"MasterAlpha"});
  EXPECT_EQ(doc.Commands[0]->Value, "255");
  s.SetMasterAlpha(300);
  EXPECT_EQ(s.MasterAlpha(), 255);
  s.SetMasterAlpha(-4);
  EXPECT_EQ(s.MasterAlpha(), 0);
}

// ---- change notification -------------------------------------------------------------------

TEST(ShapeUpdate, OneNotificationWhenTheOutermostBracketCloses) {
  TFamily f;
  f.Parent.BeginUpdate();
  f.Parent.BeginUpdate();
  f.Parent.SetName("a");
  f.Parent.SetName("b");
  EXPECT_TRUE(f.Parent.ChangePending());
  f.Parent.EndUpdate();
  EXPECT_EQ(f.Changes, 0);
  EXPECT_TRUE(f.Doc.ChangedShapes.empty());
  f.Parent.EndUpdate();
  EXPECT_EQ(f.Changes, 1);
  EXPECT_EQ(f.Doc.ChangedShapes, std::vector<TfsShape *>{&f.Parent});
  EXPECT_FALSE(f.Parent.ChangePending());
  try {
    f.Parent.EndUpdate();
    FAIL() << "an unpaired EndUpdate must raise";
  } catch (const EfsError &e) {
    EXPECT_STREQ(e.what(), "EndUpdate called more often than BeginUpdate");
  }
  EXPECT_EQ(f.Parent.UpdateCount(), 0);
}

TEST(ShapeUpdate, NothingWhileTheDocumentLoads) {
  TFamily f;
  f.Doc.Loading = true;
  f.Parent.SetName("x");
  EXPECT_EQ(f.Changes, 0);
  EXPECT_FALSE(f.Parent.Modified());
  EXPECT_EQ(f.Doc.ModifiedCount, 0);
}

TEST(ShapeModified, RisesToTheParentAndClearsDownwards) {
  TFamily f(1);
  TfsShape &kid = *f.Parent.GetShape(0);
  kid.AddShape(std::make_unique<TfsShape>());
  TfsShape &grandchild = *kid.GetShape(0);
  f.Parent.SetModified(false);
  EXPECT_FALSE(grandchild.Modified());
  f.Doc.Forget();
  grandchild.SetName("changed");
  EXPECT_TRUE(grandchild.Modified());
  EXPECT_TRUE(kid.Modified());
  EXPECT_TRUE(f.Parent.Modified());
  EXPECT_GE(f.Doc.ModifiedCount, 1);
  f.Parent.SetModified(false);
  EXPECT_FALSE(kid.Modified());
  EXPECT_FALSE(grandchild.Modified());
}

// ---- editing hooks ---------------------------------------------------------------------------

TEST(ShapeEdit, FiresOnEditAndTheDocumentClosesAtOnce) {
  FakeShapeDocument doc;
  TfsShape s;
  s.SetDocument(&doc);
  int edits = 0;
  s.OnEdit = [&](TfsShape &) { ++edits; };
  s.Edit();
  EXPECT_EQ(edits, 1);
  EXPECT_EQ(doc.EditsClosed, std::vector<TfsShape *>{&s});
  TFloatPoint offset;
  s.GetPasteOffset(offset);
  EXPECT_EQ(offset, (TFloatPoint{10, 10}));
}

// ---- hit testing
// -----------------------------------------------------------------------------------

TEST(ShapeHitTest, VisibleAndInsideTheTurnedRegion) {
  FakeShapeDocument doc;
  doc.Mapping = {0, 0, 2};
  TfsShape s;
  s.SetDocument(&doc);
  s.SetGeometry(50, 40, 20, 10, 90); // covers x 50..60, y 20..40 mm
  struct TProbe {
    TPoint Screen;
    bool Hit;
  } probes[] = {{{110, 60}, true},   // (55, 30) mm
                {{100, 40}, true},   // the corner, edges count
                {{130, 90}, false},  // where the unturned box would be
                {{121, 60}, false}}; // just right of it
  for (const TProbe &p : probes)
    EXPECT_EQ(s.HitTest(p.Screen), p.Hit) << p.Screen.X << "," << p.Screen.Y;
  s.SetVisible(false);
  EXPECT_FALSE(s.HitTest({110, 60}));
}

TEST(ShapeHitTest, ShapeAtPointFindsTheTopmostVisibleChild) {
  TfsShape page;
  page.SetGeometry(0, 0, 100, 100, 0);
  TfsShape *kids[3];
  for (int i = 0; i < 3; ++i) {
    auto k = std::make_unique<TfsShape>();
    k->SetGeometry(10.0f * i, 0, 30, 30, 0);
    kids[i] = k.get();
    page.AddShape(std::move(k));
  }
  EXPECT_EQ(page.ShapeAtPoint({25, 5}), kids[2]);
  kids[2]->SetVisible(false);
  EXPECT_EQ(page.ShapeAtPoint({25, 5}), kids[1]);
  EXPECT_EQ(page.ShapeAtPoint({5, 5}), kids[0]);
  EXPECT_EQ(page.ShapeAtPoint({90, 90}), nullptr) << "on the page, on no child";
  EXPECT_EQ(page.ShapeAtPoint({150, 5}), nullptr);
  EXPECT_EQ(kids[0]->ShapeAtPoint({5, 5}), kids[0]) << "a shape without children is found";
}

TEST(ShapeHitTest, RegionContainsIncludesEdges) {
  const TfsShape::TScreenRegion diamond{{{0, 5}, {5, 10}, {10, 5}, {5, 0}}};
  EXPECT_TRUE(TfsShape::RegionContains(diamond, {5, 5}));
  EXPECT_TRUE(TfsShape::RegionContains(diamond, {2.5f, 7.5f}));
  EXPECT_TRUE(TfsShape::RegionContains(diamond, {0, 5}));
  EXPECT_FALSE(TfsShape::RegionContains(diamond, {1, 1}));
  EXPECT_FALSE(TfsShape::RegionContains(diamond, {10.01f, 5}));
}

// ---- the registry
// ------------------------------------------------------------------------------------

TEST(ShapeRegistry, StandardClassesComeFirstAndUnknownNamesArePlainShapes) {
  const auto records = ShapeClasses().Records();
  ASSERT_GE(records.size(), 2u);
  EXPECT_EQ(records[0].ClassName, "TfsShape");
  EXPECT_EQ(records[1].ClassName, "TfsPage");
  // The group class comes from a higher layer (here its stand-in).
  EXPECT_TRUE(CreateShape("TfsGroupShape")->IsGroupShape());
  EXPECT_EQ(CreateShape("TfsPage")->ClassName(), "TfsPage");
  EXPECT_EQ(CreateShape("TfsNoSuchShape")->ClassName(), "TfsShape");
  EXPECT_EQ(CreateShape("tfsgroupshape")->ClassName(), "TfsShape") << "class names are exact";
}

} // namespace
