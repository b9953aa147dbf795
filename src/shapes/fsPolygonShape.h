#pragma once

#include "base/fsGeometry.h"
#include "raster/fsGR32_Polygons.h"
#include "shapes/fsEffectShape.h"

#include <memory>
#include <vector>

template <class TOwner> class TfsPropertyTable;

using TFloatContour = std::vector<TFloatPoint>;
using TFloatContours = std::vector<TFloatContour>;

// Points per quarter arc for a length argument (device pixels): a few for
// small arcs, about one per ten pixels of arc for large ones.
int QuarterArcSteps(float x);
// The unit points of one quarter arc in n steps: (1, 0) first and (0, 1)
// last, exactly.
std::vector<TFloatPoint> QuarterUnitPoints(int n);

// One or more contours of points in shape-local millimetres, filled with a
// colour and an opacity, outlined with a stroke centred on the path or a
// one-pixel hairline, or traced with a dashed line. The points are the truth;
// the device polygons are rebuilt from them when the points, the outline or
// the device matrix changed.
class TfsPolygonShape : public TfsEffectShape {
public:
  TfsPolygonShape();
  ~TfsPolygonShape() override;

  std::string ClassName() const override { return "TfsPolygonShape"; }

  // ---- properties --------------------------------------------------------
  bool IsClosed() const { return FIsClosed; }
  void SetIsClosed(bool value);
  float OutlineWidth() const { return FOutlineWidth; }
  void SetOutlineWidth(float value);
  int32_t FillAlpha() const { return FFillAlpha; }
  void SetFillAlpha(int32_t value);
  TColor FillColor() const { return FFillColor; }
  void SetFillColor(TColor value);
  TColor OutlineColor() const { return FOutlineColor; }
  void SetOutlineColor(TColor value);
  bool UseFill() const { return FUseFill; }
  void SetUseFill(bool value);
  bool UseOutline() const { return FUseOutline; }
  void SetUseOutline(bool value);
  bool UseStipple() const { return FUseStipple; }
  void SetUseStipple(bool value);
  float StippleSize() const { return FStippleSize; }
  void SetStippleSize(float value);
  bool StorePoints() const { return FStorePoints; }
  void SetStorePoints(bool value) { FStorePoints = value; }
  bool PointsLocked() const { return FPointsLocked; }
  void SetPointsLocked(bool value) { FPointsLocked = value; }

  // ---- points ------------------------------------------------------------
  const TFloatContours &Points() const { return FPoints; }
  virtual TFloatRect PointsBounds() const;
  virtual void FitPoints(const TFloatRect &rect);
  // Regenerates the points from the size; nothing for a plain polygon.
  virtual void BuildPoints() {}
  virtual void OffsetPoints(float dx, float dy);
  virtual void ScalePoints(float sx, float sy);
  virtual void RebuildPolygons();
  virtual void AddPoint(const TFloatPoint &point);
  void AddPointXY(float x, float y) { AddPoint(FloatPoint(x, y)); }
  virtual void ClearPoints();
  virtual void NewContour();

  // The device polygons of the last rebuild.
  const TPolygon32 &FillPolygon() const { return *FFill; }
  const TPolygon32 *OutlinePolygon() const { return FOutline.get(); }
  // Device pixels per mm of the current device matrix (1 when it has none).
  float DeviceScale() const;

  // ---- TfsShape ----------------------------------------------------------
  void Paint(TBitmap32 &bitmap, const TDeviceContext &context) override;
  void SaveToXml(TXmlNode &node) override;
  void LoadFromXml(const TXmlNode *node) override;
  void Clear() override;
  void SetDeviceMatrix(const TfsAffineTransform &matrix) override;
  void SetDocSize(float width, float height) override;
  void ExtendMargins(float &left, float &top, float &right, float &bottom) override;
  void SetPropertyByName(const std::string &propName, const std::string &value) override;

  // The hit region: every contour on the screen, rounded, filled with the
  // alternate rule. (The base region type holds four corners only.)
  std::vector<std::vector<TFloatPoint>> OutlineScreenContours() const;
  bool OutlineContains(const TFloatPoint &screenPoint) const;
  // Without a cache, a hit is a hit of the outline region, not of the box.
  bool HitTest(const TPoint &screenPoint) override;

protected:
  // Subclasses' keys, written and read after the polygon's own and before
  // the points.
  virtual void SaveExtraKeys(TXmlNode &) {}
  virtual void LoadExtraKeys(const TXmlNode &) {}
  // Drop the cache and margins and signal the change (after a property).
  void PropertyChanged();
  TFloatContours &MutablePoints() { return FPoints; }
  void MarkGeometryDirty() { FGeometryDirty = true; }

private:
  static const TfsPropertyTable<TfsPolygonShape> &PropertyTable();
  void DrawStipple(TBitmap32 &bitmap, float scale);

  bool FPointsLocked = false;
  std::unique_ptr<TPolygon32> FFill;
  std::unique_ptr<TPolygon32> FOutline;
  bool FIsClosed = true;
  float FOutlineWidth = 0.5f;
  bool FGeometryDirty = false;
  int32_t FFillAlpha = 255;
  TColor FFillColor = 0xFF0000;
  TColor FOutlineColor = 0;
  int32_t FStipplePhase = 0;
  float FStippleSize = 2;
  bool FUseFill = true;
  bool FUseOutline = true;
  bool FUseStipple = false;
  TFloatContours FPoints{TFloatContour{}};
  bool FStorePoints = false;
};

// Four corners, regenerated at every size.
class TfsRectangleShape : public TfsPolygonShape {
public:
  TfsRectangleShape();
  std::string ClassName() const override { return "TfsRectangleShape"; }
  void BuildPoints() override;
};

// An ellipse in the box, with more points the larger it is drawn.
class TfsEllipseShape : public TfsPolygonShape {
public:
  TfsEllipseShape();
  std::string ClassName() const override { return "TfsEllipseShape"; }
  void BuildPoints() override;
};

// A rectangle with elliptic corners, their radii limited to half the sides;
// the corner sizes are millimetres or, as an option, percentages of the
// sides.
class TfsRoundRectShape : public TfsPolygonShape {
public:
  TfsRoundRectShape();
  std::string ClassName() const override { return "TfsRoundRectShape"; }
  void BuildPoints() override;

  float CornerWidth() const { return FCornerWidth; }
  void SetCornerWidth(float value);
  float CornerHeight() const { return FCornerHeight; }
  void SetCornerHeight(float value);
  bool CornerPropertiesArePercentage() const { return FCornerPercent; }
  void SetCornerPropertiesArePercentage(bool value);

  void SetPropertyByName(const std::string &propName, const std::string &value) override;

protected:
  void SaveExtraKeys(TXmlNode &node) override;
  void LoadExtraKeys(const TXmlNode &node) override;

private:
  float FCornerWidth = 0;
  float FCornerHeight = 0;
  bool FCornerPercent = false;
};
