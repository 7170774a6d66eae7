// libdv's block work for a 2-4-8 block, byte for byte, with AVX2.
//
// libdv dequantises such a block into 32-bit values (each coefficient times
// its entry of dv_quant_248_mul_tab) and transforms them with dv_idct_248:
// plain C that takes about eighteen times as long as an 8-8 block's inverse
// DCT here. Transform248Avx2 does the same integer steps (each field's
// four-point transform down the columns, the eight-point one along the
// rows; the products' high halves, the divisions that round toward zero, the
// wrapping sums, the final rounding and the low 16 bits of each sample) on
// eight columns or rows at once.
#pragma once

#include <cstdint>

#include <libdv/dv_types.h>

namespace ozmira {

// Transforms the 64 coefficients of `block` in place, each first multiplied
// by its entry of `factors` (64 of them: libdv's dv_quant_248_mul_tab for the
// block's quantisation step and class). Any 16-bit coefficients and 32-bit
// factors are accepted. Only where the processor has AVX2.
void Transform248Avx2(dv_coeff_t *block, const int32_t *factors);

}  // namespace ozmira
