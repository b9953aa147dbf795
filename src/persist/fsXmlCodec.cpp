#include "persist/fsXmlCodec.h"

#include <algorithm>
#include <cstring>

namespace {

const char *const UnsupportedEncoding = "Unsupported string encoding";

// Windows-1252 0x80..0x9F; the five bytes the code page leaves undefined map
// to the C1 controls of the same value, as the platform's conversion does.
const uint16_t Cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

uint32_t Cp1252ToCodePoint(unsigned char b) {
  return b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : b;
}

struct TSignature {
  unsigned char Bytes[4];
  int Length;
  int Encoding;
  bool Bom;
};

const TSignature Signatures[] = {
    {{0x00, 0x00, 0xFE, 0xFF}, 4, seUCS4BE, true},
    {{0xFF, 0xFE, 0x00, 0x00}, 4, seUCS4LE, true},
    {{0x00, 0x00, 0xFF, 0xFE}, 4, seUCS4_2143, true},
    {{0xFE, 0xFF, 0x00, 0x00}, 4, seUCS4_3412, true},
    {{0xFE, 0xFF}, 2, seUTF16BE, true},
    {{0xFF, 0xFE}, 2, seUTF16LE, true},
    {{0xEF, 0xBB, 0xBF}, 3, seUTF8, true},
    {{0x00, 0x00, 0x00, 0x3C}, 4, seUCS4BE, false},
    {{0x3C, 0x00, 0x00, 0x00}, 4, seUCS4LE, false},
    {{0x00, 0x00, 0x3C, 0x00}, 4, seUCS4_2143, false},
    {{0x00, 0x3C, 0x00, 0x00}, 4, seUCS4_3412, false},
    {{0x00, 0x3C, 0x00, 0x3F}, 4, seUTF16BE, false},
    {{0x3C, 0x00, 0x3F, 0x00}, 4, seUTF16LE, false},
    {{0x3C, 0x3F, 0x78, 0x6D}, 4, seAnsi, false},
    {{0x4C, 0x6F, 0xA7, 0x94}, 4, seEBCDIC, false},
};

bool IsSixteenBit(int encoding) {
  return encoding == se16BitBE || encoding == se16BitLE || encoding == seUTF16BE ||
         encoding == seUTF16LE;
}

bool IsBigEndian(int encoding) {
  return encoding == se16BitBE || encoding == seUTF16BE;
}

bool IsSupported(int encoding) {
  return encoding == seAnsi || encoding == seUTF8 || IsSixteenBit(encoding);
}

} // namespace

TXmlEncodingGuess DetectXmlEncoding(std::string_view firstBytes) {
  size_t n = std::min<size_t>(firstBytes.size(), 4);
  for (const auto &sig : Signatures) {
    size_t len = std::min<size_t>(n, static_cast<size_t>(sig.Length));
    if (std::memcmp(firstBytes.data(), sig.Bytes, len) == 0)
      return {sig.Encoding, sig.Bom ? sig.Length : 0};
  }
  return {seAnsi, 0};
}

void AppendCp1252AsUtf8(std::string &out, unsigned char byte) {
  AppendUtf8(out, Cp1252ToCodePoint(byte));
}

bool CodePointToCp1252(uint32_t cp, unsigned char &byte) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
    byte = static_cast<unsigned char>(cp);
    return true;
  }
  for (int i = 0; i < 32; ++i)
    if (Cp1252High[i] == cp) {
      byte = static_cast<unsigned char>(0x80 + i);
      return true;
    }
  return false;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes)
    AppendCp1252AsUtf8(out, static_cast<unsigned char>(c));
  return out;
}

std::string Utf16ToCp1252(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char b = '?';
    char16_t u = text[i];
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000)
      ++i; // one character, one '?'
    else
      CodePointToCp1252(u, b);
    out.push_back(static_cast<char>(b));
  }
  return out;
}

std::u16string Cp1252ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (char c : bytes)
    out.push_back(static_cast<char16_t>(Cp1252ToCodePoint(static_cast<unsigned char>(c))));
  return out;
}



// --- TnvBufferedReadStream ---

TnvBufferedReadStream::TnvBufferedReadStream(TStream *source) : FSource(source) {
  if (!FSource)
    throw EXmlCodecError("Encoding stream unassigned");
  FPos = FSource->Position();
}

bool TnvBufferedReadStream::LoadPage(int64_t page) {
  int64_t start = page * PageSize;
  if (start == FPageStart)
    return FPageLength > 0;
  FPage.resize(static_cast<size_t>(PageSize));
  FSource->Seek(start, soBeginning);
  int64_t got = 0;
  while (got < PageSize) {
    int64_t n = FSource->Read(FPage.data() + got, PageSize - got);
    if (n <= 0)
      break;
    got += n;
  }
  FPageStart = start;
  FPageLength = got;
  return got > 0;
}

