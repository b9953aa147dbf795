#include "shapes/fsPolygonShape.h"

#include "base/fsConvert.h"
#include "engine/fsProperties.h"
#include "persist/fsPlainXml.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace {

constexpr float HalfPi = std::numbers::pi_v<float> / 2;
// A huge shape drawn at a high resolution would ask for millions of points
// per quarter; beyond this many the arc is smooth to the eye anyway.
constexpr int MaxQuarterSteps = 1 << 16;

float CurbFor(float outlineWidth) {
  return std::max(outlineWidth / 2, 0.1f);
}

} // namespace

// The unit points of one quarter: (1, 0) first and (0, 1) last, exactly.
std::vector<TFloatPoint> QuarterUnitPoints(int n) {
  std::vector<TFloatPoint> q(static_cast<size_t>(n) + 1);
  for (int i = 0; i <= n; ++i) {
    const double t = double(i) / n * std::numbers::pi / 2;
    q[static_cast<size_t>(i)] = FloatPoint(float(std::cos(t)), float(std::sin(t)));
  }
  q.front() = FloatPoint(1, 0);
  q.back() = FloatPoint(0, 1);
  return q;
}

int QuarterArcSteps(float x) {
  const float a = x * std::numbers::pi_v<float> / 2;
  if (!(a > 0.5f)) // also NaN
    return 1;
  if (a < 3)
    return 2;
  if (a < 7)
    return 3;
  const float n = a < 100 ? std::ceil(a / 5) : std::ceil(a / 10);
  if (!(n < float(MaxQuarterSteps)))
    return MaxQuarterSteps;
  return static_cast<int>(n);
}

// ---- life ------------------------------------------------------------------------

TfsPolygonShape::TfsPolygonShape() : FFill(std::make_unique<TPolygon32>()) {
  FFill->SetSmoothed(true);
  FFill->SetFillRule(pfAlternate);
  SetBounds(0, 0, 40, 30);
  SetCurbAll(CurbFor(FOutlineWidth));
  FGeometryDirty = true;
}

TfsPolygonShape::~TfsPolygonShape() = default;

// ---- properties ----------------------------------------------------------------

void TfsPolygonShape::PropertyChanged() {
  EffectChanged();
}

void TfsPolygonShape::SetIsClosed(bool value) {
  if (value == FIsClosed)
    return;
  RecordBoolean(ckProperty, "IsClosed", FIsClosed);
  FIsClosed = value;
  FFill->SetClosedPath(value);
  FGeometryDirty = true;
  PropertyChanged();
}

void TfsPolygonShape::SetOutlineWidth(float value) {
  const bool changed = value != FOutlineWidth;
  if (changed) {
    InvalidateScreen();
    RecordFloat(ckProperty, "OutlineWidth", FOutlineWidth);
    FOutlineWidth = value;
    FGeometryDirty = true;
  }
  // The curb follows also an unchanged width (loading sets it this way).
  SetCurbAll(CurbFor(FOutlineWidth));
  if (changed)
    PropertyChanged();
}

void TfsPolygonShape::SetFillAlpha(int32_t value) {
  if (value == FFillAlpha)
    return;
  RecordInteger(ckProperty, "FillAlpha", FFillAlpha);
  FFillAlpha = value;
  PropertyChanged();
}

void TfsPolygonShape::SetFillColor(TColor value) {
  if (value == FFillColor)
    return;
  RecordInteger(ckProperty, "FillColor", FFillColor);
  FFillColor = value;
  PropertyChanged();
}

void TfsPolygonShape::SetOutlineColor(TColor value) {
  if (value == FOutlineColor)
    return;
  RecordInteger(ckProperty, "OutlineColor", FOutlineColor);
  FOutlineColor = value;
  PropertyChanged();
}

void TfsPolygonShape::SetUseFill(bool value) {
  if (value == FUseFill)
    return;
  RecordBoolean(ckProperty, "UseFill", FUseFill);
  FUseFill = value;
  PropertyChanged();
}

void TfsPolygonShape::SetUseOutline(bool value) {
  if (value == FUseOutline)
    return;
  InvalidateScreen();
  RecordBoolean(ckProperty, "UseOutline", FUseOutline);
  FUseOutline = value;
  FGeometryDirty = true;
  PropertyChanged();
}

void TfsPolygonShape::SetUseStipple(bool value) {
  if (value == FUseStipple)
    return;
  FUseStipple = value;
  PropertyChanged();
}

void TfsPolygonShape::SetStippleSize(float value) {
  if (value == FStippleSize)
    return;
  FStippleSize = value;
  PropertyChanged();
}

