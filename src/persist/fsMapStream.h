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

private:
  void SetBlockCount(int64_t count);

  int64_t FBlockSize;
  std::vector<void *> FBlocks;
  int64_t FSize = 0;
  int64_t FPos = 0;
};
