#include "base/fsStream.h"

#include "base/fsError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int64_t TStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t end = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return end;
}

void TStream::ReadBuffer(void *buffer, int64_t count) {
  if (count < 0 || Read(buffer, count) != count)
    throw EReadError();
}

void TStream::WriteBuffer(const void *buffer, int64_t count) {
  if (count < 0 || Write(buffer, count) != count)
    throw EWriteError();
}

int64_t TStream::CopyFrom(TStream &source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  if (count < 0)
    throw EReadError();
  std::vector<char> buf(static_cast<size_t>(std::min<int64_t>(count, 1 << 20)));
  int64_t left = count;
  while (left > 0) {
    int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buf.size()));
    source.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= n;
  }
  return count;
}

std::string TStream::ReadRemaining() {
  std::string out;
  char buf[65536];
  for (;;) {
    int64_t n = Read(buf, sizeof buf);
    if (n <= 0)
      break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

namespace {

int64_t NewPosition(int64_t pos, int64_t size, int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? pos : size;
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0)
    throw EStreamError("Invalid stream position");
  return base + offset;
}

int64_t ReadFrom(std::string_view data, int64_t &pos, void *buffer, int64_t count) {
  if (count <= 0 || pos >= static_cast<int64_t>(data.size()))
    return 0;
  int64_t n = std::min<int64_t>(count, static_cast<int64_t>(data.size()) - pos);
  std::memcpy(buffer, data.data() + pos, static_cast<size_t>(n));
  pos += n;
  return n;
}

} // namespace

int64_t TMemoryStream::Read(void *buffer, int64_t count) {
  return ReadFrom(FData, FPos, buffer, count);
}

int64_t TMemoryStream::Write(const void *buffer, int64_t count) {
  if (count <= 0)
    return 0;
  size_t end = static_cast<size_t>(FPos + count);
  if (end > FData.size())
    FData.resize(end);
  std::memcpy(FData.data() + FPos, buffer, static_cast<size_t>(count));
  FPos += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  FPos = NewPosition(FPos, Size(), offset, origin);
  return FPos;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0)
    throw EStreamError("Invalid stream size");
  FData.resize(static_cast<size_t>(newSize));
  FPos = std::min(FPos, newSize);
}

void TMemoryStream::LoadFromStream(TStream &source) {
  source.SetPosition(0);
  FData = source.ReadRemaining();
  FPos = 0;
}

void TMemoryStream::LoadFromFile(const std::filesystem::path &file) {
  TFileStream f(file, fmOpenRead);
  LoadFromStream(f);
}

void TMemoryStream::SaveToFile(const std::filesystem::path &file) {
  TFileStream f(file, fmCreate);
  SaveToStream(f);
}

int64_t TReadOnlyMemoryStream::Read(void *buffer, int64_t count) {
  return ReadFrom(FData, FPos, buffer, count);
}

int64_t TReadOnlyMemoryStream::Write(const void *, int64_t) { return 0; }

int64_t TReadOnlyMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  FPos = NewPosition(FPos, Size(), offset, origin);
  return FPos;
}

void TReadOnlyMemoryStream::SetSize(int64_t) { throw EWriteError(); }

TFileStream::TFileStream(const std::filesystem::path &file, TFileMode mode) : FFileName(file) {
  int flags = O_CLOEXEC;
  switch (mode) {
  case fmCreate:
    flags |= O_RDWR | O_CREAT | O_TRUNC;
    break;
  case fmOpenRead:
    flags |= O_RDONLY;
    break;
  case fmOpenWrite:
    flags |= O_WRONLY;
    break;
  case fmOpenReadWrite:
    flags |= O_RDWR;
    break;
  }
  FHandle = ::open(file.c_str(), flags, 0666);
  if (FHandle >= 0) {
    struct stat st {};
    if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(FHandle);
      FHandle = -1;
      errno = EISDIR;
    }
  }
  if (FHandle < 0) {
    const char *what = mode == fmCreate ? "Cannot create file \"" : "Cannot open file \"";
    throw EStreamError(what + file.string() + "\". " + std::strerror(errno));
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0)
    ::close(FHandle);
}

int64_t TFileStream::Read(void *buffer, int64_t count) {
  int64_t done = 0;
  auto *p = static_cast<char *>(buffer);
  while (done < count) {
    ssize_t n = ::read(FHandle, p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void *buffer, int64_t count) {
  int64_t done = 0;
  auto *p = static_cast<const char *>(buffer);
  while (done < count) {
    ssize_t n = ::write(FHandle, p + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(FHandle, static_cast<off_t>(offset), whence);
  if (r < 0)
    throw EStreamError("Invalid stream position");
  return r;
}

void TFileStream::SetSize(int64_t newSize) {
  if (newSize < 0 || ::ftruncate(FHandle, static_cast<off_t>(newSize)) != 0)
    throw EWriteError();
  if (Position() > newSize)
    Seek(newSize, soBeginning);
}

void TFileStream::Flush() {
  if (::fsync(FHandle) != 0)
    throw EWriteError();
}

void AppendLE(std::string &out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void WriteInt32LE(TStream &stream, int32_t value) {
  std::string b;
  AppendLE(b, static_cast<uint32_t>(value), 4);
  stream.WriteBytes(b);
}

namespace {

uint64_t ReadLE(TStream &stream, int bytes) {
  unsigned char b[8];
  stream.ReadBuffer(b, bytes);
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i)
    v = (v << 8) | b[i];
  return v;
}

} // namespace

int32_t ReadInt32LE(TStream &stream) {
  return static_cast<int32_t>(static_cast<uint32_t>(ReadLE(stream, 4)));
}

int64_t ReadInt64LE(TStream &stream) {
  return static_cast<int64_t>(ReadLE(stream, 8));
}

void WriteCounted(TStream &stream, std::string_view bytes) {
  if (bytes.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw EWriteError();
  WriteInt32LE(stream, static_cast<int32_t>(bytes.size()));
  stream.WriteBytes(bytes);
}

std::string ReadCounted(TStream &stream) {
  const int32_t n = ReadInt32LE(stream);
  if (n < 0 || n > stream.Size() - stream.Position())
    throw EReadError();
  std::string out(static_cast<size_t>(n), '\0');
  stream.ReadBuffer(out.data(), n);
  return out;
}
