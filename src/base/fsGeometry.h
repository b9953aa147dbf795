#pragma once

#include <cstdint>

// Points, rectangles and sizes shared by every layer: whole pixels, and
// single-precision millimetres or pixels.

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPoint &, const TPoint &) = default;
};

// Left/Top inclusive, Right/Bottom exclusive.
struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  friend bool operator==(const TRect &, const TRect &) = default;
};

struct TFloatRect {
  float Left = 0;
  float Top = 0;
  float Right = 0;
  float Bottom = 0;
  friend bool operator==(const TFloatRect &, const TFloatRect &) = default;
};

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  friend bool operator==(const TSize &, const TSize &) = default;
};

struct TFloatPoint {
  float X = 0;
  float Y = 0;
  friend bool operator==(const TFloatPoint &, const TFloatPoint &) = default;
};

constexpr TPoint Point(int32_t X, int32_t Y) {
  return {X, Y};
}

constexpr TFloatPoint FloatPoint(float X, float Y) {
  return {X, Y};
}

constexpr TRect Rect(int32_t L, int32_t T, int32_t R, int32_t B) {
  return {L, T, R, B};
}

constexpr TFloatRect FloatRect(float L, float T, float R, float B) {
  return {L, T, R, B};
}

// True when the rectangle covers no pixel.
constexpr bool IsRectEmpty(const TRect &r) {
  return r.Right <= r.Left || r.Bottom <= r.Top;
}

// The common part; false (and an empty Dst) when there is none.
bool IntersectRect(TRect &Dst, const TRect &A, const TRect &B);

// Cosine and sine of an angle in degrees; exact at the quarter turns, so
// that shapes turned by them keep exact bounds.
void CosSinDegrees(double degrees, double &c, double &s);
