// The clips are what the other decoding tests take them for, as libdv reads
// them: 2-4-8 blocks where they should be, colour flags, sampling and system.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "clips.h"
#include "libdv_internal.h"
#include "libdv_oracle.h"

namespace ozmira::test {
namespace {

constexpr int kSequences = 12, kSegments = 27, kMacroblocks = 5, kBlocks = 6;
constexpr size_t kDifBlockBytes = 80, kSequenceBytes = 150 * kDifBlockBytes, kSegmentBytes = 5 * kDifBlockBytes;
constexpr unsigned kFullQuality = 5;

// Blocks coded with the 2-4-8 DCT in a PAL frame, by libdv's segment parser.
int count_248_blocks(std::vector<uint8_t> &frame) {
  const LibdvDecoder tables;  // making a decoder runs libdv's one-time set-up, which the parser needs
  dv_videosegment_t seg{};
  seg.bs = _dv_bitstream_init();
  seg.isPAL = 1;
  int count = 0;
  for (int ds = 0; ds < kSequences; ++ds) {
    for (int v = 0; v < kSegments; ++v) {
      const size_t first_block = 7 + 16 * (v / 3) + 5 * (v % 3);  // past the header and audio blocks
      _dv_bitstream_new_buffer(seg.bs, frame.data() + ds * kSequenceBytes + first_block * kDifBlockBytes,
                               kSegmentBytes);
      seg.i = ds;
      seg.k = v;
      dv_parse_video_segment(&seg, kFullQuality);
      for (const dv_macroblock_t &mb : seg.mb)
        for (int b = 0; b < kBlocks; ++b) count += mb.b[b].dct_mode == 1;
    }
  }
  std::free(seg.bs);
  return count;
}

TEST(ClipSanity, InterlacedClipHas248BlocksAndPlainClipNone) {
  auto interlaced = clip_frames("pal420_248.dv");
  for (size_t f : {0, 11}) EXPECT_GT(count_248_blocks(interlaced.at(f)), 0) << "frame " << f;
  EXPECT_EQ(count_248_blocks(clip_frames("pal420.dv").at(0)), 0);
}

TEST(ClipSanity, HeadersSayWhatTheClipNamesPromise) {
  struct Expected {
    std::string clip;
    size_t frame_bytes;
    dv_system_t system;
    dv_sample_t sampling;
    int colour;
  };
  const Expected clips[] = {
      {"pal420.dv", kPalFrameBytes, e_dv_system_625_50, e_dv_sample_420, 1},
      {"grey.dv", kPalFrameBytes, e_dv_system_625_50, e_dv_sample_420, 0},
      {"colour_unstated.dv", kPalFrameBytes, e_dv_system_625_50, e_dv_sample_420, -1},
      {"pal411.dv", kPalFrameBytes, e_dv_system_625_50, e_dv_sample_411, 1},
      {"ntsc.dv", kNtscFrameBytes, e_dv_system_525_60, e_dv_sample_411, 1},
  };
  for (const Expected &e : clips) {
    LibdvDecoder dv;
    ASSERT_GE(dv.parse(clip_frames(e.clip, e.frame_bytes).at(0).data()), 0) << e.clip;
    EXPECT_EQ(dv.get()->system, e.system) << e.clip;
    EXPECT_EQ(dv.get()->sampling, e.sampling) << e.clip;
    EXPECT_EQ(dv_frame_is_color(dv.get()), e.colour) << e.clip;
  }
  LibdvDecoder dv;
  EXPECT_EQ(dv.parse(clip_frames("bad_header.dv").at(0).data()), -1);
}

}  // namespace
}  // namespace ozmira::test
