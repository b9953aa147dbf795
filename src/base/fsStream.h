#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Byte streams shared by every layer: archives, XML codecs, image formats and
// bitmap streams all read and write through TStream.

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
  virtual ~TStream() = default;

  // Reads up to count bytes; returns how many were read (0 at the end).
  virtual int64_t Read(void *buffer, int64_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual int64_t Write(const void *buffer, int64_t count) = 0;
  // Returns the new position. Seeking past the end is allowed; seeking
  // before the start raises EStreamError.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();
  // Truncates or extends (with zero bytes where the stream supports it).
  virtual void SetSize(int64_t newSize) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, soBeginning); }

  // Exactly count bytes or EReadError / EWriteError.
  void ReadBuffer(void *buffer, int64_t count);
  void WriteBuffer(const void *buffer, int64_t count);
  void WriteBytes(std::string_view bytes) {
    WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  }
  // Copies count bytes from source's position (count 0: the whole source,
  // from its start). Returns the bytes copied.
  int64_t CopyFrom(TStream &source, int64_t count);
  // The remaining bytes from the position on.
  std::string ReadRemaining();
};

// A growable stream in memory.
class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : FData(std::move(bytes)) {}

  int64_t Read(void *buffer, int64_t count) override;
  int64_t Write(const void *buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t newSize) override;

  void Clear() {
    FData.clear();
    FPos = 0;
  }
  const std::string &Bytes() const { return FData; }
  std::string &Bytes() { return FData; }
  void LoadFromStream(TStream &source);
  void SaveToStream(TStream &dest) { dest.WriteBytes(FData); }
  void LoadFromFile(const std::filesystem::path &file);
  void SaveToFile(const std::filesystem::path &file);

private:
  std::string FData;
  int64_t FPos = 0;
};

// A read-only view of bytes owned elsewhere; they must outlive the stream.
class TReadOnlyMemoryStream : public TStream {
public:
  explicit TReadOnlyMemoryStream(std::string_view bytes) : FData(bytes) {}
  int64_t Read(void *buffer, int64_t count) override;
  int64_t Write(const void *buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t newSize) override;

private:
  std::string_view FData;
  int64_t FPos = 0;
};

enum TFileMode {
  fmCreate,        // create or truncate, read and write
  fmOpenRead,      // existing file, read only
  fmOpenWrite,     // existing file, write only
  fmOpenReadWrite, // existing file, read and write
};

// A file on disk. Opening failures raise EStreamError with
// "Cannot open file \"<name>\". <reason>" or "Cannot create file ...".
class TFileStream : public TStream {
public:
  TFileStream(const std::filesystem::path &file, TFileMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream &) = delete;
  TFileStream &operator=(const TFileStream &) = delete;

  int64_t Read(void *buffer, int64_t count) override;
  int64_t Write(const void *buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;
  // Pushes written bytes to the disk.
  void Flush();

  const std::filesystem::path &FileName() const { return FFileName; }

private:
  std::filesystem::path FFileName;
  int FHandle = -1;
};

// Little-endian integers and counted byte strings, as the archive, shape
// snapshots and undo records store them.
void AppendLE(std::string &out, uint64_t value, int bytes);
void WriteInt32LE(TStream &stream, int32_t value);
int32_t ReadInt32LE(TStream &stream);
int64_t ReadInt64LE(TStream &stream);
// A 32-bit count, then that many bytes. A negative count, or one that runs
// past the end of the stream, raises EReadError before anything is
// allocated.
void WriteCounted(TStream &stream, std::string_view bytes);
std::string ReadCounted(TStream &stream);
