// The frame decoder's guard against libdv's AC parser (segment_guard.h)
// refuses no segment of intact material at either quality that runs the AC
// parse, refuses the segments of the kept fuzz finding, and does refuse some
// in a clip of random damage, where the packed-format tests then see libdv's
// DC-only decode.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "clips.h"
#include "guarded_oracle.h"

namespace ozmira::test {
namespace {

constexpr unsigned kFullDetail = 5, kColourFirstPassOnly = 3;

size_t refused_in(const std::string &clip, size_t frame_bytes, unsigned quality) {
  LibdvDecoder oracle;
  size_t refused = 0;
  for (const auto &frame : clip_frames(clip, frame_bytes)) {
    if (oracle.parse(frame.data()) < 0) continue;
    refused += dc_only_segments(oracle, frame.data(), quality).size();
  }
  return refused;
}

TEST(SegmentGuard, IntactClipsAreNeverRefused) {
  for (unsigned quality : {kFullDetail, kColourFirstPassOnly}) {
    EXPECT_EQ(refused_in("pal420.dv", kPalFrameBytes, quality), 0u);
    EXPECT_EQ(refused_in("pal420_248.dv", kPalFrameBytes, quality), 0u);
    EXPECT_EQ(refused_in("pal411.dv", kPalFrameBytes, quality), 0u);
    EXPECT_EQ(refused_in("ntsc.dv", kNtscFrameBytes, quality), 0u);
  }
}

TEST(SegmentGuard, DamagedSegmentsAreRefused) {
  EXPECT_GT(refused_in("damaged_random.dv", kPalFrameBytes, kFullDetail), 0u);
  std::ifstream in(std::string(OZMIRA_FUZZ_REGRESSIONS) + "/segment/pass0_invalid_code_leaves_block", std::ios::binary);
  std::vector<uint8_t> finding{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_GT(finding.size(), 3u);
  finding.erase(finding.begin(), finding.begin() + 3);  // the choice bytes
  finding.resize(400 + 2, 0);                            // the segment, and the two bytes the guard may read
  const LibdvDecoder tables;                             // libdv's code tables
  EXPECT_FALSE(ac_parse_stays_in_bounds(finding.data(), kFullDetail));
  EXPECT_TRUE(ac_parse_stays_in_bounds(finding.data(), 1));  // DC only: no AC pass to fear
}

}  // namespace
}  // namespace ozmira::test