int TnvBufferedReadStream::ReadByteSlow() {
  if (!LoadPage(FPos / PageSize))
    return -1;
  int64_t off = FPos - FPageStart;
  if (off >= FPageLength)
    return -1;
  ++FPos;
  return static_cast<unsigned char>(FPage[static_cast<size_t>(off)]);
}

int64_t TnvBufferedReadStream::Read(void *buffer, int64_t count) {
  auto *out = static_cast<char *>(buffer);
  int64_t done = 0;
  while (done < count) {
    if (!LoadPage(FPos / PageSize))
      break;
    int64_t off = FPos - FPageStart;
    if (off >= FPageLength)
      break;
    int64_t n = std::min(count - done, FPageLength - off);
    std::memcpy(out + done, FPage.data() + off, static_cast<size_t>(n));
    done += n;
    FPos += n;
  }
  return done;
}

int64_t TnvBufferedReadStream::Write(const void *, int64_t) {
  throw EXmlCodecError("Cannot write to an UTF stream opened for reading");
}

int64_t TnvBufferedReadStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? FPos : Size();
  if (base + offset < 0)
    throw EStreamError("Invalid stream position");
  FPos = base + offset;
  return FPos;
}

int64_t TnvBufferedReadStream::Size() {
  if (FSize < 0)
    FSize = FSource->Size();
  return FSize;
}

void TnvBufferedReadStream::SetSize(int64_t) {
  throw EXmlCodecError("Cannot write to an UTF stream opened for reading");
}

// --- TnvBufferedWriteStream ---

TnvBufferedWriteStream::TnvBufferedWriteStream(TStream *target) : FTarget(target) {
  if (!FTarget)
    throw EXmlCodecError("Encoding stream unassigned");
  FBase = FTarget->Position();
  FBuffer.reserve(static_cast<size_t>(BufferSize));
}

TnvBufferedWriteStream::~TnvBufferedWriteStream() {
  try {
    Flush();
  } catch (const EfsError &) {
    // A failure here was already reported by the explicit Flush of the
    // writer; a destructor must not raise.
  }
}

void TnvBufferedWriteStream::Flush() {
  if (FBuffer.empty())
    return;
  int64_t n = static_cast<int64_t>(FBuffer.size());
  int64_t done = FTarget->Write(FBuffer.data(), n);
  FBuffer.clear();
  FBase += std::max<int64_t>(done, 0);
  if (done != n)
    throw EXmlCodecError("Cannot write to output stream");
}

int64_t TnvBufferedWriteStream::Read(void *, int64_t) {
  throw EXmlCodecError("Cannot read from a conversion stream opened for writing");
}

int64_t TnvBufferedWriteStream::Write(const void *buffer, int64_t count) {
  if (count <= 0)
    return 0;
  const char *p = static_cast<const char *>(buffer);
  int64_t left = count;
  while (left > 0) {
    int64_t room = BufferSize - static_cast<int64_t>(FBuffer.size());
    if (room == 0) {
      Flush();
      continue;
    }
    int64_t n = std::min(room, left);
    FBuffer.append(p, static_cast<size_t>(n));
    p += n;
    left -= n;
  }
  return count;
}

int64_t TnvBufferedWriteStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t pos = FBase + static_cast<int64_t>(FBuffer.size());
  bool stays = (origin == soCurrent && offset == 0) || (origin == soBeginning && offset == pos) ||
               (origin == soEnd && offset == 0 && pos >= FTarget->Size());
  if (!stays)
    throw EXmlCodecError("Cannot perform seek on codec stream");
  return pos;
}

int64_t TnvBufferedWriteStream::Size() {
  return std::max(FTarget->Size(), FBase + static_cast<int64_t>(FBuffer.size()));
}

void TnvBufferedWriteStream::SetSize(int64_t) {
  throw EXmlCodecError("Cannot perform seek on codec stream");
}

// --- TnvCodecStream ---

TnvCodecStream::TnvCodecStream(TStream *stream, bool utf8Text)
    : FStream(stream), FUtf8Text(utf8Text) {
  FFastSource = dynamic_cast<TnvBufferedReadStream *>(stream);
}

void TnvCodecStream::NeedStream() const {
  if (!FStream)
    throw EXmlCodecError("Encoding stream unassigned");
}

