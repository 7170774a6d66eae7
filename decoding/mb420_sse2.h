// Pieces shared by the SSE2 renderers of 4:2:0 macroblocks (the full-size
// extended formats and the packed formats): loading the samples, the
// chrominance offsets of a macroblock and their widening to the pixels they
// serve, and one colour component for eight pixels.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include <libdv/dv_types.h>

#include "color_tables.h"
#include "conversion_sse2.h"

namespace ozmira {

inline __m128i load8(const dv_coeff_t *samples) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(samples));
}

inline void store8(int32_t *out, const Int32x8 &v) {
  _mm_store_si128(reinterpret_cast<__m128i *>(out), v.low);
  _mm_store_si128(reinterpret_cast<__m128i *>(out + 4), v.high);
}

inline void store16(uint8_t *out, __m128i value) {
  _mm_storeu_si128(reinterpret_cast<__m128i *>(out), value);
}

// The eight luminance samples of row r (0..15), columns 8 * half to 8 * half + 7.
inline const dv_coeff_t *luma_row(const dv_macroblock_t *mb, int r, int half) {
  return mb->b[2 * (r >> 3) + half].coeffs + 8 * (r & 7);
}

// Interlaced 4:2:0: chroma row u serves luminance rows r and r + 2 with
// r = 4 (u / 2) + u % 2, so even rows take even chroma rows, odd rows odd.
inline int first_luma_row(int u) { return 4 * (u >> 1) + (u & 1); }

// Each component's offset for the macroblock's 64 chrominance pairs,
// row-major; green's already negated.
struct alignas(16) ChromaPlanes {
  int32_t red[64], green[64], blue[64];
};

// Four chroma offsets, each repeated for the two pixels of a row it covers.
struct WideTerms {
  __m128i low, high;
};

inline WideTerms widen(__m128i terms) {
  return {_mm_unpacklo_epi32(terms, terms), _mm_unpackhi_epi32(terms, terms)};
}
inline WideTerms widen(const int32_t *terms) {
  return widen(_mm_load_si128(reinterpret_cast<const __m128i *>(terms)));
}

// (luma + offset) >> 10 for eight pixels, as eight int16.
inline __m128i component_x8(const Int32x8 &luma, const WideTerms &terms) {
  const __m128i low = _mm_srai_epi32(_mm_add_epi32(luma.low, terms.low), kColorFractionBits);
  const __m128i high = _mm_srai_epi32(_mm_add_epi32(luma.high, terms.high), kColorFractionBits);
  return _mm_packs_epi32(low, high);
}

}  // namespace ozmira
