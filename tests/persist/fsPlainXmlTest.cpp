#include "persist/fsPlainXml.h"
#include "base/fsError.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string Bom = "\xEF\xBB\xBF";
const std::string Decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// Parses text (with a declaration in front) and returns the document.
std::unique_ptr<TPlainXml> Parse(const std::string &body) {
  auto doc = std::make_unique<TPlainXml>();
  doc->ReadFromString(Decl + "\n" + body);
  return doc;
}

std::string ErrorOf(const std::string &body) {
  try {
    Parse(body);
  } catch (const EXmlError &e) {
    return e.what();
  }
  return "(no error)";
}

TEST(PlainXml, NewDocumentWritesSignatureDeclarationAndRoot) {
  TPlainXml doc("Document");
  EXPECT_EQ(doc.WriteToString(), Bom + Decl + "\n<Document></Document>\n");
  EXPECT_EQ(doc.DeclaredEncodingOfFile(), "UTF-8");
  // Only an unnamed, bare root makes the document empty.
  EXPECT_FALSE(doc.IsEmpty());
  EXPECT_TRUE(TPlainXml().IsEmpty());
  TPlainXml noRoot;
  noRoot.RootNodes().DeleteChild(1);
  EXPECT_TRUE(noRoot.IsEmpty());
}

TEST(PlainXml, EngineDefaultsDifferFromTheLibraryInFourSettings) {
  TPlainXml doc;
  TXmlSettings lib = TXmlSettings::LibraryDefaults();
  EXPECT_EQ(doc.DeclaredEncoding, "UTF-8");
  EXPECT_EQ(lib.DeclaredEncoding, "windows-1252");
  EXPECT_EQ(doc.FileEncoding, seUTF8);
  EXPECT_EQ(lib.FileEncoding, seAnsi);
  EXPECT_FALSE(doc.StoreDefaults);
  EXPECT_TRUE(lib.StoreDefaults);
  EXPECT_TRUE(doc.Utf8Text && lib.Utf8Text);
  EXPECT_EQ(doc.Layout, xlCompact);
  EXPECT_EQ(doc.BinaryCoding, xbBase64);
  EXPECT_EQ(doc.FloatDigits, 6);

  // Clear takes whatever the process-wide defaults are.
  TXmlSettings saved = XmlDefaults();
  XmlDefaults() = lib;
  TPlainXml old("R");
  XmlDefaults() = saved;
  EXPECT_EQ(old.WriteToString(), "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n<R></R>\n");
}

TEST(PlainXml, DefaultsAreOmittedAndStoredWhenAsked) {
  TPlainXml doc("R");
  TXmlNode &r = *doc.Root();
  r.StoreInteger("I", 5, 5);
  r.StoreBool("B", false, false);
  r.StoreFloat("F", 1.5, 1.5);
  r.StoreString("S", "x", "x");
  r.StoreColor("C", 0, 0);
  EXPECT_EQ(r.ChildCount(), 0);
  EXPECT_EQ(r.LoadInteger("I", 7), 7);
  EXPECT_EQ(r.LoadString("S", "dflt"), "dflt");

  // A value back at its default removes what an earlier store wrote, so a
  // node written again never keeps a stale value.
  r.StoreInteger("I", 9, 5);
  r.StoreFloat("F", 2.5f, 0.0f);
  r.StoreString("S", "y", "x");
  EXPECT_EQ(r.ChildCount(), 3);
  r.StoreInteger("I", 5, 5);
  r.StoreFloat("F", 0.0f, 0.0f);
  r.StoreString("S", "x", "x");
  EXPECT_EQ(r.ChildCount(), 0);
  EXPECT_EQ(r.LoadInteger("I", 0), 0);
  doc.StoreDefaults = true;
  r.StoreInteger("I", 5, 5);
  r.StoreBool("B", false, false);
  EXPECT_EQ(r.LoadInteger("I", 0), 5);
  EXPECT_EQ(r.ChildCount(), 2);
  EXPECT_EQ(r.WriteToString(), "<R><I>5</I><B>False</B></R>");
}

