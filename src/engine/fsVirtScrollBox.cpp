#include "engine/fsVirtScrollBox.h"

#include <algorithm>
#include <cmath>

namespace {

int32_t RoundInt(double v) {
  return static_cast<int32_t>(std::lrint(v));
}

} // namespace

void TVirtScrollBox::SetAutoScroll(bool value) {
  if (FAutoScroll == value)
    return;
  FAutoScroll = value;
  if (value) {
    UpdateScrollBars();
  } else {
    HideScrollBars();
    FScrollX = FScrollY = 0;
    ScrollChanged();
    InvalidateView();
  }
}

void TVirtScrollBox::SetHandleAllocated(bool value) {
  FHandleAllocated = value;
  UpdateScrollBars();
}

void TVirtScrollBox::SetClientSize(int32_t width, int32_t height) {
  if (width == FClientWidth && height == FClientHeight)
    return;
  FClientWidth = std::max(width, 0);
  FClientHeight = std::max(height, 0);
  UpdateScrollBars();
  Resized();
}

float TVirtScrollBox::MaxScrollX() const {
  return std::max(0.0f, FVirtualWidth - static_cast<float>(FClientWidth));
}

float TVirtScrollBox::MaxScrollY() const {
  return std::max(0.0f, FVirtualHeight - static_cast<float>(FClientHeight));
}

void TVirtScrollBox::SetVirtualArea(float x, float y, float width, float height) {
  if (x == FScrollX && y == FScrollY && width == FVirtualWidth && height == FVirtualHeight)
    return;
  if (x != FScrollX || y != FScrollY) {
    FScrollX = x;
    FScrollY = y;
  }
  FVirtualWidth = width;
  FVirtualHeight = height;
  UpdateScrollBars();
  ScrollChanged();
}

void TVirtScrollBox::ScrollBy(float &dx, float &dy) {
  const float x = std::clamp(FScrollX + dx, 0.0f, MaxScrollX());
  const float y = std::clamp(FScrollY + dy, 0.0f, MaxScrollY());
  dx = static_cast<float>(RoundInt(x - FScrollX));
  dy = static_cast<float>(RoundInt(y - FScrollY));
  if (dx == 0 && dy == 0)
    return;
  FScrollX = x;
  FScrollY = y;
  ScrollChanged();
  ScrollContent(-static_cast<int32_t>(dx), -static_cast<int32_t>(dy));
  TScrollBarInfo horz = FHorz, vert = FVert;
  horz.Pos = RoundInt(static_cast<double>(FScrollX) * FScrollScale);
  vert.Pos = RoundInt(static_cast<double>(FScrollY) * FScrollScale);
  SetBars(horz, vert);
}

void TVirtScrollBox::SetBars(const TScrollBarInfo &horz, const TScrollBarInfo &vert) {
  if (horz == FHorz && vert == FVert)
    return;
  FHorz = horz;
  FVert = vert;
  ScrollBarsChanged();
}

void TVirtScrollBox::UpdateScrollBars() {
  if (!FHandleAllocated || !FAutoScroll)
    return;
  const float biggest = std::max(FVirtualWidth, FVirtualHeight);
  FScrollScale = biggest > MaxBarRange ? MaxBarRange / biggest : 1.0f;
  const float x = std::clamp(FScrollX, 0.0f, MaxScrollX());
  const float y = std::clamp(FScrollY, 0.0f, MaxScrollY());
  if (x != FScrollX || y != FScrollY) {
    FScrollX = x;
    FScrollY = y;
    ScrollChanged();
    InvalidateView();
  }
  const double s = FScrollScale;
  SetBars({RoundInt(FVirtualWidth * s), RoundInt(FClientWidth * s), RoundInt(FScrollX * s)},
          {RoundInt(FVirtualHeight * s), RoundInt(FClientHeight * s), RoundInt(FScrollY * s)});
}

void TVirtScrollBox::HideScrollBars() {
  SetBars({}, {});
}

void TVirtScrollBox::ScrollMessage(bool horizontal, TScrollCode code, int32_t pos) {
  if (!FAutoScroll)
    return;
  const float current = horizontal ? FScrollX : FScrollY;
  const float client = static_cast<float>(horizontal ? FClientWidth : FClientHeight);
  const float limit = horizontal ? MaxScrollX() : MaxScrollY();
  float target = current;
  switch (code) {
  case scLineUp:
    target = current - static_cast<float>(FLineStep);
    break;
  case scLineDown:
    target = current + static_cast<float>(FLineStep);
    break;
  case scPageUp:
    target = current - client;
    break;
  case scPageDown:
    target = current + client;
    break;
  case scTrack:
    if (!FTrackThumb)
      return;
    [[fallthrough]];
  case scPosition:
    target = static_cast<float>(pos) / FScrollScale;
    break;
  case scTop:
    target = 0;
    break;
  case scBottom:
    target = (horizontal ? FVirtualWidth : FVirtualHeight) - client;
    break;
  default:
    return;
  }
  target = std::clamp(target, 0.0f, limit);
  if (RoundInt(target - current) == 0)
    return;
  float d = target - current, none = 0;
  if (horizontal)
    ScrollBy(d, none);
  else
    ScrollBy(none, d);
}
