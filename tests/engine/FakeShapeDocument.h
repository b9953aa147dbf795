#pragma once

#include "base/fsError.h"
#include "base/fsStream.h"
#include "engine/fsCommand.h"
#include "engine/fsShape.h"
#include "engine/fsShapeDocument.h"
#include "persist/nvStorage.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TXmlNode;

namespace enginetest {

// A document that does nothing but record what its shapes ask of it: filed
// undo commands (with the undo-group depth each came in), notifications,
// repainted rectangles, busy cursors. It has an archive unless made without
// one, a settable view mapping, and switches for loading and recording.
class FakeShapeDocument : public TfsShapeDocument {
public:
  explicit FakeShapeDocument(bool withArchive = true) {
    if (withArchive)
      Archive = std::make_unique<TnvStorage>();
  }

  // ---- switches ------------------------------------------------------------
  std::function<bool(TfsShape &, TBitmap32 &, const TRect &, int32_t)> QualityIndicator;
  bool DrawQualityIndicator(TfsShape &shape, TBitmap32 &bitmap, const TRect &square,
                            int32_t percent) override {
    return QualityIndicator && QualityIndicator(shape, bitmap, square, percent);
  }
  bool Recording = true;
  bool Loading = false;
  bool Hints = false;
  TfsViewMapping Mapping;

  // ---- what was asked -------------------------------------------------------
  struct TLoadError {
    TfsShape *Shape;
    std::string Message;
  };
  struct TFiling {
    TfsShape *Shape;
    TXmlNode *Node;
    bool Saving;
  };
  std::vector<std::unique_ptr<TfsCommand>> Commands;
  std::vector<int> CommandDepths; // the undo-group depth each command came in
  int GroupDepth = 0;
  int GroupsOpened = 0;
  std::vector<TfsShape *> ChangedShapes;
  std::vector<TfsShape *> SelectionChanges;
  std::vector<TfsShape *> Destroying;
  std::vector<TfsShape *> EditsClosed;
  std::vector<TLoadError> LoadErrors;
  std::vector<TFiling> Filings;
  std::vector<TRect> Repaints;
  int ModifiedCount = 0;
  int BusyCount = 0;
  int32_t LastID = 0;
  std::unique_ptr<TnvStorage> Archive;

  // Forgets what was asked so far (not the switches, the IDs or the archive).
  void Forget() {
    Commands.clear();
    CommandDepths.clear();
    GroupsOpened = 0;
    ChangedShapes.clear();
    SelectionChanges.clear();
    Destroying.clear();
    EditsClosed.clear();
    LoadErrors.clear();
    Filings.clear();
    Repaints.clear();
    ModifiedCount = 0;
    BusyCount = 0;
  }

  // The property names of the filed commands, in filing order.
  std::vector<std::string> CommandNames() const {
    std::vector<std::string> out;
    for (const auto &c : Commands)
      out.push_back(c->PropName);
    return out;
  }

  void PutEntry(std::string_view name, std::string bytes) {
    TMemoryStream s(std::move(bytes));
    Archive->WriteStream(name, s);
  }
  std::string Entry(std::string_view name) {
    TMemoryStream s;
    Archive->ReadStream(name, s);
    return s.Bytes();
  }

  // ---- TfsShapeDocument --------------------------------------------------------
  TnvStorage *Storage() override { return Archive.get(); }
  int32_t NewShapeID() override { return ++LastID; }
  bool IsLoading() const override { return Loading; }
  bool IsRecordingUndo() const override { return Recording; }
  void FileCommand(std::unique_ptr<TfsCommand> command) override {
    CommandDepths.push_back(GroupDepth);
    Commands.push_back(std::move(command));
  }
  void BeginUndoGroup() override {
    ++GroupDepth;
    ++GroupsOpened;
  }
  void EndUndoGroup() override {
    if (GroupDepth <= 0)
      throw EfsAssertionFailed("EndUndo called more often than BeginUndo");
    --GroupDepth;
  }
  void ShapeChanged(TfsShape &shape) override { ChangedShapes.push_back(&shape); }
  void SelectionChanged(TfsShape &shape) override { SelectionChanges.push_back(&shape); }
  void ShapeDestroying(TfsShape &shape) override { Destroying.push_back(&shape); }
  void ShapeLoadError(TfsShape &shape, const std::string &message) override {
    LoadErrors.push_back({&shape, message});
  }
  void ShapeFiled(TfsShape &shape, TXmlNode &node, bool saving) override {
    Filings.push_back({&shape, &node, saving});
  }
  void SetDocumentModified() override { ++ModifiedCount; }
  void CloseEdit(TfsShape &shape) override { EditsClosed.push_back(&shape); }
  void InvalidateScreen(const TRect &screenRect) override { Repaints.push_back(screenRect); }
  TfsViewMapping ViewMapping() const override { return Mapping; }
  void ShowBusy() override { ++BusyCount; }
  bool ShowHints() const override { return Hints; }
};

} // namespace enginetest
