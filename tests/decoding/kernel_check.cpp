// The decoder's hot kernels against libdv's own routines, in the manner of
// checkasm: a seeded generator fills the inputs, libdv's routine and ours run
// on identical copies, and the outputs must match byte for byte. Every
// failure names the seed; OZMIRA_KERNEL_SEED=<seed> replays it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "block_work.h"
#include "clips.h"
#include "idct_88.h"
#include "libdv_internal.h"
#include "libdv_oracle.h"

namespace ozmira::test {
namespace {

constexpr int kRandomBlocks = 2'000'000;

struct Block {
  dv_coeff_t c[64];
  bool operator==(const Block &other) const { return std::memcmp(c, other.c, sizeof c) == 0; }
};

uint64_t chosen_seed() {
  const char *replay = std::getenv("OZMIRA_KERNEL_SEED");
  return replay != nullptr ? std::strtoull(replay, nullptr, 0) : std::random_device{}();
}

class Kernels : public testing::Test {
 protected:
  // A 16-bit value of one of four kinds: anywhere, small, a dequantised
  // coefficient (sparse, shifted), or at or next to a limit.
  int16_t value(int kind) {
    const uint64_t r = rng_();
    switch (kind) {
      case 0: return static_cast<int16_t>(r);
      case 1: return static_cast<int16_t>(static_cast<int>(r % 1024) - 512);
      case 2: return r % 4 ? 0 : static_cast<int16_t>((static_cast<int>(r >> 8) % 512 - 256) * (1 << (r >> 32) % 8));
      default: {
        static constexpr int16_t kEdges[] = {-32768, -32767, -1, 0, 1, 32766, 32767};
        return r % 2 ? kEdges[(r >> 8) % 7] : static_cast<int16_t>(r >> 16);
      }
    }
  }
  Block random_block() {
    Block block;
    const int kind = static_cast<int>(rng_() % 4);
    for (dv_coeff_t &c : block.c) c = value(kind);
    return block;
  }
  void expect_same_idct(Block theirs, const std::string &what) {
    Block ours = theirs;
    _dv_idct_88(theirs.c);
    idct_88(ours.c);
    ASSERT_TRUE(ours == theirs) << what;
  }

  LibdvDecoder libdv;  // made first: dv_init fills the tables libdv's routines read
  const uint64_t seed_ = chosen_seed();
  std::mt19937_64 rng_{seed_};
  testing::ScopedTrace trace_{__FILE__, __LINE__, "OZMIRA_KERNEL_SEED=" + std::to_string(seed_)};
};

TEST_F(Kernels, InverseDctOnRandomBlocks) {
  for (int n = 0; n < kRandomBlocks; ++n) ASSERT_NO_FATAL_FAILURE(expect_same_idct(random_block(), "random block"));
}

// Every 8-8 block of every clip, dequantised as the frame decoder does it.
TEST_F(Kernels, InverseDctOnEveryBlockOfTheClips) {
  bitstream_t *bs = _dv_bitstream_init();
  dv_videosegment_t seg{};
  seg.bs = bs;
  for (const char *clip : {"pal420.dv", "pal420_248.dv", "pal411.dv", "ntsc.dv"}) {
    const bool ntsc = std::string(clip) == "ntsc.dv";
    for (auto &frame : clip_frames(clip, ntsc ? kNtscFrameBytes : kPalFrameBytes)) {
      ASSERT_GE(libdv.parse(frame.data()), 0) << clip;
      seg.isPAL = !ntsc;
      for (seg.i = 0; seg.i < libdv.get()->num_dif_seqs; ++seg.i) {
        for (seg.k = 0; seg.k < 27; ++seg.k) {
          const size_t dif = 150 * seg.i + 7 + 16 * (seg.k / 3) + 5 * (seg.k % 3);
          _dv_bitstream_new_buffer(bs, frame.data() + 80 * dif, 400);
          dv_parse_video_segment(&seg, DV_QUALITY_BEST);
          for (dv_macroblock_t &mb : seg.mb) {
            for (dv_block_t &b : mb.b) {
              if (b.dct_mode != 0) continue;
              Block block;
              std::memcpy(block.c, b.coeffs, sizeof block.c);
              dequantise_88(block.c, mb.qno, b.class_no);
              ASSERT_NO_FATAL_FAILURE(expect_same_idct(block, clip));
            }
          }
        }
      }
    }
  }
  std::free(bs);
}

}  // namespace
}  // namespace ozmira::test
