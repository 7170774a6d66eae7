// ozmira-export as a process, against independent oracles: libdv's decode of each picture and sound, FFmpeg's
// pixel aspect, the clips' known details, dvopen's documented lines, the DV layout for planted damage.
#include <png.h>
#include <regex>
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
using Png =
    std::tuple<int, int, int, Bytes>;  // width, height, channels and 8-bit RGB or grey rows back to back
Png read_png(const std::string &path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Bytes pixels(png_image_begin_read_from_file(&image, path.c_str()) ? PNG_IMAGE_SIZE(image) : 0);
  if (pixels.empty() || !png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  return {image.width, image.height, PNG_IMAGE_PIXEL_CHANNELS(image.format), pixels};
}
// A picture of the frame block: libdv's own decode for full and dc, the frame decoder's half-size, thumbnail
// and luminance formats for the others.
Png expected(const std::string &kind, const uint8_t *block) {
  dv_decoder_t *dv = dv_decoder_new(0, 0, 0);
  dv_parse_header(dv, block), dv->quality = kind == "dc" ? 1 : 5;
  const int f = kind == "half"    ? 11
                : kind == "thumb" ? 8
                : kind == "luma"  ? 4
                                  : 1,
            bpp = f == 4   ? 1
                  : f == 1 ? 3
                           : 4;
  Image decoded(f);
  if (f == 1)
    ::dv_decode_full_frame(dv, block, ::e_dv_color_rgb, decoded.pixels(), &decoded.pitch);
  else
    ozmira::DecodeFrame(dv, block, ColorSpace(f), decoded.pixels(), &decoded.pitch);
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
  const struct {
    const char *kind;
    int frame;
    mode_t mask;
  } kinds[] = {{"full", 0, 022}, {"dc", 13, 077}, {"half", 25, 002}, {"thumb", 37, 027}, {"luma", 49, 0}};
  for (auto [kind, frame, mask] : kinds) {
    TempDir out;  // -o makes the folder it names, with the file, under the umask as mkdir and fopen would
    struct stat folder {};
    struct stat file {};
    const mode_t before = umask(mask);
    EXPECT_EQ(tool({"-p", kind, "-f", std::to_string(frame), "-o", out / "new", clip}), Output{});
    umask(before);
    EXPECT_TRUE(read_png(out / ("new/" + image(frame))) == expected(kind, &pal[frame * kPalFrameBytes]));
    EXPECT_TRUE(stat((out / "new").c_str(), &folder) == 0 && (folder.st_mode & 0777) == (0777 & ~mask));
    EXPECT_TRUE(stat((out / ("new/" + image(frame))).c_str(), &file) == 0 &&
                (file.st_mode & 0777) == (0666 & ~mask));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out / "new"), {}), 1) << kind;
  }
  TempDir out;  // every n-th of the frames listed, in the order listed, under the prefix asked for
  EXPECT_EQ(
      tool({"-f", "30", "-e", "2", "-n", "clip", "-p", "thumb", "-f", "2-3,40-41", "-o", out.path, clip}),
      Output{});  // -f twice: the lists add up
  EXPECT_EQ(out.names(), (std::set{image(30, "clip"), image(3, "clip"), image(41, "clip")}));
  EXPECT_TRUE(read_png(out / image(3, "clip")) == expected("thumb", &pal[3 * kPalFrameBytes]));
  const std::string longest(255 - image(1, "").size(), 'n');  // a legal name, whatever its temporary one
  EXPECT_EQ(tool({"-f", "1", "-n", longest, "-o", out.path, clip}), Output{});
  EXPECT_EQ(std::get<0>(read_png(out / (longest + image(1, "")))), 720);
}
TEST(Export, FrameListsChooseTheFramesTheyName) {
  const std::string out_of_50 = " is out of range: the file has 50 frames (0-49)";
  const struct {
    const char *list;
    int every, frames;
    std::vector<int> chosen;
    std::string out_of_range;
  } cases[] = {{"all", 1, 5, {0, 1, 2, 3, 4}, ""},
               {"all", 2, 5, {0, 2, 4}, ""},
               {"3,10-12", 1, 50, {3, 10, 11, 12}, ""},
               {"45-", 1, 50, {45, 46, 47, 48, 49}, ""},
               {"5-20", 7, 50, {5, 12, 19}, ""},
               {"30,2-3,40-41", 2, 50, {30, 3, 41}, ""},
               {"9,9", 1, 50, {9, 9}, ""},
               {"0,50", 1, 50, {}, "frame 50" + out_of_50},
               {"60-", 1, 50, {}, "frame 60" + out_of_50},
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
    EXPECT_TRUE(!c.out_of_range.empty() || chosen.count() == int64_t(got.size()))
        << c.list << " every " << c.every;
  }
  frame_export::FrameSelection both;  // "all" in one list of two takes every frame
  std::string error;
  EXPECT_TRUE(parse_frame_list("3", both, error) && parse_frame_list("all", both, error) &&
              frame_export::ChosenFrames(both, 5).count() == 5);
}
TEST(Export, RefusalsSayWhyAndWriteNothing) {
  TempDir dir, out;
  Bytes bad = frames("pal420.dv");
  bad[0] = 0xff;
  write_file(dir / "short.dv", Bytes(1000, 'x'));
  write_file(dir / "bad.dv", bad);
  write_file(dir / "v.dv", frames("pal420.dv", 0, 2));
  mkfifo((dir / "fifo").c_str(), 0600);
  std::filesystem::create_symlink(dir / "v.dv", dir / "link.wav");
  std::filesystem::create_hard_link(dir / "v.dv", dir / image(1));
  const std::string pal = clip_path("pal420.dv"), ntsc = clip_path("ntsc.dv"),
                    pal411 = clip_path("pal411.dv");
  const std::string short_ = dir / "short.dv", bad_ = dir / "bad.dv", none = dir / "none", v = dir / "v.dv",
                    frames_ = "--frames: '", not_a_frame = "' is not a frame number or range (N, A-B or A-)";
  const auto fails = [&](const std::string &why) { return Output{1, "", says(why)}; };
  const auto refused = [&](const std::string &path, const std::string &lines) {  // dvopen's own lines
    return fails("dvopen refused '" + path + "':\n(dvopen:dvlib) " + lines);
  };
  const auto is_input = [&](const std::string &output) {
    return fails("'" + output + "' is the DV file being read ('" + v + "'); nothing was written");
  };
  const std::string irregular = " is not a regular file - closed file and returned NULL.";
  const auto usage = [&](const std::string &why) {
    return Output{2, "", says(why) + "Try 'ozmira-export --help' for more information.\n"};
  };
  const struct {
    std::vector<std::string> args;
    Output want;
  } cases[] = {
      {{none}, refused(none, "Couldn't open DV file (" + none + "): No such file or directory")},
      {{"--info", dir.path}, refused(dir.path, dir.path + irregular)},
      {{"--info", dir / "fifo"}, refused(dir / "fifo", dir / "fifo" + irregular)},  // not waited on
      {{"/dev/zero"}, refused("/dev/zero", "/dev/zero" + irregular)},
      {{short_}, refused(short_, "Error trying to read DV frame 0 - closed file and returned NULL.")},
      {{"--info", bad_},
       refused(bad_, "Error when parsing DV frame 0 header - closed file and returned NULL.")},
      {{ntsc},
       refused(ntsc,
               "Image Size 720 480\n(dvopen:dvlib) Not a PAL format video - closed file and returned NULL. "
               " Do we need this or is it an application problem?")},
      {{"-p", "none", "-a", v, v}, is_input(v)},  // the same file, by name, symbolic link or hard link
      {{"-p", "none", "-a", dir / "link.wav", v}, is_input(dir / "link.wav")},
      {{"-o", dir.path, v}, is_input(dir / image(1))},
      {{"--quiet", "-f", "0,50", pal}, fails("frame 50 is out of range: the file has 50 frames (0-49)")},
      {{"-p", "luma", pal411},
       fails("'" + pal411 +
             "' holds 4:1:1 frames; the half, thumb and luma pictures need 4:2:0 frames (full and dc"
             " work)")},
      {{"-o", none + "/sub", pal}, fails("output folder '" + none + "/sub': No such file or directory")},
      {{"-o", pal, pal}, fails("output folder '" + pal + "' is not a folder")},
      {{"-o", "/proc", pal}, fails("cannot write in output folder '/proc': No such file or directory")},
      {{}, usage("no DV file given")},
      {{pal, "b.dv"}, usage("one DV file only, but 'b.dv' follows")},
      {{"--bogus", pal}, usage("unknown option '--bogus'")},
      {{"-x", pal}, usage("unknown option '-x'")},
      {{"--info=yes", pal}, usage("option '--info=yes' takes no value")},
      {{pal, "-f"}, usage("option '-f' needs a value")},
      {{"--frames", "5-3", pal}, usage("--frames: the range '5-3' runs backwards")},
      {{"-f", "1,,2", pal}, usage(frames_ + not_a_frame)},
      {{"-f", "9999999999", pal},
       usage(frames_ + "9999999999' is too large for a frame number (the largest is 2147483647)")},
      {{"--every", "0", pal}, usage("--every: '0' is not a whole number of 1 or more")},
      {{"-p", "quarter", pal},
       usage("--picture: unknown picture 'quarter' (full, dc, half, thumb, luma or none)")},
      {{"--info", "--audio", "x.wav", pal},
       usage("--audio writes a file; --info and --frame-info write none")},
      {{"-p", "none", "-a", dir.path + "/", pal}, fails("--audio: '" + dir.path + "/' does not name a file")},
      {{"-a", "", pal}, usage("--audio: the file name is empty")},
      {{"--output", "", pal}, usage("--output: the folder name is empty")},
      {{"--name", "a/b", pal}, usage("--name: the prefix must be a plain file name (not empty, no '/')")},
      {{"--json", pal}, usage("--json goes with --info, --frame-info or --recordings")},
      {{"--bad-frames", "keep", pal}, usage("--bad-frames: 'keep' is not skip, previous or black")},
      {{"-r", "0", pal}, usage("--recording: '0' is not a recording number (1 or more)")},
      {{"--version"}, {0, "ozmira-export " OZMIRA_VERSION "\n", ""}}};
  for (const auto &c : cases) {
    std::vector<std::string> args = c.args;
    if (c.want.status == 1 && args[0] != "-o") args.insert(args.begin(), {"-o", out.path});
    EXPECT_EQ(tool(args), c.want);
  }
  EXPECT_TRUE(out.names().empty() && read_file(v) == frames("pal420.dv", 0, 2));
  EXPECT_EQ(dir.names(), (std::set<std::string>{"short.dv", "bad.dv", "v.dv", "fifo", "link.wav", image(1)}));
  EXPECT_TRUE(tool({"--help"}).out.starts_with("Usage: ozmira-export [OPTION]... FILE\n"));
}
// --info of a PAL 4:2:0 colour file whose first frame is a clip's first, as text and as a JSON line: what
// FFmpeg records unasked is 4:3, timecode 0 and the date and time 0 of Unix; these clips have no sound.
const std::string plain =
    ",\"aspect\":\"4:3\",\"timecode\":\"00:00:00:00\",\"recorded_date\":\"1970-01-01\","
    "\"recorded_time\":\"00:00:00\",\"audio\":null";
