#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// A fresh folder under the system temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  const std::filesystem::path &path() const { return FPath; }
  std::filesystem::path operator/(const std::string &name) const { return FPath / name; }

private:
  std::filesystem::path FPath;
};

std::string ReadFileBytes(const std::filesystem::path &file);
void WriteFileBytes(const std::filesystem::path &file, const std::string &bytes);

// Folder of downloaded third-party test data (TALLISYN_TESTDATA), empty when
// the test run was not given one.
std::filesystem::path TestDataDir();

} // namespace testsupport
