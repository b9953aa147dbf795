#pragma once

#include "engine/fsPrinting.h"

#include <string>
#include <vector>

// A printer under test: it records the band rectangles and, when asked,
// composes the bands 1:1 onto a sheet bitmap (device pixel (0, 0) of the
// printable area at Origin).
class TFakePrinter : public TfsPrinter {
public:
  TSize Size{1000, 1000};
  TPoint Offset{0, 0};
  float Dpm = 5.905512f;
  bool Compose = false;
  TPoint Origin{0, 0};
  TBitmap32 Sheet;
  std::vector<TRect> Bands;
  std::vector<TSize> BandSizes;
  std::vector<std::string> Calls;

  TSize PhysicalSize() const override { return Size; }
  TPoint PhysicalOffset() const override { return Offset; }
  float DeviceDpm() const override { return Dpm; }
  void BeginDoc(const std::string &) override { Calls.push_back("begin"); }
  void NewPage() override { Calls.push_back("page"); }
  void EndDoc() override { Calls.push_back("end"); }
  void DrawBand(const TBitmap32 &band, const TRect &rect) override {
    Calls.push_back("band");
    Bands.push_back(rect);
    BandSizes.push_back({band.Width(), band.Height()});
    if (!Compose)
      return;
    for (int32_t y = 0; y < band.Height() && y < rect.Height(); ++y)
      for (int32_t x = 0; x < band.Width() && x < rect.Width(); ++x) {
        const int32_t sx = Origin.X + rect.Left + x, sy = Origin.Y + rect.Top + y;
        if (sx >= 0 && sy >= 0 && sx < Sheet.Width() && sy < Sheet.Height())
          Sheet.SetPixel(sx, sy, band.GetPixel(x, y));
      }
  }
};
