// Printing an A4 page at 300 dpi that holds twenty filled shapes, half of
// which go through their caches (rotated or translucent): once with every
// cache made anew (the first print of a page) and once with the caches of
// the previous pass (printing the page again). Then the same page shown in
// a full-HD view at 100 % zoom, painted cold and warm.
#include "engine/fsDocument.h"
#include "engine/fsPage.h"
#include "engine/fsShape.h"
#include "raster/fsGR32.h"
#include "raster/fsGR32_Polygons.h"

#include "BenchShapes.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

namespace {

constexpr float PrintDpm = 11.811024f; // 300 dpi
constexpr int32_t PageWidth = 2480;    // 210 mm
constexpr int32_t PageHeight = 3508;   // 297 mm

// Twenty 40 x 40 mm boxes in a 4 x 5 grid; every other one is rotated or
// translucent, so it is drawn through its cache.
class TRenderFixture {
public:
  TRenderFixture() {
    for (int i = 0; i < 20; ++i) {
      auto shape = std::make_unique<TBoxShape>(0xFF000000 | (0x103070u * (i + 1)));
      shape->SetBounds(10.0f + 48.0f * (i % 4), 10.0f + 56.0f * (i / 4), 40, 40);
      if (i % 4 == 1)
        shape->SetDocAngle(20);
      else if (i % 4 == 3)
        shape->SetMasterAlpha(160);
      Document.AddShape(std::move(shape));
    }
    Target.SetSize(PageWidth, PageHeight);
    Context.DeviceType = dtPrinter;
    Context.BackColor = 0x00FFFFFF;
    Context.DestDpm = PrintDpm;
    Context.CacheDpm = PrintDpm;
  }

  void Print() {
    TfsShape::RenderShape(*Document.CurrentPage(), Target,
                          FloatRect(0, 0, PageWidth / PrintDpm, PageHeight / PrintDpm), Context,
                          true);
    benchmark::DoNotOptimize(Target.Bits());
    benchmark::ClobberMemory();
  }

  TfsDocument Document;
  TBitmap32 Target;
  TDeviceContext Context;
};

void BM_PrintPageCold(benchmark::State &state) {
  TRenderFixture f;
  for (auto _ : state) {
    f.Document.CurrentPage()->ClearCacheAll();
    f.Print();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 20);
}
BENCHMARK(BM_PrintPageCold)->Unit(benchmark::kMillisecond);

void BM_PrintPageWarm(benchmark::State &state) {
  TRenderFixture f;
  f.Print(); // the caches of the first pass
  for (int i = 0; i < f.Document.ShapeCount(); ++i) {
    const TfsShape &shape = *f.Document.GetShape(i);
    if (shape.NeedsCache() && !(shape.Cache() && shape.CacheDpm() == PrintDpm)) {
      state.SkipWithError("a cache was not kept for the next pass");
      return;
    }
  }
  for (auto _ : state)
    f.Print();
  state.SetItemsProcessed(int64_t(state.iterations()) * 20);
}
BENCHMARK(BM_PrintPageWarm)->Unit(benchmark::kMillisecond);

// The document view of a 1920 x 1080 window, the page filling its width.
class TViewFixture {
public:
  TViewFixture() {
    Print.Document.SetClientSize(1920, 1080);
    Print.Document.WindowAttached();
    Print.Document.SetZoomPercent(100);
    Canvas.SetSize(1920, 1080);
  }
  void Paint() {
    Print.Document.Paint(Canvas, Rect(0, 0, 1920, 1080));
    benchmark::DoNotOptimize(Canvas.Bits());
    benchmark::ClobberMemory();
  }
  TRenderFixture Print;
  TBitmap32 Canvas;
};

void BM_PaintViewFullHdCold(benchmark::State &state) {
  TViewFixture f;
  for (auto _ : state) {
    f.Print.Document.CurrentPage()->ClearCacheAll();
    f.Paint();
  }
}
BENCHMARK(BM_PaintViewFullHdCold)->Unit(benchmark::kMillisecond);

void BM_PaintViewFullHdWarm(benchmark::State &state) {
  TViewFixture f;
  f.Paint();
  for (auto _ : state)
    f.Paint();
}
BENCHMARK(BM_PaintViewFullHdWarm)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
