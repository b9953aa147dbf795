#include "persist/nvStorage.h"

#include "persist/nvStorageTestUtil.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>

using namespace nvtest;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {

const std::string NotStorage = "File is not a storage file";
const std::string Future = "File is wrong (future) version";
const std::string ReadError = "Stream read error";
const std::string Overlap = "Blocks overlap in copying action";

const std::string Comment55(55, '\0');
constexpr int64_t Max64 = std::numeric_limits<int64_t>::max();

// An archive with one directory entry whose fields are given raw.
std::string OneEntry(int64_t offset, int64_t size, int32_t nameLength, const std::string &name,
                     const std::string &data) {
  return Header(69) + Comment55 + LE(1, 4) + LE(static_cast<uint64_t>(offset), 8) +
         LE(static_cast<uint64_t>(size), 8) + LE(static_cast<uint32_t>(nameLength), 4) + name +
         data;
}

struct TCase {
  const char *What;
  std::string Bytes;
  std::string Message;
};

std::vector<TCase> DamagedArchives() {
  const std::string valid = BuildArchive({{"a", "xyz"}, {"bb", "data"}}, Comment55);
  std::string future = valid;
  future[4] = 2;
  std::string wrongSig = valid;
  wrongSig[3] = 'X';
  // "a" at 97, "bb" at 100 in the valid archive.
  return {
      {"empty file", "", NotStorage},
      {"shorter than the signature", "STO", NotStorage},
      {"wrong signature", wrongSig, NotStorage},
      {"future version", future, Future},
      {"version 255", Header(69, '\xFF') + Comment55 + LE(0, 4), Future},
      {"ends inside the header", "STOR\x01\x01\x45\x00", ReadError},
      {"negative directory offset", Header(-1) + Comment55 + LE(0, 4), ReadError},
      {"directory offset past the end", Header(5000) + Comment55 + LE(0, 4), ReadError},
      {"directory offset near the 64-bit limit", Header(Max64) + Comment55 + LE(0, 4), ReadError},
      {"count missing", Header(69) + Comment55, ReadError},
      {"negative count", Header(69) + Comment55 + LE(0xFFFFFFFF, 4), ReadError},
      {"count larger than the file holds", Header(69) + Comment55 + LE(0x7FFFFFFF, 4), ReadError},
      {"count one too many", valid.substr(0, 69) + LE(3, 4) + valid.substr(73), ReadError},
      {"negative name length", OneEntry(94, 0, -5, "", ""), ReadError},
      {"huge name length", OneEntry(94, 0, 0x7FFFFFFF, "abc", ""), ReadError},
      {"name runs past the end", OneEntry(94, 0, 10, "abc", ""), ReadError},
      {"negative offset", OneEntry(-1, 1, 1, "a", "x"), ReadError},
      {"negative size", OneEntry(94, -1, 1, "a", "x"), ReadError},
      {"data past the end", OneEntry(94, 2, 1, "a", "x"), ReadError},
      {"offset past the end", OneEntry(96, 0, 1, "a", "x"), ReadError},
      {"offset and size overflowing", OneEntry(Max64, Max64, 1, "a", "x"), ReadError},
      {"size near the 64-bit limit", OneEntry(94, Max64, 1, "a", "x"), ReadError},
      {"blocks overlapping each other",
       Header(69) + Comment55 + LE(2, 4) + DirEntry(115, 4, "a") + DirEntry(117, 4, "b") +
           std::string(6, 'd'),
       Overlap},
      {"block over the directory", OneEntry(70, 10, 1, "a", std::string(10, 'x')), Overlap},
      {"block over the header", OneEntry(3, 4, 1, "a", "x"), Overlap},
  };
}

using TOpen = std::function<void(TnvStorage &, const std::filesystem::path &, const std::string &)>;

std::vector<std::pair<const char *, TOpen>> Openers() {
  return {
      {"LoadFromStream",
       [](TnvStorage &s, const std::filesystem::path &, const std::string &bytes) {
         TMemoryStream m(bytes);
         s.LoadFromStream(m);
       }},
      {"LoadFromFile", [](TnvStorage &s, const std::filesystem::path &f,
                          const std::string &) { s.LoadFromFile(f); }},
      {"OpenDirect",
       [](TnvStorage &s, const std::filesystem::path &f, const std::string &) { s.OpenDirect(f); }},
  };
}

// Each damage gives its message through every way of opening, leaves an
// empty storage that still works, and never changes the file.
TEST(nvStorageDamage, DamagedArchivesAreRefusedWithTheirMessage) {
  TempDir dir;
  auto file = dir / "damaged.stor";
  for (const auto &c : DamagedArchives()) {
    for (const auto &[label, open] : Openers()) {
      SCOPED_TRACE(std::string(c.What) + " / " + label);
      WriteFileBytes(file, c.Bytes);
      TnvStorage s;
      Put(s, "before", "dropped");
      try {
        open(s, file, c.Bytes);
        ADD_FAILURE() << "opened without an error";
      } catch (const EfsError &e) {
        EXPECT_EQ(e.what(), c.Message);
      }
      EXPECT_EQ(s.StreamCount(), 0);
      EXPECT_EQ(s.FileName(), "");
      EXPECT_EQ(ReadFileBytes(file), c.Bytes);
      Put(s, "after", "works");
      EXPECT_EQ(Get(s, "after"), "works");
    }
  }
}

// Odd but sound layouts are read.
TEST(nvStorageDamage, UnusualButSoundLayoutsAreRead) {
  struct TSound {
    const char *What;
    std::string Bytes;
    TEntries Entries;
  };
  const std::vector<TSound> cases = {
      {"version 0, flag ignored", std::string("STOR\x00\x07", 6) + LE(14, 8) + LE(0, 4), {}},
      {"directory at 14, data with a gap",
       Header(14) + LE(1, 4) + DirEntry(60, 3, "a") + std::string(60 - 39, 'g') + "xyz",
       {{"a", "xyz"}}},
      {"empty entries at any offset",
       Header(69) + Comment55 + LE(2, 4) + DirEntry(0, 0, "e0") + DirEntry(115, 0, "e1"),
       {{"e0", ""}, {"e1", ""}}},
      {"data inside the comment area",
       Header(69) + std::string(6, 'c') + "hello" + std::string(44, 'c') + LE(1, 4) +
           DirEntry(20, 5, "h"),
       {{"h", "hello"}}},
      {"directory behind the data",
       Header(30) + std::string(6, 'c') + "hello" + std::string(5, 'c') + LE(1, 4) +
           DirEntry(20, 5, "h"),
       {{"h", "hello"}}},
  };
  TempDir dir;
  auto file = dir / "odd.stor";
  for (const auto &c : cases) {
    for (const auto &[label, open] : Openers()) {
      SCOPED_TRACE(std::string(c.What) + " / " + label);
      WriteFileBytes(file, c.Bytes);
      TnvStorage s;
      open(s, file, c.Bytes);
      ASSERT_EQ(s.StreamCount(), static_cast<int>(c.Entries.size()));
      for (const auto &[name, data] : c.Entries)
        EXPECT_EQ(Get(s, name), data);
      // Changes on top of the odd layout keep every entry intact.
      Put(s, "new entry with a long name to grow the directory", "added");
      for (const auto &[name, data] : c.Entries)
        EXPECT_EQ(Get(s, name), data);
      TEntries all = c.Entries;
      all.emplace_back("new entry with a long name to grow the directory", "added");
      EXPECT_EQ(SavedBytes(s), BuildArchive(all, Comment(s)));
    }
  }
}

TEST(nvStorageDamage, AFileCutShortAfterOpeningFailsOnRead) {
  TempDir dir;
  auto file = dir / "cut.stor";
  WriteFileBytes(file, BuildArchive({{"a", "xyz"}, {"b", std::string(1000, 'b')}}, Comment55));
  TnvStorage s;
  s.LoadFromFile(file);
  std::filesystem::resize_file(file, 500);
  EXPECT_EQ(Get(s, "a"), "xyz");
  TMemoryStream target;
  EXPECT_THROW(s.ReadStream("b", target), EReadError);
}

} // namespace
