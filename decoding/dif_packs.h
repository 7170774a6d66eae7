// Typed readers of the packs a DV frame records about itself (dif_frame.h
// says where they lie): the VAUX source and source control packs, the AAUX
// source pack, the timecode, the recording date and time, and the STA field
// and error-coded sound samples of its blocks. Each reads the frame only over
// the DIF sequences its DSF bit marks.
#pragma once

#include <cstdint>

namespace ozmira {

// VAUX source (0x60) and source control (0x61) packs.
struct VideoSource {
  int fifty_fields = -1;  // 1 for 50 fields, 0 for 60, -1 when no source pack
  int colour = -1;        // 1 colour, 0 black and white, -1 when no source pack
  int aspect = -1;        // 0 for 4:3, 1 for 16:9, -1 when no source control pack
};
VideoSource ReadVideoSource(const uint8_t *frame);

// The first pair's AAUX source pack (0x50), where libdv reads it: sequence 0,
// audio block 3. A code this reader does not know reads as 0.
struct AudioSource {
  int rate = 0;            // 48000, 44100 or 32000
  int quantisation = 0;    // 16, 12 (non-linear) or 20
  int samples = 0;         // samples per frame and channel as stated, 0 for an unknown rate
  int channels = 0;        // 2; 4 when 12-bit 32 kHz sound records its second pair
  int second_samples = 0;  // the second pair's stated samples when it is recorded
  int rate_code = 0;       // the SMP field, 0 to 7
};
// False, with `source` untouched, when the pack is not there.
bool ReadAudioSource(const uint8_t *frame, AudioSource *source);

// Where the second pair's source pack lies, counted from the frame's start.
int SecondPairSourceOffset(const uint8_t *frame);
// Where the first pair's source and source control packs lie.
int AudioSourceOffset();
int AudioControlOffset();

// Timecode: subcode pack 0x13.
struct Timecode {
  int hours = -1, minutes = -1, seconds = -1, frames = -1;
};
// Recording date and time: packs 0x62 and 0x63 in subcode or VAUX, 0x52 and
// 0x53 in AAUX, looked for in that order.
struct RecordingTime {
  int year = -1, month = -1, day = -1;  // two-digit years: 69-99 are 1969-1999, 00-68 2000-2068
  int hours = -1, minutes = -1, seconds = -1;
};
// Packs whose digits are not decimal or whose values are out of range
// (frame digits at or above 25 for 625/50, 30 for 525/60) are skipped and the
// next valid one is taken; false, with -1 kept, when none is valid.
bool ReadTimecode(const uint8_t *frame, Timecode *timecode);
void ReadRecordingTime(const uint8_t *frame, RecordingTime *recorded);

// The STA field (the high nibble of byte 3) of every video block.
struct BlockStatus {
  int video_blocks = 0;  // 1620 for 625/50, 1350 for 525/60
  int flagged = 0;       // blocks whose STA is not 0
  int by_status[16] = {};
};
BlockStatus ReadBlockStatus(const uint8_t *frame);

// Samples in the frame's audio blocks that hold the error code (0x8000 for
// 16-bit sound, 0x800 for 12-bit), in all and by channel of `source`.
struct AudioErrors {
  int total = 0;
  int by_channel[4] = {};
};
AudioErrors CountAudioErrors(const uint8_t *frame, const AudioSource &source);

}  // namespace ozmira
