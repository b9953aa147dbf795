#include "shapes/fsLineShape.h"

#include "base/fsConvert.h"
#include "engine/fsHandles.h"
#include "persist/fsPlainXml.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

constexpr std::array<std::string_view, ArrowStyleCount> StyleNames = {
    "NoArrow", "Arrow", "OpenArrow", "StealthArrow", "Diamond", "Oval", "Rectangle"};

TFloatPoint operator+(const TFloatPoint &a, const TFloatPoint &b) {
  return {a.X + b.X, a.Y + b.Y};
}
TFloatPoint operator-(const TFloatPoint &a, const TFloatPoint &b) {
  return {a.X - b.X, a.Y - b.Y};
}
TFloatPoint operator*(const TFloatPoint &a, float k) {
  return {a.X * k, a.Y * k};
}
float Cross(const TFloatPoint &a, const TFloatPoint &b) {
  return a.X * b.Y - a.Y * b.X;
}

} // namespace

std::string_view ArrowStyleName(uint8_t style) {
  return style < ArrowStyleCount ? StyleNames[style] : std::string_view();
}

bool ArrowStyleFromName(std::string_view name, uint8_t &style) {
  for (size_t i = 0; i < StyleNames.size(); ++i)
    if (SameText(name, StyleNames[i])) {
      style = static_cast<uint8_t>(i);
      return true;
    }
  return false;
}

// ---- TfsArrow ------------------------------------------------------------------------

template <class T> void TfsArrow::Set(T &field, T value) {
  if (field == value)
    return;
  if (FLine)
    FLine->InvalidateScreen();
  field = value;
  if (FLine)
    FLine->GeometryChanged();
}

void TfsArrow::SetStyle(uint8_t value) {
  if (value < ArrowStyleCount)
    Set(FStyle, value);
}

void TfsArrow::SetWidth(float value) {
  Set(FWidth, value);
}

void TfsArrow::SetLength(float value) {
  Set(FLength, value);
}

void TfsArrow::SaveToXml(TXmlNode &node) const {
  node.StoreString("Style", ArrowStyleName(FStyle), "");
  node.StoreFloat("Width", FWidth, 0.0f);
  node.StoreFloat("Length", FLength, 0.0f);
}

void TfsArrow::LoadFromXml(const TXmlNode &node) {
  uint8_t style = FStyle;
  if (ArrowStyleFromName(node.LoadString("Style", ""), style))
    FStyle = style;
  FWidth = node.LoadFloat("Width", 0.0f);
  FLength = node.LoadFloat("Length", 0.0f);
}

// ---- life ------------------------------------------------------------------------------

TfsLineShape::TfsLineShape()
    : FArrow0(std::make_unique<TfsArrow>(this)),
      FArrow1(std::make_unique<TfsArrow>(this)), FEnds{FloatPoint(0, 0), FloatPoint(1, 1)} {
  SetFillColor(0);
  SetIsClosed(true);
  SetStorePoints(false);
  SetUseOutline(false);
  SetUseFill(true);
  SetInsertCursor(-33); // CRFSCROSSLINE
  BuildPoints();
  UpdateExtents();
}

TfsLineShape::~TfsLineShape() = default;

void TfsLineShape::GeometryChanged() {
  MarkGeometryDirty();
  Refresh();
  Changed();
}

void TfsLineShape::SetLineWidth(float value) {
  if (value == FLineWidth)
    return;
  InvalidateScreen();
  FLineWidth = value;
  GeometryChanged();
}

// ---- end points -----------------------------------------------------------------------

TFloatPoint TfsLineShape::GetEndPoint(int index) const {
  if (index < 0 || index >= PointCount())
    return {};
  const TFloatPoint &f = FEnds[static_cast<size_t>(index)];
  return {f.X * DocWidth() + DocLeft(), f.Y * DocHeight() + DocTop()};
}

