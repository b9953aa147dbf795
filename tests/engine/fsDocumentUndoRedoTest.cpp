#include "FakeDocumentHost.h"
#include "engine/fsDocument.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// A shape with a picture of its own in the archive, named after the shape.
class TPictureShape : public TfsShape {
public:
  std::string ClassName() const override { return "TUndoTestPictureShape"; }
  void GetResourceNames(std::vector<std::string> &names) const override {
    TfsShape::GetResourceNames(names);
    names.push_back("picture-" + Name());
  }
};

// Remembers what the document told it of its undo state.
class TStateHost : public TFakeDocumentHost {
public:
  void UndoStateChanged(bool canUndo, bool canRedo, bool clean) override {
    States.push_back(std::string(canUndo ? "U" : "-") + (canRedo ? "R" : "-") +
                     (clean ? "C" : "-"));
  }
  std::vector<std::string> States;
};

std::string ErrorOf(const std::function<void()> &f) {
  try {
    f();
  } catch (const EfsError &e) {
    return e.what();
  }
  return "";
}

class DocumentUndoRedo : public ::testing::Test {
protected:
  DocumentUndoRedo() { RegisterShapeClass<TPictureShape>(); }

  TfsShape &Add(const std::string &name, float left = 10, float top = 20) {
    auto shape = std::make_unique<TfsShape>();
    shape->SetName(name);
    shape->SetBounds(left, top, 30, 40);
    TfsShape &added = *shape;
    Doc.AddShape(std::move(shape));
    return added;
  }

  TStateHost Host;
  TfsDocument Doc{&Host};
};

TEST_F(DocumentUndoRedo, AMoveUndoesAndRedoesInOneStep) {
  TfsShape &shape = Add("a");
  Doc.ClearUndo();
  shape.SetGeometry(50, 60, 30, 40, 0);
  ASSERT_GT(Doc.UndoCount(), 1) << "left and top are recorded apart";
  Doc.Undo();
  EXPECT_EQ(Doc.UndoCount(), 0);
  EXPECT_EQ(shape.DocLeft(), 10);
  EXPECT_EQ(shape.DocTop(), 20);
  EXPECT_GT(Doc.RedoCount(), 0);
  Doc.Redo();
  EXPECT_EQ(Doc.RedoCount(), 0);
  EXPECT_EQ(shape.DocLeft(), 50);
  EXPECT_EQ(shape.DocTop(), 60);
  Doc.Undo();
  EXPECT_EQ(shape.DocLeft(), 10) << "the redone move is one step again";
  EXPECT_EQ(shape.DocTop(), 20);
}

TEST_F(DocumentUndoRedo, MergeNextMakesOneStepOfRepeatedChanges) {
  struct Case {
    bool mergeNext;
    std::vector<int32_t> afterEachUndo;
  };
  const Case cases[] = {{false, {100, 255}}, {true, {255}}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.mergeNext);
    TfsShape &shape = Add("alpha");
    Doc.ClearUndo();
    shape.SetMasterAlpha(100);
    if (c.mergeNext)
      Doc.MarkMergeNext();
    shape.SetMasterAlpha(50);
    std::vector<int32_t> seen;
    while (Doc.UndoCount() > 0) {
      Doc.Undo();
      seen.push_back(shape.MasterAlpha());
    }
    EXPECT_EQ(seen, c.afterEachUndo);
  }
}

TEST_F(DocumentUndoRedo, ARecordAfterAnUndoEmptiesRedo) {
  TfsShape &shape = Add("a");
  Doc.ClearUndo();
  shape.SetMasterAlpha(100);
  shape.SetMasterAlpha(50);
  Doc.Undo();
  ASSERT_EQ(Doc.RedoCount(), 1);
  // Merge-next asks for merging; with entries to redo it does not happen.
  Doc.MarkMergeNext();
  shape.SetMasterAlpha(80);
  EXPECT_EQ(Doc.RedoCount(), 0);
  EXPECT_EQ(Doc.UndoCount(), 2);
  Doc.Redo(); // nothing to redo
  EXPECT_EQ(shape.MasterAlpha(), 80);
  Doc.Undo();
  EXPECT_EQ(shape.MasterAlpha(), 100);
}

