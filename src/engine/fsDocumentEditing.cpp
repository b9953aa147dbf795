#include "engine/fsDocument.h"

#include "engine/fsDocumentScopes.h"

#include "engine/fsHandles.h"
#include "engine/fsShape.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>

namespace {

bool IsResize(uint8_t kind) {
  return kind >= hkTopLeft && kind <= hkTop;
}

TRect UnionRect(const TRect &a, const TRect &b) {
  if (a.Right <= a.Left || a.Bottom <= a.Top)
    return b;
  if (b.Right <= b.Left || b.Bottom <= b.Top)
    return a;
  return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
          std::max(a.Bottom, b.Bottom)};
}

TRect Normalised(const TRect &r) {
  return {std::min(r.Left, r.Right), std::min(r.Top, r.Bottom), std::max(r.Left, r.Right),
          std::max(r.Top, r.Bottom)};
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

} // namespace

// ---- settings -------------------------------------------------------------------

void TfsDocument::SetHitSensitivity(float value) {
  FHitSensitivity = value;
  const long b = std::max(std::lrint(4.0 * double(value)), 2L);
  const int32_t k = static_cast<int32_t>(std::lrint(0.71 * double(b)));
  FHitOffsets.clear();
  FHitOffsets.push_back({0, 0});
  for (int32_t r = static_cast<int32_t>(b); r >= 1; --r) {
    FHitOffsets.push_back({r, 0});
    FHitOffsets.push_back({-r, 0});
    FHitOffsets.push_back({0, r});
    FHitOffsets.push_back({0, -r});
  }
  FHitOffsets.push_back({k, k});
  FHitOffsets.push_back({-k, k});
  FHitOffsets.push_back({k, -k});
  FHitOffsets.push_back({-k, -k});
}

std::unique_ptr<TfsHandlePainter> TfsDocument::CreateHandlePainter(TfsShape &shape) {
  std::unique_ptr<TfsHandlePainter> painter;
  switch (FHandlePainterType) {
  case hpStippleHandle:
    break;
  case hpW2K3Handle:
    painter = std::make_unique<TfsW2K3HandlePainter>(&shape);
    break;
  case hpCustomHandle:
    if (OnCreateHandlePainter)
      OnCreateHandlePainter(*this, shape, painter);
    break;
  }
  if (!painter)
    painter = std::make_unique<TfsHandlePainter>(&shape);
  return painter;
}

// ---- points and hits ------------------------------------------------------------

TFloatPoint TfsDocument::ClientToPagePoint(const TPoint &point, bool snap) {
  const TfsViewMapping m = ViewMapping();
  TFloatPoint p{float(point.X) / m.Scale + m.WindowLeft, float(point.Y) / m.Scale + m.WindowTop};
  if (snap) {
    if (TfsPage *page = CurrentPage()) {
      TFloatPoint local = page->PageToLocal(p);
      page->SnapPoint(local);
      p = page->LocalToPage(local);
    }
  }
  return p;
}

TfsShape *TfsDocument::HitAtPoint(const TPoint &point, uint8_t &kind) {
  kind = hkNone;
  if (FReadOnly)
    return nullptr;
  for (int i = ShapeCount() - 1; i >= 0; --i) {
    TfsShape *s = GetShape(i);
    if (!s->Selected())
      continue;
    if (const uint8_t k = s->HandleAtPoint(point); k != hkNone) {
      kind = k;
      return s;
    }
  }
  for (int i = ShapeCount() - 1; i >= 0; --i) {
    TfsShape *s = GetShape(i);
    if (s->AllowSelect() && s->HitTest(point)) {
      kind = hkMove;
      return s;
    }
  }
  return nullptr;
}

TfsShape *TfsDocument::ShapeAtPoint(const TPoint &point) {
  for (int i = ShapeCount() - 1; i >= 0; --i)
    if (TfsShape *found = GetShape(i)->ShapeAtPoint(point))
      return found;
  return nullptr;
}

// ---- drag geometry ----------------------------------------------------------------

