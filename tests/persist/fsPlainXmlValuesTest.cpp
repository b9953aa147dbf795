#include "persist/fsXmlCodec.h"
#include "persist/fsXmlValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

struct FloatCase {
  double Value;
  int Digits;
  bool Exponent;
  const char *Text;
};

TEST(XmlValues, FloatText) {
  const FloatCase cases[] = {
      {0, 6, true, "0"},
      {1.5, 6, true, "1.5"},
      {0.5, 6, true, ".5"},
      {0.05, 6, true, ".05"},
      {0.001, 6, true, "1E-3"},
      {100, 6, true, "100"},
      {12345678, 6, true, "12345700"},
      {123456789, 6, true, "1.23457E8"},
      {-2.25, 6, true, "-2.25"},
      {1e10, 6, true, "1.00000E10"},
      {1234567, 6, true, "1234570"},
      {0.9999996, 6, true, "1"},
      {-0.9999996, 6, true, "-1"},
      {1e10, 6, false, "10000000000"},
      {0.001, 6, false, ".001"},
      {2.5, 1, true, "2"}, // halves go to the even neighbour
      {3.5, 1, true, "4"},
      {0.125, 2, true, ".12"},
      {0.375, 2, true, ".38"},
      {1.0 / 3, 9, true, ".333333333"},
      {123.456, 3, true, "123"},
      {-1e-300, 6, true, "-1E-300"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(XmlFloatToText(c.Value, c.Digits, c.Exponent), c.Text)
        << c.Value << " digits " << c.Digits;
}

TEST(XmlValues, FloatTextRejectsBadDigitsAndNamesNonNumbers) {
  for (int digits : {0, 10, -1}) {
    try {
      XmlFloatToText(1, digits, true);
      ADD_FAILURE() << digits;
    } catch (const EXmlError &e) {
      EXPECT_STREQ(e.what(), "Significant digits out of range");
    }
  }
  EXPECT_EQ(XmlFloatToText(INFINITY, 6, true), "INF");
  EXPECT_EQ(XmlFloatToText(-INFINITY, 6, true), "-INF");
  EXPECT_EQ(XmlFloatToText(NAN, 6, true), "NAN");
}

TEST(XmlValues, FloatReading) {
  struct Case {
    const char *Text;
    bool Ok;
    double Value;
  };
  const Case cases[] = {
      {"1,5", true, 1.5},   {"1,5,7", false, 0}, {"-2.25", true, -2.25},
      {".5", true, 0.5},    {"5.", true, 5},     {"1E-3", true, 0.001},
      {"1e+3", true, 1000}, {"+3", true, 3},     {"1.00000E10", true, 1e10},
      {"abc", false, 0},    {"", false, 0},      {"1.5 ", false, 0},
      {" 1.5", false, 0},   {"E5", false, 0},    {"1e", false, 0},
      {".", false, 0},      {"INF", false, 0},   {"1e999", false, 0},
      {"--1", false, 0},
  };
  for (const auto &c : cases) {
    double v = -99;
    EXPECT_EQ(XmlTextToFloat(c.Text, v), c.Ok) << c.Text;
    if (c.Ok) {
      EXPECT_DOUBLE_EQ(v, c.Value) << c.Text;
    } else {
      EXPECT_EQ(v, -99) << c.Text;
    }
  }
}

TEST(XmlValues, IntegerReading) {
  struct Case {
    const char *Text;
    bool Ok;
    int64_t Value;
  };
  const Case cases[] = {
      {"42", true, 42},
      {"-7", true, -7},
      {"+7", true, 7},
      {"$FF", true, 255},
      {"$ffffffff", true, 4294967295LL},
      {"$FFFFFFFFFFFFFFFF", true, -1},
      {"$1FFFFFFFFFFFFFFFF", false, 0},
      {"9223372036854775807", true, INT64_MAX},
      {"-9223372036854775808", true, INT64_MIN},
      {"9223372036854775808", false, 0},
      {"12a", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"$", false, 0},
      {"$G1", false, 0},
      {" 1", false, 0},
      {"1.0", false, 0},
  };
  for (const auto &c : cases) {
    int64_t v = -99;
    EXPECT_EQ(XmlTextToInt64(c.Text, v), c.Ok) << c.Text;
    if (c.Ok) {
      EXPECT_EQ(v, c.Value) << c.Text;
    }
  }
}

TEST(XmlValues, BoolReadingByFirstLetter) {
  struct Case {
    const char *Text;
    bool Ok;
    bool Value;
  };
  const Case cases[] = {{"True", true, true}, {"False", true, false}, {"yes", true, true},
                        {"No", true, false},  {"t", true, true},      {"F", true, false},
                        {"1", false, false},  {"", false, false},     {" true", false, false}};
  for (const auto &c : cases) {
    bool v = !c.Value;
    EXPECT_EQ(XmlTextToBool(c.Text, v), c.Ok) << c.Text;
    if (c.Ok) {
      EXPECT_EQ(v, c.Value) << c.Text;
    }
  }
}

TEST(XmlValues, EscapingAndEntities) {
  EXPECT_EQ(XmlEscape("a&b<c>d'e\"f"), "a&amp;b&lt;c&gt;d&apos;e&quot;f");
  EXPECT_EQ(XmlEscape("&amp;"), "&amp;amp;");
  struct Case {
    const char *Text;
    bool Utf8;
    const char *Resolved;
  };
  const Case cases[] = {
      {"&#233;", true, "\xC3\xA9"},
      {"&#233;", false, "\xE9"},
      {"&#255;", false, "&#255;"},
      {"&#255;", true, "\xC3\xBF"},
      {"&#254;", false, "\xFE"},
      {"&#65534;", true, "\xEF\xBF\xBE"},
      {"&#65535;", true, "&#65535;"},
      {"&#x41;&#X42;&#67;", true, "ABC"},
      {"&foo;", true, "&foo;"},
      {"a &amp; b", true, "a & b"},
      {"&lt;&gt;&apos;&quot;&amp;amp;", true, "<>'\"&amp;"},
      {"no semicolon &amp", true, "no semicolon &amp"},
      {"&#; &#x; &#12a;", true, "&#; &#x; &#12a;"},
      {"&x &amp;", true, "&x &"},
      {"&#99999999999999999999;", true, "&#99999999999999999999;"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(XmlResolveEntities(c.Text, c.Utf8), c.Resolved) << c.Text;
}

TEST(XmlValues, Dequote) {
  EXPECT_EQ(XmlDequote("\"abc\""), "abc");
  EXPECT_EQ(XmlDequote("'it''s'"), "it's");
  EXPECT_EQ(XmlDequote("\"open"), "open");
  EXPECT_EQ(XmlDequote("\""), "\"");
  EXPECT_EQ(XmlDequote("plain"), "plain");
  EXPECT_EQ(XmlDequote(""), "");
}

TEST(XmlValues, DatesWriteAndRead) {
  const double ms = 1.0 / 86400000;
  struct Case {
    double Value;
    const char *Text;
  };
  const Case cases[] = {
      {0, "1899-12-30"},
      {36526, "2000-01-01"},
      {36526.5, "2000-01-01T12:00:00.000Z"},
      {2.75, "1900-01-01T18:00:00.000Z"},
      {36526 + 3723004 * ms, "2000-01-01T01:02:03.004Z"},
      {-1.25, "1899-12-29T06:00:00.000Z"},
      {36585, "2000-02-29"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(XmlDateTimeToText(c.Value), c.Text);
    double back = -1;
    ASSERT_TRUE(XmlTextToDateTime(c.Text, back)) << c.Text;
    EXPECT_NEAR(back, c.Value, ms / 2) << c.Text;
  }
  double v = 7;
  for (const char *bad : {"2000-02-30", "2000-13-01", "20x0-01-01", "2000-01",
                          "2000-01-01T25:00:00.000Z", "2000-01-01Tab:00:00.000Z", "0000-01-01"}) {
    EXPECT_FALSE(XmlTextToDateTime(bad, v)) << bad;
    EXPECT_EQ(v, 7);
  }
  // Seconds and milliseconds that are not numeric count as zero.
  ASSERT_TRUE(XmlTextToDateTime("2000-01-01T12:30:xx.yyyZ", v));
  EXPECT_NEAR(v, 36526 + 12.5 / 24, ms / 2);
  EXPECT_EQ(XmlDateTimeToText(NAN), "0000-00-00");
}

TEST(XmlValues, Base64AndBinHex) {
  struct Case {
    const char *Bytes;
    const char *Base64;
  };
  const Case cases[] = {{"", ""},        {"f", "Zg=="},          {"fo", "Zm8="},
                        {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}, {"\xFF\xFE\xFD", "//79"}};
  for (const auto &c : cases) {
    std::string bytes(c.Bytes);
    EXPECT_EQ(Base64Encode(bytes.data(), bytes.size()), c.Base64);
    ASSERT_EQ(Base64DecodedLength(c.Base64), static_cast<int64_t>(bytes.size()));
    std::string back(bytes.size(), '\0');
    Base64Decode(c.Base64, back.data(), static_cast<int64_t>(back.size()));
    EXPECT_EQ(back, bytes);
  }
  std::string out(4, '\0');
  EXPECT_THROW(Base64DecodedLength("Zm9"), EXmlError);
  EXPECT_THROW(Base64Decode("Zg==", out.data(), 4), EXmlError);
  EXPECT_EQ(BinHexEncode("\x01\xAB", 2), "01AB");
  EXPECT_EQ(BinHexDecodedLength("01AB"), 2);
  BinHexDecode("01ab", out.data(), 2);
  EXPECT_EQ(out.substr(0, 2), "\x01\xAB");
  try {
    BinHexDecodedLength("01A");
    ADD_FAILURE();
  } catch (const EXmlError &e) {
    EXPECT_STREQ(e.what(), "Error while calculating streamlength");
  }
  try {
    BinHexDecode("01AB", out.data(), 3);
    ADD_FAILURE();
  } catch (const EXmlError &e) {
    EXPECT_STREQ(e.what(), "Missing data in binary stream");
  }
  EXPECT_EQ(XmlStripWhite(" a\tb\r\nc "), "abc");
}

} // namespace
