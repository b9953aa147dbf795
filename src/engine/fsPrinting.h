#pragma once

#include "base/fsGeometry.h"
#include "raster/fsGR32.h"

#include <cstdint>
#include <string>

class TfsPage;

// A printer as the document prints onto it: a sheet of device pixels whose
// printable area starts at the physical offset, a document of pages, and
// bitmap bands drawn into device rectangles (in the printable area's
// coordinates). Later kinds of marks (crop marks of sheets) come as further
// drawing calls beside DrawBand.
class TfsPrinter {
public:
  virtual ~TfsPrinter() = default;

  // The whole sheet, in device pixels.
  virtual TSize PhysicalSize() const = 0;
  // Where the printable area starts on the sheet.
  virtual TPoint PhysicalOffset() const = 0;
  // Device pixels per mm.
  virtual float DeviceDpm() const = 0;
  virtual void BeginDoc(const std::string &title) = 0;
  virtual void NewPage() = 0;
  virtual void EndDoc() = 0;
  // Draws the band, rows top-down, stretched to the device rectangle.
  // Neighbouring bands share their edges exactly.
  virtual void DrawBand(const TBitmap32 &band, const TRect &deviceRect) = 0;
};

// Largest band printed at once, in source pixels: bounds the memory of a
// page printed at 600 dpi.
constexpr int64_t MaxBandPixels = 1920000;

// Prints the page into the device rectangle sheet (device pixels) at dpm
// source pixels per mm (0: the device's own density), turned by rotation
// quarter turns (1 a quarter to the left, 2 half, 3 a quarter to the right)
// and mirrored. Nothing for a page without a document.
void PrintPage(TfsPage &page, TfsPrinter &printer, const TRect &sheet, bool mirrorX, bool mirrorY,
               int rotation, float dpm);
// The same at 150 dpi.
void PrintPageDefault(TfsPage &page, TfsPrinter &printer, const TRect &sheet, bool mirrorX,
                      bool mirrorY, int rotation);