void TfsDocument::DragGeometry(TfsShape &shape, const TFloatPoint &delta, uint8_t kind, bool alt) {
  // The page vector in the shape's own axes, turned through every ancestor
  // from the outermost in.
  std::vector<const TfsShape *> chain;
  for (const TfsShape *s = &shape; s; s = s->Parent())
    chain.push_back(s);
  double dx = delta.X, dy = delta.Y;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    double c, s;
    CosSinDegrees((*it)->DocAngle(), c, s);
    const double nx = dx * c - dy * s;
    dy = dx * s + dy * c;
    dx = nx;
  }
  const TFloatPoint d{float(dx), float(dy)};
  shape.PrepareHandles();
  const float w = shape.DocWidth(), h = shape.DocHeight(), a = shape.DocAngle();
  float p = 0, q = 0, rx = 1, ry = 1, delta_angle = 0;
  TfsHandlePainter &painter = shape.HandlePainter();
  for (TfsHandle &hd : painter.Handles()) {
    hd.DragX = hd.X;
    hd.DragY = hd.Y;
  }
  if (kind == hkMove) {
    p = d.X;
    q = d.Y;
  } else if (IsResize(kind)) {
    if (w != 0) {
      if (kind == hkTopLeft || kind == hkLeft || kind == hkBottomLeft)
        rx = (w - d.X) / w;
      else if (kind == hkBottomRight || kind == hkRight || kind == hkTopRight)
        rx = (w + d.X) / w;
    }
    if (h != 0) {
      if (kind == hkTopLeft || kind == hkTopRight || kind == hkTop)
        ry = (h - d.Y) / h;
      else if (kind == hkBottomLeft || kind == hkBottom || kind == hkBottomRight)
        ry = (h + d.Y) / h;
    }
    if (shape.PreserveAspect()) {
      if (kind == hkLeft || kind == hkRight)
        ry = rx;
      else if (kind == hkBottom || kind == hkTop)
        rx = ry;
    }
    float nw = std::max(1.0f, rx * w), nh = std::max(1.0f, ry * h);
    shape.ConstrainSize(nw, nh);
    rx = w != 0 ? nw / w : 1;
    ry = h != 0 ? nh / h : 1;
    if (kind == hkTopLeft || kind == hkLeft || kind == hkBottomLeft)
      p = w - nw;
    if (kind == hkTopLeft || kind == hkTopRight || kind == hkTop)
      q = h - nh;
    if (shape.PreserveAspect()) {
      // The shape grows about its centre line.
      if (kind == hkLeft || kind == hkRight)
        q = (h - nh) / 2;
      else if (kind == hkBottom || kind == hkTop)
        p = (w - nw) / 2;
    }
  } else if (kind == hkRotate) {
    const int32_t index = shape.DragHandle();
    if (index >= 0 && index < int32_t(painter.Handles().size())) {
      const TfsHandle &hd = painter.Handles()[size_t(index)];
      const double t0 = std::atan2(double(hd.Y) - h / 2.0, double(hd.X) - w / 2.0);
      const double t1 = std::atan2(double(hd.Y) + d.Y - h / 2.0, double(hd.X) + d.X - w / 2.0);
      delta_angle = static_cast<float>((t0 - t1) * 57.29577951);
      if ((FStepAngle > 0) != alt) {
        const float step = FStepAngle > 0 ? FStepAngle : 5;
        delta_angle = static_cast<float>(std::nearbyint((a + delta_angle) / step) * step - a);
      }
    }
  } else if (kind == hkPoint) {
    const int32_t index = shape.DragHandle();
    if (index >= 0 && index < int32_t(painter.Handles().size())) {
      TfsHandle &hd = painter.Handles()[size_t(index)];
      hd.DragX = hd.X + d.X;
      hd.DragY = hd.Y + d.Y;
    }
  } else {
    shape.DragCustomHandle(p, q, kind, d, delta_angle, ry, rx);
  }
  const TFloatPoint origin = shape.LocalToParent({p, q});
  shape.SetEditGeometry(origin.X, origin.Y, rx * w, ry * h, a + delta_angle);

  // The preview: scale, turn about the new centre, shift.
  TfsAffineTransform m;
  m.m11 = rx;
  m.m22 = ry;
  if (delta_angle != 0) {
    double c, s;
    CosSinDegrees(delta_angle, c, s);
    const double cx = shape.EditWidth() / 2.0, cy = shape.EditHeight() / 2.0;
    auto turn = [&](double &x, double &y, bool point) {
      const double ox = point ? cx : 0, oy = point ? cy : 0;
      const double ux = x - ox, uy = y - oy;
      x = ox + ux * c + uy * s;
      y = oy - ux * s + uy * c;
    };
    turn(m.m11, m.m12, false);
    turn(m.m21, m.m22, false);
    turn(m.m31, m.m32, true);
  }
  m.m31 += p;
  m.m32 += q;
  if (kind >= hkMove && kind <= hkRotate) {
    for (TfsHandle &hd : painter.Handles()) {
      double x, y;
      m.Transform(hd.X, hd.Y, x, y);
      hd.DragX = float(x);
      hd.DragY = float(y);
    }
  }
  shape.SetDragMatrix(m);
}

