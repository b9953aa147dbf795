#include "persist/fsResourceThread.h"
#include "persist/fsBitmapResource.h"
#include "persist/fsImageFormats.h"
#include "raster/fsGR32.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::TempDir;
using testsupport::WriteFileBytes;

// Drives the process-wide trimmer with a clock the test sets.
class Trimmer : public ::testing::Test {
protected:
  void SetUp() override {
    StopResourceThread();
    ResourceThread().Configure([this] { return Now.load(); }, TfsTrimTiming());
    auto b = std::make_unique<TBitmap32>();
    b->SetSize(8, 8);
    b->FillAll(0xFF336699);
    TMemoryStream png;
    CreateRaster(FormatForExtension(".png"))->SaveToStream(png, *b);
    PngFile = (Dir / "picture.png").string();
    WriteFileBytes(PngFile, png.Bytes());
  }
  void TearDown() override {
    StopResourceThread();
    ResourceThread().Configure(TfsResourceThread::SystemTicks, TfsTrimTiming());
  }

  // Decoded pictures, [i] Embedded for even i, External for odd i; the
  // last made is the most recently used.
  std::vector<std::unique_ptr<TfsBitmapResource>> MakeDecoded(int count) {
    std::vector<std::unique_ptr<TfsBitmapResource>> list;
    for (int i = 0; i < count; ++i) {
      auto r = std::make_unique<TfsBitmapResource>();
      r->SetStorage(i % 2 == 0 ? smEmbedded : smExternal);
      r->LoadFromFile(PngFile);
      EXPECT_NE(r->Bitmap(), nullptr);
      list.push_back(std::move(r));
    }
    return list;
  }

  // 22 uses; [0] and [1] end up least recently used.
  static void ShowAllThenAllButTwo(std::vector<std::unique_ptr<TfsBitmapResource>> &list) {
    for (auto &r : list)
      r->Bitmap();
    for (size_t i = 2; i < list.size(); ++i)
      list[i]->Bitmap();
  }

  static std::vector<TfsResourceLevel>
  Levels(const std::vector<std::unique_ptr<TfsBitmapResource>> &list) {
    TResourcesLock lock;
    std::vector<TfsResourceLevel> levels;
    for (auto &r : list)
      levels.push_back(r->Level());
    return levels;
  }

  std::atomic<int64_t> Now{0};
  TempDir Dir;
  std::string PngFile;
};

TEST_F(Trimmer, ListsResourcesMostRecentlyUsedFirst) {
  auto a = std::make_unique<TfsBitmapResource>();
  auto b = std::make_unique<TfsBitmapResource>();
  TfsBitmapResource c;
  EXPECT_EQ(ResourceThread().Resources(), (std::vector<TfsResource *>{&c, b.get(), a.get()}));
  int uses = ResourceThread().UseCount();
  a->Bitmap();
  a->Bitmap(); // already first: no move, no use
  EXPECT_EQ(ResourceThread().UseCount(), uses + 1);
  EXPECT_EQ(ResourceThread().Resources(), (std::vector<TfsResource *>{a.get(), &c, b.get()}));
  b->ReplaceBitmap(std::make_unique<TBitmap32>());
  EXPECT_EQ(ResourceThread().UseCount(), uses + 2);
  a.reset();
  EXPECT_EQ(ResourceThread().Resources(), (std::vector<TfsResource *>{b.get(), &c}));
}

// Twelve decoded pictures, each shown, then the last ten shown again: more
// than 20 uses. The two least recently used are compacted once more than two
// seconds have passed.
TEST_F(Trimmer, CompactsTheLeastRecentlyUsedAfterEnoughUsesAndTime) {
  auto list = MakeDecoded(12);
  ShowAllThenAllButTwo(list);
  ASSERT_GT(ResourceThread().UseCount(), 20);

  std::vector<TfsResourceLevel> decoded(12, rlDecoded);
  Now = 2000;
  EXPECT_FALSE(ResourceThread().Tick());
  EXPECT_EQ(Levels(list), decoded);

  Now = 2001;
  EXPECT_TRUE(ResourceThread().Tick());
  EXPECT_EQ(ResourceThread().UseCount(), 0);
  std::vector<TfsResourceLevel> expected = decoded;
  expected[0] = rlEncoded; // Embedded: the bytes are the only copy
  expected[1] = rlEmpty;   // External: the file still has them
  EXPECT_EQ(Levels(list), expected);
  EXPECT_GT(list[0]->DataSize(), 0);
  EXPECT_EQ(list[1]->DataSize(), 0);

  // Both come back when shown again.
  ASSERT_NE(list[1]->Bitmap(), nullptr);
  EXPECT_EQ(list[1]->Bitmap()->GetPixel(3, 3), 0xFF336699u);
  ASSERT_NE(list[0]->Bitmap(), nullptr);
}

