#pragma once

#include "text/fsFreeType.h"

#include <cstdint>
#include <vector>

// Glyph outlines at 1000 units per em. The font engine's outline is first put
// into the native record form (a start point and line, quadratic and cubic
// spline records per contour, y pointing up, 16.16 fixed), then flattened into
// straight-edged contours with y pointing down.

// The size every outline is taken at; font sizes scale from it.
constexpr int32_t OutlineUnitsPerEm = 1000;

struct TfsOutlinePoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TfsOutlinePoint &, const TfsOutlinePoint &) = default;
};

using TfsContour = std::vector<TfsOutlinePoint>;
using TfsContours = std::vector<TfsContour>;

enum TfsOutlineRecordKind : uint16_t { orLine = 1, orQSpline = 2, orCSpline = 3 };

struct TfsOutlineRecord {
  TfsOutlineRecordKind Kind = orLine;
  std::vector<TfsOutlinePoint> Points;
};

struct TfsNativeContour {
  TfsOutlinePoint Start;
  std::vector<TfsOutlineRecord> Records;
};

// Flattening tolerance: 20 em units in 16.16.
inline constexpr int64_t OutlineTolerance = 20 * 65536;

// Midpoint per coordinate, truncated towards zero.
TfsOutlinePoint OutlineMid(TfsOutlinePoint a, TfsOutlinePoint b);

// Flattens native contours: quadratic pieces by midpoint subdivision within
// the tolerance, cubic pieces likewise, then y negated.
TfsContours FlattenNativeOutline(const std::vector<TfsNativeContour> &native);

// The native record form of a FreeType outline given in 26.6 units.
std::vector<TfsNativeContour> NativeOutlineFromFreeType(const FT_Outline &outline);

// A character's metrics (em units, origin y pointing up as the font engine
// gives it) and its flattened outline.
struct TfsGlyphShape {
  int32_t Advance = 0;
  int32_t OriginX = 0;
  int32_t OriginY = 0;
  int32_t BlackBoxX = 0;
  int32_t BlackBoxY = 0;
  bool HasOutline = false;
  TfsContours Contours;
};

// Loads character ch (a UTF-16 code unit) from the matched face at 1000
// pixels per em, unhinted. Characters the face lacks give its missing glyph.
// Returns false when the face cannot be sized or the glyph cannot be loaded.
bool LoadGlyphShape(const TfsFaceMatch &face, char16_t ch, TfsGlyphShape &shape);
