// Renderers of the packed formats for one placed 4:2:0 macroblock: byte for
// byte libdv's dv_mb420_YUY2, dv_mb420_rgb and dv_mb420_bgr0 (with the tables
// of a decoder made without clamping, as dvlib's is), sixteen pixels per step
// with SSE2. Same call shape as libdv's: the macroblock (blocks 0-3
// luminance, 4 Cr, 5 Cb, placed at mb->x, mb->y), pixels[0] the picture's
// first byte and pitches[0] the distance from one row to the next; only
// those two elements are read. Each writes exactly the macroblock's 16 x 16
// pixels (2, 3 and 4 bytes each) and nothing else; the macroblock is only
// read. Re-entrant: no state, no tables to build.
//
// One difference, where libdv goes wrong: a colour component whose value
// falls outside -256..511 before its final clamp (luminance samples above
// about 327, or above 107 with saturated chrominance, which damaged data can
// give) makes libdv read outside its clamp table, bytes that depend on where
// the library was loaded. These renderers clamp such a value to 0 or 255.
#pragma once

#include <cstdint>

#include <libdv/dv_types.h>

namespace ozmira {

void Mb420PackedYuy2(dv_macroblock_t *mb, uint8_t **pixels, int *pitches);  // Y Cb Y Cr per pixel pair
void Mb420PackedRgb(dv_macroblock_t *mb, uint8_t **pixels, int *pitches);   // R G B
void Mb420PackedBgr0(dv_macroblock_t *mb, uint8_t **pixels, int *pitches);  // B G R 0

// The packed RGB renderer's builds, byte for byte the same: Mb420PackedRgb
// calls the AVX-512 one where the processor has AVX-512 F, BW and VBMI, else
// the AVX2 one where it has AVX2.
void Mb420PackedRgbSse2(dv_macroblock_t *mb, uint8_t **pixels, int *pitches);
void Mb420PackedRgbAvx2(dv_macroblock_t *mb, uint8_t **pixels, int *pitches);    // AVX2 processors only
void Mb420PackedRgbAvx512(dv_macroblock_t *mb, uint8_t **pixels, int *pitches);  // AVX-512 processors only

// The same output for a macroblock of DC-only blocks (dc_only_blocks.h),
// following its row plan: a row drawn from the same samples as one drawn
// before is copied from it, a few times cheaper than drawn, and chrominance
// offsets are reused while the plan says the chroma rows repeat. A null plan
// draws every row. YUY2 costs little enough without.
struct DcOnlyRowPlan;
void Mb420PackedRgbDcOnly(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, const DcOnlyRowPlan *plan);
void Mb420PackedRgbDcOnlySse2(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, const DcOnlyRowPlan *plan);
void Mb420PackedRgbDcOnlyAvx2(dv_macroblock_t *mb, uint8_t **pixels, int *pitches,
                              const DcOnlyRowPlan *plan);  // AVX2 processors only
void Mb420PackedRgbDcOnlyAvx512(dv_macroblock_t *mb, uint8_t **pixels, int *pitches,
                                const DcOnlyRowPlan *plan);  // AVX-512 processors only
void Mb420PackedBgr0DcOnly(dv_macroblock_t *mb, uint8_t **pixels, int *pitches, const DcOnlyRowPlan *plan);

}  // namespace ozmira
