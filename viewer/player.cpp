// StartUp and the playback loop: everything that touches SDL.
#include "player.h"

#include <cstdlib>
#include <optional>

#include "dvlib.h"
#include "frame_file.h"
#include "playback_state.h"
#include "window_title.h"

SDL_Surface *screen = nullptr;

namespace ozmira::viewer {
namespace {

constexpr int kWindowDepth = 32;
constexpr Uint32 kVideoFlags = 0;  // a software surface in a window of fixed size
constexpr int kPictureDepth = 24;
constexpr int kPicturePitch = kWidth * 3;
constexpr Uint32 kRedMask = 0xFF, kGreenMask = 0xFF00, kBlueMask = 0xFF0000, kAlphaMask = 0;
constexpr int kPausedCycleMs = 40;
constexpr int kFullDetailRequest = 2;
constexpr char kIconTitle[] = "testwin";

static_assert(key::kReturn == SDLK_RETURN && key::kEscape == SDLK_ESCAPE && key::kSpace == SDLK_SPACE &&
              key::kQ == SDLK_q && key::kUp == SDLK_UP && key::kDown == SDLK_DOWN && key::kRight == SDLK_RIGHT &&
              key::kLeft == SDLK_LEFT && key::kHome == SDLK_HOME && key::kEnd == SDLK_END &&
              key::kPageUp == SDLK_PAGEUP && key::kPageDown == SDLK_PAGEDOWN && key::kF1 == SDLK_F1);

// At most one pending event, as the playback rules see it.
std::optional<PlaybackEvent> PollOneEvent() {
  SDL_Event event;
  if (!SDL_PollEvent(&event)) return std::nullopt;
  switch (event.type) {
    case SDL_KEYDOWN: return PlaybackEvent{EventKind::KeyPress, event.key.keysym.sym};
    case SDL_QUIT: return PlaybackEvent{EventKind::Quit, 0};
    default: return PlaybackEvent{EventKind::Other, 0};
  }
}

}  // namespace

void ShowPicture(unsigned char *rgbbuf) {
  SDL_Surface *wrapper = SDL_CreateRGBSurfaceFrom(rgbbuf, kWidth, kHeight, kPictureDepth, kPicturePitch, kRedMask,
                                                  kGreenMask, kBlueMask, kAlphaMask);
  if (wrapper == nullptr) {
    std::fprintf(stderr, "Couldn't make a surface over the picture: %s\n", SDL_GetError());
    std::exit(1);
  }
  if (SDL_UpperBlit(wrapper, nullptr, screen, nullptr) < 0) std::fprintf(stderr, "BlitSurface error: %s\n", SDL_GetError());
  SDL_UpdateRect(screen, 0, 0, wrapper->w, wrapper->h);
  SDL_FreeSurface(wrapper);
  SDL_Flip(screen);
}

void RunCycle(PlaybackState &state, std::FILE *file, unsigned char *framebuf, unsigned char *rgbbuf) {
  BringIntoRange(state);
  // A short read is not examined: framebuf keeps the bytes it held.
  ReadFrame(file, state.frameno, framebuf);
  if (FrameChanged(state)) {
    // While decoding is suspended the picture last decoded is shown again.
    if (!state.nodecode) dvreadblock(framebuf, rgbbuf, kFullDetailRequest, 0);
    ShowPicture(rgbbuf);
  } else {
    SDL_Delay(kPausedCycleMs);
  }
  EndCycle(state, PollOneEvent());
}

void PlayLoop(std::FILE *file, int nframes, unsigned char *framebuf, unsigned char *rgbbuf) {
  PlaybackState state;
  state.nframes = nframes;
  while (state.running) RunCycle(state, file, framebuf, rgbbuf);
}

}  // namespace ozmira::viewer

void StartUp(const char *path) {
  using namespace ozmira::viewer;
  if (SDL_Init(SDL_INIT_VIDEO) < 0) {
    std::fprintf(stderr, "Couldn't initialize SDL: %s\n", SDL_GetError());
    std::exit(1);
  }
  std::atexit(SDL_Quit);
  screen = SDL_SetVideoMode(kWidth, kHeight, kWindowDepth, kVideoFlags);
  if (screen == nullptr) {
    std::fprintf(stderr, "Couldn't set %dx%dx%d video mode: %s\n", kWidth, kHeight, kWindowDepth, SDL_GetError());
    std::exit(1);
  }
  char title[kTitleBytes];
  FormatTitle(title, path);
  SDL_WM_SetCaption(title, kIconTitle);
}
