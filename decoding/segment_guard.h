// Protection from a fault of libdv's segment parser on damaged data.
//
// libdv's first pass over each block's AC coefficients (its x86-64 assembler
// dv_parse_ac_coeffs_pass0) steps through the coefficient order table by each
// code's run with no bound, and it does not stop at the invalid codes that its
// decoder returns with run 0 and length -2: it adds 254 to its bit offset and
// reads on past the block, the segment and the caller's frame. Past the order
// table it stores coefficients at whatever offsets the bytes beyond the table
// hold: over the block's own dct_mode, class_no, reorder, offset and end
// fields and up to 128 bytes past the block, into the next block or past the
// end of the segment record. A clobbered `end` sends the bit reader kilobytes
// on; a clobbered class_no indexes the dequantiser's tables far out of bounds.
// Found by the segment fuzz target.
#pragma once

#include <cstdint>

namespace ozmira {

// Walks the AC codes of every block that libdv's first pass would parse at
// `quality`, with libdv's own code decoder and the same bits it would read,
// and says whether the pass stays inside each block and the order table.
// Reads at most two bytes past the kSegmentBytes at `segment`.
bool ac_parse_stays_in_bounds(const uint8_t *segment, unsigned quality);

}  // namespace ozmira
