// The window and the playback loop, on SDL 1.2.
#pragma once

#include <SDL.h>

#include <cstdio>

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

// Plays the `nframes` whole frames of `file` until q, Escape or a quit
// request: reads each frame into `framebuf`, decodes it into the packed RGB
// picture `rgbbuf` and shows it, one event per cycle.
void PlayLoop(std::FILE *file, int nframes, unsigned char *framebuf, unsigned char *rgbbuf);

}  // namespace ozmira::viewer
