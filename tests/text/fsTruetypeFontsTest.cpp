#include "text/fsTruetypeFonts.h"

#include "raster/fsGR32.h"
#include "raster/fsGR32_Polygons.h"
#include "support/InstalledFace.h"
#include "text/fsFreeType.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

constexpr int32_t U = 65536;

double Area(const TfsContour &c) {
  double a = 0;
  for (size_t i = 0; i < c.size(); ++i) {
    const auto &p = c[i], &q = c[(i + 1) % c.size()];
    a += double(p.X) * q.Y - double(q.X) * p.Y;
  }
  return a / 2;
}

// A font made by hand: a square glyph "#" (100..600 x 0..-700, wound like
// the letters of a TrueType face), a "W" whose ink starts left of the pen,
// and a blank.
std::unique_ptr<TfsFont> HandFont(uint8_t style = 0) {
  auto font = std::make_unique<TfsFont>("Hand", style);
  font->Ascent = 800;
  font->Descent = 200;
  auto add = [&](char16_t ch, int32_t adv, int32_t ox, int32_t bbx, TfsContours outline) {
    auto g = std::make_unique<TfsGlyph>();
    g->Character = ch;
    g->Advance = g->Advance2 = adv;
    g->OriginX = ox;
    g->OriginY = 700;
    g->BlackBoxX = bbx;
    g->BlackBoxY = 700;
    g->HasOutline = !outline.empty();
    g->Outline = std::move(outline);
    font->AddGlyph(std::move(g));
  };
  add(u'#', 700, 100, 500,
      {{{100 * U, 0}, {100 * U, -700 * U}, {600 * U, -700 * U}, {600 * U, 0}}});
  add(u'W', 900, -30, 960, {{{-30 * U, 0}, {450 * U, -700 * U}, {930 * U, 0}}});
  add(u' ', 250, 0, 0, {});
  return font;
}

// ---------------------------------------------------------------------------
// Glyphs from an installed face

TEST(TfsFont, DejaVuGlyphsHaveTheirOutlinesAndAdvances) {
  REQUIRE_FACE("DejaVu Sans");
  TfsFont font("DejaVu Sans", 0);
  const TfsGlyph &o = font.Glyph(u'O');
  ASSERT_TRUE(o.HasOutline);
  ASSERT_EQ(o.Outline.size(), 2u);
  double a = Area(o.Outline[0]), b = Area(o.Outline[1]);
  EXPECT_NE(a, 0);
  EXPECT_LT(a * b, 0) << "the counter must run against the outer contour";
  for (const auto &c : o.Outline) // y points down: the O lies above the baseline
    for (const auto &p : c)
      EXPECT_LE(p.Y, 20 * U);

  const TfsGlyph &space = font.Glyph(u' ');
  EXPECT_FALSE(space.HasOutline);
  EXPECT_TRUE(space.Outline.empty());
  EXPECT_GT(space.Advance, 0);

  // Advances as FreeType gives them at 1000 pixels per em, unhinted.
  TfsFaceMatch m = MatchFontFace("DejaVu Sans", false, false);
  std::lock_guard guard(FreeTypeLock());
  ASSERT_EQ(FT_Set_Pixel_Sizes(m.Face, 1000, 1000), 0);
  for (char16_t ch : std::u16string(u"Hello, World! ijmW09")) {
    ASSERT_EQ(FT_Load_Char(m.Face, ch, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP), 0);
    long expected = std::lrint(m.Face->glyph->advance.x / 64.0);
    const TfsGlyph &g = font.Glyph(ch);
    EXPECT_EQ(g.Advance, expected) << char(ch);
    EXPECT_EQ(g.Advance2, g.Advance) << char(ch);
  }
  EXPECT_GT(font.Ascent, 700);
  EXPECT_GT(font.Descent, 100);
}

TEST(TfsFont, GlyphsAreCachedInCharacterOrder) {
  REQUIRE_FACE("DejaVu Sans");
  TfsFont font("DejaVu Sans", 0);
  const TfsGlyph *z = &font.Glyph(u'z');
  font.Glyph(u'A');
  font.Glyph(u'm');
  EXPECT_EQ(&font.Glyph(u'z'), z);
  ASSERT_EQ(font.Glyphs().size(), 3u);
  EXPECT_EQ(font.Glyphs()[0]->Character, u'A');
  EXPECT_EQ(font.Glyphs()[1]->Character, u'm');
  EXPECT_EQ(font.Glyphs()[2]->Character, u'z');
}

