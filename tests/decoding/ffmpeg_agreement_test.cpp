// Our decode against FFmpeg's, an independent DV decoder with its own
// inverse transforms: the two must agree closely (measured PSNR near 52 dB)
// in the luminance and in each chrominance plane.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "clips.h"
#include "frame_decoder.h"
#include "libdv_oracle.h"
#include "row_image.h"
#include "yuy2_samples.h"

namespace ozmira::test {
namespace {

constexpr int kFfmpegFrames = 3;  // as many as make_clips.sh has FFmpeg decode
constexpr int kChromaWidth = kPalWidth / 2, kChromaHeight = kPalHeight / 2;
constexpr size_t kLumaPlane = static_cast<size_t>(kPalWidth) * kPalHeight;
constexpr size_t kChromaPlane = static_cast<size_t>(kChromaWidth) * kChromaHeight;
constexpr double kMinimumPsnr = 45.0;

struct SquaredError {
  double sum = 0;
  size_t count = 0;
  void add(int a, int b) { sum += (a - b) * (a - b), ++count; }
  double psnr() const { return 10 * std::log10(255.0 * 255.0 * count / sum); }
};

TEST(FfmpegAgreement, LuminanceAndChrominanceAgreeWithFfmpegsDecode) {
  const auto planes = read_clip("pal420_ffmpeg.yuv");
  const auto frames = clip_frames("pal420.dv");
  ASSERT_EQ(planes.size(), kFfmpegFrames * (kLumaPlane + 2 * kChromaPlane));
  SquaredError y, cb, cr;
  for (int f = 0; f < kFfmpegFrames; ++f) {
    LibdvDecoder dv;
    ASSERT_GE(dv.parse(frames[f].data()), 0);
    dv.get()->quality = 5;
    RowImage yuy2(shape_of_format(e_dv_color_yuv));
    dv_decode_full_frame(dv.get(), frames[f].data(), e_dv_color_yuv, yuy2.pixels(), yuy2.pitches());

    const uint8_t *ff_y = planes.data() + f * (kLumaPlane + 2 * kChromaPlane);
    const uint8_t *ff_cb = ff_y + kLumaPlane, *ff_cr = ff_cb + kChromaPlane;
    for (size_t i = 0; i < kLumaPlane; ++i) y.add(ff_y[i], yuy2.bytes()[2 * i]);
    // FFmpeg keeps each macroblock's chroma rows in coded order: plane row R
    // is chroma row R % 8 of macroblock row R / 8.
    for (int row = 0; row < kChromaHeight; ++row) {
      for (int column = 0; column < kChromaWidth; ++column) {
        const Yuy2Macroblock ours(yuy2.bytes(), kMacroblockSize * (column / 8), kMacroblockSize * (row / 8));
        const size_t at = static_cast<size_t>(row) * kChromaWidth + column;
        cb.add(ff_cb[at], ours.cb(row % 8, column % 8) + 128);
        cr.add(ff_cr[at], ours.cr(row % 8, column % 8) + 128);
      }
    }
  }
  char measured[96];
  std::snprintf(measured, sizeof measured, "PSNR against FFmpeg: Y %.2f dB, Cb %.2f dB, Cr %.2f dB", y.psnr(),
                cb.psnr(), cr.psnr());
  std::printf("%s\n", measured);
  testing::Test::RecordProperty("psnr", measured);
  EXPECT_GE(y.psnr(), kMinimumPsnr);
  EXPECT_GE(cb.psnr(), kMinimumPsnr);
  EXPECT_GE(cr.psnr(), kMinimumPsnr);
}

}  // namespace
}  // namespace ozmira::test
