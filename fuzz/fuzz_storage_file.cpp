// The storage archive opened from a file holding any bytes, read-only and in
// direct mode: both accept or refuse alike, a refusal leaves the file as it
// was, and direct-mode changes keep every entry readable.
#include "base/fsError.h"
#include "base/fsStream.h"
#include "persist/nvStorage.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<std::string, std::string>> ReadAll(TnvStorage &s) {
  std::vector<std::pair<std::string, std::string>> all;
  for (int i = 0; i < s.StreamCount(); ++i) {
    std::string name = s.StreamName(i);
    TMemoryStream m;
    s.ReadStream(name, m);
    all.emplace_back(name, m.Bytes());
  }
  return all;
}

// One scratch file per process, removed when the process ends.
struct TScratch {
  std::string Name = (std::filesystem::temp_directory_path() /
                      ("tallisyn-fuzz-storage-" + std::to_string(::getpid()) + ".stor"))
                         .string();
  ~TScratch() {
    std::error_code ec;
    std::filesystem::remove(Name, ec);
  }
};

const std::string &ScratchFile() {
  static TScratch scratch;
  return scratch.Name;
}

std::string LoadError(TnvStorage &s, bool direct) {
  try {
    if (direct)
      s.OpenDirect(ScratchFile());
    else
      s.LoadFromFile(ScratchFile());
  } catch (const EfsError &e) {
    return e.what();
  }
  return {};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string bytes(reinterpret_cast<const char *>(data), size);
  TMemoryStream image(bytes);
  image.SaveToFile(ScratchFile());

  TnvStorage reader;
  std::string readError = LoadError(reader, false);
  std::vector<std::pair<std::string, std::string>> entries;
  if (readError.empty())
    entries = ReadAll(reader);
  reader.Clear();

  TnvStorage direct;
  std::string directError = LoadError(direct, true);
  if (directError != readError)
    std::abort();
  if (!directError.empty()) {
    TMemoryStream after;
    after.LoadFromFile(ScratchFile());
    if (after.Bytes() != bytes || direct.StreamCount() != 0)
      std::abort();
    return 0;
  }
  if (ReadAll(direct) != entries)
    std::abort();
  std::string name = direct.UniqueStreamName(" added in direct mode");
  TMemoryStream added(std::string(100, 'd'));
  direct.WriteStream(name, added);
  entries.emplace_back(name, added.Bytes());
  direct.Clear();

  TnvStorage again;
  again.LoadFromFile(ScratchFile());
  if (ReadAll(again) != entries)
    std::abort();
  return 0;
}
