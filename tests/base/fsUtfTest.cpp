#include "base/fsUtf.h"

#include <gtest/gtest.h>

namespace {

// Each malformed form becomes U+FFFD, one per broken sequence, and never the
// character an overlong or surrogate form would spell.
TEST(Utf8, DecodesWellFormedAndReplacesTheRest) {
  struct Case {
    const char *name;
    std::string bytes;
    std::u32string expected;
  } cases[] = {
      {"ASCII", "a/<", U"a/<"},
      {"two, three and four bytes", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", U"\u00E9\u20AC\U0001F600"},
      {"highest code point", "\xF4\x8F\xBF\xBF", U"\U0010FFFF"},
      {"overlong slash", "\xC0\xAF", U"\uFFFD\uFFFD"},
      {"overlong less-than in three bytes", "\xE0\x80\xBC", U"\uFFFD\uFFFD\uFFFD"},
      {"overlong in four bytes", "\xF0\x80\x80\xAF", U"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"lone high surrogate", "\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},
      {"lone low surrogate", "\xED\xBF\xBF", U"\uFFFD\uFFFD\uFFFD"},
      {"past U+10FFFF", "\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"stray continuation", "a\x80z", U"a\uFFFDz"},
      {"cut short before ASCII", "\xE2\x82z", U"\uFFFDz"},
      {"cut short by the end", "a\xF0\x9F\x98", U"a\uFFFD"},
      {"bytes that never start", "\xF8\xFE\xFF", U"\uFFFD\uFFFD\uFFFD"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Utf8ToUtf32(c.bytes), c.expected) << c.name;
    std::u16string utf16;
    for (char32_t cp : c.expected)
      AppendUtf16(utf16, cp);
    EXPECT_EQ(Utf8ToUtf16(c.bytes), utf16) << c.name;
  }
}

TEST(Utf8, DecoderFedAcrossBufferEdgesGivesTheSameAsAWholeDecode) {
  const std::string text = "x\xF0\x9F\x98\x80\xC0\xAF\xE2\x82\xAC";
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    TUtf8Decoder dec;
    std::u32string got;
    auto emit = [&](char32_t cp) { got.push_back(cp); };
    for (size_t i = 0; i < cut; ++i)
      dec.Put(static_cast<unsigned char>(text[i]), emit);
    for (size_t i = cut; i < text.size(); ++i)
      dec.Put(static_cast<unsigned char>(text[i]), emit);
    dec.Finish(emit);
    EXPECT_EQ(got, Utf8ToUtf32(text)) << cut;
  }
}

TEST(Utf16, PairsBecomeOneCharacterAndLoneHalvesReplacement) {
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600\u00E9"), "\xF0\x9F\x98\x80\xC3\xA9");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD800, u'a'}), "\xEF\xBF\xBD"
                                                        "a");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00}), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0xD83D}), "a\xEF\xBF\xBD") << "high half at the end";
  // Encoding never writes what decoding would refuse.
  std::string out;
  AppendUtf8(out, 0xD800);
  AppendUtf8(out, 0x110000);
  EXPECT_EQ(out, "\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Latin1, EveryByteIsItsOwnCharacter) {
  EXPECT_EQ(Latin1ToUtf8("a\xE9\xFF"), "a\xC3\xA9\xC3\xBF");
}

} // namespace
