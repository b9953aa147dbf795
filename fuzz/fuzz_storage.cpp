// The storage archive's directory reader and entry reads on any bytes, from
// a memory stream: a damaged archive is refused with an error and leaves an
// empty storage; an accepted one can be read, changed and saved, and the
// saved archive reads back the same.
#include "base/fsError.h"
#include "base/fsStream.h"
#include "persist/nvStorage.h"

#include <cstdint>
#include <cstdlib>
#include <string>
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  TnvStorage s;
  try {
    TMemoryStream in(std::string(reinterpret_cast<const char *>(data), size));
    s.LoadFromStream(in);
  } catch (const EfsError &) {
    if (s.StreamCount() != 0)
      std::abort();
    return 0;
  }
  // From here on nothing may fail: the archive was accepted.
  auto before = ReadAll(s);
  for (int i = 0; i < s.StreamCount(); ++i)
    if (s.StreamSize(i) < 0)
      std::abort();

  // A long new name grows the directory into the blocks behind it.
  std::string name = s.UniqueStreamName(std::string(60, 'n'));
  TMemoryStream added(std::string(300, 'n'));
  s.WriteStream(name, added);
  before.emplace_back(name, added.Bytes());
  if (ReadAll(s) != before)
    std::abort();

  TMemoryStream saved;
  s.SaveToStream(saved);
  TnvStorage again;
  again.LoadFromStream(saved);
  if (ReadAll(again) != before)
    std::abort();
  return 0;
}
