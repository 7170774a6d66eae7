// dvreadarray: a frame block into caller-owned lines of RGB0 pixels, reached
// only through the row pointers. Its pixels must be the frame decoder's own
// b_dv_color_RGB output at full detail, whatever request came before.
#include "dvlib_test_helpers.h"
#include "frame_decoder.h"
#include "libdv_oracle.h"

namespace ozmira::test {
namespace {

constexpr size_t kLineBytes = size_t{kWidth} * 4;
constexpr size_t kGapBytes = 64;
constexpr size_t kScatterStride = 7919;  // coprime with 576: every slot used once
using Requests = std::initializer_list<std::pair<int, int>>;  // format, flags

// 576 lines placed out of order in one arena, each followed by a gap that
// nothing may write.
class ScatteredLines {
 public:
  ScatteredLines() : arena_(kPalHeight * (kLineBytes + kGapBytes), kMarker) {
    for (size_t y = 0; y < kPalHeight; ++y) {
      const size_t slot = (y * kScatterStride) % kPalHeight;
      rows_.push_back(arena_.data() + slot * (kLineBytes + kGapBytes));
    }
  }
  uint8_t **rows() { return rows_.data(); }
  bool untouched() const { return test::untouched(arena_.data(), arena_.size()); }
  bool gaps_untouched() const {
    for (const uint8_t *line : rows_)
      if (!test::untouched(line + kLineBytes, kGapBytes)) return false;
    return true;
  }
  bool lines_equal(const ScatteredLines &other) const {
    for (size_t y = 0; y < kPalHeight; ++y)
      if (!std::equal(rows_[y], rows_[y] + kLineBytes, other.rows_[y])) return false;
    return true;
  }

 private:
  std::vector<uint8_t> arena_;
  std::vector<uint8_t *> rows_;
};

// The frame decoder's b_dv_color_RGB at full detail, on a decoder of its own.
void expected_lines(const uint8_t *frame, ScatteredLines &out) {
  LibdvDecoder oracle;
  ASSERT_GE(oracle.parse(frame), 0);
  oracle.get()->quality = 5;
  int pitches[1] = {kWidth * 3};
  ozmira::dv_decode_full_frame(oracle.get(), frame, ozmira::b_dv_color_RGB, out.rows(), pitches);
}

class RowArray : public DvlibTest {};

TEST_F(RowArray, OnlyRequestTwoDecodesIntoScatteredLines) {
  for (const char *clip : {"pal420.dv", "pal420_248.dv"}) {
    const auto frame = clip_frames(clip)[1];
    ScatteredLines expected;
    expected_lines(frame.data(), expected);
    auto packed = marked_image();
    ASSERT_EQ(dvreadblock(frame.data(), packed.data(), 16, 0), 1);  // leaves the decoder at DC only
    for (auto [format, flags] : Requests{{2, 0}, {0, 2}, {2, 2}}) {
      ScatteredLines lines;
      int result = 0;
      const Captured c = capture_output([&] { result = dvreadarray(frame.data(), lines.rows(), format, flags); });
      SCOPED_TRACE(testing::Message() << clip << " format " << format << " flags " << flags);
      EXPECT_EQ(result, 1);
      EXPECT_TRUE(lines.lines_equal(expected));
      EXPECT_TRUE(lines.gaps_untouched());
      EXPECT_EQ(c.out + c.err, "");
    }
    for (auto [format, flags] : Requests{{16, 0}, {0, 16}, {2, 16}, {18, 0}, {3, 0}, {1, 0}, {0, 0}, {-1, 0}}) {
      ScatteredLines lines;
      int result = 1;
      const Captured c = capture_output([&] { result = dvreadarray(frame.data(), lines.rows(), format, flags); });
      SCOPED_TRACE(testing::Message() << clip << " format " << format << " flags " << flags);
      EXPECT_EQ(result, 0);
      EXPECT_TRUE(lines.untouched());
      EXPECT_EQ(c.out + c.err, "");
    }
  }
}

TEST_F(RowArray, FourOneOneFrameIsReportedNotDrawn) {
  const auto frame = clip_frames("pal411.dv")[0];
  constexpr int kMacroblocks = 12 * 27 * 5;
  std::string expected_out;
  for (int i = 0; i < kMacroblocks; ++i) expected_out += "Video Format Not implemented, possible bad data\n";

  int flag = 0;
  pforerror = &flag;
  ScatteredLines lines;
  int result = 0;
  Captured c = capture_output([&] { result = dvreadarray(frame.data(), lines.rows(), 2, 0); });
  pforerror = nullptr;
  EXPECT_EQ(result, 1);
  EXPECT_EQ(flag, 1);
  EXPECT_TRUE(lines.untouched());
  EXPECT_EQ(c.out, expected_out);
  EXPECT_EQ(c.err, "");

  c = capture_output([&] { result = dvreadarray(frame.data(), lines.rows(), 0, 2); });
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(lines.untouched());
  EXPECT_EQ(c.out, expected_out);
}

TEST_F(RowArray, HeaderThatDoesNotParse) {
  ScatteredLines lines;
  int result = 1;
  const auto bad = clip_frames("bad_header.dv")[0];
  const Captured c = capture_output([&] { result = dvreadarray(bad.data(), lines.rows(), 2, 0); });
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(lines.untouched());
  EXPECT_EQ(c.err, "(dvreadarray:dvlib): dv_parse_header failed - erm?\n");
  EXPECT_EQ(c.out, "");
}

TEST_F(RowArray, NullArgumentsAreRefused) {
  const auto frame = clip_frames("pal420.dv")[0];
  ScatteredLines lines;
  const Captured no_block = capture_output([&] { EXPECT_EQ(dvreadarray(nullptr, lines.rows(), 2, 0), 0); });
  const Captured no_rows = capture_output([&] { EXPECT_EQ(dvreadarray(frame.data(), nullptr, 2, 0), 0); });
  EXPECT_TRUE(lines.untouched());
  EXPECT_TRUE(no_block.err.starts_with("(dvreadarray:dvlib): 'block' was NULL")) << no_block.err;
  EXPECT_TRUE(no_rows.err.starts_with("(dvreadarray:dvlib): 'rows' was NULL")) << no_rows.err;
  for (const Captured *c : {&no_block, &no_rows}) {
    EXPECT_EQ(std::count(c->err.begin(), c->err.end(), '\n'), 1);
    EXPECT_EQ(c->out, "");
  }
}

TEST_F(RowArray, RefusedRequestKeepsTheRefusedFramesHeader) {
  const auto pal = clip_frames("pal420.dv")[0], ntsc = clip_frames("ntsc.dv", kNtscFrameBytes)[0];
  dvfile r{};
  ScatteredLines lines;
  ASSERT_EQ(dvstatus(pal.data(), &r), 1);
  EXPECT_EQ(dvreadarray(ntsc.data(), lines.rows(), 16, 0), 0);
  EXPECT_TRUE(lines.untouched());
  EXPECT_EQ(dvstatus(pal.data(), &r), 1) << "the refused 525/60 header should have switched the system";
}

}  // namespace
}  // namespace ozmira::test
