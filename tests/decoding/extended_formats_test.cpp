// Whole frames in the extended formats. libdv's YUY2 decode of the same frame
// holds every luminance sample and chrominance pair; each format's pixels
// follow from those through the colour formulas and layouts worked out in
// reference_render.h, macroblock by macroblock in the order libdv's own
// placement gives to the decoder's walk (thumbnail patches overlap, and the
// later one must stand).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "clips.h"
#include "dvlib.h"
#include "frame_decoder.h"
#include "libdv_internal.h"
#include "libdv_oracle.h"
#include "reference_render.h"
#include "row_image.h"
#include "yuy2_samples.h"

namespace ozmira::test {
namespace {

constexpr int kSegmentsPerSequence = 27, kMacroblocksPerSegment = 5;

// Calls visit(x, y) for every macroblock in the decoder's walk order
// (sequence, segment, macroblock), placed by libdv.
template <typename Visit>
void walk_macroblocks(dv_decoder_t *dv, Visit visit) {
  dv_videosegment_t seg{};
  dv_macroblock_t mb{};
  for (int ds = 0; ds < dv->num_dif_seqs; ++ds) {
    for (int v = 0; v < kSegmentsPerSequence; ++v) {
      seg.i = ds;
      seg.k = v;
      for (int m = 0; m < kMacroblocksPerSegment; ++m) {
        dv_place_macroblock(dv, &seg, &mb, m);
        visit(mb.x, mb.y);
      }
    }
  }
}

// The format's image with one spare row and 16 spare bytes per row, which
// must keep their canary bytes.
ImageShape with_margin(int format) {
  const ImageShape s = shape_of_format(format);
  return {s.rows + 1, s.row_bytes + 16};
}

struct FrameCase {
  std::string clip;
  size_t frame;
};

class ExtendedFormats : public testing::TestWithParam<FrameCase> {
 protected:
  static void SetUpTestSuite() { dvinit(); }

  void SetUp() override {
    const auto frames = clip_frames(GetParam().clip);
    ASSERT_LT(GetParam().frame, frames.size());
    frame_ = frames[GetParam().frame];
    yuy2_ = oracle_.yuy2(frame_.data());
    ASSERT_GE(ours_.parse(frame_.data()), 0);
    ASSERT_EQ(ours_.get()->sampling, e_dv_sample_420);
    ours_.get()->quality = 5;
  }

  // dvreadformat, the host's way to the frame decoder's formats.
  void decode(int format, RowImage &image) {
    ASSERT_EQ(dvreadformat(frame_.data(), format, image.pixels(), image.pitches(), DVLIB_REQUEST_FULL), 1);
  }

  void draw_expected(int format, RowImage &image, bool raster_order = false) {
    auto draw = [&](int x, int y) { draw_reference(format, Yuy2Macroblock(yuy2_, x, y), x, y, image); };
    if (!raster_order) return walk_macroblocks(ours_.get(), draw);
    for (int y = 0; y < kPalHeight; y += kMacroblockSize)
      for (int x = 0; x < kPalWidth; x += kMacroblockSize) draw(x, y);
  }

  std::vector<uint8_t> frame_, yuy2_;
  LibdvDecoder oracle_, ours_;
};

TEST_P(ExtendedFormats, DrawingFormatsMatchTheSamplesThroughTheColourFormulas) {
  for (int format : {3, 4, 5, 6, 7, 8, 11}) {
    RowImage expected(with_margin(format)), actual(with_margin(format));
    draw_expected(format, expected);
    decode(format, actual);
    EXPECT_EQ(first_difference(expected, actual), "") << "format " << format;
  }
}

TEST_P(ExtendedFormats, LaterThumbnailPatchStandsWhereNeighboursOverlap) {
  RowImage walk_order(with_margin(8)), raster_order(with_margin(8)), actual(with_margin(8));
  draw_expected(8, walk_order);
  draw_expected(8, raster_order, true);
  // Otherwise this frame could not tell the two orders apart.
  ASSERT_NE(first_difference(walk_order, raster_order), "");
  decode(8, actual);
  EXPECT_EQ(first_difference(walk_order, actual), "");
}

TEST_P(ExtendedFormats, FormatsThatDrawNothingLeaveTheImageAsItWas) {
  for (int format : {9, 10, 12, 13, 14}) {
    RowImage image(with_margin(5));
    decode(format, image);
    EXPECT_TRUE(image.untouched()) << "format " << format;
  }
}

INSTANTIATE_TEST_SUITE_P(Frames, ExtendedFormats,
                         testing::Values(FrameCase{"pal420.dv", 0}, FrameCase{"pal420.dv", 37},
                                         FrameCase{"pal420_248.dv", 0}, FrameCase{"pal420_248.dv", 11}),
                         [](const testing::TestParamInfo<FrameCase> &info) {
                           std::string name = info.param.clip.substr(0, info.param.clip.find('.'));
                           std::replace(name.begin(), name.end(), '_', 'X');
                           return name + "frame" + std::to_string(info.param.frame);
                         });

}  // namespace
}  // namespace ozmira::test
