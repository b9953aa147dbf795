#include "engine/fsSnapshot.h"

#include "base/fsError.h"
#include "base/fsStream.h"
#include "persist/nvStorage.h"

#include <limits>
#include <utility>

std::string WriteSnapshot(TnvStorage *archive, const std::vector<std::string> &names,
                          const std::string &xmlText) {
  const size_t count = archive ? names.size() : 0;
  if (count > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw EWriteError();
  TMemoryStream out;
  WriteInt32LE(out, static_cast<int32_t>(count));
  for (size_t i = 0; i < count; ++i) {
    WriteCounted(out, names[i]);
    TMemoryStream entry;
    if (archive->StreamExists(names[i]))
      archive->ReadStream(names[i], entry);
    WriteCounted(out, entry.Bytes());
  }
  WriteCounted(out, xmlText);
  return std::move(out.Bytes());
}

std::string ReadSnapshot(TnvStorage *archive, std::string_view bytes) {
  TReadOnlyMemoryStream in(bytes);
  const int32_t count = ReadInt32LE(in);
  if (count < 0)
    throw EReadError();
  for (int32_t i = 0; i < count; ++i) {
    std::string name = ReadCounted(in);
    std::string data = ReadCounted(in);
    if (archive && !data.empty()) {
      TMemoryStream entry(std::move(data));
      archive->WriteStream(name, entry);
    }
  }
  return ReadCounted(in);
}
