// The packed formats, as dvreadformat draws them, must be byte for byte what
// libdv's own frame decoder makes of the same frame, on intact, 2-4-8, 4:1:1,
// 525/60 and damaged clips.
// Segments on which libdv's AC parser would leave its blocks are drawn from
// their DC coefficients (segment_guard.h), which is libdv's own DC-only decode
// of them (guarded_oracle.h); the guard refuses no segment of intact material
// and some of the clip of random damage.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "clips.h"
#include "dvlib.h"
#include "frame_decoder.h"
#include "guarded_oracle.h"
#include "libdv_oracle.h"

namespace ozmira::test {
namespace {

enum class Guard { kRefusesNone, kRefusesSome, kEither };

struct PackedCase {
  std::string clip;
  size_t frame_bytes;
  Guard guard;
};

std::ostream &operator<<(std::ostream &out, const PackedCase &c) { return out << c.clip; }

class PackedFormats : public testing::TestWithParam<PackedCase> {
 protected:
  static void SetUpTestSuite() { dvinit(); }
};

int bytes_per_pixel(int format) { return format == 0 ? 2 : format == 1 ? 3 : 4; }

TEST_P(PackedFormats, MatchLibdvByteForByte) {
  constexpr unsigned kColourFirstPassOnly = 3;
  const PackedCase &c = GetParam();
  LibdvDecoder oracle, ours;
  const auto frames = clip_frames(c.clip, c.frame_bytes);
  ASSERT_FALSE(frames.empty());
  size_t refused = 0;
  for (size_t f = 0; f < frames.size(); ++f) {
    const uint8_t *frame = frames[f].data();
    ASSERT_GE(ours.parse(frame), 0) << "frame " << f;
    for (unsigned quality : {5u, kColourFirstPassOnly}) refused += dc_only_segments(ours, frame, quality).size();
    for (int format = 0; format <= 2; ++format) {
      for (unsigned quality : {5u, 1u}) {
        // A pitch wider than a row shows that rows land where the pitch says.
        const int pitch = ours.width() * bytes_per_pixel(format) + 24;
        std::vector<uint8_t> expected(static_cast<size_t>(pitch) * ours.height(), 0x5a);
        std::vector<uint8_t> actual = expected;
        decode_as_guarded(oracle, frame, static_cast<::dv_color_space_t>(format), quality, expected.data(), pitch,
                          bytes_per_pixel(format));
        uint8_t *pixels[1] = {actual.data()};
        int pitches[1] = {pitch};
        ASSERT_EQ(dvreadformat(frame, format, pixels, pitches, quality == 5 ? 2 : 16), 1);
        ASSERT_TRUE(expected == actual) << c.clip << " frame " << f << " format " << format << " quality "
                                        << quality;
      }
    }
  }
  if (c.guard != Guard::kEither) {
    EXPECT_EQ(refused > 0, c.guard == Guard::kRefusesSome) << refused << " segments drawn from DC coefficients";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Clips, PackedFormats,
    testing::Values(PackedCase{"pal420.dv", kPalFrameBytes, Guard::kRefusesNone},
                    PackedCase{"pal420_248.dv", kPalFrameBytes, Guard::kRefusesNone},
                    PackedCase{"pal411.dv", kPalFrameBytes, Guard::kRefusesNone},
                    PackedCase{"ntsc.dv", kNtscFrameBytes, Guard::kRefusesNone},
                    PackedCase{"grey.dv", kPalFrameBytes, Guard::kRefusesNone},
                    PackedCase{"colour_unstated.dv", kPalFrameBytes, Guard::kRefusesNone},
                    PackedCase{"damaged_random.dv", kPalFrameBytes, Guard::kRefusesSome},
                    PackedCase{"damaged_ff.dv", kPalFrameBytes, Guard::kEither},
                    PackedCase{"truncated.dv", kPalFrameBytes, Guard::kRefusesNone}),
    [](const testing::TestParamInfo<PackedCase> &info) {
      std::string name = info.param.clip.substr(0, info.param.clip.find('.'));
      std::replace(name.begin(), name.end(), '_', 'X');
      return name;
    });

}  // namespace
}  // namespace ozmira::test
