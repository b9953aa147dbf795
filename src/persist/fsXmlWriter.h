#pragma once

#include "persist/fsPlainXml.h"

#include <string>
#include <string_view>

// Writes nodes as text, into a codec stream or into a string. Internal to the
// XML unit: callers include "persist/fsPlainXml.h".
class TXmlWriter {
public:
  // Without a codec the text collects in Text(); without a document no
  // position events are sent.
  TXmlWriter(TnvCodecStream *codec, TPlainXml *document) : FCodec(codec), FDocument(document) {}

  void Put(std::string_view s);
  void Flush();
  std::string &Text() { return FOut; }
  // Sends the document's position event.
  void Position();

  void WriteNode(const TXmlNode &node, int level);

private:
  void WriteChildren(const TXmlNode &node, int level, std::string_view lb, bool mixed);

  TnvCodecStream *FCodec;
  TPlainXml *FDocument;
  std::string FOut;
};