void TfsDocument::ComputeDragGeometry() {
  for (int n = 0; TfsShape *s = GetSelected(n); ++n)
    DragGeometry(*s, FDragDelta, FDragKind, FOutlineAlt);
}

TRect TfsDocument::OutlineRect() const {
  TRect r{};
  for (int n = 0; TfsShape *s = GetSelected(n); ++n)
    r = UnionRect(r, s->HandlePainter().DragOutlineBounds());
  return r;
}

TRect TfsDocument::InsertFrameRect() const {
  const TfsViewMapping m = ViewMapping();
  auto dev = [&](float x, float y) {
    return TPoint{static_cast<int32_t>(std::lrint((x - m.WindowLeft) * m.Scale)),
                  static_cast<int32_t>(std::lrint((y - m.WindowTop) * m.Scale))};
  };
  const TPoint a = dev(FDragStart.X, FDragStart.Y);
  const TPoint b = dev(FDragStart.X + FDragDelta.X, FDragStart.Y + FDragDelta.Y);
  TRect r{a.X, a.Y, b.X, b.Y};
  if (FInsertShape && FInsertShape->PreserveAspect() && FInsertShape->DocWidth() != 0 &&
      FInsertShape->DocHeight() != 0) {
    const double width = double(r.Right) - r.Left, height = double(r.Bottom) - r.Top;
    const double f = std::min(std::fabs(height / FInsertShape->DocHeight()),
                              std::fabs(width / FInsertShape->DocWidth()));
    if (std::isfinite(f)) {
      r.Right = r.Left + static_cast<int32_t>((width < 0 ? -1 : 1) *
                                              std::lrint(f * FInsertShape->DocWidth()));
      r.Bottom = r.Top + static_cast<int32_t>((height < 0 ? -1 : 1) *
                                              std::lrint(f * FInsertShape->DocHeight()));
    }
  }
  return r;
}

void TfsDocument::InvalidateOverlay(const TRect &rect) {
  const TRect r = Normalised(rect);
  if (FHost && r.Right > r.Left && r.Bottom > r.Top)
    FHost->Repaint({r.Left - 1, r.Top - 1, r.Right + 2, r.Bottom + 2});
}

void TfsDocument::ShowOutline(bool on) {
  // The outline toggles like an XOR figure: every "on" has its "off".
  if (on == FOutlineShown)
    return;
  FOutlineShown = on;
  if (on) {
    FOutlineAlt = (FLastShift & ssAlt) != 0;
    const TRect before = FShownOutline;
    ComputeDragGeometry();
    FShownOutline = OutlineRect();
    InvalidateOverlay(UnionRect(before, FShownOutline));
  } else {
    InvalidateOverlay(FShownOutline);
  }
}

// ---- the state machine ------------------------------------------------------------

void TfsDocument::ChangeDragState(TfsDragState state) {
  CancelHint();
  switch (FDragState) {
  case dsDragging:
    ShowOutline(false);
    FShownOutline = {};
    break;
  case dsRubberBand:
  case dsInsertDragging:
    InvalidateOverlay(InsertFrameRect());
    break;
  default:
    break;
  }
  const TfsDragState old = FDragState;
  FDragState = state;
  if ((old == dsInsertArmed || old == dsInsertDragging) && state != dsInsertArmed &&
      state != dsInsertDragging && FInsertShape) {
    // Leaving an insertion without placing it: the shape goes.
    TfsShape *shape = FInsertShape;
    FInsertShape = nullptr;
    if (OnShapeInsertClosed)
      OnShapeInsertClosed(*this, nullptr);
    if (OnShapeDestroy)
      OnShapeDestroy(*this, shape);
    FInsertOwned.reset();
  }
}

