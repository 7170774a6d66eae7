// dvstatus, dvreadblock, dvreadarray and dvreadformat on frame blocks in memory: attributes
// and results, request codes, refusals that leave the caller's memory alone,
// and pictures: dvreadblock's byte for byte libdv's own decode, dvreadarray's
// the frame decoder's b_dv_color_RGB reached only through the row pointers.
#include <climits>

#include "dvlib_helpers.h"
#include "frame_decoder.h"
#include "libdv_oracle.h"
#include "row_image.h"

namespace ozmira::test {
namespace {

constexpr unsigned kFull = 5, kDcOnly = 1;
constexpr int kLineBytes = kPalWidth * 4, kGapBytes = 64;
constexpr int kScatterStride = 7919;  // coprime with 576: every slot used once

void expect_fields(const dvfile &r, int y_size, int code, int type) {
  EXPECT_EQ(r.block_size, 144000);
  EXPECT_EQ(r.x_size, kPalWidth);
  EXPECT_EQ(r.y_size, y_size);
  EXPECT_EQ(r.code, code);
  EXPECT_EQ(r.type, type);
}

// 576 lines of RGB0 in one arena, out of order and each followed by a gap
// that nothing may write.
struct ScatteredLines {
  RowImage arena{kPalHeight, kLineBytes + kGapBytes, kMarker};
  std::vector<uint8_t *> rows;

  ScatteredLines() {
    for (int y = 0; y < kPalHeight; ++y) rows.push_back(arena.row(y * kScatterStride % kPalHeight));
  }
  bool same_lines(const ScatteredLines &other) const {
    for (int y = 0; y < kPalHeight; ++y)
      if (!std::equal(rows[y], rows[y] + kLineBytes, other.rows[y])) return false;
    return true;
  }
  bool gaps_untouched() const {
    return std::all_of(rows.begin(), rows.end(), [](uint8_t *line) { return untouched(line + kLineBytes, kGapBytes); });
  }
};

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
    EXPECT_EQ(dvstatus(pal[2].data(), &r), 0);
    dvinit();  // a second dvinit gives a fresh decoder, silently
    EXPECT_EQ(dvstatus(pal[2].data(), &r), 1);
  });
  EXPECT_EQ(r.num_frames, 99);
  EXPECT_EQ(r.file, file_marker);
  EXPECT_EQ(c.out + c.err, "");
}

// dvopen's record takes these fields from dvstatus on frame 0.
TEST_F(FrameBlock, StatusReportsSamplingAndColourFlag) {
  struct Case { const char *clip; int code, type; };
  for (const Case &k : {Case{"pal411.dv", 1, 1}, Case{"grey.dv", 2, 0}, Case{"colour_unstated.dv", 2, -1}}) {
    dvfile r{};
    ASSERT_GE(dvstatus(clip_frames(k.clip)[0].data(), &r), 0) << k.clip;
    expect_fields(r, kPalHeight, k.code, k.type);
  }
}

TEST_F(FrameBlock, HeaderThatDoesNotParseLeavesRecordAndImagesAlone) {
  const auto bad = clip_frames("bad_header.dv")[0];
  dvfile r{-7, -7, -7, -7, -7, -7, nullptr};
  auto image = marked_image();
  ScatteredLines lines;
  int status = 0, decoded = 1, arrayed = 1;
  const Captured c = capture_output([&] {
    status = dvstatus(bad.data(), &r);
    decoded = dvreadblock(bad.data(), image.data(), 2, 0);
    arrayed = dvreadarray(bad.data(), lines.rows.data(), 2, 0);
  });
  EXPECT_EQ(status, -1);
  EXPECT_EQ(decoded, 0);
  EXPECT_EQ(arrayed, 0);
  for (int field : {r.block_size, r.x_size, r.y_size, r.code, r.type, r.num_frames}) EXPECT_EQ(field, -7);
  EXPECT_TRUE(untouched(image));
  EXPECT_TRUE(lines.arena.untouched());
  EXPECT_EQ(c.err,
            "(dvreadblock:dvlib): dv_parse_header failed - erm?\n"
            "(dvreadarray:dvlib): dv_parse_header failed - erm?\n");
  EXPECT_EQ(c.out, "");
}