TEST(PlainXml, SinglesCompareWithTheirDefaultAsSingles) {
  TPlainXml doc("R");
  TXmlNode &r = *doc.Root();
  // 0.1f is not the double 0.1: compared as doubles it would be written.
  r.StoreFloat("F", 0.1f, 0.1f);
  EXPECT_EQ(r.ChildCount(), 0);
  r.StoreFloat("F", 0.25f, 0.1f);
  EXPECT_EQ(r.WriteToString(), "<R><F>.25</F></R>");
  EXPECT_EQ(r.LoadFloat("F", 0.0f), 0.25f);
  EXPECT_EQ(r.LoadFloat("G", 7.5f), 7.5f);
}

TEST(PlainXml, TypedValuesRoundTrip) {
  TPlainXml doc("R");
  TXmlNode &r = *doc.Root();
  r.StoreBool("T", true, false);
  r.StoreInteger("I", -42, 0);
  r.StoreInt64("L", 1LL << 40, 0);
  r.StoreFloat("F", 0.5, 0);
  r.StoreString("S", "a<b & 'c'", "");
  r.StoreWideString("W", u"\u00e9\u20ac\U0001F600", u"");
  r.StoreDateTime("D", 36526.5, 0);
  r.StoreColor("C", 0x00FFFFC0, 0);
  EXPECT_EQ(r.WriteToString(),
            "<R><T>True</T><I>-42</I><L>1099511627776</L><F>.5</F>"
            "<S>a&lt;b &amp; &apos;c&apos;</S><W>\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80</W>"
            "<D>2000-01-01T12:00:00.000Z</D><C>$00FFFFC0</C></R>");
  TPlainXml back;
  back.ReadFromString(doc.WriteToString());
  TXmlNode &b = *back.Root();
  EXPECT_TRUE(b.LoadBool("T", false));
  EXPECT_EQ(b.LoadInteger("I", 0), -42);
  EXPECT_EQ(b.LoadInt64("L", 0), 1LL << 40);
  EXPECT_EQ(b.LoadFloat("F", 0), 0.5);
  EXPECT_EQ(b.LoadString("S", ""), "a<b & 'c'");
  EXPECT_EQ(b.LoadWideString("W", u""), u"\u00e9\u20ac\U0001F600");
  EXPECT_EQ(b.LoadDateTime("D", 0), 36526.5);
  EXPECT_EQ(b.LoadColor("C", 0), 0x00FFFFC0);
  // The 32-bit form keeps the low 32 bits.
  b.FindChild("L")->SetValue("$1FFFFFFFF");
  EXPECT_EQ(b.LoadInteger("L", 0), -1);
}

TEST(PlainXml, BooleansByFirstLetterOtherwiseDefault) {
  TPlainXml doc("R");
  TXmlNode &r = *doc.Root();
  struct Case {
    const char *Text;
    bool Def;
    bool Expected;
  };
  const Case cases[] = {{"yes", false, true}, {"No", true, false}, {"t", false, true},
                        {"F", true, false},   {"1", true, true},   {"1", false, false},
                        {"", true, true}};
  for (const auto &c : cases) {
    r.FindOrAddChild("B")->SetValue(c.Text);
    EXPECT_EQ(r.LoadBool("B", c.Def), c.Expected) << c.Text;
  }
}

TEST(PlainXml, FloatsUseTheDocumentsDigitsAndCommas) {
  TPlainXml doc("R");
  TXmlNode &r = *doc.Root();
  const std::pair<double, const char *> cases[] = {
      {0.5, ".5"}, {1e10, "1.00000E10"}, {1234567, "1234570"}, {0.9999996, "1"}};
  for (const auto &[v, text] : cases) {
    r.StoreFloat("F", v, 0);
    EXPECT_EQ(r.FindChild("F")->Value(), text);
  }
  doc.FloatDigits = 3;
  doc.FloatExponent = false;
  r.StoreFloat("F", 1e10, 0);
  EXPECT_EQ(r.FindChild("F")->Value(), "10000000000");
  r.FindChild("F")->SetValue("1,5");
  EXPECT_EQ(r.LoadFloat("F", 9), 1.5);
  r.FindChild("F")->SetValue("1,5,7");
  EXPECT_EQ(r.LoadFloat("F", 9), 9);
  doc.FloatDigits = 12;
  EXPECT_THROW(r.StoreFloat("F", 2, 0), EXmlError);
}

