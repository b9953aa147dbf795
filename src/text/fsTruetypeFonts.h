#pragma once

#include "base/fsError.h"
#include "base/fsStream.h"
#include "text/fsGlyphOutline.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Outline fonts of a document: every character's outline is fetched once at
// 1000 units per em, flattened, cached with its font and placed, scaled (and
// subdivided for the callers that bend text) into a polygon. The cache can be
// embedded in a document so that its texts show where a face is missing.

class TPolygon32;
class TfsFontManager;

// Font style bits.
enum TfsFontStyleBit : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

class EfsFontError : public EfsError {
public:
  using EfsError::EfsError;
};

// One character of a font, em units, origin y pointing up as the font engine
// gives it; the outline is in 16.16 em units with y pointing down.
class TfsGlyph {
public:
  char16_t Character = 0;
  int32_t Advance = 0;
  int32_t Advance2 = 0; // kept beside Advance in the embedded font file
  int32_t OriginX = 0;
  int32_t OriginY = 0;
  int32_t BlackBoxX = 0;
  int32_t BlackBoxY = 0;
  bool HasOutline = false;
  TfsContours Outline;
};

using TfsGlyphList = std::vector<std::unique_ptr<TfsGlyph>>;

class TfsFont {
public:
  TfsFont(std::string faceName, uint8_t style);
  TfsFont(const TfsFont &) = delete;
  TfsFont &operator=(const TfsFont &) = delete;

  const std::string &FaceName() const { return FFaceName; }
  uint8_t Style() const { return FStyle; }

  int32_t Ascent = 0;
  int32_t Descent = 0;
  int32_t RefCount = 0;

  // The cached glyph of ch, built from the font engine when missing.
  const TfsGlyph &Glyph(char16_t ch);
  // The cached glyph or nullptr; never asks the font engine.
  const TfsGlyph *CachedGlyph(char16_t ch) const;
  const TfsGlyphList &Glyphs() const { return FGlyphs; }
  // Adds a glyph (from an embedded font file) unless ch is already cached.
  void AddGlyph(std::unique_ptr<TfsGlyph> glyph);

  float LineHeight(float size) const { return (float(Ascent) + float(Descent)) * size / 1000.0f; }

  // Finds the face (or its substitute) and takes ascent and descent from it;
  // raises "Unable to create font with name ..." when there is none.
  void Realise();
  bool Realised() const { return FRealised; }
  // The installed family that stands in for FaceName (realising the font).
  std::string ActualFaceName();

private:
  std::string FFaceName;
  uint8_t FStyle;
  bool FRealised = false;
  TfsFaceMatch FMatch;
  TfsGlyphList FGlyphs; // sorted by character
};

using TfsFontList = std::vector<std::unique_ptr<TfsFont>>;

class TfsFontManager {
public:
  TfsFontManager() = default;
  TfsFontManager(const TfsFontManager &) = delete;
  TfsFontManager &operator=(const TfsFontManager &) = delete;

  // The font for name and style for a holder that had current (which may be
  // nullptr); nullptr for an empty name. Fonts no longer held are purged.
  TfsFont *AcquireFont(const std::string &faceName, uint8_t style, TfsFont *current);

  // The embedded font file ("Fonts.dat").
  void SaveFonts(TStream &stream) const;
  // Appends the fonts of an embedded font file; on any error nothing is
  // appended.
  void LoadFonts(TStream &stream);

  const TfsFontList &Fonts() const { return FFonts; }

private:
  TfsFontList FFonts;
};

// Where a glyph landed in the output polygon: its ink from left to right in
// 16.16 output units, and its contours.
struct TfsGlyphPlacement {
  int32_t Left = 0;
  int32_t Right = 0;
  int32_t FirstContour = 0;
  int32_t ContourCount = 0;
};
using TfsGlyphPlacementList = std::vector<TfsGlyphPlacement>;

// Measures and places text of one font at one size; made per operation.
class TfsFontRenderer {
public:
  explicit TfsFontRenderer(TfsFont *font) : Font(font) {}

  TfsFont *Font;
  bool Kerning = false;  // carried for the shapes, not used
  float WordSpacing = 0; // carried for the shapes, not used
  bool TrimFirstBearing = false;
  float CharacterSpacing = 0; // ems added to every advance
  float Size = 0;             // output length of one em
  float Step = 0;             // longest edge after subdivision; 0 = none
  TfsGlyphPlacementList *Placements = nullptr;

  float Ascent() const { return float(Font->Ascent) * Size / 1000.0f; }
  float LineHeight() const { return Font->LineHeight(Size); }

  // Pen position before every character and after the last one.
  void CharPositions(std::u16string_view text, std::vector<float> &positions);
  void TextExtent(std::u16string_view text, float &width, float &height);

  // Appends the text's contours, scaled by scale, with the pen starting at
  // (x, y) in output units.
  void AppendOutlines(std::u16string_view text, TPolygon32 &polygon, float scale, float y, float x);
  // The same into plain contours (placements index into contours).
  void AppendContours(std::u16string_view text, TfsContours &contours, float scale, float y,
                      float x);
};
