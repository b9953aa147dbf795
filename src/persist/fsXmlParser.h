#pragma once

#include "persist/fsPlainXml.h"

#include <cstdint>
#include <string>
#include <string_view>

// One kind of markup: the text that opens it after "<" and the text that
// closes it. Internal to the XML unit, like the reader below.
struct TTagType {
  std::string_view Start;
  std::string_view Close;
  uint8_t Type;
};

// Reads nodes from a codec stream, sending the document's events as it goes.
class TXmlParser {
public:
  // Without a document no events are sent and no stop is asked for.
  TXmlParser(TnvCodecStream &codec, TPlainXml *document) : FCodec(codec), FDocument(document) {}

  bool Next(char &c) {
    if (!FBack.empty()) {
      c = FBack.back();
      FBack.pop_back();
      return true;
    }
    return FCodec.ReadChar(c);
  }
  void PushBack(std::string_view s);
  bool AtEnd();

  // Reads the next node into node; nothing is read when only white space or
  // no "<" follows.
  void ReadNode(TXmlNode &node, int depth);

private:
  bool Stopped() const { return FDocument && FDocument->StopParsing; }
  void Started(TXmlNode &node);

  const TTagType &MatchTagType();
  std::string ReadUntil(std::string_view close, bool quotes, std::string_view what);
  void ReadDoctype(TXmlNode &node, int depth);
  void ReadDeclaration(TXmlNode &node, const TTagType &tag);
  void ReadElement(TXmlNode &node, const TTagType &tag, int depth);
  static void FlushText(TXmlNode &node, std::string &buf);
  void ReadContent(TXmlNode &node, int depth);

  TnvCodecStream &FCodec;
  TPlainXml *FDocument;
  std::string FBack; // pushed-back characters, the next one last
};
