#include "persist/fsPlainXml.h"

#include "base/fsConvert.h"
#include "base/fsError.h"
#include "base/fsUtf.h"
#include "persist/fsXmlInternal.h"
#include "persist/fsXmlParser.h"
#include "persist/fsXmlWriter.h"

#include <algorithm>
#include <cstdio>
#include <memory>

using fsXml::NodeMessage;
using fsXml::ShownName;

namespace {

// Coded binary values are broken into lines of this many characters.
constexpr size_t BinaryLineLength = 76;
// Hex digits of a 32-bit value, as colours are stored.
constexpr int MaxHexDigits = 8;

std::string HexText(uint32_t value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%.*X", std::clamp(digits, 0, MaxHexDigits), value);
  return buf;
}

} // namespace

TXmlNode::TXmlNode(TPlainXml *document) : FDocument(document) {}

TXmlNode::TXmlNode(TPlainXml *document, std::string_view name) : FDocument(document) {
  SetName(name);
}

TXmlNode::~TXmlNode() = default;

const TXmlSettings &TXmlNode::Settings() const {
  return FDocument ? static_cast<const TXmlSettings &>(*FDocument) : TXmlSettings::FreeNode();
}

void TXmlNode::SetName(std::string_view name) {
  // A trailing "/" would turn the start tag into the short form when the
  // node is written, and a control character (a NUL above all) makes the
  // written file look like another encoding: both are refused like white
  // space, so that whatever is read can be written and read back.
  // A leading "!", "?" or "/" would make the written tag read as a
  // declaration, instruction or close tag, and ">" would end it early.
  bool bad = !name.empty() && (name.back() == '/' || name.front() == '!' || name.front() == '?' ||
                               name.front() == '/');
  for (char c : name)
    bad = bad || static_cast<unsigned char>(c) <= ' ' || c == 0x7F || c == '>';
  if (bad)
    throw EXmlError(NodeMessage("Illegal character in node name \"%s\"", ShownName(name)));
  FName = name;
}

std::string TXmlNode::Text() const {
  return XmlResolveEntities(FValue, Settings().Utf8Text);
}

void TXmlNode::SetText(std::string_view text) {
  FValue = XmlEscape(text);
}

TXmlNode *TXmlNode::Child(int i) const {
  if (i < 0 || i >= ChildCount())
    return nullptr;
  return FChildren[static_cast<size_t>(i)].get();
}

void TXmlNode::Adopt(TXmlNode &node) {
  node.FParent = this;
  // A node made without a document joins the tree's document.
  if (!node.FDocument && FDocument) {
    node.FDocument = FDocument;
    for (auto &k : node.FChildren)
      node.Adopt(*k);
  }
}

int TXmlNode::AddChild(std::unique_ptr<TXmlNode> node) {
  if (!node)
    return -1;
  Adopt(*node);
  FChildren.push_back(std::move(node));
  return ChildCount() - 1;
}

TXmlNode *TXmlNode::NewChild(std::string_view name) {
  auto node = std::make_unique<TXmlNode>(FDocument, name);
  TXmlNode *p = node.get();
  AddChild(std::move(node));
  return p;
}

TXmlNode *TXmlNode::NewChildAt(int i, std::string_view name) {
  if (i < 0 || i > ChildCount())
    return nullptr;
  return InsertChild(i, std::make_unique<TXmlNode>(FDocument, name));
}

TXmlNode *TXmlNode::InsertChild(int i, std::unique_ptr<TXmlNode> node) {
  if (!node || i < 0 || i > ChildCount())
    return nullptr;
  Adopt(*node);
  TXmlNode *p = node.get();
  FChildren.insert(FChildren.begin() + i, std::move(node));
  return p;
}

void TXmlNode::DeleteChild(int i) {
  if (i < 0 || i >= ChildCount())
    return;
  FChildren.erase(FChildren.begin() + i);
}

std::unique_ptr<TXmlNode> TXmlNode::DetachChild(TXmlNode *node) {
  for (auto it = FChildren.begin(); it != FChildren.end(); ++it)
    if (it->get() == node) {
      std::unique_ptr<TXmlNode> out = std::move(*it);
      FChildren.erase(it);
      out->FParent = nullptr;
      return out;
    }
  return nullptr;
}

