// What a frame tells of itself beyond its picture: the shape, times, audio
// format and damage that --info and --frame-info report.
#pragma once

#include <cstdint>
#include <optional>

#include "picture_shape.h"
#include "audio_source_pack.h"
#include "time_packs.h"

namespace ozmira::frame_export {

struct FrameMetadata {
  FrameAspect aspect = FrameAspect::not_stated;
  std::optional<Timecode> timecode;
  std::optional<RecordingDate> recorded_date;
  std::optional<RecordingTime> recorded_time;
  std::optional<AudioSource> audio;
  int flagged_blocks = 0;     // video DIF blocks with an error flag
  int damaged_segments = -1;  // video segments drawn from DC alone; -1 when not counted
};

// Everything but damaged_segments, which takes a decode (frame_damage.h).
FrameMetadata read_frame_metadata(const uint8_t *block);

}  // namespace ozmira::frame_export
