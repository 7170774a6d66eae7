// Dequantisation and inverse DCT of the blocks of a parsed video segment,
// giving byte for byte the samples of libdv's own segment block work
// (dv_decode_video_segment), but only for the blocks a format reads.
#pragma once

#include <cstdint>

#include <libdv/dv_types.h>

namespace ozmira {

// Which blocks of each macroblock to transform: bit b stands for block b
// (0-3 luminance, 4 Cr, 5 Cb).
using BlockSet = unsigned;
inline constexpr BlockSet kNoBlocks = 0;
inline constexpr BlockSet kTopLeftLuma = 0x01;
inline constexpr BlockSet kLumaBlocks = 0x0f;
inline constexpr BlockSet kCrBlock = 0x10;
inline constexpr BlockSet kCbBlock = 0x20;
inline constexpr BlockSet kAllBlocks = kLumaBlocks | kCrBlock | kCbBlock;

// Transforms the chosen blocks of all five macroblocks of `seg` in place, as
// the parse at `quality` left them; without quality's colour bit the
// chrominance blocks are never touched, as in libdv. At a quality without AC
// bits the blocks are filled from their DC coefficients alone
// (dc_only_blocks.h), as that parse leaves nothing else. Re-entrant:
// segments may be transformed on several threads at once (dv_init must have
// run).
// At such a quality, plans (when not null) gets each macroblock's row plan
// (dc_only_blocks.h); otherwise it is left untouched.
// The blocks of `ac_free` (bit 6 * m + b for block b of macroblock m, as the
// parser gives them) hold no AC coefficient: they too are filled from their
// DC, the same samples as the transform would give.
struct DcOnlyRowPlan;
void TransformSegment(dv_videosegment_t *seg, unsigned quality, BlockSet blocks,
                      const DcOnlyRowPlan **plans = nullptr, uint32_t ac_free = 0);

// libdv's block work for one 2-4-8 block, in place: its dequantiser and
// inverse DCT, with AVX2 where the processor has it (idct_248.h). Only the
// low four bits of qno and two of klass are used.
void BlockWork248(dv_coeff_t *coeffs, int qno, int klass);

// The 8-8 dequantiser alone, in place: what Idct88 expects. Only the low
// four bits of qno and two of klass are used, as the stream holds no more.
void Dequantise88(dv_coeff_t *coeffs, int qno, int klass);

}  // namespace ozmira
