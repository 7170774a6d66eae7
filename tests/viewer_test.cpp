// The viewer: its rules, its cycle under SDL's dummy driver, as a process.
#include <dlfcn.h>
#include <climits>
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
  if (!fail_surface) return sdl(p, w, h, d, pitch, r, g, b, a);
  SDL_SetError("injected failure");
  return nullptr;
}

namespace ozmira::test {
namespace {

using namespace ozmira::viewer;
using namespace ozmira::viewer::key;
using std::string;
using std::vector;
using Pairs = vector<uint32_t>;
// A key press; 0 another event, -1 a quit request.
PlaybackEvent press(int key) {
  return {key > 0 ? EventKind::KeyPress : key ? EventKind::Quit : EventKind::Other, key};
}
TEST(Playback, TheKeyTableAndSoundAtStep1WithDecodingOn) {
  const int big = 1 << 29, most = 1 << 30, frame = 40;  // of 100
  const struct {
    int key, step, step_after, frame_after = frame, running = 1, nodecode = 0;
  } rows[] = {{kRight, 0, 1},
              {kRight, -4, 4},
              {kRight, 3, 3},
              {kLeft, 0, -1},
              {kLeft, 4, -4},
              {kLeft, -3, -3},
              {kSpace, 6, 0},
              {kReturn, -8, 1},
              {kReturn, 0, 1},
              {kUp, 5, 10},
              {kUp, -3, -1},
              {kUp, 0, 1},
              {kUp, -1, 0},
              {kUp, big + 1, most},
              {kUp, most, most},
              {kUp, -most, -big},
              {kDown, 5, 2},
              {kDown, -4, -8},
              {kDown, 0, -1},
              {kDown, 1, 0},
              {kDown, -big - 1, -most},
              {kDown, -most, -most},
              {kPageUp, 3, 0, 41},
              {kPageDown, -2, 0, 39},
              {kHome, 5, 0, 0},
              {kEnd, 5, 0, 99},
              {kF1, 7, 7, frame, 1, 1},
              {kQ, 2, 2, frame, 0},
              {kEscape, 2, 2, frame, 0},
              {-1, 2, 2, frame, 0},
              {'a', 5, 5},
              {0, 5, 5}};
  for (const auto &row : rows) {
    PlaybackState state{100, frame, -1, row.step, 0, 1};
    ApplyEvent(state, press(row.key));
    EXPECT_TRUE(state.step == row.step_after && state.frameno == row.frame_after &&
                state.running == row.running && state.nodecode == row.nodecode &&
                PlaysSound(state) == (row.step_after == 1 && !row.nodecode))
        << row.key << " at " << row.step;
  }
}
// Cycles as the loop runs them: the frame each shows, or -1 when it only waits.
TEST(Playback, CyclesWrapWithoutModuloAndAnEventReplacesTheAdvance) {
  const std::optional<PlaybackEvent> none;
  const struct {
    int nframes, frameno, step;
    vector<std::optional<PlaybackEvent>> events;
    vector<int> shown;
  } cases[] = {{100, 96, 8, {none, none}, {96, 0}},
               {100, 3, -8, {none, none}, {3, 99}},  // not 4, not 95
               {INT_MAX, INT_MAX - 1, 1 << 30, {none, none}, {INT_MAX - 1, 0}},
               {10, 0, 10, {none, none}, {0, -1}},
               {1, 0, 5, {none, none, press(kEnd), none}, {0, -1, -1, -1}},
               {100, 10, 3, {none, press(0), press('x'), none, none}, {10, 13, -1, -1, 16}}};
  for (const auto &c : cases) {
    PlaybackState state{c.nframes, c.frameno, -1, c.step, 0, 1};
    vector<int> shown;
    for (const auto &event : c.events) {
      BringIntoRange(state);
      shown.push_back(FrameChanged(state) ? state.frameno : -1);
      EndCycle(state, event);
    }
    EXPECT_EQ(shown, c.shown) << c.frameno;
  }
}
// Paths ending before, across or after the cut, with a character of 1, 2 or 3 bytes there.
TEST(WindowTitle, CutToItsBufferNeverInsideACharacter) {
  struct {
    char title[kTitleBytes], after[16];
  } buffer;
  std::memset(buffer.after, 'G', 16);
  for (const string tail : {"", "y", "\xC3\xA9", "\xE2\x82\xAC"})
    for (size_t shift = 0; shift < 5; ++shift) {
      const string whole = "Ozmira " + string(kTitleBytes - 11 + shift, 'x') + tail + tail;
      FormatTitle(buffer.title, whole.c_str() + 7);
      const string cut = buffer.title;
      EXPECT_TRUE(whole.starts_with(cut) &&
                  (cut == whole || ((whole[cut.size()] & 0xC0) != 0x80 &&
                                    cut.size() + std::max<size_t>(tail.size(), 1) >= kTitleBytes)));
      EXPECT_EQ(string(buffer.after, 16), string(16, 'G'));
    }
}
// libdv's decode of frame n's sound as pairs (two pairs mixed at its default level).
Pairs libdv_sound(const Bytes &frames, size_t n = 0) {
  static int16_t planar[4][1944];
  int16_t *out[] = {planar[0], planar[1], planar[2], planar[3]};
  const uint8_t *frame = &frames[n * kPalFrameBytes];
  dv_decoder_t *libdv = dv_decoder_new(0, 0, 0);
  EXPECT_TRUE(dv_parse_header(libdv, frame) >= 0 && dv_decode_full_audio(libdv, frame, out));
  Pairs pairs;
  for (int s = 0; s < dv_get_num_samples(libdv); ++s)
    pairs.push_back(uint16_t(planar[0][s]) | uint32_t(planar[1][s]) << 16);
  dv_decoder_free(libdv);
  return pairs;
}
struct FakeClock : Clock {
  Uint32 now = 0, late = 0;  // delays oversleep by `late`
  vector<int> waits;
  Uint32 NowMs() override { return now; }
  void DelayMs(int ms) override {
    waits.push_back(ms);
    now += ms + late;
  }
};
struct FakeDevice : AudioDevice {  // never plays: a stalled device
  int opens = 0;
  bool works = true;
  const char *Open(int, Fill, void *) override {
    ++opens;
    return works ? nullptr : "none";
  }
  void Close() override {}
  void Lock() override {}
  void Unlock() override {}
  bool Playing() override { return true; }
};
TEST(Player, CyclesShowWaitPlaySoundAndEndAsTold) {
  dvthreads(1);  // no workers for the death test's child to lack (LeakSanitizer)
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  TempDir dir;
  const Bytes middle = damaged_middle();
  write_file(dir / "middle.dv", middle);
  signal(SIGINT, SIG_IGN);  // as a shell starts a background job
  StartUp((dir / "middle.dv").c_str());
  EXPECT_EQ(signal(SIGINT, SIG_DFL), SIG_IGN);   // stays ignored
  EXPECT_NE(signal(SIGTERM, SIG_DFL), SIG_DFL);  // ends playback as q does
  EXPECT_EQ(signal(SIGQUIT, SIG_DFL), SIG_DFL);  // no parachute
  char *title = nullptr, *icon = nullptr;
  SDL_WM_GetCaption(&title, &icon);
  EXPECT_EQ(string(title) + "|" + icon, "Ozmira " + dir / "middle.dv" + "|testwin");
  vector<Bytes> pictures(10, Bytes(720 * 576 * 3));
  for (int f = 0; f < 10; ++f)
    capture([&] { dvreadblock(&middle[f * kPalFrameBytes], pictures[f].data(), 2, 0); });
  pictures[4] = pictures[5];  // 4 does not parse: played backwards, 5 stays
  OpenFailure failure;
  std::FILE *file = OpenFrameFile((dir / "middle.dv").c_str(), failure);
  PlaybackState state{CountWholeFrames(file), 0, -1, 1, 0, 1};
  static unsigned char framebuf[kPalFrameBytes];
  EXPECT_TRUE(ReadFrame(file, 20000, framebuf) == 0 && ftello(file) == 2880000000);  // 64-bit
  Bytes rgbbuf(720 * 576 * 3);
  FakeDevice device;
  SoundOutput silent(device);  // no sound here
  FakeClock clock;
  Player player{file, framebuf, rgbbuf.data(), &silent, &clock, 0};  // unpaced
  SDL_Event event{};
  while (SDL_PollEvent(&event)) {}
  const auto push = [&](int type, int symbol) {
    event.type = type;
    event.key.keysym.sym = SDLKey(symbol);
    return SDL_PushEvent(&event);
  };
  const auto cycle = [&](int symbol) {  // 0: an event that is no key; -1: none
    if (symbol >= 0) push(symbol ? SDL_KEYDOWN : SDL_ACTIVEEVENT, symbol);
    return capture([&] { RunCycle(state, player); }).err;
  };
  const auto shown = [] {
    Bytes rgb(720 * 576 * 3);
    for (int p = 0; p < 720 * 576; ++p)
      SDL_GetRGB(((Uint32 *)screen->pixels)[p], screen->format, &rgb[3 * p], &rgb[3 * p + 1],
                 &rgb[3 * p + 2]);
    return rgb;
  };
  const int none = -1;
  const struct {
    int key, picture;
  } steps[] = {{kSpace, 0}, {kPageUp, 0}, {kF1, 1},   {kPageUp, 1}, {kF1, 1} /* suspended: 2 is not drawn */,
               {kEnd, 1},   {kPageUp, 9}, {kLeft, 0}, {none, 0},    {none, 9},
               {0, 8},      {none, 8},    {none, 7},  {none, 6},    {none, 5},
               {none, 4},   {kQ, 3}};
  for (size_t i = 0; i < std::size(steps); ++i) {
    EXPECT_EQ(cycle(steps[i].key), i == 15 ? "(dvreadblock:dvlib): dv_parse_header failed - erm?\n" : "")
        << i;
    EXPECT_TRUE(shown() == pictures[steps[i].picture]) << i;
  }
  EXPECT_EQ(state.running, 0);
  state = {10, 0, -1, 1, 0, 1};
  for (int i = 0; i < 50; ++i) cycle(none);
  const size_t heap = heap_in_use();
  for (int i = 0; i < 1000; ++i) cycle(i % 10 ? none : kRight);
  EXPECT_LE(heap_in_use(), heap + 16384);
  state = {10, 0, 0, 1, 0, 1};  // 0 again: 40 ms; then 40 ms apart, across the wrap
  player.period_ms = kFramePeriodMs;
  clock.now = UINT32_MAX - 50;
  player.last_shown_ms = clock.now - 100;
  clock.waits.clear();
  cycle(none);
  cycle(none);
  clock.now += 15;
  clock.late = 1;           // no drift
  SDL_WarpMouse(300, 200);  // no mouse event takes an advance's place
  cycle(none);
  cycle(none);
  EXPECT_TRUE(clock.waits == vector<int>({40, 25, 39}) && state.frameno == 4);
  event.active.state = SDL_APPMOUSEFOCUS;  // nor the pointer entering or leaving, nor a key release
  for (int type : {SDL_ACTIVEEVENT, SDL_KEYUP}) {
    event.type = type;
    EXPECT_EQ(SDL_GetEventFilter()(&event), 0);
  }
  std::fclose(file);
  write_file(dir / "gap.dv", Bytes(&middle[9 * kPalFrameBytes], &middle[10 * kPalFrameBytes]));
  write_file(dir / "gap.dv", Bytes(kPalFrameBytes + 50000), true);  // a dropout (zeros: 720 x 480), a part
  player.file = file = OpenFrameFile((dir / "gap.dv").c_str(), failure);
  state = {2, 0, -1, 1, 0, 1};
  EXPECT_TRUE(CountWholeFrames(file) == 2 && cycle(none).empty() && cycle(none).empty() &&
              shown() == pictures[9]);
  push(SDL_QUIT, 0);
  capture([&] { PlayLoop(player, 2); });  // must return
  state = {2, 0, -1, 1, 0, 1};
  while (push(SDL_KEYDOWN, SDLK_PAGEUP) == 0) {}
  event.key.keysym.sym = SDLK_q;  // as from X: the filter, then a full queue
  ASSERT_TRUE(SDL_GetEventFilter()(&event) && SDL_PushEvent(&event) != 0);
  cycle(none);
  EXPECT_EQ(state.running, 0);  // at once, ahead of the keys queued
  while (SDL_PollEvent(&event)) {}
  std::fclose(file);
  // Sound queued for a stalled device: a lead of 512, then sound or silence; at most 2 frames' time less
  // 512 ahead of a frame, which waits 200 ms for room.
  const auto s48 = [](size_t n) { return frames("sound48000.dv", n); };
  const Bytes s32 = frames("sound32000.dv"), mute = frames("pal420.dv");
  Bytes twelve = s32;  // 12-bit with a second pair
  for (size_t pack = 483; pack < twelve.size(); pack += pack % 12000 < 10000 ? 1280 : 3040)
    if (twelve[pack] == 0x50) twelve[pack + 4] = (twelve[pack + 4] & 0xf8) | 1;
  const Pairs gap(1920), f0 = libdv_sound(s48(0));
  const struct {
    vector<Bytes> file;
    int rate, opens, polls;
    vector<Pairs> sound;
  } cases[] = {{{mute, s48(0)}, 48000, 1, 0, {f0}},
               {{s48(0), frames("ntsc_sound.dv"), mute}, 48000, 1, 100, {f0, gap, gap}},
               {{s48(0), s48(1), s48(2)}, 48000, 1, 100, {f0, libdv_sound(s48(1)), libdv_sound(s48(2))}},
               {{s48(0), s32}, 32000, 2, 0, {libdv_sound(s32)}},
               {{twelve}, 32000, 1, 0, {libdv_sound(twelve)}},
               {{s48(0), s32}, 0, 1, 0, {}}};
  for (const auto &c : cases) {
    Pairs want(c.rate ? 512 : 0);
    for (const auto &piece : c.sound) {
      want.erase(want.begin(), want.end() - std::min<long>(want.size(), 2 * c.rate / 25 - 512));
      want.insert(want.end(), piece.begin(), piece.end());
    }
    vector<int> waits(c.file.size() - 1, 40);
    waits.resize(waits.size() + c.polls, 2);
    write_file(dir / "s.dv", {});
    for (const Bytes &f : c.file) write_file(dir / "s.dv", f, true);
    FakeDevice device;
    device.works = c.rate;
    SoundOutput sound(device);
    FakeClock paced;
    player = {OpenFrameFile((dir / "s.dv").c_str(), failure), framebuf, rgbbuf.data(), &sound, &paced};
    state = {int(c.file.size()), 0, -1, 1, 0, 1};
    string said;
    for (size_t i = 0; i < c.file.size(); ++i) said += cycle(none);
    Pairs got(8000);
    got.resize(sound.Take((int16_t *)got.data(), 8000));
    EXPECT_TRUE(got == want && paced.waits == waits && device.opens == c.opens && sound.Rate() == c.rate &&
                said == (c.rate ? "" : "Couldn't open the audio device: none; playing without sound\n"))
        << got.size() << said;
    uint32_t first = 0;  // frame 0 again after the device ran dry: a lead first; then paused: all dropped
    cycle(kSpace);
    sound.Take((int16_t *)&first, 1);
    cycle(none);
    EXPECT_TRUE(first == 0 && sound.Take((int16_t *)&first, 1) == 0) << first;
    std::fclose(player.file);
  }
  fail_surface = true;
  EXPECT_EXIT(ShowPicture(rgbbuf.data()), testing::ExitedWithCode(1),
              "^Couldn't make a surface over the picture: injected failure\n$");
}
// Refusals come before any window (SDL would complain: no display).
TEST(ViewerProcess, RefusalsBeforeAnyWindow) {
  TempDir dir;
  const string pal = clip_path("pal420.dv"), usage = "Usage:  ozmira <dv file>\n";
  const Bytes middle = damaged_middle();
  write_file(dir / "short", Bytes(middle.begin(), middle.begin() + 100000));
  write_file(dir / "empty", {});
  write_file(dir / "random", Bytes(&middle[4 * kPalFrameBytes], &middle[5 * kPalFrameBytes]));
  ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
  write_file(dir / "--help", {});  // ./--help: a file
  std::filesystem::current_path(dir.path);
  for (const string &path : {clip_path("ntsc.dv"), dir / "short", dir / "empty", dir / "random", dir.path,
                             string("/dev/null"), dir / "pipe", string("./--help")})
    EXPECT_EQ(run({OZMIRA_VIEWER, path}, {"DISPLAY", "SDL_VIDEODRIVER"}),
              (Output{1, "Not a PAL format video\n", ""}))
        << path;
  for (auto [args, want] : vector<std::pair<vector<string>, Output>>{
           {{}, {1, "", usage}},
           {{pal, pal}, {1, "", usage}},
           {{dir / "none"}, {1, dir / "none" + " not found\n", ""}},
           {{"--version"}, {0, "ozmira " OZMIRA_VERSION "\n", ""}},
           {{pal}, {1, "", "Couldn't initialize SDL: No available video device\n"}}}) {  // X11 alone is tried
    args.insert(args.begin(), OZMIRA_VIEWER);
    EXPECT_EQ(run(args, {"DISPLAY", "SDL_VIDEODRIVER"}), want) << args.back();
  }
  const Output help = run({OZMIRA_VIEWER, "--help"});
  EXPECT_TRUE(help.status == 0 && help.out.starts_with(usage) && help.err.empty()) << help;
}
// Each frame's sound in order (SDL's disk driver), nothing of SDL's search for it; one line when no device
// opens, none without sound.
TEST(ViewerProcess, SoundInOrderOrOneLineWithoutADeviceUntilSigtermOrSigint) {
  const Bytes clip = frames("sound48000.dv", 0, 50);
  Pairs expected;  // 6 times round the clip
  for (size_t n = 0; n < 300; ++n) {
    const Pairs sound = libdv_sound(clip, n % 50);
    expected.insert(expected.end(), sound.begin(), sound.end());
  }
  std::erase(expected, 0u);  // silence (where the queue ran dry) left out
  const struct {
    string clip, driver;
    int signal;
    string err;
  } runs[] = {{"sound48000.dv", "disk", SIGTERM, ""},
              {"sound48000.dv", "nosuch", SIGTERM,
               "Couldn't open the audio device: No available audio device; playing without sound\n"},
              {"pal420.dv", "nosuch", SIGINT, ""}};
  for (const auto &r : runs) {
    TempDir dir;
    const bool disk = r.driver == "disk";
    const auto played = [&] {
      const Bytes raw = read_file(dir / "sound");
      Pairs pairs(raw.size() / 4);
      if (!pairs.empty()) std::memcpy(pairs.data(), raw.data(), pairs.size() * 4);
      std::erase(pairs, 0u);
      return pairs;
    };
    const Output said =
        run({OZMIRA_VIEWER, clip_path(r.clip)},
            {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=" + r.driver, "SDL_DISKAUDIODELAY=10",
             "SDL_DISKAUDIOFILE=" + dir / "sound"},
            [&](pid_t pid) {
              siginfo_t ended{};  // until 60 frames' sound or 20 frames read, or the end
              long bytes = 0;
              for (string rchar; (disk ? played().size() < 60 * 1920 : bytes < 20 * 144000) &&
                                 !waitid(P_PID, pid, &ended, WEXITED | WNOHANG | WNOWAIT) && !ended.si_pid;
                   usleep(20000))
                std::ifstream("/proc/" + std::to_string(pid) + "/io") >> rchar >> bytes;
              kill(pid, r.signal);
            });
    const Pairs sound = played();
    EXPECT_EQ(said, (Output{0, "", r.err}));
    EXPECT_TRUE(sound.size() >= disk * 60 * 1920u && sound.size() <= expected.size() &&
                std::equal(sound.begin(), sound.end(), expected.begin()))
        << sound.size();
  }
}

}  // namespace
}  // namespace ozmira::test
