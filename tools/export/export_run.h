// The export itself: each chosen frame read and decoded in turn on this
// thread, its PNG encoded by a pool of workers and written in frame order,
// its sound added to the --audio file. Stops at the first frame that cannot
// be read, decoded or written, after writing the whole images before it; the
// audio file appears only when every frame went well.
#pragma once

#include "dv_source.h"
#include "frame_selection.h"
#include "options.h"

namespace ozmira::frame_export {

// The exit status: 0, or 1 after a message.
int run_export(const Options &options, DvSource &source, ChosenFrames &chosen);

}  // namespace ozmira::frame_export
