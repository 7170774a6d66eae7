// The sample ring.
#include "sample_queue.h"

#include <algorithm>
#include <cstring>

namespace ozmira::viewer {
namespace {

constexpr size_t kFrameBytes = kQueueChannels * sizeof(int16_t);
constexpr int kSilenceFrames = 64;
constexpr int16_t kSilence[kSilenceFrames * kQueueChannels] = {};

}  // namespace

int16_t *SampleQueue::At(int frame) {
  return &samples_[static_cast<size_t>(frame % Capacity()) * kQueueChannels];
}

// Frames from `frame` on that lie before the ring's end, of `count`.
int SampleQueue::BeforeEnd(int frame, int count) const {
  return std::min(count, Capacity() - frame % Capacity());
}

int SampleQueue::Push(const int16_t *pcm, int count) {
  count = std::min(count, Room());
  const int end = first_ + frames_;
  const int head = BeforeEnd(end, count);
  std::memcpy(At(end), pcm, head * kFrameBytes);
  std::memcpy(At(end + head), pcm + head * kQueueChannels, (count - head) * kFrameBytes);
  frames_ += count;
  return count;
}

void SampleQueue::PushSilence(int count) {
  while (count > 0) {
    const int pushed = Push(kSilence, std::min(count, kSilenceFrames));
    if (pushed == 0) return;
    count -= pushed;
  }
}

int SampleQueue::Pop(int16_t *out, int count) {
  count = std::min(count, frames_);
  const int head = BeforeEnd(first_, count);
  std::memcpy(out, At(first_), head * kFrameBytes);
  std::memcpy(out + head * kQueueChannels, At(first_ + head), (count - head) * kFrameBytes);
  DropOldest(count);
  return count;
}

void SampleQueue::DropOldest(int count) {
  count = std::min(count, frames_);
  first_ = (first_ + count) % Capacity();
  frames_ -= count;
}

}  // namespace ozmira::viewer
