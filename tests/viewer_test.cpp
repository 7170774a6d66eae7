// The viewer: its playback rules and title without a window, its frames found with 64-bit positions, its
// cycle under SDL's dummy video driver (the pixels shown, keys, F1, damaged frames and frames of another
// size, a flat heap, no mouse events, signals, the ends of the loop), and as a process its refusals before
// any window, its sound (SDL's disk driver) and pace, what it says without sound, and its ends on SIGINT and
// SIGTERM.
#include <dlfcn.h>
#include <climits>
#include <tuple>
#include "dvlib.h"
#include "frame_file.h"
#include "player.h"
#include "test_support.h"
#include "window_title.h"

// SDL's own, unless a test asks it to fail.
static bool fail_surface = false;
extern "C" SDL_Surface *SDL_CreateRGBSurfaceFrom(void *p, int w, int h, int d, int pitch, Uint32 r, Uint32 g,
                                                 Uint32 b, Uint32 a) {
  using Make = decltype(&SDL_CreateRGBSurfaceFrom);
  static const auto sdl = reinterpret_cast<Make>(dlsym(RTLD_NEXT, "SDL_CreateRGBSurfaceFrom"));
  return fail_surface ? SDL_SetError("injected failure"), nullptr : sdl(p, w, h, d, pitch, r, g, b, a);
}

