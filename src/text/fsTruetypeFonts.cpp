#include "text/fsTruetypeFonts.h"

#include "raster/fsGR32_Polygons.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr const char *FontFileCorrupt = "Font file is corrupt or incorrect";
constexpr uint16_t FontFileVersion = 256;

// Rounds halves to even and saturates, so that absurd sizes from a damaged
// document cannot overflow the 16.16 coordinates.
int32_t RoundSat(double v) {
  if (std::isnan(v))
    return 0;
  v = std::clamp(v, double(std::numeric_limits<int32_t>::min()),
                 double(std::numeric_limits<int32_t>::max()));
  return static_cast<int32_t>(std::clamp<long long>(std::llrint(v), INT32_MIN, INT32_MAX));
}

double SignedArea(const TfsContours &contours) {
  double sum = 0;
  for (const auto &c : contours)
    for (size_t i = 0; i < c.size(); ++i) {
      const auto &p = c[i], &q = c[(i + 1) % c.size()];
      sum += double(p.X) * q.Y - double(q.X) * p.Y;
    }
  return sum;
}

// Little-endian writer and a reader that refuses counts the remaining bytes
// cannot hold, so a damaged file never makes us allocate what it cannot back.
class TWriter {
public:
  void U8(uint8_t v) { FBytes.push_back(char(v)); }
  void U16(uint16_t v) {
    U8(uint8_t(v));
    U8(uint8_t(v >> 8));
  }
  void I32(int32_t v) {
    uint32_t u = uint32_t(v);
    for (int i = 0; i < 4; ++i)
      U8(uint8_t(u >> (8 * i)));
  }
  void Bytes(std::string_view b) { FBytes.append(b); }
  const std::string &Data() const { return FBytes; }

private:
  std::string FBytes;
};

class TReader {
public:
  explicit TReader(std::string_view data) : FData(data) {}
  size_t Remaining() const { return FData.size() - FPos; }
  std::string_view Bytes(size_t n) {
    if (n > Remaining())
      throw EfsFontError(FontFileCorrupt);
    auto r = FData.substr(FPos, n);
    FPos += n;
    return r;
  }
  uint8_t U8() { return uint8_t(Bytes(1)[0]); }
  uint16_t U16() {
    auto b = Bytes(2);
    return uint16_t(uint8_t(b[0]) | (uint8_t(b[1]) << 8));
  }
  int32_t I32() {
    auto b = Bytes(4);
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
      u |= uint32_t(uint8_t(b[i])) << (8 * i);
    return int32_t(u);
  }
  // A count of items that take at least minSize bytes each.
  size_t Count(size_t minSize) {
    int32_t n = I32();
    if (n < 0 || size_t(n) > Remaining() / minSize)
      throw EfsFontError(FontFileCorrupt);
    return size_t(n);
  }

private:
  std::string_view FData;
  size_t FPos = 0;
};

// Smallest encodings: a font without name and glyphs, a glyph without
// outline, an empty contour, a point.
constexpr size_t MinFontBytes = 4 + 1 + 4 * 3 + 4;
constexpr size_t MinGlyphBytes = 2 + 4 * 6 + 1;
constexpr size_t MinContourBytes = 4;
constexpr size_t PointBytes = 8;

} // namespace

// ---------------------------------------------------------------------------
// TfsFont

TfsFont::TfsFont(std::string faceName, uint8_t style)
    : FFaceName(std::move(faceName)), FStyle(style) {}

const TfsGlyph *TfsFont::CachedGlyph(char16_t ch) const {
  auto it = std::lower_bound(FGlyphs.begin(), FGlyphs.end(), ch,
                             [](const auto &g, char16_t c) { return g->Character < c; });
  return it != FGlyphs.end() && (*it)->Character == ch ? it->get() : nullptr;
}

