#pragma once

#include "base/fsStream.h"

#include <cstdint>
#include <vector>

// A stream whose bytes live in page-granular blocks taken straight from the
// system, so that the bytes of many pictures neither fragment the heap nor
// need one large contiguous buffer. Blocks beyond the size are handed back at
// once when the stream shrinks.
class TMapStream : public TStream {
public:
  // Blocks of the system's page size.
  TMapStream();
  // Blocks of the given size (tests and callers that know better); 0 or less
  // fails with "Memory map page size is zero".
  explicit TMapStream(int64_t blockSize);
  ~TMapStream() override;
  TMapStream(const TMapStream &) = delete;
  TMapStream &operator=(const TMapStream &) = delete;

  int64_t Read(void *buffer, int64_t count) override;
  int64_t Write(const void *buffer, int64_t count) override;
  // Seeking beyond the end enlarges the stream to that position.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return FSize; }
  void SetSize(int64_t newSize) override;

  void Clear() { SetSize(0); }
  int64_t Length() const { return FSize; }
  int64_t BlockSize() const { return FBlockSize; }
  int64_t BlockCount() const { return static_cast<int64_t>(FBlocks.size()); }
  // All bytes, position unchanged.
  std::string Bytes() const;
  // Up to count bytes from pos on, position unchanged; returns how many.
  int64_t ReadAt(int64_t pos, void *buffer, int64_t count) const;

private:
  void SetBlockCount(int64_t count);

  int64_t FBlockSize;
  std::vector<void *> FBlocks;
  int64_t FSize = 0;
  int64_t FPos = 0;
};

// The bytes of a map stream read from the start with a position of its own.
// Seeking past the end only moves that position, as on the other streams,
// and writing fails, so nothing a reader does can change the bytes. The map
// stream must outlive the reader and keep its size meanwhile.
class TMapStreamReader : public TStream {
public:
  explicit TMapStreamReader(const TMapStream &source) : FSource(source) {}

  int64_t Read(void *buffer, int64_t count) override;
  // Writes nothing (0).
  int64_t Write(const void *buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return FSource.Length(); }
  // Fails with EWriteError.
  void SetSize(int64_t newSize) override;

private:
  const TMapStream &FSource;
  int64_t FPos = 0;
};