TEST_F(DocumentUndoRedo, DeletingAndUndoingRestoresIndexIdChildrenAndPictures) {
  Add("first");
  // A shape with children (the group class lives in a higher layer).
  auto group = std::make_unique<TfsShape>();
  group->SetName("group");
  TfsShape &g = *group;
  Doc.AddShape(std::move(group));
  for (const char *name : {"x", "y"}) {
    auto child = std::make_unique<TPictureShape>();
    child->SetName(name);
    child->SetBounds(1, 2, 3, 4);
    g.AddShape(std::move(child));
  }
  Add("last");
  TMemoryStream picture(std::string("picture bytes"));
  Doc.Archive().WriteStream("picture-x", picture);
  const int32_t id = g.ID();
  Doc.ClearUndo();

  Doc.DeleteShape(1);
  Doc.Archive().DeleteStream("picture-x");
  ASSERT_EQ(Doc.ShapeCount(), 2);
  Doc.Undo();
  ASSERT_EQ(Doc.ShapeCount(), 3);
  TfsShape &back = *Doc.GetShape(1);
  EXPECT_EQ(back.Name(), "group");
  EXPECT_EQ(back.ID(), id);
  ASSERT_EQ(back.ShapeCount(), 2);
  EXPECT_EQ(back.GetShape(1)->Name(), "y");
  ASSERT_TRUE(Doc.Archive().StreamExists("picture-x"));
  TMemoryStream restored;
  Doc.Archive().ReadStream("picture-x", restored);
  EXPECT_EQ(restored.Bytes(), "picture bytes");

  Doc.Redo();
  EXPECT_EQ(Doc.ShapeCount(), 2) << "redoing deletes it again";
  EXPECT_EQ(Doc.GetShape(1)->Name(), "last");
  Doc.Undo();
  ASSERT_EQ(Doc.ShapeCount(), 3);
  TfsShape &again = *Doc.GetShape(1);
  EXPECT_EQ(again.ID(), id);

  // Later records reach the shape by its old number.
  again.SetMasterAlpha(7);
  Doc.Undo();
  EXPECT_EQ(again.MasterAlpha(), 255);
}

TEST_F(DocumentUndoRedo, CommandsForShapesThatAreGone) {
  Add("a");
  TfsCommand lost(ckProperty, 9999, "MasterAlpha", "1");
  EXPECT_FALSE(Doc.ExecuteCommand(lost));
  EXPECT_EQ(Host.Messages, (std::vector<std::string>{"Unable to execute Undo"}));
  TfsCommand none(ckProperty, 0, "MasterAlpha", "1");
  EXPECT_FALSE(Doc.ExecuteCommand(none));
  EXPECT_EQ(Host.Messages.size(), 1u) << "ID 0 is no shape: nothing to tell";

  // An undo whose shape is gone drops the record all the same.
  Doc.ClearUndo();
  Doc.AddUndo(std::make_unique<TfsCommand>(ckProperty, 9999, "MasterAlpha", "1"));
  Doc.Undo();
  EXPECT_EQ(Doc.UndoCount(), 0);
  EXPECT_EQ(Host.Messages.size(), 2u);

  // Shapes of other pages are reached too.
  TfsShape &other = Add("other");
  other.SetMasterAlpha(3);
  Doc.AddPage();
  Doc.SetCurrentPageIndex(1);
  Doc.Undo();
  EXPECT_EQ(other.MasterAlpha(), 255);
}

TEST_F(DocumentUndoRedo, StepsAreRefusedWhileWorkingAndSkippedWhileDisabled) {
  TfsShape &shape = Add("a");
  shape.SetMasterAlpha(3);
  Doc.BeginWork(crHourGlass);
  EXPECT_EQ(ErrorOf([&] { Doc.Undo(); }), "Threading error (working already)");
  EXPECT_EQ(ErrorOf([&] { Doc.Redo(); }), "Threading error (working already)");
  Doc.EndWork();
  Doc.SuspendUndo();
  Doc.Undo();
  Doc.ResumeUndo();
  EXPECT_EQ(shape.MasterAlpha(), 3);
  Doc.Undo();
  EXPECT_EQ(shape.MasterAlpha(), 255);
  EXPECT_FALSE(Doc.IsUndoing());
  EXPECT_EQ(Doc.UndoEnabled(), true);
}

TEST_F(DocumentUndoRedo, TheHostHearsWhenUndoRedoOrCleanChange) {
  Doc.SetModified(false);
  Doc.ClearUndo();
  Host.States.clear();
  TfsShape &shape = Add("a");
  shape.SetMasterAlpha(3);
  shape.SetMasterAlpha(4);
  Doc.Undo();
  Doc.Undo();
  Doc.Redo();
  TMemoryStream out;
  Doc.SaveToStream(out);
  // The insertion is recorded before the page reports the change; later
  // changes, undos and redos alter nothing the host shows; saving makes the
  // document clean and then empties the history.
  EXPECT_EQ(Host.States, (std::vector<std::string>{"U-C", "U--", "UR-", "URC", "--C"}));
}

} // namespace
