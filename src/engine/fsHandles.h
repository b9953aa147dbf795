#pragma once

#include "base/fsError.h"
#include "base/fsGeometry.h"
#include "base/fsPlatformColor.h"
#include "raster/fsGR32.h"

#include <cstdint>
#include <memory>
#include <vector>

class TfsShape;

// Kinds of what lies under the pointer: the body of a shape, its eight
// resize handles (corners and edges, anticlockwise from the top left), the
// rotation handle, and a point of the shape's own.
enum TfsHandleKind : uint8_t {
  hkNone = 0,
  hkMove = 1,
  hkTopLeft = 2,
  hkLeft = 3,
  hkBottomLeft = 4,
  hkBottom = 5,
  hkBottomRight = 6,
  hkRight = 7,
  hkTopRight = 8,
  hkTop = 9,
  hkRotate = 10,
  hkPoint = 11,
};

// The resize cursor of a handle kind on a shape turned by angle degrees.
int16_t ResizeCursor(uint8_t kind, float angle);

struct TfsHandle {
  uint8_t Kind = hkNone;
  // Rest position and position in the drag preview, local mm.
  float X = 0, Y = 0;
  float DragX = 0, DragY = 0;
};

struct TfsDragLine {
  int32_t FromHandle = 0;
  int32_t ToHandle = 0;
  // The kind reported when the line is grabbed; 0 cannot be grabbed.
  uint8_t HitKind = hkNone;
  bool Visible = true;
  bool ShowInDrag = true;
};

class EfsHandleError : public EfsError {
public:
  using EfsError::EfsError;
};

// XOR drawing on a screen canvas: drawing the same figure twice leaves the
// canvas as it was.
void XorDottedLine(TBitmap32 &canvas, float x0, float y0, float x1, float y1, TColor color);
void XorDottedRect(TBitmap32 &canvas, const TRect &rect, TColor color);

// The handles of one shape: where they are, how they are drawn and how the
// outline of a drag is shown. Corner handles with the edges grabbed on the
// lines between them, and a rotation handle beside the right edge.
class TfsHandlePainter {
public:
  explicit TfsHandlePainter(TfsShape *shape);
  virtual ~TfsHandlePainter() = default;
  TfsHandlePainter(const TfsHandlePainter &) = delete;
  TfsHandlePainter &operator=(const TfsHandlePainter &) = delete;

  virtual TColor GetHandleColor() const;
  virtual TColor GetEdgeColor() const;
  virtual int HandleRadius() const { return 3; }
  virtual void DrawLines(TBitmap32 &canvas);
  virtual void LayoutHandles();
  virtual void DrawDragOutline(TBitmap32 &canvas);
  virtual void DrawHandle(TBitmap32 &canvas, int index);
  virtual void Draw(TBitmap32 &canvas);

  // The 7 x 7 screen square of handle i at its rest position.
  TRect HandleRect(int index) const;
  // Screen bounds of the drag outline at the handles' drag positions.
  TRect DragOutlineBounds() const;

  std::vector<TfsHandle> &Handles() { return FHandles; }
  std::vector<TfsDragLine> &Lines() { return FLines; }
  const std::vector<TfsHandle> &Handles() const { return FHandles; }
  const std::vector<TfsDragLine> &Lines() const { return FLines; }
  TfsShape *Shape() const { return FShape; }
  void AddHandle(float x, float y, uint8_t kind);
  void AddLine(int32_t from, int32_t to, uint8_t hitKind, bool visible = true,
               bool showInDrag = true);
  void Clear();

protected:
  TfsShape &CheckedShape() const;
  TFloatPoint ScreenOf(float x, float y) const;

  std::vector<TfsHandle> FHandles;
  std::vector<TfsDragLine> FLines;
  TfsShape *FShape;
};

// Eight handles around the box and the rotation handle above its top
// centre, the edges drawn only while dragging.
class TfsW2K3HandlePainter : public TfsHandlePainter {
public:
  using TfsHandlePainter::TfsHandlePainter;
  void LayoutHandles() override;
};
