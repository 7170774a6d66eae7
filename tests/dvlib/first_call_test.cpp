// The first dvlib call of a process, made before anyone ran dvinit: each entry
// point that needs the decoder makes it itself, with a warning, and then does
// its work on the fresh decoder. When memory has run out and no decoder can
// be had, each refuses with a failure result instead of using a null decoder,
// and dvopen stops there; dvopen also refuses when it cannot get its record.
// The link wraps malloc and dv_decoder_new (--wrap), which reaches the calls
// that dvlib's own objects make. dvlib's state is process-wide, so CTest runs
// each case in a process of its own; run by hand, only the first case runs.
#include <libdv/dv.h>

#include "dvlib_helpers.h"
#include "libdv_oracle.h"
#include "row_image.h"

namespace {
bool fail_malloc = false, fail_decoder = false;
}

extern "C" {
void *__real_malloc(size_t bytes);
void *__wrap_malloc(size_t bytes) { return fail_malloc ? nullptr : __real_malloc(bytes); }
dv_decoder_t *__real_dv_decoder_new(int ntsc_setup, int clamp_luma, int clamp_chroma);
dv_decoder_t *__wrap_dv_decoder_new(int ntsc_setup, int clamp_luma, int clamp_chroma) {
  return fail_decoder ? nullptr : __real_dv_decoder_new(ntsc_setup, clamp_luma, clamp_chroma);
}
}

namespace ozmira::test {
namespace {

std::string warning(const char *caller) {
  return std::string("(") + caller + ":dvlib): Warning - dvinit not called yet, doing it for you\n";
}

const std::string kNoDecoder = "(dvinit:dvlib) Couldn't create the DV decoder\n";

class FirstCall : public testing::Test {
 protected:
  void SetUp() override {
    static bool process_used = false;
    if (process_used) GTEST_SKIP() << "needs a process of its own: run it through ctest or with --gtest_filter";
    process_used = true;
  }
};

TEST_F(FirstCall, Dvreadblock) {
  const auto frame = clip_frames("pal420.dv")[2];
  auto image = marked_image();
  int result = 0;
  const Captured c = capture_output([&] { result = dvreadblock(frame.data(), image.data(), 2, 0); });
  EXPECT_EQ(c.err, warning("dvreadblock"));
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(image == LibdvDecoder().rgb(frame.data()));
}

// The first call draws what every later call draws.
TEST_F(FirstCall, Dvreadarray) {
  const auto frame = clip_frames("pal420.dv")[2];
  RowImage first(kPalHeight, kPalWidth * 4), later(kPalHeight, kPalWidth * 4);
  int result = 0;
  const Captured c = capture_output([&] { result = dvreadarray(frame.data(), first.pixels(), 2, 0); });
  EXPECT_EQ(c.err, warning("dvreadarray"));
  EXPECT_EQ(result, 1);
  ASSERT_EQ(dvreadarray(frame.data(), later.pixels(), 2, 0), 1);
  EXPECT_FALSE(first.untouched());
  EXPECT_EQ(first_difference(later, first), "");
}

TEST_F(FirstCall, Dvopen) {
  Captured c;
  dvfile *dv = open_quietly(clip_path("pal420.dv"), &c);
  ASSERT_NE(dv, nullptr);
  EXPECT_EQ(c.err, "(dvopen:dvlib) Warning - dvinit not called yet, doing it for you\n" + accepted_lines(50));
  auto image = marked_image();
  EXPECT_EQ(dvreadframe(dv, image.data(), 3), 1);
  EXPECT_TRUE(image == LibdvDecoder().rgb(clip_frames("pal420.dv")[3].data()));
  EXPECT_EQ(dvclose(dv), 0);
}

TEST_F(FirstCall, NoDecoderMeansFailureResultsNotACrash) {
  const auto frame = clip_frames("pal420.dv")[0];
  dvfile r{-7, -7, -7, -7, -7, -7, nullptr};
  auto image = marked_image();
  RowImage lines(kPalHeight, kPalWidth * 4);
  dvfile *opened = &r;
  fail_decoder = true;
  const Captured c = capture_output([&] {
    EXPECT_EQ(dvstatus(frame.data(), &r), -1);
    EXPECT_EQ(dvreadblock(frame.data(), image.data(), 2, 0), 0);
    EXPECT_EQ(dvreadarray(frame.data(), lines.pixels(), 2, 0), 0);
    opened = dvopen(clip_path("pal420.dv").c_str());
  });
  fail_decoder = false;
  EXPECT_EQ(opened, nullptr);
  // dvopen stops at the missing decoder instead of blaming frame 0's header.
  EXPECT_EQ(c.err, warning("dvstatus") + kNoDecoder + warning("dvreadblock") + kNoDecoder + warning("dvreadarray") +
                       kNoDecoder + "(dvopen:dvlib) Warning - dvinit not called yet, doing it for you\n" + kNoDecoder);
  EXPECT_EQ(r.block_size, -7);
  EXPECT_TRUE(untouched(image));
  EXPECT_TRUE(lines.untouched());

  // Once memory is back, the next call makes the decoder and works: dvstatus
  // as a process's first successful call.
  EXPECT_EQ(capture_output([&] { EXPECT_EQ(dvstatus(frame.data(), &r), 1); }).err, warning("dvstatus"));
  EXPECT_EQ(r.y_size, kPalHeight);
}

TEST_F(FirstCall, NoRecordForDvopen) {
  dvinit();
  fail_malloc = true;
  Captured c;
  dvfile *dv = open_quietly(clip_path("pal420.dv"), &c);
  fail_malloc = false;
  EXPECT_EQ(dv, nullptr);
  EXPECT_EQ(c.err, accepted_lines(50) +
                       "(dvopen:dvlib) Error allocating memory for dvfile object - closed file and returned NULL.\n");
}

}  // namespace
}  // namespace ozmira::test
