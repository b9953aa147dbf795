#pragma once

#include "base/fsError.h"
#include "base/fsStream.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <vector>

// Failures of the archive itself (the stream errors of the files underneath
// pass through as EStreamError).
class EnvStorageError : public EfsError {
public:
  using EfsError::EfsError;
};

// One entry of the archive, in directory order.
struct TnvIndexItem {
  std::string Name;
  bool InFile = false; // data in the opened file, otherwise in the working stream
  int64_t Offset = 0;
  int64_t Size = 0;
};

// A single file holding any number of named byte streams ("STOR" archive).
//
// Entries of a loaded archive stay in the opened file until they are read or
// replaced; new and changed entries go into a working stream (memory, or a
// temporary file past MemoryCache bytes). Saving writes a fresh, compact
// archive. In direct mode (AutoSave, OpenDirect) the working stream is the
// archive file itself and every change lands in it at once.
//
// All operations are serialised by a re-entrant lock; an operation started
// again from inside one of its own operations on the same thread (a stream
// calling back into the storage) is refused.
class TnvStorage {
public:
  static constexpr uint32_t DefaultMemoryCache = 10485760;
  static constexpr int64_t CopyBufferSize = 61440;

  TnvStorage();
  ~TnvStorage();
  TnvStorage(const TnvStorage &) = delete;
  TnvStorage &operator=(const TnvStorage &) = delete;

  void Clear();
  // A missing file leaves an empty storage that remembers the name, so that
  // SaveToFile(FileName()) creates it.
  void LoadFromFile(const std::string &fileName);
  void LoadFromStream(TStream &stream);
  // Written into a temporary file beside the target and renamed over it, so
  // an interrupted save never costs the old file. Saving onto the opened
  // archive leaves the storage working on the new file.
  void SaveToFile(const std::string &fileName);
  // Writes the archive at the stream's start; a longer stream is cut to it.
  void SaveToStream(TStream &stream);
  void OpenDirect(const std::string &fileName);

  bool StreamExists(std::string_view name);
  // Empty outside 0..StreamCount()-1.
  std::string StreamName(int index);
  // 0 outside 0..StreamCount()-1.
  int64_t StreamSize(int index);
  void ReadStream(std::string_view name, TStream &stream);
  void WriteStream(std::string_view name, TStream &stream);
  void DeleteStream(std::string_view name);
  // Renaming onto the name of another entry replaces that entry.
  void RenameStream(std::string_view oldName, std::string_view newName);
  std::string UniqueStreamName(std::string_view ext);
  static bool IsTempStreamName(std::string_view name);

  // A copy of the index, for listings and diagnostics.
  std::vector<TnvIndexItem> Index();

  std::string FileName();
  void SetFileName(const std::string &fileName);
  bool AutoSave();
  void SetAutoSave(bool value);
  uint32_t MemoryCache();
  void SetMemoryCache(uint32_t value);
  int StreamCount();

  // The working stream's size and, when it lives in a file, that file's
  // name (empty while it is in memory).
  int64_t WorkingSize();
  std::string WorkingFileName();

private:
  friend class TnvStorageGuard;

  int FindIndex(std::string_view name) const;
  void DoClear();
  void DoLoadFromFile(const std::filesystem::path &fileName);
  void DoOpenDirect(const std::filesystem::path &fileName);
  void DoSaveToStream(TStream &target);
  void DoSaveToFile(const std::filesystem::path &fileName);
  void ReadDirectory(TStream &source, bool inFile);
  void WriteWorkingHeader();
  void RewriteWorkingDirectory();
  int64_t UsedEnd() const;
  int64_t NamesSize() const;
  int64_t FreeSpace(int64_t count, int64_t minPos) const;
  void ResizeWorking(int64_t size, bool checkLimit = false);
  void MoveToTempFile();
  void MoveBlock(int64_t from, int64_t to, int64_t count);
  void CopyBlock(TStream &source, int64_t from, TStream &target, int64_t count);
  void DropWorking();
  void NewMemoryWorking();

  std::vector<TnvIndexItem> FIndex;
  std::unique_ptr<TStream> FWork;
  TMemoryStream *FWorkMemory = nullptr; // FWork while it lives in memory
  std::filesystem::path FWorkName;
  bool FWorkTemporary = true;
  std::unique_ptr<TFileStream> FOpened;
  std::filesystem::path FOpenedName;
  uint32_t FMemoryCache = DefaultMemoryCache;
  bool FAutoSave = false;
  bool FModified = false; // changes not yet saved (outside direct mode)
  std::vector<char> FBuffer;
  std::mt19937 FRandom;
  std::recursive_mutex FLock;
  bool FBusy = false;
};
