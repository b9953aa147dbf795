#include "engine/fsMetafilePlayer.h"

#include "base/fsStream.h"
#include "persist/fsBmpFormat.h"
#include "raster/fsGR32_Polygons.h"
#include "text/fsFreeType.h"
#include "text/fsGlyphOutline.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <string>

using namespace fsmeta;

namespace {

using TPointD = TfsMetafilePlayer::TPointD;
using TFigure = TfsMetafilePlayer::TFigure;

// EMF record types.
enum : uint32_t {
  emrHeader = 1,
  emrPolyBezier = 2,
  emrPolygon = 3,
  emrPolyline = 4,
  emrPolyBezierTo = 5,
  emrPolylineTo = 6,
  emrPolyPolyline = 7,
  emrPolyPolygon = 8,
  emrSetWindowExtEx = 9,
  emrSetWindowOrgEx = 10,
  emrSetViewportExtEx = 11,
  emrSetViewportOrgEx = 12,
  emrEof = 14,
  emrSetPixelV = 15,
  emrSetMapMode = 17,
  emrSetBkMode = 18,
  emrSetPolyFillMode = 19,
  emrSetTextAlign = 22,
  emrSetTextColor = 24,
  emrSetBkColor = 25,
  emrMoveToEx = 27,
  emrExcludeClipRect = 29,
  emrIntersectClipRect = 30,
  emrScaleViewportExtEx = 31,
  emrScaleWindowExtEx = 32,
  emrSaveDc = 33,
  emrRestoreDc = 34,
  emrSetWorldTransform = 35,
  emrModifyWorldTransform = 36,
  emrSelectObject = 37,
  emrCreatePen = 38,
  emrCreateBrushIndirect = 39,
  emrDeleteObject = 40,
  emrAngleArc = 41,
  emrEllipse = 42,
  emrRectangle = 43,
  emrRoundRect = 44,
  emrArc = 45,
  emrChord = 46,
  emrPie = 47,
  emrCreatePalette = 49,
  emrLineTo = 54,
  emrArcTo = 55,
  emrPolyDraw = 56,
  emrSetArcDirection = 57,
  emrSetMiterLimit = 58,
  emrBeginPath = 59,
  emrEndPath = 60,
  emrCloseFigure = 61,
  emrFillPath = 62,
  emrStrokeAndFillPath = 63,
  emrStrokePath = 64,
  emrSelectClipPath = 67,
  emrAbortPath = 68,
  emrFillRgn = 71,
  emrPaintRgn = 74,
  emrExtSelectClipRgn = 75,
  emrBitBlt = 76,
  emrStretchBlt = 77,
  emrSetDiBitsToDevice = 80,
  emrStretchDiBits = 81,
  emrExtCreateFontIndirectW = 82,
  emrExtTextOutA = 83,
  emrExtTextOutW = 84,
  emrPolyBezier16 = 85,
  emrPolygon16 = 86,
  emrPolyline16 = 87,
  emrPolyBezierTo16 = 88,
  emrPolylineTo16 = 89,
  emrPolyPolyline16 = 90,
  emrPolyPolygon16 = 91,
  emrPolyDraw16 = 92,
  emrCreateMonoBrush = 93,
  emrCreateDibPatternBrushPt = 94,
  emrExtCreatePen = 95,
  emrCreateColorSpace = 99,
  emrAlphaBlend = 114,
  emrCreateColorSpaceW = 122,
};

// WMF record functions.
enum : uint32_t {
  metaEof = 0x0000,
  metaSaveDc = 0x001E,
  metaCreatePalette = 0x00F7,
  metaSetBkMode = 0x0102,
  metaSetMapMode = 0x0103,
  metaSetPolyFillMode = 0x0106,
  metaRestoreDc = 0x0127,
  metaSelectObject = 0x012D,
  metaSetTextAlign = 0x012E,
  metaDibCreatePatternBrush = 0x0142,
  metaDeleteObject = 0x01F0,
  metaCreatePatternBrush = 0x01F9,
  metaSetBkColor = 0x0201,
  metaSetTextColor = 0x0209,
  metaSetWindowOrg = 0x020B,
  metaSetWindowExt = 0x020C,
  metaOffsetWindowOrg = 0x020F,
  metaLineTo = 0x0213,
  metaMoveTo = 0x0214,
  metaCreatePenIndirect = 0x02FA,
  metaCreateFontIndirect = 0x02FB,
  metaCreateBrushIndirect = 0x02FC,
  metaPolygon = 0x0324,
  metaPolyline = 0x0325,
  metaScaleWindowExt = 0x0410,
  metaExcludeClipRect = 0x0415,
  metaIntersectClipRect = 0x0416,
  metaEllipse = 0x0418,
  metaRectangle = 0x041B,
  metaSetPixel = 0x041F,
  metaTextOut = 0x0521,
  metaPolyPolygon = 0x0538,
  metaRoundRect = 0x061C,
  metaPatBlt = 0x061D,
  metaCreateRegion = 0x06FF,
  metaArc = 0x0817,
  metaPie = 0x081A,
  metaChord = 0x0830,
  metaDibBitBlt = 0x0940,
  metaExtTextOut = 0x0A32,
  metaDibStretchBlt = 0x0B41,
  metaSetDibToDev = 0x0D33,
  metaStretchDib = 0x0F43,
};

enum : uint32_t {
  mmText = 1,
  mmLoMetric = 2,
  mmHiMetric = 3,
  mmLoEnglish = 4,
  mmHiEnglish = 5,
  mmTwips = 6,
  mmIsotropic = 7,
  mmAnisotropic = 8,
};

enum : int { rgnAnd = 1, rgnOr = 2, rgnXor = 3, rgnDiff = 4, rgnCopy = 5 };

enum : uint32_t {
  etoOpaque = 0x0002,
  etoClipped = 0x0004,
  etoPdy = 0x2000,
  taUpdateCp = 0x0001,
  taRight = 0x0002,
  taCenter = 0x0006,
  taBottom = 0x0008,
  taBaseline = 0x0018,
};

enum : uint32_t {
  ropSrcCopy = 0x00CC0020,
  ropSrcPaint = 0x00EE0086,
  ropSrcAnd = 0x008800C6,
  ropSrcInvert = 0x00660046,
  ropNotSrcCopy = 0x00330008,
  ropPatCopy = 0x00F00021,
  ropBlackness = 0x00000042,
  ropWhiteness = 0x00FF0062,
  ropDstInvert = 0x00550009,
};

enum TBoxKind : int { bkRectangle, bkEllipse, bkRoundRect, bkArc, bkChord, bkPie };

// Limits that keep damaged input from costing more than its size is worth.
constexpr size_t MaxSavedStates = 4096;
constexpr int MaxCurveSegments = 4096;
constexpr size_t MaxDashPieces = 1 << 16;
constexpr int64_t MaxDibPixels = int64_t(1) << 26;
constexpr double MaxDeviceCoord = 30000; // inside the 16.16 range of the rasteriser

TColor32 FromColorRef(uint32_t c) {
  return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

TFixed ToFixed(double v) {
  if (!std::isfinite(v))
    v = 0;
  return Fixed(std::clamp(v, -MaxDeviceCoord, MaxDeviceCoord));
}

double Cross(TPointD a, TPointD b, TPointD c) {
  return (b.X - a.X) * (c.Y - a.Y) - (b.Y - a.Y) * (c.X - a.X);
}

double SignedArea(const std::vector<TPointD> &p) {
  double a = 0;
  for (size_t i = 0, n = p.size(); i < n; ++i) {
    const TPointD &u = p[i], &v = p[(i + 1) % n];
    a += u.X * v.Y - v.X * u.Y;
  }
  return a / 2;
}

int SegmentsFor(double radius) {
  if (!std::isfinite(radius) || radius <= 0.5)
    return 8;
  const double n = std::numbers::pi * std::sqrt(radius / 0.2);
  return std::clamp(static_cast<int>(std::ceil(n)), 8, MaxCurveSegments);
}

// Contours that the rasteriser fills together: every one turned the same
// way, so that the non-zero rule takes their union.
class TOutline {
public:
  void Add(std::vector<TPointD> p) {
    if (p.size() < 3)
      return;
    if (SignedArea(p) < 0)
      std::reverse(p.begin(), p.end());
    FContours.push_back(std::move(p));
  }
  void Circle(TPointD c, double r) {
    // Round joins and caps of very wide pens need not be finer than this.
    const int n = std::min(SegmentsFor(r), 96);
    std::vector<TPointD> p(n);
    for (int i = 0; i < n; ++i) {
      const double a = 2 * std::numbers::pi * i / n;
      p[i] = {c.X + r * std::cos(a), c.Y + r * std::sin(a)};
    }
    Add(std::move(p));
  }
  std::vector<TFigure> Figures() {
    std::vector<TFigure> f;
    for (auto &c : FContours)
      f.push_back({std::move(c), true});
    return f;
  }

private:
  std::vector<std::vector<TPointD>> FContours;
};

// The stroke of one open or closed polyline as filled contours.
void StrokeOutline(TOutline &Out, const std::vector<TPointD> &P, bool Closed, double W,
                   uint32_t Cap, uint32_t Join, double MiterLimit) {
  const double hw = W / 2;
  std::vector<TPointD> pts;
  for (const TPointD &p : P)
    if (pts.empty() || std::hypot(p.X - pts.back().X, p.Y - pts.back().Y) > 1e-9)
      pts.push_back(p);
  if (Closed && pts.size() > 1 &&
      std::hypot(pts[0].X - pts.back().X, pts[0].Y - pts.back().Y) <= 1e-9)
    pts.pop_back();
  if (pts.empty())
    return;
  if (pts.size() == 1) {
    if (Cap == mpsEndCapRound)
      Out.Circle(pts[0], hw);
    else if (Cap == mpsEndCapSquare)
      Out.Add({{pts[0].X - hw, pts[0].Y - hw},
               {pts[0].X + hw, pts[0].Y - hw},
               {pts[0].X + hw, pts[0].Y + hw},
               {pts[0].X - hw, pts[0].Y + hw}});
    return;
  }
  const size_t n = pts.size();
  const size_t segs = Closed ? n : n - 1;
  auto normal = [&](size_t i) {
    const TPointD &a = pts[i], &b = pts[(i + 1) % n];
    const double len = std::hypot(b.X - a.X, b.Y - a.Y);
    return TPointD{-(b.Y - a.Y) / len * hw, (b.X - a.X) / len * hw};
  };
  for (size_t i = 0; i < segs; ++i) {
    const TPointD &a = pts[i], &b = pts[(i + 1) % n];
    const TPointD nv = normal(i);
    Out.Add({{a.X + nv.X, a.Y + nv.Y},
             {b.X + nv.X, b.Y + nv.Y},
             {b.X - nv.X, b.Y - nv.Y},
             {a.X - nv.X, a.Y - nv.Y}});
  }
  // Joins at the inner vertices (every vertex of a closed figure).
  for (size_t k = Closed ? 0 : 1; k < (Closed ? n : n - 1); ++k) {
    const size_t prev = (k + segs - 1) % segs;
    const TPointD &v = pts[k];
    if (Join == mpsJoinRound) {
      Out.Circle(v, hw);
      continue;
    }
    const TPointD n1 = normal(prev), n2 = normal(k);
    // The outer side of the turn.
    const double turn = Cross(pts[(k + n - 1) % n], v, pts[(k + 1) % n]);
    const double s = turn > 0 ? -1 : 1;
    const TPointD o1{v.X + s * n1.X, v.Y + s * n1.Y}, o2{v.X + s * n2.X, v.Y + s * n2.Y};
    Out.Add({v, o1, o2});
    if (Join == mpsJoinMiter) {
      const TPointD m{(n1.X + n2.X) / 2, (n1.Y + n2.Y) / 2};
      const double ml = std::hypot(m.X, m.Y);
      if (ml > 1e-12) {
        const double reach = hw * hw / ml; // distance of the mitre tip from v
        if (reach <= MiterLimit * hw)
          Out.Add({v, o1, {v.X + s * m.X / ml * reach, v.Y + s * m.Y / ml * reach}, o2});
      }
    }
  }
  if (!Closed && Cap != mpsEndCapFlat) {
    for (int end = 0; end < 2; ++end) {
      const TPointD &p = end == 0 ? pts[0] : pts[n - 1];
      const TPointD &q = end == 0 ? pts[1] : pts[n - 2];
      if (Cap == mpsEndCapRound) {
        Out.Circle(p, hw);
        continue;
      }
      const double len = std::hypot(p.X - q.X, p.Y - q.Y);
      const TPointD d{(p.X - q.X) / len * hw, (p.Y - q.Y) / len * hw};
      const TPointD nv{-d.Y, d.X};
      Out.Add({{p.X + nv.X, p.Y + nv.Y},
               {p.X + nv.X + d.X, p.Y + nv.Y + d.Y},
               {p.X - nv.X + d.X, p.Y - nv.Y + d.Y},
               {p.X - nv.X, p.Y - nv.Y}});
    }
  }
}

// Splits a polyline into its dashes; false when there would be too many.
bool Dashes(const std::vector<TPointD> &P, bool Closed, const std::vector<double> &Pattern,
            std::vector<std::vector<TPointD>> &Out) {
  double total = 0;
  for (double d : Pattern)
    total += d;
  if (Pattern.empty() || !(total > 0))
    return false;
  std::vector<TPointD> pts = P;
  if (Closed && !pts.empty())
    pts.push_back(pts[0]);
  size_t index = 0;
  double left = Pattern[0];
  bool on = true;
  std::vector<TPointD> cur;
  if (!pts.empty())
    cur.push_back(pts[0]);
  size_t pieces = 0;
  for (size_t i = 0; i + 1 < pts.size(); ++i) {
    TPointD a = pts[i];
    const TPointD b = pts[i + 1];
    double len = std::hypot(b.X - a.X, b.Y - a.Y);
    while (len > left) {
      const double t = left / len;
      const TPointD m{a.X + (b.X - a.X) * t, a.Y + (b.Y - a.Y) * t};
      if (on) {
        cur.push_back(m);
        Out.push_back(std::move(cur));
      }
      cur.clear();
      cur.push_back(m);
      if (++pieces > MaxDashPieces)
        return false;
      len -= left;
      a = m;
      on = !on;
      index = (index + 1) % Pattern.size();
      left = Pattern[index];
    }
    left -= len;
    cur.push_back(b);
  }
  if (on && cur.size() > 1)
    Out.push_back(std::move(cur));
  return true;
}

uint32_t Rop3(uint32_t Rop) {
  return (Rop >> 16) & 0xFF;
}

std::u16string Latin1(std::string_view s) {
  std::u16string r;
  for (char c : s) {
    if (c == 0)
      break;
    r.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
  }
  return r;
}

// The size of a packed DIB's header and colour table.
size_t DibHeaderSize(std::string_view Dib) {
  const uint32_t hs = U32(Dib, 0);
  if (hs == 12) {
    const uint16_t bpp = U16(Dib, 10);
    return 12 + (bpp <= 8 ? (size_t(1) << bpp) * 3 : 0);
  }
  if (hs < 40 || hs > Dib.size())
    throw EMetafileError("Invalid metafile record");
  const uint16_t bpp = U16(Dib, 14);
  const uint32_t comp = U32(Dib, 16);
  uint64_t colours = U32(Dib, 32);
  if (colours == 0 && bpp <= 8)
    colours = uint64_t(1) << bpp;
  if (colours > 256 && bpp <= 8)
    colours = 256;
  uint64_t size = hs + colours * 4;
  if (hs == 40 && comp == 3)
    size += 12;
  else if (hs == 40 && comp == 6)
    size += 16;
  if (size > Dib.size())
    throw EMetafileError("Invalid metafile record");
  return static_cast<size_t>(size);
}

} // namespace

struct TfsMetafilePlayer::TGlyphCache {
  std::map<std::pair<FT_Face, char16_t>, TfsGlyphShape> Glyphs;
};

// ---------------------------------------------------------------------------
// Set-up

TfsMetafilePlayer::TfsMetafilePlayer(const TfsMetafile &Metafile, TBitmap32 &Target,
                                     const TRect &DeviceRect, const TRect &Clip)
    : FMetafile(Metafile), FTarget(Target), FDeviceRect(DeviceRect),
      FGlyphCache(std::make_unique<TGlyphCache>()) {
  FSavedClipBox = Target.ClipBox();
  IntersectRect(FBaseClip, Clip, Target.BoundsRect());
  FDc.ClipRect = FBaseClip;
  FTarget.SetClipBox(FBaseClip);
  const double dw = DeviceRect.Width(), dh = DeviceRect.Height();
  if (Metafile.IsEnhanced()) {
    const TSize px = Metafile.DevicePixels(), mm = Metafile.DeviceMillimetres();
    FPxPerMmX = px.cx > 0 && mm.cx > 0 ? double(px.cx) / mm.cx : 96 / 25.4;
    FPxPerMmY = px.cy > 0 && mm.cy > 0 ? double(px.cy) / mm.cy : 96 / 25.4;
    const TRect &f = Metafile.FrameHiMetric();
    double x0 = f.Left * FPxPerMmX / 100, x1 = f.Right * FPxPerMmX / 100;
    double y0 = f.Top * FPxPerMmY / 100, y1 = f.Bottom * FPxPerMmY / 100;
    if (!(x1 > x0) || !(y1 > y0)) {
      const TRect &b = Metafile.Bounds();
      x0 = b.Left, x1 = b.Right + 1.0, y0 = b.Top, y1 = b.Bottom + 1.0;
    }
    if (x1 > x0 && y1 > y0) {
      FFrameMap.M11 = dw / (x1 - x0);
      FFrameMap.M22 = dh / (y1 - y0);
    }
    FFrameMap.Dx = DeviceRect.Left - x0 * FFrameMap.M11;
    FFrameMap.Dy = DeviceRect.Top - y0 * FFrameMap.M22;
    FDc.MapMode = mmText;
  } else {
    // A WMF's window is mapped onto the target; its viewport records belong
    // to the program that placed it and are not followed.
    const TRect &box = Metafile.LogicalBox();
    FDc.MapMode = mmAnisotropic;
    FDc.VpOrgX = DeviceRect.Left;
    FDc.VpOrgY = DeviceRect.Top;
    FDc.VpExtX = dw;
    FDc.VpExtY = dh;
    if (box.Right != box.Left && box.Bottom != box.Top) {
      FDc.WinOrgX = box.Left;
      FDc.WinOrgY = box.Top;
      FDc.WinExtX = box.Right - box.Left;
      FDc.WinExtY = box.Bottom - box.Top;
    } else {
      FDc.WinExtX = dw != 0 ? dw : 1;
      FDc.WinExtY = dh != 0 ? dh : 1;
    }
    FUsed.assign(Metafile.ObjectCount(), false);
  }
  FObjects.resize(Metafile.ObjectCount());
  UpdateTransform();
}

TfsMetafilePlayer::~TfsMetafilePlayer() {
  FTarget.SetClipBox(FSavedClipBox);
}

void TfsMetafilePlayer::Play() {
  for (size_t i = 0; i < RecordCount(); ++i) {
    if (OnRecord) {
      if (!OnRecord(*this, i))
        break;
    } else
      PlayRecord(i);
  }
}

void TfsMetafilePlayer::PlayRecord(size_t Index) {
  if (Index >= RecordCount())
    return;
  const TfsMetafileRecord &r = FMetafile.Records()[Index];
  try {
    if (FMetafile.IsEnhanced())
      PlayEmf(r);
    else
      PlayWmf(r);
  } catch (const EfsError &) {
    // A damaged record is skipped; what came before stays drawn.
  }
}

TfsMetafilePen TfsMetafilePlayer::SelectPen(const TfsMetafilePen &Pen) {
  TfsMetafilePen old = std::move(FDc.Pen);
  FDc.Pen = Pen;
  return old;
}

TfsMetafileBrush TfsMetafilePlayer::SelectBrush(const TfsMetafileBrush &Brush) {
  TfsMetafileBrush old = std::move(FDc.Brush);
  FDc.Brush = Brush;
  return old;
}

TFloatPoint TfsMetafilePlayer::LogicalToDevice(double X, double Y) const {
  const TPointD p = Dev(X, Y);
  return {static_cast<float>(p.X), static_cast<float>(p.Y)};
}

// ---------------------------------------------------------------------------
// Transforms

void TfsMetafilePlayer::UpdateTransform() {
  double sx = 1, sy = 1;
  const TDcState &d = FDc;
  auto metric = [&](double mmPerUnit) {
    sx = mmPerUnit * FPxPerMmX;
    sy = -mmPerUnit * FPxPerMmY;
  };
  switch (d.MapMode) {
  case mmLoMetric:
    metric(0.1);
    break;
  case mmHiMetric:
    metric(0.01);
    break;
  case mmLoEnglish:
    metric(0.254);
    break;
  case mmHiEnglish:
    metric(0.0254);
    break;
  case mmTwips:
    metric(25.4 / 1440);
    break;
  case mmIsotropic:
  case mmAnisotropic:
    sx = d.WinExtX != 0 ? d.VpExtX / d.WinExtX : 1;
    sy = d.WinExtY != 0 ? d.VpExtY / d.WinExtY : 1;
    if (d.MapMode == mmIsotropic) {
      const double m = std::min(std::abs(sx), std::abs(sy));
      sx = std::copysign(m, sx);
      sy = std::copysign(m, sy);
    }
    break;
  default:
    break;
  }
  // Page: (p - window origin) * scale + viewport origin; then the frame map.
  TMatrix page;
  page.M11 = sx;
  page.M22 = sy;
  page.Dx = d.VpOrgX - d.WinOrgX * sx;
  page.Dy = d.VpOrgY - d.WinOrgY * sy;
  auto mul = [](const TMatrix &a, const TMatrix &b) { // a first, then b
    TMatrix r;
    r.M11 = a.M11 * b.M11 + a.M12 * b.M21;
    r.M12 = a.M11 * b.M12 + a.M12 * b.M22;
    r.M21 = a.M21 * b.M11 + a.M22 * b.M21;
    r.M22 = a.M21 * b.M12 + a.M22 * b.M22;
    r.Dx = a.Dx * b.M11 + a.Dy * b.M21 + b.Dx;
    r.Dy = a.Dx * b.M12 + a.Dy * b.M22 + b.Dy;
    return r;
  };
  FToDevice = mul(mul(d.World, page), FFrameMap);
}

double TfsMetafilePlayer::DeviceScale() const {
  const double det = FToDevice.M11 * FToDevice.M22 - FToDevice.M12 * FToDevice.M21;
  return std::sqrt(std::abs(det));
}

bool TfsMetafilePlayer::AxisAligned() const {
  return std::abs(FToDevice.M12) < 1e-9 && std::abs(FToDevice.M21) < 1e-9;
}

// ---------------------------------------------------------------------------
// Objects

void TfsMetafilePlayer::StoreObject(uint32_t Index, TObject Object) {
  if (Index < FObjects.size())
    FObjects[Index] = std::move(Object);
}

size_t TfsMetafilePlayer::WmfFreeSlot() {
  for (size_t i = 0; i < FUsed.size(); ++i)
    if (!FUsed[i]) {
      FUsed[i] = true;
      return i;
    }
  return SIZE_MAX;
}

void TfsMetafilePlayer::WmfCreate(TObject Object) {
  const size_t slot = WmfFreeSlot();
  if (slot != SIZE_MAX)
    FObjects[slot] = std::move(Object);
}

void TfsMetafilePlayer::SelectStock(uint32_t Index) {
  auto brush = [&](TColor32 c, uint32_t style = mbsSolid) {
    FDc.Brush = TfsMetafileBrush();
    FDc.Brush.Color = c;
    FDc.Brush.Style = style;
  };
  auto pen = [&](TColor32 c, uint32_t style = mpsSolid) {
    FDc.Pen = TfsMetafilePen();
    FDc.Pen.Color = c;
    FDc.Pen.Style = style;
  };
  switch (Index) {
  case 0:
  case 18:
    brush(clWhite32);
    break;
  case 1:
    brush(0xFFC0C0C0);
    break;
  case 2:
    brush(0xFF808080);
    break;
  case 3:
    brush(0xFF404040);
    break;
  case 4:
    brush(clBlack32);
    break;
  case 5:
    brush(clBlack32, mbsNull);
    break;
  case 6:
    pen(clWhite32);
    break;
  case 7:
  case 19:
    pen(clBlack32);
    break;
  case 8:
    pen(clBlack32, mpsNull);
    break;
  default:
    if (Index >= 10 && Index <= 17)
      FDc.Font = TfsMetafileFont();
    break;
  }
}

void TfsMetafilePlayer::SelectStored(uint32_t Index) {
  if (Index >= FObjects.size())
    return;
  const TObject &o = FObjects[Index];
  switch (o.Kind) {
  case TObject::okPen:
    FDc.Pen = o.Pen;
    break;
  case TObject::okBrush:
    FDc.Brush = o.Brush;
    break;
  case TObject::okFont:
    FDc.Font = o.Font;
    break;
  default:
    break;
  }
}

void TfsMetafilePlayer::DeleteStored(uint32_t Index) {
  if (Index >= FObjects.size())
    return;
  FObjects[Index] = TObject();
  if (Index < FUsed.size())
    FUsed[Index] = false;
}

// ---------------------------------------------------------------------------
// Geometry

std::vector<TPointD> TfsMetafilePlayer::Ellipse(double L, double T, double R, double B) const {
  const double cx = (L + R) / 2, cy = (T + B) / 2, rx = (R - L) / 2, ry = (B - T) / 2;
  const int n = SegmentsFor(std::max(std::abs(rx), std::abs(ry)) * DeviceScaleMax());
  std::vector<TPointD> p(n);
  for (int i = 0; i < n; ++i) {
    const double a = 2 * std::numbers::pi * i / n;
    p[i] = Dev(cx + rx * std::cos(a), cy + ry * std::sin(a));
  }
  return p;
}

double TfsMetafilePlayer::DeviceScaleMax() const {
  return std::max(std::hypot(FToDevice.M11, FToDevice.M12),
                  std::hypot(FToDevice.M21, FToDevice.M22));
}

std::vector<TPointD> TfsMetafilePlayer::ArcPoints(double L, double T, double R, double B, double X1,
                                                  double Y1, double X2, double Y2) const {
  const double cx = (L + R) / 2, cy = (T + B) / 2, rx = (R - L) / 2, ry = (B - T) / 2;
  const double nrx = rx != 0 ? rx : 1, nry = ry != 0 ? ry : 1;
  const double a1 = std::atan2((Y1 - cy) / nry, (X1 - cx) / nrx);
  const double a2 = std::atan2((Y2 - cy) / nry, (X2 - cx) / nrx);
  // Counter-clockwise as seen with y pointing down: the angle decreases.
  double sweep = FDc.Clockwise ? a2 - a1 : a1 - a2;
  while (sweep <= 1e-12)
    sweep += 2 * std::numbers::pi;
  const int full = SegmentsFor(std::max(std::abs(rx), std::abs(ry)) * DeviceScaleMax());
  const int n = std::max(2, static_cast<int>(std::ceil(full * sweep / (2 * std::numbers::pi))));
  std::vector<TPointD> p(n + 1);
  for (int i = 0; i <= n; ++i) {
    const double a = FDc.Clockwise ? a1 + sweep * i / n : a1 - sweep * i / n;
    p[i] = Dev(cx + rx * std::cos(a), cy + ry * std::sin(a));
  }
  return p;
}

std::vector<TPointD> TfsMetafilePlayer::RoundRect(double L, double T, double R, double B, double W,
                                                  double H) const {
  if (L > R)
    std::swap(L, R);
  if (T > B)
    std::swap(T, B);
  const double rx = std::min(std::abs(W), R - L) / 2, ry = std::min(std::abs(H), B - T) / 2;
  const int quarter = std::max(2, SegmentsFor(std::max(rx, ry) * DeviceScaleMax()) / 4);
  std::vector<TPointD> p;
  const double cxs[4] = {R - rx, L + rx, L + rx, R - rx};
  const double cys[4] = {T + ry, T + ry, B - ry, B - ry};
  for (int c = 0; c < 4; ++c)
    for (int i = 0; i <= quarter; ++i) {
      const double a = -std::numbers::pi / 2 * (c + double(i) / quarter);
      p.push_back(Dev(cxs[c] + rx * std::cos(a), cys[c] + ry * std::sin(a)));
    }
  return p;
}

void TfsMetafilePlayer::AppendBezier(std::vector<TPointD> &Out, TPointD P0, TPointD P1, TPointD P2,
                                     TPointD P3) const {
  const double len = std::hypot(P1.X - P0.X, P1.Y - P0.Y) + std::hypot(P2.X - P1.X, P2.Y - P1.Y) +
                     std::hypot(P3.X - P2.X, P3.Y - P2.Y);
  const int n =
      std::isfinite(len) ? std::clamp(static_cast<int>(std::ceil(std::sqrt(len) * 2)), 2, 256) : 2;
  for (int i = 1; i <= n; ++i) {
    const double t = double(i) / n, u = 1 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    Out.push_back(
        {a * P0.X + b * P1.X + c * P2.X + d * P3.X, a * P0.Y + b * P1.Y + c * P2.Y + d * P3.Y});
  }
}

void TfsMetafilePlayer::BoxShape(double L, double T, double R, double B, int Kind, double A,
                                 double Bb, double X1, double Y1, double X2, double Y2) {
  std::vector<TPointD> p;
  bool closed = true, fill = true;
  switch (Kind) {
  case bkRectangle:
    p = {Dev(L, T), Dev(R, T), Dev(R, B), Dev(L, B)};
    break;
  case bkEllipse:
    p = Ellipse(L, T, R, B);
    break;
  case bkRoundRect:
    p = RoundRect(L, T, R, B, A, Bb);
    break;
  case bkArc:
  case bkChord:
  case bkPie:
    p = ArcPoints(L, T, R, B, X1, Y1, X2, Y2);
    if (Kind == bkPie)
      p.push_back(Dev((L + R) / 2, (T + B) / 2));
    closed = Kind != bkArc;
    fill = Kind != bkArc;
    break;
  default:
    return;
  }
  if (FInPath) {
    FPath.push_back({std::move(p), closed});
    return;
  }
  std::vector<TFigure> shape{{p, closed}};
  if (fill)
    FillFigures(shape, FDc.Brush, FDc.Winding);
  // The outline of an upright box lies on its border pixels: the box's right
  // and bottom pixel edges move in by one pixel (half a pixel more is added
  // by the stroke), a frame-inside pen moves in by its half width.
  if (AxisAligned() && (FDc.Pen.Style & mpsStyleMask) != mpsNull) {
    const TPointD a = Dev(L, T), b = Dev(R, B);
    const double l = std::min(a.X, b.X), r = std::max(a.X, b.X);
    const double t = std::min(a.Y, b.Y), bo = std::max(a.Y, b.Y);
    const double w = PenDeviceWidth();
    const bool inside = (FDc.Pen.Style & mpsStyleMask) == mpsInsideFrame;
    const double inL = inside ? w / 2 - 0.5 : 0, inR = inside ? w / 2 + 0.5 : 1;
    auto axis = [](double v, double lo, double hi, double nlo, double nhi) {
      return hi - lo > 1e-9 ? nlo + (v - lo) * (nhi - nlo) / (hi - lo) : v;
    };
    if (r - l > inL + inR && bo - t > inL + inR)
      for (TPointD &q : shape[0].Points) {
        q.X = axis(q.X, l, r, l + inL, r - inR);
        q.Y = axis(q.Y, t, bo, t + inL, bo - inR);
      }
  }
  StrokeFigures(shape);
}

// ---------------------------------------------------------------------------
// Drawing

double TfsMetafilePlayer::PenDeviceWidth() const {
  const TfsMetafilePen &p = FDc.Pen;
  if (p.Width <= 0)
    return 1;
  // A pen wider than the bitmap's extent covers it all the same.
  const double widest = 2.0 * (FTarget.Width() + FTarget.Height()) + 2;
  return std::max(1.0, std::min(p.Width * DeviceScale(), widest));
}

uint8_t TfsMetafilePlayer::ClipAt(int32_t X, int32_t Y) const {
  if (!FDc.ClipMask)
    return 255;
  return (*FDc.ClipMask)[static_cast<size_t>(Y) * FTarget.Width() + X];
}

void TfsMetafilePlayer::FillCoverage(
    const std::vector<TFigure> &Figures, bool Winding,
    const std::function<void(int32_t X, int32_t Y, uint8_t Coverage)> &Pixel) {
  TPolygon32 poly;
  poly.SetSmoothed(true);
  poly.SetFillRule(Winding ? pfWinding : pfAlternate);
  bool first = true, any = false;
  for (const TFigure &f : Figures) {
    if (f.Points.size() < 2)
      continue;
    if (!first)
      poly.StartContour();
    first = false;
    for (const TPointD &p : f.Points)
      poly.AppendPoint({ToFixed(p.X), ToFixed(p.Y)});
    any = true;
  }
  if (!any || FTarget.IsBlank() || IsRectEmpty(FTarget.ClipBox()))
    return;
  poly.FillContours(
      FTarget,
      [&](void *, TColor32 *, int32_t X, const uint8_t *Alpha, int32_t Count, int32_t Y) {
        for (int32_t i = 0; i < Count; ++i)
          Pixel(X + i, Y, Alpha ? Alpha[i] : 255);
      },
      nullptr);
}

void TfsMetafilePlayer::BlendAt(int32_t X, int32_t Y, TColor32 C, uint32_t Coverage) {
  const uint32_t a = (AlphaComponent(C) * Coverage * ClipAt(X, Y) + 32512) / 65025;
  if (a == 0)
    return;
  BlendInPlaceProcs[FTarget.CombineMode()](WithAlpha(C, static_cast<int32_t>(a)),
                                           *FTarget.PixelPtr(X, Y));
}

TColor32 TfsMetafilePlayer::BrushColorAt(const TfsMetafileBrush &Brush, int32_t X, int32_t Y,
                                         bool &Draw) const {
  Draw = true;
  switch (Brush.Style) {
  case mbsHatched: {
    const int32_t x = X - FDeviceRect.Left, y = Y - FDeviceRect.Top;
    const bool h = (y & 7) == 0, v = (x & 7) == 0, f = ((x - y) & 7) == 0, b = ((x + y) & 7) == 0;
    bool on = false;
    switch (Brush.Hatch) {
    case 0:
      on = h;
      break;
    case 1:
      on = v;
      break;
    case 2:
      on = f;
      break;
    case 3:
      on = b;
      break;
    case 4:
      on = h || v;
      break;
    default:
      on = f || b;
      break;
    }
    if (on)
      return Brush.Color;
    Draw = FDc.BkOpaque;
    return FDc.BkColor;
  }
  case mbsPattern:
    if (Brush.Pattern && !Brush.Pattern->IsBlank()) {
      const TBitmap32 &p = *Brush.Pattern;
      int32_t x = (X - FDeviceRect.Left) % p.Width(), y = (Y - FDeviceRect.Top) % p.Height();
      if (x < 0)
        x += p.Width();
      if (y < 0)
        y += p.Height();
      const TColor32 c = p.GetPixel(x, y);
      if (Brush.Monochrome)
        return (c & 0xFFFFFF) != 0 ? FDc.BkColor : FDc.TextColor;
      return c;
    }
    return Brush.Color;
  default:
    return Brush.Color;
  }
}

void TfsMetafilePlayer::FillFigures(const std::vector<TFigure> &Figures,
                                    const TfsMetafileBrush &Brush, bool Winding) {
  if (Brush.Style == mbsNull)
    return;
  FillCoverage(Figures, Winding, [&](int32_t X, int32_t Y, uint8_t Coverage) {
    bool draw;
    const TColor32 c = BrushColorAt(Brush, X, Y, draw);
    if (draw)
      BlendAt(X, Y, c, Coverage);
  });
}

void TfsMetafilePlayer::FillSolid(const std::vector<TFigure> &Figures, TColor32 Color,
                                  bool Winding) {
  FillCoverage(Figures, Winding,
               [&](int32_t X, int32_t Y, uint8_t Coverage) { BlendAt(X, Y, Color, Coverage); });
}

void TfsMetafilePlayer::StrokeFigures(const std::vector<TFigure> &Figures) {
  const TfsMetafilePen &pen = FDc.Pen;
  const uint32_t style = pen.Style & mpsStyleMask;
  if (style == mpsNull)
    return;
  const double w = PenDeviceWidth();
  uint32_t cap = pen.Style & mpsEndCapMask, join = pen.Style & mpsJoinMask;
  if (w <= 1.5) {
    // Thin lines keep to whole pixels as the platform draws them.
    cap = mpsEndCapSquare;
    join = mpsJoinMiter;
  }
  std::vector<double> pattern;
  const double unit = w <= 1.5 ? 1 : w;
  switch (style) {
  case mpsDash:
    pattern = w <= 1.5 ? std::vector<double>{18, 6} : std::vector<double>{3 * unit, unit};
    break;
  case mpsDot:
    pattern = w <= 1.5 ? std::vector<double>{3, 3} : std::vector<double>{unit, unit};
    break;
  case mpsDashDot:
    pattern = w <= 1.5 ? std::vector<double>{9, 6, 3, 6}
                       : std::vector<double>{3 * unit, unit, unit, unit};
    break;
  case mpsDashDotDot:
    pattern = w <= 1.5 ? std::vector<double>{9, 3, 3, 3, 3, 3}
                       : std::vector<double>{3 * unit, unit, unit, unit, unit, unit};
    break;
  case mpsAlternate:
    pattern = {1, 1};
    break;
  case mpsUserStyle:
    for (uint32_t d : pen.Dashes)
      pattern.push_back(std::max(1.0, d * (pen.Style & mpsGeometric ? DeviceScale() : 1.0)));
    break;
  default:
    break;
  }
  TOutline solid, dashed;
  bool anyDashed = false;
  for (const TFigure &f : Figures) {
    std::vector<TPointD> pts;
    pts.reserve(f.Points.size());
    for (const TPointD &p : f.Points)
      pts.push_back({p.X + 0.5, p.Y + 0.5});
    std::vector<std::vector<TPointD>> pieces;
    if (!pattern.empty() && Dashes(pts, f.Closed, pattern, pieces)) {
      anyDashed = true;
      // Dashes far outside the clip cost outlines that draw nothing.
      const TRect clip = FTarget.ClipBox();
      for (const auto &piece : pieces) {
        double l = piece[0].X, t = piece[0].Y, r = l, b = t;
        for (const TPointD &q : piece) {
          l = std::min(l, q.X), r = std::max(r, q.X);
          t = std::min(t, q.Y), b = std::max(b, q.Y);
        }
        if (r + w < clip.Left || l - w > clip.Right || b + w < clip.Top || t - w > clip.Bottom)
          continue;
        StrokeOutline(dashed, piece, false, w, cap, join, FDc.MiterLimit);
      }
      if (FDc.BkOpaque)
        StrokeOutline(solid, pts, f.Closed, w, cap, join, FDc.MiterLimit);
    } else
      StrokeOutline(solid, pts, f.Closed, w, cap, join, FDc.MiterLimit);
  }
  if (anyDashed) {
    if (FDc.BkOpaque)
      FillSolid(solid.Figures(), FDc.BkColor, true);
    FillSolid(dashed.Figures(), pen.Color, true);
  } else
    FillSolid(solid.Figures(), pen.Color, true);
}

void TfsMetafilePlayer::Draw(std::vector<TFigure> Figures, bool Fill, bool Stroke) {
  if (FInPath) {
    for (TFigure &f : Figures)
      FPath.push_back(std::move(f));
    return;
  }
  if (Fill)
    FillFigures(Figures, FDc.Brush, FDc.Winding);
  if (Stroke)
    StrokeFigures(Figures);
}

void TfsMetafilePlayer::LineToPoints(const std::vector<TPointD> &Points) {
  // Points continue from the current position.
  if (Points.empty())
    return;
  if (FInPath) {
    if (FPath.empty() || FPath.back().Closed || !FFigureOpen) {
      FPath.push_back({{Dev(FDc.CurX, FDc.CurY)}, false});
      FFigureOpen = true;
    }
    auto &v = FPath.back().Points;
    v.insert(v.end(), Points.begin(), Points.end());
    return;
  }
  std::vector<TPointD> p{Dev(FDc.CurX, FDc.CurY)};
  p.insert(p.end(), Points.begin(), Points.end());
  StrokeFigures({{std::move(p), false}});
}

// ---------------------------------------------------------------------------
// Text

void TfsMetafilePlayer::DrawText(double X, double Y, const std::u16string &Text,
                                 const std::vector<double> &Dx, uint32_t Options,
                                 const TRect *OptRect) {
  const TfsMetafileFont &font = FDc.Font;
  const bool opaqueRect = (Options & etoOpaque) && OptRect && !FInPath;
  // Pictures fill rectangles with an opaque text record of no characters,
  // so the box does not wait for a font.
  if (opaqueRect)
    FillSolid({RectFigure(*OptRect)}, FDc.BkColor, false);
  if (Text.empty())
    return;
  std::lock_guard guard(FreeTypeLock());
  const TfsFaceMatch match = MatchFontFace(font.Face, font.Weight >= 600, font.Italic);
  if (!match.Face)
    return;
  const TfsVerticalMetrics vm = FaceVerticalMetrics(match.Face, OutlineUnitsPerEm);
  const double cell = vm.Ascent + vm.Descent;
  double em = 12;
  if (font.Height < 0)
    em = -double(font.Height);
  else if (font.Height > 0)
    em = cell > 0 ? font.Height * double(OutlineUnitsPerEm) / cell : font.Height;
  const double unit = em / OutlineUnitsPerEm; // logical units per outline unit
  const double det = FToDevice.M11 * FToDevice.M22 - FToDevice.M12 * FToDevice.M21;
  const double s = det >= 0 ? 1 : -1;
  const double theta = font.Escapement / 10.0 * std::numbers::pi / 180;
  const TPointD b{std::cos(theta), -s * std::sin(theta)};
  const TPointD d{s * -b.Y, s * b.X};

  std::vector<const TfsGlyphShape *> glyphs;
  std::vector<double> adv;
  double width = 0;
  for (size_t i = 0; i < Text.size(); ++i) {
    auto key = std::make_pair(match.Face, Text[i]);
    auto it = FGlyphCache->Glyphs.find(key);
    if (it == FGlyphCache->Glyphs.end()) {
      TfsGlyphShape g;
      if (!LoadGlyphShape(match, Text[i], g))
        g = TfsGlyphShape();
      it = FGlyphCache->Glyphs.emplace(key, std::move(g)).first;
    }
    glyphs.push_back(&it->second);
    const double a = i < Dx.size() ? Dx[i] : it->second.Advance * unit;
    adv.push_back(a);
    width += a;
  }
  const bool updateCp = FDc.TextAlign & taUpdateCp;
  if (updateCp) {
    X = FDc.CurX;
    Y = FDc.CurY;
  }
  const double ascent = vm.Ascent * unit, descent = vm.Descent * unit;
  double shift = 0;
  if ((FDc.TextAlign & taCenter) == taCenter)
    shift = -width / 2;
  else if ((FDc.TextAlign & taCenter) == taRight)
    shift = -width;
  double drop = ascent;
  if ((FDc.TextAlign & taBaseline) == taBaseline)
    drop = 0;
  else if ((FDc.TextAlign & taBaseline) == taBottom)
    drop = -descent;
  const TPointD o{X + b.X * shift + d.X * drop, Y + b.Y * shift + d.Y * drop};
  auto at = [&](double along, double down) {
    return Dev(o.X + b.X * along + d.X * down, o.Y + b.Y * along + d.Y * down);
  };
  if (updateCp) {
    if ((FDc.TextAlign & taCenter) == 0) {
      FDc.CurX = X + b.X * width;
      FDc.CurY = Y + b.Y * width;
    }
  }

  const TDcState kept = FDc;
  if ((Options & etoClipped) && OptRect && !FInPath)
    IntersectClip({RectFigure(*OptRect)}, rgnAnd, true);
  if (!opaqueRect && FDc.BkOpaque && width != 0 && !FInPath)
    FillSolid({{{at(0, -ascent), at(width, -ascent), at(width, descent), at(0, descent)}, true}},
              FDc.BkColor, false);

  std::vector<TFigure> figures;
  double pen = 0;
  if (FInPath) {
    // Text inside a path adds its outlines to the path.
    for (size_t i = 0; i < glyphs.size(); ++i) {
      for (const TfsContour &c : glyphs[i]->Contours) {
        TFigure f;
        f.Closed = true;
        for (const TfsOutlinePoint &p : c)
          f.Points.push_back(at(pen + p.X / 65536.0 * unit, p.Y / 65536.0 * unit));
        FPath.push_back(std::move(f));
      }
      pen += adv[i];
    }
    return;
  }
  for (size_t i = 0; i < glyphs.size(); ++i) {
    for (const TfsContour &c : glyphs[i]->Contours) {
      TFigure f;
      f.Closed = true;
      f.Points.reserve(c.size());
      for (const TfsOutlinePoint &p : c)
        f.Points.push_back(at(pen + p.X / 65536.0 * unit, p.Y / 65536.0 * unit));
      figures.push_back(std::move(f));
    }
    pen += adv[i];
  }
  auto bar = [&](double top, double thick) {
    figures.push_back(
        {{at(0, top), at(width, top), at(width, top + thick), at(0, top + thick)}, true});
  };
  const double thick = std::max(em / 20, 1 / std::max(DeviceScale(), 1e-9));
  if (font.Underline)
    bar(em / 10, thick);
  if (font.StrikeOut)
    bar(-em * 0.3, thick);
  FillSolid(figures, FDc.TextColor, true);
  if ((Options & etoClipped) && OptRect)
    RestoreClip(kept);
}

TFigure TfsMetafilePlayer::RectFigure(const TRect &R) const {
  return {{Dev(R.Left, R.Top), Dev(R.Right, R.Top), Dev(R.Right, R.Bottom), Dev(R.Left, R.Bottom)},
          true};
}

// ---------------------------------------------------------------------------
// Bitmaps

namespace {

struct TDib {
  TBitmap32 Bitmap;
  bool BottomUp = true;
};

// Decodes a DIB (header with colour table, then the bits) through the BMP
// reader; false when it is damaged or larger than its bits could hold.
bool DecodeDib(std::string_view Bmi, std::string_view Bits, TDib &Out, bool SourceAlpha) {
  if (Bmi.size() < 12)
    return false;
  const uint32_t hs = U32(Bmi, 0);
  int64_t w, h;
  uint32_t bpp, comp = 0;
  if (hs == 12) {
    w = U16(Bmi, 4);
    h = I16(Bmi, 6);
    bpp = U16(Bmi, 10);
  } else {
    if (hs < 40 || Bmi.size() < 40)
      return false;
    w = I32(Bmi, 4);
    h = I32(Bmi, 8);
    bpp = U16(Bmi, 14);
    comp = U32(Bmi, 16);
  }
  if (w <= 0 || h == 0 || h == INT32_MIN || bpp == 0 || bpp > 32)
    return false;
  const int64_t ah = std::abs(h);
  if (w * ah > MaxDibPixels)
    return false;
  const int64_t stride = ((w * bpp + 31) / 32) * 4;
  if ((comp == 0 || comp == 3 || comp == 6) && stride * ah > int64_t(Bits.size()))
    return false;
  std::string file;
  file.reserve(14 + Bmi.size() + Bits.size());
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i)
      file.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  file += "BM";
  put32(static_cast<uint32_t>(14 + Bmi.size() + Bits.size()));
  put32(0);
  put32(static_cast<uint32_t>(14 + Bmi.size()));
  file.append(Bmi);
  file.append(Bits);
  try {
    TReadOnlyMemoryStream stream(file);
    ReadBmpFromStream(stream, Out.Bitmap);
  } catch (const EfsError &) {
    return false;
  }
  Out.BottomUp = h > 0;
  if (SourceAlpha && bpp == 32 && comp == 0 && Out.Bitmap.Width() == w &&
      Out.Bitmap.Height() == ah) {
    // Premultiplied alpha in the fourth byte, which the BMP form ignores.
    for (int64_t y = 0; y < ah; ++y) {
      const int64_t row = Out.BottomUp ? ah - 1 - y : y;
      for (int64_t x = 0; x < w; ++x) {
        const size_t at = static_cast<size_t>(row * stride + x * 4);
        const uint8_t a = static_cast<uint8_t>(Bits[at + 3]);
        auto un = [&](size_t i) {
          const int v = static_cast<uint8_t>(Bits[at + i]);
          return a ? std::min(255, (v * 255 + a / 2) / a) : 0;
        };
        Out.Bitmap.SetPixel(static_cast<int32_t>(x), static_cast<int32_t>(y),
                            Color32(un(2), un(1), un(0), a));
      }
    }
  }
  return !Out.Bitmap.IsBlank();
}

} // namespace

