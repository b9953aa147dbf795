#include "persist/fsImageFormats.h"

#include "persist/fsBmpFormat.h"
#include "persist/fsGifFormat.h"
#include "persist/fsHckImage.h"
#include "persist/fsJpegFormat.h"
#include "persist/fsPngFormat.h"

#include "base/fsAtomicFile.h"
#include "base/fsClassRegistry.h"
#include "base/fsConvert.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace {

TRasterClassHolder Holder(TRasterClass cls, const std::string &description,
                          const std::string &extensions, uint16_t flags) {
  return {cls, description, cls->ClassName, LowerCase(extensions), flags};
}

// The program's own formats, in the order the open filter lists them.
TClassRegistry<TRasterClassHolder> &Registry() {
  static TClassRegistry<TRasterClassHolder> registry([] {
    InstallBmpStreamHandlers();
    return std::vector<TRasterClassHolder>{
        Holder(RasterClassOf<TfsBmpFormat>(), "Windows Bitmap", ".bmp;.dib;", 15),
        Holder(RasterClassOf<TfsJpgFormat>(), "JPEG images", ".jpg;.jp;.jpeg;", 3615),
        Holder(RasterClassOf<THckImage>(), "HCK Image", ".hck;", 111),
        Holder(RasterClassOf<TfsGifFormat>(), "Compuserve GIF", ".gif;", 4207),
        Holder(RasterClassOf<TfsPngFormat>(), "Portable Network Graphics", ".png;", 79)};
  });
  return registry;
}

TRasterClass FormatForExt(const std::vector<TRasterClassHolder> &list, const std::string &ext,
                          uint16_t needFlags) {
  if (ext.empty())
    return nullptr;
  std::string key = LowerCase(ext) + ";";
  for (const auto &h : list) {
    if ((h.Flags & needFlags) != needFlags)
      continue;
    // Whole entries only: ".jp;" must not match inside ".jpg;".
    size_t at = 0;
    while ((at = h.Extensions.find(key, at)) != std::string::npos) {
      if (at == 0 || h.Extensions[at - 1] == ';')
        return h.Class;
      ++at;
    }
  }
  return nullptr;
}

std::string Masks(const TRasterClassHolder &h) {
  std::string out;
  size_t start = 0;
  while (start < h.Extensions.size()) {
    size_t end = h.Extensions.find(';', start);
    if (end == std::string::npos)
      end = h.Extensions.size();
    if (end > start) {
      if (!out.empty())
        out += ';';
      out += '*';
      out.append(h.Extensions, start, end - start);
    }
    start = end + 1;
  }
  return out;
}

std::string FilterItems(uint16_t flag) {
  std::string out;
  for (const auto &h : RasterFormats()) {
    if (!(h.Flags & flag))
      continue;
    std::string m = Masks(h);
    if (!out.empty())
      out += '|';
    out += h.Description + " (" + m + ")|" + m;
  }
  return out;
}

std::atomic<int64_t> GPixelLimit{int64_t(1) << 28};

int64_t FileSizeOf(const std::string &name) {
  std::error_code ec;
  auto size = std::filesystem::file_size(name, ec);
  return ec ? 0 : static_cast<int64_t>(size);
}


} // namespace

void RegisterRasterFormat(TRasterClass cls, const std::string &description,
                          const std::string &extensions, uint16_t flags) {
  Registry().Register(Holder(cls, description, extensions, flags));
}

std::vector<TRasterClassHolder> RasterFormats() {
  return Registry().Records();
}

std::string ExtractFileExt(const std::string &fileName) {
  size_t dot = fileName.find_last_of("./");
  if (dot == std::string::npos || fileName[dot] != '.')
    return {};
  return fileName.substr(dot);
}

TRasterClass FormatForExtension(const std::string &fileName) {
  return FormatForExt(RasterFormats(), ExtractFileExt(fileName), 0);
}

uint16_t FormatFlags(TRasterClass cls) {
  for (const auto &h : RasterFormats())
    if (h.Class == cls)
      return h.Flags;
  return 0;
}

std::string OpenFilter() {
  std::string all;
  for (const auto &h : RasterFormats()) {
    if (!(h.Flags & rfOpenFilter))
      continue;
    if (!all.empty())
      all += ';';
    all += Masks(h);
  }
  return "Graphic formats|" + all + "|" + FilterItems(rfOpenFilter) + "|All Formats (*.*)|*.*";
}

std::string SaveFilter() {
  return FilterItems(rfSaveFilter);
}

std::unique_ptr<TfsRaster> CreateRaster(TRasterClass cls) {
  auto raster = cls->Create();
  raster->SetFlags(FormatFlags(cls));
  raster->SetRasterClass(cls);
  return raster;
}

int64_t RasterPixelLimit() {
  return GPixelLimit.load();
}
void SetRasterPixelLimit(int64_t pixels) {
  GPixelLimit.store(pixels);
}

void CheckRasterSize(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0)
    throw ERasterError("Image has no pixels");
  if (width > RasterPixelLimit() / height)
    throw ERasterError("Image is too large (" + std::to_string(width) + " x " +
                       std::to_string(height) + " pixels)");
}

// ---------------------------------------------------------------- TfsRaster

void TfsRaster::CheckSinglePage(int page) {
  if (page > 0)
    throw ERasterError("Requested non-existing page");
}

