// The sound of one DV frame: libdv's audio decode, behind checks of every
// field of the frame that libdv trusts, so no damaged frame makes it read or
// write out of bounds or print.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ozmira {

inline constexpr int kMaxAudioChannels = 4;
inline constexpr int kMaxAudioSamplesPerFrame = 1944;  // per channel, as libdv's DV_AUDIO_MAX_SAMPLES

struct AudioFormat {
  int rate = 0;          // samples a second per channel: 32000, 44100 or 48000
  int channels = 0;      // 2 or 4, as libdv delivers them
  int quantisation = 0;  // bits per sample as recorded: 16, or 12 (non-linear, widened to 16 by libdv)
};

// Decodes the audio of one frame block of `block_bytes` bytes (144000 for 625/50) with libdv's
// dv_decode_full_audio into `pcm`, channels interleaved, native-endian 16-bit, room for
// kMaxAudioChannels * kMaxAudioSamplesPerFrame values. Returns the samples per channel (> 0), or 0
// having written nothing and printed nothing when the frame holds no audio or audio libdv cannot decode
// safely.
//
// Four channels come from the 12-bit 32 kHz mode with a second pair recorded: channels 0 and 1 are the
// first pair, 2 and 3 the second, unmixed; when the two pairs state different sample counts, the smaller
// is returned, so every value returned is decoded. 12-bit audio is taken at 32 kHz only, where it fills
// the frame's samples. Audio recorded at other than normal speed is not decoded (libdv refuses it).
//
// Keeps a libdv decoder of its own, made on first use and kept for the life of the process (0 when it
// cannot be made). Its de-emphasis filter carries over from one frame to the next, as in libdv's own
// decode of consecutive frames. Not re-entrant: no two calls may overlap.
int DecodeFrameAudio(const uint8_t *block, size_t block_bytes, AudioFormat &format, int16_t *pcm);

// What DecodeFrameAudio would give for the block, without decoding it (so the
// de-emphasis filter is left as it is): the samples per channel, `format`
// set, or 0 with `format` untouched.
int ProbeFrameAudio(const uint8_t *block, size_t block_bytes, AudioFormat &format);

// The former name, for the viewer and the export until they take their sound from dvlib.
inline int decode_frame_audio(const uint8_t *block, size_t block_bytes, AudioFormat &format, int16_t *pcm) {
  return DecodeFrameAudio(block, block_bytes, format, pcm);
}

}  // namespace ozmira
