#pragma once

#include "persist/fsRasterError.h"
#include "base/fsStream.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// Picture files and streams in and out of TBitmap32: the registry of raster
// formats, their common base and the filer that picks a format by extension
// or by content.

class TBitmap32;
class TfsRaster;

// The size a reader aims at; readers that can reduce while decoding do so
// when the picture is at least twice as large. Zero or less: no limit.
struct TfsMaxSize {
  int32_t Width = 0;
  int32_t Height = 0;
};

// What the registry knows of a format class: its name, how to make one, and
// its class-level content test. CanLoad(nullptr) asks whether the class
// accepts without looking at the data.
struct TfsRasterClassInfo {
  const char *ClassName;
  std::unique_ptr<TfsRaster> (*Create)();
  bool (*CanLoad)(TStream *stream);
};
using TRasterClass = const TfsRasterClassInfo *;

template <class T> TRasterClass RasterClassOf() {
  static const TfsRasterClassInfo info{
      T::ClassName, []() -> std::unique_ptr<TfsRaster> { return std::make_unique<T>(); },
      &T::CanLoad};
  return &info;
}

// Capability bits of a registry record; the others are carried, not read.
enum TfsRasterFlag : uint16_t {
  rfCanRead = 1,
  rfOpenFilter = 2,
  rfCanWrite = 4,
  rfSaveFilter = 8,
};

struct TRasterClassHolder {
  TRasterClass Class = nullptr;
  std::string Description;
  std::string ClassName;
  std::string Extensions; // ".bmp;.dib;"
  uint16_t Flags = 0;
};

// Adds a record, or refreshes the one of a class already listed.
void RegisterRasterFormat(TRasterClass cls, const std::string &description,
                          const std::string &extensions, uint16_t flags);
// The records in registration order; the program's own five formats are
// registered before the first look at the registry.
std::vector<TRasterClassHolder> RasterFormats();
// First class whose extension list holds the name's extension; none when
// the name has no extension.
TRasterClass FormatForExtension(const std::string &fileName);
uint16_t FormatFlags(TRasterClass cls);
std::string OpenFilter();
std::string SaveFilter();

// The extension of a file name with its dot ("" when none), as written.
std::string ExtractFileExt(const std::string &fileName);

// A format object of the class, its flags copied from the registry.
std::unique_ptr<TfsRaster> CreateRaster(TRasterClass cls);

// Readers refuse pictures of more pixels than this (a damaged header must
// not make us allocate gigabytes).
int64_t RasterPixelLimit();
void SetRasterPixelLimit(int64_t pixels);
// Raises ERasterError unless width x height is positive and within the limit.
void CheckRasterSize(int64_t width, int64_t height);

class TfsRaster {
public:
  static constexpr const char *ClassName = "TfsRaster";

  TfsRaster() = default;
  virtual ~TfsRaster() = default;
  TfsRaster(const TfsRaster &) = delete;
  TfsRaster &operator=(const TfsRaster &) = delete;

  static bool CanLoad(TStream *) { return true; }

  virtual void LoadFromFile(const std::filesystem::path &name, TBitmap32 &bitmap, int page,
                            TfsMaxSize maxSize);
  virtual void LoadFromStream(TStream &stream, TBitmap32 &bitmap, int page, TfsMaxSize maxSize);
  virtual void SaveToStream(TStream &stream, const TBitmap32 &bitmap);
  virtual void SaveToFile(const std::filesystem::path &name, const TBitmap32 &bitmap);

  uint16_t Flags() const { return FFlags; }
  void SetFlags(uint16_t flags) { FFlags = flags; }
  // The registry class it was made from (CreateRaster); none otherwise.
  TRasterClass RasterClass() const { return FClass; }
  void SetRasterClass(TRasterClass cls) { FClass = cls; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t PageCount() const { return FPageCount; }
  int64_t ByteCount() const { return FByteCount; }

protected:
  // Every reader has one page; asking for another is an error.
  static void CheckSinglePage(int page);

  uint16_t FFlags = 0;
  TRasterClass FClass = nullptr;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FPageCount = 1;
  int64_t FByteCount = 0;
};

// Reads or writes one picture, choosing the format object as late as
// possible. A stream set here is used instead of the file (not owned).
class TfsImageFiler {
public:
  const std::string &Extension() const { return FExtension; }
  void SetExtension(const std::string &extension);
  const std::string &FileName() const { return FFileName; }
  void SetFileName(const std::string &fileName);

  int32_t MaxWidth = 4000;
  int32_t MaxHeight = 4000;
  int32_t PageIndex = 0;
  TStream *Stream = nullptr;

  int32_t PageCount() const { return FPageCount; }
  TfsRaster *Format() const { return FFormat.get(); }
  int64_t ByteCount() const { return FByteCount; }

  void LoadBitmap(TBitmap32 *bitmap);
  void SaveBitmap(const TBitmap32 *bitmap);

private:
  void ChooseReadFormat();

  std::string FExtension;
  std::string FFileName;
  int32_t FPageCount = 0;
  std::unique_ptr<TfsRaster> FFormat;
  int64_t FByteCount = 0;
};

// A filer on the stream with that extension; the max size replaces the
// filer's default when its product is positive.
void LoadBitmapFromStream(TStream &stream, const std::string &extension, TBitmap32 &bitmap,
                          int page = 0, TfsMaxSize maxSize = {});
void SaveBitmapToFile(const std::string &fileName, const TBitmap32 &bitmap);