TXmlNode *TXmlNode::FindChild(std::string_view name) const {
  int i = IndexOfChild(name);
  return i < 0 ? nullptr : FChildren[static_cast<size_t>(i)].get();
}

int TXmlNode::IndexOfChild(std::string_view name, int from) const {
  for (int i = std::max(from, 0); i < ChildCount(); ++i)
    if (SameText(FChildren[static_cast<size_t>(i)]->FName, name))
      return i;
  return -1;
}

TXmlNode *TXmlNode::FindOrAddChild(std::string_view name) {
  TXmlNode *n = FindChild(name);
  return n ? n : NewChild(name);
}

void TXmlNode::FindChildren(std::string_view name, TXmlNodeList &list) const {
  list.clear();
  for (const auto &k : FChildren)
    if (SameText(k->FName, name))
      list.push_back(k.get());
}

TXmlNode *TXmlNode::FirstChildOfType(uint8_t type) const {
  for (const auto &k : FChildren)
    if (k->FElementType == type)
      return k.get();
  return nullptr;
}

void TXmlNode::ClearChildren() {
  FChildren.clear();
}

void TXmlNode::RemoveSelf() {
  if (!FParent)
    return;
  TXmlNode *parent = FParent;
  for (int i = 0; i < parent->ChildCount(); ++i)
    if (parent->Child(i) == this) {
      parent->DeleteChild(i); // frees this node
      return;
    }
}

void TXmlNode::Clear() {
  FName.clear();
  FValue.clear();
  FAttributes.clear();
  FChildren.clear();
}

int TXmlNode::Level() const {
  return FParent ? FParent->Level() + 1 : -1;
}

bool TXmlNode::IsEmpty() const {
  return FName.empty() && FValue.empty() && FChildren.empty() && FAttributes.empty();
}

void TXmlNode::Assign(const TXmlNode &source) {
  if (&source == this)
    return;
  FElementType = source.FElementType;
  FName = source.FName;
  Tag = source.Tag;
  FValue = source.FValue;
  FAttributes = source.FAttributes;
  std::vector<std::unique_ptr<TXmlNode>> kids;
  kids.reserve(source.FChildren.size());
  for (const auto &k : source.FChildren) {
    auto copy = std::make_unique<TXmlNode>(FDocument);
    copy->Assign(*k);
    copy->FParent = this;
    kids.push_back(std::move(copy));
  }
  FChildren = std::move(kids);
}

void TXmlNode::Assign(const TPlainXml &source) {
  Assign(source.RootNodes());
}

// Typed properties

bool TXmlNode::OmitDefault(std::string_view key) {
  if (!SkipStore())
    return false;
  // A value back at its default leaves no element from an earlier store.
  int i = IndexOfChild(key);
  if (i >= 0)
    DeleteChild(i);
  return true;
}

bool TXmlNode::LoadBool(std::string_view key, bool def) const {
  const TXmlNode *n = ChildNamed(key);
  return n ? n->BoolValue(def) : def;
}

void TXmlNode::StoreBool(std::string_view key, bool value, bool def) {
  if (value == def && OmitDefault(key))
    return;
  FindOrAddChild(key)->SetText(value ? "True" : "False");
}

int32_t TXmlNode::LoadInteger(std::string_view key, int32_t def) const {
  const TXmlNode *n = ChildNamed(key);
  return n ? n->IntegerValue(def) : def;
}

void TXmlNode::StoreInteger(std::string_view key, int32_t value, int32_t def) {
  if (value == def && OmitDefault(key))
    return;
  FindOrAddChild(key)->SetText(std::to_string(value));
}

int64_t TXmlNode::LoadInt64(std::string_view key, int64_t def) const {
  const TXmlNode *n = ChildNamed(key);
  return n ? n->Int64Value(def) : def;
}

void TXmlNode::StoreInt64(std::string_view key, int64_t value, int64_t def) {
  if (value == def && OmitDefault(key))
    return;
  FindOrAddChild(key)->SetText(std::to_string(value));
}

double TXmlNode::LoadFloat(std::string_view key, double def) const {
  const TXmlNode *n = ChildNamed(key);
  return n ? n->FloatValue(def) : def;
}

void TXmlNode::StoreFloat(std::string_view key, double value, double def) {
  if (value == def && OmitDefault(key))
    return;
  const TXmlSettings &s = Settings();
  std::string text = XmlFloatToText(value, s.FloatDigits, s.FloatExponent);
  FindOrAddChild(key)->SetText(text);
}

