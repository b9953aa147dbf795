#include "base/fsAtomicFile.h"

#include "base/fsError.h"
#include "support/AtomicSaveChecks.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

TEST(AtomicFile, SurvivesAKillAndAFullDisk) {
  const std::string bytes(32 << 20, 'n');
  testsupport::ExpectAtomicSave([&](const fs::path &file) { SaveFileAtomically(file, bytes); },
                                "old content", "Cannot write file \"");
}

TEST(AtomicFile, StreamedContentFailingOnAFullDiskNamesTheFile) {
  // Content written through the stream: its bare write error becomes a
  // message that names the file and the reason.
  testsupport::ExpectAtomicSave(
      [](const fs::path &file) {
        SaveFileAtomically(file, [](TFileStream &out) {
          const std::string block(1 << 20, 's');
          for (int i = 0; i < 32; ++i)
            out.WriteBytes(block);
        });
      },
      "old content", "Cannot write file \"");
}

TEST(AtomicFile, KeepsPermissionsAndLinks) {
  TempDir dir;
  const fs::path file = dir / "file";
  WriteFileBytes(file, "old");
  ::chmod(file.c_str(), 0640);
  fs::create_symlink(file, dir / "link");
  EXPECT_EQ(SaveFileAtomically(dir / "link", [](TFileStream &out) { out.WriteBytes("new"); }),
            fs::canonical(file));
  EXPECT_TRUE(fs::is_symlink(dir / "link")) << "the link stays a link";
  EXPECT_EQ(ReadFileBytes(file), "new");
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(testsupport::StrayFiles(dir.path(), "file"), 1) << "only the link beside it";
}

TEST(AtomicFile, FailuresLeaveTheOldFileAndNoTemporary) {
  TempDir dir;
  const fs::path file = dir / "file";
  WriteFileBytes(file, "old");
  EXPECT_THROW(SaveFileAtomically(file,
                                  [](TFileStream &out) {
                                    out.WriteBytes("half");
                                    throw EConvertError("from the writer");
                                  }),
               EConvertError);
  EXPECT_EQ(ReadFileBytes(file), "old");
  EXPECT_EQ(testsupport::StrayFiles(dir.path(), file), 0);

  try {
    SaveFileAtomically(dir / "missing" / "file", "x");
    FAIL();
  } catch (const EStreamError &e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file \"" + (dir / "missing" / "file").string() +
                  "\". No such file or directory");
  }
}

} // namespace
