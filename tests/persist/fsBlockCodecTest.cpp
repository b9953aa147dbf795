#include "persist/fsBlockCodec.h"

#include "persist/fsRasterError.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Hex(std::string_view s) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty())
      out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string Bytes(std::initializer_list<int> v) {
  std::string s;
  for (int b : v)
    s.push_back(static_cast<char>(b));
  return s;
}

std::string Repeat(int value, size_t n) {
  return std::string(n, static_cast<char>(value));
}

std::string Noise(size_t n, unsigned seed, int spread = 256) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto &c : s)
    c = static_cast<char>(rng() % static_cast<unsigned>(spread));
  return s;
}

void ExpectDecompressError(const std::function<void()> &f) {
  try {
    f();
    ADD_FAILURE() << "no error";
  } catch (const ERasterError &e) {
    EXPECT_STREQ(e.what(), "Unable to decompress");
  }
}

// ---- Delta ----

TEST(Delta, DifferencesModulo256AndBack) {
  std::string in = Bytes({5, 3, 3, 255, 0, 10});
  EXPECT_EQ(Hex(DeltaEncode(in)), "05 FE 00 FC 01 0A");
  EXPECT_EQ(DeltaDecode(DeltaEncode(in)), in);
  EXPECT_EQ(DeltaEncode(""), "");
}

// ---- Run length ----

struct RleCase {
  const char *name;
  std::string in;
  std::string out;
};

void PrintTo(const RleCase &c, std::ostream *os) {
  *os << c.name;
}

class RleEncodeCases : public ::testing::TestWithParam<RleCase> {};

TEST_P(RleEncodeCases, WritesTheseGroups) {
  const RleCase &c = GetParam();
  EXPECT_EQ(Hex(RleEncode(c.in)), Hex(c.out));
  EXPECT_EQ(RleDecode(c.out, c.in.size()), c.in);
}

