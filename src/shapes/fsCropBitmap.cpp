#include "shapes/fsCropBitmap.h"

#include "base/fsConvert.h"
#include "persist/fsImageFormats.h"
#include "persist/fsPlainXml.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace {

bool FileExists(const std::string &name) {
  std::error_code ec;
  return !name.empty() && std::filesystem::is_regular_file(std::filesystem::path(name), ec);
}

int32_t PixelsFor(float mm, float dpm) {
  return std::max<int32_t>(1, static_cast<int32_t>(std::lrint(double(mm) * dpm)));
}

} // namespace

// ---- crop rules ----------------------------------------------------------------------

TRect FitCropRect(int32_t imageWidth, int32_t imageHeight, float boxWidth, float boxHeight) {
  if (!(boxWidth > 0) || !(boxHeight > 0))
    return {0, 0, imageWidth, imageHeight};
  const double b = std::min(double(imageHeight) / boxHeight, double(imageWidth) / boxWidth);
  const auto cw = static_cast<int32_t>(std::lrint(b * boxWidth));
  const auto ch = static_cast<int32_t>(std::lrint(b * boxHeight));
  const int32_t left = (imageWidth - cw) / 2, top = (imageHeight - ch) / 2;
  return {left, top, left + cw, top + ch};
}

int32_t CropResolutionPercent(const TRect &crop, float boxWidth, float boxHeight, float lowresDpm) {
  if (!(boxWidth > 0) || !(boxHeight > 0) || !(lowresDpm > 0))
    return 0;
  const double r = std::min(double(crop.Height()) / (double(boxHeight) * lowresDpm),
                            double(crop.Width()) / (double(boxWidth) * lowresDpm));
  return static_cast<int32_t>(std::lrint(r * 100));
}

TCropMinimum CropMinimum(int32_t imageWidth, int32_t imageHeight, float boxWidth, float boxHeight,
                         float lowresDpm) {
  TCropMinimum m;
  if (!(boxWidth > 0) || !(boxHeight > 0))
    return m;
  const double b = std::min(double(imageHeight) / boxHeight, double(imageWidth) / boxWidth);
  const double c = std::min(b, double(lowresDpm));
  m.Width = c * boxWidth;
  m.Height = c * boxHeight;
  m.Enforced = b > c;
  return m;
}

TCropResize ResizeCrop(const TFloatRect &rect, double requestedWidth, double requestedHeight,
                       int32_t imageWidth, int32_t imageHeight, const TCropMinimum &minimum) {
  TCropResize out{rect, false};
  const double cw = double(rect.Right) - rect.Left, ch = double(rect.Bottom) - rect.Top;
  if (!(cw > 0) || !(ch > 0))
    return out;
  const double sx = requestedWidth / cw, sy = requestedHeight / ch;
  double s = sx > 1 && sy > 1 ? std::min(sx, sy) : std::max(sx, sy);
  if (minimum.Enforced) {
    const double least = std::max(minimum.Width / cw, minimum.Height / ch);
    out.Warning = s < least;
    s = std::max(s, least);
  }
  s = std::min(s, std::min(imageWidth / cw, imageHeight / ch));
  const double w = cw * s, h = ch * s;
  const double left = std::max(0.0, std::min(double(rect.Left), imageWidth - w));
  const double top = std::max(0.0, std::min(double(rect.Top), imageHeight - h));
  out.Rect = {float(left), float(top), float(left + w), float(top + h)};
  return out;
}

TRect CropResult(const TFloatRect &rect, int32_t imageWidth, int32_t imageHeight) {
  auto edge = [](float v, int32_t limit) {
    return std::clamp(static_cast<int32_t>(std::lrint(v)), 0, limit);
  };
  return {edge(rect.Left, imageWidth), edge(rect.Top, imageHeight), edge(rect.Right, imageWidth),
          edge(rect.Bottom, imageHeight)};
}

// ---- life ------------------------------------------------------------------------------

TfsCropBitmap::TfsCropBitmap() : FProxy(std::make_unique<TfsBitmapResource>()) {
  // The full picture stays a linked file; only the proxy goes into the
  // design.
  Image().SetStorage(smExternal);
  FProxy->SetStorage(smArchive);
  // Changing the mode marks the (empty) bytes as newer than their source;
  // left so, a linked file named later would never be read.
  Image().Clear();
  FProxy->Clear();
  FProxy->SetFileExtension(".hck");
  FProxy->OnBitmapChange = [this](TfsResource &) { ImageChanged(); };
}

TfsCropBitmap::~TfsCropBitmap() {
  FProxy->OnBitmapChange = nullptr;
}

void TfsCropBitmap::SetCropRect(const TRect &rect) {
  if (rect == FCropRect)
    return;
  FCropRect = rect;
  RebuildProxy();
  Changed();
}

void TfsCropBitmap::SetLowresDPM(float value) {
  if (value == FLowresDPM || !(value > 0))
    return;
  FLowresDPM = value;
  RebuildProxy();
  Changed();
}

