// Lookup tables that turn decoded 4:2:0 samples (component value minus 128)
// into 8-bit components: BT.601 studio range to full range, coefficients held
// with 10 fraction bits. Each pointer addresses the middle of its storage so
// that a signed sample indexes it directly.
//
//   red   = clamp_8bit[(luma_scale[y] + cr_red[cr]) >> 10]
//   green = clamp_8bit[(luma_scale[y] - cr_green[cr] - cb_green[cb]) >> 10]
//   blue  = clamp_8bit[(luma_scale[y] + cb_blue[cb]) >> 10]
//   luma  = luma_scale[y] >> 10
#pragma once

#include <cstdint>

namespace ozmira {

inline constexpr int kColorFractionBits = 10;

extern int32_t cr_red_storage[256];    // red offset of Cr, indices -128..127
extern int32_t cr_green_storage[256];  // green offset of Cr
extern int32_t cb_green_storage[256];  // green offset of Cb
extern int32_t cb_blue_storage[256];   // blue offset of Cb
extern int32_t luma_storage[768];      // scaled luminance, indices -256..511
extern uint8_t clamp_storage[768];     // clamp to 0..255, indices -256..511

extern int32_t *cr_red;
extern int32_t *cr_green;
extern int32_t *cb_green;
extern int32_t *cb_blue;
extern int32_t *luma_scale;
extern uint8_t *clamp_8bit;

// Fills the six tables and sets their pointers. Idempotent; must run before
// any frame is decoded into an extended format. Not to be confused with
// libdv's own dv_rgb_init, which fills libdv's private tables.
void InitColorTables();

}  // namespace ozmira
