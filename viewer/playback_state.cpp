// Playback rules of the viewer: range rule, advance and key table.
#include "playback_state.h"

#include <climits>
#include <cstdint>

namespace ozmira::viewer {
namespace {

// Doubles toward faster play in the step's own direction, up to kMaxStep.
int Doubled(int step) {
  if (step > kMaxStep / 2) return kMaxStep;
  if (step < -kMaxStep / 2) return -kMaxStep;
  return step * 2;
}

// Integer division by 2, truncating toward zero: 5 -> 2, -3 -> -1, 1 -> 0.
int Halved(int step) { return step / 2; }

void Advance(PlaybackState &state) {
  // Summed in 64 bits and held inside int: any sum past either end lands
  // where the range rule puts it, so the clamp changes no result.
  const int64_t next = int64_t{state.frameno} + state.step;
  state.frameno = next > INT_MAX ? INT_MAX : next < INT_MIN ? INT_MIN : static_cast<int>(next);
}

void ApplyKey(PlaybackState &state, int symbol) {
  switch (symbol) {
    case key::kF1: state.nodecode = 1 - state.nodecode; break;
    case key::kRight: state.step = state.step == 0 ? 1 : state.step < 0 ? -state.step : state.step; break;
    case key::kLeft: state.step = state.step == 0 ? -1 : state.step > 0 ? -state.step : state.step; break;
    case key::kSpace: state.step = 0; break;
    case key::kReturn: state.step = 1; break;
    case key::kUp:
      state.step = state.step > 0 ? Doubled(state.step) : state.step < 0 ? Halved(state.step) : 1;
      break;
    case key::kDown:
      state.step = state.step > 0 ? Halved(state.step) : state.step < 0 ? Doubled(state.step) : -1;
      break;
    case key::kPageUp:
      state.step = 0;
      state.frameno += 1;  // frameno is in range here, below INT_MAX
      break;
    case key::kPageDown:
      state.step = 0;
      state.frameno -= 1;
      break;
    case key::kHome:
      state.step = 0;
      state.frameno = 0;
      break;
    case key::kEnd:
      state.step = 0;
      state.frameno = state.nframes - 1;
      break;
    default: break;
  }
}

}  // namespace

void BringIntoRange(PlaybackState &state) {
  if (state.frameno >= state.nframes) state.frameno = 0;
  if (state.frameno < 0) state.frameno = state.nframes - 1;
}

bool FrameChanged(const PlaybackState &state) { return state.frameno != state.lastframe; }

void EndCycle(PlaybackState &state, const std::optional<PlaybackEvent> &event) {
  state.lastframe = state.frameno;
  if (event)
    ApplyEvent(state, *event);
  else
    Advance(state);
}

bool EndsPlayback(const PlaybackEvent &event) {
  return event.kind == EventKind::Quit ||
         (event.kind == EventKind::KeyPress && (event.key == key::kQ || event.key == key::kEscape));
}

bool PlaysSound(const PlaybackState &state) { return state.step == 1 && state.nodecode == 0; }

int FrameWaitMs(uint32_t now_ms, uint32_t last_start_ms, int period_ms) {
  // Unsigned difference: right across the clock's wrap-around.
  const uint32_t elapsed = now_ms - last_start_ms;
  return elapsed >= static_cast<uint32_t>(period_ms) ? 0 : period_ms - static_cast<int>(elapsed);
}

void ApplyEvent(PlaybackState &state, const PlaybackEvent &event) {
  if (EndsPlayback(event))
    state.running = 0;
  else if (event.kind == EventKind::KeyPress)
    ApplyKey(state, event.key);
}

}  // namespace ozmira::viewer
