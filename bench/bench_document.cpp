// A 20-page document of 40 shapes a page, as the designer keeps them:
// saving it after one shape of one page changed, and opening it to show
// page 1, each against the same work done for every page (every page
// written, every page read). The closing "ratio" lines show what writing
// only changed pages and reading pages when first needed are worth.
#include "BenchSupport.h"

#include "engine/fsDocument.h"
#include "engine/fsPage.h"
#include "engine/fsShape.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr int Pages = 20;
constexpr int ShapesPerPage = 40;

std::string MakeDocument() {
  TfsDocument doc;
  doc.SetUndoEnabled(false);
  doc.SetPageCount(Pages);
  for (int p = 0; p < Pages; ++p) {
    doc.SetCurrentPageIndex(p);
    for (int s = 0; s < ShapesPerPage; ++s) {
      auto shape = std::make_unique<TfsShape>();
      shape->SetName("shape " + std::to_string(s));
      shape->SetBounds(5.0f + s * 4, 7.0f + s * 6, 20, 10);
      shape->SetDocAngle(static_cast<float>(s));
      doc.AddShape(std::move(shape));
    }
  }
  doc.SetCurrentPageIndex(0);
  TMemoryStream out;
  doc.SaveToStream(out);
  return out.Bytes();
}

const std::string &Stored() {
  static const std::string bytes = MakeDocument();
  return bytes;
}

void Open(TfsDocument &doc) {
  TMemoryStream in(Stored());
  doc.LoadFromStream(in);
}

// One shape of page 6 moves, then the document is saved.
class TEditAndSave {
public:
  explicit TEditAndSave(bool everyPage) {
    FDoc.SetUndoEnabled(false);
    Open(FDoc);
    if (everyPage)
      FDoc.RequestFullRewrite();
    FDoc.SetCurrentPageIndex(5);
  }
  void operator()() {
    FDoc.GetShape(3)->SetDocLeft((++FRound % 2) ? 30.0f : 31.0f);
    TMemoryStream out;
    FDoc.SaveToStream(out);
    benchmark::DoNotOptimize(out.Size());
  }

private:
  TfsDocument FDoc;
  int FRound = 0;
};

void OpenAndShowFirst() {
  TfsDocument doc;
  Open(doc);
  benchmark::DoNotOptimize(doc.CurrentPage()->ShapeCount());
}

void OpenAndReadAll() {
  TfsDocument doc;
  Open(doc);
  for (int p = 0; p < doc.PageCount(); ++p)
    doc.GetPage(p)->EnsureLoaded();
  benchmark::DoNotOptimize(doc.GetPage(Pages - 1)->ShapeCount());
}

void BM_SaveAfterEditingOnePage(benchmark::State &state) {
  TEditAndSave work(false);
  for (auto _ : state)
    work();
}
BENCHMARK(BM_SaveAfterEditingOnePage)->Unit(benchmark::kMillisecond);

void BM_SaveWritingEveryPage(benchmark::State &state) {
  TEditAndSave work(true);
  for (auto _ : state)
    work();
}
BENCHMARK(BM_SaveWritingEveryPage)->Unit(benchmark::kMillisecond);

void BM_OpenAndShowPage1(benchmark::State &state) {
  for (auto _ : state)
    OpenAndShowFirst();
}
BENCHMARK(BM_OpenAndShowPage1)->Unit(benchmark::kMillisecond);

void BM_OpenAndReadEveryPage(benchmark::State &state) {
  for (auto _ : state)
    OpenAndReadAll();
}
BENCHMARK(BM_OpenAndReadEveryPage)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
  if (!RunGoogleBenchmarks(argc, argv))
    return 1;

  constexpr int Runs = 21;
  TEditAndSave lazySave(false), fullSave(true);
  const double saveOne = MedianSeconds([&] { lazySave(); }, Runs);
  const double saveAll = MedianSeconds([&] { fullSave(); }, Runs);
  const double openOne = MedianSeconds(OpenAndShowFirst, Runs);
  const double openAll = MedianSeconds(OpenAndReadAll, Runs);
  std::printf("median save_one_of_20 %.3f ms, every page %.3f ms\n", saveOne * 1e3, saveAll * 1e3);
  std::printf("median open_page1_of_20 %.3f ms, every page %.3f ms\n", openOne * 1e3,
              openAll * 1e3);
  std::printf("ratio save_one_of_20 %.3f\n", saveOne / saveAll);
  std::printf("ratio open_page1_of_20 %.3f\n", openOne / openAll);
  return 0;
}
