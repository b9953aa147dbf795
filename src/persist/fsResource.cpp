#include "persist/fsResource.h"

#include "persist/fsBitmapResource.h"
#include "persist/fsBlockCodec.h"
#include "persist/fsImageFormats.h"
#include "persist/fsPlainXml.h"
#include "persist/fsRasterError.h"
#include "persist/fsResourceThread.h"
#include "persist/fsXmlCodec.h"
#include "persist/fsXmlValues.h"
#include "persist/nvStorage.h"
#include "raster/fsGR32.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <mutex>

namespace fs = std::filesystem;

namespace {

const char *const StorageNames[] = {"None", "External", "Archive", "Embedded"};

bool FileExists(const std::string &name) {
  std::error_code ec;
  return !name.empty() && fs::is_regular_file(fs::path(name), ec);
}

bool PathExists(const std::string &name) {
  std::error_code ec;
  return fs::exists(fs::path(name), ec);
}

// Position of the extension's dot, npos when the last path part has none.
// Backslashes count as separators: names stored on other systems use them.
size_t ExtensionDot(const std::string &name) {
  size_t dot = name.find_last_of("./\\");
  return dot != std::string::npos && name[dot] == '.' ? dot : std::string::npos;
}

} // namespace

const char *StorageModeName(TfsStorageMode mode) {
  return mode >= smNone && mode <= smEmbedded ? StorageNames[mode] : "";
}

// ---------------------------------------------------------------------------
// Life and locking

TfsResource::TfsResource() : FData() {
  ResourceThread().Add(this);
}

TfsResource::~TfsResource() {
  ResourceThread().Remove(this);
}

void TfsResource::Lock() {
  ResourceThread().Enter();
  ++FAccessCount;
}

void TfsResource::Unlock() {
  if (FAccessCount <= 0)
    throw EResourceError("Access count mismatch");
  --FAccessCount;
  ResourceThread().Leave();
}

void TfsResource::Touch() {
  ResourceThread().MarkUsed(this);
}

void TfsResource::Changed() {
  if (OnBitmapChange)
    OnBitmapChange(*this);
  Store();
}

// ---------------------------------------------------------------------------
// The virtual operations of the base

void TfsResource::EncodeBitmap(const TBitmap32 &) {
  throw EResourceError("No method for object storing defined");
}

void TfsResource::DecodeBitmap(std::unique_ptr<TBitmap32> &) {
  throw EResourceError("No method for object loading defined");
}

void TfsResource::LoadFileData() {
  FData.Clear();
  TFileStream file(FFileName, fmOpenRead);
  FData.CopyFrom(file, 0);
}

int64_t TfsResource::BitmapMemory() const {
  return FBitmap ? static_cast<int64_t>(FBitmap->Width()) * FBitmap->Height() * 4 : 0;
}

void TfsResource::CollectArchiveNames(std::vector<std::string> &names) {
  TfsResourceLock lock(*this);
  if (FStorage == smArchive && !FArchiveName.empty())
    names.push_back(FArchiveName);
}

void TfsResource::Clear() {
  TfsResourceLock lock(*this);
  FData.Clear();
  FArchiveName.clear();
  FFileName.clear();
  FBitmapChanged = false;
  FDataChanged = false;
  FLoaded = false;
  if (FBitmap) {
    FBitmap.reset();
    Changed();
  }
}

void TfsResource::Compact() {
  TResourcesLock global;
  if (FAccessCount > 0)
    return;
  TfsResourceLock lock(*this);
  // Bytes that can be fetched again go too; otherwise they are the only copy.
  if (FStorage == smExternal || FStorage == smArchive)
    EnsureLevel(rlEmpty);
  else
    EnsureLevel(rlEncoded);
}

// ---------------------------------------------------------------------------
// Public operations

TBitmap32 *TfsResource::Bitmap() {
  TfsResourceLock lock(*this);
  Touch();
  EnsureLevel(rlDecoded);
  return FBitmap.get();
}

void TfsResource::ReplaceBitmap(std::unique_ptr<TBitmap32> bitmap) {
  TfsResourceLock lock(*this);
  FBitmap = std::move(bitmap);
  FBitmapChanged = true;
  Touch();
  Changed();
}

void TfsResource::LoadFromFile(const std::string &name) {
  TfsResourceLock lock(*this);
  Clear();
  if (!FileExists(name))
    throw EResourceError("File does not exist: " + name);
  std::error_code ec;
  fs::path full = fs::absolute(fs::path(name), ec);
  FFileName = ec ? name : full.lexically_normal().string();
  LoadFromFileSource();
  if (FData.Size() > 0 && FDataChanged && FStorage == smArchive)
    StoreToArchive();
  if (OnChange)
    OnChange(*this);
  Changed();
}

