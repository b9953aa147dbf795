#include "base/fsGeometry.h"

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
