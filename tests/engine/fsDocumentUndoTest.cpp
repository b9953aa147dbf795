#include "engine/fsDocument.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// A document whose undo loop brackets a test can open by hand.
class TUndoDocument : public TfsDocument {
public:
  using TfsDocument::SetRedoing;
  using TfsDocument::SetUndoing;
};

std::unique_ptr<TfsCommand> Command(uint8_t kind, int32_t id, const std::string &prop,
                                    const std::string &value, int64_t streamBytes = -1) {
  std::unique_ptr<TMemoryStream> stream;
  if (streamBytes >= 0)
    stream = std::make_unique<TMemoryStream>(std::string(static_cast<size_t>(streamBytes), 'x'));
  return std::make_unique<TfsCommand>(kind, id, prop, value, std::move(stream));
}

std::vector<bool> Continued(const TfsDocument &doc, bool redo = false) {
  std::vector<bool> flags;
  const int n = redo ? doc.RedoCount() : doc.UndoCount();
  for (int i = 0; i < n; ++i)
    flags.push_back((redo ? doc.RedoCommand(i) : doc.UndoCommand(i))->Continued);
  return flags;
}

std::string ErrorOf(const std::function<void()> &f) {
  try {
    f();
  } catch (const EfsError &e) {
    return e.what();
  }
  return "";
}

class DocumentUndo : public ::testing::Test {
protected:
  TUndoDocument Doc;
};

