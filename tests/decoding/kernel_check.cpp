// The decoder's hot kernels against libdv's own routines, in the manner of
// checkasm: a seeded generator fills the inputs, libdv's routine and ours run
// on identical copies, and the outputs must match byte for byte. Every
// failure names the seed; OZMIRA_KERNEL_SEED=<seed> replays it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "block_work.h"
#include "clips.h"
#include "dc_only_blocks.h"
#include "idct_88.h"
#include "libdv_internal.h"
#include "libdv_oracle.h"
#include "mb420_packed.h"

namespace ozmira::test {
namespace {

using Block = std::array<dv_coeff_t, 64>;

class Kernels : public testing::Test {
 protected:
  // A 16-bit value of one of four kinds: anywhere, small, a dequantised
  // coefficient (sparse, shifted), or at or next to a limit.
  int16_t value(int kind) {
    static constexpr int16_t kEdges[] = {-32768, -32767, -1, 0, 1, 32766, 32767};
    const uint64_t r = rng_();
    if (kind == 2) return r % 4 ? 0 : static_cast<int16_t>((static_cast<int>(r >> 8 & 511) - 256) * (1 << (r >> 32 & 7)));
    if (kind == 3 && r % 2) return kEdges[(r >> 8) % 7];
    return static_cast<int16_t>(kind == 1 ? static_cast<int>(r % 1024) - 512 : static_cast<int>(r >> 16));
  }
  int16_t in(int low, int high) { return static_cast<int16_t>(low + static_cast<int>(rng_() % (high - low + 1))); }
  // A segment as the parser could leave it: every step and class, both DCT modes.
  dv_videosegment_t random_segment() {
    dv_videosegment_t seg{};
    for (dv_macroblock_t &mb : seg.mb) {
      mb.qno = static_cast<int>(rng_() % 16);
      for (dv_block_t &b : mb.b) {
        b.class_no = static_cast<int>(rng_() % 4);
        b.dct_mode = rng_() % 6 == 0;
        for (dv_coeff_t &c : b.coeffs) c = value(static_cast<int>(rng_() % 4));
      }
    }
    return seg;
  }
  // Samples for which libdv reads inside its clamp table (mb420_packed.h): studio luminance with
  // any colour, luminance below black with blue, up to 253 with mild colour, or DC-only blocks.
  dv_macroblock_t random_macroblock(int x, int y) {
    dv_macroblock_t mb{};
    mb.x = x, mb.y = y;
    const int kind = static_cast<int>(rng_() % 4);
    for (int b = 0; b < 6; ++b) {
      for (dv_coeff_t &c : mb.b[b].coeffs) {
        if (b < 4) c = kind == 0 ? in(-110, 107) : kind == 1 ? in(-300, 107) : in(-32768, 253);
        else c = kind == 0 ? value(static_cast<int>(rng_() % 2)) : in(-43, kind == 1 && b == 5 ? 127 : 43);
      }
      if (kind < 3) continue;
      mb.b[b].coeffs[0] = b < 4 ? in(-220, 214) : in(-256, 255);
      mb.b[b].dct_mode = rng_() % 2;
      fill_dc_only_block(&mb.b[b]);
    }
    return mb;
  }
  // Our block work and libdv's own (dv_decode_video_segment) on copies.
  void expect_same_block_work(const dv_videosegment_t &seg, unsigned quality, const std::string &what) {
    dv_videosegment_t ours = seg, theirs = seg;
    transform_segment(&ours, quality, kAllBlocks);
    dv_decode_video_segment(libdv.get(), &theirs, quality);
    for (int m = 0; m < 5; ++m) {
      for (int b = 0; b < 6; ++b) {
        ASSERT_EQ(0, std::memcmp(ours.mb[m].b[b].coeffs, theirs.mb[m].b[b].coeffs, sizeof(Block)))
            << what << ", quality " << quality << ", macroblock " << m << ", block " << b;
      }
    }
  }