void TfsLineShape::SetEndPoint(int index, const TFloatPoint &point) {
  if (index < 0 || index > 1 || index >= PointCount())
    return;
  TFloatPoint &f = FEnds[static_cast<size_t>(index)];
  f.X = DocWidth() > 0 ? (point.X - DocLeft()) / DocWidth() : 0;
  f.Y = DocHeight() > 0 ? (point.Y - DocTop()) / DocHeight() : 0;
  FitBoxToEnds();
  MarkGeometryDirty();
  Refresh();
  Changed();
}

void TfsLineShape::AddEndPoint(const TFloatPoint &point) {
  FEnds.push_back({});
  SetEndPoint(PointCount() - 1, point);
}

void TfsLineShape::ClearEndPoints() {
  FEnds.clear();
  MarkGeometryDirty();
}

void TfsLineShape::FitBoxToEnds() {
  // The box holds what is drawn, the first two entries; any further entry
  // keeps its place in the box.
  const int count = std::min(PointCount(), 2);
  if (count == 0)
    return;
  std::array<TFloatPoint, 2> at{};
  for (int i = 0; i < count; ++i)
    at[size_t(i)] = GetEndPoint(i);
  float left = at[0].X, top = at[0].Y, right = at[0].X, bottom = at[0].Y;
  for (int i = 1; i < count; ++i) {
    left = std::min(left, at[size_t(i)].X);
    top = std::min(top, at[size_t(i)].Y);
    right = std::max(right, at[size_t(i)].X);
    bottom = std::max(bottom, at[size_t(i)].Y);
  }
  float width = right - left, height = bottom - top;
  if (!(width > 0))
    width = 1;
  if (!(height > 0))
    height = 1;
  for (int i = 0; i < count; ++i)
    FEnds[size_t(i)] = {(at[size_t(i)].X - left) / width, (at[size_t(i)].Y - top) / height};
  MarkGeometryDirty();
  SetBounds(left, top, width, height);
}

// ---- drawing ---------------------------------------------------------------------------

void TfsLineShape::BuildPoints() {
  const TFloatPoint e0 = GetEndPoint(0), e1 = GetEndPoint(1);
  if (e0 == e1)
    return;
  ClearPoints();
  AddHeadOutline(*FArrow0, e0, e1);
  AddHeadOutline(*FArrow1, e1, e0);
  OffsetPoints(-DocLeft(), -DocTop());
  MarkGeometryDirty();
}

