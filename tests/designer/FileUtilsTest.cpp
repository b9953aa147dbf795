#include "base/fsError.h"
#include "designer/uFileUtils.h"
#include "designer/uMessages.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(FileUtils, SizeAndDateOfAFile) {
  testsupport::TempDir dir;
  auto file = (dir / "f.bin").string();
  testsupport::WriteFileBytes(file, std::string(1234, 'x'));
  EXPECT_EQ(FileSizeOf(file), 1234u);
  auto age = std::chrono::system_clock::now() - FileDateOf(file);
  EXPECT_LT(std::chrono::abs(age), std::chrono::minutes(5));
}

TEST(FileUtils, MissingFileIsNamedInTheError) {
  testsupport::TempDir dir;
  const std::string missing = (dir / "nope.fbd").string();
  for (auto probe : {+[](const std::string &f) { FileSizeOf(f); },
                     +[](const std::string &f) { FileDateOf(f); }}) {
    try {
      probe(missing);
      ADD_FAILURE() << "no error";
    } catch (const EfsError &e) {
      EXPECT_EQ(std::string(e.what()), "File " + missing + " not found");
    }
  }
  // A folder is no file.
  EXPECT_THROW(FileSizeOf(dir.path().string()), EfsError);
}

TEST(FileUtils, LastPos) {
  struct Case {
    const char *sub, *s;
    size_t pos;
  };
  const Case cases[] = {{"\\", "a\\b\\c", 4}, {"ab", "abab", 3}, {"x", "abc", 0},
                        {"", "abc", 0},       {"abc", "ab", 0},  {"a", "a", 1}};
  for (const auto &c : cases)
    EXPECT_EQ(LastPos(c.sub, c.s), c.pos) << c.sub << " in " << c.s;
}

struct TRecorder : TMessageService {
  bool Confirm(const std::string &text) override {
    Log += "confirm:" + text + ";";
    return Answer;
  }
  void Inform(const std::string &text) override { Log += "inform:" + text + ";"; }
  void Warn(const std::string &text) override { Log += "warn:" + text + ";"; }
  std::string Log;
  bool Answer = true;
};

TEST(Messages, GoThroughTheInstalledService) {
  TRecorder rec;
  SetMessageService(&rec);
  EXPECT_TRUE(Confirm("Drop changes?"));
  rec.Answer = false;
  EXPECT_FALSE(Confirm("Again?"));
  Inform("Done");
  Warn("Careful");
  EXPECT_EQ(rec.Log, "confirm:Drop changes?;confirm:Again?;inform:Done;warn:Careful;");
  SetMessageService(nullptr);
  EXPECT_FALSE(Confirm("Nobody to ask")); // without a window system: No
  try {
    RaiseError("Broken");
    ADD_FAILURE();
  } catch (const EfsError &e) {
    EXPECT_STREQ(e.what(), "Broken");
  }
}

} // namespace
