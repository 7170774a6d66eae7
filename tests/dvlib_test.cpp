// dvlib as hosts call it. dvlib.h first: it stands alone.
#include "dvlib.h"
#include <signal.h>
#include <sys/stat.h>
#include <climits>
#include <thread>
#include "frame_decoder.h"
#include "test_support.h"
#include "worker_pool.h"

static_assert(offsetof(dvfile, x_size) == 4 && offsetof(dvfile, y_size) == 8 &&
              offsetof(dvfile, code) == 12 && offsetof(dvfile, type) == 16 &&
              offsetof(dvfile, num_frames) == 20 && offsetof(dvfile, file) == 24);

// Wrapped at link time.
static bool fail_malloc = false, fail_decoder = false;
extern "C" void *__real_malloc(size_t bytes);
extern "C" void *__wrap_malloc(size_t bytes) { return fail_malloc ? nullptr : __real_malloc(bytes); }
extern "C" dv_decoder_t *__real_dv_decoder_new(int, int, int);
extern "C" dv_decoder_t *__wrap_dv_decoder_new(int a, int b, int c) {
  return fail_decoder ? nullptr : __real_dv_decoder_new(a, b, c);
}

namespace ozmira::test {
namespace {

constexpr size_t kPal = kPalFrameBytes, kNtsc = kNtscFrameBytes;

constexpr size_t kRgb = 720 * 576 * 3;
const std::string kFreadFailed = "(dvreadframe:dvlib): fread failed - invalid frame number? (too high/low)\n";
bool all(const uint8_t *p, size_t n, uint8_t v = 0x5a) {
  return std::all_of(p, p + n, [v](uint8_t b) { return b == v; });
}
Bytes libdv_rgb(Bytes block, unsigned quality = 5) {
  dv_decoder_t *dv = dv_decoder_new(0, 0, 0);
  block.resize(block.size() + 64);
  dv_parse_header(dv, block.data());
  dv->quality = quality;
  Image rgb(dv->height, dv->width * 3);
  ::dv_decode_full_frame(dv, block.data(), ::e_dv_color_rgb, rgb.pixels(), &rgb.pitch);
  dv_decoder_free(dv);
  return Bytes(rgb.mem.data(), rgb.mem.data() + rgb.mem.size);
}
// Only format | flags 2 and 16 draw, as libdv does.
TEST(FrameBlock, RequestCodes) {
  dvinit();
  const Bytes pal = frames("pal420.dv", 3), ntsc = frames("ntsc.dv", 1, 1, kNtsc);
  Image direct(5);
  ASSERT_EQ(dvreadformat(pal.data(), 5, direct.pixels(), &direct.pitch, 2), 1);
  const struct {
    int format, flags;
    unsigned draws;
  } cases[] = {{2, 0, 5},  {0, 2, 5}, {2, 2, 5}, {16, 0, 1}, {0, 16, 1},  {16, 16, 1},
               {2, 16, 0}, {1, 0, 0}, {3, 0, 0}, {-1, 0, 0}, {0, -16, 0}, {INT_MIN, 2, 0}};
  for (const Bytes *bytes : {&pal, &ntsc}) {
    Guarded block(bytes->size()), image(bytes->size() / 12000 * 48 * 720 * 3);
    std::copy(bytes->begin(), bytes->end(), block.data());
    const Bytes full = libdv_rgb(*bytes, 5), dc = libdv_rgb(*bytes, 1);
    for (const auto &c : cases) {
      SCOPED_TRACE(testing::Message() << bytes->size() << " request " << c.format << " | " << c.flags);
      std::memset(image.data(), 0x5a, image.size);
      Image lines(576, 2880, 0x5a);
      int drawn = -1, arrayed = 0;
      EXPECT_EQ(capture([&] {
                  drawn = dvreadblock(block.data(), image.data(), c.format, c.flags);
                  if (bytes == &pal) arrayed = dvreadarray(block.data(), lines.pixels(), c.format, c.flags);
                }),
                Output{});
      const Bytes &want = c.draws == 5 ? full : dc;
      EXPECT_EQ(drawn, c.draws != 0);
      EXPECT_TRUE(c.draws ? std::equal(want.begin(), want.end(), image.data())
                          : all(image.data(), image.size));
      EXPECT_EQ(arrayed, bytes == &pal && c.draws == 5);
      EXPECT_TRUE(arrayed ? lines == direct : all(lines.mem.data(), lines.mem.size));
    }
  }
  // dvstatus: 1 on a change to 625/50, 2 to 525/60, else 0.
  Bytes vaux50 = ntsc;
  vaux50[451] = 0xe0;
  dvfile r{-7, -7, -7, -7, -7, -7, stdin};
  for (bool array : {false, true}) {
    dvstatus(pal.data(), &r);
    EXPECT_TRUE(dvstatus(pal.data(), &r) == 0 && dvstatus(ntsc.data(), &r) == 2 && r.y_size == 480 &&
                r.code == 1);
    EXPECT_EQ(array ? dvreadarray(ntsc.data(), direct.pixels(), 16, 0)
                    : dvreadblock(ntsc.data(), direct.row[0], 1, 0),
              0);
    EXPECT_TRUE(dvstatus(vaux50.data(), &r) == -1 && dvstatus(pal.data(), &r) == 1 && r.y_size == 576 &&
                r.code == 2 && r.num_frames == -7 && r.file == stdin);
  }
  dvinit();
  EXPECT_EQ(dvstatus(pal.data(), &r), 1);
}
// Each refusal: its result and exact line, nothing drawn.
TEST(FrameBlock, Refusals) {
  dvinit();
  Bytes frame = frames("pal420.dv"), bad = frame, image(kRgb, 0x5a), vaux50 = frames("ntsc.dv", 0, 1, kNtsc);
  bad[0] = 0xff;
  vaux50[451] = 0xe0;  // VAUX: 50 fields
  uint8_t *rows[576], *none[1] = {nullptr}, *packed[1] = {image.data()};
  for (int n = 0; n < 576; ++n) rows[n] = &image[size_t(n) * 2160];
  int pitch = 2160, short_pitch = 2159, long_pitch = INT_MAX / 576 + 1;
  const std::string f = "(dvreadformat:dvlib): ";
  const std::string nulled = "' was NULL - user must pass a frame block, pixels and pitches.\n";
  const std::string range = " out of range - lines of this frame are 2160 to 3728270 bytes apart.\n";
  const uint8_t *pal = frame.data();
  const auto format = [](const uint8_t *b, int f, uint8_t **px, int *p, int r) {
    return [=] { return dvreadformat(b, f, px, p, r); };
  };
  dvfile r{-7, -7, -7, -7, -7, -7, nullptr}, closed{144000, 720, 576, 2, 1, 10, nullptr};
  const auto null = [](std::string call, std::string argument, std::string needs) {
    return "(" + call + ":dvlib): '" + argument + "' was NULL - user must pass a frame block and " + needs +
           ".\n";
  };
  const std::string bad_record =
                        "(dvreadframe:dvlib): invalid dvfile structure (NULL or file not open) - user must "
                        "open DV file.\n",
                    unparsed = ":dvlib): dv_parse_header failed - erm?\n";
  const struct {
    std::function<int()> call;
    int result;
    std::string err;
  } cases[] = {
      {[&] { return dvstatus(bad.data(), &r); }, -1, ""},
      {[&] { return dvreadblock(bad.data(), image.data(), 2, 0); }, 0, "(dvreadblock" + unparsed},
      {[&] { return dvreadarray(bad.data(), rows, 2, 0); }, 0, "(dvreadarray" + unparsed},
      {[&] { return dvstatus(nullptr, &r); }, -1, ""},
      {[&] { return dvstatus(frame.data(), nullptr); }, -1, ""},
      {[&] { return dvreadblock(nullptr, image.data(), 2, 0); }, 0, null("dvreadblock", "block", "an image")},
      {[&] { return dvreadblock(frame.data(), nullptr, 2, 0); }, 0, null("dvreadblock", "image", "an image")},
      {[&] { return dvreadarray(nullptr, rows, 2, 0); }, 0, null("dvreadarray", "block", "row pointers")},
      {[&] { return dvreadarray(frame.data(), nullptr, 2, 0); }, 0,
       null("dvreadarray", "rows", "row pointers")},
      {[&] { return dvreadframe(nullptr, image.data(), 0); }, 0, bad_record},
      {[&] { return dvreadframe(&closed, image.data(), 0); }, 0, bad_record},
      {[&] { return dvreadframe(&closed, nullptr, 0); }, 0,
       "(dvreadframe:dvlib): 'image' was NULL - user must allocate sufficient size for an image.\n"},
      {[&] { return dvclose(nullptr); }, EOF, ""},
      {[&] {
         DisplayDvAttributes(nullptr);
         return 0;
       },
       0, "(DisplayDvAttributes:dvlib): invalid dvfile structure (NULL) - user must open DV file.\n"},
      {format(vaux50.data(), 1, packed, &pitch, 2), 0, "(dvreadformat" + unparsed},
      {format(nullptr, 1, packed, &pitch, 2), 0, f + "'block" + nulled},
      {format(pal, 1, nullptr, &pitch, 2), 0, f + "'pixels" + nulled},
      {format(pal, 1, nullptr, nullptr, 2), 0, f + "'pixels" + nulled},
      {format(pal, 5, rows, nullptr, 2), 0, f + "'pitches" + nulled},
      {format(pal, 15, rows, &pitch, 2), 0, f + "unknown output format 15 - formats are 0 to 14.\n"},
      {format(pal, -1, rows, &pitch, 2), 0, f + "unknown output format -1 - formats are 0 to 14.\n"},
      {format(pal, 5, rows, &pitch, 18), 0,
       f + "unknown request code 18 - 2 asks for full detail, 16 for DC only.\n"},
      {format(pal, 1, none, &pitch, 2), 0, f + "'pixels[0]' was NULL - user must pass an image.\n"},
      {format(pal, 1, packed, &short_pitch, 2), 0, f + "pitch 2159" + range},
      {format(pal, 1, packed, &long_pitch, 2), 0, f + "pitch " + std::to_string(long_pitch) + range},
  };
  std::string logged;
  const auto log = [](const char *line, void *to) { *static_cast<std::string *>(to) += line; };
  for (size_t n = 0; n < std::size(cases); ++n) {
    int result = 99;
    logged.clear();
    dvsetlog(n % 2 ? +log : nullptr, n % 2 ? &logged : nullptr);
    const Output said = capture([&] { result = cases[n].call(); });
    dvsetlog(nullptr, nullptr);
    EXPECT_EQ(said, (Output{0, "", n % 2 ? "" : cases[n].err}));
    EXPECT_TRUE(result == cases[n].result && logged == (n % 2 ? cases[n].err : "")) << cases[n].err;
  }
  EXPECT_TRUE(all(image.data(), image.size()) && r.block_size == -7 && r.y_size == -7 && r.type == -7);
  for (int drawn : {3, 4, 5, 6, 7, 8, 11})
    for (int missing : {0, rows_of(drawn) - 1, rows_of(drawn) % 576}) {
      uint8_t *gap[576];
      std::copy(rows, rows + 576, gap);
      gap[missing] = nullptr;
      const bool after = missing == rows_of(drawn);
      EXPECT_EQ(
          capture([&] { EXPECT_EQ(dvreadformat(pal, drawn, gap, &pitch, drawn == 11 ? 16 : 2), after); }).err,
          after ? ""
                : f + "row " + std::to_string(missing) + " was NULL - format " + std::to_string(drawn) +
                      " needs " + std::to_string(rows_of(drawn)) + " rows of " +
                      std::to_string(row_bytes_of(drawn)) + " bytes.\n");
    }
  // 4:1:1: row formats draw nothing.
  const Bytes pal411 = frames("pal411.dv");
  std::string messages;
  for (int i = 0; i < 12 * 27 * 5; ++i) messages += error_mess;
  for (int f = 2, flag = 0, result = 1; f < 15; ++f) {
    Image lines(576, 2880, 0x5a);
    pforerror = &flag;
    flag = 7;
    const Output said = capture([&] {
      result = f == 2 ? dvreadarray(pal411.data(), lines.pixels(), 2, 0)
                      : dvreadformat(pal411.data(), f, lines.pixels(), &pitch, 2);
    });
    pforerror = nullptr;
    EXPECT_TRUE(result == 0 && flag == 1 && all(lines.mem.data(), lines.mem.size) && said.out == messages)
        << f;
    EXPECT_EQ(said.err, f == 2 ? ""
                               : "(dvreadformat:dvlib): format " + std::to_string(f) +
                                     " needs a 4:2:0 frame; this one is 4:1:1 - nothing drawn.\n");
  }
}
// Offsets of the packs `id` in the subcode or VAUX.
std::vector<size_t> packs(const Bytes &f, uint8_t id, bool subcode) {
  std::vector<size_t> at;
  for (size_t block = 0; block < f.size() / 80; ++block) {
    const size_t index = block % 150;
    for (int k = 0; k < 15; ++k) {
      const size_t offset = block * 80 + (subcode ? 6 + 8 * k : 3 + 5 * k);
      const bool here = subcode ? index >= 1 && index <= 2 && k < 6 : index >= 3 && index <= 5;
      if (here && f[offset] == id) at.push_back(offset);
    }
  }
  return at;
}
// Frame facts as FFmpeg wrote them, and of edited packs.
TEST(FrameFacts, TimesAndAspect) {
  dvinit();
  const Bytes wide = frames("meta169.dv", 3), narrow = frames("meta43.dv"),
              ntsc = frames("ntsc.dv", 0, 1, 120000);
  const struct {
    const Bytes *frame;
    std::array<int, 15> facts;
  } clips[] = {{&wide, {576, 2, 12, 1, 10, 20, 30, 15, 2031, 3, 4, 5, 6, 7, 1620}},
               {&narrow, {576, 2, 12, 0, 23, 59, 58, 20, 1999, 12, 31, 23, 59, 58, 1620}},
               {&ntsc, {480, 1, 10, 0, 0, 0, 0, 0, 1970, 1, 1, 0, 0, 0, 1350}}};
  for (const auto &c : clips) {
    int result = 0;
    const dvframeinfo i = info_of(*c.frame, &result);
    const std::array<int, 15> got = {i.y_size,     i.code,       i.dif_sequences, i.aspect,
                                     i.tc_hours,   i.tc_minutes, i.tc_seconds,    i.tc_frames,
                                     i.rec_year,   i.rec_month,  i.rec_day,       i.rec_hour,
                                     i.rec_minute, i.rec_second, i.video_blocks};
    EXPECT_EQ(got, c.facts);
    EXPECT_TRUE(result == 1 && i.x_size == 720 && i.type == 1 && i.dropout == 0 && i.flagged_blocks == 0);
  }
  // Timecode digits at and past their bounds.
  const size_t tc = packs(wide, 0x13, true).at(0);
  const struct {
    size_t byte;
    uint8_t value;
    std::array<int, 4> want;
  } digits[] = {{1, 0x24, {10, 20, 30, 24}}, {1, 0x25, {10, 20, 30, 15}}, {1, 0x1a, {10, 20, 30, 15}},
                {2, 0x60, {10, 20, 30, 15}}, {3, 0x59, {10, 59, 30, 15}}, {4, 0x23, {23, 20, 30, 15}},
                {4, 0x24, {10, 20, 30, 15}}};
  for (const auto &d : digits) {
    Bytes edited = wide;
    edited[tc + d.byte] = d.value;
    const dvframeinfo i = info_of(edited);
    EXPECT_EQ((std::array<int, 4>{i.tc_hours, i.tc_minutes, i.tc_seconds, i.tc_frames}), d.want)
        << d.byte << " " << int(d.value);
  }
  Bytes dated = wide;
  for (size_t at : packs(dated, 0x62, true)) dated[at + 2] = 0x3a;
  dated[packs(dated, 0x62, false).at(0) + 4] = 0x69;
  EXPECT_EQ(info_of(dated).rec_year, 1969);  // POSIX: 69 to 99 are 19xx
  for (size_t at : packs(dated, 0x62, false)) dated[at + 3] = 0x13;
  dated[packs(dated, 0x62, false).at(0) + 3] = 0;
  for (size_t at : packs(dated, 0x13, true)) dated[at + 4] = 0xff;
  EXPECT_EQ(info_of(dated).rec_year, 2031);
  for (size_t b = 0; b < dated.size() / 80; ++b)
    dated[b * 80 + 3] ^= b % 150 % 16 == 6 && dated[b * 80 + 3] == 0x52 ? 0xad : 0;
  const dvframeinfo undated = info_of(dated);
  EXPECT_TRUE(undated.rec_year == -1 && undated.rec_month == -1 && undated.rec_day == -1 &&
              undated.tc_hours == -1 && undated.tc_frames == -1 && undated.rec_hour == 5);
  // 16:9 as FFmpeg reads it.
  for (int apt = 0; apt < 8; ++apt)
    for (int display = 0; display < 8; ++display) {
      Bytes edited = narrow;
      edited[4] = uint8_t((edited[4] & 0xf8) | apt);
      for (size_t at : packs(edited, 0x61, false))
        edited[at + 2] = uint8_t((edited[at + 2] & 0xf8) | display);
      EXPECT_EQ(info_of(edited).aspect, display == 2 || (apt == 0 && display == 7)) << apt << " " << display;
    }
  Bytes unstated = narrow;
  for (size_t at : packs(unstated, 0x61, false)) unstated[at] = 0xff;
  EXPECT_EQ(info_of(unstated).aspect, -1);
  const dvframeinfo dropout = info_of(Bytes(kPal));
  EXPECT_TRUE(dropout.dropout == 1 && dropout.y_size == 480 && dropout.audio_channels == 0);
  dvframeinfo shorter;
  std::memset(&shorter, 0x5a, sizeof shorter);
  shorter.size = offsetof(dvframeinfo, aspect);
  EXPECT_TRUE(dvreadinfo(wide.data(), &shorter) == 1 && shorter.dropout == 0 && shorter.aspect == 0x5a5a5a5a);
}
// STA flags, audio errors, damaged segments.
TEST(FrameFacts, BlockStatusAndDamage) {
  dvinit();
  const Bytes middle = damaged_middle();
  Bytes image(kRgb);
  const int before = dvdamagedsegments();
  dvreadblock(&middle[7 * kPal], image.data(), 2, 0);
  const int planted = dvdamagedsegments();
  dvreadblock(middle.data(), image.data(), 16, 0);
  EXPECT_TRUE(before == -1 && planted == 12 && dvdamagedsegments() == 0) << planted;
  Bytes flagged = frames("sound48000.dv", 5);
  const int errors = info_of(flagged).audio_error_samples;
  flagged[7 * 80 + 3] |= 0x10;
  flagged[(11 * 150 + 149) * 80 + 3] |= 0x20;
  flagged[(5 * 150 + 100) * 80 + 3] |= 0xf0;
  // Every sample of one audio block holds the error code but the last, which is one off.
  for (int n = 0; n < 36; ++n) {
    flagged[(6 * 150 + 22) * 80 + 8 + 2 * n] = 0x80;
    flagged[(6 * 150 + 22) * 80 + 9 + 2 * n] = n == 35 ? 0x01 : 0x00;
  }
  const dvframeinfo i = info_of(flagged);
  EXPECT_TRUE(i.flagged_blocks == 3 && i.sta_blocks[0] == 1617 && i.sta_blocks[1] == 1 &&
              i.sta_blocks[2] == 1 && i.sta_blocks[15] == 1);
  EXPECT_TRUE(i.audio_error_samples == errors + 35 && i.audio_channel_errors[1] >= 35)
      << i.audio_error_samples;
}
// Refused files: the lines say why; nothing stays open.
TEST(DvFile, RefusedFiles) {
  dvinit();
  TempDir dir;
  const Bytes middle = damaged_middle();
  write_file(dir / "random", Bytes(&middle[4 * kPal], &middle[6 * kPal]));
  write_file(dir / "short", Bytes(middle.begin(), middle.begin() + kPal - 1));
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  const auto line = [](const std::string &text) { return "(dvopen:dvlib) " + text + "\n"; };
  const auto not_regular = [&](std::string path) {
    return line(path + " is not a regular file - closed file and returned NULL.");
  };
  const std::string unparsed = line("Error when parsing DV frame 0 header - closed file and returned NULL."),
                    unread = line("Error trying to read DV frame 0 - closed file and returned NULL.");
  const std::pair<std::string, std::string> cases[] = {
      {dir.path, not_regular(dir.path)},
      {"/dev/null", not_regular("/dev/null")},
      {dir / "pipe", not_regular(dir / "pipe")},
      {dir / "none", line("Couldn't open DV file (" + dir / "none" + "): No such file or directory")},
      {dir / "random", unparsed},
      {dir / "short", unread},
      {clip_path("ntsc.dv"),
       line("Image Size 720 480") + line("Not a PAL format video - closed file and returned NULL.  "
                                         "Do we need this or is it an application problem?")}};
  EXPECT_EQ(capture([] { EXPECT_EQ(dvopen(nullptr), nullptr); }).err,
            line("Couldn't open DV file ((null)): no file name given"));
  for (const auto &[path, err] : cases) {
    const auto descriptors = std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    dvfile *dv = nullptr;
    EXPECT_EQ(capture([&] { dv = dvopen(path.c_str()); }), (Output{0, "", err}));
    EXPECT_EQ(dv, nullptr);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}), descriptors) << path;
  }
}
// Files that open: each frame as libdv decodes it, or refused with its line.
TEST(DvFile, FilesThatOpen) {
  dvinit();
  TempDir dir;
  const Bytes pal = frames("pal420.dv", 0, 4), middle = damaged_middle();
  Bytes mixed = frames("pal420.dv"), ntsc = frames("ntsc.dv", 0, 1, kNtsc);
  mixed.insert(mixed.end(), ntsc.begin(), ntsc.end());
  mixed.resize(3 * kPal);
  write_file(dir / "mixed", mixed);
  write_file(dir / "plus_one", Bytes(pal.begin(), pal.end() - 143999));
  write_file(dir / "middle", middle);
  write_file(dir / "shrinking", middle);
  const auto warning = [](std::string bytes) {
    return "(dvopen:dvlib) Warning - DV file length (" + bytes +
           " bytes) is not an exact multiple of 144,000 - corrupt "
           "file?\n";
  };
  const std::string unparsed =
      "(dvreadblock:dvlib): dv_parse_header failed - erm?\n"
      "(dvreadframe:dvlib): dvreadblock failed - unknown format requested?\n";
  const struct {
    std::string path, err;
    int frames, code, unparsed;
    size_t cut;
    int other = 99;  // first frame of another size
  } cases[] = {{clip_path("pal420.dv"), opened(50), 50, 2, -1, 0},
               {dir / "mixed", opened(3), 3, 2, -1, 0, 1},
               {dir / "plus_one", opened(3) + warning("432001"), 3, 2, -1, 0},
               {dir / "middle", opened(10), 10, 2, 4, 0},
               {dir / "shrinking", opened(10), 10, 2, 4, 2 * kPal + 70000},
               {clip_path("pal411.dv"), opened(25), 25, 1, -1, 0}};
  for (const auto &c : cases) {
    dvfile *dv = nullptr;
    EXPECT_EQ(capture([&] { dv = dvopen(c.path.c_str()); }), (Output{0, "", c.err}));
    ASSERT_NE(dv, nullptr) << c.path;
    EXPECT_TRUE(dv->block_size == 144000 && dv->x_size == 720 && dv->y_size == 576 && dv->code == c.code &&
                dv->type == 1 && dv->num_frames == c.frames && dv_ftell64(dv->file) == 0);
    EXPECT_TRUE(dvcountframes(dv->file) == c.frames && (fcntl(fileno(dv->file), F_GETFD) & FD_CLOEXEC));
    ASSERT_TRUE(c.cut == 0 || truncate(c.path.c_str(), off_t(c.cut)) == 0);
    const int whole = c.cut != 0 ? int(c.cut / kPal) : c.frames;
    const Bytes file = read_file(c.path);
    for (int f : {c.frames, -1, INT_MIN, 0, 1, 2, 3, 4, 9, 17, 24, 49}) {
      if (f > c.frames) continue;
      Bytes image(kRgb, 0x5a);
      int result = -1;
      const Output said = capture([&] { result = dvreadframe(dv, image.data(), f); });
      const bool gone = f < 0 || f >= whole, bad = f == c.unparsed, other = !gone && f >= c.other;
      const std::string sized = "(dvreadframe:dvlib): frame " + std::to_string(f) +
                                " is 720 x 480, not 720 x 576 as the file - image left untouched.\n";
      EXPECT_EQ(said, (Output{0, "",
                              gone    ? kFreadFailed
                              : bad   ? unparsed
                              : other ? sized
                                      : ""}))
          << c.path << " frame " << f;
      EXPECT_EQ(result, !gone && !bad && !other) << c.path << " frame " << f;
      Bytes raw(kPal, 0x5a);
      const Output raw_said = capture([&] { EXPECT_EQ(dvreadraw(dv, raw.data(), f), !gone); });
      EXPECT_TRUE(gone ? raw_said.err == "(dvreadraw:dvlib): fread failed - invalid frame number? (frame " +
                                             std::to_string(f) + ")\n"
                       : std::equal(raw.begin(), raw.end(), &file[f * kPal]));
      EXPECT_TRUE(result ? image == libdv_rgb(Bytes(&file[f * kPal], &file[(f + 1) * kPal])) &&
                               dv_ftell64(dv->file) == (f + 1) * 144000LL
                         : all(image.data(), image.size()))
          << c.path << " frame " << f;
    }
    EXPECT_EQ(dv->num_frames, c.frames);
    EXPECT_TRUE(dv_fseek64(dv->file, -1, SEEK_END) == 0 && dv_fseek64(dv->file, -1, SEEK_CUR) == 0 &&
                dv_ftell64(dv->file) == int64_t(file.size()) - 288000);
    EXPECT_EQ(dv_fseek64(dv->file, -1, SEEK_SET), -1);
    const std::string shown =
        "\n Block size (single image=144000): 144000\n x size (frame width)            : 720\n"
        " y size (frame height)           : 576\n Code (Hopefully PAL)            : " +
        std::to_string(c.code) +
        "\n Type (greyscale or colour)      : 1\n Number of frames                : " +
        std::to_string(c.frames) + "\n\n";
    EXPECT_EQ(capture([&] { DisplayDvAttributes(dv); }), (Output{0, shown, ""})) << c.path;
    if (c.code == 1) close(fileno(dv->file));
    EXPECT_EQ(dvclose(dv), c.code == 1 ? EOF : 0);
  }
}
// A file of more frames than an int numbers.
TEST(DvFile, PastIntFrameNumbers) {
  dvinit();
  const Bytes pal = frames("pal420.dv");
  Bytes image(kRgb);
  dvfile *dv = nullptr;
  const int fd = memfd_create("huge", 0);
  const long long last = INT_MAX - 1LL, frame = kPal;
  if (pwrite(fd, pal.data(), frame, last * frame) != frame || ftruncate(fd, (last + 3) * frame) != 0)
    GTEST_SKIP();
  ASSERT_EQ(pwrite(fd, pal.data(), frame, 0), frame);
  const Output said = capture([&] { dv = dvopen(("/proc/self/fd/" + std::to_string(fd)).c_str()); });
  EXPECT_EQ(said.err, opened(INT_MAX) +
                          "(dvopen:dvlib) Warning - the file holds 2147483649 frames; only the first "
                          "2147483647 can be numbered\n");
  EXPECT_TRUE(dvreadframe(dv, image.data(), INT_MAX - 1) == 1 && dv_ftell64(dv->file) == INT_MAX * frame &&
              dvclose(dv) == 0);
  ASSERT_EQ(ftruncate(fd, INT_MAX * frame), 0);
  EXPECT_EQ(capture([&] { dv = dvopen(("/proc/self/fd/" + std::to_string(fd)).c_str()); }).err,
            opened(INT_MAX));
  EXPECT_EQ(dvclose(dv), 0);
  close(fd);
}
// Once set up, the heap does not grow.
TEST(Memory, HeapStaysFlat) {
  dvinit();
  dvfile *dv = nullptr;
  capture([&] { dv = dvopen(clip_path("pal420.dv").c_str()); });
  ASSERT_NE(dv, nullptr);
  Bytes image(kRgb);
  for (int n = 0; n < 50; ++n) dvreadframe(dv, image.data(), n);
  size_t before = heap_in_use();
  for (int n = 0; n < 1000; ++n) dvreadframe(dv, image.data(), n % 50);
  EXPECT_LE(heap_in_use(), before + 16384);
  before = heap_in_use();
  for (int n = 0; n < 100; ++n) dvinit();
  EXPECT_LE(heap_in_use(), before + 16384);
  dvclose(dv);
}
// A call made while another runs is refused.
Bytes overlap_frame;
std::vector<std::string> overlap_lines;
int overlap_results[3];
TEST(Log, OverlappingCallsRefused) {
  dvinit();
  overlap_frame = frames("pal420.dv");
  Bytes bad = overlap_frame, image(kRgb, 0x5a), second(kRgb, 0x5a);
  bad[0] = 0xff;
  const auto log = [](const char *line, void *image) {
    overlap_lines.push_back(line);
    if (overlap_lines.size() > 1) return;
    std::thread([image] {
      dvfile r;
      overlap_results[0] = dvreadblock(overlap_frame.data(), static_cast<uint8_t *>(image), 2, 0);
      overlap_results[1] = dvstatus(overlap_frame.data(), &r);
    }).join();
  };
  dvsetlog(log, second.data());
  overlap_results[2] = dvreadblock(bad.data(), image.data(), 2, 0);
  dvsetlog(nullptr, nullptr);
  const std::string refused =
      ":dvlib): another dvlib call is running on another thread - calls must not overlap; "
      "this one is refused.\n";
  EXPECT_EQ(overlap_lines, (std::vector<std::string>{"(dvreadblock:dvlib): dv_parse_header failed - erm?\n",
                                                     "(dvreadblock" + refused, "(dvstatus" + refused}));
  EXPECT_TRUE(overlap_results[0] == 0 && overlap_results[1] == -1 && overlap_results[2] == 0);
  EXPECT_TRUE(all(image.data(), image.size()) && all(second.data(), second.size()));
  EXPECT_EQ(dvreadblock(overlap_frame.data(), image.data(), 2, 0), 1);
}
// dvthreads: capped by the cores.
TEST(Threads, Counts) {
  const int cores = int(sysconf(_SC_NPROCESSORS_ONLN));
  int refused = 0;
  EXPECT_EQ(
      capture([&] { refused = dvthreads(-1); }),
      (Output{0, "", "(dvthreads:dvlib): -1 threads refused - ask for 1 or more, or 0 for one per core\n"}));
  EXPECT_TRUE(refused == -1 && dvthreads(1) == 1 && dvthreads(cores + 3) == cores && dvthreads(0) == cores);
}
// Whether a run's two pieces ran at once.
std::atomic<int> pieces_begun;
std::atomic<bool> waited_out;
bool pieces_shared() {
  pieces_begun = 0;
  waited_out = false;
  ozmira::RunPieces(
      2,
      [](void *, int) {
        ++pieces_begun;
        for (int n = 0; pieces_begun < 2 && n < 20000; ++n) usleep(1000);
        waited_out = waited_out || pieces_begun < 2;
      },
      nullptr);
  return sysconf(_SC_NPROCESSORS_ONLN) < 2 || !waited_out;
}
// Threads share runs, take no signals, and fork.
TEST(Threads, SignalsAndFork) {
  dvinit();
  const Bytes frame = frames("mandelbrot.dv"), want = libdv_rgb(frame);
  const auto decodes = [&] {
    Bytes image(kRgb);
    return dvreadblock(frame.data(), image.data(), 2, 0) == 1 && image == want;
  };
  ASSERT_TRUE(decodes());
  EXPECT_TRUE(pieces_shared());
  static volatile sig_atomic_t handled = 0;
  struct sigaction action {};
  action.sa_handler = [](int) { handled = 1; };
  sigset_t usr1, before, pending;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  sigaction(SIGUSR1, &action, nullptr);
  pthread_sigmask(SIG_BLOCK, &usr1, &before);
  kill(getpid(), SIGUSR1);
  for (int n = 0; n < 10; ++n) ASSERT_TRUE(decodes());
  sigpending(&pending);
  EXPECT_TRUE(sigismember(&pending, SIGUSR1) && !handled);
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  EXPECT_TRUE(handled);
  const pid_t child = fork();
  if (child == 0) {
    alarm(30);
    _exit(decodes() && pieces_shared() ? 0 : 1);
  }
  int status = 0;
  EXPECT_TRUE(waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
std::string warning(const std::string &call) {
  const std::string caller = call == "dvopen" ? "(dvopen:dvlib)" : "(" + call + ":dvlib):";
  return caller + " Warning - dvinit not called yet, doing it for you\n";
}
class FirstCall : public testing::TestWithParam<std::string> {};

// The first call warns once.
TEST_P(FirstCall, WarnsOnce) {
  const std::string call = GetParam(), more = call == "dvopen" ? opened(50) : "";
  const Bytes frame = frames("pal420.dv", 2);
  Image first(576, 2880, 0x5a), later(576, 2880, 0x5a);
  const auto once = [&](Image &image) {
    dvfile r{}, *dv = nullptr;
    if (call == "dvstatus") return dvstatus(frame.data(), &r) + (r.y_size == 576 ? 0 : 10);
    if (call == "dvreadblock") return dvreadblock(frame.data(), image.row[0], 2, 0);
    if (call == "dvreadarray") return dvreadarray(frame.data(), image.pixels(), 2, 0);
    return int((dv = dvopen(clip_path("pal420.dv").c_str())) && dvreadframe(dv, image.row[0], 2) == 1 &&
               dvclose(dv) == 0);
  };
  int result = 0;
  EXPECT_EQ(capture([&] { result = once(first); }).err, warning(call) + more);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(capture([&] { result = once(later); }).err, more);
  EXPECT_TRUE(result == (call == "dvstatus" ? 0 : 1) && first == later);
  EXPECT_TRUE(call == "dvstatus" || !(first == Image(576, 2880, 0x5a)));
}
INSTANTIATE_TEST_SUITE_P(Calls, FirstCall,
                         testing::Values("dvstatus", "dvreadblock", "dvreadarray", "dvopen"));

// No decoder, then no memory.
TEST(NoDecoder, EveryCallRefuses) {
  const Bytes frame = frames("pal420.dv");
  dvfile r{-7, -7, -7, -7, -7, -7, nullptr}, *dv = &r;
  Image image(576, 2880, 0x5a);
  int results = 0;
  fail_decoder = true;
  Output said = capture([&] {
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
  dvinit();
  fail_malloc = true;
  said = capture([&] { dv = dvopen(clip_path("pal420.dv").c_str()); });
  fail_malloc = false;
  EXPECT_EQ(dv, nullptr);
  EXPECT_EQ(said.err,
            opened(50) +
                "(dvopen:dvlib) Error allocating memory for dvfile object - closed file and returned "
                "NULL.\n");
}

}  // namespace
}  // namespace ozmira::test
