#include "persist/fsPlainXml.h"

#include "base/fsError.h"

#include <algorithm>
#include <cstdio>

namespace {

bool IsWhite(char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}
bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i]))
      return false;
  return true;
}

int CompareText(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(Lower(a[i]));
    auto y = static_cast<unsigned char>(Lower(b[i]));
    if (x != y)
      return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::string_view TrimWhite(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsWhite(s[b]))
    ++b;
  while (e > b && IsWhite(s[e - 1]))
    --e;
  return s.substr(b, e - b);
}

std::string HexText(uint32_t value, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%.*X", std::clamp(digits, 0, 8), value);
  return buf;
}

// Words at white space outside quotes; "a = 'x'" gives the one word "a='x'".
std::vector<std::string> SplitWords(std::string_view text) {
  text = TrimWhite(text);
  std::vector<std::string> raw;
  std::string cur;
  char quote = 0;
  for (char c : text) {
    if (quote) {
      cur.push_back(c);
      if (c == quote)
        quote = 0;
    } else if (IsWhite(c)) {
      if (!cur.empty())
        raw.push_back(std::move(cur));
      cur.clear();
    } else {
      if (IsQuote(c))
        quote = c;
      cur.push_back(c);
    }
  }
  if (!cur.empty())
    raw.push_back(std::move(cur));
  std::vector<std::string> words;
  for (auto &w : raw) {
    if (!words.empty() &&
        (w[0] == '=' || (IsQuote(w[0]) && words.back().find('=') != std::string::npos)))
      words.back() += w;
    else
      words.push_back(std::move(w));
  }
  return words;
}

struct TTagType {
  std::string_view Start;
  std::string_view Close;
  uint8_t Type;
};

const TTagType TagTypes[12] = {
    {"<![CDATA[", "]]>", xeCData},
    {"<!DOCTYPE", ">", xeDoctype},
    {"<!ELEMENT", ">", xeElementDecl},
    {"<!ATTLIST", ">", xeAttList},
    {"<!ENTITY", ">", xeEntity},
    {"<!NOTATION", ">", xeNotation},
    {"<?xml-stylesheet", "?>", xeStylesheet},
    {"<?xml", "?>", xeDeclaration},
    {"<!--", "-->", xeComment},
    {"<!", ">", xeSpecial},
    {"<?", "?>", xeInstruction},
    {"<", ">", xeElement},
};

const char *FixedName(uint8_t type) {
  switch (type) {
  case xeComment:
    return "Comment";
  case xeCData:
    return "CData";
  case xeDeclaration:
    return "xml";
  case xeStylesheet:
    return "xml-stylesheet";
  case xeDoctype:
    return "DTD";
  case xeSpecial:
  case xeInstruction:
    return "Special";
  case xeUnknown:
    return "Unknown";
  default:
    return "";
  }
}

// Control characters of a name show as '?' in messages.
std::string ShownName(std::string_view name) {
  std::string shown(name);
  for (char &c : shown)
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7F)
      c = '?';
  return shown;
}

std::string NodeMessage(const char *pattern, std::string_view name) {
  std::string msg(pattern);
  size_t at = msg.find("%s");
  if (at != std::string::npos)
    msg.replace(at, 2, name);
  return msg;
}

} // namespace

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


// --- writer ---

// Writes nodes as text, into a codec stream or into a string.
class TXmlWriter {
public:
  TXmlWriter(TnvCodecStream *codec, TPlainXml *document) : FCodec(codec), FDocument(document) {}

  void Put(std::string_view s) {
    if (FCodec && s.size() >= 65536) {
      Flush();
      FCodec->WriteText(s);
      return;
    }
    FOut.append(s);
    if (FCodec && FOut.size() >= 65536)
      Flush();
  }
  void Flush() {
    if (FCodec && !FOut.empty()) {
      FCodec->WriteText(FOut);
      FOut.clear();
    }
  }
  std::string &Text() { return FOut; }

  void Position() {
    if (FDocument && FDocument->OnPosition && FCodec) {
      Flush();
      FDocument->OnPosition(*FDocument, FCodec->UnderlyingPosition());
    }
  }

