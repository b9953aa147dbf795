#include "designer/uFileUtils.h"

#include "base/fsError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::filesystem::path ExistingRegularFile(const std::string &fileName) {
  std::error_code ec;
  std::filesystem::path p(fileName);
  if (!std::filesystem::is_regular_file(p, ec))
    throw EfsError("File " + fileName + " not found");
  return p;
}

// Closes the descriptor on every way out.
struct TFd {
  int fd;
  ~TFd() {
    if (fd >= 0)
      ::close(fd);
  }
};

} // namespace

uint64_t FileSizeOf(const std::string &fileName) {
  std::error_code ec;
  auto size = std::filesystem::file_size(ExistingRegularFile(fileName), ec);
  if (ec)
    throw EfsError("File " + fileName + " not found");
  return size;
}

std::chrono::system_clock::time_point FileDateOf(const std::string &fileName) {
  struct stat st {};
  if (::stat(ExistingRegularFile(fileName).c_str(), &st) != 0)
    throw EfsError("File " + fileName + " not found");
  using namespace std::chrono;
  return system_clock::time_point(
      duration_cast<system_clock::duration>(seconds(st.st_mtim.tv_sec) + nanoseconds(st.st_mtim.tv_nsec)));
}

size_t LastPos(std::string_view sub, std::string_view s) {
  if (sub.empty())
    return 0;
  auto pos = s.rfind(sub);
  return pos == std::string_view::npos ? 0 : pos + 1;
}

std::string ReadWholeFile(const std::filesystem::path &file) {
  TFd f{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
  if (f.fd < 0)
    throw EStreamError("Cannot open file \"" + file.string() + "\". " + std::strerror(errno));
  std::string bytes;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(f.fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      throw EReadError();
    }
    if (n == 0)
      break;
    bytes.append(buf, static_cast<size_t>(n));
  }
  return bytes;
}

void WriteFileAtomically(const std::filesystem::path &file, std::string_view bytes) {
  auto dir = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  std::random_device rd;
  std::filesystem::path tmp;
  TFd f{-1};
  for (int attempt = 0; attempt < 100 && f.fd < 0; ++attempt) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on a chain
    // of string additions that starts with a literal.
    std::string name = ".";
    name += file.filename().string();
    name += '.';
    name += std::to_string(rd());
    name += ".tmp";
    tmp = dir / name;
    f.fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (f.fd < 0 && errno != EEXIST)
      break;
  }
  if (f.fd < 0)
    throw EStreamError("Cannot create file \"" + file.string() + "\". " + std::strerror(errno));
  auto fail = [&]() {
    int err = errno;
    ::close(f.fd);
    f.fd = -1;
    std::error_code ec;
    std::filesystem::remove(tmp, ec);
    throw EStreamError("Cannot create file \"" + file.string() + "\". " + std::strerror(err));
  };
  const char *p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(f.fd, p, left);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      fail();
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (::fsync(f.fd) != 0)
    fail();
  if (::close(f.fd) != 0) {
    f.fd = -1;
    fail();
  }
  f.fd = -1;
  if (std::rename(tmp.c_str(), file.c_str()) != 0) {
    int err = errno;
    std::error_code ec;
    std::filesystem::remove(tmp, ec);
    throw EStreamError("Cannot create file \"" + file.string() + "\". " + std::strerror(err));
  }
}
