#include "persist/fsPlainXml.h"
#include "persist/fsXmlCodec.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Utf16(const std::string &ascii, bool bigEndian) {
  std::string out;
  for (char c : ascii) {
    if (bigEndian) {
      out.push_back('\0');
      out.push_back(c);
    } else {
      out.push_back(c);
      out.push_back('\0');
    }
  }
  return out;
}

// "<r>" + e-acute + euro sign + "</r>" in UTF-16 code units.
std::string Utf16Doc(bool bigEndian, bool bom) {
  std::string head = Utf16("<?xml version=\"1.0\"?><r>", bigEndian);
  std::string chars =
      bigEndian ? std::string("\x00\xE9\x20\xAC", 4) : std::string("\xE9\x00\xAC\x20", 4);
  std::string tail = Utf16("</r>", bigEndian);
  std::string mark = bom ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
  return mark + head + chars + tail;
}

std::string ErrorOfLoad(const std::string &bytes) {
  try {
    TPlainXml doc;
    doc.ReadFromString(bytes);
  } catch (const EXmlError &e) {
    return e.what();
  }
  return "(no error)";
}

TEST(XmlCodec, DetectionTable) {
  struct Case {
    std::string Bytes;
    int Encoding;
    int Bom;
  };
  const Case cases[] = {
      {std::string("\x00\x00\xFE\xFF", 4), seUCS4BE, 4},
      {std::string("\xFF\xFE\x00\x00", 4), seUCS4LE, 4},
      {std::string("\x00\x00\xFF\xFE", 4), seUCS4_2143, 4},
      {std::string("\xFE\xFF\x00\x00", 4), seUCS4_3412, 4},
      {std::string("\xFE\xFF\x00<", 4), seUTF16BE, 2},
      {"\xFE\xFF", seUCS4_3412, 4}, // two bytes agree with the longer mark
      {"\xFF\xFE<", seUTF16LE, 2},
      {"\xEF\xBB\xBF<", seUTF8, 3},
      {std::string("\x00\x00\x00<", 4), seUCS4BE, 0},
      {std::string("<\x00\x00\x00", 4), seUCS4LE, 0},
      {std::string("\x00<\x00?", 4), seUTF16BE, 0},
      {std::string("<\x00?\x00", 4), seUTF16LE, 0},
      {"<?xm", seAnsi, 0},
      {"\x4C\x6F\xA7\x94", seEBCDIC, 0},
      {"<r/>", seAnsi, 0},
      {"", seUCS4BE, 4}, // an empty stream matches the first entry
  };
  for (const auto &c : cases) {
    auto g = DetectXmlEncoding(c.Bytes);
    EXPECT_EQ(g.Encoding, c.Encoding) << c.Bytes.size();
    EXPECT_EQ(g.BomLength, c.Bom) << c.Bytes.size();
  }
}

TEST(XmlCodec, DocumentsInEveryReadableEncoding) {
  struct Case {
    std::string Bytes;
    int Encoding;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF<?xml version=\"1.0\"?><r>\xC3\xA9\xE2\x82\xAC</r>", seUTF8},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><r>\xC3\xA9\xE2\x82\xAC</r>", seUTF8},
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\xE9\x80</r>", seAnsi},
      {"<r>\xE9\x80</r>", seAnsi},
      {Utf16Doc(false, true), seUTF16LE},
      {Utf16Doc(true, true), seUTF16BE},
      {Utf16Doc(false, false), seUTF16LE},
      {Utf16Doc(true, false), seUTF16BE},
  };
  for (const auto &c : cases) {
    TPlainXml utf8;
    utf8.ReadFromString(c.Bytes);
    EXPECT_EQ(utf8.Root()->Value(), "\xC3\xA9\xE2\x82\xAC") << c.Encoding;
    EXPECT_EQ(utf8.FileEncoding, c.Encoding);
    EXPECT_TRUE(utf8.Utf8Text);
    // Saving again gives the same encoding and the same text.
    TPlainXml again;
    again.ReadFromString(utf8.WriteToString());
    EXPECT_EQ(again.Root()->Value(), "\xC3\xA9\xE2\x82\xAC") << c.Encoding;
    EXPECT_EQ(again.FileEncoding, c.Encoding);
  }
}

TEST(XmlCodec, UnsupportedEncodingsFail) {
  const std::string cases[] = {
      "",
      std::string("\x00\x00\xFE\xFF\x00\x00\x00<", 8),
      std::string("<\x00\x00\x00r\x00\x00\x00", 8),
      std::string("\x00\x00<\x00", 4),
      "\x4C\x6F\xA7\x94\x00",
  };
  for (const auto &bytes : cases)
    EXPECT_EQ(ErrorOfLoad(bytes), "Unsupported string encoding") << bytes.size();
}

