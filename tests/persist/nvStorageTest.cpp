#include "persist/nvStorage.h"

#include "persist/nvStorageTestUtil.h"
#include "support/AtomicSaveChecks.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <map>
#include <thread>

using namespace nvtest;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {

std::vector<std::string> FolderEntries(const std::filesystem::path &folder) {
  std::vector<std::string> names;
  for (const auto &e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// ------------------------------------------------------------ file layout

TEST(nvStorageLayout, EmptyArchiveIsHeaderCommentAndZeroCount) {
  TnvStorage s;
  std::string bytes = SavedBytes(s);
  ASSERT_EQ(bytes.size(), 73u);
  EXPECT_EQ(bytes.substr(0, 14), Header(69));
  EXPECT_EQ(bytes.substr(69), LE(0, 4));

  const std::string intro = "\r\nCreated with Fennodrivals - Info: ";
  std::string comment = bytes.substr(14, 55);
  ASSERT_EQ(comment.compare(0, intro.size(), intro), 0);
  size_t lineEnd = comment.find("\r\n", intro.size());
  ASSERT_NE(lineEnd, std::string::npos);
  EXPECT_LE(lineEnd - intro.size(), 16u) << "the address is at most 16 characters";
  EXPECT_EQ(comment.find_first_not_of('\0', lineEnd + 2), std::string::npos);
  EXPECT_EQ(comment.back(), '\0');
}

TEST(nvStorageLayout, OneEntryOfThreeBytes) {
  TnvStorage s;
  Put(s, "a", "xyz");
  std::string bytes = SavedBytes(s);
  ASSERT_EQ(bytes.size(), 97u);
  EXPECT_EQ(bytes.substr(0, 14), Header(69));
  EXPECT_EQ(bytes.substr(69, 4), LE(1, 4));
  EXPECT_EQ(bytes.substr(73, 21), LE(94, 8) + LE(3, 8) + LE(1, 4) + "a");
  EXPECT_EQ(bytes.substr(94), "xyz");
}

TEST(nvStorageLayout, EntriesFollowTheDirectoryInIndexOrder) {
  TnvStorage s;
  const TEntries entries = {{"Index.xml", "<index/>"},
                            {"Page0001.xml", Pattern(70000, 1)},
                            {"empty", ""},
                            {"Thumb0001.bmp", "BM"}};
  for (const auto &[name, data] : entries)
    Put(s, name, data);
  EXPECT_EQ(SavedBytes(s), BuildArchive(entries, Comment(s)));
}

TEST(nvStorageLayout, SavingToALongerStreamCutsItToTheArchive) {
  TnvStorage s;
  Put(s, "a", "xyz");
  TMemoryStream target(std::string(500, 'J'));
  s.SaveToStream(target);
  EXPECT_EQ(target.Bytes(), BuildArchive({{"a", "xyz"}}, Comment(s)));
}

// Every way of opening an archive gives back the same entries.
TEST(nvStorageLayout, EveryOpenerReadsWhatWasSaved) {
  TempDir dir;
  const TEntries entries = {{"Index.xml", "<i/>"}, {"big", Pattern(200000, 2)}, {"z", ""}};
  TnvStorage writer;
  for (const auto &[name, data] : entries)
    Put(writer, name, data);
  std::string archive = SavedBytes(writer);

  using TOpen = std::function<void(TnvStorage &, const std::filesystem::path &)>;
  const std::vector<std::pair<const char *, TOpen>> openers = {
      {"LoadFromStream",
       [&](TnvStorage &s, const std::filesystem::path &) {
         TMemoryStream m(archive);
         s.LoadFromStream(m);
       }},
      {"LoadFromFile", [](TnvStorage &s, const std::filesystem::path &f) { s.LoadFromFile(f); }},
      {"OpenDirect", [](TnvStorage &s, const std::filesystem::path &f) { s.OpenDirect(f); }},
  };
  for (const auto &[label, open] : openers) {
    SCOPED_TRACE(label);
    auto file = dir / (std::string(label) + ".stor");
    WriteFileBytes(file, archive);
    TnvStorage s;
    open(s, file);
    ASSERT_EQ(s.StreamCount(), 3);
    for (size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(s.StreamName(static_cast<int>(i)), entries[i].first);
      EXPECT_EQ(s.StreamSize(static_cast<int>(i)), static_cast<int64_t>(entries[i].second.size()));
      EXPECT_EQ(Get(s, entries[i].first), entries[i].second);
    }
    EXPECT_EQ(SavedBytes(s), archive);
  }
}

// ---------------------------------------------------------------- entries

TEST(nvStorageEntries, NamesDifferingOnlyInCaseAddressOneEntry) {
  TnvStorage s;
  Put(s, "Index.xml", "first");
  for (const char *spelling : {"INDEX.XML", "index.xml", "iNdEx.XmL"}) {
    SCOPED_TRACE(spelling);
    EXPECT_TRUE(s.StreamExists(spelling));
    EXPECT_EQ(Get(s, spelling), "first");
  }
  Put(s, "INDEX.xml", "second, longer");
  EXPECT_EQ(s.StreamCount(), 1);
  EXPECT_EQ(Get(s, "Index.XML"), "second, longer");
  s.RenameStream("index.XML", "Renamed.xml");
  EXPECT_EQ(s.StreamName(0), "Renamed.xml");
  s.DeleteStream("RENAMED.XML");
  EXPECT_EQ(s.StreamCount(), 0);
  // Only ASCII letters fold: other bytes must match exactly.
  Put(s, "\xC3\x89t\xC3\xA9", "e");
  EXPECT_FALSE(s.StreamExists("\xC3\xA9t\xC3\xA9"));
}

TEST(nvStorageEntries, ReadingReplacesTheTargetsContentAndRewinds) {
  TnvStorage s;
  Put(s, "a", "xyz");
  TMemoryStream target(std::string(100, 'Q'));
  target.SetPosition(40);
  s.ReadStream("a", target);
  EXPECT_EQ(target.Bytes(), "xyz");
  EXPECT_EQ(target.Position(), 0);
}

TEST(nvStorageEntries, MissingNamesAndIndices) {
  TnvStorage s;
  Put(s, "a", "1");
  Put(s, "b", "22");
  try {
    Get(s, "Nope.xml");
    FAIL() << "reading a missing entry succeeded";
  } catch (const EnvStorageError &e) {
    EXPECT_STREQ(e.what(), "Stream \"Nope.xml\" not found in the storage");
  }
  std::string before = SavedBytes(s);
  s.DeleteStream("nope");
  s.RenameStream("nope", "a");
  EXPECT_EQ(SavedBytes(s), before);
  for (int i : {-1, 2, 1000}) {
    EXPECT_EQ(s.StreamName(i), "");
    EXPECT_EQ(s.StreamSize(i), 0);
  }
}

TEST(nvStorageEntries, RenamingOntoAnotherEntryReplacesIt) {
  TnvStorage s;
  Put(s, "a", "one");
  Put(s, "b", "two");
  Put(s, "c", "three");
  s.RenameStream("c", "A");
  EXPECT_EQ(SavedBytes(s), BuildArchive({{"b", "two"}, {"A", "three"}}, Comment(s)));
}

TEST(nvStorageEntries, UniqueAndTemporaryNames) {
  TnvStorage s;
  auto wellFormed = [](const std::string &name) {
    return name.size() == 14 && name.compare(0, 3, "TMP") == 0 && name.compare(10, 4, ".hck") == 0 &&
           std::all_of(name.begin() + 3, name.begin() + 10, [](char c) { return c >= '0' && c <= '9'; });
  };
  for (int i = 0; i < 20; ++i) {
    std::string name = s.UniqueStreamName(".hck");
    ASSERT_TRUE(wellFormed(name)) << name;
    ASSERT_FALSE(s.StreamExists(name));
    Put(s, name, "x");
  }
  EXPECT_EQ(s.StreamCount(), 20);

  const std::vector<std::pair<const char *, bool>> cases = {
      {"TMP0123456.hck", true}, {"TMP", true}, {"TMPfile", true}, {"tmp0123456", false},
      {"Tmp1", false},          {"TM", false}, {"", false},       {"xTMP1", false}};
  for (const auto &[name, temp] : cases)
    EXPECT_EQ(TnvStorage::IsTempStreamName(name), temp) << name;
}

// ----------------------------------------------------- blocks in the working stream

TEST(nvStorageBlocks, ReuseInPlaceGapsAndTheEnd) {
  struct TStep {
    const char *What;
    char Op; // 'w' write, 'd' delete
    const char *Name;
    size_t Size;
    int64_t Offset; // expected offset of Name afterwards
  };
  // The first block sits 512 bytes behind the directory estimate (12 here).
  const std::vector<TStep> steps = {
      {"first block", 'w', "a", 100, 524},
      {"appended", 'w', "b", 50, 624},
      {"shorter content stays in place", 'w', "a", 60, 524},
      {"longer content, 40-byte gap too small: end", 'w', "a", 200, 674},
      {"space in front of the first block is never used", 'w', "c", 30, 874},
      {"gap opened by deleting", 'd', "a", 0, 0},
      {"first gap that fits", 'w', "d", 150, 674},
      {"remaining 50-byte gap too small", 'w', "e", 300, 904},
      {"an exact fit", 'w', "f", 50, 824},
  };
  TnvStorage s;
  std::map<std::string, std::string> contents;
  int seed = 0;
  for (const auto &step : steps) {
    SCOPED_TRACE(step.What);
    if (step.Op == 'w') {
      contents[step.Name] = Pattern(step.Size, ++seed);
      Put(s, step.Name, contents[step.Name]);
      auto index = s.Index();
      const TnvIndexItem *e = Find(index, step.Name);
      ASSERT_NE(e, nullptr);
      EXPECT_FALSE(e->InFile);
      EXPECT_EQ(e->Offset, step.Offset);
      EXPECT_EQ(e->Size, static_cast<int64_t>(step.Size));
    } else {
      s.DeleteStream(step.Name);
      contents.erase(step.Name);
    }
    for (const auto &[name, data] : contents)
      EXPECT_EQ(Get(s, name), data) << name;
  }
}

TEST(nvStorageBlocks, DeletingTheHighestBlockShrinksTheWorkingStream) {
  TnvStorage s;
  Put(s, "a", std::string(100, 'a')); // 524..624
  Put(s, "b", std::string(50, 'b'));  // 624..674
  EXPECT_EQ(s.WorkingSize(), 674);
  s.DeleteStream("b");
  EXPECT_EQ(s.WorkingSize(), 624);
  s.DeleteStream("a");
  // Header, directory offset and a zero count remain.
  EXPECT_EQ(s.WorkingSize(), 18);
}

// A growing directory moves the blocks it would reach; nothing is lost.
TEST(nvStorageBlocks, LongNamesMoveBlocksOutOfTheDirectorysWay) {
  TnvStorage s;
  TEntries entries;
  for (int i = 0; i < 12; ++i) {
    std::string name = std::string(static_cast<size_t>(40 + i * 30), static_cast<char>('A' + i));
    entries.emplace_back(name, Pattern(static_cast<size_t>(5 + i * 17), i));
    Put(s, name, entries.back().second);

    auto index = s.Index();
    int64_t dirEnd = 18;
    for (const auto &e : index)
      dirEnd += 20 + static_cast<int64_t>(e.Name.size());
    std::vector<std::pair<int64_t, int64_t>> blocks;
    for (const auto &e : index) {
      EXPECT_GE(e.Offset, dirEnd) << e.Name.substr(0, 1);
      blocks.emplace_back(e.Offset, e.Offset + e.Size);
    }
    std::sort(blocks.begin(), blocks.end());
    for (size_t k = 1; k < blocks.size(); ++k)
      EXPECT_LE(blocks[k - 1].second, blocks[k].first);
  }
  s.RenameStream(entries[0].first, std::string(900, 'R'));
  entries[0].first = std::string(900, 'R');
  for (const auto &[name, data] : entries)
    EXPECT_EQ(Get(s, name), data);
  EXPECT_EQ(SavedBytes(s), BuildArchive(entries, Comment(s)));
}

// ----------------------------------------------------------- opened file

TEST(nvStorageFile, ChangingAnEntryLeavesTheOpenedFileAlone) {
  TempDir dir;
  TnvStorage blank;
  const std::string original = BuildArchive({{"a", "old a"}, {"b", "bee"}}, Comment(blank));
  WriteFileBytes(dir / "x.stor", original);
  TnvStorage s;
  s.LoadFromFile(dir / "x.stor");
  EXPECT_EQ(s.FileName(), (dir / "x.stor").string());
  Put(s, "A", "new a, longer");
  EXPECT_EQ(ReadFileBytes(dir / "x.stor"), original);

  auto index = s.Index();
  EXPECT_FALSE(index[0].InFile);
  EXPECT_TRUE(index[1].InFile);
  EXPECT_EQ(Get(s, "a"), "new a, longer");
  EXPECT_EQ(SavedBytes(s), BuildArchive({{"A", "new a, longer"}, {"b", "bee"}}, Comment(s)));
}

TEST(nvStorageFile, SavingOntoTheOpenedFileReplacesItAndCarriesOn) {
  TempDir dir;
  auto file = dir / "doc.stor";
  {
    TnvStorage w;
    Put(w, "Index.xml", "<index/>");
    Put(w, "Page0001.xml", Pattern(90000, 3));
    Put(w, "gone", "to be deleted");
    w.SaveToFile(file);
  }
  // A second reader of the old file: a replacing save must not pull the
  // bytes from under it.
  TnvStorage reader;
  reader.LoadFromFile(file);

  TnvStorage s;
  s.LoadFromFile(file);
  Put(s, "Index.xml", "<index pages=\"2\"/>");
  Put(s, "Page0002.xml", Pattern(1000, 4));
  s.DeleteStream("gone");
  s.SaveToFile(file);

  const TEntries expected = {{"Index.xml", "<index pages=\"2\"/>"},
                             {"Page0001.xml", Pattern(90000, 3)},
                             {"Page0002.xml", Pattern(1000, 4)}};
  EXPECT_EQ(ReadFileBytes(file), BuildArchive(expected, Comment(s)));
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"doc.stor"});
  EXPECT_EQ(Get(reader, "gone"), "to be deleted");
  EXPECT_EQ(Get(reader, "Page0001.xml"), Pattern(90000, 3));

  // The storage now works against the new file.
  EXPECT_EQ(s.FileName(), file.string());
  for (const auto &e : s.Index())
    EXPECT_TRUE(e.InFile) << e.Name;
  for (const auto &[name, data] : expected)
    EXPECT_EQ(Get(s, name), data);
  Put(s, "Page0001.xml", "short");
  s.SaveToFile(file);
  EXPECT_EQ(ReadFileBytes(file),
            BuildArchive({expected[0], {"Page0001.xml", "short"}, expected[2]}, Comment(s)));
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"doc.stor"});
}

