// dvopen, dvreadframe, DisplayDvAttributes and dvclose on whole files: the
// record, frames read by number, a frame the file gained after dvopen, the
// attribute listing and a close that fails. Refused and damaged files are the
// bad-input matrix's (tests/robustness/library_matrix_test.cpp).
#include <unistd.h>

#include <climits>

#include "dvlib_helpers.h"
#include "libdv_oracle.h"

namespace ozmira::test {
namespace {

class DvFile : public DvlibTest {};

TEST_F(DvFile, WholeFramesOpenAndReadByNumber) {
  const auto frames = clip_frames("pal420.dv");
  Captured opened;
  dvfile *dv = open_quietly(clip_path("pal420.dv"), &opened);
  ASSERT_NE(dv, nullptr);
  EXPECT_EQ(opened.err, accepted_lines(50));  // 50 x 144000 bytes: no length warning
  EXPECT_EQ(opened.out, "");
  EXPECT_EQ(dv->block_size, 144000);
  EXPECT_EQ(dv->x_size, kPalWidth);
  EXPECT_EQ(dv->y_size, kPalHeight);
  EXPECT_EQ(dv->code, 2);
  EXPECT_EQ(dv->type, 1);
  EXPECT_EQ(dv->num_frames, 50);
  EXPECT_EQ(dv_ftell64(dv->file), 0);

  LibdvDecoder oracle;
  for (int f : {49, 0, 17}) {
    auto image = marked_image();
    ASSERT_EQ(dvreadframe(dv, image.data(), f), 1) << f;
    EXPECT_TRUE(image == oracle.rgb(frames[f].data())) << "frame " << f;
    EXPECT_EQ(dv_ftell64(dv->file), (f + 1) * 144000LL);
  }
  // dvreadframe does not compare the number with num_frames: the read fails.
  for (int f : {50, -1, INT_MIN}) {
    auto image = marked_image();
    const Captured c = capture_output([&] { EXPECT_EQ(dvreadframe(dv, image.data(), f), 0); });
    EXPECT_EQ(c.err, kFreadFailed) << f;
    EXPECT_TRUE(untouched(image)) << f;
  }
  EXPECT_EQ(dv->num_frames, 50);

  const Captured listed = capture_output([&] { DisplayDvAttributes(dv); });
  EXPECT_EQ(listed.out,
            "\n"
            " Block size (single image=144000): 144000\n"
            " x size (frame width)            : 720\n"
            " y size (frame height)           : 576\n"
            " Code (Hopefully PAL)            : 2\n"
            " Type (greyscale or colour)      : 1\n"
            " Number of frames                : 50\n"
            "\n");
  EXPECT_EQ(listed.err, "");
  EXPECT_EQ(dvclose(dv), 0);
}

TEST_F(DvFile, FrameAppendedAfterOpenReads) {
  TempDir dir;
  write_file(dir.file("growing.dv"), clip_prefix("pal420.dv", 2));
  dvfile *dv = open_quietly(dir.file("growing.dv"));
  ASSERT_NE(dv, nullptr);
  ASSERT_EQ(dv->num_frames, 2);
  const auto frames = clip_frames("pal420.dv");
  write_file(dir.file("growing.dv"), {frames[7].begin(), frames[7].begin() + kPalFrameBytes}, true);
  auto image = marked_image();
  EXPECT_EQ(dvreadframe(dv, image.data(), 2), 1);
  EXPECT_TRUE(image == LibdvDecoder().rgb(frames[7].data()));
  EXPECT_EQ(dv->num_frames, 2);
  EXPECT_EQ(dvclose(dv), 0);
}

// A frame of another size than the file's, a 525/60 frame or a dropout of
// zero bytes (which parses as one), is refused by number, the image untouched.
TEST_F(DvFile, FrameOfAnotherSizeIsRefused) {
  TempDir dir;
  auto bytes = clip_prefix("pal420.dv", 1);
  const auto ntsc = clip_frames("ntsc.dv", kNtscFrameBytes)[0];
  bytes.insert(bytes.end(), ntsc.begin(), ntsc.begin() + kNtscFrameBytes);
  bytes.resize(3 * kPalFrameBytes);  // frame 1 the 525/60 frame and zeros, frame 2 all zeros
  write_file(dir.file("mixed.dv"), bytes);
  dvfile *dv = open_quietly(dir.file("mixed.dv"));
  ASSERT_NE(dv, nullptr);
  for (int f : {1, 2}) {
    auto image = marked_image();
    const Captured c = capture_output([&] { EXPECT_EQ(dvreadframe(dv, image.data(), f), 0); });
    EXPECT_EQ(c.err, "(dvreadframe:dvlib): frame " + std::to_string(f) +
                         " is 720 x 480, not 720 x 576 as the file - image left untouched.\n");
    EXPECT_TRUE(untouched(image));
  }
  EXPECT_EQ(dvclose(dv), 0);
}

// A close that fails is reported, and the record is released all the same.
TEST_F(DvFile, FailedCloseIsReported) {
  dvfile *dv = open_quietly(clip_path("grey.dv"));
  ASSERT_NE(dv, nullptr);
  close(fileno(dv->file));
  EXPECT_EQ(dvclose(dv), EOF);
}

}  // namespace
}  // namespace ozmira::test
