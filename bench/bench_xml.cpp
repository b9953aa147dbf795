// Writing and reading a page file of about 5 MB: a few hundred text
// properties and one large embedded picture in Base64, as a saved page is.
#include "persist/fsPlainXml.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string PictureBytes() {
  std::string bytes(3700000, '\0');
  uint32_t x = 12345;
  for (auto &b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<char>(x >> 24);
  }
  return bytes;
}

void BuildPage(TPlainXml &doc, const std::string &picture) {
  TXmlNode &page = *doc.Root();
  page.AddAttr("Index", 1);
  for (int i = 0; i < 300; ++i) {
    TXmlNode *shape = page.NewChild("shape");
    shape->StoreString("ClassName", "TfsTextShape", "");
    shape->StoreString("Text", "Line " + std::to_string(i) + " & more <text>", "");
    shape->StoreFloat("Left", i * 1.25, 0);
    shape->StoreFloat("Top", i * 0.75, 0);
    shape->StoreColor("Color", 0x00FF8040, 0);
    shape->StoreBool("Visible", false, true);
  }
  TXmlNode *res = page.NewChild("shape")->NewChild("Resource");
  res->StoreString("Format", "png", "");
  res->NewChild("Data")->WriteBinary(picture.data(), static_cast<int64_t>(picture.size()));
}

void BM_XmlWritePage(benchmark::State &state) {
  std::string picture = PictureBytes();
  TPlainXml doc("Page");
  doc.Layout = static_cast<int>(state.range(0));
  BuildPage(doc, picture);
  size_t bytes = 0;
  for (auto _ : state) {
    std::string text = doc.WriteToString();
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["file_bytes"] = static_cast<double>(bytes);
}

void BM_XmlReadPage(benchmark::State &state) {
  std::string picture = PictureBytes();
  TPlainXml doc("Page");
  doc.Layout = static_cast<int>(state.range(0));
  BuildPage(doc, picture);
  std::string text = doc.WriteToString();
  for (auto _ : state) {
    TPlainXml back;
    back.ReadFromString(text);
    benchmark::DoNotOptimize(back.Root());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_XmlDecodePicture(benchmark::State &state) {
  std::string picture = PictureBytes();
  TPlainXml doc("Page");
  BuildPage(doc, picture);
  TXmlNode *data = doc.Root()->Child(300)->FindChild("Resource")->FindChild("Data");
  std::string out(picture.size(), '\0');
  for (auto _ : state) {
    data->ReadBinary(out.data(), static_cast<int64_t>(out.size()));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * picture.size()));
}

} // namespace

BENCHMARK(BM_XmlWritePage)->Arg(xlCompact)->Arg(xlReadable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlReadPage)->Arg(xlCompact)->Arg(xlReadable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlDecodePicture)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
