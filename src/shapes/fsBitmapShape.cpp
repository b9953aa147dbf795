#include "shapes/fsBitmapShape.h"

#include "base/fsConvert.h"
#include "engine/fsHost.h"
#include "persist/fsPlainXml.h"
#include "raster/fsGR32_Transforms.h"
#include "shapes/fsPolygonShape.h"

#include <cmath>

namespace {

// Deletes the earlier saves of a child element, so that writing into a node
// twice leaves it once.
void DeleteChildren(TXmlNode &node, std::string_view name) {
  for (int i = node.ChildCount() - 1; i >= 0; --i)
    if (node.Child(i)->ElementType() == xeElement && SameText(node.Child(i)->Name(), name))
      node.DeleteChild(i);
}

} // namespace

// ---- bitmap shape ------------------------------------------------------------------

TfsBitmapShape::TfsBitmapShape() : FImage(std::make_unique<TfsBitmapResource>()) {
  SetInsertCursor(crFsCrossImage);
  FImage->OnChange = [this](TfsResource &) { ImageLoaded(); };
  FImage->OnBitmapChange = [this](TfsResource &) { ImageChanged(); };
}

TfsBitmapShape::~TfsBitmapShape() {
  // The resource outlives the callbacks' target while it is destroyed.
  FImage->OnChange = nullptr;
  FImage->OnBitmapChange = nullptr;
}

bool TfsBitmapShape::HasImage() {
  TfsResourceLock lock(*FImage);
  const TBitmap32 *image = FImage->Bitmap();
  return image && !image->IsBlank();
}

void TfsBitmapShape::ImageLoaded() {
  TfsResourceLock lock(*FImage);
  const TBitmap32 *image = FImage->Bitmap();
  if (!image || image->IsBlank())
    return;
  SetDocWidth(static_cast<float>(image->Width()) / PictureDpm);
  SetDocHeight(static_cast<float>(image->Height()) / PictureDpm);
  LockAspect();
  Refresh();
}

void TfsBitmapShape::ImageChanged() {
  FReduced.reset();
  Refresh();
}

void TfsBitmapShape::ReshapeToImage(int32_t imageWidth, int32_t imageHeight) {
  const double w = imageWidth, h = imageHeight;
  const double boxW = DocWidth(), boxH = DocHeight();
  if (!(w * h > 0) || !(boxW * boxH > 0))
    return;
  const double k = std::sqrt(w * h / (boxW * boxH));
  const double newW = w / k, newH = h / k;
  SetBounds(static_cast<float>(DocLeft() + (boxW - newW) / 2),
            static_cast<float>(DocTop() + (boxH - newH) / 2), static_cast<float>(newW),
            static_cast<float>(newH));
}

// ---- painting ----------------------------------------------------------------------

TRect TfsBitmapShape::DeviceBox() const {
  return {DeviceX(0), DeviceY(0), DeviceX(DocWidth()), DeviceY(DocHeight())};
}

void TfsBitmapShape::DrawIntoBox(TBitmap32 &bitmap, const TBitmap32 &source, TStretchFilter filter,
                                 TDrawMode mode) const {
  const TRect box = DeviceBox();
  if (source.IsBlank() || bitmap.IsBlank() || box.Width() <= 0 || box.Height() <= 0)
    return;
  TransferStretched(bitmap, box, bitmap.BoundsRect(), source, source.BoundsRect(), filter, mode,
                    {});
}

