// dvstatus and dvreadblock on frame blocks in memory: attributes and results,
// request codes, refusals that leave the caller's memory alone, and pictures
// byte for byte what libdv's own decoder makes of the same frames.
#include <climits>

#include "dvlib_test_helpers.h"
#include "guarded_buffer.h"
#include "guarded_oracle.h"
#include "libdv_oracle.h"

namespace ozmira::test {
namespace {

constexpr unsigned kFull = 5, kDcOnly = 1;

void expect_fields(const dvfile &r, int y_size, int code, int type) {
  EXPECT_EQ(r.block_size, 144000);
  EXPECT_EQ(r.x_size, kWidth);
  EXPECT_EQ(r.y_size, y_size);
  EXPECT_EQ(r.code, code);
  EXPECT_EQ(r.type, type);
}

class FrameBlock : public DvlibTest {};

TEST_F(FrameBlock, StatusFollowsTheVideoSystemOfEachFrame) {
  const auto pal = clip_frames("pal420.dv"), ntsc = clip_frames("ntsc.dv", kNtscFrameBytes);
  LibdvDecoder oracle;
  oracle.parse(ntsc[0].data());
  const int ntsc_type = dv_frame_is_color(oracle.get());
  FILE *const file_marker = stdin;
  dvfile r{-7, -7, -7, -7, -7, 99, file_marker};
  const Captured c = capture_output([&] {
    EXPECT_EQ(dvstatus(pal[0].data(), &r), 1);
    expect_fields(r, kPalHeight, 2, 1);
    EXPECT_EQ(dvstatus(pal[1].data(), &r), 0);
    EXPECT_EQ(dvstatus(ntsc[0].data(), &r), 2);
    expect_fields(r, kNtscHeight, 1, ntsc_type);  // block_size stays 144000 for 525/60
    EXPECT_EQ(dvstatus(ntsc[1].data(), &r), 0);
    EXPECT_EQ(dvstatus(pal[2].data(), &r), 1);
  });
  EXPECT_EQ(r.num_frames, 99);
  EXPECT_EQ(r.file, file_marker);
  EXPECT_EQ(c.out + c.err, "");
}

TEST_F(FrameBlock, StatusReportsSamplingAndColourFlag) {
  struct Case { const char *clip; int code, type; };
  for (const Case &k : {Case{"pal411.dv", 1, 1}, Case{"grey.dv", 2, 0}, Case{"colour_unstated.dv", 2, -1}}) {
    dvfile r{};
    ASSERT_GE(dvstatus(clip_frames(k.clip)[0].data(), &r), 0) << k.clip;
    expect_fields(r, kPalHeight, k.code, k.type);
  }
}

TEST_F(FrameBlock, SecondDvinitGivesAFreshDecoder) {
  const auto pal = clip_frames("pal420.dv");
  dvfile r{};
  ASSERT_EQ(dvstatus(pal[0].data(), &r), 1);
  ASSERT_EQ(dvstatus(pal[0].data(), &r), 0);
  EXPECT_EQ(capture_output([] { dvinit(); }).err, "");
  EXPECT_EQ(dvstatus(pal[0].data(), &r), 1);
}

TEST_F(FrameBlock, HeaderThatDoesNotParseLeavesRecordAndImageAlone) {
  const auto bad = clip_frames("bad_header.dv");
  dvfile r{-7, -7, -7, -7, -7, -7, nullptr};
  auto image = marked_image();
  int status = 0, decoded = 1;
  const Captured c = capture_output([&] {
    status = dvstatus(bad[0].data(), &r);
    decoded = dvreadblock(bad[0].data(), image.data(), 2, 0);
  });
  EXPECT_EQ(status, -1);
  EXPECT_EQ(decoded, 0);
  for (int field : {r.block_size, r.x_size, r.y_size, r.code, r.type, r.num_frames}) EXPECT_EQ(field, -7);
  EXPECT_TRUE(untouched(image.data(), image.size()));
  EXPECT_EQ(c.err, "(dvreadblock:dvlib): dv_parse_header failed - erm?\n");
  EXPECT_EQ(c.out, "");
}

TEST_F(FrameBlock, NullArgumentsAreRefused) {
  const auto pal = clip_frames("pal420.dv");
  dvfile r{-7, -7, -7, -7, -7, -7, nullptr};
  auto image = marked_image();
  EXPECT_EQ(dvstatus(nullptr, &r), -1);
  EXPECT_EQ(r.block_size, -7);
  EXPECT_EQ(dvstatus(pal[0].data(), nullptr), -1);
  const Captured no_block = capture_output([&] { EXPECT_EQ(dvreadblock(nullptr, image.data(), 2, 0), 0); });
  const Captured no_image = capture_output([&] { EXPECT_EQ(dvreadblock(pal[0].data(), nullptr, 2, 0), 0); });
  EXPECT_TRUE(untouched(image.data(), image.size()));
  EXPECT_TRUE(no_block.err.starts_with("(dvreadblock:dvlib): 'block' was NULL")) << no_block.err;
  EXPECT_TRUE(no_image.err.starts_with("(dvreadblock:dvlib): 'image' was NULL")) << no_image.err;
  for (const Captured *c : {&no_block, &no_image}) {
    EXPECT_EQ(std::count(c->err.begin(), c->err.end(), '\n'), 1);
    EXPECT_TRUE(c->err.ends_with("\n"));
    EXPECT_EQ(c->out, "");
  }
}

// Only format | flags counts: 2 is full detail, 16 DC only, all else refused.
TEST_F(FrameBlock, RequestCodes) {
  const auto pal = clip_frames("pal420.dv");
  LibdvDecoder oracle;
  const auto full = oracle.rgb(pal[3].data(), kFull), dc = oracle.rgb(pal[3].data(), kDcOnly);
  ASSERT_NE(full, dc);
  struct Case { int format, flags; const std::vector<uint8_t> *expected; };
  const Case cases[] = {{16, 0, &dc},      {2, 0, &full},    {0, 16, &dc},     {0, 2, &full},
                        {2, 2, &full},     {16, 16, &dc},    {2, 16, nullptr}, {18, 0, nullptr},
                        {1, 0, nullptr},   {2, 1, nullptr},  {1, 16, nullptr}, {0, 0, nullptr},
                        {-1, 0, nullptr},  {0, -16, nullptr}, {INT_MIN, 2, nullptr}};
  for (const Case &k : cases) {
    auto image = marked_image();
    int result = -1;
    const Captured c = capture_output([&] { result = dvreadblock(pal[3].data(), image.data(), k.format, k.flags); });
    SCOPED_TRACE(testing::Message() << "format " << k.format << " flags " << k.flags);
    EXPECT_EQ(c.out + c.err, "");
    if (k.expected == nullptr) {
      EXPECT_EQ(result, 0);
      EXPECT_TRUE(untouched(image.data(), image.size()));
    } else {
      EXPECT_EQ(result, 1);
      EXPECT_TRUE(image == *k.expected);
    }
  }
}

TEST_F(FrameBlock, RefusedRequestKeepsTheRefusedFramesHeader) {
  const auto pal = clip_frames("pal420.dv"), ntsc = clip_frames("ntsc.dv", kNtscFrameBytes);
  dvfile r{};
  auto image = marked_image();
  ASSERT_EQ(dvstatus(pal[0].data(), &r), 1);
  EXPECT_EQ(dvreadblock(ntsc[0].data(), image.data(), 1, 0), 0);
  EXPECT_TRUE(untouched(image.data(), image.size()));
  EXPECT_EQ(dvstatus(pal[0].data(), &r), 1) << "the refused 525/60 header should have switched the system";
}

struct ClipCase {
  const char *clip;
  size_t frame_bytes;
  int height;
};

std::ostream &operator<<(std::ostream &out, const ClipCase &c) { return out << c.clip; }

class MatchesLibdv : public testing::TestWithParam<ClipCase> {
 protected:
  void SetUp() override { dvinit(); }
};

// Frame blocks and images of exactly their size, each followed by an
// inaccessible page: a read past the block or a write past the image faults.
TEST_P(MatchesLibdv, FullDetailAndDcOnly) {
  const ClipCase &k = GetParam();
  const auto frames = clip_frames(k.clip, k.frame_bytes);
  constexpr size_t kFramesChecked = 4;
  ASSERT_GE(frames.size(), kFramesChecked);
  LibdvDecoder oracle;
  GuardedBuffer block(k.frame_bytes), image(size_t{kWidth} * k.height * 3);
  for (size_t f = 0; f < kFramesChecked; ++f) {
    std::copy_n(frames[f].begin(), k.frame_bytes, block.data());
    for (auto [request, quality] : {std::pair{2, kFull}, std::pair{16, kDcOnly}}) {
      std::fill_n(image.data(), image.size(), kMarker);
      ASSERT_EQ(dvreadblock(block.data(), image.data(), request, 0), 1);
      const auto expected = rgb_as_guarded(oracle, frames[f].data(), quality);
      ASSERT_EQ(expected.size(), image.size());
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.data()))
          << k.clip << " frame " << f << " request " << request;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Clips, MatchesLibdv,
                         testing::Values(ClipCase{"pal420.dv", kPalFrameBytes, kPalHeight},
                                         ClipCase{"pal420_248.dv", kPalFrameBytes, kPalHeight},
                                         ClipCase{"pal411.dv", kPalFrameBytes, kPalHeight},
                                         ClipCase{"ntsc.dv", kNtscFrameBytes, kNtscHeight},
                                         ClipCase{"damaged_random.dv", kPalFrameBytes, kPalHeight},
                                         ClipCase{"damaged_ff.dv", kPalFrameBytes, kPalHeight}),
                         [](const auto &info) {
                           std::string name = info.param.clip;
                           name = name.substr(0, name.find('.'));
                           std::erase(name, '_');
                           return name;
                         });

}  // namespace
}  // namespace ozmira::test
