// The viewer's playback state and its rules: the range rule that wraps the
// frame number at both ends, the advance by the step, the key table, when
// sound plays, and the wait that paces shown frames to the recorded rate.
// Plain C++ without any window system, so every rule is tested without one;
// the display loop translates its events into PlaybackEvent and calls these.
#pragma once

#include <cstdint>
#include <optional>

namespace ozmira::viewer {

// Key symbols the viewer acts on, with SDL 1.2's values (the display code
// checks them against SDL's own names at compile time).
namespace key {
inline constexpr int kReturn = 13;
inline constexpr int kEscape = 27;
inline constexpr int kSpace = 32;
inline constexpr int kQ = 113;
inline constexpr int kUp = 273;
inline constexpr int kDown = 274;
inline constexpr int kRight = 275;
inline constexpr int kLeft = 276;
inline constexpr int kHome = 278;
inline constexpr int kEnd = 279;
inline constexpr int kPageUp = 280;
inline constexpr int kPageDown = 281;
inline constexpr int kF1 = 282;
}  // namespace key

// Doubling stops at this magnitude, so Up and Down never overflow `step`;
// no file has that many frames in practice.
inline constexpr int kMaxStep = 1 << 30;

struct PlaybackState {
  int nframes = 1;     // whole frames in the file; the viewer refuses files with none
  int frameno = 0;     // the frame this cycle handles
  int lastframe = -1;  // frameno of the previous cycle
  int step = 1;        // added after a cycle with no event; 0 pauses, < 0 plays backwards
  int nodecode = 0;    // 1 while F1 has suspended decoding
  int running = 1;     // playback ends when this becomes 0
};

enum class EventKind { KeyPress, Quit, Other };

struct PlaybackEvent {
  EventKind kind = EventKind::Other;
  int key = 0;  // key symbol, for KeyPress only
};

// Start of a cycle: a frame number past the last frame, by any amount, becomes
// 0; then one below 0, by any amount, becomes the last frame. No modulo.
void BringIntoRange(PlaybackState &state);

// Whether this cycle's frame differs from the previous cycle's and so must be
// shown; otherwise the cycle only waits.
bool FrameChanged(const PlaybackState &state);

// End of a cycle: remembers this cycle's frame, then applies the one event
// taken, or advances by the step when none was pending.
void EndCycle(PlaybackState &state, const std::optional<PlaybackEvent> &event);

// The key table; a quit request ends playback; every other event does nothing.
void ApplyEvent(PlaybackState &state, const PlaybackEvent &event);

// Whether `event` ends playback: q, Escape or a quit request.
bool EndsPlayback(const PlaybackEvent &event);

// Whether the frames shown now carry their sound: forwards at step 1 with
// decoding on. Any other step, pause or F1 is silent.
bool PlaysSound(const PlaybackState &state);

// The recorded rate: a cycle that shows a frame starts this long after the
// previous one that showed a frame started, or later.
inline constexpr int kFramePeriodMs = 40;

// Milliseconds still to wait at `now_ms` before a frame may be shown, when
// the previous shown frame's cycle started at `last_start_ms` (both on a
// millisecond clock that wraps around at 2^32) and frames are `period_ms`
// apart; 0 when the time has come.
int FrameWaitMs(uint32_t now_ms, uint32_t last_start_ms, int period_ms);

}  // namespace ozmira::viewer