TEST_F(Trimmer, WaitsForTimeAndUses) {
  struct Case {
    int64_t elapsed;
    int uses;
    bool trims;
  } cases[] = {{2000, 21, false}, {2001, 20, false}, {2001, 21, true}, {100000, 0, false}};
  auto a = std::make_unique<TfsBitmapResource>();
  auto b = std::make_unique<TfsBitmapResource>();
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.elapsed) + " ms, " + std::to_string(c.uses) + " uses");
    Now = 0;
    ResourceThread().MarkUsed(b.get()); // so that the first use below moves a
    ResourceThread().Configure([this] { return Now.load(); }, TfsTrimTiming());
    for (int i = 0; i < c.uses; ++i)
      ResourceThread().MarkUsed(i % 2 == 0 ? a.get() : b.get());
    ASSERT_EQ(ResourceThread().UseCount(), c.uses);
    Now = c.elapsed;
    EXPECT_EQ(ResourceThread().Tick(), c.trims);
    EXPECT_EQ(ResourceThread().UseCount(), c.trims ? 0 : c.uses);
  }
}

TEST_F(Trimmer, KeepsTenOrFewer) {
  auto list = MakeDecoded(10);
  TrimResources();
  EXPECT_EQ(Levels(list), std::vector<TfsResourceLevel>(10, rlDecoded));
}

TEST_F(Trimmer, NeverCompactsALockedResource) {
  auto list = MakeDecoded(12);
  list[0]->Lock();
  TrimResources();
  std::vector<TfsResourceLevel> expected(12, rlDecoded);
  expected[1] = rlEmpty;
  EXPECT_EQ(Levels(list), expected);
  list[0]->Unlock();
  TrimResources();
  expected[0] = rlEncoded;
  EXPECT_EQ(Levels(list), expected);
}

TEST_F(Trimmer, KeepsOnlyTheFirstBytesWorth) {
  auto list = MakeDecoded(11);
  int64_t each = list[0]->DataSize() + list[0]->BitmapMemory();
  TfsTrimTiming timing;
  timing.KeepBytes = 2 * each - 1; // the third from the front is over it
  ResourceThread().Configure([this] { return Now.load(); }, timing);
  TrimResources();
  // Front of the list: the last made.
  std::vector<TfsResourceLevel> levels = Levels(list);
  EXPECT_EQ(levels[10], rlDecoded);
  EXPECT_EQ(levels[9], rlDecoded);
  for (int i = 0; i < 9; ++i)
    EXPECT_NE(levels[static_cast<size_t>(i)], rlDecoded) << i;
}

TEST_F(Trimmer, WorkerTrimsOnItsOwnAndStopsCleanly) {
  auto list = MakeDecoded(12);
  ShowAllThenAllButTwo(list);
  int64_t trims = ResourceThread().TrimCount();
  StartResourceThread();
  EXPECT_TRUE(ResourceThread().Running());
  Now = 5000;
  // The worker looks every 10 ms; give it ample time on a busy machine.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (ResourceThread().TrimCount() == trims && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  StopResourceThread();
  EXPECT_FALSE(ResourceThread().Running());
  ASSERT_GT(ResourceThread().TrimCount(), trims);
  std::vector<TfsResourceLevel> expected(12, rlDecoded);
  expected[0] = rlEncoded;
  expected[1] = rlEmpty;
  EXPECT_EQ(Levels(list), expected);

  // Starting again after a stop works; the holder stops at its end.
  {
    TResourceThreadHolder holder;
    EXPECT_TRUE(ResourceThread().Running());
    list[0]->Bitmap();
  }
  EXPECT_FALSE(ResourceThread().Running());
}

// The main thread works on pictures while the worker trims as often as it
// can; every operation holds the resource lock, so this stays consistent
// (ThreadSanitizer checks the rest).
TEST_F(Trimmer, WorkerAndMainThreadShareTheLock) {
  auto list = MakeDecoded(12);
  TfsTrimTiming eager;
  eager.PollMs = 1;
  eager.IntervalMs = -1;
  eager.MinUses = -1;
  ResourceThread().Configure([this] { return Now.load(); }, eager);
  int64_t before = ResourceThread().TrimCount();
  StartResourceThread();
  // Until the worker has trimmed a good many times under our feet.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (ResourceThread().TrimCount() < before + 20 && std::chrono::steady_clock::now() < deadline)
    for (auto &r : list) {
      TfsResourceLock lock(*r);
      TBitmap32 *b = r->Bitmap();
      ASSERT_NE(b, nullptr);
      EXPECT_EQ(b->GetPixel(0, 0), 0xFF336699u);
    }
  EXPECT_GE(ResourceThread().TrimCount(), before + 20);
  StopResourceThread();
}

} // namespace
