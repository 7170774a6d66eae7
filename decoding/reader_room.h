// Where libdv's bit reader reads each video segment from.
//
// On damaged data the later passes of libdv's AC parse (dv_parse_ac_coeffs,
// which gathers codes spilled into other blocks) take the invalid codes that
// its decoder returns with run 0 and length -2 as codes: the block's bit
// offset steps back by two while the reader skips a word ahead, and once the
// offset turns negative the reader seeks to it as an unsigned number, up to
// 2^29 bytes past the segment. Every segment is therefore parsed from a copy
// at the start of a mapping of the decoder's own that is readable that far
// (zero pages, reserved but never committed), so no such read leaves it.
#pragma once

#include <cstdint>

namespace ozmira {

// Copies the kSegmentBytes at `segment` into the room and returns the copy.
// The room is mapped on first use; where it cannot be, a copy with a few
// kilobytes of zeros behind it stands in.
const uint8_t *copy_into_reader_room(const uint8_t *segment);

}  // namespace ozmira
