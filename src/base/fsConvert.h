#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Text to number conversions with the program's conversion error
// ("'%s' is not a valid integer value").

// A decimal 32-bit integer with an optional sign; no blanks allowed.
int32_t StrToInt(std::string_view text);

// The same, returning false instead of raising.
bool TryStrToInt(std::string_view text, int32_t &value);

// The same with control characters shown as '?', for messages that quote
// bytes from a file.
std::string PrintableText(std::string_view bytes);

// Removes characters at or below the blank from both ends, as the
// program's trimming does.
std::string_view TrimControl(std::string_view text);

// Names (archive entries, XML keys, file extensions, folders) compare
// without regard to case: ASCII letters only, whatever the locale.
constexpr char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}
std::string LowerCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);
// <0, 0 or >0 as a sorts before, with or after b.
int CompareText(std::string_view a, std::string_view b);
