// Filling an A4 page at 300 dpi with the page colour, against memset of the
// same bytes.

#include "BenchSupport.h"
#include "raster/fsGR32.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t PageWidth = 2480;
constexpr int32_t PageHeight = 3508;
constexpr TColor32 PageColor = clWhite32;
constexpr size_t PageBytes = size_t(PageWidth) * PageHeight * 4;

void BM_FillA4(benchmark::State &state) {
  TBitmap32 page;
  page.Resize(PageWidth, PageHeight);
  page.FillAll(PageColor);
  for (auto _ : state) {
    page.FillAll(PageColor);
    benchmark::DoNotOptimize(page.Bits());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(PageBytes));
}
BENCHMARK(BM_FillA4)->Unit(benchmark::kMicrosecond);

void BM_MemsetA4(benchmark::State &state) {
  std::vector<unsigned char> page(PageBytes);
  std::memset(page.data(), 0xFF, PageBytes);
  for (auto _ : state) {
    std::memset(page.data(), 0xFF, PageBytes);
    benchmark::DoNotOptimize(page.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(PageBytes));
}
BENCHMARK(BM_MemsetA4)->Unit(benchmark::kMicrosecond);

// A page colour whose bytes differ, so no byte-fill shortcut applies.
void BM_FillA4Tinted(benchmark::State &state) {
  TBitmap32 page;
  page.Resize(PageWidth, PageHeight);
  page.FillAll(0xFFF4EEE0);
  for (auto _ : state) {
    page.FillAll(0xFFF4EEE0);
    benchmark::DoNotOptimize(page.Bits());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(PageBytes));
}
BENCHMARK(BM_FillA4Tinted)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv) {
  if (!RunGoogleBenchmarks(argc, argv))
    return 1;

  constexpr int Runs = 41;
  TBitmap32 page;
  page.Resize(PageWidth, PageHeight);
  std::vector<unsigned char> bytes(PageBytes);
  const double ours = MedianSeconds(
      [&] {
        page.FillAll(PageColor);
        benchmark::DoNotOptimize(page.Bits());
        benchmark::ClobberMemory();
      },
      Runs);
  const double peer = MedianSeconds(
      [&] {
        std::memset(bytes.data(), 0xFF, PageBytes);
        benchmark::DoNotOptimize(bytes.data());
        benchmark::ClobberMemory();
      },
      Runs);
  std::printf("median fill_a4 %.3f ms, memset %.3f ms\n", ours * 1e3, peer * 1e3);
  std::printf("ratio fill_a4 %.3f\n", ours / peer);
  return 0;
}
