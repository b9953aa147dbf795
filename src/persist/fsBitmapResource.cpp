#include "persist/fsBitmapResource.h"

#include "persist/fsImageFormats.h"
#include "raster/fsGR32.h"

namespace {

// Decoded pictures stay within what a page can use.
constexpr TfsMaxSize ResourceMaxSize{4000, 4000};

} // namespace

void TfsBitmapResource::EncodeBitmap(const TBitmap32 &bitmap) {
  TRasterClass format = FormatForExtension(FileExtension());
  if (!format)
    return;
  if (!(FormatFlags(format) & rfCanWrite)) {
    SetFileExtension(".hck");
    format = FormatForExtension(FileExtension());
    if (!format)
      return;
  }
  FData.Clear();
  CreateRaster(format)->SaveToStream(FData, bitmap);
}

void TfsBitmapResource::DecodeBitmap(std::unique_ptr<TBitmap32> &bitmap) {
  auto decoded = std::make_unique<TBitmap32>();
  try {
    // Decoders seek to offsets the file gives; on the data itself a damaged
    // one would add pages up to it.
    TMapStreamReader source(FData);
    LoadBitmapFromStream(source, FileExtension(), *decoded, 0, ResourceMaxSize);
  } catch (...) {
    bitmap.reset();
    throw;
  }
  bitmap = std::move(decoded);
}

void TfsBitmapResource::LoadFileData() {
  TRasterClass format = FormatForExtension(FileExtension());
  if (format && (FormatFlags(format) & rfCanRead)) {
    TfsResource::LoadFileData();
    return;
  }
  // A format we can only read from files: keep the picture as HCK instead.
  TBitmap32 bitmap;
  {
    TFileStream file(FFileName, fmOpenRead);
    TfsImageFiler filer;
    filer.Stream = &file;
    filer.MaxWidth = ResourceMaxSize.Width;
    filer.MaxHeight = ResourceMaxSize.Height;
    filer.LoadBitmap(&bitmap);
  }
  FData.Clear();
  CreateRaster(FormatForExtension(".hck"))->SaveToStream(FData, bitmap);
  SetFileExtension(".hck");
}

int64_t TfsBitmapResource::BitmapMemory() const {
  return FBitmap ? static_cast<int64_t>(FBitmap->Width()) * FBitmap->Height() * 4 : 0;
}

void TfsBitmapResource::BitmapChanged() {
  TfsResourceLock lock(*this);
  FBitmapChanged = true;
  Changed();
}

void TfsBitmapResource::SetBitmap(const TBitmap32 *bitmap) {
  TfsResourceLock lock(*this);
  if (!bitmap) {
    Clear();
  } else {
    if (!FBitmap) {
      FBitmap = std::make_unique<TBitmap32>();
      FBitmapChanged = true;
      Touch();
      if (FileExtension().empty())
        SetFileExtension(".hck");
    }
    FBitmap->Assign(*bitmap);
    FBitmapChanged = true;
  }
  Changed();
}