namespace ozmira::test {
namespace {

using namespace ozmira::viewer;
using namespace ozmira::viewer::key;
PlaybackEvent press(int symbol) { return {EventKind::KeyPress, symbol}; }
TEST(Playback, TheKeyTable) {
  const int big = 1 << 29, most = 1 << 30, frame = 40;  // frame 40 of 100
  const struct {
    PlaybackEvent event;
    int step, step_after, frame_after = frame, running = 1, nodecode = 0;
  } rows[] = {{press(kRight), 0, 1},
              {press(kRight), -4, 4},
              {press(kRight), 3, 3},
              {press(kLeft), 0, -1},
              {press(kLeft), 4, -4},
              {press(kLeft), -3, -3},
              {press(kSpace), 6, 0},
              {press(kReturn), -8, 1},
              {press(kReturn), 0, 1},
              {press(kUp), 5, 10},
              {press(kUp), -3, -1},
              {press(kUp), 0, 1},
              {press(kUp), -1, 0},
              {press(kUp), big + 1, most},
              {press(kUp), most, most},
              {press(kUp), -most, -big},
              {press(kDown), 5, 2},
              {press(kDown), -4, -8},
              {press(kDown), 0, -1},
              {press(kDown), 1, 0},
              {press(kDown), -big - 1, -most},
              {press(kDown), -most, -most},
              {press(kPageUp), 3, 0, 41},
              {press(kPageDown), -2, 0, 39},
              {press(kHome), 5, 0, 0},
              {press(kEnd), 5, 0, 99},
              {press(kF1), 7, 7, frame, 1, 1},
              {press(kQ), 2, 2, frame, 0},
              {press(kEscape), 2, 2, frame, 0},
              {{EventKind::Quit, 0}, 2, 2, frame, 0},
              {press('a'), 5, 5},
              {{EventKind::Other, 0}, 5, 5}};
  for (const auto &row : rows) {
    PlaybackState state{100, frame, -1, row.step, 0, 1};
    ApplyEvent(state, row.event);
    EXPECT_TRUE(state.step == row.step_after && state.frameno == row.frame_after &&
                state.running == row.running && state.nodecode == row.nodecode)
        << "key " << row.event.key << " at step " << row.step << ": step " << state.step << ", frame "
        << state.frameno;
  }
  PlaybackState state{100, frame, -1, 1, 1, 1};
  ApplyEvent(state, press(kF1));
  EXPECT_EQ(state.nodecode, 0);
}
TEST(Playback, SoundOnlyForwardsAtStep1WithDecodingOnAndFramesWaitOut40MsOnAWrappingClock) {
  for (const auto &[step, nodecode, sound] :
       {std::tuple{1, 0, true}, {2, 0, false}, {-1, 0, false}, {0, 0, false}, {1, 1, false}})
    EXPECT_EQ(PlaysSound(PlaybackState{100, 40, -1, step, nodecode, 1}), sound)
        << "step " << step << ", F1 " << nodecode;
  const struct {
    uint32_t now, last_start;
    int wait;
  } waits[] = {{1000, 990, 30}, {1039, 1000, 1}, {1040, 1000, 0}, {5000, 1000, 0}, {5, UINT32_MAX - 4, 30}};
  for (const auto &w : waits)
    EXPECT_EQ(FrameWaitMs(w.now, w.last_start, kFramePeriodMs), w.wait) << w.now << " after " << w.last_start;
}
// Cycles as the loop runs them: the frame each shows, or -1 when it only waits.
TEST(Playback, CyclesWrapAtBothEndsWithoutModuloAndAnEventReplacesTheAdvance) {
  const std::optional<PlaybackEvent> none;
  using Events = std::vector<std::optional<PlaybackEvent>>;
  const struct {
    int nframes, frameno, step;
    Events events;
    std::vector<int> shown;
  } cases[] = {{100, 96, 8, {none, none}, {96, 0}},
               {100, 3, -8, {none, none}, {3, 99}},  // not 4, not 95
               {INT_MAX, INT_MAX - 1, 1 << 30, {none, none}, {INT_MAX - 1, 0}},
               {10, 0, 10, {none, none}, {0, -1}},
               {1, 0, 5, {none, none, press(kEnd), none}, {0, -1, -1, -1}},
               {100, 10, 3, {none, PlaybackEvent{}, press('x'), none, none}, {10, 13, -1, -1, 16}}};
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
// Paths ending just before, across or after the cut, with a character of one, two or three bytes there.
TEST(WindowTitle, CutToItsBufferNeverInsideACharacter) {
  struct {
    char title[kTitleBytes], after[16];
  } buffer;
  std::memset(buffer.after, 'G', 16);
  for (const std::string tail : {"", "y", "\xC3\xA9", "\xE2\x82\xAC"})
    for (size_t shift = 0; shift < 5; ++shift) {
      const std::string whole = "Ozmira " + std::string(kTitleBytes - 11 + shift, 'x') + tail + tail;
      FormatTitle(buffer.title, whole.c_str() + 7);
      const std::string cut = buffer.title;
      const size_t character = std::max<size_t>(tail.size(), 1);
      EXPECT_TRUE(whole.starts_with(cut) && (cut == whole || ((whole[cut.size()] & 0xC0) != 0x80 &&
                                                              cut.size() + character >= kTitleBytes)));
      EXPECT_EQ(std::string(buffer.after, 16), std::string(16, 'G'));
    }
}
// Sound pairs as SDL's disk driver wrote them, silent ones left out: it writes silence wherever the queue ran
// dry.
std::vector<uint32_t> sounding(const Bytes &raw) {
  std::vector<uint32_t> pairs(raw.size() / 4);
  std::memcpy(pairs.data(), raw.data(), pairs.size() * 4);
  std::erase(pairs, 0u);
  return pairs;
}
// libdv's own decode of a frame's sound as pairs (two pairs mixed at libdv's default level).
std::vector<uint32_t> libdv_sound(const uint8_t *frame) {
  static int16_t planar[4][1944];
  int16_t *out[] = {planar[0], planar[1], planar[2], planar[3]};
  dv_decoder_t *libdv = dv_decoder_new(0, 0, 0);
  EXPECT_TRUE(dv_parse_header(libdv, frame) >= 0 && dv_decode_full_audio(libdv, frame, out));
  std::vector<uint32_t> pairs;
  for (int s = 0; s < dv_get_num_samples(libdv); ++s)
    pairs.push_back(uint16_t(planar[0][s]) | uint32_t(uint16_t(planar[1][s])) << 16);
  dv_decoder_free(libdv);
  return pairs;
}
struct FakeClock : Clock {
  Uint32 now = 0;
  std::vector<int> waits;
  Uint32 NowMs() override { return now; }
  void DelayMs(int ms) override {
    waits.push_back(ms);
    now += ms;
  }
};
struct FakeDevice : AudioDevice {  // never plays: a stalled device
  int rate = 0, opens = 0;
  bool fails = false;
  bool Open(int r, Fill, void *) override {
    ++opens;
    rate = r;
    return !fails;
  }
  void Close() override {}
  void Lock() override {}
  void Unlock() override {}
  bool Playing() override { return true; }
  const char *Error() override { return "none"; }
};
TEST(Player, CyclesShowWhatTheKeysAskForWaitAsToldPlayEachFramesSoundAndEndOnAQuit) {
  dvthreads(1);  // no workers: the death test's forked child would lack them, which LeakSanitizer reports
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  TempDir dir;
  const Bytes middle = damaged_middle();
  write_file(dir / "middle.dv", middle);
  signal(SIGINT, SIG_IGN);  // as a shell's background job starts: stays ignored
  StartUp((dir / "middle.dv").c_str());
  char *title = nullptr;
  char *icon = nullptr;
  SDL_WM_GetCaption(&title, &icon);
  EXPECT_EQ(std::string(title) + "|" + icon, "Ozmira " + dir / "middle.dv" + "|testwin");
  const int signals[] = {SIGINT, SIGTERM, SIGQUIT};
  struct sigaction actions[3] = {};
  for (int i = 0; i < 3; ++i) sigaction(signals[i], nullptr, &actions[i]);
  EXPECT_EQ(actions[0].sa_handler, SIG_IGN);
  EXPECT_TRUE(actions[1].sa_handler != SIG_DFL &&
              actions[2].sa_handler == SIG_DFL);  // SIGTERM as q; no parachute
  signal(SIGINT, SIG_DFL);
  dvinit();
  std::vector<Bytes> pictures(10, Bytes(720 * 576 * 3));
  for (int f = 0; f < 10; ++f)
    capture([&] { dvreadblock(&middle[f * kPalFrameBytes], pictures[f].data(), 2, 0); });
  pictures[4] = pictures[5];  // frame 4's header does not parse: played backwards, frame 5's picture stays
  OpenFailure failure;
  std::FILE *file = OpenFrameFile((dir / "middle.dv").c_str(), failure);
  PlaybackState state{CountWholeFrames(file), 0, -1, 1, 0, 1};
  static unsigned char framebuf[kPalFrameBytes];
  EXPECT_TRUE(ReadFrame(file, 20000, framebuf) == 0 && ftello(file) == 2880000000);  // 64-bit positions
  Bytes rgbbuf(720 * 576 * 3);
  FakeDevice device;
  SoundOutput silent(device);  // never opened: these frames have no sound
  FakeClock clock;
  Player player{file, framebuf, rgbbuf.data(), &silent, &clock, 0};  // unpaced
  SDL_Event event{};
  while (SDL_PollEvent(&event)) {}
  const auto push = [&](int type, int symbol) {
    event = {};
    event.type = type;
    event.key.keysym.sym = SDLKey(symbol);
    return SDL_PushEvent(&event);
  };
  const auto cycle = [&](int symbol) {  // symbol 0: an event that is no key; -1: no event
    if (symbol >= 0) push(symbol ? SDL_KEYDOWN : SDL_ACTIVEEVENT, symbol);
    return capture([&] { RunCycle(state, player); }).err;
  };
  const auto shown = [] {
    Bytes rgb;
    for (int y = 0; y < 576; ++y)
      for (int x = 0; x < 720; ++x) {
        uint8_t c[3];
        SDL_GetRGB(((Uint32 *)((uint8_t *)screen->pixels + y * screen->pitch))[x], screen->format, &c[0],
                   &c[1], &c[2]);
        rgb.insert(rgb.end(), c, c + 3);
      }
    return rgb;
  };
  const int none = -1, other = 0;
  const struct {
    int key, picture;
  } steps[] = {{kSpace, 0}, {kPageUp, 0}, {kF1, 1},   {kPageUp, 1}, {kF1, 1} /* suspended: 2 is not drawn */,
               {kEnd, 1},   {kPageUp, 9}, {kLeft, 0}, {none, 0},    {none, 9},
               {other, 8},  {none, 8},    {none, 7},  {none, 6},    {none, 5},
               {none, 4},   {kQ, 3}};
  ASSERT_EQ(screen->format->BytesPerPixel, 4);
  for (size_t i = 0; i < std::size(steps); ++i) {
    EXPECT_EQ(cycle(steps[i].key), i == 15 ? "(dvreadblock:dvlib): dv_parse_header failed - erm?\n" : "")
        << "step " << i;
    EXPECT_TRUE(shown() == pictures[steps[i].picture]) << "step " << i << ": not frame " << steps[i].picture;
  }
  EXPECT_EQ(state.running, 0);
  state = {10, 0, -1, 1, 0, 1};
  for (int i = 0; i < 50; ++i) cycle(none);
  const size_t before = heap_in_use();
  for (int i = 0; i < 1000; ++i) cycle(i % 10 ? none : kRight);
  EXPECT_LE(heap_in_use(), before + 16384);
  state = {10, 0, 0, 1, 0, 1};  // frame 0 again: a 40 ms wait; then frames 40 ms apart
  player.period_ms = kFramePeriodMs;
  player.last_shown_ms = clock.now - 100;
  clock.waits.clear();
  cycle(none);
  cycle(none);
  clock.now += 15;
  SDL_WarpMouse(300, 200);  // SDL makes no mouse event to take an advance's place
  cycle(none);
  EXPECT_EQ(clock.waits, (std::vector<int>{40, 25}));
  EXPECT_EQ(state.frameno, 3);
  for (int type :
       {SDL_ACTIVEEVENT, SDL_KEYUP}) {  // nor the pointer entering or leaving the window, nor key releases
    event = {};
    event.type = type;
    event.active.state = SDL_APPMOUSEFOCUS;
    EXPECT_EQ(SDL_GetEventFilter()(&event), 0);
  }
  std::fclose(file);
  write_file(dir / "gap.dv", Bytes(&middle[9 * kPalFrameBytes], &middle[10 * kPalFrameBytes]));
  write_file(dir / "gap.dv", Bytes(kPalFrameBytes + 50000),
             true);  // zeros: a dropout (720 x 480), a partial frame
  player.file = file = OpenFrameFile((dir / "gap.dv").c_str(), failure);
  player.period_ms = 0;
  state = {2, 0, -1, 1, 0, 1};
  // Two whole frames; the previous picture stays whole.
  EXPECT_TRUE(CountWholeFrames(file) == 2 && cycle(none).empty() && cycle(none).empty() &&
              shown() == pictures[9]);
  push(SDL_QUIT, 0);
  capture([&] { PlayLoop(player, 2); });  // must return
  state = {2, 0, -1, 1, 0, 1};
  while (push(SDL_KEYDOWN, SDLK_PAGEUP) == 0) {}
  event.key.keysym.sym = SDLK_q;  // as SDL takes a key from X: the filter, then a queue with no room
  ASSERT_TRUE(SDL_GetEventFilter() && SDL_GetEventFilter()(&event) && SDL_PushEvent(&event) != 0);
  cycle(none);
  EXPECT_EQ(state.running, 0);  // at once, ahead of the keys queued before it
  while (SDL_PollEvent(&event)) {}
  std::fclose(file);
  // Each frame's sound, read off the queue of a device that never plays: lead-in, sound or silence, at most
  // two frames' time (less a device buffer of 512) queued ahead of a frame.
  const Bytes s48 = frames("sound48000.dv", 0, 3), s32 = frames("sound32000.dv"), plain = frames("pal420.dv");
  const auto frame = [&](size_t n) {
    return Bytes(&s48[n * kPalFrameBytes], &s48[(n + 1) * kPalFrameBytes]);
  };
  Bytes marked = frame(1), twelve = s32;  // 525/60 in its DIF header; 12-bit with a second pair
  marked[3] &= 0x7f;
  for (size_t pack = 6 * 80 + 3; pack < 12000; pack += 16 * 80)
    for (size_t at = pack; at < kPalFrameBytes; at += 12000)
      if (twelve[at] == 0x50) twelve[at + 4] = (twelve[at + 4] & 0xf8) | 1;
  const auto sound_of = [&](size_t n) { return libdv_sound(&s48[n * kPalFrameBytes]); };
  const std::vector<uint32_t> gap(1920), f0 = sound_of(0);
  const std::string refused = "Couldn't open the audio device: none; playing without sound\n";
  const struct {
    std::vector<Bytes> file;
    int rate, opens, polls;
    std::vector<std::vector<uint32_t>> sound;
  } cases[] = {{{plain, frame(0)}, 48000, 1, 0, {f0}},
               {{frame(0), marked, plain}, 48000, 1, 100, {f0, gap, gap}},
               {{frame(0), frame(1), frame(2)}, 48000, 1, 100, {f0, sound_of(1), sound_of(2)}},
               {{frame(0), s32}, 32000, 2, 0, {libdv_sound(s32.data())}},
               {{twelve}, 32000, 1, 0, {libdv_sound(twelve.data())}},
               {{frame(0), s32}, 0, 1, 0, {}}};
  for (const auto &c : cases) {
    std::vector<uint32_t> want(c.rate ? 512 : 0);
    for (const auto &piece : c.sound) {
      want.erase(want.begin(), want.end() - std::min<long>(want.size(), 2 * c.rate / 25 - 512));
      want.insert(want.end(), piece.begin(), piece.end());
    }
    std::vector<int> waits(c.file.size() - 1, 40);
    waits.resize(waits.size() + c.polls, 2);
    write_file(dir / "sound.dv", {});
    for (const Bytes &f : c.file) write_file(dir / "sound.dv", f, true);
    FakeDevice device;
    device.fails = !c.rate;
    SoundOutput sound(device);
    FakeClock paced;
    player = {OpenFrameFile((dir / "sound.dv").c_str(), failure), framebuf, rgbbuf.data(), &sound, &paced};
    state = {int(c.file.size()), 0, -1, 1, 0, 1};
    std::string said;
    for (size_t i = 0; i < c.file.size(); ++i) said += cycle(none);
    std::vector<uint32_t> got(8000);
    got.resize(sound.Take((int16_t *)got.data(), 8000));
    EXPECT_TRUE(got == want && paced.waits == waits && said == (c.rate ? "" : refused) &&
                device.opens == c.opens && (device.rate == c.rate || !c.rate))
        << c.file.size() << " frames: " << got.size() << " pairs " << said << " at " << device.rate;
    std::fclose(player.file);
  }
  fail_surface = true;
  EXPECT_EXIT(ShowPicture(rgbbuf.data()), testing::ExitedWithCode(1),
              "^Couldn't make a surface over the picture: injected failure\n$");
}
// Refusals come before any window: with no display, reaching SDL would add SDL's own complaint.
TEST(ViewerProcess, RefusalsBeforeAnyWindow) {
  TempDir dir;
  const std::string pal = clip_path("pal420.dv"), not_pal = "Not a PAL format video\n",
                    usage = "Usage:  ozmira <dv file>\n";
  const Bytes middle = damaged_middle();
  write_file(dir / "short", Bytes(middle.begin(), middle.begin() + 100000));
  write_file(dir / "empty", {});
  write_file(dir / "random", Bytes(&middle[4 * kPalFrameBytes], &middle[5 * kPalFrameBytes]));
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  const struct {
    std::vector<std::string> args;
    Output want;
  } cases[] = {
      {{}, {1, "", usage}},
      {{pal, pal}, {1, "", usage}},
      {{dir / "none"}, {1, dir / "none" + " not found\n", ""}},
      {{clip_path("ntsc.dv")}, {1, not_pal, ""}},
      {{dir / "short"}, {1, not_pal, ""}},
      {{dir / "empty"}, {1, not_pal, ""}},
      {{dir / "random"}, {1, not_pal, ""}},
      {{dir.path}, {1, not_pal, ""}},
      {{"/dev/null"}, {1, not_pal, ""}},
      {{dir / "pipe"}, {1, not_pal, ""}},
      {{"--version"}, {0, "ozmira " OZMIRA_VERSION "\n", ""}},
      {{pal},
       {1, "",
        "Couldn't initialize SDL: No available video device\n"}}};  // only X11 tried: no text-mode driver
  for (auto c : cases) {
    c.args.insert(c.args.begin(), OZMIRA_VIEWER);
    EXPECT_EQ(run(c.args, {"DISPLAY", "SDL_VIDEODRIVER"}), c.want) << c.args.back();
  }
  const Output help = run({OZMIRA_VIEWER, "--help"});
  EXPECT_TRUE(help.status == 0 && help.out.starts_with(usage) && help.err.empty()) << help;
  write_file(dir / "--help", {});
  std::filesystem::current_path(dir.path);
  EXPECT_EQ(run({OZMIRA_VIEWER, "./--help"}), (Output{1, not_pal, ""}));  // a file of that name
}
// Waits until `done` holds or process `pid` has ended (a minute's alarm ends a hung one).
void await(pid_t pid, const std::function<bool()> &done) {
  siginfo_t ended{};
  while (!done() && waitid(P_PID, pid, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == 0)
    usleep(20000);
}
TEST(ViewerProcess, EachFramesOwnSoundInOrderUntilSigtermOrSigint) {
  const Bytes clip = frames("sound48000.dv", 0, 50);
  std::vector<uint32_t> expected;  // libdv's decode of frames 0, 1, ... six times round the clip
  for (size_t n = 0; n < 300; ++n) {
    const std::vector<uint32_t> sound = libdv_sound(&clip[n % 50 * kPalFrameBytes]);
    expected.insert(expected.end(), sound.begin(), sound.end());
  }
  std::erase(expected, 0u);
  for (int signal : {SIGTERM, SIGINT}) {
    TempDir dir;
    const auto played = [&] { return sounding(read_file(dir / "sound")); };
    const Output said =
        run({OZMIRA_VIEWER, clip_path("sound48000.dv")},
            {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIODELAY=10",
             "SDL_DISKAUDIOFILE=" + dir / "sound"},
            [&](pid_t pid) {
              await(pid, [&] { return played().size() >= 60 * 1920; });  // once round, and more
              kill(pid, signal);
            });
    const std::vector<uint32_t> sound = played();
    EXPECT_EQ(said, Output{}) << strsignal(signal);
    EXPECT_TRUE(sound.size() >= 60 * 1920 && sound.size() <= expected.size() &&
                std::equal(sound.begin(), sound.end(), expected.begin()))
        << sound.size();
  }
}
// One line at most when no audio device opens (and nothing of SDL's search, such as ALSA's eight lines where
// there is no sound card), none for a file without sound; each checked once 20 frames are read.
TEST(ViewerProcess, OneLineAtMostWithoutAnAudioDeviceAndNoneForAFileWithoutSound) {
  const auto play = [](const std::string &clip, const std::string &audio) {
    return run({OZMIRA_VIEWER, clip_path(clip)}, {"SDL_VIDEODRIVER=dummy", audio}, [](pid_t pid) {
      await(pid, [pid] {
        std::ifstream io("/proc/" + std::to_string(pid) + "/io");
        std::string rchar;
        long bytes = 0;
        io >> rchar >> bytes;
        return bytes > 20 * long(kPalFrameBytes);
      });
      kill(pid, SIGTERM);
    });
  };
  const std::string line =
      "Couldn't open the audio device: No available audio device; playing without sound\n";
  EXPECT_EQ(play("sound48000.dv", "SDL_AUDIODRIVER=nosuch"), (Output{0, "", line}));
  EXPECT_EQ(play("pal420.dv", "SDL_AUDIODRIVER=nosuch"), Output{});
  const Output searched = play("sound48000.dv", "SDL_AUDIODRIVER");
  EXPECT_TRUE(searched.status == 0 && (searched.err.empty() || searched.err == line)) << searched;
}

}  // namespace
}  // namespace ozmira::test
