// dvopen, dvreadframe, DisplayDvAttributes and dvclose on real and edited
// files: frame counts, refusals with their exact messages and no stream left
// open, frames read by number, and the attribute listing.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "dvlib_test_helpers.h"
#include "libdv_oracle.h"

namespace ozmira::test {
namespace {

size_t open_descriptors() {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

std::string length_warning(long long bytes) {
  return "(dvopen:dvlib) Warning - DV file length (" + std::to_string(bytes) +
         " bytes) is not an exact multiple of 144,000 - corrupt file?\n";
}

const std::string kFreadFailed = "(dvreadframe:dvlib): fread failed - invalid frame number? (too high/low)\n";

class DvFile : public DvlibTest {};

TEST_F(DvFile, WholeFramesOpenAndReadByNumber) {
  const auto frames = clip_frames("pal420.dv");
  dvfile *dv = nullptr;
  const Captured opened = capture_output([&] { dv = dvopen(clip_path("pal420.dv").c_str()); });
  ASSERT_NE(dv, nullptr);
  EXPECT_EQ(opened.err, accepted_lines(50));
  EXPECT_EQ(opened.out, "");
  EXPECT_EQ(dv->block_size, 144000);
  EXPECT_EQ(dv->x_size, kWidth);
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
  for (int f : {50, -1, INT_MIN}) {
    auto image = marked_image();
    const Captured c = capture_output([&] { EXPECT_EQ(dvreadframe(dv, image.data(), f), 0); });
    EXPECT_EQ(c.err, kFreadFailed) << f;
    EXPECT_TRUE(untouched(image.data(), image.size())) << f;
  }
  EXPECT_EQ(dv->num_frames, 50);
  EXPECT_EQ(dvclose(dv), 0);
}

TEST_F(DvFile, TrailingPieceIsIgnoredWithAWarning) {
  TempDir dir;
  auto three_and_a_byte = clip_prefix("pal420.dv", 3);
  three_and_a_byte.push_back(0);
  write_file(dir.file("plus_one.dv"), three_and_a_byte);
  struct Case { std::string path; int frames; long long bytes; };
  for (const Case &k : {Case{dir.file("plus_one.dv"), 3, 3 * 144000LL + 1},
                        Case{clip_path("truncated.dv"), 2, 2 * 144000LL + 50000}}) {
    dvfile *dv = nullptr;
    const Captured c = capture_output([&] { dv = dvopen(k.path.c_str()); });
    ASSERT_NE(dv, nullptr) << k.path;
    EXPECT_EQ(dv->num_frames, k.frames);
    EXPECT_EQ(c.err, accepted_lines(k.frames) + length_warning(k.bytes));
    auto image = marked_image();
    EXPECT_EQ(dvreadframe(dv, image.data(), k.frames - 1), 1);
    const Captured last = capture_output([&] { EXPECT_EQ(dvreadframe(dv, image.data(), k.frames), 0); });
    EXPECT_EQ(last.err, kFreadFailed);
    EXPECT_EQ(dvclose(dv), 0);
  }
}

TEST_F(DvFile, RefusedFilesGetTheirMessageAndAreClosed) {
  TempDir dir;
  write_file(dir.file("empty.dv"), {});
  auto one_byte_short = clip_prefix("pal420.dv", 1);
  one_byte_short.pop_back();
  write_file(dir.file("short.dv"), one_byte_short);
  const std::string frame0_read = "(dvopen:dvlib) Error trying to read DV frame 0 - closed file and returned NULL.\n";
  struct Case { std::string path, err; };
  const Case cases[] = {
      {dir.file("empty.dv"), frame0_read},
      {dir.file("short.dv"), frame0_read},
      {dir.file("missing.dv"), "(dvopen:dvlib) Couldn't open DV file (" + dir.file("missing.dv") + ")\n"},
      {clip_path("bad_header.dv"),
       "(dvopen:dvlib) Error when parsing DV frame 0 header - closed file and returned NULL.\n"},
      {clip_path("ntsc.dv"),
       "(dvopen:dvlib) Image Size 720 480\n(dvopen:dvlib) Not a PAL format video - closed file and returned NULL.  "
       "Do we need this or is it an application problem?\n"},
  };
  for (const Case &k : cases) {
    const size_t descriptors = open_descriptors();
    dvfile not_set{};
    dvfile *dv = &not_set;
    const Captured c = capture_output([&] { dv = dvopen(k.path.c_str()); });
    EXPECT_EQ(dv, nullptr) << k.path;
    EXPECT_EQ(c.err, k.err);
    EXPECT_EQ(c.out, "");
    EXPECT_EQ(open_descriptors(), descriptors) << k.path << " left open";
  }
}

// Frames are found by seeking, so a named pipe can never be a DV file; it is
// refused at once, even with no writer, instead of blocking in the open.
TEST_F(DvFile, PipesAndDirectoriesAreRefusedWithoutWaiting) {
  TempDir dir;
  const std::string pipe = dir.file("pipe.dv");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::string folder = dir.file("folder.dv");
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  for (const std::string &path : {pipe, folder}) {
    const size_t descriptors = open_descriptors();
    dvfile *dv = nullptr;
    const Captured c = capture_output([&] { dv = dvopen(path.c_str()); });
    EXPECT_EQ(dv, nullptr);
    EXPECT_EQ(c.err, "(dvopen:dvlib) " + path + " is not a regular file - closed file and returned NULL.\n");
    EXPECT_EQ(open_descriptors(), descriptors);
  }
}

TEST_F(DvFile, RecordDescribesFrameZero) {
  struct Case { const char *clip; int code, type, frames; };
  for (const Case &k : {Case{"pal411.dv", 1, 1, 25}, Case{"grey.dv", 2, 0, 1}, Case{"colour_unstated.dv", 2, -1, 1}}) {
    dvfile *dv = nullptr;
    const Captured c = capture_output([&] { dv = dvopen(clip_path(k.clip).c_str()); });
    ASSERT_NE(dv, nullptr) << k.clip;
    EXPECT_EQ(c.err, accepted_lines(k.frames));
    EXPECT_EQ(dv->code, k.code) << k.clip;
    EXPECT_EQ(dv->type, k.type) << k.clip;
    EXPECT_EQ(dv->num_frames, k.frames) << k.clip;
    EXPECT_EQ(dvclose(dv), 0);
  }
}

TEST_F(DvFile, DisplayDvAttributesOfA250FrameColourFile) {
  TempDir dir;
  const std::vector<uint8_t> clip = read_clip("pal420.dv");
  for (int copy = 0; copy < 5; ++copy) write_file(dir.file("long.dv"), clip, std::ios::app);
  dvfile *dv = nullptr;
  capture_output([&] { dv = dvopen(dir.file("long.dv").c_str()); });
  ASSERT_NE(dv, nullptr);
  const Captured c = capture_output([&] { DisplayDvAttributes(dv); });
  EXPECT_EQ(c.out,
            "\n"
            " Block size (single image=144000): 144000\n"
            " x size (frame width)            : 720\n"
            " y size (frame height)           : 576\n"
            " Code (Hopefully PAL)            : 2\n"
            " Type (greyscale or colour)      : 1\n"
            " Number of frames                : 250\n"
            "\n");
  EXPECT_EQ(c.err, "");
  EXPECT_EQ(dvclose(dv), 0);

  const Captured null_record = capture_output([] { DisplayDvAttributes(nullptr); });
  EXPECT_EQ(null_record.out, "");
  EXPECT_TRUE(null_record.err.starts_with("(DisplayDvAttributes:dvlib)")) << null_record.err;
  EXPECT_EQ(std::count(null_record.err.begin(), null_record.err.end(), '\n'), 1);
}

TEST_F(DvFile, FrameAppendedAfterOpenReads) {
  TempDir dir;
  write_file(dir.file("growing.dv"), clip_prefix("pal420.dv", 2));
  dvfile *dv = nullptr;
  capture_output([&] { dv = dvopen(dir.file("growing.dv").c_str()); });
  ASSERT_NE(dv, nullptr);
  ASSERT_EQ(dv->num_frames, 2);
  const auto frames = clip_frames("pal420.dv");
  write_file(dir.file("growing.dv"), {frames[7].begin(), frames[7].begin() + kPalFrameBytes}, std::ios::app);
  auto image = marked_image();
  EXPECT_EQ(dvreadframe(dv, image.data(), 2), 1);
  EXPECT_TRUE(image == LibdvDecoder().rgb(frames[7].data()));
  EXPECT_EQ(dv->num_frames, 2);
  EXPECT_EQ(dvclose(dv), 0);
}

TEST_F(DvFile, FrameWhoseHeaderDoesNotParse) {
  TempDir dir;
  write_file(dir.file("mixed.dv"), clip_prefix("pal420.dv", 1));
  write_file(dir.file("mixed.dv"), read_clip("bad_header.dv"), std::ios::app);
  dvfile *dv = nullptr;
  capture_output([&] { dv = dvopen(dir.file("mixed.dv").c_str()); });
  ASSERT_NE(dv, nullptr);
  auto image = marked_image();
  const Captured c = capture_output([&] { EXPECT_EQ(dvreadframe(dv, image.data(), 1), 0); });
  EXPECT_EQ(c.err,
            "(dvreadblock:dvlib): dv_parse_header failed - erm?\n"
            "(dvreadframe:dvlib): dvreadblock failed - unknown format requested?\n");
  EXPECT_TRUE(untouched(image.data(), image.size()));
  EXPECT_EQ(dvclose(dv), 0);
}

TEST_F(DvFile, BadRecordsAndImages) {
  const std::string null_image =
      "(dvreadframe:dvlib): 'image' was NULL - user must allocate sufficient size for an image.\n";
  const std::string bad_record =
      "(dvreadframe:dvlib): invalid dvfile structure (NULL or file not open) - user must open DV file.\n";
  auto image = marked_image();
  dvfile closed{144000, kWidth, kPalHeight, 2, 1, 50, nullptr};
  struct Case { dvfile *dv; uint8_t *image; const std::string &err; };
  for (const Case &k : {Case{nullptr, nullptr, null_image}, Case{&closed, nullptr, null_image},
                        Case{nullptr, image.data(), bad_record}, Case{&closed, image.data(), bad_record}}) {
    const Captured c = capture_output([&] { EXPECT_EQ(dvreadframe(k.dv, k.image, 0), 0); });
    EXPECT_EQ(c.err, k.err);
    EXPECT_EQ(c.out, "");
  }
  EXPECT_TRUE(untouched(image.data(), image.size()));
  EXPECT_EQ(dvclose(nullptr), EOF);

  // A close that fails is reported, and the record is released all the same.
  dvfile *dv = nullptr;
  capture_output([&] { dv = dvopen(clip_path("grey.dv").c_str()); });
  ASSERT_NE(dv, nullptr);
  close(fileno(dv->file));
  EXPECT_EQ(dvclose(dv), EOF);
}

}  // namespace
}  // namespace ozmira::test
