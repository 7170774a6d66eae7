// Frame sound through SDL audio.
#include "sound_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "frame_file.h"

namespace ozmira::viewer {
namespace {

constexpr int kDeviceBufferFrames = 512;  // what the device takes at a time: 11 ms at 48 kHz, 16 at 32
constexpr int kLagLimitVideoFrames = 2;   // sound never lags its picture by more
constexpr int kVideoFramesPerSecond = 25;
constexpr int kQueueCapacityFrames = 4 * kMaxAudioSamplesPerFrame;  // the lag limit, a lead and a frame fit
constexpr int kPairs = 2;

// Keeps standard error pointed at /dev/null while it lives: ALSA's library
// prints eight lines when it finds no sound card, and SDL's disk driver a
// warning, while SDL looks for a device.
class QuietStandardError {
 public:
  QuietStandardError() {
    std::fflush(stderr);
    saved_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null >= 0) dup2(null, STDERR_FILENO);
    if (null >= 0) close(null);
  }
  ~QuietStandardError() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
  }
  QuietStandardError(const QuietStandardError &) = delete;
  QuietStandardError &operator=(const QuietStandardError &) = delete;

 private:
  int saved_ = -1;
};

// Four channels (two pairs) into one pair, in place, as libdv mixes them at
// its default level: half of each pair's sample, truncated, summed.
void MixPairs(int16_t *pcm, int samples) {
  for (int s = 0; s < samples; ++s) {
    const int16_t *in = pcm + s * kMaxAudioChannels;
    const int left = in[0] / 2 + in[2] / 2, right = in[1] / 2 + in[3] / 2;
    pcm[s * kQueueChannels] = static_cast<int16_t>(left);
    pcm[s * kQueueChannels + 1] = static_cast<int16_t>(right);
  }
}

}  // namespace

SoundOutput::SoundOutput() : queue_(kQueueCapacityFrames) {}

SoundOutput::~SoundOutput() {
  if (open_) SDL_CloseAudio();
}

void SoundOutput::Open(const unsigned char *frame) {
  AudioFormat format;
  if (decode_frame_audio(frame, kFrameBytes, format, pcm_) == 0) return;
  SDL_AudioSpec wanted{};
  wanted.freq = format.rate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = kQueueChannels;
  wanted.samples = kDeviceBufferFrames;
  wanted.callback = Fill;
  wanted.userdata = this;
  int opened;
  {
    QuietStandardError quiet;
    // No format of its own back: SDL converts to whatever the device takes.
    opened = SDL_OpenAudio(&wanted, nullptr);
  }
  if (opened < 0) {
    std::fprintf(stderr, "Couldn't open the audio device: %s; playing without sound\n", SDL_GetError());
    return;
  }
  open_ = true;
  rate_ = format.rate;
  nominal_frames_ = rate_ / kVideoFramesPerSecond;
  device_frames_ = kDeviceBufferFrames;
  SDL_PauseAudio(0);
}

int SoundOutput::LagLimitFrames() const { return kLagLimitVideoFrames * nominal_frames_ - device_frames_; }

void SDLCALL SoundOutput::Fill(void *self, Uint8 *stream, int bytes) {
  // SDL has filled the stream with silence; what the queue lacks stays so.
  auto *sound = static_cast<SoundOutput *>(self);
  const int wanted = bytes / static_cast<int>(kQueueChannels * sizeof(int16_t));
  if (sound->queue_.Pop(reinterpret_cast<int16_t *>(stream), wanted) < wanted) sound->starved_ = true;
}

void SoundOutput::QueueFrame(const unsigned char *frame) {
  if (!open_) return;
  AudioFormat format;
  const int samples = decode_frame_audio(frame, kFrameBytes, format, pcm_);
  if (samples == 0 || format.rate != rate_) return;
  if (format.channels == kPairs * kQueueChannels) MixPairs(pcm_, samples);
  SDL_LockAudio();
  // After the device ran dry, a device buffer of silence first, so that the
  // next frame's sound arrives before the device has played this one's.
  if (starved_) queue_.PushSilence(device_frames_);
  starved_ = false;
  const int excess = queue_.Frames() - LagLimitFrames();
  if (excess > 0) queue_.DropOldest(excess);
  queue_.Push(pcm_, samples);
  SDL_UnlockAudio();
}

void SoundOutput::Drop() {
  if (!open_) return;
  SDL_LockAudio();
  queue_.Clear();
  starved_ = true;
  SDL_UnlockAudio();
}

bool SoundOutput::HasRoomForFrame() {
  // A device whose driver failed (a disk driver's full disk, a sound server
  // gone) has stopped taking sound: nothing is waited for.
  if (!open_ || SDL_GetAudioStatus() != SDL_AUDIO_PLAYING) return true;
  SDL_LockAudio();
  const bool room = queue_.Frames() <= LagLimitFrames();
  SDL_UnlockAudio();
  return room;
}

}  // namespace ozmira::viewer
