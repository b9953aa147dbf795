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

// Bytes taken as single-byte (Latin-1) characters, made UTF-8 so that any
// bytes can stand in a message.
std::string Latin1ToUtf8(std::string_view bytes);

// One code point as UTF-8.
void AppendUtf8(std::string &out, uint32_t codePoint);

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// The same with control characters shown as '?', for messages that quote
// bytes from a file.
std::string PrintableText(std::string_view bytes);

// Removes characters at or below the blank from both ends, as the
// program's trimming does.
std::string_view TrimControl(std::string_view text);
