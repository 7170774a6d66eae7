// Shared pieces of the dvlib tests: image sizes, images filled with a marker
// so that "untouched" can be checked, temporary files, and the exact lines
// that dvopen prints for a file it accepts.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture.h"
#include "clips.h"
#include "dvlib.h"

namespace ozmira::test {

inline constexpr int kWidth = 720, kPalHeight = 576, kNtscHeight = 480;
inline constexpr size_t kPalRgbBytes = size_t{kWidth} * kPalHeight * 3;
inline constexpr size_t kNtscRgbBytes = size_t{kWidth} * kNtscHeight * 3;
inline constexpr uint8_t kMarker = 0x5a;

inline std::vector<uint8_t> marked_image(size_t bytes = kPalRgbBytes) { return std::vector<uint8_t>(bytes, kMarker); }

inline bool untouched(const uint8_t *image, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i)
    if (image[i] != kMarker) return false;
  return true;
}

// What dvopen writes for a 720 x 576 file it accepts.
inline std::string accepted_lines(long long frames) {
  return "(dvopen:dvlib) Image Size 720 576\n(dvopen:dvlib) PAL format video\n(dvopen:dvlib) " +
         std::to_string(frames) + " frames\n";
}

// A private directory, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "dvlib-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  std::string file(const std::string &name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline void write_file(const std::string &path, const std::vector<uint8_t> &bytes,
                       std::ios::openmode mode = std::ios::trunc) {
  std::ofstream out(path, std::ios::binary | std::ios::out | mode);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// The first `frames` whole frames of a clip, as one run of bytes.
inline std::vector<uint8_t> clip_prefix(const std::string &clip, size_t frames) {
  std::vector<uint8_t> bytes = read_clip(clip);
  bytes.resize(frames * kPalFrameBytes);
  return bytes;
}

// Every test starts from a freshly made decoder.
class DvlibTest : public testing::Test {
 protected:
  void SetUp() override { dvinit(); }
};

}  // namespace ozmira::test
