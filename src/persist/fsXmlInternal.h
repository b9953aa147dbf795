#pragma once

#include "persist/fsPlainXml.h"

#include <memory>
#include <string>
#include <string_view>

// Small pieces the node, the reader, the writer and the document share.
// Internal to the XML unit: callers include "persist/fsPlainXml.h".
namespace fsXml {

// Control characters of a name show as '?' in messages.
inline std::string ShownName(std::string_view name) {
  std::string shown(name);
  for (char &c : shown)
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7F)
      c = '?';
  return shown;
}

// The message with its "%s" replaced by the name.
inline std::string NodeMessage(const char *pattern, std::string_view name) {
  std::string msg(pattern);
  size_t at = msg.find("%s");
  if (at != std::string::npos)
    msg.replace(at, 2, name);
  return msg;
}

// What ends a line in the layout; nothing in the compact ones.
inline std::string_view LineBreak(const TXmlSettings &s) {
  return s.Layout == xlReadable ? "\r\n" : s.Layout == xlLineFeeds ? "\n" : "";
}

// The indentation of a nesting level; only the readable layout indents.
inline std::string Indent(const TXmlSettings &s, int level) {
  std::string ind;
  if (s.Layout == xlReadable)
    for (int i = 0; i < level; ++i)
      ind += s.IndentText;
  return ind;
}

// The character codec for the text setting, over a stream it does not own.
inline std::unique_ptr<TnvCodecStream> MakeTextCodec(TStream *stream, bool utf8Text) {
  if (utf8Text)
    return std::make_unique<TnvUtf8Stream>(stream);
  return std::make_unique<TnvAnsiStream>(stream);
}

} // namespace fsXml
