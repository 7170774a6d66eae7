// --info, --frame-info and --recordings: reads what they report from the
// file through dvlib and prints it (info_output.h).
#pragma once

#include "dv_source.h"
#include "frame_selection.h"
#include "options.h"

namespace ozmira::frame_export {

// The exit status: 0; 3 when a chosen frame does not decode (--frame-info,
// --recordings); 1 when a frame cannot be read or the output not written.
// `recording_of` numbers each frame's recording in the whole file; empty when
// every frame is chosen in order, which numbers them as it goes.
int run_info(const Options &options, DvSource &source, ChosenFrames &chosen,
             const std::vector<int> &recording_of);

// Resolves the frames chosen by timecode or recording, by reading every
// frame's facts; with `numbering` and not every frame chosen, also fills
// selection.recording_of. False with a message when a frame cannot be read.
bool resolve_by_tape(FrameSelection &selection, DvSource &source, bool numbering, std::string &error);

}  // namespace ozmira::frame_export
