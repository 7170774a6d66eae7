// The frame decoder: one compressed DV frame into a picture in one of fifteen
// output formats. It walks the frame's video segments, parses each
// (segment_parser.h), does the block work, has libdv place each macroblock
// and hands it to the renderer of the requested format.
#pragma once

#include <cstdint>

#include <libdv/dv_types.h>

#include "segment_parser.h"

// Host error flag, reachable from C: a host that wants to hear of a frame the
// extended formats cannot serve (4:1:1 sampling) points pforerror at an int of
// its own; the decoder stores 1 there for every such macroblock and never
// clears it. error_mess is the text printed to standard output each time.
extern "C" {
extern int *pforerror;
extern const char error_mess[49];
}

namespace ozmira {

// Output formats. 0 to 2 are libdv's packed formats (one image at pixels[0],
// rows pitches[0] bytes apart); 3 to 14 are row-pointer images (pixels[n] is
// output row n) drawn from 4:2:0 frames only, laid out as mb420_renderers.h
// describes. Any other value decodes nothing.
typedef enum ColorSpace : int {
  e_dv_color_yuv,   // YUY2: Y Cb Y Cr per pixel pair
  e_dv_color_rgb,   // R G B
  e_dv_color_bgr0,  // B G R 0
  b_dv_color_I,     // full size, red component as int32
  b_dv_color_L,     // full size, luminance bytes
  b_dv_color_RGB,   // full size, R G B 0
  b_dv_color_tI,    // 4 x 2 thumbnail per macroblock, red as int32
  b_dv_color_tL,    // thumbnail, red as bytes
  b_dv_color_tRGB,  // thumbnail, R G B 0
  b_dv_color_hI,    // draws nothing
  b_dv_color_hL,    // draws nothing
  b_dv_color_hRGB,  // half size, R G B 0
  b_dv_color_qI,    // draws nothing
  b_dv_color_qL,    // draws nothing
  b_dv_color_qRGB,  // draws nothing
} ColorSpace;

inline constexpr int kColorSpaceCount = 15;

// What one decode met in the data, for callers that report damage.
struct DecodeReport {
  int damaged_segments =
      0;  // video segments holding invalid codes (segment_parser.h says what each block keeps)
};

// Decodes the frame in `buffer` (at least dv->num_dif_seqs x 12000 bytes, only
// read) as dv's header fields and quality say. `pitches` must point at one
// readable int for every format. Damaged data never makes it read outside
// `buffer` or write outside the picture; each segment is drawn from what
// segment_parser.h keeps of it. `report`, when given, counts the segments
// that held invalid codes. The frame's DIF sequences are shared among the
// threads that SetDecodeThreads allows; calls must not overlap.
// Never walks more DIF sequences than the frame's DSF bit marks
// (frame_header.h); returns false when the header in `dv` asked for more, and
// only the sequences the bit marks were drawn.
bool DecodeFrame(dv_decoder_t *dv, const uint8_t *buffer, ColorSpace color_space, uint8_t **pixels,
                 int *pitches, DecodeReport *report = nullptr);

// How many threads each decode may use, the calling thread included: at most
// `count` (1: the calling thread alone), or as many as online cores for 0,
// the default, and for negative counts. Returns the number now in use: fewer where the machine has
// fewer cores or threads cannot be made. Call it between decodes only.
int SetDecodeThreads(int count);

// The frame walk's unit of work, open to tests and fuzzing: parses the
// kSegmentBytes at `segment` as segment `v` of DIF sequence `ds` of a frame
// that dv's header fields describe, then decodes, places and renders its five
// macroblocks in `color_space`, as the frame walk does. Returns false when
// the segment held invalid codes.
bool DecodeVideoSegment(dv_decoder_t *dv, const uint8_t *segment, int ds, int v, ColorSpace color_space,
                        uint8_t **pixels, int *pitches);

}  // namespace ozmira
