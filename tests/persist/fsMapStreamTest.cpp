#include "persist/fsMapStream.h"

#include "base/fsError.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

namespace {

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>((i * 31 + 7) & 0xFF);
  return s;
}

TEST(MapStream, DefaultBlockIsTheSystemPage) {
  TMapStream s;
  EXPECT_EQ(s.BlockSize(), sysconf(_SC_PAGESIZE));
  EXPECT_EQ(s.Size(), 0);
  EXPECT_EQ(s.BlockCount(), 0);
}

TEST(MapStream, ZeroBlockSizeFails) {
  for (int64_t size : {0, -1}) {
    try {
      TMapStream s(size);
      ADD_FAILURE() << "no error for block size " << size;
    } catch (const EStreamError &e) {
      EXPECT_STREQ(e.what(), "Memory map page size is zero");
    }
  }
}

// Writes at a start position, then reads the whole stream back, for block
// sizes that make the data straddle one, several or no block boundaries.
TEST(MapStream, WritesAndReadsAcrossBlocks) {
  struct Case {
    int64_t block;
    int64_t start;
    size_t length;
  } cases[] = {
      {1, 0, 5},   {7, 0, 7},    {7, 0, 8},         {7, 3, 20},          {16, 15, 2},
      {16, 16, 1}, {4096, 0, 1}, {4096, 4000, 300}, {4096, 0, 3 * 4096},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("block " + std::to_string(c.block) + " start " + std::to_string(c.start));
    TMapStream s(c.block);
    std::string data = Pattern(c.length);
    s.SetPosition(c.start);
    EXPECT_EQ(s.Write(data.data(), static_cast<int64_t>(data.size())),
              static_cast<int64_t>(data.size()));
    EXPECT_EQ(s.Size(), c.start + static_cast<int64_t>(c.length));
    EXPECT_EQ(s.Position(), s.Size());
    int64_t blocks = (s.Size() + c.block - 1) / c.block;
    EXPECT_EQ(s.BlockCount(), blocks);

    std::string expected = std::string(static_cast<size_t>(c.start), '\0') + data;
    EXPECT_EQ(s.Bytes(), expected);
    s.SetPosition(0);
    std::string back(expected.size(), 'x');
    EXPECT_EQ(s.Read(back.data(), static_cast<int64_t>(back.size())),
              static_cast<int64_t>(back.size()));
    EXPECT_EQ(back, expected);
  }
}

TEST(MapStream, OverwriteInsideKeepsSize) {
  TMapStream s(4);
  s.WriteBytes("abcdefghij");
  s.SetPosition(3);
  s.WriteBytes("XYZW");
  EXPECT_EQ(s.Size(), 10);
  EXPECT_EQ(s.Bytes(), "abcXYZWhij");
}

TEST(MapStream, SeekBeyondEndEnlargesWithZeros) {
  TMapStream s(8);
  s.WriteBytes("ab");
  struct Case {
    int64_t offset;
    TSeekOrigin origin;
    int64_t position;
  } cases[] = {{5, soBeginning, 5}, {3, soCurrent, 8}, {4, soEnd, 12}, {-12, soEnd, 0}};
  for (const Case &c : cases)
    EXPECT_EQ(s.Seek(c.offset, c.origin), c.position);
  EXPECT_EQ(s.Size(), 12);
  EXPECT_EQ(s.BlockCount(), 2);
  EXPECT_EQ(s.Bytes(), std::string("ab") + std::string(10, '\0'));
}

TEST(MapStream, SeekBeforeStartFails) {
  TMapStream s(8);
  s.WriteBytes("abc");
  EXPECT_THROW(s.Seek(-4, soEnd), EStreamError);
  EXPECT_THROW(s.Seek(-1, soBeginning), EStreamError);
  EXPECT_EQ(s.Position(), 3);
  EXPECT_EQ(s.Size(), 3);
}

