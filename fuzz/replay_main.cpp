// Runs a fuzz target's entry point on saved inputs, without libFuzzer, so that
// every build (g++ included) replays the inputs kept under fuzz/regressions/.
//   replay_<target> FILE_OR_DIRECTORY...
// Directories are read in name order. Fails when no input was found; a fault
// in the target ends the process as it would under the fuzzer.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

std::vector<std::filesystem::path> inputs_of(const std::filesystem::path &arg) {
  std::vector<std::filesystem::path> found;
  if (std::filesystem::is_directory(arg)) {
    for (const auto &entry : std::filesystem::directory_iterator(arg))
      if (entry.is_regular_file()) found.push_back(entry.path());
    std::sort(found.begin(), found.end());
  } else if (std::filesystem::is_regular_file(arg)) {
    found.push_back(arg);
  }
  return found;
}

}  // namespace

int main(int argc, char **argv) {
  size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto &path : inputs_of(argv[i])) {
      std::ifstream in(path, std::ios::binary);
      const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      std::fprintf(stderr, "replay: %s (%zu bytes)\n", path.c_str(), bytes.size());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++replayed;
    }
  }
  std::fprintf(stderr, "replay: %zu inputs\n", replayed);
  return replayed > 0 ? 0 : 1;
}