  LibdvDecoder libdv;  // made first: dv_init fills the tables libdv's routines read
  const uint64_t seed_ = [] {
    const char *replay = std::getenv("OZMIRA_KERNEL_SEED");
    return replay != nullptr ? std::strtoull(replay, nullptr, 0) : std::random_device{}();
  }();
  std::mt19937_64 rng_{seed_};
  testing::ScopedTrace trace_{__FILE__, __LINE__, "OZMIRA_KERNEL_SEED=" + std::to_string(seed_)};
};

TEST_F(Kernels, InverseDctOnRandomBlocks) {
  for (int n = 0; n < 2'000'000; ++n) {
    Block theirs;
    const int kind = static_cast<int>(rng_() % 4);
    for (dv_coeff_t &c : theirs) c = value(kind);
    Block ours = theirs;
    _dv_idct_88(theirs.data());
    idct_88(ours.data());
    ASSERT_TRUE(ours == theirs) << "block " << n;
  }
}

// The dequantiser at every step and class, both DCT modes (without colour
// the chrominance blocks stay as parsed); without AC bits, the table for
// every DC value, mode, step and class, five of them to a segment.
TEST_F(Kernels, BlockWorkOnRandomSegmentsAndEveryDc) {
  for (int n = 0; n < 2000; ++n) {
    const unsigned quality = n % 2 ? DV_QUALITY_BEST : DV_QUALITY_AC_2;
    ASSERT_NO_FATAL_FAILURE(expect_same_block_work(random_segment(), quality, "random segment"));
  }
  constexpr int kDcCases = 2 * 512 * 16;  // mode, DC, step
  for (int n = 0; n < kDcCases; n += 5) {
    dv_videosegment_t seg{};
    for (int m = 0; m < 5; ++m) {
      const int at = (n + m) % kDcCases;
      seg.mb[m].qno = at % 16;
      for (int b = 0; b < 6; ++b) {
        seg.mb[m].b[b].coeffs[0] = static_cast<dv_coeff_t>(at / 16 % 512 - 256);
        seg.mb[m].b[b].dct_mode = at / (16 * 512), seg.mb[m].b[b].class_no = b % 4;
      }
    }
    ASSERT_NO_FATAL_FAILURE(expect_same_block_work(seg, DV_QUALITY_COLOR, "every DC"));
  }
}

// Every segment of every clip as libdv's parser leaves it at three qualities:
// every 8-8 block through the inverse DCT, every DC-only block.
TEST_F(Kernels, BlockWorkOnEverySegmentOfTheClips) {
  dv_videosegment_t seg{};
  seg.bs = _dv_bitstream_init();
  for (const char *clip : {"pal420.dv", "pal420_248.dv", "pal411.dv", "ntsc.dv"}) {
    const bool ntsc = std::string(clip) == "ntsc.dv";
    for (auto &frame : clip_frames(clip, ntsc ? kNtscFrameBytes : kPalFrameBytes)) {
      ASSERT_GE(libdv.parse(frame.data()), 0) << clip;
      seg.isPAL = !ntsc;
      for (seg.i = 0; seg.i < libdv.get()->num_dif_seqs; ++seg.i) {
        for (seg.k = 0; seg.k < 27; ++seg.k) {
          const size_t dif = 150 * seg.i + 7 + 16 * (seg.k / 3) + 5 * (seg.k % 3);
          for (unsigned quality : {DV_QUALITY_BEST, DV_QUALITY_COLOR | DV_QUALITY_AC_1, DV_QUALITY_COLOR}) {
            _dv_bitstream_new_buffer(seg.bs, frame.data() + 80 * dif, 400);
            dv_parse_video_segment(&seg, quality);
            ASSERT_NO_FATAL_FAILURE(expect_same_block_work(seg, quality, clip));
          }
        }
      }
    }
  }
  std::free(seg.bs);
}

// Random macroblocks at every position of a picture, in random order (so a
// write outside its own 16 x 16 pixels shows), into pictures with room
// around them; the macroblock must be left as it was.
TEST_F(Kernels, PackedRenderersAtEveryPosition) {
  using Render = void (*)(dv_macroblock_t *, uint8_t **, int *);
  const struct { Render theirs, ours; int bytes; } kFormats[] = {  // bytes per pixel
      {dv_mb420_YUY2, mb420_packed_yuy2, 2}, {dv_mb420_rgb, mb420_packed_rgb, 3}, {dv_mb420_bgr0, mb420_packed_bgr0, 4},
      {dv_mb420_rgb, mb420_packed_rgb_dc_only, 3}, {dv_mb420_bgr0, mb420_packed_bgr0_dc_only, 4}};
  std::vector<std::pair<int, int>> places;
  for (int y = 0; y < kPalHeight; y += 16)
    for (int x = 0; x < kPalWidth; x += 16) places.emplace_back(x, y);
  constexpr int kRoom = 64;
  for (const auto &format : kFormats) {
    int pitch = kPalWidth * format.bytes;
    std::vector<uint8_t> theirs(static_cast<size_t>(pitch) * kPalHeight + 2 * kRoom), ours = theirs;
    uint8_t *picture_theirs = theirs.data() + kRoom, *picture_ours = ours.data() + kRoom;
    std::shuffle(places.begin(), places.end(), rng_);
    for (auto [x, y] : places) {
      dv_macroblock_t mb = random_macroblock(x, y), copy = mb;
      format.theirs(&mb, &picture_theirs, &pitch);
      format.ours(&copy, &picture_ours, &pitch);
      ASSERT_EQ(0, std::memcmp(&mb, &copy, sizeof mb)) << "macroblock at " << x << ", " << y << " changed";
    }
    ASSERT_TRUE(ours == theirs) << format.bytes << "-byte pixels";
  }
}

}  // namespace
}  // namespace ozmira::test
