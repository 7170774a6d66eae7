// Requests the decoder cannot or must not draw: extended formats asked of
// 4:1:1 frames (reported per macroblock through the message and the host's
// flag), a decoder that has no DIF sequences, and format numbers outside the
// table.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "capture.h"
#include "clips.h"
#include "color_tables.h"
#include "frame_decoder.h"
#include "guarded_buffer.h"
#include "libdv_oracle.h"
#include "row_image.h"

namespace ozmira::test {
namespace {

class FormatDispatch : public testing::Test {
 protected:
  static void SetUpTestSuite() { dv_rgb_init(); }
  void TearDown() override { pforerror = nullptr; }

  // Decodes into a canary image big enough for every format; returns what
  // was printed.
  static Captured decode(dv_decoder_t *dv, const uint8_t *frame, int format, RowImage &image) {
    return capture_output([&] {
      dv_decode_full_frame(dv, frame, static_cast<dv_color_space_t>(format), image.pixels(), image.pitches());
    });
  }
};

// One message per macroblock of a 4:1:1 frame (DIF sequences x 27 segments x
// 5) and the registered flag set, nothing drawn; with no flag registered only
// the messages. A 4:2:0 frame draws and says nothing.
TEST_F(FormatDispatch, ExtendedFormatsReportEachMacroblockOf411FramesAndDrawNothing) {
  struct Case { std::string clip; size_t frame_bytes; int macroblocks; };
  const Case cases[] = {{"pal411.dv", kPalFrameBytes, 12 * 27 * 5},
                        {"ntsc.dv", kNtscFrameBytes, 10 * 27 * 5},
                        {"pal420.dv", kPalFrameBytes, 0}};
  for (const Case &c : cases) {
    const auto frame = clip_frames(c.clip, c.frame_bytes).at(0);
    LibdvDecoder dv;
    ASSERT_GE(dv.parse(frame.data()), 0);
    dv.get()->quality = 5;
    std::string messages;
    for (int i = 0; i < c.macroblocks; ++i) messages += error_mess;
    for (int format = b_dv_color_I; format <= b_dv_color_qRGB; ++format) {
      for (bool registered : {true, false}) {
        SCOPED_TRACE(testing::Message() << c.clip << " format " << format << (registered ? "" : " without a flag"));
        RowImage image(shape_of_format(5));
        int flag = 0;
        pforerror = registered ? &flag : nullptr;
        const Captured printed = decode(dv.get(), frame.data(), format, image);
        EXPECT_EQ(printed.out.size(), messages.size());
        EXPECT_TRUE(printed.out == messages);
        EXPECT_EQ(printed.err, "");
        EXPECT_EQ(flag, registered && c.macroblocks > 0);
        const bool draws = c.macroblocks == 0 && format != 9 && format != 10 && format < 12;
        EXPECT_NE(image.untouched(), draws);
      }
    }
  }
}

TEST_F(FormatDispatch, DecoderWithoutSequencesReadsAndWritesNothing) {
  LibdvDecoder dv;
  dv.get()->num_dif_seqs = 0;  // as before any header is parsed
  dv.get()->quality = 5;
  for (dv_sample_t sampling : {e_dv_sample_420, e_dv_sample_411}) {
    dv.get()->sampling = sampling;
    for (int format = 0; format < kColorSpaceCount; ++format) {
      RowImage image(shape_of_format(5));
      // Any read of the frame faults.
      const Captured printed = decode(dv.get(), GuardedBuffer::unreadable(), format, image);
      EXPECT_TRUE(image.untouched()) << "format " << format;
      EXPECT_EQ(printed.out, "") << "format " << format;
    }
  }
}

// A 4:1:1 frame too: treating a negative value as an extended format would
// print the mismatch message.
TEST_F(FormatDispatch, FormatsOutsideTheTableDrawNothingAndSayNothing) {
  for (const char *clip : {"pal420.dv", "pal411.dv"}) {
    const auto frame = clip_frames(clip).at(0);
    LibdvDecoder dv;
    ASSERT_GE(dv.parse(frame.data()), 0);
    dv.get()->quality = 5;
    for (int format : {15, 16, 255, -1, INT_MIN}) {
      RowImage image(shape_of_format(5));
      const Captured printed = decode(dv.get(), frame.data(), format, image);
      EXPECT_TRUE(image.untouched()) << clip << " format " << format;
      EXPECT_EQ(printed.out + printed.err, "") << clip << " format " << format;
    }
  }
}

}  // namespace
}  // namespace ozmira::test