TEST(nvStorageFile, SavingKeepsTheFilesPermissionsAndLinks) {
  TempDir dir;
  auto real = dir / "real.stor";
  auto link = dir / "link.stor";
  TnvStorage s;
  Put(s, "a", "1");
  s.SaveToFile(real);
  std::filesystem::permissions(real, std::filesystem::perms(0640));
  std::filesystem::create_symlink(real, link);
  Put(s, "b", "2");
  s.SaveToFile(link);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(real), BuildArchive({{"a", "1"}, {"b", "2"}}, Comment(s)));
  EXPECT_EQ(std::filesystem::status(real).permissions() & std::filesystem::perms::all,
            std::filesystem::perms(0640));
}

// A save that fails half-way leaves the old file as it was and no debris.
TEST(nvStorageFile, AFailedSaveKeepsTheOldFile) {
  TempDir dir;
  auto source = dir / "source.stor";
  {
    TnvStorage w;
    Put(w, "a", Pattern(5000, 5));
    w.SaveToFile(source);
  }
  WriteFileBytes(dir / "target.stor", "precious");
  TnvStorage s;
  s.LoadFromFile(source);
  // The entry's data vanish from the opened file behind the storage's back.
  std::filesystem::resize_file(source, 200);

  EXPECT_THROW(s.SaveToFile(dir / "target.stor"), EReadError);
  EXPECT_EQ(ReadFileBytes(dir / "target.stor"), "precious");
  std::string truncated = ReadFileBytes(source);
  EXPECT_THROW(s.SaveToFile(source), EReadError);
  EXPECT_EQ(ReadFileBytes(source), truncated);
  EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"source.stor", "target.stor"}));
  EXPECT_THROW(Get(s, "a"), EReadError);

  EXPECT_THROW(s.SaveToFile(dir / "no-such-folder" / "x.stor"), EStreamError);
}