  void WriteNode(const TXmlNode &node, int level) {
    const TXmlSettings &s = node.Settings();
    std::string_view lb = s.Layout == xlReadable ? "\r\n" : s.Layout == xlLineFeeds ? "\n" : "";
    std::string ind;
    if (s.Layout == xlReadable)
      for (int i = 0; i < level; ++i)
        ind += s.IndentText;
    bool hasChildren = !node.FChildren.empty();
    auto attrText = [&](bool shortForm) {
      std::string t;
      for (const auto &a : node.FAttributes) {
        t.push_back(' ');
        t += a;
      }
      if (shortForm)
        t.push_back('/');
      return t;
    };
    switch (node.FElementType) {
    case xeElement: {
      bool shortForm = node.FValue.empty() && !hasChildren && !s.FullClosingTags && level >= 1;
      Put(ind);
      Put("<");
      Put(node.FName);
      Put(attrText(shortForm));
      Put(">");
      Put(node.FValue);
      if (hasChildren)
        Put(lb);
      WriteChildren(node, level, lb, true);
      if (!shortForm) {
        if (hasChildren)
          Put(ind);
        Put("</");
        Put(node.FName);
        Put(">");
      }
      break;
    }
    case xeComment:
      Put(ind + "<!--" + node.FValue + "-->");
      break;
    case xeCData:
      Put(ind + "<![CDATA[" + node.FValue + "]]>");
      break;
    case xeSpecial:
      Put(ind + "<!" + node.FValue + ">");
      break;
    case xeInstruction:
      Put(ind + "<?" + node.FValue + "?>");
      break;
    case xeUnknown:
      Put(ind + "<" + node.FValue + ">");
      break;
    case xeDeclaration:
      Put(ind + "<?xml" + attrText(false) + "?>");
      break;
    case xeStylesheet:
      Put(ind + "<?xml-stylesheet" + attrText(false) + "?>");
      break;
    case xeCharData:
      Put(node.FValue);
      break;
    case xeDoctype:
      Put(ind + "<!DOCTYPE " + node.FName + " " + node.FValue);
      if (hasChildren) {
        Put(" [");
        Put(lb);
        WriteChildren(node, level, lb, false);
        Put("]>");
      } else {
        Put(">");
      }
      break;
    case xeElementDecl:
      Put(ind + "<!ELEMENT " + node.FName + " " + node.FValue + ">");
      break;
    case xeAttList:
      Put(ind + "<!ATTLIST " + node.FName + " " + node.FValue + ">");
      break;
    case xeEntity:
      Put(ind + "<!ENTITY " + node.FName + " " + node.FValue + ">");
      break;
    case xeNotation:
      Put(ind + "<!NOTATION " + node.FName + " " + node.FValue + ">");
      break;
    default:
      throw EXmlError("Illegal element type");
    }
    Position();
  }

private:
  void WriteChildren(const TXmlNode &node, int level, std::string_view lb, bool mixed) {
    const auto &kids = node.FChildren;
    for (size_t i = 0; i < kids.size(); ++i) {
      WriteNode(*kids[i], level + 1);
      bool charData = mixed && (kids[i]->FElementType == xeCharData ||
                                (i + 1 < kids.size() && kids[i + 1]->FElementType == xeCharData));
      if (!charData)
        Put(lb);
    }
  }

  TnvCodecStream *FCodec;
  TPlainXml *FDocument;
  std::string FOut;
};

// --- reader ---

class TXmlParser {
public:
  TXmlParser(TnvCodecStream &codec, TPlainXml *document) : FCodec(codec), FDocument(document) {}

  bool Next(char &c) {
    if (!FBack.empty()) {
      c = FBack.back();
      FBack.pop_back();
      return true;
    }
    return FCodec.ReadChar(c);
  }
  void PushBack(std::string_view s) {
    for (size_t i = s.size(); i-- > 0;)
      FBack.push_back(s[i]);
  }
  bool AtEnd() {
    char c;
    if (!Next(c))
      return true;
    FBack.push_back(c);
    return false;
  }

  void ReadNode(TXmlNode &node, int depth) {
    if (FDocument && FDocument->StopParsing)
      return;
    if (depth > XmlMaxNesting)
      throw EXmlError("Elements nested too deeply in xml");
    char c;
    do {
      if (!Next(c))
        return;
    } while (IsWhite(c));
    if (c != '<')
      return;
    const TTagType &tag = MatchTagType();
    node.FElementType = tag.Type;
    switch (tag.Type) {
    case xeComment:
    case xeCData:
    case xeSpecial:
    case xeInstruction:
      node.FName = FixedName(tag.Type);
      Started(node);
      node.FValue = ReadUntil(tag.Close, false, node.FName);
      break;
    case xeDoctype:
      ReadDoctype(node, depth);
      break;
    case xeElementDecl:
    case xeAttList:
    case xeEntity:
    case xeNotation:
      ReadDeclaration(node, tag);
      break;
    default:
      ReadElement(node, tag, depth);
      break;
    }
    if (FDocument) {
      if (FDocument->OnPosition)
        FDocument->OnPosition(*FDocument, FCodec.UnderlyingPosition());
      if (FDocument->OnNodeDone && !FDocument->StopParsing)
        FDocument->OnNodeDone(*FDocument, node);
    }
  }

private:
  bool Stopped() const { return FDocument && FDocument->StopParsing; }
  void Started(TXmlNode &node) {
    if (FDocument && FDocument->OnNodeStarted)
      FDocument->OnNodeStarted(*FDocument, node);
  }

