#include "engine/fsShape.h"


#include "base/fsConvert.h"
#include "engine/fsPage.h"
#include "engine/fsProperties.h"
#include "engine/fsSnapshot.h"
#include "persist/fsPlainXml.h"
#include "persist/nvStorage.h"
#include "raster/fsSampler.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <numbers>

namespace {

constexpr const char *UnpairedEndUpdate = "EndUpdate called more often than BeginUpdate";
// The smallest box ConstrainSize lets through, mm.
constexpr float MinShapeSize = 0.1f;
// Caches are never laid out wider or higher than this many pixels a side;
// a larger size fails when the bitmap is made.
constexpr double MaxCacheSide = double(1 << 29);

// The document's undo group around a change made of several recorded steps,
// so that one undo takes back all of them. Closed on every path; an error
// from closing never hides the one already on its way.
class TUndoGroup {
public:
  explicit TUndoGroup(TfsShapeDocument *document)
      : FDocument(document), FErrors(std::uncaught_exceptions()) {
    if (FDocument)
      FDocument->BeginUndoGroup();
  }
  ~TUndoGroup() noexcept(false) {
    if (!FDocument)
      return;
    if (std::uncaught_exceptions() <= FErrors) {
      FDocument->EndUndoGroup();
      return;
    }
    try {
      FDocument->EndUndoGroup();
    } catch (...) {
    }
  }
  TUndoGroup(const TUndoGroup &) = delete;
  TUndoGroup &operator=(const TUndoGroup &) = delete;

private:
  TfsShapeDocument *FDocument;
  int FErrors;
};

struct TAnchorKey {
  TfsAnchor Flag;
  const char *Key;
};
constexpr TAnchorKey AnchorKeys[] = {
    {akDefault, "default"},     {akPosXProp, "PosXProp"},   {akPosYProp, "PosYProp"},
    {akSizeXProp, "SizeXProp"}, {akSizeYProp, "SizeYProp"}, {akLeftLock, "LeftLock"},
    {akTopLock, "TopLock"},     {akRightLock, "RightLock"}, {akBottomLock, "BottomLock"},
};

// Appends (x, y) -> (x c + y s, -x s + y c), the turn of LocalToParent, to
// the steps of m.
void AppendTurn(TfsAffineTransform &m, double c, double s) {
  auto step = [c, s](double &x, double &y) {
    const double nx = x * c + y * s;
    y = -x * s + y * c;
    x = nx;
  };
  step(m.m11, m.m12);
  step(m.m21, m.m22);
  step(m.m31, m.m32);
}

// Nearest integer, halves to even, kept inside the 32-bit range.
int32_t RoundToInt(double v) {
  if (!(v == v))
    return 0;
  v = std::clamp(v, double(std::numeric_limits<int32_t>::min()),
                 double(std::numeric_limits<int32_t>::max()));
  return static_cast<int32_t>(std::nearbyint(v));
}

// Pixels of a cache side: ceil(mm * dpm), bounded.
int32_t CachePixels(float mm, float dpm) {
  const double v = std::ceil(static_cast<double>(mm * dpm));
  if (!std::isfinite(v))
    return 0;
  return static_cast<int32_t>(std::clamp(v, -MaxCacheSide, MaxCacheSide));
}

bool Overlap(const TFloatRect &a, const TFloatRect &b) {
  return std::max(a.Left, b.Left) < std::min(a.Right, b.Right) &&
         std::max(a.Top, b.Top) < std::min(a.Bottom, b.Bottom);
}

} // namespace

// ---- life ---------------------------------------------------------------

TfsShape::TfsShape() = default;

TfsShape::~TfsShape() = default;

// ---- geometry -------------------------------------------------------------

void TfsShape::SetDocLeft(float value) {
  if (value != FDocLeft)
    SetBounds(value, FDocTop, FDocWidth, FDocHeight);
}

void TfsShape::SetDocTop(float value) {
  if (value != FDocTop)
    SetBounds(FDocLeft, value, FDocWidth, FDocHeight);
}

void TfsShape::SetDocWidth(float value) {
  if (value != FDocWidth)
    SetBounds(FDocLeft, FDocTop, value, FDocHeight);
}

void TfsShape::SetDocHeight(float value) {
  if (value != FDocHeight)
    SetBounds(FDocLeft, FDocTop, FDocWidth, value);
}

void TfsShape::SetGeometry(float left, float top, float width, float height, float angle) {
  if (left == FDocLeft && top == FDocTop && width == FDocWidth && height == FDocHeight &&
      angle == FDocAngle)
    return;
  Invalidate();
  const bool sizeChanged = width != FDocWidth || height != FDocHeight;
  if (FGrouped && sizeChanged)
    LayoutChildren(FDocWidth, FDocHeight, width, height);
  {
    TUndoGroup group(FDocument);
    if (left != FDocLeft || top != FDocTop)
      SetDocPosition(left, top);
    if (sizeChanged)
      SetDocSize(width, height);
    if (angle != FDocAngle)
      SetDocAngle(angle);
  }
  Invalidate();
  Changed();
  if (OnGeometryChange)
    OnGeometryChange(*this);
}

void TfsShape::LayoutChildren(float oldWidth, float oldHeight, float newWidth, float newHeight) {
  struct TRule {
    bool Prop, Size, NearLock, FarLock;
  };
  // One axis: old parent size s, new size s2, the child's position p and
  // size w along it.
  auto place = [](const TRule &rule, float s, float s2, float p, float w, float &p2, float &w2) {
    if (s == 0) {
      p2 = rule.Prop || rule.NearLock ? 0 : p;
      w2 = rule.Size || rule.FarLock ? s2 : w;
      return;
    }
    const float r = s2 / s;
    w2 = rule.Size ? w * r : w;
    if (rule.Prop)
      p2 = (p + w / 2) * r - w2 / 2;
    else if (rule.NearLock)
      p2 = p;
    else
      p2 = p + w - w2; // the far edge keeps its coordinate
  };
  for (size_t i = 0; i < FShapes.size(); ++i) {
    TfsShape &child = *FShapes[i];
    const TfsAnchors a = child.Anchors();
    auto rule = [&](TfsAnchors prop, TfsAnchors size, TfsAnchors nearLock, TfsAnchors farLock) {
      if (a & akDefault)
        return TRule{true, FAllowResize, false, false};
      return TRule{(a & prop) != 0, (a & size) != 0, (a & nearLock) != 0, (a & farLock) != 0};
    };
    float x, y, w, h;
    place(rule(akPosXProp, akSizeXProp, akLeftLock, akRightLock), oldWidth, newWidth,
          child.DocLeft(), child.DocWidth(), x, w);
    place(rule(akPosYProp, akSizeYProp, akTopLock, akBottomLock), oldHeight, newHeight,
          child.DocTop(), child.DocHeight(), y, h);
    try {
      child.SetBounds(x, y, w, h);
    } catch (const std::exception &) {
      // A child that cannot follow keeps its place; the group still resizes.
    }
  }
}

void TfsShape::SetBounds(float left, float top, float width, float height) {
  SetGeometry(left, top, width, height, FDocAngle);
}

