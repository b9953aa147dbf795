#pragma once

#include "persist/fsXmlCodec.h"
#include "persist/fsXmlValues.h"
#include "base/fsPlatformColor.h"
#include "base/fsStream.h"

#include <concepts>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The engine's XML tree: nodes owned by a document, typed properties stored
// as child elements, and the text form every persisted object is written in.

enum TXmlElementType : uint8_t {
  xeElement = 0,
  xeComment = 1,
  xeCData = 2,
  xeDeclaration = 3,
  xeStylesheet = 4,
  xeDoctype = 5,
  xeElementDecl = 6,
  xeAttList = 7,
  xeEntity = 8,
  xeNotation = 9,
  xeSpecial = 10,     // other "<!...>"
  xeInstruction = 11, // other "<?...?>"
  xeCharData = 12,
  xeUnknown = 13,
};

enum TXmlBinaryCoding : int { xbBinHex = 0, xbBase64 = 1 };

enum TXmlLayout : int {
  xlNone = -1, // nodes without a document: no line breaks, no indentation
  xlReadable = 0,
  xlCompact = 1,
  xlLineFeeds = 2,
};

// Elements nested deeper than this make the reader fail instead of
// exhausting the stack on hostile files.
constexpr int XmlMaxNesting = 1000;

// The settings a document copies from the process-wide defaults on Clear.
struct TXmlSettings {
  int BinaryCoding = xbBase64;
  int FileEncoding = seUTF8;
  std::string DeclaredEncoding = "UTF-8";
  bool FloatExponent = true;
  int FloatDigits = 6;
  std::string IndentText = "  ";
  int Layout = xlCompact;
  bool SkipComments = false;
  bool FullClosingTags = false;
  bool StrictRoot = false;
  bool Utf8Text = true;
  bool StoreDefaults = false;
  bool SortedAttrs = false;

  // The library's own values, before the document engine sets its own.
  static TXmlSettings LibraryDefaults();
  // The values every document of the engine works with.
  static TXmlSettings EngineDefaults();
  // What a node without a document behaves as.
  static const TXmlSettings &FreeNode();
};

// The process-wide defaults. They start as the engine's values, which the
// engine relies on before any document exists; change them only at start-up.
TXmlSettings &XmlDefaults();

// Property records for fonts, pens and brushes, with their file defaults.
struct TXmlFont {
  std::string Name = "Arial";
  TColor Color = 0;
  int32_t Size = 14;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool Strikeout = false;
  bool operator==(const TXmlFont &) const = default;
};

struct TXmlPen {
  TColor Color = 0;
  int32_t Mode = 4;  // copy
  int32_t Style = 0; // solid
  int32_t Width = 1;
  bool operator==(const TXmlPen &) const = default;
};

struct TXmlBrush {
  TColor Color = 0xFFFFFF;
  int32_t Style = 0; // solid
  bool operator==(const TXmlBrush &) const = default;
};

class TPlainXml;
class TXmlNode;
using TXmlNodeList = std::vector<TXmlNode *>;

class TXmlNode {
public:
  explicit TXmlNode(TPlainXml *document = nullptr);
  TXmlNode(TPlainXml *document, std::string_view name);
  ~TXmlNode();
  TXmlNode(const TXmlNode &) = delete;
  TXmlNode &operator=(const TXmlNode &) = delete;

  TPlainXml *Document() const { return FDocument; }
  TXmlNode *Parent() const { return FParent; }
  // The document's settings, or those of a free-standing node.
  const TXmlSettings &Settings() const;

  uint8_t ElementType() const { return FElementType; }
  void SetElementType(uint8_t type) { FElementType = type; }
  const std::string &Name() const { return FName; }
  // Fails with "Illegal character in node name "%s"" for white space.
  void SetName(std::string_view name);
  // The value in escaped form, as it stands between the tags.
  const std::string &Value() const { return FValue; }
  void SetValue(std::string_view value) { FValue = value; }
  int32_t Tag = 0;

