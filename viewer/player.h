// The playback loop: each cycle reads a frame, decodes and shows it with its
// sound, paced to the recorded rate, and takes one event.
#pragma once

#include <SDL.h>

#include <cstdio>

#include "playback_state.h"
#include "sound_output.h"
#include "window_events.h"

namespace ozmira::viewer {

inline constexpr int kWidth = 720;
inline constexpr int kHeight = 576;
inline constexpr int kPictureBytes = kWidth * kHeight * 3;

// The clock the loop paces itself by and waits on: SDL's by default
// (SDL_GetTicks and SDL_Delay), a test's own in the tests.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual Uint32 NowMs() = 0;  // milliseconds, wrapping around at 2^32
  virtual void DelayMs(int ms) = 0;
};

Clock &SdlClock();

// What the loop works on, and when it last showed a frame.
struct Player {
  std::FILE *file = nullptr;
  unsigned char *framebuf = nullptr;  // one raw frame
  unsigned char *rgbbuf = nullptr;    // the packed RGB picture, 720 x 576, bytes R, G, B
  SoundOutput *sound = nullptr;       // never null; silent when not open
  Clock *clock = &SdlClock();
  int period_ms = kFramePeriodMs;  // shown frames start this far apart at least; 0 does not pace
  bool shown_before = false;
  // On `clock`, the slot of the last cycle that showed a frame: when it
  // started, or one period after the slot before when it came on time.
  Uint32 last_shown_ms = 0;
};

// Wraps the packed RGB picture `rgbbuf` (720 x 576, bytes R, G, B), without
// copying it, in a surface for one blit onto `screen`, then updates and flips
// the window. Prints SDL's reason when the blit fails and goes on; exits with
// status 1 when the wrapper surface cannot be made.
void ShowPicture(unsigned char *rgbbuf);

// One pass of the playback loop: brings the frame number into range; when
// the frame differs from the previous cycle's, waits until `period_ms` have
// passed since the last shown frame's slot (and, while sound plays,
// for a device that plays slower than frames come, up to 200 ms longer),
// reads it, decodes it into `rgbbuf` (unless F1 suspended decoding or the
// frame is not 720 x 576: the previous picture then stays) and shows it,
// queueing the frame's sound while PlaysSound holds (its length of silence
// when it did not decode as its own picture); otherwise reads it and waits
// 40 ms. Sound is dropped in every cycle where PlaysSound does not hold.
// Then applies at most one pending event, or advances by the step when none
// was pending.
void RunCycle(PlaybackState &state, Player &player);

// Plays the `nframes` whole frames of `player.file` until q, Escape, a quit
// request, SIGINT or SIGTERM.
void PlayLoop(Player &player, int nframes);

}  // namespace ozmira::viewer
