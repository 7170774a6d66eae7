// The 2-4-8 clip is what the other decoding tests take it for, as libdv's
// segment parser reads it: it has 2-4-8 blocks, and the plain clip none. (The
// headers of the clips are checked through dvstatus in the dvlib tests.)
#include <gtest/gtest.h>

#include <cstdlib>

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

}  // namespace
}  // namespace ozmira::test