// Saving onto the opened archive, killed at any moment or stopped by a full
// disk, leaves the old archive or the whole new one.
TEST(nvStorageFile, SaveOntoTheOpenedFileSurvivesAKillAndAFullDisk) {
  std::string oldArchive;
  {
    TnvStorage s;
    Put(s, "kept", Pattern(3000, 7));
    TMemoryStream m;
    s.SaveToStream(m);
    oldArchive = m.Bytes();
  }
  const std::string big = Pattern(32 << 20, 3);
  testsupport::ExpectAtomicSave(
      [&](const std::filesystem::path &file) {
        TnvStorage s;
        // The working data stay in memory, so the limit meets the save.
        s.SetMemoryCache(64 << 20);
        s.LoadFromFile(file);
        Put(s, "big", big);
        s.SaveToFile(file);
      },
      oldArchive, "Cannot write file \"");
}

TEST(nvStorageFile, LoadingAMissingFileGivesAnEmptyStorageThatCanCreateIt) {
  TempDir dir;
  auto file = dir / "new.stor";
  TnvStorage s;
  Put(s, "old", "dropped by the load");
  s.LoadFromFile(file);
  EXPECT_EQ(s.StreamCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(file));
  Put(s, "a", "xyz");
  s.SaveToFile(s.FileName());
  EXPECT_EQ(ReadFileBytes(file).size(), 97u);
}

