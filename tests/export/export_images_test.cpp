// ozmira-export writing images, run as a process on the test clips: each
// picture kind against the decode it stands for (libdv's own for the packed
// RGB pictures, the frame decoder's for the extended ones) and its pixel
// aspect against FFmpeg's, the sound against libdv's decode, the frame
// choice, the progress bar, and nothing left by a failing write, an interrupt
// or a kill. Frames are read with dv_fseek64, whose 64-bit positions the dvlib
// tests check past 4 GiB.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

#include "clips.h"
#include "dvlib.h"
#include "frame_decoder.h"
#include "libdv_oracle.h"
#include "tool_run.h"

namespace ozmira::test {
namespace {

constexpr unsigned kQualityFull = 5, kQualityDc = 1;

std::string image_name(int frame, const std::string &prefix = "frame") {
  char number[16];
  std::snprintf(number, sizeof number, "%06d", frame);
  return prefix + "-" + number + ".png";
}

// What the PNG of `kind` should hold for a frame block: RGB or grey bytes.
PngPicture expected_picture(const std::string &kind, const uint8_t *block) {
  LibdvDecoder decoder;
  if (kind == "full" || kind == "dc") {
    return {kPalWidth, kPalHeight, 3, decoder.rgb(block, kind == "full" ? kQualityFull : kQualityDc)};
  }
  struct Layout {
    dv_color_space_t format;
    int width, height, bytes_per_pixel;
  };
  const Layout layout = kind == "half"    ? Layout{b_dv_color_hRGB, kPalWidth / 2, kPalHeight / 2, 4}
                        : kind == "thumb" ? Layout{b_dv_color_tRGB, 92, 72, 4}
                                          : Layout{b_dv_color_L, kPalWidth, kPalHeight, 1};
  const int row_bytes = layout.width * layout.bytes_per_pixel;
  std::vector<uint8_t> image(static_cast<size_t>(row_bytes) * layout.height);
  std::vector<uint8_t *> rows;
  for (int r = 0; r < layout.height; ++r) rows.push_back(image.data() + static_cast<size_t>(r) * row_bytes);
  decoder.parse(block);
  decoder.get()->quality = kQualityFull;
  int pitch = row_bytes;
  dv_decode_full_frame(decoder.get(), block, layout.format, rows.data(), &pitch);
  if (layout.bytes_per_pixel == 1) return {layout.width, layout.height, 1, image};
  PngPicture rgb{layout.width, layout.height, 3, {}};
  for (size_t i = 0; i < image.size(); i += 4) rgb.pixels.insert(rgb.pixels.end(), &image[i], &image[i + 3]);
  return rgb;
}

void expect_picture(const std::string &path, const PngPicture &expected) {
  const auto png = read_png(path);
  ASSERT_TRUE(png) << path << " is not a whole PNG";
  EXPECT_EQ(png->width, expected.width);
  EXPECT_EQ(png->height, expected.height);
  EXPECT_EQ(png->channels, expected.channels);
  EXPECT_TRUE(png->pixels == expected.pixels) << path << " differs from the library's picture";
}

class ExportImages : public testing::Test {
 protected:
  void SetUp() override { dvinit(); }  // the colour tables of the frame decoder
};

TEST_F(ExportImages, EachPictureIsTheLibrarysDecodeOfItsFrame) {
  const auto frames = clip_frames("pal420.dv");
  const std::pair<std::string, int> cases[] = {{"full", 0}, {"dc", 13}, {"half", 25}, {"thumb", 37}, {"luma", 49}};
  for (const auto &[kind, frame] : cases) {
    SCOPED_TRACE(kind);
    TempDir out;
    const ToolRun run = run_tool({"-p", kind, "-f", std::to_string(frame), "-o", out.path(), clip_path("pal420.dv")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");  // dvopen's lines are kept back, and no bar off a terminal
    EXPECT_EQ(out.names(), std::set<std::string>{image_name(frame)});
    expect_picture(out.file(image_name(frame)), expected_picture(kind, frames[frame].data()));
  }
  // 4:1:1 frames give the packed pictures only.
  TempDir out;
  EXPECT_EQ(run_tool({"-f", "3", "-o", out.path(), clip_path("pal411.dv")}).status, 0);
  expect_picture(out.file(image_name(3)), expected_picture("full", clip_frames("pal411.dv")[3].data()));
  const ToolRun half = run_tool({"-p", "half", "-n", "half", "-o", out.path(), clip_path("pal411.dv")});
  EXPECT_EQ(half.status, 1);
  EXPECT_NE(half.err.find("4:1:1"), std::string::npos) << half.err;
  EXPECT_EQ(out.names(), std::set<std::string>{image_name(3)});
}

TEST_F(ExportImages, FramesAreChosenByNumberRangeAndStep) {
  const std::pair<std::vector<std::string>, std::set<int>> cases[] = {
      {{"-f", "3,10-12"}, {3, 10, 11, 12}},
      {{"-f", "45-"}, {45, 46, 47, 48, 49}},
      {{"-e", "12"}, {0, 12, 24, 36, 48}},
      {{"-f", "5-20", "-e", "7"}, {5, 12, 19}},
      {{"-f", "30,2-3", "-f", "40-41", "-e", "2"}, {30, 3, 41}},  // -f twice: the lists add up
  };
  for (const auto &[options, frames] : cases) {
    TempDir out;
    std::vector<std::string> args = options;
    args.insert(args.end(), {"-p", "thumb", "-o", out.path(), clip_path("pal420.dv")});
    EXPECT_EQ(run_tool(args).status, 0);
    std::set<std::string> names;
    for (int frame : frames) names.insert(image_name(frame));
    EXPECT_EQ(out.names(), names) << testing::PrintToString(options);
  }
  // The image named after a frame holds that frame, not its neighbour.
  const auto blocks = clip_frames("pal420.dv");
  TempDir out;
  ASSERT_EQ(run_tool({"-p", "dc", "-f", "18-19", "-n", "clip", "-o", out.path(), clip_path("pal420.dv")}).status, 0);
  const PngPicture frame19 = expected_picture("dc", blocks[19].data());
  ASSERT_NE(frame19.pixels, expected_picture("dc", blocks[18].data()).pixels);
  expect_picture(out.file(image_name(19, "clip")), frame19);
}

TEST_F(ExportImages, AFrameThatCannotBeDecodedStopsTheRunAfterTheWholeImagesBeforeIt) {
  TempDir out;
  const std::string path = out.file("mixed.dv");
  for (const std::string clip : {"pal420.dv", "pal420.dv", "bad_header.dv", "pal420.dv"})
    write_file(path, clip_prefix(clip, 1), true);
  const ToolRun run = run_tool({"-p", "thumb", "-n", "mixed", "-o", out.path(), path});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("frame 2: its header does not parse"), std::string::npos) << run.err;
  EXPECT_EQ(out.names(), (std::set<std::string>{"mixed.dv", image_name(0, "mixed"), image_name(1, "mixed")}));
}

TEST_F(ExportImages, ProgressBarOnlyOnATerminalForManyFrames) {
  const std::string clip = clip_path("pal420.dv");
  TempDir out;
  const ToolRun bar = run_tool({"-o", out.path(), clip}, {.stderr_on_terminal = true});  // slow enough to take time
  EXPECT_EQ(bar.status, 0);
  EXPECT_NE(bar.err.find("\r["), std::string::npos) << bar.err;
  // Each redraw after the first gives the rate so far (to 0.1) and the time left at that rate.
  for (size_t done = 1, at = bar.err.find("\r[", 1); done <= 50; ++done, at = bar.err.find("\r[", at + 1)) {
    const std::string head = "] " + std::to_string(done) + "/50 frames, ";
    double rate = 0, left = 50 - double(done);
    int minutes = -1, seconds = -1;
    const size_t text = bar.err.find(head, at);
    EXPECT_TRUE(text != std::string::npos &&
                std::sscanf(&bar.err[text + head.size()], "%lf frames/s, %d:%d left", &rate, &minutes, &seconds) == 3 &&
                minutes * 60 + seconds + 0.5 >= left / (rate + 0.05) &&
                minutes * 60 + seconds - 0.5 <= left / std::max(rate - 0.05, 0.01)) << bar.err.substr(at, 80);
  }
  EXPECT_NE(bar.err.find(" left   \r\n"), std::string::npos) << bar.err;  // the terminal's line end
  EXPECT_EQ(run_tool({"-q", "-p", "thumb", "-o", out.path(), clip}, {.stderr_on_terminal = true}).err, "");
  EXPECT_EQ(run_tool({"-p", "thumb", "-f", "0-8", "-o", out.path(), clip}, {.stderr_on_terminal = true}).err, "");
  EXPECT_EQ(run_tool({"-p", "thumb", "-o", out.path(), clip}).err, "");
}

TEST_F(ExportImages, AFailedWriteLeavesNoImageAndKeepsTheOldOne) {
  TempDir out;
  std::ofstream(out.file(image_name(0))) << "the old image";
  // A full-size PNG of the clip is over 100 kB; writes past 32 kB fail.
  const ToolRun run = run_tool({"-f", "0", "-o", out.path(), clip_path("pal420.dv")}, {.file_size_limit = 32768});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("File too large"), std::string::npos) << run.err;
  EXPECT_EQ(out.names(), std::set<std::string>{image_name(0)});  // no temporary file either
  std::ifstream old(out.file(image_name(0)));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "the old image");
}

TEST_F(ExportImages, AnInterruptOrAKillLeavesOnlyWholeImages) {
  for (int signal : {SIGTERM, SIGKILL}) {
    TempDir out;
    const pid_t pid = start_tool({"-o", out.path(), "-a", out.file("s.wav"), clip_path("pal420.dv")});
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (out.names().size() < 3 && std::chrono::steady_clock::now() < give_up)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    kill(pid, signal);
    const ToolRun run = wait_tool(pid);
    EXPECT_TRUE(run.signal == signal || run.status == 1);  // 1: done, and the clip has no sound
    for (const std::string &name : out.names()) {
      EXPECT_NE(name[0], '.') << "temporary file left: " << name;
      EXPECT_TRUE(read_png(out.file(name))) << name << " is not a whole PNG";
    }
  }
}

// The pixel aspect ratio of a PNG, as its pHYs chunk gives it ("" without one).
std::string aspect_of(const std::string &path) {
  const std::vector<uint8_t> png = read_file(path);
  const char *id = "pHYs";
  const size_t at = std::search(png.begin(), png.end(), id, id + 4) - png.begin() + 4;
  const auto word = [&](size_t i) {
    return std::to_string(png[i] << 24 | png[i + 1] << 16 | png[i + 2] << 8 | png[i + 3]);
  };
  return at + 9 > png.size() ? "" : word(at) + ":" + word(at + 4);
}

// The PNGs' pixel aspect is FFmpeg's for the same frame, at full size and
// scaled to the half picture's and the thumbnail's size; a legal final name
// works whatever its length.
TEST_F(ExportImages, PixelAspectIsFfmpegsAndLongNamesWork) {
  for (const std::string clip : {"meta169.dv", "meta43.dv"}) {
    TempDir out;
    for (const std::string kind : {"full", "thumb", "half"}) {
      const std::string name(255 - image_name(7, "").size(), kind[0]);  // the longest legal name
      EXPECT_EQ(run_tool({"-p", kind, "-f", "7", "-n", name, "-o", out.path(), clip_path(clip)}).status, 0);
      const std::string scale = "select=eq(n\\,7)," + std::string(kind == "full"   ? "null"
                                                                  : kind == "half" ? "scale=360:288"
                                                                                   : "scale=92:72");
      const pid_t ffmpeg = fork();
      if (ffmpeg == 0)
        execlp("ffmpeg", "ffmpeg", "-v", "error", "-y", "-i", clip_path(clip).c_str(), "-vf", scale.c_str(), "-frames:v",
               "1", out.file("ff.png").c_str(), static_cast<char *>(nullptr)), _exit(127);
      wait_tool(ffmpeg);
      const std::string ours = aspect_of(out.file(image_name(7, name)));
      EXPECT_TRUE(ours == aspect_of(out.file("ff.png")) && !ours.empty()) << clip << " " << kind << ": " << ours;
    }
  }
}

// --audio: the sound of the chosen frames in their order, as libdv decodes it;
// a frame's length of silence for a frame without; no file, and the old one
// kept, when no frame has sound.
TEST_F(ExportImages, AudioIsLibdvsDecodeOfTheChosenFramesInOrder) {
  TempDir dir;
  const std::string mixed = dir.file("mixed.dv"), wav = dir.file("sound.wav");
  write_file(mixed, clip_prefix("meta43.dv", 4)), write_file(mixed, clip_prefix("pal420.dv", 1), true);  // 4: silent
  const auto frames = clip_frames("meta43.dv");
  LibdvDecoder decoder;
  std::vector<uint8_t> pcm;
  for (int frame : {3, 4, 1}) {
    std::vector<int16_t> channel[4] = {std::vector<int16_t>(2000), std::vector<int16_t>(2000), {}, {}};
    int16_t *out[4] = {channel[0].data(), channel[1].data(), channel[2].data(), channel[3].data()};
    if (frame != 4) decoder.parse(frames[frame].data()), dv_decode_full_audio(decoder.get(), frames[frame].data(), out);
    for (int i = 0; i < (frame == 4 ? 32000 / 25 : decoder.get()->audio->samples_this_frame); ++i)  // 4: zeros
      for (int16_t sample : {out[0][i], out[1][i]}) pcm.insert(pcm.end(), {uint8_t(sample), uint8_t(sample >> 8)});
  }
  const ToolRun run = run_tool({"-p", "none", "-f", "3-4,1", "-a", wav, mixed});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "ozmira-export: warning: 1 of the chosen frames hold no audio that can be decoded; '" + wav +
                         "' has silence in their place\n");
  const std::vector<uint8_t> got = read_file(wav);
  const auto field = [&](size_t at, int bytes) {  // little-endian
    return bytes == 2 ? got[at] | got[at + 1] << 8 : got[at] | got[at + 1] << 8 | got[at + 2] << 16 | got[at + 3] << 24;
  };
  ASSERT_GE(got.size(), 44u);
  EXPECT_TRUE(field(20, 2) == 1 && field(22, 2) == 2 && field(24, 4) == 32000 && field(34, 2) == 16 &&
              field(40, 4) == int(pcm.size()) && field(4, 4) == int(pcm.size()) + 36);
  EXPECT_TRUE(std::vector<uint8_t>(got.begin() + 44, got.end()) == pcm);
  const ToolRun none = run_tool({"-p", "none", "-a", wav, clip_path("pal420.dv")});
  EXPECT_EQ(none.err, "ozmira-export: --audio: none of the chosen frames holds audio that can be decoded; '" + wav +
                          "' was not written\n");
  EXPECT_TRUE(none.status == 1 && read_file(wav) == got);
  EXPECT_EQ(dir.names(), (std::set<std::string>{"mixed.dv", "sound.wav"}));
}

}  // namespace
}  // namespace ozmira::test
