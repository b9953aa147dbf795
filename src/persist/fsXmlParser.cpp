#include "persist/fsXmlParser.h"

#include "base/fsConvert.h"
#include "persist/fsXmlInternal.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <vector>

using fsXml::NodeMessage;
using fsXml::ShownName;

namespace {

bool IsWhite(char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}
bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

std::string_view TrimWhite(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsWhite(s[b]))
    ++b;
  while (e > b && IsWhite(s[e - 1]))
    --e;
  return s.substr(b, e - b);
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

// The reader takes the longest start text that fits what follows.
constexpr TTagType TagTypes[] = {
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
constexpr size_t TagTypeCount = std::size(TagTypes);
// The plain "<", taken when no longer start text fits: it stays last.
constexpr size_t PlainTag = TagTypeCount - 1;
static_assert(TagTypes[PlainTag].Start == "<");

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

} // namespace

void TXmlParser::PushBack(std::string_view s) {
  for (size_t i = s.size(); i-- > 0;)
    FBack.push_back(s[i]);
}

bool TXmlParser::AtEnd() {
  char c;
  if (!Next(c))
    return true;
  FBack.push_back(c);
  return false;
}

void TXmlParser::ReadNode(TXmlNode &node, int depth) {
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

void TXmlParser::Started(TXmlNode &node) {
  if (FDocument && FDocument->OnNodeStarted)
    FDocument->OnNodeStarted(*FDocument, node);
}

// The longest start text that matches what follows "<"; characters read
// beyond it go back to the input.
const TTagType &TXmlParser::MatchTagType() {
  bool alive[TagTypeCount];
  for (size_t k = 0; k < TagTypeCount; ++k)
    alive[k] = TagTypes[k].Start.size() > 1;
  size_t best = PlainTag;
  std::string extra;
  size_t i = 1;
  for (;;) {
    bool any = false;
    for (size_t k = 0; k < TagTypeCount; ++k)
      any = any || alive[k];
    if (!any)
      break;
    char c;
    if (!Next(c))
      break;
    extra.push_back(c);
    bool accepted = false;
    for (size_t k = 0; k < TagTypeCount; ++k) {
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
    for (size_t k = 0; k < TagTypeCount; ++k)
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
std::string TXmlParser::ReadUntil(std::string_view close, bool quotes, std::string_view what) {
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

void TXmlParser::ReadDoctype(TXmlNode &node, int depth) {
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

void TXmlParser::ReadDeclaration(TXmlNode &node, const TTagType &tag) {
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

void TXmlParser::ReadElement(TXmlNode &node, const TTagType &tag, int depth) {
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

void TXmlParser::FlushText(TXmlNode &node, std::string &buf) {
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

void TXmlParser::ReadContent(TXmlNode &node, int depth) {
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