void TfsRaster::LoadFromFile(const std::filesystem::path &name, TBitmap32 &bitmap, int page,
                             TfsMaxSize maxSize) {
  if (!(FFlags & rfCanRead))
    throw ERasterError("Method not implemented");
  TFileStream file(name, fmOpenRead);
  LoadFromStream(file, bitmap, page, maxSize);
}

void TfsRaster::LoadFromStream(TStream &, TBitmap32 &, int, TfsMaxSize) {
  throw ERasterError("Loading from stream is not implemented");
}

void TfsRaster::SaveToStream(TStream &, const TBitmap32 &) {
  throw ERasterError("Method not implemented");
}

void TfsRaster::SaveToFile(const std::filesystem::path &name, const TBitmap32 &bitmap) {
  if (!(FFlags & rfCanWrite))
    throw ERasterError("Method not implemented");
  TMemoryStream encoded;
  SaveToStream(encoded, bitmap);
  SaveFileAtomically(name, encoded.Bytes());
  FByteCount = encoded.Size();
}

// ------------------------------------------------------------ TfsImageFiler

void TfsImageFiler::SetExtension(const std::string &extension) {
  FExtension = extension;
  FFormat.reset();
}

void TfsImageFiler::SetFileName(const std::string &fileName) {
  FFileName = fileName;
  FFormat.reset();
}

void TfsImageFiler::ChooseReadFormat() {
  if (!FFileName.empty())
    FExtension = ExtractFileExt(FFileName);

  // The data offered to the classes that look: our stream, else the file.
  std::unique_ptr<TFileStream> file;
  TStream *data = nullptr;
  int64_t start = 0;
  auto openData = [&]() -> TStream * {
    if (!data) {
      if (Stream) {
        data = Stream;
        start = Stream->Position();
      } else if (!FFileName.empty()) {
        file = std::make_unique<TFileStream>(FFileName, fmOpenRead);
        data = file.get();
      }
    }
    return data;
  };
  // A stream handed to us may hold the picture after other data: the
  // picture starts where the stream stood, and stays found there.
  auto offer = [&](TRasterClass cls) {
    TStream *s = openData();
    if (!s)
      return false;
    s->SetPosition(start);
    bool ok = cls->CanLoad(s);
    s->SetPosition(start);
    return ok;
  };

  if (!FExtension.empty()) {
    if (TRasterClass cls = FormatForExt(RasterFormats(), FExtension, 0)) {
      if (cls->CanLoad(nullptr) || offer(cls))
        FFormat = CreateRaster(cls);
    }
  }
  if (!FFormat) {
    if (!Stream && FFileName.empty())
      return;
    // Classes that look at the data get the first say, so that an HCK file
    // is recognised even though the bitmap class accepts anything.
    for (bool looking : {true, false}) {
      for (const auto &h : RasterFormats())
        if (h.Class->CanLoad(nullptr) != looking && offer(h.Class)) {
          FFormat = CreateRaster(h.Class);
          return;
        }
    }
  }
}

void TfsImageFiler::LoadBitmap(TBitmap32 *bitmap) {
  if (!bitmap)
    throw ERasterError("Input bitmap not assigned");
  if (!FFormat)
    ChooseReadFormat();
  if (!FFormat)
    throw ERasterError("Unknown raster format \"" + FExtension + "\"");
  TfsMaxSize maxSize{MaxWidth, MaxHeight};
  if (Stream) {
    int64_t before = Stream->Position();
    FFormat->LoadFromStream(*Stream, *bitmap, PageIndex, maxSize);
    FByteCount = Stream->Position() - before;
  } else if (FFormat->Flags() & rfCanRead) {
    TFileStream file(FFileName, fmOpenRead);
    FFormat->LoadFromStream(file, *bitmap, PageIndex, maxSize);
    FByteCount = file.Size();
  } else {
    FFormat->LoadFromFile(FFileName, *bitmap, PageIndex, maxSize);
  }
  FPageCount = FFormat->PageCount();
}

void TfsImageFiler::SaveBitmap(const TBitmap32 *bitmap) {
  if (!bitmap)
    throw ERasterError("Input bitmap not assigned");
  std::string ext = ExtractFileExt(FFileName);
  if (ext.empty())
    ext = FExtension;
  TRasterClass cls = FormatForExt(RasterFormats(), ext, rfSaveFilter);
  if (!cls)
    throw ERasterError("Cannot save format \"" + ext + "\"");
  auto format = CreateRaster(cls);
  if (Stream && (format->Flags() & rfCanWrite)) {
    int64_t before = Stream->Position();
    format->SaveToStream(*Stream, *bitmap);
    FByteCount = Stream->Size() - before;
  } else {
    format->SaveToFile(FFileName, *bitmap);
    FByteCount = FileSizeOf(FFileName);
  }
}

void LoadBitmapFromStream(TStream &stream, const std::string &extension, TBitmap32 &bitmap,
                          int page, TfsMaxSize maxSize) {
  TfsImageFiler filer;
  filer.Stream = &stream;
  filer.SetExtension(extension);
  filer.PageIndex = page;
  if (int64_t(maxSize.Width) * maxSize.Height > 0) {
    filer.MaxWidth = maxSize.Width;
    filer.MaxHeight = maxSize.Height;
  }
  filer.LoadBitmap(&bitmap);
}

void SaveBitmapToFile(const std::string &fileName, const TBitmap32 &bitmap) {
  TfsImageFiler filer;
  filer.SetFileName(fileName);
  filer.SaveBitmap(&bitmap);
}
