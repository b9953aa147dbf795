// The embedded font file reader: any bytes either load or raise EfsError;
// what loads saves back to a file that loads to the same bytes, and its
// cached glyphs measure and place without touching the font engine.
#include "base/fsError.h"
#include "base/fsStream.h"
#include "text/fsTruetypeFonts.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  TfsFontManager manager;
  try {
    TReadOnlyMemoryStream in(std::string_view(reinterpret_cast<const char *>(data), size));
    manager.LoadFonts(in);
  } catch (const EfsError &) {
    return 0;
  }
  TMemoryStream saved;
  manager.SaveFonts(saved);
  TfsFontManager again;
  saved.SetPosition(0);
  again.LoadFonts(saved);
  TMemoryStream resaved;
  again.SaveFonts(resaved);
  if (resaved.Bytes() != saved.Bytes())
    std::abort();

  for (const auto &font : manager.Fonts()) {
    std::u16string text;
    for (const auto &g : font->Glyphs())
      if (text.size() < 16)
        text += g->Character;
    TfsFontRenderer r(font.get());
    r.Size = 12;
    r.CharacterSpacing = 0.05f;
    r.TrimFirstBearing = true;
    float w = 0, h = 0;
    r.TextExtent(text, w, h);
    std::vector<float> positions;
    r.CharPositions(text, positions);
    TfsGlyphPlacementList placements;
    r.Placements = &placements;
    TfsContours contours;
    r.AppendContours(text, contours, 1.0f, 10, 0);
    r.Step = 4;
    contours.clear();
    r.AppendContours(text, contours, 0.5f, 10, 0);
  }
  return 0;
}
