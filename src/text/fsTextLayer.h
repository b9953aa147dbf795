#pragma once

#include "raster/fsGR32.h"

#include <string>
#include <string_view>
#include <vector>

// The platform text of TBitmap32 on FreeType and fontconfig: fonts chosen by
// face name, style and pixel height (a missing face is replaced by
// fontconfig's best match), grey-scale antialiased drawing, and measuring
// with the very same glyph advances.
//
// Font height follows the platform's convention: positive is the cell height
// (ascent + descent), negative the character height (pixels per em), 0 the
// default of 13 pixels per em.

class TfsTextLayer : public TBitmap32TextBackend {
public:
  TSize TextExtent(const TBitmap32Font &Font, std::string_view Text) override;
  int32_t DrawText(TBitmap32 &Bitmap, const TBitmap32Font &Font, std::string_view Text, TRect &Rect,
                   uint32_t Flags) override;
  std::vector<std::string> FontFamilies() override;
};

// Installs the text layer into TBitmap32 (idempotent). Programs and tests
// call it before any text operation.
void InstallTextLayer();

// The process's text layer.
TfsTextLayer &TextLayer();

// The installed family that draws Font (e.g. "Liberation Sans" for "Arial");
// raises "Unable to create font with name ..." when no font is installed.
std::string TextLayerFaceName(const TBitmap32Font &Font);

// Ascent and descent in pixels of Font as the text layer draws it.
struct TTextLayerMetrics {
  int32_t Ascent = 0;
  int32_t Descent = 0;
  double PixelsPerEm = 0;
};
TTextLayerMetrics TextLayerMetrics(const TBitmap32Font &Font);