INSTANTIATE_TEST_SUITE_P(
    Groups, RleEncodeCases,
    ::testing::Values(
        RleCase{"Empty", "", Bytes({0})}, RleCase{"TwoBytes", Bytes({7, 7}), Bytes({2, 7, 7})},
        RleCase{"ThreeDistinct", Bytes({1, 2, 3}), Bytes({3, 1, 2, 3})},
        RleCase{"FiveEqualThenOthers", Bytes({9, 9, 9, 9, 9, 1, 2}), Bytes({0xFD, 9, 3, 9, 1, 2})},
        RleCase{"ThreeEqualThenOther", Bytes({4, 4, 4, 5}), Bytes({0xFF, 4, 2, 4, 5})},
        RleCase{"LiteralsBeforeRun", Bytes({1, 2, 6, 6, 6, 6, 3}),
                Bytes({2, 1, 2, 0xFE, 6, 2, 6, 3})},
        RleCase{"RunAtEndWrittenWhole", Bytes({1, 8, 8, 8, 8}), Bytes({1, 1, 0xFD, 8})},
        RleCase{"AllEqual", Repeat(3, 3), Bytes({0xFE, 3})},
        RleCase{"RunThenRun", Bytes({1, 1, 1, 1, 2, 2, 2}), Bytes({0xFE, 1, 1, 1, 0xFE, 2})},
        // 128 repeats: 127 would leave one, so 126 and 2.
        RleCase{"OpenRunOf128", Repeat(0x41, 128), Bytes({0x83, 0x41, 0xFF, 0x41})},
        RleCase{"OpenRunOf127", Repeat(0x41, 127), Bytes({0x82, 0x41})},
        RleCase{"OpenRunOf129", Repeat(0x41, 129), Bytes({0x82, 0x41, 0xFF, 0x41})},
        RleCase{"LongLiteralSplitAt127",
                [] {
                  std::string s;
                  for (int i = 0; i < 130; ++i)
                    s.push_back(static_cast<char>(i));
                  return s;
                }(),
                [] {
                  std::string s = Bytes({127});
                  for (int i = 0; i < 127; ++i)
                    s.push_back(static_cast<char>(i));
                  return s + Bytes({3, 127, (char)128, (char)129});
                }()},
        // A run ending after 129 bytes writes 128 as 126 + 2, then the last byte
        // goes on with the literal.
        RleCase{"ClosedRunOf129", Repeat(5, 129) + Bytes({6}), Bytes({0x83, 5, 0xFF, 5, 2, 5, 6})}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(RleDecode, RejectsDamagedGroups) {
  struct Case {
    const char *name;
    std::string in;
    size_t maxOut;
  } cases[] = {
      {"LiteralPastEnd", Bytes({3, 1, 2}), 100},
      {"RepeatWithoutByte", Bytes({0xFE}), 100},
      {"RepeatHeaderMinus127", Bytes({0x81, 1}), 1000},
      {"RepeatHeaderMinus128", Bytes({0x80, 1}), 1000},
      {"MoreThanAllowed", Bytes({0x82, 1, 0x82, 1}), 200},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ExpectDecompressError([&] { RleDecode(c.in, c.maxOut); });
  }
  EXPECT_EQ(RleDecode(Bytes({0x82, 1, 0x82, 1}), 254).size(), 254u);
  // Empty literal groups are harmless.
  EXPECT_EQ(RleDecode(Bytes({0, 0, 1, 9}), 10), Bytes({9}));
}

// ---- Frequency code ----

TEST(FreqEncode, LayoutOfASmallBlock) {
  // Counts: 7 x3, 2 x2, 9 x1 -> ranks 7, 2, 9, then 0, 1, 3, 4, ... by the
  // exchange order; T = 19.
  std::string in = Bytes({7, 2, 7, 9, 2, 7});
  std::string block = FreqEncode(in);
  const auto *b = reinterpret_cast<const uint8_t *>(block.data());
  EXPECT_EQ(b[12], 19);
  std::vector<int> table(b + 13, b + 13 + 20);
  // Position 3 onwards are the zero-count values as the exchange procedure
  // leaves them: each swap moves the displaced value to the far position.
  EXPECT_EQ(table[0], 7);
  EXPECT_EQ(table[1], 2);
  EXPECT_EQ(table[2], 9);
  // Classes: 7->0, 2->1 (bit 0), 9->1 (bit 1).
  // Class stream (6 / 4 + 1 = 2 bytes): 0,1,0,1 | 1,0 -> 0x44, 0x01.
  const size_t classAt = 14 + 19;
  EXPECT_EQ(Hex(block.substr(classAt, 2)), "44 01");
  // No byte stream; nibble stream one empty byte; bit stream 0,1,0 -> 0x02.
  const int bitAt = b[4] | b[5] << 8;
  const int nibbleAt = b[8] | b[9] << 8;
  EXPECT_EQ(nibbleAt, static_cast<int>(classAt) + 2);
  EXPECT_EQ(bitAt, nibbleAt + 1);
  EXPECT_EQ(static_cast<int>(block.size()), bitAt + 1);
  EXPECT_EQ(b[bitAt], 0x02);
  EXPECT_EQ(b[0], 6);
  EXPECT_EQ(FreqDecode(block), in);
}

TEST(FreqEncode, TiesFollowTheExchangeProcedure) {
  // Every value once: nothing is strictly larger, so the table stays 0..255
  // and T is 255 (no value has count 0).
  std::string all;
  for (int i = 0; i < 256; ++i)
    all.push_back(static_cast<char>(i));
  std::string block = FreqEncode(all);
  EXPECT_EQ(static_cast<uint8_t>(block[12]), 255);
  for (int r = 0; r < 256; ++r)
    ASSERT_EQ(static_cast<uint8_t>(block[13 + r]), r);
  // A single winner swaps with position 0, which moves 0 to its old place.
  std::string one = Bytes({5});
  block = FreqEncode(one);
  EXPECT_EQ(Hex(block.substr(13, 7)), "05 01 02 03 04 00 06");
  EXPECT_EQ(FreqDecode(block), one);
}

TEST(FreqEncode, EmptyInput) {
  std::string block = FreqEncode("");
  // Header, 20 table entries, and one byte each for classes, nibbles, bits.
  EXPECT_EQ(block.size(), 13u + 20u + 3u);
  EXPECT_EQ(FreqDecode(block), "");
}

TEST(FreqEncode, StaysWithinTheBound) {
  struct Case {
    const char *name;
    std::string in;
  } cases[] = {
      {"Noise", Noise(10000, 1)},
      {"FewValues", Noise(10001, 2, 3)},
      {"SixteenValues", Noise(10002, 3, 19)},
      {"Flat", Repeat(0, 10003)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    std::string block = FreqEncode(c.in);
    EXPECT_LE(block.size(), FreqEncodedBound(c.in.size()));
    EXPECT_EQ(FreqDecode(block), c.in);
  }
}

TEST(FreqDecode, RejectsDamagedBlocks) {
  const std::string good = FreqEncode(Noise(400, 9));
  auto with = [&](size_t at, std::initializer_list<int> bytes) {
    std::string s = good;
    for (int b : bytes)
      s[at++] = static_cast<char>(b);
    return s;
  };
  struct Case {
    const char *name;
    std::string block;
  } cases[] = {
      {"ShorterThanHeader", good.substr(0, 12)},
      {"Truncated", good.substr(0, good.size() - 1)},
      {"NegativeLength", with(0, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"HugeLength", with(0, {0xFF, 0xFF, 0xFF, 0x7F})},
      {"BitStreamPastEnd", with(4, {0xFF, 0xFF, 0, 0})},
      {"NibbleAfterBits", with(8, {0xFF, 0xFF, 0, 0})},
      {"NegativeOffset", with(4, {0, 0, 0, 0x80})},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ExpectDecompressError([&] { FreqDecode(c.block); });
  }
}

TEST(FreqDecode, RejectsRanksOutsideTheTable) {
  // Hand-made block of one class-3 byte: T = 19, N = 1.
  auto block = [](int last, int classByte, int stored) {
    std::string b(13, '\0');
    b[0] = 1;
    b[12] = static_cast<char>(last);
    for (int r = 0; r <= last; ++r)
      b.push_back(static_cast<char>(r + 100));
    b.push_back(static_cast<char>(classByte)); // class stream, 1 byte
    if (classByte == 3)
      b.push_back(static_cast<char>(stored)); // byte stream
    size_t nibbleAt = b.size();
    b.push_back(static_cast<char>(stored)); // nibble stream
    size_t bitAt = b.size();
    b.push_back(static_cast<char>(stored)); // bit stream
    b[4] = static_cast<char>(bitAt & 255);
    b[5] = static_cast<char>(bitAt >> 8);
    b[8] = static_cast<char>(nibbleAt & 255);
    b[9] = static_cast<char>(nibbleAt >> 8);
    return b;
  };
  EXPECT_EQ(FreqDecode(block(19, 3, 0)), Bytes({119}));
  EXPECT_EQ(FreqDecode(block(255, 3, 236)), Bytes({static_cast<char>(355 & 255)}));
  EXPECT_EQ(FreqDecode(block(19, 2, 15)), Bytes({118}));
  ExpectDecompressError([&] { FreqDecode(block(255, 3, 237)); });
  ExpectDecompressError([&] { FreqDecode(block(19, 3, 1)); });
  ExpectDecompressError([&] { FreqDecode(block(5, 2, 3)); });
}

// ---- Whole codec ----

struct CodecCase {
  const char *name;
  std::string in;
};

void PrintTo(const CodecCase &c, std::ostream *os) {
  *os << c.name;
}

class BlockCodecRoundTrip : public ::testing::TestWithParam<CodecCase> {};

TEST_P(BlockCodecRoundTrip, DecompressesToTheInput) {
  const auto &c = GetParam();
  std::string block = BlockCompress(c.in);
  EXPECT_EQ(BlockDecompress(block, c.in.size()), c.in);
}

std::string Ramp(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i)
    s[i] = static_cast<char>(i / 7);
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, BlockCodecRoundTrip,
    ::testing::Values(CodecCase{"Empty", ""}, CodecCase{"OneByte", "x"},
                      CodecCase{"Flat", Repeat(200, 100000)}, CodecCase{"Ramp", Ramp(70000)},
                      CodecCase{"Noise", Noise(50000, 4)},
                      CodecCase{"SmallAlphabet", Noise(50000, 5, 4)},
                      CodecCase{"Mixed", Ramp(3000) + Noise(3000, 6) + Repeat(1, 3000)}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(BlockCodec, CompressesFlatData) {
  EXPECT_LT(BlockCompress(Repeat(200, 100000)).size(), 2000u);
  // Decoders refuse sizes beyond BlockMaxExpansion; the flattest data must
  // stay within it.
  for (int value : {0, 200}) {
    const std::string flat = Repeat(value, size_t(8) << 20);
    const std::string block = BlockCompress(flat);
    EXPECT_LE(flat.size(), block.size() * BlockMaxExpansion) << block.size();
    EXPECT_EQ(BlockDecompress(block, flat.size()), flat);
  }
}

TEST(BlockCodec, StagesInOrder) {
  std::string in = Ramp(5000) + Noise(1000, 7);
  std::string expected = FreqEncode(RleEncode(FreqEncode(DeltaEncode(in))));
  EXPECT_EQ(BlockCompress(in), expected);
}

TEST(BlockDecompress, RejectsWrongSizeAndDamage) {
  const std::string in = Ramp(4000) + Noise(500, 8);
  const std::string block = BlockCompress(in);
  ExpectDecompressError([&] { BlockDecompress(block, in.size() - 1); });
  ExpectDecompressError([&] { BlockDecompress(block, in.size() + 1); });
  ExpectDecompressError([&] { BlockDecompress(block.substr(0, block.size() / 2), in.size()); });
  ExpectDecompressError([&] { BlockDecompress("", 0); });
  // Every single flipped byte either still decodes to some bytes of the
  // right size or fails with the codec's message.
  for (size_t i = 0; i < block.size(); ++i) {
    std::string damaged = block;
    damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    try {
      EXPECT_EQ(BlockDecompress(damaged, in.size()).size(), in.size());
    } catch (const ERasterError &e) {
      ASSERT_STREQ(e.what(), "Unable to decompress") << "byte " << i;
    }
  }
}

// ---- Planar split ----

TEST(Planes, SplitAndMerge) {
  struct Case {
    int planes;
    std::string in;
    std::string split;
  } cases[] = {
      {3, "abcABC12", "aAbBcC12"},
      {4, "0123456789",
       "04152637"
       "89"},
      {1, "xyz", "xyz"},
      {8, "abc", "abc"},
      {2, "", ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.planes);
    EXPECT_EQ(SplitPlanes(c.in, c.planes), c.split);
    EXPECT_EQ(MergePlanes(c.split, c.planes), c.in);
  }
  std::string noise = Noise(1001, 10);
  for (int n = 1; n <= 8; ++n)
    EXPECT_EQ(MergePlanes(SplitPlanes(noise, n), n), noise) << n;
  EXPECT_THROW(SplitPlanes("abc", 0), ERasterError);
  EXPECT_THROW(MergePlanes("abc", 9), ERasterError);
}

} // namespace
