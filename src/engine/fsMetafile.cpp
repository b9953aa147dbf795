#include "engine/fsMetafile.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace fsmeta {

namespace {
[[noreturn]] void Damaged() {
  throw EMetafileError("Invalid metafile record");
}
} // namespace

void Need(std::string_view P, size_t Offset, uint64_t Count, uint64_t Size) {
  if (Offset > P.size() || (Size != 0 && Count > (P.size() - Offset) / Size))
    Damaged();
}

uint8_t U8(std::string_view P, size_t Offset) {
  Need(P, Offset, 1, 1);
  return static_cast<uint8_t>(P[Offset]);
}

uint16_t U16(std::string_view P, size_t Offset) {
  Need(P, Offset, 1, 2);
  return static_cast<uint16_t>(static_cast<uint8_t>(P[Offset]) |
                               (static_cast<uint8_t>(P[Offset + 1]) << 8));
}

int16_t I16(std::string_view P, size_t Offset) {
  return static_cast<int16_t>(U16(P, Offset));
}

uint32_t U32(std::string_view P, size_t Offset) {
  Need(P, Offset, 1, 4);
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i)
    v = (v << 8) | static_cast<uint8_t>(P[Offset + i]);
  return v;
}

int32_t I32(std::string_view P, size_t Offset) {
  return static_cast<int32_t>(U32(P, Offset));
}

float F32(std::string_view P, size_t Offset) {
  const uint32_t bits = U32(P, Offset);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

} // namespace fsmeta

namespace {

using namespace fsmeta;

constexpr uint32_t PlaceableKey = 0x9AC6CDD7;
constexpr uint32_t EmfSignature = 0x464D4520; // " EMF"
constexpr uint32_t EmrHeader = 1;
constexpr uint32_t EmrEof = 14;
constexpr uint16_t MetaEof = 0x0000;
constexpr uint16_t MetaSetWindowOrg = 0x020B;
constexpr uint16_t MetaSetWindowExt = 0x020C;
constexpr size_t WmfHeaderSize = 18;
constexpr size_t PlaceableSize = 22;
constexpr size_t EmfHeaderMin = 88;

[[noreturn]] void Invalid() {
  throw EMetafileError("Invalid metafile");
}

TRect ReadRectL(std::string_view P, size_t Offset) {
  return Rect(I32(P, Offset), I32(P, Offset + 4), I32(P, Offset + 8), I32(P, Offset + 12));
}

int32_t ToPixels(int32_t HiMetric, double Dpi) {
  return static_cast<int32_t>(std::lrint(std::abs(double(HiMetric)) * Dpi / 2540.0));
}

} // namespace

