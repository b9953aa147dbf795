// Saving a document-sized archive: 50 entries of the sizes a design holds
// (index, page XML, embedded pictures, thumbnails, a font cache).
#include "base/fsStream.h"
#include "persist/nvStorage.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::pair<std::string, size_t>> DocumentEntries() {
  std::vector<std::pair<std::string, size_t>> e;
  e.emplace_back("Index.xml", 1800);
  for (int i = 1; i <= 8; ++i)
    e.emplace_back("Page" + std::to_string(1000 + i).substr(1) + ".xml",
                   4000 + 4500 * static_cast<size_t>(i));
  for (int i = 0; i < 30; ++i)
    e.emplace_back("TMP" + std::to_string(1000000 + i * 7919) + ".hck",
                   15000 + (static_cast<size_t>(i) * 37 % 30) * 20000);
  for (int i = 1; i <= 10; ++i)
    e.emplace_back("Thumb" + std::to_string(1000 + i).substr(1) + ".bmp", 30054);
  e.emplace_back("Fonts.dat", 250000);
  return e; // 50 entries, about 10 MB
}

int64_t Fill(TnvStorage &s) {
  int64_t total = 0;
  int seed = 0;
  for (const auto &[name, size] : DocumentEntries()) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
      data[i] = static_cast<char>((i * 131 + static_cast<size_t>(seed)) >> 3);
    ++seed;
    TMemoryStream m(std::move(data));
    s.WriteStream(name, m);
    total += static_cast<int64_t>(size);
  }
  return total;
}

std::filesystem::path BenchFolder() {
  auto dir = std::filesystem::temp_directory_path() /
             ("tallisyn-bench-storage-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return dir;
}

// Entries in the working stream, saved into memory.
void BM_SaveToStream50(benchmark::State &state) {
  TnvStorage s;
  int64_t total = Fill(s);
  TMemoryStream out;
  for (auto _ : state) {
    s.SaveToStream(out);
    benchmark::DoNotOptimize(out.Bytes().data());
  }
  state.SetBytesProcessed(state.iterations() * total);
}
BENCHMARK(BM_SaveToStream50)->Unit(benchmark::kMillisecond);

// Entries read from an opened archive and written as a new file (temporary
// file, flush to disk, rename).
void BM_SaveToFile50(benchmark::State &state) {
  auto dir = BenchFolder();
  TnvStorage s;
  int64_t total = Fill(s);
  s.SaveToFile((dir / "source.stor").string());
  s.LoadFromFile((dir / "source.stor").string());
  for (auto _ : state)
    s.SaveToFile((dir / "copy.stor").string());
  state.SetBytesProcessed(state.iterations() * total);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SaveToFile50)->Unit(benchmark::kMillisecond);

// The everyday save: one page changed, written back onto the opened file.
void BM_SaveOntoOpened50(benchmark::State &state) {
  auto dir = BenchFolder();
  auto file = (dir / "doc.stor").string();
  TnvStorage s;
  int64_t total = Fill(s);
  s.SaveToFile(file);
  s.LoadFromFile(file);
  int round = 0;
  for (auto _ : state) {
    TMemoryStream page(std::string(20000 + static_cast<size_t>(round++ % 7) * 100, 'p'));
    s.WriteStream("Page0003.xml", page);
    s.SaveToFile(file);
  }
  state.SetBytesProcessed(state.iterations() * total);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SaveOntoOpened50)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
