// The export itself: each chosen frame read and decoded in turn on this
// thread, its PNG encoded by a pool of workers and written in frame order,
// its sound added to the --audio file. A frame that does not decode (a
// dropout, a header that does not parse, a frame of another system) gets a
// line, its picture as --bad-frames says and a frame's length of silence,
// and the export goes on. Stops at the first frame that cannot be read or
// written, after writing the whole images before it; the audio file appears
// only when the export reaches the end.
#pragma once

#include "dv_source.h"
#include "frame_selection.h"
#include "options.h"

namespace ozmira::frame_export {

// The exit status: 0, 3 when some chosen frames did not decode, or 1 after
// a message.
int run_export(const Options &options, DvSource &source, ChosenFrames &chosen);

}  // namespace ozmira::frame_export
