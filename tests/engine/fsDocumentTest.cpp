#include "engine/fsDocument.h"

#include "persist/fsResourceThread.h"

#include "engine/FakeDocumentHost.h"
#include "engine/FakeGroupShape.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string ErrorOf(const std::function<void()> &f) {
  try {
    f();
  } catch (const EfsError &e) {
    return e.what();
  }
  return "";
}

// A shape that counts the animation ticks it got.
class TTickShape : public TfsShape {
public:
  void Animate() override { ++Ticks; }
  int Ticks = 0;
};

std::unique_ptr<TfsShape> Box(float left, float top, float width, float height,
                              const std::string &name = "") {
  auto s = std::make_unique<TfsShape>();
  s->SetBounds(left, top, width, height);
  s->SetName(name);
  return s;
}

std::string Bytes(TnvStorage &archive, const std::string &name) {
  TMemoryStream s;
  archive.ReadStream(name, s);
  return s.Bytes();
}

void Put(TnvStorage &archive, const std::string &name, const std::string &bytes) {
  TMemoryStream s(bytes);
  archive.WriteStream(name, s);
}

class DocumentTest : public ::testing::Test {
protected:
  DocumentTest() : Doc(&Host) {
    Doc.OnShapeChanged = [this](TfsDocument &, TfsShape *s) {
      Events.push_back(s ? "shape " + s->Name() : "shape none");
    };
    Doc.OnSelectionChanged = [this](TfsDocument &) { Events.push_back("selection"); };
    Doc.OnFocusShape = [this](TfsDocument &, TfsShape *s) {
      Events.push_back(s ? "focus " + s->Name() : "focus none");
    };
    Doc.OnPageChanged = [this](TfsDocument &, TfsPage *p) {
      Events.push_back("page " + std::to_string(Doc.IndexOfPage(p)));
    };
  }
  // Shapes "s0" ... on the current page, 10 mm apart.
  void AddShapes(int count) {
    for (int i = 0; i < count; ++i)
      Doc.AddShape(Box(10.0f * i, 5, 8, 8, "s" + std::to_string(i)));
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int i = 0; i < Doc.ShapeCount(); ++i)
      names.push_back(Doc.GetShape(i)->Name());
    return names;
  }
  void Select(std::initializer_list<int> indexes) {
    for (int i : indexes)
      Doc.GetShape(i)->SetSelected(true);
  }

  TFakeDocumentHost Host;
  TfsDocument Doc;
  std::vector<std::string> Events;
};

TEST_F(DocumentTest, CreatedWithOneUnmodifiedPage) {
  EXPECT_EQ(Doc.PageCount(), 1);
  EXPECT_EQ(Doc.CurrentPageIndex(), 0);
  EXPECT_FALSE(Doc.Modified());
  EXPECT_EQ(Doc.UndoCount(), 0);
  EXPECT_TRUE(Doc.UndoEnabled());
  EXPECT_EQ(Doc.Mode(), vmEdit);
  EXPECT_EQ(Doc.PageWidth(), 210);
  EXPECT_EQ(Doc.PageHeight(), 297);
  EXPECT_EQ(Doc.Version(), "2.7.1");
  EXPECT_EQ(Host.Timers.at(tmAnimation), 50);

  TfsDocument windowless;
  EXPECT_EQ(windowless.PageCount(), 1);
  windowless.AlignLefts();
  windowless.Repaint();
}

TEST_F(DocumentTest, PageCountOutsideItsRangeIsRefused) {
  for (int count : {26, -1}) {
    SCOPED_TRACE(count);
    EXPECT_EQ(ErrorOf([&] { Doc.SetPageCount(count); }), "Invalid page count");
    EXPECT_EQ(Doc.PageCount(), 1);
  }
  Doc.SetPageCount(25);
  EXPECT_EQ(Doc.PageCount(), 25);
  EXPECT_EQ(Doc.CurrentPageIndex(), 0);
  Doc.SetPageCount(0);
  EXPECT_EQ(Doc.PageCount(), 0);
  EXPECT_EQ(Doc.CurrentPageIndex(), 0);
  EXPECT_EQ(Doc.CurrentPage(), nullptr);
  EXPECT_EQ(Doc.PageWidth(), 0);
  EXPECT_EQ(Doc.AddShape(Box(0, 0, 1, 1)), -1);

  // A page added now is the current page, hooked like any shown page.
  Events.clear();
  Doc.SetDefaultPageWidth(100);
  EXPECT_EQ(Doc.AddPage(), 0);
  EXPECT_EQ(Doc.CurrentPage(), Doc.GetPage(0));
  EXPECT_EQ(Doc.PageWidth(), 100);
  EXPECT_TRUE(static_cast<bool>(Doc.CurrentPage()->OnGeometryChange));
  EXPECT_EQ(Events, (std::vector<std::string>{"page 0", "shape ", "page 0"}));
}

