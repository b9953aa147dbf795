#include "designer/TParamList.h"

#include "base/fsConvert.h"

#include <charconv>

namespace {

bool NeedsQuotes(std::string_view item) {
  if (item.empty())
    return true;
  for (unsigned char c : item)
    if (c <= ' ' || c == ',' || c == '"')
      return true;
  return false;
}

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

void TParamList::SetCommaText(std::string_view text) {
  FItems.clear();
  size_t i = 0;
  const size_t n = text.size();
  auto skipBlanks = [&] {
    while (i < n && IsBlank(text[i]))
      ++i;
  };
  skipBlanks();
  while (i < n) {
    std::string item;
    if (text[i] == '"') {
      ++i;
      while (i < n) {
        if (text[i] == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    }
    // Whatever follows a quoted part up to the next separator belongs to
    // the item too.
    while (i < n && text[i] != ',' && !IsBlank(text[i]))
      item += text[i++];
    FItems.push_back(std::move(item));
    skipBlanks();
    if (i < n && text[i] == ',') {
      ++i;
      skipBlanks();
      // A trailing comma carries an empty item ("a,,b" gets its empty one
      // from the loop).
      if (i >= n)
        FItems.emplace_back();
    }
  }
}

std::string TParamList::CommaText() const {
  std::string out;
  for (size_t k = 0; k < FItems.size(); ++k) {
    if (k > 0)
      out += ',';
    const std::string &item = FItems[k];
    if (!NeedsQuotes(item)) {
      out += item;
      continue;
    }
    out += '"';
    for (char c : item) {
      if (c == '"')
        out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

int TParamList::IndexOfName(std::string_view key) const {
  for (size_t k = 0; k < FItems.size(); ++k) {
    const std::string &item = FItems[k];
    const size_t eq = item.find('=');
    if (eq != std::string::npos && SameText(std::string_view(item).substr(0, eq), key))
      return static_cast<int>(k);
  }
  return -1;
}

std::string TParamList::Value(std::string_view key) const {
  const int k = IndexOfName(key);
  if (k < 0)
    return {};
  const std::string &item = FItems[static_cast<size_t>(k)];
  return item.substr(item.find('=') + 1);
}

void TParamList::SetValue(std::string_view key, std::string_view value) {
  const int k = IndexOfName(key);
  std::string item = std::string(key) + "=" + std::string(value);
  if (value.empty()) {
    if (k >= 0)
      FItems.erase(FItems.begin() + k);
  } else if (k >= 0) {
    FItems[static_cast<size_t>(k)] = std::move(item);
  } else {
    FItems.push_back(std::move(item));
  }
}

std::string TParamList::FloatText(double value) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  return std::string(buf, r.ptr);
}
