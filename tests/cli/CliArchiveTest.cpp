#include "cli/CliRun.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {

std::string LE(uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return out;
}

TEST(CliArchive, PutListGetRemove) {
  TempDir dir;
  std::string file = (dir / "doc.stor").string();
  std::string binary("\0\x01\xFF\r\n data", 10);
  WriteFileBytes(dir / "index.xml", "<index/>");
  WriteFileBytes(dir / "pic.bin", binary);

  auto r = Cli({"archive", "put", file, "Index.xml", (dir / "index.xml").string()});
  ASSERT_EQ(r.Code, 0) << r.Err;
  r = Cli({"archive", "put", file, "Pic.hck", (dir / "pic.bin").string()});
  ASSERT_EQ(r.Code, 0) << r.Err;

  // One entry "Index.xml" of 8 bytes then "Pic.hck" of 10: the compact layout.
  std::string bytes = ReadFileBytes(file);
  ASSERT_EQ(bytes.size(), 73u + 29 + 27 + 8 + 10);
  EXPECT_EQ(bytes.substr(69, 4), LE(2, 4));
  EXPECT_EQ(bytes.substr(73, 29), LE(129, 8) + LE(8, 8) + LE(9, 4) + "Index.xml");
  EXPECT_EQ(bytes.substr(129), "<index/>" + binary);

  r = Cli({"archive", "list", file});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(r.Out, "Index.xml\t8\nPic.hck\t10\n");

  r = Cli({"archive", "get", file, "pic.HCK"});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(r.Out, binary);
  r = Cli({"archive", "get", file, "Index.xml", (dir / "out.xml").string()});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(ReadFileBytes(dir / "out.xml"), "<index/>");

  // Replacing keeps the place in the directory.
  WriteFileBytes(dir / "index2.xml", "<index pages=\"1\"/>");
  r = Cli({"archive", "put", file, "INDEX.XML", (dir / "index2.xml").string()});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(Cli({"archive", "list", file}).Out, "INDEX.XML\t18\nPic.hck\t10\n");

  r = Cli({"archive", "rm", file, "index.xml"});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(Cli({"archive", "list", file}).Out, "Pic.hck\t10\n");
  EXPECT_EQ(ReadFileBytes(file).size(), 73u + 27 + 10);
}

TEST(CliArchive, FailuresReportTheMessageAndLeaveTheFile) {
  TempDir dir;
  std::string file = (dir / "doc.stor").string();
  WriteFileBytes(dir / "src", "content");
  ASSERT_EQ(Cli({"archive", "put", file, "a", (dir / "src").string()}).Code, 0);
  const std::string good = ReadFileBytes(file);
  WriteFileBytes(dir / "bad.stor", "not an archive at all");
  std::string bad = (dir / "bad.stor").string();
  std::string missing = (dir / "missing.stor").string();

  struct TCase {
    std::vector<std::string> Args;
    std::string Message;
  };
  const std::vector<TCase> cases = {
      {{"archive", "get", file, "nope"}, "Stream \"nope\" not found in the storage"},
      {{"archive", "rm", file, "nope"}, "Stream \"nope\" not found in the storage"},
      {{"archive", "put", file, "b", (dir / "no-source").string()}, "Cannot open file"},
      {{"archive", "list", bad}, "File is not a storage file"},
      {{"archive", "put", bad, "a", (dir / "src").string()}, "File is not a storage file"},
      {{"archive", "rm", bad, "a"}, "File is not a storage file"},
      {{"archive", "list", missing}, "Cannot open file"},
      {{"archive", "get", missing, "a"}, "Cannot open file"},
      {{"archive", "rm", missing, "a"}, "Cannot open file"},
      {{"archive", "get", file, "a", (dir / "no-folder" / "out").string()}, "Cannot"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Args[1] + " " + c.Args[2]);
    auto r = Cli(c.Args);
    EXPECT_EQ(r.Code, 1);
    EXPECT_NE(r.Err.find(c.Message), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(ReadFileBytes(file), good);
    EXPECT_EQ(ReadFileBytes(bad), "not an archive at all");
    EXPECT_FALSE(std::filesystem::exists(missing));
  }
}

TEST(CliArchive, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {{"archive"},
                                                       {"archive", "list"},
                                                       {"archive", "list", "a", "b"},
                                                       {"archive", "get", "f"},
                                                       {"archive", "get", "f", "n", "o", "x"},
                                                       {"archive", "put", "f", "n"},
                                                       {"archive", "rm", "f"},
                                                       {"archive", "cat", "f", "n"}};
  for (const auto &args : cases) {
    auto r = Cli(args);
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Err.find("tallisyn-cli archive put FILE NAME SRC"), std::string::npos) << r.Err;
  }
}

} // namespace