void TfsDocument::LeaveEditingStates() {
  if (FDragState == dsEditing) {
    FDragState = dsIdle;
    FEditShape = nullptr;
  }
  ChangeDragState(dsIdle);
  FDragKind = hkNone;
  FDragShape = nullptr;
}

void TfsDocument::CancelDragState() {
  if (FDragState == dsEditing)
    return;
  ChangeDragState(dsIdle);
  FDragKind = hkNone;
  FDragShape = nullptr;
}

void TfsDocument::StartInsert(std::unique_ptr<TfsShape> shape) {
  CheckNotWorking();
  if (FDragState == dsEditing)
    EndEdit(true);
  if (FDragState == dsInsertArmed || FDragState == dsInsertDragging)
    CommitInsert(false);
  if (!shape)
    return;
  FInsertOwned = std::move(shape);
  FInsertShape = FInsertOwned.get();
  ClearSelection();
  ChangeDragState(dsInsertArmed);
  FInsertDragMode = false;
  FDragKind = hkBottomRight;
}

void TfsDocument::StartInsertDrag(std::unique_ptr<TfsShape> shape) {
  StartInsert(std::move(shape));
  FInsertDragMode = FInsertShape != nullptr;
}

void TfsDocument::CommitInsert(bool accept) {
  if (FDragState == dsInsertDragging)
    InvalidateOverlay(InsertFrameRect());
  FDragState = dsIdle;
  std::unique_ptr<TfsShape> owned = std::move(FInsertOwned);
  TfsShape *shape = owned.get();
  FInsertShape = nullptr;
  FDragShape = nullptr;
  if (!shape)
    return;
  if (!accept || !CurrentPage()) {
    if (OnShapeInsertClosed)
      OnShapeInsertClosed(*this, nullptr);
    if (OnShapeDestroy)
      OnShapeDestroy(*this, shape);
    return;
  }
  TfsPage &page = *CurrentPage();
  const float x = FDragStart.X - page.DocLeft(), y = FDragStart.Y - page.DocTop();
  const bool moved = FDragDelta.X != 0 || FDragDelta.Y != 0;
  const float dx = moved ? FDragDelta.X : shape->DocWidth();
  const float dy = moved ? FDragDelta.Y : shape->DocHeight();
  shape->SetBoundsFromRect(FloatRect(x, y, x + dx, y + dy));
  AddShape(std::move(owned));
  if (OnShapeInsertClosed)
    OnShapeInsertClosed(*this, shape);
  shape->Refresh();
  shape->SetSelected(true);
  // A freehand stroke is drawn right away.
  if (shape->ClassName() == "TfsFreehandShape")
    EditShape(*shape);
}

void TfsDocument::EditShape(TfsShape &shape) {
  if (FDragState == dsEditing && FEditShape && FEditShape != &shape)
    EndEdit(true);
  ChangeDragState(dsEditing);
  FEditShape = &shape;
  shape.Edit();
  RunPendingDeletes();
}

void TfsDocument::EndEdit(bool accept) {
  if (FDragState == dsEditing)
    FDragState = dsIdle;
  TfsShape *shape = FEditShape;
  if (!shape)
    return;
  FEditShape = nullptr;
  if (OnShapeEditClosed)
    OnShapeEditClosed(*this, shape);
  shape->EndEdit(accept);
  RunPendingDeletes();
}

void TfsDocument::FinishEdit(TfsShape &shape, bool accepted) {
  if (FEditShape == &shape)
    EndEdit(accepted);
}

void TfsDocument::RequestDelete(TfsShape &shape) {
  if (std::find(FPendingDeletes.begin(), FPendingDeletes.end(), &shape) == FPendingDeletes.end())
    FPendingDeletes.push_back(&shape);
}

