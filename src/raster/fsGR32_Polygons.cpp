#include "raster/fsGR32_Polygons.h"

#include "raster/fsGR32_Polygons_avx2.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

struct TSubsampling {
  int32_t SS;    // subsamples per axis
  int32_t Shift; // log2(SS)
  int32_t Conv;  // 16.16 to subsample units: (v + 2047) >> Conv
  int32_t K;     // coverage count to alpha * 256
};

constexpr TSubsampling Subsamplings[3] = {{16, 4, 12, 273}, {8, 3, 13, 1167}, {4, 2, 14, 5460}};

__extension__ using TInt128 = __int128;

// a * b / c without overflow of the product, truncating, saturated to 64 bits.
int64_t MulDiv64(int64_t a, int64_t b, int64_t c) {
  const TInt128 q = static_cast<TInt128>(a) * b / c;
  if (q > std::numeric_limits<int64_t>::max())
    return std::numeric_limits<int64_t>::max();
  if (q < std::numeric_limits<int64_t>::min())
    return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(q);
}

int32_t Sat32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// Crossings of every edge, per (sub)scanline. A crossing is stored as
// (x << 1) | up, so that sorting the values sorts by x.
struct TScanTable {
  int64_t MinY = 0;
  int64_t MaxY = -1;
  std::vector<int32_t> Offset; // Rows() + 1 entries into Cross
  std::vector<int64_t> Cross;
  int64_t Rows() const { return MaxY - MinY + 1; }
  const int64_t *RowBegin(int64_t Row) const { return Cross.data() + Offset[Row - MinY]; }
  const int64_t *RowEnd(int64_t Row) const { return Cross.data() + Offset[Row - MinY + 1]; }
};

struct TVertex {
  int64_t X;
  int64_t Y;
};

// The contours that have edges, transformed and in table units, and their
// y range.
struct TTableContours {
  std::vector<std::vector<TVertex>> Polys;
  int64_t MinY = std::numeric_limits<int64_t>::max();
  int64_t MaxY = std::numeric_limits<int64_t>::min();
};

TTableContours TableContours(const TArrayOfArrayOfFixedPoint &Contours,
                             const TPolygonTransformation *T, bool Smoothed,
                             const TSubsampling &S) {
  TTableContours out;
  out.Polys.reserve(Contours.size());
  for (const auto &contour : Contours) {
    if (contour.size() < 3)
      continue; // no edges; antialiased ones do not even count for the y range
    std::vector<TVertex> poly;
    poly.reserve(contour.size());
    for (const TFixedPoint &p0 : contour) {
      const TFixedPoint p = T ? T->Transform(p0) : p0;
      TVertex v;
      if (Smoothed) {
        v.X = (static_cast<int64_t>(p.X) + 2047) >> S.Conv;
        v.Y = (static_cast<int64_t>(p.Y) + 2047) >> S.Conv;
      } else {
        v.X = ((static_cast<int64_t>(p.X) + 32767) >> 16) * 256;
        v.Y = (static_cast<int64_t>(p.Y) + 32767) >> 16;
      }
      out.MinY = std::min(out.MinY, v.Y);
      out.MaxY = std::max(out.MaxY, v.Y);
      poly.push_back(v);
    }
    out.Polys.push_back(std::move(poly));
  }
  return out;
}

// Calls Fn(a, b) for every edge from a to b that is not horizontal.
template <class F> void ForEachEdge(const std::vector<std::vector<TVertex>> &Polys, F &&Fn) {
  for (const auto &poly : Polys) {
    const size_t n = poly.size();
    for (size_t j = 0; j < n; ++j) {
      const TVertex &a = poly[j == 0 ? n - 1 : j - 1];
      const TVertex &b = poly[j];
      if (a.Y != b.Y)
        Fn(a, b);
    }
  }
}

