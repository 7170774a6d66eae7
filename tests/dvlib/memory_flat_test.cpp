// dvreadframe over 10,000 frames leaves the heap and resident memory where
// they were after the first pass over the clip: our own code (dvlib and the
// frame decoder, linked into this executable) makes no allocation call at all,
// and nothing is left outstanding. libdv's dv_parse_header takes and frees a
// small bit-stream reader on every call; the census counts it, by caller, as
// libdv's and sees it given back. Runs against heap_census.c, which replaces
// the allocator of this executable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "clips.h"
#include "dvlib.h"
#include "heap_census.h"

namespace ozmira::test {
namespace {

constexpr int kFramesRead = 10000;
constexpr int kWidth = 720, kHeight = 576;
// Resident memory may move by a few pages (stack, stdio, the kernel's own
// accounting); per-frame growth of even a small block would pass this by far.
constexpr long kRssSlackKib = 256;

TEST(MemoryFlat, DvreadframeOver10000FramesAllocatesNothingAndStaysResident) {
  dvinit();
  dvfile *file = dvopen(clip_path("pal420.dv").c_str());
  ASSERT_NE(file, nullptr);
  const int frames = file->num_frames;
  std::vector<unsigned char> image(size_t{kWidth} * kHeight * 3);
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
  EXPECT_EQ(after.calls_from_program - before.calls_from_program, 0) << "allocation calls from dvlib or the decoder";
  EXPECT_EQ(after.blocks_outstanding, before.blocks_outstanding);
  EXPECT_EQ(after.bytes_outstanding, before.bytes_outstanding);
  ASSERT_GT(rss_before, 0);
  EXPECT_LE(rss_most - rss_before, kRssSlackKib);
  EXPECT_LE(rss_after - rss_before, kRssSlackKib);
  RecordProperty("resident_kib_before_and_after", std::to_string(rss_before) + " " + std::to_string(rss_after));
  RecordProperty("libdv_allocations_per_frame",
                 std::to_string(static_cast<double>(after.calls_from_libdv - before.calls_from_libdv) / kFramesRead));
}

// The census sees what it is meant to see: a call from this executable counts
// as ours, and a block not given back shows as outstanding until it is.
TEST(MemoryFlat, CensusCountsCallsFromTheProgramAndOutstandingBlocks) {
  heap_census before, held, after;
  heap_census_take(&before);
  void *volatile block = std::malloc(1000);
  int *volatile numbers = new int[100];
  heap_census_take(&held);
  delete[] numbers;
  std::free(block);
  heap_census_take(&after);
  EXPECT_EQ(held.calls_from_program - before.calls_from_program, 2);
  EXPECT_EQ(held.blocks_outstanding - before.blocks_outstanding, 2);
  EXPECT_GE(held.bytes_outstanding - before.bytes_outstanding, 1000 + 400);
  EXPECT_EQ(after.blocks_outstanding, before.blocks_outstanding);
  EXPECT_EQ(after.bytes_outstanding, before.bytes_outstanding);
}

}  // namespace
}  // namespace ozmira::test
