#pragma once

#include "base/fsGeometry.h"
#include "base/fsPlatformColor.h"
#include "engine/fsHandles.h"
#include "persist/fsResource.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TfsCommand;
class TfsShape;
class TXmlNode;

// How the view maps page millimetres to screen pixels:
// screen = (page - (WindowLeft, WindowTop)) * Scale.
struct TfsViewMapping {
  float WindowLeft = 0;
  float WindowTop = 0;
  float Scale = 1; // screen pixels per mm
};

// What a shape asks of the document it belongs to. Shapes see their
// document only through this; the archive comes through the resource
// document's Storage().
class TfsShapeDocument : public TfsResourceDocument {
public:
  // A fresh identifier (the first is 1).
  virtual int32_t NewShapeID() = 0;
  virtual bool IsLoading() const = 0;

  // Undo: whether a command would be filed now (recording enabled, or an
  // undo executing, whose commands go to the redo stack), and filing it.
  virtual bool IsRecordingUndo() const = 0;
  virtual void FileCommand(std::unique_ptr<TfsCommand> command) = 0;
  virtual void BeginUndoGroup() = 0;
  virtual void EndUndoGroup() = 0;

  // Notifications.
  virtual void ShapeChanged(TfsShape &shape) = 0;
  virtual void SelectionChanged(TfsShape &shape) = 0;
  // Before a shape leaves the document for good: focus, edit, drag and
  // insert references to it are dropped, OnShapeDestroy fires.
  virtual void ShapeDestroying(TfsShape &shape) = 0;
  virtual void ShapeLoadError(TfsShape &shape, const std::string &message) = 0;
  // After a shape read (saving false) or wrote its keys.
  virtual void ShapeFiled(TfsShape &shape, TXmlNode &node, bool saving) = 0;
  virtual void SetDocumentModified() = 0;
  // In-place editing of the shape ends at once (the base Edit).
  virtual void CloseEdit(TfsShape &shape) = 0;
  // The shape being edited in place ends its editing, accepted or not
  // (the document reports it and calls the shape's EndEdit).
  virtual void FinishEdit(TfsShape &shape, bool accepted) {
    (void)accepted;
    CloseEdit(shape);
  }
  // The shape is deleted from its parent once the editing call that asked
  // for it has returned (a shape cannot delete itself inside its own call).
  virtual void RequestDelete(TfsShape &shape) { (void)shape; }

  // Pictures: a linked file that cannot be found may be looked for by the
  // user; an older form read from a file makes every later save rewrite all
  // pages; the window's picture-open dialog; the quality mark of a picture
  // in a square of the bitmap being painted (true when something was drawn).
  virtual void LocateFile(TfsShape &shape, std::string &fileName) { (void)shape, (void)fileName; }
  virtual void RequestFullRewrite() {}
  virtual bool ChoosePictureFile(const std::string &title, const std::string &filter,
                                 std::string &fileName) {
    (void)title, (void)filter, (void)fileName;
    return false;
  }
  virtual bool DrawQualityIndicator(TfsShape &shape, TBitmap32 &bitmap, const TRect &square,
                                    int32_t percent) {
    (void)shape, (void)bitmap, (void)square, (void)percent;
    return false;
  }

  // The view.
  virtual void InvalidateScreen(const TRect &screenRect) = 0;
  virtual TfsViewMapping ViewMapping() const = 0;
  // A cache is about to render: the busy cursor, when the view wants one.
  virtual void ShowBusy() = 0;
  virtual bool ShowHints() const = 0;

  // Interactive editing: the handle painter a shape gets (none for the
  // default kind), the handle colours, and the pixel offsets hit tests try
  // around a point.
  virtual std::unique_ptr<TfsHandlePainter> CreateHandlePainter(TfsShape &shape) {
    (void)shape;
    return nullptr;
  }
  virtual TColor HandleColor() const { return 0xFFFFFF; }
  virtual TColor HandleEdgeColor() const { return 0; }
  virtual const std::vector<TPoint> &HitOffsets() const {
    static const std::vector<TPoint> origin{{0, 0}};
    return origin;
  }
};
