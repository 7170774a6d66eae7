// Shared pieces of the tests that call dvlib: images filled with a marker so
// that "untouched" can be checked, and the exact lines dvlib prints that
// several tests expect.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "capture.h"
#include "clips.h"
#include "dvlib.h"

namespace ozmira::test {

inline constexpr size_t kPalRgbBytes = size_t{kPalWidth} * kPalHeight * 3;
inline constexpr uint8_t kMarker = 0x5a;

inline std::vector<uint8_t> marked_image(size_t bytes = kPalRgbBytes) { return std::vector<uint8_t>(bytes, kMarker); }

inline bool untouched(const uint8_t *image, size_t bytes) {
  return std::all_of(image, image + bytes, [](uint8_t b) { return b == kMarker; });
}
inline bool untouched(const std::vector<uint8_t> &image) { return untouched(image.data(), image.size()); }

// What dvopen writes for a 720 x 576 file it accepts.
inline std::string accepted_lines(long long frames) {
  return "(dvopen:dvlib) Image Size 720 576\n(dvopen:dvlib) PAL format video\n(dvopen:dvlib) " +
         std::to_string(frames) + " frames\n";
}

inline const std::string kFreadFailed =
    "(dvreadframe:dvlib): fread failed - invalid frame number? (too high/low)\n";
inline const std::string kNotPal =
    "(dvopen:dvlib) Image Size 720 480\n(dvopen:dvlib) Not a PAL format video - closed file and returned NULL.  "
    "Do we need this or is it an application problem?\n";

// dvopen with what it printed; the caller closes what it opened.
inline dvfile *open_quietly(const std::string &path, Captured *printed = nullptr) {
  dvfile *dv = nullptr;
  const Captured c = capture_output([&] { dv = dvopen(path.c_str()); });
  if (printed != nullptr) *printed = c;
  return dv;
}

// Every test starts from a freshly made decoder.
class DvlibTest : public testing::Test {
 protected:
  void SetUp() override { dvinit(); }
};

}  // namespace ozmira::test