void TfsFont::AddGlyph(std::unique_ptr<TfsGlyph> glyph) {
  auto it = std::lower_bound(FGlyphs.begin(), FGlyphs.end(), glyph->Character,
                             [](const auto &g, char16_t c) { return g->Character < c; });
  if (it != FGlyphs.end() && (*it)->Character == glyph->Character)
    return;
  FGlyphs.insert(it, std::move(glyph));
}

void TfsFont::Realise() {
  if (FRealised)
    return;
  TfsFaceMatch match = MatchFontFace(FFaceName, FStyle & fsBold, FStyle & fsItalic);
  if (!match.Face)
    throw EfsFontError("Unable to create font with name \"" + FFaceName + "\"");
  FMatch = match;
  FRealised = true;
  std::lock_guard guard(FreeTypeLock());
  TfsVerticalMetrics m = FaceVerticalMetrics(FMatch.Face, OutlineUnitsPerEm);
  Ascent = m.Ascent;
  Descent = m.Descent;
}

std::string TfsFont::ActualFaceName() {
  Realise();
  return FMatch.Family;
}

const TfsGlyph &TfsFont::Glyph(char16_t ch) {
  if (const TfsGlyph *g = CachedGlyph(ch))
    return *g;
  Realise();
  auto glyph = std::make_unique<TfsGlyph>();
  glyph->Character = ch;
  TfsGlyphShape shape;
  if (LoadGlyphShape(FMatch, ch, shape)) {
    glyph->Advance = glyph->Advance2 = shape.Advance;
    glyph->OriginX = shape.OriginX;
    glyph->OriginY = shape.OriginY;
    glyph->BlackBoxX = shape.BlackBoxX;
    glyph->BlackBoxY = shape.BlackBoxY;
    glyph->HasOutline = shape.HasOutline;
    glyph->Outline = std::move(shape.Contours);
  }
  const TfsGlyph *result = glyph.get();
  AddGlyph(std::move(glyph));
  return *result;
}

// ---------------------------------------------------------------------------
// TfsFontManager

TfsFont *TfsFontManager::AcquireFont(const std::string &faceName, uint8_t style, TfsFont *current) {
  if (faceName.empty())
    return nullptr;
  if (current) {
    if (current->FaceName() == faceName && current->Style() == style)
      return current;
    --current->RefCount;
    std::erase_if(FFonts, [](const auto &f) { return f->RefCount <= 0; });
  }
  for (auto &f : FFonts)
    if (f->FaceName() == faceName && f->Style() == style) {
      ++f->RefCount;
      return f.get();
    }
  auto font = std::make_unique<TfsFont>(faceName, style);
  font->Realise();
  font->RefCount = 1;
  FFonts.push_back(std::move(font));
  return FFonts.back().get();
}

void TfsFontManager::SaveFonts(TStream &stream) const {
  TWriter w;
  w.Bytes("FNT");
  w.U16(FontFileVersion);
  w.I32(int32_t(FFonts.size()));
  for (const auto &f : FFonts) {
    w.I32(int32_t(f->FaceName().size()));
    w.Bytes(f->FaceName());
    w.U8(f->Style());
    w.I32(f->Ascent);
    w.I32(f->Descent);
    w.I32(f->RefCount);
    w.I32(int32_t(f->Glyphs().size()));
    for (const auto &g : f->Glyphs()) {
      w.U16(g->Character);
      for (int32_t v :
           {g->Advance, g->Advance2, g->OriginX, g->OriginY, g->BlackBoxX, g->BlackBoxY})
        w.I32(v);
      w.U8(g->HasOutline ? 1 : 0);
      if (!g->HasOutline)
        continue;
      w.I32(int32_t(g->Outline.size()));
      for (const auto &c : g->Outline) {
        w.I32(int32_t(c.size()));
        for (const auto &p : c) {
          w.I32(p.X);
          w.I32(p.Y);
        }
      }
    }
  }
  stream.WriteBytes(w.Data());
}

