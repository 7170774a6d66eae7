// The sound of the frames shown, through an audio device (SDL's): each
// frame's own samples as dvlib decodes them (dvreadaudio), queued in the order shown and
// played without gaps while frames keep coming every 40 ms. The device opens
// at the first frame that has sound and reopens when the rate changes; a
// frame without sound of the device's rate, or one not shown as its own
// picture, plays its length of silence, so later sound stays with the
// pictures.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "dvlib.h"
#include "sample_queue.h"

namespace ozmira::viewer {

// What the sound needs of an audio device. The device calls `fill` with
// the user data from a thread of its own, under its lock.
class AudioDevice {
 public:
  using Fill = void(SDLCALL *)(void *user, Uint8 *stream, int bytes);
  virtual ~AudioDevice() = default;
  // Opens for interleaved 16-bit stereo at `rate` and starts playing.
  // Returns null, or the reason why it cannot.
  virtual const char *Open(int rate, Fill fill, void *user) = 0;
  virtual void Close() = 0;
  virtual void Lock() = 0;
  virtual void Unlock() = 0;
  // False once the driver has failed (a disk driver's full disk, a sound
  // server gone): it takes no more sound.
  virtual bool Playing() = 0;
};

// SDL's audio device, shared by the whole process.
AudioDevice &SdlAudioDevice();

inline constexpr int kDeviceBufferFrames = 512;  // what SDL's device takes at a time: 11 ms at 48 kHz

class SoundOutput {
 public:
  explicit SoundOutput(AudioDevice &device = SdlAudioDevice());
  ~SoundOutput();  // closes the device before the queue goes away
  SoundOutput(const SoundOutput &) = delete;
  SoundOutput &operator=(const SoundOutput &) = delete;

  int Rate() const { return rate_; }  // the open device's rate; 0 before one opened

  // Queues the sound of the frame just shown (a whole 144000-byte frame);
  // `own_picture` is false when the frame was not shown as its own picture,
  // which then plays its length of silence instead. Opens the device at the
  // first frame with sound, and again when a frame's rate differs from the
  // device's; a device that cannot be opened is reported once, on standard
  // error, and no sound plays from then on. What SDL's audio drivers print
  // while they look for a device is kept off standard error. A frame's first
  // sample plays at most two frames' time after it was queued: older sound
  // that would delay it more is dropped.
  void QueueFrame(const unsigned char *frame, bool own_picture);
  // Silence from now on: everything queued is dropped.
  void Drop();
  // Whether the queue leaves room for another frame within the two frames'
  // lag; true when no device is open or it stopped. A device that plays
  // slower than frames come is waited for by the loop.
  bool HasRoomForFrame();
  // What the device's callback does: moves up to `frames` queued sample
  // frames into `out` and returns how many; what the queue lacks is left as
  // it was (silence).
  int Take(int16_t *out, int frames);

 private:
  static void SDLCALL Fill(void *self, Uint8 *stream, int bytes);
  bool OpenDevice(int rate);
  void Enqueue(const int16_t *pcm, int samples);
  int LagLimitFrames() const;  // sample frames queued ahead of a new frame, at most

  AudioDevice &device_;
  bool open_ = false;
  bool refused_ = false;  // the device could not be opened: said once, no sound from then on
  bool starved_ = true;   // the device ran dry: the next sound starts after a lead of silence
  int rate_ = 0;
  int nominal_frames_ = 0;  // sample frames in 40 ms at the device's rate
  SampleQueue queue_;
  int16_t pcm_[DVLIB_AUDIO_MAX_SAMPLES];  // one frame's sound, every channel
};

}  // namespace ozmira::viewer
