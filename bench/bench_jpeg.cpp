// JPEG decoding of a 12-megapixel picture (4000 x 3000) at full size and at
// half size through the decoder's own reduction.
#include "persist/fsJpegFormat.h"
#include "raster/fsGR32.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string &TwelveMegapixelJpeg() {
  static const std::string bytes = [] {
    TBitmap32 bmp;
    bmp.SetSize(4000, 3000);
    // Smooth shading with fine detail, so the coder has real work to do.
    for (int32_t y = 0; y < 3000; ++y) {
      TColor32 *row = bmp.ScanLine(y);
      for (int32_t x = 0; x < 4000; ++x)
        row[x] = Color32((x / 16 + y / 8) & 255, (x * y / 4000) & 255, ((x ^ y) & 63) + 96);
    }
    TMemoryStream s;
    TfsJpgFormat().SaveToStream(s, bmp);
    return s.Bytes();
  }();
  return bytes;
}

void Decode(benchmark::State &state, TfsMaxSize max) {
  const std::string &jpg = TwelveMegapixelJpeg();
  for (auto _ : state) {
    TReadOnlyMemoryStream s(jpg);
    TBitmap32 bmp;
    TfsJpgFormat().LoadFromStream(s, bmp, 0, max);
    benchmark::DoNotOptimize(bmp.Bits());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(jpg.size()));
  state.counters["megapixels"] = 12;
}

void BM_JpegDecodeFull(benchmark::State &state) {
  Decode(state, {0, 0});
}
void BM_JpegDecodeHalf(benchmark::State &state) {
  Decode(state, {2000, 1500});
}

} // namespace

BENCHMARK(BM_JpegDecodeFull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegDecodeHalf)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
