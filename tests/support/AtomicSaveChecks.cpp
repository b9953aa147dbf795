#include "support/AtomicSaveChecks.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <exception>
#include <thread>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace fs = std::filesystem;

namespace {

// A forked child running body; what it writes to Fd() the parent reads.
class TChild {
public:
  explicit TChild(const std::function<void(int fd)> &body) {
    int fds[2];
    if (::pipe(fds) != 0)
      throw std::runtime_error("pipe failed");
    FPid = ::fork();
    if (FPid == 0) {
      ::close(fds[0]);
      try {
        body(fds[1]);
      } catch (...) {
      }
      ::_exit(0);
    }
    ::close(fds[1]);
    FRead = fds[0];
  }
  ~TChild() {
    if (FPid > 0) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, nullptr, 0);
    }
    ::close(FRead);
  }
  // Waits for one byte from the child (false at its end).
  bool WaitByte() {
    char c;
    return ::read(FRead, &c, 1) == 1;
  }
  std::string ReadAll() {
    std::string out;
    char buf[256];
    ssize_t n;
    while ((n = ::read(FRead, buf, sizeof buf)) > 0)
      out.append(buf, static_cast<size_t>(n));
    return out;
  }
  void Kill() { ::kill(FPid, SIGKILL); }
  void Wait() {
    ::waitpid(FPid, nullptr, 0);
    FPid = -1;
  }

private:
  pid_t FPid = -1;
  int FRead = -1;
};

void Put(int fd, const std::string &s) {
  ssize_t ignored = ::write(fd, s.data(), s.size());
  (void)ignored;
}

} // namespace

int StrayFiles(const fs::path &folder, const fs::path &keep) {
  int n = 0;
  for (const auto &e : fs::directory_iterator(folder))
    if (e.path().filename() != keep.filename())
      ++n;
  return n;
}

void ExpectAtomicSave(const std::function<void(const fs::path &)> &save,
                      const std::string &oldBytes, const std::string &expectedMessage) {
  TempDir reference, dir;
  const fs::path file = dir / "target";

  // The new content, and how long a whole save takes.
  WriteFileBytes(reference / "target", oldBytes);
  auto t0 = std::chrono::steady_clock::now();
  save(reference / "target");
  const auto full = std::chrono::steady_clock::now() - t0;
  const std::string newBytes = ReadFileBytes(reference / "target");
  ASSERT_NE(newBytes, oldBytes) << "the save must change the file";
  ASSERT_GT(newBytes.size(), 1024u);

  // One killed save: what the file holds afterwards, and whether the kill
  // came while the save was under way (its temporary file still there).
  auto killAfter = [&](std::chrono::steady_clock::duration delay, bool &underWay) {
    WriteFileBytes(file, oldBytes);
    {
      TChild child([&](int fd) {
        Put(fd, "g");
        save(file);
      });
      EXPECT_TRUE(child.WaitByte());
      std::this_thread::sleep_for(delay);
      child.Kill();
      child.Wait();
    }
    underWay = StrayFiles(dir.path(), file) > 0;
    for (const auto &e : fs::directory_iterator(dir.path()))
      if (e.path() != file)
        fs::remove(e.path());
    return ReadFileBytes(file);
  };

  bool midway = false;
  for (int step = 0; step <= 12; ++step) {
    bool underWay = false;
    const std::string now = killAfter(full * step / 10, underWay);
    EXPECT_TRUE(now == oldBytes || now == newBytes)
        << "killed after " << step << "/10 of a save the file holds " << now.size() << " bytes";
    midway = midway || underWay;
  }
  // A busy machine can shift the moments: look for one inside the save by
  // halving the interval between a kill too early and one too late.
  auto early = std::chrono::steady_clock::duration::zero(), late = full * 3;
  for (int tries = 0; tries < 20 && !midway; ++tries) {
    const auto delay = (early + late) / 2;
    bool underWay = false;
    const std::string now = killAfter(delay, underWay);
    EXPECT_TRUE(now == oldBytes || now == newBytes) << "the file holds " << now.size() << " bytes";
    midway = underWay;
    if (now == newBytes)
      late = delay;
    else
      early = delay;
  }
  EXPECT_TRUE(midway) << "no kill landed during a save";

  WriteFileBytes(file, oldBytes);
  std::string message;
  {
    TChild child([&](int fd) {
      std::signal(SIGXFSZ, SIG_IGN);
      rlimit limit{static_cast<rlim_t>(newBytes.size() / 2), static_cast<rlim_t>(newBytes.size() / 2)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      try {
        save(file);
        Put(fd, "saved");
      } catch (const std::exception &e) {
        Put(fd, e.what());
      }
    });
    message = child.ReadAll();
    child.Wait();
  }
  EXPECT_EQ(message.substr(0, expectedMessage.size()), expectedMessage) << message;
  EXPECT_EQ(ReadFileBytes(file), oldBytes) << "a failed save keeps the old file byte for byte";
  EXPECT_EQ(StrayFiles(dir.path(), file), 0) << "a failed save leaves no temporary file";
}

} // namespace testsupport
