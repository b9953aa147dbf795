#include "base/fsUtf.h"

bool TUtf8Decoder::Start(unsigned char b) {
  FLow = 0x80;
  FHigh = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    FNeed = 1;
    FCode = b & 0x1Fu;
  } else if (b >= 0xE0 && b <= 0xEF) {
    FNeed = 2;
    FCode = b & 0x0Fu;
    if (b == 0xE0)
      FLow = 0xA0;
    else if (b == 0xED)
      FHigh = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    FNeed = 3;
    FCode = b & 0x07u;
    if (b == 0xF0)
      FLow = 0x90;
    else if (b == 0xF4)
      FHigh = 0x8F;
  } else {
    return false;
  }
  return true;
}

void AppendUtf8(std::string &out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
    cp = ReplacementChar;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendUtf16(std::u16string &out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))
    cp = ReplacementChar;
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

namespace {

template <class Out> Out DecodeUtf8(std::string_view text, void (*append)(Out &, char32_t)) {
  Out out;
  out.reserve(text.size());
  TUtf8Decoder dec;
  auto emit = [&](char32_t cp) { append(out, cp); };
  for (char c : text)
    dec.Put(static_cast<unsigned char>(c), emit);
  dec.Finish(emit);
  return out;
}

void AppendUtf32(std::u32string &out, char32_t cp) {
  out.push_back(cp);
}

} // namespace

std::u32string Utf8ToUtf32(std::string_view text) {
  return DecodeUtf8<std::u32string>(text, AppendUtf32);
}

std::u16string Utf8ToUtf16(std::string_view text) {
  return DecodeUtf8<std::u16string>(text, AppendUtf16);
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t u = text[i];
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00u));
      ++i;
    } else {
      AppendUtf8(out, u); // a lone surrogate comes out as U+FFFD
    }
  }
  return out;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes)
    AppendUtf8(out, c);
  return out;
}
