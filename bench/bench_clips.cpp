#include "bench_clips.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace ozmira::bench {

namespace {
constexpr size_t kFrameBytes = 144000, kRoom = 64;
}

std::string clip_path(const std::string &name) {
  const char *dir = std::getenv("OZMIRA_CLIP_DIR");
  return std::string(dir != nullptr ? dir : OZMIRA_DEFAULT_CLIP_DIR) + "/" + name;
}

std::vector<std::vector<uint8_t>> clip_frames(const std::string &name) {
  std::ifstream in(clip_path(name), std::ios::binary);
  const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<std::vector<uint8_t>> frames;
  for (size_t at = 0; at + kFrameBytes <= bytes.size(); at += kFrameBytes) {
    frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + kFrameBytes));
    frames.back().resize(kFrameBytes + kRoom, 0);
  }
  if (frames.empty()) {
    std::fprintf(stderr, "no frames in %s: run tests/clips/make_clips.sh first\n", clip_path(name).c_str());
    std::exit(1);
  }
  return frames;
}

}  // namespace ozmira::bench