std::string info(const std::string &path, int frames, const std::string &trailing, const std::string &last) {
  return "file:            " + path +
         "\nblock size:      144000\nframe size:      720 x 576\n"
         "sampling:        4:2:0 (code 2)\ncolour:          colour (type 1)\nframes:          " +
         std::to_string(frames) + "\ntrailing bytes:  " + trailing +
         "\naspect:          4:3\ntimecode:        00:00:00:00 to " + last +
         "\nrecorded:        1970-01-01 00:00:00\naudio:           none\n";
}
std::string json(const std::string &path, int frames, int trailing, const std::string &last) {
  return "{\"file\":\"" + path +
         "\",\"block_size\":144000,\"x_size\":720,\"y_size\":576,\"code\":2,\"sampling\":\"4:2:0\","
         "\"type\":1,\"colour\":\"colour\",\"num_frames\":" +
         std::to_string(frames) + ",\"trailing_bytes\":" + std::to_string(trailing) + plain +
         ",\"last_timecode\":\"" + last + "\"}\n";
}
// Frame n of a file of every kind of frame is a clip's frame n (timecode 00:00:00:0n): 4:2:0, 4:1:1, a header
// that does not parse, greyscale, colour not stated, a dropout, 525/60. Each is described by its own header;
// the export goes on past those that do not decode, each a line, as --bad-frames says, and ends with
// status 3.
TEST(Export, FramesOfEveryKindInOneFile) {
  TempDir dir;
  const std::string mixed = dir / "mixed.dv", head = "{\"frame\":", sizes = ",\"x_size\":720,\"y_size\":",
                    four20 = "576,\"code\":2,\"sampling\":\"4:2:0\",\"type\":",
                    intact =
                        ",\"dropout\":false,\"video_blocks\":1620,\"flagged_blocks\":0,\"flagged_by_sta\":{},"
                        "\"damaged_segments\":0,\"audio_error_samples\":null,\"break\":null}\n";
  const auto details = [](int n) {
    return std::string(plain).replace(plain.find(":00\",\"rec"), 3, ":0" + std::to_string(n));
  };
  Bytes ntsc = frames("ntsc.dv", 6, 1, kNtscFrameBytes), bad = frames("pal420.dv", 2);
  ntsc.resize(kPalFrameBytes);
  bad[0] = 0xff;
  for (const Bytes &f :
       {frames("pal420.dv"), frames("pal411.dv", 1), bad, recoloured(frames("pal420.dv", 3), true),
        recoloured(frames("pal420.dv", 4), false), Bytes(kPalFrameBytes, 0), ntsc})
    write_file(mixed, f, true);
  const Bytes all = read_file(mixed);
  EXPECT_EQ(
      tool({"--frame-info", "--json", "-f", "4,0-2,5-6", mixed}),
      (Output{3,
              json(mixed, 7, 0, "00:00:00:06") + head + "4" + sizes + four20 + "-1,\"colour\":null" +
                  details(4) + intact + head + "0" + sizes + four20 + "1,\"colour\":\"colour\"" + details(0) +
                  intact + head + "1" + sizes +
                  "576,\"code\":1,\"sampling\":\"4:1:1\",\"type\":1,\"colour\":\"colour\"" + details(1) +
                  intact + head +
                  "2,\"error\":\"header does not parse\",\"dropout\":false,\"break\":null}\n" + head +
                  "5,\"error\":\"dropout\",\"dropout\":true,\"break\":null}\n" + head + "6" + sizes +
                  "480,\"code\":1,\"sampling\":\"4:1:1\",\"type\":1,\"colour\":\"colour\"" + details(6) +
                  std::regex_replace(intact, std::regex("1620(.*)0,"), "1350$1null,") +
                  "{\"totals\":{\"frames\":6,\"damaged_frames\":3,\"dropouts\":1,\"unparsed\":1,\"flagged_"
                  "blocks\":0,"
                  "\"damaged_segments\":0,\"audio_error_samples\":0,\"breaks\":0}}\n",
              ""}));
  EXPECT_NE(
      tool({"--frame-info", "-f", "2", mixed}).out.find("\nframe 2: header does not parse\ndamage: 1 of 1"),
      std::string::npos);
  const std::string thumb_411 =
      "frame 1: it is a 4:1:1 frame; the half, thumb and luma pictures need 4:2:0 frames (full and dc "
      "work)";
  const struct {
    std::vector<std::string> args;
    Output want;
    std::set<int> written;
    int like;  // the frame whose picture stands for those that do not decode; -1 black
  } runs[] = {{{"-p", "thumb"}, {1, "", says(thumb_411)}, {0}, 0},
              {{"-p", "dc", "-f", "0,2-3"},
               {3, "",
                says("frame 2: header does not parse; skipped") +
                    says("done; 1 of 3 chosen frames did not decode (skipped)")},
               {0, 3},
               0},
              {{"-f", "4-", "--bad-frames", "previous"},
               {3, "",
                says("frame 5: dropout; the previous picture in its place") +
                    says("frame 6: another system; the previous picture in its place") +
                    says("done; 2 of 3 chosen frames did not decode (the previous picture in its place)")},
               {4, 5, 6},
               4},
              {{"-f", "5", "--bad-frames", "black"},
               {3, "",
                says("frame 5: dropout; a black picture in its place") +
                    says("done; 1 of 1 chosen frames did not decode (a black picture in its place)")},
               {5},
               -1}};
  for (const auto &r : runs) {
    TempDir out;
    std::vector<std::string> args = r.args;
    args.insert(args.end(), {"-o", out.path, mixed});
    EXPECT_EQ(tool(args), r.want);
    std::set<std::string> names;
    for (int n : r.written) {
      names.insert(image(n));
      const Png want = r.like < 0 ? Png{720, 576, 3, Bytes(720 * 576 * 3, 0)}
                                  : expected("full", &all[(n == 5 || n == 6 ? r.like : n) * kPalFrameBytes]);
      EXPECT_TRUE(r.args[0] != "-f" || read_png(out / image(n)) == want) << n;
    }
    EXPECT_EQ(out.names(), names);
  }
}
TEST(Export, AFileWithAPartialFrameAndAnAwkwardName) {
  TempDir dir;
  // Each byte of no well-formed UTF-8 (a lone lead, overlong forms, a surrogate, past U+10FFFF, leads F5 to
  // F7, a character cut short) is written as U+FFFD, and the name given as bytes too.
  const std::string good = " \xf0\x9f\x98\x80\xe2\x82\xac\x7f",
                    bad = "\xe9\xe0\x80\x80\xc1\xbf\xed\xa0\x80\xf4\x90\x80\x80\xf5\x80\xf6\xf7\xf0\x9f\x98";
  const std::string path = dir / ("a\"b\\c\t" + good + bad + ".dv");
  std::string hex, want = json(dir.path + "/a\\\"b\\\\c\\u0009" + good + ".dv", 2, 50000, "00:00:00:01");
  for (size_t i = 0; i < bad.size(); ++i) want.insert(want.find(".dv\""), "\\ufffd");
  for (unsigned char c : path) hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
  const std::string partial =
      says("warning: '" + path + "' ends in 50000 bytes of a partial frame, which are ignored");
  write_file(path, frames("pal420.dv", 0, 2)), write_file(path, Bytes(50000, 7), true);
  want.insert(want.find(",\"block"), ",\"file_bytes\":\"" + hex + "\"");
  EXPECT_EQ(tool({"-i", "-j", path}), (Output{0, want, ""}));
  EXPECT_EQ(tool({"--info", path}),
            (Output{0, info(path, 2, "50000 (a partial frame, never read)", "00:00:00:01"), ""}));
  EXPECT_EQ(tool({"-p", "thumb", "-o", dir.path, path}), (Output{0, "", partial}));
  EXPECT_EQ(tool({"-v", "-p", "thumb", "-o", dir.path, path}),
            (Output{0, "",
                    opened(2) +
                        "(dvopen:dvlib) Warning - DV file length (338000 bytes) is not an exact multiple "
                        "of 144,000 - corrupt file?\n" +
                        partial}));
}
TEST(Export, ProgressBarOnATerminalForTenFramesOrMore) {
  TempDir out;
  const auto on_terminal =
      [&](const std::string &options) {  // script(1) gives it a terminal and passes on what it shows
        const std::string command =
            OZMIRA_EXPORT " -o " + out.path + " " + options + " " + clip_path("pal420.dv");
        return run({"/usr/bin/script", "-qec", command, "/dev/null"}).out;
      };
  // All 50 frames at full size, slow enough for the time left to show: each redraw begins with \r, and the
  // terminal ends the line with \r\n.
  const std::string shown = on_terminal("");
  EXPECT_TRUE(shown.starts_with("\r[" + std::string(40, '-') + "] 0/50 frames   \r") &&
              shown.ends_with("left   \r\n"));
  for (size_t done = 1, at = shown.find('\r', 1); done <= 50; ++done, at = shown.find('\r', at + 1)) {
    const std::string bar = "\r[" + std::string(done * 4 / 5, '#') + std::string(40 - done * 4 / 5, '-') +
                            "] " + std::to_string(done) + "/50 frames, ";
    double rate = 0,
           left = 50 - double(done);  // frames a second so far (to 0.1), and the time left at that rate
    int minutes = -1, seconds = -1;
    EXPECT_TRUE(shown.compare(at, bar.size(), bar) == 0 &&
                std::sscanf(&shown[at + bar.size()], "%lf frames/s, %d:%d left", &rate, &minutes, &seconds) ==
                    3 &&
                minutes * 60 + seconds + 0.5 >= left / (rate + 0.05) &&
                minutes * 60 + seconds - 0.5 <= left / std::max(rate - 0.05, 0.01))
        << shown.substr(at, 80);
  }
  EXPECT_EQ(on_terminal("-p thumb -f 0-8") + on_terminal("-p thumb -q -f 0-9"), "");
  EXPECT_TRUE(on_terminal("-p thumb -f 0-9").starts_with("\r[" + std::string(40, '-') + "] 0/10 frames"));
}
TEST(Export, NoTemporaryFileOutlivesAFailedWriteOrAnInterrupt) {
  TempDir out;
  const std::string pal = clip_path("pal420.dv");
  write_file(out / image(0), {'o', 'l', 'd'});
  // Writes past 32 KiB (a full-size PNG is over 100 KB) fail with a message instead of ending the process.
  EXPECT_EQ(
      run({"/bin/bash", "-c", "ulimit -f 32; exec \"$@\"", "-", OZMIRA_EXPORT, "-f0", "-o", out.path, pal}),
      (Output{1, "", says("frame 0: cannot write '" + out / image(0) + "': File too large")}));
  EXPECT_TRUE(out.names() == std::set{image(0)} && read_file(out / image(0)) == (Bytes{'o', 'l', 'd'}));
  // Ended by a signal once the first image stands, with unnamed temporary files or (preloaded) named ones:
  // only whole images are left, and no file of the sound. The 100,000 frames asked for outlast the wait.
  const std::string stop =
      "set -m; \"$1\" -o \"$2\" -a \"$2/s.wav\" -f \"$5\" \"$3\" & until compgen -G \"$2/frame-*\" "
      ">/dev/null; do :;"
      " done; ls -A \"$2\"; kill -$4 $!; wait $!";
  std::string frames = "0-49";
  for (int i = 1; i < 2000; ++i) frames += ",0-49";
  const std::pair<std::string, int> ends[] = {{"", SIGTERM},
                                              {"", SIGKILL},
                                              {OZMIRA_NO_TMPFILE, SIGINT},
                                              {OZMIRA_NO_TMPFILE, SIGQUIT},
                                              {OZMIRA_NO_TMPFILE, SIGPIPE},
                                              {OZMIRA_NO_TMPFILE, SIGUSR1},
                                              {OZMIRA_NO_TMPFILE, SIGALRM},
                                              {OZMIRA_NO_TMPFILE, SIGRTMIN + 3}};
  for (const auto &[preload, signal] : ends) {
    TempDir all;
    const Output ended =
        run({"/bin/bash", "-c", stop, "-", OZMIRA_EXPORT, all.path, pal, std::to_string(signal), frames},
            {"LD_PRELOAD=" + preload, "ASAN_OPTIONS=verify_asan_link_order=0"});
    EXPECT_EQ(ended.status, 128 + signal);
    EXPECT_EQ(ended.out.find(".ozmira-export-") != std::string::npos, !preload.empty()) << ended.out;
    for (const std::string &name : all.names())
      EXPECT_TRUE(name[0] != '.' && std::get<0>(read_png(all / name)) == 720) << signal << " " << name;
  }
}
// The pixel aspect ratio of a PNG, as its pHYs chunk gives it ("" without one).
std::string aspect_of(const std::string &path) {
  const Bytes png = read_file(path);
  const size_t at = std::search(png.begin(), png.end(), "pHYs", "pHYs" + 4) - png.begin() + 4;
  const auto word = [&](size_t i) {
    return std::to_string(png[i] << 24 | png[i + 1] << 16 | png[i + 2] << 8 | png[i + 3]);
  };
  return at + 9 > png.size() ? "" : word(at) + ":" + word(at + 4) + " unit " + std::to_string(png[at + 8]);
}

