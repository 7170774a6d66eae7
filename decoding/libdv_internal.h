// Routines of libdv that it exports without declaring them in its public
// headers: macroblock placement, the per-macroblock renderers of its packed
// formats, its block work, and the bit-stream reader that its own segment
// parse reads from (for the tests, which compare our parser with libdv's).
// This is the one place that declares them. (<libdv/dv.h> itself declares
// the segment parse dv_parse_video_segment and the segment block work
// dv_decode_video_segment.)
//
// Signatures as built in libdv 1.0.0 on Debian 12: the 4:1:1 renderers take a
// fourth argument, the decoder's add_ntsc_setup.
#pragma once

#include <cstdint>

#include <libdv/dv.h>

extern "C" {

bitstream_t *_dv_bitstream_init(void);
void _dv_bitstream_new_buffer(bitstream_t *bs, uint8_t *buf, uint32_t len);

// Block work. libdv's own 8-8 dequantiser on x86-64 is an unexported
// assembler routine that shifts each coefficient by a per-area amount from
// these tables (see block_work.cpp); its output is what the MMX inverse DCT
// behind _dv_idct_88 expects, weights included in the DCT's prescale.
extern uint8_t dv_quant_shifts[22][4];
extern uint8_t dv_quant_offset[4];
void _dv_idct_88(dv_coeff_t *block);
// The MMX inverse DCT's prescale, one factor per coefficient with the
// weights folded in; filled by dv_init. idct_88.cpp reads it.
extern dv_coeff_t preSC[64];
// 2-4-8 blocks: the dequantiser multiplies each coefficient by its entry of
// dv_quant_248_mul_tab[class is 3][qno + dv_quant_offset[class]] (filled by
// dv_init), into 32-bit values for the inverse DCT.
extern void (*_dv_quant_248_inverse)(dv_coeff_t *block, int qno, int klass, dv_248_coeff_t *co);
extern int32_t dv_quant_248_mul_tab[2][22][64];
void dv_idct_248(dv_248_coeff_t *x248, dv_coeff_t *out);

void dv_place_macroblock(dv_decoder_t *dv, dv_videosegment_t *seg, dv_macroblock_t *mb, int m);

void dv_mb420_YUY2(dv_macroblock_t *mb, uint8_t **pixels, int *pitches);
void dv_mb411_YUY2(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, int add_ntsc_setup);
void dv_mb411_right_YUY2(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, int add_ntsc_setup);
void dv_mb420_rgb(dv_macroblock_t *mb, uint8_t **pixels, int *pitches);
void dv_mb411_rgb(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, int add_ntsc_setup);
void dv_mb411_right_rgb(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, int add_ntsc_setup);
void dv_mb420_bgr0(dv_macroblock_t *mb, uint8_t **pixels, int *pitches);
void dv_mb411_bgr0(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, int add_ntsc_setup);
void dv_mb411_right_bgr0(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, int add_ntsc_setup);

}  // extern "C"
