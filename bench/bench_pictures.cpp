// Pictures at print sizes: a 24-megapixel photograph placed at 100 x 75 mm,
// painted in a full-HD view again and again (the reduction to its place is
// made once) and printed at 300 dpi; and a metafile of 2,000 records played
// at 300 dpi.
#include "engine/fsDocument.h"
#include "engine/fsPage.h"
#include "raster/fsGR32.h"
#include "shapes/fsBitmapShape.h"
#include "shapes/fsExposedMetafile.h"
#include "shapes/fsStandardShapes.h"

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr float PrintDpm = 11.811024f; // 300 dpi

std::unique_ptr<TfsBitmapShape> Photograph() {
  TBitmap32 photo;
  photo.SetSize(6000, 4000);
  // Something that is no flat colour: gradients with fine detail.
  for (int32_t y = 0; y < photo.Height(); ++y) {
    TColor32 *row = photo.ScanLine(y);
    for (int32_t x = 0; x < photo.Width(); ++x)
      row[x] = Color32(x * 255 / 6000, y * 255 / 4000, ((x ^ y) & 0x3F) * 4);
  }
  auto shape = std::make_unique<TfsBitmapShape>();
  shape->Image().SetBitmap(&photo);
  shape->SetBounds(10, 10, 100, 75);
  return shape;
}

class TPhotoFixture {
public:
  TPhotoFixture() {
    Document.SetClientSize(1920, 1080);
    Document.AddShape(Photograph());
    Document.SetViewMapping({0, 0, 96 / 25.4f});
    Canvas.SetSize(1920, 1080);
    Target.SetSize(1300, 1000);
    Print.DeviceType = dtPrinter;
    Print.BackColor = 0x00FFFFFF;
    Print.DestDpm = Print.CacheDpm = PrintDpm;
  }
  void Paint() {
    Document.PaintView(Canvas, {0, 0, 1920, 1080});
    benchmark::DoNotOptimize(Canvas.Bits());
  }
  void PrintPhoto() {
    TfsShape::RenderShape(*Document.GetShape(0), Target,
                          FloatRect(5, 5, 5 + 1300 / PrintDpm, 5 + 1000 / PrintDpm), Print, false);
    benchmark::DoNotOptimize(Target.Bits());
  }
  TfsDocument Document;
  TBitmap32 Canvas, Target;
  TDeviceContext Print;
};

void BM_PhotoScreenPaintWarm(benchmark::State &state) {
  TPhotoFixture f;
  f.Paint();
  for (auto _ : state)
    f.Paint();
}
BENCHMARK(BM_PhotoScreenPaintWarm)->Unit(benchmark::kMillisecond);

void BM_PhotoPrint300(benchmark::State &state) {
  TPhotoFixture f;
  for (auto _ : state)
    f.PrintPhoto();
}
BENCHMARK(BM_PhotoPrint300)->Unit(benchmark::kMillisecond);

// ---- metafile ------------------------------------------------------------------