void TnvCodecStream::StartReading() {
  NeedStream();
  if (FMode == cmReading)
    return;
  if (FMode == cmWriting)
    throw EXmlCodecError("Cannot read from a conversion stream opened for writing");
  FMode = cmReading;
  int64_t start = FStream->Position();
  char head[4];
  int64_t got = 0;
  while (got < 4) {
    int64_t n = FStream->Read(head + got, 4 - got);
    if (n <= 0)
      break;
    got += n;
  }
  auto guess = DetectXmlEncoding(std::string_view(head, static_cast<size_t>(got)));
  FStream->Seek(start + guess.BomLength, soBeginning);
  FEncoding = guess.Encoding;
  UpdateRaw();
  if (FEncoding != seUCS4LE && !IsSupported(FEncoding))
    throw EXmlCodecError(UnsupportedEncoding);
}

void TnvCodecStream::StartReadingAs(int encoding) {
  NeedStream();
  if (FMode == cmWriting)
    throw EXmlCodecError("Cannot read from a conversion stream opened for writing");
  FMode = cmReading;
  FEncoding = encoding;
  UpdateRaw();
}

int TnvCodecStream::NextByte() {
  if (FFastSource)
    return FFastSource->ReadByte();
  unsigned char b;
  return FStream->Read(&b, 1) == 1 ? b : -1;
}

bool TnvCodecStream::NextUnit(uint32_t &unit) {
  if (FHaveUnit) {
    FHaveUnit = false;
    unit = FPendingUnit;
    return true;
  }
  int b0 = NextByte();
  if (b0 < 0)
    return false;
  int b1 = NextByte();
  if (b1 < 0)
    return false; // a lone trailing byte is no character
  unit = IsBigEndian(FEncoding) ? static_cast<uint32_t>(b0 << 8 | b1)
                                : static_cast<uint32_t>(b1 << 8 | b0);
  return true;
}

void TnvCodecStream::Deliver(std::string_view bytes) {
  std::memcpy(FOut, bytes.data(), bytes.size());
  FOutPos = 0;
  FOutLength = static_cast<int>(bytes.size());
}

void TnvCodecStream::CharLost() {
  if (FLostReported)
    return;
  FLostReported = true;
  if (OnCharLoss)
    OnCharLoss(*this);
}

bool TnvCodecStream::ReadCharSlow(char &c) {
  if (FMode != cmReading)
    StartReading();
  FOutPos = FOutLength = 0;
  std::string tmp;
  if (FEncoding == seAnsi || FEncoding == seUTF8) {
    int b = NextByte();
    if (b < 0)
      return false;
    if (FEncoding == seAnsi && FUtf8Text && b >= 0x80) {
      AppendCp1252AsUtf8(tmp, static_cast<unsigned char>(b));
      Deliver(tmp);
    } else {
      char one = static_cast<char>(b);
      Deliver(std::string_view(&one, 1));
    }
  } else if (IsSixteenBit(FEncoding)) {
    uint32_t unit;
    if (!NextUnit(unit))
      return false;
    if (!FUtf8Text) {
      char one = '?';
      if (unit < 256)
        one = static_cast<char>(unit);
      else
        CharLost();
      Deliver(std::string_view(&one, 1));
    } else {
      uint32_t cp = unit;
      if (unit >= 0xD800 && unit < 0xDC00) {
        uint32_t low;
        if (NextUnit(low)) {
          if (low >= 0xDC00 && low < 0xE000) {
            cp = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          } else {
            FHaveUnit = true;
            FPendingUnit = low;
            cp = 0xFFFD;
          }
        } else {
          cp = 0xFFFD;
        }
      } else if (unit >= 0xDC00 && unit < 0xE000) {
        cp = 0xFFFD;
      }
      AppendUtf8(tmp, cp);
      Deliver(tmp);
    }
  } else {
    throw EXmlCodecError(UnsupportedEncoding);
  }
  c = FOut[FOutPos++];
  Remember(c);
  return true;
}

int64_t TnvCodecStream::Read(void *buffer, int64_t count) {
  if (count <= 0)
    return 0;
  if (count > 1)
    throw EXmlCodecError("Cannot read multiple chars from conversion stream at once");
  char c;
  if (!ReadChar(c))
    return 0;
  *static_cast<char *>(buffer) = c;
  return 1;
}