TEST(XmlCodec, EightBitTextInMemory) {
  // 16-bit text read as 8-bit loses what has no byte, once reported.
  std::string bytes = Utf16Doc(false, true);
  TPlainXml doc;
  doc.Utf8Text = false;
  int losses = 0;
  doc.OnCharLoss = [&](TPlainXml &) { ++losses; };
  bytes.insert(bytes.size() - 8, std::string("\xAC\x20", 2)); // a second euro sign
  doc.ReadFromString(bytes);
  EXPECT_EQ(doc.Root()->Value(), "\xE9??");
  EXPECT_EQ(losses, 1);
  EXPECT_FALSE(doc.Utf8Text); // 16-bit files leave the text mode alone

  // 8-bit text written as UTF-8 is converted from the code page.
  TPlainXml ansi("r");
  ansi.Utf8Text = false;
  ansi.Root()->SetValue("\xE9\x80");
  EXPECT_EQ(
      ansi.WriteToString(),
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<r>\xC3\xA9\xE2\x82\xAC</r>\n");
}

TEST(XmlCodec, WritingInEachEncoding) {
  struct Case {
    int Encoding;
    std::string Expected; // of the root element "<r>" e-acute, euro, hiragana a "</r>"
  };
  const std::string units("\xE9\x00\xAC\x20\x42\x30", 6);
  const Case cases[] = {
      {seAnsi, "<r>\xE9\x80</r>\n"}, // the hiragana has no byte and is dropped
      {seUTF8, "\xEF\xBB\xBF<r>\xC3\xA9\xE2\x82\xAC\xE3\x81\x82</r>\n"},
      {seUTF16LE, "\xFF\xFE" + Utf16("<r>", false) + std::string(units) + Utf16("</r>\n", false)},
      {se16BitLE, Utf16("<r>", false) + units + Utf16("</r>\n", false)},
      {se16BitBE,
       Utf16("<r>", true) + std::string("\x00\xE9\x20\xAC\x30\x42", 6) + Utf16("</r>\n", true)},
  };
  for (const auto &c : cases) {
    TPlainXml doc("r");
    doc.RootNodes().DeleteChild(0); // no declaration, to keep the bytes short
    doc.FileEncoding = c.Encoding;
    doc.Root()->SetValue("\xC3\xA9\xE2\x82\xAC\xE3\x81\x82");
    EXPECT_EQ(doc.WriteToString(), c.Expected) << c.Encoding;
  }
  TPlainXml ucs4("r");
  ucs4.FileEncoding = seUCS4BE;
  EXPECT_THROW(ucs4.WriteToString(), EXmlCodecError);
}

TEST(XmlCodec, SurrogatePairsSurviveUtf16) {
  TPlainXml doc("r");
  doc.FileEncoding = seUTF16BE;
  doc.Root()->SetValue("\xF0\x9F\x98\x80");
  std::string bytes = doc.WriteToString();
  EXPECT_NE(bytes.find(std::string("\xD8\x3D\xDE\x00", 4)), std::string::npos);
  TPlainXml back;
  back.ReadFromString(bytes);
  EXPECT_EQ(back.Root()->Value(), "\xF0\x9F\x98\x80");
}

TEST(XmlCodec, CodecStreamRules) {
  TMemoryStream mem(std::string("\xEF\xBB\xBF"
                                "abc"));
  TnvUtf8Stream codec(&mem);
  char buf[4];
  try {
    codec.Seek(0, soCurrent);
    ADD_FAILURE();
  } catch (const EXmlCodecError &e) {
    EXPECT_STREQ(e.what(), "Cannot seek before reading or writing in conversion stream");
  }
  ASSERT_EQ(codec.Read(buf, 1), 1);
  EXPECT_EQ(buf[0], 'a');
  EXPECT_EQ(codec.Encoding(), seUTF8);
  try {
    codec.Read(buf, 2);
    ADD_FAILURE();
  } catch (const EXmlCodecError &e) {
    EXPECT_STREQ(e.what(), "Cannot read multiple chars from conversion stream at once");
  }
  ASSERT_EQ(codec.Read(buf, 1), 1);
  codec.Seek(-2, soCurrent); // back over "ab"
  ASSERT_EQ(codec.Read(buf, 1), 1);
  EXPECT_EQ(buf[0], 'a');
  EXPECT_EQ(codec.Size(), 6);
  EXPECT_THROW(codec.Seek(-3, soCurrent), EXmlCodecError);
  EXPECT_THROW(codec.Seek(1, soBeginning), EXmlCodecError);
  try {
    codec.Write("x", 1);
    ADD_FAILURE();
  } catch (const EXmlCodecError &e) {
    EXPECT_STREQ(e.what(), "Cannot write to an UTF stream opened for reading");
  }

  TMemoryStream out;
  TnvAnsiStream writer(&out);
  writer.SetEncoding(seUTF16LE);
  writer.WriteText("A\xE9");
  EXPECT_EQ(out.Bytes(), std::string("\xFF\xFE"
                                     "A\x00\xE9\x00",
                                     6));
  try {
    writer.Read(buf, 1);
    ADD_FAILURE();
  } catch (const EXmlCodecError &e) {
    EXPECT_STREQ(e.what(), "Cannot read from a conversion stream opened for writing");
  }
  TnvUtf8Stream none(nullptr);
  try {
    none.Read(buf, 1);
    ADD_FAILURE();
  } catch (const EXmlCodecError &e) {
    EXPECT_STREQ(e.what(), "Encoding stream unassigned");
  }
}

TEST(XmlCodec, BufferedReadStreamServesPagesAndSeeks) {
  std::string data;
  for (int i = 0; i < 200000; ++i)
    data.push_back(static_cast<char>(i * 31 % 251));
  TMemoryStream mem(data);
  TnvBufferedReadStream buf(&mem);
  char got[40];
  buf.Seek(65530, soBeginning); // across a page boundary
  ASSERT_EQ(buf.Read(got, 20), 20);
  EXPECT_EQ(std::string(got, 20), data.substr(65530, 20));
  buf.Seek(10, soBeginning); // back to an earlier page
  EXPECT_EQ(buf.ReadByte(), static_cast<unsigned char>(data[10]));
  buf.Seek(-5, soEnd);
  EXPECT_EQ(buf.Read(got, 40), 5);
  EXPECT_EQ(buf.ReadByte(), -1);
  EXPECT_EQ(buf.Size(), 200000);
  EXPECT_THROW(buf.Write("x", 1), EXmlCodecError);
}

TEST(XmlCodec, BufferedWriteStreamCollectsAndFlushes) {
  TMemoryStream mem;
  {
    TnvBufferedWriteStream buf(&mem);
    std::string chunk(40000, 'x');
    buf.WriteBytes(chunk);
    EXPECT_EQ(mem.Size(), 0); // still collected
    buf.WriteBytes(chunk);
    EXPECT_EQ(mem.Size(), 65536); // one full buffer went out
    EXPECT_EQ(buf.Seek(0, soCurrent), 80000);
    EXPECT_THROW(buf.Seek(0, soBeginning), EXmlCodecError);
    char c;
    EXPECT_THROW(buf.Read(&c, 1), EXmlCodecError);
  }
  EXPECT_EQ(mem.Size(), 80000); // the rest when freed

  std::string fixed = "..";
  TReadOnlyMemoryStream full(fixed);
  TnvBufferedWriteStream failing(&full);
  failing.WriteBytes("abc");
  try {
    failing.Flush();
    ADD_FAILURE();
  } catch (const EXmlCodecError &e) {
    EXPECT_STREQ(e.what(), "Cannot write to output stream");
  }
}

} // namespace

