#include "shapes/fsExposedMetafile.h"

#include "base/fsConvert.h"
#include "base/fsStream.h"
#include "persist/fsImageFormats.h"

namespace {

// 150 dots per inch in dots per millimetre: pictures come in at their pixel
// size read at that resolution.
constexpr double MetafileDpm = 5.9055118110236220473;

// The BMP file bytes of a pattern, as a platform bitmap saves itself.
std::string PatternBmp(const TBitmap32 &bitmap) {
  TMemoryStream bmp;
  CreateRaster(FormatForExtension(".bmp"))->SaveToStream(bmp, bitmap);
  return bmp.Bytes();
}

} // namespace

TfsExposedMetafile::TfsExposedMetafile() : FPicture(std::make_unique<TfsResource>()) {
  // The decoded form is the parsed picture; the bitmap the resource keeps
  // is an empty marker, so that it counts as decoded until it is trimmed.
  FPicture->OnDecode = [this](TfsResource &resource, std::unique_ptr<TBitmap32> &bitmap) {
    auto metafile = std::make_unique<TfsMetafile>();
    metafile->LoadFromBytes(resource.Data().Bytes());
    FMetafile = std::move(metafile);
    bitmap = std::make_unique<TBitmap32>();
  };
  FPicture->OnChange = [this](TfsResource &) { PictureLoaded(); };
  FPicture->OnBitmapChange = [this](TfsResource &) { Repaint(); };
}

TfsExposedMetafile::~TfsExposedMetafile() {
  FPicture->OnDecode = nullptr;
  FPicture->OnChange = nullptr;
  FPicture->OnBitmapChange = nullptr;
}

// ---- properties ------------------------------------------------------------------

void TfsExposedMetafile::Repaint() {
  Refresh();
  Changed();
}

void TfsExposedMetafile::SetOverrideBrush(bool value) {
  if (value == FOverrideBrush)
    return;
  FOverrideBrush = value;
  Repaint();
}

void TfsExposedMetafile::SetOverridePen(bool value) {
  if (value == FOverridePen)
    return;
  FOverridePen = value;
  Repaint();
}

void TfsExposedMetafile::SetPen(const TfsPen &pen) {
  if (pen == FPen)
    return;
  FPen = pen;
  Repaint();
}

void TfsExposedMetafile::SetBrush(const TfsBrush &brush) {
  if (brush == FBrush)
    return;
  FBrush = brush;
  Repaint();
}

void TfsExposedMetafile::SetBrushBitmap(const TBitmap32 *bitmap) {
  if (!bitmap && !FBrushBitmap)
    return;
  if (bitmap && !bitmap->IsBlank()) {
    auto copy = std::make_shared<TBitmap32>();
    copy->Assign(*bitmap);
    FBrushBitmap = std::move(copy);
  } else {
    FBrushBitmap.reset();
  }
  Repaint();
}

TfsMetafilePen TfsExposedMetafile::PlayerPen() const {
  TfsMetafilePen pen;
  pen.Style = FPen.Style >= 0 && FPen.Style <= int32_t(mpsAlternate)
                  ? static_cast<uint32_t>(FPen.Style)
                  : uint32_t(mpsSolid);
  pen.Width = FPen.Width;
  pen.Color = ToColor32(FPen.Color) | 0xFF000000u;
  return pen;
}

TfsMetafileBrush TfsExposedMetafile::PlayerBrush() const {
  TfsMetafileBrush brush;
  brush.Color = ToColor32(FBrush.Color) | 0xFF000000u;
  if (FBrushBitmap) {
    brush.Style = mbsPattern;
    brush.Pattern = FBrushBitmap;
  } else if (FBrush.Style == 1) {
    brush.Style = mbsNull;
  } else if (FBrush.Style >= 2 && FBrush.Style <= 7) {
    brush.Style = mbsHatched;
    brush.Hatch = static_cast<uint32_t>(FBrush.Style - 2);
  } else {
    brush.Style = mbsSolid;
  }
  return brush;
}

// ---- the picture -------------------------------------------------------------------------

const TfsMetafile *TfsExposedMetafile::Metafile() {
  TfsResourceLock lock(*FPicture);
  // Reading marks the resource as used; the marker exists exactly while
  // the last decoding is current.
  return FPicture->Bitmap() ? FMetafile.get() : nullptr;
}