void TfsBitmapShape::DrawPicture(TBitmap32 &bitmap, const TBitmap32 &source,
                                 const TDeviceContext &context) {
  const TRect box = DeviceBox();
  if (source.IsBlank() || box.Width() <= 0 || box.Height() <= 0)
    return;
  // A level is worth it while the halved picture still has twice the
  // box's pixels both ways; below that the stretch filter does better.
  const int32_t w = box.Width(), h = box.Height();
  int level = 0;
  while (level < 30 && (source.Width() >> (level + 1)) >= 2 * w &&
         (source.Height() >> (level + 1)) >= 2 * h)
    ++level;
  if (level == 0) {
    DrawIntoBox(bitmap, source, context.StretchFilter, dmBlend);
    return;
  }
  const TSize from{source.Width(), source.Height()};
  if (!FReduced || FReducedLevel != level || FReducedFrom != from) {
    auto reduced = std::make_unique<TBitmap32>();
    reduced->SetSize(source.Width() >> level, source.Height() >> level);
    DrawOntoAveraged(*reduced, reduced->BoundsRect(), source, source.BoundsRect(), sfLinear,
                     dmOpaque);
    FReduced = std::move(reduced);
    FReducedLevel = level;
    FReducedFrom = from;
  }
  DrawIntoBox(bitmap, *FReduced, context.StretchFilter, dmBlend);
}

void TfsBitmapShape::Paint(TBitmap32 &bitmap, const TDeviceContext &context) {
  TfsResourceLock lock(*FImage);
  const TBitmap32 *image = FImage->Bitmap();
  if (image)
    DrawPicture(bitmap, *image, context);
}

// ---- TfsShape ------------------------------------------------------------------------

void TfsBitmapShape::GetResourceNames(std::vector<std::string> &names) const {
  TfsEffectShape::GetResourceNames(names);
  FImage->CollectArchiveNames(names);
}

void TfsBitmapShape::SetDocument(TfsShapeDocument *document) {
  FImage->SetDocument(document);
  TfsEffectShape::SetDocument(document);
}

TfsStorageKind TfsBitmapShape::GetStorageKind() const {
  return static_cast<TfsStorageKind>(FImage->Storage());
}

void TfsBitmapShape::SetStorageKind(TfsStorageKind kind) {
  if (kind <= smEmbedded)
    FImage->SetStorage(static_cast<TfsStorageMode>(kind));
}

void TfsBitmapShape::SaveToXml(TXmlNode &node) {
  TfsEffectShape::SaveToXml(node);
  DeleteChildren(node, "Image");
  FImage->WriteToXml(*node.NewChild("Image"));
}

void TfsBitmapShape::LoadFromXml(const TXmlNode *node) {
  TfsEffectShape::LoadFromXml(node);
  {
    TOwnLoad scope(*this);
    if (TXmlNode *image = node->FindChild("Image"))
      FImage->ReadFromXml(*image);
  }
  // A picture read in place of a trimmed one announces no change.
  FReduced.reset();
  ClearCache();
}

// ---- snap bitmap ---------------------------------------------------------------------

TfsSnapBitmap::TfsSnapBitmap() {
  auto frame = std::make_unique<TfsRectangleShape>();
  frame->SetOutlineColor(0);
  frame->SetOutlineWidth(0);
  frame->SetFillColor(0xFFFFFF);
  frame->SetAnchors(akSizeXProp | akSizeYProp | akLeftLock | akTopLock);
  frame->SetBounds(0, 0, 120, 80);
  frame->SetIsInternal(true);
  AddShape(std::move(frame));
  // The prompt "Place image here" belongs inside the frame as a second
  // internal child: a memo of font size 12, centred both ways, not
  // editable, anchored as the frame, at (2, 2) and 4 mm smaller than the
  // frame. It joins here once the memo shape exists.
  FitToChildren();
}

void TfsSnapBitmap::ShowFrame(bool visible) {
  for (int i = 0; i < ShapeCount(); ++i)
    if (GetShape(i)->IsInternal())
      GetShape(i)->SetVisible(visible);
}

TfsShape *TfsSnapBitmap::ShapeAtPoint(const TPoint &screenPoint) {
  return TfsBitmapShape::ShapeAtPoint(screenPoint) ? this : nullptr;
}

void TfsSnapBitmap::ImageLoaded() {
  TfsResourceLock lock(Image());
  const TBitmap32 *image = Image().Bitmap();
  const bool has = image && !image->IsBlank();
  ShowFrame(!has);
  if (has)
    ReshapeToImage(image->Width(), image->Height());
  LockAspect();
  Refresh();
}