void TfsDocument::RunPendingDeletes() {
  std::vector<TfsShape *> pending;
  pending.swap(FPendingDeletes);
  for (TfsShape *shape : pending) {
    if (shape == FEditShape)
      EndEdit(false);
    // The shape may have gone meanwhile; only one still on a page is
    // deleted.
    for (int i = 0; i < PageCount(); ++i) {
      TfsPage *page = GetPage(i);
      std::function<bool(TfsShape &)> remove = [&](TfsShape &parent) {
        for (int k = 0; k < parent.ShapeCount(); ++k) {
          if (parent.GetShape(k) == shape) {
            parent.DeleteShape(k);
            return true;
          }
          if (remove(*parent.GetShape(k)))
            return true;
        }
        return false;
      };
      if (page && remove(*page))
        break;
    }
  }
}

void TfsDocument::StartDrag() {
  if (FDragKind != hkMove) {
    SetFocusShape(FDragShape);
  } else {
    for (int n = 0; TfsShape *s = GetSelected(n); ++n) {
      if (!s->AllowMove()) {
        FDragKind = hkNone;
        return;
      }
    }
  }
  if (!HasSelection()) {
    FDragKind = hkNone;
    return;
  }
  FDragState = dsDragging;
  ShowOutline(true);
}

void TfsDocument::EndDrag(bool accept) {
  if (FDragState != dsDragging) {
    FDragKind = hkNone;
    FDragShape = nullptr;
    return;
  }
  ShowOutline(false);
  FShownOutline = {};
  FDragState = dsIdle;
  if (accept) {
    // One drag is one undo step, and one change notice.
    TUndoGroupScope group(*this);
    TUpdateBracket update(*this);
    for (int n = 0; TfsShape *s = GetSelected(n); ++n)
      s->ApplyEditGeometry();
  }
  FDragKind = hkNone;
  FDragShape = nullptr;
}

// ---- mouse ---------------------------------------------------------------------

void TfsDocument::SetCursorFor(uint8_t kind, TfsShape *shape) {
  if (kind == hkMove)
    ShowCursor(crHandPoint);
  else if (IsResize(kind))
    ShowCursor(ResizeCursor(kind, shape ? shape->DocAngle() : 0));
  else if (kind == hkRotate)
    ShowCursor(crRotation);
  else if (kind == hkPoint)
    ShowCursor(crSizeAll);
  else
    ShowCursor(FCursor);
}

void TfsDocument::MouseDown(TMouseButton button, TShiftState shift, const TPoint &point) {
  const TShiftState keys = shift & (ssShift | ssCtrl);
  if (button != mbLeft) {
    if (OnMouseDown)
      OnMouseDown(*this, button, TShiftState((button == mbRight ? ssRight : ssMiddle) | keys),
                  point);
    return;
  }
  FDoubleClicked = false;
  FLeftDown = true;
  FLastShift = shift;
  if (OnMouseDown)
    OnMouseDown(*this, button, TShiftState(ssLeft | keys), point);
  if (FDragState == dsInsertDragging)
    return;
  FDragDelta = {0, 0};
  const bool alt = (shift & ssAlt) != 0;
  FDragStart = ClientToPagePoint(point, FSnapToGrid != alt);
  if (FDragState == dsEditing && FEditShape) {
    FEditShape->EditMouseDown(button, shift, point);
    RunPendingDeletes();
    return;
  }
  if (FDragState == dsInsertArmed) {
    if (!FInsertDragMode) {
      CommitInsert(true);
    } else {
      FDragState = dsInsertDragging;
      InvalidateOverlay(InsertFrameRect());
    }
    return;
  }
  if (FMode != vmEdit)
    return;
  if ((shift & ssCtrl) && FMultiSelectMethod == msmCtrl) {
    FDragState = dsRubberBand;
    FDragStart = ClientToPagePoint(point, false);
    return;
  }
  uint8_t kind = hkNone;
  TfsShape *shape = HitAtPoint(point, kind);
  FDragKind = kind;
  FDragShape = shape;
  if (shape) {
    if (shift & ssShift) {
      ToggleSelection(*shape);
    } else if (kind != hkMove || !shape->Selected()) {
      TUpdateBracket update(*this);
      ClearSelection();
      SetFocusShape(shape);
      shape->SetSelected(true);
    }
  }
  if (kind == hkMove) {
    ShowCursor(FCursor);
  } else if (IsResize(kind)) {
    ShowCursor(ResizeCursor(kind, shape->DocAngle()));
  } else if (kind == hkRotate) {
    FDragStart = ClientToPagePoint(point, false);
    ShowCursor(crRotation);
  } else if (kind == hkPoint) {
    ShowCursor(crSizeAll);
  } else {
    if (FMultiSelectMethod == msmSimple) {
      FDragState = dsRubberBand;
      FDragStart = ClientToPagePoint(point, false);
    } else {
      ClearSelection();
    }
    SetFocusShape(nullptr);
    ShowCursor(FCursor);
  }
}

