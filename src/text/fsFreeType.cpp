#include "text/fsFreeType.h"

#include "base/fsConvert.h"

#include <fontconfig/fontconfig.h>
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <tuple>

namespace {

// FreeType library, opened faces and earlier matches, for the whole process.
class TFaceCache {
public:
  TFaceCache() {
    if (FT_Init_FreeType(&FLibrary) != 0)
      FLibrary = nullptr;
    FcInit();
  }
  ~TFaceCache() {
    for (auto &[key, face] : FFaces)
      if (face)
        FT_Done_Face(face);
    if (FLibrary)
      FT_Done_FreeType(FLibrary);
    FcFini();
  }
  TFaceCache(const TFaceCache &) = delete;
  TFaceCache &operator=(const TFaceCache &) = delete;

  FT_Face Open(const std::string &file, int index) {
    auto key = std::make_pair(file, index);
    auto it = FFaces.find(key);
    if (it != FFaces.end())
      return it->second;
    FT_Face face = nullptr;
    if (FLibrary && FT_New_Face(FLibrary, file.c_str(), index, &face) != 0)
      face = nullptr;
    if (face && !FT_IS_SCALABLE(face)) {
      FT_Done_Face(face);
      face = nullptr;
    }
    if (face)
      FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    FFaces[key] = face;
    return face;
  }

  std::map<std::tuple<std::string, bool, bool>, TfsFaceMatch> Matches;

private:
  FT_Library FLibrary = nullptr;
  std::map<std::pair<std::string, int>, FT_Face> FFaces;
};

TFaceCache &Cache() {
  static TFaceCache cache;
  return cache;
}

TfsFaceMatch Lookup(const std::string &name, bool bold, bool italic) {
  TfsFaceMatch result;
  FcPattern *pat = FcPatternCreate();
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8 *>(name.c_str()));
  FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult res = FcResultNoMatch;
  FcPattern *match = FcFontMatch(nullptr, pat, &res);
  FcPatternDestroy(pat);
  if (!match)
    return result;

  FcChar8 *file = nullptr;
  int index = 0;
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    result.Face = Cache().Open(reinterpret_cast<const char *>(file), index);
  }
  // A face answers to every family name it carries; the first one names it.
  result.Substituted = true;
  FcChar8 *family = nullptr;
  for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &family) == FcResultMatch; ++i) {
    const char *f = reinterpret_cast<const char *>(family);
    if (i == 0)
      result.Family = f;
    if (SameText(name, f)) {
      result.Family = f;
      result.Substituted = false;
      break;
    }
  }
  int weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
  FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
  FcPatternGetInteger(match, FC_SLANT, 0, &slant);
  FcBool embolden = FcFalse;
  FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden);
  result.Embolden = bold && (embolden || weight < FC_WEIGHT_DEMIBOLD);
  result.Oblique = italic && slant == FC_SLANT_ROMAN;
  FcPatternDestroy(match);
  return result;
}

} // namespace

std::recursive_mutex &FreeTypeLock() {
  static std::recursive_mutex lock;
  return lock;
}

TfsFaceMatch MatchFontFace(const std::string &name, bool bold, bool italic) {
  std::lock_guard guard(FreeTypeLock());
  auto key = std::make_tuple(name, bold, italic);
  auto &matches = Cache().Matches;
  auto it = matches.find(key);
  if (it != matches.end())
    return it->second;
  TfsFaceMatch m = Lookup(name, bold, italic);
  matches[key] = m;
  return m;
}

std::vector<std::string> InstalledFontFamilies() {
  std::lock_guard guard(FreeTypeLock());
  Cache();
  std::vector<std::string> names;
  FcPattern *pat = FcPatternCreate();
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcObjectSet *os = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet *set = FcFontList(nullptr, pat, os);
  if (set) {
    for (int i = 0; i < set->nfont; ++i) {
      FcChar8 *family = nullptr;
      for (int k = 0; FcPatternGetString(set->fonts[i], FC_FAMILY, k, &family) == FcResultMatch;
           ++k)
        names.emplace_back(reinterpret_cast<const char *>(family));
    }
    FcFontSetDestroy(set);
  }
  FcObjectSetDestroy(os);
  FcPatternDestroy(pat);
  auto less = [](const std::string &a, const std::string &b) {
    int c = CompareText(a, b);
    return c != 0 ? c < 0 : a < b;
  };
  std::sort(names.begin(), names.end(), less);
  names.erase(std::unique(names.begin(), names.end(),
                          [](const std::string &a, const std::string &b) { return SameText(a, b); }),
              names.end());
  return names;
}

void SynthesizeStyle(FT_GlyphSlot slot, const TfsFaceMatch &match) {
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE)
    return;
  if (match.Oblique)
    FT_GlyphSlot_Oblique(slot);
  if (match.Embolden)
    FT_GlyphSlot_Embolden(slot);
}

TfsVerticalMetrics FaceVerticalMetrics(FT_Face face, double ppem) {
  TfsVerticalMetrics m;
  if (!face || face->units_per_EM == 0)
    return m;
  double up = 0, down = 0;
  auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && (os2->usWinAscent != 0 || os2->usWinDescent != 0)) {
    up = os2->usWinAscent;
    down = os2->usWinDescent;
  } else {
    up = face->ascender;
    down = -face->descender;
  }
  double scale = ppem / face->units_per_EM;
  m.Ascent = static_cast<int32_t>(std::lrint(up * scale));
  m.Descent = static_cast<int32_t>(std::lrint(down * scale));
  return m;
}
