// An A4 page at 300 dpi holding 20 geometric shapes (rectangles, ellipses,
// rounded rectangles and polygons, filled and outlined, half of them turned
// or translucent), rendered cold (caches and device polygons rebuilt) and
// warm (caches current), against cairo drawing the same geometry.

#include "BenchSupport.h"
#include "shapes/fsPolygonShape.h"

#include <benchmark/benchmark.h>

#ifdef HAVE_CAIRO
#include <cairo.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr float PageW = 210, PageH = 297; // mm
constexpr float Dpm = 300 / 25.4f;
constexpr int32_t PixW = 2480, PixH = 3508;
constexpr int ShapeCount = 20;

TDeviceContext Context() {
  TDeviceContext c;
  c.DeviceType = dtPrinter;
  c.DestDpm = c.CacheDpm = Dpm;
  return c;
}

// The page: a plain root shape holding the twenty shapes on a 4 x 5 grid.
std::unique_ptr<TfsShape> MakePage() {
  auto page = std::make_unique<TfsShape>();
  page->SetBounds(0, 0, PageW, PageH);
  const TColor fills[] = {0x3050E0, 0xE08020, 0x40B040, 0xA040C0, 0x20C0E0};
  for (int i = 0; i < ShapeCount; ++i) {
    std::unique_ptr<TfsPolygonShape> s;
    switch (i % 4) {
    case 0:
      s = std::make_unique<TfsRectangleShape>();
      break;
    case 1:
      s = std::make_unique<TfsEllipseShape>();
      break;
    case 2:
      s = std::make_unique<TfsRoundRectShape>();
      break;
    default: {
      // An arrow of stored points.
      auto p = std::make_unique<TfsPolygonShape>();
      p->SetStorePoints(true);
      p->ClearPoints();
      for (auto [x, y] : {std::pair{0.f, 10.f},
                          {25.f, 10.f},
                          {25.f, 0.f},
                          {40.f, 15.f},
                          {25.f, 30.f},
                          {25.f, 20.f},
                          {0.f, 20.f}})
        p->AddPointXY(x, y);
      s = std::move(p);
    }
    }
    const int col = i % 4, row = i / 4;
    s->SetBounds(6 + col * 52.5f, 10 + row * 58, 40 + float(i % 3) * 2, 30 + float(i % 2) * 8);
    s->SetFillColor(fills[i % 5]);
    s->SetOutlineColor(0x202020 * (i % 3));
    s->SetOutlineWidth(0.5f + float(i % 3) * 0.5f);
    // Half of them turned or translucent, so drawn through their caches.
    if (i % 4 == 1 || i % 4 == 2) {
      if (i % 2)
        s->SetDocAngle(float(15 + 10 * i));
      else
        s->SetMasterAlpha(160);
    }
    page->AddShape(std::move(s));
  }
  return page;
}

void Render(TfsShape &page, TBitmap32 &target) {
  target.FillAll(0xFFFFFFFF);
  // The area the target shows at exactly Dpm, the scale cairo draws at and
  // the caches' own resolution (the full page would be 0.01 % smaller).
  TfsShape::RenderShape(page, target, FloatRect(0, 0, PixW / Dpm, PixH / Dpm), Context(), true);
}

// What the first render after loading or zooming pays: no caches, device
// polygons to rebuild.
void MakeCold(TfsShape &page) {
  page.ClearCacheAll();
  for (int i = 0; i < page.ShapeCount(); ++i)
    page.GetShape(i)->SetDeviceMatrix(TfsAffineTransform());
}

void BM_ShapesWarm(benchmark::State &state) {
  auto page = MakePage();
  TBitmap32 target;
  target.SetSize(PixW, PixH);
  Render(*page, target);
  for (auto _ : state) {
    Render(*page, target);
    benchmark::DoNotOptimize(target.Bits());
  }
}
BENCHMARK(BM_ShapesWarm)->Unit(benchmark::kMillisecond);

void BM_ShapesCold(benchmark::State &state) {
  auto page = MakePage();
  TBitmap32 target;
  target.SetSize(PixW, PixH);
  for (auto _ : state) {
    MakeCold(*page);
    Render(*page, target);
    benchmark::DoNotOptimize(target.Bits());
  }
}
BENCHMARK(BM_ShapesCold)->Unit(benchmark::kMillisecond);