// Only format | flags counts: dvreadblock draws 2 at full detail and 16 at DC
// only, dvreadarray draws 2 alone; all else is refused, with nothing drawn or
// said, whatever request came before. Blocks and images are exactly their
// size and end at an inaccessible page, for 525/60 frames too (which are
// 4:1:1, and so not for dvreadarray).
TEST_F(FrameBlock, RequestCodes) {
  enum Draws { kNothing, kFullDetail, kDc };
  struct Case { int format, flags; Draws draws; };
  const Case cases[] = {{16, 0, kDc},         {2, 0, kFullDetail}, {0, 16, kDc},      {0, 2, kFullDetail},
                        {2, 2, kFullDetail},  {16, 16, kDc},       {2, 16, kNothing}, {18, 0, kNothing},
                        {1, 0, kNothing},     {2, 1, kNothing},    {1, 16, kNothing}, {0, 0, kNothing},
                        {3, 0, kNothing},     {-1, 0, kNothing},   {0, -16, kNothing}, {INT_MIN, 2, kNothing}};
  struct Frame { std::vector<uint8_t> bytes; size_t frame_bytes; int height; bool rows; };
  const Frame frames[] = {{clip_frames("pal420.dv")[3], kPalFrameBytes, kPalHeight, true},
                          {clip_frames("ntsc.dv", kNtscFrameBytes)[1], kNtscFrameBytes, kNtscHeight, false}};
  for (const Frame &f : frames) {
    GuardedBuffer block(f.frame_bytes), image(size_t{kPalWidth} * f.height * 3);
    std::copy_n(f.bytes.begin(), f.frame_bytes, block.data());
    LibdvDecoder oracle;
    const auto full = oracle.rgb(block.data(), kFull), dc = oracle.rgb(block.data(), kDcOnly);
    ASSERT_NE(full, dc);
    ScatteredLines expected_lines;  // the frame decoder's own b_dv_color_RGB
    oracle.parse(block.data());
    oracle.get()->quality = kFull;
    int pitch = kPalWidth * 3;
    if (f.rows) {
      ozmira::dv_decode_full_frame(oracle.get(), block.data(), ozmira::b_dv_color_RGB, expected_lines.rows.data(),
                                   &pitch);
    }
    for (const Case &k : cases) {
      SCOPED_TRACE(testing::Message() << f.height << " lines, format " << k.format << " flags " << k.flags);
      std::fill_n(image.data(), image.size(), kMarker);
      ScatteredLines lines;
      int result = -1, arrayed = -1;
      const Captured c = capture_output([&] {
        result = dvreadblock(block.data(), image.data(), k.format, k.flags);
        if (f.rows) arrayed = dvreadarray(block.data(), lines.rows.data(), k.format, k.flags);
      });
      EXPECT_EQ(c.out + c.err, "");
      EXPECT_EQ(result, k.draws != kNothing);
      const std::vector<uint8_t> *expected = k.draws == kNothing ? nullptr : k.draws == kDc ? &dc : &full;
      EXPECT_TRUE(expected == nullptr ? untouched(image.data(), image.size())
                                      : std::equal(image.data(), image.data() + image.size(), expected->begin()));
      if (!f.rows) continue;
      EXPECT_EQ(arrayed, k.draws == kFullDetail);
      EXPECT_TRUE(k.draws == kFullDetail ? lines.same_lines(expected_lines) : lines.arena.untouched());
      EXPECT_TRUE(lines.gaps_untouched());
    }
  }
}

TEST_F(FrameBlock, RefusedRequestKeepsTheRefusedFramesHeader) {
  const auto pal = clip_frames("pal420.dv")[0], ntsc = clip_frames("ntsc.dv", kNtscFrameBytes)[0];
  auto image = marked_image();
  ScatteredLines lines;
  for (bool array : {false, true}) {
    dvinit();
    dvfile r{};
    ASSERT_EQ(dvstatus(pal.data(), &r), 1);
    EXPECT_EQ(array ? dvreadarray(ntsc.data(), lines.rows.data(), 16, 0) : dvreadblock(ntsc.data(), image.data(), 1, 0), 0);
    EXPECT_EQ(dvstatus(pal.data(), &r), 1) << "the refused 525/60 header should have switched the system";
  }
  EXPECT_TRUE(untouched(image));
  EXPECT_TRUE(lines.arena.untouched());
}

