#include "base/fsError.h"
#include "base/fsStream.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

TEST(Streams, MemoryStreamReadsWritesAndSeeks) {
  TMemoryStream m;
  m.WriteBytes("hello");
  EXPECT_EQ(m.Position(), 5);
  m.Seek(2, soBeginning);
  m.WriteBytes("LLO world");
  EXPECT_EQ(m.Bytes(), "heLLO world");
  // Writing past the end fills the gap with zero bytes.
  m.Seek(13, soBeginning);
  m.WriteBytes("!");
  EXPECT_EQ(m.Bytes(), std::string("heLLO world\0\0!", 14));
  m.Seek(-3, soEnd);
  char buf[8];
  EXPECT_EQ(m.Read(buf, 8), 3);
  EXPECT_EQ(m.Read(buf, 8), 0);
  m.Seek(100, soBeginning);
  EXPECT_EQ(m.Read(buf, 1), 0);
  EXPECT_THROW(m.Seek(-1, soBeginning), EStreamError);
  m.SetSize(2);
  EXPECT_EQ(m.Position(), 2);
  EXPECT_EQ(m.Bytes(), "he");
}

TEST(Streams, ReadBufferFailsOnShortReads) {
  TReadOnlyMemoryStream r("abc");
  char buf[4];
  EXPECT_THROW(r.ReadBuffer(buf, 4), EReadError);
  r.SetPosition(0);
  r.ReadBuffer(buf, 3);
  EXPECT_EQ(std::string(buf, 3), "abc");
  EXPECT_THROW(r.WriteBytes("x"), EWriteError);
  EXPECT_THROW(r.ReadBuffer(buf, -1), EReadError);
}

TEST(Streams, CopyFromCopiesACountOrTheWholeSource) {
  TMemoryStream src(std::string("0123456789"));
  TMemoryStream dst;
  src.SetPosition(4);
  EXPECT_EQ(dst.CopyFrom(src, 3), 3);
  EXPECT_EQ(dst.Bytes(), "456");
  src.SetPosition(7);
  EXPECT_EQ(dst.CopyFrom(src, 0), 10); // 0: everything, from the start
  EXPECT_EQ(dst.Bytes(), "4560123456789");
  src.SetPosition(8);
  EXPECT_THROW(dst.CopyFrom(src, 5), EReadError);
}

TEST(Streams, FileStreamModes) {
  testsupport::TempDir dir;
  auto file = dir / "f.bin";
  {
    TFileStream f(file, fmCreate);
    f.WriteBytes("abcdef");
    f.SetSize(4);
    EXPECT_EQ(f.Size(), 4);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(file), "abcd");
  {
    TFileStream f(file, fmOpenReadWrite);
    f.Seek(0, soEnd);
    f.WriteBytes("XY");
    f.SetPosition(1);
    EXPECT_EQ(f.ReadRemaining(), "bcdXY");
  }
  {
    TFileStream f(file, fmOpenRead);
    EXPECT_EQ(f.Write("z", 1), 0);
  }
  try {
    TFileStream f(dir / "missing", fmOpenRead);
    ADD_FAILURE();
  } catch (const EStreamError &e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"", 0), 0u) << e.what();
  }
  EXPECT_THROW(TFileStream(dir.path(), fmOpenRead), EStreamError);
  EXPECT_THROW(TFileStream(dir / "no" / "such", fmCreate), EStreamError);
}

} // namespace
