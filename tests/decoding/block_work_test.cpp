// The block work must leave exactly the samples that libdv's own segment block
// work (dv_decode_video_segment) leaves, at every quality: at quality 4 (no
// colour) libdv leaves the chrominance blocks as parsed, and so must we. That
// only the blocks a format reads are transformed is a matter of speed: a
// format missing one it reads fails the whole-frame tests.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "block_work.h"
#include "libdv_oracle.h"

namespace ozmira::test {
namespace {

// A parsed segment as the parser could leave it: every quantisation step and
// class, both DCT modes, coefficients from small to the whole 16-bit range.
dv_videosegment_t random_segment(std::mt19937 &rng) {
  dv_videosegment_t seg{};
  for (dv_macroblock_t &mb : seg.mb) {
    mb.qno = static_cast<int>(rng() % 16);
    for (dv_block_t &block : mb.b) {
      block.class_no = static_cast<int>(rng() % 4);
      block.dct_mode = rng() % 6 == 0 ? 1 : 0;
      const int range = rng() % 4 == 0 ? 65536 : 512;
      for (dv_coeff_t &c : block.coeffs) c = static_cast<dv_coeff_t>(static_cast<int>(rng() % range) - range / 2);
    }
  }
  return seg;
}

bool same_blocks(const dv_macroblock_t &a, const dv_macroblock_t &b, int block) {
  return std::memcmp(a.b[block].coeffs, b.b[block].coeffs, sizeof a.b[block].coeffs) == 0;
}

// libdv's tables (and its 2-4-8 dequantiser) exist once a decoder is made.
class BlockWork : public testing::Test {
 protected:
  LibdvDecoder libdv;
};

TEST_F(BlockWork, MatchesLibdvsOwnSegmentBlockWork) {
  std::mt19937 rng(61834);
  for (unsigned quality : {5u, 1u, 4u}) {
    for (int round = 0; round < 400; ++round) {
      dv_videosegment_t ours = random_segment(rng), theirs = ours;
      transform_segment(&ours, quality, kAllBlocks);
      dv_decode_video_segment(libdv.get(), &theirs, quality);
      for (int m = 0; m < 5; ++m) {
        for (int b = 0; b < 6; ++b) {
          ASSERT_TRUE(same_blocks(ours.mb[m], theirs.mb[m], b))
              << "quality " << quality << " round " << round << " macroblock " << m << " block " << b << " qno "
              << ours.mb[m].qno << " class " << ours.mb[m].b[b].class_no << " mode " << ours.mb[m].b[b].dct_mode;
        }
      }
    }
  }
}

}  // namespace
}  // namespace ozmira::test
