#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <ft2build.h>
#include FT_FREETYPE_H

// The process-wide FreeType library and the faces opened through it. FreeType
// objects are not safe for concurrent use, so every caller holds
// FreeTypeLock() while it touches a face.

std::recursive_mutex &FreeTypeLock();

// What fontconfig chose for a face name and style.
struct TfsFaceMatch {
  FT_Face Face = nullptr;   // owned by the face cache, valid for the process
  std::string Family;       // the family actually used (e.g. "Liberation Sans" for "Arial")
  bool Substituted = false; // Family differs from the name asked for
  bool Embolden = false;    // no bold face: thicken the regular one
  bool Oblique = false;     // no italic face: slant the upright one
};

// Best installed face for name/bold/italic, or Face == nullptr when nothing
// is installed at all. Caller holds FreeTypeLock().
TfsFaceMatch MatchFontFace(const std::string &name, bool bold, bool italic);

// Family names of the installed fonts, sorted, without duplicates.
std::vector<std::string> InstalledFontFamilies();

// Applies synthetic bold and slant to a loaded outline glyph where the match
// asks for them (the advance grows with the emboldening).
void SynthesizeStyle(FT_GlyphSlot slot, const TfsFaceMatch &match);

// Ascent and descent of a face in pixels at ppem pixels per em, from the
// face's Windows metrics (its "cell" above and below the baseline) where it
// has them, else from its horizontal header.
struct TfsVerticalMetrics {
  int32_t Ascent = 0;
  int32_t Descent = 0;
};
TfsVerticalMetrics FaceVerticalMetrics(FT_Face face, double ppem);
