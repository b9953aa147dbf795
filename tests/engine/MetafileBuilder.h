#pragma once

// Writes small WMF and EMF files for the metafile tests, record by record:
// the tests say which records a picture has, the builder adds the headers,
// the sizes and the end-of-file record.

#include "base/fsGeometry.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace mftest {

// The parameters of one record, appended in the order the format lists them.
class TParams {
public:
  TParams &U8(uint8_t v) {
    FBytes.push_back(static_cast<char>(v));
    return *this;
  }
  TParams &U16(uint32_t v) {
    for (int i = 0; i < 2; ++i)
      FBytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return *this;
  }
  TParams &I16(int32_t v) { return U16(static_cast<uint32_t>(v) & 0xFFFF); }
  TParams &U32(uint32_t v) {
    for (int i = 0; i < 4; ++i)
      FBytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return *this;
  }
  TParams &I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  TParams &F32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    return U32(bits);
  }
  TParams &RectL(int32_t l, int32_t t, int32_t r, int32_t b) { return I32(l).I32(t).I32(r).I32(b); }
  TParams &Bytes(std::string_view b) {
    FBytes.append(b);
    return *this;
  }
  TParams &Utf16(std::u16string_view s) {
    for (char16_t c : s)
      U16(c);
    return *this;
  }
  size_t Size() const { return FBytes.size(); }
  const std::string &Str() const { return FBytes; }

private:
  std::string FBytes;
};

// COLORREF of an RGB value.
constexpr uint32_t Ref(uint32_t rgb) {
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

// A DIB: a BITMAPINFOHEADER (24 bits, bottom-up unless topDown) and its
// rows; Pixels are $RRGGBB, top row first.
struct TDib {
  std::string Header;
  std::string Bits;
};

inline TDib Dib24(int32_t w, int32_t h, const std::vector<uint32_t> &pixels, bool topDown = false) {
  TDib d;
  TParams hp;
  hp.U32(40).I32(w).I32(topDown ? -h : h).U16(1).U16(24).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);
  d.Header = hp.Str();
  const int32_t stride = (w * 3 + 3) / 4 * 4;
  d.Bits.assign(static_cast<size_t>(stride) * h, '\0');
  for (int32_t y = 0; y < h; ++y) {
    const int32_t row = topDown ? y : h - 1 - y;
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t c = pixels[static_cast<size_t>(y) * w + x];
      char *p = &d.Bits[static_cast<size_t>(row) * stride + x * 3];
      p[0] = static_cast<char>(c & 0xFF);
      p[1] = static_cast<char>((c >> 8) & 0xFF);
      p[2] = static_cast<char>((c >> 16) & 0xFF);
    }
  }
  return d;
}

// Enhanced metafiles. The reference device is 1000 x 1000 pixels on
// 100 x 100 mm, so a frame of 0..1000 hundredths of a millimetre is 100
// reference pixels wide.
class TEmfBuilder {
public:
  explicit TEmfBuilder(TRect frame = Rect(0, 0, 1000, 1000), uint16_t handles = 16)
      : FFrame(frame), FHandles(handles) {}

  TEmfBuilder &Add(uint32_t type, const TParams &p = TParams()) {
    FRecords.push_back({type, p.Str()});
    return *this;
  }
  // Record offsets are counted from the record's start: 8 bytes before its
  // parameters.
  static uint32_t Offset(size_t paramOffset) { return static_cast<uint32_t>(paramOffset + 8); }

  // The file; with eof false the end-of-file record is left out.
  std::string Bytes(bool eof = true) const {
    std::string body;
    size_t count = 1;
    for (const auto &r : FRecords) {
      AppendRecord(body, r.Type, r.Params);
      ++count;
    }
    if (eof) {
      TParams e;
      e.U32(0).U32(16).U32(20);
      AppendRecord(body, 14, e.Str());
      ++count;
    }
    TParams h;
    h.RectL(0, 0, 99, 99);
    h.RectL(FFrame.Left, FFrame.Top, FFrame.Right, FFrame.Bottom);
    h.U32(0x464D4520).U32(0x10000);
    h.U32(static_cast<uint32_t>(88 + body.size())).U32(static_cast<uint32_t>(count));
    h.U16(FHandles).U16(0).U32(0).U32(0).U32(0);
    h.I32(1000).I32(1000).I32(100).I32(100);
    std::string out;
    AppendRecord(out, 1, h.Str());
    return out + body;
  }

  // Offsets of every record in Bytes(eof), the header's first.
  std::vector<size_t> RecordStarts(bool eof = true) const {
    std::vector<size_t> starts{0};
    size_t pos = 88;
    for (const auto &r : FRecords) {
      starts.push_back(pos);
      pos += 8 + Padded(r.Params.size());
    }
    if (eof)
      starts.push_back(pos);
    return starts;
  }

private:
  static size_t Padded(size_t n) { return (n + 3) / 4 * 4; }
  static void AppendRecord(std::string &out, uint32_t type, const std::string &params) {
    TParams p;
    p.U32(type).U32(static_cast<uint32_t>(8 + Padded(params.size())));
    out += p.Str();
    out += params;
    out.append(Padded(params.size()) - params.size(), '\0');
  }

  struct TRecord {
    uint32_t Type;
    std::string Params;
  };
  TRect FFrame;
  uint16_t FHandles;
  std::vector<TRecord> FRecords;
};

