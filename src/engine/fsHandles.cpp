#include "engine/fsHandles.h"

#include "engine/fsHost.h"
#include "engine/fsShape.h"

#include <algorithm>
#include <cmath>

int16_t ResizeCursor(uint8_t kind, float angle) {
  if (kind < hkTopLeft || kind > hkTop)
    return crDefault;
  const long steps = (std::lrint(double(angle) + 22.5) / 45) % 8;
  int k = kind;
  for (long i = 0; i < (steps + 8) % 8; ++i)
    k = k == hkTop ? hkTopLeft : k + 1;
  switch (k) {
  case hkTopLeft:
  case hkBottomRight:
    return crSizeNWSE;
  case hkLeft:
  case hkRight:
    return crSizeWE;
  case hkBottomLeft:
  case hkTopRight:
    return crSizeNESW;
  default:
    return crSizeNS;
  }
}

namespace {

// A black XOR pen would leave the picture as it was; black inverts instead.
TColor32 XorMask(TColor color) {
  const TColor rgb = ColorToRGB(color) & 0xFFFFFF;
  const uint32_t r = rgb & 0xFF, g = (rgb >> 8) & 0xFF, b = (rgb >> 16) & 0xFF;
  const TColor32 mask = (r << 16) | (g << 8) | b;
  return mask == 0 ? 0xFFFFFF : mask;
}

void XorPixel(TBitmap32 &canvas, int32_t x, int32_t y, TColor32 mask) {
  if (x < 0 || y < 0 || x >= canvas.Width() || y >= canvas.Height())
    return;
  TColor32 &p = canvas.ScanLine(y)[x];
  p ^= mask;
}

} // namespace

namespace {

// Liang-Barsky: the part of the segment inside the box, false when none.
bool ClipSegment(double &x0, double &y0, double &x1, double &y1, double w, double h) {
  double t0 = 0, t1 = 1;
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy}, q[4] = {x0 + 1, w - x0, y0 + 1, h - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0)
        return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1)
      return false;
  }
  x1 = x0 + t1 * dx, y1 = y0 + t1 * dy;
  x0 = x0 + t0 * dx, y0 = y0 + t0 * dy;
  return std::isfinite(x0) && std::isfinite(y0) && std::isfinite(x1) && std::isfinite(y1);
}

} // namespace

void XorDottedLine(TBitmap32 &canvas, float fx0, float fy0, float fx1, float fy1, TColor color) {
  double x0 = fx0, y0 = fy0, x1 = fx1, y1 = fy1;
  if (!ClipSegment(x0, y0, x1, y1, canvas.Width(), canvas.Height()))
    return;
  const TColor32 mask = XorMask(color);
  int32_t ax = static_cast<int32_t>(std::lrint(x0)), ay = static_cast<int32_t>(std::lrint(y0));
  const int32_t bx = static_cast<int32_t>(std::lrint(x1)),
                by = static_cast<int32_t>(std::lrint(y1));
  const int32_t dx = std::abs(bx - ax), dy = -std::abs(by - ay);
  const int32_t sx = ax < bx ? 1 : -1, sy = ay < by ? 1 : -1;
  int64_t err = int64_t(dx) + dy;
  for (int64_t step = 0;; ++step) {
    if ((step & 1) == 0)
      XorPixel(canvas, ax, ay, mask);
    if (ax == bx && ay == by)
      break;
    const int64_t e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      ax += sx;
    }
    if (e2 <= dx) {
      err += dx;
      ay += sy;
    }
  }
}

void XorDottedRect(TBitmap32 &canvas, const TRect &rect, TColor color) {
  const int32_t l = std::min(rect.Left, rect.Right), r = std::max(rect.Left, rect.Right) - 1;
  const int32_t t = std::min(rect.Top, rect.Bottom), b = std::max(rect.Top, rect.Bottom) - 1;
  if (r < l || b < t)
    return;
  const TColor32 mask = XorMask(color);
  // Dots on every other pixel by position; only what can show is walked.
  auto put = [&](int32_t x, int32_t y) {
    if (((x ^ y) & 1) == 0)
      XorPixel(canvas, x, y, mask);
  };
  const int32_t x0 = std::max(l, 0), x1 = std::min(r, canvas.Width() - 1);
  const int32_t y0 = std::max(t + 1, 0), y1 = std::min(b - 1, canvas.Height() - 1);
  for (int32_t x = x0; x <= x1; ++x) {
    put(x, t);
    if (b != t)
      put(x, b);
  }
  for (int32_t y = y0; y <= y1; ++y) {
    put(l, y);
    if (r != l)
      put(r, y);
  }
}

// ---- TfsHandlePainter -------------------------------------------------------

TfsHandlePainter::TfsHandlePainter(TfsShape *shape) : FShape(shape) {}

TfsShape &TfsHandlePainter::CheckedShape() const {
  if (!FShape)
    throw EfsHandleError("Shape object must be assigned");
  return *FShape;
}

TColor TfsHandlePainter::GetHandleColor() const {
  return FShape && FShape->Document() ? FShape->Document()->HandleColor() : 0;
}

TColor TfsHandlePainter::GetEdgeColor() const {
  return FShape && FShape->Document() ? FShape->Document()->HandleEdgeColor() : 0;
}

void TfsHandlePainter::Clear() {
  FHandles.clear();
  FLines.clear();
}

void TfsHandlePainter::AddHandle(float x, float y, uint8_t kind) {
  FHandles.push_back({kind, x, y, x, y});
}

void TfsHandlePainter::AddLine(int32_t from, int32_t to, uint8_t hitKind, bool visible,
                               bool showInDrag) {
  FLines.push_back({from, to, hitKind, visible, showInDrag});
}