TEST_F(DocumentUndo, RepeatedPropertyRecordsMerge) {
  struct Case {
    const char *name;
    uint8_t kind;
    int32_t id;
    std::string prop, value;
    bool mergeNext;
    int expected;
  };
  // Against a first record (kind 0, shape 7, "MasterAlpha", "255").
  const Case cases[] = {
      {"same value", ckProperty, 7, "MasterAlpha", "255", false, 1},
      {"other value", ckProperty, 7, "MasterAlpha", "128", false, 2},
      {"other value, merge next", ckProperty, 7, "MasterAlpha", "128", true, 1},
      {"other shape", ckProperty, 8, "MasterAlpha", "255", true, 2},
      {"other key", ckProperty, 7, "DocLeft", "255", true, 2},
      {"other kind", ckChildInserted, 7, "MasterAlpha", "255", true, 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Doc.ClearUndo();
    Doc.AddUndo(Command(ckProperty, 7, "MasterAlpha", "255"));
    if (c.mergeNext)
      Doc.MarkMergeNext();
    Doc.AddUndo(Command(c.kind, c.id, c.prop, c.value));
    ASSERT_EQ(Doc.UndoCount(), c.expected);
    EXPECT_EQ(Doc.UndoCommand(0)->Value, "255");      // the oldest value is kept
    Doc.AddUndo(Command(ckProperty, 99, "Tag", "0")); // ends any merge-next
  }
  // Two kind 1 records alike are two steps.
  Doc.ClearUndo();
  Doc.AddUndo(Command(ckChildInserted, 7, "", "3"));
  Doc.AddUndo(Command(ckChildInserted, 7, "", "3"));
  EXPECT_EQ(Doc.UndoCount(), 2);
}

TEST_F(DocumentUndo, MergeNextLastsUntilARecordIsFiled) {
  Doc.AddUndo(Command(ckProperty, 1, "MasterAlpha", "255"));
  Doc.MarkMergeNext();
  Doc.AddUndo(Command(ckProperty, 1, "MasterAlpha", "200"));
  Doc.AddUndo(Command(ckProperty, 1, "MasterAlpha", "150")); // still one drag
  EXPECT_EQ(Doc.UndoCount(), 1);
  Doc.AddUndo(Command(ckProperty, 1, "DocLeft", "3"));
  Doc.AddUndo(Command(ckProperty, 1, "DocLeft", "4"));
  EXPECT_EQ(Doc.UndoCount(), 3);
}

TEST_F(DocumentUndo, ARecordAfterRedoEntriesIsNeverMerged) {
  Doc.AddUndo(Command(ckProperty, 1, "MasterAlpha", "255"));
  Doc.SetUndoing(true);
  Doc.AddRedo(Command(ckProperty, 1, "MasterAlpha", "128"));
  Doc.SetUndoing(false);
  ASSERT_EQ(Doc.RedoCount(), 1);
  Doc.MarkMergeNext();
  Doc.AddUndo(Command(ckProperty, 1, "MasterAlpha", "255"));
  EXPECT_EQ(Doc.UndoCount(), 2);
  EXPECT_EQ(Doc.RedoCount(), 0);

  // Records made while redoing leave the rest of the redo stack alone.
  Doc.SetUndoing(true);
  Doc.AddRedo(Command(ckProperty, 1, "DocTop", "1"));
  Doc.AddRedo(Command(ckProperty, 1, "DocTop", "2"));
  Doc.SetUndoing(false);
  Doc.SetRedoing(true);
  Doc.AddUndo(Command(ckProperty, 1, "DocTop", "9"));
  Doc.SetRedoing(false);
  EXPECT_EQ(Doc.UndoCount(), 3);
  EXPECT_EQ(Doc.RedoCount(), 2);
}

TEST_F(DocumentUndo, RedoRecordsOnlyWhileUndoing) {
  Doc.AddRedo(Command(ckProperty, 1, "DocTop", "1"));
  EXPECT_EQ(Doc.RedoCount(), 0);
  EXPECT_TRUE(Doc.IsRecordingUndo());

  // The undo loop suspends recording: what the shapes record then goes to
  // the redo stack.
  Doc.SuspendUndo();
  EXPECT_FALSE(Doc.IsRecordingUndo());
  Doc.SetUndoing(true);
  EXPECT_TRUE(Doc.IsRecordingUndo());
  Doc.FileCommand(Command(ckProperty, 1, "DocTop", "1"));
  Doc.SetUndoing(false);
  Doc.ResumeUndo();
  EXPECT_EQ(Doc.RedoCount(), 1);
  EXPECT_EQ(Doc.UndoCount(), 0);
  Doc.FileCommand(Command(ckProperty, 1, "DocTop", "2"));
  EXPECT_EQ(Doc.UndoCount(), 1);
}

TEST_F(DocumentUndo, GroupsMarkEveryRecordButTheirFirst) {
  Doc.AddUndo(Command(ckProperty, 1, "A", "0"));
  Doc.BeginUndoGroup();
  Doc.AddUndo(Command(ckProperty, 1, "B", "0"));
  Doc.BeginUndoGroup();
  Doc.AddUndo(Command(ckProperty, 1, "C", "0"));
  Doc.EndUndoGroup();
  Doc.AddUndo(Command(ckProperty, 1, "D", "0"));
  Doc.EndUndoGroup();
  Doc.BeginUndoGroup();
  Doc.AddUndo(Command(ckProperty, 1, "E", "0"));
  Doc.AddUndo(Command(ckProperty, 1, "F", "0"));
  Doc.EndUndoGroup();
  Doc.AddUndo(Command(ckProperty, 1, "G", "0"));
  EXPECT_EQ(Continued(Doc), (std::vector<bool>{false, false, true, true, false, true, false}));

  Doc.SetUndoing(true);
  Doc.BeginUndoGroup();
  Doc.AddRedo(Command(ckProperty, 1, "A", "1"));
  Doc.AddRedo(Command(ckProperty, 1, "A", "1"));
  Doc.EndUndoGroup();
  Doc.SetUndoing(false);
  EXPECT_EQ(Continued(Doc, true), (std::vector<bool>{false, true}));

  EXPECT_EQ(ErrorOf([&] { Doc.EndUndoGroup(); }), "EndUndo called more often than BeginUndo");
  EXPECT_EQ(Doc.UpdateCount(), 0);
}

TEST_F(DocumentUndo, TheStackKeepsNoMoreThanTenMebibytes) {
  // 50 snapshots of 300 KiB: 34 x 307,221 bytes fit, 35 do not.
  for (int i = 0; i < 50; ++i)
    Doc.AddUndo(Command(ckChildRemoved, 1, "ClassName", "TfsShape", 300 * 1024));
  EXPECT_EQ(Doc.UndoCount(), 34);
  EXPECT_EQ(Doc.UndoSize(), 34 * int64_t(307221));

  struct Case {
    int64_t first, second; // stream bytes; each record costs 4 more
    int expectedCount;
  };
  const int64_t half = TfsDocument::UndoBudget / 2 - 4;
  const Case cases[] = {
      {half, half, 2},                 // exactly 10 MiB stays
      {half, half + 1, 1},             // one byte more drops the oldest
      {TfsDocument::UndoBudget, 0, 1}, // a record over the budget on its own
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.second);
    Doc.ClearUndo();
    EXPECT_EQ(Doc.UndoSize(), 0);
    Doc.AddUndo(Command(ckChildRemoved, 1, "", "", c.first));
    Doc.AddUndo(Command(ckChildRemoved, 2, "", "", c.second));
    EXPECT_EQ(Doc.UndoCount(), c.expectedCount);
    EXPECT_EQ(Doc.UndoCommand(Doc.UndoCount() - 1)->ShapeID, 2);
    int64_t sum = 0;
    for (int i = 0; i < Doc.UndoCount(); ++i)
      sum += Doc.UndoCommand(i)->Size();
    EXPECT_EQ(Doc.UndoSize(), sum);
  }
}

