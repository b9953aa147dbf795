#include "persist/fsPlainXml.h"

#include "base/fsConvert.h"
#include "persist/fsXmlInternal.h"
#include "persist/fsXmlParser.h"
#include "persist/fsXmlWriter.h"

#include <memory>

// The document: its settings and defaults, and the reading and writing of
// whole files. The node, the reader and the writer have their own files.

// --- settings ---

TXmlSettings TXmlSettings::LibraryDefaults() {
  TXmlSettings s;
  s.DeclaredEncoding = "windows-1252";
  s.FileEncoding = seAnsi;
  s.StoreDefaults = true;
  s.Utf8Text = true;
  return s;
}

TXmlSettings TXmlSettings::EngineDefaults() {
  return TXmlSettings();
}

const TXmlSettings &TXmlSettings::FreeNode() {
  static const TXmlSettings s = [] {
    TXmlSettings f;
    f.StoreDefaults = true;
    f.BinaryCoding = xbBinHex;
    f.Layout = xlNone;
    f.Utf8Text = false;
    f.FloatExponent = true;
    f.FloatDigits = 6;
    return f;
  }();
  return s;
}

TXmlSettings &XmlDefaults() {
  static TXmlSettings defaults = TXmlSettings::EngineDefaults();
  return defaults;
}

// --- TPlainXml ---

namespace {

// Reads root-level nodes until the input ends or a handler stops, dropping
// empty ones. Tells whether a declaration named UTF-8.
bool ReadRootNodes(TPlainXml &document, TXmlParser &parser, TnvCodecStream &codec) {
  TXmlNode &roots = document.RootNodes();
  bool declaredUtf8 = false;
  while (!document.StopParsing && !parser.AtEnd()) {
    auto child = std::make_unique<TXmlNode>(&document);
    TXmlNode &node = *child;
    roots.AddChild(std::move(child));
    parser.ReadNode(node, 0);
    if (node.ElementType() == xeDeclaration && SameText(node.AttrValue("encoding"), "UTF-8")) {
      declaredUtf8 = true;
      // Only 8-bit input can be UTF-8 in disguise; a 16-bit file that says
      // UTF-8 is still 16-bit.
      if (codec.Encoding() == seAnsi)
        codec.SetEncoding(seUTF8);
    }
    if (node.IsEmpty())
      roots.DeleteChild(roots.ChildCount() - 1);
  }
  return declaredUtf8;
}

// A document needs a root element; the strict rules also want one of each
// kind at most, in their order, and no CDATA at the top.
void CheckRootNodes(const TXmlNode &roots, bool strictRoot) {
  int elements = 0, declarations = 0, doctypes = 0;
  for (int i = 0; i < roots.ChildCount(); ++i) {
    const TXmlNode &n = *roots.Child(i);
    switch (n.ElementType()) {
    case xeElement:
      ++elements;
      break;
    case xeDeclaration:
      ++declarations;
      if (strictRoot && i != 0)
        throw EXmlError("Xml declaration must be first element");
      break;
    case xeDoctype:
      ++doctypes;
      if (strictRoot && elements > 0)
        throw EXmlError("Doctype declaration found after root element");
      break;
    case xeCData:
      if (strictRoot)
        throw EXmlError("No CDATA allowed in root");
      break;
    default:
      break;
    }
  }
  if (elements == 0)
    throw EXmlError("No root element found in xml");
  if (strictRoot) {
    if (elements > 1)
      throw EXmlError("More than one root element found in xml");
    if (declarations > 1)
      throw EXmlError("More than one xml declaration found in xml");
    if (doctypes > 1)
      throw EXmlError("More than one doctype declaration found in root");
  }
}

} // namespace

TPlainXml::TPlainXml() : FRootNodes(std::make_unique<TXmlNode>(this)) {
  Clear();
}

TPlainXml::TPlainXml(std::string_view rootName) : TPlainXml() {
  Root()->SetName(rootName);
}

TPlainXml::~TPlainXml() = default;

