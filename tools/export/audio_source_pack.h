// A frame's audio as its AAUX source pack (0x50) states it: sampling rate,
// channels and quantisation. What --audio writes is libdv's decode
// (decoding/frame_audio.h), which serves the 16- and 12-bit modes.
#pragma once

#include <cstdint>
#include <optional>

namespace ozmira::frame_export {

struct AudioSource {
  int rate;          // samples a second, or 0 for a code this program does not know
  int channels;      // 2, 4 or 8, or 0 likewise
  int quantisation;  // bits a sample: 16, 12 (non-linear) or 20, or 0 likewise
};

// Absent when the frame has no source pack.
std::optional<AudioSource> read_audio_source(const uint8_t *block);

}  // namespace ozmira::frame_export