// Pass 1: how many crossings each row gets, as the row offsets into a
// Cross of the right size. Every edge covers the rows from its upper end to
// its lower end, the lower one excluded, so that a closed contour crosses
// each row an even number of times and the shape covers exactly the rows
// between its top and bottom.
void CountCrossings(const std::vector<std::vector<TVertex>> &Polys, TScanTable &Table) {
  const int64_t minY = Table.MinY, maxY = Table.MaxY;
  const int64_t rows = Table.Rows();
  std::vector<int32_t> count(static_cast<size_t>(rows) + 1, 0);
  ForEachEdge(Polys, [&](const TVertex &a, const TVertex &b) {
    const int64_t lo = std::max(std::min(a.Y, b.Y), minY);
    const int64_t hi = std::min(std::max(a.Y, b.Y), maxY + 1);
    if (lo < hi) {
      ++count[lo - minY];
      --count[hi - minY];
    }
  });
  Table.Offset.assign(static_cast<size_t>(rows) + 1, 0);
  int32_t running = 0;
  int32_t total = 0;
  for (int64_t r = 0; r < rows; ++r) {
    running += count[r];
    Table.Offset[r] = total;
    total += running;
  }
  Table.Offset[rows] = total;
  Table.Cross.assign(static_cast<size_t>(total), 0);
}

// Pass 2, one edge: walks it downward from its upper end with the integer
// DDA, storing its crossings (x clamped to XLo..XHi) at each row's Cursor.
void WalkEdge(const TVertex &a, const TVertex &b, int64_t XLo, int64_t XHi, TScanTable &Table,
              std::vector<int32_t> &Cursor) {
  const int64_t minY = Table.MinY, maxY = Table.MaxY;
  const bool up = b.Y < a.Y;
  const TVertex &top = up ? b : a;
  const TVertex &bottom = up ? a : b;
  if (bottom.Y <= minY || top.Y > maxY)
    return;
  const int64_t dy = bottom.Y - top.Y;
  const int64_t dx = std::abs(bottom.X - top.X);
  const int64_t sx = bottom.X > top.X ? 1 : (bottom.X < top.X ? -1 : 0);
  int64_t e = (dx % dy) / 2;
  int64_t x = top.X;
  int64_t row = top.Y;
  if (row < minY && dx <= 2 * dy) {
    // Rows above the table in one step: without the third correction the
    // walk has subtracted dy exactly floor((e + k dx - 1) / dy) times.
    const int64_t k = minY - row;
    const int64_t E = e + k * dx;
    const int64_t n = E >= 1 ? (E - 1) / dy : 0;
    x += sx * n;
    e = E - n * dy;
    row = minY;
  }
  const int64_t last = std::min(bottom.Y, maxY + 1);
  for (; row < last; ++row) {
    if (row >= minY) {
      const int64_t cx = std::clamp(x, XLo, XHi);
      Table.Cross[Cursor[row - minY]++] = (cx << 1) | (up ? 1 : 0);
    }
    e += dx;
    if (e > dy) {
      x += sx;
      e -= dy;
      if (e > dy) {
        x += sx;
        e -= dy;
        if (e > dy) {
          const int64_t q = (dy + e - 1) / dy;
          x += sx * q;
          e -= dy * q;
        }
      }
    }
  }
}

// Each row's crossings in order of x.
void SortCrossings(TScanTable &Table) {
  for (int64_t r = 0; r < Table.Rows(); ++r) {
    int64_t *b = Table.Cross.data() + Table.Offset[r];
    int64_t *e = Table.Cross.data() + Table.Offset[r + 1];
    if (e - b == 2) {
      if (b[1] < b[0])
        std::swap(b[0], b[1]);
    } else if (e - b > 2) {
      std::sort(b, e);
    }
  }
}

