// The segment parser against libdv's own (dv_parse_video_segment, on a copy
// in a sandbox), at all eight qualities: on every segment of every clip, and
// on clip segments with random bits changed or random bytes wherever our
// parser meets no invalid code, so that libdv stays inside its blocks too.
// Both must give the same qno, DCT modes, classes, coefficients and
// end-of-block flags. The intact clips hold no invalid code at all.
#include <gtest/gtest.h>

#include <random>

#include "clips.h"
#include "segment_oracle.h"

namespace ozmira::test {
namespace {

constexpr size_t kSequenceBytes = 12000;
constexpr int kSegmentsPerSequence = 27, kQualities = 8;

struct ClipCase {
  std::string clip;
  size_t frame_bytes;
  bool intact;
};

class ParserCheck : public testing::TestWithParam<ClipCase> {};

TEST_P(ParserCheck, EverySegmentAsLibdvParsesIt) {
  LibdvParser libdv;
  size_t damaged = 0;
  for (const auto &frame : clip_frames(GetParam().clip, GetParam().frame_bytes)) {
    for (size_t ds = 0; ds < GetParam().frame_bytes / kSequenceBytes; ++ds) {
      for (int v = 0; v < kSegmentsPerSequence; ++v) {
        for (unsigned quality = 0; quality < kQualities; ++quality) {
          bool intact;
          ASSERT_EQ(parse_difference(libdv, frame.data() + segment_offset(ds, v), quality, intact), "");
          damaged += !intact;
        }
      }
    }
  }
  EXPECT_EQ(damaged == 0, GetParam().intact) << damaged << " segments with invalid codes";
}

INSTANTIATE_TEST_SUITE_P(Clips, ParserCheck,
                         testing::Values(ClipCase{"pal420.dv", kPalFrameBytes, true},
                                         ClipCase{"pal420_248.dv", kPalFrameBytes, true},
                                         ClipCase{"pal411.dv", kPalFrameBytes, true},
                                         ClipCase{"ntsc.dv", kNtscFrameBytes, true},
                                         ClipCase{"mandelbrot.dv", kPalFrameBytes, true},
                                         ClipCase{"damaged_random.dv", kPalFrameBytes, false}),
                         [](const testing::TestParamInfo<ClipCase> &info) {
                           std::string name = info.param.clip.substr(0, info.param.clip.find('.'));
                           std::erase(name, '_');
                           return name;
                         });

// Clip segments with 1 to 16 bits flipped, and segments of random bytes.
TEST(ParserCheck, DamagedSegmentsWhereverNoCodeIsInvalid) {
  constexpr int kRounds = 40000;
  const uint32_t seed = testing::UnitTest::GetInstance()->random_seed();
  std::mt19937 rng(seed);
  LibdvParser libdv;
  const auto frames = clip_frames("mandelbrot.dv");
  size_t compared = 0;
  for (int round = 0; round < kRounds; ++round) {
    uint8_t segment[kSegmentBytes];
    if (round % 4 == 0) {
      for (uint8_t &byte : segment) byte = static_cast<uint8_t>(rng());
    } else {
      const auto &frame = frames[rng() % frames.size()];
      std::memcpy(segment, frame.data() + segment_offset(rng() % 12, rng() % kSegmentsPerSequence), kSegmentBytes);
      for (int flips = 1 + rng() % 16; flips > 0; --flips) segment[rng() % kSegmentBytes] ^= 1 << rng() % 8;
    }
    bool intact;
    const unsigned quality = rng() % kQualities;
    ASSERT_EQ(parse_difference(libdv, segment, quality, intact), "") << "seed " << seed << " round " << round;
    compared += intact;
  }
  // Both kinds must be common, or the comparison proves little.
  EXPECT_GT(compared, kRounds / 4u);
  EXPECT_LT(compared, kRounds * 15 / 16u);
}

}  // namespace
}  // namespace ozmira::test