void TfsDocument::MouseMove(TShiftState shift, const TPoint &point) {
  FPointer = point;
  FLastShift = shift;
  if (FHotzoneScrolling != hzsNoScroll && !FHotzoneRunning)
    HotzoneStep(point);
  if (FRulerTop || FRulerLeft)
    UpdateRulers();
  const bool left = (shift & ssLeft) != 0;
  if (FDragState == dsEditing && FEditShape) {
    FEditShape->EditMouseMove(shift, point);
    RunPendingDeletes();
    return;
  }
  if (FDragState == dsInsertArmed && !left) {
    if (FInsertShape)
      ShowCursor(FInsertShape->InsertCursor());
    return;
  }
  const bool snapKind = (FDragKind >= hkMove && FDragKind <= hkTop) || FDragKind == hkPoint;
  const bool alt = (shift & ssAlt) != 0;
  const TFloatPoint p = ClientToPagePoint(point, left && snapKind && (FSnapToGrid != alt));
  TFloatPoint delta{p.X - FDragStart.X, p.Y - FDragStart.Y};
  if ((shift & ssShift) && FDragKind == hkMove) {
    // Along the axis of the larger movement only.
    if (std::fabs(delta.X) < std::fabs(delta.Y))
      delta.X = 0;
    else
      delta.Y = 0;
  }
  const bool changed = delta.X != FDragDelta.X || delta.Y != FDragDelta.Y;
  const TRect before =
      FDragState == dsInsertDragging || FDragState == dsRubberBand ? InsertFrameRect() : TRect{};
  FDragDelta = delta;

  if (FDragState == dsInsertDragging) {
    if (changed)
      InvalidateOverlay(UnionRect(Normalised(before), Normalised(InsertFrameRect())));
    if (FInsertShape)
      ShowCursor(FInsertShape->InsertCursor());
    return;
  }
  if (!left) {
    FDragShape = nullptr;
    if (shift & ssRight)
      return;
    uint8_t kind = hkNone;
    TfsShape *shape = HitAtPoint(point, kind);
    SetCursorFor(kind, shape);
    if (kind == hkMove && shape) {
      if (shape != FHintShape)
        StartHint(point, *shape, FHintShape ? FHintShortPause : FHintPause);
    } else {
      FHintShape = nullptr;
      CancelHint();
    }
    return;
  }
  if (FDragState == dsRubberBand) {
    ShowCursor(FCursor);
    if (changed)
      InvalidateOverlay(UnionRect(Normalised(before), Normalised(InsertFrameRect())));
    return;
  }
  if (FDragState == dsIdle) {
    const double sx = double(delta.X) * FViewScale, sy = double(delta.Y) * FViewScale;
    if (FDragKind != hkNone && sx * sx + sy * sy > 10) {
      StartDrag();
      if (FDragKind == hkMove)
        ShowCursor(crSizeAll);
    }
    return;
  }
  if (FDragState == dsDragging) {
    if (FDragKind == hkMove && FHost) {
      const TSize size = FHost->ClientSize();
      if (size.cx > 0 && (point.X < 0 || point.X > size.cx || point.Y < 0 || point.Y > size.cy)) {
        EndDrag(false);
        FHost->BeginDragDrop();
        if (OnStartDrag)
          OnStartDrag(*this);
        return;
      }
    }
    if (FDragKind == hkMove)
      ShowCursor((shift & ssCtrl) ? crSizeCopy : crSizeAll);
    if (changed) {
      ShowOutline(false);
      ShowOutline(true);
    }
  }
}