// ---- points ----------------------------------------------------------------------

TFloatRect TfsPolygonShape::PointsBounds() const {
  bool any = false;
  TFloatRect r{};
  for (const auto &contour : FPoints)
    for (const TFloatPoint &p : contour) {
      if (!any) {
        r = {p.X, p.Y, p.X, p.Y};
        any = true;
        continue;
      }
      r.Left = std::min(r.Left, p.X);
      r.Top = std::min(r.Top, p.Y);
      r.Right = std::max(r.Right, p.X);
      r.Bottom = std::max(r.Bottom, p.Y);
    }
  return r;
}

void TfsPolygonShape::FitPoints(const TFloatRect &rect) {
  const TFloatRect b = PointsBounds();
  OffsetPoints(-b.Left, -b.Top);
  const float bw = b.Right - b.Left, bh = b.Bottom - b.Top;
  const float rw = rect.Right - rect.Left, rh = rect.Bottom - rect.Top;
  if (bw > 0 && bh > 0 && rw > 0 && rh > 0)
    ScalePoints(rw / bw, rh / bh);
  OffsetPoints(rect.Left, rect.Top);
}

void TfsPolygonShape::OffsetPoints(float dx, float dy) {
  if (dx == 0 && dy == 0)
    return;
  for (auto &contour : FPoints)
    for (TFloatPoint &p : contour) {
      p.X += dx;
      p.Y += dy;
    }
  FGeometryDirty = true;
}

void TfsPolygonShape::ScalePoints(float sx, float sy) {
  for (auto &contour : FPoints)
    for (TFloatPoint &p : contour) {
      p.X *= sx;
      p.Y *= sy;
    }
  FGeometryDirty = true;
}

void TfsPolygonShape::AddPoint(const TFloatPoint &point) {
  if (FPoints.empty())
    FPoints.emplace_back();
  FPoints.back().push_back(point);
  FGeometryDirty = true;
}

void TfsPolygonShape::ClearPoints() {
  FPoints.assign(1, TFloatContour{});
  FGeometryDirty = true;
}

void TfsPolygonShape::NewContour() {
  FPoints.emplace_back();
  FGeometryDirty = true;
}

float TfsPolygonShape::DeviceScale() const {
  const float s = static_cast<float>(DeviceMatrix().m11);
  return s == 0 ? 1.0f : s;
}

void TfsPolygonShape::RebuildPolygons() {
  if (!FStorePoints && !FPointsLocked)
    BuildPoints();
  auto fill = std::make_unique<TPolygon32>();
  fill->SetSmoothed(true);
  fill->SetFillRule(pfAlternate);
  fill->SetClosedPath(FIsClosed);
  for (const auto &contour : FPoints) {
    for (const TFloatPoint &p : contour) {
      const TFloatPoint d = LocalToDevice(p);
      fill->AppendPoint(FixedPoint(Fixed(d.X), Fixed(d.Y)));
    }
    fill->StartContour();
  }
  FFill = std::move(fill);
  FOutline.reset();
  if (FUseOutline && FOutlineWidth > 0) {
    std::unique_ptr<TPolygon32> trace = FFill->TraceBothWays();
    trace->SetSmoothed(true);
    trace->SetFillRule(pfWinding);
    trace->SetClosedPath(FIsClosed);
    FOutline = trace->Inflate(Fixed(double(FOutlineWidth) * DeviceScale() * 0.5), 0.5f);
  }
  FGeometryDirty = false;
}

// ---- painting ---------------------------------------------------------------------

void TfsPolygonShape::Paint(TBitmap32 &bitmap, const TDeviceContext &) {
  if (FGeometryDirty)
    RebuildPolygons();
  if (FUseFill) {
    const uint32_t alpha = static_cast<uint32_t>(std::clamp(FFillAlpha, 0, 255));
    FFill->FillContours(bitmap, (ToColor32(FFillColor) & 0x00FFFFFFu) | alpha << 24);
  }
  if (FUseOutline) {
    const TColor32 color = ToColor32(FOutlineColor) | 0xFF000000u;
    if (FOutlineWidth != 0) {
      if (FOutline)
        FOutline->FillContours(bitmap, color);
    } else if (!FUseStipple) {
      FFill->StrokeEdges(bitmap, color);
    }
  }
  if (FUseStipple)
    DrawStipple(bitmap, DeviceScale());
}

