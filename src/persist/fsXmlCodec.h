#pragma once

#include "base/fsConvert.h"
#include "base/fsError.h"
#include "base/fsStream.h"
#include "base/fsUtf.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Byte-level plumbing under the XML reader and writer: encoding detection,
// the character codec streams and the 64 KiB buffered streams.

// Every failure the XML library raises, so that callers (and the loaders of
// damaged files) can tell them from other errors.
class EXmlError : public EfsError {
public:
  using EfsError::EfsError;
};

// Failures of the codec and buffered streams.
class EXmlCodecError : public EXmlError {
public:
  using EXmlError::EXmlError;
};

// File encodings, by their stored code.
enum TXmlEncoding : int {
  seAnsi = 0,      // 8-bit text in the system code page (Windows-1252 here)
  seUCS4BE = 1,    // unsupported
  seUCS4LE = 2,    // unsupported
  seUCS4_2143 = 3, // unsupported
  seUCS4_3412 = 4, // unsupported
  se16BitBE = 5,   // 16-bit units without byte-order mark
  se16BitLE = 6,
  seUTF8 = 7,
  seUTF16BE = 8,
  seUTF16LE = 9,
  seEBCDIC = 10, // unsupported
};

struct TXmlEncodingGuess {
  int Encoding = seAnsi;
  int BomLength = 0; // bytes of byte-order mark to skip, 0 when none
};

// Looks at up to 4 bytes; see the detection table of the reader.
TXmlEncodingGuess DetectXmlEncoding(std::string_view firstBytes);

// The system code page of this program (Windows-1252) against UTF-8.
// Cp1252ToUtf8 maps every byte; the other direction reports false for
// characters the code page has no byte for.
void AppendCp1252AsUtf8(std::string &out, unsigned char byte);
bool CodePointToCp1252(uint32_t codePoint, unsigned char &byte);
std::string Cp1252ToUtf8(std::string_view bytes);
// Unmappable characters become '?'.
std::string Utf16ToCp1252(std::u16string_view text);
std::u16string Cp1252ToUtf16(std::string_view bytes);

// Reads its source in aligned 64 KiB pages; any seek is served.
class TnvBufferedReadStream : public TStream {
public:
  static constexpr int64_t PageSize = 65536;
  explicit TnvBufferedReadStream(TStream *source);
  ~TnvBufferedReadStream() override = default;
  TnvBufferedReadStream(const TnvBufferedReadStream &) = delete;
  TnvBufferedReadStream &operator=(const TnvBufferedReadStream &) = delete;

  int64_t Read(void *buffer, int64_t count) override;
  int64_t Write(const void *buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;

  // The next byte, or -1 at the end.
  int ReadByte() {
    int64_t off = FPos - FPageStart;
    if (off >= 0 && off < FPageLength) {
      ++FPos;
      return static_cast<unsigned char>(FPage[static_cast<size_t>(off)]);
    }
    return ReadByteSlow();
  }

private:
  int ReadByteSlow();
  bool LoadPage(int64_t page);

  TStream *FSource;
  std::vector<char> FPage;
  int64_t FPageStart = -1;
  int64_t FPageLength = 0;
  int64_t FPos = 0;
  int64_t FSize = -1;
};

// Collects writes in a 64 KiB buffer; flushed when full, by Flush and when
// freed. Seeks that would move are refused.
class TnvBufferedWriteStream : public TStream {
public:
  static constexpr int64_t BufferSize = 65536;
  explicit TnvBufferedWriteStream(TStream *target);
  ~TnvBufferedWriteStream() override;
  TnvBufferedWriteStream(const TnvBufferedWriteStream &) = delete;
  TnvBufferedWriteStream &operator=(const TnvBufferedWriteStream &) = delete;