void TfsLineShape::AddHeadOutline(const TfsArrow &arrow, const TFloatPoint &t,
                                  const TFloatPoint &o) {
  const float length = std::hypot(t.X - o.X, t.Y - o.Y);
  if (!(length > 0))
    return;
  const float lw = FLineWidth, w = arrow.Width();
  const TFloatPoint d = (t - o) * (1 / length);
  const TFloatPoint n = {-d.Y, d.X};
  const TFloatPoint m = n * (w / 2);
  const uint8_t style = w <= lw ? uint8_t(asNoArrow) : arrow.Style();
  const float h = style == asNoArrow ? 0 : std::min(0.7f * length, arrow.Length());
  const TFloatPoint b = t - d * h;
  const TFloatPoint q = b - n * (lw / 2), p = b + n * (lw / 2);
  const float s = DeviceScale();
  auto add = [this](const TFloatPoint &v) { AddPoint(v); };
  switch (style) {
  case asArrow:
    for (const TFloatPoint &v : {q, b - m, t, b + m, p})
      add(v);
    break;
  case asOpenArrow:
  case asStealthArrow: {
    // u: how far the inner edges of the barbs run along the shaft before
    // they meet it, for barbs as thick as the line.
    const float c = 2 * h / w;
    const float u = std::max(0.0f, h - (std::sqrt(c * c + 1) + c / 2) * lw);
    add(q);
    if (style == asOpenArrow) {
      if (u > 0) {
        add(q + d * u);
        add(q - n * (u / c));
      }
      for (const TFloatPoint &v : {b - m, t, b + m})
        add(v);
      if (u > 0) {
        add(p + n * (u / c));
        add(p + d * u);
      }
    } else {
      const float k = w / 2 - 0.75f * lw - u / c;
      std::vector<TFloatPoint> arc;
      if (u > 0)
        arc = QuarterUnitPoints(QuarterArcSteps(s * u));
      for (const TFloatPoint &a : arc)
        add(q + d * (u * a.X) - n * (k * a.Y) - n * (u * (1 - a.X) / c));
      for (const TFloatPoint &v : {b - m, t, b + m})
        add(v);
      for (auto it = arc.rbegin(); it != arc.rend(); ++it)
        add(p + d * (u * it->X) + n * (k * it->Y) + n * (u * (1 - it->X) / c));
    }
    add(p);
    break;
  }
  case asDiamond:
    for (const TFloatPoint &v : {q, b + d * (h / 2) - m, t, b + d * (h / 2) + m, p})
      add(v);
    break;
  case asOval: {
    const float a = h / 2, e = w / 2;
    const int steps = QuarterArcSteps(s * std::max(e, a));
    const std::vector<TFloatPoint> arc = QuarterUnitPoints(steps);
    auto back = [&](int i, float side) {
      const TFloatPoint &c = arc[size_t(i)];
      return b + d * (a * (1 - c.X)) + n * (side * e * c.Y);
    };
    auto front = [&](int i, float side) {
      const TFloatPoint &c = arc[size_t(i)];
      return b + d * (a * (1 + c.X)) + n * (side * e * c.Y);
    };
    add(q);
    // The back of the oval only where it stands out beside the shaft.
    for (int i = 1; i <= steps - 1; ++i)
      if (const TFloatPoint v = back(i, -1); Cross(v - q, d) > 0)
        add(v);
    for (int i = steps; i >= 1; --i)
      add(front(i, -1));
    for (int i = 0; i <= steps; ++i)
      add(front(i, 1));
    for (int i = steps; i >= 1; --i)
      if (const TFloatPoint v = back(i, 1); Cross(v - p, d) < 0)
        add(v);
    add(p);
    break;
  }
  case asRectangle:
    for (const TFloatPoint &v : {q, b - m, t - m, t + m, b + m, p})
      add(v);
    break;
  default: // asNoArrow, and styles this program does not know
    add(q);
    add(p);
    break;
  }
}

// ---- geometry --------------------------------------------------------------------------

void TfsLineShape::SetDocAngle(float angle) {
  if (angle == 0 || FEnds.empty())
    return;
  double c, s;
  CosSinDegrees(angle, c, s);
  const double w = DocWidth(), h = DocHeight();
  // Turned about the box's top-left corner in millimetres, then kept as
  // fractions again by the refit.
  std::vector<TFloatPoint> turned;
  for (const TFloatPoint &f : FEnds) {
    const double x = f.X * w, y = f.Y * h;
    turned.push_back({float(c * x + s * y), float(-s * x + c * y)});
  }
  for (size_t i = 0; i < FEnds.size(); ++i) {
    FEnds[i].X = w > 0 ? float(turned[i].X / w) : 0;
    FEnds[i].Y = h > 0 ? float(turned[i].Y / h) : 0;
  }
  FitBoxToEnds();
  MarkGeometryDirty();
}

void TfsLineShape::SetBoundsFromRect(const TFloatRect &rect) {
  if (PointCount() >= 2) {
    if (rect.Right < rect.Left) {
      FEnds[0].X = 1;
      FEnds[1].X = 0;
    }
    if (rect.Bottom < rect.Top) {
      FEnds[0].Y = 1;
      FEnds[1].Y = 0;
    }
  }
  MarkGeometryDirty();
  TfsPolygonShape::SetBoundsFromRect(rect);
  UpdateExtents();
}

// ---- handles ---------------------------------------------------------------------------