void TfsShape::SetBoundsConstrained(float left, float top, float width, float height) {
  ConstrainSize(width, height);
  ConstrainPosition(left, top, width, height);
  SetBounds(left, top, width, height);
}

void TfsShape::SetBoundsFromRect(const TFloatRect &rect) {
  SetBoundsConstrained(std::min(rect.Left, rect.Right), std::min(rect.Top, rect.Bottom),
                       std::fabs(rect.Right - rect.Left), std::fabs(rect.Bottom - rect.Top));
}

void TfsShape::ApplyConstraints() {
  float w = FDocWidth, h = FDocHeight;
  ConstrainSize(w, h);
  SetBounds(FDocLeft, FDocTop, w, h);
}

void TfsShape::Inflate(float dx, float dy) {
  SetBounds(FDocLeft - dx, FDocTop - dy, FDocWidth + 2 * dx, FDocHeight + 2 * dy);
}

void TfsShape::SetDocAngle(float angle) {
  // Compared before normalising: 360 on a shape at 0 is still a change.
  if (angle == FDocAngle)
    return;
  RecordFloat(ckProperty, "DocAngle", FDocAngle);
  Invalidate();
  const double a = static_cast<double>(angle);
  float stored = static_cast<float>(a - std::floor(a / 360.0) * 360.0);
  // A tiny negative angle lands on 360 in single precision; it is 0.
  if (!(stored >= 0 && stored < 360))
    stored = 0;
  StoreAngle(stored);
  MarkAncestorsStale();
  Invalidate();
  Changed();
}

void TfsShape::StoreAngle(float angle) {
  FDocAngle = angle;
  double c, s;
  CosSinDegrees(angle, c, s);
  FCos = static_cast<float>(c);
  FSin = static_cast<float>(s);
}

void TfsShape::SetDocPosition(float left, float top) {
  TUndoGroup group(FDocument);
  if (left != FDocLeft)
    RecordFloat(ckProperty, "DocLeft", FDocLeft);
  if (top != FDocTop)
    RecordFloat(ckProperty, "DocTop", FDocTop);
  FDocLeft = left;
  FDocTop = top;
}

void TfsShape::SetDocSize(float width, float height) {
  TUndoGroup group(FDocument);
  if (width != FDocWidth)
    RecordFloat(ckProperty, "DocWidth", FDocWidth);
  if (height != FDocHeight)
    RecordFloat(ckProperty, "DocHeight", FDocHeight);
  if (width != FDocWidth || height != FDocHeight) {
    FDocWidth = width;
    FDocHeight = height;
    MarkStale();
  }
}

bool TfsShape::ConstrainSize(float &width, float &height) {
  if (!FAllowResize) {
    width = FDocWidth;
    height = FDocHeight;
    return false;
  }
  const TFloatSizeConstraint &c = FConstraints;
  if (c.MinWidth > 0)
    width = std::max(c.MinWidth, width);
  if (c.MaxWidth > 0)
    width = std::min(c.MaxWidth, width);
  if (c.MinHeight > 0)
    height = std::max(c.MinHeight, height);
  if (c.MaxHeight > 0)
    height = std::min(c.MaxHeight, height);
  width = std::max(MinShapeSize, width);
  height = std::max(MinShapeSize, height);
  // A ratio of 0 (never locked, or locked on a shape without height) keeps
  // nothing.
  if (FPreserveAspect && FAspectRatio > 0) {
    if (width / height > FAspectRatio)
      width = height * FAspectRatio;
    else
      height = width / FAspectRatio;
    if (width < c.MinWidth) {
      width = c.MinWidth;
      height = c.MinWidth / FAspectRatio;
    }
    if (height < c.MinHeight) {
      height = c.MinHeight;
      width = c.MinHeight * FAspectRatio;
    }
  }
  return true;
}

bool TfsShape::ConstrainPosition(float &left, float &top, float width, float height) {
  // A resize that moves an edge still moves an immovable shape.
  if (!FAllowMove && width == FDocWidth && height == FDocHeight) {
    left = FDocLeft;
    top = FDocTop;
  }
  return FAllowMove;
}

void TfsShape::RotateAboutCentre(float angle) {
  if (angle == FDocAngle)
    return;
  const double w = FDocWidth / 2.0, h = FDocHeight / 2.0;
  const double c0 = FCos, s0 = FSin;
  double c1, s1;
  CosSinDegrees(angle, c1, s1);
  const double left = FDocLeft + (w * c0 + h * s0) - (w * c1 + h * s1);
  const double top = FDocTop + (-w * s0 + h * c0) - (-w * s1 + h * c1);
  SetGeometry(static_cast<float>(left), static_cast<float>(top), FDocWidth, FDocHeight, angle);
}

void TfsShape::CenterAt(float x, float y) {
  const TFloatRect b = GetParentBounds(false);
  SetBounds(FDocLeft + (x - (b.Left + b.Right) / 2), FDocTop + (y - (b.Top + b.Bottom) / 2),
            FDocWidth, FDocHeight);
}

void TfsShape::MoveBoundsLeftTo(float x) {
  SetBounds(FDocLeft + (x - GetParentBounds(false).Left), FDocTop, FDocWidth, FDocHeight);
}

void TfsShape::MoveBoundsTopTo(float y) {
  SetBounds(FDocLeft, FDocTop + (y - GetParentBounds(false).Top), FDocWidth, FDocHeight);
}

void TfsShape::MoveBoundsRightTo(float x) {
  SetBounds(FDocLeft + (x - GetParentBounds(false).Right), FDocTop, FDocWidth, FDocHeight);
}

void TfsShape::MoveBoundsBottomTo(float y) {
  SetBounds(FDocLeft, FDocTop + (y - GetParentBounds(false).Bottom), FDocWidth, FDocHeight);
}

void TfsShape::SetFlipped(bool value) {
  if (value == FFlipped)
    return;
  FFlipped = value;
  // Upside down, the turn becomes its mirror image about the centre.
  RotateAboutCentre(-FDocAngle);
  Refresh();
  Changed();
}

void TfsShape::SetMirrored(bool value) {
  if (value == FMirrored)
    return;
  FMirrored = value;
  RotateAboutCentre(-FDocAngle);
  Refresh();
  Changed();
}

void TfsShape::SetCurb(float left, float top, float right, float bottom) {
  if (left == FCurb[0] && top == FCurb[1] && right == FCurb[2] && bottom == FCurb[3])
    return;
  FCurb = {left, top, right, bottom};
  UpdateExtents();
  FCacheDpm = 0;
}

void TfsShape::SetCurbAll(float value) {
  SetCurb(value, value, value, value);
}

void TfsShape::UpdateExtents() {
  float l = FCurb[0], t = FCurb[1], r = FCurb[2], b = FCurb[3];
  ExtendMargins(l, t, r, b);
  if (FGrouped) {
    float cl = 0, ct = 0, cr = 0, cb = 0;
    for (const auto &child : FShapes)
      child->ExtendMargins(cl, ct, cr, cb);
    const float m = std::max({cl, ct, cr, cb});
    l = std::max(l, m);
    t = std::max(t, m);
    r = std::max(r, m);
    b = std::max(b, m);
  }
  FExtent = {l, t, r, b};
}