// Builds the table of a polygon's contours clipped to Clip; false when
// nothing is to be drawn. Antialiased tables are in subsample units, aliased
// ones have whole-pixel rows and x in 24.8.
bool BuildScanTable(const TArrayOfArrayOfFixedPoint &Contours, const TPolygonTransformation *T,
                    bool Smoothed, const TSubsampling &S, const TRect &Clip, TScanTable &Table) {
  const TTableContours polys = TableContours(Contours, T, Smoothed, S);
  if (polys.Polys.empty())
    return false;

  const int64_t unit = Smoothed ? S.SS : 256;
  const int64_t yUnit = Smoothed ? S.SS : 1;
  // The aliased table stops at the last row inside the clip too, so that an
  // edge starting on the bottom border cannot put a span below the bitmap.
  const int64_t yLo = Clip.Top * yUnit;
  const int64_t yHi = Clip.Bottom * yUnit - 1;
  const int64_t xLo = Clip.Left * unit;
  const int64_t xHi = Clip.Right * unit - 1;
  const int64_t minY = std::max(polys.MinY, yLo);
  const int64_t maxY = std::min(polys.MaxY, yHi);
  if (minY >= maxY)
    return false;
  Table.MinY = minY;
  Table.MaxY = maxY;

  CountCrossings(polys.Polys, Table);
  std::vector<int32_t> cursor(Table.Offset.begin(), Table.Offset.end() - 1);
  ForEachEdge(polys.Polys,
              [&](const TVertex &a, const TVertex &b) { WalkEdge(a, b, xLo, xHi, Table, cursor); });
  SortCrossings(Table);
  return true;
}

inline int64_t CrossX(int64_t c) {
  return c >> 1;
}
inline bool CrossUp(int64_t c) {
  return (c & 1) != 0;
}

// Calls Span(start, end) for every span of one row under the fill rule.
template <class F> void RowSpans(const int64_t *b, const int64_t *e, TPolyFillMode Rule, F &&Span) {
  if (Rule == pfAlternate) {
    // An unpaired last crossing cannot come from closed contours; it is
    // ignored rather than trusted.
    for (; e - b >= 2; b += 2)
      Span(CrossX(b[0]), CrossX(b[1]));
  } else {
    int32_t wind = 0;
    int64_t start = 0;
    for (; b < e; ++b) {
      const int32_t before = wind;
      wind += CrossUp(*b) ? 1 : -1;
      if (before == 0 && wind != 0)
        start = CrossX(*b);
      else if (before != 0 && wind == 0)
        Span(start, CrossX(*b));
    }
  }
}

// Calls Row(Y, c0, cover, count): the antialiased coverage counts of pixel
// row Y from column c0 on.
template <class F>
void ForEachCoverageRow(const TScanTable &Table, const TSubsampling &S, TPolyFillMode Rule,
                        F &&Row) {
  const int64_t ss = S.SS;
  const int32_t full = S.SS * (S.SS - 1);
  std::vector<int32_t> cover;
  for (int64_t Y = Table.MinY >> S.Shift; Y <= Table.MaxY >> S.Shift; ++Y) {
    const int64_t r0 = std::max(Y * ss, Table.MinY);
    const int64_t r1 = std::min(Y * ss + ss - 1, Table.MaxY);
    int64_t minX = std::numeric_limits<int64_t>::max();
    int64_t maxX = std::numeric_limits<int64_t>::min();
    for (int64_t r = r0; r <= r1; ++r) {
      const int64_t *b = Table.RowBegin(r);
      const int64_t *e = Table.RowEnd(r);
      if (b != e) {
        minX = std::min(minX, CrossX(b[0]));
        maxX = std::max(maxX, CrossX(e[-1]));
      }
    }
    if (minX > maxX)
      continue;
    const int64_t c0 = minX >> S.Shift;
    const size_t n = static_cast<size_t>((maxX >> S.Shift) - c0 + 2);
    if (cover.size() < n)
      cover.resize(n + 64);
    std::fill(cover.begin(), cover.begin() + static_cast<ptrdiff_t>(n), 0);
    const int64_t mask = ss - 1;
    for (int64_t r = r0; r <= r1; ++r) {
      RowSpans(Table.RowBegin(r), Table.RowEnd(r), Rule, [&](int64_t x1, int64_t x2) {
        const size_t i1 = static_cast<size_t>((x1 >> S.Shift) - c0);
        const int32_t m1 = static_cast<int32_t>(x1 & mask);
        cover[i1] += (S.SS - 1) - m1;
        cover[i1 + 1] += m1;
        const size_t i2 = static_cast<size_t>((x2 >> S.Shift) - c0);
        const int32_t m2 = static_cast<int32_t>(x2 & mask);
        cover[i2] -= (S.SS - 1) - m2;
        cover[i2 + 1] -= m2;
      });
    }
    CoverageRunningSum(cover.data(), n, full);
    Row(static_cast<int32_t>(Y), static_cast<int32_t>(c0), cover.data(), static_cast<int32_t>(n));
  }
}

