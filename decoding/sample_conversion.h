// Per-sample colour conversion through the tables of color_tables.h, shared by
// the scalar renderers.
#pragma once

#include <algorithm>
#include <cstdint>

#include <libdv/dv_types.h>

#include "color_tables.h"

namespace ozmira {

// A chrominance sample beyond -128..127 saturates rather than wrapping
// through its low byte, which would flip the colour.
inline int chroma_index(dv_coeff_t sample) { return std::clamp<int>(sample, -128, 127); }
inline int luma_index(dv_coeff_t sample) { return std::clamp<int>(sample, -256, 511); }

// The luminance sample at row r, column c (0..15) of the macroblock.
inline dv_coeff_t luma_sample(const dv_macroblock_t *mb, int r, int c) {
  return mb->b[2 * (r >> 3) + (c >> 3)].coeffs[8 * (r & 7) + (c & 7)];
}

// The three component offsets of one chrominance pair, looked up once and
// shared by every pixel that uses the pair. `green` is already negated.
struct ChromaTerms {
  int32_t red, green, blue;
};

inline ChromaTerms chroma_terms(dv_coeff_t cr_sample, dv_coeff_t cb_sample) {
  const int cr = chroma_index(cr_sample), cb = chroma_index(cb_sample);
  return {cr_red[cr], -cr_green[cr] - cb_green[cb], cb_blue[cb]};
}

inline int32_t scaled_luma(dv_coeff_t sample) { return luma_scale[luma_index(sample)]; }

inline uint8_t component(int32_t luma, int32_t term) {
  return clamp_8bit[(luma + term) >> kColorFractionBits];
}

inline void put_rgb0(uint8_t *pixel, int32_t luma, const ChromaTerms &terms) {
  pixel[0] = component(luma, terms.red);
  pixel[1] = component(luma, terms.green);
  pixel[2] = component(luma, terms.blue);
  pixel[3] = 0;
}

}  // namespace ozmira