void TnvCodecStream::StartWriting() {
  NeedStream();
  if (FMode == cmWriting)
    return;
  if (FMode == cmReading)
    throw EXmlCodecError("Cannot write to an UTF stream opened for reading");
  if (!IsSupported(FEncoding))
    throw EXmlCodecError(UnsupportedEncoding);
  FMode = cmWriting;
  const char *bom = FEncoding == seUTF8      ? "\xEF\xBB\xBF"
                    : FEncoding == seUTF16BE ? "\xFE\xFF"
                    : FEncoding == seUTF16LE ? "\xFF\xFE"
                                             : "";
  size_t n = std::strlen(bom);
  if (n && FStream->Write(bom, static_cast<int64_t>(n)) != static_cast<int64_t>(n))
    throw EXmlCodecError("Cannot write to output stream");
}

void TnvCodecStream::PutUnit(uint32_t unit) {
  if (IsBigEndian(FEncoding)) {
    FWriteBuf.push_back(static_cast<char>(unit >> 8));
    FWriteBuf.push_back(static_cast<char>(unit & 0xFF));
  } else {
    FWriteBuf.push_back(static_cast<char>(unit & 0xFF));
    FWriteBuf.push_back(static_cast<char>(unit >> 8));
  }
}

void TnvCodecStream::EmitCodePoint(uint32_t cp) {
  if (FEncoding == seAnsi) {
    unsigned char b;
    if (CodePointToCp1252(cp, b))
      FWriteBuf.push_back(static_cast<char>(b));
  } else if (cp >= 0x10000) {
    cp -= 0x10000;
    PutUnit(0xD800 + (cp >> 10));
    PutUnit(0xDC00 + (cp & 0x3FF));
  } else {
    PutUnit(cp);
  }
}

void TnvCodecStream::WriteText(std::string_view text) {
  if (FMode != cmWriting)
    StartWriting();
  std::string_view out = text;
  bool same = FUtf8Text ? FEncoding == seUTF8 : FEncoding == seAnsi;
  if (!same) {
    FWriteBuf.clear();
    if (FUtf8Text) {
      for (char ch : text)
        FDecoder.Put(static_cast<unsigned char>(ch), [&](char32_t cp) { EmitCodePoint(cp); });
    } else {
      for (char ch : text) {
        auto b = static_cast<unsigned char>(ch);
        if (FEncoding == seUTF8)
          AppendCp1252AsUtf8(FWriteBuf, b);
        else
          PutUnit(b);
      }
    }
    out = FWriteBuf;
  }
  if (out.empty())
    return;
  auto n = static_cast<int64_t>(out.size());
  if (FStream->Write(out.data(), n) != n)
    throw EXmlCodecError("Cannot write to output stream");
}

void TnvCodecStream::FinishWriting() {
  if (FMode != cmWriting || !FDecoder.Pending())
    return;
  FWriteBuf.clear();
  FDecoder.Finish([&](char32_t cp) { EmitCodePoint(cp); });
  auto n = static_cast<int64_t>(FWriteBuf.size());
  if (n && FStream->Write(FWriteBuf.data(), n) != n)
    throw EXmlCodecError("Cannot write to output stream");
}

int64_t TnvCodecStream::Write(const void *buffer, int64_t count) {
  if (count <= 0)
    return 0;
  WriteText(std::string_view(static_cast<const char *>(buffer), static_cast<size_t>(count)));
  return count;
}

int64_t TnvCodecStream::UnderlyingPosition() {
  NeedStream();
  return FStream->Position();
}

int64_t TnvCodecStream::Seek(int64_t offset, TSeekOrigin origin) {
  NeedStream();
  if (FMode == cmNone)
    throw EXmlCodecError("Cannot seek before reading or writing in conversion stream");
  int64_t pos = FStream->Position();
  if ((origin == soCurrent && offset == 0) || (origin == soBeginning && offset == pos))
    return pos;
  if (origin == soEnd && offset == 0)
    return Size();
  if (FMode == cmReading && origin == soCurrent && offset < 0 && -offset <= FLastCount) {
    int n = static_cast<int>(-offset);
    char again[8];
    int len = 0;
    for (int i = 2 - n; i < 2; ++i)
      again[len++] = FLast[i];
    for (int i = FOutPos; i < FOutLength; ++i)
      again[len++] = FOut[i];
    std::memcpy(FOut, again, static_cast<size_t>(len));
    FOutPos = 0;
    FOutLength = len;
    FLastCount -= n;
    if (FLastCount == 1)
      FLast[1] = FLast[0];
    return pos;
  }
  throw EXmlCodecError("Cannot perform seek on codec stream");
}

int64_t TnvCodecStream::Size() {
  NeedStream();
  return FStream->Size();
}

void TnvCodecStream::SetSize(int64_t) {
  throw EXmlCodecError("Cannot perform seek on codec stream");
}