void TfsResource::SetStorage(TfsStorageMode mode) {
  TfsResourceLock lock(*this);
  if (mode == FStorage)
    return;
  LoadData();
  FStorage = mode;
  FDataChanged = true;
  if (FArchiveName.empty() && FFileName.size() > 4)
    FArchiveName = FFileName;
  Store();
}

std::string TfsResource::FileExtension() const {
  size_t dot = ExtensionDot(FFileName);
  return dot == std::string::npos ? std::string() : LowerCase(FFileName.substr(dot));
}

void TfsResource::SetFileExtension(const std::string &ext) {
  TfsResourceLock lock(*this);
  size_t dot = ExtensionDot(FFileName);
  FFileName = (dot == std::string::npos ? FFileName : FFileName.substr(0, dot)) + ext;
}

TfsResourceLevel TfsResource::Level() const {
  if (FBitmap || FBitmapChanged)
    return rlDecoded;
  if (FData.Length() > 0 || FDataChanged)
    return rlEncoded;
  return rlEmpty;
}

void TfsResource::EnsureLevel(TfsResourceLevel target) {
  TfsResourceLock lock(*this);
  switch (target) {
  case rlEmpty:
    if (Level() == rlDecoded)
      DropBitmap();
    if (Level() == rlEncoded)
      DropData();
    break;
  case rlEncoded:
    if (Level() == rlEmpty)
      LoadData();
    else if (Level() == rlDecoded)
      DropBitmap();
    break;
  case rlDecoded:
    if (Level() == rlEmpty)
      LoadData();
    if (Level() == rlEncoded)
      Decode();
    break;
  }
}

void TfsResource::Store() {
  TfsResourceLock lock(*this);
  Encode();
  if (!FDataChanged)
    return;
  if (FStorage == smExternal)
    StoreToFile();
  else if (FStorage == smArchive)
    StoreToArchive();
}

// ---------------------------------------------------------------------------
// Steps between the levels

void TfsResource::LoadData() {
  if (FBitmapChanged)
    Encode();
  else if (FDataChanged || FLoaded)
    return;
  else if (FStorage == smExternal)
    LoadFromFileSource();
  else if (FStorage == smArchive)
    LoadFromArchive();
}

void TfsResource::Decode() {
  if (FBitmapChanged)
    return;
  FBitmap.reset();
  LoadData();
  if (FData.Size() > 0) {
    // Decoding only reads the bytes. A decoder that seeks past their end on
    // the data itself makes the map stream longer; that must not reach the
    // document.
    const int64_t length = FData.Length();
    try {
      FData.SetPosition(0);
      if (OnDecode)
        OnDecode(*this, FBitmap);
      else
        DecodeBitmap(FBitmap);
    } catch (...) {
      if (FData.Length() > length)
        FData.SetSize(length);
      throw;
    }
    if (FData.Length() > length)
      FData.SetSize(length);
  }
  FBitmapChanged = false;
}

void TfsResource::Encode() {
  if (!FBitmapChanged)
    return;
  FData.Clear();
  if (FBitmap) {
    if (OnEncode)
      OnEncode(*this, *FBitmap);
    else
      EncodeBitmap(*FBitmap);
  }
  FDataChanged = true;
  FBitmapChanged = false;
}

void TfsResource::DropBitmap() {
  Encode();
  FBitmap.reset();
}

void TfsResource::DropData() {
  Store();
  if (!FDataChanged) {
    FData.Clear();
    FLoaded = false;
  }
}

void TfsResource::LoadFromFileSource() {
  FData.Clear();
  FDataChanged = false;
  if (!FileExists(FFileName))
    return;
  try {
    LoadFileData();
  } catch (...) {
    FData.Clear();
    throw;
  }
  FLoaded = true;
  switch (FStorage) {
  case smArchive:
    FArchiveName = FFileName;
    FDataChanged = true;
    break;
  case smNone:
  case smEmbedded:
    FDataChanged = true;
    break;
  case smExternal:
    break;
  }
}

TnvStorage *TfsResource::Archive() const {
  return FDocument ? FDocument->Storage() : nullptr;
}