TFloatPoint TfsLineShape::DrawnEnd(int index) const {
  const TFloatPoint &f = FEnds[static_cast<size_t>(index)];
  return UndrawnLocal({f.X * DocWidth(), f.Y * DocHeight()});
}

TFloatPoint TfsLineShape::UndrawnLocal(const TFloatPoint &p) const {
  // Mirroring is its own inverse.
  return {Mirrored() ? DocWidth() - p.X : p.X, Flipped() ? DocHeight() - p.Y : p.Y};
}

void TfsLineShape::PrepareHandles() {
  TfsHandlePainter &painter = HandlePainter();
  painter.Clear();
  for (int i = 0; i < PointCount(); ++i) {
    const TFloatPoint p = DrawnEnd(i);
    painter.AddHandle(p.X, p.Y, hkPoint);
  }
  // The body is grabbed by the hit test, not on the line between the ends.
  for (int i = 1; i < PointCount(); ++i)
    painter.AddLine(i - 1, i, hkNone);
}

void TfsLineShape::DrawInsertFrame(TBitmap32 &canvas, const TRect &rect, TColor color) {
  XorDottedLine(canvas, float(rect.Left), float(rect.Top), float(rect.Right), float(rect.Bottom),
                color);
}

void TfsLineShape::ApplyEditGeometry() {
  // A drag of an end handle leaves the box as it was and moves only that
  // handle; every other drag changes the box.
  const bool boxKept = EditLeft() == DocLeft() && EditTop() == DocTop() &&
                       EditWidth() == DocWidth() && EditHeight() == DocHeight() &&
                       EditAngle() == DocAngle();
  const int32_t index = DragHandle();
  const std::vector<TfsHandle> &handles = HandlePainter().Handles();
  if (boxKept && index >= 0 && index < int32_t(handles.size()) &&
      handles[size_t(index)].Kind == hkPoint) {
    const TfsHandle &h = handles[size_t(index)];
    if (h.DragX != h.X || h.DragY != h.Y) {
      const TFloatPoint local = UndrawnLocal({h.DragX, h.DragY});
      SetEndPoint(index, {DocLeft() + local.X, DocTop() + local.Y});
    }
    return;
  }
  TfsPolygonShape::ApplyEditGeometry();
}

// ---- persistence -----------------------------------------------------------------------

void TfsLineShape::SaveToXml(TXmlNode &node) {
  FArrow0->SaveToXml(*node.FindOrAddChild("Arrow0"));
  FArrow1->SaveToXml(*node.FindOrAddChild("Arrow1"));
  TXmlNode &points = *node.FindOrAddChild("Points");
  points.ClearChildren();
  for (int i = 0; i < PointCount(); ++i) {
    const TFloatPoint p = GetEndPoint(i);
    TXmlNode *point = points.NewChild("Point");
    point->StoreFloat("X", p.X, 0.0f);
    point->StoreFloat("Y", p.Y, 0.0f);
  }
  node.StoreFloat("LineWidth", FLineWidth, 0.0f);
  TfsPolygonShape::SaveToXml(node);
}

void TfsLineShape::LoadFromXml(const TXmlNode *node) {
  TfsPolygonShape::LoadFromXml(node);
  {
    TOwnLoad scope(*this);
    if (const TXmlNode *arrow = node->FindChild("Arrow0"))
      FArrow0->LoadFromXml(*arrow);
    if (const TXmlNode *arrow = node->FindChild("Arrow1"))
      FArrow1->LoadFromXml(*arrow);
    // Without the element the ends keep their places in the loaded box.
    if (const TXmlNode *points = node->FindChild("Points")) {
      FEnds.clear();
      TXmlNodeList list;
      points->FindChildren("Point", list);
      for (const TXmlNode *p : list)
        AddEndPoint({p->LoadFloat("X", 0.0f), p->LoadFloat("Y", 0.0f)});
    }
    FLineWidth = node->LoadFloat("LineWidth", 0.0f);
  }
  MarkGeometryDirty();
  UpdateExtents();
  ClearCache();
}