// Clips made with known details (clips/make_clips.sh): what --info, --frame-info and --recordings report of
// them, and the PNGs' pixel aspect, which must be FFmpeg's for the same frame at full and thumbnail size.
TEST(Export, RecordingDetailsAreThoseTheClipsWereMadeWith) {
  struct Clip {
    const char *clip;
    std::string aspect, date, time;
    int rate, hours, minutes, seconds, frames;
  };
  const Clip clips[] = {{"meta169.dv", "16:9", "2031-03-04", "05:06:07", 48000, 10, 20, 30, 12},
                        {"meta43.dv", "4:3", "1999-12-31", "23:59:58", 32000, 23, 59, 58, 20}};
  std::string recordings;
  for (const auto &c : clips) {
    const auto timecode = [&](int n) -> std::string {  // frame n's, at 25 frames a second
      const int f = c.frames + n, s = c.seconds + f / 25, m = c.minutes + s / 60;
      char text[16];
      return std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", c.hours + m / 60, m % 60, s % 60,
                           f % 25),
             text;
    };
    const std::string path = clip_path(c.clip), details = ",\"timecode\":\"" + timecode(0) +
                                                          "\",\"recorded_date\":\"" + c.date +
                                                          "\",\"recorded_time\":\"" + c.time +
                                                          "\",\"audio\":{\"rate\":" + std::to_string(c.rate) +
                                                          ",\"channels\":2,\"quantisation\":16}";
    EXPECT_EQ(tool({"-i", "-j", path}),
              (Output{0,
                      "{\"file\":\"" + path +
                          "\",\"block_size\":144000,\"x_size\":720,"
                          "\"y_size\":576,\"code\":2,\"sampling\":\"4:2:0\",\"type\":1,\"colour\":\"colour\","
                          "\"num_frames\":25,"
                          "\"trailing_bytes\":0,\"aspect\":\"" +
                          c.aspect + "\"" + details + ",\"last_timecode\":\"" + timecode(24) + "\"}\n",
                      ""}));
    recordings += "{\"recording\":" + std::to_string(recordings.empty() ? 1 : 2) + ",\"first_frame\":" +
                  (recordings.empty() ? "0,\"last_frame\":24" : "25,\"last_frame\":49") +
                  ",\"timecode_in\":\"" + timecode(0) + "\",\"timecode_out\":\"" + timecode(24) +
                  "\",\"recorded_date\":\"" + c.date + "\",\"recorded_time\":\"" + c.time +
                  "\",\"frames\":25,\"damaged_frames\":0}\n";
    TempDir out;
    for (const std::string kind : {"full", "thumb", "half"}) {
      EXPECT_EQ(tool({"-p", kind, "-f", "7", "-n", kind, "-o", out.path, "-a", out / "s.wav", path}),
                Output{});
      const std::string scale = kind == "full" ? "null" : kind == "half" ? "scale=360:288" : "scale=92:72";
      run({"/usr/bin/ffmpeg", "-v", "error", "-y", "-i", path, "-vf", "select=eq(n\\,7)," + scale,
           "-frames:v", "1", out / "ff.png"});
      const std::string ours = aspect_of(out / (kind + "-000007.png"));
      EXPECT_TRUE(ours == aspect_of(out / "ff.png") && !ours.empty())
          << c.clip << " " << kind << ": " << ours;
    }
  }
  // The two clips joined are two recordings: the date and time jump back at frame 25.
  TempDir dir;
  write_file(dir / "two.dv", frames("meta169.dv", 0, 25));
  write_file(dir / "two.dv", frames("meta43.dv", 0, 25), true);
  EXPECT_EQ(tool({"--recordings", "-j", dir / "two.dv"}), (Output{0, recordings, ""}));
  // --split: each recording a file named by its number, date and time; joined, they are the input.
  const std::string first = "recording-001-2031-03-04-05_06_07.dv",
                    second = "recording-002-1999-12-31-23_59_58.dv";
  EXPECT_EQ(tool({"--split", dir / "parts", dir / "two.dv"}), Output{});
  const Bytes part = read_file(dir / ("parts/" + first));
  write_file(dir / ("parts/" + first), read_file(dir / ("parts/" + second)), true);
  EXPECT_TRUE(read_file(dir / ("parts/" + first)) == read_file(dir / "two.dv") &&
              part.size() == 25 * kPalFrameBytes);
  // Frames by timecode (frames 8 and 9 of the first) and a whole recording (the second), split.
  EXPECT_EQ(tool({"-f", "10:20:30:20-10:20:30:21", "-r", "2", "--split", dir / "some", dir / "two.dv"}),
            Output{});
  write_file(dir / ("some/" + first), read_file(dir / ("some/" + second)), true);
  write_file(dir / "expected.dv", frames("meta169.dv", 8, 2));
  write_file(dir / "expected.dv", frames("meta43.dv", 0, 25), true);
  EXPECT_TRUE(read_file(dir / ("some/" + first)) == read_file(dir / "expected.dv"));
}

