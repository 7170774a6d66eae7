// The first dvlib call of a process, before anyone ran dvinit: each entry that
// needs the decoder makes it, with a warning, and then works as later calls
// do; with no decoder to be had each refuses with its failure result, and
// dvopen stops there; dvopen also refuses when it cannot get its record.
// malloc and dv_decoder_new are wrapped at link time (dvlib's own calls only);
// CTest runs each case in a process of its own.
#include "dvlib.h"
#include "test_support.h"

namespace {
bool fail_malloc = false, fail_decoder = false;
}
extern "C" {
void *__real_malloc(size_t bytes);
void *__wrap_malloc(size_t bytes) { return fail_malloc ? nullptr : __real_malloc(bytes); }
dv_decoder_t *__real_dv_decoder_new(int, int, int);
dv_decoder_t *__wrap_dv_decoder_new(int a, int b, int c) { return fail_decoder ? nullptr : __real_dv_decoder_new(a, b, c); }
}

namespace ozmira::test {
namespace {

std::string warning(const std::string &call) {
  return (call == "dvopen" ? "(dvopen:dvlib)" : "(" + call + ":dvlib):") + " Warning - dvinit not called yet, doing it for you\n";
}

class FirstCall : public testing::TestWithParam<std::string> {};

TEST_P(FirstCall, MakesTheDecoderWithAWarningThenWorksAsLaterCallsDo) {
  const std::string call = GetParam();
  const Bytes frame = frames("pal420.dv", 2);
  Image first(576, 2880, 0x5a), later(576, 2880, 0x5a);
  const auto once = [&](Image &image) {
    dvfile r{};
    if (call == "dvstatus") return dvstatus(frame.data(), &r) + (r.y_size == 576 ? 0 : 10);
    if (call == "dvreadblock") return dvreadblock(frame.data(), image.row[0], 2, 0);
    if (call == "dvreadarray") return dvreadarray(frame.data(), image.pixels(), 2, 0);
    dvfile *dv = dvopen(clip_path("pal420.dv").c_str());
    return int(dv != nullptr && dvreadframe(dv, image.row[0], 2) == 1 && dvclose(dv) == 0);
  };
  int result = 0;
  const Output said = capture([&] { result = once(first); });
  EXPECT_EQ(said.err, warning(call) + (call == "dvopen" ? opened(50) : ""));
  EXPECT_EQ(result, 1);
  EXPECT_EQ(capture([&] { EXPECT_EQ(once(later), call == "dvstatus" ? 0 : 1); }).err, call == "dvopen" ? opened(50) : "");
  EXPECT_TRUE(first == later);
  EXPECT_TRUE(call == "dvstatus" || !(first == Image(576, 2880, 0x5a)));
}
INSTANTIATE_TEST_SUITE_P(Calls, FirstCall, testing::Values("dvstatus", "dvreadblock", "dvreadarray", "dvopen"));

TEST(NoDecoder, EveryCallRefusesAndDvopenStopsThere) {
  const Bytes frame = frames("pal420.dv");
  dvfile r{-7, -7, -7, -7, -7, -7, nullptr}, *dv = &r;
  Image image(576, 2880, 0x5a);
  fail_decoder = true;
  const Output said = capture([&] {
    EXPECT_EQ(dvstatus(frame.data(), &r), -1);
    EXPECT_EQ(dvreadblock(frame.data(), image.row[0], 2, 0), 0);
    EXPECT_EQ(dvreadarray(frame.data(), image.pixels(), 2, 0), 0);
    dv = dvopen(clip_path("pal420.dv").c_str());
  });
  fail_decoder = false;
  std::string err;
  for (const char *call : {"dvstatus", "dvreadblock", "dvreadarray", "dvopen"})
    err += warning(call) + "(dvinit:dvlib) Couldn't create the DV decoder\n";
  EXPECT_EQ(said.err, err);
  EXPECT_TRUE(dv == nullptr && r.block_size == -7 && image == Image(576, 2880, 0x5a));
}

TEST(NoRecord, DvopenSaysItCouldNotAllocateOne) {
  dvinit();
  fail_malloc = true;
  dvfile *dv = nullptr;
  const Output said = capture([&] { dv = dvopen(clip_path("pal420.dv").c_str()); });
  fail_malloc = false;
  EXPECT_EQ(dv, nullptr);
  EXPECT_EQ(said.err, opened(50) + "(dvopen:dvlib) Error allocating memory for dvfile object - closed file and returned NULL.\n");
}

}  // namespace
}  // namespace ozmira::test