TEST(TfsFont, BoldIsWiderThanRegular) {
  REQUIRE_FACE("DejaVu Sans");
  TfsFont regular("DejaVu Sans", 0), bold("DejaVu Sans", fsBold);
  EXPECT_GT(bold.Glyph(u'm').Advance, regular.Glyph(u'm').Advance);
}

TEST(TfsFont, MissingFaceUsesItsSubstitute) {
  REQUIRE_FACE("Liberation Sans");
  TfsFont arial("Arial", 0);
  EXPECT_EQ(arial.ActualFaceName(), "Liberation Sans");
  EXPECT_TRUE(arial.Glyph(u'A').HasOutline);
}

// ---------------------------------------------------------------------------
// Acquiring fonts

TEST(TfsFontManager, AcquireCountsHoldersAndPurgesUnheldFonts) {
  REQUIRE_FACE("Liberation Sans");
  TfsFontManager m;
  EXPECT_EQ(m.AcquireFont("", 0, nullptr), nullptr);

  TfsFont *a = m.AcquireFont("Arial", fsBold, nullptr);
  TfsFont *b = m.AcquireFont("Arial", fsBold, nullptr);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->RefCount, 2);
  EXPECT_EQ(m.AcquireFont("Arial", fsBold, a), a) << "same name and style: unchanged";
  EXPECT_EQ(a->RefCount, 2);
  EXPECT_NE(m.AcquireFont("arial", fsBold, nullptr), a) << "names compare case-sensitively";

  TfsFont *i = m.AcquireFont("Arial", fsItalic, b);
  EXPECT_NE(i, a);
  EXPECT_EQ(a->RefCount, 1);
  EXPECT_EQ(i->RefCount, 1);
  EXPECT_EQ(m.Fonts().size(), 3u);

  // The last holder of the bold font moves on: it goes at once.
  TfsFont *again = m.AcquireFont("Arial", fsItalic, a);
  EXPECT_EQ(again, i);
  EXPECT_EQ(i->RefCount, 2);
  ASSERT_EQ(m.Fonts().size(), 2u);
  for (const auto &f : m.Fonts())
    EXPECT_FALSE(f->FaceName() == "Arial" && f->Style() == fsBold);
}

// ---------------------------------------------------------------------------
// Measuring and placing

TEST(TfsFontRenderer, ExtentAndPositions) {
  auto font = HandFont();
  struct Case {
    const char16_t *Text;
    bool Trim;
    float Spacing;
    float Width;            // at size 100: em units / 10
    std::vector<float> Pos; // CharPositions
  } cases[] = {
      {u"", false, 0, 0, {0}},
      {u"#", false, 0, 70, {0, 70}},
      {u"W", false, 0, 90, {0, 90}},
      {u"W", true, 0, 96, {3, 93}}, // ink end of the W: -(-30) + (-30 + 960)
      {u"##", true, 0, 130, {0, 70, 140}},
      {u"# #", false, 0.1f, 185, {0, 80, 115, 195}}, // + 2 x 100 em units
      {u" W", true, 0, 118, {0, 25, 115}},
  };
  for (const auto &c : cases) {
    TfsFontRenderer r(font.get());
    r.Size = 100;
    r.TrimFirstBearing = c.Trim;
    r.CharacterSpacing = c.Spacing;
    float w = -1, h = -1;
    r.TextExtent(c.Text, w, h);
    std::u16string text(c.Text);
    std::string name(text.begin(), text.end());
    EXPECT_NEAR(w, c.Width, 1e-3) << '"' << name << '"';
    EXPECT_FLOAT_EQ(h, 100);
    std::vector<float> pos;
    r.CharPositions(c.Text, pos);
    ASSERT_EQ(pos.size(), c.Pos.size()) << name;
    for (size_t i = 0; i < pos.size(); ++i)
      EXPECT_NEAR(pos[i], c.Pos[i], 1e-3) << '"' << name << "\" position " << i;
  }
  TfsFontRenderer r(font.get());
  r.Size = 50;
  EXPECT_FLOAT_EQ(r.Ascent(), 40);
  EXPECT_FLOAT_EQ(r.LineHeight(), 50);
}