  // The longest start text that matches what follows "<"; characters read
  // beyond it go back to the input.
  const TTagType &MatchTagType() {
    bool alive[12];
    for (int k = 0; k < 12; ++k)
      alive[k] = TagTypes[k].Start.size() > 1;
    int best = 11;
    std::string extra;
    size_t i = 1;
    for (;;) {
      bool any = false;
      for (int k = 0; k < 12; ++k)
        any = any || alive[k];
      if (!any)
        break;
      char c;
      if (!Next(c))
        break;
      extra.push_back(c);
      bool accepted = false;
      for (int k = 0; k < 12; ++k) {
        if (!alive[k])
          continue;
        if (TagTypes[k].Start[i] == c)
          accepted = true;
        else
          alive[k] = false;
      }
      if (!accepted)
        break;
      ++i;
      for (int k = 0; k < 12; ++k)
        if (alive[k] && TagTypes[k].Start.size() == i) {
          best = k;
          extra.clear();
          alive[k] = false;
        }
    }
    PushBack(extra);
    return TagTypes[best];
  }

  // Text up to the close text, which is left out. With quotes on, a close
  // text inside quotes does not count.
  std::string ReadUntil(std::string_view close, bool quotes, std::string_view what) {
    std::string text;
    char quote = 0;
    char c;
    while (Next(c)) {
      text.push_back(c);
      if (quotes) {
        if (quote) {
          if (c == quote)
            quote = 0;
          continue;
        }
        if (IsQuote(c)) {
          quote = c;
          continue;
        }
      }
      if (c == close.back() && text.size() >= close.size() &&
          std::string_view(text).substr(text.size() - close.size()) == close) {
        text.resize(text.size() - close.size());
        return text;
      }
    }
    throw EXmlError(NodeMessage("Unexpected end of xml data in %s", what));
  }

  void ReadDoctype(TXmlNode &node, int depth) {
    node.FName = "DTD";
    Started(node);
    std::string text;
    char quote = 0;
    char c;
    for (;;) {
      if (!Next(c))
        throw EXmlError("Unexpected end of xml data in DTD");
      if (quote) {
        if (c == quote)
          quote = 0;
      } else if (IsQuote(c)) {
        quote = c;
      } else if (c == '>' || c == '[') {
        break;
      }
      text.push_back(c);
    }
    auto words = SplitWords(text);
    if (!words.empty()) {
      node.SetName(words[0]);
      std::string value;
      for (size_t w = 1; w < words.size(); ++w) {
        if (w > 1)
          value.push_back(' ');
        value += words[w];
      }
      for (auto &ch : value)
        if (ch == '\r' || ch == '\n')
          ch = ' ';
      node.FValue = TrimWhite(value);
    }
    if (c != '[')
      return;
    for (;;) {
      char d;
      do {
        if (!Next(d))
          throw EXmlError("Unexpected end of xml data in DTD");
      } while (IsWhite(d));
      if (d == ']') {
        do {
          if (!Next(d))
            throw EXmlError("Unexpected end of xml data in DTD");
        } while (d != '>');
        return;
      }
      FBack.push_back(d);
      auto child = std::make_unique<TXmlNode>(node.FDocument);
      TXmlNode &ref = *child;
      node.AddChild(std::move(child));
      ReadNode(ref, depth + 1);
      if (Stopped())
        return;
      if (ref.IsEmpty())
        node.DeleteChild(node.ChildCount() - 1);
    }
  }

  void ReadDeclaration(TXmlNode &node, const TTagType &tag) {
    std::string what(tag.Start.substr(2));
    auto words = SplitWords(ReadUntil(">", true, what));
    if (!words.empty())
      node.SetName(words[0]);
    std::string value;
    for (size_t w = 1; w < words.size(); ++w) {
      if (w > 1)
        value += "\r\n";
      value += words[w];
    }
    node.FValue = TrimWhite(value);
    Started(node);
  }