std::shared_ptr<const TBitmap32> TfsMetafilePlayer::DecodePattern(std::string_view Bmi,
                                                                  std::string_view Bits) {
  TDib dib;
  if (!DecodeDib(Bmi, Bits, dib, false))
    return nullptr;
  auto p = std::make_shared<TBitmap32>();
  p->Assign(dib.Bitmap);
  return p;
}

void TfsMetafilePlayer::DrawDib(std::string_view Bmi, std::string_view Bits, double Dx, double Dy,
                                double Dw, double Dh, double Sx, double Sy, double Sw, double Sh,
                                uint32_t Rop, bool DibOrigin, bool SourceAlpha,
                                uint8_t ConstantAlpha) {
  if (FInPath)
    return;
  TDib dib;
  if (!DecodeDib(Bmi, Bits, dib, SourceAlpha))
    return;
  const TBitmap32 &src = dib.Bitmap;
  const double ih = src.Height();
  if (DibOrigin && dib.BottomUp)
    Sy = ih - Sy - Sh; // a bottom-up DIB counts its rows from the bottom
  const TPointD p0 = Dev(Dx, Dy), pu = Dev(Dx + Dw, Dy), pv = Dev(Dx, Dy + Dh);
  const double ux = pu.X - p0.X, uy = pu.Y - p0.Y, vx = pv.X - p0.X, vy = pv.Y - p0.Y;
  const double det = ux * vy - uy * vx;
  if (!(std::abs(det) > 1e-12) || !std::isfinite(det))
    return;
  const double q = pu.X + vx, r = pu.Y + vy;
  double minX = std::min({p0.X, pu.X, pv.X, q}), maxX = std::max({p0.X, pu.X, pv.X, q});
  double minY = std::min({p0.Y, pu.Y, pv.Y, r}), maxY = std::max({p0.Y, pu.Y, pv.Y, r});
  const TRect clip = FTarget.ClipBox();
  const int32_t x0 = static_cast<int32_t>(std::max<double>(clip.Left, std::floor(minX)));
  const int32_t x1 = static_cast<int32_t>(std::min<double>(clip.Right, std::ceil(maxX)));
  const int32_t y0 = static_cast<int32_t>(std::max<double>(clip.Top, std::floor(minY)));
  const int32_t y1 = static_cast<int32_t>(std::min<double>(clip.Bottom, std::ceil(maxY)));
  const uint32_t rop = Rop3(Rop);
  for (int32_t y = y0; y < y1; ++y)
    for (int32_t x = x0; x < x1; ++x) {
      const double cx = x + 0.5 - p0.X, cy = y + 0.5 - p0.Y;
      const double u = (cx * vy - cy * vx) / det, v = (ux * cy - uy * cx) / det;
      if (u < 0 || u >= 1 || v < 0 || v >= 1)
        continue;
      const double fx = std::floor(Sx + u * Sw), fy = std::floor(Sy + v * Sh);
      if (fx < 0 || fy < 0 || fx >= src.Width() || fy >= ih)
        continue;
      const TColor32 s = src.GetPixel(static_cast<int32_t>(fx), static_cast<int32_t>(fy));
      TColor32 &dst = *FTarget.PixelPtr(x, y);
      const uint8_t m = ClipAt(x, y);
      if (m == 0)
        continue;
      if (SourceAlpha || ConstantAlpha != 255) {
        const uint32_t a = AlphaComponent(s) * ConstantAlpha / 255;
        BlendAt(x, y, WithAlpha(s, static_cast<int32_t>(a)), 255);
        continue;
      }
      // Logic operations see an unpainted pixel as white, so masks laid
      // over a transparent page leave it transparent.
      const TColor32 dRgb = AlphaComponent(dst) == 0 ? 0xFFFFFF : dst & 0xFFFFFF;
      TColor32 out;
      switch (rop) {
      case 0x88: // source and destination
        if ((s & 0xFFFFFF) == 0xFFFFFF)
          continue;
        out = (dRgb & s) | 0xFF000000;
        break;
      case 0xEE: // source or destination
        if ((s & 0xFFFFFF) == 0)
          continue;
        out = (dRgb | s) | 0xFF000000;
        break;
      case 0x66: // source xor destination
        if ((s & 0xFFFFFF) == 0)
          continue;
        out = ((dRgb ^ s) & 0xFFFFFF) | 0xFF000000;
        break;
      case 0x33: // inverted source
        out = (~s & 0xFFFFFF) | 0xFF000000;
        break;
      case 0xAA: // destination unchanged
        continue;
      default:
        out = s;
        break;
      }
      BlendAt(x, y, out, 255);
    }
}

