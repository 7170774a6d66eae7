// ylut[] for eight luminance samples at once, computed instead of looked up so
// that the full-size RGB0 renderer needs no scalar work per pixel.
//
// With n = sample clamped to -112..107, plus 112 (0..219):
//   ylut = rint(1191.936 n) = 1191 n + rint(0.936 n)
//   rint(0.936 n) = ((256 n + 137) * 61341) >> 24   for every n in 0..219
// The tests check the result against ylut for every 16-bit sample.
#pragma once

#include <emmintrin.h>

namespace ozmira {

struct LumaPair {
  __m128i low;   // samples 0-3 as int32
  __m128i high;  // samples 4-7
};

inline LumaPair scaled_luma_x8(__m128i samples) {
  const __m128i clamped =
      _mm_min_epi16(_mm_max_epi16(samples, _mm_set1_epi16(-112)), _mm_set1_epi16(107));
  const __m128i n = _mm_add_epi16(clamped, _mm_set1_epi16(112));
  const __m128i scaled = _mm_add_epi16(_mm_slli_epi16(n, 8), _mm_set1_epi16(137));
  const __m128i rounded_fraction =
      _mm_srli_epi16(_mm_mulhi_epu16(scaled, _mm_set1_epi16(static_cast<short>(61341))), 8);
  // Pairs (n, fraction) times (1191, 1), summed into 32 bits.
  const __m128i weights = _mm_set1_epi32(1191 | (1 << 16));
  return {_mm_madd_epi16(_mm_unpacklo_epi16(n, rounded_fraction), weights),
          _mm_madd_epi16(_mm_unpackhi_epi16(n, rounded_fraction), weights)};
}

}  // namespace ozmira
