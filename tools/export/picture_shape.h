// The shape of a frame's picture, from the VAUX source control pack (0x61),
// and the pixel aspect ratio that PNG images of it carry: the ratios FFmpeg
// gives the same frames, so that the images display alike.
#pragma once

#include <cstdint>

#include "pictures.h"
#include "png_output.h"

namespace ozmira::frame_export {

enum class FrameAspect { not_stated, four_three, sixteen_nine };

FrameAspect read_frame_aspect(const uint8_t *block);
const char *aspect_text(FrameAspect aspect);  // "4:3", "16:9" or "not stated"

// 16:15 for a 4:3 frame (or one that does not say) and 64:45 for 16:9, for
// the full, dc, luma and half pictures; the thumbnail's 92 x 72 pixels
// stand for the whole 720 x 576 frame, so its ratio is that times 45:46.
PixelAspect pixel_aspect(FrameAspect aspect, PictureKind kind);

}  // namespace ozmira::frame_export
