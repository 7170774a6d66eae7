// dvlib's process-wide state (the one libdv decoder and whether dvinit ran)
// and the steps that every call on a frame block shares.
#pragma once

#include <libdv/dv.h>

#include "frame_decoder.h"

namespace ozmira::dvlib {

inline constexpr int kFrameBytes = 144000;
inline constexpr unsigned kQualityFull = 5;  // colour, all AC coefficients
inline constexpr unsigned kQualityDc = 1;    // colour, DC coefficients only
inline constexpr int kRequestFull = 2;
inline constexpr int kRequestDc = 16;
inline constexpr int kRgbBytes = 3;  // one pixel of packed RGB

extern dv_decoder_t *decoder;
extern int init_done;

// The decoder, after running dvinit with a warning in `caller`'s style when
// nobody has; null (after a message) when no decoder can be had.
dv_decoder_t *ready_decoder(const char *caller);

// libdv's header parse of `block` into `dv`: its result, or -1 when it fails
// or when the frame's DSF bit marks another video system than the parse found
// (frame_header.h), a frame no decode could walk whole.
int parse_frame_header(dv_decoder_t *dv, const unsigned char *block);

// The decoder holding the header of `block`, after dvinit if nobody ran it;
// null after "(caller:dvlib): dv_parse_header failed - erm?" when the header
// does not parse.
dv_decoder_t *decoder_for_block(const char *caller, const unsigned char *block);

// Runs the frame decoder at `quality` on `block`, whose header `dv` holds.
// Returns 1 when it decoded the whole frame, 0 after a line in `caller`'s
// name when it reported a failure.
int decode_block(const char *caller, dv_decoder_t *dv, const unsigned char *block, ColorSpace format,
                 unsigned char **pixels, int *pitches, unsigned quality);

}  // namespace ozmira::dvlib
