#include "persist/fsPlainXml.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> ConformanceFiles() {
  std::vector<fs::path> files;
  fs::path dir = testsupport::TestDataDir() / "xml-conformance";
  std::error_code ec;
  if (dir.empty() || !fs::is_directory(dir, ec))
    return files;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::end(it);
       it.increment(ec))
    if (it->is_regular_file() && it->path().extension() == ".xml")
      files.push_back(it->path());
  std::sort(files.begin(), files.end());
  return files;
}

// Every file of the W3C suite is either read or rejected with the reader's
// own error; what was read writes out as text that reads back the same.
TEST(XmlConformance, EveryFileReadsOrFailsCleanly) {
  auto files = ConformanceFiles();
  if (files.empty())
    GTEST_SKIP() << "xml-conformance test data missing (scripts/testdata.d/xml-conformance.sh)";
  int read = 0, rejected = 0;
  for (const auto &file : files) {
    std::string bytes = testsupport::ReadFileBytes(file);
    TPlainXml doc;
    try {
      doc.ReadFromString(bytes);
    } catch (const EXmlError &) {
      ++rejected;
      continue;
    }
    ++read;
    std::string once = doc.WriteToString();
    TPlainXml again;
    ASSERT_NO_THROW(again.ReadFromString(once)) << file;
    EXPECT_EQ(again.WriteToString(), once) << file;
  }
  // Most of the suite is well-formed XML a reader of this kind handles.
  EXPECT_GT(read, rejected) << read << " read, " << rejected << " rejected";
}

} // namespace
