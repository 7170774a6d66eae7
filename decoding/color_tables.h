// Lookup tables that turn decoded 4:2:0 samples (component value minus 128)
// into 8-bit components: BT.601 studio range to full range, coefficients held
// with 10 fraction bits. Each pointer addresses the middle of its storage so
// that a signed sample indexes it directly.
//
//   red   = rgblut[(ylut[y] + table_1_596[cr]) >> 10]
//   green = rgblut[(ylut[y] - table_0_813[cr] - table_0_391[cb]) >> 10]
//   blue  = rgblut[(ylut[y] + table_2_018[cb]) >> 10]
//   luma  = ylut[y] >> 10
#pragma once

#include <cstdint>

namespace ozmira {

inline constexpr int kColorFractionBits = 10;

extern int32_t real_table_1_596[256];  // red offset of Cr, indices -128..127
extern int32_t real_table_0_813[256];  // green offset of Cr
extern int32_t real_table_0_391[256];  // green offset of Cb
extern int32_t real_table_2_018[256];  // blue offset of Cb
extern int32_t real_ylut[768];         // scaled luminance, indices -256..511
extern uint8_t real_rgblut[768];       // clamp to 0..255, indices -256..511

extern int32_t *table_1_596;
extern int32_t *table_0_813;
extern int32_t *table_0_391;
extern int32_t *table_2_018;
extern int32_t *ylut;
extern uint8_t *rgblut;

// Fills the six tables and sets their pointers. Idempotent; must run before
// any frame is decoded into an extended format. Not to be confused with
// libdv's own dv_rgb_init, which fills libdv's private tables.
void dv_rgb_init();

}  // namespace ozmira