float TXmlNode::LoadFloat(std::string_view key, float def) const {
  const TXmlNode *n = ChildNamed(key);
  return n ? static_cast<float>(n->FloatValue(def)) : def;
}

void TXmlNode::StoreFloat(std::string_view key, float value, float def) {
  if (value == def && OmitDefault(key))
    return;
  const TXmlSettings &s = Settings();
  FindOrAddChild(key)->SetText(XmlFloatToText(value, s.FloatDigits, s.FloatExponent));
}

TColor TXmlNode::LoadColor(std::string_view key, TColor def) const {
  const TXmlNode *n = ChildNamed(key);
  if (!n)
    return def;
  std::string text = n->Text();
  int64_t v;
  if (!XmlTextToInt64(text, v))
    throw EConvertError("'" + text + "' is not a valid integer value");
  return static_cast<TColor>(static_cast<uint32_t>(v));
}

void TXmlNode::StoreColor(std::string_view key, TColor value, TColor def) {
  if (value == def && OmitDefault(key))
    return;
  FindOrAddChild(key)->SetText(HexText(static_cast<uint32_t>(ColorToRGB(value)), MaxHexDigits));
}

void TXmlNode::StoreHex(std::string_view key, int32_t value, int digits) {
  FindOrAddChild(key)->SetText(HexText(static_cast<uint32_t>(value), digits));
}

std::string TXmlNode::LoadString(std::string_view key, std::string_view def) const {
  const TXmlNode *n = ChildNamed(key);
  return n ? n->Text() : std::string(def);
}

void TXmlNode::StoreString(std::string_view key, std::string_view value, std::string_view def) {
  if (value == def && OmitDefault(key))
    return;
  FindOrAddChild(key)->SetText(value);
}

std::u16string TXmlNode::LoadWideString(std::string_view key, std::u16string_view def) const {
  const TXmlNode *n = ChildNamed(key);
  if (!n)
    return std::u16string(def);
  std::string text = n->Text();
  return Settings().Utf8Text ? Utf8ToUtf16(text) : Cp1252ToUtf16(text);
}

void TXmlNode::StoreWideString(std::string_view key, std::u16string_view value,
                               std::u16string_view def) {
  if (value == def && OmitDefault(key))
    return;
  FindOrAddChild(key)->SetText(Settings().Utf8Text ? Utf16ToUtf8(value) : Utf16ToCp1252(value));
}

double TXmlNode::LoadDateTime(std::string_view key, double def) const {
  const TXmlNode *n = ChildNamed(key);
  return n ? n->DateTimeValue(def) : def;
}

void TXmlNode::StoreDateTime(std::string_view key, double value, double def) {
  if (value == def && OmitDefault(key))
    return;
  FindOrAddChild(key)->SetText(XmlDateTimeToText(value));
}

// The records' own member values are the file defaults.

TXmlFont TXmlNode::LoadFont(std::string_view key) const {
  const TXmlFont def{};
  TXmlFont f;
  const TXmlNode *n = ChildNamed(key);
  if (!n)
    return f;
  f.Name = n->LoadString("Name", def.Name);
  f.Color = n->LoadColor("Color", def.Color);
  f.Size = n->LoadInteger("Size", def.Size);
  f.Bold = n->LoadBool("Bold", def.Bold);
  f.Italic = n->LoadBool("Italic", def.Italic);
  f.Underline = n->LoadBool("Underline", def.Underline);
  f.Strikeout = n->LoadBool("Strikeout", def.Strikeout);
  return f;
}

void TXmlNode::StoreFont(std::string_view key, const TXmlFont &font) {
  const TXmlFont def{};
  TXmlNode *n = FindOrAddChild(key);
  n->StoreString("Name", font.Name, def.Name);
  n->StoreColor("Color", font.Color, def.Color);
  n->StoreInteger("Size", font.Size, def.Size);
  n->StoreBool("Bold", font.Bold, def.Bold);
  n->StoreBool("Italic", font.Italic, def.Italic);
  n->StoreBool("Underline", font.Underline, def.Underline);
  n->StoreBool("Strikeout", font.Strikeout, def.Strikeout);
}

