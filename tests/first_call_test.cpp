// The first dvlib call of a process, before anyone ran dvinit: each entry that
// needs the decoder makes it, with a warning, then works as later calls do.
// With no decoder to be had each refuses with its failure result and dvopen
// stops there; dvopen also refuses when it cannot get its record. malloc and
// dv_decoder_new are wrapped at link time (dvlib's own calls only); CTest runs
// each case in a process of its own.
#include "dvlib.h"
#include "test_support.h"

static bool fail_malloc = false, fail_decoder = false;
extern "C" void *__real_malloc(size_t bytes);
extern "C" void *__wrap_malloc(size_t bytes) { return fail_malloc ? nullptr : __real_malloc(bytes); }
extern "C" dv_decoder_t *__real_dv_decoder_new(int, int, int);
extern "C" dv_decoder_t *__wrap_dv_decoder_new(int a, int b, int c) {
  return fail_decoder ? nullptr : __real_dv_decoder_new(a, b, c);
}

namespace ozmira::test {
namespace {

std::string warning(const std::string &call) {
  const std::string caller = call == "dvopen" ? "(dvopen:dvlib)" : "(" + call + ":dvlib):";
  return caller + " Warning - dvinit not called yet, doing it for you\n";
}

class FirstCall : public testing::TestWithParam<std::string> {};

TEST_P(FirstCall, MakesTheDecoderWithAWarningThenWorksAsLaterCallsDo) {
  const std::string call = GetParam(), more = call == "dvopen" ? opened(50) : "";
  const Bytes frame = frames("pal420.dv", 2);
  Image first(576, 2880, 0x5a), later(576, 2880, 0x5a);
  const auto once = [&](Image &image) {
    dvfile r{}, *dv = nullptr;
    if (call == "dvstatus") return dvstatus(frame.data(), &r) + (r.y_size == 576 ? 0 : 10);
    if (call == "dvreadblock") return dvreadblock(frame.data(), image.row[0], 2, 0);
    if (call == "dvreadarray") return dvreadarray(frame.data(), image.pixels(), 2, 0);
    return int((dv = dvopen(clip_path("pal420.dv").c_str())) && dvreadframe(dv, image.row[0], 2) == 1 && dvclose(dv) == 0);
  };
  int result = 0;
  EXPECT_EQ(capture([&] { result = once(first); }).err, warning(call) + more);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(capture([&] { result = once(later); }).err, more);
  EXPECT_TRUE(result == (call == "dvstatus" ? 0 : 1) && first == later);
  EXPECT_TRUE(call == "dvstatus" || !(first == Image(576, 2880, 0x5a)));
}
INSTANTIATE_TEST_SUITE_P(Calls, FirstCall, testing::Values("dvstatus", "dvreadblock", "dvreadarray", "dvopen"));

TEST(NoDecoder, EveryCallRefusesAndDvopenStopsThere) {
  const Bytes frame = frames("pal420.dv");
  dvfile r{-7, -7, -7, -7, -7, -7, nullptr}, *dv = &r;
  Image image(576, 2880, 0x5a);
  int results = 0;
  fail_decoder = true;
  const Output said = capture([&] {
    results = dvstatus(frame.data(), &r) * 100 + dvreadblock(frame.data(), image.row[0], 2, 0) +
              dvreadarray(frame.data(), image.pixels(), 2, 0);
    dv = dvopen(clip_path("pal420.dv").c_str());
  });
  fail_decoder = false;
  std::string err;
  for (const char *call : {"dvstatus", "dvreadblock", "dvreadarray", "dvopen"})
    err += warning(call) + "(dvinit:dvlib) Couldn't create the DV decoder\n";
  EXPECT_EQ(said.err, err);
  EXPECT_TRUE(results == -100 && dv == nullptr && r.block_size == -7 && image == Image(576, 2880, 0x5a));
}

TEST(NoRecord, DvopenSaysItCouldNotAllocateOne) {
  dvinit();
  dvfile *dv = nullptr;
  fail_malloc = true;
  const Output said = capture([&] { dv = dvopen(clip_path("pal420.dv").c_str()); });
  fail_malloc = false;
  EXPECT_EQ(dv, nullptr);
  EXPECT_EQ(said.err, opened(50) + "(dvopen:dvlib) Error allocating memory for dvfile object - closed file and returned "
                                   "NULL.\n");
}

}  // namespace
}  // namespace ozmira::test
