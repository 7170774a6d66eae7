// The full-size RGB0 renderer (Mb420RowsRgb, mb420_renderers.h) in its two
// builds, byte for byte the same: Mb420RowsRgb calls the AVX2 one where the
// processor has AVX2, else the SSE2 one.
#pragma once

#include <cstdint>

#include <libdv/dv_types.h>

namespace ozmira {

void Mb420RowsRgbSse2(dv_macroblock_t *mb, uint8_t **pixels, int pitch);
void Mb420RowsRgbAvx2(dv_macroblock_t *mb, uint8_t **pixels, int pitch);  // AVX2 processors only

}  // namespace ozmira
