#include "persist/nvStorage.h"

#include "base/fsAtomicFile.h"
#include "base/fsConvert.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr char Signature[4] = {'S', 'T', 'O', 'R'};
constexpr uint8_t FormatVersion = 1;
constexpr int64_t HeaderSize = 6;        // signature, version, flag byte
constexpr int64_t WorkingDirOffset = 14; // the working directory has no comment
constexpr int64_t FileDirOffset = 69;
// The first directory entry of a file, after the comment and the entry
// count; the entries' data follow the directory.
constexpr int64_t FileEntriesOffset = FileDirOffset + 4;
constexpr size_t CommentSize = 55;
constexpr int64_t DirEntryFixed = 20; // offset, size, name length
constexpr char CommentText[] = "\r\nCreated with Fennodrivals - Info: www.tallisyn.org\r\n";
static_assert(sizeof(CommentText) - 1 < CommentSize, "the comment needs a closing NUL");

constexpr char RecursiveMessage[] = "Warning: recursive call to nvStorage from event";
constexpr char OverlapMessage[] = "Blocks overlap in copying action";
constexpr char TempFileMessage[] = "Unable to create temporary file";

bool SameFile(const fs::path &a, const fs::path &b) {
  std::error_code ec;
  if (fs::equivalent(a, b, ec))
    return true;
  std::error_code ea, eb;
  auto ca = fs::weakly_canonical(fs::absolute(a, ea), ea);
  auto cb = fs::weakly_canonical(fs::absolute(b, eb), eb);
  return !ea && !eb && ca == cb;
}

bool FileExists(const fs::path &p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

} // namespace

// Enters the lock and refuses a nested call from the same thread; leaving
// the refused call unlocks exactly what it locked.
class TnvStorageGuard {
public:
  explicit TnvStorageGuard(TnvStorage &storage) : S(storage) {
    S.FLock.lock();
    if (S.FBusy) {
      S.FLock.unlock();
      throw EnvStorageError(RecursiveMessage);
    }
    S.FBusy = true;
  }
  ~TnvStorageGuard() {
    S.FBusy = false;
    S.FLock.unlock();
  }
  TnvStorageGuard(const TnvStorageGuard &) = delete;
  TnvStorageGuard &operator=(const TnvStorageGuard &) = delete;

private:
  TnvStorage &S;
};

TnvStorage::TnvStorage() : FBuffer(CopyBufferSize), FRandom(std::random_device{}()) {
  DoClear();
}

TnvStorage::~TnvStorage() {
  DropWorking();
  FOpened.reset();
}

// ---------------------------------------------------------------- helpers

int TnvStorage::FindIndex(std::string_view name) const {
  for (size_t i = 0; i < FIndex.size(); ++i)
    if (SameText(FIndex[i].Name, name))
      return static_cast<int>(i);
  return -1;
}

void TnvStorage::DropWorking() {
  FWork.reset();
  FWorkMemory = nullptr;
  if (FWorkTemporary && !FWorkName.empty()) {
    std::string lower = FWorkName.string();
    std::transform(lower.begin(), lower.end(), lower.begin(), LowerAscii);
    std::error_code ec;
    if (lower.find(".tmp") != std::string::npos && fs::exists(FWorkName, ec))
      fs::remove(FWorkName, ec);
  }
}

void TnvStorage::NewMemoryWorking() {
  auto memory = std::make_unique<TMemoryStream>();
  FWorkMemory = memory.get();
  FWork = std::move(memory);
  WriteWorkingHeader();
  RewriteWorkingDirectory();
}

void TnvStorage::DoClear() {
  DropWorking();
  FWorkName.clear();
  FWorkTemporary = true;
  FOpened.reset();
  FOpenedName.clear();
  FIndex.clear();
  FModified = false;
  NewMemoryWorking();
}

void TnvStorage::WriteWorkingHeader() {
  std::string head(Signature, 4);
  head.push_back(static_cast<char>(FormatVersion));
  head.push_back(1);
  FWork->SetPosition(0);
  FWork->WriteBytes(head);
}

int64_t TnvStorage::NamesSize() const {
  int64_t sum = 0;
  for (const auto &e : FIndex)
    sum += DirEntryFixed + static_cast<int64_t>(e.Name.size());
  return sum;
}

int64_t TnvStorage::UsedEnd() const {
  int64_t end = HeaderSize;
  for (const auto &e : FIndex)
    if (!e.InFile)
      end = std::max(end, e.Offset + e.Size);
  return end;
}

