#pragma once

#include "shapes/fsBitmapShape.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The rules of the crop rectangle, in full-image pixels, for a box of
// boxWidth x boxHeight mm.

// The largest centred rectangle of the box's aspect; the whole image for a
// box without area.
TRect FitCropRect(int32_t imageWidth, int32_t imageHeight, float boxWidth, float boxHeight);
// How much of the proxy resolution the crop provides, in percent; 0 for a
// box without area.
int32_t CropResolutionPercent(const TRect &crop, float boxWidth, float boxHeight, float lowresDpm);

// The smallest crop that still reaches the proxy resolution. Not enforced
// when even the whole image does not reach it.
struct TCropMinimum {
  double Width = 0;
  double Height = 0;
  bool Enforced = false;
};
TCropMinimum CropMinimum(int32_t imageWidth, int32_t imageHeight, float boxWidth, float boxHeight,
                         float lowresDpm);

// One resize of the crop dialog's rectangle towards the requested size: the
// aspect stays (the smaller ratio when both sides grow, else the larger),
// the rectangle fits the image and, when enforced, keeps the minimum; its
// top-left corner stays unless the image edge pushes it. Warning tells
// whether the request was below the minimum.
struct TCropResize {
  TFloatRect Rect;
  bool Warning = false;
};
TCropResize ResizeCrop(const TFloatRect &rect, double requestedWidth, double requestedHeight,
                       int32_t imageWidth, int32_t imageHeight, const TCropMinimum &minimum);
// The dialog's answer: whole pixels inside the image.
TRect CropResult(const TFloatRect &rect, int32_t imageWidth, int32_t imageHeight);

// A snap bitmap that links its full-resolution picture as a file and shows
// a cropped copy reduced to LowresDPM (the proxy), kept in the design's
// archive. Printing finer than the proxy reads the full picture again.
class TfsCropBitmap : public TfsSnapBitmap {
public:
  // Asks the user for the crop of the image, starting from crop; true with
  // the new crop when confirmed.
  using TCropDialogEvent =
      std::function<bool(TfsCropBitmap &Sender, const TBitmap32 &Image, TRect &Crop)>;

  TfsCropBitmap();
  ~TfsCropBitmap() override;

  std::string ClassName() const override { return "TfsCropBitmap"; }

  const TRect &CropRect() const { return FCropRect; }
  void SetCropRect(const TRect &rect);
  float LowresDPM() const { return FLowresDPM; }
  void SetLowresDPM(float value);
  bool AdaptAspectToImage() const { return FAdaptAspectToImage; }
  void SetAdaptAspectToImage(bool value) { FAdaptAspectToImage = value; }
  TfsBitmapResource &Proxy() { return *FProxy; }

  // Reads the full image when it is not at hand (asking the document to
  // find a missing file), draws the crop into a new proxy and lets the full
  // image go again.
  void RebuildProxy();
  TRect FitCropToShape();
  int32_t ResolutionPercent() const;
  // True when there is no proxy, even after trying to rebuild it.
  bool EnsureProxy();

  void ImageLoaded() override;
  void GetResourceNames(std::vector<std::string> &names) const override;
  void Pasted() override;
  void Paint(TBitmap32 &bitmap, const TDeviceContext &context) override;
  void AfterPaint(TBitmap32 &bitmap, const TFloatRect &rect) override;
  void SetDocSize(float width, float height) override;
  void SetDocument(TfsShapeDocument *document) override;
  TfsStorageKind GetStorageKind() const override;
  void SetStorageKind(TfsStorageKind kind) override;
  // Without an image: a picture file from the host. With one: the crop
  // dialog, unless the crop already shows the whole image.
  void Edit() override;
  void LoadFromXml(const TXmlNode *node) override;
  void SaveToXml(TXmlNode &node) override;

  TCropDialogEvent OnCropDialog;

private:
  // Size changes inside a step that rebuilds the proxy once at its end.
  class THoldProxy {
  public:
    explicit THoldProxy(TfsCropBitmap &shape) : FShape(shape) { ++FShape.FHoldProxy; }
    ~THoldProxy() { --FShape.FHoldProxy; }
    THoldProxy(const THoldProxy &) = delete;
    THoldProxy &operator=(const THoldProxy &) = delete;

  private:
    TfsCropBitmap &FShape;
  };
  // CropRect within the image; all of it when they do not overlap.
  TRect CropSource(const TBitmap32 &image) const;

  TRect FCropRect{0, 0, 0, 0};
  float FLowresDPM = Dpm150;
  std::unique_ptr<TfsBitmapResource> FProxy;
  bool FAdaptAspectToImage = false;
  int FHoldProxy = 0;
  // The missing file the user was last asked about: painting must not ask
  // again on every repaint.
  std::string FLocateAsked;
};
