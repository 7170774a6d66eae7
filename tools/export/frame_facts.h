// What a frame says of itself, as dvreadinfo reads it, in the words that
// --info, --frame-info and the export print: times as text, the shape of its
// pixels, why a frame cannot be drawn, and whether it follows the frame
// before it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "dvlib.h"
#include "pictures.h"
#include "png_output.h"

namespace ozmira::frame_export {

struct FrameFacts {
  bool parsed = false;  // false when the header does not parse
  dvframeinfo info{};
};
FrameFacts read_facts(const uint8_t *block);

// Why the frame cannot be drawn as a 625/50 picture of its own ("dropout",
// "header does not parse", "another system"), or nullptr when it can.
const char *undecodable_cause(const FrameFacts &facts);

std::optional<std::string> timecode_text(const dvframeinfo &info);  // HH:MM:SS:FF
std::optional<std::string> date_text(const dvframeinfo &info);      // YYYY-MM-DD
std::optional<std::string> time_text(const dvframeinfo &info);      // HH:MM:SS
const char *aspect_text(int aspect);                                // "4:3", "16:9" or "not stated"

// What breaks the run between `before` and `frame`, `distance` frames after
// it in the file: "new recording" when the recording date and time moves
// backwards or further than those frames take, else "timecode gap",
// "timecode repeat" or "timecode backwards" when the timecode is not
// `distance` frames on; nullptr when it follows on or either lacks them.
const char *continuity_break(const FrameFacts &before, const FrameFacts &frame, int distance);

// Frames since 00:00:00:00 at 25 a second, or -1 when no timecode is recorded.
int64_t timecode_frames(const dvframeinfo &info);

// 16:15 for a 4:3 frame (or one that does not say) and 64:45 for 16:9, for
// the full, dc, luma and half pictures; the thumbnail's 92 x 72 pixels
// stand for the whole 720 x 576 frame, so its ratio is that times 45:46.
// These are the ratios FFmpeg gives the same frames.
PixelAspect pixel_aspect(int aspect, PictureKind kind);

}  // namespace ozmira::frame_export
