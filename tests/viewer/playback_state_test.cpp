// The playback rules, cycle by cycle, without a window. Expected values are
// worked out by hand from the key table and the range rule.
#include "playback_state.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <tuple>
#include <vector>

namespace ozmira::viewer {
namespace {

PlaybackEvent Key(int symbol) { return {EventKind::KeyPress, symbol}; }

PlaybackState State(int nframes, int frameno, int step) {
  PlaybackState state;
  state.nframes = nframes;
  state.frameno = frameno;
  state.step = step;
  return state;
}

// One cycle as the display loop runs it; returns the frame shown, or -1 when
// the cycle only waits.
int RunCycle(PlaybackState &state, const std::optional<PlaybackEvent> &event = std::nullopt) {
  BringIntoRange(state);
  const int shown = FrameChanged(state) ? state.frameno : -1;
  EndCycle(state, event);
  return shown;
}

struct KeyRow {
  int key, step_before, step_after, frameno_after;
};

TEST(KeyTable, EveryKeyActsOnStepAndFrameAsTheTableSays) {
  const std::vector<KeyRow> rows = {
      {key::kRight, 0, 1, 40},      {key::kRight, -4, 4, 40},   {key::kRight, 3, 3, 40},
      {key::kLeft, 0, -1, 40},      {key::kLeft, 4, -4, 40},    {key::kLeft, -3, -3, 40},
      {key::kSpace, 6, 0, 40},      {key::kReturn, -8, 1, 40},  {key::kReturn, 0, 1, 40},
      {key::kUp, 5, 10, 40},        {key::kUp, -3, -1, 40},     {key::kUp, 0, 1, 40},
      {key::kUp, -1, 0, 40},        {key::kDown, 5, 2, 40},     {key::kDown, -4, -8, 40},
      {key::kDown, 0, -1, 40},      {key::kDown, 1, 0, 40},     {key::kPageUp, 3, 0, 41},
      {key::kPageDown, -2, 0, 39},  {key::kHome, 5, 0, 0},      {key::kEnd, 5, 0, 99},
      {'a', 5, 5, 40},              {key::kF1, 7, 7, 40},
  };
  for (const KeyRow &row : rows) {
    PlaybackState state = State(100, 40, row.step_before);
    ApplyEvent(state, Key(row.key));
    EXPECT_EQ(state.step, row.step_after) << "key " << row.key << " at step " << row.step_before;
    EXPECT_EQ(state.frameno, row.frameno_after) << "key " << row.key << " at step " << row.step_before;
    EXPECT_EQ(state.running, 1);
  }
}

TEST(KeyTable, QEscapeAndQuitRequestEndPlaybackAndF1Toggles) {
  for (const PlaybackEvent &event : {Key(key::kQ), Key(key::kEscape), PlaybackEvent{EventKind::Quit, 0}}) {
    PlaybackState state = State(100, 40, 1);
    ApplyEvent(state, event);
    EXPECT_EQ(state.running, 0);
    EXPECT_EQ(state.frameno, 40);
  }
  PlaybackState state = State(100, 40, 1);
  ApplyEvent(state, Key(key::kF1));
  EXPECT_EQ(state.nodecode, 1);
  ApplyEvent(state, Key(key::kF1));
  EXPECT_EQ(state.nodecode, 0);
}

TEST(KeyTable, UpAndDownHalveAndDoubleThroughPause) {
  PlaybackState state = State(100, 0, -4);
  std::vector<int> steps;
  for (int i = 0; i < 6; ++i) ApplyEvent(state, Key(key::kUp)), steps.push_back(state.step);
  EXPECT_EQ(steps, (std::vector<int>{-2, -1, 0, 1, 2, 4}));
  steps.clear();
  for (int i = 0; i < 6; ++i) ApplyEvent(state, Key(key::kDown)), steps.push_back(state.step);
  EXPECT_EQ(steps, (std::vector<int>{2, 1, 0, -1, -2, -4}));
}

TEST(KeyTable, DoublingStopsAtTwoToTheThirtieth) {
  PlaybackState state = State(100, 0, 1);
  for (int i = 0; i < 40; ++i) ApplyEvent(state, Key(key::kUp));
  EXPECT_EQ(state.step, 1 << 30);
  state.step = -1;
  for (int i = 0; i < 40; ++i) ApplyEvent(state, Key(key::kDown));
  EXPECT_EQ(state.step, -(1 << 30));
  ApplyEvent(state, Key(key::kUp));
  EXPECT_EQ(state.step, -(1 << 29));
}

TEST(RangeRule, PassingAnEndLandsOnTheOtherEndNotModulo) {
  PlaybackState forward = State(100, 96, 8);
  EXPECT_EQ(RunCycle(forward), 96);
  EXPECT_EQ(RunCycle(forward), 0);  // 104 is past the end: frame 0, not 4
  PlaybackState backward = State(100, 3, -8);
  EXPECT_EQ(RunCycle(backward), 3);
  EXPECT_EQ(RunCycle(backward), 99);  // -5 is before the start: the last frame, not 95

  PlaybackState huge = State(INT_MAX, INT_MAX - 1, 1 << 30);
  EXPECT_EQ(RunCycle(huge), INT_MAX - 1);
  EXPECT_EQ(RunCycle(huge), 0);  // the sum does not wrap to a negative frame number
}

TEST(RangeRule, PageKeysHomeAndEndWrapAndPause) {
  PlaybackState state = State(100, 99, 1);
  RunCycle(state, Key(key::kPageUp));
  EXPECT_EQ(RunCycle(state), 0);
  RunCycle(state, Key(key::kPageDown));
  EXPECT_EQ(RunCycle(state), 99);
  RunCycle(state, Key(key::kHome));
  EXPECT_EQ(RunCycle(state), 0);
  RunCycle(state, Key(key::kEnd));
  EXPECT_EQ(RunCycle(state), 99);
  EXPECT_EQ(state.step, 0);
  EXPECT_EQ(RunCycle(state), -1);  // paused: the cycle only waits
}

TEST(RangeRule, OneFrameFileAndStepOfAtLeastTheFrameCountStayOnFrameZero) {
  PlaybackState one = State(1, 0, 5);
  EXPECT_EQ(RunCycle(one), 0);
  PlaybackState wide = State(10, 0, 10);
  EXPECT_EQ(RunCycle(wide), 0);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(RunCycle(one), -1);
    EXPECT_EQ(RunCycle(wide), -1);
  }
  RunCycle(one, Key(key::kEnd));
  EXPECT_EQ(RunCycle(one), -1);
  EXPECT_EQ(one.frameno, 0);
}

TEST(Cycles, AnyEventTakesThePlaceOfTheAdvance) {
  PlaybackState state = State(100, 10, 3);
  EXPECT_EQ(RunCycle(state), 10);
  EXPECT_EQ(RunCycle(state, PlaybackEvent{EventKind::Other, 0}), 13);  // e.g. a key release or a mouse move
  EXPECT_EQ(RunCycle(state, Key('x')), -1);                             // nothing moved: the cycle waits
  EXPECT_EQ(RunCycle(state), -1);
  EXPECT_EQ(RunCycle(state), 16);
  EXPECT_EQ(state.step, 3);
}

TEST(SoundAndPace, SoundOnlyForwardsAtStep1WithDecodingOnAndFramesWaitOut40MsOnAWrappingClock) {
  for (const auto &[step, nodecode, sound] : {std::tuple{1, 0, true}, {2, 0, false}, {-1, 0, false}, {0, 0, false}, {1, 1, false}})
    EXPECT_EQ(PlaysSound(PlaybackState{100, 40, -1, step, nodecode, 1}), sound) << "step " << step << ", nodecode " << nodecode;
  const struct { uint32_t now, last_start; int wait; } waits[] = {
      {1000, 990, 30}, {1039, 1000, 1}, {1040, 1000, 0}, {5000, 1000, 0}, {5, UINT32_MAX - 4, 30}};
  for (const auto &w : waits) EXPECT_EQ(FrameWaitMs(w.now, w.last_start, kFramePeriodMs), w.wait) << w.now << " after " << w.last_start;
}

}  // namespace
}  // namespace ozmira::viewer