void TfsShape::ExtendMargins(float &left, float &top, float &right, float &bottom) {
  // A mirrored drawing keeps its margins on the side they moved to.
  if (FMirrored)
    left = right = std::max(left, right);
  if (FFlipped)
    top = bottom = std::max(top, bottom);
}

void TfsShape::SetPreserveAspect(bool value) {
  if (value)
    LockAspect();
  else
    FPreserveAspect = false;
}

void TfsShape::LockAspect() {
  FPreserveAspect = true;
  FAspectRatio = FDocHeight != 0 ? FDocWidth / FDocHeight : 0;
}

void TfsShape::FitToChildren() {
  if (FShapes.empty())
    return;
  const float gx = FDocLeft, gy = FDocTop;
  TFloatRect b;
  GetChildrenBounds(b);
  for (int i = 0; i < ShapeCount(); ++i) {
    TfsShape &child = *FShapes[static_cast<size_t>(i)];
    child.SetBounds(child.DocLeft() + gx - b.Left, child.DocTop() + gy - b.Top, child.DocWidth(),
                    child.DocHeight());
  }
  {
    // The children already sit where they belong: the box must not move
    // them again by their anchors.
    struct TGroupedAfterwards {
      TfsShape &Shape;
      ~TGroupedAfterwards() { Shape.FGrouped = true; }
    } restore{*this};
    FGrouped = false;
    SetBoundsConstrained(b.Left, b.Top, b.Right - b.Left, b.Bottom - b.Top);
  }
  UpdateExtents();
  for (const auto &child : FShapes)
    if (child->PreserveAspect()) {
      LockAspect();
      break;
    }
  for (int i = 0; i < ShapeCount(); ++i) {
    FShapes[static_cast<size_t>(i)]->SetSelected(false);
    FShapes[static_cast<size_t>(i)]->SetAllowSelect(false);
  }
}

void TfsShape::GetChildrenBounds(TFloatRect &rect) const {
  rect = {};
  bool first = true;
  for (const auto &child : FShapes) {
    const TFloatRect b = child->GetParentBounds(false);
    if (first) {
      rect = b;
      first = false;
      continue;
    }
    rect.Left = std::min(rect.Left, b.Left);
    rect.Top = std::min(rect.Top, b.Top);
    rect.Right = std::max(rect.Right, b.Right);
    rect.Bottom = std::max(rect.Bottom, b.Bottom);
  }
}

TFloatRect TfsShape::GetParentBounds(bool withExtents) const {
  const float l = withExtents ? -FExtent[0] : 0;
  const float t = withExtents ? -FExtent[1] : 0;
  const float r = FDocWidth + (withExtents ? FExtent[2] : 0);
  const float b = FDocHeight + (withExtents ? FExtent[3] : 0);
  const TFloatPoint corners[4] = {LocalToParent({l, t}), LocalToParent({l, b}),
                                  LocalToParent({r, b}), LocalToParent({r, t})};
  TFloatRect out{corners[0].X, corners[0].Y, corners[0].X, corners[0].Y};
  for (const TFloatPoint &p : corners) {
    out.Left = std::min(out.Left, p.X);
    out.Top = std::min(out.Top, p.Y);
    out.Right = std::max(out.Right, p.X);
    out.Bottom = std::max(out.Bottom, p.Y);
  }
  return out;
}

// ---- frames ---------------------------------------------------------------

TFloatPoint TfsShape::LocalToParent(const TFloatPoint &p) const {
  const double x = p.X, y = p.Y, c = FCos, s = FSin;
  return {static_cast<float>(FDocLeft + x * c + y * s),
          static_cast<float>(FDocTop - x * s + y * c)};
}

TFloatPoint TfsShape::ParentToLocal(const TFloatPoint &p) const {
  const double x = double(p.X) - FDocLeft, y = double(p.Y) - FDocTop, c = FCos, s = FSin;
  return {static_cast<float>(x * c - y * s), static_cast<float>(x * s + y * c)};
}

TFloatPoint TfsShape::LocalToPage(const TFloatPoint &p) const {
  const TFloatPoint q = LocalToParent(p);
  return FParent ? FParent->LocalToPage(q) : q;
}

TFloatPoint TfsShape::PageToLocal(const TFloatPoint &p) const {
  return ParentToLocal(FParent ? FParent->PageToLocal(p) : p);
}

TFloatPoint TfsShape::LocalToScreen(const TFloatPoint &p) const {
  const TfsViewMapping m = FDocument ? FDocument->ViewMapping() : TfsViewMapping{};
  const TFloatPoint q = LocalToPage(p);
  return {(q.X - m.WindowLeft) * m.Scale, (q.Y - m.WindowTop) * m.Scale};
}

TFloatPoint TfsShape::ScreenToLocal(const TFloatPoint &p) const {
  const TfsViewMapping m = FDocument ? FDocument->ViewMapping() : TfsViewMapping{};
  return PageToLocal({p.X / m.Scale + m.WindowLeft, p.Y / m.Scale + m.WindowTop});
}

TFloatPoint TfsShape::LocalToDevice(const TFloatPoint &p) const {
  TFloatPoint out;
  FDeviceMatrix.TransformPoint(p, out);
  return out;
}

int32_t TfsShape::DeviceX(float x) const {
  return RoundToInt(FDeviceMatrix.m11 * x + FDeviceMatrix.m31);
}

int32_t TfsShape::DeviceY(float y) const {
  return RoundToInt(FDeviceMatrix.m22 * y + FDeviceMatrix.m32);
}

void TfsShape::SetDeviceMatrix(const TfsAffineTransform &matrix) {
  FDeviceMatrix.Assign(matrix);
}

void TfsShape::SnapPoint(TFloatPoint &point) {
  if (!FParent)
    return;
  TFloatPoint q = LocalToParent(point);
  FParent->SnapPoint(q);
  point = ParentToLocal(q);
}

// ---- screen geometry and hit testing ----------------------------------------

TRect TfsShape::GetScreenRect() const {
  const float l = -FExtent[0], t = -FExtent[1];
  const float r = FDocWidth + FExtent[2], b = FDocHeight + FExtent[3];
  const TFloatPoint corners[4] = {LocalToScreen({l, t}), LocalToScreen({l, b}),
                                  LocalToScreen({r, b}), LocalToScreen({r, t})};
  double minX = corners[0].X, maxX = minX, minY = corners[0].Y, maxY = minY;
  for (const TFloatPoint &p : corners) {
    minX = std::min<double>(minX, p.X);
    maxX = std::max<double>(maxX, p.X);
    minY = std::min<double>(minY, p.Y);
    maxY = std::max<double>(maxY, p.Y);
  }
  return {RoundToInt(minX - 0.5), RoundToInt(minY - 0.5), RoundToInt(maxX + 0.5),
          RoundToInt(maxY + 0.5)};
}

TfsShape::TScreenRegion TfsShape::GetScreenRegion() const {
  const float l = -FExtent[0], t = -FExtent[1];
  const float r = FDocWidth + FExtent[2], b = FDocHeight + FExtent[3];
  return {LocalToScreen({l, t}), LocalToScreen({l, b}), LocalToScreen({r, b}),
          LocalToScreen({r, t})};
}