// The first gap between working-stream blocks (from the lowest up) that
// holds count bytes, else the end of the highest block. Empty entries take
// no room, so they neither split a gap nor end the used area; a gap is
// measured from the furthest end so far, so no order of equal offsets can
// place data over a block. minPos keeps blocks being moved out of the
// directory's way from landing in it again.
int64_t TnvStorage::FreeSpace(int64_t count, int64_t minPos) const {
  std::vector<std::pair<int64_t, int64_t>> blocks; // offset, end
  for (const auto &e : FIndex)
    if (!e.InFile && e.Size > 0)
      blocks.emplace_back(e.Offset, e.Offset + e.Size);
  if (blocks.empty())
    return std::max<int64_t>(12 + NamesSize() + 512, minPos);
  std::stable_sort(blocks.begin(), blocks.end(),
                   [](const auto &x, const auto &y) { return x.first < y.first; });
  int64_t end = blocks[0].second;
  for (size_t i = 1; i < blocks.size(); ++i) {
    int64_t start = std::max(end, minPos);
    if (blocks[i].first - start >= count)
      return start;
    end = std::max(end, blocks[i].second);
  }
  return std::max(end, minPos);
}

void TnvStorage::ResizeWorking(int64_t size, bool checkLimit) {
  int64_t current = FWork->Size();
  if (size == current && !checkLimit)
    return;
  if (FWorkMemory && size > static_cast<int64_t>(FMemoryCache) && (checkLimit || size >= current))
    MoveToTempFile();
  if (FWork->Size() != size)
    FWork->SetSize(size);
}

// A failed switch leaves the storage as it was (still in memory): clearing
// it would throw away every change not yet saved.
void TnvStorage::MoveToTempFile() {
  std::error_code ec;
  fs::path folder = fs::temp_directory_path(ec);
  if (ec)
    throw EnvStorageError(TempFileMessage);
  std::string name = (folder / "~TMPXXXXXX.tmp").string();
  int fd = ::mkstemps(name.data(), 4);
  if (fd < 0)
    throw EnvStorageError(TempFileMessage);
  ::close(fd);
  std::unique_ptr<TFileStream> file;
  try {
    file = std::make_unique<TFileStream>(name, fmOpenReadWrite);
    file->WriteBytes(FWorkMemory->Bytes());
  } catch (const EfsError &) {
    file.reset();
    fs::remove(name, ec);
    throw EnvStorageError(TempFileMessage);
  }
  FWork = std::move(file);
  FWorkMemory = nullptr;
  FWorkName = name;
  FWorkTemporary = true;
}

void TnvStorage::CopyBlock(TStream &source, int64_t from, TStream &target, int64_t count) {
  int64_t to = target.Position();
  for (int64_t done = 0; done < count;) {
    int64_t n = std::min<int64_t>(count - done, CopyBufferSize);
    source.SetPosition(from + done);
    source.ReadBuffer(FBuffer.data(), n);
    target.SetPosition(to + done);
    target.WriteBuffer(FBuffer.data(), n);
    done += n;
  }
  target.SetPosition(to + count);
}

// Copies from the front, which is safe for a move towards the start only.
void TnvStorage::MoveBlock(int64_t from, int64_t to, int64_t count) {
  if (to > from && to < from + count)
    throw EnvStorageError(OverlapMessage);
  FWork->SetPosition(to);
  CopyBlock(*FWork, from, *FWork, count);
}

void TnvStorage::RewriteWorkingDirectory() {
  // Blocks that the growing directory would run into move out of its way.
  const int64_t limit = 12 + NamesSize() + 6;
  for (;;) {
    TnvIndexItem *lowest = nullptr;
    for (auto &e : FIndex)
      if (!e.InFile && e.Size > 0 && e.Offset > 0 && (!lowest || e.Offset < lowest->Offset))
        lowest = &e;
    if (!lowest || lowest->Offset >= limit)
      break;
    int64_t p = FreeSpace(lowest->Size, limit);
    if (FWork->Size() < p + lowest->Size)
      ResizeWorking(p + lowest->Size);
    MoveBlock(lowest->Offset, p, lowest->Size);
    lowest->Offset = p;
  }

  std::string dir;
  AppendLE(dir, WorkingDirOffset, 8);
  int32_t count = 0;
  std::string entries;
  for (const auto &e : FIndex) {
    if (e.InFile)
      continue;
    ++count;
    AppendLE(entries, static_cast<uint64_t>(e.Offset), 8);
    AppendLE(entries, static_cast<uint64_t>(e.Size), 8);
    AppendLE(entries, static_cast<uint32_t>(e.Name.size()), 4);
    entries += e.Name;
  }
  AppendLE(dir, static_cast<uint32_t>(count), 4);
  dir += entries;
  FWork->SetPosition(HeaderSize);
  FWork->WriteBytes(dir);
}