// Calls Span(Y, first, last) for the aliased spans (both ends inclusive),
// clipped to the clip box's columns. A span covers the pixels whose centres
// lie between its two crossings.
template <class F>
void ForEachAliasedSpan(const TScanTable &Table, TPolyFillMode Rule, const TRect &Clip, F &&Span) {
  for (int64_t Y = Table.MinY; Y <= Table.MaxY; ++Y) {
    int64_t prevLast = std::numeric_limits<int64_t>::min();
    RowSpans(Table.RowBegin(Y), Table.RowEnd(Y), Rule, [&](int64_t x1, int64_t x2) {
      int64_t first = (x1 + 128) >> 8;
      const int64_t last = std::min<int64_t>(((x2 + 128) >> 8) - 1, Clip.Right - 1);
      first = std::max({first, prevLast + 1, static_cast<int64_t>(Clip.Left)});
      if (last >= first) {
        Span(static_cast<int32_t>(Y), static_cast<int32_t>(first), static_cast<int32_t>(last));
        prevLast = last;
      }
    });
  }
}

const TSubsampling &SubsamplingOf(TSubsampleMode Mode) {
  return Subsamplings[Mode <= sm4x ? Mode : sm8x];
}

TRect EffectiveClip(const TBitmap32 &B) {
  TRect r;
  IntersectRect(r, B.ClipBox(), B.BoundsRect());
  return r;
}

} // namespace

// ---------------------------------------------------------------------------

TPolygon32::TPolygon32() {
  FContours.emplace_back();
}

void TPolygon32::CopyPropertiesTo(TPolygon32 &Dst) const {
  Dst.FSmoothed = FSmoothed;
  Dst.FSubsampleMode = FSubsampleMode;
  Dst.FClosedPath = FClosedPath;
  Dst.FFillRule = FFillRule;
}

void TPolygon32::AssignTo(TPolygon32 &Dst) const {
  if (&Dst == this)
    return;
  CopyPropertiesTo(Dst);
  Dst.FNormals = FNormals;
  Dst.FContours = FContours;
}

void TPolygon32::AppendPoint(const TFixedPoint &P) {
  FContours.back().push_back(P);
  FNormals.clear();
}

void TPolygon32::AppendPoints(const TFixedPoint *Points, int32_t Count) {
  if (Count > 0 && Points)
    FContours.back().insert(FContours.back().end(), Points, Points + Count);
  FNormals.clear();
}

void TPolygon32::StartContour() {
  FContours.emplace_back();
  FNormals.clear();
}

void TPolygon32::ClearContours() {
  FContours.clear();
  FNormals.clear();
  StartContour();
}

void TPolygon32::Translate(TFixed Dx, TFixed Dy) {
  for (auto &contour : FContours)
    for (TFixedPoint &p : contour) {
      p.X = Sat32(static_cast<int64_t>(p.X) + Dx);
      p.Y = Sat32(static_cast<int64_t>(p.Y) + Dy);
    }
  FNormals.clear();
}