TEST(TfsFontRenderer, PlacesScaledContoursWithPlacements) {
  auto font = HandFont();
  TfsFontRenderer r(font.get());
  r.Size = 10; // 1 em = 10 output units, so 100 em units = 1 unit
  TfsGlyphPlacementList placements;
  r.Placements = &placements;
  TfsContours out(1); // an existing contour stays first
  r.AppendContours(u"# #", out, 2.0f, 5.0f, 1.0f);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[1],
            (TfsContour{{3 * U, 5 * U}, {3 * U, -9 * U}, {13 * U, -9 * U}, {13 * U, 5 * U}}));
  // Second "#": pen moved by (700 + 250) em units x 2 x 10 / 1000 = 19.
  EXPECT_EQ(out[2][0], (TfsOutlinePoint{22 * U, 5 * U}));
  ASSERT_EQ(placements.size(), 3u);
  struct Expect {
    int32_t Left, Right, First, Count;
  } expect[] = {{1 * U, 11 * U, 1, 1}, {15 * U, 15 * U, 2, 0}, {20 * U, 30 * U, 2, 1}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(placements[i].Left, expect[i].Left) << i;
    EXPECT_EQ(placements[i].Right, expect[i].Right) << i;
    EXPECT_EQ(placements[i].FirstContour, expect[i].First) << i;
    EXPECT_EQ(placements[i].ContourCount, expect[i].Count) << i;
  }

  r.TrimFirstBearing = true;
  out.clear();
  r.AppendContours(u"W", out, 1.0f, 0, 0);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0][0], (TfsOutlinePoint{0, 0})) << "the ink starts at the pen";
  EXPECT_EQ(placements.size(), 1u) << "placements start afresh";
}

TEST(TfsFontRenderer, SubdividesEdgesByStep) {
  auto font = HandFont();
  TfsFontRenderer r(font.get());
  r.Size = 10;
  r.Step = 2.5f; // edges 5 and 7 units long: 2 and 3 pieces
  TfsContours out;
  r.AppendContours(u"#", out, 1.0f, 0, 0);
  ASSERT_EQ(out.size(), 1u);
  const TfsContour expected = {{1 * U, 0},
                               {1 * U, -7 * U / 3},
                               {1 * U, -14 * U / 3 - 1},
                               {1 * U, -7 * U},
                               {int32_t(3.5 * U), -7 * U},
                               {6 * U, -7 * U},
                               {6 * U, -14 * U / 3 - 1},
                               {6 * U, -7 * U / 3},
                               {6 * U, 0},
                               {int32_t(3.5 * U), 0}};
  EXPECT_EQ(out[0], expected);
}

TEST(TfsFontRenderer, DecorationBarsAddOneContourPerCharacterWoundLikeTheLetters) {
  struct Case {
    uint8_t Style;
    int Bars;
  } cases[] = {{0, 0}, {fsUnderline, 1}, {fsStrikeOut, 1}, {fsUnderline | fsStrikeOut, 2}};
  for (const auto &c : cases) {
    auto font = HandFont(c.Style);
    TfsFontRenderer r(font.get());
    r.Size = 1000;
    TfsGlyphPlacementList placements;
    r.Placements = &placements;
    TfsContours out;
    r.AppendContours(u" ##", out, 1.0f, 0, 0);
    ASSERT_EQ(out.size(), size_t(2 + 3 * c.Bars)) << int(c.Style);
    EXPECT_EQ(placements[0].ContourCount, c.Bars);
    EXPECT_EQ(placements[1].ContourCount, 1 + c.Bars);
    const double letter = Area(font->Glyph(u'#').Outline[0]);
    for (const auto &contour : out)
      EXPECT_GT(Area(contour) * letter, 0) << "style " << int(c.Style);
    if (c.Style == fsUnderline) { // under the baseline, from descent - 105 to descent - 30
      const auto &bar = out[0];
      int32_t top = std::min({bar[0].Y, bar[1].Y}), bottom = std::max({bar[0].Y, bar[1].Y});
      EXPECT_EQ(top, 95 * U);
      EXPECT_EQ(bottom, 170 * U);
      EXPECT_EQ(bar[2].X, 250 * U) << "a bar spans the advance";
    }
  }
}