// Windows metafiles, placeable (with a bounding box in units per inch) or
// plain. WMF records list their parameters last first; the tests write them
// in the order of the file.
class TWmfBuilder {
public:
  // A placeable file with this bounding box.
  TWmfBuilder(TRect box, uint16_t inch = 1000, uint16_t objects = 8)
      : FPlaceable(true), FBox(box), FInch(inch), FObjects(objects) {}
  // A plain file.
  explicit TWmfBuilder(uint16_t objects = 8) : FObjects(objects) {}

  TWmfBuilder &Add(uint16_t function, const TParams &p = TParams()) {
    std::string params = p.Str();
    if (params.size() % 2)
      params.push_back('\0');
    FRecords.push_back({function, params});
    return *this;
  }

  std::string Bytes(bool eof = true) const {
    std::string body;
    uint32_t maxRecord = 3;
    for (const auto &r : FRecords) {
      TParams h;
      const uint32_t words = static_cast<uint32_t>(3 + r.Params.size() / 2);
      maxRecord = std::max(maxRecord, words);
      h.U32(words).U16(r.Function);
      body += h.Str() + r.Params;
    }
    if (eof)
      body += TParams().U32(3).U16(0).Str();
    TParams h;
    h.U16(1).U16(9).U16(0x300).U32(static_cast<uint32_t>((18 + body.size()) / 2));
    h.U16(FObjects).U32(maxRecord).U16(0);
    std::string out;
    if (FPlaceable) {
      TParams ph;
      ph.U32(0x9AC6CDD7).U16(0).I16(FBox.Left).I16(FBox.Top).I16(FBox.Right).I16(FBox.Bottom);
      ph.U16(FInch).U32(0);
      uint16_t sum = 0;
      for (size_t i = 0; i < ph.Size(); i += 2)
        sum ^= static_cast<uint16_t>(static_cast<uint8_t>(ph.Str()[i]) |
                                     (static_cast<uint8_t>(ph.Str()[i + 1]) << 8));
      ph.U16(sum);
      out = ph.Str();
    }
    return out + h.Str() + body;
  }

  std::vector<size_t> RecordStarts(bool eof = true) const {
    std::vector<size_t> starts;
    size_t pos = (FPlaceable ? 22 : 0) + 18;
    for (const auto &r : FRecords) {
      starts.push_back(pos);
      pos += 6 + r.Params.size();
    }
    if (eof)
      starts.push_back(pos);
    return starts;
  }

private:
  struct TRecord {
    uint16_t Function;
    std::string Params;
  };
  bool FPlaceable = false;
  TRect FBox;
  uint16_t FInch = 1000;
  uint16_t FObjects = 8;
  std::vector<TRecord> FRecords;
};

// EMF record types and WMF functions the tests write.
namespace emr {
enum : uint32_t {
  PolyBezier = 2,
  Polygon = 3,
  Polyline = 4,
  PolylineTo = 6,
  PolyPolygon = 8,
  SetWindowExtEx = 9,
  SetWindowOrgEx = 10,
  SetViewportExtEx = 11,
  SetViewportOrgEx = 12,
  SetMapMode = 17,
  SetBkMode = 18,
  SetPolyFillMode = 19,
  SetTextAlign = 22,
  SetTextColor = 24,
  SetBkColor = 25,
  MoveToEx = 27,
  ExcludeClipRect = 29,
  IntersectClipRect = 30,
  SaveDc = 33,
  RestoreDc = 34,
  SetWorldTransform = 35,
  ModifyWorldTransform = 36,
  SelectObject = 37,
  CreatePen = 38,
  CreateBrushIndirect = 39,
  DeleteObject = 40,
  Ellipse = 42,
  Rectangle = 43,
  RoundRect = 44,
  Arc = 45,
  Chord = 46,
  Pie = 47,
  LineTo = 54,
  BeginPath = 59,
  EndPath = 60,
  CloseFigure = 61,
  FillPath = 62,
  StrokeAndFillPath = 63,
  StrokePath = 64,
  SelectClipPath = 67,
  GdiComment = 70,
  ExtSelectClipRgn = 75,
  BitBlt = 76,
  StretchDiBits = 81,
  ExtCreateFontIndirectW = 82,
  ExtTextOutW = 84,
  Polygon16 = 86,
  Polyline16 = 87,
  PolyPolygon16 = 91,
  CreateDibPatternBrushPt = 94,
  ExtCreatePen = 95,
};
} // namespace emr

namespace meta {
enum : uint16_t {
  SaveDc = 0x001E,
  CreatePalette = 0x00F7,
  SetBkMode = 0x0102,
  SetMapMode = 0x0103,
  RestoreDc = 0x0127,
  SelectObject = 0x012D,
  SetTextAlign = 0x012E,
  DeleteObject = 0x01F0,
  SetBkColor = 0x0201,
  SetTextColor = 0x0209,
  SetWindowOrg = 0x020B,
  SetWindowExt = 0x020C,
  LineTo = 0x0213,
  MoveTo = 0x0214,
  CreatePenIndirect = 0x02FA,
  CreateFontIndirect = 0x02FB,
  CreateBrushIndirect = 0x02FC,
  Polygon = 0x0324,
  Polyline = 0x0325,
  ExcludeClipRect = 0x0415,
  IntersectClipRect = 0x0416,
  Ellipse = 0x0418,
  Rectangle = 0x041B,
  TextOut = 0x0521,
  PolyPolygon = 0x0538,
  PatBlt = 0x061D,
  ExtTextOut = 0x0A32,
  StretchDib = 0x0F43,
};
} // namespace meta

} // namespace mftest
