#include "base/fsConvert.h"

#include "base/fsError.h"
#include "base/fsUtf.h"

#include <algorithm>
#include <limits>

bool TryStrToInt(std::string_view text, int32_t &value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size())
    return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9')
      return false;
    v = v * 10 + (c - '0');
    if (v > int64_t(std::numeric_limits<int32_t>::max()) + 1)
      return false;
  }
  if (negative)
    v = -v;
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    return false;
  value = static_cast<int32_t>(v);
  return true;
}

int32_t StrToInt(std::string_view text) {
  int32_t value = 0;
  if (!TryStrToInt(text, value))
    throw EConvertError("'" + PrintableText(text) + "' is not a valid integer value");
  return value;
}

std::string PrintableText(std::string_view bytes) {
  std::string out = Latin1ToUtf8(bytes);
  for (auto &c : out)
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7F)
      c = '?';
  return out;
}

std::string_view TrimControl(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ')
    ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ')
    --e;
  return text.substr(b, e - b);
}

std::string LowerCase(std::string_view text) {
  std::string out(text);
  for (char &c : out)
    c = LowerAscii(c);
  return out;
}

bool SameText(std::string_view a, std::string_view b) {
  return CompareText(a, b) == 0;
}

int CompareText(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(LowerAscii(a[i]));
    const auto cb = static_cast<unsigned char>(LowerAscii(b[i]));
    if (ca != cb)
      return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