void TPolygon32::StrokeEdges(TBitmap32 &Bitmap, TColor32 c, const TPolygonTransformation *T) {
  if (Bitmap.IsBlank())
    return;
  TUpdateScope bracket(Bitmap, true);
  for (const auto &contour : FContours) {
    const size_t n = contour.size();
    if (n == 0)
      continue;
    std::vector<TFixedPoint> pts(n);
    for (size_t i = 0; i < n; ++i)
      pts[i] = T ? T->Transform(contour[i]) : contour[i];
    if (FSmoothed) {
      if (n == 1) {
        if (FClosedPath)
          Bitmap.PutPixelSubpixelClipped(pts[0].X, pts[0].Y, c);
        continue;
      }
      for (size_t i = 0; i + 1 < n; ++i)
        Bitmap.DrawLineSmooth(pts[i].X, pts[i].Y, pts[i + 1].X, pts[i + 1].Y, c, false);
      if (FClosedPath)
        Bitmap.DrawLineSmooth(pts[n - 1].X, pts[n - 1].Y, pts[0].X, pts[0].Y, c, false);
    } else {
      std::vector<TPoint> ip(n);
      for (size_t i = 0; i < n; ++i)
        ip[i] = {static_cast<int32_t>((static_cast<int64_t>(pts[i].X) + 32767) >> 16),
                 static_cast<int32_t>((static_cast<int64_t>(pts[i].Y) + 32767) >> 16)};
      if (n == 1) {
        if (FClosedPath)
          Bitmap.BlendPixelClipped(ip[0].X, ip[0].Y, c);
        continue;
      }
      const bool opaque = AlphaComponent(c) == 255;
      auto line = [&](const TPoint &a, const TPoint &b) {
        if (opaque)
          Bitmap.DrawLine(a.X, a.Y, b.X, b.Y, c, false);
        else
          Bitmap.DrawLineBlend(a.X, a.Y, b.X, b.Y, c, false);
      };
      for (size_t i = 0; i + 1 < n; ++i)
        line(ip[i], ip[i + 1]);
      if (FClosedPath)
        line(ip[n - 1], ip[0]);
    }
  }
}

void TPolygon32::FillContours(TBitmap32 &Bitmap, TColor32 c, const TPolygonTransformation *T) {
  if (Bitmap.IsBlank())
    return;
  TUpdateScope bracket(Bitmap, true);
  const TRect clip = EffectiveClip(Bitmap);
  if (IsRectEmpty(clip))
    return;
  const TSubsampling &S = SubsamplingOf(FSubsampleMode);
  TScanTable table;
  if (!BuildScanTable(FContours, T, FSmoothed, S, clip, table))
    return;
  const TCombineMode mode = Bitmap.CombineMode();
  const TColor32 rgb = c & 0xFFFFFF;
  const TColor32 master = c >> 24;
  if (FSmoothed && mode == cmBlend) {
    // The scaled blend, lane by lane: weight W = ((alpha + 1) * M) >> 8 and
    // (F * W + B * (256 - W) + 128) >> 8, where W = 0 leaves B as it is, so
    // no pixel needs a test and the lane loop vectorises.
    std::vector<uint16_t> fl, wl;
    const uint16_t fb = static_cast<uint16_t>(c & 255), fg = static_cast<uint16_t>((c >> 8) & 255),
                   fr = static_cast<uint16_t>((c >> 16) & 255);
    ForEachCoverageRow(
        table, S, FFillRule, [&](int32_t Y, int32_t c0, const int32_t *cover, int32_t n) {
          const int32_t len = std::min(n, clip.Right - c0);
          if (len <= 0)
            return;
          const size_t lanes = static_cast<size_t>(len) * 4;
          if (fl.size() < lanes) {
            // The colour lanes never change: only the alpha lanes are set
            // per row.
            const size_t from = fl.size();
            fl.resize(lanes + 256);
            wl.resize(lanes + 256);
            for (size_t l = from; l < fl.size(); l += 4)
              fl[l] = fb, fl[l + 1] = fg, fl[l + 2] = fr;
          }
          for (int32_t i = 0; i < len; ++i) {
            const uint32_t alpha = (static_cast<uint32_t>(cover[i] * S.K) & 0xFF00) >> 8;
            const uint64_t w = ((alpha + 1) * master) >> 8;
            fl[static_cast<size_t>(i) * 4 + 3] = static_cast<uint16_t>(alpha);
            const uint64_t w4 = w * 0x0001000100010001u;
            std::memcpy(wl.data() + static_cast<size_t>(i) * 4, &w4, sizeof w4);
          }
          uint8_t *d = reinterpret_cast<uint8_t *>(Bitmap.PixelPtr(c0, Y));
          fsPolygonKernels::BlendLanes(d, fl.data(), wl.data(), lanes);
        });
  } else if (FSmoothed) {
    const TBlendScaledSpanProc blend = BlendScaledSpanProcs[mode];
    std::vector<TColor32> colours;
    ForEachCoverageRow(
        table, S, FFillRule, [&](int32_t Y, int32_t c0, const int32_t *cover, int32_t n) {
          // Cells past the clip box only ever hold zero coverage.
          const int32_t len = std::min(n, clip.Right - c0);
          if (len <= 0)
            return;
          if (colours.size() < static_cast<size_t>(len))
            colours.resize(static_cast<size_t>(len) + 64);
          for (int32_t i = 0; i < len; ++i) {
            const uint32_t alpha = (static_cast<uint32_t>(cover[i] * S.K) & 0xFF00) >> 8;
            colours[i] = (alpha << 24) | rgb;
          }
          blend(colours.data(), Bitmap.PixelPtr(c0, Y), len, master);
        });
  } else {
    const TBlendInPlaceProc blend = BlendInPlaceProcs[mode];
    const bool opaque = master == 255;
    ForEachAliasedSpan(table, FFillRule, clip, [&](int32_t Y, int32_t x1, int32_t x2) {
      TColor32 *p = Bitmap.PixelPtr(x1, Y);
      const int32_t n = x2 - x1 + 1;
      if (opaque)
        std::fill(p, p + n, c);
      else
        for (int32_t i = 0; i < n; ++i)
          blend(c, p[i]);
    });
  }
}

