#include "persist/fsMapStream.h"

#include "base/fsError.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

int64_t SystemPageSize() {
  long size = sysconf(_SC_PAGESIZE);
  return size > 0 ? size : 0;
}

[[noreturn]] void RaiseSystemError(int code) {
  throw EStreamError(std::strerror(code));
}

// Committed memory can never exceed the machine's memory; refusing such sizes
// up front keeps a wild seek from mapping pages one by one for ages.
int64_t MaxStreamSize() {
  long pages = sysconf(_SC_PHYS_PAGES);
  long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0)
    return INT64_MAX;
  if (pages > INT64_MAX / pageSize)
    return INT64_MAX;
  return static_cast<int64_t>(pages) * pageSize;
}

} // namespace

TMapStream::TMapStream() : TMapStream(SystemPageSize()) {}

TMapStream::TMapStream(int64_t blockSize) : FBlockSize(blockSize) {
  if (FBlockSize <= 0)
    throw EStreamError("Memory map page size is zero");
}

TMapStream::~TMapStream() {
  for (void *block : FBlocks)
    munmap(block, static_cast<size_t>(FBlockSize));
}

void TMapStream::SetBlockCount(int64_t count) {
  int64_t have = BlockCount();
  if (count > have) {
    try {
      FBlocks.reserve(static_cast<size_t>(count));
    } catch (const std::bad_alloc &) {
      RaiseSystemError(ENOMEM);
    }
    while (BlockCount() < count) {
      void *block = mmap(nullptr, static_cast<size_t>(FBlockSize), PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (block == MAP_FAILED)
        RaiseSystemError(errno);
      FBlocks.push_back(block);
    }
  } else {
    while (BlockCount() > count) {
      if (munmap(FBlocks.back(), static_cast<size_t>(FBlockSize)) != 0)
        RaiseSystemError(errno);
      FBlocks.pop_back();
    }
  }
}

void TMapStream::SetSize(int64_t newSize) {
  if (newSize < 0)
    throw EStreamError("Invalid stream size");
  if (newSize > MaxStreamSize())
    RaiseSystemError(ENOMEM);
  int64_t blocks = newSize / FBlockSize + (newSize % FBlockSize != 0 ? 1 : 0);
  if (newSize < FSize) {
    SetBlockCount(blocks);
    // The kept block's tail must read as zeros when the stream grows again.
    int64_t offset = newSize % FBlockSize;
    if (offset != 0)
      std::memset(static_cast<char *>(FBlocks.back()) + offset, 0,
                  static_cast<size_t>(FBlockSize - offset));
  } else {
    SetBlockCount(blocks);
  }
  FSize = newSize;
  FPos = std::min(FPos, FSize);
}

int64_t TMapStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? FPos : FSize;
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0)
    throw EStreamError("Invalid stream position");
  int64_t pos = base + offset;
  if (pos > FSize)
    SetSize(pos);
  FPos = pos;
  return FPos;
}

int64_t TMapStream::ReadAt(int64_t pos, void *buffer, int64_t count) const {
  if (count <= 0 || pos < 0 || pos >= FSize)
    return 0;
  int64_t n = std::min(count, FSize - pos);
  auto *out = static_cast<char *>(buffer);
  int64_t done = 0;
  while (done < n) {
    int64_t block = pos / FBlockSize;
    int64_t offset = pos % FBlockSize;
    int64_t part = std::min(n - done, FBlockSize - offset);
    std::memcpy(out + done, static_cast<char *>(FBlocks[static_cast<size_t>(block)]) + offset,
                static_cast<size_t>(part));
    done += part;
    pos += part;
  }
  return n;
}

int64_t TMapStream::Read(void *buffer, int64_t count) {
  int64_t n = ReadAt(FPos, buffer, count);
  FPos += n;
  return n;
}

int64_t TMapStream::Write(const void *buffer, int64_t count) {
  if (count <= 0)
    return 0;
  if (FPos > INT64_MAX - count)
    throw EStreamError("Invalid stream size");
  if (FPos + count > FSize)
    SetSize(FPos + count);
  const auto *in = static_cast<const char *>(buffer);
  int64_t done = 0;
  while (done < count) {
    int64_t block = FPos / FBlockSize;
    int64_t offset = FPos % FBlockSize;
    int64_t part = std::min(count - done, FBlockSize - offset);
    std::memcpy(static_cast<char *>(FBlocks[static_cast<size_t>(block)]) + offset, in + done,
                static_cast<size_t>(part));
    done += part;
    FPos += part;
  }
  return count;
}

std::string TMapStream::Bytes() const {
  std::string result(static_cast<size_t>(FSize), '\0');
  int64_t done = 0;
  for (size_t i = 0; done < FSize; ++i) {
    int64_t part = std::min(FSize - done, FBlockSize);
    std::memcpy(result.data() + done, FBlocks[i], static_cast<size_t>(part));
    done += part;
  }
  return result;
}

int64_t TMapStreamReader::Read(void *buffer, int64_t count) {
  int64_t n = FSource.ReadAt(FPos, buffer, count);
  FPos += n;
  return n;
}

int64_t TMapStreamReader::Write(const void *, int64_t) {
  return 0;
}

int64_t TMapStreamReader::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? FPos : FSource.Length();
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0)
    throw EStreamError("Invalid stream position");
  FPos = base + offset;
  return FPos;
}

void TMapStreamReader::SetSize(int64_t) {
  throw EWriteError();
}
