#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The program's one UTF-8 / UTF-16 codec. Whatever is not well-formed
// (overlong forms, surrogates, values past U+10FFFF, stray or missing
// continuation bytes) becomes U+FFFD, so that no byte sequence can turn into
// a character it does not spell, least of all into markup.

constexpr char32_t ReplacementChar = 0xFFFD;

// Bytes in, code points out, one byte at a time so that streams can feed it
// across buffer edges. A malformed sequence gives one U+FFFD for its longest
// well-formed start, and the byte that broke it is read again as a new start.
class TUtf8Decoder {
public:
  template <class Emit> void Put(unsigned char b, Emit &&emit) {
    if (FNeed > 0) {
      if (b >= FLow && b <= FHigh) {
        FCode = (FCode << 6) | (b & 0x3Fu);
        FLow = 0x80;
        FHigh = 0xBF;
        if (--FNeed == 0)
          emit(FCode);
        return;
      }
      FNeed = 0;
      emit(ReplacementChar);
    }
    if (b < 0x80) {
      emit(static_cast<char32_t>(b));
    } else if (!Start(b)) {
      emit(ReplacementChar);
    }
  }
  // A sequence cut off by the end of the input.
  template <class Emit> void Finish(Emit &&emit) {
    if (FNeed > 0) {
      FNeed = 0;
      emit(ReplacementChar);
    }
  }
  bool Pending() const { return FNeed > 0; }
  void Reset() { FNeed = 0; }

private:
  // The ranges of the second byte keep out overlong forms (E0, F0),
  // surrogates (ED) and values past U+10FFFF (F4).
  bool Start(unsigned char b);

  char32_t FCode = 0;
  int FNeed = 0;
  unsigned char FLow = 0x80;
  unsigned char FHigh = 0xBF;
};

void AppendUtf8(std::string &out, char32_t codePoint);
void AppendUtf16(std::u16string &out, char32_t codePoint);

std::u32string Utf8ToUtf32(std::string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Bytes taken as single-byte (Latin-1) characters, made UTF-8 so that any
// bytes can stand in a message.
std::string Latin1ToUtf8(std::string_view bytes);