TfsShape::TScreenRegion TfsShape::GetOutlineRegion() const {
  return {LocalToScreen({0, 0}), LocalToScreen({0, FDocHeight}),
          LocalToScreen({FDocWidth, FDocHeight}), LocalToScreen({FDocWidth, 0})};
}

TRect TfsShape::GetInvalidRect() {
  TRect r = GetScreenRect();
  if (!FAllowSelect)
    return r;
  for (const TRect &h : HandleScreenRects()) {
    if (IsRectEmpty(h))
      continue;
    r.Left = std::min(r.Left, h.Left);
    r.Top = std::min(r.Top, h.Top);
    r.Right = std::max(r.Right, h.Right);
    r.Bottom = std::max(r.Bottom, h.Bottom);
  }
  return r;
}

bool TfsShape::RegionContains(const TScreenRegion &region, const TFloatPoint &point) {
  const double px = point.X, py = point.Y;
  bool inside = false;
  for (size_t i = 0, j = region.size() - 1; i < region.size(); j = i++) {
    const double ax = region[j].X, ay = region[j].Y, bx = region[i].X, by = region[i].Y;
    // On the edge counts as inside.
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    const double u = len2 > 0 ? std::clamp(((px - ax) * dx + (py - ay) * dy) / len2, 0.0, 1.0) : 0;
    const double ex = ax + u * dx - px, ey = ay + u * dy - py;
    if (ex * ex + ey * ey <= 1e-8)
      return true;
    if ((ay > py) != (by > py) && px < ax + (py - ay) * dx / dy)
      inside = !inside;
  }
  return inside;
}

bool TfsShape::HitTest(const TPoint &screenPoint) {
  const TFloatPoint p{float(screenPoint.X), float(screenPoint.Y)};
  if (!FVisible || !RegionContains(GetScreenRegion(), p))
    return false;
  if (FCache)
    return PixelHitTest(screenPoint);
  if (!FDocument)
    return false;
  const TScreenRegion outline = GetOutlineRegion();
  // A thin shape is still hit a few pixels beside its outline.
  for (const TPoint &o : FDocument->HitOffsets())
    if (RegionContains(outline, {p.X + float(o.X), p.Y + float(o.Y)}))
      return true;
  return false;
}

bool TfsShape::PixelHitTest(const TPoint &screenPoint) {
  if (!FCache || FCache->IsBlank())
    return true;
  const TFloatPoint q = ScreenToLocal({float(screenPoint.X), float(screenPoint.Y)});
  const double x = std::ceil(double(FExtent[0]) * FCacheDpm) + double(q.X) * FCacheDpm;
  const double y = std::ceil(double(FExtent[1]) * FCacheDpm) + double(q.Y) * FCacheDpm;
  if (!(x >= 0 && y >= 0 && x < FCache->Width() && y < FCache->Height()))
    return true;
  const uint32_t threshold = static_cast<uint32_t>(std::clamp(FMasterAlpha, 0, 255)) * 50 / 255;
  static const std::vector<TPoint> origin{{0, 0}};
  const std::vector<TPoint> &offsets = FDocument ? FDocument->HitOffsets() : origin;
  const int32_t px = static_cast<int32_t>(x), py = static_cast<int32_t>(y);
  for (const TPoint &o : offsets) {
    const int32_t cx = px + o.X, cy = py + o.Y;
    if (cx < 0 || cy < 0 || cx >= FCache->Width() || cy >= FCache->Height())
      continue;
    if ((FCache->GetPixel(cx, cy) >> 24) > threshold)
      return true;
  }
  return false;
}

TfsShape *TfsShape::ShapeAtPoint(const TPoint &screenPoint) {
  if (!FVisible || !RegionContains(GetScreenRegion(), {float(screenPoint.X), float(screenPoint.Y)}))
    return nullptr;
  bool asked = false;
  for (int i = ShapeCount() - 1; i >= 0; --i) {
    TfsShape &child = *FShapes[static_cast<size_t>(i)];
    if (!child.Visible())
      continue;
    asked = true;
    if (TfsShape *found = child.ShapeAtPoint(screenPoint))
      return found;
  }
  // Inside a group but on none of its children is on nothing.
  if (asked)
    return nullptr;
  if (FCache && !PixelHitTest(screenPoint))
    return nullptr;
  return this;
}

// ---- children ---------------------------------------------------------------

TfsShape *TfsShape::GetShape(int index) const {
  if (index < 0 || index >= ShapeCount())
    return nullptr;
  return FShapes[static_cast<size_t>(index)].get();
}

int TfsShape::IndexOfShape(const TfsShape *shape) const {
  for (size_t i = 0; i < FShapes.size(); ++i)
    if (FShapes[i].get() == shape)
      return static_cast<int>(i);
  return -1;
}

void TfsShape::Attach(TfsShape &child) {
  // The parent first, so that the repaint the document asks for on
  // attaching is where the child will be shown.
  child.SetParent(this);
  child.SetDocument(FDocument);
  child.Invalidate();
  Changed();
}

int TfsShape::AddShape(std::unique_ptr<TfsShape> shape) {
  if (!shape)
    return -1;
  const int index = ShapeCount();
  RecordInteger(ckChildInserted, "", index);
  TfsShape &child = *shape;
  FShapes.push_back(std::move(shape));
  Attach(child);
  return index;
}

void TfsShape::InsertShape(int index, std::unique_ptr<TfsShape> shape) {
  if (!shape)
    return;
  index = std::clamp(index, 0, ShapeCount());
  RecordInteger(ckChildInserted, "", index);
  TfsShape &child = *shape;
  FShapes.insert(FShapes.begin() + index, std::move(shape));
  Attach(child);
}

void TfsShape::DeleteTemporaryEntries(const TfsShape &child) {
  TnvStorage *archive = FDocument ? FDocument->Storage() : nullptr;
  if (!archive)
    return;
  std::vector<std::string> names;
  child.GetResourceNames(names);
  for (const std::string &name : names)
    if (TnvStorage::IsTempStreamName(name))
      archive->DeleteStream(name);
}

void TfsShape::DeleteShape(int index) {
  if (index < 0 || index >= ShapeCount())
    return;
  TfsShape *child = FShapes[static_cast<size_t>(index)].get();
  RecordRemoval(ckChildRemoved, child);
  child->Invalidate();
  // Entries made for this shape alone go with it; those named after files
  // may be shared and stay.
  DeleteTemporaryEntries(*child);
  child->SetSelected(false);
  if (FDocument)
    FDocument->ShapeDestroying(*child);
  child->SetParent(nullptr);
  child->SetDocument(nullptr);
  FShapes.erase(FShapes.begin() + IndexOfShape(child));
  Changed();
}

std::unique_ptr<TfsShape> TfsShape::ExtractShape(TfsShape *shape) {
  if (IndexOfShape(shape) < 0)
    return nullptr;
  RecordRemoval(ckChildRemoved, shape);
  shape->Invalidate();
  shape->SetSelected(false);
  shape->SetParent(nullptr);
  shape->SetDocument(nullptr);
  const int index = IndexOfShape(shape);
  std::unique_ptr<TfsShape> out = std::move(FShapes[static_cast<size_t>(index)]);
  FShapes.erase(FShapes.begin() + index);
  Changed();
  return out;
}

