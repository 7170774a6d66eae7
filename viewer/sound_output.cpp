// Frame sound through an audio device.
#include "sound_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace ozmira::viewer {
namespace {

constexpr int kLagLimitVideoFrames = 2;  // sound never lags its picture by more
constexpr int kVideoFramesPerSecond = 25;
constexpr int kMaxChannels = DVLIB_AUDIO_MAX_CHANNELS;
constexpr int kMaxSamplesPerFrame = DVLIB_AUDIO_MAX_SAMPLES / kMaxChannels;  // per channel
constexpr int kQueueCapacityFrames = 4 * kMaxSamplesPerFrame;  // the lag limit, a lead and a frame fit
constexpr int kPairs = 2;
constexpr int kSampleFrameBytes = kQueueChannels * sizeof(int16_t);

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

class SdlDevice final : public AudioDevice {
 public:
  const char *Open(int rate, Fill fill, void *user) override {
    SDL_AudioSpec wanted{};
    wanted.freq = rate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = kQueueChannels;
    wanted.samples = kDeviceBufferFrames;
    wanted.callback = fill;
    wanted.userdata = user;
    // No format of its own back: SDL converts to whatever the device takes.
    if (SDL_OpenAudio(&wanted, nullptr) < 0) return SDL_GetError();
    SDL_PauseAudio(0);
    return nullptr;
  }
  void Close() override { SDL_CloseAudio(); }
  void Lock() override { SDL_LockAudio(); }
  void Unlock() override { SDL_UnlockAudio(); }
  bool Playing() override { return SDL_GetAudioStatus() == SDL_AUDIO_PLAYING; }
};

// The viewer's one call of the sound decode: the frame's samples per
// channel, interleaved into `pcm`, with their rate and channels; 0 when the
// frame has no sound that decodes.
int DecodeSound(const unsigned char *frame, int16_t *pcm, int &rate, int &channels) {
  const int samples = dvreadaudio(frame, pcm, &rate, &channels);
  return samples > 0 ? samples : 0;
}

// Four channels (two pairs) into one pair, in place, as libdv mixes them at
// its default level: half of each pair's sample, truncated, summed.
void MixPairs(int16_t *pcm, int samples) {
  for (int s = 0; s < samples; ++s) {
    const int16_t *in = pcm + s * kMaxChannels;
    const int left = in[0] / 2 + in[2] / 2;
    const int right = in[1] / 2 + in[3] / 2;
    pcm[s * kQueueChannels] = static_cast<int16_t>(left);
    pcm[s * kQueueChannels + 1] = static_cast<int16_t>(right);
  }
}

}  // namespace

AudioDevice &SdlAudioDevice() {
  static SdlDevice device;
  return device;
}

SoundOutput::SoundOutput(AudioDevice &device) : device_(device), queue_(kQueueCapacityFrames) {}

SoundOutput::~SoundOutput() {
  if (open_) device_.Close();
}

bool SoundOutput::OpenDevice(int rate) {
  if (open_) device_.Close();
  open_ = false;
  queue_.Clear();
  starved_ = true;
  const char *refusal;
  {
    QuietStandardError quiet;
    refusal = device_.Open(rate, Fill, this);
  }
  if (refusal != nullptr) {
    std::fprintf(stderr, "Couldn't open the audio device: %s; playing without sound\n", refusal);
    refused_ = true;
    return false;
  }
  open_ = true;
  rate_ = rate;
  nominal_frames_ = rate / kVideoFramesPerSecond;
  return true;
}

int SoundOutput::LagLimitFrames() const {
  return kLagLimitVideoFrames * nominal_frames_ - kDeviceBufferFrames;
}

void SDLCALL SoundOutput::Fill(void *self, Uint8 *stream, int bytes) {
  // SDL has filled the stream with silence; what the queue lacks stays so.
  static_cast<SoundOutput *>(self)->Take(reinterpret_cast<int16_t *>(stream), bytes / kSampleFrameBytes);
}

int SoundOutput::Take(int16_t *out, int frames) {
  const int taken = queue_.Pop(out, frames);
  if (taken < frames) starved_ = true;
  return taken;
}

void SoundOutput::QueueFrame(const unsigned char *frame, bool own_picture) {
  if (refused_) return;
  int rate = 0;
  int channels = 0;
  const int samples = own_picture ? DecodeSound(frame, pcm_, rate, channels) : 0;
  if (samples > 0 && (!open_ || rate != rate_) && !OpenDevice(rate)) return;
  if (!open_) return;
  if (samples == 0) {
    std::memset(pcm_, 0, static_cast<size_t>(nominal_frames_) * kSampleFrameBytes);
    Enqueue(pcm_, nominal_frames_);
    return;
  }
  if (channels == kPairs * kQueueChannels) MixPairs(pcm_, samples);
  Enqueue(pcm_, samples);
}

void SoundOutput::Enqueue(const int16_t *pcm, int samples) {
  device_.Lock();
  // After the device ran dry, a device buffer of silence first, so that the
  // next frame's sound arrives before the device has played this one's.
  if (starved_) queue_.PushSilence(kDeviceBufferFrames);
  starved_ = false;
  const int excess = queue_.Frames() - LagLimitFrames();
  if (excess > 0) queue_.DropOldest(excess);
  queue_.Push(pcm, samples);
  device_.Unlock();
}

void SoundOutput::Drop() {
  if (!open_) return;
  device_.Lock();
  queue_.Clear();
  starved_ = true;
  device_.Unlock();
}

bool SoundOutput::HasRoomForFrame() {
  if (!open_ || !device_.Playing()) return true;
  device_.Lock();
  const bool room = queue_.Frames() <= LagLimitFrames();
  device_.Unlock();
  return room;
}

}  // namespace ozmira::viewer
