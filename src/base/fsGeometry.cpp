#include "base/fsGeometry.h"

#include <cmath>
#include <numbers>

#include <algorithm>

bool IntersectRect(TRect &Dst, const TRect &A, const TRect &B) {
  TRect r{std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
          std::min(A.Bottom, B.Bottom)};
  if (IsRectEmpty(r)) {
    Dst = TRect{};
    return false;
  }
  Dst = r;
  return true;
}

void CosSinDegrees(double degrees, double &c, double &s) {
  const double quarter = degrees / 90.0;
  if (std::isfinite(quarter) && quarter == std::floor(quarter)) {
    static constexpr double cs[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    const long q = (static_cast<long>(std::fmod(quarter, 4.0)) + 4) % 4;
    c = cs[q][0];
    s = cs[q][1];
    return;
  }
  const double r = degrees * std::numbers::pi / 180.0;
  c = std::cos(r);
  s = std::sin(r);
}