void TfsResource::LoadFromArchive() {
  FData.Clear();
  FDataChanged = false;
  TnvStorage *archive = Archive();
  // Without an archive yet, the name is all we know of the bytes: keep it and
  // fetch them once the owner's document has one.
  if (!archive)
    return;
  if (!FArchiveName.empty() && archive->StreamExists(FArchiveName)) {
    try {
      archive->ReadStream(FArchiveName, FData);
    } catch (const EfsError &) {
      FData.Clear();
    }
  }
  if (FData.Size() == 0)
    FArchiveName.clear();
  FLoaded = true;
}

void TfsResource::StoreToArchive() {
  TnvStorage *archive = Archive();
  if (!FDataChanged || !archive)
    return;
  if (FData.Size() > 0) {
    if (FArchiveName.empty())
      FArchiveName = archive->UniqueStreamName(FileExtension());
    FData.SetPosition(0);
    archive->WriteStream(FArchiveName, FData);
  } else {
    // An entry named after a picture file may be shared by other resources
    // loaded from the same file; only our own temporary entries go.
    if (TnvStorage::IsTempStreamName(FArchiveName))
      archive->DeleteStream(FArchiveName);
    FArchiveName.clear();
  }
  FDataChanged = false;
}

void TfsResource::StoreToFile() {
  if (!FDataChanged)
    return;
  // Never overwrite a file: it is the user's, not ours.
  if (FFileName.empty() || FFileName[0] == '.' || PathExists(FFileName))
    return;
  if (FData.Size() > 0) {
    TFileStream file(FFileName, fmCreate);
    file.CopyFrom(FData, 0);
  }
  FDataChanged = false;
}

// ---------------------------------------------------------------------------
// XML form

void TfsResource::WriteToXml(TXmlNode &node) {
  TfsResourceLock lock(*this);
  node.StoreString("ClassName", ClassName(), "");
  Encode();
  switch (FStorage) {
  case smExternal:
    StoreToFile();
    break;
  case smArchive:
    StoreToArchive();
    break;
  case smEmbedded:
    FDataChanged = false;
    if (FData.Length() > 0) {
      TXmlNode *data = node.NewChild("Data");
      data->StoreInteger("Size", static_cast<int32_t>(FData.Length()), 0);
      data->StoreString("Filter", "Base64", "");
      data->NewChild("Buffer")->SetBinaryString(FData.Bytes());
    }
    break;
  case smNone:
    break;
  }
  node.StoreString("ArchiveName", FArchiveName, "");
  node.StoreString("FileName", FFileName, "");
  node.StoreString("Storage", StorageModeName(FStorage), "");
}

namespace {

// Decodes count bytes of binary text in the given coding. The length is
// checked before anything is allocated: a damaged size must not make us
// reserve gigabytes for a few characters.
std::string DecodeBinaryText(const TXmlNode &buffer, int coding, int64_t count) {
  std::string text = XmlStripWhite(buffer.Value());
  int64_t available = coding == xbBinHex ? static_cast<int64_t>(text.size() / 2)
                                         : static_cast<int64_t>(text.size() / 4 * 3);
  if (count < 0 || available < count)
    throw EXmlError("Missing data in binary stream");
  std::string bytes(static_cast<size_t>(count), '\0');
  if (coding == xbBinHex)
    BinHexDecode(text, bytes.data(), count);
  else
    Base64Decode(text, bytes.data(), count);
  return bytes;
}

} // namespace

void TfsResource::ReadFromXml(TXmlNode &node) {
  TfsResourceLock lock(*this);
  Clear();
  FArchiveName = node.LoadString("ArchiveName", "");
  FFileName = node.LoadString("FileName", "");
  std::string storage = node.LoadString("Storage", "");
  for (TfsStorageMode mode : {smNone, smExternal, smArchive, smEmbedded})
    if (storage == StorageModeName(mode))
      FStorage = mode;
  switch (FStorage) {
  case smExternal:
    LoadFromFileSource();
    break;
  case smArchive:
    LoadFromArchive();
    break;
  case smEmbedded: {
    FData.Clear();
    FDataChanged = false;
    TXmlNode *data = node.FindChild("Data");
    if (!data)
      break;
    int32_t size = data->LoadInteger("Size", 0);
    if (size == 0)
      break;
    // Another writer may have used hexadecimal text; the filter names it.
    std::string filter = data->LoadString("Filter", "");
    int coding;
    if (filter == "BinHex")
      coding = xbBinHex;
    else if (filter == "Base64")
      coding = xbBase64;
    else
      throw EResourceError("Unsupported binary encoding");
    if (TXmlNode *buffer = data->FindChild("Buffer")) {
      std::string bytes = DecodeBinaryText(*buffer, coding, size);
      FData.WriteBytes(bytes);
      FData.SetPosition(0);
    }
    break;
  }
  case smNone:
    break;
  }
}