void Put32(std::string &s, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Put16(std::string &s, uint32_t v) {
  for (int i = 0; i < 2; ++i)
    s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Record(std::string &out, uint32_t type, const std::string &params) {
  Put32(out, type);
  Put32(out, static_cast<uint32_t>(8 + params.size()));
  out += params;
}

// An enhanced metafile of 2,000 records: brushes made, chosen and deleted
// around polygons and ellipses spread over a 100 x 100 mm frame.
std::string Metafile2000() {
  std::string body;
  int records = 0;
  for (int i = 0; records < 1996; ++i) {
    std::string p;
    Put32(p, 1); // brush slot
    Put32(p, 0); // solid
    Put32(p, 0x00102030u * uint32_t(i % 7 + 1));
    Put32(p, 0);
    Record(body, 39, p); // create brush
    p.clear();
    Put32(p, 1);
    Record(body, 37, p); // select
    p.clear();
    const int x = (i * 37) % 900, y = (i * 53) % 900;
    if (i % 2 == 0) {
      for (int32_t v : {x, y, x + 80, y + 80})
        Put32(p, uint32_t(v));
      Put32(p, 5);
      for (auto [px, py] : {std::pair{x, y + 40},
                            {x + 40, y},
                            {x + 80, y + 40},
                            {x + 60, y + 80},
                            {x + 20, y + 80}}) {
        Put16(p, uint32_t(px));
        Put16(p, uint32_t(py));
      }
      Record(body, 86, p); // polygon, 16-bit points
    } else {
      for (int32_t v : {x, y, x + 90, y + 60})
        Put32(p, uint32_t(v));
      Record(body, 42, p); // ellipse
    }
    p.clear();
    Put32(p, 1);
    Record(body, 40, p); // delete
    records += 4;
  }
  std::string eof;
  Put32(eof, 0);
  Put32(eof, 16);
  Put32(eof, 20);
  Record(body, 14, eof);
  std::string h;
  for (int32_t v : {0, 0, 999, 999, 0, 0, 10000, 10000})
    Put32(h, uint32_t(v));
  Put32(h, 0x464D4520);
  Put32(h, 0x10000);
  Put32(h, static_cast<uint32_t>(88 + body.size()));
  Put32(h, static_cast<uint32_t>(records + 2));
  Put16(h, 4);
  Put16(h, 0);
  Put32(h, 0);
  Put32(h, 0);
  Put32(h, 0);
  for (int32_t v : {1000, 1000, 100, 100})
    Put32(h, uint32_t(v));
  std::string out;
  Record(out, 1, h);
  return out + body;
}

class TMetafileFixture {
public:
  TMetafileFixture() {
    const auto file = std::filesystem::temp_directory_path() / "tallisyn-bench-2000.emf";
    std::ofstream(file, std::ios::binary) << Metafile2000();
    auto shape = std::make_unique<TfsExposedMetafile>();
    Shape = shape.get();
    Document.AddShape(std::move(shape));
    Shape->Picture().LoadFromFile(file.string());
    std::filesystem::remove(file);
    Shape->SetBounds(0, 0, 100, 100);
    Target.SetSize(1181, 1181);
    Print.DeviceType = dtPrinter;
    Print.BackColor = 0x00FFFFFF;
    Print.DestDpm = Print.CacheDpm = PrintDpm;
  }
  void Play() {
    Target.Clear(0xFFFFFFFF);
    TfsShape::RenderShape(*Shape, Target, FloatRect(0, 0, 100, 100), Print, false);
    benchmark::DoNotOptimize(Target.Bits());
  }
  TfsDocument Document;
  TfsExposedMetafile *Shape = nullptr;
  TBitmap32 Target;
  TDeviceContext Print;
};

void BM_Metafile2000At300(benchmark::State &state) {
  TMetafileFixture f;
  for (auto _ : state)
    f.Play();
}
BENCHMARK(BM_Metafile2000At300)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
  RegisterStandardShapes();
  if (!RunGoogleBenchmarks(argc, argv))
    return 1;
  {
    TPhotoFixture f;
    const auto t0 = std::chrono::steady_clock::now();
    f.Paint();
    const double cold =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    const double warm = MedianSeconds([&] { f.Paint(); }, 15) * 1000;
    const double print = MedianSeconds([&] { f.PrintPhoto(); }, 5) * 1000;
    std::printf("photo24mp_screen_paint_cold_ms %.2f\n", cold);
    std::printf("photo24mp_screen_paint_warm_ms %.2f\n", warm);
    // A warm paint must not pay for the reduction again.
    std::printf("ratio photo24mp_screen_warm_over_cold %.3f\n", warm / cold);
    std::printf("photo24mp_print_300dpi_ms %.2f\n", print);
  }
  {
    TMetafileFixture f;
    int inked = 0;
    f.Play();
    for (int32_t y = 0; y < f.Target.Height(); y += 7)
      for (int32_t x = 0; x < f.Target.Width(); x += 7)
        inked += (f.Target.GetPixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
    std::printf("metafile2000_inked_samples %d\n", inked);
    std::printf("metafile2000_play_300dpi_ms %.2f\n", MedianSeconds([&] { f.Play(); }, 5) * 1000);
  }
  return 0;
}
