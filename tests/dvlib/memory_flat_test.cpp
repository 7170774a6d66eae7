// Heap and resident memory stay flat, under heap_census.c, which replaces the
// allocator of this executable and counts calls by caller:
//  - the frame decoder makes no allocation call at all once a first call has
//    set up what it keeps for the process, in any format, sampling or quality;
//  - dvreadframe over 10,000 frames leaves the heap and resident memory where
//    they were after a first pass over the clip: our own code (dvlib and the
//    frame decoder, linked into this executable) makes no allocation call, and
//    nothing is left outstanding. libdv's dv_parse_header takes and frees a
//    small bit-stream reader on every call; the census counts it, by caller,
//    as libdv's and sees it given back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "capture.h"
#include "clips.h"
#include "dvlib.h"
#include "frame_decoder.h"
#include "heap_census.h"
#include "libdv_oracle.h"
#include "row_image.h"

namespace ozmira::test {
namespace {

constexpr int kFramesRead = 10000;
// Resident memory may move by a few pages (stack, stdio, the kernel's own
// accounting); per-frame growth of even a small block would pass this by far.
constexpr long kRssSlackKib = 256;

long long all_calls(const heap_census &c) {
  return c.calls_from_program + c.calls_from_libdv + c.calls_from_elsewhere;
}

TEST(MemoryFlat, FrameDecoderAllocatesNothingAfterTheFirstCall) {
  dvinit();  // the colour tables
  const auto pal420 = clip_frames("pal420.dv"), pal411 = clip_frames("pal411.dv");
  RowImage image(shape_of_format(b_dv_color_RGB));
  LibdvDecoder dv;
  long long calls = 0;
  auto decode = [&](const std::vector<uint8_t> &frame, int format, unsigned quality) {
    ASSERT_GE(dv.parse(frame.data()), 0);
    dv.get()->quality = quality;
    heap_census before, after;
    heap_census_take(&before);
    ozmira::dv_decode_full_frame(dv.get(), frame.data(), static_cast<ozmira::dv_color_space_t>(format),
                                 image.pixels(), image.pitches());
    heap_census_take(&after);
    calls += all_calls(after) - all_calls(before);
  };
  // The first call creates the bit-stream reader; the first mismatch message
  // gives stdout its buffer.
  capture_output([&] {
    decode(pal420[0], b_dv_color_RGB, 5);
    decode(pal411[0], b_dv_color_RGB, 5);
    calls = 0;
    for (int f = 1; f <= 3; ++f) {
      for (int format : {0, 1, 2, 3, 4, 5, 6, 7, 8, 11, 14})
        for (unsigned quality : {5u, 1u}) decode(pal420[f], format, quality);
      for (int format : {0, 5}) decode(pal411[f], format, 5);
    }
  });
  EXPECT_EQ(calls, 0);
}

TEST(MemoryFlat, DvreadframeOver10000FramesAllocatesNothingAndStaysResident) {
  dvinit();
  dvfile *file = dvopen(clip_path("pal420.dv").c_str());
  ASSERT_NE(file, nullptr);
  const int frames = file->num_frames;
  std::vector<unsigned char> image(size_t{kPalWidth} * kPalHeight * 3);
  // One pass first: the frame decoder's bit-stream reader and stdio's buffer
  // are made once, on first use.
  for (int f = 0; f < frames; ++f) ASSERT_EQ(dvreadframe(file, image.data(), f), 1);

  heap_census before;
  heap_census_take(&before);
  const long rss_before = heap_census_rss_kib();
  long rss_most = rss_before;
  int decoded = 0;
  for (int n = 0; n < kFramesRead; ++n) {
    decoded += dvreadframe(file, image.data(), n % frames);
    if (n % frames == 0) rss_most = std::max(rss_most, heap_census_rss_kib());
  }
  heap_census after;
  heap_census_take(&after);
  const long rss_after = heap_census_rss_kib();
  dvclose(file);

  EXPECT_EQ(decoded, kFramesRead);
  // The census does count: libdv's header parse allocates once per frame.
  EXPECT_GE(after.calls_from_libdv - before.calls_from_libdv, kFramesRead);
  EXPECT_EQ(after.calls_from_program - before.calls_from_program, 0) << "allocation calls from dvlib or the decoder";
  EXPECT_EQ(after.blocks_outstanding, before.blocks_outstanding);
  EXPECT_EQ(after.bytes_outstanding, before.bytes_outstanding);
  ASSERT_GT(rss_before, 0);
  EXPECT_LE(rss_most - rss_before, kRssSlackKib);
  EXPECT_LE(rss_after - rss_before, kRssSlackKib);
  RecordProperty("resident_kib_before_and_after", std::to_string(rss_before) + " " + std::to_string(rss_after));
}

}  // namespace
}  // namespace ozmira::test
