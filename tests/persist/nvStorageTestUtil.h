#pragma once

#include "persist/nvStorage.h"
#include "base/fsStream.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Archives built by hand from the layout tables, so that tests compare the
// storage's output with an independent encoder rather than with itself.
namespace nvtest {

using TEntries = std::vector<std::pair<std::string, std::string>>; // name, data

inline std::string LE(uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return out;
}

inline std::string Header(int64_t dirOffset, char version = 1) {
  return std::string("STOR") + version + '\x01' + LE(static_cast<uint64_t>(dirOffset), 8);
}

inline std::string DirEntry(int64_t offset, int64_t size, const std::string &name) {
  return LE(static_cast<uint64_t>(offset), 8) + LE(static_cast<uint64_t>(size), 8) +
         LE(static_cast<uint32_t>(name.size()), 4) + name;
}

// The compact file layout with the given 55-byte comment.
inline std::string BuildArchive(const TEntries &entries, const std::string &comment) {
  int64_t offset = 73;
  for (const auto &[name, data] : entries)
    offset += 20 + static_cast<int64_t>(name.size());
  std::string out = Header(69) + comment + LE(entries.size(), 4);
  std::string blob;
  for (const auto &[name, data] : entries) {
    out += DirEntry(offset, static_cast<int64_t>(data.size()), name);
    offset += static_cast<int64_t>(data.size());
    blob += data;
  }
  return out + blob;
}

inline std::string SavedBytes(TnvStorage &storage) {
  TMemoryStream m;
  storage.SaveToStream(m);
  return m.Bytes();
}

inline std::string Comment(TnvStorage &storage) {
  return SavedBytes(storage).substr(14, 55);
}

inline void Put(TnvStorage &storage, const std::string &name, const std::string &data) {
  TMemoryStream m(data);
  storage.WriteStream(name, m);
}

inline std::string Get(TnvStorage &storage, const std::string &name) {
  TMemoryStream m;
  storage.ReadStream(name, m);
  return m.Bytes();
}

inline const TnvIndexItem *Find(const std::vector<TnvIndexItem> &index, const std::string &name) {
  for (const auto &e : index)
    if (e.Name == name)
      return &e;
  return nullptr;
}

// Data of a recognisable pattern, different per seed.
inline std::string Pattern(size_t size, int seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i)
    s[i] = static_cast<char>((i * 31 + static_cast<size_t>(seed) * 7 + i / 251) & 0xFF);
  return s;
}

} // namespace nvtest
