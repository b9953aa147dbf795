#include "shapes/fsFreehandShape.h"

#include "engine/fsInput.h"
#include "persist/fsPlainXml.h"

namespace {

// The pointer must move more than this far (mm, squared) to add a point.
constexpr float MinStepSquared = 0.25f;

// Sets a flag for a scope and gives it back its old value on every way out.
class TFlagScope {
public:
  TFlagScope(bool &flag, bool value) : FFlag(flag), FOld(flag) { FFlag = value; }
  ~TFlagScope() { FFlag = FOld; }
  TFlagScope(const TFlagScope &) = delete;
  TFlagScope &operator=(const TFlagScope &) = delete;

private:
  bool &FFlag;
  bool FOld;
};

} // namespace

TfsFreehandShape::TfsFreehandShape() {
  SetStorePoints(true);
  SetIsClosed(false);
  SetUseFill(false);
  UpdateExtents();
}

void TfsFreehandShape::NewContour() {
  TFloatContours &points = MutablePoints();
  if (!FReading && !points.empty() && points.back().size() < 2) {
    points.back().clear();
    MarkGeometryDirty();
    return;
  }
  TfsPolygonShape::NewContour();
}

// ---- in-place drawing ------------------------------------------------------------------

void TfsFreehandShape::Edit() {
  FDrawing = false;
}

void TfsFreehandShape::Finish(bool accepted) {
  if (Document())
    Document()->FinishEdit(*this, accepted);
  else
    EndEdit(accepted);
}

void TfsFreehandShape::EndEdit(bool accepted) {
  FDrawing = false;
  bool hasPoints = false;
  for (const TFloatContour &c : Points())
    hasPoints = hasPoints || !c.empty();
  if ((accepted && hasPoints) || !Document()) {
    TFloatContours &points = MutablePoints();
    while (!points.empty() && points.back().size() <= 1)
      points.pop_back();
    MarkGeometryDirty();
    Refresh();
    return;
  }
  Document()->RequestDelete(*this);
}

void TfsFreehandShape::EditKeyDown(uint16_t &key, TShiftState) {
  switch (key) {
  case vkEscape:
  case 3: // Ctrl+Break
    key = 0;
    Finish(false);
    break;
  case vkSpace:
    key = 0;
    SetIsClosed(true);
    Finish(true);
    break;
  case vkTab:
  case vkReturn:
  case vkAdd:
  case vkF2:
    key = 0;
    Finish(true);
    break;
  default:
    break;
  }
}

void TfsFreehandShape::EditMouseDown(TMouseButton button, TShiftState, const TPoint &screenPoint) {
  if (button == mbRight) {
    Finish(true);
    return;
  }
  const TFloatPoint p = ScreenToLocal({float(screenPoint.X), float(screenPoint.Y)});
  FLastPoint = p;
  NewContour();
  AddStrokePoint(p);
  FDrawing = true;
}

void TfsFreehandShape::EditMouseMove(TShiftState, const TPoint &screenPoint) {
  if (!FDrawing)
    return;
  const TFloatPoint p = ScreenToLocal({float(screenPoint.X), float(screenPoint.Y)});
  const float dx = p.X - FLastPoint.X, dy = p.Y - FLastPoint.Y;
  if (dx * dx + dy * dy > MinStepSquared) {
    FLastPoint = p;
    AddStrokePoint(p);
  }
}

void TfsFreehandShape::EditMouseUp(TMouseButton, TShiftState, const TPoint &screenPoint) {
  if (!FDrawing)
    return;
  const TFloatPoint p = ScreenToLocal({float(screenPoint.X), float(screenPoint.Y)});
  if (!(p == FLastPoint)) {
    FLastPoint = p;
    AddStrokePoint(p);
  }
  FDrawing = false;
  if (FAutoRestart)
    NewContour();
  else
    Finish(true);
}

void TfsFreehandShape::AddStrokePoint(const TFloatPoint &point) {
  AddPoint(point);
  const TFloatRect b = PointsBounds();
  const float w = b.Right - b.Left, h = b.Bottom - b.Top;
  if (w > 0 && h > 0 && (b.Left != 0 || b.Top != 0 || w != DocWidth() || h != DocHeight())) {
    // The points keep their places on the page: they move against the box.
    const TFloatPoint origin = LocalToParent({b.Left, b.Top});
    OffsetPoints(-b.Left, -b.Top);
    FLastPoint = {FLastPoint.X - b.Left, FLastPoint.Y - b.Top};
    // Locked, the resize neither scales the points nor regenerates them.
    struct TLock {
      TfsPolygonShape &Shape;
      bool Old;
      ~TLock() { Shape.SetPointsLocked(Old); }
    } lock{*this, PointsLocked()};
    SetPointsLocked(true);
    SetBounds(origin.X, origin.Y, w, h);
  }
  UpdateExtents();
  if (NeedsCache()) {
    MarkStale();
    Invalidate();
  } else {
    InvalidateScreen();
  }
}

// ---- persistence -------------------------------------------------------------------------

void TfsFreehandShape::SaveToXml(TXmlNode &node) {
  TfsPolygonShape::SaveToXml(node);
  node.StoreBool("AutoRestart", FAutoRestart, false);
}

void TfsFreehandShape::LoadFromXml(const TXmlNode *node) {
  {
    TFlagScope reading(FReading, true);
    TfsPolygonShape::LoadFromXml(node);
  }
  FAutoRestart = node->LoadBool("AutoRestart", false);
}