  void ReadElement(TXmlNode &node, const TTagType &tag, int depth) {
    std::string_view what = tag.Type == xeElement ? "tag" : FixedName(tag.Type);
    std::string text = ReadUntil(tag.Close, true, what);
    std::string_view body = TrimWhite(text);
    bool shortForm = false;
    if (tag.Type == xeElement && !body.empty() && body.back() == '/') {
      shortForm = true;
      body.remove_suffix(1);
    }
    auto words = SplitWords(body);
    size_t first = 0;
    if (tag.Type == xeElement) {
      if (words.empty())
        throw EXmlError("Missing element name");
      node.SetName(words[0]);
      first = 1;
    } else {
      node.FName = FixedName(tag.Type);
      if (tag.Type == xeStylesheet)
        node.FValue = body;
    }
    // "<a b//>" would leave the attribute "b/", which makes the start tag
    // read as the short form once written: refused like such a name.
    if (tag.Type == xeElement && words.size() > 1 && words.back().back() == '/')
      throw EXmlError(NodeMessage("Illegal character in attribute \"%s\"", ShownName(words.back())));
    for (size_t w = first; w < words.size(); ++w)
      node.FAttributes.push_back(std::move(words[w]));
    Started(node);
    if (tag.Type == xeElement && !shortForm)
      ReadContent(node, depth);
  }

  static void FlushText(TXmlNode &node, std::string &buf) {
    bool white = true;
    for (char ch : buf)
      if (!IsWhite(ch)) {
        white = false;
        break;
      }
    if (!white) {
      auto data = std::make_unique<TXmlNode>(node.FDocument);
      data->FElementType = xeCharData;
      data->FValue = std::move(buf);
      node.AddChild(std::move(data));
    }
    buf.clear();
  }

  void ReadContent(TXmlNode &node, int depth) {
    std::string buf;
    bool sawCR = false;
    char c;
    for (;;) {
      if (!Next(c))
        throw EXmlError(NodeMessage("Missing close tag in element %s", node.FName));
      if (c != '<') {
        if (c == '\r')
          sawCR = true;
        buf.push_back(c);
        continue;
      }
      char d;
      do {
        if (!Next(d))
          throw EXmlError(NodeMessage("Missing data after \"<\" in element %s", node.FName));
      } while (IsWhite(d));
      if (d == '/')
        break;
      FlushText(node, buf);
      FBack.push_back(d);
      FBack.push_back('<');
      auto child = std::make_unique<TXmlNode>(node.FDocument);
      TXmlNode &ref = *child;
      node.AddChild(std::move(child));
      ReadNode(ref, depth + 1);
      if (Stopped())
        return;
      if (ref.FElementType == xeComment && ref.Settings().SkipComments)
        node.DeleteChild(node.ChildCount() - 1);
    }
    std::string closeTag;
    char quote = 0;
    for (;;) {
      if (!Next(c))
        throw EXmlError(NodeMessage("Missing \">\" in close tag of element %s", node.FName));
      if (quote) {
        if (c == quote)
          quote = 0;
      } else if (IsQuote(c)) {
        quote = c;
      } else if (c == '>') {
        break;
      }
      closeTag.push_back(c);
    }
    if (!SameText(TrimWhite(closeTag), node.FName))
      throw EXmlError(NodeMessage("Incorrect close tag in element %s", node.FName));
    FlushText(node, buf);
    auto &kids = node.FChildren;
    bool hasElements = std::any_of(kids.begin(), kids.end(),
                                   [](const auto &k) { return k->FElementType == xeElement; });
    if (hasElements && sawCR)
      for (auto &k : kids)
        if (k->FElementType == xeCharData) {
          auto &v = k->FValue;
          while (!v.empty() && (v.back() == '\r' || v.back() == '\n' || v.back() == ' '))
            v.pop_back();
        }
    if (!kids.empty() && kids.front()->FElementType == xeCharData) {
      node.FValue = std::move(kids.front()->FValue);
      node.DeleteChild(0);
    }
  }

  TnvCodecStream &FCodec;
  TPlainXml *FDocument;
  std::string FBack; // pushed-back characters, the next one last
};

// --- TXmlNode ---

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
  bool bad = !name.empty() && (name.back() == '/' || name.front() == '!' ||
                               name.front() == '?' || name.front() == '/');
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