TXmlPen TXmlNode::LoadPen(std::string_view key) const {
  const TXmlPen def{};
  TXmlPen p;
  const TXmlNode *n = ChildNamed(key);
  if (!n)
    return p;
  p.Color = n->LoadColor("Color", def.Color);
  p.Mode = n->LoadInteger("Mode", def.Mode);
  p.Style = n->LoadInteger("Style", def.Style);
  p.Width = n->LoadInteger("Width", def.Width);
  return p;
}

void TXmlNode::StorePen(std::string_view key, const TXmlPen &pen) {
  const TXmlPen def{};
  TXmlNode *n = FindOrAddChild(key);
  n->StoreColor("Color", pen.Color, def.Color);
  n->StoreInteger("Mode", pen.Mode, def.Mode);
  n->StoreInteger("Style", pen.Style, def.Style);
  n->StoreInteger("Width", pen.Width, def.Width);
}

TXmlBrush TXmlNode::LoadBrush(std::string_view key) const {
  const TXmlBrush def{};
  TXmlBrush b;
  const TXmlNode *n = ChildNamed(key);
  if (!n)
    return b;
  b.Color = n->LoadColor("Color", def.Color);
  b.Style = n->LoadInteger("Style", def.Style);
  return b;
}

void TXmlNode::StoreBrush(std::string_view key, const TXmlBrush &brush) {
  const TXmlBrush def{};
  TXmlNode *n = FindOrAddChild(key);
  n->StoreColor("Color", brush.Color, def.Color);
  n->StoreInteger("Style", brush.Style, def.Style);
}

bool TXmlNode::BoolValue(bool def) const {
  bool v;
  return XmlTextToBool(FValue, v) ? v : def;
}

int32_t TXmlNode::IntegerValue(int32_t def) const {
  int64_t v;
  return XmlTextToInt64(FValue, v) ? static_cast<int32_t>(static_cast<uint32_t>(v)) : def;
}

int64_t TXmlNode::Int64Value(int64_t def) const {
  int64_t v;
  return XmlTextToInt64(FValue, v) ? v : def;
}

double TXmlNode::FloatValue(double def) const {
  double v;
  return XmlTextToFloat(FValue, v) ? v : def;
}

double TXmlNode::DateTimeValue(double def) const {
  double v;
  return XmlTextToDateTime(Text(), v) ? v : def;
}

// Attributes

std::string TXmlNode::AttrName(int i) const {
  const std::string &e = Attribute(i);
  return e.substr(0, e.find('='));
}

void TXmlNode::AddAttr(std::string_view name, std::string_view value) {
  std::string entry = std::string(name) + "=\"" + XmlEscape(value) + "\"";
  if (Settings().SortedAttrs) {
    auto it = std::upper_bound(
        FAttributes.begin(), FAttributes.end(), entry,
        [](const std::string &a, const std::string &b) { return CompareText(a, b) < 0; });
    FAttributes.insert(it, std::move(entry));
  } else {
    FAttributes.push_back(std::move(entry));
  }
}

void TXmlNode::AddAttr(std::string_view name, int32_t value) {
  AddAttr(name, std::to_string(value));
}

int TXmlNode::AttrIndex(std::string_view name) const {
  for (int i = 0; i < AttributeCount(); ++i) {
    std::string_view e = FAttributes[static_cast<size_t>(i)];
    if (SameText(e.substr(0, e.find('=')), name))
      return i;
  }
  return -1;
}

std::string TXmlNode::AttrValue(std::string_view name) const {
  int i = AttrIndex(name);
  if (i < 0)
    return std::string();
  std::string_view e = FAttributes[static_cast<size_t>(i)];
  size_t eq = e.find('=');
  std::string_view raw = eq == std::string_view::npos ? std::string_view() : e.substr(eq + 1);
  return XmlResolveEntities(XmlDequote(raw), Settings().Utf8Text);
}

void TXmlNode::SetAttr(std::string_view name, std::string_view value) {
  int i = AttrIndex(name);
  if (i < 0) {
    AddAttr(name, value);
    return;
  }
  FAttributes[static_cast<size_t>(i)] = std::string(name) + "=\"" + XmlEscape(value) + "\"";
}

bool TXmlNode::LoadAttrBool(std::string_view name, bool def) const {
  bool v;
  return XmlTextToBool(AttrValue(name), v) ? v : def;
}

int32_t TXmlNode::LoadAttrInteger(std::string_view name, int32_t def) const {
  int64_t v;
  return XmlTextToInt64(AttrValue(name), v) ? static_cast<int32_t>(static_cast<uint32_t>(v)) : def;
}