void TfsFontManager::LoadFonts(TStream &stream) {
  std::string bytes = stream.ReadRemaining();
  TReader r(bytes);
  if (r.Remaining() < 3 || r.Bytes(3) != "FNT")
    throw EfsFontError(FontFileCorrupt);
  if (r.Remaining() < 2 || r.U16() != FontFileVersion)
    throw EfsFontError("Font file has unknown version");
  TfsFontList loaded;
  size_t fontCount = r.Count(MinFontBytes);
  for (size_t i = 0; i < fontCount; ++i) {
    size_t nameLength = r.Count(1);
    std::string name(r.Bytes(nameLength));
    uint8_t style = r.U8();
    auto font = std::make_unique<TfsFont>(std::move(name), style);
    font->Ascent = r.I32();
    font->Descent = r.I32();
    font->RefCount = r.I32();
    size_t glyphCount = r.Count(MinGlyphBytes);
    for (size_t k = 0; k < glyphCount; ++k) {
      auto g = std::make_unique<TfsGlyph>();
      g->Character = r.U16();
      g->Advance = r.I32();
      g->Advance2 = r.I32();
      g->OriginX = r.I32();
      g->OriginY = r.I32();
      g->BlackBoxX = r.I32();
      g->BlackBoxY = r.I32();
      g->HasOutline = r.U8() != 0;
      if (g->HasOutline) {
        g->Outline.resize(r.Count(MinContourBytes));
        for (auto &c : g->Outline) {
          c.resize(r.Count(PointBytes));
          for (auto &p : c) {
            p.X = r.I32();
            p.Y = r.I32();
          }
        }
      }
      font->AddGlyph(std::move(g));
    }
    loaded.push_back(std::move(font));
  }
  for (auto &f : loaded)
    FFonts.push_back(std::move(f));
}

// ---------------------------------------------------------------------------
// TfsFontRenderer

void TfsFontRenderer::CharPositions(std::u16string_view text, std::vector<float> &positions) {
  positions.assign(text.size() + 1, 0.0f);
  float s = Size / float(OutlineUnitsPerEm);
  float x = 0;
  if (TrimFirstBearing && !text.empty()) {
    const TfsGlyph &g = Font->Glyph(text[0]);
    if (g.OriginX < 0)
      x = -s * float(g.OriginX);
  }
  for (size_t i = 0; i < text.size(); ++i) {
    positions[i] = x;
    x = x + s * (CharacterSpacing * float(OutlineUnitsPerEm) + float(Font->Glyph(text[i]).Advance));
  }
  positions[text.size()] = x;
}

void TfsFontRenderer::TextExtent(std::u16string_view text, float &width, float &height) {
  height = LineHeight();
  float w = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const TfsGlyph &g = Font->Glyph(text[i]);
    if (TrimFirstBearing) {
      if (i == 0 && g.OriginX < 0)
        w -= float(g.OriginX);
      if (i + 1 == text.size())
        w += float(g.OriginX) + float(g.BlackBoxX) - float(g.Advance);
    }
    w += float(g.Advance);
  }
  if (CharacterSpacing != 0 && text.size() > 1)
    w += float(text.size() - 1) * CharacterSpacing * float(OutlineUnitsPerEm);
  width = w * Size / float(OutlineUnitsPerEm);
}

