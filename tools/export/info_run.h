// --info and --frame-info: reads what they report from the file and prints
// it (info_output.h).
#pragma once

#include "dv_source.h"
#include "frame_selection.h"
#include "options.h"

namespace ozmira::frame_export {

// The exit status: 0, or 1 when a chosen frame's header does not parse or a
// frame cannot be read.
int run_info(const Options &options, DvSource &source, ChosenFrames &chosen);

}  // namespace ozmira::frame_export