// Everything a damaged file could say is checked before it is believed:
// counts and name lengths against the bytes that are really there, data
// inside the stream, and no data block over the header, the directory or
// another block (a rewrite of one entry must never change another).
void TnvStorage::ReadDirectory(TStream &source, bool inFile) {
  const int64_t size = source.Size();
  char sig[4];
  source.SetPosition(0);
  if (source.Read(sig, 4) != 4 || std::memcmp(sig, Signature, 4) != 0)
    throw EnvStorageError("File is not a storage file");
  uint8_t version = 0, flag = 0;
  source.ReadBuffer(&version, 1);
  if (version > FormatVersion)
    throw EnvStorageError("File is wrong (future) version");
  source.ReadBuffer(&flag, 1);
  int64_t dirOffset = ReadInt64LE(source);
  if (dirOffset < 0 || dirOffset > size - 4)
    throw EReadError();
  source.SetPosition(dirOffset);
  int32_t count = ReadInt32LE(source);
  if (count < 0 || count > (size - dirOffset - 4) / DirEntryFixed)
    throw EReadError();

  std::vector<TnvIndexItem> items;
  items.reserve(static_cast<size_t>(count));
  int64_t pos = dirOffset + 4;
  for (int32_t i = 0; i < count; ++i) {
    TnvIndexItem e;
    e.InFile = inFile;
    e.Offset = ReadInt64LE(source);
    e.Size = ReadInt64LE(source);
    int32_t length = ReadInt32LE(source);
    pos += DirEntryFixed;
    if (length < 0 || length > size - pos)
      throw EReadError();
    e.Name.resize(static_cast<size_t>(length));
    source.ReadBuffer(e.Name.data(), length);
    pos += length;
    if (e.Offset < 0 || e.Size < 0 || e.Offset > size || e.Size > size - e.Offset)
      throw EReadError();
    items.push_back(std::move(e));
  }

  std::vector<std::pair<int64_t, int64_t>> taken = {{0, WorkingDirOffset}, {dirOffset, pos}};
  for (const auto &e : items)
    if (e.Size > 0)
      taken.emplace_back(e.Offset, e.Offset + e.Size);
  std::sort(taken.begin(), taken.end());
  for (size_t i = 1; i < taken.size(); ++i)
    if (taken[i].first < taken[i - 1].second)
      throw EnvStorageError(OverlapMessage);

  FIndex = std::move(items);
}

// ------------------------------------------------------------ load & save

void TnvStorage::DoLoadFromFile(const fs::path &fileName) {
  DoClear();
  FOpenedName = fileName;
  if (!FileExists(fileName))
    return;
  try {
    FOpened = std::make_unique<TFileStream>(fileName, fmOpenRead);
    ReadDirectory(*FOpened, true);
    RewriteWorkingDirectory();
  } catch (...) {
    DoClear();
    throw;
  }
}

void TnvStorage::DoOpenDirect(const fs::path &fileName) {
  DoClear();
  try {
    FWork.reset();
    FWorkMemory = nullptr;
    FWorkName = fileName;
    FWorkTemporary = false;
    if (FileExists(fileName)) {
      FWork = std::make_unique<TFileStream>(fileName, fmOpenReadWrite);
      ReadDirectory(*FWork, false);
    } else {
      FWork = std::make_unique<TFileStream>(fileName, fmCreate);
      WriteWorkingHeader();
    }
    RewriteWorkingDirectory();
  } catch (...) {
    DoClear();
    throw;
  }
}

void TnvStorage::DoSaveToStream(TStream &target) {
  std::string head(Signature, 4);
  head.push_back(static_cast<char>(FormatVersion));
  head.push_back(1);
  AppendLE(head, FileDirOffset, 8);
  std::string comment(CommentText);
  comment.resize(CommentSize, '\0');
  head += comment;
  AppendLE(head, static_cast<uint32_t>(FIndex.size()), 4);
  int64_t offset = FileEntriesOffset + NamesSize();
  for (const auto &e : FIndex) {
    AppendLE(head, static_cast<uint64_t>(offset), 8);
    AppendLE(head, static_cast<uint64_t>(e.Size), 8);
    AppendLE(head, static_cast<uint32_t>(e.Name.size()), 4);
    head += e.Name;
    offset += e.Size;
  }
  target.SetPosition(0);
  target.WriteBytes(head);
  for (const auto &e : FIndex) {
    TStream *source = e.InFile ? static_cast<TStream *>(FOpened.get()) : FWork.get();
    if (!source)
      throw EReadError();
    CopyBlock(*source, e.Offset, target, e.Size);
  }
  int64_t end = target.Position();
  if (target.Size() > end)
    target.SetSize(end);
}

