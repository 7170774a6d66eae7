// Requests the decoder cannot or must not draw: extended formats asked of
// 4:1:1 frames (reported per macroblock through the message and the host's
// flag), a decoder that has no DIF sequences, and format numbers outside the
// table.
#include <gtest/gtest.h>

#include <algorithm>
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

bool untouched(const RowImage &image) {
  return std::all_of(image.bytes().begin(), image.bytes().end(), [](uint8_t b) { return b == RowImage::kCanary; });
}

std::string repeated(const std::string &text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

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

TEST_F(FormatDispatch, ExtendedFormatsReportEachMacroblockOf411FramesAndDrawNothing) {
  struct Case {
    std::string clip;
    size_t frame_bytes;
    int macroblocks;
  };
  // One message per macroblock: DIF sequences x 27 segments x 5.
  const Case cases[] = {{"pal411.dv", kPalFrameBytes, 12 * 27 * 5}, {"ntsc.dv", kNtscFrameBytes, 10 * 27 * 5}};
  for (const Case &c : cases) {
    const auto frame = clip_frames(c.clip, c.frame_bytes).at(0);
    LibdvDecoder dv;
    ASSERT_GE(dv.parse(frame.data()), 0);
    ASSERT_EQ(dv.get()->sampling, e_dv_sample_411);
    dv.get()->quality = 5;
    const std::string messages = repeated(error_mess, c.macroblocks);
    for (int format = b_dv_color_I; format <= b_dv_color_qRGB; ++format) {
      SCOPED_TRACE(testing::Message() << c.clip << " format " << format);
      RowImage image(shape_of_format(5));
      int flag = 0;
      pforerror = &flag;
      Captured printed = decode(dv.get(), frame.data(), format, image);
      EXPECT_EQ(printed.out.size(), messages.size());
      EXPECT_TRUE(printed.out == messages);
      EXPECT_EQ(printed.err, "");
      EXPECT_EQ(flag, 1);
      EXPECT_TRUE(untouched(image));

      // With no flag registered only the messages appear.
      pforerror = nullptr;
      flag = 0;
      printed = decode(dv.get(), frame.data(), format, image);
      EXPECT_TRUE(printed.out == messages);
      EXPECT_EQ(flag, 0);
      EXPECT_TRUE(untouched(image));
    }
  }
}

TEST_F(FormatDispatch, FrameTheFormatsServeRaisesNoFlag) {
  const auto frame = clip_frames("pal420.dv").at(0);
  LibdvDecoder dv;
  ASSERT_GE(dv.parse(frame.data()), 0);
  dv.get()->quality = 5;
  int flag = 0;
  pforerror = &flag;
  RowImage image(shape_of_format(b_dv_color_RGB));
  const Captured printed = decode(dv.get(), frame.data(), b_dv_color_RGB, image);
  EXPECT_EQ(printed.out, "");
  EXPECT_EQ(flag, 0);
  EXPECT_FALSE(untouched(image));
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
      EXPECT_TRUE(untouched(image)) << "format " << format;
      EXPECT_EQ(printed.out, "") << "format " << format;
    }
  }
}

TEST_F(FormatDispatch, FormatsOutsideTheTableDrawNothingAndSayNothing) {
  // A 4:1:1 frame too: treating a negative value as an extended format would
  // print the mismatch message.
  for (const char *clip : {"pal420.dv", "pal411.dv"}) {
    const auto frame = clip_frames(clip).at(0);
    LibdvDecoder dv;
    ASSERT_GE(dv.parse(frame.data()), 0);
    dv.get()->quality = 5;
    for (int format : {15, 16, 255, -1, INT_MIN}) {
      RowImage image(shape_of_format(5));
      const Captured printed = decode(dv.get(), frame.data(), format, image);
      EXPECT_TRUE(untouched(image)) << clip << " format " << format;
      EXPECT_EQ(printed.out, "") << clip << " format " << format;
      EXPECT_EQ(printed.err, "") << clip << " format " << format;
    }
  }
}

}  // namespace
}  // namespace ozmira::test