  // The value with entities resolved, and the reverse.
  std::string Text() const;
  void SetText(std::string_view text);

  // Children
  int ChildCount() const { return static_cast<int>(FChildren.size()); }
  TXmlNode *Child(int i) const;
  int AddChild(std::unique_ptr<TXmlNode> node);
  TXmlNode *NewChild(std::string_view name);
  TXmlNode *NewChildAt(int i, std::string_view name);
  TXmlNode *InsertChild(int i, std::unique_ptr<TXmlNode> node);
  void DeleteChild(int i);
  std::unique_ptr<TXmlNode> DetachChild(TXmlNode *node);
  TXmlNode *FindChild(std::string_view name) const;
  int IndexOfChild(std::string_view name, int from = 0) const;
  TXmlNode *FindOrAddChild(std::string_view name);
  void FindChildren(std::string_view name, TXmlNodeList &list) const;
  TXmlNode *FirstChildOfType(uint8_t type) const;
  void ClearChildren();
  // Deletes this node from its parent; the node is gone afterwards.
  void RemoveSelf();
  void Clear();
  int Level() const;
  bool IsEmpty() const;
  void Assign(const TXmlNode &source);
  void Assign(const TPlainXml &source);

  // Typed properties: one child element per key, omitted when equal to the
  // default unless the document stores defaults.
  bool LoadBool(std::string_view key, bool def) const;
  void StoreBool(std::string_view key, bool value, bool def);
  int32_t LoadInteger(std::string_view key, int32_t def) const;
  void StoreInteger(std::string_view key, int32_t value, int32_t def);
  int64_t LoadInt64(std::string_view key, int64_t def) const;
  void StoreInt64(std::string_view key, int64_t value, int64_t def);
  double LoadFloat(std::string_view key, double def) const;
  void StoreFloat(std::string_view key, double value, double def);
  // Single-precision values compare with their default as singles.
  float LoadFloat(std::string_view key, float def) const;
  void StoreFloat(std::string_view key, float value, float def);
  // Whole-number literals mean doubles, as before the single forms came.
  template <std::integral I> double LoadFloat(std::string_view key, I def) const {
    return LoadFloat(key, static_cast<double>(def));
  }
  template <std::integral I, std::integral J> void StoreFloat(std::string_view key, I value, J def) {
    StoreFloat(key, static_cast<double>(value), static_cast<double>(def));
  }
  // Fails with the conversion error for text that is no number.
  TColor LoadColor(std::string_view key, TColor def) const;
  void StoreColor(std::string_view key, TColor value, TColor def);
  void StoreHex(std::string_view key, int32_t value, int digits);
  std::string LoadString(std::string_view key, std::string_view def) const;
  void StoreString(std::string_view key, std::string_view value, std::string_view def);
  std::u16string LoadWideString(std::string_view key, std::u16string_view def) const;
  void StoreWideString(std::string_view key, std::u16string_view value, std::u16string_view def);
  double LoadDateTime(std::string_view key, double def) const;
  void StoreDateTime(std::string_view key, double value, double def);
  TXmlFont LoadFont(std::string_view key) const;
  void StoreFont(std::string_view key, const TXmlFont &font);
  TXmlPen LoadPen(std::string_view key) const;
  void StorePen(std::string_view key, const TXmlPen &pen);
  TXmlBrush LoadBrush(std::string_view key) const;
  void StoreBrush(std::string_view key, const TXmlBrush &brush);

  // The reading rules applied to the node's own value.
  bool BoolValue(bool def = false) const;
  int32_t IntegerValue(int32_t def = 0) const;
  int64_t Int64Value(int64_t def = 0) const;
  double FloatValue(double def = 0) const;
  double DateTimeValue(double def) const;

