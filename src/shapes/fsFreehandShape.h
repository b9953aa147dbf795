#pragma once

#include "base/fsGeometry.h"
#include "shapes/fsPolygonShape.h"

#include <string>

// Pen strokes drawn with the mouse, kept as open contours of stored points
// and drawn with the polygon shape's outline. While it is edited in place,
// every press starts a stroke and the pointer adds a point whenever it moved
// more than half a millimetre; the box follows the strokes.
class TfsFreehandShape : public TfsPolygonShape {
public:
  TfsFreehandShape();

  std::string ClassName() const override { return "TfsFreehandShape"; }

  // After a stroke, wait for the next one (rather than end the editing).
  bool AutoRestart() const { return FAutoRestart; }
  void SetAutoRestart(bool value) { FAutoRestart = value; }
  bool Drawing() const { return FDrawing; }

  // A last contour of fewer than two points is reused, not followed.
  void NewContour() override;

  // ---- in-place drawing ------------------------------------------------------------
  // Stays in editing: the strokes come through the mouse hooks.
  void Edit() override;
  // Accepted with strokes (or without a document): trailing contours of one
  // point or none are dropped. Otherwise the document deletes the shape.
  void EndEdit(bool accepted) override;
  void EditKeyDown(uint16_t &key, TShiftState shift) override;
  void EditMouseDown(TMouseButton button, TShiftState shift, const TPoint &screenPoint) override;
  void EditMouseMove(TShiftState shift, const TPoint &screenPoint) override;
  void EditMouseUp(TMouseButton button, TShiftState shift, const TPoint &screenPoint) override;

  void SaveToXml(TXmlNode &node) override;
  void LoadFromXml(const TXmlNode *node) override;

private:
  // Ends the editing through the document, which calls EndEdit.
  void Finish(bool accepted);
  // Appends a stroke point (local mm) and moves the box onto the strokes.
  void AddStrokePoint(const TFloatPoint &point);

  bool FAutoRestart = true;
  TFloatPoint FLastPoint; // local mm, moved with the points when the box moves
  bool FDrawing = false;
  // A file's contours are read as they are, short ones included.
  bool FReading = false;
};
