// The 8x8 inverse DCT of libdv's x86-64 build, byte for byte, re-entrant.
//
// libdv's _dv_idct_88 runs an MMX routine that keeps four quadwords of
// scratch in static memory, so two threads cannot transform blocks at once.
// Idct88 gives exactly its samples for every input, with the same 16-bit
// saturating and wrapping steps, the same truncating shifts and the same
// rounding constant: eight columns per SSE2 step where the MMX code does four,
// and nothing but the caller's block and the stack written.
#pragma once

#include <cstdint>

#include <libdv/dv_types.h>

namespace ozmira {

// Transforms the 64 coefficients of `block` in place, as the 8-8 dequantiser
// of block_work.h leaves them (shifted left, weights still to come: they are
// part of libdv's prescale, table preSC). With `factors` (64 of them), each
// coefficient is first multiplied by its factor, keeping the low 16 bits:
// the dequantiser's shifts, done in the same pass over the block. Any 16-bit
// values are accepted; the block needs only the 8-byte alignment of
// dv_block_t::coeffs. Reads libdv's preSC, so dv_init must have run. Safe to
// call from any number of threads.
void Idct88(dv_coeff_t *block, const int16_t *factors = nullptr);

// Idct88 on two blocks: with AVX2 both at once where the processor has it.
// Either both blocks have factors or neither.
void Idct88Pair(dv_coeff_t *first, dv_coeff_t *second, const int16_t *first_factors = nullptr,
                const int16_t *second_factors = nullptr);

// The two builds, for the tests: Idct88 is the SSE2 one; the AVX2 one runs
// only on processors that have AVX2.
void Idct88Sse2(dv_coeff_t *block, const int16_t *factors = nullptr);
void Idct88PairAvx2(dv_coeff_t *first, dv_coeff_t *second, const int16_t *first_factors = nullptr,
                    const int16_t *second_factors = nullptr);

}  // namespace ozmira
