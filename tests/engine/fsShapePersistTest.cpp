#include "engine/fsShape.h"

#include "base/fsStream.h"
#include "engine/FakeShapeDocument.h"
#include "persist/fsPlainXml.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

using enginetest::FakeShapeDocument;

namespace {

// A shape that uses archive entries.
class TResourceShape : public TfsShape {
public:
  std::string ClassName() const override { return "TResourceShape"; }
  void GetResourceNames(std::vector<std::string> &names) const override {
    names.insert(names.end(), Names.begin(), Names.end());
    TfsShape::GetResourceNames(names);
  }
  std::vector<std::string> Names;
};

// A shape whose saved form cannot be read back.
class TFailingShape : public TfsShape {
public:
  std::string ClassName() const override { return "TFailingShape"; }
  void LoadFromXml(const TXmlNode *) override { throw EfsError("bad child"); }
};

// An internal part a parent makes itself; not registered.
class TPartShape : public TfsShape {
public:
  TPartShape() { SetIsInternal(true); }
  std::string ClassName() const override { return "TPartShape"; }
};

void RegisterTestClasses() {
  RegisterShapeClass<TResourceShape>();
  RegisterShapeClass<TFailingShape>();
}

TfsShape &AddNamed(TfsShape &parent, const std::string &name,
                   std::unique_ptr<TfsShape> shape = std::make_unique<TfsShape>()) {
  shape->SetName(name);
  TfsShape &ref = *shape;
  parent.AddShape(std::move(shape));
  return ref;
}

std::string ChildNames(const TfsShape &s) {
  std::string out;
  for (int i = 0; i < s.ShapeCount(); ++i)
    out += (i ? "," : "") + s.GetShape(i)->Name();
  return out;
}

std::vector<std::string> ElementNames(const TXmlNode &node) {
  std::vector<std::string> out;
  for (int i = 0; i < node.ChildCount(); ++i)
    out.push_back(node.Child(i)->Name());
  return out;
}

std::string Text(const TXmlNode &node, const char *key) {
  const TXmlNode *n = node.FindChild(key);
  return n ? n->Text() : "<none>";
}

// A shape with every persisted value away from its default.
void MakeUnusual(TfsShape &s) {
  s.SetAllowResize(false);
  s.SetAllowMove(false);
  s.SetAllowRotate(false);
  s.SetAllowSelect(false);
  s.SetAllowDelete(false);
  s.SetAllowEdit(false);
  s.SetAnchors(akPosXProp | akBottomLock);
  s.SetCurb(1, 2, 3, 4);
  s.Constraints() = {5, 6, 70, 80};
  // Flipped and mirrored before the turn, which they would mirror.
  s.SetFlipped(true);
  s.SetMirrored(true);
  s.SetGrouped(true);
  s.SetGeometry(10.5f, 20.25f, 30, 40, 12.5f);
  s.SetName("n");
  s.SetPreserveAspect(true);
  s.SetAspectRatio(2.5f);
  s.SetTag(7);
  s.SetVisible(false);
  s.SetMasterAlpha(128);
  AddNamed(s, "kid");
}

// ---- XML -------------------------------------------------------------------------

TEST(ShapeXml, KeysAreWrittenInFileOrder) {
  TfsShape s;
  MakeUnusual(s);
  TPlainXml xml("shape");
  s.SaveToXml(*xml.Root());
  const std::vector<std::string> expected{"ClassName",
                                          "AllowResize",
                                          "AllowMove",
                                          "AllowRotate",
                                          "AllowSelect",
                                          "AllowDelete",
                                          "AllowEdit",
                                          "Anchors",
                                          "AspectRatio",
                                          "CurbLeft",
                                          "CurbTop",
                                          "CurbRight",
                                          "CurbBottom",
                                          "ConstraintMinHeight",
                                          "ConstraintMinWidth",
                                          "ConstraintMaxHeight",
                                          "ConstraintMaxWidth",
                                          "DocAngle",
                                          "DocLeft",
                                          "DocTop",
                                          "DocHeight",
                                          "DocWidth",
                                          "Flipped",
                                          "Grouped",
                                          "Mirrored",
                                          "Name",
                                          "PreserveAspect",
                                          "Tag",
                                          "Visible",
                                          "MasterAlpha",
                                          "Shape"};
  EXPECT_EQ(ElementNames(*xml.Root()), expected);
  const TXmlNode &root = *xml.Root();
  EXPECT_EQ(Text(root, "ClassName"), "TfsShape");
  EXPECT_EQ(Text(root, "AllowEdit"), "False");
  EXPECT_EQ(Text(root, "MasterAlpha"), "$80");
  EXPECT_EQ(Text(root, "Tag"), "7");
  EXPECT_EQ(Text(root, "DocLeft"), "10.5");
  EXPECT_EQ(ElementNames(*root.FindChild("Anchors")),
            (std::vector<std::string>{"PosXProp", "BottomLock"}));
}

TEST(ShapeXml, ADefaultShapeWritesItsClassAndItsAnchors) {
  TfsShape s;
  TPlainXml xml("shape");
  s.SaveToXml(*xml.Root());
  EXPECT_EQ(ElementNames(*xml.Root()), (std::vector<std::string>{"ClassName", "Anchors"}));
  const TXmlNode &anchors = *xml.Root()->FindChild("Anchors");
  EXPECT_EQ(ElementNames(anchors), (std::vector<std::string>{"default", "LeftLock", "TopLock"}));
  EXPECT_EQ(Text(anchors, "default"), "True");
}

TEST(ShapeXml, WritingAgainIntoTheSameNodeLeavesNothingStale) {
  TfsShape s;
  s.SetMasterAlpha(128);
  s.SetTag(3);
  AddNamed(s, "a");
  AddNamed(s, "b");
  TPlainXml xml("shape");
  TXmlNode &root = *xml.Root();
  s.SaveToXml(root);
  s.SetMasterAlpha(255);
  s.SetTag(0);
  s.DeleteShape(1);
  s.SaveToXml(root);
  EXPECT_EQ(root.FindChild("MasterAlpha"), nullptr);
  EXPECT_EQ(root.FindChild("Tag"), nullptr);
  TXmlNodeList shapes;
  root.FindChildren("Shape", shapes);
  ASSERT_EQ(shapes.size(), 1u);
  EXPECT_EQ(Text(*shapes[0], "Name"), "a");
}

TEST(ShapeXml, ChildrenAreNumberedAndReadBackIntoInternalParts) {
  TfsShape source;
  AddNamed(source, "first");
  AddNamed(source, "second");
  TPlainXml xml("shape");
  source.SaveToXml(*xml.Root());
  TXmlNodeList shapes;
  xml.Root()->FindChildren("Shape", shapes);
  ASSERT_EQ(shapes.size(), 2u);
  EXPECT_EQ(shapes[0]->AttrValue("Index"), "1");
  EXPECT_EQ(shapes[1]->AttrValue("Index"), "2");

  TfsShape target;
  TfsShape &part = AddNamed(target, "part", std::make_unique<TPartShape>());
  AddNamed(target, "dropped");
  target.LoadFromXml(xml.Root());
  ASSERT_EQ(target.ShapeCount(), 2);
  EXPECT_EQ(target.GetShape(0), &part) << "the internal part takes the first element";
  EXPECT_EQ(part.ClassName(), "TPartShape");
  EXPECT_EQ(ChildNames(target), "first,second");
}

TEST(ShapeXml, RoundTripKeepsEveryValue) {
  TfsShape source;
  MakeUnusual(source);
  TPlainXml xml("shape");
  source.SaveToXml(*xml.Root());
  TfsShape s;
  s.LoadFromXml(xml.Root());
  EXPECT_FALSE(s.AllowResize());
  EXPECT_FALSE(s.AllowMove());
  EXPECT_FALSE(s.AllowRotate());
  EXPECT_FALSE(s.AllowSelect());
  EXPECT_FALSE(s.AllowDelete());
  EXPECT_FALSE(s.AllowEdit());
  EXPECT_EQ(s.Anchors(), akPosXProp | akBottomLock);
  EXPECT_EQ(s.AspectRatio(), 2.5f);
  EXPECT_EQ(s.CurbLeft(), 1);
  EXPECT_EQ(s.CurbBottom(), 4);
  EXPECT_EQ(s.Constraints().MinHeight, 5);
  EXPECT_EQ(s.Constraints().MaxWidth, 80);
  EXPECT_EQ(s.DocAngle(), source.DocAngle());
  EXPECT_EQ(s.DocLeft(), source.DocLeft());
  EXPECT_EQ(s.DocTop(), source.DocTop());
  EXPECT_EQ(s.DocWidth(), 30);
  EXPECT_EQ(s.DocHeight(), 40);
  EXPECT_TRUE(s.Flipped());
  EXPECT_TRUE(s.Grouped());
  EXPECT_TRUE(s.Mirrored());
  EXPECT_EQ(s.Name(), "n");
  EXPECT_TRUE(s.PreserveAspect());
  EXPECT_EQ(s.Tag(), 7);
  EXPECT_FALSE(s.Visible());
  EXPECT_EQ(s.MasterAlpha(), 128);
  EXPECT_EQ(ChildNames(s), "kid");
  // Extents follow the loaded curbs and flags.
  EXPECT_EQ(s.ExtentLeft(), 3);
  EXPECT_EQ(s.ExtentTop(), 4);
}

TEST(ShapeXml, MissingKeysReadAsDefaultsButMissingAnchorsStay) {
  TPlainXml xml("shape");
  xml.Root()->StoreString("ClassName", "TfsShape", "");
  TfsShape s;
  s.SetTag(5);
  s.SetVisible(false);
  s.SetAnchors(akLeftLock);
  s.SetGeometry(1, 2, 3, 4, 5);
  s.LoadFromXml(xml.Root());
  EXPECT_EQ(s.Tag(), 0);
  EXPECT_TRUE(s.Visible());
  EXPECT_EQ(s.DocWidth(), 0);
  EXPECT_EQ(s.DocAngle(), 0);
  EXPECT_EQ(s.Anchors(), akLeftLock);
}

TEST(ShapeXml, AFilesAngleIsNotNormalised) {
  TPlainXml xml("shape");
  xml.Root()->StoreFloat("DocAngle", 400.0f, 0.0f);
  TfsShape s;
  s.LoadFromXml(xml.Root());
  EXPECT_EQ(s.DocAngle(), 400);
  const double a = 40 * std::numbers::pi / 180;
  const TFloatPoint p = s.LocalToParent({1, 0});
  EXPECT_NEAR(p.X, std::cos(a), 1e-6);
  EXPECT_NEAR(p.Y, -std::sin(a), 1e-6);
  s.SetDocAngle(400);
  EXPECT_EQ(s.DocAngle(), 400) << "equal to what is held: no change";
  s.SetDocAngle(401);
  EXPECT_FLOAT_EQ(s.DocAngle(), 41);
}

TEST(ShapeXml, NoNodeIsAnError) {
  TfsShape s;
  try {
    s.LoadFromXml(nullptr);
    FAIL() << "no node must raise";
  } catch (const EfsError &e) {
    EXPECT_STREQ(e.what(), "XML Node is not assigned");
  }
  EXPECT_THROW(TfsShape::CreateFromXml(nullptr), EfsError);
}

TEST(ShapeXml, AnUnknownClassLoadsAsAPlainShapeWithItsChildren) {
  TfsShape source;
  TfsShape &odd = AddNamed(source, "odd");
  AddNamed(odd, "x");
  AddNamed(odd, "y");
  TPlainXml xml("shape");
  source.SaveToXml(*xml.Root());
  TXmlNode *element = xml.Root()->FindChild("Shape");
  element->FindChild("ClassName")->SetText("TfsMysteryShape");

  TfsShape s;
  s.LoadFromXml(xml.Root());
  ASSERT_EQ(s.ShapeCount(), 1);
  EXPECT_EQ(s.GetShape(0)->ClassName(), "TfsShape");
  EXPECT_EQ(ChildNames(*s.GetShape(0)), "x,y");
  // And it is saved back as what it now is.
  std::unique_ptr<TfsShape> made = TfsShape::CreateFromXml(element);
  EXPECT_EQ(made->ClassName(), "TfsShape");
  EXPECT_EQ(made->Name(), "odd");
}

TEST(ShapeXml, AFailingChildIsReportedDroppedAndLoadingGoesOn) {
  RegisterTestClasses();
  TfsShape source;
  AddNamed(source, "a");
  AddNamed(source, "b", std::make_unique<TFailingShape>());
  AddNamed(source, "c");
  TPlainXml xml("shape");
  source.SaveToXml(*xml.Root());

  FakeShapeDocument doc;
  TfsShape s;
  s.SetDocument(&doc);
  doc.Forget();
  s.LoadFromXml(xml.Root());
  EXPECT_EQ(ChildNames(s), "a,c");
  ASSERT_EQ(doc.LoadErrors.size(), 1u);
  EXPECT_EQ(doc.LoadErrors[0].Shape, &s);
  EXPECT_EQ(doc.LoadErrors[0].Message, "bad child");
  EXPECT_TRUE(doc.Commands.empty()) << "reading a saved tree is not recorded for undo";
}

TEST(ShapeXml, TheDocumentHearsOfEveryShapeFiled) {
  FakeShapeDocument doc;
  TfsShape s;
  s.SetDocument(&doc);
  AddNamed(s, "kid");
  doc.Forget();
  TPlainXml xml("shape");
  s.SaveToXml(*xml.Root());
  ASSERT_EQ(doc.Filings.size(), 2u);
  EXPECT_EQ(doc.Filings[1].Shape, &s) << "after its children";
  EXPECT_EQ(doc.Filings[1].Node, xml.Root());
  EXPECT_TRUE(doc.Filings[1].Saving);
  doc.Forget();
  s.LoadFromXml(xml.Root());
  ASSERT_FALSE(doc.Filings.empty());
  EXPECT_EQ(doc.Filings.back().Shape, &s);
  EXPECT_FALSE(doc.Filings.back().Saving);
}

// ---- binary snapshots --------------------------------------------------------------------

int32_t ReadLE(TStream &s) {
  unsigned char b[4];
  s.ReadBuffer(b, 4);
  return static_cast<int32_t>(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24);
}

std::string ReadCountedBytes(TStream &s) {
  const int32_t n = ReadLE(s);
  std::string out(static_cast<size_t>(n), '\0');
  s.ReadBuffer(out.data(), n);
  return out;
}

TEST(ShapeBlob, WithoutAnArchiveTheResourceCountIsZero) {
  FakeShapeDocument noArchive(false);
  struct TCase {
    const char *Name;
    TfsShapeDocument *Doc;
  } cases[] = {{"no document", nullptr}, {"a document without archive", &noArchive}};
  for (const TCase &c : cases) {
    TResourceShape s;
    s.Names = {"TMP0000001.hck"};
    s.SetDocument(c.Doc);
    const std::string blob = s.SaveToBlob();
    TReadOnlyMemoryStream in(blob);
    EXPECT_EQ(ReadLE(in), 0) << c.Name;
    TPlainXml xml;
    xml.ReadFromString(ReadCountedBytes(in));
    ASSERT_NE(xml.Root(), nullptr) << c.Name;
    EXPECT_EQ(xml.Root()->Name(), "shape");
    EXPECT_EQ(xml.Root()->LoadString("ClassName", ""), "TResourceShape");
    EXPECT_EQ(in.Position(), in.Size()) << c.Name;
  }
}

TEST(ShapeBlob, CarriesTheArchiveEntriesItUses) {
  FakeShapeDocument doc;
  doc.PutEntry("TMP0000001.hck", "abc");
  doc.PutEntry("C:/pictures/cat.png", "defg");
  TResourceShape s;
  s.SetDocument(&doc);
  s.Names = {"TMP0000001.hck", "C:/pictures/cat.png", "missing.png"};
  s.SetName("with pictures");
  const std::string blob = s.SaveToBlob();

  TReadOnlyMemoryStream in(blob);
  ASSERT_EQ(ReadLE(in), 3);
  EXPECT_EQ(ReadCountedBytes(in), "TMP0000001.hck");
  EXPECT_EQ(ReadCountedBytes(in), "abc");
  EXPECT_EQ(ReadCountedBytes(in), "C:/pictures/cat.png");
  EXPECT_EQ(ReadCountedBytes(in), "defg");
  EXPECT_EQ(ReadCountedBytes(in), "missing.png");
  EXPECT_EQ(ReadCountedBytes(in), "");
  ReadCountedBytes(in); // the XML
  EXPECT_EQ(in.Position(), in.Size());

  FakeShapeDocument other;
  TfsShape copy;
  copy.SetDocument(&other);
  copy.LoadFromBlob(blob);
  EXPECT_EQ(copy.Name(), "with pictures");
  EXPECT_EQ(other.Entry("TMP0000001.hck"), "abc");
  EXPECT_EQ(other.Entry("C:/pictures/cat.png"), "defg");
  EXPECT_FALSE(other.Archive->StreamExists("missing.png")) << "empty entries are not written";

  TfsShape untouched;
  untouched.SetName("kept");
  untouched.LoadFromBlob("");
  EXPECT_EQ(untouched.Name(), "kept");
}

TEST(ShapeBlob, DamagedSnapshotsRaiseTheProgramsErrors) {
  TfsShape s;
  AddNamed(s, "kid");
  const std::string blob = s.SaveToBlob();
  for (size_t n = 1; n < blob.size(); ++n) {
    TfsShape target;
    EXPECT_THROW(target.LoadFromBlob(blob.substr(0, n)), EfsError) << n << " bytes";
  }
  const std::string negative("\xFF\xFF\xFF\xFF", 4);
  TfsShape target;
  EXPECT_THROW(target.LoadFromBlob(negative), EfsError);
  std::string huge = std::string("\x01\x00\x00\x00", 4) + std::string("\xF0\xFF\xFF\x7F", 4);
  EXPECT_THROW(target.LoadFromBlob(huge), EfsError);
  std::string noXml = std::string(4, '\0') + std::string("\x03\x00\x00\x00", 4) + "abc";
  EXPECT_THROW(target.LoadFromBlob(noXml), EfsError);
}

TEST(ShapeAssign, CopiesTheShapeAndItsEvents) {
  TfsShape source;
  source.SetGeometry(1, 2, 3, 4, 0);
  TfsShape &sourceKid = AddNamed(source, "kid");
  int sourceChanges = 0, kidChanges = 0;
  source.OnChange = [&](TfsShape &) { ++sourceChanges; };
  sourceKid.OnChange = [&](TfsShape &) { ++kidChanges; };

  TfsShape target;
  AddNamed(target, "old");
  target.Assign(source);
  EXPECT_EQ(target.DocHeight(), 4);
  EXPECT_EQ(ChildNames(target), "kid");
  target.SetName("changed");
  EXPECT_EQ(sourceChanges, 1) << "the handler came along";
  target.GetShape(0)->SetName("changed");
  EXPECT_EQ(kidChanges, 1) << "children of the same class take their handlers";

  source.Assign(source);
  EXPECT_EQ(ChildNames(source), "kid") << "assigning a shape to itself keeps it";
}

// ---- undo ---------------------------------------------------------------------------------

// A root in a document recording undo, with children "a", "b", "c".
struct TUndoTree {
  FakeShapeDocument Doc;
  TfsShape Root;
  TUndoTree() {
    Root.SetDocument(&Doc);
    for (const char *name : {"a", "b", "c"})
      AddNamed(Root, name);
    Doc.Forget();
  }
};

TEST(ShapeUndo, APropertyCommandSetsTheOldValueBack) {
  TUndoTree t;
  TfsShape &b = *t.Root.GetShape(1);
  b.SetDocLeft(5.25f);
  ASSERT_EQ(t.Doc.Commands.size(), 1u);
  const std::unique_ptr<TfsCommand> command = std::move(t.Doc.Commands[0]);
  t.Doc.Forget();
  EXPECT_TRUE(t.Root.ExecuteCommand(*command)) << "found below the root";
  EXPECT_EQ(b.DocLeft(), 0);
  ASSERT_EQ(t.Doc.CommandNames(), std::vector<std::string>{"DocLeft"}) << "the way back";
  EXPECT_EQ(t.Doc.Commands[0]->Value, "5.25");

  TfsCommand nobody(ckProperty, 999, "DocLeft", "1");
  EXPECT_FALSE(t.Root.ExecuteCommand(nobody));
}

TEST(ShapeUndo, AnInsertionCommandDeletesTheChild) {
  TUndoTree t;
  AddNamed(t.Root, "d");
  ASSERT_EQ(t.Doc.Commands.size(), 1u);
  EXPECT_EQ(t.Doc.Commands[0]->Kind, ckChildInserted);
  EXPECT_EQ(t.Doc.Commands[0]->Value, "3");
  EXPECT_TRUE(t.Root.ExecuteCommand(*t.Doc.Commands[0]));
  EXPECT_EQ(ChildNames(t.Root), "a,b,c");
}

TEST(ShapeUndo, ARemovalCommandRecreatesTheShapeWithItsIDAndChildren) {
  RegisterTestClasses();
  TUndoTree t;
  t.Doc.PutEntry("TMP0000001.hck", "abc");
  t.Doc.PutEntry("C:/pictures/cat.png", "defg");
  auto owned = std::make_unique<TResourceShape>();
  TResourceShape &pictures = *owned;
  pictures.Names = {"TMP0000001.hck", "C:/pictures/cat.png"};
  t.Root.InsertShape(1, std::move(owned));
  pictures.SetName("pictures");
  AddNamed(pictures, "g1");
  AddNamed(pictures, "g2");
  const int32_t id = pictures.ID();
  t.Doc.Forget();

  t.Root.DeleteShape(1);
  ASSERT_EQ(t.Doc.Commands.size(), 1u);
  const std::unique_ptr<TfsCommand> command = std::move(t.Doc.Commands[0]);
  EXPECT_EQ(command->Kind, ckChildRemoved);
  EXPECT_EQ(command->ShapeID, t.Root.ID());
  EXPECT_EQ(command->PropName, "ClassName");
  EXPECT_EQ(command->Value, "TResourceShape");
  ASSERT_NE(command->Stream(), nullptr);
  EXPECT_EQ(command->Stream()->Position(), 0);
  EXPECT_FALSE(t.Doc.Archive->StreamExists("TMP0000001.hck")) << "the snapshot holds it";
  EXPECT_TRUE(t.Doc.Archive->StreamExists("C:/pictures/cat.png")) << "named after a file";
  EXPECT_EQ(ChildNames(t.Root), "a,b,c");

  t.Doc.Forget();
  EXPECT_TRUE(t.Root.ExecuteCommand(*command));
  EXPECT_EQ(ChildNames(t.Root), "a,pictures,b,c");
  TfsShape &back = *t.Root.GetShape(1);
  EXPECT_EQ(back.ClassName(), "TResourceShape");
  EXPECT_EQ(back.ID(), id);
  EXPECT_EQ(ChildNames(back), "g1,g2");
  EXPECT_EQ(back.Document(), &t.Doc);
  EXPECT_EQ(t.Doc.Entry("TMP0000001.hck"), "abc");
  // Only the way back is filed: the re-read children are no user action.
  ASSERT_EQ(t.Doc.Commands.size(), 1u);
  EXPECT_EQ(t.Doc.Commands[0]->Kind, ckChildInserted);
  EXPECT_EQ(t.Doc.Commands[0]->ShapeID, t.Root.ID());
  EXPECT_EQ(t.Doc.Commands[0]->Value, "1");
}

TEST(ShapeUndo, ExtractingRecordsTheRemovalToo) {
  TUndoTree t;
  std::unique_ptr<TfsShape> out = t.Root.ExtractShape(t.Root.GetShape(2));
  ASSERT_EQ(t.Doc.Commands.size(), 1u);
  EXPECT_EQ(t.Doc.Commands[0]->Kind, ckChildRemoved);
  t.Doc.Forget();
  t.Root.RecordRemoval(ckChildRemoved, nullptr);
  t.Root.RecordRemoval(ckProperty, t.Root.GetShape(0));
  EXPECT_TRUE(t.Doc.Commands.empty()) << "only kind 2, only for a child";
}

TEST(ShapeUndo, SetPropertyByNameTakesTheBaseKeysInAnyCase) {
  TfsShape s;
  s.SetPropertyByName("docleft", "12.5");
  s.SetPropertyByName("DOCTOP", "1,5");
  s.SetPropertyByName("DocWidth", "30");
  s.SetPropertyByName("DocHeight", "20");
  s.SetPropertyByName("docangle", "-90");
  s.SetPropertyByName("MasterAlpha", "128");
  s.SetPropertyByName("Name", "ignored");
  s.SetPropertyByName("NoSuchKey", "1");
  EXPECT_EQ(s.DocLeft(), 12.5f);
  EXPECT_EQ(s.DocTop(), 1.5f);
  EXPECT_EQ(s.DocWidth(), 30);
  EXPECT_EQ(s.DocHeight(), 20);
  EXPECT_EQ(s.DocAngle(), 270);
  EXPECT_EQ(s.MasterAlpha(), 128);
  EXPECT_EQ(s.Name(), "");
  EXPECT_THROW(s.SetPropertyByName("DocWidth", "wide"), EConvertError);
}

TEST(ShapeUndoText, FloatsComeBackExactly) {
  const float values[] = {0,           -0.0f,      0.1f,    12.3f,         1e-7f,
                          123456.789f, 359.99997f, -270.5f, 3.4028235e38f, 1.17549435e-38f};
  for (float v : values) {
    const std::string text = TfsShape::FloatToText(v);
    EXPECT_EQ(TfsShape::TextToFloat(text), v) << text;
    EXPECT_EQ(text.find(','), std::string::npos) << "C locale separator";
  }
  EXPECT_EQ(TfsShape::FloatToText(12.3f), "12.3000001907349");
  EXPECT_EQ(TfsShape::TextToFloat("12,5"), 12.5f);
  EXPECT_EQ(TfsShape::TextToFloat(" +2 "), 2.0f);
  for (const char *bad : {"", "abc", "nan", "inf", "1e39", "1.5x", "--1"}) {
    try {
      TfsShape::TextToFloat(bad);
      ADD_FAILURE() << "accepted \"" << bad << "\"";
    } catch (const EConvertError &e) {
      EXPECT_EQ(std::string(e.what()),
                "'" + std::string(bad) + "' is not a valid floating point value");
    }
  }
}

TEST(ShapeUndoText, BooleansAndFontStyles) {
  struct TCase {
    const char *Text;
    bool Value;
  } booleans[] = {{"True", true}, {"yes", true}, {"t", true}, {"False", false},
                  {"no", false},  {"", false},   {"1", false}};
  for (const TCase &c : booleans)
    EXPECT_EQ(TfsShape::TextToBool(c.Text), c.Value) << c.Text;
  EXPECT_EQ(TfsShape::FontStyleToText(fsBold | fsUnderline | fsStrikeOut), "BUS");
  EXPECT_EQ(TfsShape::FontStyleToText(0), "");
  for (int styles = 0; styles < 16; ++styles)
    EXPECT_EQ(TfsShape::TextToFontStyle(TfsShape::FontStyleToText(TfsFontStyles(styles))), styles);
}

TEST(ShapeUndoText, RecordedTextsOfTheTypedForms) {
  FakeShapeDocument doc;
  TfsShape s;
  s.SetDocument(&doc);
  s.RecordBoolean(ckProperty, "Flag", true);
  s.RecordInteger(ckProperty, "Count", -3);
  s.RecordFontStyle(ckProperty, "Style", fsItalic);
  ASSERT_EQ(doc.Commands.size(), 3u);
  EXPECT_EQ(doc.Commands[0]->Value, "True");
  EXPECT_EQ(doc.Commands[1]->Value, "-3");
  EXPECT_EQ(doc.Commands[2]->Value, "I");
  doc.Recording = false;
  s.RecordInteger(ckProperty, "Count", 1);
  EXPECT_EQ(doc.Commands.size(), 3u);
}

} // namespace
