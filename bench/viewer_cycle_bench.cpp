// One cycle of the viewer's playback loop, unpaced and paced (bring the frame number into
// range, read, decode, wrap, blit, update, flip, poll one event) against its parts
// measured alone in the same run, playing the PAL 4:2:0 clip forwards under
// SDL's dummy video driver (an off-screen display: no window system's cost).
#include <benchmark/benchmark.h>

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_clips.h"
#include "dvlib.h"
#include "frame_file.h"
#include "playback_state.h"
#include "player.h"

namespace {

using namespace ozmira::viewer;

constexpr int kFullDetailRequest = 2;
// ShowPicture's wrapper surface: 24-bit RGB over the picture, bytes R, G, B.
constexpr int kPictureDepth = 24, kPicturePitch = kWidth * 3;
constexpr Uint32 kRedMask = 0xFF, kGreenMask = 0xFF00, kBlueMask = 0xFF0000, kAlphaMask = 0;

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "viewer_cycle_bench: %s\n", what);
  std::exit(1);
}

struct Viewer {
  Viewer() : frames(ozmira::bench::clip_frames("pal420.dv")), framebuf(kFrameBytes), rgbbuf(kPictureBytes) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    dvinit();
    OpenFailure failure;
    file = OpenFrameFile(ozmira::bench::clip_path("pal420.dv").c_str(), failure);
    if (file == nullptr) fail("cannot open the clip");
    nframes = CountWholeFrames(file);
    if (ReadFrame(file, 0, framebuf.data()) != static_cast<size_t>(kFrameBytes)) fail("cannot read frame 0");
    dvreadblock(framebuf.data(), rgbbuf.data(), kFullDetailRequest, 0);
    StartUp("viewer_cycle_bench");
    SDL_Event pending;
    while (SDL_PollEvent(&pending)) {}
    player.file = file;
    player.framebuf = framebuf.data();
    player.rgbbuf = rgbbuf.data();
    player.sound = &sound;  // never opened: the clip has no sound
    player.period_ms = 0;   // unpaced: the cycle's own cost
  }
  SDL_Surface *wrap() {
    return SDL_CreateRGBSurfaceFrom(rgbbuf.data(), kWidth, kHeight, kPictureDepth, kPicturePitch, kRedMask,
                                    kGreenMask, kBlueMask, kAlphaMask);
  }
  std::vector<std::vector<uint8_t>> frames;
  std::vector<unsigned char> framebuf, rgbbuf;
  std::FILE *file = nullptr;
  int nframes = 0;
  SoundOutput sound;
  Player player;
};

Viewer &viewer() {
  static Viewer v;
  return v;
}

void BM_ViewerCycle(benchmark::State &state) {
  Viewer &v = viewer();
  PlaybackState playback;
  playback.nframes = v.nframes;
  for (auto _ : state) {
    RunCycle(playback, v.player);
    // No event may take the place of the advance: the next cycle would wait.
    if (playback.frameno != playback.lastframe + playback.step || !playback.running) {
      state.SkipWithError("an event interrupted playback");
      break;
    }
  }
}

// The cycle paced to the recorded rate on SDL's clock, as the viewer plays at
// step 1: wall time per cycle, which should be the 40 ms frame period (what
// SDL_Delay oversleeps shows here; the tests check the waits on a fake clock).
void BM_ViewerPacedCycle(benchmark::State &state) {
  Viewer &v = viewer();
  Player paced = v.player;
  paced.period_ms = kFramePeriodMs;
  PlaybackState playback;
  playback.nframes = v.nframes;
  for (auto _ : state) RunCycle(playback, paced);
}

void BM_ViewerRead(benchmark::State &state) {
  Viewer &v = viewer();
  int frameno = 0;
  for (auto _ : state) {
    ReadFrame(v.file, frameno, v.framebuf.data());
    frameno = (frameno + 1) % v.nframes;
    benchmark::ClobberMemory();
  }
}

void BM_ViewerDecode(benchmark::State &state) {
  Viewer &v = viewer();
  size_t next = 0;
  for (auto _ : state) {
    dvreadblock(v.frames[next].data(), v.rgbbuf.data(), kFullDetailRequest, 0);
    next = (next + 1) % v.frames.size();
    benchmark::ClobberMemory();
  }
}

// ShowPicture whole: wrap, blit, update, free, flip.
void BM_ViewerShow(benchmark::State &state) {
  Viewer &v = viewer();
  for (auto _ : state) ShowPicture(v.rgbbuf.data());
}

// ShowPicture's calls one by one, with the arguments it passes.
void BM_ViewerWrap(benchmark::State &state) {
  Viewer &v = viewer();
  for (auto _ : state) SDL_FreeSurface(v.wrap());
}

void BM_ViewerBlit(benchmark::State &state) {
  Viewer &v = viewer();
  SDL_Surface *wrapper = v.wrap();
  for (auto _ : state) SDL_UpperBlit(wrapper, nullptr, screen, nullptr);
  SDL_FreeSurface(wrapper);
}

void BM_ViewerUpdate(benchmark::State &state) {
  viewer();
  for (auto _ : state) SDL_UpdateRect(screen, 0, 0, kWidth, kHeight);
}

void BM_ViewerFlip(benchmark::State &state) {
  viewer();
  for (auto _ : state) SDL_Flip(screen);
}

// The end of a cycle and the start of the next: poll one event, apply the
// playback rules.
void BM_ViewerPollAndRules(benchmark::State &state) {
  Viewer &v = viewer();
  PlaybackState playback;
  playback.nframes = v.nframes;
  for (auto _ : state) {
    BringIntoRange(playback);
    benchmark::DoNotOptimize(FrameChanged(playback));
    SDL_Event event;
    if (SDL_PollEvent(&event)) {
      state.SkipWithError("an event arrived");
      break;
    }
    EndCycle(playback, std::nullopt);
  }
}

}  // namespace

// The first registered benchmark is the baseline of the table.
BENCHMARK(BM_ViewerCycle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewerPacedCycle)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(50);
BENCHMARK(BM_ViewerRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewerDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewerShow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewerWrap)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewerBlit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewerUpdate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewerFlip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewerPollAndRules)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