int TfsShape::RemoveShape(TfsShape *shape) {
  const int index = IndexOfShape(shape);
  DeleteShape(index);
  return index;
}

void TfsShape::ClearShapes() {
  while (ShapeCount() > 0)
    DeleteShape(0);
}

void TfsShape::Clear() {
  TUpdateScope<TfsShape> bracket(*this);
  // Internal children at the bottom (placeholder parts) belong to the shape.
  for (int i = ShapeCount() - 1; i >= 0; --i) {
    if (FShapes[static_cast<size_t>(i)]->IsInternal())
      break;
    DeleteShape(i);
  }
}

void TfsShape::ExchangeShapes(int i, int j) {
  if (i == j || !GetShape(i) || !GetShape(j))
    return;
  std::swap(FShapes[static_cast<size_t>(i)], FShapes[static_cast<size_t>(j)]);
  FShapes[static_cast<size_t>(i)]->Invalidate();
  FShapes[static_cast<size_t>(j)]->Invalidate();
  Changed();
}

void TfsShape::SetParent(TfsShape *parent) {
  if (parent == FParent)
    return;
  FParent = parent;
  Invalidate();
}

// ---- document -----------------------------------------------------------------

void TfsShape::SetDocument(TfsShapeDocument *document) {
  if (document == FDocument)
    return;
  FDocument = document;
  // Every attachment takes a new number, so that commands filed for an
  // earlier life of the shape cannot reach it by mistake.
  if (document)
    FID = document->NewShapeID();
  Invalidate();
  for (const auto &child : FShapes)
    child->SetDocument(document);
}

// ---- flags and names ------------------------------------------------------------

void TfsShape::SetAllowSelect(bool value) {
  if (value == FAllowSelect)
    return;
  InvalidateScreen();
  FAllowSelect = value;
  InvalidateScreen(); // with or without handles
}

void TfsShape::SetAnchors(TfsAnchors value) {
  if (value == FAnchors)
    return;
  FAnchors = value;
  Changed();
}

void TfsShape::SetGrouped(bool value) {
  if (value == FGrouped)
    return;
  FGrouped = value;
  MarkStale();
  UpdateExtents();
  Invalidate();
}

void TfsShape::SetName(const std::string &value) {
  if (value == FName)
    return;
  FName = value;
  Changed();
}

void TfsShape::SetVisible(bool value) {
  if (value == FVisible)
    return;
  if (!value)
    SetSelected(false);
  FVisible = value;
  Invalidate();
  Changed();
}

void TfsShape::SetSelected(bool value) {
  if ((value && !FAllowSelect) || value == FSelected)
    return;
  FSelected = value;
  if (FDocument)
    FDocument->SelectionChanged(*this);
  InvalidateScreen();
}

void TfsShape::SetMasterAlpha(int32_t value) {
  value = std::clamp(value, 0, 255);
  if (value == FMasterAlpha)
    return;
  RecordFloat(ckProperty, "MasterAlpha", static_cast<float>(FMasterAlpha));
  FMasterAlpha = value;
  Invalidate();
  Changed();
}

void TfsShape::SetShowHint(bool value) {
  if (value == FShowHint)
    return;
  FShowHint = value;
  FParentShowHint = false;
}

bool TfsShape::EffectiveShowHint() const {
  return FParentShowHint && FDocument ? FDocument->ShowHints() : FShowHint;
}

std::string TfsShape::EffectiveHint() const {
  return FHint.empty() ? GetDisplayName() : FHint;
}

// ---- change notification ------------------------------------------------------

void TfsShape::BeginUpdate() {
  FUpdate.Begin();
}

void TfsShape::EndUpdate() {
  if (FUpdate.End(UnpairedEndUpdate))
    Changed();
}

void TfsShape::Changed() {
  if (FDocument && FDocument->IsLoading())
    return;
  SetModified(true);
  if (FUpdate.Hold())
    return;
  if (OnChange)
    OnChange(*this);
  if (FDocument)
    FDocument->ShapeChanged(*this);
}

void TfsShape::SetModified(bool value) {
  if (value != FModified) {
    FModified = value;
    if (!value)
      for (const auto &child : FShapes)
        child->SetModified(false);
  }
  if (value) {
    if (FParent)
      FParent->SetModified(true);
    if (FDocument)
      FDocument->SetDocumentModified();
  }
}

void TfsShape::Invalidate() {
  if (FDocument)
    FDocument->InvalidateScreen(GetInvalidRect());
  // Their caches hold this shape's old look.
  MarkAncestorsStale();
}

void TfsShape::InvalidateScreen() {
  if (FDocument)
    FDocument->InvalidateScreen(GetInvalidRect());
}

void TfsShape::Refresh() {
  MarkStale();
  for (int i = 0; i < ShapeCount(); ++i)
    FShapes[static_cast<size_t>(i)]->Refresh();
  UpdateExtents();
  Invalidate();
}

void TfsShape::MarkStale() {
  FCacheDpm = 0;
  MarkAncestorsStale();
}

void TfsShape::MarkAncestorsStale() {
  for (TfsShape *p = FParent; p; p = p->FParent)
    p->FCacheDpm = 0;
}

void TfsShape::ClearCache() {
  FCache.reset();
  FCacheDpm = 0;
}

void TfsShape::ClearCacheAll() {
  ClearCache();
  for (const auto &child : FShapes)
    child->ClearCacheAll();
}

// ---- rendering ------------------------------------------------------------------

bool TfsShape::NeedsCache() const {
  return FForceCache || FDocAngle != 0 || FMasterAlpha != 255 || NeedsPostProcess();
}

bool TfsShape::NeedsPostProcess() const {
  return FMirrored || FFlipped;
}

void TfsShape::Paint(TBitmap32 &, const TDeviceContext &) {}

void TfsShape::PostProcess(TBitmap32 &bitmap, const TDeviceContext &) {
  if (FMirrored)
    MirrorHorizontal(bitmap);
  if (FFlipped)
    MirrorVertical(bitmap);
}

void TfsShape::PaintOverlay(TBitmap32 &, const TDeviceContext &) {}

void TfsShape::AfterPaint(TBitmap32 &, const TFloatRect &) {}

void TfsShape::FillSilhouette(TBitmap32 &bitmap, TColor32 color) {
  if (bitmap.IsBlank())
    return;
  TColor32 *p = bitmap.Bits();
  for (size_t i = 0, n = bitmap.PixelCount(); i < n; ++i)
    p[i] = (p[i] >> 24) == 0 ? (color | 0xFF000000u) : color;
  bitmap.Changed();
}

void TfsShape::RenderShape(TfsShape &shape, TBitmap32 &target, const TFloatRect &rect,
                           const TDeviceContext &context, bool isLocal) {
  // An empty area shows nothing (and would give no scale).
  if (target.IsBlank() || !(rect.Right > rect.Left) || !(rect.Bottom > rect.Top))
    return;
  const TFloatRect box =
      isLocal ? TFloatRect{-shape.FExtent[0], -shape.FExtent[1], shape.FDocWidth + shape.FExtent[2],
                           shape.FDocHeight + shape.FExtent[3]}
              : shape.GetParentBounds(true);
  if (!Overlap(box, rect))
    return;
  if (shape.NeedsCache()) {
    shape.CachedDraw(target, rect, context, isLocal);
    return;
  }
  shape.ClearCache();
  TFloatRect local = rect;
  if (!isLocal) {
    // Unturned here, so this is a translation.
    const TFloatPoint a = shape.ParentToLocal({rect.Left, rect.Top});
    const TFloatPoint b = shape.ParentToLocal({rect.Right, rect.Bottom});
    local = {a.X, a.Y, b.X, b.Y};
  }
  shape.DirectDraw(target, local, context);
  if (context.DeviceType == dtScreen)
    shape.AfterPaint(target, local);
}

