// Decoding allocates nothing per frame: once a first call has set up what the
// decoder keeps for the process, frames in any format and sampling make no
// call to malloc, calloc or realloc. This executable replaces those three with
// counting ones that forward to glibc. AddressSanitizer replaces them itself,
// so sanitizer builds leave this file out (and it compiles to nothing there).
#include <gtest/gtest.h>

#if !defined(__SANITIZE_ADDRESS__)

#include <cstddef>

#include "capture.h"
#include "clips.h"
#include "color_tables.h"
#include "frame_decoder.h"
#include "libdv_oracle.h"
#include "row_image.h"

namespace {
bool counting = false;
int heap_calls = 0;
}  // namespace

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *block, size_t size);

void *malloc(size_t size) {
  heap_calls += counting;
  return __libc_malloc(size);
}
void *calloc(size_t count, size_t size) {
  heap_calls += counting;
  return __libc_calloc(count, size);
}
void *realloc(void *block, size_t size) {
  heap_calls += counting;
  return __libc_realloc(block, size);
}
}  // extern "C"

namespace ozmira::test {
namespace {

TEST(NoAllocation, NoHeapCallWhileDecodingAfterTheFirstCall) {
  dv_rgb_init();
  auto pal420 = clip_frames("pal420.dv");
  auto pal411 = clip_frames("pal411.dv");
  RowImage image(shape_of_format(b_dv_color_RGB));
  LibdvDecoder dv;
  auto decode = [&](const std::vector<uint8_t> &frame, int format, unsigned quality) {
    ASSERT_GE(dv.parse(frame.data()), 0);
    dv.get()->quality = quality;
    counting = true;
    dv_decode_full_frame(dv.get(), frame.data(), static_cast<dv_color_space_t>(format), image.pixels(),
                         image.pitches());
    counting = false;
  };
  // The first call creates the bit-stream reader; the first mismatch message
  // gives stdout its buffer.
  capture_output([&] {
    decode(pal420[0], b_dv_color_RGB, 5);
    decode(pal411[0], b_dv_color_RGB, 5);
  });
  heap_calls = 0;
  capture_output([&] {
    for (int f = 1; f <= 3; ++f) {
      for (int format : {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 14}) {
        for (unsigned quality : {5u, 1u}) decode(pal420[f], format, quality);
      }
      for (int format : {0, 5}) decode(pal411[f], format, 5);
    }
  });
  EXPECT_EQ(heap_calls, 0);
}

// The counters must see the calls they are meant to count.
TEST(NoAllocation, CountingReplacementsAreInPlace) {
  heap_calls = 0;
  counting = true;
  void *volatile block = malloc(16);
  block = realloc(block, 64);
  free(block);
  void *volatile zeroed = calloc(2, 8);
  free(zeroed);
  counting = false;
  EXPECT_EQ(heap_calls, 3);
}

}  // namespace
}  // namespace ozmira::test

#endif  // !__SANITIZE_ADDRESS__
