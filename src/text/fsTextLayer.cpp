#include "text/fsTextLayer.h"

#include "text/fsFreeType.h"

#include "base/fsUtf.h"

#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace {

constexpr double DefaultPixelsPerEm = 13;
// Beyond this a single glyph's coverage would take tens of megabytes.
constexpr double MaxPixelsPerEm = 8192;

EfsError NoFont(const TBitmap32Font &font) {
  return EfsError("Unable to create font with name \"" + font.Name + "\"");
}

// A face at one size, ready to measure and draw.
struct TSizedFont {
  TfsFaceMatch Match;
  double Ppem = 0;
  int32_t Ascent = 0;
  int32_t Descent = 0;
};

TSizedFont SizeFont(const TBitmap32Font &font) {
  TSizedFont f;
  f.Match = MatchFontFace(font.Name, font.Bold, font.Italic);
  if (!f.Match.Face)
    throw NoFont(font);
  std::lock_guard guard(FreeTypeLock());
  FT_Face face = f.Match.Face;
  if (font.Height < 0)
    f.Ppem = -double(font.Height);
  else if (font.Height > 0) {
    TfsVerticalMetrics unit = FaceVerticalMetrics(face, face->units_per_EM);
    int32_t cell = unit.Ascent + unit.Descent;
    f.Ppem = cell > 0 ? double(font.Height) * face->units_per_EM / cell : font.Height;
  } else
    f.Ppem = DefaultPixelsPerEm;
  const bool capped = f.Ppem > MaxPixelsPerEm;
  f.Ppem = std::min(f.Ppem, MaxPixelsPerEm);
  TfsVerticalMetrics m = FaceVerticalMetrics(face, f.Ppem);
  f.Ascent = m.Ascent;
  f.Descent = m.Descent;
  if (font.Height > 0 && !capped) // the cell is exactly what was asked for
    f.Descent = font.Height - f.Ascent;
  return f;
}

struct TRendered {
  int32_t Advance = 0;
  int32_t Left = 0, Top = 0; // bitmap offset from the pen on the baseline
  int32_t Width = 0, Rows = 0;
  std::vector<uint8_t> Coverage;
};

// Rendered glyphs by face, size, synthetic style and glyph index.
using TGlyphKey = std::tuple<FT_Face, long, bool, bool, FT_UInt>;
std::map<TGlyphKey, TRendered> &GlyphCache() {
  static std::map<TGlyphKey, TRendered> cache;
  return cache;
}
constexpr size_t GlyphCacheLimit = 8192;

const TRendered &RenderGlyph(const TSizedFont &f, char32_t ch) {
  FT_Face face = f.Match.Face;
  long size26 = std::lrint(f.Ppem * 64);
  FT_UInt index = FT_Get_Char_Index(face, ch);
  TGlyphKey key{face, size26, f.Match.Embolden, f.Match.Oblique, index};
  auto &cache = GlyphCache();
  auto it = cache.find(key);
  if (it != cache.end())
    return it->second;
  if (cache.size() >= GlyphCacheLimit)
    cache.clear();
  TRendered r;
  if (FT_Set_Char_Size(face, size26, size26, 72, 72) == 0 &&
      FT_Load_Glyph(face, index, FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_BITMAP) == 0) {
    FT_GlyphSlot slot = face->glyph;
    SynthesizeStyle(slot, f.Match);
    r.Advance = static_cast<int32_t>(std::lrint(slot->advance.x / 64.0));
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0 &&
        slot->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
      const FT_Bitmap &b = slot->bitmap;
      r.Left = slot->bitmap_left;
      r.Top = slot->bitmap_top;
      r.Width = int32_t(b.width);
      r.Rows = int32_t(b.rows);
      r.Coverage.resize(size_t(r.Width) * r.Rows);
      for (int32_t y = 0; y < r.Rows; ++y)
        std::copy_n(b.buffer + ptrdiff_t(y) * b.pitch, r.Width,
                    r.Coverage.begin() + ptrdiff_t(y) * r.Width);
    }
  }
  return cache.emplace(key, std::move(r)).first->second;
}

