// The full-size RGB0 renderer (dv_mb420_b_rgb, mb420_renderers.h) in its two
// builds, byte for byte the same: dv_mb420_b_rgb calls the AVX2 one where the
// processor has AVX2, else the SSE2 one.
#pragma once

#include <cstdint>

#include <libdv/dv_types.h>

namespace ozmira {

void dv_mb420_b_rgb_sse2(dv_macroblock_t *mb, uint8_t **pixels, int pitch);
void dv_mb420_b_rgb_avx2(dv_macroblock_t *mb, uint8_t **pixels, int pitch);  // AVX2 processors only

}  // namespace ozmira
