#include "base/fsAtomicFile.h"

#include "base/fsError.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const char *what, const fs::path &file, int err) {
  throw EStreamError(std::string(what) + " \"" + file.string() + "\". " + std::strerror(err));
}

void SyncFolder(const fs::path &folder) {
  int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// A name no other save (of this or another process) is using.
int CreateTemporary(const fs::path &target, fs::path &temp) {
  static std::atomic<unsigned> serial{0};
  static const unsigned seed = std::random_device{}();
  const fs::path folder = target.parent_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = ".";
    name += target.filename().string();
    name += '.';
    name += std::to_string(::getpid());
    name += '-';
    name += std::to_string(seed ^ serial++);
    name += ".tmp";
    temp = folder / name;
    int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST)
      return fd;
  }
  errno = EEXIST;
  return -1;
}

} // namespace

fs::path SaveFileAtomically(const fs::path &file,
                            const std::function<void(TFileStream &)> &write) {
  fs::path real = file;
  std::error_code ec;
  if (fs::is_symlink(file, ec)) {
    auto resolved = fs::canonical(file, ec);
    if (!ec)
      real = resolved;
  }
  fs::path temp;
  int fd = CreateTemporary(real, temp);
  if (fd < 0)
    Fail("Cannot create file", file, errno);
  ::close(fd);
  try {
    try {
      TFileStream out(temp, fmOpenReadWrite);
      errno = 0;
      write(out);
      out.Flush();
    } catch (const EWriteError &) {
      // A full disk or a size limit: say so, rather than the stream's bare
      // "Stream write error".
      if (errno == 0)
        throw;
      Fail("Cannot write file", file, errno);
    }
    struct stat st {};
    if (::stat(real.c_str(), &st) == 0)
      ::chmod(temp.c_str(), st.st_mode & 07777);
    if (::rename(temp.c_str(), real.c_str()) != 0)
      Fail("Cannot create file", file, errno);
  } catch (...) {
    fs::remove(temp, ec);
    throw;
  }
  SyncFolder(real.parent_path());
  return real;
}

void SaveFileAtomically(const fs::path &file, std::string_view bytes) {
  SaveFileAtomically(file, [&](TFileStream &out) {
    errno = 0;
    int64_t n = out.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    if (n != static_cast<int64_t>(bytes.size()))
      Fail("Cannot write file", file, errno ? errno : ENOSPC);
  });
}
