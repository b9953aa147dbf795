// Outline text at print resolution: 200 characters of DejaVu Sans, 5 mm em
// at 300 dpi, laid out in four lines and filled with the winding rule; cold
// (a fresh font manager fetches and flattens every glyph) and warm (cached
// outlines are only placed and filled).
#include "raster/fsGR32.h"
#include "raster/fsGR32_Polygons.h"
#include "text/fsTruetypeFonts.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::u16string Sample =
    u"Keyring inserts carry your pictures and words: print them on pre-cut "
    u"sheets, cut them to shape and slip them in. Quartz glyphs vex jumpy "
    u"folk; 0123456789 (WAVY TEXT) & more, all in one line of 200!!!";

constexpr float EmPixels = 5.0f * 300.0f / 25.4f;
constexpr int LineChars = 50;

void LayOutAndFill(TfsFont *font, TBitmap32 &bmp) {
  TfsFontRenderer r(font);
  r.Size = EmPixels;
  TPolygon32 poly;
  poly.SetSmoothed(true);
  poly.SetFillRule(pfWinding);
  const float lineHeight = r.LineHeight();
  for (size_t i = 0, line = 0; i < Sample.size(); i += LineChars, ++line)
    r.AppendOutlines(std::u16string_view(Sample).substr(i, LineChars), poly, 1.0f,
                     r.Ascent() + float(line) * lineHeight, 10.0f);
  poly.FillContours(bmp, 0xFF000000);
}

void PrepareBitmap(TBitmap32 &bmp) {
  bmp.SetSize(2000, 320);
  bmp.FillAll(0xFFFFFFFF);
}

void BM_OutlineTextCold(benchmark::State &state) {
  TBitmap32 bmp;
  PrepareBitmap(bmp);
  for (auto _ : state) {
    TfsFontManager manager;
    LayOutAndFill(manager.AcquireFont("DejaVu Sans", 0, nullptr), bmp);
    benchmark::DoNotOptimize(bmp.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(Sample.size()));
}

void BM_OutlineTextWarm(benchmark::State &state) {
  TBitmap32 bmp;
  PrepareBitmap(bmp);
  TfsFontManager manager;
  TfsFont *font = manager.AcquireFont("DejaVu Sans", 0, nullptr);
  LayOutAndFill(font, bmp);
  for (auto _ : state) {
    LayOutAndFill(font, bmp);
    benchmark::DoNotOptimize(bmp.Bits());
  }
  state.SetItemsProcessed(state.iterations() * int64_t(Sample.size()));
}

} // namespace

BENCHMARK(BM_OutlineTextCold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OutlineTextWarm)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
