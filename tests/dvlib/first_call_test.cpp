// The first dvlib call of a process, made before anyone ran dvinit: each entry
// point that needs the decoder makes it itself, with a warning, and then does
// its work on a fresh decoder. dvlib's state is process-wide, so CTest runs
// each case in a process of its own; run by hand, only the first case runs.
#include "dvlib_test_helpers.h"
#include "frame_decoder.h"
#include "libdv_oracle.h"

namespace ozmira::test {
namespace {

std::string warning(const char *caller) {
  return std::string("(") + caller + ":dvlib): Warning - dvinit not called yet, doing it for you\n";
}

class FirstCall : public testing::Test {
 protected:
  void SetUp() override {
    static bool process_used = false;
    if (process_used) GTEST_SKIP() << "needs a process of its own: run it through ctest or with --gtest_filter";
    process_used = true;
  }
};

TEST_F(FirstCall, Dvstatus) {
  dvfile r{};
  int result = -1;
  const Captured c = capture_output([&] { result = dvstatus(clip_frames("pal420.dv")[0].data(), &r); });
  EXPECT_EQ(c.err, warning("dvstatus"));
  EXPECT_EQ(result, 1);  // a fresh decoder: the system changed to 625/50
  EXPECT_EQ(r.y_size, kPalHeight);
}

TEST_F(FirstCall, Dvreadblock) {
  const auto frame = clip_frames("pal420.dv")[2];
  auto image = marked_image();
  int result = 0;
  const Captured c = capture_output([&] { result = dvreadblock(frame.data(), image.data(), 2, 0); });
  EXPECT_EQ(c.err, warning("dvreadblock"));
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(image == LibdvDecoder().rgb(frame.data()));
}

TEST_F(FirstCall, Dvreadarray) {
  const auto frame = clip_frames("pal420.dv")[2];
  auto rows_of = [](std::vector<uint8_t> &lines) {
    std::vector<uint8_t *> rows;
    for (int y = 0; y < kPalHeight; ++y) rows.push_back(lines.data() + y * kWidth * 4);
    return rows;
  };
  std::vector<uint8_t> lines(size_t{kWidth} * 4 * kPalHeight, kMarker), expected = lines;
  auto rows = rows_of(lines), expected_rows = rows_of(expected);
  int result = 0;
  const Captured c = capture_output([&] { result = dvreadarray(frame.data(), rows.data(), 2, 0); });
  EXPECT_EQ(c.err, warning("dvreadarray"));
  EXPECT_EQ(result, 1);

  LibdvDecoder oracle;
  oracle.parse(frame.data());
  oracle.get()->quality = 5;
  int pitches[1] = {kWidth * 3};
  ozmira::dv_decode_full_frame(oracle.get(), frame.data(), ozmira::b_dv_color_RGB, expected_rows.data(), pitches);
  EXPECT_TRUE(lines == expected);
}

TEST_F(FirstCall, Dvopen) {
  dvfile *dv = nullptr;
  const Captured c = capture_output([&] { dv = dvopen(clip_path("pal420.dv").c_str()); });
  ASSERT_NE(dv, nullptr);
  EXPECT_EQ(c.err, "(dvopen:dvlib) Warning - dvinit not called yet, doing it for you\n" + accepted_lines(50));
  auto image = marked_image();
  EXPECT_EQ(dvreadframe(dv, image.data(), 3), 1);
  EXPECT_TRUE(image == LibdvDecoder().rgb(clip_frames("pal420.dv")[3].data()));
  EXPECT_EQ(dvclose(dv), 0);
}

}  // namespace
}  // namespace ozmira::test