  // Attributes: entries name="escaped value" in list order.
  int AttributeCount() const { return static_cast<int>(FAttributes.size()); }
  const std::string &Attribute(int i) const { return FAttributes[static_cast<size_t>(i)]; }
  std::string AttrName(int i) const;
  void AddAttr(std::string_view name, std::string_view value);
  void AddAttr(std::string_view name, int32_t value);
  std::string AttrValue(std::string_view name) const;
  bool HasAttr(std::string_view name) const { return AttrIndex(name) >= 0; }
  int AttrIndex(std::string_view name) const;
  bool LoadAttrBool(std::string_view name, bool def) const;
  int32_t LoadAttrInteger(std::string_view name, int32_t def) const;
  int64_t LoadAttrInt64(std::string_view name, int64_t def) const;
  double LoadAttrFloat(std::string_view name, double def) const;
  std::string LoadAttrString(std::string_view name, std::string_view def) const;
  void StoreAttrBool(std::string_view name, bool value, bool def);
  void StoreAttrInteger(std::string_view name, int32_t value, int32_t def);
  void StoreAttrFloat(std::string_view name, double value, double def);
  void StoreAttrString(std::string_view name, std::string_view value, std::string_view def);

  // Binary values, coded by the document's BinaryCoding and broken into
  // lines of 76 characters.
  void WriteBinary(const void *buffer, int64_t count);
  int64_t BinaryLength() const;
  void ReadBinary(void *buffer, int64_t count) const;
  // The same in Base64 whatever the document's coding.
  std::string BinaryString() const;
  void SetBinaryString(std::string_view bytes);

  // This node as in-memory text (no encoding, no signature), and back.
  std::string WriteToString() const;
  void ReadFromString(std::string_view text);

private:
  friend class TPlainXml;
  friend class TXmlParser;
  friend class TXmlWriter;
  void Adopt(TXmlNode &node);
  bool SkipStore() const { return !Settings().StoreDefaults; }
  // True when a value equal to its default is not written; an element of
  // that key left from an earlier store is removed then.
  bool OmitDefault(std::string_view key);
  const TXmlNode *ChildNamed(std::string_view key) const { return FindChild(key); }
  void SetAttr(std::string_view name, std::string_view escapedQuoted);

  TPlainXml *FDocument;
  TXmlNode *FParent = nullptr;
  uint8_t FElementType = xeElement;
  std::string FName;
  std::string FValue;
  std::vector<std::string> FAttributes;
  std::vector<std::unique_ptr<TXmlNode>> FChildren;
};

class TPlainXml : public TXmlSettings {
public:
  TPlainXml();
  explicit TPlainXml(std::string_view rootName);
  ~TPlainXml();
  TPlainXml(const TPlainXml &) = delete;
  TPlainXml &operator=(const TPlainXml &) = delete;

  // Set by an event handler to stop reading.
  bool StopParsing = false;
  std::function<void(TPlainXml &, TXmlNode &)> OnNodeStarted;
  std::function<void(TPlainXml &, TXmlNode &)> OnNodeDone;
  std::function<void(TPlainXml &, int64_t)> OnPosition;
  std::function<void(TPlainXml &)> OnCharLoss;

  TXmlNode &RootNodes() { return *FRootNodes; }
  const TXmlNode &RootNodes() const { return *FRootNodes; }
  // The first root-level element, or nothing.
  TXmlNode *Root() const;

  // Takes the process-wide defaults and leaves a declaration and an
  // unnamed root element.
  void Clear();
  void Assign(const TPlainXml &source);
  bool IsEmpty() const;
  // The "encoding" attribute of the declaration, empty without one.
  std::string DeclaredEncodingOfFile() const;

  void LoadFromFile(const std::filesystem::path &file);
  void LoadFromStream(TStream &stream);
  void ReadFromString(std::string_view bytes);
  void SaveToFile(const std::filesystem::path &file);
  void SaveToStream(TStream &stream);
  std::string WriteToString();

private:
  std::unique_ptr<TXmlNode> FRootNodes;
};