void TfsShape::DirectDraw(TBitmap32 &target, const TFloatRect &rect,
                          const TDeviceContext &context) {
  if (target.IsBlank() || !(rect.Right > rect.Left) || !(rect.Bottom > rect.Top))
    return;
  target.SetCombineMode(cmMerge);
  target.SetDrawMode(dmBlend);
  target.SetStretchFilter(context.StretchFilter);
  TfsAffineTransform m;
  m.Translate(-rect.Left, -rect.Top);
  m.Scale(target.Width() / (double(rect.Right) - rect.Left),
          target.Height() / (double(rect.Bottom) - rect.Top));
  SetDeviceMatrix(m);
  Paint(target, context);
  for (int i = 0; i < ShapeCount(); ++i) {
    TfsShape &child = *FShapes[static_cast<size_t>(i)];
    if (child.Visible())
      RenderShape(child, target, rect, context, false);
  }
  PaintOverlay(target, context);
}

void TfsShape::CachedDraw(TBitmap32 &target, const TFloatRect &rect, const TDeviceContext &context,
                          bool isLocal) {
  const bool current = FCache && FCacheDpm > 0 && context.CacheDpm <= FCacheDpm &&
                       !(context.ExactDpm && context.CacheDpm < FCacheDpm);
  if (!current) {
    if (!(context.CacheDpm > 0))
      return;
    if (FDocument)
      FDocument->ShowBusy();
    const float d = FCacheDpm = context.CacheDpm;
    const int32_t l = CachePixels(FExtent[0], d), t = CachePixels(FExtent[1], d);
    const int32_t r = CachePixels(FDocWidth + FExtent[2], d);
    const int32_t b = CachePixels(FDocHeight + FExtent[3], d);
    const TFloatRect c{-l / d, -t / d, r / d, b / d};
    if (!FCache)
      FCache = std::make_unique<TBitmap32>();
    FCache->SetSize(l + r, t + b);
    FCache->Clear(context.BackColor);
    FCache->SetOuterColor(context.BackColor);
    FCache->SetCombineMode(cmMerge);
    FCache->SetDrawMode(dmBlend);
    FCache->SetStretchFilter(context.StretchFilter);
    TDeviceContext copy = context;
    copy.DestDpm = d;
    DirectDraw(*FCache, c, copy);
    PostProcess(*FCache, copy);
    if (context.DeviceType == dtScreen)
      AfterPaint(*FCache, c);
  }
  FCache->SetMasterAlpha(static_cast<uint32_t>(std::clamp(FMasterAlpha, 0, 255)));
  TfsAffineTransform m;
  m.Translate(-CachePixels(FExtent[0], FCacheDpm), -CachePixels(FExtent[1], FCacheDpm));
  m.Scale(1.0 / FCacheDpm, 1.0 / FCacheDpm);
  if (!isLocal) {
    AppendTurn(m, FCos, FSin);
    m.Translate(FDocLeft, FDocTop);
  }
  m.Translate(-rect.Left, -rect.Top);
  m.Scale(target.Width() / (double(rect.Right) - rect.Left),
          target.Height() / (double(rect.Bottom) - rect.Top));
  TfsMapSampler sampler;
  sampler.SetSource(FCache.get());
  sampler.SetDestination(&target);
  sampler.SetTransform(&m);
  sampler.Draw(FloatRect(0, 0, float(FCache->Width()), float(FCache->Height())));
  if (context.DropCache)
    ClearCache();
}

// ---- persistence ------------------------------------------------------------------

const TfsPropertyTable<TfsShape> &TfsShape::PropertyTable() {
  static const TfsPropertyTable<TfsShape> table = [] {
    using T = TfsShape;
    TfsPropertyTable<T> t;
    t.Custom("ClassName", [](T &s, TXmlNode &n) { n.StoreString("ClassName", s.ClassName(), ""); },
             {})
        .Boolean("AllowResize", &T::FAllowResize, true)
        .Boolean("AllowMove", &T::FAllowMove, true)
        .Boolean("AllowRotate", &T::FAllowRotate, true)
        .Boolean("AllowSelect", &T::FAllowSelect, true)
        .Boolean("AllowDelete", &T::FAllowDelete, true)
        .Boolean("AllowEdit", &T::FAllowEdit, true)
        .Custom(
            "Anchors",
            [](T &s, TXmlNode &n) {
              TXmlNode *e = n.FindOrAddChild("Anchors");
              for (const TAnchorKey &k : AnchorKeys)
                e->StoreBool(k.Key, (s.FAnchors & k.Flag) != 0, false);
            },
            // Without the element the flags stay as they are.
            [](T &s, const TXmlNode &n) {
              const TXmlNode *e = n.FindChild("Anchors");
              if (!e)
                return;
              s.FAnchors = 0;
              for (const TAnchorKey &k : AnchorKeys)
                if (e->LoadBool(k.Key, false))
                  s.FAnchors |= k.Flag;
            })
        .Float("AspectRatio", &T::FAspectRatio, 0)
        .Float(
            "CurbLeft", [](T &s) -> float & { return s.FCurb[0]; }, 0)
        .Float(
            "CurbTop", [](T &s) -> float & { return s.FCurb[1]; }, 0)
        .Float(
            "CurbRight", [](T &s) -> float & { return s.FCurb[2]; }, 0)
        .Float(
            "CurbBottom", [](T &s) -> float & { return s.FCurb[3]; }, 0)
        .Float(
            "ConstraintMinHeight", [](T &s) -> float & { return s.FConstraints.MinHeight; }, 0)
        .Float(
            "ConstraintMinWidth", [](T &s) -> float & { return s.FConstraints.MinWidth; }, 0)
        .Float(
            "ConstraintMaxHeight", [](T &s) -> float & { return s.FConstraints.MaxHeight; }, 0)
        .Float(
            "ConstraintMaxWidth", [](T &s) -> float & { return s.FConstraints.MaxWidth; }, 0)
        .Float("DocAngle", &T::FDocAngle, 0, &T::SetDocAngle)
        .Float("DocLeft", &T::FDocLeft, 0, &T::SetDocLeft)
        .Float("DocTop", &T::FDocTop, 0, &T::SetDocTop)
        .Float("DocHeight", &T::FDocHeight, 0, &T::SetDocHeight)
        .Float("DocWidth", &T::FDocWidth, 0, &T::SetDocWidth)
        .Boolean("Flipped", &T::FFlipped, false)
        .Boolean("Grouped", &T::FGrouped, false)
        .Boolean("Mirrored", &T::FMirrored, false)
        .String("Name", &T::FName, "")
        .Boolean("PreserveAspect", &T::FPreserveAspect, false)
        .Integer("Tag", &T::FTag, 0)
        .Boolean("Visible", &T::FVisible, true)
        .Hex("MasterAlpha", &T::FMasterAlpha, 255, 2, &T::SetMasterAlpha);
    return t;
  }();
  return table;
}