void TnvStorage::DoSaveToFile(const fs::path &fileName) {
  if (!FWorkTemporary && SameFile(FWorkName, fileName))
    return;
  const bool ontoOpened = !FOpenedName.empty() && SameFile(FOpenedName, fileName);

  const fs::path real =
      SaveFileAtomically(fileName, [this](TFileStream &out) { DoSaveToStream(out); });

  if (!ontoOpened)
    return;
  // Everything now lies in the new file; carry on reading from it. Should
  // it not open, the old handle still reads the old data, which stays right.
  std::unique_ptr<TFileStream> reopened;
  try {
    reopened = std::make_unique<TFileStream>(real, fmOpenRead);
  } catch (const EfsError &) {
    return;
  }
  int64_t offset = FileEntriesOffset + NamesSize();
  for (auto &e : FIndex) {
    e.InFile = true;
    e.Offset = offset;
    offset += e.Size;
  }
  FOpened = std::move(reopened);
  FOpenedName = fileName;
  DropWorking();
  FWorkName.clear();
  FWorkTemporary = true;
  NewMemoryWorking();
  FModified = false;
}

// ------------------------------------------------------------ public API

void TnvStorage::Clear() {
  TnvStorageGuard guard(*this);
  DoClear();
}

void TnvStorage::LoadFromFile(const std::string &fileName) {
  TnvStorageGuard guard(*this);
  DoLoadFromFile(fileName);
}

void TnvStorage::LoadFromStream(TStream &stream) {
  TnvStorageGuard guard(*this);
  DoClear();
  try {
    int64_t size = stream.Size();
    FWork->SetSize(0);
    ResizeWorking(size);
    FWork->SetPosition(0);
    CopyBlock(stream, 0, *FWork, size);
    ReadDirectory(*FWork, false);
    RewriteWorkingDirectory();
  } catch (...) {
    DoClear();
    throw;
  }
}

void TnvStorage::SaveToFile(const std::string &fileName) {
  TnvStorageGuard guard(*this);
  DoSaveToFile(fileName);
}

void TnvStorage::SaveToStream(TStream &stream) {
  TnvStorageGuard guard(*this);
  DoSaveToStream(stream);
}

void TnvStorage::OpenDirect(const std::string &fileName) {
  TnvStorageGuard guard(*this);
  DoOpenDirect(fileName);
}

bool TnvStorage::StreamExists(std::string_view name) {
  TnvStorageGuard guard(*this);
  return FindIndex(name) >= 0;
}

std::string TnvStorage::StreamName(int index) {
  TnvStorageGuard guard(*this);
  if (index < 0 || index >= static_cast<int>(FIndex.size()))
    return {};
  return FIndex[static_cast<size_t>(index)].Name;
}

int64_t TnvStorage::StreamSize(int index) {
  TnvStorageGuard guard(*this);
  if (index < 0 || index >= static_cast<int>(FIndex.size()))
    return 0;
  return FIndex[static_cast<size_t>(index)].Size;
}

void TnvStorage::ReadStream(std::string_view name, TStream &stream) {
  TnvStorageGuard guard(*this);
  int i = FindIndex(name);
  if (i < 0)
    throw EnvStorageError("Stream \"" + std::string(name) + "\" not found in the storage");
  const TnvIndexItem &e = FIndex[static_cast<size_t>(i)];
  TStream *source = e.InFile ? static_cast<TStream *>(FOpened.get()) : FWork.get();
  if (!source)
    throw EReadError();
  stream.SetSize(e.Size);
  stream.SetPosition(0);
  CopyBlock(*source, e.Offset, stream, e.Size);
  stream.SetPosition(0);
}