void TfsPolygonShape::DrawStipple(TBitmap32 &bitmap, float scale) {
  bitmap.SetStipple({0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000, 0xFF000000,
                     0xFF000000, 0xFF000000});
  const float step = 8 / (scale * FStippleSize);
  bitmap.SetStippleStep(step);
  bitmap.SetStippleCounter(scale * (float(FStipplePhase) * step) / 10);
  for (const TArrayOfFixedPoint &c : FFill->Contours()) {
    if (c.empty())
      continue;
    if (c.size() == 1) {
      if (FIsClosed)
        bitmap.PutPixelSubpixelClipped(c[0].X, c[0].Y, ToColor32(FOutlineColor) | 0xFF000000u);
      continue;
    }
    for (size_t i = 1; i < c.size(); ++i)
      bitmap.DrawLineStippled(c[i - 1].X, c[i - 1].Y, c[i].X, c[i].Y);
    if (FIsClosed)
      bitmap.DrawLineStippled(c.back().X, c.back().Y, c[0].X, c[0].Y);
  }
}

// ---- TfsShape ------------------------------------------------------------------------

void TfsPolygonShape::SetDeviceMatrix(const TfsAffineTransform &matrix) {
  const TfsAffineTransform &m = DeviceMatrix();
  if (m.m11 != matrix.m11 || m.m12 != matrix.m12 || m.m21 != matrix.m21 || m.m22 != matrix.m22 ||
      m.m31 != matrix.m31 || m.m32 != matrix.m32)
    FGeometryDirty = true;
  TfsEffectShape::SetDeviceMatrix(matrix);
}

void TfsPolygonShape::SetDocSize(float width, float height) {
  const float oldWidth = DocWidth(), oldHeight = DocHeight();
  TfsEffectShape::SetDocSize(width, height);
  if (FPointsLocked || (width == oldWidth && height == oldHeight))
    return;
  if (!FStorePoints)
    BuildPoints();
  else if (oldWidth > 0 && oldHeight > 0 && width > 0 && height > 0)
    ScalePoints(width / oldWidth, height / oldHeight);
  FGeometryDirty = true;
  UpdateExtents();
}

void TfsPolygonShape::ExtendMargins(float &left, float &top, float &right, float &bottom) {
  if (!FStorePoints && !FPointsLocked)
    BuildPoints();
  TFloatRect b = PointsBounds();
  if (FUseOutline) {
    const float w = std::max(FOutlineWidth, 0.5f);
    b = {b.Left - w, b.Top - w, b.Right + w, b.Bottom + w};
  }
  left = std::max(-b.Left, left);
  top = std::max(-b.Top, top);
  right = std::max(b.Right - DocWidth(), right);
  bottom = std::max(b.Bottom - DocHeight(), bottom);
  TfsEffectShape::ExtendMargins(left, top, right, bottom);
}

void TfsPolygonShape::Clear() {
  ClearPoints();
  TfsEffectShape::Clear();
}

const TfsPropertyTable<TfsPolygonShape> &TfsPolygonShape::PropertyTable() {
  static const TfsPropertyTable<TfsPolygonShape> table = [] {
    using T = TfsPolygonShape;
    TfsPropertyTable<T> t;
    // Through the setter, so that the curb margins follow.
    t.Custom(
        "OutlineWidth",
        [](T &s, TXmlNode &n) { n.StoreFloat("OutlineWidth", s.FOutlineWidth, 0.0f); },
        [](T &s, const TXmlNode &n) { s.SetOutlineWidth(n.LoadFloat("OutlineWidth", 0.0f)); },
        [](T &s, const std::string &v) { s.SetOutlineWidth(fsPropertyText::ToFloat(v)); });
    t.Integer("FillAlpha", &T::FFillAlpha, 0, &T::SetFillAlpha);
    t.Color("FillColor", &T::FFillColor, 0, &T::SetFillColor);
    t.Color("OutlineColor", &T::FOutlineColor, 0, &T::SetOutlineColor);
    t.Boolean("UseFill", &T::FUseFill, false, &T::SetUseFill);
    t.Boolean("UseOutline", &T::FUseOutline, false, &T::SetUseOutline);
    t.Boolean("UseStipple", &T::FUseStipple, false, &T::SetUseStipple);
    t.Float("StippleSize", &T::FStippleSize, 2.0f);
    t.Boolean("IsClosed", &T::FIsClosed, true, &T::SetIsClosed);
    t.Boolean("StorePoints", &T::FStorePoints, false);
    return t;
  }();
  return table;
}

