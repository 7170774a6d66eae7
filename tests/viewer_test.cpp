// The viewer: its playback rules and title without a window, its file access,
// its cycle in process under SDL's dummy video driver (the pixels shown, keys,
// F1, damaged frames, a flat heap, the loop's end), and as a process its
// refusals before any window. tests/window_test.sh shows it in a real window.
#include <sys/stat.h>

#include <climits>

#include "dvlib.h"
#include "frame_file.h"
#include "player.h"
#include "playback_state.h"
#include "test_support.h"
#include "window_title.h"

namespace ozmira::test {
namespace {

using namespace ozmira::viewer;

PlaybackEvent key(int symbol) { return {EventKind::KeyPress, symbol}; }

TEST(Playback, TheKeyTable) {
  const PlaybackEvent quit{EventKind::Quit, 0}, other{EventKind::Other, 0};
  const int big = 1 << 29, most = 1 << 30;
  const struct { PlaybackEvent event; int step, step_after, frame_after, running, nodecode; } rows[] = {
      {key(key::kRight), 0, 1, 40, 1, 0},      {key(key::kRight), -4, 4, 40, 1, 0},   {key(key::kRight), 3, 3, 40, 1, 0},
      {key(key::kLeft), 0, -1, 40, 1, 0},      {key(key::kLeft), 4, -4, 40, 1, 0},    {key(key::kLeft), -3, -3, 40, 1, 0},
      {key(key::kSpace), 6, 0, 40, 1, 0},      {key(key::kReturn), -8, 1, 40, 1, 0},  {key(key::kReturn), 0, 1, 40, 1, 0},
      {key(key::kUp), 5, 10, 40, 1, 0},        {key(key::kUp), -3, -1, 40, 1, 0},     {key(key::kUp), 0, 1, 40, 1, 0},
      {key(key::kUp), -1, 0, 40, 1, 0},        {key(key::kUp), big + 1, most, 40, 1, 0}, {key(key::kUp), most, most, 40, 1, 0},
      {key(key::kUp), -most, -big, 40, 1, 0},  {key(key::kDown), 5, 2, 40, 1, 0},     {key(key::kDown), -4, -8, 40, 1, 0},
      {key(key::kDown), 0, -1, 40, 1, 0},      {key(key::kDown), 1, 0, 40, 1, 0},     {key(key::kDown), -big - 1, -most, 40, 1, 0},
      {key(key::kDown), -most, -most, 40, 1, 0}, {key(key::kPageUp), 3, 0, 41, 1, 0}, {key(key::kPageDown), -2, 0, 39, 1, 0},
      {key(key::kHome), 5, 0, 0, 1, 0},        {key(key::kEnd), 5, 0, 99, 1, 0},      {key(key::kF1), 7, 7, 40, 1, 1},
      {key(key::kQ), 2, 2, 40, 0, 0},          {key(key::kEscape), 2, 2, 40, 0, 0},   {quit, 2, 2, 40, 0, 0},
      {key('a'), 5, 5, 40, 1, 0},              {other, 5, 5, 40, 1, 0}};
  for (const auto &row : rows) {
    PlaybackState state{100, 40, -1, row.step, 0, 1};
    ApplyEvent(state, row.event);
    EXPECT_TRUE(state.step == row.step_after && state.frameno == row.frame_after && state.running == row.running &&
                state.nodecode == row.nodecode)
        << "key " << row.event.key << " at step " << row.step << ": step " << state.step << " frame " << state.frameno;
  }
  PlaybackState state{100, 40, -1, 1, 0, 1};
  ApplyEvent(state, key(key::kF1)), ApplyEvent(state, key(key::kF1));
  EXPECT_EQ(state.nodecode, 0);
}

// Cycles as the loop runs them: the frame each shows, or -1 when it only waits.
TEST(Playback, CyclesWrapAtBothEndsWithoutModuloAndAnEventReplacesTheAdvance) {
  const std::optional<PlaybackEvent> none;
  const struct { int nframes, frameno, step; std::vector<std::optional<PlaybackEvent>> events; std::vector<int> shown; } cases[] = {
      {100, 96, 8, {none, none}, {96, 0}},  // 104 is past the end: frame 0, not 4
      {100, 3, -8, {none, none}, {3, 99}},  // -5 is before the start: the last frame, not 95
      {INT_MAX, INT_MAX - 1, 1 << 30, {none, none}, {INT_MAX - 1, 0}},
      {1, 0, 5, {none, none, key(key::kEnd), none}, {0, -1, -1, -1}},
      {10, 0, 10, {none, none}, {0, -1}},
      {100, 99, 1,
       {key(key::kPageUp), none, key(key::kPageDown), none, key(key::kHome), none, key(key::kEnd), none, none},
       {99, 0, -1, 99, -1, 0, -1, 99, -1}},
      {100, 10, 3, {none, PlaybackEvent{}, key('x'), none, none}, {10, 13, -1, -1, 16}}};
  for (const auto &c : cases) {
    PlaybackState state{c.nframes, c.frameno, -1, c.step, 0, 1};
    std::vector<int> shown;
    for (const auto &event : c.events) {
      BringIntoRange(state);
      shown.push_back(FrameChanged(state) ? state.frameno : -1);
      EndCycle(state, event);
    }
    EXPECT_EQ(shown, c.shown) << c.nframes << " frames from " << c.frameno << " by " << c.step;
  }
}

TEST(WindowTitle, CutToItsBufferNeverInsideACharacter) {
  struct {
    char title[kTitleBytes];
    char after[16];
  } buffer;
  std::memset(buffer.after, 'G', sizeof buffer.after);
  const std::string room(kTitleBytes - 8, 'x');  // all that fits after "Ozmira "
  for (const std::string &path : {room, room + "yz"}) {
    FormatTitle(buffer.title, path.c_str());
    EXPECT_EQ(buffer.title, "Ozmira " + room);
    EXPECT_EQ(std::string(buffer.after, 16), std::string(16, 'G'));
  }
  for (const std::string character : {"\xC3\xA9", "\xE2\x82\xAC"})
    for (size_t shift = 0; shift < 4; ++shift) {
      std::string path(kTitleBytes - 10 + shift, 'x');
      for (int i = 0; i < 10; ++i) path += character;
      FormatTitle(buffer.title, path.c_str());
      const std::string cut = buffer.title, whole = "Ozmira " + path;
      EXPECT_GT(cut.size(), kTitleBytes - 1 - character.size());
      EXPECT_EQ(cut, whole.substr(0, cut.size()));
      EXPECT_NE(whole[cut.size()] & 0xC0, 0x80) << "a character split at shift " << shift;
    }
}

TEST(FrameFile, OnlyFilesWithFramesOpenAndFramesAreFoundWith64BitPositions) {
  TempDir dir;
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  OpenFailure failure;
  for (auto [path, why] : {std::pair{dir / "missing", OpenFailure::kCannotOpen}, {dir.path, OpenFailure::kNotAFile},
                           {std::string("/dev/null"), OpenFailure::kNotAFile}, {dir / "pipe", OpenFailure::kNotAFile}}) {
    EXPECT_EQ(OpenFrameFile(path.c_str(), failure), nullptr);
    EXPECT_EQ(failure, why) << path;
  }
  const Bytes pal = frames("pal420.dv", 0, 2);
  const int last = int((1LL << 32) / kPalFrameBytes) + 1;
  const int fd = open((dir / "large").c_str(), O_CREAT | O_WRONLY, 0600);
  const bool written = pwrite(fd, pal.data(), 2 * kPalFrameBytes, off_t(last) * 144000 - off_t(kPalFrameBytes)) > 0 &&
                       pwrite(fd, pal.data(), 70000, off_t(last + 1) * 144000) == 70000;
  close(fd);
  if (!written) GTEST_SKIP() << "no sparse file past 4 GiB here";
  std::FILE *file = OpenFrameFile((dir / "large").c_str(), failure);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(failure, OpenFailure::kNone);
  EXPECT_EQ(CountWholeFrames(file), last + 1);
  EXPECT_EQ(ftello(file), 0);
  Bytes frame(kPalFrameBytes, 0x5a);
  EXPECT_EQ(ReadFrame(file, last, frame.data()), kPalFrameBytes);
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), &pal[kPalFrameBytes]));
  EXPECT_EQ(ReadFrame(file, last + 1, frame.data()), 70000u);  // bytes not read keep what they held
  EXPECT_TRUE(std::equal(frame.begin(), frame.begin() + 70000, pal.begin()) &&
              std::equal(frame.begin() + 70000, frame.end(), &pal[kPalFrameBytes + 70000]));
  std::fclose(file);
}