void TfsDocument::MouseUp(TMouseButton button, TShiftState shift, const TPoint &point) {
  const TShiftState keys = shift & (ssShift | ssCtrl);
  if (button != mbLeft) {
    if (OnMouseUp)
      OnMouseUp(*this, button, TShiftState((button == mbRight ? ssRight : ssMiddle) | keys), point);
    return;
  }
  FLeftDown = false;
  if (FDoubleClicked) {
    FDoubleClicked = false;
    EndDrag(false);
    return;
  }
  if (FDragState == dsEditing && FEditShape) {
    FEditShape->EditMouseUp(button, shift, point);
    RunPendingDeletes();
  } else if (FDragState == dsRubberBand) {
    const TRect band = Normalised(InsertFrameRect());
    ClearSelection();
    InvalidateOverlay(band);
    FDragState = dsIdle;
    if (FDragDelta.X * FDragDelta.Y != 0)
      SelectInRect(band);
  } else if (FDragState == dsDragging) {
    if (FDragKind == hkMove && (shift & ssCtrl)) {
      const TFloatPoint delta = FDragDelta;
      EndDrag(false);
      TUndoGroupScope group(*this);
      std::string text;
      CopyToText(text);
      ClearSelection();
      PasteFromText(text);
      for (int n = 0; TfsShape *s = GetSelected(n); ++n) {
        const TFloatRect b = s->GetParentBounds(false);
        s->MoveBoundsLeftTo(b.Left + delta.X);
        s->MoveBoundsTopTo(b.Top + delta.Y);
      }
    } else {
      EndDrag(true);
    }
    if (FFocusShape && OnShapeChanged)
      OnShapeChanged(*this, FFocusShape);
  } else if (FDragState == dsInsertDragging) {
    if (FDragDelta.X != 0 || FDragDelta.Y != 0)
      CommitInsert(true);
  }
  if (FDragState == dsIdle) {
    FDragKind = hkNone;
    FDragShape = nullptr;
  }
  if (OnMouseUp)
    OnMouseUp(*this, button, TShiftState(ssLeft | keys), point);
}

void TfsDocument::DblClick(TShiftState, const TPoint &point) {
  FDoubleClicked = true;
  if (FDragState == dsEditing && FEditShape) {
    FEditShape->EditDblClick(point);
    RunPendingDeletes();
    return;
  }
  TfsShape *shape = ShapeAtPoint(point);
  if (!shape)
    return;
  if (FReadOnly || !shape->AllowEdit()) {
    shape->DoEdit();
    FDragShape = nullptr;
    return;
  }
  EditShape(*shape);
}

// ---- keys ------------------------------------------------------------------------

bool TfsDocument::KeyDown(uint16_t &key, TShiftState shift) {
  if (!FAllowKeyInput)
    return false;
  if (FDragState == dsEditing && FEditShape) {
    FEditShape->EditKeyDown(key, shift);
    RunPendingDeletes();
    return true;
  }
  switch (key) {
  case vkEscape:
    ChangeDragState(dsIdle);
    FDragKind = hkNone;
    FDragShape = nullptr;
    return true;
  case vkDelete:
    DeleteSelection();
    return true;
  case vkF2:
    if (TfsShape *s = GetSelected(0))
      EditShape(*s);
    return true;
  case vkF5:
    if (TfsPage *page = CurrentPage())
      page->Refresh();
    return true;
  default:
    return false;
  }
}

bool TfsDocument::KeyPress(char16_t &key) {
  if (!FAllowKeyInput)
    return false;
  if (FDragState == dsEditing && FEditShape) {
    FEditShape->EditKeyPress(key);
    RunPendingDeletes();
    return true;
  }
  switch (key) {
  case CtrlC:
    CopySelection();
    break;
  case CtrlV:
    PasteSelection();
    break;
  case CtrlX:
    CutSelection();
    break;
  default:
    return false;
  }
  key = 0;
  return true;
}

void TfsDocument::KeyUp(uint16_t &key, TShiftState shift) {
  if (FAllowKeyInput && FDragState == dsEditing && FEditShape) {
    FEditShape->EditKeyUp(key, shift);
    RunPendingDeletes();
  }
}

