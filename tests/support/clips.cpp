#include "clips.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace ozmira::test {

namespace {
constexpr size_t kReadRoom = 64;
}

std::string clip_path(const std::string &name) { return std::string(OZMIRA_CLIP_DIR) + "/" + name; }

std::vector<uint8_t> read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> read_clip(const std::string &name) { return read_file(clip_path(name)); }

void write_file(const std::string &path, const std::vector<uint8_t> &bytes, bool append) {
  std::ofstream out(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
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

std::vector<uint8_t> clip_prefix(const std::string &name, size_t frames) {
  std::vector<uint8_t> bytes = read_clip(name);
  bytes.resize(frames * kPalFrameBytes);
  return bytes;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ozmira-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() { std::filesystem::remove_all(path_); }

std::set<std::string> TempDir::names() const {
  std::set<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(path_)) names.insert(entry.path().filename());
  return names;
}

}  // namespace ozmira::test
