// --info and --frame-info: a file's attributes, frame count and recording
// details, then each chosen frame's header, recording details and damage,
// then the damage of all of them, as text or as JSON lines (one object a
// line; absent details are null).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "dvlib.h"
#include "frame_metadata.h"

namespace ozmira::frame_export {

struct FileInfo {
  std::string path;
  dvfile attributes{};  // as dvopen recorded them from frame 0
  int64_t trailing_bytes = 0;
  FrameMetadata first;                    // frame 0's details
  std::optional<Timecode> last_timecode;  // the last frame's
};

struct DamageTotals {
  int64_t frames = 0, damaged_frames = 0, flagged_blocks = 0, damaged_segments = 0;
  void add(const FrameMetadata &frame);
};

void print_file_info(std::FILE *out, const FileInfo &file, bool json);

// `attributes` as dvstatus filled them for frame `frame`, or null when the
// frame's header does not parse (`metadata` is then not read).
void print_frame_info(std::FILE *out, int frame, const dvfile *attributes, const FrameMetadata &metadata,
                      bool json);

void print_damage_totals(std::FILE *out, const DamageTotals &totals, bool json);

}  // namespace ozmira::frame_export