void TfsHandlePainter::LayoutHandles() {
  TfsShape &s = CheckedShape();
  const float w = s.DocWidth(), h = s.DocHeight();
  Clear();
  AddHandle(0, 0, hkTopLeft);
  AddHandle(0, h, hkBottomLeft);
  AddHandle(w, h, hkBottomRight);
  AddHandle(w, 0, hkTopRight);
  if (s.AllowRotate())
    AddHandle(1.03f * w, h / 2, hkRotate);
  // The edges are grabbed on the lines between the corners.
  AddLine(0, 1, hkLeft);
  AddLine(1, 2, hkBottom);
  AddLine(2, 3, hkRight);
  AddLine(3, 0, hkTop);
}

void TfsW2K3HandlePainter::LayoutHandles() {
  TfsShape &s = CheckedShape();
  const float w = s.DocWidth(), h = s.DocHeight();
  Clear();
  AddHandle(0, 0, hkTopLeft);
  AddHandle(w / 2, 0, hkTop);
  AddHandle(w, 0, hkTopRight);
  AddHandle(w, h / 2, hkRight);
  AddHandle(w, h, hkBottomRight);
  AddHandle(w / 2, h, hkBottom);
  AddHandle(0, h, hkBottomLeft);
  AddHandle(0, h / 2, hkLeft);
  AddHandle(w / 2, -5, hkRotate);
  AddLine(0, 2, hkNone, false);
  AddLine(2, 4, hkNone, false);
  AddLine(4, 6, hkNone, false);
  AddLine(6, 0, hkNone, false);
  AddLine(1, 8, hkNone, s.AllowRotate(), false);
}

TFloatPoint TfsHandlePainter::ScreenOf(float x, float y) const {
  return CheckedShape().LocalToScreen({x, y});
}

TRect TfsHandlePainter::HandleRect(int index) const {
  const TfsHandle &h = FHandles.at(static_cast<size_t>(index));
  const TFloatPoint p = ScreenOf(h.X, h.Y);
  const double r = HandleRadius();
  auto rnd = [](double v) { return static_cast<int32_t>(std::lrint(v)); };
  return {rnd(p.X - r), rnd(p.Y - r), rnd(p.X + r + 1), rnd(p.Y + r + 1)};
}

TRect TfsHandlePainter::DragOutlineBounds() const {
  if (FHandles.empty())
    return {};
  float l = 1e30f, t = 1e30f, r = -1e30f, b = -1e30f;
  for (const TfsHandle &h : FHandles) {
    const TFloatPoint p = ScreenOf(h.DragX, h.DragY);
    l = std::min(l, p.X), t = std::min(t, p.Y), r = std::max(r, p.X), b = std::max(b, p.Y);
  }
  return {static_cast<int32_t>(std::floor(l)) - 2, static_cast<int32_t>(std::floor(t)) - 2,
          static_cast<int32_t>(std::ceil(r)) + 3, static_cast<int32_t>(std::ceil(b)) + 3};
}

void TfsHandlePainter::DrawLines(TBitmap32 &canvas) {
  const TColor edge = GetEdgeColor();
  for (const TfsDragLine &l : FLines) {
    if (!l.Visible || l.FromHandle < 0 || l.ToHandle < 0 ||
        l.FromHandle >= int32_t(FHandles.size()) || l.ToHandle >= int32_t(FHandles.size()))
      continue;
    const TfsHandle &a = FHandles[size_t(l.FromHandle)], &b = FHandles[size_t(l.ToHandle)];
    const TFloatPoint p = ScreenOf(a.X, a.Y), q = ScreenOf(b.X, b.Y);
    XorDottedLine(canvas, p.X, p.Y, q.X, q.Y, edge);
  }
}

void TfsHandlePainter::DrawDragOutline(TBitmap32 &canvas) {
  CheckedShape();
  const TColor edge = GetEdgeColor();
  for (const TfsDragLine &l : FLines) {
    if (!l.ShowInDrag || l.FromHandle < 0 || l.ToHandle < 0 ||
        l.FromHandle >= int32_t(FHandles.size()) || l.ToHandle >= int32_t(FHandles.size()))
      continue;
    const TfsHandle &a = FHandles[size_t(l.FromHandle)], &b = FHandles[size_t(l.ToHandle)];
    const TFloatPoint p = ScreenOf(a.DragX, a.DragY), q = ScreenOf(b.DragX, b.DragY);
    XorDottedLine(canvas, p.X, p.Y, q.X, q.Y, edge);
  }
}

void TfsHandlePainter::DrawHandle(TBitmap32 &canvas, int index) {
  const TRect r = HandleRect(index);
  const TColor32 fill = ToColor32(GetHandleColor()) | 0xFF000000;
  const TColor32 edge = ToColor32(GetEdgeColor()) | 0xFF000000;
  for (int32_t y = std::max(r.Top, 0); y < std::min(r.Bottom, canvas.Height()); ++y) {
    TColor32 *row = canvas.ScanLine(y);
    for (int32_t x = std::max(r.Left, 0); x < std::min(r.Right, canvas.Width()); ++x) {
      const bool border = x == r.Left || y == r.Top || x == r.Right - 1 || y == r.Bottom - 1;
      row[x] = border ? edge : fill;
    }
  }
}

void TfsHandlePainter::Draw(TBitmap32 &canvas) {
  CheckedShape();
  DrawLines(canvas);
  for (int i = 0; i < int(FHandles.size()); ++i)
    DrawHandle(canvas, i);
}
