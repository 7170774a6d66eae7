// Files beyond 2^31 and 2^32 bytes: frame counts, frames read at their true
// position, and the 64-bit stream helpers. The files are sparse: real frames
// at the start and at the very end, a hole in between.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "dvlib_helpers.h"

namespace ozmira::test {
namespace {

constexpr long long kFrame = 144000;
constexpr long long kMostBytesWritten = 16LL << 20;  // a sparse file stores only its real frames

class LargeFile : public DvlibTest, public testing::WithParamInterface<int> {
 protected:
  // Frames enough for the last one to start beyond 2^bits bytes.
  static int frames_beyond(int bits) { return static_cast<int>((1LL << bits) / kFrame + 2); }

  // Writes `count` frames of `clip`, from its frame `from`, at frame `first` of
  // the file; false when the filesystem refuses.
  static bool put_frames(int fd, long long first, const std::vector<uint8_t> &clip, int from, int count) {
    const uint8_t *src = clip.data() + from * kFrame;
    const ssize_t bytes = static_cast<ssize_t>(count * kFrame);
    return pwrite(fd, src, static_cast<size_t>(bytes), first * kFrame) == bytes;
  }
};

TEST_P(LargeFile, CountsFramesAndReadsTheLastOnes) {
  const int bits = GetParam(), frames = frames_beyond(bits);
  const long long length = frames * kFrame;
  ASSERT_GT((frames - 1) * kFrame, 1LL << bits);
  TempDir dir;
  const std::string path = dir.file("large.dv");
  const std::vector<uint8_t> clip = read_clip("pal420.dv");
  {
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const bool written = put_frames(fd, 0, clip, 0, 2) && put_frames(fd, frames - 2, clip, 48, 2);
    struct stat st {};
    fstat(fd, &st);
    close(fd);
    if (!written || st.st_size != length || st.st_blocks * 512LL > kMostBytesWritten)
      GTEST_SKIP() << "this filesystem cannot hold a sparse file of " << length << " bytes";
  }

  Captured opened;
  dvfile *dv = open_quietly(path, &opened);
  ASSERT_NE(dv, nullptr);
  EXPECT_EQ(opened.err, accepted_lines(frames));
  EXPECT_EQ(dv->num_frames, frames);

  // The last two frames must be pal420.dv's frames 48 and 49, as read from
  // the small file; the two differ, so a frame read from the wrong place
  // cannot pass.
  dvfile *small = open_quietly(clip_path("pal420.dv"));
  ASSERT_NE(small, nullptr);
  auto from_small_48 = marked_image(), from_small_49 = marked_image();
  ASSERT_EQ(dvreadframe(small, from_small_48.data(), 48), 1);
  ASSERT_EQ(dvreadframe(small, from_small_49.data(), 49), 1);
  ASSERT_NE(from_small_48, from_small_49);
  auto image = marked_image();
  EXPECT_EQ(dvreadframe(dv, image.data(), frames - 1), 1);
  EXPECT_TRUE(image == from_small_49);
  EXPECT_EQ(dvreadframe(dv, image.data(), frames - 2), 1);
  EXPECT_TRUE(image == from_small_48);
  EXPECT_EQ(dv_ftell64(dv->file), length - kFrame);
  const Captured past = capture_output([&] { EXPECT_EQ(dvreadframe(dv, image.data(), frames), 0); });
  EXPECT_EQ(past.err, kFreadFailed);

  // The stream helpers count in frames and return 64-bit positions.
  FILE *f = dv->file;
  EXPECT_EQ(dv_fseek64(f, frames - 1, SEEK_SET), 0);
  EXPECT_EQ(dv_ftell64(f), length - kFrame);
  EXPECT_EQ(dv_fseek64(f, 0, SEEK_END), 0);
  EXPECT_EQ(dv_ftell64(f), length);
  EXPECT_EQ(dv_fseek64(f, -2, SEEK_CUR), 0);
  EXPECT_EQ(dv_ftell64(f), length - 2 * kFrame);
  std::vector<uint8_t> raw(kFrame);
  ASSERT_EQ(std::fread(raw.data(), kFrame, 1, f), 1u);
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), clip.begin() + 48 * kFrame));
  EXPECT_EQ(dv_fseek64(f, -1, SEEK_SET), -1);

  EXPECT_EQ(dvclose(small), 0);
  EXPECT_EQ(dvclose(dv), 0);
}

// More frames than an int can number (309 TB, sparse in memory): the frames
// that can be numbered stay readable, after a warning.
TEST_F(LargeFile, FrameCountStopsAtIntMax) {
  const int fd = memfd_create("huge.dv", 0);
  const std::vector<uint8_t> frame = clip_prefix("pal420.dv", 1);
  const long long last = INT_MAX - 1LL;
  if (fd < 0 || pwrite(fd, frame.data(), kFrame, last * kFrame) != kFrame || ftruncate(fd, (last + 3) * kFrame) != 0)
    GTEST_SKIP() << "no sparse file of 309 TB here";
  ASSERT_EQ(pwrite(fd, frame.data(), kFrame, 0), kFrame);
  Captured opened;
  dvfile *dv = open_quietly("/proc/self/fd/" + std::to_string(fd), &opened);
  ASSERT_NE(dv, nullptr);
  EXPECT_EQ(opened.err, accepted_lines(INT_MAX) + "(dvopen:dvlib) Warning - the file holds 2147483649 frames; "
                                                  "only the first 2147483647 can be numbered\n");
  auto image = marked_image();  // the frame, where a hole would be refused as a frame of another size
  EXPECT_EQ(dvreadframe(dv, image.data(), dv->num_frames - 1), 1);
  EXPECT_EQ(dvclose(dv), 0);
  close(fd);
}

INSTANTIATE_TEST_SUITE_P(Beyond, LargeFile, testing::Values(31, 32),
                         [](const auto &info) { return "TwoToThe" + std::to_string(info.param); });

}  // namespace
}  // namespace ozmira::test
