// The audio of one frame through libdv's dv_decode_full_audio.
//
// libdv trusts the frame's AAUX packs: the pack's system bit picks the
// unshuffle table that dv_decode_audio_block indexes by DIF sequence (a 60-
// field table walked over twelve sequences reads and writes out of bounds),
// the sampling code indexes its sample-count tables (codes 3 to 7 read past
// them), and the stated samples per frame bound the error correction and
// de-emphasis loops over buffers of 1944 samples (the 6-bit count reaches
// 1959). Its header parse prints on a bad quantisation or sampling code, and
// its audio decode prints "# no audio" and its sample-error reports. Every
// such field is checked here first, against the frame's DIF header and size.
#include "frame_audio.h"

#include <cstring>

#include <libdv/dv.h>

#include "dif_frame.h"
#include "dif_packs.h"

namespace ozmira {
namespace {

constexpr uint8_t kControlPackId = 0x51;
constexpr int kUnmixedLevel = 16;  // libdv's mixing level that leaves both pairs as they are

// Per video system, the rows of libdv's sample-count tables and the speed
// code it takes as normal.
struct VideoSystem {
  dv_system_t system;
  int dif_sequences;
  const int *max_samples;
  unsigned normal_speed_smpte;
};
constexpr VideoSystem k525_60 = {e_dv_system_525_60, kDifSequences525, kMostSamples525, 0x78};
constexpr VideoSystem k625_50 = {e_dv_system_625_50, kDifSequences625, kMostSamples625, 0x64};
constexpr unsigned kNormalSpeedIec = 0x20;
constexpr int kRateCodes = 3;

static_assert(kMostSamples625[0] == kMaxAudioSamplesPerFrame);

// What the packs say, once checked: what libdv must find too.
struct CheckedAudio {
  int rate = 0, quantisation = 0, channels = 0;
  int samples[2] = {0, 0};  // per pair
};

dv_decoder_t *audio_decoder = nullptr;
int16_t planar[kMaxAudioChannels][kMaxAudioSamplesPerFrame];

dv_decoder_t *ready_audio_decoder() {
  if (audio_decoder == nullptr) {
    audio_decoder = dv_decoder_new(0, 0, 0);
    if (audio_decoder == nullptr) return nullptr;
    dv_set_error_log(audio_decoder, nullptr);  // no sample-error reports
    dv_set_mixing_level(audio_decoder, kUnmixedLevel);
  }
  return audio_decoder;
}

template <typename Pack>
Pack read_pack(const uint8_t *block, size_t offset) {
  Pack pack;
  std::memcpy(&pack, block + offset, sizeof pack);
  return pack;
}

// Checks the packs of a frame of `video`'s system; false when libdv would
// find no audio, print, or leave its bounds. (The packs' system bits are
// held to `video` by libdv_agrees.)
bool check_packs(const uint8_t *block, const VideoSystem &video, CheckedAudio &audio) {
  AudioSource source;
  if (!ReadAudioSource(block, &source)) return false;
  if (block[AudioControlOffset()] != kControlPackId) return false;
  if (source.rate_code >= kRateCodes) return false;
  // 12-bit sound is taken at 32 kHz only, where it fills the frame's samples.
  if (source.quantisation != 16 && !(source.quantisation == 12 && source.rate == 32000)) return false;
  audio.rate = source.rate;
  audio.quantisation = source.quantisation;
  audio.channels = source.channels;
  audio.samples[0] = source.samples;
  audio.samples[1] = source.second_samples;
  // libdv's loops run to the stated counts over buffers of the most a frame
  // at this rate can hold.
  const int most = video.max_samples[source.rate_code];
  return audio.samples[0] <= most && audio.samples[1] <= most;
}

// libdv decodes audio recorded at normal speed only, as its header says.
bool normal_speed(const dv_decoder_t *dv, const uint8_t *block, const VideoSystem &video) {
  const unsigned speed = read_pack<dv_aaux_asc_t>(block, AudioControlOffset()).pc3.speed;
  if (dv->std == e_dv_std_iec_61834) return speed == kNormalSpeedIec;
  if (dv->std == e_dv_std_smpte_314m) return speed == video.normal_speed_smpte;
  return true;
}

// libdv's parse of the packs must give what was checked. Its sample counts
// come from the packs' system bits, ours from the DIF header's: the 50- and
// 60-field counts differ at every rate, so this also holds each pack's system
// bit to the frame's.
bool libdv_agrees(const dv_audio_t &parsed, const CheckedAudio &audio) {
  return parsed.frequency == audio.rate && parsed.quantization == audio.quantisation &&
         parsed.raw_num_channels == audio.channels && parsed.raw_samples_this_frame[0] == audio.samples[0] &&
         parsed.raw_samples_this_frame[1] == audio.samples[1];
}

// Everything a decode checks before libdv decodes: the samples per channel it
// would give, or 0; `dv` then holds the frame's header.
int checked_samples(const uint8_t *block, size_t block_bytes, CheckedAudio &audio, dv_decoder_t **dv) {
  if (block == nullptr || block_bytes < static_cast<size_t>(kFrameBytes525)) return 0;
  const VideoSystem &video = DifSequencesMarked(block) == kDifSequences625 ? k625_50 : k525_60;
  if (block_bytes < static_cast<size_t>(FrameBytesMarked(block))) return 0;
  if (!check_packs(block, video, audio)) return 0;
  *dv = ready_audio_decoder();
  if (*dv == nullptr || dv_parse_header(*dv, block) == -1) return 0;
  // The header may name the other system (its VAUX says 50 fields).
  if ((*dv)->system != video.system || (*dv)->num_dif_seqs != video.dif_sequences) return 0;
  if (!normal_speed(*dv, block, video) || !libdv_agrees(*(*dv)->audio, audio)) return 0;
  return audio.channels == 4 && audio.samples[1] < audio.samples[0] ? audio.samples[1] : audio.samples[0];
}

}  // namespace

int ProbeFrameAudio(const uint8_t *block, size_t block_bytes, AudioFormat &format) {
  CheckedAudio audio;
  dv_decoder_t *dv = nullptr;
  const int samples = checked_samples(block, block_bytes, audio, &dv);
  if (samples == 0) return 0;
  format.rate = audio.rate;
  format.channels = audio.channels;
  format.quantisation = audio.quantisation;
  return samples;
}

int DecodeFrameAudio(const uint8_t *block, size_t block_bytes, AudioFormat &format, int16_t *pcm) {
  if (pcm == nullptr) return 0;
  CheckedAudio audio;
  dv_decoder_t *dv = nullptr;
  const int samples = checked_samples(block, block_bytes, audio, &dv);
  if (samples == 0) return 0;
  int16_t *outbufs[kMaxAudioChannels] = {planar[0], planar[1], planar[2], planar[3]};
  if (!dv_decode_full_audio(dv, block, outbufs)) return 0;
  for (int s = 0; s < samples; ++s) {
    for (int c = 0; c < audio.channels; ++c) pcm[s * audio.channels + c] = planar[c][s];
  }
  format.rate = audio.rate;
  format.channels = audio.channels;
  format.quantisation = audio.quantisation;
  return samples;
}

}  // namespace ozmira
