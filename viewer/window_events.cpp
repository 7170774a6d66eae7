// StartUp and the event intake: everything SDL does apart from the picture.
#include "window_events.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "player.h"
#include "window_title.h"

SDL_Surface *screen = nullptr;

namespace ozmira::viewer {
namespace {

constexpr int kWindowDepth = 32;
constexpr Uint32 kVideoFlags = 0;  // a software surface in a window of fixed size
constexpr char kIconTitle[] = "testwin";
constexpr char kVideoDriverVariable[] = "SDL_VIDEODRIVER";
constexpr char kWindowDriver[] = "x11";  // the one driver of SDL's on Linux that opens a window

static_assert(key::kReturn == SDLK_RETURN && key::kEscape == SDLK_ESCAPE && key::kSpace == SDLK_SPACE &&
              key::kQ == SDLK_q && key::kUp == SDLK_UP && key::kDown == SDLK_DOWN &&
              key::kRight == SDLK_RIGHT && key::kLeft == SDLK_LEFT && key::kHome == SDLK_HOME &&
              key::kEnd == SDLK_END && key::kPageUp == SDLK_PAGEUP && key::kPageDown == SDLK_PAGEDOWN &&
              key::kF1 == SDLK_F1);

volatile std::sig_atomic_t stop_signalled = 0;
// Set by the event filter, which SDL 1.2 calls on the thread that polls.
bool quit_seen = false;

void NoteStopSignal(int) { stop_signalled = 1; }

// Installed before SDL starts, so that SDL leaves these two signals alone. A
// signal the parent ignores stays ignored (a shell's background job ignores
// SIGINT).
void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = NoteStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGINT, SIGTERM}) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
      sigaction(signal, &action, nullptr);
  }
}

PlaybackEvent Translate(const SDL_Event &event) {
  switch (event.type) {
    case SDL_KEYDOWN: return {EventKind::KeyPress, event.key.keysym.sym};
    case SDL_QUIT: return {EventKind::Quit, 0};
    default: return {EventKind::Other, 0};
  }
}

// Runs for each event before SDL queues it, even when the queue is full.
// Key releases and the pointer entering or leaving the window (a mouse event
// too) are never queued: each would cost a cycle without advance.
int SDLCALL FilterEvent(const SDL_Event *event) {
  if (event->type == SDL_KEYUP) return 0;
  if (event->type == SDL_ACTIVEEVENT && event->active.state == SDL_APPMOUSEFOCUS) return 0;
  if (EndsPlayback(Translate(*event))) quit_seen = true;
  return 1;
}

void StopMouseEvents() {
  for (Uint8 type : {SDL_MOUSEMOTION, SDL_MOUSEBUTTONDOWN, SDL_MOUSEBUTTONUP})
    SDL_EventState(type, SDL_IGNORE);
}

}  // namespace

std::optional<PlaybackEvent> PollOneEvent() {
  // The filter sees each event as SDL takes it in. A quit it saw acts now,
  // ahead of the events queued before it (each of which would cost a cycle)
  // and whether or not the queue had room for it.
  SDL_PumpEvents();
  if (stop_signalled || quit_seen) {
    quit_seen = false;
    return PlaybackEvent{EventKind::Quit, 0};
  }
  SDL_Event event;
  if (SDL_PollEvent(&event)) return Translate(event);
  return std::nullopt;
}

}  // namespace ozmira::viewer

void StartUp(const char *path) {
  using namespace ozmira::viewer;
  InstallStopSignals();
  const char *driver = std::getenv(kVideoDriverVariable);
  if (driver == nullptr || *driver == '\0') setenv(kVideoDriverVariable, kWindowDriver, 1);
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE) < 0) {
    std::fprintf(stderr, "Couldn't initialize SDL: %s\n", SDL_GetError());
    std::exit(1);
  }
  std::atexit(SDL_Quit);
  screen = SDL_SetVideoMode(kWidth, kHeight, kWindowDepth, kVideoFlags);
  if (screen == nullptr) {
    std::fprintf(stderr, "Couldn't set %dx%dx%d video mode: %s\n", kWidth, kHeight, kWindowDepth,
                 SDL_GetError());
    std::exit(1);
  }
  char title[kTitleBytes];
  FormatTitle(title, path);
  SDL_WM_SetCaption(title, kIconTitle);
  // SDL's event state is set up by SDL_Init; these must follow it.
  StopMouseEvents();
  SDL_SetEventFilter(FilterEvent);
}