// --audio: the sound of the chosen frames in their order, as libdv decodes
// it; a frame's length of silence for a frame without; no file when none has any.
TEST(Export, AudioIsLibdvsDecodeOfTheChosenFramesInOrder) {
  TempDir dir;
  const std::string mixed = dir / "mixed.dv", wav = dir / "sound.wav";
  write_file(mixed, frames("meta43.dv", 0, 4)),
      write_file(mixed, frames("pal420.dv"), true);  // frame 4: no sound
  write_file(mixed, frames("sound48000.dv"), true);
  write_file(mixed, Bytes(kPalFrameBytes, 0), true);  // frame 6: a dropout
  dvinit();
  dv_decoder_t *dv = dv_decoder_new(0, 0, 0);
  Bytes pcm;
  for (int frame : {4, 3, 4, 6, 1}) {
    const Bytes f = frames("meta43.dv", frame >= 4 ? 0 : frame);
    std::vector<int16_t> channel[4] = {std::vector<int16_t>(2000), std::vector<int16_t>(2000), {}, {}};
    int16_t *out[4] = {channel[0].data(), channel[1].data(), channel[2].data(), channel[3].data()};
    if (frame < 4) dv_parse_header(dv, f.data()), dv_decode_full_audio(dv, f.data(), out);  // else zeros
    for (int i = 0; i < (frame >= 4 ? 32000 / 25 : dv->audio->samples_this_frame); ++i)     // 4, 6: silence
      for (int16_t sample : {out[0][i], out[1][i]})
        pcm.insert(pcm.end(), {uint8_t(sample), uint8_t(sample >> 8)});
  }
  dv_decoder_free(dv);
  EXPECT_EQ(tool({"-p", "none", "-f", "4,3-4,6,1", "-a", wav, mixed}),
            (Output{3, "",
                    says("frame 6: dropout; skipped") +
                        says("warning: 2 of the chosen frames hold no audio that can be decoded; '" + wav +
                             "' has silence in their place") +
                        says("done; 1 of 5 chosen frames did not decode (skipped)")}));
  const Bytes got = read_file(wav);
  const auto field = [&](size_t at, int bytes) {  // little-endian
    return bytes == 2 ? got[at] | got[at + 1] << 8
                      : got[at] | got[at + 1] << 8 | got[at + 2] << 16 | got[at + 3] << 24;
  };
  ASSERT_GE(got.size(), 44u);
  EXPECT_TRUE(
      field(20, 2) == 1 && field(22, 2) == 2 && field(24, 4) == 32000 && field(34, 2) == 16 &&
      field(40, 4) == int(pcm.size()) && field(4, 4) == int(pcm.size()) + 36 && field(16, 4) == 16 &&
      field(28, 4) == 32000 * 2 * 2 && field(32, 2) == 2 * 2 &&  // bytes a second, bytes a sample frame
      std::string(&got[0], &got[4]) + std::string(&got[8], &got[16]) + std::string(&got[36], &got[40]) ==
          "RIFFWAVEfmt data");
  EXPECT_TRUE(Bytes(got.begin() + 44, got.end()) == pcm);
  EXPECT_EQ(tool({"-p", "none", "-a", wav, clip_path("pal420.dv")}),  // no sound at all: the old file stays
            (Output{1, "",
                    says("--audio: none of the chosen frames holds audio that can be decoded; '" + wav +
                         "' was not written")}));
  EXPECT_EQ(
      tool({"-p", "none", "-f", "0,5", "-a", dir / "two.wav", mixed}),
      (Output{1, "",
              says("frame 5: its audio is 48000 Hz, 2 channels, and the frames before it have 32000 Hz, 2 "
                   "channels; one WAV file holds one format")}));
  EXPECT_TRUE(read_file(wav) == got && dir.names() == (std::set<std::string>{"mixed.dv", "sound.wav"}));
}

