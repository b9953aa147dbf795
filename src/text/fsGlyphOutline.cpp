#include "text/fsGlyphOutline.h"

#include FT_OUTLINE_H
#include FT_BBOX_H

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

int64_t Legs(TfsOutlinePoint a, TfsOutlinePoint b, TfsOutlinePoint c) {
  auto d = [](int32_t u, int32_t v) { return std::llabs(int64_t(u) - v); };
  return d(a.X, b.X) + d(a.Y, b.Y) + d(b.X, c.X) + d(b.Y, c.Y);
}

// Depth guard only; real outlines meet the tolerance long before it.
constexpr int MaxDepth = 32;

void FlattenQuad(TfsContour &out, TfsOutlinePoint a, TfsOutlinePoint b, TfsOutlinePoint e,
                 int depth) {
  if (a == b || b == e || depth >= MaxDepth) {
    out.push_back(b);
    out.push_back(e);
    return;
  }
  TfsOutlinePoint m1 = OutlineMid(a, b), m2 = OutlineMid(b, e), p = OutlineMid(m1, m2);
  if (Legs(a, m1, p) > OutlineTolerance)
    FlattenQuad(out, a, m1, p, depth + 1);
  else {
    out.push_back(m1);
    out.push_back(p);
  }
  if (Legs(p, m2, e) > OutlineTolerance)
    FlattenQuad(out, p, m2, e, depth + 1);
  else {
    out.push_back(m2);
    out.push_back(e);
  }
}

// Cubic pieces follow the quadratic rule: split at the middle, and once a
// half's control polygon is within the tolerance its points are taken as they
// are.
void FlattenCubic(TfsContour &out, TfsOutlinePoint a, TfsOutlinePoint b, TfsOutlinePoint c,
                  TfsOutlinePoint e, int depth) {
  if ((a == b && c == e) || depth >= MaxDepth) {
    out.push_back(b);
    out.push_back(c);
    out.push_back(e);
    return;
  }
  TfsOutlinePoint m1 = OutlineMid(a, b), m2 = OutlineMid(b, c), m3 = OutlineMid(c, e);
  TfsOutlinePoint n1 = OutlineMid(m1, m2), n2 = OutlineMid(m2, m3), p = OutlineMid(n1, n2);
  if (Legs(a, m1, n1) + Legs(n1, n1, p) > OutlineTolerance)
    FlattenCubic(out, a, m1, n1, p, depth + 1);
  else {
    out.push_back(m1);
    out.push_back(n1);
    out.push_back(p);
  }
  if (Legs(p, n2, m3) + Legs(m3, m3, e) > OutlineTolerance)
    FlattenCubic(out, p, n2, m3, e, depth + 1);
  else {
    out.push_back(n2);
    out.push_back(m3);
    out.push_back(e);
  }
}

TfsOutlinePoint From26Dot6(const FT_Vector &v) {
  return {Clamp32(int64_t(v.x) * 1024), Clamp32(int64_t(v.y) * 1024)};
}

} // namespace

TfsOutlinePoint OutlineMid(TfsOutlinePoint a, TfsOutlinePoint b) {
  return {static_cast<int32_t>((int64_t(a.X) + b.X) / 2),
          static_cast<int32_t>((int64_t(a.Y) + b.Y) / 2)};
}

TfsContours FlattenNativeOutline(const std::vector<TfsNativeContour> &native) {
  TfsContours result;
  result.reserve(native.size());
  for (const auto &nc : native) {
    TfsContour out;
    out.push_back(nc.Start);
    TfsOutlinePoint cur = nc.Start;
    for (const auto &rec : nc.Records) {
      const auto &q = rec.Points;
      switch (rec.Kind) {
      case orLine:
        for (const auto &p : q) {
          if (!(p == out.back()))
            out.push_back(p);
          cur = p;
        }
        break;
      case orQSpline:
        for (size_t i = 0; i + 1 < q.size(); ++i) {
          TfsOutlinePoint e = i + 2 < q.size() ? OutlineMid(q[i], q[i + 1]) : q.back();
          FlattenQuad(out, cur, q[i], e, 0);
          cur = e;
        }
        break;
      case orCSpline:
        for (size_t i = 0; i + 2 < q.size(); i += 3) {
          FlattenCubic(out, cur, q[i], q[i + 1], q[i + 2], 0);
          cur = q[i + 2];
        }
        break;
      }
    }
    if (!(cur == nc.Start))
      out.push_back(nc.Start);
    for (auto &p : out)
      p.Y = Clamp32(-int64_t(p.Y));
    result.push_back(std::move(out));
  }
  return result;
}

