// A fixed ring of interleaved 16-bit stereo sample frames between the
// playback loop, which adds each shown frame's sound, and the audio device's
// callback, which takes it. Holds no lock itself: callers hold SDL's audio
// lock (the callback runs under it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ozmira::viewer {

inline constexpr int kQueueChannels = 2;

class SampleQueue {
 public:
  explicit SampleQueue(int capacity_frames)
      : samples_(static_cast<std::size_t>(capacity_frames) * kQueueChannels) {}

  int Frames() const { return frames_; }
  int Room() const { return Capacity() - frames_; }

  // Appends `count` sample frames (count x 2 values) from `pcm`, or as many
  // as there is room for; returns how many were appended.
  int Push(const int16_t *pcm, int count);
  // Appends `count` frames of silence, as far as there is room.
  void PushSilence(int count);
  // Moves up to `count` of the oldest frames into `out`; returns how many.
  int Pop(int16_t *out, int count);
  // Forgets the `count` oldest frames (all of them when fewer are held).
  void DropOldest(int count);
  void Clear() { DropOldest(frames_); }

 private:
  int Capacity() const { return static_cast<int>(samples_.size()) / kQueueChannels; }
  int16_t *At(int frame);
  int BeforeEnd(int frame, int count) const;

  std::vector<int16_t> samples_;
  int first_ = 0;   // the oldest frame held
  int frames_ = 0;  // frames held
};

}  // namespace ozmira::viewer
