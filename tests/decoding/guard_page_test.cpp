// Frames placed so that their last byte is followed by an inaccessible page,
// decoded in every format at both qualities: the damaged clips, frames spoiled
// here, and the 4:1:1 and 525/60 layouts (whose last segment ends elsewhere). libdv's bit-stream reader reads
// past the segment it is given when the data is damaged; the decoder must
// keep every read inside the caller's frame block, or this test crashes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "capture.h"
#include "clips.h"
#include "color_tables.h"
#include "frame_decoder.h"
#include "guarded_buffer.h"
#include "libdv_oracle.h"
#include "row_image.h"

namespace ozmira::test {
namespace {

constexpr size_t kDifBlockBytes = 80, kSequenceBytes = 150 * kDifBlockBytes;
constexpr size_t kFirstDataBlock = 6;  // after the header, subcode and VAUX blocks

// How a clip's frames are spoiled on top of what the clip already holds:
// every block after the header, subcode and VAUX blocks of every sequence
// overwritten, so the header still parses.
enum class Spoil { kNone, kNoise, kOnes };

struct GuardCase {
  std::string name, clip;
  size_t frame_bytes, max_frames;
  Spoil spoil;
};

std::ostream &operator<<(std::ostream &out, const GuardCase &c) { return out << c.name; }

void spoil(uint8_t *frame, size_t frame_bytes, Spoil how, std::mt19937 &rng) {
  if (how == Spoil::kNone) return;
  for (size_t seq = 0; seq < frame_bytes; seq += kSequenceBytes) {
    for (size_t i = seq + kFirstDataBlock * kDifBlockBytes; i < seq + kSequenceBytes; ++i) {
      frame[i] = how == Spoil::kOnes ? 0xff : static_cast<uint8_t>(rng());
    }
  }
}

class GuardPage : public testing::TestWithParam<GuardCase> {
 protected:
  static void SetUpTestSuite() { dv_rgb_init(); }
};

TEST_P(GuardPage, EveryFormatReadsOnlyTheFrameBlock) {
  const GuardCase &c = GetParam();
  const auto bytes = read_clip(c.clip);
  GuardedBuffer block(c.frame_bytes);
  RowImage image(shape_of_format(b_dv_color_RGB));  // large enough for every format
  std::mt19937 rng(11);
  size_t decoded = 0;
  for (size_t at = 0; at + c.frame_bytes <= bytes.size() && decoded < c.max_frames; at += c.frame_bytes) {
    std::memcpy(block.data(), bytes.data() + at, c.frame_bytes);
    spoil(block.data(), c.frame_bytes, c.spoil, rng);
    LibdvDecoder dv;
    ASSERT_GE(dv.parse(block.data()), 0) << "frame " << decoded;
    // 4:1:1 frames print the mismatch message for the extended formats.
    capture_output([&] {
      for (unsigned quality : {5u, 1u}) {
        dv.get()->quality = quality;
        for (int format = 0; format < kColorSpaceCount; ++format) {
          dv_decode_full_frame(dv.get(), block.data(), static_cast<dv_color_space_t>(format), image.pixels(),
                               image.pitches());
        }
      }
    });
    ++decoded;
  }
  EXPECT_EQ(decoded, std::min(c.max_frames, bytes.size() / c.frame_bytes));
}

INSTANTIATE_TEST_SUITE_P(
    Clips, GuardPage,
    testing::Values(GuardCase{"damagedXrandom", "damaged_random.dv", kPalFrameBytes, 10, Spoil::kNone},
                    GuardCase{"damagedXff", "damaged_ff.dv", kPalFrameBytes, 10, Spoil::kNone},
                    GuardCase{"noise", "pal420.dv", kPalFrameBytes, 4, Spoil::kNoise},
                    GuardCase{"ones", "pal420.dv", kPalFrameBytes, 2, Spoil::kOnes},
                    GuardCase{"truncated", "truncated.dv", kPalFrameBytes, 2, Spoil::kNone},
                    GuardCase{"pal411", "pal411.dv", kPalFrameBytes, 2, Spoil::kNone},
                    GuardCase{"ntsc", "ntsc.dv", kNtscFrameBytes, 2, Spoil::kNone},
                    GuardCase{"ntscXnoise", "ntsc.dv", kNtscFrameBytes, 2, Spoil::kNoise}),
    [](const testing::TestParamInfo<GuardCase> &info) { return info.param.name; });

}  // namespace
}  // namespace ozmira::test