TEST_F(DocumentUndo, SuspendingAndDisabling) {
  Doc.AddUndo(Command(ckProperty, 1, "A", "0"));
  Doc.SuspendUndo();
  Doc.SuspendUndo();
  EXPECT_FALSE(Doc.UndoEnabled());
  Doc.AddUndo(Command(ckProperty, 1, "B", "0"));
  Doc.ResumeUndo();
  EXPECT_FALSE(Doc.UndoEnabled());
  Doc.ResumeUndo();
  Doc.ResumeUndo(); // one too many does not leave recording held
  EXPECT_TRUE(Doc.UndoEnabled());
  EXPECT_EQ(Doc.UndoCount(), 1);

  Doc.SetUndoing(true);
  Doc.AddRedo(Command(ckProperty, 1, "A", "1"));
  Doc.SetUndoing(false);
  Doc.SetUndoEnabled(false);
  EXPECT_EQ(Doc.UndoCount(), 0);
  EXPECT_EQ(Doc.RedoCount(), 0);
  EXPECT_EQ(Doc.UndoSize(), 0);
  Doc.AddUndo(Command(ckProperty, 1, "C", "0"));
  EXPECT_EQ(Doc.UndoCount(), 0);
  Doc.SetUndoEnabled(true);

  Doc.BeginUnrecorded();
  EXPECT_FALSE(Doc.IsRecordingUndo());
  Doc.FileCommand(Command(ckProperty, 1, "D", "0"));
  Doc.EndUnrecorded();
  EXPECT_EQ(Doc.UndoCount(), 0);
}

TEST_F(DocumentUndo, ShapesFileTheirChangesHere) {
  auto owned = std::make_unique<TfsShape>();
  TfsShape *shape = owned.get();
  Doc.AddShape(std::move(owned));
  Doc.ClearUndo();
  shape->SetMasterAlpha(100);
  shape->SetMasterAlpha(50);
  ASSERT_EQ(Doc.UndoCount(), 2);
  EXPECT_EQ(Doc.UndoCommand(0)->Value, "255");
  EXPECT_EQ(Doc.UndoCommand(1)->Value, "100");
  EXPECT_EQ(Doc.UndoCommand(1)->ShapeID, shape->ID());

  // A slider drag: one step that restores the value before it.
  Doc.ClearUndo();
  shape->SetMasterAlpha(10);
  Doc.MarkMergeNext();
  shape->SetMasterAlpha(20);
  ASSERT_EQ(Doc.UndoCount(), 1);
  EXPECT_EQ(Doc.UndoCommand(0)->Value, "50");

  // A move is one step: its records form one group.
  Doc.ClearUndo();
  shape->SetBounds(5, 6, 7, 8);
  ASSERT_EQ(Doc.UndoCount(), 4);
  EXPECT_EQ(Continued(Doc), (std::vector<bool>{false, true, true, true}));
}

TEST_F(DocumentUndo, CreationFilesNothingAndLeavesTheDocumentUnmodified) {
  EXPECT_EQ(Doc.UndoCount(), 0);
  EXPECT_FALSE(Doc.Modified());
  EXPECT_TRUE(Doc.UndoEnabled());
}

} // namespace
