// The parser of one DV video segment: five DIF blocks, each carrying one
// compressed macroblock of six blocks (four luminance, Cr, Cb).
//
// It fills the blocks exactly as libdv's x86-64 segment parse does at every
// quality: each block's DC coefficient, DCT mode and class, then its AC codes
// in up to three passes (its own area; the bits other blocks of its
// macroblock left unused; those of complete macroblocks of the segment),
// with the coefficients in libdv's order (its 8-8 blocks transposed).
//
// It is bounded by construction: whatever the bytes, it reads only the 400
// bytes it is given and writes only the five macroblocks' fields named below,
// and it keeps no state between calls, so threads may parse at once.
#pragma once

#include <cstdint>

#include <libdv/dv_types.h>

namespace ozmira {

inline constexpr unsigned kSegmentBytes = 400;
inline constexpr int kMacroblocksPerSegment = 5;

// Parses the kSegmentBytes at `segment` as `quality` says (libdv's bits:
// DV_QUALITY_COLOR for the two chrominance blocks; DV_QUALITY_AC_1 for each
// block's own AC area, DV_QUALITY_AC_2 alone for all three passes, neither
// for DC coefficients only). Writes each macroblock's `qno` and, for each
// block parsed (four without the colour bit, else six), `coeffs`,
// `dct_mode`, `class_no` and `eob` (1 where the block's end-of-block code was
// read); nothing else of `macroblocks` (five of them) is touched.
//
// Returns false when the segment holds an invalid code: a bit pattern that is
// no code, or a run past the block's 64th coefficient. The block that met it
// keeps the coefficients read before it; in its own area it then drops out
// of the later passes; in the later passes, as libdv does, the rest of its
// macroblock waits for the third pass, which is then not run, or the third
// pass stops.
//
// The first pass has two builds, the same in every output: one for any
// processor and one with AVX-512 that reads all the segment's blocks at once.
// kFastest takes the AVX-512 one where the processor has it; the tests name
// the other too.
//
// `ac_free`, when not null, gets blocks whose AC coefficients are all zero:
// those whose end-of-block code came right after their head, in their own
// area (bit 6 * m + b for block b of macroblock m). None at a quality
// without AC bits.
enum class ParserBuild { kFastest, kPortable };
bool ParseVideoSegment(const uint8_t *segment, unsigned quality, dv_macroblock_t *macroblocks,
                       ParserBuild build = ParserBuild::kFastest, uint32_t *ac_free = nullptr);

// Whether ParseVideoSegment would return true, found by following the codes
// alone: nothing is kept, for a caller that only counts damaged segments.
bool SegmentIntact(const uint8_t *segment, unsigned quality, ParserBuild build = ParserBuild::kFastest);

// The fixed fields alone, for block work that needs nothing else (DC-only
// decoding, which overwrites every coefficient): writes what
// ParseVideoSegment writes at a quality without AC bits, but leaves
// coeffs[1..63] as they are.
void ReadBlockHeads(const uint8_t *segment, unsigned quality, dv_macroblock_t *macroblocks);

}  // namespace ozmira