// ---- the proxy ---------------------------------------------------------------------------

TRect TfsCropBitmap::CropSource(const TBitmap32 &image) const {
  TRect r;
  if (!IntersectRect(r, FCropRect, image.BoundsRect()) || IsRectEmpty(r))
    return image.BoundsRect();
  return r;
}

void TfsCropBitmap::RebuildProxy() {
  if (FHoldProxy > 0)
    return;
  TfsResourceLock imageLock(Image());
  TfsResourceLock proxyLock(*FProxy);
  const TBitmap32 *image = Image().Bitmap();
  if ((!image || image->IsBlank()) && !Image().FileName().empty()) {
    std::string name = Image().FileName();
    if (!FileExists(name) && name != FLocateAsked) {
      FLocateAsked = name;
      if (Document())
        Document()->LocateFile(*this, name);
      if (FileExists(name)) {
        Image().SetFileName(name);
        image = Image().Bitmap();
      }
    }
  }
  if (image && !image->IsBlank()) {
    auto proxy = std::make_unique<TBitmap32>();
    proxy->SetSize(PixelsFor(DocWidth(), FLowresDPM), PixelsFor(DocHeight(), FLowresDPM));
    TransferStretched(*proxy, proxy->BoundsRect(), proxy->BoundsRect(), *image, CropSource(*image),
                      sfLinear, dmOpaque, {});
    // The full picture is read again when it is needed. Bytes that are
    // their only copy (a picture embedded on request) stay.
    const TfsStorageMode mode = Image().Storage();
    Image().EnsureLevel(mode == smExternal || mode == smArchive ? rlEmpty : rlEncoded);
    FProxy->ReplaceBitmap(std::move(proxy));
  } else if (FProxy->Bitmap()) {
    // A proxy without its full image is still written with the design
    // (under a new entry after pasting).
    FProxy->BitmapChanged();
  }
}

TRect TfsCropBitmap::FitCropToShape() {
  TfsResourceLock lock(Image());
  const TBitmap32 *image = Image().Bitmap();
  if (!image || image->IsBlank())
    return FCropRect;
  return FitCropRect(image->Width(), image->Height(), DocWidth(), DocHeight());
}

int32_t TfsCropBitmap::ResolutionPercent() const {
  return CropResolutionPercent(FCropRect, DocWidth(), DocHeight(), FLowresDPM);
}

bool TfsCropBitmap::EnsureProxy() {
  TfsResourceLock lock(*FProxy);
  auto missing = [this] {
    const TBitmap32 *proxy = FProxy->Bitmap();
    return !proxy || proxy->IsBlank();
  };
  if (!missing())
    return false;
  RebuildProxy();
  return missing();
}

void TfsCropBitmap::ImageLoaded() {
  {
    THoldProxy hold(*this);
    TfsResourceLock lock(Image());
    const TBitmap32 *image = Image().Bitmap();
    const bool has = image && !image->IsBlank();
    ShowFrame(!has);
    if (!has)
      return;
    const int32_t w = image->Width(), h = image->Height();
    FCropRect = {0, 0, w, h};
    if (FAdaptAspectToImage)
      ReshapeToImage(w, h);
    else
      FCropRect = FitCropRect(w, h, DocWidth(), DocHeight());
  }
  RebuildProxy();
  LockAspect();
}

// ---- painting ------------------------------------------------------------------------------

void TfsCropBitmap::Paint(TBitmap32 &bitmap, const TDeviceContext &context) {
  if (EnsureProxy())
    return;
  if (context.DeviceType == dtPrinter && context.DestDpm > FLowresDPM) {
    TfsResourceLock lock(Image());
    const TBitmap32 *full = Image().Bitmap();
    if (full && !full->IsBlank()) {
      TBitmap32 fine;
      fine.SetSize(PixelsFor(DocWidth(), context.DestDpm), PixelsFor(DocHeight(), context.DestDpm));
      TransferStretched(fine, fine.BoundsRect(), fine.BoundsRect(), *full, CropSource(*full),
                        sfLinear, dmOpaque, {});
      DrawIntoBox(bitmap, fine, context.StretchFilter, dmBlend);
      return;
    }
  }
  TfsResourceLock lock(*FProxy);
  if (const TBitmap32 *proxy = FProxy->Bitmap())
    DrawPicture(bitmap, *proxy, context);
}