void TfsMetafile::LoadFromBytes(std::string Bytes) {
  FBytes = std::move(Bytes);
  FRecords.clear();
  FTruncated = false;
  FFrame = FBounds = FLogicalBox = TRect();
  FDevicePixels = FDeviceMillimetres = TSize();
  FObjectCount = 0;
  const std::string_view b(FBytes);
  if (b.size() >= 4 && U32(b, 0) == PlaceableKey) {
    if (b.size() < PlaceableSize + WmfHeaderSize)
      Invalid();
    FKind = mkPlaceableWmf;
    FLogicalBox = Rect(I16(b, 6), I16(b, 8), I16(b, 10), I16(b, 12));
    uint32_t inch = U16(b, 14);
    if (inch == 0)
      inch = 1440; // the usual twips; a zero would make the frame meaningless
    auto hiMetric = [&](int32_t v) {
      return static_cast<int32_t>(std::lrint(double(v) * 2540.0 / inch));
    };
    FFrame = Rect(hiMetric(FLogicalBox.Left), hiMetric(FLogicalBox.Top),
                  hiMetric(FLogicalBox.Right), hiMetric(FLogicalBox.Bottom));
    ReadWmf(PlaceableSize);
    return;
  }
  if (b.size() >= 44 && U32(b, 0) == EmrHeader && U32(b, 40) == EmfSignature) {
    FKind = mkEmf;
    ReadEmf();
    return;
  }
  if (b.size() >= WmfHeaderSize && (U16(b, 0) == 1 || U16(b, 0) == 2) && U16(b, 2) == 9) {
    FKind = mkWmf;
    ReadWmf(0);
    // Without a placeable header the window records are all there is to
    // size the picture with.
    bool haveOrg = false, haveExt = false;
    for (const TfsMetafileRecord &r : FRecords) {
      if (r.Params.size() < 4)
        continue;
      if (r.Type == MetaSetWindowOrg && !haveOrg) {
        FLogicalBox.Left = I16(r.Params, 2);
        FLogicalBox.Top = I16(r.Params, 0);
        haveOrg = true;
      } else if (r.Type == MetaSetWindowExt && !haveExt) {
        FLogicalBox.Right = I16(r.Params, 2);
        FLogicalBox.Bottom = I16(r.Params, 0);
        haveExt = true;
      }
    }
    if (!haveExt)
      FLogicalBox = TRect();
    else {
      FLogicalBox.Right += FLogicalBox.Left;
      FLogicalBox.Bottom += FLogicalBox.Top;
      auto hiMetric = [](int32_t v) {
        return static_cast<int32_t>(std::lrint(double(v) * 2540.0 / 96.0));
      };
      FFrame = Rect(hiMetric(FLogicalBox.Left), hiMetric(FLogicalBox.Top),
                    hiMetric(FLogicalBox.Right), hiMetric(FLogicalBox.Bottom));
    }
    return;
  }
  Invalid();
}

void TfsMetafile::ReadEmf() {
  const std::string_view b(FBytes);
  const uint32_t headerSize = U32(b, 4);
  if (headerSize < EmfHeaderMin || headerSize > b.size())
    Invalid();
  FBounds = ReadRectL(b, 8);
  FFrame = ReadRectL(b, 24);
  FObjectCount = U16(b, 56);
  FDevicePixels = {I32(b, 72), I32(b, 76)};
  FDeviceMillimetres = {I32(b, 80), I32(b, 84)};
  size_t pos = 0;
  while (pos + 8 <= b.size()) {
    const uint32_t type = U32(b, pos);
    const uint32_t size = U32(b, pos + 4);
    if (size < 8 || size > b.size() - pos) {
      FTruncated = true;
      return;
    }
    FRecords.push_back({type, b.substr(pos + 8, size - 8)});
    pos += size;
    if (type == EmrEof)
      return;
  }
  FTruncated = true;
}

void TfsMetafile::ReadWmf(size_t Start) {
  const std::string_view b(FBytes);
  const uint16_t headerWords = U16(b, Start + 2);
  if (headerWords != 9 || (U16(b, Start) != 1 && U16(b, Start) != 2))
    Invalid();
  FObjectCount = U16(b, Start + 10);
  size_t pos = Start + WmfHeaderSize;
  while (pos + 6 <= b.size()) {
    const uint64_t size = uint64_t(U32(b, pos)) * 2;
    const uint16_t function = U16(b, pos + 4);
    if (size < 6 || size > b.size() - pos) {
      // Many writers end with a bare three-word EOF record; anything else
      // that does not fit is damage.
      FTruncated = function != MetaEof;
      return;
    }
    FRecords.push_back({function, b.substr(pos + 6, static_cast<size_t>(size) - 6)});
    pos += static_cast<size_t>(size);
    if (function == MetaEof)
      return;
  }
  FTruncated = true;
}

int32_t TfsMetafile::PixelWidth(double Dpi) const {
  return ToPixels(FFrame.Right - FFrame.Left, Dpi);
}

int32_t TfsMetafile::PixelHeight(double Dpi) const {
  return ToPixels(FFrame.Bottom - FFrame.Top, Dpi);
}
