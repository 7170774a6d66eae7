// The window's start-up and the events it hands the playback loop.
#pragma once

#include <SDL.h>

#include <optional>

#include "playback_state.h"

// The display surface of the 720 x 576 window; null until StartUp.
extern SDL_Surface *screen;

// Opens the video system and the window titled "Ozmira <path>" (icon title
// "testwin") and sets `screen`. Prints SDL's reason and exits with status 1
// when either cannot be had. Unless SDL_VIDEODRIVER names a driver, only
// SDL's X11 driver is tried: SDL's others draw on the console or nowhere.
// SDL's parachute is left out (its signal handler shut SDL down inside the
// handler and hung the process); SIGINT and SIGTERM end playback as q does,
// other signals take their default action; a signal the parent ignores stays
// ignored. SDL makes no mouse events.
void StartUp(const char *path);

namespace ozmira::viewer {

// At most one pending event, as the playback rules see it. A quit (q,
// Escape, a close request) is handed over as soon as SDL has taken it in,
// ahead of the events queued before it, even when the queue was full; so
// are SIGINT and SIGTERM, as a quit request. Key releases are not events here.
std::optional<PlaybackEvent> PollOneEvent();

}  // namespace ozmira::viewer