// The screen's pixels as packed RGB.
Bytes screen_rgb() {
  Bytes rgb;
  for (int y = 0; y < 576; ++y)
    for (int x = 0; x < 720; ++x) {
      Uint32 pixel;
      std::memcpy(&pixel, static_cast<uint8_t *>(screen->pixels) + y * screen->pitch + 4 * x, 4);
      uint8_t c[3];
      SDL_GetRGB(pixel, screen->format, &c[0], &c[1], &c[2]);
      rgb.insert(rgb.end(), c, c + 3);
    }
  return rgb;
}

TEST(Player, CyclesShowWhatTheKeysAskForKeepTheHeapFlatAndEndOnAQuitRequest) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  TempDir dir;
  const Bytes middle = damaged_middle();
  write_file(dir / "middle.dv", middle);
  StartUp((dir / "middle.dv").c_str());
  char *title = nullptr, *icon = nullptr;
  SDL_WM_GetCaption(&title, &icon);
  EXPECT_EQ(std::string(title) + "|" + icon, "Ozmira " + dir / "middle.dv" + "|testwin");
  ASSERT_EQ(screen->format->BytesPerPixel, 4);
  dvinit();
  std::vector<Bytes> pictures(10, Bytes(720 * 576 * 3));
  for (int f = 0; f < 10; ++f) capture([&] { dvreadblock(&middle[f * kPalFrameBytes], pictures[f].data(), 2, 0); });
  pictures[4] = pictures[5];  // frame 4's header does not parse: played backwards, frame 5's picture stays
  OpenFailure failure;
  std::FILE *file = OpenFrameFile((dir / "middle.dv").c_str(), failure);
  PlaybackState state;
  state.nframes = CountWholeFrames(file);
  static unsigned char framebuf[kPalFrameBytes];
  Bytes rgbbuf(720 * 576 * 3);
  SDL_Event event{};
  while (SDL_PollEvent(&event)) {}
  const auto cycle = [&](int symbol) {
    event = {};
    event.type = symbol == 0 ? SDL_ACTIVEEVENT : SDL_KEYDOWN;
    event.key.keysym.sym = SDLKey(symbol);
    if (symbol >= 0) SDL_PushEvent(&event);
    return capture([&] { RunCycle(state, file, framebuf, rgbbuf.data()); }).err;
  };
  const int none = -1, other = 0;
  const std::string unparsed = "(dvreadblock:dvlib): dv_parse_header failed - erm?\n";
  const struct { int key, picture; } steps[] = {
      {key::kSpace, 0}, {key::kPageUp, 0}, {key::kF1, 1},   {key::kPageUp, 1}, {key::kF1, 1},  // decoding suspended: 2 not drawn
      {key::kEnd, 1},   {key::kPageUp, 9}, {key::kLeft, 0}, {none, 0},         {none, 9},      {other, 8},
      {none, 8},        {none, 7},         {none, 6},       {none, 5},         {none, 4},      {key::kQ, 3}};
  for (size_t i = 0; i < std::size(steps); ++i) {
    const std::string err = cycle(steps[i].key);
    EXPECT_EQ(err, i == 15 ? unparsed : "") << "step " << i;
    EXPECT_TRUE(screen_rgb() == pictures[steps[i].picture]) << "step " << i << ": not frame " << steps[i].picture;
  }
  EXPECT_EQ(state.running, 0);
  state = {10, 0, -1, 1, 0, 1};
  for (int i = 0; i < 100; ++i) cycle(none);
  const size_t before = heap_in_use();
  for (int i = 0; i < 1000; ++i) cycle(i % 10 == 0 ? key::kRight : none);
  EXPECT_LE(heap_in_use(), before + 16384);
  event = {};
  event.type = SDL_QUIT;
  SDL_PushEvent(&event);
  capture([&] { PlayLoop(file, 10, framebuf, rgbbuf.data()); });  // returns at once
  std::fclose(file);
}