// ---------------------------------------------------------------------------
// The embedded font file

std::string SavedBytes(const TfsFontManager &m) {
  TMemoryStream s;
  m.SaveFonts(s);
  return s.Bytes();
}

void Load(TfsFontManager &m, const std::string &bytes) {
  TMemoryStream s(bytes);
  m.LoadFonts(s);
}

// "FNT", version 256, one font "Ab" (style 3, ascent 900, descent 250,
// count 2) with a blank glyph and one glyph of one two-point contour.
std::string HandFile() {
  std::string f = "FNT";
  auto i16 = [&](uint16_t v) { f += char(v & 255), f += char(v >> 8); };
  auto i32 = [&](int32_t v) {
    for (int k = 0; k < 4; ++k)
      f += char((uint32_t(v) >> (8 * k)) & 255);
  };
  i16(256);
  i32(1);
  i32(2), f += "Ab", f += char(3), i32(900), i32(250), i32(2), i32(2);
  i16(' '), i32(300), i32(300), i32(0), i32(0), i32(0), i32(0), f += char(0);
  i16('x'), i32(500), i32(501), i32(-20), i32(600), i32(480), i32(610), f += char(1);
  i32(1), i32(2), i32(-5 * U), i32(7 * U), i32(400 * U), i32(-600 * U);
  return f;
}

TEST(FontsDat, HandMadeFileLoadsAndSavesByteForByte) {
  TfsFontManager m;
  Load(m, HandFile());
  ASSERT_EQ(m.Fonts().size(), 1u);
  const TfsFont &f = *m.Fonts()[0];
  EXPECT_EQ(f.FaceName(), "Ab");
  EXPECT_EQ(f.Style(), 3);
  EXPECT_EQ(f.Ascent, 900);
  EXPECT_EQ(f.Descent, 250);
  EXPECT_EQ(f.RefCount, 2);
  ASSERT_EQ(f.Glyphs().size(), 2u);
  const TfsGlyph &x = *f.Glyphs()[1];
  EXPECT_EQ(x.Advance2, 501);
  EXPECT_EQ(x.OriginX, -20);
  EXPECT_EQ(x.Outline, (TfsContours{{{-5 * U, 7 * U}, {400 * U, -600 * U}}}));
  EXPECT_FALSE(f.Glyphs()[0]->HasOutline);
  EXPECT_EQ(SavedBytes(m), HandFile());
}

TEST(FontsDat, InstalledFontRoundTripsAndLoadingAppends) {
  REQUIRE_FACE("DejaVu Sans");
  TfsFontManager m;
  TfsFont *f = m.AcquireFont("DejaVu Sans", fsItalic | fsUnderline, nullptr);
  for (char16_t ch : std::u16string(u"Quartz O, 9"))
    f->Glyph(ch);
  m.AcquireFont("DejaVu Sans", fsBold, nullptr)->Glyph(u'B');
  std::string bytes = SavedBytes(m);

  TfsFontManager copy;
  Load(copy, bytes);
  EXPECT_EQ(SavedBytes(copy), bytes);
  Load(copy, bytes);
  EXPECT_EQ(copy.Fonts().size(), 4u) << "loading appends, it does not merge";
}