// ------------------------------------------------------------ direct mode

TEST(nvStorageDirect, ChangesLandInTheFileAtOnce) {
  TempDir dir;
  auto file = dir / "direct.stor";
  TnvStorage s;
  s.OpenDirect(file);
  EXPECT_EQ(ReadFileBytes(file), Header(14) + LE(0, 4));
  EXPECT_EQ(s.FileName(), file.string());

  Put(s, "a", "xyz");
  std::string bytes = ReadFileBytes(file);
  ASSERT_EQ(bytes.size(), 527u);
  EXPECT_EQ(bytes.substr(0, 18 + 21), Header(14) + LE(1, 4) + DirEntry(524, 3, "a"));
  EXPECT_EQ(bytes.substr(524), "xyz");

  // Written in direct mode, read like any other archive.
  TnvStorage reader;
  reader.LoadFromFile(file);
  EXPECT_EQ(Get(reader, "a"), "xyz");

  // Saving onto the direct file itself is nothing to do.
  s.SaveToFile(file);
  EXPECT_EQ(ReadFileBytes(file), bytes);

  s.DeleteStream("a");
  EXPECT_EQ(ReadFileBytes(file), Header(14) + LE(0, 4));
}

TEST(nvStorageDirect, ACompactArchiveKeepsItsDataWhereTheyAre) {
  TempDir dir;
  auto file = dir / "compact.stor";
  const TEntries entries = {{"one", "first data"}, {"two", Pattern(3000, 6)}};
  std::string compact = BuildArchive(entries, std::string(55, '\0'));
  WriteFileBytes(file, compact);
  {
    TnvStorage s;
    s.OpenDirect(file);
    auto index = s.Index();
    EXPECT_EQ(index[0].Offset, 73 + 23 + 23);
    EXPECT_EQ(index[1].Offset, 73 + 23 + 23 + 10);
  }
  std::string bytes = ReadFileBytes(file);
  EXPECT_EQ(bytes.substr(0, 14), Header(14));
  EXPECT_EQ(bytes.substr(119), compact.substr(119));
  TnvStorage again;
  again.LoadFromFile(file);
  EXPECT_EQ(SavedBytes(again), BuildArchive(entries, Comment(again)));
}