bool TXmlNode::LoadBool(std::string_view key, bool def) const {
  const TXmlNode *n = ChildNamed(key);
  return n ? n->BoolValue(def) : def;
}

void TXmlNode::StoreBool(std::string_view key, bool value, bool def) {
  if (value == def && SkipStore())
    return;
  FindOrAddChild(key)->SetText(value ? "True" : "False");
}

int32_t TXmlNode::LoadInteger(std::string_view key, int32_t def) const {
  const TXmlNode *n = ChildNamed(key);
  return n ? n->IntegerValue(def) : def;
}

void TXmlNode::StoreInteger(std::string_view key, int32_t value, int32_t def) {
  if (value == def && SkipStore())
    return;
  FindOrAddChild(key)->SetText(std::to_string(value));
}

int64_t TXmlNode::LoadInt64(std::string_view key, int64_t def) const {
  const TXmlNode *n = ChildNamed(key);
  return n ? n->Int64Value(def) : def;
}

void TXmlNode::StoreInt64(std::string_view key, int64_t value, int64_t def) {
  if (value == def && SkipStore())
    return;
  FindOrAddChild(key)->SetText(std::to_string(value));
}

double TXmlNode::LoadFloat(std::string_view key, double def) const {
  const TXmlNode *n = ChildNamed(key);
  return n ? n->FloatValue(def) : def;
}

void TXmlNode::StoreFloat(std::string_view key, double value, double def) {
  if (value == def && SkipStore())
    return;
  const TXmlSettings &s = Settings();
  std::string text = XmlFloatToText(value, s.FloatDigits, s.FloatExponent);
  FindOrAddChild(key)->SetText(text);
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
  if (value == def && SkipStore())
    return;
  FindOrAddChild(key)->SetText(HexText(static_cast<uint32_t>(ColorToRGB(value)), 8));
}

void TXmlNode::StoreHex(std::string_view key, int32_t value, int digits) {
  FindOrAddChild(key)->SetText(HexText(static_cast<uint32_t>(value), digits));
}

std::string TXmlNode::LoadString(std::string_view key, std::string_view def) const {
  const TXmlNode *n = ChildNamed(key);
  return n ? n->Text() : std::string(def);
}

void TXmlNode::StoreString(std::string_view key, std::string_view value, std::string_view def) {
  if (value == def && SkipStore())
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
  if (value == def && SkipStore())
    return;
  FindOrAddChild(key)->SetText(Settings().Utf8Text ? Utf16ToUtf8(value) : Utf16ToCp1252(value));
}

double TXmlNode::LoadDateTime(std::string_view key, double def) const {
  const TXmlNode *n = ChildNamed(key);
  return n ? n->DateTimeValue(def) : def;
}

void TXmlNode::StoreDateTime(std::string_view key, double value, double def) {
  if (value == def && SkipStore())
    return;
  FindOrAddChild(key)->SetText(XmlDateTimeToText(value));
}

TXmlFont TXmlNode::LoadFont(std::string_view key) const {
  TXmlFont f;
  const TXmlNode *n = ChildNamed(key);
  if (!n)
    return f;
  f.Name = n->LoadString("Name", "Arial");
  f.Color = n->LoadColor("Color", 0);
  f.Size = n->LoadInteger("Size", 14);
  f.Bold = n->LoadBool("Bold", false);
  f.Italic = n->LoadBool("Italic", false);
  f.Underline = n->LoadBool("Underline", false);
  f.Strikeout = n->LoadBool("Strikeout", false);
  return f;
}

void TXmlNode::StoreFont(std::string_view key, const TXmlFont &font) {
  TXmlNode *n = FindOrAddChild(key);
  n->StoreString("Name", font.Name, "Arial");
  n->StoreColor("Color", font.Color, 0);
  n->StoreInteger("Size", font.Size, 14);
  n->StoreBool("Bold", font.Bold, false);
  n->StoreBool("Italic", font.Italic, false);
  n->StoreBool("Underline", font.Underline, false);
  n->StoreBool("Strikeout", font.Strikeout, false);
}

TXmlPen TXmlNode::LoadPen(std::string_view key) const {
  TXmlPen p;
  const TXmlNode *n = ChildNamed(key);
  if (!n)
    return p;
  p.Color = n->LoadColor("Color", 0);
  p.Mode = n->LoadInteger("Mode", 4);
  p.Style = n->LoadInteger("Style", 0);
  p.Width = n->LoadInteger("Width", 1);
  return p;
}

