// ozmira-export as a process: each picture against the decode it stands for, the frames a list chooses, every refusal
// with its exact message and nothing written, --info and --frame-info exactly, the progress bar on a terminal, and no
// temporary file left by a failing write or an interrupt.
#include <png.h>
#include <sys/stat.h>
#include "dvlib.h"
#include "frame_decoder.h"
#include "frame_selection.h"
#include "test_support.h"

namespace ozmira::test {
namespace {

Output tool(std::vector<std::string> args) { return args.insert(args.begin(), OZMIRA_EXPORT), run(args); }
std::string says(const std::string &message) { return "ozmira-export: " + message + "\n"; }
std::string image(int frame, const char *prefix = "frame") {
  char name[64];
  return std::snprintf(name, sizeof name, "%s-%06d.png", prefix, frame), name;
}
using Png = std::tuple<int, int, int, Bytes>;  // width, height, channels and 8-bit RGB or grey rows back to back
Png read_png(const std::string &path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Bytes pixels(png_image_begin_read_from_file(&image, path.c_str()) ? PNG_IMAGE_SIZE(image) : 0);
  if (pixels.empty() || !png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  return {image.width, image.height, PNG_IMAGE_PIXEL_CHANNELS(image.format), pixels};
}
// A picture of the frame block: libdv's own decode for full and dc, the frame decoder's half-size, thumbnail and
// luminance formats for the others.
Png expected(const std::string &kind, const uint8_t *block) {
  dv_decoder_t *dv = dv_decoder_new(0, 0, 0);
  dv_parse_header(dv, block), dv->quality = kind == "dc" ? 1 : 5;
  const int f = kind == "half" ? 11 : kind == "thumb" ? 8 : kind == "luma" ? 4 : 1, bpp = f == 4 ? 1 : f == 1 ? 3 : 4;
  Image decoded(f);
  if (f == 1) ::dv_decode_full_frame(dv, block, ::e_dv_color_rgb, decoded.pixels(), &decoded.pitch);
  else ozmira::dv_decode_full_frame(dv, block, dv_color_space_t(f), decoded.pixels(), &decoded.pitch);
  dv_decoder_free(dv);
  const int width = f == 11 ? 360 : f == 8 ? 92 : 720, channels = bpp == 1 ? 1 : 3;
  Bytes pixels;
  for (int r = 0; r < rows_of(f); ++r)
    for (int c = 0; c < width * bpp; ++c)
      if (c % bpp < channels) pixels.push_back(decoded.row[r][c]);
  return {width, rows_of(f), channels, pixels};
}
TEST(Export, EachPictureIsTheDecodeItStandsForNamedAfterItsFrame) {
  dvinit();
  const Bytes pal = frames("pal420.dv", 0, 50);
  const std::string clip = clip_path("pal420.dv");
  umask(022);
  for (auto [kind, frame] : {std::pair{"full", 0}, {"dc", 13}, {"half", 25}, {"thumb", 37}, {"luma", 49}}) {
    TempDir out;
    struct stat about {};
    EXPECT_EQ(tool({"-p", kind, "-f", std::to_string(frame), "-o", out.path, clip}), Output{});
    EXPECT_EQ(out.names(), std::set{image(frame)});
    EXPECT_TRUE(read_png(out / image(frame)) == expected(kind, &pal[frame * kPalFrameBytes])) << kind;
    EXPECT_TRUE(stat((out / image(frame)).c_str(), &about) == 0 && (about.st_mode & 0777) == 0644);
  }
  TempDir out;  // every n-th of the frames listed, in the order listed, under the prefix asked for
  EXPECT_EQ(tool({"-f", "30,2-3,40-41", "-e", "2", "-n", "clip", "-p", "thumb", "-o", out.path, clip}), Output{});
  EXPECT_EQ(out.names(), (std::set{image(30, "clip"), image(3, "clip"), image(41, "clip")}));
  EXPECT_TRUE(read_png(out / image(3, "clip")) == expected("thumb", &pal[3 * kPalFrameBytes]));
}
TEST(Export, FrameListsChooseTheFramesTheyName) {
  const std::string out_of_50 = " is out of range: the file has 50 frames (0-49)";
  const struct { const char *list; int every, frames; std::vector<int> chosen; std::string out_of_range; } cases[] = {
      {"all", 1, 5, {0, 1, 2, 3, 4}, ""}, {"all", 2, 5, {0, 2, 4}, ""}, {"all", 3, 0, {}, ""}, {"7-7", 1, 50, {7}, ""},
      {"3,10-12", 1, 50, {3, 10, 11, 12}, ""}, {"45-", 1, 50, {45, 46, 47, 48, 49}, ""}, {"0-", 1, 1, {0}, ""},
      {"5-20", 7, 50, {5, 12, 19}, ""}, {"30,2-3,40-41", 2, 50, {30, 3, 41}, ""}, {"9,9", 1, 50, {9, 9}, ""},
      {"0,50", 1, 50, {}, "frame 50" + out_of_50}, {"49-50", 1, 50, {}, "frame 50" + out_of_50},
      {"60-", 1, 50, {}, "frame 60" + out_of_50}, {"2147483647", 1, 50, {}, "frame 2147483647" + out_of_50},
      {"1", 1, 1, {}, "frame 1 is out of range: the file has 1 frame (0)"}};
  for (const auto &c : cases) {
    frame_export::FrameSelection selection;
    std::string error;
    ASSERT_TRUE(frame_export::parse_frame_list(c.list, selection, error)) << c.list << ": " << error;
    selection.every = c.every;
    frame_export::ChosenFrames chosen(selection, c.frames);
    std::vector<int> got;
    for (int frame; c.out_of_range.empty() && chosen.next(frame);) got.push_back(frame);
    EXPECT_TRUE(chosen.out_of_range() == c.out_of_range && got == c.chosen) << c.list << " every " << c.every;
    EXPECT_TRUE(!c.out_of_range.empty() || chosen.count() == int64_t(got.size())) << c.list << " every " << c.every;
  }
}
TEST(Export, RefusalsSayWhyAndWriteNothing) {
  TempDir dir, out;
  Bytes bad = frames("pal420.dv");
  bad[0] = 0xff;
  write_file(dir / "short.dv", Bytes(1000, 'x')), write_file(dir / "bad.dv", bad);
  const std::string pal = clip_path("pal420.dv"), ntsc = clip_path("ntsc.dv"), pal411 = clip_path("pal411.dv");
  const std::string short_ = dir / "short.dv", bad_ = dir / "bad.dv", none = dir / "none", frames_ = "--frames: '",
                    not_a_frame = "' is not a frame number or range (N, A-B or A-)",
                    every = "' is not a whole number of 1 or more";
  const auto fails = [&](const std::string &why) { return Output{1, "", says(why)}; };
  const auto usage = [&](const std::string &why) {
    return Output{2, "", says(why) + "Try 'ozmira-export --help' for more information.\n"};
  };
  const struct { std::vector<std::string> args; Output want; } cases[] = {
      {{none}, fails("cannot open '" + none + "': No such file or directory")},
      {{"--info", dir.path}, fails("cannot read '" + dir.path + "': Is a directory")},
      {{short_}, fails("'" + short_ + "' is not a DV file: it holds 1000 bytes, less than one 144000-byte frame")},
      {{"--info", bad_}, fails("'" + bad_ + "' is not a DV file: the header of frame 0 does not parse")},
      {{ntsc},
       fails("'" + ntsc + "' is not a PAL DV file: frame 0 is 720 x 480, and only 720 x 576 (625/50) files are read")},
      {{"-f", "0,50", pal}, fails("frame 50 is out of range: the file has 50 frames (0-49)")},
      {{"-p", "luma", pal411},
       fails("'" + pal411 + "' holds 4:1:1 frames; the half, thumb and luma pictures need 4:2:0 frames (full and dc"
             " work)")},
      {{"-o", none, pal}, fails("output folder '" + none + "': No such file or directory")},
      {{"-o", pal, pal}, fails("output folder '" + pal + "' is not a folder")},
      {{"-o", "/proc", pal}, fails("cannot write in output folder '/proc': No such file or directory")},
      {{}, usage("no DV file given")}, {{pal, pal}, usage("one DV file only, but '" + pal + "' follows")},
      {{"--bogus", pal}, usage("unknown option '--bogus'")}, {{"-x", pal}, usage("unknown option '-x'")},
      {{"--info=yes", pal}, usage("option '--info=yes' takes no value")}, {{pal, "-f"}, usage("option '-f' needs a value")},
      {{"-f", "5-3", pal}, usage("--frames: the range '5-3' runs backwards")},
      {{"-f", "1,,2", pal}, usage(frames_ + not_a_frame)}, {{"-f", "-4", pal}, usage(frames_ + "-4" + not_a_frame)},
      {{"-f", "3-x", pal}, usage(frames_ + "3-x" + not_a_frame)},
      {{"-f", "9999999999", pal}, usage(frames_ + "9999999999" + not_a_frame)},
      {{"-e", "0", pal}, usage("--every: '0" + every)}, {{"-e", "2x", pal}, usage("--every: '2x" + every)},
      {{"-p", "quarter", pal}, usage("--picture: unknown picture 'quarter' (full, dc, half, thumb or luma)")},
      {{"-o", "", pal}, usage("--output: the folder name is empty")},
      {{"-n", "a/b", pal}, usage("--name: the prefix must be a plain file name (not empty, no '/')")},
      {{"--json", pal}, usage("--json goes with --info or --frame-info")},
      {{"--version"}, {0, "ozmira-export " OZMIRA_VERSION "\n", ""}}};
  for (const auto &c : cases) {
    std::vector<std::string> args = c.args;
    if (c.want.status == 1 && args[0] != "-o") args.insert(args.begin(), {"-o", out.path});
    EXPECT_EQ(tool(args), c.want);
  }
  EXPECT_TRUE(out.names().empty() && dir.names() == (std::set<std::string>{"short.dv", "bad.dv"}));
  EXPECT_TRUE(tool({"--help"}).out.starts_with("Usage: ozmira-export [OPTION]... FILE\n"));
}
// --info of a PAL 4:2:0 colour file, as text and as a JSON line.
std::string info(const std::string &path, int frames, const std::string &trailing) {
  return "file:            " + path + "\nblock size:      144000\nframe size:      720 x 576\n"
         "sampling:        4:2:0 (code 2)\ncolour:          colour (type 1)\nframes:          " + std::to_string(frames) +
         "\ntrailing bytes:  " + trailing + "\n";
}
std::string json(const std::string &path, int frames, int trailing) {
  return "{\"file\":\"" + path + "\",\"block_size\":144000,\"x_size\":720,\"y_size\":576,\"code\":2,\"sampling\":\"4:2:0\","
         "\"type\":1,\"colour\":\"colour\",\"num_frames\":" + std::to_string(frames) +
         ",\"trailing_bytes\":" + std::to_string(trailing) + "}\n";
}
// A file of frames of every kind: each chosen frame described by its own header; images stop at the first frame that
// cannot be drawn, after the whole images before it.
TEST(Export, FramesOfEveryKindInOneFile) {
  TempDir dir;
  const std::string mixed = dir / "mixed.dv", size = "{\"frame\":", sizes = ",\"x_size\":720,\"y_size\":576,\"code\":",
                    four20 = "2,\"sampling\":\"4:2:0\",\"type\":";
  Bytes ntsc = frames("ntsc.dv", 0, 1, kNtscFrameBytes), bad = frames("pal420.dv");
  ntsc.resize(kPalFrameBytes), bad[0] = 0xff;
  const Bytes pal = frames("pal420.dv");
  for (const Bytes &f : {pal, frames("pal411.dv"), bad, recoloured(pal, true), recoloured(pal, false), ntsc})
    write_file(mixed, f, true);
  EXPECT_EQ(tool({"--frame-info", "--json", "-f", "4,0-2", mixed}),
            (Output{1, json(mixed, 6, 0) + size + "4" + sizes + four20 + "-1,\"colour\":\"not stated\"}\n" + size + "0" +
                           sizes + four20 + "1,\"colour\":\"colour\"}\n" + size + "1" + sizes +
                           "1,\"sampling\":\"4:1:1\",\"type\":1,\"colour\":\"colour\"}\n" + size +
                           "2,\"error\":\"header does not parse\"}\n", ""}));
  EXPECT_EQ(tool({"--frame-info", "-f", "1-3", mixed}),
            (Output{1, info(mixed, 6, "0") + "frame 1: 720 x 576, 4:1:1 (code 1), colour (type 1)\nframe 2: header does not"
                                             " parse\nframe 3: 720 x 576, 4:2:0 (code 2), greyscale (type 0)\n", ""}));
  const struct { std::vector<std::string> args; std::string err; std::set<std::string> names; } runs[] = {
      {{"-p", "thumb"}, "frame 1: it is a 4:1:1 frame; the half, thumb and luma pictures need 4:2:0 frames (full and dc "
                        "work)", {image(0)}},
      {{"-f", "0-1,2"}, "frame 2: its header does not parse (damaged, or not DV)", {image(0), image(1)}},
      {{"-p", "dc", "-f", "4-"}, "frame 5: it is 720 x 480, not a 720 x 576 PAL frame", {image(4)}}};
  for (const auto &r : runs) {
    TempDir out;
    std::vector<std::string> args = r.args;
    args.insert(args.end(), {"-o", out.path, mixed});
    EXPECT_EQ(tool(args), (Output{1, "", says(r.err)}));
    EXPECT_EQ(out.names(), r.names);
  }
}
TEST(Export, AFileWithAPartialFrameAndAnAwkwardName) {
  TempDir dir;
  const std::string path = dir / "a\"b\\c\t.dv";
  const std::string partial = says("warning: '" + path + "' ends in 50000 bytes of a partial frame, which are ignored");
  write_file(path, frames("pal420.dv", 0, 2)), write_file(path, Bytes(50000, 7), true);
  EXPECT_EQ(tool({"-i", "-j", path}), (Output{0, json(dir.path + "/a\\\"b\\\\c\\u0009.dv", 2, 50000), ""}));
  EXPECT_EQ(tool({"--info", path}), (Output{0, info(path, 2, "50000 (a partial frame, never read)"), ""}));
  EXPECT_EQ(tool({"-p", "thumb", "-o", dir.path, path}), (Output{0, "", partial}));
  EXPECT_EQ(tool({"-v", "-p", "thumb", "-o", dir.path, path}),
            (Output{0, "", opened(2) + "(dvopen:dvlib) Warning - DV file length (338000 bytes) is not an exact multiple "
                                       "of 144,000 - corrupt file?\n" + partial}));
}
TEST(Export, ProgressBarOnATerminalForTenFramesOrMore) {
  TempDir out;
  const auto on_terminal = [&](const std::string &options) {  // script(1) gives it a terminal and passes on what it shows
    const std::string command = OZMIRA_EXPORT " -p thumb -o " + out.path + " " + options + " " + clip_path("pal420.dv");
    return run({"/usr/bin/script", "-qec", command, "/dev/null"}).out;
  };
  std::string drawn;
  for (int done = 0; done <= 10; ++done)
    drawn += "\r[" + std::string(4 * done, '#') + std::string(40 - 4 * done, '-') + "] " + std::to_string(done) +
             "/10 frames";
  EXPECT_EQ(on_terminal("-f 0-9"), drawn + "\r\n");
  EXPECT_EQ(on_terminal("-f 0-8") + on_terminal("-q -f 0-9"), "");
}
TEST(Export, NoTemporaryFileOutlivesAFailedWriteOrAnInterrupt) {
  TempDir out, all;
  const std::string pal = clip_path("pal420.dv");
  write_file(out / image(0), {'o', 'l', 'd'});
  // Writes past 32 KiB (a full-size PNG is over 100 KB) fail instead of ending the process.
  EXPECT_EQ(run({"/bin/bash", "-c", "trap '' XFSZ; ulimit -f 32; exec \"$@\"", "-", OZMIRA_EXPORT, "-f0", "-o", out.path,
                 pal}),
            (Output{1, "", says("frame 0: cannot write the PNG image: File too large")}));
  EXPECT_TRUE(out.names() == std::set{image(0)} && read_file(out / image(0)) == (Bytes{'o', 'l', 'd'}));
  // Interrupted as soon as a temporary file stands, which the tool must then remove.
  const std::string interrupt = "\"$1\" -o \"$2\" \"$3\" & until compgen -G \"$2/.frame-*\"; do :; done; kill $!; wait $!";
  EXPECT_EQ(run({"/bin/bash", "-c", interrupt, "-", OZMIRA_EXPORT, all.path, pal}).status, 128 + SIGTERM);
  for (const std::string &name : all.names())
    EXPECT_TRUE(name[0] != '.' && std::get<0>(read_png(all / name)) == 720) << name;
}

}  // namespace
}  // namespace ozmira::test
