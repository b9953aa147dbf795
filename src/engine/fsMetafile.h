#pragma once

#include "base/fsError.h"
#include "base/fsGeometry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Windows metafiles (plain and placeable) and enhanced metafiles, read from
// their bytes: the kind, the picture's frame and pixel size, and the records
// as views into the bytes. Every record view is checked against the data, so
// a player reads a record's parameters only inside Params.

// A picture whose header cannot be read at all.
class EMetafileError : public EfsError {
public:
  using EfsError::EfsError;
};

enum TfsMetafileKind : uint8_t { mkWmf = 0, mkPlaceableWmf = 1, mkEmf = 2 };

struct TfsMetafileRecord {
  // The EMF record type, or the WMF record function.
  uint32_t Type = 0;
  // The parameters after the record's size and type fields.
  std::string_view Params;
};

class TfsMetafile {
public:
  // Raises EMetafileError "Invalid metafile" when the bytes are no metafile.
  // Records are read up to the end-of-file record; a record whose size does
  // not fit the data ends the list there (Truncated()), so a damaged file
  // still plays what came before the damage.
  void LoadFromBytes(std::string Bytes);

  TfsMetafileKind Kind() const { return FKind; }
  bool IsEnhanced() const { return FKind == mkEmf; }
  const std::vector<TfsMetafileRecord> &Records() const { return FRecords; }
  bool Truncated() const { return FTruncated; }

  // The picture's extent in hundredths of a millimetre (EMF: the header's
  // frame; placeable WMF: the bounding box at its units per inch; plain WMF:
  // the first window extent read as pixels at 96 dots per inch).
  const TRect &FrameHiMetric() const { return FFrame; }
  // The frame as pixels at Dpi dots per inch, rounded.
  int32_t PixelWidth(double Dpi = 96) const;
  int32_t PixelHeight(double Dpi = 96) const;

  // EMF: the reference device's size in pixels and millimetres, the bounds
  // in its pixels and the number of object handles.
  TSize DevicePixels() const { return FDevicePixels; }
  TSize DeviceMillimetres() const { return FDeviceMillimetres; }
  const TRect &Bounds() const { return FBounds; }
  // WMF: the logical rectangle the picture covers (placeable: the bounding
  // box; plain: the origin and extent of the first window records, empty
  // when there are none).
  const TRect &LogicalBox() const { return FLogicalBox; }
  // The size of the object table the records index (EMF nHandles, WMF
  // number of objects).
  uint32_t ObjectCount() const { return FObjectCount; }

private:
  void ReadEmf();
  void ReadWmf(size_t Start);

  std::string FBytes;
  TfsMetafileKind FKind = mkEmf;
  std::vector<TfsMetafileRecord> FRecords;
  bool FTruncated = false;
  TRect FFrame;
  TRect FBounds;
  TRect FLogicalBox;
  TSize FDevicePixels;
  TSize FDeviceMillimetres;
  uint32_t FObjectCount = 0;
};

// Little-endian reads at an offset of a record's parameters; out of range
// reads raise EMetafileError, which a player treats as a damaged record.
namespace fsmeta {
uint8_t U8(std::string_view P, size_t Offset);
uint16_t U16(std::string_view P, size_t Offset);
int16_t I16(std::string_view P, size_t Offset);
uint32_t U32(std::string_view P, size_t Offset);
int32_t I32(std::string_view P, size_t Offset);
float F32(std::string_view P, size_t Offset);
// Count items of Size bytes from Offset must lie inside P.
void Need(std::string_view P, size_t Offset, uint64_t Count, uint64_t Size);
} // namespace fsmeta
