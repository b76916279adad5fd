// Runs a fuzz target once over every file of its committed corpus, without libFuzzer, so
// that a compiler without it (GCC and its sanitizers) checks the same inputs on every run.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " CORPUS_DIRECTORY\n";
    return 2;
  }
  const std::filesystem::path corpus = argv[1];
  LLVMFuzzerInitialize(&argc, &argv);
  std::size_t inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    ++inputs;
  }
  // An empty or missing corpus would pass without checking anything.
  std::cout << inputs << " inputs replayed from " << corpus << "\n";
  return inputs > 0 ? 0 : 1;
}