TEST(nvStorageDirect, AutoSaveAndFileNameSwitchModes) {
  TempDir dir;
  auto file = (dir / "doc.stor").string();
  TnvStorage s;
  s.SetAutoSave(true);
  s.SetFileName(file); // direct mode: created at once
  EXPECT_EQ(ReadFileBytes(file), Header(14) + LE(0, 4));
  Put(s, "a", "in the file");
  s.SetAutoSave(false); // reopened read-only
  EXPECT_EQ(s.FileName(), file);
  ASSERT_EQ(s.StreamCount(), 1);
  EXPECT_TRUE(s.Index()[0].InFile);
  EXPECT_EQ(Get(s, "a"), "in the file");

  // Changes made before switching direct mode on are kept, not dropped.
  Put(s, "b", "pending");
  s.SetAutoSave(true);
  EXPECT_EQ(Get(s, "b"), "pending");
  TnvStorage reader;
  reader.LoadFromFile(file);
  EXPECT_EQ(Get(reader, "b"), "pending");
}

// ------------------------------------------------- temporary working file

class nvStorageTemp : public ::testing::Test {
protected:
  void SetUp() override {
    const char *old = std::getenv("TMPDIR");
    FHadTmp = old != nullptr;
    if (old)
      FOldTmp = old;
    ::setenv("TMPDIR", FDir.path().c_str(), 1);
  }
  void TearDown() override {
    if (FHadTmp)
      ::setenv("TMPDIR", FOldTmp.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }
  TempDir FDir;
  bool FHadTmp = false;
  std::string FOldTmp;
};

TEST_F(nvStorageTemp, TheWorkingStreamMovesToATemporaryFilePastTheLimit) {
  auto s = std::make_unique<TnvStorage>();
  s->SetMemoryCache(1000);
  Put(*s, "small", "fits");
  EXPECT_EQ(s->WorkingFileName(), "");
  Put(*s, "big", Pattern(2000, 7));
  std::filesystem::path temp = s->WorkingFileName();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.parent_path(), FDir.path());
  EXPECT_EQ(temp.filename().string().rfind("~TMP", 0), 0u);
  EXPECT_EQ(temp.extension(), ".tmp");
  EXPECT_EQ(std::filesystem::file_size(temp), static_cast<uintmax_t>(s->WorkingSize()));
  EXPECT_EQ(Get(*s, "small"), "fits");
  EXPECT_EQ(Get(*s, "big"), Pattern(2000, 7));

