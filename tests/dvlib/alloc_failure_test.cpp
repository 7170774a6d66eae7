// dvlib when memory runs out: dvinit cannot get a decoder, dvopen cannot get
// its record. The link wraps malloc and dv_decoder_new (--wrap), which
// reaches the calls that dvlib's own objects make and nothing inside the
// shared C and C++ libraries.
#include <libdv/dv.h>

#include "dvlib_test_helpers.h"

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

const std::string kNoDecoder = "(dvinit:dvlib) Couldn't create the DV decoder\n";

// Runs first in its process: no decoder exists yet.
TEST(OutOfMemory, NoDecoderMeansFailureResultsNotACrash) {
  const auto frame = clip_frames("pal420.dv")[0];
  dvfile r{-7, -7, -7, -7, -7, -7, nullptr};
  auto image = marked_image();
  fail_decoder = true;
  dvfile *opened = &r;
  const Captured c = capture_output([&] {
    EXPECT_EQ(dvstatus(frame.data(), &r), -1);
    EXPECT_EQ(dvreadblock(frame.data(), image.data(), 2, 0), 0);
    opened = dvopen(clip_path("pal420.dv").c_str());
  });
  fail_decoder = false;
  EXPECT_EQ(opened, nullptr);
  // dvopen stops at the missing decoder instead of blaming frame 0's header.
  EXPECT_EQ(c.err, "(dvstatus:dvlib): Warning - dvinit not called yet, doing it for you\n" + kNoDecoder +
                       "(dvreadblock:dvlib): Warning - dvinit not called yet, doing it for you\n" + kNoDecoder +
                       "(dvopen:dvlib) Warning - dvinit not called yet, doing it for you\n" + kNoDecoder);
  EXPECT_EQ(r.block_size, -7);
  EXPECT_TRUE(untouched(image.data(), image.size()));

  // Once memory is back, the next call makes the decoder and works.
  EXPECT_EQ(capture_output([&] { EXPECT_EQ(dvstatus(frame.data(), &r), 1); }).err,
            "(dvstatus:dvlib): Warning - dvinit not called yet, doing it for you\n");
}

TEST(OutOfMemory, NoRecordForDvopen) {
  dvinit();
  dvfile *dv = nullptr;
  fail_malloc = true;
  const Captured c = capture_output([&] { dv = dvopen(clip_path("pal420.dv").c_str()); });
  fail_malloc = false;
  EXPECT_EQ(dv, nullptr);
  EXPECT_EQ(c.err, accepted_lines(50) +
                       "(dvopen:dvlib) Error allocating memory for dvfile object - closed file and returned NULL.\n");
}

}  // namespace
}  // namespace ozmira::test
