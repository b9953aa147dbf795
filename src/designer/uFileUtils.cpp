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
  return system_clock::time_point(duration_cast<system_clock::duration>(
      seconds(st.st_mtim.tv_sec) + nanoseconds(st.st_mtim.tv_nsec)));
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