void TfsExposedMetafile::PictureLoaded() {
  if (DocWidth() != 0 || DocHeight() != 0)
    return;
  const TfsMetafile *metafile = Metafile();
  if (!metafile)
    return;
  SetDocWidth(static_cast<float>(metafile->PixelWidth() / MetafileDpm));
  SetDocHeight(static_cast<float>(metafile->PixelHeight() / MetafileDpm));
  LockAspect();
}

int TfsExposedMetafile::PlayRecord(TfsMetafilePlayer &player, size_t index) {
  TfsMetafilePen keptPen;
  TfsMetafileBrush keptBrush;
  if (FOverridePen)
    keptPen = player.SelectPen(PlayerPen());
  if (FOverrideBrush)
    keptBrush = player.SelectBrush(PlayerBrush());
  player.PlayRecord(index);
  if (FOverridePen)
    player.SelectPen(keptPen);
  if (FOverrideBrush)
    player.SelectBrush(keptBrush);
  return 1;
}

void TfsExposedMetafile::Paint(TBitmap32 &bitmap, const TDeviceContext &) {
  if (bitmap.IsBlank())
    return;
  TfsResourceLock lock(*FPicture);
  const TfsMetafile *metafile = Metafile();
  if (!metafile)
    return;
  const TRect target{DeviceX(0), DeviceY(0), DeviceX(DocWidth()), DeviceY(DocHeight())};
  TfsMetafilePlayer player(*metafile, bitmap, target, bitmap.BoundsRect());
  player.OnRecord = [this](TfsMetafilePlayer &sender, size_t index) {
    return PlayRecord(sender, index) != 0;
  };
  player.Play();
}

// ---- TfsShape ------------------------------------------------------------------------------

void TfsExposedMetafile::GetResourceNames(std::vector<std::string> &names) const {
  TfsEffectShape::GetResourceNames(names);
  FPicture->CollectArchiveNames(names);
}

void TfsExposedMetafile::SetDocument(TfsShapeDocument *document) {
  FPicture->SetDocument(document);
  TfsEffectShape::SetDocument(document);
}

void TfsExposedMetafile::SaveToXml(TXmlNode &node) {
  TfsEffectShape::SaveToXml(node);
  for (const char *key : {"Image", "Pen", "Brush", "BrushBitmap"})
    for (int i = node.ChildCount() - 1; i >= 0; --i)
      if (node.Child(i)->ElementType() == xeElement && SameText(node.Child(i)->Name(), key))
        node.DeleteChild(i);
  FPicture->WriteToXml(*node.NewChild("Image"));
  node.StoreBool("OverridePen", FOverridePen, false);
  if (FOverridePen)
    node.StorePen("Pen", FPen);
  node.StoreBool("OverrideBrush", FOverrideBrush, false);
  if (FOverrideBrush) {
    node.StoreBrush("Brush", FBrush);
    if (FBrushBitmap)
      WriteCompressedBitmapData(node, "BrushBitmap", PatternBmp(*FBrushBitmap), 3);
  }
}

void TfsExposedMetafile::LoadFromXml(const TXmlNode *node) {
  TfsEffectShape::LoadFromXml(node);
  TOwnLoad scope(*this);
  if (TXmlNode *image = node->FindChild("Image"))
    FPicture->ReadFromXml(*image);
  SetOverridePen(node->LoadBool("OverridePen", false));
  if (FOverridePen)
    SetPen(node->LoadPen("Pen"));
  SetOverrideBrush(node->LoadBool("OverrideBrush", false));
  if (FOverrideBrush) {
    SetBrush(node->LoadBrush("Brush"));
    const TXmlNode *element = node->FindChild("BrushBitmap");
    const std::string bmp = element ? ReadCompressedBitmapData(*element, 3) : std::string();
    if (bmp.empty()) {
      SetBrushBitmap(nullptr);
    } else {
      TBitmap32 pattern;
      TReadOnlyMemoryStream stream(bmp);
      LoadBitmapFromStream(stream, ".bmp", pattern);
      SetBrushBitmap(&pattern);
    }
  }
  ClearCache();
}