void TfsPolygonShape::SaveToXml(TXmlNode &node) {
  TfsEffectShape::SaveToXml(node);
  PropertyTable().Save(*this, node);
  SaveExtraKeys(node);
  for (int i = node.ChildCount() - 1; i >= 0; --i)
    if (node.Child(i)->ElementType() == xeElement && SameText(node.Child(i)->Name(), "Polygon"))
      node.DeleteChild(i);
  if (!FStorePoints)
    return;
  TXmlNode *polygon = node.NewChild("Polygon");
  for (const auto &contour : FPoints) {
    TXmlNode *line = polygon->NewChild("Line");
    for (const TFloatPoint &p : contour) {
      TXmlNode *point = line->NewChild("Point");
      point->StoreFloat("X", p.X, 0.0f);
      point->StoreFloat("Y", p.Y, 0.0f);
    }
  }
}

void TfsPolygonShape::LoadFromXml(const TXmlNode *node) {
  TfsEffectShape::LoadFromXml(node);
  {
    TOwnLoad scope(*this);
    PropertyTable().Load(*this, *node);
    LoadExtraKeys(*node);
    FFill->SetClosedPath(FIsClosed);
    if (FStorePoints) {
      ClearPoints();
      if (const TXmlNode *polygon = node->FindChild("Polygon")) {
        TXmlNodeList lines;
        polygon->FindChildren("Line", lines);
        for (size_t i = 0; i < lines.size(); ++i) {
          if (i > 0)
            NewContour();
          TXmlNodeList points;
          lines[i]->FindChildren("Point", points);
          for (const TXmlNode *p : points)
            AddPointXY(p->LoadFloat("X", 0.0f), p->LoadFloat("Y", 0.0f));
        }
      }
    } else {
      BuildPoints();
    }
  }
  FGeometryDirty = true;
  UpdateExtents();
  ClearCache();
}

void TfsPolygonShape::SetPropertyByName(const std::string &propName, const std::string &value) {
  PropertyTable().SetByName(*this, propName, value);
  TfsEffectShape::SetPropertyByName(propName, value);
}

std::vector<std::vector<TFloatPoint>> TfsPolygonShape::OutlineScreenContours() const {
  std::vector<std::vector<TFloatPoint>> out;
  for (const auto &contour : FPoints) {
    if (contour.empty())
      continue;
    auto &c = out.emplace_back();
    for (const TFloatPoint &p : contour) {
      const TFloatPoint q = LocalToScreen(p);
      c.push_back(FloatPoint(std::nearbyint(q.X), std::nearbyint(q.Y)));
    }
  }
  return out;
}

bool TfsPolygonShape::OutlineContains(const TFloatPoint &screenPoint) const {
  const double px = screenPoint.X, py = screenPoint.Y;
  bool inside = false;
  for (const auto &c : OutlineScreenContours())
    for (size_t i = 0, j = c.size() - 1; i < c.size(); j = i++) {
      const double ax = c[j].X, ay = c[j].Y, bx = c[i].X, by = c[i].Y;
      if ((ay > py) != (by > py) && px < ax + (py - ay) * (bx - ax) / (by - ay))
        inside = !inside;
    }
  return inside;
}

bool TfsPolygonShape::HitTest(const TPoint &screenPoint) {
  const TFloatPoint p{float(screenPoint.X), float(screenPoint.Y)};
  if (!Visible() || !RegionContains(GetScreenRegion(), p))
    return false;
  if (Cache())
    return PixelHitTest(screenPoint);
  if (!FStorePoints && !FPointsLocked)
    const_cast<TfsPolygonShape *>(this)->BuildPoints();
  return OutlineContains(p);
}

// ---- rectangle ------------------------------------------------------------------------

TfsRectangleShape::TfsRectangleShape() {
  BuildPoints();
  UpdateExtents();
}

void TfsRectangleShape::BuildPoints() {
  const float w = DocWidth(), h = DocHeight();
  TFloatContours &pts = MutablePoints();
  pts.assign(1,
             TFloatContour{FloatPoint(0, 0), FloatPoint(0, h), FloatPoint(w, h), FloatPoint(w, 0)});
  MarkGeometryDirty();
}

// ---- ellipse ----------------------------------------------------------------------------

TfsEllipseShape::TfsEllipseShape() {
  BuildPoints();
  UpdateExtents();
}

