#pragma once

#include <cstdint>

// What a scroll bar shows: range 0..Max, a page of Page, the box at Pos.
struct TScrollBarInfo {
  int32_t Max = 0;
  int32_t Page = 0;
  int32_t Pos = 0;
  bool operator==(const TScrollBarInfo &) const = default;
};

// The codes a scroll bar reports.
enum TScrollCode : uint8_t {
  scLineUp,
  scLineDown,
  scPageUp,
  scPageDown,
  scPosition,
  scTrack,
  scTop,
  scBottom,
  scEndScroll,
};

enum TBorderStyle : uint8_t { bsNone, bsSingle };

// The scrolling state of a view onto a virtual area larger than its client
// area. The window that shows it reports its client size and scroll-bar
// actions; the box decides positions and bar values, and tells the window
// through the protected hooks what to move and repaint. Bar values are
// scaled so that ranges stay within 30000 (older platforms' limit, and
// still what keeps a dragged thumb's steps meaningful).
class TVirtScrollBox {
public:
  static constexpr float MaxBarRange = 30000;

  virtual ~TVirtScrollBox() = default;

  bool AutoScroll() const { return FAutoScroll; }
  void SetAutoScroll(bool value);
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle value) { FBorderStyle = value; }
  float ScrollX() const { return FScrollX; }
  float ScrollY() const { return FScrollY; }
  float VirtualWidth() const { return FVirtualWidth; }
  float VirtualHeight() const { return FVirtualHeight; }
  float ScrollScale() const { return FScrollScale; }
  bool TrackThumb() const { return FTrackThumb; }
  void SetTrackThumb(bool value) { FTrackThumb = value; }
  int32_t LineStep() const { return FLineStep; }
  void SetLineStep(int32_t value) { FLineStep = value; }

  // The window: whether one shows the box, and its client size.
  bool HandleAllocated() const { return FHandleAllocated; }
  void SetHandleAllocated(bool value);
  int32_t ClientWidth() const { return FClientWidth; }
  int32_t ClientHeight() const { return FClientHeight; }
  void SetClientSize(int32_t width, int32_t height);
  const TScrollBarInfo &HorzScrollBar() const { return FHorz; }
  const TScrollBarInfo &VertScrollBar() const { return FVert; }

  virtual void SetVirtualArea(float x, float y, float width, float height);
  // Moves by at most (dx, dy), kept inside the virtual area; dx and dy
  // become the whole pixels actually moved.
  virtual void ScrollBy(float &dx, float &dy);
  virtual void ScrollChanged() {}
  void UpdateScrollBars();
  void HideScrollBars();
  // A scroll-bar action; pos is the bar value for scPosition and scTrack.
  void ScrollMessage(bool horizontal, TScrollCode code, int32_t pos = 0);

protected:
  // The window's part: move its content, show new bar values, paint all.
  virtual void ScrollContent(int32_t dx, int32_t dy) { (void)dx, (void)dy; }
  virtual void ScrollBarsChanged() {}
  virtual void InvalidateView() {}
  // After the client size changed.
  virtual void Resized() {}
  // Nothing but the position: for views that are placed, not scrolled.
  void StoreScrollPosition(float x, float y) {
    FScrollX = x;
    FScrollY = y;
  }

private:
  float MaxScrollX() const;
  float MaxScrollY() const;
  void SetBars(const TScrollBarInfo &horz, const TScrollBarInfo &vert);

  bool FAutoScroll = true;
  TBorderStyle FBorderStyle = bsSingle;
  float FScrollX = 0;
  float FScrollY = 0;
  float FVirtualWidth = 0;
  float FVirtualHeight = 0;
  float FScrollScale = 1;
  bool FTrackThumb = true;
  int32_t FLineStep = 9;
  bool FHandleAllocated = false;
  int32_t FClientWidth = 150;
  int32_t FClientHeight = 250;
  TScrollBarInfo FHorz;
  TScrollBarInfo FVert;
};
