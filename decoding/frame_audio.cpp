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

namespace ozmira {
namespace {

constexpr size_t kDifBlockBytes = 80;
constexpr size_t kSequenceBytes = 150 * kDifBlockBytes;
constexpr size_t kPackIdBytes = 3;  // a pack follows its DIF block's three id bytes
constexpr size_t kFirstAudioBlock = 6;
constexpr size_t kBlocksPerAudioBlock = 16;  // each audio block leads fifteen video blocks

// Where libdv reads the packs: audio blocks 3 and 4 of sequence 0 for the
// first pair; for a second pair six sequences on, blocks 3 and 4 at 50
// fields, 0 and 1 at 60.
constexpr size_t pack_offset(size_t sequence, size_t audio_block) {
  return sequence * kSequenceBytes +
         (kFirstAudioBlock + kBlocksPerAudioBlock * audio_block) * kDifBlockBytes + kPackIdBytes;
}
constexpr size_t kSourcePack = pack_offset(0, 3);
constexpr size_t kControlPack = pack_offset(0, 4);
constexpr size_t kSecondPairSequence = 6;
constexpr size_t kSecondPairSource50 = pack_offset(kSecondPairSequence, 3);
constexpr size_t kSecondPairSource60 = pack_offset(kSecondPairSequence, 0);

constexpr uint8_t kSourcePackId = 0x50, kControlPackId = 0x51;
constexpr size_t kDsfByte = 3;
constexpr uint8_t kDsfBit = 0x80;        // 1: 625/50, 0: 525/60
constexpr unsigned kNoSecondPair = 0xf;  // audio_mode of a pair that is not recorded
constexpr int kUnmixedLevel = 16;        // libdv's mixing level that leaves both pairs as they are
constexpr int kQuantisation16 = 0, kQuantisation12 = 1;

// Per video system, the rows of libdv's sample-count tables and the speed
// code it takes as normal, in the columns 48, 44.1 and 32 kHz.
struct VideoSystem {
  dv_system_t system;
  int dif_sequences;
  size_t frame_bytes;
  int min_samples[3];
  int max_samples[3];
  unsigned normal_speed_smpte;
  size_t second_pair_source;
};
constexpr VideoSystem k525_60 = {e_dv_system_525_60, 10,   10 * kSequenceBytes, {1580, 1452, 1053},
                                 {1620, 1489, 1080}, 0x78, kSecondPairSource60};
constexpr VideoSystem k625_50 = {e_dv_system_625_50, 12,   12 * kSequenceBytes, {1896, 1742, 1264},
                                 {1944, 1786, 1296}, 0x64, kSecondPairSource50};
constexpr unsigned kNormalSpeedIec = 0x20;
constexpr int kRates[] = {48000, 44100, 32000};
constexpr unsigned kRateCodes = 3;
constexpr unsigned kRate32k = 2;

static_assert(k625_50.max_samples[0] == kMaxAudioSamplesPerFrame);

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

// Samples per frame that a source pack states for a frame of `video`'s system.
int stated_samples(const dv_aaux_as_t &source, const VideoSystem &video, unsigned rate_code) {
  return video.min_samples[rate_code] + source.pc1.af_size;
}

// Checks the packs of a frame of `video`'s system; false when libdv would
// find no audio, print, or leave its bounds. (The packs' system bits are
// held to `video` by libdv_agrees.)
bool check_packs(const uint8_t *block, const VideoSystem &video, CheckedAudio &audio) {
  const auto source = read_pack<dv_aaux_as_t>(block, kSourcePack);
  const auto control = read_pack<dv_aaux_asc_t>(block, kControlPack);
  if (source.pc0 != kSourcePackId || control.pc0 != kControlPackId) return false;
  const unsigned rate_code = source.pc4.smp;
  if (rate_code >= kRateCodes) return false;
  audio.rate = kRates[rate_code];
  audio.channels = 2;
  if (source.pc4.qu == kQuantisation16) {
    audio.quantisation = 16;
  } else if (source.pc4.qu == kQuantisation12 && rate_code == kRate32k) {
    audio.quantisation = 12;
  } else {
    return false;
  }
  audio.samples[0] = stated_samples(source, video, rate_code);
  if (audio.quantisation == 12) {
    const auto second = read_pack<dv_aaux_as_t>(block, video.second_pair_source);
    if (second.pc2.audio_mode != kNoSecondPair) {
      audio.channels = 4;
      audio.samples[1] = stated_samples(second, video, rate_code);
    }
  }
  // libdv's loops run to the stated counts over buffers of the most a frame
  // at this rate can hold.
  const int most = video.max_samples[rate_code];
  return audio.samples[0] <= most && audio.samples[1] <= most;
}

// libdv decodes audio recorded at normal speed only, as its header says.
bool normal_speed(const dv_decoder_t *dv, const uint8_t *block, const VideoSystem &video) {
  const unsigned speed = read_pack<dv_aaux_asc_t>(block, kControlPack).pc3.speed;
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

}  // namespace

int DecodeFrameAudio(const uint8_t *block, size_t block_bytes, AudioFormat &format, int16_t *pcm) {
  if (block == nullptr || pcm == nullptr || block_bytes <= kDsfByte) return 0;
  const VideoSystem &video = (block[kDsfByte] & kDsfBit) ? k625_50 : k525_60;
  if (block_bytes < video.frame_bytes) return 0;
  CheckedAudio audio;
  if (!check_packs(block, video, audio)) return 0;

  dv_decoder_t *dv = ready_audio_decoder();
  if (dv == nullptr || dv_parse_header(dv, block) == -1) return 0;
  // The header may name the other system (its VAUX says 50 fields).
  if (dv->system != video.system || dv->num_dif_seqs != video.dif_sequences) return 0;
  if (!normal_speed(dv, block, video) || !libdv_agrees(*dv->audio, audio)) return 0;

  int16_t *outbufs[kMaxAudioChannels] = {planar[0], planar[1], planar[2], planar[3]};
  if (!dv_decode_full_audio(dv, block, outbufs)) return 0;

  const int samples =
      audio.channels == 4 && audio.samples[1] < audio.samples[0] ? audio.samples[1] : audio.samples[0];
  for (int s = 0; s < samples; ++s)
    for (int c = 0; c < audio.channels; ++c) pcm[s * audio.channels + c] = planar[c][s];
  format.rate = audio.rate;
  format.channels = audio.channels;
  format.quantisation = audio.quantisation;
  return samples;
}

}  // namespace ozmira
