#include "persist/fsXmlWriter.h"

#include "persist/fsXmlInternal.h"

namespace {

// Text goes to the codec in pieces of the write buffer's size; longer
// pieces pass straight through.
constexpr size_t ChunkSize = static_cast<size_t>(TnvBufferedWriteStream::BufferSize);

} // namespace

void TXmlWriter::Put(std::string_view s) {
  if (FCodec && s.size() >= ChunkSize) {
    Flush();
    FCodec->WriteText(s);
    return;
  }
  FOut.append(s);
  if (FCodec && FOut.size() >= ChunkSize)
    Flush();
}

void TXmlWriter::Flush() {
  if (FCodec && !FOut.empty()) {
    FCodec->WriteText(FOut);
    FOut.clear();
  }
}

void TXmlWriter::Position() {
  if (FDocument && FDocument->OnPosition && FCodec) {
    Flush();
    FDocument->OnPosition(*FDocument, FCodec->UnderlyingPosition());
  }
}

void TXmlWriter::WriteNode(const TXmlNode &node, int level) {
  const TXmlSettings &s = node.Settings();
  std::string_view lb = fsXml::LineBreak(s);
  std::string ind = fsXml::Indent(s, level);
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

void TXmlWriter::WriteChildren(const TXmlNode &node, int level, std::string_view lb, bool mixed) {
  const auto &kids = node.FChildren;
  for (size_t i = 0; i < kids.size(); ++i) {
    WriteNode(*kids[i], level + 1);
    bool charData = mixed && (kids[i]->FElementType == xeCharData ||
                              (i + 1 < kids.size() && kids[i + 1]->FElementType == xeCharData));
    if (!charData)
      Put(lb);
  }
}