bool TfsShape::InsideXmlLoad() const {
  for (const TfsShape *s = this; s; s = s->FParent)
    if (s->FXmlLoads > 0)
      return true;
  return false;
}

void TfsShape::SaveToXml(TXmlNode &node) {
  PropertyTable().Save(*this, node);
  // Writing into a node that holds an earlier save leaves no child twice.
  for (int i = node.ChildCount() - 1; i >= 0; --i)
    if (node.Child(i)->ElementType() == xeElement && SameText(node.Child(i)->Name(), "Shape"))
      node.DeleteChild(i);
  for (int i = 0; i < ShapeCount(); ++i) {
    TXmlNode *element = node.NewChild("Shape");
    element->AddAttr("Index", i + 1);
    FShapes[static_cast<size_t>(i)]->SaveToXml(*element);
  }
  if (FDocument)
    FDocument->ShapeFiled(*this, node, true);
}

void TfsShape::LoadFromXml(const TXmlNode *node) {
  Clear();
  if (!node)
    throw EXmlError("XML Node is not assigned");
  struct TLoadScope {
    int &Count;
    explicit TLoadScope(int &count) : Count(count) { ++Count; }
    ~TLoadScope() { --Count; }
  } scope(FXmlLoads);
  PropertyTable().Load(*this, *node);
  FMasterAlpha = std::clamp(FMasterAlpha, 0, 255);
  // Not normalised: a file's 400 stays 400 until the next SetDocAngle.
  StoreAngle(FDocAngle);
  TXmlNodeList elements;
  node->FindChildren("Shape", elements);
  for (size_t i = 0; i < elements.size(); ++i) {
    const TXmlNode &element = *elements[i];
    TfsShape *child = nullptr;
    bool made = false;
    try {
      // The children Clear kept (internal parts) take the first elements,
      // whatever class the file names.
      if (static_cast<int>(i) < ShapeCount()) {
        child = GetShape(static_cast<int>(i));
      } else {
        std::unique_ptr<TfsShape> fresh = CreateChild(element.LoadString("ClassName", ""));
        child = fresh.get();
        AddShape(std::move(fresh));
        made = true;
      }
      child->LoadFromXml(&element);
      child->Loaded();
    } catch (const std::exception &error) {
      LoadError(error.what());
      // A part the shape made itself stays; a half-read new child goes.
      if (made)
        DeleteShape(IndexOfShape(child));
    }
  }
  UpdateExtents();
  FCacheDpm = 0;
  if (FDocument)
    FDocument->ShapeFiled(*this, const_cast<TXmlNode &>(*node), false);
}

std::unique_ptr<TfsShape> TfsShape::CreateFromXml(const TXmlNode *node) {
  if (!node)
    throw EXmlError("XML Node is not assigned");
  std::unique_ptr<TfsShape> shape = CreateShape(node->LoadString("ClassName", ""));
  shape->LoadFromXml(node);
  return shape;
}

std::unique_ptr<TfsShape> TfsShape::CreateChild(const std::string &className) {
  return CreateShape(className);
}

std::string TfsShape::SaveToBlob() {
  TnvStorage *archive = FDocument ? FDocument->Storage() : nullptr;
  std::vector<std::string> names;
  if (archive)
    GetResourceNames(names);
  TPlainXml xml("shape");
  SaveToXml(*xml.Root());
  return WriteSnapshot(archive, names, xml.WriteToString());
}

void TfsShape::LoadFromBlob(std::string_view bytes) {
  if (bytes.empty())
    return;
  TPlainXml xml;
  xml.ReadFromString(ReadSnapshot(FDocument ? FDocument->Storage() : nullptr, bytes));
  LoadFromXml(xml.Root());
  Loaded();
}

void TfsShape::Assign(const TfsShape &source) {
  // Snapshot first, so that assigning a shape to itself keeps its children.
  const std::string blob = const_cast<TfsShape &>(source).SaveToBlob();
  Clear();
  LoadFromBlob(blob);
  AssignEvents(source);
}

void TfsShape::AssignEvents(const TfsShape &source) {
  const int n = std::min(ShapeCount(), source.ShapeCount());
  for (int i = 0; i < n; ++i) {
    TfsShape *mine = GetShape(i);
    const TfsShape *theirs = source.GetShape(i);
    if (mine->ClassName() == theirs->ClassName())
      mine->AssignEvents(*theirs);
  }
  OnChange = source.OnChange;
  OnGeometryChange = source.OnGeometryChange;
  OnEdit = source.OnEdit;
}

void TfsShape::GetResourceNames(std::vector<std::string> &names) const {
  for (const auto &child : FShapes)
    child->GetResourceNames(names);
}

void TfsShape::LoadError(const std::string &message) {
  if (FDocument)
    FDocument->ShapeLoadError(*this, message);
}

// ---- undo ---------------------------------------------------------------------------

void TfsShape::RecordChange(uint8_t kind, const std::string &propName, const std::string &value) {
  if (!FDocument || InsideXmlLoad() || !FDocument->IsRecordingUndo())
    return;
  FDocument->FileCommand(std::make_unique<TfsCommand>(kind, FID, propName, value));
}

void TfsShape::RecordFloat(uint8_t kind, const std::string &propName, float value) {
  RecordChange(kind, propName, FloatToText(value));
}

void TfsShape::RecordInteger(uint8_t kind, const std::string &propName, int32_t value) {
  RecordChange(kind, propName, std::to_string(value));
}

void TfsShape::RecordBoolean(uint8_t kind, const std::string &propName, bool value) {
  RecordChange(kind, propName, value ? "True" : "False");
}

void TfsShape::RecordFontStyle(uint8_t kind, const std::string &propName, TfsFontStyles value) {
  RecordChange(kind, propName, FontStyleToText(value));
}

void TfsShape::RecordRemoval(uint8_t kind, TfsShape *child) {
  if (kind != ckChildRemoved || !child || !FDocument || InsideXmlLoad() ||
      !FDocument->IsRecordingUndo())
    return;
  auto stream = std::make_unique<TMemoryStream>();
  WriteInt32LE(*stream, child->Parent() ? child->Parent()->IndexOfShape(child) : -1);
  WriteInt32LE(*stream, child->ID());
  WriteCounted(*stream, child->SaveToBlob());
  // The snapshot holds those bytes now.
  DeleteTemporaryEntries(*child);
  FDocument->FileCommand(
      std::make_unique<TfsCommand>(kind, FID, "ClassName", child->ClassName(), std::move(stream)));
}

