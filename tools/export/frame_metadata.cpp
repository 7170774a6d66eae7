#include "frame_metadata.h"

#include "frame_damage.h"

namespace ozmira::frame_export {

FrameMetadata read_frame_metadata(const uint8_t *block) {
  FrameMetadata metadata;
  metadata.aspect = read_frame_aspect(block);
  metadata.timecode = read_timecode(block);
  metadata.recorded_date = read_recording_date(block);
  metadata.recorded_time = read_recording_time(block);
  metadata.audio = read_audio_source(block);
  metadata.flagged_blocks = count_flagged_blocks(block);
  return metadata;
}

}  // namespace ozmira::frame_export
