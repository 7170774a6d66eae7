// Renderers of the twelve extended output formats for one placed 4:2:0
// macroblock: blocks 0-3 hold luminance samples (top-left, top-right,
// bottom-left, bottom-right), block 4 Cr and block 5 Cb, each sample the
// component value minus 128. They write through row pointers (pixels[n] is
// output row n); the pitch is not used. Out-of-range samples are clamped
// (chrominance to -128..127, luminance to -256..511) before the table look-up.
//
// Image each format needs (rows x bytes per row):
//   b_i    int32 red, 16 x 16 at (x, y)          576 x 2880
//   b_l    luminance byte, 16 x 16 at (x, y)     576 x 720
//   b_rgb  R G B 0, 16 x 16 at (x, y)            576 x 2880
//   b_ti   int32 red, 4 x 2 at (x/8, y/8)         72 x 368
//   b_tl   red byte, 4 x 2 at (x/8, y/8)          72 x 92
//   b_trgb R G B 0, 4 x 2 at (x/8, y/8)           72 x 368
//   b_hrgb R G B 0, 8 x 8 at (x/2, y/2)          288 x 1440
//   b_hi, b_hl, b_qi, b_ql, b_qrgb: write nothing.
// Thumbnail patches of neighbouring macroblocks overlap by two columns; the
// later one drawn stands.
#pragma once

#include <cstdint>

#include <libdv/dv_types.h>

namespace ozmira {

void Mb420RowsI(dv_macroblock_t *mb, uint8_t **pixels, int pitch);
void Mb420RowsL(dv_macroblock_t *mb, uint8_t **pixels, int pitch);
void Mb420RowsRgb(dv_macroblock_t *mb, uint8_t **pixels, int pitch);
void Mb420RowsTi(dv_macroblock_t *mb, uint8_t **pixels, int pitch);
void Mb420RowsTl(dv_macroblock_t *mb, uint8_t **pixels, int pitch);
void Mb420RowsTrgb(dv_macroblock_t *mb, uint8_t **pixels, int pitch);
void Mb420RowsHi(dv_macroblock_t *mb, uint8_t **pixels, int pitch);
void Mb420RowsHl(dv_macroblock_t *mb, uint8_t **pixels, int pitch);
void Mb420RowsHrgb(dv_macroblock_t *mb, uint8_t **pixels, int pitch);
void Mb420RowsQi(dv_macroblock_t *mb, uint8_t **pixels, int pitch);
void Mb420RowsQl(dv_macroblock_t *mb, uint8_t **pixels, int pitch);
void Mb420RowsQrgb(dv_macroblock_t *mb, uint8_t **pixels, int pitch);

}  // namespace ozmira
