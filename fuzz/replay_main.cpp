// Runs a fuzz target's entry point on every file of the given folders (or on the given files),
// without libFuzzer: the inputs the fuzzers found interesting become ordinary regression tests.
// A faulty input aborts (the targets check their own invariants) or trips a sanitizer. Exits
// with 1 when no input was found, so an empty or misplaced corpus cannot pass unnoticed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (fs::is_directory(argv[i])) {
      for (const auto& entry : fs::directory_iterator(argv[i]))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    } else {
      inputs.emplace_back(argv[i]);
    }
  }
  std::sort(inputs.begin(), inputs.end());
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs\n");
    return 1;
  }
  for (const fs::path& p : inputs) {
    std::ifstream f(p, std::ios::binary);
    if (!f) {
      std::fprintf(stderr, "cannot read %s\n", p.c_str());
      return 1;
    }
    const std::string bytes{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    std::fprintf(stderr, "%s\n", p.filename().c_str());  // the last name shown is the culprit
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu inputs replayed\n", inputs.size());
  return 0;
}
