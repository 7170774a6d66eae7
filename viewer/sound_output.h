// The sound of the frames shown, through SDL audio: each frame's own samples
// as libdv decodes them, queued in the order shown and played without gaps
// while frames keep coming every 40 ms. Frames of another sampling rate than
// the device's, and frames without sound, add nothing.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "frame_audio.h"
#include "sample_queue.h"

namespace ozmira::viewer {

class SoundOutput {
 public:
  SoundOutput();
  ~SoundOutput();  // closes the device before the queue goes away
  SoundOutput(const SoundOutput &) = delete;
  SoundOutput &operator=(const SoundOutput &) = delete;

  // Opens the audio device for the sound of `frame` (a whole 144000-byte
  // frame, the file's first). A frame without sound leaves the device closed
  // without a word; a device that cannot be opened leaves it closed after one
  // line on standard error. What SDL's audio drivers print while they look
  // for a device is kept off standard error.
  void Open(const unsigned char *frame);
  bool IsOpen() const { return open_; }

  // Queues the sound of the frame just shown. Its first sample plays at
  // most two frames' time after it was queued: older sound that would delay
  // it more is dropped.
  void QueueFrame(const unsigned char *frame);
  // Silence from now on: everything queued is dropped.
  void Drop();
  // Whether the queue leaves room for another frame within the two frames'
  // lag; true when no device is open or it stopped. A device that plays
  // slower than frames come is waited for by the loop.
  bool HasRoomForFrame();

 private:
  static void SDLCALL Fill(void *self, Uint8 *stream, int bytes);
  int LagLimitFrames() const;  // sample frames queued ahead of a new frame, at most

  bool open_ = false;
  bool starved_ = true;  // the device ran dry: the next sound starts after a lead of silence
  int rate_ = 0;
  int nominal_frames_ = 0;  // sample frames in 40 ms at the device's rate
  int device_frames_ = 0;   // sample frames the device takes at a time
  SampleQueue queue_;
  int16_t pcm_[ozmira::kMaxAudioChannels * ozmira::kMaxAudioSamplesPerFrame];
};

}  // namespace ozmira::viewer