void TfsResource::Assign(TfsResource &source) {
  if (&source == this)
    return;
  TfsResourceLock lock(*this);
  TfsResourceLock sourceLock(source);
  TPlainXml xml("Resource");
  source.WriteToXml(*xml.Root());
  ReadFromXml(*xml.Root());
  FArchiveName.clear();
  if (FStorage != smExternal && FStorage != smArchive)
    return;
  // A copy in mode Archive has no entry of its own any more; unless its
  // bytes are marked as changed the next save would lose the picture.
  if (source.FDocument != FDocument || FStorage == smArchive) {
    source.EnsureLevel(rlEncoded);
    FData.Clear();
    FData.CopyFrom(source.FData, 0);
    FData.SetPosition(0);
    FDataChanged = FData.Length() > 0;
  }
}

// ---------------------------------------------------------------------------
// Compressed bitmap element

namespace {

std::string TBitmap32ToBmp(const TBitmap32 &bitmap) {
  TMemoryStream bmp;
  CreateRaster(FormatForExtension(".bmp"))->SaveToStream(bmp, bitmap);
  return bmp.Bytes();
}

} // namespace

void WriteCompressedBitmapData(TXmlNode &node, std::string_view key, std::string_view bmpBytes,
                               int planes) {
  std::string compressed = BlockCompress(SplitPlanes(bmpBytes, planes));
  TXmlNode *element = node.NewChild(key);
  element->StoreInteger("SourceSize", static_cast<int32_t>(bmpBytes.size()), 0);
  element->StoreInteger("CompressedSize", static_cast<int32_t>(compressed.size()), 0);
  element->NewChild("Buffer")->WriteBinary(compressed.data(),
                                           static_cast<int64_t>(compressed.size()));
}

std::string ReadCompressedBitmapData(const TXmlNode &element, int planes) {
  int64_t sourceSize = element.LoadInteger("SourceSize", 0);
  int64_t compressedSize = element.LoadInteger("CompressedSize", 0);
  if (sourceSize == 0 || compressedSize == 0)
    return {};
  // No block expands beyond BlockMaxExpansion; a larger "SourceSize" is
  // damage, not a picture.
  if (sourceSize < 0 || compressedSize < 0 ||
      sourceSize / static_cast<int64_t>(BlockMaxExpansion) > compressedSize)
    throw ERasterError("Unable to decompress");
  TXmlNode *buffer = element.FindChild("Buffer");
  std::string text = buffer ? XmlStripWhite(buffer->Value()) : std::string();
  // Every coding needs at least one character per byte.
  if (static_cast<int64_t>(text.size()) < compressedSize)
    throw EXmlError("Missing data in binary stream");
  std::string compressed(static_cast<size_t>(compressedSize), '\0');
  buffer->ReadBinary(compressed.data(), compressedSize);
  return MergePlanes(BlockDecompress(compressed, static_cast<size_t>(sourceSize)), planes);
}

bool IsCompressedBitmap(const TXmlNode &element) {
  return element.FindChild("SourceSize") != nullptr;
}

void WriteCompressedBitmap(TXmlNode &node, std::string_view key, const TBitmap32 &bitmap) {
  WriteCompressedBitmapData(node, key, TBitmap32ToBmp(bitmap), 4);
}

void ReadCompressedBitmap(const TXmlNode &element, TBitmap32 &bitmap) {
  std::string bmp = ReadCompressedBitmapData(element, 4);
  if (bmp.empty()) {
    bitmap.SetSize(0, 0);
    return;
  }
  TReadOnlyMemoryStream stream(bmp);
  LoadBitmapFromStream(stream, ".bmp", bitmap);
}

// ---------------------------------------------------------------------------
// Class registry

TClassFactory<TfsResource> &ResourceClasses() {
  static TClassFactory<TfsResource> classes([] {
    return std::vector<TClassFactory<TfsResource>::TRecord>{
        {"TfsResource", [] { return std::make_unique<TfsResource>(); }},
        {"TfsBitmapResource", [] { return std::make_unique<TfsBitmapResource>(); }}};
  });
  return classes;
}

std::unique_ptr<TfsResource> CreateResource(const std::string &className) {
  return ResourceClasses().Create(className);
}