  s->Clear();
  EXPECT_FALSE(std::filesystem::exists(temp));
  EXPECT_EQ(s->WorkingFileName(), "");

  // Lowering the limit moves a working stream that is now too big; the
  // storage going away removes its temporary file.
  s->SetMemoryCache(TnvStorage::DefaultMemoryCache);
  Put(*s, "big", Pattern(2000, 8));
  EXPECT_EQ(s->WorkingFileName(), "");
  s->SetMemoryCache(100);
  temp = s->WorkingFileName();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(Get(*s, "big"), Pattern(2000, 8));
  s.reset();
  EXPECT_FALSE(std::filesystem::exists(temp));
}

TEST_F(nvStorageTemp, LoadingALargeStreamGoesStraightToAFile) {
  TnvStorage w;
  Put(w, "a", Pattern(5000, 9));
  TMemoryStream archive(SavedBytes(w));
  TnvStorage s;
  s.SetMemoryCache(1000);
  s.LoadFromStream(archive);
  EXPECT_NE(s.WorkingFileName(), "");
  EXPECT_EQ(Get(s, "a"), Pattern(5000, 9));
}

TEST_F(nvStorageTemp, NoTemporaryFileKeepsTheStorageAsItWas) {
  ::setenv("TMPDIR", (FDir.path() / "missing").c_str(), 1);
  TnvStorage s;
  s.SetMemoryCache(1000);
  Put(s, "kept", "unsaved work");
  try {
    Put(s, "big", Pattern(2000, 10));
    FAIL() << "no temporary file, yet the write succeeded";
  } catch (const EnvStorageError &e) {
    EXPECT_STREQ(e.what(), "Unable to create temporary file");
  }
  EXPECT_EQ(s.StreamCount(), 1);
  EXPECT_EQ(Get(s, "kept"), "unsaved work");
  EXPECT_EQ(s.WorkingFileName(), "");
}