TEST_F(DocumentTest, DeletingAPageRenumbersTheArchiveEntries) {
  struct Case {
    std::vector<int> numbers; // entries present before
    int deleted;              // index
    std::vector<std::pair<std::string, std::string>> after;
  };
  const Case cases[] = {
      {{1, 2, 3}, 1, {{"0001", "1"}, {"0002", "3"}}},
      {{1, 3}, 0, {{"0002", "3"}}},
      {{1, 2, 3}, 2, {{"0001", "1"}, {"0002", "2"}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.deleted);
    TfsDocument doc;
    doc.SetPageCount(3);
    TnvStorage &archive = doc.Archive();
    for (int n : c.numbers) {
      const std::string number = "000" + std::to_string(n);
      Put(archive, "Page" + number + ".xml", std::to_string(n));
      Put(archive, "Thumb" + number + ".bmp", "t" + std::to_string(n));
    }
    doc.DeletePage(c.deleted);
    EXPECT_EQ(doc.PageCount(), 2);
    EXPECT_EQ(archive.StreamCount(), static_cast<int>(2 * c.after.size()));
    for (const auto &[number, content] : c.after) {
      EXPECT_EQ(Bytes(archive, "Page" + number + ".xml"), content);
      EXPECT_EQ(Bytes(archive, "Thumb" + number + ".bmp"), "t" + content);
    }
  }
}

TEST_F(DocumentTest, DeletingAPageMovesTheCurrentIndex) {
  Doc.SetPageCount(3);
  Doc.SetCurrentPageIndex(2);
  TfsPage *last = Doc.GetPage(2);
  Doc.SetModified(false);
  Events.clear();
  std::vector<TfsShape *> destroyed;
  Doc.OnShapeDestroy = [&](TfsDocument &, TfsShape *s) { destroyed.push_back(s); };
  Doc.DeletePage(1);
  EXPECT_EQ(destroyed.size(), 1u);
  EXPECT_TRUE(Doc.Modified());
  EXPECT_EQ(Doc.CurrentPageIndex(), 1);
  EXPECT_EQ(Doc.CurrentPage(), last);
  // The moved page is announced, then shown: the index it was at before
  // names no page any more, so nothing is announced for that.
  EXPECT_EQ(Events, (std::vector<std::string>{"page 1", "page 1"}));

  // Deleting the current page shows the next one at the same index.
  Doc.SetCurrentPageIndex(0);
  TfsPage *next = Doc.GetPage(1);
  next->SetContentLoaded(false);
  int reads = 0;
  Doc.OnReadPage = [&](TfsDocument &, TfsPage &) { ++reads; };
  Doc.DeletePage(0);
  EXPECT_EQ(Doc.CurrentPage(), next);
  EXPECT_EQ(reads, 1);
  EXPECT_TRUE(static_cast<bool>(next->OnGeometryChange));

  Doc.DeletePage(5); // no such page
  EXPECT_EQ(Doc.PageCount(), 1);
}

TEST_F(DocumentTest, DeletingAPageFilesNoUndoOfItsShapes) {
  Doc.AddPage();
  Doc.SetCurrentPageIndex(1);
  AddShapes(2);
  Doc.ClearUndo();
  Doc.DeletePage(1);
  EXPECT_EQ(Doc.UndoCount(), 0);
}

TEST_F(DocumentTest, SettingTheCurrentPageIndex) {
  Doc.AddPage();
  AddShapes(1);
  Doc.SetFocusShape(Doc.GetShape(0));
  Events.clear();
  Doc.SetCurrentPageIndex(0);
  EXPECT_EQ(Events, (std::vector<std::string>{"page 0"}));
  EXPECT_EQ(Doc.FocusShape(), Doc.GetShape(0));

  Events.clear();
  TfsPage *first = Doc.GetPage(0);
  TfsPage *second = Doc.GetPage(1);
  second->SetContentLoaded(false);
  int reads = 0;
  Doc.OnReadPage = [&](TfsDocument &, TfsPage &p) { reads += &p == second; };
  Doc.SetCurrentPageIndex(1);
  EXPECT_EQ(reads, 1);
  EXPECT_TRUE(second->ContentLoaded());
  EXPECT_EQ(Events, (std::vector<std::string>{"page 0", "focus none", "page 1"}));
  EXPECT_FALSE(static_cast<bool>(first->OnGeometryChange));
  EXPECT_TRUE(static_cast<bool>(second->OnGeometryChange));

  // An index without a page leaves no current page.
  Doc.SetCurrentPageIndex(7);
  EXPECT_EQ(Doc.CurrentPageIndex(), 7);
  EXPECT_EQ(Doc.CurrentPage(), nullptr);
  EXPECT_EQ(Doc.ShapeCount(), 0);
}

TEST_F(DocumentTest, AlignmentsMoveTheSelectionInOneUndoStep) {
  struct Case {
    const char *name;
    void (TfsDocument::*align)();
    std::vector<std::pair<float, float>> boxes; // left, top of 8 x 8 boxes
    std::vector<std::pair<float, float>> expected;
  };
  const Case cases[] = {
      {"lefts beyond the page", &TfsDocument::AlignLefts, {{300, 5}}, {{210, 5}}},
      {"lefts", &TfsDocument::AlignLefts, {{20, 5}, {50, 30}}, {{20, 5}, {20, 30}}},
      {"rights", &TfsDocument::AlignRights, {{20, 5}, {50, 30}}, {{50, 5}, {50, 30}}},
      {"tops", &TfsDocument::AlignTops, {{20, 5}, {50, 30}}, {{20, 5}, {50, 5}}},
      {"bottoms", &TfsDocument::AlignBottoms, {{20, 5}, {50, 30}}, {{20, 30}, {50, 30}}},
      {"centres h", &TfsDocument::CentreHorizontally, {{20, 5}, {50, 30}}, {{35, 5}, {35, 30}}},
      {"centres v",
       &TfsDocument::CentreVertically,
       {{20, 5}, {50, 30}},
       {{20, 17.5f}, {50, 17.5f}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TfsDocument doc;
    for (auto [left, top] : c.boxes)
      doc.AddShape(Box(left, top, 8, 8));
    doc.AddShape(Box(100, 100, 8, 8)); // not selected, stays
    for (size_t i = 0; i < c.boxes.size(); ++i)
      doc.GetShape(static_cast<int>(i))->SetSelected(true);
    doc.ClearUndo();
    (doc.*c.align)();
    for (size_t i = 0; i < c.expected.size(); ++i) {
      TfsShape *s = doc.GetShape(static_cast<int>(i));
      EXPECT_FLOAT_EQ(s->DocLeft(), c.expected[i].first);
      EXPECT_FLOAT_EQ(s->DocTop(), c.expected[i].second);
    }
    EXPECT_EQ(doc.GetShape(static_cast<int>(c.boxes.size()))->DocLeft(), 100);
    ASSERT_GT(doc.UndoCount(), 0);
    EXPECT_FALSE(doc.UndoCommand(0)->Continued);
    for (int i = 1; i < doc.UndoCount(); ++i)
      EXPECT_TRUE(doc.UndoCommand(i)->Continued);
  }
}

TEST_F(DocumentTest, OrderingKeepsTheSelection) {
  struct Case {
    const char *name;
    void (TfsDocument::*order)();
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"send backward", &TfsDocument::SendBackward, {"s1", "s0", "s3", "s2", "s4"}},
      {"bring forward", &TfsDocument::BringForward, {"s0", "s2", "s1", "s4", "s3"}},
      {"send to back", &TfsDocument::SendToBack, {"s1", "s3", "s0", "s2", "s4"}},
      {"bring to front", &TfsDocument::BringToFront, {"s0", "s2", "s4", "s1", "s3"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    while (Doc.ShapeCount() > 0)
      Doc.DeleteShape(0);
    AddShapes(5);
    Select({1, 3});
    int listChanges = 0;
    Doc.OnShapeListChanged = [&](TfsDocument &) { ++listChanges; };
    (Doc.*c.order)();
    EXPECT_EQ(Names(), c.expected);
    EXPECT_EQ(Doc.SelectedCount(), 2);
    EXPECT_GT(listChanges, 0);
    Doc.OnShapeListChanged = nullptr;
  }
}

TEST_F(DocumentTest, GroupingTheSelection) {
  AddShapes(5);
  Select({1, 3});
  Doc.ClearUndo();
  Events.clear();
  Doc.GroupSelection();
  ASSERT_EQ(Doc.ShapeCount(), 4);
  TfsShape *group = Doc.GetShape(1);
  EXPECT_TRUE(group->IsGroupShape());
  EXPECT_EQ(group->ClassName(), "TfsGroupShape");
  ASSERT_EQ(group->ShapeCount(), 2);
  EXPECT_EQ(group->GetShape(0)->Name(), "s1");
  EXPECT_EQ(group->GetShape(1)->Name(), "s3");
  EXPECT_EQ(Names(), (std::vector<std::string>{"s0", "", "s2", "s4"}));
  EXPECT_EQ(Doc.SelectedCount(), 1);
  EXPECT_EQ(Doc.GetSelected(0), group);
  EXPECT_EQ(Doc.FocusShape(), group);
  // The group takes the children's area on the page.
  EXPECT_FLOAT_EQ(group->DocLeft(), 10);
  EXPECT_FLOAT_EQ(group->DocWidth(), 28);
  ASSERT_GT(Doc.UndoCount(), 1);
  EXPECT_FALSE(Doc.UndoCommand(0)->Continued);
  for (int i = 1; i < Doc.UndoCount(); ++i)
    EXPECT_TRUE(Doc.UndoCommand(i)->Continued);
  // Batched inside the group, then the focus outside it.
  EXPECT_EQ(Events, (std::vector<std::string>{"shape none", "selection", "focus "}));

  Doc.ClearSelection();
  Doc.GroupSelection(); // nothing selected: nothing happens
  EXPECT_EQ(Doc.ShapeCount(), 4);
}

TEST_F(DocumentTest, UngroupingPutsRotatedChildrenWhereTheyWereShown) {
  AddShapes(4);
  Select({1, 2});
  Doc.GroupSelection();
  TfsShape *group = Doc.GetShape(1);
  group->SetDocAngle(30);
  struct Expect {
    std::string name;
    TFloatPoint origin;
    float angle;
  };
  std::vector<Expect> expected;
  for (int i = 0; i < group->ShapeCount(); ++i) {
    TfsShape *child = group->GetShape(i);
    expected.push_back({child->Name(),
                        group->LocalToParent(FloatPoint(child->DocLeft(), child->DocTop())),
                        child->DocAngle() + 30});
  }
  Doc.ClearUndo();
  Doc.UngroupSelection();
  EXPECT_EQ(Names(), (std::vector<std::string>{"s0", "s1", "s2", "s3"}));
  for (size_t i = 0; i < expected.size(); ++i) {
    TfsShape *s = Doc.GetShape(static_cast<int>(i) + 1);
    EXPECT_EQ(s->Name(), expected[i].name);
    EXPECT_NEAR(s->DocLeft(), expected[i].origin.X, 1e-4);
    EXPECT_NEAR(s->DocTop(), expected[i].origin.Y, 1e-4);
    EXPECT_FLOAT_EQ(s->DocAngle(), expected[i].angle);
    EXPECT_TRUE(s->Selected());
    EXPECT_TRUE(s->AllowSelect());
  }
  EXPECT_EQ(Doc.SelectedCount(), 2);
  ASSERT_GT(Doc.UndoCount(), 1);
  for (int i = 1; i < Doc.UndoCount(); ++i)
    EXPECT_TRUE(Doc.UndoCommand(i)->Continued);
}

TEST_F(DocumentTest, UpdateBracketDeliversOneChangeAtTheEnd) {
  AddShapes(2);
  Doc.SetModified(false);
  Events.clear();
  Doc.BeginUpdate();
  Doc.BeginUpdate();
  for (int i = 0; i < 10; ++i)
    Doc.GetShape(0)->SetDocLeft(20.0f + i);
  EXPECT_TRUE(Doc.Modified());
  Doc.GetShape(1)->SetSelected(true);
  Doc.SetFocusShape(Doc.GetShape(1));
  Doc.EndUpdate();
  EXPECT_TRUE(Events.empty());
  Doc.EndUpdate();
  EXPECT_EQ(Events, (std::vector<std::string>{"shape none", "selection", "focus s1"}));
  EXPECT_EQ(ErrorOf([&] { Doc.EndUpdate(); }), "EndUpdate called more often than BeginUpdate");

  Events.clear();
  Doc.BeginUpdate();
  Doc.EndUpdate();
  EXPECT_TRUE(Events.empty());
  Doc.GetShape(0)->SetDocLeft(1);
  EXPECT_EQ(Events, (std::vector<std::string>{"shape s0"}));
}

TEST_F(DocumentTest, ModeAndReadOnly) {
  AddShapes(1);
  Select({0});
  Doc.SetMode(vmZoom);
  EXPECT_EQ(Doc.Mode(), vmZoom);
  EXPECT_EQ(Doc.SelectedCount(), 0);
  Doc.SetMode(vmEdit);
  Select({0});
  Doc.SetReadOnly(true);
  EXPECT_EQ(Doc.Mode(), vmBrowse);
  EXPECT_EQ(Doc.SelectedCount(), 0);
  Doc.SetMode(vmEdit);
  EXPECT_EQ(Doc.Mode(), vmBrowse);
  Doc.SetMode(vmSlideshow);
  EXPECT_EQ(Doc.Mode(), vmSlideshow);
  Doc.SetReadOnly(false);
  Doc.SetMode(vmEdit);
  EXPECT_EQ(Doc.Mode(), vmEdit);
}

TEST_F(DocumentTest, WorkingAndPrintingBrackets) {
  AddShapes(1);
  Select({0});
  Doc.BeginWork(crHourGlass);
  EXPECT_EQ(Host.LastCursor(), crHourGlass);
  EXPECT_TRUE(Doc.IsWorking());
  const std::string busy = "Threading error (working already)";
  for (auto op :
       {&TfsDocument::AlignLefts, &TfsDocument::BringToFront, &TfsDocument::DeleteSelection,
        &TfsDocument::GroupSelection, &TfsDocument::UngroupSelection})
    EXPECT_EQ(ErrorOf([&] { (Doc.*op)(); }), busy);
  EXPECT_EQ(Doc.ShapeCount(), 1);
  Doc.BeginWork(crHourGlass);
  Doc.EndWork();
  EXPECT_EQ(Host.LastCursor(), crHourGlass);
  Doc.EndWork();
  EXPECT_EQ(Host.LastCursor(), crDefault);
  EXPECT_FALSE(Doc.IsWorking());

  Doc.BeginPrinting();
  EXPECT_TRUE(Doc.IsPrinting());
  Doc.EndPrinting();
  EXPECT_EQ(ErrorOf([&] { Doc.EndPrinting(); }),
            "EndPrinting called more often than BeginPrinting");
  EXPECT_FALSE(Doc.IsPrinting());
}

TEST_F(DocumentTest, NewAndClearPages) {
  AddShapes(2);
  Doc.AddPage();
  Put(Doc.Archive(), "Page0001.xml", "x");
  std::vector<std::string> destroyed;
  Doc.OnShapeDestroy = [&](TfsDocument &, TfsShape *s) { destroyed.push_back(s->ClassName()); };
  Doc.SetDefaultMarginLeft(3);
  Doc.SetThumbnailWidth(100);
  Doc.New();
  EXPECT_EQ(destroyed, (std::vector<std::string>{"TfsShape", "TfsShape", "TfsPage", "TfsPage"}));
  EXPECT_EQ(Doc.PageCount(), 0);
  EXPECT_EQ(Doc.CurrentPageIndex(), -1);
  EXPECT_TRUE(Doc.Modified());
  EXPECT_EQ(Doc.UndoCount(), 0);
  EXPECT_EQ(Doc.Archive().StreamCount(), 0);
  EXPECT_EQ(Doc.PageDefaults().MarginLeft, 10);
  EXPECT_EQ(Doc.ThumbnailWidth(), 80);
  EXPECT_EQ(Doc.FocusShape(), nullptr);
}

TEST_F(DocumentTest, DefaultSettingsReachTheDefaultPages) {
  Doc.AddPage();
  TfsPage *own = Doc.GetPage(1);
  own->SetMarginLeft(1);
  for (int i = 0; i < 2; ++i)
    Doc.GetPage(i)->GetThumbnail();
  int changes = 0;
  Doc.OnDocumentChanged = [&](TfsDocument &) { ++changes; };
  Doc.SetModified(false);

  Doc.SetDefaultMarginTop(10); // unchanged
  EXPECT_EQ(changes, 0);
  EXPECT_FALSE(Doc.Modified());

  Doc.SetDefaultGridSize(2);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(Doc.Modified());
  EXPECT_FALSE(Doc.GetPage(0)->ThumbnailStale());

  Doc.SetDefaultPageColor(0x000000);
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(Doc.GetPage(0)->ThumbnailStale());
  EXPECT_FALSE(own->ThumbnailStale());

  Doc.GetPage(0)->GetThumbnail();
  TBitmap32 picture;
  picture.SetSize(2, 2);
  Doc.DefaultBackground().SetBitmap(&picture);
  EXPECT_GT(changes, 2);
  EXPECT_TRUE(Doc.GetPage(0)->ThumbnailStale());

  Doc.SetDefaultPageWidth(150);
  Doc.SetDefaultPageHeight(100);
  EXPECT_EQ(Doc.GetPage(0)->DocWidth(), 150);
  EXPECT_EQ(Doc.GetPage(0)->DocHeight(), 100);
  EXPECT_EQ(own->DocWidth(), 210);

  Doc.GetPage(0)->GetThumbnail();
  own->GetThumbnail();
  Doc.SetThumbnailHeight(40);
  EXPECT_TRUE(Doc.GetPage(0)->ThumbnailStale());
  EXPECT_TRUE(own->ThumbnailStale());
  EXPECT_EQ(own->GetThumbnail()->Height(), 40);
}

TEST_F(DocumentTest, SelectionAndFocus) {
  AddShapes(3);
  Events.clear();
  Doc.ToggleSelection(*Doc.GetShape(2));
  EXPECT_EQ(Events, (std::vector<std::string>{"selection", "focus s2"}));
  EXPECT_TRUE(Doc.HasSelection());
  EXPECT_EQ(Doc.GetSelected(0), Doc.GetShape(2));
  EXPECT_EQ(Doc.GetSelected(1), nullptr);
  Doc.ToggleSelection(*Doc.GetShape(2));
  EXPECT_FALSE(Doc.HasSelection());

  Select({0, 1});
  Events.clear();
  Doc.ClearSelection();
  EXPECT_EQ(Events, (std::vector<std::string>{"selection"}));

  // Screen = page mm at 1 pixel per mm (the view's corner at the page's,
  // wherever the view placed the page): the rectangle meets s1 (10..18)
  // and s2 (20..28) but not s0.
  Doc.SetViewMapping({Doc.CurrentPage()->DocLeft(), Doc.CurrentPage()->DocTop(), 1});
  Events.clear();
  Doc.SelectInRect(Rect(15, 0, 21, 6));
  EXPECT_EQ(Doc.SelectedCount(), 2);
  EXPECT_FALSE(Doc.GetShape(0)->Selected());
  EXPECT_EQ(Doc.FocusShape(), Doc.GetShape(1));
  EXPECT_EQ(Events, (std::vector<std::string>{"selection", "focus s1"}));
  Doc.SelectInRect(Rect(100, 100, 120, 120));
  EXPECT_EQ(Doc.SelectedCount(), 0);
  EXPECT_EQ(Doc.FocusShape(), nullptr);
}

TEST_F(DocumentTest, DeletingShapesDropsReferencesToThem) {
  AddShapes(3);
  Doc.GetShape(1)->SetAllowDelete(false);
  Select({0, 1, 2});
  Doc.SetFocusShape(Doc.GetShape(2));
  int listChanges = 0;
  Doc.OnShapeListChanged = [&](TfsDocument &) { ++listChanges; };
  Doc.DeleteSelection();
  EXPECT_EQ(Names(), (std::vector<std::string>{"s1"}));
  EXPECT_EQ(Doc.FocusShape(), nullptr);
  EXPECT_EQ(listChanges, 2);
  // The reference itself is gone: clearing the focus is no change.
  Events.clear();
  Doc.SetFocusShape(nullptr);
  EXPECT_TRUE(Events.empty());

  // A group going takes a reference to one of its children along.
  AddShapes(2);
  Doc.ClearSelection();
  Select({1, 2});
  Doc.GroupSelection();
  TfsShape *group = Doc.GetShape(1);
  Doc.SetFocusShape(group->GetShape(0));
  Doc.RemoveShape(group);
  EXPECT_EQ(Doc.ShapeCount(), 1);
  Events.clear();
  Doc.SetFocusShape(nullptr);
  EXPECT_TRUE(Events.empty());
}

TEST_F(DocumentTest, AnimationTick) {
  auto shape = std::make_unique<TTickShape>();
  TTickShape *ticking = shape.get();
  Doc.AddShape(std::move(shape));
  int animations = 0;
  Doc.OnAnimate = [&](TfsDocument &d) {
    ++animations;
    d.AnimationTick(); // a tick inside a tick is skipped
  };
  Doc.TimerTick(tmAnimation);
  EXPECT_EQ(animations, 1);
  EXPECT_EQ(ticking->Ticks, 1);
  Doc.TimerTick(tmHint);
  EXPECT_EQ(animations, 1);

  // Idle page update: stale thumbnails are made again once the document
  // was left alone long enough.
  Doc.OnAnimate = nullptr;
  Doc.AddPage();
  Doc.SetAutoPageUpdate(true);
  Doc.SetPageUpdateInterval(60000);
  Doc.GetPage(0)->SetThumbnailStale(true);
  Doc.GetPage(1)->SetThumbnailStale(true);
  Doc.SetModified(true);
  Doc.AnimationTick();
  EXPECT_TRUE(Doc.GetPage(1)->ThumbnailStale());
  Doc.SetPageUpdateInterval(0);
  Events.clear();
  Doc.AnimationTick();
  EXPECT_FALSE(Doc.GetPage(0)->ThumbnailStale());
  EXPECT_FALSE(Doc.GetPage(1)->ThumbnailStale());
  EXPECT_EQ(Events, (std::vector<std::string>{"page 0", "page 1"}));
  EXPECT_EQ(Host.MessageLoops, 2);
  EXPECT_EQ(Doc.Device(), dtPrinter);
}

TEST_F(DocumentTest, NotificationsFromShapes) {
  AddShapes(1);
  TfsShape &s = *Doc.GetShape(0);
  std::string error;
  Doc.OnLoadError = [&](TfsDocument &, TfsShape *shape, const std::string &m) {
    error = shape->Name() + ": " + m;
  };
  s.LoadError("broken");
  EXPECT_EQ(error, "s0: broken");

  Host.Repaints.clear();
  Doc.InvalidateScreen(Rect(1, 2, 3, 4));
  ASSERT_EQ(Host.Repaints.size(), 1u);
  EXPECT_EQ(Host.Repaints[0], Rect(1, 2, 3, 4));

  Doc.ShowBusy();
  EXPECT_EQ(Host.LastCursor(), crAppStart);
  const int32_t id = Doc.NewShapeID();
  EXPECT_EQ(Doc.NewShapeID(), id + 1);
  EXPECT_EQ(Doc.PageNumber(*Doc.CurrentPage()), 1);
  TfsPage alone;
  EXPECT_EQ(Doc.PageNumber(alone), 0);
}

} // namespace
