// Replays a fuzz target's corpus through its entry point, so that every
// normal test run checks the inputs the fuzzer once found interesting.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
    return 2;
  }
  std::error_code ec;
  std::vector<std::filesystem::path> files;
  for (const auto &e : std::filesystem::directory_iterator(argv[1], ec))
    if (e.is_regular_file())
      files.push_back(e.path());
  if (ec || files.empty()) {
    std::fprintf(stderr, "no corpus in %s\n", argv[1]);
    return 1;
  }
  for (const auto &f : files) {
    std::ifstream in(f, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
  }
  std::printf("%zu inputs replayed\n", files.size());
  return 0;
}
