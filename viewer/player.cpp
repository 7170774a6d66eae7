// The playback loop: pictures, sound and pacing.
#include "player.h"

#include <cstdlib>

#include "dvlib.h"
#include "frame_file.h"

namespace ozmira::viewer {
namespace {

constexpr int kPictureDepth = 24;
constexpr int kPicturePitch = kWidth * 3;
constexpr Uint32 kRedMask = 0xFF;
constexpr Uint32 kGreenMask = 0xFF00;
constexpr Uint32 kBlueMask = 0xFF0000;
constexpr Uint32 kAlphaMask = 0;
constexpr int kPausedCycleMs = 40;
constexpr int kFullDetailRequest = 2;
constexpr int kPalDifSequences = 12;  // 625/50: 144000 bytes
// How much longer than the frame period a cycle waits for a device that
// plays slower than frames come, before older sound is dropped instead.
constexpr int kMaxSoundWaitMs = 200;
constexpr int kSoundPollMs = 2;

// Decodes `framebuf` into `rgbbuf`; false, with the picture untouched, when
// the frame's header does not parse (dvreadblock says so) or its DIF header
// marks a 525/60 frame of 720 x 480, such as an NTSC frame or an all-zero
// dropout block (dvreadinfo says so without a word).
bool DecodeFrame(const unsigned char *framebuf, unsigned char *rgbbuf) {
  dvframeinfo info{};
  info.size = sizeof info;
  if (dvreadinfo(framebuf, &info) == 1 && info.dif_sequences != kPalDifSequences) return false;
  return dvreadblock(framebuf, rgbbuf, kFullDetailRequest, 0) == 1;
}

class SdlTicks final : public Clock {
 public:
  Uint32 NowMs() override { return SDL_GetTicks(); }
  void DelayMs(int ms) override { SDL_Delay(ms); }
};

// Waits, on the player's clock, until the frame period has passed since the
// last shown frame's slot, and while `with_sound` until the sound queue has
// room (kMaxSoundWaitMs more at most); then notes this cycle's slot.
void WaitForFrameSlot(Player &player, bool with_sound) {
  if (player.shown_before) {
    for (;;) {
      const Uint32 now = player.clock->NowMs();
      const int wait = FrameWaitMs(now, player.last_shown_ms, player.period_ms);
      if (wait > 0) {
        player.clock->DelayMs(wait);
        continue;
      }
      if (!with_sound || player.sound->HasRoomForFrame() ||
          FrameWaitMs(now, player.last_shown_ms, player.period_ms + kMaxSoundWaitMs) == 0)
        break;
      player.clock->DelayMs(kSoundPollMs);
    }
  }
  // On time (less than a period past its slot), this cycle takes its slot,
  // one period after the last: what the clock's whole milliseconds and
  // SDL_Delay's oversleeping add to a cycle does not add up, so frames keep
  // to 25 a second and to the sound. Late (a slow decode, a stalled sound
  // device, the first frame after a pause) the slots start again from now.
  const Uint32 now = player.clock->NowMs();
  const Uint32 slot = player.last_shown_ms + player.period_ms;
  const bool on_time = player.shown_before && FrameWaitMs(now, slot, player.period_ms) > 0;
  player.last_shown_ms = on_time ? slot : now;
  player.shown_before = true;
}

}  // namespace

Clock &SdlClock() {
  static SdlTicks clock;
  return clock;
}

void ShowPicture(unsigned char *rgbbuf) {
  SDL_Surface *wrapper = SDL_CreateRGBSurfaceFrom(rgbbuf, kWidth, kHeight, kPictureDepth, kPicturePitch,
                                                  kRedMask, kGreenMask, kBlueMask, kAlphaMask);
  if (wrapper == nullptr) {
    std::fprintf(stderr, "Couldn't make a surface over the picture: %s\n", SDL_GetError());
    std::exit(1);
  }
  if (SDL_UpperBlit(wrapper, nullptr, screen, nullptr) < 0)
    std::fprintf(stderr, "BlitSurface error: %s\n", SDL_GetError());
  SDL_UpdateRect(screen, 0, 0, wrapper->w, wrapper->h);
  SDL_FreeSurface(wrapper);
  SDL_Flip(screen);
}

void RunCycle(PlaybackState &state, Player &player) {
  BringIntoRange(state);
  const bool with_sound = PlaysSound(state);
  if (!with_sound) player.sound->Drop();
  const bool show = FrameChanged(state);
  if (show) WaitForFrameSlot(player, with_sound);
  // A short read is not examined: framebuf keeps the bytes it held.
  ReadFrame(player.file, state.frameno, player.framebuf);
  if (show) {
    // While decoding is suspended the picture last decoded is shown again.
    // (PlaysSound does not hold then, so no sound is queued.)
    const bool own_picture = !state.nodecode && DecodeFrame(player.framebuf, player.rgbbuf);
    ShowPicture(player.rgbbuf);
    // A frame not shown as its own picture plays its length of silence, so later sound stays with the
    // pictures.
    if (with_sound) player.sound->QueueFrame(player.framebuf, own_picture);
  } else {
    player.clock->DelayMs(kPausedCycleMs);
  }
  EndCycle(state, PollOneEvent());
}

void PlayLoop(Player &player, int nframes) {
  PlaybackState state;
  state.nframes = nframes;
  while (state.running) RunCycle(state, player);
}

}  // namespace ozmira::viewer
