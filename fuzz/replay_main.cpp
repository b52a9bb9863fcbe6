// The main of a fuzz target outside the fuzzing build: feeds every file named on the command
// line, and every file of every folder named there, to LLVMFuzzerTestOneInput once, in name
// order. Fails when it found nothing to replay, so a wrong corpus path cannot pass.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

void Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::printf("replaying %s (%zu bytes)\n", file.c_str(), bytes.size());
  std::fflush(stdout);
  // A private copy of exactly the input's size, as the fuzzer gives it.
  std::vector<uint8_t> input(bytes.begin(), bytes.end());
  static uint8_t empty = 0;
  LLVMFuzzerTestOneInput(input.empty() ? &empty : input.data(), input.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg = argv[i];
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else if (std::filesystem::is_regular_file(arg)) {
      files.push_back(arg);
    }
  }
  std::sort(files.begin(), files.end());
  if (files.empty()) {
    std::fprintf(stderr, "no inputs found\n");
    return 1;
  }
  for (const auto& file : files) Replay(file);
  std::printf("replayed %zu inputs\n", files.size());
  return 0;
}
