// dvversion, dvreadinfo, dvreadaudio and dvdamagedsegments: what a frame block
// says of itself beyond its picture, its sound, and what the last decode met.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "dif_packs.h"
#include "dvlib.h"
#include "frame_audio.h"
#include "library_state.h"

using namespace ozmira::dvlib;

namespace {

// A libdv decoder of its own for the header facts, so that reading them
// leaves what dvstatus reports of the process-wide decoder as it was.
dv_decoder_t *info_decoder = nullptr;

dv_decoder_t *parsed_info_header(const unsigned char *block) {
  if (info_decoder == nullptr) {
    info_decoder = dv_decoder_new(0, 0, 0);
    if (info_decoder == nullptr) return nullptr;
  }
  return parse_frame_header(info_decoder, block) == -1 ? nullptr : info_decoder;
}

// Everything not recorded: -1 for the aspect, timecode and date, 0 for the rest.
void set_unrecorded(dvframeinfo &info) {
  info.aspect = -1;
  info.tc_hours = info.tc_minutes = info.tc_seconds = info.tc_frames = -1;
  info.rec_year = info.rec_month = info.rec_day = -1;
  info.rec_hour = info.rec_minute = info.rec_second = -1;
}

}  // namespace

extern "C" const char *dvversion(void) {
#define DVLIB_TEXT(x) #x
#define DVLIB_VERSION_TEXT(a, b, c) DVLIB_TEXT(a) "." DVLIB_TEXT(b) "." DVLIB_TEXT(c)
  return DVLIB_VERSION_TEXT(DVLIB_VERSION_MAJOR, DVLIB_VERSION_MINOR, DVLIB_VERSION_PATCH);
#undef DVLIB_VERSION_TEXT
#undef DVLIB_TEXT
}

extern "C" int dvdamagedsegments(void) { return damaged_segments; }

extern "C" int dvreadinfo(const unsigned char *block, dvframeinfo *info) {
  if (info == nullptr) return -1;
  const int size = info->size;
  if (size < static_cast<int>(sizeof info->size)) return -1;
  dvframeinfo facts{};
  set_unrecorded(facts);
  int result = -1;
  const CallGuard guard("dvreadinfo");
  if (block != nullptr && !guard.refused()) {
    facts.dropout = ozmira::HoldsNoRecordedBlocks(block);
    if (const dv_decoder_t *dv = parsed_info_header(block)) {
      result = 1;
      facts.x_size = dv->width;
      facts.y_size = dv->height;
      facts.code = dv->sampling;
      facts.type = dv_frame_is_color(const_cast<dv_decoder_t *>(dv));
      facts.dif_sequences = ozmira::DifSequencesMarked(block);
      facts.aspect = ozmira::ReadVideoSource(block).aspect;
      ozmira::Timecode timecode;
      ozmira::ReadTimecode(block, &timecode);
      facts.tc_hours = timecode.hours;
      facts.tc_minutes = timecode.minutes;
      facts.tc_seconds = timecode.seconds;
      facts.tc_frames = timecode.frames;
      ozmira::RecordingTime recorded;
      ozmira::ReadRecordingTime(block, &recorded);
      facts.rec_year = recorded.year;
      facts.rec_month = recorded.month;
      facts.rec_day = recorded.day;
      facts.rec_hour = recorded.hours;
      facts.rec_minute = recorded.minutes;
      facts.rec_second = recorded.seconds;
      ozmira::AudioFormat sound;
      facts.audio_samples = ozmira::ProbeFrameAudio(block, ozmira::FrameBytesMarked(block), sound);
      if (facts.audio_samples > 0) {
        facts.audio_rate = sound.rate;
        facts.audio_channels = sound.channels;
        facts.audio_bits = sound.quantisation;
        ozmira::AudioSource source;
        ozmira::ReadAudioSource(block, &source);
        const ozmira::AudioErrors errors = ozmira::CountAudioErrors(block, source);
        facts.audio_error_samples = errors.total;
        std::copy(std::begin(errors.by_channel), std::end(errors.by_channel), facts.audio_channel_errors);
      }
      const ozmira::BlockStatus status = ozmira::ReadBlockStatus(block);
      facts.video_blocks = status.video_blocks;
      facts.flagged_blocks = status.flagged;
      std::copy(std::begin(status.by_status), std::end(status.by_status), facts.sta_blocks);
    }
  }
  facts.size = size;
  std::memcpy(info, &facts, std::min<size_t>(static_cast<size_t>(size), sizeof facts));
  return result;
}

extern "C" int dvreadaudio(const unsigned char *block, short *samples, int *rate, int *channels) {
  if (block == nullptr || samples == nullptr) return -1;
  const CallGuard guard("dvreadaudio");
  if (guard.refused()) return -1;
  if (parsed_info_header(block) == nullptr) return -1;
  ozmira::AudioFormat sound;
  const int count = ozmira::DecodeFrameAudio(block, ozmira::FrameBytesMarked(block), sound, samples);
  if (count == 0) return 0;
  if (rate != nullptr) *rate = sound.rate;
  if (channels != nullptr) *channels = sound.channels;
  return count;
}