void TfsCropBitmap::AfterPaint(TBitmap32 &bitmap, const TFloatRect &rect) {
  TfsSnapBitmap::AfterPaint(bitmap, rect);
  if (!Document() || bitmap.IsBlank())
    return;
  {
    TfsResourceLock lock(*FProxy);
    const TBitmap32 *proxy = FProxy->Bitmap();
    if (!proxy || proxy->IsBlank())
      return;
  }
  const int32_t x = DeviceX(0), y = DeviceY(0);
  if (!Document()->DrawQualityIndicator(*this, bitmap, TRect{x, y, x + 32, y + 32},
                                        ResolutionPercent()))
    return;
  // What the platform draws leaves alpha 0; inverted it is opaque.
  for (int32_t py = std::max(0, y); py <= std::min(y + 32, bitmap.Height() - 1); ++py)
    for (int32_t px = std::max(0, x); px <= std::min(x + 32, bitmap.Width() - 1); ++px)
      bitmap.SetPixel(px, py, bitmap.GetPixel(px, py) ^ 0xFF000000u);
  bitmap.Changed();
}

// ---- TfsShape ----------------------------------------------------------------------------------

void TfsCropBitmap::GetResourceNames(std::vector<std::string> &names) const {
  TfsSnapBitmap::GetResourceNames(names);
  FProxy->CollectArchiveNames(names);
}

void TfsCropBitmap::Pasted() {
  TfsSnapBitmap::Pasted();
  FProxy->SetArchiveName("");
  RebuildProxy();
}

void TfsCropBitmap::SetDocSize(float width, float height) {
  TfsSnapBitmap::SetDocSize(width, height);
  RebuildProxy();
}

void TfsCropBitmap::SetDocument(TfsShapeDocument *document) {
  FProxy->SetDocument(document);
  TfsSnapBitmap::SetDocument(document);
}

TfsStorageKind TfsCropBitmap::GetStorageKind() const {
  return static_cast<TfsStorageKind>(FProxy->Storage());
}

void TfsCropBitmap::SetStorageKind(TfsStorageKind kind) {
  if (kind > smEmbedded)
    return;
  TfsSnapBitmap::SetStorageKind(kind);
  FProxy->SetStorage(static_cast<TfsStorageMode>(kind));
}

void TfsCropBitmap::Edit() {
  if (OnEdit) {
    TfsSnapBitmap::Edit();
    return;
  }
  {
    TfsResourceLock lock(Image());
    const TBitmap32 *image = Image().Bitmap();
    if (!image || image->IsBlank()) {
      std::string name = Image().FileName();
      if (Document() &&
          Document()->ChoosePictureFile("Change to another file (choose)", OpenFilter(), name))
        Image().LoadFromFile(name);
    } else {
      if (FCropRect.Right == 0)
        FCropRect = FitCropToShape();
      image = Image().Bitmap();
      const bool whole = FCropRect.Left <= 0 && FCropRect.Top <= 0 &&
                         FCropRect.Right >= image->Width() && FCropRect.Bottom >= image->Height();
      TRect crop = FCropRect;
      if (!whole && OnCropDialog && OnCropDialog(*this, *image, crop)) {
        TRect inside;
        if (IntersectRect(inside, crop, image->BoundsRect()) && !IsRectEmpty(inside))
          FCropRect = inside;
      }
    }
  }
  RebuildProxy();
  Changed();
  Refresh();
  if (Document())
    Document()->CloseEdit(*this);
}

void TfsCropBitmap::SaveToXml(TXmlNode &node) {
  TfsSnapBitmap::SaveToXml(node);
  for (int i = node.ChildCount() - 1; i >= 0; --i)
    if (node.Child(i)->ElementType() == xeElement && SameText(node.Child(i)->Name(), "LowresImage"))
      node.DeleteChild(i);
  FProxy->WriteToXml(*node.NewChild("LowresImage"));
  node.StoreInteger("CropRectLeft", FCropRect.Left, 0);
  node.StoreInteger("CropRectTop", FCropRect.Top, 0);
  node.StoreInteger("CropRectRight", FCropRect.Right, 0);
  node.StoreInteger("CropRectBottom", FCropRect.Bottom, 0);
  node.StoreFloat("LowresDPM", FLowresDPM, Dpm150);
  node.StoreBool("AdaptAspectToImage", FAdaptAspectToImage, false);
}

void TfsCropBitmap::LoadFromXml(const TXmlNode *node) {
  {
    // The size keys come before the pictures: no proxy from half a shape.
    THoldProxy hold(*this);
    TfsSnapBitmap::LoadFromXml(node);
    TOwnLoad scope(*this);
    if (TXmlNode *lowres = node->FindChild("LowresImage"))
      FProxy->ReadFromXml(*lowres);
    FCropRect = {node->LoadInteger("CropRectLeft", 0), node->LoadInteger("CropRectTop", 0),
                 node->LoadInteger("CropRectRight", 0), node->LoadInteger("CropRectBottom", 0)};
    FLowresDPM = node->LoadFloat("LowresDPM", Dpm150);
    if (!(FLowresDPM > 0))
      FLowresDPM = Dpm150;
    FAdaptAspectToImage = node->LoadBool("AdaptAspectToImage", false);
    // The older form kept its picture in the page; saving converts it.
    if (node->FindChild("TempImage"))
      if (Document())
        Document()->RequestFullRewrite();
  }
  FLocateAsked.clear();
  ShowFrame(EnsureProxy());
}
