// The packed formats must be byte for byte what libdv's own frame decoder
// makes of the same frame, on intact, 2-4-8, 4:1:1, 525/60 and damaged clips,
// but for the segments that hold invalid codes (segment_oracle.h): none in
// intact material, some in the clip of random damage.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "clips.h"
#include "color_tables.h"
#include "frame_decoder.h"
#include "segment_oracle.h"
#include "libdv_oracle.h"

namespace ozmira::test {
namespace {

enum class Damage { kNone, kSome, kEither };

struct PackedCase {
  std::string clip;
  size_t frame_bytes;
  Damage damage;
};

std::ostream &operator<<(std::ostream &out, const PackedCase &c) { return out << c.clip; }

class PackedFormats : public testing::TestWithParam<PackedCase> {
 protected:
  static void SetUpTestSuite() { dv_rgb_init(); }
};

int bytes_per_pixel(int format) { return format == 0 ? 2 : format == 1 ? 3 : 4; }

TEST_P(PackedFormats, MatchLibdvByteForByte) {
  const PackedCase &c = GetParam();
  LibdvDecoder oracle, ours;
  const auto frames = clip_frames(c.clip, c.frame_bytes);
  ASSERT_FALSE(frames.empty());
  size_t damaged = 0;
  for (size_t f = 0; f < frames.size(); ++f) {
    const uint8_t *frame = frames[f].data();
    ASSERT_GE(ours.parse(frame), 0) << "frame " << f;
    for (int format = 0; format <= 2; ++format) {
      for (unsigned quality : {5u, 1u}) {
        // A pitch wider than a row shows that rows land where the pitch says.
        const int pitch = ours.width() * bytes_per_pixel(format) + 24;
        std::vector<uint8_t> expected(static_cast<size_t>(pitch) * ours.height(), 0x5a);
        std::vector<uint8_t> actual = expected;
        oracle.decode(frame, static_cast<::dv_color_space_t>(format), quality, expected.data(), pitch);
        ours.parse(frame);
        ours.get()->quality = quality;
        uint8_t *pixels[1] = {actual.data()};
        int pitches[1] = {pitch};
        ozmira::dv_decode_full_frame(ours.get(), frame, static_cast<ozmira::dv_color_space_t>(format), pixels,
                                     pitches);
        damaged += copy_damaged_segments(ours.get(), frame, actual.data(), expected.data(), pitch, bytes_per_pixel(format));
        // On damaged data libdv's renderers may read past their clamp table
        // (mb420_packed.h); ours saturate there.
        for (size_t i = 0; i < actual.size(); ++i) {
          ASSERT_TRUE(expected[i] == actual[i] || (c.damage != Damage::kNone && (actual[i] == 0 || actual[i] == 255)))
              << c.clip << " frame " << f << " format " << format << " quality " << quality << " byte " << i;
        }
      }
    }
  }
  if (c.damage != Damage::kEither) {
    EXPECT_EQ(damaged > 0, c.damage == Damage::kSome) << damaged << " segments with invalid codes";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Clips, PackedFormats,
    testing::Values(PackedCase{"pal420.dv", kPalFrameBytes, Damage::kNone},
                    PackedCase{"pal420_248.dv", kPalFrameBytes, Damage::kNone},
                    PackedCase{"pal411.dv", kPalFrameBytes, Damage::kNone},
                    PackedCase{"ntsc.dv", kNtscFrameBytes, Damage::kNone},
                    PackedCase{"mandelbrot.dv", kPalFrameBytes, Damage::kNone},
                    PackedCase{"grey.dv", kPalFrameBytes, Damage::kNone},
                    PackedCase{"colour_unstated.dv", kPalFrameBytes, Damage::kNone},
                    PackedCase{"damaged_random.dv", kPalFrameBytes, Damage::kSome},
                    PackedCase{"damaged_ff.dv", kPalFrameBytes, Damage::kEither},
                    PackedCase{"truncated.dv", kPalFrameBytes, Damage::kNone}),
    [](const testing::TestParamInfo<PackedCase> &info) {
      std::string name = info.param.clip.substr(0, info.param.clip.find('.'));
      std::replace(name.begin(), name.end(), '_', 'X');
      return name;
    });

}  // namespace
}  // namespace ozmira::test
