#pragma once

#include "base/fsClassRegistry.h"
#include "base/fsError.h"
#include "persist/fsMapStream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TBitmap32;
class TXmlNode;
class TnvStorage;

// Where a picture's bytes live between program runs.
enum TfsStorageMode { smNone = 0, smExternal = 1, smArchive = 2, smEmbedded = 3 };

// How far a resource has its picture at hand.
enum TfsResourceLevel { rlEmpty, rlEncoded, rlDecoded };

// "None", "External", "Archive", "Embedded".
const char *StorageModeName(TfsStorageMode mode);

class EResourceError : public EfsError {
public:
  using EfsError::EfsError;
};

// What a resource needs of the document that owns it: the archive that holds
// pictures in mode Archive (none when the document has no archive).
class TfsResourceDocument {
public:
  virtual ~TfsResourceDocument() = default;
  virtual TnvStorage *Storage() = 0;
};

// One picture of an owner, kept as encoded bytes and, while it is shown, as a
// decoded bitmap; each form is made from the other only when needed. Every
// operation holds the process-wide resource lock (fsResourceThread.h), so
// the trimmer never compacts a resource in the middle of one.
class TfsResource {
public:
  using TNotifyEvent = std::function<void(TfsResource &Sender)>;
  using TDecodeEvent = std::function<void(TfsResource &Sender, std::unique_ptr<TBitmap32> &Bitmap)>;
  using TEncodeEvent = std::function<void(TfsResource &Sender, const TBitmap32 &Bitmap)>;

  TfsResource();
  virtual ~TfsResource();
  TfsResource(const TfsResource &) = delete;
  TfsResource &operator=(const TfsResource &) = delete;

  virtual std::string ClassName() const { return "TfsResource"; }

  // Bitmap into the data (at the data's position 0, data empty).
  virtual void EncodeBitmap(const TBitmap32 &bitmap);
  // Data (from position 0) into a new bitmap that replaces bitmap.
  virtual void DecodeBitmap(std::unique_ptr<TBitmap32> &bitmap);
  // The bytes of FileName into the data.
  virtual void LoadFileData();
  // Bytes held by the decoded form.
  virtual int64_t BitmapMemory() const;
  // Adds the archive entry that holds the bytes, if any.
  virtual void CollectArchiveNames(std::vector<std::string> &names);
  virtual void Clear();
  // Frees what can be had again: the bitmap always, the bytes when they can
  // be fetched from a file or the archive. Nothing while the resource is
  // locked.
  virtual void Compact();
  virtual void ReadFromXml(TXmlNode &node);
  virtual void WriteToXml(TXmlNode &node);

  // The access count brackets; Unlock without Lock fails with "Access count
  // mismatch".
  void Lock();
  void Unlock();
  int32_t AccessCount() const { return FAccessCount; }

  // The decoded picture, or none when there are no data. Marks the resource
  // as used. Hold the resource's Lock (or LockResources) while using it: the
  // trimmer may free it otherwise.
  TBitmap32 *Bitmap();
  // Takes ownership of another bitmap; the picture is now newer than the
  // bytes.
  void ReplaceBitmap(std::unique_ptr<TBitmap32> bitmap);

  // Reads the bytes of a picture file; "File does not exist: %s".
  void LoadFromFile(const std::string &name);

  TfsStorageMode Storage() const { return FStorage; }
  void SetStorage(TfsStorageMode mode);

  const std::string &FileName() const { return FFileName; }
  void SetFileName(const std::string &name) { FFileName = name; }
  const std::string &ArchiveName() const { return FArchiveName; }
  void SetArchiveName(const std::string &name) { FArchiveName = name; }
  // The lower-cased extension of FileName, with its dot.
  std::string FileExtension() const;
  // Replaces the extension; an empty FileName becomes ext.
  void SetFileExtension(const std::string &ext);

  TfsResourceLevel Level() const;
  void EnsureLevel(TfsResourceLevel target);

  // Copies another resource through its XML form.
  void Assign(TfsResource &source);

  TfsResourceDocument *Document() const { return FDocument; }
  void SetDocument(TfsResourceDocument *document) { FDocument = document; }

  // The encoded bytes.
  TMapStream &Data() { return FData; }
  int64_t DataSize() const { return FData.Length(); }
  bool IsBitmapChanged() const { return FBitmapChanged; }
  bool IsDataChanged() const { return FDataChanged; }
  bool Loaded() const { return FLoaded; }

  // Encodes a newer bitmap and writes newer bytes to a file or the archive.
  void Store();

  TDecodeEvent OnDecode;
  TEncodeEvent OnEncode;
  TNotifyEvent OnChange;
  TNotifyEvent OnBitmapChange;

protected:
  // OnBitmapChange, then Store.
  void Changed();
  // Marks the resource as used in the trimmer's list.
  void Touch();

  void LoadData();
  void Decode();
  void Encode();
  void DropBitmap();
  void DropData();
  void LoadFromFileSource();
  void LoadFromArchive();
  void StoreToArchive();
  void StoreToFile();
  TnvStorage *Archive() const;

  int32_t FAccessCount = 0;
  std::string FArchiveName;
  std::string FFileName;
  bool FBitmapChanged = false;
  TMapStream FData;
  bool FDataChanged = false;
  bool FLoaded = false;
  TfsStorageMode FStorage = smEmbedded;
  TfsResourceDocument *FDocument = nullptr;
  std::unique_ptr<TBitmap32> FBitmap;
};

// Holds a resource's Lock for a scope.
class TfsResourceLock {
public:
  explicit TfsResourceLock(TfsResource &resource) : FResource(resource) { FResource.Lock(); }
  ~TfsResourceLock() { FResource.Unlock(); }
  TfsResourceLock(const TfsResourceLock &) = delete;
  TfsResourceLock &operator=(const TfsResourceLock &) = delete;

private:
  TfsResource &FResource;
};

// Resource classes by name, so that owners can create a resource from the
// stored class name.
// The resource classes by name; an unknown name makes a TfsResource.
TClassFactory<TfsResource> &ResourceClasses();
// A new resource of that class; an unknown name gives a TfsResource.
std::unique_ptr<TfsResource> CreateResource(const std::string &className);

// The older compressed form of a bitmap element: its BMP file bytes split
// into byte planes, block-compressed, under "SourceSize", "CompressedSize"
// and "Buffer". Platform bitmaps use 3 planes, TBitmap32 pictures 4.
void WriteCompressedBitmapData(TXmlNode &node, std::string_view key, std::string_view bmpBytes,
                               int planes = 3);
// The BMP file bytes of such an element; empty when a size is 0.
std::string ReadCompressedBitmapData(const TXmlNode &element, int planes = 3);
// Whether an element holds the compressed form rather than a resource.
bool IsCompressedBitmap(const TXmlNode &element);
void WriteCompressedBitmap(TXmlNode &node, std::string_view key, const TBitmap32 &bitmap);
// An empty element leaves the bitmap empty.
void ReadCompressedBitmap(const TXmlNode &element, TBitmap32 &bitmap);
