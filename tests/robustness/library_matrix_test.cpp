// The library's rows of the bad-input matrix (docs/ROBUSTNESS.md) and dvopen's
// other refusals: each file through dvopen and dvreadframe with the exact lines
// the caller sees, no stream left open by a refusal, images untouched whenever
// a call reports failure; and null or closed records and null buffers passed
// to every entry point.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dvlib_helpers.h"

namespace ozmira::test {
namespace {

constexpr uid_t kNobody = 65534;

std::string bad_input(const std::string &name) { return std::string(OZMIRA_BAD_INPUT_DIR) + "/" + name; }

size_t open_descriptors() {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

std::string length_warning(long long bytes) {
  return "(dvopen:dvlib) Warning - DV file length (" + std::to_string(bytes) +
         " bytes) is not an exact multiple of 144,000 - corrupt file?\n";
}

const std::string kHeaderFailed =
    "(dvreadblock:dvlib): dv_parse_header failed - erm?\n"
    "(dvreadframe:dvlib): dvreadblock failed - unknown format requested?\n";

class LibraryMatrix : public DvlibTest {
 protected:
  TempDir dir_;
};

// Refused files: the message says why, and nothing is left open. A named pipe
// is refused at once, even with no writer, instead of blocking in the open.
TEST_F(LibraryMatrix, RefusedFiles) {
  ASSERT_EQ(mkfifo(dir_.file("pipe.dv").c_str(), 0600), 0);
  write_file(dir_.file("empty.dv"), {});
  auto one_byte_short = clip_prefix("pal420.dv", 1);
  one_byte_short.pop_back();
  write_file(dir_.file("short.dv"), one_byte_short);
  const auto not_regular = [](const std::string &path) {
    return "(dvopen:dvlib) " + path + " is not a regular file - closed file and returned NULL.\n";
  };
  const std::string frame0_unread = "(dvopen:dvlib) Error trying to read DV frame 0 - closed file and returned NULL.\n";
  const std::string header_unparsed =
      "(dvopen:dvlib) Error when parsing DV frame 0 header - closed file and returned NULL.\n";
  struct Row { std::string what, path, err; };
  const Row rows[] = {
      {"directory", dir_.path(), not_regular(dir_.path())},
      {"/dev/null", "/dev/null", not_regular("/dev/null")},
      {"named pipe with no writer", dir_.file("pipe.dv"), not_regular(dir_.file("pipe.dv"))},
      {"random bytes", bad_input("random.dv"), header_unparsed},
      {"header that does not parse", clip_path("bad_header.dv"), header_unparsed},
      {"525/60", clip_path("ntsc.dv"), kNotPal},
      {"empty", dir_.file("empty.dv"), frame0_unread},
      {"one byte short of a frame", dir_.file("short.dv"), frame0_unread},
      {"missing", dir_.file("missing.dv"),
       "(dvopen:dvlib) Couldn't open DV file (" + dir_.file("missing.dv") + "): No such file or directory\n"},
  };
  for (const Row &row : rows) {
    const size_t descriptors = open_descriptors();
    Captured c;
    dvfile *dv = open_quietly(row.path, &c);
    EXPECT_EQ(dv, nullptr) << row.what;
    if (dv != nullptr) dvclose(dv);
    EXPECT_EQ(c.err, row.err) << row.what;
    EXPECT_EQ(c.out, "") << row.what;
    EXPECT_EQ(open_descriptors(), descriptors) << row.what << " left open";
  }
}

// An unreadable file, as a user for whom it is unreadable. Root reads past
// permissions, so as root the check runs in a child that has become nobody.
TEST_F(LibraryMatrix, UnreadableFile) {
  const std::string path = dir_.file("unreadable.dv");
  std::filesystem::copy_file(clip_path("pal420.dv"), path);
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);  // nobody may look inside
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(2);
    Captured c;
    dvfile *dv = open_quietly(path, &c);
    _exit(dv == nullptr && c.err == "(dvopen:dvlib) Couldn't open DV file (" + path + "): Permission denied\n" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "running as root and cannot become nobody";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "dvopen read an unreadable file or said the wrong thing";
}

// Files that open: every whole frame either decodes or fails with its message
// and the image untouched, and frame num_frames is past the end. A file cut
// short after dvopen counted its frames reads what is still whole; the record
// keeps what dvopen counted.
TEST_F(LibraryMatrix, FilesThatOpenReadFrameByFrame) {
  auto three_and_a_byte = clip_prefix("pal420.dv", 3);
  three_and_a_byte.push_back(0);
  write_file(dir_.file("plus_one.dv"), three_and_a_byte);
  std::filesystem::copy_file(bad_input("damaged_middle.dv"), dir_.file("shrinking.dv"));
  struct Row {
    std::string what, path;
    int frames, code;
    std::string open_err;
    std::vector<int> unparsed;
    long long cut_after_open;
  };
  const Row rows[] = {
      {"cut inside a frame", bad_input("cut_inside_frame.dv"), 3, 2, accepted_lines(3) + length_warning(502000), {}, 0},
      {"one byte past whole frames", dir_.file("plus_one.dv"), 3, 2, accepted_lines(3) + length_warning(432001), {}, 0},
      {"damaged frames in the middle", bad_input("damaged_middle.dv"), 10, 2, accepted_lines(10), {4}, 0},
      {"truncated while open", dir_.file("shrinking.dv"), 10, 2, accepted_lines(10), {4}, 2 * 144000 + 70000},
      {"4:1:1 PAL", clip_path("pal411.dv"), 25, 1, accepted_lines(25), {}, 0},
  };
  for (const Row &row : rows) {
    Captured opening;
    dvfile *dv = open_quietly(row.path, &opening);
    ASSERT_NE(dv, nullptr) << row.what;
    EXPECT_EQ(opening.err, row.open_err) << row.what;
    EXPECT_EQ(dv->code, row.code) << row.what;
    if (row.cut_after_open != 0) {
      ASSERT_EQ(truncate(row.path.c_str(), row.cut_after_open), 0);
    }
    const int whole = row.cut_after_open != 0 ? static_cast<int>(row.cut_after_open / kPalFrameBytes) : row.frames;
    for (int f = 0; f <= row.frames; ++f) {
      auto image = marked_image();
      int result = -1;
      const Captured c = capture_output([&] { result = dvreadframe(dv, image.data(), f); });
      const bool gone = f >= whole;
      const bool unparsed = !gone && std::find(row.unparsed.begin(), row.unparsed.end(), f) != row.unparsed.end();
      EXPECT_EQ(result, gone || unparsed ? 0 : 1) << row.what << " frame " << f;
      EXPECT_EQ(c.err, unparsed ? kHeaderFailed : gone ? kFreadFailed : "") << row.what << " frame " << f;
      EXPECT_EQ(untouched(image), result == 0) << row.what << " frame " << f;
    }
    EXPECT_EQ(dv->num_frames, row.frames) << row.what;
    EXPECT_EQ(dvclose(dv), 0);
  }
}

// Null blocks, images, row arrays and records, and records whose file is not
// open, passed to every entry point: each refuses with its failure result and,
// where it prints, one line in the library's style; nothing is drawn.
TEST_F(LibraryMatrix, NullAndClosedRecordsAndBuffers) {
  const auto frame = clip_frames("pal420.dv")[0];
  auto image = marked_image();
  uint8_t *rows[1] = {image.data()};
  dvfile record{-7, -7, -7, -7, -7, -7, nullptr}, closed{144000, 720, 576, 2, 1, 10, nullptr};
  const std::string bad_record =
      "(dvreadframe:dvlib): invalid dvfile structure (NULL or file not open) - user must open DV file.\n";
  const std::string no_image =
      "(dvreadframe:dvlib): 'image' was NULL - user must allocate sufficient size for an image.\n";
  const auto named = [](const std::string &call, const std::string &argument, const std::string &needs) {
    return "(" + call + ":dvlib): '" + argument + "' was NULL - user must pass a frame block and " + needs + ".\n";
  };
  struct Call { const char *what; std::function<int()> call; int result; std::string err; };
  const Call calls[] = {
      {"dvstatus, no block", [&] { return dvstatus(nullptr, &record); }, -1, ""},
      {"dvstatus, no record", [&] { return dvstatus(frame.data(), nullptr); }, -1, ""},
      {"dvreadblock, no block", [&] { return dvreadblock(nullptr, image.data(), 2, 0); }, 0,
       named("dvreadblock", "block", "an image")},
      {"dvreadblock, no image", [&] { return dvreadblock(frame.data(), nullptr, 2, 0); }, 0,
       named("dvreadblock", "image", "an image")},
      {"dvreadarray, no block", [&] { return dvreadarray(nullptr, rows, 2, 0); }, 0,
       named("dvreadarray", "block", "row pointers")},
      {"dvreadarray, no rows", [&] { return dvreadarray(frame.data(), nullptr, 2, 0); }, 0,
       named("dvreadarray", "rows", "row pointers")},
      {"dvreadframe, no record", [&] { return dvreadframe(nullptr, image.data(), 0); }, 0, bad_record},
      {"dvreadframe, closed record", [&] { return dvreadframe(&closed, image.data(), 0); }, 0, bad_record},
      {"dvreadframe, no image", [&] { return dvreadframe(&closed, nullptr, 0); }, 0, no_image},
      {"dvreadframe, nothing", [&] { return dvreadframe(nullptr, nullptr, 0); }, 0, no_image},
      {"dvclose, no record", [&] { return dvclose(nullptr); }, EOF, ""},
      {"DisplayDvAttributes, no record", [&] { return DisplayDvAttributes(nullptr), 0; }, 0,
       "(DisplayDvAttributes:dvlib): invalid dvfile structure (NULL) - user must open DV file.\n"},
  };
  for (const Call &k : calls) {
    int result = 99;
    const Captured c = capture_output([&] { result = k.call(); });
    EXPECT_EQ(result, k.result) << k.what;
    EXPECT_EQ(c.err, k.err) << k.what;
    EXPECT_EQ(c.out, "") << k.what;
  }
  EXPECT_TRUE(untouched(image));
  EXPECT_EQ(record.block_size, -7);
}

}  // namespace
}  // namespace ozmira::test
