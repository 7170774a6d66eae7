// The segment parser against libdv's own (dv_parse_video_segment, on a copy
// in a sandbox), at all eight qualities: on every segment of every clip, and
// on clip segments with random bits changed or random bytes wherever our
// parser meets no invalid code, so that libdv stays inside its blocks too.
// Both must give the same qno, DCT modes, classes, coefficients and
// end-of-block flags. The intact clips hold no invalid code at all.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "clips.h"
#include "libdv_internal.h"
#include "libdv_oracle.h"
#include "segment_parser.h"

namespace ozmira::test {
namespace {

constexpr size_t kDifBlock = 80, kSequenceBytes = 150 * kDifBlock;
constexpr int kSegmentsPerSequence = 27, kQualities = 8, kColourBlocks = 6;

size_t segment_offset(int ds, int v) { return ds * kSequenceBytes + kDifBlock * (7 + 16 * (v / 3) + 5 * (v % 3)); }

// Without colour, libdv's later passes visit the two chrominance blocks as
// its previous parse left them: they are set complete with no bits to lend,
// as our parser takes them.
class LibdvParser {
 public:
  LibdvParser() { vs_.bs = _dv_bitstream_init(); }
  const dv_macroblock_t *parse(const uint8_t *segment, unsigned quality) {
    std::memcpy(copy_, segment, kSegmentBytes);
    for (dv_macroblock_t &mb : vs_.mb) {
      for (int b = 4; b < kColourBlocks; ++b) mb.b[b].eob = 1, mb.b[b].offset = mb.b[b].end;
    }
    _dv_bitstream_new_buffer(vs_.bs, copy_, kSegmentBytes);
    dv_parse_video_segment(&vs_, quality);
    return vs_.mb;
  }

 private:
  LibdvDecoder tables_;  // runs dv_init
  dv_videosegment_t vs_{};
  uint8_t copy_[kSegmentBytes + 8]{};  // libdv's reader loads two words at a time
};

// Parses with both; empty when they agree, else where they differ. Sets
// `intact` to our parser's verdict; nothing is compared when it is false.
std::string compare(LibdvParser &libdv, const uint8_t *segment, unsigned quality, bool &intact) {
  dv_macroblock_t ours[kMacroblocksPerSegment]{};
  intact = parse_video_segment(segment, quality, ours);
  if (!intact) return "";
  const dv_macroblock_t *theirs = libdv.parse(segment, quality);
  const int blocks = quality & DV_QUALITY_COLOR ? kColourBlocks : 4;
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    const std::string at = " quality " + std::to_string(quality) + " macroblock " + std::to_string(m);
    if (ours[m].qno != theirs[m].qno) return "qno" + at;
    for (int b = 0; b < blocks; ++b) {
      const dv_block_t &o = ours[m].b[b], &t = theirs[m].b[b];
      if (o.dct_mode != t.dct_mode || o.class_no != t.class_no || o.eob != t.eob ||
          std::memcmp(o.coeffs, t.coeffs, sizeof o.coeffs) != 0) {
        return "block " + std::to_string(b) + at + (o.eob != t.eob ? ": eob" : ": mode, class or coefficients");
      }
    }
  }
  return "";
}

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
          ASSERT_EQ(compare(libdv, frame.data() + segment_offset(ds, v), quality, intact), "");
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
    ASSERT_EQ(compare(libdv, segment, quality, intact), "") << "seed " << seed << " round " << round;
    compared += intact;
  }
  // Both kinds must be common, or the comparison proves little.
  EXPECT_GT(compared, kRounds / 4u);
  EXPECT_LT(compared, kRounds * 15 / 16u);
}

}  // namespace
}  // namespace ozmira::test
