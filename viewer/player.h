// The window and the playback loop, on SDL 1.2.
#pragma once

#include <SDL.h>

#include <cstdio>

#include "playback_state.h"

// The display surface of the 720 x 576 window; null until StartUp.
extern SDL_Surface *screen;

// Opens the video system and the window titled "Ozmira <path>" (icon title
// "testwin") and sets `screen`. Prints SDL's reason and exits with status 1
// when either cannot be had.
void StartUp(const char *path);

namespace ozmira::viewer {

inline constexpr int kWidth = 720;
inline constexpr int kHeight = 576;
inline constexpr int kPictureBytes = kWidth * kHeight * 3;

// Wraps the packed RGB picture `rgbbuf` (720 x 576, bytes R, G, B), without
// copying it, in a surface for one blit onto `screen`, then updates and flips
// the window. Prints SDL's reason when the blit fails and goes on; exits with
// status 1 when the wrapper surface cannot be made.
void ShowPicture(unsigned char *rgbbuf);

// One pass of the playback loop: brings the frame number into range, reads
// that frame into `framebuf`, decodes it into `rgbbuf` (unless F1 suspended
// decoding) and shows it if its number differs from the previous cycle's,
// else waits 40 ms; then applies at most one pending event, or advances by
// the step when none was pending.
void RunCycle(PlaybackState &state, std::FILE *file, unsigned char *framebuf, unsigned char *rgbbuf);

// Plays the `nframes` whole frames of `file` until q, Escape or a quit
// request: reads each frame into `framebuf`, decodes it into the packed RGB
// picture `rgbbuf` and shows it, one event per cycle.
void PlayLoop(std::FILE *file, int nframes, unsigned char *framebuf, unsigned char *rgbbuf);

}  // namespace ozmira::viewer