TEST(FontsDat, DamagedFilesAreRejectedAndChangeNothing) {
  const std::string good = HandFile();
  auto patched = [&](size_t at, std::string bytes) {
    std::string f = good;
    f.replace(at, bytes.size(), bytes);
    return f;
  };
  struct Case {
    const char *Name;
    std::string Bytes;
    const char *Message;
  } cases[] = {
      {"empty", "", "Font file is corrupt or incorrect"},
      {"wrong magic", patched(0, "FNX"), "Font file is corrupt or incorrect"},
      {"version 255", patched(3, std::string("\xFF\x00", 2)), "Font file has unknown version"},
      {"no version", "FNT", "Font file has unknown version"},
      {"negative font count", patched(5, std::string("\xFF\xFF\xFF\xFF", 4)),
       "Font file is corrupt or incorrect"},
      {"huge font count", patched(5, std::string("\x00\x00\x00\x7F", 4)),
       "Font file is corrupt or incorrect"},
      {"huge name", patched(9, std::string("\xF0\xFF\xFF\x0F", 4)),
       "Font file is corrupt or incorrect"},
      {"huge glyph count", patched(28, std::string("\x00\x00\x00\x40", 4)),
       "Font file is corrupt or incorrect"},
      {"huge contour count", patched(86, std::string("\x00\x00\x10\x00", 4)),
       "Font file is corrupt or incorrect"},
      {"huge point count", patched(90, std::string("\x00\x00\x00\x10", 4)),
       "Font file is corrupt or incorrect"},
  };
  for (const auto &c : cases) {
    TfsFontManager m;
    try {
      Load(m, c.Bytes);
      ADD_FAILURE() << c.Name << ": accepted";
    } catch (const EfsError &e) {
      EXPECT_STREQ(e.what(), c.Message) << c.Name;
    }
    EXPECT_TRUE(m.Fonts().empty()) << c.Name;
  }
  for (size_t n = 0; n < good.size(); ++n) {
    TfsFontManager m;
    EXPECT_THROW(Load(m, good.substr(0, n)), EfsFontError) << "cut at " << n;
    EXPECT_TRUE(m.Fonts().empty());
  }
}

TEST(FontsDat, TextShowsFromTheFileAloneWhereTheFaceIsMissing) {
  REQUIRE_FACE("DejaVu Sans");
  const std::string missing = "Tallisyn Missing Face";
  ASSERT_TRUE(MatchFontFace(missing, false, false).Substituted);
  // Glyphs of DejaVu Sans saved under a face name no system has.
  TfsFontManager source;
  TfsFont *dv = source.AcquireFont("DejaVu Sans", 0, nullptr);
  for (char16_t ch : std::u16string(u"Hi O"))
    dv->Glyph(ch);
  std::string bytes = SavedBytes(source);
  std::string name = "DejaVu Sans";
  ASSERT_EQ(bytes.substr(13, name.size()), name);
  bytes.replace(9, 4 + name.size(), std::string("\x15\0\0\0", 4) + missing);

  TfsFontManager m;
  Load(m, bytes);
  TfsFont *f = m.AcquireFont(missing, 0, nullptr);
  ASSERT_EQ(f, m.Fonts()[0].get());
  TfsFontRenderer r(f);
  r.Size = 20;
  TfsGlyphPlacementList placements;
  r.Placements = &placements;
  TPolygon32 poly; // starts with one empty contour
  poly.SetSmoothed(true);
  poly.SetFillRule(pfWinding);
  r.AppendOutlines(u"Hi O", poly, 1.0f, 20, 2);
  EXPECT_FALSE(f->Realised()) << "cached glyphs need no installed face";
  EXPECT_EQ(poly.Contours().size(), 1u + 1u + 2u + 2u); // H, i (stem and dot), O
  ASSERT_EQ(placements.size(), 4u);
  EXPECT_EQ(placements[0].FirstContour, 1);
  EXPECT_EQ(placements[3].FirstContour, 4);

  TBitmap32 bmp;
  bmp.SetSize(60, 30);
  poly.FillContours(bmp, 0xFF000000);
  auto inked = [&](int x0, int x1) {
    int n = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = x0; x < x1; ++x)
        n += (bmp.GetPixel(x, y) >> 24) > 128;
    return n;
  };
  const int hLeft = placements[0].Left >> 16, hRight = (placements[0].Right >> 16) + 1;
  EXPECT_GT(inked(hLeft, hRight), 20) << "the H is filled";
  EXPECT_EQ(inked(0, hLeft), 0);
  EXPECT_GT(inked(placements[3].Left >> 16, 60), 20) << "the O is filled";
  // The counter of the O stays empty under the winding rule.
  const int cx = (placements[3].Left + placements[3].Right) / 2 >> 16;
  EXPECT_LT(bmp.GetPixel(cx, 13) >> 24, 64u);
  EXPECT_EQ(f->Ascent, dv->Ascent);
}

} // namespace
