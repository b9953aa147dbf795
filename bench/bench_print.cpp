// An empty A4 page printed at 600 dpi through the band split, into a
// printer that only reads the bytes it is handed, against memset of the
// same number of bytes: what printing costs beyond touching the memory.

#include "BenchSupport.h"

#include "engine/fsDocument.h"
#include "engine/fsPrinting.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr float Dpm600 = 23.622047f;
constexpr int32_t SheetW = 4961, SheetH = 7016;

// Reads one word of every cache line of each band.
class TTouchPrinter : public TfsPrinter {
public:
  uint64_t Sum = 0;
  int64_t Bytes = 0;
  TSize PhysicalSize() const override { return {SheetW, SheetH}; }
  TPoint PhysicalOffset() const override { return {0, 0}; }
  float DeviceDpm() const override { return Dpm600; }
  void BeginDoc(const std::string &) override {}
  void NewPage() override {}
  void EndDoc() override {}
  void DrawBand(const TBitmap32 &band, const TRect &) override {
    const TColor32 *p = band.Bits();
    const int64_t n = static_cast<int64_t>(band.Width()) * band.Height();
    for (int64_t i = 0; i < n; i += 16)
      Sum += p[i];
    Bytes += n * 4;
  }
};

void PrintA4(TfsDocument &doc, TTouchPrinter &printer) {
  PrintPage(*doc.CurrentPage(), printer, Rect(0, 0, SheetW, SheetH), false, false, 0, Dpm600);
  benchmark::DoNotOptimize(printer.Sum);
}

void BM_PrintA4At600(benchmark::State &state) {
  TfsDocument doc;
  TTouchPrinter printer;
  for (auto _ : state)
    PrintA4(doc, printer);
}
BENCHMARK(BM_PrintA4At600)->Unit(benchmark::kMillisecond);

void BM_MemsetA4At600(benchmark::State &state) {
  std::vector<uint8_t> buffer(static_cast<size_t>(SheetW) * SheetH * 4);
  for (auto _ : state) {
    std::memset(buffer.data(), 0xFF, buffer.size());
    benchmark::DoNotOptimize(buffer.data());
  }
}
BENCHMARK(BM_MemsetA4At600)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  constexpr int Runs = 11;
  TfsDocument doc;
  TTouchPrinter printer;
  const double ours = MedianSeconds([&] { PrintA4(doc, printer); }, Runs);
  // Each band is rendered into its own bitmap: memset of the whole page
  // into one buffer of the page's size is the floor.
  std::vector<uint8_t> buffer(static_cast<size_t>(4961) * 7016 * 4);
  const double peer = MedianSeconds(
      [&] {
        std::memset(buffer.data(), 0xFF, buffer.size());
        benchmark::DoNotOptimize(buffer.data());
      },
      Runs);
  std::printf("median print_a4_600 %.3f ms, memset %.3f ms (%.0f MB)\n", ours * 1e3, peer * 1e3,
              static_cast<double>(buffer.size()) / 1e6);
  std::printf("ratio print_a4_600 %.3f\n", ours / peer);
  return 0;
}