int64_t TXmlNode::LoadAttrInt64(std::string_view name, int64_t def) const {
  int64_t v;
  return XmlTextToInt64(AttrValue(name), v) ? v : def;
}

double TXmlNode::LoadAttrFloat(std::string_view name, double def) const {
  double v;
  return XmlTextToFloat(AttrValue(name), v) ? v : def;
}

std::string TXmlNode::LoadAttrString(std::string_view name, std::string_view def) const {
  std::string v = AttrValue(name);
  return v.empty() ? std::string(def) : v;
}

void TXmlNode::StoreAttrBool(std::string_view name, bool value, bool def) {
  if (value == def && SkipStore())
    return;
  SetAttr(name, value ? "True" : "False");
}

void TXmlNode::StoreAttrInteger(std::string_view name, int32_t value, int32_t def) {
  if (value == def && SkipStore())
    return;
  SetAttr(name, std::to_string(value));
}

void TXmlNode::StoreAttrFloat(std::string_view name, double value, double def) {
  if (value == def && SkipStore())
    return;
  const TXmlSettings &s = Settings();
  SetAttr(name, XmlFloatToText(value, s.FloatDigits, s.FloatExponent));
}

void TXmlNode::StoreAttrString(std::string_view name, std::string_view value,
                               std::string_view def) {
  if (value == def && SkipStore())
    return;
  SetAttr(name, value);
}

// Binary values

void TXmlNode::WriteBinary(const void *buffer, int64_t count) {
  if (count < 0)
    count = 0;
  const TXmlSettings &s = Settings();
  std::string coded = s.BinaryCoding == xbBinHex ? BinHexEncode(buffer, static_cast<size_t>(count))
                                                 : Base64Encode(buffer, static_cast<size_t>(count));
  std::string sep = std::string(fsXml::LineBreak(s)) + fsXml::Indent(s, Level());
  std::string out;
  out.reserve(coded.size() + (coded.size() / BinaryLineLength + 2) * sep.size());
  for (size_t i = 0; i < coded.size(); i += BinaryLineLength) {
    out += sep;
    out.append(coded, i, BinaryLineLength);
  }
  out += sep;
  FValue = std::move(out);
}

int64_t TXmlNode::BinaryLength() const {
  std::string text = XmlStripWhite(FValue);
  return Settings().BinaryCoding == xbBinHex ? BinHexDecodedLength(text)
                                             : Base64DecodedLength(text);
}

void TXmlNode::ReadBinary(void *buffer, int64_t count) const {
  std::string text = XmlStripWhite(FValue);
  if (Settings().BinaryCoding == xbBinHex)
    BinHexDecode(text, buffer, count);
  else
    Base64Decode(text, buffer, count);
}

std::string TXmlNode::BinaryString() const {
  std::string text = XmlStripWhite(FValue);
  std::string out(static_cast<size_t>(Base64DecodedLength(text)), '\0');
  Base64Decode(text, out.data(), static_cast<int64_t>(out.size()));
  return out;
}

void TXmlNode::SetBinaryString(std::string_view bytes) {
  if (!FDocument) {
    // A free node has no coding setting to switch and no line breaks.
    FValue = Base64Encode(bytes.data(), bytes.size());
    return;
  }
  int saved = FDocument->BinaryCoding;
  FDocument->BinaryCoding = xbBase64;
  try {
    WriteBinary(bytes.data(), static_cast<int64_t>(bytes.size()));
  } catch (...) {
    FDocument->BinaryCoding = saved;
    throw;
  }
  FDocument->BinaryCoding = saved;
}

std::string TXmlNode::WriteToString() const {
  TXmlWriter w(nullptr, nullptr);
  w.WriteNode(*this, std::max(Level(), 0));
  return std::move(w.Text());
}

void TXmlNode::ReadFromString(std::string_view text) {
  Clear();
  FElementType = xeElement;
  TReadOnlyMemoryStream mem(text);
  bool utf8 = Settings().Utf8Text;
  std::unique_ptr<TnvCodecStream> codec = fsXml::MakeTextCodec(&mem, utf8);
  codec->StartReadingAs(utf8 ? seUTF8 : seAnsi);
  TXmlParser p(*codec, FDocument);
  p.ReadNode(*this, 0);
}
