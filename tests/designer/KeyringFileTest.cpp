#include "designer/KeyringFile.h"
#include "base/fsError.h"
#include "support/AtomicSaveChecks.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

std::string Field(const std::string &digits) {
  std::string f = digits;
  f.resize(20, ' ');
  return f;
}

TEST(KeyringFile, JoinGivesPaddedDecimalHeaders) {
  std::string a(1234, 'a'), b(987, 'b');
  a[0] = '\0';
  std::string image = JoinSides(a, b);
  ASSERT_EQ(image.size(), 2261u);
  EXPECT_EQ(image.substr(0, 20), "1234                ");
  EXPECT_EQ(image.substr(20, 1234), a);
  EXPECT_EQ(image.substr(1254, 20), "987                 ");
  EXPECT_EQ(image.substr(1274), b);

  auto sides = SplitSides(image);
  EXPECT_EQ(sides.SideA, a);
  EXPECT_EQ(sides.SideB, b);
}

TEST(KeyringFile, EmptySidesRoundTrip) {
  std::string image = JoinSides("", "");
  EXPECT_EQ(image, Field("0") + Field("0"));
  auto sides = SplitSides(image);
  EXPECT_TRUE(sides.SideA.empty());
  EXPECT_TRUE(sides.SideB.empty());
}

TEST(KeyringFile, LengthFieldsAreTrimmedOfBlanksAndControls) {
  struct Case {
    const char *name;
    std::string field;
  };
  const Case cases[] = {
      {"leading blanks", "     3              "},
      {"trailing CR", std::string("3\r") + std::string(18, ' ')},
      {"tab and CR LF around", std::string("\t3\r\n") + std::string(16, ' ')},
      {"plus sign", Field("+3")},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.field.size(), 20u);
    auto sides = SplitSides(c.field + "xyz" + Field("1") + "q");
    EXPECT_EQ(sides.SideA, "xyz");
    EXPECT_EQ(sides.SideB, "q");
  }
}

TEST(KeyringFile, DamagedImagesFailWithTheirMessage) {
  struct Case {
    const char *name;
    std::string image;
    const char *message;
    bool convert; // EConvertError rather than EReadError
  };
  const Case cases[] = {
      {"empty file", "", "'' is not a valid integer value", true},
      {"bare archive", std::string("STOR\0\0\0\0", 8) + std::string(40, 'x'),
       "'STOR????xxxxxxxxxxxx' is not a valid integer value", true},
      {"digits then letters", Field("12ab"), "'12ab' is not a valid integer value", true},
      {"beyond 32 bits", "99999999999999999999",
       "'99999999999999999999' is not a valid integer value", true},
      {"ends right after side A", Field("4") + "abcd", "'' is not a valid integer value", true},
      {"side A runs past the end", Field("100") + "abc", "Stream read error", false},
      {"side B runs past the end", Field("1") + "a" + Field("5") + "bc", "Stream read error",
       false},
      {"negative length", Field("-1") + "abc", "Stream read error", false},
      {"largest length", Field("2147483647") + "abc", "Stream read error", false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    try {
      SplitSides(c.image);
      ADD_FAILURE() << "no error";
    } catch (const EConvertError &e) {
      EXPECT_TRUE(c.convert);
      EXPECT_STREQ(e.what(), c.message);
    } catch (const EReadError &e) {
      EXPECT_FALSE(c.convert);
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(KeyringFile, BytesAfterSideBAreIgnored) {
  auto sides = SplitSides(JoinSides("A", "B") + "trailing garbage");
  EXPECT_EQ(sides.SideA, "A");
  EXPECT_EQ(sides.SideB, "B");
}

TEST(KeyringFile, SaveReplacesAndLoadReadsBack) {
  testsupport::TempDir dir;
  auto file = dir / "design.fbd";
  testsupport::WriteFileBytes(file, "old contents");
  SaveSidesToFile(file, "side a", "side b");
  EXPECT_EQ(testsupport::ReadFileBytes(file), JoinSides("side a", "side b"));
  auto sides = LoadSidesFromFile(file);
  EXPECT_EQ(sides.SideA, "side a");
  EXPECT_EQ(sides.SideB, "side b");
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(KeyringFile, SaveSurvivesAKillAndAFullDisk) {
  const std::string sideA(16 << 20, 'a'), sideB(16 << 20, 'b');
  testsupport::ExpectAtomicSave(
      [&](const std::filesystem::path &file) { SaveSidesToFile(file, sideA, sideB); },
      JoinSides("old a", "old b"), "Cannot write file \"");
}

TEST(KeyringFile, FailedSaveLeavesWhatWasThere) {
  testsupport::TempDir dir;
  EXPECT_THROW(SaveSidesToFile(dir / "missing-folder" / "design.fbd", "a", "b"), EStreamError);

  // The final rename fails (the target is a folder that is not empty): the
  // target stays and no temporary file is left behind.
  auto target = dir / "design.fbd";
  std::filesystem::create_directory(target);
  testsupport::WriteFileBytes(target / "keep", "kept");
  EXPECT_THROW(SaveSidesToFile(target, "a", "b"), EStreamError);
  EXPECT_EQ(testsupport::ReadFileBytes(target / "keep"), "kept");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

} // namespace