  int64_t Read(void *buffer, int64_t count) override;
  int64_t Write(const void *buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;
  // Raises "Cannot write to output stream" when the target takes less.
  void Flush();

private:
  TStream *FTarget;
  std::string FBuffer;
  int64_t FBase = 0; // target position of the buffer's first byte
};

// A character codec over a byte stream: reads a file of some encoding as
// in-memory text, or writes in-memory text in a file encoding. It is either
// reading or writing, fixed by its first use. The in-memory text is UTF-8 for
// TnvUtf8Stream and the system code page for TnvAnsiStream; a "character" is
// one byte of that text.
class TnvCodecStream : public TStream {
public:
  ~TnvCodecStream() override = default;
  TnvCodecStream(const TnvCodecStream &) = delete;
  TnvCodecStream &operator=(const TnvCodecStream &) = delete;

  // The file encoding: detected when reading, chosen when writing.
  int Encoding() const { return FEncoding; }
  void SetEncoding(int encoding) {
    FEncoding = encoding;
    UpdateRaw();
  }
  bool Utf8Text() const { return FUtf8Text; }

  // Detects the encoding from the stream's first bytes (once); reading does
  // this by itself.
  void StartReading();
  // Starts reading text of a known encoding without looking for a mark.
  void StartReadingAs(int encoding);
  // Reads one character; false at the end.
  bool ReadChar(char &c) {
    if (FOutPos < FOutLength) {
      c = FOut[FOutPos++];
      Remember(c);
      return true;
    }
    if (FRaw) {
      int b = FFastSource->ReadByte();
      if (b < 0)
        return false;
      c = static_cast<char>(b);
      Remember(c);
      return true;
    }
    return ReadCharSlow(c);
  }
  // Writes text (any length).
  void WriteText(std::string_view text);
  // Writes whatever a split multi-byte sequence left over.
  void FinishWriting();
  // Position of the underlying stream.
  int64_t UnderlyingPosition();

  // TStream: one character per read; writes of any length; seeks only to ask
  // the position or size or to step back one or two characters.
  int64_t Read(void *buffer, int64_t count) override;
  int64_t Write(const void *buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t newSize) override;

  // Fired once per stream when read text loses a character.
  std::function<void(TnvCodecStream &)> OnCharLoss;

protected:
  TnvCodecStream(TStream *stream, bool utf8Text);

private:
  enum TMode { cmNone, cmReading, cmWriting };
  void Remember(char c) {
    FLast[0] = FLast[1];
    FLast[1] = c;
    if (FLastCount < 2)
      ++FLastCount;
  }
  // Bytes pass unchanged from a buffered source: no per-character decoding.
  void UpdateRaw() {
    FRaw = FMode == cmReading && FFastSource && !FHaveUnit &&
           (FEncoding == seUTF8 || (FEncoding == seAnsi && !FUtf8Text));
  }
  void NeedStream() const;
  void StartWriting();
  bool ReadCharSlow(char &c);
  int NextByte();
  bool NextUnit(uint32_t &unit);
  void Deliver(std::string_view bytes);
  void PutUnit(uint32_t unit);
  void EmitCodePoint(uint32_t cp);
  void CharLost();

  TStream *FStream;
  TnvBufferedReadStream *FFastSource = nullptr;
  bool FUtf8Text;
  bool FRaw = false;
  int FEncoding = seAnsi;
  TMode FMode = cmNone;
  // decoded bytes waiting to be delivered
  char FOut[8] = {};
  int FOutPos = 0;
  int FOutLength = 0;
  bool FHaveUnit = false; // a 16-bit unit read ahead while pairing surrogates
  uint32_t FPendingUnit = 0;
  // the last two characters delivered, for stepping back
  char FLast[2] = {};
  int FLastCount = 0;
  bool FLostReported = false;
  // writing: an unfinished UTF-8 sequence and the output collected so far
  TUtf8Decoder FDecoder;
  std::string FWriteBuf;
};

class TnvUtf8Stream : public TnvCodecStream {
public:
  explicit TnvUtf8Stream(TStream *stream) : TnvCodecStream(stream, true) {}
};

class TnvAnsiStream : public TnvCodecStream {
public:
  explicit TnvAnsiStream(TStream *stream) : TnvCodecStream(stream, false) {}
};
