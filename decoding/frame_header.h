// The video system that a frame's DIF header marks, and whether libdv's
// header parse agrees with it.
//
// libdv's dv_parse_header takes a frame for 625/50 when either the DSF bit of
// its DIF header or the VAUX source pack says so. A 525/60 frame of 120000
// bytes whose source pack says 50 fields is then walked as 12 DIF sequences,
// 24000 bytes past its end. The DSF bit is the mark that the frame's size
// follows, so the frame walk never goes beyond it.
#pragma once

#include <cstdint>

#include <libdv/dv_types.h>

#include "dif_frame.h"

namespace ozmira {

// The former name, for the viewer until it takes frame facts from dvlib.
inline int dif_sequences_marked(const uint8_t *frame) { return DifSequencesMarked(frame); }

// Whether the header that `dv` holds, parsed from `frame`, has the number of
// DIF sequences that the frame's DSF bit marks.
bool SystemMarksAgree(const dv_decoder_t *dv, const uint8_t *frame);

// The DIF sequences a walk over `frame` may visit: the header parse's count,
// never more than the DSF bit marks; 0, without reading `frame`, when `dv`
// holds no parsed header.
int DifSequencesToWalk(const dv_decoder_t *dv, const uint8_t *frame);

}  // namespace ozmira