int32_t LineWidth(const TSizedFont &f, std::u32string_view line) {
  int64_t w = 0;
  for (char32_t ch : line)
    w += RenderGlyph(f, ch).Advance;
  return int32_t(std::clamp<int64_t>(w, INT32_MIN, INT32_MAX));
}

// Mnemonic prefixes: "&&" is an ampersand, a single "&" vanishes.
std::u32string StripPrefixes(std::u32string_view text) {
  std::u32string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == U'&') {
      if (i + 1 < text.size() && text[i + 1] == U'&')
        ++i;
      else
        continue;
    }
    out.push_back(text[i]);
  }
  return out;
}

std::vector<std::u32string> SplitLines(const std::u32string &text, bool single) {
  std::vector<std::u32string> lines;
  if (single) {
    lines.push_back(text);
    return lines;
  }
  std::u32string cur;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == U'\r' || text[i] == U'\n') {
      if (text[i] == U'\r' && i + 1 < text.size() && text[i + 1] == U'\n')
        ++i;
      lines.push_back(std::move(cur));
      cur.clear();
    } else
      cur.push_back(text[i]);
  }
  lines.push_back(std::move(cur));
  return lines;
}

// Breaks a line at blanks so that it fits width; a word wider than width
// stands alone on its line.
void WrapLine(const TSizedFont &f, const std::u32string &line, int32_t width,
              std::vector<std::u32string> &out) {
  size_t start = 0;
  while (true) {
    size_t lastFit = std::u32string::npos;
    int64_t w = 0;
    size_t i = start;
    for (; i < line.size(); ++i) {
      if (line[i] == U' ' && w <= width)
        lastFit = i;
      w += RenderGlyph(f, line[i]).Advance;
      if (w > width && lastFit != std::u32string::npos)
        break;
    }
    if (i >= line.size()) {
      out.push_back(line.substr(start));
      return;
    }
    out.push_back(line.substr(start, lastFit - start));
    start = lastFit;
    while (start < line.size() && line[start] == U' ')
      ++start;
    if (start >= line.size())
      return;
  }
}

void BlendCoverage(TBitmap32 &bmp, const TRect &clip, int32_t x, int32_t y, uint8_t cov,
                   TColor32 color) {
  if (cov == 0 || x < clip.Left || x >= clip.Right || y < clip.Top || y >= clip.Bottom)
    return;
  TColor32 &p = *bmp.PixelPtr(x, y);
  TColor32 r = p & 0xFF000000u;
  for (int shift = 0; shift < 24; shift += 8) {
    uint32_t t = (color >> shift) & 0xFF, d = (p >> shift) & 0xFF;
    r |= ((t * cov + d * (255u - cov) + 127u) / 255u) << shift;
  }
  p = r;
}

void FillBar(TBitmap32 &bmp, const TRect &clip, int32_t x1, int32_t x2, int32_t y1, int32_t y2,
             TColor32 color) {
  for (int32_t y = std::max(y1, clip.Top); y < std::min(y2, clip.Bottom); ++y)
    for (int32_t x = std::max(x1, clip.Left); x < std::min(x2, clip.Right); ++x)
      BlendCoverage(bmp, clip, x, y, 255, color);
}

} // namespace

TSize TfsTextLayer::TextExtent(const TBitmap32Font &Font, std::string_view Text) {
  if (Text.empty())
    return {0, 0};
  std::lock_guard guard(FreeTypeLock());
  TSizedFont f = SizeFont(Font);
  return {LineWidth(f, Utf8ToUtf32(Text)), f.Ascent + f.Descent};
}