void TPolygon32::FillContours(TBitmap32 &Bitmap, const TFillSpanEvent &Callback, void *UserObject,
                              const TPolygonTransformation *T) {
  if (Bitmap.IsBlank() || !Callback)
    return;
  TUpdateScope bracket(Bitmap, true);
  const TRect clip = EffectiveClip(Bitmap);
  if (IsRectEmpty(clip))
    return;
  const TSubsampling &S = SubsamplingOf(FSubsampleMode);
  TScanTable table;
  if (!BuildScanTable(FContours, T, FSmoothed, S, clip, table))
    return;
  if (FSmoothed) {
    std::vector<uint8_t> alphas;
    ForEachCoverageRow(table, S, FFillRule,
                       [&](int32_t Y, int32_t c0, const int32_t *cover, int32_t n) {
                         const int32_t len = std::min(n, clip.Right - c0);
                         if (len <= 0)
                           return;
                         if (alphas.size() < static_cast<size_t>(len))
                           alphas.resize(static_cast<size_t>(len) + 64);
                         for (int32_t i = 0; i < len; ++i)
                           alphas[i] = static_cast<uint8_t>((cover[i] * S.K) >> 8);
                         Callback(UserObject, Bitmap.PixelPtr(c0, Y), c0, alphas.data(), len, Y);
                       });
  } else {
    ForEachAliasedSpan(table, FFillRule, clip, [&](int32_t Y, int32_t x1, int32_t x2) {
      Callback(UserObject, Bitmap.PixelPtr(x1, Y), x1, nullptr, x2 - x1 + 1, Y);
    });
  }
}

void TPolygon32::ComputeNormals() {
  if (!FNormals.empty())
    return;
  FNormals.resize(FContours.size());
  for (size_t c = 0; c < FContours.size(); ++c) {
    const TArrayOfFixedPoint &pts = FContours[c];
    TArrayOfFixedPoint &normals = FNormals[c];
    const size_t n = pts.size();
    normals.assign(n, TFixedPoint{});
    if (n < 2)
      continue; // one point keeps the normal (0, 0)
    double dx = 0;
    double dy = 0;
    for (size_t k = 0; k < n; ++k) {
      if (k + 1 < n || FClosedPath) {
        const TFixedPoint &next = k + 1 < n ? pts[k + 1] : pts[0];
        dx = static_cast<double>(static_cast<int64_t>(next.X) - pts[k].X) / 65536.0;
        dy = static_cast<double>(static_cast<int64_t>(next.Y) - pts[k].Y) / 65536.0;
        const double len = std::hypot(dx, dy);
        if (len != 0) {
          dx /= len;
          dy /= len;
        }
      }
      normals[k] = {static_cast<TFixed>(std::lrint(dy * 65536.0)),
                    static_cast<TFixed>(std::lrint(-dx * 65536.0))};
    }
  }
}

