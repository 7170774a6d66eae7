// The library's rows of the bad-input matrix (docs/ROBUSTNESS.md): each file
// through dvopen and dvreadframe, with the exact lines the caller sees, and
// images that stay untouched whenever a call reports failure.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "capture.h"
#include "clips.h"
#include "dvlib.h"

namespace ozmira::test {
namespace {

constexpr size_t kImageBytes = 720 * 576 * 3;
constexpr uint8_t kMarker = 0x5a;
constexpr uid_t kNobody = 65534;

std::string bad_input(const std::string &name) { return std::string(OZMIRA_BAD_INPUT_DIR) + "/" + name; }

const std::string kAccepted = "(dvopen:dvlib) Image Size 720 576\n(dvopen:dvlib) PAL format video\n";
const std::string kFreadFailed = "(dvreadframe:dvlib): fread failed - invalid frame number? (too high/low)\n";
const std::string kHeaderFailed =
    "(dvreadblock:dvlib): dv_parse_header failed - erm?\n"
    "(dvreadframe:dvlib): dvreadblock failed - unknown format requested?\n";

std::string not_regular(const std::string &path) {
  return "(dvopen:dvlib) " + path + " is not a regular file - closed file and returned NULL.\n";
}

class LibraryMatrix : public testing::Test {
 protected:
  void SetUp() override {
    dvinit();
    dir_ = std::filesystem::temp_directory_path() / ("robustness-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string file(const std::string &name) const { return (dir_ / name).string(); }

  // dvopen's result and what it wrote; the record is closed again.
  static std::pair<bool, std::string> open_and_close(const std::string &path, int *frames = nullptr) {
    dvfile *dv = nullptr;
    const Captured c = capture_output([&] { dv = dvopen(path.c_str()); });
    if (dv != nullptr) {
      if (frames != nullptr) *frames = dv->num_frames;
      EXPECT_EQ(dvclose(dv), 0);
    }
    EXPECT_EQ(c.out, "");
    return {dv != nullptr, c.err};
  }

  std::filesystem::path dir_;
};

// Files that are refused: the message says why, and nothing is left open.
TEST_F(LibraryMatrix, RefusedFiles) {
  ASSERT_EQ(mkfifo(file("pipe.dv").c_str(), 0600), 0);
  const std::string ntsc = clip_path("ntsc.dv");
  struct Row { std::string what, path, err; };
  const Row rows[] = {
      {"directory", dir_.string(), not_regular(dir_.string())},
      {"/dev/null", "/dev/null", not_regular("/dev/null")},
      {"named pipe with no writer", file("pipe.dv"), not_regular(file("pipe.dv"))},
      {"random bytes", bad_input("random.dv"),
       "(dvopen:dvlib) Error when parsing DV frame 0 header - closed file and returned NULL.\n"},
      {"525/60", ntsc,
       "(dvopen:dvlib) Image Size 720 480\n(dvopen:dvlib) Not a PAL format video - closed file and returned NULL.  "
       "Do we need this or is it an application problem?\n"},
  };
  for (const Row &row : rows) {
    const auto [opened, err] = open_and_close(row.path);
    EXPECT_FALSE(opened) << row.what;
    EXPECT_EQ(err, row.err) << row.what;
  }
}

// An unreadable file, as a user for whom it is unreadable. Root reads past
// permissions, so as root the check runs in a child that has become nobody.
TEST_F(LibraryMatrix, UnreadableFile) {
  const std::string path = file("unreadable.dv");
  std::filesystem::copy_file(clip_path("pal420.dv"), path);
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  std::filesystem::permissions(dir_, std::filesystem::perms::all);  // nobody may look inside
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(2);
    const auto [opened, err] = open_and_close(path);
    _exit(!opened && err == "(dvopen:dvlib) Couldn't open DV file (" + path + ")\n" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "running as root and cannot become nobody";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "dvopen read an unreadable file or said the wrong thing";
}

// Files that open: every whole frame either decodes or fails with its message
// and the image untouched.
TEST_F(LibraryMatrix, DamagedFilesReadFrameByFrame) {
  struct Row { std::string what, path; int frames; std::string open_err; std::vector<int> unreadable; };
  const Row rows[] = {
      {"cut inside a frame", bad_input("cut_inside_frame.dv"), 3,
       kAccepted + "(dvopen:dvlib) 3 frames\n(dvopen:dvlib) Warning - DV file length (502000 bytes) is not an exact "
                   "multiple of 144,000 - corrupt file?\n", {}},
      {"damaged frames in the middle", bad_input("damaged_middle.dv"), 10, kAccepted + "(dvopen:dvlib) 10 frames\n",
       {4}},
      {"4:1:1 PAL", clip_path("pal411.dv"), 25, kAccepted + "(dvopen:dvlib) 25 frames\n", {}},
  };
  for (const Row &row : rows) {
    dvfile *dv = nullptr;
    const Captured opening = capture_output([&] { dv = dvopen(row.path.c_str()); });
    ASSERT_NE(dv, nullptr) << row.what;
    EXPECT_EQ(opening.err, row.open_err) << row.what;
    EXPECT_EQ(dv->num_frames, row.frames) << row.what;
    for (int f = 0; f <= row.frames; ++f) {
      std::vector<uint8_t> image(kImageBytes, kMarker);
      int result = -1;
      const Captured c = capture_output([&] { result = dvreadframe(dv, image.data(), f); });
      const bool header_broken = std::find(row.unreadable.begin(), row.unreadable.end(), f) != row.unreadable.end();
      const bool past_end = f == row.frames;
      EXPECT_EQ(result, header_broken || past_end ? 0 : 1) << row.what << " frame " << f;
      EXPECT_EQ(c.err, header_broken ? kHeaderFailed : past_end ? kFreadFailed : "") << row.what << " frame " << f;
      const bool untouched = std::all_of(image.begin(), image.end(), [](uint8_t b) { return b == kMarker; });
      EXPECT_EQ(untouched, result == 0) << row.what << " frame " << f;
    }
    EXPECT_EQ(dvclose(dv), 0);
  }
}

// A file cut short after dvopen counted its frames: frames still whole read,
// frames now gone fail with the fread message and leave the image alone.
TEST_F(LibraryMatrix, FileTruncatedWhileOpen) {
  const std::string path = file("shrinking.dv");
  std::filesystem::copy_file(bad_input("damaged_middle.dv"), path);
  dvfile *dv = nullptr;
  capture_output([&] { dv = dvopen(path.c_str()); });
  ASSERT_NE(dv, nullptr);
  ASSERT_EQ(truncate(path.c_str(), 2 * 144000 + 70000), 0);
  std::vector<uint8_t> image(kImageBytes, kMarker);
  int whole = 0, gone = 0;
  const Captured c = capture_output([&] {
    whole = dvreadframe(dv, image.data(), 1);
    std::fill(image.begin(), image.end(), kMarker);
    gone = dvreadframe(dv, image.data(), 5);
  });
  EXPECT_EQ(whole, 1);
  EXPECT_EQ(gone, 0);
  EXPECT_EQ(c.err, kFreadFailed);
  EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](uint8_t b) { return b == kMarker; }));
  EXPECT_EQ(dv->num_frames, 10);  // the record keeps what dvopen counted
  EXPECT_EQ(dvclose(dv), 0);
}

// Null and closed records and null buffers, where dvlib checks them.
TEST_F(LibraryMatrix, NullAndClosedRecords) {
  std::vector<uint8_t> image(kImageBytes, kMarker);
  dvfile closed{144000, 720, 576, 2, 1, 10, nullptr};
  const std::string bad_record =
      "(dvreadframe:dvlib): invalid dvfile structure (NULL or file not open) - user must open DV file.\n";
  int results[4] = {-1, -1, -1, -1};
  const Captured c = capture_output([&] {
    results[0] = dvreadframe(nullptr, image.data(), 0);
    results[1] = dvreadframe(&closed, image.data(), 0);
    results[2] = dvclose(nullptr);
    DisplayDvAttributes(nullptr);
    results[3] = dvstatus(nullptr, &closed);
  });
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);
  EXPECT_EQ(results[2], EOF);
  EXPECT_EQ(results[3], -1);
  EXPECT_EQ(c.err, bad_record + bad_record +
                       "(DisplayDvAttributes:dvlib): invalid dvfile structure (NULL) - user must open DV file.\n");
  EXPECT_EQ(c.out, "");
  EXPECT_TRUE(std::all_of(image.begin(), image.end(), [](uint8_t b) { return b == kMarker; }));
}

}  // namespace
}  // namespace ozmira::test
