// HCK block codec on a 12-megapixel photo-like picture against zlib level 6
// on the same planes.
#include "BenchSupport.h"
#include "base/fsStream.h"
#include "persist/fsBlockCodec.h"
#include "persist/fsRasterHck.h"
#include "raster/fsGR32.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int Width = 4000;
constexpr int Height = 3000;

// Smooth light falloff, a sky gradient, a few hard-edged shapes and sensor
// noise: roughly what a downscaled camera picture holds.
void Paint(TBitmap32 &b) {
  b.SetSize(Width, Height);
  std::mt19937 rng(12345);
  std::normal_distribution<float> noise(0.0f, 3.0f);
  for (int y = 0; y < Height; ++y) {
    TColor32 *row = b.ScanLine(y);
    for (int x = 0; x < Width; ++x) {
      const float fx = static_cast<float>(x) / Width, fy = static_cast<float>(y) / Height;
      float r = 90 + 120 * fy + 30 * std::sin(fx * 7.0f);
      float g = 110 + 80 * fy + 25 * std::cos(fy * 5.0f + fx * 3.0f);
      float bl = 200 - 120 * fy + 20 * std::sin(fx * 3.0f + fy * 2.0f);
      // A building, a disc and stripes with hard edges.
      if (x > 600 && x < 1700 && y > 1200)
        r = 160 + 10 * std::sin(y * 0.05f), g = 140, bl = 120;
      const float dx = x - 2900.0f, dy = y - 900.0f;
      if (dx * dx + dy * dy < 450.0f * 450.0f)
        r = 250, g = 220 - dy * 0.05f, bl = 90;
      if (y > 2400 && ((x / 80) % 2 == 0))
        r *= 0.6f, g *= 0.7f, bl *= 0.6f;
      auto channel = [&](float v) {
        return static_cast<TColor32>(std::clamp(std::lrint(v + noise(rng)), 0L, 255L));
      };
      row[x] = 0xFF000000u | channel(r) << 16 | channel(g) << 8 | channel(bl);
    }
  }
}

const TBitmap32 &Photo() {
  static TBitmap32 bmp;
  if (bmp.IsBlank())
    Paint(bmp);
  return bmp;
}

// The planes as the HCK writer lays them out: alpha, red, green, blue.
const std::string &Planes() {
  static std::string planes = [] {
    const TBitmap32 &b = Photo();
    const size_t n = b.PixelCount();
    std::string p(4 * n, '\0');
    for (size_t i = 0; i < n; ++i) {
      const TColor32 c = b.Bits()[i];
      p[i] = static_cast<char>(c >> 24);
      p[n + i] = static_cast<char>(c >> 16);
      p[2 * n + i] = static_cast<char>(c >> 8);
      p[3 * n + i] = static_cast<char>(c);
    }
    return p;
  }();
  return planes;
}

std::string ZlibCompress(const std::string &in) {
  uLongf size = compressBound(in.size());
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef *>(out.data()), &size,
                reinterpret_cast<const Bytef *>(in.data()), in.size(), 6) != Z_OK)
    std::abort();
  out.resize(size);
  return out;
}

std::string ZlibDecompress(const std::string &in, size_t size) {
  std::string out(size, '\0');
  uLongf got = size;
  if (uncompress(reinterpret_cast<Bytef *>(out.data()), &got,
                 reinterpret_cast<const Bytef *>(in.data()), in.size()) != Z_OK ||
      got != size)
    std::abort();
  return out;
}

void BM_HckEncode(benchmark::State &state) {
  const std::string &planes = Planes();
  for (auto _ : state)
    benchmark::DoNotOptimize(BlockCompress(planes));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(planes.size()));
}
BENCHMARK(BM_HckEncode)->Unit(benchmark::kMillisecond);

void BM_HckDecode(benchmark::State &state) {
  const std::string &planes = Planes();
  const std::string block = BlockCompress(planes);
  for (auto _ : state)
    benchmark::DoNotOptimize(BlockDecompress(block, planes.size()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(planes.size()));
}
BENCHMARK(BM_HckDecode)->Unit(benchmark::kMillisecond);

// The whole file path: pixels to planes to file bytes and back.
void BM_HckSaveLoadFile(benchmark::State &state) {
  const TBitmap32 &photo = Photo();
  for (auto _ : state) {
    TMemoryStream s;
    SaveHckToStream(photo, s);
    s.SetPosition(0);
    TBitmap32 back;
    LoadHckFromStream(s, back);
    benchmark::DoNotOptimize(back.Bits());
  }
}
BENCHMARK(BM_HckSaveLoadFile)->Unit(benchmark::kMillisecond);

void BM_ZlibEncode(benchmark::State &state) {
  const std::string &planes = Planes();
  for (auto _ : state)
    benchmark::DoNotOptimize(ZlibCompress(planes));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(planes.size()));
}
BENCHMARK(BM_ZlibEncode)->Unit(benchmark::kMillisecond);

void BM_ZlibDecode(benchmark::State &state) {
  const std::string &planes = Planes();
  const std::string packed = ZlibCompress(planes);
  for (auto _ : state)
    benchmark::DoNotOptimize(ZlibDecompress(packed, planes.size()));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(planes.size()));
}
BENCHMARK(BM_ZlibDecode)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
  if (!RunGoogleBenchmarks(argc, argv))
    return 1;

  constexpr int Runs = 5;
  const std::string &planes = Planes();
  const std::string block = BlockCompress(planes);
  const std::string packed = ZlibCompress(planes);
  if (BlockDecompress(block, planes.size()) != planes)
    std::abort();
  const double hckEncode =
      MedianSeconds([&] { benchmark::DoNotOptimize(BlockCompress(planes)); }, Runs);
  const double zlibEncode =
      MedianSeconds([&] { benchmark::DoNotOptimize(ZlibCompress(planes)); }, Runs);
  const double hckDecode =
      MedianSeconds([&] { benchmark::DoNotOptimize(BlockDecompress(block, planes.size())); }, Runs);
  const double zlibDecode =
      MedianSeconds([&] { benchmark::DoNotOptimize(ZlibDecompress(packed, planes.size())); }, Runs);
  std::printf("median hck encode %.1f ms, zlib-6 %.1f ms; decode %.1f ms, zlib %.1f ms\n",
              hckEncode * 1e3, zlibEncode * 1e3, hckDecode * 1e3, zlibDecode * 1e3);
  std::printf("sizes: planes %zu, hck %zu, zlib-6 %zu bytes\n", planes.size(), block.size(),
              packed.size());
  std::printf("ratio hck_encode %.3f\n", hckEncode / zlibEncode);
  std::printf("ratio hck_decode %.3f\n", hckDecode / zlibDecode);
  std::printf("ratio hck_size %.3f\n",
              static_cast<double>(block.size()) / static_cast<double>(packed.size()));
  return 0;
}