void TnvStorage::WriteStream(std::string_view name, TStream &stream) {
  TnvStorageGuard guard(*this);
  const int64_t n = stream.Size();
  int i = FindIndex(name);
  if (i < 0 || FIndex[static_cast<size_t>(i)].InFile) {
    int64_t p = FreeSpace(n, 0);
    if (FWork->Size() < p + n)
      ResizeWorking(p + n);
    FWork->SetPosition(p);
    CopyBlock(stream, 0, *FWork, n);
    if (i < 0) {
      FIndex.push_back({});
      i = static_cast<int>(FIndex.size()) - 1;
    }
    TnvIndexItem &e = FIndex[static_cast<size_t>(i)];
    e.Name = std::string(name);
    e.InFile = false;
    e.Offset = p;
    e.Size = n;
  } else {
    TnvIndexItem &e = FIndex[static_cast<size_t>(i)];
    if (n > e.Size) {
      int64_t p = FreeSpace(n, 0);
      if (FWork->Size() < p + n)
        ResizeWorking(p + n);
      FWork->SetPosition(p);
      CopyBlock(stream, 0, *FWork, n);
      e.Offset = p;
    } else {
      FWork->SetPosition(e.Offset);
      CopyBlock(stream, 0, *FWork, n);
    }
    e.Size = n;
  }
  FModified = true;
  RewriteWorkingDirectory();
}

void TnvStorage::DeleteStream(std::string_view name) {
  TnvStorageGuard guard(*this);
  int i = FindIndex(name);
  if (i < 0)
    return;
  FIndex.erase(FIndex.begin() + i);
  FModified = true;
  ResizeWorking(UsedEnd());
  RewriteWorkingDirectory();
}

void TnvStorage::RenameStream(std::string_view oldName, std::string_view newName) {
  TnvStorageGuard guard(*this);
  int i = FindIndex(oldName);
  if (i < 0)
    return;
  // Two entries answering to one name could never both be reached, so the
  // entry that held the new name goes, as a file does on a rename.
  for (size_t j = 0; j < FIndex.size(); ++j) {
    if (static_cast<int>(j) != i && SameText(FIndex[j].Name, newName)) {
      FIndex.erase(FIndex.begin() + static_cast<std::ptrdiff_t>(j));
      if (static_cast<int>(j) < i)
        --i;
      ResizeWorking(UsedEnd());
      break;
    }
  }
  FIndex[static_cast<size_t>(i)].Name = std::string(newName);
  FModified = true;
  RewriteWorkingDirectory();
}

std::string TnvStorage::UniqueStreamName(std::string_view ext) {
  TnvStorageGuard guard(*this);
  std::uniform_int_distribution<int> number(0, 9999999);
  for (;;) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%07d", number(FRandom));
    std::string name = "TMP" + std::string(digits) + std::string(ext);
    if (FindIndex(name) < 0)
      return name;
  }
}

bool TnvStorage::IsTempStreamName(std::string_view name) {
  return name.substr(0, 3) == "TMP";
}

std::vector<TnvIndexItem> TnvStorage::Index() {
  TnvStorageGuard guard(*this);
  return FIndex;
}

// Property reads take the lock but never refuse, so that code called back
// from inside an operation may still look at them.

std::string TnvStorage::FileName() {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  if (!FOpenedName.empty())
    return FOpenedName.string();
  if (!FWorkTemporary)
    return FWorkName.string();
  return {};
}

void TnvStorage::SetFileName(const std::string &fileName) {
  if (fileName == FileName())
    return;
  TnvStorageGuard guard(*this);
  if (FAutoSave)
    DoOpenDirect(fileName);
  else
    DoLoadFromFile(fileName);
}

bool TnvStorage::AutoSave() {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  return FAutoSave;
}

// Switching direct mode on reopens the file; changes not yet saved are
// written into it first rather than dropped.
void TnvStorage::SetAutoSave(bool value) {
  std::string name = FileName();
  TnvStorageGuard guard(*this);
  if (value == FAutoSave)
    return;
  if (name.empty()) {
    FAutoSave = value;
    return;
  }
  if (value) {
    if (FModified && FWorkTemporary)
      DoSaveToFile(name);
    FAutoSave = true;
    DoOpenDirect(name);
  } else {
    FAutoSave = false;
    DoLoadFromFile(name);
  }
}

uint32_t TnvStorage::MemoryCache() {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  return FMemoryCache;
}

void TnvStorage::SetMemoryCache(uint32_t value) {
  TnvStorageGuard guard(*this);
  FMemoryCache = value;
  ResizeWorking(UsedEnd(), true);
  RewriteWorkingDirectory();
}

int TnvStorage::StreamCount() {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  return static_cast<int>(FIndex.size());
}

int64_t TnvStorage::WorkingSize() {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  return FWork->Size();
}

std::string TnvStorage::WorkingFileName() {
  std::lock_guard<std::recursive_mutex> lock(FLock);
  return FWorkMemory ? std::string() : FWorkName.string();
}