void TfsFontRenderer::AppendContours(std::u16string_view text, TfsContours &contours, float scale,
                                     float y, float x) {
  // An edge is never cut into more pieces than this, whatever step is asked.
  constexpr int64_t MaxPiecesPerEdge = 65536;

  const float s = scale * Size / float(OutlineUnitsPerEm);
  double penX = double(x) * 65536.0;
  const double penY = double(y) * 65536.0;
  const float cs = CharacterSpacing * float(OutlineUnitsPerEm);
  const int32_t d = RoundSat(double(scale * Step * 65536.0f));
  if (Placements)
    Placements->clear();
  if (text.empty())
    return;

  if (TrimFirstBearing) {
    const TfsGlyph &g = Font->Glyph(text[0]);
    if (g.OriginX < 0)
      penX -= double(g.OriginX) * s * 65536.0;
  }

  const uint8_t style = Font->Style();
  // Bars are wound like the letters so that winding filling adds them.
  bool barsPositive = false;
  if (style & (fsUnderline | fsStrikeOut))
    for (char16_t ch : text) {
      double area = SignedArea(Font->Glyph(ch).Outline);
      if (area != 0) {
        barsPositive = area > 0;
        break;
      }
    }

  auto emit = [&](const TfsContour &c, double px) {
    contours.emplace_back();
    TfsContour &out = contours.back();
    auto map = [&](const TfsOutlinePoint &p) {
      return TfsOutlinePoint{RoundSat(double(p.X) * s + px), RoundSat(double(p.Y) * s + penY)};
    };
    if (d <= 0) {
      out.reserve(c.size());
      for (const auto &p : c)
        out.push_back(map(p));
      return;
    }
    if (c.empty())
      return;
    TfsOutlinePoint first = map(c[0]), prev = first;
    out.push_back(first);
    for (size_t i = 1; i <= c.size(); ++i) {
      bool wrapped = i == c.size();
      TfsOutlinePoint cur = wrapped ? first : map(c[i]);
      double dx = double(cur.X) - prev.X, dy = double(cur.Y) - prev.Y;
      int64_t length = std::llrint(std::hypot(dx, dy));
      int64_t k = std::max<int64_t>(1, std::llrint(double(length) / d));
      k = std::min(k, MaxPiecesPerEdge);
      for (int64_t j = 1; j < k; ++j)
        out.push_back({RoundSat(prev.X + dx * double(j) / double(k)),
                       RoundSat(prev.Y + dy * double(j) / double(k))});
      if (!wrapped)
        out.push_back(cur);
      prev = cur;
    }
  };

  // Bar edges in em units, kept wide: a damaged file may hold any ascent.
  auto bar = [&](double top, double bottom, float width, double px) {
    if (barsPositive)
      std::swap(top, bottom);
    const int32_t w = RoundSat(double(width) * 65536.0);
    const int32_t t = RoundSat(top * 65536.0), b = RoundSat(bottom * 65536.0);
    emit(TfsContour{{0, t}, {0, b}, {w, b}, {w, t}}, px);
  };

  for (char16_t ch : text) {
    const TfsGlyph &g = Font->Glyph(ch);
    TfsGlyphPlacement placement;
    placement.Left = RoundSat(penX);
    placement.Right = RoundSat(double(g.BlackBoxX) * s * 65536.0 + penX);
    placement.FirstContour = int32_t(contours.size());
    placement.ContourCount = int32_t(g.Outline.size());
    for (const auto &c : g.Outline)
      emit(c, penX);
    const float advance = float(g.Advance) + cs;
    if (style & fsUnderline) {
      bar(double(Font->Descent) - 105, double(Font->Descent) - 30, advance, penX);
      ++placement.ContourCount;
    }
    if (style & fsStrikeOut) {
      const double h = -(Font->Ascent / 2);
      bar(h + 200, h + 255, advance, penX);
      ++placement.ContourCount;
    }
    if (Placements)
      Placements->push_back(placement);
    penX += double(advance) * 65536.0 * s;
  }
}

void TfsFontRenderer::AppendOutlines(std::u16string_view text, TPolygon32 &polygon, float scale,
                                     float y, float x) {
  TfsContours contours;
  AppendContours(text, contours, scale, y, x);
  const int32_t base = int32_t(polygon.Contours().size());
  if (Placements)
    for (auto &p : *Placements)
      p.FirstContour += base;
  std::vector<TFixedPoint> points;
  for (const auto &c : contours) {
    polygon.StartContour();
    points.resize(c.size());
    for (size_t i = 0; i < c.size(); ++i)
      points[i] = {c[i].X, c[i].Y};
    if (!points.empty())
      polygon.AppendPoints(points.data(), int32_t(points.size()));
  }
}