std::vector<TfsNativeContour> NativeOutlineFromFreeType(const FT_Outline &outline) {
  std::vector<TfsNativeContour> result;
  int first = 0;
  for (int c = 0; c < outline.n_contours; ++c) {
    int last = outline.contours[c];
    if (last < first || last >= outline.n_points)
      break;
    auto pt = [&](int i) { return From26Dot6(outline.points[i]); };
    auto tag = [&](int i) { return FT_CURVE_TAG(outline.tags[i]); };

    TfsNativeContour nc;
    int from = first, to = last;
    if (tag(first) == FT_CURVE_TAG_ON) {
      nc.Start = pt(first);
      from = first + 1;
    } else if (tag(last) == FT_CURVE_TAG_ON) {
      nc.Start = pt(last);
      to = last - 1;
    } else {
      // Both ends off the curve: the contour starts at their implied midpoint.
      FT_Vector m{(outline.points[first].x + outline.points[last].x) / 2,
                  (outline.points[first].y + outline.points[last].y) / 2};
      nc.Start = From26Dot6(m);
    }

    std::vector<TfsOutlinePoint> conics, cubics;
    auto onPoint = [&](TfsOutlinePoint p, bool closing) {
      if (!conics.empty()) {
        conics.push_back(p);
        nc.Records.push_back({orQSpline, std::move(conics)});
        conics.clear();
      } else if (!cubics.empty()) {
        if (cubics.size() == 1) // a lone cubic control acts as a quadratic one
          nc.Records.push_back({orQSpline, {cubics[0], p}});
        else
          nc.Records.push_back({orCSpline, {cubics[0], cubics[1], p}});
        cubics.clear();
      } else if (!closing) {
        if (nc.Records.empty() || nc.Records.back().Kind != orLine)
          nc.Records.push_back({orLine, {}});
        nc.Records.back().Points.push_back(p);
      }
    };
    for (int i = from; i <= to; ++i) {
      TfsOutlinePoint p = pt(i);
      switch (tag(i)) {
      case FT_CURVE_TAG_ON:
        onPoint(p, false);
        break;
      case FT_CURVE_TAG_CONIC:
        conics.push_back(p);
        break;
      default:
        if (cubics.size() == 2) {
          TfsOutlinePoint mid = OutlineMid(cubics[1], p);
          nc.Records.push_back({orCSpline, {cubics[0], cubics[1], mid}});
          cubics.clear();
        }
        cubics.push_back(p);
        break;
      }
    }
    onPoint(nc.Start, true);
    result.push_back(std::move(nc));
    first = last + 1;
  }
  return result;
}

bool LoadGlyphShape(const TfsFaceMatch &match, char16_t ch, TfsGlyphShape &shape) {
  std::lock_guard guard(FreeTypeLock());
  FT_Face face = match.Face;
  if (!face || FT_Set_Pixel_Sizes(face, OutlineUnitsPerEm, OutlineUnitsPerEm) != 0)
    return false;
  FT_UInt index = FT_Get_Char_Index(face, ch);
  if (FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0)
    return false;
  FT_GlyphSlot slot = face->glyph;
  SynthesizeStyle(slot, match);
  shape = TfsGlyphShape();
  shape.Advance = static_cast<int32_t>(std::lrint(slot->advance.x / 64.0));
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE || slot->outline.n_points == 0 ||
      slot->outline.n_contours <= 0)
    return true;
  FT_BBox box;
  FT_Outline_Get_BBox(&slot->outline, &box);
  auto floorPx = [](FT_Pos v) { return static_cast<int32_t>(std::floor(v / 64.0)); };
  auto ceilPx = [](FT_Pos v) { return static_cast<int32_t>(std::ceil(v / 64.0)); };
  shape.OriginX = floorPx(box.xMin);
  shape.OriginY = ceilPx(box.yMax);
  shape.BlackBoxX = ceilPx(box.xMax) - floorPx(box.xMin);
  shape.BlackBoxY = ceilPx(box.yMax) - floorPx(box.yMin);
  shape.Contours = FlattenNativeOutline(NativeOutlineFromFreeType(slot->outline));
  shape.HasOutline = !shape.Contours.empty();
  return true;
}