// Damage: video blocks whose STA field flags an error, by kind (audio blocks are not video); the twelve
// segments of damaged_middle()'s frame 7 that would lead libdv's parser out of its blocks; sound samples
// carrying the error code 0x8000, by channel (sequences 0-5 carry the first in 625/50); the timecode going
// backwards.
TEST(Export, DamageIsCountedPerFrameAndInTotal) {
  TempDir dir;
  Bytes f = damaged_middle(), sound = frames("sound48000.dv");
  for (size_t block : {7, 8, 150 + 49, 11 * 150 + 149, 6}) f[2 * kPalFrameBytes + block * 80 + 3] |= 0x10;
  f[2 * kPalFrameBytes + (150 + 49) * 80 + 3] |= 0x70;
  for (size_t at : {6 * 80 + 8, 6 * 80 + 10, 6 * 12000 + 6 * 80 + 8}) {
    sound[at] = 0x80;
    sound[at + 1] = 0;
  }
  write_file(dir / "d.dv", f);
  write_file(dir / "d.dv", sound, true);
  const std::string out = tool({"--frame-info", "-f", "2,7,10", dir / "d.dv"}).out;
  const std::string json = tool({"--frame-info", "-j", "-f", "10", dir / "d.dv"}).out;
  EXPECT_NE(
      out.find("\nframe 2: 720 x 576, 4:2:0 (code 2), colour (type 1), 4:3, timecode 00:00:00:02, recorded"
               " 1970-01-01 00:00:00, audio none, 4 flagged blocks of 1620 (STA 1: 3, STA 7: 1), 0 damaged "
               "segments, 0 audio error samples\n"),
      std::string::npos)
      << out;
  EXPECT_NE(out.find(" 12 damaged segments, 0 audio error samples\nframe 10: "), std::string::npos) << out;
  EXPECT_NE(
      out.find(", 3 audio error samples, break: timecode backwards\ndamage: 3 of 3 frames, 0 dropouts, 0 "
               "headers that do not parse, "),
      std::string::npos);
  EXPECT_NE(out.find(" flagged blocks, 12 damaged segments, 3 audio error samples; 1 breaks\n"),
            std::string::npos);
  EXPECT_NE(json.find("\"audio_error_samples\":[2,1],\"break\":null}\n"), std::string::npos) << json;
}

}  // namespace
}  // namespace ozmira::test