bool TfsShape::ExecuteCommand(const TfsCommand &command) {
  if (command.ShapeID != FID) {
    for (int i = 0; i < ShapeCount(); ++i)
      if (FShapes[static_cast<size_t>(i)]->ExecuteCommand(command))
        return true;
    return false;
  }
  switch (command.Kind) {
  case ckProperty:
    SetPropertyByName(command.PropName, command.Value);
    break;
  case ckChildInserted:
    DeleteShape(StrToInt(command.Value));
    break;
  case ckChildRemoved: {
    if (!command.Stream())
      break;
    TReadOnlyMemoryStream in(command.Stream()->Bytes());
    const int32_t index = ReadInt32LE(in);
    const int32_t id = ReadInt32LE(in);
    const std::string blob = ReadCounted(in);
    std::unique_ptr<TfsShape> shape = CreateShape(command.Value);
    TfsShape *restored = shape.get();
    InsertShape(index, std::move(shape));
    restored->LoadFromBlob(blob);
    // Older commands address the shape by the number it had.
    restored->SetID(id);
    break;
  }
  default:
    break;
  }
  return true;
}

void TfsShape::SetPropertyByName(const std::string &propName, const std::string &value) {
  PropertyTable().SetByName(*this, propName, value);
}

std::string TfsShape::FloatToText(float value) {
  return fsPropertyText::FloatText(value);
}

float TfsShape::TextToFloat(const std::string &text) {
  return fsPropertyText::ToFloat(text);
}

bool TfsShape::TextToBool(const std::string &text) {
  return fsPropertyText::ToBool(text);
}

std::string TfsShape::FontStyleToText(TfsFontStyles styles) {
  std::string out;
  if (styles & fsBold)
    out += 'B';
  if (styles & fsItalic)
    out += 'I';
  if (styles & fsUnderline)
    out += 'U';
  if (styles & fsStrikeOut)
    out += 'S';
  return out;
}

TfsFontStyles TfsShape::TextToFontStyle(const std::string &text) {
  TfsFontStyles out = 0;
  if (text.find('B') != std::string::npos)
    out |= fsBold;
  if (text.find('I') != std::string::npos)
    out |= fsItalic;
  if (text.find('U') != std::string::npos)
    out |= fsUnderline;
  if (text.find('S') != std::string::npos)
    out |= fsStrikeOut;
  return out;
}

// ---- editing hooks ----------------------------------------------------------------------

void TfsShape::Edit() {
  DoEdit();
  if (FDocument)
    FDocument->CloseEdit(*this);
}

void TfsShape::DoEdit() {
  if (OnEdit)
    OnEdit(*this);
}

void TfsShape::EndEdit(bool) {}

// ---- handles and drags --------------------------------------------------------------

TfsHandlePainter &TfsShape::HandlePainter() {
  if (!FHandlePainter) {
    if (FDocument)
      FHandlePainter = FDocument->CreateHandlePainter(*this);
    if (!FHandlePainter)
      FHandlePainter = std::make_unique<TfsHandlePainter>(this);
  }
  return *FHandlePainter;
}

void TfsShape::PrepareHandles() {
  HandlePainter().LayoutHandles();
}

std::vector<TRect> TfsShape::HandleScreenRects() {
  PrepareHandles();
  TfsHandlePainter &painter = HandlePainter();
  std::vector<TRect> rects;
  for (int i = 0; i < int(painter.Handles().size()); ++i)
    rects.push_back(painter.HandleRect(i));
  return rects;
}

void TfsShape::DrawHandles(TBitmap32 &canvas) {
  PrepareHandles();
  HandlePainter().Draw(canvas);
}

void TfsShape::DrawDragOutline(TBitmap32 &canvas) {
  HandlePainter().DrawDragOutline(canvas);
}

void TfsShape::DrawInsertFrame(TBitmap32 &canvas, const TRect &rect, TColor color) {
  XorDottedRect(canvas, rect, color);
}

namespace {

double SegmentDistance(const TFloatPoint &p, const TFloatPoint &a, const TFloatPoint &b) {
  const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y;
  const double len2 = dx * dx + dy * dy;
  const double u =
      len2 > 0 ? std::clamp(((double(p.X) - a.X) * dx + (double(p.Y) - a.Y) * dy) / len2, 0.0, 1.0)
               : 0;
  const double ex = a.X + u * dx - p.X, ey = a.Y + u * dy - p.Y;
  return std::sqrt(ex * ex + ey * ey);
}

bool IsResizeKind(uint8_t kind) {
  return (kind >= hkTopLeft && kind <= hkTop) || kind == hkPoint;
}

} // namespace

uint8_t TfsShape::HandleAtPoint(const TPoint &screenPoint) {
  if (!FSelected)
    return hkNone;
  const TRect invalid = GetInvalidRect();
  if (!(screenPoint.X >= invalid.Left && screenPoint.X < invalid.Right &&
        screenPoint.Y >= invalid.Top && screenPoint.Y < invalid.Bottom))
    return hkNone;
  FDragHandle = -1;
  TfsHandlePainter &painter = HandlePainter();
  auto allowed = [this](uint8_t kind) {
    return IsResizeKind(kind) && !FAllowResize ? uint8_t(hkNone) : kind;
  };
  uint8_t kind = hkNone;
  for (int i = 0; i < int(painter.Handles().size()); ++i) {
    const TRect r = painter.HandleRect(i);
    if (screenPoint.X >= r.Left && screenPoint.X < r.Right && screenPoint.Y >= r.Top &&
        screenPoint.Y < r.Bottom) {
      kind = allowed(painter.Handles()[size_t(i)].Kind);
      if (kind != hkNone) {
        FDragHandle = i;
        break;
      }
    }
  }
  if (kind == hkNone) {
    const TFloatPoint p{float(screenPoint.X), float(screenPoint.Y)};
    const auto &handles = painter.Handles();
    for (const TfsDragLine &l : painter.Lines()) {
      if (l.FromHandle < 0 || l.ToHandle < 0 || l.FromHandle >= int32_t(handles.size()) ||
          l.ToHandle >= int32_t(handles.size()))
        continue;
      const TfsHandle &a = handles[size_t(l.FromHandle)], &b = handles[size_t(l.ToHandle)];
      if (SegmentDistance(p, LocalToScreen({a.X, a.Y}), LocalToScreen({b.X, b.Y})) < 10) {
        kind = allowed(l.HitKind);
        if (kind != hkNone)
          break;
      }
    }
  }
  if (kind == hkRotate && !FAllowRotate) {
    FDragHandle = -1;
    return hkNone;
  }
  return kind;
}

void TfsShape::DragCustomHandle(float &, float &, uint8_t, const TFloatPoint &, float &, float &,
                                float &) {}

void TfsShape::SetEditGeometry(float left, float top, float width, float height, float angle) {
  FEditLeft = left;
  FEditTop = top;
  FEditWidth = width;
  FEditHeight = height;
  FEditAngle = angle;
}

void TfsShape::ApplyEditGeometry() {
  SetBoundsConstrained(FEditLeft, FEditTop, FEditWidth, FEditHeight);
  RotateAboutCentre(FEditAngle);
}

// ---- the registry ----------------------------------------------------------------------

TClassFactory<TfsShape> &ShapeClasses() {
  static TClassFactory<TfsShape> registry([] {
    using TRecord = TClassFactory<TfsShape>::TRecord;
    return std::vector<TRecord>{
        {"TfsShape", [] { return std::make_unique<TfsShape>(); }},
        {"TfsPage", [] { return std::make_unique<TfsPage>(); }},
    };
  });
  return registry;
}

std::unique_ptr<TfsShape> CreateShape(const std::string &className) {
  return ShapeClasses().Create(className);
}