void TXmlNode::StorePen(std::string_view key, const TXmlPen &pen) {
  TXmlNode *n = FindOrAddChild(key);
  n->StoreColor("Color", pen.Color, 0);
  n->StoreInteger("Mode", pen.Mode, 4);
  n->StoreInteger("Style", pen.Style, 0);
  n->StoreInteger("Width", pen.Width, 1);
}

TXmlBrush TXmlNode::LoadBrush(std::string_view key) const {
  TXmlBrush b;
  const TXmlNode *n = ChildNamed(key);
  if (!n)
    return b;
  b.Color = n->LoadColor("Color", 0xFFFFFF);
  b.Style = n->LoadInteger("Style", 0);
  return b;
}

void TXmlNode::StoreBrush(std::string_view key, const TXmlBrush &brush) {
  TXmlNode *n = FindOrAddChild(key);
  n->StoreColor("Color", brush.Color, 0xFFFFFF);
  n->StoreInteger("Style", brush.Style, 0);
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
  std::string sep;
  if (s.Layout == xlReadable)
    sep = "\r\n";
  else if (s.Layout == xlLineFeeds)
    sep = "\n";
  if (s.Layout == xlReadable)
    for (int i = 0, n = Level(); i < n; ++i)
      sep += s.IndentText;
  std::string out;
  out.reserve(coded.size() + (coded.size() / 76 + 2) * sep.size());
  for (size_t i = 0; i < coded.size(); i += 76) {
    out += sep;
    out.append(coded, i, 76);
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
  std::unique_ptr<TnvCodecStream> codec;
  if (utf8)
    codec = std::make_unique<TnvUtf8Stream>(&mem);
  else
    codec = std::make_unique<TnvAnsiStream>(&mem);
  codec->StartReadingAs(utf8 ? seUTF8 : seAnsi);
  TXmlParser p(*codec, FDocument);
  p.ReadNode(*this, 0);
}

// --- TPlainXml ---

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
  std::unique_ptr<TnvCodecStream> codec;
  if (Utf8Text)
    codec = std::make_unique<TnvUtf8Stream>(&buffered);
  else
    codec = std::make_unique<TnvAnsiStream>(&buffered);
  codec->OnCharLoss = [this](TnvCodecStream &) {
    if (OnCharLoss)
      OnCharLoss(*this);
  };
  codec->StartReading();
  TXmlParser parser(*codec, this);
  bool declaredUtf8 = false;
  while (!StopParsing && !parser.AtEnd()) {
    auto child = std::make_unique<TXmlNode>(this);
    TXmlNode &node = *child;
    FRootNodes->AddChild(std::move(child));
    parser.ReadNode(node, 0);
    if (node.ElementType() == xeDeclaration && SameText(node.AttrValue("encoding"), "UTF-8")) {
      declaredUtf8 = true;
      // Only 8-bit input can be UTF-8 in disguise; a 16-bit file that says
      // UTF-8 is still 16-bit.
      if (codec->Encoding() == seAnsi)
        codec->SetEncoding(seUTF8);
    }
    if (node.IsEmpty())
      FRootNodes->DeleteChild(FRootNodes->ChildCount() - 1);
  }
  if (OnPosition)
    OnPosition(*this, stream.Position());
  int elements = 0, declarations = 0, doctypes = 0;
  for (int i = 0; i < FRootNodes->ChildCount(); ++i) {
    const TXmlNode &n = *FRootNodes->Child(i);
    switch (n.ElementType()) {
    case xeElement:
      ++elements;
      break;
    case xeDeclaration:
      ++declarations;
      if (StrictRoot && i != 0)
        throw EXmlError("Xml declaration must be first element");
      break;
    case xeDoctype:
      ++doctypes;
      if (StrictRoot && elements > 0)
        throw EXmlError("Doctype declaration found after root element");
      break;
    case xeCData:
      if (StrictRoot)
        throw EXmlError("No CDATA allowed in root");
      break;
    default:
      break;
    }
  }
  if (elements == 0)
    throw EXmlError("No root element found in xml");
  if (StrictRoot) {
    if (elements > 1)
      throw EXmlError("More than one root element found in xml");
    if (declarations > 1)
      throw EXmlError("More than one xml declaration found in xml");
    if (doctypes > 1)
      throw EXmlError("More than one doctype declaration found in root");
  }
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
  std::unique_ptr<TnvCodecStream> codec;
  if (Utf8Text)
    codec = std::make_unique<TnvUtf8Stream>(&buffered);
  else
    codec = std::make_unique<TnvAnsiStream>(&buffered);
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