// dvreadarray (format 2 below) and dvreadformat's row formats.
TEST_F(FrameBlock, FourOneOneFrameIsReportedNotDrawnInRowFormats) {
  const auto frame = clip_frames("pal411.dv")[0];
  constexpr int kMacroblocks = 12 * 27 * 5;
  std::string expected_out;
  for (int i = 0; i < kMacroblocks; ++i) expected_out += "Video Format Not implemented, possible bad data\n";
  for (int format = 2, pitch = 0; format < kColorSpaceCount; ++format) {
    int flag = 0, result = 1;
    pforerror = &flag;
    ScatteredLines lines;
    const Captured c = capture_output([&] {
      result = format == 2 ? dvreadarray(frame.data(), lines.rows.data(), 2, 0)
                           : dvreadformat(frame.data(), format, lines.rows.data(), &pitch, 2);
    });
    pforerror = nullptr;
    EXPECT_TRUE(result == 0 && flag == 1 && lines.arena.untouched() && c.out == expected_out) << format;
    EXPECT_EQ(c.err, format == 2 ? "" : "(dvreadformat:dvlib): format " + std::to_string(format) +
                                            " needs a 4:2:0 frame; this one is 4:1:1 - nothing drawn.\n");
  }
}

// Each refusal of dvreadformat: 0, its line, nothing drawn; the needed rows
// and the shortest pitch are exact.
TEST_F(FrameBlock, DvreadformatRefusals) {
  auto frame = clip_frames("pal420.dv")[0], vaux50 = clip_frames("ntsc.dv", kNtscFrameBytes)[0];
  vaux50[451] = 0xe0;  // a VAUX source pack saying 50 fields in a 525/60 frame
  ScatteredLines lines;
  auto image = marked_image();
  uint8_t *packed[1] = {image.data()}, *none[1] = {nullptr}, **rows = lines.rows.data();
  std::vector<uint8_t *> gap71 = lines.rows, gap72 = lines.rows;
  gap71[71] = gap72[72] = nullptr;
  int pitch = kPalWidth * 3, short_pitch = pitch - 1, long_pitch = INT_MAX / kPalHeight + 1;
  const std::string p = "(dvreadformat:dvlib): ", null = "' was NULL - user must pass a frame block, pixels and pitches.\n";
  const std::string range = " out of range - lines of this frame are 2160 to " + std::to_string(long_pitch - 1) +
                            " bytes apart.\n";
  struct Case { const uint8_t *block; int format; uint8_t **pixels; int *pitches, flags; std::string err; };
  const Case cases[] = {
      {nullptr, 1, packed, &pitch, 2, p + "'block" + null}, {frame.data(), 1, nullptr, &pitch, 2, p + "'pixels" + null},
      {frame.data(), 5, rows, nullptr, 2, p + "'pitches" + null},
      {frame.data(), 15, rows, &pitch, 2, p + "unknown output format 15 - formats are 0 to 14.\n"},
      {frame.data(), -1, rows, &pitch, 2, p + "unknown output format -1 - formats are 0 to 14.\n"},
      {frame.data(), 5, rows, &pitch, 18, p + "unknown request code 18 - 2 asks for full detail, 16 for DC only.\n"},
      {vaux50.data(), 1, packed, &pitch, 2, p + "dv_parse_header failed - erm?\n"},
      {frame.data(), 1, none, &pitch, 2, p + "'pixels[0]' was NULL - user must pass an image.\n"},
      {frame.data(), 1, packed, &short_pitch, 2, p + "pitch 2159" + range},
      {frame.data(), 1, packed, &long_pitch, 2, p + "pitch " + std::to_string(long_pitch) + range},
      {frame.data(), 8, gap71.data(), &pitch, 2, p + "row 71 was NULL - format 8 needs 72 rows of 368 bytes.\n"},
      {frame.data(), 11, gap72.data(), &pitch, 16, p + "row 72 was NULL - format 11 needs 288 rows of 1440 bytes.\n"}};
  for (const Case &k : cases) {
    int result = -1;
    const auto call = [&] { result = dvreadformat(k.block, k.format, k.pixels, k.pitches, k.flags); };
    EXPECT_EQ(capture_output(call).err, k.err);
    EXPECT_EQ(result, 0) << k.err;
  }
  EXPECT_TRUE(untouched(image) && lines.arena.untouched());
  EXPECT_EQ(dvreadformat(frame.data(), 8, gap72.data(), &pitch, 2), 1);  // a thumbnail needs 72 rows
}

}  // namespace
}  // namespace ozmira::test
