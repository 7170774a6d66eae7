// --info, --frame-info and --recordings: reads what they report from the
// file through dvlib and prints it (info_output.h).
#pragma once

#include "dv_source.h"
#include "frame_selection.h"
#include "options.h"

namespace ozmira::frame_export {

// The exit status: 0; 3 when a chosen frame does not decode (--frame-info,
// --recordings); 1 when a frame cannot be read or the output not written.
int run_info(const Options &options, DvSource &source, ChosenFrames &chosen);

// Resolves the frames chosen by timecode or recording, by reading every
// frame's facts. False with a message when a frame cannot be read.
bool resolve_by_tape(FrameSelection &selection, DvSource &source, std::string &error);

}  // namespace ozmira::frame_export