namespace {

// Overlong forms and surrogates in a UTF-8 file spell no character: they
// read as U+FFFD, and writing the tree in another encoding cannot turn them
// into the markup characters they imitate ("\xC0\xBC" would be "<").
TEST(XmlCodec, MalformedUtf8NeverBecomesMarkup) {
  const std::string file = "\xEF\xBB\xBF<r><k>a\xC0\xBC"
                           "b\xE0\x80\xBE\xED\xA0\x80</k></r>";
  const std::u16string expected = u"a\uFFFD\uFFFDb\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD";
  TPlainXml doc;
  doc.ReadFromString(file);
  ASSERT_NE(doc.Root(), nullptr);
  EXPECT_EQ(doc.Root()->LoadWideString("k", u""), expected);

  for (int encoding : {seUTF16LE, seUTF16BE, seUTF8}) {
    doc.FileEncoding = encoding;
    TPlainXml again;
    again.ReadFromString(doc.WriteToString());
    ASSERT_NE(again.Root(), nullptr) << encoding;
    ASSERT_EQ(again.Root()->ChildCount(), 1) << encoding;
    EXPECT_EQ(again.Root()->Child(0)->ChildCount(), 0) << "no element made of the bytes";
    EXPECT_EQ(again.Root()->LoadWideString("k", u""), expected) << encoding;
  }
}

} // namespace
