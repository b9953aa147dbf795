#pragma once

#include "persist/fsBitmapResource.h"
#include "shapes/fsEffectShape.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Pictures are sized as if printed at 150 dots per inch.
constexpr float PictureDpm = 5.905512f;

// One raster picture, held by a bitmap resource, stretched over the box.
class TfsBitmapShape : public TfsEffectShape {
public:
  TfsBitmapShape();
  ~TfsBitmapShape() override;

  std::string ClassName() const override { return "TfsBitmapShape"; }

  TfsBitmapResource &Image() { return *FImage; }

  // A new picture was read from a file: the box takes its size at 150 dots
  // per inch, with the aspect locked.
  virtual void ImageLoaded();
  // The picture changed: what was drawn from it is stale.
  virtual void ImageChanged();

  // The copy a much larger picture is reduced to for its place on the
  // page; none while the picture is drawn directly.
  const TBitmap32 *ReducedCopy() const { return FReduced.get(); }

  void GetResourceNames(std::vector<std::string> &names) const override;
  void Paint(TBitmap32 &bitmap, const TDeviceContext &context) override;
  void SetDocument(TfsShapeDocument *document) override;
  TfsStorageKind GetStorageKind() const override;
  void SetStorageKind(TfsStorageKind kind) override;
  void LoadFromXml(const TXmlNode *node) override;
  void SaveToXml(TXmlNode &node) override;

protected:
  // The box in device pixels of the bitmap being painted.
  TRect DeviceBox() const;
  // All of source stretched over the box, clipped to the bitmap.
  void DrawIntoBox(TBitmap32 &bitmap, const TBitmap32 &source, TStretchFilter filter,
                   TDrawMode mode) const;
  // As DrawIntoBox with dmBlend, but a picture several times larger than
  // the box is first reduced by halves, once: later paints at a similar
  // size draw from that copy.
  void DrawPicture(TBitmap32 &bitmap, const TBitmap32 &source, const TDeviceContext &context);
  // Whether the image resource holds a picture (decoding it when needed).
  bool HasImage();
  // Same area, the picture's aspect, the same centre.
  void ReshapeToImage(int32_t imageWidth, int32_t imageHeight);

private:
  std::unique_ptr<TfsBitmapResource> FImage;
  std::unique_ptr<TBitmap32> FReduced;
  int FReducedLevel = 0;
  TSize FReducedFrom{0, 0};
};

// A bitmap shape that starts as a white frame asking for a picture, and
// takes the picture's aspect (keeping area and centre) when one arrives.
class TfsSnapBitmap : public TfsBitmapShape {
public:
  TfsSnapBitmap();

  std::string ClassName() const override { return "TfsSnapBitmap"; }

  // A hit on the frame is a hit on the shape.
  TfsShape *ShapeAtPoint(const TPoint &screenPoint) override;
  void ImageLoaded() override;

protected:
  // The frame shows while there is no picture.
  void ShowFrame(bool visible);
};
