// ozmira-export as a process, against libdv's decode, FFmpeg's pixel aspect, the clips' known details,
// dvopen's lines and the DV layout.
#include <png.h>
#include <regex>
#include "dv_source.h"
#include "dvlib.h"
#include "frame_reader.h"
#include "frame_decoder.h"
#include "test_support.h"

namespace ozmira::test {
namespace {

Output tool(std::vector<std::string> args) {
  args.insert(args.begin(), OZMIRA_EXPORT);
  return run(args);
}
std::string says(const std::string &message) { return "ozmira-export: " + message + "\n"; }
std::string image(int frame, const std::string &prefix = "frame") {
  char number[16];
  std::snprintf(number, sizeof number, "-%06d.png", frame);
  return prefix + number;
}
int mode(const std::string &path) { return int(std::filesystem::status(path).permissions()); }
using Png = std::tuple<int, int, int, Bytes>;  // width, height, channels, pixels
Png read_png(const std::string &path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Bytes pixels(png_image_begin_read_from_file(&image, path.c_str()) ? PNG_IMAGE_SIZE(image) : 0);
  if (pixels.empty() || !png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  return {image.width, image.height, PNG_IMAGE_PIXEL_CHANNELS(image.format), pixels};
}
// A picture of the frame: libdv's decode for full and dc, the frame decoder's for the others.
Png expected(const std::string &kind, const uint8_t *block) {
  dv_decoder_t *dv = dv_decoder_new(0, 0, 0);
  dv_parse_header(dv, block);
  dv->quality = kind == "dc" ? 1 : 5;
  const int f = kind == "half" ? 11 : kind == "thumb" ? 8 : kind == "luma" ? 4 : 1;
  const int bpp = f == 4 ? 1 : f == 1 ? 3 : 4;
  Image decoded(f);
  if (f == 1)
    ::dv_decode_full_frame(dv, block, ::e_dv_color_rgb, decoded.pixels(), &decoded.pitch);
  else
    ozmira::DecodeFrame(dv, block, ColorSpace(f), decoded.pixels(), &decoded.pitch);
  dv_decoder_free(dv);
  const int width = f == 11 ? 360 : f == 8 ? 92 : 720;
  Bytes pixels;
  for (int r = 0; r < rows_of(f); ++r)
    for (int c = 0; c < width * bpp; ++c)
      if (c % bpp < 3) pixels.push_back(decoded.row[r][c]);
  return {width, rows_of(f), bpp == 1 ? 1 : 3, pixels};
}
TEST(Export, EachPictureIsTheDecodeItStandsForNamedAfterItsFrame) {
  dvinit();
  const Bytes pal = frames("pal420.dv", 0, 50);
  const std::string clip = clip_path("pal420.dv");
  const std::tuple<const char *, int, mode_t> kinds[] = {
      {"full", 0, 022}, {"dc", 13, 077}, {"half", 25, 002}, {"thumb", 37, 027}, {"luma", 49, 0}};
  for (auto [kind, frame, mask] : kinds) {
    TempDir out;  // the folder and file made under the umask
    const mode_t before = umask(mask);
    EXPECT_EQ(tool({"-p", kind, "-f", std::to_string(frame), "-o", out / "new", clip}), Output{});
    umask(before);
    EXPECT_TRUE(read_png(out / ("new/" + image(frame))) == expected(kind, &pal[frame * kPalFrameBytes]));
    EXPECT_EQ(mode(out / "new"), 0777 & ~mask);
    EXPECT_EQ(mode(out / ("new/" + image(frame))), 0666 & ~mask);
    EXPECT_EQ(out.names().size(), 1u) << kind;
  }
  TempDir out;  // every n-th of the frames listed, in order
  EXPECT_EQ(tool({"--threads", "1", "-f", "30", "-e", "2", "-n", "c", "-p", "thumb", "-f", "2-3,40-41", "-o",
                  out.path, clip}),
            Output{});  // -f twice: the lists add up
  EXPECT_EQ(out.names(), (std::set{image(30, "c"), image(3, "c"), image(41, "c")}));
  EXPECT_TRUE(read_png(out / image(3, "c")) == expected("thumb", &pal[3 * kPalFrameBytes]));
  const std::string longest(255 - image(1, "").size(), 'n');
  EXPECT_EQ(tool({"-f", "1", "-n", longest, "-o", out.path, clip}), Output{});
  EXPECT_EQ(std::get<0>(read_png(out / image(1, longest))), 720);
}
TEST(Export, RefusalsSayWhyAndWriteNothing) {
  TempDir dir, out;
  write_file(dir / "v.dv", frames("pal420.dv", 0, 2));
  mkfifo((dir / "fifo").c_str(), 0600);
  std::filesystem::create_symlink(dir / "v.dv", dir / "link.wav");
  std::filesystem::create_hard_link(dir / "v.dv", dir / image(1));
  const std::string pal = clip_path("pal420.dv"), p411 = clip_path("pal411.dv");
  const std::string none = dir / "none", v = dir / "v.dv";
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
  const std::pair<std::vector<std::string>, Output> cases[] = {
      {{none}, refused(none, "Couldn't open DV file (" + none + "): No such file or directory")},
      {{"--info", dir / "fifo"}, refused(dir / "fifo", dir / "fifo" + irregular)},  // not waited on
      {{"/dev/zero"}, refused("/dev/zero", "/dev/zero" + irregular)},
      {{"-p", "none", "-a", v, v}, is_input(v)},  // the input, by name or link
      {{"-p", "none", "-a", dir / "link.wav", v}, is_input(dir / "link.wav")},
      {{"-o", dir.path, v}, is_input(dir / image(1))},
      {{"--quiet", "-f", "0,60-", pal}, fails("frame 60 is out of range: the file has 50 frames (0-49)")},
      {{"-f", "0,9,9,2", v}, fails("frame 9 is out of range: the file has 2 frames (0-1)")},
      {{"-p", "luma", p411},
       fails("'" + p411 +
             "' holds 4:1:1 frames; the half, thumb and luma pictures need 4:2:0 frames (full and dc work)")},
      {{"-o", none + "/sub", pal}, fails("output folder '" + none + "/sub': No such file or directory")},
      {{"-o", pal, pal}, fails("output folder '" + pal + "' is not a folder")},
      {{"-o", "/proc", pal}, fails("cannot write in output folder '/proc': No such file or directory")},
      {{"-p", "none", "-a", dir.path + "/", pal}, fails("--audio: '" + dir.path + "/' does not name a file")},
      {{}, usage("no DV file given")},
      {{pal, "b.dv"}, usage("one DV file only, but 'b.dv' follows")},
      {{"-x", pal}, usage("unknown option '-x'")},
      {{"--info=yes", pal}, usage("option '--info=yes' takes no value")},
      {{pal, "-f"}, usage("option '-f' needs a value")},
      {{"--frames", "5-3", pal}, usage("--frames: the range '5-3' runs backwards")},
      {{"-f", "1,,2", pal}, usage("--frames: '' is not a frame number or range (N, A-B or A-)")},
      {{"-f", "9999999999", pal},
       usage("--frames: '9999999999' is too large for a frame number (the largest is 2147483647)")},
      {{"--info", "--audio", "x.wav", pal},
       usage("--audio writes a file; --info and --frame-info write none")},
      {{"-a", "", pal}, usage("--audio: the file name is empty")},
      {{"--json", pal}, usage("--json goes with --info, --frame-info or --recordings")},
      {{"--threads", "-1", pal}, usage("--threads: '-1' is not a whole number of 0 or more")},
      {{"--bad-frames", "keep", pal}, usage("--bad-frames: 'keep' is not skip, previous or black")},
      {{"-r", "0", pal}, usage("--recording: '0' is not a recording number (1 or more)")},
      {{"--version"}, {0, "ozmira-export " OZMIRA_VERSION "\n", ""}}};
  for (auto [args, want] : cases) {
    if (want.status == 1 && args[0] != "-o") args.insert(args.begin(), {"-o", out.path});
    EXPECT_EQ(tool(args), want);
  }
  EXPECT_TRUE(out.names().empty() && read_file(v) == frames("pal420.dv", 0, 2));
  EXPECT_EQ(dir.names(), (std::set<std::string>{"v.dv", "fifo", "link.wav", image(1)}));
  EXPECT_TRUE(tool({"--help"}).out.starts_with("Usage: ozmira-export [OPTION]... FILE\n"));
}
// --info -j of a file starting with a clip's frame: FFmpeg's 4:3, timecode 0 and date 0 of Unix; no sound.
const std::string plain =
    ",\"aspect\":\"4:3\",\"timecode\":\"00:00:00:00\",\"recorded_date\":\"1970-01-01\","
    "\"recorded_time\":\"00:00:00\",\"audio\":null";
std::string json(const std::string &path, int frames, int trailing, const std::string &last) {
  return "{\"file\":\"" + path +
         "\",\"block_size\":144000,\"x_size\":720,\"y_size\":576,\"code\":2,\"sampling\":\"4:2:0\","
         "\"type\":1,\"colour\":\"colour\",\"num_frames\":" +
         std::to_string(frames) + ",\"trailing_bytes\":" + std::to_string(trailing) + plain +
         ",\"last_timecode\":\"" + last + "\"}\n";
}
// Frame n (timecode 00:00:00:0n): 4:2:0, 4:1:1, a header that does not parse, greyscale, colour not stated,
// a dropout, 525/60. The export goes on past those that do not decode as --bad-frames says, status 3.
TEST(Export, FramesOfEveryKindInOneFile) {
  TempDir dir;
  const std::string mixed = dir / "mixed.dv", head = "{\"frame\":",
                    four11 = ",\"code\":1,\"sampling\":\"4:1:1\",\"type\":1,\"colour\":\"colour\"",
                    intact =
                        ",\"dropout\":false,\"video_blocks\":1620,\"flagged_blocks\":0,\"flagged_by_sta\":{},"
                        "\"damaged_segments\":0,\"audio_error_samples\":null,\"break\":null}\n";
  const auto decoded = [&](int n, const std::string &shape, bool ntsc = false) {
    const std::string details =
        std::string(plain).replace(plain.find(":00\",\"rec"), 3, ":0" + std::to_string(n));
    return head + std::to_string(n) + ",\"x_size\":720,\"y_size\":" + shape + details +
           (ntsc ? std::regex_replace(intact, std::regex("1620(.*)0,"), "1350$1null,") : intact);
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
              json(mixed, 7, 0, "00:00:00:06") +
                  decoded(4, "576,\"code\":2,\"sampling\":\"4:2:0\",\"type\":-1,\"colour\":null") +
                  decoded(0, "576,\"code\":2,\"sampling\":\"4:2:0\",\"type\":1,\"colour\":\"colour\"") +
                  decoded(1, "576" + four11) + head +
                  "2,\"error\":\"header does not parse\",\"dropout\":false,\"break\":null}\n" + head +
                  "5,\"error\":\"dropout\",\"dropout\":true,\"break\":null}\n" +
                  decoded(6, "480" + four11, true) +
                  "{\"totals\":{\"frames\":6,\"damaged_frames\":3,\"dropouts\":1,\"unparsed\":1,\"flagged_"
                  "blocks\":0,"
                  "\"damaged_segments\":0,\"audio_error_samples\":0,\"breaks\":0}}\n",
              ""}));
  EXPECT_NE(
      tool({"--frame-info", "-f", "2", mixed}).out.find("\nframe 2: header does not parse\ndamage: 1 of 1"),
      std::string::npos);
  const std::string done = "done; ", undecoded = " chosen frames did not decode (";
  const std::tuple<std::vector<std::string>, Output, std::set<int>, int> runs[] = {
      // what is said, the pictures and the frame drawn for those that do not decode (-1 black)
      {{"-p", "thumb"},
       {1, "",
        says("frame 1: it is a 4:1:1 frame; the half, thumb and luma pictures need 4:2:0 frames (full "
             "and dc work)")},
       {0},
       0},
      {{"-p", "dc", "-f", "0,2-3"},
       {3, "",
        says("frame 2: header does not parse; skipped") + says(done + "1 of 3" + undecoded + "skipped)")},
       {0, 3},
       0},
      {{"-f", "4-", "--bad-frames", "previous"},
       {3, "",
        says("frame 5: dropout; the previous picture in its place") +
            says("frame 6: another system; the previous picture in its place") +
            says(done + "2 of 3" + undecoded + "the previous picture in its place)")},
       {4, 5, 6},
       4},
      {{"-f", "5", "--bad-frames", "black"},
       {3, "",
        says("frame 5: dropout; a black picture in its place") +
            says(done + "1 of 1" + undecoded + "a black picture in its place)")},
       {5},
       -1}};
  for (auto [args, want, written, like] : runs) {
    TempDir out;
    const bool checked = args[0] == "-f";
    args.insert(args.end(), {"-o", out.path, mixed});
    EXPECT_EQ(tool(args), want);
    std::set<std::string> names;
    for (int n : written) {
      names.insert(image(n));
      const Png black{720, 576, 3, Bytes(720 * 576 * 3, 0)};
      const Png want =
          like < 0 ? black : expected("full", &all[(n == 5 || n == 6 ? like : n) * kPalFrameBytes]);
      EXPECT_TRUE(!checked || read_png(out / image(n)) == want) << n;
    }
    EXPECT_EQ(out.names(), names);
  }
}
TEST(Export, AFileWithAPartialFrameAndAnAwkwardName) {
  TempDir dir;
  // Each byte of malformed UTF-8 is written U+FFFD, and the name given as bytes too.
  const std::string good = " \xf0\x9f\x98\x80\xe2\x82\xac\x7f",
                    bad = "\xe9\xe0\x80\x80\xc1\xbf\xed\xa0\x80\xf4\x90\x80\x80\xf5\x80\xf6\xf7\xf0\x9f\x98";
  const std::string path = dir / ("a\"b\\c\t" + good + bad + ".dv");
  std::string hex, want = json(dir.path + "/a\\\"b\\\\c\\u0009" + good + ".dv", 2, 50000, "00:00:00:01");
  for (size_t i = 0; i < bad.size(); ++i) want.insert(want.find(".dv\""), "\\ufffd");
  for (unsigned char c : path) {
    hex += "0123456789abcdef"[c >> 4];
    hex += "0123456789abcdef"[c & 15];
  }
  const std::string partial =
      says("warning: '" + path + "' ends in 50000 bytes of a partial frame, which are ignored");
  write_file(path, frames("pal420.dv", 0, 2));
  write_file(path, Bytes(50000, 7), true);
  want.insert(want.find(",\"block"), ",\"file_bytes\":\"" + hex + "\"");
  EXPECT_EQ(tool({"-i", "-j", path}), (Output{0, want, ""}));
  EXPECT_EQ(tool({"--info", path}),
            (Output{0,
                    "file:            " + path +
                        "\nblock size:      144000\nframe size:      720 x 576\nsampling:        4:2:0 (code "
                        "2)\ncolour:          colour (type 1)\nframes:          2\ntrailing bytes:  50000 (a "
                        "partial frame, never read)\naspect:          4:3\ntimecode:        00:00:00:00 to "
                        "00:00:00:01\nrecorded:        1970-01-01 00:00:00\naudio:           none\n",
                    ""}));
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
  const auto on_terminal = [&](const std::string &options) {
    const std::string command =
        OZMIRA_EXPORT " -o " + out.path + " " + options + " " + clip_path("pal420.dv");
    return run({"/usr/bin/script", "-qec", command, "/dev/null"}).out;
  };
  // 50 full frames, slow enough for the time left to show.
  const std::string shown = on_terminal(""), empty = "\r[" + std::string(40, '-') + "] 0/";
  EXPECT_TRUE(shown.starts_with(empty + "50 frames   \r") && shown.ends_with("left   \r\n"));
  for (size_t done = 1, at = shown.find('\r', 1); done <= 50; ++done, at = shown.find('\r', at + 1)) {
    const std::string bar = "\r[" + std::string(done * 4 / 5, '#') + std::string(40 - done * 4 / 5, '-') +
                            "] " + std::to_string(done) + "/50 frames, ";
    double rate = 0, left = 50 - double(done);
    int minutes = -1, seconds = -1;
    EXPECT_TRUE(shown.compare(at, bar.size(), bar) == 0 &&
                std::sscanf(&shown[at + bar.size()], "%lf frames/s, %d:%d left", &rate, &minutes, &seconds) ==
                    3 &&
                minutes * 60 + seconds + 0.5 >= left / (rate + 0.05) &&
                minutes * 60 + seconds - 0.5 <= left / std::max(rate - 0.05, 0.01))
        << shown.substr(at, 80);
  }
  EXPECT_EQ(on_terminal("-p thumb -f 0-8") + on_terminal("-p thumb -q -f 0-9"), "");
  EXPECT_TRUE(on_terminal("-p thumb -f 0-9").starts_with(empty + "10 frames"));
}
TEST(Export, NoTemporaryFileOutlivesAFailedWriteOrAnInterrupt) {
  TempDir out;
  const std::string pal = clip_path("pal420.dv");
  write_file(out / image(0), {'o', 'l', 'd'});
  // Writing past 32 KiB (a full PNG is 100 KB) fails with a message.
  EXPECT_EQ(
      run({"/bin/bash", "-c", "ulimit -f 32; exec \"$@\"", "-", OZMIRA_EXPORT, "-f0", "-o", out.path, pal}),
      (Output{1, "", says("frame 0: cannot write '" + out / image(0) + "': File too large")}));
  EXPECT_TRUE(out.names() == std::set{image(0)} && read_file(out / image(0)) == (Bytes{'o', 'l', 'd'}));
  // Ended by a signal, with unnamed or (preloaded) named temporary files: only whole images are left.
  const std::string stop =
      "set -m; \"$1\" -o \"$2\" -a \"$2/s.wav\" -f \"$5\" \"$3\" & until compgen -G \"$2/frame-*\" "
      ">/dev/null; do :; done; ls -A \"$2\"; kill -$4 $!; wait $!";
  std::string frames = "0-49";
  for (int i = 1; i < 2000; ++i) frames += ",0-49";
  const std::pair<std::string, int> ends[] = {{"", SIGTERM},
                                              {"", SIGKILL},
                                              {OZMIRA_NO_TMPFILE, SIGQUIT},
                                              {OZMIRA_NO_TMPFILE, SIGPIPE},
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
// A PNG's pHYs chunk: its pixel aspect ("" without one).
std::string aspect_of(const std::string &path) {
  const Bytes png = read_file(path);
  const auto at = std::search(png.begin(), png.end(), "pHYs", "pHYs" + 4);
  return at + 13 > png.end() ? "" : std::string(at, at + 13);
}

// Clips made with known details (clips/make_clips.sh) as --info and --recordings report them; the PNGs' pixel
// aspect is FFmpeg's.
TEST(Export, RecordingDetailsAreThoseTheClipsWereMadeWith) {
  const std::tuple<const char *, std::string, std::string, std::string, int, int> clips[] = {
      {"meta169.dv", "16:9", "2031-03-04", "05:06:07", 48000, ((10 * 60 + 20) * 60 + 30) * 25 + 12},
      {"meta43.dv", "4:3", "1999-12-31", "23:59:58", 32000, ((23 * 60 + 59) * 60 + 58) * 25 + 20}};
  std::string recordings;
  TempDir dir;
  for (const auto &[clip, aspect, date, time, rate, start] : clips) {
    const auto timecode = [&](int n) {
      const int f = start + n;
      char text[32];
      std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", f / 90000, f / 1500 % 60, f / 25 % 60, f % 25);
      return std::string(text);
    };
    const std::string path = clip_path(clip),
                      dated = "\",\"recorded_date\":\"" + date + "\",\"recorded_time\":\"" + time;
    EXPECT_TRUE(tool({"-i", "-j", path})
                    .out.ends_with(",\"aspect\":\"" + aspect + "\",\"timecode\":\"" + timecode(0) + dated +
                                   "\",\"audio\":{\"rate\":" + std::to_string(rate) +
                                   ",\"channels\":2,\"quantisation\":16},\"last_timecode\":\"" +
                                   timecode(24) + "\"}\n"));
    const int first = recordings.empty() ? 0 : 25;
    recordings +=
        "{\"recording\":" + std::to_string(first / 25 + 1) + ",\"first_frame\":" + std::to_string(first) +
        ",\"last_frame\":" + std::to_string(first + 24) + ",\"timecode_in\":\"" + timecode(0) +
        "\",\"timecode_out\":\"" + timecode(24) + dated + "\",\"frames\":25,\"damaged_frames\":0}\n";
    for (const std::string kind : {"full", "thumb"}) {
      EXPECT_EQ(tool({"-p", kind, "-f", "7", "-n", kind, "-o", dir.path, path}), Output{});
      run({"/usr/bin/ffmpeg", "-v", "error", "-y", "-i", path, "-vf",
           "select=eq(n\\,7)," + std::string(kind == "full" ? "null" : "scale=92:72"), "-frames:v", "1",
           dir / "ff.png"});
      const std::string ours = aspect_of(dir / image(7, kind));
      EXPECT_TRUE(ours == aspect_of(dir / "ff.png") && !ours.empty()) << clip << " " << kind << ": " << ours;
    }
    write_file(dir / "two.dv", frames(clip, 0, 25), true);
  }
  // Joined, the clips are two recordings (the date jumps back); chosen alone, one keeps its number.
  const std::string two = dir / "two.dv";
  EXPECT_EQ(tool({"--recordings", "-j", two}), (Output{0, recordings, ""}));
  EXPECT_EQ(tool({"--recordings", "-j", "-r", "2", two}).out, recordings.substr(recordings.find("\n{") + 1));
  // --split: a file a recording, named by number, date and time; joined, the input.
  const std::string first = "/recording-001-2031-03-04-05_06_07.dv",
                    second = "/recording-002-1999-12-31-23_59_58.dv";
  EXPECT_EQ(tool({"--split", dir / "parts", two}), Output{});
  EXPECT_EQ(read_file(dir / "parts" + first).size(), 25 * kPalFrameBytes);
  write_file(dir / "parts" + first, read_file(dir / "parts" + second), true);
  EXPECT_TRUE(read_file(dir / "parts" + first) == read_file(two));
  // Frames 8-9 by timecode and recording 2.
  EXPECT_EQ(tool({"-f", "10:20:30:20-10:20:30:21", "-r", "2", "--split", dir / "some", two}), Output{});
  write_file(dir / "some" + first, read_file(dir / "some" + second), true);
  write_file(dir / "expected.dv", frames("meta169.dv", 8, 2));
  write_file(dir / "expected.dv", frames("meta43.dv", 0, 25), true);
  EXPECT_TRUE(read_file(dir / "some" + first) == read_file(dir / "expected.dv"));
  // A recording chosen again after another's frames would replace its file.
  const std::string again =
      "recording 1 comes again after another's frames: --split writes each recording "
      "once, from frames chosen in file order";
  EXPECT_EQ(tool({"-f", "0,30,1", "--split", dir / "again", two}), (Output{1, "", says(again)}));
  EXPECT_EQ(read_file(dir / "again" + first).size(), kPalFrameBytes);
}

// --audio: libdv's decode of the chosen frames in order, every channel (a 12-bit frame has four), a frame of
// silence for one without; no file when none has sound.
// Frames read ahead come in the chosen order, each with its own bytes, until one the file no longer holds:
// it was cut short after it was opened.
TEST(Export, FramesReadAheadInOrderUntilTheFileEnds) {
  TempDir dir;
  const Bytes clip = frames("sound48000.dv", 0, 10);
  write_file(dir / "cut.dv", clip);
  std::string error;
  const auto source = frame_export::DvSource::open(dir / "cut.dv", false, error);
  ASSERT_TRUE(source) << error;
  frame_export::FrameSelection selection;
  ASSERT_TRUE(frame_export::parse_frame_list("2-7,0,8,1", selection, error)) << error;
  std::filesystem::resize_file(dir / "cut.dv", 8 * kPalFrameBytes + 100);  // frames 0 to 7
  frame_export::FrameReader reader(*source, frame_export::ChosenFrames(selection, 10));
  std::vector<int> read;
  int frame = -1;
  const uint8_t *block = nullptr;
  while (reader.next(frame, block, error)) {
    EXPECT_EQ(std::memcmp(block, &clip[frame * kPalFrameBytes], kPalFrameBytes), 0) << frame;
    read.push_back(frame);
  }
  EXPECT_EQ(read, (std::vector<int>{2, 3, 4, 5, 6, 7, 0}));
  EXPECT_EQ(frame, 8);
  EXPECT_EQ(error, frame_export::kCannotReadWhole);
}
// Where no thread can be made, the facts of every frame are the same, read and decoded on the main thread.
TEST(Export, FactsOfEveryFrameWithoutThreads) {
  TempDir dir;
  write_file(dir / "mixed.dv", frames("sound48000.dv", 0, 6));
  write_file(dir / "mixed.dv", damaged_middle(), true);
  const Output threads = run({OZMIRA_EXPORT, "--frame-info", "--json", dir / "mixed.dv"});
  const Output none = run({OZMIRA_EXPORT, "--frame-info", "--json", dir / "mixed.dv"},
                          {"LD_PRELOAD=" OZMIRA_NO_THREADS, "ASAN_OPTIONS=verify_asan_link_order=0"});
  EXPECT_EQ(none.status, threads.status) << none.err;
  EXPECT_EQ(none.out, threads.out);
  EXPECT_NE(threads.out.find("\"damaged_segments\":12"), std::string::npos) << threads.out;
}
TEST(Export, AudioIsLibdvsDecodeOfTheChosenFramesInOrder) {
  TempDir dir;
  const std::string mixed = dir / "mixed.dv", wav = dir / "sound.wav";
  Bytes twelve = frames("sound32000.dv", 0, 2);  // 12-bit
  for (size_t sequence = 0; sequence < twelve.size(); sequence += 12000)
    for (size_t pack = sequence + 6 * 80 + 3; pack < sequence + 12000; pack += 16 * 80)
      if (twelve[pack] == 0x50) twelve[pack + 4] = (twelve[pack + 4] & 0xf8) | 1;
  // 4 has no sound, 5 is 48 kHz, 6 a dropout
  for (const Bytes &f : {frames("meta43.dv", 0, 4), frames("pal420.dv"), frames("sound48000.dv"),
                         Bytes(kPalFrameBytes, 0), twelve})
    write_file(mixed, f, true);
  const Bytes all = read_file(mixed);
  const std::string silent = "warning: 2 of the chosen frames hold no audio that can be decoded; '" + wav +
                             "' has silence in their place";
  const std::tuple<std::vector<int>, std::string, int, Output> cases[] = {
      {{4, 3, 4, 6, 1},
       "4,3-4,6,1",
       2,
       {3, "",
        says("frame 6: dropout; skipped") + says(silent) +
            says("done; 1 of 5 chosen frames did not decode (skipped)")}},
      {{8, 4, 7, 4}, "8,4,7,4", 4, {0, "", says(silent)}}};
  dvinit();
  for (const auto &[chosen, list, channels, said] : cases) {
    EXPECT_EQ(tool({"-p", "none", "-f", list, "-a", wav, mixed}), said);
    dv_decoder_t *dv = dv_decoder_new(0, 0, 0);
    dv_set_error_log(dv, nullptr);
    dv_set_mixing_level(dv, 16);  // both pairs as recorded
    Bytes pcm;
    for (int frame : chosen) {
      std::vector<int16_t> channel[4] = {std::vector<int16_t>(2000), std::vector<int16_t>(2000),
                                         std::vector<int16_t>(2000), std::vector<int16_t>(2000)};
      int16_t *out[4] = {channel[0].data(), channel[1].data(), channel[2].data(), channel[3].data()};
      const bool sound = frame != 4 && frame != 6;
      if (sound) {
        dv_parse_header(dv, &all[frame * kPalFrameBytes]);
        dv_decode_full_audio(dv, &all[frame * kPalFrameBytes], out);
      }
      for (int i = 0; i < (sound ? dv->audio->samples_this_frame : 32000 / 25); ++i)
        for (int c = 0; c < channels; ++c)
          pcm.insert(pcm.end(), {uint8_t(out[c][i]), uint8_t(out[c][i] >> 8)});
    }
    dv_decoder_free(dv);
    std::string header;  // the canonical PCM header
    for (const auto &[text, value, bytes] :
         std::vector<std::tuple<std::string, int, int>>{{"RIFF", int(pcm.size()) + 36, 4},
                                                        {"WAVEfmt ", 16, 4},
                                                        {"", 1, 2},
                                                        {"", channels, 2},
                                                        {"", 32000, 4},
                                                        {"", 32000 * channels * 2, 4},
                                                        {"", channels * 2, 2},
                                                        {"", 16, 2},
                                                        {"data", int(pcm.size()), 4}}) {
      header += text;
      for (int i = 0; i < bytes; ++i) header += char(value >> 8 * i);
    }
    pcm.insert(pcm.begin(), header.begin(), header.end());
    EXPECT_TRUE(read_file(wav) == pcm) << list;
  }
  const Bytes got = read_file(wav);
  EXPECT_EQ(tool({"-p", "none", "-a", wav, clip_path("pal420.dv")}),  // the old file stays
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

// Damage: STA-flagged video blocks by kind, frame 7's twelve bad segments, audio error samples per channel
// (sequences 0-5 carry the first), the timecode going backwards and repeated.
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
  write_file(dir / "d.dv", sound, true);
  const std::string out = tool({"--frame-info", "--threads", "2", "-f", "2,7,10-11", dir / "d.dv"}).out;
  EXPECT_NE(
      out.find("\nframe 2: 720 x 576, 4:2:0 (code 2), colour (type 1), 4:3, timecode 00:00:00:02, recorded"
               " 1970-01-01 00:00:00, audio none, 4 flagged blocks of 1620 (STA 1: 3, STA 7: 1), 0 damaged "
               "segments, 0 audio error samples\n"),
      std::string::npos)
      << out;
  EXPECT_NE(out.find(" 12 damaged segments, 0 audio error samples\nframe 10: "), std::string::npos) << out;
  EXPECT_NE(out.find(", 3 audio error samples, break: timecode backwards\nframe 11: "), std::string::npos);
  EXPECT_NE(out.find(", 3 audio error samples, break: timecode repeat\ndamage: 4 of 4 frames, 0 dropouts, 0 "
                     "headers that do not parse, "),
            std::string::npos);
  EXPECT_NE(out.find(" flagged blocks, 12 damaged segments, 6 audio error samples; 2 breaks\n"),
            std::string::npos);
  EXPECT_NE(tool({"--frame-info", "-j", "-f", "10", dir / "d.dv"})
                .out.find("\"audio_error_samples\":[2,1],\"break\":null}\n"),
            std::string::npos);
}

}  // namespace
}  // namespace ozmira::test
