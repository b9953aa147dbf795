#pragma once

#include "base/fsGeometry.h"
#include "shapes/fsPolygonShape.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TfsLineShape;

// The head styles of a line end, in the order files number them.
enum TfsArrowStyle : uint8_t {
  asNoArrow = 0,
  asArrow = 1,
  asOpenArrow = 2,
  asStealthArrow = 3,
  asDiamond = 4,
  asOval = 5,
  asRectangle = 6,
};
inline constexpr int ArrowStyleCount = 7;

// The name files use for a style ("NoArrow", "Arrow", ...); empty for none.
std::string_view ArrowStyleName(uint8_t style);
// The style of a name, ignoring case; false for an unknown name.
bool ArrowStyleFromName(std::string_view name, uint8_t &style);

// The head at one end of a line: its style and its size in mm. A head that
// is not wider than the line is drawn as a square end.
class TfsArrow {
public:
  explicit TfsArrow(TfsLineShape *line) : FLine(line) {}
  TfsArrow(const TfsArrow &) = delete;
  TfsArrow &operator=(const TfsArrow &) = delete;

  uint8_t Style() const { return FStyle; }
  void SetStyle(uint8_t value);
  float Width() const { return FWidth; }
  void SetWidth(float value);
  float Length() const { return FLength; }
  void SetLength(float value);
  TfsLineShape *Line() const { return FLine; }

  void SaveToXml(TXmlNode &node) const;
  // Absent keys read as 0; an unknown style name keeps the style.
  void LoadFromXml(const TXmlNode &node);

private:
  // Repaint, store, rebuild: the line shows the new head.
  template <class T> void Set(T &field, T value);

  uint8_t FStyle = asNoArrow;
  float FWidth = 5;
  float FLength = 7;
  TfsLineShape *FLine;
};

// A straight line between two end points with a head at each end, drawn as
// one filled outline around the thick line and both heads. The end points
// are kept as fractions of the box, so resizing the box moves them with it;
// every change of an end point fits the box to the two ends again.
class TfsLineShape : public TfsPolygonShape {
public:
  TfsLineShape();
  ~TfsLineShape() override;

  std::string ClassName() const override { return "TfsLineShape"; }

  TfsArrow &Arrow(int end) { return end == 0 ? *FArrow0 : *FArrow1; }
  const TfsArrow &Arrow(int end) const { return end == 0 ? *FArrow0 : *FArrow1; }

  float LineWidth() const { return FLineWidth; }
  void SetLineWidth(float value);

  // ---- end points (parent frame, mm) ----------------------------------------
  virtual int PointCount() const { return static_cast<int>(FEnds.size()); }
  // (0, 0) for an index out of range.
  TFloatPoint GetEndPoint(int index) const;
  // Only the two ends (0 and 1) can be set; the box follows them.
  void SetEndPoint(int index, const TFloatPoint &point);
  // Appends an entry (at the box's top-left corner) and sets it.
  void AddEndPoint(const TFloatPoint &point);
  void ClearEndPoints();
  // The box becomes the bounds of the two ends (at least 1 mm a side).
  void FitBoxToEnds();
  // The end points as fractions of the box.
  const std::vector<TFloatPoint> &EndFractions() const { return FEnds; }

  // ---- TfsPolygonShape -----------------------------------------------------------
  void BuildPoints() override;

  // ---- TfsShape ----------------------------------------------------------------
  // Turns the end points instead of the shape: a line is never drawn
  // through a turned cache.
  void SetDocAngle(float angle) override;
  // A placing drag that crosses over draws the line the way it was dragged.
  void SetBoundsFromRect(const TFloatRect &rect) override;
  void PrepareHandles() override;
  void DrawInsertFrame(TBitmap32 &canvas, const TRect &rect, TColor color) override;
  // A dragged end handle moves that end; other drags move the box.
  void ApplyEditGeometry() override;
  void SaveToXml(TXmlNode &node) override;
  void LoadFromXml(const TXmlNode *node) override;

  // The head outline of the end with tip t, the other end being o, appended
  // to the points (parent frame).
  void AddHeadOutline(const TfsArrow &arrow, const TFloatPoint &t, const TFloatPoint &o);

private:
  friend class TfsArrow;
  // After a change of the ends, the width or a head.
  void GeometryChanged();
  // The local position of end i as drawn (mirrored and flipped with the
  // shape), and back.
  TFloatPoint DrawnEnd(int index) const;
  TFloatPoint UndrawnLocal(const TFloatPoint &p) const;

  std::unique_ptr<TfsArrow> FArrow0;
  std::unique_ptr<TfsArrow> FArrow1;
  std::vector<TFloatPoint> FEnds;
  float FLineWidth = 1;
};