int32_t TfsTextLayer::DrawText(TBitmap32 &Bitmap, const TBitmap32Font &Font, std::string_view Text,
                               TRect &Rect, uint32_t Flags) {
  std::lock_guard guard(FreeTypeLock());
  TSizedFont f = SizeFont(Font);
  std::u32string text = Utf8ToUtf32(Text);
  if (!(Flags & tfNoPrefix))
    text = StripPrefixes(text);
  const bool single = Flags & tfSingleLine;
  std::vector<std::u32string> lines;
  for (auto &line : SplitLines(text, single)) {
    if ((Flags & tfWordBreak) && !single)
      WrapLine(f, line, Rect.Width(), lines);
    else
      lines.push_back(std::move(line));
  }
  const int32_t lineHeight = f.Ascent + f.Descent;
  const int32_t height = int32_t(lines.size()) * lineHeight;

  if (Flags & tfCalcRect) {
    int32_t width = 0;
    for (const auto &line : lines)
      width = std::max(width, LineWidth(f, line));
    Rect.Right = Rect.Left + width;
    Rect.Bottom = Rect.Top + height;
    return height;
  }
  if (Bitmap.IsBlank())
    return height;

  TRect clip = Bitmap.ClipBox();
  if (!(Flags & tfNoClip) && !IntersectRect(clip, clip, Rect))
    return height;

  int32_t y = Rect.Top;
  if (single && (Flags & tfBottom))
    y = Rect.Bottom - lineHeight;
  else if (single && (Flags & tfVCenter))
    y = Rect.Top + (Rect.Height() - lineHeight) / 2;

  FT_Face face = f.Match.Face;
  const double unit = f.Ppem / face->units_per_EM;
  auto *os2 = static_cast<TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  auto barThickness = [&](double units) {
    return std::max<int32_t>(1, int32_t(std::lrint(units * unit)));
  };

  for (const auto &line : lines) {
    int32_t width = LineWidth(f, line);
    int32_t x = Rect.Left;
    if (Flags & tfRight)
      x = Rect.Right - width;
    else if (Flags & tfCenter)
      x = Rect.Left + (Rect.Width() - width) / 2;
    const int32_t baseline = y + f.Ascent;
    int32_t pen = x;
    for (char32_t ch : line) {
      const TRendered &g = RenderGlyph(f, ch);
      for (int32_t gy = 0; gy < g.Rows; ++gy) {
        int32_t py = baseline - g.Top + gy;
        if (py < clip.Top || py >= clip.Bottom)
          continue;
        for (int32_t gx = 0; gx < g.Width; ++gx)
          BlendCoverage(Bitmap, clip, pen + g.Left + gx, py, g.Coverage[size_t(gy) * g.Width + gx],
                        Font.Color);
      }
      pen += g.Advance;
    }
    if (Font.Underline) {
      int32_t thick = barThickness(face->underline_thickness);
      int32_t top = baseline - int32_t(std::lrint(face->underline_position * unit));
      FillBar(Bitmap, clip, x, pen, top, top + thick, Font.Color);
    }
    if (Font.StrikeOut) {
      double pos = os2 && os2->version != 0xFFFF ? os2->yStrikeoutPosition : face->ascender / 3.0;
      double size = os2 && os2->version != 0xFFFF ? os2->yStrikeoutSize : face->underline_thickness;
      int32_t thick = barThickness(size);
      int32_t top = baseline - int32_t(std::lrint(pos * unit));
      FillBar(Bitmap, clip, x, pen, top, top + thick, Font.Color);
    }
    y += lineHeight;
  }
  return height;
}

std::vector<std::string> TfsTextLayer::FontFamilies() {
  return InstalledFontFamilies();
}

TfsTextLayer &TextLayer() {
  static TfsTextLayer layer;
  return layer;
}

void InstallTextLayer() {
  SetBitmap32TextBackend(&TextLayer());
}

std::string TextLayerFaceName(const TBitmap32Font &Font) {
  TfsFaceMatch m = MatchFontFace(Font.Name, Font.Bold, Font.Italic);
  if (!m.Face)
    throw NoFont(Font);
  return m.Family;
}

TTextLayerMetrics TextLayerMetrics(const TBitmap32Font &Font) {
  std::lock_guard guard(FreeTypeLock());
  TSizedFont f = SizeFont(Font);
  return {f.Ascent, f.Descent, f.Ppem};
}
