#include "clips.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace ozmira::test {

namespace {
constexpr size_t kReadRoom = 64;
}

std::string clip_path(const std::string &name) { return std::string(OZMIRA_CLIP_DIR) + "/" + name; }

std::vector<uint8_t> read_clip(const std::string &name) {
  std::ifstream in(clip_path(name), std::ios::binary);
  if (!in) throw std::runtime_error("missing clip " + clip_path(name));
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::vector<uint8_t>> clip_frames(const std::string &name, size_t frame_bytes) {
  const std::vector<uint8_t> bytes = read_clip(name);
  std::vector<std::vector<uint8_t>> frames;
  for (size_t at = 0; at + frame_bytes <= bytes.size(); at += frame_bytes) {
    std::vector<uint8_t> frame(frame_bytes + kReadRoom, 0);
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), frame_bytes, frame.begin());
    frames.push_back(std::move(frame));
  }
  return frames;
}

}  // namespace ozmira::test
