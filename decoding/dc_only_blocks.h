// Block work for blocks parsed without AC coefficients (a quality without AC
// bits, such as dvreadblock's DC-only request): a block's samples then follow
// from its DC coefficient and DCT mode alone, so they are looked up in a
// table, built once from libdv's own block work, instead of transformed.
//
// What libdv makes of such a block, for every DC value the parser can give
// (-256..255), every quantisation step and class (neither affects the DC):
// - a 2-4-8 block is flat: every sample is dc / 2, rounded toward zero;
// - an 8-8 block is not flat: every sample is dc >> 1 plus one of two fixed
//   patterns, chosen by the parity of dc, that the MMX transform's rounding
//   bias and truncating shifts leave (even: 24 samples one lower in columns
//   1 to 6; odd: one higher at columns 1, 3, 5 of row 3, one lower there in
//   row 4). The table keeps each entry's base sample and pattern.
//
// Rows of such blocks repeat (a 2-4-8 block has one row, an even pattern two,
// an odd one three), so the rows of a macroblock's pixels do too: a row plan,
// made once for every combination of its six blocks' patterns, names for each
// pixel row the first row drawn from the same samples, which a renderer
// copies instead of drawing.
#pragma once

#include <cstdint>

#include <libdv/dv_types.h>

namespace ozmira {

// The pixel rows of a 4:2:0 macroblock (0-15, from luminance rows of blocks 0
// and 1, then 2 and 3, and chroma row chroma_row_of(r)), in the order a
// renderer draws them: chroma row u serves rows first_luma_row(u) and the row
// two below it.
struct DcOnlyRowPlan {
  uint8_t source[16];  // source[r] == r: draw row r; else copy row source[r], drawn earlier
  uint8_t chroma[16];  // rows with the same value here have the same chrominance samples
};

// Writes the 64 samples libdv's block work leaves for a block that holds only
// its DC coefficient, coeffs[0], in the block's DCT mode (dct_mode 1 is 2-4-8,
// anything else 8-8). The other 63 coefficients are ignored, whatever they
// hold. A DC outside -256..255 (not from a parse) is transformed instead.
// Returns the block's shape, for dc_only_row_plan. dv_init must have run;
// re-entrant (the table is built once, under pthread_once, on first use).
int FillDcOnlyBlock(dv_block_t *block);

// The row plan of a macroblock whose blocks FillDcOnlyBlock filled, from
// their six shapes (a block it did not fill must be flat: the chrominance
// blocks of a decode without colour, left 0, are; pass kFlatShape). Null when
// some block's rows follow no plan (one transformed instead of looked up).
inline constexpr int kFlatShape = 0;
const DcOnlyRowPlan *DcOnlyRowPlanOf(const int shapes[6]);

// FillDcOnlyBlock for the blocks of `blocks` (bit b for block b, as
// block_work.h's BlockSet) among the first block_count of each of the
// segment's five macroblocks; plans[m] gets macroblock m's row plan when
// `plans` is not null, the blocks outside `blocks` counted flat.
void FillDcOnlyBlocks(dv_videosegment_t *seg, int block_count, unsigned blocks, const DcOnlyRowPlan **plans);

// FillDcOnlyBlock for the blocks of `blocks` in the segment: bit 6 * m + b
// for block b of macroblock m.
void FillSegmentBlocks(dv_videosegment_t *seg, uint32_t blocks);

}  // namespace ozmira