void TfsEllipseShape::BuildPoints() {
  const float w = DocWidth(), h = DocHeight();
  const float cx = w / 2, cy = h / 2, rx = w / 2, ry = h / 2;
  const int n = QuarterArcSteps(DeviceScale() * std::max(w, h) * 2 * std::numbers::pi_v<float>);
  const std::vector<TFloatPoint> q = QuarterUnitPoints(n);
  TFloatContour c;
  c.reserve(4 * static_cast<size_t>(n));
  auto at = [&](int i) { return q[static_cast<size_t>(i)]; };
  for (int i = 0; i < n; ++i)
    c.push_back(FloatPoint(cx + rx * at(i).X, cy + ry * at(i).Y));
  for (int j = 0; j < n; ++j)
    c.push_back(FloatPoint(cx - rx * at(n - j).X, cy + ry * at(n - j).Y));
  for (int j = 0; j < n; ++j)
    c.push_back(FloatPoint(cx - rx * at(j).X, cy - ry * at(j).Y));
  for (int k = 0; k < n; ++k)
    c.push_back(FloatPoint(cx + rx * at(n - k).X, cy - ry * at(n - k).Y));
  MutablePoints().assign(1, std::move(c));
  MarkGeometryDirty();
}

// ---- rounded rectangle ---------------------------------------------------------------------

TfsRoundRectShape::TfsRoundRectShape() {
  FCornerWidth = DocWidth() * 0.25f;
  FCornerHeight = DocHeight() * 0.25f;
  BuildPoints();
  UpdateExtents();
}

void TfsRoundRectShape::BuildPoints() {
  const float w = DocWidth(), h = DocHeight();
  float rx, ry;
  if (FCornerPercent) {
    rx = std::min(w / 2, w * FCornerWidth / 100);
    ry = std::min(h / 2, h * FCornerHeight / 100);
  } else {
    rx = std::min(w / 2, FCornerWidth);
    ry = std::min(h / 2, FCornerHeight);
  }
  const int n = QuarterArcSteps(DeviceScale() * std::max(rx, ry));
  const std::vector<TFloatPoint> q = QuarterUnitPoints(n);
  std::vector<TFloatPoint> d(q.size());
  for (size_t i = 0; i < q.size(); ++i)
    d[i] = FloatPoint(rx * (1 - q[i].X), ry * (1 - q[i].Y));
  TFloatContour c;
  c.reserve(4 * d.size());
  for (int i = 0; i <= n; ++i)
    c.push_back(d[static_cast<size_t>(i)]);
  for (int i = n; i >= 0; --i)
    c.push_back(FloatPoint(w - d[static_cast<size_t>(i)].X, d[static_cast<size_t>(i)].Y));
  for (int i = 0; i <= n; ++i)
    c.push_back(FloatPoint(w - d[static_cast<size_t>(i)].X, h - d[static_cast<size_t>(i)].Y));
  for (int i = n; i >= 0; --i)
    c.push_back(FloatPoint(d[static_cast<size_t>(i)].X, h - d[static_cast<size_t>(i)].Y));
  MutablePoints().assign(1, std::move(c));
  MarkGeometryDirty();
}

void TfsRoundRectShape::SetCornerWidth(float value) {
  if (value == FCornerWidth)
    return;
  RecordFloat(ckProperty, "CornerWidth", FCornerWidth);
  FCornerWidth = value;
  MarkGeometryDirty();
  PropertyChanged();
}

void TfsRoundRectShape::SetCornerHeight(float value) {
  if (value == FCornerHeight)
    return;
  RecordFloat(ckProperty, "CornerHeight", FCornerHeight);
  FCornerHeight = value;
  MarkGeometryDirty();
  PropertyChanged();
}

void TfsRoundRectShape::SetCornerPropertiesArePercentage(bool value) {
  if (value == FCornerPercent)
    return;
  FCornerPercent = value;
  MarkGeometryDirty();
  PropertyChanged();
}

void TfsRoundRectShape::SetPropertyByName(const std::string &propName, const std::string &value) {
  if (SameText(propName, "CornerWidth"))
    SetCornerWidth(fsPropertyText::ToFloat(value));
  if (SameText(propName, "CornerHeight"))
    SetCornerHeight(fsPropertyText::ToFloat(value));
  TfsPolygonShape::SetPropertyByName(propName, value);
}

void TfsRoundRectShape::SaveExtraKeys(TXmlNode &node) {
  node.StoreFloat("CornerWidth", FCornerWidth, 0.0f);
  node.StoreFloat("CornerHeight", FCornerHeight, 0.0f);
  node.StoreBool("CornerPropertiesArePercentage", FCornerPercent, false);
}

void TfsRoundRectShape::LoadExtraKeys(const TXmlNode &node) {
  FCornerWidth = node.LoadFloat("CornerWidth", 0.0f);
  FCornerHeight = node.LoadFloat("CornerHeight", 0.0f);
  FCornerPercent = node.LoadBool("CornerPropertiesArePercentage", false);
}
