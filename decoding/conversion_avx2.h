// The AVX2 lane helpers of the renderers' AVX2 builds: sixteen samples a
// step, the same arithmetic as conversion_sse2.h's eight. Include it only in
// files built with -mavx2: everything here has internal linkage, so no
// caller elsewhere can be linked to AVX2 code.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include <libdv/dv_types.h>

#include "conversion_sse2.h"

namespace ozmira {
namespace {

// Sixteen int32 as two vectors: `low` holds entries 0-3 and 8-11, `high`
// 4-7 and 12-15 (the order of AVX2's unpacking).
struct Int32x16 {
  __m256i low, high;
};

inline __m256i clamp16(__m256i v, short low, short high) {
  return _mm256_min_epi16(_mm256_max_epi16(v, _mm256_set1_epi16(low)), _mm256_set1_epi16(high));
}

// chroma_offset_x8 on sixteen samples, clamped to low..high first.
inline Int32x16 chroma_offset_x16(__m256i samples, const ChromaFactor &f, short low, short high) {
  constexpr int kScaleBits = 7;
  const __m256i c = clamp16(samples, low, high);
  const __m256i scaled = _mm256_add_epi16(_mm256_slli_epi16(c, kScaleBits), _mm256_set1_epi16(f.rounding));
  const __m256i fraction =
      _mm256_srai_epi16(_mm256_mulhi_epi16(scaled, _mm256_set1_epi16(f.multiplier)), kScaleBits);
  const __m256i weights = _mm256_set1_epi32(static_cast<unsigned short>(f.whole) | (1 << 16));
  return {_mm256_madd_epi16(_mm256_unpacklo_epi16(c, fraction), weights),
          _mm256_madd_epi16(_mm256_unpackhi_epi16(c, fraction), weights)};
}

// Stores sixteen entries in their own order.
inline void store16(int32_t *out, const Int32x16 &v) {
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), _mm256_permute2x128_si256(v.low, v.high, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 8), _mm256_permute2x128_si256(v.low, v.high, 0x31));
}

// Row pair u's (0-7) entries of a 64-entry chroma plane, each twice over:
// samples 0-3 serve pixels 0-7, 4-7 pixels 8-15.
inline void doubled_terms(const int32_t *plane, int u, __m256i &low, __m256i &high) {
  const __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(plane + 8 * u));
  low = _mm256_unpacklo_epi32(t, t);
  high = _mm256_unpackhi_epi32(t, t);
}

inline __m256i load16(const dv_coeff_t *samples) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(samples));
}

}  // namespace
}  // namespace ozmira