void TfsDocument::NudgeSelection(float dx, float dy) {
  CheckNotWorking();
  if (FReadOnly || !HasSelection())
    return;
  TUndoGroupScope group(*this);
  TUpdateBracket update(*this);
  for (int n = 0; TfsShape *s = GetSelected(n); ++n) {
    if (!s->AllowMove())
      continue;
    s->SetDocPosition(s->DocLeft() + dx, s->DocTop() + dy);
  }
}

// ---- hints and hot zones --------------------------------------------------------------

void TfsDocument::StartHint(const TPoint &point, TfsShape &shape, int32_t delay) {
  CancelHint();
  if (!shape.EffectiveShowHint() || shape.EffectiveHint().empty())
    return;
  FHintShape = &shape;
  FHintPoint = point;
  FHintText = shape.EffectiveHint();
  if (FHost)
    FHost->StartTimer(tmHint, std::max(delay, 1));
}

void TfsDocument::CancelHint() {
  if (FHost) {
    FHost->StopTimer(tmHint);
    if (FHintShown)
      FHost->HideHint();
  }
  FHintShown = false;
}

void TfsDocument::HotzoneStep(const TPoint &point) {
  if (FDragState == dsInsertDragging || FDragState == dsEditing || !FHost)
    return;
  const int64_t now = NowMs();
  const double dt = std::clamp(double(now - FLastHotzoneTick), 1.0, 200.0);
  FLastHotzoneTick = now;
  const double mx = double(point.X) - FLastPointer.X, my = double(point.Y) - FLastPointer.Y;
  FLastPointer = point;
  const double speed = std::sqrt(mx * mx + my * my) / dt * 1000;
  if (!FHotzoneRunning && speed > 30)
    return;
  const TSize client = FHost->ClientSize();
  const double cw = client.cx, ch = client.cy;
  double vx = 0, vy = 0;
  if (cw > 0 && ch > 0 && point.X >= 0 && point.Y >= 0 && point.X < cw && point.Y < ch) {
    const double zx = 0.07 * cw, zy = 0.07 * ch;
    if (point.X < zx)
      vx = point.X / zx - 1;
    else if (cw - point.X < zx)
      vx = 1 - (cw - point.X) / zx;
    if (point.Y < zy)
      vy = point.Y / zy - 1;
    else if (ch - point.Y < zy)
      vy = 1 - (ch - point.Y) / zy;
  }
  if (vx == 0 && vy == 0) {
    FHotzoneRunning = false;
    FHost->StopTimer(tmHotZone);
    return;
  }
  FHotzoneTime = FHotzoneRunning ? FHotzoneTime + dt : 10;
  auto shape = [this](double v) { return (v < 0 ? -1 : 1) * std::min(FHotzoneTime / 700, v * v); };
  vx = shape(vx);
  vy = shape(vy);
  float stepX = float(std::nearbyint(dt * vx * 2)), stepY = float(std::nearbyint(dt * vy * 2));
  if (FDragState == dsDragging && FOutlineShown) {
    ShowOutline(false);
    ScrollBy(stepX, stepY);
    ShowOutline(true);
  } else if (FHotzoneScrolling == hzsAlways) {
    ScrollBy(stepX, stepY);
  } else {
    FHotzoneRunning = false;
    return;
  }
  if (!FHotzoneRunning)
    FHost->StartTimer(tmHotZone, 50);
  FHotzoneRunning = true;
}

// ---- painting ----------------------------------------------------------------------

void TfsDocument::PaintEditing(TBitmap32 &canvas) {
  if (!FReadOnly) {
    for (int i = 0; i < ShapeCount(); ++i) {
      TfsShape *s = GetShape(i);
      if (s->Selected() && s->AllowSelect())
        s->DrawHandles(canvas);
    }
    if (FEditShape && !FEditShape->Selected())
      FEditShape->DrawHandles(canvas);
  }
  if (FDragState == dsDragging && FOutlineShown) {
    // Laying the handles out for drawing put them back at rest.
    ComputeDragGeometry();
    for (int n = 0; TfsShape *s = GetSelected(n); ++n)
      s->DrawDragOutline(canvas);
  } else if (FDragState == dsRubberBand) {
    XorDottedRect(canvas, InsertFrameRect(), FHandleColor);
  } else if (FDragState == dsInsertDragging && FInsertShape) {
    FInsertShape->DrawInsertFrame(canvas, InsertFrameRect(), FHandleColor);
  }
}