void TfsMetafilePlayer::PatBlt(double X, double Y, double W, double H, uint32_t Rop) {
  std::vector<TFigure> f{{{Dev(X, Y), Dev(X + W, Y), Dev(X + W, Y + H), Dev(X, Y + H)}, true}};
  if (FInPath)
    return;
  switch (Rop3(Rop)) {
  case 0x00:
    FillSolid(f, clBlack32, false);
    break;
  case 0xFF:
    FillSolid(f, clWhite32, false);
    break;
  case 0xF0:
  case 0x5A:
    FillFigures(f, FDc.Brush, false);
    break;
  default:
    break;
  }
}

// ---------------------------------------------------------------------------
// Clipping

void TfsMetafilePlayer::ApplyClipBox() {
  FTarget.SetClipBox(FDc.ClipRect);
}

void TfsMetafilePlayer::RestoreClip(const TDcState &From) {
  FDc.ClipRect = From.ClipRect;
  FDc.ClipMask = From.ClipMask;
  ApplyClipBox();
}

void TfsMetafilePlayer::ResetClip() {
  FDc.ClipRect = FBaseClip;
  FDc.ClipMask.reset();
  ApplyClipBox();
}

void TfsMetafilePlayer::IntersectClip(const std::vector<TFigure> &Figures, int Mode, bool Winding) {
  // An upright rectangle ANDed with a rectangular clip stays a rectangle.
  if (Mode == rgnAnd && !FDc.ClipMask && Figures.size() == 1 && Figures[0].Points.size() == 4) {
    const auto &p = Figures[0].Points;
    const bool upright =
        (p[0].Y == p[1].Y && p[1].X == p[2].X && p[2].Y == p[3].Y && p[3].X == p[0].X) ||
        (p[0].X == p[1].X && p[1].Y == p[2].Y && p[2].X == p[3].X && p[3].Y == p[0].Y);
    if (upright) {
      auto px = [](double v) {
        return static_cast<int32_t>(std::lrint(std::clamp(v, -MaxDeviceCoord, MaxDeviceCoord)));
      };
      const TRect r = Rect(px(std::min(p[0].X, p[2].X)), px(std::min(p[0].Y, p[2].Y)),
                           px(std::max(p[0].X, p[2].X)), px(std::max(p[0].Y, p[2].Y)));
      TRect out;
      IntersectRect(out, FDc.ClipRect, r);
      FDc.ClipRect = out;
      ApplyClipBox();
      return;
    }
  }
  const int32_t w = FTarget.Width(), h = FTarget.Height();
  if (w <= 0 || h <= 0)
    return;
  auto cov = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(w) * h, 0);
  FTarget.SetClipBox(FBaseClip);
  FillCoverage(Figures, Winding, [&](int32_t X, int32_t Y, uint8_t C) {
    (*cov)[static_cast<size_t>(Y) * w + X] = C;
  });
  auto old = [&](int32_t X, int32_t Y) -> uint32_t {
    if (X < FDc.ClipRect.Left || X >= FDc.ClipRect.Right || Y < FDc.ClipRect.Top ||
        Y >= FDc.ClipRect.Bottom)
      return 0;
    return FDc.ClipMask ? (*FDc.ClipMask)[static_cast<size_t>(Y) * w + X] : 255;
  };
  TRect box = Rect(INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN);
  for (int32_t y = FBaseClip.Top; y < FBaseClip.Bottom; ++y)
    for (int32_t x = FBaseClip.Left; x < FBaseClip.Right; ++x) {
      uint8_t &c = (*cov)[static_cast<size_t>(y) * w + x];
      const uint32_t m = old(x, y), n = c;
      uint32_t v;
      switch (Mode) {
      case rgnAnd:
        v = (m * n + 127) / 255;
        break;
      case rgnOr:
        v = std::max(m, n);
        break;
      case rgnXor:
        v = m > n ? m - n : n - m;
        break;
      case rgnDiff:
        v = (m * (255 - n) + 127) / 255;
        break;
      default:
        v = n;
        break;
      }
      c = static_cast<uint8_t>(v);
      if (v) {
        box.Left = std::min(box.Left, x);
        box.Top = std::min(box.Top, y);
        box.Right = std::max(box.Right, x + 1);
        box.Bottom = std::max(box.Bottom, y + 1);
      }
    }
  FDc.ClipRect = box.Left <= box.Right ? box : TRect();
  FDc.ClipMask = std::move(cov);
  ApplyClipBox();
}

