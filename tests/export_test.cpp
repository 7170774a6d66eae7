// ozmira-export as a process on the clips: each picture against the decode it
// stands for, the frames chosen (the list's meaning also in process, against
// lists written out by hand), every refusal with its exact message and nothing
// written, --info and --frame-info exactly, the progress bar on a terminal, and
// no temporary file left by a failing write or an interrupt.
#include <png.h>
#include <sys/stat.h>

#include "dvlib.h"
#include "frame_decoder.h"
#include "frame_selection.h"
#include "test_support.h"

namespace ozmira::test {
namespace {

Output tool(std::vector<std::string> args, const RunOptions &o = {}) {
  args.insert(args.begin(), OZMIRA_EXPORT);
  return run(args, o);
}
std::string image(int frame, const char *prefix = "frame") {
  char name[64];
  std::snprintf(name, sizeof name, "%s-%06d.png", prefix, frame);
  return name;
}
std::string says(const std::string &message) { return "ozmira-export: " + message + "\n"; }

struct Png {
  int width = 0, height = 0, channels = 0;
  Bytes pixels;  // 8-bit RGB or grey, rows back to back
  bool operator==(const Png &) const = default;
};
Png read_png(const std::string &path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  Png png{int(image.width), int(image.height), int(PNG_IMAGE_PIXEL_CHANNELS(image.format)), Bytes(PNG_IMAGE_SIZE(image))};
  return png_image_finish_read(&image, nullptr, png.pixels.data(), 0, nullptr) ? png : Png{};
}
// What a picture of the frame block must hold: libdv's own decode for full and
// dc, the frame decoder's half-size, thumbnail and luminance formats for the rest.
Png expected(const std::string &kind, const uint8_t *block) {
  dv_decoder_t *dv = dv_decoder_new(0, 0, 0);
  dv_parse_header(dv, block);
  dv->quality = kind == "dc" ? 1 : 5;
  const int f = kind == "half" ? 11 : kind == "thumb" ? 8 : kind == "luma" ? 4 : 1, bpp = f == 4 ? 1 : f == 1 ? 3 : 4;
  Image decoded(f);
  if (f == 1) ::dv_decode_full_frame(dv, block, ::e_dv_color_rgb, decoded.pixels(), &decoded.pitch);
  else ozmira::dv_decode_full_frame(dv, block, dv_color_space_t(f), decoded.pixels(), &decoded.pitch);
  dv_decoder_free(dv);
  Png png{f == 11 ? 360 : f == 8 ? 92 : 720, rows_of(f), bpp == 1 ? 1 : 3, {}};
  for (int r = 0; r < png.height; ++r)
    for (int c = 0; c < png.width; ++c)
      for (int k = 0; k < png.channels; ++k) png.pixels.push_back(decoded.row[r][c * bpp + k]);
  return png;
}

TEST(Export, EachPictureIsTheDecodeItStandsForNamedAfterItsFrame) {
  dvinit();
  const Bytes pal = frames("pal420.dv", 0, 50);
  umask(022);
  for (auto [kind, frame] : {std::pair{"full", 0}, {"dc", 13}, {"half", 25}, {"thumb", 37}, {"luma", 49}}) {
    TempDir out;
    EXPECT_EQ(tool({"-p", kind, "-f", std::to_string(frame), "-o", out.path, clip_path("pal420.dv")}), Output{});
    EXPECT_EQ(out.names(), std::set{image(frame)});
    EXPECT_TRUE(read_png(out / image(frame)) == expected(kind, &pal[frame * kPalFrameBytes])) << kind;
    struct stat about {};
    EXPECT_TRUE(stat((out / image(frame)).c_str(), &about) == 0 && (about.st_mode & 0777) == 0644);
  }
  TempDir out;  // every n-th of the frames listed, in the order listed, under the prefix asked for
  EXPECT_EQ(tool({"-f", "30,2-3,40-41", "-e", "2", "-n", "clip", "-p", "thumb", "-o", out.path, clip_path("pal420.dv")}),
            Output{});
  EXPECT_EQ(out.names(), (std::set{image(30, "clip"), image(3, "clip"), image(41, "clip")}));
  EXPECT_TRUE(read_png(out / image(3, "clip")) == expected("thumb", &pal[3 * kPalFrameBytes]));
}

TEST(Export, FrameListsChooseTheFramesTheyName) {
  const struct { const char *list; int every, frames; std::vector<int> chosen; std::string out_of_range; } cases[] = {
      {"all", 1, 5, {0, 1, 2, 3, 4}, ""},   {"all", 2, 5, {0, 2, 4}, ""},    {"all", 3, 0, {}, ""},
      {"7-7", 1, 50, {7}, ""},              {"3,10-12", 1, 50, {3, 10, 11, 12}, ""},
      {"45-", 1, 50, {45, 46, 47, 48, 49}, ""}, {"0-", 1, 1, {0}, ""},     {"5-20", 7, 50, {5, 12, 19}, ""},
      {"30,2-3,40-41", 2, 50, {30, 3, 41}, ""}, {"9,9", 1, 50, {9, 9}, ""}, {"49", 1, 50, {49}, ""},
      {"0,50", 1, 50, {}, "frame 50 is out of range: the file has 50 frames (0-49)"},
      {"49-50", 1, 50, {}, "frame 50 is out of range: the file has 50 frames (0-49)"},
      {"60-", 1, 50, {}, "frame 60 is out of range: the file has 50 frames (0-49)"},
      {"2147483647", 1, 50, {}, "frame 2147483647 is out of range: the file has 50 frames (0-49)"},
      {"1", 1, 1, {}, "frame 1 is out of range: the file has 1 frame (0)"}};
  for (const auto &c : cases) {
    frame_export::FrameSelection selection;
    std::string error;
    ASSERT_TRUE(frame_export::parse_frame_list(c.list, selection, error)) << c.list << ": " << error;
    selection.every = c.every;
    frame_export::ChosenFrames chosen(selection, c.frames);
    EXPECT_EQ(chosen.out_of_range(), c.out_of_range) << c.list;
    if (!c.out_of_range.empty()) continue;
    std::vector<int> got;
    for (int frame; chosen.next(frame);) got.push_back(frame);
    EXPECT_EQ(got, c.chosen) << c.list << " every " << c.every;
    EXPECT_EQ(chosen.count(), int64_t(c.chosen.size())) << c.list;
  }
}

TEST(Export, RefusalsSayWhyAndWriteNothing) {
  TempDir dir, out;
  write_file(dir / "short.dv", Bytes(1000, 'x'));
  Bytes bad = frames("pal420.dv");
  bad[0] = 0xff;
  write_file(dir / "bad.dv", bad);
  const std::string pal = clip_path("pal420.dv"), ntsc = clip_path("ntsc.dv"), pal411 = clip_path("pal411.dv");
  const std::string try_help = "Try 'ozmira-export --help' for more information.\n";
  const auto usage = [&](const std::string &why) { return Output{2, "", says(why) + try_help}; };
  const struct { std::vector<std::string> args; Output want; } cases[] = {
      {{dir / "none.dv"}, {1, "", says("cannot open '" + dir / "none.dv" + "': No such file or directory")}},
      {{"--info", dir.path}, {1, "", says("cannot read '" + dir.path + "': Is a directory")}},
      {{dir / "short.dv"}, {1, "", says("'" + dir / "short.dv" + "' is not a DV file: it holds 1000 bytes, less than one 144000-byte frame")}},
      {{"--info", dir / "bad.dv"}, {1, "", says("'" + dir / "bad.dv" + "' is not a DV file: the header of frame 0 does not parse")}},
      {{ntsc}, {1, "", says("'" + ntsc + "' is not a PAL DV file: frame 0 is 720 x 480, and only 720 x 576 (625/50) files are read")}},
      {{"-f", "0,50", pal}, {1, "", says("frame 50 is out of range: the file has 50 frames (0-49)")}},
      {{"-p", "luma", pal411}, {1, "", says("'" + pal411 + "' holds 4:1:1 frames; the half, thumb and luma pictures need 4:2:0 frames (full and dc work)")}},
      {{"-o", dir / "none", pal}, {1, "", says("output folder '" + dir / "none" + "': No such file or directory")}},
      {{"-o", pal, pal}, {1, "", says("output folder '" + pal + "' is not a folder")}},
      {{"-o", "/proc", pal}, {1, "", says("cannot write in output folder '/proc': No such file or directory")}},
      {{}, usage("no DV file given")},
      {{pal, pal}, usage("one DV file only, but '" + pal + "' follows")},
      {{"--bogus", pal}, usage("unknown option '--bogus'")},
      {{"-x", pal}, usage("unknown option '-x'")},
      {{"--info=yes", pal}, usage("option '--info=yes' takes no value")},
      {{pal, "-f"}, usage("option '-f' needs a value")},
      {{"-f", "5-3", pal}, usage("--frames: the range '5-3' runs backwards")},
      {{"-f", "1,,2", pal}, usage("--frames: '' is not a frame number or range (N, A-B or A-)")},
      {{"-f", "-4", pal}, usage("--frames: '-4' is not a frame number or range (N, A-B or A-)")},
      {{"-f", "3-x", pal}, usage("--frames: '3-x' is not a frame number or range (N, A-B or A-)")},
      {{"-f", "99999999999", pal}, usage("--frames: '99999999999' is not a frame number or range (N, A-B or A-)")},
      {{"-e", "0", pal}, usage("--every: '0' is not a whole number of 1 or more")},
      {{"-e", "2x", pal}, usage("--every: '2x' is not a whole number of 1 or more")},
      {{"-p", "quarter", pal}, usage("--picture: unknown picture 'quarter' (full, dc, half, thumb or luma)")},
      {{"-o", "", pal}, usage("--output: the folder name is empty")},
      {{"-n", "a/b", pal}, usage("--name: the prefix must be a plain file name (not empty, no '/')")},
      {{"--json", pal}, usage("--json goes with --info or --frame-info")},
  };
  for (const auto &c : cases) {
    std::vector<std::string> args = c.args;
    if (c.want.status == 1 && std::find(args.begin(), args.end(), "-o") == args.end()) args.insert(args.begin(), {"-o", out.path});
    EXPECT_EQ(tool(args), c.want);
  }
  EXPECT_EQ(out.names(), std::set<std::string>{});
  EXPECT_EQ(dir.names(), (std::set<std::string>{"short.dv", "bad.dv"}));
  const Output help = tool({"--help"});
  EXPECT_TRUE(help.status == 0 && help.out.starts_with("Usage: ozmira-export [OPTION]... FILE\n") && help.err.empty());
  EXPECT_EQ(tool({"--version"}), (Output{0, "ozmira-export " OZMIRA_VERSION "\n", ""}));
}

// A file of frames of every kind: each chosen frame described by its own
// header; images stop at the first frame that cannot be drawn, after the whole
// images before it.
TEST(Export, FramesOfEveryKindInOneFile) {
  TempDir dir;
  const std::string mixed = dir / "mixed.dv";
  Bytes ntsc = frames("ntsc.dv", 0, 1, kNtscFrameBytes), bad = frames("pal420.dv");
  ntsc.resize(kPalFrameBytes);
  bad[0] = 0xff;
  for (const Bytes &f : {frames("pal420.dv"), frames("pal411.dv"), bad, recoloured(frames("pal420.dv"), true),
                         recoloured(frames("pal420.dv"), false), ntsc})
    write_file(mixed, f, true);
  const std::string file = "{\"file\":\"" + mixed + "\",\"block_size\":144000,\"x_size\":720,\"y_size\":576,\"code\":2,"
                           "\"sampling\":\"4:2:0\",\"type\":1,\"colour\":\"colour\",\"num_frames\":6,\"trailing_bytes\":0}\n";
  const std::string frame = ",\"x_size\":720,\"y_size\":576,\"code\":";
  EXPECT_EQ(tool({"--frame-info", "--json", "-f", "4,0-2", mixed}),
            (Output{1,
                    file + "{\"frame\":4" + frame + "2,\"sampling\":\"4:2:0\",\"type\":-1,\"colour\":\"not stated\"}\n" +
                        "{\"frame\":0" + frame + "2,\"sampling\":\"4:2:0\",\"type\":1,\"colour\":\"colour\"}\n" +
                        "{\"frame\":1" + frame + "1,\"sampling\":\"4:1:1\",\"type\":1,\"colour\":\"colour\"}\n" +
                        "{\"frame\":2,\"error\":\"header does not parse\"}\n",
                    ""}));
  EXPECT_EQ(tool({"--frame-info", "-f", "1-3", mixed}),
            (Output{1,
                    "file:            " + mixed + "\nblock size:      144000\nframe size:      720 x 576\n"
                    "sampling:        4:2:0 (code 2)\ncolour:          colour (type 1)\nframes:          6\n"
                    "trailing bytes:  0\nframe 1: 720 x 576, 4:1:1 (code 1), colour (type 1)\n"
                    "frame 2: header does not parse\nframe 3: 720 x 576, 4:2:0 (code 2), greyscale (type 0)\n",
                    ""}));
  const struct { std::vector<std::string> args; std::string err; std::set<std::string> names; } runs[] = {
      {{"-p", "thumb"}, "frame 1: it is a 4:1:1 frame; the half, thumb and luma pictures need 4:2:0 frames (full and dc work)", {image(0)}},
      {{"-f", "0-1,2"}, "frame 2: its header does not parse (damaged, or not DV)", {image(0), image(1)}},
      {{"-p", "dc", "-f", "3-"}, "frame 5: it is 720 x 480, not a 720 x 576 PAL frame", {image(3), image(4)}}};
  for (const auto &r : runs) {
    TempDir out;
    std::vector<std::string> args = r.args;
    args.insert(args.end(), {"-o", out.path, mixed});
    EXPECT_EQ(tool(args), (Output{1, "", says(r.err)}));
    EXPECT_EQ(out.names(), r.names);
  }
}

TEST(Export, AttributesOfAFileWithAPartialFrameAndAnAwkwardName) {
  TempDir dir;
  const std::string path = dir / "a\"b\\c\t.dv";
  write_file(path, frames("pal420.dv", 0, 2));
  write_file(path, Bytes(50000, 7), true);
  EXPECT_EQ(tool({"-i", "-j", path}),
            (Output{0, "{\"file\":\"" + dir.path + "/a\\\"b\\\\c\\u0009.dv\",\"block_size\":144000,\"x_size\":720,"
                       "\"y_size\":576,\"code\":2,\"sampling\":\"4:2:0\",\"type\":1,\"colour\":\"colour\","
                       "\"num_frames\":2,\"trailing_bytes\":50000}\n", ""}));
  EXPECT_EQ(tool({"--info", path}),
            (Output{0, "file:            " + path + "\nblock size:      144000\nframe size:      720 x 576\n"
                       "sampling:        4:2:0 (code 2)\ncolour:          colour (type 1)\nframes:          2\n"
                       "trailing bytes:  50000 (a partial frame, never read)\n", ""}));
  const std::string partial = says("warning: '" + path + "' ends in 50000 bytes of a partial frame, which are ignored");
  EXPECT_EQ(tool({"-p", "thumb", "-o", dir.path, path}), (Output{0, "", partial}));
  EXPECT_EQ(tool({"-v", "-p", "thumb", "-o", dir.path, path}),
            (Output{0, "", opened(2) + "(dvopen:dvlib) Warning - DV file length (338000 bytes) is not an exact "
                                       "multiple of 144,000 - corrupt file?\n" + partial}));
}

TEST(Export, ProgressBarOnATerminalForTenFramesOrMore) {
  TempDir out;
  const auto bar = [&](std::vector<std::string> args) {
    args.insert(args.end(), {"-p", "thumb", "-o", out.path, clip_path("pal420.dv")});
    return tool(args, {.terminal = true}).err;
  };
  std::string drawn;
  for (int done = 0; done <= 10; ++done)
    drawn += "\r[" + std::string(4 * done, '#') + std::string(40 - 4 * done, '-') + "] " + std::to_string(done) + "/10 frames";
  EXPECT_EQ(bar({"-f", "0-9"}), drawn + "\r\n");  // the terminal ends the line with \r\n
  EXPECT_EQ(bar({"-f", "0-8"}), "");
  EXPECT_EQ(bar({"-q", "-f", "0-9"}), "");
}

TEST(Export, NoTemporaryFileOutlivesAFailedWriteOrAnInterrupt) {
  TempDir out;
  write_file(out / image(0), {'o', 'l', 'd'});
  EXPECT_EQ(tool({"-f", "0", "-o", out.path, clip_path("pal420.dv")}, {.file_limit = 32768}),
            (Output{1, "", says("frame 0: cannot write the PNG image: File too large")}));
  EXPECT_EQ(out.names(), std::set{image(0)});
  EXPECT_EQ(read_file(out / image(0)), (Bytes{'o', 'l', 'd'}));
  TempDir all;
  const Output ended = tool({"-o", all.path, clip_path("pal420.dv")}, {.meanwhile = [&](pid_t pid) {
                              for (int i = 0; i < 20000 && all.names().size() < 3; ++i) usleep(1000);
                              kill(pid, SIGTERM);
                            }});
  EXPECT_TRUE(ended.status == 128 + SIGTERM || ended.status == 0) << ended;
  for (const std::string &name : all.names()) EXPECT_TRUE(name[0] != '.' && read_png(all / name).width == 720) << name;
}

}  // namespace
}  // namespace ozmira::test