TEST(MapStream, ReadsStopAtTheSize) {
  TMapStream s(4);
  s.WriteBytes("hello");
  char buf[16] = {};
  s.SetPosition(3);
  EXPECT_EQ(s.Read(buf, 16), 2);
  EXPECT_EQ(std::string(buf, 2), "lo");
  EXPECT_EQ(s.Read(buf, 16), 0);
  EXPECT_EQ(s.Position(), 5);
  s.SetPosition(1);
  EXPECT_THROW(s.ReadBuffer(buf, 5), EReadError);
}

TEST(MapStream, ShrinkingReleasesBlocksAndRegrowsWithZeros) {
  TMapStream s(4);
  s.WriteBytes("0123456789AB"); // three full blocks
  EXPECT_EQ(s.BlockCount(), 3);
  s.SetSize(5);
  EXPECT_EQ(s.BlockCount(), 2);
  EXPECT_EQ(s.Position(), 5);
  EXPECT_EQ(s.Bytes(), "01234");
  s.SetSize(4);
  EXPECT_EQ(s.BlockCount(), 1);
  s.SetSize(10);
  EXPECT_EQ(s.Bytes(), std::string("0123") + std::string(6, '\0'));
  s.SetSize(2);
  s.SetSize(4);
  EXPECT_EQ(s.Bytes(), std::string("01") + std::string(2, '\0'));
  s.Clear();
  EXPECT_EQ(s.BlockCount(), 0);
  EXPECT_EQ(s.Position(), 0);
  EXPECT_THROW(s.SetSize(-1), EStreamError);
}

TEST(MapStream, ImpossibleSizeFailsInsteadOfMapping) {
  TMapStream s;
  s.WriteBytes("abc");
  EXPECT_THROW(s.Seek(INT64_MAX / 2, soBeginning), EStreamError);
  EXPECT_THROW(s.SetSize(INT64_MAX), EStreamError);
  EXPECT_EQ(s.Size(), 3);
  EXPECT_EQ(s.Bytes(), "abc");
}

TEST(MapStream, CopiesFromOtherStreams) {
  TMemoryStream source(Pattern(10000));
  TMapStream s;
  EXPECT_EQ(s.CopyFrom(source, 0), 10000);
  EXPECT_EQ(s.Bytes(), source.Bytes());
}

// Decoders read resource bytes through the reader: nothing they do may
// change the stream, least of all a seek to a damaged offset.
TEST(MapStreamReader, ReadsWithItsOwnPositionAndNeverChangesTheStream) {
  TMapStream s(16);
  const std::string bytes = Pattern(100);
  s.WriteBytes(bytes);
  s.SetPosition(7);
  TMapStreamReader r(s);
  EXPECT_EQ(r.Size(), 100);
  EXPECT_EQ(r.Position(), 0);
  EXPECT_EQ(r.ReadRemaining(), bytes);
  r.SetPosition(14);
  char part[5];
  EXPECT_EQ(r.Read(part, 5), 5);
  EXPECT_EQ(std::string(part, 5), bytes.substr(14, 5));
  EXPECT_EQ(s.Position(), 7);

  struct Case {
    int64_t offset;
    TSeekOrigin origin;
  } beyond[] = {{100, soBeginning}, {1 << 20, soBeginning}, {50, soEnd}, {INT64_MAX, soBeginning}};
  for (const Case &c : beyond) {
    SCOPED_TRACE(c.offset);
    EXPECT_EQ(r.Seek(c.offset, c.origin), c.origin == soEnd ? 100 + c.offset : c.offset);
    EXPECT_EQ(r.Read(part, 5), 0);
    EXPECT_EQ(s.Length(), 100);
    EXPECT_EQ(s.BlockCount(), 7);
  }
  EXPECT_THROW(r.Seek(1, soCurrent), EStreamError); // INT64_MAX + 1
  EXPECT_THROW(r.Seek(-1, soBeginning), EStreamError);
  EXPECT_THROW(r.Seek(-101, soEnd), EStreamError);
  r.SetPosition(0);
  EXPECT_EQ(r.Write("xy", 2), 0);
  EXPECT_THROW(r.WriteBytes("xy"), EWriteError);
  EXPECT_THROW(r.SetSize(200), EWriteError);
  EXPECT_EQ(s.Bytes(), bytes);
  EXPECT_EQ(s.Position(), 7);
}

} // namespace
