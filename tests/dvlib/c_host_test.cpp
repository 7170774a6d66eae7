// Runs the C host program (c_host.c, built as C against the shared library)
// on clips and checks everything it printed, its exit status and the picture
// it saved.
#include <sys/wait.h>

#include "dvlib_test_helpers.h"
#include "libdv_oracle.h"

namespace ozmira::test {
namespace {

struct HostRun {
  int status;
  std::string out, err;
};

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

HostRun run_host(const TempDir &dir, const std::string &dv_path) {
  const std::string command = std::string("'") + OZMIRA_DVLIB_C_HOST + "' '" + dv_path + "' '" + dir.file("image") +
                              "' >'" + dir.file("out") + "' 2>'" + dir.file("err") + "'";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir.file("out")), slurp(dir.file("err"))};
}

TEST(CHost, OpensListsReadsAndCloses) {
  TempDir dir;
  const HostRun run = run_host(dir, clip_path("pal420.dv"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, accepted_lines(50));
  EXPECT_EQ(run.out,
            "\n"
            " Block size (single image=144000): 144000\n"
            " x size (frame width)            : 720\n"
            " y size (frame height)           : 576\n"
            " Code (Hopefully PAL)            : 2\n"
            " Type (greyscale or colour)      : 1\n"
            " Number of frames                : 50\n"
            "\n"
            "frame 49: 1244160 bytes\n");
  const std::string image = slurp(dir.file("image"));
  const auto expected = LibdvDecoder().rgb(clip_frames("pal420.dv")[49].data());
  ASSERT_EQ(image.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), reinterpret_cast<const uint8_t *>(image.data())));
}

TEST(CHost, RefusedFileEndsWithStatusOne) {
  TempDir dir;
  const HostRun run = run_host(dir, clip_path("ntsc.dv"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "(dvopen:dvlib) Image Size 720 480\n(dvopen:dvlib) Not a PAL format video - closed file and returned "
            "NULL.  Do we need this or is it an application problem?\n");
}

}  // namespace
}  // namespace ozmira::test
