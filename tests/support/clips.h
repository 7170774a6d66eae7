// Access to the test clips that make_clips.sh writes into the build tree, and
// the files the tests make for themselves.
#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace ozmira::test {

inline constexpr size_t kPalFrameBytes = 144000;
inline constexpr size_t kNtscFrameBytes = 120000;
inline constexpr int kPalWidth = 720, kPalHeight = 576, kNtscHeight = 480;

std::string clip_path(const std::string &name);
std::vector<uint8_t> read_file(const std::string &path);
std::vector<uint8_t> read_clip(const std::string &name);
void write_file(const std::string &path, const std::vector<uint8_t> &bytes, bool append = false);

// The whole frames of a clip, each in a block with zeroed room behind it:
// libdv's own decoder reads a few bytes past a damaged frame's last segment,
// and ours reads zeros there, so the room keeps the two comparable.
std::vector<std::vector<uint8_t>> clip_frames(const std::string &name, size_t frame_bytes = kPalFrameBytes);

// The first `frames` whole PAL frames of a clip, as one run of bytes.
std::vector<uint8_t> clip_prefix(const std::string &name, size_t frames);

// A private directory, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  std::string path() const { return path_.string(); }
  std::string file(const std::string &name) const { return (path_ / name).string(); }
  std::set<std::string> names() const;  // every entry, hidden ones included

 private:
  std::filesystem::path path_;
};

}  // namespace ozmira::test