// ------------------------------------------------------------ concurrency

// A stream that calls back into the storage while the storage reads it.
class TCallbackStream : public TMemoryStream {
public:
  using TMemoryStream::TMemoryStream;
  std::function<void()> OnRead;
  int64_t Read(void *buffer, int64_t count) override {
    if (OnRead) {
      auto call = std::move(OnRead);
      OnRead = nullptr;
      call();
    }
    return TMemoryStream::Read(buffer, count);
  }
};

TEST(nvStorageConcurrency, ANestedCallIsRefusedAndTheLockStaysBalanced) {
  TnvStorage s;
  Put(s, "a", "1");
  std::string refused;
  std::string nameInside = "unset";
  TCallbackStream source(std::string("payload"));
  source.OnRead = [&] {
    try {
      s.StreamExists("a");
    } catch (const EnvStorageError &e) {
      refused = e.what();
    }
    nameInside = s.FileName(); // property reads are allowed
  };
  s.WriteStream("b", source);
  EXPECT_EQ(refused, "Warning: recursive call to nvStorage from event");
  EXPECT_EQ(nameInside, "");
  EXPECT_EQ(Get(s, "b"), "payload");

  // Another thread can still get in: the refused call left no lock behind.
  std::promise<std::string> done;
  auto result = done.get_future();
  std::thread([&s, p = std::move(done)]() mutable { p.set_value(Get(s, "a")); }).detach();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(60)), std::future_status::ready)
      << "the storage stayed locked";
  EXPECT_EQ(result.get(), "1");
}

TEST(nvStorageConcurrency, ThreadsWritingAndReadingTogether) {
  TnvStorage s;
  std::vector<std::thread> threads;
  std::vector<std::string> errors(4);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      try {
        for (int round = 0; round < 40; ++round) {
          std::string name = "t" + std::to_string(t) + "-" + std::to_string(round % 5);
          std::string data = Pattern(static_cast<size_t>(100 + 37 * round), t * 100 + round);
          Put(s, name, data);
          if (Get(s, name) != data)
            errors[static_cast<size_t>(t)] = "wrong data in " + name;
          if (round % 7 == 0)
            s.DeleteStream(name);
        }
      } catch (const std::exception &e) {
        errors[static_cast<size_t>(t)] = e.what();
      }
    });
  }
  for (auto &th : threads)
    th.join();
  for (const auto &e : errors)
    EXPECT_EQ(e, "");
  TMemoryStream saved(SavedBytes(s));
  TnvStorage again;
  again.LoadFromStream(saved);
  EXPECT_EQ(again.StreamCount(), s.StreamCount());
}

} // namespace
