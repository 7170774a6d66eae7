// --info, --frame-info and --recordings: a file's attributes, frame count and
// recording details; each chosen frame's header, recording details, damage
// and continuity, then the damage of all of them; or the recordings. As text
// or as JSON lines (one object a line; details not recorded are null).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "dvlib.h"
#include "frame_facts.h"

namespace ozmira::frame_export {

struct FileInfo {
  std::string path;
  dvfile attributes{};  // as dvopen recorded them from frame 0
  int64_t trailing_bytes = 0;
  FrameFacts first;                          // frame 0's
  std::optional<std::string> last_timecode;  // the last frame's
};

// One chosen frame as --frame-info reports it.
struct FrameReport {
  int frame = 0;
  FrameFacts facts;
  const char *cause = nullptr;   // why it does not decode, or nullptr
  int damaged_segments = -1;     // -1 when not counted (a frame that does not decode)
  const char *broken = nullptr;  // what breaks the run at this frame, or nullptr
  bool damaged() const;
};

struct DamageTotals {
  int64_t frames = 0, damaged_frames = 0, dropouts = 0, unparsed = 0, flagged_blocks = 0,
          damaged_segments = 0, audio_error_samples = 0, breaks = 0;
  void add(const FrameReport &frame);
};

// A run of frames recorded in one go, as --recordings reports it.
struct Recording {
  int index = 0;  // from 1
  int first_frame = 0, last_frame = 0;
  int64_t frames = 0, damaged_frames = 0;
  std::optional<std::string> timecode_in, timecode_out, date, time;
};

void print_file_info(std::FILE *out, const FileInfo &file, bool json);
void print_frame_info(std::FILE *out, const FrameReport &frame, bool json);
void print_damage_totals(std::FILE *out, const DamageTotals &totals, bool json);
void print_recording(std::FILE *out, const Recording &recording, bool json);

}  // namespace ozmira::frame_export