TXmlNode *TPlainXml::Root() const {
  return FRootNodes->FirstChildOfType(xeElement);
}

void TPlainXml::Clear() {
  static_cast<TXmlSettings &>(*this) = XmlDefaults();
  FRootNodes->ClearChildren();
  auto decl = std::make_unique<TXmlNode>(this);
  decl->FElementType = xeDeclaration;
  decl->FName = "xml";
  decl->AddAttr("version", "1.0");
  decl->AddAttr("encoding", DeclaredEncoding);
  FRootNodes->AddChild(std::move(decl));
  FRootNodes->AddChild(std::make_unique<TXmlNode>(this));
}

void TPlainXml::Assign(const TPlainXml &source) {
  if (&source == this)
    return;
  static_cast<TXmlSettings &>(*this) = source;
  FRootNodes->Assign(*source.FRootNodes);
}

bool TPlainXml::IsEmpty() const {
  TXmlNode *root = Root();
  return !root || root->IsEmpty();
}

std::string TPlainXml::DeclaredEncodingOfFile() const {
  TXmlNode *first = FRootNodes->Child(0);
  if (!first || first->ElementType() != xeDeclaration)
    return std::string();
  return first->AttrValue("encoding");
}

void TPlainXml::LoadFromFile(const std::filesystem::path &file) {
  TFileStream f(file, fmOpenRead);
  LoadFromStream(f);
}

void TPlainXml::LoadFromStream(TStream &stream) {
  FRootNodes->ClearChildren();
  StopParsing = false;
  if (OnPosition)
    OnPosition(*this, 0);
  TnvBufferedReadStream buffered(&stream);
  std::unique_ptr<TnvCodecStream> codec = fsXml::MakeTextCodec(&buffered, Utf8Text);
  codec->OnCharLoss = [this](TnvCodecStream &) {
    if (OnCharLoss)
      OnCharLoss(*this);
  };
  codec->StartReading();
  TXmlParser parser(*codec, this);
  bool declaredUtf8 = ReadRootNodes(*this, parser, *codec);
  if (OnPosition)
    OnPosition(*this, stream.Position());
  CheckRootNodes(*FRootNodes, StrictRoot);
  FileEncoding = codec->Encoding();
  if (FileEncoding == seUTF8 || declaredUtf8)
    Utf8Text = true;
}

void TPlainXml::ReadFromString(std::string_view bytes) {
  TReadOnlyMemoryStream mem(bytes);
  LoadFromStream(mem);
}

void TPlainXml::SaveToStream(TStream &stream) {
  if (StrictRoot && !Root())
    throw EXmlError("XML root element not defined.");
  if (OnPosition)
    OnPosition(*this, stream.Position());
  TnvBufferedWriteStream buffered(&stream);
  std::unique_ptr<TnvCodecStream> codec = fsXml::MakeTextCodec(&buffered, Utf8Text);
  codec->SetEncoding(FileEncoding);
  TXmlWriter writer(codec.get(), this);
  std::string_view separator = Layout == xlReadable ? "\r\n" : "\n";
  for (int i = 0; i < FRootNodes->ChildCount(); ++i) {
    writer.WriteNode(*FRootNodes->Child(i), 0);
    writer.Put(separator);
  }
  writer.Flush();
  if (FRootNodes->ChildCount() == 0)
    codec->WriteText(""); // the signature alone
  codec->FinishWriting();
  buffered.Flush();
  if (OnPosition)
    OnPosition(*this, stream.Position());
}

std::string TPlainXml::WriteToString() {
  TMemoryStream mem;
  SaveToStream(mem);
  return std::move(mem.Bytes());
}

void TPlainXml::SaveToFile(const std::filesystem::path &file) {
  // The whole text is made before the file is touched, so that a failing
  // write leaves the old file as it was.
  TMemoryStream mem;
  SaveToStream(mem);
  TFileStream f(file, fmCreate);
  f.WriteBytes(mem.Bytes());
}
