// Replays inputs through the fuzzer's own target in the native suite, with its sanitizers: the seed
// corpus is checked on every run, deterministically; a departure from the model ends the process.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kestrune_fuzz_corpus_replay INPUT...\n");
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    std::ifstream file(argv[i], std::ios::binary);
    if (!file) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 2;
    }
    std::vector<uint8_t> input((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(input.data(), input.size());
    std::printf("%s: %zu bytes, the plug-in agreed with the reference model at every step\n",
                argv[i], input.size());
  }
  return 0;
}
