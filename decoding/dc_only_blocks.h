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
#pragma once

#include <libdv/dv_types.h>

namespace ozmira {

// Writes the 64 samples libdv's block work leaves for a block that holds only
// its DC coefficient, coeffs[0], in the block's DCT mode (dct_mode 1 is 2-4-8,
// anything else 8-8). The other 63 coefficients are ignored, whatever they
// hold. A DC outside -256..255 (not from a parse) is transformed instead.
// dv_init must have run; re-entrant (the table is built once, under
// pthread_once, on first use).
void fill_dc_only_block(dv_block_t *block);

}  // namespace ozmira