TEST(PlainXml, Colours) {
  TPlainXml doc("R");
  TXmlNode &r = *doc.Root();
  r.StoreColor("Black", 0, 1);
  EXPECT_EQ(r.FindChild("Black")->Value(), "$00000000");
  r.StoreColor("Window", static_cast<TColor>(0xFF000005), 0); // a system colour
  EXPECT_EQ(r.FindChild("Window")->Value(), "$00FFFFFF");
  r.FindOrAddChild("Blue")->SetValue("$00FF0000");
  EXPECT_EQ(r.LoadColor("Blue", 0), 0x00FF0000);
  r.FindOrAddChild("Dec")->SetValue("255");
  EXPECT_EQ(r.LoadColor("Dec", 0), 255);
  EXPECT_EQ(r.LoadColor("Missing", 123), 123);
  r.FindOrAddChild("Bad")->SetValue("abc");
  try {
    r.LoadColor("Bad", 0);
    ADD_FAILURE();
  } catch (const EConvertError &e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
  r.StoreHex("H", 255, 4);
  r.StoreHex("H2", 0x12345, 2);
  EXPECT_EQ(r.FindChild("H")->Value(), "$00FF");
  EXPECT_EQ(r.FindChild("H2")->Value(), "$12345");
  EXPECT_EQ(r.LoadInteger("H2", 0), 0x12345);
}

TEST(PlainXml, FontPenAndBrush) {
  TPlainXml doc("R");
  TXmlNode &r = *doc.Root();
  r.StoreFont("Font", TXmlFont());
  r.StorePen("Pen", TXmlPen());
  r.StoreBrush("Brush", TXmlBrush());
  EXPECT_EQ(r.WriteToString(), "<R><Font/><Pen/><Brush/></R>");
  TXmlFont font{"Times New Roman", 0x0000FF, 9, true, false, true, false};
  TXmlPen pen{0x00FF00, 7, 2, 3};
  TXmlBrush brush{0, 1};
  r.StoreFont("Font", font);
  r.StorePen("Pen", pen);
  r.StoreBrush("Brush", brush);
  EXPECT_EQ(r.FindChild("Brush")->WriteToString(),
            "<Brush><Color>$00000000</Color><Style>1</Style></Brush>");
  EXPECT_EQ(r.LoadFont("Font"), font);
  EXPECT_EQ(r.LoadPen("Pen"), pen);
  EXPECT_EQ(r.LoadBrush("Brush"), brush);
  EXPECT_EQ(r.LoadFont("None"), TXmlFont());
  EXPECT_EQ(r.LoadBrush("None").Color, 0xFFFFFF);
  EXPECT_EQ(r.LoadPen("None").Mode, 4);
}

TEST(PlainXml, Layouts) {
  struct Case {
    int Layout;
    const char *Text;
  };
  const Case cases[] = {
      {xlReadable, "<R>\r\n  <A>1</A>\r\n  <B>\r\n    <C x=\"1\"/>\r\n  </B>\r\n</R>\r\n"},
      {xlCompact, "<R><A>1</A><B><C x=\"1\"/></B></R>\n"},
      {xlLineFeeds, "<R>\n<A>1</A>\n<B>\n<C x=\"1\"/>\n</B>\n</R>\n"},
  };
  for (const auto &c : cases) {
    TPlainXml doc("R");
    doc.Layout = c.Layout;
    doc.Root()->StoreInteger("A", 1, 0);
    doc.Root()->NewChild("B")->NewChild("C")->AddAttr("x", 1);
    std::string sep = c.Layout == xlReadable ? "\r\n" : "\n";
    EXPECT_EQ(doc.WriteToString(), Bom + Decl + sep + c.Text) << c.Layout;
    TPlainXml back;
    back.ReadFromString(doc.WriteToString());
    EXPECT_EQ(back.Root()->LoadInteger("A", 0), 1);
    ASSERT_NE(back.Root()->FindChild("B"), nullptr);
    EXPECT_EQ(back.Root()->FindChild("B")->ChildCount(), 1);
    EXPECT_EQ(back.Root()->FindChild("B")->Value(), "");
  }
}

TEST(PlainXml, ShortFormOnlyBelowTheRoot) {
  auto a = Parse("<r><a/></r>");
  auto b = Parse("<r><a></a></r>");
  EXPECT_EQ(a->WriteToString(), b->WriteToString());
  EXPECT_EQ(a->Root()->WriteToString(), "<r><a/></r>");
  auto empty = Parse("<r/>");
  EXPECT_EQ(empty->Root()->WriteToString(), "<r></r>");
  a->FullClosingTags = true;
  EXPECT_EQ(a->Root()->WriteToString(), "<r><a></a></r>");
}

TEST(PlainXml, CharacterDataRules) {
  auto doc = Parse("<a>  x  </a>");
  EXPECT_EQ(doc->Root()->Value(), "  x  ");
  doc = Parse("<a>\r\n  <b/>\r\n</a>");
  EXPECT_EQ(doc->Root()->Value(), "");
  EXPECT_EQ(doc->Root()->ChildCount(), 1);
  // A CR in mixed content marks readable layout: trailing breaks go.
  doc = Parse("<a>val\r\n  <b/>\r\n  tail \r\n</a>");
  EXPECT_EQ(doc->Root()->Value(), "val");
  ASSERT_EQ(doc->Root()->ChildCount(), 2);
  EXPECT_EQ(doc->Root()->Child(1)->ElementType(), xeCharData);
  EXPECT_EQ(doc->Root()->Child(1)->Value(), "\r\n  tail");
  // Without a CR the text stays as it is.
  doc = Parse("<a>x <b/> y </a>");
  EXPECT_EQ(doc->Root()->Value(), "x ");
  EXPECT_EQ(doc->Root()->Child(1)->Value(), " y ");
  EXPECT_EQ(doc->Root()->WriteToString(), "<a>x <b/> y </a>");
}

TEST(PlainXml, TagsAttributesAndCloseTags) {
  auto doc = Parse("<a title=\"x>y\" b = 'q' c= \"1\" d =\"2\">v</A>");
  TXmlNode &a = *doc->Root();
  EXPECT_EQ(a.Value(), "v");
  ASSERT_EQ(a.AttributeCount(), 4);
  EXPECT_EQ(a.AttrValue("title"), "x>y");
  EXPECT_EQ(a.Attribute(1), "b='q'");
  EXPECT_EQ(a.AttrValue("B"), "q");
  EXPECT_EQ(a.AttrValue("c"), "1");
  EXPECT_EQ(a.LoadAttrInteger("d", 0), 2);
  EXPECT_EQ(a.AttrValue("missing"), "");

  struct Case {
    std::string Body;
    const char *Message;
  };
  const Case cases[] = {
      {"<a></b>", "Incorrect close tag in element a"},
      {"<a>text", "Missing close tag in element a"},
      {"<a><", "Missing data after \"<\" in element a"},
      {"<a></a", "Missing \">\" in close tag of element a"},
      {"<r><></r>", "Missing element name"},
      {"<r><\"a b\"/></r>", "Illegal character in node name \"\"a b\"\""},
      {"<r><a//></r>", "Illegal character in node name \"a/\""},
      // A NUL would make the written file read as another encoding.
      {std::string("<r><a\0b/></r>", 13), "Illegal character in node name \"a?b\""},
      {"<r><a\x01></a\x01></r>", "Illegal character in node name \"a?\""},
      {"<r><a b//></r>", "Illegal character in attribute \"b/\""},
      // Written back, these would read as a declaration or an instruction.
      {"<\t!/>", "Illegal character in node name \"!\""},
      {"< ?a/>", "Illegal character in node name \"?a\""},
      {"<a x=\"1>", "Unexpected end of xml data in tag"},
      {"<r><!-- open", "Unexpected end of xml data in Comment"},
      {"", "No root element found in xml"},
      {"<!-- only -->", "No root element found in xml"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(ErrorOf(c.Body), c.Message) << c.Body;
}

TEST(PlainXml, NodeKindsReadAndWriteBack) {
  const std::string body = "<!DOCTYPE r SYSTEM \"r.dtd\" [<!ELEMENT r (#PCDATA)><!ENTITY e \"x y\">"
                           "<!-- c -->]>\n<?xml-stylesheet href=\"s.css\"?>\n"
                           "<r><!-- note --><![CDATA[<raw>]]><?pi data?><!weird></r>";
  auto doc = Parse(body);
  const TXmlNode &roots = doc->RootNodes();
  ASSERT_EQ(roots.ChildCount(), 4);
  const TXmlNode &dtd = *roots.Child(1);
  EXPECT_EQ(dtd.ElementType(), xeDoctype);
  EXPECT_EQ(dtd.Name(), "r");
  EXPECT_EQ(dtd.Value(), "SYSTEM \"r.dtd\"");
  ASSERT_EQ(dtd.ChildCount(), 3);
  EXPECT_EQ(dtd.Child(0)->ElementType(), xeElementDecl);
  EXPECT_EQ(dtd.Child(0)->Name(), "r");
  EXPECT_EQ(dtd.Child(0)->Value(), "(#PCDATA)");
  EXPECT_EQ(dtd.Child(1)->ElementType(), xeEntity);
  EXPECT_EQ(dtd.Child(1)->Value(), "\"x y\"");
  EXPECT_EQ(dtd.Child(2)->ElementType(), xeComment);
  const TXmlNode &css = *roots.Child(2);
  EXPECT_EQ(css.ElementType(), xeStylesheet);
  EXPECT_EQ(css.AttrValue("href"), "s.css");
  const TXmlNode &r = *doc->Root();
  ASSERT_EQ(r.ChildCount(), 4);
  const std::pair<uint8_t, const char *> kinds[] = {
      {xeComment, " note "}, {xeCData, "<raw>"}, {xeInstruction, "pi data"}, {xeSpecial, "weird"}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(r.Child(i)->ElementType(), kinds[i].first);
    EXPECT_EQ(r.Child(i)->Value(), kinds[i].second);
  }
  EXPECT_EQ(doc->WriteToString(),
            Bom + Decl + "\n<!DOCTYPE r SYSTEM \"r.dtd\" [<!ELEMENT r (#PCDATA)>" +
                "<!ENTITY e \"x y\"><!-- c -->]>\n<?xml-stylesheet href=\"s.css\"?>\n" +
                "<r><!-- note --><![CDATA[<raw>]]><?pi data?><!weird></r>\n");

  TPlainXml skip;
  skip.SkipComments = true;
  skip.ReadFromString("<r><!-- note --><a/></r>");
  EXPECT_EQ(skip.Root()->ChildCount(), 1);
}

TEST(PlainXml, StrictRootChecks) {
  struct Case {
    const char *Text;
    const char *Message;
  };
  const Case cases[] = {
      {"<a/><b/>", "More than one root element found in xml"},
      {"<?xml version=\"1.0\"?><?xml version=\"1.0\"?><a/>",
       "Xml declaration must be first element"},
      {"<!-- c --><?xml version=\"1.0\"?><a/>", "Xml declaration must be first element"},
      {"<!DOCTYPE a><!DOCTYPE a><a/>", "More than one doctype declaration found in root"},
      {"<a/><!DOCTYPE a>", "Doctype declaration found after root element"},
      {"<![CDATA[x]]><a/>", "No CDATA allowed in root"},
  };
  for (const auto &c : cases) {
    TPlainXml loose;
    EXPECT_NO_THROW(loose.ReadFromString(c.Text)) << c.Text;
    TPlainXml strict;
    strict.StrictRoot = true;
    try {
      strict.ReadFromString(c.Text);
      ADD_FAILURE() << c.Text;
    } catch (const EXmlError &e) {
      EXPECT_STREQ(e.what(), c.Message);
    }
  }
  TPlainXml noRoot;
  noRoot.StrictRoot = true;
  noRoot.RootNodes().DeleteChild(1);
  try {
    noRoot.WriteToString();
    ADD_FAILURE();
  } catch (const EXmlError &e) {
    EXPECT_STREQ(e.what(), "XML root element not defined.");
  }
}

TEST(PlainXml, BinaryValuesAndLineBreaks) {
  std::string bytes;
  for (int i = 0; i < 100; ++i)
    bytes.push_back(static_cast<char>(i * 7));
  TPlainXml doc("R");
  doc.Layout = xlReadable;
  TXmlNode *n = doc.Root()->NewChild("A")->NewChild("B")->NewChild("C");
  ASSERT_EQ(n->Level(), 3);
  n->WriteBinary(bytes.data(), 100);
  std::string coded = Base64Encode(bytes.data(), 100);
  ASSERT_EQ(coded.size(), 136u);
  const std::string sep = "\r\n      ";
  EXPECT_EQ(n->Value(), sep + coded.substr(0, 76) + sep + coded.substr(76) + sep);
  TPlainXml back;
  back.ReadFromString(doc.WriteToString());
  TXmlNode *m = back.Root()->FindChild("A")->FindChild("B")->FindChild("C");
  ASSERT_EQ(m->BinaryLength(), 100);
  std::string got(100, '\0');
  m->ReadBinary(got.data(), 100);
  EXPECT_EQ(got, bytes);
  EXPECT_THROW(m->ReadBinary(got.data(), 103), EXmlError);

  doc.Layout = xlCompact;
  doc.BinaryCoding = xbBinHex;
  n->WriteBinary("\x01\xFF", 2);
  EXPECT_EQ(n->Value(), "01FF");
  EXPECT_EQ(n->BinaryLength(), 2);
  // BinaryString is Base64 whatever the coding, and leaves the coding as it was.
  n->SetBinaryString("foo");
  EXPECT_EQ(n->Value(), "Zm9v");
  EXPECT_EQ(n->BinaryString(), "foo");
  EXPECT_EQ(doc.BinaryCoding, xbBinHex);
}

TEST(PlainXml, TreeOperations) {
  TPlainXml doc("R");
  TXmlNode &r = *doc.Root();
  EXPECT_EQ(r.Level(), 0);
  EXPECT_EQ(doc.RootNodes().Level(), -1);
  r.NewChild("a");
  r.NewChild("b");
  r.NewChild("A");
  EXPECT_EQ(r.NewChildAt(4, "x"), nullptr);
  EXPECT_EQ(r.NewChildAt(-1, "x"), nullptr);
  ASSERT_NE(r.NewChildAt(0, "first"), nullptr);
  EXPECT_EQ(r.Child(0)->Name(), "first");
  EXPECT_EQ(r.Child(9), nullptr);
  EXPECT_EQ(r.IndexOfChild("a"), 1);
  EXPECT_EQ(r.IndexOfChild("a", 2), 3);
  EXPECT_EQ(r.IndexOfChild("zz"), -1);
  TXmlNodeList list;
  r.FindChildren("A", list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1], r.Child(3));
  EXPECT_EQ(r.FindOrAddChild("B"), r.Child(2));

  auto detached = r.DetachChild(r.Child(2));
  ASSERT_NE(detached, nullptr);
  EXPECT_EQ(detached->Parent(), nullptr);
  EXPECT_EQ(r.ChildCount(), 3);
  EXPECT_EQ(r.DetachChild(detached.get()), nullptr);
  EXPECT_EQ(r.InsertChild(0, std::move(detached))->Name(), "b");
  EXPECT_EQ(r.AddChild(nullptr), -1);
  r.Child(1)->RemoveSelf();
  EXPECT_EQ(r.ChildCount(), 3);
  r.DeleteChild(7); // nothing happens
  EXPECT_EQ(r.ChildCount(), 3);

  // A node made alone joins the document it is added to.
  auto free = std::make_unique<TXmlNode>(nullptr, "free");
  free->NewChild("inner");
  r.AddChild(std::move(free));
  EXPECT_EQ(r.FindChild("free")->FindChild("inner")->Document(), &doc);

  TPlainXml copy;
  copy.RootNodes().Assign(doc);
  r.Child(0)->SetText("changed");
  EXPECT_EQ(copy.Root()->Child(0)->Value(), "");
  EXPECT_EQ(copy.Root()->ChildCount(), r.ChildCount());
  EXPECT_EQ(copy.Root()->Child(0)->Document(), &copy);
  r.Clear();
  EXPECT_TRUE(r.IsEmpty());
  EXPECT_TRUE(doc.IsEmpty());
  EXPECT_THROW(r.SetName("a b"), EXmlError);
  r.SetName("R");
  r.NewChild("x")->SetElementType(14);
  EXPECT_THROW(doc.WriteToString(), EXmlError);
}

TEST(PlainXml, AttributeOperations) {
  TPlainXml doc("R");
  TXmlNode &r = *doc.Root();
  r.AddAttr("t", "a\"b<");
  EXPECT_EQ(r.Attribute(0), "t=\"a&quot;b&lt;\"");
  EXPECT_EQ(r.AttrValue("T"), "a\"b<");
  r.StoreAttrInteger("n", 3, 0);
  r.StoreAttrInteger("n", 4, 0);
  r.StoreAttrInteger("z", 0, 0);
  EXPECT_EQ(r.AttributeCount(), 2);
  EXPECT_EQ(r.AttrIndex("z"), -1);
  EXPECT_EQ(r.LoadAttrInteger("n", 0), 4);
  r.StoreAttrFloat("f", 0.25, 0);
  r.StoreAttrBool("b", true, false);
  r.StoreAttrString("s", "x", "");
  EXPECT_EQ(r.LoadAttrFloat("f", 0), 0.25);
  EXPECT_TRUE(r.LoadAttrBool("b", false));
  EXPECT_EQ(r.LoadAttrString("s", "d"), "x");
  EXPECT_EQ(r.LoadAttrString("none", "d"), "d");
  r.AddAttr("q", "maybe");
  EXPECT_TRUE(r.LoadAttrBool("q", true));
  EXPECT_FALSE(r.LoadAttrBool("q", false));
  EXPECT_EQ(r.AttrName(1), "n");

  doc.SortedAttrs = true;
  TXmlNode *s = r.NewChild("S");
  s->AddAttr("b", "2");
  s->AddAttr("C", "3");
  s->AddAttr("a", "1");
  EXPECT_EQ(s->WriteToString(), "<S a=\"1\" b=\"2\" C=\"3\"/>");
}

TEST(PlainXml, EntitiesFollowTheTextMode) {
  auto doc = Parse("<r><a>&#233;</a><b>&#255;</b><c>&foo;</c></r>");
  EXPECT_EQ(doc->Root()->LoadString("a", ""), "\xC3\xA9");
  EXPECT_EQ(doc->Root()->LoadString("b", ""), "\xC3\xBF");
  EXPECT_EQ(doc->Root()->LoadString("c", ""), "&foo;");
  doc->Utf8Text = false;
  EXPECT_EQ(doc->Root()->LoadString("a", ""), "\xE9");
  EXPECT_EQ(doc->Root()->LoadString("b", ""), "&#255;");
}

TEST(PlainXml, DeepNestingFailsCleanly) {
  std::string deep;
  for (int i = 0; i < 20000; ++i)
    deep += "<a>";
  EXPECT_EQ(ErrorOf(deep), "Elements nested too deeply in xml");
  std::string fine;
  for (int i = 0; i < 500; ++i)
    fine += "<a>";
  for (int i = 0; i < 500; ++i)
    fine += "</a>";
  EXPECT_NO_THROW(Parse(fine));
}

TEST(PlainXml, EventsAndStopParsing) {
  TPlainXml doc;
  std::vector<std::string> started, done;
  std::vector<int64_t> positions;
  doc.OnNodeStarted = [&](TPlainXml &, TXmlNode &n) { started.push_back(n.Name()); };
  doc.OnNodeDone = [&](TPlainXml &d, TXmlNode &n) {
    done.push_back(n.Name());
    if (n.Name() == "stop")
      d.StopParsing = true;
  };
  doc.OnPosition = [&](TPlainXml &, int64_t p) { positions.push_back(p); };
  doc.ReadFromString("<r><a/><stop/><b/></r>");
  EXPECT_EQ(started, (std::vector<std::string>{"r", "a", "stop"}));
  EXPECT_EQ(done, (std::vector<std::string>{"a", "stop"}));
  ASSERT_GE(positions.size(), 3u);
  EXPECT_EQ(positions.front(), 0);
}

TEST(PlainXml, FilesRoundTripAndAFailedSaveKeepsTheOldFile) {
  testsupport::TempDir dir;
  auto file = dir / "page.xml";
  TPlainXml doc("Page");
  doc.Root()->StoreString("Name", "caf\xC3\xA9", "");
  doc.SaveToFile(file);
  TPlainXml back;
  back.LoadFromFile(file);
  EXPECT_EQ(back.Root()->Name(), "Page");
  EXPECT_EQ(back.Root()->LoadString("Name", ""), "caf\xC3\xA9");

  back.Root()->NewChild("bad")->SetElementType(99);
  EXPECT_THROW(back.SaveToFile(file), EXmlError);
  EXPECT_EQ(testsupport::ReadFileBytes(file), doc.WriteToString());
  EXPECT_THROW(back.LoadFromFile(dir / "missing.xml"), EStreamError);
}

TEST(PlainXml, NodeTextRoundTrip) {
  TXmlNode free;
  free.ReadFromString("<a x=\"1\"><b>2</b></a>");
  EXPECT_EQ(free.Name(), "a");
  EXPECT_EQ(free.LoadInteger("b", 0), 2);
  EXPECT_EQ(free.WriteToString(), "<a x=\"1\"><b>2</b></a>");
  // A node without a document stores defaults and codes binaries as BinHex.
  free.StoreInteger("c", 0, 0);
  EXPECT_NE(free.FindChild("c"), nullptr);
  free.FindChild("c")->WriteBinary("\xAB", 1);
  EXPECT_EQ(free.FindChild("c")->Value(), "AB");
}

} // namespace