// Refusals come before any window: with no display, reaching SDL would add SDL's own complaint.
TEST(ViewerProcess, RefusalsBeforeAnyWindow) {
  TempDir dir;
  const std::string pal = clip_path("pal420.dv"), not_pal = "Not a PAL format video\n", usage = "Usage:  ozmira <dv file>\n";
  const Bytes middle = damaged_middle();
  write_file(dir / "short", Bytes(middle.begin(), middle.begin() + 100000));
  write_file(dir / "empty", {});
  write_file(dir / "random", Bytes(middle.begin() + 4 * kPalFrameBytes, middle.begin() + 5 * kPalFrameBytes));
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  const struct { std::vector<std::string> args; Output want; } cases[] = {
      {{}, {1, "", usage}}, {{pal, pal}, {1, "", usage}}, {{dir / "missing"}, {1, dir / "missing" + " not found\n", ""}},
      {{clip_path("ntsc.dv")}, {1, not_pal, ""}}, {{dir / "short"}, {1, not_pal, ""}}, {{dir / "empty"}, {1, not_pal, ""}},
      {{dir / "random"}, {1, not_pal, ""}},        {{dir.path}, {1, not_pal, ""}},        {{"/dev/null"}, {1, not_pal, ""}},
      {{dir / "pipe"}, {1, not_pal, ""}}};
  for (const auto &c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), OZMIRA_VIEWER);
    EXPECT_EQ(run(args, {{"DISPLAY", "SDL_VIDEODRIVER=x11"}}), c.want) << args.back();
  }
  if (std::string(OZMIRA_INJECT).empty()) return;  // sanitizer builds
  const std::string preload = "LD_PRELOAD=" OZMIRA_INJECT;
  EXPECT_EQ(run({OZMIRA_VIEWER, pal}, {{preload, "OZMIRA_FAIL=buffer"}}),
            (Output{1, "", "Couldn't allocate the picture buffer (1244160 bytes)\n"}));
  EXPECT_EQ(run({OZMIRA_VIEWER, pal}, {{preload, "SDL_VIDEODRIVER=dummy"}}),
            (Output{1, "", "Couldn't make a surface over the picture: injected failure\n"}));
}

}  // namespace
}  // namespace ozmira::test