#ifdef HAVE_CAIRO
// The same geometry: every shape's points through its placement, filled
// even-odd in its colour and opacity, stroked with its width centred on
// the path, a translucent shape painted as a group with its opacity.
void CairoPage(cairo_t *c, TfsShape &page) {
  cairo_set_source_rgb(c, 1, 1, 1);
  cairo_paint(c);
  for (int i = 0; i < page.ShapeCount(); ++i) {
    auto &s = static_cast<TfsPolygonShape &>(*page.GetShape(i));
    const bool group = s.MasterAlpha() != 255;
    if (group) {
      // The group only as large as the shape, as our cache is.
      const TFloatRect r = s.GetParentBounds(true);
      cairo_save(c);
      cairo_rectangle(c, std::floor(r.Left * Dpm), std::floor(r.Top * Dpm),
                      std::ceil((r.Right - r.Left) * Dpm) + 2,
                      std::ceil((r.Bottom - r.Top) * Dpm) + 2);
      cairo_clip(c);
      cairo_push_group(c);
    }
    cairo_new_path(c);
    for (const TFloatContour &contour : s.Points()) {
      if (contour.empty())
        continue;
      for (size_t k = 0; k < contour.size(); ++k) {
        const TFloatPoint p = s.LocalToParent(contour[k]);
        if (k == 0)
          cairo_move_to(c, p.X * Dpm, p.Y * Dpm);
        else
          cairo_line_to(c, p.X * Dpm, p.Y * Dpm);
      }
      cairo_close_path(c);
    }
    const TColor32 fill = ToColor32(s.FillColor());
    cairo_set_fill_rule(c, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_set_source_rgba(c, ((fill >> 16) & 255) / 255.0, ((fill >> 8) & 255) / 255.0,
                          (fill & 255) / 255.0, s.FillAlpha() / 255.0);
    cairo_fill_preserve(c);
    const TColor32 line = ToColor32(s.OutlineColor());
    cairo_set_source_rgb(c, ((line >> 16) & 255) / 255.0, ((line >> 8) & 255) / 255.0,
                         (line & 255) / 255.0);
    cairo_set_line_width(c, s.OutlineWidth() * Dpm);
    cairo_set_line_join(c, CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(c, 2);
    cairo_stroke(c);
    if (group) {
      cairo_pop_group_to_source(c);
      cairo_paint_with_alpha(c, s.MasterAlpha() / 255.0);
      cairo_restore(c);
    }
  }
  cairo_surface_flush(cairo_get_target(c));
}

// Mean per-channel difference over the page; antialiasing differs at the
// edges by design, the means may not.
double MeanDifference(const TBitmap32 &ours, cairo_surface_t *theirs) {
  const int stride = cairo_image_surface_get_stride(theirs);
  const unsigned char *d = cairo_image_surface_get_data(theirs);
  double sum[3] = {0, 0, 0};
  for (int y = 0; y < PixH; ++y) {
    const uint32_t *row = reinterpret_cast<const uint32_t *>(d + y * stride);
    const TColor32 *mine = ours.ScanLine(y);
    for (int x = 0; x < PixW; ++x)
      for (int l = 0; l < 3; ++l)
        sum[l] += int((mine[x] >> (8 * l)) & 255) - int((row[x] >> (8 * l)) & 255);
  }
  const double n = double(PixW) * PixH;
  return std::max({std::abs(sum[0]) / n, std::abs(sum[1]) / n, std::abs(sum[2]) / n});
}

void BM_CairoShapes(benchmark::State &state) {
  auto page = MakePage();
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, PixW, PixH);
  cairo_t *c = cairo_create(s);
  for (auto _ : state)
    CairoPage(c, *page);
  cairo_destroy(c);
  cairo_surface_destroy(s);
}
BENCHMARK(BM_CairoShapes)->Unit(benchmark::kMillisecond);
#endif

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  constexpr int Runs = 21;
  auto page = MakePage();
  TBitmap32 target;
  target.SetSize(PixW, PixH);
  const double cold = MedianSeconds(
      [&] {
        MakeCold(*page);
        Render(*page, target);
      },
      Runs);
  const double warm = MedianSeconds([&] { Render(*page, target); }, Runs);
#ifdef HAVE_CAIRO
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, PixW, PixH);
  cairo_t *c = cairo_create(s);
  const double peer = MedianSeconds([&] { CairoPage(c, *page); }, Runs);
  const double diff = MeanDifference(target, s);
  cairo_destroy(c);
  cairo_surface_destroy(s);
  std::printf("median shapes_a4 cold %.3f ms, warm %.3f ms, cairo %.3f ms\n", cold * 1e3,
              warm * 1e3, peer * 1e3);
  if (diff > 2)
    std::printf("warning: cairo's page differs from ours by %.2f per channel on average\n", diff);
  else
    std::printf("pictures agree: %.3f per channel on average\n", diff);
  std::printf("ratio shapes_a4_cold %.3f\n", cold / peer);
  std::printf("ratio shapes_a4_warm %.3f\n", warm / peer);
#else
  std::printf("median shapes_a4 cold %.3f ms, warm %.3f ms (no cairo)\n", cold * 1e3, warm * 1e3);
#endif
  return 0;
}