std::unique_ptr<TPolygon32> TPolygon32::Inflate(TFixed Delta, float EdgeSharpness) {
  ComputeNormals();
  auto result = std::make_unique<TPolygon32>();
  CopyPropertiesTo(*result);
  if (!(EdgeSharpness >= 0.0f)) // also NaN
    EdgeSharpness = 0.0f;
  EdgeSharpness = std::min(EdgeSharpness, 0.99f);
  const int64_t threshold =
      std::llrint(static_cast<double>(1.0f - EdgeSharpness) * static_cast<double>(Delta));

  if (Delta == 0) {
    result->FContours = FContours;
    return result;
  }
  result->FContours.clear();
  const int64_t d = Delta;
  auto scaled = [d](const TFixedPoint &n) {
    return TVertex{static_cast<int64_t>(n.X) * d / 65536, static_cast<int64_t>(n.Y) * d / 65536};
  };
  auto add = [](TArrayOfFixedPoint &out, const TFixedPoint &p, int64_t ox, int64_t oy) {
    ox = std::clamp<int64_t>(ox, -(int64_t(1) << 40), int64_t(1) << 40);
    oy = std::clamp<int64_t>(oy, -(int64_t(1) << 40), int64_t(1) << 40);
    out.push_back({Sat32(p.X + ox), Sat32(p.Y + oy)});
  };
  for (size_t c = 0; c < FContours.size(); ++c) {
    const TArrayOfFixedPoint &pts = FContours[c];
    const TArrayOfFixedPoint &normals = FNormals[c];
    const size_t n = pts.size();
    if (n < 2)
      continue;
    TArrayOfFixedPoint out;
    out.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
      const TFixedPoint &P = pts[i];
      const TVertex Nc = scaled(normals[i]);
      if (!FClosedPath && i == 0) {
        add(out, P, Nc.X, Nc.Y);
        continue;
      }
      const TVertex Np = scaled(normals[i == 0 ? n - 1 : i - 1]);
      if (!FClosedPath && i == n - 1) {
        add(out, P, Np.X, Np.Y);
        continue;
      }
      const int64_t sX = Np.X + Nc.X;
      const int64_t sY = Np.Y + Nc.Y;
      const int64_t L = MulDiv64(Np.X, sX, d) + MulDiv64(Np.Y, sY, d);
      // L and the threshold carry the sign of Delta, so a shrinking polygon
      // compares them the other way round; a zero length (a reversal) takes
      // the bevel instead of dividing by it.
      const bool mitre = d > 0 ? L > threshold : L < threshold;
      if (mitre && L != 0) {
        add(out, P, MulDiv64(sX, d, L), MulDiv64(sY, d, L));
      } else {
        add(out, P, Np.X, Np.Y);
        add(out, P, Nc.X, Nc.Y);
      }
    }
    result->FContours.push_back(std::move(out));
  }
  if (result->FContours.empty())
    result->FContours.emplace_back();
  return result;
}

std::unique_ptr<TPolygon32> TPolygon32::TraceBothWays() const {
  auto result = std::make_unique<TPolygon32>();
  CopyPropertiesTo(*result);
  result->FContours.clear();
  for (const auto &contour : FContours) {
    if (contour.size() < 2)
      continue;
    if (FClosedPath) {
      result->FContours.push_back(contour);
      result->FContours.emplace_back(contour.rbegin(), contour.rend());
    } else {
      TArrayOfFixedPoint both(contour);
      both.insert(both.end(), contour.rbegin(), contour.rend());
      result->FContours.push_back(std::move(both));
    }
  }
  if (result->FContours.empty())
    result->FContours.emplace_back();
  return result;
}