// ---------------------------------------------------------------------------
// States

void TfsMetafilePlayer::SaveDc() {
  if (FSaved.size() < MaxSavedStates)
    FSaved.push_back(FDc);
}

void TfsMetafilePlayer::RestoreDc(int32_t Which) {
  // Negative: relative to the latest save; positive: the save's number.
  int64_t index = Which < 0 ? int64_t(FSaved.size()) + Which : int64_t(Which) - 1;
  if (Which == 0 || index < 0 || index >= int64_t(FSaved.size()))
    return;
  FDc = std::move(FSaved[static_cast<size_t>(index)]);
  FSaved.resize(static_cast<size_t>(index));
  UpdateTransform();
  ApplyClipBox();
}

// ---------------------------------------------------------------------------
// Records

namespace {

std::vector<TPointD> Points32(std::string_view P, size_t Offset, uint64_t Count) {
  Need(P, Offset, Count, 8);
  std::vector<TPointD> v(static_cast<size_t>(Count));
  for (size_t i = 0; i < v.size(); ++i)
    v[i] = {double(I32(P, Offset + 8 * i)), double(I32(P, Offset + 8 * i + 4))};
  return v;
}

std::vector<TPointD> Points16(std::string_view P, size_t Offset, uint64_t Count) {
  Need(P, Offset, Count, 4);
  std::vector<TPointD> v(static_cast<size_t>(Count));
  for (size_t i = 0; i < v.size(); ++i)
    v[i] = {double(I16(P, Offset + 4 * i)), double(I16(P, Offset + 4 * i + 2))};
  return v;
}

// A part of an EMF record given by an offset from the record's start.
std::string_view Part(std::string_view P, uint32_t Offset, uint32_t Size) {
  if (Offset < 8)
    throw EMetafileError("Invalid metafile record");
  Need(P, Offset - 8, Size, 1);
  return P.substr(Offset - 8, Size);
}

TRect RectL(std::string_view P, size_t Offset) {
  return Rect(I32(P, Offset), I32(P, Offset + 4), I32(P, Offset + 8), I32(P, Offset + 12));
}

std::u16string Utf16At(std::string_view P, size_t Offset, uint64_t Count) {
  Need(P, Offset, Count, 2);
  std::u16string s(static_cast<size_t>(Count), u'\0');
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<char16_t>(U16(P, Offset + 2 * i));
  return s;
}

std::string FaceName(std::u16string Face) {
  const size_t end = Face.find(u'\0');
  if (end != std::u16string::npos)
    Face.resize(end);
  std::string r;
  for (char16_t c : Face) // face names outside Latin-1 fall back on fontconfig's choice
    if (c < 0x80)
      r.push_back(static_cast<char>(c));
    else if (c < 0x800) {
      r.push_back(static_cast<char>(0xC0 | (c >> 6)));
      r.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  return r.empty() ? std::string("Arial") : r;
}

} // namespace

std::vector<TPointD> TfsMetafilePlayer::ToDevice(const std::vector<TPointD> &Logical) const {
  std::vector<TPointD> d(Logical.size());
  for (size_t i = 0; i < d.size(); ++i)
    d[i] = Dev(Logical[i].X, Logical[i].Y);
  return d;
}

std::vector<TPointD> TfsMetafilePlayer::Beziers(const std::vector<TPointD> &Logical,
                                                bool FromCurrent) const {
  // Flattened in device pixels, so that the curve is as smooth as drawn.
  std::vector<TPointD> ctl = ToDevice(Logical);
  if (FromCurrent)
    ctl.insert(ctl.begin(), Dev(FDc.CurX, FDc.CurY));
  std::vector<TPointD> out;
  if (ctl.empty())
    return out;
  out.push_back(ctl[0]);
  for (size_t i = 0; i + 3 < ctl.size(); i += 3)
    AppendBezier(out, ctl[i], ctl[i + 1], ctl[i + 2], ctl[i + 3]);
  return out;
}

void TfsMetafilePlayer::MoveTo(double X, double Y) {
  FDc.CurX = X;
  FDc.CurY = Y;
  FFigureOpen = false;
}

void TfsMetafilePlayer::PolyDraw(const std::vector<TPointD> &Logical, std::string_view Types) {
  std::vector<TFigure> figures;
  TPointD cur = Dev(FDc.CurX, FDc.CurY);
  std::vector<TPointD> open{cur};
  auto flush = [&](bool closed) {
    if (open.size() > 1)
      figures.push_back({open, closed});
    open = {cur};
  };
  for (size_t i = 0; i < Logical.size(); ++i) {
    const uint8_t t = static_cast<uint8_t>(Types[i]);
    const TPointD p = Dev(Logical[i].X, Logical[i].Y);
    switch (t & ~1u) {
    case 6: // move
      flush(false);
      cur = p;
      open = {cur};
      break;
    case 2: // line
      open.push_back(p);
      cur = p;
      break;
    case 4: // Bezier: this point and the next two
      if (i + 2 < Logical.size()) {
        const TPointD c2 = Dev(Logical[i + 1].X, Logical[i + 1].Y);
        const TPointD e = Dev(Logical[i + 2].X, Logical[i + 2].Y);
        AppendBezier(open, cur, p, c2, e);
        cur = e;
        i += 2;
      }
      break;
    default:
      break;
    }
    if (i < Logical.size())
      FDc.CurX = Logical[i].X, FDc.CurY = Logical[i].Y;
    if ((static_cast<uint8_t>(Types[std::min(i, Logical.size() - 1)]) & 1) != 0) {
      flush(true);
    }
  }
  flush(false);
  if (FInPath) {
    for (TFigure &f : figures)
      FPath.push_back(std::move(f));
    return;
  }
  StrokeFigures(figures);
}

void TfsMetafilePlayer::PlayEmf(const TfsMetafileRecord &R) {
  const std::string_view p = R.Params;
  switch (R.Type) {
  case emrPolygon:
  case emrPolygon16:
  case emrPolyline:
  case emrPolyline16:
  case emrPolyBezier:
  case emrPolyBezier16:
  case emrPolylineTo:
  case emrPolylineTo16:
  case emrPolyBezierTo:
  case emrPolyBezierTo16: {
    const bool wide = R.Type <= emrPolylineTo;
    const uint32_t n = U32(p, 16);
    const std::vector<TPointD> pts = wide ? Points32(p, 20, n) : Points16(p, 20, n);
    if (pts.empty())
      break;
    switch (R.Type) {
    case emrPolygon:
    case emrPolygon16:
      Draw({{ToDevice(pts), true}}, true, true);
      break;
    case emrPolyline:
    case emrPolyline16:
      Draw({{ToDevice(pts), false}}, false, true);
      break;
    case emrPolyBezier:
    case emrPolyBezier16:
      Draw({{Beziers(pts, false), false}}, false, true);
      break;
    case emrPolylineTo:
    case emrPolylineTo16:
      LineToPoints(ToDevice(pts));
      FDc.CurX = pts.back().X, FDc.CurY = pts.back().Y;
      break;
    default: {
      std::vector<TPointD> c = Beziers(pts, true);
      c.erase(c.begin());
      LineToPoints(c);
      const size_t last = pts.size() / 3 * 3;
      if (last > 0)
        FDc.CurX = pts[last - 1].X, FDc.CurY = pts[last - 1].Y;
      break;
    }
    }
    break;
  }
  case emrPolyPolyline:
  case emrPolyPolygon:
  case emrPolyPolyline16:
  case emrPolyPolygon16: {
    const bool wide = R.Type == emrPolyPolyline || R.Type == emrPolyPolygon;
    const bool closed = R.Type == emrPolyPolygon || R.Type == emrPolyPolygon16;
    const uint32_t polys = U32(p, 16), total = U32(p, 20);
    Need(p, 24, polys, 4);
    const size_t at = 24 + size_t(polys) * 4;
    const std::vector<TPointD> pts = wide ? Points32(p, at, total) : Points16(p, at, total);
    std::vector<TFigure> figures;
    size_t k = 0;
    for (uint32_t i = 0; i < polys; ++i) {
      const uint32_t c = U32(p, 24 + 4 * i);
      if (c > pts.size() - k)
        break;
      std::vector<TPointD> f(pts.begin() + k, pts.begin() + k + c);
      figures.push_back({ToDevice(f), closed});
      k += c;
    }
    Draw(std::move(figures), closed, true);
    break;
  }
  case emrPolyDraw:
  case emrPolyDraw16: {
    const uint32_t n = U32(p, 16);
    const bool wide = R.Type == emrPolyDraw;
    const std::vector<TPointD> pts = wide ? Points32(p, 20, n) : Points16(p, 20, n);
    const size_t types = 20 + size_t(n) * (wide ? 8 : 4);
    Need(p, types, n, 1);
    if (n > 0)
      PolyDraw(pts, p.substr(types, n));
    break;
  }
  case emrSetWindowExtEx:
    FDc.WinExtX = I32(p, 0), FDc.WinExtY = I32(p, 4);
    UpdateTransform();
    break;
  case emrSetWindowOrgEx:
    FDc.WinOrgX = I32(p, 0), FDc.WinOrgY = I32(p, 4);
    UpdateTransform();
    break;
  case emrSetViewportExtEx:
    FDc.VpExtX = I32(p, 0), FDc.VpExtY = I32(p, 4);
    UpdateTransform();
    break;
  case emrSetViewportOrgEx:
    FDc.VpOrgX = I32(p, 0), FDc.VpOrgY = I32(p, 4);
    UpdateTransform();
    break;
  case emrScaleViewportExtEx:
  case emrScaleWindowExtEx: {
    const int32_t xn = I32(p, 0), xd = I32(p, 4), yn = I32(p, 8), yd = I32(p, 12);
    if (xd == 0 || yd == 0)
      break;
    double &ex = R.Type == emrScaleViewportExtEx ? FDc.VpExtX : FDc.WinExtX;
    double &ey = R.Type == emrScaleViewportExtEx ? FDc.VpExtY : FDc.WinExtY;
    ex = ex * xn / xd;
    ey = ey * yn / yd;
    UpdateTransform();
    break;
  }
  case emrSetMapMode: {
    const uint32_t m = U32(p, 0);
    if (m >= mmText && m <= mmAnisotropic) {
      FDc.MapMode = m;
      UpdateTransform();
    }
    break;
  }
  case emrSetWorldTransform:
  case emrModifyWorldTransform: {
    TMatrix x;
    x.M11 = F32(p, 0), x.M12 = F32(p, 4), x.M21 = F32(p, 8), x.M22 = F32(p, 12);
    x.Dx = F32(p, 16), x.Dy = F32(p, 20);
    for (double v : {x.M11, x.M12, x.M21, x.M22, x.Dx, x.Dy})
      if (!std::isfinite(v))
        return;
    const uint32_t mode = R.Type == emrSetWorldTransform ? 4 : U32(p, 24);
    auto mul = [](const TMatrix &a, const TMatrix &b) {
      TMatrix r;
      r.M11 = a.M11 * b.M11 + a.M12 * b.M21;
      r.M12 = a.M11 * b.M12 + a.M12 * b.M22;
      r.M21 = a.M21 * b.M11 + a.M22 * b.M21;
      r.M22 = a.M21 * b.M12 + a.M22 * b.M22;
      r.Dx = a.Dx * b.M11 + a.Dy * b.M21 + b.Dx;
      r.Dy = a.Dx * b.M12 + a.Dy * b.M22 + b.Dy;
      return r;
    };
    switch (mode) {
    case 1:
      FDc.World = TMatrix();
      break;
    case 2:
      FDc.World = mul(x, FDc.World);
      break;
    case 3:
      FDc.World = mul(FDc.World, x);
      break;
    case 4:
      FDc.World = x;
      break;
    default:
      return;
    }
    UpdateTransform();
    break;
  }
  case emrSetPixelV: {
    const double x = I32(p, 0), y = I32(p, 4);
    const TPointD d = Dev(x, y);
    const double px = std::floor(d.X), py = std::floor(d.Y);
    if (!FInPath)
      FillSolid({{{{px, py}, {px + 1, py}, {px + 1, py + 1}, {px, py + 1}}, true}},
                FromColorRef(U32(p, 8)), false);
    break;
  }
  case emrSetBkMode:
    FDc.BkOpaque = U32(p, 0) == 2;
    break;
  case emrSetPolyFillMode:
    FDc.Winding = U32(p, 0) == 2;
    break;
  case emrSetTextAlign:
    FDc.TextAlign = U32(p, 0);
    break;
  case emrSetTextColor:
    FDc.TextColor = FromColorRef(U32(p, 0));
    break;
  case emrSetBkColor:
    FDc.BkColor = FromColorRef(U32(p, 0));
    break;
  case emrSetArcDirection:
    FDc.Clockwise = U32(p, 0) == 2;
    break;
  case emrSetMiterLimit: {
    const uint32_t v = U32(p, 0);
    FDc.MiterLimit = v >= 1 && v < 1000 ? double(v) : 10.0;
    break;
  }
  case emrMoveToEx:
    MoveTo(I32(p, 0), I32(p, 4));
    break;
  case emrLineTo: {
    const double x = I32(p, 0), y = I32(p, 4);
    LineToPoints({Dev(x, y)});
    FDc.CurX = x, FDc.CurY = y;
    break;
  }
  case emrExcludeClipRect:
  case emrIntersectClipRect:
    IntersectClip({RectFigure(RectL(p, 0))}, R.Type == emrIntersectClipRect ? rgnAnd : rgnDiff,
                  true);
    break;
  case emrSaveDc:
    SaveDc();
    break;
  case emrRestoreDc:
    RestoreDc(I32(p, 0));
    break;
  case emrSelectObject: {
    const uint32_t i = U32(p, 0);
    if (i & 0x80000000u)
      SelectStock(i & 0x7FFFFFFFu);
    else
      SelectStored(i);
    break;
  }
  case emrDeleteObject:
    DeleteStored(U32(p, 0));
    break;
  case emrCreatePen: {
    TObject o;
    o.Kind = TObject::okPen;
    o.Pen.Style = U32(p, 4) & ~mpsGeometric;
    o.Pen.Width = I32(p, 8);
    o.Pen.Color = FromColorRef(U32(p, 16));
    StoreObject(U32(p, 0), std::move(o));
    break;
  }
  case emrExtCreatePen: {
    TObject o;
    o.Kind = TObject::okPen;
    o.Pen.Style = U32(p, 20);
    o.Pen.Width = (o.Pen.Style & mpsGeometric) ? I32(p, 24) : 0;
    o.Pen.Color = FromColorRef(U32(p, 32));
    if (U32(p, 28) == mbsNull)
      o.Pen.Style = (o.Pen.Style & ~uint32_t(mpsStyleMask)) | mpsNull;
    if ((o.Pen.Style & mpsStyleMask) == mpsUserStyle) {
      const uint32_t n = U32(p, 40);
      Need(p, 44, n, 4);
      for (uint32_t i = 0; i < n; ++i)
        o.Pen.Dashes.push_back(U32(p, 44 + 4 * i));
    }
    StoreObject(U32(p, 0), std::move(o));
    break;
  }
  case emrCreateBrushIndirect: {
    TObject o;
    o.Kind = TObject::okBrush;
    const uint32_t style = U32(p, 4);
    o.Brush.Style = style == mbsNull || style == mbsHatched ? style : uint32_t(mbsSolid);
    o.Brush.Color = FromColorRef(U32(p, 8));
    o.Brush.Hatch = U32(p, 12);
    StoreObject(U32(p, 0), std::move(o));
    break;
  }
  case emrCreateMonoBrush:
  case emrCreateDibPatternBrushPt: {
    TObject o;
    o.Kind = TObject::okBrush;
    o.Brush.Style = mbsPattern;
    o.Brush.Color = 0xFF808080;
    o.Brush.Pattern =
        DecodePattern(Part(p, U32(p, 8), U32(p, 12)), Part(p, U32(p, 16), U32(p, 20)));
    o.Brush.Monochrome = R.Type == emrCreateMonoBrush;
    if (!o.Brush.Pattern)
      o.Brush.Style = mbsSolid;
    StoreObject(U32(p, 0), std::move(o));
    break;
  }
  case emrExtCreateFontIndirectW: {
    TObject o;
    o.Kind = TObject::okFont;
    o.Font.Height = I32(p, 4);
    o.Font.Escapement = I32(p, 12);
    o.Font.Weight = I32(p, 20);
    o.Font.Italic = U8(p, 24) != 0;
    o.Font.Underline = U8(p, 25) != 0;
    o.Font.StrikeOut = U8(p, 26) != 0;
    const size_t avail = p.size() > 32 ? std::min<size_t>(32, (p.size() - 32) / 2) : 0;
    o.Font.Face = FaceName(Utf16At(p, 32, avail));
    StoreObject(U32(p, 0), std::move(o));
    break;
  }
  case emrCreatePalette:
  case emrCreateColorSpace:
  case emrCreateColorSpaceW: {
    TObject o;
    o.Kind = TObject::okOther;
    StoreObject(U32(p, 0), std::move(o));
    break;
  }
  case emrRectangle:
  case emrEllipse: {
    const TRect b = RectL(p, 0);
    BoxShape(b.Left, b.Top, b.Right, b.Bottom, R.Type == emrRectangle ? bkRectangle : bkEllipse, 0,
             0, 0, 0, 0, 0);
    break;
  }
  case emrRoundRect: {
    const TRect b = RectL(p, 0);
    BoxShape(b.Left, b.Top, b.Right, b.Bottom, bkRoundRect, I32(p, 16), I32(p, 20), 0, 0, 0, 0);
    break;
  }
  case emrArc:
  case emrChord:
  case emrPie:
  case emrArcTo: {
    const TRect b = RectL(p, 0);
    const double x1 = I32(p, 16), y1 = I32(p, 20), x2 = I32(p, 24), y2 = I32(p, 28);
    if (R.Type == emrArcTo) {
      std::vector<TPointD> a = ArcPoints(b.Left, b.Top, b.Right, b.Bottom, x1, y1, x2, y2);
      LineToPoints(a);
      const double cx = (b.Left + b.Right) / 2.0, cy = (b.Top + b.Bottom) / 2.0;
      const double rx = (b.Right - b.Left) / 2.0, ry = (b.Bottom - b.Top) / 2.0;
      const double ang = std::atan2((y2 - cy) / (ry != 0 ? ry : 1), (x2 - cx) / (rx != 0 ? rx : 1));
      FDc.CurX = cx + rx * std::cos(ang), FDc.CurY = cy + ry * std::sin(ang);
      break;
    }
    const int kind = R.Type == emrArc ? bkArc : R.Type == emrChord ? bkChord : bkPie;
    BoxShape(b.Left, b.Top, b.Right, b.Bottom, kind, 0, 0, x1, y1, x2, y2);
    break;
  }
  case emrAngleArc: {
    const double cx = I32(p, 0), cy = I32(p, 4), r = U32(p, 8);
    const double a0 = F32(p, 12) * std::numbers::pi / 180, sw = F32(p, 16) * std::numbers::pi / 180;
    if (!std::isfinite(a0) || !std::isfinite(sw))
      break;
    const int n =
        std::max(2, static_cast<int>(std::ceil(SegmentsFor(r * DeviceScaleMax()) *
                                               std::min(std::abs(sw), 2 * std::numbers::pi) /
                                               (2 * std::numbers::pi))));
    std::vector<TPointD> a;
    double ex = cx, ey = cy;
    for (int i = 0; i <= n; ++i) {
      const double t = a0 + sw * i / n;
      ex = cx + r * std::cos(t), ey = cy - r * std::sin(t);
      a.push_back(Dev(ex, ey));
    }
    LineToPoints(a);
    FDc.CurX = ex, FDc.CurY = ey;
    break;
  }
  case emrBeginPath:
    FInPath = true;
    FFigureOpen = false;
    FPath.clear();
    break;
  case emrEndPath:
    FInPath = false;
    break;
  case emrAbortPath:
    FInPath = false;
    FPath.clear();
    break;
  case emrCloseFigure:
    if (FInPath && !FPath.empty()) {
      FPath.back().Closed = true;
      FFigureOpen = false;
    }
    break;
  case emrFillPath:
  case emrStrokeAndFillPath:
  case emrStrokePath: {
    if (FInPath)
      break;
    std::vector<TFigure> path = std::move(FPath);
    FPath.clear();
    if (R.Type != emrStrokePath)
      FillFigures(path, FDc.Brush, FDc.Winding);
    if (R.Type != emrFillPath)
      StrokeFigures(path);
    break;
  }
  case emrSelectClipPath: {
    if (FInPath)
      break;
    const uint32_t mode = U32(p, 0);
    if (mode >= rgnAnd && mode <= rgnCopy)
      IntersectClip(FPath, static_cast<int>(mode), FDc.Winding);
    FPath.clear();
    break;
  }
  case emrExtSelectClipRgn: {
    const uint32_t size = U32(p, 0), mode = U32(p, 4);
    if (mode == rgnCopy && size == 0) {
      ResetClip();
      break;
    }
    if (mode < rgnAnd || mode > rgnCopy)
      break;
    IntersectClip(RegionFigures(p, 8, size, true), static_cast<int>(mode), true);
    break;
  }
  case emrFillRgn:
  case emrPaintRgn: {
    const uint32_t size = U32(p, 16);
    TfsMetafileBrush brush = FDc.Brush;
    size_t at = 20;
    if (R.Type == emrFillRgn) {
      const uint32_t ih = U32(p, 20);
      const TDcState kept = FDc;
      if (ih & 0x80000000u)
        SelectStock(ih & 0x7FFFFFFFu);
      else
        SelectStored(ih);
      brush = FDc.Brush;
      FDc.Brush = kept.Brush;
      FDc.Pen = kept.Pen;
      FDc.Font = kept.Font;
      at = 24;
    }
    if (!FInPath)
      FillFigures(RegionFigures(p, at, size, false), brush, true);
    break;
  }
  case emrBitBlt:
  case emrStretchBlt:
  case emrAlphaBlend:
  case emrStretchDiBits:
  case emrSetDiBitsToDevice:
    PlayEmfBitmap(R);
    break;
  case emrExtTextOutA:
  case emrExtTextOutW: {
    const uint32_t n = U32(p, 36), offString = U32(p, 40), options = U32(p, 44);
    const uint32_t offDx = U32(p, 64);
    if (options & 0x0010) // glyph indices, not characters: no way to map them back
      break;
    std::u16string text;
    if (R.Type == emrExtTextOutW)
      text = Utf16At(p, offString >= 8 ? offString - 8 : p.size() + 1, n);
    else
      text = Latin1(Part(p, offString, n));
    std::vector<double> dx;
    if (offDx >= 8) {
      const size_t per = (options & etoPdy) ? 8 : 4;
      if (offDx - 8 <= p.size() && n <= (p.size() - (offDx - 8)) / per)
        for (uint32_t i = 0; i < n; ++i)
          dx.push_back(I32(p, offDx - 8 + per * i));
    }
    const TRect rc = RectL(p, 48);
    DrawText(I32(p, 28), I32(p, 32), text, dx, options, &rc);
    break;
  }
  default:
    break; // header, end of file, comments (EMF+ among them) and what is not drawn
  }
}

std::vector<TFigure> TfsMetafilePlayer::RegionFigures(std::string_view P, size_t Offset,
                                                      uint32_t Size, bool Device) const {
  Need(P, Offset, Size, 1);
  const std::string_view r = P.substr(Offset, Size);
  const uint32_t header = U32(r, 0), count = U32(r, 8);
  Need(r, header, count, 16);
  std::vector<TFigure> figures;
  for (uint32_t i = 0; i < count; ++i) {
    const TRect q = RectL(r, header + 16 * size_t(i));
    auto map = [&](double x, double y) { return Device ? FFrameMap.Apply(x, y) : Dev(x, y); };
    figures.push_back(
        {{map(q.Left, q.Top), map(q.Right, q.Top), map(q.Right, q.Bottom), map(q.Left, q.Bottom)},
         true});
  }
  return figures;
}

void TfsMetafilePlayer::PlayEmfBitmap(const TfsMetafileRecord &R) {
  const std::string_view p = R.Params;
  switch (R.Type) {
  case emrBitBlt:
  case emrStretchBlt:
  case emrAlphaBlend: {
    const double x = I32(p, 16), y = I32(p, 20), w = I32(p, 24), h = I32(p, 28);
    const uint32_t rop = U32(p, 32);
    const uint32_t cbBmi = U32(p, 80);
    if (cbBmi == 0) {
      if (R.Type != emrAlphaBlend)
        PatBlt(x, y, w, h, rop);
      return;
    }
    const std::string_view bmi = Part(p, U32(p, 76), cbBmi);
    const std::string_view bits = Part(p, U32(p, 84), U32(p, 88));
    double sw = w, sh = h;
    if (R.Type != emrBitBlt)
      sw = I32(p, 92), sh = I32(p, 96);
    const bool alpha = R.Type == emrAlphaBlend;
    const uint8_t constant = alpha ? static_cast<uint8_t>((rop >> 16) & 0xFF) : 255;
    const bool srcAlpha = alpha && ((rop >> 24) & 1);
    DrawDib(bmi, bits, x, y, w, h, I32(p, 36), I32(p, 40), sw, sh, alpha ? ropSrcCopy : rop, false,
            srcAlpha, constant);
    return;
  }
  case emrStretchDiBits: {
    const std::string_view bmi = Part(p, U32(p, 40), U32(p, 44));
    const std::string_view bits = Part(p, U32(p, 48), U32(p, 52));
    DrawDib(bmi, bits, I32(p, 16), I32(p, 20), I32(p, 64), I32(p, 68), I32(p, 24), I32(p, 28),
            I32(p, 32), I32(p, 36), U32(p, 60), true, false, 255);
    return;
  }
  case emrSetDiBitsToDevice: {
    std::string bmi(Part(p, U32(p, 40), U32(p, 44)));
    const std::string_view bits = Part(p, U32(p, 48), U32(p, 52));
    const uint32_t start = U32(p, 60), scans = U32(p, 64);
    // The bits hold only rows start .. start + scans of the picture.
    if (bmi.size() >= 40 && U32(bmi, 0) >= 40 && scans > 0 && scans < 0x7FFFFFFF) {
      const int32_t h = I32(bmi, 8);
      const int32_t nh = h < 0 ? -static_cast<int32_t>(scans) : static_cast<int32_t>(scans);
      for (int i = 0; i < 4; ++i)
        bmi[8 + i] = static_cast<char>((static_cast<uint32_t>(nh) >> (8 * i)) & 0xFF);
    }
    const double w = I32(p, 32), h = I32(p, 36);
    DrawDib(bmi, bits, I32(p, 16), I32(p, 20), w, h, I32(p, 24), double(I32(p, 28)) - double(start),
            w, h, ropSrcCopy, true, false, 255);
    return;
  }
  default:
    return;
  }
}

void TfsMetafilePlayer::PlayWmf(const TfsMetafileRecord &R) {
  const std::string_view p = R.Params;
  switch (R.Type) {
  case metaSetBkColor:
    FDc.BkColor = FromColorRef(U32(p, 0));
    break;
  case metaSetTextColor:
    FDc.TextColor = FromColorRef(U32(p, 0));
    break;
  case metaSetBkMode:
    FDc.BkOpaque = U16(p, 0) == 2;
    break;
  case metaSetPolyFillMode:
    FDc.Winding = U16(p, 0) == 2;
    break;
  case metaSetTextAlign:
    FDc.TextAlign = U16(p, 0);
    break;
  case metaSetMapMode: {
    const uint16_t m = U16(p, 0);
    FDc.MapMode = m == mmIsotropic ? mmIsotropic : mmAnisotropic;
    UpdateTransform();
    break;
  }
  case metaSetWindowOrg:
    FDc.WinOrgY = I16(p, 0), FDc.WinOrgX = I16(p, 2);
    UpdateTransform();
    break;
  case metaSetWindowExt:
    FDc.WinExtY = I16(p, 0), FDc.WinExtX = I16(p, 2);
    UpdateTransform();
    break;
  case metaOffsetWindowOrg:
    FDc.WinOrgY += I16(p, 0), FDc.WinOrgX += I16(p, 2);
    UpdateTransform();
    break;
  case metaScaleWindowExt: {
    const int16_t yd = I16(p, 0), yn = I16(p, 2), xd = I16(p, 4), xn = I16(p, 6);
    if (xd != 0 && yd != 0) {
      FDc.WinExtX = FDc.WinExtX * xn / xd;
      FDc.WinExtY = FDc.WinExtY * yn / yd;
      UpdateTransform();
    }
    break;
  }
  case metaMoveTo:
    MoveTo(I16(p, 2), I16(p, 0));
    break;
  case metaLineTo: {
    const double x = I16(p, 2), y = I16(p, 0);
    LineToPoints({Dev(x, y)});
    FDc.CurX = x, FDc.CurY = y;
    break;
  }
  case metaPolygon:
  case metaPolyline: {
    const int16_t n = I16(p, 0);
    if (n <= 0)
      break;
    const bool closed = R.Type == metaPolygon;
    Draw({{ToDevice(Points16(p, 2, static_cast<uint64_t>(n))), closed}}, closed, true);
    break;
  }
  case metaPolyPolygon: {
    const uint16_t polys = U16(p, 0);
    Need(p, 2, polys, 2);
    uint64_t total = 0;
    for (uint16_t i = 0; i < polys; ++i)
      total += U16(p, 2 + 2 * size_t(i));
    const std::vector<TPointD> pts = Points16(p, 2 + 2 * size_t(polys), total);
    std::vector<TFigure> figures;
    size_t k = 0;
    for (uint16_t i = 0; i < polys; ++i) {
      const uint16_t c = U16(p, 2 + 2 * size_t(i));
      std::vector<TPointD> f(pts.begin() + k, pts.begin() + k + c);
      figures.push_back({ToDevice(f), true});
      k += c;
    }
    Draw(std::move(figures), true, true);
    break;
  }
  case metaRectangle:
  case metaEllipse:
    BoxShape(I16(p, 6), I16(p, 4), I16(p, 2), I16(p, 0),
             R.Type == metaRectangle ? bkRectangle : bkEllipse, 0, 0, 0, 0, 0, 0);
    break;
  case metaRoundRect:
    BoxShape(I16(p, 10), I16(p, 8), I16(p, 6), I16(p, 4), bkRoundRect, I16(p, 2), I16(p, 0), 0, 0,
             0, 0);
    break;
  case metaArc:
  case metaPie:
  case metaChord: {
    const int kind = R.Type == metaArc ? bkArc : R.Type == metaPie ? bkPie : bkChord;
    BoxShape(I16(p, 14), I16(p, 12), I16(p, 10), I16(p, 8), kind, 0, 0, I16(p, 6), I16(p, 4),
             I16(p, 2), I16(p, 0));
    break;
  }
  case metaSetPixel: {
    const TPointD d = Dev(I16(p, 6), I16(p, 4));
    const double px = std::floor(d.X), py = std::floor(d.Y);
    FillSolid({{{{px, py}, {px + 1, py}, {px + 1, py + 1}, {px, py + 1}}, true}},
              FromColorRef(U32(p, 0)), false);
    break;
  }
  case metaExcludeClipRect:
  case metaIntersectClipRect:
    IntersectClip({RectFigure(Rect(I16(p, 6), I16(p, 4), I16(p, 2), I16(p, 0)))},
                  R.Type == metaIntersectClipRect ? rgnAnd : rgnDiff, true);
    break;
  case metaSaveDc:
    SaveDc();
    break;
  case metaRestoreDc:
    RestoreDc(I16(p, 0));
    break;
  case metaSelectObject:
    SelectStored(U16(p, 0));
    break;
  case metaDeleteObject:
    DeleteStored(U16(p, 0));
    break;
  case metaCreatePenIndirect: {
    TObject o;
    o.Kind = TObject::okPen;
    o.Pen.Style = U16(p, 0);
    o.Pen.Width = I16(p, 2);
    o.Pen.Color = FromColorRef(U32(p, 6));
    WmfCreate(std::move(o));
    break;
  }
  case metaCreateBrushIndirect: {
    TObject o;
    o.Kind = TObject::okBrush;
    const uint16_t style = U16(p, 0);
    o.Brush.Style = style == mbsNull || style == mbsHatched ? style : uint32_t(mbsSolid);
    o.Brush.Color = FromColorRef(U32(p, 2));
    o.Brush.Hatch = U16(p, 6);
    WmfCreate(std::move(o));
    break;
  }
  case metaDibCreatePatternBrush: {
    TObject o;
    o.Kind = TObject::okBrush;
    o.Brush.Style = mbsSolid;
    o.Brush.Color = 0xFF808080;
    if (U16(p, 0) != mbsPattern && p.size() > 4) {
      try {
        const std::string_view dib = p.substr(4);
        const size_t hs = DibHeaderSize(dib);
        o.Brush.Pattern = DecodePattern(dib.substr(0, hs), dib.substr(hs));
        if (o.Brush.Pattern)
          o.Brush.Style = mbsPattern;
      } catch (const EfsError &) {
        // A brush that cannot be read still takes its slot.
      }
    }
    WmfCreate(std::move(o));
    break;
  }
  case metaCreateFontIndirect: {
    TObject o;
    o.Kind = TObject::okFont;
    o.Font.Height = I16(p, 0);
    o.Font.Escapement = I16(p, 4);
    o.Font.Weight = I16(p, 8);
    o.Font.Italic = U8(p, 10) != 0;
    o.Font.Underline = U8(p, 11) != 0;
    o.Font.StrikeOut = U8(p, 12) != 0;
    const std::u16string face = p.size() > 18 ? Latin1(p.substr(18, 32)) : std::u16string();
    o.Font.Face = FaceName(face);
    WmfCreate(std::move(o));
    break;
  }
  case metaCreatePatternBrush: {
    TObject o;
    o.Kind = TObject::okBrush;
    o.Brush.Color = 0xFF808080;
    WmfCreate(std::move(o));
    break;
  }
  case metaCreatePalette:
  case metaCreateRegion: {
    TObject o;
    o.Kind = TObject::okOther;
    WmfCreate(std::move(o));
    break;
  }
  case metaTextOut: {
    const int16_t n = I16(p, 0);
    if (n <= 0)
      break;
    Need(p, 2, static_cast<uint64_t>(n), 1);
    const size_t after = 2 + ((static_cast<size_t>(n) + 1) & ~size_t(1));
    const double y = I16(p, after), x = I16(p, after + 2);
    DrawText(x, y, Latin1(p.substr(2, n)), {}, 0, nullptr);
    break;
  }
  case metaExtTextOut: {
    const double y = I16(p, 0), x = I16(p, 2);
    const int16_t n = I16(p, 4);
    const uint16_t options = U16(p, 6);
    size_t at = 8;
    TRect rc;
    if (options & (etoOpaque | etoClipped)) {
      rc = Rect(I16(p, 8), I16(p, 10), I16(p, 12), I16(p, 14));
      at = 16;
    }
    if (n < 0)
      break;
    Need(p, at, static_cast<uint64_t>(n), 1);
    const std::u16string text = Latin1(p.substr(at, n));
    std::vector<double> dx;
    const size_t dxAt = at + ((static_cast<size_t>(n) + 1) & ~size_t(1));
    if (n > 0 && dxAt <= p.size() && (p.size() - dxAt) / 2 >= static_cast<size_t>(n))
      for (int16_t i = 0; i < n; ++i)
        dx.push_back(I16(p, dxAt + 2 * size_t(i)));
    DrawText(x, y, text, dx, options, (options & (etoOpaque | etoClipped)) ? &rc : nullptr);
    break;
  }
  case metaPatBlt:
    PatBlt(I16(p, 10), I16(p, 8), I16(p, 6), I16(p, 4), U32(p, 0));
    break;
  case metaStretchDib: {
    const std::string_view dib = p.substr(std::min<size_t>(22, p.size()));
    const size_t hs = DibHeaderSize(dib);
    DrawDib(dib.substr(0, hs), dib.substr(hs), I16(p, 20), I16(p, 18), I16(p, 16), I16(p, 14),
            I16(p, 12), I16(p, 10), I16(p, 8), I16(p, 6), U32(p, 0), true, false, 255);
    break;
  }
  case metaDibStretchBlt:
  case metaDibBitBlt: {
    const bool stretch = R.Type == metaDibStretchBlt;
    const size_t dibAt = stretch ? 20 : 16;
    if (p.size() <= dibAt + 2) { // no source: a pattern fill
      PatBlt(I16(p, dibAt - 2), I16(p, dibAt - 4), I16(p, dibAt - 6), I16(p, dibAt - 8), U32(p, 0));
      break;
    }
    const std::string_view dib = p.substr(dibAt);
    const size_t hs = DibHeaderSize(dib);
    if (stretch)
      DrawDib(dib.substr(0, hs), dib.substr(hs), I16(p, 18), I16(p, 16), I16(p, 14), I16(p, 12),
              I16(p, 10), I16(p, 8), I16(p, 6), I16(p, 4), U32(p, 0), true, false, 255);
    else
      DrawDib(dib.substr(0, hs), dib.substr(hs), I16(p, 14), I16(p, 12), I16(p, 10), I16(p, 8),
              I16(p, 6), I16(p, 4), I16(p, 10), I16(p, 8), U32(p, 0), true, false, 255);
    break;
  }
  case metaSetDibToDev: {
    const std::string_view dib = p.substr(std::min<size_t>(18, p.size()));
    const size_t hs = DibHeaderSize(dib);
    const double w = I16(p, 12), h = I16(p, 10);
    DrawDib(dib.substr(0, hs), dib.substr(hs), I16(p, 16), I16(p, 14), w, h, I16(p, 8), I16(p, 6),
            w, h, ropSrcCopy, true, false, 255);
    break;
  }
  default:
    break;
  }
}
